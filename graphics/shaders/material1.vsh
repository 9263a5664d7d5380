; General material, vertex stage.
; VARIANT = TexMode + 4 * DepthFade + 8 * VertexColor + 16 * UvScroll (TexMode 3 does not occur).
; Constants: c0..c3 = M (rows), c4 = Color, c5 = (FadeCenter, FadeRange, FadeMax), c6.xy = UvOffset.
; TexMode 1 and 2 differ only in the pixel stage, and DepthFade ignores the vertex colour,
; so several indices assemble to the same program.
vs_2_0
#define TEXMODE (VARIANT & 3)
#define DEPTHFADE ((VARIANT >> 2) & 1)
#define VERTEXCOLOR (((VARIANT >> 3) & 1) && !DEPTHFADE)
#define UVSCROLL ((VARIANT >> 4) & 1)
#if TEXMODE == 3
#pragma unreachable
#endif
dcl_position v0
dcl_texcoord0 v1
#if TEXMODE
dcl_texcoord1 v2
#endif
#if VERTEXCOLOR
dcl_color v3
#endif
; position = P·M
mul r0, v0.x, c0
mad r0, v0.y, c1, r0
mad r0, v0.z, c2, r0
mad r0, v0.w, c3, r0
mov oPos, r0
#if DEPTHFADE
; colour = (c4.rgb * (c5.z - |z - c5.x| / c5.y), c4.a)
add r1.x, r0.z, -c5.x
rcp r1.y, c5.y
mul r1.x, r1_abs.x, r1.y
add r1.x, c5.z, -r1.x
mul r2.xyz, c4, r1.x
mov r2.w, c4.w
mov oD0, r2
#elif VERTEXCOLOR
mul oD0, v3, c4
#else
mov oD0, c4
#endif
mov oT0, v1
#if UVSCROLL
add oT0.xy, v1, c6
#endif
#if TEXMODE
mov oT1, v2
#endif

; Camera-facing particles. VARIANT: 0 plain, 1 DistanceFadeOption, 2 DepthOption,
; 4 SoftOption (3 does not occur).
; c0..c3 = M, c4 = (ZoomX, ZoomY, fog start, fog end), c5 = (FadeCenter, 1),
; c6.xy = (DepthRange, DepthOffset).
vs_2_0
#define DISTFADE (VARIANT == 1)
#define DEPTH (VARIANT == 2 || VARIANT == 4)
#define SOFT (VARIANT == 4)
#if VARIANT == 3
#pragma unreachable
#endif
dcl_position v0
dcl_color v1
dcl_texcoord0 v2
dcl_texcoord1 v3
def c7, 1, 0, 0.5, -0.5
; q = P·M; the corner moves by texcoord1 * zoom
mul r0, v0.x, c0
mad r0, v0.y, c1, r0
mad r0, v0.z, c2, r0
mad r0, v0.w, c3, r0
mov r1, r0
mad r1.xy, v3, c4, r0
mov oPos, r1
mov oT0, v2
#if DISTFADE
; colour * (1 - clamp((|P - c5| - c4.z) / (c4.w - c4.z), 0, 1))
add r2.xyz, v0, -c5
dp3 r2.x, r2, r2
rsq r2.x, r2.x
rcp r2.x, r2.x
add r2.x, r2.x, -c4.z
add r3.x, c4.w, -c4.z
rcp r3.x, r3.x
mul r2.x, r2.x, r3.x
max r2.x, r2.x, c7.y
min r2.x, r2.x, c7.x
add r2.x, c7.x, -r2.x
mul oD0, v1, r2.x
#elif DEPTH
; (vertex r, vertex g, 1 - (q.z - c6.y) / c6.x, 1)
mov r2.xy, v1
add r3.x, r0.z, -c6.y
rcp r3.y, c6.x
mad r2.z, -r3.x, r3.y, c7.x
mov r2.w, c7.x
mov oD0, r2
#else
mov oD0, v1
#endif
#if SOFT
; screen coordinate of the corner: (x * 0.5 + 0.5, 1 - (y * 0.5 + 0.5)) after the divide
rcp r3.w, r0.w
mul r3.xy, r1, r3.w
mad r3.x, r3.x, c7.z, c7.z
mad r3.y, r3.y, c7.w, c7.z
mov r3.zw, c7.yyyx
mov oT1, r3
#endif

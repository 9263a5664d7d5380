; Framework material, vertex stage.
; VARIANT = colour (1) + texcoord 0 (2) + texcoord 1 (4) + lit (8); a second texture
; coordinate without the first does not occur (4, 5, 12, 13).
; c0..c3 = the view's MVP (p.x c0 + p.y c1 + p.z c2 + c3). Lit: c12..c14 = x, y, z of four
; light directions (one light per column), c15 = ambient, c16..c19 = light colours.
vs_2_0
#define COLOR (VARIANT & 1)
#define TEX0 ((VARIANT >> 1) & 1)
#define TEX1 ((VARIANT >> 2) & 1)
#define LIT ((VARIANT >> 3) & 1)
#if TEX1 && !TEX0
#pragma unreachable
#endif
dcl_position v0
#if COLOR
dcl_color v1
#endif
#if TEX0
dcl_texcoord0 v2
#endif
#if TEX1
dcl_texcoord1 v3
#endif
#if LIT
dcl_normal v4
#endif
def c20, 1, 0, 0, 0
mul r0, v0.x, c0
mad r0, v0.y, c1, r0
mad r0, v0.z, c2, r0
add oPos, r0, c3
#if LIT
nrm r1.xyz, v4
mul r2, r1.x, c12
mad r2, r1.y, c13, r2
mad r2, r1.z, c14, r2
max r2, r2, c20.y
mad r3, r2.x, c16, c15
mad r3, r2.y, c17, r3
mad r3, r2.z, c18, r3
mad r3, r2.w, c19, r3
#if COLOR
mul r3, r3, v1
#endif
mov oD0, r3
#elif COLOR
mov oD0, v1
#else
mov oD0, c20.x
#endif
#if TEX0
mov oT0, v2
#endif
#if TEX1
mov oT1, v3
#endif

; Per-pixel lighting, vertex stage.
; VARIANT = EnvironmentMapOption + 2 * ReflectionLayerOption + 4 * (Texture[1] alone).
; c0..c3 = M, c4..c7 = Placement rows (the three-component normal is taken with w 1, so
; the last row, c7, is added as well),
; c8..c11 / c12..c15 / c16..c19 = the three shadow matrices, c20.xy = UvOffset.
; Outputs: t0 (texcoord 0), p (1), n (2), environment coordinate (3), shadow positions (4..6).
; Bit 2 marks Texture[1] alone: the lights' depth maps. Those programs write the shadow
; positions, except with ReflectionLayerOption, where the pixel stage takes Texture[1] as
; the reflection layer instead (so indices 6, 7 equal 2, 3).
vs_3_0
#define ENV (VARIANT & 1)
#define REFL ((VARIANT >> 1) & 1)
#define SHADOW (((VARIANT >> 2) & 1) && !REFL)
dcl_position v0
dcl_normal v1
#if !ENV
dcl_texcoord0 v2
#endif
dcl_position o0
dcl_texcoord0 o1
dcl_texcoord1 o2
dcl_texcoord2 o3
#if REFL
dcl_texcoord3 o4
#endif
#if SHADOW
dcl_texcoord4 o5
dcl_texcoord5 o6
dcl_texcoord6 o7
#endif
def c21, 0.5, 0, 1, 0
mul r0, v0.x, c0
mad r0, v0.y, c1, r0
mad r0, v0.z, c2, r0
mad o0, v0.w, c3, r0
#if ENV || REFL
; environment coordinate: (N by the placement rows c4..c7).xy * 0.5 + 0.5
mul r1.xy, v1.x, c4
mad r1.xy, v1.y, c5, r1
mad r1.xy, v1.z, c6, r1
add r1.xy, r1, c7
mad r1.xy, r1, c21.x, c21.x
#endif
#if ENV
mov o1.xy, r1
mov o1.zw, c21.xxyz
#else
mov o1, v2
add o1.xy, v2, c20
#endif
mov o2, v0
mov o3, v1
#if REFL
mov o4.xy, r1
mov o4.zw, c21.y
#endif
#if SHADOW
mul r2, v0.x, c8
mad r2, v0.y, c9, r2
mad r2, v0.z, c10, r2
mad o5, v0.w, c11, r2
mul r2, v0.x, c12
mad r2, v0.y, c13, r2
mad r2, v0.z, c14, r2
mad o6, v0.w, c15, r2
mul r2, v0.x, c16
mad r2, v0.y, c17, r2
mad r2, v0.z, c18, r2
mad o7, v0.w, c19, r2
#endif

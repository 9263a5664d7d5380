; Tangent-space normal mapping, vertex stage.
; Inputs: v0 position, v1 normal, v2 tangent, v3 texcoord 0, v4 texcoord 1.
; c0..c3 = M, c4..c7 / c8..c11 / c12..c15 = the three shadow matrices (rows), c16 = Offset.
; Outputs: t0, t1, p = P + c16 (texcoord 2), normal (3), tangent (4), the position by each
; shadow matrix (5, 6, 7).
vs_3_0
dcl_position v0
dcl_normal v1
dcl_tangent v2
dcl_texcoord0 v3
dcl_texcoord1 v4
dcl_position o0
dcl_texcoord0 o1
dcl_texcoord1 o2
dcl_texcoord2 o3
dcl_texcoord3 o4
dcl_texcoord4 o5
dcl_texcoord5 o6
dcl_texcoord6 o7
dcl_texcoord7 o8
mul r0, v0.x, c0
mad r0, v0.y, c1, r0
mad r0, v0.z, c2, r0
mad o0, v0.w, c3, r0
mov o1, v3
mov o2, v4
add o3, v0, c16
mov o4, v1
mov o5, v2
mul r0, v0.x, c4
mad r0, v0.y, c5, r0
mad r0, v0.z, c6, r0
mad o6, v0.w, c7, r0
mul r0, v0.x, c8
mad r0, v0.y, c9, r0
mad r0, v0.z, c10, r0
mad o7, v0.w, c11, r0
mul r0, v0.x, c12
mad r0, v0.y, c13, r0
mad r0, v0.z, c14, r0
mad o8, v0.w, c15, r0

; Normal-mapped surface, vertex stage: position P·M, t0, t1 and p = P + c4 (Offset).
vs_3_0
dcl_position v0
dcl_texcoord0 v1
dcl_texcoord1 v2
dcl_position o0
dcl_texcoord0 o1
dcl_texcoord1 o2
dcl_texcoord2 o3
mul r0, v0.x, c0
mad r0, v0.y, c1, r0
mad r0, v0.z, c2, r0
mad o0, v0.w, c3, r0
mov o1, v1
mov o2, v2
add o3, v0, c4

; Colour grading, vertex stage: position = P·M, t0 = texcoord 0.
vs_3_0
dcl_position v0
dcl_texcoord0 v1
dcl_position o0
dcl_texcoord0 o1
mul r0, v0.x, c0
mad r0, v0.y, c1, r0
mad r0, v0.z, c2, r0
mad o0, v0.w, c3, r0
mov o1, v1

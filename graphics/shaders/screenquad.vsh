; The screen-quad vertex program shared by the full-screen passes:
; position = P·M (rows of M in c0..c3), t0 = texcoord 0.
vs_2_0
dcl_position v0
dcl_texcoord0 v1
mul r0, v0.x, c0
mad r0, v0.y, c1, r0
mad r0, v0.z, c2, r0
mad oPos, v0.w, c3, r0
mov oT0, v1

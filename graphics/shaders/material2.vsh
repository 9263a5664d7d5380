; Three directional lights per vertex.
; c0..c3 = M, c4 = ambient, c5..c7 = light colours, c8..c10 = light directions.
; oD0 = c4 + sum d_i C_i, oD1 = 0.3 * sum max(9 d_i - 8, 0) C_i, d_i = max(N·L_i, 0).
vs_2_0
dcl_position v0
dcl_normal v1
dcl_texcoord0 v2
def c11, 0, 9, -8, 0.3
mul r0, v0.x, c0
mad r0, v0.y, c1, r0
mad r0, v0.z, c2, r0
mad oPos, v0.w, c3, r0
dp3 r1.x, v1, c8
dp3 r1.y, v1, c9
dp3 r1.z, v1, c10
max r1.xyz, r1, c11.x
mad r2.xyz, r1, c11.y, c11.z
max r2.xyz, r2, c11.x
mad r3, r1.x, c5, c4
mad r3, r1.y, c6, r3
mad oD0, r1.z, c7, r3
mul r4, r2.x, c5
mad r4, r2.y, c6, r4
mad r4, r2.z, c7, r4
mul oD1, r4, c11.w
mov oT0, v2

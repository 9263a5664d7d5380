; Instanced geometry lit per vertex.
; Inputs: v0 position, v1 normal, v2 texcoord 0, v3..v5 texcoord 1..3 (placement rows,
; each applied as a dot product with (P.xyz, 1)), v6 texcoord 4 (offset added to texcoord 0).
; c0..c3 = M, c4 = ambient, c5..c7 = light colours, c8 = (EyePosition, 1),
; c9..c11 = light positions, c12 = fog colour, c14 = (fog start, fog end, SpecularScale,
; SpecularOffset), c15 = Color. c13 is the program's own (1, 0, 0.5, 0).
; The normal is rotated by the placement rows as it is: a scaled placement scales the light.
vs_2_0
dcl_position v0
dcl_normal v1
dcl_texcoord0 v2
dcl_texcoord1 v3
dcl_texcoord2 v4
dcl_texcoord3 v5
dcl_texcoord4 v6
def c13, 1, 0, 0.5, 0
; placed point w
mov r0.xyz, v0
mov r0.w, c13.x
dp4 r1.x, r0, v3
dp4 r1.y, r0, v4
dp4 r1.z, r0, v5
mov r1.w, c13.x
mul r2, r1.x, c0
mad r2, r1.y, c1, r2
mad r2, r1.z, c2, r2
add oPos, r2, c3
; normal rotated by the placement rows
dp3 r2.x, v1, v3
dp3 r2.y, v1, v4
dp3 r2.z, v1, v5
mov r3.xyz, r2
; eye vector, distance and reflection
add r4.xyz, r1, -c8
dp3 r4.w, r4, r4
rsq r4.w, r4.w
mul r5.xyz, r4, r4.w
rcp r4.w, r4.w
dp3 r6.x, r3, r5
add r6.x, r6.x, r6.x
mad r5.xyz, -r6.x, r3, r5
; lights: r7 = n·L, r8 = R·L
add r6.xyz, c9, -r1
nrm r2.xyz, r6
dp3 r7.x, r3, r2
dp3 r8.x, r5, r2
add r6.xyz, c10, -r1
nrm r2.xyz, r6
dp3 r7.y, r3, r2
dp3 r8.y, r5, r2
add r6.xyz, c11, -r1
nrm r2.xyz, r6
dp3 r7.z, r3, r2
dp3 r8.z, r5, r2
max r7.xyz, r7, c13.y
max r8.xyz, r8, c13.y
mul r8.xyz, r8, c14.z
add r8.xyz, r8, -c14.w
max r8.xyz, r8, c13.y
; diffuse = (c4 + sum) * c15
mad r9, r7.x, c5, c4
mad r9, r7.y, c6, r9
mad r9, r7.z, c7, r9
mul r9, r9, c15
; highlight = 0.5 * sum
mul r10, r8.x, c5
mad r10, r8.y, c6, r10
mad r10, r8.z, c7, r10
mul r10, r10, c13.z
; fog f = clamp((|w - c8| - c14.x) / (c14.y - c14.x), 0, 1)
add r6.x, c14.y, -c14.x
rcp r6.x, r6.x
add r6.y, r4.w, -c14.x
mul r6.x, r6.y, r6.x
max r6.x, r6.x, c13.y
min r6.x, r6.x, c13.x
add r6.y, c13.x, -r6.x
mul oD0, r9, r6.y
mul r10, r10, r6.y
mad oD1, r6.x, c12, r10
add oT0, v2, v6

; Cube painter: position (x, y, z, 1) by c0..c3, the normal passed on as the direction.
vs_2_0
dcl_position v0
dcl_normal v1
mul r0, v0.x, c0
mad r0, v0.y, c1, r0
mad r0, v0.z, c2, r0
add oPos, r0, c3
mov oT0, v1

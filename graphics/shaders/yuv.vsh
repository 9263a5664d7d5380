; Movie frames: position by c0..c3, texcoord 0 passed, colour = vertex colour (VARIANT 1) or white.
vs_2_0
#define COLOR (VARIANT & 1)
dcl_position v0
dcl_texcoord0 v1
#if COLOR
dcl_color v2
#endif
def c4, 1, 1, 1, 1
mul r0, v0.x, c0
mad r0, v0.y, c1, r0
mad r0, v0.z, c2, r0
add oPos, r0, c3
mov oT0, v1
#if COLOR
mov oD0, v2
#else
mov oD0, c4
#endif

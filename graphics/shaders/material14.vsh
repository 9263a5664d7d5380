; Height-field pass. Variant 0 is the screen-quad program (same code, stored once);
; variant 1 (SecondUvOption) also passes texcoord 1 as t1.
vs_2_0
#define SECONDUV (VARIANT & 1)
dcl_position v0
dcl_texcoord0 v1
#if SECONDUV
dcl_texcoord1 v2
#endif
mul r0, v0.x, c0
mad r0, v0.y, c1, r0
mad r0, v0.z, c2, r0
mad oPos, v0.w, c3, r0
mov oT0, v1
#if SECONDUV
mov oT1, v2
#endif

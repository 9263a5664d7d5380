; Closed surface from two superformulas, lit per vertex by three point lights.
; VARIANT 1 = HeightGradientOption. Position x = phi, y = theta (radians).
; r(a) = (|cos(m a / 4)|^k2 + |sin(m a / 4)|^k3)^(-1 / k1) for a shape (m, k1, k2, k3);
; rA = r(theta) of ShapeA (c19), rB = r(phi) of ShapeB (c20); the surface point is
; Scale * (rA cos theta rB cos phi, rA sin theta rB cos phi, rB sin phi), Scale in c18.
; The normal is normalize(cross(dTheta, dPhi)) with the points at theta + 0.01 and
; phi + 0.01 (this order). Every angle is reduced into -pi..pi before sincos.
; c0..c3 = M, c4..c7 = model matrix rows (variant 1; variant 0 keeps its own constants
; there), c8 = Color, c9 = ambient, c10..c12 = light colours, c13..c15 = light positions,
; c16 = eye position, c17 = model translation, c21.xy = (SpecularScale, SpecularOffset),
; c22 = Gradient.
vs_2_0
#define GRADIENT (VARIANT & 1)
#if GRADIENT
#define K0 c23
#define K1 c24
#define SC1 c25
#define SC2 c26
#else
#define K0 c4
#define K1 c5
#define SC1 c6
#define SC2 c7
#endif
dcl_position v0
#if !GRADIENT
dcl_texcoord0 v1
#endif
def K0, 0.01, 0.25, 0.159154943, 0.5
def K1, 6.283185307, -3.141592654, 1, 0
def SC1, -0.0000015500992, -0.000021701389, 0.0026041667, 0.00026041668
def SC2, -0.020833334, -0.125, 1, 0.5
; r1 = (theta, theta + 0.01, phi, phi + 0.01)
mov r1.xy, v0.y
mov r1.zw, v0.x
add r1.yw, r1, K0.x
; r2 = shape arguments m a / 4, r3 = the angles, both reduced into -pi..pi
mul r2.xy, r1, c19.x
mul r2.zw, r1, c20.x
mul r2, r2, K0.y
mad r2, r2, K0.z, K0.w
frc r2, r2
mad r2, r2, K1.x, K1.y
mad r3, r1, K0.z, K0.w
frc r3, r3
mad r3, r3, K1.x, K1.y
sincos r4.xy, r2.x, SC1, SC2
pow r5.x, r4.x, c19.z
pow r5.y, r4.y, c19.w
add r5.x, r5.x, r5.y
rcp r5.z, c19.y
pow r6.x, r5.x, -r5.z
sincos r4.xy, r2.y, SC1, SC2
pow r5.x, r4.x, c19.z
pow r5.y, r4.y, c19.w
add r5.x, r5.x, r5.y
rcp r5.z, c19.y
pow r6.y, r5.x, -r5.z
sincos r4.xy, r2.z, SC1, SC2
pow r5.x, r4.x, c20.z
pow r5.y, r4.y, c20.w
add r5.x, r5.x, r5.y
rcp r5.z, c20.y
pow r6.z, r5.x, -r5.z
sincos r4.xy, r2.w, SC1, SC2
pow r5.x, r4.x, c20.z
pow r5.y, r4.y, c20.w
add r5.x, r5.x, r5.y
rcp r5.z, c20.y
pow r6.w, r5.x, -r5.z
; r7 = rA (cos, sin) theta, r8 = at theta + 0.01, r9 = rB (cos, sin) phi, r10 = at phi + 0.01
sincos r7.xy, r3.x, SC1, SC2
sincos r8.xy, r3.y, SC1, SC2
sincos r9.xy, r3.z, SC1, SC2
sincos r10.xy, r3.w, SC1, SC2
mul r7.xy, r7, r6.x
mul r8.xy, r8, r6.y
mul r9.xy, r9, r6.z
mul r10.xy, r10, r6.w
; the point and its two neighbours
mul r0.xy, r7, r9.x
mov r0.z, r9.y
mul r0.xyz, r0, c18
mul r1.xy, r8, r9.x
mov r1.z, r9.y
mul r1.xyz, r1, c18
mul r2.xy, r7, r10.x
mov r2.z, r10.y
mul r2.xyz, r2, c18
add r1.xyz, r1, -r0
add r2.xyz, r2, -r0
crs r3.xyz, r1, r2
nrm r4.xyz, r3
; position = (point, 1) M
mul r5, r0.x, c0
mad r5, r0.y, c1, r5
mad r5, r0.z, c2, r5
add oPos, r5, c3
; lighting at w = point + c17
add r5.xyz, r0, c17
add r6.xyz, r5, -c16
nrm r7.xyz, r6
dp3 r6.x, r4, r7
add r6.x, r6.x, r6.x
mad r7.xyz, -r6.x, r4, r7
add r6.xyz, c13, -r5
nrm r8.xyz, r6
dp3 r9.x, r4, r8
dp3 r10.x, r7, r8
add r6.xyz, c14, -r5
nrm r8.xyz, r6
dp3 r9.y, r4, r8
dp3 r10.y, r7, r8
add r6.xyz, c15, -r5
nrm r8.xyz, r6
dp3 r9.z, r4, r8
dp3 r10.z, r7, r8
max r9.xyz, r9, K1.w
max r10.xyz, r10, K1.w
mul r10.xyz, r10, c21.x
add r10.xyz, r10, -c21.y
max r10.xyz, r10, K1.w
; diffuse (alpha 1) and highlight (alpha 0)
mad r11, r9.x, c10, c9
mad r11, r9.y, c11, r11
mad r11, r9.z, c12, r11
mul r11, r11, c8
mov r11.w, K1.z
mov oD0, r11
mul r11, r10.x, c10
mad r11, r10.y, c11, r11
mad r11, r10.z, c12, r11
mov r11.w, K1.w
mov oD1, r11
#if GRADIENT
; t0 = (c22.x, height * c22.y + c22.z), the height being y of (point, 1) by the model matrix
mul r6.x, r0.x, c4.y
mad r6.x, r0.y, c5.y, r6.x
mad r6.x, r0.z, c6.y, r6.x
add r6.x, r6.x, c7.y
mad r6.y, r6.x, c22.y, c22.z
mov r6.x, c22.x
mov r6.zw, K1.wwwz
mov oT0, r6
#else
mov oT0, v1
#endif

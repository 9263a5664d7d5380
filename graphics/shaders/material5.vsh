; Ribbon deformed in the vertex stage.
; Inputs: v0 position (x, y = angles of this point and the next, z = width factor),
; v1 normal = per-vertex parameters (a, b, c), v2 texcoord 0 (u along the ribbon).
; c0..c3 = M, c4.xyz = Up, c5 = (Phase, WindowEnd, WindowLength, WaveAmplitude),
; c6 = (Wave1, Wave2, Wave3, Wave4), c7.x = Radius, c8.xyz = Offset, c9.xyz = FadeOrigin.
; A point for parameter q and angle g: t = 5 q + Phase, s = q (0.3 sin 3.3q + 0.2 sin 2.2q),
; X = Wave2 q (Amp (k2 sin 0.7t + sin t) + Wave1 sin a) + Radius sin g,
; Y = Wave2 q (Amp (k1 sin 0.5t + cos t) + Wave1 cos a) + Radius cos g, Z = Wave4 q + Wave3 s.
; Every angle is reduced into -pi..pi before sincos.
; The width direction is cross(normalize(next - centre), Up) (in that order).
vs_2_0
dcl_position v0
dcl_normal v1
dcl_texcoord0 v2
def c10, 0.159154943, 0.5, 6.283185307, -3.141592654
def c11, 1.5, 1.1, 1.3, 0.9
def c12, 5, 0.7, 0.5, 3.3
def c13, 2.2, 0.3, 0.2, 1
def c14, -0.0000015500992, -0.000021701389, 0.0026041667, 0.00026041668
def c15, -0.020833334, -0.125, 1, 0.5
def c16, 100, 0, 0, 0
; k1 = 1 + 1.3 sin(1.5 Phase), k2 = 1 + 0.9 sin(1.1 Phase), sin a, cos a
mul r0.xy, c5.x, c11
mov r0.z, v1.x
mad r0.xyz, r0, c10.x, c10.y
frc r0.xyz, r0
mad r0.xyz, r0, c10.z, c10.w
sincos r1.xy, r0.x, c14, c15
sincos r2.xy, r0.y, c14, c15
sincos r3.xy, r0.z, c14, c15
mad r1.x, r1.y, c11.z, c13.w
mad r1.y, r2.y, c11.w, c13.w
; point with q = v1.y, g = v0.x
mad r5.x, v1.y, c12.x, c5.x
mul r6.x, r5.x, c12.y
mov r6.y, r5.x
mul r6.z, r5.x, c12.z
mov r6.w, v0.x
mad r6, r6, c10.x, c10.y
frc r6, r6
mad r6, r6, c10.z, c10.w
mul r7.x, v1.y, c12.w
mul r7.y, v1.y, c13.x
mad r7.xy, r7, c10.x, c10.y
frc r7.xy, r7
mad r7.xy, r7, c10.z, c10.w
sincos r8.xy, r6.x, c14, c15
sincos r9.xy, r6.y, c14, c15
sincos r10.xy, r6.z, c14, c15
mad r11.x, r1.y, r8.y, r9.y
mad r11.y, r1.x, r10.y, r9.x
mul r11.xy, r11, c5.w
mad r11.xy, r3.yx, c6.x, r11
mul r11.xy, r11, v1.y
mul r11.xy, r11, c6.y
sincos r8.xy, r6.w, c14, c15
mad r11.xy, r8.yx, c7.x, r11
sincos r9.xy, r7.x, c14, c15
sincos r10.xy, r7.y, c14, c15
mul r9.x, r9.y, c13.y
mad r9.x, r10.y, c13.z, r9.x
mul r9.x, r9.x, v1.y
mul r11.z, r9.x, c6.z
mad r11.z, v1.y, c6.w, r11.z
mov r4.xyz, r11
; point with q = v1.z, g = v0.y
mad r5.x, v1.z, c12.x, c5.x
mul r6.x, r5.x, c12.y
mov r6.y, r5.x
mul r6.z, r5.x, c12.z
mov r6.w, v0.y
mad r6, r6, c10.x, c10.y
frc r6, r6
mad r6, r6, c10.z, c10.w
mul r7.x, v1.z, c12.w
mul r7.y, v1.z, c13.x
mad r7.xy, r7, c10.x, c10.y
frc r7.xy, r7
mad r7.xy, r7, c10.z, c10.w
sincos r8.xy, r6.x, c14, c15
sincos r9.xy, r6.y, c14, c15
sincos r10.xy, r6.z, c14, c15
mad r11.x, r1.y, r8.y, r9.y
mad r11.y, r1.x, r10.y, r9.x
mul r11.xy, r11, c5.w
mad r11.xy, r3.yx, c6.x, r11
mul r11.xy, r11, v1.z
mul r11.xy, r11, c6.y
sincos r8.xy, r6.w, c14, c15
mad r11.xy, r8.yx, c7.x, r11
sincos r9.xy, r7.x, c14, c15
sincos r10.xy, r7.y, c14, c15
mul r9.x, r9.y, c13.y
mad r9.x, r10.y, c13.z, r9.x
mul r9.x, r9.x, v1.z
mul r11.z, r9.x, c6.z
mad r11.z, v1.z, c6.w, r11.z
; width offset and position
add r0.xyz, r11, -r4
nrm r2.xyz, r0
crs r0.xyz, r2, c4
mul r0.xyz, r0, v0.z
add r0.xyz, r0, r4
add r0.xyz, r0, c8
mul r5, r0.x, c0
mad r5, r0.y, c1, r5
mad r5, r0.z, c2, r5
add oPos, r5, c3
; t0 = (u, v, clamp(c5.y - 100 u, 0, 1), clamp(100 u - (c5.y - c5.z), 0, 1)), t1 = c9
mad r0.x, v2.x, -c16.x, c5.y
add r0.y, c5.y, -c5.z
mad r0.y, v2.x, c16.x, -r0.y
max r0.xy, r0, c16.y
min r0.xy, r0, c13.w
mov oT0.xy, v2
mov oT0.zw, r0.xxxy
mov oT1, c9

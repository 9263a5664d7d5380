#pragma once
// The framework's own materials and the standard view constants they read.
//
// sSimpleMaterial: vertex colour, up to two textures, optional four-light diffuse lighting
// (textures to targets, movies, the painter). sPainterMaterial: a cube texture looked up
// by the vertex normal. sYuvMaterial: planar Y, U, V movie frames to RGB.
//
// Every program reads the view constants at vertex registers c0..c11 (an sViewConstants
// in a constant buffer at slot 0, register 0, 12 registers). The lit sSimpleMaterial
// variants also read c12..c19, which the user supplies in further vertex buffers:
// c12, c13, c14 the x, y and z of four light directions (one light per column),
// c15 the ambient colour, c16..c19 the colours of the four lights.

#include "base/app.hpp"   // sRect
#include "graphics/graphics.hpp"

// Fills the block from the viewport:
//   c0..c3   MVP, row by row (p transforms as p.x c0 + p.y c1 + p.z c2 + c3)
//   c4..c6   ModelView as three rows of four (the x, y, z columns of rows i, j, k, l)
//   c7..c9   Model in the same form
//   c10..c11 Proj[0][0], Proj[1][1], Proj[2][2], Proj[3][0], Proj[3][2], Proj[3][1],
//            Proj[2][0], Proj[2][1]
void sSetViewConstants(sViewConstants *vc, const sViewport &vp);

enum : sInt
{
  sVIEWCONSTANTS_REGS = 12,   // registers of an sViewConstants block
};

// The vertex and pixel program variants of sSimpleMaterial for a format's kind mask,
// the render flags, the first two texture slots and the option word. Variants without
// a program (a second texture coordinate or texture without the first) are returned as
// they are; SelectShaders stops on them.
sInt sSimpleMaterialVSVariant(sU32 kindMask, sU32 renderFlags);
sInt sSimpleMaterialPSVariant(sBool tex0, sBool tex1, sU32 option);

class sSimpleMaterial : public sMaterial
{
public:
  // 0: the second texture multiplies the colour; nonzero: it is added.
  sU32 Option;

  sSimpleMaterial();
  void SelectShaders(sVertexFormat *format) override;
};

class sPainterMaterial : public sMaterial
{
public:
  void SelectShaders(sVertexFormat *format) override;
};

// Samplers 0, 1, 2: the Y, U and V planes (first channel each); sampler 3 (Texture[3])
// an optional alpha plane.
class sYuvMaterial : public sMaterial
{
public:
  void SelectShaders(sVertexFormat *format) override;
};

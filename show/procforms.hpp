#pragma once
// Procedural forms: a box (CubeForm), a beat-driven ribbon whose shape its material
// finishes (StripForm), camera-facing points (PointForm), a particle system drawn as
// streaks (ParticleForm) and an instanced bevelled box (InstanceForm); besides them the
// time-keyed spline path that cameras fly along (SplinePath).
//
// Geometry is a triangle list with 16-bit indices; index lists are written once into
// STATIC buffers, per-frame vertices straight into FRAME or STREAM buffers. Forms made
// of many independent items (points, particles) are drawn in batches that 16-bit
// indices reach. Each form owns what it allocates. Main thread only.

#include "base/numbers.hpp"
#include "show/forms.hpp"

/****************************************************************************/
/***   CubeForm                                                           ***/
/****************************************************************************/

class CubeForm : public Form
{
public:
  sInt Mode;                 // 1 vertices written at Init, 3 rewritten at every Draw
  sF32 SizeX, SizeY, SizeZ;  // half extents
  sF32 UScale, VScale;       // texture scales, set by the owner before Init

  CubeForm(sInt materialIndex);
  void Init(sInt mode, sF32 sizeX, sF32 sizeY, sF32 sizeZ);
  void Draw(sViewport *view) override;

  // The 24 vertices (four per face) and the 36 indices.
  void WriteVertices(FormVertexPNU *dest) const;
  static void WriteIndices(sU16 *dest);
};

/****************************************************************************/
/***   StripForm                                                          ***/
/****************************************************************************/

class StripForm : public Form
{
public:
  sInt Kind;
  sInt Shape;        // 0..5
  sInt Segments;
  sF32 Width;
  sF32 Param;
  sInt MarkerIndex;
  StripWords Words;  // the marker and the material words
  sInt Seed;         // set by the owner; picks the shape's random numbers

  StripForm(sInt materialIndex);
  // markerIndex -1 marks the last vertex pair
  void Init(sInt kind, sInt shape, sInt segments, sF32 width, sF32 param, sInt markerIndex);
  // Rewrites the vertices for a new parameter.
  void Generate(sF32 param, sInt markerIndex);
  void Draw(sViewport *view) override;
  StripWords *GetStripWords() override { return &Words; }

  // The vertices of Generate (2 (Segments + 1) records; none for a shape above 5); with
  // no destination only the marker words.
  sInt WriteVertices(FormVertexPNU *dest);
  void WriteIndices(sU16 *dest) const;

private:
  // A geometry of the strip's own with its vertices and indices.
  void MakeGeometry();
};

/****************************************************************************/
/***   PointForm                                                          ***/
/****************************************************************************/

struct PointRecord
{
  sVec3 Pos;
  sF32 Size;
  sU32 Color;
  sU32 Spare;

  PointRecord() { Reset(); }
  void Reset();
};

class PointForm : public Form
{
public:
  PointWords Words;        // the material's depth range, depth offset and brightness
  sInt Count;
  sInt Flags;
  PointRecord *Points;     // owned; null when the form was given a geometry

  PointForm(sInt materialIndex, sGeometry *geometry = nullptr);
  ~PointForm() override;
  void Init(sInt count, sInt flags);
  void Draw(sViewport *view) override;
  PointWords *GetPointWords() override { return &Words; }

  // Four corner vertices per point; six indices per point.
  void WriteVertices(FormVertexPCUU *dest) const;
  void WriteIndices(sU16 *dest) const;
};

/****************************************************************************/
/***   ParticleForm                                                       ***/
/****************************************************************************/

struct Particle
{
  sVec3 Position;
  sVec3 Velocity;
  sVec3 WobbleDir;
  sF32 Life;           // also the half width of the streak
  sU32 Colour;
  sF32 Damping;
  sInt RowSegments;
  sInt VertexCount;    // 3 (RowSegments + 3): rows of three vertices
  sInt TriangleCount;  // 4 (RowSegments + 2), not 2 RowSegments + 4: the indices of every row pair's two cells would overrun it
  sInt Word;
  sF32 Wobble;

  Particle();
};

class ParticleForm : public Form
{
public:
  enum : sU32
  {
    INDICES = 1,       // the indices are written at Init
    OWNERFILLS = 2,    // the owner writes the vertices
  };

  sInt Kind;
  sInt Count;
  sInt TotalVertices, TotalTriangles;
  sInt Bounce;
  sRandomLcg Random;
  Particle *Particles;     // owned

  sF32 SizeBase, SizeRandom;
  sF32 Fade;
  sVec3 Gravity;
  sVec3 Emitter;
  sVec3 Spread;
  sVec3 DirRandom;
  sVec3 Drift;
  sF32 SpeedBase, SpeedRandom;
  sF32 DampBase, DampRandom;
  sF32 WobbleBase, WobbleRandom;
  sF32 Floor;
  sInt Age;                // 10000 or more: dead

  ParticleForm(sInt materialIndex);
  ~ParticleForm() override;
  void Init(sInt kind, sInt count, sInt bounce);
  void SetDefaults();
  void Emit();
  void Step();
  void Draw(sViewport *view) override;

  // The layout sized at Init; the writers follow it, whatever a particle's words say later.
  sInt VerticesPerParticle() const { return Count ? TotalVertices / Count : 0; }
  sInt IndicesPerParticle() const { return Count ? 3 * TotalTriangles / Count : 0; }
  // The streaks as the view sees them.
  void WriteVertices(FormVertexPNU *dest, const sViewport &view) const;
  void WriteIndices(sU16 *dest) const;
};

/****************************************************************************/
/***   InstanceForm                                                       ***/
/****************************************************************************/

class InstanceForm : public Form
{
public:
  enum : sInt
  {
    SHAPE_VERTICES = 96,   // six faces of four, twelve edges of four, eight corners of three
    SHAPE_INDICES = 132,
  };

  sInt Count;
  sF32 InnerSize;          // half width of the flat face squares
  sF32 Bevel;
  sVertexFormat *Format;   // stream 0 position, normal, uv; stream 1 four instance rows
  sF32 UScale, VScale;     // set by the owner before Init
  sMat3x4 *Instances;      // owned, Count matrices
  sF32 *InstanceWords;     // owned, two per instance: added to the texture coordinates

  InstanceForm(sInt materialIndex);
  ~InstanceForm() override;
  void Init(sInt count, sF32 innerSize, sF32 bevel);
  // The bevelled box every instance draws, from InnerSize, Bevel and the texture scales.
  void BuildShape();
  void Draw(sViewport *view) override;

  void WriteShape(FormVertexPNU *dest) const;
  static void WriteIndices(sU16 *dest);
  // Four float4 rows per instance: the placement transposed, then the texture offset.
  void WriteInstances(sF32 *dest) const;
};

/****************************************************************************/
/***   SplinePath                                                         ***/
/****************************************************************************/

struct SplineKey
{
  sF32 x, y, z;
  sU32 Spare;
  sInt Time;
};

struct SplinePath
{
  SplineKey Keys[32];
  sInt Count = 0;
  sVec3 Position = sVec3(0, 0, 0);   // the result of Evaluate

  // The position at the time: a Kochanek-Bartels curve (tension, continuity and bias 0)
  // through the keys, tangents scaled for uneven key times. Needs four keys or more.
  void Evaluate(sF32 time);
};

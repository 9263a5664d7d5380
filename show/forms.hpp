#pragma once
// Array forms: the parametric grid meshes most scenes draw (planes, discs, cylinders,
// spheres, and grids or quad lists from a caller's vertex array), the super shape form
// whose shape its material evaluates, and MeshVertex, the vertex record forms exchange
// with their owners.
//
// The vertex records of the three form vertex formats live here too, with the helper
// that draws runs of independent items (quads, points, particles, characters) in batches
// that 16-bit indices can reach. A form owns its geometry unless it was given one; the
// scene owns the form. Main thread only.

#include "graphics/graphics.hpp"
#include "show/form.hpp"

/****************************************************************************/
/***   Vertex records                                                     ***/
/****************************************************************************/

// The vertex record forms exchange with callers (14 words).
struct MeshVertex
{
  sVec3 Pos;
  sU32 Color;
  sVec3 Normal;
  sVec3 Tangent;
  sF32 U0, V0;
  sF32 U1, V1;

  // position 0, white, normal (0, 1, 0), tangent (0, 0, 1), texture coordinates 0
  MeshVertex();
  // the defaults with the given position and first texture coordinate
  void Set(sF32 x, sF32 y, sF32 z, sF32 u, sF32 v);
};
static_assert(sizeof(MeshVertex) == 14 * 4, "a mesh vertex is fourteen words");

// count records with the defaults, from the heap; ArrayForm frees its Vertices with sMemFree.
MeshVertex *NewMeshVertices(sInt count);

// sVertexFormatPosNormUV
struct FormVertexPNU
{
  sF32 x, y, z;
  sF32 nx, ny, nz;
  sF32 u, v;
};
// sVertexFormatPosColUV2
struct FormVertexPCUU
{
  sF32 x, y, z;
  sU32 c;
  sF32 u0, v0, u1, v1;
};
// sVertexFormatTangent (the tangent's fourth component is never written)
struct FormVertexTangent
{
  sF32 x, y, z;
  sF32 nx, ny, nz;
  sF32 tx, ty, tz, tw;
  sU32 c;
  sF32 u0, v0, u1, v1;
};

// Gives the form a new geometry of its own; one it made earlier is deleted, a shared one
// is left to its owner.
void ReplaceFormGeometry(Form *form, sU32 flags, sVertexFormat *format);

/****************************************************************************/
/***   16-bit index limits                                                ***/
/****************************************************************************/

enum : sInt
{
  sFORM_MAXVERTICES = 65536,   // what a 16-bit index reaches
};

// Whether a mesh of this many vertices can be drawn through 16-bit indices; when not,
// logs why the form named refuses it.
sBool FormVerticesFit(const sChar *form, sS64 vertices);

// Forms made of independent items that each own vertsPerItem vertices and
// indicesPerItem indices are drawn in batches of at most sFORM_MAXVERTICES vertices.
// An item's indices count from the first vertex of its batch.
inline sInt FormItemsPerBatch(sInt vertsPerItem) { return sFORM_MAXVERTICES / vertsPerItem; }
// The vertex number the indices of item n count from.
inline sInt FormBatchBase(sInt n, sInt vertsPerItem) { return (n % FormItemsPerBatch(vertsPerItem)) * vertsPerItem; }
// Draws the first `items` items of the geometry, one call per batch.
void DrawFormBatches(sGeometry *geo, sInt items, sInt vertsPerItem, sInt indicesPerItem);

/****************************************************************************/
/***   Array forms                                                        ***/
/****************************************************************************/

class ArrayForm : public Form
{
public:
  enum : sInt
  {
    PLANE = 0,
    DISC = 1,
    CYLINDER = 2,
    SPHERE = 3,
    GRID = 4,       // grid from Vertices
    QUADS = 5,      // quad list from Vertices (USegments quads)
  };

  sInt Shape;
  sInt FormatSel;     // 1 sVertexFormatPosNormUV, 3 sVertexFormatPosColUV2, else sVertexFormatTangent
  sInt DurationSel;   // 1 STATIC (built once), else FRAME (rebuilt by the owner every frame)
  sInt PoleFix;
  sInt USegments, VSegments;
  sU8 *VertexPtr;     // write pointer of the load in progress
  sInt FlipWinding;
  sF32 Range0[4], Range1[4], Range2[4];
  MeshVertex *Vertices;   // shapes 4 and 5; owned, from NewMeshVertices or sMemAlloc

  ArrayForm(sInt materialIndex, sGeometry *geometry = nullptr);
  ~ArrayForm() override;

  // Builds the geometry and its indices and writes the vertices once. A static generated
  // shape (PLANE to SPHERE) comes from the geometry pool: forms of the same shape and
  // parameters share one. A mesh too large for 16-bit indices is refused (logged): the form
  // keeps no geometry and draws nothing.
  void Init(sInt shape, sInt durationSel, sInt formatSel, sInt uSegments, sInt vSegments, const sF32 *range0 = nullptr,
            const sF32 *range1 = nullptr, const sF32 *range2 = nullptr);
  // Rewrites every vertex from the current parameters and Vertices; a form holding a pooled
  // geometry takes a geometry of its own for that.
  void Build();
  void PutVertex(sInt index, const sVec3 &pos, sU32 colour, const sVec3 &normal, const sVec3 &tangent, sF32 u0,
                 sF32 v0, sF32 u1, sF32 v1);
  // Fills the four records of quad n of Vertices: a square of half size placed by the matrix.
  void SetQuad(sInt quad, const sMat3x4 &matrix, sF32 halfSize, sU32 colour);
  void Draw(sViewport *view) override;

  sVertexFormat *GetFormat() const;
  sInt GetVertexCount() const;
  sInt GetIndexCount() const;
  // The vertices of Build into memory of GetVertexCount records of the format.
  void WriteVertices(void *dest);
  void WriteIndices(sU16 *dest) const;

private:
  // A geometry of the form's own with its indices and vertices.
  void MakeGeometry();
};

// The superformula parameters of a preset into a and b (m, n1, n2, n3 each).
void SuperShapePreset(sInt preset, sF32 *a, sF32 *b);

// A super shape: the material forms the shape from ShapeA, ShapeB and Scale, so the form
// keeps the parameters and no geometry of its own.
class SuperShapeForm : public ArrayForm
{
public:
  SuperShapeParams ShapeParams;

  SuperShapeForm(sInt materialIndex);
  void SetPreset(sInt preset);
  SuperShapeParams *GetSuperShapeParams() override { return &ShapeParams; }
};

// The point of the shape the two superformulas give at longitude theta (-pi..pi) and
// latitude phi (-pi/2..pi/2), times Scale: the shape a super-shape material draws.
sVec3 EvalSuperShape(const SuperShapeParams &p, sF32 theta, sF32 phi);

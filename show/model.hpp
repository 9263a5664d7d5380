#pragma once
// Models: imported multi-mesh objects, the forms that draw their meshes, and the model
// cache file (extension "pet") with its reader and writer.
//
// A Model holds its raw meshes as the authoring tool exported them (positions, normals
// and texture coordinates indexed per polygon corner), one MeshForm per mesh, and the
// texture and material rows it appends to its scene's tables. pImportObject fills it from
// a Collada file (collada.cpp; the result is then written as a cache next to it) or from
// a cache, which is what the show loads.
//
// Cache files are outside input: the reader checks every count, length, index and offset
// against the file and refuses a bad file with a message naming it, leaving the model
// empty. The writer runs the same checks before it writes, so it only ever produces
// files the reader accepts; it needs no graphics device (the data generator uses it):
//   Model m(nullptr);  m.AllocLists(meshes, materials, effects, images);
//   m.SetImageFile(i, name);  m.EffectTextures[e] = image or -1;
//   per mesh: the header counts and Flags, AllocArrays, the arrays, OptimizeVertices;
//   m.SavePet(path);
//
// Ownership: a loaded model owns its raw meshes, name lists and image file names (the
// texture rows it appends point at those names, so the model must outlive the scene's
// texture set). Mesh forms belong to the scene once added to it, else to the model. An
// instance shares the geometry of its source's forms. Main thread only.

#include "base/math.hpp"
#include "base/types.hpp"
#include "show/collada.hpp"
#include "show/form.hpp"

class Scene;
struct TextureEntry;
struct MaterialEntry;
struct sViewport;

enum : sU32
{
  sPET_MAGIC = 0xfeb0beef,
  sPET_VERSION = 0x00010000,

  // Flags of a raw mesh: which corner index arrays it has
  sRMF_POSITION = 1,
  sRMF_NORMAL = 2,             // the mesh has normals
  sRMF_UV = 4,                 // the mesh has texture coordinates
  sRMF_FOURTH = 8,
  sRMF_ALL = 15,
};

enum : sInt
{
  sPET_NAMECHARS = 1024,       // image names are read into buffers of this many characters
  sMODEL_MAXVERTICES = 65536,  // what the 16-bit indices of a mesh form address
};

// One corner after OptimizeVertices.
struct OptimizedVertex
{
  sInt PositionIndex;
  sInt NormalIndex;
  sInt UVIndex;
  sInt CopyIndex;              // first corner with the same three indices
  sInt VertexIndex;            // the optimised vertex the corner maps to
};

// One mesh as imported; the header words are those of the cache's mesh record.
struct RawMesh
{
  enum : sInt { HeaderWords = 11 };

  sInt VertexCount = 0;
  sInt NormalCount = 0;
  sInt UV0Count = 0;
  sInt UV1Count = 0;
  sInt PolygonCount = 0;       // 0: every polygon is a triangle
  sInt TriangleCount = 0;
  sInt QuadCount = 0;
  sInt CornerCount = 0;
  sInt MaterialIndex = 0;
  sInt Flags = 0;              // sRMF_*
  sInt OptimizedNumber = 0;

  sF32 *Positions = nullptr;   // VertexCount x 3
  sF32 *Normals = nullptr;     // NormalCount x 3
  sF32 *UV0 = nullptr;         // UV0Count x 2
  sF32 *UV1 = nullptr;         // UV1Count x 2
  sInt *PolygonSizes = nullptr;
  sInt *PositionIndex = nullptr;   // CornerCount each, present by Flags
  sInt *NormalIndex = nullptr;
  sInt *UVIndex = nullptr;
  sInt *FourthIndex = nullptr;
  OptimizedVertex *Corners = nullptr;

  RawMesh() = default;
  ~RawMesh() { Free(); }
  RawMesh(const RawMesh &) = delete;
  RawMesh &operator=(const RawMesh &) = delete;

  // Allocates, zeroed, every array the header counts and flags ask for that the mesh
  // does not have yet.
  void AllocArrays();
  void Free();
  // Bytes of the mesh record in a cache file.
  sDInt GetFileSize() const;
  // Appends the mesh record at dest; returns the end of what was written.
  sU8 *Write(sU8 *dest) const;
  // Reads a mesh record from [data, end); returns the end of the record, or null when the
  // record does not fit or is inconsistent (why: a message, set on failure).
  const sU8 *Read(const sU8 *data, const sU8 *end, const sChar *&why);
  // Null when the mesh is consistent (counts, every index, the corner bookkeeping and the
  // 16-bit vertex limit), else why not.
  const sChar *Check() const;
  // Per-axis minimum and maximum of the positions; nothing for an empty mesh.
  void GetBounds(sVec3 &min, sVec3 &max) const;
  void Transform(const sMat3x4 &matrix);
  // Maps every corner to an optimised vertex: corners with equal position, normal and uv
  // indices share one.
  void OptimizeVertices();
  // The mesh form's vertices (position, normal, uv) and 16-bit indices; vertices takes
  // OptimizedNumber x 8 floats, indices GetIndexCount(). Returns the vertices written.
  sInt BuildVertices(sF32 *vertices, sU16 *indices) const;
  sInt GetIndexCount() const { return 3 * (TriangleCount + 2 * QuadCount); }
};

// A form drawing one raw mesh.
class MeshForm : public Form
{
public:
  sInt MeshFlags;              // the mesh's Flags: sRMF_NORMAL, sRMF_UV

  MeshForm(sInt materialIndex, sGeometry *geometry = nullptr, sMat3x4 *auxMatrix = nullptr)
    : Form(materialIndex, geometry, auxMatrix), MeshFlags(0) {}
};

// Makes the form's geometry (triangle list, 16-bit indices, position-normal-uv vertices).
void BuildMeshForm(MeshForm *form, const RawMesh *raw);

class Model
{
public:
  Scene *OwnerScene;
  sInt OwnTables;              // the import appends texture and material rows
  sInt Loaded;                 // the model owns its raw meshes
  sInt AddedToScene;           // the scene owns the mesh forms
  sChar Folder[sPET_NAMECHARS];
  sInt Mode;                   // material mode of the import (4: two texture slots)
  TextureEntry *TextureTable;
  MaterialEntry *MaterialTable;
  sInt TextureCapacity;        // rows the tables hold, end rows included
  sInt MaterialCapacity;
  ColladaNames Names;
  sChar **ImageFiles;          // ImageCount names (owned)
  sMat3x4 Matrix;
  sInt LightSetIndex;
  sVec3 BoundsMax;
  sInt VertexTotal, NormalTotal, UVTotal, UV1Total;
  sInt MeshCount;
  MeshForm **MeshForms;
  RawMesh **Meshes;            // null in an instance
  sInt MaterialBase;           // the model's rows are MaterialBase + a mesh's MaterialIndex
  sInt TextureBase;
  sInt MaterialCount, ImageCount, EffectCount;
  sInt *MaterialEffects;       // MaterialCount words (Collada only; not cached)
  sInt *EffectTextures;        // EffectCount image indices, -1 for none
  sInt Exploded;
  sVec3 *Centres;
  sVec3 *HalfExtents;
  sU32 LayerMask;

  // Without tables the model adds no rows; with them, textureRows and materialRows are
  // the rows each table has room for.
  explicit Model(Scene *scene) : Model(scene, nullptr, nullptr, 0, 0) {}
  Model(Scene *scene, TextureEntry *textureTable, MaterialEntry *materialTable, sInt textureRows, sInt materialRows);
  template <sInt T, sInt M>
  Model(Scene *scene, TextureEntry (&textures)[T], MaterialEntry (&materials)[M])
    : Model(scene, textures, materials, T, M) {}
  ~Model();
  Model(const Model &) = delete;
  Model &operator=(const Model &) = delete;

  void CreateForms(sBool addToScene);
  void Instance(Model *source, sBool addToScene);
  void ApplyMatrix();
  void SetPassFlags(sInt flags);
  void SetLayerMask(sU32 mask);
  void Transform(const sMat3x4 &matrix);
  void ComputeMeshCenters();
  void Render(sViewport *view, sInt pass);
  // The row of mesh i's form: MaterialBase plus the mesh's material index. With rows of
  // its own only the model's effects have rows, yet a file may name a material past them
  // (a Maya file with several materials and no effects, a cache with more materials than
  // effects): such a mesh keeps its index, and its form takes the end row, which draws
  // itself.
  sInt MeshRow(sInt i) const;
  // The row a mesh form is made with: the row asked for, or the end row of the scene's
  // set when the row lies past it.
  sInt FormRow(sInt row) const;

  // The cache writer: 1 when the file was written. A model the reader would refuse is
  // not written (0, with a message).
  sBool SavePet(const sChar *path);
  // The cache reader: 1 when the file was read. A bad file leaves the model empty.
  sBool LoadPet(const sChar *path);
  // The Collada importer (collada.cpp): 1 on success; a file it cannot read leaves the
  // model empty.
  sBool LoadCollada(const sChar *path);
  // The image index of the material's effect, or -1; -2 when the material names an
  // effect the file does not have.
  sInt FindColladaEffect(sInt materialIndex) const;

  // Empty lists of the given sizes (raw meshes empty, effect textures -1, names empty);
  // what the importers and the data generator fill before writing a cache.
  void AllocLists(sInt meshCount, sInt materialCount, sInt effectCount, sInt imageCount);
  void SetImageFile(sInt i, const sChar *name);
  // Drops everything loaded: the model is empty again.
  void FreeLoaded();
  // The texture rows and the material rows of the effects (own tables only); 0 with a
  // message when the tables have no room.
  sBool AppendTableRows(const sChar *path, sBool colladaKinds);
};

// Imports a model file into the model: a Collada file (then written as a cache beside
// it) or a cache. With importSource 0 the cache of the name is read whatever its
// extension. materialBase -1 appends rows to the model's own tables.
void pImportObject(Model *model, const sChar *fileName, const sChar *folder, sInt importSource, sInt mode,
                   sInt materialBase);

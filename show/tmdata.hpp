#pragma once
// Texture and material sets: a scene's two constant tables turned into live objects.
//
// A scene describes its textures (one row per image file, with an unpacked and a packed
// path) and its materials (one row per material: kind, vertex format, render states and
// texture references) in tables compiled into the program. TMData::Build loads every
// texture, makes one prepared generated material per material row and 256 light sets.
// Forms name their material by its row; the renderer picks the constant fillers by the
// row's Kind. The scene of texture-set kind 0 builds the global set that kind-2 scenes
// borrow.
//
// A TMData owns its textures, kept images, materials and light sets; the tables are
// constant data it only points at. Built and used on the main thread (the block-packed
// pictures are packed on threads of their own meanwhile).

#include "base/math.hpp"
#include "base/types.hpp"

class PackedPictureBatch;
class sImage;
class sMaterial;
class sTexture2D;
struct sVertexFormat;

enum : sU32
{
  // LoadOption bits of a texture row
  sTMD_HEIGHTTONORMAL = 1,    // the image is a height map: use its normal map
  sTMD_DXT1 = 2,              // store block-compressed, 8-byte blocks
  sTMD_DXT5 = 4,              // store block-compressed, 16-byte blocks (bit 1 wins)
  sTMD_IMAGEONLY = 8,         // keep the image, make no texture

  // flags of TMData::Build and Scene::CreateTMData
  sTMD_PACKED = 1,            // use the packed paths
  sTMD_REFRESH = 2,           // refresh the loader screen after each texture
};

enum : sInt
{
  sTMD_LIGHTSETS = 256,
  sTMD_ENDKIND = 16,          // Kind of the row that ends a material table
};

// One row of a scene's texture table; a null UnpackedPath ends the table.
struct TextureEntry
{
  const sChar *UnpackedPath;
  const sChar *PackedPath;
  sU32 TextureFlags;
  sU32 LoadOption;
};

// One row of a scene's material table (13 words); Kind 16 ends the table.
struct MaterialEntry
{
  sInt Kind;                  // 0..15
  sInt VertexFormat;          // standard vertex format in creation order: 1, 3 or 5
  sU32 StateFlags;
  sU32 BlendWord;
  sInt TextureCount;          // slots used, 0..4
  sU32 SamplerFlags[4];
  sInt TextureIndex[4];       // rows of the texture table
};

struct LightSet
{
  sU32 Ambient;
  sU32 Colors[3];
  sVec3 Directions[3];        // unit length
  sVec3 Positions[3];

  // The defaults every set starts with.
  void Reset();
};

class TMData
{
public:
  sInt TextureCount;
  sInt MaterialCount;
  sMat4x4 ShadowMatrix;       // the shadow matrices of kind-13 materials point here
  const MaterialEntry *MaterialTable;
  const TextureEntry *TextureTable;
  sTexture2D **Textures;      // null where no texture was made
  sImage **Images;            // set only for image-only rows
  sMaterial **Materials;      // one per material row
  LightSet *LightSets[sTMD_LIGHTSETS];

  TMData();
  ~TMData();
  void Build(const TextureEntry *textures, const MaterialEntry *materials, sInt flags);

  // The Kind of a material row; row MaterialCount is the end row (Kind 16). Any other
  // row is fatal.
  sInt GetKind(sInt row) const;

  TMData(const TMData &) = delete;
  TMData &operator=(const TMData &) = delete;

private:
  // packing: the row's picture in the batch, -1 when it is not packed
  void LoadTexture(sInt row, sInt flags, PackedPictureBatch &batch, sInt packing);
  sMaterial *MakeMaterial(const MaterialEntry &e);
  sTexture2D *TextureOf(const MaterialEntry &e, sInt slot) const;
};

// The standard vertex format of a material row's VertexFormat index (creation order);
// null for an index outside the ten.
sVertexFormat *StandardVertexFormat(sInt index);

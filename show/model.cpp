// Models: raw meshes, mesh forms, placement, and the model cache file with its reader and
// writer.

#include "show/model.hpp"

#include "base/file.hpp"
#include "base/log.hpp"
#include "graphics/graphics.hpp"
#include "show/scene.hpp"
#include "show/tmdata.hpp"

#include <cstring>
#include <unordered_map>

namespace
{
// More material rows than any scene's table holds: a cache asking for more is damaged.
constexpr sInt MaxMaterials = 65536;

// Zeroed memory, at least one byte so that an empty list is still a valid block.
void *AllocZeroed(sDInt bytes, const char *file, sInt line)
{
  sSetAllocSource(file, line);
  void *p = sMemAlloc(bytes > 0 ? bytes : 1, 16, 0);
  memset(p, 0, size_t(bytes > 0 ? bytes : 1));
  return p;
}
#define MODEL_ALLOC(T, n) static_cast<T *>(AllocZeroed(sDInt(sizeof(T)) * sDInt(n), __FILE__, __LINE__))

template <class T> void FreeArray(T *&p)
{
  sMemFree(p);
  p = nullptr;
}

sInt CornerArrayCount(sInt flags)
{
  return (flags & 1) + ((flags >> 1) & 1) + ((flags >> 2) & 1) + ((flags >> 3) & 1);
}

// The index arrays in file order with their flag.
struct IndexArrayRef
{
  sInt Flag;
  sInt *RawMesh::*Array;
};
const IndexArrayRef IndexArrays[4] = {
  {sRMF_POSITION, &RawMesh::PositionIndex},
  {sRMF_NORMAL, &RawMesh::NormalIndex},
  {sRMF_UV, &RawMesh::UVIndex},
  {sRMF_FOURTH, &RawMesh::FourthIndex},
};

sU8 *PutWords(sU8 *dest, const void *src, sDInt words)
{
  if(words > 0) memcpy(dest, src, size_t(words) * 4);
  return dest + words * 4;
}

// Reads little-endian words from a block, never past its end.
struct WordReader
{
  const sU8 *Pos;
  const sU8 *End;

  sDInt Left() const { return End - Pos; }
  sBool Has(sS64 bytes) const { return bytes >= 0 && bytes <= sS64(Left()); }
  sBool Word(sU32 &v)
  {
    if(!Has(4)) return 0;
    memcpy(&v, Pos, 4);
    Pos += 4;
    return 1;
  }
  sBool Int(sInt &v)
  {
    sU32 u;
    if(!Word(u)) return 0;
    v = sInt(u);
    return 1;
  }
};

sBool InRange(sInt index, sInt count) { return index >= 0 && index < count; }
}  // namespace

/****************************************************************************/
/***   Raw meshes                                                         ***/
/****************************************************************************/

void RawMesh::AllocArrays()
{
  if(VertexCount > 0 && !Positions) Positions = MODEL_ALLOC(sF32, 3 * sDInt(VertexCount));
  if(NormalCount > 0 && !Normals) Normals = MODEL_ALLOC(sF32, 3 * sDInt(NormalCount));
  if(UV0Count > 0 && !UV0) UV0 = MODEL_ALLOC(sF32, 2 * sDInt(UV0Count));
  if(UV1Count > 0 && !UV1) UV1 = MODEL_ALLOC(sF32, 2 * sDInt(UV1Count));
  if(PolygonCount > 0 && !PolygonSizes) PolygonSizes = MODEL_ALLOC(sInt, PolygonCount);
  if(CornerCount > 0)
  {
    for(const IndexArrayRef &a : IndexArrays)
      if((Flags & a.Flag) && !(this->*a.Array)) this->*a.Array = MODEL_ALLOC(sInt, CornerCount);
    if(!Corners) Corners = MODEL_ALLOC(OptimizedVertex, CornerCount);
  }
}

void RawMesh::Free()
{
  FreeArray(Positions);
  FreeArray(Normals);
  FreeArray(UV0);
  FreeArray(UV1);
  FreeArray(PolygonSizes);
  for(const IndexArrayRef &a : IndexArrays) FreeArray(this->*a.Array);
  FreeArray(Corners);
}

sDInt RawMesh::GetFileSize() const
{
  sDInt words = HeaderWords + 3 * sDInt(VertexCount) + 3 * sDInt(NormalCount) + 2 * sDInt(UV0Count) +
                2 * sDInt(UV1Count) + PolygonCount + sDInt(CornerCount) * (CornerArrayCount(Flags) + 5);
  return words * 4;
}

sU8 *RawMesh::Write(sU8 *dest) const
{
  sLogF(u"model", u"vertex count: %d\n", VertexCount);
  sLogF(u"model", u"normal count: %d\n", NormalCount);
  sLogF(u"model", u"uv count: %d\n", UV0Count);
  const sInt header[HeaderWords] = {VertexCount,  NormalCount, UV0Count,      UV1Count, PolygonCount,   TriangleCount,
                                    QuadCount,    CornerCount, MaterialIndex, Flags,    OptimizedNumber};
  dest = PutWords(dest, header, HeaderWords);
  dest = PutWords(dest, Positions, 3 * sDInt(VertexCount));
  dest = PutWords(dest, Normals, 3 * sDInt(NormalCount));
  dest = PutWords(dest, UV0, 2 * sDInt(UV0Count));
  dest = PutWords(dest, UV1, 2 * sDInt(UV1Count));
  dest = PutWords(dest, PolygonSizes, PolygonCount);
  for(const IndexArrayRef &a : IndexArrays)
    if(Flags & a.Flag) dest = PutWords(dest, this->*a.Array, CornerCount);
  dest = PutWords(dest, Corners, 5 * sDInt(CornerCount));
  return dest;
}

const sU8 *RawMesh::Read(const sU8 *data, const sU8 *end, const sChar *&why)
{
  Free();
  WordReader r{data, end};
  sInt *header[HeaderWords] = {&VertexCount, &NormalCount, &UV0Count,      &UV1Count, &PolygonCount,   &TriangleCount,
                               &QuadCount,   &CornerCount, &MaterialIndex, &Flags,    &OptimizedNumber};
  for(sInt *h : header)
    if(!r.Int(*h))
    {
      why = u"mesh header cut short";
      return nullptr;
    }
  sLogF(u"model", u"class size: %d\n", sInt(HeaderWords));
  sLogF(u"model", u"vertex count: %d\n", VertexCount);
  sLogF(u"model", u"normal count: %d\n", NormalCount);
  sLogF(u"model", u"uv count: %d\n", UV0Count);
  if(VertexCount < 0 || NormalCount < 0 || UV0Count < 0 || UV1Count < 0 || PolygonCount < 0 || CornerCount < 0 ||
     (Flags & ~sRMF_ALL))
  {
    why = u"bad mesh header";
    return nullptr;
  }
  // 64-bit sums: no count can make the size wrap
  sS64 words = 3 * sS64(VertexCount) + 3 * sS64(NormalCount) + 2 * sS64(UV0Count) + 2 * sS64(UV1Count) +
               PolygonCount + sS64(CornerCount) * (CornerArrayCount(Flags) + 5);
  if(!r.Has(words * 4))
  {
    why = u"mesh arrays run past the end of the file";
    return nullptr;
  }
  AllocArrays();
  auto take = [&r](void *dest, sS64 n) {
    if(n > 0) memcpy(dest, r.Pos, size_t(n) * 4);
    r.Pos += n * 4;
  };
  take(Positions, 3 * sS64(VertexCount));
  take(Normals, 3 * sS64(NormalCount));
  take(UV0, 2 * sS64(UV0Count));
  take(UV1, 2 * sS64(UV1Count));
  take(PolygonSizes, PolygonCount);
  for(const IndexArrayRef &a : IndexArrays)
    if(Flags & a.Flag) take(this->*a.Array, CornerCount);
  take(Corners, 5 * sS64(CornerCount));
  why = Check();
  return why ? nullptr : r.Pos;
}

const sChar *RawMesh::Check() const
{
  if(VertexCount < 0 || NormalCount < 0 || UV0Count < 0 || UV1Count < 0 || PolygonCount < 0 || TriangleCount < 0 ||
     QuadCount < 0 || CornerCount < 0 || OptimizedNumber < 0 || (Flags & ~sRMF_ALL))
    return u"negative count or unknown flags";
  if(CornerCount > 0 && !(Flags & sRMF_POSITION)) return u"corners without position indices";
  // a mesh filled by hand may lack an array its counts promise
  if((VertexCount && !Positions) || (NormalCount && !Normals) || (UV0Count && !UV0) || (UV1Count && !UV1) ||
     (PolygonCount && !PolygonSizes) || (CornerCount && !Corners))
    return u"array missing";
  for(const IndexArrayRef &a : IndexArrays)
    if(CornerCount && (Flags & a.Flag) && !(this->*a.Array)) return u"index array missing";

  // the polygons must use the corners they claim, and give the triangles counted
  if(PolygonCount == 0)
  {
    if(QuadCount != 0 || sS64(TriangleCount) * 3 > CornerCount) return u"more triangles than corners";
  }
  else
  {
    sS64 used = 0;
    sInt tris = 0, quads = 0;
    for(sInt p = 0; p < PolygonCount; p++)
    {
      sInt n = PolygonSizes[p];
      if(n < 0) return u"negative polygon size";
      used += n;
      tris += n == 3;
      quads += n == 4;
    }
    if(used > CornerCount || tris != TriangleCount || quads != QuadCount) return u"polygons do not match the corners";
  }

  for(sInt c = 0; c < CornerCount; c++)
  {
    if(!InRange(PositionIndex[c], VertexCount)) return u"position index out of range";
    if(NormalIndex && !InRange(NormalIndex[c], NormalCount)) return u"normal index out of range";
    if(UVIndex && !InRange(UVIndex[c], UV0Count)) return u"uv index out of range";
  }

  // the corner bookkeeping: each corner is a new vertex or a copy of an earlier one
  sInt next = 0;
  for(sInt c = 0; c < CornerCount; c++)
  {
    const OptimizedVertex &o = Corners[c];
    if(!InRange(o.PositionIndex, VertexCount)) return u"corner position out of range";
    if((Flags & sRMF_NORMAL) && !InRange(o.NormalIndex, NormalCount)) return u"corner normal out of range";
    if((Flags & sRMF_UV) && !InRange(o.UVIndex, UV0Count)) return u"corner uv out of range";
    if(o.CopyIndex == c)
    {
      if(o.VertexIndex != next) return u"corner vertex numbers out of order";
      next++;
    }
    else if(!InRange(o.CopyIndex, c) || Corners[o.CopyIndex].CopyIndex != o.CopyIndex ||
            o.VertexIndex != Corners[o.CopyIndex].VertexIndex)
    {
      return u"corner copies an unknown corner";
    }
  }
  if(next != OptimizedNumber) return u"optimised vertex count does not match the corners";
  if(OptimizedNumber > sMODEL_MAXVERTICES) return u"more vertices than 16-bit indices address";
  return nullptr;
}

void RawMesh::GetBounds(sVec3 &min, sVec3 &max) const
{
  for(sInt v = 0; v < VertexCount; v++)
  {
    const sF32 *p = Positions + 3 * v;
    if(v == 0)
    {
      min.Init(p[0], p[1], p[2]);
      max = min;
      continue;
    }
    min.Init(p[0] < min.x ? p[0] : min.x, p[1] < min.y ? p[1] : min.y, p[2] < min.z ? p[2] : min.z);
    max.Init(p[0] > max.x ? p[0] : max.x, p[1] > max.y ? p[1] : max.y, p[2] > max.z ? p[2] : max.z);
  }
}

void RawMesh::Transform(const sMat3x4 &matrix)
{
  for(sInt v = 0; v < VertexCount; v++)
  {
    sF32 *p = Positions + 3 * v;
    sVec3 q = sMulPointMat3x4(sVec3(p[0], p[1], p[2]), matrix);
    p[0] = q.x;
    p[1] = q.y;
    p[2] = q.z;
  }
  for(sInt n = 0; n < NormalCount; n++)
  {
    sF32 *p = Normals + 3 * n;
    sVec3 q = sMulDirMat3x4(sVec3(p[0], p[1], p[2]), matrix);
    q.Unit();
    p[0] = q.x;
    p[1] = q.y;
    p[2] = q.z;
  }
}

void RawMesh::OptimizeVertices()
{
  // Corners with the same three indices share a vertex. A hash of the index triple finds
  // the first such corner at once, so large meshes import in linear time; the result is
  // that of comparing every corner with every later one.
  struct Key
  {
    sInt P, N, U;
    bool operator==(const Key &o) const { return P == o.P && N == o.N && U == o.U; }
  };
  struct KeyHash
  {
    size_t operator()(const Key &k) const
    {
      sU64 h = sU64(sU32(k.P)) * 0x9E3779B97F4A7C15ull;
      h ^= (sU64(sU32(k.N)) + 0x632BE59BD9B4E019ull) * 0xC2B2AE3D27D4EB4Full;
      h ^= (sU64(sU32(k.U)) + 0x165667B19E3779F9ull) * 0x27D4EB2F165667C5ull;
      return size_t(h ^ (h >> 29));
    }
  };
  std::unordered_map<Key, sInt, KeyHash> first;
  first.reserve(size_t(CornerCount));
  OptimizedNumber = 0;
  for(sInt c = 0; c < CornerCount; c++)
  {
    OptimizedVertex &o = Corners[c];
    o.PositionIndex = PositionIndex[c];
    o.NormalIndex = (Flags & sRMF_NORMAL) ? NormalIndex[c] : 0;
    o.UVIndex = (Flags & sRMF_UV) ? UVIndex[c] : 0;
    auto found = first.try_emplace(Key{o.PositionIndex, o.NormalIndex, o.UVIndex}, c);
    o.CopyIndex = found.first->second;
    if(o.CopyIndex == c)
    {
      o.VertexIndex = OptimizedNumber++;
    }
    else
    {
      sVERIFYAS(o.CopyIndex < c, u"OptimizedVertex[i].CopyIndex<i");
      o.VertexIndex = Corners[o.CopyIndex].VertexIndex;
    }
  }
}

sInt RawMesh::BuildVertices(sF32 *vertices, sU16 *indices) const
{
  sInt written = 0;
  for(sInt c = 0; c < CornerCount; c++)
  {
    const OptimizedVertex &o = Corners[c];
    if(o.CopyIndex != c) continue;
    sF32 *v = vertices + 8 * written++;
    const sF32 *p = Positions + 3 * o.PositionIndex;
    v[0] = p[0];
    v[1] = p[1];
    v[2] = p[2];
    if(Flags & sRMF_NORMAL)
    {
      const sF32 *n = Normals + 3 * o.NormalIndex;
      v[3] = n[0];
      v[4] = n[1];
      v[5] = n[2];
    }
    else
    {
      v[3] = 0.0f;
      v[4] = 1.0f;
      v[5] = 0.0f;
    }
    if(Flags & sRMF_UV)
    {
      const sF32 *t = UV0 + 2 * o.UVIndex;
      v[6] = t[0];
      v[7] = 1.0f - t[1];
    }
    else
    {
      v[6] = 0.5f;
      v[7] = 0.5f;
    }
  }

  auto vi = [this](sInt corner) { return sU16(Corners[corner].VertexIndex); };
  sInt n = 0;
  if(PolygonCount == 0)
  {
    for(sInt t = 0; t < TriangleCount; t++)
      for(sInt k = 0; k < 3; k++) indices[n++] = vi(3 * t + k);
  }
  else
  {
    sInt r = 0;
    for(sInt p = 0; p < PolygonCount; p++)
    {
      sInt size = PolygonSizes[p];
      if(size == 3 || size == 4)
      {
        indices[n++] = vi(r);
        indices[n++] = vi(r + 1);
        indices[n++] = vi(r + 2);
      }
      if(size == 4)
      {
        indices[n++] = vi(r);
        indices[n++] = vi(r + 2);
        indices[n++] = vi(r + 3);
      }
      r += size;
    }
  }
  sVERIFY(n==GetIndexCount());
  return written;
}

void BuildMeshForm(MeshForm *form, const RawMesh *raw)
{
  form->MeshFlags = raw->Flags;
  // the importers refuse meshes that 16-bit indices cannot address
  sVERIFY(raw->OptimizedNumber<=sMODEL_MAXVERTICES);
  sInt ic = raw->GetIndexCount();
  if(raw->OptimizedNumber == 0 || ic == 0) return;   // an empty mesh gets no geometry: no zero-primitive draw every frame
  form->Geometry = sNEW sGeometry(sGF_TRILIST | sGF_INDEX16, sVertexFormatPosNormUV);
  form->SharedGeometry = 0;
  void *vp = nullptr, *ip = nullptr;
  form->Geometry->BeginLoad(sVertexFormatPosNormUV, sGF_TRILIST | sGF_INDEX16, sGD_STATIC, raw->OptimizedNumber, ic,
                            &vp, &ip);
  sInt ii = raw->BuildVertices(static_cast<sF32 *>(vp), static_cast<sU16 *>(ip));
  sVERIFY(ii==raw->OptimizedNumber);
  form->Geometry->EndLoad();
}

/****************************************************************************/
/***   Model                                                              ***/
/****************************************************************************/

Model::Model(Scene *scene, TextureEntry *textureTable, MaterialEntry *materialTable, sInt textureRows,
             sInt materialRows)
  : OwnerScene(scene), OwnTables(0), Loaded(0), AddedToScene(0), Mode(0), TextureTable(textureTable),
    MaterialTable(materialTable), TextureCapacity(textureRows), MaterialCapacity(materialRows), ImageFiles(nullptr),
    LightSetIndex(0), BoundsMax(0, 0, 0), VertexTotal(0), NormalTotal(0), UVTotal(0), UV1Total(0), MeshCount(0),
    MeshForms(nullptr), Meshes(nullptr), MaterialBase(0), TextureBase(0), MaterialCount(0), ImageCount(0),
    EffectCount(0), MaterialEffects(nullptr), EffectTextures(nullptr), Exploded(0), Centres(nullptr),
    HalfExtents(nullptr), LayerMask(0xffffffff)
{
  Folder[0] = 0;
  if(textureTable)
    while(TextureBase < textureRows && textureTable[TextureBase].UnpackedPath) TextureBase++;
  if(materialTable)
    while(MaterialBase < materialRows && materialTable[MaterialBase].Kind != sTMD_ENDKIND) MaterialBase++;
}

Model::~Model()
{
  FreeArray(Centres);
  FreeArray(HalfExtents);
  FreeLoaded();
  // an instance's forms share their geometry; they are the model's own unless added
  if(MeshForms && !AddedToScene)
    for(sInt i = 0; i < MeshCount; i++) sDELETE(MeshForms[i]);
  FreeArray(MeshForms);
  FreeArray(MaterialEffects);
}

void Model::FreeLoaded()
{
  if(Meshes)
  {
    for(sInt i = 0; i < MeshCount; i++) sDELETE(Meshes[i]);
    FreeArray(Meshes);
    if(MeshForms && !AddedToScene)
      for(sInt i = 0; i < MeshCount; i++) sDELETE(MeshForms[i]);
    FreeArray(MeshForms);
    MeshCount = 0;
  }
  FreeArray(MaterialEffects);
  FreeArray(EffectTextures);
  if(ImageFiles)
    for(sInt i = 0; i < ImageCount; i++) FreeArray(ImageFiles[i]);
  FreeArray(ImageFiles);
  Names.Free();
  MaterialCount = ImageCount = EffectCount = 0;
}

void Model::AllocLists(sInt meshCount, sInt materialCount, sInt effectCount, sInt imageCount)
{
  FreeLoaded();
  Loaded = 1;
  MeshCount = meshCount;
  MaterialCount = materialCount;
  EffectCount = effectCount;
  ImageCount = imageCount;
  Meshes = MODEL_ALLOC(RawMesh *, meshCount);
  for(sInt i = 0; i < meshCount; i++) Meshes[i] = sNEW RawMesh;
  MeshForms = MODEL_ALLOC(MeshForm *, meshCount);
  MaterialEffects = MODEL_ALLOC(sInt, materialCount);
  EffectTextures = MODEL_ALLOC(sInt, effectCount);
  for(sInt i = 0; i < effectCount; i++) EffectTextures[i] = -1;
  ImageFiles = MODEL_ALLOC(sChar *, imageCount);
}

void Model::SetImageFile(sInt i, const sChar *name)
{
  sVERIFY(i>=0 && i<ImageCount);
  FreeArray(ImageFiles[i]);
  sInt n = sGetStringLen(name) + 1;
  ImageFiles[i] = MODEL_ALLOC(sChar, n);
  sCopyString(ImageFiles[i], name, n);
}

sBool Model::AppendTableRows(const sChar *path, sBool colladaKinds)
{
  if(!OwnTables) return 1;
  // room for the model's rows and the end row after them: never written past the tables
  if(sS64(TextureBase) + ImageCount + 1 > TextureCapacity || sS64(MaterialBase) + EffectCount + 1 > MaterialCapacity)
  {
    sDPrintF(u"pImportObject: the scene's tables have no room for the rows of %s\n", path);
    return 0;
  }
  for(sInt i = 0; i < ImageCount; i++)
  {
    TextureEntry &t = TextureTable[TextureBase + i];
    t.UnpackedPath = t.PackedPath = ImageFiles[i];
    t.TextureFlags = 0x1001;
    t.LoadOption = 2;
  }
  TextureTable[TextureBase + ImageCount] = TextureEntry{nullptr, nullptr, 0, 0};

  for(sInt i = 0; i < EffectCount; i++)
  {
    MaterialEntry &m = MaterialTable[MaterialBase + i];
    if(!colladaKinds || (Mode >= 0 && Mode <= 4)) m.Kind = 5;
    m.VertexFormat = 1;
    m.StateFlags = 19;
    m.BlendWord = 0;
    m.TextureCount = 1;
    m.SamplerFlags[0] = 1;
    if(Mode == 4)
    {
      m.TextureCount = 2;
      m.SamplerFlags[1] = 0x11000010;
    }
    sInt image = EffectTextures[i];
    if(image < 0)
    {
      // an effect without a texture draws with empty texture slots
      m.TextureCount = 0;
      m.TextureIndex[0] = m.TextureIndex[1] = 0;
    }
    else
    {
      m.TextureIndex[0] = image + TextureBase;
      if(Mode == 4) m.TextureIndex[1] = image + TextureBase;
    }
  }
  MaterialTable[MaterialBase + EffectCount].Kind = sTMD_ENDKIND;
  return 1;
}

/****************************************************************************/
/***   The cache file                                                     ***/
/****************************************************************************/

namespace
{
// Words of an image name of len characters: the characters, the terminating zero and
// zero padding to a whole word.
sInt NameWords(sInt len) { return (len + 3) / 2; }

// Null when the model's lists are fit for the cache (the reader would take them back).
const sChar *CheckModelLists(const Model &m)
{
  if(m.MeshCount < 0 || m.MaterialCount < 0 || m.MaterialCount > MaxMaterials || m.EffectCount < 0 ||
     m.ImageCount < 0)
    return u"bad list counts";
  for(sInt i = 0; i < m.ImageCount; i++)
    if(!m.ImageFiles[i] || sGetStringLen(m.ImageFiles[i]) >= sPET_NAMECHARS) return u"image name missing or too long";
  for(sInt i = 0; i < m.EffectCount; i++)
    if(m.EffectTextures[i] != -1 && !InRange(m.EffectTextures[i], m.ImageCount)) return u"effect names no image";
  for(sInt i = 0; i < m.MeshCount; i++)
  {
    const RawMesh *r = m.Meshes[i];
    if(r->MaterialIndex < 0 || r->MaterialIndex > m.MaterialCount) return u"mesh names no material";
  }
  return nullptr;
}
}  // namespace

sBool Model::SavePet(const sChar *path)
{
  const sChar *why = Meshes || MeshCount == 0 ? CheckModelLists(*this) : u"the model has no raw meshes";
  for(sInt i = 0; !why && i < MeshCount; i++) why = Meshes[i]->Check();
  if(why)
  {
    sDPrintF(u"pImportObject: %s not written: %s\n", path, why);
    return 0;
  }

  sDInt size = 24 + 4 * sDInt(EffectCount);
  for(sInt i = 0; i < ImageCount; i++) size += 4 + 4 * sDInt(NameWords(sGetStringLen(ImageFiles[i])));
  for(sInt i = 0; i < MeshCount; i++) size += Meshes[i]->GetFileSize();
  sLogF(u"model", u"object count: %d\n", MeshCount);

  sU8 *image = MODEL_ALLOC(sU8, size);
  const sU32 header[6] = {sPET_MAGIC, sPET_VERSION, sU32(MeshCount), sU32(MaterialCount), sU32(EffectCount),
                          sU32(ImageCount)};
  sU8 *p = PutWords(image, header, 6);
  for(sInt i = 0; i < ImageCount; i++)
  {
    sInt len = sGetStringLen(ImageFiles[i]);
    sU32 w = sU32(NameWords(len));
    p = PutWords(p, &w, 1);
    sU16 *chars = reinterpret_cast<sU16 *>(p);   // the block is zeroed: terminator and padding
    for(sInt c = 0; c < len; c++) chars[c] = sU16(ImageFiles[i][c]);
    p += 4 * sDInt(w);
  }
  p = PutWords(p, EffectTextures, EffectCount);
  for(sInt i = 0; i < MeshCount; i++) p = Meshes[i]->Write(p);

  sDInt ressize = p - image;
  sVERIFY(ressize==size);
  sBool ok = sSaveFileData(path, image, size);
  sMemFree(image);
  if(!ok) sDPrintF(u"pImportObject: can't write %s\n", path);
  return ok;
}

sBool Model::LoadPet(const sChar *path)
{
  sDInt size = 0;
  sU8 *data = sLoadFileData(path, &size);
  if(!data)
  {
    sDPrintF(u"pImportObject: can't read %s\n", path);
    FreeLoaded();
    return 0;
  }
  WordReader r{data, data + size};
  const sChar *why = nullptr;
  sU32 magic = 0, version = 0;
  sInt meshes = 0, materials = 0, effects = 0, images = 0;
  if(!r.Word(magic) || magic != sPET_MAGIC) why = u"unknown file id";
  else if(!r.Word(version) || version != sPET_VERSION) why = u"unknown version";
  else if(!r.Int(meshes) || !r.Int(materials) || !r.Int(effects) || !r.Int(images)) why = u"header cut short";
  // every list entry takes at least one word (a mesh eleven), so no count can exceed the
  // words left; the material count only sizes an array
  else if(meshes < 0 || materials < 0 || materials > MaxMaterials || effects < 0 || images < 0 ||
          sS64(images) + effects + 11 * sS64(meshes) > r.Left() / 4)
    why = u"bad list counts";

  if(!why)
  {
    AllocLists(meshes, materials, effects, images);
    sChar name[sPET_NAMECHARS];
    for(sInt i = 0; !why && i < ImageCount; i++)
    {
      sInt w = 0;
      if(!r.Int(w) || w < 0 || !r.Has(4 * sS64(w)))
      {
        why = u"image name runs past the end of the file";
        break;
      }
      // the name and its terminator must fit the name buffer and the name's own words
      sInt chars = 2 * w, len = 0;
      const sU8 *c = r.Pos;
      while(len < chars && len < sPET_NAMECHARS && (c[2 * len] | c[2 * len + 1])) len++;
      if(len >= chars || len >= sPET_NAMECHARS)
      {
        why = u"image name unterminated or too long";
        break;
      }
      for(sInt k = 0; k < len; k++) name[k] = sChar(c[2 * k] | (c[2 * k + 1] << 8));
      name[len] = 0;
      SetImageFile(i, name);
      r.Pos += 4 * sDInt(w);
    }
    for(sInt i = 0; !why && i < EffectCount; i++)
      if(!r.Int(EffectTextures[i]) || (EffectTextures[i] != -1 && !InRange(EffectTextures[i], ImageCount)))
        why = u"effect names no image";
    if(!why) sLogF(u"model", u"object count: %d\n", MeshCount);
    for(sInt i = 0; !why && i < MeshCount; i++)
    {
      const sU8 *next = Meshes[i]->Read(r.Pos, r.End, why);
      if(next) r.Pos = next;
      else if(!why) why = u"bad mesh";
      if(!why && !InRange(Meshes[i]->MaterialIndex, MaterialCount + 1)) why = u"mesh names no material";
    }
  }
  sMemFree(data);

  if(!why && !AppendTableRows(path, 0)) why = u"no room in the tables";
  // a damaged or foreign cache is refused with a log line (the model stays empty) rather
  // than stopping the show or reading past its arrays
  if(why)
  {
    sDPrintF(u"pImportObject: %s refused: %s\n", path, why);
    FreeLoaded();
    return 0;
  }
  return 1;
}

/****************************************************************************/
/***   Forms and placement                                                ***/
/****************************************************************************/

void Model::CreateForms(sBool addToScene)
{
  RefreshLoadingScreen();
  AddedToScene = addToScene;
  BoundsMax.Init(0, 0, 0);
  VertexTotal = NormalTotal = UVTotal = UV1Total = 0;
  for(sInt i = 0; i < MeshCount; i++)
  {
    const RawMesh *raw = Meshes[i];
    MeshForm *f = sNEW MeshForm(FormRow(MeshRow(i)));
    BuildMeshForm(f, raw);
    f->LightSetIndex = LightSetIndex;
    f->LayerMask = LayerMask;
    MeshForms[i] = f;
    if(addToScene) OwnerScene->AddObject(f);

    for(sInt v = 0; v < raw->VertexCount; v++)
    {
      const sF32 *p = raw->Positions + 3 * v;
      if(p[0] > BoundsMax.x) BoundsMax.x = p[0];
      if(p[1] > BoundsMax.y) BoundsMax.y = p[1];
      if(p[2] > BoundsMax.z) BoundsMax.z = p[2];
    }
    VertexTotal += raw->VertexCount;
    NormalTotal += raw->NormalCount;
    UVTotal += raw->UV0Count;
    UV1Total += raw->UV1Count;
  }
}

sInt Model::MeshRow(sInt i) const
{
  const sInt index = Meshes[i]->MaterialIndex;
  // a mesh naming a material past the model's own rows takes the end row, not another model's
  if(!OwnTables || index <= EffectCount) return MaterialBase + index;
  sDPrintF(u"model: mesh %d names material %d, the model has %d material rows\n", i, index, EffectCount);
  return MaterialBase + EffectCount;
}

// A row the scene's material set has: past its end, the end row (the form draws itself).
sInt Model::FormRow(sInt row) const
{
  const TMData *set = OwnerScene ? OwnerScene->MaterialSet : nullptr;
  if(!set || (row >= 0 && row <= set->MaterialCount)) return row;
  sDPrintF(u"model: material row %d is not in the scene's set of %d rows\n", row, set->MaterialCount);
  return set->MaterialCount;
}

void Model::Instance(Model *source, sBool addToScene)
{
  // forms made by an earlier call are the model's own unless the scene took them
  if(MeshForms && !AddedToScene)
    for(sInt i = 0; i < MeshCount; i++) sDELETE(MeshForms[i]);
  AddedToScene = addToScene;
  MeshCount = source->MeshCount;
  MaterialCount = source->MaterialCount;
  MaterialBase = source->MaterialBase;
  FreeArray(MaterialEffects);
  MaterialEffects = MODEL_ALLOC(sInt, MaterialCount);
  if(source->MaterialEffects) memcpy(MaterialEffects, source->MaterialEffects, sizeof(sInt) * size_t(MaterialCount));
  FreeArray(MeshForms);
  MeshForms = MODEL_ALLOC(MeshForm *, MeshCount);
  for(sInt i = 0; i < MeshCount; i++)
  {
    // a source whose forms were never made gives the instance none either
    MeshForm *s = source->MeshForms ? source->MeshForms[i] : nullptr;
    MeshForms[i] = nullptr;
    if(!s) continue;
    MeshForm *f = sNEW MeshForm(s->MaterialIndex, s->Geometry, &s->Matrix);
    f->SharedGeometry = 1;
    f->MeshFlags = s->MeshFlags;
    f->LightSetIndex = s->LightSetIndex;
    f->LayerMask = LayerMask;
    MeshForms[i] = f;
    if(addToScene) OwnerScene->AddObject(f);
  }
  if(source->Exploded)
  {
    FreeArray(Centres);
    FreeArray(HalfExtents);
    Centres = MODEL_ALLOC(sVec3, MeshCount);
    HalfExtents = MODEL_ALLOC(sVec3, MeshCount);
    memcpy(Centres, source->Centres, sizeof(sVec3) * size_t(MeshCount));
    memcpy(HalfExtents, source->HalfExtents, sizeof(sVec3) * size_t(MeshCount));
    Exploded = 1;
  }
}

void Model::ApplyMatrix()
{
  for(sInt i = 0; i < MeshCount; i++)
    if(MeshForms[i]) MeshForms[i]->Matrix = Matrix;
}

void Model::SetPassFlags(sInt flags)
{
  for(sInt i = 0; i < MeshCount; i++)
    if(MeshForms[i]) MeshForms[i]->PassFlags = flags;
}

void Model::SetLayerMask(sU32 mask)
{
  LayerMask = mask;
  for(sInt i = 0; i < MeshCount; i++)
    if(MeshForms[i]) MeshForms[i]->LayerMask = mask;
}

void Model::Transform(const sMat3x4 &matrix)
{
  if(!Meshes) return;
  for(sInt i = 0; i < MeshCount; i++) Meshes[i]->Transform(matrix);
}

void Model::ComputeMeshCenters()
{
  if(Exploded || MeshCount <= 0 || !Meshes) return;
  Centres = MODEL_ALLOC(sVec3, MeshCount);
  HalfExtents = MODEL_ALLOC(sVec3, MeshCount);
  for(sInt i = 0; i < MeshCount; i++)
  {
    RawMesh *raw = Meshes[i];
    sVec3 mn(0, 0, 0), mx(0, 0, 0);
    raw->GetBounds(mn, mx);
    sVec3 c = (mn + mx) * 0.5f;
    Centres[i] = c;
    HalfExtents[i] = (mx - mn) * 0.5f;
    for(sInt v = 0; v < raw->VertexCount; v++)
    {
      sF32 *p = raw->Positions + 3 * v;
      p[0] -= c.x;
      p[1] -= c.y;
      p[2] -= c.z;
    }
  }
  Exploded = 1;
}

void Model::Render(sViewport *view, sInt pass)
{
  for(sInt i = 0; i < MeshCount; i++)
  {
    MeshForm *f = MeshForms[i];
    if(!f) continue;
    if(Exploded && pass == 0)
    {
      const sVec3 &c = Centres[i];
      f->Matrix = Matrix;
      f->Matrix.l = Matrix.l + c.x * Matrix.i + c.y * Matrix.j + c.z * Matrix.k;
    }
    OwnerScene->RenderForm(view, f, 0);
  }
}

/****************************************************************************/
/***   Import                                                             ***/
/****************************************************************************/

void pImportObject(Model *model, const sChar *fileName, const sChar *folder, sInt importSource, sInt mode,
                   sInt materialBase)
{
  RefreshLoadingScreen();
  model->Mode = mode;
  sCopyString(model->Folder, folder ? folder : u"", sPET_NAMECHARS);
  model->Loaded = 1;
  if(materialBase == -1)
  {
    if(!model->TextureTable || !model->MaterialTable) sFatal(u"pImportObject: no own data and other matarials!\n");
    model->OwnTables = 1;
  }
  else
  {
    model->OwnTables = 0;
    model->MaterialBase = materialBase;
  }

  sPathString path;
  sCopyString(path.GetBuffer(), model->Folder, sMAXPATH);
  sAppendString(path.GetBuffer(), fileName, sMAXPATH);
  if(importSource == 0)
  {
    sChar *ext = sFindFileExtension(path.GetBuffer());
    if(ext > path.GetBuffer() && ext[-1] == '.') *ext = 0;
    else sAppendString(path.GetBuffer(), u".", sMAXPATH);
    sAppendString(path.GetBuffer(), u"pet", sMAXPATH);
  }
  if(!sFileExists(path.Get())) return;

  const sChar *ext = sFindFileExtension(path.Get());
  if(sCompareStringNoCase(ext, u"dae") == 0)
  {
    if(!model->LoadCollada(path.Get())) return;
    sPathString cache = path;
    sChar *e = sFindFileExtension(cache.GetBuffer());
    *e = 0;
    sAppendString(cache.GetBuffer(), u"pet", sMAXPATH);
    model->SavePet(cache.Get());
  }
  else if(sCompareStringNoCase(ext, u"pet") == 0)
  {
    model->LoadPet(path.Get());
  }
  else
  {
    sFatal(u"pImportObject: unknown object format!\n");
  }
}

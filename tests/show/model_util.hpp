#pragma once
// Helpers of the model tests: meshes from corner lists, model comparison, and a file
// handler that serves a byte block from memory under the name "mem:input".

#include "base/file.hpp"
#include "show/model.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace modeltest
{
using Floats = std::vector<sF32>;
using Ints = std::vector<sInt>;

// Fills a mesh: flags follow the index lists given; polygons empty means triangles.
inline void FillMesh(RawMesh &r, const Floats &pos, const Floats &nrm, const Floats &uv, const Ints &pi,
                     const Ints &ni, const Ints &ui, const Ints &polys = {}, sInt material = 0)
{
  r.Free();
  r.VertexCount = sInt(pos.size() / 3);
  r.NormalCount = sInt(nrm.size() / 3);
  r.UV0Count = r.UV1Count = sInt(uv.size() / 2);
  r.PolygonCount = sInt(polys.size());
  r.CornerCount = sInt(pi.size());
  r.TriangleCount = polys.empty() ? r.CornerCount / 3 : 0;
  r.QuadCount = 0;
  for(sInt p : polys) (p == 3 ? r.TriangleCount : r.QuadCount) += p == 3 || p == 4;
  r.Flags = sRMF_POSITION | (ni.empty() ? 0u : sU32(sRMF_NORMAL)) | (ui.empty() ? 0u : sU32(sRMF_UV));
  r.MaterialIndex = material;
  r.AllocArrays();
  const std::pair<void *, const Floats *> floats[] = {
    {r.Positions, &pos}, {r.Normals, &nrm}, {r.UV0, &uv}, {r.UV1, &uv}};
  const std::pair<void *, const Ints *> ints[] = {{r.PolygonSizes, &polys}, {r.PositionIndex, &pi},
                                                  {r.NormalIndex, &ni}, {r.UVIndex, &ui}};
  for(auto &f : floats) if(!f.second->empty()) memcpy(f.first, f.second->data(), f.second->size() * 4);
  for(auto &i : ints) if(!i.second->empty()) memcpy(i.first, i.second->data(), i.second->size() * 4);
  r.OptimizeVertices();
}

// Two meshes (a quad and a triangle as polygons, one bare triangle), three images whose
// names take 3, 3 and 4 words, and effects of which one has no texture.
inline void MakeModel(Model &m)
{
  m.AllocLists(2, 3, 3, 3);
  m.SetImageFile(0, u"abc");
  m.SetImageFile(1, u"abcd");
  m.SetImageFile(2, u"tex/ab");
  m.EffectTextures[0] = 2;
  m.EffectTextures[2] = 0;
  FillMesh(*m.Meshes[0], {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 2, 2, 2}, {0, 0, 1, 0, 1, 0}, {0, 0, 1, 0, 1, 1, 0, 1},
           {0, 1, 2, 3, 1, 4, 2}, {0, 0, 0, 0, 1, 1, 1}, {0, 1, 2, 3, 0, 0, 0}, {4, 3}, 2);
  FillMesh(*m.Meshes[1], {5, 5, 5, 6, 5, 5, 5, 6, 5}, {}, {}, {0, 1, 2}, {}, {}, {}, 3);
}

inline void ExpectSameMesh(const RawMesh &a, const RawMesh &b)
{
  EXPECT_EQ(memcmp(&a.VertexCount, &b.VertexCount, 4 * RawMesh::HeaderWords), 0);
  const sS64 corners = a.CornerCount;
  const std::pair<const void *, const void *> arrays[] = {
    {a.Positions, b.Positions}, {a.Normals, b.Normals}, {a.UV0, b.UV0}, {a.UV1, b.UV1},
    {a.PolygonSizes, b.PolygonSizes}, {a.PositionIndex, b.PositionIndex}, {a.NormalIndex, b.NormalIndex},
    {a.UVIndex, b.UVIndex}, {a.Corners, b.Corners}};
  const sS64 words[] = {3 * a.VertexCount, 3 * a.NormalCount, 2 * a.UV0Count, 2 * a.UV1Count, a.PolygonCount,
                        corners, corners, corners, 5 * corners};
  for(size_t i = 0; i < 9; i++)
    if(arrays[i].first)
    {
      ASSERT_NE(arrays[i].second, nullptr);
      EXPECT_EQ(memcmp(arrays[i].first, arrays[i].second, size_t(words[i]) * 4), 0) << i;
    }
}

inline void ExpectEmpty(const Model &m)
{
  EXPECT_EQ((Ints{m.MeshCount, m.ImageCount, m.EffectCount}), (Ints{0, 0, 0}));
}

// Serves Bytes as "mem:input" through the file handlers (one handler per process, owned
// by the handler table).
class MemoryInput : public sFileHandler
{
public:
  std::vector<uint8_t> Bytes;
  sFile *Create(const sChar *name, sInt access) override
  {
    if(access != sFA_READ || sCompareString(name, u"mem:input") != 0) return nullptr;
    sSetAllocSource(__FILE__, __LINE__);
    sU8 *copy = static_cast<sU8 *>(sMemAlloc(sDInt(Bytes.size()) + 1, 16, 0));
    if(!Bytes.empty()) memcpy(copy, Bytes.data(), Bytes.size());
    return sCreateMemoryFile(copy, sS64(Bytes.size()), 1, 1);
  }
  static MemoryInput *Get()
  {
    static MemoryInput *h = [] { MemoryInput *m = sNEW MemoryInput; sAddFileHandler(m); return m; }();
    return h;
  }
};
}  // namespace modeltest

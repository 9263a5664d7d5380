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
  auto copy = [](void *dest, const void *src, size_t bytes) { if(bytes) memcpy(dest, src, bytes); };
  copy(r.Positions, pos.data(), pos.size() * 4);
  copy(r.Normals, nrm.data(), nrm.size() * 4);
  copy(r.UV0, uv.data(), uv.size() * 4);
  copy(r.UV1, uv.data(), uv.size() * 4);
  copy(r.PolygonSizes, polys.data(), polys.size() * 4);
  copy(r.PositionIndex, pi.data(), pi.size() * 4);
  copy(r.NormalIndex, ni.data(), ni.size() * 4);
  copy(r.UVIndex, ui.data(), ui.size() * 4);
  r.OptimizeVertices();
}

inline void ExpectSameMesh(const RawMesh &a, const RawMesh &b)
{
  const sInt *ha = &a.VertexCount, *hb = &b.VertexCount;
  for(sInt i = 0; i < RawMesh::HeaderWords; i++) EXPECT_EQ(ha[i], hb[i]) << "header word " << i;
  auto same = [](const void *x, const void *y, sInt words) {
    return words == 0 || (x && y && memcmp(x, y, size_t(words) * 4) == 0);
  };
  EXPECT_TRUE(same(a.Positions, b.Positions, 3 * a.VertexCount));
  EXPECT_TRUE(same(a.Normals, b.Normals, 3 * a.NormalCount));
  EXPECT_TRUE(same(a.UV0, b.UV0, 2 * a.UV0Count));
  EXPECT_TRUE(same(a.UV1, b.UV1, 2 * a.UV1Count));
  EXPECT_TRUE(same(a.PolygonSizes, b.PolygonSizes, a.PolygonCount));
  EXPECT_TRUE(same(a.PositionIndex, b.PositionIndex, a.PositionIndex ? a.CornerCount : 0));
  EXPECT_TRUE(same(a.NormalIndex, b.NormalIndex, a.NormalIndex ? a.CornerCount : 0));
  EXPECT_TRUE(same(a.UVIndex, b.UVIndex, a.UVIndex ? a.CornerCount : 0));
  EXPECT_TRUE(same(a.Corners, b.Corners, 5 * a.CornerCount));
}

inline void ExpectEmpty(const Model &m)
{
  EXPECT_EQ(m.MeshCount, 0);
  EXPECT_EQ(m.ImageCount, 0);
  EXPECT_EQ(m.EffectCount, 0);
}

// Serves Bytes as "mem:input" to every reader that goes through the file handlers.
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
  // one handler per process; the handler table owns it
  static MemoryInput *Get()
  {
    static MemoryInput *h = [] {
      MemoryInput *m = sNEW MemoryInput;
      sAddFileHandler(m);
      return m;
    }();
    return h;
  }
};
}  // namespace modeltest

// Model caches of plain triangles, written through the show's model writer.
#include "petshapes.hpp"

#include "base/textbuffer.hpp"
#include "show/model.hpp"

#include <cmath>

namespace datagen
{

void PetMesh::Triangle(const PetCorner &a, const PetCorner &b, const PetCorner &c)
{
  Corners.push_back(a);
  Corners.push_back(b);
  Corners.push_back(c);
}

void PetMesh::Quad(const sVec3 &a, const sVec3 &b, const sVec3 &c, const sVec3 &d, sF32 u0, sF32 v0, sF32 u1, sF32 v1)
{
  sVec3 n;
  n.Cross(b - a, c - a);
  n.Unit();
  const PetCorner ca{a, n, u0, v0}, cb{b, n, u1, v0}, cc{c, n, u1, v1}, cd{d, n, u0, v1};
  Triangle(ca, cb, cc);
  Triangle(ca, cc, cd);
}

void PetMesh::Box(const sVec3 &lo, const sVec3 &hi, sF32 u0, sF32 v0, sF32 u1, sF32 v1)
{
  auto P = [&](sInt x, sInt y, sInt z) { return sVec3(x ? hi.x : lo.x, y ? hi.y : lo.y, z ? hi.z : lo.z); };
  Quad(P(0, 0, 0), P(0, 1, 0), P(1, 1, 0), P(1, 0, 0), u0, v0, u1, v1);   // -z
  Quad(P(1, 0, 1), P(1, 1, 1), P(0, 1, 1), P(0, 0, 1), u0, v0, u1, v1);   // +z
  Quad(P(0, 0, 1), P(0, 1, 1), P(0, 1, 0), P(0, 0, 0), u0, v0, u1, v1);   // -x
  Quad(P(1, 0, 0), P(1, 1, 0), P(1, 1, 1), P(1, 0, 1), u0, v0, u1, v1);   // +x
  Quad(P(0, 1, 0), P(0, 1, 1), P(1, 1, 1), P(1, 1, 0), u0, v0, u1, v1);   // +y
  Quad(P(0, 0, 1), P(0, 0, 0), P(1, 0, 0), P(1, 0, 1), u0, v0, u1, v1);   // -y
}

void PetMesh::Tube(sF32 x0, sF32 x1, sF32 radius, sInt segments, sBool inward, sF32 uRepeat)
{
  for(sInt s = 0; s < segments; s++)
  {
    const sF32 a0 = 6.2831853f * sF32(s) / sF32(segments), a1 = 6.2831853f * sF32(s + 1) / sF32(segments);
    const sVec3 p00(x0, radius * std::cos(a0), radius * std::sin(a0)), p01(x0, radius * std::cos(a1), radius * std::sin(a1));
    const sVec3 p10(x1, p00.y, p00.z), p11(x1, p01.y, p01.z);
    const sF32 v0 = sF32(s) / sF32(segments), v1 = sF32(s + 1) / sF32(segments);
    if(inward) Quad(p00, p10, p11, p01, 0.0f, v0, uRepeat, v1);
    else Quad(p00, p01, p11, p10, 0.0f, v0, uRepeat, v1);
  }
}

void PetMesh::Disc(const sVec3 &centre, sF32 radius, sInt segments)
{
  const sVec3 n(0, 0, 1);
  const PetCorner middle{centre, n, 0.5f, 0.5f};
  auto rim = [&](sF32 a) {
    return PetCorner{centre + sVec3(-radius * std::cos(a), radius * std::sin(a), 0), n, 0.5f - 0.5f * std::cos(a),
                     0.5f + 0.5f * std::sin(a)};
  };
  for(sInt s = 0; s < segments; s++)
  {
    const sF32 a0 = 6.2831853f * sF32(s) / sF32(segments), a1 = 6.2831853f * sF32(s + 1) / sF32(segments);
    Triangle(middle, rim(a1), rim(a0));
  }
}

void PetMesh::Transform(const sMat3x4 &m)
{
  for(PetCorner &c : Corners)
  {
    c.Pos = sMulPointMat3x4(c.Pos, m);
    c.Normal = sMulDirMat3x4(c.Normal, m);
    c.Normal.Unit();
  }
}

void PetMesh::Append(const PetMesh &other) { Corners.insert(Corners.end(), other.Corners.begin(), other.Corners.end()); }

void WritePet(Tree &tree, const sChar *name, const std::vector<PetMesh> &meshes,
              const std::vector<std::u16string> &images)
{
  Model m(nullptr);
  const sInt count = sInt(images.size());
  m.AllocLists(sInt(meshes.size()), count, count, count);
  for(sInt i = 0; i < count; i++)
  {
    m.SetImageFile(i, images[size_t(i)].c_str());
    m.EffectTextures[i] = i;
  }
  for(size_t i = 0; i < meshes.size(); i++)
  {
    const PetMesh &src = meshes[i];
    RawMesh &r = *m.Meshes[i];
    const sInt n = sInt(src.Corners.size());
    r.VertexCount = r.NormalCount = r.UV0Count = r.CornerCount = n;
    r.TriangleCount = n / 3;
    r.PolygonCount = 0;
    r.MaterialIndex = src.Material;
    r.Flags = sRMF_POSITION | sRMF_NORMAL | sRMF_UV;
    r.AllocArrays();
    for(sInt c = 0; c < n; c++)
    {
      const PetCorner &k = src.Corners[size_t(c)];
      r.Positions[3 * c + 0] = k.Pos.x;
      r.Positions[3 * c + 1] = k.Pos.y;
      r.Positions[3 * c + 2] = k.Pos.z;
      r.Normals[3 * c + 0] = k.Normal.x;
      r.Normals[3 * c + 1] = k.Normal.y;
      r.Normals[3 * c + 2] = k.Normal.z;
      r.UV0[2 * c + 0] = k.U;
      r.UV0[2 * c + 1] = 1.0f - k.V;
      r.PositionIndex[c] = r.NormalIndex[c] = r.UVIndex[c] = c;
    }
    r.OptimizeVertices();
  }
  // the writer makes no folders: an empty file of the name makes them and joins the list
  tree.WriteData(name, "", 0);
  if(!m.SavePet(name)) sFatalF(u"datagen: model '%s' not written\n", name);
}

}   // namespace datagen

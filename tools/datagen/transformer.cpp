// The Transformer scene's pictures and models. Pictures: nine solid part colours, the
// floor grids (colour and height), the point and light sprites, the back wall's disco
// patterns, the band's lettering and lightning, the light mask and two noise maps, each
// as the variant its table names. Models: three model caches of machine parts (boxes,
// wedges, cylinders, brackets, flanges), a different set per file, written with the
// program's own cache writer; every part is centred on its origin and about one unit in
// size.
#include "datagen.hpp"
#include "draw.hpp"

#include "show/model.hpp"

#include <cmath>
#include <string>
#include <vector>

namespace datagen
{
namespace
{

constexpr sF32 Pi = 3.14159265358979f;

// Triangles with a flat normal and a planar texture coordinate per corner.
struct PartMesh
{
  std::vector<sVec3> Pos, Nrm;
  std::vector<sF32> UV;

  void Tri(const sVec3 &a, const sVec3 &b, const sVec3 &c)
  {
    sVec3 n;
    n.Cross(b - a, c - a);
    n.Unit();
    for(const sVec3 &p : {a, b, c})
    {
      Pos.push_back(p);
      Nrm.push_back(n);
      UV.push_back(p.x + p.z);
      UV.push_back(p.y + p.z);
    }
  }
  void Quad(const sVec3 &a, const sVec3 &b, const sVec3 &c, const sVec3 &d)
  {
    Tri(a, b, c);
    Tri(a, c, d);
  }
  // An axis-aligned box from its two corners.
  void Box(const sVec3 &lo, const sVec3 &hi)
  {
    const sVec3 p[8] = {{lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z}, {lo.x, hi.y, lo.z},
                        {lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z}};
    Quad(p[0], p[3], p[2], p[1]);
    Quad(p[4], p[5], p[6], p[7]);
    Quad(p[0], p[1], p[5], p[4]);
    Quad(p[3], p[7], p[6], p[2]);
    Quad(p[0], p[4], p[7], p[3]);
    Quad(p[1], p[2], p[6], p[5]);
  }
  // A wedge: a triangle (in x and y) pulled along z.
  void Wedge(sF32 w, sF32 h, sF32 d)
  {
    const sVec3 a(-w, -h, -d), b(w, -h, -d), c(-w, h, -d), a2(-w, -h, d), b2(w, -h, d), c2(-w, h, d);
    Tri(a, c, b);
    Tri(a2, b2, c2);
    Quad(a, b, b2, a2);
    Quad(b, c, c2, b2);
    Quad(c, a, a2, c2);
  }
  // A cylinder about y between y0 and y1, with caps.
  void Cylinder(sF32 r, sF32 y0, sF32 y1, sInt sides, sF32 x = 0.0f, sF32 z = 0.0f)
  {
    for(sInt s = 0; s < sides; s++)
    {
      const sF32 a0 = 2.0f * Pi * s / sides, a1 = 2.0f * Pi * (s + 1) / sides;
      const sVec3 p0(x + r * std::cos(a0), y0, z + r * std::sin(a0)), p1(x + r * std::cos(a1), y0, z + r * std::sin(a1));
      const sVec3 q0(p0.x, y1, p0.z), q1(p1.x, y1, p1.z);
      Quad(p0, q0, q1, p1);
      Tri(sVec3(x, y1, z), q1, q0);
      Tri(sVec3(x, y0, z), p0, p1);
    }
  }
  // Moves the mesh so that the centre of its bounds is the origin.
  void Centre()
  {
    sVec3 lo = Pos[0], hi = Pos[0];
    for(const sVec3 &p : Pos)
    {
      lo = sVec3(std::fmin(lo.x, p.x), std::fmin(lo.y, p.y), std::fmin(lo.z, p.z));
      hi = sVec3(std::fmax(hi.x, p.x), std::fmax(hi.y, p.y), std::fmax(hi.z, p.z));
    }
    const sVec3 c = (lo + hi) * 0.5f;
    for(sVec3 &p : Pos) p -= c;
  }
};

// The parts a model can be cut from; each builds about one unit of machine.
PartMesh MakePart(sInt kind, sRandomLcg &rnd)
{
  PartMesh m;
  const sF32 v = 0.8f + rnd.NextFloat(0.4f);
  switch(kind)
  {
  case 0: m.Box(sVec3(-0.5f * v, -0.3f, -0.4f), sVec3(0.5f * v, 0.3f, 0.4f)); break;              // block
  case 1: m.Wedge(0.5f * v, 0.4f, 0.3f); break;                                                  // wedge
  case 2: m.Cylinder(0.35f * v, -0.6f, 0.6f, 16); break;                                          // shaft
  case 3:                                                                                          // L-bracket
    m.Box(sVec3(-0.6f, -0.5f, -0.25f), sVec3(-0.35f, 0.5f, 0.25f));
    m.Box(sVec3(-0.35f, -0.5f, -0.25f), sVec3(0.6f * v, -0.25f, 0.25f));
    break;
  case 4:                                                                                          // flange
    m.Cylinder(0.7f * v, -0.1f, 0.1f, 24);
    m.Cylinder(0.3f, 0.1f, 0.5f, 16);
    break;
  case 5:                                                                                          // U-channel
    m.Box(sVec3(-0.6f, -0.4f, -0.3f), sVec3(0.6f, -0.2f, 0.3f));
    m.Box(sVec3(-0.6f, -0.2f, -0.3f), sVec3(-0.4f, 0.4f * v, 0.3f));
    m.Box(sVec3(0.4f, -0.2f, -0.3f), sVec3(0.6f, 0.4f * v, 0.3f));
    break;
  case 6:                                                                                          // piston
    m.Cylinder(0.25f, -0.8f, 0.2f, 12);
    m.Cylinder(0.4f * v, 0.2f, 0.8f, 16);
    break;
  case 7:                                                                                          // gear
    m.Cylinder(0.5f, -0.15f, 0.15f, 24);
    for(sInt t = 0; t < 8; t++)
    {
      const sF32 a = 2.0f * Pi * t / 8;
      const sF32 x = 0.6f * std::cos(a), z = 0.6f * std::sin(a);
      m.Box(sVec3(x - 0.1f, -0.15f, z - 0.1f), sVec3(x + 0.1f, 0.15f, z + 0.1f));
    }
    break;
  case 8:                                                                                          // T-beam
    m.Box(sVec3(-0.8f * v, 0.2f, -0.3f), sVec3(0.8f * v, 0.4f, 0.3f));
    m.Box(sVec3(-0.1f, -0.6f, -0.3f), sVec3(0.1f, 0.2f, 0.3f));
    break;
  default:                                                                                         // bolt
    m.Cylinder(0.15f, -0.7f, 0.4f, 10);
    m.Cylinder(0.35f, 0.4f, 0.6f, 6);
    break;
  }
  m.Centre();
  return m;
}

void FillRaw(RawMesh &r, const PartMesh &m, sInt material)
{
  const sInt corners = sInt(m.Pos.size());
  r.Free();
  r.VertexCount = r.NormalCount = r.UV0Count = r.UV1Count = corners;
  r.PolygonCount = 0;
  r.TriangleCount = corners / 3;
  r.QuadCount = 0;
  r.CornerCount = corners;
  r.MaterialIndex = material;
  r.Flags = sRMF_POSITION | sRMF_NORMAL | sRMF_UV;
  r.AllocArrays();
  for(sInt i = 0; i < corners; i++)
  {
    r.Positions[3 * i] = m.Pos[size_t(i)].x, r.Positions[3 * i + 1] = m.Pos[size_t(i)].y;
    r.Positions[3 * i + 2] = m.Pos[size_t(i)].z;
    r.Normals[3 * i] = m.Nrm[size_t(i)].x, r.Normals[3 * i + 1] = m.Nrm[size_t(i)].y;
    r.Normals[3 * i + 2] = m.Nrm[size_t(i)].z;
    r.UV0[2 * i] = r.UV1[2 * i] = m.UV[size_t(2 * i)];
    r.UV0[2 * i + 1] = r.UV1[2 * i + 1] = m.UV[size_t(2 * i + 1)];
    r.PositionIndex[i] = r.NormalIndex[i] = r.UVIndex[i] = i;
  }
  r.OptimizeVertices();
}

void WriteModel(Tree &tree, const sChar *name, const std::vector<sInt> &kinds, sRandomLcg &rnd)
{
  Model model(nullptr);
  model.AllocLists(sInt(kinds.size()), 8, 0, 0);   // the parts name materials 0 to 7
  for(size_t i = 0; i < kinds.size(); i++) FillRaw(*model.Meshes[i], MakePart(kinds[i], rnd), sInt(i % 8));
  std::u16string path = name;
  if(!model.SavePet(path.c_str())) sFatalF(u"datagen: the model cache %s was refused\n", name);
  tree.Note(name);
}

// A picture written where the table's rows look for it: "pic" files under both folders,
// the others as the unpacked BMP and the packed PNG.
void Both(Tree &tree, const std::u16string &name, const std::u16string &ext, const sImage &img)
{
  if(ext == u"pic") tree.WriteImagePair(u"transformer", name, u".pic", u".pic", img);
  else tree.WriteImagePair(u"transformer", name, u".bmp", u".png", img);
}

void Generate(Tree &tree)
{
  sRandomLcg rnd = NamedRandom("transformer");
  const struct
  {
    const sChar *Name;
    sU32 Colour;
  } solids[] = {{u"white", 0xFFFFFFFF}, {u"grey", 0xFF8C8C8C}, {u"blue", 0xFF2850C8}, {u"pink", 0xFFE860A8},
                {u"yellow", 0xFFF0D020}, {u"color1", 0xFFE07020}, {u"color2", 0xFF30B060}, {u"color3", 0xFF8040C0},
                {u"anthracite", 0xFF303236}};
  for(const auto &s : solids)
  {
    sImage img(64, 64);
    img.Fill(s.Colour);
    Both(tree, s.Name, u"bmp", img);
  }

  const sInt size = 256;
  Noise noise(rnd.Next(), 16);
  // grey grid lines on dark tiles, opaque: the floor's colour and its height
  sImage grid(size, size);
  Shade(grid, [](sF32 u, sF32 v) {
    const sF32 gu = std::fabs(std::fmod((u + 1.0f) * 4.0f, 1.0f) - 0.5f), gv = std::fabs(std::fmod((v + 1.0f) * 4.0f, 1.0f) - 0.5f);
    const sF32 line = SmoothStep(0.44f, 0.48f, std::fmax(gu, gv));
    return Grey(0.25f + 0.65f * line);
  });
  Both(tree, u"grid", u"pic", grid);
  sImage disco(size, size);
  Shade(disco, [](sF32 u, sF32 v) {
    const sInt cx = sInt((u + 1.0f) * 4.0f), cy = sInt((v + 1.0f) * 4.0f);
    // the floor's light reaches 1.8 times the texel: brighter tiles would burn out, and
    // with them the parts' shadows
    const sF32 lit = ((cx * 7 + cy * 3) % 5) < 2 ? 0.55f : 0.2f;
    return Argb(1.0f, lit * (cx & 1 ? 1.0f : 0.3f), lit * 0.3f, lit * (cy & 1 ? 1.0f : 0.5f));
  });
  Both(tree, u"grid_disco", u"pic", disco);
  sImage discoB(size, size);
  Shade(discoB, [](sF32 u, sF32 v) {
    const sF32 gu = std::fabs(std::fmod((u + 1.0f) * 4.0f, 1.0f) - 0.5f), gv = std::fabs(std::fmod((v + 1.0f) * 4.0f, 1.0f) - 0.5f);
    return Grey(1.0f - SmoothStep(0.35f, 0.5f, std::fmax(gu, gv)));
  });
  Both(tree, u"grid_disco_b", u"pic", discoB);
  sImage round(size, size);
  Shade(round, [](sF32 u, sF32 v) {
    const sF32 g = Glow(u, v);
    return Argb(g, g, g, g);
  });
  Both(tree, u"round", u"pic", round);
  sImage love(size, size);
  Shade(love, [](sF32 u, sF32 v) {
    const sF32 x = u * 1.2f, y = -v * 1.2f + 0.2f;   // a heart: (x² + y² - 1)³ - x² y³ < 0
    const sF32 q = x * x + y * y - 0.6f;
    const sF32 in = q * q * q - x * x * y * y * y < 0.0f ? 1.0f : 0.0f;
    const sF32 band = SmoothStep(0.6f, 0.4f, std::fabs(v));
    return Argb(std::fmax(in, 0.3f * band), 1.0f, 0.3f + 0.4f * (1.0f - in), 0.6f);
  });
  Both(tree, u"love", u"pic", love);
  sImage electric(size, size);
  Shade(electric, [&](sF32 u, sF32 v) {
    const sF32 path = 0.4f * (noise.At((u + 1.0f) * 8.0f, 3.0f, 3) - 0.5f);
    const sF32 bolt = SmoothStep(0.08f, 0.0f, std::fabs(v - path));
    return Argb(bolt, 0.6f + 0.4f * bolt, 0.8f + 0.2f * bolt, 1.0f);
  });
  Both(tree, u"electric", u"pic", electric);
  for(sInt n = 0; n < 2; n++)
  {
    sImage wall(size, size);
    Shade(wall, [&](sF32 u, sF32 v) {
      const sF32 r = std::sqrt(u * u + v * v), a = std::atan2(v, u);
      const sF32 rays = 0.5f + 0.5f * std::cos(a * (n ? 12.0f : 8.0f));
      const sF32 rings = 0.5f + 0.5f * std::cos(r * (n ? 30.0f : 18.0f));
      return n ? Argb(1.0f, 0.2f + 0.6f * rings, 0.1f, 0.3f + 0.7f * rays * rings)
               : Argb(1.0f, 0.3f + 0.7f * rays, 0.2f + 0.5f * rings, 0.6f * rays);
    });
    Both(tree, n ? u"disco_tekkno" : u"disco", u"pic", wall);
  }
  sImage shadow(size, size);
  Shade(shadow, [](sF32 u, sF32 v) { return Grey(1.0f - 0.7f * Glow(u * 1.5f, v * 1.5f)); });
  Both(tree, u"shadow", u"pic", shadow);

  sImage spot(size, size);
  Shade(spot, [](sF32 u, sF32 v) { return Grey(Glow(u, v)); });
  Both(tree, u"light_spot", u"bmp", spot);
  sImage point(128, 128);
  Shade(point, [](sF32 u, sF32 v) { return Grey(Clamp01(Glow(u, v) + 0.5f * Star(u, v, 4))); });
  Both(tree, u"lightpoint", u"bmp", point);
  sImage grain(size, size);
  Shade(grain, [&](sF32 u, sF32 v) { return Grey(noise.At((u + 1.0f) * 32.0f, (v + 1.0f) * 32.0f, 2)); });
  Both(tree, u"noise_01", u"bmp", grain);
  sImage detail(size, size);
  Shade(detail, [&](sF32 u, sF32 v) { return Grey(0.4f + 0.2f * noise.At((u + 1.0f) * 64.0f, (v + 1.0f) * 64.0f, 1)); });
  Both(tree, u"detail_bump", u"bmp", detail);

  WriteModel(tree, u"transformer/transformer_objects.pet", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 2}, rnd);
  WriteModel(tree, u"transformer/transformer_02.pet", {3, 5, 8, 4, 6, 1, 3, 5, 8, 0}, rnd);
  WriteModel(tree, u"transformer/transformer_03.pet", {7, 9, 2, 6, 4, 7, 9, 1}, rnd);
}

}   // namespace

DATAGEN_AREA("transformer", 402, Generate);

}   // namespace datagen

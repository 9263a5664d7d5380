// The Crystal scene's files: sprites, crystal surfaces in five tints and the shell's
// surface in both variants, the round sprite, and the six crystal shapes. Each shape is
// one mesh of material 0: a prism standing on its base at the origin, growing along +y
// and narrowing to a point that is exactly the tip the scene starts the next link at.
#include "datagen.hpp"
#include "draw.hpp"
#include "petshapes.hpp"

#include <cmath>
#include <utility>

namespace datagen
{
namespace
{

void Both(Tree &tree, const sChar *name, const sChar *unpackedExt, const sChar *packedExt, const sImage &img)
{
  tree.WriteImagePair(u"crystal", name, unpackedExt, packedExt, img);
}

// A crystal face pattern: bright facet streaks along v over a tinted body.
sF32 Facets(const Noise &noise, sF32 u, sF32 v)
{
  const sF32 streak = noise.At((u + 1.0f) * 8.0f, (v + 1.0f) * 1.0f, 3);
  const sF32 edge = 1.0f - std::fabs(std::fmod((u + 1.0f) * 3.0f, 1.0f) - 0.5f) * 2.0f;
  return Clamp01(0.35f + 0.45f * streak + 0.4f * SmoothStep(0.8f, 1.0f, edge));
}

void Pictures(Tree &tree, sRandomLcg &rnd)
{
  Noise noise(rnd.Next(), 8);
  sImage white(64, 64);
  white.Fill(0xFFFFFFFF);
  Both(tree, u"white", u".bmp", u".png", white);
  sImage glow(128, 128), point(128, 128), round(128, 128);
  Shade(glow, [](sF32 u, sF32 v) { return Grey(Glow(u, v)); });
  Shade(point, [](sF32 u, sF32 v) { return Grey(Clamp01(Glow(u, v) * 0.6f + Star(u, v, 4))); });
  Shade(round, [](sF32 u, sF32 v) {
    const sF32 a = SmoothStep(1.0f, 0.9f, std::sqrt(u * u + v * v));
    return Grey(a, a);
  });
  Both(tree, u"glow", u".bmp", u".png", glow);
  Both(tree, u"lightpoint", u".bmp", u".png", point);
  Both(tree, u"round", u".pic", u".pic", round);

  struct Tint
  {
    const sChar *Name;
    sF32 R, G, B;
  };
  static const Tint tints[6] = {{u"crystal", 0.75f, 0.85f, 1.0f},     {u"crystal_red", 1.0f, 0.3f, 0.3f},
                                {u"crystal_black", 0.25f, 0.25f, 0.3f}, {u"crystal_red2", 0.7f, 0.1f, 0.2f},
                                {u"crystal_tur", 0.25f, 0.9f, 0.85f},  {u"crystal_bg", 0.35f, 0.4f, 0.55f}};
  for(const Tint &t : tints)
  {
    sImage img(256, 256);
    Shade(img, [&](sF32 u, sF32 v) {
      const sF32 l = Facets(noise, u, v);
      return Argb(1.0f, l * t.R, l * t.G, l * t.B);
    });
    Both(tree, t.Name, u".bmp", u".png", img);
  }
}

struct Shape
{
  sVec3 Tip;
  sInt Sides;
  sF32 Radius;
  sF32 Shoulder;   // fraction of the height where the point begins
};

// A corner's triangle, turned so that its normal faces away from the reference point.
void Facet(PetMesh &mesh, PetCorner a, PetCorner b, PetCorner c, const sVec3 &inside)
{
  sVec3 n;
  n.Cross(b.Pos - a.Pos, c.Pos - a.Pos);
  n.Unit();
  const sVec3 centre = (a.Pos + b.Pos + c.Pos) * (1.0f / 3.0f);
  if(sDot(n, centre - inside) < 0.0f)
  {
    std::swap(b, c);
    n = -n;
  }
  a.Normal = b.Normal = c.Normal = n;
  mesh.Triangle(a, b, c);
}

PetMesh Crystal(const Shape &s)
{
  // along the axis from the base centre to the tip: a slightly narrowing prism, then
  // the point
  const sF32 h = s.Tip.y;
  auto axis = [&](sF32 y) { return sVec3(s.Tip.x * y / h, y, s.Tip.z * y / h); };
  auto ring = [&](sInt i, sF32 y, sF32 r) {
    const sF32 a = 6.2831853f * sF32(i % s.Sides) / sF32(s.Sides);
    return axis(y) + sVec3(r * std::cos(a), 0.0f, r * std::sin(a));
  };
  const sF32 top = h * s.Shoulder, rTop = s.Radius * 0.85f;
  PetMesh mesh;
  mesh.Material = 0;
  for(sInt i = 0; i < s.Sides; i++)
  {
    const sF32 u0 = sF32(i) / sF32(s.Sides), u1 = sF32(i + 1) / sF32(s.Sides), vTop = s.Shoulder;
    const PetCorner b0{ring(i, 0.0f, s.Radius), {}, u0, 0.0f}, b1{ring(i + 1, 0.0f, s.Radius), {}, u1, 0.0f};
    const PetCorner t0{ring(i, top, rTop), {}, u0, vTop}, t1{ring(i + 1, top, rTop), {}, u1, vTop};
    const sVec3 mid = axis(0.5f * top);
    Facet(mesh, b0, b1, t1, mid);
    Facet(mesh, b0, t1, t0, mid);
    Facet(mesh, t0, t1, PetCorner{s.Tip, {}, 0.5f * (u0 + u1), 1.0f}, axis(top));
    // the base, facing down
    Facet(mesh, PetCorner{sVec3(0, 0, 0), {}, 0.5f, 0.0f}, b0, b1, sVec3(0.0f, 1.0f, 0.0f));
  }
  return mesh;
}

void Models(Tree &tree)
{
  static const Shape shapes[6] = {
      {sVec3(-1.3f, 26.2f, -0.5f), 6, 4.0f, 0.70f}, {sVec3(2.2f, 17.8f, -0.5f), 5, 3.5f, 0.65f},
      {sVec3(-0.6f, 29.8f, -0.7f), 6, 3.0f, 0.78f}, {sVec3(0.8f, 17.0f, 0.2f), 4, 4.5f, 0.60f},
      {sVec3(0.0f, 24.2f, 0.0f), 8, 3.8f, 0.72f},   {sVec3(1.0f, 19.0f, 0.0f), 7, 5.0f, 0.62f},
  };
  const std::vector<std::u16string> images = {u"crystal/unpacked/crystal.bmp"};
  for(sInt i = 0; i < 6; i++)
  {
    const std::u16string name = u"crystal/unpacked/crystal00" + std::u16string(1, sChar(u'1' + i)) + u".pet";
    WritePet(tree, name.c_str(), {Crystal(shapes[i])}, images);
  }
}

void Generate(Tree &tree)
{
  sRandomLcg rnd = NamedRandom("crystal");
  Pictures(tree, rnd);
  Models(tree);
}

}   // namespace

DATAGEN_AREA("crystal", 492, Generate);

}   // namespace datagen

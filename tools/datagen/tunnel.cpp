// The Tunnel scene's files: the sprites, the line ramp and the light maps of the segment
// kinds in both variants, and the segment models: five straight tube pieces with end ribs
// and a walkway, a Y-shaped crossing whose two exits sit where the scene continues the
// track, the spinning wheel of the fifth kind, the glowing line strips and the logo decals.
//
// Every segment is built along x and centred on the origin, so the scene can turn it half
// round; its texture coordinates are laid out once for all kinds (along the tube u, round
// the wall v), and the light, rail and logo maps are drawn in that layout.
#include "datagen.hpp"
#include "draw.hpp"
#include "petshapes.hpp"

#include <algorithm>
#include <cmath>
#include <functional>

namespace datagen
{
namespace
{
constexpr sF32 Pi = 3.14159265f;

// The layout of a segment's pictures (v up the picture): the wall takes v 0.25..1 round
// the tube (v 0.25 at the top, angle 0), the walkway's top v 0.12..0.22 and the ribs and
// the wheel v 0..0.1.
constexpr sF32 WallV0 = 0.25f, WalkV0 = 0.12f, WalkV1 = 0.22f, RibV1 = 0.1f;
sF32 WallV(sF32 angle) { return WallV0 + (1.0f - WallV0) * angle / (2.0f * Pi); }

struct Kind
{
  const char16_t *Name;
  sF32 Length;   // half length: the segment runs from -Length to +Length along x
  sF32 Radius;
};
const Kind Kinds[5] = {{u"Segment_00", 40.0f, 45.0f}, {u"Segment_01", 32.0f, 34.0f}, {u"Segment_02", 48.0f, 45.0f},
                       {u"Segment_03", 36.0f, 45.0f}, {u"Segment_04", 44.0f, 34.0f}};
// the crossing: its entry stub ends at +CrossLength; its exits, where the scene continues
// the track and the branch, at (-48.85, 0, +-45.85), heading 45 degrees away from -x
constexpr sF32 CrossLength = 40.0f, CrossRadius = 45.0f, ExitX = -48.85f, ExitZ = 45.85f, BranchLength = 75.0f;

// A quad whose front faces the given direction (the winding is chosen from it).
void QuadFacing(PetMesh &m, const sVec3 &a, const sVec3 &b, const sVec3 &c, const sVec3 &d, const sVec3 &facing,
                sF32 u0, sF32 v0, sF32 u1, sF32 v1)
{
  sVec3 n;
  n.Cross(b - a, c - a);
  if(sDot(n, facing) >= 0.0f) m.Quad(a, b, c, d, u0, v0, u1, v1);
  else m.Quad(d, c, b, a, u0, v1, u1, v0);
}

// A straight tube seen from inside: from `from` along the unit direction for `length`,
// its wall at the radius (angle 0 at the top), texture u along it and v by WallV. Quads
// whose centre the test refuses are left out.
struct Tube
{
  sVec3 From, Dir;
  sF32 Length, Radius;
  // is the point inside this tube (by a margin)?
  sBool Holds(const sVec3 &p, sF32 margin) const
  {
    const sVec3 d = p - From;
    const sF32 t = sDot(d, Dir);
    if(t < 0.0f || t > Length) return 0;
    const sVec3 r = d - Dir * t;
    return sDot(r, r) < (Radius - margin) * (Radius - margin);
  }
  sVec3 At(sF32 t, sF32 angle, sF32 radius) const
  {
    sVec3 side;
    side.Cross(Dir, sVec3(0, 1, 0));
    side.Unit();
    return From + Dir * t + sVec3(0, 1, 0) * (radius * std::cos(angle)) + side * (radius * std::sin(angle));
  }
};

void Wall(PetMesh &m, const Tube &t, sInt around, sInt along, const std::function<sBool(const sVec3 &)> &skip)
{
  for(sInt s = 0; s < along; s++)
    for(sInt a = 0; a < around; a++)
    {
      const sF32 t0 = t.Length * sF32(s) / sF32(along), t1 = t.Length * sF32(s + 1) / sF32(along);
      const sF32 a0 = 2.0f * Pi * sF32(a) / sF32(around), a1 = 2.0f * Pi * sF32(a + 1) / sF32(around);
      const sVec3 p00 = t.At(t0, a0, t.Radius), p10 = t.At(t1, a0, t.Radius), p11 = t.At(t1, a1, t.Radius),
                  p01 = t.At(t0, a1, t.Radius);
      const sVec3 centre = (p00 + p11) * 0.5f;
      if(skip && skip(centre)) continue;
      const sVec3 axis = t.From + t.Dir * sDot(centre - t.From, t.Dir);
      QuadFacing(m, p00, p10, p11, p01, axis - centre, t0 / t.Length, WallV(a0), t1 / t.Length, WallV(a1));
    }
}

// A rib: a ring band a little inside the wall over [t0, t1] with its face towards the
// inside of the segment (towards +t or -t).
void Rib(PetMesh &m, const Tube &t, sF32 t0, sF32 t1, sF32 facing)
{
  const sInt around = 24;
  const sF32 inner = t.Radius * 0.9f;
  const sF32 face = facing > 0 ? t1 : t0;
  for(sInt a = 0; a < around; a++)
  {
    const sF32 a0 = 2.0f * Pi * sF32(a) / sF32(around), a1 = 2.0f * Pi * sF32(a + 1) / sF32(around);
    const sF32 u0 = sF32(a) / sF32(around), u1 = sF32(a + 1) / sF32(around);
    const sVec3 c0 = t.At(t0, a0, inner), c1 = t.At(t1, a0, inner), c2 = t.At(t1, a1, inner), c3 = t.At(t0, a1, inner);
    const sVec3 axis = t.From + t.Dir * (0.5f * (t0 + t1));
    QuadFacing(m, c0, c1, c2, c3, axis - (c0 + c2) * 0.5f, u0, 0.0f, u1, 0.04f);
    const sVec3 o0 = t.At(face, a0, t.Radius), o1 = t.At(face, a1, t.Radius), i0 = t.At(face, a0, inner),
                i1 = t.At(face, a1, inner);
    QuadFacing(m, i0, o0, o1, i1, t.Dir * facing, u0, 0.05f, u1, RibV1);
  }
}

// The walkway: a raised floor strip along the tube over [t0, t1], its top mapped to the
// walkway band of the layout, lifted by `lift` (crossing walkways overlap).
void Walkway(PetMesh &m, const Tube &t, sF32 t0, sF32 t1, sF32 lift)
{
  const sF32 y = -0.8f * t.Radius + lift, w = 0.3f * t.Radius;
  sVec3 side;
  side.Cross(t.Dir, sVec3(0, 1, 0));
  side.Unit();
  const sVec3 base = t.From + sVec3(0, y, 0);
  const sVec3 a = base + t.Dir * t0 - side * w, b = base + t.Dir * t1 - side * w, c = base + t.Dir * t1 + side * w,
              d = base + t.Dir * t0 + side * w;
  const sF32 u0 = t0 / t.Length, u1 = t1 / t.Length;
  QuadFacing(m, a, b, c, d, sVec3(0, 1, 0), u0, WalkV0, u1, WalkV1);
  const sVec3 drop(0, -0.1f * t.Radius, 0);
  QuadFacing(m, a + drop, b + drop, b, a, side * -1.0f, u0, 0.0f, u1, 0.04f);
  QuadFacing(m, d, c, c + drop, d + drop, side, u0, 0.0f, u1, 0.04f);
}

// Thin glowing strips along the tube at the given angles, u along them.
void Strips(PetMesh &m, const Tube &t, std::initializer_list<sF32> angles, sF32 t0, sF32 t1)
{
  for(sF32 a : angles)
  {
    const sF32 r = t.Radius - 0.6f, half = 0.8f / r;
    const sVec3 p0 = t.At(t0, a - half, r), p1 = t.At(t1, a - half, r), p2 = t.At(t1, a + half, r), p3 = t.At(t0, a + half, r);
    const sVec3 axis = t.From + t.Dir * (0.5f * (t0 + t1));
    QuadFacing(m, p0, p1, p2, p3, axis - (p0 + p2) * 0.5f, 0.0f, 0.0f, 1.0f, 1.0f);
  }
}

// A decal on the wall of the tube at angle pi/2 (the +side), centred at t along it.
void Decal(PetMesh &m, const Tube &t, sF32 at, sF32 halfWidth, sF32 halfHeight)
{
  sVec3 side;
  side.Cross(t.Dir, sVec3(0, 1, 0));
  side.Unit();
  const sVec3 c = t.From + t.Dir * at + side * (t.Radius - 1.0f);
  const sVec3 u = t.Dir * halfWidth, v(0, halfHeight, 0);
  QuadFacing(m, c - u - v, c + u - v, c + u + v, c - u + v, side * -1.0f, 0.0f, 0.0f, 1.0f, 1.0f);
}

Tube Straight(const Kind &k) { return Tube{sVec3(-k.Length, 0, 0), sVec3(1, 0, 0), 2.0f * k.Length, k.Radius}; }

std::u16string Path(const std::u16string &name) { return u"tunnel/unpacked/" + name; }

void WriteModel(Tree &tree, const std::u16string &name, const PetMesh &mesh, const std::u16string &image)
{
  WritePet(tree, Path(name + u".pet").c_str(), {mesh}, {Path(image)});
}

/****************************************************************************/

// A picture of the segment layout shaded from (u, v), v up the picture.
void Layout(sImage &img, const std::function<sF32(sF32 u, sF32 v)> &light)
{
  Shade(img, [&](sF32 x, sF32 y) { return Grey(Clamp01(light(0.5f * (x + 1.0f), 1.0f - 0.5f * (y + 1.0f)))); });
}

sF32 Band(sF32 x, sF32 centre, sF32 half) { return SmoothStep(half, 0.6f * half, std::fabs(x - centre)); }
sF32 Frac(sF32 x) { return x - std::floor(x); }
sBool OnWall(sF32 v) { return v >= WallV0; }

// The light maps of the five kinds and the crossing, in the layout.
const std::function<sF32(sF32, sF32)> Lights[6] = {
    // two strips of light tubes high on both sides, and a ring in the middle
    [](sF32 u, sF32 v) {
      if(!OnWall(v)) return 0.0f;
      const sF32 tubes = Frac(u * 6.0f) > 0.1f && Frac(u * 6.0f) < 0.9f ? 1.0f : 0.0f;
      return std::max(tubes * std::max(Band(v, WallV(0.87f), 0.012f), Band(v, WallV(2.0f * Pi - 0.87f), 0.012f)),
                      Band(u, 0.5f, 0.02f));
    },
    // five rings and a ceiling strip
    [](sF32 u, sF32 v) {
      if(!OnWall(v)) return 0.0f;
      return std::max(Band(Frac(u * 5.0f), 0.5f, 0.06f), std::max(Band(v, WallV0, 0.015f), Band(v, 1.0f, 0.015f)));
    },
    // a wide ceiling band and two low strips
    [](sF32 u, sF32 v) {
      if(!OnWall(v)) return 0.0f;
      const sF32 lamps = Frac(u * 3.0f) < 0.8f ? 1.0f : 0.3f;
      return std::max(0.8f * std::max(Band(v, WallV0, 0.03f), Band(v, 1.0f, 0.03f)),
                      lamps * std::max(Band(v, WallV(2.1f), 0.01f), Band(v, WallV(2.0f * Pi - 2.1f), 0.01f)));
    },
    // chevrons
    [](sF32 u, sF32 v) {
      if(!OnWall(v)) return 0.0f;
      return Frac(u * 4.0f + std::fabs(v - 0.625f) * 3.0f) < 0.12f ? 1.0f : 0.0f;
    },
    // a spiral and bright ends
    [](sF32 u, sF32 v) {
      if(!OnWall(v)) return 0.0f;
      return std::max(Frac(u * 2.0f + (v - WallV0) / (1.0f - WallV0)) < 0.06f ? 1.0f : 0.0f,
                      std::max(Band(u, 0.03f, 0.03f), Band(u, 0.97f, 0.03f)));
    },
    // the crossing: strips along every tube and a ring at the middle of each
    [](sF32 u, sF32 v) {
      if(!OnWall(v)) return 0.0f;
      return std::max(std::max(Band(v, WallV(0.87f), 0.012f), Band(v, WallV(2.0f * Pi - 0.87f), 0.012f)),
                      Band(u, 0.5f, 0.015f));
    },
};

// A light map bakes the light of the segment's fittings into its whole surface: every wall
// panel catches some of it, most in the middle of the segment and at the top of the tube,
// and the fittings themselves burn at full. Thin fittings on a black map would leave the
// tube dark but for a few lines.
sF32 Baked(const std::function<sF32(sF32, sF32)> &fittings, sF32 u, sF32 v)
{
  const sF32 f = fittings(u, v);
  if(!OnWall(v)) return f;
  const sF32 along = 0.5f - 0.5f * std::cos(2.0f * Pi * u);
  const sF32 round = 0.8f + 0.2f * std::cos(2.0f * Pi * (v - WallV0) / (1.0f - WallV0));
  return std::max(f, (0.3f + 0.4f * along) * round);
}

// Rail lights: the walkway's two edges, dashed.
sF32 Rails(sF32 u, sF32 v, sF32 dashes)
{
  if(v < WalkV0 - 0.01f || v > WalkV1 + 0.01f) return 0.0f;
  const sF32 edge = std::max(Band(v, WalkV0 + 0.01f, 0.006f), Band(v, WalkV1 - 0.01f, 0.006f));
  return Frac(u * dashes) < 0.6f ? edge : 0.2f * edge;
}

// The glow behind a decal at angle pi/2 of a tube, centred at u, of the given size.
sF32 DecalGlow(sF32 u, sF32 v, sF32 centreU, sF32 halfU, sF32 halfV)
{
  const sF32 du = std::fabs(u - centreU) / halfU, dv = std::fabs(v - WallV(0.5f * Pi)) / halfV;
  const sF32 d = std::max(du, dv);
  return d < 1.0f ? 0.3f : d < 1.25f ? 1.0f : 0.0f;
}

// The segment's own surface: concrete panels on the wall, grating on the walkway, dark
// metal ribs.
void Surface(sImage &img, sRandomLcg &rnd, sF32 tint)
{
  Noise noise(rnd.Next(), 8);
  Shade(img, [&](sF32 x, sF32 y) {
    const sF32 u = 0.5f * (x + 1.0f), v = 1.0f - 0.5f * (y + 1.0f);
    const sF32 n = noise.At(u * 8.0f, v * 8.0f, 3);
    if(v >= WallV0)
    {
      const sF32 seam = (Frac(u * 8.0f) < 0.04f || Frac((v - WallV0) * 16.0f) < 0.05f) ? 0.45f : 1.0f;
      const sF32 l = (0.3f + 0.25f * n) * seam;
      return Argb(1.0f, l, l * (0.95f + 0.05f * tint), l * (0.9f + 0.15f * tint));
    }
    if(v >= WalkV0)
    {
      const sF32 grate = Frac(u * 32.0f) < 0.3f ? 0.2f : 0.45f;
      return Grey(grate + 0.1f * n);
    }
    return Argb(1.0f, 0.18f + 0.1f * n, 0.18f + 0.1f * n, 0.22f + 0.1f * n);
  });
}

void Both(Tree &tree, const char16_t *name, const char16_t *unpackedExt, const char16_t *packedExt, const sImage &img)
{
  tree.WriteImagePair(u"tunnel", name, unpackedExt, packedExt, img);
}

void Sign(sImage &img, const sChar *text, sU32 ink)
{
  Shade(img, [](sF32 x, sF32 y) {
    const sBool border = std::fabs(x) > 0.94f || std::fabs(y) > 0.88f;
    return border ? Argb(1.0f, 0.9f, 0.9f, 0.9f) : Argb(1.0f, 0.05f, 0.05f, 0.08f);
  });
  PrintCentered(img, text, 128, 64, 56, 1, ink);
}

// A light map of the layout in both variants.
void Map(Tree &tree, const char16_t *name, const char16_t *unpackedExt, const std::function<sF32(sF32, sF32)> &light)
{
  sImage img(128, 128);
  Layout(img, light);
  Both(tree, name, unpackedExt, u".png", img);
}

void Pictures(Tree &tree)
{
  const sInt size = 64;
  sImage tail(size, size), round(size, size), glow(size, size), particle(size, size), ramp(128, 8), black(16, 16);
  // the tails fade along their length: bright at the head (top), black at the end
  Shade(tail, [](sF32 u, sF32 v) {
    const sF32 along = 1.0f - 0.5f * (v + 1.0f);
    return Grey(along * (0.55f + 0.45f * std::cos(0.5f * Pi * u) * std::cos(0.5f * Pi * u)));
  });
  Shade(round, [](sF32 u, sF32 v) {
    const sF32 a = SmoothStep(1.0f, 0.8f, std::sqrt(u * u + v * v));
    return Argb(a, 1.0f, 1.0f, 1.0f);
  });
  Shade(glow, [](sF32 u, sF32 v) { return Grey(Glow(u, v)); });
  Shade(particle, [](sF32 u, sF32 v) {
    const sF32 g = Glow(1.6f * u, 1.6f * v);
    return Grey(g * g);
  });
  // the red design lines: a ramp that rises to a hot end, scrolled along the lines
  Shade(ramp, [](sF32 u, sF32) {
    const sF32 x = 0.5f * (u + 1.0f), l = x * x * x * x;
    return Argb(1.0f, l, 0.15f * l, 0.1f * l);
  });
  black.Fill(0xff000000);
  Both(tree, u"tail", u".bmp", u".png", tail);
  Both(tree, u"round", u".pic", u".pic", round);
  Both(tree, u"glow", u".bmp", u".png", glow);
  Both(tree, u"particle", u".bmp", u".png", particle);
  Both(tree, u"Rote_design_lines_ramp_high", u".bmp", u".png", ramp);
  Both(tree, u"black", u".bmp", u".png", black);

  Map(tree, u"Segment_00_Light_1", u".bmp", [](sF32 u, sF32 v) { return Baked(Lights[0], u, v); });
  Map(tree, u"Segment_00_Raillight_01", u".bmp", [](sF32 u, sF32 v) { return Rails(u, v, 8.0f); });
  Map(tree, u"Segment_00_Logo_Dance_like_hell_01", u".bmp", [](sF32 u, sF32 v) {
         return DecalGlow(u, v, 0.5f, 20.0f / 80.0f, 0.04f);
       });
  Map(tree, u"Segment_01_Light_all", u".bmp", [](sF32 u, sF32 v) { return Baked(Lights[1], u, v); });
  Map(tree, u"Segment_01_Raillight_01", u".bmp", [](sF32 u, sF32 v) { return Rails(u, v, 4.0f); });
  Map(tree, u"Segment_01_Logo_laser_01", u".png", [](sF32 u, sF32 v) {
         return DecalGlow(u, v, 0.5f, 14.0f / 64.0f, 0.05f);
       });
  Map(tree, u"Segment_02_Light_all", u".bmp", [](sF32 u, sF32 v) { return Baked(Lights[2], u, v); });
  Map(tree, u"Segment_02_Raillight_01", u".bmp", [](sF32 u, sF32 v) { return Rails(u, v, 12.0f); });
  Map(tree, u"Segment_03_Light_all", u".bmp", [](sF32 u, sF32 v) { return Baked(Lights[3], u, v); });
  Map(tree, u"Segment_03_Raillight_01", u".bmp", [](sF32 u, sF32 v) { return Rails(u, v, 6.0f); });
  Map(tree, u"Segment_04_Light_all", u".bmp", [](sF32 u, sF32 v) { return Baked(Lights[4], u, v); });
  Map(tree, u"Segment_04_Raillight_01", u".bmp", [](sF32 u, sF32 v) { return Rails(u, v, 10.0f); });
  Map(tree, u"Kreuzung_01_Light_all", u".bmp", [](sF32 u, sF32 v) { return Baked(Lights[5], u, v); });
  Map(tree, u"Kreuzung_Raillight", u".png", [](sF32 u, sF32 v) { return Rails(u, v, 16.0f); });
  // the caution map: hazard stripes on the walkway and the glow behind the caution sign
  Map(tree, u"Kreuzung_Caution_Lightmap", u".png", [](sF32 u, sF32 v) {
         if(v >= WalkV0 && v <= WalkV1) return Frac(4.0f * (u + v)) < 0.5f ? 1.0f : 0.0f;
         return DecalGlow(u, v, 40.0f / 60.0f, 15.0f / 60.0f, 0.04f);
       });
}

/****************************************************************************/

void Segments(Tree &tree, sRandomLcg &rnd)
{
  for(sInt k = 0; k < 5; k++)
  {
    const Kind &kind = Kinds[k];
    const std::u16string name(kind.Name);
    sImage surface(128, 128);
    Surface(surface, rnd, sF32(k) / 4.0f);
    tree.WriteImage(Path(name + u"_Surface.png").c_str(), surface);
    const Tube t = Straight(kind);
    PetMesh m;
    Wall(m, t, 24, 4, nullptr);
    Rib(m, t, 0.0f, 4.0f, 1.0f);
    Rib(m, t, t.Length - 4.0f, t.Length, -1.0f);
    Walkway(m, t, 0.0f, t.Length, 0.0f);
    WriteModel(tree, name, m, name + u"_Surface.png");
  }

  // the crossing: the entry stub and two branches to the exits; the wall of each tube
  // is left out where it runs inside another, so the three open into each other
  sImage surface(128, 128);
  Surface(surface, rnd, 0.5f);
  tree.WriteImage(Path(u"Kreuzung_Surface.png").c_str(), surface);
  const sF32 h = 0.70710678f;
  const Tube tubes[3] = {
      {sVec3(-20.0f, 0, 0), sVec3(1, 0, 0), CrossLength + 20.0f, CrossRadius},
      {sVec3(ExitX + BranchLength * h, 0, ExitZ - BranchLength * h), sVec3(-h, 0, h), BranchLength, CrossRadius},
      {sVec3(ExitX + BranchLength * h, 0, -ExitZ + BranchLength * h), sVec3(-h, 0, -h), BranchLength, CrossRadius},
  };
  PetMesh cross;
  for(sInt i = 0; i < 3; i++)
  {
    Wall(cross, tubes[i], 24, 8, [&](const sVec3 &p) {
      for(sInt j = 0; j < 3; j++)
        if(j != i && tubes[j].Holds(p, 1.0f)) return sBool(1);
      return sBool(0);
    });
    const sF32 start = i == 0 ? 20.0f : 15.0f;
    Walkway(cross, tubes[i], start, tubes[i].Length, 0.05f * sF32(i));
  }
  Rib(cross, tubes[0], tubes[0].Length - 4.0f, tubes[0].Length, -1.0f);
  Rib(cross, tubes[1], tubes[1].Length - 4.0f, tubes[1].Length, -1.0f);
  Rib(cross, tubes[2], tubes[2].Length - 4.0f, tubes[2].Length, -1.0f);
  WriteModel(tree, u"Kreuzung", cross, u"Kreuzung_Surface.png");

  // the wheel of the fifth kind: a toothed ring round the x axis at the origin
  PetMesh wheel;
  const Tube hub{sVec3(-1.5f, 0, 0), sVec3(1, 0, 0), 3.0f, Kinds[4].Radius * 0.95f};
  Rib(wheel, hub, 0.0f, 3.0f, 1.0f);
  Rib(wheel, hub, 0.0f, 3.0f, -1.0f);
  for(sInt i = 0; i < 12; i++)
  {
    const sF32 a = 2.0f * Pi * sF32(i) / 12.0f, r = hub.Radius * 0.86f;
    PetMesh tooth;
    tooth.Box(sVec3(-1.0f, -1.5f, r - 4.0f), sVec3(1.0f, 1.5f, r), 0.0f, 0.0f, 1.0f, RibV1);
    sMat3x4 turn;
    turn.EulerXYZ(a, 0.0f, 0.0f);
    turn.l = sVec3(0, 0, 0);
    tooth.Transform(turn);
    wheel.Append(tooth);
  }
  WriteModel(tree, u"Segment_04_Rad", wheel, u"Segment_04_Surface.png");

  // the line strips: lit by the scene's palette and scrolled by the ramp along x
  sImage line(64, 16);
  Shade(line, [](sF32, sF32 v) { return Grey(0.35f + 0.65f * (1.0f - std::fabs(v))); });
  tree.WriteImage(Path(u"Lines.png").c_str(), line);
  for(sInt k = 0; k < 4; k++)
  {
    PetMesh m;
    const Tube t = Straight(Kinds[k]);
    Strips(m, t, {0.6f, 2.0f * Pi - 0.6f, 2.5f, 2.0f * Pi - 2.5f}, 0.0f, t.Length);
    WriteModel(tree, std::u16string(Kinds[k].Name) + u"_Lines", m, u"Lines.png");
  }
  PetMesh crossLines;
  for(const Tube &t : tubes) Strips(crossLines, t, {0.6f, 2.0f * Pi - 0.6f}, t.Length * 0.5f, t.Length);
  WriteModel(tree, u"Kreuzung_lines", crossLines, u"Lines.png");

  // the logo decals on the +z wall
  const struct
  {
    const char16_t *File, *Text;
    sU32 Ink;
  } signs[3] = {{u"Logo_Dance.png", u"DANCE LIKE HELL", 0xffff3050},
                {u"Logo_Laser.png", u"LASER", 0xff30ff60},
                {u"Logo_Caution.png", u"CAUTION", 0xffffd020}};
  for(const auto &sign : signs)
  {
    sImage img(256, 128);
    Sign(img, sign.Text, sign.Ink);
    tree.WriteImage(Path(sign.File).c_str(), img);
  }
  PetMesh logo0, logo1, caution;
  Decal(logo0, Straight(Kinds[0]), Kinds[0].Length, 20.0f, 10.0f);
  Decal(logo1, Straight(Kinds[1]), Kinds[1].Length, 14.0f, 7.0f);
  Decal(caution, tubes[0], 20.0f + 0.5f * CrossLength, 15.0f, 8.0f);
  WriteModel(tree, u"Segment_00_Logo", logo0, u"Logo_Dance.png");
  WriteModel(tree, u"Segment_01_Logo", logo1, u"Logo_Laser.png");
  WriteModel(tree, u"Kreuzung_Caution_Logo", caution, u"Logo_Caution.png");
}

void Generate(Tree &tree)
{
  sRandomLcg rnd = NamedRandom("tunnel");
  Pictures(tree);
  Segments(tree, rnd);
}

}   // namespace

DATAGEN_AREA("tunnel", 480, Generate);

}   // namespace datagen

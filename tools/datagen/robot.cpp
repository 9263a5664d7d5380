// The Robot scene's files: ground pictures (colour, height, light mask), sprites, horizon
// bands and the wall in both variants, and the two robots: a small one of four parts
// (legs, body, head, visor) and a large one of five (tracked base, body, two arms, head),
// each part two meshes (metal and coloured trim) built around its own pivot.
#include "datagen.hpp"
#include "draw.hpp"
#include "petshapes.hpp"

#include <cmath>

namespace datagen
{
namespace
{

void Both(Tree &tree, const sChar *name, const sChar *unpackedExt, const sChar *packedExt, const sImage &img)
{
  tree.WriteImagePair(u"robot", name, unpackedExt, packedExt, img);
}

void Pictures(Tree &tree, sRandomLcg &rnd)
{
  const sInt size = 256;
  Noise noise(rnd.Next(), 8);
  sImage white(64, 64);
  white.Fill(0xffffffff);
  Both(tree, u"white", u".bmp", u".png", white);

  // ground colours: metal floor tiles with seams, in three tints
  static const sF32 tints[3][3] = {{0.75f, 0.7f, 0.65f}, {0.45f, 0.6f, 0.9f}, {0.6f, 0.55f, 0.7f}};
  static const sChar *const grounds[3] = {u"ground", u"ground2", u"ground3"};
  for(sInt g = 0; g < 3; g++)
  {
    sImage img(size, size);
    Shade(img, [&](sF32 u, sF32 v) {
      const sF32 n = noise.At((u + 1.0f) * 4.0f, (v + 1.0f) * 4.0f, 4);
      const sF32 fu = std::fmod((u + 1.0f) * 2.0f, 1.0f), fv = std::fmod((v + 1.0f) * 2.0f, 1.0f);
      const sF32 seam = (fu < 0.03f || fv < 0.03f) ? 0.35f : 1.0f;
      const sF32 l = (0.55f + 0.45f * n) * seam;
      return Argb(1.0f, l * tints[g][0], l * tints[g][1], l * tints[g][2]);
    });
    Both(tree, grounds[g], u".pic", u".pic", img);
  }
  sImage bump(size, size);
  Shade(bump, [&](sF32 u, sF32 v) { return Grey(noise.At((u + 1.0f) * 8.0f, (v + 1.0f) * 8.0f, 3)); });
  Both(tree, u"detail_bump", u".bmp", u".png", bump);
  sImage shadow(size, size);
  Shade(shadow, [](sF32 u, sF32 v) { return Grey(Clamp01(1.2f * Glow(u, v))); });
  Both(tree, u"shadow", u".pic", u".pic", shadow);
  sImage spot(size, size), glow(size, size), point(size, size);
  Shade(spot, [](sF32 u, sF32 v) { return Grey(SmoothStep(0.9f, 0.5f, std::sqrt(u * u + v * v))); });
  Shade(glow, [](sF32 u, sF32 v) { return Grey(Glow(u, v)); });
  Shade(point, [](sF32 u, sF32 v) { return Grey(Clamp01(Glow(u, v) * 0.6f + Star(u, v, 6))); });
  Both(tree, u"light_spot", u".bmp", u".png", spot);
  Both(tree, u"glow", u".bmp", u".png", glow);
  Both(tree, u"lightpoint", u".bmp", u".png", point);
  // horizon bands: a city skyline in light, and bright dashes
  sImage horizon(size, size), horizon2(size, size), wall(size, size);
  Shade(horizon, [&](sF32 u, sF32 v) {
    const sF32 h = 0.2f + 0.6f * noise.Cell(sInt((u + 1.0f) * 16.0f), 3);
    const sF32 lit = (1.0f - v) * 0.5f < h ? 0.8f : 0.0f;
    return Argb(1.0f, 0.3f * lit, 0.6f * lit, lit);
  });
  Shade(horizon2, [](sF32 u, sF32 v) {
    const sF32 dash = std::fmod((u + 1.0f) * 8.0f, 1.0f) < 0.5f && std::fabs(v) < 0.3f ? 1.0f : 0.0f;
    return Argb(1.0f, dash, 0.5f * dash, 0.2f * dash);
  });
  Shade(wall, [&](sF32 u, sF32 v) {
    const sF32 n = noise.At((u + 1.0f) * 4.0f, (v + 1.0f) * 4.0f, 3);
    const sF32 panel = std::fmod((u + 1.0f) * 4.0f, 1.0f) < 0.04f ? 0.4f : 1.0f;
    return Grey((0.4f + 0.4f * n) * panel);
  });
  Both(tree, u"horizon", u".bmp", u".png", horizon);
  Both(tree, u"horizon2", u".bmp", u".png", horizon2);
  Both(tree, u"wall", u".bmp", u".png", wall);
}

// Two meshes of a part: metal (material 0) and trim (material 1).
struct Part
{
  PetMesh Metal, Trim;
  Part()
  {
    Metal.Material = 0;
    Trim.Material = 1;
  }
};

std::vector<PetMesh> Meshes(const std::vector<Part> &parts)
{
  std::vector<PetMesh> m;
  for(const Part &p : parts)
  {
    m.push_back(p.Metal);
    m.push_back(p.Trim);
  }
  return m;
}

void Robots(Tree &tree)
{
  sImage metal(128, 128), trim(128, 128);
  Shade(metal, [](sF32 u, sF32 v) { return Grey(0.6f + 0.25f * std::fabs(std::sin(6.0f * u + 2.0f * v))); });
  Shade(trim, [](sF32 u, sF32) { return Argb(1.0f, 1.0f, 0.45f + 0.2f * u, 0.1f); });
  tree.WriteImage(u"robot/unpacked/bot_metal.png", metal);
  tree.WriteImage(u"robot/unpacked/bot_trim.png", trim);
  const std::vector<std::u16string> images = {u"robot/unpacked/bot_metal.png", u"robot/unpacked/bot_trim.png"};

  // small robot: 0 visor, 1 head, 2 body, 3 legs, each about its pivot
  std::vector<Part> s(4);
  s[0].Metal.Box(sVec3(-4.2f, 1.0f, -1.0f), sVec3(-3.5f, 4.0f, 1.0f));          // ears
  s[0].Metal.Box(sVec3(3.5f, 1.0f, -1.0f), sVec3(4.2f, 4.0f, 1.0f));
  s[0].Trim.Box(sVec3(-3.0f, 1.5f, -4.2f), sVec3(3.0f, 3.5f, -3.4f));          // visor
  s[1].Metal.Box(sVec3(-3.5f, 0.0f, -3.5f), sVec3(3.5f, 7.0f, 3.5f));          // head
  s[1].Trim.Box(sVec3(-0.3f, 7.0f, -0.3f), sVec3(0.3f, 10.0f, 0.3f));          // antenna
  s[1].Trim.Box(sVec3(-0.8f, 10.0f, -0.8f), sVec3(0.8f, 11.0f, 0.8f));
  s[2].Metal.Box(sVec3(-5.0f, 0.0f, -3.5f), sVec3(5.0f, 11.0f, 3.5f));         // torso
  s[2].Metal.Box(sVec3(-7.5f, 2.0f, -1.5f), sVec3(-5.0f, 10.5f, 1.5f));        // arms
  s[2].Metal.Box(sVec3(5.0f, 2.0f, -1.5f), sVec3(7.5f, 10.5f, 1.5f));
  s[2].Trim.Box(sVec3(-3.0f, 4.0f, -4.0f), sVec3(3.0f, 9.0f, -3.5f));          // chest panel
  s[2].Trim.Box(sVec3(-1.5f, 11.0f, -1.5f), sVec3(1.5f, 12.0f, 1.5f));         // neck
  s[3].Metal.Box(sVec3(-4.0f, -13.0f, -1.5f), sVec3(-1.0f, 0.0f, 1.5f));       // legs
  s[3].Metal.Box(sVec3(1.0f, -13.0f, -1.5f), sVec3(4.0f, 0.0f, 1.5f));
  s[3].Trim.Box(sVec3(-4.5f, -14.8f, -3.0f), sVec3(-0.5f, -13.0f, 2.0f));      // feet
  s[3].Trim.Box(sVec3(0.5f, -14.8f, -3.0f), sVec3(4.5f, -13.0f, 2.0f));
  WritePet(tree, u"robot/unpacked/bot01_002.pet", Meshes(s), images);

  // large robot: 0 head, 1 body, 2 and 3 arms, 4 base
  std::vector<Part> l(5);
  l[0].Metal.Box(sVec3(-8.0f, 0.0f, -10.0f), sVec3(8.0f, 14.0f, 10.0f));
  l[0].Trim.Box(sVec3(-8.8f, 5.0f, -7.0f), sVec3(-8.0f, 9.0f, -2.0f));         // eyes
  l[0].Trim.Box(sVec3(-8.8f, 5.0f, 2.0f), sVec3(-8.0f, 9.0f, 7.0f));
  l[1].Metal.Box(sVec3(-12.0f, -20.7f, -22.0f), sVec3(12.0f, 17.8f, 22.0f));
  l[1].Trim.Box(sVec3(-12.8f, -5.0f, -12.0f), sVec3(-12.0f, 10.0f, 12.0f));    // chest lights
  for(sInt side = 0; side < 2; side++)
  {
    const sF32 z = side == 0 ? 1.0f : -1.0f;   // towards the body
    Part &a = l[2 + side];
    a.Metal.Box(sVec3(-4.0f, -4.0f, side == 0 ? 0.0f : -39.0f), sVec3(4.0f, 4.0f, side == 0 ? 39.0f : 0.0f));
    a.Metal.Box(sVec3(-4.0f, -32.0f, -4.0f), sVec3(4.0f, 0.0f, 4.0f));         // forearm hanging down
    a.Trim.Box(sVec3(-6.0f, -40.0f, -6.0f), sVec3(6.0f, -32.0f, 6.0f));        // fist
    a.Trim.Box(sVec3(-6.0f, -6.0f, z * 36.0f - 3.0f), sVec3(6.0f, 6.0f, z * 36.0f + 3.0f));   // shoulder
  }
  l[4].Metal.Box(sVec3(-15.0f, -12.0f, -25.0f), sVec3(15.0f, 0.0f, 25.0f));
  l[4].Trim.Box(sVec3(-18.0f, -14.8f, -27.0f), sVec3(18.0f, -9.0f, -20.0f));   // tracks
  l[4].Trim.Box(sVec3(-18.0f, -14.8f, 20.0f), sVec3(18.0f, -9.0f, 27.0f));
  WritePet(tree, u"robot/unpacked/bot002_001.pet", Meshes(l), images);
}

void Generate(Tree &tree)
{
  sRandomLcg rnd = NamedRandom("robot");
  Pictures(tree, rnd);
  Robots(tree);
}

}   // namespace

DATAGEN_AREA("robot", 490, Generate);

}   // namespace datagen

// The Fish scene's pictures, each as its unpacked BMP and its packed PNG (the two end
// pictures as PNG in both folders): additive sprites with black edges, specks of dirt for
// the drifting particles, the glow sphere's grid, the fishes' grey height maps and their
// silver-blue body colours, and the two end pictures.
#include "datagen.hpp"
#include "draw.hpp"

#include <cmath>
#include <string>

namespace datagen
{
namespace
{

void Both(Tree &tree, const std::u16string &name, const sImage &img, sBool pngOnly = 0)
{
  tree.WriteImagePair(u"fish", name, pngOnly ? u".png" : u".bmp", u".png", img);
}

void Generate(Tree &tree)
{
  sRandomLcg rnd = NamedRandom("fish");
  const sInt size = 256;
  Noise noise(rnd.Next(), 16);

  sImage white(size, size);
  white.Fill(0xFFFFFFFF);
  Both(tree, u"white", white);
  const struct
  {
    const sChar *Name;
    sF32 R, G, B;
    sInt Rays;
  } sprites[] = {{u"lightpoint", 1.0f, 0.95f, 0.8f, 0}, {u"backlightpoint", 0.5f, 0.7f, 1.0f, 0},
                 {u"lightpoint_snare", 1.0f, 1.0f, 1.0f, 6}};
  for(const auto &s : sprites)
  {
    sImage img(size, size);
    Shade(img, [&](sF32 u, sF32 v) {
      const sF32 g = Clamp01(Glow(u, v) + (s.Rays ? 0.6f * Star(u, v, s.Rays) : 0.0f));
      return Argb(1.0f, g * s.R, g * s.G, g * s.B);
    });
    Both(tree, s.Name, img);
  }
  sImage grid(size, size);
  Shade(grid, [](sF32 u, sF32 v) {
    const sF32 gu = std::fabs(std::fmod((u + 1.0f) * 8.0f, 1.0f) - 0.5f), gv = std::fabs(std::fmod((v + 1.0f) * 8.0f, 1.0f) - 0.5f);
    const sF32 line = SmoothStep(0.4f, 0.48f, std::fmax(gu, gv));
    return Argb(1.0f, 0.1f + 0.3f * line, 0.2f + 0.4f * line, 0.35f + 0.5f * line);
  });
  Both(tree, u"grid", grid);
  for(sInt d = 0; d < 4; d++)
  {
    // soft specks on black: a few blobs of the lattice noise's brightest cells
    sImage dirt(size, size);
    const sF32 cells = 4.0f + 2.0f * d;
    Shade(dirt, [&](sF32 u, sF32 v) {
      const sF32 n = noise.At((u + 1.0f) * cells + 8.0f * d, (v + 1.0f) * cells, 3);
      return Grey(Clamp01((n - 0.55f) * 4.0f) * Glow(u * 0.9f, v * 0.9f));
    });
    Both(tree, d ? (u"dirt" + std::u16string(1, char16_t('1' + d))).c_str() : u"dirt", dirt);
  }
  // heights: scales along the body, a fine grain, and the big fish's ridged skin
  sImage bump(size, size);
  Shade(bump, [](sF32 u, sF32 v) {
    const sF32 sc = std::fabs(std::sin((u + 1.0f) * 12.0f + std::fabs(std::sin((v + 1.0f) * 12.0f))));
    return Grey(0.3f + 0.5f * sc);
  });
  Both(tree, u"fish_bump", bump);
  sImage detail(size, size);
  Shade(detail, [&](sF32 u, sF32 v) { return Grey(0.4f + 0.3f * noise.At((u + 1.0f) * 48.0f, (v + 1.0f) * 48.0f, 1)); });
  Both(tree, u"fish_bump_detail", detail);
  sImage bigBump(size, size);
  Shade(bigBump, [&](sF32 u, sF32 v) {
    return Grey(0.3f + 0.4f * noise.At((u + 1.0f) * 6.0f, (v + 1.0f) * 12.0f, 4) + 0.2f * std::fabs(std::sin(v * 20.0f)));
  });
  Both(tree, u"bigfish_bump", bigBump);
  for(sInt b = 0; b < 2; b++)
  {
    // silver-blue: darker on the back (v = -1), light on the belly, opaque
    sImage colour(size, size);
    Shade(colour, [&](sF32 u, sF32 v) {
      const sF32 belly = 0.5f + 0.5f * v, spot = noise.At((u + 1.0f) * 8.0f + 20.0f * b, (v + 1.0f) * 8.0f, 2);
      return Argb(1.0f, 0.45f + 0.45f * belly + 0.1f * spot, 0.55f + 0.4f * belly, 0.75f + 0.25f * belly - 0.1f * b * spot);
    });
    Both(tree, b ? u"bigfish_color" : u"fish_color", colour);
  }
  sImage shadow(size, size);
  Shade(shadow, [](sF32 u, sF32 v) { return Grey(1.0f - 0.6f * Glow(u * 1.2f, v * 2.0f)); });
  Both(tree, u"fish_shadow", shadow);

  sImage end1(size, size);
  end1.Fill(0x00FFFFFF);
  FillRect(end1, 16, 88, size - 16, 168, Argb(0.6f, 0.1f, 0.2f, 0.35f));
  PrintCentered(end1, u"THE END", size / 2, 128, 48, 1, 0xFFFFFFFF);
  Both(tree, u"end_01", end1, 1);
  sImage end2(size, size);
  Shade(end2, [](sF32 u, sF32 v) { return Argb(1.0f, 0.1f, 0.3f + 0.3f * Glow(u, v), 0.5f + 0.4f * Glow(u, v)); });
  PrintCentered(end2, u"SPARKVANE", size / 2, 128, 36, 1, 0xFFFFFFFF);
  Both(tree, u"end_02", end2, 1);
}

}   // namespace

DATAGEN_AREA("fish", 401, Generate);

}   // namespace datagen

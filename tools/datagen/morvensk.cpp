// The Morvensk scene's pictures (one folder, the same file for both variants but the
// icon): soft white ribbon textures, two unused super-shape surfaces, the dark background
// with its faint clouds and rings, the green icon on black for the grid planes and the
// text band of the arcs.
#include "datagen.hpp"
#include "draw.hpp"

#include <cmath>

namespace datagen
{
namespace
{

// Across a ribbon (v) the white fades out towards both edges.
sF32 RibbonEdge(sF32 v) { return SmoothStep(1.0f, 0.55f, std::fabs(v)); }

void Generate(Tree &tree)
{
  sRandomLcg rnd = NamedRandom("morvensk");
  const sInt size = 256;

  // additive ribbons: the edges fade to black
  sImage white(size, size);
  Shade(white, [](sF32, sF32 v) { return Grey(RibbonEdge(v)); });
  tree.WriteImage(u"morvensk/white.pic", white, kPacked);

  // alpha-blended ribbons: white everywhere, the edges fade in the alpha
  sImage whiteA(size, size);
  Shade(whiteA, [](sF32, sF32 v) { return Argb(RibbonEdge(v), 1.0f, 1.0f, 1.0f); });
  tree.WriteImage(u"morvensk/white_a.pic", whiteA, kPacked);

  // the ribbons of every visit: a thin bright core line in a faint glow, mostly dark. The
  // scene adds 128 of them in its colour, many over each other where their loops close in
  // on the camera: a ribbon that were light across its whole width would pile them into one
  // flat field of that colour
  sImage whiteM(size, size);
  Shade(whiteM, [](sF32, sF32 v) {
    sF32 core = SmoothStep(0.1f, 0.0f, std::fabs(v));
    return Grey(Clamp01(0.06f * RibbonEdge(v) + 0.7f * core * core));
  });
  tree.WriteImage(u"morvensk/white_m.pic", whiteM, kPacked);

  Noise noise(rnd.Next(), 8);
  for(sInt n = 0; n < 2; n++)
  {
    sImage shape(size, size);
    Shade(shape, [&](sF32 u, sF32 v) {
      sF32 s = noise.At((u + 1.0f) * 4.0f + 4.0f * n, (v + 1.0f) * 4.0f, 4);
      sF32 band = 0.5f + 0.5f * std::sin((u * (3 + n) + s * 4.0f) * 3.0f);
      return Argb(1.0f, 0.2f * band, 0.4f + 0.6f * band, 0.3f + 0.5f * s);
    });
    tree.WriteImage(n == 0 ? u"morvensk/supershape_01.pic" : u"morvensk/supershape_02.pic", shape, kPacked);
  }

  // background: a dark ground under faint green clouds and a few thin pale rings, opaque
  // in the middle and translucent towards the edges. It lies behind the whole composition
  // and fills most pictures: the green and white of the ribbons, arcs and icons stand on
  // it instead of on a lit field
  sImage bg(size, size);
  Shade(bg, [&](sF32 u, sF32 v) {
    sF32 r = std::sqrt(u * u + v * v);
    sF32 cloud = noise.At((u + 1.0f) * 4.0f, (v + 1.0f) * 4.0f, 5);
    sF32 ring = SmoothStep(0.025f, 0.0f, std::fabs(std::fmod(r * 4.0f + cloud, 1.0f) - 0.5f)) * 0.45f;
    sF32 g = 0.05f + 0.3f * cloud * cloud;
    return Argb(Clamp01(0.2f + 1.2f * cloud) * SmoothStep(1.4f, 0.6f, r), 0.02f + ring * 0.8f, Clamp01(g + ring),
                0.03f + ring * 0.8f);
  });
  tree.WriteImage(u"morvensk/minimal_bg.pic", bg, kPacked);

  // icon: a green ringed square with a cross on black (black adds nothing)
  sImage icon(size, size);
  icon.Fill(0xff000000);
  const sU32 green = Argb(1.0f, 0.1f, 1.0f, 0.2f);
  FrameRect(icon, 40, 40, 216, 216, 10, green);
  FillRect(icon, 122, 64, 134, 192, green);
  FillRect(icon, 64, 122, 192, 134, green);
  Shade(icon, [&](sF32 u, sF32 v) {
    sInt x = sInt((u + 1.0f) * 0.5f * size), y = sInt((v + 1.0f) * 0.5f * size);
    sF32 ring = SmoothStep(0.03f, 0.0f, std::fabs(std::sqrt(u * u + v * v) - 0.3f));
    sU32 c = icon.Data[y * size + x];
    return ring > 0.0f ? Argb(1.0f, 0.1f * ring, ring, 0.2f * ring) | c : c;
  });
  tree.WriteImage(u"morvensk/minimal_icon.bmp", icon);
  tree.WriteImage(u"morvensk/minimal_icon.png", icon, kPacked);

  // text band: lettering in a band across the middle, clear around it
  sImage text(size, size);
  text.Fill(0x00ffffff);
  FillRect(text, 0, 96, size, 160, Argb(0.35f, 0.6f, 1.0f, 0.6f));
  PrintCentered(text, u"MORVENSK", size / 2, 128, 40, 1, 0xffffffff);
  tree.WriteImage(u"morvensk/minimal_text.pic", text, kPacked);
}

}   // namespace

DATAGEN_AREA("morvensk", 400, Generate);

}   // namespace datagen

// The Plant scene's pictures, each as its unpacked and its packed file: white, the tile
// disc and rings (additive, black around them), two seamless wallpapers for the ground,
// the soft round trail dot, the leaf stripes, the spark light point, the ripple circle
// and the two picture quads (a dark plate and a white sign, both clear around them).
#include "datagen.hpp"
#include "draw.hpp"

#include <cmath>

namespace datagen
{
namespace
{

constexpr sF32 Pi = 3.14159265f;

// Writes the picture under plant/unpacked/ and plant/packed/ with the two extensions.
void WriteBoth(Tree &tree, const std::u16string &name, const sChar *unpackedExt, const sChar *packedExt,
               const sImage &img)
{
  tree.WriteImagePair(u"plant", name, unpackedExt, packedExt, img);
}

// A soft line around radius r of width w, 0..1.
sF32 RingLine(sF32 u, sF32 v, sF32 r, sF32 w) { return SmoothStep(w, 0.0f, std::fabs(std::sqrt(u * u + v * v) - r)); }

void Generate(Tree &tree)
{
  sRandomLcg rnd = NamedRandom("plant");
  const sInt size = 256;

  sImage white(128, 128);
  white.Fill(0xffffffff);
  WriteBoth(tree, u"white", u".bmp", u".png", white);

  // tile disc: a rosette of petals around a bright centre
  sImage center(size, size);
  Shade(center, [](sF32 u, sF32 v) {
    const sF32 r = std::sqrt(u * u + v * v), a = std::atan2(v, u);
    const sF32 petals = SmoothStep(0.0f, 0.3f, std::cos(8.0f * a)) * SmoothStep(0.95f, 0.6f, r);
    return Grey(Clamp01(0.8f * petals * r + Glow(u * 3.0f, v * 3.0f) + 0.8f * RingLine(u, v, 0.9f, 0.04f)));
  });
  WriteBoth(tree, u"center", u".bmp", u".png", center);

  // tile ring: bright bands along the ring's length
  sImage ring(size, size);
  Shade(ring, [](sF32 u, sF32 v) {
    const sF32 across = SmoothStep(1.0f, 0.3f, std::fabs(v));
    const sF32 dashes = 0.5f + 0.5f * std::cos(u * 8.0f * Pi);
    return Grey(across * (0.4f + 0.6f * dashes));
  });
  WriteBoth(tree, u"ring", u".bmp", u".png", ring);

  // the wallpapers repeat: their pattern has a whole number of periods across
  Noise noise(rnd.Next(), 8);
  for(sInt n = 0; n < 2; n++)
  {
    sImage paper(size, size);
    Shade(paper, [&](sF32 u, sF32 v) {
      const sF32 pu = (u + 1.0f) * Pi * 2.0f, pv = (v + 1.0f) * Pi * 2.0f;
      const sF32 s = noise.At((u + 1.0f) * 4.0f, (v + 1.0f) * 4.0f, 3);
      const sF32 motif = n == 0 ? 0.5f + 0.5f * std::sin(pu * 2.0f) * std::sin(pv * 2.0f)
                                : 0.5f + 0.5f * std::cos(pu * 3.0f + std::sin(pv * 2.0f) * 2.0f);
      const sF32 g = Clamp01(0.35f + 0.45f * motif + 0.2f * s);
      return Argb(1.0f, g, g * 0.85f, g * 0.7f);
    });
    WriteBoth(tree, n == 0 ? u"wallpaper_01" : u"wallpaper_02", u".bmp", u".png", paper);
  }

  // trail dot: a soft disc, white in the colour and falling off in the alpha
  sImage round(128, 128);
  Shade(round, [](sF32 u, sF32 v) {
    const sF32 g = SmoothStep(1.0f, 0.4f, std::sqrt(u * u + v * v));
    return Argb(g, g, g, g);
  });
  WriteBoth(tree, u"round", u".pic", u".pic", round);

  // leaves: stripes along the ribbon, dark at the edges
  sImage stripe(size, size);
  Shade(stripe, [](sF32 u, sF32 v) {
    const sF32 veins = 0.6f + 0.4f * std::cos(v * 6.0f * Pi);
    return Grey(veins * SmoothStep(1.0f, 0.7f, std::fabs(v)) * (0.8f + 0.2f * u * u));
  });
  WriteBoth(tree, u"stripe", u".bmp", u".png", stripe);
  sImage stripeA(size, size);
  Shade(stripeA, [](sF32, sF32 v) {
    const sF32 edge = SmoothStep(1.0f, 0.8f, std::fabs(v));
    const sF32 mid = SmoothStep(0.08f, 0.0f, std::fabs(v));
    return Argb(edge, Clamp01(0.7f + mid), Clamp01(0.7f + mid), Clamp01(0.7f + mid));
  });
  WriteBoth(tree, u"stripe_a", u".pic", u".pic", stripeA);

  // spark: a point of light with rays, in the alpha too
  sImage light(128, 128);
  Shade(light, [](sF32 u, sF32 v) {
    const sF32 g = Clamp01(Glow(u, v) + 0.6f * Star(u, v, 4));
    return Argb(g, g, g, g);
  });
  WriteBoth(tree, u"lightpoint", u".bmp", u".png", light);

  // ripple: one thin circle
  sImage circle(size, size);
  Shade(circle, [](sF32 u, sF32 v) { return Grey(RingLine(u, v, 0.8f, 0.1f)); });
  WriteBoth(tree, u"circle", u".bmp", u".png", circle);

  // picture quads: a dark rounded plate, and the white sign that lies on it
  sImage plate(size, size);
  Shade(plate, [](sF32 u, sF32 v) {
    const sF32 d = std::fmax(std::fabs(u), std::fabs(v) * 1.6f);
    return Argb(SmoothStep(0.95f, 0.85f, d), 0.12f, 0.15f, 0.18f);
  });
  WriteBoth(tree, u"tarn_whistles_bg", u".png", u".png", plate);
  sImage sign(size, size);
  sign.Fill(0x00ffffff);
  FrameRect(sign, 24, 72, 232, 184, 4, 0xffffffff);
  PrintCentered(sign, u"TARN", size / 2, 108, 44, 1, 0xffffffff);
  PrintCentered(sign, u"WHISTLES", size / 2, 152, 30, 0, 0xffffffff);
  WriteBoth(tree, u"tarn_whistles", u".png", u".png", sign);
}

}   // namespace

DATAGEN_AREA("plant", 404, Generate);

}   // namespace datagen

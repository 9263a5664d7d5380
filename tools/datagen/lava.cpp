// The Lava scene's pictures in both variants: the blob sprite (a soft glow, loaded raw,
// so its falloff shapes both the glow sprites and the heights of the lava target), white,
// and the lava shader's turning second texture: a swirl that is bright across the disc
// the turning coordinates sweep and black in the corners outside it.
#include "datagen.hpp"
#include "draw.hpp"

#include <cmath>
#include <string>

namespace datagen
{
namespace
{

void Both(Tree &tree, const char16_t *name, const sImage &img)
{
  tree.WriteImagePair(u"lava", name, u".bmp", u".png", img);
}

void Generate(Tree &tree)
{
  sImage white(64, 64);
  white.Fill(0xFFFFFFFF);
  Both(tree, u"white", white);

  sImage glow(128, 128);
  Shade(glow, [](sF32 u, sF32 v) { return Grey(Glow(u, v)); });
  Both(tree, u"glow2", glow);

  sRandomLcg rnd = NamedRandom("lava");
  Noise noise(rnd.Next(), 8);
  sImage rotation(256, 256);
  Shade(rotation, [&](sF32 u, sF32 v) {
    const sF32 r = std::sqrt(u * u + v * v);
    const sF32 swirl = std::sin(5.0f * std::atan2(v, u) + 6.0f * r);
    const sF32 n = noise.At((u + 1.0f) * 4.0f, (v + 1.0f) * 4.0f, 3);
    return Grey((0.55f + 0.2f * swirl + 0.25f * n) * SmoothStep(1.2f, 1.05f, r));
  });
  Both(tree, u"rotation", rotation);
}

}   // namespace

DATAGEN_AREA("lava", 491, Generate);

}   // namespace datagen

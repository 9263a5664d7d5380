// The loader screen's one picture, the surface of its supershape: the loader names the
// same JPEG file as its packed and its unpacked variant.
#include "datagen.hpp"
#include "draw.hpp"

#include <cmath>

namespace datagen
{
namespace
{

void Generate(Tree &tree)
{
  sRandomLcg rnd = NamedRandom("loader");
  Noise noise(rnd.Next(), 8);
  sImage img(256, 256);
  // brushed steel with blue bands that the noise bends into a marble
  Shade(img, [&](sF32 u, sF32 v) {
    sF32 n = noise.At((u + 1.0f) * 4.0f, (v + 1.0f) * 4.0f, 5);
    sF32 band = 0.5f + 0.5f * std::sin((u + v) * 9.0f + n * 7.0f);
    sF32 steel = 0.35f + 0.3f * n + 0.35f * band * band;
    return Argb(1.0f, steel * 0.75f, steel * 0.85f, steel);
  });
  tree.WriteImage(u"loader/supershape.jpg", img, kPacked);
}

}   // namespace

DATAGEN_AREA("loader", 110, Generate);

}   // namespace datagen

// The Body scene's pictures: the additive spotlight sprite (unpacked BMP, packed PNG), the
// shells' warm skin gradient with alpha bands around the alpha test, and the dark dome
// with soft highlights (PIC files in both folders).
#include "datagen.hpp"
#include "draw.hpp"

#include <cmath>

namespace datagen
{
namespace
{

void Generate(Tree &tree)
{
  sRandomLcg rnd = NamedRandom("body");
  Noise noise(rnd.Next(), 8);
  const sInt size = 256;

  sImage spot(size, size);
  Shade(spot, [](sF32 u, sF32 v) { return Grey(Glow(u, v)); });
  tree.WriteImage(u"body/unpacked/spotlight.bmp", spot);
  tree.WriteImage(u"body/packed/spotlight.png", spot, kPacked);

  // warm along v (the shell's height), varied along u, and dim: the glowing looks add it to
  // the light. Along v the alpha passes the shells' alpha test in bands, which cut rings
  // out of the nested shells; between them fainter bands pass only the glowing looks' test
  sImage body(size, size);
  Shade(body, [&](sF32 u, sF32 v) {
    const sF32 h = 0.5f + 0.5f * v, n = noise.At((u + 1.0f) * 4.0f, (v + 1.0f) * 4.0f, 3);
    const sF32 band = std::fabs(std::sin(v * 9.0f * 3.14159265f));
    const sF32 alpha = band < 0.35f ? 0.05f : band < 0.7f ? 0.25f : 1.0f;
    return Argb(alpha, 0.2f + 0.3f * h, 0.1f + 0.2f * h * n, 0.06f + 0.12f * h);
  });
  tree.WriteImage(u"body/unpacked/body.pic", body);
  tree.WriteImage(u"body/packed/body.pic", body, kPacked);

  sImage bg(size, size);
  Shade(bg, [&](sF32 u, sF32 v) {
    const sF32 n = noise.At((u + 1.0f) * 3.0f, (v + 1.0f) * 3.0f, 4);
    const sF32 light = Clamp01((n - 0.5f) * 2.0f);
    return Argb(1.0f, 0.06f + 0.3f * light, 0.05f + 0.22f * light, 0.08f + 0.2f * light);
  });
  tree.WriteImage(u"body/unpacked/background.pic", bg);
  tree.WriteImage(u"body/packed/background.pic", bg, kPacked);
}

}   // namespace

DATAGEN_AREA("body", 403, Generate);

}   // namespace datagen

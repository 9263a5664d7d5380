// The Body scene's pictures: the additive spotlight sprite (unpacked BMP, packed PNG), the
// shells' dim warm gradient whose alpha cuts them into a hull and thin bands, and the dark
// dome with soft highlights (PIC files in both folders).
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

  // warm along v and dim: the additive looks add it to the light. The shells read it (in
  // coordinates of 0 to 1) at u from their first word and at v from their height times
  // their third word plus their second, so v slices every shell at the same heights. The
  // left third is a skin above and below its middle band: the calm cameras that read it
  // (u 0) see the outer shells as a solid hull with a banded waist. Everywhere else the
  // alpha passes the alpha test only in thin bands (about an eighth of v, shifted along u
  // so that shells at other u are cut at other heights): the additive looks draw all 64
  // faces of the nested shells one over the other, and wider bands pile into white. Around
  // u 0.05, where the camera at the centre of every shell reads it, the bands thin to a
  // twentieth.
  sImage body(size, size);
  Shade(body, [&](sF32 u, sF32 v) {
    const sF32 h = 0.5f + 0.5f * v, n = noise.At((u + 1.0f) * 4.0f, (v + 1.0f) * 4.0f, 3);
    const sF32 band = std::fabs(std::sin((v + 0.5f * u) * 9.0f * 3.14159265f));
    const sF32 centre = 1.0f - SmoothStep(0.05f, 0.08f, std::fabs(u + 0.9f));
    const sF32 skin = (1.0f - SmoothStep(-0.35f, -0.25f, u)) * SmoothStep(0.4f, 0.5f, std::fabs(v)) * (1.0f - centre);
    const sF32 alpha = skin > 0.5f || band > 0.982f + 0.015f * centre ? 1.0f : 0.03f;
    return Argb(alpha, 0.08f + 0.12f * h, 0.04f + 0.08f * h * n, 0.03f + 0.05f * h);
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

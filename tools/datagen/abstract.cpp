// The Abstract scene's pictures, each as its unpacked and its packed file: white, the far
// glow (a radial falloff to black, drawn additively) and three dot styles for the points
// (a hard disc, a soft disc and a ring, white in the colour and shaped in the alpha).
#include "datagen.hpp"
#include "draw.hpp"

#include <cmath>

namespace datagen
{
namespace
{

void Generate(Tree &tree)
{
  sImage white(128, 128);
  white.Fill(0xffffffff);
  tree.WriteImage(u"abstract/unpacked/white.bmp", white);
  tree.WriteImage(u"abstract/packed/white.png", white, kPacked);

  sImage glow(128, 128);
  Shade(glow, [](sF32 u, sF32 v) { return Grey(Glow(u, v)); });
  tree.WriteImage(u"abstract/unpacked/glow.bmp", glow);
  tree.WriteImage(u"abstract/packed/glow.png", glow, kPacked);

  const sChar *names[3][2] = {{u"abstract/unpacked/round_v1.pic", u"abstract/packed/round_v1.pic"},
                              {u"abstract/unpacked/round_v2.pic", u"abstract/packed/round_v2.pic"},
                              {u"abstract/unpacked/round_v3.pic", u"abstract/packed/round_v3.pic"}};
  for(sInt style = 0; style < 3; style++)
  {
    sImage dot(64, 64);
    Shade(dot, [style](sF32 u, sF32 v) {
      const sF32 r = std::sqrt(u * u + v * v);
      sF32 a = style == 0 ? SmoothStep(0.85f, 0.75f, r)
             : style == 1 ? SmoothStep(0.95f, 0.1f, r)
                          : SmoothStep(0.18f, 0.05f, std::fabs(r - 0.7f));
      return Argb(a, 1.0f, 1.0f, 1.0f);
    });
    tree.WriteImage(names[style][0], dot);
    tree.WriteImage(names[style][1], dot, kPacked);
  }
}

}   // namespace

DATAGEN_AREA("abstract", 405, Generate);

}   // namespace datagen

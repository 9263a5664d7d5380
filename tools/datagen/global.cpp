// The Global scene's two pictures, each as its unpacked BMP and its packed PNG: plain
// white, and a white glow that falls off from the centre to black, in its alpha too.
#include "datagen.hpp"
#include "draw.hpp"

namespace datagen
{
namespace
{

void Generate(Tree &tree)
{
  sImage white(128, 128);
  white.Fill(0xffffffff);
  tree.WriteImage(u"global/unpacked/white.bmp", white);
  tree.WriteImage(u"global/packed/white.png", white, kPacked);

  sImage glow(128, 128);
  Shade(glow, [](sF32 u, sF32 v) {
    sF32 g = Glow(u, v);
    // the colour falls off with the alpha: the BMP variant has no alpha of its own
    return Argb(g, g, g, g);
  });
  tree.WriteImage(u"global/unpacked/glow.bmp", glow);
  tree.WriteImage(u"global/packed/glow.png", glow, kPacked);
}

}   // namespace

DATAGEN_AREA("global", 413, Generate);

}   // namespace datagen

// The Cubic scene's pictures, each as its unpacked BMP and its packed PNG: white for the
// cubes, and the light point that marks where the lights stand (black around it).
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
  tree.WriteImage(u"cubic/unpacked/white.bmp", white);
  tree.WriteImage(u"cubic/packed/white.png", white, kPacked);

  sImage light(128, 128);
  Shade(light, [](sF32 u, sF32 v) { return Grey(Clamp01(Glow(u, v) + 0.5f * Star(u, v, 6))); });
  tree.WriteImage(u"cubic/unpacked/lightpoint.bmp", light);
  tree.WriteImage(u"cubic/packed/lightpoint.png", light, kPacked);
}

}   // namespace

DATAGEN_AREA("cubic", 406, Generate);

}   // namespace datagen

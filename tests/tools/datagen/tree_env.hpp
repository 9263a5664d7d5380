#pragma once
// The tree the data generator's tests read: made by the fixture of the test run, or by
// main.cpp when a test program is started by hand.

#include "base/types.hpp"

#include <string>
#include <vector>

namespace datagentest
{
const std::string &Root();
// A file of the tree by its name in the tree, as program text, and its bytes.
std::u16string Path(const std::string &name);
std::vector<sU8> ReadBytes(const std::string &name);

// The IPP machine's texture table and the loader's picture, as the show names them.
struct TexturePair
{
  const char *Unpacked, *Packed;
  bool Alpha = false;   // its shape is in its alpha too
};
inline const TexturePair ShowTextures[] = {
  {"ipp/unpacked/white.bmp", "ipp/packed/white.png"}, {"ipp/unpacked/interlace.pic", "ipp/packed/interlace.pic"},
  {"ipp/unpacked/sponsor_test.bmp", "ipp/packed/sponsor_test.png"},
  {"ipp/unpacked/sponsor_test_b.bmp", "ipp/packed/sponsor_test_b.png"},
  {"ipp/unpacked/noise_01.pic", "ipp/packed/noise_01.pic"}, {"ipp/unpacked/color_test.bmp", "ipp/packed/color_test.png"},
  {"ipp/unpacked/glow_alpha.pic", "ipp/packed/glow_alpha.png"},
  {"ipp/unpacked/spark_alpha.pic", "ipp/packed/spark_aplha.pic"},
  {"ipp/unpacked/glow.bmp", "ipp/packed/glow.png"}, {"ipp/unpacked/spark.bmp", "ipp/packed/spark.png"},
  {"loader/supershape.jpg", "loader/supershape.jpg"},
  {"global/unpacked/white.bmp", "global/packed/white.png"},
  {"global/unpacked/glow.bmp", "global/packed/glow.png", true},
  {"morvensk/white.pic", "morvensk/white.pic"}, {"morvensk/white_a.pic", "morvensk/white_a.pic", true},
  {"morvensk/white_m.pic", "morvensk/white_m.pic"}, {"morvensk/supershape_01.pic", "morvensk/supershape_01.pic"},
  {"morvensk/supershape_02.pic", "morvensk/supershape_02.pic"},
  {"morvensk/minimal_bg.pic", "morvensk/minimal_bg.pic", true},
  {"morvensk/minimal_icon.bmp", "morvensk/minimal_icon.png"},
  {"morvensk/minimal_text.pic", "morvensk/minimal_text.pic", true},
  {"transformer/unpacked/white.bmp", "transformer/packed/white.png"},
  {"transformer/unpacked/grey.bmp", "transformer/packed/grey.png"},
  {"transformer/unpacked/blue.bmp", "transformer/packed/blue.png"},
  {"transformer/unpacked/pink.bmp", "transformer/packed/pink.png"},
  {"transformer/unpacked/yellow.bmp", "transformer/packed/yellow.png"},
  {"transformer/unpacked/color1.bmp", "transformer/packed/color1.png"},
  {"transformer/unpacked/color2.bmp", "transformer/packed/color2.png"},
  {"transformer/unpacked/color3.bmp", "transformer/packed/color3.png"},
  {"transformer/unpacked/anthracite.bmp", "transformer/packed/anthracite.png"},
  {"transformer/unpacked/light_spot.bmp", "transformer/packed/light_spot.png"},
  {"transformer/unpacked/lightpoint.bmp", "transformer/packed/lightpoint.png"},
  {"transformer/unpacked/noise_01.bmp", "transformer/packed/noise_01.png"},
  {"transformer/unpacked/detail_bump.bmp", "transformer/packed/detail_bump.png"},
  {"transformer/unpacked/grid.pic", "transformer/packed/grid.pic"},
  {"transformer/unpacked/grid_disco.pic", "transformer/packed/grid_disco.pic"},
  {"transformer/unpacked/round.pic", "transformer/packed/round.pic", true},
  {"transformer/unpacked/love.pic", "transformer/packed/love.pic", true},
  {"transformer/unpacked/electric.pic", "transformer/packed/electric.pic", true},
  {"transformer/unpacked/disco.pic", "transformer/packed/disco.pic"},
  {"transformer/unpacked/disco_tekkno.pic", "transformer/packed/disco_tekkno.pic"},
  {"transformer/unpacked/shadow.pic", "transformer/packed/shadow.pic"},
  {"transformer/unpacked/grid_disco_b.pic", "transformer/packed/grid_disco_b.pic"},
  {"fish/unpacked/white.bmp", "fish/packed/white.png"},
  {"fish/unpacked/lightpoint.bmp", "fish/packed/lightpoint.png"},
  {"fish/unpacked/backlightpoint.bmp", "fish/packed/backlightpoint.png"},
  {"fish/unpacked/lightpoint_snare.bmp", "fish/packed/lightpoint_snare.png"},
  {"fish/unpacked/grid.bmp", "fish/packed/grid.png"},
  {"fish/unpacked/dirt.bmp", "fish/packed/dirt.png"},
  {"fish/unpacked/dirt2.bmp", "fish/packed/dirt2.png"},
  {"fish/unpacked/dirt3.bmp", "fish/packed/dirt3.png"},
  {"fish/unpacked/dirt4.bmp", "fish/packed/dirt4.png"},
  {"fish/unpacked/fish_bump.bmp", "fish/packed/fish_bump.png"},
  {"fish/unpacked/fish_bump_detail.bmp", "fish/packed/fish_bump_detail.png"},
  {"fish/unpacked/fish_color.bmp", "fish/packed/fish_color.png"},
  {"fish/unpacked/bigfish_bump.bmp", "fish/packed/bigfish_bump.png"},
  {"fish/unpacked/bigfish_color.bmp", "fish/packed/bigfish_color.png"},
  {"fish/unpacked/fish_shadow.bmp", "fish/packed/fish_shadow.png"},
  {"fish/unpacked/end_01.png", "fish/packed/end_01.png", true},
  {"fish/unpacked/end_02.png", "fish/packed/end_02.png"},
  {"body/unpacked/spotlight.bmp", "body/packed/spotlight.png"},
  {"body/unpacked/body.pic", "body/packed/body.pic", true},
  {"body/unpacked/background.pic", "body/packed/background.pic"},
  {"plant/unpacked/white.bmp", "plant/packed/white.png"}, {"plant/unpacked/center.bmp", "plant/packed/center.png"},
  {"plant/unpacked/ring.bmp", "plant/packed/ring.png"},
  {"plant/unpacked/wallpaper_01.bmp", "plant/packed/wallpaper_01.png"},
  {"plant/unpacked/wallpaper_02.bmp", "plant/packed/wallpaper_02.png"},
  {"plant/unpacked/round.pic", "plant/packed/round.pic", true}, {"plant/unpacked/stripe.bmp", "plant/packed/stripe.png"},
  {"plant/unpacked/stripe_a.pic", "plant/packed/stripe_a.pic", true},
  {"plant/unpacked/lightpoint.bmp", "plant/packed/lightpoint.png", true},
  {"plant/unpacked/circle.bmp", "plant/packed/circle.png"},
  {"plant/unpacked/tarn_whistles_bg.png", "plant/packed/tarn_whistles_bg.png", true},
  {"plant/unpacked/tarn_whistles.png", "plant/packed/tarn_whistles.png", true},
  {"abstract/unpacked/white.bmp", "abstract/packed/white.png"}, {"abstract/unpacked/glow.bmp", "abstract/packed/glow.png"},
  {"abstract/unpacked/round_v1.pic", "abstract/packed/round_v1.pic", true},
  {"abstract/unpacked/round_v2.pic", "abstract/packed/round_v2.pic", true},
  {"abstract/unpacked/round_v3.pic", "abstract/packed/round_v3.pic", true},
  {"cubic/unpacked/white.bmp", "cubic/packed/white.png"}, {"cubic/unpacked/lightpoint.bmp", "cubic/packed/lightpoint.png"},
  {"invaders/unpacked/white.bmp", "invaders/packed/white.png"}, {"invaders/unpacked/glow.bmp", "invaders/packed/glow.png"},
  {"invaders/unpacked/lightpoint.bmp", "invaders/packed/lightpoint.png"},
  {"invaders/unpacked/spark.bmp", "invaders/packed/spark.png"},
  {"robot/unpacked/white.bmp", "robot/packed/white.png"}, {"robot/unpacked/ground.pic", "robot/packed/ground.pic"},
  {"robot/unpacked/ground2.pic", "robot/packed/ground2.pic"}, {"robot/unpacked/ground3.pic", "robot/packed/ground3.pic"},
  {"robot/unpacked/detail_bump.bmp", "robot/packed/detail_bump.png"},
  {"robot/unpacked/shadow.pic", "robot/packed/shadow.pic"},
  {"robot/unpacked/light_spot.bmp", "robot/packed/light_spot.png"}, {"robot/unpacked/glow.bmp", "robot/packed/glow.png"},
  {"robot/unpacked/lightpoint.bmp", "robot/packed/lightpoint.png"},
  {"robot/unpacked/horizon.bmp", "robot/packed/horizon.png"}, {"robot/unpacked/horizon2.bmp", "robot/packed/horizon2.png"},
  {"robot/unpacked/wall.bmp", "robot/packed/wall.png"},
  {"slideshow/unpacked/white.bmp", "slideshow/packed/white.png"},
  {"slideshow/unpacked/star.bmp", "slideshow/packed/star.png", true},
  {"slideshow/unpacked/center.bmp", "slideshow/packed/center.png", true},
  {"slideshow/unpacked/lightpoint.bmp", "slideshow/packed/lightpoint.png", true},
  {"slideshow/unpacked/star_bg.bmp", "slideshow/packed/star_bg.png"},
  {"slideshow/unpacked/horizon.bmp", "slideshow/packed/horizon.png", true},
  {"slideshow/unpacked/horizon_bg.bmp", "slideshow/packed/horizon_bg.png"},
  {"slideshow/unpacked/photo_1.bmp", "slideshow/packed/photo_1.png"},
  {"slideshow/unpacked/photo_2.bmp", "slideshow/packed/photo_2.png"},
  {"slideshow/unpacked/photo_3.bmp", "slideshow/packed/photo_3.png"},
  {"slideshow/unpacked/round.pic", "slideshow/packed/round.pic", true},
  {"slideshow/unpacked/outline.pic", "slideshow/packed/outline.pic", true},
  {"slideshow/unpacked/background.pic", "slideshow/packed/background.pic"},
  {"slideshow/unpacked/style2_bg.pic", "slideshow/packed/style2_bg.pic"},
  {"slideshow/unpacked/mirrow.pic", "slideshow/packed/mirrow.pic", true},
  {"led1/unpacked/white.bmp", "led1/packed/white.png"}, {"led1/unpacked/cross.png", "led1/packed/cross.png"},
  {"led1/unpacked/grid.bmp", "led1/packed/grid.png"}, {"led1/unpacked/round.pic", "led1/packed/round.pic", true},
  {"led1/unpacked/ring.pic", "led1/packed/ring.pic", true}, {"led1/unpacked/quad.pic", "led1/packed/quad.pic", true},
  {"led1/unpacked/tail.bmp", "led1/packed/tail.png"}, {"led1/unpacked/glow.bmp", "led1/packed/glow.png"},
  {"led1/unpacked/spark.bmp", "led1/packed/spark.png"},
};
}

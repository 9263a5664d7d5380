#pragma once
// The tree the data generator's tests read: made by the fixture of the test run, or by
// main.cpp when a test program is started by hand.

#include "base/types.hpp"

#include <sstream>
#include <string>
#include <vector>

namespace datagentest
{
const std::string &Root();
// A file of the tree by its name in the tree, as program text, and its bytes.
std::u16string Path(const std::string &name);
std::vector<sU8> ReadBytes(const std::string &name);

// The textures of the show and the loader's picture, as the show names them: by folder, the
// names of the unpacked variants. The packed variant is the same file in the "packed" folder
// beside "unpacked" (in the same folder where there is none), a BMP there written as a PNG;
// "a>b" names a packed variant that differs otherwise, and a '*' a picture whose shape is in
// its alpha too.
struct TexturePair
{
  std::string Unpacked, Packed;
  bool Alpha = false;
};
inline const std::vector<TexturePair> &ShowTextures()
{
  static const char *const folders[][2] = {
  {"ipp/unpacked", "white.bmp interlace.pic sponsor_test.bmp sponsor_test_b.bmp noise_01.pic color_test.bmp"
   " glow_alpha.pic>glow_alpha.png spark_alpha.pic>spark_aplha.pic glow.bmp spark.bmp"},
  {"loader", "supershape.jpg"},
  {"global/unpacked", "white.bmp glow.bmp*"},
  {"morvensk", "white.pic white_a.pic* white_m.pic supershape_01.pic supershape_02.pic minimal_bg.pic*"
   " minimal_icon.bmp minimal_text.pic*"},
  {"transformer/unpacked", "white.bmp grey.bmp blue.bmp pink.bmp yellow.bmp color1.bmp color2.bmp color3.bmp"
   " anthracite.bmp light_spot.bmp lightpoint.bmp noise_01.bmp detail_bump.bmp grid.pic grid_disco.pic round.pic*"
   " love.pic* electric.pic* disco.pic disco_tekkno.pic shadow.pic grid_disco_b.pic"},
  {"fish/unpacked", "white.bmp lightpoint.bmp backlightpoint.bmp lightpoint_snare.bmp grid.bmp dirt.bmp dirt2.bmp"
   " dirt3.bmp dirt4.bmp fish_bump.bmp fish_bump_detail.bmp fish_color.bmp bigfish_bump.bmp bigfish_color.bmp"
   " fish_shadow.bmp end_01.png* end_02.png"},
  {"body/unpacked", "spotlight.bmp body.pic* background.pic"},
  {"plant/unpacked", "white.bmp center.bmp ring.bmp wallpaper_01.bmp wallpaper_02.bmp round.pic* stripe.bmp"
   " stripe_a.pic* lightpoint.bmp* circle.bmp tarn_whistles_bg.png* tarn_whistles.png*"},
  {"abstract/unpacked", "white.bmp glow.bmp round_v1.pic* round_v2.pic* round_v3.pic*"},
  {"cubic/unpacked", "white.bmp lightpoint.bmp"},
  {"invaders/unpacked", "white.bmp glow.bmp lightpoint.bmp spark.bmp"},
  {"robot/unpacked", "white.bmp ground.pic ground2.pic ground3.pic detail_bump.bmp shadow.pic light_spot.bmp"
   " glow.bmp lightpoint.bmp horizon.bmp horizon2.bmp wall.bmp"},
  {"lava/unpacked", "glow2.bmp white.bmp rotation.bmp"},
  {"tunnel/unpacked", "tail.bmp round.pic* glow.bmp particle.bmp Rote_design_lines_ramp_high.bmp"
   " Segment_00_Light_1.bmp Segment_00_Raillight_01.bmp Segment_00_Logo_Dance_like_hell_01.bmp"
   " Segment_01_Light_all.bmp Segment_01_Raillight_01.bmp Segment_01_Logo_laser_01.png Segment_02_Light_all.bmp"
   " Segment_02_Raillight_01.bmp black.bmp Segment_03_Light_all.bmp Segment_03_Raillight_01.bmp"
   " Segment_04_Light_all.bmp Segment_04_Raillight_01.bmp Kreuzung_01_Light_all.bmp Kreuzung_Raillight.png"
   " Kreuzung_Caution_Lightmap.png"},
  {"crystal/unpacked", "white.bmp glow.bmp lightpoint.bmp crystal.bmp crystal_red.bmp crystal_black.bmp"
   " crystal_red2.bmp crystal_tur.bmp crystal_bg.bmp round.pic*"},
  {"slideshow/unpacked", "white.bmp star.bmp* center.bmp* lightpoint.bmp* star_bg.bmp horizon.bmp* horizon_bg.bmp"
   " photo_1.bmp photo_2.bmp photo_3.bmp round.pic* outline.pic* background.pic style2_bg.pic mirrow.pic*"},
  {"led1/unpacked", "white.bmp cross.png grid.bmp round.pic* ring.pic* quad.pic* tail.bmp glow.bmp spark.bmp"},
  };
  static const std::vector<TexturePair> all = [] {
    std::vector<TexturePair> list;
    for(const auto &f : folders)
    {
      const std::string unpacked = f[0], base = unpacked.substr(0, unpacked.rfind("/unpacked"));
      const std::string packed = base == unpacked ? base : base + "/packed";
      std::istringstream names(f[1]);
      for(std::string n; names >> n;)
      {
        TexturePair t;
        if((t.Alpha = n.back() == '*')) n.pop_back();
        const size_t other = n.find('>');
        std::string p = other == std::string::npos ? n : n.substr(other + 1);
        n = n.substr(0, other);
        if(other == std::string::npos && p.ends_with(".bmp")) p.replace(p.size() - 4, 4, ".png");
        t.Unpacked = unpacked + "/" + n, t.Packed = packed + "/" + p;
        list.push_back(t);
      }
    }
    return list;
  }();
  return all;
}
}

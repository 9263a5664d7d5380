// The tree's pictures, loaded through the program's image loaders: both variants of every
// texture of the show, their file formats and sizes, and whether each looks like its name.
#include "graphics/image.hpp"
#include "tree_env.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <set>
#include <string>

using datagentest::Path;
using datagentest::ShowTextures;

namespace
{

std::string Extension(const std::string &name)
{
  return name.substr(name.rfind('.') + 1);
}

// the file is what its extension says: 24-bit BMP, Softimage PIC, PNG or JPEG
bool HasFormatOfExtension(const std::string &name)
{
  std::vector<sU8> b = datagentest::ReadBytes(name);
  std::string ext = Extension(name);
  if(b.size() < 32) return false;
  if(ext == "bmp") return b[0] == 'B' && b[1] == 'M' && b[28] == 24;
  if(ext == "pic") return b[0] == 0x53 && b[1] == 0x80 && b[2] == 0xf6 && b[3] == 0x34;
  if(ext == "png") return b[0] == 0x89 && b[1] == 'P' && b[2] == 'N' && b[3] == 'G';
  if(ext == "jpg") return b[0] == 0xff && b[1] == 0xd8 && b[2] == 0xff;
  return false;
}

bool PowerOfTwo(sInt v) { return v >= 4 && (v & (v - 1)) == 0; }

struct Alpha
{
  sU32 Min = 255, Max = 0;
};
Alpha AlphaRange(const sImage &img)
{
  Alpha a;
  for(sInt i = 0; i < img.SizeX * img.SizeY; i++)
  {
    sU32 v = img.Data[i] >> 24;
    a.Min = v < a.Min ? v : a.Min;
    a.Max = v > a.Max ? v : a.Max;
  }
  return a;
}

// the light of a pixel at (u, v), both 0..1 across the picture: its brightest colour
// channel, or its alpha
sF32 Light(const sImage &img, sF32 u, sF32 v, bool alpha)
{
  sInt x = sInt(u * (img.SizeX - 1) + 0.5f), y = sInt(v * (img.SizeY - 1) + 0.5f);
  sU32 c = img.Data[y * img.SizeX + x];
  sU32 light = alpha ? c >> 24 : std::max({(c >> 16) & 0xff, (c >> 8) & 0xff, c & 0xff});
  return light / 255.0f;
}

}   // namespace

TEST(DatagenImages, EveryShowTextureLoadsInBothVariantsWithOneSizeAndOneContent)
{
  for(const auto &t : ShowTextures)
  {
    SCOPED_TRACE(t.Packed);
    EXPECT_TRUE(HasFormatOfExtension(t.Unpacked));
    EXPECT_TRUE(HasFormatOfExtension(t.Packed));
    sImage unpacked, packed;
    ASSERT_TRUE(unpacked.Load(Path(t.Unpacked).c_str()));
    ASSERT_TRUE(packed.Load(Path(t.Packed).c_str()));
    // mipped and block-compressed by the show: powers of two
    EXPECT_TRUE(PowerOfTwo(unpacked.SizeX) && PowerOfTwo(unpacked.SizeY)) << unpacked.SizeX << " x " << unpacked.SizeY;
    ASSERT_EQ(packed.SizeX, unpacked.SizeX);
    ASSERT_EQ(packed.SizeY, unpacked.SizeY);
    sInt differ = 0;
    for(sInt i = 0; i < packed.SizeX * packed.SizeY; i++)
      differ += (packed.Data[i] & 0xffffff) != (unpacked.Data[i] & 0xffffff);
    EXPECT_EQ(differ, 0) << "pixels whose colour differs between the variants";

    // the alpha pictures carry their shape in alpha (in every variant that has alpha);
    // the others are opaque
    std::string name = t.Unpacked;
    bool alphaPicture = name.find("_alpha") != std::string::npos || name.find("interlace") != std::string::npos;
    for(const sImage *img : {&unpacked, &packed})
    {
      Alpha a = AlphaRange(*img);
      bool carriesAlpha = Extension(img == &packed ? t.Packed : t.Unpacked) != "bmp";
      if(alphaPicture && carriesAlpha)
        EXPECT_TRUE(a.Min < 32 && a.Max == 255) << a.Min << ".." << a.Max;
      else
        EXPECT_TRUE(a.Min == 255 && a.Max == 255) << a.Min << ".." << a.Max;
    }
  }
}

TEST(DatagenImages, PicturesLookLikeWhatTheirNamesSay)
{
  auto load = [](const char *name) {
    auto *img = new sImage;
    EXPECT_TRUE(img->Load(Path(name).c_str())) << name;
    return std::unique_ptr<sImage>(img);
  };
  // glows fall off softly from a bright centre to black corners
  for(auto [name, alpha] : {std::pair{"ipp/unpacked/glow.bmp", false}, {"ipp/unpacked/glow_alpha.pic", true}})
  {
    auto img = load(name);
    sF32 centre = Light(*img, 0.5f, 0.5f, alpha), mid = Light(*img, 0.7f, 0.5f, alpha), rim = Light(*img, 0.9f, 0.5f, alpha);
    EXPECT_TRUE(centre > 0.95f && mid < centre && rim < mid && rim > 0.0f && Light(*img, 0, 0, alpha) == 0.0f)
      << name << ": " << centre << " " << mid << " " << rim;
  }
  // sparks: a hot centre, light along the rays, dark between them
  for(auto [name, alpha] : {std::pair{"ipp/unpacked/spark.bmp", false}, {"ipp/unpacked/spark_alpha.pic", true}})
  {
    auto img = load(name);
    sF32 ray = Light(*img, 0.75f, 0.5f, alpha), between = Light(*img, 0.5f + 0.25f * 0.924f, 0.5f + 0.25f * 0.383f, alpha);
    EXPECT_TRUE(Light(*img, 0.5f, 0.5f, alpha) > 0.95f && ray > 3.0f * between) << name << ": " << ray << " " << between;
  }
  // scan lines: two rows of light, two nearly clear ones
  auto interlace = load("ipp/packed/interlace.pic");
  for(sInt y = 0; y < 8; y++)
    EXPECT_EQ(Light(*interlace, 0.5f, y / 255.0f, true) > 0.5f, y % 4 < 2) << "row " << y;
  // noise: grey values all over the range, different from pixel to pixel
  auto noise = load("ipp/packed/noise_01.pic");
  std::set<sU32> values;
  for(sInt i = 0; i < noise->SizeX * noise->SizeY; i++) values.insert(noise->Data[i] & 0xff);
  EXPECT_GT(values.size(), 200u);
  // the test card: eight bars of different colours over a grey ramp
  auto card = load("ipp/packed/color_test.png");
  std::set<sU32> bars;
  for(sInt i = 0; i < 8; i++) bars.insert(card->Data[(card->SizeY / 5 + 3) * card->SizeX + (i * 2 + 1) * card->SizeX / 16 + 3]);
  EXPECT_EQ(bars.size(), 8u);
  EXPECT_LT(Light(*card, 0.05f, 0.9f, false), Light(*card, 0.45f, 0.9f, false));
  EXPECT_LT(Light(*card, 0.45f, 0.9f, false), Light(*card, 0.95f, 0.9f, false));
  // the logo: a frame around the picture and a word of white ink in the middle
  auto logo = load("ipp/packed/sponsor_test.png");
  EXPECT_GT(Light(*logo, 0.03f, 0.5f, false), 0.9f) << "the frame";
  sInt ink = 0, area = 0;
  for(sF32 u = 0.1f; u < 0.9f; u += 0.005f, area++) ink += Light(*logo, u, 0.4f, false) > 0.8f;
  EXPECT_TRUE(ink > area / 6 && ink < area * 5 / 6) << ink << " of " << area;
}

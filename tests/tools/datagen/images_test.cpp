// The tree's pictures, loaded through the program's image loaders: both variants of every
// texture of the show, their file formats and sizes, and whether each looks like its name.
#include "graphics/image.hpp"
#include "tree_env.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

using datagentest::Path;

namespace
{
// the file is what its extension says: 24-bit BMP, Softimage PIC, PNG or JPEG
bool HasFormatOfExtension(const std::string &name)
{
  std::vector<sU8> b = datagentest::ReadBytes(name);
  std::string ext = name.substr(name.rfind('.') + 1);
  return b.size() > 32 && ((ext == "bmp" && b[0] == 'B' && b[1] == 'M' && b[28] == 24) ||
                           (ext == "pic" && b[0] == 0x53 && b[1] == 0x80 && b[2] == 0xf6 && b[3] == 0x34) ||
                           (ext == "png" && b[0] == 0x89 && b[1] == 'P' && b[2] == 'N' && b[3] == 'G') ||
                           (ext == "jpg" && b[0] == 0xff && b[1] == 0xd8 && b[2] == 0xff));
}

std::unique_ptr<sImage> Load(const std::string &name)
{
  auto img = std::make_unique<sImage>();
  EXPECT_TRUE(img->Load(Path(name).c_str())) << name;
  return img;
}

// the light at (u, v), both 0..1 across the picture: the brightest colour channel, or alpha
sF32 Light(const sImage &img, sF32 u, sF32 v, bool alpha = false)
{
  sU32 c = img.Data[sInt(v * (img.SizeY - 1) + 0.5f) * img.SizeX + sInt(u * (img.SizeX - 1) + 0.5f)];
  return (alpha ? c >> 24 : std::max({(c >> 16) & 0xff, (c >> 8) & 0xff, c & 0xff})) / 255.0f;
}
}   // namespace

TEST(DatagenImages, EveryShowTextureLoadsInBothVariantsWithOneSizeAndOneContent)
{
  for(const auto &t : datagentest::ShowTextures())
  {
    SCOPED_TRACE(t.Packed);
    EXPECT_TRUE(HasFormatOfExtension(t.Unpacked) && HasFormatOfExtension(t.Packed));
    auto unpacked = Load(t.Unpacked), packed = Load(t.Packed);
    // mipped and block-compressed by the show: powers of two
    for(sInt size : {unpacked->SizeX, unpacked->SizeY}) EXPECT_TRUE(size >= 4 && (size & (size - 1)) == 0) << size;
    ASSERT_TRUE(packed->SizeX == unpacked->SizeX && packed->SizeY == unpacked->SizeY);
    sInt count = packed->SizeX * packed->SizeY, differ = 0;
    for(sInt i = 0; i < count; i++) differ += (packed->Data[i] & 0xffffff) != (unpacked->Data[i] & 0xffffff);
    EXPECT_EQ(differ, 0) << "pixels whose colour differs between the variants";
    // the alpha pictures carry their shape in alpha wherever the format has alpha; the
    // others are opaque
    const bool alphaPicture =
        t.Alpha || t.Unpacked.find("_alpha") != std::string::npos || t.Unpacked.find("interlace") != std::string::npos;
    for(auto [img, file] : {std::pair{unpacked.get(), &t.Unpacked}, {packed.get(), &t.Packed}})
    {
      auto [lo, hi] = std::minmax_element(img->Data, img->Data + count, [](sU32 a, sU32 b) { return a >> 24 < b >> 24; });
      bool shaped = alphaPicture && !file->ends_with(".bmp");
      EXPECT_TRUE(*hi >> 24 == 255 && (shaped ? *lo >> 24 < 32 : *lo >> 24 == 255)) << *file;
    }
  }
}

TEST(DatagenImages, PicturesLookLikeWhatTheirNamesSay)
{
  // glows fall off softly from a bright centre to black corners
  for(auto [name, alpha] : {std::pair{"ipp/unpacked/glow.bmp", false}, {"ipp/unpacked/glow_alpha.pic", true},
                            {"global/unpacked/glow.bmp", false}, {"global/packed/glow.png", true}})
  {
    auto img = Load(name);
    sF32 centre = Light(*img, 0.5f, 0.5f, alpha), mid = Light(*img, 0.7f, 0.5f, alpha), rim = Light(*img, 0.9f, 0.5f, alpha);
    EXPECT_TRUE(centre > 0.95f && mid < centre && rim < mid && rim > 0.0f && Light(*img, 0, 0, alpha) == 0.0f) << name;
  }
  // sparks: a hot centre, light along the rays, dark between them
  for(auto [name, alpha] : {std::pair{"ipp/unpacked/spark.bmp", false}, {"ipp/unpacked/spark_alpha.pic", true}})
  {
    auto img = Load(name);
    sF32 ray = Light(*img, 0.75f, 0.5f, alpha), between = Light(*img, 0.5f + 0.25f * 0.924f, 0.5f + 0.25f * 0.383f, alpha);
    EXPECT_TRUE(Light(*img, 0.5f, 0.5f, alpha) > 0.95f && ray > 3.0f * between) << name;
  }
  // scan lines: two rows of light, two nearly clear ones
  auto interlace = Load("ipp/packed/interlace.pic");
  for(sInt y = 0; y < 8; y++) EXPECT_EQ(Light(*interlace, 0.5f, y / 255.0f, true) > 0.5f, y % 4 < 2) << "row " << y;
  // the logo: a frame around the picture and a word of white ink in the middle
  auto logo = Load("ipp/packed/sponsor_test.png");
  EXPECT_GT(Light(*logo, 0.03f, 0.5f), 0.9f) << "the frame";
  sInt ink = 0, area = 0;
  for(sF32 u = 0.1f; u < 0.9f; u += 0.005f, area++) ink += Light(*logo, u, 0.4f) > 0.8f;
  EXPECT_TRUE(ink > area / 6 && ink < area * 5 / 6) << ink << " of " << area;
}

// Block-packed pictures: what a load gives is the packing of the source, on one thread or
// on a batch's threads alike.

#include "show/packedpicture.hpp"

#include "common/temp_dir.hpp"
#include "graphics/image.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
constexpr sInt Dxt1 = 0x80100D, Dxt5 = 0x801010;

class PackedPicture : public testing::Test
{
protected:
  sparktest::TempDir Dir;
  std::u16string Source = Dir.Name("picture.bmp");

  // a picture with structure in every block, different for each seed
  void WritePicture(sU32 seed, sInt w = 32, sInt h = 16, const std::u16string *path = nullptr)
  {
    sImage img(w, h);
    for(sInt i = 0; i < w * h; i++) img.Data[i] = 0xff000000u | ((sU32(i) * 2654435761u + seed * 40503u) & 0xffffff);
    ASSERT_TRUE(img.Save((path ? *path : Source).c_str()));
  }
  // the levels packed straight from the source
  std::string Reference(sInt format, sBool normals, const std::u16string *path = nullptr)
  {
    sImage img;
    EXPECT_TRUE(img.Load((path ? *path : Source).c_str()));
    sImage n;
    if(normals) n.HeightToNormal(&img, 1.0f);
    sImageData data;
    data.Init(format, 0, img.SizeX, img.SizeY);
    data.ConvertFrom(normals ? &n : &img);
    return std::string(reinterpret_cast<char *>(data.Data), size_t(data.DataSize));
  }
};

// Many pictures packed at once on the batch's threads (one picture twice among them) come
// out byte for byte as one thread packs them. Taken last first, each waits for its own
// picture.
TEST_F(PackedPicture, ABatchPacksAsOneThreadDoes)
{
  struct Row
  {
    sInt Picture, Format;
    sBool Normals;
  };
  const sInt sizes[][2] = {{96, 64}, {37, 21}, {128, 4}, {64, 64}, {2, 2}};
  std::u16string names[5];
  for(sInt p = 0; p < 5; p++)
  {
    names[p] = Dir.Name(("batch" + std::to_string(p) + ".bmp").c_str());
    WritePicture(sU32(10 + p), sizes[p][0], sizes[p][1], &names[p]);
  }
  const Row rows[] = {{0, Dxt1, 0}, {0, Dxt5, 0}, {0, Dxt1, 1}, {1, Dxt5, 1}, {1, Dxt1, 0},
                      {2, Dxt1, 0}, {3, Dxt5, 0}, {3, Dxt1, 1}, {0, Dxt1, 0}};
  const std::u16string missing = Dir.Name("missing.bmp");
  PackedPictureBatch batch;
  std::vector<sInt> taken;
  for(const Row &r : rows) taken.push_back(batch.Add(names[r.Picture].c_str(), r.Format, r.Normals));
  sInt tiny = batch.Add(names[4].c_str(), Dxt1, 0), lost = batch.Add(missing.c_str(), Dxt5, 0);
  sImageData *data = nullptr;
  sImage *small = nullptr;
  EXPECT_FALSE(batch.Take(lost, &data, &small));
  EXPECT_TRUE(data == nullptr && small == nullptr);
  EXPECT_FALSE(batch.Take(tiny, &data, &small)) << "smaller than a block";
  ASSERT_NE(small, nullptr);
  EXPECT_EQ(small->SizeX, 2);
  sDELETE(small);
  for(size_t i = taken.size(); i-- > 0;)
  {
    const Row &r = rows[i];
    ASSERT_TRUE(batch.Take(taken[i], &data, nullptr)) << "row " << i;
    EXPECT_EQ(std::string(reinterpret_cast<char *>(data->Data), size_t(data->DataSize)),
              Reference(r.Format, r.Normals, &names[r.Picture]))
      << "row " << i;
    sDELETE(data);
  }
  // a batch given up before its pictures are taken drops them
  PackedPictureBatch dropped;
  for(const Row &r : rows) dropped.Add(names[r.Picture].c_str(), r.Format, r.Normals);
}

TEST_F(PackedPicture, PicturesThatCannotBePacked)
{
  sImage tiny(2, 2);
  tiny.Fill(0xff00ff00);
  ASSERT_TRUE(tiny.Save(Source.c_str()));
  sImageData data;
  sImage *small = nullptr;
  EXPECT_FALSE(LoadPackedPicture(Source.c_str(), Dxt1, 0, data, &small));
  ASSERT_NE(small, nullptr);
  EXPECT_EQ(small->SizeX, 2);
  sDELETE(small);
  EXPECT_FALSE(LoadPackedPicture(Dir.Name("missing.bmp").c_str(), Dxt1, 0, data, &small));
  EXPECT_EQ(small, nullptr);
}
}

// The pack file, read through the program's pack handler: it holds exactly the packed
// variants of the show's textures, as they lie in the tree.
#include "graphics/image.hpp"
#include "tree_env.hpp"
#include "util/packfile.hpp"

#include <gtest/gtest.h>

#include <algorithm>

TEST(DatagenPack, ThePackHandlerServesEveryPackedAssetAsWrittenAndNoUnpackedOne)
{
  sPackfileHandler pack;
  ASSERT_TRUE(pack.Open(datagentest::Path("Tarnwhistles.dat").c_str()) && pack.IsUsable());
  EXPECT_EQ(pack.GetCount(), sInt(datagentest::ShowTextures().size()));
  for(const auto &t : datagentest::ShowTextures())
  {
    SCOPED_TRACE(t.Packed);
    std::u16string name(t.Packed.begin(), t.Packed.end()), unpacked(t.Unpacked.begin(), t.Unpacked.end());
    sFile *file = pack.Create(name.c_str(), sFA_READ);
    ASSERT_NE(file, nullptr);
    std::vector<sU8> disk = datagentest::ReadBytes(t.Packed);
    const sU8 *data = file->LoadWhole();
    ASSERT_TRUE(data && file->GetSize() == sS64(disk.size()));
    EXPECT_TRUE(std::equal(disk.begin(), disk.end(), data));
    sImage img;
    EXPECT_TRUE(name.ends_with(u".pic") ? img.LoadPIC(data, sDInt(disk.size())) : img.LoadCompressed(data, sDInt(disk.size())));
    sDELETE(file);
    EXPECT_TRUE(unpacked == name || !pack.Exists(unpacked.c_str())) << "the unpacked variant comes from the folder";
  }
}

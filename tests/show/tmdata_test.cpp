// Texture and material sets built from tables: which textures exist afterwards, in which
// format, and what each material row becomes.

#include "scene_util.hpp"

#include "common/check.hpp"
#include "common/temp_dir.hpp"
#include "graphics/image.hpp"

#include <string>
#include <tuple>

namespace
{
class Sets : public SceneRecording
{
protected:
  sparktest::TempDir Dir;
  std::u16string Names[4];
  const sChar *Picture(sInt i, sInt w, sInt h, sU32 colour)
  {
    sImage img(w, h);
    img.Fill(colour);
    Names[i] = Dir.Name(("p" + std::to_string(i) + ".bmp").c_str());
    EXPECT_TRUE(img.Save(Names[i].c_str()));
    return Names[i].c_str();
  }
};

int Refreshes = 0;
void CountRefresh(void *) { Refreshes++; }

TEST_F(Sets, TexturesOfEveryLoadOption)
{
  const sChar *white = Picture(0, 8, 8, 0xffffffff), *odd = Picture(1, 6, 10, 0xff336699);
  const sChar *tiny = Picture(2, 2, 2, 0xff00ff00), *height = Picture(3, 16, 16, 0xff808080);
  const TextureEntry textures[] = {
    {white, nullptr, 0x1001, 0},                     // straight into a texture
    {u"/nonexistent/x.bmp", nullptr, 0x1001, 0},     // missing
    {u"/nonexistent/y.bmp", nullptr, 0x1001, 2},     // missing, to be compressed
    {odd, nullptr, 0x1001, 2},                       // odd size, 8-byte blocks
    {tiny, nullptr, 0x1001, 4},                      // smaller than a block: kept uncompressed
    {white, nullptr, 0x1001, 8},                     // image only
    {height, nullptr, 0x1001, 1 | 4},                // normal map, 16-byte blocks
    {u"/nonexistent/z.bmp", odd, 0x1401, 6},         // packed path only; bit 1 wins over bit 2
    {}};
  const MaterialEntry materials[] = {EndRow()};
  sInt own = 0;
  SetLoadingScreen(&CountRefresh, nullptr, &own);
  TMData set, packed;
  set.Build(textures, materials, sTMD_REFRESH);
  SetLoadingScreen(nullptr, nullptr, nullptr);
  packed.Build(textures, materials, sTMD_PACKED);
  EXPECT_EQ(Refreshes, 8 + 1);   // one per row, one more for the normal map
  ASSERT_EQ(set.TextureCount, 8);
  EXPECT_EQ(set.MaterialCount, 0);
  // (format, width, height) of each row's texture; format 0: none
  const sInt expect[8][3] = {{1, 8, 8}, {0}, {0}, {13, 6, 10}, {1, 2, 2}, {0}, {16, 16, 16}, {0}};
  for(sInt i = 0; i < 8; i++)
  {
    sTexture2D *t = set.Textures[i];
    ASSERT_EQ(t != nullptr, expect[i][0] != 0) << "row " << i;
    EXPECT_TRUE(!t || (sInt(t->Flags & sTEX_FORMAT) == expect[i][0] && t->SizeX == expect[i][1] && t->SizeY == expect[i][2]))
      << "row " << i;
    EXPECT_EQ(set.Images[i] != nullptr, i == 5) << "row " << i;
  }
  EXPECT_EQ(set.Images[5]->SizeX, 8);
  ASSERT_NE(packed.Textures[7], nullptr);
  EXPECT_EQ(packed.Textures[7]->Flags & sTEX_FORMAT, 13u);
  EXPECT_EQ(packed.Textures[0], nullptr);   // no packed path
}

TEST_F(Sets, MaterialRowsGetTheirSettings)
{
  const TextureEntry textures[] = {{Picture(0, 8, 8, ~0u), nullptr, 0x1001, 0}, {Picture(1, 8, 8, 0xff808080), nullptr, 0x1001, 0}, {}};
  MaterialEntry rows[19];
  for(sInt k = 0; k < 16; k++)
  {
    rows[k] = Row(k, (k >= 9 && k <= 12) ? 3 : k == 13 ? 5 : 1, 0x13, 0, 2, 0);
    rows[k].TextureIndex[1] = 1;
    rows[k].SamplerFlags[1] = 0x11000000;
  }
  rows[0].VertexFormat = 3;
  rows[16] = Row(5, 1, 0x11, 0, 0);
  rows[17] = Row(5, 1, 0x03, 0, 0);
  rows[18] = EndRow();
  TMData set;
  set.Build(textures, rows, 0);
  ASSERT_EQ(set.MaterialCount, 18);
  for(sInt k = 0; k < 16; k++)
  {
    sMaterial *m = set.Materials[k];
    // the second slot: modulating kinds, lit kinds below TextureCount, soft points
    bool second = k == 2 || k == 3 || k == 4 || k == 5 || k == 11 || k == 12 || k == 13;
    EXPECT_TRUE(m->Texture[0] == set.Textures[0] && m->S.LodBias[1] == -0.3f &&
                m->S.LodBias[2] == 0.0f && m->VertexShader && m->PixelShader && (m->Texture[1] != nullptr) == second)
      << "kind " << k;
  }
  auto option = [&](sInt row, sInt o) { return static_cast<ShaderMaterial1 *>(set.Materials[row])->Options[o]; };
  EXPECT_TRUE(option(0, ShaderMaterial1::VertexColor) && option(1, ShaderMaterial1::AlphaFromColor) &&
              option(3, ShaderMaterial1::SecondAlpha));
  auto *m8 = static_cast<ShaderMaterial4 *>(set.Materials[8]);
  EXPECT_TRUE(m8->HeightGradientOption == 1 && m8->S.AlphaRef == 96 && m8->S.AlphaFunc == sCMP_GREATER);
  EXPECT_TRUE(static_cast<ShaderMaterial6 *>(set.Materials[10])->DepthOption &&
              static_cast<ShaderMaterial6 *>(set.Materials[11])->SoftOption);
  EXPECT_EQ(set.Materials[12]->S.TextureFlags[1], 0x11000000u);
  EXPECT_EQ(set.Materials[12]->Texture[3], set.Textures[0]);   // four slots whatever the count
  EXPECT_EQ(static_cast<ShaderMaterial13 *>(set.Materials[13])->ShadowMatrix[2], &set.ShadowMatrix);
  // the lit kind's second variant culls the other faces (the same without culling)
  for(auto [row, flags0, flags1] : {std::tuple{5, 0x13u, 0x23u}, {16, 0x11u, 0x23u}, {17, 0x03u, 0x03u}})
    EXPECT_TRUE(set.Materials[row]->Variants[0].Flags == flags0 && set.Materials[row]->Variants[1].Flags == flags1) << row;
}

TEST_F(Sets, EmptyTablesAndFaultyRows)
{
  const TextureEntry none[] = {{}};
  const MaterialEntry end[] = {EndRow()};
  TMData empty;
  empty.Build(none, end, 0);
  EXPECT_TRUE(empty.TextureCount == 0 && empty.MaterialCount == 0 && empty.GetKind(0) == sTMD_ENDKIND);
  const std::pair<MaterialEntry, const char *> cases[] = {
    {Row(17, 1), "TMData: unknown material kind!"},
    {Row(0, 2), "TMData: vertex format for this material not supported!"},
    {Row(13, 1), "TMData: vertex format for this material not supported!"},
    {Row(0, 1, 0x13, 0, 1, 1), kCheckFailed},
    {Row(4, 1, 0x13, 0, 5), kCheckFailed}};
  for(const auto &[row, message] : cases)
  {
    const MaterialEntry rows[] = {row, EndRow()};
    EXPECT_DEATH({ TMData set; set.Build(NoFile, rows, 0); }, message);
  }
}
}  // namespace

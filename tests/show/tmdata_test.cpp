// Texture and material sets built from tables: which textures exist afterwards, in which
// format, and what each material row becomes.

#include "scene_util.hpp"

#include "common/temp_dir.hpp"
#include "graphics/image.hpp"

#include <string>
#include <typeinfo>

namespace
{
class Sets : public SceneRecording
{
protected:
  sparktest::TempDir Dir;
  std::u16string Names[8];
  const sChar *Picture(sInt i, const char *name, sInt w, sInt h, sU32 colour)
  {
    sImage img(w, h);
    img.Fill(colour);
    Names[i] = Dir.Name(name);
    EXPECT_TRUE(img.Save(Names[i].c_str()));
    return Names[i].c_str();
  }
};

int Refreshes = 0;
void CountRefresh(void *) { Refreshes++; }

TEST_F(Sets, TexturesOfEveryLoadOption)
{
  const sChar *white = Picture(0, "white.bmp", 8, 8, 0xffffffff);
  const sChar *odd = Picture(1, "odd.bmp", 6, 10, 0xff336699);
  const sChar *tiny = Picture(2, "tiny.bmp", 2, 2, 0xff00ff00);
  const sChar *height = Picture(3, "height.bmp", 16, 16, 0xff808080);
  const TextureEntry textures[] = {
    {white, nullptr, 0x1001, 0},                     // straight into a texture
    {u"/nonexistent/x.bmp", nullptr, 0x1001, 0},     // missing
    {u"/nonexistent/y.bmp", nullptr, 0x1001, 2},     // missing, to be compressed
    {odd, nullptr, 0x1001, 2},                       // odd size, 8-byte blocks
    {tiny, nullptr, 0x1001, 4},                      // smaller than a block
    {white, nullptr, 0x1001, 8},                     // image only
    {height, nullptr, 0x1001, 1 | 4},                // normal map, 16-byte blocks
    {u"/nonexistent/z.bmp", odd, 0x1401, 6},         // packed path; bit 1 wins over bit 2
    {nullptr, nullptr, 0, 0}};
  const MaterialEntry materials[] = {EndRow()};

  Refreshes = 0;
  sInt own = 0;
  SetLoadingScreen(&CountRefresh, nullptr, &own);
  TMData set;
  set.Build(textures, materials, sTMD_REFRESH);
  SetLoadingScreen(nullptr, nullptr, nullptr);
  EXPECT_EQ(Refreshes, 8 + 1);   // one per row, one more for the normal map
  ASSERT_EQ(set.TextureCount, 8);
  EXPECT_EQ(set.MaterialCount, 0);

  struct Expect
  {
    bool Texture;
    sInt Format, X, Y;
  };
  const Expect expect[8] = {{true, 1, 8, 8},   {false, 0, 0, 0},  {false, 0, 0, 0}, {true, 13, 6, 10},
                            {true, 1, 2, 2},   {false, 0, 0, 0},  {true, 16, 16, 16}, {false, 0, 0, 0}};
  for(sInt i = 0; i < 8; i++)
  {
    SCOPED_TRACE(i);
    ASSERT_EQ(set.Textures[i] != nullptr, expect[i].Texture);
    if(!expect[i].Texture) continue;
    EXPECT_EQ(sInt(set.Textures[i]->Flags & sTEX_FORMAT), expect[i].Format);
    EXPECT_EQ(set.Textures[i]->SizeX, expect[i].X);
    EXPECT_EQ(set.Textures[i]->SizeY, expect[i].Y);
  }
  ASSERT_NE(set.Images[5], nullptr);
  EXPECT_EQ(set.Images[5]->SizeX, 8);
  for(sInt i = 0; i < 8; i++)
  {
    if(i == 5) continue;
    EXPECT_EQ(set.Images[i], nullptr);
  }

  // the packed paths of the same table
  TMData packed;
  packed.Build(textures, materials, sTMD_PACKED);
  ASSERT_NE(packed.Textures[7], nullptr);
  EXPECT_EQ(packed.Textures[7]->Flags & sTEX_FORMAT, 13u);
  EXPECT_EQ(packed.Textures[0], nullptr);   // no packed path
}

TEST_F(Sets, MaterialRowsBecomeTheirClassesWithTheirSettings)
{
  const sChar *white = Picture(0, "white.bmp", 8, 8, 0xffffffff);
  const sChar *grey = Picture(1, "grey.bmp", 8, 8, 0xff808080);
  const TextureEntry textures[] = {{white, nullptr, 0x1001, 0}, {grey, nullptr, 0x1001, 0}, {nullptr, nullptr, 0, 0}};
  MaterialEntry rows[19];
  for(sInt k = 0; k < 16; k++)
  {
    sInt format = (k >= 9 && k <= 12) ? 3 : k == 13 ? 5 : 1;
    rows[k] = Row(k, format, 0x13, 0, 2, 0);
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
  const std::type_info *classes[16] = {
    &typeid(ShaderMaterial1), &typeid(ShaderMaterial1),  &typeid(ShaderMaterial1), &typeid(ShaderMaterial1),
    &typeid(ShaderMaterial2), &typeid(ShaderMaterial3),  &typeid(ShaderMaterial5), &typeid(ShaderMaterial4),
    &typeid(ShaderMaterial4), &typeid(ShaderMaterial6),  &typeid(ShaderMaterial6), &typeid(ShaderMaterial6),
    &typeid(ShaderMaterial8), &typeid(ShaderMaterial13), &typeid(ShaderMaterial7), &typeid(ShaderMaterial15)};
  for(sInt k = 0; k < 16; k++)
  {
    SCOPED_TRACE(k);
    sMaterial *m = set.Materials[k];
    EXPECT_EQ(typeid(*m), *classes[k]);
    EXPECT_EQ(m->Texture[0], set.Textures[0]);
    EXPECT_FLOAT_EQ(m->S.LodBias[1], -0.3f);
    EXPECT_FLOAT_EQ(m->S.LodBias[2], 0.0f);
    EXPECT_NE(m->VertexShader, nullptr);
    EXPECT_NE(m->PixelShader, nullptr);
    // second slot: the modulating kinds, the lit kinds below TextureCount, the soft points
    bool second = k == 2 || k == 3 || k == 4 || k == 5 || k == 11 || k == 12 || k == 13;
    EXPECT_EQ(m->Texture[1] != nullptr, second);
  }
  auto *m0 = static_cast<ShaderMaterial1 *>(set.Materials[0]);
  EXPECT_EQ(m0->Options[ShaderMaterial1::VertexColor], 1);
  EXPECT_EQ(static_cast<ShaderMaterial1 *>(set.Materials[1])->Options[ShaderMaterial1::AlphaFromColor], 1);
  EXPECT_EQ(static_cast<ShaderMaterial1 *>(set.Materials[3])->Options[ShaderMaterial1::SecondAlpha], 1);
  auto *m8 = static_cast<ShaderMaterial4 *>(set.Materials[8]);
  EXPECT_EQ(m8->HeightGradientOption, 1);
  EXPECT_EQ(m8->S.AlphaRef, 96);
  EXPECT_EQ(m8->S.AlphaFunc, sCMP_GREATER);
  EXPECT_EQ(static_cast<ShaderMaterial6 *>(set.Materials[10])->DepthOption, 1);
  EXPECT_EQ(static_cast<ShaderMaterial6 *>(set.Materials[11])->SoftOption, 1);
  EXPECT_EQ(set.Materials[12]->S.TextureFlags[1], 0x11000000u);
  EXPECT_EQ(set.Materials[12]->Texture[3], set.Textures[0]);   // four slots whatever the count
  EXPECT_EQ(static_cast<ShaderMaterial13 *>(set.Materials[13])->ShadowMatrix[2], &set.ShadowMatrix);
  // the lit kind's second variant culls the other faces
  const sU32 variant1[3] = {0x23, 0x23, 0x03};
  const sInt litRows[3] = {5, 16, 17};
  for(sInt i = 0; i < 3; i++)
  {
    sMaterial *m = set.Materials[litRows[i]];
    ASSERT_EQ(m->StateVariants, 2);
    EXPECT_EQ(m->Variants[0].Flags, rows[litRows[i]].StateFlags);
    EXPECT_EQ(m->Variants[1].Flags, variant1[i]);
  }
}

TEST_F(Sets, EmptyTablesAndFaultyRows)
{
  const TextureEntry none[] = {{nullptr, nullptr, 0, 0}};
  const MaterialEntry end[] = {EndRow()};
  TMData empty;
  empty.Build(none, end, 0);
  EXPECT_EQ(empty.TextureCount, 0);
  EXPECT_EQ(empty.MaterialCount, 0);
  EXPECT_EQ(empty.GetKind(0), sTMD_ENDKIND);

  const TextureEntry one[] = {{u"/nonexistent/a.bmp", nullptr, 0x1001, 0}, {nullptr, nullptr, 0, 0}};
  struct Case
  {
    MaterialEntry Row;
    const char *Message;
  };
  const Case cases[] = {
    {Row(17, 1), "TMData: unknown material kind!"},
    {Row(0, 2), "TMData: vertex format for this material not supported!"},
    {Row(13, 1), "TMData: vertex format for this material not supported!"},
    {Row(0, 1, 0x13, 0, 1, 1), "t>=0 && t<TextureCount"},
    {Row(4, 1, 0x13, 0, 5), "e.TextureCount>=0 && e.TextureCount<=4"},
  };
  for(const Case &c : cases)
  {
    const MaterialEntry rows[] = {c.Row, EndRow()};
    EXPECT_DEATH(
      {
        TMData set;
        set.Build(one, rows, 0);
      },
      c.Message);
  }
}
}  // namespace

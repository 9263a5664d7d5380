// Screen grabs: cleared frames read back into an image.
#include "graphics/image.hpp"
#include "render_fixture.hpp"

namespace
{
// the size of the other rendered suites of this program
class ImageGrab : public RenderTest
{
};

TEST_F(ImageGrab, ReadsTheScreenAtItsSize)
{
  sImage img;
  for(sU32 colour : {0xff204080u, 0xffc08010u})
  {
    ASSERT_TRUE(sRender3DBegin());
    sSetScreenTarget(nullptr, sRTF_CLEAR_ALL, colour);
    img.GrabScreen();
    sRender3DEnd(0);
    ASSERT_EQ(img.SizeX, W);
    ASSERT_EQ(img.SizeY, H);
    for(sInt i = 0; i < W * H; i++) ASSERT_EQ(img.Data[i] & 0x00ffffff, colour & 0x00ffffff) << i;
  }
}

TEST_F(ImageGrab, ImageDataMakesATextureOfItsSizeFormatAndLevels)
{
  sImage img(16, 8);
  img.Fill(0xff336699);
  for(sInt format : {sInt(sTEX_2D | sTEX_ARGB8888), sInt(sTEX_2D | sTEX_DXT1), sInt(sTEX_2D | sTEX_ARGB8888 | sTEX_NOMIPMAPS)})
  {
    sImageData data;
    data.Init(format, 0, img.SizeX, img.SizeY);
    data.ConvertFrom(&img);
    sTexture2D *tex = data.CreateTexture();
    ASSERT_NE(tex, nullptr);
    EXPECT_EQ(tex->SizeX, 16);
    EXPECT_EQ(tex->SizeY, 8);
    EXPECT_EQ(tex->Mipmaps, data.Mipmaps) << format;
    EXPECT_EQ(tex->Flags & (sTEX_FORMAT | sTEX_TYPE_MASK), sU32(format) & (sTEX_FORMAT | sTEX_TYPE_MASK));
    sDelete(tex);
  }
}
}   // namespace

// Textures made from images, drawn through the simple material and read back.

#include "common/check.hpp"
#include "graphics/image.hpp"
#include "graphics/imagetexture.hpp"
#include "graphics/materials.hpp"
#include "image_test_util.hpp"
#include "render_fixture.hpp"

#include <algorithm>

namespace
{
/****************************************************************************/
/***   Drawing a texture over the screen                                  ***/
/****************************************************************************/

struct VtxPCU
{
  sF32 x, y, z;
  sU32 c;
  sF32 u, v;
};
const sU32 PointClamp = sMTF_POINT | (sMTF_CLAMP << sMTF_U_SHIFT) | (sMTF_CLAMP << sMTF_V_SHIFT);

// Texel of a 2 x 2 texture drawn over the screen at pixel (x, y) (pixels on the middle
// lines are left out by the callers).
sInt Quadrant(sInt x, sInt y) { return (y >= RenderTest::H / 2 ? 2 : 0) + (x >= RenderTest::W / 2 ? 1 : 0); }

const sInt SampleX[] = {3, 20, 40, 60};
const sInt SampleY[] = {2, 15, 30, 45};

/****************************************************************************/
/***   Textures from images                                               ***/
/****************************************************************************/

using ImageTexture = RenderTest;

// Draws a texture over the whole screen, point sampled, and reads the screen back.
std::vector<sU32> ShowTexture(sTexture2D *tex)
{
  sSimpleMaterial m;
  m.S.Flags = sMTRL_ZOFF | sMTRL_CULLOFF;
  m.Texture[0] = tex;
  m.S.TextureFlags[0] = PointClamp;
  m.Prepare(sVertexFormatPosColUV);
  RenderTest::BeginFrame();
  sViewport vp;
  vp.Orthogonal = sVO_PIXELS;
  vp.SetTarget(nullptr);
  vp.Prepare(15);
  SetInView(m, vp);
  sGeometry geo(sGF_QUADLIST, sVertexFormatPosColUV);
  VtxPCU *q = nullptr;
  geo.BeginLoadVB(4, sGD_STREAM, reinterpret_cast<void **>(&q));
  for(sInt i = 0; i < 4; i++)   // the screen's corners in pixels, texture coordinates 0..1
  {
    const sF32 x = (i == 1 || i == 2) ? sF32(RenderTest::W) : 0, y = i >= 2 ? sF32(RenderTest::H) : 0;
    q[i] = {x, y, 0.5f, 0xffffffff, x / RenderTest::W, y / RenderTest::H};
  }
  geo.EndLoadVB();
  geo.Draw();
  return RenderTest::EndFrame();
}

TEST_F(ImageTexture, SizesOffTheBlockGridKeepTheirPixels)
{
  // a plain image of odd size: 6 x 5, 3 x 2 and 1 x 1
  sImage img(6, 5);
  for(sInt i = 0; i < 30; i++) img.Data[i] = 0xff000000 | sU32(i * 0x080604);
  sTexture2D *tex = sLoadTexture2D(&img, sTEX_ARGB8888);
  ASSERT_TRUE(tex);
  EXPECT_EQ(tex->Mipmaps, 3);
  std::vector<sU32> px = ShowTexture(tex);
  for(sInt ty = 0; ty < 5; ty++)
    for(sInt tx = 0; tx < 6; tx++)
    {
      sInt x = (2 * tx + 1) * W / 12, y = (2 * ty + 1) * H / 10;
      EXPECT_EQ(px[y * W + x] & 0xffffff, img.Data[ty * 6 + tx] & 0xffffff) << tx << "," << ty;
    }
  sDelete(tex);

  // a block-compressed image whose height ends inside a block row: 12 x 6 is one level
  sImage blocks(12, 6);
  const sU32 colors[3] = {0xffff0000, 0xff00ff00, 0xff0000ff};
  for(sInt y = 0; y < 6; y++)
    for(sInt x = 0; x < 12; x++) blocks.Data[y * 12 + x] = y < 4 ? colors[x / 4] : 0xffffffff;
  tex = sLoadTexture2D(&blocks, sTEX_DXT1);
  ASSERT_TRUE(tex);
  EXPECT_EQ(tex->Mipmaps, 1);
  px = ShowTexture(tex);
  for(sInt bx = 0; bx < 3; bx++)
  {
    sInt x = (8 * bx + 4) * W / 24;
    EXPECT_LE(ColorDiff(px[(H / 6) * W + x], colors[bx]), 4) << "block " << bx;
    EXPECT_LE(ColorDiff(px[(H * 5 / 6) * W + x], 0xffffffff), 4) << "block " << bx;
  }
  sDelete(tex);
}

TEST_F(ImageTexture, TextureFromAFile)
{
  imagetest::TempDir dir;
  sImage img(2, 2);
  img.Data[0] = 0xff102030;
  img.Data[1] = 0xff405060;
  img.Data[2] = 0xff708090;
  img.Data[3] = 0xffa0b0c0;
  imagetest::WriteRaw(dir.Name8("pic.bmp"), imagetest::BmpFile(img, 24, false));
  sTexture2D *tex = sLoadTexture2DFile(dir.Name("pic.bmp").c_str(), sTEX_ARGB8888);
  ASSERT_TRUE(tex);
  EXPECT_EQ(tex->SizeX, 2);
  EXPECT_EQ(tex->Mipmaps, 2);
  std::vector<sU32> px = ShowTexture(tex);
  for(sInt y : SampleY)
    for(sInt x : SampleX) EXPECT_EQ(px[y * W + x] & 0xffffff, img.Data[Quadrant(x, y)] & 0xffffff);
  sDelete(tex);

  EXPECT_EQ(sLoadTexture2DFile(dir.Name("missing.bmp").c_str(), sTEX_ARGB8888), nullptr);
  imagetest::WriteRaw(dir.Name8("broken.bmp"), {'B', 'M', 1, 2, 3});
  EXPECT_EQ(sLoadTexture2DFile(dir.Name("broken.bmp").c_str(), sTEX_ARGB8888), nullptr);
}

}

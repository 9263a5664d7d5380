// The framework materials: the view constants, the choice of programs, and what the
// programs draw; textures made from images.

#include "common/check.hpp"
#include "graphics/image.hpp"
#include "graphics/imagetexture.hpp"
#include "graphics/materials.hpp"
#include "image_test_util.hpp"
#include "render_fixture.hpp"
#include "shaders/shadercode.hpp"

#include <algorithm>
#include <cmath>
#include <memory>

namespace
{
/****************************************************************************/
/***   Choice of programs                                                 ***/
/****************************************************************************/

bool Uses(const sShader *sh, const shadercode::Code &code)
{
  return sh && code.Data && sh->BlobSize == sInt(((code.Size + 3) & ~3u) + 12) &&
         std::memcmp(sh->Blob + 8, code.Data, code.Size) == 0;
}

class MaterialTest : public RenderTest
{
protected:
  sTexture2D *MakeTexture(sInt w, sInt h, const std::vector<sU32> &argb)
  {
    sTexture2D *t = sNEW sTexture2D(w, h, sTEX_2D | sTEX_ARGB8888 | sTEX_NOMIPMAPS, 1);
    t->LoadAll(reinterpret_cast<const sU8 *>(argb.data()));
    return t;
  }
  // One byte a texel: luminance planes (sTEX_I8) or alpha planes (sTEX_A8).
  sTexture2D *MakePlane(sInt w, sInt h, const std::vector<sU8> &bytes, sU32 format = sTEX_I8)
  {
    sTexture2D *t = sNEW sTexture2D(w, h, sTEX_2D | format | sTEX_NOMIPMAPS, 1);
    t->LoadAll(bytes.data());
    return t;
  }
};

using MaterialChoice = MaterialTest;

/****************************************************************************/
/***   Drawing through the programs                                       ***/
/****************************************************************************/

struct VtxPCU
{
  sF32 x, y, z;
  sU32 c;
  sF32 u, v;
};
struct VtxPNU
{
  sF32 x, y, z;
  sF32 nx, ny, nz;
  sF32 u, v;
};

const sU32 PointClamp = sMTF_POINT | (sMTF_CLAMP << sMTF_U_SHIFT) | (sMTF_CLAMP << sMTF_V_SHIFT);

// Draws four vertices as a quad in pixel coordinates of the screen.
template <class V>
void DrawQuad(sMaterial *m, sVertexFormat *fmt, const V (&verts)[4], sCBufferBase *extra = nullptr)
{
  sViewport vp;
  vp.Orthogonal = sVO_PIXELS;
  vp.SetTarget(nullptr);
  vp.Prepare(15);
  sCBuffer cb(sCBUFFER_VS + 0, 0, sVIEWCONSTANTS_REGS);
  sSetViewConstants(static_cast<sViewConstants *>(cb.Data), vp);
  cb.Modify();
  sCBufferBase *cbs[2] = {&cb, extra};
  m->Set(cbs, extra ? 2 : 1, 0);
  sGeometry geo(sGF_QUADLIST, fmt);
  void *p = nullptr;
  geo.BeginLoadVB(4, sGD_STREAM, &p);
  std::memcpy(p, verts, sizeof(verts));
  geo.EndLoadVB();
  geo.Draw();
}

// The full-screen quad of a vertex type with texture coordinates 0..1.
template <class V> void ScreenQuad(V (&q)[4], sU32 color)
{
  const sF32 xs[4] = {0, sF32(RenderTest::W), sF32(RenderTest::W), 0};
  const sF32 ys[4] = {0, 0, sF32(RenderTest::H), sF32(RenderTest::H)};
  for(sInt i = 0; i < 4; i++)
  {
    std::memset(&q[i], 0, sizeof(V));
    q[i].x = xs[i];
    q[i].y = ys[i];
    q[i].z = 0.5f;
    if constexpr(requires { q[i].c; }) q[i].c = color;
    if constexpr(requires { q[i].u; })
    {
      q[i].u = xs[i] / RenderTest::W;
      q[i].v = ys[i] / RenderTest::H;
    }
    if constexpr(requires { q[i].u0; })
    {
      q[i].u0 = q[i].u1 = xs[i] / RenderTest::W;
      q[i].v0 = q[i].v1 = ys[i] / RenderTest::H;
    }
  }
}

sU32 Mul(sU32 a, sU32 b)
{
  auto ch = [&](sInt s) { return sU32(((a >> s) & 0xff) * ((b >> s) & 0xff) / 255.0f + 0.5f) << s; };
  return ch(24) | ch(16) | ch(8) | ch(0);
}
// Texel of a 2 x 2 texture drawn over the screen at pixel (x, y) (pixels on the middle
// lines are left out by the callers).
sInt Quadrant(sInt x, sInt y) { return (y >= RenderTest::H / 2 ? 2 : 0) + (x >= RenderTest::W / 2 ? 1 : 0); }

const sInt SampleX[] = {3, 20, 40, 60};
const sInt SampleY[] = {2, 15, 30, 45};

using MaterialDraw = MaterialTest;

TEST_F(MaterialDraw, SimpleMaterialTexturedQuadTimesVertexColour)
{
  const std::vector<sU32> texels = {0xffff0000, 0xff00ff00, 0xff0000ff, 0xffc08040};
  sTexture2D *tex = MakeTexture(2, 2, texels);
  sSimpleMaterial m;
  m.S.Flags = sMTRL_ZOFF | sMTRL_CULLOFF;
  m.Texture[0] = tex;
  m.S.TextureFlags[0] = PointClamp;
  m.Prepare(sVertexFormatPosColUV);

  BeginFrame();
  VtxPCU q[4];
  const sU32 color = 0xff80ff40;
  ScreenQuad(q, color);
  DrawQuad(&m, sVertexFormatPosColUV, q);
  std::vector<sU32> px = EndFrame();
  for(sInt y : SampleY)
    for(sInt x : SampleX)
      EXPECT_LE(ColorDiff(px[y * W + x], Mul(texels[Quadrant(x, y)], color)), 2) << x << "," << y;
  sDelete(tex);
}

TEST_F(MaterialDraw, SimpleMaterialLitByFourLights)
{
  sSimpleMaterial m;
  m.S.Flags = sMTRL_ZOFF | sMTRL_CULLOFF | sMTRL_LIGHTING;
  m.Prepare(sVertexFormatPosNormUV);
  ASSERT_TRUE(Uses(m.VertexShader, shadercode::SimpleVS[10]));

  // light 1 faces the normal, light 2 points away (clamped to nothing), lights 3 and 4
  // stand at right angles to it
  sCBuffer lights(sCBUFFER_VS + 1, 12, 8);
  sVec4 *r = lights.Regs();
  r[0].Init(0, 0, 1, 0);      // x of the four directions
  r[1].Init(0, 0, 0, 1);      // y
  r[2].Init(-1, 1, 0, 0);     // z
  r[3].Init(0.1f, 0.2f, 0.3f, 1.0f);   // ambient
  r[4].Init(0.5f, 0.25f, 0.0f, 0.0f);
  r[5].Init(1, 1, 1, 0);
  r[6].Init(1, 0, 0, 0);
  r[7].Init(0, 1, 0, 0);
  lights.Modify();

  BeginFrame();
  VtxPNU q[4];
  ScreenQuad(q, 0);
  for(VtxPNU &v : q)
  {
    v.nx = 0;
    v.ny = 0;
    v.nz = -3;   // not unit length: the program normalises it
  }
  DrawQuad(&m, sVertexFormatPosNormUV, q, &lights);
  std::vector<sU32> px = EndFrame();
  sU32 want = 0xff000000 | (sU32(0.6f * 255 + 0.5f) << 16) | (sU32(0.45f * 255 + 0.5f) << 8) | sU32(0.3f * 255 + 0.5f);
  for(sInt y : SampleY)
    for(sInt x : SampleX) EXPECT_LE(ColorDiff(px[y * W + x], want), 2) << x << "," << y;
}

// The conversion of the movie material, evaluated on the CPU.
sU32 YuvToArgb(sU8 y8, sU8 u8, sU8 v8, sU32 vertex)
{
  sF32 y = (y8 / 255.0f - 0.0625f) * 1.1686275f;
  sF32 u = u8 / 255.0f - 0.5f;
  sF32 v = v8 / 255.0f - 0.5f;
  auto clamp = [](sF32 f) { return std::min(std::max(f, 0.0f), 1.0f); };
  sF32 rgb[3] = {clamp(y + 1.6039215f * v), clamp(y - 0.39215687f * u - 0.81568629f * v), clamp(y + 2.0235295f * u)};
  sU32 out = 0xff000000;
  for(sInt i = 0; i < 3; i++) out |= sU32(rgb[i] * 255.0f + 0.5f) << (16 - 8 * i);
  return Mul(out, vertex);
}

TEST_F(MaterialDraw, YuvMaterialConvertsThreePlanes)
{
  const std::vector<sU8> ys = {16, 235, 128, 80};
  const std::vector<sU8> us = {128, 128, 40, 200};
  const std::vector<sU8> vs = {128, 128, 220, 60};
  sTexture2D *py = MakePlane(2, 2, ys);
  sTexture2D *pu = MakePlane(2, 2, us);
  sTexture2D *pv = MakePlane(2, 2, vs);
  sYuvMaterial m;
  m.S.Flags = sMTRL_ZOFF | sMTRL_CULLOFF;
  m.Texture[0] = py;
  m.Texture[1] = pu;
  m.Texture[2] = pv;
  for(sInt i = 0; i < 3; i++) m.S.TextureFlags[i] = PointClamp;
  m.Prepare(sVertexFormatPosColUV);

  for(sU32 color : {0xffffffffu, 0xff80c0ffu})
  {
    BeginFrame(0xff204060);
    VtxPCU q[4];
    ScreenQuad(q, color);
    DrawQuad(&m, sVertexFormatPosColUV, q);
    std::vector<sU32> px = EndFrame();
    for(sInt y : SampleY)
      for(sInt x : SampleX)
      {
        sInt i = Quadrant(x, y);
        EXPECT_LE(ColorDiff(px[y * W + x], YuvToArgb(ys[i], us[i], vs[i], color)), 2)
            << "texel " << i << " colour " << std::hex << color;
      }
    if(color == 0xffffffffu)
    {
      // video black and white
      EXPECT_LE(ColorDiff(px[2 * W + 3], 0xff000000), 1);
      EXPECT_LE(ColorDiff(px[2 * W + 60], 0xffffffff), 1);
    }
  }
  sDelete(py);
  sDelete(pu);
  sDelete(pv);
}

/****************************************************************************/
/***   Textures from images                                               ***/
/****************************************************************************/

using ImageTexture = MaterialTest;

// Draws a texture over the whole screen, point sampled, and reads the screen back.
std::vector<sU32> ShowTexture(sTexture2D *tex)
{
  sSimpleMaterial m;
  m.S.Flags = sMTRL_ZOFF | sMTRL_CULLOFF;
  m.Texture[0] = tex;
  m.S.TextureFlags[0] = PointClamp;
  m.Prepare(sVertexFormatPosColUV);
  RenderTest::BeginFrame();
  VtxPCU q[4];
  ScreenQuad(q, 0xffffffff);
  DrawQuad(&m, sVertexFormatPosColUV, q);
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

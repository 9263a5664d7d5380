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
/***   View constants                                                     ***/
/****************************************************************************/

TEST(ViewConstants, HoldTheViewportMatricesInRegisterOrder)
{
  sViewport vp;
  vp.TargetSizeX = 640;
  vp.TargetSizeY = 480;
  vp.Window = sRect{0, 0, 640, 480};
  vp.Orthogonal = sVO_PERSPECTIVE;
  vp.ZoomX = 1.5f;
  vp.ZoomY = 2.0f;
  vp.Camera.EulerXYZ(0.3f, -0.7f, 0.2f);
  vp.Camera.l = sVec3(1, 2, -5);
  vp.Model.EulerXYZ(-0.4f, 0.1f, 0.9f);
  vp.Model.l = sVec3(-3, 0.5f, 2);
  vp.Prepare(15);

  sViewConstants vc;
  sSetViewConstants(&vc, vp);
  sF32 r[48];
  std::memcpy(r, &vc, sizeof(r));

  // c0..c3: a point transforms as p.x c0 + p.y c1 + p.z c2 + c3, which is p * MVP
  sVec3 p(0.25f, -1.5f, 3.0f);
  sVec4 want = sMulPointMat4x4(p, vp.MVP);
  for(sInt c = 0; c < 4; c++)
  {
    sF32 got = p.x * r[0 * 4 + c] + p.y * r[1 * 4 + c] + p.z * r[2 * 4 + c] + r[3 * 4 + c];
    EXPECT_NEAR(got, (&want.x)[c], 1e-4f) << "component " << c;
  }
  // c4..c6: dot(c4+i, (p, 1)) is component i of p * ModelView
  sVec3 mv = sMulPointMat3x4(p, vp.ModelView);
  sVec3 m = sMulPointMat3x4(p, vp.Model);
  for(sInt i = 0; i < 3; i++)
  {
    const sF32 *a = r + (4 + i) * 4;
    const sF32 *b = r + (7 + i) * 4;
    EXPECT_NEAR(a[0] * p.x + a[1] * p.y + a[2] * p.z + a[3], (&mv.x)[i], 1e-4f);
    EXPECT_NEAR(b[0] * p.x + b[1] * p.y + b[2] * p.z + b[3], (&m.x)[i], 1e-4f);
  }
  const sMat4x4 &pr = vp.Proj;
  const sF32 terms[8] = {pr.m[0][0], pr.m[1][1], pr.m[2][2], pr.m[3][0], pr.m[3][2], pr.m[3][1], pr.m[2][0], pr.m[2][1]};
  for(sInt i = 0; i < 8; i++) EXPECT_EQ(r[40 + i], terms[i]) << "projection term " << i;
  EXPECT_EQ(r[40], 1.5f);
  EXPECT_NEAR(r[46], -1.0f / 640, 1e-7f);   // the half-pixel shift of the perspective projection
}

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

TEST_F(MaterialChoice, SimpleMaterialTakesTheTableEntries)
{
  sTexture2D *tex = MakeTexture(1, 1, {0xffffffff});
  {
    sSimpleMaterial m;
    m.Prepare(sVertexFormatPosCol);
    EXPECT_TRUE(Uses(m.VertexShader, shadercode::SimpleVS[1]));
    EXPECT_TRUE(Uses(m.PixelShader, shadercode::SimplePS[0]));
  }
  {
    sSimpleMaterial m;
    m.Texture[0] = tex;
    m.Texture[1] = tex;
    m.Option = 1;
    m.Prepare(sVertexFormatPosColUV2);
    EXPECT_TRUE(Uses(m.VertexShader, shadercode::SimpleVS[7]));
    EXPECT_TRUE(Uses(m.PixelShader, shadercode::SimplePS[5]));
  }
  {
    // a slot used without a texture counts as textured
    sSimpleMaterial m;
    m.S.TextureFlags[0] = sMTF_EXTERN;
    m.S.Flags |= sMTRL_LIGHTING;
    m.Prepare(sVertexFormatPosNormUV);
    EXPECT_TRUE(Uses(m.VertexShader, shadercode::SimpleVS[10]));
    EXPECT_TRUE(Uses(m.PixelShader, shadercode::SimplePS[1]));
    // lit but without normals: unlit
    m.Prepare(sVertexFormatPosColUV);
    EXPECT_TRUE(Uses(m.VertexShader, shadercode::SimpleVS[3]));
  }
  {
    sYuvMaterial m;
    m.Prepare(sVertexFormatPosNormUV);
    EXPECT_TRUE(Uses(m.VertexShader, shadercode::YuvVS[0]));
    EXPECT_TRUE(Uses(m.PixelShader, shadercode::YuvPS[0]));
    m.Texture[3] = tex;
    m.Prepare(sVertexFormatPosColUV);
    EXPECT_TRUE(Uses(m.VertexShader, shadercode::YuvVS[1]));
    EXPECT_TRUE(Uses(m.PixelShader, shadercode::YuvPS[1]));
  }
  {
    sPainterMaterial m;
    m.Prepare(sVertexFormatPosNormUV);
    EXPECT_TRUE(Uses(m.VertexShader, shadercode::PainterVS[0]));
    EXPECT_TRUE(Uses(m.PixelShader, shadercode::PainterPS[0]));
  }
  sDelete(tex);
}

TEST_F(MaterialChoice, MissingVariantsStop)
{
  const sU32 uv1Only[] = {sVF_POSITION, sVF_COLOR0, sVF_UV1, 0};
  sVertexFormat *fmt = sCreateVertexFormat(uv1Only);
  EXPECT_EXIT(
      {
        sSimpleMaterial m;
        m.Prepare(fmt);
      },
      testing::ExitedWithCode(1), kCheckFailed);
  sTexture2D *tex = MakeTexture(1, 1, {0xffffffff});
  EXPECT_EXIT(
      {
        sSimpleMaterial m;
        m.Texture[1] = tex;
        m.Prepare(sVertexFormatPosColUV2);
      },
      testing::ExitedWithCode(1), kCheckFailed);
  sDelete(tex);
}

/****************************************************************************/
/***   Drawing through the programs                                       ***/
/****************************************************************************/

struct VtxPCU
{
  sF32 x, y, z;
  sU32 c;
  sF32 u, v;
};
struct VtxPCUU
{
  sF32 x, y, z;
  sU32 c;
  sF32 u0, v0, u1, v1;
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

TEST_F(ImageTexture, ImageBecomesATextureWithItsMipChain)
{
  sImage img(4, 4);
  for(sInt i = 0; i < 16; i++) img.Data[i] = 0xff000000 | sU32(i * 0x0f0b07);
  sTexture2D *tex = sLoadTexture2D(&img, sTEX_ARGB8888);
  ASSERT_TRUE(tex);
  EXPECT_EQ(tex->SizeX, 4);
  EXPECT_EQ(tex->SizeY, 4);
  EXPECT_EQ(tex->Mipmaps, 3);
  EXPECT_EQ(tex->Flags & sTEX_TYPE_MASK, sTEX_2D);
  std::vector<sU32> px = ShowTexture(tex);
  // every texel covers 16 x 12 pixels; look at the middle of each
  for(sInt ty = 0; ty < 4; ty++)
    for(sInt tx = 0; tx < 4; tx++)
      EXPECT_EQ(px[(ty * 12 + 6) * W + tx * 16 + 8] & 0xffffff, img.Data[ty * 4 + tx] & 0xffffff) << tx << "," << ty;
  sDelete(tex);

  tex = sLoadTexture2D(&img, sTEX_ARGB8888 | sTEX_NOMIPMAPS);
  EXPECT_EQ(tex->Mipmaps, 1);
  sDelete(tex);
}

TEST_F(ImageTexture, BlockCompressedTextureKeepsFlatBlocks)
{
  sImage img(8, 8);
  const sU32 colors[4] = {0xffff0000, 0xff00ff00, 0xff0000ff, 0xffffffff};
  for(sInt y = 0; y < 8; y++)
    for(sInt x = 0; x < 8; x++) img.Data[y * 8 + x] = colors[(y / 4) * 2 + x / 4];
  sTexture2D *tex = sLoadTexture2D(&img, sTEX_DXT1);
  EXPECT_EQ(tex->Mipmaps, 2);   // 8 x 8 and 4 x 4
  std::vector<sU32> px = ShowTexture(tex);
  for(sInt y : SampleY)
    for(sInt x : SampleX) EXPECT_LE(ColorDiff(px[y * W + x], colors[Quadrant(x, y)]), 4) << x << "," << y;
  sDelete(tex);
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

TEST_F(ImageTexture, OnlyPlainTexturesAreMadeFromImages)
{
  sImage img(4, 4);
  img.Fill(0xffffffff);
  EXPECT_EXIT(sLoadTexture2D(&img, sTEX_ARGB8888 | sTEX_CUBE), testing::ExitedWithCode(1),
              kCheckFailed);
}
}

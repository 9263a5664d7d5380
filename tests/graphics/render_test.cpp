// The back end over the real gpu device: frames cleared, drawn and presented into a
// window, read back and compared, and the lost-device restore through the device's fault
// injection.

#include "backend_util.hpp"

#include "platform/text/utf.hpp"
#include "platform/window/window.hpp"

#include <functional>
#include <memory>
#include <tuple>

using namespace plat::gpu;

namespace
{
const sInt W = 64, H = 48;

const char *QuadVS = "vs_2_0\ndcl_position v0\ndcl_texcoord v1\nmov oPos, v0\nmov oT0, v1\n";
const char *TexPS = "ps_2_0\ndcl t0.xy\ndcl_2d s0\ntexld r0, t0, s0\nmov oC0, r0\n";

struct QuadVertex
{
  float x, y, z;
  uint32_t color;
  float u, v;
};

class Rendered : public testing::Test
{
protected:
  std::unique_ptr<plat::Window> Win;
  TestMaterial *Material = nullptr;

  void SetUp() override
  {
    CurrentScreenMode = sScreenMode();
    Win = StartOnWindow(W, H);
    if(!Win) GTEST_SKIP() << "no window";
    ASSERT_TRUE(sIsGfxActive());
    MakeMaterial();
  }

  void MakeMaterial()
  {
    Material = new TestMaterial;
    Material->VS = Asm(QuadVS);
    Material->PS = Asm(TexPS);
    Material->S.Flags = sMTRL_ZOFF | sMTRL_CULLOFF;
    Material->S.TextureFlags[0] = sMTF_POINT | (sU32(sMTF_CLAMP) << sMTF_U_SHIFT) | (sU32(sMTF_CLAMP) << sMTF_V_SHIFT);
  }

  void TearDown() override
  {
    if(!Win) return;
    delete Material;   // materials go before the graphics
    StopGraphics();
    Win.reset();
  }

  // A quad over the clip-space rectangle with texture coordinates 0..1, at depth z.
  void DrawQuad(sTextureBase *tex, float x0, float y0, float x1, float y1, float z = 0.5f)
  {
    TestMaterial &Mtrl = *Material;
    Mtrl.Texture[0] = tex;
    Mtrl.Prepare(sVertexFormatPosColUV);
    Mtrl.Set(nullptr, 0);
    sGeometry geo(sGF_QUADLIST, sVertexFormatPosColUV);
    QuadVertex *v;
    geo.BeginLoadVB(4, sGD_FRAME, reinterpret_cast<void **>(&v));
    v[0] = {x0, y0, z, 0xffffffff, 0, 0};
    v[1] = {x1, y0, z, 0xffffffff, 1, 0};
    v[2] = {x1, y1, z, 0xffffffff, 1, 1};
    v[3] = {x0, y1, z, 0xffffffff, 0, 1};
    geo.EndLoadVB();
    geo.Draw();
  }

  // A quad over the column'th pair of screen columns reading the texture at u 1.25..1.35.
  static void DrawColumn(int column)
  {
    sGeometry geo(sGF_QUADLIST, sVertexFormatPosColUV);
    QuadVertex *v;
    geo.BeginLoadVB(4, sGD_FRAME, reinterpret_cast<void **>(&v));
    const float x0 = -1 + column * 4 / float(W), x1 = -1 + (column + 1) * 4 / float(W);
    v[0] = {x0, 1, 0.5f, 0xffffffff, 1.25f, 0.25f};
    v[1] = {x1, 1, 0.5f, 0xffffffff, 1.35f, 0.25f};
    v[2] = {x1, -1, 0.5f, 0xffffffff, 1.35f, 0.75f};
    v[3] = {x0, -1, 0.5f, 0xffffffff, 1.25f, 0.75f};
    geo.EndLoadVB();
    geo.Draw();
  }

  std::vector<uint32_t> ReadScreen()
  {
    sInt w, h;
    return ReadTarget(w, h);
  }
};

TEST_F(Rendered, TexturedQuadAndRenderTargetPass)
{
  sTexture2D *checker = MakeChecker();
  sTexture2D *rt = new sTexture2D(32, 32, sTEX_ARGB8888 | sTEX_RENDERTARGET | sTEX_NOMIPMAPS);
  ASSERT_TRUE(sRender3DBegin());
  sSetScreenTarget(nullptr, 3, 0xff000000);
  DrawQuad(checker, -1, 1, 1, -1);
  std::vector<uint32_t> px = ReadScreen();
  EXPECT_EQ(px[8 * W + 8], 0xff0000u);
  EXPECT_EQ(px[8 * W + 56], 0x00ff00u);
  EXPECT_EQ(px[40 * W + 8], 0x0000ffu);
  EXPECT_EQ(px[40 * W + 56], 0xffffffu);

  // a pass into a render target (its left half drawn with the checker), then the target
  // drawn onto the right half of the screen
  sRenderTargetSpec spec(sRTF_CLEAR_ALL, 0xff808080, nullptr, rt, sGetLargeDepthBuffer());
  sSetTarget(spec);
  DrawQuad(checker, -1, 1, 0, -1);
  px = ReadScreen();
  ASSERT_EQ(px.size(), 32u * 32u);
  EXPECT_EQ(px[4 * 32 + 4], 0xff0000u);
  EXPECT_EQ(px[4 * 32 + 28], 0x808080u);
  sSetScreenTarget(nullptr, 0, 0);
  DrawQuad(rt, 0, 1, 1, -1);
  px = ReadScreen();
  EXPECT_EQ(px[8 * W + 8], 0xff0000u);    // untouched left half
  EXPECT_EQ(px[4 * W + 36], 0xff0000u);   // the target's red corner
  EXPECT_EQ(px[40 * W + 36], 0x0000ffu);  // its blue corner
  EXPECT_EQ(px[44 * W + 44], 0xffffffu);  // its white corner
  EXPECT_EQ(px[20 * W + 60], 0x808080u);  // its cleared right half
  sRender3DEnd(1);
  Material->Texture[0] = nullptr;
  delete rt;
  delete checker;
}

// The depth modes of a material's state list: a probe drawn at depth 0.5 over a cleared
// depth buffer on the left and over a nearer quad on the right, then a quad at 0.7 over
// everything that tests and writes. The probe is hidden on the right when it tests depth,
// and stays on the left when it wrote its depth.
TEST_F(Rendered, DepthModesTestAndWriteAsTheirFlagsSay)
{
  const struct { const char *Name; sU32 Mode; bool Tests, Writes; } modes[] = {
    {"off", sMTRL_ZOFF, false, false}, {"read", sMTRL_ZREAD, true, false},
    {"write", sMTRL_ZWRITE, false, true}, {"on", sMTRL_ZON, true, true}};
  auto solid = [](uint32_t c) {
    sTexture2D *t = new sTexture2D(1, 1, sTEX_ARGB8888 | sTEX_NOMIPMAPS);
    t->LoadAll(reinterpret_cast<const sU8 *>(&c));
    return t;
  };
  sTexture2D *red = solid(0xffff0000), *green = solid(0xff00ff00), *blue = solid(0xff0000ff);
  for(const auto &m : modes)
  {
    ASSERT_TRUE(sRender3DBegin());
    sSetScreenTarget(nullptr, 3, 0xff000000);
    Material->S.Flags = sMTRL_ZON | sMTRL_CULLOFF;
    DrawQuad(blue, 0, 1, 1, -1, 0.2f);
    Material->S.Flags = m.Mode | sMTRL_CULLOFF;
    DrawQuad(red, -1, 1, 1, -1, 0.5f);
    std::vector<uint32_t> px = ReadScreen();
    EXPECT_EQ(px[H / 2 * W + 3 * W / 4], m.Tests ? 0x0000ffu : 0xff0000u) << m.Name;
    Material->S.Flags = sMTRL_ZON | sMTRL_CULLOFF;
    DrawQuad(green, -1, 1, 1, -1, 0.7f);
    px = ReadScreen();
    EXPECT_EQ(px[H / 2 * W + W / 4], m.Writes ? 0xff0000u : 0x00ff00u) << m.Name;
    sRender3DEnd(1);
  }
  Material->S.Flags = sMTRL_ZOFF | sMTRL_CULLOFF;
  Material->Texture[0] = nullptr;
  delete red;
  delete green;
  delete blue;
}

TEST_F(Rendered, LostDeviceThroughFaultInjection)
{
  sTexture2D *checker = MakeChecker();
  sTexture2D *rt = new sTexture2D(16, 16, sTEX_ARGB8888 | sTEX_RENDERTARGET | sTEX_NOMIPMAPS);
  sTexture2D *dyn = new sTexture2D(2, 2, sTEX_ARGB8888 | sTEX_DYNAMIC);
  sTextureProxy proxy;
  proxy.Link(rt);
  sInt targets = sGetRenderTargetCount();

  ASSERT_TRUE(sRender3DBegin());
  void *p;
  sGeometry stat(sGF_TRILIST, sVertexFormatPosCol);
  stat.BeginLoadVB(3, sGD_STATIC, &p);
  stat.EndLoadVB();
  sGpuRes *staticBuffer = stat.VertexPart[0].Buffer->Buffer;
  sGeometry stream(sGF_TRILIST, sVertexFormatPosCol);
  stream.BeginLoadVB(3, sGD_STREAM, &p);
  stream.EndLoadVB();
  sGeoBuffer *streamBuffer = stream.VertexPart[0].Buffer;
  stream.VertexPart[0].Release();
  // a static quad drawn last before the loss and first after the restore finds its buffer
  // bound again on the new device
  sGeometry quad(sGF_QUADLIST, sVertexFormatPosColUV);
  QuadVertex *q;
  quad.BeginLoadVB(4, sGD_STATIC, reinterpret_cast<void **>(&q));
  q[0] = {-1, 1, 0.5f, ~0u, 0, 0}, q[1] = {1, 1, 0.5f, ~0u, 1, 0}, q[2] = {1, -1, 0.5f, ~0u, 1, 1};
  q[3] = {-1, -1, 0.5f, ~0u, 0, 1};
  quad.EndLoadVB();
  auto drawStatic = [&] { Material->Texture[0] = checker, Material->Prepare(sVertexFormatPosColUV), Material->Set(nullptr, 0), quad.Draw(); };
  sGetGpuDevice()->InjectLostDevice();
  sSetScreenTarget(nullptr, 3, 0xff000000);
  drawStatic();
  sRender3DEnd(1);

  EXPECT_FALSE(sRender3DBegin());   // outside the paint message a restore waits
  sInitGfx(0, W, H);
  EXPECT_EQ(sGetRenderTargetCount(), targets);
  ASSERT_NE(rt->Tex, nullptr);
  EXPECT_EQ(proxy.Tex, rt->Tex);
  EXPECT_NE(dyn->Tex, nullptr);
  EXPECT_EQ(stat.VertexPart[0].Buffer->Buffer, staticBuffer);
  EXPECT_EQ(streamBuffer->Alloc, 0);
  EXPECT_EQ(streamBuffer->Buffer, nullptr);

  // the restored device draws: the checker through the proxy of a refilled target
  ASSERT_TRUE(sRender3DBegin());
  sSetScreenTarget(nullptr, 3, 0xff202020);
  drawStatic();
  EXPECT_EQ(ReadScreen()[40 * W + 56], 0xffffffu);
  sRenderTargetSpec spec(sRTF_CLEAR_COLOR, 0xff000000, nullptr, rt, nullptr);
  sSetTarget(spec);
  DrawQuad(checker, -1, 1, 1, -1);
  sSetScreenTarget(nullptr, 3, 0xff202020);
  DrawQuad(&proxy, -1, 1, 1, -1);
  std::vector<uint32_t> px = ReadScreen();
  EXPECT_EQ(px[8 * W + 8], 0xff0000u);
  EXPECT_EQ(px[40 * W + 56], 0xffffffu);
  sRender3DEnd(1);
  Material->Texture[0] = nullptr;
  delete dyn;
  delete rt;
  delete checker;
}

TEST_F(Rendered, MultisampledScreenResolvedAtFrameEnd)
{
  delete Material;
  Material = nullptr;
  StopGraphics();
  sSetGfxWindow(Win->GetSdlWindow());
  sU32 flags = 0x2000;
  sInt w = W, h = H;
  sInitScreenMode(flags, w, h);
  sInitGfx(flags, w, h);
  ASSERT_TRUE(sIsGfxActive());
  sGraphicsCaps caps;
  sGetGraphicsCaps(caps);
  if(caps.MaxMultisampleLevel > 0)
    EXPECT_NE(sGetScreenColorBuffer(0)->MultiSurf2D, nullptr);
  else
    EXPECT_EQ(sGetScreenColorBuffer(0)->MultiSurf2D, nullptr);
  MakeMaterial();
  sTexture2D *checker = MakeChecker();
  ASSERT_TRUE(sRender3DBegin());
  sSetScreenTarget(nullptr, 3, 0xff102030);
  DrawQuad(checker, -1, 1, 0, 0);
  // reading the screen in the frame reads the multisampled surface through a resolve
  std::vector<uint32_t> px = ReadScreen();
  EXPECT_EQ(px[4 * W + 4], 0xff0000u);
  EXPECT_EQ(px[40 * W + 40], 0x102030u);
  sRender3DEnd(1);
  // after the frame end the back buffer holds the resolved picture
  EXPECT_EQ(sGetScreenColorBuffer(0)->RTState & 2, 2u);
  Material->Texture[0] = nullptr;
  delete checker;
}
// Every sampler unit, the vertex texture units too, with the texture and the sampler states
// of its material (clamped addressing: the texture's right column, where repeating would give
// its left one): in a first frame, in a second that loses the device, and in a third after
// the restore, whose device starts from its defaults. Each column of the screen is drawn by
// one unit; the four vertex units share their texture with the pixel unit of their number.
// A frame's first and last draws (columns of their own) read the first and the last units
// of both stages at once: the first finds there what the frame start left of the frame before.
TEST_F(Rendered, EveryUnitKeepsItsTextureAndSamplerStatesAcrossFramesAndAReset)
{
  const uint32_t left = 0xff0000ff, right = 0xffffff00;
  sTexture2D tex(2, 2, sTEX_ARGB8888 | sTEX_NOMIPMAPS);
  const uint32_t texels[4] = {left, right, left, right};
  tex.LoadAll(reinterpret_cast<const sU8 *>(texels));
  const sU32 clampPoint = sMTF_POINT | (sU32(sMTF_CLAMP) << sMTF_U_SHIFT) | (sU32(sMTF_CLAMP) << sMTF_V_SHIFT);
  std::vector<std::unique_ptr<TestMaterial>> units;
  for(int u = 0; u < 21; u++)
  {
    auto m = std::make_unique<TestMaterial>();
    const std::string s = "s" + std::to_string(u % 16);
    if(u == 20)
    {
      m->VS = Asm("vs_3_0\ndef c0, 0, 0, 0, 0\ndcl_position v0\ndcl_texcoord v1\ndcl_2d s0\ndcl_2d s3\ndcl_position o0"
                  "\ndcl_texcoord o1\ndcl_color o2\nmov o0, v0\nmov o1, v1\nmov r0, c0\nmov r0.xy, v1\ntexldl r1, r0, s0"
                  "\ntexldl r2, r0, s3\nmul o2, r1, r2\n");
      m->PS = Asm("ps_3_0\ndcl_texcoord v0.xy\ndcl_color v1\ndcl_2d s0\ndcl_2d s15\ntexld r0, v0, s0\ntexld r1, v0, s15"
                  "\nmul r0, r0, r1\nmul oC0, r0, v1\n");
      const sU16 map[4] = {0, 15, sMTRL_VSTEX | 0, sMTRL_VSTEX | 3};
      for(int i = 0; i < 4; i++) m->Texture[i] = &tex, m->SamplerMap[i] = map[i], m->S.TextureFlags[i] = clampPoint;
    }
    else if(u < 16)
    {
      m->VS = Asm(QuadVS);
      m->PS = Asm("ps_2_0\ndcl t0.xy\ndcl_2d " + s + "\ntexld r0, t0, " + s + "\nmov oC0, r0\n");
    }
    else
    {
      // the vertex stage reads the texture at the vertex, the pixel stage multiplies it in
      m->VS = Asm("vs_3_0\ndef c0, 0, 0, 0, 0\ndcl_position v0\ndcl_texcoord v1\ndcl_2d " + s +
                  "\ndcl_position o0\ndcl_texcoord o1\ndcl_color o2\nmov o0, v0\nmov o1, v1\nmov r0, c0\nmov r0.xy, v1"
                  "\ntexldl r1, r0, " + s + "\nmov o2, r1\n");
      m->PS = Asm("ps_3_0\ndcl_texcoord v0.xy\ndcl_color v1\ndcl_2d " + s + "\ntexld r0, v0, " + s + "\nmul oC0, r0, v1\n");
      m->Texture[1] = &tex;
      m->SamplerMap[1] = sU16(u - 16);
      m->S.TextureFlags[1] = clampPoint;
    }
    if(u < 20) m->Texture[0] = &tex, m->SamplerMap[0] = sU16(u < 16 ? u : sMTRL_VSTEX | (u - 16));
    m->S.Flags = sMTRL_ZOFF | sMTRL_CULLOFF;
    m->S.TextureFlags[0] = clampPoint;
    m->Prepare(sVertexFormatPosColUV);
    units.push_back(std::move(m));
  }
  // Before the last draw, materials set in a row, each applying what changed since the set
  // before: a variant (twoWays' variant 0 clamps, its variant 1 repeats), states prepared
  // again into a list that may take the old one's memory, a state set by hand.
  TestMaterial &m = *Material, twoWays;
  m.Texture[0] = twoWays.Texture[0] = &tex;
  twoWays.VS = m.VS, twoWays.PS = m.PS, twoWays.S.Flags = m.S.Flags;
  twoWays.InitVariants(2);
  for(sInt v = 0; v < 2; v++) twoWays.S.TextureFlags[0] = v ? sMTF_POINT : clampPoint, twoWays.SetVariant(v);
  twoWays.Prepare(sVertexFormatPosColUV);
  const sU32 wrapU[2] = {sU32(256 + SAMP_ADDRESSU), TADDRESS_WRAP};
  auto prepared = [&](sU32 flags) { return m.S.TextureFlags[0] = flags, m.Prepare(sVertexFormatPosColUV), &m; };
  const std::tuple<const char *, std::function<sMaterial *()>, sInt, uint32_t> inARow[6] = {
    {"another material's variant 1", [&] { return &twoWays; }, 1, left},
    {"its variant 0 next", [&] { return &twoWays; }, 0, right},
    {"a material prepared clamping", [&] { return prepared(clampPoint); }, 0, right},
    {"prepared again repeating", [&] { return prepared(sMTF_POINT); }, 0, left},
    {"prepared again clamping", [&] { return prepared(clampPoint); }, 0, right},
    {"set again after a state set by hand", [&] { return sSetStates(wrapU, 1), &m; }, 0, right},
  };
  for(int frame = 0; frame < 3; frame++)
  {
    ASSERT_TRUE(sRender3DBegin());
    sSetScreenTarget(nullptr, 3, 0xff000000);
    for(int column : {20, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 22, 23, 24, 25, 26, 27, 21})
    {
      if(column >= 22)
        std::get<1>(inARow[column - 22])()->Set(nullptr, 0, std::get<2>(inARow[column - 22]));
      else
        units[column < 20 ? column : 20]->Set(nullptr, 0);
      DrawColumn(column);
    }
    std::vector<uint32_t> px = ReadScreen();
    for(int column = 0; column < 22; column++)
      EXPECT_EQ(px[H / 2 * W + column * 2], right & 0xffffff)
        << (column == 20 ? "the first draw" : column == 21 ? "the last draw" : column < 16 ? "pixel unit " : "vertex unit ")
        << column % 16 << " in frame " << frame;
    for(int c = 0; c < 6; c++)
      EXPECT_EQ(px[H / 2 * W + (22 + c) * 2], std::get<3>(inARow[c]) & 0xffffff) << std::get<0>(inARow[c]) << " in frame " << frame;
    if(frame == 1) sGetGpuDevice()->InjectLostDevice();
    sRender3DEnd(1);
    if(frame == 1) sInitGfx(0, W, H);
  }
  m.Texture[0] = nullptr;
}
}

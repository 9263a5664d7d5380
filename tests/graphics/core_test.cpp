// The graphics core over the recording device: vertex formats, shaders, materials and
// their state lists, the state cache, constant buffers and viewport matrices.

#include "common/check.hpp"
#include "backend_util.hpp"

#include "base/memory.hpp"

#include <cmath>
#include <functional>
#include <map>
#include <cstring>

using namespace plat::gpu;

namespace
{
const std::string VsText = "vs_2_0\ndcl_position v0\nmov oPos, v0\n";
const std::string PsText = "ps_2_0\ndef c0, 1, 0, 0, 1\nmov oC0, c0\n";

using VertexFormats = RecordingTest;

TEST_F(VertexFormats, SameListIsSharedAndInstanceFlagMakesAnother)
{
  const sU32 a[] = {sVF_POSITION, sVF_UV4 | sVF_F4 | sVF_STREAM1, 0};
  const sU32 b[] = {sVF_POSITION, sVF_UV4 | sVF_F4 | sVF_STREAM1 | sVertexFormatInstanceFlag, 0};
  sInt before = sGetVertexFormatCount();
  sVertexFormat *f1 = sCreateVertexFormat(a);
  sVertexFormat *f2 = sCreateVertexFormat(a);
  sVertexFormat *f3 = sCreateVertexFormat(b);
  EXPECT_EQ(f1, f2);
  EXPECT_EQ(f1->UseCount, 2);
  EXPECT_NE(f1, f3);
  EXPECT_EQ(sGetVertexFormatCount(), before + 2);
  EXPECT_EQ(f1->StreamCount, 2);
  EXPECT_EQ(f1->GetSize(0), 12);
  EXPECT_EQ(f1->GetSize(1), 16);

  // the explicit default type is the same list as the implicit one
  const sU32 implicit[] = {sVF_POSITION, sVF_COLOR0, 0};
  const sU32 explicitTypes[] = {sVF_POSITION | sVF_F3, sVF_COLOR0 | sVF_C4, 0};
  EXPECT_EQ(sCreateVertexFormat(implicit), sCreateVertexFormat(explicitTypes));
  EXPECT_EQ(sCreateVertexFormat(implicit), sVertexFormatPosCol);
}

TEST_F(VertexFormats, NopTakesRoomAndHalfFloat3HasNoDeclaration)
{
  const sU32 nop[] = {sVF_POSITION, sVF_NOP | sVF_F2, sVF_UV0, 0};
  sVertexFormat *f = sCreateVertexFormat(nop);
  EXPECT_EQ(f->GetSize(0), 28);
  ASSERT_NE(f->Decl, nullptr);
  RecRes *d = Dev->R(f->Decl);
  ASSERT_EQ(d->Decl.size(), 2u);
  EXPECT_EQ(d->Decl[1].Offset, 20);
  EXPECT_TRUE(f->Has(sVF_NOP));

  const sU32 half3[] = {sVF_POSITION | sVF_H3, sVF_UV0, 0};
  sVertexFormat *h = sCreateVertexFormat(half3);
  EXPECT_EQ(h->GetSize(0), 14);
  EXPECT_EQ(h->Decl, nullptr);
}

TEST_F(VertexFormats, FatalLists)
{
  const sU32 binormal[] = {sVF_POSITION, sVF_BINORMAL, 0};
  EXPECT_EXIT(sCreateVertexFormat(binormal), testing::ExitedWithCode(1), "type");
  const sU32 kind7[] = {sVF_POSITION, 7 | sVF_F3, 0};
  EXPECT_EXIT(sCreateVertexFormat(kind7), testing::ExitedWithCode(1), "kind");
  sU32 tooLong[40];
  for(sInt i = 0; i < 39; i++) tooLong[i] = sVF_UV0;
  tooLong[39] = 0;
  EXPECT_EXIT(sCreateVertexFormat(tooLong), testing::ExitedWithCode(1), kCheckFailed);
  // 31 elements are taken as a list but leave no room for the declaration's end marker
  tooLong[31] = 0;
  EXPECT_EXIT(sCreateVertexFormat(tooLong), testing::ExitedWithCode(1), kCheckFailed);
  tooLong[32] = 0;
  tooLong[31] = sVF_UV0;
  EXPECT_EXIT(sCreateVertexFormat(tooLong), testing::ExitedWithCode(1), kCheckFailed);
  tooLong[30] = 0;
  sVertexFormat *longest = sCreateVertexFormat(tooLong);
  EXPECT_EQ(longest->Count, 31);
  EXPECT_EQ(longest->GetSize(0), 30 * 8);
  EXPECT_EQ(Dev->R(longest->Decl)->Decl.size(), 30u);
}

TEST_F(VertexFormats, MemoryHookFlushKeepsFormatsMadeWithoutAMark)
{
  LogCapture log;
  sInt before = sGetVertexFormatCount();
  sHookCall(sGetMemoryHook(), 1);
  EXPECT_EQ(sGetVertexFormatCount(), before);
  EXPECT_EQ(log.Count("flushing vertex format handles"), 1);
  EXPECT_EQ(log.Count("registered shaders"), 1);
}

using Shaders = RecordingTest;

TEST_F(Shaders, SharedByChecksumAndReleasedByUseCount)
{
  std::vector<uint32_t> vs = Asm(VsText);
  std::vector<uint32_t> vs2 = Asm("vs_2_0\ndcl_position v0\nadd oPos, v0, v0\n");
  sInt before = sGetShaderCount();
  sShader *a = sCreateShader(0x1100, reinterpret_cast<const sU8 *>(vs.data()), sInt(vs.size() * 4));
  sShader *b = sCreateShader(0x1100, reinterpret_cast<const sU8 *>(vs.data()), sInt(vs.size() * 4));
  sShader *c = sCreateShader(0x1100, reinterpret_cast<const sU8 *>(vs2.data()), sInt(vs2.size() * 4));
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  EXPECT_EQ(a->UseCount, 2);
  EXPECT_EQ(a->BlobSize, sInt(vs.size() * 4 + 12));
  EXPECT_TRUE(a->CheckKind(sSTF_VERTEX));
  EXPECT_FALSE(a->CheckKind(sSTF_PIXEL));
  EXPECT_EQ(sGetShaderCount(), before + 2);
  EXPECT_EQ(Dev->Lines("CreateVertexShader").size(), 2u);
  ASSERT_NE(a->Handle, nullptr);
  EXPECT_EQ(Dev->Live("vs"), 2);

  sShaderRelease(a);
  EXPECT_EQ(sGetShaderCount(), before + 2);
  sShaderRelease(b);
  EXPECT_EQ(sGetShaderCount(), before + 1);
  EXPECT_EQ(Dev->Live("vs"), 1);
  sShaderRelease(c);
  EXPECT_EQ(Dev->Live("vs"), 0);
}

TEST_F(Shaders, SameCodeOfAnotherKindIsNotShared)
{
  std::vector<uint32_t> ps = Asm(PsText);
  sShader *a = sCreateShader(0x2100, reinterpret_cast<const sU8 *>(ps.data()), sInt(ps.size() * 4));
  sShader *b = sCreateShader(0x2200, reinterpret_cast<const sU8 *>(ps.data()), sInt(ps.size() * 4));
  EXPECT_NE(a, b);
  sShaderRelease(a);
  sShaderRelease(b);
}

TEST_F(Shaders, NoRecordForTheDeviceWarnsAndMakesNoHandle)
{
  LogCapture log;
  std::vector<uint32_t> ps = Asm(PsText);
  sShader *s = sCreateShader(0x2200, reinterpret_cast<const sU8 *>(ps.data()), sInt(ps.size() * 4));
  EXPECT_EQ(s->Handle, nullptr);
  EXPECT_EQ(log.Count("warning: shader creation failed, no suitable shader found"), 1);
  EXPECT_TRUE(Dev->Lines("CreatePixelShader").empty());
  sShaderRelease(s);
}

TEST_F(Shaders, FatalShaders)
{
  std::vector<uint32_t> vs = Asm(VsText);
  EXPECT_EXIT(sCreateShader(0x1000, reinterpret_cast<const sU8 *>(vs.data()), sInt(vs.size() * 4)),
              testing::ExitedWithCode(1), kCheckFailed);
  // vertex byte code made as a pixel shader
  EXPECT_EXIT(sCreateShader(0x2100, reinterpret_cast<const sU8 *>(vs.data()), sInt(vs.size() * 4)),
              testing::ExitedWithCode(1), "0xffff0000");
  std::vector<uint32_t> cut(vs.begin(), vs.end() - 1);
  EXPECT_EXIT(sCreateShader(0x1100, reinterpret_cast<const sU8 *>(cut.data()), sInt(cut.size() * 4)),
              testing::ExitedWithCode(1), "0x0000ffff");
  EXPECT_EXIT(sCreateShader(0x1100, reinterpret_cast<const sU8 *>(vs.data()), sInt(vs.size() * 4) - 1),
              testing::ExitedWithCode(1), kCheckFailed);
}

// --- state lists

// The states a material's list sets, the last value of each (the order is the list's own).
std::map<sU32, sU32> StatesOf(const sMaterial &m)
{
  sU32 buffer[512];
  sU32 *p = buffer;
  sBuildStateList(&m, p);
  std::map<sU32, sU32> out;
  for(sU32 *q = buffer; q < p; q += 2) out[q[0]] = q[1];
  return out;
}

using StateLists = RecordingTest;

// Material settings and the render and sampler states they must set (Direct3D numbers;
// samplers from 256 + 16 * sampler) or leave alone.
TEST_F(StateLists, MaterialSettingsBecomeDeviceStates)
{
  const sU32 b5 = 256 + 5 * 16, bv1 = 256 + 17 * 16;
  sU32 bias;
  const float minusHalf = -0.5f;
  std::memcpy(&bias, &minusHalf, 4);
  sTexture2D tex(16, 16, sTEX_ARGB8888);
  struct Case
  {
    const char *Name;
    std::function<void(TestMaterial &)> Set;
    std::vector<std::pair<sU32, sU32>> Want;
    std::vector<sU32> Unset;
  } cases[] = {
    {"blend, depth, cull, masks, alpha test",
     [](TestMaterial &m) {
       m.S.BlendColor = 0x00060105;   // src alpha, add, inv src alpha
       m.S.BlendAlpha = 0x00020301;   // zero, revsubtract, one
       m.S.BlendFactor = 0x80402010;
       m.S.Flags = sMTRL_ZREAD | sMTRL_CULLINV | sMTRL_MSK_ALPHA | sMTRL_MSK_GREEN | sMTRL_NOMSAA;
       m.S.DepthFunc = sCMP_GREATER;
       m.S.AlphaFunc = sCMP_GREATEREQUAL;
       m.S.AlphaRef = 77;
     },
     {{27, 1}, {19, 5}, {20, 6}, {171, 1}, {193, 0x80402010}, {206, 1}, {207, 1}, {208, 2}, {209, 3}, {7, 1},
      {14, 0}, {23, 5}, {22, 2}, {168, 5}, {161, 0}, {52, 0}, {59, 0}, {15, 1}, {25, 7}, {24, 77}},
     {}},
    {"depth write, cull kept", [](TestMaterial &m) { m.S.Flags = sMTRL_ZWRITE | sMTRL_CULLKEEP; },
     {{27, 0}, {206, 0}, {7, 1}, {14, 1}, {23, 8}, {168, 15}, {161, 1}, {15, 0}}, {22}},
    {"depth and culling off", [](TestMaterial &m) { m.S.Flags = sMTRL_ZOFF | sMTRL_CULLOFF; },
     {{7, 0}, {22, 1}, {168, 15}}, {14, 23}},
    {"two-sided stencil",
     [](TestMaterial &m) {
       m.S.Flags = sMTRL_ZON | sMTRL_CULLON | sMTRL_STENCILDS;
       m.S.StencilRef = 3;
       m.S.StencilMask = 0x0f;
       m.S.StencilFunc = sCMP_EQUAL;
       m.S.FrontFail = 0, m.S.FrontZFail = 1, m.S.FrontPass = 2;
       m.S.BackFail = 3, m.S.BackZFail = 6, m.S.BackPass = 7;
     },
     {{52, 1}, {58, 15}, {59, 0xffffffff}, {57, 3}, {56, 3}, {53, 1}, {54, 2}, {55, 3}, {185, 1}, {186, 4},
      {187, 7}, {188, 8}},
     {}},
    {"one-sided stencil", [](TestMaterial &m) { m.S.Flags = sMTRL_ZON | sMTRL_CULLON | sMTRL_STENCILSS; },
     {{185, 0}}, {}},
    {"samplers follow the sampler map",
     [&](TestMaterial &m) {
       m.Texture[1] = &tex;
       m.SamplerMap[1] = 5;
       m.S.TextureFlags[1] = sMTF_POINT | (sU32(sMTF_CLAMP) << sMTF_U_SHIFT) | (sU32(sMTF_BORDER) << sMTF_V_SHIFT) |
                             sMTF_BORDERWHITE | 0x20 | sMTF_SRGB;
       m.S.LodBias[1] = -0.5f;
       m.S.TextureFlags[2] = sMTF_EXTERN | sMTF_LINEARPOINTMIP | 0x40;
       m.SamplerMap[2] = sMTRL_VSTEX | 1;
     },
     {{b5 + 11, 1}, {b5 + 5, 1}, {b5 + 6, 1}, {b5 + 7, 1}, {b5 + 8, bias}, {b5 + 1, 3}, {b5 + 2, 4},
      {b5 + 4, 0xffffffff}, {b5 + 3, 2}, {bv1 + 11, 0}, {bv1 + 5, 2}, {bv1 + 6, 2}, {bv1 + 7, 1}, {bv1 + 8, 0},
      {bv1 + 1, 1}, {bv1 + 2, 1}, {bv1 + 3, 4}, {bv1 + 4, 0xffffffff}},
     {256 + 1, 256 + 16 + 1}},
    {"a slot without texture and without the extern flag sets nothing",
     [](TestMaterial &m) { m.S.TextureFlags[1] = sMTF_POINT; }, {}, {256 + 16 + 1, 256 + 16 + 5}},
  };
  for(const Case &c : cases)
  {
    SCOPED_TRACE(c.Name);
    TestMaterial m;
    c.Set(m);
    std::map<sU32, sU32> states = StatesOf(m);
    for(auto [state, value] : c.Want)
    {
      ASSERT_TRUE(states.count(state)) << "state " << state << " not set";
      EXPECT_EQ(states[state], value) << "state " << state;
    }
    for(sU32 state : c.Unset) EXPECT_EQ(states.count(state), 0u) << "state " << state;
    m.Texture[1] = nullptr;
  }
}

TEST_F(StateLists, AnisotropicFilterDependsOnTheDevice)
{
  TestMaterial m;
  m.S.TextureFlags[0] = sMTF_ANISO;
  {
    sTexture2D tex(16, 16, sTEX_ARGB8888);
    m.Texture[0] = &tex;
    std::map<sU32, sU32> states = StatesOf(m);
    EXPECT_EQ(states[256 + 5], 3u);   // anisotropic both ways, at the device's level
    EXPECT_EQ(states[256 + 6], 3u);
    EXPECT_EQ(states[256 + 10], 16u);
    m.Texture[0] = nullptr;
  }

  StopGraphics();
  RecConfig noAniso;
  noAniso.FilterCaps = PTFILTERCAPS_MINFANISOTROPIC;
  noAniso.MaxAnisotropy = 4;
  Api = StartRecording(noAniso);
  sTexture2D tex2(16, 16, sTEX_ARGB8888);
  m.Texture[0] = &tex2;
  std::map<sU32, sU32> states = StatesOf(m);
  EXPECT_EQ(states[256 + 5], 2u);   // magnification falls back to linear
  EXPECT_EQ(states[256 + 6], 3u);
  EXPECT_EQ(states[256 + 10], 4u);
  m.Texture[0] = nullptr;
}

TEST_F(StateLists, InvalidAddressModeIsFatal)
{
  TestMaterial m;
  m.S.TextureFlags[0] = sMTF_EXTERN | 0x60;
  EXPECT_EXIT(StatesOf(m), testing::ExitedWithCode(1), "address mode");
}

// --- materials, the state cache and variants

class Materials : public RecordingTest
{
protected:
  void Begin()
  {
    ASSERT_TRUE(sRender3DBegin());
    Dev->Log.clear();
  }
};

TEST_F(Materials, PrepareMakesOneVariantAndRebuildsItWithLaterTextures)
{
  TestMaterial m;
  m.Prepare(sVertexFormatPosCol);
  EXPECT_EQ(m.StateVariants, 1);
  EXPECT_EQ(m.StateCount[0], 11);
  EXPECT_EQ(m.Format, sVertexFormatPosCol);

  // the texture comes after the first Prepare: the next Prepare brings its sampler states
  sTexture2D tex(8, 8, sTEX_ARGB8888);
  m.Texture[0] = &tex;
  m.S.TextureFlags[0] = sMTF_POINT;
  m.Prepare(sVertexFormatPosCol);
  EXPECT_EQ(m.StateVariants, 1);
  EXPECT_EQ(m.StateCount[0], 11 + 8);

  Begin();
  m.Set(nullptr, 0);
  auto ss = Dev->Lines("SS 0 5 ");
  ASSERT_EQ(ss.size(), 1u);
  EXPECT_EQ(ss[0], "SS 0 5 1");
  m.Texture[0] = nullptr;
  sRender3DEnd(0);
}

TEST_F(Materials, ExplicitVariantsAreKeptAndInitialisingTwiceWarns)
{
  TestMaterial m;
  m.InitVariants(2);
  m.SetVariant(0);
  m.S.BlendColor = 0x00060105;
  m.SetVariant(1);
  m.Prepare(sVertexFormatPosCol);
  EXPECT_EQ(m.StateVariants, 2);
  EXPECT_EQ(m.StateCount[1], m.StateCount[0] + 4);

  LogCapture log;
  m.InitVariants(2);
  EXPECT_NE(m.States[1], nullptr);
  EXPECT_EQ(log.Count("material variants initialized twice"), 0);
  m.InitVariants(3);
  EXPECT_EQ(log.Count("material variants initialized twice"), 1);
  EXPECT_EQ(m.StateVariants, 3);
  EXPECT_EQ(m.States[0], nullptr);
  EXPECT_EXIT(m.SetVariant(3), testing::ExitedWithCode(1), kCheckFailed);
  m.SetVariant(0);
  EXPECT_EXIT(m.SetVariant(0), testing::ExitedWithCode(1), kCheckFailed);
}

TEST_F(Materials, StateCacheSendsOnlyChanges)
{
  TestMaterial m;
  m.InitVariants(2);
  m.SetVariant(0);
  m.S.Flags = sMTRL_ZOFF | sMTRL_CULLOFF;
  m.SetVariant(1);
  m.Prepare(sVertexFormatPosCol);
  Begin();
  m.Set(nullptr, 0, 0);
  size_t first = Dev->Lines("RS ").size();
  EXPECT_GT(first, 5u);
  Dev->Log.clear();
  m.Set(nullptr, 0, 0);
  EXPECT_TRUE(Dev->Lines("RS ").empty());
  EXPECT_TRUE(Dev->Lines("SetTexture").empty());
  m.Set(nullptr, 0, 1);
  std::vector<std::string> expect = {"RS 7 0", "RS 22 1"};
  EXPECT_EQ(Dev->Lines("RS "), expect);

  // ids beyond the cache are ignored
  Dev->Log.clear();
  const sU32 list[] = {576, 1, 600, 2, 256 + 17 * 16 + 5, 2};
  sSetStates(list, 3);
  std::vector<std::string> ss = {"SS 258 5 2"};
  EXPECT_EQ(Dev->Lines("SS "), ss);
  EXPECT_TRUE(Dev->Lines("RS ").empty());
  sRender3DEnd(0);
}

TEST_F(Materials, SetBindsShadersOnceAndChecksSamplerMap)
{
  TestMaterial m;
  m.VS = Asm(VsText);
  m.PS = Asm(PsText);
  m.Prepare(sVertexFormatPosCol);
  Begin();
  m.Set(nullptr, 0);
  m.Set(nullptr, 0);
  EXPECT_EQ(Dev->Lines("SetVertexShader").size(), 1u);
  EXPECT_EQ(Dev->Lines("SetPixelShader").size(), 1u);
  sGraphicsStats &st = sGetFrameStats();
  EXPECT_EQ(st.VSChanges, 1);
  EXPECT_EQ(st.VariantChanges, 2);
  sRender3DEnd(0);

  // shaders used before and after a second Prepare survive it
  sShader *vs = m.VertexShader;
  m.Prepare(sVertexFormatPosCol);
  EXPECT_EQ(m.VertexShader, vs);
  EXPECT_EQ(vs->UseCount, 1);

  // a shader without a device shader can not be set
  TestMaterial noDevice;
  noDevice.Prepare(sVertexFormatPosCol);
  noDevice.VertexShader = sCreateShader(0x1200, reinterpret_cast<const sU8 *>(m.VS.data()), sInt(m.VS.size() * 4));
  ASSERT_EQ(noDevice.VertexShader->Handle, nullptr);
  Begin();
  EXPECT_EXIT(noDevice.Set(nullptr, 0), testing::ExitedWithCode(1), kCheckFailed);
  sShaderRelease(noDevice.VertexShader);
  noDevice.VertexShader = nullptr;
  noDevice.PixelShader = sCreateShader(0x2200, reinterpret_cast<const sU8 *>(m.PS.data()), sInt(m.PS.size() * 4));
  EXPECT_EXIT(noDevice.Set(nullptr, 0), testing::ExitedWithCode(1), "PixelShader->ps");
  sRender3DEnd(0);

  TestMaterial bad;
  bad.SamplerMap[3] = sMTRL_VSTEX | 4;
  EXPECT_EXIT(bad.Prepare(sVertexFormatPosCol), testing::ExitedWithCode(1), kCheckFailed);
  TestMaterial bad2;
  bad2.SamplerMap[3] = 16;
  EXPECT_EXIT(bad2.Prepare(sVertexFormatPosCol), testing::ExitedWithCode(1), kCheckFailed);
}

// --- constant buffers

using CBuffers = RecordingTest;

TEST_F(CBuffers, UploadOncePerFrameAndEvictOverlaps)
{
  ASSERT_TRUE(sRender3DBegin());
  sCBuffer a(sCBUFFER_VS + 0, 0, 4);
  sCBuffer b(sCBUFFER_VS + 1, 4, 4);
  sCBuffer c(sCBUFFER_VS + 2, 2, 4);   // overlaps both
  sCBuffer p(sCBUFFER_PS + 0, 0, 2);
  a.Regs()[0].Init(1, 0, 0, 0);
  Dev->Log.clear();
  sCBufferBase *ab[] = {&a, nullptr, &b, &p};
  sSetCBuffers(ab, 4);
  sSetCBuffers(ab, 4);
  EXPECT_EQ(Dev->Lines("VSConst").size(), 2u);
  EXPECT_EQ(Dev->Lines("PSConst").size(), 1u);
  EXPECT_EQ(Dev->Lines("VSConst")[0], "VSConst 0 4 1");

  sCBufferBase *cc[] = {&c};
  sSetCBuffers(cc, 1);
  EXPECT_EQ(Dev->Lines("VSConst").size(), 3u);
  // a and b were evicted: binding them again uploads again
  sSetCBuffers(ab, 1);
  EXPECT_EQ(Dev->Lines("VSConst").size(), 4u);

  // a modified buffer uploads at its next bind
  a.Modify();
  sSetCBuffers(ab, 1);
  EXPECT_EQ(Dev->Lines("VSConst").size(), 5u);
  sRender3DEnd(0);

  // the next frame uploads every buffer once more
  ASSERT_TRUE(sRender3DBegin());
  Dev->Log.clear();
  sSetCBuffers(ab, 4);
  EXPECT_EQ(Dev->Lines("VSConst").size(), 2u);
  sRender3DEnd(0);
}

TEST_F(CBuffers, CollisionWithinOneSlotIsLogged)
{
  ASSERT_TRUE(sRender3DBegin());
  sCBuffer a(sCBUFFER_PS + 3, 0, 4);
  sCBuffer b(sCBUFFER_PS + 3, 0, 4);
  sCBufferBase *list[] = {&a};
  sSetCBuffers(list, 1);
  LogCapture log;
  // same slot: its held registers leave the use mask first, no collision
  list[0] = &b;
  sSetCBuffers(list, 1);
  EXPECT_EQ(log.Count("register collision"), 0);
  sCBuffer bad(64, 0, 1);
  sCBufferBase *badList[] = {&bad};
  EXPECT_EXIT(sSetCBuffers(badList, 1), testing::ExitedWithCode(1), kCheckFailed);
  sRender3DEnd(0);
}

// --- viewports

using Viewports = RecordingTest;

TEST_F(Viewports, PerspectiveHalfPixelShiftAndCentre)
{
  ASSERT_TRUE(sRender3DBegin());
  sTexture2D rt(1920, 1080, sTEX_ARGB8888 | sTEX_RENDERTARGET | sTEX_NOMIPMAPS);
  sRenderTargetSpec spec(0, 0, nullptr, &rt, nullptr);
  sSetTarget(spec);
  sViewport vp;
  EXPECT_EQ(vp.TargetSizeX, 1920);
  EXPECT_NEAR(vp.Aspect, 1920.0f / 1080.0f, 1e-6);
  vp.Camera.l = sVec3(1, 2, 3);
  vp.Prepare(2 | 4);
  EXPECT_NEAR(vp.Proj.m[2][0], -1.0f / 1920.0f, 1e-7);
  EXPECT_NEAR(vp.Proj.m[2][1], 1.0f / 1080.0f, 1e-7);
  EXPECT_FLOAT_EQ(vp.Proj.m[2][2], 1024.0f / (1024.0f - 0.125f));
  EXPECT_FLOAT_EQ(vp.Proj.m[3][2], -0.125f * 1024.0f / (1024.0f - 0.125f));
  EXPECT_FLOAT_EQ(vp.Proj.m[2][3], 1.0f);
  EXPECT_FLOAT_EQ(vp.View.l.x, -1.0f);
  EXPECT_FLOAT_EQ(vp.View.l.z, -3.0f);
  EXPECT_FLOAT_EQ(vp.ModelView.l.y, -2.0f);
  // a point in front of the camera lands where MVP = ModelView x Proj puts it
  sVec4 p = sMulPointMat4x4(sVec3(1, 2, 13), vp.MVP);
  EXPECT_NEAR(p.w, 10.0f, 1e-5);
  EXPECT_NEAR(p.x / p.w, -1.0f / 1920.0f, 1e-6);

  // a shifted centre moves the projected picture by 2 x (centre - 0.5)
  vp.CenterX = 0.75f;
  vp.Prepare(2);
  p = sMulPointMat4x4(sVec3(1, 2, 13), vp.MVP);
  EXPECT_NEAR(p.x / p.w, 0.5f - 1.0f / 1920.0f, 1e-5);
  sRender3DEnd(0);
}

TEST_F(Viewports, OrthoModes)
{
  ASSERT_TRUE(sRender3DBegin());
  sRect r{10, 20, 110, 70};
  sSetScreenTarget(&r, 0, 0);
  sViewport vp;
  EXPECT_EQ(vp.Window.x0, 10);
  vp.Orthogonal = sVO_PIXELS;
  vp.Prepare(4);
  sVec4 p = sMulPointMat4x4(sVec3(100, 50, 0), vp.MVP);
  EXPECT_FLOAT_EQ(p.x, 1.0f);
  EXPECT_FLOAT_EQ(p.y, -1.0f);
  vp.Orthogonal = sVO_UNIT;
  vp.Prepare(8);
  p = sMulPointMat4x4(sVec3(0.5f, 0.25f, 0), vp.MVP);
  EXPECT_FLOAT_EQ(p.x, 0.0f);
  EXPECT_FLOAT_EQ(p.y, 0.5f);
  vp.Orthogonal = sVO_ZOOM;
  vp.ClipNear = 1;
  vp.ClipFar = 11;
  vp.Prepare(4);
  p = sMulPointMat4x4(sVec3(0, 0, 6), vp.MVP);
  EXPECT_FLOAT_EQ(p.z, 0.5f);
  vp.Orthogonal = 4;
  EXPECT_EXIT(vp.Prepare(4), testing::ExitedWithCode(1), "viewport mode");
  sRender3DEnd(0);
}
}

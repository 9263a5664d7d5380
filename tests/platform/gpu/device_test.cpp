// The device without shaders: the entry object, resources, clears, fills, copies, read-back,
// and the lost-device sequence.

#include "gpu_fixture.hpp"

#include <cstdlib>

#include <SDL2/SDL.h>

using namespace gputest;

TEST(GpuFormats, SizesOfPixelAndBlockFormats)
{
  EXPECT_EQ(FormatPitch(FMT_A8R8G8B8, 10), 40);
  EXPECT_EQ(FormatPitch(FMT_R16F, 3), 6);
  EXPECT_EQ(FormatPitch(FMT_DXT1, 10), 3 * 8);  // partial blocks count whole
  EXPECT_EQ(FormatPitch(FMT_DXT5, 4), 16);
  EXPECT_EQ(FormatRows(FMT_DXT5, 9), 3);
  EXPECT_EQ(FormatRows(FMT_L8, 9), 9);
  EXPECT_EQ(FormatPitch(Format(17), 4), 0);  // unknown
  EXPECT_TRUE(FormatIsDepth(FMT_INTZ));
  EXPECT_TRUE(FormatHasStencil(FMT_D24S8));
  EXPECT_FALSE(FormatHasStencil(FMT_D16));
  EXPECT_EQ(uint32_t(FMT_DXT1), 0x31545844u);
}

// DXT blocks built by hand, decoded by the CPU decoder.
TEST(GpuFormats, DecodesBlocks)
{
  // DXT1: colour 0 pure red (0xF800), colour 1 pure blue (0x001F); c0 > c1: four-colour mode.
  // Row 0 indices 0,1,2,3; other rows index 0.
  uint8_t dxt1[8] = {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0x00, 0x00, 0x00};
  uint32_t px[16];
  ASSERT_TRUE(DecodeBlocks(FMT_DXT1, dxt1, 4, 4, px));
  EXPECT_EQ(px[0], 0xFFFF0000u);
  EXPECT_EQ(px[1], 0xFF0000FFu);
  EXPECT_EQ(px[2], 0xFFAA0055u);  // 2/3 red + 1/3 blue
  EXPECT_EQ(px[3], 0xFF5500AAu);
  EXPECT_EQ(px[4], 0xFFFF0000u);
  // c0 <= c1: three colours and transparent black at index 3
  uint8_t punch[8] = {0x1F, 0x00, 0x00, 0xF8, 0xE4, 0x00, 0x00, 0x00};
  ASSERT_TRUE(DecodeBlocks(FMT_DXT1, punch, 4, 4, px));
  EXPECT_EQ(px[2], 0xFF7F007Fu);
  EXPECT_EQ(px[3], 0x00000000u);
  // DXT5: alpha 255 and 0 with eight-value interpolation; index 1 in pixel 0, 0 in pixel 1,
  // index 2 (6/7 a0 + 1/7 a1) in pixel 2
  uint8_t dxt5[16] = {255, 0, 0x01 | 0x00 << 3 | 0x2 << 6, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
  ASSERT_TRUE(DecodeBlocks(FMT_DXT5, dxt5, 4, 4, px));
  EXPECT_EQ(px[0] >> 24, 0u);
  EXPECT_EQ(px[1] >> 24, 255u);
  EXPECT_EQ(px[2] >> 24, 218u);
  EXPECT_EQ(px[0] & 0xFFFFFF, 0xFFFFFFu);
  // DXT3: explicit 4-bit alpha
  uint8_t dxt3[16] = {0x0F, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  ASSERT_TRUE(DecodeBlocks(FMT_DXT3, dxt3, 4, 4, px));
  EXPECT_EQ(px[0] >> 24, 255u);
  EXPECT_EQ(px[1] >> 24, 0u);
  // an image that is not a whole number of blocks keeps inside its bounds
  std::vector<uint32_t> small(2 * 3, 0x12345678u);
  ASSERT_TRUE(DecodeBlocks(FMT_DXT1, dxt1, 2, 3, small.data()));
  EXPECT_EQ(small[1], 0xFF0000FFu);
  EXPECT_FALSE(DecodeBlocks(FMT_A8R8G8B8, dxt1, 4, 4, px));
  EXPECT_FALSE(DecodeBlocks(FMT_DXT1, dxt1, 0, 4, px));
}

class GpuObjectTest : public ::testing::Test
{
protected:
  Object *Obj = nullptr;
  void SetUp() override
  {
    std::string error;
    Obj = Object::Create(error);
    ASSERT_NE(Obj, nullptr) << error;
  }
  void TearDown() override
  {
    if (Obj)
      Obj->Release();
  }
};

TEST_F(GpuObjectTest, AdaptersModesAndCaps)
{
  ASSERT_GE(Obj->GetAdapterCount(), 1u);
  uint32_t modes = Obj->GetAdapterModeCount(0, FMT_X8R8G8B8);
  ASSERT_GE(modes, 2u);
  DisplayMode m;
  for (uint32_t i = 0; i < modes; i++)
  {
    ASSERT_EQ(Obj->EnumAdapterModes(0, FMT_X8R8G8B8, i, m), RES_OK);
    EXPECT_GT(m.Width, 0u);
    EXPECT_GT(m.RefreshRate, 0u);
  }
  EXPECT_EQ(Obj->EnumAdapterModes(0, FMT_X8R8G8B8, modes, m), ERR_INVALIDCALL);
  EXPECT_EQ(Obj->GetAdapterModeCount(0, FMT_A8R8G8B8), 0u);  // not a display format
  EXPECT_EQ(Obj->GetAdapterModeCount(99, FMT_X8R8G8B8), 0u);
  ASSERT_EQ(Obj->GetAdapterDisplayMode(0, m), RES_OK);
  EXPECT_GT(m.Width, 0u);

  AdapterIdentifier id;
  ASSERT_EQ(Obj->GetAdapterIdentifier(0, id), RES_OK);
  EXPECT_GT(std::strlen(id.Description), 0u);

  Caps caps;
  ASSERT_EQ(Obj->GetDeviceCaps(0, DEVTYPE_HAL, caps), RES_OK);
  EXPECT_EQ(caps.VertexShaderVersion, 0xFFFE0300u);
  EXPECT_EQ(caps.PixelShaderVersion, 0xFFFF0300u);
  EXPECT_EQ(caps.NumberOfAdaptersInGroup, 1u);
  EXPECT_EQ(caps.MaxSimultaneousRTs, 4u);
}

TEST_F(GpuObjectTest, FormatChecks)
{
  auto check = [&](uint32_t usage, ResourceType type, Format f) {
    return Obj->CheckDeviceFormat(0, DEVTYPE_HAL, FMT_X8R8G8B8, usage, type, f);
  };
  EXPECT_EQ(Obj->CheckDeviceType(0, DEVTYPE_HAL, FMT_X8R8G8B8, FMT_A8R8G8B8, true), RES_OK);
  EXPECT_EQ(Obj->CheckDeviceType(0, DEVTYPE_HAL, FMT_X8R8G8B8, FMT_R5G6B5, true), ERR_NOTAVAILABLE);
  EXPECT_EQ(check(0, RTYPE_TEXTURE, FMT_DXT5), RES_OK);
  EXPECT_EQ(check(0, RTYPE_CUBETEXTURE, FMT_A8R8G8B8), RES_OK);
  EXPECT_EQ(check(USAGE_RENDERTARGET, RTYPE_TEXTURE, FMT_A16B16G16R16F), RES_OK);
  EXPECT_EQ(check(USAGE_RENDERTARGET, RTYPE_TEXTURE, FMT_DXT1), ERR_NOTAVAILABLE);
  EXPECT_EQ(check(USAGE_RENDERTARGET, RTYPE_TEXTURE, FMT_L8), ERR_NOTAVAILABLE);
  EXPECT_EQ(check(USAGE_QUERY_VERTEXTEXTURE, RTYPE_TEXTURE, FMT_R32F), RES_OK);
  EXPECT_EQ(check(USAGE_DEPTHSTENCIL, RTYPE_TEXTURE, FMT_INTZ), RES_OK);
  EXPECT_EQ(check(USAGE_DEPTHSTENCIL, RTYPE_TEXTURE, FMT_DF24), RES_OK);
  EXPECT_EQ(check(USAGE_DEPTHSTENCIL, RTYPE_TEXTURE, FMT_RAWZ), ERR_NOTAVAILABLE);
  EXPECT_EQ(check(USAGE_RENDERTARGET, RTYPE_SURFACE, FMT_RESZ), ERR_NOTAVAILABLE);
  EXPECT_EQ(check(0, RTYPE_TEXTURE, FMT_D24S8), ERR_NOTAVAILABLE);  // depth needs depth-stencil usage
  EXPECT_EQ(check(USAGE_DEPTHSTENCIL, RTYPE_SURFACE, FMT_D24S8), RES_OK);
  EXPECT_EQ(check(0, RTYPE_VOLUMETEXTURE, FMT_A8R8G8B8), ERR_NOTAVAILABLE);
  EXPECT_EQ(Obj->CheckDepthStencilMatch(0, DEVTYPE_HAL, FMT_X8R8G8B8, FMT_A8R8G8B8, FMT_D24S8), RES_OK);
  EXPECT_EQ(Obj->CheckDepthStencilMatch(0, DEVTYPE_HAL, FMT_X8R8G8B8, FMT_A8R8G8B8, FMT_A8R8G8B8), ERR_NOTAVAILABLE);

  uint32_t levels = 99;
  ASSERT_EQ(Obj->CheckDeviceMultiSampleType(0, DEVTYPE_HAL, FMT_A8R8G8B8, true, MULTISAMPLE_NONMASKABLE, &levels), RES_OK);
  EXPECT_GE(levels, 1u);
  EXPECT_EQ(Obj->CheckDeviceMultiSampleType(0, DEVTYPE_HAL, FMT_DXT1, true, MULTISAMPLE_NONMASKABLE, &levels),
            ERR_NOTAVAILABLE);
  EXPECT_EQ(levels, 0u);
}

TEST_F(GpuObjectTest, RefusesAWindowWithoutGL)
{
  PresentParameters pp;
  Device *dev = nullptr;
  EXPECT_EQ(Obj->CreateDevice(0, DEVTYPE_HAL, nullptr, 0, pp, &dev), ERR_INVALIDCALL);
  EXPECT_EQ(dev, nullptr);
}

TEST_F(GpuObjectTest, ClientSizeIsTheWindowsDrawableSize)
{
  int w = -1, h = -1;
  EXPECT_EQ(Obj->GetClientSize(nullptr, w, h), ERR_INVALIDCALL);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(h, 0);
  SDL_Window *win = SDL_CreateWindow("gpu test", 0, 0, 72, 44, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  ASSERT_NE(win, nullptr) << SDL_GetError();
  ASSERT_EQ(Obj->GetClientSize(win, w, h), RES_OK);
  int dw = 0, dh = 0;
  SDL_GL_GetDrawableSize(win, &dw, &dh);
  EXPECT_EQ(w, dw);
  EXPECT_EQ(h, dh);
  EXPECT_GT(w, 0);
  EXPECT_GT(h, 0);
  SDL_DestroyWindow(win);
}

using GpuDevice = GpuTest;

TEST_F(GpuDevice, StatesOutsideTheTablesAreRefused)
{
  EXPECT_EQ(Dev->SetSamplerState(16, SAMP_ADDRESSU, 1), ERR_INVALIDCALL);  // 16..256 is no sampler
  EXPECT_EQ(Dev->SetSamplerState(VERTEXSAMPLER0 + 4, SAMP_ADDRESSU, 1), ERR_INVALIDCALL);
  EXPECT_EQ(Dev->SetRenderState(256, 0), ERR_INVALIDCALL);
}

TEST_F(GpuDevice, ClearFillsTheBackBufferInByteOrderBGRA)
{
  ASSERT_EQ(Dev->Clear(0, nullptr, CLEAR_TARGET, 0x80402010u, 1.0f, 0), RES_OK);
  std::vector<uint32_t> px = ReadBackBuffer();
  EXPECT_EQ(px[0], 0x80402010u);
  EXPECT_EQ(px[64 * 64 - 1], 0x80402010u);
  // the bytes in memory are B, G, R, A
  const uint8_t *bytes = reinterpret_cast<const uint8_t *>(px.data());
  EXPECT_EQ(bytes[0], 0x10);
  EXPECT_EQ(bytes[3], 0x80);
}

TEST_F(GpuDevice, ClearStaysInsideTheViewportScissorAndRects)
{
  Dev->Clear(0, nullptr, CLEAR_TARGET, 0xFF000000u, 1.0f, 0);
  Viewport vp = {8, 16, 10, 4, 0.0f, 1.0f};
  ASSERT_EQ(Dev->SetViewport(vp), RES_OK);
  // write masks do not limit a clear
  Dev->SetRenderState(RS_COLORWRITEENABLE, 0);
  ASSERT_EQ(Dev->Clear(0, nullptr, CLEAR_TARGET, 0xFFFF0000u, 1.0f, 0), RES_OK);
  std::vector<uint32_t> px = ReadBackBuffer();
  for (int y = 0; y < 64; y++)
    for (int x = 0; x < 64; x++)
    {
      bool inside = x >= 8 && x < 18 && y >= 16 && y < 20;
      ASSERT_EQ(px[size_t(y) * 64 + x], inside ? 0xFFFF0000u : 0xFF000000u) << x << "," << y;
    }
  // the scissor rectangle limits it further when on; rects too
  Rect scissor = {10, 0, 64, 64};
  Dev->SetScissorRect(scissor);
  Dev->SetRenderState(RS_SCISSORTESTENABLE, 1);
  Rect r = {0, 17, 64, 18};
  ASSERT_EQ(Dev->Clear(1, &r, CLEAR_TARGET, 0xFF00FF00u, 1.0f, 0), RES_OK);
  px = ReadBackBuffer();
  EXPECT_EQ(px[17 * 64 + 9], 0xFFFF0000u);
  EXPECT_EQ(px[17 * 64 + 10], 0xFF00FF00u);
  EXPECT_EQ(px[17 * 64 + 17], 0xFF00FF00u);
  EXPECT_EQ(px[17 * 64 + 18], 0xFF000000u);
  EXPECT_EQ(px[16 * 64 + 12], 0xFFFF0000u);
}

TEST_F(GpuDevice, ViewportAndClearRefuseBadInput)
{
  Viewport vp = {60, 0, 10, 10, 0.0f, 1.0f};
  EXPECT_EQ(Dev->SetViewport(vp), ERR_INVALIDCALL);  // beyond the target
  vp = {0, 0, 10, 10, 0.5f, 0.2f};
  EXPECT_EQ(Dev->SetViewport(vp), ERR_INVALIDCALL);
  EXPECT_EQ(Dev->Clear(0, nullptr, CLEAR_ZBUFFER, 0, 1.0f, 0), ERR_INVALIDCALL);  // no depth buffer
  EXPECT_EQ(Dev->Clear(2, nullptr, CLEAR_TARGET, 0, 1.0f, 0), ERR_INVALIDCALL);
  Surface *d16 = nullptr;
  ASSERT_EQ(Dev->CreateDepthStencilSurface(64, 64, FMT_D16, MULTISAMPLE_NONE, 0, false, &d16), RES_OK);
  Dev->SetDepthStencilSurface(d16);
  EXPECT_EQ(Dev->Clear(0, nullptr, CLEAR_ZBUFFER | CLEAR_STENCIL, 0, 1.0f, 0), ERR_INVALIDCALL);  // no stencil
  EXPECT_EQ(Dev->Clear(0, nullptr, CLEAR_ZBUFFER, 0, 1.0f, 0), RES_OK);
  Dev->SetDepthStencilSurface(nullptr);
  d16->Release();
  EXPECT_EQ(Dev->SetRenderTarget(0, nullptr), ERR_INVALIDCALL);
}

TEST_F(GpuDevice, ColorFillAndStretchRect)
{
  Surface *a = nullptr, *b = nullptr;
  ASSERT_EQ(Dev->CreateRenderTarget(8, 8, FMT_A8R8G8B8, MULTISAMPLE_NONE, 0, false, &a), RES_OK);
  ASSERT_EQ(Dev->CreateRenderTarget(16, 16, FMT_A8R8G8B8, MULTISAMPLE_NONE, 0, false, &b), RES_OK);
  ASSERT_EQ(Dev->ColorFill(a, nullptr, 0xFF0000FFu), RES_OK);
  Rect top = {0, 0, 8, 2};
  ASSERT_EQ(Dev->ColorFill(a, &top, 0xFFFF0000u), RES_OK);
  std::vector<uint32_t> px = Read(a);
  EXPECT_EQ(px[0], 0xFFFF0000u);
  EXPECT_EQ(px[1 * 8 + 7], 0xFFFF0000u);
  EXPECT_EQ(px[2 * 8], 0xFF0000FFu);
  // stretched 2x without filtering: rows 0..3 red, row 4 on blue; row 0 stays at the top
  ASSERT_EQ(Dev->StretchRect(a, nullptr, b, nullptr, TEXF_POINT), RES_OK);
  px = Read(b);
  EXPECT_EQ(px[3 * 16 + 5], 0xFFFF0000u);
  EXPECT_EQ(px[4 * 16 + 5], 0xFF0000FFu);
  // a part of the source onto a part of the destination
  Rect src = {0, 4, 2, 6}, dst = {14, 0, 16, 2};
  ASSERT_EQ(Dev->ColorFill(b, nullptr, 0xFF000000u), RES_OK);
  ASSERT_EQ(Dev->StretchRect(a, &src, b, &dst, TEXF_NONE), RES_OK);
  px = Read(b);
  EXPECT_EQ(px[0 * 16 + 14], 0xFF0000FFu);
  EXPECT_EQ(px[1 * 16 + 15], 0xFF0000FFu);
  EXPECT_EQ(px[2 * 16 + 15], 0xFF000000u);
  EXPECT_EQ(px[0 * 16 + 13], 0xFF000000u);
  // refusals: outside the surface, onto itself, to system memory
  Rect outside = {0, 0, 9, 8};
  EXPECT_EQ(Dev->StretchRect(a, &outside, b, nullptr, TEXF_NONE), ERR_INVALIDCALL);
  Rect empty = {2, 2, 2, 4};
  EXPECT_EQ(Dev->StretchRect(a, &empty, b, nullptr, TEXF_NONE), ERR_INVALIDCALL);
  EXPECT_EQ(Dev->StretchRect(a, nullptr, a, nullptr, TEXF_NONE), ERR_INVALIDCALL);
  Surface *sys = nullptr;
  ASSERT_EQ(Dev->CreateOffscreenPlainSurface(8, 8, FMT_A8R8G8B8, POOL_SYSTEMMEM, &sys), RES_OK);
  EXPECT_EQ(Dev->StretchRect(a, nullptr, sys, nullptr, TEXF_NONE), ERR_INVALIDCALL);
  EXPECT_EQ(Dev->ColorFill(a, &outside, 0), ERR_INVALIDCALL);
  sys->Release();
  a->Release();
  b->Release();
}

TEST_F(GpuDevice, LinearStretchFilters)
{
  Surface *a = nullptr, *b = nullptr;
  ASSERT_EQ(Dev->CreateRenderTarget(2, 1, FMT_A8R8G8B8, MULTISAMPLE_NONE, 0, false, &a), RES_OK);
  ASSERT_EQ(Dev->CreateRenderTarget(4, 1, FMT_A8R8G8B8, MULTISAMPLE_NONE, 0, false, &b), RES_OK);
  Rect left = {0, 0, 1, 1}, right = {1, 0, 2, 1};
  Dev->ColorFill(a, &left, 0xFF000000u);
  Dev->ColorFill(a, &right, 0xFFFFFFFFu);
  ASSERT_EQ(Dev->StretchRect(a, nullptr, b, nullptr, TEXF_LINEAR), RES_OK);
  std::vector<uint32_t> px = Read(b);
  // pixel 1 centre lies a quarter texel left of the middle: 1/4 white
  EXPECT_TRUE(Near(px[1], 0xFF404040u, 2));
  EXPECT_TRUE(Near(px[2], 0xFFBFBFBFu, 2));
  a->Release();
  b->Release();
}

TEST_F(GpuDevice, SystemMemorySurfaces)
{
  Surface *s = nullptr;
  ASSERT_EQ(Dev->CreateOffscreenPlainSurface(16, 16, FMT_A8R8G8B8, POOL_SYSTEMMEM, &s), RES_OK);
  Rect r = {4, 4, 8, 8};
  ASSERT_EQ(Dev->ColorFill(s, &r, 0xFF002050u), RES_OK);
  LockedRect lr;
  ASSERT_EQ(s->LockRect(lr, &r, LOCK_READONLY), RES_OK);
  EXPECT_EQ(lr.Pitch, 64);
  EXPECT_EQ(*static_cast<uint32_t *>(lr.Bits), 0xFF002050u);
  EXPECT_EQ(s->LockRect(lr, nullptr, 0), ERR_INVALIDCALL);  // already locked
  ASSERT_EQ(s->UnlockRect(), RES_OK);
  EXPECT_EQ(s->UnlockRect(), ERR_INVALIDCALL);
  ASSERT_EQ(s->LockRect(lr, nullptr, 0), RES_OK);
  EXPECT_EQ(static_cast<uint32_t *>(lr.Bits)[3 * 16 + 3], 0u);
  EXPECT_EQ(static_cast<uint32_t *>(lr.Bits)[4 * 16 + 7], 0xFF002050u);
  s->UnlockRect();
  Rect bad = {0, 0, 17, 1};
  EXPECT_EQ(s->LockRect(lr, &bad, 0), ERR_INVALIDCALL);
  s->Release();
  // 16-bit fills pack the colour
  ASSERT_EQ(Dev->CreateOffscreenPlainSurface(4, 4, FMT_R5G6B5, POOL_SYSTEMMEM, &s), RES_OK);
  ASSERT_EQ(Dev->ColorFill(s, nullptr, 0xFFFF8000u), RES_OK);
  ASSERT_EQ(s->LockRect(lr, nullptr, 0), RES_OK);
  EXPECT_EQ(*static_cast<uint16_t *>(lr.Bits), 0xFC00u);
  s->UnlockRect();
  s->Release();
}

TEST_F(GpuDevice, ReadBackNeedsMatchingSurfaces)
{
  Surface *rt = nullptr, *ms = nullptr, *sys = nullptr, *small = nullptr;
  ASSERT_EQ(Dev->CreateRenderTarget(8, 8, FMT_A8R8G8B8, MULTISAMPLE_NONE, 0, false, &rt), RES_OK);
  ASSERT_EQ(Dev->CreateRenderTarget(8, 8, FMT_A8R8G8B8, MULTISAMPLE_NONMASKABLE, 0, false, &ms), RES_OK);
  ASSERT_EQ(Dev->CreateOffscreenPlainSurface(8, 8, FMT_A8R8G8B8, POOL_SYSTEMMEM, &sys), RES_OK);
  ASSERT_EQ(Dev->CreateOffscreenPlainSurface(4, 8, FMT_A8R8G8B8, POOL_SYSTEMMEM, &small), RES_OK);
  EXPECT_EQ(Dev->GetRenderTargetData(rt, small), ERR_INVALIDCALL);
  EXPECT_EQ(Dev->GetRenderTargetData(ms, sys), ERR_INVALIDCALL);  // resolve it first
  EXPECT_EQ(Dev->GetRenderTargetData(sys, sys), ERR_INVALIDCALL);
  Surface *lockable = nullptr;
  EXPECT_EQ(Dev->CreateRenderTarget(8, 8, FMT_A8R8G8B8, MULTISAMPLE_NONE, 0, true, &lockable), ERR_INVALIDCALL);
  small->Release();
  // a multisampled surface resolves through StretchRect
  Dev->ColorFill(ms, nullptr, 0xFF112233u);
  ASSERT_EQ(Dev->StretchRect(ms, nullptr, rt, nullptr, TEXF_NONE), RES_OK);
  EXPECT_EQ(Read(rt)[0], 0xFF112233u);
  rt->Release();
  ms->Release();
  sys->Release();
}

TEST_F(GpuDevice, TexturesValidateTheirUse)
{
  Texture *t = nullptr;
  EXPECT_EQ(Dev->CreateTexture(0, 4, 1, 0, FMT_A8R8G8B8, POOL_MANAGED, &t), ERR_INVALIDCALL);
  EXPECT_EQ(Dev->CreateTexture(4, 4, 1, USAGE_RENDERTARGET, FMT_A8R8G8B8, POOL_MANAGED, &t), ERR_INVALIDCALL);
  EXPECT_EQ(Dev->CreateTexture(4, 4, 1, USAGE_RENDERTARGET, FMT_DXT1, POOL_DEFAULT, &t), ERR_INVALIDCALL);
  EXPECT_EQ(Dev->CreateTexture(4, 4, 1, 0, FMT_D24S8, POOL_MANAGED, &t), ERR_INVALIDCALL);
  EXPECT_EQ(Dev->CreateTexture(4, 4, 1, 0, Format(17), POOL_MANAGED, &t), ERR_INVALIDCALL);
  EXPECT_EQ(t, nullptr);

  // level count 0 is the full chain; a count above it is cut
  ASSERT_EQ(Dev->CreateTexture(256, 64, 0, 0, FMT_A8R8G8B8, POOL_MANAGED, &t), RES_OK);
  EXPECT_EQ(t->GetLevelCount(), 9u);
  SurfaceDesc d;
  ASSERT_EQ(t->GetLevelDesc(8, d), RES_OK);
  EXPECT_EQ(d.Width, 1u);
  EXPECT_EQ(d.Height, 1u);
  ASSERT_EQ(t->GetLevelDesc(2, d), RES_OK);
  EXPECT_EQ(d.Width, 64u);
  EXPECT_EQ(d.Height, 16u);
  EXPECT_EQ(t->GetLevelDesc(9, d), ERR_INVALIDCALL);
  t->Release();

  ASSERT_EQ(Dev->CreateTexture(8, 8, 1, 0, FMT_A8R8G8B8, POOL_MANAGED, &t), RES_OK);
  LockedRect lr;
  ASSERT_EQ(t->LockRect(0, lr, nullptr, 0), RES_OK);
  EXPECT_EQ(lr.Pitch, 32);
  static_cast<uint32_t *>(lr.Bits)[9] = 0xDEADBEEFu;
  EXPECT_EQ(t->LockRect(0, lr, nullptr, 0), ERR_INVALIDCALL);  // one lock at a time
  EXPECT_EQ(t->UnlockRect(1), ERR_INVALIDCALL);
  ASSERT_EQ(t->UnlockRect(0), RES_OK);
  EXPECT_EQ(t->UnlockRect(0), ERR_INVALIDCALL);
  // a managed texture keeps its content between locks; a rect lock points inside it
  Rect r = {1, 1, 3, 3};
  ASSERT_EQ(t->LockRect(0, lr, &r, LOCK_READONLY), RES_OK);
  EXPECT_EQ(*static_cast<uint32_t *>(lr.Bits), 0xDEADBEEFu);
  t->UnlockRect(0);
  Rect outside = {6, 6, 9, 8};
  EXPECT_EQ(t->LockRect(0, lr, &outside, 0), ERR_INVALIDCALL);
  t->Release();

  // block formats lock whole blocks
  ASSERT_EQ(Dev->CreateTexture(8, 8, 1, 0, FMT_DXT5, POOL_MANAGED, &t), RES_OK);
  ASSERT_EQ(t->LockRect(0, lr, nullptr, 0), RES_OK);
  EXPECT_EQ(lr.Pitch, 32);
  t->UnlockRect(0);
  Rect unaligned = {2, 0, 8, 4};
  EXPECT_EQ(t->LockRect(0, lr, &unaligned, 0), ERR_INVALIDCALL);
  t->Release();

  // render targets are not locked
  Texture *rt = MakeTarget(4, 4);
  ASSERT_NE(rt, nullptr);
  EXPECT_EQ(rt->LockRect(0, lr, nullptr, 0), ERR_INVALIDCALL);
  rt->Release();
}

TEST_F(GpuDevice, BuffersLockInsideTheirSize)
{
  VertexBuffer *vb = nullptr;
  ASSERT_EQ(Dev->CreateVertexBuffer(256, USAGE_WRITEONLY, POOL_MANAGED, &vb), RES_OK);
  void *p = nullptr;
  EXPECT_EQ(vb->Lock(200, 100, &p, 0), ERR_INVALIDCALL);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(vb->Lock(257, 0, &p, 0), ERR_INVALIDCALL);
  ASSERT_EQ(vb->Lock(200, 0, &p, 0), RES_OK);  // to the end
  EXPECT_EQ(vb->Lock(0, 4, &p, 0), ERR_INVALIDCALL);
  ASSERT_EQ(vb->Unlock(), RES_OK);
  EXPECT_EQ(vb->Unlock(), ERR_INVALIDCALL);
  IndexBuffer *ib = nullptr;
  EXPECT_EQ(Dev->CreateIndexBuffer(64, 0, FMT_A8R8G8B8, POOL_MANAGED, &ib), ERR_INVALIDCALL);
  ASSERT_EQ(Dev->CreateIndexBuffer(64, 0, FMT_INDEX16, POOL_MANAGED, &ib), RES_OK);
  EXPECT_EQ(Dev->SetStreamSource(0, ib, 0, 4), ERR_INVALIDCALL);  // an index buffer is no stream
  EXPECT_EQ(Dev->SetIndices(vb), ERR_INVALIDCALL);
  EXPECT_EQ(Dev->SetStreamSourceFreq(0, STREAMSOURCE_INSTANCEDATA | 1), ERR_INVALIDCALL);
  ib->Release();
  vb->Release();
}

TEST_F(GpuDevice, VertexDeclarationsAndShadersAreValidated)
{
  const VertexElement dup[] = {
    {0, 0, DECLTYPE_FLOAT3, 0, DECLUSAGE_POSITION, 0},
    {0, 12, DECLTYPE_FLOAT3, 0, DECLUSAGE_POSITION, 0},
    DECL_END,
  };
  VertexDeclaration *decl = nullptr;
  EXPECT_EQ(Dev->CreateVertexDeclaration(dup, &decl), ERR_INVALIDCALL);
  const VertexElement badStream[] = {{7, 0, DECLTYPE_FLOAT3, 0, DECLUSAGE_POSITION, 0}, DECL_END};
  EXPECT_EQ(Dev->CreateVertexDeclaration(badStream, &decl), ERR_INVALIDCALL);

  Shader *s = nullptr;
  std::vector<uint32_t> ps = ColorPS(), vs = PassThroughVS();
  EXPECT_EQ(Dev->CreateVertexShader(ps.data(), ps.size(), &s), ERR_INVALIDCALL);  // stage mismatch
  EXPECT_EQ(Dev->CreatePixelShader(vs.data(), vs.size(), &s), ERR_INVALIDCALL);
  std::vector<uint32_t> broken = {0xFFFF0300u, 0x0000FFF0u, 0x0000FFFFu};  // unknown opcode
  EXPECT_EQ(Dev->CreatePixelShader(broken.data(), broken.size(), &s), ERR_INVALIDCALL);
  EXPECT_FALSE(Dev->LastShaderError().empty());
  std::vector<uint32_t> noEnd = {0xFFFF0300u};
  EXPECT_EQ(Dev->CreatePixelShader(noEnd.data(), noEnd.size(), &s), ERR_INVALIDCALL);
  EXPECT_EQ(s, nullptr);
  // a draw without shaders is refused
  EXPECT_EQ(Dev->DrawPrimitive(PT_TRIANGLELIST, 0, 1), ERR_INVALIDCALL);
}

TEST_F(GpuDevice, BindingsKeepTheirObjectsAlive)
{
  Texture *t = nullptr;
  ASSERT_EQ(Dev->CreateTexture(4, 4, 1, 0, FMT_A8R8G8B8, POOL_MANAGED, &t), RES_OK);
  ASSERT_EQ(Dev->SetTexture(2, t), RES_OK);
  EXPECT_EQ(t->RefCount(), 2u);
  ASSERT_EQ(Dev->SetTexture(VERTEXSAMPLER0 + 1, t), RES_OK);
  EXPECT_EQ(Dev->SetTexture(20, t), ERR_INVALIDCALL);
  BaseTexture *got = nullptr;
  ASSERT_EQ(Dev->GetTexture(2, &got), RES_OK);
  EXPECT_EQ(got, t);
  got->Release();
  EXPECT_EQ(t->Release(), 2u);  // still bound twice
  Dev->SetTexture(2, nullptr);
  Dev->SetTexture(VERTEXSAMPLER0 + 1, nullptr);
}

TEST_F(GpuDevice, ResourcesOutliveTheirDeviceAsShells)
{
  Texture *t = nullptr;
  ASSERT_EQ(Dev->CreateTexture(4, 4, 1, 0, FMT_A8R8G8B8, POOL_MANAGED, &t), RES_OK);
  VertexBuffer *vb = nullptr;
  ASSERT_EQ(Dev->CreateVertexBuffer(64, 0, POOL_MANAGED, &vb), RES_OK);
  EXPECT_EQ(Dev->Release(), 0u);
  Dev = nullptr;
  LockedRect lr;
  EXPECT_EQ(t->LockRect(0, lr, nullptr, 0), ERR_INVALIDCALL);
  void *p;
  EXPECT_EQ(vb->Lock(0, 0, &p, 0), ERR_INVALIDCALL);
  EXPECT_EQ(t->GetDevice(), nullptr);
  t->Release();
  vb->Release();
}

TEST_F(GpuDevice, LostDeviceSequence)
{
  Texture *rt = MakeTarget(8, 8);
  ASSERT_NE(rt, nullptr);
  ASSERT_EQ(Dev->BeginScene(), RES_OK);
  EXPECT_EQ(Dev->BeginScene(), ERR_INVALIDCALL);
  ASSERT_EQ(Dev->EndScene(), RES_OK);
  EXPECT_EQ(Dev->EndScene(), ERR_INVALIDCALL);
  ASSERT_EQ(Dev->Present(), RES_OK);
  EXPECT_EQ(Dev->TestCooperativeLevel(), RES_OK);

  Dev->InjectLostDevice();
  EXPECT_EQ(Dev->Present(), ERR_DEVICELOST);
  EXPECT_EQ(Dev->TestCooperativeLevel(), ERR_DEVICENOTRESET);
  EXPECT_EQ(Dev->Present(), ERR_DEVICELOST);
  // drawing while lost is silently dropped
  EXPECT_EQ(Dev->Clear(0, nullptr, CLEAR_TARGET, 0, 1.0f, 0), RES_OK);

  // the render target is a default-pool resource: reset refuses while it exists
  PresentParameters pp;
  pp.BackBufferWidth = 32;
  pp.BackBufferHeight = 16;
  EXPECT_EQ(Dev->DefaultPoolResources(), 2);  // the back buffer and the target
  EXPECT_EQ(Dev->Reset(pp), ERR_INVALIDCALL);
  EXPECT_EQ(Dev->TestCooperativeLevel(), ERR_DEVICENOTRESET);
  // so does a back buffer the program still holds
  rt->Release();
  Surface *bb = nullptr;
  ASSERT_EQ(Dev->GetBackBuffer(0, 0, &bb), RES_OK);
  EXPECT_EQ(Dev->Reset(pp), ERR_INVALIDCALL);
  bb->Release();

  // a back buffer of a format nothing can draw into fails, and leaves the device lost
  PresentParameters bad = pp;
  bad.BackBufferFormat = FMT_DXT1;
  EXPECT_EQ(Dev->Reset(bad), ERR_INVALIDCALL);
  EXPECT_EQ(Dev->TestCooperativeLevel(), ERR_DEVICENOTRESET);
  EXPECT_EQ(Dev->Present(), ERR_DEVICELOST);

  ASSERT_EQ(Dev->Reset(pp), RES_OK);
  EXPECT_EQ(Dev->TestCooperativeLevel(), RES_OK);
  EXPECT_EQ(Dev->GetPresentParameters().BackBufferWidth, 32u);
  Viewport vp;
  Dev->GetViewport(vp);
  EXPECT_EQ(vp.Width, 32u);
  EXPECT_EQ(vp.Height, 16u);

  // render targets work again
  rt = MakeTarget(8, 8);
  ASSERT_NE(rt, nullptr);
  Bind(rt);
  ASSERT_EQ(Dev->Clear(0, nullptr, CLEAR_TARGET, 0xFF123456u, 1.0f, 0), RES_OK);
  EXPECT_EQ(Read(rt)[63], 0xFF123456u);
  ASSERT_EQ(Dev->Clear(0, nullptr, CLEAR_TARGET, 0xFF654321u, 1.0f, 0), RES_OK);
  Surface *bb2 = nullptr;
  ASSERT_EQ(Dev->GetBackBuffer(0, 0, &bb2), RES_OK);
  Dev->SetRenderTarget(0, bb2);
  Dev->Clear(0, nullptr, CLEAR_TARGET, 0xFF0000FFu, 1.0f, 0);
  std::vector<uint32_t> px = Read(bb2);
  EXPECT_EQ(px.size(), 32u * 16u);
  EXPECT_EQ(px[0], 0xFF0000FFu);
  bb2->Release();
  EXPECT_EQ(Dev->Present(), RES_OK);
  rt->Release();
}

TEST_F(GpuDevice, QueriesReportCompletion)
{
  Query *q = nullptr;
  ASSERT_EQ(Dev->CreateQuery(QUERY_EVENT, &q), RES_OK);
  int32_t done = 0;
  EXPECT_EQ(q->GetData(&done, 4, 0), ERR_INVALIDCALL);  // not issued
  ASSERT_EQ(q->Issue(ISSUE_END), RES_OK);
  Result r;
  while ((r = q->GetData(&done, 4, GETDATA_FLUSH)) == RES_FALSE)
  {
  }
  EXPECT_EQ(r, RES_OK);
  EXPECT_EQ(done, 1);
  q->Release();
  ASSERT_EQ(Dev->CreateQuery(QUERY_OCCLUSION, &q), RES_OK);
  EXPECT_EQ(q->Issue(0), ERR_INVALIDCALL);
  q->Release();
  EXPECT_EQ(Dev->CreateQuery(QueryType(3), &q), ERR_NOTAVAILABLE);
}

TEST_F(GpuDevice, ShaderConstantsAreRegisterFiles)
{
  float c[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_EQ(Dev->SetVertexShaderConstantF(254, c, 2), RES_OK);
  EXPECT_EQ(Dev->SetVertexShaderConstantF(255, c, 2), ERR_INVALIDCALL);
  EXPECT_EQ(Dev->SetPixelShaderConstantF(223, c, 2), ERR_INVALIDCALL);
  ASSERT_EQ(Dev->SetPixelShaderConstantF(222, c, 2), RES_OK);
  float back[8] = {};
  ASSERT_EQ(Dev->GetVertexShaderConstantF(254, back, 2), RES_OK);
  EXPECT_EQ(back[7], 8.0f);
  int32_t b[2] = {5, 0};
  EXPECT_EQ(Dev->SetPixelShaderConstantB(15, b, 2), ERR_INVALIDCALL);
  EXPECT_EQ(Dev->SetPixelShaderConstantB(14, b, 2), RES_OK);
}

TEST_F(GpuDevice, KeepsTheFixedFunctionMaterial)
{
  Material m = {{1, 0.5f, 0.25f, 1}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, 8.0f};
  ASSERT_EQ(Dev->SetMaterial(m), RES_OK);
  Material back{};
  Dev->GetMaterial(back);
  EXPECT_EQ(back.Diffuse.G, 0.5f);
  EXPECT_EQ(back.Power, 8.0f);
}

TEST_F(GpuObjectTest, DrawsIntoAWindow)
{
  SDL_Window *w = SDL_CreateWindow("gpu test", 0, 0, 40, 30, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  ASSERT_NE(w, nullptr) << SDL_GetError();
  PresentParameters pp;  // size 0: the window's
  pp.PresentationInterval = PRESENT_INTERVAL_IMMEDIATE;
  Device *dev = nullptr;
  ASSERT_EQ(Obj->CreateDevice(0, DEVTYPE_HAL, w, CREATE_HARDWARE_VERTEXPROCESSING, pp, &dev), RES_OK);
  EXPECT_EQ(pp.BackBufferWidth, 40u);
  EXPECT_EQ(pp.BackBufferHeight, 30u);
  EXPECT_EQ(dev->Window(), w);
  ASSERT_EQ(dev->Clear(0, nullptr, CLEAR_TARGET, 0xFF336699u, 1.0f, 0), RES_OK);
  ASSERT_EQ(dev->Present(), RES_OK);
  SwapChain *chain = nullptr;
  ASSERT_EQ(dev->GetSwapChain(0, &chain), RES_OK);
  EXPECT_EQ(chain->Present(), RES_OK);
  Surface *bb = nullptr;
  ASSERT_EQ(chain->GetBackBuffer(0, &bb), RES_OK);
  SurfaceDesc d;
  bb->GetDesc(d);
  EXPECT_EQ(d.Width, 40u);
  bb->Release();
  chain->Release();
  EXPECT_EQ(dev->GetSwapChain(1, &chain), ERR_INVALIDCALL);
  EXPECT_EQ(dev->Release(), 0u);
  SDL_DestroyWindow(w);
}

TEST_F(GpuObjectTest, TwoDevicesKeepTheirOwnContexts)
{
  PresentParameters pp;
  pp.BackBufferWidth = pp.BackBufferHeight = 4;
  Device *a = nullptr, *b = nullptr;
  ASSERT_EQ(Obj->CreateHeadlessDevice(pp, &a), RES_OK);
  ASSERT_EQ(Obj->CreateHeadlessDevice(pp, &b), RES_OK);
  a->Clear(0, nullptr, CLEAR_TARGET, 0xFF0000FFu, 1.0f, 0);
  b->Clear(0, nullptr, CLEAR_TARGET, 0xFFFF0000u, 1.0f, 0);
  for (Device *dev : {a, b})
  {
    Surface *bb = nullptr, *sys = nullptr;
    dev->GetBackBuffer(0, 0, &bb);
    dev->CreateOffscreenPlainSurface(4, 4, FMT_A8R8G8B8, POOL_SYSTEMMEM, &sys);
    ASSERT_EQ(dev->GetRenderTargetData(bb, sys), RES_OK);
    EXPECT_EQ(dev->GetRenderTargetData(bb, nullptr), ERR_INVALIDCALL);
    LockedRect lr;
    sys->LockRect(lr, nullptr, 0);
    EXPECT_EQ(*static_cast<uint32_t *>(lr.Bits), dev == a ? 0xFF0000FFu : 0xFFFF0000u);
    sys->UnlockRect();
    // a surface of one device is refused by the other
    Device *other = dev == a ? b : a;
    EXPECT_EQ(other->SetRenderTarget(0, bb), ERR_INVALIDCALL);
    sys->Release();
    bb->Release();
  }
  a->Release();
  b->Release();
}

namespace
{
// Largest channel difference between pixels and their encoded-then-decoded form.
int RoundTripError(Format f, const std::vector<uint32_t> &px, int w, int h, bool dither)
{
  std::vector<uint8_t> blocks(size_t(FormatPitch(f, w)) * FormatRows(f, h));
  EXPECT_TRUE(EncodeBlocks(f, px.data(), w, h, w, dither, blocks.data()));
  std::vector<uint32_t> back(px.size());
  EXPECT_TRUE(DecodeBlocks(f, blocks.data(), w, h, back.data()));
  int worst = 0;
  for (size_t i = 0; i < px.size(); i++)
    for (int s = 0; s < 32; s += 8)
    {
      if (f == FMT_DXT1 && s == 24)
        continue;
      worst = std::max(worst, std::abs(Channel(px[i], s) - Channel(back[i], s)));
    }
  return worst;
}
}

TEST(GpuBlockEncoder, SmoothPicturesSurviveTheRoundTrip)
{
  const int w = 16, h = 12;
  std::vector<uint32_t> px(w * h);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++)
    {
      // colours on one line through colour space, alpha across; a block spans about 60 steps
      // of red, so four palette entries leave up to 10 plus the 5:6:5 rounding
      uint32_t t = uint32_t(x + y) * 255 / (w + h - 2);
      px[y * w + x] = uint32_t(x * 16) << 24 | (255 - t) << 16 | (t / 2 + 40) << 8 | t;
    }
  for (Format f : {FMT_DXT3, FMT_DXT5})
    EXPECT_LE(RoundTripError(f, px, w, h, false), 12) << f;
  for (uint32_t &p : px)
    p |= 0xFF000000u;
  EXPECT_LE(RoundTripError(FMT_DXT1, px, w, h, false), 12);
  // a flat colour comes back as its 5:6:5 form
  std::vector<uint32_t> flat(16, 0xFF336699u);
  EXPECT_LE(RoundTripError(FMT_DXT1, flat, 4, 4, false), 4);
  // sizes that are not whole blocks
  std::vector<uint32_t> odd(5 * 3, 0xFF00FF00u);
  EXPECT_LE(RoundTripError(FMT_DXT5, odd, 5, 3, true), 0);
  EXPECT_FALSE(EncodeBlocks(FMT_A8R8G8B8, odd.data(), 5, 3, 5, false, nullptr));
  EXPECT_FALSE(EncodeBlocks(FMT_DXT1, odd.data(), 5, 3, 4, false, nullptr));  // pitch below the width
}

TEST(GpuBlockEncoder, Dxt1TransparencyAndDither)
{
  std::vector<uint32_t> px(16, 0xFFFF0000u);
  px[5] = 0x7FFF0000u;  // below half: transparent
  px[6] = 0x80FF0000u;  // half: opaque
  uint8_t block[8];
  ASSERT_TRUE(EncodeBlocks(FMT_DXT1, px.data(), 4, 4, 4, false, block));
  uint32_t back[16];
  ASSERT_TRUE(DecodeBlocks(FMT_DXT1, block, 4, 4, back));
  EXPECT_EQ(back[5], 0u);
  EXPECT_EQ(back[6], 0xFFFF0000u);
  EXPECT_EQ(back[0], 0xFFFF0000u);

  // a dark grey between palette entries: dithering keeps the block's average closer
  std::vector<uint32_t> grey(16, 0xFF404040u);
  grey[0] = 0xFF000000u;
  grey[15] = 0xFFFFFFFFu;
  auto average = [&](bool dither) {
    ASSERT_TRUE(EncodeBlocks(FMT_DXT1, grey.data(), 4, 4, 4, dither, block));
    DecodeBlocks(FMT_DXT1, block, 4, 4, back);
  };
  double want = 0, plain = 0, dithered = 0;
  for (int i = 0; i < 16; i++)
    want += Channel(grey[i], 8);
  average(false);
  for (int i = 0; i < 16; i++)
    plain += Channel(back[i], 8);
  average(true);
  for (int i = 0; i < 16; i++)
    dithered += Channel(back[i], 8);
  EXPECT_LT(std::abs(dithered - want), std::abs(plain - want));
}

TEST_F(GpuDevice, LoadsPixelsIntoBlockSurfaces)
{
  std::vector<uint32_t> px(8 * 8);
  for (int i = 0; i < 64; i++)
    px[i] = 0x00204080u | uint32_t(i * 4) << 24;
  Surface *s = nullptr;
  ASSERT_EQ(Dev->CreateOffscreenPlainSurface(8, 8, FMT_DXT5, POOL_SYSTEMMEM, &s), RES_OK);
  ASSERT_EQ(LoadSurfaceFromPixels(s, px.data(), FMT_A8R8G8B8, 32, 8, 8, false), RES_OK);
  LockedRect lr;
  ASSERT_EQ(s->LockRect(lr, nullptr, LOCK_READONLY), RES_OK);
  EXPECT_EQ(lr.Pitch, 32);
  std::vector<uint32_t> back(64);
  std::vector<uint8_t> blocks(64);
  for (int row = 0; row < 2; row++)
    std::memcpy(&blocks[row * 32], static_cast<uint8_t *>(lr.Bits) + row * lr.Pitch, 32);
  s->UnlockRect();
  ASSERT_TRUE(DecodeBlocks(FMT_DXT5, blocks.data(), 8, 8, back.data()));
  for (int i = 0; i < 64; i++)
    ASSERT_TRUE(Near(back[i], px[i], 8)) << i;
  // X8R8G8B8 pixels read opaque
  ASSERT_EQ(LoadSurfaceFromPixels(s, px.data(), FMT_X8R8G8B8, 32, 8, 8, false), RES_OK);
  s->LockRect(lr, nullptr, LOCK_READONLY);
  EXPECT_EQ(static_cast<uint8_t *>(lr.Bits)[0], 255);  // alpha endpoint
  s->UnlockRect();
  EXPECT_EQ(LoadSurfaceFromPixels(s, px.data(), FMT_A8R8G8B8, 32, 4, 8, false), ERR_INVALIDCALL);  // size differs
  EXPECT_EQ(LoadSurfaceFromPixels(s, px.data(), FMT_R5G6B5, 32, 8, 8, false), ERR_INVALIDCALL);
  s->Release();
  // into a texture level
  Texture *t = nullptr;
  ASSERT_EQ(Dev->CreateTexture(8, 8, 1, 0, FMT_A8R8G8B8, POOL_MANAGED, &t), RES_OK);
  Surface *level = nullptr;
  t->GetSurfaceLevel(0, &level);
  ASSERT_EQ(LoadSurfaceFromPixels(level, px.data(), FMT_A8R8G8B8, 32, 8, 8, false), RES_OK);
  ASSERT_EQ(t->LockRect(0, lr, nullptr, LOCK_READONLY), RES_OK);
  EXPECT_EQ(static_cast<uint32_t *>(lr.Bits)[9], px[9]);
  t->UnlockRect(0);
  level->Release();
  t->Release();
}

TEST_F(GpuDevice, ReadsBackFloatAndSixteenBitTargets)
{
  struct Case { Format Fmt; uint32_t Bytes; };
  for (Case c : {Case{FMT_R16F, 2}, Case{FMT_A32B32G32R32F, 16}, Case{FMT_R5G6B5, 2}, Case{FMT_G16R16, 4}})
  {
    Surface *rt = nullptr, *sys = nullptr;
    ASSERT_EQ(Dev->CreateRenderTarget(4, 2, c.Fmt, MULTISAMPLE_NONE, 0, false, &rt), RES_OK) << c.Fmt;
    ASSERT_EQ(Dev->ColorFill(rt, nullptr, 0xFFFF0000u), RES_OK);
    ASSERT_EQ(Dev->CreateOffscreenPlainSurface(4, 2, c.Fmt, POOL_SYSTEMMEM, &sys), RES_OK);
    ASSERT_EQ(Dev->GetRenderTargetData(rt, sys), RES_OK) << c.Fmt;
    LockedRect lr;
    ASSERT_EQ(sys->LockRect(lr, nullptr, LOCK_READONLY), RES_OK);
    EXPECT_EQ(uint32_t(lr.Pitch), 4 * c.Bytes);
    const uint8_t *p = static_cast<const uint8_t *>(lr.Bits) + lr.Pitch + c.Bytes * 3;  // pixel (3, 1)
    switch (c.Fmt)
    {
    case FMT_R16F: EXPECT_EQ(p[0] | p[1] << 8, 0x3C00); break;  // 1.0
    case FMT_A32B32G32R32F:
    {
      float f[4];
      std::memcpy(f, p, 16);
      EXPECT_EQ(f[0], 1.0f);
      EXPECT_EQ(f[1], 0.0f);
      EXPECT_EQ(f[3], 1.0f);
      break;
    }
    case FMT_R5G6B5: EXPECT_EQ(p[0] | p[1] << 8, 0xF800); break;
    default: EXPECT_EQ(p[0] | p[1] << 8 | p[2] << 16 | p[3] << 24, 0x0000FFFF); break;  // red in the low word
    }
    sys->UnlockRect();
    sys->Release();
    rt->Release();
  }
}

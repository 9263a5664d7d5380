// The device without shaders: the entry object, clears, block formats, read-back and the
// lost-device sequence.

#include "gpu_fixture.hpp"

#include <cstdlib>

#include <SDL2/SDL.h>

using namespace gputest;

// DXT blocks built by hand, decoded by the CPU decoder.
TEST(GpuFormats, DecodesBlocks)
{
  // DXT1: colour 0 pure red (0xF800), colour 1 pure blue (0x001F); c0 > c1: four-colour mode.
  // Row 0 indices 0,1,2,3; other rows index 0.
  uint8_t dxt1[8] = {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0x00, 0x00, 0x00};
  uint32_t px[16];
  ASSERT_TRUE(DecodeBlocks(FMT_DXT1, dxt1, 4, 4, px));
  // the third and fourth colours: 2/3 red + 1/3 blue, and the other way round
  EXPECT_EQ(std::vector<uint32_t>(px, px + 5), (std::vector<uint32_t>{0xFFFF0000u, 0xFF0000FFu, 0xFFAA0055u, 0xFF5500AAu, 0xFFFF0000u}));
  // c0 <= c1: three colours and transparent black at index 3
  uint8_t punch[8] = {0x1F, 0x00, 0x00, 0xF8, 0xE4, 0x00, 0x00, 0x00};
  ASSERT_TRUE(DecodeBlocks(FMT_DXT1, punch, 4, 4, px));
  EXPECT_TRUE(px[2] == 0xFF7F007Fu && px[3] == 0x00000000u) << std::hex << px[2] << " " << px[3];
  // DXT5: alpha 255 and 0 with eight-value interpolation; index 1 in pixel 0, 0 in pixel 1,
  // index 2 (6/7 a0 + 1/7 a1) in pixel 2
  uint8_t dxt5[16] = {255, 0, 0x01 | 0x00 << 3 | 0x2 << 6, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
  ASSERT_TRUE(DecodeBlocks(FMT_DXT5, dxt5, 4, 4, px));
  EXPECT_EQ((std::vector<uint32_t>{px[0] >> 24, px[1] >> 24, px[2] >> 24}), (std::vector<uint32_t>{0, 255, 218}));
  EXPECT_EQ(px[0] & 0xFFFFFF, 0xFFFFFFu);
  // DXT3: explicit 4-bit alpha
  uint8_t dxt3[16] = {0x0F, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  ASSERT_TRUE(DecodeBlocks(FMT_DXT3, dxt3, 4, 4, px));
  EXPECT_TRUE(px[0] >> 24 == 255u && px[1] >> 24 == 0u);
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

using GpuDevice = GpuTest;

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
  ExpectPixels(px, {{17 * 64 + 9, 0xFFFF0000u}, {17 * 64 + 10, 0xFF00FF00u}, {17 * 64 + 17, 0xFF00FF00u},
                    {17 * 64 + 18, 0xFF000000u}, {16 * 64 + 12, 0xFFFF0000u}});
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
  Viewport vp;
  Dev->GetViewport(vp);
  EXPECT_TRUE(Dev->GetPresentParameters().BackBufferWidth == 32u && vp.Width == 32u && vp.Height == 16u);

  // render targets work again
  rt = MakeTarget(8, 8);
  ASSERT_NE(rt, nullptr);
  Bind(rt);
  ASSERT_EQ(Dev->Clear(0, nullptr, CLEAR_TARGET, 0xFF123456u, 1.0f, 0), RES_OK);
  EXPECT_EQ(Read(rt)[63], 0xFF123456u);
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

TEST_F(GpuObjectTest, DrawsIntoAWindowOfItsClientSize)
{
  SDL_Window *w = SDL_CreateWindow("gpu test", 0, 0, 40, 30, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  ASSERT_NE(w, nullptr) << SDL_GetError();
  // the client size is the window's drawable size; without a window it is none
  int cw = -1, ch = -1, dw = 0, dh = 0;
  EXPECT_EQ(Obj->GetClientSize(nullptr, cw, ch), ERR_INVALIDCALL);
  EXPECT_EQ(cw, 0);
  EXPECT_EQ(ch, 0);
  ASSERT_EQ(Obj->GetClientSize(w, cw, ch), RES_OK);
  SDL_GL_GetDrawableSize(w, &dw, &dh);
  EXPECT_EQ(cw, dw);
  EXPECT_EQ(ch, dh);
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

// A managed texture keeps no copy of an uploaded level: a later lock, of part of the level
// or to read it, finds what was uploaded, in colour, block and float formats alike.
TEST_F(GpuDevice, LevelsLockedAgainComeBackAsUploaded)
{
  struct Case { Format Fmt; int TexelBytes; };   // block formats: bytes per 4 x 4 block
  for (Case c : {Case{FMT_A8R8G8B8, 4}, Case{FMT_DXT1, 8}, Case{FMT_DXT5, 16}, Case{FMT_R32F, 4}})
  {
    Texture *t = nullptr;
    ASSERT_EQ(Dev->CreateTexture(16, 16, 2, 0, c.Fmt, POOL_MANAGED, &t), RES_OK);
    const bool blocks = c.Fmt == FMT_DXT1 || c.Fmt == FMT_DXT5;
    const int rows = blocks ? 4 : 16, rowBytes = (blocks ? 4 : 16) * c.TexelBytes;
    std::vector<uint8_t> bytes(size_t(rows) * rowBytes);
    for (size_t i = 0; i < bytes.size(); i++)
      bytes[i] = uint8_t(i * 7 + 3);
    if (c.Fmt == FMT_R32F)   // finite floats
      for (size_t i = 3; i < bytes.size(); i += 4)
        bytes[i] = 0x3F;
    Fill(t, bytes.data(), rowBytes, rows);
    Fill(t, bytes.data(), rowBytes, rows);   // locked again: kept from here on
    // a second texture locked once more, in part: the rest of the level stays
    Texture *u = nullptr;
    ASSERT_EQ(Dev->CreateTexture(16, 16, 1, 0, c.Fmt, POOL_MANAGED, &u), RES_OK);
    Fill(u, bytes.data(), rowBytes, rows);
    const Rect corner = {4, 4, 8, 8};
    LockedRect lr;
    ASSERT_EQ(u->LockRect(0, lr, &corner, 0), RES_OK);
    std::memset(lr.Bits, 0x3F, size_t(blocks ? c.TexelBytes : 4 * c.TexelBytes));
    ASSERT_EQ(u->UnlockRect(0), RES_OK);
    std::vector<uint8_t> changed = bytes;
    const size_t at = blocks ? size_t(rowBytes + c.TexelBytes) : size_t(4 * rowBytes + 4 * c.TexelBytes);
    std::fill_n(changed.begin() + std::ptrdiff_t(at), blocks ? c.TexelBytes : 4 * c.TexelBytes, uint8_t(0x3F));
    for (Texture *x : {t, u})
    {
      const std::vector<uint8_t> &expect = x == t ? bytes : changed;
      ASSERT_EQ(x->LockRect(0, lr, nullptr, LOCK_READONLY), RES_OK);
      for (int y = 0; y < rows; y++)
        EXPECT_EQ(std::memcmp(static_cast<uint8_t *>(lr.Bits) + size_t(y) * lr.Pitch, &expect[size_t(y) * rowBytes], size_t(rowBytes)), 0)
            << "format " << c.Fmt << " row " << y << (x == t ? " of the texture locked twice" : "");
      x->UnlockRect(0);
    }
    t->Release();
    u->Release();
  }
}

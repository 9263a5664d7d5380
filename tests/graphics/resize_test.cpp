// The device's lifetime: the back end over the real gpu device ended and started again at
// another window size and reset after a resize, and texture objects that outlive the device.

#include "backend_util.hpp"

#include "platform/text/utf.hpp"
#include "platform/window/window.hpp"

#include <SDL2/SDL.h>

#include <memory>

namespace
{
class Resized : public testing::Test
{
protected:
  std::unique_ptr<plat::Window> Win;

  void TearDown() override
  {
    if(sIsGfxActive()) StopGraphics();
    Win.reset();
  }

  // A window of the size and a device on it; false when there is no display. The screen
  // mode is left as the last device had it, as when the show makes its window again.
  bool Start(sInt w, sInt h)
  {
    Win = StartOnWindow(w, h);
    return Win && sIsGfxActive();
  }

  // Clears the screen, clears a window rectangle in another colour and checks both.
  void DrawAndCheck(sInt w, sInt h, uint32_t back, uint32_t front)
  {
    ASSERT_TRUE(sRender3DBegin());
    sSetScreenTarget(nullptr, sRTF_CLEAR_ALL, 0xff000000 | back);
    sRect r{w / 4, h / 4, w / 2, h / 2};
    sRenderTargetSpec spec(sRTF_CLEAR_COLOR | sRTF_CLEAR_WINDOW, 0xff000000 | front, &r);
    sSetTarget(spec);
    sSetScreenTarget(nullptr, 0, 0);
    sInt rw = 0, rh = 0;
    std::vector<uint32_t> px = ReadTarget(rw, rh);
    sRender3DEnd(1);
    ASSERT_EQ(rw, w);
    ASSERT_EQ(rh, h);
    ASSERT_EQ(px.size(), size_t(w) * h);
    EXPECT_EQ(px[0], back);
    EXPECT_EQ(px[size_t(w) * h - 1], back);
    EXPECT_EQ(px[size_t(h / 4) * w + w / 4], front);
    EXPECT_EQ(px[size_t(h / 2 - 1) * w + w / 2 - 1], front);
    EXPECT_EQ(px[size_t(h / 2) * w + w / 2], back);
  }
};

TEST_F(Resized, DeviceStartedAgainAtAnotherSize)
{
  CurrentScreenMode = sScreenMode();
  if(!Start(64, 48)) GTEST_SKIP() << "no graphics device";
  DrawAndCheck(64, 48, 0x336699, 0xff8000);
  // textures kept past the device are empty and safe to delete under the next one
  sTexture2D *checker = MakeChecker();
  sTexture2D *rt = new sTexture2D(16, 16, sTEX_ARGB8888 | sTEX_RENDERTARGET | sTEX_NOMIPMAPS);
  sExitGfx();   // the device and its window end; the screen mode stays
  sSetGfxWindow(nullptr);
  Win.reset();
  EXPECT_EQ(checker->Tex, nullptr);
  EXPECT_EQ(rt->Tex, nullptr);

  // the screen mode still holds 64 x 48: the new device must follow its window
  ASSERT_TRUE(Start(100, 70));
  sInt targets = sGetRenderTargetCount();
  delete rt;
  delete checker;
  EXPECT_EQ(sGetRenderTargetCount(), targets);
  sInt sx = 0, sy = 0;
  sGetScreenSize(sx, sy);
  EXPECT_EQ(sx, 100);
  EXPECT_EQ(sy, 70);
  EXPECT_EQ(sGetScreenDepthBuffer()->SizeY, 70);
  DrawAndCheck(100, 70, 0x204060, 0x00ff00);
}

TEST_F(Resized, ResetToTheWindowsNewSize)
{
  CurrentScreenMode = sScreenMode();
  if(!Start(64, 48)) GTEST_SKIP() << "no graphics device";
  sTexture2D *checker = MakeChecker();
  sTexture2D *rt = new sTexture2D(16, 16, sTEX_ARGB8888 | sTEX_RENDERTARGET | sTEX_NOMIPMAPS);
  sInt targets = sGetRenderTargetCount();
  DrawAndCheck(64, 48, 0x336699, 0xff8000);

  SDL_SetWindowSize(Win->GetSdlWindow(), 96, 80);
  int w = 0, h = 0;   // the window's size in pixels, which the back buffer must match
  SDL_GL_GetDrawableSize(Win->GetSdlWindow(), &w, &h);
  if(w != 96 || h != 80) GTEST_SKIP() << "the window manager kept the window at " << w << " x " << h;
  sSetScreenSize(w, h);
  EXPECT_FALSE(sRender3DBegin());   // outside the paint message a restore waits
  sInitGfx(0, w, h);
  ASSERT_TRUE(sIsGfxActive());
  EXPECT_EQ(sGetRenderTargetCount(), targets);
  EXPECT_EQ(sGetScreenDepthBuffer()->SizeX, 96);
  EXPECT_EQ(sGetScreenDepthBuffer()->SizeY, 80);
  EXPECT_GE(sGetLargeDepthBuffer()->SizeX, 96);
  EXPECT_GE(sGetLargeDepthBuffer()->SizeY, 80);
  DrawAndCheck(96, 80, 0x204060, 0x00ff00);

  // a render target made before the reset is filled again and read back at its size
  ASSERT_TRUE(sRender3DBegin());
  sRenderTargetSpec spec(sRTF_CLEAR_ALL, 0xff808080, nullptr, rt, sGetLargeDepthBuffer());
  sSetTarget(spec);
  sInt rw = 0, rh = 0;
  std::vector<uint32_t> px = ReadTarget(rw, rh);
  EXPECT_EQ(rw, 16);
  EXPECT_EQ(rh, 16);
  ASSERT_EQ(px.size(), 16u * 16u);
  EXPECT_EQ(px[0], 0x808080u);
  EXPECT_EQ(px[255], 0x808080u);
  sSetScreenTarget(nullptr, sRTF_CLEAR_ALL, 0xff000000);
  px = ReadTarget(rw, rh);
  EXPECT_EQ(rw, 96);
  EXPECT_EQ(px[size_t(79) * 96 + 95], 0u);
  sRender3DEnd(1);

  delete rt;
  delete checker;
}

// Textures kept past the end of the device hold nothing of it: deleting them later, after
// another device has started, hands none of the old handles to the new device.
TEST(DeviceEnd, TexturesOutlivingTheDeviceLetGoOfIt)
{
  StartRecording();
  sInt targetsBefore = sGetRenderTargetCount();
  auto *plain = new sTexture2D(16, 16, sTEX_ARGB8888);
  auto *rt = new sTexture2D(32, 32, sTEX_ARGB8888 | sTEX_RENDERTARGET | sTEX_NOMIPMAPS);
  auto *proxy = new sTextureProxy;
  proxy->Link(rt);
  ASSERT_NE(plain->Tex, nullptr);
  ASSERT_NE(rt->Tex, nullptr);
  ASSERT_NE(proxy->Tex, nullptr);
  EXPECT_EQ(sGetRenderTargetCount(), targetsBefore + 1);

  StopGraphics();
  for(sTextureBase *t : {static_cast<sTextureBase *>(plain), static_cast<sTextureBase *>(rt),
                         static_cast<sTextureBase *>(proxy)})
  {
    EXPECT_EQ(t->Tex, nullptr);
    EXPECT_EQ(t->Surf2D, nullptr);
    EXPECT_EQ(t->MultiSurf2D, nullptr);
  }
  EXPECT_EQ(rt->RTIndex, -1);
  EXPECT_EQ(sGetRenderTargetCount(), 0);

  // another device: its targets are its own, and deleting the old objects touches nothing
  RecApi *api2 = StartRecording();
  RecDevice *dev2 = api2->Device;
  sInt targets2 = sGetRenderTargetCount();
  int liveTex2 = dev2->Live("tex");
  size_t logBefore = dev2->Log.size();
  delete proxy;
  delete rt;
  delete plain;
  EXPECT_EQ(dev2->Live("tex"), liveTex2);
  EXPECT_EQ(sGetRenderTargetCount(), targets2);
  EXPECT_TRUE(dev2->Lines("ERROR").empty());
  EXPECT_EQ(dev2->Log.size(), logBefore);
  StopGraphics();
}

// A geometry kept past the end of the device is reported, and letting go of it after
// another device started neither stops the program nor takes a reference of the new
// device's buffers.
TEST(DeviceEnd, GeometryOutlivingTheDeviceLetsGoSafely)
{
  StartRecording();
  void *p = nullptr;
  auto *stat = new sGeometry(sGF_TRILIST, sVertexFormatPosCol);
  stat->BeginLoadVB(3, sGD_STATIC, &p);
  stat->EndLoadVB();
  auto *stream = new sGeometry(sGF_TRILIST, sVertexFormatPosCol);
  stream->BeginLoadVB(3, sGD_STREAM, &p);
  stream->EndLoadVB();
  {
    LogCapture log;
    StopGraphics();
    EXPECT_EQ(log.Count("GeoBuffers not freed"), 2);
  }

  LogCapture log;
  RecApi *api = StartRecording();
  EXPECT_EQ(log.Count("GeoBuffers not freed"), 0);   // reported once, at the end
  // the new device's own static geometry: its buffer must keep its one reference
  sGeometry mine(sGF_TRILIST, sVertexFormatPosCol);
  mine.BeginLoadVB(3, sGD_STATIC, &p);
  mine.EndLoadVB();
  sGeoBuffer *buffer = mine.VertexPart[0].Buffer;
  ASSERT_NE(buffer, nullptr);
  EXPECT_NE(buffer, stat->VertexPart[0].Buffer);
  EXPECT_NE(buffer, stream->VertexPart[0].Buffer);
  sInt refs = buffer->RefCount;
  delete stat;
  delete stream;
  EXPECT_EQ(buffer->RefCount, refs);
  EXPECT_GT(buffer->Used, 0);
  EXPECT_TRUE(api->Device->Lines("ERROR").empty());

  // their entries are free again for later buffers
  mine.VertexPart[0].Release();
  StopGraphics();
  EXPECT_EQ(sGetGeoBufferCount(), 0);
}

// A shader kept past the end of the device holds nothing of it, and releasing it after
// another device started leaves that device's shader list as it was.
TEST(DeviceEnd, ShaderOutlivingTheDeviceLeavesTheNextListAlone)
{
  const std::vector<uint32_t> vs1 = Asm("vs_2_0\ndcl_position v0\nmov oPos, v0\n");
  const std::vector<uint32_t> vs2 = Asm("vs_2_0\ndcl_position v0\nadd oPos, v0, v0\n");
  auto bytes = [](const std::vector<uint32_t> &v) { return reinterpret_cast<const sU8 *>(v.data()); };
  const sInt n1 = sInt(vs1.size() * 4), n2 = sInt(vs2.size() * 4);

  StartRecording();
  sShader *old = sCreateShader(sSTF_VERTEX | sSTF_HLSL23, bytes(vs1), n1);
  ASSERT_NE(old->Handle, nullptr);
  StopGraphics();
  EXPECT_EQ(old->Handle, nullptr);

  RecApi *api = StartRecording();
  sInt before = sGetShaderCount();
  sShader *a = sCreateShader(sSTF_VERTEX | sSTF_HLSL23, bytes(vs1), n1);
  sShader *b = sCreateShader(sSTF_VERTEX | sSTF_HLSL23, bytes(vs2), n2);
  EXPECT_NE(a, old);   // made again on this device
  EXPECT_EQ(sGetShaderCount(), before + 2);
  sShaderRelease(old);
  EXPECT_EQ(sGetShaderCount(), before + 2);
  // the list still finds and unlinks both of its shaders
  EXPECT_EQ(sCreateShader(sSTF_VERTEX | sSTF_HLSL23, bytes(vs1), n1), a);
  EXPECT_EQ(sCreateShader(sSTF_VERTEX | sSTF_HLSL23, bytes(vs2), n2), b);
  sShaderRelease(a);
  sShaderRelease(a);
  sShaderRelease(b);
  sShaderRelease(b);
  EXPECT_EQ(sGetShaderCount(), before);
  EXPECT_EQ(api->Device->Live("vs"), 0);
  EXPECT_TRUE(api->Device->Lines("ERROR").empty());
  StopGraphics();
}

}

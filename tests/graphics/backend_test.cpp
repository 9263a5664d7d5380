// The back end over the recording device: device start, frames, render targets, the
// geometry pool and drawing, textures and the lost-device restore.

#include "common/check.hpp"
#include "backend_util.hpp"

#include <cstring>

using namespace plat::gpu;

namespace
{
// --- device start

TEST(DeviceStart, CapabilitiesAndScreenBuffers)
{
  RecApi *api = StartRecording();
  RecDevice *dev = api->Device;
  sGraphicsCaps caps;
  sGetGraphicsCaps(caps);
  EXPECT_EQ(caps.ShaderProfile, 259);
  EXPECT_EQ(caps.Texture2D & (1ull << 13), 1ull << 13);
  EXPECT_EQ(caps.Texture2D & 1, 0u);
  ASSERT_NE(sGetScreenColorBuffer(0), nullptr);
  EXPECT_EQ(sGetScreenColorBuffer(0)->SizeX, 640);
  EXPECT_EQ(sGetScreenDepthBuffer()->Flags & sTEX_FORMAT, sTEX_DEPTH24NOREAD);
  // without multisampling asked for there are no multisampled surfaces
  EXPECT_EQ(sGetScreenColorBuffer(0)->MultiSurf2D, nullptr);
  // the quad index buffer: 8192 quads of 16-bit indices
  EXPECT_EQ(sGetQuadIndex().Count, 0x2000 * 6);
  std::vector<uint8_t> &ib = dev->R(sGetQuadIndex().Buffer->Buffer)->Data[0];
  const uint16_t *idx = reinterpret_cast<const uint16_t *>(ib.data());
  EXPECT_EQ(idx[6], 4);
  EXPECT_EQ(idx[11], 7);
  EXPECT_EQ(idx[0x2000 * 6 - 1], 0x7fff);
  StopGraphics();
}

TEST(DeviceStart, MultisamplingOnAndOff)
{
  RecApi *api = StartRecording(RecConfig(), 0x2000);
  sTexture2D *color = sGetScreenColorBuffer(0);
  ASSERT_NE(color->MultiSurf2D, nullptr);
  EXPECT_NE(sGetScreenDepthBuffer()->MultiSurf2D, nullptr);
  // quality is capped at the device's levels - 1
  EXPECT_EQ(api->Device->R(color->MultiSurf2D)->Quality, 3u);

  // a frame drawn multisampled is resolved into the back buffer at its end
  ASSERT_TRUE(sRender3DBegin());
  sSetScreenTarget(nullptr, 3, 0xff00ff00);
  EXPECT_EQ(color->RTState, 5u);
  api->Device->Log.clear();
  sRender3DEnd(1);
  auto st = api->Device->Lines("StretchRect");
  ASSERT_EQ(st.size(), 1u);
  EXPECT_EQ(st[0], "StretchRect " + api->Device->Name(color->MultiSurf2D) + " -> " +
                     api->Device->Name(color->Surf2D) + " filter 0");
  StopGraphics();

  // a device that refuses multisampling is never asked for a quality level
  RecConfig noMs;
  noMs.Multisample = false;
  api = StartRecording(noMs, 0x2000);
  EXPECT_EQ(sGetScreenColorBuffer(0)->MultiSurf2D, nullptr);
  EXPECT_TRUE(api->Device->Lines("CreateRenderTarget").empty());
  sGraphicsCaps caps;
  sGetGraphicsCaps(caps);
  EXPECT_EQ(caps.MaxMultisampleLevel, -1);
  StopGraphics();
}

TEST(DeviceStart, DepthFormatRoundsAndFallbacks)
{
  RecConfig noD24;
  noD24.RefusedFormats = {FMT_D24S8};
  sScreenMode mode;
  mode.Flags = sSM_VALID | sSM_STENCIL | sSM_DEPTHLOCK | sSM_16BIT;
  mode.SizeX = 320;
  mode.SizeY = 200;
  noD24.RefusedBackBuffers = {FMT_R5G6B5};
  StartRecording(noD24, 0, 0, 0, &mode);
  sScreenMode now;
  sGetScreenMode(now);
  // 16-bit dropped, rows with flags 8 and 16 dropped in later rounds
  EXPECT_EQ(now.Flags & (sSM_16BIT | sSM_DEPTHLOCK | sSM_STENCIL), 0u);
  EXPECT_EQ(DX.DepthFormat, FMT_D32);
  EXPECT_EQ(DX.BackBufferFormat, FMT_A8R8G8B8);
  StopGraphics();

  RecConfig none;
  none.RefusedFormats = {FMT_D32, FMT_D24X8, FMT_D16, FMT_D16_LOCKABLE, FMT_D32F_LOCKABLE, FMT_D24S8};
  EXPECT_EXIT(StartRecording(none), testing::ExitedWithCode(1), "can't find a fitting z-buffer");
}

TEST(DeviceStart, RetryAtSmallSizeAndMultiScreenLimits)
{
  RecConfig failOnce;
  failOnce.FailCreateDevice = 1;
  LogCapture log;
  RecApi *api = StartRecording(failOnce);
  EXPECT_EQ(api->CreateCalls, 2);
  EXPECT_EQ(log.Count("retry d3d 800 x 600"), 1);
  sScreenMode m;
  sGetScreenMode(m);
  EXPECT_EQ(m.SizeX, 800);
  EXPECT_FLOAT_EQ(m.Aspect, 4.0f / 3.0f);
  StopGraphics();

  RecConfig failAll;
  failAll.FailCreateDevice = 2;
  EXPECT_EXIT(StartRecording(failAll), testing::ExitedWithCode(1), "failed to initialize 3d graphics");

  sScreenMode multi;
  multi.Flags = sSM_VALID | sSM_FULLSCREEN | sSM_MULTISCREEN | sSM_STENCIL;
  RecConfig group17;
  group17.AdaptersInGroup = 17;
  EXPECT_EXIT(StartRecording(group17, 0, 0, 0, &multi), testing::ExitedWithCode(1), "up to 17 screens.*support 16");
  RecConfig group1;
  EXPECT_EXIT(StartRecording(group1, 0, 0, 0, &multi), testing::ExitedWithCode(1),
              "Only one video device detected on Recording device");
  RecConfig group16;
  group16.AdaptersInGroup = 16;
  StartRecording(group16, 0, 0, 0, &multi);
  EXPECT_EQ(sGetScreenCount(), 16);
  EXPECT_NE(sGetScreenColorBuffer(15), nullptr);
  EXPECT_EXIT(sGetScreenColorBuffer(16), testing::ExitedWithCode(1), kCheckFailed);
  StopGraphics();
}

TEST(DeviceStart, ScreenInfoForTheSelector)
{
  RecApi *api = StartRecording();
  sScreenInfo info;
  sGetScreenInfo(info, 5, -1);
  EXPECT_EQ(info.Flags, 5u);
  EXPECT_EQ(info.Display, -1);
  ASSERT_EQ(info.Sizes.GetSize(), 2);
  EXPECT_EQ(info.Sizes[0].x, 800);
  EXPECT_EQ(info.Sizes[1].y, 1080);
  ASSERT_EQ(info.RefreshRates.GetSize(), 1);
  EXPECT_EQ(info.RefreshRates[0], 60);
  ASSERT_EQ(info.AspectRatios.GetSize(), 4);
  EXPECT_EQ(info.AspectRatios[0].x, 5);   // 1.25, 1.33, 1.6, 1.78
  EXPECT_EQ(info.AspectRatios[1].x, 4);
  EXPECT_EQ(info.AspectRatios[3].y, 9);
  EXPECT_EQ(info.QualityLevels, 4);
  EXPECT_EQ(info.DesktopSizeX, 1920);
  EXPECT_FLOAT_EQ(info.DesktopAspect, 1920.0f / 1080.0f);
  (void)api;
  info.Clear();
  EXPECT_EQ(info.Sizes.GetSize(), 0);
  StopGraphics();
}

// --- frames and targets

class Targets : public RecordingTest
{
};

TEST_F(Targets, FrameBracketAndRefusals)
{
  LogCapture log;
  ASSERT_TRUE(sRender3DBegin());
  EXPECT_EXIT(sRender3DBegin(), testing::ExitedWithCode(1), kCheckFailed);
  sSetScreenTarget(nullptr, 0, 0);
  sRender3DEnd(1);
  EXPECT_EQ(Dev->Lines("Present").size(), 1u);
  // ending without a frame does nothing
  sRender3DEnd(1);
  EXPECT_EQ(Dev->Lines("Present").size(), 1u);
  EXPECT_EQ(Dev->Lines("EndScene").size(), 1u);
  sGraphicsStats st;
  sGetGraphicsStats(st);
  EXPECT_EQ(st.TextureChanges, 20);

  // a changed size outside the paint message cannot be restored
  sSetScreenSize(320, 240);
  EXPECT_FALSE(sRender3DBegin());
  EXPECT_EQ(log.Count("sRender3DBegin() fail: can not restore"), 1);
  sInitGfx(0, 0, 0);
  ASSERT_TRUE(sRender3DBegin());
  EXPECT_EQ(sGetScreenColorBuffer(0)->SizeX, 320);
  sRender3DEnd(0);
}

TEST_F(Targets, ClearMasksAndWindows)
{
  ASSERT_TRUE(sRender3DBegin());
  sTexture2D rt(64, 32, sTEX_ARGB8888 | sTEX_RENDERTARGET | sTEX_NOMIPMAPS);
  sTexture2D d16(64, 32, sTEX_DEPTH16NOREAD | sTEX_RENDERTARGET | sTEX_NOMIPMAPS);
  Dev->Log.clear();
  sRenderTargetSpec spec(sRTF_CLEAR_ALL, 0x80ff0000, nullptr, &rt, &d16);
  sSetTarget(spec);
  // depth without stencil for a 16-bit depth buffer
  auto clears = Dev->Lines("Clear");
  ASSERT_EQ(clears.size(), 1u);
  EXPECT_EQ(clears[0], "Clear flags 3 color 80ff0000 z 1 stencil 0 all");
  EXPECT_EQ(Dev->Lines("SetViewport").front(), "SetViewport 0 0 64 32");
  EXPECT_EQ(Dev->Lines("RS 174").size(), 2u);

  // without a depth target only colour can be cleared; 0x20 clears the window only
  Dev->Log.clear();
  sRect win{8, 4, 24, 20};
  sRenderTargetSpec spec2(sRTF_CLEAR_ALL | sRTF_CLEAR_WINDOW, 0xff000000, &win, &rt, nullptr);
  sSetTarget(spec2);
  clears = Dev->Lines("Clear");
  ASSERT_EQ(clears.size(), 1u);
  EXPECT_EQ(clears[0], "Clear flags 1 color ff000000 z 1 stencil 0 rect (8,4,24,20)");
  EXPECT_EQ(Dev->Lines("SetScissorRect").back(), "SetScissorRect 8 4 24 20");
  sInt wx, wy;
  sGetWindowSize(wx, wy);
  EXPECT_EQ(wx, 16);

  // binding the same target and window again sends nothing
  Dev->Log.clear();
  sRenderTargetSpec spec3(0, 0, &win, &rt, nullptr);
  sSetTarget(spec3);
  EXPECT_TRUE(Dev->Log.empty());
  sRender3DEnd(0);
}

TEST_F(Targets, SeveralTargetsMustMatch)
{
  ASSERT_TRUE(sRender3DBegin());
  sTexture2D a(32, 32, sTEX_ARGB8888 | sTEX_RENDERTARGET | sTEX_NOMIPMAPS);
  sTexture2D b(32, 32, sTEX_ARGB8888 | sTEX_RENDERTARGET | sTEX_NOMIPMAPS);
  sTexture2D wide(32, 32, sTEX_ARGB16F | sTEX_RENDERTARGET | sTEX_NOMIPMAPS);
  sTexture2D small(16, 32, sTEX_ARGB8888 | sTEX_RENDERTARGET | sTEX_NOMIPMAPS);
  sRenderTargetSpec spec(0, 0, nullptr, &a, nullptr);
  spec.Target[1] = &b;
  Dev->Log.clear();
  sSetTarget(spec);
  EXPECT_EQ(Dev->Lines("SetRenderTarget 1").size(), 1u);
  // going back to one target unbinds the second
  sRenderTargetSpec one(0, 0, nullptr, &a, nullptr);
  sSetTarget(one);
  EXPECT_EQ(Dev->Lines("SetRenderTarget 1 null").size(), 1u);
  spec.Target[1] = &wide;
  EXPECT_EXIT(sSetTarget(spec), testing::ExitedWithCode(1), kCheckFailed);
  spec.Target[1] = &small;
  EXPECT_EXIT(sSetTarget(spec), testing::ExitedWithCode(1), kCheckFailed);
  sRenderTargetSpec none;
  EXPECT_EXIT(sSetTarget(none), testing::ExitedWithCode(1), kCheckFailed);
  sRender3DEnd(0);
  EXPECT_EXIT(sSetTarget(one), testing::ExitedWithCode(1), "Render3DInProgress");
}

TEST_F(Targets, SecondTargetDoesNotOutliveTheFrame)
{
  ASSERT_TRUE(sRender3DBegin());
  sTexture2D a(32, 32, sTEX_ARGB8888 | sTEX_RENDERTARGET | sTEX_NOMIPMAPS);
  sTexture2D b(32, 32, sTEX_ARGB8888 | sTEX_RENDERTARGET | sTEX_NOMIPMAPS);
  sRenderTargetSpec spec(0, 0, nullptr, &a, nullptr);
  spec.Target[1] = &b;
  sSetTarget(spec);
  Dev->Log.clear();
  sRender3DEnd(0);
  EXPECT_EQ(Dev->Lines("SetRenderTarget 1 null").size(), 1u);
}

TEST_F(Targets, RecreatedTexturesAndShadersAreSetAgain)
{
  TestMaterial m;
  sTexture2D tex(8, 8, sTEX_ARGB8888);
  m.Texture[0] = &tex;
  m.Prepare(sVertexFormatPosCol);
  ASSERT_TRUE(sRender3DBegin());
  m.Set(nullptr, 0);
  // the same texture object with a new device texture
  tex.Init(8, 8, sTEX_ARGB8888, 0, 1);
  Dev->Log.clear();
  m.Set(nullptr, 0);
  auto set = Dev->Lines("SetTexture 0");
  ASSERT_EQ(set.size(), 1u);
  EXPECT_EQ(set[0], "SetTexture 0 " + Dev->Name(tex.Tex));
  m.Texture[0] = nullptr;
  sRender3DEnd(0);
}

TEST(TargetsMultisampled, TargetsWithoutMultisampledSurfaceTurnItOff)
{
  RecApi *api = StartRecording(RecConfig(), 0x2000);
  ASSERT_TRUE(sRender3DBegin());
  sTexture2D ms(32, 32, sTEX_ARGB8888 | sTEX_RENDERTARGET | sTEX_NOMIPMAPS | sTEX_MSAA);
  sTexture2D ms2(32, 32, sTEX_ARGB8888 | sTEX_RENDERTARGET | sTEX_NOMIPMAPS | sTEX_MSAA);
  sTexture2D plain(32, 32, sTEX_ARGB8888 | sTEX_RENDERTARGET | sTEX_NOMIPMAPS);
  sRenderTargetSpec spec(sRTF_CLEAR_COLOR, 0, nullptr, &ms, nullptr);
  spec.Target[1] = &plain;
  sSetTarget(spec);
  EXPECT_EQ(ms.RTState, 2u);
  EXPECT_EQ(plain.RTState, 2u);

  sRenderTargetSpec two(sRTF_CLEAR_COLOR, 0, nullptr, &ms, nullptr);
  two.Target[1] = &ms2;
  sSetTarget(two);
  EXPECT_EQ(ms.RTState, 5u);
  // the texture holds the newest content only after a resolve; a copy reads the
  // multisampled surface until then
  sTexture2D dest(32, 32, sTEX_ARGB8888 | sTEX_RENDERTARGET | sTEX_NOMIPMAPS);
  api->Device->Log.clear();
  sCopyTextureSpec copy(1, &dest, &ms);
  sCopyTexture(copy);
  auto st = api->Device->Lines("StretchRect");
  ASSERT_EQ(st.size(), 1u);
  EXPECT_EQ(st[0].rfind("StretchRect " + api->Device->Name(ms.MultiSurf2D), 0), 0u);
  EXPECT_NE(st[0].find("filter 2"), std::string::npos);
  EXPECT_EQ(dest.RTState, 2u);
  // drawing again without clearing keeps multisampling while the surface is newest
  sResolveTexture(&ms);
  EXPECT_EQ(ms.RTState, 7u);
  sRenderTargetSpec again(0, 0, nullptr, &ms, nullptr);
  sSetTarget(again);
  EXPECT_EQ(ms.RTState, 5u);
  sRender3DEnd(0);
  StopGraphics();
}

// --- geometry

class Geometry : public RecordingTest
{
protected:
  TestMaterial Mtrl;
  void SetUp() override
  {
    RecordingTest::SetUp();
    Mtrl.Prepare(sVertexFormatPosCol);
    ASSERT_TRUE(sRender3DBegin());
    Mtrl.Set(nullptr, 0);
    Dev->Log.clear();
  }
  void TearDown() override
  {
    if(sIsRender3DInProgress()) sRender3DEnd(0);
    RecordingTest::TearDown();
  }
};

TEST_F(Geometry, TenThousandQuadsAreTwoDraws)
{
  sGeometry geo(sGF_QUADLIST, sVertexFormatPosCol);
  void *vp;
  geo.BeginLoadVB(40000, sGD_FRAME, &vp);
  geo.EndLoadVB();
  geo.Draw();
  auto draws = Dev->Lines("DIP");
  ASSERT_EQ(draws.size(), 2u);
  EXPECT_EQ(draws[0], "DIP 4 base 0 min 0 verts 32768 start 0 prims 16384");
  EXPECT_EQ(draws[1], "DIP 4 base 32768 min 0 verts 7232 start 0 prims 3616");
  EXPECT_EQ(Dev->Lines("SetIndices").back(), "SetIndices " + Dev->Name(sGetQuadIndex().Buffer->Buffer));
  EXPECT_EQ(sGetFrameStats().Primitives, 20000);

  // given ranges longer than 8192 quads are split as well
  Dev->Log.clear();
  sGeometryRange r[] = {{4, 4 + 32768 + 8}};
  geo.DrawRanges(r, 1);
  draws = Dev->Lines("DIP");
  ASSERT_EQ(draws.size(), 2u);
  EXPECT_EQ(draws[1], "DIP 4 base 32772 min 0 verts 8 start 0 prims 4");
}

TEST_F(Geometry, IndexedNonIndexedInstancedAndEmpty)
{
  sGeometry geo(sGF_TRILIST | sGF_INDEX16, sVertexFormatPosCol);
  void *vp, *ip;
  geo.BeginLoad(sVertexFormatPosCol, sGF_TRILIST | sGF_INDEX16, sGD_STATIC, 100, 300, &vp, &ip);
  geo.EndLoad(90, 270);
  EXPECT_EQ(geo.VertexPart[0].Count, 90);
  EXPECT_EQ(geo.VertexPart[0].Buffer->Used, 90 * 16);
  geo.Draw();
  auto draws = Dev->Lines("DIP");
  ASSERT_EQ(draws.size(), 1u);
  EXPECT_EQ(draws[0], "DIP 4 base 0 min 0 verts 90 start " + std::to_string(geo.IndexPart.Start) + " prims 90");

  Dev->Log.clear();
  sGeometry strip(sGF_TRISTRIP, sVertexFormatPosCol);
  strip.BeginLoadVB(10, sGD_STREAM, &vp);
  strip.EndLoadVB();
  sGeometryRange ranges[] = {{0, 2}, {2, 10}};
  LogCapture log;
  strip.DrawRanges(ranges, 2);
  EXPECT_EQ(log.Count("Draw call with 0 primitives"), 1);
  draws = Dev->Lines("DP ");
  ASSERT_EQ(draws.size(), 1u);
  EXPECT_EQ(draws[0], "DP 5 start " + std::to_string(2 + strip.VertexPart[0].Start) + " prims 6");

  // instancing over two streams
  TestMaterial inst;
  const sU32 codes[] = {sVF_POSITION, sVF_UV5 | sVF_F4 | sVF_STREAM1 | sVertexFormatInstanceFlag, 0};
  sVertexFormat *fmt = sCreateVertexFormat(codes);
  inst.Prepare(fmt);
  inst.Set(nullptr, 0);
  sGeometry ig(sGF_TRILIST | sGF_INDEX16, fmt);
  ig.BeginLoadVB(3, sGD_FRAME, &vp, 0);
  ig.EndLoadVB(-1, 0);
  ig.BeginLoadVB(5, sGD_FRAME, &vp, 1);
  ig.EndLoadVB(-1, 1);
  ig.BeginLoadIB(3, sGD_FRAME, &ip);
  ig.EndLoadIB();
  Dev->Log.clear();
  ig.DrawRanges(nullptr, 0, 5);
  auto freq = Dev->Lines("SetStreamSourceFreq");
  ASSERT_EQ(freq.size(), 2u);
  EXPECT_EQ(freq[0], "SetStreamSourceFreq 0 40000005");
  EXPECT_EQ(freq[1], "SetStreamSourceFreq 1 80000001");
  EXPECT_EQ(sGetFrameStats().Instances, 5);
  // the next plain draw resets the frequencies
  Mtrl.Set(nullptr, 0);
  Dev->Log.clear();
  geo.Draw();
  freq = Dev->Lines("SetStreamSourceFreq");
  ASSERT_EQ(freq.size(), 2u);
  EXPECT_EQ(freq[1], "SetStreamSourceFreq 1 00000001");
  EXPECT_EQ(Dev->Lines("SetStreamSource 1 null").size(), 1u);

  EXPECT_EXIT((DontCheckMtrlPrepare = 0, ig.Draw()), testing::ExitedWithCode(1), "DontCheckMtrlPrepare");
}

TEST_F(Geometry, StreamWrapsAndFrameBuffersAreReused)
{
  void *p1, *p2;
  sGeometry a(sGF_TRILIST, sVertexFormatPosCol), b(sGF_TRILIST, sVertexFormatPosCol);
  a.BeginLoadVB(30000, sGD_STREAM, &p1);
  a.EndLoadVB();
  sGeoBuffer *stream = a.VertexPart[0].Buffer;
  EXPECT_EQ(stream->Alloc, 32768 * 16);
  b.BeginLoadVB(5000, sGD_STREAM, &p2);
  b.EndLoadVB();
  // the rest did not fit: the same buffer wrapped to 0 with a discard
  EXPECT_EQ(b.VertexPart[0].Buffer, stream);
  EXPECT_EQ(b.VertexPart[0].Start, 0);
  EXPECT_EQ(Dev->Lines("LockBuffer " + Dev->Name(stream->Buffer) + " flags 2000").size(), 0u);
  sUnlockGeoBuffers();
  b.BeginLoadVB(100, sGD_STREAM, &p2);
  b.EndLoadVB();
  EXPECT_EQ(Dev->Lines("LockBuffer " + Dev->Name(stream->Buffer) + " flags 1000").size(), 1u);

  // a request larger than a whole buffer gets one of its own
  sGeometry big(sGF_TRILIST, sVertexFormatPosCol);
  big.BeginLoadVB(40000, sGD_STREAM, &p1);
  big.EndLoadVB();
  EXPECT_NE(big.VertexPart[0].Buffer, stream);
  EXPECT_EQ(big.VertexPart[0].Buffer->Alloc, 40000 * 16);

  // two frame reservations share a buffer; after the frame end it is reused from 0
  sGeometry f1(sGF_TRILIST, sVertexFormatPosCol), f2(sGF_TRILIST, sVertexFormatPosCol);
  f1.BeginLoadVB(10, sGD_FRAME, &p1);
  f1.EndLoadVB();
  f2.BeginLoadVB(10, sGD_FRAME, &p2);
  f2.EndLoadVB();
  sGeoBuffer *frame = f1.VertexPart[0].Buffer;
  EXPECT_EQ(f2.VertexPart[0].Buffer, frame);
  EXPECT_EQ(f2.VertexPart[0].Start, 10);
  f1.VertexPart[0].Release();
  f2.VertexPart[0].Release();
  sRender3DEnd(0);
  EXPECT_EQ(frame->Used, 0);
  EXPECT_EQ(stream->Used, stream->Alloc);
  ASSERT_TRUE(sRender3DBegin());
  Dev->Log.clear();
  f1.BeginLoadVB(10, sGD_FRAME, &p1);
  f1.EndLoadVB();
  EXPECT_EQ(f1.VertexPart[0].Buffer, frame);
  EXPECT_EQ(f1.VertexPart[0].Start, 0);
  EXPECT_EQ(Dev->Lines("LockBuffer " + Dev->Name(frame->Buffer) + " flags 2000").size(), 1u);
  // the stream buffer wraps at its next use
  b.BeginLoadVB(10, sGD_STREAM, &p2);
  b.EndLoadVB();
  EXPECT_EQ(b.VertexPart[0].Start, 0);

  EXPECT_EXIT(b.EndLoadVB(11), testing::ExitedWithCode(1), kCheckFailed);
}

TEST_F(Geometry, StaticBufferEmptiesWithItsLastPart)
{
  void *p;
  sInt before = sGetGeoBufferCount();
  sGeometry *a = new sGeometry(sGF_TRILIST, sVertexFormatPosCol);
  a->BeginLoadVB(10, sGD_STATIC, &p);
  a->EndLoadVB();
  sGeoBuffer *gb = a->VertexPart[0].Buffer;
  EXPECT_EQ(gb->Used, 160);
  EXPECT_EQ(sGetGeoBufferCount(), before + 1);
  delete a;
  EXPECT_EQ(gb->RefCount, 0);
  EXPECT_EQ(gb->Used, 0);
}

TEST_F(Geometry, PartsHeldAcrossALostDeviceAreRefilled)
{
  void *p;
  sGeometry held(sGF_TRILIST, sVertexFormatPosCol), stream(sGF_TRILIST, sVertexFormatPosCol);
  held.BeginLoadVB(10, sGD_FRAME, &p);
  held.EndLoadVB();
  stream.BeginLoadVB(10, sGD_STREAM, &p);
  stream.EndLoadVB();
  sGeoBuffer *frame = held.VertexPart[0].Buffer;
  Dev->InjectLostDevice();
  sRender3DEnd(1);
  sInitGfx(0, 0, 0);
  // the device buffer is gone, the entry still counts the part that refers to it
  EXPECT_EQ(frame->Buffer, nullptr);
  EXPECT_EQ(frame->Alloc, 0);
  EXPECT_EQ(frame->RefCount, 1);

  ASSERT_TRUE(sRender3DBegin());
  Mtrl.Set(nullptr, 0);
  // another geometry does not get the entry while the old part still refers to it
  sGeometry other(sGF_TRILIST, sVertexFormatPosCol);
  other.BeginLoadVB(10, sGD_FRAME, &p);
  other.EndLoadVB();
  EXPECT_NE(other.VertexPart[0].Buffer, frame);
  // the owners refill their parts as after every frame
  held.BeginLoadVB(10, sGD_FRAME, &p);
  held.EndLoadVB();
  EXPECT_EQ(frame->RefCount, 0);
  stream.BeginLoadVB(10, sGD_STREAM, &p);
  stream.EndLoadVB();
  EXPECT_NE(held.VertexPart[0].Buffer->Buffer, nullptr);
  held.Draw();
  EXPECT_EQ(Dev->Lines("DP").size(), 1u);
}

TEST_F(Geometry, FiveHundredThirteenthBufferIsFatal)
{
  EXPECT_EXIT(
    {
      LogCapture log;
      void *p;
      static sGeometry geos[600];
      for(int i = 0; i < 600; i++)
      {
        geos[i].Init(sGF_TRILIST, sVertexFormatPosCol);
        geos[i].BeginLoadVB(4, sGD_EXACT, &p);
        geos[i].EndLoadVB();
      }
    },
    testing::ExitedWithCode(1), kCheckFailed);
}

TEST_F(Geometry, BatchRunsShareIndexBuffers)
{
  void *p;
  sGeometry grid(sGF_TRILIST, sVertexFormatPosCol);
  grid.BeginLoadVB(3 * 3 + 8, sGD_FRAME, &p);
  grid.EndLoadVB();
  sGeoBatchRecord quads = {nullptr, grid.VertexPart[0], 2, 2, 1, 9};
  sGeoBatchRecord cells = {&quads, grid.VertexPart[0], 1, 3, 3, 0};
  sGeometry batch(sGF_BATCH, sVertexFormatPosCol);
  batch.Batch = &cells;
  Dev->Log.clear();
  batch.Draw();
  auto draws = Dev->Lines("DIP");
  ASSERT_EQ(draws.size(), 1u);
  // 4 cells and 2 quads: 12 triangles over all vertices of the buffer
  EXPECT_NE(draws[0].find("prims 12"), std::string::npos);
  EXPECT_NE(draws[0].find("verts " + std::to_string(grid.VertexPart[0].Buffer->Used / 16)), std::string::npos);
  sGeometryRange r[] = {{0, 3}};
  EXPECT_EXIT(batch.DrawRanges(r, 1), testing::ExitedWithCode(1), "sGDI_Ranges");
}

// --- textures

using Textures = RecordingTest;

TEST_F(Textures, LevelCounts)
{
  sTexture2D t(256, 256, sTEX_ARGB8888);
  EXPECT_EQ(t.Mipmaps, 9);
  sTexture2D d(256, 256, sTEX_DXT1);
  EXPECT_EQ(d.Mipmaps, 7);
  sTexture2D n(256, 256, sTEX_DXT5 | sTEX_NOMIPMAPS);
  EXPECT_EQ(n.Mipmaps, 1);
  sTexture2D l(256, 64, sTEX_ARGB8888, 3);
  EXPECT_EQ(l.Mipmaps, 3);
  sTexture2D r(256, 64, sTEX_ARGB8888);
  EXPECT_EQ(r.Mipmaps, 7);
  // smaller than one block: no level of its own, the device makes one
  sTexture2D tiny(2, 8, sTEX_DXT1);
  EXPECT_EQ(tiny.Mipmaps, 1);
  EXPECT_EQ(Dev->R(tiny.Tex)->Levels, 4u);   // the whole chain down to 1 x 1

  // unchanged re-initialisation does nothing unless forced
  size_t made = Dev->Lines("CreateTexture").size();
  t.Init(256, 256, sTEX_ARGB8888);
  EXPECT_EQ(Dev->Lines("CreateTexture").size(), made);
  t.Init(256, 256, sTEX_ARGB8888, 0, 1);
  EXPECT_EQ(Dev->Lines("CreateTexture").size(), made + 1);
  EXPECT_EQ(Dev->Live("tex"), 6);

  // screen-relative sizes
  sTexture2D half(1, 2, sTEX_ARGB8888 | sTEX_SCREENSHIFT | sTEX_NOMIPMAPS);
  EXPECT_EQ(half.SizeX, 320);
  EXPECT_EQ(half.SizeY, 120);
}

TEST(TextureFormats, BitsPerPixelOfEveryCode)
{
  const sInt expected[40] = {0,  32, 32, 32, 64, 32, 64, 128, 16, 32, 64, 8,  8,  4,  4,  8,  8,  4,  8, 32,
                             64, 32, 32, 4,  8,  16, 16, 16,  16, 8,  16, 16, 16, 32, 16, 32, 8,  16, 32, 8};
  for(sInt code = 1; code <= 39; code++) EXPECT_EQ(sBitsPerPixel(code), expected[code]) << "code " << code;
  EXPECT_EXIT(sBitsPerPixel(0), testing::ExitedWithCode(1), "format");
  EXPECT_EXIT(sBitsPerPixel(40), testing::ExitedWithCode(1), "format");
}

TEST_F(Textures, AutomaticMipmapsLeaveOneLevelToLoad)
{
  sTexture2D t(64, 32, sTEX_ARGB8888 | sTEX_AUTOMIPMAP);
  EXPECT_EQ(t.Mipmaps, 1);
  // the device was asked for the whole chain (level count 0)
  EXPECT_EQ(Dev->R(t.Tex)->Levels, 7u);
  EXPECT_EQ(Dev->R(t.Tex)->Usage, USAGE_AUTOGENMIPMAP);
  std::vector<uint8_t> data(64 * 32 * 4, 5);
  t.LoadAll(data.data());
  EXPECT_EQ(Dev->Lines("LockTexture").size(), 1u);
}

TEST_F(Textures, MemoryCountFollowsCreationAndRelease)
{
  sU64 base = sGetStaticTextureMem();
  sTexture2D *t = new sTexture2D(16, 8, sTEX_ARGB8888);   // 16x8, 8x4, 4x2, 2x1
  EXPECT_EQ(sGetStaticTextureMem() - base, sU64((128 + 32 + 8 + 2) * 4));
  sTexture2D *d = new sTexture2D(6, 6, sTEX_DXT5 | sTEX_NOMIPMAPS);   // 2 x 2 blocks
  EXPECT_EQ(sGetStaticTextureMem() - base, sU64((128 + 32 + 8 + 2) * 4 + 64));
  delete t;
  delete d;
  EXPECT_EQ(sGetStaticTextureMem(), base);
  ASSERT_TRUE(sRender3DBegin());
  sRender3DEnd(0);
  sGraphicsStats st;
  sGetGraphicsStats(st);
  EXPECT_EQ(st.StaticTextureMem, base);
  EXPECT_GE(st.StaticVertexMem, sU64(0x2000 * 6 * 2));
}

TEST_F(Textures, BlockLevelsRoundToWholeBlocks)
{
  // 6 x 6 DXT1 with three levels: 2 x 2 blocks, 1 x 1 block, 1 x 1 block
  sTexture2D t(6, 6, sTEX_DXT1 | sTEX_NOMIPMAPS);
  std::vector<uint8_t> data(2 * 2 * 8, 0);
  for(size_t i = 0; i < data.size(); i++) data[i] = uint8_t(i + 1);
  t.LoadAll(data.data());
  std::vector<uint8_t> &level0 = Dev->R(t.Tex)->Data[0];
  EXPECT_EQ(level0.size(), 32u);
  EXPECT_EQ(std::memcmp(level0.data(), data.data(), 32), 0);
  EXPECT_EQ(sGetLevelPitch(sTEX_DXT5, 6), 32);
  EXPECT_EQ(sGetLevelRows(sTEX_DXT5, 6), 2);
  EXPECT_EQ(sGetLevelPitch(sTEX_DXT1, 1), 8);
  EXPECT_EQ(sGetLevelPitch(sTEX_RGB565, 3), 6);

  sTexture2D m(8, 12, sTEX_ARGB8888, 0);
  EXPECT_EQ(m.Mipmaps, 4);
  std::vector<uint8_t> all((8 * 12 + 4 * 6 + 2 * 3 + 1 * 1) * 4, 7);
  all.back() = 9;
  m.LoadAll(all.data());
  EXPECT_EQ(Dev->R(m.Tex)->Data[3][3], 9);
}

TEST_F(Textures, RenderTargetRulesAndTable)
{
  EXPECT_EXIT(sTexture2D(64, 64, sTEX_ARGB8888 | sTEX_RENDERTARGET), testing::ExitedWithCode(1),
              kCheckFailed);
  EXPECT_EXIT(sTexture2D(64, 64, sTEX_ARGB8888 | sTEX_RENDERTARGET | sTEX_DYNAMIC | sTEX_NOMIPMAPS),
              testing::ExitedWithCode(1), "!\\(flags & sTEX_DYNAMIC\\)");
  EXPECT_EXIT(sTexture2D(64, 64, sTEX_ARGB8888 | sTEX_MSAA | sTEX_NOMIPMAPS), testing::ExitedWithCode(1),
              "flags & sTEX_RENDERTARGET");
  EXPECT_EXIT(sTexture2D(64, 64, 17), testing::ExitedWithCode(1), "invalid format 17");
  sInt base = sGetRenderTargetCount();
  sTexture2D rt(64, 64, sTEX_ARGB8888 | sTEX_RENDERTARGET, 1);
  sTexture2D dyn(64, 64, sTEX_ARGB8888 | sTEX_DYNAMIC);
  EXPECT_EQ(dyn.Mipmaps, 1);
  EXPECT_EQ(sGetRenderTargetCount(), base + 2);
  EXPECT_EQ(Dev->R(rt.Tex)->Usage, USAGE_RENDERTARGET);
  EXPECT_EQ(Dev->R(dyn.Tex)->Usage, USAGE_DYNAMIC);
  // a dynamic level is locked with discard
  sU8 *p;
  sInt pitch;
  dyn.BeginLoad(p, pitch, 0);
  EXPECT_EQ(pitch, 256);
  EXPECT_EXIT(dyn.BeginLoad(p, pitch, 0), testing::ExitedWithCode(1), kCheckFailed);
  dyn.EndLoad();
  EXPECT_EQ(Dev->Lines("LockTexture").back(), "LockTexture " + Dev->Name(dyn.Tex) + " level 0 flags 2000");
  EXPECT_EXIT(dyn.EndLoad(), testing::ExitedWithCode(1), kCheckFailed);

  EXPECT_EXIT(
    {
      for(int i = 0; i < 300; i++) new sTexture2D(4, 4, sTEX_ARGB8888 | sTEX_DYNAMIC);
    },
    testing::ExitedWithCode(1), "DXRTCount < MAX_RENDERTARGETS");
}

TEST_F(Textures, ReadBackKeptBySizeAndFormat)
{
  ASSERT_TRUE(sRender3DBegin());
  sTexture2D a(32, 16, sTEX_ARGB8888 | sTEX_RENDERTARGET | sTEX_NOMIPMAPS);
  sTexture2D b(32, 16, sTEX_ARGB16F | sTEX_RENDERTARGET | sTEX_NOMIPMAPS);
  const sU8 *data;
  sInt pitch, format;
  sRenderTargetSpec sa(0, 0, nullptr, &a, nullptr);
  sSetTarget(sa);
  sBeginReadScreen(data, pitch, format);
  EXPECT_EQ(format, 1);
  EXPECT_EQ(pitch, 128);
  sEndReadScreen();
  sBeginReadScreen(data, pitch, format);
  sEndReadScreen();
  EXPECT_EQ(Dev->Lines("CreateOffscreenPlainSurface 32 x 16").size(), 1u);
  // the same size in another format needs a surface of that format
  sRenderTargetSpec sb(0, 0, nullptr, &b, nullptr);
  sSetTarget(sb);
  sBeginReadScreen(data, pitch, format);
  EXPECT_EQ(format, 10);
  EXPECT_EQ(pitch, 256);
  sEndReadScreen();
  auto made = Dev->Lines("CreateOffscreenPlainSurface 32 x 16");
  ASSERT_EQ(made.size(), 2u);
  EXPECT_NE(made[1].find("fmt 113"), std::string::npos);
  sRender3DEnd(0);
}

TEST_F(Textures, ProxiesShareAndOutliveTheirTexture)
{
  sTexture2D *t = new sTexture2D(16, 16, sTEX_ARGB8888 | sTEX_RENDERTARGET | sTEX_NOMIPMAPS);
  sTextureProxy p1, p2;
  p1.Link(t);
  p2.Link(t);
  EXPECT_EQ(p1.Tex, t->Tex);
  EXPECT_EQ(Dev->R(t->Tex)->Refs, 3);
  EXPECT_EXIT(p1.OnLostDevice(1), testing::ExitedWithCode(1), "OnLostDevice not supported by this kind of texture");
  delete t;
  EXPECT_EQ(p1.Tex, nullptr);
  EXPECT_EQ(p2.LinkTo, nullptr);
  EXPECT_EQ(Dev->Live("tex"), 0);
}

TEST_F(Textures, PackDXTTransformsPixels)
{
  // code 14: alpha 127 becomes transparent, 128 opaque
  std::vector<uint32_t> px(16, 0x7fffffff);
  for(int i = 8; i < 16; i++) px[i] = 0x80ffffff;
  uint8_t out[8];
  sPackDXT(out, px.data(), 4, 4, 14, 0);
  uint32_t decoded[16];
  ASSERT_TRUE(DecodeBlocks(FMT_DXT1, out, 4, 4, decoded));
  EXPECT_EQ(decoded[0] >> 24, 0u);
  EXPECT_EQ(decoded[15] >> 24, 255u);
  // a 6 x 6 image writes 2 x 2 blocks and no more
  std::vector<uint32_t> img(36, 0xff0000ff);
  std::vector<uint8_t> dest(4 * 16 + 16, 0xcd);
  sPackDXT(dest.data(), img.data(), 6, 6, 16, 1);
  EXPECT_EQ(dest[64], 0xcd);
  uint32_t dec[16];
  ASSERT_TRUE(DecodeBlocks(FMT_DXT5, dest.data() + 48, 4, 4, dec));
  EXPECT_EQ(dec[0], 0xff0000ffu);
  EXPECT_EQ(Dev->Lines("LoadSurfaceFromPixels").back().find("dither 1") != std::string::npos, true);
}

// --- lost device

TEST_F(Textures, LostDeviceRestoresTargetsAndProxiesAndDropsDynamicGeometry)
{
  sTexture2D *rts[5];
  for(int i = 0; i < 5; i++) rts[i] = new sTexture2D(8 << i, 8, sTEX_ARGB8888 | sTEX_RENDERTARGET | sTEX_NOMIPMAPS);
  sTexture2D dyn(32, 32, sTEX_ARGB8888 | sTEX_DYNAMIC);
  sTexture2D managed(32, 32, sTEX_ARGB8888);
  sGpuRes *managedTex = managed.Tex;
  sTextureProxy proxy;
  proxy.Link(rts[0]);
  sGpuRes *oldProxyTex = proxy.Tex;
  sInt count = sGetRenderTargetCount();

  ASSERT_TRUE(sRender3DBegin());
  void *p;
  sGeometry stat(sGF_TRILIST, sVertexFormatPosCol), frame(sGF_TRILIST, sVertexFormatPosCol);
  stat.BeginLoadVB(10, sGD_STATIC, &p);
  stat.EndLoadVB();
  frame.BeginLoadVB(10, sGD_FRAME, &p);
  frame.EndLoadVB();
  sGeoBuffer *staticBuffer = stat.VertexPart[0].Buffer;
  sGpuRes *staticDev = staticBuffer->Buffer;
  frame.VertexPart[0].Release();
  Dev->InjectLostDevice();
  sRender3DEnd(1);
  EXPECT_FALSE(sRender3DBegin());

  LogCapture log;
  sInitGfx(0, 0, 0);   // the restore the paint message would run
  EXPECT_EQ(log.Count("restoring device"), 1);
  EXPECT_EQ(Dev->Resets, 1);
  // every default-pool resource was released before the reset
  EXPECT_EQ(Dev->Lines("Reset").back().find("alive 0") != std::string::npos, true);
  EXPECT_EQ(sGetRenderTargetCount(), count);
  for(int i = 0; i < 5; i++)
  {
    EXPECT_NE(rts[i]->Tex, nullptr);
    EXPECT_EQ(Dev->R(rts[i]->Tex)->W, sU32(8 << i));
  }
  EXPECT_NE(dyn.Tex, nullptr);
  EXPECT_EQ(managed.Tex, managedTex);
  EXPECT_EQ(proxy.Tex, rts[0]->Tex);
  EXPECT_NE(proxy.Tex, oldProxyTex);
  EXPECT_EQ(staticBuffer->Buffer, staticDev);
  EXPECT_EQ(staticBuffer->Used, 160);
  EXPECT_EQ(sGetQuadIndex().Count, 0x2000 * 6);

  ASSERT_TRUE(sRender3DBegin());
  sRender3DEnd(1);
  for(sTexture2D *t : rts) delete t;
}

// A texture whose restore releases another one of the table (as an owner might while the
// device is lost): the restore walks its own copy of the table.
class OwnerTexture : public sTexture2D
{
public:
  sTexture2D *Other = nullptr;
  using sTexture2D::sTexture2D;
  void OnLostDevice(sBool restore) override
  {
    sTexture2D::OnLostDevice(restore);
    if(!restore && Other) Other->ReleasePlatform();
  }
};

TEST_F(Textures, RestoreSurvivesReleasesDuringTheWalk)
{
  OwnerTexture owner(16, 16, sTEX_ARGB8888 | sTEX_RENDERTARGET | sTEX_NOMIPMAPS);
  sTexture2D a(16, 16, sTEX_ARGB8888 | sTEX_RENDERTARGET | sTEX_NOMIPMAPS);
  sTexture2D b(16, 16, sTEX_ARGB8888 | sTEX_RENDERTARGET | sTEX_NOMIPMAPS);
  owner.Other = &a;
  ASSERT_TRUE(sRender3DBegin());
  Dev->InjectLostDevice();
  sRender3DEnd(1);
  sInitGfx(0, 0, 0);
  EXPECT_NE(owner.Tex, nullptr);
  EXPECT_NE(a.Tex, nullptr);
  EXPECT_NE(b.Tex, nullptr);
  EXPECT_EQ(Dev->Lines("ERROR").size(), 0u);
  // releasing twice is harmless
  b.ReleasePlatform();
  b.ReleasePlatform();
  EXPECT_EQ(b.RTIndex, -1);
}
}

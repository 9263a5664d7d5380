// The back end over the recording device: frames, render targets, the geometry pool,
// textures and the lost-device restore.

#include "common/check.hpp"
#include "backend_util.hpp"

using namespace plat::gpu;

namespace
{
using Targets = RecordingTest;

TEST_F(Targets, FrameBracketAndRefusals)
{
  ASSERT_TRUE(sRender3DBegin());
  EXPECT_EXIT(sRender3DBegin(), testing::ExitedWithCode(1), kCheckFailed);
  sSetScreenTarget(nullptr, 0, 0);
  sRender3DEnd(1);
  EXPECT_EQ(Dev->Lines("Present").size(), 1u);
  // ending without a frame does nothing
  sRender3DEnd(1);
  EXPECT_EQ(Dev->Lines("Present").size(), 1u);
  EXPECT_EQ(Dev->Lines("EndScene").size(), 1u);

  // a changed size outside the paint message cannot be restored
  sSetScreenSize(320, 240);
  EXPECT_FALSE(sRender3DBegin());
  sInitGfx(0, 0, 0);
  ASSERT_TRUE(sRender3DBegin());
  EXPECT_EQ(sGetScreenColorBuffer(0)->SizeX, 320);
  sRender3DEnd(0);
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

TEST_F(Geometry, StreamWrapsAndFrameBuffersAreReused)
{
  void *p1, *p2;
  sGeometry a(sGF_TRILIST, sVertexFormatPosCol), b(sGF_TRILIST, sVertexFormatPosCol);
  a.BeginLoadVB(30000, sGD_STREAM, &p1);
  a.EndLoadVB();
  sGeoBuffer *stream = a.VertexPart[0].Buffer;
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
      void *p;
      static sGeometry geos[600];
      for(sGeometry &g : geos)
      {
        g.Init(sGF_TRILIST, sVertexFormatPosCol);
        g.BeginLoadVB(4, sGD_EXACT, &p);
        g.EndLoadVB();
      }
    },
    testing::ExitedWithCode(1), kCheckFailed);
}

TEST(TextureFormatsDeathTest, CodesOutsideTheTableAreFatal)
{
  EXPECT_EXIT(sBitsPerPixel(0), testing::ExitedWithCode(1), "format");
  EXPECT_EXIT(sBitsPerPixel(40), testing::ExitedWithCode(1), "format");
}

using Textures = RecordingTest;

TEST_F(Textures, MipChainsCountedAndAutomaticMipmapsLeaveOneLevelToLoad)
{
  // the texture memory the SYNC panel shows: level 0, then each level a quarter of the one before
  const struct { sU32 Flags; sInt Mipmaps; sU64 Bytes; } chains[] = {
    {sTEX_ARGB8888, 6, 8192 + 2048 + 512 + 128 + 32 + 8},
    {sTEX_ARGB8888 | sTEX_NOMIPMAPS, 1, 8192},
  };
  for(const auto &c : chains)
  {
    sU64 before = sGetStaticTextureMem();
    {
      sTexture2D chain(64, 32, c.Flags);
      EXPECT_EQ(chain.Mipmaps, c.Mipmaps);
      EXPECT_EQ(sGetStaticTextureMem() - before, c.Bytes);
    }
    EXPECT_EQ(sGetStaticTextureMem(), before);
  }

  sTexture2D t(64, 32, sTEX_ARGB8888 | sTEX_AUTOMIPMAP);
  EXPECT_EQ(t.Mipmaps, 1);
  // the device was asked for the whole chain (level count 0)
  EXPECT_EQ(Dev->R(t.Tex)->Levels, 7u);
  EXPECT_EQ(Dev->R(t.Tex)->Usage, USAGE_AUTOGENMIPMAP);
  std::vector<uint8_t> data(64 * 32 * 4, 5);
  t.LoadAll(data.data());
  EXPECT_EQ(Dev->Lines("LockTexture").size(), 1u);
  // with the point flag the device makes its levels without filtering
  EXPECT_TRUE(Dev->Lines("SetAutoGenFilterType").empty());
  sTexture2D p(64, 32, sTEX_ARGB8888 | sTEX_AUTOMIPMAP | sTEX_AUTOMIPMAP_POINT);
  EXPECT_EQ(Dev->Lines("SetAutoGenFilterType"), std::vector<std::string>{"SetAutoGenFilterType " + Dev->Name(p.Tex) + " 1"});
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

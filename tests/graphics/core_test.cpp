// The graphics core over the recording device: vertex formats, shaders, state lists and
// viewport matrices.

#include "common/check.hpp"
#include "backend_util.hpp"

#include "base/memory.hpp"

using namespace plat::gpu;

namespace
{
const std::string VsText = "vs_2_0\ndcl_position v0\nmov oPos, v0\n";

using VertexFormats = RecordingTest;

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
  EXPECT_EQ(sCreateVertexFormat(tooLong)->GetSize(0), 30 * 8);   // the longest list that fits
}

TEST_F(VertexFormats, MemoryHookFlushKeepsFormatsMadeWithoutAMark)
{
  sInt before = sGetVertexFormatCount();
  sHookCall(sGetMemoryHook(), 1);
  EXPECT_EQ(sGetVertexFormatCount(), before);
}

using Shaders = RecordingTest;

TEST_F(Shaders, FatalShaders)
{
  std::vector<uint32_t> vs = Asm(VsText);
  const sU8 *code = reinterpret_cast<const sU8 *>(vs.data());
  const sInt bytes = sInt(vs.size() * 4);
  // no kind; vertex byte code made as a pixel shader; no end token; a length off the words
  const struct
  {
    sInt Flags, Bytes;
  } cases[] = {{0x1000, bytes}, {0x2100, bytes}, {0x1100, bytes - 4}, {0x1100, bytes - 1}};
  for(const auto &c : cases)
    EXPECT_EXIT(sCreateShader(c.Flags, code, c.Bytes), testing::ExitedWithCode(1), kCheckFailed) << c.Flags;
}

using StateLists = RecordingTest;

TEST_F(StateLists, InvalidAddressModeIsFatal)
{
  TestMaterial m;
  m.S.TextureFlags[0] = sMTF_EXTERN | 0x60;
  sU32 states[512], *end = states;
  EXPECT_EXIT(sBuildStateList(&m, end), testing::ExitedWithCode(1), "address mode");
}

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
  // a point in front of the camera lands where MVP = ModelView x Proj puts it
  sVec4 p = sMulPointMat4x4(sVec3(1, 2, 13), vp.MVP);
  EXPECT_NEAR(p.w, 10.0f, 1e-5);
  EXPECT_NEAR(p.x / p.w, -1.0f / 1920.0f, 1e-6);   // half a pixel
  EXPECT_NEAR(p.y / p.w, 1.0f / 1080.0f, 1e-6);

  // a shifted centre moves the projected picture by 2 x (centre - 0.5)
  vp.CenterX = 0.75f;
  vp.Prepare(2);
  p = sMulPointMat4x4(sVec3(1, 2, 13), vp.MVP);
  EXPECT_NEAR(p.x / p.w, 0.5f - 1.0f / 1920.0f, 1e-5);

  // prepared again with the camera moved forwards by 2, the same view follows it
  vp.Camera.l = sVec3(1, 2, 5);
  vp.Prepare(2);
  EXPECT_NEAR(sMulPointMat4x4(sVec3(1, 2, 13), vp.MVP).w, 8.0f, 1e-5);
  sRender3DEnd(0);
}

}

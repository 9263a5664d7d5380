// The device sends GL only what changed since the last draw: every change made between two
// draws, with nothing else in between that would send everything again, must still reach
// the picture. Each test draws one column of an 8 x 8 target per step and reads them all.

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>

#include "gpu_fixture.hpp"

#include <algorithm>

using namespace gputest;

namespace
{
// The draw target of the render tests; draws change states between them.
class GpuChanges : public GpuRender
{
protected:
  // Column i of the target, texture coordinates u0..u1 across it.
  void Column(int i, uint32_t color = 0xFFFFFFFFu, float u0 = 0, float u1 = 1)
  {
    DrawQuad(-1 + i / 4.0f, 1, -1 + (i + 1) / 4.0f, -1, color, 0.5f, u0, 0, u1, 1);
  }

  Texture *Solid(uint32_t argb)
  {
    Texture *t = nullptr;
    EXPECT_EQ(Dev->CreateTexture(2, 2, 1, 0, FMT_A8R8G8B8, POOL_MANAGED, &t), RES_OK);
    const uint32_t texels[4] = {argb, argb, argb, argb};
    Fill(t, texels, 8, 2);
    return t;
  }
};
}

TEST_F(GpuChanges, AlphaTestFollowsEachChangeAndEachProgramKeepsItsOwnReference)
{
  // both pixel shaders give white with alpha 128: from the constant and from the vertices
  PixelShader *constant = nullptr, *vertex = nullptr;
  ASSERT_EQ(Dev->CreatePixelShader(ConstPS().data(), ConstPS().size(), &constant), RES_OK);
  ASSERT_EQ(Dev->CreatePixelShader(ColorPS().data(), ColorPS().size(), &vertex), RES_OK);
  UseShaders(PassThroughVS(), ConstPS());
  const float white[4] = {1, 1, 1, 128 / 255.0f};
  Dev->SetPixelShaderConstantF(0, white, 1);
  struct Step { PixelShader *Shader; uint32_t Enable, Func, Ref; bool Drawn; } steps[] = {
    {constant, 1, CMP_GREATER, 127, true}, {vertex, 1, CMP_GREATER, 128, false},
    {constant, 1, CMP_GREATER, 128, false}, {constant, 0, CMP_GREATER, 128, true},
    {constant, 1, CMP_GREATER, 128, false}, {constant, 1, CMP_LESSEQUAL, 128, true},
    {vertex, 1, CMP_ALWAYS, 255, true}, {vertex, 1, CMP_NEVER, 0, false}};
  for (int i = 0; i < 8; i++)
  {
    Dev->SetPixelShader(steps[i].Shader);
    Dev->SetRenderState(RS_ALPHATESTENABLE, steps[i].Enable);
    Dev->SetRenderState(RS_ALPHAFUNC, steps[i].Func);
    Dev->SetRenderState(RS_ALPHAREF, steps[i].Ref);
    Column(i, 0x80FFFFFFu);
  }
  std::vector<uint32_t> px = Read(Target);
  for (int i = 0; i < 8; i++)
    EXPECT_EQ(px[4 * 8 + i], steps[i].Drawn ? 0x80FFFFFFu : 0xFF000000u) << "step " << i;
  Dev->SetPixelShader(nullptr);
  constant->Release();
  vertex->Release();
}

TEST_F(GpuChanges, SamplerStatesStayWithTheUnitWhateverTheTexture)
{
  UseShaders(PassThroughVS(), TexturePS());
  Texture *red = Solid(0xFFFF0000u), *blue = Solid(0xFF0000FFu);
  Dev->SetSamplerState(0, SAMP_BORDERCOLOR, 0xFF00FF00u);
  // the columns sample outside the texture: the border colour, or the texture repeated
  struct Step { Texture *Tex; uint32_t Address; uint32_t Want; } steps[] = {
    {red, TADDRESS_BORDER, 0xFF00FF00u}, {blue, TADDRESS_BORDER, 0xFF00FF00u}, {blue, TADDRESS_WRAP, 0xFF0000FFu},
    {blue, TADDRESS_BORDER, 0xFF00FF00u}, {red, TADDRESS_CLAMP, 0xFFFF0000u}, {red, TADDRESS_BORDER, 0xFF00FF00u}};
  for (int i = 0; i < 6; i++)
  {
    Dev->SetTexture(0, steps[i].Tex);
    Dev->SetSamplerState(0, SAMP_ADDRESSU, steps[i].Address);
    Column(i, 0xFFFFFFFFu, 1.25f, 1.5f);
  }
  std::vector<uint32_t> px = Read(Target);
  for (int i = 0; i < 6; i++)
    EXPECT_EQ(px[4 * 8 + i], steps[i].Want) << "step " << i;
  Dev->SetTexture(0, nullptr);
  red->Release();
  blue->Release();
}

TEST_F(GpuChanges, TargetsStreamsAndIndicesChangedBetweenDraws)
{
  UseShaders(PassThroughVS(), ColorPS());
  // two columns in one buffer: stream offsets pick them
  VertexBuffer *vb = nullptr;
  ASSERT_EQ(Dev->CreateVertexBuffer(sizeof(Vertex) * 12, 0, POOL_MANAGED, &vb), RES_OK);
  Vertex *v = nullptr;
  ASSERT_EQ(vb->Lock(0, 0, reinterpret_cast<void **>(&v), 0), RES_OK);
  QuadVertices(v, -1, 1, -0.75f, -1, 0, 0, 1, 1, 0xFFFF0000u);
  QuadVertices(v + 6, -0.75f, 1, -0.5f, -1, 0, 0, 1, 1, 0xFF0000FFu);
  vb->Unlock();
  Dev->SetStreamSource(0, vb, 0, sizeof(Vertex));
  ASSERT_EQ(Dev->DrawPrimitive(PT_TRIANGLELIST, 0, 2), RES_OK);
  // another target, then a copy that binds framebuffers of its own, then a draw at an offset
  Texture *other = MakeTarget(8, 8);
  Bind(other);
  ASSERT_EQ(Dev->DrawPrimitive(PT_TRIANGLELIST, 0, 2), RES_OK);
  Surface *level = nullptr;
  other->GetSurfaceLevel(0, &level);
  Rect corner = {6, 6, 8, 8};
  ASSERT_EQ(Dev->ColorFill(level, &corner, 0xFF00FF00u), RES_OK);
  Dev->SetStreamSource(0, vb, sizeof(Vertex) * 6, sizeof(Vertex));
  ASSERT_EQ(Dev->DrawPrimitive(PT_TRIANGLELIST, 0, 2), RES_OK);
  std::vector<uint32_t> px = Read(other);
  ExpectPixels(px, {{4 * 8 + 0, 0xFFFF0000u}, {4 * 8 + 1, 0xFF0000FFu}, {7 * 8 + 7, 0xFF00FF00u}});
  EXPECT_EQ(Read(Target)[4 * 8 + 1], 0xFF000000u);  // the offset draw went to the new target only
  // index buffers set in turn, each deleted after its draw: the new one is read
  Dev->SetStreamSource(0, vb, 0, sizeof(Vertex));
  for (uint16_t first : {0, 6})
  {
    IndexBuffer *ib = nullptr;
    ASSERT_EQ(Dev->CreateIndexBuffer(12, 0, FMT_INDEX16, POOL_MANAGED, &ib), RES_OK);
    uint16_t *idx = nullptr, k = 0;
    ASSERT_EQ(ib->Lock(0, 0, reinterpret_cast<void **>(&idx), 0), RES_OK);
    std::generate(idx, idx + 6, [&] { return uint16_t(first + k++); });
    ib->Unlock();
    Dev->SetIndices(ib);
    Bind(first ? Target : other);
    ASSERT_EQ(Dev->DrawIndexedPrimitive(PT_TRIANGLELIST, 0, 0, 12, 0, 2), RES_OK);
    Dev->SetIndices(nullptr);
    ib->Release();
  }
  EXPECT_EQ(Read(Target)[4 * 8 + 1], 0xFF0000FFu);
  level->Release();
  Bind(Target);
  other->Release();
  vb->Release();
}

// A depth buffer set after the depth states makes them apply at the next draw.
TEST_F(GpuChanges, DepthBufferSetAfterTheDepthStates)
{
  UseShaders(PassThroughVS(), ColorPS());
  Surface *ds = nullptr;
  ASSERT_EQ(Dev->CreateDepthStencilSurface(8, 8, FMT_D24S8, MULTISAMPLE_NONE, 0, false, &ds), RES_OK);
  Dev->SetDepthStencilSurface(ds);
  Dev->Clear(0, nullptr, CLEAR_ZBUFFER, 0, 0.25f, 0);
  Dev->SetDepthStencilSurface(nullptr);
  Dev->SetRenderState(RS_ZENABLE, ZB_TRUE);
  Dev->SetRenderState(RS_ZFUNC, CMP_LESS);
  Column(0, 0xFFFF0000u);  // no depth buffer: drawn
  Dev->SetDepthStencilSurface(ds);
  Column(0, 0xFF0000FFu);  // behind the cleared depth: refused
  EXPECT_EQ(Read(Target)[4 * 8], 0xFFFF0000u);
  Dev->SetDepthStencilSurface(nullptr);
  ds->Release();
}

// Each step changes one part of the blend state alone (the colour operation, the separate
// alpha switch, an alpha operation, an alpha factor, a factor, the blend colour, the switch)
// and draws over the same background: the device sends every part that moved.
TEST_F(GpuChanges, EachBlendStateChangedAloneReachesTheNextDraw)
{
  UseShaders(PassThroughVS(), ColorPS());
  const uint32_t background = 0x80406080u, source = 0x40804020u;
  Dev->Clear(0, nullptr, CLEAR_TARGET, background, 1.0f, 0);
  struct Step { uint32_t State, Value, Want; } steps[] = {
    {RS_ALPHABLENDENABLE, 1, 0xC0C0A0A0u},              // one + one, added
    {RS_BLENDOP, BLENDOP_REVSUBTRACT, 0x40002060u},      // background less source
    {RS_SEPARATEALPHABLENDENABLE, 1, 0xC0002060u},      // alpha: one + one, added
    {RS_BLENDOPALPHA, BLENDOP_SUBTRACT, 0x00002060u},   // alpha: source less background
    {RS_DESTBLENDALPHA, BLEND_ZERO, 0x40002060u},       // alpha: source alone
    {RS_SRCBLEND, BLEND_BLENDFACTOR, 0x40002060u},      // the blend colour is white
    {RS_BLENDFACTOR, 0, 0x40406080u},                   // and now black: the background stays
    {RS_ALPHABLENDENABLE, 0, source}};
  for (auto [state, value] : {std::pair<uint32_t, uint32_t>{RS_SRCBLEND, BLEND_ONE}, {RS_DESTBLEND, BLEND_ONE}, {RS_BLENDOP, BLENDOP_ADD},
                              {RS_SRCBLENDALPHA, BLEND_ONE}, {RS_DESTBLENDALPHA, BLEND_ONE}, {RS_BLENDOPALPHA, BLENDOP_ADD},
                              {RS_BLENDFACTOR, 0xFFFFFFFFu}})
    Dev->SetRenderState(state, value);
  for (int i = 0; i < 8; i++)
  {
    Dev->SetRenderState(steps[i].State, steps[i].Value);
    Column(i, source);
  }
  std::vector<uint32_t> px = Read(Target);
  for (int i = 0; i < 8; i++)
    EXPECT_TRUE(Near(px[4 * 8 + i], steps[i].Want)) << "step " << i;
}

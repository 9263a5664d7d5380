#pragma once
// Shared helpers of the gpu tests: a headless device, hand-assembled shader programs,
// quads and read-back of targets.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/gpu/gpu.hpp"
#include "../shader/tokens.hpp"

namespace gputest
{
using namespace plat::gpu;

// --- shader tokens: the shader tests' hand encoding, and the usages these programs declare
namespace asm3
{
using namespace shtest;
constexpr uint32_t USAGE_POSITION = 0, USAGE_TEXCOORD = 5, USAGE_COLOR = 10;
}

// vs_3_0: o0 = v0 (position), o1 = v1 (texcoord0), o2 = v2 (colour0).
inline std::vector<uint32_t> PassThroughVS()
{
  using namespace asm3;
  return {0xFFFE0300u,
          Ins(DCL, 2), DclUsage(USAGE_POSITION, 0), Dst(INPUT, 0),
          Ins(DCL, 2), DclUsage(USAGE_TEXCOORD, 0), Dst(INPUT, 1),
          Ins(DCL, 2), DclUsage(USAGE_COLOR, 0), Dst(INPUT, 2),
          Ins(DCL, 2), DclUsage(USAGE_POSITION, 0), Dst(OUTPUT, 0),
          Ins(DCL, 2), DclUsage(USAGE_TEXCOORD, 0), Dst(OUTPUT, 1),
          Ins(DCL, 2), DclUsage(USAGE_COLOR, 0), Dst(OUTPUT, 2),
          Ins(MOV, 2), Dst(OUTPUT, 0), Src(INPUT, 0),
          Ins(MOV, 2), Dst(OUTPUT, 1), Src(INPUT, 1),
          Ins(MOV, 2), Dst(OUTPUT, 2), Src(INPUT, 2),
          0x0000FFFFu};
}

// vs_3_0 for instancing: o0 = v0 + v1 (texcoord5, per instance), o2 = v2 (texcoord6 as colour).
inline std::vector<uint32_t> InstanceVS()
{
  using namespace asm3;
  return {0xFFFE0300u,
          Ins(DCL, 2), DclUsage(USAGE_POSITION, 0), Dst(INPUT, 0),
          Ins(DCL, 2), DclUsage(USAGE_TEXCOORD, 5), Dst(INPUT, 1),
          Ins(DCL, 2), DclUsage(USAGE_TEXCOORD, 6), Dst(INPUT, 2),
          Ins(DCL, 2), DclUsage(USAGE_POSITION, 0), Dst(OUTPUT, 0),
          Ins(DCL, 2), DclUsage(USAGE_COLOR, 0), Dst(OUTPUT, 2),
          Ins(ADD, 3), Dst(OUTPUT, 0), Src(INPUT, 0), Src(INPUT, 1),
          Ins(MOV, 2), Dst(OUTPUT, 2), Src(INPUT, 2),
          0x0000FFFFu};
}

// ps_3_0: oC0 = interpolated colour0.
inline std::vector<uint32_t> ColorPS()
{
  using namespace asm3;
  return {0xFFFF0300u,
          Ins(DCL, 2), DclUsage(USAGE_COLOR, 0), Dst(INPUT, 0),
          Ins(MOV, 2), Dst(COLOROUT, 0), Src(INPUT, 0),
          0x0000FFFFu};
}

// ps_3_0: oC0 = c0.
inline std::vector<uint32_t> ConstPS()
{
  using namespace asm3;
  return {0xFFFF0300u, Ins(MOV, 2), Dst(COLOROUT, 0), Src(CONST, 0), 0x0000FFFFu};
}

// ps_3_0: oC0 = texture s<unit> (2D, or cube with samplerType 3) at texcoord0.
inline std::vector<uint32_t> TexturePS(uint32_t samplerType = 2, uint32_t unit = 0)
{
  using namespace asm3;
  return {0xFFFF0300u,
          Ins(DCL, 2), DclUsage(USAGE_TEXCOORD, 0), Dst(INPUT, 0),
          Ins(DCL, 2), DclSampler(samplerType), Dst(SAMPLER, unit),
          Ins(TEX, 3), Dst(TEMP, 0), Src(INPUT, 0), Src(SAMPLER, unit),
          Ins(MOV, 2), Dst(COLOROUT, 0), Src(TEMP, 0),
          0x0000FFFFu};
}

// --- geometry ---------------------------------------------------------------------------
struct Vertex
{
  float X, Y, Z, W;  // clip space
  float U, V, S, T;  // texcoord0 (four components: a cube direction fits)
  uint32_t Color;    // ARGB
};

inline const VertexElement *VertexLayout()
{
  static const VertexElement elements[] = {
    {0, 0, DECLTYPE_FLOAT4, 0, DECLUSAGE_POSITION, 0},
    {0, 16, DECLTYPE_FLOAT4, 0, DECLUSAGE_TEXCOORD, 0},
    {0, 32, DECLTYPE_D3DCOLOR, 0, DECLUSAGE_COLOR, 0},
    DECL_END,
  };
  return elements;
}

// A rectangle in clip space as two triangles in Direct3D's clockwise order (on screen).
inline void QuadVertices(Vertex *v, float x0, float y0, float x1, float y1, float u0, float v0, float u1, float v1,
                         uint32_t color, float z = 0.5f)
{
  // x0,y0 is the top-left corner (y up in clip space, so y0 > y1)
  Vertex tl = {x0, y0, z, 1, u0, v0, 0, 0, color}, tr = {x1, y0, z, 1, u1, v0, 0, 0, color};
  Vertex bl = {x0, y1, z, 1, u0, v1, 0, 0, color}, br = {x1, y1, z, 1, u1, v1, 0, 0, color};
  const Vertex order[6] = {tl, tr, bl, bl, tr, br};
  std::copy(order, order + 6, v);
}

// --- the device ------------------------------------------------------------------------------
class GpuTest : public ::testing::Test
{
protected:
  Object *Obj = nullptr;
  Device *Dev = nullptr;
  VertexShader *VS = nullptr;
  PixelShader *PS = nullptr;
  VertexDeclaration *Decl = nullptr;
  VertexBuffer *VB = nullptr;

  void SetUp() override
  {
    std::string error;
    Obj = Object::Create(error);
    ASSERT_NE(Obj, nullptr) << error;
    PresentParameters pp;
    pp.BackBufferWidth = 64;
    pp.BackBufferHeight = 64;
    ASSERT_EQ(Obj->CreateHeadlessDevice(pp, &Dev), RES_OK);
  }

  void TearDown() override
  {
    for (Unknown *u : std::initializer_list<Unknown *>{VS, PS, Decl, VB})
      if (u)
        u->Release();
    if (Dev)
    {
      EXPECT_EQ(Dev->Release(), 0u);
    }
    if (Obj)
      Obj->Release();
  }

  void UseShaders(const std::vector<uint32_t> &vs, const std::vector<uint32_t> &ps)
  {
    for (Unknown *u : std::initializer_list<Unknown *>{VS, PS})
      if (u)
        u->Release();
    VS = nullptr;
    PS = nullptr;
    ASSERT_EQ(Dev->CreateVertexShader(vs.data(), vs.size(), &VS), RES_OK) << Dev->LastShaderError();
    ASSERT_EQ(Dev->CreatePixelShader(ps.data(), ps.size(), &PS), RES_OK) << Dev->LastShaderError();
    ASSERT_EQ(Dev->SetVertexShader(VS), RES_OK);
    ASSERT_EQ(Dev->SetPixelShader(PS), RES_OK);
    if (!Decl)
    {
      ASSERT_EQ(Dev->CreateVertexDeclaration(VertexLayout(), &Decl), RES_OK);
    }
    ASSERT_EQ(Dev->SetVertexDeclaration(Decl), RES_OK);
  }

  // Draws triangles from vertices (count a multiple of 3).
  void Draw(const Vertex *v, uint32_t count)
  {
    if (!VB)
    {
      ASSERT_EQ(Dev->CreateVertexBuffer(sizeof(Vertex) * 1024, USAGE_DYNAMIC | USAGE_WRITEONLY, POOL_DEFAULT, &VB), RES_OK);
    }
    void *p = nullptr;
    ASSERT_EQ(VB->Lock(0, sizeof(Vertex) * count, &p, LOCK_DISCARD), RES_OK);
    std::memcpy(p, v, sizeof(Vertex) * count);
    ASSERT_EQ(VB->Unlock(), RES_OK);
    ASSERT_EQ(Dev->SetStreamSource(0, VB, 0, sizeof(Vertex)), RES_OK);
    ASSERT_EQ(Dev->DrawPrimitive(PT_TRIANGLELIST, 0, count / 3), RES_OK) << Dev->LastShaderError();
  }

  void DrawQuad(float x0, float y0, float x1, float y1, uint32_t color = 0xFFFFFFFFu, float z = 0.5f, float u0 = 0,
                float v0 = 0, float u1 = 1, float v1 = 1)
  {
    Vertex v[6];
    QuadVertices(v, x0, y0, x1, y1, u0, v0, u1, v1, color, z);
    Draw(v, 6);
  }

  // A render-target texture of w x h.
  Texture *MakeTarget(uint32_t w, uint32_t h, Format fmt = FMT_A8R8G8B8)
  {
    Texture *t = nullptr;
    EXPECT_EQ(Dev->CreateTexture(w, h, 1, USAGE_RENDERTARGET, fmt, POOL_DEFAULT, &t), RES_OK);
    return t;
  }

  void Bind(Texture *target)
  {
    Surface *s = nullptr;
    ASSERT_EQ(target->GetSurfaceLevel(0, &s), RES_OK);
    ASSERT_EQ(Dev->SetRenderTarget(0, s), RES_OK);
    s->Release();
  }

  // The pixels of a 32-bit colour surface, row 0 first.
  std::vector<uint32_t> Read(Surface *s)
  {
    SurfaceDesc d;
    s->GetDesc(d);
    Surface *sys = nullptr;
    EXPECT_EQ(Dev->CreateOffscreenPlainSurface(d.Width, d.Height, d.Fmt, POOL_SYSTEMMEM, &sys), RES_OK);
    std::vector<uint32_t> out(size_t(d.Width) * d.Height);
    if (!sys)
      return out;
    EXPECT_EQ(Dev->GetRenderTargetData(s, sys), RES_OK);
    LockedRect lr;
    EXPECT_EQ(sys->LockRect(lr, nullptr, LOCK_READONLY), RES_OK);
    for (uint32_t y = 0; y < d.Height; y++)
      std::memcpy(&out[size_t(y) * d.Width], static_cast<uint8_t *>(lr.Bits) + size_t(y) * lr.Pitch, d.Width * 4);
    sys->UnlockRect();
    sys->Release();
    return out;
  }

  std::vector<uint32_t> Read(Texture *t)
  {
    Surface *s = nullptr;
    EXPECT_EQ(t->GetSurfaceLevel(0, &s), RES_OK);
    std::vector<uint32_t> r = Read(s);
    s->Release();
    return r;
  }

  std::vector<uint32_t> ReadBackBuffer()
  {
    Surface *bb = nullptr;
    EXPECT_EQ(Dev->GetBackBuffer(0, 0, &bb), RES_OK);
    std::vector<uint32_t> r = Read(bb);
    bb->Release();
    return r;
  }

  // Fills level 0 of a managed texture from rows of bytes.
  void Fill(Texture *t, const void *data, int rowBytes, int rows)
  {
    LockedRect lr;
    ASSERT_EQ(t->LockRect(0, lr, nullptr, 0), RES_OK);
    for (int y = 0; y < rows; y++)
      std::memcpy(static_cast<uint8_t *>(lr.Bits) + size_t(y) * lr.Pitch, static_cast<const uint8_t *>(data) + size_t(y) * rowBytes,
                  size_t(rowBytes));
    ASSERT_EQ(t->UnlockRect(0), RES_OK);
  }
};

// A device drawing into an 8 x 8 ARGB target, cleared to black, culling nothing.
class GpuRender : public GpuTest
{
protected:
  Texture *Target = nullptr;

  void SetUp() override
  {
    GpuTest::SetUp();
    if (HasFatalFailure())
      return;
    Target = MakeTarget(8, 8);
    ASSERT_NE(Target, nullptr);
    Bind(Target);
    Dev->SetRenderState(RS_CULLMODE, CULL_NONE);
    Dev->Clear(0, nullptr, CLEAR_TARGET, 0xFF000000u, 1.0f, 0);
  }

  void TearDown() override
  {
    if (Dev)
    {
      Surface *bb = nullptr;
      Dev->GetBackBuffer(0, 0, &bb);
      Dev->SetRenderTarget(0, bb);
      bb->Release();
      Dev->SetTexture(0, nullptr);
      Dev->SetDepthStencilSurface(nullptr);
    }
    if (Target)
      Target->Release();
    GpuTest::TearDown();
  }

  void SetColor(uint32_t argb)
  {
    float c[4] = {float((argb >> 16) & 255) / 255.0f, float((argb >> 8) & 255) / 255.0f, float(argb & 255) / 255.0f,
                  float(argb >> 24) / 255.0f};
    Dev->SetPixelShaderConstantF(0, c, 1);
  }

  // An 8 x 8 managed texture of the format, level 0 filled from `data`.
  Texture *MakeTexture(Format fmt, const void *data, uint32_t w = 8, uint32_t h = 8)
  {
    Texture *t = nullptr;
    EXPECT_EQ(Dev->CreateTexture(w, h, 1, 0, fmt, POOL_MANAGED, &t), RES_OK);
    if (t)
      Fill(t, data, FormatPitch(fmt, int(w)), FormatRows(fmt, int(h)));
    return t;
  }

  // Draws texture 0 over the whole target with point sampling and returns the pixels.
  std::vector<uint32_t> Show(BaseTexture *t, float u0 = 0, float v0 = 0, float u1 = 1, float v1 = 1)
  {
    UseShaders(PassThroughVS(), TexturePS());
    Dev->SetTexture(0, t);
    Dev->SetSamplerState(0, SAMP_MINFILTER, TEXF_POINT);
    Dev->SetSamplerState(0, SAMP_MAGFILTER, TEXF_POINT);
    // Direct3D's half-pixel shift makes each pixel centre meet a texel centre
    DrawQuad(-1 - 1.0f / 8, 1 + 1.0f / 8, 1 - 1.0f / 8, -1 + 1.0f / 8, 0xFFFFFFFFu, 0.5f, u0, v0, u1, v1);
    return Read(Target);
  }
};

// A texel of a pattern whose every texel differs.
inline uint32_t Texel(int x, int y) { return 0xFF000000u | uint32_t(x * 32) << 16 | uint32_t(y * 32) << 8 | uint32_t((x ^ y) * 16); }

// The half float of a value it holds exactly (normal numbers, no rounding needed).
inline uint16_t Half(float f)
{
  uint32_t b;
  std::memcpy(&b, &f, 4);
  return uint16_t(((b >> 16) & 0x8000) | ((((b >> 23) & 0xFF) - 112) << 10) | ((b >> 13) & 0x3FF));
}

inline int Channel(uint32_t argb, int shift) { return int((argb >> shift) & 255); }

// Pixels of a picture against the colours they should have, by index.
inline void ExpectPixels(const std::vector<uint32_t> &px, std::initializer_list<std::pair<size_t, uint32_t>> want)
{
  for (auto [i, colour] : want)
    EXPECT_EQ(px.at(i), colour) << "pixel " << i;
}

// Per-channel closeness of two ARGB colours.
inline ::testing::AssertionResult Near(uint32_t got, uint32_t want, int tolerance = 1)
{
  for (int s = 0; s < 32; s += 8)
    if (std::abs(Channel(got, s) - Channel(want, s)) > tolerance)
    {
      char b[80];
      std::snprintf(b, sizeof(b), "got %08X, want %08X (tolerance %d)", got, want, tolerance);
      return ::testing::AssertionFailure() << b;
    }
  return ::testing::AssertionSuccess();
}
}

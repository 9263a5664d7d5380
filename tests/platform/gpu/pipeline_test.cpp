// The parts of the drawing pipeline beyond plain triangles of floats and colours: vertex
// element types, points, lines, strips and fans, every blend factor and operation the back end
// uses, mirrored addressing, and read-back of targets of other formats.

#include "gpu_fixture.hpp"

#include <algorithm>
#include <cmath>
#include <functional>

using namespace gputest;

namespace
{
class GpuPipeline : public GpuRender
{
protected:
  // Draws vertices of the stride as primitives of the type into the cleared target and
  // reads it back.
  std::vector<uint32_t> DrawAs(PrimitiveType type, const void *vertices, size_t bytes, uint32_t stride, uint32_t primitives)
  {
    Dev->Clear(0, nullptr, CLEAR_TARGET, 0xFF000000u, 1.0f, 0);
    VertexBuffer *vb = nullptr;
    EXPECT_EQ(Dev->CreateVertexBuffer(uint32_t(bytes), USAGE_WRITEONLY, POOL_DEFAULT, &vb), RES_OK);
    if (!vb)
      return {};
    void *p = nullptr;
    EXPECT_EQ(vb->Lock(0, 0, &p, 0), RES_OK);
    std::memcpy(p, vertices, bytes);
    vb->Unlock();
    Dev->SetStreamSource(0, vb, 0, stride);
    EXPECT_EQ(Dev->DrawPrimitive(type, 0, primitives), RES_OK) << Dev->LastShaderError();
    Dev->SetStreamSource(0, nullptr, 0, 0);
    vb->Release();
    return Read(Target);
  }
};

// The clip-space point at the centre of pixel (x, y) of the 8 x 8 target (Direct3D's
// pixel centres lie on whole screen coordinates).
Vertex At(float x, float y) { return {x / 4 - 1, 1 - y / 4, 0.5f, 1, 0, 0, 0, 0, 0xFFFFFFFFu}; }

float FromHalf(uint16_t h)
{
  int e = (h >> 10) & 31, m = h & 1023;
  float v = e == 0 ? std::ldexp(float(m), -24) : std::ldexp(float(m | 1024), e - 25);
  return (h & 0x8000) ? -v : v;
}
}

TEST_F(GpuPipeline, LinesStripsAndFansCoverTheirPixels)
{
  const float l = -0.5f, r = 7.5f;  // edges half a pixel outside the first and last centres
  struct Case
  {
    const char *Name;
    PrimitiveType Type;
    std::vector<Vertex> Vertices;
    uint32_t Primitives;
    std::function<bool(int, int)> Lit, Certain;  // Certain: pixels the check insists on
  } cases[] = {
    // a point list once was refused as an unknown primitive type
    {"point list", PT_POINTLIST, {At(2, 2), At(5, 6)}, 2,
     [](int x, int y) { return (x == 2 && y == 2) || (x == 5 && y == 6); }, nullptr},
    {"line list", PT_LINELIST, {At(0, 3), At(8, 3)}, 1, [](int, int y) { return y == 3; },
     [](int x, int y) { return y == 3 && x >= 1 && x <= 6; }},
    {"line strip", PT_LINESTRIP, {At(5, 0), At(5, 4), At(5, 8)}, 2, [](int x, int) { return x == 5; },
     [](int x, int y) { return x == 5 && y >= 1 && y <= 6; }},
    {"triangle fan", PT_TRIANGLEFAN, {At(l, l), At(3.5f, l), At(3.5f, r), At(l, r)}, 2,
     [](int x, int) { return x <= 3; }, nullptr},
    {"triangle strip", PT_TRIANGLESTRIP, {At(l, 3.5f), At(r, 3.5f), At(l, r), At(r, r)}, 2,
     [](int, int y) { return y >= 4; }, nullptr},
  };
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.Name);
    UseShaders(PassThroughVS(), ColorPS());
    std::vector<uint32_t> px = DrawAs(c.Type, c.Vertices.data(), sizeof(Vertex) * c.Vertices.size(), sizeof(Vertex), c.Primitives);
    ASSERT_EQ(px.size(), 64u);
    for (int y = 0; y < 8; y++)
      for (int x = 0; x < 8; x++)
      {
        bool lit = px[size_t(y) * 8 + x] != 0xFF000000u;
        if (!c.Lit(x, y))
        {
          EXPECT_FALSE(lit) << x << "," << y;
        }
        else if (!c.Certain || c.Certain(x, y))
        {
          EXPECT_TRUE(lit) << x << "," << y;
        }
      }
  }
}

TEST_F(GpuPipeline, VertexElementTypesReachTheShaderAsFloats)
{
  struct Input
  {
    float X, Y, Z, W;
    uint8_t Data[16];
  };
  struct Case
  {
    const char *Name;
    DeclType Type;
    std::vector<uint8_t> Bytes;
    float Want[4];  // the vector the vertex program reads (1 where the type has no part)
  };
  auto halves = [](std::initializer_list<float> v) {
    std::vector<uint8_t> b;
    for (float f : v)
    {
      uint16_t h = Half(f);
      b.push_back(uint8_t(h));
      b.push_back(uint8_t(h >> 8));
    }
    return b;
  };
  const Case cases[] = {
    {"half2", DECLTYPE_FLOAT16_2, halves({0.5f, 0.25f}), {0.5f, 0.25f, 0, 1}},
    {"half4", DECLTYPE_FLOAT16_4, halves({0.25f, 0.5f, 0.75f, 1}), {0.25f, 0.5f, 0.75f, 1}},
    {"ubyte4", DECLTYPE_UBYTE4, {1, 0, 1, 0}, {1, 0, 1, 0}},
    {"ubyte4n", DECLTYPE_UBYTE4N, {255, 128, 0, 64}, {1, 128 / 255.0f, 0, 64 / 255.0f}},
    {"short2n", DECLTYPE_SHORT2N, {0xFF, 0x7F, 0x01, 0x80}, {1, 0, 0, 1}},  // 32767, -32767 (clamped)
    {"ushort4n", DECLTYPE_USHORT4N, {0, 0, 0xFF, 0xFF, 0, 0x80, 0xFF, 0x3F}, {0, 1, 32768 / 65535.0f, 16383 / 65535.0f}},
  };
  using namespace asm3;
  // o0 = v0, colour = v1 (the element under test)
  std::vector<uint32_t> vs = {0xFFFE0300u,
                              Ins(DCL, 2), DclUsage(USAGE_POSITION, 0), Dst(INPUT, 0),
                              Ins(DCL, 2), DclUsage(USAGE_TEXCOORD, 0), Dst(INPUT, 1),
                              Ins(DCL, 2), DclUsage(USAGE_POSITION, 0), Dst(OUTPUT, 0),
                              Ins(DCL, 2), DclUsage(USAGE_COLOR, 0), Dst(OUTPUT, 2),
                              Ins(MOV, 2), Dst(OUTPUT, 0), Src(INPUT, 0),
                              Ins(MOV, 2), Dst(OUTPUT, 2), Src(INPUT, 1),
                              0x0000FFFFu};
  UseShaders(vs, ColorPS());
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.Name);
    const VertexElement elements[] = {
      {0, 0, DECLTYPE_FLOAT4, 0, DECLUSAGE_POSITION, 0},
      {0, 16, uint8_t(c.Type), 0, DECLUSAGE_TEXCOORD, 0},
      DECL_END,
    };
    VertexDeclaration *decl = nullptr;
    ASSERT_EQ(Dev->CreateVertexDeclaration(elements, &decl), RES_OK);
    Dev->SetVertexDeclaration(decl);
    Input v[4] = {{-2, 2, 0.5f, 1, {}}, {2, 2, 0.5f, 1, {}}, {-2, -2, 0.5f, 1, {}}, {2, -2, 0.5f, 1, {}}};
    for (Input &i : v)
      std::memcpy(i.Data, c.Bytes.data(), c.Bytes.size());
    uint32_t got = DrawAs(PT_TRIANGLESTRIP, v, sizeof(v), sizeof(Input), 2).at(27);
    uint32_t want = 0;
    const int shifts[4] = {16, 8, 0, 24};  // x, y, z, w as red, green, blue, alpha
    for (int k = 0; k < 4; k++)
      want |= uint32_t(std::lround(std::clamp(c.Want[k], 0.0f, 1.0f) * 255)) << shifts[k];
    EXPECT_TRUE(Near(got, want));
    Dev->SetVertexDeclaration(Decl);
    decl->Release();
  }
}

namespace
{
// One channel's blend on the CPU: colours and factors in 0..1 as Direct3D defines them.
double Factor(uint32_t f, int ch, const double *s, const double *d, const double *bf)
{
  switch (f)
  {
  case BLEND_ZERO: return 0;
  case BLEND_ONE: return 1;
  case BLEND_SRCCOLOR: return s[ch];
  case BLEND_INVSRCCOLOR: return 1 - s[ch];
  case BLEND_SRCALPHA: return s[3];
  case BLEND_INVSRCALPHA: return 1 - s[3];
  case BLEND_DESTCOLOR: return d[ch];
  case BLEND_INVDESTCOLOR: return 1 - d[ch];
  case BLEND_SRCALPHASAT: return ch == 3 ? 1 : std::min(s[3], 1 - d[3]);
  case BLEND_BLENDFACTOR: return bf[ch];
  case BLEND_INVBLENDFACTOR: return 1 - bf[ch];
  }
  return -1;
}

uint32_t Blend(uint32_t src, uint32_t op, uint32_t dst, uint32_t drawn, uint32_t target, uint32_t factor)
{
  auto split = [](uint32_t argb, double *c) {
    c[0] = Channel(argb, 16) / 255.0, c[1] = Channel(argb, 8) / 255.0, c[2] = Channel(argb, 0) / 255.0,
    c[3] = Channel(argb, 24) / 255.0;
  };
  double s[4], d[4], bf[4];
  split(drawn, s), split(target, d), split(factor, bf);
  const int shifts[4] = {16, 8, 0, 24};
  uint32_t out = 0;
  for (int ch = 0; ch < 4; ch++)
  {
    double a = s[ch] * Factor(src, ch, s, d, bf), b = d[ch] * Factor(dst, ch, s, d, bf), v = 0;
    switch (op)
    {
    case BLENDOP_ADD: v = a + b; break;
    case BLENDOP_SUBTRACT: v = a - b; break;
    case BLENDOP_REVSUBTRACT: v = b - a; break;
    case BLENDOP_MIN: v = std::min(s[ch], d[ch]); break;  // the factors do not take part
    case BLENDOP_MAX: v = std::max(s[ch], d[ch]); break;
    }
    out |= uint32_t(std::lround(std::clamp(v, 0.0, 1.0) * 255)) << shifts[ch];
  }
  return out;
}
}

TEST_F(GpuPipeline, BlendFactorsAndOperationsMatchTheirDefinition)
{
  struct Case
  {
    uint32_t Src, Op, Dst;
  } cases[] = {
    {BLEND_SRCCOLOR, BLENDOP_ADD, BLEND_ZERO},        {BLEND_INVSRCCOLOR, BLENDOP_ADD, BLEND_ONE},
    {BLEND_ONE, BLENDOP_ADD, BLEND_INVDESTCOLOR},     {BLEND_SRCALPHASAT, BLENDOP_ADD, BLEND_ZERO},
    {BLEND_ZERO, BLENDOP_ADD, BLEND_BLENDFACTOR},     {BLEND_INVBLENDFACTOR, BLENDOP_ADD, BLEND_SRCCOLOR},
    {BLEND_ONE, BLENDOP_SUBTRACT, BLEND_ONE},         {BLEND_ONE, BLENDOP_SUBTRACT, BLEND_INVSRCCOLOR},
    {BLEND_ZERO, BLENDOP_MIN, BLEND_ZERO},            {BLEND_ONE, BLENDOP_ADD, BLEND_ONE},
    {BLEND_SRCALPHA, BLENDOP_ADD, BLEND_INVSRCALPHA}, {BLEND_DESTCOLOR, BLENDOP_ADD, BLEND_ZERO},
    {BLEND_ONE, BLENDOP_REVSUBTRACT, BLEND_ONE},      {BLEND_ONE, BLENDOP_MAX, BLEND_ONE},
    {BLEND_BLENDFACTOR, BLENDOP_ADD, BLEND_ZERO},
  };
  const uint32_t drawn = 0x9060C020u, target = 0x40A04080u, factor = 0x30C06090u;
  UseShaders(PassThroughVS(), ColorPS());
  Dev->SetRenderState(RS_ALPHABLENDENABLE, 1);
  Dev->SetRenderState(RS_BLENDFACTOR, factor);
  for (const Case &c : cases)
  {
    SCOPED_TRACE(testing::Message() << "src " << c.Src << " op " << c.Op << " dst " << c.Dst);
    Dev->SetRenderState(RS_SRCBLEND, c.Src);
    Dev->SetRenderState(RS_BLENDOP, c.Op);
    Dev->SetRenderState(RS_DESTBLEND, c.Dst);
    Dev->Clear(0, nullptr, CLEAR_TARGET, target, 1.0f, 0);
    DrawQuad(-1, 1, 1, -1, drawn);
    EXPECT_TRUE(Near(Read(Target)[18], Blend(c.Src, c.Op, c.Dst, drawn, target, factor), 2));
  }
}

TEST_F(GpuPipeline, MirroredAddressingReflectsTheTexture)
{
  uint32_t texels[64];
  for (int y = 0; y < 8; y++)
    for (int x = 0; x < 8; x++)
      texels[y * 8 + x] = Texel(x, y);
  Texture *t = MakeTexture(FMT_A8R8G8B8, texels);
  struct Case
  {
    uint32_t Mode;
    float U0, U1;
    int Column[8];  // the texel column each pixel of a row shows
  } cases[] = {
    {TADDRESS_MIRROR, 0, 2, {1, 3, 5, 7, 7, 5, 3, 1}},
    {TADDRESS_MIRROR, -1, 1, {7, 5, 3, 1, 1, 3, 5, 7}},
    {TADDRESS_MIRRORONCE, -1, 1, {7, 5, 3, 1, 1, 3, 5, 7}},
    // beyond the one mirror the edge texel holds (repeated mirroring would show 5)
    {TADDRESS_MIRRORONCE, -1.5f, 1.5f, {7, 7, 4, 1, 1, 4, 7, 7}},
    {TADDRESS_WRAP, 0, 2, {1, 3, 5, 7, 1, 3, 5, 7}},
  };
  for (const Case &c : cases)
  {
    SCOPED_TRACE(testing::Message() << "mode " << c.Mode << " from " << c.U0);
    Dev->SetSamplerState(0, SAMP_ADDRESSU, c.Mode);
    Dev->SetSamplerState(0, SAMP_ADDRESSV, TADDRESS_CLAMP);
    std::vector<uint32_t> px = Show(t, c.U0, 0, c.U1, 1);
    for (int x = 0; x < 8; x++)
      EXPECT_EQ(px[2 * 8 + x], Texel(c.Column[x], 2)) << x;
  }
  Dev->SetTexture(0, nullptr);
  t->Release();
}

TEST_F(GpuPipeline, TargetsOfOtherFormatsReadBackInTheirLayout)
{
  // Each format's channels: bit position and width in the pixel for unsigned normalised
  // ones; 16 (half) or 32 (float) bits in red, green, blue, alpha order for float ones.
  struct Bits
  {
    int Shift, Width;  // width 0: the format has no such channel
  };
  struct Case
  {
    Format Fmt;
    int Bytes;
    bool Float;
    Bits Channels[4];  // red, green, blue, alpha
  } cases[] = {
    {FMT_X8R8G8B8, 4, false, {{16, 8}, {8, 8}, {0, 8}, {0, 0}}},
    {FMT_R5G6B5, 2, false, {{11, 5}, {5, 6}, {0, 5}, {0, 0}}},
    {FMT_A1R5G5B5, 2, false, {{10, 5}, {5, 5}, {0, 5}, {15, 1}}},
    {FMT_X1R5G5B5, 2, false, {{10, 5}, {5, 5}, {0, 5}, {0, 0}}},
    {FMT_A4R4G4B4, 2, false, {{8, 4}, {4, 4}, {0, 4}, {12, 4}}},
    {FMT_G16R16, 4, false, {{0, 16}, {16, 16}, {0, 0}, {0, 0}}},
    {FMT_A16B16G16R16, 8, false, {{0, 16}, {16, 16}, {32, 16}, {48, 16}}},
    {FMT_R16F, 2, true, {{0, 16}, {0, 0}, {0, 0}, {0, 0}}},
    {FMT_G16R16F, 4, true, {{0, 16}, {16, 16}, {0, 0}, {0, 0}}},
    {FMT_A16B16G16R16F, 8, true, {{0, 16}, {16, 16}, {32, 16}, {48, 16}}},
    {FMT_R32F, 4, true, {{0, 32}, {0, 0}, {0, 0}, {0, 0}}},
    {FMT_G32R32F, 8, true, {{0, 32}, {32, 32}, {0, 0}, {0, 0}}},
    {FMT_A32B32G32R32F, 16, true, {{0, 32}, {32, 32}, {64, 32}, {96, 32}}},
  };
  const float colour[4] = {1.0f, 0.25f, 0.5f, 0.75f}, filled[4] = {0, 0, 1, 1};
  UseShaders(PassThroughVS(), ConstPS());
  Dev->SetPixelShaderConstantF(0, colour, 1);
  for (const Case &c : cases)
  {
    SCOPED_TRACE(testing::Message() << "format " << c.Fmt);
    Texture *target = MakeTarget(4, 4, c.Fmt);
    ASSERT_NE(target, nullptr);
    Bind(target);
    Surface *s = nullptr, *sys = nullptr;
    ASSERT_EQ(target->GetSurfaceLevel(0, &s), RES_OK);
    ASSERT_EQ(Dev->ColorFill(s, nullptr, 0xFF0000FFu), RES_OK);
    DrawQuad(-1, 1, 0, -1);  // the left half
    ASSERT_EQ(Dev->CreateOffscreenPlainSurface(4, 4, c.Fmt, POOL_SYSTEMMEM, &sys), RES_OK);
    ASSERT_EQ(Dev->GetRenderTargetData(s, sys), RES_OK);
    LockedRect lr;
    ASSERT_EQ(sys->LockRect(lr, nullptr, LOCK_READONLY), RES_OK);
    EXPECT_EQ(lr.Pitch, 4 * c.Bytes);
    for (int x : {1, 3})  // drawn, then left as filled
    {
      const uint8_t *p = static_cast<const uint8_t *>(lr.Bits) + 2 * lr.Pitch + x * c.Bytes;
      for (int ch = 0; ch < 4; ch++)
      {
        Bits b = c.Channels[ch];
        if (!b.Width)
          continue;
        // the channel's bits start in the byte of its shift (whole bytes for float channels)
        uint64_t raw = 0;
        std::memcpy(&raw, p + b.Shift / 8, size_t(std::min(8, c.Bytes - b.Shift / 8)));
        raw = (raw >> (b.Shift % 8)) & ((uint64_t(1) << b.Width) - 1);
        float got;
        if (!c.Float)
          got = float(raw) / float((uint64_t(1) << b.Width) - 1);
        else if (b.Width == 16)
          got = FromHalf(uint16_t(raw));
        else
          std::memcpy(&got, &raw, 4);
        float want = x == 1 ? colour[ch] : filled[ch];
        float tolerance = c.Float ? 0.0f : 1.0f / float((uint64_t(1) << b.Width) - 1);
        if (b.Width == 1)
          want = want >= 0.5f ? 1.0f : 0.0f;
        EXPECT_NEAR(got, want, tolerance) << "pixel " << x << " channel " << ch;
      }
    }
    sys->UnlockRect();
    sys->Release();
    s->Release();
    Bind(Target);
    target->Release();
  }
}

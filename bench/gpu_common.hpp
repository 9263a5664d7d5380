#pragma once
// What the gpu benches share: the textured programs as token streams, the vertex and its
// full-screen quad, the test pattern, result checks and a headless device.

#include "platform/gpu/gpu.hpp"

#include <cstdio>
#include <string>
#include <vector>

namespace gpubench
{
using namespace plat::gpu;

inline uint32_t Reg(uint32_t type, uint32_t n) { return 0x80000000u | ((type & 7) << 28) | ((type & 0x18) << 8) | n; }
inline uint32_t Dst(uint32_t type, uint32_t n) { return Reg(type, n) | 0xFu << 16; }
inline uint32_t Src(uint32_t type, uint32_t n) { return Reg(type, n) | 0xE4u << 16; }
inline uint32_t Dcl(uint32_t usage) { return 0x80000000u | usage; }
constexpr uint32_t IN = 1, CONST = 2, OUT = 6, COLOROUT = 8, SAMPLER = 10, TEMP = 0;

// vs_3_0: position and texture coordinate through; ps_3_0: texld r0, v0, s0; mul oC0, r0, c0
inline const std::vector<uint32_t> VS = {
  0xFFFE0300u,
  31 | 2 << 24, Dcl(0), Dst(IN, 0), 31 | 2 << 24, Dcl(5), Dst(IN, 1),
  31 | 2 << 24, Dcl(0), Dst(OUT, 0), 31 | 2 << 24, Dcl(5), Dst(OUT, 1),
  1 | 2 << 24, Dst(OUT, 0), Src(IN, 0), 1 | 2 << 24, Dst(OUT, 1), Src(IN, 1),
  0x0000FFFFu};
inline const std::vector<uint32_t> PS = {
  0xFFFF0300u,
  31 | 2 << 24, Dcl(5), Dst(IN, 0), 31 | 2 << 24, 0x80000000u | 2u << 27, Dst(SAMPLER, 0),
  66 | 3 << 24, Dst(TEMP, 0), Src(IN, 0), Src(SAMPLER, 0),
  5 | 3 << 24, Dst(COLOROUT, 0), Src(TEMP, 0), Src(CONST, 0),
  0x0000FFFFu};

struct Vertex { float X, Y, Z, W, U, V; };
inline const Vertex FullScreenQuad[6] = {{-1, 1, 0.5f, 1, 0, 0}, {1, 1, 0.5f, 1, 1, 0}, {-1, -1, 0.5f, 1, 0, 1},
                                         {-1, -1, 0.5f, 1, 0, 1}, {1, 1, 0.5f, 1, 1, 0}, {1, -1, 0.5f, 1, 1, 1}};

// Texel (x, y) of test pattern t.
inline uint32_t Texel(int t, uint32_t x, uint32_t y) { return 0xFF000000u | ((x * 0x10203u) ^ (y * 0x30201u) ^ (t * 0x404040u)); }

inline bool Check(Result r, const char *what)
{
  if (Failed(r))
    std::fprintf(stderr, "%s: %s (%s)\n", what, ResultName(r), ResultDescription(r));
  return !Failed(r);
}

// A square texture with a full mip chain of test pattern t.
inline bool PatternTexture(Device *dev, Texture *&tex, uint32_t edge, int pattern)
{
  if (!Check(dev->CreateTexture(edge, edge, 0, 0, FMT_A8R8G8B8, POOL_MANAGED, &tex), "texture"))
    return false;
  for (uint32_t level = 0; level < tex->GetLevelCount(); level++)
  {
    LockedRect lr;
    SurfaceDesc d;
    tex->GetLevelDesc(level, d);
    tex->LockRect(level, lr, nullptr, 0);
    for (uint32_t y = 0; y < d.Height; y++)
      for (uint32_t x = 0; x < d.Width; x++)
        reinterpret_cast<uint32_t *>(static_cast<uint8_t *>(lr.Bits) + y * lr.Pitch)[x] = Texel(pattern, x, y);
    tex->UnlockRect(level);
  }
  return true;
}

// The entry object and a headless device with the programs made; says why where it fails.
inline bool OpenDevice(Object *&obj, Device *&dev, VertexShader *&vs, PixelShader *&ps)
{
  std::string error;
  obj = Object::Create(error);
  if (!obj)
  {
    std::fprintf(stderr, "no video: %s\n", error.c_str());
    return false;
  }
  PresentParameters pp;
  pp.BackBufferWidth = 64;
  pp.BackBufferHeight = 64;
  if (!Check(obj->CreateHeadlessDevice(pp, &dev), "device"))
    return false;
  if (!Check(dev->CreateVertexShader(VS.data(), VS.size(), &vs), "vertex shader") ||
      !Check(dev->CreatePixelShader(PS.data(), PS.size(), &ps), "pixel shader"))
  {
    std::fprintf(stderr, "%s\n", dev->LastShaderError().c_str());
    return false;
  }
  return true;
}
}

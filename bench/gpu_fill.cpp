// Fill rate of the gpu device: N full-screen textured passes at 1920 x 1080 into an
// off-screen target, blended, and the milliseconds per pass.
//   bench_gpu_fill [passes]

#include "platform/gpu/gpu.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace plat::gpu;

namespace
{
uint32_t Reg(uint32_t type, uint32_t n) { return 0x80000000u | ((type & 7) << 28) | ((type & 0x18) << 8) | n; }
uint32_t Dst(uint32_t type, uint32_t n) { return Reg(type, n) | 0xFu << 16; }
uint32_t Src(uint32_t type, uint32_t n) { return Reg(type, n) | 0xE4u << 16; }
uint32_t Dcl(uint32_t usage) { return 0x80000000u | usage; }
constexpr uint32_t IN = 1, CONST = 2, OUT = 6, COLOROUT = 8, SAMPLER = 10, TEMP = 0;

struct Vertex { float X, Y, Z, W, U, V; };

bool Check(Result r, const char *what)
{
  if (Failed(r))
    std::fprintf(stderr, "%s: %s (%s)\n", what, ResultName(r), ResultDescription(r));
  return !Failed(r);
}
}

int main(int argc, char **argv)
{
  int passes = argc > 1 ? std::atoi(argv[1]) : 100;
  if (passes < 1)
    passes = 1;
  const uint32_t W = 1920, H = 1080;
  std::string error;
  Object *obj = Object::Create(error);
  if (!obj)
  {
    std::fprintf(stderr, "no video: %s\n", error.c_str());
    return 1;
  }
  PresentParameters pp;
  pp.BackBufferWidth = 64;
  pp.BackBufferHeight = 64;
  Device *dev = nullptr;
  if (!Check(obj->CreateHeadlessDevice(pp, &dev), "device"))
    return 1;

  const std::vector<uint32_t> vs = {
    0xFFFE0300u,
    31 | 2 << 24, Dcl(0), Dst(IN, 0), 31 | 2 << 24, Dcl(5), Dst(IN, 1),
    31 | 2 << 24, Dcl(0), Dst(OUT, 0), 31 | 2 << 24, Dcl(5), Dst(OUT, 1),
    1 | 2 << 24, Dst(OUT, 0), Src(IN, 0), 1 | 2 << 24, Dst(OUT, 1), Src(IN, 1),
    0x0000FFFFu};
  const std::vector<uint32_t> ps = {
    0xFFFF0300u,
    31 | 2 << 24, Dcl(5), Dst(IN, 0), 31 | 2 << 24, 0x80000000u | 2u << 27, Dst(SAMPLER, 0),
    66 | 3 << 24, Dst(TEMP, 0), Src(IN, 0), Src(SAMPLER, 0),
    5 | 3 << 24, Dst(COLOROUT, 0), Src(TEMP, 0), Src(CONST, 0),
    0x0000FFFFu};
  VertexShader *v = nullptr;
  PixelShader *p = nullptr;
  if (!Check(dev->CreateVertexShader(vs.data(), vs.size(), &v), "vertex shader") ||
      !Check(dev->CreatePixelShader(ps.data(), ps.size(), &p), "pixel shader"))
  {
    std::fprintf(stderr, "%s\n", dev->LastShaderError().c_str());
    return 1;
  }
  const VertexElement elements[] = {{0, 0, DECLTYPE_FLOAT4, 0, DECLUSAGE_POSITION, 0},
                                    {0, 16, DECLTYPE_FLOAT2, 0, DECLUSAGE_TEXCOORD, 0}, DECL_END};
  VertexDeclaration *decl = nullptr;
  dev->CreateVertexDeclaration(elements, &decl);
  VertexBuffer *vb = nullptr;
  dev->CreateVertexBuffer(sizeof(Vertex) * 6, 0, POOL_MANAGED, &vb);
  void *data = nullptr;
  vb->Lock(0, 0, &data, 0);
  const Vertex quad[6] = {{-1, 1, 0.5f, 1, 0, 0}, {1, 1, 0.5f, 1, 1, 0}, {-1, -1, 0.5f, 1, 0, 1},
                          {-1, -1, 0.5f, 1, 0, 1}, {1, 1, 0.5f, 1, 1, 0}, {1, -1, 0.5f, 1, 1, 1}};
  std::memcpy(data, quad, sizeof(quad));
  vb->Unlock();

  Texture *tex = nullptr, *target = nullptr;
  if (!Check(dev->CreateTexture(512, 512, 0, 0, FMT_A8R8G8B8, POOL_MANAGED, &tex), "texture") ||
      !Check(dev->CreateTexture(W, H, 1, USAGE_RENDERTARGET, FMT_A8R8G8B8, POOL_DEFAULT, &target), "target"))
    return 1;
  for (uint32_t level = 0; level < tex->GetLevelCount(); level++)
  {
    LockedRect lr;
    SurfaceDesc d;
    tex->GetLevelDesc(level, d);
    tex->LockRect(level, lr, nullptr, 0);
    for (uint32_t y = 0; y < d.Height; y++)
      for (uint32_t x = 0; x < d.Width; x++)
        reinterpret_cast<uint32_t *>(static_cast<uint8_t *>(lr.Bits) + y * lr.Pitch)[x] = 0xFF000000u | ((x * 0x10203u) ^ (y * 0x30201u));
    tex->UnlockRect(level);
  }
  Surface *rt = nullptr;
  target->GetSurfaceLevel(0, &rt);
  dev->SetRenderTarget(0, rt);
  dev->SetVertexShader(v);
  dev->SetPixelShader(p);
  dev->SetVertexDeclaration(decl);
  dev->SetStreamSource(0, vb, 0, sizeof(Vertex));
  dev->SetTexture(0, tex);
  dev->SetSamplerState(0, SAMP_MINFILTER, TEXF_LINEAR);
  dev->SetSamplerState(0, SAMP_MAGFILTER, TEXF_LINEAR);
  dev->SetSamplerState(0, SAMP_MIPFILTER, TEXF_LINEAR);
  dev->SetRenderState(RS_CULLMODE, CULL_NONE);
  dev->SetRenderState(RS_ALPHABLENDENABLE, 1);
  dev->SetRenderState(RS_SRCBLEND, BLEND_ONE);
  dev->SetRenderState(RS_DESTBLEND, BLEND_ONE);
  const float c0[4] = {0.01f, 0.01f, 0.01f, 0.01f};
  dev->SetPixelShaderConstantF(0, c0, 1);
  dev->Clear(0, nullptr, CLEAR_TARGET, 0, 1.0f, 0);

  Surface *sys = nullptr;
  dev->CreateOffscreenPlainSurface(W, H, FMT_A8R8G8B8, POOL_SYSTEMMEM, &sys);
  auto finish = [&] { dev->GetRenderTargetData(rt, sys); };  // waits for the device
  dev->DrawPrimitive(PT_TRIANGLELIST, 0, 2);  // warm up: program link, first upload
  finish();

  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < passes; i++)
    if (!Check(dev->DrawPrimitive(PT_TRIANGLELIST, 0, 2), "draw"))
      return 1;
  finish();
  double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  AdapterIdentifier id;
  obj->GetAdapterIdentifier(0, id);
  std::printf("gpu fill: %d passes of %u x %u (textured, additive) on %s: %.3f ms per pass, %.1f Mpixel/s\n", passes, W, H,
              id.Description, ms / passes, double(W) * H * passes / (ms * 1000.0));

  for (Unknown *u : std::initializer_list<Unknown *>{sys, rt, target, tex, vb, decl, v, p})
    u->Release();
  dev->Release();
  obj->Release();
  return 0;
}

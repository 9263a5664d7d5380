// Fill rate of the gpu device: N full-screen textured passes at 1920 x 1080 into an
// off-screen target, blended, and the milliseconds per pass. Then a floor seen at a grazing
// angle, filling the screen, with the sampler states of a material that asks for
// anisotropic filtering against trilinear ones: where the renderer cannot afford the
// anisotropy (a software rasterizer) the ratio stays near 1; far above it, a show frame
// full of such floors stalls.
//   bench_gpu_fill [passes]

#include "gpu_common.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace gpubench;

int main(int argc, char **argv)
{
  int passes = argc > 1 ? std::atoi(argv[1]) : 100;
  if (passes < 1)
    passes = 1;
  const uint32_t W = 1920, H = 1080;
  Object *obj = nullptr;
  Device *dev = nullptr;
  VertexShader *v = nullptr;
  PixelShader *p = nullptr;
  if (!OpenDevice(obj, dev, v, p))
    return 1;
  const VertexElement elements[] = {{0, 0, DECLTYPE_FLOAT4, 0, DECLUSAGE_POSITION, 0},
                                    {0, 16, DECLTYPE_FLOAT2, 0, DECLUSAGE_TEXCOORD, 0}, DECL_END};
  VertexDeclaration *decl = nullptr;
  dev->CreateVertexDeclaration(elements, &decl);
  VertexBuffer *vb = nullptr;
  dev->CreateVertexBuffer(sizeof(Vertex) * 6, 0, POOL_MANAGED, &vb);
  void *data = nullptr;
  vb->Lock(0, 0, &data, 0);
  std::memcpy(data, FullScreenQuad, sizeof(FullScreenQuad));
  vb->Unlock();

  Texture *tex = nullptr, *target = nullptr;
  if (!PatternTexture(dev, tex, 512, 0) ||
      !Check(dev->CreateTexture(W, H, 1, USAGE_RENDERTARGET, FMT_A8R8G8B8, POOL_DEFAULT, &target), "target"))
    return 1;
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

  // the floor: its far edge w = 64 away, the texture repeated 64 times towards it
  const float f = 64.0f;
  const Vertex floor[6] = {{-f, f, 0.5f * f, f, 0, f}, {f, f, 0.5f * f, f, 1, f}, {-1, -1, 0.5f, 1, 0, 0},
                           {-1, -1, 0.5f, 1, 0, 0}, {f, f, 0.5f * f, f, 1, f}, {1, -1, 0.5f, 1, 1, 0}};
  vb->Lock(0, 0, &data, 0);
  std::memcpy(data, floor, sizeof(floor));
  vb->Unlock();
  Caps caps;
  obj->GetDeviceCaps(0, DEVTYPE_HAL, caps);
  const int floorPasses = passes / 10 > 0 ? passes / 10 : 1;
  double floorMs[2] = {};
  for (int aniso = 0; aniso < 2; aniso++)
  {
    // as the graphics back end sets a material's anisotropic slot for this device
    const bool can = aniso && (caps.TextureFilterCaps & PTFILTERCAPS_MINFANISOTROPIC);
    dev->SetSamplerState(0, SAMP_MINFILTER, can ? TEXF_ANISOTROPIC : TEXF_LINEAR);
    dev->SetSamplerState(0, SAMP_MAGFILTER, can ? TEXF_ANISOTROPIC : TEXF_LINEAR);
    dev->SetSamplerState(0, SAMP_MAXANISOTROPY, can ? caps.MaxAnisotropy : 1);
    dev->DrawPrimitive(PT_TRIANGLELIST, 0, 2);
    finish();
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < floorPasses; i++)
      dev->DrawPrimitive(PT_TRIANGLELIST, 0, 2);
    finish();
    floorMs[aniso] = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / floorPasses;
  }
  std::printf("grazing floor: %.3f ms per pass trilinear, %.3f ms asking for anisotropy (up to %u), ratio %.2f\n",
              floorMs[0], floorMs[1], caps.MaxAnisotropy, floorMs[1] / floorMs[0]);

  for (Unknown *u : std::initializer_list<Unknown *>{sys, rt, target, tex, vb, decl, v, p})
    u->Release();
  dev->Release();
  obj->Release();
  return 0;
}

// The cost of the IPP machine's frame at 1920 x 1080: the scene machine runs a scene that
// draws one textured picture, then the IPP machine, first with only its blur and combine
// (the post-processing switch off), then with every effect on.
//
// On the real device (Xvfb or SDL's off-screen driver) it prints milliseconds per frame
// next to one full-screen textured pass of the gpu fill bench, run in the same run, and the
// ratio of the frame to (full-resolution passes the frame draws x one pass). Through the
// recording stand-in of the gpu device it prints our own CPU time per frame, the
// stand-in's share (its calls made directly, as many as the frame made) taken off. Each
// frame also runs two 10 ms ticks of the IPP machine, as a 60 Hz frame does.
//   bench_ipp_frame [frames]

#include "base/file.hpp"
#include "base/framemem.hpp"
#include "base/memory.hpp"
#include "base/textbuffer.hpp"
#include "graphics/gpudevice.hpp"
#include "graphics/internal.hpp"
#include "graphics/imagetexture.hpp"
#include "graphics/materials.hpp"
#include "graphics/shader.hpp"
#include "graphics/recorder.hpp"
#include "show/guirecords.hpp"
#include "show/ipp.hpp"
#include "show/scenehost.hpp"
#include "show/startup.hpp"
#include "show/sync.hpp"
#include "show/tmdata.hpp"
#include "devices.hpp"

#include <SDL2/SDL.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{
using Clock = std::chrono::steady_clock;
constexpr sInt W = 1920, H = 1080;

// A scene that covers the screen with the IPP's test picture.
class PictureScene : public Scene
{
public:
  ShaderMaterial1 *Mtrl = nullptr;
  sTexture2D *Tex = nullptr;
  void Init(SyncMachine *sync, sInt flags, TMData *set) override
  {
    Scene::Init(sync, flags, set);
    Tex = sLoadTexture2DFile(u"ipp/unpacked/color_test.bmp", sTEX_2D | sTEX_ARGB8888);
    Mtrl = sNEW ShaderMaterial1;
    Mtrl->Texture[0] = Tex;
    Mtrl->S.Flags = 0;
    Mtrl->Prepare(sVertexFormatPosColUV);
  }
  void Exit() override
  {
    sDELETE(Mtrl);
    sDELETE(Tex);
  }
  void Render(sInt, sViewport *) override
  {
    sViewport v;
    v.Orthogonal = sVO_PIXELS;
    v.SetTarget(nullptr);
    v.Prepare(15);
    BindShaderMaterial1(Mtrl, &v);
    DrawQuad(QuadGeometry0, 0, 0, W, H, 0xFFFFFFFF);
  }
};

// Every effect of the GUI record on at once.
void EverythingOn(IppMachine *ipp, GuiMediaState &g, sInt frame)
{
  ipp->MotionMode = 1 + frame / 20 % 3;
  ipp->TextArtOn = ipp->FlashOn = ipp->FlashPanelOn = 1;
  ipp->TestImageOn = 1;
  g.StrobeAmount = 100;
  g.RingOn = 1, g.RingAmount = 1, g.RingColorAmount = 1;
  g.TunnelOn = 1, g.TunnelAmount = 1;
  g.HueWashOn = 1, g.HueWashAmount = 0.5f, g.HueWashShift = 90;
  g.DimPulseOn = 1, g.DimPulseAmount = 0.5f, g.DimPulseSpeed = 1;
  g.ParticlesOn = g.TouchDown = 1, g.TouchStrength = 1, g.ParticleFade = 1;
  if(frame % 10 == 0) g.ParticleBurst = 1;
  g.LogoCount = 1;
  g.Logos[0] = {ipp->MaterialSet->Textures[2], ipp->MaterialSet->Textures[3], frame % 3};
  g.LogoStyle = 1 + frame / 30 % 3;
  if(frame % 30 == 0) g.LogoNow = 1;
  g.MovieCount = 1;
  if(frame % 30 == 0) g.MovieNow = 1;
  for(sInt k = 0; k < 8; k++)
  {
    g.LayerOn[0][k] = 1;
    const sF32 d[4] = {0.125f * k, 0, 0.125f * (k + 1), 1}, t[4] = {0, 0, 1, 1};
    std::memcpy(g.LayerDest[0][k], d, sizeof(d));
    std::memcpy(g.LayerTexRect[0][k], t, sizeof(t));
    g.LayerColorAmount[0][k] = 1;
  }
}

// Full-resolution pass equivalents the frame draws (a half-size pass counts a quarter):
// the scene's picture, the scene machine's screen copy and preview (1024 x 768), the read
// of a pixel that waits for the device (it copies the screen), and the IPP's screen copy,
// scale-down, four blurs and combine.
constexpr sF32 BaselinePasses = 1 + 1 + 0.38f + 1 + 1 + 0.25f * 6;
// ... and with every effect: the glow, the text-art stripes (two), the flash panel (0.16),
// the motion copy and its tiles or strobe (about two), ring (two) and tunnel (one), test
// image, hue wash copy and pass, logo (about one), movie layer (about one), dim pulse, the
// closing copy, master fade, and the colour layers' copy, clear and eight strips.
constexpr sF32 HeavyPasses = BaselinePasses + 1 + 2 + 0.16f + 2 + 3 + 1 + 2 + 1 + 1 + 1 + 1 + 1 + 3;

struct Show
{
  StartupRecord Record = sStartupRecord;
  SceneMachine *M = nullptr;
  SyncMachine *Sync = nullptr;
  GuiMediaState Media;
  IppMachine *Ipp = nullptr;

  explicit Show(sInt ippOn)
  {
    Record.UsePackfile = Record.MusicOn = Record.UseLoader = Record.FixedStep = 0;
    Record.IppOn = ippOn;
    sShowPlugins = {};
    InstallIppMachine();
    M = sNEW SceneMachine(&Record);
    M->RegisterScene(sNEW PictureScene, u"picture", 0, 1, 0);
    M->Start();
    Ipp = static_cast<IppMachine *>(M->Ipp);
    Sync = sNEW SyncMachine(126.0f);
    Ipp->SyncSource = Sync;
    sShowPlugins.SetIppMedia(Ipp, &Media);
  }
  ~Show()
  {
    sDELETE(M);
    sDELETE(Sync);
    sShowPlugins = {};
  }
  // Milliseconds of the frames (the best frame), the device finished in each.
  double Run(sInt frames, sBool heavy, RecDevice *rec, size_t *calls)
  {
    double best = 1e30;
    for(sInt f = 0; f < frames + 2; f++)
    {
      if(heavy) EverythingOn(Ipp, Media, f);
      SyncResults &b = Sync->Results;
      b.BarPhase = (f % 24) / 24.0f;
      b.Bar8Phase = b.Bar4Phase = b.Bar2Phase = (f % 24 + 0.5f) / 24.0f;
      Sync->PublishedClock += 40;
      if(rec) rec->Log.clear();
      if(!sRender3DBegin()) return -1;
      auto t0 = Clock::now();
      M->OnPaint3D();
      // a frame at 60 Hz crosses one or two 10 ms steps; a fast bench frame often none
      for(sInt t = 0; t < 2; t++) Ipp->Tick(0);
      if(!rec)
      {
        // read one pixel back: the device has finished the frame
        const sU8 *data;
        sInt pitch, format;
        sSetScreenTarget(nullptr, 0, 0);
        sBeginReadScreen(data, pitch, format);
        sEndReadScreen();
      }
      double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
      if(calls && rec) *calls = rec->Log.size();
      sRender3DEnd(0);
      if(f >= 2 && ms < best) best = ms;
    }
    return best;
  }
};

// One full-screen textured pass of the gpu fill bench, in milliseconds.
double FillPass()
{
  FILE *p = popen(BENCH_GPU_FILL " 50", "r");
  if(!p) return -1;
  char line[512];
  double ms = -1;
  while(std::fgets(line, sizeof(line), p))
    if(const char *at = std::strstr(line, ": "))
      if(const char *per = std::strstr(line, " ms per pass"))
      {
        const char *num = per;
        while(num > at && num[-1] != ' ') num--;
        ms = std::atof(num);
      }
  pclose(p);
  return ms;
}

// Microseconds of n calls made directly on the stand-in.
double StandInMillis(RecDevice *rec, size_t n)
{
  rec->Log.clear();
  auto t0 = Clock::now();
  for(size_t i = 0; i < n; i++) rec->SetRenderState(plat::gpu::RS_CULLMODE, 2);
  double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  rec->Log.clear();
  return ms;
}
}  // namespace

int main(int argc, char **argv)
{
  sInt frames = argc > 1 ? std::atoi(argv[1]) : 30;
  if(frames < 1) frames = 1;
  sInitMemorySystem();
  sGetMemoryHandler(1)->MakeThreadSafe();
  sInitStringPool();
  sInitFileHandlers();
  sInitRootFileHandler();
  if(chdir(TWDATA_DIR) != 0)
  {
    std::printf("no data tree at %s\n", TWDATA_DIR);
    return 1;
  }
  SetShowDisplay(0, W, H);

  // our own CPU time through the recording stand-in; the real device next to the fill
  // bench's pass
  const double pass = FillPass();
  bench::OnBothDevices(W, H, [&](const char *, RecDevice *rec) {
    if(rec)
    {
      for(sInt heavy = 0; heavy < 2; heavy++)
      {
        Show show(heavy);
        size_t calls = 0;
        double ms = show.Run(frames, heavy, rec, &calls);
        double dev = StandInMillis(rec, calls);
        std::printf("stand-in %-9s: %7.3f ms per frame, %zu device calls (%.3f ms stand-in), ours %.3f ms, ratio to 1 ms %.2f\n",
                    heavy ? "heavy" : "baseline", ms, calls, dev, ms - dev, (ms - dev) / 1.0);
      }
      return;
    }
    std::printf("one full-screen textured pass (gpu fill bench): %.3f ms\n", pass);
    for(sInt heavy = 0; heavy < 2 && sIsGfxActive(); heavy++)
    {
      Show show(heavy);
      double ms = show.Run(frames, heavy, nullptr, nullptr);
      sF32 passes = heavy ? HeavyPasses : BaselinePasses;
      std::printf("real device %-9s: %8.3f ms per frame, %.1f full-resolution passes, ratio to passes x one pass %.2f\n",
                  heavy ? "heavy" : "baseline", ms, passes, pass > 0 ? ms / (passes * pass) : 0.0);
    }
  });
  sExitFileHandlers();
  sExitStringPool();
  sExitMemorySystem();
  return 0;
}

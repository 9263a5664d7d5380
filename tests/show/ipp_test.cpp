// The IPP machine inside the scene machine on a real device, over a scene that draws a
// known picture: the blur and combine against a CPU evaluation of the materials, the
// master fade and the colour layers, the key commands, and the effects seen in the picture.
#include "show/ipp.hpp"

#include "base/app.hpp"

#include "base/arrays.hpp"
#include "base/file.hpp"
#include "common/capture.hpp"
#include "common/files.hpp"
#include "common/movie_writer.hpp"
#include "common/temp_dir.hpp"
#include "common/wait.hpp"
#include "graphics/image.hpp"
#include "graphics/imagetexture.hpp"
#include "graphics/materials.hpp"
#include "graphics/render_fixture.hpp"
#include "graphics/shader.hpp"
#include "platform/media/media.hpp"
#include "show/guirecords.hpp"
#include "show/scenehost.hpp"
#include "show/startup.hpp"
#include "show/sync.hpp"
#include "show/tmdata.hpp"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <filesystem>
#include <functional>
#include <cmath>
#include <string>
#include <vector>

namespace
{
constexpr sInt W = 64, H = 48;

// The test picture: red rises to the right, green downwards, a bright block.
sU32 Picture(sInt x, sInt y)
{
  sU32 b = x >= 20 && x < 36 && y >= 12 && y < 28 ? 255 : 40;
  return 0xFF000000u | sU32(x * 4 & 255) << 16 | sU32(y * 5 & 255) << 8 | b;
}

// Draws the picture over the screen, texel for pixel.
class PictureScene : public Scene
{
public:
  const sInt W, H;
  PictureScene(sInt w, sInt h) : W(w), H(h) {}
  sTexture2D *Tex = nullptr;
  sSimpleMaterial *Mtrl = nullptr;
  void Init(SyncMachine *sync, sInt flags, TMData *set) override
  {
    Scene::Init(sync, flags, set);
    sImage img(W, H);
    for(sInt y = 0; y < H; y++)
      for(sInt x = 0; x < W; x++) img.Data[y * W + x] = Picture(x, y);
    Tex = sLoadTexture2D(&img, sTEX_2D | sTEX_ARGB8888 | sTEX_NOMIPMAPS);
    Mtrl = sNEW sSimpleMaterial;
    Mtrl->Texture[0] = Tex;
    Mtrl->S.TextureFlags[0] = sMTF_POINT | sMTF_CLAMP << sMTF_U_SHIFT | sMTF_CLAMP << sMTF_V_SHIFT;
    Mtrl->S.Flags = sMTRL_ZOFF | sMTRL_CULLOFF;
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
    SetInView(*Mtrl, v);
    // the device samples a pixel at its corner: the half-pixel shift puts texel centres there
    DrawQuad(QuadGeometry0, -0.5f, -0.5f, W - 0.5f, H - 0.5f, 0xFFFFFFFF);
  }
};

// A float picture with the sampling of the device: bilinear, clamped at the edges.
struct Plane
{
  sInt w, h;
  std::vector<std::array<sF32, 4>> px;
  Plane(sInt w_, sInt h_) : w(w_), h(h_), px(size_t(w_ * h_)) {}
  std::array<sF32, 4> &at(sInt x, sInt y) { return px[size_t(sIppClamp(y, 0, h - 1) * w + sIppClamp(x, 0, w - 1))]; }
  std::array<sF32, 4> Sample(sF32 u, sF32 v)
  {
    sF32 fx = u * w - 0.5f, fy = v * h - 0.5f;
    sInt x0 = sInt(std::floor(fx)), y0 = sInt(std::floor(fy));
    sF32 ax = fx - x0, ay = fy - y0;
    std::array<sF32, 4> r;
    for(sInt c = 0; c < 4; c++)
      r[c] = (at(x0, y0)[c] * (1 - ax) + at(x0 + 1, y0)[c] * ax) * (1 - ay) +
             (at(x0, y0 + 1)[c] * (1 - ax) + at(x0 + 1, y0 + 1)[c] * ax) * ay;
    return r;
  }
  // what an 8-bit target keeps
  void Quantise()
  {
    for(auto &p : px)
      for(sF32 &c : p) c = std::round(sIppClamp(c, 0.0f, 1.0f) * 255) / 255;
  }
};

// The 13-tap blur of the material, Step and StartSteps in texture units. Like every
// full-target pass of the machine it samples pixel x at x / w (the device's pixel corner).
Plane Blur(Plane &src, sF32 sx, sF32 sy)
{
  static const sF32 weights[13] = {0.1f, 0.3f, 0.5f, 0.65f, 0.75f, 0.85f, 0.9f, 0.85f, 0.75f, 0.65f, 0.5f, 0.3f, 0.1f};
  Plane out(src.w, src.h);
  for(sInt y = 0; y < src.h; y++)
    for(sInt x = 0; x < src.w; x++)
    {
      sF32 u = sF32(x) / src.w - sx * 4.5f, v = sF32(y) / src.h - sy * 4.5f;
      std::array<sF32, 4> sum = {0, 0, 0, 0};
      for(sInt n = 0; n < 13; n++)
      {
        auto s = src.Sample(u + n * sx, v + n * sy);
        for(sInt c = 0; c < 4; c++) sum[c] += s[c] * weights[n];
      }
      for(sInt c = 0; c < 4; c++) out.at(x, y)[c] = sum[c] * 0.136054f;
    }
  out.Quantise();
  return out;
}

sU32 Ch(sU32 c, sInt shift) { return (c >> shift) & 0xFF; }

// A picture as a float plane, channels r, g, b, a.
template <class F> Plane ToPlane(F &&pixel, sInt w, sInt h)
{
  Plane p(w, h);
  for(sInt y = 0; y < h; y++)
    for(sInt x = 0; x < w; x++)
      for(sInt c = 0; c < 4; c++) p.at(x, y)[c] = sF32(Ch(pixel(x, y), 16 - 8 * c + (c == 3 ? 32 : 0))) / 255;
  return p;
}

template <sInt W, sInt H> class IppShowAt : public testing::Test
{
public:
  static void SetUpTestSuite() { Window = OpenGfxWindow("ipp test", W, H); }
  static void TearDownTestSuite() { CloseGfxWindow(Window); }
  static inline SDL_Window *Window = nullptr;

  StartupRecord Record = sStartupRecord;
  SceneMachine *M = nullptr;
  IppMachine *Ipp = nullptr;
  SyncMachine *Sync = nullptr;
  GuiMediaState Media;
  std::string StartDir;

  void SetUp() override
  {
    ASSERT_TRUE(sIsGfxActive()) << "no graphics device";
    char cwd[4096];
    ASSERT_TRUE(getcwd(cwd, sizeof(cwd)));
    StartDir = cwd;
    ASSERT_EQ(chdir(TWDATA_DIR), 0);
    SetShowDisplay(0, W, H);
    Record.UsePackfile = Record.MusicOn = Record.UseLoader = Record.FixedStep = 0;
    Record.IppOn = 1;
    sShowPlugins = {};
    InstallIppMachine();
    M = sNEW SceneMachine(&Record);
    M->RegisterScene(sNEW PictureScene(W, H), u"picture", 0, 1, 0);
    M->Start();
    Ipp = static_cast<IppMachine *>(M->Ipp);
    Sync = sNEW SyncMachine(126.0f);
    Ipp->SyncSource = Sync;
    sShowPlugins.SetIppMedia(Ipp, &Media);
    Media.FadeOn = 1;
  }
  void TearDown() override
  {
    sDELETE(M);
    sDELETE(Sync);
    sShowPlugins = {};
    if(!StartDir.empty()) { EXPECT_EQ(chdir(StartDir.c_str()), 0); }
  }
  // One frame of the show; returns the target's pixels when one is given, else the screen.
  std::vector<sU32> Frame(sTexture2D *read = nullptr)
  {
    EXPECT_TRUE(sRender3DBegin());
    M->OnPaint3D();
    if(read) sSetTarget(sRenderTargetSpec(sRTF_NO_MULTISAMPLE, 0, nullptr, read, nullptr));
    else sSetScreenTarget(nullptr, 0, 0);
    std::vector<sU32> px = read ? ReadScreen(read->SizeX, read->SizeY) : ReadScreen(W, H);
    sRender3DEnd(0);
    return px;
  }
  // Pixels that differ from the plain show's picture by more than tol in a channel.
  static std::vector<sInt> Changed(const std::vector<sU32> &a, const std::vector<sU32> &b, sInt tol = 24)
  {
    std::vector<sInt> out;
    for(size_t i = 0; i < a.size(); i++)
      for(sInt s : {0, 8, 16})
        if(std::abs(sInt(Ch(a[i], s)) - sInt(Ch(b[i], s))) > tol)
        {
          out.push_back(sInt(i));
          break;
        }
    return out;
  }
};
using IppShow = IppShowAt<W, H>;
}

TEST_F(IppShow, BlurAndCombineFollowTheMaterialFormulas)
{
  Ipp->layer1 = {0.2f, 2.0f, 0xFFFFFFFF};
  Ipp->layer2 = {0.1f, 1.5f, 0xFFFFFFFF};
  std::vector<sU32> got = Frame(Ipp->CombineTarget);

  Plane full = ToPlane([](sInt x, sInt y) { return Picture(x, y); }, W, H), half(W / 2, H / 2);
  for(sInt y = 0; y < H / 2; y++)
    for(sInt x = 0; x < W / 2; x++) half.at(x, y) = full.Sample(sF32(x) / (W / 2), sF32(y) / (H / 2));
  half.Quantise();
  const sF32 tx = 1.0f / (W / 2), ty = 1.0f / (H / 2);
  Plane t1 = Blur(half, tx, 0), t2 = Blur(t1, 0, ty), t3 = Blur(t2, 2 * tx, 0), t4 = Blur(t3, 0, 2 * ty);
  sInt bad = 0;
  for(sInt y = 1; y < H / 2; y += 3)
    for(sInt x = 1; x < W / 2; x += 3)
      for(sInt c = 0; c < 3; c++)
      {
        sF32 u = sF32(x) / (W / 2), w = sF32(y) / (H / 2);
        sF32 v = sIppClamp((t2.Sample(u, w)[c] - 0.2f) * 2.0f, 0.0f, 1.0f) + sIppClamp((t4.Sample(u, w)[c] - 0.1f) * 1.5f, 0.0f, 1.0f);
        sInt want = sInt(std::round(sIppClamp(v, 0.0f, 1.0f) * 255));
        sInt have = sInt(Ch(got[size_t(y * (W / 2) + x)], 16 - 8 * c));
        if(std::abs(want - have) > 6) bad++, ADD_FAILURE() << "pixel " << x << "," << y << " channel " << c << ": " << have << " want " << want;
        if(bad > 10) return;
      }
}

TEST_F(IppShow, MasterFadeAndColourLayers)
{
  Frame();
  std::vector<sU32> plain = Frame();
  struct Case
  {
    sInt FadeOn;
    sF32 Fade;
    sF32 Expect;   // of the plain picture
  };
  // the last: the record as the GUI holds it before its first frame writes it, so the
  // show's first frame starts the fade from black instead of showing the picture unfaded
  const GuiMediaState unwritten;
  for(const Case &c : {Case{1, 0.5f, 0.5f}, Case{0, 1.0f, 0.0f}, Case{unwritten.FadeOn, unwritten.FadeFactors[0], 0.0f}})
  {
    Media.FadeOn = c.FadeOn;
    Media.FadeFactors[0] = c.Fade;
    Media.FadeFactors[1] = 1.0f;
    std::vector<sU32> px = Frame();
    for(sInt i : {W * 20 + 28, W * 40 + 60, W * 5 + 5})
      EXPECT_NEAR(sF32(Ch(px[size_t(i)], 16)), Ch(plain[size_t(i)], 16) * c.Expect, 6.0f) << "fade " << c.FadeOn << " at " << i;
  }
  // a layer over the middle quarter shows the whole picture there and black elsewhere
  Media.FadeOn = 1;
  Media.FadeFactors[0] = 1;
  Media.LayerOn[0][3] = 1;
  const sF32 dest[4] = {0.25f, 0.25f, 0.75f, 0.75f}, tex[4] = {0, 0, 1, 1};
  std::memcpy(Media.LayerDest[0][3], dest, sizeof(dest));
  std::memcpy(Media.LayerTexRect[0][3], tex, sizeof(tex));
  Media.LayerColorAmount[0][3] = 1;
  Media.LayerContrastAmount[0][3] = 0;
  std::vector<sU32> px = Frame();
  Plane shown = ToPlane([&](sInt x, sInt y) { return plain[size_t(y * W + x)]; }, W, H);
  for(sInt y = 0; y < H; y++)
    for(sInt x = 0; x < W; x++)
    {
      sU32 p = px[size_t(y * W + x)];
      bool inside = x > 16 && x < 47 && y > 12 && y < 35, outside = x < 15 || x > 48 || y < 11 || y > 36;
      if(outside) { ASSERT_EQ(p & 0xFFFFFF, 0u) << x << "," << y; }
      if(inside)
      {
        sF32 want = shown.Sample((x - 16) / 32.0f, (y - 12) / 24.0f)[1] * 255;
        ASSERT_NEAR(sF32(Ch(p, 8)), want, 6.0f) << x << "," << y;
      }
    }
}

// The shifted movie layers of the mosaic style: the frame quad's shape, one row per layer
// mode, follows the published two-, four- and eight-bar waves, which lead their phases.
TEST_F(IppShow, LayerModesShapeTheFrameQuadFromTheBeatWaves)
{
  SyncResults &r = Sync->Results;   // as published at eight-bar phase 0.75
  r.Bar8Phase = 0.75f, r.Bar4Phase = 0.5f, r.Bar2Phase = 0.0f;
  r.Bar8Wave = 0.4375f, r.Bar4WaveA = 0.875f, r.Bar2Wave = 0.25f;
  const sF32 a = 1200, b = 1000, lead = r.Bar8Wave - 0.3f * r.Bar4WaveA + 0.7f * r.Bar2Wave - 3,
             trail = 0.3f * r.Bar4WaveA - r.Bar8Wave - 0.7f * r.Bar2Wave - 1;
  const struct
  {
    sInt Mode;
    sF32 Range[8];   // Range0, Range1
  } rows[] = {
    {0, {2 * a, b / 4, a * lead / 2, b / 8, 8, -1, 0, -1}},
    {1, {2 * a, b / 4, a * trail / 2, -3 * b / 8, 8, -1, 0, -1}},
    {2, {a / 4, 2 * b, a / 8, b * lead / 2, 1, -8, 0, -8}},
    {3, {a / 4, 2 * b, -3 * a / 8, b * trail / 2, 1, -8, 0, -8}},
    {4, {a / 4, 2 * b, -3 * a / 8, b * trail / 2, 1, -8, 0, -8}},   // leaves the quad as it was
  };
  for(const auto &row : rows)
  {
    Ipp->SetLayerParams(row.Mode, a, b);
    for(sInt i = 0; i < 8; i++)
      EXPECT_NEAR(i < 4 ? Ipp->FrameQuad->Range0[i] : Ipp->FrameQuad->Range1[i - 4], row.Range[i], 0.01f) << row.Mode << " " << i;
  }
}

TEST_F(IppShow, KeyCommandsStartAndEndMediaAndDrawTheirChances)
{
  Sync->ColorPreset = 3;
  Sync->Results.BarIndex[2] = 5;
  Sync->Results.Bar8Phase = 0.2f;
  Media.MotionChance = 100;
  // the logo and movie keys: requested ones start, then end without a request
  Media.LogoRequest = Media.MovieRequest = 1;
  Media.LogoCount = Media.MovieCount = 1;
  Media.Logos[0] = {Ipp->MaterialSet->Textures[2], Ipp->MaterialSet->Textures[3], 1};
  Ipp->Channel = 2;
  Ipp->OnEvent('f');
  EXPECT_TRUE(Ipp->LogoActive && Media.LogoStarted && Media.LogoShown && !Media.LogoRequest && Ipp->MovieActive &&
              Media.MovieTaken && Media.MovieShown);
  Ipp->OnEvent('f');
  EXPECT_TRUE(!Ipp->LogoActive && Media.LogoEnded && !Media.LogoShown && !Ipp->MovieActive && Media.MovieEnded);
  Ipp->OnEvent(0xE005);
  // the flash key: mode 1 needs preset 3, and with a chance of 100 it always changes
  Ipp->MotionMode = 1;
  Ipp->FlashOn = 0;
  Ipp->OnEvent('h');
  EXPECT_TRUE(Ipp->FlashOn == 1 && Ipp->FlashBar == 5);
  Sync->ColorPreset = 2;
  Ipp->OnEvent('h');
  EXPECT_EQ(Ipp->FlashOn, 1);
  Sync->ColorPreset = 3;
  Ipp->OnEvent('h');
  EXPECT_EQ(Ipp->FlashOn, 0);
  // ',' ends the program
  Ipp->OnEvent(',');
  EXPECT_NE(sGetExitFlag(), 0);
  sResetExitFlag();
  // a camera step needs preset 2 or more and starts about three times in ten, wrapping at 4
  Sync->ColorPreset = 1;
  for(sInt i = 0; i < 50; i++) Ipp->OnEvent('l');
  EXPECT_EQ(Ipp->CamStep, 0);
  Sync->ColorPreset = 2;
  sInt steps3 = 0;
  for(sInt i = 0; i < 400; i++)
  {
    sInt before = Ipp->CamStep;
    Ipp->OnEvent('l');
    if(Ipp->CamStep == before) continue;
    EXPECT_EQ(Ipp->CamStep, (before + 1) & 3);
    steps3++;
  }
  EXPECT_GT(steps3, 80);
  EXPECT_LT(steps3, 160);
  // codes before the GUI is wired do nothing
  Ipp->Gui = nullptr;
  Ipp->OnEvent(0xE005);
  EXPECT_EQ(Ipp->TestImageOn, 1);
}

TEST_F(IppShow, EffectsShowWhereTheyShould)
{
  struct Effect
  {
    const char *Name;
    std::function<void(IppMachine &, GuiMediaState &)> Base, Start;
    sInt MinChanged;
    std::function<bool(sInt x, sInt y)> Allowed;
    // how the GUI switches it off; null: every switch and amount back to its start
    std::function<void(IppMachine &, GuiMediaState &)> Off = nullptr;
  };
  auto none = [](IppMachine &, GuiMediaState &) {};
  auto anywhere = [](sInt, sInt) { return true; };
  SyncResults &beat = Sync->Results;
  const std::vector<Effect> effects = {
    {"test image", none, [](IppMachine &m, GuiMediaState &) { m.TestImageOn = 1; }, W * H / 4, anywhere},
    {"hue wash", none, [](IppMachine &, GuiMediaState &g) { g.HueWashOn = 1, g.HueWashAmount = 1, g.HueWashShift = 120; },
     W * H / 4, anywhere},
    {"particle burst", none,
     [](IppMachine &, GuiMediaState &g) { g.ParticlesOn = 1, g.ParticleBurst = 1, g.TouchStrength = 1, g.ParticleFade = 1; }, 4,
     // the burst starts at the centre of the particle view and has not gone far yet
     [](sInt x, sInt y) { return std::abs(x - W / 2) < 20 && std::abs(y - H / 2) < 20; }},
    {"flash panel",
     [](IppMachine &m, GuiMediaState &g) { m.MotionMode = 1, m.FlashOn = 1, m.FlashBar = -1, g.StrobeAmount = 100, m.MotionBar = -1; },
     [](IppMachine &m, GuiMediaState &) { m.FlashPanelOn = 1; }, W * H / 16,
     // the panel covers (0.1 W, 0.5 H) to (0.5 W, 0.9 H); the glow of the blur spreads it
     [](sInt x, sInt y) { return x >= 0.1f * W - 10 && x <= 0.5f * W + 10 && y >= 0.5f * H - 10 && y <= 0.9f * H + 10; }},
    {"text art", [](IppMachine &m, GuiMediaState &g) { m.MotionMode = 1, g.StrobeAmount = 100, m.MotionBar = -1; },
     [](IppMachine &m, GuiMediaState &) { m.TextArtOn = 1, m.StripeKind = 1, m.StripeSeed = 0; }, 8, anywhere},
    {"dim pulse", [&](IppMachine &, GuiMediaState &) { beat.BarPhase = 0.75f; },
     [](IppMachine &, GuiMediaState &g) { g.DimPulseOn = 1, g.DimPulseAmount = 1, g.DimPulseSpeed = 1; }, W * H / 2, anywhere},
    // a flyer or movie ends when the GUI says so, not only when its eight bars are over
    {"movie layer", [&](IppMachine &, GuiMediaState &) { beat.Bar8Phase = 0.5f; },
     [](IppMachine &, GuiMediaState &g) { g.MovieCount = 1, g.MovieNow = 1; }, W * H / 4, anywhere,
     [](IppMachine &, GuiMediaState &g) { g.MovieOff = 1; }},
  };
  for(const Effect &e : effects)
  {
    auto reset = [&]() {
      Media = GuiMediaState();
      Media.FadeOn = 1;
      beat = SyncResults();
      Ipp->TestImageOn = Ipp->FlashOn = Ipp->FlashPanelOn = Ipp->TextArtOn = 0;
      Ipp->MotionMode = 4;
      Ipp->HueWashTimer = Ipp->DimPulseTimer = 400;
      Ipp->ParticleTimer = 4000;
      e.Base(*Ipp, Media);
    };
    reset();
    Frame();
    const std::vector<sU32> plain = Frame();
    e.Start(*Ipp, Media);
    std::vector<sInt> changed = Changed(Frame(), plain);
    EXPECT_GE(sInt(changed.size()), e.MinChanged) << e.Name;
    sInt stray = 0;
    for(sInt i : changed) stray += !e.Allowed(i % W, i / W);
    EXPECT_EQ(stray, 0) << e.Name;
    // switched off again, the picture returns at the next frame
    if(e.Off) e.Off(*Ipp, Media);
    else reset();
    EXPECT_LE(Changed(Frame(), plain).size(), 2u) << e.Name << " leaves a trace";
  }
}

// A triggered wash or pulse shows at once and fades out: run past its 400 ms, it is gone.
TEST_F(IppShow, TriggeredEffectsEndAfterTheirTime)
{
  struct Effect { const char *Name; std::function<void(GuiMediaState &)> Trigger; };
  const Effect effects[] = {
    {"hue wash", [](GuiMediaState &g) { g.HueWashTrigger = 1, g.HueWashAmount = 1, g.HueWashShift = 120; }},
    {"dim pulse", [](GuiMediaState &g) { g.DimPulseTrigger = 1, g.DimPulseAmount = 1, g.DimPulseSpeed = 1; }},
  };
  Frame();
  const std::vector<sU32> plain = Frame();
  for(const Effect &e : effects)
  {
    e.Trigger(Media);
    EXPECT_GE(sInt(Changed(Frame(), plain).size()), W * H / 4) << e.Name;
    for(sInt t = 0; t < 41; t++) Ipp->Tick(0);
    EXPECT_LE(Changed(Frame(), plain).size(), 2u) << e.Name << " still shows after its time";
    EXPECT_LE(Changed(Frame(), plain).size(), 2u) << e.Name << " came back";
  }
}

// Three logos shown in turn, round after round: each its own, the next index always inside
// the table.
TEST_F(IppShow, LogoIndexWrapsOverSeveralRounds)
{
  Media.LogoCount = 3;
  for(sInt i = 0; i < 3; i++) Media.Logos[i] = {Ipp->MaterialSet->Textures[2], Ipp->MaterialSet->Textures[3], i};
  for(sInt shown = 0; shown < 7; shown++)
  {
    Media.LogoNow = 1;
    Frame();
    EXPECT_EQ(Ipp->LogoKind, shown % 3) << "logo " << shown;
    EXPECT_EQ(Media.LogoIndex, (shown + 1) % 3) << "logo " << shown;
  }
}

TEST_F(IppShow, LogoNeedsAPictureWithAShape)
{
  Frame();
  const std::vector<sU32> plain = Frame();
  sTexture2D *picture = Ipp->MaterialSet->Textures[2];
  ASSERT_TRUE(picture);
  for(sInt style = 1; style <= 3; style++)
    for(sTexture2D *pic : {static_cast<sTexture2D *>(nullptr), picture})
    {
      Media.LogoCount = 1;
      Media.LogoIndex = 0;
      Media.LogoStyle = style;
      Media.Logos[0] = {pic, pic, 0};
      Media.LogoNow = 1;
      Sync->Results.Bar8Phase = Sync->Results.Bar4Phase = 0.45f;
      std::vector<sU32> px = Frame();
      EXPECT_EQ(Ipp->LogoActive, 1);
      size_t changed = Changed(px, plain).size();
      if(pic) EXPECT_GT(changed, 20u) << "style " << style;
      else EXPECT_EQ(changed, 0u) << "style " << style << " without a picture";
      Media.LogoOff = 1;
      Frame();
    }
}

TEST_F(IppShow, RecordIndicesAndRandomBoundsStayInTheirTables)
{
  // GUI words far outside their tables
  Media.LogoCount = 500;
  Media.LogoIndex = -7;
  Media.Logos[0] = {Ipp->MaterialSet->Textures[2], Ipp->MaterialSet->Textures[3], 9};
  Media.LogoNow = 1;
  Media.CurrentMessage = 1000;
  Media.MotionPreset = 7, Media.MotionOn = 1;
  Media.Ch3Preset = -4, Media.Ch3On = 1, Media.Ch3Restyle = 1;
  Media.ClipStyle = 12;
  Ipp->StripeKind = 9;
  Ipp->MotionMode = 1;
  Ipp->TextArtOn = 1;
  static const sChar *const folders[] = {u".", nullptr};
  Media.ClipFolderNames = folders;
  Media.ClipFolderIndex = 5;
  Media.ClipFolderCount = 1;
  Media.ClipRequest = 1;
  Frame();
  EXPECT_EQ(Ipp->LogoKind, 0);
  EXPECT_EQ(Media.LogoIndex, 1);
  EXPECT_EQ(Media.CurrentMessage, -1);
  EXPECT_EQ(Ipp->MotionMode, 1);
  EXPECT_TRUE(Ipp->Ch3.Mode >= 1 && Ipp->Ch3.Mode <= 3);
  EXPECT_EQ(Ipp->Clip.Starting, 0);
  Ipp->Channel = 9;
  Ipp->OnEvent('m');
  Frame();

  // a generator state whose next float is its bound: the machine's draw stays below it
  sRandomLcg r;
  r.Seed(1);
  sBool found = 0;
  for(sInt i = 0; i < (1 << 28) && !found; i++)
  {
    sRandomLcg before = r;
    if(r.NextFloat(1.0f) < 1.0f) continue;
    found = 1;
    Ipp->EffectRandom = before;
    EXPECT_LT(Ipp->RandBelow(1.0f), 1.0f);
  }
  EXPECT_TRUE(found);
}

TEST_F(IppShow, SecondVideoRequestClosesThePlayingDevice)
{
  sparktest::TempDir dir;
  std::string movie = dir.Path + "/camera.avi";
  ASSERT_TRUE(sparktest::WriteMovie(movie, AV_CODEC_ID_MPEG4, AV_PIX_FMT_YUV420P, W, H, 25, 50,
                                    [](int f, int x, int y) { return sparktest::PatternPixel(f, x, y, W, H); }));
  std::u16string name(movie.begin(), movie.end());
  sIppVideoDevice = name.c_str();
  auto threads = []() {
    sInt n = 0;
    sDynamicArray<sDirEntry> list;
    if(sLoadDir(list, u"/proc/self/task")) n = list.GetSize();
    return n;
  };
  auto play = [&]() {
    Media.VideoInRequest = 1;
    for(sInt i = 0; i < 2000 && !Ipp->Video.Running; i++)
    {
      Frame();
      SDL_Delay(5);
    }
    return Ipp->Video.Running;
  };
  Frame();
  const std::vector<sU32> plain = Frame();
  ASSERT_TRUE(play());
  Media.VideoShown = 1, Media.VideoMix = 1, Media.VideoStyle = 1, Media.VideoRestyle = 1;
  Frame();
  EXPECT_GT(Changed(Frame(), plain).size(), size_t(W * H / 4)) << "the video covers the picture";
  sInt first = threads();
  Ipp->Video.Running = 0;
  ASSERT_TRUE(play());
  EXPECT_LE(threads(), first);

  // a camera that has not told its picture size yet: the GUI shows no frame, not the last device's
  struct HeldCamera : plat::CaptureSystem
  {
    std::atomic<bool> Go{false};
    std::vector<plat::CaptureDevice> ListDevices() override { return {{"held", "/dev/null"}}; }
    std::vector<plat::CaptureFormat> ListFormats(const plat::CaptureDevice &) override { return {}; }
    std::unique_ptr<plat::VideoSource> Open(const plat::CaptureDevice &, const plat::CaptureFormat &,
                                            plat::VideoOpenError *error, plat::VideoStop stop) override
    {
      while(!Go && !stop()) SDL_Delay(1);
      *error = {1, -1, "let go"};
      return nullptr;
    }
  } held;
  plat::SetCaptureSystem(&held);
  sIppVideoDevice = u"dev:held";
  Media.VideoInRequest = 1;
  Frame();
  Frame();
  EXPECT_TRUE(Ipp->Video.Starting && !Media.VideoFrame);
  held.Go = true;
  for(sInt i = 0; i < 2000 && Ipp->Video.Opening; i++)
  {
    Frame();
    SDL_Delay(5);
  }
  plat::SetCaptureSystem(nullptr);
  ASSERT_FALSE(Ipp->Video.Opening);
  sIppVideoDevice = u"dev:*";

  // the same movie as the layer movie, the second movie file of its folder
  ASSERT_TRUE(sparktest::WriteMovie(dir.Path + "/a.avi", AV_CODEC_ID_MPEG4, AV_PIX_FMT_YUV420P, W, H, 25, 10,
                                    [](int, int, int) { return 0x808080u; }));
  sTexture2D *videoFrame = Media.VideoFrame;   // the machine frees it with the record it wrote
  Media = GuiMediaState();
  Media.FadeOn = 1;
  Media.VideoFrame = videoFrame;
  std::u16string folder(dir.Path.begin(), dir.Path.end());
  const sChar *folders[] = {folder.c_str(), nullptr};
  Media.ClipFolderNames = folders;
  Media.ClipFolderCount = 2;
  Media.ClipNumber = 1;
  Media.ClipRequest = 1;
  Media.ClipMix = 1, Media.ClipStyle = 1, Media.ClipAmount = 0;
  for(sInt i = 0; i < 2000 && !Ipp->Clip.Running; i++)
  {
    Frame();
    SDL_Delay(5);
  }
  ASSERT_TRUE(Ipp->Clip.Running);
  EXPECT_TRUE(Media.ClipStarted && Media.ClipShown && !Media.ClipEnded);
  Frame();
  EXPECT_GT(Changed(Frame(), plain).size(), size_t(W * H / 4)) << "the layer movie covers the picture";
}

// A layer movie that cannot be opened (an empty file, a FIFO nobody writes to) ends as a
// movie does, and each request after that tries it again; once the file is replaced by one
// that plays, it opens. The show then ends without waiting on any try.
TEST_F(IppShow, AMovieThatCannotBeOpenedIsTriedAgainAtEachRequest)
{
  sparktest::Watchdog watch("a show with layer movies that cannot be opened");
  sparktest::TempDir dir;
  std::u16string folder(dir.Path.begin(), dir.Path.end());
  const sChar *folders[] = {folder.c_str(), nullptr};
  Media.ClipFolderNames = folders;
  Media.ClipFolderCount = 1;
  Media.ClipNumber = 0;
  for(const char *kind : {"empty file", "FIFO"})
  {
    SCOPED_TRACE(kind);
    const std::string movie = dir.Path + "/a.avi";
    unlink(movie.c_str());
    ASSERT_TRUE(kind[0] == 'e' ? sparktest::WriteFile(movie, "") : mkfifo(movie.c_str(), 0600) == 0);
    sparktest::LogCapture log;
    for(sInt tries = 1; tries <= 2; tries++)
    {
      Media.ClipRequest = 1;
      Media.ClipEnded = 0;
      Frame();
      for(sInt i = 0; i < 2000 && !Media.ClipEnded; i++)
      {
        Frame();
        SDL_Delay(5);
      }
      EXPECT_TRUE(Media.ClipEnded && !Media.ClipShown && !Ipp->Clip.Opening);
      EXPECT_EQ(log.Count("can't open source reader"), tries) << log.Text();
    }
    ASSERT_EQ(unlink(movie.c_str()), 0);
    ASSERT_TRUE(sparktest::WriteMovie(movie, AV_CODEC_ID_MPEG4, AV_PIX_FMT_YUV420P, W, H, 25, 10,
                                      [](int, int, int) { return 0x808080u; }));
    Media.ClipRequest = 1;
    for(sInt i = 0; i < 2000 && !Ipp->Clip.Running; i++)
    {
      Frame();
      SDL_Delay(5);
    }
    EXPECT_TRUE(Ipp->Clip.Running);
  }
  sDELETE(M);
}

// The effects the tests above do not place, run through a bar of the beat on a larger
// screen: each shows in the picture.
using IppRun = IppShowAt<480, 270>;

TEST_F(IppRun, EveryOtherEffectShows)
{
  struct Phase
  {
    const char *Name;
    std::function<void(IppMachine &, GuiMediaState &)> Start;
  };
  const std::vector<Phase> phases = {
    {"plain", [](IppMachine &, GuiMediaState &) {}},
    {"motion2_ripple", [](IppMachine &m, GuiMediaState &g) { m.MotionMode = 2, g.StrobeAmount = 100; }},
    {"motion3_strobe", [](IppMachine &m, GuiMediaState &g) { m.MotionMode = 3, m.FlashOn = 1, g.StrobeAmount = 100; }},
    {"ring", [](IppMachine &, GuiMediaState &g) { g.RingOn = 1, g.RingAmount = 1, g.RingColorAmount = 1; }},
    {"tunnel", [](IppMachine &, GuiMediaState &g) { g.TunnelOn = 1, g.TunnelAmount = 1, g.TunnelDepth = 0.5f; }},
    {"particles", [](IppMachine &, GuiMediaState &g) { g.ParticlesOn = g.TouchDown = 1, g.ParticleBurst = 1, g.TouchStrength = 0.8f, g.ParticleFade = 1, g.TouchVelocityX = 2; }},
    {"movielayer", [&](IppMachine &, GuiMediaState &g) { g.MovieCount = 1, g.MovieNow = 1; }},
    {"colourlayers", [](IppMachine &, GuiMediaState &g) {
       for(sInt k = 0; k < 4; k++)
       {
         g.LayerOn[0][k] = 1;
         const sF32 d[4] = {0.5f * (k & 1), 0.5f * (k >> 1), 0.5f * (k & 1) + 0.5f, 0.5f * (k >> 1) + 0.5f};
         const sF32 t[4] = {0.1f * k, 0.1f * k, 1 - 0.1f * k, 1 - 0.1f * k};
         std::memcpy(g.LayerDest[0][k], d, sizeof(d));
         std::memcpy(g.LayerTexRect[0][k], t, sizeof(t));
         g.LayerColorAmount[0][k] = 1 - 0.2f * k;
         g.LayerContrastAmount[0][k] = 0.2f * k;
       }
     }},
  };
  std::vector<sU32> plain;
  sInt frame = 0;
  for(const Phase &p : phases)
  {
    Media = GuiMediaState();
    Media.FadeOn = 1;
    Ipp->TestImageOn = Ipp->TextArtOn = Ipp->FlashOn = Ipp->FlashPanelOn = 0;
    Ipp->MotionMode = 4;
    p.Start(*Ipp, Media);
    sInt changed = 0;
    for(sInt f = 0; f < 24; f++, frame++)
    {
      // the beat moves on: a bar per 24 frames, so each phase sees one bar of it
      SyncResults &b = Sync->Results;
      b.BarPhase = f / 24.0f;
      b.Bar2Phase = (frame % 48) / 48.0f;
      b.Bar4Phase = (frame % 96) / 96.0f;
      b.Bar8Phase = (f + 0.5f) / 24.0f;
      b.PulseA = f % 6 == 0 ? 1.0f : 0.0f;
      Sync->PublishedClock += 40;
      if(f % 8 == 7 && p.Name[0] == 'p' && p.Name[1] == 'a') Media.ParticleBurst = 1;
      std::vector<sU32> px = Frame();
      if(plain.empty()) plain = px;
      changed = std::max(changed, sInt(Changed(px, plain).size()));
    }
    if(std::string(p.Name) != "plain") { EXPECT_GT(changed, 100) << p.Name << " shows nothing"; }
  }
}

// the panel at a size where its 17-unit lines are more than a glyph apart
using IppPanel = IppShowAt<1280, 720>;

TEST_F(IppPanel, TextIsReadableOverItsBackdrop)
{
  Ipp->MotionMode = 4;
  M->PanelSwitch = 1;
  Frame();
  const std::vector<sU32> px = Frame();
  // kept for a person to look at
  const char *env = getenv("SPARKVANE_PICTURES");
  const std::string dir = std::string(env && *env ? env : "/tmp/sparkvane-pictures") + "/ipp";
  std::filesystem::create_directories(dir);
  sImage shot(1280, 720);
  std::copy(px.begin(), px.end(), shot.Data);
  const std::string file = dir + "/panel.bmp";
  EXPECT_TRUE(shot.Save(std::u16string(file.begin(), file.end()).c_str()));
  // the title "IPP machine" at (100, 110) of the 1600 x 1200 panel space: 11 glyphs of 6 x 8
  sInt white = 0;
  for(sInt y = 67; y < 74; y++)
    for(sInt x = 80; x < 146; x++) white += ColorDiff(px[size_t(y * 1280 + x)], 0xFFFFFFFF) <= 16;
  EXPECT_GT(white, 60);
}

// The mode scene: program tables, keys, clearing and restoring, and the animations.
#include "gui/modescene.hpp"

#include "base/system.hpp"
#include "gui/gui.hpp"
#include "show/sync.hpp"

#include <cmath>

namespace
{
// slider slots (label id - 24)
enum : sInt { MovieBrightSlider = 4, MovieSlider = 5, EffectSlider1 = 6, EffectSlider2 = 7, DistSlider1 = 8,
              DistSlider2 = 9, BrightnessSlider = 12 };
enum : sInt { Strobe = 0, ColorCor = 1, Feedback = 2, Kaleido = 3, TouchMe = 4 };

// One bar of a program: the keys of step 0, 2, 4, 8, 10, 12 (all a program uses).
struct BarKeys
{
  sInt Step;
  const char *Keys;
};
struct ProgramBar
{
  BarKeys Steps[6];
};
// Every program as its even and its odd bar.
struct Program
{
  ProgramBar Even, Odd;
  bool Empty;
};
const Program Programs[11] = {
  {{{{4, "c"}}}, {{{4, "c"}}}, false},
  {{{{4, "v"}}}, {{{4, "v"}}}, false},
  {{{{4, "x"}}}, {{{4, "x"}}}, false},
  {{{{4, "j"}}}, {{{4, "j"}}}, false},
  {{}, {}, true},
  {{{{4, "y"}}}, {}, false},
  {{{{4, "yx"}}}, {{{4, "x"}}}, false},
  {{{{4, "yj"}}}, {{{4, "j"}}}, false},
  {{{{4, "yjs"}, {12, "a"}}}, {{{4, "js"}, {12, "a"}}}, false},
  {{{{0, "l"}, {4, "yjkl"}, {12, "jkl"}}}, {{{4, "jkl"}, {12, "jkl"}}}, false},
  {{{{0, "f"}, {2, "g"}, {4, "hjf"}, {8, "f"}, {10, "g"}, {12, "hjf"}}},
   {{{0, "f"}, {2, "g"}, {4, "hjf"}, {8, "f"}, {10, "g"}, {12, "hjf"}}}, false},
};
// The start keys; an upper-case letter asks for a different kind.
const char *const StartKeys[11] = {"cv", "v", "x", "J", "", "Y", "xY", "YJk", "saYJk", "lfkYJ", "fhJk"};

struct PatternStore
{
  SyncPattern Bars[11][2];
  const SyncPattern *Lists[12][17];
  PatternStore()
  {
    for(auto &p : Bars)
      for(auto &b : p) b = SyncPattern{};
    for(sInt m = 0; m < 11; m++)
      for(sInt o = 0; o < 2; o++)
        for(const BarKeys &s : (o ? Programs[m].Odd : Programs[m].Even).Steps)
          for(sInt k = 0; s.Keys && s.Keys[k]; k++) Bars[m][o].Keys[s.Step][k] = sU32(s.Keys[k]);
    for(sInt m = 0; m < 12; m++)
    {
      for(sInt b = 0; b < 16; b++) Lists[m][b] = (m < 11 && !Programs[m].Empty) ? &Bars[m][b & 1] : nullptr;
      Lists[m][16] = nullptr;
    }
  }
};
const PatternStore &Patterns()
{
  static const PatternStore store;
  return store;
}
}

const void *const *GuiModePatterns(sInt mode)
{
  const PatternStore &p = Patterns();
  return reinterpret_cast<const void *const *>(p.Lists[mode >= 0 && mode < 11 ? mode : 11]);
}

GuiModeScene::GuiModeScene(SyncMachine *syncSource, TouchGui *owner)
{
  SyncSource = syncSource;
  gui = owner;
  mediaState = &owner->mediaState;
  savedConfig = sNEW GuiConfig(owner->config);
  savedMovieInterval = 0;
  savedMovieActive = 0;
  RenderEnv.FogEnd = 3000.0f;   // the far distance of its render environment
  pickDifferent = 0;
  feedbackFlashStart = kaleidoscopeFlashStart = 0;
  flashArmed[0] = flashArmed[1] = 0;
  mode = 4;
  snapshotTaken = 0;
  Random.Seed(sGetTime() & 0xfffff);
  phase = sU32(Random.NextFloat(65536.0f));
}

GuiModeScene::~GuiModeScene() { sDELETE(savedConfig); }

void GuiModeScene::Enter(sInt)
{
  if(SyncSource) SyncSource->SetPatternTable(6, reinterpret_cast<SyncPatternTable>(GuiModePatterns(-1)));
}

sU32 GuiModeScene::Now() const { return SyncSource ? sU32(SyncSource->PublishedClock) : gui->touch.Clock; }

void GuiModeScene::MarkEffectSliders()
{
  gui->pages.sliders[EffectSlider1].Changed = gui->pages.sliders[EffectSlider2].Changed = 1;
}
void GuiModeScene::MarkDistortionSliders()
{
  gui->pages.sliders[DistSlider1].Changed = gui->pages.sliders[DistSlider2].Changed = 1;
}
void GuiModeScene::MarkMovieSliders()
{
  gui->pages.sliders[MovieBrightSlider].Changed = gui->pages.sliders[MovieSlider].Changed = 1;
}

sInt GuiModeScene::RandomKind(sInt current)
{
  sInt k = 1 + Random.NextBelow(3);
  while(pickDifferent && current != 0 && k == current) k = 1 + Random.NextBelow(3);
  return k;
}

void GuiModeScene::SetMode(sInt m, sBool saveFirst)
{
  mode = m;
  if(saveFirst)
  {
    snapshot = *mediaState;
    *savedConfig = gui->config;
    savedMovieInterval = gui->config.Movie.Interval;
    savedMovieActive = sU32(gui->config.Movie.Active);
    snapshotTaken = 1;
  }
  ClearEffects();
  mediaState->ClipFlashOn = 0;   // the layer movie flashes for the program whose 'f' asked for it, and ends with it
  if(SyncSource) SyncSource->SetPatternTable(6, reinterpret_cast<SyncPatternTable>(GuiModePatterns(m)));
  if(m == 4)
  {
    RestoreEffects();
    return;
  }
  if(m < 0 || m > 10) return;
  for(const char *k = StartKeys[m]; *k; k++)
  {
    bool different = *k >= 'A' && *k <= 'Z';
    if(different) pickDifferent = 1;
    OnEvent(different ? *k - 'A' + 'a' : *k);
  }
}

void GuiModeScene::ClearEffects()
{
  GuiConfig &c = gui->config;
  c.Effects[Strobe].Active = 0;
  c.Effects[Strobe].Transparency = 0;
  c.Effects[Strobe].Power = 0;   // a rate of 0 would give a negative power: kept in 0..1
  for(sInt e : {Feedback, Kaleido, TouchMe}) c.Effects[e] = {0, 0, 0, 0};
  for(GuiDistortionSetting &d : c.Distortions) d.Active = 0, d.Frequency = 0, d.Power = 0;
  c.Movie.Power = 0;
  c.Movie.Interval = 0;
  c.Movie.Active = 0;
  mediaState->FadeFactors[1] = 1.0f;
  MarkEffectSliders();
  MarkDistortionSliders();
  MarkMovieSliders();
  if(SyncSource) SyncSource->AutoPresetFlag = 0;
}

void GuiModeScene::RestoreEffects()
{
  if(!snapshotTaken) return;   // no program ran yet: the empty snapshot would zero the operator's settings
  GuiConfig &c = gui->config;
  const GuiConfig &s = *savedConfig;
  for(sInt e : {Strobe, Feedback, Kaleido, TouchMe}) c.Effects[e] = s.Effects[e];
  for(sInt i = 0; i < sGUI_DISTORTIONS; i++) c.Distortions[i] = s.Distortions[i];
  c.Movie.Style = s.Movie.Style;
  c.Movie.Power = s.Movie.Power;
  c.Movie.Interval = savedMovieInterval;
  c.Movie.Active = sInt(savedMovieActive);
  mediaState->FadeFactors[1] = 1.0f;
  MarkEffectSliders();
  MarkDistortionSliders();
  MarkMovieSliders();
}

void GuiModeScene::OnEvent(sInt code)
{
  GuiConfig &c = gui->config;
  GuiMediaState &m = *mediaState;
  switch(code)
  {
  case 'a':
    kaleidoscopeFlashStart = Now();
    flashArmed[1] = 1;
    c.Effects[Kaleido].Active = 1;
    break;
  case 'c':
    m.FadeFactors[1] = 0.3f;
    // a zero there is MUTE's black (or the operator's own zero): taken over, MUTE's would stay after un-MUTE
    if(m.FadeFactors[0] > 0) gui->brightness = m.FadeFactors[0];
    gui->pages.sliders[BrightnessSlider].Changed = 1;
    c.Effects[Feedback].Active = 1;
    c.Effects[Feedback].Transparency = 1.0f;
    c.Effects[Feedback].Power = 0;
    MarkEffectSliders();
    break;
  case 'f':
    c.Movie.Style = 2;
    c.Movie.Power = 1.0f;
    c.Movie.Interval = 0;
    c.Movie.Active = 1;
    m.ClipFlashOn = 1;
    MarkMovieSliders();
    break;
  case 'g':
    c.Effects[Strobe].Active = 0;
    MarkEffectSliders();
    break;
  case 'h':
    c.Effects[Strobe].Active = 1;
    c.Effects[Strobe].Transparency = 1.0f;
    c.Effects[Strobe].Power = 0.46666667f;
    MarkEffectSliders();
    break;
  case 'j':
  {
    GuiDistortionSetting &d = c.Distortions[0];
    d.Kind = RandomKind(d.Kind);
    d.Active = 1;
    d.Frequency = 1.0f;
    d.Power = (Random.NextFloat(100.0f) <= 25.0f && !pickDifferent) ? 0.0f : 1.0f;
    MarkDistortionSliders();
    break;
  }
  case 'k':
    gui->strobeTrigger = 1;
    c.Effects[Strobe].Transparency = 1.0f;
    c.Effects[Strobe].Power = 0;
    MarkEffectSliders();
    break;
  case 'l':
    gui->effectThird[TouchMe] = 1;
    gui->touchFurther = 0;
    c.Effects[TouchMe].Transparency = 1.0f;
    c.Effects[TouchMe].Power = 1.0f;
    MarkEffectSliders();
    break;
  case 's':
    feedbackFlashStart = Now();
    flashArmed[0] = 1;
    c.Effects[Feedback].Active = 1;
    break;
  case 'v':
    if(SyncSource) SyncSource->AutoPresetFlag = 1, SyncSource->AutoPresetIndex = 0;
    break;
  case 'x':
    c.Effects[Feedback].Active = 1;
    c.Effects[Kaleido].Active = 1;
    break;
  case 'y':
  {
    GuiDistortionSetting &d = c.Distortions[1];
    d.Active = 1;
    d.Kind = RandomKind(d.Kind);
    d.Frequency = d.Power = 1.0f;
    c.Movie.Style = RandomKind(c.Movie.Style);
    sF32 r = Random.NextFloat(100.0f);
    c.Movie.Power = r < 15.0f ? 0.0f : (r < 30.0f ? 0.5f : 1.0f);
    c.Movie.Interval = 0;
    c.Movie.Active = 1;
    MarkDistortionSliders();
    MarkMovieSliders();
    break;
  }
  default: break;
  }
  pickDifferent = 0;
}

void GuiModeScene::Render(sInt, sViewport *)
{
  GuiConfig &c = gui->config;
  GuiMediaState &m = *mediaState;
  sU32 now = Now();
  // the flashes run only once their key armed them: a fresh start overwrites nothing
  if(flashArmed[0])
  {
    sF32 v = 1.0f - GuiUnit(sF32(sInt(now - feedbackFlashStart)) * 0.002f - 1.0f);
    if(v > 0)
    {
      c.Effects[Feedback].Transparency = c.Effects[Feedback].Power = v;
      m.RingAmount = m.RingColorAmount = v;
      MarkEffectSliders();
    }
    else
      flashArmed[0] = 0;
  }
  if(flashArmed[1])
  {
    sF32 v = 1.0f - GuiUnit(sF32(sInt(now - kaleidoscopeFlashStart)) * 0.001f);
    if(v > 0)
    {
      c.Effects[Kaleido].Transparency = c.Effects[Kaleido].Power = v;
      m.TunnelAmount = v;
      m.TunnelDepth = 1.0f - v;
      MarkEffectSliders();
    }
    else
      flashArmed[1] = 0;
  }
  sF32 t = sF32(now) + sF32(phase);
  auto S = [t](sF32 a, sF32 b, sF32 cc) { return std::sin(a * t) + std::sin(b * t) + std::sin(cc * t); };
  switch(mode)
  {
  case 6:
    c.Effects[Feedback].Transparency = GuiUnit(S(0.000431f, 0.000553f, 0.000779f) / 3);
    c.Effects[Feedback].Power = GuiUnit(S(0.000357f, 0.000539f, 0.000771f) / 6 + 0.5f);
    c.Effects[Kaleido].Transparency = GuiUnit(S(0.000751f, 0.000333f, 0.000569f) / 3);
    c.Effects[Kaleido].Power = GuiUnit(S(0.000329f, 0.000767f, 0.000571f) / 6 + 0.5f);
    MarkEffectSliders();
    c.Movie.Power = GuiUnit(S(0.000667f, 0.000379f, 0.000511f) * 0.25f + 0.4f);
    m.ClipMix = c.Movie.Power;
    if(gui->pages.movieSection == 8) gui->pages.sliders[MovieBrightSlider].Changed = 1;
    break;
  case 2:
    c.Effects[Feedback].Transparency = GuiUnit(S(0.000653f, 0.000331f, 0.000779f) / 3);
    c.Effects[Feedback].Power = GuiUnit(S(0.000457f, 0.000519f, 0.000771f) / 6 + 0.5f);
    c.Effects[Kaleido].Transparency = GuiUnit(S(0.000651f, 0.000473f, 0.000369f) / 3);
    c.Effects[Kaleido].Power = GuiUnit(S(0.000687f, 0.000329f, 0.000471f) / 6 + 0.5f);
    MarkEffectSliders();
    break;
  case 5:
    c.Distortions[1].Power = GuiUnit(S(0.000667f, 0.000379f, 0.000511f) * 0.25f + 0.4f);
    m.ClipAmount = c.Distortions[1].Power * 100.0f;
    gui->pages.sliders[DistSlider2].Changed = 1;
    break;
  case 3:
    c.Distortions[0].Power = GuiUnit(S(0.000617f, 0.000279f, 0.000501f) * 0.25f + 0.4f);
    m.StrobeAmount = c.Distortions[0].Power * 100.0f;
    gui->pages.sliders[DistSlider2].Changed = 1;
    break;
  default: break;
  }
}

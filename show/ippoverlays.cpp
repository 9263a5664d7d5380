// The IPP machine's overlays: the text art, the beat flashes and the touch particles
// before the blur; the colour test, the hue wash, the logo, the movie layer and the dim
// pulse after the glow.
#include "show/ipp.hpp"

#include "graphics/shader.hpp"
#include "show/guirecords.hpp"
#include "show/media.hpp"
#include "show/procforms.hpp"
#include "show/startup.hpp"
#include "show/sync.hpp"
#include "show/textform.hpp"
#include "show/tmdata.hpp"

#include <cmath>

namespace
{
const sChar *const Banner0[] = {u"......", u"..ooooo..", u"..ooOOOoo..", u"..ooooo..", u"......", nullptr};
const sChar *const Banner1[] = {u"---> DISCO LOVE <---", u"- - - - -", u"- - - - -", u"- - - - XXX", u" ", u" ", u" ",
                                u"                   Sparkvane", nullptr};
const sChar *const Banner2[] = {u"kkk    ............  x",
                                u"     **       <>    >  > >>>>>>>>>>>>>",
                                u"*.*.*....***** %     _ _ _-'       *",
                                u"           +:+;+:+;+---        ",
                                u"----->>>>>>           Q",
                                u"        <|---|>     [$]     ^",
                                u"... ,,,   $$$$ \u00a7\u00a7\u00a7\u00a7\u00a7\u00a7 &&&&&&&&",
                                nullptr};
const sChar *const Banner3[] = {u"music is my only drug", u"                   ", u"                   ", u"                [k]",
                                u"                  ", u"rock the house", nullptr};
const sChar *const *const Banners[4] = {Banner0, Banner1, Banner2, Banner3};

// A unit vector of three draws (for z, y and x, in that order).
sVec3 RandomDirection(IppMachine &m)
{
  sF32 z = m.RandBelow(2) - 1, y = m.RandBelow(2) - 1, x = m.RandBelow(2) - 1;
  sF32 l = std::sqrt(x * x + y * y + z * z);
  return l > 1e-6f ? sVec3(x / l, y / l, z / l) : sVec3(1, 0, 0);
}
}

/****************************************************************************/
/***   Text art, flashes and particles                                    ***/
/****************************************************************************/

void IppMachine::PaintTextArt(sViewport *view)
{
  const SyncResults &b = Beat();
  if(MotionMode == 1 && TextArtOn && TextArt)
  {
    TextArt->Colour = sBlendColor(0x00202020, 0xFF202020, StrobeLevel);
    const sChar *const *lines = Banners[StripeKind >= 0 && StripeKind < 4 ? StripeKind : 0];
    TextArt->PrintCentered(lines[0], 0, 400.0f);
    for(sInt i = 1; lines[i]; i++) TextArt->PrintCenteredNext(lines[i]);
    sF32 s = StripeSeed;
    TextArt->Matrix.EulerXYZ(0, 0, std::sin(0.1f * s) + std::sin(0.011f * s) + 0.03f * s);
    TextArt->Matrix.l = sVec3(300 * std::sin(0.11f * s) + 200 * std::sin(0.15f * s),
                              300 * std::sin(0.11f * s) + 500 * std::sin(0.17f * s), 0);
    RenderForm(view, TextArt, 0);
    TextArt->Clear();
    StripeStrip->Colour = TextArt->Colour;
    RenderForm(view, StripeStrip, 0);
  }
  PrepareQuadView();

  sF32 f = 0, o = 0;
  if(FlashBar == b.BarIndex[2])
  {
    if(FlashOn) f = b.BarPhase > 0.25f ? 1.0f : 0.0f;
    else f = b.BarPhase > 0.25f ? sIppClamp(1 - (b.BarPhase - 0.25f) * 8, 0.0f, 1.0f) : 1.0f;
    if(b.BarPhase > 0 && b.BarPhase < 0.5f) o = -b.PulseA;
  }
  else f = FlashOn ? 1.0f : 0.0f;

  const sF32 W = sF32(DisplayWidth), H = sF32(DisplayHeight), L = StrobeLevel;
  if(MotionMode == 1 && StripeMaterial)
  {
    auto pass = [&](sU32 colour, sF32 off, sF32 t, sF32 k, sF32 base, sF32 sat, sF32 x0, sF32 y0, sF32 x1, sF32 y1) {
      StripeMaterial->Color = colour;
      StripeMaterial->Offset = off;
      StripeMaterial->Gain = 1.0f;
      StripeMaterial->AlphaThreshold = t;
      StripeMaterial->AlphaGain = k;
      StripeMaterial->AlphaBase = base;
      StripeMaterial->Saturation = sat;
      BindShaderMaterial7(StripeMaterial, QuadView);
      DrawQuad(Quad, x0, y0, x1, y1, 0xFFFFFFFF);
    };
    pass(0xFF444444, 0.1f, L * 0.01f, L * 8, 0, 1, 0, 0, W, H);
    pass(0xFFFFFFFF, 0.0f, L * 0.5f, L * 8, 0, 1, 0, 0, W, H);
    if(FlashPanelOn) pass(0xFFFFFFFF, o, 0, f * L, f * L, 0.7f, 0.1f * W, 0.5f * H, 0.5f * W, 0.9f * H);
  }
  else if(MotionMode == 2 && RippleMaterial)
  {
    Mode2Flash = f == 1.0f;
    RippleMaterial->Color = sBlendColor(0, 0xFF808080, -o);
    BindShaderMaterial1(RippleMaterial, QuadView);
    FullQuad();
  }

  PaintMessage();

  if(!Gui || !ParticleCloud) return;
  GuiMediaState &g = *Gui;
  if(!g.ParticlesOn && ParticleTimer >= 4000 && !g.ParticleBurst) return;
  const sF32 gs = sIppClamp(g.TouchStrength, 0.0f, 1.0f), x = g.TouchX, y = g.TouchY;
  const sF32 u = g.TouchVelocityX, v = g.TouchVelocityY, fade = g.ParticleFade;
  const sBool alphaOnly = g.ParticleAlphaOnly != 0;
  auto colour = [&](sBool burst) {
    sU32 first = alphaOnly ? 0x7F383020 : burst ? 0xFF585040 : 0xFF888060;
    sU32 second = alphaOnly ? 0x7F1C1020 : burst ? 0xFF1C2030 : 0xFF3C4050;
    sU32 c = sBlendColor(first, second, RandBelow(1));
    if(alphaOnly) return sBlendColor(0, c & 0xFF000000, fade) | (c & 0x00FFFFFF);
    return sBlendColor(0, c & 0x00FFFFFF, fade) | 0xFF000000;
  };
  auto emit = [&](sF32 size, const sVec3 &vel, sInt age, sU32 c) {
    PointRecord &pt = ParticleCloud->Points[ParticleIndex];
    IppParticle &p = Particles[ParticleIndex];
    pt.Pos = sVec3(x, y, 0);
    pt.Size = size;
    pt.Color = c;
    p = {vel.x, vel.y, vel.z, c, age};
    ParticleIndex = (ParticleIndex + 1) % sIPP_PARTICLES;
  };
  if(g.ParticleBurst && y > -270)
  {
    ParticleTimer = 0;
    for(sInt n = 0; n < 100 * gs + 10; n++)
    {
      sF32 size = RandBelow(40 * gs + 4) + 10 * gs + 1.0f;
      const sVec3 dir = RandomDirection(*this);   // drawn before the speed
      sVec3 vel = dir * (RandBelow(5.5f * gs) + 0.5f * gs + 0.1f) + sVec3(0.25f * u, 0.25f * v + gs, 0);
      sInt age = sInt(sF32(EffectRandom.NextBelow(500)) + (1 - gs) * 500);
      emit(size, vel, age, colour(1));
    }
    sU32 big = alphaOnly ? sBlendColor(0, 0xFF000000, fade) | 0x00FFFFFF : 0xFF808080;
    emit(200 * gs + 20, sVec3(0.25f * u, 0.5f * gs + 0.25f * v, 0), sInt((2 - gs) * 500), big);
    ParticleForm *s = SparkForms[SparkIndex];
    s->Emitter = sVec3(x, y, 0);
    s->SpeedBase = s->SpeedRandom = 3 * gs + 0.5f;
    s->Drift = sVec3(0.25f * u, 0.25f * v, 0);
    // the random part of the wobble, 0.1 over the base -0.1: every spark's wobble stays 0,
    // so the sparks fly straight along their drift (the Invaders' hit sparks set the same)
    s->WobbleRandom = 0.1f;
    s->SizeRandom = (gs + 1) * 3;
    s->Fade = 0.02f;
    s->Colour = alphaOnly ? sBlendColor(0, 0xFF000000, fade) | 0x00FFFFFF : sBlendColor(0, 0x00FFFFFF, fade) | 0xFF000000;
    s->Emit();
    SparkIndex = (SparkIndex + 1) % sIPP_SPARKS;
    g.ParticleBurst = 0;
  }
  if(g.TouchDown && y > -270)
  {
    for(sInt n = 0; n < 5 * gs + 1; n++)
    {
      sF32 size = RandBelow(10) + 5;
      const sVec3 dir = RandomDirection(*this);
      sVec3 vel = dir * RandBelow(gs + 0.1f) + sVec3(0, 0.25f, 0);
      sInt age = sInt(sF32(EffectRandom.NextBelow(500)) + (1 - gs) * 500);
      emit(size, vel, age, colour(0));
    }
  }
  ParticleCloud->MaterialIndex = alphaOnly ? 19 : 21;
  for(ParticleForm *s : SparkForms) s->MaterialIndex = alphaOnly ? 20 : 22;
  ParticleView.SetTarget(nullptr);
  ParticleView.Prepare(15);
  for(ParticleForm *s : SparkForms) RenderForm(&ParticleView, s, 0);
  RenderForm(&ParticleView, ParticleCloud, 0);
}

/****************************************************************************/
/***   Overlays                                                           ***/
/****************************************************************************/

void IppMachine::PaintOverlays(sViewport *view)
{
  const SyncResults &b = Beat();
  PrepareQuadView();
  if(TestImageOn)
    if(ShaderMaterial1 *m = Mtrl<ShaderMaterial1>(18))
    {
      BindShaderMaterial1(m, QuadView);
      FullQuad();
    }
  if(Gui)
  {
    GuiMediaState &g = *Gui;
    if(g.HueWashTrigger)
    {
      HueWashTimer = 0;
      g.HueWashTrigger = 0;
    }
    if(g.HueWashOn || HueWashTimer < 400)
      if(ShaderMaterial7 *m = Mtrl<ShaderMaterial7>(17))
      {
        CopyScreenToTexture(ScreenTexture, DisplayIndex);
        m->HueShift = g.HueWashShift;
        m->Saturation = 1.0f;
        sF32 a = g.HueWashAmount * (HueWashTimer < 400 ? 1 - HueWashTimer * 0.0025f : 1.0f);
        if(g.HueWashGainMode)
          m->AlphaThreshold = 0, m->AlphaBase = 0, m->AlphaGain = 3 * a;
        else
          m->AlphaThreshold = 1.0f, m->AlphaGain = 0, m->AlphaBase = a;
        PrepareQuadView();
        BindShaderMaterial7(m, QuadView);
        FullQuad();
      }
  }
  PaintLogoOverlay(view);
  PaintMovieLayer(view);
  if(Gui)
  {
    GuiMediaState &g = *Gui;
    if(g.DimPulseTrigger)
    {
      DimPulseTimer = 0;
      g.DimPulseTrigger = 0;
      DimBarPhase = b.BarPhase;
    }
    if(g.DimPulseOn || DimPulseTimer < 400)
      if(ShaderMaterial1 *m = Mtrl<ShaderMaterial1>(16))
      {
        sF32 d, p;
        if(DimPulseTimer >= 400)
        {
          d = g.DimPulseAmount;
          p = (b.BarPhase * 2 + 0.5f) * g.DimPulseSpeed;
        }
        else
        {
          d = (1 - DimPulseTimer * 0.0025f) * g.DimPulseAmount;
          p = (b.BarPhase + 1 - DimBarPhase) * 2 * g.DimPulseSpeed;
        }
        sF32 f = sF32(sS64(p * 65536.0f) & 0xFFFF) / 65536.0f;
        sF32 e = sIppClamp((4 - g.DimPulseSpeed * 0.125f) * f, 0.0f, 1.0f);
        sF32 k = (std::cos(sIPP_PI * e) + 1) * 0.5f * d;
        m->Color = sBlendColor(0, 0xFF000000, k) | 0x00FFFFFF;
        PrepareQuadView();
        BindShaderMaterial1(m, QuadView);
        FullQuad(sBlendColor(0, 0xFF000000, k));
      }
  }
  CopyScreenToTexture(ScreenTexture, DisplayIndex);
}

void IppMachine::PaintMovieLayer(sViewport *)
{
  const SyncResults &b = Beat();
  if(!MovieActive || b.Cycle[2] != MovieCycle) return;
  sMaterial *mt = Mtrl<sMaterial>(14);
  sTexture2D *tex = mt ? static_cast<sTexture2D *>(mt->Texture[0]) : nullptr;
  // a movie frame without a size has no shape to fit
  if(!tex || tex->SizeX < 1 || tex->SizeY < 1) return;
  const sF32 w = sF32(tex->SizeX), h = sF32(tex->SizeY), B = b.Bar8Phase, s = MovieDirection;
  const sBool wide = w >= 4 * h / 3;
  GradedPlane *form = nullptr;
  sVec3 c(0, 0, 0);
  if(MovieStyle == 1 || MovieStyle == 2)
  {
    form = MovieForms[0];
    sF32 sx, sy;
    if(MovieStyle == 1)
    {
      if(wide)
        sx = 1000 * w / h, sy = 1000, c = sVec3((B - 0.5f) * 1.5f * 1000 * w / h, 0, -100);
      else
        sx = 1000, sy = 1000 * h / w, c = sVec3(0, (B - 0.5f) * 1.5f * 1000 * h / w, 0);
    }
    else
    {
      sF32 t = 16 * B;
      sF32 e1 = 0.5f - 0.5f * std::cos(sIPP_PI * sIppClamp(t - 2, 0.0f, 1.0f));
      sF32 e2 = 0.5f - 0.5f * std::cos(sIPP_PI / 8 * sIppClamp(t - 4, 0.0f, 8.0f));
      sF32 g = sIppClamp(t - 14, 0.0f, 2.0f);
      sF32 e3 = (1 - std::cos(sIPP_PI / 4 * g)) * 1000;
      sF32 q = 0.5f * std::cos(sIPP_PI / 2 * g);
      if(!wide)
      {
        sx = (1000 - 1000 * w / h) * e1 + 1000 * w / h;
        sy = (1000 * h / w - 1000) * e1 + 1000;
        sF32 m = sy - 750;
        c = sVec3(0, (m * e1 * 0.5f - m * e2 + m * (0.5f - q) * 0.5f) * s, e1 * 225 - 100 - e3);
      }
      else
      {
        sy = (1000 - 1000 * h / w) * e1 + 1000 * h / w;
        sx = (1000 * w / h - 1000) * e1 + 1000;
        sF32 m = sx - 1000 * DisplayAspect();
        c = sVec3((m * e1 * 0.5f - m * e2 + m * (0.5f - q) * 0.5f) * s, 0, 125 - e1 * 225 - e3);
      }
    }
    form->Shape(sx, sy, -sx / 2, -sy / 2);
  }
  else if(MovieStyle == 3)
  {
    form = MovieForms[wide ? 1 : 2];
    MeshVertex *vx = form->Vertices;
    if(wide)
    {
      sF32 a = 0.75f * w / h;
      for(sInt r = 0; r < 16; r++)
        for(sInt k = 0; k < 256; k++)
        {
          sF32 angle = a * k / 255 - (s < 0 ? a * B : a * (1 - B)) + sIPP_PI;
          vx[r * 256 + k].Set(-1333.3334f * std::sin(angle), (r / 15.0f - 0.5f) * 1000, 1333.3334f * std::cos(angle),
                              k / 255.0f, r / 15.0f);
        }
    }
    else
    {
      sF32 a = 1.3333334f * h / w;
      for(sInt r = 0; r < 256; r++)
        for(sInt k = 0; k < 16; k++)
        {
          sF32 angle = a * r / 255 - (s < 0 ? a * B : a * (1 - B)) + sIPP_PI;
          vx[r * 16 + k].Set((k / 15.0f - 0.5f) * 1333.3334f, -1000 * std::sin(angle), 1333.3334f * std::cos(angle),
                             k / 15.0f, r / 255.0f);
        }
    }
    form->Build();
    c = sVec3(0, 0, -1430);
  }
  if(!form) return;
  MovieView.SetTarget(nullptr);
  MovieView.Camera.LookAt(c, c + sVec3(0, 0, -800));
  MovieView.Prepare(15);
  form->SetGrade(0, 1, 0, 1, 0, 0.9f);
  RenderForm(&MovieView, form, 0);
}

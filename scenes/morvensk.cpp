// The Morvensk scene: tables, construction, Init, Enter, Camera and Render.
#include "scenes/morvensk.hpp"

#include "show/forms.hpp"
#include "show/procforms.hpp"

#include <cmath>

/****************************************************************************/
/***   Tables                                                             ***/
/****************************************************************************/

namespace
{
const TextureEntry MorvenskTextures[] = {
    {u"morvensk/white.pic", u"morvensk/white.pic", 0x1001, 2},
    {u"morvensk/white_a.pic", u"morvensk/white_a.pic", 0x1001, 4},
    {u"morvensk/white_m.pic", u"morvensk/white_m.pic", 0x1001, 2},
    {u"morvensk/supershape_01.pic", u"morvensk/supershape_01.pic", 0x1001, 2},
    {u"morvensk/supershape_02.pic", u"morvensk/supershape_02.pic", 0x1001, 2},
    {u"morvensk/minimal_bg.pic", u"morvensk/minimal_bg.pic", 0x1001, 4},
    {u"morvensk/minimal_icon.bmp", u"morvensk/minimal_icon.png", 0x1001, 2},
    {u"morvensk/minimal_text.pic", u"morvensk/minimal_text.pic", 0x1001, 4},
    {nullptr, nullptr, 0, 0},
};

// 0-2 ribbons (additive, alpha, additive), 3 unused super shape, 4 background plane,
// 5 and 6 the grid planes, 7 the arcs
const MaterialEntry MorvenskMaterials[] = {
    MaterialRow(6, 1, 0x81, 0x20102, 1, 0x11000013, 0, 0, 0, 0, 0, 0, 0),
    MaterialRow(6, 1, 0x81, 0x60105, 1, 0x11000010, 0, 0, 0, 1, 0, 0, 0),
    MaterialRow(6, 1, 0x81, 0x20102, 1, 0x11000013, 0, 0, 0, 2, 0, 0, 0),
    MaterialRow(7, 1, 0x83, 0, 1, 0x11000010, 0, 0, 0, 3, 0, 0, 0),
    MaterialRow(0, 1, 0x83, 0x60105, 1, 0x11000010, 0, 0, 0, 5, 0, 0, 0),
    MaterialRow(0, 1, 0x81, 0x20102, 1, 0x11000010, 0, 0, 0, 6, 0, 0, 0),
    MaterialRow(0, 1, 0x81, 0x60105, 1, 0x11000010, 0, 0, 0, 6, 0, 0, 0),
    MaterialRow(0, 1, 0x81, 0x60105, 1, 0x11000010, 0, 0, 0, 7, 0, 0, 0),
    MaterialEnd(),
};

// The variant keys '1' to '8' pick the camera set-ups 0 to 7.
const PatternList<26, 8> ShowList = {
    {0, 0, {'1'}}, {2, 0, {'2'}}, {4, 0, {'3'}}, {8, 0, {'4'}},
    {12, 0, {'5'}}, {16, 0, {'6'}}, {20, 0, {'7'}}, {24, 0, {'8'}},
};
const PatternList<64, 8> ShortList = {
    {0, 0, {'1'}}, {8, 0, {'7'}}, {16, 0, {'2'}}, {24, 0, {'3'}},
    {32, 0, {'8'}}, {40, 0, {'6'}}, {48, 0, {'4'}}, {56, 0, {'5'}},
};

const sU32 PaletteColours[9] = {0xFF00FF00, 0xFF00FF00, 0x00FFFFFF, 0x0000FF00, 0xFF00FF00,
                                0xFFFFFFFF, 0xFF00FF00, 0xFFFFFFFF, 0xFF00FF00};

enum : sInt
{
  FrontPlane = 0,
  BackPlane = 1,
  Background = 2,
  HalfRibbons = MORVENSK_RIBBONS / 2,
  HalfArcs = MORVENSK_ARCS / 2,
};

ArrayForm *MakePlane(sInt material, sF32 size, sF32 z)
{
  ArrayForm *f = sNEW ArrayForm(material);
  const sF32 range[4] = {size, size, -0.5f * size, -0.5f * size};
  f->Init(ArrayForm::PLANE, 1, 1, 16, 16, range);
  f->Matrix.EulerXYZ(0.0f, 0.0f, sScenePi);
  f->Matrix.l = sVec3(0.0f, 0.0f, z);
  return f;
}

ArrayForm *MakeArc(sInt k, sF32 start, sF32 z, sU32 colour)
{
  ArrayForm *f = sNEW ArrayForm(7);
  const sF32 range[4] = {0.8f * sScenePi - 0.3f * sF32(k), 5.0f, start, -24.0f - 3.5f * sF32(k)};
  f->Init(ArrayForm::DISC, 1, 1, 32, 16, range);
  f->Matrix.l = sVec3(0.0f, 0.0f, z);
  f->Colour = colour;
  return f;
}
}

SyncPatternTable MorvenskShowTable() { return ShowList.Table(); }
SyncPatternTable MorvenskShortTable() { return ShortList.Table(); }

/****************************************************************************/
/***   Construction, Init, Enter                                          ***/
/****************************************************************************/

MorvenskScene::MorvenskScene()
{
  // the ribbon shapes and arc angles come from this seed: the same on every run
  Random.Seed(0);
  SetPalette();
  for(StripForm *&r : Ribbons) r = nullptr;
  for(ArrayForm *&p : Planes) p = nullptr;
  for(ArrayForm *&a : RingArcs) a = nullptr;
  for(sF32 &a : ArcAngles) a = 0.0f;
  TimeOffset = 0;
}

void MorvenskScene::SetPalette()
{
  for(sInt i = 0; i < 9; i++) Palette[i] = PaletteColours[i];
}

void MorvenskScene::Init(SyncMachine *syncSource, sInt initFlags, TMData *)
{
  CreateTMData(MorvenskTextures, MorvenskMaterials, initFlags);
  SyncSource = syncSource;
  SetPalette();

  LightSet *main = MaterialSet->LightSets[0];
  SetLight(main, 0, 0x00BFBFBF, sVec3(1.0f, 0.5f, 0.5f), 1000.0f);
  SetLight(main, 1, 0x00FFFFFF, sVec3(-1.0f, -1.0f, 2.0f), 1000.0f);
  SetLight(main, 2, 0x00101010, sVec3(-1.0f, 1.0f, 2.0f), 1000.0f);
  MirrorLights(MaterialSet, 2);

  // set B repeats set A's shapes, so the draws of A are kept
  sF32 lengths[HalfRibbons], widths[HalfRibbons];
  auto ribbon = [&](sInt i, sF32 curl2) {
    StripForm *r = sNEW StripForm(0);
    r->Words.Words[StripWords::Speed] = 100.0f;
    r->Seed = 0;
    r->Init(0, 1, sInt(lengths[i] + 500.0f), widths[i] + 0.1f, 2.0f * std::sin(0.05f * sF32(i)), -1);
    sF32 *w = r->Words.Words;
    w[StripWords::OriginOffset + 0] = 0.0f;
    w[StripWords::OriginOffset + 1] = 0.0f;
    w[StripWords::OriginOffset + 2] = 5.0f;
    w[StripWords::Spin] = 0.13f * sF32(i);
    w[StripWords::StripParamD] = 0.5f;
    w[StripWords::Curl1] = 1.0f;
    w[StripWords::Curl2] = curl2;
    r->Colour = i < 32 ? Palette[2] : Palette[3];
    AddObject(r);
    return r;
  };
  for(sInt i = 0; i < HalfRibbons; i++)
  {
    lengths[i] = Random.NextFloat(1000.0f);
    widths[i] = Random.NextFloat(0.2f);
    Ribbons[i] = ribbon(i, -0.2f);
  }

  Planes[BackPlane] = MakePlane(5, 28.0f, -4.0f);
  AddObject(Planes[BackPlane]);

  for(sInt k = 0; k < 5; k++)
  {
    ArcAngles[k] = Random.NextFloat(2.0f * sScenePi);
    RingArcs[2 * k] = MakeArc(k, ArcAngles[k], -2.0f, Palette[4 + k]);
    RingArcs[2 * k + 1] = MakeArc(k, ArcAngles[k] + sScenePi, -2.0f, Palette[4 + k]);
    AddObject(RingArcs[2 * k]);
    AddObject(RingArcs[2 * k + 1]);
  }
  sDPrint(u"init morvensk mirrow.\n");

  Planes[Background] = MakePlane(4, 96.0f, 0.0f);
  Planes[Background]->Colour = 0xE0FFFFFF;
  AddObject(Planes[Background]);

  for(sInt k = 0; k < 5; k++)
  {
    RingArcs[HalfArcs + 2 * k] = MakeArc(k, ArcAngles[k], 2.0f, Palette[4 + k]);
    RingArcs[HalfArcs + 2 * k + 1] = MakeArc(k, ArcAngles[k] + sScenePi, 2.0f, Palette[4 + k]);
    AddObject(RingArcs[HalfArcs + 2 * k]);
    AddObject(RingArcs[HalfArcs + 2 * k + 1]);
  }

  for(sInt i = 0; i < HalfRibbons; i++) Ribbons[HalfRibbons + i] = ribbon(i, 0.2f);

  Planes[FrontPlane] = MakePlane(5, 28.0f, 4.0f);
  AddObject(Planes[FrontPlane]);

  SetFade(this, 0.0f, 3000.0f, 0);
  TimeOffset = ReseedTimeOffset(&Random, 0xFFFFF);
}

void MorvenskScene::Enter(sInt)
{
  InstallPatterns(SyncSource, 0, RenderMode != 0 ? MorvenskShowTable() : MorvenskShortTable());

  RetextureMaterial(MaterialSet, 7, 0, 7);
  RetextureMaterial(MaterialSet, 5, 0, 6);
  RetextureMaterial(MaterialSet, 6, 0, 6);
  RetextureMaterial(MaterialSet, 4, 0, 5);
  Planes[FrontPlane]->MaterialIndex = 5;
  Planes[BackPlane]->MaterialIndex = 5;
  for(StripForm *r : Ribbons) r->MaterialIndex = 2;

  SetPalette();
  for(StripForm *r : Ribbons) r->Colour = Palette[3];
  for(sInt j = 0; j < HalfArcs; j++)
  {
    RingArcs[j]->Colour = Palette[4 + j / 2];
    RingArcs[HalfArcs + j]->Colour = Palette[4 + j / 2];
  }

  const sF32 spacing = Random.NextFloat(1.0f) * 0.1f;
  for(sInt i = 0; i < HalfRibbons; i++)
  {
    Ribbons[i]->Words.Words[StripWords::Spin] = sF32(i) * spacing;
    Ribbons[HalfRibbons + i]->Words.Words[StripWords::Spin] = sF32(i) * spacing;
  }

  TimeOffset = ReseedTimeOffset(&Random, 0xFFFFF);
}

/****************************************************************************/
/***   Camera                                                             ***/
/****************************************************************************/

void MorvenskScene::Camera(sInt variant, sViewport *view)
{
  const SyncNow s = ReadSync(SyncSource);
  const sF64 t = sF64(s.SyncClock) + sF64(TimeOffset);
  const sF32 e = s.EightBarPhase, f = s.FourBarPhase, h = s.TwoBarPhase;
  if(variant < 0 || variant > 7) variant = 0;
  sVec3 pos, target;
  sF32 zoom = 1.4f;

  if(RenderMode == 0)
  {
    const sF32 wob = ClockSin(t, 0.00013) + ClockSin(t, 0.00017);
    const sF32 v = 2.0f * (ClockSin(t, 0.00011) + ClockSin(t, 0.00019));
    switch(variant)
    {
    case 0:
    {
      const sF32 a = 0.15f * sScenePi * (e - 0.5f);
      pos = sVec3(50.0f * std::sin(a), -15.0f, 20.0f * std::cos(a));
      target = sVec3(-10.0f * std::sin(a), 14.0f * std::cos(a) - 4.0f, -30.0f);
      break;
    }
    case 1:
      pos = sVec3(-40.0f * (e - 0.5f), 3.0f, 30.0f);
      target = sVec3(-30.0f * (e - 0.5f), 3.0f, -30.0f);
      break;
    case 2:
      pos = sVec3(3.0f * e + 20.0f, -30.0f, 40.0f - 5.0f * e);
      target = sVec3(10.0f, -10.0f, 0.0f);
      zoom = 2.0f;
      break;
    case 3:
      pos = sVec3(-10.0f, 10.0f - 2.0f * e,
                  3.0f * (ClockSin(t, 0.00013) + ClockSin(t, 0.00027)) + 32.0f - 6.0f * e);
      target = sVec3(-10.0f, 10.0f, -30.0f);
      zoom = 2.5f;
      break;
    case 4:
      pos = sVec3(0.0f, -5.0f, 35.0f * std::cos(e * sScenePi * 0.5f) + 10.0f);
      target = sVec3(0.0f, 0.0f, -30.0f);
      break;
    case 5:
    {
      const sF32 u = ClockSin(t, 0.00019) + ClockSin(t, 0.00021);
      pos = sVec3(u - 18.0f, -17.0f, ClockSin(t, 0.00015) + ClockSin(t, 0.00023) + 20.0f);
      target = sVec3(u - 10.0f, 13.0f, -30.0f);
      break;
    }
    case 6:
      pos = sVec3(22.0f, v - 19.0f, wob + 25.0f);
      target = sVec3(14.0f, v - 15.0f, -30.0f);
      break;
    default:
      pos = sVec3(24.0f, v + 19.0f, wob + 25.0f);
      target = sVec3(22.0f, v + 15.0f, -30.0f);
      break;
    }
  }
  else
  {
    switch(variant)
    {
    case 0:
    {
      const sF32 a = 0.4f * sScenePi * (h - 0.5f);
      pos = sVec3(80.0f * std::sin(a), -15.0f, 30.0f * std::cos(a));
      target = sVec3(-24.0f * std::sin(a), 14.0f * std::cos(a), -30.0f);
      break;
    }
    case 1:
      pos = sVec3(-16.0f, 0.0f, 12.0f);
      target = sVec3(-4.0f, 16.0f, -30.0f);
      break;
    case 2:
      pos = sVec3(70.0f * (f - 0.5f), 3.0f, 30.0f);
      target = sVec3(90.0f * (f - 0.5f), 3.0f, -30.0f);
      break;
    case 3:
      pos = sVec3(3.0f * f + 20.0f, -30.0f, 30.0f);
      target = sVec3(10.0f, -5.0f - 5.0f * f, 0.0f);
      break;
    case 4:
      pos = sVec3(0.0f, 14.0f, 12.0f);
      target = sVec3(0.0f, 26.0f, -30.0f);
      break;
    case 5:
      pos = sVec3(0.0f, -15.0f - 2.0f * f, 42.0f - 6.0f * f);
      target = sVec3(0.0f, 25.0f, -30.0f);
      zoom = 2.5f;
      break;
    case 6:
      pos = sVec3(13.0f, -13.0f, 12.0f);
      target = sVec3(15.0f, 9.0f, -30.0f);
      break;
    default:
      pos = sVec3(0.0f, 0.0f, 80.0f * std::cos(h * sScenePi * 0.5f) + 5.0f);
      target = sVec3(0.0f, 0.0f, -30.0f);
      break;
    }
  }
  PlaceCamera(this, view, target, pos, zoom);
}

/****************************************************************************/
/***   Render                                                             ***/
/****************************************************************************/

void MorvenskScene::Render(sInt, sViewport *view)
{
  const SyncNow s = ReadSync(SyncSource);
  const sBool calm = RenderMode == 0;
  // the scene's time: milliseconds in the styled modes, a slow clock in the calm mode;
  // every wave of it is taken modulo its period (ClockSin), so it stays smooth all night
  const sF64 ms = sF64(s.SyncClock) + sF64(TimeOffset);
  const sF64 T = calm ? ms * 0.007 : ms;
  const sF32 p = calm ? 0.0f : s.PulseHalfBar;
  const sF32 b = calm ? 0.0f : s.PulseBarEnd;
  const sF32 w = calm ? 0.0f : s.TwoBarTriangle;

  for(sInt j = 0; j < HalfArcs; j++)
  {
    const sF32 sign = (j & 2) ? 1.0f : -1.0f;
    const sF32 angle = calm ? sign * ClockAngle(T, 0.003) : sign * w + ClockAngle(T, 0.0001);
    RingArcs[j]->Matrix.EulerXYZ(0.0f, 0.0f, angle);
    RingArcs[HalfArcs + j]->Matrix.EulerXYZ(0.0f, 0.0f, angle);
  }

  const sF32 x = ClockSin(T, 0.17) * p * 0.5f;
  const sF32 y = ClockSin(T, 0.21) * p * 0.5f;
  for(sInt n = FrontPlane; n <= BackPlane; n++)
  {
    sMat3x4 &m = Planes[n]->Matrix;
    const sF32 push = 3.0f * b + 4.0f;
    if(calm)
    {
      m.EulerXYZ(0.0f, 0.0f, ClockAngle(T, 0.003));
      m.ScaleAxes(1.7f, 1.7f, 1.7f);
    }
    else
    {
      m.EulerXYZ(0.0f, 0.0f, sScenePi);
      if(RenderMode == 1 || RenderMode == 3) m.ScaleAxes(1.7f, 1.7f, 1.7f);
    }
    m.l = sVec3(x, y, 1.5f * p + (n == FrontPlane ? push : -push));
  }

  const sF32 A = (ClockSin(T, 0.0031) + ClockSin(T, 0.005)) * 0.5f;
  const sF32 Q = ClockSin(T, 0.001);
  // the strip material's waves run at 0.5, 0.7, 1, 1.1 and 1.5 times the phase: all of
  // them repeat after 20 pi, so the strip time is kept within that and stays smooth
  const sF32 stripTime = A + ClockPhase(T, 0.006, 20.0 * 3.141592653589793);
  const sF32 paramA = 4.0f * view->Camera.l.z - 10.0f + Q;
  for(sInt i = 0; i < HalfRibbons; i++)
  {
    sF32 width;
    if(calm) width = 5.3f;
    else if(i < 32) width = 2.0f * b + 3.0f * p + 0.3f;
    else width = (s.PulseBeat + 1.0f) * 0.3f + 3.0f * p;
    for(StripForm *r : {Ribbons[i], Ribbons[HalfRibbons + i]})
    {
      sF32 *wd = r->Words.Words;
      wd[StripWords::StripTime] = stripTime;
      wd[StripWords::StripParamB] = 0.0f;
      wd[StripWords::ViewDirection + 0] = view->Camera.k.x;
      wd[StripWords::ViewDirection + 1] = view->Camera.k.y;
      wd[StripWords::ViewDirection + 2] = view->Camera.k.z;
      wd[StripWords::StripParamA] = paramA;
      wd[StripWords::StripParamC] = width;
    }
  }
}

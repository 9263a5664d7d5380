// The Body scene: tables, Init, Enter, OnEvent, Render and Camera.
#include "scenes/body.hpp"

#include "show/forms.hpp"
#include "show/procforms.hpp"

#include <cmath>
#include <vector>

/****************************************************************************/
/***   Tables                                                             ***/
/****************************************************************************/

namespace
{
const TextureEntry BodyTextures[] = {
    {u"body/unpacked/spotlight.bmp", u"body/packed/spotlight.png", 0x1001, 2},
    {u"body/unpacked/body.pic", u"body/packed/body.pic", 0x1001, 4},
    {u"body/unpacked/background.pic", u"body/packed/background.pic", 0x1001, 4},
    {nullptr, nullptr, 0, 0},
};

// 0 light sprites, 1 and 2 the shells of the two groups, 3 and 4 their additive looks,
// 5 the dome
const MaterialEntry BodyMaterials[] = {
    MaterialRow(9, 3, 0, 0x20102, 1, 0x11000010, 0, 0, 0, 0, 0, 0, 0),
    MaterialRow(8, 1, 0x13, 0x60105, 2, 0x11000011, 0x11000011, 0, 0, 1, 1, 0, 0),
    MaterialRow(8, 1, 0x23, 0x60105, 2, 0x11000011, 0x11000011, 0, 0, 1, 1, 0, 0),
    MaterialRow(8, 1, 0x13, 0x60105, 2, 0x11000011, 0x11000011, 0, 0, 1, 1, 0, 0),
    MaterialRow(8, 1, 0x23, 0x60105, 2, 0x11000011, 0x11000011, 0, 0, 1, 1, 0, 0),
    MaterialRow(7, 1, 0x10, 0x60105, 1, 0x11000011, 0, 0, 0, 2, 0, 0, 0),
    MaterialEnd(),
};

// Per row: sixteen shells' entries of (scale, colour); the scales are the same in every row.
struct BodyShellEntry
{
  sF32 Scale;
  sU32 Colour;
};
const BodyShellEntry BodyShellTable[3][16] = {
    {{16, 0xE3CB83}, {24, 0x000000}, {32, 0xE3CB83}, {40, 0xFFFFDF}, {48, 0xFF2020},
     {56, 0xE3CB83}, {64, 0xFFFFDF}, {80, 0xFF2020}, {96, 0xEECCAA},
     {128, 0xE3CB83}, {160, 0x000000}, {240, 0xE3CB83}, {320, 0xE3CB83},
     {400, 0x000000}, {480, 0xE3CB83}, {640, 0xE3CB83}},
    {{16, 0x666F88}, {24, 0x000000}, {32, 0x666F88}, {40, 0xFFFFFF}, {48, 0x666F88},
     {56, 0x666F88}, {64, 0xFFFFDF}, {80, 0x0060A0}, {96, 0xFFFFFF},
     {128, 0x666F88}, {160, 0x000000}, {240, 0x666F88}, {320, 0x666F88},
     {400, 0x000000}, {480, 0xFFFFFF}, {640, 0x666F88}},
    {{16, 0x202020}, {24, 0x000000}, {32, 0x00FF00}, {40, 0xFFFFFF}, {48, 0x202020},
     {56, 0x202020}, {64, 0xFFFFFF}, {80, 0x00FF00}, {96, 0xFFFFFF},
     {128, 0x202020}, {160, 0x000000}, {240, 0x202020}, {320, 0x202020},
     {400, 0x00A000}, {480, 0xFFFFFF}, {640, 0x202020}},
};

struct ShapeChoice
{
  sF32 B[8], A[8], Tilt;
};
const ShapeChoice ShapeChoices[4] = {
    {{3, 0.1f, 1.7f, 1.7f, 4, 0.7f, 0.99f, 0.99f}, {3, 1, 1, 1, 4, 1, 2, 1}, 0.8f},
    {{5, 0.1f, 1.7f, 1.7f, 1, 0.3f, 0.5f, 0.5f}, {5, 1, 1, 1, 1, 1, 1, 1}, 0.6f},
    {{6, 1, 1, 1, 3, 1, 1, 1}, {6, 0.1f, 1.7f, 1.7f, 1, 0.8f, 0.5f, 0.5f}, 1.5f},
    {{3, 0.7f, 1, 1, 6, 3, 1, 1}, {3, 0.1f, 1.7f, 1.7f, 1, 0.3f, 0.5f, 0.5f}, 1.1f},
};

// A list of bars whose keys are a variant key at step 0 (0 for none), and code 108 at steps
// 0 and 8 when the bar carries the pair ('L').
struct BodyBar
{
  sInt Bar = 0;
  sInt Key = 0;
  sBool Pair = 0;
  sBool KeyTwice = 0;   // the key again at step 1
};

// The keys of a list of bars.
std::vector<PatternKey> BodyKeys(const std::vector<BodyBar> &bars)
{
  std::vector<PatternKey> keys;
  for(const BodyBar &b : bars)
  {
    PatternKey k0{b.Bar, 0, {}};
    sInt n = 0;
    if(b.Key) k0.Codes[n++] = b.Key;
    if(b.Pair) k0.Codes[n++] = 108;
    if(n) keys.push_back(k0);
    if(b.KeyTwice) keys.push_back(PatternKey{b.Bar, 1, {b.Key}});
    if(b.Pair) keys.push_back(PatternKey{b.Bar, 8, {108}});
  }
  return keys;
}

std::vector<BodyBar> ShowBars()
{
  std::vector<BodyBar> head = {{0, '1', 0, 1}, {8, '8', 1, 0}, {9, 0, 1, 0}, {10, '2', 1, 0}, {11, 0, 1, 0},
                               {12, '6', 1, 0}, {13, 0, 1, 0}, {14, 0, 1, 0}, {15, 0, 1, 0}};
  std::vector<BodyBar> out;
  for(sInt r = 0; r < 3; r++)
    for(BodyBar b : head)
    {
      b.Bar += 16 * r;
      out.push_back(b);
    }
  // bars 48 to 95: the variant key of each bar that has one, the pair on every bar
  const sInt keyed[][2] = {{48, '9'}, {50, '0'}, {52, '6'}, {56, '2'}, {60, '5'}, {62, '0'}, {64, '6'},
                           {68, '2'}, {70, '7'}, {72, '0'}, {74, '8'}, {76, '2'}, {78, '9'}, {80, '8'},
                           {82, '0'}, {84, '7'}, {86, '2'}, {88, '9'}, {90, '0'}, {92, '6'}};
  std::vector<BodyBar> tail;
  for(sInt bar = 48; bar < 96; bar++)
  {
    sInt key = 0;
    for(const auto &k : keyed)
      if(k[0] == bar) key = k[1];
    tail.push_back({bar, key, 1, 0});
  }
  out.insert(out.end(), tail.begin(), tail.end());
  for(const BodyBar &b : tail)   // bars 96 to 135 repeat bars 56 to 95
    if(b.Bar >= 56) out.push_back({b.Bar + 40, b.Key, b.Pair, b.KeyTwice});
  return out;
}

const PatternList<136, 115> &ShowList()
{
  static const PatternList<136, 115> list(BodyKeys(ShowBars()));
  return list;
}
const PatternList<72, 10> &ShortList()
{
  static const PatternList<72, 10> list(BodyKeys({{0, '3', 0, 0}, {4, '4', 0, 0}, {8, '1', 0, 1}, {16, '2', 1, 0},
                                                  {24, '5', 1, 0}, {32, '7', 1, 0}, {40, '8', 1, 0}, {48, '6', 1, 0},
                                                  {56, '9', 1, 0}, {64, '0', 1, 0}}));
  return list;
}

SuperShapeForm *MakeShape(sInt material)
{
  SuperShapeForm *f = sNEW SuperShapeForm(material);
  const sF32 range[4] = {sScenePi, 2.0f * sScenePi, -0.5f * sScenePi, -sScenePi};
  f->Init(ArrayForm::PLANE, 1, 1, 256, 256, range);
  return f;
}

void SetShape(SuperShapeParams &p, const sF32 *a, const sF32 *b, sF32 f)
{
  for(sInt i = 0; i < 4; i++)
  {
    p.ShapeA[i] = f * a[i] + (1.0f - f) * b[i];
    p.ShapeB[i] = f * a[4 + i] + (1.0f - f) * b[4 + i];
  }
}
}

SyncPatternTable BodyShowTable() { return ShowList().Table(); }
SyncPatternTable BodyShortTable() { return ShortList().Table(); }

/****************************************************************************/
/***   Construction, Init, Enter                                          ***/
/****************************************************************************/

BodyScene::BodyScene()
{
  for(sInt i = 0; i < 8; i++) ShapeSetA[i] = ShapeSetB[i] = 0.0f;
  Dome = nullptr;
  LightSprites = nullptr;
  ShellRow = 0;
  for(SuperShapeForm *&s : Shells) s = nullptr;
  EventBarPhase = BlendA = BlendAPrev = BlendB = BlendBPrev = 0.0f;
  StepCounter = 0;
  for(sInt i = 0; i < 4; i++) StepOrder[i] = i;
  TiltScale = 0.8f;
  LightColourLow = LightColourHigh = LightColourCalm = 0xFFFFFFFF;
  TimeOffset = 0;
}

sInt BodyScene::ShellEntry(sInt n) { return n < 16 ? 15 - n : n - 16; }
sF32 BodyScene::ShellWeight(sInt n) { return sF32(ShellEntry(n)) / 15.0f; }

void BodyScene::SetShellEntries(sInt row)
{
  for(sInt n = 0; n < BODY_SHELLS; n++)
  {
    const sInt e = ShellEntry(n);
    for(sF32 &s : Shells[n]->ShapeParams.Scale) s = BodyShellTable[row][e].Scale;
    Shells[n]->Colour = BodyShellTable[row][e].Colour;
  }
}

void BodyScene::SetShellLook(sBool glow)
{
  for(sInt n = 0; n < BODY_SHELLS; n++)
  {
    Shells[n]->ShapeParams.SuperWordD = glow ? 1.0f : 0.0f;
    Shells[n]->MaterialIndex = (n < 16 ? 1 : 2) + (glow ? 2 : 0);
  }
}

void BodyScene::Init(SyncMachine *syncSource, sInt initFlags, TMData *globalSet)
{
  TakeMaterialSet(this, globalSet, BodyTextures, BodyMaterials, initFlags);
  SyncSource = syncSource;

  const sVec3 dirs[3] = {sVec3(1.0f, 1.5f, 0.5f), sVec3(-1.0f, 1.0f, -2.0f), sVec3(1.0f, -0.5f, 0.5f)};
  const sU32 mainColours[3] = {0xFFCFAFA0, 0xFF707278, 0xFF505256};
  const sU32 domeColours[3] = {0xFF402F28, 0xFF303848, 0xFF303236};
  LightSet *main = MaterialSet->LightSets[0];
  LightSet *dome = MaterialSet->LightSets[1];
  main->Ambient = 0x00242020;
  dome->Ambient = 0x00000004;
  for(sInt k = 0; k < 3; k++)
  {
    SetLight(main, k, mainColours[k], dirs[k], 1024.0f);
    SetLight(dome, k, domeColours[k], dirs[k], 8192.0f);
  }

  const sF32 a[8] = {3.0f, 0.1f, 1.7f, 1.7f, 4.0f, 0.7f, 0.99f, 0.99f};
  const sF32 b[8] = {3.0f, 1.0f, 1.0f, 1.0f, 4.0f, 1.0f, 2.0f, 1.0f};
  for(sInt i = 0; i < 8; i++)
  {
    ShapeSetA[i] = a[i];
    ShapeSetB[i] = b[i];
  }

  Dome = MakeShape(5);
  AddObject(Dome);
  SetShape(Dome->ShapeParams, ShapeSetB, ShapeSetB, 1.0f);
  for(sF32 &s : Dome->ShapeParams.Scale) s = 5000.0f;
  Dome->Colour = 0xFF404040;
  Dome->LightSetIndex = 1;

  LightSprites = sNEW PointForm(0);
  LightSprites->Init(3, 0);
  MarkLights(LightSprites, main, 3, 1024.0f, 200.0f, 0);
  AddObject(LightSprites);

  ShellRow = 0;
  for(sInt n = 0; n < BODY_SHELLS; n++)
  {
    Shells[n] = MakeShape(n < 16 ? 1 : 2);
    SetShape(Shells[n]->ShapeParams, ShapeSetA, ShapeSetB, ShellWeight(n));
    AddObject(Shells[n]);
  }
  SetShellEntries(0);

  // the additive looks of the two shell groups: one plus one, passing alpha above 0x20
  for(sInt row : {3, 4})
  {
    sMaterial *m = MaterialSet->Materials[row];
    m->S.BlendColor = 0x20102;
    m->S.AlphaFunc = sCMP_GREATER;
    m->S.AlphaRef = 0x20;
    m->Prepare(StandardVertexFormat(BodyMaterials[row].VertexFormat));
  }

  for(sInt i = 0; i < 4; i++) StepOrder[i] = i;
  SetFade(this, 0.0f, 300.0f, 0x00202838);
  TimeOffset = ReseedTimeOffset(&Random, 0xFFFFF);
}

void BodyScene::Enter(sInt)
{
  InstallPatterns(SyncSource, 0, RenderMode != 0 ? BodyShowTable() : BodyShortTable());
  Variant = 2;
  EventBarPhase = BlendAPrev = BlendA = BlendBPrev = BlendB = 0.0f;
  StepCounter = 0;

  const ShapeChoice &c = ShapeChoices[Random.NextBelow(4)];
  for(sInt i = 0; i < 8; i++)
  {
    ShapeSetB[i] = c.B[i];
    ShapeSetA[i] = c.A[i];
  }
  TiltScale = c.Tilt;
  SetShape(Dome->ShapeParams, ShapeSetA, ShapeSetA, 1.0f);

  LightSet *main = MaterialSet->LightSets[0];
  LightSet *dome = MaterialSet->LightSets[1];
  if(RenderMode == 4)
  {
    main->Ambient = 0x00101010;
    main->Colors[0] = 0xFFC0C0C0, main->Colors[1] = 0xFF707070, main->Colors[2] = 0xFF505050;
    dome->Ambient = 0;
    dome->Colors[0] = 0xFF404040, dome->Colors[1] = 0xFF383838, dome->Colors[2] = 0xFF303030;
    LightColourLow = 0xFF505050, LightColourHigh = 0xFFFFFFFF, LightColourCalm = 0xFFD0D0D0;
  }
  else
  {
    main->Ambient = 0x00242020;
    main->Colors[0] = 0xFFCFAFA0, main->Colors[1] = 0xFF707278, main->Colors[2] = 0xFF505256;
    dome->Ambient = 0x00000004;
    dome->Colors[0] = 0xFF402F28, dome->Colors[1] = 0xFF303848, dome->Colors[2] = 0xFF303236;
    LightColourLow = 0xFF504844, LightColourHigh = 0xFFFFDFD0, LightColourCalm = 0xFFDFBFB0;
  }
  for(sInt k = 0; k < 3; k++) LightSprites->Points[k].Color = main->Colors[k] | 0xFF000000;

  ShellRow = 1 + Random.NextBelow(2);
  SetShellEntries(ShellRow);
  // a styled visit may have left the additive look on the shells; the calm mode never
  // switches it, so every visit starts from the plain one
  SetShellLook(0);

  TimeOffset = ReseedTimeOffset(&Random, 0xFFFFF);
}

/****************************************************************************/
/***   Events and Render                                                  ***/
/****************************************************************************/

void BodyScene::OnEvent(sInt code)
{
  if(code != 108 || RenderMode == 0) return;
  BlendAPrev = BlendA;
  BlendBPrev = BlendB;
  EventBarPhase = ReadSync(SyncSource).BarPhase;
  if(++StepCounter <= 3) return;
  StepCounter = 0;
  sF32 keys[4];
  for(sF32 &k : keys) k = Random.NextFloat(100.0f);
  for(sInt i = 0; i < 4; i++) StepOrder[i] = i;
  for(sInt i = 0; i < 4; i++)
    for(sInt j = i; j < 4; j++)
      if(keys[j] < keys[i])
      {
        const sF32 k = keys[i];
        keys[i] = keys[j], keys[j] = k;
        const sInt o = StepOrder[i];
        StepOrder[i] = StepOrder[j], StepOrder[j] = o;
      }
}

void BodyScene::Render(sInt variant, sViewport *)
{
  const SyncNow s = ReadSync(SyncSource);
  const sF32 e8 = s.EightBarPhase, f4 = s.FourBarPhase, tb = s.TwoBarPhase;
  const sF64 c = sF64(s.SyncClock);

  if(variant == 0)
  {
    const sF32 pump = ((std::cos(sScenePi * e8) + 1.0f) * 0.5f * (std::sin(2.0f * sScenePi * s.BarPhase) + 1.0f) + 1.0f) * 10.0f;
    for(sInt n = 0; n < BODY_SHELLS; n++)
    {
      for(sF32 &sc : Shells[n]->ShapeParams.Scale) sc = BodyShellTable[ShellRow][ShellEntry(n)].Scale + pump;
      Shells[n]->Colour = BodyShellTable[ShellRow][ShellEntry(n)].Colour;
    }
  }
  const sF32 sPhase = RenderMode == 0 ? e8 : f4 + 0.25f;

  const sF32 d = SceneClamp(s.BarPhase - EventBarPhase, 0.0f, 0.25f);
  switch(StepOrder[StepCounter & 3])
  {
  case 0: BlendA = BlendAPrev + 0.2f * d; break;
  case 2: BlendA = BlendAPrev - 0.2f * d; break;
  case 1: BlendB = BlendBPrev + 0.5f * d; break;
  default: BlendB = BlendBPrev - 0.5f * d; break;
  }

  sF32 aA = 0.0f, aB = 0.0f, wave = 0.0f;
  if(RenderMode != 0)
  {
    const sF32 g = SceneClamp(s.ColourPresetSmooth - 1.0f, 0.0f, 1.0f);
    aB = g * BlendB;
    wave = (s.BarWave - 0.5f) * g;
    aA = g * BlendA;
  }
  const sF32 jitter = (Random.NextFloat(1.0f) - 0.5f) * s.PulseHalfBar * 0.001f;
  const sF32 slow = ClockSin(c, 0.0003);

  for(sInt n = 0; n < BODY_SHELLS; n++)
  {
    SuperShapeParams &p = Shells[n]->ShapeParams;
    const sF32 f = ShellWeight(n);
    const sInt entry = ShellEntry(n);
    SetShape(p, ShapeSetA, ShapeSetB, (0.2f * std::sin(2.0f * sScenePi * tb) + 0.75f) * f);
    sBool tilt = 1;
    sF32 A = p.SuperWordA, B = p.SuperWordB, C = p.SuperWordC;
    switch(variant)
    {
    case 0: A = (SceneClamp(1.2f * e8, 0.0f, 1.0f) + f) * 0.9f - 0.95f, B = 0.5f, C = jitter + 0.002f; break;
    case 1: A = 0.2f * slow + std::sin((f - 0.15f) * sScenePi) + aB, B = aA + 0.5f, C = jitter + 0.0017f; break;
    case 2: A = 0.0f, B = 0.5f, C = 0.2f, tilt = 0; break;
    case 3:
      A = entry == 15 ? 0.3f : entry == 14 ? 0.22f : 0.0f;
      B = (f4 - 0.5f) + 0.17f * wave + 0.5f, C = 0.001f, tilt = 0;
      break;
    case 4: A = 0.2f * slow + std::sin((f - 0.05f) * sScenePi) + aB, B = 0.5f * aA + 0.58f, C = 0.0008f; break;
    case 5:
    {
      const sF32 h = std::cos(SceneClamp(1.25f * f4 - 0.25f, 0.0f, 1.0f) * sScenePi * 0.5f);
      A = 0.2f * slow + std::sin((f - 0.15f) * sScenePi) + aB, B = aA + 0.5f;
      C = Random.NextFloat(1.0f) * (1.05f - h) * s.PulseHalfBar * 0.01f + 0.0017f * h;
      break;
    }
    case 6:
      A = 0.2f * slow + std::sin((f - 0.05f) * 0.8f * sScenePi) + 2.0f * aB;
      B = 0.2f * ClockSin(c, 0.00013) + 2.0f * aA + 0.5f, C = 0.0017f;
      break;
    case 7: A = 0.5f, B = (sPhase - 0.5f) * 0.05f + 0.027f * wave + 0.47f, C = 0.1f * jitter + 0.0002f; break;
    case 8: A = 0.05f, B = 0.5f, C = 0.002f - 0.0015f * s.TwoBarTriangle; break;
    case 9: A = (f + 1.0f) * 0.8f - 0.91f + 0.6f * aB, B = aA + 0.5f, C = 0.0013f; break;
    default: tilt = 0; break;
    }
    p.SuperWordA = A, p.SuperWordB = B, p.SuperWordC = C;
    if(tilt)
    {
      const sF32 r = SceneClamp(1.0f - 2.0f * f, 0.0f, 1.0f);
      Shells[n]->Matrix.EulerXYZ(0.0f, 2.0f * r * TiltScale * wave, 0.6f * r * std::sin(2.0f * sScenePi * e8));
    }
  }

  if(RenderMode == 0) return;
  const sBool calm = s.ColourPreset < 3 && RenderMode != 1;
  LightSet *main = MaterialSet->LightSets[0];
  main->Colors[0] = calm ? LightColourCalm : sBlendColor(LightColourLow, LightColourHigh, SceneClamp(s.PulseHalfBar, 0.0f, 1.0f));
  SetShellLook(!(calm && RenderMode != 4));
}

/****************************************************************************/
/***   Camera                                                             ***/
/****************************************************************************/

void BodyScene::Camera(sInt variant, sViewport *view)
{
  const SyncNow s = ReadSync(SyncSource);
  const sF64 c = sF64(s.SyncClock), T = c + sF64(TimeOffset);
  const sF64 w = 0.0005 * T;
  const sF32 e8 = s.EightBarPhase, f4 = s.FourBarPhase;
  const sF32 e = RenderMode == 0 ? e8 : f4;
  auto S = [&](sF64 rate) { return ClockSin(w, rate); };
  auto C = [&](sF64 rate) { return ClockCos(w, rate); };
  const sF32 sw = S(1.0);   // sin w
  sVec3 pos, target;
  sF32 zoom = 1.4f;
  sBool distanceZoom = 0;

  switch(variant)
  {
  case 1:
  {
    const sF32 Q = 130.0f - 40.0f * S(0.3);
    pos = sVec3(Q * S(0.5), 10.0f * C(1.3) + 20.0f, Q * C(0.5));
    target = sVec3(50.0f * std::sin(0.5f * sw), 50.0f * S(0.4), 0.0f);
    break;
  }
  case 2:
    pos = sVec3(800.0f * S(0.11) + 200.0f * C(0.3), 100.0f * C(0.45) - 100.0f, 800.0f * C(0.11));
    target = sVec3(400.0f * std::sin(0.5f * sw), 100.0f * S(0.3) + 200.0f, 400.0f * std::sin(0.7f * sw));
    break;
  case 3:
    pos = sVec3(-100.0f, -400.0f * (f4 - 0.5f), -800.0f);
    target = sVec3(100.0f, 100.0f - 600.0f * (f4 - 0.5f), 0.0f);
    zoom = 1.8f;
    break;
  case 4:
  {
    const sF32 su = S(0.3), cu = C(0.3), D = 300.0f * (e - 0.5f);
    pos = sVec3(D * su + 40.0f * cu, -40.0f, D * cu - 40.0f * su);
    target = sVec3(D * su + 0.5f, 100.0f, 0.5f * D * cu);
    break;
  }
  case 5:
  {
    const sF32 su = S(0.23), cu = C(0.23), D = 2000.0f * (e - 0.5f);
    pos = sVec3(D * su + 80.0f * cu, 30.0f, D * cu - 80.0f * su);
    target = sVec3(0.0f, 10.0f, 0.0f);
    distanceZoom = 1;
    break;
  }
  case 6:
  {
    const sF32 u = 0.23f * ClockSin(c, 0.0003);
    pos = sVec3(650.0f * std::sin(u) + 80.0f * std::cos(u), -15.0f, 650.0f * std::cos(u) - 80.0f * std::sin(u));
    target = sVec3(100.0f * ClockSin(c, 0.0002), 20.0f, 100.0f * ClockSin(c, 0.00027));
    zoom = 1.9f;
    break;
  }
  case 7:
  {
    const sF32 Q = 400.0f - 100.0f * S(0.41);
    const sF32 drop = 1.0f - (0.5f - 0.5f * std::cos(sScenePi * SceneClamp(2.0f * e8, 0.0f, 1.0f)));
    pos = sVec3(20.0f * C(1.1) + Q * S(0.15), 10.0f * C(1.3) + 500.0f, Q * C(0.15));
    target = sVec3(40.0f * std::sin(0.5f * sw), 30.0f * S(0.3) - 500.0f * drop, 40.0f * std::sin(0.7f * sw));
    distanceZoom = 1;
    break;
  }
  case 8:
    view->Camera.EulerXYZ(ClockAngle(w, 0.13), ClockAngle(w, 0.27), ClockAngle(w, 0.21));
    view->Camera.l = sVec3(0.0f, 0.0f, 0.0f);
    view->ZoomY = zoom;
    view->ZoomX = zoom / SceneAspect(this);
    return;
  case 9:
  {
    const sF32 Q = 200.0f - 10.0f * S(0.3);
    pos = sVec3(Q * S(0.3), 10.0f * C(1.3) + 30.0f, Q * C(0.3));
    target = sVec3(50.0f * std::sin(0.5f * sw), 30.0f * S(0.4), 0.0f);
    break;
  }
  default:
  {
    const sF32 R = 800.0f - 700.0f * (0.5f - 0.5f * std::cos(sScenePi * SceneClamp(1.5f * e8 - 0.5f, 0.0f, 1.0f)));
    const sF32 H = 200.0f * (1.0f - (0.5f - 0.5f * std::cos(sScenePi * SceneClamp(2.0f * e8, 0.0f, 1.0f))));
    pos = sVec3(20.0f * C(1.1) + R * S(0.15), 10.0f * C(1.3) - H, R * C(0.15));
    target = sVec3(40.0f * std::sin(0.5f * sw), 30.0f * S(0.3) + H, 40.0f * std::sin(0.7f * sw));
    break;
  }
  }
  if(distanceZoom)
  {
    const sVec3 d = target - pos;
    zoom = 1.4f + 0.001f * SceneLength(d);
  }
  PlaceCamera(this, view, target, pos, zoom);
}

// The Abstract scene: tables, the surface, Init, Enter, events, Render and Camera.
#include "scenes/abstract.hpp"

#include "show/procforms.hpp"

#include <cmath>
#include <sstream>
#include <string>

/****************************************************************************/
/***   Tables                                                             ***/
/****************************************************************************/

namespace
{
const TextureEntry AbstractTextures[] = {
    {u"abstract/unpacked/white.bmp", u"abstract/packed/white.png", 0x1001, 2},
    {u"abstract/unpacked/glow.bmp", u"abstract/packed/glow.png", 0x1001, 2},
    {u"abstract/unpacked/round_v1.pic", u"abstract/packed/round_v1.pic", 0x1001, 0},
    {u"abstract/unpacked/round_v2.pic", u"abstract/packed/round_v2.pic", 0x1001, 0},
    {u"abstract/unpacked/round_v3.pic", u"abstract/packed/round_v3.pic", 0x1001, 0},
    {nullptr, nullptr, 0, 0},
};

// 0 the far glow points (additive), 1 every other point (alpha, one of the dot pictures)
const MaterialEntry AbstractMaterials[] = {
    MaterialRow(9, 3, 0, 0x20102, 1, 0x11000010, 0, 0, 0, 1, 0, 0, 0),
    MaterialRow(9, 3, 0, 0x60105, 1, 0x11000010, 0, 0, 0, 2, 0, 0, 0),
    MaterialEnd(),
};

// c0 c1 net A, c2 c3 net B and the B forms, c4 c5 the glow points, c6 the fade colour
const sU32 AbstractColourSets[5][7] = {
    {0x4F8F8FBF, 0x0FFFFFFF, 0xFF000000, 0x7FFAEAD8, 0xFF101214, 0xFF101020, 0x00101018},
    {0xFF000000, 0xFF902020, 0xFF333333, 0xFFFFFFFF, 0xFF101030, 0xFF403820, 0x00070712},
    {0xFF000000, 0xFF904000, 0xFF353343, 0xFFFFFFFF, 0xFF101000, 0xFF400000, 0x00100000},
    {0x4FFFFFFF, 0xFF000000, 0xFF000000, 0xFF2020F0, 0x7F000000, 0xFF222222, 0x00111111},
    {0xFF550000, 0xFF110000, 0xFF000000, 0xFFFFFFFF, 0xFF030000, 0xFF330000, 0x00110000},
};

// The patterns: T (0) reshapes and bursts; Sn (n) also picks camera n - 1; Rn (7 + n)
// also moves the head.
std::vector<std::vector<PatternKey>> Patterns()
{
  std::vector<std::vector<PatternKey>> p;
  p.push_back({{0, 0, {107}}, {0, 3, {108}}});
  for(sInt n = 1; n <= 7; n++) p.push_back({{0, 0, {48 + n, 107}}, {0, 3, {108}}});
  for(sInt n = 1; n <= 7; n++) p.push_back({{0, 0, {48 + n, 107, 106}}, {0, 3, {108}}});
  return p;
}

// "T", "S3", "R6" ... into pattern numbers
std::vector<sInt> Bars(const char *text)
{
  std::vector<sInt> bars;
  std::istringstream in(text);
  std::string word;
  while(in >> word)
  {
    const sInt n = word.size() > 1 ? word[1] - '0' : 0;
    bars.push_back(word[0] == 'T' ? 0 : word[0] == 'S' ? n : 7 + n);
  }
  return bars;
}

const PatternList<104, 104> ShowList(SequenceKeys(
    Patterns(), Bars("S7 S7 S2 S7 S6 T S7 T R3 T S4 T S1 T S3 T S1 T S3 T S4 T S1 T S5 T S1 T S5 T S1 T S5 T S1 T "
                     "S5 T S6 T R2 T S3 T S4 T S3 T S1 T S4 T S3 T S4 T S5 T S1 T S5 T T T S5 T S1 T S5 T S2 T "
                     "R6 T S4 T S3 T S1 T S1 T S3 T S4 T S3 T S5 T S1 T S5 T S1 T S5 T S1 T S6 T S7 T")));

std::vector<sInt> ShortBars()
{
  std::vector<sInt> bars(104, 0);
  const std::vector<sInt> keyed = Bars("S7 R3 S1 S6 S4 R2 S5 S6 S4 R6 S2 S6 S7");
  for(size_t n = 0; n < keyed.size(); n++) bars[8 * n] = keyed[n];
  return bars;
}
const PatternList<104, 104> ShortList(SequenceKeys(Patterns(), ShortBars()));

constexpr sF64 TwentyPi = 20.0 * 3.141592653589793;

PointForm *MakePoints(Scene *scene, sInt material, sInt count)
{
  PointForm *f = sNEW PointForm(material);
  f->Words.DepthRange = 200.0f;
  f->Words.DepthOffset = 0.0f;
  f->Words.Brightness = 1.0f;
  f->Init(count, 0);
  scene->AddObject(f);
  return f;
}

}

SyncPatternTable AbstractShowTable() { return ShowList.Table(); }
SyncPatternTable AbstractShortTable() { return ShortList.Table(); }

/****************************************************************************/
/***   The surface                                                        ***/
/****************************************************************************/

void AbstractScene::BeginFrame()
{
  const SyncNow s = ReadSync(SyncSource);
  const sF64 c = sF64(s.SyncClock);
  Frame.K = ClockSin(c, 0.00003) * 0.003f + 0.0065f;
  // every term of the formulas repeats when A or B grows by 20 pi (the slowest is the
  // 2.1, 3.7 and 7.7 fold), so the clock's shift is kept within that
  Frame.A0 = ClockPhase(c, 0.000005, TwentyPi);
  Frame.B0 = ClockPhase(c, 0.000003, TwentyPi);
  Frame.P = RenderMode == 0 ? 0.25f : s.ColourPulse[2];
}

sVec3 AbstractScene::AbstractPath(sF32 u, sF32 v)
{
  BeginFrame();
  return AbstractPathAt(u, v);
}

sVec3 AbstractScene::AbstractPathAt(sF32 u, sF32 v) const
{
  const sF32 A = Frame.K * u + Frame.A0 + v * 0.1f;
  const sF32 B = Frame.K * v + Frame.B0;
  const sF32 P = Frame.P;
  const sF32 zc = 17.0f * std::sin(2.0f * A + 5.0f * B) + 6.0f * std::sin(6.0f * A) + 3.0f * std::sin(7.0f * B);
  sVec3 p;
  switch(CurveType)
  {
  case 0:
    p.x = 5.0f * P * std::sin(13.0f * B) + 7.0f * std::sin(7.0f * A) + 20.0f * std::sin(3.0f * A) + 0.1f * u;
    p.y = 3.0f * P * std::sin(17.0f * B) + 9.0f * std::tan(5.0f * A) + 15.0f * std::sin(5.0f * B) + 0.1f * v;
    p.z = zc - 0.1f * (u + v);
    break;
  case 1:
    p.x = 16.5f * 0.6f * P * std::sin(7.0f * A) * std::sin(13.0f * B) + 20.0f * std::sin(3.0f * A) + 0.1f * u;
    p.y = 25.5f * std::sin(5.0f * A) * std::sin(5.0f * B) + 3.0f * 0.6f * P * std::sin(17.0f * B) + 0.1f * v;
    p.z = zc - 0.1f * (u + v);
    break;
  case 2:
    p.x = 16.5f * 0.2f * P * std::sin(7.0f * A) * std::sin(13.0f * B) + 20.0f * std::sin(3.0f * A) + 0.1f * u;
    p.y = 15.0f * (3.0f * 0.2f * P * std::sin(17.0f * B) + 1.7f * std::sin(5.0f * A)) * std::sin(5.0f * B) + 0.1f * v;
    p.z = 7.0f * (2.1f * std::sin(6.0f * A) + 3.5f * std::sin(7.0f * B)) * std::sin(2.0f * A + 5.0f * B) -
          0.1f * (u + v);
    break;
  default:
    p.x = 16.5f * 0.2f * P * std::sin(7.0f * A) * std::sin(13.0f * B) + 20.0f * std::cos(3.0f * A + 5.0f * B) +
          0.1f * u;
    p.y = 6.0f * (1.7f * std::tan(2.1f * A) + 5.0f * std::sin(7.7f * B)) * std::sin(3.7f * B) + 0.1f * v;
    p.z = 7.0f * (3.5f * 0.2f * P * std::sin(7.0f * B) + 2.1f * std::sin(6.0f * A)) * std::sin(2.0f * A + 5.0f * B) -
          0.05f * (u + v);
    break;
  }
  return p;
}

/****************************************************************************/
/***   Construction, Init, Enter                                          ***/
/****************************************************************************/

AbstractScene::AbstractScene()
{
  AbstractRandom.Seed(0);
  ColourSet = CurveType = TextureChoice = 0;
  HeadU = HeadV = 52.0f;
  for(sF32 &p : PathParams) p = 0.0f;
  // no burst before the first accepted beat event: the orbits start spent
  BeatTime = -100000;
  CameraTimeOffset = 0;
  GlowPoints = NetA = NetB = OrbitA = OrbitB = TubeA = TubeB = nullptr;
  Frame = PathFrame{0.0065f, 0.0f, 0.0f, 0.25f};
}

void AbstractScene::PlaceGlows()
{
  const sU32 *c = AbstractColourSets[ColourSet];
  for(sInt n = 0; n < ABSTRACT_GLOWS; n++)
  {
    PointRecord &p = GlowPoints->Points[n];
    p.Color = sBlendColor(c[4], c[5], AbstractRandom.NextFloat(1.0f));
    const sF32 z = AbstractRandom.NextFloat(2.0f) - 1.0f;
    const sF32 y = AbstractRandom.NextFloat(2.0f) - 1.0f;
    const sF32 x = AbstractRandom.NextFloat(2.0f) - 1.0f;
    sVec3 d(x, y, z);
    d.Unit();
    p.Pos = d * 2000.0f;
    p.Size = AbstractRandom.NextFloat(1500.0f);
  }
}

void AbstractScene::ColourForms()
{
  const sU32 *c = AbstractColourSets[ColourSet];
  sInt n = 0;
  for(sInt i = 0; i < ABSTRACT_NET; i++)
    for(sInt j = 0; j < ABSTRACT_NET; j++, n++)
    {
      const sF32 arc = std::sin(sF32(j) * sScenePi / sF32(ABSTRACT_NET));
      PointRecord &a = NetA->Points[n], &b = NetB->Points[n];
      if(i % 4)
      {
        a.Color = c[0];
        a.Size = (std::sin(0.3f * sF32(n)) * 0.1f + 0.4f) * arc;
        b.Color = c[2];
        b.Size = arc * 0.2f;
      }
      else
      {
        const sF32 s = arc * 0.5f;
        a.Color = c[1];
        a.Size = s;
        b.Color = c[3];
        b.Size = (std::sin(0.3f * sF32(n)) + 1.0f) * 0.3f * s;
      }
    }
  for(sInt q = 0; q < ABSTRACT_ORBIT; q++)
  {
    OrbitA->Points[q].Color = c[0];
    OrbitB->Points[q].Color = c[3];
  }
  for(sInt r = 0; r < ABSTRACT_RINGS; r++)
    for(sInt m = 0; m < ABSTRACT_RING_POINTS; m++)
    {
      const sInt k = r * ABSTRACT_RING_POINTS + m;
      TubeA->Points[k].Color = c[1];
      TubeB->Points[k].Color = c[3];
    }
}

void AbstractScene::Init(SyncMachine *syncSource, sInt initFlags, TMData *globalSet)
{
  SyncSource = syncSource;
  TakeMaterialSet(this, globalSet, AbstractTextures, AbstractMaterials, initFlags);

  LightSet *main = MaterialSet->LightSets[0];
  main->Ambient = 0x404040;
  SetLight(main, 0, 0x5F5F5F, sVec3(1.0f, 0.5f, 0.5f), 1024.0f);
  SetLight(main, 1, 0x8F8F8F, sVec3(-1.0f, 1.0f, -2.0f), 1024.0f);
  MirrorLights(MaterialSet, 2);

  ColourSet = AbstractRandom.NextBelow(5);
  CurveType = AbstractRandom.NextBelow(4);
  TextureChoice = AbstractRandom.NextBelow(3);

  GlowPoints = MakePoints(this, 0, ABSTRACT_GLOWS);
  PlaceGlows();
  NetA = MakePoints(this, 1, ABSTRACT_NET * ABSTRACT_NET);
  NetB = MakePoints(this, 1, ABSTRACT_NET * ABSTRACT_NET);
  OrbitA = MakePoints(this, 1, ABSTRACT_ORBIT);
  OrbitB = MakePoints(this, 1, ABSTRACT_ORBIT);
  TubeA = MakePoints(this, 1, ABSTRACT_RINGS * ABSTRACT_RING_POINTS);
  TubeB = MakePoints(this, 1, ABSTRACT_RINGS * ABSTRACT_RING_POINTS);
  for(PointForm *f : {NetA, NetB, OrbitA, OrbitB, TubeA, TubeB})
    for(sInt n = 0; n < f->Count; n++) f->Points[n].Pos = sVec3(0.0f, 0.0f, 0.0f);
  for(sInt q = 0; q < ABSTRACT_ORBIT; q++) OrbitA->Points[q].Size = OrbitB->Points[q].Size = 0.1f;
  ColourForms();
  for(sInt r = 0; r < ABSTRACT_RINGS; r++)
    for(sInt m = 0; m < ABSTRACT_RING_POINTS; m++)
    {
      const sF32 s = std::sin(sF32(m) * sScenePi / sF32(ABSTRACT_RING_POINTS));
      TubeA->Points[r * ABSTRACT_RING_POINTS + m].Size = s * 0.08f;
      TubeB->Points[r * ABSTRACT_RING_POINTS + m].Size = s * 0.02f;
    }

  HeadU = HeadV = 52.0f;
  for(sF32 &p : PathParams) p = sF32(AbstractRandom.NextBelow(104));
  BeatTime = -100000;
  SetFade(this, 0.0f, 3000.0f, AbstractColourSets[ColourSet][6]);
  CameraTimeOffset = ReseedTimeOffset(&AbstractRandom, 0xFFFFF);
}

void AbstractScene::Enter(sInt)
{
  switch(RenderMode)
  {
  case 0: ColourSet = AbstractRandom.NextBelow(3); break;
  case 1: case 2: case 3: ColourSet = RenderMode - 1; break;
  case 4: ColourSet = AbstractRandom.NextBelow(2) + 3; break;
  default: ColourSet = AbstractRandom.NextBelow(5); break;
  }
  InstallPatterns(SyncSource, 0, RenderMode != 0 ? AbstractShowTable() : AbstractShortTable());
  Variant = 6;
  CurveType = AbstractRandom.NextBelow(4);
  TextureChoice = AbstractRandom.NextBelow(3);
  PlaceGlows();
  ColourForms();
  RetextureMaterial(MaterialSet, 1, 0, 2 + TextureChoice);
  SetFade(this, RenderEnv.FogStart, RenderEnv.FogEnd, AbstractColourSets[ColourSet][6]);
  CameraTimeOffset = ReseedTimeOffset(&AbstractRandom, 0xFFFFF);
}

void AbstractScene::OnEvent(sInt code)
{
  const SyncNow s = ReadSync(SyncSource);
  const sU32 *c = AbstractColourSets[ColourSet];
  switch(code)
  {
  case 106:
  {
    const sBool high = AbstractRandom.NextFloat(100.0f) >= 50.0f;
    HeadV = high ? 52.0f : 54.0f;
    for(sInt k = 0; k < TubeA->Count; k++)
    {
      TubeA->Points[k].Color = high ? c[1] : c[2];
      TubeB->Points[k].Color = c[3];
    }
    break;
  }
  case 107:
    if(RenderMode == 0 && s.EightBarPhase >= 0.03125f) break;
    for(sF32 &p : PathParams) p = sF32(AbstractRandom.NextBelow(104));
    break;
  case 108:
    if(s.ColourPreset >= 2 && RenderMode != 0) BeatTime = s.SyncClock;
    break;
  default:
    break;
  }
}

/****************************************************************************/
/***   Render                                                             ***/
/****************************************************************************/

void AbstractScene::Render(sInt, sViewport *)
{
  const SyncNow s = ReadSync(SyncSource);
  const sF64 c = sF64(s.SyncClock);
  BeginFrame();

  for(sInt i = 0, n = 0; i < ABSTRACT_NET; i++)
    for(sInt j = 0; j < ABSTRACT_NET; j++, n++) NetA->Points[n].Pos = NetB->Points[n].Pos = AbstractPathAt(sF32(j), sF32(i));

  const sF32 f = RenderMode == 0 ? 0.25f : s.ColourPulse[0];
  const sF32 g = RenderMode == 0 ? 0.0f : s.PulseHalfBar;
  const sF32 oddReach = std::sin(f * sScenePi * 0.5f) + 0.1f, evenReach = std::cos(f * sScenePi * 0.5f) + 0.1f;
  const sBool firstHalf = s.BarPhase > 0.0f && s.BarPhase < 0.5f;
  for(sInt r = 0; r < ABSTRACT_RINGS - 1; r++)
  {
    const sF32 start = HeadU - 2.4f + 3.0f * (std::sin(ClockAngle(c, 0.00003) + 0.5f * sF32(r)) +
                                               std::sin(0.3f * sF32(r) + ClockAngle(c, 0.00002)));
    const sF32 turn = 0.73f * sF32(r) + ClockAngle(c, 0.00002);
    const sF32 reach = (r & 1) ? oddReach : evenReach;
    const sF32 swell = ((r & 1) ? !firstHalf : firstHalf) ? 3.0f * g + 1.0f : 1.0f;
    for(sInt m = 0; m < ABSTRACT_RING_POINTS; m++)
    {
      const sF32 u = start + 0.05f * sF32(m);
      const sVec3 P = AbstractPathAt(u, HeadV), Q = AbstractPathAt(u + 2.0f, HeadV);
      sMat3x4 R;
      R.AxisAngle(Q - P, turn);
      const sVec3 p = P + R.i * (std::fabs(std::sin(sF32(m) / 16.0f)) * 1.5f * reach);
      const sF32 size = std::sin(sF32(m) * sScenePi / sF32(ABSTRACT_RING_POINTS));
      const sInt k = r * ABSTRACT_RING_POINTS + m;
      TubeA->Points[k].Pos = TubeB->Points[k].Pos = p;
      TubeA->Points[k].Size = size * 0.08f;
      TubeB->Points[k].Size = size * 0.02f * swell;
    }
  }
  for(sInt m = 0; m < ABSTRACT_RING_POINTS; m++)
  {
    const sInt k = (ABSTRACT_RINGS - 1) * ABSTRACT_RING_POINTS + m;
    const sF32 size = 2.0f * std::sin(sF32(m) * sScenePi / sF32(ABSTRACT_RING_POINTS));
    TubeA->Points[k].Pos = TubeB->Points[k].Pos = AbstractPathAt(HeadU - 4.8f + 0.1f * sF32(m), HeadV);
    TubeA->Points[k].Size = size * 0.08f;
    TubeB->Points[k].Size = (3.0f * g + 1.0f) * size * 0.02f;
  }

  const sVec3 O = AbstractPathAt(PathParams[0], PathParams[1]);
  const sF64 since = sF64(s.SyncClock) - sF64(BeatTime);
  for(sInt q = 0; q < ABSTRACT_ORBIT; q++)
  {
    const sF32 fq = sF32(q);
    const sF64 span = std::sin(ClockAngle(c, 0.0003) + 0.413f * fq) * 300.0 + 1000.0;
    const sF32 d = SceneClamp(sF32(since / span), 0.0f, 1.0f);
    const sF32 w = std::sin(d * sScenePi * 0.5f);
    sMat3x4 E;
    E.EulerXYZ(0.3f * fq + ClockAngle(c, 0.0002), ClockAngle(c, 0.0003) + 0.71f * fq,
               0.53f * fq + ClockAngle(c, 0.0005));
    const sVec3 p = O + E.i * (w * (std::sin(0.27f * fq) + 1.5f));
    OrbitA->Points[q].Pos = OrbitB->Points[q].Pos = p;
    OrbitA->Points[q].Size = (1.0f - w) * 0.3f;
    OrbitB->Points[q].Size = (1.0f - w) * 0.1f;
  }
}

/****************************************************************************/
/***   Camera                                                             ***/
/****************************************************************************/

void AbstractScene::Camera(sInt variant, sViewport *view)
{
  const SyncNow s = ReadSync(SyncSource);
  BeginFrame();
  const sF64 K = sF64(s.SyncClock);
  const sF64 t = K + sF64(CameraTimeOffset);
  // a = t x 0.0005: the rates below are those of a folded into t
  const sF32 e = s.EightBarPhase;
  sVec3 target, pos;
  sF32 zoom = 1.6f;
  auto orbitFrame = [&](sF32 scale, sF32 b) {
    sMat3x4 E;
    E.EulerXYZ(ClockAngle(t, 0.3 * 0.0005), ClockAngle(t, 0.5 * 0.0005), ClockAngle(t, 0.2 * 0.0005));
    return target + E.i * (scale * b);
  };
  // the frame from one surface point towards another, with target and position on
  // circles of radius `radius` in its i/j plane, the position backed off along k
  auto between = [&](sVec3 from, sVec3 to, sF32 radius, const sF64 *rates, sF32 back) {
    sMat3x4 F;
    F.LookAt(to, from);
    target = to + (F.i * ClockSin(K, rates[0]) + F.j * ClockCos(K, rates[1])) * radius;
    pos = from + (F.i * ClockCos(K, rates[2]) + F.j * ClockSin(K, rates[3])) * radius - F.k * back;
  };
  switch(variant)
  {
  case 1:
  {
    const sF32 w = (ClockSin(t, 0.3 * 0.0005) + ClockSin(t, 0.5 * 0.0005)) * 6.0f;
    target = sVec3(ClockSin(t, 0.13 * 0.0005) * 10.0f, w, 0.0f);
    pos = sVec3(ClockSin(t, 0.2 * 0.0005) * 30.0f, -w, ClockCos(t, 0.2 * 0.0005) * 20.0f);
    break;
  }
  case 2:
    target = AbstractPathAt((e - 0.5f) * 20.0f + HeadU, HeadV);
    pos = orbitFrame(2.0f, 1.0f);
    break;
  case 3:
  {
    const sF32 u = (e - 0.5f) * 25.0f + HeadU;
    const sVec3 from = AbstractPathAt(u - 10.0f, HeadV);
    target = AbstractPathAt(u, HeadV);
    sMat3x4 F;
    F.LookAt(target, from);
    pos = from + F.j * 0.5f;
    zoom = 3.6f - 2.0f * e;
    break;
  }
  case 4:
  {
    static const sF64 rates[4] = {0.0003, 0.0003, 0.0003, 0.0003};
    between(AbstractPathAt(HeadU, HeadV), AbstractPathAt(PathParams[0], PathParams[1]), 3.0f, rates, 10.0f);
    const sVec3 d = target - pos;
    zoom = SceneLength(d) * 0.15f + 1.0f;
    break;
  }
  case 5:
  {
    static const sF64 rates[4] = {0.00013, 0.00023, 0.00021, 0.00007};
    between(AbstractPathAt(PathParams[2], PathParams[3]), AbstractPathAt(PathParams[4], PathParams[5]), 5.0f, rates, 15.0f);
    const sVec3 d = target - pos;
    zoom = (ClockSin(K, 0.0000713) * 0.06f + 0.12f) * SceneLength(d) + 1.0f;
    break;
  }
  case 6:
    // straight up along the axis, rising once per eight bars
    view->Camera.EulerXYZ(-sScenePi * 0.5f, ClockAngle(K, 0.0001), 0.0f);
    view->Camera.l = sVec3(0.0f, e * 550.0f - 550.0f, 0.0f);
    view->ZoomY = (1.0f - e) * 5.0f + 1.8f;
    view->ZoomX = view->ZoomY / SceneAspect(this);
    return;
  default:
  {
    const sVec3 H = AbstractPathAt(HeadU, HeadV);
    target = H + sVec3(ClockSin(t, 0.32 * 0.0005), ClockSin(t, 0.17 * 0.0005), ClockSin(t, 0.41 * 0.0005));
    pos = orbitFrame(3.0f, 1.0f);
    break;
  }
  }
  PlaceCamera(this, view, target, pos, zoom);
}

// The Fish scene: tables, Init, Enter, events, the swarm (Tick) and the per-frame meshes,
// paths and particles (Render), and the cameras.
#include "scenes/fish.hpp"

#include "graphics/shader.hpp"
#include "show/procforms.hpp"

#include <cmath>
#include <cstring>

/****************************************************************************/
/***   Tables                                                             ***/
/****************************************************************************/

namespace
{
const TextureEntry FishTextures[] = {
    {u"fish/unpacked/white.bmp", u"fish/packed/white.png", 0x1001, 2},
    {u"fish/unpacked/lightpoint.bmp", u"fish/packed/lightpoint.png", 0x1001, 2},
    {u"fish/unpacked/backlightpoint.bmp", u"fish/packed/backlightpoint.png", 0x1001, 2},
    {u"fish/unpacked/lightpoint_snare.bmp", u"fish/packed/lightpoint_snare.png", 0x1001, 2},
    {u"fish/unpacked/grid.bmp", u"fish/packed/grid.png", 0x1001, 2},
    {u"fish/unpacked/dirt.bmp", u"fish/packed/dirt.png", 0x1001, 2},
    {u"fish/unpacked/dirt2.bmp", u"fish/packed/dirt2.png", 0x1001, 2},
    {u"fish/unpacked/dirt3.bmp", u"fish/packed/dirt3.png", 0x1001, 2},
    {u"fish/unpacked/dirt4.bmp", u"fish/packed/dirt4.png", 0x1001, 2},
    {u"fish/unpacked/fish_bump.bmp", u"fish/packed/fish_bump.png", 0x1001, 3},
    {u"fish/unpacked/fish_bump_detail.bmp", u"fish/packed/fish_bump_detail.png", 0x1001, 3},
    {u"fish/unpacked/fish_color.bmp", u"fish/packed/fish_color.png", 0x1001, 2},
    {u"fish/unpacked/bigfish_bump.bmp", u"fish/packed/bigfish_bump.png", 0x1001, 3},
    {u"fish/unpacked/bigfish_color.bmp", u"fish/packed/bigfish_color.png", 0x1001, 2},
    {u"fish/unpacked/fish_shadow.bmp", u"fish/packed/fish_shadow.png", 0x1001, 2},
    {u"fish/unpacked/end_01.png", u"fish/packed/end_01.png", 0x1001, 4},
    {u"fish/unpacked/end_02.png", u"fish/packed/end_02.png", 0x1001, 2},
    {nullptr, nullptr, 0, 0},
};

constexpr MaterialEntry Sprite(sU32 state, sInt texture)
{
  return MaterialRow(9, 3, state, 0x20102, 1, 0x11000010, 0, 0, 0, texture, 0, 0, 0);
}

// 0 sky, 1 and 2 glow spheres, 3 school fish, 4 big fish, 5-8 plankton, 9 sun, 10 unused,
// 11 big-fish glows, 12 and 13 end planes
const MaterialEntry FishMaterials[] = {
    MaterialRow(0, 1, 3, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0),
    MaterialRow(0, 1, 0, 0x20102, 1, 0x11000010, 0, 0, 0, 2, 0, 0, 0),
    MaterialRow(0, 1, 3, 0, 1, 1, 0, 0, 0, 4, 0, 0, 0),
    MaterialRow(13, 5, 0x13, 0, 3, 0, 0, 0, 0, 9, 10, 11, 0),
    MaterialRow(13, 5, 0x13, 0, 3, 0, 0, 0, 0, 12, 10, 13, 0),
    Sprite(1, 5), Sprite(1, 6), Sprite(1, 7), Sprite(1, 8), Sprite(0, 1), Sprite(0, 2), Sprite(1, 3),
    MaterialRow(0, 1, 1, 0x60105, 1, 0x11000010, 0, 0, 0, 15, 0, 0, 0),
    MaterialRow(0, 1, 1, 0x20102, 1, 0x11000010, 0, 0, 0, 16, 0, 0, 0),
    MaterialEnd(),
};

// The bar patterns: (step, codes) lists. P0 to P18, then Q0, Q4, Q7, Q5.
struct FishStep
{
  sInt Step;
  sU32 Codes[6];
};
struct FishBar
{
  FishStep Steps[2];
};
constexpr sU32 End = 0xFFFFFFFCu;
const FishBar FishBars[23] = {
    {{{0, {106, 52, 108, 103}}, {1, {106, 52, 108, 103, 107, 114}}}},   // P0
    {{{1, {107}}, {8, {51, 103}}}},                                      // P1
    {{{1, {107}}, {-1, {}}}},                                            // P2
    {{{1, {107}}, {4, {49}}}},                                           // P3
    {{{1, {107}}, {4, {50}}}},                                           // P4
    {{{0, {52}}, {1, {107}}}},                                           // P5
    {{{1, {107}}, {8, {50}}}},                                           // P6
    {{{0, {50, 108}}, {1, {107}}}},                                      // P7
    {{{1, {107}}, {8, {49}}}},                                           // P8
    {{{1, {107}}, {4, {51}}}},                                           // P9
    {{{0, {106, 56, 108, End}}, {1, {107}}}},                            // P10
    {{{-1, {}}, {-1, {}}}},                                              // P11
    {{{0, {106, 55, 108, End}}, {1, {107}}}},                            // P12
    {{{0, {51, 108}}, {1, {107}}}},                                      // P13
    {{{0, {52, 108}}, {1, {107}}}},                                      // P14
    {{{1, {107}}, {8, {51}}}},                                           // P15
    {{{0, {50}}, {1, {107}}}},                                           // P16
    {{{0, {55}}, {1, {107}}}},                                           // P17
    {{{0, {49}}, {1, {107}}}},                                           // P18
    {{{0, {53, 108}}, {-1, {}}}},                                        // Q0
    {{{0, {54, 108}}, {1, {107}}}},                                      // Q4
    {{{0, {55, 108}}, {1, {107}}}},                                      // Q7
    {{{0, {49, 108}}, {1, {107}}}},                                      // Q5
};
enum : sInt
{
  Q0 = 19,
  Q4 = 20,
  Q7 = 21,
  Q5 = 22,
  P11 = 11,
};

const sInt ShowHead[] = {0, 1, 2, 3, 4, 2, 5, 6, 7, 3, 4, 2, 5, 8, 2, 9, 10};
const sInt ShowMiddle[] = {7, 3, 4, 2, 5, 8, 2, 9, 13, 2, 5, 6, 2, 9, 3, 2, 14, 15, 2, 3, 4, 2, 5, 6,
                           7, 3, 4, 2, 5, 8, 2, 9, 13, 2, 5, 6, 2, 9, 3, 2, 12, 2, 2, 16, 17, 2, 2, 18};
const sInt ShowTail[] = {0, 1, 2, 3, 4, 2, 5, 6, 7, 3, 4, 2, 5, 8, 2, 9, 13, 2, 5, 6, 2, 9, 3, 2, 14, 15, 2, 3,
                         4, 2, 5, 6, 7, 3, 4, 2, 5, 8, 2, 9, 13, 2, 5, 6, 2, 9, 3, 2, 12, 2, 2, 16, 17, 2, 2, 2};

struct FishLists
{
  SyncPattern Patterns[23];
  const SyncPattern *Show[177];
  const SyncPattern *Short[81];

  FishLists()
  {
    std::memset(Patterns, 0, sizeof(Patterns));
    for(sInt p = 0; p < 23; p++)
      for(const FishStep &st : FishBars[p].Steps)
        if(st.Step >= 0)
          for(sInt c = 0; c < 6; c++) Patterns[p].Keys[st.Step][c] = st.Codes[c];
    sInt n = 0;
    auto add = [&](sInt p) { Show[n++] = p == P11 ? &sEmptyPattern : &Patterns[p]; };
    for(sInt p : ShowHead) add(p);
    for(sInt i = 0; i < 31; i++) add(P11);
    add(12);
    for(sInt i = 0; i < 7; i++) add(P11);
    add(12);
    for(sInt i = 0; i < 15; i++) add(P11);
    for(sInt p : ShowMiddle) add(p);
    for(sInt p : ShowTail) add(p);
    sVERIFY(n == 176);
    Show[n] = nullptr;

    const sInt keyed[][2] = {{0, Q0}, {4, 16}, {8, 13}, {16, Q4}, {24, Q5}, {32, 7},
                             {40, Q7}, {48, 13}, {56, 7}, {64, Q5}, {72, Q4}};
    for(sInt b = 0; b < 80; b++) Short[b] = &sEmptyPattern;
    for(const auto &k : keyed) Short[k[0]] = &Patterns[k[1]];
    Short[80] = nullptr;
  }
};

const FishLists &Lists()
{
  static const FishLists lists;
  return lists;
}

sVec3 CrossOf(const sVec3 &a, const sVec3 &b)
{
  sVec3 c;
  c.Cross(a, b);
  return c;
}
sF32 Ease(sF32 x) { return x > 0.0f ? 1.0f - (1.0f - x) * (1.0f - x) : (x + 1.0f) * (x + 1.0f) - 1.0f; }

// The point of a fish body at ring parameter t and around-parameter a.
sVec3 FishPoint(sF32 t, sF32 a, sF32 W, sF32 H, sF32 L)
{
  const sF32 st = std::sin(sScenePi * t);
  return sVec3(st * std::cos(2.0f * sScenePi * a) * W, std::cos(sScenePi * t) * L, st * std::sin(2.0f * sScenePi * a) * H);
}

// Frames of a swimmer heading along f: rows side, up, forward.
sMat3x4 HeadingFrame(const sVec3 &heading)
{
  sMat3x4 B;
  B.k = SceneUnit(heading);
  B.i = SceneUnit(CrossOf(B.k, sVec3(0.0f, 1.0f, 0.0f)));
  B.j = SceneUnit(CrossOf(B.k, B.i));
  B.l = sVec3(0.0f, 0.0f, 0.0f);
  return B;
}

// v times the 3x3 part of m, the product sMulDirMat3x4 forms, written out here so the
// compiler keeps it in the loop over a school's vertices.
inline sVec3 MulDir(const sVec3 &v, const sMat3x4 &m)
{
  return sVec3(v.x * m.i.x + v.y * m.j.x + v.z * m.k.x, v.x * m.i.y + v.y * m.j.y + v.z * m.k.y,
               v.x * m.i.z + v.y * m.j.z + v.z * m.k.z);
}

// A wrapping swim phase: only its sine is read, so it is kept within one turn to keep
// its precision through a long show.
void AdvancePhase(sF32 &phase, sF32 step) { phase = std::fmod(phase + step, 2.0f * sScenePi); }
}

void FishScene::WriteBent(FormVertexTangent *out, const MeshVertex *tmpl, sInt rings, sInt perRing, const sMat3x4 *ringMatrix,
               const sVec3 &at)
{
  for(sInt r = 0; r < rings; r++)
  {
    const sMat3x4 &M = ringMatrix[r];
    for(sInt k = 0; k < perRing; k++)
    {
      const MeshVertex &v = tmpl[r * perRing + k];
      const sVec3 p = at + MulDir(v.Pos, M), n = MulDir(v.Normal, M), t = MulDir(v.Tangent, M);
      *out++ = {p.x, p.y, p.z, n.x, n.y, n.z, t.x, t.y, t.z, 0.0f, v.Color, v.U0, v.V0, v.U1, v.V1};
    }
  }
}

// Only theta changes from ring to ring, so the sines of the two fixed angles are taken
// once and the products formed in EulerXYZ's order.
sMat3x4 FishScene::RingMatrix(sF32 theta, const sMat3x4 &B)
{
  struct Fixed
  {
    sF32 sy, cy, sz, cz;
    Fixed()
    {
      sSinCos(0.0f, sy, cy);
      sSinCos(-0.5f * sScenePi, sz, cz);
    }
  };
  static const Fixed f;
  sF32 sx, cx;
  sSinCos(theta, sx, cx);
  sMat3x4 e;
  e.i.Init(f.cz * f.cy, f.sz * f.cy, -f.sy);
  e.j.Init(f.cz * f.sy * sx - f.sz * cx, f.sz * f.sy * sx + f.cz * cx, f.cy * sx);
  e.k.Init(f.cz * f.sy * cx + f.sz * sx, f.sz * f.sy * cx - f.cz * sx, f.cy * cx);
  return e * B;
}

SyncPatternTable FishShowTable() { return Lists().Show; }
SyncPatternTable FishShortTable() { return Lists().Short; }

/****************************************************************************/
/***   Construction and Init                                              ***/
/****************************************************************************/

FishScene::FishScene()
{
  for(FishSchool &s : Schools)
  {
    for(sInt n = 0; n < FISH_PER_SCHOOL; n++)
    {
      s.Positions[n] = s.SlotTargets[n] = s.PreviousSlotTargets[n] = sVec3(0.0f, 0.0f, 0.0f);
      s.Velocities[n] = s.Steer[n] = s.PreviousVelocities[n] = sVec3(0.0f, 0.0f, 0.0f);
      s.FollowGain[n] = s.SwimPhase[n] = 0.0f;
    }
    s.Form = nullptr;
    for(sF32 &o : s.RingOffsets) o = 0.0f;
  }
  for(sInt i = 0; i < FISH_COUNT; i++)
  {
    SlotPoints[i] = sVec3(0.0f, 0.0f, 0.0f);
    SlotPhaseSeeds[i] = 0;
  }
  for(BigFish &b : Big)
  {
    b.Position = b.Target = b.PreviousPosition = b.Velocity = b.PreviousMotion = sVec3(0.0f, 0.0f, 0.0f);
    b.SideX = b.Turn = b.SwimPhase = 0.0f;
    b.Form = nullptr;
    b.TemplateVertices = nullptr;
    for(sF32 &o : b.RingOffsets) o = 0.0f;
  }
  SchoolAngles = sVec3(0.0f, 0.0f, 0.0f);
  TurnSide = 0;
  BurstClock = 100000;
  SwimClock = 0;
  RepellerPos = sVec3(0.0f, 0.0f, 0.0f);
  ChaseMode = TurnMode = ScatterMode = BigFishCalm = EndMode = 0;
  EndStart = 0.0f;
  std::memset(PlanktonCells, 0, sizeof(PlanktonCells));
  SkySphere = GlowSphere1 = GlowSphere2 = EndPlanes[0] = EndPlanes[1] = nullptr;
  SunPoint = BigFishGlows = nullptr;
  for(PointForm *&p : PlanktonForms) p = nullptr;
  CameraTimeOffset = 0;
}

void FishScene::Init(SyncMachine *syncSource, sInt initFlags, TMData *globalSet)
{
  SyncSource = syncSource;
  TakeMaterialSet(this, globalSet, FishTextures, FishMaterials, initFlags);
  FishRandom.Seed(sGetTime() & 0xFFFF);

  LightSet *main = MaterialSet->LightSets[0];
  main->Ambient = 0x142840;
  SetLight(main, 0, 0xE8D8B0, sVec3(1.0f, 1.5f, 0.5f), 1024.0f);
  SetLight(main, 1, 0x303850, sVec3(-1.0f, 1.0f, -2.0f), 1024.0f);
  SetLight(main, 2, 0x181C30, sVec3(1.0f, -0.5f, 0.5f), 1024.0f);
  MirrorLights(MaterialSet, 3);

  const sF32 skyRange[4] = {4096.0f, 4096.0f, 4096.0f, 0.0f}, skyUv[4] = {1.0f, 1.0f, 0.0f, 0.0f},
             glowUv[4] = {2.0f, 1.0f, 0.0f, 0.0f}, angles[4] = {sScenePi, 2.0f * sScenePi, 0.0f, 0.0f};
  SkySphere = sNEW ArrayForm(0);
  SkySphere->Init(ArrayForm::SPHERE, 1, 1, 16, 16, skyRange, skyUv, angles);
  SkySphere->Colour = 0x00142840;
  AddObject(SkySphere);
  for(sInt g = 1; g <= 2; g++)
  {
    ArrayForm *glow = sNEW ArrayForm(g);
    glow->Init(ArrayForm::SPHERE, 1, 1, 16, 16, skyRange, glowUv, angles);
    glow->Colour = main->Colors[g];
    sMat3x4 &m = glow->Matrix;
    m.k = main->Directions[g];
    m.i = SceneUnit(CrossOf(sVec3(0.0f, 1.0f, 0.0f), m.k));
    m.j = SceneUnit(CrossOf(m.i, m.k));
    AddObject(glow);
    (g == 1 ? GlowSphere1 : GlowSphere2) = glow;
  }

  SunPoint = sNEW PointForm(9);
  SunPoint->Init(1, 0);
  SunPoint->Points[0].Color = main->Colors[0] | 0xFF000000;
  SunPoint->Points[0].Pos = main->Directions[0] * 512.0f;
  SunPoint->Points[0].Size = 200.0f;
  AddObject(SunPoint);

  sInt slots = 0;
  for(sInt i = 0; i < 80; i++)
    for(sInt j = 0; j < 80; j++)
      for(sInt k = 0; k < 80; k++)
      {
        const sF32 a = sF32(i - 40) * 3.0f, b = sF32(j - 40) * 3.0f, c = sF32(k - 40) * 3.0f;
        if(std::sqrt(a * a + b * b + c * c) >= 20.0f || slots >= FISH_COUNT) continue;
        const sF32 r1 = FishRandom.NextFloat(2.0f), r2 = FishRandom.NextFloat(2.0f), r3 = FishRandom.NextFloat(2.0f);
        SlotPoints[slots] = sVec3((r3 - 1.0f + a) * 2.5f, (r2 - 1.0f + b) * 2.0f, (r1 - 1.0f + c) * 5.0f);
        SlotPhaseSeeds[slots++] = FishRandom.NextBelow(4095);
      }

  for(sInt s = 0; s < FISH_SCHOOLS; s++)
  {
    BuildFishTemplate(&Schools[s], 3);
    for(sInt n = 0; n < FISH_PER_SCHOOL; n++) Schools[s].SwimPhase[n] = sF32(SlotPhaseSeeds[s * FISH_PER_SCHOOL + n]);
  }
  for(BigFish &b : Big)
  {
    BuildBigFish(&b, 4);
    b.Position = sVec3(0.0f, 10.0f, 0.0f);
    b.PreviousPosition = sVec3(0.0f, 10.0f, 0.1f);
    b.PreviousMotion = b.Position - b.PreviousPosition;
  }
  PlaceSchools();
  ResetBigFish();

  ShaderMaterial13 *fishMaterial = static_cast<ShaderMaterial13 *>(MaterialSet->Materials[3]);
  ShaderMaterial13 *bigMaterial = static_cast<ShaderMaterial13 *>(MaterialSet->Materials[4]);
  fishMaterial->SpecularScale = 20.0f, fishMaterial->SpecularOffset = 16.0f;
  bigMaterial->SpecularScale = 14.0f, bigMaterial->SpecularOffset = 12.8f;

  RepellerPos = sVec3(20.0f, 0.0f, 0.0f);
  EndMode = 0;
  EndStart = 0.0f;

  for(sInt p = 0; p < 4; p++)
  {
    PointForm *f = sNEW PointForm(5 + p);
    f->Init(FISH_PLANKTON, 0);
    for(sInt n = 0; n < FISH_PLANKTON; n++)
    {
      PointRecord &pt = f->Points[n];
      pt.Color = sBlendColor(0xFF404040, 0xFF184050, FishRandom.NextFloat(1.0f));
      sU32 *cell = PlanktonCells[p][n];
      for(sInt a = 0; a < 3; a++) cell[a] = sU32(FishRandom.NextBelow(65535)) << 8;
      pt.Pos = sVec3((sF32(cell[0]) - sF32(0x7FFFFF)) / 65536.0f, (sF32(cell[1]) - sF32(0x7FFFFF)) / 65536.0f,
                     (sF32(cell[2]) - sF32(0x7FFFFF)) / 65536.0f);
      pt.Size = p < 3 ? FishRandom.NextFloat(2.0f) + 0.3f : FishRandom.NextFloat(0.2f) + 0.05f;
    }
    f->MaterialOption = 1;
    PlanktonForms[p] = f;
    AddObject(f);
  }

  for(sInt e = 0; e < 2; e++)
  {
    ArrayForm *f = sNEW ArrayForm(12 + e);
    const sF32 range[4] = {100.0f, 100.0f, -50.0f, -50.0f}, uv[4] = {1.0f, 1.0f, 0.0f, 0.0f};
    f->Init(ArrayForm::PLANE, 1, 1, 4, 4, range, uv);
    f->Matrix.EulerXYZ(-sScenePi, -0.5f * sScenePi, 0.0f);
    f->Matrix.l = sVec3((sF32(e) - 0.5f) * 20.0f, 0.0f, 20.0f);
    f->LayerMask = ~0u;
    f->Colour = 0xA0FFFFFF;
    EndPlanes[e] = f;
    AddObject(f);
  }

  BigFishGlows = sNEW PointForm(11);
  BigFishGlows->Init(2, 0);
  for(sInt b = 0; b < 2; b++)
  {
    BigFishGlows->Points[b].Color = 0xFFFFFFFF;
    BigFishGlows->Points[b].Pos = sVec3(0.0f, 0.0f, 0.0f);
    BigFishGlows->Points[b].Size = 200.0f;
  }
  BigFishGlows->MaterialOption = 1;
  BigFishGlows->LayerMask = 2;
  AddObject(BigFishGlows);

  SetFade(this, -200.0f, 600.0f, 0x142840);
  CameraTimeOffset = ReseedTimeOffset(&FishRandom, 0xFFFFF);
  ChaseMode = TurnMode = 0;
  ScatterMode = 1;
  BigFishCalm = 0;
}

void FishScene::BuildFishTemplate(FishSchool *school, sInt material)
{
  const sF32 W = (FishRandom.NextFloat(2.0f) - 1.0f) * 0.3f + 1.5f;
  const sF32 H = (FishRandom.NextFloat(2.0f) - 1.0f) * 0.1f + 0.5f;
  const sF32 L = (FishRandom.NextFloat(2.0f) - 1.0f) * 1.2f + 5.0f;
  MeshVertex *t = school->FishTemplate;
  for(sInt r = 0; r < FISH_RINGS; r++)
    for(sInt k = 0; k < FISH_RING_VERTICES; k++)
    {
      const sF32 tt = sF32(r) * 0.125f, a = sF32(k) * 0.2f;
      MeshVertex &v = t[r * FISH_RING_VERTICES + k];
      v.Color = 0xFFFFFFFF;
      v.U0 = v.U1 = a;
      v.V0 = v.V1 = tt;
      if(r < 8)
      {
        v.Pos = FishPoint(tt, a, W, H, L);
        v.Tangent = SceneUnit(FishPoint(tt, a + 0.2f, W, H, L) - v.Pos);
        const sVec3 along = SceneUnit(FishPoint(tt + 0.125f, a, W, H, L) - v.Pos);
        v.Normal = r == 0 ? sVec3(0.0f, -1.0f, 0.0f) : SceneUnit(CrossOf(along, v.Tangent));
      }
      else if(r == 8)
      {
        v.Pos = sVec3(std::cos(2.0f * sScenePi * a) * W, -L - 1.5f,
                      std::sin(2.0f * sScenePi * a) * std::sin(sScenePi / 20.0f) * H);
        v.Normal = t[7 * FISH_RING_VERTICES + k].Normal;
        v.Tangent = t[7 * FISH_RING_VERTICES + k].Tangent;
      }
      else
      {
        v.Pos = sVec3(0.0f, -L - 1.5f, 0.0f);
        v.Normal = sVec3(0.0f, 1.0f, 0.0f);
        v.Tangent = t[8 * FISH_RING_VERTICES + k].Tangent;
      }
    }
  for(sInt r = 0; r < FISH_RINGS; r++) school->RingOffsets[r] = t[r * FISH_RING_VERTICES].Pos.y - L;

  ArrayForm *f = sNEW ArrayForm(material);
  f->Vertices = NewMeshVertices(FISH_PER_SCHOOL * FISH_VERTICES);
  for(sInt n = 0; n < FISH_PER_SCHOOL; n++)
    std::memcpy(f->Vertices + n * FISH_VERTICES, t, sizeof(MeshVertex) * FISH_VERTICES);
  f->Init(ArrayForm::GRID, 2, 5, FISH_RING_VERTICES, FISH_PER_SCHOOL * FISH_RINGS);
  f->MaterialOption = 1;
  school->Form = f;
  AddObject(f);
}

sVec3 FishScene::BigFishSurface(sF32 u, sF32 v)
{
  const sF32 A = (std::sin(6.0f * sScenePi * u + 0.5f * sScenePi) + 1.0f) * 0.5f;
  const sF32 B = (std::cos(5.1f * sScenePi * v - 0.5f * sScenePi) + 1.0f) * 0.5f;
  const sF32 Q = std::cos(1.3f * sScenePi * v);
  const sF32 B2 = B * B, A3 = A * A * A;
  const sF32 F = (1.0f - Q) * B2 * B2 * A3 * A3 * A3 * 6.0f;
  const sF32 S = std::sin(sScenePi * v), th = 2.0f * sScenePi * u;
  return sVec3(std::cos(th) * (F + 3.8f) * S, std::cos(sScenePi * v) * 30.0f, std::sin(th) * (F + 8.0f) * S);
}

void FishScene::BuildBigFish(BigFish *fish, sInt material)
{
  ArrayForm *f = sNEW ArrayForm(material);
  f->Vertices = NewMeshVertices(FISH_BIG_RINGS * FISH_BIG_RING_VERTICES);
  for(sInt r = 0; r < FISH_BIG_RINGS; r++)
    for(sInt k = 0; k < FISH_BIG_RING_VERTICES; k++)
    {
      const sF32 u = sF32(k) / 63.0f, v = sF32(r) / 127.0f;
      const sVec3 P = BigFishSurface(u, v);
      MeshVertex &m = f->Vertices[r * FISH_BIG_RING_VERTICES + k];
      m.Pos = P;
      m.Tangent = SceneUnit(BigFishSurface(u + 1.0f / 63.0f, v) - P);
      m.Normal = SceneUnit(CrossOf(SceneUnit(BigFishSurface(u, v + 1.0f / 127.0f) - P), m.Tangent));
      m.Color = 0xFFFFFFFF;
      m.U0 = u + 0.5f, m.V0 = v, m.U1 = u, m.V1 = v;
    }
  for(sInt r = 0; r < FISH_BIG_RINGS; r++)
    fish->RingOffsets[r] = f->Vertices[r * FISH_BIG_RING_VERTICES].Pos.y - f->Vertices[0].Pos.y;
  f->Init(ArrayForm::GRID, 2, 5, FISH_BIG_RING_VERTICES, FISH_BIG_RINGS);
  f->MaterialOption = 1;
  f->LayerMask = 2;
  fish->Form = f;
  fish->TemplateVertices = f->Vertices;
  AddObject(f);
}

void FishScene::PlaceSchools()
{
  for(sInt s = 0; s < FISH_SCHOOLS; s++)
    for(sInt n = 0; n < FISH_PER_SCHOOL; n++)
    {
      FishSchool &sc = Schools[s];
      sc.Positions[n] = sc.SlotTargets[n] = sMulPointMat3x4(SlotPoints[s * FISH_PER_SCHOOL + n], SchoolMatrix);
      sc.Velocities[n] = sc.Steer[n] = sc.PreviousVelocities[n] = sVec3(0.0f, 0.0f, 0.0f);
    }
}

void FishScene::ResetBigFish()
{
  const SyncNow s = ReadSync(SyncSource);
  const sF64 c = sF64(s.SyncClock);
  const sF32 Z = (s.EightBarPhase - 0.5f) * 300.0f;
  for(sInt b = 0; b < 2; b++)
  {
    BigFish &f = Big[b];
    sF32 sway;
    sVec3 path;
    if(b == 0)
    {
      sway = ClockSin(c, 0.00017) * 15.0f;
      path = sVec3(Ease(std::cos(s.FourBarTriangleA * sScenePi)) * 180.0f + sway, ClockSin(c, 0.00021) * 5.0f, Z - 32.0f);
    }
    else
    {
      sway = ClockSin(c, 0.00027) * 5.0f;
      path = sVec3(sway - Ease(std::cos(s.FourBarTriangleB * sScenePi)) * 180.0f, ClockSin(c, 0.00029) * 15.0f, Z + 32.0f);
    }
    if(s.ColourPreset < 2 || !ChaseMode)
    {
      f.Target = sVec3(f.SideX < 0.0f ? sway - 180.0f : sway + 180.0f, path.y, path.z);
      f.Position = f.Target;
      f.Velocity = f.PreviousMotion = sVec3(0.0f, 0.0f, 0.1f);
    }
    else
    {
      f.Position = path;
      f.SideX = path.x;
    }
    f.PreviousPosition = f.Position;
    f.Turn = 0.0f;
  }
}

/****************************************************************************/
/***   Enter and events                                                   ***/
/****************************************************************************/

void FishScene::ResetSchool()
{
  SchoolAngles = sVec3(0.0f, 0.0f, 0.0f);
  SchoolMatrix.EulerXYZ(0.0f, 0.0f, 0.0f);
  SchoolMatrix.l = sVec3(0.0f, 0.0f, -120.0f);
  PlaceSchools();
  TurnSide = 0;
  BurstClock = 100000;
  ResetBigFish();
}

void FishScene::Enter(sInt)
{
  InstallPatterns(SyncSource, 0, RenderMode != 0 ? FishShowTable() : FishShortTable());
  // the end sequence, once reached, stays until the next Init
  ScatterMode = 1;
  LayerMask = 1;
  ChaseMode = TurnMode = 0;
  BigFishCalm = 0;
  ResetSchool();
  Variant = 3;
  ChaseMode = 1, BigFishCalm = 1, TurnSide = 1, ScatterMode = 1;
  CameraTimeOffset = ReseedTimeOffset(&FishRandom, 0xFFFFF);
  SeenBar = -1;
}

// The flags events 103, 104, 106 and 107 toggle; 1 when the code toggled one.
sBool FishScene::Toggle(sInt code)
{
  switch(code)
  {
  case 103: BigFishCalm ^= 1; return 1;
  case 104: TurnMode ^= 1; return 1;
  case 106:
    if(RenderMode == 0) return 0;
    ChaseMode ^= 1;
    ScatterMode = !ChaseMode;
    return 1;
  case 107:
    if(RenderMode == 0) return 0;
    TurnSide ^= 1;
    return 1;
  default: return 0;
  }
}

// A slow frame passes steps over and the sequencer never hands out their codes: the
// toggles among them are made here, so that a pair of them (pattern P0) never leaves a
// flag turned for the rest of the list.
void FishScene::TogglePassedSteps()
{
  if(!SyncSource) return;
  const sInt bar = SyncSource->BarIndex[0], step = SyncSource->CurrentStep;
  const SyncPatternTable table = SyncSource->Tables[0];
  const sInt from = SeenBar * SYNC_STEPS + SeenStep + 1, to = bar * SYNC_STEPS + step;
  // only a run forward of less than a bar: a jump or a resync passes nothing over
  if(SeenBar >= 0 && to > from && to - from < SYNC_STEPS)
    for(sInt g = from; g < to; g++)
      if(g / SYNC_STEPS < PatternBars(table))
        for(sU32 code : table[g / SYNC_STEPS]->Keys[g % SYNC_STEPS])
        {
          if(!code) break;
          Toggle(sInt(code));
        }
  SeenBar = bar, SeenStep = step;
}

void FishScene::OnEvent(sInt code)
{
  if(Toggle(code))
  {
    if(code == 107 && ReadSync(SyncSource).ColourPreset >= 2 && TurnMode) BurstClock = 0;
    return;
  }
  switch(code)
  {
  case 108: ResetSchool(); break;
  case sInt(End):
    EndMode = 1;
    EndStart = sF32(ReadSync(SyncSource).SyncClock);
    break;
  default: break;
  }
}

/****************************************************************************/
/***   The swarm                                                          ***/
/****************************************************************************/

void FishScene::Tick(sInt)
{
  const SyncNow s = ReadSync(SyncSource);
  const sF32 p = std::sin(sF32(std::fmod(sF64(SwimClock) * 0.001, 2.0 * 3.14159265358979))) * 0.3f;
  const sF32 q = (s.ColourPreset < 2 || !TurnMode) ? 0.0f : TurnSide ? 0.5654867f : -0.5654867f;
  const sF32 burst = SceneClamp(sF32(BurstClock) * 0.01f, 0.0f, 1.0f);
  const sF32 speed = (1.0f - burst) * 0.2f + 0.2f;
  sMat3x4 M;
  M.EulerXYZ(p, q, 0.0f);
  SchoolAngles.x = SchoolAngles.x * 0.9995f + p * 0.0005f;
  SchoolAngles.y = SchoolAngles.y * 0.9995f + q * 0.0005f;
  SchoolAngles.z = SchoolAngles.z * 0.9995f;
  SchoolMatrix.EulerXYZ(SchoolAngles.x, SchoolAngles.y, SchoolAngles.z);
  SchoolMatrix.l += M.k * speed;
  UpdateSwarm();
  BurstClock += 10;
  SwimClock += 10;
}

void FishScene::UpdateSwarm()
{
  const sBool weak = ScatterMode && EndMode;
  const sF32 k = weak ? 0.0005f : 0.003f, R = weak ? 70.0f : 80.0f;
  for(sInt s = 0; s < FISH_SCHOOLS; s++)
  {
    FishSchool &sc = Schools[s];
    for(sInt n = 0; n < FISH_PER_SCHOOL; n++)
    {
      sVec3 &pos = sc.Positions[n], &vel = sc.Velocities[n], &steer = sc.Steer[n];
      sc.PreviousSlotTargets[n] = sc.SlotTargets[n];
      sc.SlotTargets[n] = sMulPointMat3x4(SlotPoints[s * FISH_PER_SCHOOL + n], SchoolMatrix);
      sVec3 delta = sc.SlotTargets[n] - pos;
      const sF32 dist = SceneLength(delta), prevDist = SceneLength(sc.PreviousSlotTargets[n] - pos);
      if(dist > 2.0f) delta = SceneUnit(delta) * 2.0f;
      sc.PreviousVelocities[n] = vel;
      const sF32 speed = SceneLength(vel);
      if(speed >= 0.6f || dist <= prevDist) sc.FollowGain[n] = 0.005f;
      else
      {
        vel += delta * (0.007f * sc.FollowGain[n]);
        if(sc.FollowGain[n] < 1.0f) sc.FollowGain[n] += 0.005f;
      }
      sVec3 d = pos - RepellerPos;
      const sF32 dq = SceneLength(d);
      d = SceneUnit(d);
      if(EndMode) d.y *= 6.0f;
      if(dq < R) steer += d * ((1.0f - dq / R) * k);
      else if(dist > prevDist)
        steer = SceneUnit(SceneUnit(steer) * 0.9f + SceneUnit(vel) * 0.1f) * SceneLength(steer);
      vel += steer;
      steer *= 0.97f;
      const sF32 sp = SceneLength(vel);
      if(sp > 0.1f) vel *= 0.95f;
      pos += vel;
      AdvancePhase(sc.SwimPhase[n], sp * 0.2f);
    }
  }
}

/****************************************************************************/
/***   Render                                                             ***/
/****************************************************************************/

void FishScene::DeformSchool(FishSchool *school)
{
  ArrayForm *f = school->Form;
  if(!f->Geometry) return;
  void *p = nullptr;
  f->Geometry->BeginLoadVB(FISH_PER_SCHOOL * FISH_VERTICES, sGD_FRAME, &p);
  FormVertexTangent *out = static_cast<FormVertexTangent *>(p);
  for(sInt n = 0; n < FISH_PER_SCHOOL; n++)
  {
    const sMat3x4 B = HeadingFrame(school->Velocities[n]);
    sVec3 &prev = school->PreviousVelocities[n];
    prev = SceneUnit(prev);
    const sF32 turn = sDot(B.i, prev), speed = SceneLength(school->Velocities[n]);
    sMat3x4 rings[FISH_RINGS];
    for(sInt r = 0; r < FISH_RINGS; r++)
    {
      const sF32 o = school->RingOffsets[r];
      rings[r] = RingMatrix(std::sin(o * 0.1f + school->SwimPhase[n]) * o * speed * 0.1f + o * turn + 0.5f * sScenePi, B);
    }
    WriteBent(out + n * FISH_VERTICES, school->FishTemplate, FISH_RINGS, FISH_RING_VERTICES, rings, school->Positions[n]);
  }
  f->Geometry->EndLoadVB();
}

void FishScene::DeformBigFish(BigFish *fish)
{
  const sVec3 motion = fish->Position - fish->PreviousPosition;
  fish->Velocity = motion;
  const sMat3x4 B = HeadingFrame(motion);
  const sF32 turnNow = SceneClamp(sDot(B.i, SceneUnit(fish->PreviousMotion)), -0.05f, 0.05f);
  fish->Turn = 0.9f * fish->Turn + 0.1f * turnNow;
  const sF32 speed = SceneLength(motion);
  fish->PreviousMotion = motion;
  ArrayForm *f = fish->Form;
  if(!f->Geometry) return;
  sMat3x4 rings[FISH_BIG_RINGS];
  for(sInt r = 0; r < FISH_BIG_RINGS; r++)
  {
    const sF32 o = fish->RingOffsets[r];
    rings[r] = RingMatrix(std::sin(o * 0.01f + fish->SwimPhase) * o * speed * 0.0025f + o * fish->Turn * 0.3f + 0.5f * sScenePi, B);
  }
  void *p = nullptr;
  f->Geometry->BeginLoadVB(FISH_BIG_RINGS * FISH_BIG_RING_VERTICES, sGD_FRAME, &p);
  WriteBent(static_cast<FormVertexTangent *>(p), fish->TemplateVertices, FISH_BIG_RINGS, FISH_BIG_RING_VERTICES, rings,
            fish->Position);
  f->Geometry->EndLoadVB();
}

sF32 FishScene::PlanktonCoordinate(sU32 cell, sF32 camera)
{
  // the camera cell in 64-bit: a far camera would overflow 32 bits; only the low 24 bits
  // matter, since space repeats every 256 units
  const sU32 c = sU32(sS64((sF64(camera) + 128.0) * 65536.0) & 0xFFFFFF);
  return sF32(sInt((cell - c) & 0xFFFFFF) - 0x7FFFFF) * (1.0f / 65536.0f);
}

void FishScene::Render(sInt, sViewport *view)
{
  TogglePassedSteps();
  const SyncNow s = ReadSync(SyncSource);
  for(FishSchool &sc : Schools) DeformSchool(&sc);

  const sF32 endClock = sF32(sF64(s.SyncClock) - sF64(EndStart));
  if(EndMode)
  {
    const sF32 e = endClock * 0.0001f, a = SceneClamp(e, 0.0f, 1.0f), b = SceneClamp(e - 2.0f, 0.0f, 1.0f), amp = a * (1.0f - b);
    for(ArrayForm *p : EndPlanes)
    {
      p->Matrix.l.y = SchoolMatrix.l.y;
      p->LayerMask = ~0u;
    }
    EndPlanes[0]->Colour = sBlendColor(0, 0xA0FFFFFF, std::sin(amp * 0.5f * sScenePi));
    EndPlanes[1]->Colour = sBlendColor(0, 0xFFA0A0A0, 0.5f - std::cos(amp * sScenePi) * 0.5f);
  }
  else
    for(ArrayForm *p : EndPlanes) p->LayerMask = 0;

  const sF32 T = EndMode ? endClock * 5e-5f : s.EightBarPhase;
  const sF32 Z = (T - 0.5f) * 300.0f, h = EndMode ? 15.0f : 0.0f;
  const sF64 c = sF64(s.SyncClock);
  sF32 dist[2];
  for(sInt b = 0; b < 2; b++)
  {
    BigFish &f = Big[b];
    f.PreviousPosition = f.Position;
    const sF32 alpha = BigFishCalm ? 0.0f : s.FourBarTriangleA;
    const sF32 beta = BigFishCalm ? (s.EightBarPhase < 0.093f ? 1.0f : s.FourBarTriangleB) : s.FourBarTriangleB;
    sF32 sway;
    sVec3 path;
    if(b == 0)
    {
      sway = ClockSin(c, 0.00017) * 15.0f;
      path = sVec3(Ease(std::cos(alpha * sScenePi)) * 180.0f + sway, ClockSin(c, 0.00021) * 5.0f + h, Z - 32.0f);
    }
    else
    {
      sway = ClockSin(c, 0.00027) * 5.0f;
      path = sVec3(sway - Ease(std::cos(beta * sScenePi)) * 180.0f, ClockSin(c, 0.00029) * 15.0f - h, Z + 32.0f);
    }
    if(s.ColourPreset < 2 || !ChaseMode)
    {
      f.Target = sVec3(f.SideX < 0.0f ? sway - 180.0f : sway + 180.0f, path.y, path.z);
      const sVec3 to = f.Target - f.Position;
      const sF32 accel = SceneClamp(SceneLength(to) * 0.001f, 0.0f, 0.05f);
      f.Velocity = (f.Velocity + SceneUnit(to) * accel) * 0.95f;
      f.Position += f.Velocity;
    }
    else
    {
      f.Position = path;
      f.SideX = path.x;
    }
    AdvancePhase(f.SwimPhase, SceneLength(f.PreviousMotion) * 0.1f);
    DeformBigFish(&f);
    PointRecord &glow = BigFishGlows->Points[b];
    glow.Pos = sVec3(0.0f, f.Position.y, f.Position.z);
    const sF32 fade = SceneClamp(std::fabs(f.Position.x) - 50.0f, 0.0f, 200.0f) * 0.05f;
    glow.Color = sBlendColor(0, 0xFFFFFFFF, SceneClamp(s.PulseHalfBar - fade, 0.0f, 1.0f));
    dist[b] = SceneLength(f.Position - SchoolMatrix.l);
  }

  if(ChaseMode) RepellerPos = dist[0] >= dist[1] ? Big[1].Position : Big[0].Position;
  else RepellerPos = ScatterMode ? sVec3(0.0f, 0.0f, 0.0f) : sVec3(1000.0f, 1000.0f, 1000.0f);

  const sVec3 V = view->Camera.l;
  for(sInt p = 0; p < 4; p++)
  {
    PointForm *f = PlanktonForms[p];
    for(sInt n = 0; n < FISH_PLANKTON; n++)
    {
      const sU32 *cell = PlanktonCells[p][n];
      f->Points[n].Pos = sVec3(PlanktonCoordinate(cell[0], V.x), PlanktonCoordinate(cell[1], V.y),
                               PlanktonCoordinate(cell[2], V.z));
    }
    f->Matrix.l = V;
  }
}

/****************************************************************************/
/***   Camera                                                             ***/
/****************************************************************************/

void FishScene::Camera(sInt variant, sViewport *view)
{
  const SyncNow s = ReadSync(SyncSource);
  const sF64 t = sF64(CameraTimeOffset) + sF64(s.SyncClock);
  const sF32 e8 = s.EightBarPhase;
  const sVec3 B0 = Big[0].Position, B1 = Big[1].Position, S = SchoolMatrix.l;
  auto W = [&](sF64 rate) { return ClockSin(t, rate); };
  LayerMask = ~0u;
  sF32 zoom = 1.4f;
  sVec3 T, P;
  switch(variant)
  {
  case 1:
    T = sVec3(0.0f, 0.0f, (e8 - 0.5f) * 300.0f);
    P = sVec3(W(0.00011) * 20.0f - 100.0f, W(0.00023) * 20.0f + 40.0f, (e8 - 0.5f) * 100.0f);
    zoom = W(0.00029) + 2.2f;
    break;
  case 2:
    T = sVec3(0.0f, 0.0f, W(0.00023) * 20.0f + (e8 - 0.5f) * 150.0f);
    P = sVec3(W(0.00019) * 20.0f - 40.0f, W(0.00034) * 20.0f - 80.0f, (e8 - 0.5f) * 100.0f);
    break;
  case 3:
  {
    T = sVec3(B1.x, B1.y, B1.z + 15.0f);
    const sF32 x0 = (B1.x > 0.0f ? 195.0f : -195.0f) + W(0.00013) * 3.0f;
    P = sVec3(x0 + (x0 - T.x) * 0.2f, B1.y + W(0.00024) * 10.0f, B1.z + W(0.00017) * 5.0f + 40.0f);
    zoom = SceneLength(sVec3(x0, P.y, P.z) - T) * 0.005f + 1.6f;
    break;
  }
  case 4:
  {
    P = sVec3(W(0.00017) * 40.0f - 160.0f, W(0.00011) * 40.0f, W(0.00019) * 40.0f + 130.0f);
    const sVec3 Q(P.x + 80.0f, P.y, P.z + 80.0f);
    const sF32 e = s.FourBarPhase * 4.0f;
    const sF32 w = 0.5f - std::cos(sScenePi * SceneClamp(e - 0.5f, 0.0f, 1.0f)) * 0.5f, b = SceneClamp(e - 1.5f, 0.0f, 1.0f);
    T = Q + (S - Q) * w;
    zoom = (0.5f - std::cos(sScenePi * b) * 0.5f) * SceneLength(S - Q) * 0.01f + 1.2f;
    LayerMask = 1;
    break;
  }
  case 5:
    P = sVec3(W(0.00017) * 20.0f, W(0.00011) * 20.0f, W(0.00019) * 20.0f + e8 * 40.0f + 50.0f);
    T = sVec3(W(0.00033) * 10.0f + P.x, W(0.00074) * 10.0f + P.y, P.z - 40.0f + W(0.00057) * 10.0f);
    zoom = 1.0f;
    break;
  case 6:
  {
    const sF32 z = B1.z + 90.0f - e8 * 180.0f;
    T = sVec3(B1.x * 0.9f, B1.y, z);
    P = sVec3(B1.x * 1.2f + W(0.00033) * 7.0f, B1.y + W(0.00024) * 13.0f, W(0.00057) * 11.0f + z + 10.0f);
    zoom = 1.6f;
    break;
  }
  case 7:
  {
    const sVec3 M = (B0 + B1) * 0.5f;
    // outside the end sequence there is no end clock: the eight-bar phase runs the dolly
    const sF32 run = EndMode ? sF32((sF64(s.SyncClock) - sF64(EndStart)) * 5e-5) : e8;
    const sF32 m = M.z - (run - 0.5f) * 250.0f;
    T = sVec3(M.x - 250.0f - W(0.00033) * 27.0f, M.y - W(0.00024) * 23.0f, m - W(0.00057) * 21.0f);
    P = sVec3(M.x + 60.0f + W(0.00033) * 17.0f, M.y + W(0.00024) * 13.0f, m + W(0.00057) * 21.0f);
    zoom = 2.2f;
    break;
  }
  default:
    T = sVec3(0.0f, 8.0f, (e8 - 0.5f) * 200.0f);
    P = sVec3(W(0.0001) * 20.0f + 80.0f, W(0.0002) * 60.0f + 8.0f, W(0.0003) * 40.0f + (e8 - 0.5f) * 200.0f);
    break;
  }
  PlaceCamera(this, view, T, P, zoom);
}

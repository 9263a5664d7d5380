// The Crystal scene: tables, lists, Init and Exit, growth, cameras and the far-to-near
// drawing of the chain.
#include "scenes/crystal.hpp"

#include "graphics/shader.hpp"
#include "show/forms.hpp"
#include "show/model.hpp"
#include "show/scenehost.hpp"

#include <cmath>
#include <cstring>

const sVec3 CrystalTips[CRYSTAL_COLUMNS] = {sVec3(-1.3f, 26.2f, -0.5f), sVec3(2.2f, 17.8f, -0.5f),
                                            sVec3(-0.6f, 29.8f, -0.7f), sVec3(0.8f, 17.0f, 0.2f),
                                            sVec3(0.0f, 24.2f, 0.0f),   sVec3(1.0f, 19.0f, 0.0f),
                                            sVec3(2.2f, 17.8f, -0.5f)};

/****************************************************************************/
/***   Tables and lists                                                   ***/
/****************************************************************************/

namespace
{
const TextureEntry CrystalTextureRows[] = {
    {u"crystal/unpacked/white.bmp", u"crystal/packed/white.png", 0x1001, 2},
    {u"crystal/unpacked/glow.bmp", u"crystal/packed/glow.png", 0x1001, 2},
    {u"crystal/unpacked/lightpoint.bmp", u"crystal/packed/lightpoint.png", 0x1001, 2},
    {u"crystal/unpacked/crystal.bmp", u"crystal/packed/crystal.png", 0x1001, 2},
    {u"crystal/unpacked/crystal_red.bmp", u"crystal/packed/crystal_red.png", 0x1001, 2},
    {u"crystal/unpacked/crystal_black.bmp", u"crystal/packed/crystal_black.png", 0x1001, 2},
    {u"crystal/unpacked/crystal_red2.bmp", u"crystal/packed/crystal_red2.png", 0x1001, 2},
    {u"crystal/unpacked/crystal_tur.bmp", u"crystal/packed/crystal_tur.png", 0x1001, 2},
    {u"crystal/unpacked/crystal_bg.bmp", u"crystal/packed/crystal_bg.png", 0x1001, 2},
    {u"crystal/unpacked/round.pic", u"crystal/packed/round.pic", 0x1001, 4},
    {nullptr, nullptr, 0, 0},
};

// 0 and 1 the light sprites, 2 and 3 the chain crystals' second and first pass, 4 and 5
// the shell's, 6 the models' own rows, 7 and 9 unused, 8 the path lights and the flash
// point, 10 the marker, 11 the flash ring
const MaterialEntry CrystalMaterialRows[] = {
    MaterialRow(9, 3, 1, 0x40102, 1, 0x11000010, 0, 0, 0, 1, 0, 0, 0),
    MaterialRow(9, 3, 1, 0x40102, 1, 0x11000010, 0, 0, 0, 2, 0, 0, 0),
    MaterialRow(5, 1, 19, 0x60105, 2, 1, 0x11000010, 0, 0, 3, 0, 0, 0),
    MaterialRow(5, 1, 35, 0x60105, 2, 1, 0x11000010, 0, 0, 3, 0, 0, 0),
    MaterialRow(5, 1, 19, 0x60105, 1, 1, 0, 0, 0, 8, 0, 0, 0),
    MaterialRow(5, 1, 35, 0x60105, 1, 1, 0, 0, 0, 8, 0, 0, 0),
    MaterialRow(5, 1, 19, 0x60105, 1, 1, 0, 0, 0, 3, 0, 0, 0),
    MaterialRow(9, 3, 0, 0x60105, 1, 0x11000010, 0, 0, 0, 9, 0, 0, 0),
    MaterialRow(9, 3, 1, 0x20102, 1, 0x11000010, 0, 0, 0, 1, 0, 0, 0),
    MaterialRow(9, 3, 0, 0x40102, 1, 0x11000010, 0, 0, 0, 1, 0, 0, 0),
    MaterialRow(0, 1, 3, 0, 1, 0x11000011, 0, 0, 0, 0, 0, 0, 0),
    MaterialRow(0, 1, 0, 0x20102, 1, 1, 0, 0, 0, 0, 0, 0, 0),
    MaterialEnd(),
};
constexpr sInt ModelMaterialBase = 6;
constexpr sInt ChainFirstPass = 3, ChainSecondPass = 2, ShellFirstPass = 5, ShellSecondPass = 4;

const sChar *const ModelFiles[CRYSTAL_COLUMNS] = {u"crystal001.dae", u"crystal002.dae", u"crystal003.dae",
                                                  u"crystal004.dae", u"crystal005.dae", u"crystal006.dae",
                                                  u"crystal002.dae"};

struct CrystalLook
{
  sU32 Ambient;
  sU32 Lights[3];
  sU32 Fade;
  sU32 PathLights;
  sInt Texture;
};
const CrystalLook Looks[CRYSTAL_LOOKS] = {
    {0xB0404040, {0xC04040, 0xC08080, 0x404040}, 0x000004, 0xFF302E22, 3},
    {0xB0202020, {0x4040C0, 0xC0A880, 0x404040}, 0x101014, 0xFF100406, 4},
    {0xB0100202, {0xA0A0A0, 0xB0B0B0, 0x404640}, 0x000000, 0xFF090909, 7},
    {0xB0101010, {0x808080, 0xA08080, 0x404640}, 0x101010, 0xFF080908, 5},
    {0xB0100202, {0xA0A0A0, 0xB0B0B0, 0x404640}, 0x000000, 0xFF090909, 6},
};

const sVec3 LightDirections[3] = {sVec3(1.0f, 0.5f, 0.5f), sVec3(-1.0f, 1.0f, -2.0f), sVec3(-1.2f, -1.0f, 1.2f)};
constexpr sU32 DrawAmbient = 0x50808080;

// The lists, one letter per bar. Every bar grows twice (108 at steps 4 and 12); 'a' also
// clears the chain and picks camera 4, the other letters pick the cameras of their keys.
const char StyledBars[] = "abcbdbebbbcbdbfbabdbfbbbcbdbebbbabcbebdbcbdbcbebabdbcbdbfbcbebbb"
                          "abcbdbebbbcbdbfbabdbfbbbcbdbebbb";
const char CalmBars[] = "abbbcbbbdbbbbbbbabbbdbbbcbbbbbbbabbbcbbbdbbbbbbbabbbdbbbcbbbbbbb"
                        "abbbcbbbdbbbbbbbabbbdbbbcbbbbbbb";

std::vector<PatternKey> ListKeys(const char *bars, const sInt *cameraKeys, sInt letters)
{
  std::vector<std::vector<PatternKey>> patterns;
  for(sInt l = 0; l < letters; l++)
  {
    std::vector<PatternKey> p = {{0, 4, {108}}, {0, 12, {108}}};
    if(l == 0) p.push_back({0, 0, {107, '5'}});
    else if(cameraKeys[l]) p.push_back({0, 0, {cameraKeys[l]}});
    patterns.push_back(p);
  }
  std::vector<sInt> order;
  for(const char *c = bars; *c; c++) order.push_back(*c - 'a');
  return SequenceKeys(patterns, order);
}

const sInt StyledCameras[6] = {0, 0, '1', '2', '3', '4'};
const sInt CalmCameras[4] = {0, 0, '3', '4'};

sInt Bucket(sF32 d)
{
  const sF32 b = 30.0f * d;
  return !(b > 0.0f) ? 0 : b >= sF32(CRYSTAL_BUCKETS - 1) ? CRYSTAL_BUCKETS - 1 : sInt(b);
}

void SetFirstMeshMaterial(Model *m, sInt material)
{
  if(m->MeshCount > 0 && m->MeshForms[0]) m->MeshForms[0]->MaterialIndex = material;
}
}

SyncPatternTable CrystalList(sBool calm)
{
  static const PatternList<96, 96> styled(ListKeys(StyledBars, StyledCameras, 6));
  static const PatternList<96, 96> quiet(ListKeys(CalmBars, CalmCameras, 4));
  return calm ? quiet.Table() : styled.Table();
}

/****************************************************************************/
/***   Construction, Init, Exit                                           ***/
/****************************************************************************/

CrystalScene::CrystalScene()
{
  Random.Seed(0);
  for(sInt c = 0; c < CRYSTAL_COLUMNS; c++)
  {
    CrystalModels[c] = ShellModels[c] = nullptr;
    for(Model *&m : GrownCrystals[c]) m = nullptr;
    for(Model *&m : FlyingCrystals[c]) m = nullptr;
  }
  auto clear = [](CrystalRecord &x) {
    x.Matrix.Identity();
    x.Tip = x.Middle = sVec3(0, 0, 0);
    x.Scale = x.Distance = x.Birth = 0.0f;
    x.Column = x.Row = x.MainBranch = x.Kind = 0;
    x.Next = nullptr;
  };
  for(CrystalRecord &x : CrystalRecords) clear(x);
  for(CrystalRecord &x : FlyingRecords) clear(x);
  RecordCount = FlyingNext = PathIndex = 0;
  for(CrystalBranch &b : BranchHeads)
  {
    b.Matrix.Identity();
    b.Angles = b.PreviousTip = sVec3(0, 0, 0);
  }
  for(sInt i = 0; i < CRYSTAL_PATH; i++)
  {
    PathMatrices[i].Identity();
    PathAngles[i] = sVec3(0, 0, 0);
  }
  PathFrequencies = SmoothPoint = sVec3(0, 0, 0);
  for(sVec3 &p : PathPoints) p = sVec3(0, 0, 0);
  GrowthClock = 0.0f;
  std::memset(DepthBuckets, 0, sizeof(DepthBuckets));
  Look = 0;
  PathLightColour = Looks[0].PathLights;
  TimeOffset = 0;
  LightSprites[0] = LightSprites[1] = nullptr;
  PathLights = FlashPoint = nullptr;
  FlashRing = nullptr;
  Marker = nullptr;
}

CrystalScene::~CrystalScene() { Exit(); }

void CrystalScene::Init(SyncMachine *syncSource, sInt initFlags, TMData *globalSet)
{
  for(sInt i = 0; i < CRYSTAL_COLUMNS; i++)
    for(Model **slot : {&CrystalModels[i], &ShellModels[i]})
    {
      *slot = sNEW Model(this);
      (*slot)->LightSetIndex = 0;
      pImportObject(*slot, ModelFiles[i], u"crystal/unpacked/", 0, 2, ModelMaterialBase);
    }

  TakeMaterialSet(this, globalSet, CrystalTextureRows, CrystalMaterialRows, initFlags);
  SyncSource = syncSource;

  LightSet *l0 = MaterialSet->LightSets[0];
  l0->Ambient = Looks[0].Ambient;
  for(sInt i = 0; i < 3; i++) SetLight(l0, i, Looks[0].Lights[i], LightDirections[i], 512.0f);

  // the chain's forms are made before the models grow tenfold: the chain draws at the
  // models' own size, which the tip table speaks of; the shell's forms after
  sMat3x4 ten;
  ten.ScaleAxes(10.0f, 10.0f, 10.0f);
  for(sInt i = 0; i < CRYSTAL_COLUMNS; i++)
  {
    Model *c = CrystalModels[i], *s = ShellModels[i];
    c->CreateForms(0);
    c->Transform(ten);
    c->Matrix.l = sVec3((sF32(i) / 7.0f - 0.5f) * 70.0f, 0.0f, 0.0f);
    c->ApplyMatrix();
    s->Transform(ten);
    s->CreateForms(0);
    s->Transform(ten);
    s->SetLayerMask(4);
  }

  // the crystal materials: their highlights, and the first shared target as second texture
  const sBool own = MaterialSet->MaterialCount > ShellFirstPass;
  for(sInt row = ChainSecondPass; own && row <= ShellFirstPass; row++)
  {
    if(MaterialSet->GetKind(row) != 5) continue;
    ShaderMaterial3 *m = static_cast<ShaderMaterial3 *>(MaterialSet->Materials[row]);
    const sBool second = row == ChainSecondPass || row == ShellSecondPass;
    m->SpecularScale = second ? 12.0f : 9.0f;
    m->SpecularOffset = second ? 10.0f : 8.0f;
    if(row <= ChainFirstPass && Machine && Machine->Targets[0]) m->Texture[1] = Machine->Targets[0];
    m->Prepare(sVertexFormatPosNormUV);
  }

  for(sInt k = 0; k < CRYSTAL_RECORDS; k++)
  {
    CrystalRecord &r = CrystalRecords[k];
    r.Column = k % CRYSTAL_COLUMNS;
    r.Row = k / CRYSTAL_COLUMNS;
    r.Kind = 0;
    r.Birth = 0.0f;
  }
  for(sInt k = 0; k < CRYSTAL_FLYING; k++)
  {
    CrystalRecord &r = FlyingRecords[k];
    const sF32 vx = Random.NextFloat(2.0f) - 1.0f, vy = Random.NextFloat(2.0f) - 1.0f, vz = Random.NextFloat(2.0f) - 1.0f;
    const sF32 sx = Random.NextFloat(2.0f) - 1.0f, sy = Random.NextFloat(2.0f) - 1.0f, sz = Random.NextFloat(2.0f) - 1.0f;
    r.Tip = sVec3(vx, vy, vz);
    r.Middle = sVec3(sx, sy, sz);
    r.Column = k % CRYSTAL_COLUMNS;
    r.Row = k / CRYSTAL_COLUMNS;
    r.Birth = -10.0f;
    r.Kind = 1;
    r.Scale = Random.NextFloat(0.1f) + 0.01f;
  }

  Marker = sNEW CubeForm(10);
  Marker->Init(1, 0.1f, 0.1f, 0.1f);
  Marker->Matrix.l = sVec3(0, 8, 0);
  Marker->LayerMask = 2;
  Marker->ShadowRecord = NewShadow(this, 0, 512.0f, 100.0f, 0.01f,
                                   MaterialSet->TextureCount > 0 ? MaterialSet->Textures[0] : nullptr);
  Marker->ShadowCasterMask = 2;

  for(sInt c = 0; c < CRYSTAL_COLUMNS; c++)
  {
    for(sInt r = 0; r < CRYSTAL_ROWS + CRYSTAL_FLYING_ROWS; r++)
    {
      Model *m = sNEW Model(this);
      m->LightSetIndex = 0;
      m->Instance(CrystalModels[c], 1);
      m->ApplyMatrix();
      if(r < CRYSTAL_ROWS) GrownCrystals[c][r] = m;
      else
      {
        m->SetLayerMask(2);
        FlyingCrystals[c][r - CRYSTAL_ROWS] = m;
      }
    }
  }

  DrawShellMatrices();

  FlashRing = sNEW ArrayForm(11);
  const sF32 ring[4] = {2.0f * sScenePi, 1.0f, 0.0f, 10.0f};
  FlashRing->Init(ArrayForm::DISC, 2, 1, 64, 4, ring);
  FlashRing->LayerMask = 4;

  for(sInt n = 0; n < 2; n++)
  {
    PointForm *p = sNEW PointForm(n);
    p->Init(3, 0);
    p->LayerMask = 4;
    LightSprites[n] = p;
  }
  FlashPoint = sNEW PointForm(8);
  FlashPoint->Init(1, 0);
  FlashPoint->LayerMask = 4;
  PathLights = sNEW PointForm(8);
  PathLights->Init(CRYSTAL_PATH, 0);
  PathLights->LayerMask = 4;
  ApplyLook();

  Reset();
  SetFade(this, 100.0f, 1000.0f, 0x000004);
  TimeOffset = ReseedScaledOffset(&Random, 0xFFFF);
}

void CrystalScene::Exit()
{
  // the instances' forms stay with the object list; the models and the forms kept out
  // of it go here
  sDELETE(Marker);
  sDELETE(FlashRing);
  sDELETE(FlashPoint);
  sDELETE(LightSprites[0]);
  sDELETE(LightSprites[1]);
  sDELETE(PathLights);
  for(sInt c = 0; c < CRYSTAL_COLUMNS; c++)
  {
    for(Model *&m : GrownCrystals[c]) sDELETE(m);
    for(Model *&m : FlyingCrystals[c]) sDELETE(m);
  }
  // the sources last: their forms hold the geometry the instances draw
  for(sInt c = 0; c < CRYSTAL_COLUMNS; c++)
  {
    sDELETE(CrystalModels[c]);
    sDELETE(ShellModels[c]);
  }
}

/****************************************************************************/
/***   Looks, reset and growth                                            ***/
/****************************************************************************/

// The running song position in eight-bar periods.
sF64 CrystalScene::SyncPosition() const { return ::SyncPosition(SyncSource); }

void CrystalScene::DrawShellMatrices()
{
  sMat3x4 turn;
  turn.EulerXYZ(0.5f * sScenePi, 0.0f, 0.0f);
  for(sMat3x4 &m : ShellMatrices)
  {
    const sF32 x = Random.NextFloat(2.0f) - 1.0f, y = Random.NextFloat(2.0f) - 1.0f, z = Random.NextFloat(2.0f) - 1.0f;
    const sF32 distance = 300.0f + Random.NextFloat(400.0f);
    sMat3x4 look;
    look.LookAt(sVec3(0, 0, 0), SceneUnit(sVec3(x, y, z)) * distance);
    m = sMat3x4::Mul(turn, look);
  }
}

void CrystalScene::ApplyLook()
{
  const CrystalLook &look = Looks[Look];
  LightSet *l0 = MaterialSet->LightSets[0];
  l0->Ambient = look.Ambient;
  for(sInt i = 0; i < 3; i++) l0->Colors[i] = look.Lights[i];
  RenderEnv.FogColor = look.Fade;
  PathLightColour = look.PathLights;
  if(MaterialSet->MaterialCount > ChainFirstPass && MaterialSet->TextureCount > look.Texture)
    for(sInt row : {ChainSecondPass, ChainFirstPass}) RetextureMaterial(MaterialSet, row, 0, look.Texture);
  for(sInt n = 0; n < 2; n++)
    for(sInt i = 0; i < 3; i++)
    {
      PointRecord &p = LightSprites[n]->Points[i];
      p.Pos = l0->Positions[i];
      p.Size = n == 0 ? 80.0f : 160.0f;
      p.Color = n == 0 ? sBlendColor(l0->Colors[i], 0xFF000000, 0.5f) : sAddColorSaturate(l0->Colors[i], 0xFF404040);
    }
}

void CrystalScene::Enter(sInt)
{
  InstallPatterns(SyncSource, 0, CrystalList(RenderMode == 0));
  Look = RenderMode == 0 ? Random.NextBelow(3) : RenderMode == 1 ? 3 : RenderMode == 2 ? 4 : Random.NextBelow(2);
  ApplyLook();
  Variant = 4;
  Random.Seed(sGetTime() & 0xFFFF);
  Reset();
}

void CrystalScene::Reset()
{
  for(sInt b = 0; b < CRYSTAL_BRANCHES; b++)
  {
    CrystalBranch &h = BranchHeads[b];
    if(b == 0) h.Angles = sVec3(0, 0, 0);
    else
    {
      const sF32 x = Random.NextFloat(2.0f) - 1.0f, y = Random.NextFloat(2.0f) - 1.0f, z = Random.NextFloat(2.0f) - 1.0f;
      h.Angles = sVec3(x, y, z);
    }
    h.Matrix = SceneEuler(h.Angles);
    h.Matrix.l = h.PreviousTip = sVec3(0, 0, 0);
  }
  RecordCount = 0;

  PathMatrices[0].Identity();
  PathAngles[0] = sVec3(0, 0, 0);
  PathFrequencies.z = Random.NextFloat(0.2f);
  PathFrequencies.y = Random.NextFloat(0.2f);
  PathFrequencies.x = Random.NextFloat(0.2f);
  for(sInt i = 1; i < CRYSTAL_PATH; i++)
  {
    sVec3 a = PathAngles[i - 1];
    const sF32 f = sF32(i);
    a.x += std::sin(f * PathFrequencies.x) + (Random.NextFloat(1.0f) - 0.5f) * 0.3f;
    a.y += std::sin(f * PathFrequencies.y) + (Random.NextFloat(1.0f) - 0.5f) * 0.3f;
    a.z += std::sin(f * PathFrequencies.z) + (Random.NextFloat(1.0f) - 0.5f) * 0.3f;
    PathAngles[i] = a;
    PathMatrices[i] = SceneEuler(a);
    // a link starts where the shape of chain record i - 1's column, placed at the link
    // before, ends
    PathMatrices[i].l = sMulPointMat3x4(CrystalTips[CrystalRecords[i - 1].Column], PathMatrices[i - 1]);
  }
  PathIndex = 0;
  GrowthClock = sF32(SyncPosition());
  for(sVec3 &p : PathPoints) p = sVec3(0, 0, 0);
  DrawShellMatrices();
}

void CrystalScene::Grow()
{
  // the records hold 112 steps; a show that never clears the chain keeps what it has
  if(RecordCount + CRYSTAL_BRANCHES > CRYSTAL_RECORDS) return;
  const sInt p = PathIndex;
  const sF32 now = sF32(SyncPosition());
  BranchHeads[0].Matrix = PathMatrices[p];
  for(sInt b = 1; b < CRYSTAL_BRANCHES; b++)
  {
    CrystalBranch &h = BranchHeads[b];
    sBool restart = Random.NextFloat(100.0f) < 30.0f;
    if(restart)
    {
      sF32 jump[3];
      for(sF32 &j : jump)
      {
        const sBool down = Random.NextFloat(100.0f) >= 50.0f;
        j = (Random.NextFloat(1.0f) + 0.5f) * (down ? -1.0f : 1.0f);
      }
      h.Angles = PathAngles[p] + sVec3(jump[0], jump[1], jump[2]);
    }
    h.Matrix = SceneEuler(h.Angles);
    h.Matrix.l = restart ? PathMatrices[p].l : h.PreviousTip;
    const sF32 f = sF32(p);
    h.Angles.x += std::sin(f * PathFrequencies.x) + (Random.NextFloat(1.0f) - 0.5f) * 0.3f;
    h.Angles.y += std::sin(f * PathFrequencies.y) + (Random.NextFloat(1.0f) - 0.5f) * 0.3f;
    h.Angles.z += std::sin(f * PathFrequencies.z) + (Random.NextFloat(1.0f) - 0.5f) * 0.3f;
  }
  for(sInt b = 0; b < CRYSTAL_BRANCHES; b++)
  {
    CrystalBranch &h = BranchHeads[b];
    CrystalRecord &r = CrystalRecords[RecordCount++];
    r.MainBranch = b == 0;
    r.Matrix = h.Matrix;
    r.Birth = now;
    r.Tip = sMulPointMat3x4(CrystalTips[r.Column], h.Matrix);
    r.Middle = (r.Tip + h.PreviousTip) * 0.5f;
    h.PreviousTip = r.Tip;
  }
  GrowthClock = now;
  if(RenderMode != 0 && SyncSource && SyncSource->ColorPreset > 1)
    for(sInt n = 0; n < 8; n++)
    {
      CrystalRecord &r = FlyingRecords[FlyingNext];
      r.Matrix = PathMatrices[p];
      r.Birth = now;
      FlyingNext = (FlyingNext + 1) % CRYSTAL_FLYING;
    }
  PathIndex = (p + 1) % CRYSTAL_PATH;
}

void CrystalScene::OnEvent(sInt code)
{
  if(code == 107) Reset();
  else if(code == 108) Grow();
}

/****************************************************************************/
/***   Camera and Render                                                  ***/
/****************************************************************************/

void CrystalScene::Camera(sInt variant, sViewport *view)
{
  const SyncNow s = ReadSync(SyncSource);
  const sF64 u = sF64(s.SyncClock) + sF64(TimeOffset);   // ms; t = u x 0.0005
  auto S = [&](sF64 rate) { return ClockSin(u, 0.0005 * rate); };
  auto C = [&](sF64 rate) { return ClockCos(u, 0.0005 * rate); };
  const sF32 aspect = SceneAspect(this);
  sF32 zoom = 1.6f;

  const sInt lags[3] = {4, 18, 6};
  const sF32 time = sF32((SyncPosition() - sF64(GrowthClock)) * 16000.0 + 2000.0);
  for(sInt n = 0; n < 3; n++)
  {
    Path.Count = 5;
    for(sInt j = 0; j < 5; j++)
    {
      // keys before the path's start lie below it, so the camera rises into the path
      const sInt i = PathIndex - lags[n] + j;
      const sVec3 at = i < 0 ? sVec3(0.0f, 20.0f * sF32(i), 0.0f) : PathMatrices[i].l;
      Path.Keys[j] = SplineKey{at.x, at.y, at.z, 0, 1000 * j};
    }
    Path.Position = PathPoints[n];
    Path.Evaluate(time);
    PathPoints[n] = Path.Position;
  }

  sMat3x4 &cam = view->Camera;
  switch(variant)
  {
  case 1:
    cam.LookAt(PathPoints[1], PathPoints[0] + SceneUnit(PathPoints[0] - PathPoints[1]) * 50.0f);
    break;
  case 2:
  {
    const sVec3 eye(80.0f * S(0.3), -20.0f, 60.0f * C(0.3));
    cam.LookAt(SmoothPoint, eye);
    zoom = 1.6f + 0.003f * SceneLength(SmoothPoint - eye);
    break;
  }
  case 3:
  {
    const sVec3 target(85.0f * S(0.3), 30.0f, 65.0f * C(0.3)), eye = SmoothPoint + SceneUnit(SmoothPoint) * 80.0f;
    cam.LookAt(target, eye);
    zoom = 1.5f + 0.002f * SceneLength(target - eye);
    break;
  }
  case 4:
    cam.LookAt(sVec3(20.0f * S(0.07), 2.0f * S(0.9) + 20.0f * s.FourBarPhase + 30.0f, 20.0f * S(1.1)),
               sVec3(80.0f * S(0.19), -6.0f, 60.0f * C(0.19)));
    break;
  default:
    cam.EulerXYZ(S(0.37), ClockAngle(u, 0.0005 * 0.6), 0.0f);
    cam.l = PathPoints[0] - cam.k * 50.0f;
    break;
  }
  view->ZoomY = zoom;
  view->ZoomX = zoom / aspect;
}

void CrystalScene::Render(sInt, sViewport *)
{
  // the object list draws none of the crystals: AfterRender draws them far to near
  LayerMask = 1;
  SmoothPoint += (PathPoints[2] - SmoothPoint) * 0.01f;
  for(sInt k = 0; k < CRYSTAL_RECORDS; k++)
  {
    Model *m = GrownCrystals[k % CRYSTAL_COLUMNS][k / CRYSTAL_COLUMNS];
    if(m) m->SetLayerMask(k < RecordCount ? 2u : 0u);
  }
}

/****************************************************************************/
/***   AfterRender                                                        ***/
/****************************************************************************/

sMat3x4 CrystalScene::FlungPlacement(CrystalRecord &r, sF64 position) const
{
  const sF32 a = sF32((position - sF64(r.Birth)) * 50.0);
  const sVec3 t = r.Matrix.l;
  r.Matrix = SceneEuler(r.Middle * a);
  r.Matrix.l = t;
  sMat3x4 m = r.Matrix;
  m.l = t - m.j * (12.0f * r.Scale) + r.Tip * (a * 10.0f);
  m.l.y -= a * a;
  return m;
}

void CrystalScene::Push(CrystalRecord *r, const sVec3 &eye, const sVec3 &at)
{
  r->Distance = SceneLength(at - eye);
  CrystalRecord *&head = DepthBuckets[Bucket(r->Distance)];
  r->Next = head;
  head = r;
}

void CrystalScene::DrawCrystal(sViewport *view, Model *m, sMat3x4 matrix, sF32 scale)
{
  if(!m) return;
  matrix.ScaleAxes(scale, scale, scale);
  m->Matrix = matrix;
  m->ApplyMatrix();
  SetFirstMeshMaterial(m, ChainFirstPass);
  m->Render(view, 0);
  SetFirstMeshMaterial(m, ChainSecondPass);
  m->Render(view, 0);
}

void CrystalScene::AfterRender(sViewport *view)
{
  const SyncNow s = ReadSync(SyncSource);
  const sF64 now = SyncPosition();
  LayerMask = 6;
  LightSet *l0 = MaterialSet->LightSets[0];
  l0->Ambient = DrawAmbient;
  const sVec3 eye = view->Camera.l;

  for(sInt n = 0; n < CRYSTAL_SHELL; n++)
  {
    Model *m = ShellModels[n % CRYSTAL_COLUMNS];
    m->Matrix = ShellMatrices[n];
    m->Matrix.l += eye;
    m->ApplyMatrix();
    SetFirstMeshMaterial(m, ShellFirstPass);
    m->Render(view, 0);
    SetFirstMeshMaterial(m, ShellSecondPass);
    m->Render(view, 0);
  }
  // the shell stays behind everything: the depth buffer starts again after it
  sSetTarget(sRenderTargetSpec(18, 0, nullptr, sGetScreenColorBuffer(DisplayIndex), sGetScreenDepthBuffer()));

  for(PointForm *p : LightSprites) RenderForm(view, p, 0);
  for(sInt i = 0; i < CRYSTAL_PATH; i++)
  {
    PointRecord &p = PathLights->Points[i];
    p.Pos = PathMatrices[i].l;
    p.Size = i < PathIndex ? 25.0f : 0.0f;
    p.Color = i < PathIndex ? PathLightColour : 0;
  }
  RenderForm(view, PathLights, 0);

  std::memset(DepthBuckets, 0, sizeof(DepthBuckets));
  for(sInt k = 0; k < RecordCount; k++) Push(&CrystalRecords[k], eye, CrystalRecords[k].Middle);
  for(CrystalRecord &r : FlyingRecords) Push(&r, eye, FlungPlacement(r, now).l);

  Marker->Matrix.l = PathPoints[2];
  RenderForm(view, Marker, 0);

  const sF32 flashRing = SceneClamp(s.ColourPresetSmooth - 2.0f, 0.0f, 1.0f);
  const sF32 flashPoint = SceneClamp(s.ColourPresetSmooth - 1.0f, 0.0f, 1.0f);
  for(sInt b = CRYSTAL_BUCKETS - 1; b >= 0; b--)
    for(CrystalRecord *r = DepthBuckets[b]; r; r = r->Next)
    {
      if(r->Kind == 0)
      {
        const sF32 f = SceneClamp((r->Distance - 10.0f) * 0.05f, 0.0f, 1.0f);
        l0->Ambient = sBlendColor(0x404040, 0xB0404040, f);
        const sF32 g = SceneClamp(sF32((now - sF64(r->Birth)) * 16.0), 0.0f, 1.0f);
        if(RenderMode != 0 && r->MainBranch && g > 0.0f && g < 1.0f)
        {
          FlashRing->Range0[1] = 5.0f * g + 0.9f;
          FlashRing->Range0[3] = 50.0f * g + 0.8f;
          FlashRing->Build();
          FlashRing->Matrix = r->Matrix;
          FlashRing->Colour = sBlendColor(0, 0xFFFFFFFF, (1.0f - g) * flashRing);
          RenderForm(view, FlashRing, 0);
          const sF32 k = (1.0f - SceneClamp(4.0f * g, 0.0f, 1.0f)) * flashPoint;
          PointRecord &p = FlashPoint->Points[0];
          p.Pos = r->Matrix.l;
          p.Size = 20.0f * k + 5.0f;
          p.Color = sBlendColor(0, 0xFFFFFFFF, k);
          RenderForm(view, FlashPoint, 0);
        }
        DrawCrystal(view, GrownCrystals[r->Column][r->Row], r->Matrix, std::sin(g * 0.5f * sScenePi));
      }
      else
      {
        const sF32 f = SceneClamp((r->Distance - 1.0f) * 0.5f, 0.0f, 1.0f);
        l0->Ambient = sBlendColor(0x404040, 0xB0404040, f);
        DrawCrystal(view, FlyingCrystals[r->Column][r->Row], FlungPlacement(*r, now), r->Scale);
      }
    }
  l0->Ambient = DrawAmbient;
}

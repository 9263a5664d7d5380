// The Invaders scene: tables, song, Init and Exit, the game's events, placement, cameras
// and the shattering debris.
#include "scenes/invaders.hpp"

#include "base/memory.hpp"
#include "show/forms.hpp"
#include "show/model.hpp"
#include "show/procforms.hpp"

#include <cmath>
#include <new>

/****************************************************************************/
/***   Tables and the song                                                ***/
/****************************************************************************/

namespace
{
const TextureEntry InvaderTextureRows[] = {
    {u"invaders/unpacked/white.bmp", u"invaders/packed/white.png", 0x1001, 2},
    {u"invaders/unpacked/glow.bmp", u"invaders/packed/glow.png", 0x1001, 2},
    {u"invaders/unpacked/lightpoint.bmp", u"invaders/packed/lightpoint.png", 0x1001, 2},
    {u"invaders/unpacked/spark.bmp", u"invaders/packed/spark.png", 0x1001, 2},
};

// 0 and 1 the light marks, 2 unused, 3 the debris boxes, 4 the sparks, 5 the floor,
// 6 the backdrop's glow layer (its texture is set at Init)
const MaterialEntry InvaderMaterialRows[] = {
    MaterialRow(9, 3, 1, 0x20102, 1, 0x11000010, 0, 0, 0, 1, 0, 0, 0),
    MaterialRow(9, 3, 1, 0x20102, 1, 0x11000010, 0, 0, 0, 2, 0, 0, 0),
    MaterialRow(0xF, 1, 0x23, 0, 1, 0x11000011, 0, 0, 0, 0, 0, 0, 0),
    MaterialRow(0, 1, 3, 0, 1, 0x11000010, 0, 0, 0, 0, 0, 0, 0),
    MaterialRow(0, 1, 1, 0x20102, 1, 0x11000010, 0, 0, 0, 3, 0, 0, 0),
    MaterialRow(0, 1, 0, 0x60105, 1, 0x11000010, 0, 0, 0, 0, 0, 0, 0),
    MaterialRow(5, 1, 0, 0x20102, 1, 0x11000010, 0, 0, 0, 2, 0, 0, 0),
};
constexpr sInt FirstImportRow = 7;

// The bar patterns of the song: per step the codes in order. '1'..'6' pick the cameras.
struct BarStep
{
  sInt Step;
  sInt Codes[3];
};
struct BarPattern
{
  sInt Count;
  BarStep Steps[3];
};
const BarPattern SongPatterns[16] = {
    {0, {}},
    {2, {{0, {52, 108}}, {1, {108}}}},                     // p1
    {1, {{0, {52}}}},                                      // p2
    {2, {{0, {52}}, {12, {107}}}},                         // p3
    {3, {{0, {103, 54}}, {4, {104}}, {12, {107}}}},        // p4
    {3, {{0, {103, 49}}, {4, {104}}, {12, {107}}}},        // p5
    {3, {{0, {103, 51}}, {4, {104}}, {12, {107}}}},        // p6
    {2, {{4, {104}}, {12, {107}}}},                        // p7
    {3, {{0, {103, 50}}, {4, {104}}, {12, {107}}}},        // p8
    {3, {{0, {103, 51}}, {4, {104}}, {12, {106, 102, 107}}}},   // p9
    {2, {{4, {104}}, {12, {107}}}},                        // p10
    {3, {{0, {103, 50}}, {4, {104}}, {12, {106, 102, 107}}}},   // p11
    {2, {{0, {103, 49}}, {4, {104}}}},                     // p12
    {0, {}},                                               // p13
    {1, {{0, {53, 100}}}},                                 // p14
    {2, {{0, {103, 50, 108}}, {12, {107}}}},               // p15
};
const sU8 SongBars[80] = {1,  2,  2,  3,  4,  5,  6,  7,  8,  4,  9,  10, 6,  7,  8,  5,  6,  7,  11, 10,
                          6,  7,  8,  10, 6,  7,  8,  7,  7,  5,  8,  10, 12, 13, 14, 13, 13, 13, 13, 13,
                          15, 7,  8,  4,  6,  7,  8,  10, 7,  5,  8,  4,  6,  7,  8,  10, 6,  7,  8,  5,
                          6,  7,  8,  10, 6,  7,  8,  7,  7,  4,  8,  10, 12, 13, 14, 13, 13, 13, 13, 13};

struct Song
{
  SyncPattern Patterns[80];
  const SyncPattern *Pointers[81];
  Song()
  {
    PatternKey keys[80 * 3];
    sInt n = 0;
    for(sInt bar = 0; bar < 80; bar++)
    {
      const BarPattern &p = SongPatterns[SongBars[bar]];
      for(sInt s = 0; s < p.Count; s++)
      {
        PatternKey &k = keys[n++];
        k = PatternKey{bar, p.Steps[s].Step, {}};
        for(sInt c = 0; c < 3; c++) k.Codes[c] = p.Steps[s].Codes[c];
      }
    }
    BuildPatterns(Patterns, 80, Pointers, 80, keys, n);
  }
};

sF32 Clamp01(sF32 x) { return x < 0.0f ? 0.0f : x > 1.0f ? 1.0f : x; }
sF32 Wrap(sF32 x)
{
  if(x > 1.0f) x -= 1.0f;
  if(x < 0.0f) x += 1.0f;
  return x;
}
sF32 Tri(sF32 x) { return x <= 0.5f ? 2.0f * x : 1.0f - 2.0f * (x - 0.5f); }
sF32 Ease(sF32 x) { return 0.5f - 0.5f * std::cos(sScenePi * x); }

// Progress of the song position p through [start, end]; an empty span counts as done.
sF32 Progress(sF32 p, sF32 start, sF32 end)
{
  const sF32 span = end - start;
  if(!(std::fabs(span) > 1e-6f)) return 1.0f;
  return (p - start) / span;
}

template <class T> T *AllocRecords(sInt count)
{
  T *p = static_cast<T *>(sMemAlloc(sDInt(count > 0 ? count : 1) * sDInt(sizeof(T)), 16, 0));
  for(sInt i = 0; i < count; i++) new(&p[i]) T();
  return p;
}

sMat3x4 RotationX(sF32 a)
{
  sMat3x4 m;
  m.EulerXYZ(a, 0.0f, 0.0f);
  return m;
}

void Import(Model *m, const sChar *file, sInt base)
{
  pImportObject(m, file, u"invaders/packed/", 0, 0, base);
  m->LightSetIndex = 0;
}
}

SyncPatternTable InvadersSong()
{
  static const Song song;
  return song.Pointers;
}

/****************************************************************************/
/***   Shattering                                                         ***/
/****************************************************************************/

ShatterModel::ShatterModel()
{
  Matrix.Identity();
  Random.Seed(0);
}

ShatterModel::~ShatterModel() { Free(); }

void ShatterModel::Free()
{
  if(Pieces) sMemFree(Pieces);
  if(Boxes) sMemFree(Boxes);
  Pieces = nullptr;
  Boxes = nullptr;
  PieceCount = 0;
}

void ShatterModel::Init(Model *model, sInt ownForms)
{
  Free();
  Target = model;
  OwnForms = ownForms;
  PieceCount = model->MeshCount;
  if(PieceCount <= 0) return;
  Pieces = AllocRecords<ShatterPiece>(PieceCount);
  if(ownForms) Boxes = AllocRecords<CubeForm *>(PieceCount);
  for(sInt i = 0; i < PieceCount; i++)
  {
    ShatterPiece &p = Pieces[i];
    p.Spin = p.Velocity = sVec3(0, 0, 0);
    p.Gravity = sVec3(0.0f, -0.1f, 0.0f);
    p.VelocityDamping = p.SpinDamping = 0.98f;
    p.Scale = 1.0f;
    p.Home = model->Centres ? model->Centres[i] : sVec3(0, 0, 0);
    p.HalfExtent = model->HalfExtents ? model->HalfExtents[i] : sVec3(1, 1, 1);
    p.Matrix = Matrix;
    p.Matrix.l = p.Home;
    if(ownForms)
    {
      CubeForm *box = sNEW CubeForm(3);
      box->Init(1, p.HalfExtent.x, p.HalfExtent.y, p.HalfExtent.z);
      box->Matrix = model->Matrix;
      box->Matrix.l = model->Matrix.l + sMulDirMat3x4(p.Home, model->Matrix);
      Owner->AddObject(box);
      Boxes[i] = box;
    }
  }
}

void ShatterModel::Reset()
{
  for(sInt i = 0; i < PieceCount; i++)
  {
    Pieces[i].Matrix = Matrix;
    Pieces[i].Matrix.l = Pieces[i].Home;
  }
  Exploding = 0;
}

void ShatterModel::Explode()
{
  for(sInt i = 0; i < PieceCount; i++)
  {
    ShatterPiece &p = Pieces[i];
    const sF32 r1 = Random.NextFloat(1.0f), r2 = Random.NextFloat(1.0f), r3 = Random.NextFloat(1.0f);
    p.Spin = sVec3((r3 - 0.5f) * 0.2f, (r2 - 0.5f) * 0.2f, (r1 - 0.5f) * 0.2f);
    sVec3 v = sMulDirMat3x4(p.Home, Matrix);
    v.Unit();
    const sF32 dx = Random.NextFloat(1.0f) - 0.5f, dy = Random.NextFloat(1.0f), dz = Random.NextFloat(1.0f) - 0.5f;
    v += sVec3(dx, dy, dz);
    v.Unit();
    p.Velocity = v * (Random.NextFloat(0.7f) + 0.2f);
    p.Matrix = Matrix;
    p.Matrix.l = sMulPointMat3x4(p.Home, Matrix);
    p.Gravity = sVec3(0.0f, -0.02f, 0.0f);
    p.VelocityDamping = Random.NextFloat(0.028f) + 0.97f;
    p.SpinDamping = Random.NextFloat(0.018f) + 0.98f;
    p.Scale = 1.0f;
  }
  Exploding = 1;
}

void ShatterModel::Update()
{
  if(!Target) return;
  const sInt forms = Target->MeshForms ? Target->MeshCount : 0;
  for(sInt i = 0; i < PieceCount; i++)
  {
    ShatterPiece &p = Pieces[i];
    sMat3x4 place;
    if(Exploding)
    {
      place = p.Matrix;
      const sVec3 v = p.Velocity;
      p.Velocity += p.Gravity;
      p.Velocity *= p.VelocityDamping;
      sMat3x4 spin;
      spin.EulerXYZ(p.Spin.x, p.Spin.y, p.Spin.z);
      const sVec3 at = p.Matrix.l;
      p.Matrix = sMat3x4::Mul(p.Matrix, spin);
      p.Spin *= p.SpinDamping;
      p.Matrix.i *= p.Scale;
      p.Matrix.j *= p.Scale;
      p.Matrix.k *= p.Scale;
      p.Matrix.l = at + v;
    }
    else
    {
      place = Matrix;
      place.l = Matrix.l + sMulDirMat3x4(p.Home, Matrix);
    }
    if(Boxes && Boxes[i]) Boxes[i]->Matrix = place;
    if(i < forms && Target->MeshForms[i]) Target->MeshForms[i]->Matrix = place;
  }
  if(Exploding) Bounce();
}

void ShatterModel::Bounce()
{
  static const sF32 corners[8][3] = {{-1, -1, 1}, {1, -1, 1},  {1, 1, 1},  {-1, 1, 1},
                                     {-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1}};
  for(sInt i = 0; i < PieceCount; i++)
  {
    ShatterPiece &p = Pieces[i];
    for(const auto &c : corners)
    {
      if(sMulPointMat3x4(sVec3(c[0], c[1], c[2]), p.Matrix).y > 0.0f) continue;
      const sF32 speed = std::sqrt(sDot(p.Velocity, p.Velocity));
      p.Velocity.y = 0.5f * speed;
      const sF32 fresh = std::sqrt(sDot(p.Velocity, p.Velocity));
      const sF32 z = Random.NextFloat(0.1f * fresh), y = Random.NextFloat(0.1f * fresh),
                 x = Random.NextFloat(0.1f * fresh);
      p.Spin = sVec3(x, y, z);
      p.Matrix.l += p.Velocity;
      p.Scale = Clamp01(p.Scale - 0.01f);
    }
  }
}

/****************************************************************************/
/***   Construction, Init, Exit                                           ***/
/****************************************************************************/

InvadersScene::InvadersScene()
{
  Random.Seed(0);
  Floor = nullptr;
  LightMarks[0] = LightMarks[1] = nullptr;
  Ship = Bullet = Backdrop = nullptr;
  for(sInt k = 0; k < INVADER_KINDS; k++)
    for(sInt n = 0; n < 2; n++)
    {
      InvaderTemplates[k][n] = DebrisModels[k][n] = nullptr;
      for(sInt c = 0; c < INVADER_COLUMNS; c++) Invaders[k][c][n] = nullptr;
    }
  for(ParticleForm *&s : Sparks) s = nullptr;
  RowOffset = GameRunning = RowCounter = BulletActive = ShotClock = HitKind = 0;
  for(auto &row : InvaderVisible)
    for(sInt &v : row) v = 0;
  for(auto &row : InvaderHit)
    for(sInt &v : row) v = 0;
  ShatterSelect = 0;
  FlashClock = -400;
  FlashPosition = sVec3(0, 0, 0);
  TargetColumn = ShotColumn = NextColumn = 4;
  TargetRow = ShotRow = NextRow = 0;
  // a move or shot that has not begun yet counts as finished
  MoveStart = ShotStart = 0.0f;
  MoveEnd = ShotEnd = 0.125f;
  GridOffset = ShipPosition = BulletPosition = sVec3(0, 0, 0);
  AimPoint = ShotPoint = ShipGoal = MoveFrom = ShipGoalAtShot = sVec3(0, 0, 0);
  MoveBump = 0.0f;
  DropClock = -100000;
  DropCount = -1;
  DropPending = 0;
  StartPosition = MirrorCam3 = MirrorCam4 = LaunchClock = TimeSeed = SparkIndex = 0;
  for(TextureEntry &t : Textures) t = TextureEntry{nullptr, nullptr, 0, 0};
  for(MaterialEntry &m : Materials) m = MaterialEnd();
}

InvadersScene::~InvadersScene() { Exit(); }

void InvadersScene::Init(SyncMachine *syncSource, sInt initFlags, TMData *globalSet)
{
  SyncSource = syncSource;
  for(sInt i = 0; i < 4; i++) Textures[i] = InvaderTextureRows[i];
  for(sInt i = 0; i < FirstImportRow; i++) Materials[i] = InvaderMaterialRows[i];

  static const sChar *const phase1[INVADER_KINDS] = {u"invader01_phase1.dae", u"invader02_phase1.dae",
                                                     u"invader03_phase1.dae", u"invader04_phase1.dae",
                                                     u"invader05_phase1.dae"};
  static const sChar *const phase2[INVADER_KINDS] = {u"invader01_phase2.dae", u"invader02_phase2.dae",
                                                     u"invader03_phase2.dae", u"invader04_phase2.dae",
                                                     u"invader05_phase2.dae"};
  static const sChar *const cut[INVADER_KINDS] = {u"inv01_cutted.dae", u"inv02_cutted.dae", u"inv03_cutted.dae",
                                                  u"inv04_cutted.dae", u"inv05_cutted.dae"};
  for(sInt k = 0; k < INVADER_KINDS; k++)
  {
    InvaderTemplates[k][0] = sNEW Model(this, Textures, Materials);
    Import(InvaderTemplates[k][0], phase1[k], -1);
    InvaderTemplates[k][1] = sNEW Model(this);
    Import(InvaderTemplates[k][1], phase2[k], FirstImportRow + k);
  }
  for(sInt k = 0; k < INVADER_KINDS; k++)
  {
    DebrisModels[k][0] = sNEW Model(this);
    Import(DebrisModels[k][0], cut[k], FirstImportRow + k);
  }
  Ship = sNEW Model(this, Textures, Materials);
  Import(Ship, u"ship02.dae", -1);
  Bullet = sNEW Model(this, Textures, Materials);
  Import(Bullet, u"bullet02.dae", -1);
  Backdrop = sNEW Model(this, Textures, Materials);
  Import(Backdrop, u"inv_background.dae", -1);

  // the backdrop's glow layer draws its fourth picture; without one, the first texture
  Materials[6].TextureIndex[0] = Backdrop->ImageCount >= 4 ? Backdrop->TextureBase + 3 : 0;

  TakeMaterialSet(this, globalSet, Textures, Materials, initFlags);

  LightSet *main = MaterialSet->LightSets[0];
  main->Ambient = 0x00505055;
  SetLight(main, 0, 0xFF68615F, sVec3(1.0f, 0.8f, 0.5f), 0.0f);
  main->Positions[0] = sVec3(125.0f, 30.0f, 120.0f);
  SetLight(main, 1, 0xFF7F7F8F, sVec3(-1.0f, 1.0f, -3.0f), 400.0f);
  SetLight(main, 2, 0xFF2F345F, sVec3(-1.0f, 0.4f, 1.0f), 400.0f);
  MirrorLights(MaterialSet, 3);

  for(sInt k = 0; k < INVADER_KINDS; k++)
    for(Model *t : InvaderTemplates[k]) t->CreateForms(0);
  for(Model *m : {Ship, Bullet})
  {
    m->CreateForms(1);
    m->SetPassFlags(5);
  }
  for(sInt k = 0; k < INVADER_KINDS; k++)
  {
    Model *c = DebrisModels[k][0];
    c->ComputeMeshCenters();
    c->CreateForms(1);
    c->SetPassFlags(5);
    DebrisModels[k][1] = sNEW Model(this);
    DebrisModels[k][1]->LightSetIndex = 0;
    DebrisModels[k][1]->Instance(c, 1);
    DebrisModels[k][1]->SetPassFlags(5);
  }
  for(sInt s = 0; s < 2 * INVADER_KINDS; s++)
  {
    ShatterModel &r = Shatters[s];
    r.Owner = this;
    r.Matrix.Identity();
    r.Exploding = 0;
    r.Random.Seed(0);
    r.Init(DebrisModels[s / 2][s % 2], 0);
  }
  ShatterSelect = 0;
  HitKind = 0;
  FlashPosition = sVec3(0, 0, 0);
  FlashClock = -400;

  for(sInt r = 0; r < INVADER_KINDS; r++)
    for(sInt c = 0; c < INVADER_COLUMNS; c++)
      for(sInt n = 0; n < 2; n++)
      {
        Model *m = sNEW Model(this);
        m->LightSetIndex = 0;
        m->Instance(InvaderTemplates[r][n], 1);
        m->ApplyMatrix();
        m->SetPassFlags(5);
        Invaders[r][c][n] = m;
      }
  ShotColumn = NextColumn = TargetColumn = 4;
  ShotRow = NextRow = TargetRow = 0;

  Floor = sNEW ArrayForm(5);
  const sF32 range[4] = {1000.0f, 1000.0f, -500.0f, -500.0f};
  Floor->Init(ArrayForm::PLANE, 1, 1, 16, 16, range);
  Floor->Matrix = RotationX(0.5f * sScenePi);
  Floor->PassFlags = 2;
  Floor->Colour = 0xC0000000;
  AddObject(Floor);

  Backdrop->CreateForms(1);
  sMat3x4 turn;
  turn.EulerXYZ(0.0f, sScenePi, 0.0f);
  turn.l = sVec3(0.0f, 4.1f, 0.0f);
  Backdrop->Matrix = turn;
  Backdrop->ApplyMatrix();
  for(sInt i = 0; i < Backdrop->MeshCount; i++)
  {
    MeshForm *f = Backdrop->MeshForms[i];
    if(i == 0)
    {
      f->PassFlags = 2;
      f->MaterialIndex = 6;
    }
    else f->PassFlags |= 1;
  }

  const sU32 lightColours[3] = {main->Colors[0], main->Colors[1], main->Colors[2]};
  for(sInt n = 0; n < 2; n++)
  {
    PointForm *p = sNEW PointForm(n);
    p->Init(n == 0 ? 4 : 3, 0);
    p->Words.DepthRange = 200.0f;
    p->Words.DepthOffset = 0.0f;
    p->Words.Brightness = 1.0f;
    for(sInt i = 0; i < 3; i++)
    {
      p->Points[i].Pos = main->Positions[i];
      p->Points[i].Size = n == 0 ? 20.0f : 40.0f;
      p->Points[i].Color = n == 0 ? sBlendColor(lightColours[i], 0xFF000000, 0.5f)
                                  : sAddColorSaturate(lightColours[i], 0xFF404040);
    }
    if(n == 0)
    {
      PointRecord &flash = p->Points[3];
      flash.Pos = sVec3(0, 0, 0);
      flash.Size = 0.0f;
      flash.Color = 0;
    }
    p->PassFlags |= 1;
    AddObject(p);
    LightMarks[n] = p;
  }

  for(ParticleForm *&s : Sparks)
  {
    s = sNEW ParticleForm(4);
    s->Init(1, 128, 1);
    s->SizeBase = 1.0f;
    s->SizeRandom = 5.0f;
    s->Fade = 0.02f;
    s->Emit();
    s->Age = 10000;
    s->LayerMask = ~0u;
    s->PassFlags |= 1;
    AddObject(s);
  }
  SparkIndex = 0;

  SetFade(this, 1000.0f, 3000.0f, 0x008090B0);
  TimeSeed = ReseedTimeOffset(&Random, 0xFFFFF);
}

void InvadersScene::Exit()
{
  for(ShatterModel &s : Shatters)
  {
    s.Free();
    s.Target = nullptr;
  }
  auto drop = [](Model *&m) { sDELETE(m); };
  for(sInt k = 0; k < INVADER_KINDS; k++)
    for(sInt n = 0; n < 2; n++)
    {
      drop(InvaderTemplates[k][n]);
      drop(DebrisModels[k][n]);
      // the 80 instance models go too, which nothing else frees (their forms stay with the object list)
      for(sInt c = 0; c < INVADER_COLUMNS; c++) drop(Invaders[k][c][n]);
    }
  drop(Ship);
  drop(Bullet);
  drop(Backdrop);
}

/****************************************************************************/
/***   The game                                                           ***/
/****************************************************************************/

void InvadersScene::Enter(sInt)
{
  InstallPatterns(SyncSource, 0, InvadersSong());
  StartPosition = sInt(SyncPosition(SyncSource));
  DropClock = -100000;
  DropCount = -1;
  DropPending = 0;
  // moves and shots of an earlier visit count as done: their spans would fly the ship and
  // the bullet from song positions long past
  MoveStart = ShotStart = 0.0f;
  MoveEnd = ShotEnd = 0.125f;
  MirrorCam3 = sInt(Random.NextFloat(2.0f));
  ResetGame();
  GameRunning = 0;
  Variant = 3;
  NextColumn = Random.NextBelow(INVADER_COLUMNS);
  NextRow = RowCounter;
  TimeSeed = ReseedTimeOffset(&Random, 0xFFFFF);
}

void InvadersScene::ResetGame()
{
  BulletActive = 0;
  if(Bullet) Bullet->SetLayerMask(0);
  RowCounter = 0;
  RowOffset = Random.NextBelow(INVADER_KINDS);
  for(sInt k = 0; k < INVADER_KINDS; k++)
    for(sInt n = 0; n < 2; n++)
    {
      if(DebrisModels[k][n]) DebrisModels[k][n]->SetLayerMask(0);
      for(sInt c = 0; c < INVADER_COLUMNS; c++)
      {
        if(Invaders[k][c][n]) Invaders[k][c][n]->SetLayerMask(0);
        InvaderVisible[k][c] = 0;
      }
    }
  for(sInt r = 0; r < INVADER_ROWS; r++)
    for(sInt c = 0; c < INVADER_COLUMNS; c++)
    {
      InvaderHit[r][c] = 0;
      const sInt k = (RowOffset + r) % INVADER_KINDS;
      InvaderVisible[k][c] = 1;
      for(sInt n = 0; n < 2; n++)
        if(Invaders[k][c][n]) Invaders[k][c][n]->SetLayerMask(1);
    }
}

// The next target: a column of the row being shot that has not been marked. A row with
// none left hands over to the next row that has one; with no such row the choice stays.
void InvadersScene::ChooseNextTarget()
{
  while(RowCounter < INVADER_ROWS)
  {
    sInt list[INVADER_COLUMNS], n = 0;
    for(sInt c = 0; c < INVADER_COLUMNS; c++)
      if(!InvaderHit[RowCounter][c]) list[n++] = c;
    if(n > 0)
    {
      NextColumn = list[Random.NextBelow(n)];
      NextRow = RowCounter;
      return;
    }
    RowCounter++;
  }
}

void InvadersScene::OnEvent(sInt code)
{
  const SyncNow s = ReadSync(SyncSource);
  const sInt K = s.SyncClock;
  const sF32 P = sF32(SyncPosition(SyncSource));
  switch(code)
  {
  case 100:
    LaunchClock = K;
    break;
  case 102:
    DropPending = 1;
    break;
  case 103:
    ShotColumn = TargetColumn;
    ShotRow = TargetRow;
    ShotStart = P;
    ShotEnd = P + 0.125f;
    ShipGoalAtShot = ShipGoal;
    break;
  case 104:
  {
    const sInt k = (TargetRow + RowOffset) % INVADER_KINDS;
    HitKind = k;
    InvaderVisible[k][TargetColumn] = 0;
    ShatterModel &sh = Shatters[2 * k + ShatterSelect];
    sh.Matrix.l = AimPoint - sVec3(0.0f, 3.0f, 0.0f);
    sh.Reset();
    sh.Explode();
    if(DebrisModels[k][ShatterSelect]) DebrisModels[k][ShatterSelect]->SetLayerMask(1);
    ShatterSelect ^= 1;
    ParticleForm *sp = Sparks[SparkIndex];
    sp->Emitter = AimPoint;
    sp->Drift = sVec3(0, 0, 0);
    sp->SpeedBase = 0.5f;
    sp->SpeedRandom = 0.5f;
    // the random part of the wobble, 0.1 over the base -0.1, as the overlay's burst sparks
    // set it: every spark's wobble stays 0 and the sparks fly straight from the hit
    sp->WobbleRandom = 0.1f;
    sp->SizeBase = 0.2f;
    sp->SizeRandom = 0.1f;
    sp->Fade = 0.002f;
    sp->Colour = 0xFFFFFFFF;
    sp->Emit();
    SparkIndex = (SparkIndex + 1) % 3;
    FlashPosition = AimPoint + sVec3(0.0f, 5.0f, 0.0f);
    BulletActive = 0;
    FlashClock = K;
    if(DropPending)
    {
      DropCount++;
      DropPending = 0;
      DropClock = K;
    }
    break;
  }
  case 106:
    RowCounter++;
    break;
  case 107:
    MoveStart = P;
    MoveEnd = P + 0.125f;
    BulletActive = 1;
    ShotClock = K;
    TargetColumn = NextColumn;
    TargetRow = NextRow;
    // a row past the last (row events from outside the song) has no marks to keep
    if(NextRow >= 0 && NextRow < INVADER_ROWS) InvaderHit[NextRow][NextColumn] = 1;
    ChooseNextTarget();
    break;
  case 108:
    DropCount = -1;
    StartPosition = sInt(P);
    if(GameRunning) ResetGame();
    GameRunning = 1;
    NextColumn = Random.NextBelow(INVADER_COLUMNS);
    NextRow = RowCounter;
    MirrorCam4 = Random.NextBelow(2);
    break;
  default:
    break;
  }
}

/****************************************************************************/
/***   Placement                                                          ***/
/****************************************************************************/

// Where the invader of a screen row and column sits within the grid this frame.
sVec3 InvadersScene::GridPlace(sInt row, sInt column) const
{
  const Model *m = Invaders[(row + RowOffset) % INVADER_KINDS][column][0];
  return m ? m->Matrix.l - GridOffset : sVec3(0, 0, 0);
}

void InvadersScene::Animate()
{
  const SyncNow s = ReadSync(SyncSource);
  const sInt K = s.SyncClock;
  const sF32 P = sF32(SyncPosition(SyncSource));
  const sF32 f = s.EightBarPhase, T = s.EightBarTriangle;
  const sF32 since = P - sF32(StartPosition);

  GridOffset = sVec3(Variant == 3 ? 0.0f : (T - 0.5f) * 100.0f, 0.0f, 70.0f - since * 30.0f);
  const sF32 d = Clamp01(sF32(K - DropClock) * 0.0008f);
  const sF32 w = std::cos(2.5f * sScenePi * ((1.0f - std::cos(d * sScenePi / 2.0f)) + d) / 2.0f);
  const sF32 drop = ((1.0f - std::fabs(w) * (1.0f - d)) + sF32(DropCount)) * 9.6f;
  for(sInt r = 0; r < INVADER_ROWS; r++)
    for(sInt c = 0; c < INVADER_COLUMNS; c++)
    {
      const sInt k = (r + RowOffset) % INVADER_KINDS;
      sF32 y = sF32(r) * 9.6f - drop;
      y = y < 0.0f ? 0.0f : y > 1000.0f ? 1000.0f : y;
      const sVec3 at((sF32(c) / 7.0f - 0.5f) * 128.0f + GridOffset.x, y + GridOffset.y,
                     (sF32(r) * 0.25f - 0.5f) * 48.0f + GridOffset.z);
      for(Model *m : Invaders[k][c])
      {
        if(!m) continue;
        m->Matrix.l = at;
        m->ApplyMatrix();
      }
    }

  const sF32 m = Clamp01(Progress(P, MoveStart, MoveEnd));
  const sF32 a = (1.0f - m) * 0.125f;
  const sF32 q = Clamp01(2.0f * m);
  AimPoint = sVec3((Tri(Wrap(a + f + 0.03125f - 0.0625f)) - 0.5f) * 100.0f, 3.0f,
                   70.0f - (since + (1.0f - q) * 0.0625f) * 30.0f) +
             GridPlace(TargetRow, TargetColumn);
  MoveFrom = sVec3(AimPoint.x, 1.0f, -100.0f);

  if(Bullet)
  {
    const sVec3 b0 = MoveFrom + sVec3(0.0f, 0.0f, 11.0f);
    BulletPosition = b0 + (AimPoint - b0) * q;
    Bullet->Matrix = RotationX(0.5f * sScenePi);
    Bullet->Matrix.l = BulletPosition;
    Bullet->ApplyMatrix();
    Bullet->SetLayerMask(BulletActive ? ~0u : 0u);
  }

  ShipGoal = sVec3((Tri(Wrap(a + f + 0.09375f)) - 0.5f) * 100.0f + GridPlace(NextRow, NextColumn).x, 1.0f, -100.0f);
  MoveBump = 0.5f - 0.5f * std::cos(2.0f * sScenePi * m);
  ShipPosition = MoveFrom + (ShipGoal - MoveFrom) * Ease(m);
  const sF32 recoil = Clamp01(sF32(K - ShotClock) * 0.0015f);
  ShipPosition.z -= (std::cos(sScenePi * recoil) + 1.0f) * 0.5f * std::sin(10.0f * recoil) * 1.5f;
  ShipPosition.z -= 5.5f;
  if(Ship)
  {
    Ship->Matrix = RotationX(0.5f * sScenePi);
    Ship->Matrix.l = ShipPosition;
    Ship->ApplyMatrix();
  }

  const sF32 sp = Progress(P, ShotStart, ShotEnd);
  if(sp < 1.0f)
  {
    const sF32 s0 = sp < 0.0f ? 0.0f : sp;
    const sF32 a2 = (1.0f - s0) * 0.125f, q2 = Clamp01(2.0f * s0);
    ShotPoint = sVec3((Tri(Wrap(a2 + f + 0.03125f - 0.0625f)) - 0.5f) * 100.0f, 0.0f,
                      70.0f - (since + (1.0f - q2) * 0.0625f) * 30.0f) +
                GridPlace(ShotRow, ShotColumn);
  }

  if(Variant == 4 && Ship)
  {
    const sF32 t = sF32(K - LaunchClock);
    const sF32 u1 = Clamp01(0.0002f * t), u2 = Clamp01(0.00008f * t - 0.05f), u3 = Clamp01(0.00013f * t - 0.2f);
    sF32 u4 = 0.0002f * t - 1.8f;
    u4 = u4 < 0.0f ? 0.0f : u4 > 100.0f ? 100.0f : u4;
    const sF32 u5 = Clamp01(0.0003f * t);
    const sF32 back = Ease(u4);
    sMat3x4 r;
    r.EulerXYZ(0.5f * sScenePi, Ease(u2) * 6.0f * sScenePi + 2.0f * back, 0.0f);
    r.l = sVec3(0.0f, 1.0f, Ease(u1) * 130.0f - 100.0f - back * 130.0f);
    r.l -= r.j * (25.0f * Ease(u3));
    r.l.z += (0.5f - 0.5f * std::cos(2.0f * sScenePi * u5)) * 5.0f;
    r.l.z -= 5.5f;
    ShipPosition = r.l;
    Ship->Matrix = r;
    Ship->ApplyMatrix();
  }
}

/****************************************************************************/
/***   Render and Camera                                                  ***/
/****************************************************************************/

void InvadersScene::Render(sInt, sViewport *)
{
  const SyncNow s = ReadSync(SyncSource);
  const sInt K = s.SyncClock;
  const sBool first = (sInt(s.BarPhase * 4.0f) % 2) == 0 && GameRunning;
  for(sInt k = 0; k < INVADER_KINDS; k++)
    for(sInt c = 0; c < INVADER_COLUMNS; c++)
    {
      const sInt vis = InvaderVisible[k][c];
      if(Invaders[k][c][0]) Invaders[k][c][0]->SetLayerMask(vis && first ? 1u : 0u);
      if(Invaders[k][c][1]) Invaders[k][c][1]->SetLayerMask(vis && !first ? 1u : 0u);
    }

  const sF32 v = Clamp01(sF32(K - FlashClock) * 0.0025f);
  PointRecord &flash = LightMarks[0]->Points[3];
  flash.Pos = FlashPosition;
  flash.Size = 25.0f - 20.0f * v;
  flash.Color = sBlendColor(0xFFA0A0A0, 0x00000000, v);

  Animate();
  for(ShatterModel &sh : Shatters) sh.Update();
  for(ParticleForm *sp : Sparks) sp->Step();
}

void InvadersScene::Camera(sInt variant, sViewport *view)
{
  Animate();
  const SyncNow s = ReadSync(SyncSource);
  const sInt K = s.SyncClock;
  const sF64 t = (sF64(K) + sF64(TimeSeed)) * 0.0005;
  auto S = [&](sF64 rate) { return ClockSin(t, rate); };
  sF32 zoom = 1.6f;
  sMat3x4 &cam = view->Camera;

  // the view placed at `at` turned by Euler angles, then moved back along its view
  auto orbit = [&](const sVec3 &at, sF32 ax, sF32 ay, sF32 az, sF32 back) {
    cam.EulerXYZ(ax, ay, az);
    cam.l = at - cam.k * back;
  };

  switch(variant)
  {
  case 1:
  {
    const sVec3 S0 = ShipPosition;
    sVec3 eye(S0.x, S0.y + 6.0f, S0.z - 10.5f);
    const sVec3 dv = ShipGoal - MoveFrom;
    const sF32 D = std::sqrt(sDot(dv, dv)), g = MoveBump;
    sMat3x4 rot;
    if(ShipGoal.x - MoveFrom.x >= 0.0f)
    {
      rot.EulerXYZ(0.0f, 0.0002f * D * g, -0.002f * D * g);
      eye.x -= 0.02f * D * g;
    }
    else
    {
      rot.EulerXYZ(0.0f, -0.0002f * D * g, 0.002f * D * g);
      eye.x += 0.02f * D * g;
    }
    sMat3x4 look;
    look.LookAt(sVec3(S0.x, S0.y - 8.0f, S0.z + 30.0f), eye);
    cam = sMat3x4::Mul(rot, look);
    zoom = 1.5f;
    break;
  }
  case 2:
  {
    const sF32 e = Clamp01((s.TwoBarPhase - 0.125f - 0.25f) * 4.0f);
    const sF32 s2 = 2.0f * (S(0.79) + S(0.91));
    cam.LookAt(ShipGoalAtShot + sVec3(0.0f, 10.0f * e, 180.0f), ShipGoalAtShot + sVec3(s2 + 4.0f, 15.0f, s2 - 15.0f));
    cam.l.y -= 10.0f;
    zoom = (1.0f - (std::cos(sScenePi * e) + 1.0f) * 0.5f) * 5.0f + 1.5f;
    break;
  }
  case 3:
  {
    const sF32 q = s.FourBarPhase, a3 = Clamp01(3.0f * q - 1.0f);
    const sF32 c = 0.5f - 0.5f * std::cos(2.0f * sScenePi * q);
    sVec3 eye(c * 160.0f + 20.0f * q - 90.0f, 8.0f - 3.0f * q, 60.0f - Ease(a3) * 60.0f);
    sVec3 target(c * 200.0f + 110.0f * q - 110.0f, s.EightBarPhase + 29.0f, 150.0f);
    if(MirrorCam3)
    {
      eye.x = -eye.x;
      target.x = -target.x;
    }
    cam.LookAt(target, eye);
    break;
  }
  case 4:
  {
    const sF32 u = Clamp01(sF32(K - LaunchClock) * 0.00003f), h = 0.5f - 0.5f * std::cos(2.0f * sScenePi * u);
    const sVec3 S0 = ShipPosition;
    sVec3 target = S0 + (sVec3(-10.0f, 0.0f, 100.0f) - S0) * u;
    sVec3 eye = S0 + (sVec3(50.0f, 15.0f, -20.0f) - S0) * h + sVec3(0.0f, 6.0f, -18.0f);
    if(MirrorCam4)
    {
      eye.x = -eye.x;
      target.x = -target.x;
    }
    cam.LookAt(target, eye);
    break;
  }
  case 5:
    orbit(ShotPoint + sVec3(0.0f, 5.0f, 0.0f), -0.13f, 0.4f * (S(0.37) + S(0.49)), 0.0f,
          (S(0.53) + S(0.39)) * 4.0f + 30.0f - 10.0f * s.BarPhase);
    break;
  default:
    orbit(ShotPoint + sVec3(3.0f * (S(0.51) + S(0.81)), S(0.94) + S(0.41) + 5.0f, 3.0f * (S(0.57) + S(0.79))),
          0.05f * (S(0.39) + S(0.51)) - 0.04f, 0.5f * (S(0.71) + S(0.67)), 0.01f * (S(0.34) + S(0.21)),
          4.0f * (S(0.43) + S(0.59)) + 27.0f);
    break;
  }
  view->ZoomY = zoom;
  view->ZoomX = zoom / SceneAspect(this);
}

// The Cubic scene: tables, Init, Enter, events, the grid's Tick, Render and Camera.
#include "scenes/cubic.hpp"

#include "show/procforms.hpp"

#include <cmath>
#include <cstring>
#include <sstream>
#include <string>

/****************************************************************************/
/***   Tables                                                             ***/
/****************************************************************************/

namespace
{
const TextureEntry CubicTextures[] = {
    {u"cubic/unpacked/white.bmp", u"cubic/packed/white.png", 0x1001, 2},
    {u"cubic/unpacked/lightpoint.bmp", u"cubic/packed/lightpoint.png", 0x1001, 2},
    {nullptr, nullptr, 0, 0},
};

// 0 every cube (instanced), 1 the light marks
const MaterialEntry CubicMaterials[] = {
    MaterialRow(15, 1, 0x23, 0, 1, 0x11000011, 0, 0, 0, 0, 0, 0, 0),
    MaterialRow(9, 3, 1, 0x20102, 1, 0x11000010, 0, 0, 0, 1, 0, 0, 0),
    MaterialEnd(),
};

// groups 0 to 2, ground, environment
const sU32 Styles[4][5] = {
    {0xFFD03028, 0xFFE8E4E0, 0xFF101010, 0xFF223366, 0x00141830},
    {0xFFC0F018, 0xFF808080, 0xFF101010, 0xFF403B2F, 0x0016140F},
    {0xFFB030D0, 0xFFE0B030, 0xFF000000, 0xFF404040, 0x00181818},
    {0xFF1062E0, 0xFFE0B030, 0xFF101010, 0xFF404040, 0x00181818},
};

// Patterns c1 to c14 (0 to 13); the digits are the variant keys, 223 the eleventh.
std::vector<std::vector<PatternKey>> Patterns()
{
  return {{{0, 0, {107, 49}}}, {},  {{0, 0, {50}}},       {{0, 0, {106, 48}}}, {{0, 0, {57}}},
          {{0, 0, {55}}},      {{0, 0, {107, 52}}},       {{0, 0, {49}}},      {{0, 0, {51}}},
          {{0, 0, {54}}},      {{0, 0, {53}}},            {{0, 0, {223}}},     {{0, 0, {56}}},
          {{0, 0, {48}}}};
}

std::vector<sInt> SongBars()
{
  static const char *text =
      "1 2 2 2 3 2 2 2 4 2 2 2 5 2 2 2 1 2 2 2 3 2 2 2 4 2 2 2 5 2 2 2 1 2 2 2 3 2 2 2 4 2 2 2 5 2 2 2 "
      "4 2 2 2 6 2 2 2 7 2 2 2 2 2 2 2 8 2 9 2 3 2 10 2 8 2 2 2 7 2 2 2 3 2 8 2 9 2 11 2 4 2 2 2 6 2 2 2 "
      "5 2 2 2 2 2 2 2 6 2 12 2 13 2 2 2 6 2 2 2 5 2 2 2 12 2 2 2 14 2 2 2";
  std::vector<sInt> bars;
  std::istringstream in(text);
  sInt n;
  while(in >> n) bars.push_back(n - 1);
  return bars;
}

const PatternList<128, 128> Song(SequenceKeys(Patterns(), SongBars()));

constexpr sF64 Pi = 3.141592653589793;

sF32 Clamp(sF32 x, sF32 lo, sF32 hi) { return x < lo ? lo : x > hi ? hi : x; }
sF64 PositiveMod(sF64 x, sF64 m)
{
  const sF64 r = std::fmod(x, m);
  return r < 0.0 ? r + m : r;
}

void Hide(sMat3x4 &m)
{
  m.Identity();
  m.i = m.j = m.k = sVec3(0.0f, 0.0f, 0.0f);
}

InstanceForm *MakeCubes(Scene *scene, sInt count, sF32 size, sF32 edge, sU32 mask)
{
  InstanceForm *f = sNEW InstanceForm(0);
  f->Init(count, size, edge);
  f->LayerMask = mask;
  scene->AddObject(f);
  return f;
}
}

SyncPatternTable CubicSong() { return Song.Table(); }

/****************************************************************************/
/***   Construction, Init, Enter, events                                  ***/
/****************************************************************************/

CubicScene::CubicScene()
{
  Mode = 0;
  SpinSpeed = 0.1f;
  ModeClock = 0;
  Ground = nullptr;
  for(sInt g = 0; g < 3; g++) CellForms[g] = DebrisForms[g] = nullptr, DebrisNext[g] = 0;
  std::memset(Cells, 0, sizeof(Cells));
  std::memset(Debris, 0, sizeof(Debris));
  CurrentSlice = -1;
  Style = 0;
  Drift = sVec3(0.0f, 0.0f, 0.0f);
  Scroll = 0.0;
  for(CubicAttractor &a : Attractors) a = CubicAttractor{sVec3(0.0f, 0.0f, 0.0f), 10.0f, 15.0f};
  LightMarks = nullptr;
  TimeSeed = 0;
  TicksThisFrame = 0;
  Random.Seed(0);
}

void CubicScene::SetStyle()
{
  const sU32 *s = Styles[Style];
  SetFade(this, RenderEnv.FogStart, RenderEnv.FogEnd, s[4]);
  Ground->Colour = s[3];
  for(sInt g = 0; g < 3; g++) CellForms[g]->Colour = DebrisForms[g]->Colour = s[g];
}

void CubicScene::Init(SyncMachine *syncSource, sInt initFlags, TMData *globalSet)
{
  SyncSource = syncSource;
  TakeMaterialSet(this, globalSet, CubicTextures, CubicMaterials, initFlags);

  LightSet *main = MaterialSet->LightSets[0];
  main->Ambient = 0x00404044;
  SetLight(main, 0, 0xFF837060, sVec3(1.0f, 0.5f, 0.5f), 256.0f);
  SetLight(main, 1, 0xFF606070, sVec3(-1.0f, 1.0f, -2.0f), 256.0f);
  SetLight(main, 2, 0xFF7078A0, sVec3(1.0f, -1.0f, 2.0f), 256.0f);
  MirrorLights(MaterialSet, 2);

  Style = 0;
  Mode = 0;
  ModeClock = 0;
  SpinSpeed = 0.1f;
  SetFade(this, 150.0f, 1500.0f, Styles[0][4]);

  Ground = MakeCubes(this, CUBIC_GROUND_ROWS * CUBIC_GROUND_COLUMNS, 20.0f, 5.0f, 2);
  Ground->Colour = Styles[0][3];
  Layout();
  ResetCells();
  for(sInt g = 0; g < 3; g++)
  {
    CellForms[g] = MakeCubes(this, CUBIC_CELL_CUBES, 4.0f, 1.0f, 1);
    CellForms[g]->Colour = Styles[0][g];
    DebrisForms[g] = MakeCubes(this, CUBIC_DEBRIS, 4.0f, 1.0f, 1);
    DebrisForms[g]->Colour = Styles[0][g];
    for(sInt n = 0; n < CUBIC_DEBRIS; n++) Hide(DebrisForms[g]->Instances[n]);
    std::memset(Debris[g], 0, sizeof(Debris[g]));
    DebrisNext[g] = 0;
  }
  CurrentSlice = -1;
  for(CubicAttractor &a : Attractors) a = CubicAttractor{sVec3(0.0f, 0.0f, 0.0f), 10.0f, 15.0f};

  LightMarks = sNEW PointForm(1);
  LightMarks->Words.DepthRange = 200.0f;
  LightMarks->Words.DepthOffset = 0.0f;
  LightMarks->Words.Brightness = 1.0f;
  LightMarks->Init(3, 0);
  MarkLights(LightMarks, main, 3, 256.0f, 80.0f, 0);
  AddObject(LightMarks);

  TimeSeed = ReseedTimeOffset(&Random, 0xFFFFF);
}

void CubicScene::Enter(sInt)
{
  const SyncNow s = ReadSync(SyncSource);
  InstallPatterns(SyncSource, 0, CubicSong());
  Mode = 0;
  ModeClock = s.SyncClock;
  ResetCells();
  // the style by transition mode is drawn and then replaced by a free choice
  switch(RenderMode)
  {
  case 1: case 4: Style = Random.NextBelow(2); break;
  case 2: Style = Random.NextBelow(2) + 2; break;
  case 3: Style = 2; break;
  default: Style = Random.NextBelow(4); break;
  }
  Style = Random.NextBelow(4);
  SetStyle();
  Layout();
  SpinSpeed = Mode == 1 ? 0.2f : 0.1f;
  TimeSeed = ReseedTimeOffset(&Random, 0xFFFFF);
}

void CubicScene::OnEvent(sInt code)
{
  if(code == 108)
  {
    ResetCells();
    return;
  }
  if(code != 106 && code != 107) return;
  Mode = code == 106 ? 1 : 0;
  ModeClock = ReadSync(SyncSource).SyncClock;
  ResetCells();
  SpinSpeed = Mode == 1 ? 0.2f : 0.1f;
  Layout();
}

/****************************************************************************/
/***   Drift, ground and grid                                             ***/
/****************************************************************************/

void CubicScene::ComputeDrift()
{
  const sF64 K = sF64(ReadSync(SyncSource).SyncClock);
  Scroll = (K - sF64(ModeClock)) * sF64(SpinSpeed);
  if(Mode == 1)
    Drift = sVec3(0.0f, sF32(Scroll), 0.0f);
  else
    Drift = sVec3(30.0f * (ClockSin(K, 0.0013) + ClockSin(K, 0.0021)), sF32(Scroll),
                  30.0f * (ClockSin(K, 0.0017) + ClockSin(K, 0.0011)));
}

// The scroll repeats every 48 slices of 12; it is wrapped in double precision, so it keeps
// its place however long the drift clock runs (and before a clock that went back).
sF64 CubicScene::WrappedScroll() const { return PositiveMod(Scroll + 288.0, 576.0); }

void CubicScene::PlaceGroundCube(sInt index, sInt row, sInt column, sF32 clampHigh, sBool flatY)
{
  sMat3x4 &m = Ground->Instances[index];
  m.Identity();
  if(Mode == 1)
  {
    m.l = sVec3(-30.0f, 0.0f, -1440.0f + 60.0f * sF32(column));
    return;
  }
  const sF32 s = std::sin(0.1f * sF32(row));
  const sF32 h = Clamp(Clamp(std::tan(0.21f * sF32(column) + 0.1f * sF32(row)), -5.0f, 5.0f) * s * 5.0f, -10.0f,
                       clampHigh);
  const sF32 radius = h + 15.0f;
  const sF32 a = 2.0f * sScenePi * sF32(column) / 49.0f;
  m.l = sVec3(60.0f * sF32(sInt(std::sin(a) * radius)), flatY ? 0.0f : sF32(row - 37) * 60.0f,
              60.0f * sF32(sInt(std::cos(a) * radius)));
}

void CubicScene::Layout()
{
  for(sInt r = 0; r < CUBIC_GROUND_ROWS; r++)
    for(sInt c = 0; c < CUBIC_GROUND_COLUMNS; c++) PlaceGroundCube(r * CUBIC_GROUND_COLUMNS + c, r, c, 10.0f, 0);
}

void CubicScene::ResetCells()
{
  std::memset(Cells, 0, sizeof(Cells));
  for(sInt s : {0, CUBIC_SLICES - 1})
    for(sInt r : {0, CUBIC_SIDE - 1})
      for(sInt c : {0, CUBIC_SIDE - 1}) Cells[s][r][c] = 1;
}

void CubicScene::Paint(sInt slice, sInt row, sInt column, sU32 value)
{
  Cells[slice][row][column] = value;
  if(slice >= CUBIC_SIDE) Cells[slice - CUBIC_SIDE][row][column] = value;
}

// Every painted cell of the slice falls away as a debris cube of its group.
void CubicScene::Shed(sInt slice)
{
  for(sInt a = 0; a < CUBIC_SIDE; a++)
    for(sInt b = 0; b < CUBIC_SIDE; b++)
    {
      const sU32 v = Cells[slice][a][b];
      if(v < 1 || v > 3) continue;
      const sInt g = sInt(v) - 1;
      const sF32 x = (sF32(b) - 23.5f) * 12.0f, z = (sF32(a) - 23.5f) * 12.0f;
      const sF32 d = std::sqrt(x * x + z * z);
      CubicDebris &r = Debris[g][DebrisNext[g]];
      r.Velocity = sVec3(0.0f, -10.0f * SpinSpeed, 0.0f);
      const sF32 ry = Random.NextFloat(2.0f), rx = Random.NextFloat(2.0f), rz = Random.NextFloat(2.0f);
      r.Acceleration = sVec3(x * 0.00001f + (rx - 1.0f) * d * 0.00001f, (ry - 1.0f) * 0.001f,
                             z * 0.00001f + (rz - 1.0f) * d * 0.00001f);
      r.Angles = r.AngularVelocity = sVec3(0.0f, 0.0f, 0.0f);
      const sF32 r4 = Random.NextFloat(2.0f), r5 = Random.NextFloat(2.0f), r6 = Random.NextFloat(2.0f);
      r.AngularAcceleration = sVec3(r6 - 1.0f, r5 - 1.0f, r4 - 1.0f) * 0.0001f;
      r.Active = 1;
      sMat3x4 &m = DebrisForms[g]->Instances[DebrisNext[g]];
      m.Identity();
      m.l = sVec3(x, -486.0f, z);
      DebrisNext[g] = (DebrisNext[g] + 1) % CUBIC_DEBRIS;
    }
}

/****************************************************************************/
/***   Tick                                                               ***/
/****************************************************************************/

void CubicScene::Tick(sInt)
{
  // at most 10 steps a frame, only as a guard against a frame that can never catch up:
  // steps that cost more than their 10 ms would owe every next frame more steps than the last
  if(TicksThisFrame >= CUBIC_TICKS_PER_FRAME) return;
  TicksThisFrame++;

  const SyncNow s = ReadSync(SyncSource);
  const sF64 K = sF64(s.SyncClock);
  const sF32 lv = s.PulseHalfBar;
  const sF32 R = 40.0f * lv + 30.0f;
  ComputeDrift();
  const sF64 w = WrappedScroll();
  Drift.y = sF32(w);
  sInt s0 = sInt(std::floor(w / 12.0));
  if(s0 > CUBIC_SIDE - 1) s0 = CUBIC_SIDE - 1;
  const sInt S = s0 + CUBIC_SIDE;

  if(CurrentSlice != S)
  {
    Shed(s0 + 32);
    CurrentSlice = S;
  }
  std::memset(Cells[s0 + 32], 0, sizeof(Cells[0]));
  std::memset(Cells[s0 + 80], 0, sizeof(Cells[0]));

  if(Mode == 1)
  {
    sVec3 satellites[3][3];
    for(sInt g = 0; g < 3; g++)
    {
      CubicAttractor &a = Attractors[g];
      const sF32 v = g == 1 ? std::sin(s.ColourPulse[0] * sScenePi * 0.5f)
                            : std::sin((1.0f - s.BarTriangle) * sScenePi * 0.5f);
      a.Pos = sVec3(Drift.x + 180.0f * v, Drift.y, Drift.z + 60.0f * sF32(g) - 60.0f);
      if(s.ColourPreset < 2)
        a.Reach = a.Reach + 0.2f > 60.0f ? 60.0f : a.Reach + 0.2f;
      else if(v < 0.95f)
        a.Reach = 40.0f * lv + 10.0f, a.Satellite = 20.0f * lv + 15.0f;
      else
        a.Reach = 10.0f, a.Satellite = 15.0f;
      for(sInt k = 0; k < 3; k++)
      {
        sMat3x4 rot;
        rot.EulerXYZ(ClockAngle(K, 0.00071) + 2.51f * sF32(3 * g + k), 0.0f, 0.0f);
        satellites[g][k] = a.Pos + rot.j * a.Reach;
      }
    }
    for(sInt sl = S; sl < S + CUBIC_SIDE; sl++)
    {
      const sF32 y = (sF32(sl) - 71.5f) * 12.0f, dy = y - Drift.y;
      if(dy * dy >= 50000.0f) continue;
      for(sInt row = 0; row < CUBIC_SIDE; row++)
      {
        const sF32 z = (sF32(row) - 23.5f) * 12.0f, dz = z - Drift.z;
        for(sInt col = CUBIC_SIDE / 2; col < CUBIC_SIDE; col++)
        {
          const sF32 x = (sF32(col) - 23.5f) * 12.0f, dx = x - Drift.x;
          if(dx * dx + dy * dy + dz * dz >= 50000.0f) continue;
          const sVec3 p(x, y, z);
          for(sInt g = 0; g < 3; g++)
          {
            const sVec3 da = p - Attractors[g].Pos;
            const sF32 reach = 2.0f * Attractors[g].Reach, r2 = Attractors[g].Satellite;
            if(sDot(da, da) >= reach * reach) continue;
            for(sInt k = 0; k < 3; k++)
            {
              const sVec3 ds = p - satellites[g][k];
              if(sDot(ds, ds) < r2 * r2)
              {
                Paint(sl, row, col, sU32(g + 1));
                break;
              }
            }
          }
        }
      }
    }
  }
  else
  {
    sVec3 points[9];
    for(sInt i = 0; i < 9; i++)
    {
      sMat3x4 rot;
      rot.EulerXYZ(2.51f * sF32(i) + ClockAngle(K, 0.00071), 1.75f * sF32(i) + ClockAngle(K, 0.00053),
                   0.89f * sF32(i) + ClockAngle(K, 0.00097));
      points[i] = Drift + rot.i * R;
    }
    const sF32 limit = 500.0f * R, near = 20.0f * lv + 12.0f;
    for(sInt sl = S; sl < S + CUBIC_SIDE; sl++)
    {
      const sF32 y = (sF32(sl) - 71.5f) * 12.0f, dy2 = (y - Drift.y) * (y - Drift.y);
      if(dy2 >= limit) continue;
      for(sInt row = 0; row < CUBIC_SIDE; row++)
      {
        const sF32 z = (sF32(row) - 23.5f) * 12.0f, dyz2 = dy2 + (z - Drift.z) * (z - Drift.z);
        if(dyz2 >= limit) continue;
        for(sInt col = 0; col < CUBIC_SIDE; col++)
        {
          const sF32 x = (sF32(col) - 23.5f) * 12.0f;
          if(dyz2 + (x - Drift.x) * (x - Drift.x) >= limit) continue;
          const sVec3 p(x, y, z);
          sInt value = 0;
          for(sInt i = 0; i < 9; i++)
          {
            const sVec3 d = p - points[i];
            if(sDot(d, d) < near * near) value = i / 3 + 1;
          }
          if(value) Paint(sl, row, col, sU32(value));
        }
      }
    }
  }

  for(sInt g = 0; g < 3; g++)
    for(sInt n = 0; n < CUBIC_DEBRIS; n++)
    {
      CubicDebris &r = Debris[g][n];
      sMat3x4 &m = DebrisForms[g]->Instances[n];
      if(!r.Active)
      {
        Hide(m);
        continue;
      }
      r.Velocity.y = (r.Velocity.y - 0.03f + r.Acceleration.y) * 0.995f;
      r.Velocity.x = (r.Velocity.x + r.Acceleration.x) * 0.995f;
      r.Velocity.z = (r.Velocity.z + r.Acceleration.z) * 0.995f;
      r.Acceleration *= 0.995f;
      r.AngularVelocity = (r.AngularVelocity + r.AngularAcceleration) * 0.995f;
      r.Angles += r.AngularVelocity;
      // the angles of a tumbling cube keep growing: only their turn matters
      for(sF32 *a : {&r.Angles.x, &r.Angles.y, &r.Angles.z}) *a = sF32(PositiveMod(*a, 2.0 * Pi));
      const sVec3 l = m.l;
      m.EulerXYZ(r.Angles.x, r.Angles.y, r.Angles.z);
      m.l = l + r.Velocity;
    }
}

/****************************************************************************/
/***   Render                                                             ***/
/****************************************************************************/

void CubicScene::Render(sInt, sViewport *)
{
  TicksThisFrame = 0;
  ComputeDrift();
  const sF64 w = WrappedScroll();
  const sF32 lift = sF32(w) + 12.0f;
  sInt s0 = sInt(std::floor(w / 12.0));
  if(s0 > CUBIC_SIDE - 1) s0 = CUBIC_SIDE - 1;

  sInt used[3] = {0, 0, 0};
  for(sInt sl = s0 + 32; sl < s0 + 80; sl++)
    for(sInt r = 0; r < CUBIC_SIDE; r++)
      for(sInt c = 0; c < CUBIC_SIDE; c++)
      {
        const sU32 v = Cells[sl][r][c];
        if(v < 1 || v > 3 || used[v - 1] >= CUBIC_CELL_CUBES) continue;
        sMat3x4 &m = CellForms[v - 1]->Instances[used[v - 1]++];
        m.Identity();
        m.l = sVec3((sF32(c) - 23.5f) * 12.0f, (sF32(sl) - 71.5f) * 12.0f - lift, (sF32(r) - 23.5f) * 12.0f);
      }
  for(sInt g = 0; g < 3; g++)
    for(sInt n = used[g]; n < CUBIC_CELL_CUBES; n++) Hide(CellForms[g]->Instances[n]);

  // the ground row that scrolls in at the far end takes its new shape
  const sInt n = sInt(std::floor(Scroll / 60.0)) + CUBIC_GROUND_ROWS - 1;
  const sInt row = CUBIC_GROUND_ROWS - 1 - sInt(PositiveMod(sF64(n), sF64(CUBIC_GROUND_ROWS)));
  for(sInt c = 0; c < CUBIC_GROUND_COLUMNS; c++) PlaceGroundCube(row * CUBIC_GROUND_COLUMNS + c, n, c, 2.0f, 1);
  for(sInt r = 0; r < CUBIC_GROUND_ROWS; r++)
  {
    const sF32 y = sF32(2250.0 - PositiveMod(60.0 * r + Scroll, 4500.0));
    for(sInt c = 0; c < CUBIC_GROUND_COLUMNS; c++) Ground->Instances[r * CUBIC_GROUND_COLUMNS + c].l.y = y;
  }
}

/****************************************************************************/
/***   Camera                                                             ***/
/****************************************************************************/

void CubicScene::Camera(sInt variant, sViewport *view)
{
  const SyncNow s = ReadSync(SyncSource);
  const sF64 f = sF64(s.SyncClock) + sF64(TimeSeed);
  const sF32 lv = s.PulseHalfBar, b4 = s.FourBarPhase, pp = s.EightBarPhase;
  const sVec3 shake(ClockSin(f, 0.075) - ClockSin(f, 0.077) + ClockSin(f, 0.043),
                    ClockSin(f, 0.042) - ClockSin(f, 0.065) + ClockSin(f, 0.075),
                    ClockSin(f, 0.059) - ClockSin(f, 0.045) + ClockSin(f, 0.061));
  const sF32 g = std::sin(ClockSin(f, 0.00015) + ClockAngle(f, 0.00003) - ClockSin(f, 0.00007) +
                          ClockSin(f, 0.00003));
  LayerMask = ~0u;
  sVec3 eye, target;
  sF32 zoom = 1.6f;
  // Cameras 6 to 9 turn the placed camera as a whole about the world's origin (eye
  // included): look-at, then `turn`. Camera 10 rolls the view in the camera's own frame
  // before the look-at places it, so its eye stays put.
  sMat3x4 turn, roll;
  sVec3 push(0.0f, 0.0f, 0.0f);
  switch(variant)
  {
  case 1:
  {
    const sF32 a = ClockSin(f, 0.00015) + ClockSin(f, 0.00019) + ClockSin(f, 0.00027);
    eye = sVec3(-150.0f * std::sin(a), -180.0f, 180.0f * std::cos(a));
    target = sVec3(50.0f * ClockSin(f, 0.00013), 50.0f * ClockSin(f, 0.00027) - 30.0f, 50.0f * ClockSin(f, 0.00031));
    zoom = 1.8f;
    break;
  }
  case 2:
  {
    const sF32 a = ClockSin(f, 0.00015) + ClockSin(f, 0.00027) - ClockSin(f, 0.00019);
    eye = sVec3(180.0f * std::sin(a), 150.0f, 180.0f * std::cos(a));
    target = sVec3(50.0f * std::sin(a), 50.0f * ClockSin(f, 0.00027) - 120.0f, 50.0f * std::cos(a));
    zoom = 2.0f;
    break;
  }
  case 3:
  {
    const sF32 e3 = 0.5f - 0.5f * std::cos(sScenePi * pp);
    const sF32 a = 0.5f * (ClockSin(f, 0.00011) - ClockSin(f, 0.00017) + ClockSin(f, 0.00029)) + ClockAngle(f, 0.00013);
    eye = sVec3(180.0f * std::sin(a), -100.0f - 300.0f * e3, 180.0f * std::cos(a));
    target = sVec3(50.0f * std::sin(a), 50.0f * ClockSin(f, 0.00027) + 30.0f - 700.0f * e3, 50.0f * std::cos(a));
    zoom = 1.8f;
    break;
  }
  case 4:
    eye = sVec3(-700.0f * ClockSin(f, 0.00005), 300.0f, 700.0f * ClockCos(f, 0.00005));
    target = sVec3(200.0f * ClockSin(f, 0.00017), 15.0f * ClockSin(f, 0.00027) - 250.0f, 200.0f * ClockCos(f, 0.00021));
    zoom = 0.5f * (ClockSin(f, 0.00013) + ClockSin(f, 0.00007)) + 2.8f;
    break;
  case 5:
  {
    const sF32 a = ClockSin(f, 0.00015) + ClockAngle(f, 0.00003) - ClockSin(f, 0.00007) + ClockSin(f, 0.00003);
    eye = sVec3(150.0f * std::sin(a), -1600.0f, 180.0f * std::cos(a));
    target = sVec3(150.0f * std::sin(a + sScenePi), 50.0f * ClockSin(f, 0.00027) - 30.0f,
                   150.0f * std::cos(a + sScenePi));
    zoom = 1.8f;
    break;
  }
  case 6:
    eye = sVec3(50.0f * ClockSin(f, 0.00013) - 150.0f, 80.0f, 150.0f * ClockCos(f, 0.00017));
    target = sVec3(50.0f * ClockSin(f, 0.00011) + 150.0f, 30.0f * ClockSin(f, 0.00027) + 80.0f,
                   50.0f * ClockCos(f, 0.00007));
    turn.EulerXYZ(0.0f, 0.0f, (0.1f * g + 0.5f) * -sScenePi);
    push = shake * lv;
    zoom = 1.8f;
    break;
  case 7:
    eye = sVec3(160.0f * ClockSin(f, 0.00013) + 80.0f, 50.0f, 50.0f * ClockCos(f, 0.00017) + 200.0f);
    target = sVec3(50.0f * ClockSin(f, 0.00013) + 80.0f, 30.0f * ClockSin(f, 0.00027) + 80.0f,
                   50.0f * ClockCos(f, 0.00007));
    turn.EulerXYZ(0.0f, 0.47123894f * g, -sScenePi * 0.5f);
    break;
  case 8:
  {
    const sF32 e8 = 0.5f - 0.5f * std::cos(sScenePi * b4);
    eye = sVec3(460.0f * e8 + 80.0f, 10.0f * ClockSin(f, 0.00021) + 50.0f, 50.0f * ClockCos(f, 0.00017) - 200.0f);
    target = sVec3(800.0f * e8 + 80.0f, 25.0f * ClockSin(f, 0.00027) + 70.0f, 50.0f * ClockCos(f, 0.00007));
    turn.EulerXYZ(0.15707964f * g, 0.0f, -sScenePi * 0.5f);
    push = shake * (2.0f * (1.0f - std::sin(pp * sScenePi * 0.5f)) * lv);
    break;
  }
  case 9:
  {
    const sF32 d = b4 - 0.5f;
    eye = sVec3(1300.0f * d + 80.0f, 20.0f * ClockSin(f, 0.00021) + 40.0f, 30.0f * ClockCos(f, 0.00017) + 200.0f);
    target = sVec3(250.0f * d + 80.0f, 20.0f * ClockSin(f, 0.00027) + 80.0f, 30.0f * ClockCos(f, 0.00007));
    turn.EulerXYZ(0.09424778f * g, 0.0f, -sScenePi * 0.5f);
    push = shake * (2.0f * (1.0f - std::fabs(1.8f * d)) * lv);
    break;
  }
  case 10:
    eye = sVec3(40.0f * ClockSin(f, 0.00011) - 130.0f, -30.0f, 20.0f * ClockCos(f, 0.00017));
    target = sVec3(50.0f * ClockSin(f, 0.00013), 25.0f * ClockSin(f, 0.00027) - 40.0f, 25.0f * ClockSin(f, 0.00031));
    roll.EulerXYZ(0.0f, 0.0f, 0.1f * (ClockSin(f, 0.00015) + ClockSin(f, 0.00019) + ClockSin(f, 0.00027)));
    LayerMask = 1;
    break;
  default:
  {
    sMat3x4 m;
    m.EulerXYZ(0.25f * ClockSin(f, 0.00017), ClockAngle(f, 0.00023), ClockSin(f, 0.00027));
    ComputeDrift();
    m.l = sVec3(0.5f * Drift.x, -30.0f, 0.5f * Drift.z) - m.k * 190.0f;
    view->Camera = m;
    view->ZoomY = 1.7f;
    view->ZoomX = 1.7f / SceneAspect(this);
    return;
  }
  }
  PlaceCamera(this, view, target, eye, zoom);
  view->Camera = roll * view->Camera * turn;
  view->Camera.l += push;
}

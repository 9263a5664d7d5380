// The Plant scene: tables, Init, Enter, the tips' Tick, events, Render and Camera.
#include "scenes/plant.hpp"

#include "show/forms.hpp"
#include "show/procforms.hpp"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>

/****************************************************************************/
/***   Tables                                                             ***/
/****************************************************************************/

namespace
{
const TextureEntry PlantTextures[] = {
    {u"plant/unpacked/white.bmp", u"plant/packed/white.png", 0x1001, 2},
    {u"plant/unpacked/center.bmp", u"plant/packed/center.png", 0x1001, 2},
    {u"plant/unpacked/ring.bmp", u"plant/packed/ring.png", 0x1001, 2},
    {u"plant/unpacked/wallpaper_01.bmp", u"plant/packed/wallpaper_01.png", 0x1001, 2},
    {u"plant/unpacked/wallpaper_02.bmp", u"plant/packed/wallpaper_02.png", 0x1001, 2},
    {u"plant/unpacked/round.pic", u"plant/packed/round.pic", 0x1001, 4},
    {u"plant/unpacked/stripe.bmp", u"plant/packed/stripe.png", 0x1001, 2},
    {u"plant/unpacked/stripe_a.pic", u"plant/packed/stripe_a.pic", 0x1001, 2},
    {u"plant/unpacked/lightpoint.bmp", u"plant/packed/lightpoint.png", 0x1001, 0},
    {u"plant/unpacked/circle.bmp", u"plant/packed/circle.png", 0x1001, 2},
    {u"plant/unpacked/tarn_whistles_bg.png", u"plant/packed/tarn_whistles_bg.png", 0x1001, 4},
    {u"plant/unpacked/tarn_whistles.png", u"plant/packed/tarn_whistles.png", 0x1001, 4},
    {nullptr, nullptr, 0, 0},
};

// 0 ground, 1 tile discs, 2 tile rings, 3 trail, 4 sparks, 5 and 6 leaves, 7 ripples,
// 8 and 9 the picture quads
const MaterialEntry PlantMaterials[] = {
    MaterialRow(0, 1, 0, 0, 1, 1, 0, 0, 0, 3, 0, 0, 0),
    MaterialRow(0, 1, 0, 0x20102, 1, 0x11000011, 0, 0, 0, 1, 0, 0, 0),
    MaterialRow(0, 1, 0, 0x20102, 1, 1, 0, 0, 0, 2, 0, 0, 0),
    MaterialRow(9, 3, 0, 0x60105, 1, 0x11000010, 0, 0, 0, 5, 0, 0, 0),
    MaterialRow(9, 3, 0, 0x20102, 1, 0x11000010, 0, 0, 0, 8, 0, 0, 0),
    MaterialRow(6, 1, 3, 0x60105, 1, 0x11000010, 0, 0, 0, 7, 0, 0, 0),
    MaterialRow(6, 1, 1, 0x40102, 1, 0x11000010, 0, 0, 0, 6, 0, 0, 0),
    MaterialRow(0, 1, 0, 0x20102, 1, 1, 0, 0, 0, 9, 0, 0, 0),
    MaterialRow(0, 1, 0, 0x60105, 1, 0x11000011, 0, 0, 0, 10, 0, 0, 0),
    MaterialRow(0, 1, 0, 0x60105, 1, 0x11000011, 0, 0, 0, 11, 0, 0, 0),
    MaterialEnd(),
};

const sU32 PaletteColours[5] = {0x937964, 0x1A110D, 0xFF000000, 0x506F90, 0xB08870};

// Patterns by letter; the digits '1' to '6' are variant keys, 114 colour preset 3.
std::vector<std::vector<PatternKey>> Patterns()
{
  auto beat = [](std::vector<PatternKey> first) {
    first.push_back({0, 4, {108}});
    first.push_back({0, 12, {107}});
    return first;
  };
  std::vector<std::vector<PatternKey>> p(26);
  p['A' - 'A'] = {{0, 0, {54, 103, 114}}, {0, 1, {54, 103, 114}}};
  p['B' - 'A'] = beat({});
  p['N' - 'A'] = {{0, 4, {102, 108}}, {0, 8, {102}}, {0, 12, {107}}};
  p['D' - 'A'] = {{0, 4, {108}}, {0, 8, {104}}, {0, 12, {100, 107}}};
  p['F' - 'A'] = beat({{0, 0, {106, 52}}});
  p['G' - 'A'] = beat({{0, 0, {49}}});
  p['H' - 'A'] = beat({{0, 0, {106, 51}}});
  p['I' - 'A'] = beat({{0, 0, {50}}});
  p['J' - 'A'] = beat({{0, 0, {53}}});
  p['K' - 'A'] = beat({{0, 0, {50, 104}}});
  p['L' - 'A'] = beat({{0, 0, {49, 104}}});
  return p;   // E and the unused letters stay empty
}

// "8E A 7B ..." into pattern numbers: a count before a letter repeats it
std::vector<sInt> Bars(const std::string &text)
{
  std::vector<sInt> bars;
  std::istringstream in(text);
  std::string word;
  while(in >> word)
  {
    const sInt count = std::isdigit(static_cast<unsigned char>(word[0])) ? std::atoi(word.c_str()) : 1;
    for(sInt n = 0; n < count; n++) bars.push_back(word.back() - 'A');
  }
  return bars;
}

std::vector<sInt> ShowBars()
{
  std::string text = "8E A 7B N 6B D 8E A 23E ";
  for(sInt n = 0; n < 3; n++) text += "F 3B G 2B H G 6B H ";
  text += "8E I B B H J B B H I B B J I B B H J B B H G B B H G 6B J G H I H I H G H G 6B J "
          "G H I H I H G H G 6B J G H I H I H G H K B H I 4B";
  return Bars(text);
}
const PatternList<192, 192> ShowList(SequenceKeys(Patterns(), ShowBars()));

std::vector<sInt> ShortBars()
{
  std::vector<sInt> bars(88, 'B' - 'A');
  const std::pair<sInt, char> keyed[] = {{0, 'F'},  {4, 'G'},  {16, 'H'}, {24, 'G'}, {40, 'F'},
                                         {48, 'G'}, {64, 'J'}, {72, 'G'}, {80, 'L'}};
  for(const auto &[bar, letter] : keyed) bars[size_t(bar)] = letter - 'A';
  return bars;
}
const PatternList<88, 88> ShortList(SequenceKeys(Patterns(), ShortBars()));

constexpr sF64 Pi = 3.141592653589793;
constexpr sF64 TwentyPi = 20.0 * Pi;
const sVec3 TipStart(-150.0f, 1.0f, 0.0f);

ArrayForm *MakeArray(sInt material, sInt shape, sInt duration, sInt u, sInt v, const sF32 *r0, const sF32 *r1)
{
  ArrayForm *f = sNEW ArrayForm(material);
  f->Init(shape, duration, 1, u, v, r0, r1);
  return f;
}

PointForm *MakePoints(sInt material, sInt count)
{
  PointForm *f = sNEW PointForm(material);
  f->Words.DepthRange = 200.0f;
  f->Words.DepthOffset = 0.0f;
  f->Words.Brightness = 1.0f;
  f->Init(count, 0);
  return f;
}
}

SyncPatternTable PlantShowTable() { return ShowList.Table(); }
SyncPatternTable PlantShortTable() { return ShortList.Table(); }

// In double precision: the camera wanders without bound over a night's show, and a
// fixed-point floor of it would overflow after some tens of thousands of units.
sF32 PlantTileAxis(sF32 home, sF32 v)
{
  const sF64 repeat = PLANT_TILE_REPEAT;
  return sF32(sF64(home) + repeat * std::floor((sF64(v) - sF64(home) + 0.5 * repeat) / repeat));
}

/****************************************************************************/
/***   Construction and tiles                                             ***/
/****************************************************************************/

PlantScene::PlantScene()
{
  for(sInt i = 0; i < 3; i++) Tips[i] = TipPrevious[i] = TipStart, TipAngles[i] = 0.0f;
  BranchOffset = BranchPhase = 0.0f;
  TrailForm = nullptr;
  TrailIndex = 0;
  for(sInt n = 0; n < PLANT_LEAVES; n++)
  {
    LeavesA[n] = LeavesB[n] = nullptr;
    LeafAnglesA[n] = LeafAnglesB[n] = 0.0f;
  }
  LeafIndexA = LeafIndexB = 0;
  for(PlantTile &t : Tiles) t = PlantTile{};
  GroundPlane = nullptr;
  SparkForm = nullptr;
  for(sInt n = 0; n < PLANT_RIPPLES; n++) RippleRings[n] = nullptr, RippleTimes[n] = 0;
  for(sInt q = 0; q < 2; q++)
  {
    PictureQuads[q] = QuadCopies[q] = nullptr;
    QuadHome[q] = sVec3(0.0f, 0.0f, 0.0f);
    QuadTimes[q] = 65536;
  }
  QuadIndex = 0;
  // the colours stay 0 until the first Enter
  for(sU32 &c : Palette) c = 0;
  AccentColour = 0;
  Growth = 1.0f;
  Withering = 0;
  WitherStart = 0;
  RestartTime = 0.0f;
  LastBeatTime = 0x100000;
  BranchRequest = BranchFromBoth = 0;
  FocusPos = FocusDir = sVec3(0.0f, 0.0f, 0.0f);
  CameraTimeOffset = 0;
}

void PlantScene::SetPalette()
{
  for(sInt i = 0; i < 5; i++) Palette[i] = PaletteColours[i];
  AccentColour = 0x00FFFFFF;
}

void PlantScene::BuildTile(PlantTile &tile)
{
  const sF32 disc[4] = {256.0f, 256.0f, -128.0f, -128.0f};
  tile.Disc = MakeArray(1, ArrayForm::PLANE, 1, 16, 16, disc, nullptr);
  tile.Disc->Matrix.EulerXYZ(sScenePi * 0.5f, 0.0f, 0.0f);
  tile.Disc->Matrix.l = tile.Drawn;
  tile.Disc->Colour = Palette[0];
  AddObject(tile.Disc);
  for(sInt k = 0; k < PLANT_TILE_RINGS; k++)
  {
    const sF32 fk = sF32(k);
    const sF32 r0[4] = {2.0f * sScenePi, fk * 0.6f + 5.0f, 0.0f, 0.3f * fk * fk + 5.0f * fk + 10.0f};
    const sF32 r1[4] = {15.0f + 4.0f * fk, 1.0f, 0.0f, 0.0f};
    ArrayForm *f = tile.Inner[k] = MakeArray(2, ArrayForm::DISC, 1, 128, 4, r0, r1);
    f->Matrix.EulerXYZ(sScenePi * 0.5f, Random.NextFloat(sScenePi), 0.0f);
    f->Matrix.l = tile.Drawn;
    f->Colour = sBlendColor(Palette[1], 0, fk / 15.0f);
    AddObject(f);
  }
  for(sInt k = 0; k < PLANT_TILE_RINGS; k++)
  {
    const sF32 m = sF32(k) + 0.4f;
    const sF32 r0[4] = {2.0f * sScenePi, m * 0.1f + 1.0f, 0.0f, (m * 0.3f + 5.0f) * m + 10.0f};
    const sF32 r1[4] = {80.0f + 22.0f * sF32(k), 1.0f, 0.0f, 0.0f};
    ArrayForm *f = tile.Outer[k] = MakeArray(2, ArrayForm::DISC, 1, 128, 4, r0, r1);
    f->Matrix.EulerXYZ(sScenePi * 0.5f, 0.0f, 0.0f);
    f->Matrix.l = tile.Drawn;
    f->Colour = sBlendColor(Palette[1], 0, sF32(k) / 30.0f);
    AddObject(f);
  }
}

void PlantScene::ColourTile(PlantTile &tile)
{
  tile.Disc->Colour = Palette[0];
  for(sInt k = 0; k < PLANT_TILE_RINGS; k++)
  {
    tile.Inner[k]->Colour = sBlendColor(Palette[1], 0, sF32(k) / 15.0f);
    tile.Outer[k]->Colour = sBlendColor(Palette[1], 0, sF32(k) / 30.0f);
  }
}

void PlantScene::UpdateTile(PlantTile &tile, sF32 restartTime)
{
  const SyncNow s = ReadSync(SyncSource);
  const sInt b = sInt((s.BarPhase + 0.125f) * 4.0f);
  for(sInt k = 0; k < PLANT_TILE_RINGS; k++)
    if((k & 1) == (b & 1)) tile.Outer[k]->Colour = sBlendColor(Palette[1], 0xFFFFFFFF, s.PulseBeat * 0.5f);
  tile.Disc->Matrix.l = tile.Drawn;
  for(sInt k = 0; k < PLANT_TILE_RINGS; k++) tile.Inner[k]->Matrix.l = tile.Outer[k]->Matrix.l = tile.Drawn;
  const sF32 e = sF32((sF64(s.SyncClock) - sF64(restartTime)) * 0.0002 - 3.0);
  const sF32 g = SceneClamp(1.0f - std::cos(SceneClamp(e, 0.0f, 100.0f)), 0.0f, 2.0f) * 0.5f;
  for(sInt k = 0; k < PLANT_TILE_RINGS; k++)
    tile.Inner[k]->Colour = sBlendColor(Palette[1], 0xFFFFFFFF, g * ((k & 1) ? s.PulseBarEnd : s.PulseHalfBar));
}

/****************************************************************************/
/***   Tips                                                               ***/
/****************************************************************************/

void PlantScene::SteerTip(sInt i)
{
  const sF64 t = sF64(ReadSync(SyncSource).SyncClock) - sF64(RestartTime);
  if(i == 2)
    TipAngles[2] = (0.5f - std::cos(ClockAngle(t, 0.0002) + BranchPhase) * 0.5f) * 0.8f + BranchOffset;
  else
  {
    const sF32 c = SceneClamp(sF32(t * 0.00001 - 0.1), 0.0f, 100.0f);
    const sF32 a = (0.5f - ClockCos(t, 0.00032) * 0.5f) * 0.85f - 0.33f - c;
    TipAngles[i] = i == 0 ? a : -a;
  }
  const sF64 h = sF64(TipAngles[i]) * Pi + Pi * 0.5;
  Tips[i].x += sF32(std::sin(h) * 0.14);
  Tips[i].z += sF32(std::cos(h) * 0.14);
}

void PlantScene::ResetTips()
{
  BranchOffset = BranchPhase = 0.0f;
  BranchRequest = BranchFromBoth = Withering = 0;
  for(sInt i = 0; i < 3; i++) Tips[i] = TipPrevious[i] = TipStart;
  for(sInt n = 0; n < PLANT_TRAIL; n++)
  {
    TrailForm->Points[n].Pos = TipStart;
    TrailForm->Points[n].Size = 0.0f;
  }
  TrailIndex = 0;
  for(sInt r = 0; r < 200; r++)
    for(sInt i = 0; i < 3; i++)
    {
      TrailForm->Points[TrailIndex].Pos = Tips[i];
      TrailIndex = (TrailIndex + 1) % PLANT_TRAIL;
      SteerTip(i);
    }
  Tips[1] = Tips[2] = Tips[0];
}

const sVec3 &PlantScene::TrailPoint(sInt n) const
{
  sInt k = (TrailIndex - n) % PLANT_TRAIL;
  if(k < 0) k += PLANT_TRAIL;
  return TrailForm->Points[k].Pos;
}

/****************************************************************************/
/***   Init and Enter                                                     ***/
/****************************************************************************/

void PlantScene::Init(SyncMachine *syncSource, sInt initFlags, TMData *globalSet)
{
  SyncSource = syncSource;
  TakeMaterialSet(this, globalSet, PlantTextures, PlantMaterials, initFlags);
  RestartTime = 0.0f;

  LightSet *main = MaterialSet->LightSets[0];
  main->Ambient = 0x404040;
  SetLight(main, 0, 0x5F5F5F, sVec3(1.0f, 0.5f, 0.5f), 1024.0f);
  SetLight(main, 1, 0x8F8F8F, sVec3(-1.0f, 1.0f, -2.0f), 1024.0f);
  MirrorLights(MaterialSet, 2);

  const sF32 ground0[4] = {10000.0f, 10000.0f, -5000.0f, -5000.0f}, ground1[4] = {256.0f, 256.0f, 0.0f, 0.0f};
  GroundPlane = MakeArray(0, ArrayForm::PLANE, 1, 16, 16, ground0, ground1);
  GroundPlane->Matrix.EulerXYZ(sScenePi * 0.5f, 0.0f, 0.0f);
  GroundPlane->Colour = Palette[1];
  AddObject(GroundPlane);

  Random.Seed(sGetTime() & 0xFFFFF);
  for(sInt r = 0; r < PLANT_TILE_SIDE; r++)
    for(sInt c = 0; c < PLANT_TILE_SIDE; c++)
    {
      PlantTile &t = Tiles[r * PLANT_TILE_SIDE + c];
      const sF32 jx = Random.NextFloat(1.0f) * 0.0f, jz = Random.NextFloat(1.0f) * 0.0f;
      t.Home = t.Drawn = sVec3(sF32(c - 3) * 290.0f + jx, 0.0f, sF32(r - 3) * 290.0f + jz);
      BuildTile(t);
    }

  SparkForm = MakePoints(4, PLANT_SPARKS);
  for(sInt n = 0; n < PLANT_SPARKS; n++)
  {
    PointRecord &p = SparkForm->Points[n];
    p.Pos = sVec3(0.0f, 0.0f, 0.0f);
    p.Size = 0.0f;
    p.Color = 0;
    p.Spare = 0xFFFFFFFF;   // the spark's time: -1
  }
  AddObject(SparkForm);

  const sInt clock = ReadSync(SyncSource).SyncClock;
  const sF32 ripple[4] = {2.0f * sScenePi, 0.0f, 0.0f, 0.0f};
  for(sInt n = 0; n < PLANT_RIPPLES; n++)
  {
    ArrayForm *f = RippleRings[n] = MakeArray(7, ArrayForm::DISC, 2, 64, 4, ripple, nullptr);
    f->Matrix.EulerXYZ(sScenePi * 0.5f, 0.0f, 0.0f);
    f->Matrix.l = sVec3(10.0f * sF32(n), 0.0f, 0.0f);
    f->Colour = Palette[4];
    AddObject(f);
    RippleTimes[n] = clock - 10000;
  }

  const sF32 quad0[4] = {110.0f, 110.0f, -55.0f, -55.0f}, quad1[4] = {1.0f, 1.0f, 0.0f, 0.0f};
  for(sInt q = 0; q < 2; q++)
  {
    QuadHome[q] = sVec3(-10.0f, sF32(q + 1) * 10.0f, 10.0f);
    for(ArrayForm **slot : {&PictureQuads[q], &QuadCopies[q]})
    {
      ArrayForm *f = *slot = MakeArray(8 + q, ArrayForm::PLANE, 1, 4, 4, quad0, quad1);
      f->Matrix.EulerXYZ(sScenePi * 0.5f, sScenePi * 0.5f, sScenePi);
      f->Matrix.l = QuadHome[q];
      f->LayerMask = 0xFFFFFFFF;
      f->Colour = 0xFFFFFFFF;
    }
    QuadTimes[q] = 65536;
  }
  AddObject(PictureQuads[0]);
  AddObject(PictureQuads[1]);
  AddObject(QuadCopies[0]);
  QuadIndex = 0;

  TrailForm = MakePoints(3, PLANT_TRAIL);
  for(sInt n = 0; n < PLANT_TRAIL; n++)
  {
    PointRecord &p = TrailForm->Points[n];
    p.Color = 0xFF000000;
    p.Pos = sVec3(0.0f, 0.0f, 0.0f);
    p.Size = 0.0f;
  }
  AddObject(TrailForm);

  for(sInt pool = 0; pool < 2; pool++)
  {
    StripForm **leaves = pool ? LeavesB : LeavesA;
    sF32 *angles = pool ? LeafAnglesB : LeafAnglesA;
    for(sInt n = 0; n < PLANT_LEAVES; n++)
    {
      const sF32 angle = angles[n] = Random.NextFloat(1.0f) >= 0.5f ? -sScenePi * 0.5f : sScenePi * 0.5f;
      StripForm *f = leaves[n] = sNEW StripForm(pool ? 6 : 5);
      f->Words.Words[StripWords::Speed] = 100.0f;
      f->Seed = sInt(Random.NextFloat(100.0f));
      const sF32 width = pool ? Random.NextFloat(2.7f) + 0.3f : Random.NextFloat(0.7f) + 0.5f;
      const sInt segments = sInt(pool ? Random.NextFloat(400.0f) + 100.0f : Random.NextFloat(200.0f) + 100.0f);
      f->Init(0, 4, segments, width, 0.0f, -1);
      f->Matrix.EulerXYZ(angle, 0.0f, 0.0f);
      f->Matrix.l = sVec3(1000.0f, 0.0f, 0.0f);
      sF32 *w = f->Words.Words;
      w[StripWords::OriginOffset + 0] = 0.0f;
      w[StripWords::OriginOffset + 1] = -28.0f;
      w[StripWords::OriginOffset + 2] = 0.0f;
      w[StripWords::Spin] = (Random.NextFloat(1.0f) - 0.5f) * 10.0f;
      w[StripWords::StripParamA] = 0.0f;
      w[StripWords::StripParamB] = 0.5f;
      w[StripWords::StripParamC] = 1.5f;
      w[StripWords::StripParamD] = 1.3f;
      w[StripWords::Curl1] = Random.NextFloat(1.0f) * angle * -5.0f;
      w[StripWords::Curl2] = Random.NextFloat(1.0f) * angle * -5.0f;
      f->Colour = pool ? Palette[3] : Palette[2];
      AddObject(f);
    }
  }
  AddObject(QuadCopies[1]);

  LastBeatTime = 0x100000;
  TrailIndex = LeafIndexA = LeafIndexB = 0;
  SetFade(this, 0.0f, 3000.0f, 0);
  ResetTips();
  CameraTimeOffset = ReseedTimeOffset(&Random, 0xFFFFF);
}

void PlantScene::Enter(sInt)
{
  RestartTime = 0.0f;
  InstallPatterns(SyncSource, 0, RenderMode != 0 ? PlantShowTable() : PlantShortTable());
  Variant = 6;
  const sU32 shown = RenderMode == 4 ? 0 : 1;
  for(sInt n = 0; n < PLANT_LEAVES; n++) LeavesA[n]->LayerMask = LeavesB[n]->LayerMask = shown;
  ResetTips();
  if(RenderMode != 4) Random.NextBelow(4);
  for(PlantTile &t : Tiles)
  {
    t.Disc->LayerMask = shown;
    for(sInt k = 0; k < PLANT_TILE_RINGS; k++) t.Inner[k]->LayerMask = t.Outer[k]->LayerMask = shown;
  }
  SetPalette();
  GroundPlane->Colour = Palette[1];
  for(PlantTile &t : Tiles) ColourTile(t);
  for(StripForm *f : LeavesA) f->Colour = Palette[2];
  RetextureMaterial(MaterialSet, 0, 0, Random.NextFloat(1.0f) >= 0.5f ? 4 : 3);
  FocusPos = sVec3(0.0f, 0.0f, 0.0f);
  Withering = 0;
  Growth = 1.0f;
  CameraTimeOffset = ReseedTimeOffset(&Random, 0x3FFFF);
}

/****************************************************************************/
/***   Events and Tick                                                    ***/
/****************************************************************************/

void PlantScene::OnEvent(sInt code)
{
  const SyncNow s = ReadSync(SyncSource);
  switch(code)
  {
  case 100: LastBeatTime = s.SyncClock; break;
  case 102:
    QuadTimes[QuadIndex] = s.SyncClock;
    QuadIndex ^= 1;
    break;
  case 103: RestartTime = sF32(s.SyncClock); break;
  case 104:
    Withering = 1;
    WitherStart = s.SyncClock;
    break;
  case 106:
  {
    FocusPos = TrailPoint(180);
    FocusDir = SceneUnit(FocusPos - TrailPoint(195));
    break;
  }
  case 107:
  case 108:
    if(Growth > 0.0f && s.ColourPreset >= 2)
    {
      BranchRequest = 1;
      if(code == 107) BranchFromBoth = 1;
    }
    break;
  default: break;
  }
}

void PlantScene::Tick(sInt)
{
  const SyncNow s = ReadSync(SyncSource);
  Growth = Withering ? SceneClamp(sF32(1.0 - (sF64(s.SyncClock) - sF64(WitherStart)) * 0.001), 0.0f, 1.0f) : 1.0f;
  for(sInt i = 0; i < 3; i++)
  {
    SteerTip(i);
    if(i == 2 && BranchRequest && Random.NextFloat(100.0f) < 80.0f)
    {
      sInt from = 1;
      if(BranchFromBoth && Random.NextFloat(100.0f) < 50.0f) from = 0;
      Tips[2] = Tips[from];
      BranchOffset = TipAngles[from];
      BranchPhase = Random.NextFloat(2.0f * sScenePi);
    }
    PointRecord &p = TrailForm->Points[TrailIndex];
    p.Pos = Tips[i];
    p.Size = Growth > 0.0f ? Random.NextFloat(0.2f) + 0.2f : 0.0f;
    TrailIndex = (TrailIndex + 1) % PLANT_TRAIL;

    if(Random.NextFloat(100.0f) < 25.0f)
    {
      const sBool poolB = Random.NextFloat(1.0f) >= 0.5f;
      const sInt n = poolB ? LeafIndexB : LeafIndexA;
      StripForm *leaf = poolB ? LeavesB[n] : LeavesA[n];
      const sVec3 up(0.0f, 1.0f, 0.0f);
      const sVec3 d = SceneUnit(Tips[i] - TipPrevious[i]);
      sVec3 side;
      side.Cross(up, d);
      side.Unit();
      sMat3x4 basis, turn;
      basis.i = d;
      basis.j = up;
      basis.k = side;
      turn.EulerXYZ(poolB ? LeafAnglesB[n] : LeafAnglesA[n], 0.0f, 0.0f);
      leaf->Matrix = sMat3x4::Mul(turn, basis);
      leaf->Matrix.l = Tips[i];
      leaf->Words.Words[StripWords::GrowthCounter] = 0.0f;
      if(poolB)
      {
        leaf->Colour = Random.NextFloat(100.0f) >= 5.0f ? Palette[3] : AccentColour;
        LeafIndexB = (LeafIndexB + 1) % PLANT_LEAVES;
      }
      else
        LeafIndexA = (LeafIndexA + 1) % PLANT_LEAVES;
    }
    TipPrevious[i] = Tips[i];
  }
  BranchRequest = BranchFromBoth = 0;

  for(sInt n = 0; n < PLANT_LEAVES; n++)
  {
    sF32 *a = LeavesA[n]->Words.Words, *b = LeavesB[n]->Words.Words;
    a[StripWords::GrowthCounter] += 0.35f;
    a[StripWords::GrowthLimit] = Growth * 700.0f;
    b[StripWords::GrowthCounter] += 0.15f;
    b[StripWords::GrowthLimit] = Growth * 220.0f;
  }
  // the trail shrinks from its old end as the plant withers
  const sF32 shown = Growth * sF32(PLANT_TRAIL);
  if(shown < sF32(PLANT_TRAIL))
    for(sInt step = 0; step < PLANT_TRAIL; step++)
      if(sF32(step) > shown) TrailForm->Points[(TrailIndex - step + PLANT_TRAIL) % PLANT_TRAIL].Size = 0.0f;
}

/****************************************************************************/
/***   Render                                                             ***/
/****************************************************************************/

void PlantScene::Render(sInt, sViewport *view)
{
  const SyncNow s = ReadSync(SyncSource);
  const sF64 K = sF64(s.SyncClock);

  // the strip material's waves all repeat after 20 pi of the strip time
  const sF32 stripTime = ClockPhase(K, 0.0002, TwentyPi);
  for(StripForm **pool : {LeavesA, LeavesB})
    for(sInt n = 0; n < PLANT_LEAVES; n++)
    {
      StripForm *f = pool[n];
      sMat3x4 rt = f->Matrix;
      rt.Transpose3();
      const sVec3 k = sMulDirMat3x4(view->Camera.k, rt);
      sF32 *w = f->Words.Words;
      w[StripWords::ViewDirection + 0] = k.x;
      w[StripWords::ViewDirection + 1] = k.y;
      w[StripWords::ViewDirection + 2] = k.z;
      w[StripWords::StripTime] = stripTime;
    }

  if(RenderMode != 0)
  {
    for(sInt n = 0; n < PLANT_RIPPLES; n++)
    {
      ArrayForm *f = RippleRings[n];
      const sF32 age = sF32(K - sF64(RippleTimes[n]));
      f->Range0[0] = 2.0f * sScenePi;
      f->Range0[1] = age * 0.0005f + 0.9f;
      f->Range0[2] = 0.0f;
      f->Range0[3] = age * 0.01f + 0.8f;
      f->Colour = sAddColorSaturate(sBlendColor(Palette[4], 0, SceneClamp(age * 0.00008f + 0.7f, 0.0f, 1.0f)),
                                    sBlendColor(0xFFFFFFFF, 0, SceneClamp(age * 0.0005f + 0.3f, 0.0f, 1.0f)));
    }
    // each spark is coloured from its own time, kept in its spare word (-1 from Init)
    for(sInt n = 0; n < PLANT_SPARKS; n++)
    {
      PointRecord &p = SparkForm->Points[n];
      const sF32 since = sF32(K - sF64(sInt(p.Spare)));
      p.Color = sAddColorSaturate(sBlendColor(0, Palette[4], SceneClamp((100000.0f - since) * 0.00001f, 0.0f, 1.0f)),
                                  sBlendColor(0xFFFFFFFF, 0, SceneClamp(since * 0.0005f + 0.5f, 0.0f, 1.0f))) |
                0xFF000000;
    }
  }
  // the rings' geometry lasts one frame: it is written again every frame it can be drawn
  for(ArrayForm *f : RippleRings) f->Build();

  const sVec3 v = view->Camera.l;
  for(PlantTile &t : Tiles)
  {
    t.Drawn = sVec3(PlantTileAxis(t.Home.x, v.x), PlantTileAxis(t.Home.y, v.y), PlantTileAxis(t.Home.z, v.z));
    UpdateTile(t, RestartTime);
  }

  const sF32 c = std::cos(SceneClamp(sF32((K - sF64(LastBeatTime)) * 0.003), 0.0f, sScenePi * 0.5f));
  static const sU32 QuadColours[2] = {0xFF202A30, 0xFFFFFFFF};
  for(sInt q = 0; q < 2; q++)
  {
    const sF32 m = q ? 1.0f : -1.0f;
    const sF32 a = SceneClamp(sF32((K - sF64(QuadTimes[q])) * 0.005), 0.0f, sScenePi);
    ArrayForm *f = PictureQuads[q];
    f->Colour = sBlendColor(sMultiplyColor(0x00FFFFFF, QuadColours[q]), QuadColours[q], (1.0f - std::cos(a)) * c * 0.5f);
    f->Matrix.l = QuadHome[q] + sVec3(m * (1.0f - c) * 30.0f, 0.0f, m * (1.0f - c) * 50.0f);
    QuadCopies[q]->Matrix = f->Matrix;
    QuadCopies[q]->Colour = f->Colour;
    QuadCopies[q]->LayerMask = f->LayerMask;
  }
}

/****************************************************************************/
/***   Camera                                                             ***/
/****************************************************************************/

void PlantScene::Camera(sInt variant, sViewport *view)
{
  const SyncNow s = ReadSync(SyncSource);
  const sF64 K = sF64(s.SyncClock);
  const sF64 t = K + sF64(CameraTimeOffset);
  sVec3 target, pos;
  sF32 zoom = 1.8f;
  switch(variant)
  {
  case 1:
  {
    sF64 x = 0.0, z = 0.0;
    for(sInt n = 0; n < PLANT_TRAIL; n++) x += TrailForm->Points[n].Pos.x, z += TrailForm->Points[n].Pos.z;
    const sF32 mx = sF32(x / sF64(PLANT_TRAIL)), mz = sF32(z / sF64(PLANT_TRAIL));
    const sVec3 &t30 = TrailPoint(30);
    target = sVec3(0.6f * mx + 0.4f * t30.x, 0.0f, 0.6f * mz + 0.4f * t30.z);
    pos = sVec3(mx, ClockSin(t, 0.00019) * 20.0f + 90.0f, mz);
    break;
  }
  case 2:
    target = FocusPos + FocusDir * 17.0f;
    pos = target + sVec3(ClockSin(t, 0.0003) * 20.0f, 30.0f, ClockCos(t, 0.0003) * 20.0f);
    zoom = 2.2f;
    break;
  case 3:
    target = FocusPos + FocusDir * 67.0f;
    pos = target + sVec3(-ClockSin(t, 0.00013) * 20.0f, 60.0f, -ClockCos(t, 0.00013) * 20.0f);
    break;
  case 4:
    target = TrailPoint(-2);
    pos = target + sVec3(-ClockSin(t, 0.0013) * 20.0f, ClockSin(t, 0.00021) * 20.0f + 30.0f, -ClockCos(t, 0.0013) * 20.0f);
    break;
  case 5:
  {
    const sF64 e = K - sF64(RestartTime);
    const sF32 a = SceneClamp(1.0f - ClockCos(e, 0.00012), 0.0f, 2.0f), b = SceneClamp(1.0f - ClockCos(e, 0.00015), 0.0f, 2.0f);
    const sF32 x0 = a * 60.0f - 130.0f;
    target = sVec3(x0 + (ClockSin(t, 0.0003) * 6.0f + 3.0f) * (2.0f - b), 0.0f, ClockSin(t, 0.0004) * 6.0f * (2.0f - b));
    pos = sVec3(x0 - 20.0f, a * 40.0f + 20.0f, 0.0f);
    FocusPos = sVec3(0.0f, 0.0f, 0.0f);
    break;
  }
  case 6:
    target = sVec3(-1000.0f, 0.0f, 0.0f);
    pos = sVec3(-500.0f, 0.0f, 0.0f);
    break;
  default:
  {
    // looking down at the trail point 501 steps back
    const sF32 s1 = ClockSin(t, 0.0003), s2 = ClockSin(t, 0.00019);
    const sF32 d = (s1 + s2) * 20.0f + 50.0f;
    sMat3x4 tilt, turn;
    tilt.EulerXYZ((s1 + s2) * 0.25f - 0.5f, 0.0f, 0.0f);
    turn.EulerXYZ(sScenePi * 0.5f, (ClockSin(t, 0.000213) + ClockSin(t, 0.000131)) * 1.5f, 0.0f);
    sMat3x4 m = sMat3x4::Mul(tilt, turn);
    m.l = TrailPoint(501) - m.k * d;
    view->Camera = m;
    view->ZoomY = 1.4f;
    view->ZoomX = 1.4f / SceneAspect(this);
    return;
  }
  }
  PlaceCamera(this, view, target, pos, zoom);
}

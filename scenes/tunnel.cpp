// The Tunnel scene: tables and songs, Init and Exit, the track, the tails, drawing and
// the cameras.
#include "scenes/tunnel.hpp"

#include "base/memory.hpp"
#include "graphics/shader.hpp"
#include "show/forms.hpp"
#include "show/model.hpp"

#include <cmath>
#include <string>

/****************************************************************************/
/***   Tables and songs                                                   ***/
/****************************************************************************/

SegmentKind SceneTables[TUNNEL_KINDS] = {
    {3, {0, 7, 13, -1}, 0, {}}, {3, {1, 8, 14, -1}, 0, {}}, {2, {2, 9, -1, -1}, 0, {}},
    {2, {3, 10, -1, -1}, 0, {}}, {2, {4, 6, -1, -1}, 0, {}}, {3, {5, 11, 12, -1}, 0, {}},
};

namespace
{
const TextureEntry TunnelTextureRows[] = {
    {u"tunnel/unpacked/tail.bmp", u"tunnel/packed/tail.png", 0x1001, 2},
    {u"tunnel/unpacked/round.pic", u"tunnel/packed/round.pic", 0x1001, 4},
    {u"tunnel/unpacked/glow.bmp", u"tunnel/packed/glow.png", 0x1001, 2},
    {u"tunnel/unpacked/particle.bmp", u"tunnel/packed/particle.png", 0x1001, 2},
    {u"tunnel/unpacked/Rote_design_lines_ramp_high.bmp", u"tunnel/packed/Rote_design_lines_ramp_high.png", 0x1001, 0},
    {u"tunnel/unpacked/Segment_00_Light_1.bmp", u"tunnel/packed/Segment_00_Light_1.png", 0x1001, 2},
    {u"tunnel/unpacked/Segment_00_Raillight_01.bmp", u"tunnel/packed/Segment_00_Raillight_01.png", 0x1001, 2},
    {u"tunnel/unpacked/Segment_00_Logo_Dance_like_hell_01.bmp", u"tunnel/packed/Segment_00_Logo_Dance_like_hell_01.png",
     0x1001, 2},
    {u"tunnel/unpacked/Segment_01_Light_all.bmp", u"tunnel/packed/Segment_01_Light_all.png", 0x1001, 2},
    {u"tunnel/unpacked/Segment_01_Raillight_01.bmp", u"tunnel/packed/Segment_01_Raillight_01.png", 0x1001, 2},
    {u"tunnel/unpacked/Segment_01_Logo_laser_01.png", u"tunnel/packed/Segment_01_Logo_laser_01.png", 0x1001, 2},
    {u"tunnel/unpacked/Segment_02_Light_all.bmp", u"tunnel/packed/Segment_02_Light_all.png", 0x1001, 2},
    {u"tunnel/unpacked/Segment_02_Raillight_01.bmp", u"tunnel/packed/Segment_02_Raillight_01.png", 0x1001, 2},
    {u"tunnel/unpacked/black.bmp", u"tunnel/packed/black.png", 0x1001, 2},
    {u"tunnel/unpacked/Segment_03_Light_all.bmp", u"tunnel/packed/Segment_03_Light_all.png", 0x1001, 2},
    {u"tunnel/unpacked/Segment_03_Raillight_01.bmp", u"tunnel/packed/Segment_03_Raillight_01.png", 0x1001, 2},
    {u"tunnel/unpacked/Segment_04_Light_all.bmp", u"tunnel/packed/Segment_04_Light_all.png", 0x1001, 2},
    {u"tunnel/unpacked/Segment_04_Raillight_01.bmp", u"tunnel/packed/Segment_04_Raillight_01.png", 0x1001, 2},
    {u"tunnel/unpacked/Kreuzung_01_Light_all.bmp", u"tunnel/packed/Kreuzung_01_Light_all.png", 0x1001, 2},
    {u"tunnel/unpacked/Kreuzung_Raillight.png", u"tunnel/packed/Kreuzung_Raillight.png", 0x1001, 2},
    {u"tunnel/unpacked/Kreuzung_Caution_Lightmap.png", u"tunnel/packed/Kreuzung_Caution_Lightmap.png", 0x1001, 2},
};
constexpr sInt TextureRowCount = sInt(sizeof(TunnelTextureRows) / sizeof(TunnelTextureRows[0]));

// 0 the tails, 1 the track dots, 2 the heads, 3 the wall lights
const MaterialEntry TunnelMaterialRows[] = {
    MaterialRow(5, 1, 1, 0x40102, 1, 0x11000011, 0, 0, 0, 0, 0, 0, 0),
    MaterialRow(9, 3, 3, 0x60105, 1, 0x11000010, 0, 0, 0, 1, 0, 0, 0),
    MaterialRow(9, 3, 1, 0x40102, 1, 0x11000010, 0, 0, 0, 2, 0, 0, 0),
    MaterialRow(9, 3, 0, 0x20102, 1, 0x11000010, 0, 0, 0, 3, 0, 0, 0),
};
constexpr sInt FirstImportRow = 4;

const sChar *const ModelFiles[TUNNEL_MODELS] = {
    u"Segment_00.dae",       u"Segment_01.dae",       u"Segment_02.dae",        u"Segment_03.dae",
    u"Segment_04.dae",       u"Kreuzung.dae",         u"Segment_04_Rad.dae",    u"Segment_00_Lines.dae",
    u"Segment_01_Lines.dae", u"Segment_02_Lines.dae", u"Segment_03_Lines.dae",  u"Kreuzung_lines.dae",
    u"Kreuzung_Caution_Logo.dae", u"Segment_00_Logo.dae", u"Segment_01_Logo.dae",
};
constexpr sInt WheelModel = 6, FirstLineModel = 7, FirstLogoModel = 12;

// light map, rail light, logo light of each kind (13 is black)
const sInt KindTextures[TUNNEL_KINDS][3] = {{5, 6, 7}, {8, 9, 13}, {11, 12, 13}, {14, 15, 13}, {16, 17, 13}, {18, 19, 20}};

const sU32 Palettes[6][4] = {
    {0x00A090CF, 0x00A090CF, 0x00100030, 0x00C0A0F0}, {0x00FF0000, 0x00FF0000, 0x00000000, 0x00C00000},
    {0x005040A0, 0x005040A0, 0x00000010, 0x005050FF}, {0x00AF3080, 0x00AF3080, 0x00300038, 0x00FF2040},
    {0x00CF4020, 0x00909090, 0x00202020, 0x00808080}, {0x00FFA600, 0x005050FF, 0x00080830, 0x003030FF},
};

// A missing segment model leaves its kind without a length; the flight needs one.
constexpr sF32 DefaultLength = 32.0f;
constexpr sF32 CrossForward = 48.85f, CrossSide = 45.85f;

// The songs, bar by bar: pattern 1 empty, 2 camera 1, 3 camera 2 twice, 4 camera 3,
// 5 camera 1 and a glow toggle, 6 camera 2 and a glow toggle.
const char SongABars[] = "111111112211311141112111311111113111211131413121311111115111111141111111311111112111111161413141"
                         "314131412111311141111111";
const char SongBBars[] = "311121112111311131112111211131113111111131112111314131213111111151111111411111113111111121111111"
                         "61413141314131412111311141111111";

std::vector<std::vector<PatternKey>> SongPatterns()
{
  return {{},
          {},
          {{0, 0, {49}}},
          {{0, 0, {50}}, {0, 1, {50}}},
          {{0, 0, {51}}},
          {{0, 0, {49, 108}}},
          {{0, 0, {50, 108}}}};
}

std::vector<sInt> SongBars(const char *bars)
{
  std::vector<sInt> b;
  for(const char *p = bars; *p; p++) b.push_back(*p - '0');
  return b;
}

sBool Within(sF32 x, sF32 lo, sF32 hi) { return x >= lo && x <= hi; }
}

SyncPatternTable TunnelSongA()
{
  static const PatternList<120, 120> song(SequenceKeys(SongPatterns(), SongBars(SongABars)));
  return song.Table();
}

SyncPatternTable TunnelSongB()
{
  static const PatternList<128, 128> song(SequenceKeys(SongPatterns(), SongBars(SongBBars)));
  return song.Table();
}

/****************************************************************************/
/***   Tails                                                              ***/
/****************************************************************************/

TunnelTail::TunnelTail()
{
  LastHead = sVec3(0, 0, 0);
  for(sVec3 &h : History) h = sVec3(0, 0, 0);
  for(sInt i = 0; i < TUNNEL_TAIL_RINGS; i++)
  {
    const sF32 t = sF32(i) / sF32(TUNNEL_TAIL_RINGS - 1);
    const sF32 wave = std::sin(6.0f * sScenePi * t);
    Rings[i] = SceneEuler(0.0f, wave * t * 0.5f, 0.0f);
    Rings[i].l = sVec3(0.3f * sF32(i), 0.0f, 5.0f * t * wave);
  }
}

void TunnelTail::Init(sF32 width, sInt lightSet, sInt band)
{
  Width = width;
  Band = band;
  LastHead = sVec3(0, 0, 0);
  for(sVec3 &h : History) h = sVec3(0, 0, 0);
  Form = sNEW ArrayForm(0);
  Form->Vertices = NewMeshVertices(TUNNEL_TAIL_SIDES * TUNNEL_TAIL_RINGS);
  for(sInt r = 0; r < TUNNEL_TAIL_RINGS; r++)
    for(sInt s = 0; s < TUNNEL_TAIL_SIDES; s++)
    {
      MeshVertex &v = Form->Vertices[r * TUNNEL_TAIL_SIDES + s];
      v.Color = 0xFFFFFFFF;
      v.U0 = v.U1 = sF32(s) / sF32(TUNNEL_TAIL_SIDES - 1);
      v.V0 = v.V1 = sF32(r) / sF32(TUNNEL_TAIL_RINGS - 1);
    }
  Form->Init(ArrayForm::GRID, 3, 1, TUNNEL_TAIL_SIDES, TUNNEL_TAIL_RINGS);
  Form->LightSetIndex = lightSet;
}

void TunnelTail::Update(const sVec3 &head, sInt K, sInt enterClock, sF32 level)
{
  const sInt N = TUNNEL_TAIL_RINGS;
  sVec3 dir = head - History[0];
  dir.Unit();
  const sVec3 newest = History[4];
  const sF32 dist = SceneLength(head - newest);
  sF32 s = Leftover;
  sInt laid = 0;
  while(s < dist)
  {
    const sVec3 p = newest + dir * s;
    const sVec3 target = laid == 0 ? newest : Rings[RingIndex].l;
    // mends each frame's first ring overwriting the last frame's newest, which spread the rings with the frame rate
    RingIndex = (RingIndex + N - 1) % N;
    Rings[RingIndex].LookAt(target, p);
    laid++;
    s += 0.6f;
  }
  Leftover = s - dist;
  for(sInt i = 0; i < 4; i++) History[i] = History[i + 1];
  History[4] = head;

  const sF32 fade = SceneClamp01(1.0f - sF32(K - enterClock) * 0.00015f);
  const sF32 sp = Leftover / 0.6f;
  const sF32 b = sF32(Band);
  const sF32 p1 = ClockAngle(sF64(K), 0.041), p2 = ClockAngle(sF64(K), 0.017), p3 = ClockAngle(sF64(K), 0.005);
  // the ring's outline, the same for every ring and every tail
  static const struct Outline
  {
    sF32 Cos[TUNNEL_TAIL_SIDES], Sin[TUNNEL_TAIL_SIDES];
    Outline()
    {
      for(sInt k = 0; k < TUNNEL_TAIL_SIDES; k++)
      {
        const sF32 a = 2.0f * sScenePi * sF32(k) / sF32(TUNNEL_TAIL_SIDES - 1);
        Cos[k] = std::cos(a);
        Sin[k] = std::sin(a);
      }
    }
  } outline;
  const sMat3x4 &first = Rings[RingIndex];
  const sVec3 blended = first.l + (Rings[(RingIndex + 1) % N].l - first.l) * sp;
  for(sInt i = 0; i < N; i++)
  {
    const sF32 u = (sF32(i) - sp) / sF32(N - 1);
    sF32 radius = 0.0f;
    if(i > 0)
      radius = ((std::sin(20.0f * (b + 1.0f) * u - p1) + std::sin((30.0f * b + 20.0f) * u - p2) +
                 std::sin((50.0f * b + 20.0f) * u + p3) + 5.0f) *
                    level * (0.1f * b + 0.5f) +
                0.2f) *
               Width * (1.0f - u);
    sMat3x4 m = i < 2 ? first : Rings[(RingIndex + i) % N];
    if(i < 2) m.l = blended;
    if(i == 0) m.l -= m.k * 0.3f;
    const sF32 along = SceneClamp01(u + fade);
    for(sInt k = 0; k < TUNNEL_TAIL_SIDES; k++)
    {
      MeshVertex &v = Form->Vertices[i * TUNNEL_TAIL_SIDES + k];
      v.Pos = m.l + (m.i * outline.Cos[k] + m.j * outline.Sin[k]) * radius;
      v.V0 = along;
    }
  }
  // the first ring's further words carry the newest ring's way and place
  for(sInt k = 0; k < TUNNEL_TAIL_SIDES; k++)
  {
    Form->Vertices[k].Normal = first.k;
    Form->Vertices[k].Tangent = first.l;
  }
  LastHead = blended;
  Form->Build();
}

/****************************************************************************/
/***   Construction, Init, Exit                                           ***/
/****************************************************************************/

TunnelScene::TunnelScene()
{
  Random.Seed(0);
  for(Model *&m : SegmentModels) m = nullptr;
  for(sInt k = 0; k < TUNNEL_KINDS; k++)
  {
    KindMaterials[k] = FirstImportRow + k;
    KindLength[k] = DefaultLength;
  }
  for(sInt &l : LineMaterials) l = -1;
  TrackDots = Heads = WallLights = nullptr;
  DotIndex = 0;
  for(sVec3 &h : HeadPositions) h = sVec3(0, 0, 0);
  HeadDistance = HeadSmooth = 4.0f;
  StrobeChanceA = StrobeChanceB = 100.0f;
  EnterCount = 0;
  GlowFlag = PulseFlag = 1;
  Speed = 40.0f;
  CamSegment = CamSide = 0;
  PrevTwoBar = -1.0f;
  FlightPoint = FlightDir = sVec3(0, 0, 0);
  CurrentSegment = NextBranch = 0;
  TrackStart = TrackBase = 0;
  PaletteIndex = PaletteBase = 0;
  TimeSeed = EnterClock = 0;
  const TrackSegment cleared{-1, 0.0f, 0.0f, -1, 0, 0, 0, 0, sVec3(0, 0, 0), sVec3(0, 0, 0), 0, 0, 0, 0};
  for(TrackSegment &s : Segments) s = cleared;
  for(TrackSegment &s : Branches) s = cleared;
  for(TextureEntry &t : Textures) t = TextureEntry{nullptr, nullptr, 0, 0};
  for(MaterialEntry &m : Materials) m = MaterialEnd();
}

TunnelScene::~TunnelScene() { Exit(); }

sInt TunnelScene::Now() const { return ReadSync(SyncSource).SyncClock; }

ShaderMaterial3 *TunnelScene::LitMaterial(sInt row) const
{
  if(!MaterialSet || row < 0 || row >= MaterialSet->MaterialCount || MaterialSet->MaterialTable[row].Kind != 5)
    return nullptr;
  return static_cast<ShaderMaterial3 *>(MaterialSet->Materials[row]);
}

void TunnelScene::Init(SyncMachine *syncSource, sInt initFlags, TMData *globalSet)
{
  SyncSource = syncSource;
  for(sInt i = 0; i < TextureRowCount; i++) Textures[i] = TunnelTextureRows[i];
  for(sInt i = 0; i < FirstImportRow; i++) Materials[i] = TunnelMaterialRows[i];

  for(sInt n = 0; n < TUNNEL_MODELS; n++)
  {
    Model *m = sNEW Model(this, Textures, Materials);
    pImportObject(m, ModelFiles[n], u"tunnel/unpacked/", 0, 1, -1);
    m->LightSetIndex = n >= FirstLogoModel ? 2 : n >= FirstLineModel ? 1 : 0;
    SegmentModels[n] = m;
  }
  // the line materials add the scrolling ramp over black; a model that brought no row
  // of its own has none to patch
  for(sInt n = 0; n < 5; n++)
  {
    Model *m = SegmentModels[FirstLineModel + n];
    LineMaterials[n] = m->EffectCount > 0 ? m->MaterialBase : -1;
    if(LineMaterials[n] < 0) continue;
    MaterialEntry &e = Materials[LineMaterials[n]];
    e.StateFlags = 0x11;
    e.BlendWord = 0x20102;
    e.TextureCount = 4;
    e.SamplerFlags[1] = e.SamplerFlags[2] = e.SamplerFlags[3] = e.SamplerFlags[0];
    e.TextureIndex[1] = 4;
    e.TextureIndex[2] = e.TextureIndex[3] = 13;
  }
  SegmentModels[WheelModel]->MaterialBase = SegmentModels[4]->MaterialBase;
  for(sInt k = 0; k < TUNNEL_KINDS; k++)
  {
    KindMaterials[k] = FirstImportRow + k;
    MaterialEntry &e = Materials[KindMaterials[k]];
    if(e.Kind != 5) continue;   // its model is missing: the row is not a light-map row
    e.TextureCount = 4;
    e.SamplerFlags[1] = e.SamplerFlags[2] = e.SamplerFlags[3] = e.SamplerFlags[0];
    for(sInt s = 0; s < 3; s++) e.TextureIndex[1 + s] = KindTextures[k][s];
  }

  TakeMaterialSet(this, globalSet, Textures, Materials, initFlags);

  LightSet *l0 = MaterialSet->LightSets[0];
  l0->Ambient = 0x00101010;
  SetLight(l0, 0, 0xFF231819, sVec3(1.0f, 0.8f, 0.5f), 4.0f);
  SetLight(l0, 1, 0xFF1C1C1C, sVec3(-1.0f, 1.0f, -3.0f), 4.0f);
  SetLight(l0, 2, 0xFF172122, sVec3(-1.0f, 0.4f, 1.0f), 4.0f);
  *MaterialSet->LightSets[1] = *l0;
  MaterialSet->LightSets[1]->Ambient = 0x00A6A2A0;
  *MaterialSet->LightSets[2] = *l0;
  MaterialSet->LightSets[2]->Ambient = 0x00FFFFFF;
  static const sU32 tailColours[4] = {0xFFCC1C1C, 0xFF888888, 0xFFFFA600, 0xFFAAAAAA};
  for(sInt n = 0; n < 4; n++)
  {
    LightSet *s = MaterialSet->LightSets[3 + n];
    *s = *l0;
    s->Ambient = 0;
    SetLight(s, 0, tailColours[n], sVec3(1, 0, 0), 4.0f);
    s->Colors[1] = s->Colors[2] = 0;
  }

  EnterCount = 0;   // mends a count of 1, whose first visit would take the even look, not the first one
  for(Model *m : SegmentModels) m->CreateForms(0);

  for(sInt g = 0; g < 3; g++)
  {
    Tails[g].Init(1.0f, 3 + g, g);
    Tails[3 + g].Init(0.4f, 6, g);
    Tails[6 + g].Init(0.2f, 6, g);
  }
  if(ShaderMaterial3 *m0 = LitMaterial(0))
  {
    m0->SpecularScale = 10.0f;
    m0->SpecularOffset = 10.0f;
  }

  Heads = sNEW PointForm(2);
  Heads->Init(9, 0);
  for(sInt g = 0; g < 3; g++)
    for(sInt j = 0; j < 3; j++)
    {
      PointRecord &p = Heads->Points[3 * g + j];
      p.Pos = sVec3(0, 0, 0);
      p.Size = 0.5f;
      p.Color = MaterialSet->LightSets[j == 0 ? 3 + g : 6]->Colors[0];
    }

  for(sInt k = 0; k < TUNNEL_KINDS; k++)
  {
    const Model *first = SegmentModels[SceneTables[k].Models[0]];
    // a model that did not load reaches nowhere: its kind keeps a length of its own
    KindLength[k] = first->BoundsMax.x > 0.0f ? first->BoundsMax.x : DefaultLength;
    PlaceKindLights(k, KindLength[k]);
  }

  WallLights = sNEW PointForm(3);
  WallLights->Init(TUNNEL_WALL_LIGHTS, 0);
  for(sInt i = 0; i < TUNNEL_WALL_LIGHTS; i++)
  {
    const sF32 a = Random.NextFloat(100.0f), b = Random.NextFloat(100.0f), c = Random.NextFloat(100.0f);
    PointRecord &p = WallLights->Points[i];
    p.Pos = sVec3(c - 50.0f, b - 50.0f, a - 50.0f);
    p.Size = 0.1f;
    p.Color = 0xFFFFFFFF;
  }
  WallLights->MaterialOption = 1;
  AddObject(WallLights);
  TrackDots = sNEW PointForm(1);
  TrackDots->Init(TUNNEL_DOTS, 0);
  for(sInt i = 0; i < TUNNEL_DOTS; i++)
  {
    TrackDots->Points[i].Pos = sVec3(0, 0, 0);
    TrackDots->Points[i].Size = 0.1f;
    TrackDots->Points[i].Color = 0xFFFFFFFF;
  }
  DotIndex = 0;

  BuildTrack();
  UpdateSegments();
  SetFade(this, 100.0f, 500.0f, 0x00171310);
  TimeSeed = ReseedTimeOffset(&Random, 0xFFFFF);
}

void TunnelScene::PlaceKindLights(sInt kind, sF32 length)
{
  SegmentKind &t = SceneTables[kind];
  const sInt count = sInt(16.0f * length);
  sVERIFY(count<1024);
  t.LightCount = count;
  for(sInt i = 0; i < count; i++)
  {
    const sF32 f = sF32(i) / sF32(count);
    const sF32 a = Random.NextFloat(2.0f * sScenePi), r = Random.NextFloat(30.0f) + 10.0f;
    const sF32 p = Random.NextFloat(100.0f), tt = Random.NextFloat(1.0f);
    WallLightRecord &w = t.Lights[i];
    w.Colour = p >= 10.0f ? sBlendColor(0xFF401816, 0xFF100000, tt) : sBlendColor(0xFF555050, 0xFF000020, tt);
    const sF32 s1 = Random.NextFloat(0.3f * r), s2 = Random.NextFloat(0.2f);
    w.Size = s1 + s2 + 0.1f * r;
    w.Pos = sVec3((f - 0.5f) * 2.0f * length, std::sin(a) * r, std::cos(a) * r);
    if(kind == TUNNEL_CROSSING && f > 0.5f) w.Pos = sMulDirMat3x4(w.Pos, SceneEuler(0.0f, 0.25f * sScenePi, 0.0f));
  }
}

void TunnelScene::Exit()
{
  sDELETE(Heads);
  sDELETE(TrackDots);
  for(TunnelTail &t : Tails) sDELETE(t.Form);
  // mends a leak: the models (and the forms they made, outside the object list) go too
  for(Model *&m : SegmentModels) sDELETE(m);
  WallLights = nullptr;   // the object list's
}

/****************************************************************************/
/***   Looks and events                                                   ***/
/****************************************************************************/

void TunnelScene::Enter(sInt)
{
  EnterCount++;
  if(WallLights) WallLights->LayerMask = 0;
  if(EnterCount & 1)
  {
    InstallPatterns(SyncSource, 0, TunnelSongA());
    SetFade(this, 100.0f, 500.0f, 0x00171310);
    Variant = 0;
    Speed = 40.0f;
    StrobeChanceA = StrobeChanceB = 100.0f;
  }
  else
  {
    InstallPatterns(SyncSource, 0, TunnelSongB());
    SetFade(this, 100.0f, 600.0f, 0);
    Variant = 1;
    Speed = 80.0f;
    StrobeChanceA = 10.0f;
    StrobeChanceB = 2.5f;
  }
  PulseFlag = GlowFlag = 1;
  PrevTwoBar = -1.0f;
  HeadDistance = HeadSmooth = 4.0f;
  const sInt K = Now();
  TrackStart = K;
  BuildTrack();
  UpdateSegments();
  EnterClock = K;
  TimeSeed = ReseedTimeOffset(&Random, 0xFFFFF);
}

void TunnelScene::OnEvent(sInt code)
{
  if(code == 107) PulseFlag ^= 1;
  else if(code == 108) GlowFlag ^= 1;
}

/****************************************************************************/
/***   The track                                                          ***/
/****************************************************************************/

void TunnelScene::AddDot(const sVec3 &at, sU32 colour, sF32 size)
{
  if(!TrackDots) return;
  PointRecord &p = TrackDots->Points[DotIndex];
  p.Pos = at;
  p.Color = colour;
  p.Size = size;
  DotIndex = (DotIndex + 1) % TUNNEL_DOTS;
}

void TunnelScene::AddSegment(TrackSegment &seg, sVec3 &position, sF32 &heading, sInt &time, sInt index)
{
  seg.Kind = Random.NextBelow(TUNNEL_KINDS);
  seg.Index = index;
  seg.HeadingIn = heading;
  seg.Logo = Random.NextBelow(2);
  seg.StrobeA = Random.NextFloat(100.0f) < StrobeChanceA;
  seg.StrobeB = Random.NextFloat(100.0f) < StrobeChanceB;
  seg.Palette = PaletteIndex;
  if(seg.Kind == 4) PaletteIndex = Random.NextBelow(2) + PaletteBase;

  const sMat3x4 R = SceneEuler(0.0f, heading, 0.0f);
  const sF32 L = KindLength[seg.Kind];
  const sVec3 d = R.i * L;
  if(seg.Kind != TUNNEL_CROSSING)
  {
    seg.HeadingOut = heading;
    seg.Crossing = 0;
    seg.Side = 0;
    seg.Flip = Random.NextBelow(2);
    position += d;
    seg.Centre = position;
    position += d;
  }
  else
  {
    seg.Crossing = 1;
    const sInt side = Random.NextBelow(2);
    seg.Flip = 1;
    seg.Side = side;
    const sF32 turn = 0.25f * sScenePi;
    const sF32 out = side ? heading - turn : heading + turn, branchHeading = side ? heading + turn : heading - turn;
    seg.HeadingOut = out;
    position += d;
    seg.Centre = position;
    const sVec3 e = seg.Centre + R.i * CrossForward;
    const sVec3 k = R.k * CrossSide;
    position = side ? e + k : e - k;
    sVec3 branch = side ? e - k : e + k;
    heading = out;
    time += sInt(L * Speed * 0.2f);

    // four straight segments down the branch
    sInt palette = PaletteIndex;
    const sMat3x4 B = SceneEuler(0.0f, branchHeading, 0.0f);
    for(sInt n = 0; n < 4; n++)
    {
      TrackSegment &b = Branches[NextBranch];
      NextBranch = (NextBranch + 1) % TUNNEL_BRANCHES;
      b.Kind = Random.NextBelow(5);
      b.Index = NextBranch;
      b.HeadingIn = b.HeadingOut = branchHeading;
      b.Palette = palette;
      if(b.Kind == 4) palette = Random.NextBelow(2) + PaletteBase;
      b.Logo = Random.NextBelow(2);
      b.Crossing = 0;
      b.Side = 0;
      b.Flip = Random.NextBelow(2);
      b.StrobeA = b.StrobeB = 0;
      const sF32 bl = KindLength[b.Kind];
      b.Centre = branch + B.i * bl;
      b.End = b.Centre;
      b.Time = 0;
      branch += B.i * (2.0f * bl);
    }
  }
  time = sInt(sF32(time) + L * Speed);
  seg.Time = time;
  seg.End = position;
  AddDot(seg.Centre, 0xFFFF0000, 0.5f);
  AddDot(seg.End, 0xFF0000FF, 0.5f);
}

void TunnelScene::BuildTrack()
{
  PaletteBase = (EnterCount & 1) ? 0 : 2;
  PaletteIndex = Random.NextBelow(2) + PaletteBase;
  CurrentSegment = 0;
  NextBranch = 0;
  for(TrackSegment &b : Branches) b.Index = -1;
  sVec3 position(0, 0, 0);
  sF32 heading = 0.0f;
  sInt time = 0;
  for(sInt i = 0; i < TUNNEL_RING; i++) AddSegment(Segments[i], position, heading, time, i);
  FlightPoint = Segments[5].Centre;
  TrackBase = Segments[5].Time;
}

void TunnelScene::UpdateSegments()
{
  // only the records of the live stretch may be the nearest: a track that crossed itself
  // can bring a record of long ago close to the flight, and following it would regenerate
  // the segments ahead
  const sInt at = Segments[CurrentSegment].Index;
  sInt best = CurrentSegment;
  sF32 bestDistance = 100000.0f;
  for(sInt i = 0; i < TUNNEL_RING; i++)
  {
    const TrackSegment &s = Segments[i];
    if(s.Kind < 0 || s.Index < at - 5 || s.Index > at + 10) continue;
    const sF32 d = SceneLength(s.Centre - FlightPoint);
    if(d < bestDistance)
    {
      bestDistance = d;
      best = i;
    }
  }
  CurrentSegment = best;
  const TrackSegment &cur = Segments[best];
  // The track goes on from where the current segment ends. For a straight segment that is
  // its centre plus its half length along its heading; a crossing ends at its side exit,
  // 48.85 ahead and 45.85 aside, so going on from half its length along the turned heading
  // would start the next segment inside the crossing.
  sVec3 position = cur.End;
  sF32 heading = cur.HeadingOut;
  sInt time = cur.Time;
  for(sInt n = 1; n <= 10; n++)
  {
    TrackSegment &s = Segments[(best + n) % TUNNEL_RING];
    const sInt expected = cur.Index + n;
    if(s.Index == expected && s.Kind >= 0)
    {
      position = s.End;
      heading = s.HeadingOut;
      time = s.Time;
    }
    else AddSegment(s, position, heading, time, expected);
  }
}

void TunnelScene::SampleTrack(sF32 offset)
{
  SplinePath &path = CameraPath;
  path.Count = 0;
  auto key = [&](const sVec3 &p, sInt time) {
    // the path holds 32 keys; a stretch of crossings asks for more, which are left out
    if(path.Count >= 32) return;
    SplineKey &k = path.Keys[path.Count++];
    k.x = p.x;
    k.y = p.y;
    k.z = p.z;
    k.Spare = 0;
    k.Time = time;
  };
  for(sInt n = 0; n < 11; n++)
  {
    const TrackSegment &prev = Segments[(CurrentSegment + 15 + n) % TUNNEL_RING];
    const TrackSegment &s = Segments[(CurrentSegment + 16 + n) % TUNNEL_RING];
    if(s.Crossing)
    {
      const sInt dt = s.Time - prev.Time;
      key((s.Centre * 1.5f + prev.End) * 0.4f, prev.Time + sInt(0.3f * sF32(dt)));
      key((s.Centre * 1.5f + s.End) * 0.4f, prev.Time + sInt(0.666f * sF32(dt)));
    }
    key(s.End, s.Time);
  }
  const sF32 t = sF32(Now() - TrackStart + TrackBase) + offset;
  path.Evaluate(t);
  FlightPoint = path.Position;
  path.Evaluate(t + 1000.0f);
  const sVec3 ahead = path.Position;
  FlightDir = ahead - FlightPoint;
  FlightDir.Unit();
  AddDot(ahead, 0xFF808080, 0.1f);
}

sInt TunnelScene::FillWallLights()
{
  if(!WallLights) return 0;
  PointRecord *points = WallLights->Points;
  sInt n = 0;
  for(const TrackSegment &s : Segments)
  {
    if(s.Kind < 0) continue;
    sMat3x4 M = SceneEuler(s.Crossing && s.Side == 1 ? sScenePi : 0.0f, s.HeadingIn, 0.0f);
    M.l = s.Centre;
    const SegmentKind &kind = SceneTables[s.Kind];
    for(sInt i = 0; i < kind.LightCount; i++)
    {
      // kinds up to 63 units long fit their own table but not 21 of them in the form:
      // the form holds what fits, the rest of the ring's lights are left out
      if(n >= TUNNEL_WALL_LIGHTS) return n;
      const WallLightRecord &w = kind.Lights[i];
      points[n].Pos = sMulPointMat3x4(w.Pos, M);
      points[n].Size = w.Size;
      points[n].Color = w.Colour;
      n++;
    }
  }
  for(sInt i = n; i < TUNNEL_WALL_LIGHTS; i++) points[i].Size = 0.0f;
  return n;
}

/****************************************************************************/
/***   Render, Camera, AfterRender                                        ***/
/****************************************************************************/

void TunnelScene::Render(sInt, sViewport *)
{
  const SyncNow s = ReadSync(SyncSource);
  const sF64 K = sF64(s.SyncClock);
  SampleTrack(1500.0f);
  const sInt kind = Segments[CurrentSegment].Kind;
  HeadDistance += (kind == 1 || kind == 4) ? -0.1f : 0.1f;
  HeadDistance = HeadDistance < 4.0f ? 4.0f : HeadDistance > 6.0f ? 6.0f : HeadDistance;
  HeadSmooth = (HeadSmooth - HeadDistance) * 0.95f + HeadDistance;

  auto S = [&](sF64 rate) { return ClockSin(K, rate); };
  auto A = [&](sF64 rate) { return ClockAngle(K, rate); };
  const sF32 angles[3][3] = {
      {S(0.00037) + S(0.00029) + A(0.00057), S(0.00027) + S(0.00031) + A(0.00073), S(0.00043) + S(0.00057) + A(0.00101)},
      {std::sin(S(0.00023) + A(0.00047)) + A(0.00087), std::sin(S(0.00045) + A(0.00053)) + A(0.00059),
       std::sin(S(0.00037) + A(0.00031)) + A(0.00117)},
      {std::sin(S(0.00011) + A(0.00021)) + A(0.00057), std::sin(S(0.00054) + A(0.00045)) + A(0.00063),
       std::sin(S(0.00066) + A(0.00059)) + A(0.00071)},
  };
  for(sInt g = 0; g < 3; g++)
  {
    const sMat3x4 r = SceneEuler(angles[g][0], angles[g][1], angles[g][2]);
    const sVec3 head = FlightPoint + r.i * HeadSmooth;
    HeadPositions[g] = head;
    const sF32 level = SyncSource ? SyncSource->GetRecordedLevel(g) : 0.0f;
    for(sInt n : {g, 3 + g, 6 + g}) Tails[n].Update(head, s.SyncClock, EnterClock, level);
  }
  FillWallLights();
}

void TunnelScene::Camera(sInt variant, sViewport *view)
{
  const SyncNow s = ReadSync(SyncSource);
  const sF64 t = (sF64(s.SyncClock) + sF64(TimeSeed)) * 0.0005;
  auto S = [&](sF64 rate) { return ClockSin(t, rate); };
  const sF32 p2 = s.TwoBarPhase;
  const sBool even = (EnterCount & 1) == 0;
  SampleTrack(0.0f);
  sF32 zoom = 1.6f;
  if(std::fabs(PrevTwoBar - p2) > 0.5f)
  {
    CamSegment = (CurrentSegment + 1) % TUNNEL_RING;
    CamSide = Random.NextBelow(2);
  }
  sMat3x4 &cam = view->Camera;
  switch(variant)
  {
  case 1:
  {
    SampleTrack(1400.0f);
    const TrackSegment &seg = Segments[CamSegment];
    const sMat3x4 R = SceneEuler(0.0f, seg.HeadingIn, 0.0f);
    const sVec3 c = seg.Centre;
    const sF32 pm = CamSide ? 1.0f : -1.0f;
    sVec3 eye = c;
    switch(seg.Kind)
    {
    case 0: eye = c - R.j * 2.0f + R.k * (pm * 20.0f * (1.0f - p2)) + R.i * (10.0f * (p2 - 0.5f)); break;
    case 1:
    {
      const sVec3 e = c + R.j * (2.0f * (p2 - 0.5f)) + R.i * (30.0f * (p2 - 0.7f));
      const sF32 w = (std::cos(sScenePi * SceneClamp01(0.03f * SceneLength(e - FlightPoint))) + 1.0f) * 0.5f;
      eye = e + R.k * (pm * 5.0f * w);
      break;
    }
    case 2:
    {
      const sF32 a = ClockSin(sF64(s.SyncClock), 0.00057) + ClockSin(sF64(s.SyncClock), 0.00035) + 0.5f;
      eye = c + R.j * (2.0f * a) - R.i * (20.0f * (p2 - 0.5f)) + R.k * (pm * 16.0f);
      zoom = 1.6f + 0.01f * SceneLength(eye - FlightPoint);
      break;
    }
    case 3: eye = c - R.j * (10.0f * (1.0f - p2)) + R.i * (10.0f * (p2 - 0.5f)) + R.k * (pm * 12.0f); break;
    case 4: eye = c + R.i * (30.0f * (p2 - 0.5f)) + R.k * (pm * 6.0f); break;
    default:
      eye = c + R.i * (30.0f * (p2 - 0.5f));
      zoom = 1.6f + 0.02f * SceneLength(eye - FlightPoint);
      break;
    }
    cam.LookAt(FlightPoint, eye);
    break;
  }
  case 2:
  {
    SampleTrack(even ? 1900.0f : 1100.0f);
    const sVec3 target = FlightPoint;
    SampleTrack((S(0.31) + S(0.27)) * 100.0f + 1800.0f);
    const sVec3 eye = FlightPoint;
    const sMat3x4 rot = SceneEuler(0.1f * (S(1.39) + S(1.51)), 0.1f * (S(1.37) + S(1.71)), 0.03f * (S(1.01) + S(1.33)));
    sMat3x4 look;
    look.LookAt(target, eye);
    cam = sMat3x4::Mul(rot, look);
    break;
  }
  case 3:
    cam = SceneEuler(0.1f * (S(0.39) + S(0.51)) - 0.5f * sScenePi, 0.1f * (S(0.71) + S(0.37)), 0.03f * (S(0.33) + S(0.41)));
    cam.l = FlightPoint - cam.k * 50.0f;
    break;
  default:
  {
    SampleTrack(1500.0f);
    const sVec3 target = FlightPoint + sVec3(S(1.72) + S(0.97), S(1.59) + S(0.87), S(0.91) + S(1.67)) * 2.0f;
    sMat3x4 look;
    if(even)
    {
      SampleTrack((S(0.33) + S(0.217)) * 400.0f - 300.0f);
      look.LookAt(target, FlightPoint);
      sF32 q = s.EightBarPhase + 0.5f;
      if(q >= 1.0f) q -= 1.0f;
      const sMat3x4 roll = SceneEuler(0.0f, 0.0f, ((1.0f - 0.5f * std::cos(sScenePi * q)) + 0.5f) * 2.0f * sScenePi);
      cam = sMat3x4::Mul(roll, look);
    }
    else
    {
      SampleTrack((S(0.5) + S(0.3)) * 500.0f + 100.0f);
      cam.LookAt(target, FlightPoint);
    }
    break;
  }
  }
  PrevTwoBar = p2;
  view->ZoomY = zoom;
  view->ZoomX = zoom / SceneAspect(this);
}

void TunnelScene::DrawSegment(const TrackSegment &seg, sViewport *view, sInt pass, const SyncNow &s, sF32 strobe)
{
  if(seg.Index < 0 || seg.Kind < 0) return;
  const sF64 K = sF64(s.SyncClock);
  const sBool odd = (EnterCount & 1) != 0;
  LightSet *lines = MaterialSet->LightSets[1];

  const sF32 pulse = PulseFlag == 0 ? s.TwoBarTriangle : seg.Flip == 0 ? 1.5f - s.BarPhase : s.BarPhase + 0.5f;
  for(sInt row : LineMaterials)
    if(ShaderMaterial3 *m = LitMaterial(row)) m->UvOffset[0] = pulse;

  const sU32 *c = Palettes[seg.Palette >= 0 && seg.Palette < 6 ? seg.Palette : 0];
  const sF32 p2 = s.TwoBarPhase, p4 = s.FourBarPhase, lv = s.PulseHalfBar;
  const sBool window = Within(p2, 0.46875f, 0.5f) || Within(p2, 0.53125f, 0.5625f);
  const sF32 fA = !seg.StrobeA ? 1.0f : window ? strobe : 0.0f;
  const sF32 fB = !seg.StrobeB ? 0.0f
                  : (window || Within(p4, 0.515625f, 0.53125f) || Within(p4, 0.9375f, 0.96875f)) ? strobe
                                                                                                 : 0.0f;

  const SegmentKind &kind = SceneTables[seg.Kind];
  for(sInt n = 0; n < kind.ModelCount; n++)
  {
    const sInt index = kind.Models[n];
    Model *model = SegmentModels[index];
    if(!model || !model->MeshForms) continue;
    const sBool logo = index >= FirstLogoModel;
    if(pass == 0 && logo && !(seg.Logo && fA > 0.0f)) continue;
    if(pass == 1 && !(odd && n == 1 && seg.Kind != 4)) continue;

    sF32 turn = seg.HeadingIn + (seg.Flip ? sScenePi : 0.0f);
    sF32 spin = 0.0f;
    if(index == WheelModel)
    {
      spin = ClockAngle(K, 0.0003) + (odd ? s.BarWave : 0.0f);
      if(!odd) turn = seg.HeadingIn;
    }
    sMat3x4 placed = SceneEuler(spin, turn, 0.0f);
    placed.l = seg.Centre;

    if(index <= TUNNEL_CROSSING)
      if(ShaderMaterial3 *m = LitMaterial(KindMaterials[seg.Kind]))
      {
        sU32 g = 0;
        if(GlowFlag)
          g = sBlendColor(0, sAddColorSaturate(c[1], 0x00101010),
                          SceneClamp01(0.2f * std::sin(0.01f * (seg.Centre.x + seg.Centre.y) + ClockAngle(K, 0.001)) + 0.1f));
        const sU32 c1 = sAddColorSaturate(sBlendColor(c[2], sAddColorSaturate(0x00EFEFEF, c[2]), SceneClamp01(fB + lv)), g);
        m->LayerColor[0] = sF32(c1);
        m->LayerColor[1] = sF32(c[1]);
        m->LayerColor[2] = sF32(seg.Logo && fA > 0.0f ? c[3] : 0u);
      }

    if(pass == 0)
    {
      lines->Ambient = c[0];
      model->Matrix = placed;
      model->ApplyMatrix();
      model->Render(view, 0);
      continue;
    }
    // the echo: the line strips drawn twelve times, growing
    sF32 scale = 0.65f;
    for(sInt copy = 0; copy < 12; copy++)
    {
      lines->Ambient = (copy == 0 || copy == 11) ? sBlendColor(c[0], 0x80808080, lv) : sBlendColor(c[0], 0, 0.9f);
      sMat3x4 m = placed;
      m.ScaleAxes(scale, scale, scale);
      model->Matrix = m;
      model->ApplyMatrix();
      model->Render(view, 0);
      scale *= 1.1f;
    }
  }
}

void TunnelScene::AfterRender(sViewport *view)
{
  if(RenderMode != 0)
  {
    // the frame's beat values and strobe level, the same for every segment
    const SyncNow s = ReadSync(SyncSource);
    const sF64 K = sF64(s.SyncClock);
    const sF32 strobe = SceneClamp01(ClockSin(K, 0.037) + ClockSin(K, 0.07) + ClockSin(K, 0.05) + 1.0f) * 0.75f;
    for(sInt pass = 0; pass < 2; pass++)
    {
      for(const TrackSegment &seg : Segments) DrawSegment(seg, view, pass, s, strobe);
      for(const TrackSegment &seg : Branches) DrawSegment(seg, view, pass, s, strobe);
    }
  }

  SampleTrack(1500.0f);
  UpdateSegments();
  LightSet *l0 = MaterialSet->LightSets[0];
  for(sInt n = 0; n < 3; n++)
  {
    const sF32 level = SyncSource ? SyncSource->GetRecordedLevel(n) : 0.0f;
    l0->Positions[n] = HeadPositions[n];
    l0->Colors[n] = sBlendColor(0, MaterialSet->LightSets[3 + n]->Colors[0], level * (0.1f * sF32(n) + 0.4f));
  }
  if(RenderMode == 4) return;

  SampleTrack(0.0f);
  for(sInt n = 3; n <= 6; n++) MaterialSet->LightSets[n]->Positions[0] = view->Camera.l;
  const sInt palette = Segments[CurrentSegment].Palette;
  MaterialSet->LightSets[3]->Colors[0] = palette == 5 ? 0xFF1010FF : Palettes[palette >= 0 && palette < 6 ? palette : 0][0];
  for(sInt g = 0; g < 3; g++)
    for(sInt n : {g, 3 + g, 6 + g})
      if(Tails[n].Form) RenderForm(view, Tails[n].Form, 0);
  Heads->Points[0].Color = MaterialSet->LightSets[3]->Colors[0];
  for(sInt g = 0; g < 3; g++)
    for(sInt j = 0; j < 3; j++) Heads->Points[3 * g + j].Pos = Tails[g].LastHead;
  RenderForm(view, Heads, 0);
}

// The LED1 scene: tables and lists, the strands, Init and Exit, Enter and the events,
// the cameras, the formations' animation and the trails' drawing.
#include "scenes/led1.hpp"

#include "graphics/shader.hpp"
#include "show/forms.hpp"
#include "show/procforms.hpp"

#include <cmath>

/****************************************************************************/
/***   Tables and lists                                                   ***/
/****************************************************************************/

namespace
{
const TextureEntry Led1TextureRows[] = {
    {u"led1/unpacked/white.bmp", u"led1/packed/white.png", 0x1001, 2},
    {u"led1/unpacked/cross.png", u"led1/packed/cross.png", 0x1001, 2},
    {u"led1/unpacked/grid.bmp", u"led1/packed/grid.png", 0x1001, 2},
    {u"led1/unpacked/round.pic", u"led1/packed/round.pic", 0x1001, 4},
    {u"led1/unpacked/ring.pic", u"led1/packed/ring.pic", 0x1001, 4},
    {u"led1/unpacked/quad.pic", u"led1/packed/quad.pic", 0x1001, 4},
    {u"led1/unpacked/tail.bmp", u"led1/packed/tail.png", 0x1001, 2},
    {u"led1/unpacked/glow.bmp", u"led1/packed/glow.png", 0x1001, 2},
    {u"led1/unpacked/spark.bmp", u"led1/packed/spark.png", 0x1001, 2},
    {nullptr, nullptr, 0, 0},
};

// 0 the panel and the line forms, 1 the room, 2..4 and 8, 11 point sprites, 5 the
// fountains, spark rows and dust, 6 the trails, 7 and 9 instanced boxes, 10 the bursts
const MaterialEntry Led1MaterialRows[] = {
    MaterialRow(5, 1, 3, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0),
    MaterialRow(5, 1, 3, 0, 1, 1, 0, 0, 0, 1, 0, 0, 0),
    MaterialRow(9, 3, 0, 0x20102, 1, 0x11000010, 0, 0, 0, 3, 0, 0, 0),
    MaterialRow(9, 3, 0, 0x20102, 1, 0x11000010, 0, 0, 0, 4, 0, 0, 0),
    MaterialRow(9, 3, 0, 0x60105, 1, 0x11000010, 0, 0, 0, 5, 0, 0, 0),
    MaterialRow(0, 1, 0, 0x60105, 1, 0x11000010, 0, 0, 0, 3, 0, 0, 0),
    MaterialRow(5, 1, 0, 0x40102, 1, 0x11000011, 0, 0, 0, 6, 0, 0, 0),
    MaterialRow(15, 1, 0x23, 0, 1, 0x11000011, 0, 0, 0, 0, 0, 0, 0),
    MaterialRow(9, 3, 0, 0x20102, 1, 0x11000010, 0, 0, 0, 7, 0, 0, 0),
    MaterialRow(15, 1, 0x23, 0, 1, 0x11000011, 0, 0, 0, 0, 0, 0, 0),
    MaterialRow(5, 1, 0, 0x20102, 1, 0x11000010, 0, 0, 0, 8, 0, 0, 0),
    MaterialRow(9, 3, 0, 0x60105, 1, 0x11000010, 0, 0, 0, 3, 0, 0, 0),
    MaterialEnd(),
};

// P0..P5: the keys of steps 0, 3, 8 and 12 (49 and 50 pick variants 0 and 1)
const std::vector<std::vector<PatternKey>> Led1Patterns = {
    {{0, 0, {49, 108}}, {0, 8, {108}}},
    {{0, 0, {108}}, {0, 3, {107}}, {0, 8, {108}}, {0, 12, {107}}},
    {{0, 0, {108}}, {0, 8, {108}}},
    {{0, 0, {50, 108}}, {0, 8, {108}}},
    {{0, 0, {106, 50, 108}}, {0, 8, {108}}},
    {{0, 0, {106, 49, 108}}, {0, 8, {108}}},
};
const PatternList<16, 16> CalmList(SequenceKeys(Led1Patterns, {0, 1, 2, 1, 3, 1, 2, 1, 0, 1, 2, 1, 3, 1, 2, 1}));
const PatternList<16, 16> SparkRowList(SequenceKeys(Led1Patterns, {0, 1, 2, 1, 4, 1, 2, 1, 0, 1, 2, 1, 4, 1, 2, 1}));
const PatternList<16, 16> RingList(SequenceKeys(Led1Patterns, {5, 1, 2, 1, 4, 1, 2, 1, 5, 1, 2, 1, 4, 1, 2, 1}));

constexpr sF64 TwoPi = 6.283185307179586;

sF32 Sin(sF64 x) { return sF32(std::sin(x)); }

// The camera turned by the angles, its eye at distance d behind it (before it for d < 0).
void Orbit(const Scene *scene, sViewport *view, sF32 x, sF32 y, sF32 z, sF32 d, sF32 zoom)
{
  view->Camera = SceneEuler(x, y, z);
  view->Camera.l = view->Camera.k * -d;
  view->ZoomY = zoom;
  view->ZoomX = zoom / SceneAspect(scene);
}

// The wandering point of formation 12 at the time s.
sVec3 Wobble(sF64 s)
{
  return sVec3((Sin(0.55 * s) + Sin(0.79 * s) + Sin(0.27 * s)) * 50.0f,
               (Sin(0.17 * s) + Sin(0.71 * s) + Sin(0.57 * s)) * 50.0f,
               (Sin(0.93 * s) + Sin(0.59 * s) + Sin(0.19 * s)) * 25.0f);
}

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

// A streak form its owner moves: the indices are written once, nothing is stepped, and
// it is alive from the start (a fresh particle form counts as dead until it emits).
ParticleForm *MakeStreaks(Scene *scene, sInt material, sInt count, sU32 colour)
{
  ParticleForm *f = sNEW ParticleForm(material);
  f->Init(ParticleForm::INDICES, count, 0);
  f->Age = 0;
  f->Colour = colour;
  for(sInt i = 0; i < count; i++) f->Particles[i].Colour = colour;
  scene->AddObject(f);
  return f;
}

InstanceForm *MakeBoxes(Scene *scene, sInt material, sInt count, sF32 size, sF32 edge)
{
  InstanceForm *f = sNEW InstanceForm(material);
  f->Init(count, size, edge);
  scene->AddObject(f);
  return f;
}

void SetLightColours(LightSet *l, sU32 ambient, sU32 c0, sU32 c1, sU32 c2)
{
  l->Ambient = ambient;
  l->Colors[0] = c0;
  l->Colors[1] = c1;
  l->Colors[2] = c2;
}

// The main set's lights of Init and of the room: three lights at 350 along their directions.
void MainLights(LightSet *l, sU32 ambient)
{
  l->Ambient = ambient;
  SetLight(l, 0, 0xC04040, sVec3(1.0f, 0.5f, 0.5f), 350.0f);
  SetLight(l, 1, 0x604020, sVec3(-1.0f, 1.0f, -2.0f), 350.0f);
  SetLight(l, 2, 0xC00000, sVec3(0.0f, -1.0f, 0.0f), 350.0f);
}

void SetShaderParameters(TMData *set, sInt material, sF32 scale, sF32 offset)
{
  if(material >= set->MaterialCount || set->GetKind(material) != 5) return;
  ShaderMaterial3 *m = static_cast<ShaderMaterial3 *>(set->Materials[material]);
  m->SpecularScale = scale;
  m->SpecularOffset = offset;
}
}

SyncPatternTable Led1List(sInt formation)
{
  if(formation == 6) return SparkRowList.Table();
  return formation >= 8 ? RingList.Table() : CalmList.Table();
}

/****************************************************************************/
/***   Strands                                                            ***/
/****************************************************************************/

void Led1Strand::Init(sF32 width, sInt lightSet)
{
  Width = width;
  Trail = sNEW ArrayForm(6);
  Trail->Vertices = NewMeshVertices(LED1_RINGFRAMES * LED1_RINGPOINTS);
  // colour and texture coordinates stay; Build moves the rings
  for(sInt j = 0; j < LED1_RINGFRAMES; j++)
    for(sInt k = 0; k < LED1_RINGPOINTS; k++)
    {
      MeshVertex &v = Trail->Vertices[j * LED1_RINGPOINTS + k];
      v.Color = 0xFFFFFFFF;
      v.U0 = v.U1 = sF32(k) / 23.0f;
      v.V0 = v.V1 = sF32(j) / 29.0f;
    }
  Trail->LightSetIndex = lightSet;
  for(sInt j = 0; j < LED1_RINGFRAMES; j++)
  {
    const sF32 f = sF32(j) / 29.0f, w = Sin(f * 3.0 * TwoPi);
    Rings[j] = SceneEuler(0.0f, w * f * 0.5f, 0.0f);
    Rings[j].l = sVec3(0.0f, 0.3f * sF32(j), 5.0f * w * f);
  }
  WriteIndex = 0;
  PreviousHead = sVec3(0, 0, 0);
  Walked = 0.0f;
  Fade = 1.0f;
  Trail->Init(ArrayForm::GRID, 2, 1, LED1_RINGPOINTS, LED1_RINGFRAMES);
}

void Led1Strand::Step(const sVec3 &head, sF32 fade)
{
  Fade = fade;
  sVec3 way = head - PreviousHead;
  const sF32 length = SceneLength(way);
  if(length > 0.0f)
  {
    way *= 1.0f / length;
    sVec3 at = PreviousHead;
    sF32 left = length;
    while(Walked + left >= 0.5f)
    {
      const sF32 step = 0.5f - Walked;
      at += way * step;
      left -= step;
      Walked = 0.0f;
      WriteIndex = (WriteIndex + LED1_RINGFRAMES - 1) % LED1_RINGFRAMES;
      Rings[WriteIndex].LookAt(at + way, at);
    }
    Walked += left;
    PreviousHead = head;
  }
  Build();
}

void Led1Strand::Build()
{
  // the ring's outline, the same for every ring of every strand
  static const struct Outline
  {
    sVec3 Out[LED1_RINGPOINTS];
    Outline()
    {
      for(sInt k = 0; k < LED1_RINGPOINTS; k++)
      {
        const sF32 a = sF32(k) * sF32(TwoPi) / 23.0f;
        Out[k] = sVec3(std::cos(a), std::sin(a), 0.0f);
      }
    }
  } outline;
  MeshVertex *v = Trail->Vertices;
  for(sInt j = 0; j < LED1_RINGFRAMES; j++)
  {
    const sMat3x4 &r = Rings[(WriteIndex + j) % LED1_RINGFRAMES];
    const sF32 radius = j < 2 ? 0.0f : Width * (1.0f - (sF32(j) - 2.0f * Walked) / 29.0f);
    for(sInt k = 0; k < LED1_RINGPOINTS; k++, v++)
    {
      const sVec3 &out = outline.Out[k];
      v->Pos = sMulPointMat3x4(out * radius, r);
      v->Normal = sMulDirMat3x4(out, r);
    }
  }
  Trail->Build();
}

void Led1Strand::Free() { sDELETE(Trail); }

/****************************************************************************/
/***   Construction, Init, Exit                                           ***/
/****************************************************************************/

Led1Scene::Led1Scene()
{
  for(sInt i = 0; i < LED1_POINTS; i++)
  {
    lightPhase[i] = sVec3(0, 0, 0);
    lightColour[i] = 0;
  }
  for(sVec3 &h : headPosition) h = sVec3(0, 0, 0);
  for(sVec3 &b : boxPosition) b = sVec3(0, 0, 0);
  for(sVec3 &b : smallBoxPosition) b = sVec3(0, 0, 0);
  for(sVec3 &a : anchors) a = sVec3(0, 0, 0);
  for(Led1Emitter &e : emitters)
  {
    for(sInt i = 0; i < LED1_EMITTED; i++)
    {
      e.Position[i] = e.Velocity[i] = sVec3(0, 0, 0);
      e.Size[i] = 0.0f;
    }
    e.Next = 0;
  }
  flashOffset = cycle3 = cycle8 = toggle = ring = previousRing = ringStart = 0;
  timeOffset = time = trailStart = 0;
  timeStep = 10;
  rng.Seed(0);
  ledPanel = nullptr;
  room = nullptr;
  glowPoints = bigLights = haze = bigGlow = nullptr;
  boxCloud = smallBoxCloud = boxField = nullptr;
  for(ParticleForm *&f : fountains) f = nullptr;
  for(ParticleForm *&f : sparkPair) f = nullptr;
  for(ParticleForm *&f : sparkBursts) f = nullptr;
  for(ParticleForm *&f : dust) f = nullptr;
  for(InstanceForm *&f : boxRings) f = nullptr;
  for(PointForm *&f : pointClouds) f = nullptr;
  for(PointForm *&f : twinClouds) f = nullptr;
  for(ArrayForm *&f : lineForms) f = nullptr;
}

Led1Scene::~Led1Scene() { Exit(); }

void Led1Scene::PlaceBox(sVec3 &at, sF32 inner)
{
  do
  {
    at.x = (rng.NextFloat(512.0f) - 256.0f) * 0.3f;
    at.y = (rng.NextFloat(512.0f) - 256.0f) * 0.3f;
  } while(at.x > -inner && at.x < inner && at.y > -inner && at.y < inner);
}

void Led1Scene::Init(SyncMachine *syncSource, sInt initFlags, TMData *globalSet)
{
  TakeMaterialSet(this, globalSet, Led1TextureRows, Led1MaterialRows, initFlags);
  SyncSource = syncSource;

  MainLights(MaterialSet->LightSets[0], 0x606060);
  static const sU32 strandColours[4] = {0xFFC00000, 0xFFC08000, 0xFFF05000, 0xFFAAAAAA};
  for(sInt n = 0; n < 4; n++)
  {
    LightSet *l = MaterialSet->LightSets[3 + n];
    SetLightColours(l, 0, strandColours[n], 0, 0);
    l->Directions[0] = sVec3(1, 0, 0);
  }

  // the panel: 200 x 200 LEDs whose normals lean in smooth waves
  {
    const sInt n = 200;
    ledPanel = sNEW ArrayForm(0);
    ledPanel->Vertices = NewMeshVertices(n * n);
    const sF32 p0 = rng.NextFloat(sF32(TwoPi)), p1 = rng.NextFloat(sF32(TwoPi)), p2 = rng.NextFloat(sF32(TwoPi));
    for(sInt i = 0; i < n; i++)
    {
      const sF32 u = sF32(i) / 199.0f;
      const sF32 ax = 0.4f + 0.3f * std::sin(u * 7.0f + p0), ay = 0.4f + 0.3f * std::sin(u * 5.0f + p1),
                 az = 0.3f * std::sin(u * 11.0f + p2);
      for(sInt j = 0; j < n; j++)
      {
        const sF32 v = sF32(j) / 199.0f;
        MeshVertex &m = ledPanel->Vertices[i * n + j];
        m.Pos = sVec3((u - 0.5f) * 1000.0f, (v - 0.5f) * 1000.0f, 0.0f);
        m.Color = 0xFFFFFFFF;
        m.U0 = m.U1 = v;
        m.V0 = m.V1 = u;
        m.Normal = sVec3(ax * std::sin(v * 9.0f + p1) + az * std::sin(v * 23.0f + p0),
                         ay * std::sin(v * 13.0f + p2) + az * std::sin(v * 17.0f + p1), 0.5f);
        m.Normal.Unit();
      }
    }
    ledPanel->Init(ArrayForm::GRID, 1, 1, n, n);
    AddObject(ledPanel);
  }

  glowPoints = MakePoints(this, 3, LED1_POINTS);
  glowPoints->LayerMask = ~0u;
  for(sInt i = 0; i < LED1_POINTS; i++)
  {
    const sBool hot = rng.NextFloat(100.0f) >= 90.0f;
    const sF32 w = rng.NextFloat(1.0f);
    lightColour[i] = hot ? sBlendColor(0xFF8F0000, 0xFFF08080, w) : sBlendColor(0xFF801010, 0xFF3F0000, w);
    sVec3 d(rng.NextFloat(2.0f) - 1.0f, rng.NextFloat(2.0f) - 1.0f, rng.NextFloat(2.0f) - 1.0f);
    d.Unit();
    PointRecord &p = glowPoints->Points[i];
    p.Color = lightColour[i];
    p.Pos = d * 350.0f;
    p.Size = (rng.NextFloat(1.0f) + 1.0f) * 30.0f;
    lightPhase[i] = sVec3(sF32(rng.NextBelow(4095)), sF32(rng.NextBelow(4095)), sF32(rng.NextBelow(4095)));
  }

  static const sU32 fountainColours[3] = {0xFF040C50, 0xFF1040F0, 0xFFFFFFFF};
  for(sInt k = 0; k < 3; k++)
  {
    ParticleForm *f = fountains[k] = MakeStreaks(this, 5, 100, fountainColours[k]);
    for(sInt i = 0; i < 100; i++)
    {
      Particle &p = f->Particles[i];
      p.Position = sVec3(2.0f * sF32(i), 0, 0);
      p.Velocity = sVec3(10.0f, 10.0f, 10.0f);
      const sF32 s = Sin(sF64(i) * TwoPi / 50.0);
      p.Life = k == 0 ? 60.0f : k == 1 ? 15.0f : (i < 50 && s <= 0.0f) ? 5.0f - 5.0f * s : 0.0f;
    }
  }

  room = sNEW CubeForm(1);
  room->UScale = room->VScale = 8.0f;
  room->Init(1, 200.0f, 200.0f, 200.0f);
  AddObject(room);
  SetShaderParameters(MaterialSet, 1, 4.0f, 3.2f);
  SetShaderParameters(MaterialSet, 6, 10.0f, 10.0f);

  static const sF32 widths[3] = {0.8f, 0.2f, 0.1f};
  for(sInt i = 0; i < LED1_HEADS; i++)
    for(sInt b = 0; b < 3; b++) strands[b][i].Init(widths[b], b == 0 ? i % 3 + 3 : 6);

  boxCloud = MakeBoxes(this, 7, LED1_BOXES, 4.5f, 0.5f);
  smallBoxCloud = MakeBoxes(this, 7, LED1_SMALLBOXES, 4.5f, 0.5f);
  boxCloud->LayerMask = smallBoxCloud->LayerMask = ~0u;
  smallBoxCloud->LightSetIndex = 1;
  for(sVec3 &b : boxPosition)
  {
    PlaceBox(b, 8.0f);
    b.z = rng.NextFloat(512.0f) - 256.0f;
  }
  for(sVec3 &b : smallBoxPosition)
  {
    PlaceBox(b, 16.0f);
    b.z = rng.NextFloat(512.0f) - 256.0f;
  }

  for(sInt r = 0; r < 2; r++)
  {
    sparkPair[r] = MakeStreaks(this, 5, 16, 0xFFFFFFFF);
    for(sInt j = 0; j < 16; j++)
    {
      Particle &p = sparkPair[r]->Particles[j];
      p.Position = sVec3(sF32(2 * j - 15) * 3.0f, r == 0 ? rng.NextFloat(20.0f) : sparkPair[0]->Particles[j].Position.y, 0);
      p.Life = 1.2f;
    }
  }
  bigLights = MakePoints(this, 8, 8);
  for(sInt i = 0; i < 8; i++)
  {
    PointRecord &p = bigLights->Points[i];
    p.Color = sBlendColor(0xFF600000, 0xFF101010, rng.NextFloat(1.0f));
    p.Pos = sVec3((rng.NextFloat(1.0f) - 0.5f) * 100.0f, 0.0f, 0.0f);
    p.Size = (rng.NextFloat(1.0f) + 0.1f) * 50.0f;
  }

  // the box field: a 64 x 32 floor of boxes; the rings: 64 boxes each on three circles
  boxField = MakeBoxes(this, 9, 2048, 4.0f, 0.5f);
  for(sInt i = 0; i < 2048; i++)
  {
    boxField->Instances[i].Identity();
    boxField->Instances[i].l = sVec3((sF32(i % 64) - 31.5f) * 8.0f, -40.0f, (sF32(i / 64) - 15.5f) * 8.0f);
  }
  static const sF32 ringRadius[3] = {60.0f, 90.0f, 120.0f};
  for(sInt k = 0; k < 3; k++)
  {
    boxRings[k] = MakeBoxes(this, 9, 64, 4.0f, 0.5f);
    boxRings[k]->LightSetIndex = 1;
    for(sInt i = 0; i < 64; i++)
    {
      const sF32 a = sF32(i) * sF32(TwoPi) / 64.0f;
      sMat3x4 &m = boxRings[k]->Instances[i];
      m = SceneEuler(0.0f, -a, 0.0f);
      m.l = sVec3(std::cos(a) * ringRadius[k], 0.0f, std::sin(a) * ringRadius[k]);
    }
  }

  static const sInt burstCounts[3] = {4096, 4096, 512};
  static const sU32 burstColours[3] = {0xAA00, 0x8800, 0xF0F0F0};
  for(sInt k = 0; k < 3; k++)
  {
    ParticleForm *f = sparkBursts[k] = MakeStreaks(this, 10, burstCounts[k], burstColours[k]);
    f->LightSetIndex = k;
    for(sInt i = 0; i < f->Count; i++)
    {
      Particle &p = f->Particles[i];
      p.Position = sVec3(rng.NextFloat(1024.0f) - 512.0f, rng.NextFloat(1024.0f) - 512.0f, rng.NextFloat(1024.0f) - 512.0f);
      p.Velocity = sVec3(6.0f, 0, 0);
      p.Life = k == 2 ? 1.5f : 0.8f;
    }
  }

  // the point clouds: rows 8, 9, 10 and 11. Rows 9 and 10 are the instanced boxes' and the
  // lit streaks' materials, which place a vertex where it is given (by the instance rows, or
  // as it stands) and never spread a point's four corners: clouds 1 and 2 draw no area.
  for(sInt k = 0; k < 4; k++) pointClouds[k] = MakePoints(this, k < 3 ? 8 + k : 11, 9 * LED1_ANCHORS);
  for(sVec3 &a : anchors)
    a = sVec3(rng.NextFloat(1000.0f) - 500.0f, rng.NextFloat(1000.0f) - 500.0f, rng.NextFloat(1000.0f) - 500.0f);

  for(sInt k = 0; k < 2; k++)
  {
    ParticleForm *f = dust[k] = sNEW ParticleForm(5);
    f->Init(ParticleForm::INDICES, 1000, 0);
    f->Colour = k ? 0xFF8080C0 : 0xFF404080;
    f->Spread = sVec3(240.0f, 240.0f, 240.0f);
    f->DirRandom = sVec3(1.0f, 1.0f, 1.0f);
    f->SpeedBase = 0.02f;
    f->SpeedRandom = 0.05f;
    f->DampBase = 1.0f;
    f->DampRandom = 0.0f;
    f->Gravity = f->Drift = sVec3(0, 0, 0);
    f->Fade = 0.0f;
    f->SizeBase = 0.15f + 0.1f * sF32(k);
    f->SizeRandom = 0.2f;
    f->WobbleBase = f->WobbleRandom = 0.0f;
    f->Random.Seed(rng.NextBelow(65536));
    AddObject(f);
  }
  haze = MakePoints(this, 11, 500);
  for(sInt i = 0; i < 500; i++)
  {
    haze->Points[i].Color = 0xFF00FF00;
    haze->Points[i].Size = 1.0f;
  }
  bigGlow = MakePoints(this, 8, 10);
  for(sInt i = 0; i < 10; i++) bigGlow->Points[i].Size = 3.0f;

  // the line forms: thin bands around spheres of radius 100 to 300
  for(sInt k = 0; k < 5; k++)
  {
    const sF32 r = 100.0f + 50.0f * sF32(k);
    const sF32 radii[4] = {r, r, r, 0.0f}, band[4] = {0.08f, sF32(TwoPi), 0.5f * 3.14159265f - 0.04f, 0.0f};
    lineForms[k] = sNEW ArrayForm(0);
    lineForms[k]->Init(ArrayForm::SPHERE, 1, 1, 10, 128, radii, nullptr, band);
    AddObject(lineForms[k]);
  }
  for(sInt k = 0; k < 6; k++) twinClouds[k] = MakePoints(this, 11, LED1_EMITTED);

  OptionIndex = 0;
  flashOffset = 0;
  SetFade(this, 300.0f, 1000.0f, 0);
  timeStep = 10;
  // the draw below 65536 can round up to 65536 itself: the mask keeps the offset in 0..65535
  timeOffset = time = ReseedScaledOffset(&rng, 0xFFFFF) & 0xFFFF;
}

void Led1Scene::Exit()
{
  for(auto &bank : strands)
    for(Led1Strand &s : bank) s.Free();
}

sInt Led1Scene::FormationForms(sInt f, Form **out) const
{
  sInt n = 0;
  auto add = [&](Form *form) {
    if(form) out[n++] = form;
  };
  switch(f)
  {
  case 0: add(glowPoints); break;
  case 1: for(ParticleForm *p : fountains) add(p); break;
  case 2: add(room); break;
  case 3: add(ledPanel); break;
  case 5: add(boxCloud), add(smallBoxCloud); break;
  case 6: add(sparkPair[0]), add(sparkPair[1]), add(bigLights); break;
  case 7:
    add(boxField);
    for(InstanceForm *r : boxRings) add(r);
    break;
  case 8: for(ParticleForm *p : sparkBursts) add(p); break;
  case 9: for(PointForm *p : pointClouds) add(p); break;
  case 10: add(dust[0]), add(dust[1]), add(haze), add(bigGlow); break;
  case 11: for(ArrayForm *a : lineForms) add(a); break;
  case 12: for(PointForm *p : twinClouds) add(p); break;
  default: break;
  }
  return n;
}

/****************************************************************************/
/***   Enter and events                                                   ***/
/****************************************************************************/

void Led1Scene::EnterLights(sInt f)
{
  LightSet *l0 = MaterialSet->LightSets[0], *l1 = MaterialSet->LightSets[1];
  switch(f)
  {
  case 2:
    MainLights(l0, 0x202020);
    SetShaderParameters(MaterialSet, 1, 4.0f, 3.2f);
    break;
  case 3:
    l0->Ambient = 0;
    SetShaderParameters(MaterialSet, 0, 4.0f, 3.0f);
    cycle3 = 0;
    break;
  case 5:
    SetLightColours(l0, 0x202020, 0x608060, 0x3040F0, 0x808080);
    SetLightColours(l1, 0x101020, 0x204020, 0x000030, 0x101010);
    break;
  case 7:
  {
    static const sVec3 at[3] = {sVec3(-150, 20, 150), sVec3(200, -30, 0), sVec3(-100, 50, -100)};
    for(LightSet *l : {l0, l1})
    {
      SetLightColours(l, 0, 0x381008, 0x401004, 0x202028);
      for(sInt i = 0; i < 3; i++) l->Positions[i] = at[i];
    }
    break;
  }
  case 8:
  {
    static const sU32 ambient[3] = {0xAA00, 0x8800, 0xF0F0F0};
    for(sInt k = 0; k < 3; k++) SetLightColours(MaterialSet->LightSets[k], ambient[k], 0, 0, 0);
    break;
  }
  case 11: SetShaderParameters(MaterialSet, 0, 20.0f, 18.5f); break;
  default: break;
  }
}

void Led1Scene::Enter(sInt)
{
  if(OptionIndex < 0 || OptionIndex >= LED1_FORMATIONS)
  {
    sDPrintF(u"Something went wrong... unknown FonrmationNr:%d\n", OptionIndex);
    OptionIndex = rng.NextBelow(LED1_FORMATIONS);
  }
  const sInt formation = OptionIndex;
  // the draw below 65536 can round up to 65536 itself: the mask keeps the offset in 0..65535
  timeOffset = time = ReseedScaledOffset(&rng, 0xFFFFF) & 0xFFFF;

  Form *forms[8];
  for(sInt f = 0; f < LED1_FORMATIONS; f++)
  {
    const sInt n = FormationForms(f, forms);
    for(sInt i = 0; i < n; i++) forms[i]->LayerMask = 0;
  }
  const sInt n = FormationForms(formation, forms);
  for(sInt i = 0; i < n; i++) forms[i]->LayerMask = ~0u;
  InstallPatterns(SyncSource, 0, Led1List(formation));
  EnterLights(formation);

  if(formation == 4) trailStart = 0;
  if(formation == 10)
    for(ParticleForm *d : dust) d->Emit();
}

void Led1Scene::Tick(sInt)
{
  time += timeStep;
  if(OptionIndex != 10) return;
  for(ParticleForm *d : dust)
  {
    d->Step();
    // the dust keeps drifting inside its box and never ages out
    d->Age %= 5000;
    for(sInt i = 0; i < d->Count; i++)
    {
      sVec3 &p = d->Particles[i].Position;
      for(sF32 *c : {&p.x, &p.y, &p.z})
        if(*c > 120.0f) *c -= 240.0f;
        else if(*c < -120.0f) *c += 240.0f;
    }
  }
}

void Led1Scene::OnEvent(sInt code)
{
  switch(code)
  {
  case 106:
    toggle ^= 1;
    previousRing = ring;
    ring = (ring + 1) % 8;
    ringStart = ReadSync(SyncSource).SyncClock;
    break;
  case 107:
    if(ReadSync(SyncSource).ColourPreset > 2) timeStep = -timeStep;
    break;
  case 108:
    flashOffset = rng.NextBelow(4);
    cycle3 = (cycle3 + 1) % 3;
    cycle8 = (cycle8 + 1) % 8;
    break;
  default: break;
  }
}

/****************************************************************************/
/***   Cameras                                                            ***/
/****************************************************************************/

void Led1Scene::Camera(sInt variant, sViewport *view)
{
  if(OptionIndex > 12) return;
  const SyncNow s = ReadSync(SyncSource);
  const sF64 T = sF64(s.SyncClock) + sF64(timeOffset);
  // angles that keep turning are taken modulo a turn; the rest are sines of long times
  const sF32 a = ClockAngle(T, 0.0001), b = ClockAngle(T, 0.0002);
  auto SA = [&](sF64 rate) { return ClockSin(T, 0.0001 * rate); };
  auto SB = [&](sF64 rate) { return ClockSin(T, 0.0002 * rate); };
  const sF32 E = s.EightBarPhase, F = s.FourBarPhase;
  const sVec3 origin(0, 0, 0);
  SetFade(this, 300.0f, 1000.0f, 0);
  OwnClearColour = 1;
  const sBool v1 = variant == 1;

  switch(OptionIndex)
  {
  case 0:
    if(v1) PlaceCamera(this, view, sVec3((E - 0.5f) * 30.0f, 8, -10), sVec3((E - 0.5f) * 30.0f, 6, 37), 10.0f);
    else PlaceCamera(this, view, sVec3((E - 0.5f) * 50.0f, 0, 0), sVec3((E - 0.5f) * 50.0f, 0, -300), 10.0f);
    break;
  case 1:
    if(v1) Orbit(this, view, 0.0f, a, std::sin(a), 1000.0f, 3.7f);
    else PlaceCamera(this, view, origin, sVec3(0, 0, -700), 1.7f);
    break;
  case 2:
    if(v1) Orbit(this, view, 0.0f, a, std::sin(a), 100.0f, 2.7f);
    else PlaceCamera(this, view, origin, sVec3(0, 0, -70), 1.3f);
    break;
  case 3:
    if(v1) Orbit(this, view, 0.0f, 0.0f, ClockAngle(T, 0.00015), (SA(5.1) + SA(3.7)) * 70.0f + 250.0f, 2.7f);
    else
    {
      const sF32 x = (SA(2.3) + SA(1.9)) * 100.0f, y = (SA(1.67) + SA(1.97)) * 100.0f;
      PlaceCamera(this, view, sVec3(x, y, 0), sVec3(x, y, (SA(1.3) + SA(1.1)) * 70.0f - 250.0f), 1.6f);
    }
    break;
  case 4: PlaceCamera(this, view, origin, sVec3(0, 0, -150), 30.0f); break;
  case 5:
  {
    LightSet *l0 = MaterialSet->LightSets[0], *l1 = MaterialSet->LightSets[1];
    static const sVec3 lights[2][3] = {{sVec3(300, 50, 300), sVec3(0, 0, 500), sVec3(0, -100, 200)},
                                       {sVec3(-300, 50, 300), sVec3(-500, 0, 0), sVec3(-200, 0, -100)}};
    if(v1) Orbit(this, view, 0.0f, 0.5f * sScenePi, 0.0f, 100.0f, 2.7f);
    else PlaceCamera(this, view, origin, sVec3(0, 0, 250.88f), 2.0f);
    for(sInt i = 0; i < 3; i++) l0->Positions[i] = l1->Positions[i] = lights[v1][i];
    RenderEnv.FogEnd = 460.8f;
    break;
  }
  case 6:
    if(v1)
    {
      Orbit(this, view, 0.1f * sF32(toggle), b, 0.0f, 70.0f, 2.0f);
      view->Camera.l.y += 15.0f * sF32(toggle);
    }
    else PlaceCamera(this, view, sVec3(0, 25.0f * sF32(toggle), 0), sVec3(0, 2.0f * sF32(toggle), -100), 3.0f);
    break;
  case 7:
    if(v1)
    {
      Orbit(this, view, -0.35f, a, (SA(1.27) + SA(1.71)) * 0.1f, -100.0f, 2.0f);
      view->Camera.l.y -= 70.0f;
    }
    else
    {
      const sVec3 target((SB(1.71) + SB(1.32)) * 32.0f + 128.0f * ClockSin(T + 1.5 / 0.0002, 0.0002),
                         (SB(1.27) + SB(1.13)) * 32.0f,
                         (SB(1.57) + SB(1.19)) * 32.0f + 128.0f * ClockCos(T + 1.5 / 0.0002, 0.0002));
      const sVec3 eye((SB(1.39) + SB(1.13)) * 21.12f + 134.4f * std::sin(b), (SB(1.01) + SB(1.52)) * 21.12f,
                      (SB(1.11) + SB(1.59)) * 21.12f + 134.4f * std::cos(b));
      PlaceCamera(this, view, target, eye, 3.0f);
    }
    SetFade(this, 50.0f, 350.0f, 0);
    break;
  case 8:
    PlaceCamera(this, view, origin, sVec3(0, 0, -100), 3.0f);
    RenderEnv.FogEnd = 500.0f;
    break;
  case 9:
    if(v1) PlaceCamera(this, view, sVec3((F - 0.5f) * -200.0f, 150, 0), sVec3((F - 0.5f) * 20.0f, -20, -480), 3.0f);
    else PlaceCamera(this, view, origin, sVec3(0, 0, -480), 2.0f);
    break;
  case 10:
    if(v1) Orbit(this, view, 0.0f, b, (SA(1.27) + SA(1.71)) * 0.1f, 80.0f, 5.0f);
    else PlaceCamera(this, view, origin, sVec3(0, 0, -100), 5.0f);
    break;
  case 11:
    if(v1) Orbit(this, view, ClockAngle(T, 0.00007), ClockAngle(T, 0.00008), ClockAngle(T, 0.00005), 80.0f, 1.0f);
    else PlaceCamera(this, view, origin, sVec3(0, 0, -350), 2.0f);
    OwnClearColour = 0;
    SetFade(this, 300.0f, 600.0f, 0x200000);
    break;
  case 12:
  {
    const sVec3 w = Wobble(T * 0.0007 - 0.6);
    PlaceCamera(this, view, w, sVec3(w.x, w.y, w.z - 70.0f), 2.0f);
    break;
  }
  default: break;
  }
}

/****************************************************************************/
/***   Render                                                             ***/
/****************************************************************************/

const sF32 *Led1Scene::Bands() const
{
  static const sF32 silence[SYNC_BANDS] = {};
  return SyncSource ? SyncSource->BandEnergy : silence;
}

void Led1Scene::Render(sInt variant, sViewport *view)
{
  const SyncNow s = ReadSync(SyncSource);
  const sF32 *band = Bands();
  const sF64 st = 0.0005 * sF64(time);
  LightSet *l0 = MaterialSet->LightSets[0], *l1 = MaterialSet->LightSets[1];
  switch(OptionIndex)
  {
  case 0: RenderGlowPoints(s); break;
  case 1: RenderFountains(s); break;
  case 2:
    room->Matrix = SceneEuler(sF32(std::fmod(0.43 * st, TwoPi)), sF32(std::fmod(0.57 * st, TwoPi)),
                         sF32(std::fmod(0.31 * st, TwoPi)));
    l0->Colors[2] = sBlendColor(0x800000, 0xFF0000, 0.1f * band[0]);
    l0->Colors[0] = sBlendColor(0xC04040, 0xFFFFFF, s.PulseHalfBar);
    break;
  case 3:
  {
    l0->Positions[0] = sVec3((Sin(0.93 * st) + Sin(0.7 * st)) * 200.0f, (Sin(0.61 * st) + Sin(0.73 * st)) * 200.0f, -10);
    l0->Positions[1] = sVec3((Sin(0.71 * st) + Sin(0.3 * st)) * 200.0f, (Sin(0.63 * st) + Sin(0.52 * st)) * 200.0f, -10);
    l0->Positions[2] = sVec3((Sin(0.57 * st) + Sin(0.5 * st)) * 200.0f, (Sin(0.81 * st) + Sin(0.97 * st)) * 200.0f, -10);
    // the fourth colour starts from the same red every frame, or a flash on it would add up to white
    SetLightColours(l0, 0, 0xC00000, sBlendColor(0, 0x403070, 0.1f * band[0]), 0xC00000);
    sU32 &c = l0->Colors[cycle3];
    c = sBlendColor(c, 0xFFFFFFFF, s.PulseHalfBar);
    break;
  }
  case 4: RenderTrails(s, view); break;
  case 5:
    l1->Colors[0] = sBlendColor(0x204020, 0x2040FF, 0.1f * band[0]);
    RenderBoxClouds(s);
    break;
  case 6: RenderSparkRows(); break;
  case 7:
  {
    l0->Colors[0] = sBlendColor(0x381008, 0x781008, 0.1f * band[0]);
    l0->Colors[1] = sBlendColor(0x401004, 0x801004, 0.1f * band[1]);
    l1->Colors[0] = sBlendColor(l0->Colors[0], 0xFFFFFFFF, s.PulseHalfBar);
    l1->Colors[1] = sBlendColor(l0->Colors[1], 0xFFFFFFFF, s.PulseHalfBar);
    static const sF32 sense[3] = {-1.0f, 1.0f, -1.0f};
    for(sInt k = 0; k < 3; k++)
      boxRings[k]->Matrix =
          SceneEuler(0.0f, ClockAngle(sF64(s.SyncClock), sF64(k + 1) * 0.00002) + sense[k] * s.ColourPulse[1] * 0.5f, 0.0f);
    break;
  }
  case 8: RenderSparkBursts(s); break;
  case 9: RenderPointClouds(s, view); break;
  case 10: RenderHaze(s); break;
  case 11:
  {
    const sF64 T = sF64(s.SyncClock) + sF64(timeOffset);
    auto R = [&](sF64 rate) { return ClockAngle(T, 0.0002 * rate); };
    auto Q = [&](sF64 rate) { return sF32(std::fmod(0.0002 * rate * sF64(time), TwoPi)); };
    lineForms[0]->Matrix = SceneEuler(R(1.31), R(1.55), R(1.27));
    lineForms[1]->Matrix = SceneEuler(Q(1.51), Q(1.71), Q(1.37));
    lineForms[2]->Matrix = SceneEuler(R(1.27), R(1.29), R(1.15));
    lineForms[3]->Matrix = SceneEuler(Q(1.37), Q(1.23), Q(1.19));
    lineForms[4]->Matrix = SceneEuler(R(1.17), R(1.11), R(1.25));
    SetLightColours(l0, 0xA00C08, 0x302020, sBlendColor(0, 0x403030, 0.1f * band[0]),
                    sBlendColor(0x10100D, 0xA0A080, s.PulseHalfBar));
    const sF32 m = 3.0f * sF32(variant) + 1.0f;
    l0->Positions[0] = sVec3(-150 * m, 20 * m, 150 * m);
    l0->Positions[1] = sVec3(200 * m, -300 * m, 0);
    l0->Positions[2] = sVec3(-100 * m, 50 * m, -100 * m);
    break;
  }
  case 12: RenderEmitters(s); break;
  default: break;
  }
}

void Led1Scene::RenderGlowPoints(const SyncNow &s)
{
  const sF64 t = sF64(time) * 0.00003;
  for(sInt i = 0; i < LED1_POINTS; i++)
  {
    const sVec3 &p = lightPhase[i];
    PointRecord &r = glowPoints->Points[i];
    r.Pos = sVec3((Sin(p.x + t) + Sin(p.y + 0.6 * t)) * 350.0f, (Sin(p.z + 0.6 * t) + Sin(p.y + t)) * 350.0f,
                  (Sin(p.x + 0.6 * t) + Sin(p.z + t)) * 350.0f);
    r.Color = (i + flashOffset) % 4 == 0 ? sBlendColor(lightColour[i], 0xFFFFFFFF, s.PulseHalfBar) : lightColour[i];
  }
}

void Led1Scene::RenderFountains(const SyncNow &s)
{
  const sF64 q = 0.0005 * sF64(time);
  sVec3 path[101];
  for(sInt i = 0; i <= 100; i++)
  {
    const sF64 n = sF64(i);
    path[i] = sVec3((Sin(1.7 * n + 0.3 * q) + Sin(2.6 * n + 0.7 * q)) * 150.0f + Sin(0.07 * n + 0.3 * q) * 450.0f,
                    (Sin(1.2 * n + 0.5 * q) + Sin(2.3 * n + 0.6 * q)) * 150.0f + Sin(0.13 * n + 0.3 * q) * 450.0f,
                    (Sin(2.7 * n + 0.4 * q) + Sin(2.3 * n + 0.7 * q)) * 150.0f + Sin(0.15 * n + 0.3 * q) * 300.0f);
  }
  const sF32 g = SceneClamp01(2.0f - s.ColourPresetSmooth);
  const sF32 bass = 60.0f * Bands()[0] * 0.1f + 10.0f;
  for(sInt k = 0; k < 3; k++)
    for(sInt j = 0; j < 100; j++)
    {
      Particle &p = fountains[k]->Particles[j];
      p.Position = (path[j] + path[j + 1]) * 0.5f;
      p.Velocity = (path[j + 1] - path[j]) * 0.5f;
      if(k == 0) p.Life = bass;
      else if(k == 2)
      {
        sF32 a = std::sin(sF32(j) * 0.12566371f), b = std::sin(sF32(j) * 0.25132743f);
        if(a > 0.0f) a = 1.0f;
        if(b > 0.0f) b = 1.0f;
        p.Life = j < 50 ? (5.0f - 5.0f * a) * g + 10.0f * s.PulseHalfBar * (1.0f - b) : 0.0f;
      }
    }
}

void Led1Scene::RenderTrails(const SyncNow &s, const sViewport *view)
{
  const sF64 c = 0.002 * sF64(s.SyncClock);
  const sF32 w = (Sin(TwoPi * s.EightBarPhase) + 1.0f) * 0.5f, A = 1.0f + 4.0f * w, B = 7.0f - 5.0f * w;
  for(sInt i = 0; i < LED1_HEADS; i++)
  {
    const sF64 n = sF64(i);
    headPosition[i] = sVec3((Sin(1.3 * n + 0.5 * c) + Sin(1.77 * n + 0.7 * c)) * A + Sin(0.13 * n + 0.23 * c) * B,
                            (Sin(1.13 * n + 0.5 * c) + Sin(1.5 * n + 0.73 * c)) * A + Sin(0.23 * n + 0.19 * c) * B,
                            (Sin(1.6 * n + 0.57 * c) + Sin(1.37 * n + 0.9 * c)) * A + Sin(0.33 * n + 0.15 * c) * B);
  }
  const sF32 fade = SceneClamp01(1.0f - sF32(s.SyncClock - trailStart) * 0.0005f);
  for(sInt i = 0; i < LED1_HEADS; i++)
    for(auto &bank : strands) bank[i].Step(headPosition[i], fade);
  for(sInt n = 3; n <= 27; n++) MaterialSet->LightSets[n]->Positions[0] = view->Camera.l;
  MaterialSet->LightSets[3]->Colors[0] = sBlendColor(0, 0xFFC00000, 0.1f * Bands()[0]);
  MaterialSet->LightSets[4]->Colors[0] = sBlendColor(0, 0xFFC08000, 0.9f * Bands()[4]);
}

void Led1Scene::RenderBoxClouds(const SyncNow &s)
{
  const sF64 u = 0.0003 * sF64(time);
  auto turn = [&](sF64 a) { return sF32(std::fmod(a, TwoPi)); };
  auto place = [&](sVec3 &at, sInt i, sF32 inner, sF32 scale, sMat3x4 &out) {
    at.z += 1.0f;
    if(at.z > 256.0f)
    {
      at.z = -256.0f;
      PlaceBox(at, inner);
    }
    const sF64 fi = sF64(i);
    out = SceneEuler(turn(1.13 * fi + 0.9 * u), turn(1.51 * fi + 0.7 * u), turn(1.37 * fi + 0.5 * u));
    out.i *= scale;
    out.j *= scale;
    out.k *= scale;
    out.l = at;
  };
  for(sInt i = 0; i < LED1_BOXES; i++) place(boxPosition[i], i, 8.0f, 1.0f, boxCloud->Instances[i]);
  for(sInt i = 0; i < LED1_SMALLBOXES; i++)
    place(smallBoxPosition[i], i, 16.0f, i % 4 == cycle3 ? 1.3f + s.PulseHalfBar : 1.3f, smallBoxCloud->Instances[i]);
}

void Led1Scene::RenderSparkRows()
{
  const sF32 *band = Bands();
  for(sInt i = 0; i < 8; i++)
  {
    const sF32 h = ((1.0f - std::cos(sF32(i) * 0.09817477f)) * 200.0f + 3.0f) * band[i];
    for(sInt r = 0; r < 2; r++)
      for(sInt j = 2 * i; j < 2 * i + 2; j++)
      {
        // the first row rises from the floor, the second is its reflection below it
        Particle &p = sparkPair[r]->Particles[j];
        const sF32 up = r == 0 ? 0.5f * h : -0.5f * h;
        p.Position.y = up;
        p.Velocity = sVec3(0.0f, up, 0.0f);
        p.Life = toggle ? 2.5f : 1.2f;
      }
  }
}

void Led1Scene::RenderSparkBursts(const SyncNow &s)
{
  static const sVec3 presets[8] = {sVec3(1, 0, 0),  sVec3(0, 1, 0),  sVec3(0, 0, -1), sVec3(0, -1, 0),
                                   sVec3(-1, 0, 0), sVec3(0, -1, 0), sVec3(0, 0, 1),  sVec3(0, 1, 0)};
  const sF32 f = SceneClamp01(sF32(s.SyncClock - ringStart) * 0.001f);
  sVec3 dir = presets[previousRing & 7] * (1.0f - f) + presets[ring & 7] * f;
  dir.Unit();
  MaterialSet->LightSets[0]->Ambient = sBlendColor(0, 0xAA00, 0.1f * Bands()[0]);
  const sF64 q = 0.0005 * sF64(time);
  const sVec3 shake = sVec3(Sin(73.0 * q), Sin(55.0 * q), Sin(37.0 * q)) * (s.PulseHalfBar * 5.0f);
  for(sInt k = 0; k < 3; k++)
  {
    const sVec3 step = dir * 2.0f + (k == 2 ? shake : sVec3(0, 0, 0));
    ParticleForm *b = sparkBursts[k];
    for(sInt i = 0; i < b->Count; i++)
    {
      Particle &p = b->Particles[i];
      p.Position += step;
      p.Velocity = step * 3.0f;
      for(sF32 *c : {&p.Position.x, &p.Position.y, &p.Position.z})
        if(*c > 512.0f) *c -= 1024.0f;
        else if(*c < -512.0f) *c += 1024.0f;
    }
  }
}

void Led1Scene::RenderPointClouds(const SyncNow &s, const sViewport *view)
{
  static const sF32 scale[4] = {2.0f, 1.0f, 0.7f, 0.4f};
  static const sU32 rowA[4] = {0xFF402C12, 0xFF000000, 0xFF501080, 0xFFFFFFFF};
  static const sU32 rowB[4] = {0xFF600C1F, 0xFF000000, 0xFF501080, 0xFFFFFFFF};
  const sF64 turn = std::fmod(sF64(time) * 0.0001, 1.0);
  const sInt every = s.ColourPreset >= 3 ? 8 : 4;
  for(sInt j = 0; j < LED1_ANCHORS; j++)
  {
    sVec3 &a = anchors[j];
    a.z -= 0.25f;
    if(a.z < -500.0f) a.z += 1000.0f;
    const sF32 mix = (Sin(TwoPi * j * 0.01) + 1.0f) * 0.5f;
    const sF32 near = SceneClamp01((a.z - view->Camera.l.z) * 0.1f) * 0.2f * Bands()[0];
    for(sInt k = 0; k < 4; k++)
    {
      sU32 colour = sBlendColor(rowA[k], rowB[k], mix);
      if(k == 0) colour = sBlendColor(colour & 0xFF000000, colour, near);
      for(sInt p = 0; p < 9; p++)
      {
        PointRecord &r = pointClouds[k]->Points[9 * j + p];
        r.Color = colour;
        if(p == 8)
        {
          r.Pos = a;
          r.Size = k == 3 ? 2.5f + sF32(j % every) * s.PulseHalfBar : 8.0f * scale[k];
        }
        else
        {
          const sF64 angle = TwoPi * (turn + 0.125 * p + 0.01 * j);
          r.Pos = a + sVec3(Sin(angle + 0.5 * 3.141592653589793) * 6.0f, Sin(angle) * 6.0f, 0.0f);
          r.Size = k == 3 ? 0.0f : 3.0f * scale[k];
        }
      }
    }
  }
}

void Led1Scene::RenderHaze(const SyncNow &s)
{
  const sF64 q = 0.0001 * sF64(time);
  for(sInt i = 0; i < 500; i++)
  {
    const sF64 n = sF64(i);
    PointRecord &p = haze->Points[i];
    p.Pos = sVec3((Sin(0.37 * n + 0.5 * q) + Sin(0.13 * n + 0.73 * q) + Sin(0.47 * n + 0.23 * q)) * 40.0f,
                  (Sin(0.57 * n + 0.19 * q) + Sin(0.11 * n + 0.52 * q) + Sin(0.32 * n + 0.73 * q)) * 40.0f,
                  (Sin(0.77 * n + 0.15 * q) + Sin(0.29 * n + 0.57 * q) + Sin(0.17 * n + 0.91 * q)) * 40.0f);
    p.Size = 1.3f;
  }
  const sU32 glow = sBlendColor(0xFF3030FF, 0xFF8080FF, s.PulseHalfBar);
  for(sInt i = 0; i < 10; i++)
  {
    const sF64 n = sF64(i);
    PointRecord &p = bigGlow->Points[i];
    p.Color = glow;
    p.Pos = sVec3((Sin(0.7 * n + 0.31 * q) + Sin(1.3 * n + 0.47 * q) + Sin(2.1 * n + 0.23 * q)) * 20.0f,
                  (Sin(0.9 * n + 0.37 * q) + Sin(1.7 * n + 0.29 * q) + Sin(2.3 * n + 0.41 * q)) * 20.0f,
                  (Sin(1.1 * n + 0.43 * q) + Sin(1.9 * n + 0.27 * q) + Sin(2.7 * n + 0.33 * q)) * 20.0f);
  }
}

void Led1Scene::RenderEmitters(const SyncNow &s)
{
  const sF64 T = (sF64(s.SyncClock) + sF64(timeOffset)) * 0.0007;
  const sVec3 centre = Wobble(T);
  static const sF32 turns[2][3] = {{1.52f, 1.91f, 1.77f}, {1.46f, 1.61f, 1.71f}};
  static const sF32 reach[2] = {30.0f, 40.0f};
  const sF32 speed[3] = {Bands()[0], Bands()[4], 5.0f * s.PulseHalfBar};
  // core and halo of each emitter: a hot core in a darker glow
  static const sU32 core[3] = {0xFFC02010, 0xE0C88828, 0xFFC02010};
  static const sU32 halo[3] = {0xFF300000, 0xE0380018, 0xC0000000};
  for(sInt e = 0; e < 3; e++)
  {
    sVec3 at = centre;
    if(e > 0)
    {
      const sF32 x = sF32(std::fmod(turns[e - 1][0] * T, TwoPi)), y = sF32(std::fmod(turns[e - 1][1] * T, TwoPi)),
                 z = sF32(std::fmod(turns[e - 1][2] * T, TwoPi));
      at += SceneEuler(x, y, z).k * reach[e - 1];
    }
    Led1Emitter &em = emitters[e];
    sVec3 d(rng.NextFloat(2.0f) - 1.0f, rng.NextFloat(2.0f) - 1.0f, rng.NextFloat(2.0f) - 1.0f);
    d.Unit();
    em.Position[em.Next] = at;
    em.Velocity[em.Next] = d * (0.2f + speed[e]);
    em.Size[em.Next] = 1.0f + rng.NextFloat(1.0f);
    em.Next = (em.Next + 1) % LED1_EMITTED;
    PointForm *a = twinClouds[2 * e], *b = twinClouds[2 * e + 1];
    for(sInt i = 0; i < LED1_EMITTED; i++)
    {
      em.Position[i] += em.Velocity[i];
      em.Velocity[i] *= 0.95f;
      a->Points[i].Pos = b->Points[i].Pos = em.Position[i];
      a->Points[i].Size = em.Size[i];
      a->Points[i].Color = core[e];
      b->Points[i].Size = 3.0f * em.Size[i];
      b->Points[i].Color = halo[e];
    }
  }
}

/****************************************************************************/
/***   AfterRender                                                        ***/
/****************************************************************************/

void Led1Scene::AfterRender(sViewport *view)
{
  if(OptionIndex != 4) return;
  for(auto &bank : strands)
    for(Led1Strand &s : bank)
      if(s.Trail) RenderForm(view, s.Trail, 0);
}

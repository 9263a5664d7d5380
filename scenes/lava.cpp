// The Lava scene: tables and lists, Init and Exit, Enter, events, cameras, the lamp's
// simulation and the two sprite passes with the lava shading.
#include "scenes/lava.hpp"

#include "graphics/shader.hpp"
#include "show/forms.hpp"
#include "show/media.hpp"
#include "show/procforms.hpp"
#include "show/scenehost.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

/****************************************************************************/
/***   Tables, looks and lists                                            ***/
/****************************************************************************/

namespace
{
const TextureEntry LavaTextureRows[] = {
    {u"lava/unpacked/glow2.bmp", u"lava/packed/glow2.png", 0x1001, 0},
    {u"lava/unpacked/white.bmp", u"lava/packed/white.png", 0x1001, 2},
    {u"lava/unpacked/rotation.bmp", u"lava/packed/rotation.png", 0x1001, 2},
    {nullptr, nullptr, 0, 0},
};
constexpr sInt RotationRow = 2;

// 0 the sprites
const MaterialEntry LavaMaterialRows[] = {
    MaterialRow(9, 3, 1, 0x40102, 1, 0x11000010, 0, 0, 0, 0, 0, 0, 0),
    MaterialEnd(),
};

struct LavaLook
{
  sU32 Cold, Hot, Ambient, Light0, Light1;
};
const LavaLook Looks[LAVA_LOOKS] = {
    {0xFF040650, 0xFF503008, 0x10, 0x6F4F4F, 0x4F4F5F},     {0xFF000004, 0xFF500806, 0x0, 0x5F5F5F, 0x6F2F2F},
    {0xFF024052, 0xFF000000, 0x10, 0x4F548F, 0x3F5048},     {0xFF040810, 0xFF000000, 0x10, 0x5F5F5F, 0x4F547F},
    {0xFF401802, 0xFF100000, 0x100200, 0x686880, 0x4F547F},
};

// The white pass's fade window; the coloured pass reads the scene's members.
constexpr sF32 WhiteFull = 40.0f, WhiteNear = 30.0f, WhiteFullEnd = 60.0f, WhiteFar = 70.0f;

// The bars of a list: '-' the empty bar, 'a'.. the patterns in order.
std::vector<sInt> Bars(const char *bars)
{
  std::vector<sInt> b;
  for(const char *c = bars; *c; c++) b.push_back(*c == '-' ? 0 : *c - 'a' + 1);
  return b;
}

std::vector<PatternKey> ShowKeys()
{
  const PatternKey pull4{0, 4, {106}}, pull12{0, 12, {106}};
  const std::vector<std::vector<PatternKey>> patterns = {
      {},
      {{0, 0, {'3'}}},                                  // a
      {pull4, pull12},                                  // b
      {{0, 0, {'2'}}},                                  // c
      {{0, 0, {104, '7'}}, pull4, pull12},              // d
      {pull4, {0, 8, {'4'}}},                           // e
      {{0, 0, {'5'}}, pull4, pull12},                   // f
      {{0, 0, {'6'}}, pull4, pull12},                   // g
      {{0, 0, {'7'}}, pull4, pull12},                   // h
      {{0, 0, {'1'}}},                                  // i
      {{0, 0, {104, '6'}}, pull4, pull12},              // j
      {{0, 0, {'4'}}},                                  // k
  };
  return SequenceKeys(patterns, Bars("abbbcbbbdbbefbbegbbehbbehbbefbbeibbbabcbjbhbfbhbfbgbfbhbgbfbhbfb"
                                     "abibcbibdbbefbbegbbehbbehbbefbbecbbbkbbb"));
}

std::vector<PatternKey> CalmKeys()
{
  const std::vector<std::vector<PatternKey>> patterns = {
      {}, {{0, 0, {'4'}}}, {{0, 0, {'2'}}}, {{0, 0, {'1'}}}, {{0, 0, {'3'}}},
  };
  return SequenceKeys(patterns, Bars("a-------b-------c-------d-------a-------d-------c-------b-------"
                                     "b-------c-------d-------a-------"));
}

// The fade of a sprite at distance d: full inside [full, fullEnd], falling to 0 over the
// ten units before near and after far.
sF32 Fade(sF32 d, sF32 full, sF32 fullEnd)
{
  if(d < full) return 1.0f - SceneClamp((full - d) / 10.0f, 0.0f, 1.0f);
  if(d > fullEnd) return 1.0f - SceneClamp((d - fullEnd) / 10.0f, 0.0f, 1.0f);
  return 1.0f;
}

// A direction turned by the camera's rotation, then half a turn about y.
sVec3 ToLavaSpace(const sVec3 &direction, const sMat3x4 &camera)
{
  const sVec3 r = sMulDirMat3x4(direction, camera);
  return sVec3(-r.x, r.y, -r.z);
}
}

SyncPatternTable LavaShowList()
{
  static const PatternList<104, 104> list(ShowKeys());
  return list.Table();
}

SyncPatternTable LavaCalmList()
{
  static const PatternList<96, 12> list(CalmKeys());
  return list.Table();
}

/****************************************************************************/
/***   Construction, Init, Exit                                           ***/
/****************************************************************************/

LavaScene::LavaScene()
{
  Random.Seed(0);
  for(LavaBlob &b : Blobs)
  {
    b.Position = b.Velocity = b.Impulse = sVec3(0, 0, 0);
    b.Radius = b.Spare = b.CameraDistance = 0.0f;
    b.NextInBucket = nullptr;
  }
  for(auto &list : Neighbours)
    for(LavaNeighbour &e : list) e = LavaNeighbour{0.0f, 0};
  BlobSprites = nullptr;
  for(LavaBlob *&b : DepthBuckets) b = nullptr;
  SortCursor = 0;
  CompositeMaterial = nullptr;
  ImpulseClock = -1.0;   // no pull yet: long before the song's start
  LavaTarget = nullptr;
  LavaMaterial = nullptr;
  QuadGeometry = nullptr;
  Look = 0;
  Hold = 0;
  FadeFull = 40.0f, FadeNear = 30.0f, FadeFullEnd = 60.0f, FadeFar = 70.0f;
  CameraMatrix.Identity();
  TimeOffset = 0;
}

LavaScene::~LavaScene() { Exit(); }

void LavaScene::Scatter(sF32 factor)
{
  for(LavaBlob &b : Blobs)
  {
    b.Velocity = sVec3(0, 0, 0);
    b.Spare = 0.0f;
    const sF32 r1 = Random.NextFloat(120.0f), r2 = Random.NextFloat(200.0f), r3 = Random.NextFloat(120.0f);
    b.Position = sVec3(r3 - 60.0f, r2 - 100.0f, r1 - 60.0f) * factor;
    b.Radius = Random.NextFloat(20.0f) + 20.0f;
  }
}

// Every list starts as the blob itself and the others in index order, then an exchange
// sort brings the nearest forward. Only the first LAVA_NEIGHBOURS entries are ever read
// again, and the sort's pass p settles entry p for good. With no two of the nearest
// distances equal (nor the last kept one equal to the first left out) those entries are
// simply the nearest in order of distance, found by a partial sort; where distances tie,
// the exchange sort's own passes decide the order among them, so they are run for that
// blob.
void LavaScene::BuildNeighbours()
{
  LavaNeighbour list[LAVA_BLOBS];
  sU16 order[LAVA_BLOBS];
  for(sInt i = 0; i < LAVA_BLOBS; i++)
  {
    const sVec3 at = Blobs[i].Position;
    sInt n = 0;
    list[n++] = LavaNeighbour{0.0f, sU16(i)};
    for(sInt j = 0; j < LAVA_BLOBS; j++)
      if(j != i) list[n++] = LavaNeighbour{SceneLength(Blobs[j].Position - at), sU16(j)};
    for(sInt k = 0; k < LAVA_BLOBS; k++) order[k] = sU16(k);
    // one past the kept entries, to see whether the last kept one ties with the next
    const auto nearer = [&](sU16 a, sU16 b) {
      return list[a].Distance < list[b].Distance || (list[a].Distance == list[b].Distance && a < b);
    };
    std::partial_sort(order, order + LAVA_NEIGHBOURS + 1, order + LAVA_BLOBS, nearer);
    sBool ties = 0;
    for(sInt k = 0; k < LAVA_NEIGHBOURS && !ties; k++) ties = !(list[order[k]].Distance < list[order[k + 1]].Distance);
    if(!ties)
    {
      for(sInt k = 0; k < LAVA_NEIGHBOURS; k++) Neighbours[i][k] = list[order[k]];
      continue;
    }
    for(sInt p = 0; p < LAVA_NEIGHBOURS; p++)
      for(sInt q = p + 1; q < LAVA_BLOBS; q++)
        if(list[q].Distance < list[p].Distance) std::swap(list[p], list[q]);
    for(sInt k = 0; k < LAVA_NEIGHBOURS; k++) Neighbours[i][k] = list[k];
  }
}

void LavaScene::Init(SyncMachine *syncSource, sInt initFlags, TMData *globalSet)
{
  TakeMaterialSet(this, globalSet, LavaTextureRows, LavaMaterialRows, initFlags);
  SyncSource = syncSource;

  LightSet *l0 = MaterialSet->LightSets[0];
  l0->Ambient = 0x10;
  SetLight(l0, 0, 0x6F4F4F, sVec3(1.0f, 0.5f, 0.5f), 1024.0f);
  SetLight(l0, 1, 0x4F4F5F, sVec3(-1.0f, 1.0f, -2.0f), 1024.0f);
  LightSet *l1 = MaterialSet->LightSets[1];
  *l1 = *l0;
  for(sInt i = 0; i < 2; i++) l1->Directions[i].z = -l1->Directions[i].z;

  Scatter(0.75f);
  BuildNeighbours();
  SortCursor = 0;
  Hold = 1;
  FadeFull = 40.0f, FadeNear = 30.0f, FadeFullEnd = 60.0f, FadeFar = 70.0f;
  CameraMatrix.Identity();

  BlobSprites = sNEW PointForm(0);
  BlobSprites->Init(LAVA_BLOBS, 0);
  BlobSprites->Words.DepthRange = 200.0f;
  BlobSprites->Words.Brightness = 1.0f;
  for(sInt k = 0; k < LAVA_BLOBS; k++)
  {
    PointRecord &p = BlobSprites->Points[k];
    p.Pos = Blobs[k].Position;
    p.Size = Blobs[k].Radius;
    p.Color = 0xFF503008;
  }
  AddObject(BlobSprites);

  LavaTarget = sNEW sTexture2D(DisplayWidth > 0 ? DisplayWidth : 1, DisplayHeight > 0 ? DisplayHeight : 1, 0x608, 0);
  LavaMaterial = sNEW ShaderMaterial14;
  LavaMaterial->Texture[0] = LavaTarget;
  LavaMaterial->Texture[1] = MaterialSet->Textures[RotationRow];
  LavaMaterial->S.TextureFlags[0] = 0x11000010;
  LavaMaterial->S.TextureFlags[1] = 0x11000011;
  LavaMaterial->S.BlendColor = 0x40102;
  LavaMaterial->TapOffset = 0.01f;
  LavaMaterial->SecondUvOption = 1;
  LavaMaterial->SpecularScale = 23.0f;
  LavaMaterial->SpecularOffset = 20.0f;
  // prepared for two uv pairs: with one the quad's second uv, which turns the second texture, is lost
  LavaMaterial->Prepare(sVertexFormatPosColUV2);
  // The lava quad carries both texture coordinates, so it is written here rather than
  // through DrawQuad, which knows one.
  QuadGeometry = sNEW sGeometry(sGF_QUADLIST, sVertexFormatPosColUV2);
  OverlayView->Prepare(15);

  CompositeMaterial = sNEW ShaderMaterial7;
  CompositeMaterial->Texture[0] = Machine ? Machine->Targets[0] : nullptr;
  CompositeMaterial->S.TextureFlags[0] = 0x11000010;
  CompositeMaterial->S.BlendColor = 0x20102;
  CompositeMaterial->Prepare(sVertexFormatPosNormUV);

  SetFade(this, 0.0f, 3000.0f, 0);
  TimeOffset = ReseedScaledOffset(&Random, 0xFFFF);
}

// The sprites go with the object list.
void LavaScene::Exit()
{
  sDELETE(CompositeMaterial);
  // mends a leak: the lava material, quad and target are the scene's own as well
  sDELETE(LavaMaterial);
  sDELETE(QuadGeometry);
  sDELETE(LavaTarget);
}

/****************************************************************************/
/***   Enter and events                                                   ***/
/****************************************************************************/

void LavaScene::Enter(sInt)
{
  SyncPatternTable list = LavaShowList();
  Variant = 3;
  Hold = 0;
  ImpulseClock = -1.0;   // mends a pull of the last visit flashing again when the new song passes its place
  Scatter(1.0f);
  LavaMaterial->SecondUvOption = 1;
  switch(RenderMode)
  {
  case 0:
    Look = Random.NextBelow(3);
    list = LavaCalmList();
    break;
  case 1: Look = 3; break;
  case 2:
    Look = 1;
    LavaMaterial->SecondUvOption = 0;
    break;
  case 3: Look = 4; break;
  default:
    Look = Random.NextBelow(3) + 2;
    if(Look == 2) Look = 1;
    break;
  }
  InstallPatterns(SyncSource, 0, list);
  LavaMaterial->Prepare(sVertexFormatPosColUV2);
}

void LavaScene::OnEvent(sInt code)
{
  switch(code)
  {
  case 104: Hold = Random.NextFloat(100.0f) < 50.0f ? 1 : 0; break;
  case 106:
  {
    if(RenderMode == 0 || Hold || Variant < 4 || Variant > 6) break;
    const sMat3x4 &cam = CameraMatrix;
    sVec3 centre = cam.l + cam.k * ((FadeFullEnd + FadeNear) * 0.5f);
    if(Variant == 4) centre += (cam.i - cam.j) * 25.0f;
    else if(Variant == 5) centre += cam.i * (130.0f * (ReadSync(SyncSource).FourBarPhase - 0.5f));
    else centre = sVec3(30.0f, 0.0f, 0.0f);
    for(LavaBlob &b : Blobs)
    {
      sVec3 away = b.Position - centre;
      const sF32 d = SceneLength(away);
      if(d >= 70.0f) continue;
      away.Unit();
      b.Impulse = away * -(1.0f - d / 70.0f);
    }
    ImpulseClock = SyncPosition(SyncSource);
    break;
  }
  case 107: Look = (Look + 1) % LAVA_LOOKS; break;
  case 108: Scatter(1.0f); break;
  default: break;
  }
}

/****************************************************************************/
/***   Camera                                                             ***/
/****************************************************************************/

void LavaScene::Camera(sInt variant, sViewport *view)
{
  const SyncNow s = ReadSync(SyncSource);
  const sF64 t = (sF64(s.SyncClock) + sF64(TimeOffset)) * 0.0005;
  auto S = [&](sF64 rate) { return ClockSin(t, rate); };
  sMat3x4 &cam = view->Camera;
  // a line from P towards Q: the camera slides along it, looking 100 units down the line
  auto alongLine = [&](sVec3 p, sVec3 q, sF32 at) {
    sVec3 d = q - p;
    d.Unit();
    cam.LookAt(p + d * 100.0f, p + d * at);
  };
  switch(variant)
  {
  case 1: alongLine(sVec3(-38.5f, -21.5f, -31.5f), sVec3(23.7f, 34.5f, -12.0f), 5.0f * (S(0.17) + S(0.11))); break;
  case 2:
    alongLine(sVec3(1.5f, 46.3f, -45.3f), sVec3(1.0f, -75.0f, 33.0f), (S(0.07) + S(0.13)) * 15.0f - 20.0f);
    break;
  case 3:
  case 5:
    cam.EulerXYZ((S(0.19) + S(0.11)) * 0.5f, ClockAngle(t, variant == 3 ? 0.1 : 0.3), (S(0.07) + S(0.17)) * 0.1f);
    cam.l = sVec3(5.0f * (S(0.13) + S(0.17)), 0.0f, 0.0f) - cam.k * (variant == 3 ? 110.0f : 50.0f);
    break;
  case 4:
  {
    const sF32 shift = (s.FourBarPhase - 0.5f) * 80.0f;
    alongLine(sVec3(-38.5f + shift, -21.5f, -31.5f), sVec3(23.7f + shift, 34.5f, -12.0f), 5.0f * (S(0.17) + S(0.11)));
    break;
  }
  case 6:
    cam.EulerXYZ((S(0.19) + S(0.13)) * 0.5f, -ClockAngle(t, 0.33), (S(0.17) + S(0.23)) * 0.1f);
    cam.l = sVec3((S(0.27) + S(0.23)) * 15.0f + 30.0f, (S(0.31) + S(0.39)) * 15.0f, (S(0.35) + S(0.27)) * 15.0f) -
            cam.k * 50.0f;
    break;
  default:
    cam.LookAt(sVec3((S(0.37) + S(0.13)) * 5.0f - 20.0f, (S(0.21) + S(0.27)) * 5.0f + 30.0f, (S(0.31) + S(0.19)) * 5.0f),
               sVec3((S(0.29) + S(0.11)) * 5.0f - 5.5f, (S(0.17) + S(0.27)) * 5.0f + 31.5f,
                     (S(0.07) + S(0.21)) * 5.0f - 55.5f));
    break;
  }
  view->ZoomY = 1.6f;
  view->ZoomX = 1.6f / SceneAspect(this);
  CameraMatrix = cam;
}

/****************************************************************************/
/***   The lamp                                                           ***/
/****************************************************************************/

void LavaScene::Simulate(const sVec3 &eye)
{
  // one bubble pass over the near part of every list, with fresh distances; entry 0, the
  // blob itself at distance 0, never moves
  for(sInt n = 0; n < LAVA_BLOBS; n++)
  {
    LavaNeighbour *list = Neighbours[SortCursor];
    const sVec3 at = Blobs[SortCursor].Position;
    for(sInt k = 0; k < LAVA_NEIGHBOURS - 1; k++)
    {
      LavaNeighbour &next = list[k + 1];
      next.Distance = SceneLength(Blobs[next.Blob].Position - at);
      if(next.Distance < list[k].Distance) std::swap(list[k], next);
    }
    SortCursor = (SortCursor + 1) % LAVA_BLOBS;
  }

  // overlapping neighbours are pushed away; the pass above left every stored distance
  // the current one
  for(sInt a = 0; a < LAVA_BLOBS; a++)
  {
    const LavaBlob &A = Blobs[a];
    for(sInt k = 1; k < LAVA_NEIGHBOURS; k++)
    {
      const LavaNeighbour &e = Neighbours[a][k];
      LavaBlob &B = Blobs[e.Blob];
      const sF32 s = A.Radius + B.Radius;
      if(!(e.Distance < s)) continue;
      sVec3 away = B.Position - A.Position;
      away.Unit();
      B.Velocity += away * ((1.0f - e.Distance / s) * 0.001f);
    }
  }

  for(LavaBlob &b : Blobs)
  {
    sVec3 &p = b.Position, &v = b.Velocity;
    p += v;
    p += b.Impulse;
    v.y -= 0.0001f;
    v *= 0.995f;
    b.Impulse *= 0.91f;
    // the glass: put back onto the cylinder, and drawn in and down near it
    const sF32 r = std::sqrt(p.x * p.x + p.z * p.z);
    sF32 x = p.x, z = p.z;
    if(r > 60.0f)
    {
      x = p.x / r, z = p.z / r;
      p.x = x * 60.0f, p.z = z * 60.0f;
      v.x = v.z = 0.0f;
    }
    if(r > 40.0f)
    {
      const sF32 w = (r - 40.0f) * 0.05f;
      v.x -= w * x * 0.00005f;
      v.z -= w * z * 0.00005f;
      v.y -= w * 0.001f;
    }
    // cooled at the top, lifted at the bottom, most on the axis
    if(p.y > 100.0f) p.y = 100.0f;
    if(p.y > 20.0f) v.y -= (p.y - 20.0f) * 0.0125f * 0.001f;
    if(p.y < -100.0f)
    {
      p.y = -100.0f;
      v.y = 0.0f;
    }
    if(p.y < -20.0f) v.y += (1.0f - r / 60.0f) * (-(p.y + 20.0f) * 0.0125f) * 0.01f;
  }

  for(LavaBlob *&head : DepthBuckets) head = nullptr;
  for(LavaBlob &b : Blobs)
  {
    b.CameraDistance = SceneLength(b.Position - eye);
    const sInt bucket = b.CameraDistance < sF32(LAVA_BUCKETS - 1) ? sInt(b.CameraDistance) : LAVA_BUCKETS - 1;
    b.NextInBucket = DepthBuckets[bucket];
    DepthBuckets[bucket] = &b;
  }
}

void LavaScene::FillSprites(sBool white)
{
  const LavaLook &look = Looks[Look];
  const sF32 near = white ? WhiteNear : FadeNear, far = white ? WhiteFar : FadeFar;
  const sF32 full = white ? WhiteFull : FadeFull, fullEnd = white ? WhiteFullEnd : FadeFullEnd;
  const sF32 e = Look == 0 ? 0.1f : 0.0f, q = Look == 0 ? 0.2f : 0.1f;
  PointRecord *points = BlobSprites->Points;
  sInt n = 0;
  for(LavaBlob *head : DepthBuckets)
    for(LavaBlob *b = head; b; b = b->NextInBucket)
    {
      const sF32 d = b->CameraDistance;
      if(!(d > near && d < far)) continue;
      const sF32 a = Fade(d, full, fullEnd);
      PointRecord &p = points[n++];
      if(white) p.Color = sBlendColor(0, 0xFFFFFFFF, a);
      else
      {
        const sF32 heat = SceneClamp((e + b->Velocity.y) / q, 0.0f, 1.0f);
        p.Color = sBlendColor(0, sBlendColor(look.Cold, look.Hot, heat), a * 0.5f);
      }
      p.Pos = b->Position;
      p.Size = b->Radius * 0.5f;
    }
  // unused sprites go black, which the blend leaves unseen
  for(; n < LAVA_BLOBS; n++) points[n].Color = 0;
  // the form's third word, the point material's brightness: the white pass lays a dim
  // field of whole blobs, whose overlaps the lava shading cuts into bodies
  BlobSprites->Words.Brightness = white ? 0.05f : 1.0f;
}

void LavaScene::Render(sInt, sViewport *view)
{
  Simulate(view->Camera.l);
  const LavaLook &look = Looks[Look];
  LightSet *l0 = MaterialSet->LightSets[0];
  l0->Ambient = look.Ambient;
  l0->Colors[0] = look.Light0;
  l0->Colors[1] = look.Light1;
  FillSprites(0);
}

/****************************************************************************/
/***   AfterRender: feedback, lava target, lava shading                   ***/
/****************************************************************************/

void LavaScene::AfterRender(sViewport *view)
{
  const SyncNow s = ReadSync(SyncSource);
  const LavaLook &look = Looks[Look];
  sTextureBase *screen = sGetScreenColorBuffer(DisplayIndex);
  auto prepareOverlay = [&] {
    OverlayView->SetTarget(nullptr);
    OverlayView->Window.x0 = OverlayView->Window.y0 = 0;
    OverlayView->Window.x1 = DisplayWidth;
    OverlayView->Window.y1 = DisplayHeight;
    OverlayView->Prepare(15);
  };
  const sF32 w = sF32(DisplayWidth), h = sF32(DisplayHeight);

  if(RenderMode == 4 && Machine && Machine->Targets[0])
  {
    CopyScreenToTexture(Machine->Targets[0], DisplayIndex);
    sSetTarget(sRenderTargetSpec(17, 0, nullptr, screen, sGetScreenDepthBuffer()));
    prepareOverlay();
    CompositeMaterial->Texture[0] = Machine->Targets[0];
    const sF32 passes[2][2] = {{100.0f, 2.0f}, {500.0f, 50.0f}};
    for(const auto &pass : passes)
    {
      CompositeMaterial->Gain = pass[0];
      CompositeMaterial->Offset = pass[1];
      CompositeMaterial->Color = look.Hot;
      CompositeMaterial->AlphaThreshold = 0.0f;
      BindShaderMaterial7(CompositeMaterial, OverlayView);
      DrawQuad(QuadGeometry0, 0, 0, w, h, 0xFFFFFFFF);
    }
  }

  // the blobs again, white and dim, into the lava target
  sSetTarget(sRenderTargetSpec(17, 0, nullptr, LavaTarget, sGetScreenDepthBuffer()));
  FillSprites(1);
  RenderForm(view, BlobSprites, 0);

  const sF32 pulse = s.PulseHalfBar;
  if(RenderMode == 0) LavaMaterial->HeightParams.Init(0.0f, 10000.0f, 10000.0f, 1.0f);
  else if(Hold) LavaMaterial->HeightParams.Init(pulse + 0.75f, 150.0f - 80.0f * pulse, 200.0f + 80.0f * pulse, 1.0f);
  else if(Variant < 4 || Variant > 6)
  {
    const sF32 s2 = s.FourBarTriangleB * 400.0f + 50.0f - 50.0f * pulse;
    LavaMaterial->HeightParams.Init(pulse + 1.0f, s2, s2 + 50.0f * pulse + 10.0f, 0.0f);
  }
  else
  {
    // the flash of the last pull fades over two beats of song position; a position
    // behind the pull (the song started over) means the pull is long past
    const sF64 since = SyncPosition(SyncSource) - ImpulseClock;
    const sF32 g = since < 0.0 ? 0.0f : 1.0f - SceneClamp(sF32(since * 16.0), 0.0f, 1.0f);
    const sF32 preset = SceneClamp(s.ColourPresetSmooth - 1.0f, 0.0f, 1.0f);
    const sF32 swing = s.FourBarPhase * 500.0f;
    LavaMaterial->HeightParams.Init(SceneClamp(8.0f * g, 0.0f, 1.75f) * preset, (swing + 300.0f) * g,
                                    (swing + 50.0f * preset + 300.0f) * g +
                                        (SceneClamp(8.0f * g - 7.0f, 0.0f, 1.0f) * 1000.0f + 5.0f) * preset,
                                    0.0f);
  }

  sSetTarget(sRenderTargetSpec(16, 0, nullptr, screen, sGetScreenDepthBuffer()));
  prepareOverlay();
  const LightSet *l0 = MaterialSet->LightSets[0];
  RenderEnv.Color = l0->Ambient;
  RenderEnv.LightColors[0] = RenderMode == 4 ? 0 : l0->Colors[0];
  RenderEnv.LightColors[1] = RenderMode == 4 ? 0 : l0->Colors[1];
  RenderEnv.LightColors[2] = l0->Colors[0];
  RenderEnv.LightVectors[0] = ToLavaSpace(l0->Directions[0], view->Camera);
  RenderEnv.LightVectors[1] = ToLavaSpace(l0->Directions[1], view->Camera);
  BindShaderMaterial14(LavaMaterial, OverlayView, &RenderEnv);

  // the second texture turns slowly about its centre and swings with the beat
  const sF32 a0 = ClockAngle(sF64(s.SyncClock), 0.00025) + s.FourBarTriangleB * 0.75f;
  static const sF32 corner[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  void *data = nullptr;
  QuadGeometry->BeginLoadVB(4, sGD_FRAME, &data);
  FormVertexPCUU *v = static_cast<FormVertexPCUU *>(data);
  for(sInt k = 0; k < 4; k++)
  {
    const sF32 a = a0 + sF32(k) * 0.5f * sScenePi;
    v[k] = {corner[k][0] * w, corner[k][1] * h, 1.0f, 0xFFFFFFFF, corner[k][0], corner[k][1],
            (std::sin(a) + 1.0f) * 0.5f, (std::cos(a) + 1.0f) * 0.5f};
  }
  QuadGeometry->EndLoadVB();
  QuadGeometry->Draw();
}

// The Transformer scene: tables, Init, LoadModel, Enter, OnEvent, Render, AfterRender
// and Exit. The part motion and the camera are in transformer_motion.cpp.
#include "scenes/transformer.hpp"

#include "base/log.hpp"
#include "graphics/shader.hpp"
#include "show/forms.hpp"
#include "show/model.hpp"
#include "show/procforms.hpp"
#include "show/scenehost.hpp"

#include <cmath>
#include <vector>

/****************************************************************************/
/***   Tables                                                             ***/
/****************************************************************************/

namespace
{
const TextureEntry TransformerTextures[] = {
    {u"transformer/unpacked/white.bmp", u"transformer/packed/white.png", 0x1001, 2},
    {u"transformer/unpacked/grey.bmp", u"transformer/packed/grey.png", 0x1001, 2},
    {u"transformer/unpacked/blue.bmp", u"transformer/packed/blue.png", 0x1001, 2},
    {u"transformer/unpacked/pink.bmp", u"transformer/packed/pink.png", 0x1001, 2},
    {u"transformer/unpacked/yellow.bmp", u"transformer/packed/yellow.png", 0x1001, 2},
    {u"transformer/unpacked/color1.bmp", u"transformer/packed/color1.png", 0x1001, 2},
    {u"transformer/unpacked/color2.bmp", u"transformer/packed/color2.png", 0x1001, 2},
    {u"transformer/unpacked/color3.bmp", u"transformer/packed/color3.png", 0x1001, 2},
    {u"transformer/unpacked/anthracite.bmp", u"transformer/packed/anthracite.png", 0x1001, 2},
    {u"transformer/unpacked/grid.pic", u"transformer/packed/grid.pic", 0x1001, 4},
    {u"transformer/unpacked/grid_disco.pic", u"transformer/packed/grid_disco.pic", 0x1001, 4},
    {u"transformer/unpacked/round.pic", u"transformer/packed/round.pic", 0x1001, 4},
    {u"transformer/unpacked/love.pic", u"transformer/packed/love.pic", 0x1001, 4},
    {u"transformer/unpacked/electric.pic", u"transformer/packed/electric.pic", 0x1001, 4},
    {u"transformer/unpacked/disco.pic", u"transformer/packed/disco.pic", 0x1001, 2},
    {u"transformer/unpacked/disco_tekkno.pic", u"transformer/packed/disco_tekkno.pic", 0x1001, 2},
    {u"transformer/unpacked/shadow.pic", u"transformer/packed/shadow.pic", 0x1401, 2},
    {u"transformer/unpacked/grid.pic", u"transformer/packed/grid.pic", 0x1001, 3},
    {u"transformer/unpacked/grid_disco_b.pic", u"transformer/packed/grid_disco_b.pic", 0x1001, 3},
    {u"transformer/unpacked/detail_bump.bmp", u"transformer/packed/detail_bump.png", 0x1001, 3},
    {u"transformer/unpacked/light_spot.bmp", u"transformer/packed/light_spot.png", 0x1001, 2},
    {u"transformer/unpacked/lightpoint.bmp", u"transformer/packed/lightpoint.png", 0x1001, 2},
    {u"transformer/unpacked/noise_01.bmp", u"transformer/packed/noise_01.png", 0x1001, 2},
    {nullptr, nullptr, 0, 0},
};

constexpr MaterialEntry Solid(sInt texture) { return MaterialRow(4, 1, 3, 0, 1, 0, 0, 0, 0, texture, 0, 0, 0); }

// 0 and 1 the floor's two looks, 2 and 3 the band's, 4 and 5 the back wall's, 6 the
// light mask, 7 the point cylinder, 8 the light sprites, 9 to 17 the parts' solid colours
const MaterialEntry TransformerMaterials[] = {
    MaterialRow(12, 3, 3, 0x60105, 4, 1, 1, 1, 0x11000010, 17, 19, 9, 16),
    MaterialRow(12, 3, 3, 0x60105, 4, 1, 1, 1, 0x11000010, 18, 19, 10, 16),
    MaterialRow(0, 1, 0, 0x60105, 1, 1, 0, 0, 0, 12, 0, 0, 0),
    MaterialRow(0, 1, 0, 0x60105, 1, 1, 0, 0, 0, 13, 0, 0, 0),
    MaterialRow(0, 1, 0, 0x20102, 1, 1, 0, 0, 0, 14, 0, 0, 0),
    MaterialRow(0, 1, 0, 0x20102, 1, 1, 0, 0, 0, 15, 0, 0, 0),
    MaterialRow(0, 1, 0, 0x60105, 1, 1, 0, 0, 0, 16, 0, 0, 0),
    MaterialRow(9, 3, 0, 0x60105, 1, 0x11000010, 0, 0, 0, 11, 0, 0, 0),
    MaterialRow(9, 3, 0, 0x20102, 1, 0x11000010, 0, 0, 0, 21, 0, 0, 0),
    Solid(0), Solid(1), Solid(2), Solid(3), Solid(4), Solid(5), Solid(6), Solid(7), Solid(8),
    MaterialEnd(),
};

const TransformerModelRow TransformerModelDefaults[TRANSFORMER_GROUPS] = {
    {u"transformer_objects.dae", 64, 2, sVec3(0.0f, 8.0f, 0.0f), {9, 10, 10, 12}, 1.5f, 3.5f},
    {u"transformer_02.dae", 40, 4, sVec3(45.0f, 8.0f, 0.0f), {10, 17, 17, 13}, 1.0f, 3.5f},
    {u"transformer_03.dae", 32, 8, sVec3(-45.0f, 8.0f, 0.0f), {9, 17, 10, 11}, 0.5f, 3.0f},
};

// (active group, group set to mode 3, group set to mode 0), stepped by event 108
const sInt TransformerSlotCycle[3][3] = {{1, 0, 2}, {0, 2, 1}, {2, 1, 0}};

// Bars From..To hold the keys at step 0, and the freeze key at step 12 when Dash is set.
struct BarRange
{
  sInt From = 0, To = 0;
  sInt Key0 = 0, Key1 = 0;
  sBool Dash = 0;
};

// The keys of a list of bar ranges.
std::vector<PatternKey> RangeKeys(const std::vector<BarRange> &ranges)
{
  std::vector<PatternKey> keys;
  for(const BarRange &r : ranges)
    for(sInt bar = r.From; bar <= r.To; bar++)
    {
      if(r.Key0) keys.push_back(PatternKey{bar, 0, {r.Key0, r.Key1}});
      if(r.Dash) keys.push_back(PatternKey{bar, 12, {'-'}});
    }
  return keys;
}

std::vector<BarRange> ShowRanges()
{
  std::vector<BarRange> r = {
      {0, 7, '7'},    {8, 9, '6'},    {10, 11, '0'},  {12, 12, 180},  {13, 13, '1'},  {14, 14, '2'},
      {15, 15, '3'},  {16, 23, '7'},  {24, 25, '6'},  {26, 26, '0'},  {27, 27, 180},  {28, 29, '1'},
      {30, 30, '2'},  {31, 31, '3'},  {32, 33, '2'},  {34, 34, '3'},  {35, 35, '1'},  {36, 37, '3'},
      {38, 39, 223},  {40, 47, '8'},  {48, 49, '6'},  {50, 51, '0'},  {52, 53, '1'},  {54, 54, '2'},
      {55, 55, '3'},  {56, 57, '2'},  {58, 58, '3'},  {59, 59, '1'},  {60, 61, '3'},  {62, 63, 180},
      {64, 71, '9'},  {72, 73, '6'},  {74, 75, '0'},  {76, 77, '1'},  {78, 78, '2'},  {79, 79, '3'},
      {80, 81, '2'},  {82, 82, '3'},  {83, 83, '1'},  {84, 85, '3'},  {86, 86, '1'},  {87, 87, '2'},
      {88, 88, 'u'},
  };
  const std::vector<BarRange> block = {
      {90, 91, '+'},       {92, 92, 252, 0, 1}, {93, 93, 0, 0, 1}, {94, 95, 'p'},        {96, 96, 'o', 0, 1},
      {97, 97, 0, 0, 1},   {98, 99, '+'},       {100, 100, 252, 0, 1}, {101, 101, 0, 0, 1}, {102, 103, 'p'},
      {104, 104, 'i', 0, 1}, {105, 105, 0, 0, 1}, {106, 107, '+'}, {108, 108, '0', 'k'},   {110, 110, 'u', 'l'},
  };
  for(const BarRange &b : block) r.push_back(b);
  for(const BarRange &b : block) r.push_back({b.From + 22, b.To + 22, b.Key0, b.Key1, b.Dash});
  for(const BarRange &b : block)
    if(b.To <= 109) r.push_back({b.From + 44, b.To + 44, b.Key0, b.Key1, b.Dash});
  r.push_back({154, 154, 'z', 'j'});
  return r;
}

const PatternList<156, 150> &ShowList()
{
  static const PatternList<156, 150> list(RangeKeys(ShowRanges()));
  return list;
}
const PatternList<80, 10> &ShortList()
{
  static const PatternList<80, 10> list(RangeKeys({{0, 0, '2'}, {8, 8, '1'}, {16, 16, '3'}, {24, 24, '4'},
                                                   {32, 32, '5'}, {40, 40, '1'}, {48, 48, '3'}, {56, 56, '4'},
                                                   {64, 64, '5'}, {72, 72, '2'}}));
  return list;
}

sInt PartLightSet(sInt material) { return material == 9 || material == 11 || material == 12 || material == 13 ? 0 : 2; }

// Whether step 12 of the bar carries the freeze key.
sBool HasFreezeKey(SyncPatternTable table, sInt bar)
{
  if(bar < 0 || bar >= PatternBars(table)) return 0;
  for(sU32 code : table[bar]->Keys[12])
    if(code == '-') return 1;
  return 0;
}
}

SyncPatternTable TransformerShowTable() { return ShowList().Table(); }
SyncPatternTable TransformerShortTable() { return ShortList().Table(); }

sBool TransformerScene::FreezeEndsAt(SyncPatternTable table, sInt bar)
{
  return HasFreezeKey(table, bar - 1) && HasFreezeKey(table, bar - 2);
}

/****************************************************************************/
/***   Construction, Init, LoadModel                                      ***/
/****************************************************************************/

TransformerScene::TransformerScene()
{
  for(TransformerSlot &s : Slots)
  {
    s.Mode = 0;
    s.Position = s.LeadPosition = sVec3(0.0f, 0.0f, 0.0f);
    s.BarPhaseLatch = 0.0f;
    s.PartCount = 0;
    s.Source = nullptr;
    for(TransformerPart &p : s.Parts)
    {
      p.AngleA = p.AngleB = p.AngleC = p.Radius = p.Phase1 = p.Phase2 = 0.0f;
      p.Form = nullptr;
      p.MaxCorner = sVec3(0.0f, 0.0f, 0.0f);
    }
  }
  for(sInt i = 0; i < TRANSFORMER_GROUPS; i++) TransformerModels[i] = TransformerModelDefaults[i];
  ActiveSlot = SlotCycle = 0;
  CycleActive = 1, CycleToMode3 = 0, CycleToMode0 = 2;
  Floor = BackWall = Band = nullptr;
  PointCylinder = LightPoints = nullptr;
  GlowTarget = nullptr;
  PassQuad = nullptr;
  PassPlain = nullptr;
  PassOverlay = nullptr;
  PassPulse = nullptr;
  PassView = nullptr;
  TimeOffset = EnterClock = 0;
  LastBar = -10;
}

void TransformerScene::Init(SyncMachine *syncSource, sInt initFlags, TMData *globalSet)
{
  TakeMaterialSet(this, globalSet, TransformerTextures, TransformerMaterials, initFlags);
  SyncSource = syncSource;

  LightSet **sets = MaterialSet->LightSets;
  LightSet *main = sets[0];
  main->Ambient = 0x00A0A0A0;
  SetLight(main, 0, 0, sVec3(1.0f, 0.5f, 0.5f), 1024.0f);
  SetLight(main, 1, 0, sVec3(-1.0f, 1.0f, -2.0f), 1024.0f);
  main->Colors[2] = 0xFFB1B1B1;
  main->Positions[2] = sVec3(0.0f, 0.0f, 0.0f);
  MirrorLights(MaterialSet, 3);
  *sets[2] = *main;
  *sets[3] = *main;
  sets[3]->Ambient = 0x00808080;
  sets[3]->Colors[0] = sets[3]->Colors[1] = 0x00F0F0F0;
  SetLight(sets[3], 2, 0x00808083, sVec3(0.0f, 1.0f, 0.0f), 1024.0f);

  BackWall = sNEW ArrayForm(4);
  const sF32 wallRange[4] = {600.0f, 300.0f, -300.0f, -150.0f}, wallUv[4] = {1.0f, -1.0f, 0.0f, 0.0f};
  BackWall->Init(ArrayForm::PLANE, 1, 1, 4, 4, wallRange, wallUv);
  BackWall->Matrix.l = sVec3(0.0f, 300.0f, 540.0f);
  BackWall->PassFlags |= 1;
  AddObject(BackWall);

  PointCylinder = sNEW PointForm(7);
  PointCylinder->Init(TRANSFORMER_POINTS, 0);
  sF32 y = 0.0f, v = 0.0f;
  for(sInt r = 0; r < 64; r++)
  {
    for(sInt j = 0; j < 256; j++)
    {
      const sF32 a = sF32(j) / 256.0f * 2.0f * sScenePi;
      PointRecord &p = PointCylinder->Points[r * 256 + j];
      p.Pos = sVec3(512.0f * std::sin(a), 14.0f * sF32(r + 1) + y, 512.0f * std::cos(a));
      p.Size = 9.0f;
      p.Color = Random.NextBelow(256) > 128 ? 0xFF303030 : 0xFF707070;
    }
    y += v;
    v += 0.03f * sF32(r);
  }
  PointCylinder->PassFlags |= 1;
  AddObject(PointCylinder);

  LightPoints = sNEW PointForm(8);
  LightPoints->Init(2, 0);
  MarkLights(LightPoints, main, 2, 256.0f, 80.0f, 0xFFC0C0C0);
  LightPoints->PassFlags |= 1;
  AddObject(LightPoints);

  for(sInt g = 0; g < TRANSFORMER_GROUPS; g++) LoadModel(&Slots[g], TransformerModels[g]);
  ActiveSlot = SlotCycle = 0;
  CycleActive = TransformerSlotCycle[0][0], CycleToMode3 = TransformerSlotCycle[0][1], CycleToMode0 = TransformerSlotCycle[0][2];

  Band = sNEW ArrayForm(2);
  Band->Vertices = NewMeshVertices(512);
  for(sInt row = 0; row < 2; row++)
    for(sInt j = 0; j < 256; j++)
    {
      const sF32 t = sF32(j) / 255.0f;
      Band->Vertices[row * 256 + j].Set(220.0f * std::sin(2.2f * t), row ? 42.0f : -18.0f, 220.0f * std::cos(2.2f * t), t,
                                        row ? 0.0f : 1.0f);
    }
  Band->Init(ArrayForm::GRID, 1, 1, 256, 2);
  Band->PassFlags |= 1;
  AddObject(Band);

  Floor = sNEW ArrayForm(0);
  const sF32 floorRange[4] = {1000.0f, 1000.0f, -500.0f, -500.0f}, floorUv[4] = {64.0f, 64.0f, 0.0f, 0.0f},
             floorUv2[4] = {4.0f, 4.0f, 1.5f, 1.5f};
  Floor->Init(ArrayForm::PLANE, 1, 3, 16, 16, floorRange, floorUv, floorUv2);
  Floor->Matrix.EulerXYZ(0.5f * sScenePi, 0.0f, 0.0f);
  Floor->PassFlags = 2;
  Floor->LightSetIndex = 3;
  sTexture2D *const *targets = Machine ? Machine->Targets : nullptr;
  if(targets && targets[0] && targets[1])
  {
    // the shadow pre-pass needs the machine's shared targets; a scene run without a
    // machine draws its floor unshadowed
    Floor->Shadow = NewShadow(this, 3, 800.0f, 45000.0f, 0.23f, MaterialSet->Textures[0]);
    Floor->Shadow->Targets[2] = MaterialSet->Textures[20];
    Floor->ShadowSwitch = 14;   // the layers of the three groups cast onto the floor
    for(sInt m : {0, 1})
    {
      sMaterial *mtrl = MaterialSet->Materials[m];
      mtrl->Texture[3] = targets[1];
      mtrl->S.TextureFlags[3] = 0x1401;
      mtrl->Prepare(StandardVertexFormat(TransformerMaterials[m].VertexFormat));
    }
  }
  AddObject(Floor);

  GlowTarget = targets ? targets[2] : nullptr;
  PassQuad = sNEW sGeometry;
  PassQuad->Init(sGF_QUADLIST, sVertexFormatPosColUV);
  PassPlain = sNEW ShaderMaterial1;
  PassOverlay = sNEW ShaderMaterial11;
  PassPulse = sNEW ShaderMaterial12;
  // mends an opaque plain pass (alpha from its white colour), which would cover the studio with the parts' image
  PassPlain->Options[ShaderMaterial1::InvertAlpha] = 1;
  PassPlain->Color = 0xFFFFFFFF;
  PassOverlay->Color = 0xFFFFFFFF;
  PassOverlay->EdgeOption = 0;
  PassPulse->Color = 0xFFFFFFFF;
  PassPulse->Texture[1] = MaterialSet->Textures[22];
  for(sMaterial *m : {static_cast<sMaterial *>(PassPlain), static_cast<sMaterial *>(PassOverlay),
                      static_cast<sMaterial *>(PassPulse)})
  {
    m->Texture[0] = GlowTarget;
    m->S.Flags = sMTRL_ZON | sMTRL_CULLON;
    m->S.BlendColor = 0x60105;
    // the plain pass samples with the default sampler, the two others clamp the image
    m->S.TextureFlags[0] = m == PassPlain ? 0 : 0x11000010;
    m->Prepare(sVertexFormatPosColUV);
  }

  RefreshLoadingScreen();
  PassView = sNEW sViewport;
  PassView->Orthogonal = sVO_PIXELS;
  PassView->SetTarget();
  PassView->Prepare(15);

  SetFade(this, 0.0f, 3000.0f, 0);
  TimeOffset = ReseedTimeOffset(&Random, 0xFFFFF);
}

void TransformerScene::LoadModel(TransformerSlot *slot, const TransformerModelRow &row)
{
  sRandomLcg local;
  local.Seed(sGetTime() & 0xFFFF);

  slot->Source = sNEW Model(this);
  pImportObject(slot->Source, row.File, u"transformer/", 0, 0, 10);
  slot->Source->CreateForms(0);

  slot->PartCount = row.Parts;
  slot->Position = slot->LeadPosition = row.Position;
  slot->BarPhaseLatch = 0.0f;
  slot->Mode = 0;
  const sInt meshes = slot->Source->MeshCount;
  // a missing or empty model would stop the program at the mesh draw (NextBelow of 0)
  if(meshes < 1)
  {
    sLogF(u"show", u"transformer: no meshes in %s, the group stays empty\n", row.File);
    slot->PartCount = 0;
    return;
  }
  for(sInt i = 0; i < slot->PartCount; i++)
  {
    TransformerPart &p = slot->Parts[i];
    p.AngleA = local.NextFloat(2.0f * sScenePi);
    p.AngleB = local.NextFloat(2.0f * sScenePi);
    p.AngleC = local.NextFloat(2.0f * sScenePi);
    p.Radius = local.NextFloat(row.RadiusRange) + row.RadiusBase;
    p.Phase1 = local.NextFloat(2.0f * sScenePi);
    p.Phase2 = local.NextFloat(2.0f * sScenePi);
    const sInt material = row.Materials[local.NextBelow(4)];
    const RawMesh *mesh = slot->Source->Meshes[local.NextBelow(meshes)];
    sVec3 lo;
    mesh->GetBounds(lo, p.MaxCorner);
    p.Form = sNEW MeshForm(material);
    BuildMeshForm(p.Form, mesh);
    p.Form->LightSetIndex = PartLightSet(material);
    p.Form->PassFlags = 1;
    p.Form->LayerMask = row.LayerMask;
    AddObject(p.Form);
  }
}

void TransformerScene::Exit()
{
  sDELETE(PassQuad);
  sDELETE(PassPlain);
  sDELETE(PassView);
  sDELETE(PassOverlay);
  sDELETE(PassPulse);
  for(TransformerSlot &s : Slots) sDELETE(s.Source);
}

/****************************************************************************/
/***   Enter and events                                                   ***/
/****************************************************************************/

void TransformerScene::Enter(sInt)
{
  const sBool shortList = RenderMode == 4;
  InstallPatterns(SyncSource, 0, shortList ? TransformerShortTable() : TransformerShowTable());
  Variant = shortList ? 1 : 6;

  LightSet *floorLight = MaterialSet->LightSets[3];
  const sBool plain = RenderMode == 1 || RenderMode == 4;
  Floor->MaterialIndex = plain ? 0 : 1;
  Band->MaterialIndex = plain ? 3 : 2;
  BackWall->MaterialIndex = plain ? 5 : 4;
  const sInt fourth[2][3] = {{14, 15, 16}, {12, 13, 11}};
  for(sInt g = 0; g < TRANSFORMER_GROUPS; g++) TransformerModels[g].Materials[3] = fourth[plain][g];
  floorLight->Ambient = plain ? 0xFFC0C0C0 : 0xFF808080;
  floorLight->Colors[0] = floorLight->Colors[1] = plain ? 0x00808080 : 0x00F0F0F0;
  floorLight->Colors[2] = plain ? 0x00202023 : 0x00808083;

  for(sInt g = 0; g < TRANSFORMER_GROUPS; g++)
  {
    TransformerSlot &s = Slots[g];
    s.Position = s.LeadPosition = TransformerModels[g].Position;
    for(sInt i = 0; i < s.PartCount; i++) s.Parts[i].Form->LayerMask = TransformerModels[g].LayerMask;
  }
  for(sInt g = 0; g < TRANSFORMER_GROUPS; g++)
    for(sInt i = 0; i < Slots[g].PartCount; i++)
    {
      MeshForm *f = Slots[g].Parts[i].Form;
      f->MaterialIndex = TransformerModels[g].Materials[Random.NextBelow(4)];
      f->LightSetIndex = PartLightSet(f->MaterialIndex);
    }

  EnterClock = ReadSync(SyncSource).SyncClock;
  LastBar = -10;
  TimeOffset = ReseedTimeOffset(&Random, 0xFFFFF);
}

void TransformerScene::OnEvent(sInt code)
{
  switch(code)
  {
  case 106:
    ActiveSlot = Random.NextBelow(3);
    for(TransformerSlot &s : Slots) s.Mode = 0;
    Slots[ActiveSlot].Mode = 1;
    break;
  case 107:
    ActiveSlot = CycleActive;
    Slots[CycleToMode3].Mode = 3;
    Slots[CycleToMode0].Mode = 0;
    break;
  case 108:
    SlotCycle = SlotCycle + 1 >= 3 ? 0 : SlotCycle + 1;
    CycleActive = TransformerSlotCycle[SlotCycle][0];
    CycleToMode3 = TransformerSlotCycle[SlotCycle][1];
    CycleToMode0 = TransformerSlotCycle[SlotCycle][2];
    break;
  default:
    break;
  }
}

/****************************************************************************/
/***   Render                                                             ***/
/****************************************************************************/

sU32 TransformerScene::PointColour(sInt ring, sInt point, sF64 c, sF32 pulseHalfBar)
{
  const sF64 pi = 3.14159265358979323846;
  const sF64 R = ring / 32.0, f = point / 256.0;
  const sF64 U = std::tan((1.3 * f + 5e-05 * c) * 4.0 * pi + (f - 1e-05 * c) * 12.0 * pi);
  const sF64 V = std::sin((f - 0.00025 * c) * 6.0 * pi + (7e-05 * c + R) * 10.0 * pi);
  const sF64 Z = std::cos((R - 8e-05 * c) * 6.0 * pi + (0.00045 * c + f) * 16.0 * pi);
  const sF64 D = std::sin(U * V * Z * (2.0 * pulseHalfBar + 0.1));
  // the weight leaves 0..1 for most points; the blend holds each channel to 0..255
  return sBlendColor(sBlendColor(0xFF303030, 0xFF747073, sF32(D - ((1.0 - R) * 1.5 - 0.8))), 0xFF000000, sF32(0.5 * R));
}

void TransformerScene::PointColours(sU32 *out, sF64 c, sF32 pulseHalfBar)
{
  // V and Z are the sine and cosine of a point angle plus a ring angle: summed from the
  // sines and cosines of both, they take 2 x (256 + 64) sines instead of 2 x 16,384
  const sF64 pi = 3.14159265358979323846;
  sF64 U[256], sinA[256], cosA[256], sinD[256], cosD[256];
  for(sInt j = 0; j < 256; j++)
  {
    const sF64 f = j / 256.0;
    U[j] = std::tan((1.3 * f + 5e-05 * c) * 4.0 * pi + (f - 1e-05 * c) * 12.0 * pi);
    const sF64 a = (f - 0.00025 * c) * 6.0 * pi, d = (0.00045 * c + f) * 16.0 * pi;
    sinA[j] = std::sin(a);
    cosA[j] = std::cos(a);
    sinD[j] = std::sin(d);
    cosD[j] = std::cos(d);
  }
  const sF64 k = 2.0 * pulseHalfBar + 0.1;
  for(sInt r = 0; r < 64; r++)
  {
    const sF64 R = r / 32.0;
    const sF64 b = (7e-05 * c + R) * 10.0 * pi, e = (R - 8e-05 * c) * 6.0 * pi;
    const sF64 sinB = std::sin(b), cosB = std::cos(b), sinE = std::sin(e), cosE = std::cos(e);
    const sF64 offset = (1.0 - R) * 1.5 - 0.8;
    const sF32 dark = sF32(0.5 * R);
    for(sInt j = 0; j < 256; j++)
    {
      const sF64 V = sinA[j] * cosB + cosA[j] * sinB;
      const sF64 Z = cosE * cosD[j] - sinE * sinD[j];
      const sF64 D = std::sin(U[j] * V * Z * k);
      *out++ = sBlendColor(sBlendColor(0xFF303030, 0xFF747073, sF32(D - offset)), 0xFF000000, dark);
    }
  }
}

void TransformerScene::Render(sInt, sViewport *)
{
  const SyncNow s = ReadSync(SyncSource);
  if(SyncSource)
  {
    // a freeze begun by this scene's list ends with the list's second key, even when a
    // long frame let that key fall between two bars
    const sInt bar = SyncSource->BarIndex[0];
    if(bar != LastBar && SyncSource->Freeze && FreezeEndsAt(SyncSource->Tables[0], bar))
      SyncSource->Freeze = 0;
    LastBar = bar;
  }
  const sF64 c = sF64(s.SyncClock);

  LightSet **sets = MaterialSet->LightSets;
  const sF32 fade = SceneClamp(sF32((sF64(s.SyncClock) - sF64(EnterClock)) * 0.0001), 0.0f, 1.0f);
  sets[3]->Ambient = (sets[3]->Ambient & 0x00FFFFFF) | (sU32(255.0f * fade) << 24);

  BackWall->Matrix.EulerXYZ(0.0f, 0.0f, ClockAngle(c, 0.0001) + s.TwoBarTriangle);

  const sF32 t = s.SyncPaused ? 1.0f : 1.0f - s.PulseHalfBar;
  sets[0]->Ambient = sBlendColor(0x00FFFFFF, 0x00A0A0A0, SceneClamp(t, 0.0f, 1.0f));
  sets[0]->Colors[0] = sets[0]->Colors[1] = 0;

  Band->Matrix.EulerXYZ(0.0f, -ClockAngle(c, 0.0002), 0.0f);

  static sU32 colours[64 * 256];
  PointColours(colours, c, s.PulseHalfBar);
  for(sInt i = 0; i < 64 * 256; i++) PointCylinder->Points[i].Color = colours[i];

  for(TransformerSlot &slot : Slots) Pose(&slot, s);
}

/****************************************************************************/
/***   The glow passes                                                    ***/
/****************************************************************************/

void TransformerScene::AfterRender(sViewport *view)
{
  if(!GlowTarget) return;
  sRenderTargetSpec glow(0x13, 0xFF000000, nullptr, GlowTarget, sGetScreenDepthBuffer());
  sSetTarget(glow);
  for(TransformerSlot &slot : Slots)
    for(sInt i = 0; i < slot.PartCount; i++) RenderForm(view, slot.Parts[i].Form, 0);

  sRenderTargetSpec screen(0x10, 0, nullptr, sGetScreenColorBuffer(DisplayIndex), sGetScreenDepthBuffer());
  sSetTarget(screen);
  PassView->SetTarget();
  PassView->Prepare(15);

  const SyncNow s = ReadSync(SyncSource);
  const sF32 k = SceneClamp(s.ColourPresetSmooth - 2.0f, 0.0f, 1.0f);
  PassPulse->Color = (sU32(255 - sInt(k * s.PulseHalfBar * 255.0f)) << 24) | 0xFFFFFF;
  PassOverlay->Color = 0x00FFFFFF;
  const sF32 W = sF32(DisplayWidth), H = sF32(DisplayHeight);
  auto quad = [&](sF32 u0, sF32 u1) {
    struct Vertex
    {
      sF32 x, y, z;
      sU32 c;
      sF32 u, v;
    };
    void *p = nullptr;
    PassQuad->BeginLoadVB(4, sGD_STREAM, &p);
    Vertex *v = static_cast<Vertex *>(p);
    v[0] = {0.0f, 0.0f, 0.0f, 0xFFFFFFFF, u0, u0};
    v[1] = {W, 0.0f, 0.0f, 0xFFFFFFFF, u1, u0};
    v[2] = {W, H, 0.0f, 0xFFFFFFFF, u1, u1};
    v[3] = {0.0f, H, 0.0f, 0xFFFFFFFF, u0, u1};
    PassQuad->EndLoadVB();
    PassQuad->Draw();
  };
  BindShaderMaterial12(PassPulse, PassView);
  quad(0.1f, 0.9f);
  BindShaderMaterial11(PassOverlay, PassView);
  quad(0.0f, 1.0f);
  BindShaderMaterial1(PassPlain, PassView);
  quad(0.0f, 1.0f);
}

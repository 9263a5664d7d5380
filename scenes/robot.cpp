// The Robot scene: tables, Init and Exit, the looks, poses, cameras and the glow.
#include "scenes/robot.hpp"

#include "graphics/painter.hpp"
#include "graphics/shader.hpp"
#include "show/forms.hpp"
#include "show/model.hpp"
#include "show/procforms.hpp"
#include "show/scenehost.hpp"

#include <cmath>

/****************************************************************************/
/***   Tables and the list                                                ***/
/****************************************************************************/

namespace
{
const TextureEntry RobotTextureRows[] = {
    {u"robot/unpacked/white.bmp", u"robot/packed/white.png", 0x1001, 2},
    {u"robot/unpacked/ground.pic", u"robot/packed/ground.pic", 0x1001, 4},
    {u"robot/unpacked/ground2.pic", u"robot/packed/ground2.pic", 0x1001, 4},
    {u"robot/unpacked/ground3.pic", u"robot/packed/ground3.pic", 0x1001, 4},
    {u"robot/unpacked/ground.pic", u"robot/packed/ground.pic", 0x1001, 3},
    {u"robot/unpacked/detail_bump.bmp", u"robot/packed/detail_bump.png", 0x1001, 3},
    {u"robot/unpacked/shadow.pic", u"robot/packed/shadow.pic", 0x1401, 2},
    {u"robot/unpacked/light_spot.bmp", u"robot/packed/light_spot.png", 0x1001, 2},
    {u"robot/unpacked/glow.bmp", u"robot/packed/glow.png", 0x1001, 2},
    {u"robot/unpacked/lightpoint.bmp", u"robot/packed/lightpoint.png", 0x1001, 2},
    {u"robot/unpacked/horizon.bmp", u"robot/packed/horizon.png", 0x1001, 2},
    {u"robot/unpacked/horizon2.bmp", u"robot/packed/horizon2.png", 0x1001, 2},
    {u"robot/unpacked/wall.bmp", u"robot/packed/wall.png", 0x1001, 2},
};
constexpr sInt TextureRowCount = sInt(sizeof(RobotTextureRows) / sizeof(RobotTextureRows[0]));

// 0 the ground (normal map, detail, colour, light mask), 1 unused, 2 and 3 the light
// sprites, 4 and 5 the horizon rings, 6 the walls
const MaterialEntry RobotMaterialRows[] = {
    MaterialRow(12, 3, 3, 0x60105, 4, 1, 1, 1, 0x11000010, 4, 5, 1, 6),
    MaterialRow(5, 1, 3, 0, 1, 1, 0, 0, 0, 1, 0, 0, 0),
    MaterialRow(9, 3, 1, 0x20102, 1, 0x11000010, 0, 0, 0, 8, 0, 0, 0),
    MaterialRow(9, 3, 1, 0x20102, 1, 0x11000010, 0, 0, 0, 9, 0, 0, 0),
    MaterialRow(0, 1, 1, 0x20102, 1, 1, 0, 0, 0, 10, 0, 0, 0),
    MaterialRow(0, 1, 1, 0x20102, 1, 1, 0, 0, 0, 11, 0, 0, 0),
    MaterialRow(0, 1, 1, 0x20102, 1, 0x11000011, 0, 0, 0, 12, 0, 0, 0),
};
constexpr sInt FirstImportRow = 7;
constexpr sInt GroundLookSlot = 0;   // the ground texture a look swaps: its first
constexpr sF32 Lift = 14.8f;

// The small robot's four parts and the large robot's five: pivots before the lift.
const sVec3 SmallPivots[4] = {sVec3(0, 13, 0), sVec3(0, 12, 0), sVec3(0, 0, 0), sVec3(0, 0, 0)};
const sVec3 LargePivots[5] = {sVec3(0, 38.5f, 0), sVec3(0, 20.7f, 0), sVec3(0, 36.5f, -61), sVec3(0, 36.5f, 61),
                              sVec3(0, 0, 0)};

// The list: bar patterns a..e, '-' the empty bar.
const char ListBars[] = "a---b---c-d-e---e-------d-c-b-e-a---d---c-b-d-b-e-------d-c-b-e-"
                        "a---d---c-b-d-b-e-------d-c-b-e-";

std::vector<PatternKey> ListKeys()
{
  std::vector<PatternKey> keys;
  for(sInt bar = 0; bar < 96; bar++)
  {
    switch(ListBars[bar])
    {
    case 'a': keys.push_back(PatternKey{bar, 0, {108, '2', 106}}); break;
    case 'b': keys.push_back(PatternKey{bar, 0, {'3'}}); break;
    case 'c':
      keys.push_back(PatternKey{bar, 0, {'2', 106}});
      keys.push_back(PatternKey{bar, 1, {'2'}});
      break;
    case 'd':
      keys.push_back(PatternKey{bar, 0, {'1'}});
      keys.push_back(PatternKey{bar, 1, {'1'}});
      break;
    case 'e': keys.push_back(PatternKey{bar, 0, {'4', 107}}); break;
    default: break;
    }
  }
  return keys;
}

// a then b, placed at the point
sMat3x4 Then(const sMat3x4 &a, const sMat3x4 &b, const sVec3 &at)
{
  sMat3x4 m = sMat3x4::Mul(a, b);
  m.l = at;
  return m;
}

ArrayForm *MakePlane(sInt material, sInt format, const sF32 *range, const sF32 *uv, const sF32 *third)
{
  ArrayForm *f = sNEW ArrayForm(material);
  f->Init(ArrayForm::PLANE, 1, format, 16, 16, range, uv, third);
  return f;
}
}

SyncPatternTable RobotList()
{
  static const PatternList<96, 96> list(ListKeys());
  return list.Table();
}

/****************************************************************************/
/***   Construction, Init, Exit                                           ***/
/****************************************************************************/

RobotScene::RobotScene()
{
  Random.Seed(0);
  RobotModels[0] = RobotModels[1] = nullptr;
  for(Model *&m : RobotCopies) m = nullptr;
  Ground = nullptr;
  for(ArrayForm *&w : Walls) w = nullptr;
  LightPoles[0] = LightPoles[1] = nullptr;
  for(auto &row : LightRings)
    for(ArrayForm *&r : row) r = nullptr;
  ShadowRecords[0] = ShadowRecords[1] = nullptr;
  GlowMaterial = nullptr;
  OverlayMaterial = nullptr;
  QuadGeometry = nullptr;
  GlowTarget = nullptr;
  Painter = nullptr;
  CameraTarget = sVec3(0, 0, 0);
  Flash = 0;
  DropPhase = 0.0f;
  TimeOffset = 0;
  for(TextureEntry &t : Textures) t = TextureEntry{nullptr, nullptr, 0, 0};
  for(MaterialEntry &m : Materials) m = MaterialEnd();
}

RobotScene::~RobotScene() { Exit(); }

void RobotScene::Init(SyncMachine *syncSource, sInt initFlags, TMData *globalSet)
{
  for(sInt i = 0; i < TextureRowCount; i++) Textures[i] = RobotTextureRows[i];
  for(sInt i = 0; i < FirstImportRow; i++) Materials[i] = RobotMaterialRows[i];
  RobotModels[0] = sNEW Model(this, Textures, Materials);
  pImportObject(RobotModels[0], u"bot01_002.dae", u"robot/unpacked/", 0, 4, -1);
  RobotModels[1] = sNEW Model(this, Textures, Materials);
  pImportObject(RobotModels[1], u"bot002_001.dae", u"robot/unpacked/", 0, 4, FirstImportRow);
  RobotModels[0]->LightSetIndex = RobotModels[1]->LightSetIndex = 0;

  TakeMaterialSet(this, globalSet, Textures, Materials, initFlags);
  SyncSource = syncSource;

  LightSet *l0 = MaterialSet->LightSets[0];
  l0->Ambient = 0xFF505050;
  SetLight(l0, 0, 0x6F6F72, sVec3(1.0f, 0.5f, 0.5f), 256.0f);
  SetLight(l0, 1, 0x979190, sVec3(-1.0f, 1.0f, -2.0f), 256.0f);
  SetLight(l0, 2, 0, sVec3(-0.2f, -1.0f, 0.2f), 256.0f);
  LightSet *l1 = MaterialSet->LightSets[1];
  *l1 = *l0;
  l1->Ambient = 0xFFFFFFFF;
  for(sU32 &c : l1->Colors) c = 0;

  // the shared targets of the machine, when the scene runs in one
  sTexture2D *targets[3] = {nullptr, nullptr, nullptr};
  if(Machine)
    for(sInt i = 0; i < 3; i++) targets[i] = Machine->Targets[i];
  sTexture2D *const *tex = MaterialSet->Textures;

  const sF32 groundRange[4] = {512.0f, 512.0f, -256.0f, -256.0f}, groundUv[4] = {16.0f, 16.0f, 0.0f, 0.0f},
             groundThird[4] = {2.0f, 2.0f, 0.5f, 0.5f};
  Ground = MakePlane(0, 3, groundRange, groundUv, groundThird);
  Ground->Matrix = SceneEuler(0.5f * sScenePi, 0.0f, 0.0f);
  Ground->PassFlags = 2;
  Ground->LayerMask = 1;
  Ground->LightSetIndex = 1;
  Ground->Shadow = NewShadow(this, 0, 800.0f, 45000.0f, 0.23f, tex[0]);
  Ground->Shadow->Targets[2] = tex[7];
  Ground->ShadowSwitch = 28;
  AddObject(Ground);
  if(targets[1])
  {
    sMaterial *m = MaterialSet->Materials[0];
    m->Texture[4] = targets[1];
    m->S.TextureFlags[4] = 5121;
    m->Prepare(StandardVertexFormat(Materials[0].VertexFormat));
  }

  const sF32 wallRange[4] = {512.0f, 51.2f, -256.0f, -256.0f};
  static const sF32 wallAt[4][3] = {{0, 256, 256}, {0, 256, -256}, {256, 256, 0}, {-256, 256, 0}};
  for(sInt i = 0; i < 4; i++)
  {
    ArrayForm *w = MakePlane(6, 1, wallRange, nullptr, nullptr);
    w->Matrix = SceneEuler(0.0f, i >= 2 ? 0.5f * sScenePi : 0.0f, 0.0f);
    w->Matrix.l = sVec3(wallAt[i][0], wallAt[i][1], wallAt[i][2]);
    w->LayerMask = 1;
    w->PassFlags = 3;
    w->Colour = 0x505050;
    AddObject(w);
    Walls[i] = w;
  }

  Model *small = RobotModels[0], *large = RobotModels[1];
  small->CreateForms(1);
  small->SetLayerMask(4);
  small->ApplyMatrix();
  small->SetPassFlags(5);
  if(small->MeshCount > 0) small->MeshForms[0]->ViewIndex = 1;
  for(Model *&c : RobotCopies)
  {
    c = sNEW Model(this);
    c->LightSetIndex = 0;
    c->Instance(small, 1);
    c->SetLayerMask(16);
    c->SetPassFlags(5);
  }
  large->CreateForms(1);
  large->SetLayerMask(8);
  large->ApplyMatrix();
  large->SetPassFlags(5);

  for(sInt r = 0; r < 2; r++)
  {
    Model *m = RobotModels[r];
    if(m->MeshCount <= 0) continue;
    m->MeshForms[0]->ShadowRecord =
        NewShadow(this, 0, 256.0f, r == 0 ? 40.0f : 80.0f, r == 0 ? 0.025f : 0.0125f, tex[0]);
    m->MeshForms[0]->ShadowCasterMask = r == 0 ? 4 : 28;
    ShadowRecords[r] = nullptr;
  }

  for(sInt p = 0; p < 4; p++)
  {
    sMat3x4 m;
    m.Identity();
    m.l = SmallPivots[p] + sVec3(0, Lift, 0);
    PosePart(small, p, m);
  }
  for(sInt p = 0; p < 5; p++)
  {
    sMat3x4 m;
    m.Identity();
    m.l = LargePivots[p] + sVec3(0, Lift, 0);
    PosePart(large, p, m);
  }

  if(targets[0])
    for(sInt row = FirstImportRow; row < FirstImportRow + 2 && row < MaterialSet->MaterialCount; row++)
    {
      sMaterial *m = MaterialSet->Materials[row];
      m->Texture[1] = targets[0];
      if(MaterialSet->MaterialTable[row].Kind == 5) static_cast<ShaderMaterial3 *>(m)->ReflectionLayerOption = 1;
      m->Prepare(sVertexFormatPosNormUV);
    }

  for(sInt n = 0; n < 2; n++)
  {
    PointForm *p = sNEW PointForm(2 + n);
    p->Init(3, 0);
    p->Words.DepthRange = 200.0f;
    p->Words.Brightness = 1.0f;
    for(sInt i = 0; i < 3; i++)
    {
      p->Points[i].Pos = l0->Positions[i];
      p->Points[i].Size = 20.0f;
      p->Points[i].Color = sAddColorSaturate(l0->Colors[i], 0xFF404040);
    }
    p->LayerMask = 2;
    p->PassFlags |= 1;
    AddObject(p);
    LightPoles[n] = p;
  }

  for(sInt row = 0; row < 2; row++)
    for(sInt n = 0; n < ROBOT_RINGS; n++)
    {
      ArrayForm *r = sNEW ArrayForm(4 + row);
      const sF32 range[4] = {350.0f, 40.0f, 1.0f, 10.0f + 26.0f * sF32(n)}, uv[4] = {4.0f, 1.0f, 0.0f, 0.0f};
      r->Init(ArrayForm::CYLINDER, 1, 1, 128, 4, range, uv);
      r->LayerMask = 2;
      r->PassFlags |= 1;
      r->Colour = 0xFF303040;
      if(row == 0 && n == 0) r->ViewIndex = 2;
      AddObject(r);
      LightRings[row][n] = r;
    }

  // the glow target is the scene's own, the size of its display: the machine has none set
  // aside for it, and its three shared targets carry the screen copy and the shadows
  GlowTarget = sNEW sTexture2D(DisplayWidth > 0 ? DisplayWidth : 1, DisplayHeight > 0 ? DisplayHeight : 1, 0x601, 0);
  // The robots are drawn into the glow target with the screen's depth buffer; the rings
  // after them and the two quads that lay the target over the picture go to the screen
  // bound without it (GetView, AfterRender), so nothing there is hidden behind the robots.
  GlowMaterial = sNEW ShaderMaterial11;
  GlowMaterial->Texture[0] = GlowTarget;
  GlowMaterial->Color = 0xFFFFFFFF;
  GlowMaterial->S.BlendColor = 0x60105;
  GlowMaterial->S.TextureFlags[0] = 0x11000010;
  GlowMaterial->Prepare(sVertexFormatPosColUV);
  // The target is cleared opaque and the bright look's robots write alpha 0 (its ambient
  // has none): with the alpha inverted the overlay lays the robots, and only them, over
  // the picture.
  OverlayMaterial = sNEW ShaderMaterial1;
  OverlayMaterial->Texture[0] = GlowTarget;
  OverlayMaterial->Color = 0xFFFFFFFF;
  OverlayMaterial->S.BlendColor = 0x60105;
  OverlayMaterial->Options[ShaderMaterial1::InvertAlpha] = 1;
  OverlayMaterial->Prepare(sVertexFormatPosColUV);
  OverlayView->Prepare(15);
  QuadGeometry = sNEW sGeometry(0x5000, sVertexFormatPosColUV);

  SetFade(this, 1000.0f, 5000.0f, 0xFF000000);
  Painter = sNEW sPainter;
  TimeOffset = ReseedTimeOffset(&Random, 0xFFFFF);
}

void RobotScene::Exit()
{
  // the shadow records go back to their forms, which free them with the object list
  SetShadows(1);
  sDELETE(Painter);
  sDELETE(GlowMaterial);
  sDELETE(OverlayMaterial);
  sDELETE(QuadGeometry);
  sDELETE(GlowTarget);
  // the models and their copies go too: nothing else frees them, so every shut-down leaked them
  for(Model *&c : RobotCopies) sDELETE(c);
  for(Model *&m : RobotModels) sDELETE(m);
}

/****************************************************************************/
/***   Looks and events                                                   ***/
/****************************************************************************/

void RobotScene::SetShadows(sBool on)
{
  for(sInt r = 0; r < 2; r++)
  {
    Model *m = RobotModels[r];
    if(!m || m->MeshCount <= 0 || !m->MeshForms) continue;
    Form *f = m->MeshForms[0];
    if(on && ShadowRecords[r])
    {
      f->ShadowRecord = ShadowRecords[r];
      ShadowRecords[r] = nullptr;
    }
    else if(!on && f->ShadowRecord)
    {
      ShadowRecords[r] = f->ShadowRecord;
      f->ShadowRecord = nullptr;
    }
  }
}

void RobotScene::ShowLookForms(sBool bright)
{
  for(ArrayForm *w : Walls) w->LayerMask = bright ? 0 : 1;
  for(PointForm *p : LightPoles) p->LayerMask = bright ? 0 : 1;
  for(auto &row : LightRings)
    for(ArrayForm *r : row) r->LayerMask = bright ? 1 : 0;
  SetShadows(!bright);
  Ground->LightSetIndex = bright ? 1 : 0;
}

void RobotScene::ApplyBrightLook(sBool setAmbient)
{
  LightSet *l0 = MaterialSet->LightSets[0];
  l0->Ambient = 0x505050;
  if(setAmbient) MaterialSet->LightSets[1]->Ambient = 0xFFFFFF;
  ShowLookForms(1);
  for(sU32 &c : l0->Colors) c = 0;
  RetextureMaterial(MaterialSet, 0, GroundLookSlot, 2);
}

void RobotScene::Enter(sInt)
{
  DropPhase = 0.0f;
  Variant = 1;
  if(RenderMode == 4) ApplyBrightLook(1);
  else
  {
    LightSet *l0 = MaterialSet->LightSets[0];
    l0->Ambient = 0xFF505050;
    MaterialSet->LightSets[1]->Ambient = 0xFFFFFFFF;
    ShowLookForms(0);
    l0->Colors[0] = 0x6F6F72;
    l0->Colors[1] = 0x979190;
    sU32 wall;
    if(RenderMode == 1)
    {
      RetextureMaterial(MaterialSet, 0, GroundLookSlot, 1);
      l0->Colors[2] = 0x3F0804;
      wall = sMultiplyColor(0xFF762525, 0x505050);
    }
    else
    {
      RetextureMaterial(MaterialSet, 0, GroundLookSlot, 3);
      l0->Colors[1] = 0x909197;
      l0->Colors[2] = 0xFF303040;
      wall = sMultiplyColor(0xFF303040, 0x505050);
    }
    for(ArrayForm *w : Walls) w->Colour = wall;
  }
  Flash = 0;
  TimeOffset = ReseedTimeOffset(&Random, 0xFFFFF);
  InstallPatterns(SyncSource, 0, RobotList());
}

void RobotScene::OnEvent(sInt code)
{
  if(code == 106) DropPhase = ReadSync(SyncSource).EightBarPhase;
  else if(code == 107)
  {
    Flash = 1;
    ApplyBrightLook(0);
  }
}

sViewport *RobotScene::GetView(sInt viewIndex)
{
  if(!Bright()) return nullptr;
  if(viewIndex == 1 && GlowTarget)
    sSetTarget(sRenderTargetSpec(17, 0xFF000000, nullptr, GlowTarget, sGetScreenDepthBuffer()));
  else if(viewIndex == 2)
    sSetTarget(sRenderTargetSpec(16, 0, nullptr, sGetScreenColorBuffer(DisplayIndex), nullptr));
  return nullptr;
}

/****************************************************************************/
/***   Poses, camera, glow                                                ***/
/****************************************************************************/

void RobotScene::PosePart(Model *m, sInt part, const sMat3x4 &matrix)
{
  if(!m || !m->MeshForms) return;
  for(sInt i = 2 * part; i < 2 * part + 2 && i < m->MeshCount; i++)
    if(m->MeshForms[i]) m->MeshForms[i]->Matrix = matrix;
}

void RobotScene::Render(sInt, sViewport *)
{
  const SyncNow s = ReadSync(SyncSource);
  LayerMask = 0x1F;
  LightSet *l0 = MaterialSet->LightSets[0];
  if(Flash)
    for(sU32 &c : l0->Colors) c = sBlendColor(0, 0xFFFFFF, SceneClamp(s.PulseHalfBar, 0.0f, 1.0f));

  const sF32 c1 = s.ColourPulse[0], c2 = s.ColourPulse[1];
  const sF32 yaw = 0.3f * (std::cos(sScenePi * s.FourBarTriangleA) + std::cos(sScenePi * s.EightBarTriangle)) +
                   0.3f * std::cos(sScenePi * c2);
  const sF32 nod = c1 + s.FourBarTriangleA - 1.5f - 1.5f * (c2 - 0.5f);
  const sF32 d = s.EightBarPhase - DropPhase;

  // the small robot, placed about its own origin; the five of them stand around
  sMat3x4 smallParts[4];
  smallParts[3] = SceneEuler(0, yaw, 0);
  const sMat3x4 body = Then(SceneEuler(0, 0, (c2 - 0.5f) * 2.5f), smallParts[3], sVec3(0, 0, 0));
  smallParts[2] = body;
  for(sInt p = 0; p < 2; p++)
    smallParts[p] = Then(SceneEuler(0, 0, nod), body, sMulPointMat3x4(SmallPivots[p], body));

  sF32 hop = 0.0f;
  if(d >= 0.03125f && d <= 0.046875f) hop = 12.0f * std::sin((d - 0.03125f) * 64.0f * sScenePi);
  else if(d >= 0.046875f && d <= 0.0546875f) hop = 6.0f * std::sin((d - 0.046875f) * 128.0f * sScenePi);
  const sF32 e = s.EightBarPhase * 2.0f * sScenePi;
  for(sInt i = 0; i < 5; i++)
  {
    Model *m = i == 4 ? RobotModels[0] : RobotCopies[i];
    sVec3 at;
    if(i % 2 == 0)
    {
      const sF32 a = sF32(i) * sScenePi / 4.0f - e;
      at = sVec3(50.0f * std::cos(a), 0.0f, 120.0f * std::sin(a));
    }
    else
    {
      const sF32 a = sF32(i) * sScenePi / 4.0f + e;
      at = sVec3(120.0f * std::cos(a), 0.0f, 50.0f * std::sin(a));
    }
    at.y = hop + Lift;
    for(sInt p = 0; p < 4; p++)
    {
      sMat3x4 mp = smallParts[p];
      mp.l += at;
      PosePart(m, p, mp);
    }
  }

  const sF32 drop = (d >= 0.0f && d <= 0.03125f) ? 60.0f * std::cos(d * 32.0f * sScenePi / 2.0f) : 0.0f;
  sMat3x4 largeParts[5];
  sMat3x4 base = SceneEuler(0, sScenePi / 4.0f - yaw, 0);
  base.l = sVec3(0, drop, 0);
  largeParts[4] = base;
  const sMat3x4 lbody = Then(SceneEuler(0, 0, nod), base, sVec3(0, 20.7f + drop, 0));
  largeParts[1] = lbody;
  const sF32 arm = 6.5f * (c2 - 0.5f) + 0.03125f;
  largeParts[2] = Then(SceneEuler(0, 0, arm), lbody, sMulPointMat3x4(sVec3(0, 15.8f, -61.0f), lbody));
  largeParts[3] = Then(SceneEuler(0, 0, arm), lbody, sMulPointMat3x4(sVec3(0, 15.8f, 61.0f), lbody));
  largeParts[0] = SceneEuler(0, nod, 0);
  largeParts[0].l = sMulPointMat3x4(sVec3(0, 38.5f, 0), base);
  for(sInt p = 0; p < 5; p++)
  {
    largeParts[p].l.y += Lift;
    PosePart(RobotModels[1], p, largeParts[p]);
  }

  const sF32 turns[4] = {s.FourBarTriangleB, c1, s.FourBarTriangleA, s.EightBarTriangle};
  const sInt lit = sInt(SceneClamp(s.EightBarTriangle * 8.0f - 0.25f, 0.0f, 7.0f));
  const sU32 pulse = sBlendColor(0, 0xFFFFFFFF, SceneClamp(s.PulseHalfBar, 0.0f, 1.0f));
  const sF32 spin = ClockAngle(sF64(s.SyncClock), 0.0001);
  for(sInt n = 0; n < ROBOT_RINGS; n++)
  {
    const sF32 w = n < 4 ? -turns[n % 4] : turns[n % 4];
    for(sInt row = 0; row < 2; row++)
    {
      ArrayForm *r = LightRings[row][n];
      r->Matrix = SceneEuler(0.0f, spin + 360.0f * w, 0.0f);
      if(!Bright()) r->Colour = n == lit ? sAddColorSaturate(pulse, 0xFF303040) : 0xFF303040;
      else if(row == 1) r->Colour = 0xFFFFFFFF;
      else r->Colour = (n == lit || Flash) ? pulse : 0;
    }
  }
}

void RobotScene::Camera(sInt variant, sViewport *view)
{
  const SyncNow s = ReadSync(SyncSource);
  const sF64 u = sF64(s.SyncClock) + sF64(TimeOffset), t = u * 0.0005;
  auto S = [&](sF64 rate) { return ClockSin(t, rate); };
  const sF32 aspect = SceneAspect(this);
  view->ClipNear = 0.125f;
  sF32 zoom = 1.6f;
  CameraTarget = sVec3(0, 0, 0);

  sVec3 shake(0, 0, 0);
  const sF32 d = s.EightBarPhase - DropPhase;
  if(d >= 0.0f && d <= 0.0625f)
    shake = sVec3(ClockSin(u, 0.075) - ClockSin(u, 0.077) + ClockSin(u, 0.043),
                  ClockSin(u, 0.042) - ClockSin(u, 0.065) + ClockSin(u, 0.075),
                  ClockSin(u, 0.059) - ClockSin(u, 0.045) + ClockSin(u, 0.061)) *
            s.PulseHalfBar;

  sMat3x4 &cam = view->Camera;
  const sVec3 &c = CameraTarget;
  switch(variant)
  {
  case 1:
  {
    const sF32 a = 1.5f * sScenePi - s.EightBarPhase * 2.0f * sScenePi;
    cam.LookAt(sVec3(0, 25, 0), sVec3(std::cos(a) * 60.0f, 10.0f, std::sin(a) * 120.0f));
    break;
  }
  case 2:
    cam.EulerXYZ((S(0.13) + S(0.17)) * 0.05f + 0.6f, (S(0.21) + S(0.17)) * 0.5f + sScenePi, (S(0.09) + S(0.13)) * 0.15f);
    cam.l = sVec3(c.x + 10.0f * std::sin(S(0.29) * 0.5f), c.y + 20.0f, c.z + 10.0f) - cam.k * 100.0f;
    break;
  case 3:
  {
    cam.EulerXYZ(0.25f, (s.FourBarPhase - 0.5f) * 0.25f + 1.25f * sScenePi, 0.0f);
    cam.l = sVec3(c.x + 10.0f * std::sin(S(0.11) * 0.5f), c.y + 20.0f, c.z - 20.0f) - cam.k * 530.0f;
    zoom = 1.6f + 5.0f * (0.5f - 0.5f * std::cos(sScenePi * SceneClamp(s.FourBarPhase * 16.0f - 8.0f, 0.0f, 1.0f)));
    view->ClipNear = zoom;
    break;
  }
  default:
    zoom = 1.8f;
    cam.EulerXYZ((S(0.23) + S(0.17)) * 0.03f - 0.05f, -ClockPhase(t, 0.5, 2.0 * 3.141592653589793),
                 (S(0.11) + S(0.17)) * 0.01f);
    cam.l = sVec3(c.x + 10.0f * std::sin(S(0.29) * 0.5f), c.y + 20.0f, c.z + 5.0f) - cam.k * 150.0f;
    break;
  }
  cam.l += shake;
  view->ZoomY = zoom;
  view->ZoomX = zoom / aspect;
}

void RobotScene::AfterRender(sViewport *)
{
  if(!Bright() || !GlowMaterial) return;
  sSetTarget(sRenderTargetSpec(16, 0, nullptr, sGetScreenColorBuffer(DisplayIndex), nullptr));
  OverlayView->SetTarget(nullptr);
  OverlayView->Window.x0 = OverlayView->Window.y0 = 0;
  OverlayView->Window.x1 = DisplayWidth;
  OverlayView->Window.y1 = DisplayHeight;
  OverlayView->Prepare(15);
  GlowMaterial->Color = 0xFFFFFF;
  BindShaderMaterial11(GlowMaterial, OverlayView);
  DrawQuad(QuadGeometry, 0, 0, sF32(DisplayWidth), sF32(DisplayHeight), 0xFFFFFFFF);
  OverlayMaterial->Color = 0xFF808080;
  BindShaderMaterial1(OverlayMaterial, OverlayView);
  DrawQuad(QuadGeometry, 0, 0, sF32(DisplayWidth), sF32(DisplayHeight), 0xFFFFFFFF);
}

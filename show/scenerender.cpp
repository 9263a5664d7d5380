// Drawing one form with its material: the view, the light set brought into the space
// each material's programs expect, the constant buffers of the draw, and the shadow
// pre-pass that renders each light's depth into its own colour channel.
//
// Spaces: F is the form's placement, Inv its inverse (a rigid placement is assumed),
// Rot the rotation part of Inv, E the camera position of the frame's view.

#include "show/scene.hpp"

#include "graphics/shader.hpp"
#include "show/cbuffers.hpp"
#include "show/fillers.hpp"
#include "show/forms.hpp"
#include "show/tmdata.hpp"

#include <algorithm>
#include <cmath>

namespace
{
// Blend words of the render states: source factor, operation and destination factor.
constexpr sU32 BlendAlpha = 0x60105;      // source alpha, add, inverse source alpha
constexpr sU32 BlendMax = 0x20502;        // one, maximum, one
constexpr sU32 BlendAdd = 0x20102;        // one, add, one
constexpr sU32 BlendDarken = 0x40101;     // zero, add, inverse source colour: dest * (1 - source)
constexpr sU32 BlendInvert = 0x20202;     // one, subtract, one: source - dest

// A projected shadow takes ShadowGain x its strength of the colour under it away (strengths
// of 0.01 to 0.025 give 20 to 50 percent), its edge softened over strength x ShadowSoftness
// of the screen's height.
constexpr sF32 ShadowGain = 20.0f;
constexpr sF32 ShadowSoftness = 0.25f;

// Colours the shadow passes draw each light's depth with: one channel per light.
constexpr sU32 PrePassChannels[3] = {0x00ff0000, 0x0000ff00, 0x000000ff};
constexpr sU32 RecordChannels[3] = {0xffff0000, 0xff00ff00, 0xff0000ff};

void SetLights(sRenderEnv &env, const LightSet *ls)
{
  env.Color = ls->Ambient;
  for(sInt i = 0; i < 3; i++) env.LightColors[i] = ls->Colors[i];
}
}  // namespace

void Scene::RenderForm(sViewport *view, Form *form, sInt mirror)
{
  if(!(form->LayerMask & LayerMask)) return;

  if(form->ShadowRecord && form->ShadowCasterMask)
  {
    if(!mirror)
    {
      RenderFormShadow(form, view);
    }
    else
    {
      sRenderTargetSpec spec(sRTF_NO_MULTISAMPLE, 0, nullptr, sGetScreenColorBuffer(DisplayIndex), sGetScreenDepthBuffer());
      sSetTarget(spec);
    }
  }

  sViewport *v = view;
  if(form->ViewIndex && !mirror)
  {
    sViewport *own = GetView(form->ViewIndex);
    if(own) v = own;
  }
  v->Model = form->Matrix;
  v->Prepare(15);

  // without a material set there is nothing to bind: the form draws itself
  sInt kind = MaterialSet ? MaterialSet->GetKind(form->MaterialIndex) : sTMD_ENDKIND;
  if(kind > 15)
  {
    form->Draw(v);
    return;
  }
  sMaterial *mtrl = MaterialSet->Materials[form->MaterialIndex];
  sVERIFY(form->LightSetIndex>=0 && form->LightSetIndex<sTMD_LIGHTSETS);
  const LightSet *ls = MaterialSet->LightSets[form->LightSetIndex];

  const sMat3x4 &F = form->Matrix;
  sMat3x4 inv = F;
  inv.InvertOrthonormal();
  sMat3x4 rot = inv;
  rot.l.Init(0, 0, 0);
  const sVec3 E = view->Camera.l;

  sCBufferBase *cb[2] = {nullptr, nullptr};
  sInt cbCount = 2;
  sInt variant = 0;
  sTextureBase *heldTexture = nullptr;

  switch(kind)
  {
  case 0: case 1: case 2: case 3:
  {
    ShaderMaterial1 *m = static_cast<ShaderMaterial1 *>(mtrl);
    m->Color = form->Colour;
    CBufferMatrix3V *vs = NewCBuffer<CBufferMatrix3V>();
    cb[0] = vs;
    cbCount = 1;
    if(m->Options[ShaderMaterial1::Contrast])
    {
      m->ContrastColor = sU32(form->MaterialParam);
      CBufferParams1 *ps = NewCBuffer<CBufferParams1>();
      FillShaderMaterial1ConstantsB(ps->Reg, m);
      cb[1] = ps;
      cbCount = 2;
    }
    FillShaderMaterial1ConstantsA(vs->Reg, v, &RenderEnv, m);
    break;
  }
  case 4:
  {
    ShaderMaterial2 *m = static_cast<ShaderMaterial2 *>(mtrl);
    SetLights(RenderEnv, ls);
    for(sInt i = 0; i < 3; i++) RenderEnv.LightVectors[i] = sMulDirMat3x4(ls->Directions[i], rot);
    CBufferVS11 *vs = NewCBuffer<CBufferVS11>();
    CBufferParams3 *ps = NewCBuffer<CBufferParams3>();
    FillShaderMaterial2ConstantsA(vs->Reg, v, &RenderEnv);
    FillShaderMaterial2ConstantsB(ps->Reg, m);
    cb[0] = vs;
    cb[1] = ps;
    break;
  }
  case 5:
  {
    ShaderMaterial3 *m = static_cast<ShaderMaterial3 *>(mtrl);
    SetLights(RenderEnv, ls);
    for(sInt i = 0; i < 3; i++) RenderEnv.LightVectors[i] = sMulPointMat3x4(ls->Positions[i], inv);
    m->EyePosition = sMulPointMat3x4(E, inv);
    sMat3x4 placement = v->Camera * inv;
    placement.l.Init(0, 0, 0);
    placement.InvertOrthonormal();
    m->Placement = placement;
    for(sInt i = 0; i < 3; i++)
    {
      AuxViews[i]->Model = form->AuxMatrix ? *form->AuxMatrix : F;
      AuxViews[i]->Prepare(15);
      m->ShadowMatrix[i] = &AuxViews[i]->MVP;
    }
    CBufferVS21 *vs = NewCBuffer<CBufferVS21>();
    CBufferParams15 *ps = NewCBuffer<CBufferParams15>();
    FillShaderMaterial3ConstantsA(vs->Reg, v, m);
    FillShaderMaterial3ConstantsB(ps->Reg, v, &RenderEnv, m);
    cb[0] = vs;
    cb[1] = ps;
    if(mirror)
    {
      // the reflection culls the other faces and samples no second texture
      variant = 1;
      heldTexture = m->Texture[1];
      m->Texture[1] = nullptr;
    }
    break;
  }
  case 6:
  {
    ShaderMaterial5 *m = static_cast<ShaderMaterial5 *>(mtrl);
    m->Color = form->Colour;
    if(const StripWords *s = form->GetStripWords())
    {
      const sF32 *w = s->Words;
      // the origin offset moves the whole ribbon in the form's space, so that a ribbon
      // whose material puts its start at Radius from the axis can begin on its root
      m->Offset.Init(w[StripWords::OriginOffset], w[StripWords::OriginOffset + 1], w[StripWords::OriginOffset + 2]);
      m->Phase = w[StripWords::Spin] + w[StripWords::StripTime];
      m->Up.Init(w[StripWords::ViewDirection], w[StripWords::ViewDirection + 1], w[StripWords::ViewDirection + 2]);
      m->WindowLength = w[StripWords::GrowthLimit];
      m->WindowEnd = w[StripWords::GrowthCounter];
      m->Wave1 = w[StripWords::StripParamB];
      m->Wave2 = w[StripWords::StripParamC];
      m->WaveAmplitude = w[StripWords::StripParamD];
      m->Wave3 = w[StripWords::Curl1];
      m->Wave4 = w[StripWords::Curl2];
      m->Radius = w[StripWords::Radius];
      m->FadeStart = w[StripWords::Speed];
    }
    m->FadePoint = sMulDirMat3x4(E, rot);
    m->FadeOrigin = F.l;
    if(MaterialSet->MaterialTable[form->MaterialIndex].BlendWord == BlendAlpha)
    {
      // the window fades alpha only
      m->Tint.Init(0, 0, 0, 1);
      m->TintAdd.Init(1, 1, 1, 0);
    }
    else
    {
      m->Tint.Init(1, 1, 1, 0);
      m->TintAdd.Init(0, 0, 0, 0);
    }
    CBufferVS10 *vs = NewCBuffer<CBufferVS10>();
    CBufferParams5 *ps = NewCBuffer<CBufferParams5>();
    FillShaderMaterial5ConstantsA(vs->Reg, v, &RenderEnv, m);
    FillShaderMaterial5ConstantsB(ps->Reg, m);
    cb[0] = vs;
    cb[1] = ps;
    break;
  }
  case 7: case 8:
  {
    ShaderMaterial4 *m = static_cast<ShaderMaterial4 *>(mtrl);
    if(const SuperShapeParams *p = form->GetSuperShapeParams())
    {
      m->ShapeA.Init(p->ShapeA[0], p->ShapeA[1], p->ShapeA[2], p->ShapeA[3]);
      m->ShapeB.Init(p->ShapeB[0], p->ShapeB[1], p->ShapeB[2], p->ShapeB[3]);
      m->Scale.Init(p->Scale[0], p->Scale[1], p->Scale[2]);
      m->Gradient.Init(p->SuperWordA, p->SuperWordC, p->SuperWordB);
      m->GlowScale = p->SuperWordD;
    }
    m->Color = form->Colour;
    SetLights(RenderEnv, ls);
    for(sInt i = 0; i < 3; i++) RenderEnv.LightVectors[i] = ls->Positions[i];
    CBufferVS23 *vs = NewCBuffer<CBufferVS23>();
    CBufferParams1 *ps = NewCBuffer<CBufferParams1>();
    FillShaderMaterial4ConstantsA(vs->Reg, v, &RenderEnv, m);
    FillShaderMaterial4ConstantsB(ps->Reg, m);
    cb[0] = vs;
    cb[1] = ps;
    break;
  }
  case 9: case 10: case 11:
  {
    ShaderMaterial6 *m = static_cast<ShaderMaterial6 *>(mtrl);
    if(const PointWords *p = form->GetPointWords())
    {
      m->DepthRange = p->DepthRange;
      m->DepthOffset = p->DepthOffset;
      m->Brightness = p->Brightness;
    }
    if(m->DistanceFadeOption != form->MaterialOption)
    {
      m->DistanceFadeOption = form->MaterialOption;
      m->Prepare(sVertexFormatPosColUV2);
    }
    if(m->DistanceFadeOption) m->FadeCenter = E - F.l;
    CBufferMatrix3V *vs = NewCBuffer<CBufferMatrix3V>();
    CBufferParams1 *ps = NewCBuffer<CBufferParams1>();
    FillShaderMaterial6ConstantsA(vs->Reg, v, &RenderEnv, m);
    FillShaderMaterial6ConstantsB(ps->Reg, m);
    cb[0] = vs;
    cb[1] = ps;
    break;
  }
  case 12:
  {
    ShaderMaterial8 *m = static_cast<ShaderMaterial8 *>(mtrl);
    SetLights(RenderEnv, ls);
    for(sInt i = 0; i < 3; i++) RenderEnv.LightVectors[i] = sMulPointMat3x4(ls->Positions[i], inv);
    m->EyePosition = sMulPointMat3x4(E, inv);
    CBufferMatrix1V *vs = NewCBuffer<CBufferMatrix1V>();
    CBufferParams9 *ps = NewCBuffer<CBufferParams9>();
    FillShaderMaterial8ConstantsA(vs->Reg, v, &RenderEnv, m);
    FillShaderMaterial8ConstantsB(ps->Reg, v, &RenderEnv, m);
    cb[0] = vs;
    cb[1] = ps;
    break;
  }
  case 13:
  {
    ShaderMaterial13 *m = static_cast<ShaderMaterial13 *>(mtrl);
    SetLights(RenderEnv, ls);
    for(sInt i = 0; i < 3; i++) RenderEnv.LightVectors[i] = sMulDirMat3x4(ls->Positions[i], rot);
    m->EyePosition = sMulDirMat3x4(E, rot);
    m->Offset = F.l;
    for(sInt i = 0; i < 3; i++) m->ShadowMatrix[i] = &AuxViews[i]->MVP;
    CBufferVS17 *vs = NewCBuffer<CBufferVS17>();
    CBufferParams11 *ps = NewCBuffer<CBufferParams11>();
    FillShaderMaterial13ConstantsA(vs->Reg, v, &RenderEnv, m);
    FillShaderMaterial13ConstantsB(ps->Reg, v, &RenderEnv, m);
    cb[0] = vs;
    cb[1] = ps;
    break;
  }
  case 14:
  {
    ShaderMaterial7 *m = static_cast<ShaderMaterial7 *>(mtrl);
    m->Color = form->Colour;
    if(const GradeWords *g = form->GetGradeWords())
    {
      m->Offset = g->Offset;
      m->Gain = g->Gain;
      m->AlphaThreshold = g->AlphaThreshold;
      m->AlphaGain = g->AlphaGain;
      m->AlphaBase = g->AlphaBase;
      m->Saturation = g->Saturation;
    }
    CBufferMatrix *vs = NewCBuffer<CBufferMatrix>();
    CBufferParams6 *ps = NewCBuffer<CBufferParams6>();
    FillViewMatrix(vs->Reg, v);
    FillShaderMaterial7Constants(ps->Reg, m);
    cb[0] = vs;
    cb[1] = ps;
    break;
  }
  default:
  {
    ShaderMaterial15 *m = static_cast<ShaderMaterial15 *>(mtrl);
    m->Color = form->Colour;
    SetLights(RenderEnv, ls);
    for(sInt i = 0; i < 3; i++) RenderEnv.LightVectors[i] = sMulDirMat3x4(ls->Positions[i], rot);
    m->EyePosition = sMulDirMat3x4(E, rot);
    CBufferVS16 *vs = NewCBuffer<CBufferVS16>();
    FillShaderMaterial15Constants(vs->Reg, v, &RenderEnv, m);
    cb[0] = vs;
    cbCount = 1;
    break;
  }
  }

  mtrl->Set(cb, cbCount, variant);
  if(heldTexture) mtrl->Texture[1] = heldTexture;
  form->Draw(v);
}

/****************************************************************************/
/***   Full-screen passes                                                 ***/
/****************************************************************************/

void Scene::BindShaderMaterial1(ShaderMaterial1 *material, sViewport *view)
{
  CBufferMatrix3V *vs = NewCBuffer<CBufferMatrix3V>();
  FillShaderMaterial1ConstantsA(vs->Reg, view, &RenderEnv, material);
  sCBufferBase *cb[2] = {vs, nullptr};
  sInt count = 1;
  if(material->Options[ShaderMaterial1::Contrast])
  {
    CBufferParams1 *ps = NewCBuffer<CBufferParams1>();
    FillShaderMaterial1ConstantsB(ps->Reg, material);
    cb[1] = ps;
    count = 2;
  }
  material->Set(cb, count, 0);
}

namespace
{
// The view's transform and one pixel buffer, variant 0.
template <class PS> void BindScreenPass(sMaterial *material, sViewport *view, PS *ps)
{
  CBufferMatrix *vs = NewCBuffer<CBufferMatrix>();
  FillViewMatrix(vs->Reg, view);
  sCBufferBase *cb[2] = {vs, ps};
  material->Set(cb, 2, 0);
}
}  // namespace

void Scene::BindShaderMaterial7(ShaderMaterial7 *material, sViewport *view)
{
  CBufferParams6 *ps = NewCBuffer<CBufferParams6>();
  FillShaderMaterial7Constants(ps->Reg, material);
  BindScreenPass(material, view, ps);
}

void Scene::BindShaderMaterial9(ShaderMaterial9 *material, sViewport *view)
{
  CBufferParams2 *ps = NewCBuffer<CBufferParams2>();
  FillShaderMaterial9Constants(ps->Reg, material);
  BindScreenPass(material, view, ps);
}

void Scene::BindShaderMaterial10(ShaderMaterial10 *material, sViewport *view)
{
  CBufferParams5 *ps = NewCBuffer<CBufferParams5>();
  FillShaderMaterial10Constants(ps->Reg, material);
  BindScreenPass(material, view, ps);
}

void Scene::BindShaderMaterial11(ShaderMaterial11 *material, sViewport *view)
{
  CBufferParams2 *ps = NewCBuffer<CBufferParams2>();
  FillShaderMaterial11Constants(ps->Reg, material);
  BindScreenPass(material, view, ps);
}

void Scene::BindShaderMaterial12(ShaderMaterial12 *material, sViewport *view)
{
  CBufferParams1 *ps = NewCBuffer<CBufferParams1>();
  FillShaderMaterial12Constants(ps->Reg, material);
  BindScreenPass(material, view, ps);
}

void Scene::BindShaderMaterial14(ShaderMaterial14 *material, sViewport *view, sRenderEnv *renderEnv)
{
  CBufferParams8 *ps = NewCBuffer<CBufferParams8>();
  FillShaderMaterial14Constants(ps->Reg, renderEnv, material);
  BindScreenPass(material, view, ps);
}

/****************************************************************************/
/***   Shadows                                                            ***/
/****************************************************************************/

// Each light i looks from its direction (times the setup's distance) at the origin
// through auxiliary view i, an orthographic view that covers +-Distance across and
// reaches as far as the scene's main view does for the setup (its FarClip): the light
// sits Distance away from what it lights. The casters are drawn with the third
// auxiliary material: the vertex colour is the light's channel colour faded by the light
// view's depth z to 1 - z, and blended by maximum into the cleared first target, so
// channel i ends up holding 1 - z of the caster nearest to light i. That is the depth the shadowed
// materials compare with (their shadow scale 1 and offset 0); the auxiliary views keep
// the light projections the materials' shadow matrices point at.
void Scene::RenderLightDepths(ShadowSetup *rs, sU32 casterMask, const sU32 *channels)
{
  sVERIFY(rs->LightSetIndex>=0 && rs->LightSetIndex<sTMD_LIGHTSETS);
  sVERIFY(MaterialSet);
  const LightSet *ls = MaterialSet->LightSets[rs->LightSetIndex];

  MainView->ClipFar = rs->FarClip;
  MainView->Prepare(15);

  ShaderMaterial1 *caster = Materials[2];
  caster->Options[ShaderMaterial1::AlphaFromColor] = 1;
  caster->Options[ShaderMaterial1::DepthFade] = 1;
  caster->FadeCenter = 0.0f;
  caster->FadeRange = 1.0f;
  caster->FadeMax = 1.0f;
  caster->S.Flags = 0;
  caster->S.BlendColor = BlendMax;
  caster->S.BlendAlpha = 0xffffffff;
  caster->Prepare(sVertexFormatPosNormUV);

  if(rs->Targets[0])
  {
    sRenderTargetSpec spec(sRTF_CLEAR_COLOR | sRTF_NO_MULTISAMPLE, 0, nullptr, rs->Targets[0], nullptr);
    sSetTarget(spec);
  }
  for(sInt i = 0; i < rs->LightCount; i++)
  {
    sVec3 pos = ls->Directions[i] * rs->Distance;
    rs->LightPositions[i] = pos;
    sViewport *lv = AuxViews[i];
    lv->Orthogonal = sVO_ZOOM;
    lv->Camera.Identity();
    lv->Camera.LookAt(sVec3(0, 0, 0), pos);
    lv->ClipNear = 0.0f;
    lv->ClipFar = rs->FarClip;
    lv->ZoomX = lv->ZoomY = rs->Distance > 0 ? 1.0f / rs->Distance : 1.0f;
    lv->CenterX = lv->CenterY = 0.5f;
    lv->Prepare(15);
    if(!rs->Targets[0]) continue;

    caster->Color = channels[i];
    for(sInt n = 0; n < ObjectCount; n++)
    {
      Form *f = Objects[n];
      if(!(f->LayerMask & casterMask & LayerMask)) continue;
      lv->Model = f->Matrix;
      lv->Prepare(15);
      CBufferMatrix3V *vs = NewCBuffer<CBufferMatrix3V>();
      FillShaderMaterial1ConstantsA(vs->Reg, lv, &RenderEnv, caster);
      sCBufferBase *cb[1] = {vs};
      caster->Set(cb, 1, 0);
      f->Draw(lv);
    }
  }
  if(rs->Targets[0])
  {
    sRenderTargetSpec spec(sRTF_NO_MULTISAMPLE, 0, nullptr, sGetScreenColorBuffer(DisplayIndex), sGetScreenDepthBuffer());
    sSetTarget(spec);
  }
}

namespace
{
sMat4x4 Mat4(const sMat3x4 &m)
{
  sMat4x4 r;
  const sVec3 *rows[4] = {&m.i, &m.j, &m.k, &m.l};
  for(sInt n = 0; n < 4; n++) r.m[n][0] = rows[n]->x, r.m[n][1] = rows[n]->y, r.m[n][2] = rows[n]->z, r.m[n][3] = n == 3;
  return r;
}

// Draws the scene's objects on the caster layers, all but skip, with the caster material:
// each through its own matrix, then carry.
void DrawCasters(Scene &scene, ShaderMaterial1 *caster, sU32 casterMask, const sMat4x4 &carry, const Form *skip,
                 sViewport &through)
{
  for(sInt k = 0; k < scene.ObjectCount; k++)
  {
    Form *f = scene.Objects[k];
    if(!(f->LayerMask & casterMask & scene.LayerMask) || f == skip) continue;
    through.MVP = Mat4(f->Matrix) * carry;
    CBufferMatrix3V *vs = NewCBuffer<CBufferMatrix3V>();
    FillShaderMaterial1ConstantsA(vs->Reg, &through, &scene.RenderEnv, caster);
    sCBufferBase *cb[1] = {vs};
    caster->Set(cb, 1, 0);
    f->Draw(&through);
  }
}

// Where the light mask of a receiver lies: a plane grid with a second uv pair (vertex
// format selector 3) maps its local (x, y, 0) affinely to that pair, which is what its
// material reads the mask at. out maps world points to the pair (x = u, y = v, w = 1).
// Receivers of other shapes have no such map and get no mask.
sBool MaskMap(Form *form, sMat4x4 &out)
{
  const ArrayForm *a = dynamic_cast<const ArrayForm *>(form);
  if(!a || a->Shape != ArrayForm::PLANE || a->FormatSel != 3 || a->Range0[0] == 0 || a->Range0[1] == 0) return 0;
  // u1 = s R2.x - R2.z with s = (x - R0.z) / R0.x, v1 likewise from y
  const sF32 au = a->Range2[0] / a->Range0[0], av = a->Range2[1] / a->Range0[1];
  sMat4x4 uv;
  uv.m[0][0] = au;
  uv.m[1][1] = av;
  uv.m[2][2] = 0.0f;
  uv.m[3][0] = -a->Range0[2] * au - a->Range2[2];
  uv.m[3][1] = -a->Range0[3] * av - a->Range2[3];
  sMat3x4 inv = form->Matrix;
  inv.InvertOrthonormal();
  out = Mat4(inv) * uv;
  return 1;
}

// Moves world points along dir onto the plane n.p + d = 0 (row vectors, w kept at 1).
sMat4x4 ProjectAlong(const sVec3 &n, sF32 d, const sVec3 &dir)
{
  const sF32 plane[4] = {n.x, n.y, n.z, d}, along[3] = {dir.x, dir.y, dir.z};
  const sF32 nd = sDot(n, dir);
  sMat4x4 m;
  for(sInt r = 0; r < 4; r++)
    for(sInt c = 0; c < 3; c++) m.m[r][c] -= plane[r] * along[c] / nd;
  return m;
}

void PrepareAux(ShaderMaterial1 *m, sTextureBase *texture, sU32 blend, sVertexFormat *format)
{
  m->Texture[0] = texture;
  m->S.Flags = 0;
  m->S.BlendColor = blend;
  m->Prepare(format);
}
}  // namespace

// The light mask of a plane receiver, in its second uv space, into the setup's second
// target: channel i is 0 where light i reaches the plane and 1 where it does not. Each
// light adds its spot (the setup's third texture, projected from the light along its
// direction) into its channel; the casters, moved along the light's direction onto the
// plane, take their shadows out of it again; last, a quad of the setup's fourth texture
// (white) turns the light into the mask. The mask's texels repeat with the receiver's
// second uv pair, so each tile of the receiver holds the same pool of light.
void Scene::RenderLightMask(Form *form, ShadowSetup *rs, sU32 casterMask)
{
  sMat4x4 toMask;
  if(!rs->Targets[1] || !MaskMap(form, toMask)) return;
  sVERIFY(rs->LightCount>=0 && rs->LightCount<=3);
  sVERIFY(MaterialSet && rs->LightSetIndex>=0 && rs->LightSetIndex<sTMD_LIGHTSETS);
  const LightSet *ls = MaterialSet->LightSets[rs->LightSetIndex];
  sVec3 n = form->Matrix.k;
  n.Unit();
  const sF32 d = -sDot(n, form->Matrix.l);

  ShaderMaterial1 *spot = Materials[1], *caster = Materials[0], *combine = Materials[3];
  PrepareAux(spot, rs->Targets[2], BlendAdd, sVertexFormatPosColUV);
  PrepareAux(combine, rs->Targets[3], BlendInvert, sVertexFormatPosColUV);
  // the caster's flat colour: the depth fade at its centre (the projection's z is 0.5)
  caster->Options[ShaderMaterial1::AlphaFromColor] = 1;
  caster->Options[ShaderMaterial1::DepthFade] = 1;
  caster->FadeCenter = 0.5f;
  caster->FadeRange = 1.0f;
  caster->FadeMax = 1.0f;
  PrepareAux(caster, nullptr, BlendDarken, sVertexFormatPosNormUV);

  sRenderTargetSpec spec(sRTF_CLEAR_COLOR | sRTF_NO_MULTISAMPLE, 0, nullptr, rs->Targets[1], nullptr);
  sSetTarget(spec);
  OverlayView->SetTarget();
  OverlayView->Prepare(15);
  const sF32 W = sF32(OverlayView->TargetSizeX), H = sF32(OverlayView->TargetSizeY);
  // the target's clip space: x = 2u - 1, y = 1 - 2v, z = 0.5
  sMat4x4 toClip;
  toClip.m[0][0] = 2.0f;
  toClip.m[1][1] = -2.0f;
  toClip.m[2][2] = 0.0f;
  toClip.m[3][0] = -1.0f;
  toClip.m[3][1] = 1.0f;
  toClip.m[3][2] = 0.5f;
  const sMat4x4 toMaskClip = toMask * toClip;

  struct Vertex
  {
    sF32 x, y, z;
    sU32 c;
    sF32 u, v;
  };
  auto quad = [&](ShaderMaterial1 *m, const sVec3 *uvz) {
    BindShaderMaterial1(m, OverlayView);
    void *p = nullptr;
    QuadGeometry0->BeginLoadVB(4, sGD_STREAM, &p);
    Vertex *v = static_cast<Vertex *>(p);
    for(sInt k = 0; k < 4; k++)
      v[k] = {uvz[k].x * W, uvz[k].y * H, 0.5f, 0xFFFFFFFF, sF32(k == 1 || k == 2), sF32(k >= 2)};
    QuadGeometry0->EndLoadVB();
    QuadGeometry0->Draw();
  };

  sMat4x4 along[3];
  sBool reaches[3] = {0, 0, 0};
  for(sInt i = 0; i < rs->LightCount; i++)
  {
    const sVec3 dir = ls->Directions[i];
    // a light along the plane reaches none of it
    if(std::fabs(sDot(n, dir)) < 1e-3f) continue;
    reaches[i] = 1;
    along[i] = ProjectAlong(n, d, dir);
    // the square the light's view covers around the origin, carried onto the plane
    sMat3x4 cam;
    cam.LookAt(sVec3(0, 0, 0), dir * rs->Distance);
    sVec3 corners[4];
    for(sInt k = 0; k < 4; k++)
    {
      const sVec3 c = cam.i * (k == 1 || k == 2 ? rs->Distance : -rs->Distance) + cam.j * (k >= 2 ? -rs->Distance : rs->Distance);
      const sVec4 m = sMulPointMat4x4(c, along[i] * toMask);
      corners[k] = sVec3(m.x, m.y, 0.0f);
    }
    spot->Color = PrePassChannels[i] | 0xFF000000;
    quad(spot, corners);
  }

  // the casters take the share of the light their strength gives; strength 0 casts nothing
  const sF32 darkness = std::min(1.0f, ShadowGain * std::max(rs->Strength, 0.0f));
  const sU32 take = sU32(darkness * 255.0f + 0.5f);
  sViewport through;
  for(sInt i = 0; i < rs->LightCount && take; i++)
  {
    if(!reaches[i]) continue;
    const sMat4x4 carry = along[i] * toMaskClip;
    caster->Color = 0xFF000000 | (((take << 16) | (take << 8) | take) & PrePassChannels[i]);
    DrawCasters(*this, caster, casterMask, carry, form, through);
  }

  const sVec3 whole[4] = {sVec3(0, 0, 0), sVec3(1, 0, 0), sVec3(1, 1, 0), sVec3(0, 1, 0)};
  combine->Color = 0xFFFFFFFF;
  quad(combine, whole);

  sRenderTargetSpec screen(sRTF_NO_MULTISAMPLE, 0, nullptr, sGetScreenColorBuffer(DisplayIndex), sGetScreenDepthBuffer());
  sSetTarget(screen);
}

void Scene::RenderShadowMaps(Form *form)
{
  ShadowSetup *rs = form->Shadow;
  sVERIFY(rs->LightCount<=3);
  sVERIFY(rs->LightCount>=0);
  RenderLightDepths(rs, sU32(form->ShadowSwitch), PrePassChannels);
  RenderLightMask(form, rs, sU32(form->ShadowSwitch));
}

void Scene::RenderFormShadow(Form *form, sViewport *view)
{
  ShadowSetup *rs = form->ShadowRecord;
  sVERIFY(rs->LightCount<=3);
  sVERIFY(rs->LightCount>=0);
  RenderLightDepths(rs, form->ShadowCasterMask, RecordChannels);
  RenderProjectedShadow(rs, form->ShadowCasterMask, view ? view : MainView);
}

void Scene::RenderProjectedShadow(ShadowSetup *rs, sU32 casterMask, sViewport *view)
{
  // the record's third target: the second is the machine's held screen, which the IPP
  // machine shows again in later frames
  sTexture2D *mask = rs->Targets[2];
  if(!mask || !view || !(rs->Strength > 0.0f) || !MaterialSet) return;
  sVERIFY(rs->LightSetIndex>=0 && rs->LightSetIndex<sTMD_LIGHTSETS);
  const LightSet *ls = MaterialSet->LightSets[rs->LightSetIndex];
  const sF32 darkness = std::min(1.0f, ShadowGain * rs->Strength);

  // The ground: the first plane of the object list that takes the shadow pre-pass. A
  // scene without one has nothing for a projected shadow to fall on.
  const ArrayForm *ground = nullptr;
  for(sInt k = 0; k < ObjectCount && !ground; k++)
  {
    const ArrayForm *a = dynamic_cast<const ArrayForm *>(Objects[k]);
    if(a && a->Shape == ArrayForm::PLANE && a->Shadow && a->ShadowSwitch && (a->LayerMask & LayerMask)) ground = a;
  }
  if(!ground) return;
  // its normal towards the camera; the shadow lies a little above it, so that the ground's
  // own depth keeps it
  const sVec3 origin = ground->Matrix.l;
  sVec3 up = ground->Matrix.k;
  up.Unit();
  if(sDot(up, view->Camera.l - origin) < 0) up = up * -1.0f;
  const sF32 reach = rs->Distance > 0 ? rs->Distance : 1.0f, lift = 0.002f * reach;
  const sF32 plane = -sDot(up, origin) - lift;
  view->Model.Identity();
  view->Prepare(15);
  const sMat4x4 camera = view->MVP;

  ShaderMaterial1 *caster = Materials[0], *combine = Materials[3];
  // a flat white: the depth fade over a range no depth reaches
  caster->Options[ShaderMaterial1::AlphaFromColor] = 1;
  caster->Options[ShaderMaterial1::DepthFade] = 1;
  caster->FadeCenter = 0.0f;
  caster->FadeRange = 1e30f;
  caster->FadeMax = 1.0f;
  caster->Color = 0xFFFFFFFF;
  PrepareAux(caster, nullptr, 0, sVertexFormatPosNormUV);
  for(sInt o = 0; o < ShaderMaterial1::OptionCount; o++) combine->Options[o] = 0;
  combine->S.TextureFlags[0] = 0x11000010;   // clamped: the screen's edge does not wrap
  PrepareAux(combine, mask, BlendDarken, sVertexFormatPosColUV);
  // hidden where something stands in front; the screen's alpha, which the final
  // composition blends the picture with, stays as the scene left it
  combine->S.Flags = sMTRL_ZREAD | sMTRL_MSK_ALPHA;
  combine->Prepare(sVertexFormatPosColUV);

  // The combine's quads: a grid over the ground, each corner with the screen position the
  // camera gives it as its texture coordinate, so the quads carry the mask back onto the
  // ground. Cells that reach behind the camera are left out.
  constexpr sInt Cells = 24;
  struct Corner
  {
    sF32 x, y, z, u, v;
    sBool Seen;
  };
  static Corner grid[Cells + 1][Cells + 1];
  for(sInt r = 0; r <= Cells; r++)
    for(sInt c = 0; c <= Cells; c++)
    {
      const sVec3 local(ground->Range0[0] * c / Cells + ground->Range0[2], ground->Range0[1] * r / Cells + ground->Range0[3], 0);
      const sVec3 p = sMulPointMat3x4(local, ground->Matrix) + up * lift;
      const sVec4 h = sMulPointMat4x4(p, camera);
      Corner &k = grid[r][c];
      k = {p.x, p.y, p.z, 0, 0, h.w > 1e-3f};
      if(k.Seen) k.u = (h.x / h.w + 1.0f) * 0.5f, k.v = (1.0f - h.y / h.w) * 0.5f;
    }

  struct Vertex
  {
    sF32 x, y, z;
    sU32 c;
    sF32 u, v;
  };
  sViewport through;
  for(sInt i = 0; i < rs->LightCount; i++)
  {
    const sVec3 dir = ls->Directions[i];
    // a light below the ground or along it throws no shadow onto it
    if(sDot(dir, up) < 0.05f) continue;

    // the casters flattened onto the ground, white on black, as the camera sees them
    sRenderTargetSpec target(sRTF_CLEAR_COLOR | sRTF_NO_MULTISAMPLE, 0, nullptr, mask, nullptr);
    sSetTarget(target);
    const sMat4x4 flatten = ProjectAlong(up, plane, dir) * camera;
    DrawCasters(*this, caster, casterMask, flatten, nullptr, through);

    // laid over the ground five times, shifted by the softness, each taking its share
    sRenderTargetSpec screen(sRTF_NO_MULTISAMPLE, 0, nullptr, sGetScreenColorBuffer(DisplayIndex), sGetScreenDepthBuffer());
    sSetTarget(screen);
    view->Model.Identity();
    view->Prepare(15);
    const sF32 soft = rs->Strength * ShadowSoftness;
    const sF32 aspect = view->TargetSizeY > 0 ? sF32(view->TargetSizeX) / sF32(view->TargetSizeY) : 1.0f;
    const sF32 taps[5][2] = {{0, 0}, {soft / aspect, 0}, {-soft / aspect, 0}, {0, soft}, {0, -soft}};
    const sU32 share = sU32(darkness / 5.0f * 255.0f + 0.5f);
    combine->Color = 0xFF000000 | share << 16 | share << 8 | share;
    BindShaderMaterial1(combine, view);
    sInt cells = 0;
    for(sInt r = 0; r < Cells; r++)
      for(sInt c = 0; c < Cells; c++) cells += grid[r][c].Seen && grid[r][c + 1].Seen && grid[r + 1][c].Seen && grid[r + 1][c + 1].Seen;
    if(!cells) continue;
    void *p = nullptr;
    QuadGeometry0->BeginLoadVB(4 * 5 * cells, sGD_STREAM, &p);
    Vertex *v = static_cast<Vertex *>(p);
    for(const auto &t : taps)
      for(sInt r = 0; r < Cells; r++)
        for(sInt c = 0; c < Cells; c++)
        {
          const Corner *q[4] = {&grid[r][c], &grid[r][c + 1], &grid[r + 1][c + 1], &grid[r + 1][c]};
          if(!q[0]->Seen || !q[1]->Seen || !q[2]->Seen || !q[3]->Seen) continue;
          for(const Corner *k : q) *v++ = {k->x, k->y, k->z, 0xFFFFFFFF, k->u + t[0], k->v + t[1]};
        }
    QuadGeometry0->EndLoadVB();
    QuadGeometry0->Draw();
  }
  sRenderTargetSpec screen(sRTF_NO_MULTISAMPLE, 0, nullptr, sGetScreenColorBuffer(DisplayIndex), sGetScreenDepthBuffer());
  sSetTarget(screen);
}

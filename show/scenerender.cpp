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
#include "show/tmdata.hpp"

namespace
{
// Blend words of the render states: source factor, operation and destination factor.
constexpr sU32 BlendAlpha = 0x60105;      // source alpha, add, inverse source alpha
constexpr sU32 BlendMax = 0x20502;        // one, maximum, one

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
      RenderFormShadow(form);
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
      m->Offset.Init(s->Marker[3], s->Marker[4], s->Marker[5]);
      m->Phase = w[StripWords::Spin] + w[StripWords::StripTime];
      m->Up.Init(w[StripWords::ViewDirection], w[StripWords::ViewDirection + 1], w[StripWords::ViewDirection + 2]);
      m->WindowLength = w[StripWords::GrowthLimit];
      m->WindowEnd = w[StripWords::GrowthCounter];
      m->Wave1 = w[StripWords::ParamB];
      m->Wave2 = w[StripWords::ParamC];
      m->WaveAmplitude = w[StripWords::ParamD];
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
      m->Gradient.Init(p->Anim[0], p->Anim[2], p->Anim[1]);
      m->GlowScale = p->Glow;
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
// through auxiliary view i, an orthographic view ClipFar = Depth deep that covers
// +-Distance across. The casters are drawn with the third auxiliary material: the
// vertex colour is the light's channel colour faded by the light view's depth z to
// 1 - z, and blended by maximum into the cleared first target, so channel i ends up
// holding 1 - z of the caster nearest to light i. That is the depth the shadowed
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
    lv->ClipFar = rs->Depth;
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

void Scene::RenderShadowMaps(Form *form)
{
  ShadowSetup *rs = form->Shadow;
  sVERIFY(rs->LightCount<=3);
  sVERIFY(rs->LightCount>=0);
  RenderLightDepths(rs, sU32(form->ShadowSwitch), PrePassChannels);
}

void Scene::RenderFormShadow(Form *form)
{
  ShadowSetup *rs = form->ShadowRecord;
  sVERIFY(rs->LightCount<=3);
  sVERIFY(rs->LightCount>=0);
  RenderLightDepths(rs, form->ShadowCasterMask, RecordChannels);
}

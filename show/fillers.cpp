// The shader constant fillers, one straight run of copies per material class.

#include "show/fillers.hpp"

#include "graphics/shader.hpp"

namespace
{
void PutMat4(sVec4 *r, const sMat4x4 &m)
{
  for(sInt i = 0; i < 4; i++) r[i].Init(m.m[i][0], m.m[i][1], m.m[i][2], m.m[i][3]);
}

// A 3x4 matrix as four rows: i, j, k with w 0 and l with w 1.
void PutMat3x4Rows(sVec4 *r, const sMat3x4 &m)
{
  r[0].Init(m.i.x, m.i.y, m.i.z, 0.0f);
  r[1].Init(m.j.x, m.j.y, m.j.z, 0.0f);
  r[2].Init(m.k.x, m.k.y, m.k.z, 0.0f);
  r[3].Init(m.l.x, m.l.y, m.l.z, 1.0f);
}

void PutVec(sVec4 &r, const sVec3 &v, sF32 w) { r.Init(v.x, v.y, v.z, w); }
void PutAll(sVec4 &r, sF32 v) { r.Init(v, v, v, v); }

// The ambient colour and the three light colours at r[0..3].
void PutLightColors(sVec4 *r, const sRenderEnv *env)
{
  r[0].InitColor(env->Color);
  for(sInt i = 0; i < 3; i++) r[1 + i].InitColor(env->LightColors[i]);
}

void PutLightVectors(sVec4 *r, const sRenderEnv *env)
{
  for(sInt i = 0; i < 3; i++) PutVec(r[i], env->LightVectors[i], 0.0f);
}

// A shadow matrix the material points at; a material that points at none keeps the
// identity the buffer starts with.
void PutShadowMatrix(sVec4 *r, const sMat4x4 *m)
{
  if(m) PutMat4(r, *m);
}

void PutFloatColor(sVec4 &r, sF32 value) { r.InitColor(sShaderFloatColor(value)); }
}  // namespace

void FillViewMatrix(sVec4 *block, const sViewport *view) { PutMat4(block, view->MVP); }

void FillShaderMaterial1ConstantsA(sVec4 *block, const sViewport *view, const sRenderEnv *, const ShaderMaterial1 *m)
{
  PutMat4(block, view->MVP);
  block[4].InitColor(m->Color);
  block[5].x = m->FadeCenter;
  block[5].y = m->FadeRange;
  block[5].z = m->FadeMax;
  block[6].x = m->UvOffset[0];
  block[6].y = m->UvOffset[1];
}

void FillShaderMaterial1ConstantsB(sVec4 *block, const ShaderMaterial1 *m) { block[0].InitColor(m->ContrastColor); }

void FillShaderMaterial2ConstantsA(sVec4 *block, const sViewport *view, const sRenderEnv *env)
{
  PutMat4(block, view->MVP);
  PutLightColors(block + 4, env);
  PutLightVectors(block + 8, env);
}

void FillShaderMaterial2ConstantsB(sVec4 *block, const ShaderMaterial2 *m)
{
  for(sInt i = 0; i < 3; i++) PutFloatColor(block[i], m->LayerColor[i]);
}

void FillShaderMaterial3ConstantsA(sVec4 *block, const sViewport *view, const ShaderMaterial3 *m)
{
  PutMat4(block, view->MVP);
  PutMat3x4Rows(block + 4, m->Placement);
  for(sInt i = 0; i < 3; i++) PutShadowMatrix(block + 8 + 4 * i, m->ShadowMatrix[i]);
  block[20].x = m->UvOffset[0];
  block[20].y = m->UvOffset[1];
}

void FillShaderMaterial3ConstantsB(sVec4 *block, const sViewport *, const sRenderEnv *env, const ShaderMaterial3 *m)
{
  PutLightColors(block, env);
  PutLightVectors(block + 4, env);
  for(sInt i = 0; i < 3; i++) PutFloatColor(block[7 + i], m->LayerColor[i]);
  PutVec(block[10], m->EyePosition, 1.0f);
  block[11].x = m->SpecularScale;
  block[11].y = m->SpecularOffset;
  block[12].InitColor(env->FogColor);
  block[13].x = env->FogStart;
  block[13].y = env->FogEnd;
  block[13].w = m->LightFalloff;
  block[14].x = m->ShadowScale;
  block[14].y = m->ShadowOffset;
}

void FillShaderMaterial4ConstantsA(sVec4 *block, const sViewport *view, const sRenderEnv *env, const ShaderMaterial4 *m)
{
  PutMat4(block, view->MVP);
  PutMat3x4Rows(block + 4, view->Model);
  block[8].InitColor(m->Color);
  PutLightColors(block + 9, env);
  PutLightVectors(block + 13, env);
  PutVec(block[16], view->Camera.l, 1.0f);
  PutVec(block[17], view->Model.l, 1.0f);
  PutVec(block[18], m->Scale, 0.0f);
  block[19] = m->ShapeA;
  block[20] = m->ShapeB;
  block[21].x = m->SpecularScale;
  block[21].y = m->SpecularOffset;
  block[22].x = m->Gradient.x;
  block[22].y = m->Gradient.y;
  block[22].z = m->Gradient.z;
}

void FillShaderMaterial4ConstantsB(sVec4 *block, const ShaderMaterial4 *m) { block[0].x = m->GlowScale; }

void FillShaderMaterial5ConstantsA(sVec4 *block, const sViewport *view, const sRenderEnv *, const ShaderMaterial5 *m)
{
  PutMat4(block, view->MVP);
  PutVec(block[4], m->Up, 0.0f);
  block[5].Init(m->Phase, m->WindowEnd, m->WindowLength, m->WaveAmplitude);
  block[6].Init(m->Wave1, m->Wave2, m->Wave3, m->Wave4);
  block[7].x = m->Radius;
  PutVec(block[8], m->Offset, 1.0f);
  PutVec(block[9], m->FadeOrigin, 1.0f);
}

void FillShaderMaterial5ConstantsB(sVec4 *block, const ShaderMaterial5 *m)
{
  block[0].InitColor(m->Color);
  block[1] = m->Tint;
  block[2] = m->TintAdd;
  PutVec(block[3], m->FadePoint, 1.0f);
  block[4].x = m->FadeStart;
}

void FillShaderMaterial6ConstantsA(sVec4 *block, const sViewport *view, const sRenderEnv *env, const ShaderMaterial6 *m)
{
  PutMat4(block, view->MVP);
  block[4].Init(view->ZoomX, view->ZoomY, env->FogStart, env->FogEnd);
  PutVec(block[5], m->FadeCenter, 1.0f);
  block[6].x = m->DepthRange;
  block[6].y = m->DepthOffset;
}

void FillShaderMaterial6ConstantsB(sVec4 *block, const ShaderMaterial6 *m)
{
  block[0].InitColor(m->Color);
  block[0].x *= m->Brightness;
  block[0].y *= m->Brightness;
  block[0].z *= m->Brightness;
}

void FillShaderMaterial7Constants(sVec4 *block, const ShaderMaterial7 *m)
{
  block[0].InitColor(m->Color);
  PutAll(block[1], m->Offset);
  PutAll(block[2], m->Gain);
  PutAll(block[3], m->Saturation);
  PutAll(block[4], 1.0f - m->Saturation);
  block[5].Init(m->AlphaGain, m->AlphaThreshold, m->AlphaBase, m->HueShift * 0.016666668f);
}

void FillShaderMaterial8ConstantsA(sVec4 *block, const sViewport *view, const sRenderEnv *, const ShaderMaterial8 *m)
{
  PutMat4(block, view->MVP);
  PutVec(block[4], m->Offset, 1.0f);
}

void FillShaderMaterial8ConstantsB(sVec4 *block, const sViewport *, const sRenderEnv *env, const ShaderMaterial8 *m)
{
  PutLightColors(block, env);
  PutVec(block[4], m->EyePosition, 1.0f);
  PutLightVectors(block + 5, env);
  block[8].x = m->DetailScale;
  block[8].y = m->SpecularScale;
  block[8].z = m->SpecularOffset;
}

void FillShaderMaterial9Constants(sVec4 *block, const ShaderMaterial9 *m)
{
  block[0].InitColor(m->Color);
  block[1].Init(m->Step[0], m->Step[1], m->StartSteps[0], m->StartSteps[1]);
}

void FillShaderMaterial10Constants(sVec4 *block, const ShaderMaterial10 *m)
{
  PutAll(block[0], m->Threshold1);
  PutAll(block[1], m->Gain1);
  PutAll(block[2], m->Threshold2);
  PutAll(block[3], m->Gain2);
  block[4].InitColor(m->Color);
}

void FillShaderMaterial11Constants(sVec4 *block, const ShaderMaterial11 *m)
{
  block[0].InitColor(m->Color);
  block[1].x = m->Gain;
  block[1].y = m->Offset;
}

void FillShaderMaterial12Constants(sVec4 *block, const ShaderMaterial12 *m) { block[0].InitColor(m->Color); }

void FillShaderMaterial13ConstantsA(sVec4 *block, const sViewport *view, const sRenderEnv *, const ShaderMaterial13 *m)
{
  PutMat4(block, view->MVP);
  for(sInt i = 0; i < 3; i++) PutShadowMatrix(block + 4 + 4 * i, m->ShadowMatrix[i]);
  PutVec(block[16], m->Offset, 1.0f);
}

void FillShaderMaterial13ConstantsB(sVec4 *block, const sViewport *, const sRenderEnv *env, const ShaderMaterial13 *m)
{
  PutLightColors(block, env);
  PutVec(block[4], m->EyePosition, 1.0f);
  PutLightVectors(block + 5, env);
  block[8].InitColor(env->FogColor);
  block[9].x = m->ShadowScale;
  block[9].y = m->ShadowOffset;
  block[9].z = m->DetailScale;
  block[10].Init(env->FogStart, env->FogEnd, m->SpecularScale, m->SpecularOffset);
}

void FillShaderMaterial14Constants(sVec4 *block, const sRenderEnv *env, const ShaderMaterial14 *m)
{
  PutLightColors(block, env);
  PutVec(block[4], env->LightVectors[0], 0.0f);
  PutVec(block[5], env->LightVectors[1], 0.0f);
  block[6].Init(m->TapOffset, m->SpecularScale, m->SpecularOffset, m->HeightParam5);
  block[7] = m->HeightParams;
}

void FillShaderMaterial15Constants(sVec4 *block, const sViewport *view, const sRenderEnv *env,
                                  const ShaderMaterial15 *m)
{
  PutMat4(block, view->MVP);
  PutLightColors(block + 4, env);
  PutVec(block[8], m->EyePosition, 1.0f);
  PutLightVectors(block + 9, env);
  block[12].InitColor(env->FogColor);
  block[13].x = m->Distances[0];
  block[13].y = m->Distances[1];
  block[14].Init(env->FogStart, env->FogEnd, m->SpecularScale, m->SpecularOffset);
  block[15].InitColor(m->Color);
}

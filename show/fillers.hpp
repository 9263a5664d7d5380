#pragma once
// The shader constant fillers: for one draw, each writes the registers that one material
// class's programs read, from the view, the scene's render environment and the
// material's own fields. They write only their registers (four floats each), convert
// ARGB colours to (r, g, b, a) in 0..1, and neither normalise nor transform: the
// renderer brings lights, eye and fade points into the shader's space first.
//
// The render environment supplies LightVectors[0..2], LightColors[0..2], the ambient
// colour (its Color word) and the fog start, end and colour.
//
// Arguments a filler takes but does not read keep the common order (block, view, env,
// material). Plain functions without state; main thread.

#include "graphics/graphics.hpp"

class ShaderMaterial1;
class ShaderMaterial2;
class ShaderMaterial3;
class ShaderMaterial4;
class ShaderMaterial5;
class ShaderMaterial6;
class ShaderMaterial7;
class ShaderMaterial8;
class ShaderMaterial9;
class ShaderMaterial10;
class ShaderMaterial11;
class ShaderMaterial12;
class ShaderMaterial13;
class ShaderMaterial14;
class ShaderMaterial15;

void FillViewMatrix(sVec4 *block, const sViewport *view);
void FillShaderMaterial1ConstantsA(sVec4 *block, const sViewport *view, const sRenderEnv *env, const ShaderMaterial1 *m);
void FillShaderMaterial1ConstantsB(sVec4 *block, const ShaderMaterial1 *m);
void FillShaderMaterial2ConstantsA(sVec4 *block, const sViewport *view, const sRenderEnv *env);
void FillShaderMaterial2ConstantsB(sVec4 *block, const ShaderMaterial2 *m);
void FillShaderMaterial3ConstantsA(sVec4 *block, const sViewport *view, const ShaderMaterial3 *m);
void FillShaderMaterial3ConstantsB(sVec4 *block, const sViewport *view, const sRenderEnv *env, const ShaderMaterial3 *m);
void FillShaderMaterial4ConstantsA(sVec4 *block, const sViewport *view, const sRenderEnv *env, const ShaderMaterial4 *m);
void FillShaderMaterial4ConstantsB(sVec4 *block, const ShaderMaterial4 *m);
void FillShaderMaterial5ConstantsA(sVec4 *block, const sViewport *view, const sRenderEnv *env, const ShaderMaterial5 *m);
void FillShaderMaterial5ConstantsB(sVec4 *block, const ShaderMaterial5 *m);
void FillShaderMaterial6ConstantsA(sVec4 *block, const sViewport *view, const sRenderEnv *env, const ShaderMaterial6 *m);
void FillShaderMaterial6ConstantsB(sVec4 *block, const ShaderMaterial6 *m);
void FillShaderMaterial7Constants(sVec4 *block, const ShaderMaterial7 *m);
void FillShaderMaterial8ConstantsA(sVec4 *block, const sViewport *view, const sRenderEnv *env, const ShaderMaterial8 *m);
void FillShaderMaterial8ConstantsB(sVec4 *block, const sViewport *view, const sRenderEnv *env, const ShaderMaterial8 *m);
void FillShaderMaterial9Constants(sVec4 *block, const ShaderMaterial9 *m);
void FillShaderMaterial10Constants(sVec4 *block, const ShaderMaterial10 *m);
void FillShaderMaterial11Constants(sVec4 *block, const ShaderMaterial11 *m);
void FillShaderMaterial12Constants(sVec4 *block, const ShaderMaterial12 *m);
void FillShaderMaterial13ConstantsA(sVec4 *block, const sViewport *view, const sRenderEnv *env,
                                   const ShaderMaterial13 *m);
void FillShaderMaterial13ConstantsB(sVec4 *block, const sViewport *view, const sRenderEnv *env,
                                   const ShaderMaterial13 *m);
void FillShaderMaterial14Constants(sVec4 *block, const sRenderEnv *env, const ShaderMaterial14 *m);
void FillShaderMaterial15Constants(sVec4 *block, const sViewport *view, const sRenderEnv *env,
                                  const ShaderMaterial15 *m);

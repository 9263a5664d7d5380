// The show's material classes: constructor defaults and the choice of programs.

#include "graphics/shader.hpp"

#include "graphics/programs.hpp"

#include <cmath>

sU32 sShaderFloatColor(sF32 value)
{
  // 2^63 is exact as a float; anything at or beyond it (and NaN) has no 64-bit integer
  if(!(std::fabs(value) < 9223372036854775808.0f)) return 0;
  return sU32(sU64(sS64(value)));
}

/****************************************************************************/
/***   Program selection                                                  ***/
/****************************************************************************/

using namespace sprograms;

namespace
{
template <sInt NV, sInt NP>
void Select(sMaterial *m, const shadercode::Code (&vs)[NV], sInt v, const shadercode::Code (&ps)[NP], sInt p)
{
  m->VertexShader = MakeShader(VSType, vs, v);
  m->PixelShader = MakeShader(PSType, ps, p);
}

// Options count only as set or not, so no value can reach past a table.
sInt On(sInt option)
{
  return option != 0 ? 1 : 0;
}

// A slot that holds a texture, as an index into the program tables.
sInt Used(const sMaterial *m, sInt slot)
{
  return m->Texture[slot] ? 1 : 0;
}

constexpr sU32 AdditiveBlend = 0x20102;   // source one, add, destination one
}

/****************************************************************************/
/***   ShaderMaterial1                                                    ***/
/****************************************************************************/

ShaderMaterial1::ShaderMaterial1()
{
  for(sInt &o : Options) o = 0;
  Color = 0xffffffff;
  FadeCenter = 1000.0f;
  FadeRange = 1000.0f;
  FadeMax = 1.0f;
  UvOffset[0] = UvOffset[1] = 0.0f;
  ContrastColor = 0;
}

void ShaderMaterial1::SelectShaders(sVertexFormat *)
{
  // 0: one texture; 1: the second multiplies all four channels; 2: the second gives alpha
  sInt texMode = Used(this, 1) ? (On(Options[SecondAlpha]) ? 2 : 1) : 0;
  sInt v = texMode + 4 * On(Options[DepthFade]) + 8 * On(Options[VertexColor]) + 16 * On(Options[UvScroll]);
  // the programs drop Contrast and LumaBoost where they do not apply
  sInt p = On(Options[AlphaFromColor]) + 2 * On(Options[InvertAlpha]) + 4 * texMode + 16 * On(Options[DepthFade]) +
           32 * On(Options[DoubleColor]) + 64 * On(Options[Contrast]) + 128 * On(Options[LumaBoost]);
  Select(this, shadercode::Material1VS, v, shadercode::Material1PS, p);
}

/****************************************************************************/
/***   ShaderMaterial2                                                    ***/
/****************************************************************************/

ShaderMaterial2::ShaderMaterial2()
{
  for(sF32 &c : LayerColor) c = -1.0f;
}

void ShaderMaterial2::SelectShaders(sVertexFormat *)
{
  sInt layers = Used(this, 1) & Used(this, 2) & Used(this, 3);
  Select(this, shadercode::Material2VS, 0, shadercode::Material2PS, layers);
}

/****************************************************************************/
/***   ShaderMaterial3                                                    ***/
/****************************************************************************/

ShaderMaterial3::ShaderMaterial3()
{
  for(sF32 &c : LayerColor) c = -1.0f;
  SpecularScale = 16.0f;
  SpecularOffset = 15.8f;
  EyePosition.Init(0, 0, 0);
  Reserved = 0;
  UvOffset[0] = UvOffset[1] = 0.0f;
  AttenuationOption = 0;
  LightFalloff = 0.01f;
  EnvironmentMapOption = 0;
  ReflectionLayerOption = 0;
  for(const sMat4x4 *&s : ShadowMatrix) s = nullptr;
  ShadowScale = 1.0f;
  ShadowOffset = 0.0f;
}

void ShaderMaterial3::SelectShaders(sVertexFormat *)
{
  sInt env = On(EnvironmentMapOption);
  sInt refl = On(ReflectionLayerOption);
  sInt layers = Used(this, 1) & Used(this, 2) & Used(this, 3);
  sInt alone = Used(this, 1) & (1 - Used(this, 2)) & (1 - Used(this, 3));
  // Texture[1] alone holds the lights' depth maps: those vertex programs write the shadow
  // coordinates unless the reflection layer takes Texture[1]. The pixel stage reads the
  // maps only then, so it never reads coordinates the vertex stage left unwritten.
  sInt v = env + 2 * refl + 4 * alone;
  sInt base = layers ? 2 : refl ? 1 : alone ? 8 : 0;
  Select(this, shadercode::Material3VS, v, shadercode::Material3PS, base + 4 * On(AttenuationOption));
}

/****************************************************************************/
/***   ShaderMaterial4                                                    ***/
/****************************************************************************/

ShaderMaterial4::ShaderMaterial4()
{
  Scale.Init(1, 1, 1);
  ShapeA.Init(6, 1, 1, 1);
  ShapeB.Init(3, 1, 1, 1);
  SpecularScale = 11.0f;
  SpecularOffset = 10.0f;
  Color = 0xffffffff;
  Gradient.Init(0.5f, 0.5f, 0.5f);
  HeightGradientOption = 0;
  GlowScale = 1.0f;
}

void ShaderMaterial4::SelectShaders(sVertexFormat *)
{
  sInt g = On(HeightGradientOption);
  Select(this, shadercode::Material4VS, g, shadercode::Material4PS, g);
}

/****************************************************************************/
/***   ShaderMaterial5                                                    ***/
/****************************************************************************/

ShaderMaterial5::ShaderMaterial5()
{
  // the colour and the window are the owner's to set before every draw; they start
  // defined all the same
  Color = 0;
  Offset.Init(0, 0, 0);
  Up.Init(1, 0, 0);
  Phase = 0.0f;
  WindowEnd = 0.0f;
  WindowLength = 0.0f;
  Tint.Init(1, 1, 1, 1);
  TintAdd.Init(0, 0, 0, 0);
  Wave1 = 1.0f;
  Wave2 = 1.0f;
  WaveAmplitude = 0.3f;
  Wave3 = 1.0f;
  Wave4 = 0.2f;
  Radius = 28.0f;
  FadePoint.Init(0, 0, 0);
  FadeOrigin.Init(0, 0, 0);
  FadeStart = 100.0f;
}

void ShaderMaterial5::SelectShaders(sVertexFormat *)
{
  Select(this, shadercode::Material5VS, 0, shadercode::Material5PS, 0);
}

/****************************************************************************/
/***   ShaderMaterial6                                                    ***/
/****************************************************************************/

ShaderMaterial6::ShaderMaterial6()
{
  FadeCenter.Init(0, 0, 0);
  DistanceFadeOption = 0;
  DepthOption = 0;
  SoftOption = 0;
  DepthRange = 200.0f;
  DepthOffset = 0.0f;
  Color = 0xffffffff;
  Brightness = 0.0f;   // the owner sets it per draw; until then it starts defined
}

void ShaderMaterial6::SelectShaders(sVertexFormat *)
{
  // the depth programs win over the soft ones, which need the depth picture first
  sInt v = On(DepthOption) ? 2 : On(SoftOption) ? 4 : On(DistanceFadeOption);
  Select(this, shadercode::Material6VS, v, shadercode::Material6PS, v);
}

/****************************************************************************/
/***   ShaderMaterial7                                                    ***/
/****************************************************************************/

ShaderMaterial7::ShaderMaterial7()
{
  Color = 0xffffffff;
  Offset = 0.0f;
  Gain = 1.0f;
  AlphaThreshold = 0.0f;
  AlphaGain = 1.0f;
  AlphaBase = 1.0f;
  Saturation = 1.0f;
  HueOption = 0;
  ColorizeOption = 0;
  HueShift = 0.0f;
  TextureAlphaOption = 0;
}

void ShaderMaterial7::SelectShaders(sVertexFormat *)
{
  // ColorizeOption without HueOption picks a program equal to the plain one
  sInt p = 2 * On(HueOption) + (S.BlendColor == AdditiveBlend ? 1 : 0) + 4 * On(ColorizeOption) +
           8 * On(TextureAlphaOption);
  Select(this, shadercode::Material7VS, 0, shadercode::Material7PS, p);
}

/****************************************************************************/
/***   ShaderMaterial8                                                    ***/
/****************************************************************************/

ShaderMaterial8::ShaderMaterial8()
{
  EyePosition.Init(0, 0, 0);
  Offset.Init(0, 0, 0);
  DetailScale = 8.0f;
  SpecularScale = 11.0f;
  SpecularOffset = 10.0f;
}

void ShaderMaterial8::SelectShaders(sVertexFormat *)
{
  Select(this, shadercode::Material8VS, 0, shadercode::Material8PS, 0);
}

/****************************************************************************/
/***   Full-screen passes: ShaderMaterial9 .. ShaderMaterial12            ***/
/****************************************************************************/

ShaderMaterial9::ShaderMaterial9()
{
  Color = 0xffffffff;
  Step[0] = Step[1] = 0.0f;
  StartSteps[0] = StartSteps[1] = 0.0f;
}

void ShaderMaterial9::SelectShaders(sVertexFormat *)
{
  Select(this, shadercode::Material9VS, 0, shadercode::Material9PS, 0);
}

ShaderMaterial10::ShaderMaterial10()
{
  Threshold1 = 0.0f;
  Gain1 = 1.0f;
  Threshold2 = 0.0f;
  Gain2 = 1.0f;
  Color = 0xffffffff;
}

void ShaderMaterial10::SelectShaders(sVertexFormat *)
{
  Select(this, shadercode::Material10VS, 0, shadercode::Material10PS, 0);
}

ShaderMaterial11::ShaderMaterial11()
{
  Color = 0xffffffff;
  EdgeOption = 0;
  Gain = 4.0f;
  Offset = 2.0f;
}

void ShaderMaterial11::SelectShaders(sVertexFormat *)
{
  Select(this, shadercode::Material11VS, 0, shadercode::Material11PS, On(EdgeOption));
}

ShaderMaterial12::ShaderMaterial12()
{
  Color = 0xffffffff;
}

void ShaderMaterial12::SelectShaders(sVertexFormat *)
{
  Select(this, shadercode::Material12VS, 0, shadercode::Material12PS, 0);
}

/****************************************************************************/
/***   ShaderMaterial13                                                   ***/
/****************************************************************************/

ShaderMaterial13::ShaderMaterial13()
{
  EyePosition.Init(0, 0, 0);
  Offset.Init(0, 0, 0);
  DetailScale = 8.0f;
  Reserved = 0;   // no default of its own; it starts defined all the same
  for(const sMat4x4 *&s : ShadowMatrix) s = nullptr;
  ShadowScale = 1.0f;
  ShadowOffset = 0.0f;
  SpecularScale = 11.0f;
  SpecularOffset = 10.0f;
}

void ShaderMaterial13::SelectShaders(sVertexFormat *)
{
  Select(this, shadercode::Material13VS, 0, shadercode::Material13PS, Used(this, 3));
}

/****************************************************************************/
/***   ShaderMaterial14                                                   ***/
/****************************************************************************/

ShaderMaterial14::ShaderMaterial14()
{
  TapOffset = 0.01f;
  MaskOption = 0;
  SecondUvOption = 0;
  RedHeightOption = 0;
  SpecularScale = 13.0f;
  SpecularOffset = 10.0f;
  HeightParams.Init(200.0f, 250.0f, 1.0f, 1.0f);
  HeightParam5 = 1.0f;
}

void ShaderMaterial14::SelectShaders(sVertexFormat *)
{
  // the vertex stage passes the second coordinate whenever asked; the pixel stage
  // prefers the mask at the first coordinate
  sInt uv2 = On(SecondUvOption);
  sInt p = (On(MaskOption) ? 1 : uv2 ? 2 : 0) + 4 * On(RedHeightOption);
  Select(this, shadercode::Material14VS, uv2, shadercode::Material14PS, p);
}

/****************************************************************************/
/***   ShaderMaterial15                                                   ***/
/****************************************************************************/

ShaderMaterial15::ShaderMaterial15()
{
  EyePosition.Init(0, 0, 0);
  Distances[0] = 500.0f;
  Distances[1] = 10200.0f;
  SpecularScale = 11.0f;
  SpecularOffset = 10.0f;
  Color = 0xffffffff;
}

void ShaderMaterial15::SelectShaders(sVertexFormat *)
{
  Select(this, shadercode::Material15VS, 0, shadercode::Material15PS, 0);
}

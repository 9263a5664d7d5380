#pragma once
// The show's material classes ShaderMaterial1 .. ShaderMaterial15: every 3D form, every
// post-processing pass and most full-screen effects draw with one of them.
//
// Each class carries its own parameter fields behind the sMaterial base and picks its
// vertex and pixel programs from the tables the build assembles out of graphics/shaders
// ("shaders/shadercode.hpp"). The owner (a scene, its material set, the IPP machine)
// constructs a material, sets textures, options, parameters and render states, and calls
// Prepare; Prepare calls SelectShaders, so a changed option, texture slot or (class 7)
// blend word takes effect at the next Prepare only. The fields are read per draw by the
// scenes' constant fillers, which write them into the registers the programs read.
//
// Option fields are 32-bit words read only as zero or non-zero. Colour fields are ARGB
// words, except the float colours (LayerColor): see sShaderFloatColor.
//
// Like every material these live on the main thread.

#include "graphics/graphics.hpp"

// The ARGB word of a colour kept in a float field: the float truncated to a 64-bit
// integer, its low 32 bits. -1.0 is opaque white (0xFFFFFFFF), 0.0 transparent black.
// Values no 64-bit integer holds (NaN, beyond +-2^63) give 0.
sU32 sShaderFloatColor(sF32 value);

// General material: one or two textures, vertex colour, depth fade, contrast and more.
class ShaderMaterial1 : public sMaterial
{
public:
  // indices into Options
  enum : sInt
  {
    AlphaFromColor = 0,   // alpha from the interpolated colour, not the texture
    InvertAlpha = 1,      // alpha := 1 - alpha
    DepthFade = 2,        // colour faded by depth from the vertex stage; texture gives alpha
    VertexColor = 3,      // the format carries a colour, multiplied with Color
    DoubleColor = 4,      // colour (not alpha) doubled
    SecondAlpha = 5,      // with Texture[1]: colours multiplied, alpha from Texture[1] alone
    UvScroll = 6,         // UvOffset added to the first texture coordinate
    Contrast = 7,         // contrast and brightness step with ContrastColor (one texture only)
    LumaBoost = 8,        // luminance-weighted scale (one texture, no Contrast)
    OptionCount = 9,
  };

  sInt Options[OptionCount];
  sU32 Color;
  sF32 FadeCenter;
  sF32 FadeRange;
  sF32 FadeMax;
  sF32 UvOffset[2];
  sU32 ContrastColor;

  ShaderMaterial1();
  void SelectShaders(sVertexFormat *format) override;
};

// Three directional lights per vertex; with Texture[1..3] all set, three colour layers.
class ShaderMaterial2 : public sMaterial
{
public:
  sF32 LayerColor[3];

  ShaderMaterial2();
  void SelectShaders(sVertexFormat *format) override;
};

// Per-pixel lighting with three point lights, highlights and fog; optional environment
// map, reflection layer, three colour layers or the three lights' shadow maps.
class ShaderMaterial3 : public sMaterial
{
public:
  sF32 LayerColor[3];
  sF32 SpecularScale;
  sF32 SpecularOffset;
  sVec3 EyePosition;
  sInt Reserved;                 // read by no program
  sF32 UvOffset[2];
  sInt AttenuationOption;
  sF32 LightFalloff;
  sMat3x4 Placement;
  sInt EnvironmentMapOption;
  sInt ReflectionLayerOption;
  const sMat4x4 *ShadowMatrix[3];  // not owned
  sF32 ShadowScale;
  sF32 ShadowOffset;

  ShaderMaterial3();
  void SelectShaders(sVertexFormat *format) override;
};

// A closed surface made in the vertex stage from two superformulas, lit per vertex.
class ShaderMaterial4 : public sMaterial
{
public:
  sVec3 Scale;
  sVec4 ShapeA;                  // (m, k1, k2, k3)
  sVec4 ShapeB;
  sF32 SpecularScale;
  sF32 SpecularOffset;
  sU32 Color;
  sVec3 Gradient;
  sInt HeightGradientOption;
  sF32 GlowScale;

  ShaderMaterial4();
  void SelectShaders(sVertexFormat *format) override;
};

// A ribbon deformed in the vertex stage, shown through a soft window along its length.
class ShaderMaterial5 : public sMaterial
{
public:
  sU32 Color;
  sVec3 Offset;
  sVec3 Up;
  sF32 Phase;
  sF32 WindowEnd;
  sF32 WindowLength;
  sVec4 Tint;
  sVec4 TintAdd;
  sF32 Wave1, Wave2;
  sF32 WaveAmplitude;
  sF32 Wave3, Wave4;
  sF32 Radius;
  sVec3 FadePoint;
  sVec3 FadeOrigin;
  sF32 FadeStart;

  ShaderMaterial5();
  void SelectShaders(sVertexFormat *format) override;
};

// Camera-facing particles; optionally faded by distance, writing depth, or soft against
// a depth picture in Texture[1] (depth wins over soft).
class ShaderMaterial6 : public sMaterial
{
public:
  sVec3 FadeCenter;
  sInt DistanceFadeOption;
  sInt DepthOption;
  sInt SoftOption;
  sF32 DepthRange;
  sF32 DepthOffset;
  sU32 Color;
  sF32 Brightness;

  ShaderMaterial6();
  void SelectShaders(sVertexFormat *format) override;
};

// Colour grading of a full-screen texture; the additive blend word (0x20102) picks the
// programs that weight all four channels by the computed alpha.
class ShaderMaterial7 : public sMaterial
{
public:
  sU32 Color;
  sF32 Offset;
  sF32 Gain;
  sF32 AlphaThreshold;
  sF32 AlphaGain;
  sF32 AlphaBase;
  sF32 Saturation;
  sInt HueOption;
  sInt ColorizeOption;           // acts only together with HueOption
  sF32 HueShift;                 // degrees
  sInt TextureAlphaOption;

  ShaderMaterial7();
  void SelectShaders(sVertexFormat *format) override;
};

// Normal-mapped surface with three point lights and per-light masks.
class ShaderMaterial8 : public sMaterial
{
public:
  sVec3 EyePosition;
  sVec3 Offset;
  sF32 DetailScale;
  sF32 SpecularScale;
  sF32 SpecularOffset;

  ShaderMaterial8();
  void SelectShaders(sVertexFormat *format) override;
};

// Directional blur of Texture[0], thirteen taps.
class ShaderMaterial9 : public sMaterial
{
public:
  sU32 Color;
  sF32 Step[2];
  sF32 StartSteps[2];

  ShaderMaterial9();
  void SelectShaders(sVertexFormat *format) override;
};

// Two inputs, each thresholded and amplified, added.
class ShaderMaterial10 : public sMaterial
{
public:
  sF32 Threshold1;
  sF32 Gain1;
  sF32 Threshold2;
  sF32 Gain2;
  sU32 Color;                    // filled, read by no program

  ShaderMaterial10();
  void SelectShaders(sVertexFormat *format) override;
};

// 3x3 neighbourhood of Texture[0]: coverage, or with EdgeOption the edge strength.
class ShaderMaterial11 : public sMaterial
{
public:
  sU32 Color;
  sInt EdgeOption;
  sF32 Gain;
  sF32 Offset;

  ShaderMaterial11();
  void SelectShaders(sVertexFormat *format) override;
};

// Texture[1] copied where Texture[0] has content.
class ShaderMaterial12 : public sMaterial
{
public:
  sU32 Color;

  ShaderMaterial12();
  void SelectShaders(sVertexFormat *format) override;
};

// Tangent-space normal mapping with three point lights and fog; with Texture[3] the
// lights' shadow maps.
class ShaderMaterial13 : public sMaterial
{
public:
  sVec3 EyePosition;
  sVec3 Offset;
  sF32 DetailScale;
  sInt Reserved;                 // read by no program
  const sMat4x4 *ShadowMatrix[3];  // not owned
  sF32 ShadowScale;
  sF32 ShadowOffset;
  sF32 SpecularScale;
  sF32 SpecularOffset;

  ShaderMaterial13();
  void SelectShaders(sVertexFormat *format) override;
};

// A lit height field drawn over the screen; Texture[1] as a mask (at the first texture
// coordinate) or at a second texture coordinate (the mask wins for the pixel stage).
class ShaderMaterial14 : public sMaterial
{
public:
  sF32 TapOffset;
  sInt MaskOption;
  sInt SecondUvOption;
  sInt RedHeightOption;
  sF32 SpecularScale;
  sF32 SpecularOffset;
  sVec4 HeightParams;
  sF32 HeightParam5;

  ShaderMaterial14();
  void SelectShaders(sVertexFormat *format) override;
};

// Instanced geometry lit per vertex (placement rows per instance).
class ShaderMaterial15 : public sMaterial
{
public:
  sVec3 EyePosition;
  sF32 Distances[2];             // filled; the vertex program uses its own constants
  sF32 SpecularScale;
  sF32 SpecularOffset;
  sU32 Color;

  ShaderMaterial15();
  void SelectShaders(sVertexFormat *format) override;
};

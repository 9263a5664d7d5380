#pragma once
// The IPP machine: the image post-processing stage that composes the final picture.
//
// It is a Scene that is not in the scene table: the scene machine owns one, sets it up at
// its start and runs it every frame after the current scene. Render lays the layer movie,
// the live video, the ring and tunnel flashes and the strobe forms of the camera motion
// mode over the scene (ipppasses.cpp); AfterRender copies the screen, blurs it at half
// size, combines two blur levels into a glow, lays it over the screen, runs the overlays
// (text art, flashes, particles, test image, washes, logo, movie layer: ippoverlays.cpp,
// ipplogo.cpp), applies the master fade and takes the GUI's effect switches
// (ippfinal.cpp); later in the frame PaintColorLayers draws the operator's colour layers.
//
// The show steers it from two sides: sequencer channels 1 to 4 of the SYNC machine, whose
// codes arrive at OnEvent, and the GUI's GuiMediaState record, whose switches and
// requests are read every frame and whose acknowledgements are written back. Every
// random choice draws from EffectRandom.
//
// Everything is created at Setup and freed at Exit; a frame creates no render target.
// Main thread only.

#include "base/math.hpp"
#include "base/numbers.hpp"
#include "show/forms.hpp"
#include "show/scene.hpp"

struct GuiMediaState;
struct SyncResults;
class sStatusPrinter;
class sPainter;
class sMoviePlayer;
class TextForm;
class PointForm;
class ParticleForm;
class InstanceForm;
class ShaderMaterial7;
class ShaderMaterial11;

constexpr sF32 sIPP_PI = 3.14159265f;
template <class T> inline T sIppClamp(T v, T a, T b) { return v < a ? a : v > b ? b : v; }

enum : sInt
{
  sIPP_PARTICLES = 2048,
  sIPP_SPARKS = 5,
  sIPP_TILES = 1664,       // 32 rows of 52 tiles
  sIPP_TILEROWS = 32,
  sIPP_TILECOLUMNS = 52,
  sIPP_SLICES = 32,
  sIPP_TUNNELTILES = 64,
  sIPP_GRIDTILES = 81,
  sIPP_STRIPEPAIRS = 4096,
  sIPP_MATERIALS = 27,
};

// A plane with the six colour-grading words that material kind 14 hands to its
// ShaderMaterial7.
class GradedPlane : public ArrayForm
{
public:
  GradeWords Grade;
  explicit GradedPlane(sInt materialIndex) : ArrayForm(materialIndex) {}
  GradeWords *GetGradeWords() override { return &Grade; }
  void SetGrade(sF32 o, sF32 g, sF32 t, sF32 k, sF32 b, sF32 s)
  {
    Grade.Offset = o, Grade.Gain = g, Grade.AlphaThreshold = t;
    Grade.AlphaGain = k, Grade.AlphaBase = b, Grade.Saturation = s;
  }
  // the plane's size and offset (Range0) and texture mapping (Range1), rebuilt
  void Shape(sF32 sx, sF32 sy, sF32 ox, sF32 oy, sF32 u = 1, sF32 v = -1, sF32 uo = 0, sF32 vo = -1);
};

struct IppPanelValues
{
  sF32 brightness;
  sF32 contrast;
  sU32 color;
};

struct IppParticle
{
  sF32 vx, vy, vz;
  sU32 Colour;
  sInt Age;   // milliseconds
};

struct IppTile
{
  sF32 x, y, z;
  sInt Visible;
};

// The channel-3 and channel-4 effect state (the direction only matters on channel 3).
struct IppChannel
{
  sInt Mode;          // 1 to 4, 0 after set-up
  sInt Direction;     // -1, 0, 1 or 2
  sF32 Amount, PrevAmount;
  sInt Changed;
  sInt ShiftA, ShiftB;
};

// One of the two movie passes: the layer movie or the video input.
struct IppMoviePass
{
  sInt Running;
  sInt Starting;
  sInt Opening;       // the video pass keeps VideoInOpen here
  sInt Style;
  sTexture2D *Frame;  // the layer movie's frame texture (owned); the video's lives in the GUI
  sInt Timer;
};

class IppMachine : public Scene
{
public:
  // switches and links
  sInt Active;
  GuiMediaState *Gui;        // borrowed; null until the application wires it
  sInt Channel;
  sRandomLcg EffectRandom;
  sInt ClockOffset;
  sInt ShowPanel;
  sStatusPrinter *StatusPanel;
  sPainter *Painter;
  // the display the colour layers also go to when the show has three displays or more
  // (the first shows the show, the second the GUI)
  sInt SecondDisplay;

  // full-screen passes
  sGeometry *Quad;
  sViewport *QuadView;
  sTexture2D *BlurTargets[5];
  sTexture2D *CombineTarget;
  ShaderMaterial9 *BlurMaterials[5];
  ShaderMaterial10 *CombineMaterial;
  ShaderMaterial1 *GlowMaterial, *ScreenMaterial, *LayerMaterial, *ScreenMaterialB;
  sTexture2D *ScreenTexture;   // borrowed from the scene machine
  IppPanelValues screen, layer1, layer2;
  sU32 copycolor;

  // camera motion
  sInt MotionMode;
  sF32 MotionStart;
  sInt MotionBar;
  sInt MotionHold;
  sF32 CamStart[2];   // distance, pan
  sF32 CamPos[2];
  sInt CamStep;
  sInt FlashOn;
  sInt FlashBar;
  sInt TestImageOn;
  sInt Mode2Flash;

  // text art and strobe
  sF32 StripeSeed;
  sInt StripeKind;
  sInt TextArtOn;
  sInt FlashPanelOn;
  sF32 StrobeLevel;
  sU32 StrobeColour;

  // logo layer
  sInt LogoActive;
  sInt LogoKind;
  sInt LogoCycle;
  sInt LogoStyle;
  sInt LogoVariant;
  sF32 LogoAngle, LogoSpin;
  sInt SliceMode, SliceCount;
  sF32 SliceSpeeds[sIPP_SLICES];
  sF32 SliceWidth;
  sF32 TurnFactors[3];
  sF32 MosaicScale[2];
  IppTile Tiles[sIPP_TILES];

  // movie layer
  sInt MovieActive;
  sInt MovieCycle;
  sF32 MovieDirection;
  sInt MovieStyle;
  sInt MovieTextureBorrowed;

  // channel effects and the two movie passes
  IppChannel Ch3, Ch4;
  IppMoviePass Clip, Video;

  // particles
  IppParticle Particles[sIPP_PARTICLES];
  PointForm *ParticleCloud;
  ParticleForm *SparkForms[sIPP_SPARKS];
  sInt ParticleIndex;
  sInt SparkIndex;

  // millisecond timers, advanced by Tick
  sInt ParticleTimer, HueWashTimer, DimPulseTimer, TunnelTimer, RingTimer;
  sF32 DimBarPhase;

  // views: the two GetView hands out, then those of the passes
  sViewport Views[2];
  sViewport FrameView, MessageView, MovieView, MovieView2, LogoView, MosaicView, ParticleView;

  // the effect graph
  sTexture2D *SmallTarget, *ClipTarget, *VideoTarget;
  GradedPlane *FrameQuad, *FrameQuadB;
  ShaderMaterial7 *ClipMaterial;
  ShaderMaterial11 *EdgeMaterial;
  ArrayForm *GridTiles[sIPP_GRIDTILES];
  ArrayForm *StripeStrip;
  ShaderMaterial7 *StripeMaterial;
  ArrayForm *StrobeBack;
  ArrayForm *RippleGrid;
  ShaderMaterial1 *RippleMaterial;
  ArrayForm *StrobeQuads[4];
  GradedPlane *StrobeFrames[4];
  GradedPlane *LogoPicture, *LogoMask1, *LogoMask2;
  GradedPlane *LogoSlices[3][sIPP_SLICES];
  TextForm *MessageText;
  TextForm *TextArt;
  ArrayForm *MessageBack;
  InstanceForm *TileMosaic;
  GradedPlane *MovieForms[3];
  GradedPlane *RingForms[2];
  ArrayForm *TunnelForms[sIPP_TUNNELTILES];
  sInt MessageStart;

  IppMachine();
  ~IppMachine() override;

  void Setup(SyncMachine *sync, sInt active, sInt textureFlags, TMData *set);
  sViewport *GetView(sInt index) override;
  void Exit() override;
  void Enter(sInt arg) override;
  void Leave(sInt) override {}
  void Tick(sInt variant) override;
  void Render(sInt variant, sViewport *view) override;
  void OnEvent(sInt code) override;
  void OnInput(sInput2Event *) override {}
  void Camera(sInt variant, sViewport *view) override;
  void AfterRender(sViewport *view) override;
  sInt NextVariant(sInt) override { return -1; }

  // restyling
  void RestartMotion();
  void ShuffleStripes();
  void RestyleChannel3();
  void RestyleChannel4();
  void Restyle();
  void LayoutTiles();
  void RestyleMovie();
  void NextLogo();
  void AttachMovie();

  // the effect graph and its passes
  void BuildGraph();
  void FreeGraph();
  void PaintClipLayer();
  void PaintLayers();
  void OpenVideoIn();
  void OpenClip();
  void PaintMessage();
  void SetLayerParams(sInt mode, sF32 a, sF32 b);

  // final composition and overlays
  void PaintColorLayers(sViewport *view);
  void PaintTextArt(sViewport *view);
  void PaintOverlays(sViewport *view);
  void PaintMovieLayer(sViewport *view);
  void PaintLogoOverlay(sViewport *view);

  // what the passes read of the SYNC machine; zeros while there is none
  const SyncResults &Beat() const;
  sInt SyncClock() const;
  sInt ColorPreset() const;
  sF32 SmoothedPreset() const;
  // aspect of the IPP's display
  sF32 DisplayAspect() const;
  // the IPP's material of a row, as its class
  template <class T> T *Mtrl(sInt row) const;
  // R(x) clamped below x: the generator's float can reach its bound
  sF32 RandBelow(sF32 max);

  // screen bindings shared by the passes
  void BindScreen(sU32 flags);
  void BindTarget(sTexture2D *target, sU32 flags);
  void PrepareQuadView();
  void FullQuad(sU32 colour = 0xFFFFFFFF);
  void BlurChain();
  // the bytes of render targets made at set-up
  sS64 TargetBytes() const;

private:
  void PaintMoviePass(sInt video);
  void DrawMovieStyle(sInt video, IppMoviePass &p, IppChannel &ch, sTexture2D *target, sF32 m);
  void LogoStyle1(sF32 w, sF32 h, sF32 wm, sF32 hm);
  void LogoStyle2(sF32 w, sF32 h, sF32 wm, sF32 hm, sF32 k);
  void LogoStyle3(sF32 w, sF32 h, sF32 wm, sF32 hm);
};

// The name the video-in pass opens: the first capture device.
extern const sChar *sIppVideoDevice;

// Fills the IPP machine's entries of the scene machine's plug-in table.
void InstallIppMachine();

// The IPP machine: its tables, set-up, Enter and Exit, the ticks, the camera, the key
// commands of the sequencer channels and the small restyling operations.
#include "show/ipp.hpp"

#include "base/app.hpp"
#include "base/log.hpp"
#include "base/memory.hpp"
#include "graphics/painter.hpp"
#include "graphics/shader.hpp"
#include "show/guirecords.hpp"
#include "show/procforms.hpp"
#include "show/scenehost.hpp"
#include "show/startup.hpp"
#include "show/statusprinter.hpp"
#include "show/sync.hpp"
#include "show/textform.hpp"
#include "show/tmdata.hpp"

#include <cmath>

namespace
{
/****************************************************************************/
/***   Texture and material tables                                        ***/
/****************************************************************************/

const TextureEntry IppTextures[] = {
  {u"ipp/unpacked/white.bmp", u"ipp/packed/white.png", 0x1001, 2},
  {u"ipp/unpacked/interlace.pic", u"ipp/packed/interlace.pic", 0x1001, 4},
  {u"ipp/unpacked/sponsor_test.bmp", u"ipp/packed/sponsor_test.png", 0x1401, 2},
  {u"ipp/unpacked/sponsor_test_b.bmp", u"ipp/packed/sponsor_test_b.png", 0x1401, 2},
  {u"ipp/unpacked/noise_01.pic", u"ipp/packed/noise_01.pic", 0x1001, 4},
  {u"ipp/unpacked/color_test.bmp", u"ipp/packed/color_test.png", 0x1001, 2},
  {u"ipp/unpacked/glow_alpha.pic", u"ipp/packed/glow_alpha.png", 0x1001, 4},
  {u"ipp/unpacked/spark_alpha.pic", u"ipp/packed/spark_aplha.pic", 0x1001, 4},
  {u"ipp/unpacked/glow.bmp", u"ipp/packed/glow.png", 0x1001, 2},
  {u"ipp/unpacked/spark.bmp", u"ipp/packed/spark.png", 0x1001, 2},
  {nullptr, nullptr, 0, 0},
};

constexpr MaterialEntry M(sInt kind, sInt format, sU32 state, sU32 blend, sInt count, sU32 s0, sU32 s1, sInt t0,
                          sInt t1 = 0)
{
  return {kind, format, state, blend, count, {s0, s1, 0, 0}, {t0, t1, 0, 0}};
}

const MaterialEntry IppMaterials[sIPP_MATERIALS + 1] = {
  M(0xE, 1, 0, 0x60105, 1, 0x11000011, 0, 0),      // 0
  M(0xE, 1, 0, 0x60105, 1, 0x1, 0, 0),             // 1
  M(0xE, 1, 0, 0x60105, 1, 0x11000012, 0, 0),      // 2
  M(0xE, 1, 0, 0x60105, 1, 0x11000011, 0, 0),      // 3
  M(0x1, 1, 0, 0x60105, 1, 0x11000011, 0, 0),      // 4
  M(0x1, 1, 0, 0x60105, 1, 0x11000011, 0, 0),      // 5
  M(0x3, 3, 0, 0x60105, 2, 0x11000011, 1, 0, 1),   // 6
  M(0x1, 1, 0, 0x60105, 1, 0x22000021, 0, 0),      // 7
  M(0xE, 1, 0, 0x60105, 1, 0x22000021, 0, 0),      // 8
  M(0x0, 1, 0, 0x60105, 1, 0x11000011, 0, 0),      // 9
  M(0x0, 1, 0, 0x60105, 1, 0x1, 0, 0),             // 10
  M(0xE, 1, 0, 0x60105, 1, 0x11000011, 0, 2),      // 11
  M(0xE, 1, 0, 0x20102, 1, 0x11000011, 0, 2),      // 12
  M(0xE, 1, 0, 0x60105, 1, 0x11000011, 0, 3),      // 13
  M(0xE, 1, 0x20, 0x60105, 1, 0x11000011, 0, 0),   // 14
  M(0x0, 1, 0, 0x60105, 1, 0x22000022, 0, 4),      // 15
  M(0x0, 1, 0, 0x60105, 1, 0x22000022, 0, 0),      // 16
  M(0xE, 1, 0, 0x60105, 1, 0x22000020, 0, 0),      // 17
  M(0x0, 1, 0, 0, 1, 0x22000020, 0, 5),            // 18
  M(0x9, 3, 0, 0x60105, 1, 0x11000010, 0, 6),      // 19
  M(0x0, 1, 0, 0x60105, 1, 0, 0, 7),               // 20
  M(0x9, 3, 0, 0x40102, 1, 0x11000010, 0, 8),      // 21
  M(0x0, 1, 0, 0x40102, 1, 0, 0, 9),               // 22
  M(0xF, 1, 0x23, 0x60105, 1, 0x11000011, 0, 2),   // 23
  M(0xF, 1, 0x23, 0x60105, 1, 0x11000011, 0, 0),   // 24
  M(0xE, 1, 0, 0x60105, 1, 0x11000011, 0, 4),      // 25
  M(0xE, 1, 0, 0x20102, 1, 0x11000011, 0, 4),      // 26
  M(sTMD_ENDKIND, 0, 0, 0, 0, 0, 0, 0),
};

/****************************************************************************/
/***   Pattern tables                                                     ***/
/****************************************************************************/

// A bar as text: steps separated by ';', each "step:codes" with one letter per code.
struct BarText
{
  const char *Name;
  const char *Steps;
};

const BarText BarTexts[] = {
  {"A0", "0:lh;4:s;8:l"},
  {"A1", "0:flh;4:s;8:l"},
  {"A2", "0:kflh;4:s;8:l"},
  {"A3", "0:jlh;4:s;8:l"},
  {"B0", "12:c"},
  {"B1", "4:cv;8:n;12:cv"},
  {"B2", "0:x;4:cv;8:n;12:cv"},
  {"B3", "0:xy;4:cv;8:n;12:cv"},
  {"B4", "0:m;4:cv;12:cm"},
  {"B5", "4:cn"},
  {"C0", "4:cv;8:m;12:cn"},
  {"C1", "0:x;4:cv;8:m;12:cn"},
  {"C2", "0:xy;4:cv;8:m;12:cn"},
  {"C3", "4:cb;8:v;12:cm"},
  {"D0", "2:m;4:cb;6:n;8:v;12:cn"},
  {"D1", "0:x;2:m;4:cb;6:n;8:v;12:cn"},
  {"D2", "0:xy;2:m;4:cb;6:n;8:v;12:cn"},
  {"D3", "2:m;4:cb;6:n;10:m;12:cb;14:n"},
};
constexpr sInt BarCount = sInt(sizeof(BarTexts) / sizeof(BarTexts[0]));

struct IppTables
{
  SyncPattern Bars[BarCount];
  const SyncPattern *Channel2[97];
  const SyncPattern *Effect[3][17];

  const SyncPattern *Bar(const char *name) const
  {
    for(sInt i = 0; i < BarCount; i++)
      if(BarTexts[i].Name[0] == name[0] && BarTexts[i].Name[1] == name[1]) return &Bars[i];
    sFatal(u"IPP: unknown pattern bar");
  }

  IppTables()
  {
    for(sInt b = 0; b < BarCount; b++)
    {
      SyncPattern &p = Bars[b];
      for(auto &step : p.Keys)
        for(sU32 &k : step) k = 0;
      const char *s = BarTexts[b].Steps;
      while(*s)
      {
        sInt step = 0;
        while(*s >= '0' && *s <= '9') step = step * 10 + (*s++ - '0');
        sVERIFY(*s == ':');
        s++;
        sInt slot = 0;
        while(*s && *s != ';') p.Keys[step][slot++] = sU32(*s++);
        if(*s == ';') s++;
      }
    }
    // channel 2: A2, A0 x 7, A1, A0 x 7, A1, A0 x 6, A3, four times over
    sInt n = 0;
    for(sInt r = 0; r < 4; r++)
    {
      Channel2[n++] = Bar("A2");
      for(sInt i = 0; i < 7; i++) Channel2[n++] = Bar("A0");
      Channel2[n++] = Bar("A1");
      for(sInt i = 0; i < 7; i++) Channel2[n++] = Bar("A0");
      Channel2[n++] = Bar("A1");
      for(sInt i = 0; i < 6; i++) Channel2[n++] = Bar("A0");
      Channel2[n++] = Bar("A3");
    }
    Channel2[n] = nullptr;
    static const char *const effects[3][16] = {
      {"B3", "B4", "B5", "B4", "B5", "B4", "B1", "B4", "B2", "B4", "B1", "B5", "B1", "B5", "B1", "B4"},
      {"C2", "C3", "C0", "B0", "C0", "C3", "C0", "B0", "C1", "C3", "C0", "B0", "C0", "C3", "C0", "B0"},
      {"D2", "D3", "D0", "B0", "D0", "D3", "B0", "D3", "D1", "D3", "D0", "B0", "D0", "D3", "B0", "D3"},
    };
    for(sInt t = 0; t < 3; t++)
    {
      for(sInt i = 0; i < 16; i++) Effect[t][i] = Bar(effects[t][i]);
      Effect[t][16] = nullptr;
    }
  }
};

const IppTables &Tables()
{
  static const IppTables tables;
  return tables;
}

const SyncResults ZeroResults = {};

void SetTable(SyncMachine *sync, sInt channel, SyncPatternTable table)
{
  if(sync) sync->SetPatternTable(channel, table);
}
}

/****************************************************************************/
/***   Small helpers                                                      ***/
/****************************************************************************/

void GradedPlane::Shape(sF32 sx, sF32 sy, sF32 ox, sF32 oy, sF32 u, sF32 v, sF32 uo, sF32 vo)
{
  Range0[0] = sx, Range0[1] = sy, Range0[2] = ox, Range0[3] = oy;
  Range1[0] = u, Range1[1] = v, Range1[2] = uo, Range1[3] = vo;
  Build();
}

const SyncResults &IppMachine::Beat() const { return SyncSource ? SyncSource->Results : ZeroResults; }
sInt IppMachine::SyncClock() const { return SyncSource ? SyncSource->PublishedClock : 0; }
sInt IppMachine::ColorPreset() const { return SyncSource ? SyncSource->ColorPreset : 0; }
sF32 IppMachine::SmoothedPreset() const { return SyncSource ? SyncSource->ColorPresetSmooth : 0.0f; }

sF32 IppMachine::DisplayAspect() const
{
  if(DisplayIndex >= 0 && DisplayIndex < ShowDisplayCount && ShowDisplays[DisplayIndex].Aspect > 0)
    return ShowDisplays[DisplayIndex].Aspect;
  return DisplayHeight > 0 ? sF32(DisplayWidth) / sF32(DisplayHeight) : 1.0f;
}

sF32 IppMachine::RandBelow(sF32 max)
{
  sF32 r = EffectRandom.NextFloat(max);
  // the float rounding of the generator can hand back max itself
  return r < max ? r : std::nextafter(max, 0.0f);
}

/****************************************************************************/
/***   Construction and set-up                                            ***/
/****************************************************************************/

IppMachine::IppMachine()
{
  Active = 0;
  Gui = nullptr;
  Channel = 0;
  EffectRandom.Seed(0);
  ClockOffset = 0;
  ShowPanel = 0;
  SecondDisplay = 2;
  StatusPanel = nullptr;
  Painter = nullptr;
  Quad = nullptr;
  QuadView = nullptr;
  for(sInt i = 0; i < 5; i++) BlurTargets[i] = nullptr, BlurMaterials[i] = nullptr;
  CombineTarget = nullptr;
  CombineMaterial = nullptr;
  GlowMaterial = ScreenMaterial = LayerMaterial = ScreenMaterialB = nullptr;
  ScreenTexture = nullptr;
  screen = layer1 = layer2 = {0, 0, 0};
  copycolor = 0;
  MotionMode = 4;
  MotionStart = 0;
  MotionBar = MotionHold = 0;
  CamStart[0] = CamStart[1] = CamPos[0] = CamPos[1] = 0;
  CamStep = 0;
  FlashOn = FlashBar = TestImageOn = Mode2Flash = 0;
  StripeSeed = 0;
  StripeKind = 0;
  TextArtOn = FlashPanelOn = 0;
  StrobeLevel = 0;
  StrobeColour = 0;
  LogoActive = LogoKind = 0;
  LogoCycle = -1;
  LogoStyle = 1;
  LogoVariant = 0;
  LogoAngle = LogoSpin = 0;
  SliceMode = 0;
  SliceCount = sIPP_SLICES;
  for(sF32 &s : SliceSpeeds) s = 1.0f;
  SliceWidth = 0.15f;
  TurnFactors[0] = TurnFactors[1] = TurnFactors[2] = 0;
  MosaicScale[0] = MosaicScale[1] = 1;
  for(IppTile &t : Tiles) t = {0, 0, 0, 0};
  MovieActive = 0;
  MovieCycle = -1;
  MovieDirection = 1;
  MovieStyle = 1;
  MovieTextureBorrowed = 1;
  Ch3 = Ch4 = {0, 1, 0, 0, 1, 0, 0};
  Clip = Video = {0, 0, 0, 2, nullptr, 0};
  for(IppParticle &p : Particles) p = {0, 0, 0, 0, 100000};
  ParticleCloud = nullptr;
  for(ParticleForm *&f : SparkForms) f = nullptr;
  ParticleIndex = SparkIndex = 0;
  ParticleTimer = 4000;
  HueWashTimer = DimPulseTimer = 400;
  TunnelTimer = RingTimer = 400;
  DimBarPhase = 0;
  SmallTarget = ClipTarget = VideoTarget = nullptr;
  FrameQuad = FrameQuadB = nullptr;
  ClipMaterial = nullptr;
  EdgeMaterial = nullptr;
  for(ArrayForm *&f : GridTiles) f = nullptr;
  StripeStrip = nullptr;
  StripeMaterial = nullptr;
  StrobeBack = RippleGrid = nullptr;
  RippleMaterial = nullptr;
  for(sInt i = 0; i < 4; i++) StrobeQuads[i] = nullptr, StrobeFrames[i] = nullptr;
  LogoPicture = LogoMask1 = LogoMask2 = nullptr;
  for(auto &set : LogoSlices)
    for(GradedPlane *&f : set) f = nullptr;
  MessageText = TextArt = nullptr;
  MessageBack = nullptr;
  TileMosaic = nullptr;
  for(GradedPlane *&f : MovieForms) f = nullptr;
  RingForms[0] = RingForms[1] = nullptr;
  for(ArrayForm *&f : TunnelForms) f = nullptr;
  MessageStart = 0;
}

IppMachine::~IppMachine()
{
  // Exit frees what set-up made; a machine destroyed without it must not leak either
  Exit();
}

void IppMachine::Setup(SyncMachine *sync, sInt active, sInt textureFlags, TMData *set)
{
  Active = active;
  if(set) MaterialSet = set;
  else if(Active)
  {
    CreateTMData(IppTextures, IppMaterials, textureFlags);
    TextureSetKind = 1;
  }
  SyncSource = sync;
  Gui = nullptr;
  Channel = 0;

  if(Active && MaterialSet)
  {
    LightSet *l = MaterialSet->LightSets[0];
    l->Ambient = 0xFF0F0F0F;
    l->Colors[0] = 0xFFFFFFFF;
    l->Colors[1] = l->Colors[2] = 0;
    l->Directions[0] = sVec3(0, 0, -1);
    l->Positions[0] = l->Directions[0] * 2000.0f;
  }
  EffectRandom.Seed(sGetTime() & 0xFFFFF);

  Quad = sNEW sGeometry(0x5000, sVertexFormatPosColUV);
  QuadView = sNEW sViewport;
  QuadView->Orthogonal = sVO_PIXELS;
  QuadView->Prepare(15);

  sInt w = DisplayWidth / 2, h = DisplayHeight / 2;
  for(sInt i = 0; i < 5; i++)
  {
    BlurTargets[i] = sNEW sTexture2D(w, h, 0x601, 0);
    BlurMaterials[i] = sNEW ShaderMaterial9;
    BlurMaterials[i]->Texture[0] = BlurTargets[sIppClamp(i - 1, 0, 4)];
    BlurMaterials[i]->S.TextureFlags[0] = 0x11000010;
    BlurMaterials[i]->S.Flags = 0;
    BlurMaterials[i]->S.BlendColor = 0;
    BlurMaterials[i]->Prepare(sVertexFormatPosColUV);
  }
  CombineTarget = sNEW sTexture2D(w, h, 0x601, 0);
  CombineMaterial = sNEW ShaderMaterial10;
  CombineMaterial->Texture[0] = CombineTarget;
  // the sampler states of a slot are made at Prepare only for a slot that holds a
  // texture: the second input needs them too, or it is read unfiltered and wrapped
  CombineMaterial->Texture[1] = BlurTargets[4];
  CombineMaterial->S.TextureFlags[0] = CombineMaterial->S.TextureFlags[1] = 0x11000010;
  CombineMaterial->S.Flags = 0;
  CombineMaterial->S.BlendColor = 0;
  CombineMaterial->Prepare(sVertexFormatPosColUV);

  if(Active)
  {
    sTexture2D *white = MaterialSet && MaterialSet->TextureCount > 0 ? MaterialSet->Textures[0] : nullptr;
    auto make = [&](sTextureBase *tex, sU32 blend, sInt option) {
      ShaderMaterial1 *m = sNEW ShaderMaterial1;
      m->Texture[0] = tex;
      m->S.TextureFlags[0] = 0x11000010;
      m->S.Flags = 0;
      m->S.BlendColor = blend;
      if(option >= 0) m->Options[option] = 1;
      m->Prepare(sVertexFormatPosColUV);
      return m;
    };
    GlowMaterial = make(CombineTarget, 0x20102, -1);
    ScreenMaterial = make(white, 0x60105, -1);
    LayerMaterial = make(white, 0, ShaderMaterial1::Contrast);
    ScreenMaterialB = make(white, 0, ShaderMaterial1::LumaBoost);
  }

  StatusPanel = sNEW sStatusPrinter;
  StatusPanel->Init(DisplayWidth, DisplayHeight);
  ScreenTexture = Machine ? Machine->ScreenTarget : nullptr;
  if(Active) BuildGraph();

  screen = {0.0f, 1.0f, 0xFFFFFFFF};
  layer1 = {0.45f, 2.0f, 0xFFFFFFFF};
  layer2 = {0.15f, 1.5f, 0xFFFFFFFF};
  copycolor = 0xFF606060;
  RenderEnv.FogColor = 0;
  RenderEnv.FogStart = 10000.0f;
  RenderEnv.FogEnd = 20000.0f;
  ClockOffset = EffectRandom.NextBelow(0x10000);
  ShowPanel = 0;
  Painter = sNEW sPainter;

  sLogF(u"gfx", u"IPP render targets at %dx%d: %d KB\n", DisplayWidth, DisplayHeight, sInt(TargetBytes() >> 10));
}

sS64 IppMachine::TargetBytes() const
{
  sS64 bytes = 0;
  auto add = [&](const sTexture2D *t) {
    if(t) bytes += sS64(t->SizeX) * t->SizeY * 4;
  };
  for(const sTexture2D *t : BlurTargets) add(t);
  add(CombineTarget);
  add(SmallTarget);
  add(ClipTarget);
  add(VideoTarget);
  return bytes;
}

sViewport *IppMachine::GetView(sInt index)
{
  if(index != 1 && index != 2) return nullptr;
  sViewport *v = &Views[index - 1];
  v->SetTarget(nullptr);
  return v;
}

void IppMachine::Enter(sInt)
{
  const IppTables &t = Tables();
  SetTable(SyncSource, 2, t.Channel2);
  SetTable(SyncSource, 3, t.Effect[0]);
  SetTable(SyncSource, 4, t.Effect[0]);
  EffectRandom.NextFloat(100);
  CamStart[0] = CamPos[0] = -500.0f;
  CamStart[1] = CamPos[1] = 0.0f;
  MotionStart = 0;
  CamStep = 0;
  TextArtOn = 0;
  Gui = nullptr;
  SliceMode = EffectRandom.NextBelow(2);
  SliceCount = sIPP_SLICES;
  for(sF32 &s : SliceSpeeds) s = 1.0f + EffectRandom.NextFloat(1);
  SliceWidth = 0.15f + EffectRandom.NextFloat(0.1f);
}

void IppMachine::Exit()
{
  if(Clip.Frame) sDELETE(Clip.Frame);
  sDELETE(Quad);
  sDELETE(QuadView);
  for(sInt i = 0; i < 5; i++)
  {
    sDELETE(BlurTargets[i]);
    sDELETE(BlurMaterials[i]);
  }
  sDELETE(CombineTarget);
  sDELETE(CombineMaterial);
  sDELETE(StatusPanel);
  sDELETE(GlowMaterial);
  sDELETE(ScreenMaterial);
  sDELETE(LayerMaterial);
  sDELETE(ScreenMaterialB);
  FreeGraph();
  sDELETE(Painter);
  Gui = nullptr;
}

/****************************************************************************/
/***   Tick and camera                                                    ***/
/****************************************************************************/

void IppMachine::Tick(sInt)
{
  if(!Active) return;
  sBool idle = Gui && !Gui->ParticlesOn && ParticleTimer >= 4000;
  if(!idle && ParticleCloud)
  {
    sBool alphaOnly = Gui && Gui->ParticleAlphaOnly;
    for(sInt i = 0; i < sIPP_PARTICLES; i++)
    {
      IppParticle &p = Particles[i];
      p.vy -= 0.003f;
      p.vx *= 0.98f, p.vy *= 0.98f, p.vz *= 0.98f;
      p.Age += 10;
      PointRecord &pt = ParticleCloud->Points[i];
      pt.Pos += sVec3(p.vx, p.vy, p.vz);
      sF32 t = sIppClamp((p.Age - 500) * 0.001f, 0.0f, 1.0f);
      if(alphaOnly)
        pt.Color = (p.Colour & 0x00FFFFFF) | (sBlendColor(p.Colour & 0xFF000000, 0, t) & 0xFF000000);
      else
        pt.Color = sBlendColor(p.Colour, 0, t);
    }
    for(ParticleForm *f : SparkForms)
      if(f) f->Step();
  }
  ParticleTimer += 10;
  HueWashTimer += 10;
  DimPulseTimer += 10;
  TunnelTimer += 10;
  RingTimer += 10;
  Clip.Timer += 10;
  Video.Timer += 10;
}

void IppMachine::Camera(sInt variant, sViewport *view)
{
  if(!Active || !view) return;
  const SyncResults &b = Beat();
  sF32 t = sF32(SyncClock() + ClockOffset) * 0.001f;
  view->ZoomY = 1.4f;
  view->ZoomX = 1.4f / DisplayAspect();
  switch(MotionMode)
  {
  case 1:
  {
    if(variant == 1) return;
    sF32 p = sF32(b.BarIndex[2]) + b.BarPhase;
    sF32 d = sIppClamp(p - MotionStart, 0.0f, 0.25f) * 1000.0f;
    CamPos[0] = CamStart[0], CamPos[1] = CamStart[1];
    switch(CamStep)
    {
    case 0: CamPos[0] = CamStart[0] + d; break;
    case 1: CamPos[0] = CamStart[0] - d; break;
    case 2: CamPos[1] = CamStart[1] + d; break;
    default: CamPos[1] = CamStart[1] - d; break;
    }
    view->Camera.LookAt(sVec3(CamPos[1], 0, 0), sVec3(CamPos[1], 0, -CamPos[0]));
    break;
  }
  case 2:
    if(variant == 1) return;
    view->Camera.LookAt(sVec3(50 * std::sin(0.21f * t), 50 * std::sin(0.15f * t), 0),
                        sVec3(50 * std::sin(0.11f * t), 50 * std::sin(0.23f * t), 300 * std::sin(0.17f * t) - 1400));
    break;
  case 3:
    if(variant == 1) return;
    view->Camera.LookAt(sVec3(0, 0, 0), sVec3(0, 0, -1400));
    break;
  default:
    break;
  }
}

/****************************************************************************/
/***   Key commands                                                       ***/
/****************************************************************************/

void IppMachine::OnEvent(sInt code)
{
  if(!Gui) return;
  GuiMediaState &g = *Gui;
  const SyncResults &b = Beat();
  sInt preset = ColorPreset();
  sInt bar = b.BarIndex[2];
  switch(code)
  {
  case 44:
  {
    // the show program's last bars send it (channel 1 is the show program's)
    sStringBuffer<80> why;
    sSPrintF(why.Ref(), u"the end code ',' at bar %d of the show program", b.BarIndex[1]);
    sExit(why);
    return;
  }
  case 'f':
    if(g.LogoRequest)
    {
      NextLogo();
      g.LogoRequest = 0;
      g.LogoStarted = 1;
      g.LogoShown = 1;
    }
    else
    {
      if(g.LogoShown) g.LogoEnded = 1;
      g.LogoShown = 0;
      LogoActive = 0;
    }
    Restyle();
    if(g.MovieRequest)
    {
      AttachMovie();
      g.MovieRequest = 0;
      g.MovieStarted = 1;
      g.MovieShown = 1;
    }
    else
    {
      if(g.MovieShown) g.MovieEnded = 1;
      g.MovieShown = 0;
      MovieActive = 0;
    }
    RestyleMovie();
    return;
  case 'g':
    MotionMode = 4;
    return;
  case 'h':
  {
    sF32 p = g.MotionChance;
    if(MotionMode == 1 ? preset < 3 : (MotionMode == 2 || MotionMode == 3) ? preset < 2 : 1) return;
    sF32 r = EffectRandom.NextFloat(100);
    sInt before = FlashOn;
    if(!FlashOn)
      FlashOn = MotionMode == 1 ? r < p : r < 0.6f * p;
    else
      FlashOn = !(MotionMode == 1 ? r < p : MotionMode == 2 ? r < 0.2f * p : r < 0.3f * p);
    if(FlashOn != before) FlashBar = bar;
    return;
  }
  case 'j':
    if(MotionMode != 4)
    {
      MotionHold = 0;
      MotionBar = bar;
    }
    return;
  case 'k':
    if(EffectRandom.NextFloat(100) >= g.MotionChance) MotionMode = 4;
    else RestartMotion();
    ShuffleStripes();
    return;
  case 'l':
    if(preset >= 2 && EffectRandom.NextFloat(100) < 30)
    {
      CamStart[0] = CamPos[0], CamStart[1] = CamPos[1];
      MotionStart = sF32(bar) + b.BarPhase;
      CamStep = (CamStep + 1) & 3;
    }
    return;
  case 's':
    if(b.Bar8Phase < 0.5f || b.Bar8Phase > 0.75f)
    {
      SliceMode ^= 1;
      SliceCount = 3 + EffectRandom.NextBelow(29);
    }
    return;
  case 0xE005:
    TestImageOn = !TestImageOn;
    return;
  case -33:
    g.MovieNow = 1;
    return;
  case -28:
    g.LogoNow = 1;
    return;
  case -10:
    g.ParticleBurst = 1;
    return;
  default:
    break;
  }

  if(Channel != 3 && Channel != 4) return;
  IppChannel &ch = Channel == 3 ? Ch3 : Ch4;
  switch(code)
  {
  case 'b': if(Channel == 3) ch.Direction = 0; break;
  case 'm': if(Channel == 3) ch.Direction = 2; break;
  case 'n': if(Channel == 3) ch.Direction = 1; break;
  case 'v': if(Channel == 3) ch.Direction = -1; break;
  case 'c':
  {
    ch.PrevAmount = ch.Amount;
    sBool on = (ch.Mode == 2 || ch.Mode == 3) ? preset >= 3 : preset >= 1;
    ch.Amount = on ? EffectRandom.NextFloat(0.9f) : 0.0f;
    EffectRandom.NextFloat(2);
    break;
  }
  case 'x':
    ch.ShiftA = EffectRandom.NextBelow(5) - 1;
    ch.Changed = 0;
    ch.ShiftB = EffectRandom.NextBelow(5) - 1;
    break;
  case 'y':
    if(EffectRandom.NextFloat(100) >= (Channel == 3 ? g.Ch3Chance : g.Ch4Chance)) ch.Mode = 4;
    else if(Channel == 3) RestyleChannel3();
    else RestyleChannel4();
    ch.Changed = 1;
    break;
  default:
    break;
  }
}

/****************************************************************************/
/***   Restyling                                                          ***/
/****************************************************************************/

namespace
{
// A preferred mode of the GUI: 1 to 3, anything else is none.
sInt PreferredMode(sInt value) { return value >= 1 && value <= 3 ? value : 0; }
}

void IppMachine::RestartMotion()
{
  if(Gui && !PreferredMode(Gui->MotionPreset)) EffectRandom.NextBelow(3);
  MotionMode = 2;
  MotionHold = 1;
  EffectRandom.NextFloat(100);
  sF32 d = EffectRandom.NextFloat(100) >= 50 ? EffectRandom.NextFloat(400) + 50 : -300 - EffectRandom.NextFloat(400);
  CamStart[0] = CamPos[0] = d;
  CamStart[1] = CamPos[1] = 0;
  MotionStart = 0;
  CamStep = 0;
  MotionBar = Beat().BarIndex[2];
}

void IppMachine::ShuffleStripes()
{
  if(StripeStrip && StripeStrip->Vertices)
  {
    sF32 v = -1.0f;
    for(sInt pair = 0; pair < sIPP_STRIPEPAIRS; pair++)
    {
      StripeStrip->Vertices[2 * pair].V0 = v;
      StripeStrip->Vertices[2 * pair + 1].V0 = v;
      v += (pair & 1) ? 0.001f : EffectRandom.NextFloat(0.1f) - 0.045f;
    }
    StripeStrip->Build();
  }
  StripeSeed = EffectRandom.NextFloat(1000);
  StripeKind = EffectRandom.NextBelow(4);
}

void IppMachine::RestyleChannel3()
{
  sInt pref = Gui ? PreferredMode(Gui->Ch3Preset) : 0;
  Ch3.Mode = pref ? pref : 1 + EffectRandom.NextBelow(3);
  SetTable(SyncSource, 3, Tables().Effect[EffectRandom.NextBelow(3)]);
}

void IppMachine::RestyleChannel4()
{
  sInt pref = Gui ? PreferredMode(Gui->Ch4Preset) : 0;
  Ch4.Mode = pref ? pref : 1 + EffectRandom.NextBelow(3);
  SetTable(SyncSource, 4, Tables().Effect[EffectRandom.NextBelow(3)]);
}

void IppMachine::Restyle()
{
  for(sF32 &s : SliceSpeeds) s = 1.0f + EffectRandom.NextFloat(1);
  SliceMode = EffectRandom.NextBelow(2);
  SliceWidth = 0.16f + EffectRandom.NextFloat(0.1f);
  sInt pref = Gui ? PreferredMode(Gui->LogoStyle) : 0;
  LogoStyle = pref ? pref : 1 + EffectRandom.NextBelow(3);
  LogoVariant = EffectRandom.NextBelow(3);
  LogoAngle = LogoSpin = 0;
  LayoutTiles();
}

void IppMachine::LayoutTiles()
{
  for(IppTile &t : Tiles)
  {
    t.x = EffectRandom.NextFloat(1);
    t.y = EffectRandom.NextFloat(1);
    t.z = (EffectRandom.NextFloat(1) - 0.5f) * 1000.0f;
  }
  TurnFactors[2] = 1 + EffectRandom.NextFloat(3);
  TurnFactors[1] = 1 + EffectRandom.NextFloat(3);
  TurnFactors[0] = 1 + EffectRandom.NextFloat(3);

  sF32 d = DisplayAspect();
  sF32 sx = 1.625f, sy = 1.0f;
  sTexture2D *pic = MaterialSet && MaterialSet->MaterialCount > 11 && MaterialSet->Materials[11]
                      ? static_cast<sTexture2D *>(MaterialSet->Materials[11]->Texture[0])
                      : nullptr;
  // a picture without height has no shape to lay out: the tiles keep a square window
  sF32 a = pic && pic->SizeY > 0 ? sF32(pic->SizeX) / sF32(pic->SizeY) : 1.0f;
  sy = a;
  if(a < d)
  {
    sF32 f = a / d;
    sy = a / f;
    sx = 1.625f / f;
  }
  sx /= 0.75f * d;
  sy /= 0.75f * d;
  MosaicScale[0] = sx, MosaicScale[1] = sy;
  if(!TileMosaic) return;
  TileMosaic->UScale = sx / 52;
  TileMosaic->VScale = sy / 32;
  TileMosaic->BuildShape();
  for(sInt r = 0; r < sIPP_TILEROWS; r++)
    for(sInt c = 0; c < sIPP_TILECOLUMNS; c++)
    {
      sInt n = r * sIPP_TILECOLUMNS + c;
      sF32 u = 0.5f - sx / 52 + (c / 52.0f - 0.5f + 1 / 52.0f) * sx;
      sF32 v = 0.5f - sy / 32 - (r / 32.0f - 0.5f) * sy;
      TileMosaic->InstanceWords[2 * n] = u;
      TileMosaic->InstanceWords[2 * n + 1] = v;
      Tiles[n].Visible = -sx / 52 <= u && u < 1 && -sy / 32 <= v && v < 1;
    }
}

void IppMachine::RestyleMovie()
{
  MovieDirection = sF32(2 * EffectRandom.NextBelow(2) - 1);
  if(Gui && !PreferredMode(Gui->MovieStyle)) EffectRandom.NextBelow(3);
  MovieStyle = 1;
}

/****************************************************************************/
/***   Plug-in                                                            ***/
/****************************************************************************/

void InstallIppMachine()
{
  sShowPlugins.CreateIpp = []() -> Scene * { return sNEW IppMachine; };
  sShowPlugins.SetupIpp = [](Scene *ipp, SyncMachine *sync, sInt on) {
    static_cast<IppMachine *>(ipp)->Setup(sync, on, 0, nullptr);
  };
  sShowPlugins.SetIppChannel = [](Scene *ipp, sInt channel) { static_cast<IppMachine *>(ipp)->Channel = channel; };
  sShowPlugins.SetIppPanel = [](Scene *ipp, sInt show) { static_cast<IppMachine *>(ipp)->ShowPanel = show; };
  sShowPlugins.SetIppMedia = [](Scene *ipp, GuiMediaState *media) { static_cast<IppMachine *>(ipp)->Gui = media; };
  sShowPlugins.PaintColorLayers = [](Scene *ipp, sViewport *view) {
    static_cast<IppMachine *>(ipp)->PaintColorLayers(view);
  };
}

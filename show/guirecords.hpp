#pragma once
// The show engine's contract with the touch GUI: the records the GUI scene embeds and the
// engine reads and writes. The application hands their addresses to the SYNC machine, the
// IPP machine and the Slideshow scene at start. All of them are read and written on the
// main thread only.

#include "base/types.hpp"

class sTexture2D;

// The GUI's scene request, read and written by the SYNC machine every frame. Words are
// 32-bit, in this order; the layout is shared with the SYNC machine's next-scene key.
struct SceneRequest
{
  sInt RequestFlag;       // nonzero when the operator picked a scene
  sInt RequestedScene;    // the scene index picked
  sInt TakenFlag;         // set to 1 by the SYNC machine when it issues the next scene key
  sInt NextNumber;        // the GUI's next scene or option number, used modulo 20
  sInt TransitionMode;    // copied into the scene machine's pending transition with the key
  sInt SlideshowIndex;    // the Slideshow's scene index (14)
  sInt NextIsSlideshow;   // 1 when NextNumber equals SlideshowIndex
  sInt CurrentIsSlideshow;// 1 when the current scene is the Slideshow
  sF32 PeakLevel;         // input peak level of the last 520 blocks, written every frame
  sF32 PeakHold;          // the decaying peak hold
  sF32 ClipFraction;      // fraction of clipped blocks (maximum above 0.99) of the last 520
  sF32 InputGain;         // the automatic input gain, 0..1
  sF32 LatencyMs;         // the latency in milliseconds, sets the beat phase offset
  sInt InputMissing;      // 1 while the SYNC machine has no capture device open (its last try failed)
};
static_assert(sizeof(SceneRequest) == 14 * 4, "the scene request is 14 words");

// One message of the GUI's message layer.
struct GuiMessage
{
  sChar Text[256];
  sInt Waiting;           // negative while waiting; the most negative is shown first
  sInt Started;
  sInt Ended;
  sInt Done;
  sInt Showing;
};

// One logo of the logo layer.
struct GuiLogo
{
  sTexture2D *Picture;
  sTexture2D *Mask;
  sInt Kind;              // 0, 1 or 2
};

enum : sInt
{
  sGUI_MESSAGES = 16,
  sGUI_LOGOS = 16,
  sGUI_LAYERDISPLAYS = 2,
  sGUI_COLORLAYERS = 8,
};

// The GUI's media and effect record, read by the IPP machine. Words are 32-bit; flags
// 0 or 1. Request words are set by the GUI (or the IPP machine's sequencer codes) and
// cleared by the IPP machine when it acts on them; started, ended, shown, taken and done
// words are set by the IPP machine for the GUI to read.
struct GuiMediaState
{
  sInt SceneSwitched = 0;       // 1 on every scene switch; selects the second master fade
  sInt UnusedWords[4] = {};     // words 1 to 4
  sInt EffectResetFlag = 0;     // words 5 and 6: while the flag is set and the block clear,
  sInt EffectResetBlock = 0;    // the flash amounts are zeroed every frame

  // messages
  sInt CurrentMessage = -1;
  sInt MessageRestarted = 0;
  sInt MessageRestart = 0;
  GuiMessage Messages[sGUI_MESSAGES] = {};

  // logo layer
  sInt LogoRequest = 0;         // acted on at the next sequencer code 'f'
  sInt LogoNow = 0;
  sInt LogoOff = 0;
  sInt LogoStyle = 0;           // 0 = random
  sInt LogoShown = 0;
  sInt LogoIndex = 0;
  sInt LogoCount = 0;
  sInt LogoStarted = 0;
  sInt LogoEnded = 0;
  sInt LogoSet = 0;             // counted up by the GUI whenever it asks for a new set
  sInt LogoSetBound = 0;        // the IPP machine: the set its materials point at, 0 none
  GuiLogo Logos[sGUI_LOGOS] = {};

  // movie layer
  sInt MovieRequest = 0;
  sInt MovieNow = 0;
  sInt MovieOff = 0;
  sInt MovieStyle = 0;
  sInt MovieShown = 0;
  sInt MovieCount = 0;
  sInt MovieStarted = 0;
  sInt MovieEnded = 0;
  sTexture2D *MovieTexture = nullptr;   // hand-over slot the IPP machine takes and clears
  sInt MovieTaken = 0;

  // layer movie
  const sChar *const *ClipFolderNames = nullptr;   // the GUI's media folder table
  sInt ClipFolderIndex = 0;
  sChar ClipFolderText[1024] = {};
  sInt ClipFolderCount = 0;
  sInt ClipNumber = 0;
  sInt ClipRequest = 0;
  sInt ClipNext = 0;
  sInt ClipOff = 0;
  sInt ClipStarted = 0;
  sInt ClipShown = 0;
  sInt ClipRestart = 0;
  sF32 ClipFadeIn = 0;
  sInt ClipPreferredStyle = 0;

  // video in
  sInt VideoInRequest = 0;
  sInt VideoRestart = 0;
  sF32 VideoFadeIn = 0;
  sInt VideoPreferredStyle = 0;
  sTexture2D *VideoFrameSlot = nullptr;

  // layer-movie and video-in composites
  sInt ClipFlashOn = 0;
  sInt VideoFlashOn = 0;
  sInt ClipStyle = 0;           // 1 to 3; 0 lets the IPP machine choose
  sInt VideoStyle = 0;
  sF32 ClipMix = 0;
  sF32 VideoMix = 0;
  sF32 ClipAmount = 0;          // percentages
  sF32 VideoAmount = 0;
  sInt ClipEnded = 0;
  sInt ClipAutoNext = 0;
  sInt ClipNextNumber = 0;
  sInt ClipAdvanced = 0;
  sInt VideoShown = 0;
  sInt VideoRestyle = 0;
  sTexture2D *VideoFrame = nullptr;

  // motion and channel effects
  sInt MotionOn = 0, Ch3On = 0, Ch4On = 0;
  sInt MotionRestart = 0, Ch3Restyle = 0, Ch4Restyle = 0;
  sF32 MotionChance = 0, Ch3Chance = 0, Ch4Chance = 0;
  sInt MotionPreset = 0, Ch3Preset = 0, Ch4Preset = 0;

  // flashes
  sF32 StrobeAmount = 0;
  sInt RingOn = 0;
  sInt RingTrigger = 0;
  sF32 RingAmount = 0;
  sF32 RingColorAmount = 0;
  sInt TunnelOn = 0;
  sInt TunnelTrigger = 0;
  sF32 TunnelAmount = 0;
  sF32 TunnelDepth = 0;

  // dim pulse and hue wash
  sInt DimPulseOn = 0;
  sInt DimPulseTrigger = 0;
  sF32 DimPulseAmount = 0;
  sF32 DimPulseSpeed = 0;
  sInt HueWashOn = 0;
  sInt HueWashTrigger = 0;
  sF32 HueWashAmount = 0;
  sF32 HueWashShift = 0;
  sInt HueWashGainMode = 0;

  // touch particles
  sInt ParticlesOn = 0;
  sInt ParticleAlphaOnly = 0;
  sF32 TouchX = 0, TouchY = 0;
  sF32 TouchVelocityX = 0, TouchVelocityY = 0;
  sF32 ParticleFade = 0;
  sF32 TouchStrength = 0;
  sInt ParticleBurst = 0;
  sInt TouchDown = 0;

  // master fade: off (the output black) until the GUI's first frame switches it on, so the
  // show's first frame is the start of the fade the GUI asks for, never an unfaded picture
  sInt FadeOn = 0;
  sF32 FadeFactors[2] = {1.0f, 1.0f};

  // colour layers, display-major: [display][layer]
  sInt LayerOn[sGUI_LAYERDISPLAYS][sGUI_COLORLAYERS] = {};
  sF32 LayerDest[sGUI_LAYERDISPLAYS][sGUI_COLORLAYERS][4] = {};
  sF32 LayerTexRect[sGUI_LAYERDISPLAYS][sGUI_COLORLAYERS][4] = {};
  sF32 LayerColorAmount[sGUI_LAYERDISPLAYS][sGUI_COLORLAYERS] = {};
  sF32 LayerContrastAmount[sGUI_LAYERDISPLAYS][sGUI_COLORLAYERS] = {};
};

// The GUI's control of the Slideshow scene, handed to the Slideshow at start.
struct SlideshowControl
{
  sChar path[2048] = {};   // the picture folder
  sInt rootIndex = 0;      // 0 the data root, 1 to 24 the drives c: to z:
  sInt pictureCount = 0;   // picture files in the folder, every one (the Slideshow's Enter: those it lists)
  sInt style = 0;          // the Slideshow's visual style
};

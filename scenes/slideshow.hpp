#pragma once
// The Slideshow scene: the pictures of the folder the operator chose, one after another
// in step with the music, in one of three styles (colour-channel layers over an endless
// ornament wall, fanned strips before rings of sprites, page turns inside horizon bands
// over a mirror floor). Pictures are decoded by a loader thread of the scene's own and
// turned into textures by Render; three texture slots rotate so the picture on screen,
// the one before it and the one being prepared never share a slot.
//
// Threads: everything runs on the main thread but the loader (slideshowloader.cpp). The
// loader and the main thread share the listing, the load and show counters, the enable
// flag and the pending hand-over, all under Lock.

#include "base/arrays.hpp"
#include "base/file.hpp"
#include "base/system.hpp"
#include "scenes/kit.hpp"
#include "show/ipp.hpp"

struct SlideshowControl;
class ArrayForm;
class sImage;

enum : sInt
{
  SLIDESHOW_FRAMES = 256,        // ornament tiles: 4 layers of 8 x 8
  SLIDESHOW_MAXPICTURES = 1023,  // pictures a folder counts at most
  SLIDESHOW_MAXSTRIPS = 32,
  SLIDESHOW_PATHCHARS = 1024,    // a folder and a picture name joined, with the end
  SLIDESHOW_TABLEROWS = 257,     // rows of eight bars: the first and one per four pictures
};

// A picture plane: the graded plane with its rest position and colour channel.
class PictureForm : public GradedPlane
{
public:
  sVec3 Rest = sVec3(0.0f, 0.0f, 0.0f);
  sInt Channel = 0;
  explicit PictureForm(sInt materialIndex) : GradedPlane(materialIndex) { SetGrade(0, 1, 0, 1, 0, 1); }
};

// One ornament tile of the wall; its forms belong to the scene's object list.
struct SlideshowFrame
{
  sInt Layer = 0;
  sVec3 Home = sVec3(0.0f, 0.0f, 0.0f);
  sVec3 Position = sVec3(0.0f, 0.0f, 0.0f);
  ArrayForm *Squares[8] = {};
  ArrayForm *Arcs[4] = {};
  ArrayForm *Backdrop = nullptr;
};

class SlideshowScene : public Scene
{
public:
  // the folder listing of Enter: picture files only, at most SLIDESHOW_MAXPICTURES
  sDynamicArray<sDirEntry> Listing;
  sChar Folder[SLIDESHOW_PATHCHARS] = {};   // the folder of that listing
  sInt PictureCount = 0;
  sInt Generation = 0;       // raised by every Enter: a decode of an older listing is dropped

  sInt PendingFlag = 0;
  sImage *PendingImage = nullptr;
  sInt PendingSlot = 0;

  SlideshowFrame *Frames[SLIDESHOW_FRAMES] = {};
  ArrayForm *Backdrop = nullptr, *StarBand = nullptr, *GroundBand = nullptr;
  PictureForm *ChannelLayers[2][3] = {};
  PictureForm *ChannelShadows[2] = {};
  ArrayForm *RingSprites = nullptr, *RingPlane = nullptr;
  PictureForm *Strips[2][SLIDESHOW_MAXSTRIPS] = {};
  PictureForm *StripShadows[2][SLIDESHOW_MAXSTRIPS] = {};
  ArrayForm *HorizonWall = nullptr, *HorizonBands[7] = {};
  PictureForm *Pages[2] = {}, *PageShadows[2] = {};
  ArrayForm *MirrorFloor = nullptr;

  sInt StripCount[2] = {2, 2};
  sF32 StripDelay[2][SLIDESHOW_MAXSTRIPS] = {};
  sInt StripsAcross = 0;
  sInt LoadIndex = 0, ShownIndex = 0, ShownSlot = 0;
  sInt LeadSet = 0, TrailSet = 1;
  sInt LeadHidden = 1, TrailHidden = 1;
  sInt FirstEventPending = 1;
  sInt PhaseHalf = 0;
  sF32 JoltAmplitude[3] = {2.0f, 2.0f, 2.0f};
  sF32 JoltStart = 0.0f;
  sInt JoltMode = 0;
  sF32 MotionOffset = 0.0f, MotionSpeed = 0.05f;
  sInt MotionStart = 0;
  sInt TimeOffset = 0;
  sInt Style = 0;            // the style of the control, kept within 0..3

  SlideshowControl *Control = nullptr;
  sInt LoadingEnabled = 0;
  sThread *LoaderThread = nullptr;
  sThreadLock *Lock = nullptr;

  SlideshowScene();
  ~SlideshowScene() override;
  void Init(SyncMachine *syncSource, sInt initFlags, TMData *globalSet) override;
  void Exit() override;
  void Enter(sInt arg) override;
  void Leave(sInt newIndex) override;
  void Render(sInt variant, sViewport *view) override;
  void OnEvent(sInt code) override;
  void Camera(sInt variant, sViewport *view) override;

  // The pattern table Enter installs on channel 0.
  SyncPatternTable Patterns() const { return Table; }
  // Width over height of a picture material's texture (4:3 without a usable texture).
  sF32 PictureAspect(sInt material) const;
  // Makes the texture of a pending picture (main thread, under Lock).
  void TakePendingPicture();
  // The picture slot has a texture (under Lock).
  sBool SlotHasPicture(sInt slot) const;

private:
  const SyncPattern *Table[SLIDESHOW_TABLEROWS * 8 + 1] = {};

  void BuildFrame(SlideshowFrame *f);
  void PlaceFrame(SlideshowFrame *f, const sVec3 &camera, const SyncNow &s);
  void WritePatternRows(sInt pictures);
  sF32 TravelAhead(const SyncNow &s) const;
  void AnimateLayers(sInt set, sF32 t, sInt hidden, const SyncNow &s);
  void AnimateStrips(sInt set, sF32 t, sInt hidden, const SyncNow &s);
  void AnimatePage(sInt set, sF32 t, sInt hidden);
  void DrawRings(const SyncNow &s);
  void ApplyStyle();
  void Shutdown();
};

// The loader thread's body: runs until the thread is told to stop.
void SlideshowLoaderLoop(SlideshowScene *scene, sThread *thread);
// One pass of the loader without its sleep: decodes the next picture when one is due.
// Returns 1 when it tried a file.
sBool SlideshowLoadNext(SlideshowScene *scene);

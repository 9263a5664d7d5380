#pragma once
// The scene machine: the heart of the show. It owns the registered scenes and a view for
// each, the shared render targets, the painter of the debug text, the loader screen, the
// debug camera, the value banks and the live recording (SceneControls), and the SYNC and
// IPP machines once they are plugged in. It switches the current scene, routes input
// events and sequencer codes, and runs one frame of the show per OnPaint3D:
//
//   clock -> DMX and MIDI banks -> input devices and pointer -> SYNC update -> channel-0
//   codes -> current scene (Camera, Tick per 10 ms step, Render, object list,
//   AfterRender) -> IPP machine -> screen copy -> colour layers -> resident scenes in index
//   order (the GUI last) -> debug text -> fixed-step capture.
//
// The SYNC machine, the IPP machine, the DMX receiver and the music player are machines
// of their own; each plugs in through the ShowPlugins table below. A machine whose
// functions are absent is simply not there: the frame goes on without it.
//
// There is exactly one machine (sGetSceneMachine). Main thread only.

#include "base/app.hpp"
#include "base/numbers.hpp"
#include "graphics/graphics.hpp"
#include "show/controls.hpp"

class Scene;
class SyncMachine;
class TMData;
class sPainter;
class sImage;
class sFreeCamera;
class LoaderScreen;
struct StartupRecord;
struct GuiMediaState;
struct SceneRequest;

enum : sInt
{
  sSCENE_MAXSCENES = 32,
  sSCENE_SWITCHCODE = 0xE020,   // 0xE020 + n switches to scene n
  sSCENE_FIXEDSTEPKEY = 0xE013,
  sSCENE_VARIANTKEYS = 20,
};

// The pointer of the frame, read by the GUI. It follows the absolute position the window
// reports (a touch moves the pointer there too), so it never drifts from the finger.
struct PointerRecord
{
  sInt Buttons;       // bit 0 the primary button or a touch, bit 1 the second button
  sF32 DeltaX, DeltaY;// motion of this frame
  sF32 X, Y;          // position in pixels, clamped to the display
  sF32 LastRawX, LastRawY; // the position the last frame took
  sU32 ResetFlag;     // low byte set: the next frame only takes the position as reference
};
void ClearPointerRecord(PointerRecord *record);

// The position of a variant key among the twenty ('1'...'0', 0xDF, 0xB4, '+', 0xFC,
// 'p', 'o', 'i', 'u', 'z', 't'), or -1.
sInt GetVariantKey(sU32 code);

// The machines that come with their own parts of the show. Each function may be null:
// the machine is then absent and the frame skips it.
struct ShowPlugins
{
  // SYNC machine: made per scene machine at start (bpm, painter, display size, the range
  // of the scene keys), deleted at the end.
  SyncMachine *(*CreateSync)(sF32 bpm, sPainter *painter, sInt width, sInt height, sInt firstKey, sInt lastKey);
  void (*DeleteSync)(SyncMachine *sync);
  void (*UpdateSync)(SyncMachine *sync, sInt frameMs);
  sBool (*HasPatterns)(SyncMachine *sync, sInt channel);
  sInt (*PollKey)(SyncMachine *sync, sInt channel, sInt first);
  void (*SyncOnKey)(SyncMachine *sync, sU32 code);
  void (*ClearTrigger)(SyncMachine *sync);
  void (*ClearFreeze)(SyncMachine *sync);
  sInt (*GetColorPreset)(SyncMachine *sync);
  sU32 (*GetSyncClock)(SyncMachine *sync);   // the published sync clock in ms
  void (*DrawSyncPanel)(SyncMachine *sync, sFrameTimer *timer);
  void (*SetSceneRequest)(SyncMachine *sync, SceneRequest *request);

  // IPP machine: a scene of its own that is not in the table.
  Scene *(*CreateIpp)();
  void (*SetupIpp)(Scene *ipp, SyncMachine *sync, sInt ippOn);
  void (*SetIppChannel)(Scene *ipp, sInt channel);
  void (*SetIppPanel)(Scene *ipp, sInt show);
  void (*SetIppMedia)(Scene *ipp, GuiMediaState *media);
  void (*PaintColorLayers)(Scene *ipp, sViewport *view);

  // DMX receiver: opened at start (it runs its own thread), read every frame into values
  // 0..1 (returns the channel count), closed at the end.
  void (*OpenDmx)();
  sInt (*ReadDmx)(sF32 *values, sInt max);
  void (*CloseDmx)();

  // Music player: loaded and started at start, stopped and deleted with the machine.
  void (*StartMusic)(const sChar *file);
  void (*StopMusic)();
};
extern ShowPlugins sShowPlugins;

// The frame memory the show partitions at its start (no DMA memory).
constexpr sPtr ShowFrameMemory = 1500000;

class SceneMachine : public sApp, public SceneControls
{
public:
  sPainter *Painter;
  sInt PanelSwitch;
  sFreeCamera *FreeCamera;
  sRandomLcg Random;
  sFrameTimer FrameTimer;
  sInt FreeCameraOn;
  sInt SlowCamera;
  sU32 FixedClock;
  sInt CaptureCounter;
  sImage *CaptureImage;
  StartupRecord *Record;
  LoaderScreen *Loader;
  PointerRecord Pointer;
  sInt Current;
  sInt SceneCount;
  sViewport Views[sSCENE_MAXSCENES];
  Scene *Scenes[sSCENE_MAXSCENES];
  const sChar *SceneNames[sSCENE_MAXSCENES];   // as registered (static texts), null where none
  SyncMachine *Sync;                   // the shared SYNC machine, null until plugged in
  sInt PendingTransition;
  sTexture2D *Targets[3];
  sTexture2D *ScreenTarget;
  sTexture2D *FormTarget;
  sTexture2D *PreviewTarget;
  sViewport OverlayView;
  Scene *Ipp;                          // the IPP machine, null until plugged in
  TMData *GlobalSet;                   // the global texture and material set
  GuiMediaState *Media;                // the GUI's media state, handed to the IPP machine
  sBool Started;                       // the first frame has run
  sInt SceneDisplay;                   // the display of the show scenes and the IPP machine
  sInt DisplayCount;                   // output displays painted: the screens, at most the display table's

  // sceneDisplay: the display table entry the show scenes and the IPP machine draw on.
  explicit SceneMachine(StartupRecord *record, sInt sceneDisplay = 0);
  ~SceneMachine() override;

  void RegisterScene(Scene *scene, const sChar *name, sInt index, sInt flags, sInt display);
  void Start();
  // Makes a scene current. Resident scenes and indices without a scene are refused.
  void SwitchScene(sInt index);
  void HandleSceneKey(sU32 code, sInt sceneIndex);
  void RunOverlay();
  void OnInput(const sInput2Event &event) override;
  void OnPaint3D() override;

  // The pointer record from the mouse device's window position (the position of a touch
  // too), clamped to the display; bit 0 of Buttons is the primary button or a touch.
  void UpdatePointer();

private:
  void DrawScene(sInt index, sViewport *view, sBool ownCamera);
  void RouteKey(sU32 code);
};

// The one machine, null before its construction and after its destruction.
SceneMachine *sGetSceneMachine();

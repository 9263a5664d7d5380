// The scene machine: registry, switching, input routing and the frame.
#include "show/scenehost.hpp"

#include "base/framemem.hpp"
#include "base/gdi.hpp"
#include "base/input2.hpp"
#include "base/memory.hpp"
#include "base/midi.hpp"
#include "graphics/image.hpp"
#include "graphics/painter.hpp"
#include "show/freecamera.hpp"
#include "show/guirecords.hpp"
#include "show/loader.hpp"
#include "show/media.hpp"
#include "show/scene.hpp"
#include "show/startup.hpp"
#include "util/packfile.hpp"

#include <ctime>

ShowPlugins sShowPlugins = {};

namespace
{
SceneMachine *TheMachine = nullptr;

const sU32 VariantKeys[sSCENE_VARIANTKEYS] = {'1', '2', '3', '4', '5', '6', '7', '8', '9', '0',
                                              0xDF, 0xB4, '+', 0xFC, 'p', 'o', 'i', 'u', 'z', 't'};

sF32 Clamp(sF32 v, sF32 lo, sF32 hi) { return v < lo ? lo : (v > hi ? hi : v); }

// The midi subsystem is registered once per process, however often a machine starts.
void AddMidiOnce()
{
  sSubsystemRegistry &reg = sGetSubsystemRegistry();
  for(sInt i = 0; i < reg.GetCount(); i++)
    if(reg.Get(i).Name && sCmpStringEqual(reg.Get(i).Name, u"midi")) return;
  sAddMidi(0);
}

void BindScreen(sU32 flags, sU32 colour, sInt screen = 0)
{
  sSetTarget(sRenderTargetSpec(flags, colour, nullptr, sGetScreenColorBuffer(screen), sGetScreenDepthBuffer()));
}
}

SceneMachine *sGetSceneMachine() { return TheMachine; }

sInt GetVariantKey(sU32 code)
{
  for(sInt i = 0; i < sSCENE_VARIANTKEYS; i++)
    if(VariantKeys[i] == code) return i;
  return -1;
}

void ClearPointerRecord(PointerRecord *record)
{
  record->Buttons = 0;
  record->DeltaX = record->DeltaY = 0;
  record->X = record->Y = 0;
  record->LastRawX = record->LastRawY = 0;
  record->ResetFlag = 1;
}

/****************************************************************************/
/***   Construction                                                       ***/
/****************************************************************************/

SceneMachine::SceneMachine(StartupRecord *record, sInt sceneDisplay)
{
  TheMachine = this;
  Record = record;
  // every screen in use is an output display, as far as the display table reaches
  DisplayCount = sIsGfxActive() ? sGetScreenCount() : 1;
  if(DisplayCount > ShowDisplayCount) DisplayCount = ShowDisplayCount;
  if(DisplayCount < 1) DisplayCount = 1;
  SceneDisplay = sceneDisplay >= 0 && sceneDisplay < DisplayCount ? sceneDisplay : 0;
  Painter = nullptr;
  Loader = nullptr;
  Sync = nullptr;
  Ipp = nullptr;
  GlobalSet = nullptr;
  Media = nullptr;
  Started = 0;
  PanelSwitch = 0;
  for(Scene *&s : Scenes) s = nullptr;
  for(const sChar *&n : SceneNames) n = nullptr;
  if(Record->SharedSync != 1)
  {
    // one SYNC machine per scene would leave the overlay, the scene switch and the
    // variant keys without the shared machine they read: run with the shared one
    sLogF(u"sys", u"SharedSync %d is not supported: the show runs with one shared SYNC machine\n", Record->SharedSync);
    Record->SharedSync = 1;
  }

  sSetMousePointer(sMP_OFF);
  ClearPointerRecord(&Pointer);
  if(Record->RecordPackfile) sAddPackfileLogger(Record->PackfileDefName);
  if(Record->UsePackfile) sAddPackfile(Record->PackfileName);
  sPartitionMemory(ShowFrameMemory, 0);

  Loader = sNEW LoaderScreen;
  Loader->Start(Record);
  Painter = sNEW sPainter;

  const ShowDisplayRecord &d = GetShowDisplay(SceneDisplay);
  for(sTexture2D *&t : Targets) t = sNEW sTexture2D(d.Width, d.Height, 0x601, 0);
  ScreenTarget = sNEW sTexture2D(d.Width, d.Height, 0x601, 0);
  FormTarget = sNEW sTexture2D(d.Width, d.Height, 0x40001621, 0);
  PreviewTarget = sNEW sTexture2D(1024, 768, 0x601, 0);

  Current = 0;
  SceneCount = 0;
  PendingTransition = 0;

  FreeCamera = sNEW sFreeCamera;
  FreeCamera->Position = sVec3(0, 0, 10.0f);
  FreeCamera->AngleY = 3.14159274f;

  if(sShowPlugins.CreateIpp) Ipp = sShowPlugins.CreateIpp();
  if(Ipp)
  {
    Ipp->Machine = this;
    Ipp->DisplayIndex = SceneDisplay;
    Ipp->DisplayWidth = d.Width;
    Ipp->DisplayHeight = d.Height;
  }
  OverlayView.ClipFar = 8192.0f;
  OverlayView.ZoomY = 1.4f;
  OverlayView.ZoomX = d.Height ? d.Width * 1.4f / d.Height : 1.4f;

  FreeCameraOn = 0;
  SlowCamera = 0;
  FreeCamera->Glide = Record->CameraGlide;
  FixedClock = sGetTime();
  CaptureCounter = 1;
  CaptureImage = sNEW sImage(d.Width > 0 ? d.Width : 1, d.Height > 0 ? d.Height : 1);

  RefreshLoadingScreen();
  LoadLiveRecording(this, sLiveRecordingFile);
}

SceneMachine::~SceneMachine()
{
  if(Record->RecordPackfile)
  {
    sWritePackfileDefinitions();
    sCreatePackfile(Record->PackfileName, Record->PackfileDefName);
  }
  if(Loader) Loader->Destroy();
  sDELETE(Loader);
  sDELETE(Painter);
  sDELETE(FreeCamera);
  if(Sync && sShowPlugins.DeleteSync) sShowPlugins.DeleteSync(Sync);
  Sync = nullptr;
  if(Ipp)
  {
    Ipp->Exit();
    sDELETE(Ipp);
  }
  for(sInt i = 0; i < SceneCount; i++)
  {
    if(!Scenes[i]) continue;
    sDPrintF(u"exiting scene %d - ", i);
    Scenes[i]->Exit();
    sDPrintF(u"deleting scene %d\n", i);
    sDELETE(Scenes[i]);
  }
  for(sTexture2D *&t : Targets) sDELETE(t);
  sDELETE(ScreenTarget);
  sDELETE(FormTarget);
  sDELETE(PreviewTarget);
  sDELETE(CaptureImage);
  if(sShowPlugins.CloseDmx) sShowPlugins.CloseDmx();
  if(sShowPlugins.StopMusic) sShowPlugins.StopMusic();
  // the frame memory goes back with the machine that reserved it
  sPartitionMemory(0, 0);
  if(TheMachine == this) TheMachine = nullptr;
}

void SceneMachine::RegisterScene(Scene *scene, const sChar *name, sInt index, sInt flags, sInt display)
{
  // a scene keeps its place in the table (its number in the scene keys); the places of
  // scenes not built stay empty and are passed over
  sVERIFY(index >= 0);
  sVERIFYAS(index + 1 < sSCENE_MAXSCENES, u"SceneCount<32");
  sVERIFY(!Scenes[index]);
  const ShowDisplayRecord &d = GetShowDisplay(display);
  Scenes[index] = scene;
  SceneNames[index] = name;
  scene->DisplayWidth = d.Width;
  scene->DisplayHeight = d.Height;
  scene->TextureSetKind = flags & 0xff;
  scene->Resident = (flags & 0x100) ? 1 : 0;
  scene->Machine = this;
  scene->DisplayIndex = display;
  if(index >= SceneCount) SceneCount = index + 1;
  RefreshLoadingScreen();
}

void SceneMachine::Start()
{
  PanelSwitch = 0;
  const ShowDisplayRecord &d = GetShowDisplay(0);
  if(sShowPlugins.CreateSync)
  {
    sDPrint(u"start new sync!\n");
    Sync = sShowPlugins.CreateSync(Record->InitialBpm, Painter, d.Width, d.Height, sSCENE_SWITCHCODE,
                                   sSCENE_SWITCHCODE + SceneCount - 1);
  }
  if(Ipp && sShowPlugins.SetupIpp) sShowPlugins.SetupIpp(Ipp, Sync, Record->IppOn);
  for(sInt i = 0; i < SceneCount; i++)
  {
    Views[i].ClipFar = 8192.0f;
    Views[i].ZoomX = 1.4f;
    Views[i].ZoomY = 1.4f;
  }
  sInt flags = (Record->PackedAssets ? 1 : 0) | (Record->UseLoader ? 2 : 0);
  for(sInt i = 0; i < SceneCount; i++)
  {
    Scene *s = Scenes[i];
    if(!s) continue;
    sDPrintF(u"-------------------init%d", i);
    sDPrint(u"-1");
    if(s->TextureSetKind == 2)
    {
      if(!GlobalSet) sFatal(u"no global texture & material found!\n");
      s->Init(Sync, flags, GlobalSet);
    }
    else
    {
      s->Init(Sync, flags, nullptr);
      if(s->TextureSetKind == 0)
      {
        if(i != 0) sFatal(u"global texture & material scene should be first!\n");
        GlobalSet = s->MaterialSet;
      }
    }
    sDPrint(u"-2");
  }
  sDPrint(u"-3");
  if(Current < SceneCount && Scenes[Current]) Scenes[Current]->Enter(0);
  if(Record->MusicOn && sShowPlugins.StartMusic) sShowPlugins.StartMusic(Record->MusicFile);
  Loader->PresentNextRefresh();   // the whole progress stays on the screen until the show's frame
  RefreshLoadingScreen();
  if(Current < SceneCount && Scenes[Current]) Scenes[Current]->Enter(0);
  if(Ipp) Ipp->Enter(0);
  ResetBanks();
  sTrimHeap();   // what the scenes' building freed
  if(sShowPlugins.OpenDmx) sShowPlugins.OpenDmx();
  AddMidiOnce();
}

/****************************************************************************/
/***   Switching and keys                                                 ***/
/****************************************************************************/

void SceneMachine::SwitchScene(sInt index)
{
  // a resident scene is drawn in its own pass and never current, and an index without a
  // scene has nothing to draw: either would leave the show black
  if(index < 0 || index >= SceneCount || !Scenes[index] || Scenes[index]->Resident)
  {
    sLogF(u"sys", u"scene switch to %d ignored\n", index);
    return;
  }
  if(Current < SceneCount && Scenes[Current]) Scenes[Current]->Leave(index);
  Current = index;
  Scene *s = Scenes[Current];
  if(Media) Media->SceneSwitched = 1;
  static const sInt modes[] = {0, 1, 3, 2, 4};
  s->RenderMode = PendingTransition >= 0 && PendingTransition <= 4 ? modes[PendingTransition] : 5;
  if(PendingTransition == 0 && Media) Media->SceneSwitched = 0;
  if(Sync && sShowPlugins.ClearFreeze) sShowPlugins.ClearFreeze(Sync);
  s->Enter(0);
  if(Sync && sShowPlugins.ClearTrigger) sShowPlugins.ClearTrigger(Sync);
  // what the last scene's frames freed (the driver's working memory most) goes back to the
  // system instead of staying with the heap
  sTrimHeap();
}

void SceneMachine::HandleSceneKey(sU32 code, sInt sceneIndex)
{
  Scene *s = sceneIndex >= 0 && sceneIndex < SceneCount ? Scenes[sceneIndex] : nullptr;
  sInt variant = GetVariantKey(code);
  if(variant >= 0 && s) s->Variant = s->BaseVariant = variant;
  if(!(code & 0x80000000u) && code >= sU32(sSCENE_SWITCHCODE) && code - sSCENE_SWITCHCODE < sU32(SceneCount))
    SwitchScene(sInt(code - sSCENE_SWITCHCODE));
  if(code == 97)
  {
    sInt preset = Sync && sShowPlugins.GetColorPreset ? sShowPlugins.GetColorPreset(Sync) : 0;
    if(preset >= 2 && s) s->Variant = s->NextVariant(s->BaseVariant);
  }
  else if(code == 115)
  {
    if(s) s->Variant = s->BaseVariant;
  }
  else if(code == 27)
  {
    sExit(u"ESC sent by a show program");
  }
}

void SceneMachine::OnInput(const sInput2Event &event)
{
  for(sInt i = 0; i < SceneCount; i++)
  {
    if(!Scenes[i]) continue;
    sInput2Event copy = event;
    Scenes[i]->OnInput(&copy);
  }
  sU32 code = event.Key;
  if((code & 0xffff) == 27) sExit(u"ESC pressed");
  if(Record->InputLock) return;
  if(code == 94) FreeCameraOn = !FreeCameraOn;
  if((code & 0xffff) == sSCENE_FIXEDSTEPKEY)
  {
    Record->FixedStep = !Record->FixedStep;
    if(Record->FixedStep)
      FixedClock = sGetTime();
    else
      FrameTimer.Update(sGetTime());
  }
  if(code == 45)
  {
    SlowCamera = !SlowCamera;
    FreeCamera->Glide = SlowCamera ? Record->CameraGlideShort : Record->CameraGlide;
  }
  if(code == 9) PanelSwitch = !PanelSwitch;
  FreeCamera->OnKey(code);
  sInt variant = GetVariantKey(code);
  if(Ipp)
  {
    if(variant >= 0) Ipp->Variant = Ipp->BaseVariant = variant;
    Ipp->OnEvent(sInt(code));
  }
  RouteKey(code);
}

// A key code for the current scene and the resident ones: the machine's own keys, the
// SYNC machine, the current scene, then every resident scene (a resident current scene
// gets it twice).
void SceneMachine::RouteKey(sU32 code)
{
  HandleSceneKey(code, Current);
  if(Sync && sShowPlugins.SyncOnKey) sShowPlugins.SyncOnKey(Sync, code);
  if(Current < SceneCount && Scenes[Current]) Scenes[Current]->OnEvent(sInt(code));
  for(sInt i = 0; i < SceneCount; i++)
    if(Scenes[i] && Scenes[i]->Resident) Scenes[i]->OnEvent(sInt(code));
}

/****************************************************************************/
/***   The frame                                                          ***/
/****************************************************************************/

void SceneMachine::UpdatePointer()
{
  sInput2PollDevice *mouse = sFindInput2PollDevice(sINPUT2_TYPE_MOUSE, 0);
  if(!mouse || (mouse->GetStatus() & 0x80000000u)) return;
  const ShowDisplayRecord &d = GetShowDisplay(0);
  // the pointer is the cursor's or finger's own place, not raw motion summed from (0, 0),
  // which leaves a touch apart from its finger once a sum was clamped or began elsewhere.
  // The window reports client positions; a window of another size than the display
  // (a resized window) is scaled onto it
  sF32 x = mouse->getAbs(sMOUSE_X), y = mouse->getAbs(sMOUSE_Y);
  sInt ww = 0, wh = 0;
  if(sIsGfxActive()) sGetWindowSize(ww, wh);
  if(ww > 0 && wh > 0 && (ww != d.Width || wh != d.Height))
  {
    x = x * d.Width / ww;
    y = y * d.Height / wh;
  }
  x = Clamp(x, 0.0f, sF32(d.Width));
  y = Clamp(y, 0.0f, sF32(d.Height));
  if(Pointer.ResetFlag & 0xff)
  {
    Pointer.DeltaX = Pointer.DeltaY = 0;
    Pointer.ResetFlag = 0;
  }
  else
  {
    Pointer.DeltaX = x - Pointer.X;
    Pointer.DeltaY = y - Pointer.Y;
  }
  Pointer.X = Pointer.LastRawX = x;
  Pointer.Y = Pointer.LastRawY = y;
  Pointer.Buttons = sInt(mouse->getAbs(sMOUSE_RIGHT)) | sInt(mouse->getAbs(sMOUSE_LEFT));
}

void SceneMachine::DrawScene(sInt index, sViewport *view, sBool ownCamera)
{
  Scene *s = Scenes[index];
  view->SetTarget();
  if(!ownCamera && FreeCameraOn)
    FreeCamera->Update(FrameTimer.Delta, view);
  else
    s->Camera(s->Variant, view);
  view->Prepare(15);
  s->StepRemainder = FrameTimer.Remainder;
  s->StepCount = FrameTimer.Slices;
  for(sInt t = 0; t < s->StepCount; t++) s->Tick(s->Variant);
  s->Render(s->Variant, view);
  s->RenderObjects(view);
  s->AfterRender(view);
}

void SceneMachine::RunOverlay()
{
  sViewport &v = OverlayView;
  v.SetTarget();
  v.Model.EulerXYZ(0, 0, 0);
  for(sInt c = 1; c <= 4; c++)
  {
    if(sShowPlugins.SetIppChannel) sShowPlugins.SetIppChannel(Ipp, c);
    if(!Sync || !sShowPlugins.HasPatterns || !sShowPlugins.PollKey || !sShowPlugins.HasPatterns(Sync, c)) continue;
    for(sInt code = sShowPlugins.PollKey(Sync, c, 1); code; code = sShowPlugins.PollKey(Sync, c, 0))
    {
      sU32 u = sU32(code);
      if(u >= sU32(sSCENE_SWITCHCODE) && u - sSCENE_SWITCHCODE < sU32(SceneCount)) SwitchScene(sInt(u - sSCENE_SWITCHCODE));
      Ipp->OnEvent(code);
      if(sShowPlugins.SyncOnKey) sShowPlugins.SyncOnKey(Sync, u);
      sInt variant = GetVariantKey(u);
      if(variant >= 0) Ipp->Variant = Ipp->BaseVariant = variant;
    }
  }
  if(FreeCameraOn)
    FreeCamera->Update(FrameTimer.Delta, &v);
  else
    Ipp->Camera(Ipp->Variant, &v);
  v.Prepare(15);
  Ipp->StepRemainder = FrameTimer.Remainder;
  Ipp->StepCount = FrameTimer.Slices;
  for(sInt t = 0; t < Ipp->StepCount; t++) Ipp->Tick(Ipp->Variant);
  Ipp->Render(Ipp->Variant, &v);
  Ipp->RenderObjects(&v);
  if(sShowPlugins.SetIppPanel) sShowPlugins.SetIppPanel(Ipp, PanelSwitch);
  Ipp->AfterRender(&v);
}

void SceneMachine::OnPaint3D()
{
  if(!Started)
  {
    Started = 1;
    Loader->StartFrames();
    // the CPU the main thread spent up to here, beside the wall time, says how much of the
    // start is our own work rather than waiting for the machine
    timespec cpu{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
    sLogF(u"sys", u"first frame %d ms after start, main thread CPU %d ms\n", sInt(sGetTime()),
          sInt(cpu.tv_sec * 1000 + cpu.tv_nsec / 1000000));
  }
  if(Record->FixedStep)
  {
    FixedClock += sU32(Record->FixedStepMs);
    FrameTimer.Update(FixedClock);
  }
  else
  {
    FrameTimer.Update(sGetTime());
  }

  static sF32 dmx[sCONTROL_DMXCHANNELS];
  sInt dmxCount = sShowPlugins.ReadDmx ? sShowPlugins.ReadDmx(dmx, sCONTROL_DMXCHANNELS) : 0;
  UpdateDmx(dmx, dmxCount);
  PollMidi(sMidiHandlerPtr);

  sUpdateInput2Devices(sGetTime(), 0);
  UpdatePointer();

  if(Current < SceneCount)
  {
    Views[Current].SetTarget();
    Views[Current].Model.EulerXYZ(0, 0, 0);
  }
  if(Sync && sShowPlugins.UpdateSync) sShowPlugins.UpdateSync(Sync, FrameTimer.Delta);
  // the live recording replays on the sync clock, or on the show's own clock without one
  SetLiveClock(Sync && sShowPlugins.GetSyncClock ? sShowPlugins.GetSyncClock(Sync) : sU32(FrameTimer.Total));

  if(Sync && sShowPlugins.PollKey)
  {
    for(sInt code = sShowPlugins.PollKey(Sync, 0, 1); code; code = sShowPlugins.PollKey(Sync, 0, 0))
    {
      // a code may switch the scene: the current one is looked up for each
      if(Current < SceneCount && Scenes[Current]) Scenes[Current]->OnEvent(code);
      if(sShowPlugins.SyncOnKey) sShowPlugins.SyncOnKey(Sync, sU32(code));
      HandleSceneKey(sU32(code), Current);
    }
  }

  Scene *cur = Current < SceneCount ? Scenes[Current] : nullptr;
  sU32 clear = cur && cur->OwnClearColour ? cur->RenderEnv.FogColor : Record->BackgroundColour;
  // every output display is cleared first (the IPP machine's colour layers may draw on
  // another display than its own), the first last: it stays bound
  const sInt curDisplay = cur ? cur->DisplayIndex : 0;
  for(sInt d = DisplayCount - 1; d >= 0; d--)
    BindScreen(sRTF_CLEAR_ALL | sRTF_NO_MULTISAMPLE, d == curDisplay ? clear : Record->BackgroundColour, d);

  // each display gets what is on it: the current scene, the IPP machine with the screen
  // copy and its colour layers, then the resident scenes
  const sInt ippDisplay = Ipp ? Ipp->DisplayIndex : -1;
  for(sInt d = 0; d < DisplayCount; d++)
  {
    if(d > 0) BindScreen(sRTF_NO_MULTISAMPLE, 0, d);
    if(cur && !cur->Resident && curDisplay == d) DrawScene(Current, &Views[Current], 0);
    if(ippDisplay == d) RunOverlay();
    if(!cur ? d == SceneDisplay : curDisplay == d)
    {
      const sInt screen = Ipp ? ippDisplay : d;
      CopyScreenToTexture(Targets[0], screen);
      DrawTextureToTarget(Targets[0], PreviewTarget, screen);
    }
    if(ippDisplay == d && sShowPlugins.PaintColorLayers)
    {
      sShowPlugins.PaintColorLayers(Ipp, &OverlayView);
      // with a second output display the layers leave that one bound
      if(DisplayCount >= 3) BindScreen(sRTF_NO_MULTISAMPLE, 0, d);
    }
    for(sInt i = 0; i < SceneCount; i++)
    {
      if(!Scenes[i] || !Scenes[i]->Resident || Scenes[i]->DisplayIndex != d) continue;
      Views[i].SetTarget();
      Views[i].Model.EulerXYZ(0, 0, 0);
      DrawScene(i, &Views[i], 1);
    }
  }

  BindScreen(sRTF_NO_MULTISAMPLE, 0);
  Painter->UpdateView();
  Painter->Clear();
  if(PanelSwitch)
  {
    sChar line[1024];
    Painter->SetPrint(0, 0xffffffff, 1.0f, 0xffffffff, 10.0f);
    sSPrintF(sStringRef(line, 1024), u"%f %f", FreeCamera->AngleX, FreeCamera->AngleY);
    Painter->Print(10, 20, line);
    sSPrintF(sStringRef(line, 1024), u"%f %f", Pointer.DeltaX, Pointer.DeltaY);
    Painter->Print(10, 30, line);
    sSPrintF(sStringRef(line, 1024), u"%f %f", Pointer.X, Pointer.Y);
    Painter->Print(10, 40, line);
    sSPrintF(sStringRef(line, 1024), u"%08x", sU32(Pointer.Buttons));
    Painter->Print(10, 50, line);
    if(SceneCount > 0)
    {
      const sVec3 &p = Views[0].Camera.l;
      sSPrintF(sStringRef(line, 1024), u"%f %f %f", p.x, p.y, p.z);
      Painter->Print(10, 60, line);
      if(Sync && sShowPlugins.DrawSyncPanel) sShowPlugins.DrawSyncPanel(Sync, &FrameTimer);
    }
  }
  Painter->Draw();

  if(Record->FixedStep)
  {
    sChar name[256];
    sSPrintF(sStringRef(name, 256), GetCapturePattern(*Record), CaptureCounter);
    sSetScreenTarget(nullptr, 0, 0);
    CaptureImage->GrabScreen();
    if(!CaptureImage->Save(name)) sLogF(u"sys", u"could not save the frame <%s>\n", name);
    CaptureCounter++;
  }
}

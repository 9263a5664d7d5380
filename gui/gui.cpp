// The GUI scene's own steps: the scene operations, the scene choice that ties the concerns
// together and the one place where the GUI's state becomes the records.
#include "gui/gui.hpp"

#include "base/input.hpp"
#include "gui/modescene.hpp"
#include "show/controls.hpp"
#include "show/ipp.hpp"
#include "util/movieplayer.hpp"
#include "show/mainapp.hpp"
#include "show/scenehost.hpp"
#include "show/startup.hpp"
#include "show/sync.hpp"
#include "show/textform.hpp"

namespace
{
constexpr sF32 PlaneW = 1229.4f, PlaneH = 691.2f, CameraDistance = 1486.0f, Zoom = 4.3f;
constexpr sInt SlideshowIndex = 14;
}

sInt GuiPositionToScene(sInt position)
{
  return position >= 0 && position < 13 ? position : -1;
}

sInt TouchGui::SceneOfPosition(sInt position) const
{
  sInt scene = GuiPositionToScene(position);
  if(scene < 0 || !Machine) return scene;
  return scene < Machine->SceneCount && Machine->Scenes[scene] ? scene : -1;
}

TouchGui::TouchGui()
{
  dialogs.dialogKind = dialogs.touchLocked = 0;
  selectedScene = -1;
  prevButtons = 0;
  counters[0] = counters[1] = counters[2] = 0;
  dialogs.dialogTimer = 3000;
  videoGuard = 0;
  randomWord = 0;
  textForm = nullptr;
  pointerForm = rippleForm = cursorForm = scopeForm = endForm = dialogForm = nullptr;
  boxForm = nullptr;
  for(sInt i = 0; i < sGUI_TILES; i++)
    previewTextures[i] = nullptr, tileShown[i] = 0, movieMarks[i] = 0, movieDurations[i] = 0;
  movieStartClock = 0;
  previewSlot = previewIndex = previewStep = previewFrames = 0;
  previewPlayer = nullptr;
  previewTarget = nullptr;
  config = GuiConfig();
  config.Version = 1.25f;
  ResetGuiConfig(config);
  style = shownStyle = 5;
  for(sF32 &s : styleScroll) s = 0.5f;
  brightness = 1.0f;
  for(sU32 &e : effectThird) e = 0;
  touchFurther = 0;
  strobeTrigger = 0;
  selectedEffect = selectedDistortion = 0;
  selectedMovie = movieClear = upcomingMovie = sU32(-1);
  selectedVideo = prevVideo = sU32(-1);
  videoStartClock = 0;
  autoFxActive = 0;
  autoFxProgram = 4;
  prevAutoFxActive = 0;
  prevAutoFxProgram = 4;
  hintQuads[0] = hintQuads[1] = nullptr;
  previewForm = nullptr;
  for(sU32 &c : commandWords) c = 0;
  for(sU32 &c : pageIndicators) c = 0;
  prevListChoice = -1;
  previousRequested = 0;
  mediaState = GuiMediaState();
  sceneRequest = SceneRequest{};
  sceneRequest.RequestedScene = sGUI_LEDSCENE;
  sceneRequest.SlideshowIndex = SlideshowIndex;
  slideshow = SlideshowControl();
  folders.loader.Lock = &guiLock;
  modeScene = nullptr;
  random.Seed(0);
  releaseEdge = wasDown = 0;
  learnRow = lastLearnRow = -1;
  for(sInt &c : channelBackup) c = 0;
  channelFaderBackup = 0;
  prevPointerX = prevPointerY = dragX = dragY = dragSmoothX = dragSmoothY = 0;
  rippleTime = 1000;
  rippleX = rippleY = 0;
  sceneSelect = sU32(-1);
  laidStyle = -1;
  sceneTileCount = 0;
  prevPage = prevEffect = 0;
  dialogs.dialogAnswer = dialogs.dialogPending = dialogs.lockRequest = dialogs.lockState = dialogs.exitRequest = dialogs.updateRequest = 0;
  dialogs.lockTouchTime = dialogs.autoFxLocked = 0;
  controlSwitch = 1;
  touch.Owner = this;
  touch.TilePictureBase = sGUI_TILEMATERIAL;
  BuildMediaDrives(folders.drives, u".");
}

TouchGui::~TouchGui()
{
  // a GUI that never ran Exit still stops its thread before its state goes
  if(folders.loaderThread) folders.StopLoader();
  sDELETE(modeScene);
  // the dialog's keys are drawn by the dialog, outside the object list
  for(sInt i = 0; i < pages.widgetCount; i++)
    if(!pages.widgets[i].InScene)
    {
      sDELETE(pages.widgets[i].FrameForm);
      sDELETE(pages.widgets[i].FaceForm);
      sDELETE(pages.widgets[i].IndicatorForm);
    }
}

Scene *MakeTouchGui()
{
  // the application wires the GUI's records into the machines through this
  sGetGuiRecords = [](Scene *gui) {
    TouchGui *g = static_cast<TouchGui *>(gui);
    return GuiRecordSet{&g->mediaState, &g->sceneRequest, &g->slideshow};
  };
  return sNEW TouchGui;
}

/****************************************************************************/
/***   Scene operations                                                   ***/
/****************************************************************************/

void TouchGui::Enter(sInt)
{
  if(modeScene) modeScene->Enter(0);
  random.Seed(sGetTime() & 0xfffff);
  randomWord = sU32(random.NextBelow(65536));
}

void TouchGui::Exit()
{
  folders.StopLoader();
  {
    sScopeLock lock(&guiLock);
    // the flyer texture still in the hand-over slot was never taken: it is ours
    if(mediaState.MovieTexture && !mediaState.MovieTaken) sDELETE(mediaState.MovieTexture);
    mediaState.MovieTexture = nullptr;
  }
  // the IPP machine exits before the scenes and frees what it took; the logo textures
  // and the retired ones are the GUI's
  for(GuiLogo &l : mediaState.Logos)
  {
    sDELETE(l.Picture);
    sDELETE(l.Mask);
  }
  mediaState.LogoCount = 0;
  FreeRetired();
  if(previewPlayer) previewPlayer->Release();
  previewPlayer = nullptr;
  sDELETE(previewTarget);
  for(sTexture2D *&t : previewTextures) sDELETE(t);
  sDELETE(modeScene);
}

void TouchGui::Tick(sInt)
{
  schedule.Count(config);
  videoGuard -= 10;
  touch.Clock += 10;
  rippleTime += 10;
  for(sU32 &c : counters) c += 10;
  dialogs.dialogTimer += 10;
}

void TouchGui::OnEvent(sInt code)
{
  if(code == 43 && Machine) SaveLiveRecording(Machine);
  if(code == 46) pages.visible = !pages.visible;
}

void TouchGui::OnInput(sInput2Event *event)
{
  sU32 key = event->Key;
  // mouse buttons and motion share the event queue: they are no keys
  if((key & 0xff00) == 0xe100) return;
  // with the input lock on the scene machine hands keys to no OnEvent: the GUI takes
  // its show/hide key here (and only here, so it never toggles twice)
  sBool locked = Machine && Machine->Record && Machine->Record->InputLock;
  if(locked && !pages.keyboardOpen && !(key & (sKEYQ_BREAK | sKEYQ_REPEAT)) && ((key & 0xffff) == 46 || (key & 0xffff) == 43))
  {
    OnEvent(sInt(key & 0xffff));   // '.' shows or hides the GUI, '+' saves the live recording
    return;
  }
  if(!pages.keyboardOpen) return;
  if(key & sKEYQ_BREAK)
  {
    touch.KeyCase = 0;
    return;
  }
  keyboard.TakeKey(key & 0xffff, textForm, touch.KeyCase);
}

void TouchGui::PlaneZoom(sF32 aspect, sF32 &zoomX, sF32 &zoomY)
{
  // the whole plane stays on screen: bars at the sides or above and below
  if(!(aspect > 0)) aspect = PlaneW / PlaneH;
  if(aspect >= PlaneW / PlaneH)
  {
    zoomY = Zoom;
    zoomX = Zoom / aspect;
  }
  else
  {
    zoomX = Zoom / (PlaneW / PlaneH);
    zoomY = zoomX * aspect;
  }
}

void TouchGui::Camera(sInt, sViewport *view)
{
  sF32 aspect = DisplayHeight > 0 ? sF32(DisplayWidth) / sF32(DisplayHeight) : PlaneW / PlaneH;
  PlaneZoom(aspect, view->ZoomX, view->ZoomY);
  view->Camera.LookAt(sVec3(0, 0, 0), sVec3(0, 0, -CameraDistance));
}

void TouchGui::MapPointer(sF32 px, sF32 py, sInt width, sInt height, sF32 &x, sF32 &y) const
{
  sF32 aspect = height > 0 ? sF32(width) / sF32(height) : PlaneW / PlaneH;
  sF32 zx, zy;
  PlaneZoom(aspect, zx, zy);
  // the exact inverse of the camera: the visible half sizes at the plane's depth
  sF32 halfW = CameraDistance / zx, halfH = CameraDistance / zy;
  x = (px / sF32(width > 0 ? width : 1) * 2 - 1) * halfW;
  y = (1 - py / sF32(height > 0 ? height : 1) * 2) * halfH;
  x = x < -PlaneW / 2 ? -PlaneW / 2 : (x > PlaneW / 2 ? PlaneW / 2 : x);
  y = y < -PlaneH / 2 ? -PlaneH / 2 : (y > PlaneH / 2 ? PlaneH / 2 : y);
}

/****************************************************************************/
/***   Scene choice                                                       ***/
/****************************************************************************/

void TouchGui::SelectScene(sInt number)
{
  if(!Machine) return;
  if(style < 5)
  {
    sInt scene = SceneOfPosition(number);
    if(scene < 0) return;
    Machine->PendingTransition = sInt(style);
    Machine->SwitchScene(scene);
    selectedScene = scene;
  }
  else if(style == 7)
  {
    if(SceneOfPosition(sGUI_LEDSCENE) < 0) return;
    Machine->PendingTransition = 0;
    Machine->Scenes[sGUI_LEDSCENE]->OptionIndex = number % 20;
    Machine->SwitchScene(sGUI_LEDSCENE);
    selectedScene = sGUI_LEDSCENE;
  }
  else
  {
    sInt scene = SceneOfPosition(number % 20);
    if(scene < 0) return;
    Machine->PendingTransition = number / 20;
    Machine->SwitchScene(scene);
    selectedScene = scene;
  }
}

void TouchGui::NextAutoScene(sBool switchNow)
{
  // at start-up the request only: the application makes scene 0 current itself; the number
  // as it stands, not modulo 14, which would name another scene in the styles that count past it
  if(switchNow) SelectScene(sceneRequest.NextNumber);
  sceneRequest.TakenFlag = 1;
  schedule.timers[0].Running = 0;
  if(config.Slideshow.Active || schedule.timers[0].Countdown < 0)
    schedule.timers[0].Countdown = GuiIntervalMs(config.Slideshow.Interval, schedule.timers[0].FullScale);
}

void TouchGui::ScrollRows(sF32 offset)
{
  pages.ScrollRows(offset);
  browser.PathY = (browser.PathBounds[0] + browser.PathBounds[1]) * 0.5f + offset;
}

void TouchGui::LayoutList()
{
  if(pages.movieSection != 8 && pages.movieSection != 9) return;
  sInt n = pages.movieSection == 8 ? folders.listCount : (mediaState.VideoFrame || VideoDeviceFound() ? 1 : 0);
  for(sInt k = 0; k < sGUI_TILES; k++)
  {
    GuiTile &t = pages.tiles[k];
    t.Value = sU32(k);
    if(pages.movieSection == 8)
      t.SelectTarget = &selectedMovie, t.SecondTarget = &upcomingMovie, t.ClearTarget = &movieClear;
    else
      t.SelectTarget = t.SecondTarget = &selectedVideo, t.ClearTarget = nullptr;
    t.MarkFlag = &movieMarks[k];
    if(k < n)
    {
      t.Position[0] = n == 1 ? 5.0f : sF32(n - 1) * (sF32(k) / sF32(n - 1) - 0.5f) * 172.288f + 5.0f;
      t.Position[1] = -7;
      t.Position[2] = 0;
      t.PageMask = 1;
      if(t.PictureForm) t.PictureForm->MaterialIndex = pages.movieSection == 8 ? sGUI_TILEMATERIAL + k : 35 + k;
    }
    else
      t.PageMask = 0;
  }
}

void TouchGui::PickMarkedPicture()
{
  sInt marked[sGUI_TILES], n = 0;
  for(sInt i = 0; i < folders.listCount && i < sGUI_TILES; i++)
    if(movieMarks[i]) marked[n++] = i;
  if(n > 0) upcomingMovie = sU32(marked[random.NextBelow(n)]);
}

void TouchGui::MarkAllTiles()
{
  upcomingMovie = sU32(-1);
  for(sInt i = 0; i < sGUI_TILES; i++) movieMarks[i] = i < folders.listCount ? 1 : 0;
}

void TouchGui::PickAutoScene(sBool remember)
{
  if(!sceneRequest.TakenFlag) return;
  if(remember) previousRequested = sceneRequest.NextNumber;
  sceneRequest.TakenFlag = 0;
  sInt allowed[sGUI_STYLEFLAGS], n = 0;
  sInt s = sInt(style) < sGUI_STYLES ? sInt(style) : 0;
  // a flag read from a file where no scene is offers nothing; the LED style's flags all
  // start the LED scene, which turns a formation number past its own into a random one
  for(sInt i = 0; i < sGUI_STYLEFLAGS; i++)
    if(config.StyleFlags[s][i] && SceneOfPosition(s == 7 ? sGUI_LEDSCENE : i % 20) >= 0) allowed[n++] = i;
  if(n == 0) return;
  sceneRequest.TransitionMode = s;
  sceneRequest.NextNumber = allowed[random.NextBelow(n)];
  // the LED style's numbers are 100 + the formation, as its tiles carry them (the mode
  // the pick was to be taken with never is 0 here: it is the style)
  if(s == 7) sceneRequest.NextNumber += 100;
}

void TouchGui::BindScalerDevice()
{
  sInt device = pages.scalerDevice < 2 ? sInt(pages.scalerDevice) : 0;
  // the scaler page edits the first layer of the device's display
  GuiScalerSetting &s = config.Scalers[device * sGUI_COLORLAYERS];
  sF32 *corners = ScalerCorners();
  sF32 *values[6] = {&corners[0], &corners[1], &corners[2], &corners[3], &s.Brightness, &s.Contrast};
  for(sInt i = 0; i < 6; i++)
  {
    pages.sliders[14 + i].Value = values[i];
    pages.sliders[14 + i].Changed = 1;
  }
  for(sInt i = 0; i < pages.widgetCount; i++)
  {
    GuiWidget &w = pages.widgets[i];
    if(w.LabelId == 104 || w.LabelId == 105)
    {
      // the key names the other device; the second device has a key only where three
      // displays are painted (the GUI's and two outputs)
      w.LabelId = device ? 104 : 105;
      w.PageMask = (Machine && Machine->DisplayCount >= 3) || device ? sU32(sGUI_PAGE_SCALER) : 0u;
      for(ArrayForm *f : {w.FrameForm, w.FaceForm, w.IndicatorForm})
        if(f) f->LayerMask = w.PageMask;
      continue;
    }
    if(w.PageMask != sGUI_PAGE_SCALER) continue;
    if(w.LabelId == 60) w.Target = reinterpret_cast<sU32 *>(&s.Active);
  }
}

/****************************************************************************/
/***   Records                                                            ***/
/****************************************************************************/

void TouchGui::PublishRecords()
{
  GuiMediaState &m = mediaState;
  const GuiConfig &c = config;
  // scene request
  sceneRequest.RequestFlag = style == 7 ? 1 : 0;
  sceneRequest.TransitionMode = style < 5 ? sInt(style) : sceneRequest.NextNumber / 20;
  // a setting read from a file may lie beyond its slider: the records take its 0..1
  sceneRequest.LatencyMs = GuiUnit(c.Latency) * 500.0f;
  // slideshow
  SectionFolderPath(slideshow.path, 2048, 1);
  slideshow.rootIndex = c.Slideshow.Drive;
  slideshow.pictureCount = folders.slideshowPictures;
  m.EffectResetFlag = schedule.timers[0].Running;
  m.EffectResetBlock = c.Slideshow.AllowEfx;
  // logos and movies
  m.LogoStyle = c.Logos.Style;
  for(sInt i = 0; i < sGUI_DRIVES; i++) folders.driveRoots[i] = folders.drives.MediaDriveRoots[i];
  m.ClipFolderNames = folders.driveRoots;
  m.ClipFolderIndex = c.Movie.Drive;
  m.MovieCount = folders.flyerPictures;
  sCopyString(m.ClipFolderText, c.Movie.Directory, 1024);
  m.ClipFolderCount = folders.listCount;
  m.ClipStyle = c.Movie.Style;
  m.ClipMix = GuiUnit(c.Movie.Power);
  m.ClipAutoNext = c.Movie.Interval * 1800.0f < 1.0f ? 1 : 0;
  m.ClipNextNumber = sInt(upcomingMovie);
  // effects: strobe, colour correction, feedback, kaleidoscope, touch-me
  const GuiEffectSetting *e = c.Effects;
  m.DimPulseOn = e[0].Active;
  m.DimPulseAmount = GuiUnit(e[0].Transparency);
  m.DimPulseSpeed = 1.0f + 15.0f * GuiUnit(e[0].Power);
  m.DimPulseTrigger = sInt(strobeTrigger);
  strobeTrigger = 0;
  m.HueWashOn = e[1].Active;
  m.HueWashAmount = GuiUnit(e[1].Transparency);
  m.HueWashShift = 15.0f * GuiUnit(e[1].Power);
  m.HueWashGainMode = e[1].Alpha;
  m.RingOn = e[2].Active;
  m.RingAmount = GuiUnit(e[2].Transparency);
  m.RingColorAmount = GuiUnit(e[2].Power);
  m.TunnelOn = e[3].Active;
  m.TunnelAmount = GuiUnit(e[3].Transparency);
  m.TunnelDepth = GuiUnit(e[3].Power);
  m.ParticlesOn = e[4].Active;
  m.ParticleAlphaOnly = e[4].Alpha;
  m.ParticleFade = GuiUnit(e[4].Transparency);
  m.TouchStrength = GuiUnit(e[4].Power);
  m.TouchX = touch.PointerX;
  m.TouchY = touch.PointerY;
  m.TouchDown = touch.ButtonDown;
  m.ParticleBurst = touch.PressEdge && (touch.PageMask & sGUI_PAGE_TOUCHME) ? 1 : 0;
  // distortions: screen, movies, video-in
  const GuiDistortionSetting *d = c.Distortions;
  m.MotionOn = d[0].Active, m.MotionPreset = d[0].Kind, m.MotionChance = GuiUnit(d[0].Frequency) * 100.0f;
  m.StrobeAmount = GuiUnit(d[0].Power) * 100.0f;
  m.Ch3On = d[1].Active, m.Ch3Preset = d[1].Kind, m.Ch3Chance = GuiUnit(d[1].Frequency) * 100.0f;
  m.ClipAmount = GuiUnit(d[1].Power) * 100.0f;
  m.Ch4On = d[2].Active, m.Ch4Preset = d[2].Kind, m.Ch4Chance = GuiUnit(d[2].Frequency) * 100.0f;
  m.VideoAmount = GuiUnit(d[2].Power) * 100.0f;
  // master fade: always on, the first factor the output brightness
  m.FadeOn = 1;
  // MUTE blacks the output out without touching the brightness the operator set
  m.FadeFactors[0] = commandWords[CmdMute] ? 0.0f : brightness;
  // colour layers: scaler n is display n / 8, layer n % 8
  for(sInt n = 0; n < sGUI_SCALERS; n++)
  {
    const GuiScalerSetting &s = c.Scalers[n];
    sInt disp = n / sGUI_COLORLAYERS, layer = n % sGUI_COLORLAYERS;
    m.LayerOn[disp][layer] = s.Active;
    for(sInt k = 0; k < 4; k++) m.LayerDest[disp][layer][k] = s.Out[k], m.LayerTexRect[disp][layer][k] = s.In[k];
    m.LayerColorAmount[disp][layer] = s.Brightness;
    m.LayerContrastAmount[disp][layer] = s.Contrast;
  }
}

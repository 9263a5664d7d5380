// The GUI frame's steps after the widgets: release edge and drag, page changes, the
// configuration page's commands and presets, the DMX and MIDI control values, and the
// exit, update and lock requests that open dialogs.
//
// UI timing (the lock hint, double presses) runs on the GUI's own clock: the SYNC clock
// stops while the show is frozen, and a hint must still expire then.
#include "gui/gui.hpp"

#include "base/log.hpp"

#include "base/window.hpp"
#include "gui/modescene.hpp"
#include "show/scenehost.hpp"
#include "show/controls.hpp"
#include "show/startup.hpp"
#include "show/sync.hpp"
#include "show/textform.hpp"

#include <cmath>

namespace
{
constexpr sInt ChannelLabel = 94, TapLabel = 71;
// the maker's update page; the version goes with it as the query
const sChar *const UpdateAddress = u"https://www.sparkvane.com/update.php?version=%1.2f";
constexpr sF32 ProgramVersion = 1.25f;

// Channel-page kinds (1 DMX, 2 MIDI) are not control kinds (0 MIDI, 1 DMX).
sInt ControlKindOfPage(sU32 pageKind) { return pageKind == 1 ? 1 : 0; }
}

sU32 TouchGui::SyncClockMs() const
{
  return SyncSource ? sU32(SyncSource->PublishedClock) : touch.Clock;
}

void TouchGui::FrameSteps()
{
  // release edge and the drag of this frame: only while the button stays down
  releaseEdge = !touch.ButtonDown && wasDown ? 1 : 0;
  if(touch.ButtonDown && wasDown)
    dragX = touch.PointerX - prevPointerX, dragY = touch.PointerY - prevPointerY;
  else
    dragX = dragY = 0;
  dragSmoothX = 0.9f * dragSmoothX + 0.1f * dragX;
  dragSmoothY = 0.9f * dragSmoothY + 0.1f * dragY;
  prevPointerX = touch.PointerX, prevPointerY = touch.PointerY;
  if(releaseEdge) rippleTime = 0;
  wasDown = touch.ButtonDown ? 1 : 0;

  if(pages.pageIndex != prevPage || selectedEffect != prevEffect) dialogs.lockTouchTime = touch.Clock;
  // a tab closes the movie or video-in list, also the tab of the page under it
  sBool tab = touch.PressEdge && touch.HeldWidget >= 14 && touch.HeldWidget <= 23;
  if((pages.pageIndex != prevPage || tab) && (pages.movieSection == 8 || pages.movieSection == 9)) pages.movieSection = 0;
  prevPage = pages.pageIndex, prevEffect = selectedEffect;
  controlSwitch = !pages.channelPageOpen && !config.Effects[4].Active;

  if(pages.keyboardOpen) keyboard.Step(textForm, touch);
  if(commandWords[CmdBrowse]) OpenBrowser(sInt(commandWords[CmdBrowse])), commandWords[CmdBrowse] = 0;
  // ENTER or CONFIRM stores the text where the keyboard was opened for; CANCEL drops it
  if(pages.keyboardOpen && (keyboard.editKeys[0] || commandWords[CmdKeyboard]))
  {
    sBool store = keyboard.editKeys[0] || commandWords[CmdKeyboard] == 2;
    if(store && browser.KeyboardPurpose) BrowserKeyboardEnter(keyboard.editText);
    else if(store) CommitKeyboard();
    keyboard.Close();
    browser.KeyboardPurpose = 0, pages.keyboardOpen = 0, commandWords[CmdKeyboard] = 0;
  }
  // the keys that open the keyboard: a message's or short message's TEXT, a channel row's
  // CHANNEL, a corner's NUMBER on the scaler page
  if(commandWords[CmdText] && !pages.keyboardOpen)
  {
    sU32 slot = pages.pageIndex == 6 ? commandWords[CmdShort] : commandWords[CmdMessage];
    slot = slot < sGUI_TEXTSLOTS ? slot : 0;
    if(pages.pageIndex == 6) OpenKeyboard(KbShortMessage, sInt(slot), config.ShortMessages[slot], sGUI_TEXTCHARS);
    else OpenKeyboard(KbMessage, sInt(slot), config.Messages[slot].Text, sGUI_TEXTCHARS);
  }
  commandWords[CmdText] = 0;
  if(pages.channelPageOpen && !pages.keyboardOpen && touch.PressEdge && touch.HeldWidget == ChannelLabel &&
     commandWords[CmdChannel] < sGUI_CONTROLS)
  {
    sInt row = sInt(commandWords[CmdChannel]);
    const sInt *table = pages.channelKind == 1 ? config.Dmx : config.Midi;
    sStringBuffer<16> number;
    sSPrintF(number.Ref(), u"%d", table[row] + 1);
    OpenKeyboard(KbChannel, row, number, 1000);
  }
  if(pages.scalerPageOpen && !pages.keyboardOpen && commandWords[CmdScaler])
  {
    sU32 key = commandWords[CmdScaler];
    commandWords[CmdScaler] = 0;
    if(key >= 1 && key <= 4)
    {
      sInt corner = sInt(key) - 1;
      sInt w = 0, h = 0;
      ScalerDeviceSize(w, h);
      sStringBuffer<16> number;
      sSPrintF(number.Ref(), u"%d", sInt(ScalerCorners()[corner] * sF32(corner % 2 ? h : w) + 0.5f));
      OpenKeyboard(KbScalerNumber, corner, number, 7);
    }
    else if(key == 7 || key == 10)
      ScalerKey(key);
    else if(key == 8 || key == 9)
    {
      if(key == 8)
        for(sInt i = 0; i < 2; i++) config.Scalers[i * sGUI_COLORLAYERS] = scalerBackup[i];
      pages.scalerPageOpen = 0;
    }
  }

  // the configuration page's keys
  sU32 cmd = configs.configCommand;
  configs.configCommand = 0;
  switch(cmd)
  {
  case 1: OpenBrowser(5); break;
  case 2: OpenBrowser(6); break;
  case 3: dialogs.Open(6, commandWords[CmdDialog]); break;
  case 4: dialogs.Open(4, commandWords[CmdDialog]); break;
  case 5:
  case 6:
    pages.channelPageOpen = 1, pages.channelKind = cmd == 5 ? 1 : 2, pages.channelPageState = 0;
    for(sInt i = 0; i < sGUI_CONTROLS; i++) channelBackup[i] = cmd == 5 ? config.Dmx[i] : config.Midi[i];
    channelFaderBackup = config.MovieStartFader[ControlKindOfPage(pages.channelKind)];
    // FADER switches the movie-start fader of the kind the page edits
    for(sInt i = 0; i < pages.widgetCount; i++)
      if(pages.widgets[i].LabelId == 100 && pages.widgets[i].PageMask == (sGUI_PAGE_CHANNEL1 << 2))
        pages.widgets[i].Target = reinterpret_cast<sU32 *>(&config.MovieStartFader[ControlKindOfPage(pages.channelKind)]);
    break;
  case 7:
    pages.scalerPageOpen = 1;
    for(sInt i = 0; i < 2; i++) scalerBackup[i] = config.Scalers[i * sGUI_COLORLAYERS];
    break;
  case 8: RequestUpdatePage(); break;
  case 9:   // CANCEL: the table as it was when the page opened
    if(pages.channelPageOpen)
    {
      sInt *table = pages.channelKind == 1 ? config.Dmx : config.Midi;
      for(sInt i = 0; i < sGUI_CONTROLS; i++) table[i] = channelBackup[i];
      config.MovieStartFader[ControlKindOfPage(pages.channelKind)] = channelFaderBackup;
    }
    pages.channelPageOpen = pages.scalerPageOpen = 0;
    break;
  case 10: pages.channelPageOpen = pages.scalerPageOpen = 0; break;
  default: break;
  }

  // presets: a slot key loads the file that slot names
  if(configs.configSlot != configs.activePreset && configs.configSlot >= 0 && configs.configSlot < sGUI_CONFIGSLOTS)
  {
    configs.activePreset = configs.configSlot;
    configs.lastLoadResult = LoadConfig();
    if(!configs.lastLoadResult)
    {
      configs.DropFailedPreset(touch.Clock);
      ResetConfig();
    }
    laidStyle = -1;
    LayoutSceneTiles();
    sceneRequest.TakenFlag = 1;
    PickAutoScene(1);
  }
  configs.DropUnnamedPreset();

  // LEARN on the channel page: the first control that moves far enough from the
  // baseline becomes the row's channel (the starting address row numbers all 32 tracks)
  constexpr sInt LearnLabel = 93;
  if(pages.channelPageOpen && touch.PressEdge && touch.HeldWidget == LearnLabel && commandWords[CmdLearn] < sGUI_CONTROLS)
  {
    learnRow = sInt(commandWords[CmdLearn]);
    if(learnRow != lastLearnRow && Machine) Machine->BeginControlLearn(ControlKindOfPage(pages.channelKind));
    lastLearnRow = learnRow;
  }
  sInt learned = 0;
  if(pages.channelPageOpen && learnRow >= 0 && Machine && Machine->FindLearnedControl(ControlKindOfPage(pages.channelKind), learned))
  {
    sInt *table = pages.channelKind == 1 ? config.Dmx : config.Midi;
    if(learnRow == 0)
      for(sInt i = 0; i < sGUI_CONTROLS; i++) table[i] = learned + (i ? i - 1 : 0);
    else
      table[learnRow] = learned;
    learnRow = lastLearnRow = -1;
  }
  if(!pages.channelPageOpen) learnRow = lastLearnRow = -1;

  // the automatic programs hold the effect and movie keys: a touch there shows the hint
  dialogs.autoFxLocked = autoFxActive && (pages.pageIndex == 7 || (pages.pageIndex == 4 && selectedEffect != 1) || pages.movieSection == 8 ||
                                  pages.movieSection == 9);
  if(dialogs.autoFxLocked && touch.PressEdge && !(touch.PageMask & sGUI_DIALOGLAYERS))
  {
    sF32 x = touch.PointerX, y = touch.PointerY;
    sBool hit = 0;
    if(pages.movieSection == 8) hit = (x >= -512 && x < 512 && y < -250) || (x >= -230 && x < 512 && y < -210);
    else if(pages.movieSection != 9 && pages.pageIndex == 7) hit = x >= -512 && x < 512 && y < -210;
    else if(pages.movieSection != 9 && pages.pageIndex == 4) hit = x >= -512 && x < 512 && y < -270;
    if(hit) dialogs.lockTouchTime = touch.Clock;
  }

  ApplyControlValues();

  // either TAP of the effects page taps the tempo as the space key does; CONFIGS' ACTIVE
  // has nothing to switch but says so
  if(touch.PressEdge && touch.HeldWidget == TapLabel && SyncSource) SyncSource->OnKey(32);
  if(commandWords[CmdConfigActive])
  {
    commandWords[CmdConfigActive] = 0;
    sLogText(u"gui", u"CONFIGS ACTIVE has no function\n");
  }

  // exit, update and lock requests
  if(commandWords[CmdExit]) dialogs.exitRequest = 1, commandWords[CmdExit] = 0, dialogs.Open(2, commandWords[CmdDialog]);
  if(dialogs.AskLock(commandWords[CmdDialog])) pages.EnableLockKey(0);
  if(commandWords[CmdDialog]) dialogs.dialogAnswer = commandWords[CmdDialog], commandWords[CmdDialog] = 0;
  UpdateMovieControl();
  FeedLiveRecording();
}

void TouchGui::RequestUpdatePage()
{
  sStringBuffer<256> address;
  sSPrintF(address.Ref(), UpdateAddress, ProgramVersion);
  sOpenURLLater(address);
  sLogF(u"gui", u"update page asked for: %s\n", address.Get());
}

void TouchGui::DriveModeScene()
{
  if(!modeScene) return;
  sBool rose = autoFxActive && !prevAutoFxActive;
  sBool fell = !autoFxActive && prevAutoFxActive;
  sBool changed = autoFxProgram != prevAutoFxProgram;
  if(rose || changed)
  {
    // a program runs only while the movie folder holds a movie: it drives the movie layer
    if(folders.movieCount > 0)
    {
      // a change of program while one runs keeps the snapshot of the operator's settings
      modeScene->SetMode(sInt(autoFxProgram), !(changed && prevAutoFxActive));
      autoFxActive = 1;
    }
    else
    {
      if(prevAutoFxActive) modeScene->SetMode(-1, 0), modeScene->RestoreEffects();
      autoFxActive = 0;
      dialogs.lockTouchTime = touch.Clock;
    }
  }
  else if(fell)
  {
    modeScene->SetMode(-1, 0);
    modeScene->RestoreEffects();
  }
  prevAutoFxActive = autoFxActive;
  prevAutoFxProgram = autoFxProgram;
  // the program's keys, as the sequencer hands them out on its channel
  if(SyncSource)
    for(sU32 code = SyncSource->PollKey(6, 1); code; code = SyncSource->PollKey(6, 0)) modeScene->OnEvent(sInt(code));
  // a running program drives the effects (all but the colour correction), both distortions
  // and the movie layer: their keys and sliders take no touch until it stops
  sBool on = autoFxActive != 0;
  pages.LockAutoFxKeys(on, on && selectedEffect != 1, on && pages.movieSection == 8);
}

void TouchGui::OpenKeyboard(sInt purpose, sInt target, const sChar *text, sInt capacity)
{
  keyboard.Open(purpose, target, text, capacity);
  pages.keyboardOpen = 1;
}

void TouchGui::ScalerDeviceSize(sInt &width, sInt &height) const
{
  sInt d = pages.scalerDevice < sU32(ShowDisplayCount) ? sInt(pages.scalerDevice) : 0;
  width = ShowDisplays[d].Width, height = ShowDisplays[d].Height;
}

sF32 *TouchGui::ScalerCorners()
{
  GuiScalerSetting &s = config.Scalers[(pages.scalerDevice < 2 ? pages.scalerDevice : 0) * sGUI_COLORLAYERS];
  return pages.scalerInvert ? s.In : s.Out;
}

void TouchGui::ScalerKey(sU32 key)
{
  // the key to the other output device
  if(key == 10) pages.scalerDevice = pages.scalerDevice ? 0 : 1;
  // TEST: the IPP machine's test picture on or off, for lining the outputs up
  if(key == 7 && Machine && Machine->Ipp) Machine->Ipp->OnEvent(0xE005);
}

void TouchGui::CommitKeyboard()
{
  sInt t = keyboard.keyboardTarget;
  switch(keyboard.keyboardPurpose)
  {
  case KbMessage:
    if(t >= 0 && t < sGUI_TEXTSLOTS) sCopyString(config.Messages[t].Text, keyboard.editText, sGUI_TEXTCHARS);
    break;
  case KbShortMessage:
    if(t >= 0 && t < sGUI_TEXTSLOTS) sCopyString(config.ShortMessages[t], keyboard.editText, sGUI_TEXTCHARS);
    break;
  case KbChannel:
  {
    // channels are typed from 1; a number past the kind's channels takes its last one
    if(t < 0 || t >= sGUI_CONTROLS) break;
    sInt n = keyboard.Number();
    sInt last = pages.channelKind == 1 ? sCONTROL_DMXCHANNELS - 1 : sCONTROL_MIDICONTROLLERS - 1;
    sInt c = n - 1 < 0 ? 0 : (n - 1 > last ? last : n - 1);
    sInt *table = pages.channelKind == 1 ? config.Dmx : config.Midi;
    if(t == 0)
      for(sInt i = 0; i < sGUI_CONTROLS; i++) table[i] = c + (i ? i - 1 : 0);
    else
      table[t] = c;
    break;
  }
  case KbScalerNumber:
  {
    // pixels of the device's display; without a display there is nothing to divide by
    sInt w = 0, h = 0;
    ScalerDeviceSize(w, h);
    sInt size = t % 2 ? h : w;
    if(t < 0 || t > 3 || size <= 0) break;
    sInt n = keyboard.Number();
    sF32 f = sF32(n) / sF32(size);
    f = f < -1.0f ? -1.0f : (f > 2.0f ? 2.0f : f);
    ScalerCorners()[t] = f;
    pages.sliders[14 + t].Changed = 1;
    break;
  }
  default: break;
  }
}

void TouchGui::ApplyControlValues()
{
  if(!Machine) return;
  for(sInt kind = 0; kind < 2; kind++)
  {
    const sInt *table = kind ? config.Dmx : config.Midi;
    for(sInt track = 0; track < 20; track++)
    {
      if(track >= 9 && track <= 13) continue;   // the movie tracks have their own step
      sInt channel = table[track + 1];
      if(!Machine->GetControlTrigger(kind, channel, track)) continue;
      sF32 v = Machine->GetControlValue(kind, channel, track);
      v = v < 0 ? 0 : (v > 1 ? 1 : v);
      sInt page = -1, slot = 0;
      if(track == 0)
        brightness = v, pages.sliders[12].Changed = 1;
      else if(track <= 8)
      {
        GuiEffectSetting &e = config.Effects[(track - 1) / 2];
        if(track % 2) e.Transparency = v, e.Active = v >= 0.03f;
        else e.Power = v;
        page = 4, slot = (track - 1) / 2;
        pages.sliders[6].Changed = pages.sliders[7].Changed = 1;
      }
      else
      {
        slot = track >= 17 ? 1 : 0;
        GuiDistortionSetting &d = config.Distortions[slot];
        sInt which = (track - 14) % 3;
        if(which == 0)
        {
          sInt k = sInt(v * 4.0f);
          d.Kind = k > 3 ? 3 : k;
        }
        else if(which == 1)
          d.Frequency = v;
        else
          d.Power = v, d.Active = v >= 0.03f;
        page = 7;
        pages.sliders[8].Changed = pages.sliders[9].Changed = 1;
      }
      if(page >= 0 && controlSwitch)
      {
        pages.pageIndex = sU32(page);
        pages.movieSection = 0;
        if(page == 4) selectedEffect = sU32(slot);
        else selectedDistortion = sU32(slot);
      }
    }
  }
}

void TouchGui::PrintFunctionSection()
{
  sU32 mask = touch.PageMask;
  sBool list = (mask & sGUI_PAGE_LIST) != 0;
  if(endForm) endForm->Colour = 0;
  if(!textForm || !(mask & sGUI_PAGE_HEADER) || (mask & sGUI_PAGE_TOUCHME)) return;
  sStringBuffer<300> line, when;
  // the lines at the left of a page, under its first row of keys
  sF32 x = -435.0f, y = -268.0f;
  auto left = [&](const sChar *text) {
    textForm->PrintLeft(text, x, y);
    y -= 19.0f;
  };
  // a countdown: "running" while its item shows, "coming next" once it ran out
  auto countdown = [&](const sChar *format, sBool running, sInt ms, sBool hours) {
    if(running) when = u"running";
    else if(ms < 0) when = u"coming next";
    else if(hours) sSPrintF(when.Ref(), u"%01dh%02dm%02ds", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60);
    else sSPrintF(when.Ref(), u"%02dm%02ds", ms / 60000, ms / 1000 % 60);
    sSPrintF(line.Ref(), format, when.Get());
    left(line);
  };
  auto folder = [&](sInt section) {
    sChar path[sGUI_FOLDERCHARS * 2];
    SectionFolderLabel(path, sGUI_FOLDERCHARS * 2, section);
    PrintClipped(textForm, path, -435, y, 350 - textForm->MeasureText(u"..."), 0);   // "..." and all within 350
    y -= 19.0f;
  };
  // a slider's value: over the slider's track, or left of it where keys sit above it
  auto over = [&](const sChar *text, sF32 x) { textForm->PrintCentered(text, x, -295); };
  auto beside = [&](const sChar *text, sF32 sliderX) { textForm->PrintRight(text, sliderX - 122, -330); };
  auto minutes = [&](sF32 fraction) {
    sSPrintF(line.Ref(), u"INTERVAL: %01dm", GuiIntervalMs(fraction, 1800000) / 60000);
    return line.Get();
  };

  if(list)
  {
    // the movie or video-in section; over the playing tile the time it has left
    sBool movies = pages.movieSection == 8;
    textForm->PrintCentered(movies ? u"MOVIES CONFIGURATION" : u"VIDEO-IN CONFIGURATION", 0, -209);
    // the folder line and the countdown share the row under the keys: the slider's scale
    // takes the place under them
    if(movies && config.Movie.Directory[0])
    {
      sChar path[sGUI_FOLDERCHARS * 2];
      SectionFolderLabel(path, sGUI_FOLDERCHARS * 2, 4);
      sSPrintF(line.Ref(), u"Selected directory for movies: %s", path);
      PrintClipped(textForm, line, -435, y, 350, 0);
    }
    else if(movies)
      PrintClipped(textForm, u"Please select a directory for movies first.", -435, y, 350, 1);
    const GuiMediaTimer &t = schedule.timers[movies ? 3 : 4];
    x = -35.0f;
    countdown(movies ? u"NEXT MOVIE IN: %s" : u"NEXT VIDEO-IN: %s", t.Running != 0, t.Countdown, 0);
    // the transparency slider's scale
    sF32 keepScale = textForm->TextScale;
    textForm->TextScale = keepScale * 0.75f;
    textForm->PrintCentered(u"LOW", -185.0f - 98.56f, -305);
    textForm->PrintCentered(u"NEUTRAL", -185, -305);
    textForm->PrintCentered(u"HIGH", -185.0f + 98.56f, -305);
    textForm->TextScale = keepScale;
    sSPrintF(line.Ref(), u"TRANSPARENCY: %01.0f%%", (movies ? config.Movie.Power : config.VideoPower) * 100.0f);
    textForm->PrintRight(line, -300, -330);   // left of the slider, its scale over it
    over(minutes(movies ? config.Movie.Interval : config.VideoInterval), 179);
    sInt left = -1;
    sU32 tile = movies ? selectedMovie : selectedVideo;
    if(movies && t.Running && mediaState.ClipShown && tile < sGUI_TILES && movieDurations[tile] > 0)
    {
      // the layer movie loops: its position is the time since its start, modulo its length
      sU32 length = sU32(movieDurations[tile] * 1000.0f);
      left = length ? sInt(length - (touch.Clock - movieStartClock) % length) : -1;
    }
    if(!movies && t.Running)
    {
      // the time left of the interval the video input was started for
      sInt length = GuiIntervalMs(config.VideoInterval, t.FullScale);
      left = length - sInt(touch.Clock - videoStartClock);
      left = left < 0 ? 0 : left;
    }
    if(left >= 0 && tile < sGUI_TILES && pages.tiles[tile].PageMask)
    {
      sSPrintF(when.Ref(), u"%02dm%02ds", left / 60000, left / 1000 % 60);
      sSPrintF(line.Ref(), u"END: %s", when.Get());
      const GuiTile &g = pages.tiles[tile];
      sF32 x = g.Position[0] + g.Offset[0];
      textForm->PrintLeft(line, x - 75, g.Position[1] - 30);
      if(endForm)
      {
        endForm->Matrix.Identity();
        endForm->Matrix.l = sVec3(x - 15, g.Position[1], 0);
        endForm->Colour = 0xA0000000;
      }
    }
    return;
  }
  switch(pages.pageIndex)
  {
  case 1:
  {
    folder(1);
    sSPrintF(line.Ref(), u"PICTURES FOUND: %d", folders.slideshowPictures);
    left(line);
    // without a tempo yet (0) the length would divide by zero: 120 BPM stands in
    sF32 bpm = SyncSource && SyncSource->Tempo > 1 ? SyncSource->Tempo : 120.0f;
    sInt seconds = sInt(sF32(folders.slideshowPictures) * 8.0f / bpm * 60.0f);
    sSPrintF(line.Ref(), u"ESTIMATE LENGTH: %02dm%02ds", seconds / 60, seconds % 60);
    left(line);
    countdown(u"NEXT SHOW IN: %s", schedule.timers[0].Running != 0, schedule.timers[0].Countdown, 1);
    sInt m = GuiIntervalMs(config.Slideshow.Interval, 10800000) / 60000;
    sSPrintF(line.Ref(), u"INTERVAL: %01dh%02dm", m / 60, m % 60);
    over(line, 200);
    break;
  }
  case 2:
  case 3:
  {
    sBool logos = pages.pageIndex == 2;
    folder(logos ? 2 : 3);
    sSPrintF(line.Ref(), logos ? u"LOGOS FOUND: %d" : u"FLYER FOUND: %d", logos ? mediaState.LogoCount : folders.flyerPictures);
    if(logos)
    {
      // the loader's progress through the logo folder while it reads it
      sInt total = 0, done = 0;
      {
        sScopeLock lock(&guiLock);
        total = folders.loader.LogoProgressTotal, done = folders.loader.LogoProgressDone;
      }
      if(total > 0 && total < 1000 && done < total)
      {
        sStringBuffer<64> progress;
        sSPrintF(progress.Ref(), u" (LOADING %d/%d)", done, total);
        sAppendString(line.GetBuffer(), progress, 300);
      }
    }
    left(line);
    sInt flyerIndex;
    {
      sScopeLock lock(&guiLock);   // the loader thread moves it
      flyerIndex = folders.loader.FlyerIndex;
    }
    sSPrintF(line.Ref(), logos ? u"NEXT LOGO NR: %d" : u"NEXT FLYER NR: %d",
             logos ? mediaState.LogoIndex + 1 : flyerIndex + 1);
    left(line);
    const GuiMediaTimer &t = schedule.timers[logos ? 1 : 2];
    countdown(logos ? u"NEXT LOGO IN: %s" : u"NEXT FLYER IN: %s", logos ? mediaState.LogoShown : mediaState.MovieShown,
              t.Countdown, 0);
    over(minutes(logos ? config.Logos.Interval : config.Flyer.Interval), 170);
    break;
  }
  case 4:
  {
    const GuiEffectSetting &e = config.Effects[selectedEffect < sGUI_EFFECTS ? selectedEffect : 0];
    sSPrintF(line.Ref(), u"TRANSPARENCY: %01.0f%%", e.Transparency * 100.0f);
    over(line, -185);
    if(selectedEffect == 0) sSPrintF(line.Ref(), u"SPEED: BPM*%01.1f", 1.0f + 15.0f * e.Power);
    else if(selectedEffect == 1) sSPrintF(line.Ref(), u"COLOR: %01.0f\u00b0", e.Power * 360.0f);
    else sSPrintF(line.Ref(), u"POWER: %01.0f%%", e.Power * 100.0f);
    over(line, 179);
    break;
  }
  case 5:
  {
    sInt slot = commandWords[CmdMessage] < sGUI_TEXTSLOTS ? sInt(commandWords[CmdMessage]) : 0;
    sInt ms = schedule.messageCountdown[slot];
    y = -272.0f;   // clear of the row of message keys over it
    if(schedule.textRunning[slot]) left(u"running");
    else if(ms < 0 || !config.Messages[slot].Active) left(u"coming soon");
    else
    {
      sSPrintF(line.Ref(), u"MSG IN: %02dm%02ds", ms / 60000, ms / 1000 % 60);
      left(line);
    }
    over(minutes(config.Messages[slot].Interval), 170);
    break;
  }
  case 7:
  {
    const GuiDistortionSetting &d = config.Distortions[selectedDistortion < sGUI_DISTORTIONS ? selectedDistortion : 0];
    sSPrintF(line.Ref(), u"FREQUENCY: %01.0f%%", d.Frequency * 100.0f);
    beside(line, -95);
    sSPrintF(line.Ref(), u"TRANSPARENCY: %01.0f%%", d.Power * 100.0f);
    over(line, 269);
    break;
  }
  case 8:
    textForm->PrintCentered(u"Please, try to match the latency to the signal on your output devices and not to the preview", 0, -235);
    textForm->PrintCentered(u"signal on this monitor. The average latency is ca. 120ms.", 0, -262);
    sSPrintF(line.Ref(), u"LATENCY: %01.0fms", config.Latency * 500.0f);
    over(line, 15);
    break;
  case 9:
    if(const sChar *loaded = configs.LoadedName())
    {
      sSPrintF(line.Ref(), u"Loaded: %s", loaded);
      PrintClipped(textForm, line, -150, -325, 750, 0);
    }
    else   // right of the preset keys
      textForm->PrintLeft(configs.configLoadTime ? u"Configuration cannot be activated. File error." : u"No configuration file loaded.",
                          -150, -325);
    break;
  default: break;
  }
}

void TouchGui::PrintOverlayPages()
{
  if(!textForm) return;
  sStringBuffer<300> line;
  if(touch.PageMask & (sGUI_PAGE_CHANNEL1 | (sGUI_PAGE_CHANNEL1 << 1) | (sGUI_PAGE_CHANNEL1 << 2)))
  {
    // each row: its name, then its channel from 1 and the control's value in the kind's
    // own steps (0..255 DMX, 0..127 MIDI)
    sInt kind = ControlKindOfPage(pages.channelKind);
    const sInt *table = kind == 1 ? config.Dmx : config.Midi;
    const sChar *const *names = kind == 1 ? DmxControlNames : MidiControlNames;
    textForm->PrintCentered(kind == 1 ? u"DMX Configuration" : u"MIDI Configuration", 0, 150);
    static const sInt First[4] = {0, 10, 21, 33};
    sInt page = pages.channelPageState < 3 ? sInt(pages.channelPageState) : 0;
    for(sInt row = First[page]; row < First[page + 1]; row++)
    {
      sInt inPage = row - First[page];
      sF32 y = inPage == 0 ? 99.0f : 50.0f - 35.0f * sF32(inPage - 1);
      // a row is 35 high: its name and the value line under it fit it at 0.7 of the text's size
      sF32 keepScale = textForm->TextScale;
      textForm->TextScale = keepScale * 0.7f;
      textForm->PrintLeft(names[row], -420, y + 5);
      sF32 v = Machine && row > 0 ? Machine->GetControlValue(kind, table[row], row - 1) : 0.0f;
      sSPrintF(line.Ref(), u"%d - value: %01.f", table[row] + 1, v * (kind == 1 ? 255.0f : 127.0f));
      textForm->PrintLeft(line, -420, y - 14);
      textForm->TextScale = keepScale;
    }
  }
  if(touch.PageMask & sGUI_PAGE_SCALER)
  {
    sInt device = pages.scalerDevice < 2 ? sInt(pages.scalerDevice) : 0;
    sInt w = 0, h = 0;
    ScalerDeviceSize(w, h);
    sSPrintF(line.Ref(), u"Scaler Configuration for Device %d", device + 1);
    textForm->PrintCentered(line, 0, 150);
    textForm->PrintCentered(u"BRIGHTNESS & CONTRAST", 298, 110);
    static const sChar *const Corners[4] = {u"X0:", u"Y0:", u"X1:", u"Y1:"};
    for(sInt k = 0; k < 4; k++)
    {
      textForm->PrintLeft(Corners[k], 110, -160.0f - 35.0f * sF32(k));
      sSPrintF(line.Ref(), u"%01.f", ScalerCorners()[k] * sF32(k % 2 ? h : w));
      textForm->PrintRight(line, 212, -160.0f - 35.0f * sF32(k));   // at 190 four digits would run into the corner's name
    }
    auto size = [&](const sChar *title, sF32 y, sF32 sw, sF32 sh) {
      textForm->PrintLeft(title, 177, y);
      sSPrintF(line.Ref(), u"%d*%d Aspect:%1.2f", sInt(sw), sInt(sh), sh > 0 ? sw / sh : 0.0f);
      textForm->PrintLeft(line, 177, y - 19);
    };
    size(u"Screen Resolution:", -1, sF32(ShowDisplays[0].Width), sF32(ShowDisplays[0].Height));
    size(u"Device Resolution:", -49, sF32(w), sF32(h));
    const sF32 *c = ScalerCorners();
    size(u"Scaler Resolution:", -106, std::fabs(c[2] - c[0]) * sF32(w), std::fabs(c[3] - c[1]) * sF32(h));
  }
}

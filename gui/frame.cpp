// The GUI frame's steps after the widgets: release edge and drag, page changes, the
// configuration page's commands and presets, the DMX and MIDI control values, and the
// exit, update and lock requests that open dialogs.
//
// UI timing (the lock hint, double presses) runs on the GUI's own clock: the SYNC clock
// stops while the show is frozen, and a hint must still expire then.
#include "gui/gui.hpp"

#include "show/scenehost.hpp"
#include "show/sync.hpp"

namespace
{
constexpr sInt LockKeyLabel = 79;

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

  if(pageIndex != prevPage || selectedEffect != prevEffect) lockTouchTime = touch.Clock;
  if(pageIndex != prevPage && (movieSection == 8 || movieSection == 9)) movieSection = 0;
  prevPage = pageIndex, prevEffect = selectedEffect;
  controlSwitch = !channelPageOpen && !config.Effects[4].Active;

  if(keyboardOpen) KeyboardStep();
  if(commandWords[CmdBrowse]) OpenBrowser(sInt(commandWords[CmdBrowse])), commandWords[CmdBrowse] = 0;
  // the keyboard's ENTER for a name the browser asked for; CANCEL and CONFIRM close it
  if(keyboardOpen && browser.KeyboardPurpose && (editKeys[0] || commandWords[CmdKeyboard] == 2))
  {
    BrowserKeyboardEnter(editText);
    browser.KeyboardPurpose = 0, keyboardOpen = 0, editKeys[0] = 0, commandWords[CmdKeyboard] = 0;
  }
  if(keyboardOpen && browser.KeyboardPurpose && commandWords[CmdKeyboard] == 1)
    browser.KeyboardPurpose = 0, keyboardOpen = 0, commandWords[CmdKeyboard] = 0;

  // the configuration page's keys
  sU32 cmd = configCommand;
  configCommand = 0;
  switch(cmd)
  {
  case 1: OpenBrowser(5); break;
  case 2: OpenBrowser(6); break;
  case 3: OpenDialog(6); break;
  case 4: OpenDialog(4); break;
  case 5:
  case 6:
    channelPageOpen = 1, channelKind = cmd == 5 ? 1 : 2, channelPageState = 0;
    for(sInt i = 0; i < sGUI_CONTROLS; i++) channelBackup[i] = cmd == 5 ? config.Dmx[i] : config.Midi[i];
    channelFaderBackup = config.MovieStartFader[ControlKindOfPage(channelKind)];
    break;
  case 7: scalerPageOpen = 1; break;
  case 8: OpenDialog(3); break;
  case 9:   // CANCEL: the table as it was when the page opened
    if(channelPageOpen)
    {
      sInt *table = channelKind == 1 ? config.Dmx : config.Midi;
      for(sInt i = 0; i < sGUI_CONTROLS; i++) table[i] = channelBackup[i];
      config.MovieStartFader[ControlKindOfPage(channelKind)] = channelFaderBackup;
    }
    channelPageOpen = scalerPageOpen = 0;
    break;
  case 10: channelPageOpen = scalerPageOpen = 0; break;
  default: break;
  }

  // presets: a slot key loads the file that slot names
  if(configSlot != activePreset && configSlot >= 0 && configSlot < sGUI_CONFIGSLOTS)
  {
    activePreset = configSlot;
    lastLoadResult = LoadConfig();
    if(!lastLoadResult)
    {
      configLoadTime = sInt(touch.Clock);
      ResetConfig();
    }
    laidStyle = -1;
    LayoutSceneTiles();
    sceneRequest.TakenFlag = 1;
    PickAutoScene(1);
  }

  // LEARN on the channel page: the first control that moves far enough from the
  // baseline becomes the row's channel (the starting address row numbers all 32 tracks)
  constexpr sInt LearnLabel = 93;
  if(channelPageOpen && touch.PressEdge && touch.HeldWidget == LearnLabel && commandWords[CmdLearn] < sGUI_CONTROLS)
  {
    learnRow = sInt(commandWords[CmdLearn]);
    if(learnRow != lastLearnRow && Machine) Machine->BeginControlLearn(ControlKindOfPage(channelKind));
    lastLearnRow = learnRow;
  }
  sInt learned = 0;
  if(channelPageOpen && learnRow >= 0 && Machine && Machine->FindLearnedControl(ControlKindOfPage(channelKind), learned))
  {
    sInt *table = channelKind == 1 ? config.Dmx : config.Midi;
    if(learnRow == 0)
      for(sInt i = 0; i < sGUI_CONTROLS; i++) table[i] = learned + (i ? i - 1 : 0);
    else
      table[learnRow] = learned;
    learnRow = lastLearnRow = -1;
  }
  if(!channelPageOpen) learnRow = lastLearnRow = -1;

  // the automatic programs hold the effect and movie keys: a touch there shows the hint
  autoFxLocked = autoFxActive && (pageIndex == 7 || (pageIndex == 4 && selectedEffect != 1) || movieSection == 8 ||
                                  movieSection == 9);
  if(autoFxLocked && touch.PressEdge && !(touch.PageMask & sGUI_DIALOGLAYERS))
  {
    sF32 x = touch.PointerX, y = touch.PointerY;
    sBool hit = 0;
    if(movieSection == 8) hit = (x >= -512 && x < 512 && y < -250) || (x >= -230 && x < 512 && y < -210);
    else if(movieSection != 9 && pageIndex == 7) hit = x >= -512 && x < 512 && y < -210;
    else if(movieSection != 9 && pageIndex == 4) hit = x >= -512 && x < 512 && y < -270;
    if(hit) lockTouchTime = touch.Clock;
  }

  ApplyControlValues();

  // exit, update and lock requests
  if(commandWords[CmdExit]) exitRequest = 1, commandWords[CmdExit] = 0;
  if(exitRequest && !dialogKind) OpenDialog(2);
  if(lockRequest != lockState && !dialogPending && !dialogKind)
  {
    OpenDialog(lockRequest ? 7 : 8);
    dialogTimer = 0;
    dialogPending = 1;
    for(sInt i = 0; i < widgetCount; i++)
      if(widgets[i].LabelId == LockKeyLabel && widgets[i].PageMask == sGUI_ALLPAGES) widgets[i].Enabled = 0;
  }
  if(commandWords[CmdDialog]) dialogAnswer = commandWords[CmdDialog], commandWords[CmdDialog] = 0;
  UpdateMovieControl();
  FeedLiveRecording();
}

void TouchGui::KeyboardStep()
{
  sInt len = sGetStringLen(editText);
  sInt cap = editCapacity < sGUI_TEXTCHARS ? editCapacity : sGUI_TEXTCHARS;
  editCursor = editCursor < 0 ? 0 : (editCursor > len ? len : editCursor);
  // a character key pressed this frame goes in at the cursor while the text has room
  if(touch.PressEdge && touch.HeldWidget >= 420 && touch.HeldWidget < 516 && len < cap - 1 && keyPressed >= 0 &&
     keyPressed < 48)
  {
    sChar c = GuiLabel(420 + 2 * keyPressed + (touch.KeyCase ? 1 : 0))[0];
    for(sInt i = len; i >= editCursor; i--) editText[i + 1] = editText[i];
    editText[editCursor++] = c;
    len++;
  }
  if(editKeys[1] && len < cap - 1)   // space
  {
    for(sInt i = len; i >= editCursor; i--) editText[i + 1] = editText[i];
    editText[editCursor++] = ' ';
  }
  if(editKeys[2]) editText[0] = 0, editCursor = 0;   // delete all
  if(editKeys[3] && editCursor > 0)                  // del: the character before the cursor
  {
    for(sInt i = editCursor - 1; editText[i]; i++) editText[i] = editText[i + 1];
    editCursor--;
  }
  if(editKeys[4] && editCursor > 0) editCursor--;
  if(editKeys[5] && editText[editCursor]) editCursor++;
  for(sInt i = 1; i < 6; i++) editKeys[i] = 0;
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
        brightness = v, sliders[12].Changed = 1;
      else if(track <= 8)
      {
        GuiEffectSetting &e = config.Effects[(track - 1) / 2];
        if(track % 2) e.Transparency = v, e.Active = v >= 0.03f;
        else e.Power = v;
        page = 4, slot = (track - 1) / 2;
        sliders[6].Changed = sliders[7].Changed = 1;
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
        sliders[8].Changed = sliders[9].Changed = 1;
      }
      if(page >= 0 && controlSwitch)
      {
        pageIndex = sU32(page);
        movieSection = 0;
        if(page == 4) selectedEffect = sU32(slot);
        else selectedDistortion = sU32(slot);
      }
    }
  }
}

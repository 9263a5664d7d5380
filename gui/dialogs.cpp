// What lies over the pages: the hint that the automatic effect programs hold some keys,
// the notice while the media loader works, and the yes/no dialog with its eight kinds.
//
// A dialog takes the whole touch surface (the page mask selects only its layer) until it
// is answered; the lock dialogs answer NO by themselves after three seconds, so a touch
// screen is never locked by a stray press.
#include "gui/gui.hpp"

#include "base/app.hpp"
#include "base/window.hpp"
#include "show/forms.hpp"
#include "show/textform.hpp"

namespace
{
const sChar *const Questions[9] = {
  u"",
  u"Do you really want to delete:",
  u"Do you really want to exit?",
  u"Do you really want to update Sparkvane?",
  u"Do you really want to reload the configuration?",
  u"Do you really want to save the configuration?",
  u"Do you really want to reset the configuration?",
  u"Do you really want to lock touchscreen input?",
  u"Do you really want to unlock touchscreen input?",
};
const sChar *const UpdateLines[3] = {
  u"Please notice, that if you like to update the system",
  u"you have to insert DVD/USB with the latest version first",
  u"and after pressing YES the system will close this application.",
};
constexpr sInt YesLabel = 113;
}

void GuiDialogs::Open(sInt kind, sU32 &answerKey)
{
  if(kind < 1 || kind > 8) return;
  dialogKind = sU32(kind);
  dialogAnswer = 0;
  answerKey = 0;
}

sBool GuiDialogs::AskLock(sU32 &answerKey)
{
  if(lockRequest == lockState || dialogPending) return 0;
  Open(lockRequest ? 7 : 8, answerKey);
  dialogTimer = 0;
  dialogPending = 1;
  return 1;
}

void TouchGui::AfterRender(sViewport *view)
{
  sU32 mask = touch.PageMask;
  auto print = [this](const sChar *text, sF32 x, sF32 y) {
    if(textForm) textForm->PrintCentered(text, x, y);
  };
  // the page's lines were drawn with the object list: what is printed below is drawn alone
  if(textForm) textForm->Clear();
  // the hint: a locked key was touched while an automatic program runs
  if(!(mask & (sGUI_PAGE_LOADING | sGUI_PAGE_DIALOG | sGUI_PAGE_LOCKED)) && dialogs.autoFxLocked && !browser.browserOpen)
  {
    sInt e = sInt(touch.Clock - dialogs.lockTouchTime);
    sF32 f = sF32(e) * 0.00033333333f;
    f = f < 0 ? 0 : (f > 1 ? 1 : f);
    // the locked keys lie under dimming quads, black for a moment after a touch on them
    sBool movies = pages.movieSection == 8, video = pages.movieSection == 9;
    sF32 y = pages.pageIndex == 4 && !movies ? -300.0f : -270.0f;
    sF32 ax = movies ? 260.0f : 0.0f, ay = pages.pageIndex == 4 && !movies ? -510.0f : -451.0f;
    sU32 colour = sBlendColor(0xFF000000, 0xC0000404, f);
    auto dim = [&](ArrayForm *q, sF32 x, sF32 qy) {
      if(!q || !view) return;
      q->Matrix.Identity();
      q->Matrix.l = sVec3(x, qy, 0);
      q->Colour = colour;
      q->LayerMask = 0xffffffff;
      RenderForm(view, q, 0);
      q->LayerMask = 0;
    };
    if(!video) dim(hintQuads[0], ax, ay);
    if(movies) dim(hintQuads[1], -740.0f, -495.0f);
    if(e >= 0 && f < 1 && (e % 500 < 250 || e > 1000) && !video)
      print(u"Please turn off 'AUTO FX' function first.", 0, y);
  }
  // the notice alone while the loader works (the hint needs the overlay bits clear)
  if(mask & sGUI_PAGE_LOADING)
  {
    if(textForm) textForm->Clear();
    print(u"Please wait, computing...", 0, -10);
    if(view && textForm) RenderForm(view, textForm, 0);
  }
  if(!(mask & sGUI_PAGE_DIALOG) || dialogs.dialogKind < 1 || dialogs.dialogKind > 8)
  {
    // drawn here, where the steps stop without drawing: else the hint printed above never shows
    if(view && textForm && !(mask & sGUI_PAGE_LOADING)) RenderForm(view, textForm, 0);
    return;
  }
  // the dialog's lines alone: the notice drawn above stays out of them
  if(textForm) textForm->Clear();
  // the YES and NO keys react and print their labels here, over everything
  // (they are no part of the object list: their quads are drawn here, after the pages)
  for(sInt i = 0; i < pages.widgetCount; i++)
  {
    GuiWidget &w = pages.widgets[i];
    if((w.LabelId != YesLabel && w.LabelId != YesLabel + 1) || w.PageMask != sGUI_PAGE_DIALOG) continue;
    w.Draw();
    if(!view) continue;
    for(Form *f : {static_cast<Form *>(w.FrameForm), static_cast<Form *>(w.FaceForm), static_cast<Form *>(w.IndicatorForm)})
      if(f) RenderForm(view, f, 0);
  }
  if(commandWords[CmdDialog]) dialogs.dialogAnswer = commandWords[CmdDialog], commandWords[CmdDialog] = 0;
  sInt kind = sInt(dialogs.dialogKind);
  print(Questions[kind], 0, kind == 1 ? 40.0f : 21.0f);
  sInt n = kind == 1 ? 1 : 2;
  if(kind == 4 || kind == 6) print(u"All changes will be lost!", 0, 40.0f - 19.0f * sF32(n));
  if(kind == 3)
    for(sInt i = 0; i < 3; i++) print(UpdateLines[i], 0, 40.0f - 19.0f * sF32(n + 1 + i));
  if(kind == 1)
  {
    sScopeLock lock(&guiLock);
    for(sInt i = 0; i < browser.Entries.GetSize() && i < sGUI_BROWSERENTRIES; i++)
    {
      if(!browser.Marks[i]) continue;
      if(19 * n > 76)
      {
        print(u"...", 0, 40.0f - 19.0f * sF32(n));
        break;
      }
      sStringBuffer<300> line;
      const sDirEntry &d = browser.Entries[i];
      sSPrintF(line.Ref(), (d.Flags & sDEF_DIR) ? u"<>%s" : u"%s", d.Name);
      print(line, 0, 40.0f - 19.0f * sF32(n));
      n++;
    }
  }
  if((kind == 7 || kind == 8) && dialogs.dialogTimer > 3000 && !dialogs.dialogAnswer) dialogs.dialogAnswer = 2;
  if(dialogs.dialogAnswer == 1)
  {
    switch(kind)
    {
    case 1:
      StartBrowserDelete();
      browser.LastRow = 1000, browser.LastTime = 0;   // the rows change: no press before counts as a first one
      break;
    case 2: sSetExitCode(0), sExit(u"exit confirmed on the GUI"); break;
    case 3: sSetExitCode(1), sExit(u"update confirmed on the GUI (exit code 1)"); break;
    case 4:
      configs.lastLoadResult = LoadConfig();
      laidStyle = -1;
      break;
    case 5: SaveConfig(); break;
    case 6:
      ResetConfig();
      laidStyle = -1;
      break;
    default:   // 7, 8
      dialogs.touchLocked = kind == 7 ? 1 : 0;
      dialogs.lockState = dialogs.lockRequest;
      break;
    }
  }
  else if(dialogs.dialogAnswer == 2 && (kind == 7 || kind == 8))
    dialogs.lockRequest = dialogs.lockState;
  if(dialogs.dialogAnswer)
  {
    pages.EnableLockKey(1);
    dialogs.dialogPending = configs.configCommand = dialogs.exitRequest = dialogs.updateRequest = 0;
    dialogs.dialogKind = dialogs.dialogAnswer = 0;
  }
  if(view && textForm) RenderForm(view, textForm, 0);
}

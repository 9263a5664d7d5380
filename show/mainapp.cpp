// The show's application and its start-up.
#include "show/mainapp.hpp"

#include "base/log.hpp"
#include "base/memory.hpp"
#include "base/window.hpp"
#include "graphics/graphics.hpp"
#include "show/guirecords.hpp"
#include "show/ipp.hpp"
#include "show/scene.hpp"
#include "show/scenehost.hpp"
#include "show/showplugins.hpp"
#include "show/startup.hpp"
#include "show/sync.hpp"


GuiRecordSet (*sGetGuiRecords)(Scene *gui) = nullptr;
void (*sSetSlideshowControl)(Scene *slideshow, SlideshowControl *control) = nullptr;

namespace
{
// A display index from the command line: one of the displays of the table in use, else 0.
sInt PickDisplay(const sChar *name, sInt screens)
{
  sInt display = sShellParamInt(name, 0, 0);
  sInt count = screens < ShowDisplayCount ? screens : ShowDisplayCount;
  if(display >= 0 && display < count) return display;
  sLogF(u"sys", u"-%s %d: there are displays 0 to %d only, 0 is taken\n", name, display, count - 1);
  return 0;
}

sInt FindRow(const ShowSceneRow *table, sInt count, const sChar *name)
{
  for(sInt i = 0; i < count; i++)
    if(table[i].Name && table[i].Make && sCmpStringEqual(table[i].Name, name)) return i;
  return -1;
}
}

MainApp::MainApp(const ShowSceneRow *table, sInt count)
{
  // worker threads start with the machine: every memory type but the last may be used
  // from any thread
  for(sInt i = 0; i < 15; i++)
    if(sMemoryHandler *h = sGetMemoryHandler(i)) h->MakeThreadSafe();
  GuiDisplay = 0;
  ShowDisplay = 0;
  // on several output displays the start parameters may place the GUI and the show
  const sInt displays = sIsGfxActive() ? sGetScreenCount() : 1;
  if(displays > 1)
  {
    GuiDisplay = PickDisplay(u"guidisplay", displays);
    ShowDisplay = PickDisplay(u"showdisplay", displays);
  }
  Gui = nullptr;
  Frames = 0;
  FrameLimit = 0;
  LoggedScene = -1;
  Machine = sNEW SceneMachine(&sStartupRecord, ShowDisplay);
  for(sInt i = 0; i < count; i++)
  {
    // a row whose scene is not built keeps its index free
    if(!table[i].Make) continue;
    Scene *scene = table[i].Make();
    Machine->RegisterScene(scene, table[i].Name, i, table[i].Flags, table[i].OnGuiDisplay ? GuiDisplay : ShowDisplay);
    sLogF(u"sys", u"scene %d %s%s\n", i, table[i].Name, (table[i].Flags & 0x100) ? u" (resident)" : u"");
  }
  sInt gui = FindRow(table, count, u"GUI");
  sInt global = FindRow(table, count, u"Global");
  sInt slideshow = FindRow(table, count, u"Slideshow");
  if(gui >= 0) Gui = Machine->Scenes[gui];
  Machine->Current = 0;
  Machine->Start();
  if(Gui) Gui->Enter(0);
  if(global >= 0) Machine->Scenes[global]->Enter(0);
  if(Gui && sGetGuiRecords)
  {
    GuiRecordSet records = sGetGuiRecords(Gui);
    Machine->Media = records.Media;
    if(Machine->Ipp && sShowPlugins.SetIppMedia) sShowPlugins.SetIppMedia(Machine->Ipp, records.Media);
    if(Machine->Sync && sShowPlugins.SetSceneRequest) sShowPlugins.SetSceneRequest(Machine->Sync, records.Request);
    if(records.Request) records.Request->SlideshowIndex = 14;
    if(slideshow >= 0 && sSetSlideshowControl) sSetSlideshowControl(Machine->Scenes[slideshow], records.Slideshow);
  }
}

MainApp::~MainApp()
{
  sDELETE(Machine);
}

void MainApp::OnInput(const sInput2Event &event)
{
  Machine->OnInput(event);
}

void MainApp::OnPaint3D()
{
  Machine->OnPaint3D();
  Frames++;
  // which scene the show had on the screen, and from which frame on: the log of a run
  // tells what it showed
  if(Machine->Current != LoggedScene)
  {
    LoggedScene = Machine->Current;
    const sChar *name = LoggedScene < sSCENE_MAXSCENES ? Machine->SceneNames[LoggedScene] : nullptr;
    // with the show clock and the show program's bar, so the log tells when each came
    const SyncMachine *sync = Machine->Sync;
    if(sync)
      sLogF(u"sys", u"frame %d: scene %d %s current, show clock %1.1f s, show program bar %d\n", Frames, LoggedScene,
            name ? name : u"-", sF32(sync->PublishedClock) * 0.001f, sync->Results.BarIndex[1]);
    else
      sLogF(u"sys", u"frame %d: scene %d %s current\n", Frames, LoggedScene, name ? name : u"-");
  }
  if(FrameLimit > 0 && Frames >= FrameLimit) sExit(u"the frames -frames asked for are drawn");
}

void ShowMain(const ShowSceneRow *table, sInt count)
{
  sInstallGraphicsFrames();
  InstallIppMachine();
  FindDataRoot();
  if(sShellSwitch(u"capture")) sStartupRecord.FixedStep = 1;
  InstallShowPlugins();
  if(!CheckStartupSelector(&sStartupRecord)) return;
  MainApp *app = sNEW MainApp(table, count);
  app->FrameLimit = sShellParamInt(u"frames", 0, 0);
  sSetApplication(app);
}

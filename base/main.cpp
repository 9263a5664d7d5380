// The process entry of the show: the data root, the screen mode and window, then the
// show's application over the scene table.
//
// "-frames n" ends the run by itself after n frames; "-capture" starts in fixed-step mode,
// which saves every frame as a numbered picture in the temporary folder.
#include "base/log.hpp"
#include "base/window.hpp"
#include "graphics/graphics.hpp"
#include "show/mainapp.hpp"
#include "show/startup.hpp"
#include "show/showplugins.hpp"

namespace
{
// The show's scenes, by index; they register here as they are built. Until then the
// machine runs with an empty table: the background colour, the IPP machine and panels.
const ShowSceneRow SceneTable[] = {{nullptr, nullptr, 0, 0}};
const sInt SceneCount = 0;

void sMain()
{
  sInstallGraphicsFrames();
  FindDataRoot();
  if(sShellSwitch(u"capture")) sStartupRecord.FixedStep = 1;
  InstallShowPlugins();
  if(!CheckStartupSelector(&sStartupRecord)) return;
  MainApp *app = sNEW MainApp(SceneTable, SceneCount);
  app->FrameLimit = sShellParamInt(u"frames", 0, 0);
  sSetApplication(app);
}
}

int main(int argc, char **argv)
{
  return sRunFramework(argc, argv, sMain);
}

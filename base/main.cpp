// The process entry of the show: the data root, the screen mode and window, then the
// show's application over the scene table.
//
// "-frames n" ends the run by itself after n frames; "-capture" starts in fixed-step mode,
// which saves every frame as a numbered picture in the temporary folder.
#include "base/log.hpp"
#include "base/window.hpp"
#include "graphics/graphics.hpp"
#include "show/ipp.hpp"
#include "scenes/table.hpp"
#include "show/mainapp.hpp"
#include "show/startup.hpp"
#include "show/showplugins.hpp"

namespace
{
void sMain()
{
  sInstallGraphicsFrames();
  InstallIppMachine();
  FindDataRoot();
  if(sShellSwitch(u"capture")) sStartupRecord.FixedStep = 1;
  InstallShowPlugins();
  if(!CheckStartupSelector(&sStartupRecord)) return;
  MainApp *app = sNEW MainApp(sShowSceneTable, SHOW_SCENES);
  app->FrameLimit = sShellParamInt(u"frames", 0, 0);
  sSetApplication(app);
}
}

int main(int argc, char **argv)
{
  return sRunFramework(argc, argv, sMain);
}

// The process entry of the show: the data root, the screen mode and window, then the
// show's application over the scene table.
//
// "-frames n" ends the run by itself after n frames; "-capture" starts in fixed-step mode,
// which saves every frame as a numbered picture in the temporary folder.
#include "base/log.hpp"
#include "base/window.hpp"
#include "graphics/graphics.hpp"
#include "gui/gui.hpp"
#include "scenes/global.hpp"
#include "scenes/morvensk.hpp"
#include "show/mainapp.hpp"
#include "show/startup.hpp"

namespace
{
template <class T> Scene *MakeScene() { return sNEW T; }

// The show's scenes by index: the index is the scene's number in the scene keys. A row
// without a constructor is a scene not built yet; its index stays empty.
const ShowSceneRow SceneTable[] = {
    {u"Morvensk", MakeScene<MorvenskScene>, 1, 0},
    {u"Fish", nullptr, 1, 0},
    {u"Transformer", nullptr, 1, 0},
    {u"Body", nullptr, 1, 0},
    {u"Plant", nullptr, 1, 0},
    {u"Abstract", nullptr, 1, 0},
    {u"Cubic", nullptr, 1, 0},
    {u"Invaders", nullptr, 1, 0},
    {u"Tunnel", nullptr, 1, 0},
    {u"Robot", nullptr, 1, 0},
    {u"Crystal", nullptr, 1, 0},
    {u"Lava", nullptr, 1, 0},
    {u"LED1", nullptr, 1, 0},
    {u"Global", MakeScene<GlobalScene>, 0x101, 0},
    {u"Slideshow", nullptr, 1, 0},
    {u"GUI", MakeTouchGui, 0x101, 1},
};
const sInt SceneCount = sInt(sizeof(SceneTable) / sizeof(SceneTable[0]));

void sMain()
{
  sInstallGraphicsFrames();
  FindDataRoot();
  if(sShellSwitch(u"capture")) sStartupRecord.FixedStep = 1;
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

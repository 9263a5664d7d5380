// The process entry of the show: the show's main function over the scene table.
//
// "-frames n" ends the run by itself after n frames; "-capture" starts in fixed-step mode,
// which saves every frame as a numbered picture in the temporary folder.
#include "base/window.hpp"
#include "scenes/table.hpp"
#include "show/mainapp.hpp"

namespace
{
void sMain() { ShowMain(sShowSceneTable, SHOW_SCENES); }
}

int main(int argc, char **argv)
{
  return sRunFramework(argc, argv, sMain);
}

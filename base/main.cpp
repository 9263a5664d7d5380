// The process entry of the show.
//
// Until the show's application class exists, sMain opens a window and paints plain frames
// until the window is closed or the process is interrupted. "-frames n" ends the run by
// itself after n frames.
#include "base/log.hpp"
#include "base/render3d.hpp"
#include "base/window.hpp"
#ifdef SPARK_WITH_GRAPHICS
#include "graphics/graphics.hpp"
#endif

namespace
{
class PlainApp : public sApp
{
  sInt Frames = 0;
  sInt FrameLimit;

public:
  explicit PlainApp(sInt frameLimit) : FrameLimit(frameLimit) {}

  void OnPaint3D() override
  {
    // a slow breathing blue, so that a person sees the frames go on
    sInt phase = Frames % 256;
    sInt level = phase < 128 ? phase : 255 - phase;
    sGetFrameBackEnd().SetFrameClearColor(0xff000000u | sU32(32 + level / 2));
    Frames++;
    if(FrameLimit > 0 && Frames >= FrameLimit) sExit();
  }

  void GetTypeName(const sStringRef &out) override { sCopyString(out.Buffer, u"PlainApp", out.Size); }
};

void sMain()
{
#ifdef SPARK_WITH_GRAPHICS
  // the frames run on the graphics back end
  sInstallGraphicsFrames();
#endif
  if(!sInit(sISF_3D | sISF_CONTINUOUS | sISF_NOSCREENSAVER, 1280, 720)) return;
  sSetApplication(sNEW PlainApp(sShellParamInt(u"frames", 0, 0)));
}
}

int main(int argc, char **argv)
{
  return sRunFramework(argc, argv, sMain);
}

#pragma once
// The loader screen: counts the progress of the start-up (each scene registration, each
// texture and model built) and draws the loader scene inside a frame of its own while the
// show is not running yet. The scene machine makes it in its constructor, the first frame
// of the show starts its frame counting, and it stops drawing once that count passes the
// start-up record's limit. It installs itself as the target of RefreshLoadingScreen.
// Each refresh counts one step and, when the record's UseLoader is set, draws it in a
// frame of its own, presented as the show's frames are (waiting for the display's refresh
// unless the screen mode says not to).
//
// On a software rasteriser a frame of the loader scene costs the main thread tens of
// milliseconds (its super shape alone is 65,536 vertices) and its present a full-screen
// blit, several times the work of a step. There the frames are paced: a refresh draws and
// presents only once, since the last presented frame ended, at least as much time has
// passed as that frame took to draw and present, and at least 1/15 s; so the loader's
// frames take at most about half of the start-up. Every step is still counted (and the
// ring's marker moved), and the last step before the show always presents. With a GPU
// every refresh draws and presents.
// Main thread only.

#include "graphics/graphics.hpp"
#include "show/procforms.hpp"
#include "show/scene.hpp"

struct StartupRecord;
class LoaderScene;

// The pacing of the loader's frames on a software rasteriser (times in ms of sGetTime):
// whether a refresh at now draws, the last presented frame having begun at shownBegin and
// ended at shownEnd.
sBool LoaderFrameDue(sU32 now, sU32 shownBegin, sU32 shownEnd);

class LoaderScreen
{
public:
  LoaderScene *Loader;       // the loader scene (owned); null when it is switched off
  sViewport View;
  StartupRecord *Record;
  sInt Started;              // set by the show's first frame
  sInt FrameProgress;        // progress counted since the first frame
  sInt Active;               // 1 while the loader screen draws
  sInt Steps;                // progress steps
  sInt Progress;             // progress units, 10 per step
  sInt Paced;                // the refreshes' frames are paced (a software rasteriser)
  sInt Shown;                // a refresh has presented a frame
  sU32 ShownBegin, ShownEnd; // when the last presented frame began and ended
  sInt PresentLast;          // the next refresh is the last before the show: it presents

  LoaderScreen();
  ~LoaderScreen();
  LoaderScreen(const LoaderScreen &) = delete;
  LoaderScreen &operator=(const LoaderScreen &) = delete;

  // Takes the record and becomes the target of RefreshLoadingScreen; the loader scene is
  // made only when UseLoader is exactly 1.
  void Start(StartupRecord *record);
  // Draws the loader scene on the screen's display and, with advance, counts one step.
  void DrawProgress(sInt screen, sBool advance);
  // One refresh (RefreshLoadingScreen): with UseLoader set, DrawProgress in a frame of
  // its own, presented (paced on a software rasteriser); a frame the device refuses or
  // the pacing skips still counts the step.
  void Refresh();
  // The next refresh is the start-up's last: it presents, paced or not.
  void PresentNextRefresh() { PresentLast = 1; }
  // The show's first frame: from now on progress also counts towards the limit.
  void StartFrames();
  // Exits and deletes the loader scene and stops being the refresh target.
  void Destroy();

private:
  // DrawProgress, with the drawing left out unless draw is set.
  void Step(sInt screen, sBool draw, sBool advance);
};

// The loader scene: a rotating ring of one hundred thin cubes around a super shape whose
// form follows the progress, a marker running round the ring, and a floor.
class LoaderScene : public Scene
{
public:
  static constexpr sInt CubeCount = 100;
  SuperShapeForm *Shape;
  CubeForm *Cubes[CubeCount];
  sMat3x4 CubeBase[CubeCount];
  ArrayForm *Floor;
  sMat3x4 FloorBase;
  LoaderScreen *Screen;

  // Its material set, lights and forms, for its loader screen.
  explicit LoaderScene(LoaderScreen *screen);
  void Camera(sInt variant, sViewport *view) override;
  void Render(sInt variant, sViewport *view) override;
  // The ring's marker at the screen's progress (Render sets it too).
  void Mark();
};

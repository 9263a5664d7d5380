#pragma once
// The loader screen: counts the progress of the start-up (each scene registration, each
// texture and model built) and draws the loader scene inside a frame of its own while the
// show is not running yet. The scene machine makes it in its constructor, the first frame
// of the show starts its frame counting, and it stops drawing once that count passes the
// start-up record's limit. It installs itself as the target of RefreshLoadingScreen.
// Each refresh counts one step and, when the record's UseLoader is set, draws it in a
// frame of its own, presented without waiting for the display's refresh (the screen mode's
// interval comes back with the show's first frame).
// Main thread only.

#include "graphics/graphics.hpp"
#include "show/procforms.hpp"
#include "show/scene.hpp"

struct StartupRecord;
class LoaderScreen;

class LoaderScreen
{
public:
  Scene *Loader;             // the loader scene (owned); null when it is switched off
  sViewport View;
  StartupRecord *Record;
  sInt Started;              // set by the show's first frame
  sInt FrameProgress;        // progress counted since the first frame
  sInt Active;               // 1 while the loader screen draws
  sInt Steps;                // progress steps
  sInt Progress;             // progress units, 10 per step

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
  // its own, presented; a frame the device refuses still counts the step.
  void Refresh();
  // The show's first frame: from now on progress also counts towards the limit, and
  // presents wait for the display's refresh as the screen mode asks.
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
};

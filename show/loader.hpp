#pragma once
// The loader screen: counts the progress of the start-up (each scene registration, each
// texture and model built) and draws the loader scene inside a frame of its own while the
// show is not running yet. The scene machine makes it in its constructor, the first frame
// of the show starts its frame counting, and it stops drawing once that count passes the
// start-up record's limit. It installs itself as the target of RefreshLoadingScreen.
// Main thread only.

#include "graphics/graphics.hpp"

class Scene;
struct StartupRecord;

class LoaderScreen
{
public:
  Scene *LoaderScene;        // owned; null when the loader scene is switched off
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
  // made only when UseLoader is exactly 1 and a scene maker is installed.
  void Start(StartupRecord *record);
  // Draws the loader scene on the screen's display and, with advance, counts one step.
  void DrawProgress(sInt screen, sBool advance);
  // The show's first frame: from now on progress also counts towards the limit.
  void StartFrames();
  // Exits and deletes the loader scene and stops being the refresh target.
  void Destroy();
};

// The maker of the loader scene (the scene is built from the procedural forms); null
// leaves the loader screen without a scene: it then only counts.
extern Scene *(*sMakeLoaderScene)(LoaderScreen *loader);

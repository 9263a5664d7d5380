#pragma once
// The show's application: builds the scene machine, registers the show's scenes by index
// from the scene table, starts the machine, enters the GUI and the Global scene and wires
// the GUI's shared records into the machine, the SYNC machine and the Slideshow. After
// that it only forwards input events and frames to the machine. Main thread only.

#include "base/app.hpp"

class Scene;
class SceneMachine;
struct GuiMediaState;
struct SceneRequest;
struct SlideshowControl;

// One row of the scene table: the row's position is the scene's index (its number in
// the scene-switch codes).
struct ShowSceneRow
{
  const sChar *Name;
  Scene *(*Make)();   // allocates and constructs the scene; null leaves the index empty
  sInt Flags;         // low byte the texture-set kind, 0x100 resident
  sBool OnGuiDisplay; // 1: the GUI's display, 0: the show's display
};

// What the GUI scene shares; filled in by the GUI.
struct GuiRecordSet
{
  GuiMediaState *Media;
  SceneRequest *Request;
  SlideshowControl *Slideshow;
};

// The GUI's records and the Slideshow's control pointer, installed by the GUI and the
// Slideshow; while absent, that wiring is left out.
extern GuiRecordSet (*sGetGuiRecords)(Scene *gui);
extern void (*sSetSlideshowControl)(Scene *slideshow, SlideshowControl *control);

class MainApp : public sApp
{
public:
  SceneMachine *Machine;
  Scene *Gui;          // the scene named "GUI", owned by the machine
  sInt GuiDisplay;
  sInt ShowDisplay;
  sInt FrameLimit;     // > 0: the show ends by itself after this many frames
  sInt Frames;
  sInt LoggedScene;    // the current scene as last logged

  // Builds the show from the scene table (rows in index order).
  MainApp(const ShowSceneRow *table, sInt count);
  ~MainApp() override;
  MainApp(const MainApp &) = delete;
  MainApp &operator=(const MainApp &) = delete;

  void OnInput(const sInput2Event &event) override;
  void OnPaint3D() override;
};

// The application's main function over a scene table: the graphics frames, the IPP
// machine and the show's machines installed, the data root found, the screen mode and
// window made, then the MainApp built and installed ("-frames n" ends the run after n
// frames, "-capture" starts in fixed-step mode, "-guidisplay n" and "-showdisplay n" place
// the GUI and the show scenes on display n when several run). The framework's main routine calls it
// (sRunFramework).
void ShowMain(const ShowSceneRow *table, sInt count);

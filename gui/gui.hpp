#pragma once
// The touch GUI scene: the operator's control surface, drawn last over every frame.
//
// TouchGui is a resident scene ("GUI", index 15, flags 257). Its object list holds the
// quads of its 298 widgets, 20 sliders and 100 tiles and one text form, seen through a
// fixed flat camera over a 1229.4 x 691.2 plane (letterboxed on displays that are not
// 16:9, the pointer mapped through the same inverse). It owns the state the show reads
// from it: the configuration the pages edit (GuiConfig), the media timers, and the three
// shared records. The GUI's own state stays here, grouped by concern into records of their
// own (see Files); PublishRecords translates it into GuiMediaState, SceneRequest and
// SlideshowControl in one place every frame.
//
// Threads: everything runs on the main thread except the media loader (mediafolders),
// which shares guiLock and the GuiLoaderState (folders.loader). Textures are made and freed here only.
// Textures handed to the IPP machine (logos, the flyer) are never freed while it may draw
// them: replaced logo textures wait on the retire list until the IPP acknowledges the
// new logos (or the GUI exits); the flyer texture is freed only while it is still in the
// hand-over slot.
//
// Files: gui.cpp (the scene's own steps: its operations, the camera and pointer, the scene
// choice that ties the concerns together and the records), pages.cpp (the label, texture,
// material and widget tables, Init and the frame), configfile (the settings' and the
// configuration slots' records; kept free of the scene, the data generator builds it on its
// own), configsteps.cpp (the scene's configuration steps: load, save, reset, start-up),
// dirbrowser (the directory browser's record and page), mediafolders (the drives, the media
// sections' listing and counts and the loader: their record, then the scene's media-folder
// steps: the sections' folders, the logo and flyer hand-over, the movie list and previews),
// mediaschedule (the timers' and schedules' record, then the scene's media-timer steps: the
// slideshow's style and timer, the video-in timer), dialogs (the dialogs' and the lock's
// record), keyboard (the on-screen keyboard's edit), widgets (the elements and the pages'
// record), modescene.

#include "base/numbers.hpp"
#include "base/system.hpp"
#include "gui/configfile.hpp"
#include "gui/dialogs.hpp"
#include "gui/dirbrowser.hpp"
#include "gui/keyboard.hpp"
#include "gui/mediafolders.hpp"
#include "gui/mediaschedule.hpp"
#include "gui/widgets.hpp"
#include "show/guirecords.hpp"
#include "show/scene.hpp"

class GuiModeScene;
class sMoviePlayer;
class TextForm;
class ArrayForm;
class InstanceForm;
class sTexture2D;

enum : sInt
{
  sGUI_SCENENUMBERS = 20,
  sGUI_TEXTURES = 31,          // rows of the GUI's texture table
  sGUI_PREVIEWMATERIAL = 33,   // 33, 34 previews, 35 the video-in frame
  sGUI_TILEMATERIAL = 36,      // 36..135 the tile pictures
  sGUI_SKINMATERIAL = 136,     // 136..268 the style skins' scene pictures (six styles of 20, then the LED ones)
  sGUI_SKINPICTURES = 6 * 20 + 13,
  sGUI_BOXMATERIAL = sGUI_SKINMATERIAL + sGUI_SKINPICTURES,   // the instanced boxes, lit
  sGUI_MATERIALS = sGUI_BOXMATERIAL + 1,
  sGUI_BOXES = 16,
  sGUI_LEDSCENE = 12,          // the scene every tile of the LED style starts, each in a formation of its own
};

// Command words the frame acts on.
enum : sInt
{
  CmdBrowse, CmdTap, CmdMute, CmdExit, CmdMessage, CmdShort, CmdText, CmdLearn, CmdChannel, CmdFader,
  CmdScaler, CmdBrowserKey, CmdConfigActive, CmdKeyboard, CmdDialog, CmdSpare
};
static_assert(sInt(sGUI_LISTMOVIES) == sInt(sGUI_TILES), "a listed movie has a tile of its own");

// Scene numbers of the style pages: positions 0-12 are the show scenes, the rest none.
sInt GuiPositionToScene(sInt position);

// The header's input warning from the SYNC machine's signal level, overload share and
// capture gain, and whether it has a capture device at all (null: the input is fine).
const sChar *AudioWarning(sF32 level, sF32 overload, sF32 gain, sBool missing);

class TouchGui : public Scene
{
public:
  // 1. visibility and pages, with the elements on them (4.)
  GuiPages pages;              // the page words, the widgets with their homes, the sliders and the tiles
  GuiDialogs dialogs;          // the open dialog, its answer and the touch lock
  sInt selectedScene;          // the scene the GUI switched to last, -1 none
  // 2. pointer, press and the frame's touch state the elements share
  GuiTouchState touch;
  sInt prevButtons;
  // 3. clocks
  sU32 counters[3];
  sInt videoGuard;
  sU32 randomWord;
  // 5. text layer, and the quads that are no element: pointer, ripple, cursor, level scope
  TextForm *textForm;
  ArrayForm *pointerForm, *rippleForm, *cursorForm, *scopeForm;
  ArrayForm *endForm;               // the dark quad under the playing tile's "END:" line
  InstanceForm *boxForm;            // sixteen bevelled boxes after the text, each at its own placement
  ArrayForm *dialogForm;            // the dialog's backdrop
  // 6. pictures: the tile previews made from movies and the flags that they show
  sTexture2D *previewTextures[sGUI_TILES];   // render targets, made when first needed
  sU32 tileShown[sGUI_TILES];
  sInt previewSlot, previewIndex, previewStep, previewFrames;
  sMoviePlayer *previewPlayer;
  sTexture2D *previewTarget;
  // 7. on-screen keyboard
  GuiKeyboard keyboard;        // the key pressed, the editing keys, the edited text and its cursor
  // 8. settings the pages edit
  GuiConfig config;
  sU32 style;                  // the scene-selection style 0..9 (5 after Init)
  sU32 shownStyle;
  sF32 styleScroll[sGUI_STYLES];
  sF32 brightness;             // output brightness, slider 36 (not saved)
  sU32 effectThird[sGUI_EFFECTS];
  sU32 touchFurther;
  sU32 strobeTrigger;          // the strobe's second switch, one frame
  sU32 selectedEffect, selectedDistortion;
  sU32 selectedMovie, movieClear, upcomingMovie, movieMarks[sGUI_TILES];
  sF32 movieDurations[sGUI_TILES];   // seconds, from the previews; 0 unknown
  sU32 movieStartClock;              // GUI clock of the layer movie's start
  sU32 selectedVideo, prevVideo;
  sU32 videoStartClock;        // GUI clock of the video input's start
  GuiConfigSlots configs;      // the configuration files' slots, the CONFIGS page's command
  sU32 autoFxActive, autoFxProgram;
  sU32 prevAutoFxActive, prevAutoFxProgram;   // the switch and program the mode scene last saw
  ArrayForm *hintQuads[2];     // the AUTO FX hint's dimming quads A and B over the locked keys
  ArrayForm *previewForm;      // the output's preview on the touch-effect page
  sU32 commandWords[16];       // keys whose action the frame runs (mute, exit, browser, ...)
  sU32 pageIndicators[sGUI_TIMERS + 8];
  // 9. media timers and message countdowns
  GuiMediaSchedule schedule;   // timers, message countdowns and the logo/flyer/movie latches
  sInt prevListChoice;
  sInt previousRequested;
  // 10-12. the shared records
  GuiMediaState mediaState;
  SceneRequest sceneRequest;
  SlideshowControl slideshow;
  // 13. the lock; the drives, the listing of the media sections, their counts and the loader
  sThreadLock guiLock;
  GuiMediaFolders folders;
  sDynamicArray<sTexture2D *> retired;   // replaced logo textures the IPP may still point at
  // 14. the mode scene
  GuiModeScene *modeScene;
  // 15. the GUI's own generator
  sRandomLcg random;
  // 16. the frame: release edge and drag, scene tiles, dialogs, schedules, browser
  sU32 releaseEdge, wasDown;
  sInt learnRow, lastLearnRow;   // the channel-page row learning its control, -1 none
  sInt channelBackup[sGUI_CONTROLS], channelFaderBackup;
  GuiScalerSetting scalerBackup[2];   // the two devices' settings as the scaler page opened
  sF32 prevPointerX, prevPointerY, dragX, dragY, dragSmoothX, dragSmoothY;
  sU32 rippleTime;
  sF32 rippleX, rippleY;
  sU32 sceneSelect;
  sInt laidStyle;              // the style whose tiles are laid out, -1 none
  sInt sceneTileCount;
  sU32 prevPage, prevEffect;
  sU32 controlSwitch;
  GuiBrowser browser;

  TouchGui();
  ~TouchGui() override;

  void Init(SyncMachine *syncSource, sInt initFlags, TMData *globalSet) override;
  void Exit() override;
  void Enter(sInt arg) override;
  void Tick(sInt variant) override;
  void Render(sInt variant, sViewport *view) override;
  void OnEvent(sInt code) override;
  void OnInput(sInput2Event *event) override;
  void Camera(sInt variant, sViewport *view) override;

  // state operations
  void LayoutList();
  // Points the list page's style keys, ACTIVE, START and both sliders at the movie section's
  // settings (8) or the video-in's (any other section); DIRECTORY belongs to the movies only.
  void BindListSection();
  // Moves the on-screen keyboard's 19 rows of three keys to their homes' y + offset and the
  // browser's path line to the middle of its bounds + offset.
  void ScrollRows(sF32 offset);
  void SelectScene(sInt number);
  void NextAutoScene(sBool switchNow);
  void PickSlideshowStyle();
  void UpdateSlideshowTimer();
  void UpdateVideoInTimer();
  void PickMarkedPicture();
  void MarkAllTiles();
  void PickAutoScene(sBool remember);
  void BindScalerDevice();
  // The scene a list position starts, -1 when the position names none or its scene is not
  // part of this show (an index left empty).
  sInt SceneOfPosition(sInt position) const;
  // The elements, then the page keys' lamps from the settings.
  void DrawWidgets();
  void PublishRecords();

  // the frame's steps after the widgets (frame.cpp), the tiles and schedules, dialogs, browser
  void FrameSteps();
  void ApplyControlValues();
  // The keyboard page opened over the edit of text for purpose and target.
  void OpenKeyboard(sInt purpose, sInt target, const sChar *text, sInt capacity);
  // ENTER: the edited text stored where the keyboard was opened for (a message, a channel
  // number, a scaler corner's pixels).
  void CommitKeyboard();
  void ScalerDeviceSize(sInt &width, sInt &height) const;
  // The corners the scaler page edits: the input ones while INVERT is on.
  sF32 *ScalerCorners();
  void ScalerKey(sU32 key);
  void DrawKeyboard();
  void DrawPointerAndScope();
  void PrintFunctionSection();
  void PrintOverlayPages();
  void LayoutSceneTiles();
  void DrawSceneTiles();
  void UpdateMovieControl();
  void FeedLiveRecording();
  // The AUTO FX programs: starts, changes and stops the mode scene's program from the
  // page's switch and keys and hands it the keys of sequencer channel 6 (before the records
  // are published); the keys a running program drives take no touch.
  void DriveModeScene();
  // UPDATE: the maker's update page for this version, opened after the next frame.
  void RequestUpdatePage();
  void AfterRender(sViewport *view) override;
  void OpenBrowser(sInt kind);
  void DirBrowser();
  void StartBrowserDelete();
  void BrowserKeyboardEnter(const sChar *text);
  sBool ApplyBrowserChoice();
  sU32 SyncClockMs() const;

  // configuration
  sInt LoadConfig();
  sBool SaveConfig();
  void ResetConfig();
  void StartupConfig(sBool packFile);

  // media folders and the loader hand-over
  void SectionFolderPath(sChar *out, sInt cap, sInt section) { SectionFolder(out, cap, section, 0); }
  // the folder as the pages show it: the drive's name, then the folder
  void SectionFolderLabel(sChar *out, sInt cap, sInt section) { SectionFolder(out, cap, section, 1); }
  void SectionFolder(sChar *out, sInt cap, sInt section, sBool label);
  sBool StoreSectionFolder(sInt section, const sChar *folder);
  void RequestLogos();
  void RefreshMovieList();
  void BuildMoviePreviews();
  void MakeLogoTextures();
  void MakeFlyerTexture();
  void FreeRetired();

  // the pointer in GUI units from pixels of a display
  void MapPointer(sF32 px, sF32 py, sInt width, sInt height, sF32 &x, sF32 &y) const;
  // the camera's zoom (letterboxed) for a display aspect
  static void PlaneZoom(sF32 aspect, sF32 &zoomX, sF32 &zoomY);

  // The frame's touch step: pointer, press edge, page mask (from the scene machine's
  // pointer record when there is one).
  void UpdateTouch(sF32 px, sF32 py, sInt buttons, sInt width, sInt height);
  // The pages' mask with the browser, the touch-effect page, the loader's notice and the
  // dialog and lock layers.
  sU32 ComputePageMask() const;

private:
  void CreateWidgets();
  void PrintHeader();
  GuiMediaSection *Section(sInt section);
};

// Writes the control values of this clock's line of the live recording: word 0 the bar
// (cycle x 100 + bar of eight), word 1 + t the track's value x 999 plus 1000 when its MIDI
// control drives it and 2000 when its DMX control does; tracks nobody drives keep their word.
class SceneControls;
void GuiFeedLiveLine(SceneControls &controls, sU32 clockMs, sInt barStep, const sInt *midi, const sInt *dmx);

// The GUI's registration row maker.
Scene *MakeTouchGui();

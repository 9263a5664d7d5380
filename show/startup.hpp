#pragma once
// The show's compiled-in configuration and the start-up before the application exists:
// the display table, the data root and the screen mode.
//
// The start-up record is one static, writable record. sMain, the scene machine, the loader
// screen and the GUI read it; the scene machine toggles its fixed-step switch at run time.
// Everything here runs on the main thread.

#include "base/types.hpp"

struct StartupRecord
{
  const sChar *ProductName;    // window title, also the selector's title
  const sChar *DataFolder;     // project folder for sSetProjectDir (KeepCurrentDir 0)
  sF32 InitialBpm;             // starting tempo of every SYNC machine
  sInt MusicOn;                // create and start the music player
  const sChar *MusicFile;
  sU32 BackgroundColour;       // clear colour when the current scene has none of its own
  sInt SharedSync;             // 1: one SYNC machine shared by all scenes
  sInt IppOn;                  // the IPP machine's texture set and processing
  sInt ShowSelector;           // 1: ask for the screen mode with the start-up selector
  sInt KeepCurrentDir;         // 0: change to DataFolder at start-up
  sInt InputLock;              // 1: keyboard codes reach only the scenes' OnInput and ESC
  sInt PackedAssets;           // bit 0 of the scenes' Init flags
  sInt UseLoader;              // bit 1 of the Init flags; exactly 1 shows the loader scene
  sInt LoaderTotal;            // progress count shown as 100 percent
  sInt LoaderLimit;            // progress count at which the loader stops drawing
  sInt FixedStep;              // 1: fixed clock steps, every frame saved as a picture
  sInt FixedStepMs;            // milliseconds per frame in fixed-step mode
  const sChar *CapturePattern; // file name of the saved frames, %d the capture counter
  sInt RecordPackfile;         // record opened files and build the pack file at exit
  sInt UsePackfile;            // open the pack file at start-up
  const sChar *PackfileDefName;
  const sChar *PackfileName;
  sF32 CameraGlideShort;       // debug camera glide after the '-' key
  sF32 CameraGlide;            // debug camera glide at start and after the second '-'
  sInt ScreenWidth;            // window size when no selector is shown
  sInt ScreenHeight;
};

// The compiled-in record.
extern StartupRecord sStartupRecord;

// The file name of captured frames: the record's pattern names a Windows folder, so only
// its file name is kept, in the system's temporary folder.
const sChar *GetCapturePattern(const StartupRecord &record);

/****************************************************************************/
/***   Displays                                                           ***/
/****************************************************************************/

// One output display: the size and aspect of its screen, and on several screens which
// display it is and the display's name.
struct ShowDisplayRecord
{
  sInt Width;
  sInt Height;
  sF32 Aspect;
  sInt Display;
  sChar Name[64];
};

constexpr sInt ShowDisplayCount = 3;
extern ShowDisplayRecord ShowDisplays[ShowDisplayCount];
// The entry of a display index; an index outside the table is fatal.
ShowDisplayRecord &GetShowDisplay(sInt display);
// Fills an entry from a size (aspect = width / height).
void SetShowDisplay(sInt display, sInt width, sInt height);
// On several screens: the entries of the screens in use from the screens' sizes and the
// displays' names (sGetScreenInfo), as far as the table reaches.
void FillScreenDisplays();

/****************************************************************************/
/***   Data root                                                          ***/
/****************************************************************************/

// Tries the data-root candidates in order ("TWdata", "./data", then the fixed drive
// folders) with the file probe; the first that exists becomes the data root, logged, and
// "TWdata" stays it when none does. The current folder is left as it is: the program's own
// files (the pack file, the music, the scenes' pictures, the live recording) are read from
// it, the configurations and media folders from the data root. Returns the candidate's
// index, or -1 when none exists.
sInt FindDataRoot();
// The data root as a whole path (the current folder's, before any search).
const sChar *GetDataRoot();
// A file name under the data root, "%s/%s"; a whole path is taken as it is. 0 when it
// does not fit.
sBool JoinDataRoot(const sStringRef &dest, const sChar *name);

/****************************************************************************/
/***   Screen mode                                                        ***/
/****************************************************************************/

struct sScreenMode;

// The sInit flags of an accepted screen mode: 3D and continuous painting, full screen by
// the mode's full-screen flag, no wait for the retrace by its no-vsync flag.
sU32 GetSelectorInitFlags(const sScreenMode &mode);

// Decides the screen mode (the selector dialog when the record asks for it, else the
// record's fixed size), opens the window with sInit, names it and sets the project folder.
// "-multiscreen" starts with one output window per display (full screen only).
// 0 when the user cancelled the selector or no window could be made, else 1.
sInt CheckStartupSelector(StartupRecord *record);

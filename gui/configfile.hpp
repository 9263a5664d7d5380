#pragma once
// The GUI's configuration: every setting an operator makes on the GUI pages that survives
// a restart, as one plain record (GuiConfig), and the ".Spk" files that carry it.
//
// The file is a text of fixed sections (product, style, slideshow, logos, flyer, movie,
// effect, message, short message, self distortion, latency, dmx, midi, scaler, video-in)
// found by position: the reader counts the word "configuration" and never compares the
// section titles. On disk the text is stored as a little-endian byte sum followed by two
// bytes per character, the high and the low nibble each under a random nibble.
//
// Every character of a text is one byte (0..255), written and read exactly, so a folder
// "M\u00fcsik/" is the byte 0xFC on disk. A text with a character beyond 255 cannot be held:
// it is refused whole (never written with a cut character, which would name another
// folder). What this file adds to the format, without changing it: a '"' in a message or
// folder text is written as '\'', so every text reads back; an integer read is kept to
// what the GUI's tables hold, every other number is stored as read (an infinity is not
// taken), and the GUI bounds it where it uses it; a file is written under a temporary name
// and renamed over the old one, so a failed write leaves the old file whole and is reported.
//
// Nothing here touches the GUI scene: the GUI copies the record in and out. The functions
// keep no state of their own and are callable from any thread (the generator uses the
// writer at build time). GuiConfigSlots, at the end, is the GUI's record of which files it
// loads and saves; it works on a GuiConfig it is given and on the main thread only.

#include "base/numbers.hpp"
#include "base/types.hpp"

class sTextBuffer;
class sThreadLock;

enum : sInt
{
  sGUI_STYLES = 10,
  sGUI_STYLEFLAGS = 100,
  sGUI_LEDTILES = 13,   // the SIMPLE style's tiles, one per LED formation
  sGUI_FOLDERCHARS = 1024,
  sGUI_TEXTCHARS = 256,
  sGUI_TEXTSLOTS = 16,
  sGUI_EFFECTS = 5,
  sGUI_DISTORTIONS = 3,
  sGUI_CONTROLS = 33,      // starting address and the 32 control tracks
  sGUI_SCALERS = 16,
  sGUI_DRIVES = 25,
  sGUI_CONFIGSLOTS = 8,
};

// The file name of the default configuration, under the data root.
extern const sChar sGuiDefaultConfigName[];
// The names of the control tracks in the dmx and midi sections.
extern const sChar *const DmxControlNames[sGUI_CONTROLS];
extern const sChar *const MidiControlNames[sGUI_CONTROLS];
// Scene numbers of styles 1 to 5; the first entry is always used, a later 0 ends a row.
extern const sInt ConfigStyleTable[5][21];

// What the scene tiles of a style show: the list positions in order, each with the number
// of its scene picture among the style skins' pictures (20 for each of ambient, tekkno,
// funk, disco, minimal and all, then the 13 of the LED style). Styles 0-4 show the
// scenes of their row of ConfigStyleTable with their own skin; style 7 the 13 LED
// formations; the others a page of 20 positions per row, under the "all" skin, whose
// pictures run on from page to page. A row's position 13 (the Global scene) has no entry.
struct GuiStyleEntry
{
  sInt Position;   // 0..99
  sInt Picture;
};
// Fills at most sGUI_STYLEFLAGS entries; returns their count.
sInt GuiStyleEntries(sInt style, GuiStyleEntry *entries);

// One media section (slideshow, logos, flyer, movie).
struct GuiMediaSection
{
  sChar Directory[sGUI_FOLDERCHARS];       // below the section's root, ending in '/'
  sChar FakeDirectory[sGUI_FOLDERCHARS];   // kept and saved, not used
  sInt Drive;                              // 0..24, the root slot
  sInt Style;                              // 0..3
  sInt AllowEfx;                           // slideshow only
  sInt Active;
  sF32 Interval;                           // slider fraction 0..1 (a file's may lie beyond)
  sF32 Start;                              // seconds; exactly -1.0 means random
  sF32 Power;                              // movie only, 0..1
};

struct GuiEffectSetting
{
  sInt Active, Alpha;
  sF32 Transparency, Power;
};

struct GuiMessageSetting
{
  sChar Text[sGUI_TEXTCHARS];
  sInt Active;
  sF32 Interval;
  sF32 Start;
};

struct GuiDistortionSetting
{
  sInt Kind, Active;
  sF32 Frequency, Power;
};

struct GuiScalerSetting
{
  sInt Active;
  sF32 Out[4];        // x0, y0, x1, y1
  sF32 In[4];         // ix0, iy0, ix1, iy1
  sF32 Brightness, Contrast;
};

struct GuiConfig
{
  sF32 Version;                              // the configuration's own revision
  sF32 FileVersion;                          // the format version of the file read last
  sInt StyleFlags[sGUI_STYLES][sGUI_STYLEFLAGS];
  sInt ActiveStyle;                          // 0..9
  GuiMediaSection Slideshow, Logos, Flyer, Movie;
  GuiEffectSetting Effects[sGUI_EFFECTS];    // strobe, colour correction, feedback, kaleidoscope, touch-me
  GuiMessageSetting Messages[sGUI_TEXTSLOTS];
  sChar ShortMessages[sGUI_TEXTSLOTS][sGUI_TEXTCHARS];
  GuiDistortionSetting Distortions[sGUI_DISTORTIONS];
  sF32 Latency;                              // 0..1, x 500 ms
  sInt Dmx[sGUI_CONTROLS];                   // 0 the starting address, k the channel of track k
  sInt Midi[sGUI_CONTROLS];
  sInt MovieStartFader[2];
  GuiScalerSetting Scalers[sGUI_SCALERS];
  sInt VideoStyle, VideoActive;
  sF32 VideoPower, VideoInterval, VideoStart;
};

// A fraction kept to its slider's 0..1: a stored setting where it is used (a file may hold
// any value), a computed one where it is stored.
inline sF32 GuiUnit(sF32 v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }
// The ms of an interval fraction of fullScale ms, where a countdown takes it: a file's
// fraction above 1 is a longer countdown, one below 0 the slider's 0.
inline sInt GuiIntervalMs(sF32 fraction, sInt fullScale)
{
  sF32 ms = fraction * sF32(fullScale);
  return ms > 0 ? (ms < 2e9f ? sInt(ms) : 2000000000) : 0;   // a huge one stops at about 23 days, as a start does
}

// Every setting at its default ("reset"). The style flags follow ConfigStyleTable; a flag
// at a position that names no scene (13, the Global scene) is never offered or picked.
void ResetGuiConfig(GuiConfig &config);

// The configuration as the file's text (format 2.4), with the display the GUI is drawn on.
void BuildConfigText(sTextBuffer &out, const GuiConfig &config, sInt menuHead);

// Sections read; the GUI follows them up (folder scans, the logo job).
enum : sU32
{
  sGUICFG_SLIDESHOW = 1 << 2,
  sGUICFG_LOGOS = 1 << 3,
  sGUICFG_FLYER = 1 << 4,
  sGUICFG_MOVIE = 1 << 5,
};

struct ConfigParseResult
{
  sInt Loaded;        // 0: not a configuration (wrong file id or version key): nothing applied
  sU32 Sections;      // bit s: section s was read (whole or in part)
  const sChar *Error; // the first format message (always one when nothing was applied), or null
};

// Reads the text into config, section by section; what was read before a format error
// stays applied, the rest keeps its previous values. Style flags and floats are stored as
// read (see above).
ConfigParseResult ParseConfigText(const sChar *text, GuiConfig &config);

// The on-disk encoding: 4 + 2 x length bytes (sMemFree), the random nibbles from random.
sU8 *EncodeConfigText(const sChar *text, sRandomLcg &random, sDInt &size);
// The decoded text (sMemFree), or null when the bytes are too few or the sum differs.
sChar *DecodeConfigText(const sU8 *data, sDInt size);

// Whether every character of the text fits the file's one byte.
sBool ConfigTextFits(const sChar *text);
// A path is a name under the data root (a whole path is taken as it is).
// Writes the encoded text to a temporary beside path of this process's own
// (sMakeSaveTempName, ".tmp"), flushes it to the disk and renames it over
// path. 0 (logged on "file") when any step fails or the text does not fit; the old file
// is then untouched.
sBool WriteConfigText(const sChar *path, const sChar *text, sRandomLcg &random);
// The decoded text of a file (sMemFree), or null.
sChar *ReadConfigText(const sChar *path);
// The same; on failure why (whySize characters) says what was wrong: the file's failure in
// the system's words, or that its check sum does not hold.
sChar *ReadConfigText(const sChar *path, sChar *why, sInt whySize);

// The configuration slots: eight names of files under the data root (the default file's
// in every slot after each load, until the operator saves under another name), the slot
// chosen on the CONFIGS page and the one saves go to, and what the last load made of it.
// The GUI scene holds one; the CONFIGS page's keys set its command word and pick its slot.
struct GuiConfigSlots
{
  sU32 configSelected[sGUI_CONFIGSLOTS];   // 1 for the chosen slot, 0 for the others
  sChar configNames[sGUI_CONFIGSLOTS][sGUI_TEXTCHARS];
  sInt configSlot;             // the slot loaded last (the CONFIGS page selects it)
  sInt configSaveSlot;         // the slot whose name a save writes to
  sInt configShownSlot;        // -1 after every load: the page binds its name line afresh
  sU32 configCommand;          // set by the CONFIGS page keys, acted on by the frame
  sInt activePreset;           // the slot the frame loaded for a slot key last, -1 none
  sInt lastLoadResult;         // what the last load returned (0 nothing applied)
  const sChar *lastLoadStop;   // the format error the last load stopped at, null when it read the whole file
  sInt configLoadTime;         // GUI clock of the last slot that could not be loaded, 0 none

  // The default file in every slot, slot 0 chosen.
  GuiConfigSlots();
  // The slot a save writes to: configSaveSlot, or 0 when that names none.
  sInt SaveSlot() const;
  // Chooses configSlot (0 when it names none), selects it alone, makes it the save slot and
  // reads its file into config, the parse under lock (the loader reads the section
  // folders). 0 when the file cannot be read or is no configuration (told on "gui");
  // otherwise 1 with the sections read in sections, and lastLoadStop set when the read
  // stopped at a format error before the end.
  sInt Load(GuiConfig &config, sThreadLock *lock, sU32 &sections);
  // Writes config to the save slot's file, with the display the GUI is drawn on; a
  // failure is told by the writer.
  sBool Save(const GuiConfig &config, sInt menuHead, sRandomLcg &random) const;
  // Removes the temporaries earlier saves of every slot's file may have left.
  void ClearStaleTemps() const;
  // Renames slot 0's damaged file to the first of ".bad", ".bad1" .. ".bad99" that is not
  // taken and tells it; 0 (told too) when none could be used.
  sBool KeepDamagedAside() const;
  // A slot whose file could not be loaded: its name emptied, the failure's time kept for
  // the page's line; it stays the active slot unless no slot holds a name any more.
  void DropFailedPreset(sU32 clock);
  // With no slot holding a name, none is chosen or active (-1).
  void DropUnnamedPreset();
  // The name the CONFIGS page shows as loaded, null when the last load failed or none is chosen.
  const sChar *LoadedName() const;
};

#pragma once
// The GUI's touch elements: buttons, switches and keys (GuiWidget), sliders (GuiSlider)
// and the thumbnail tiles of the list page (GuiTile), and the record of the pages that
// holds them all (GuiPages).
//
// Each element is a small record that owns its quads in the GUI scene's object list and
// edits one setting through a pointer: a press writes the setting directly, so the page
// code never asks which button was pressed. Kinds and orientations are tables (quad size,
// materials, hit rectangle, label position); an element is drawn, recoloured, moved and
// hit-tested in one pass per frame against the frame's GuiTouchState.
//
// A press counts on the press edge only, when nothing is held and at least 201 ms passed
// since the element's last press. A null target, echo, clear or value pointer is skipped.
//
// Elements are made once by the GUI's Init and live with the scene, which deletes their
// quads. Main thread only.

#include "base/math.hpp"
#include "base/types.hpp"
#include "gui/faces.hpp"

class Scene;
class ArrayForm;
class TextForm;

// What the elements read and write of the GUI in one frame.
struct GuiTouchState
{
  sU32 Clock = 0;          // GUI milliseconds, +10 per Tick
  sU32 PageMask = 0;       // the current page mask (0 while the GUI is hidden)
  sF32 PointerX = 0, PointerY = 0;   // GUI units
  sInt PressEdge = 0;      // 1 only in the frame in which the button went down
  sInt ButtonDown = 0;
  sInt HeldWidget = -1;    // the id of the held element, -1 for none
  sInt KeyCase = 0;        // the on-screen keyboard's upper case
  sInt StepCount = 0;      // 10 ms steps of the frame (sliders glide per step)
  Scene *Owner = nullptr;  // where the quads go (null: elements without quads)
  TextForm *Text = nullptr;// where the labels go (null: no labels)
  sInt TilePictureBase = 36;
};

enum : sInt
{
  sGUI_WIDGETS = 298,
  sGUI_SLIDERS = 20,
  sGUI_TILES = 100,
};

// Page mask bits.
enum : sU32
{
  sGUI_PAGE_HEADER = 0x1,
  sGUI_PAGE_LIST = 0x800,
  sGUI_PAGE_KEYBOARD = 0x1000,
  sGUI_PAGE_BROWSER = 0x4000,
  sGUI_PAGE_CHANNEL1 = 0x8000,
  sGUI_PAGE_SCALER = 0x40000,
  sGUI_PAGE_LOADING = 0x80000,
  sGUI_PAGE_DIALOG = 0x100000,
  sGUI_PAGE_LOCKED = 0x200000,
  sGUI_PAGE_TOUCHME = 0x80000000,
};
inline sU32 GuiMainPageMask(sInt page) { return (1u << (page + 1)) + 1; }

enum : sU32
{
  sGUI_DIALOGLAYERS = 0x380000,
  sGUI_ALLPAGES = 0x7fffffff,
};

// The GUI's label table: the text of a label id ("" for an unknown id).
const sChar *GuiLabel(sInt id);

// The scale, at most 1, at which a label printed centred at a key kind's label place keeps
// its ink on the kind's face: a label wider than the face is drawn narrower (at full size it
// would run onto the next key).
sF32 GuiLabelFit(const TextForm &text, sInt kind, const sChar *label);

// The spring of a pressed element: a depth offset that swings for 500 ms and rests at 0.
sF32 PressBounce(sU32 clock, sU32 pressTime);


class GuiWidget
{
public:
  enum : sU32 { SET = 0, TOGGLE = 1, ADD = 2 };

  GuiTouchState *Owner;
  sU32 Kind;               // 0..5
  sU32 LightStyle;         // 0 white, 1 green/red, 2 pulsing amber, 3 pulsing frame only
  sU32 Action;             // SET, TOGGLE, ADD
  sU32 LabelStyle;         // kind 5: 0 one label, 1 by the keyboard case, 2 two labels
  sU32 Zero[2];
  sF32 Position[3];
  sInt LabelId;
  sU32 Value;
  sU32 *Target;
  sU32 *EchoTarget;
  sU32 *ClearTarget;
  sU32 PressTime;
  sU32 PageMask;
  sF32 Fade;
  sU32 Pressed;
  sU32 *Indicator;
  sU32 DialogSafe;
  sU32 InScene;
  sU32 MarkSelected;
  sU32 Greyed;
  sU32 Enabled;
  ArrayForm *FrameForm, *FaceForm, *IndicatorForm;

  void CreateButton(GuiTouchState *owner, sU32 kind, sF32 x, sF32 y, sInt labelId, sU32 value, sU32 *target,
                    sU32 pageMask, sU32 *indicator, sBool inScene);
  void Draw();
  const GuiHitRect &Hit() const;
};

class GuiSlider
{
public:
  GuiTouchState *Owner;
  sU32 Orientation;        // 0 horizontal, 1 long horizontal, 2 vertical, 3 long vertical
  sU32 Zero[2];
  sF32 Position[3];
  sU32 Id;                 // label id 24..43
  sF32 *Value;             // 0..1
  sU32 PressTime;
  sU32 Changed;            // 1: place the knob from the value
  sU32 PageMask;
  sF32 Velocity;
  sU32 Enabled;
  sF32 Knob;               // the knob's centre on the slider's axis
  ArrayForm *TrackForm, *KnobForm;

  void Create(GuiTouchState *owner, sU32 orientation, sF32 x, sF32 y, sU32 id, sF32 *value, sU32 pageMask);
  void Draw();
  sF32 Travel() const;
  const GuiHitRect &Hit() const;
};

class GuiTile
{
public:
  GuiTouchState *Owner;
  sU32 Zero[3];
  sF32 Position[3];
  sF32 Offset[3];
  sU32 Id;
  sU32 Value;              // the tile's list index
  sU32 *SelectTarget;
  sU32 *SecondTarget;
  sU32 *MarkFlag;
  sU32 *ClearTarget;
  sU32 PressTime;
  sU32 PageMask;           // 1 shown with the header layer, 0 hidden
  ArrayForm *FrameForm, *FaceForm, *MarkForm, *PictureForm;

  void Create(GuiTouchState *owner, sF32 x, sF32 y, sU32 id, sU32 value, sU32 *select, sU32 *second, sU32 *mark,
              sU32 pageMask);
  void Draw();
};

// Prints text left-aligned at (x, y), cut to width with "..." at the end (cutEnd) or at
// the start. Any text length is taken; nothing is written past the line buffer.
void PrintClipped(TextForm *text, const sChar *line, sF32 x, sF32 y, sF32 width, sBool cutEnd);

// The pages and their elements: which page shows (the page words), the 298 widgets with
// their homes (the row scroller moves widgets relative to them), the 20 sliders and the 100
// tiles, as Init made them; the first of the on-screen keyboard's scrolled rows and how far
// they stand off their homes. The GUI scene holds one; what an element edits is bound by
// the GUI, which knows the settings.
struct GuiPages
{
  sU32 visible;                // 0 after Init; while 0 nothing of the GUI is drawn or touched
  sU32 pageIndex;              // the main page, 0..9
  sU32 movieSection;           // the INPUT section's list: 0 none, 8 movie files, 9 video-in devices
  sU32 keyboardOpen;
  sU32 channelPageOpen, channelKind, channelPageState;   // the DMX (1) or MIDI (2) page, PAGE 1..3 as 0..2
  sU32 scalerPageOpen, scalerDevice;                     // the scaler page and the output device it edits
  sU32 scalerInvert;           // the scaler page edits the input corners instead of the output ones
  GuiWidget widgets[sGUI_WIDGETS];
  sVec3 widgetHome[sGUI_WIDGETS];
  GuiSlider sliders[sGUI_SLIDERS];
  GuiTile tiles[sGUI_TILES];
  sInt widgetCount;
  sInt scrolledRowsFirst;      // the first of the keyboard's 19 rows of three keys, -1 before Init
  sF32 rowScroll;              // how far those rows and the browser's path line stand off their homes

  // Hidden on page 0 with no overlay page open; no element made yet: every widget, slider
  // and tile empty, every home at the origin.
  GuiPages();
  // The page mask: 0 while hidden, else the keyboard, the browser (browserOpen), a channel
  // page, the scaler page, the touch-effect page (touchMe), the list or the main page, with
  // the layers of the loader's notice, the dialog and the lock.
  sU32 PageMask(sBool browserOpen, sBool touchMe, sBool loading, sBool dialog, sBool locked) const;
  // Moves the on-screen keyboard's 19 rows of three keys to their homes' y + offset and
  // keeps the offset.
  void ScrollRows(sF32 offset);
  // Every slider places its knob from its value again.
  void MarkAllChanged();
  // The LOCK key of every page on or off (off while its dialog is open).
  void EnableLockKey(sBool on);
  // The sliders and the widgets of the object list drawn, recoloured and pressed (the
  // dialog's keys are drawn over everything by the dialog).
  void DrawElements();
  // The tiles shown on the page.
  sInt ShownTileCount() const;
  // The movie or video-in tiles, moved by the list's scroll value (the scene slider's).
  void DrawListTiles();
  // The keys a running AUTO FX program drives take no touch: with effects the effect keys
  // and sliders, with running the distortion page's, with movies the movie list's.
  void LockAutoFxKeys(sBool running, sBool effects, sBool movies);
};

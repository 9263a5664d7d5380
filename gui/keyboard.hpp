#pragma once
// The on-screen keyboard's edit: the character key pressed last, the six editing keys'
// flags, the edited text with its capacity and cursor, what ENTER stores the text into,
// and the characters a real keyboard typed that the next frame inserts. The GUI scene
// holds one; keyboard.cpp edits the text, breaks it into the page's lines and draws them
// with the cursor. Opening and closing the page and storing the text where it was opened
// for stay with the GUI, which knows the settings the text goes to. Main thread only.

#include "base/types.hpp"
#include "gui/configfile.hpp"

struct GuiTouchState;
class TextForm;
class ArrayForm;

// What the on-screen keyboard edits (the directory browser keeps its own purpose).
enum GuiKeyboardPurpose : sInt
{
  KbNone, KbMessage, KbShortMessage, KbChannel, KbScalerNumber
};

struct GuiKeyboard
{
  sInt keyPressed = 0;                 // the character key, 0..47
  sU32 editKeys[6] = {};               // enter, space, delete all, del, left, right
  sChar editText[sGUI_TEXTCHARS] = {};
  sInt editCapacity = sGUI_TEXTCHARS;  // characters the edited text may hold
  sInt keyboardPurpose = KbNone;       // what ENTER stores the text into (GuiKeyboardPurpose)
  sInt keyboardTarget = 0;             // the message slot, channel row or scaler corner
  sChar typedChars[16];                // characters typed on a real keyboard, not yet inserted
  sInt typedCount = 0;
  sInt editCursor = 0;                 // characters of the edited text before the cursor

  // A fresh edit of text (cut to capacity) for purpose and target, the cursor at its end.
  void Open(sInt purpose, sInt target, const sChar *text, sInt capacity);
  // The edit is over (stored or dropped): no purpose, nothing typed, the full capacity.
  void Close();
  // The integer the edited text starts with (a channel, a corner's pixels), read by the
  // text scanner (decimal, 0x hexadecimal, 0b binary, an optional minus); 0 when it starts
  // with none, the largest integer (or its negative) for one past the range.
  sInt Number() const;
  // The edited text's lines as the keyboard page shows them, each at most 800 units wide
  // (measured with text) and broken at its last blank: the starts of up to five lines (a
  // fifth is never shown) and their count.
  sInt Lines(const TextForm *text, sInt starts[5]) const;
  // A full text takes no further characters: four lines with the fourth wider than 780
  // units, or the cursor past the fourth line (and never past the text's buffer).
  sBool TextFull(const TextForm *text) const;
  // A key of a real keyboard (its character c): the on-screen key of the same character
  // with its case, the character queued for the frame, or one of the editing keys.
  void TakeKey(sU32 c, const TextForm *text, sInt &keyCase);
  // The frame's edit: the character key pressed this frame, then what was typed, then the
  // editing keys, each at the cursor.
  void Step(const TextForm *text, const GuiTouchState &touch);
  // The page's lines of text from y 35 down and the cursor's quad; a press on a line puts
  // the cursor after the character under the pointer.
  void Draw(TextForm *text, ArrayForm *cursor, const GuiTouchState &touch, sU32 clockMs);
};

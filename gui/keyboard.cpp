// The on-screen keyboard's edit: typing at the cursor, the editing keys, the lines the
// page breaks the text into and the cursor drawn on them.
#include "gui/keyboard.hpp"

#include "base/numbers.hpp"
#include "gui/widgets.hpp"
#include "show/forms.hpp"
#include "show/textform.hpp"
#include "util/scanner.hpp"

#include <cmath>

void GuiKeyboard::Open(sInt purpose, sInt target, const sChar *text, sInt capacity)
{
  keyboardPurpose = purpose;
  keyboardTarget = target;
  editCapacity = capacity < sGUI_TEXTCHARS ? capacity : sGUI_TEXTCHARS;
  sCopyString(editText, text, editCapacity);
  editCursor = sGetStringLen(editText);
  typedCount = 0;
  for(sU32 &k : editKeys) k = 0;
}

void GuiKeyboard::Close()
{
  keyboardPurpose = KbNone;
  editKeys[0] = 0, typedCount = 0;
  editCapacity = sGUI_TEXTCHARS;
}

sInt GuiKeyboard::Number() const
{
  // the scanner without its operator tokens: blanks skipped, decimal, 0x and 0b numbers
  sScanner scan;
  const sChar *p = editText;
  while(*p == ' ') p++;
  sInt sign = *p == '-' ? -1 : 1;   // a typed minus is kept (the scanner alone drops it): a corner may lie off its display
  scan.StartString(sign < 0 ? p + 1 : editText);
  sInt value = sInt(sU32(scan.ScanInt()) * sU32(sign));
  // a long entry can hold a number past the integer's range: it stays the largest one,
  // where the scanner's wrap would leave any number at all
  const sChar *d = sign < 0 ? p + 1 : p;
  sInt base = 10;
  if(d[0] == '0' && (d[1] == 'x' || d[1] == 'X')) base = 16, d += 2;
  else if(d[0] == '0' && (d[1] == 'b' || d[1] == 'B')) base = 2, d += 2;
  sF64 magnitude = 0;
  for(;; d++)
  {
    sInt c = *d, l = c | 0x20, k = c >= '0' && c <= '9' ? c - '0' : (l >= 'a' && l <= 'f' ? l - 'a' + 10 : 99);
    if(k >= base) break;
    magnitude = magnitude * base + k;
  }
  if(magnitude > 2147483647.0) return sign < 0 ? -2147483647 : 2147483647;
  return value;
}

sInt GuiKeyboard::Lines(const TextForm *text, sInt starts[5]) const
{
  for(sInt l = 0; l < 5; l++) starts[l] = 0;
  sInt lines = 1;
  if(!text) return lines;
  sInt len = sGetStringLen(editText);
  sChar line[sGUI_TEXTCHARS];
  for(sInt i = 0, lineStart = 0, lastBlank = -1; i < len && lines <= 4; i++)
  {
    sInt n = i + 1 - lineStart;
    sCopyString(line, editText + lineStart, n + 1);
    if(editText[i] == ' ') lastBlank = i;
    if(text->MeasureText(line) > 800.0f && n > 1)
    {
      lineStart = lastBlank > lineStart ? lastBlank + 1 : i;
      lastBlank = -1;
      starts[lines++] = lineStart;
    }
  }
  return lines;
}

sBool GuiKeyboard::TextFull(const TextForm *text) const
{
  sInt len = sGetStringLen(editText);
  sInt cap = editCapacity < sGUI_TEXTCHARS ? editCapacity : sGUI_TEXTCHARS;
  if(len >= cap - 1) return 1;   // nor past its buffer, however short its lines
  sInt starts[5];
  sInt lines = Lines(text, starts);
  if(lines > 4 && editCursor > starts[4]) return 1;
  if(lines < 4) return 0;
  sChar fourth[sGUI_TEXTCHARS];
  sCopyString(fourth, editText + starts[3], (lines > 4 ? starts[4] : len) - starts[3] + 1);
  return text->MeasureText(fourth) > 780.0f;
}

void GuiKeyboard::TakeKey(sU32 c, const TextForm *text, sInt &keyCase)
{
  sBool full = TextFull(text);
  for(sInt i = 0; i < 96 && !full; i++)
    if(GuiLabel(420 + i)[0] == c)
    {
      keyPressed = i / 2;
      keyCase = i % 2;
      // a key of a real keyboard types its character as the on-screen key does
      if(typedCount < sInt(sizeof(typedChars) / sizeof(typedChars[0]))) typedChars[typedCount++] = sChar(c);
      break;
    }
  switch(c)
  {
  case 10: editKeys[0] = 1; break;
  case 32: editKeys[1] = 1; break;
  case 0xE009: editKeys[2] = 1; break;
  case 8: editKeys[3] = 1; break;
  case 0xE002: editKeys[4] = 1; break;
  case 0xE003: editKeys[5] = 1; break;
  default: break;
  }
}

void GuiKeyboard::Step(const TextForm *text, const GuiTouchState &touch)
{
  sInt len = sGetStringLen(editText);
  editCursor = editCursor < 0 ? 0 : (editCursor > len ? len : editCursor);
  auto insert = [&](sChar c) {
    if(TextFull(text)) return;
    if(c > 255) return;          // a configuration holds one byte per character
    for(sInt i = len; i >= editCursor; i--) editText[i + 1] = editText[i];
    editText[editCursor++] = c;
    len++;
  };
  // a character key pressed this frame, then what was typed on a real keyboard
  if(touch.PressEdge && touch.HeldWidget >= 420 && touch.HeldWidget < 516 && keyPressed >= 0 && keyPressed < 48)
    insert(GuiLabel(420 + 2 * keyPressed + (touch.KeyCase ? 1 : 0))[0]);
  for(sInt i = 0; i < typedCount; i++) insert(typedChars[i]);
  typedCount = 0;
  if(editKeys[1]) insert(' ');
  if(editKeys[2]) editText[0] = 0, editCursor = 0, len = 0;   // delete all
  if(editKeys[3] && editCursor > 0)                          // del: the character before the cursor
  {
    for(sInt i = editCursor - 1; editText[i]; i++) editText[i] = editText[i + 1];
    editCursor--;
  }
  if(editKeys[4] && editCursor > 0) editCursor--;
  if(editKeys[5] && editText[editCursor]) editCursor++;
  for(sInt i = 1; i < 6; i++) editKeys[i] = 0;
}

void GuiKeyboard::Draw(TextForm *text, ArrayForm *cursor, const GuiTouchState &touch, sU32 clockMs)
{
  // up to four lines of at most 800 units, each broken at its last blank
  sInt starts[5];
  sInt lines = Lines(text, starts);
  sInt len = sGetStringLen(editText);
  sChar line[sGUI_TEXTCHARS];
  if(lines > 4) lines = 4;
  starts[lines] = len;
  sInt cursorLine = 0;
  for(sInt l = 0; l < lines; l++)
  {
    sInt end = l + 1 < lines ? starts[l + 1] : len;
    sCopyString(line, editText + starts[l], end - starts[l] + 1);
    sF32 y = 35 - 19.0f * sF32(l);
    text->PrintLeft(line, -400, y);
    // a press on the line puts the cursor after the character under the pointer
    sF32 px = touch.PointerX, py = touch.PointerY;
    if(touch.PressEdge && px >= -420 && px < 420 && py >= y - 6 && py < y + 13)
    {
      sInt c = starts[l];
      sChar part[sGUI_TEXTCHARS];
      while(c < end)
      {
        sCopyString(part, editText + starts[l], c - starts[l] + 2);   // the line up to and with character c
        c++;
        if(text->MeasureText(part) - 400.0f > px) break;
      }
      editCursor = c;
    }
    if(editCursor >= starts[l]) cursorLine = l;
  }
  sCopyString(line, editText + starts[cursorLine], editCursor - starts[cursorLine] + 1);
  if(cursor)
  {
    cursor->Matrix.Identity();
    cursor->Matrix.l = sVec3(text->MeasureText(line) - 400.0f, 33.0f - 19.0f * sF32(cursorLine) + 8.0f, 0);
    sF32 t = sF32(clockMs);
    cursor->Colour = sBlendColor(0xFF000000, 0xFFFF3030, (std::sin(0.015f * t) + 1.0f) * 0.5f);
  }
}

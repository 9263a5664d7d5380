#include "platform/window/keys.hpp"

#include <SDL.h>

#include <cstring>

namespace plat
{

namespace
{

struct SpecialKey
{
  int Scancode;
  uint32_t Code;
};

const SpecialKey SpecialKeys[] = {
  {SDL_SCANCODE_RETURN, KEY_ENTER},
  {SDL_SCANCODE_RETURN2, KEY_ENTER},
  {SDL_SCANCODE_KP_ENTER, KEY_ENTER},
  {SDL_SCANCODE_BACKSPACE, KEY_BACKSPACE},
  {SDL_SCANCODE_UP, KEY_UP},
  {SDL_SCANCODE_DOWN, KEY_DOWN},
  {SDL_SCANCODE_LEFT, KEY_LEFT},
  {SDL_SCANCODE_RIGHT, KEY_RIGHT},
  {SDL_SCANCODE_PAGEUP, KEY_PAGEUP},
  {SDL_SCANCODE_PAGEDOWN, KEY_PAGEDOWN},
  {SDL_SCANCODE_HOME, KEY_HOME},
  {SDL_SCANCODE_END, KEY_END},
  {SDL_SCANCODE_INSERT, KEY_INSERT},
  {SDL_SCANCODE_DELETE, KEY_DELETE},
  {SDL_SCANCODE_PAUSE, KEY_PAUSE},
  {SDL_SCANCODE_SCROLLLOCK, KEY_SCROLLLOCK},
  {SDL_SCANCODE_NUMLOCKCLEAR, KEY_NUMLOCK},
  {SDL_SCANCODE_PRINTSCREEN, KEY_PRINTSCREEN},
  {SDL_SCANCODE_LGUI, KEY_WIN_LEFT},
  {SDL_SCANCODE_RGUI, KEY_WIN_RIGHT},
  {SDL_SCANCODE_APPLICATION, KEY_MENU},
  {SDL_SCANCODE_LSHIFT, KEY_SHIFT},
  {SDL_SCANCODE_RSHIFT, KEY_SHIFT},
  {SDL_SCANCODE_LCTRL, KEY_CONTROL},
  {SDL_SCANCODE_RCTRL, KEY_CONTROL},
  {SDL_SCANCODE_CAPSLOCK, KEY_CAPSLOCK},
  // the numeric keypad types characters; its decimal key types a comma
  {SDL_SCANCODE_KP_0, '0'},
  {SDL_SCANCODE_KP_1, '1'},
  {SDL_SCANCODE_KP_2, '2'},
  {SDL_SCANCODE_KP_3, '3'},
  {SDL_SCANCODE_KP_4, '4'},
  {SDL_SCANCODE_KP_5, '5'},
  {SDL_SCANCODE_KP_6, '6'},
  {SDL_SCANCODE_KP_7, '7'},
  {SDL_SCANCODE_KP_8, '8'},
  {SDL_SCANCODE_KP_9, '9'},
  {SDL_SCANCODE_KP_MULTIPLY, '*'},
  {SDL_SCANCODE_KP_PLUS, '+'},
  {SDL_SCANCODE_KP_MINUS, '-'},
  {SDL_SCANCODE_KP_DIVIDE, '/'},
  {SDL_SCANCODE_KP_PERIOD, ','},
};

// Shifted characters of the keys whose unshifted character a US layout types; used only
// where the layout types that same character on that key.
struct ShiftPair
{
  int Scancode;
  char Plain;
  char Shifted;
};

const ShiftPair UsShiftPairs[] = {
  {SDL_SCANCODE_1, '1', '!'},
  {SDL_SCANCODE_2, '2', '@'},
  {SDL_SCANCODE_3, '3', '#'},
  {SDL_SCANCODE_4, '4', '$'},
  {SDL_SCANCODE_5, '5', '%'},
  {SDL_SCANCODE_6, '6', '^'},
  {SDL_SCANCODE_7, '7', '&'},
  {SDL_SCANCODE_8, '8', '*'},
  {SDL_SCANCODE_9, '9', '('},
  {SDL_SCANCODE_0, '0', ')'},
  {SDL_SCANCODE_MINUS, '-', '_'},
  {SDL_SCANCODE_EQUALS, '=', '+'},
  {SDL_SCANCODE_LEFTBRACKET, '[', '{'},
  {SDL_SCANCODE_RIGHTBRACKET, ']', '}'},
  {SDL_SCANCODE_BACKSLASH, '\\', '|'},
  {SDL_SCANCODE_SEMICOLON, ';', ':'},
  {SDL_SCANCODE_APOSTROPHE, '\'', '"'},
  {SDL_SCANCODE_GRAVE, '`', '~'},
  {SDL_SCANCODE_COMMA, ',', '<'},
  {SDL_SCANCODE_PERIOD, '.', '>'},
  {SDL_SCANCODE_SLASH, '/', '?'},
};

int32_t SdlLookup(int scancode)
{
  return SDL_GetKeyFromScancode(SDL_Scancode(scancode));
}

// Characters the key table takes: the control characters that have a key of their own
// (backspace, tab, return, escape), printable Latin-1 up to 0xfe, Cyrillic and the euro sign.
bool IsTableCharacter(int32_t c)
{
  if(c == 0x08 || c == 0x09 || c == 0x0d || c == 0x1b) return true;
  if(c >= 0x20 && c < 0x7f) return true;
  if(c >= 0xa0 && c < 0xff) return true;
  if(c >= 0x400 && c < 0x500) return true;
  return c == 0x20ac;
}

// Upper-case form of a lower-case letter of the table's ranges, or 0.
uint32_t UpperCase(uint32_t c)
{
  if(c >= 'a' && c <= 'z') return c - 0x20;
  if(c >= 0xe0 && c <= 0xfe && c != 0xf7) return c - 0x20;
  if(c >= 0x430 && c <= 0x44f) return c - 0x20;
  if(c >= 0x450 && c <= 0x45f) return c - 0x50;
  // the further Cyrillic letters come in pairs, upper case first
  if(((c >= 0x460 && c <= 0x481) || (c >= 0x48a && c <= 0x4bf) || (c >= 0x4d0 && c <= 0x4ff)) && (c & 1))
    return c - 1;
  if(c >= 0x4c1 && c <= 0x4ce && !(c & 1)) return c - 1;
  if(c == 0x4cf) return 0x4c0;
  return 0;
}

struct NamedCode
{
  uint32_t Code;
  const char16_t *Name;
};

const NamedCode CodeNames[] = {
  {KEY_BACKSPACE, u"Backspace"},
  {0x09, u"Tab"},
  {KEY_ENTER, u"Enter"},
  {0x1b, u"Escape"},
  {0x20, u"Space"},
  {KEY_UP, u"Up"},
  {KEY_DOWN, u"Down"},
  {KEY_LEFT, u"Left"},
  {KEY_RIGHT, u"Right"},
  {KEY_PAGEUP, u"PageUp"},
  {KEY_PAGEDOWN, u"PageDown"},
  {KEY_HOME, u"Home"},
  {KEY_END, u"End"},
  {KEY_INSERT, u"Insert"},
  {KEY_DELETE, u"Delete"},
  {KEY_PAUSE, u"Pause"},
  {KEY_SCROLLLOCK, u"ScrollLock"},
  {KEY_NUMLOCK, u"NumLock"},
  {KEY_PRINTSCREEN, u"PrintScreen"},
  {KEY_WIN_LEFT, u"LeftWin"},
  {KEY_WIN_RIGHT, u"RightWin"},
  {KEY_MENU, u"Menu"},
  {KEY_SHIFT, u"Shift"},
  {KEY_CONTROL, u"Control"},
  {KEY_CAPSLOCK, u"CapsLock"},
  {KEY_MOUSE_LEFT, u"LeftButton"},
  {KEY_MOUSE_RIGHT, u"RightButton"},
  {KEY_MOUSE_MIDDLE, u"MiddleButton"},
  {KEY_MOUSE_EXTRA1, u"ExtraButton1"},
  {KEY_MOUSE_EXTRA2, u"ExtraButton2"},
  {KEY_MOUSE_MOVE, u"MouseMove"},
  {KEY_MOUSE_WHEELUP, u"WheelUp"},
  {KEY_MOUSE_WHEELDOWN, u"WheelDown"},
  {KEY_MOUSE_RAW, u"MouseRaw"},
};

struct NamedQualifier
{
  uint32_t Bit;
  const char16_t *Name;
};

const NamedQualifier QualifierNames[] = {
  {KEYQ_SHIFT_LEFT, u"LShift+"},
  {KEYQ_SHIFT_RIGHT, u"RShift+"},
  {KEYQ_CAPSLOCK, u"Caps+"},
  {KEYQ_CTRL_LEFT, u"LCtrl+"},
  {KEYQ_CTRL_RIGHT, u"RCtrl+"},
  {KEYQ_ALT_LEFT, u"LAlt+"},
  {KEYQ_ALT_RIGHT, u"AltGr+"},
};

void AppendHex(std::u16string &out, uint32_t value, int digits)
{
  static const char16_t hex[] = u"0123456789ABCDEF";
  out += u"0x";
  for(int i = digits - 1; i >= 0; i--)
    out += hex[(value >> (4 * i)) & 15];
}

}

namespace
{
void EnterSpecialKeys(KeyTable &table)
{
  for(const SpecialKey &s : SpecialKeys)
    for(int plane = 0; plane < 3; plane++)
      table.Planes[plane][s.Scancode] = s.Code;
  for(int i = 0; i < 12; i++)
    for(int plane = 0; plane < 3; plane++)
      table.Planes[plane][SDL_SCANCODE_F1 + i] = KEY_F1 + uint32_t(i);
}
}

void BuildKeyTable(KeyTable &table, const KeyboardLayout &layout)
{
  std::memset(&table, 0, sizeof(table));
  for(int sc = 0; sc < KEY_SCANCODES; sc++)
    for(int plane = 0; plane < 3; plane++)
    {
      int32_t c = layout.Keys[sc].Chars[plane];
      if(IsTableCharacter(c))
        table.Planes[plane][sc] = uint32_t(c);
    }
  // special keys in all planes, over whatever the layout gave
  EnterSpecialKeys(table);
}

void BuildKeyTable(KeyTable &table, KeyLookup lookup)
{
  if(!lookup)
    lookup = SdlLookup;
  std::memset(&table, 0, sizeof(table));

  // characters of the layout, unshifted and shifted
  for(int sc = 0; sc < KEY_SCANCODES; sc++)
  {
    int32_t key = lookup(sc);
    if(key & SDLK_SCANCODE_MASK) continue;
    if(!IsTableCharacter(key)) continue;
    table.Planes[0][sc] = uint32_t(key);
    if(uint32_t upper = UpperCase(uint32_t(key)))
      table.Planes[1][sc] = upper;
  }
  for(const ShiftPair &p : UsShiftPairs)
    if(table.Planes[0][p.Scancode] == uint32_t(uint8_t(p.Plain)))
      table.Planes[1][p.Scancode] = uint8_t(p.Shifted);

  // special keys in all planes, over whatever the layout gave
  EnterSpecialKeys(table);
}

uint32_t KeyQualifiers(uint16_t modifiers)
{
  uint32_t q = 0;
  if(modifiers & KMOD_LSHIFT) q |= KEYQ_SHIFT_LEFT;
  // no extended-key flag here: the right shift takes the extended shift's bit, as the right control and alt do
  if(modifiers & KMOD_RSHIFT) q |= KEYQ_SHIFT_RIGHT;
  if(modifiers & KMOD_CAPS) q |= KEYQ_CAPSLOCK;
  if(modifiers & KMOD_LCTRL) q |= KEYQ_CTRL_LEFT;
  if(modifiers & KMOD_RCTRL) q |= KEYQ_CTRL_RIGHT;
  if(modifiers & KMOD_LALT) q |= KEYQ_ALT_LEFT;
  if(modifiers & (KMOD_RALT | KMOD_MODE)) q |= KEYQ_ALT_RIGHT;
  return q;
}

KeyTranslation TranslateKey(const KeyTable &table, const KeyEvent &event)
{
  KeyTranslation out;
  out.Qualifiers = KeyQualifiers(event.Modifiers);
  int plane = (out.Qualifiers & (KEYQ_SHIFT_LEFT | KEYQ_SHIFT_RIGHT | KEYQ_CAPSLOCK)) ? 1 : 0;
  if(out.Qualifiers & KEYQ_ALT_RIGHT)
  {
    // AltGr comes with a left control on some systems: it is not a control key here
    plane = 2;
    out.Qualifiers &= ~uint32_t(KEYQ_CTRL_LEFT);
  }
  if(event.Scancode < 0 || event.Scancode >= KEY_SCANCODES)
    return out;
  // keys beyond the state array (media keys) keep no state rather than failing the index check
  if(event.Scancode < KEY_STATES)
    out.StateIndex = event.Scancode;

  uint32_t code = table.Planes[plane][event.Scancode];
  if(!code)
    code = table.Planes[0][event.Scancode];
  if(!code)
    return out;
  code |= out.Qualifiers;
  if(!event.Down)
    code |= KEY_RELEASE;
  else if(event.Repeat)
    code |= KEY_REPEAT;
  out.Code = code;
  return out;
}

int MouseButtonFromSdl(int sdlButton)
{
  switch(sdlButton)
  {
  case SDL_BUTTON_LEFT: return MOUSE_LEFT;
  case SDL_BUTTON_RIGHT: return MOUSE_RIGHT;
  case SDL_BUTTON_MIDDLE: return MOUSE_MIDDLE;
  case SDL_BUTTON_X1: return MOUSE_EXTRA1;
  case SDL_BUTTON_X2: return MOUSE_EXTRA2;
  default: return -1;
  }
}

uint32_t MouseButtonCode(int button)
{
  if(button < 0 || button >= MOUSE_BUTTONS) return 0;
  return KEY_MOUSE_LEFT + uint32_t(button);
}

uint32_t MouseButtonBit(int button)
{
  if(button < 0 || button >= MOUSE_BUTTONS) return 0;
  return 1u << button;
}

uint64_t PackPointerPayload(int32_t x, int32_t y)
{
  int32_t high = int32_t(uint32_t(x) << 16);
  return uint64_t(int64_t(high)) | uint64_t(int64_t(y));
}

uint64_t PackRawMotionPayload(int32_t dx, int32_t dy)
{
  return (uint64_t(uint16_t(dx)) << 16) | uint64_t(uint16_t(dy));
}

int WheelNotches(int32_t &remainder, int32_t delta)
{
  // saturate rather than overflow on absurd deltas
  int64_t r = int64_t(remainder) + delta;
  int notches = 0;
  if(r >= WHEEL_NOTCH)
  {
    int64_t n = r / WHEEL_NOTCH;
    notches += int(n);
    r -= n * WHEEL_NOTCH;
  }
  if(r < -(WHEEL_NOTCH - 1))
  {
    int64_t n = (-r) / WHEEL_NOTCH;   // r <= -120, so n >= 1
    notches -= int(n);
    r += n * WHEEL_NOTCH;
  }
  remainder = int32_t(r);
  return notches;
}

std::u16string KeyName(uint32_t code)
{
  std::u16string out;
  for(const NamedQualifier &q : QualifierNames)
    if(code & q.Bit)
      out += q.Name;
  uint32_t key = code & 0xffff;
  bool mouse = key >= 0xe100 && key < 0xe200;
  const char16_t *name = nullptr;
  for(const NamedCode &n : CodeNames)
    if(n.Code == key)
      name = n.Name;
  if(name)
    out += name;
  else if(key >= KEY_F1 && key <= KEY_F12)
  {
    out += u'F';
    uint32_t n = key - KEY_F1 + 1;
    if(n >= 10) out += char16_t(u'0' + n / 10);
    out += char16_t(u'0' + n % 10);
  }
  else if(IsTableCharacter(int32_t(key)) && key >= 0x20)
    out += char16_t(key);
  else
    AppendHex(out, key, 4);
  if(code & KEY_RELEASE)
    out += u" up";
  else if(code & KEY_REPEAT)
    out += mouse ? u" doubleclick" : u" repeat";
  return out;
}

}

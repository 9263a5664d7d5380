#pragma once
// Key and mouse codes of the framework's input events, and their translation from the
// platform's key events (SDL scancode, keycode and modifier state).
//
// A key event's code is the key's character or special code, OR the qualifier bits, OR
// KEY_REPEAT for an auto-repeated press, OR KEY_RELEASE for a release.

#include <cstdint>
#include <string>

namespace plat
{

// Qualifier bits.
constexpr uint32_t KEYQ_SHIFT_LEFT = 0x10000;
constexpr uint32_t KEYQ_SHIFT_RIGHT = 0x20000;
constexpr uint32_t KEYQ_CAPSLOCK = 0x40000;   // caps lock toggled on
constexpr uint32_t KEYQ_CTRL_LEFT = 0x80000;
constexpr uint32_t KEYQ_CTRL_RIGHT = 0x100000;
constexpr uint32_t KEYQ_ALT_LEFT = 0x200000;
constexpr uint32_t KEYQ_ALT_RIGHT = 0x400000;  // right alt, AltGr
constexpr uint32_t KEYQ_MASK = 0x7f0000;
constexpr uint32_t KEY_REPEAT = 0x40000000;
constexpr uint32_t KEY_RELEASE = 0x80000000;

// Special key codes (the same in every plane of the key table).
constexpr uint32_t KEY_BACKSPACE = 0x08;
constexpr uint32_t KEY_ENTER = 0x0a;
constexpr uint32_t KEY_UP = 0xe000;
constexpr uint32_t KEY_DOWN = 0xe001;
constexpr uint32_t KEY_LEFT = 0xe002;
constexpr uint32_t KEY_RIGHT = 0xe003;
constexpr uint32_t KEY_PAGEUP = 0xe004;
constexpr uint32_t KEY_PAGEDOWN = 0xe005;
constexpr uint32_t KEY_HOME = 0xe006;
constexpr uint32_t KEY_END = 0xe007;
constexpr uint32_t KEY_INSERT = 0xe008;
constexpr uint32_t KEY_DELETE = 0xe009;
constexpr uint32_t KEY_PAUSE = 0xe010;
constexpr uint32_t KEY_SCROLLLOCK = 0xe011;
constexpr uint32_t KEY_NUMLOCK = 0xe012;
constexpr uint32_t KEY_PRINTSCREEN = 0xe013;
constexpr uint32_t KEY_WIN_LEFT = 0xe014;
constexpr uint32_t KEY_WIN_RIGHT = 0xe015;
constexpr uint32_t KEY_MENU = 0xe016;
constexpr uint32_t KEY_SHIFT = 0xe017;
constexpr uint32_t KEY_CONTROL = 0xe018;
constexpr uint32_t KEY_CAPSLOCK = 0xe019;
constexpr uint32_t KEY_F1 = 0xe020;   // F1 .. F12 are KEY_F1 + 0 .. 11
constexpr uint32_t KEY_F12 = 0xe02b;

// Mouse event codes. A button's code OR KEY_RELEASE is its release, OR KEY_DOUBLECLICK its
// double click.
constexpr uint32_t KEY_MOUSE_LEFT = 0xe100;
constexpr uint32_t KEY_MOUSE_RIGHT = 0xe101;
constexpr uint32_t KEY_MOUSE_MIDDLE = 0xe102;
constexpr uint32_t KEY_MOUSE_EXTRA1 = 0xe103;
constexpr uint32_t KEY_MOUSE_EXTRA2 = 0xe104;
constexpr uint32_t KEY_MOUSE_MOVE = 0xe180;
constexpr uint32_t KEY_MOUSE_WHEELUP = 0xe181;
constexpr uint32_t KEY_MOUSE_WHEELDOWN = 0xe182;
constexpr uint32_t KEY_MOUSE_RAW = 0xe185;
constexpr uint32_t KEY_DOUBLECLICK = 0x40000000;

// Mouse buttons in the framework's order: left, right, middle, first and second extra.
constexpr int MOUSE_LEFT = 0;
constexpr int MOUSE_RIGHT = 1;
constexpr int MOUSE_MIDDLE = 2;
constexpr int MOUSE_EXTRA1 = 3;
constexpr int MOUSE_EXTRA2 = 4;
constexpr int MOUSE_BUTTONS = 5;

// One wheel notch in wheel-delta units.
constexpr int32_t WHEEL_NOTCH = 120;

// Size of the scancode range the key table covers, and of the framework's key-state array.
constexpr int KEY_SCANCODES = 512;
constexpr int KEY_STATES = 256;

// A platform key event.
struct KeyEvent
{
  int Scancode = 0;        // SDL scancode
  int32_t Keycode = 0;     // SDL keycode (layout dependent)
  uint16_t Modifiers = 0;  // SDL modifier state with this event applied
  bool Down = false;       // press (true) or release
  bool Repeat = false;     // auto-repeated press
};

// Three planes of codes indexed by scancode: 0 without qualifiers, 1 with shift or caps lock,
// 2 with AltGr. 0 means "no code in this plane".
struct KeyTable
{
  uint32_t Planes[3][KEY_SCANCODES];
};

// The characters the keys of a keyboard layout type, by scancode: Chars[0] without
// qualifiers, [1] with shift, [2] with AltGr; 0 where that level types nothing.
struct KeyboardLayout
{
  struct Key
  {
    int32_t Chars[3];
  };
  Key Keys[KEY_SCANCODES];
};

// Reads the layout of the X display's keyboard (its current group). False and the reason
// when there is no X display or it describes no keyboard.
bool ReadDisplayLayout(KeyboardLayout &layout, std::u16string &error);

// Fills the three planes from a layout: the characters of the table's ranges (0x00..0xfe,
// 0x400..0x4ff and the euro sign) in the plane of the level that types them, and the
// special keys in all planes.
void BuildKeyTable(KeyTable &table, const KeyboardLayout &layout);

// The keycode that a scancode gives in the current keyboard layout. Null means SDL's own
// mapping (the layout of the display once video is started, a US layout before).
using KeyLookup = int32_t (*)(int scancode);

// Fills the three planes where the layout's levels cannot be read: the plain characters SDL
// knows, their upper case and a US keyboard's shifted forms; nothing with AltGr.
void BuildKeyTable(KeyTable &table, KeyLookup lookup = nullptr);

// Qualifier bits of an SDL modifier state (both SDL's right alt and its mode key count as
// AltGr).
uint32_t KeyQualifiers(uint16_t modifiers);

struct KeyTranslation
{
  uint32_t Code = 0;        // the event code with qualifiers, repeat and release bits; 0 = none
  uint32_t Qualifiers = 0;  // the qualifier word to keep after this event
  int StateIndex = -1;      // index into the key-state array, -1 when the key has none
};

// Translates a key event: qualifiers from the modifier state; plane 1 with shift or caps lock,
// plane 2 with AltGr (whose accompanying left control is then dropped from the qualifiers);
// the plane's code, else plane 0's. A key without code (the alt keys, unknown keys) gives
// Code 0 but still its qualifiers and state index.
KeyTranslation TranslateKey(const KeyTable &table, const KeyEvent &event);

// Mouse buttons: the framework's button (MOUSE_LEFT..) of an SDL button number, or -1.
int MouseButtonFromSdl(int sdlButton);
// The press code of a button (KEY_MOUSE_LEFT..), 0 for an invalid button.
uint32_t MouseButtonCode(int button);
// The button's bit in the button mask: 1, 2, 4, 8, 16; 0 for an invalid button.
uint32_t MouseButtonBit(int button);

// Payload of the pointer-move event: (x << 16) computed in 32 bits and widened with sign,
// OR y widened with sign.
uint64_t PackPointerPayload(int32_t x, int32_t y);
// Payload of raw mouse motion: (dx as 16 bits) << 16 OR (dy as 16 bits).
uint64_t PackRawMotionPayload(int32_t dx, int32_t dy);

// Adds a wheel delta to the remainder and takes whole notches out of it: while the remainder
// is at least 120 one notch up, while it is below -119 one notch down. Returns the notches
// (positive up, negative down).
int WheelNotches(int32_t &remainder, int32_t delta);

// Readable name of an event code: qualifiers as prefixes ("LShift+", "AltGr+" ...), then the
// key ("F1", "Enter", "Space", "LeftButton", the character itself ...), then " repeat",
// " up" or " doubleclick". Unknown codes are written as hex ("0xE0FF").
std::u16string KeyName(uint32_t code);

}

// The keyboard layout of the X display: the characters each key types without qualifiers,
// with shift and with AltGr, read from the display's keyboard description.
#include "platform/window/keys.hpp"

#include <SDL.h>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <xkbcommon/xkbcommon.h>

#include <cstring>

namespace plat
{

namespace
{

// The keys that type characters, by their physical names in the keyboard description (the
// same whatever the layout), with the scancode SDL gives the key in that place.
struct NamedKey
{
  char Name[5];
  int Scancode;
};

const NamedKey NamedKeys[] = {
  {"TLDE", SDL_SCANCODE_GRAVE},        {"AE01", SDL_SCANCODE_1},           {"AE02", SDL_SCANCODE_2},
  {"AE03", SDL_SCANCODE_3},            {"AE04", SDL_SCANCODE_4},           {"AE05", SDL_SCANCODE_5},
  {"AE06", SDL_SCANCODE_6},            {"AE07", SDL_SCANCODE_7},           {"AE08", SDL_SCANCODE_8},
  {"AE09", SDL_SCANCODE_9},            {"AE10", SDL_SCANCODE_0},           {"AE11", SDL_SCANCODE_MINUS},
  {"AE12", SDL_SCANCODE_EQUALS},       {"BKSP", SDL_SCANCODE_BACKSPACE},   {"TAB", SDL_SCANCODE_TAB},
  {"AD01", SDL_SCANCODE_Q},            {"AD02", SDL_SCANCODE_W},           {"AD03", SDL_SCANCODE_E},
  {"AD04", SDL_SCANCODE_R},            {"AD05", SDL_SCANCODE_T},           {"AD06", SDL_SCANCODE_Y},
  {"AD07", SDL_SCANCODE_U},            {"AD08", SDL_SCANCODE_I},           {"AD09", SDL_SCANCODE_O},
  {"AD10", SDL_SCANCODE_P},            {"AD11", SDL_SCANCODE_LEFTBRACKET}, {"AD12", SDL_SCANCODE_RIGHTBRACKET},
  {"RTRN", SDL_SCANCODE_RETURN},       {"AC01", SDL_SCANCODE_A},           {"AC02", SDL_SCANCODE_S},
  {"AC03", SDL_SCANCODE_D},            {"AC04", SDL_SCANCODE_F},           {"AC05", SDL_SCANCODE_G},
  {"AC06", SDL_SCANCODE_H},            {"AC07", SDL_SCANCODE_J},           {"AC08", SDL_SCANCODE_K},
  {"AC09", SDL_SCANCODE_L},            {"AC10", SDL_SCANCODE_SEMICOLON},   {"AC11", SDL_SCANCODE_APOSTROPHE},
  {"BKSL", SDL_SCANCODE_BACKSLASH},    {"AC12", SDL_SCANCODE_BACKSLASH},   {"LSGT", SDL_SCANCODE_NONUSBACKSLASH},
  {"AB01", SDL_SCANCODE_Z},            {"AB02", SDL_SCANCODE_X},           {"AB03", SDL_SCANCODE_C},
  {"AB04", SDL_SCANCODE_V},            {"AB05", SDL_SCANCODE_B},           {"AB06", SDL_SCANCODE_N},
  {"AB07", SDL_SCANCODE_M},            {"AB08", SDL_SCANCODE_COMMA},       {"AB09", SDL_SCANCODE_PERIOD},
  {"AB10", SDL_SCANCODE_SLASH},        {"SPCE", SDL_SCANCODE_SPACE},       {"ESC", SDL_SCANCODE_ESCAPE},
};

int ScancodeOfKeyName(const char *name)
{
  char n[5] = {};
  std::memcpy(n, name, XkbKeyNameLength);
  for(const NamedKey &k : NamedKeys)
    if(std::strcmp(k.Name, n) == 0)
      return k.Scancode;
  return -1;
}

// The character of a keysym; a dead key types its accent as it stands alone.
int32_t KeysymCharacter(KeySym ks)
{
  switch(ks)
  {
  case XK_dead_grave: return 0x60;
  case XK_dead_acute: return 0xb4;
  case XK_dead_circumflex: return 0x5e;
  case XK_dead_tilde: return 0x7e;
  case XK_dead_macron: return 0xaf;
  case XK_dead_diaeresis: return 0xa8;
  case XK_dead_cedilla: return 0xb8;
  case XK_ISO_Left_Tab: return 0x09;
  default: return int32_t(xkb_keysym_to_utf32(uint32_t(ks)));
  }
}

// The real modifiers of the key that types AltGr (the third level); Mod5 when none does.
unsigned AltGrModifiers(Display *display, XkbDescPtr xkb)
{
  for(int kc = xkb->min_key_code; kc <= xkb->max_key_code; kc++)
    if(XkbKeycodeToKeysym(display, KeyCode(kc), 0, 0) == XK_ISO_Level3_Shift && xkb->map->modmap[kc])
      return xkb->map->modmap[kc];
  return Mod5Mask;
}

}

bool ReadDisplayLayout(KeyboardLayout &layout, std::u16string &error)
{
  std::memset(&layout, 0, sizeof(layout));
  int opcode = 0, event = 0, xkbError = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
  Display *display = XkbOpenDisplay(nullptr, &event, &xkbError, &major, &minor, &opcode);
  if(!display)
  {
    error = u"no X display with a keyboard description";
    return false;
  }
  XkbDescPtr xkb = XkbGetMap(display, XkbAllClientInfoMask, XkbUseCoreKbd);
  if(!xkb || XkbGetNames(display, XkbKeyNamesMask, xkb) != Success || !xkb->names || !xkb->names->keys)
  {
    if(xkb)
      XkbFreeKeyboard(xkb, 0, True);
    XCloseDisplay(display);
    error = u"the X display describes no keyboard";
    return false;
  }
  XkbStateRec state = {};
  XkbGetState(display, XkbUseCoreKbd, &state);
  const unsigned levels[3] = {0, ShiftMask, AltGrModifiers(display, xkb)};
  bool any = false;
  for(int kc = xkb->min_key_code; kc <= xkb->max_key_code; kc++)
  {
    int sc = ScancodeOfKeyName(xkb->names->keys[kc].name);
    if(sc < 0)
      continue;
    for(int level = 0; level < 3; level++)
    {
      unsigned used = 0;
      KeySym ks = NoSymbol;
      if(XkbTranslateKeyCode(xkb, KeyCode(kc), XkbBuildCoreState(levels[level], state.group), &used, &ks) && ks != NoSymbol)
        layout.Keys[sc].Chars[level] = KeysymCharacter(ks);
    }
    any = true;
  }
  XkbFreeKeyboard(xkb, 0, True);
  XCloseDisplay(display);
  if(!any)
    error = u"the X display's keyboard has no named keys";
  return any;
}

}

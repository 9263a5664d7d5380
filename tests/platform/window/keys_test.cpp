#include "platform/window/keys.hpp"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

using namespace plat;

namespace
{

// A US keyboard layout.
int32_t UsLayout(int sc)
{
  if(sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z) return 'a' + (sc - SDL_SCANCODE_A);
  if(sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_9) return '1' + (sc - SDL_SCANCODE_1);
  switch(sc)
  {
  case SDL_SCANCODE_0: return '0';
  case SDL_SCANCODE_RETURN: return 0x0d;
  case SDL_SCANCODE_ESCAPE: return 0x1b;
  case SDL_SCANCODE_BACKSPACE: return 0x08;
  case SDL_SCANCODE_TAB: return 0x09;
  case SDL_SCANCODE_SPACE: return ' ';
  case SDL_SCANCODE_MINUS: return '-';
  case SDL_SCANCODE_EQUALS: return '=';
  case SDL_SCANCODE_SEMICOLON: return ';';
  case SDL_SCANCODE_SLASH: return '/';
  case SDL_SCANCODE_PERIOD: return '.';
  case SDL_SCANCODE_DELETE: return 0x7f;
  default: return SDL_SCANCODE_TO_KEYCODE(sc);
  }
}

class KeyTranslationTest : public testing::Test
{
protected:
  void SetUp() override { BuildKeyTable(*Table, UsLayout); }

  KeyTranslation Press(int sc, uint16_t mod = 0, bool repeat = false)
  {
    KeyEvent e;
    e.Scancode = sc;
    e.Keycode = UsLayout(sc);
    e.Modifiers = mod;
    e.Down = true;
    e.Repeat = repeat;
    return TranslateKey(*Table, e);
  }

  std::unique_ptr<KeyTable> Table = std::make_unique<KeyTable>();
};

}

TEST_F(KeyTranslationTest, QualifierBitsFollowTheModifierState)
{
  const struct { uint16_t Mod; uint32_t Code; } cases[] = {
    {0, 'a'}, {KMOD_LSHIFT, 'A' | KEYQ_SHIFT_LEFT}, {KMOD_RSHIFT, 'A' | KEYQ_SHIFT_RIGHT},
    {KMOD_CAPS, 'A' | KEYQ_CAPSLOCK}, {KMOD_LCTRL, 'a' | KEYQ_CTRL_LEFT}, {KMOD_RCTRL, 'a' | KEYQ_CTRL_RIGHT},
    {KMOD_LALT, 'a' | KEYQ_ALT_LEFT},
    // caps lock and shift together still type the shifted plane
    {KMOD_CAPS | KMOD_LSHIFT, 'A' | KEYQ_CAPSLOCK | KEYQ_SHIFT_LEFT},
    // modifiers the framework has no bit for are left out
    {KMOD_NUM | KMOD_LGUI | KMOD_SCROLL, 'a'},
  };
  for(const auto &c : cases) EXPECT_EQ(Press(SDL_SCANCODE_A, c.Mod).Code, c.Code) << std::hex << c.Mod;
  EXPECT_EQ(KeyQualifiers(KMOD_LSHIFT | KMOD_RSHIFT | KMOD_CAPS | KMOD_LCTRL | KMOD_RCTRL | KMOD_LALT | KMOD_RALT),
            uint32_t(KEYQ_MASK));
}

TEST_F(KeyTranslationTest, AltGrUsesItsPlaneAndDropsTheLeftControl)
{
  // nothing in plane 2 for q: plane 0 is the fallback
  KeyTranslation t = Press(SDL_SCANCODE_Q, KMOD_LCTRL | KMOD_RALT);
  EXPECT_EQ(t.Code, 'q' | KEYQ_ALT_RIGHT);
  EXPECT_EQ(t.Qualifiers, uint32_t(KEYQ_ALT_RIGHT));
  // SDL's mode key is AltGr too
  EXPECT_EQ(Press(SDL_SCANCODE_Q, KMOD_MODE).Code, 'q' | KEYQ_ALT_RIGHT);
  // AltGr wins over shift when choosing the plane, and a plane-2 character is used
  Table->Planes[2][SDL_SCANCODE_Q] = '@';
  EXPECT_EQ(Press(SDL_SCANCODE_Q, KMOD_LCTRL | KMOD_RALT).Code, '@' | KEYQ_ALT_RIGHT);
  EXPECT_EQ(Press(SDL_SCANCODE_Q, KMOD_LSHIFT | KMOD_RALT).Code, '@' | KEYQ_ALT_RIGHT | KEYQ_SHIFT_LEFT);
  // the right control stays
  EXPECT_EQ(Press(SDL_SCANCODE_Q, KMOD_RCTRL | KMOD_RALT).Qualifiers, KEYQ_ALT_RIGHT | KEYQ_CTRL_RIGHT);
  // the left control without AltGr is kept
  EXPECT_EQ(Press(SDL_SCANCODE_Q, KMOD_LCTRL | KMOD_LALT).Qualifiers, KEYQ_CTRL_LEFT | KEYQ_ALT_LEFT);
}

TEST_F(KeyTranslationTest, ScancodesOutsideTheTablesAreHarmless)
{
  for(int sc : {-1, -1000, KEY_SCANCODES, 100000})
  {
    KeyTranslation t = Press(sc, KMOD_LSHIFT);
    EXPECT_EQ(t.Code, 0u) << sc;
    EXPECT_EQ(t.StateIndex, -1) << sc;
    EXPECT_EQ(t.Qualifiers, uint32_t(KEYQ_SHIFT_LEFT));
  }
  // media keys lie beyond the key-state array
  KeyTranslation media = Press(SDL_SCANCODE_AUDIONEXT);
  EXPECT_EQ(media.Code, 0u);
  EXPECT_EQ(media.StateIndex, -1);
  EXPECT_EQ(Press(SDL_SCANCODE_A).StateIndex, int(SDL_SCANCODE_A));
  EXPECT_EQ(Press(KEY_STATES - 1).StateIndex, KEY_STATES - 1);
}

TEST(KeyLayout, EachLevelOfTheLayoutFillsItsPlane)
{
  // a German layout's keys: shift and AltGr type what the layout gives them, not a US key's
  auto layout = std::make_unique<KeyboardLayout>();
  std::memset(layout.get(), 0, sizeof(KeyboardLayout));
  auto set = [&](int sc, int32_t plain, int32_t shifted, int32_t altgr) { layout->Keys[sc] = {{plain, shifted, altgr}}; };
  set(SDL_SCANCODE_2, '2', '"', 0xb2);
  set(SDL_SCANCODE_Q, 'q', 'Q', '@');
  set(SDL_SCANCODE_E, 'e', 'E', 0x20ac);
  set(SDL_SCANCODE_GRAVE, '^', 0xb0, 0x2032);   // a prime is outside the table's ranges
  set(SDL_SCANCODE_Y, 'z', 'Z', 0x2190);
  set(SDL_SCANCODE_KP_PERIOD, ',', '.', 0);       // the keypad's own codes win
  set(SDL_SCANCODE_F, 0x430, 0x410, 0);           // a Cyrillic layout's letters
  auto table = std::make_unique<KeyTable>();
  BuildKeyTable(*table, *layout);
  auto press = [&](int sc, uint16_t mod) {
    KeyEvent e;
    e.Scancode = sc;
    e.Modifiers = mod;
    e.Down = true;
    return TranslateKey(*table, e).Code & 0xffff;
  };
  const struct { int Sc; uint16_t Mod; uint32_t Code; } cases[] = {
    {SDL_SCANCODE_2, 0, '2'},           {SDL_SCANCODE_2, KMOD_LSHIFT, '"'},   {SDL_SCANCODE_2, KMOD_RALT, 0xb2},
    {SDL_SCANCODE_Q, KMOD_RALT, '@'},   {SDL_SCANCODE_E, KMOD_RALT, 0x20ac},  {SDL_SCANCODE_GRAVE, KMOD_LSHIFT, 0xb0},
    {SDL_SCANCODE_GRAVE, KMOD_RALT, '^'}, {SDL_SCANCODE_Y, 0, 'z'},           {SDL_SCANCODE_Y, KMOD_RALT, 'z'},
    {SDL_SCANCODE_KP_PERIOD, KMOD_LSHIFT, ','}, {SDL_SCANCODE_F, KMOD_CAPS, 0x410},
  };
  for(const auto &c : cases) EXPECT_EQ(press(c.Sc, c.Mod), c.Code) << c.Sc << " " << std::hex << c.Mod;

  // the display's own layout (the test display's is a US one): its third level is read too
  std::u16string error;
  if(!ReadDisplayLayout(*layout, error)) GTEST_SKIP() << "no X display";
  EXPECT_EQ(layout->Keys[SDL_SCANCODE_A].Chars[0], 'a');
  EXPECT_EQ(layout->Keys[SDL_SCANCODE_2].Chars[1], '@');
  EXPECT_EQ(layout->Keys[SDL_SCANCODE_NONUSBACKSLASH].Chars[1], '>');
  EXPECT_EQ(layout->Keys[SDL_SCANCODE_NONUSBACKSLASH].Chars[2], '|');
}

TEST(MouseCodes, WheelNotchesAndRemainder)
{
  // deltas in turn, each with the notches it completes and the remainder it leaves
  const int32_t steps[][3] = {{240, 2, 0}, {-119, 0, -119}, {-1, -1, 0}, {119, 0, 119}, {1, 1, 0},
                              {-241, -2, -1}, {60, 0, 59}, {181, 2, 0}};
  int32_t rest = 0;
  for(const auto &s : steps)
  {
    EXPECT_EQ(WheelNotches(rest, s[0]), s[1]) << s[0];
    EXPECT_EQ(rest, s[2]) << s[0];
  }
  // huge deltas neither overflow nor loop for long
  rest = INT32_MAX - 10;
  EXPECT_EQ(WheelNotches(rest, INT32_MAX), int((int64_t(INT32_MAX) * 2 - 10) / 120));
  EXPECT_TRUE(rest >= 0 && rest < 120) << rest;
  rest = 0;
  EXPECT_EQ(WheelNotches(rest, INT32_MIN), -int(-int64_t(INT32_MIN) / 120));
  EXPECT_TRUE(rest > -120 && rest <= 0) << rest;
}

#include "platform/window/keys.hpp"

#include <SDL.h>
#include <gtest/gtest.h>

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

// A layout with Latin-1, Cyrillic and other characters on some keys.
int32_t MixedLayout(int sc)
{
  switch(sc)
  {
  case SDL_SCANCODE_SEMICOLON: return 0xf6;   // o umlaut
  case SDL_SCANCODE_APOSTROPHE: return 0xe4;  // a umlaut
  case SDL_SCANCODE_Q: return 0x439;          // Cyrillic short i
  case SDL_SCANCODE_W: return 0x451;          // Cyrillic io
  case SDL_SCANCODE_E: return 0x20ac;         // euro sign
  case SDL_SCANCODE_R: return 0x3b1;          // Greek alpha: outside the table's ranges
  case SDL_SCANCODE_T: return 0xff;           // y diaeresis: just past the Latin-1 range taken
  case SDL_SCANCODE_Y: return 0xf7;           // division sign: no upper case
  case SDL_SCANCODE_1: return '&';            // not the US character on that key
  case SDL_SCANCODE_2: return 0x01;           // a control character
  case SDL_SCANCODE_3: return 0x4c2;          // Cyrillic pair with the upper case first (odd)
  default: return UsLayout(sc);
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
  KeyTranslation Release(int sc, uint16_t mod = 0, bool repeat = false)
  {
    KeyEvent e;
    e.Scancode = sc;
    e.Modifiers = mod;
    e.Down = false;
    e.Repeat = repeat;
    return TranslateKey(*Table, e);
  }

  std::unique_ptr<KeyTable> Table = std::make_unique<KeyTable>();
};

}

TEST_F(KeyTranslationTest, QualifierBitsFollowTheModifierState)
{
  EXPECT_EQ(Press(SDL_SCANCODE_A).Code, uint32_t('a'));
  EXPECT_EQ(Press(SDL_SCANCODE_A, KMOD_LSHIFT).Code, 'A' | KEYQ_SHIFT_LEFT);
  EXPECT_EQ(Press(SDL_SCANCODE_A, KMOD_RSHIFT).Code, 'A' | KEYQ_SHIFT_RIGHT);
  EXPECT_EQ(Press(SDL_SCANCODE_A, KMOD_CAPS).Code, 'A' | KEYQ_CAPSLOCK);
  EXPECT_EQ(Press(SDL_SCANCODE_A, KMOD_LCTRL).Code, 'a' | KEYQ_CTRL_LEFT);
  EXPECT_EQ(Press(SDL_SCANCODE_A, KMOD_RCTRL).Code, 'a' | KEYQ_CTRL_RIGHT);
  EXPECT_EQ(Press(SDL_SCANCODE_A, KMOD_LALT).Code, 'a' | KEYQ_ALT_LEFT);
  // caps lock and shift together still type the shifted plane
  EXPECT_EQ(Press(SDL_SCANCODE_A, KMOD_CAPS | KMOD_LSHIFT).Code, 'A' | KEYQ_CAPSLOCK | KEYQ_SHIFT_LEFT);
  // modifiers the framework has no bit for are left out
  EXPECT_EQ(Press(SDL_SCANCODE_A, KMOD_NUM | KMOD_LGUI | KMOD_SCROLL).Code, uint32_t('a'));
  EXPECT_EQ(KeyQualifiers(KMOD_LSHIFT | KMOD_RSHIFT | KMOD_CAPS | KMOD_LCTRL | KMOD_RCTRL | KMOD_LALT | KMOD_RALT),
            uint32_t(KEYQ_MASK));
}

TEST_F(KeyTranslationTest, ShiftedDigitsAndPunctuation)
{
  EXPECT_EQ(Press(SDL_SCANCODE_1, KMOD_LSHIFT).Code, '!' | KEYQ_SHIFT_LEFT);
  EXPECT_EQ(Press(SDL_SCANCODE_0, KMOD_RSHIFT).Code, ')' | KEYQ_SHIFT_RIGHT);
  EXPECT_EQ(Press(SDL_SCANCODE_SLASH, KMOD_LSHIFT).Code, '?' | KEYQ_SHIFT_LEFT);
  EXPECT_EQ(Press(SDL_SCANCODE_SEMICOLON).Code, uint32_t(';'));
  EXPECT_EQ(Press(SDL_SCANCODE_SEMICOLON, KMOD_LSHIFT).Code, ':' | KEYQ_SHIFT_LEFT);
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

TEST_F(KeyTranslationTest, FunctionKeysInEveryPlane)
{
  for(int i = 0; i < 12; i++)
  {
    EXPECT_EQ(Press(SDL_SCANCODE_F1 + i).Code, KEY_F1 + uint32_t(i)) << "F" << i + 1;
    EXPECT_EQ(Press(SDL_SCANCODE_F1 + i, KMOD_LSHIFT).Code, (KEY_F1 + uint32_t(i)) | KEYQ_SHIFT_LEFT);
    EXPECT_EQ(Press(SDL_SCANCODE_F1 + i, KMOD_RALT).Code, (KEY_F1 + uint32_t(i)) | KEYQ_ALT_RIGHT);
  }
  EXPECT_EQ(Press(SDL_SCANCODE_F1).Code, 0xe020u);
  EXPECT_EQ(Press(SDL_SCANCODE_F12).Code, 0xe02bu);
  EXPECT_EQ(Press(SDL_SCANCODE_F13).Code, 0u);
}

TEST_F(KeyTranslationTest, KeypadTypesCharactersAndItsDecimalKeyAComma)
{
  const int digits[] = {SDL_SCANCODE_KP_0, SDL_SCANCODE_KP_1, SDL_SCANCODE_KP_2, SDL_SCANCODE_KP_3,
                        SDL_SCANCODE_KP_4, SDL_SCANCODE_KP_5, SDL_SCANCODE_KP_6, SDL_SCANCODE_KP_7,
                        SDL_SCANCODE_KP_8, SDL_SCANCODE_KP_9};
  for(int i = 0; i < 10; i++)
    EXPECT_EQ(Press(digits[i]).Code, uint32_t('0' + i));
  EXPECT_EQ(Press(SDL_SCANCODE_KP_MULTIPLY).Code, uint32_t('*'));
  EXPECT_EQ(Press(SDL_SCANCODE_KP_PLUS).Code, uint32_t('+'));
  EXPECT_EQ(Press(SDL_SCANCODE_KP_MINUS).Code, uint32_t('-'));
  EXPECT_EQ(Press(SDL_SCANCODE_KP_DIVIDE).Code, uint32_t('/'));
  EXPECT_EQ(Press(SDL_SCANCODE_KP_ENTER).Code, uint32_t(KEY_ENTER));
  for(uint16_t mod : {uint16_t(0), uint16_t(KMOD_LSHIFT), uint16_t(KMOD_CAPS), uint16_t(KMOD_RALT)})
    EXPECT_EQ(Press(SDL_SCANCODE_KP_PERIOD, mod).Code & 0xffff, uint32_t(',')) << "modifiers " << mod;
  // a shifted keypad digit stays a digit
  EXPECT_EQ(Press(SDL_SCANCODE_KP_8, KMOD_LSHIFT).Code, '8' | KEYQ_SHIFT_LEFT);
}

TEST_F(KeyTranslationTest, SpecialKeys)
{
  EXPECT_EQ(Press(SDL_SCANCODE_RETURN).Code, uint32_t(KEY_ENTER));
  EXPECT_EQ(Press(SDL_SCANCODE_ESCAPE).Code, 0x1bu);
  // the layout's DEL character does not hide the Delete key
  EXPECT_EQ(Press(SDL_SCANCODE_DELETE).Code, uint32_t(KEY_DELETE));
  EXPECT_EQ(Press(SDL_SCANCODE_UP, KMOD_LSHIFT).Code, KEY_UP | KEYQ_SHIFT_LEFT);
  // a modifier key carries its own bit on the press and not on the release
  EXPECT_EQ(Press(SDL_SCANCODE_LSHIFT, KMOD_LSHIFT).Code, KEY_SHIFT | KEYQ_SHIFT_LEFT);
  EXPECT_EQ(Release(SDL_SCANCODE_LSHIFT).Code, KEY_SHIFT | KEY_RELEASE);
  EXPECT_EQ(Press(SDL_SCANCODE_RCTRL, KMOD_RCTRL).Code, KEY_CONTROL | KEYQ_CTRL_RIGHT);
  // the alt key itself has no code but still sets its qualifier
  KeyTranslation alt = Press(SDL_SCANCODE_LALT, KMOD_LALT);
  EXPECT_EQ(alt.Code, 0u);
  EXPECT_EQ(alt.Qualifiers, uint32_t(KEYQ_ALT_LEFT));
  EXPECT_EQ(alt.StateIndex, int(SDL_SCANCODE_LALT));
}

TEST_F(KeyTranslationTest, RepeatAndReleaseBits)
{
  EXPECT_EQ(Press(SDL_SCANCODE_B, 0, true).Code, 'b' | KEY_REPEAT);
  EXPECT_EQ(Press(SDL_SCANCODE_B, KMOD_LSHIFT, true).Code, 'B' | KEYQ_SHIFT_LEFT | KEY_REPEAT);
  EXPECT_EQ(Press(SDL_SCANCODE_B, 0, false).Code, uint32_t('b'));
  EXPECT_EQ(Release(SDL_SCANCODE_B).Code, 'b' | KEY_RELEASE);
  // a release is never a repeat
  EXPECT_EQ(Release(SDL_SCANCODE_B, 0, true).Code, 'b' | KEY_RELEASE);
  EXPECT_EQ(Release(SDL_SCANCODE_F5, KMOD_LCTRL).Code, (KEY_F1 + 4) | KEYQ_CTRL_LEFT | KEY_RELEASE);
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

TEST(KeyTable, TakesTheLayoutsCharactersAndTheirUpperCase)
{
  auto table = std::make_unique<KeyTable>();
  BuildKeyTable(*table, MixedLayout);
  EXPECT_EQ(table->Planes[0][SDL_SCANCODE_SEMICOLON], 0xf6u);
  EXPECT_EQ(table->Planes[1][SDL_SCANCODE_SEMICOLON], 0xd6u);
  EXPECT_EQ(table->Planes[1][SDL_SCANCODE_APOSTROPHE], 0xc4u);
  EXPECT_EQ(table->Planes[0][SDL_SCANCODE_Q], 0x439u);
  EXPECT_EQ(table->Planes[1][SDL_SCANCODE_Q], 0x419u);
  EXPECT_EQ(table->Planes[1][SDL_SCANCODE_W], 0x401u);
  EXPECT_EQ(table->Planes[1][SDL_SCANCODE_3], 0x4c1u);
  EXPECT_EQ(table->Planes[0][SDL_SCANCODE_E], 0x20acu);
  EXPECT_EQ(table->Planes[1][SDL_SCANCODE_E], 0u);
  EXPECT_EQ(table->Planes[0][SDL_SCANCODE_R], 0u);
  EXPECT_EQ(table->Planes[0][SDL_SCANCODE_T], 0u);
  EXPECT_EQ(table->Planes[0][SDL_SCANCODE_Y], 0xf7u);
  EXPECT_EQ(table->Planes[1][SDL_SCANCODE_Y], 0u);
  EXPECT_EQ(table->Planes[0][SDL_SCANCODE_2], 0u);
  // a key that does not type the US character gets no US shifted character
  EXPECT_EQ(table->Planes[0][SDL_SCANCODE_1], uint32_t('&'));
  EXPECT_EQ(table->Planes[1][SDL_SCANCODE_1], 0u);
  // nothing of the layout reaches the AltGr plane; the special keys are in every plane
  for(int sc = 0; sc < KEY_SCANCODES; sc++)
  {
    if(table->Planes[2][sc])
    {
      EXPECT_EQ(table->Planes[2][sc], table->Planes[0][sc]) << "scancode " << sc;
    }
  }
  EXPECT_EQ(table->Planes[2][SDL_SCANCODE_KP_PERIOD], uint32_t(','));

  // shift on an upper-case-less key falls back to plane 0
  KeyEvent e;
  e.Scancode = SDL_SCANCODE_E;
  e.Modifiers = KMOD_LSHIFT;
  e.Down = true;
  EXPECT_EQ(TranslateKey(*table, e).Code, 0x20ac | KEYQ_SHIFT_LEFT);
}

TEST(KeyTable, RebuildingClearsEarlierEntries)
{
  auto table = std::make_unique<KeyTable>();
  BuildKeyTable(*table, MixedLayout);
  BuildKeyTable(*table, UsLayout);
  EXPECT_EQ(table->Planes[0][SDL_SCANCODE_Q], uint32_t('q'));
  EXPECT_EQ(table->Planes[1][SDL_SCANCODE_1], uint32_t('!'));
  EXPECT_EQ(table->Planes[0][SDL_SCANCODE_R], uint32_t('r'));
}

TEST(MouseCodes, SdlButtonsInTheFrameworksOrder)
{
  // SDL numbers the middle button 2 and the right one 3
  EXPECT_EQ(MouseButtonCode(MouseButtonFromSdl(SDL_BUTTON_RIGHT)), 0xe101u);
  EXPECT_EQ(MouseButtonCode(MouseButtonFromSdl(SDL_BUTTON_MIDDLE)), 0xe102u);
  EXPECT_EQ(MouseButtonBit(MouseButtonFromSdl(SDL_BUTTON_X2)), 16u);
  EXPECT_EQ(MouseButtonFromSdl(6), -1);
  EXPECT_EQ(MouseButtonCode(-1), 0u);
  EXPECT_EQ(MouseButtonBit(MOUSE_BUTTONS), 0u);
}

TEST(MouseCodes, PayloadPacking)
{
  EXPECT_EQ(PackPointerPayload(3, 5), 0x30005ull);
  EXPECT_EQ(PackPointerPayload(1919, 1079), (1919ull << 16) | 1079ull);
  // a negative y fills the upper bits
  EXPECT_EQ(PackPointerPayload(2, -1), 0xffffffffffffffffull);
  EXPECT_EQ(PackPointerPayload(0, -2), 0xfffffffffffffffeull);
  // x is shifted in 32 bits, then widened with sign
  EXPECT_EQ(PackPointerPayload(-1, 0), 0xffffffffffff0000ull);
  EXPECT_EQ(PackPointerPayload(0x8000, 0), 0xffffffff80000000ull);

  EXPECT_EQ(PackRawMotionPayload(3, 4), 0x30004ull);
  EXPECT_EQ(PackRawMotionPayload(-1, -2), 0xfffffffeull);
  EXPECT_EQ(PackRawMotionPayload(0x12345, 1), 0x23450001ull);
}

TEST(MouseCodes, WheelNotchesAndRemainder)
{
  int32_t rest = 0;
  EXPECT_EQ(WheelNotches(rest, 240), 2);
  EXPECT_EQ(rest, 0);
  EXPECT_EQ(WheelNotches(rest, -119), 0);
  EXPECT_EQ(rest, -119);
  EXPECT_EQ(WheelNotches(rest, -1), -1);
  EXPECT_EQ(rest, 0);
  EXPECT_EQ(WheelNotches(rest, 119), 0);
  EXPECT_EQ(WheelNotches(rest, 1), 1);
  EXPECT_EQ(rest, 0);
  EXPECT_EQ(WheelNotches(rest, -241), -2);
  EXPECT_EQ(rest, -1);
  EXPECT_EQ(WheelNotches(rest, 60), 0);
  EXPECT_EQ(rest, 59);
  EXPECT_EQ(WheelNotches(rest, 181), 2);
  EXPECT_EQ(rest, 0);
  // huge deltas neither overflow nor loop for long
  rest = INT32_MAX - 10;
  EXPECT_EQ(WheelNotches(rest, INT32_MAX), int((int64_t(INT32_MAX) * 2 - 10) / 120));
  EXPECT_GE(rest, 0);
  EXPECT_LT(rest, 120);
  rest = 0;
  EXPECT_EQ(WheelNotches(rest, INT32_MIN), -int(-int64_t(INT32_MIN) / 120));
  EXPECT_GT(rest, -120);
  EXPECT_LE(rest, 0);
}

TEST(KeyNames, NamesCodesQualifiersAndFlags)
{
  EXPECT_EQ(KeyName(KEY_F12), u"F12");
  EXPECT_EQ(KeyName('a' | KEYQ_SHIFT_LEFT | KEYQ_CTRL_RIGHT), u"LShift+RCtrl+a");
  EXPECT_EQ(KeyName(0x20ac | KEYQ_ALT_RIGHT), u"AltGr+\u20ac");
  EXPECT_EQ(KeyName(KEY_UP | KEY_REPEAT), u"Up repeat");
  EXPECT_EQ(KeyName(KEY_MOUSE_RIGHT | KEY_DOUBLECLICK), u"RightButton doubleclick");
  EXPECT_EQ(KeyName(KEY_DELETE | KEY_RELEASE), u"Delete up");
  EXPECT_EQ(KeyName(0xe0ff), u"0xE0FF");
}

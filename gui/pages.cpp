// The GUI's tables (labels, textures, materials, widget groups), its start-up (Init) and
// the frame: pointer, page mask, elements, records, header.
//
// The widget groups are one table in creation order; each row gives count, kind, page
// mask, first label and a grid of home positions. Init asserts the design's budget of 298
// widgets twice (homes, then creation). Which setting a widget edits is bound in one
// function (BindGroup), so the tables stay plain data.
#include "gui/gui.hpp"

#include "base/log.hpp"
#include "base/system.hpp"
#include "gui/modescene.hpp"
#include "show/forms.hpp"
#include "show/procforms.hpp"
#include "show/scenehost.hpp"
#include "show/startup.hpp"
#include "show/sync.hpp"
#include "show/textform.hpp"
#include "show/tmdata.hpp"

#include <cmath>

namespace
{
/****************************************************************************/
/***   Labels                                                             ***/
/****************************************************************************/

struct LabelRow
{
  sInt Id;
  const sChar *Text;
};
const LabelRow Labels[] = {
  {4, u"AMBIENT"}, {5, u"TECHNO"}, {6, u"FUNK"}, {7, u"DISCO"}, {8, u"MINIMAL"}, {9, u"USER SET 1"},
  {10, u"USER SET 2"}, {11, u"SIMPLE"}, {12, u"MOVIES"}, {13, u"VIDEO-IN"},
  {14, u"AUTO FX"}, {15, u"SLIDESHOW"}, {16, u"LOGOS"}, {17, u"FLYER"}, {18, u"EFFECTS"}, {19, u"MESSAGES"},
  {20, u"SHORT MSG."}, {21, u"DISTORTION"}, {22, u"LATENCY"}, {23, u"CONFIGS"},
  {24, u"SCENE SLIDER"}, {25, u"SLIDESHOW SLIDER"}, {26, u"LOGO SLIDER"}, {27, u"FLYER SLIDER"},
  {28, u"MOVIE BRIGHNESS SLIDER"}, {29, u"MOVIE SLIDER"}, {30, u"EFFECT SLIDER 1"}, {31, u"EFFECT SLIDER 2"},
  {32, u"DISTORTION SLIDER 1"}, {33, u"DISTORTION SLIDER 2"}, {34, u"LATENCY SLIDER"}, {35, u"MESSAGE SLIDER"},
  {36, u"BRIGHTNESS SLIDER"}, {37, u"DIRECTORY SLIDER"}, {38, u"SCALER X0 SLIDER"}, {39, u"SCALER Y0 SLIDER"},
  {40, u"SCALER X1 SLIDER"}, {41, u"SCALER Y1 SLIDER"}, {42, u"BRIGHTNESS SLIDER"}, {43, u"CONTRAST SLIDER"},
  {44, u"AUTO EFFECT CONFIGURATION"}, {45, u"SLIDESHOW CONFIGURATION"}, {46, u"LOGOS CONFIGURATION"},
  {47, u"FLYER CONFIGURATION"}, {48, u"LIVE EFFECTS"}, {49, u"MESSAGE CONFIGURATIONS"},
  {50, u"SEND SHORT MESSAGE"}, {51, u"SELF DISTORTION CONFIGURATION"}, {52, u"LATENCY SETTING"},
  {53, u"LOAD/SAVE CONFIGURATIONS"},
  {60, u"ACTIVE"}, {61, u"START"}, {62, u"DIRECTORY"}, {63, u"RND STYLE"}, {64, u"STYLE 1"}, {65, u"STYLE 2"},
  {66, u"STYLE 3"}, {67, u"PURE"}, {68, u"TOP MIX"}, {69, u"BOTTOM MIX"}, {70, u"ALLOW FX"}, {71, u"TAP"},
  {72, u"STROBOSCP."}, {73, u"COLOR COR."}, {74, u"FEEDBACK"}, {75, u"KALEIDOSCP."}, {76, u"TOUCH ME"},
  {77, u"ALPHA"}, {78, u"MUTE"}, {79, u"LOCK"}, {80, u"X"}, {81, u"TEXT"}, {82, u"RND FX"}, {83, u"MIRROR PNP"},
  {84, u"SCREEN"}, {85, u"LOAD"}, {86, u"SAVE"}, {87, u"RESET"}, {88, u"DMX CFG"}, {89, u"MIDI CFG"},
  {90, u"SCALER CFG"}, {91, u"UPDATE"}, {92, u"RELOAD"}, {93, u"LEARN"}, {94, u"CHANNEL"}, {95, u"CANCEL"},
  {96, u"CONFIRM"}, {97, u"PAGE 1"}, {98, u"PAGE 2"}, {99, u"PAGE 3"}, {100, u"FADER"}, {101, u"NUMBER"},
  {102, u"INVERT"}, {103, u"TEST"}, {104, u"DEVICE 1"}, {105, u"DEVICE 2"}, {106, u"CAPS"}, {107, u"ENTER"}, {108, u"SPACE"},
  {109, u"DELETE ALL"}, {110, u"del"}, {111, u"<-"}, {112, u"->"}, {113, u"YES"}, {114, u"NO"},
  {115, u"COPY"}, {116, u"PASTE"}, {117, u"DELETE"}, {118, u"SELECT ALL"}, {119, u"SELECT NONE"},
  {120, u"MAKE DIR"}, {121, u"FILE NAME"}, {122, u"CANCEL"}, {123, u"SET DIRECTORY"}, {124, u"BACK"},
  {125, u"DRIVE 1"}, {126, u"DRIVE 2"}, {127, u"DRIVE 3"}, {128, u"DRIVE 4"}, {129, u"DRIVE 5"},
  {130, u"DRIVE 6"}, {131, u"DRIVE 7"}, {132, u"DRIVE 8"},
  {140, u"1"}, {141, u"2"}, {142, u"3"}, {143, u"4"}, {144, u"5"}, {145, u"6"}, {146, u"7"}, {147, u"8"},
  {148, u"9"}, {149, u"10"}, {150, u"11"}, {151, u"12"}, {152, u"13"}, {153, u"14"}, {154, u"15"}, {155, u"16"},
};
// The on-screen keyboard (German layout), lower and upper case per key: label 420 + 2 key.
const sChar KeyboardChars[48][2] = {
  {'1', '!'}, {'2', '"'}, {'3', 0xa7}, {'4', '$'}, {'5', '%'}, {'6', '&'}, {'7', '/'}, {'8', '('},
  {'9', ')'}, {'0', '='}, {0xdf, '?'}, {0xb4, '`'}, {'q', 'Q'}, {'w', 'W'}, {'e', 'E'}, {'r', 'R'},
  {'t', 'T'}, {'z', 'Z'}, {'u', 'U'}, {'i', 'I'}, {'o', 'O'}, {'p', 'P'}, {0xfc, 0xdc}, {'+', '*'},
  {'a', 'A'}, {'s', 'S'}, {'d', 'D'}, {'f', 'F'}, {'g', 'G'}, {'h', 'H'}, {'j', 'J'}, {'k', 'K'},
  {'l', 'L'}, {0xf6, 0xd6}, {0xe4, 0xc4}, {'#', '\''}, {'<', '>'}, {'y', 'Y'}, {'x', 'X'}, {'c', 'C'},
  {'v', 'V'}, {'b', 'B'}, {'n', 'N'}, {'m', 'M'}, {',', ';'}, {'.', ':'}, {'-', '_'}, {'@', '~'},
};

/****************************************************************************/
/***   Textures and materials                                             ***/
/****************************************************************************/

#define GUI_ROW(u, p) {u"gui/unpacked/" u, u"gui/packed/" p, 0x1401, 0}
const TextureEntry GuiTextures[] = {
  GUI_ROW("pointer.pic", "pointer.pic"), GUI_ROW("hit.bmp", "hit.png"), GUI_ROW("white.bmp", "white.png"),
  GUI_ROW("wave.pic", "wave.pic"), GUI_ROW("background3.bmp", "background3.png"),
  GUI_ROW("Sparkvane.bmp", "Sparkvane.png"), GUI_ROW("color.bmp", "color.png"),
  GUI_ROW("Xbutton.bmp", "Xbutton.pic"), GUI_ROW("Xbutton_a.pic", "Xbutton_a.pic"),
  GUI_ROW("Xbutton_on.bmp", "Xbutton_on.png"), GUI_ROW("Xbutton_active.bmp", "Xbutton_active.png"),
  GUI_ROW("Xscreen.bmp", "Xscreen.pic"), GUI_ROW("Xscreen_b1_on.bmp", "Xscreen_b1_on.png"),
  GUI_ROW("Xscreen_b2_on.bmp", "Xscreen_b2_on.png"), GUI_ROW("Xbig_slider.bmp", "Xbig_slider.pic"),
  GUI_ROW("Xbig_slider_button.bmp", "Xbig_slider_button.png"), GUI_ROW("Xslider.bmp", "Xslider.pic"),
  GUI_ROW("Xslider_button.bmp", "Xslider_button.png"), GUI_ROW("Xv_slider.bmp", "Xv_slider.pic"),
  GUI_ROW("Xv_slider_button.bmp", "Xv_slider_button.png"), GUI_ROW("Xv_big_slider.bmp", "Xv_big_slider.pic"),
  GUI_ROW("Xv_big_slider_button.bmp", "Xv_big_slider_button.png"), GUI_ROW("Xbig_button.bmp", "Xbig_button.pic"),
  GUI_ROW("Xbig_button_on.bmp", "Xbig_button_on.png"), GUI_ROW("Xvoid_button.bmp", "Xvoid_button.pic"),
  GUI_ROW("Xsmall_button.bmp", "Xsmall_button.pic"),
  GUI_ROW("Xsmall_button_active.bmp", "Xsmall_button_active.png"), GUI_ROW("movie_icon.bmp", "movie_icon.png"),
  GUI_ROW("unknown_codec.bmp", "unknown_codec.png"), GUI_ROW("color_test.bmp", "color_test.png"),
  GUI_ROW("window.bmp", "window.png"), {nullptr, nullptr, 0, 0}};
#undef GUI_ROW
static_assert(sizeof(GuiTextures) / sizeof(GuiTextures[0]) == sGUI_TEXTURES + 1);

// The GUI's pictures, then the numbered scene pictures of the style skins: twenty for each
// of ambient, tekkno, funk, disco, minimal and all, then the thirteen of the LED style.
struct TextureTable
{
  sChar Paths[sGUI_SKINPICTURES][2][64];
  TextureEntry Rows[sGUI_TEXTURES + sGUI_SKINPICTURES + 1];
  TextureTable()
  {
    static const sChar *const Skins[6] = {u"ambient", u"tekkno", u"funk", u"disco", u"minimal", u"all"};
    for(sInt i = 0; i < sGUI_TEXTURES; i++) Rows[i] = GuiTextures[i];
    for(sInt k = 0; k < sGUI_SKINPICTURES; k++)
    {
      for(sInt packed = 0; packed < 2; packed++)
      {
        const sChar *dir = packed ? u"packed" : u"unpacked", *ext = packed ? u"png" : u"bmp";
        sStringRef out(Paths[k][packed], 64);
        if(k < 120)
          sSPrintF(out, u"gui/%s/%s/Sparkvane_%s_%02d.%s", dir, Skins[k / 20], Skins[k / 20], k % 20, ext);
        else
          sSPrintF(out, u"gui/%s/led/LED_%02d.%s", dir, k - 120, ext);
      }
      Rows[sGUI_TEXTURES + k] = {Paths[k][0], Paths[k][1], 0x1401, 0};
    }
    Rows[sGUI_TEXTURES + sGUI_SKINPICTURES] = {nullptr, nullptr, 0, 0};
  }
};
const TextureTable GuiTextureTable;

// Material m draws texture row m - 2 (0 and 1 the pointer and the ripple); 33..35 the
// previews and the video-in frame, 36..135 the tile pictures, all starting on the empty
// movie picture, then one for each scene picture of the skins. Every one of these rows
// blends by alpha over what is drawn, without depth. The last row draws the instanced
// boxes: lit per vertex, opaque, their back faces culled so that a box hides its own far
// side without the depth the picture under the GUI holds.
constexpr sInt EmptyPicture = 27;
constexpr sInt WhitePicture = 2;
struct MaterialTable
{
  MaterialEntry Rows[sGUI_MATERIALS + 1];
  MaterialTable()
  {
    for(sInt m = 0; m < sGUI_BOXMATERIAL; m++)
    {
      sInt t = m < 2 ? m : (m < sGUI_PREVIEWMATERIAL ? m - 2 : EmptyPicture);
      if(m >= sGUI_SKINMATERIAL) t = sGUI_TEXTURES + m - sGUI_SKINMATERIAL;
      Rows[m] = {0, 1, sMTRL_ZOFF | sMTRL_CULLOFF, 0x60105, 1, {0, 0, 0, 0}, {t, 0, 0, 0}};
    }
    Rows[sGUI_BOXMATERIAL] = {15, 1, sMTRL_ZOFF | sMTRL_CULLINV, 0, 1, {0, 0, 0, 0}, {WhitePicture, 0, 0, 0}};
    Rows[sGUI_MATERIALS] = {sTMD_ENDKIND, 0, 0, 0, 0, {0, 0, 0, 0}, {0, 0, 0, 0}};
  }
};
const MaterialTable GuiMaterials;

/****************************************************************************/
/***   Widget groups                                                      ***/
/****************************************************************************/

enum Group : sInt
{
  G_STYLES, G_LISTS, G_PAGES, G_AUTOFX, G_AUTOKEYS, G_MEDIASTYLES, G_MEDIADIR, G_MEDIASWITCHES, G_ALLOWTAP,
  G_EFFECTS, G_EFFECTSWITCHES, G_EVERYPAGE, G_MESSAGES, G_MESSAGEKEYS, G_SHORTS, G_SHORTKEYS, G_DISTKINDS,
  G_DISTACTIVE, G_DISTSOURCES, G_CONFIGKEYS, G_CONFIGSLOTS, G_CHANNELROWS, G_CHANNELKEYS, G_FADER,
  G_SCALERKEYS, G_SCALERDEVICE, G_KEYS, G_EDITKEYS, G_YESNO, G_BROWSER, G_COUNT
};

struct GroupRow
{
  sInt Count;
  sU32 Kind;
  sU32 Mask;
  sInt Label;          // first label id; -1: a label per widget from Labels below
  sF32 X, Y, DX, DY;   // first home and the step
  sInt PerRow;         // widgets per row (rows go down by RowDY, shifted by RowDX)
  sF32 RowDX, RowDY;
  const sInt *LabelList;
};
const sInt MediaStyleLabels[16] = {63, 64, 65, 66, 63, 64, 65, 66, 63, 64, 65, 66, 63, 67, 68, 69};
const sInt MediaDirLabels[4] = {62, 62, 62, 62};
const sInt MediaSwitchLabels[8] = {60, 61, 60, 61, 60, 61, 60, 61};
const sInt EffectLabels[8] = {72, 73, 74, 75, 76, 60, 77, 71};
const sInt EveryLabels[3] = {78, 79, 80};
const sInt MessageLabels[3] = {81, 60, 61};
const sInt ShortLabels[2] = {81, 61};
const sInt DistKindLabels[4] = {82, 83, 74, 75};
const sInt DistStyleLabels[4] = {63, 64, 65, 66};
const sInt DistSourceLabels[3] = {84, 12, 13};
const sInt ConfigKeyLabels[9] = {85, 86, 87, 92, 88, 89, 90, 91, 60};
// per channel page: CANCEL, CONFIRM and the key to the next page
const sInt ChannelKeyLabels[9] = {95, 96, 98, 95, 96, 99, 95, 96, 97};
const sInt ScalerKeyLabels[9] = {101, 101, 101, 101, 60, 102, 103, 95, 96};
const sInt EditKeyLabels[9] = {106, 107, 108, 109, 110, 111, 112, 95, 96};
const sInt EditKinds[9] = {3, 3, 4, 4, 5, 5, 5, 4, 4};
const sInt AllowTapLabels[2] = {70, 71};

const GroupRow Groups[G_COUNT] = {
  {8, 1, 0x1, 4, -306.28f, 123, 160.64f, 0, 5, -35, -35, nullptr},            // style buttons
  {2, 2, 0x1, 12, 140.64f, 88, 160.64f, 0, 2, 0, 0, nullptr},                 // MOVIES, VIDEO-IN
  {10, 1, 0x1, 14, -306.28f, -138, 160.64f, 0, 5, 0, -35, nullptr},           // page buttons
  {1, 3, 0x2, 60, -340, -268, 0, 0, 1, 0, 0, nullptr},                        // AUTO FX: ACTIVE
  {11, 5, 0x2, 140, -286.32f, -240, 52.663f, 0, 11, 0, 0, nullptr},           // program keys
  {16, 0, 0, -1, -306.28f, -240, 160.64f, 0, 4, 0, 0, MediaStyleLabels},      // 4 pages x 4 styles
  {4, 4, 0, -1, -306.28f, -280, 0, 0, 1, 0, 0, MediaDirLabels},               // DIRECTORY x 4
  {8, 3, 0, -1, 360, -275, 90, 0, 2, 0, 0, MediaSwitchLabels},               // ACTIVE, START x 4
  {2, 0, 0x4, -1, -145.64f, -280, 160.64f, 0, 2, 0, 0, AllowTapLabels},       // ALLOW FX; TAP (effects page)
  {5, 0, 0x80000020, 72, -306.28f, -240, 160.64f, 0, 5, 0, 0, nullptr},       // effect choice
  {3, 3, 0x80000020, -1, 360, -275, 90, 0, 3, 0, 0, EffectLabels + 5},        // ACTIVE, ALPHA, TAP
  {3, 0, sGUI_ALLPAGES, -1, 300, 300, 130, 0, 3, 0, 0, EveryLabels},         // MUTE, LOCK, exit
  {16, 5, 0x40, 140, -286.32f, -240, 52.663f, 0, 16, 0, 0, nullptr},          // message slots
  {3, 4, 0x40, -1, -306.28f, -280, 0, 0, 1, 120, 0, MessageLabels},           // TEXT, ACTIVE, START
  {16, 5, 0x80, 140, -286.32f, -240, 52.663f, 0, 16, 0, 0, nullptr},          // short message slots
  {2, 4, 0x80, -1, -306.28f, -280, 0, 0, 1, 160, 0, ShortLabels},             // TEXT, START
  {4, 0, 0x100, -1, -306.28f, -240, 160.64f, 0, 4, 0, 0, DistKindLabels},     // distortion kinds
  {1, 3, 0x100, 60, 400, -275, 0, 0, 1, 0, 0, nullptr},                       // ACTIVE
  {3, 0, 0x100, -1, -306.28f, -205, 160.64f, 0, 3, 0, 0, DistSourceLabels},   // sources
  {9, 4, 0x400, -1, -306.28f, -240, 181, 0, 4, 0, -35, ConfigKeyLabels},      // config keys
  {8, 5, 0x400, 140, -560, -316, 52.663f, 0, 8, 0, 0, nullptr},               // slots 1..8
  {66, 0, 0, -1, -30, 99, 160, 0, 2, 0, -35, nullptr},                        // LEARN, CHANNEL rows
  {9, 0, 0, -1, -306.28f, -275, 160.64f, 0, 3, 0, 0, ChannelKeyLabels},       // CANCEL, CONFIRM, PAGE x 3
  {1, 3, 0x20000, 100, 400, -275, 0, 0, 1, 0, 0, nullptr},                    // FADER
  {9, 0, 0x40000, -1, -306.28f, -160, 0, -35, 4, 0, 0, ScalerKeyLabels},      // scaler keys
  {1, 0, 0x40000, 104, 298, 150, 0, 0, 1, 0, 0, nullptr},                     // device
  {48, 5, 0x1000, 420, -247.76f, 116, 51.931f, 0, 12, 0, -52, nullptr},       // character keys
  {9, 0, 0x1000, -1, -420, -110, 170, 0, 5, 0, -45, EditKeyLabels},           // edit keys
  {2, 4, 0x100000, 113, -100, -60, 200, 0, 2, 0, 0, nullptr},                 // YES, NO
  {18, 4, 0x4000, 115, 200, 40, 0, -35, 9, 160, 0, nullptr},                  // browser keys (right of the rows)
};
constexpr sInt BudgetSum = 1 + 1 + (5 + 5) + (5 + 5) + (11 + 1) + (4 + 1 + 2) * 4 + 1 + 1 + (5 + 3) + 1 + (16 + 2 + 1) +
                           (16 + 1 + 1) + (4 + 1 + 3) + (3 + 1 + 1 + 1 + 1 + 1 + 1 + 8) + (12 * 4 + 2 + 2 + 3 + 2) +
                           (7 + 2 + 1) + ((10 + 11 + 12) * 2 + 3 * 3 + 1) + 2 + (3 + 4 + 3 + 8);
static_assert(BudgetSum == sGUI_WIDGETS, "the widget budget");

const sU32 MediaPageMasks[4] = {0x4, 0x8, 0x10, 0x800};
// channel rows per page
const sInt ChannelRows[3] = {10, 11, 12};

sU32 *U(sInt &v) { return reinterpret_cast<sU32 *>(&v); }

// the white picture: its own material took the font, so the spare preview material draws it
constexpr sInt WhiteMaterial = sGUI_PREVIEWMATERIAL + 1;
constexpr sInt PlainMaterial = 5;   // a plain white picture of its own, for the dark quads
constexpr sInt ScopeColumns = 512;
sF32 ScopeX(sInt column) { return (1.0f - sF32(column) * 0.0019569471f) * 402.0f - 300.0f; }
// The level scope is a line along the loudest value of each column: 170 for silence, 80
// higher at full level. Each column's pair of vertices holds it: the upper one at the value,
// the lower one the line's width under it, so the silent line runs under the header's
// letters, which stand on 170.
constexpr sF32 ScopeRest = 170.0f, ScopeRange = 80.0f, ScopeWidth = 2.0f;
}

const sChar *GuiLabel(sInt id)
{
  static sChar keys[96][2];
  if(id >= 420 && id < 516)
  {
    sInt k = (id - 420) / 2, c = (id - 420) % 2;
    keys[id - 420][0] = KeyboardChars[k][c];
    keys[id - 420][1] = 0;
    return keys[id - 420];
  }
  for(const LabelRow &r : Labels)
    if(r.Id == id) return r.Text;
  return u"";
}

/****************************************************************************/
/***   Init                                                               ***/
/****************************************************************************/

// Homes that leave the grid: the keys of a page keep clear of its text lines, of its
// sliders (whose places are fixed) and of the keys shown on every page.
static void PlaceHome(sInt g, sInt i, sF32 &x, sF32 &y)
{
  // the switches of a page sit at its right end, beside the sliders
  constexpr sF32 SwitchY = -300, SwitchX[2] = {380, 495};
  constexpr sF32 Column[5] = {-306.28f, -145.64f, 15, 175.64f, 336.28f};
  switch(g)
  {
  case G_MEDIADIR: x = Column[4], y = -240; break;   // the fifth key of the style row
  case G_MEDIASWITCHES: x = SwitchX[i % 2], y = SwitchY; break;
  // ALLOW FX ends the slideshow page's style row, TAP the effects page's row of effects
  case G_ALLOWTAP: x = 518.0f, y = -240.0f; break;
  case G_EFFECTSWITCHES: x = i < 2 ? SwitchX[i] : -420.0f, y = SwitchY; break;
  case G_EVERYPAGE:   // MUTE and LOCK left of the brightness slider, exit right of it
  {
    static const sF32 X[3] = {172, 333, 540};
    x = X[i], y = 310;
    break;
  }
  case G_MESSAGEKEYS:
  case G_SHORTKEYS:
    if(i == 0) x = Column[0], y = -310;   // under the message's line
    else x = SwitchX[g == G_SHORTKEYS ? 0 : i - 1], y = SwitchY;
    break;
  case G_DISTACTIVE: x = 470, y = SwitchY; break;
  case G_DISTSOURCES: x = Column[i], y = -275; break;
  case G_CONFIGKEYS:   // ACTIVE beside the first row: the loaded file's line goes under it
    if(i == 8) x = 470, y = -257;
    break;
  case G_CHANNELKEYS:   // CANCEL, CONFIRM and the page key in a column right of the rows
    x = 450, y = -160.0f - 35.0f * sF32(i % 3);
    break;
  case G_FADER: x = 450, y = -290; break;
  case G_SCALERKEYS:
    if(i < 4) x = 325, y = -160.0f - 35.0f * sF32(i);               // NUMBER beside its corner
    else if(i < 7) x = -420.0f + 120.0f * sF32(i - 4), y = 40;        // ACTIVE, INVERT, TEST
    else x = Column[i - 7], y = -310;                                 // CANCEL, CONFIRM
    break;
  case G_SCALERDEVICE: x = 360, y = 150; break;   // right of the page's title
  // The keyboard page keeps the header's lines (184 and 295), the prompt (70) and the four
  // lines of edited text (35 down to -22) clear: four rows of keys below the text, 52 apart,
  // CAPS and ENTER at their ends, then SPACE, DELETE ALL and the cursor keys, then CANCEL
  // and CONFIRM.
  case G_KEYS: y = -62.0f - 52.0f * sF32(i / 12); break;
  case G_EDITKEYS:
  {
    static const sF32 X[9] = {-420, 420, 0, -200, 148, 200, 252, -100, 100};
    x = X[i], y = i < 2 ? -134.0f : (i < 7 ? -262.0f : -310.0f);
    break;
  }
  case G_YESNO: x = i ? 100.0f : -100.0f, y = -103; break;
  case G_BROWSER: x = 255.0f + 183.0f * sF32(i / 9), y = 40.0f - 35.0f * sF32(i % 9); break;
  default: break;
  }
}

static void ComputeHomes(GuiPages &pages)
{
  sInt ii = 0;
  for(sInt g = 0; g < G_COUNT; g++)
  {
    const GroupRow &r = Groups[g];
    for(sInt i = 0; i < r.Count; i++)
    {
      sInt row = i / r.PerRow, col = i % r.PerRow;
      sF32 x = r.X + col * r.DX + row * r.RowDX, y = r.Y + col * r.DY + row * r.RowDY;
      if(g == G_CHANNELROWS)
      {
        // pairs of LEARN and CHANNEL; rows restart on each of the three pages
        sInt pair = i / 2, page = pair < 10 ? 0 : (pair < 21 ? 1 : 2);
        sInt inPage = pair - (page == 0 ? 0 : (page == 1 ? 10 : 21));
        x = (i % 2) ? 130.0f : -30.0f;
        y = inPage == 0 ? 99.0f : 50.0f - 35.0f * sF32(inPage - 1);
      }
      if(g == G_SCALERKEYS && i >= 4)
      {
        // ACTIVE, INVERT and TEST above the corners, CANCEL and CONFIRM below the page
        x = i < 7 ? r.X + 160.64f * sF32(i - 4) : 175.64f + 160.64f * sF32(i - 7);
        y = i < 7 ? 100.0f : -310.0f;
      }
      if(g == G_MEDIASTYLES || g == G_MEDIADIR || g == G_MEDIASWITCHES)
      {
        // the four media pages share their places
        sInt per = g == G_MEDIASTYLES ? 4 : (g == G_MEDIADIR ? 1 : 2);
        sInt k = i % per;
        x = r.X + k * r.DX;
        y = r.Y;
      }
      PlaceHome(g, i, x, y);
      pages.widgetHome[ii++] = sVec3(x, y, 0);
    }
  }
  sVERIFY(ii == BudgetSum);
}

void TouchGui::CreateWidgets()
{
  sInt ii = 0;
  for(sInt g = 0; g < G_COUNT; g++)
  {
    const GroupRow &r = Groups[g];
    for(sInt i = 0; i < r.Count; i++, ii++)
    {
      GuiWidget &w = pages.widgets[ii];
      sU32 kind = r.Kind, mask = r.Mask;
      sInt label = r.LabelList ? r.LabelList[i] : r.Label + i;
      sU32 value = sU32(i);
      sU32 *target = nullptr;
      sU32 *indicator = nullptr;
      sBool inScene = g != G_YESNO;
      if(g == G_KEYS && i == 0) pages.scrolledRowsFirst = ii;
      switch(g)
      {
      case G_STYLES: target = &style; break;
      case G_LISTS: target = &pages.movieSection, value = 8 + i, indicator = &pageIndicators[10 + i]; break;
      case G_PAGES: target = &pages.pageIndex, indicator = &pageIndicators[i < sGUI_TIMERS + 8 ? i : 0]; break;
      case G_AUTOFX: target = &autoFxActive, value = 1; break;
      case G_AUTOKEYS: target = &autoFxProgram; break;
      case G_MEDIASTYLES:
      {
        GuiMediaSection *s = Section(1 + i / 4);
        mask = MediaPageMasks[i / 4], target = U(s->Style), value = i % 4;
        break;
      }
      case G_MEDIADIR: mask = MediaPageMasks[i], target = &commandWords[CmdBrowse], value = 1 + i, indicator = &configs.configCommand; break;
      case G_MEDIASWITCHES:
      {
        sInt section = 1 + i / 2;
        mask = MediaPageMasks[i / 2];
        if(i % 2 == 0)
          target = U(Section(section)->Active), value = 1;
        else
          target = U(schedule.timers[section - 1].Running), value = 1;
        break;
      }
      case G_ALLOWTAP:
        if(i == 0) target = U(config.Slideshow.AllowEfx), value = 1;
        else target = &commandWords[CmdTap], value = 1, mask = Groups[G_EFFECTS].Mask;
        break;
      case G_EFFECTS: target = &selectedEffect; break;
      case G_EFFECTSWITCHES:
        if(i == 0) target = U(config.Effects[0].Active), value = 1;
        else if(i == 1) target = U(config.Effects[0].Alpha), value = 1;
        else target = &commandWords[CmdTap], value = 1, mask = Groups[G_EFFECTS].Mask;
        break;
      case G_EVERYPAGE:
        if(i == 0) target = &commandWords[CmdMute], value = 1;
        else if(i == 1) target = &dialogs.lockRequest, value = 1;
        else target = &commandWords[CmdExit], value = 1, kind = 5;
        break;
      case G_MESSAGES: target = &commandWords[CmdMessage]; break;
      case G_MESSAGEKEYS:
        if(i == 0) target = &commandWords[CmdText], value = 1;
        else if(i == 1) target = U(config.Messages[0].Active), value = 1, kind = 3;
        else target = U(schedule.textStart[0]), value = 1, kind = 3;
        break;
      case G_SHORTS: target = &commandWords[CmdShort]; break;
      case G_SHORTKEYS:
        if(i == 0) target = &commandWords[CmdText], value = 1;
        else target = U(schedule.textRunning[sGUI_TEXTSLOTS]), value = 1, kind = 3;
        break;
      case G_DISTKINDS: target = U(config.Distortions[0].Kind); break;
      case G_DISTACTIVE: target = U(config.Distortions[0].Active), value = 1; break;
      case G_DISTSOURCES: target = &selectedDistortion; break;
      case G_CONFIGKEYS:
        if(i < 8) target = &configs.configCommand, value = 1 + i;
        else target = &commandWords[CmdConfigActive], value = 1, kind = 3;
        break;
      case G_CONFIGSLOTS: target = U(configs.configSlot), indicator = &configs.configSelected[i]; break;
      case G_CHANNELROWS:
      {
        sInt pair = i / 2, page = pair < 10 ? 0 : (pair < 21 ? 1 : 2);
        mask = sGUI_PAGE_CHANNEL1 << page;
        label = (i % 2) ? 94 : 93;
        kind = (i % 2) ? 4 : 0;
        target = &commandWords[(i % 2) ? CmdChannel : CmdLearn], value = sU32(pair);
        break;
      }
      case G_CHANNELKEYS:
        mask = sGUI_PAGE_CHANNEL1 << (i / 3);
        if(i % 3 < 2) target = &configs.configCommand, value = 9 + i % 3;
        else target = &pages.channelPageState, value = (i / 3 + 1) % 3;
        break;
      case G_FADER: target = U(config.MovieStartFader[0]), value = 1; break;
      case G_SCALERKEYS:
        target = &commandWords[CmdScaler], value = 1 + i;
        if(i == 4) target = U(config.Scalers[0].Active), value = 1;
        if(i == 5) target = &pages.scalerInvert, value = 1;
        if(i >= 4 && i < 7) kind = 3;
        break;
      // the key to the other device: it names the device it shows
      case G_SCALERDEVICE: target = &commandWords[CmdScaler], value = 10, label = 105; break;
      case G_KEYS: target = U(keyboard.keyPressed), label = 420 + 2 * i; break;
      case G_EDITKEYS:
        kind = sU32(EditKinds[i]);
        if(i == 0) target = U(touch.KeyCase), value = 1;
        else if(i < 7) target = &keyboard.editKeys[i - 1], value = 1;
        else target = &commandWords[CmdKeyboard], value = i - 6;
        break;
      case G_YESNO: target = &commandWords[CmdDialog], value = 1 + i; break;
      case G_BROWSER: target = &commandWords[CmdBrowserKey], value = 1 + i; break;
      default: break;
      }
      w.CreateButton(&touch, kind, pages.widgetHome[ii].x, pages.widgetHome[ii].y, label, value, target, mask, indicator, inScene);
      if(g == G_KEYS) w.LabelStyle = 2;
      if(g == G_EFFECTSWITCHES || g == G_MEDIASWITCHES || g == G_AUTOFX || g == G_DISTACTIVE || g == G_FADER ||
         (g == G_MESSAGEKEYS && i == 1) || (g == G_SCALERKEYS && (i == 4 || i == 5)))
        w.Action = GuiWidget::TOGGLE, w.LightStyle = 1;
      if((g == G_MEDIASWITCHES && i % 2) || (g == G_MESSAGEKEYS && i == 2) || (g == G_SHORTKEYS && i == 1))
        w.Action = GuiWidget::SET, w.LightStyle = 2;
      if(g == G_ALLOWTAP && i == 0) w.Action = GuiWidget::TOGGLE;
      if((g == G_ALLOWTAP && i == 1) || (g == G_EFFECTSWITCHES && i == 2)) w.Action = GuiWidget::ADD;
      if(g == G_LISTS) w.ClearTarget = &pages.movieSection;
      if(g == G_EVERYPAGE || g == G_YESNO) w.DialogSafe = 1;
      if(g == G_EVERYPAGE && i < 2) w.Action = GuiWidget::TOGGLE, w.LightStyle = 1;
    }
  }
  pages.widgetCount = ii;
  sVERIFY(ii == BudgetSum);
}

void TouchGui::Init(SyncMachine *syncSource, sInt initFlags, TMData *)
{
  SyncSource = syncSource;
  sDPrint(u"GUI----------------------X");
  // the application found the data root before any scene's Init: slot 0 of the drives
  // is it
  BuildMediaDrives(folders.drives, GetDataRoot());
  StartupRecord *record = Machine ? Machine->Record : nullptr;
  folders.packMode = record && record->UsePackfile && record->PackfileName && sCheckFile(record->PackfileName);
  folders.loader.PackMode = folders.packMode;
  if(record && (record->UsePackfile || record->RecordPackfile))
    for(sInt i = 0; i < MediaFileCount; i++)
    {
      sPathString file;
      if(!JoinDataRoot(file.Ref(), MediaFileList[i]) || !sCheckFile(file))
        sDPrintF(u"%s/%s file not found!\n", GetDataRoot(), MediaFileList[i]);
    }
  CreateTMData(GuiTextureTable.Rows, GuiMaterials.Rows, initFlags & (sTMD_PACKED | sTMD_REFRESH));
  if(MaterialSet && WhiteMaterial < MaterialSet->MaterialCount)
    MaterialSet->Materials[WhiteMaterial]->Texture[0] = MaterialSet->Textures[2];

  pages.visible = 0;
  prevButtons = 0;
  touch.HeldWidget = -1;
  pages.pageIndex = 0;
  style = shownStyle = 5;
  sceneRequest.RequestFlag = 0;
  sceneRequest.RequestedScene = 12;
  selectedMovie = movieClear = sU32(-1);
  selectedVideo = prevVideo = sU32(-1);
  dialogs.dialogTimer = 3000;
  random.Seed(sGetTime() & 0xfffff);
  schedule.ResolveIntervals(config, random);

  ComputeHomes(pages);
  touch.Owner = this;
  {
    // the touch-effect page: the output's preview under the operator's finger, behind its keys
    static const sF32 FlipV[4] = {1, -1, 0, -1};
    const sF32 range[4] = {1229.4f, 691.2f, -614.7f, -345.6f};
    previewForm = sNEW ArrayForm(sGUI_PREVIEWMATERIAL);
    previewForm->Init(ArrayForm::PLANE, 1, 1, 2, 2, range, FlipV);
    previewForm->LayerMask = sGUI_PAGE_TOUCHME;
    AddObject(previewForm);
  }
  CreateWidgets();
  for(sInt i = 0; i < sGUI_TILES; i++)
    pages.tiles[i].Create(&touch, 0, -7, sU32(1000 + i), sU32(i), nullptr, U(sceneRequest.NextNumber),
                    U(config.StyleFlags[style][i]), 1);
  static const struct { sU32 O; sF32 X, Y; sU32 Mask; } SliderRows[sGUI_SLIDERS] = {
    {1, 0, -72, 0x1}, {0, 200, -315, 0x4}, {0, 170, -315, 0x8}, {0, 170, -315, 0x10}, {0, -185, -315, 0x800},
    {0, 179, -315, 0x800}, {0, -185, -315, 0x80000020}, {0, 179, -315, 0x80000020}, {0, -95, -315, 0x100},
    {0, 269, -315, 0x100}, {1, 15, -315, 0x200}, {0, 170, -315, 0x40}, {2, 433, 256, sGUI_ALLPAGES},
    {3, 118, -79, 0x4000}, {1, -140, -160, 0x40000}, {1, -140, -195, 0x40000}, {1, -140, -230, 0x40000},
    {1, -140, -265, 0x40000}, {0, 298, 80, 0x40000}, {0, 298, 45, 0x40000}};
  sF32 *values[sGUI_SLIDERS] = {&styleScroll[5], &config.Slideshow.Interval, &config.Logos.Interval,
                                &config.Flyer.Interval, &config.Movie.Power, &config.Movie.Interval,
                                &config.Effects[0].Transparency, &config.Effects[0].Power,
                                &config.Distortions[0].Frequency, &config.Distortions[0].Power, &config.Latency,
                                &config.Messages[0].Interval, &brightness, nullptr,
                                &config.Scalers[0].Out[0], &config.Scalers[0].Out[1], &config.Scalers[0].Out[2],
                                &config.Scalers[0].Out[3], &config.Scalers[0].Brightness, &config.Scalers[0].Contrast};
  for(sInt i = 0; i < sGUI_SLIDERS; i++)
    pages.sliders[i].Create(&touch, SliderRows[i].O, SliderRows[i].X, SliderRows[i].Y, sU32(24 + i), values[i],
                      SliderRows[i].Mask);

  // under the text: the dark quad that the playing tile's "END:" line sits on
  {
    static const sF32 FlipV[4] = {1, -1, 0, -1};
    const sF32 range[4] = {120, 80, -60, -40};
    endForm = sNEW ArrayForm(PlainMaterial);
    endForm->Init(ArrayForm::PLANE, 1, 1, 2, 2, range, FlipV);
    endForm->LayerMask = sGUI_PAGE_LIST;
    endForm->Colour = 0;
    AddObject(endForm);
  }
  textForm = sNEW TextForm(4);
  textForm->SetFont(this, 3);
  textForm->LineBrightness = 0.7f;
  textForm->Colour = 0xFFE8E8E8;
  textForm->LayerMask = 0xffffffff;
  AddObject(textForm);
  touch.Text = textForm;
  // sixteen bevelled boxes, each hidden (scaled to nothing) until something places it: at
  // its identity placement a box would sit on the middle of the scene tiles' row
  boxForm = sNEW InstanceForm(sGUI_BOXMATERIAL);
  boxForm->Init(sGUI_BOXES, 12.0f, 3.0f);
  for(sInt k = 0; k < boxForm->Count; k++) boxForm->Instances[k].i = boxForm->Instances[k].j = boxForm->Instances[k].k = sVec3(0, 0, 0);
  AddObject(boxForm);
  // the quads that are no element: drawn after the text, over the pages
  auto quad = [this](sInt material, sF32 w, sF32 h, sU32 mask) {
    static const sF32 FlipV[4] = {1, -1, 0, -1};
    const sF32 range[4] = {w, h, -w / 2, -h / 2};
    ArrayForm *f = sNEW ArrayForm(material);
    f->Init(ArrayForm::PLANE, 1, 1, 2, 2, range, FlipV);
    f->LayerMask = mask;
    AddObject(f);
    return f;
  };
  // the yes/no dialog's backdrop: over the page, under the dialog's keys and lines
  dialogForm = quad(PlainMaterial, 660, 190, sGUI_PAGE_DIALOG);
  dialogForm->Matrix.Identity();
  dialogForm->Matrix.l = sVec3(0, -25, 0);
  dialogForm->Colour = 0xFF0C121A;
  cursorForm = quad(WhiteMaterial, 3, 17, sGUI_PAGE_KEYBOARD);
  scopeForm = sNEW ArrayForm(WhiteMaterial);
  scopeForm->Vertices = NewMeshVertices(2 * ScopeColumns);
  for(sInt i = 0; i < 2 * ScopeColumns; i++)   // at rest: silence
    scopeForm->Vertices[i].Set(ScopeX(i % ScopeColumns), ScopeRest - (i < ScopeColumns ? ScopeWidth : 0.0f), 0, 0, 0);
  scopeForm->Init(ArrayForm::GRID, 2, 1, ScopeColumns, 2);
  scopeForm->Colour = 0xA040A0F0;
  scopeForm->LayerMask = sGUI_PAGE_HEADER;
  AddObject(scopeForm);
  // the browser's bars: the row bars span the entry column, the other two the drive column
  for(sInt i = 0; i < 3 + 17; i++)
  {
    sBool drive = i == 1 || i == 2;
    static const sF32 FlipV[4] = {1, -1, 0, -1};
    const sF32 range[4] = {drive ? 156.0f : 340.0f, 23.0f, drive ? -399.0f : -240.0f, -23.0f};
    ArrayForm *f = sNEW ArrayForm(WhiteMaterial);
    f->Init(ArrayForm::PLANE, 1, 1, 2, 2, range, FlipV);
    f->LayerMask = sGUI_PAGE_BROWSER;
    f->Colour = 0;
    AddObject(f);
    browser.Bars[i] = f;
  }
  // the AUTO FX hint's quads: drawn by AfterRender over the pages, never by the list
  for(ArrayForm *&f : hintQuads) f = quad(WhiteMaterial, 1024, 480, 0);
  rippleForm = quad(1, 64, 64, 0xffffffff);
  rippleForm->Colour = 0;
  pointerForm = quad(0, 32, 32, 0xffffffff);
  counters[1] = 500;

  folders.loaderThread = StartGuiLoader(folders.loader);
  StartupConfig(folders.packMode);
  random.Seed(sGetTime() & 0xfffff);
  randomWord = sU32(random.NextBelow(65536));
  touch.Clock = 0;
  sceneRequest.TakenFlag = 1;
  PickAutoScene(0);
  previousRequested = sceneRequest.NextNumber;
  modeScene = sNEW GuiModeScene(syncSource, this);
  MarkAllTiles();
}


void TouchGui::BindListSection()
{
  // the movie and video-in sections share one set of keys and sliders on the list page
  sBool video = pages.movieSection != 8;
  for(sInt i = 0; i < pages.widgetCount; i++)
  {
    GuiWidget &w = pages.widgets[i];
    if(w.LabelId == 62 && w.Value == 4)   // the movie section's DIRECTORY
    {
      w.PageMask = video ? 0u : sU32(sGUI_PAGE_LIST);
      // its quads follow, or a hidden key would still show its face without its label
      for(ArrayForm *f : {w.FrameForm, w.FaceForm, w.IndicatorForm})
        if(f) f->LayerMask = w.PageMask;
      continue;
    }
    if(w.PageMask != sGUI_PAGE_LIST) continue;
    if(w.LabelId == 63 || (w.LabelId >= 67 && w.LabelId <= 69))
      w.Target = video ? U(config.VideoStyle) : U(config.Movie.Style);
    else if(w.LabelId == 60)
      w.Target = video ? U(config.VideoActive) : U(config.Movie.Active);
    else if(w.LabelId == 61)
      w.Target = video ? U(schedule.timers[4].Running) : U(schedule.timers[3].Running);
  }
  pages.sliders[4].Value = video ? &config.VideoPower : &config.Movie.Power;
  pages.sliders[5].Value = video ? &config.VideoInterval : &config.Movie.Interval;
  pages.sliders[4].Changed = pages.sliders[5].Changed = 1;
}

/****************************************************************************/
/***   Frame                                                              ***/
/****************************************************************************/

sU32 TouchGui::ComputePageMask() const
{
  return pages.PageMask(browser.browserOpen, config.Effects[4].Active, folders.loader.Requests.load() != 0,
                        dialogs.dialogKind != 0, dialogs.touchLocked != 0);
}

void TouchGui::UpdateTouch(sF32 px, sF32 py, sInt buttons, sInt width, sInt height)
{
  MapPointer(px, py, width, height, touch.PointerX, touch.PointerY);
  touch.PressEdge = (buttons & 1) && !(prevButtons & 1);
  touch.ButtonDown = buttons & 1;
  prevButtons = buttons;
  // a touch screen without keyboard: a tap in the top right corner shows the GUI
  if(!pages.visible && touch.PressEdge && touch.PointerX >= 550.0f && touch.PointerY >= 280.0f)
  {
    pages.visible = 1;
    touch.PressEdge = 0;
  }
}

void TouchGui::DrawWidgets()
{
  pages.DrawElements();
  pageIndicators[0] = autoFxActive;
  pageIndicators[1] = sU32(config.Slideshow.Active);
  pageIndicators[2] = sU32(config.Logos.Active);
  pageIndicators[3] = sU32(config.Flyer.Active);
  sU32 any = 0;
  for(const GuiEffectSetting &e : config.Effects) any |= sU32(e.Active);
  pageIndicators[4] = any;
  any = 0;
  for(const GuiMessageSetting &m : config.Messages) any |= sU32(m.Active);
  pageIndicators[5] = any;
  pageIndicators[7] = sU32(config.Distortions[0].Active | config.Distortions[1].Active);
  any = 0;
  for(sU32 c : configs.configSelected) any |= c;
  pageIndicators[9] = any;
  pageIndicators[10] = sU32(config.Movie.Active);
  pageIndicators[11] = sU32(config.VideoActive);   // the video-in lamp shows its timer's switch
}

void TouchGui::PrintHeader()
{
  sF32 bpm = SyncSource ? SyncSource->Tempo : 0.0f;
  sStringBuffer<64> line;
  sSPrintF(line.Ref(), u"BPM: %1.1f", bpm);
  textForm->PrintLeft(line, -330, 184);
  sSPrintF(line.Ref(), u"v%1.2f", 1.25f);
  textForm->PrintLeft(line, -143.5f, 295);
  sSPrintF(line.Ref(), u"SIV: %3.1f%%", sceneRequest.InputGain * 100.0f);
  textForm->PrintLeft(line, -486, 184);   // from -450 "SIV: 100.0%" would run into the BPM number
  // the input warning from what the SYNC machine measured, dark 256 ms of every 1024
  if(touch.Clock & 0x300)
    if(const sChar *warning = AudioWarning(sceneRequest.PeakLevel, sceneRequest.ClipFraction, sceneRequest.InputGain,
                                                 sceneRequest.InputMissing))
      textForm->PrintCentered(warning, -58, 184);   // centred at -70 it would cover a three-digit BPM number's end
  if(!(touch.PageMask & sGUI_PAGE_HEADER)) return;
  // the two section lines and the input section's title over the tiles
  sF32 keepScale = textForm->TextScale;
  textForm->TextScale = keepScale * 0.75f;
  textForm->PrintCentered(u"- ---== INPUT SECTION ==--- -", 0, 153);
  textForm->PrintCentered(u"- ---== FUNCTION SECTION ==--- -", 0, -108);
  textForm->TextScale = keepScale;
  if(pages.movieSection == 8)
  {
    sChar folder[sGUI_FOLDERCHARS * 2];
    SectionFolderLabel(folder, sGUI_FOLDERCHARS * 2, 4);
    sSPrintF(line.Ref(), u"SELECT MOVIE FROM %s", folder);
    PrintClipped(textForm, line, -435, 53, 870, 0);
  }
  else if(pages.movieSection == 9)
    textForm->PrintCentered(u"VIDEO-IN DEVICES", 0, 53);
  else
  {
    sSPrintF(line.Ref(), u"SELECT SCENE IN %s", GuiLabel(4 + sInt(style < 8 ? style : 0)));
    textForm->PrintCentered(line, 0, 53);
  }
  if((touch.PageMask & GuiMainPageMask(sInt(pages.pageIndex)) & ~sGUI_PAGE_HEADER) == 0) return;
  textForm->PrintCentered(GuiLabel(44 + sInt(pages.pageIndex)), 0, -209);
}

const sChar *AudioWarning(sF32 level, sF32 overload, sF32 gain, sBool missing)
{
  // without a capture device the gain would climb to its top for nothing: say so at once
  if(missing || (level < 0.15f && gain > 0.99f)) return u"No audio signal found!";
  if(level < 0.85f && gain > 0.99f) return u"Audio signal too low!";
  if(overload > 0.08f && gain < 0.2f) return u"Audio signal too loud!";
  return nullptr;
}

void TouchGui::Render(sInt, sViewport *)
{
  textForm->Clear();
  if(Machine)
    UpdateTouch(Machine->Pointer.X, Machine->Pointer.Y, Machine->Pointer.Buttons, DisplayWidth, DisplayHeight);
  touch.PageMask = ComputePageMask();
  touch.StepCount = StepCount;
  LayerMask = touch.PageMask;
  if(pages.pageIndex > 9) pages.pageIndex = 0;
  // the scene machine's copy of the output, scaled, is what the touch-effect page shows
  if(Machine && Machine->PreviewTarget && MaterialSet && sGUI_PREVIEWMATERIAL < MaterialSet->MaterialCount)
    MaterialSet->Materials[sGUI_PREVIEWMATERIAL]->Texture[0] = Machine->PreviewTarget;
  // the effect and distortion keys follow the chosen effect and source
  sInt e = selectedEffect < sGUI_EFFECTS ? sInt(selectedEffect) : 0;
  sInt d = selectedDistortion < sGUI_DISTORTIONS ? sInt(selectedDistortion) : 0;
  sInt msg = commandWords[CmdMessage] < sGUI_TEXTSLOTS ? sInt(commandWords[CmdMessage]) : 0;
  sInt shortMsg = commandWords[CmdShort] < sGUI_TEXTSLOTS ? sInt(commandWords[CmdShort]) : 0;
  for(sInt i = 0; i < pages.widgetCount; i++)
  {
    GuiWidget &w = pages.widgets[i];
    if(w.PageMask == 0x80000020 && w.LabelId == 60) w.Target = U(config.Effects[e].Active);
    if(w.PageMask == 0x80000020 && w.LabelId == 77) w.Target = U(config.Effects[e].Alpha);
    if(w.PageMask == 0x100 && w.LabelId == 60) w.Target = U(config.Distortions[d].Active);
    // the row of kinds is the chosen source's: the screen names its effects, the movies
    // and the video input have a random style and styles 1 to 3
    if(w.PageMask == 0x100 && w.Kind == 0 && w.Target != &selectedDistortion && w.Value < 4)
    {
      w.Target = U(config.Distortions[d].Kind);
      w.LabelId = d == 0 ? DistKindLabels[w.Value] : DistStyleLabels[w.Value];
    }
    if(w.PageMask == 0x40 && w.LabelId == 60) w.Target = U(config.Messages[msg].Active);
    if(w.PageMask == 0x40 && w.LabelId == 61) w.Target = U(schedule.textStart[msg]);
    // a short message's START raises its show flag: the slot goes on air and the flag drops
    if(w.PageMask == 0x80 && w.LabelId == 61) w.Target = U(schedule.textRunning[sGUI_TEXTSLOTS + shortMsg]);
  }
  // a slider writes its knob into its value every step: one that moves on to another
  // setting takes its knob from that setting first, or the choice of another effect,
  // source or message would hand it the previous one's value
  auto follow = [this](sInt slider, sF32 *value) {
    if(pages.sliders[slider].Value != value) pages.sliders[slider].Value = value, pages.sliders[slider].Changed = 1;
  };
  follow(6, &config.Effects[e].Transparency);
  follow(7, &config.Effects[e].Power);
  follow(8, &config.Distortions[d].Frequency);
  follow(9, &config.Distortions[d].Power);
  follow(11, &config.Messages[msg].Interval);
  if(pages.scalerPageOpen) BindScalerDevice();

  schedule.SelectTimerMessage(config, mediaState);
  if(sceneRequest.TakenFlag)
  {
    previousRequested = sceneRequest.NextNumber;
    PickAutoScene(1);
  }
  DrawWidgets();
  FrameSteps();
  LayoutSceneTiles();
  if(sInt(pages.movieSection) != prevListChoice)
  {
    prevListChoice = sInt(pages.movieSection);
    BindListSection();
    // the previews are made from the start on; the list is counted and made anew only
    // when the folder holds another number of movies than when they were made
    sInt before = folders.listCount;
    if(pages.movieSection == 8) folders.CountMovieFiles(config.Movie);
    if(pages.movieSection == 8 && folders.listCount != before)
      RefreshMovieList();
    else
      LayoutList();
  }
  if(browser.browserOpen) DirBrowser();
  BuildMoviePreviews();
  if(pages.movieSection == 8 || pages.movieSection == 9)
    pages.DrawListTiles();
  else
    DrawSceneTiles();
  UpdateSlideshowTimer();
  {
    sScopeLock lock(&guiLock);
    schedule.UpdateLogoFlyer(config, mediaState, folders.flyerPictures, SyncSource && SyncSource->Results.Bar8Phase < 0.01f);
  }
  {
    sScopeLock lock(&guiLock);
    schedule.UpdateFlyerTimer(config, mediaState, folders.flyerPictures);
  }
  UpdateVideoInTimer();
  DriveModeScene();
  PublishRecords();
  // the animations write a few media-state words of their own over the published ones
  // (only while a program runs: a flash still fading at its stop would undo the settings given back)
  if(modeScene && autoFxActive) modeScene->Render(0, nullptr);
  if(touch.PageMask && !(touch.PageMask & sGUI_PAGE_TOUCHME)) PrintHeader();
  DrawKeyboard();
  DrawPointerAndScope();
  PrintFunctionSection();
  PrintOverlayPages();
  MakeLogoTextures();
  MakeFlyerTexture();
  if(!touch.ButtonDown) touch.HeldWidget = -1;
}

/****************************************************************************/
/***   Keyboard, pointer and level scope                                  ***/
/****************************************************************************/

void TouchGui::DrawKeyboard()
{
  if(!textForm || !(touch.PageMask & sGUI_PAGE_KEYBOARD))
  {
    if(cursorForm) cursorForm->Colour = 0;
    return;
  }
  sStringBuffer<300> prompt;
  static const sChar *const Corners[4] = {u"X0", u"Y0", u"X1", u"Y1"};
  sInt t = keyboard.keyboardTarget;
  if(browser.KeyboardPurpose)
    prompt = browser.KeyboardPurpose == 6 ? u"Connfiguration file name (without .Spk)" : u"Directory name";
  else if(keyboard.keyboardPurpose == KbMessage || keyboard.keyboardPurpose == KbShortMessage)
    sSPrintF(prompt.Ref(), u"MESSAGE %d", t + 1);
  else if(keyboard.keyboardPurpose == KbChannel && t >= 0 && t < sGUI_CONTROLS)
    sSPrintF(prompt.Ref(), pages.channelKind == 1 ? u"DMX channel number for: %s" : u"MIDI channel number for: %s",
             pages.channelKind == 1 ? DmxControlNames[t] : MidiControlNames[t]);
  else if(keyboard.keyboardPurpose == KbScalerNumber && t >= 0 && t < 4)
    sSPrintF(prompt.Ref(), u"Number for %s", Corners[t]);
  textForm->PrintCentered(prompt, 0, 70);

  keyboard.Draw(textForm, cursorForm, touch, SyncClockMs());
}

void TouchGui::DrawPointerAndScope()
{
  if(pointerForm)
  {
    pointerForm->Matrix.Identity();
    pointerForm->Matrix.l = sVec3(touch.PointerX, touch.PointerY, 0);
  }
  // the ripple of the last release grows to three times its size and fades in 500 ms
  if(releaseEdge) rippleX = touch.PointerX - 10, rippleY = touch.PointerY + 10;
  if(rippleForm)
  {
    sF32 r = sF32(rippleTime) * 0.002f;
    r = r < 0 ? 0 : (r > 1 ? 1 : r);
    rippleForm->Matrix.Identity();
    rippleForm->Matrix.i = sVec3(1 + 2 * r, 0, 0);
    rippleForm->Matrix.j = sVec3(0, 1 + 2 * r, 0);
    rippleForm->Matrix.l = sVec3(rippleX, rippleY, 0);
    rippleForm->Colour = sBlendColor(0xFFB0B0B0, 0, r);
  }
  // the level scope: the loudest of 300 input values per column, newest on the right;
  // its vertices live for one frame, so they are written every frame
  if(!scopeForm) return;
  const SyncSoundRing *ring = touch.PageMask && SyncSource && SyncSource->Receiver.Ring ? &SyncSource->Receiver : nullptr;
  sInt pos = ring ? ring->WritePos.load() - 1 : 0;
  for(sInt i = 0; i < ScopeColumns; i++)
  {
    sF32 m = 0;
    for(sInt k = 0; ring && k < 300; k++, pos--)
    {
      SyncSoundRing::WrapIndex(&pos);
      sF32 v = std::fabs(ring->Get(pos));
      m = v > m ? v : m;
    }
    m = m > 1 ? 1 : m;
    sF32 y = ScopeRest + m * ScopeRange;
    scopeForm->Vertices[i].Pos.y = y - ScopeWidth;
    scopeForm->Vertices[ScopeColumns + i].Pos.y = y;
  }
  scopeForm->Build();
}

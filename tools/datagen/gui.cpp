// The touch GUI's pictures, its skins, its configurations and the stand-in media folders.
//
// The key, slider and tile pictures are drawn to the places the GUI's elements give them
// (gui/faces.hpp): a picture's pixel is one GUI unit of its quad, so a key's face, its
// label and its touch area agree. The default configuration is written by the
// GUI's own writer from its defaults, so the file is exactly what the GUI saves; the test
// fixtures next to it are a valid other configuration, a format-1.0 file, one with a
// flipped byte and one whose message holds a double quote as hand-written.
#include "datagen.hpp"
#include "draw.hpp"

#include "base/memory.hpp"
#include "base/textbuffer.hpp"
#include "gui/configfile.hpp"
#include "gui/faces.hpp"

// the movie writer of the media tests encodes the stand-in movies too
#include "../../tests/common/movie_writer.hpp"
#include "platform/text/utf.hpp"

#include <cmath>
#include <filesystem>
#include <string>

namespace datagen
{
namespace
{

enum Look : sInt
{
  KeyFrame, KeyFace, Knob, Ring, Plain, Backdrop, Gradient, Logo, Icon, Lamp, Groove, TileFrame, TileRim, TileMark
};
struct GuiPicture
{
  const sChar *Unpacked;
  const sChar *Packed;
  sInt W, H;
  Look Kind;
  sInt Widget;   // keys: the widget kind whose face it draws; grooves: the slider orientation
};
const GuiPicture Pictures[] = {
  {u"pointer.pic", u"pointer.pic", 64, 64, Ring, 0}, {u"hit.bmp", u"hit.png", 128, 128, Ring, 0},
  {u"white.bmp", u"white.png", 8, 8, Plain, 0}, {u"wave.pic", u"wave.pic", 256, 16, Plain, 0},
  {u"background3.bmp", u"background3.png", 1024, 512, Backdrop, 0}, {u"Sparkvane.bmp", u"Sparkvane.png", 512, 128, Logo, 0},
  {u"color.bmp", u"color.png", 256, 16, Gradient, 0}, {u"Xbutton.bmp", u"Xbutton.pic", 256, 64, KeyFrame, 0},
  {u"Xbutton_a.pic", u"Xbutton_a.pic", 256, 64, KeyFrame, 0}, {u"Xbutton_on.bmp", u"Xbutton_on.png", 256, 64, KeyFace, 0},
  {u"Xbutton_active.bmp", u"Xbutton_active.png", 256, 64, Lamp, 0}, {u"Xscreen.bmp", u"Xscreen.pic", 256, 128, TileFrame, 0},
  {u"Xscreen_b1_on.bmp", u"Xscreen_b1_on.png", 256, 128, TileRim, 0},
  {u"Xscreen_b2_on.bmp", u"Xscreen_b2_on.png", 256, 128, TileMark, 0},
  {u"Xbig_slider.bmp", u"Xbig_slider.pic", 512, 64, Groove, 1}, {u"Xbig_slider_button.bmp", u"Xbig_slider_button.png", 64, 64, Knob, 0},
  {u"Xslider.bmp", u"Xslider.pic", 256, 64, Groove, 0}, {u"Xslider_button.bmp", u"Xslider_button.png", 64, 64, Knob, 0},
  {u"Xv_slider.bmp", u"Xv_slider.pic", 64, 256, Groove, 2}, {u"Xv_slider_button.bmp", u"Xv_slider_button.png", 64, 64, Knob, 0},
  {u"Xv_big_slider.bmp", u"Xv_big_slider.pic", 64, 512, Groove, 3},
  {u"Xv_big_slider_button.bmp", u"Xv_big_slider_button.png", 64, 64, Knob, 0},
  {u"Xbig_button.bmp", u"Xbig_button.pic", 128, 128, KeyFrame, 3}, {u"Xbig_button_on.bmp", u"Xbig_button_on.png", 128, 128, KeyFace, 3},
  {u"Xvoid_button.bmp", u"Xvoid_button.pic", 256, 64, KeyFrame, 4}, {u"Xsmall_button.bmp", u"Xsmall_button.pic", 64, 64, KeyFrame, 5},
  {u"Xsmall_button_active.bmp", u"Xsmall_button_active.png", 64, 64, KeyFace, 5},
  {u"movie_icon.bmp", u"movie_icon.png", 256, 128, Icon, 0}, {u"unknown_codec.bmp", u"unknown_codec.png", 256, 128, Icon, 0},
  {u"color_test.bmp", u"color_test.png", 256, 256, Gradient, 0}, {u"window.bmp", u"window.png", 512, 512, KeyFrame, 0},
};

// Pixels of a rectangle in GUI units relative to the centre of a quad as large as the
// picture (the quads are centred; the picture's first row is the quad's top).
struct PixelRect
{
  sInt X0, Y0, X1, Y1;
};
PixelRect ToPixels(const sImage &img, const GuiHitRect &r)
{
  auto clampTo = [](sF32 v, sInt hi) { return v < 0 ? 0 : (v > sF32(hi) ? hi : sInt(v)); };
  sF32 cx = sF32(img.SizeX) / 2, cy = sF32(img.SizeY) / 2;
  return {clampTo(r.X0 + cx, img.SizeX), clampTo(cy - r.Y1, img.SizeY), clampTo(r.X1 + cx, img.SizeX),
          clampTo(cy - r.Y0, img.SizeY)};
}

// A rounded panel: fill, then a rim of two pixels.
void Panel(sImage &img, const PixelRect &p, sU32 fill, sU32 rim)
{
  FillRect(img, p.X0, p.Y0, p.X1, p.Y1, fill);
  FrameRect(img, p.X0, p.Y0, p.X1, p.Y1, 2, rim);
  for(sInt x : {p.X0, p.X1 - 1})
    for(sInt y : {p.Y0, p.Y1 - 1})
      if(x >= 0 && y >= 0 && x < img.SizeX && y < img.SizeY) img.Data[y * img.SizeX + x] = 0;
}

void Draw(sImage &img, const GuiPicture &p, sRandomLcg &rnd)
{
  img.Fill(0);
  switch(p.Kind)
  {
  case KeyFrame:   // the key's body: a light panel the frame colour tints, with a bright rim
    Panel(img, ToPixels(img, GuiKindFaces[p.Widget]), Argb(0.85f, 0.8f, 0.85f, 1.0f), Argb(1, 0.75f, 0.85f, 1.0f));
    break;
  case KeyFace:   // the lit face inside the rim, opaque mid grey so a light label stays readable on it
  {
    PixelRect r = ToPixels(img, GuiKindFaces[p.Widget]);
    r = {r.X0 + 2, r.Y0 + 2, r.X1 - 2, r.Y1 - 2};
    for(sInt y = r.Y0; y < r.Y1; y++)
      for(sInt x = r.X0; x < r.X1; x++)
        img.Data[y * img.SizeX + x] = Grey(0.62f - 0.12f * sF32(y - r.Y0) / sF32(r.Y1 - r.Y0));
    break;
  }
  case Lamp:
    Panel(img, ToPixels(img, GuiIndicatorLamp), Argb(1, 1.0f, 0.75f, 0.3f), Argb(1, 1.0f, 0.95f, 0.7f));
    break;
  case Groove:
  {
    // the knob's line over its travel, from the slider kinds (travel 98.56, 204.8, 64, 175.104)
    static const sF32 Travel[4] = {98.56f, 204.8f, 64.0f, 175.104f};
    sBool vertical = p.Widget >= 2;
    sF32 t = Travel[p.Widget] + 12, o = GuiSliderKnobOffset[vertical];
    GuiHitRect g = vertical ? GuiHitRect{o - 6, o + 6, -t, t} : GuiHitRect{-t, t, o - 6, o + 6};
    Panel(img, ToPixels(img, g), Argb(0.7f, 0.6f, 0.7f, 0.8f), Argb(1, 0.75f, 0.85f, 1.0f));
    break;
  }
  case Knob:   // a round knob the size of a finger tip
    Shade(img, [](sF32 u, sF32 v) {
      sF32 r = std::sqrt(u * u + v * v);
      return Argb(SmoothStep(0.45f, 0.38f, r), 0.95f - 0.4f * SmoothStep(0.25f, 0.4f, r), 0.95f, 0.95f);
    });
    break;
  case TileFrame:
  {
    Panel(img, ToPixels(img, GuiTileFrame), Argb(0.55f, 0.8f, 0.85f, 1.0f), Argb(1, 0.75f, 0.85f, 1.0f));
    // the "next" corner: a play triangle
    PixelRect n = ToPixels(img, GuiTileNext);
    sInt cx = (n.X0 + n.X1) / 2, cy = (n.Y0 + n.Y1) / 2;
    for(sInt y = -8; y <= 8; y++)
      for(sInt x = -6; x <= 8 - std::abs(y); x++) img.Data[(cy + y) * img.SizeX + cx + x] = 0xffe0e8ff;
    break;
  }
  case TileRim:   // lights around the picture when the tile is chosen
  {
    GuiHitRect r = GuiTilePicture;
    PixelRect p = ToPixels(img, {r.X0 - 4, r.X1 + 4, r.Y0 - 4, r.Y1 + 4});
    FrameRect(img, p.X0, p.Y0, p.X1, p.Y1, 4, 0xffffffff);
    break;
  }
  case TileMark:   // the allowed lamp in the lower right corner
  {
    PixelRect m = ToPixels(img, GuiTileMark);
    Panel(img, {m.X0 + 8, m.Y0 + 10, m.X1 - 8, m.Y1 - 10}, 0xffffffff, 0xffc0c0c0);
    break;
  }
  case Ring:
    Shade(img, [](sF32 u, sF32 v) {
      sF32 r = std::sqrt(u * u + v * v);
      return Argb(Clamp01(1 - std::fabs(r - 0.7f) * 6), 1, 1, 1);
    });
    break;
  case Plain: img.Fill(0xffffffff); break;
  case Backdrop:
  {
    Noise n(rnd.Next(), 8);
    Shade(img, [&n](sF32 u, sF32 v) {
      sF32 c = n.At((u + 1) * 4, (v + 1) * 4, 4);
      return Argb(1, 0.05f + 0.1f * c, 0.08f + 0.12f * c, 0.15f + 0.2f * c);
    });
    break;
  }
  case Gradient:
    Shade(img, [](sF32 u, sF32) {
      sF32 h = (u + 1) * 3;
      return Argb(1, Clamp01(std::fabs(h - 3) - 1), Clamp01(2 - std::fabs(h - 2)), Clamp01(2 - std::fabs(h - 4)));
    });
    break;
  case Logo: PrintCentered(img, u"SPARKVANE", img.SizeX / 2, img.SizeY / 2, img.SizeY / 2, 1, 0xffe8e8ff); break;
  case Icon:
    img.Fill(0xff202830);
    FrameRect(img, 8, 8, img.SizeX - 8, img.SizeY - 8, 4, 0xff8090a0);
    break;
  }
}

// A scene picture of a style's skin, 256 x 128: the style's colours in a pattern of the
// picture's own and the name of the scene its tile starts.
void Skin(Tree &tree, const std::u16string &unpacked, const std::u16string &packed, const sChar *name, sF32 hue,
          sInt n, sRandomLcg &rnd)
{
  sImage img(256, 128);
  sF32 phase = rnd.NextFloat(6.28f);
  hue = hue + 0.05f * sF32(n % 7);
  Shade(img, [hue, n, phase](sF32 u, sF32 v) {
    sF32 w = 0.5f + 0.5f * std::sin(u * (3 + n % 4) + v * 2 + phase);
    sF32 r = std::sqrt(u * u + v * v);
    return Argb(1, Clamp01(hue + 0.35f * w - 0.2f * r), Clamp01(0.25f + 0.35f * w * (1 - hue)), Clamp01(1.1f - hue - 0.3f * r));
  });
  FillRect(img, 0, 80, 256, 128, 0xa0000000);
  PrintCentered(img, name, 128, 104, 30, 1, 0xffffffff);
  tree.WriteImage(unpacked.c_str(), img);
  tree.WriteImage(packed.c_str(), img);
}

void WriteConfig(Tree &tree, const sChar *name, const GuiConfig &c, sRandomLcg &rnd, sInt flipByte = -1,
                 const sChar *textOverride = nullptr)
{
  sTextBuffer text;
  if(textOverride)
    text.Print(textOverride);
  else
    BuildConfigText(text, c, 0);
  sDInt size = 0;
  sU8 *data = EncodeConfigText(text.Get(), rnd, size);
  if(flipByte >= 0 && flipByte < size) data[flipByte] ^= 0x40;
  tree.WriteData(name, data, size);
  sMemFree(data);
}

void Picture(Tree &tree, const sChar *name, sInt w, sInt h, sU32 corner, sRandomLcg &rnd)
{
  sImage img(w, h);
  sF32 a = rnd.NextFloat(6.28f);
  Shade(img, [a](sF32 u, sF32 v) {
    return Argb(1, 0.5f + 0.5f * std::sin(u * 4 + a), 0.5f + 0.5f * std::sin(v * 3 - a), 0.4f);
  });
  FillRect(img, 0, 0, 4, 4, corner);
  // the formats only the picture decoder reads carry their name, to be told apart on the screen
  const sChar *ext = sFindFileExtension(name);
  if(sCompareStringNoCase(ext, u"gif") == 0 || sCompareStringNoCase(ext, u"tif") == 0)
    PrintCentered(img, sCompareStringNoCase(ext, u"gif") == 0 ? u"GIF" : u"TIFF", w / 2, h / 2, h / 5, 1, 0xFFFFFFFF);
  tree.WriteImage(name, img);
}

// A logo as a club's credits are: a name between two bars in one colour on a plain ground,
// the ground the kind the loader reads from the first pixel: transparent, white or dark.
void LogoPicture(Tree &tree, const sChar *name, sInt w, sInt h, sU32 ground, const sChar *text, sU32 ink)
{
  sImage img(w, h);
  img.Fill(ground);
  FillRect(img, w / 8, h * 5 / 20, w * 7 / 8, h * 6 / 20, ink);
  FillRect(img, w / 8, h * 14 / 20, w * 7 / 8, h * 15 / 20, ink);
  PrintCentered(img, text, w / 2, h / 2, h / 5, 1, ink);
  tree.WriteImage(name, img);
}

// A flyer: a title and a line under it on a dark ground with a glow of the night's colour.
void FlyerPicture(Tree &tree, const sChar *name, sInt w, sInt h, sF32 hue, const sChar *title, const sChar *line)
{
  sImage img(w, h);
  const sF32 r = 0.5f + 0.5f * std::cos(hue), g = 0.5f + 0.5f * std::cos(hue - 2.1f), b = 0.5f + 0.5f * std::cos(hue - 4.2f);
  Shade(img, [&](sF32 u, sF32 v) {
    sF32 glow = Glow(u * 0.8f, (v + 0.35f) * 1.2f) * 0.8f + 0.12f * (1.0f - v) * 0.5f;
    return Argb(1.0f, 0.04f + glow * r, 0.03f + glow * g, 0.06f + glow * b);
  });
  FrameRect(img, w / 32, h / 32, w - w / 32, h - h / 32, h / 96 + 1, Argb(1.0f, 0.5f + 0.5f * r, 0.5f + 0.5f * g, 0.5f + 0.5f * b));
  PrintCentered(img, title, w / 2, h * 11 / 20, h / 7, 1, 0xffffffff);
  PrintCentered(img, line, w / 2, h * 3 / 4, h / 14, 0, 0xffe0e0e0);
  tree.WriteImage(name, img);
}

void Generate(Tree &tree)
{
  sRandomLcg rnd = NamedRandom("gui");
  for(const GuiPicture &p : Pictures)
  {
    sImage img(p.W, p.H);
    Draw(img, p, rnd);
    tree.WriteImage((std::u16string(u"gui/unpacked/") + p.Unpacked).c_str(), img);
    tree.WriteImage((std::u16string(u"gui/packed/") + p.Packed).c_str(), img);
  }
  // the skins: each picture names the scene of the tile that shows it (GuiStyleEntries);
  // pictures no tile shows name their number
  static const sChar *const styles[] = {u"ambient", u"tekkno", u"funk", u"disco", u"minimal", u"all"};
  static const sChar *const scenes[13] = {u"MORVENSK", u"FISH", u"TRANSFORMER", u"BODY", u"PLANT", u"ABSTRACT", u"CUBIC",
                                          u"INVADERS", u"TUNNEL", u"ROBOT", u"CRYSTAL", u"LAVA", u"LED1"};
  const sChar *names[6 * 20] = {};
  for(sInt style = 0; style < 6; style++)
  {
    GuiStyleEntry entries[sGUI_STYLEFLAGS];
    sInt count = GuiStyleEntries(style, entries);
    for(sInt k = 0; k < count; k++)
      if(sInt scene = entries[k].Position % 20; scene < 13 && entries[k].Picture < 6 * 20)
        names[entries[k].Picture] = scenes[scene];
  }
  for(sInt k = 0; k < 6; k++)
    for(sInt n = 0; n < 20; n++)
    {
      sChar file[64], name[32];
      sSPrintF(sStringRef(file, 64), u"%s/Sparkvane_%s_%02d", styles[k], styles[k], n);
      if(names[20 * k + n]) sCopyString(name, names[20 * k + n], 32);
      else sSPrintF(sStringRef(name, 32), u"SCENE %02d", n + 1);
      Skin(tree, std::u16string(u"gui/unpacked/") + file + u".bmp", std::u16string(u"gui/packed/") + file + u".png", name,
           sF32(k) / 6.0f, n, rnd);
    }
  for(sInt n = 0; n < 13; n++)
  {
    sChar file[64], name[32];
    sSPrintF(sStringRef(file, 64), u"led/LED_%02d", n);
    sSPrintF(sStringRef(name, 32), u"LED %d", n + 1);
    Skin(tree, std::u16string(u"gui/unpacked/") + file + u".bmp", std::u16string(u"gui/packed/") + file + u".png", name,
         0.9f, n, rnd);
  }

  // configurations
  GuiConfig c = {};
  c.Version = 1.25f;
  ResetGuiConfig(c);
  sCopyString(c.Slideshow.Directory, u"slideshows/Sparkvane/", sGUI_FOLDERCHARS);
  sCopyString(c.Logos.Directory, u"logos/Sparkvane/", sGUI_FOLDERCHARS);
  sCopyString(c.Flyer.Directory, u"flyer/Sparkvane/", sGUI_FOLDERCHARS);
  sCopyString(c.Movie.Directory, u"movies/Tarnwhistle/", sGUI_FOLDERCHARS);
  // a VJ's saved set-up for a club night: TECHNO, the beat-driven style that offers every scene
  c.ActiveStyle = 1;
  c.Slideshow.Interval = 0.5f;
  c.Logos.Interval = c.Flyer.Interval = c.Movie.Interval = 0.5f;
  WriteConfig(tree, u"configs/tarnwhistle.spk", c, rnd);

  GuiConfig a = c;
  a.ActiveStyle = 2;
  a.Slideshow.Active = 1;
  a.Slideshow.Style = 2;
  a.Effects[2].Active = 1;
  a.Latency = 0.3f;
  sCopyString(a.Messages[0].Text, u"Welcome to the Tarnwhistle night", sGUI_TEXTCHARS);
  a.Messages[0].Active = 1;
  a.Dmx[0] = 17;
  WriteConfig(tree, u"configs/preset_a.Spk", a, rnd);
  WriteConfig(tree, u"configs/badsum.Spk", c, rnd, 40);

  // a message with a quote as an older writer left it: the load stops at that message
  sTextBuffer quoted;
  BuildConfigText(quoted, c, 0);
  std::u16string q = quoted.Get();
  size_t at = q.find(u"text: \"\"");
  q.replace(at, 8, u"text: \"say \"hi\" now\"");
  WriteConfig(tree, u"configs/quote.Spk", c, rnd, -1, q.c_str());

  // format 1.0: nine styles, one distortion, no drives, fake folders, efx, power, channels
  sTextBuffer old;
  old.Print(u"Sparkvane configuration 1.0\n\nproduct configuration\n\nversion: 1.10\nmenuhead: 0\n\n");
  old.Print(u"style configuration\n\n");
  for(sInt s = 0; s < 9; s++)
  {
    old.PrintF(u"style %d\n%d", s + 1, 1);
    for(sInt i = 1; i < (s < 5 ? 20 : 100); i++) old.PrintF(u",%d", i < 3 ? 1 : 0);
    old.Print(u";\n");
  }
  old.Print(u"\nslideshow configuration\n\ndirectory: \"slideshows/Sparkvane/\"\nstyle: 1\nactive: 0\n"
            u"interval: 5400.0\nstart: -1.0\n\n");
  for(const sChar *s : {u"logos", u"flyer", u"movie"})
    old.PrintF(u"%s configuration\n\ndirectory: \"\"\nstyle: 0\nactive: 0\ninterval: 900.0\nstart: -1.0\n\n", s);
  old.Print(u"effect configuration\n\n");
  for(sInt i = 0; i < 5; i++)
    old.PrintF(u"effect %d\nactive: 0\nalpha: 0\ntransparency: 50.0\npower: 50.0\n\n", i + 1);
  old.Print(u"message configuration\n\n");
  for(sInt i = 0; i < 16; i++) old.PrintF(u"message %d\ntext: \"\"\nactive: 0\ninterval: 900.0\nstart: -1.0\n\n", i + 1);
  old.Print(u"short message configuration\n\n");
  for(sInt i = 0; i < 16; i++) old.PrintF(u"short message %d\ntext: \"\"\n\n", i + 1);
  old.Print(u"self distortion configuration\n\nkind: 2\nactive: 1\nfrequency: 40.0\npower: 30.0\n\n");
  old.Print(u"latency configuration\n\nlatency: 100.0\n\ndmx configuration\n\n\nmidi configuration\n\n"
            u"\nscaler configuration\n\nvideo-in configuration\n\n");
  WriteConfig(tree, u"configs/v1_0.Spk", c, rnd, -1, old.Get());

  // stand-in media folders
  static const struct { const sChar *Name; sInt W, H; } Slides[] = {
    {u"slideshows/Sparkvane/pic_01.jpg", 320, 240}, {u"slideshows/Sparkvane/pic_02.jpg", 320, 240},
    {u"slideshows/Sparkvane/pic_03.png", 320, 240}, {u"slideshows/Sparkvane/pic_04.png", 256, 256},
    {u"slideshows/Sparkvane/pic_05.bmp", 320, 240}, {u"slideshows/Sparkvane/pic_06.bmp", 240, 320},
    {u"slideshows/Sparkvane/pic_07.jpg", 640, 480}, {u"slideshows/Sparkvane/pic_08.png", 320, 180},
    {u"slideshows/Sparkvane/pic_09.jpg", 320, 240}, {u"slideshows/Sparkvane/pic_10.pic", 128, 128},
    {u"slideshows/Sparkvane/pic_11.tga", 128, 128}, {u"slideshows/Sparkvane/PIC_12.JPG", 320, 240},
    {u"slideshows/Sparkvane/pic_13.gif", 320, 240}, {u"slideshows/Sparkvane/pic_14.tif", 240, 320},
    {u"slideshows/Sparkvane/sub/pic_a.jpg", 160, 120}, {u"slideshows/Sparkvane/sub/pic_b.png", 160, 120},
  };
  for(const auto &s : Slides) Picture(tree, s.Name, s.W, s.H, 0xff808080, rnd);
  tree.WriteText(u"slideshows/Sparkvane/notes.txt", u"pictures of the night\n");
  tree.WriteText(u"flyer/Sparkvane/readme.txt", u"flyers shown between the logos\n");
  FlyerPicture(tree, u"flyer/Sparkvane/end.png", 1024, 768, 4.2f, u"THANK YOU", u"see you at the next night");
  FlyerPicture(tree, u"flyer/Sparkvane/next.png", 512, 384, 1.0f, u"NEXT PARTY", u"saturday from 23:00");
  FlyerPicture(tree, u"flyer/Sparkvane/party.jpg", 512, 384, 5.5f, u"TARNWHISTLE", u"126 BPM all night long");
  // one logo of each ground: transparent, white and three dark ones
  static const struct { sU32 Ground, Ink; const sChar *Text; } Logos[5] = {
    {0x00000000, 0xffffd040, u"SPARKVANE"}, {0xffffffff, 0xff302060, u"TARNWHISTLE"}, {0xff101010, 0xff40e0ff, u"VJ CREW"},
    {0xff202020, 0xffff6080, u"SOUND"}, {0xff301030, 0xffe0e0e0, u"LIGHTS"}};
  for(sInt i = 0; i < 5; i++)
  {
    sChar name[64];
    sSPrintF(sStringRef(name, 64), u"logos/Sparkvane/credits_%02d.png", i + 1);
    LogoPicture(tree, name, 512, 256, Logos[i].Ground, Logos[i].Text, Logos[i].Ink);
  }
  for(sInt i = 0; i < 20; i++)
  {
    sChar name[64];
    sSPrintF(sStringRef(name, 64), u"logos/many/logo_%02d.png", i + 1);
    Picture(tree, name, 64, 32, 0xff000000, rnd);
  }

  // the movie folder: two seconds each of footage as a VJ's clips are: lights of a colour of
  // their own circling and pulsing on black, fading to black at the edges. The movie layer
  // lays a clip over the show with its brightness as its cover, so the black lets the show
  // through and the lights lie over it.
  static const char *const Movies[] = {"action_01_cut.mp4", "action_02_cut.mp4", "action_03_cut.mp4",
                                       "ambient_01_cut.mp4", "ambient_02_cut.mp4", "ambient_03_cut.mov",
                                       "move_01_cut.mp4", "move_02_cut.mp4", "move_03_cut.mp4",
                                       "move_04_cut.mp4", "red_01_cut.mp4"};
  std::filesystem::create_directories("movies/Tarnwhistle");
  for(sInt i = 0; i < sInt(sizeof(Movies) / sizeof(Movies[0])); i++)
  {
    std::string name = std::string("movies/Tarnwhistle/") + Movies[i];
    // a bright hue of the clip's own (the red clip's is red), and its lights' paths
    sF32 hue = i == 10 ? 0.0f : rnd.NextFloat(6.2831853f);
    sF32 rgb[3];
    for(sInt c = 0; c < 3; c++) rgb[c] = 0.55f + 0.45f * std::cos(hue - 2.0943951f * sF32(c));
    sInt lights = 3 + sInt(rnd.NextBelow(3));
    sF32 phase = rnd.NextFloat(6.2831853f), turns = (rnd.NextBelow(2) ? 1.0f : -1.0f) * (1.0f + sF32(rnd.NextBelow(2)));
    constexpr int W = 256, H = 144, Frames = 50;
    bool ok = sparktest::WriteMovie(name, AV_CODEC_ID_MPEG4, AV_PIX_FMT_YUV420P, W, H, 25, Frames,
                                    [&](int frame, int x, int y) -> uint32_t {
                                      // u, v: -1..1 across the height, the width wider
                                      sF32 u = (sF32(x) + 0.5f - W * 0.5f) / (H * 0.5f), v = (sF32(y) + 0.5f - H * 0.5f) / (H * 0.5f);
                                      sF32 t = sF32(frame) / Frames;   // the clip loops seamlessly
                                      sF32 pulse = 0.6f + 0.4f * std::cos(6.2831853f * 4.0f * t);
                                      sF32 light = 0.0f, core = 0.0f;
                                      for(sInt k = 0; k < lights; k++)
                                      {
                                        sF32 a = phase + 6.2831853f * (sF32(k) / sF32(lights) + turns * t);
                                        sF32 r = 0.55f + 0.25f * std::sin(a * 2.0f + sF32(k));
                                        sF32 du = u - 1.4f * r * std::cos(a), dv = v - 0.8f * r * std::sin(a);
                                        sF32 d2 = (du * du + dv * dv) / (0.12f * pulse);
                                        light += std::exp(-d2);
                                        core += std::exp(-d2 * 6.0f);
                                      }
                                      // a ring widening from the middle every half second
                                      sF32 ring = std::sqrt(u * u + v * v) - std::fmod(t * 4.0f, 1.0f) * 1.6f;
                                      light += 0.5f * std::exp(-ring * ring * 200.0f) * (1.0f - std::fmod(t * 4.0f, 1.0f));
                                      sF32 edge = SmoothStep(1.0f, 0.75f, std::fabs(v)) * SmoothStep(1.78f, 1.3f, std::fabs(u));
                                      uint32_t out = 0;
                                      for(sInt c = 0; c < 3; c++)
                                      {
                                        sF32 level = Clamp01((light * rgb[c] + core * 0.8f) * edge);
                                        out |= uint32_t(level * 255.0f + 0.5f) << (16 - 8 * c);
                                      }
                                      return out;
                                    });
    sVERIFY(ok);
    tree.Note(plat::ToUtf16(name).c_str());
  }
}

}   // namespace

DATAGEN_AREA("gui", 600, Generate);

}   // namespace datagen

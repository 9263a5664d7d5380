// The touch GUI's pictures, its skins, its configurations and the stand-in media folders.
//
// Every GUI picture carries a small marker in its top-left corner so that a picture drawn
// upside down or mirrored shows at once. The default configuration is written by the
// GUI's own writer from its defaults, so the file is exactly what the GUI saves; the test
// fixtures next to it are a valid other configuration, a format-1.0 file, one with a
// flipped byte and one whose message holds a double quote as hand-written.
#include "datagen.hpp"
#include "draw.hpp"

#include "base/memory.hpp"
#include "base/textbuffer.hpp"
#include "gui/configfile.hpp"

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

struct GuiPicture
{
  const sChar *Unpacked;
  const sChar *Packed;
  sInt W, H;
  sInt Look;   // 0 frame, 1 lit face, 2 knob, 3 ring, 4 plain, 5 backdrop, 6 gradient, 7 logo, 8 icon
};
const GuiPicture Pictures[] = {
  {u"pointer.pic", u"pointer.pic", 64, 64, 3}, {u"hit.bmp", u"hit.png", 128, 128, 3},
  {u"white.bmp", u"white.png", 8, 8, 4}, {u"wave.pic", u"wave.pic", 256, 16, 4},
  {u"background3.bmp", u"background3.png", 1024, 512, 5}, {u"Sparkvane.bmp", u"Sparkvane.png", 512, 128, 7},
  {u"color.bmp", u"color.png", 256, 16, 6}, {u"Xbutton.bmp", u"Xbutton.pic", 256, 64, 0},
  {u"Xbutton_a.pic", u"Xbutton_a.pic", 256, 64, 0}, {u"Xbutton_on.bmp", u"Xbutton_on.png", 256, 64, 1},
  {u"Xbutton_active.bmp", u"Xbutton_active.png", 256, 64, 1}, {u"Xscreen.bmp", u"Xscreen.pic", 256, 128, 0},
  {u"Xscreen_b1_on.bmp", u"Xscreen_b1_on.png", 256, 128, 1}, {u"Xscreen_b2_on.bmp", u"Xscreen_b2_on.png", 256, 128, 1},
  {u"Xbig_slider.bmp", u"Xbig_slider.pic", 512, 64, 0}, {u"Xbig_slider_button.bmp", u"Xbig_slider_button.png", 64, 64, 2},
  {u"Xslider.bmp", u"Xslider.pic", 256, 64, 0}, {u"Xslider_button.bmp", u"Xslider_button.png", 64, 64, 2},
  {u"Xv_slider.bmp", u"Xv_slider.pic", 64, 256, 0}, {u"Xv_slider_button.bmp", u"Xv_slider_button.png", 64, 64, 2},
  {u"Xv_big_slider.bmp", u"Xv_big_slider.pic", 64, 512, 0},
  {u"Xv_big_slider_button.bmp", u"Xv_big_slider_button.png", 64, 64, 2},
  {u"Xbig_button.bmp", u"Xbig_button.pic", 128, 128, 0}, {u"Xbig_button_on.bmp", u"Xbig_button_on.png", 128, 128, 1},
  {u"Xvoid_button.bmp", u"Xvoid_button.pic", 256, 64, 0}, {u"Xsmall_button.bmp", u"Xsmall_button.pic", 64, 64, 0},
  {u"Xsmall_button_active.bmp", u"Xsmall_button_active.png", 64, 64, 1},
  {u"movie_icon.bmp", u"movie_icon.png", 256, 128, 8}, {u"unknown_codec.bmp", u"unknown_codec.png", 256, 128, 8},
  {u"color_test.bmp", u"color_test.png", 256, 256, 6}, {u"window.bmp", u"window.png", 512, 512, 0},
};

void Marker(sImage &img)
{
  sInt s = img.SizeX < 16 || img.SizeY < 16 ? 1 : 4;
  FillRect(img, 0, 0, s, s, 0xffff0000);
}

// The visible part of a button picture: its widget's touch area, so neighbouring keys
// do not cover each other (x0, y0, x1, y1 in pixels from the top left; 0 size: all).
void Inner(const sImage &img, sInt r[4])
{
  r[0] = r[1] = 0, r[2] = img.SizeX, r[3] = img.SizeY;
  if(img.SizeX == 256 && img.SizeY == 64) r[0] = 43, r[1] = 27, r[2] = 200, r[3] = 57;
  if(img.SizeX == 128 && img.SizeY == 128) r[0] = 19, r[1] = 38, r[2] = 128, r[3] = 101;
  if(img.SizeX == 64 && img.SizeY == 64) r[0] = 18, r[1] = 27, r[2] = 64, r[3] = 57;
  if(img.SizeX == 256 && img.SizeY == 128) r[0] = 52, r[1] = 30, r[2] = 220, r[3] = 121;
}

void Draw(sImage &img, sInt look, sRandomLcg &rnd)
{
  switch(look)
  {
  case 0:   // a frame: dark glass with a light rim
    Shade(img, [](sF32 u, sF32 v) {
      sF32 edge = std::fmax(std::fabs(u), std::fabs(v));
      return Argb(edge > 0.9f ? 1.0f : 0.55f, 0.7f + 0.3f * (edge > 0.9f), 0.8f, 1.0f);
    });
    break;
  case 1:   // a lit face
    Shade(img, [](sF32 u, sF32 v) { return Argb(0.9f * (1 - 0.3f * std::fabs(v)), 1, 1, 1 - 0.2f * std::fabs(u)); });
    break;
  case 2:   // a round knob
    Shade(img, [](sF32 u, sF32 v) { return Argb(SmoothStep(1.0f, 0.8f, std::sqrt(u * u + v * v)), 0.9f, 0.9f, 0.9f); });
    break;
  case 3:   // a ring
    Shade(img, [](sF32 u, sF32 v) {
      sF32 r = std::sqrt(u * u + v * v);
      return Argb(Clamp01(1 - std::fabs(r - 0.7f) * 6), 1, 1, 1);
    });
    break;
  case 4: img.Fill(0xffffffff); break;
  case 5:
  {
    Noise n(rnd.Next(), 8);
    Shade(img, [&n](sF32 u, sF32 v) {
      sF32 c = n.At((u + 1) * 4, (v + 1) * 4, 4);
      return Argb(1, 0.05f + 0.1f * c, 0.08f + 0.12f * c, 0.15f + 0.2f * c);
    });
    break;
  }
  case 6:
    Shade(img, [](sF32 u, sF32) {
      sF32 h = (u + 1) * 3;
      return Argb(1, Clamp01(std::fabs(h - 3) - 1), Clamp01(2 - std::fabs(h - 2)), Clamp01(2 - std::fabs(h - 4)));
    });
    break;
  case 7:
    img.Fill(0);
    PrintCentered(img, u"SPARKVANE", img.SizeX / 2, img.SizeY / 2, img.SizeY / 2, 1, 0xffe8e8ff);
    break;
  default:
    img.Fill(0xff202830);
    FrameRect(img, 8, 8, img.SizeX - 8, img.SizeY - 8, 4, 0xff8090a0);
    break;
  }
  if(look == 0 || look == 1)
  {
    sInt r[4];
    Inner(img, r);
    for(sInt y = 0; y < img.SizeY; y++)
      for(sInt x = 0; x < img.SizeX; x++)
        if(x < r[0] || x >= r[2] || y < r[1] || y >= r[3]) img.Data[y * img.SizeX + x] = 0;
    if(look == 0) FrameRect(img, r[0], r[1], r[2], r[3], 2, 0xffb0c8ff);
  }
  Marker(img);
}

// A numbered skin picture of a style, 256 x 128.
void Skin(Tree &tree, const std::u16string &unpacked, const std::u16string &packed, sInt n, sRandomLcg &rnd)
{
  sImage img(256, 128);
  sF32 hue = rnd.NextFloat(1.0f);
  Shade(img, [hue, n](sF32 u, sF32 v) {
    sF32 w = 0.5f + 0.5f * std::sin(u * 3 + v * 2 + n);
    return Argb(1, Clamp01(hue + 0.3f * w), Clamp01(0.4f * w), Clamp01(1 - hue));
  });
  sChar num[8];
  sSPrintF(sStringRef(num, 8), u"%02d", n);
  PrintCentered(img, num, 128, 64, 48, 1, 0xffffffff);
  Marker(img);
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
    BuildConfigText(text, c);
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
  tree.WriteImage(name, img);
}

void Generate(Tree &tree)
{
  sRandomLcg rnd = NamedRandom("gui");
  for(const GuiPicture &p : Pictures)
  {
    sImage img(p.W, p.H);
    Draw(img, p.Look, rnd);
    tree.WriteImage((std::u16string(u"gui/unpacked/") + p.Unpacked).c_str(), img);
    tree.WriteImage((std::u16string(u"gui/packed/") + p.Packed).c_str(), img);
  }
  static const sChar *const styles[] = {u"ambient", u"tekkno", u"funk", u"disco", u"minimal", u"all"};
  for(const sChar *s : styles)
    for(sInt n = 0; n < 20; n++)
    {
      sChar file[64];
      sSPrintF(sStringRef(file, 64), u"%s/Sparkvane_%s_%02d", s, s, n);
      Skin(tree, std::u16string(u"gui/unpacked/") + file + u".bmp", std::u16string(u"gui/packed/") + file + u".png", n, rnd);
    }
  for(sInt n = 0; n < 13; n++)
  {
    sChar file[64];
    sSPrintF(sStringRef(file, 64), u"led/LED_%02d", n);
    Skin(tree, std::u16string(u"gui/unpacked/") + file + u".bmp", std::u16string(u"gui/packed/") + file + u".png", n, rnd);
  }

  // configurations
  GuiConfig c = {};
  c.Version = 1.25f;
  ResetGuiConfig(c);
  sCopyString(c.Slideshow.Directory, u"slideshows/Sparkvane/", sGUI_FOLDERCHARS);
  sCopyString(c.Logos.Directory, u"logos/Sparkvane/", sGUI_FOLDERCHARS);
  sCopyString(c.Flyer.Directory, u"flyer/Sparkvane/", sGUI_FOLDERCHARS);
  sCopyString(c.Movie.Directory, u"movies/Tarnwhistle/", sGUI_FOLDERCHARS);
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
  BuildConfigText(quoted, c);
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
    {u"slideshows/Sparkvane/sub/pic_a.jpg", 160, 120}, {u"slideshows/Sparkvane/sub/pic_b.png", 160, 120},
    {u"flyer/Sparkvane/end.png", 1024, 768}, {u"flyer/Sparkvane/next.png", 512, 384},
    {u"flyer/Sparkvane/party.jpg", 512, 384},
  };
  for(const auto &s : Slides) Picture(tree, s.Name, s.W, s.H, 0xff808080, rnd);
  tree.WriteText(u"slideshows/Sparkvane/notes.txt", u"pictures of the night\n");
  tree.WriteText(u"flyer/Sparkvane/readme.txt", u"flyers shown between the logos\n");
  static const sU32 LogoCorners[5] = {0x00000000, 0xffffffff, 0xff101010, 0xff202020, 0xff301030};
  for(sInt i = 0; i < 5; i++)
  {
    sChar name[64];
    sSPrintF(sStringRef(name, 64), u"logos/Sparkvane/credits_%02d.png", i + 1);
    Picture(tree, name, 512, 256, LogoCorners[i], rnd);
  }
  for(sInt i = 0; i < 20; i++)
  {
    sChar name[64];
    sSPrintF(sStringRef(name, 64), u"logos/many/logo_%02d.png", i + 1);
    Picture(tree, name, 64, 32, 0xff000000, rnd);
  }

  // the movie folder: two seconds each, bands of a colour of their own sliding by
  static const char *const Movies[] = {"action_01_cut.mp4", "action_02_cut.mp4", "action_03_cut.mp4",
                                       "ambient_01_cut.mp4", "ambient_02_cut.mp4", "ambient_03_cut.mov",
                                       "move_01_cut.mp4", "move_02_cut.mp4", "move_03_cut.mp4",
                                       "move_04_cut.mp4", "red_01_cut.mp4"};
  std::filesystem::create_directories("movies/Tarnwhistle");
  for(sInt i = 0; i < sInt(sizeof(Movies) / sizeof(Movies[0])); i++)
  {
    std::string name = std::string("movies/Tarnwhistle/") + Movies[i];
    uint32_t colour = 0xff000000u | rnd.NextBelow(0x1000000);
    bool ok = sparktest::WriteMovie(name, AV_CODEC_ID_MPEG4, AV_PIX_FMT_YUV420P, 128, 72, 25, 50,
                                    [colour](int frame, int x, int y) {
                                      return ((x + y / 2 + frame * 3) / 16) % 2 ? colour & 0xffffff : 0x202020u;
                                    });
    sVERIFY(ok);
    tree.Note(plat::ToUtf16(name).c_str());
  }
}

}   // namespace

DATAGEN_AREA("gui", 600, Generate);

}   // namespace datagen

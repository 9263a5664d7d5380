// The Slideshow scene's pictures: its ornament, sprite and band textures, the three
// built-in photos, and a folder of sample pictures to show ("slideshow/pictures"): JPEG,
// PNG, GIF and TIFF pictures of several sizes and shapes, numbered and coloured so that each one is
// told apart on the screen, with a few files beside them that are not pictures.
#include "datagen.hpp"
#include "draw.hpp"

#include <cmath>
#include <string>

namespace datagen
{
namespace
{

void Both(Tree &tree, const char16_t *name, const sImage &img)
{
  tree.WriteImage((std::u16string(u"slideshow/unpacked/") + name + u".bmp").c_str(), img);
  tree.WriteImage((std::u16string(u"slideshow/packed/") + name + u".png").c_str(), img, kPacked);
}

void Pic(Tree &tree, const char16_t *name, const sImage &img)
{
  tree.WriteImage((std::u16string(u"slideshow/unpacked/") + name + u".pic").c_str(), img);
  tree.WriteImage((std::u16string(u"slideshow/packed/") + name + u".pic").c_str(), img, kPacked);
}

// A photo stand-in: a sky-to-ground gradient in the hue, a sun, a border and its number.
void Photo(sImage &img, sF32 hue, const sChar *label)
{
  Shade(img, [&](sF32 u, sF32 v) {
    const sF32 sky = 0.5f - 0.5f * v;
    const sF32 sun = Glow((u - 0.4f) * 3.0f, (v + 0.4f) * 3.0f);
    const sF32 r = 0.5f + 0.5f * std::sin(hue), g = 0.5f + 0.5f * std::sin(hue + 2.1f), b = 0.5f + 0.5f * std::sin(hue + 4.2f);
    return Argb(1.0f, Clamp01(r * sky + sun), Clamp01(g * sky + 0.3f * (1 - sky) + sun), Clamp01(b * sky + sun * 0.6f));
  });
  FrameRect(img, 0, 0, img.SizeX, img.SizeY, img.SizeY / 40 + 1, 0xFFFFFFFF);
  PrintCentered(img, label, img.SizeX / 2, img.SizeY / 2, img.SizeY / 4, 1, 0xFFFFFFFF);
}

void Generate(Tree &tree)
{
  sImage white(64, 64);
  white.Fill(0xFFFFFFFF);
  Both(tree, u"white", white);

  sImage star(128, 128), center(128, 128), light(128, 128), starBg(256, 128), horizon(256, 64), horizonBg(256, 256);
  Shade(star, [](sF32 u, sF32 v) { sF32 s = Star(u, v, 6); return Argb(s, s, s, s); });
  Both(tree, u"star", star);
  Shade(center, [](sF32 u, sF32 v) { sF32 g = Glow(u, v); return Argb(g, g, 0.8f * g, 0.6f * g); });
  Both(tree, u"center", center);
  Shade(light, [](sF32 u, sF32 v) { sF32 g = Glow(u, v); return Grey(g, g); });
  Both(tree, u"lightpoint", light);
  sRandomLcg rnd = NamedRandom("slideshow");
  Noise noise(rnd.Next(), 16);
  Shade(starBg, [&](sF32 u, sF32 v) {
    sF32 n = noise.At((u + 1.0f) * 8.0f, (v + 1.0f) * 4.0f, 1);
    sF32 s = SmoothStep(0.8f, 0.95f, n);
    return Grey(s);
  });
  Both(tree, u"star_bg", starBg);
  Shade(horizon, [](sF32, sF32 v) { sF32 h = SmoothStep(1.0f, 0.0f, std::fabs(v)); return Argb(h, h, 0.7f * h, 0.4f * h); });
  Both(tree, u"horizon", horizon);
  Shade(horizonBg, [](sF32, sF32 v) { return Argb(1.0f, 0.3f + 0.3f * v, 0.1f, 0.2f - 0.2f * v); });
  Both(tree, u"horizon_bg", horizonBg);

  sImage round(64, 64), outline(128, 128), background(256, 256), style2(256, 256), mirrow(256, 256);
  // the ornament wall is laid over the pictures: its plates are rings, a round frame with
  // the picture showing through the middle
  Shade(round, [](sF32 u, sF32 v) {
    sF32 r = std::sqrt(u * u + v * v);
    return Grey(1.0f, SmoothStep(0.86f, 0.9f, r) * SmoothStep(0.98f, 0.94f, r));
  });
  Pic(tree, u"round", round);
  Shade(outline, [](sF32 u, sF32 v) {
    sF32 e = std::fmax(std::fabs(u), std::fabs(v));
    return Grey(1.0f, SmoothStep(0.75f, 0.85f, e) * SmoothStep(1.0f, 0.95f, e));
  });
  Pic(tree, u"outline", outline);
  Shade(background, [&](sF32 u, sF32 v) {
    sF32 n = noise.At((u + 1.0f) * 4.0f, (v + 1.0f) * 4.0f, 4);
    return Argb(1.0f, 0.3f + 0.5f * n, 0.1f + 0.2f * n, 0.1f);
  });
  Pic(tree, u"background", background);
  Shade(style2, [](sF32 u, sF32 v) { return Argb(1.0f, 0.2f + 0.2f * u, 0.05f, 0.3f + 0.2f * v); });
  Pic(tree, u"style2_bg", style2);
  Shade(mirrow, [](sF32 u, sF32 v) { sF32 r = std::sqrt(u * u + v * v); return Argb(SmoothStep(1.0f, 0.3f, r), 0.7f, 0.7f, 0.8f); });
  Pic(tree, u"mirrow", mirrow);

  // the built-in photos of the three picture slots
  for(sInt i = 0; i < 3; i++)
  {
    sImage photo(512, 256);
    const sChar label[2] = {sChar(u'A' + i), 0};
    Photo(photo, 1.3f * sF32(i), label);
    const std::u16string n = u"photo_" + std::u16string(1, char16_t(u'1' + i));
    Both(tree, n.c_str(), photo);
  }

  // the sample folder: pictures of several shapes, and files that are not pictures
  struct Sample
  {
    const char16_t *Name;
    sInt W, H;
  };
  const Sample samples[] = {
      {u"01_wide.jpg", 640, 360},  {u"02_square.png", 256, 256}, {u"03_tall.jpg", 240, 320},
      {u"04_classic.png", 400, 300}, {u"05_panorama.jpg", 800, 200}, {u"06_small.png", 64, 48},
      {u"08_poster.gif", 320, 200}, {u"09_scan.tif", 200, 280},
  };
  sInt n = 0;
  for(const Sample &s : samples)
  {
    sImage img(s.W, s.H);
    const sChar label[3] = {sChar(u'0' + (n + 1) / 10), sChar(u'0' + (n + 1) % 10), 0};
    Photo(img, 0.9f * sF32(n) + 0.5f, label);
    tree.WriteImage((std::u16string(u"slideshow/pictures/") + s.Name).c_str(), img);
    n++;
  }
  tree.WriteText(u"slideshow/pictures/00_readme.txt", u"Sample pictures for the slideshow.\n");
  const char broken[] = "\xFF\xD8\xFF\xE0 not really a picture";
  tree.WriteData(u"slideshow/pictures/07_broken.jpg", broken, sizeof(broken));
  tree.WriteText(u"slideshow/pictures/zz_notes.doc", u"notes\n");
}

}   // namespace

DATAGEN_AREA("slideshow", 414, Generate);

}   // namespace datagen

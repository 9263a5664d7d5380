// The IPP machine's pictures: every row of its texture table, in the "unpacked" variant
// (.bmp or .pic) and the "packed" one (.png or .pic), names spelled as the table spells
// them. The textures are mipped and block-compressed, so every size is a power of two.
#include "datagen.hpp"
#include "draw.hpp"

#include <cmath>

namespace datagen
{
namespace
{

void DrawWhite(sImage &img, sRandomLcg &)
{
  img.Fill(0xffffffff);
}

// white scan lines: two full rows, then two nearly clear ones
void DrawInterlace(sImage &img, sRandomLcg &)
{
  for(sInt y = 0; y < img.SizeY; y++)
    FillRect(img, 0, y, img.SizeX, y + 1, Argb(y % 4 < 2 ? 1.0f : 0.1f, 1.0f, 1.0f, 1.0f));
}

// the logo stand-in: a double frame around a word
void DrawSponsorInk(sImage &img, sU32 ink)
{
  FrameRect(img, 12, 12, img.SizeX - 12, img.SizeY - 12, 8, ink);
  FrameRect(img, 28, 28, img.SizeX - 28, img.SizeY - 28, 2, ink);
  PrintCentered(img, u"SPONSOR", img.SizeX / 2, img.SizeY / 2 - 14, img.SizeY * 3 / 8, 1, ink);
  PrintCentered(img, u"your logo here", img.SizeX / 2, img.SizeY * 3 / 4, img.SizeY / 9, 0, ink);
}

void DrawSponsor(sImage &img, sRandomLcg &)
{
  // a dark blue ground with a soft light from the top, white ink
  Shade(img, [](sF32, sF32 v) { return Argb(1.0f, 0.02f, 0.04f + 0.06f * (1.0f - v) * 0.5f, 0.12f); });
  DrawSponsorInk(img, 0xffffffff);
}

// the logo's mask: the ink's silhouette, widened and softened into a glow
void DrawSponsorMask(sImage &img, sRandomLcg &)
{
  img.Fill(0xff000000);
  DrawSponsorInk(img, 0xffffffff);
  img.Blur(5, 2);
  for(sInt i = 0; i < img.SizeX * img.SizeY; i++)
    img.Data[i] = Grey(Clamp01(((img.Data[i] >> 8) & 0xff) / 255.0f * 2.5f));
}

void DrawNoise(sImage &img, sRandomLcg &rnd)
{
  Noise noise(rnd.Next(), 32);
  Noise grain(rnd.Next(), img.SizeX);
  Shade(img, [&](sF32 u, sF32 v) {
    sF32 x = (u + 1.0f) * 16.0f, y = (v + 1.0f) * 16.0f;
    sF32 n = noise.At(x, y, 4) * 0.8f + grain.Cell(sInt((u + 1.0f) * img.SizeX / 2), sInt((v + 1.0f) * img.SizeY / 2)) * 0.2f;
    return Grey(SmoothStep(0.2f, 0.8f, n));
  });
}

// the colour test card: bars, a grey ramp, a grid and a centre circle
void DrawColorTest(sImage &img, sRandomLcg &)
{
  static const sU32 bars[] = {0xffc0c0c0, 0xffc0c000, 0xff00c0c0, 0xff00c000,
                              0xffc000c0, 0xffc00000, 0xff0000c0, 0xff101010};
  const sInt w = img.SizeX, h = img.SizeY, barBottom = h * 2 / 3;
  for(sInt i = 0; i < 8; i++)
    FillRect(img, i * w / 8, 0, (i + 1) * w / 8, barBottom, bars[i]);
  for(sInt x = 0; x < w; x++)
    FillRect(img, x, barBottom, x + 1, h, Grey(x / sF32(w - 1)));
  const sInt step = h / 8;
  for(sInt x = 0; x < w; x += step)
    FillRect(img, x, 0, x + 1, h, 0xffffffff);
  for(sInt y = 0; y < h; y += step)
    FillRect(img, 0, y, w, y + 1, 0xffffffff);
  FrameRect(img, 0, 0, w, h, 2, 0xffffffff);
  const sF32 radius = h * 0.4f;
  for(sInt y = 0; y < h; y++)
    for(sInt x = 0; x < w; x++)
    {
      sF32 d = std::hypot(x + 0.5f - w * 0.5f, y + 0.5f - h * 0.5f) - radius;
      if(d > -1.5f && d < 1.5f) img.Data[y * w + x] = 0xffffffff;
    }
}

void DrawGlowAlpha(sImage &img, sRandomLcg &)
{
  Shade(img, [](sF32 u, sF32 v) { return Argb(Glow(u, v), 1.0f, 1.0f, 1.0f); });
}

void DrawSparkAlpha(sImage &img, sRandomLcg &)
{
  Shade(img, [](sF32 u, sF32 v) { return Argb(Star(u, v, 8), 1.0f, 1.0f, 1.0f); });
}

void DrawGlow(sImage &img, sRandomLcg &)
{
  Shade(img, [](sF32 u, sF32 v) {
    sF32 g = Glow(u, v);
    return Argb(1.0f, g, g * 0.9f, g * 0.75f);
  });
}

void DrawSpark(sImage &img, sRandomLcg &)
{
  Shade(img, [](sF32 u, sF32 v) {
    sF32 s = Star(u, v, 8);
    return Argb(1.0f, s * s, s * std::sqrt(s) * 0.95f, s);
  });
}

struct Picture
{
  const sChar *Unpacked;
  const sChar *Packed;
  sInt SizeX, SizeY;
  void (*Draw)(sImage &img, sRandomLcg &rnd);
};

const Picture Pictures[] = {
  {u"ipp/unpacked/white.bmp", u"ipp/packed/white.png", 64, 64, DrawWhite},
  {u"ipp/unpacked/interlace.pic", u"ipp/packed/interlace.pic", 256, 256, DrawInterlace},
  {u"ipp/unpacked/sponsor_test.bmp", u"ipp/packed/sponsor_test.png", 512, 256, DrawSponsor},
  {u"ipp/unpacked/sponsor_test_b.bmp", u"ipp/packed/sponsor_test_b.png", 512, 256, DrawSponsorMask},
  {u"ipp/unpacked/noise_01.pic", u"ipp/packed/noise_01.pic", 256, 256, DrawNoise},
  {u"ipp/unpacked/color_test.bmp", u"ipp/packed/color_test.png", 512, 256, DrawColorTest},
  {u"ipp/unpacked/glow_alpha.pic", u"ipp/packed/glow_alpha.png", 128, 128, DrawGlowAlpha},
  {u"ipp/unpacked/spark_alpha.pic", u"ipp/packed/spark_aplha.pic", 128, 128, DrawSparkAlpha},
  {u"ipp/unpacked/glow.bmp", u"ipp/packed/glow.png", 128, 128, DrawGlow},
  {u"ipp/unpacked/spark.bmp", u"ipp/packed/spark.png", 128, 128, DrawSpark},
};

void Generate(Tree &tree)
{
  sRandomLcg rnd = NamedRandom("ipp");
  for(const Picture &p : Pictures)
  {
    sImage img(p.SizeX, p.SizeY);
    p.Draw(img, rnd);
    tree.WriteImage(p.Unpacked, img);
    tree.WriteImage(p.Packed, img, kPacked);
  }
}

}   // namespace

DATAGEN_AREA("ipp", 100, Generate);

}   // namespace datagen

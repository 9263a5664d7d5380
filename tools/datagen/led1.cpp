// The LED1 scene's pictures, in both variants: the white and the room's cross tile, a
// grid, the three point sprites (round, ring and quad, their shape in alpha too), the
// trails' tail that fades along the trail, a glow and a spark. The sprites drawn with
// additive blending carry their look in colour, since their compression drops smooth
// alpha. The scene has no models.
#include "datagen.hpp"
#include "draw.hpp"

#include <cmath>
#include <string>

namespace datagen
{
namespace
{

void Both(Tree &tree, const char16_t *name, const char16_t *unpackedExt, const char16_t *packedExt, const sImage &img)
{
  tree.WriteImagePair(u"led1", name, unpackedExt, packedExt, img);
}

void Generate(Tree &tree)
{
  sImage white(64, 64);
  white.Fill(0xFFFFFFFF);
  Both(tree, u"white", u".bmp", u".png", white);

  // the room's tile: a bright cross with a frame on a dark plate, repeated eight times a wall
  sImage cross(128, 128);
  Shade(cross, [](sF32 u, sF32 v) {
    const sF32 au = std::fabs(u), av = std::fabs(v);
    const sF32 bar = (au < 0.08f && av < 0.7f) || (av < 0.08f && au < 0.7f) ? 1.0f : 0.0f;
    const sF32 edge = std::fmax(au, av) > 0.92f ? 0.6f : 0.0f;
    const sF32 l = std::fmax(0.12f, std::fmax(bar, edge));
    return Argb(1.0f, l, l * 0.9f, l * 0.8f);
  });
  Both(tree, u"cross", u".png", u".png", cross);

  sImage grid(128, 128);
  Shade(grid, [](sF32 u, sF32 v) {
    const sF32 fu = std::fabs(std::fmod((u + 1.0f) * 4.0f, 1.0f) - 0.5f), fv = std::fabs(std::fmod((v + 1.0f) * 4.0f, 1.0f) - 0.5f);
    return Grey(std::fmax(fu, fv) > 0.45f ? 1.0f : 0.1f);
  });
  Both(tree, u"grid", u".bmp", u".png", grid);

  sImage round(64, 64), ring(64, 64), quad(64, 64);
  Shade(round, [](sF32 u, sF32 v) {
    const sF32 a = SmoothStep(1.0f, 0.8f, std::sqrt(u * u + v * v));
    return Grey(a, a);
  });
  Shade(ring, [](sF32 u, sF32 v) {
    const sF32 r = std::sqrt(u * u + v * v);
    const sF32 a = SmoothStep(0.95f, 0.8f, r) * SmoothStep(0.45f, 0.6f, r);
    return Grey(a, a);
  });
  Shade(quad, [](sF32 u, sF32 v) {
    const sF32 a = SmoothStep(0.95f, 0.8f, std::fmax(std::fabs(u), std::fabs(v)));
    return Grey(a, a);
  });
  Both(tree, u"round", u".pic", u".pic", round);
  Both(tree, u"ring", u".pic", u".pic", ring);
  Both(tree, u"quad", u".pic", u".pic", quad);

  // the tail: full at the head (top), dark at the end, with a brighter core around the tube
  sImage tail(64, 128);
  Shade(tail, [](sF32 u, sF32 v) {
    const sF32 along = 1.0f - 0.5f * (v + 1.0f), core = 0.6f + 0.4f * std::cos(u * 3.14159265f);
    const sF32 l = along * along * core;
    return Argb(1.0f, l, l, l);
  });
  Both(tree, u"tail", u".bmp", u".png", tail);

  sImage glow(128, 128), spark(128, 128);
  Shade(glow, [](sF32 u, sF32 v) { return Grey(Glow(u, v)); });
  Shade(spark, [](sF32 u, sF32 v) { return Grey(Clamp01(Star(u, v, 4) + 0.3f * Glow(u, v))); });
  Both(tree, u"glow", u".bmp", u".png", glow);
  Both(tree, u"spark", u".bmp", u".png", spark);
}

}   // namespace

DATAGEN_AREA("led1", 412, Generate);

}   // namespace datagen

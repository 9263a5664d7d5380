// The Invaders scene's files: four sprite pictures in both variants, and the models the
// scene loads from its packed folder: five pixel-art invaders in two poses, the same
// invaders cut into one piece per pixel pair, a ship pointing along +y with its top
// towards -z, a bullet, and a backdrop of a glowing planet, mountains and towers.
#include "datagen.hpp"
#include "draw.hpp"
#include "petshapes.hpp"

#include <cmath>

namespace datagen
{
namespace
{

// Five invaders of 11 x 8 pixels in two poses; '#' is a pixel, the top row first.
const char *const Shapes[5][2][8] = {
    {{"  #     #  ", "   #   #   ", "  #######  ", " ## ### ## ", "###########", "# ####### #", "# #     # #",
      "   ## ##   "},
     {"  #     #  ", "#  #   #  #", "# ####### #", "### ### ###", "###########", " ######### ", "  #     #  ",
      " #       # "}},
    {{"    ###    ", "  #######  ", " ######### ", " ##  #  ## ", " ######### ", "   #   #   ", "  # ### #  ",
      " # #   # # "},
     {"    ###    ", "  #######  ", " ######### ", " ##  #  ## ", " ######### ", "  ### ###  ", " ##     ## ",
      "  ##   ##  "}},
    {{"     #     ", "    ###    ", "   #####   ", "  ## # ##  ", "  #######  ", "    # #    ", "   # # #   ",
      "  # #   # #"},
     {"     #     ", "    ###    ", "   #####   ", "  ## # ##  ", "  #######  ", "   # # #   ", "  #     #  ",
      "   #   #   "}},
    {{"   #####   ", " ######### ", "###########", "##  ###  ##", "###########", "  ##   ##  ", " ## ### ## ",
      "##       ##"},
     {"   #####   ", " ######### ", "###########", "##  ###  ##", "###########", "  ### ###  ", " ##  #  ## ",
      "  ##   ##  "}},
    {{" #       # ", "  #######  ", " ##  #  ## ", "###########", "# ####### #", "#  #   #  #", "  ##   ##  ",
      "           "},
     {" #       # ", "# ####### #", "###  #  ###", "###########", " ######### ", "  #     #  ", " #       # ",
      "           "}},
};
constexpr sF32 PixelW = 1.2f, PixelH = 1.0f, Depth = 2.0f;

// Pixel (x, y) of the picture (y from the top) as a box: the base centre at the origin.
void PixelBox(PetMesh &mesh, sInt x, sInt y, sInt w)
{
  const sF32 x0 = (sF32(x) - 5.5f) * PixelW, y0 = sF32(7 - y) * PixelH;
  const sF32 u0 = sF32(x) / 11.0f, u1 = sF32(x + w) / 11.0f, v0 = sF32(7 - y) / 8.0f, v1 = sF32(8 - y) / 8.0f;
  mesh.Box(sVec3(x0, y0, -0.5f * Depth), sVec3(x0 + PixelW * sF32(w), y0 + PixelH, 0.5f * Depth), u0, v0, u1, v1);
}

void Invaders(Tree &tree)
{
  static const sU32 colours[5] = {0xff40ff60, 0xffff50c0, 0xff50c0ff, 0xffffe040, 0xffff7040};
  for(sInt k = 0; k < 5; k++)
  {
    // the invader's picture: its colour, brighter towards the top
    sImage skin(64, 64);
    const sU32 c = colours[k];
    Shade(skin, [&](sF32, sF32 v) {
      const sF32 l = 0.6f + 0.4f * (1.0f - v) * 0.5f;
      return Argb(1.0f, l * sF32((c >> 16) & 255) / 255.0f, l * sF32((c >> 8) & 255) / 255.0f, l * sF32(c & 255) / 255.0f);
    });
    std::u16string image = u"invaders/packed/invader0" + std::u16string(1, sChar(u'1' + k)) + u".png";
    tree.WriteImage(image.c_str(), skin);

    for(sInt phase = 0; phase < 2; phase++)
    {
      PetMesh whole;
      for(sInt y = 0; y < 8; y++)
        for(sInt x = 0; x < 11; x++)
          if(Shapes[k][phase][y][x] == '#') PixelBox(whole, x, y, 1);
      std::u16string name = u"invaders/packed/invader0" + std::u16string(1, sChar(u'1' + k)) + u"_phase" +
                            std::u16string(1, sChar(u'1' + phase)) + u".pet";
      WritePet(tree, name.c_str(), {whole}, phase == 0 ? std::vector<std::u16string>{image}
                                                       : std::vector<std::u16string>{});
    }

    // the cut copy of the first pose: pixel pairs of a row are one piece each
    std::vector<PetMesh> pieces;
    for(sInt y = 0; y < 8; y++)
      for(sInt x = 0; x < 11;)
      {
        if(Shapes[k][0][y][x] != '#')
        {
          x++;
          continue;
        }
        const sInt w = (x + 1 < 11 && Shapes[k][0][y][x + 1] == '#') ? 2 : 1;
        PetMesh piece;
        PixelBox(piece, x, y, w);
        pieces.push_back(piece);
        x += w;
      }
    std::u16string cut = u"invaders/packed/inv0" + std::u16string(1, sChar(u'1' + k)) + u"_cutted.pet";
    WritePet(tree, cut.c_str(), pieces, {});
  }
}

void Ship(Tree &tree)
{
  sImage hull(64, 64);
  Shade(hull, [](sF32 u, sF32 v) {
    const sF32 stripe = std::fabs(u) < 0.15f ? 1.0f : 0.0f;
    return Argb(1.0f, 0.7f + 0.3f * stripe, 0.75f - 0.1f * v, 0.8f - 0.5f * stripe);
  });
  tree.WriteImage(u"invaders/packed/ship.png", hull);
  // built lying along +y (the nose) with its top towards -z
  PetMesh ship;
  ship.Box(sVec3(-1.2f, -4.0f, -1.4f), sVec3(1.2f, 3.0f, 0.6f));        // fuselage
  ship.Box(sVec3(-0.6f, 3.0f, -1.0f), sVec3(0.6f, 5.0f, 0.4f));         // nose
  ship.Box(sVec3(-4.5f, -3.0f, -0.4f), sVec3(4.5f, -0.5f, 0.4f));       // wings
  ship.Box(sVec3(-0.7f, -1.0f, -2.4f), sVec3(0.7f, 1.8f, -1.4f), 0.4f, 0.4f, 0.6f, 0.6f);   // cockpit
  ship.Box(sVec3(-4.5f, -3.0f, -1.6f), sVec3(-3.9f, -0.5f, -0.4f));     // wing tips
  ship.Box(sVec3(3.9f, -3.0f, -1.6f), sVec3(4.5f, -0.5f, -0.4f));
  WritePet(tree, u"invaders/packed/ship02.pet", {ship}, {u"invaders/packed/ship.png"});

  sImage shot(16, 16);
  Shade(shot, [](sF32 u, sF32 v) { return Grey(1.0f - 0.3f * (u * u + v * v)); });
  tree.WriteImage(u"invaders/packed/bullet.png", shot);
  PetMesh bullet;
  bullet.Box(sVec3(-0.4f, -1.5f, -0.4f), sVec3(0.4f, 1.5f, 0.4f));
  WritePet(tree, u"invaders/packed/bullet02.pet", {bullet}, {u"invaders/packed/bullet.png"});
}

// The backdrop as built: the scene turns it half round, so it stands at z -100..-400
// here. Mesh 0 is the planet's glow (drawn additively with the fourth picture).
void Backdrop(Tree &tree, sRandomLcg &rnd)
{
  sImage rock(128, 128), tower(64, 64), planet(128, 128), glow(128, 128);
  Noise noise(rnd.Next(), 8);
  Shade(rock, [&](sF32 u, sF32 v) {
    const sF32 n = noise.At((u + 1.0f) * 4.0f, (v + 1.0f) * 4.0f, 4);
    return Argb(1.0f, 0.25f + 0.3f * n, 0.2f + 0.25f * n, 0.35f + 0.3f * n);
  });
  Shade(tower, [](sF32 u, sF32 v) {
    const sBool window = std::fmod((u + 1.0f) * 8.0f, 1.0f) > 0.6f && std::fmod((v + 1.0f) * 16.0f, 1.0f) > 0.5f;
    return window ? Argb(1.0f, 1.0f, 0.9f, 0.5f) : Argb(1.0f, 0.15f, 0.15f, 0.25f);
  });
  Shade(planet, [&](sF32 u, sF32 v) {
    const sF32 band = 0.5f + 0.5f * std::sin(v * 9.0f + 2.0f * noise.At((u + 1.0f) * 4.0f, (v + 1.0f) * 2.0f, 3));
    return Argb(1.0f, 0.8f * band + 0.2f, 0.5f * band + 0.2f, 0.3f);
  });
  Shade(glow, [](sF32 u, sF32 v) { return Grey(Glow(u, v)); });
  const std::vector<std::u16string> images = {u"invaders/packed/bg_rock.png", u"invaders/packed/bg_tower.png",
                                              u"invaders/packed/bg_planet.png", u"invaders/packed/bg_glow.png"};
  tree.WriteImage(images[0].c_str(), rock);
  tree.WriteImage(images[1].c_str(), tower);
  tree.WriteImage(images[2].c_str(), planet);
  tree.WriteImage(images[3].c_str(), glow);

  std::vector<PetMesh> meshes(4);
  meshes[0].Material = 3;
  meshes[0].Quad(sVec3(-130, 40, -395), sVec3(130, 40, -395), sVec3(130, 300, -395), sVec3(-130, 300, -395), 0, 0, 1, 1);
  meshes[1].Material = 0;
  for(sInt i = 0; i < 12; i++)
  {
    const sF32 x = -330.0f + 60.0f * sF32(i), h = 30.0f + rnd.NextFloat(70.0f);
    meshes[1].Box(sVec3(x, -5.0f, -330.0f - rnd.NextFloat(40.0f)), sVec3(x + 55.0f, h, -260.0f), 0, 0, 1, h / 60.0f);
  }
  meshes[2].Material = 1;
  for(sInt i = 0; i < 10; i++)
  {
    const sF32 x = -200.0f + 42.0f * sF32(i), h = 20.0f + rnd.NextFloat(60.0f);
    meshes[2].Box(sVec3(x, -5.0f, -200.0f), sVec3(x + 14.0f, h, -186.0f), 0, 0, 1, h / 20.0f);
  }
  meshes[3].Material = 2;
  meshes[3].Disc(sVec3(0, 170, -390), 80, 24);
  WritePet(tree, u"invaders/packed/inv_background.pet", meshes, images);
}

void Generate(Tree &tree)
{
  sRandomLcg rnd = NamedRandom("invaders");
  const sInt size = 64;
  sImage white(size, size), glow(size, size), point(size, size), spark(size, size);
  white.Fill(0xffffffff);
  Shade(glow, [](sF32 u, sF32 v) { return Grey(Glow(u, v)); });
  Shade(point, [](sF32 u, sF32 v) { return Grey(Clamp01(Glow(u, v) * 1.5f)); });
  Shade(spark, [](sF32 u, sF32 v) { return Argb(1.0f, Star(u, v, 4), Star(u, v, 4), 0.8f * Star(u, v, 4)); });
  const struct
  {
    const sChar *Unpacked, *Packed;
    const sImage *Image;
  } rows[] = {{u"invaders/unpacked/white.bmp", u"invaders/packed/white.png", &white},
              {u"invaders/unpacked/glow.bmp", u"invaders/packed/glow.png", &glow},
              {u"invaders/unpacked/lightpoint.bmp", u"invaders/packed/lightpoint.png", &point},
              {u"invaders/unpacked/spark.bmp", u"invaders/packed/spark.png", &spark}};
  for(const auto &r : rows)
  {
    tree.WriteImage(r.Unpacked, *r.Image);
    tree.WriteImage(r.Packed, *r.Image, kPacked);
  }
  Invaders(tree);
  Ship(tree);
  Backdrop(tree, rnd);
}

}   // namespace

DATAGEN_AREA("invaders", 470, Generate);

}   // namespace datagen

#pragma once
// Helpers for running one show scene in the rig: a blank scene to switch away to, the
// pictures' folder, and counting the pixels that differ from a reference picture.
#include "show_rig.hpp"

#include "base/memory.hpp"
#include "graphics/image.hpp"
#include "show/scene.hpp"

#include <cstdlib>
#include <filesystem>
#include <string>

struct BlankScene : Scene
{
  sInt Enters = 0;
  void Enter(sInt) override { Enters++; }
};

// The folder the pictures of a scene's variants are kept in: $SPARKVANE_PICTURES or the
// temporary folder, with the scene's name.
inline std::string PictureFolder(const char *scene)
{
  const char *env = getenv("SPARKVANE_PICTURES");
  const std::string dir = std::string(env && *env ? env : "/tmp/sparkvane-pictures") + "/" + scene;
  std::filesystem::create_directories(dir);
  return dir;
}

inline void LoadPicture(sImage &img, const std::string &file)
{
  const std::u16string name(file.begin(), file.end());
  EXPECT_TRUE(img.Load(name.c_str())) << file;
}

// Pixels of the file that differ clearly from the colour (RGB).
inline sInt PixelsOtherThan(const std::string &file, sU32 colour)
{
  sImage img;
  LoadPicture(img, file);
  sInt n = 0;
  for(sInt i = 0; i < img.SizeX * img.SizeY; i++)
  {
    sInt d = 0;
    for(sInt s = 0; s < 24; s += 8) d += std::abs(sInt((img.Data[i] >> s) & 255) - sInt((colour >> s) & 255));
    n += d > 24;
  }
  return n;
}

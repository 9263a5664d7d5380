#pragma once
// Shared by the scene tests that look at pictures: where the pictures of the camera
// variants go, what a picture shows, and the run of a scene through visits of both
// transition-mode groups.

#include "show_rig.hpp"

#include "graphics/image.hpp"
#include "show/scene.hpp"

#include <filesystem>
#include <functional>

// $SPARKVANE_PICTURES/<scene> or /tmp/sparkvane-pictures/<scene>, never the source tree.
inline std::string ScenePictureDir(const char *scene)
{
  const char *dir = getenv("SPARKVANE_PICTURES");
  std::string d = std::string(dir && *dir ? dir : "/tmp/sparkvane-pictures") + "/" + scene;
  std::filesystem::create_directories(d);
  return d;
}

// The picture of a frame file.
struct Picture
{
  sImage Img;
  explicit Picture(const std::string &file)
  {
    std::u16string name(file.begin(), file.end());
    EXPECT_TRUE(Img.Load(name.c_str())) << file;
  }
  sU32 At(sInt x, sInt y) const { return Img.Data[y * Img.SizeX + x]; }
  static sInt Luma(sU32 c) { return ((c >> 16) & 255) + ((c >> 8) & 255) + (c & 255); }
  // Pixels of the rectangle (fractions of the picture) that pass the test.
  sInt Count(const std::function<sBool(sU32)> &test, sF32 x0 = 0, sF32 y0 = 0, sF32 x1 = 1, sF32 y1 = 1) const
  {
    sInt n = 0;
    for(sInt y = sInt(y0 * Img.SizeY); y < sInt(y1 * Img.SizeY); y++)
      for(sInt x = sInt(x0 * Img.SizeX); x < sInt(x1 * Img.SizeX); x++) n += test(At(x, y)) ? 1 : 0;
    return n;
  }
  // Summed brightness of the rectangle.
  sS64 Brightness(sF32 x0, sF32 y0, sF32 x1, sF32 y1) const
  {
    sS64 n = 0;
    for(sInt y = sInt(y0 * Img.SizeY); y < sInt(y1 * Img.SizeY); y++)
      for(sInt x = sInt(x0 * Img.SizeX); x < sInt(x1 * Img.SizeX); x++) n += Luma(At(x, y));
    return n;
  }
};

// Registers the scenes by index (with their table flags) and starts the machine.
inline void BuildScenes(ShowRig &rig, std::initializer_list<std::pair<Scene *, sInt>> scenes)
{
  rig.M = sNEW SceneMachine(&rig.Record);
  sInt i = 0;
  for(const auto &s : scenes) rig.M->RegisterScene(s.first, u"scene", i++, s.second, 0);
  rig.M->Start();
}

// A scene that only counts its visits: the one switched to between the visits of the
// scene under test.
class Elsewhere : public Scene
{
public:
  sInt Enters = 0;
  void Enter(sInt) override { Enters++; }
};

// Visits the scene at index 0 from index 1 once per pending transition mode (0, 1, 2, 3, 4
// give the transition modes 0, 1, 3, 2, 4), running `frames` frames in each visit and in
// each stay away, and calls `visit` after the frames of each visit.
inline void VisitInModes(ShowRig &rig, std::initializer_list<sInt> pendings, sInt frames,
                         const std::function<void(sInt mode)> &visit)
{
  for(sInt pending : pendings)
  {
    rig.M->PendingTransition = 0;
    rig.M->SwitchScene(1);
    for(sInt f = 0; f < frames && !testing::Test::HasFatalFailure(); f++) rig.Step();
    rig.M->PendingTransition = pending;
    rig.M->SwitchScene(0);
    EXPECT_EQ(rig.M->Current, 0);
    for(sInt f = 0; f < frames && !testing::Test::HasFatalFailure(); f++) rig.Step();
    visit(rig.M->Scenes[0]->RenderMode);
  }
}

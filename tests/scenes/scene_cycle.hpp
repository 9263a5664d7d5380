#pragma once
// Shared by the scene tests: a scene in a running machine through Enter and Leave cycles
// in the calm and the styled transition modes, with a picture of each camera kept for a
// person to look at, and pixel counts of the captured frames.
#include "show_rig.hpp"

#include "graphics/image.hpp"
#include "show/scene.hpp"

#include <filesystem>
#include <string>
#include <vector>

struct CycleBlank : Scene
{
};

// The folder for the pictures of a scene: $SPARKVANE_PICTURES or the temporary folder.
inline std::string PictureFolder(const char *scene)
{
  const char *env = getenv("SPARKVANE_PICTURES");
  const std::string dir = std::string(env && *env ? env : "/tmp/sparkvane-pictures") + "/" + scene;
  std::filesystem::create_directories(dir);
  return dir;
}

// The pixels of a captured frame (ARGB, rows from the top).
struct Pixels
{
  sInt SizeX = 0, SizeY = 0;
  std::vector<sU32> Data;
};

inline Pixels LoadFrame(const std::string &file)
{
  sImage img;
  std::u16string name(file.begin(), file.end());
  EXPECT_TRUE(img.Load(name.c_str()));
  Pixels p;
  p.SizeX = img.SizeX, p.SizeY = img.SizeY;
  p.Data.assign(img.Data, img.Data + img.SizeX * img.SizeY);
  return p;
}

// Pixels of b that differ from a by more than 24 in a channel.
inline sInt ChangedPixels(const Pixels &a, const Pixels &b)
{
  sInt n = 0;
  for(size_t i = 0; i < a.Data.size() && i < b.Data.size(); i++)
    for(sInt sh = 0; sh < 24; sh += 8)
      if(std::abs(sInt((a.Data[i] >> sh) & 255) - sInt((b.Data[i] >> sh) & 255)) > 24)
      {
        n++;
        break;
      }
  return n;
}

// Runs the scene (made by the rig's machine at index 0, a blank scene at 1) through two
// visits in each mode group, every camera in the first visits (in the styled group only
// when the scene's cameras do not depend on the mode), and keeps their pictures.
// Returns the number of pictures that show more than the clear colour.
inline sInt CycleScene(ShowRig &rig, Scene *scene, sInt variants, const char *name, sBool calmCameras = 1)
{
  rig.M = sNEW SceneMachine(&rig.Record);
  rig.M->RegisterScene(scene, u"scene", 0, 1, 0);
  rig.M->RegisterScene(sNEW CycleBlank, u"blank", 1, 1, 0);
  rig.M->Start();
  const std::string dir = PictureFolder(name);
  sInt drawn = 0;
  for(sInt visit = 0; visit < 2; visit++)
    for(const sInt pending : {0, 2})
    {
      rig.M->PendingTransition = pending;
      rig.M->SwitchScene(1);
      rig.Step();
      rig.M->SwitchScene(0);
      EXPECT_EQ(scene->RenderMode, pending ? 3 : 0);
      for(sInt v = 0; v < (visit || (!pending && !calmCameras) ? 1 : variants); v++)
      {
        scene->Variant = v;
        rig.Step();
        if(visit || (!pending && !calmCameras)) continue;
        const std::string file = dir + "/mode" + std::to_string(scene->RenderMode) + "-variant" + std::to_string(v) + ".bmp";
        std::filesystem::copy_file(rig.Frame, file, std::filesystem::copy_options::overwrite_existing);
        const Pixels img = LoadFrame(file);
        sInt lit = 0;
        for(sU32 px : img.Data) lit += px != img.Data[0];
        drawn += lit > img.SizeX * img.SizeY / 100;
      }
    }
  return drawn;
}

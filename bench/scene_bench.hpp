#pragma once
// What the benches that run the scene table share: their command line
// ([frames] [data tree]), the data tree as the working folder, and the system's memory,
// strings and files set up as the show sets them up for as long as the object lives (the
// bench partitions the memory itself, once it has measured what it wants before that).

#include "base/file.hpp"
#include "base/memory.hpp"
#include "base/textbuffer.hpp"
#include "show/guirecords.hpp"
#include "scenes/table.hpp"
#include "show/scene.hpp"
#include "show/sync.hpp"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace bench
{
class SceneBench
{
public:
  // frames: how many when the command line does not say
  SceneBench(int argc, char **argv, sInt frames)
  {
    Frames = argc > 1 ? std::atoi(argv[1]) : frames;
    if(Frames < 1) Frames = 1;
    const char *tree = argc > 2 ? argv[2] : TWDATA_DIR;
    if(chdir(tree) != 0) std::printf("no data tree at %s: the scenes draw without their pictures\n", tree);
    sInitMemorySystem();
    sGetMemoryHandler(1)->MakeThreadSafe();   // the SYNC machine's sound input starts a thread
    sInitStringPool();
    sInitFileHandlers();
    sInitRootFileHandler();
  }
  ~SceneBench()
  {
    sExitFileHandlers();
    sExitStringPool();
    sExitMemorySystem();
  }
  SceneBench(const SceneBench &) = delete;
  SceneBench &operator=(const SceneBench &) = delete;

  sInt Frames;
};

// The scene of a row of the scene table at the size, started as the show starts it, with
// the slideshow's folder handed to the Slideshow.
inline Scene *MakeScene(const ShowSceneRow &row, sInt width, sInt height, SyncMachine &sync, SlideshowControl &slides)
{
  Scene *s = row.Make();
  s->DisplayWidth = width;
  s->DisplayHeight = height;
  s->TextureSetKind = row.Flags & 0xff;
  s->Resident = (row.Flags & 0x100) ? 1 : 0;
  s->Init(&sync, 0, nullptr);
  if(sSetSlideshowControl) sSetSlideshowControl(s, &slides);
  return s;
}

// One frame of the scene in its variant through the view, as the show draws it (one step);
// false when no frame could begin.
inline bool DrawFrame(Scene *s, sViewport &view, sInt present)
{
  if(!sRender3DBegin()) return false;
  sSetScreenTarget(nullptr, sRTF_CLEAR_ALL, s->RenderEnv.FogColor);
  view.SetTarget();
  s->Camera(s->Variant, &view);
  view.Prepare(15);
  s->StepCount = 1;
  s->Tick(s->Variant);
  s->Render(s->Variant, &view);
  s->RenderObjects(&view);
  s->AfterRender(&view);
  sRender3DEnd(present);
  return true;
}
}

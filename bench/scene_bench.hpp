#pragma once
// What the benches that run the scene table share: their command line
// ([frames] [data tree]), the data tree as the working folder, and the system's memory,
// strings and files set up as the show sets them up for as long as the object lives (the
// bench partitions the memory itself, once it has measured what it wants before that).

#include "base/file.hpp"
#include "base/memory.hpp"
#include "base/textbuffer.hpp"

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
}

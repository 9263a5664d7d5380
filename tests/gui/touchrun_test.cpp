// The program with a scripted hand on its touch screen (touchapp/touchapp.cpp) under the
// test display: a style and a scene tile switch the scene, a movie of the list plays, an
// effect is switched on and changes the colours of the show's picture, a MIDI controller
// and a DMX channel are learned and then drive their tracks, a message is typed on the
// keyboard, the slideshow starts, and the exit dialog ends the program with code 0; a
// second run ends on the update dialog with code 1. Shorter runs pick every scene on its
// tile.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#if defined(SPARK_TOUCHAPP) && defined(TWDATA_DIR)
namespace
{
struct TouchOutcome
{
  std::string Output;
  int Status = -1;
};

TouchOutcome TouchRun(const std::string &args, const char *screen = "1280x720")
{
  TouchOutcome run;
  // a display of its own: the pointer and the keyboard of a shared one belong to every
  // test that runs beside this one
  std::string cmd = "cd '" TWDATA_DIR "/..' && xvfb-run -a -s '-screen 0 " + std::string(screen) +
                    "x24 -noreset' '" SPARK_TOUCHAPP "' " + args + " 2>&1";
  FILE *p = popen(cmd.c_str(), "r");
  if(!p) return run;
  char buf[4096];
  for(size_t n; (n = fread(buf, 1, sizeof(buf), p)) > 0;) run.Output.append(buf, n);
  run.Status = pclose(p);
  return run;
}
}

// both runs in one test, one after the other: each starts a display server of its own
TEST(TouchRun, EveryStepByTouchThenTheExitDialogEndsWithCodeZeroAndTheUpdateDialogWithOne)
{
  if(system("command -v xvfb-run > /dev/null") != 0) GTEST_SKIP() << "no xvfb-run";
  TouchOutcome run = TouchRun("-end exit");
  ASSERT_TRUE(WIFEXITED(run.Status)) << run.Output;
  EXPECT_EQ(WEXITSTATUS(run.Status), 0) << run.Output;
  for(const char *step : {"GUI shown", "tile of scene 5", "layer movie plays", "effect ACTIVE",
                          "colour correction washes the output toward red", "slideshow START", "controller 100 learned",
                          "brightness follows controller 100", "DMX channel 41 learned", "strobe follows DMX channel 41", "live recording holds both controls",
                          "message 2 holds the text", "script done"})
    EXPECT_NE(run.Output.find(std::string("ok ") + step + "\n"), std::string::npos) << step << "\n" << run.Output;
  EXPECT_EQ(run.Output.find("Memory Leak"), std::string::npos) << run.Output;

  run = TouchRun("-end update");
  ASSERT_TRUE(WIFEXITED(run.Status)) << run.Output;
  EXPECT_EQ(WEXITSTATUS(run.Status), 1) << run.Output;
  EXPECT_NE(run.Output.find("ok script done\n"), std::string::npos) << run.Output;
}

// Every scene picked on its own tile (the scene of list position k is scene k), the list
// scrolled by its slider to reach the tiles off the page; the tiles in a few runs, each
// on a display of its own, so that they run side by side. A run starts on scene 0: its
// tile comes after another, so that its pick can be seen.
class TouchTiles : public testing::TestWithParam<std::vector<int>>
{
};

TEST_P(TouchTiles, EachTilePicksItsScene)
{
  if(system("command -v xvfb-run > /dev/null") != 0) GTEST_SKIP() << "no xvfb-run";
  std::string list;
  for(int k : GetParam()) list += (list.empty() ? "" : ",") + std::to_string(k);
  TouchOutcome run = TouchRun("-tiles " + list, "640x360");
  ASSERT_TRUE(WIFEXITED(run.Status)) << run.Output;
  EXPECT_EQ(WEXITSTATUS(run.Status), 0) << run.Output;
  for(int k : GetParam())
    EXPECT_NE(run.Output.find("ok scene " + std::to_string(k) + " drawn\n"), std::string::npos) << k << "\n" << run.Output;
  EXPECT_NE(run.Output.find("ok script done\n"), std::string::npos) << run.Output;
}

// the left end of the list, its middle and its right end; each run ends on its slowest
// scene, since under the software renderer a frame of some scenes (Body, Plant, Invaders,
// Cubic, Crystal) can take long, the longer the more they have run
INSTANTIATE_TEST_SUITE_P(Scenes, TouchTiles,
                         testing::Values(std::vector<int>{1, 2, 0, 3}, std::vector<int>{5, 4}, std::vector<int>{8, 7},
                                         std::vector<int>{9, 6}, std::vector<int>{11, 12, 10}),
                         [](const testing::TestParamInfo<std::vector<int>> &info) {
                           std::string name = "tiles";
                           for(int k : info.param) name += "_" + std::to_string(k);
                           return name;
                         });
#endif

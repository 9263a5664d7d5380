// The program with a scripted hand on its touch screen (touchapp/touchapp.cpp, which says
// what its steps do) under a display of its own: the full run, the update run and runs
// that pick every scene on its tile.
#include "common/server_process.hpp"
#include "common/temp_dir.hpp"
#include "common/test_display.hpp"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#if defined(SPARK_TOUCHAPP) && defined(TWDATA_DIR)
namespace
{
// A run longer than this is stuck (one takes well under a minute, under a software renderer
// on a loaded machine a few): it is ended with its threads' stacks in the output, before
// the suite's own limit would end the test and lose what the run printed.
constexpr auto RunBound = std::chrono::seconds(420);

// Runs a shell command whose last word execs the program; its output (both streams) in
// out, its wait status returned. A program that runs past the bound is ended, the stacks
// of its threads (when gdb is there) and a line saying so appended to out.
int RunBounded(const std::string &cmd, std::string &out)
{
  const std::string file = sparktest::MakeTemp("sparktest-touchrun.", false);
  sparktest::ServerProcess run;
  std::string why;
  if(file.empty() || !run.Start({"sh", "-c", cmd}, file, -1, why)) return out = "cannot start the run: " + why, -1;
  const auto end = std::chrono::steady_clock::now() + RunBound;
  int status = -1;
  while(!run.Ended(status) && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  std::string stuck;
  if(run.Running())
  {
    stuck = "\n--- the run is stuck after " + std::to_string(RunBound.count()) + " s; its threads:\n";
    if(FILE *g = popen(("gdb -p " + std::to_string(run.Pid()) + " -batch -ex 'thread apply all bt' 2>&1").c_str(), "r"))
    {
      char buf[4096];
      for(size_t n; (n = fread(buf, 1, sizeof(buf), g)) > 0;) stuck.append(buf, n);
      pclose(g);
    }
    run.Stop();
  }
  std::stringstream text;
  text << std::ifstream(file).rdbuf();
  unlink(file.c_str());
  out = text.str() + stuck;
  return status;
}

// Runs the program on a display of its own (the pointer and the keyboard of a shared one
// belong to every test beside this one), checks its exit code and that each step ended.
std::string ExpectRun(const std::string &args, const char *screen, int code, std::vector<std::string> steps,
                      const std::string &dir = TWDATA_DIR "/..")
{
  sparktest::TestDisplay display(screen + std::string("x24"));
  if(!display.Ok()) return ADD_FAILURE() << display.Failure(), display.Failure();
  std::string cmd = "cd '" + dir + "' && DISPLAY=" + display.Name() + " exec '" SPARK_TOUCHAPP "' " + args, out;
  const int status = RunBounded(cmd, out);
  steps.push_back("script done");
  std::string missing;
  for(const std::string &step : steps)
    if(out.find("ok " + step + "\n") == std::string::npos) missing += "  " + step + "\n";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == code && missing.empty())
    << "wait status " << status << "; steps not ended:\n" << missing << out;
  return out;
}
// A folder of the run's own: the generated tree's files of the show linked into it, and
// its data root TWdata with the media folders linked and the configurations copied; no
// live recording: the show starts without one, so the file holds only what the run saved.
bool OwnTree(const sparktest::TempDir &dir)
{
  std::string cmd = "mkdir '" + dir.Path + "/TWdata' && cd '" + dir.Path + "' && for f in '" TWDATA_DIR "'/*; do "
                    "case \"${f##*/}\" in configs) cp -r \"$f\" TWdata/ ;; slideshows|logos|flyer|movies) ln -s \"$f\" TWdata/ ;; "
                    "LiveRecordingData.txt|manifest.txt) ;; *) ln -s \"$f\" . ;; esac; done";
  return !dir.Path.empty() && system(cmd.c_str()) == 0;
}
bool NoXvfb() { return !sparktest::HaveXvfb(); }
}

// both runs in one test, one after the other: each starts a display server of its own
TEST(TouchRun, EveryStepByTouchThenTheExitDialogEndsWithCodeZeroAndUpdateOpensThePage)
{
  if(NoXvfb()) GTEST_SKIP() << "no Xvfb";
  sparktest::TempDir dir;
  ASSERT_TRUE(OwnTree(dir));
  std::string out = ExpectRun("-end exit", "1280x720", 0,
                              {"GUI shown", "tile of scene 5", "scene 5 drawn", "layer movie plays", "last movie tile", "the strobe follows the program's steps",
                               "no change off the program's steps", "the settings of before are back", "effect ACTIVE",
                               "colour correction washes the output toward red", "slideshow START", "controller 100 learned",
                               "brightness follows controller 100", "DMX channel 41 learned", "strobe follows DMX channel 41",
                               "live recording holds both controls", "the live recording's file holds both controls",
                               "video-in TOP MIX", "video-in ACTIVE", "the IPP took the video-in request",
                               "the configuration file holds the video-in settings", "message 2 holds the text"},
                              dir.Path);
  EXPECT_EQ(out.find("Memory Leak"), std::string::npos) << out;
  // the recording made with the GUI is in the file after the show ended
  FILE *f = std::fopen((dir.Path + "/LiveRecordingData.txt").c_str(), "r");
  int lines = 0, midi = 0, dmx = 0;
  for(unsigned w[3]; f && std::fscanf(f, "live: %u,%u,%u,%*[^\n]\n", &w[0], &w[1], &w[2]) == 3; lines++)
    midi += w[1] >= 1500 && w[1] < 2000, dmx += w[2] >= 2500 && w[2] < 3000;
  if(f) std::fclose(f);
  EXPECT_EQ(lines, 18000);
  EXPECT_GT(midi, 0);
  EXPECT_GT(dmx, 0);
  ExpectRun("-end update", "1280x720", 0, {"the opener has the update page of this version"});
}

// The show as it is built (media from the pack file) on a fresh tree: the slideshow that its
// page starts shows the tree's pictures.
TEST(TouchRun, AFreshTreeShowsTheSlideshowStartedOnItsPage)
{
  if(NoXvfb()) GTEST_SKIP() << "no Xvfb";
  sparktest::TempDir dir;
  ASSERT_TRUE(OwnTree(dir));
  ExpectRun("-slideshow", "1280x720", 0, {"slideshow START", "the slideshow shows pictures"}, dir.Path);
}

// The scene of list position k is scene k; a few runs, side by side on displays of their
// own. A run starts on scene 0: its tile comes after another, so that its pick is seen.
class TouchTiles : public testing::TestWithParam<std::vector<int>> {};

TEST_P(TouchTiles, EachTilePicksItsScene)
{
  if(NoXvfb()) GTEST_SKIP() << "no Xvfb";
  std::string list;
  std::vector<std::string> steps;
  for(int k : GetParam())
    list += (list.empty() ? "" : ",") + std::to_string(k), steps.push_back("scene " + std::to_string(k) + " drawn");
  ExpectRun("-tiles " + list, "640x360", 0, steps);
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

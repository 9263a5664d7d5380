// The program with a scripted hand on its touch screen (touchapp/touchapp.cpp) under the
// test display: a style and a scene tile switch the scene, a movie of the list plays, an
// effect is switched on and changes the colours of the show's picture, the slideshow starts, a MIDI controller and a DMX channel are
// learned and then drive their tracks, a message is typed on the keyboard, and the exit
// dialog ends the program with code 0; a second run ends on the update dialog with code 1.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#if defined(SPARK_TOUCHAPP) && defined(TWDATA_DIR)
namespace
{
struct TouchOutcome
{
  std::string Output;
  int Status = -1;
};

TouchOutcome TouchRun(const char *end)
{
  TouchOutcome run;
  // a display of its own: the pointer and the keyboard of a shared one belong to every
  // test that runs beside this one
  std::string cmd = "cd '" TWDATA_DIR "/..' && xvfb-run -a -s '-screen 0 1280x720x24 -noreset' '" SPARK_TOUCHAPP
                    "' -end " + std::string(end) + " 2>&1";
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
  TouchOutcome run = TouchRun("exit");
  ASSERT_TRUE(WIFEXITED(run.Status)) << run.Output;
  EXPECT_EQ(WEXITSTATUS(run.Status), 0) << run.Output;
  for(const char *step : {"GUI shown", "tile of scene 5", "layer movie plays", "effect ACTIVE",
                          "colour correction washes the output toward red", "slideshow START", "controller 100 learned",
                          "brightness follows controller 100", "DMX channel 41 learned", "strobe follows DMX channel 41", "live recording holds both controls",
                          "message 2 holds the text", "script done"})
    EXPECT_NE(run.Output.find(std::string("ok ") + step + "\n"), std::string::npos) << step << "\n" << run.Output;
  EXPECT_EQ(run.Output.find("Memory Leak"), std::string::npos) << run.Output;

  run = TouchRun("update");
  ASSERT_TRUE(WIFEXITED(run.Status)) << run.Output;
  EXPECT_EQ(WEXITSTATUS(run.Status), 1) << run.Output;
  EXPECT_NE(run.Output.find("ok script done\n"), std::string::npos) << run.Output;
}
#endif

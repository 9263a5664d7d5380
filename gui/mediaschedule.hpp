#pragma once
// The media schedule: the five media countdowns, the message countdowns and the text slots'
// start/stop edges, and the latches of the logo, flyer and movie schedules. The GUI scene
// holds one; gui.cpp runs the timers and messages, mediaschedule.cpp the logo/flyer phases,
// the movie tracks and the live-recording feed.

#include "base/numbers.hpp"
#include "gui/configfile.hpp"

enum : sInt
{
  sGUI_TIMERS = 5,
  sGUI_MESSAGESLOTS = 32,
};

// One media countdown (slideshow, logos, flyer, movies, video-in).
struct GuiMediaTimer
{
  sInt Running, PrevRunning;
  sInt Countdown;              // ms
  sInt FullScale;              // ms of a slider fraction of 1
};

struct GuiMediaSchedule
{
  // media timers and message countdowns
  GuiMediaTimer timers[sGUI_TIMERS];
  sInt messageCountdown[sGUI_TEXTSLOTS];
  sInt messageRestart[sGUI_TEXTSLOTS];
  sInt textRunning[sGUI_MESSAGESLOTS], textPrev[sGUI_MESSAGESLOTS];
  sInt textStart[sGUI_MESSAGESLOTS], textStop[sGUI_MESSAGESLOTS];
  sInt currentText;
  sInt prevSlideshowStyle;
  // the logo and flyer phases, the movie start and the movie tracks' latches
  sU32 flyerPhase, prevFlyerPhase;
  sU32 logoStartRequest, flyerStartRequest;
  sU32 prevMovieStartRequest, prevSelectedMovie;
  sU32 movieLatch[2][12];
  sU32 movieTrackTime[2][12];
};

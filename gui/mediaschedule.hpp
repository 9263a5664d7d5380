#pragma once
// The media schedule: the five media countdowns, the message countdowns and the text slots'
// start/stop edges, and the latches of the logo, flyer and movie schedules. The GUI scene
// holds one and hands its methods the settings (GuiConfig) and the shared media record
// (GuiMediaState) they read and write; mediaschedule.cpp runs the countdowns, the messages,
// the logo/flyer phases, the movie tracks and the live-recording feed. Main thread only;
// the callers of the logo and flyer steps hold the GUI's lock (the loader shares the record).

#include "base/numbers.hpp"
#include "gui/configfile.hpp"

struct GuiMediaState;

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
  sInt prevSlideshowStyle, prevFlyerStyle;
  // the logo and flyer phases, the movie start and the movie tracks' latches
  sU32 flyerPhase, prevFlyerPhase;
  sU32 logoStartRequest, flyerStartRequest;
  sU32 prevMovieStartRequest, prevSelectedMovie;
  sU32 movieLatch[2][12];
  sU32 movieTrackTime[2][12];

  // Every countdown stopped at 0 with its full scale, no text on air, no latch set.
  GuiMediaSchedule();
  // The 10 ms step: each switched-on countdown counts down, none above its interval; a
  // message asked to restart starts again from its interval.
  void Count(const GuiConfig &config);
  // The countdowns from the settings' start times in seconds (-1: a random share of the
  // interval, drawn from random).
  void ResolveIntervals(const GuiConfig &config, sRandomLcg &random);
  // No text on air, every message countdown at 0.
  void ClearMessages();
  // The logos start over: off now, the countdown from the interval again.
  void RestartLogoTimer(const GuiConfig &config, GuiMediaState &media);
  // The flyer timer's edges and the IPP's flyer flags; a flyer is asked for when its
  // countdown ran out and nothing else shows.
  void UpdateFlyerTimer(const GuiConfig &config, GuiMediaState &media, sInt flyerPictures);
  // The logo and flyer phases: a logo when its countdown ran out, the flyers after it when
  // barStart (the first frame of an eight-bar period) and until their flyer ends.
  void UpdateLogoFlyer(const GuiConfig &config, GuiMediaState &m, sInt flyerPictures, sBool barStart);
  // The messages whose countdown ran out go on air one at a time, the IPP's done word
  // takes them off; a short message goes on air once.
  void SelectTimerMessage(const GuiConfig &config, GuiMediaState &media);
};

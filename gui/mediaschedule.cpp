// The movie schedule with its DMX and MIDI tracks, and the feed of the control values
// into the scene machine's live recording.
//
// A movie is started by number in the movie folder's listing order, the order in which
// the IPP machine counts the files it opens. A start never names "no movie": when
// nothing is marked for the random pick, any movie of the folder is taken, so the page
// never shows "running" over an empty layer.
#include "gui/gui.hpp"

#include "show/controls.hpp"
#include "show/scenehost.hpp"
#include "show/sync.hpp"

namespace
{
constexpr sU32 None = sU32(-1);
constexpr sU32 RetriggerMs = 200;
}

void GuiFeedLiveLine(SceneControls &c, sU32 clockMs, sInt barStep, const sInt *midi, const sInt *dmx)
{
  if(!c.LiveTable) return;
  sInt line = sInt(clockMs / 20);
  if(line > sLIVE_LINES - 1) line = sLIVE_LINES - 1;
  sU32 *words = c.LiveTable[line];
  if(barStep < 0) barStep = 0;
  words[0] = sU32((barStep / 8) * 100 + barStep % 8);
  for(sInt t = 0; t < sCONTROL_TRACKS; t++)
  {
    sF32 v = 0;
    sU32 flag = 0;
    if(c.GetControlTrigger(0, midi[t + 1], t)) v = c.GetControlValue(0, midi[t + 1], t), flag = 1000;
    if(c.GetControlTrigger(1, dmx[t + 1], t)) v += c.GetControlValue(1, dmx[t + 1], t), flag += 2000;
    if(!flag) continue;
    v = v < 0 ? 0 : (v > 1 ? 1 : v);
    words[t + 1] = flag + sU32(v * 999.0f);
  }
}

void TouchGui::FeedLiveRecording()
{
  if(!Machine) return;
  // the bar index counts on over the eight-bar cycles: it is the cycle x 8 plus the bar already
  sInt bar = SyncSource ? SyncSource->BarIndex[1] : 0;
  GuiFeedLiveLine(*Machine, SyncClockMs(), bar, config.Midi, config.Dmx);
}

void TouchGui::UpdateMovieControl()
{
  GuiMediaTimer &timer = schedule.timers[3];
  if(Machine)
    for(sInt kind = 0; kind < 2; kind++)
    {
      const sInt *table = kind ? config.Dmx : config.Midi;
      auto value = [&](sInt track, sF32 &v) {
        if(!Machine->GetControlTrigger(kind, table[track + 1], track)) return false;
        v = Machine->GetControlValue(kind, table[track + 1], track);
        if(controlSwitch) movieSection = 8;   // the movie section, where these settings are shown
        return true;
      };
      for(sInt k = 0; k < 12 && k < folders.listCount; k++)
      {
        sF32 v;
        if(!value(20 + k, v)) continue;
        sBool select = 0;
        if(config.MovieStartFader[kind])
        {
          if(v > 0.97f && !schedule.movieLatch[kind][k]) select = 1, schedule.movieLatch[kind][k] = 1;
          if(v < 0.03f) schedule.movieLatch[kind][k] = 0;
        }
        else if(SyncClockMs() - schedule.movieTrackTime[kind][k] > RetriggerMs)
          select = 1, schedule.movieTrackTime[kind][k] = SyncClockMs();
        if(select) selectedMovie = sU32(k), schedule.prevSelectedMovie = None;
      }
      sF32 v;
      if(value(9, v))
      {
        if(v > 0.97f) config.Movie.Active = 1;
        if(v < 0.03f) config.Movie.Active = 0;
      }
      if(value(10, v)) config.Movie.Interval = v, sliders[5].Changed = 1;
      if(value(11, v))
      {
        if(v > 0.97f) timer.Running = 1;
        if(v < 0.03f) timer.Running = 0;
      }
      if(value(12, v))
      {
        sInt s = sInt(v * 4.0f);
        config.Movie.Style = s < 0 ? 0 : (s > 3 ? 3 : s);
      }
      if(value(13, v)) config.Movie.Power = v, sliders[4].Changed = 1;
    }

  sScopeLock lock(&guiLock);
  GuiMediaState &m = mediaState;
  auto reload = [&] {
    if(config.Movie.Active || timer.Countdown < 0) timer.Countdown = sInt(config.Movie.Interval * sF32(timer.FullScale));
  };
  auto upcoming = [&] {
    if(upcomingMovie >= sU32(folders.listCount)) PickMarkedPicture();
    if(upcomingMovie >= sU32(folders.listCount) && folders.listCount > 0) upcomingMovie = sU32(random.NextBelow(folders.listCount));
    return upcomingMovie;
  };
  auto start = [&](sU32 movie) {
    selectedMovie = schedule.prevSelectedMovie = movie;
    m.ClipNumber = sInt(movie);
    m.ClipRequest = 1;
    m.ClipRestart = 1;
    movieStartClock = touch.Clock;
  };
  // the player moved on to the next movie by itself
  if(m.ClipAdvanced)
  {
    m.ClipAdvanced = 0;
    selectedMovie = schedule.prevSelectedMovie = sU32(m.ClipNumber);
    upcomingMovie = None;
    upcoming();
  }
  if(m.ClipEnded && !m.ClipShown && !m.ClipAutoNext) timer.Running = 0;
  m.ClipEnded = 0;
  sU32 running = sU32(timer.Running);
  if(running && !schedule.prevMovieStartRequest)
  {
    if(folders.listCount > 0)
    {
      if(selectedMovie < sU32(folders.listCount) && selectedMovie != schedule.prevSelectedMovie)
        start(selectedMovie);   // a tile or a track named the movie
      else
        start(upcoming());
      upcomingMovie = None;
      upcoming();
    }
    else
      timer.Running = 0, running = 0;
  }
  else if(running && selectedMovie != schedule.prevSelectedMovie && selectedMovie < sU32(folders.listCount))
    start(selectedMovie);
  else if(!running && selectedMovie != schedule.prevSelectedMovie && selectedMovie < sU32(folders.listCount))
  {
    start(selectedMovie);
    timer.Running = 1, running = 1;
  }
  else if(!running && schedule.prevMovieStartRequest)
  {
    m.ClipOff = 1;
    reload();
    selectedMovie = schedule.prevSelectedMovie = None;
  }
  if(folders.listCount == 0 && timer.Countdown < 0) reload();
  if(folders.listCount > 0 && timer.Countdown < 0 && config.Movie.Active && !running)
  {
    start(upcoming());
    upcomingMovie = None;
    upcoming();
    timer.Running = 1, running = 1;
    reload();
  }
  schedule.prevMovieStartRequest = running;
}

void TouchGui::UpdateLogoFlyer()
{
  sScopeLock lock(&guiLock);
  GuiMediaState &m = mediaState;
  GuiMediaTimer &logos = schedule.timers[1], &flyer = schedule.timers[2];
  auto restartLogos = [&] {
    if(config.Logos.Active || logos.Countdown < 0) logos.Countdown = sInt(config.Logos.Interval * sF32(logos.FullScale));
  };
  // the logos' START and the flyer's START ask for their phase
  if(logos.Running && !logos.PrevRunning) schedule.logoStartRequest = 1;
  logos.PrevRunning = logos.Running;
  logos.Running = 0;
  if(schedule.logoStartRequest) schedule.flyerPhase = 0, restartLogos();
  if(schedule.flyerStartRequest && folders.flyerPictures > 0) schedule.flyerPhase = 1;
  schedule.logoStartRequest = schedule.flyerStartRequest = 0;
  // the flyers take over from the logos: the next flyer is asked for at once
  if(schedule.flyerPhase && !schedule.prevFlyerPhase)
  {
    m.LogoRequest = 0;
    if(!flyer.Running && folders.flyerPictures > 0) m.MovieRequest = 1;
    if(config.Flyer.Active || flyer.Countdown < 0) flyer.Countdown = sInt(config.Flyer.Interval * sF32(flyer.FullScale));
  }
  if(!schedule.flyerPhase && schedule.prevFlyerPhase) restartLogos();
  // no logo loaded: nothing to show, the countdown only starts again
  if(m.LogoCount == 0 && logos.Countdown < 0) restartLogos();
  // a logo on the next sequencer code; on the first frame of an eight-bar period the
  // flyers follow it
  sBool flyerBusy = m.MovieRequest || m.MovieShown;
  if(m.LogoCount > 0 && !m.LogoRequest && !m.LogoShown && logos.Countdown < 0 && !flyerBusy && !schedule.flyerPhase)
  {
    m.LogoRequest = 1;
    restartLogos();
    if(SyncSource && SyncSource->Results.Bar8Phase < 0.01f && folders.flyerPictures > 0) schedule.flyerPhase = 1;
  }
  // the flyer phase ends with its flyer
  if(schedule.flyerPhase && schedule.prevFlyerPhase && !m.MovieRequest && !m.MovieShown && !flyer.Running) schedule.flyerPhase = 0;
  if(m.LogoEnded) m.LogoEnded = 0;
  schedule.prevFlyerPhase = schedule.flyerPhase;
}

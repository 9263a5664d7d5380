// The movie schedule with its DMX and MIDI tracks, the feed of the control values into
// the scene machine's live recording, the media schedule's own steps (the countdowns, the
// logo and flyer phases and the messages on air) and the GUI scene's media timers: the
// slideshow's style and timer and the video-in timer.
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
constexpr sInt MessageFullScale = 1800000;
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
        if(controlSwitch) pages.movieSection = 8;   // the movie section, where these settings are shown
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
      if(value(10, v)) config.Movie.Interval = v, pages.sliders[5].Changed = 1;
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
      if(value(13, v)) config.Movie.Power = v, pages.sliders[4].Changed = 1;
    }

  sScopeLock lock(&guiLock);
  GuiMediaState &m = mediaState;
  auto reload = [&] {
    if(config.Movie.Active || timer.Countdown < 0) timer.Countdown = GuiIntervalMs(config.Movie.Interval, timer.FullScale);
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

/****************************************************************************/
/***   Countdowns, logos, flyers and messages                             ***/
/****************************************************************************/

GuiMediaSchedule::GuiMediaSchedule()
{
  static const sInt fullScale[sGUI_TIMERS] = {10800000, 1800000, 1800000, 1800000, 1800000};
  for(sInt i = 0; i < sGUI_TIMERS; i++) timers[i] = {0, 0, 0, fullScale[i]};
  for(sInt i = 0; i < sGUI_TEXTSLOTS; i++) messageCountdown[i] = messageRestart[i] = 0;
  for(sInt i = 0; i < sGUI_MESSAGESLOTS; i++) textRunning[i] = textPrev[i] = textStart[i] = textStop[i] = 0;
  currentText = -1;
  prevSlideshowStyle = prevFlyerStyle = 0;
  flyerPhase = prevFlyerPhase = 0;
  logoStartRequest = flyerStartRequest = 0;
  prevMovieStartRequest = 0;
  prevSelectedMovie = sU32(-1);
  for(sInt k = 0; k < 2; k++)
    for(sInt i = 0; i < 12; i++) movieLatch[k][i] = movieTrackTime[k][i] = 0;
}

void GuiMediaSchedule::Count(const GuiConfig &config)
{
  const sInt *active[sGUI_TIMERS] = {&config.Slideshow.Active, &config.Logos.Active, &config.Flyer.Active,
                                     &config.Movie.Active, &config.VideoActive};
  const sF32 *fraction[sGUI_TIMERS] = {&config.Slideshow.Interval, &config.Logos.Interval, &config.Flyer.Interval,
                                       &config.Movie.Interval, &config.VideoInterval};
  for(sInt i = 0; i < sGUI_TIMERS; i++)
  {
    GuiMediaTimer &t = timers[i];
    if(!*active[i]) continue;
    t.Countdown -= 10;
    sInt limit = GuiIntervalMs(*fraction[i], t.FullScale);
    if(t.Countdown >= limit) t.Countdown = limit;
  }
  for(sInt i = 0; i < sGUI_TEXTSLOTS; i++)
  {
    const GuiMessageSetting &m = config.Messages[i];
    sInt &c = messageCountdown[i];
    if(m.Active) c -= 10;
    sInt limit = GuiIntervalMs(m.Interval, MessageFullScale);
    if(messageRestart[i] && m.Active)
      c = limit;
    else if(c >= limit)
      c = limit;
    if(messageRestart[i] && !m.Active && c < 0) c = 0;
    messageRestart[i] = 0;
  }
}

void GuiMediaSchedule::ResolveIntervals(const GuiConfig &config, sRandomLcg &random)
{
  const sF32 *start[sGUI_TIMERS] = {&config.Slideshow.Start, &config.Logos.Start, &config.Flyer.Start,
                                    &config.Movie.Start, &config.VideoStart};
  const sF32 *fraction[sGUI_TIMERS] = {&config.Slideshow.Interval, &config.Logos.Interval, &config.Flyer.Interval,
                                       &config.Movie.Interval, &config.VideoInterval};
  auto resolve = [&random](sF32 seconds, sF32 frac, sInt full) {
    if(seconds == -1.0f) return sInt(random.NextFloat(0.8f) * sF32(GuiIntervalMs(frac, full)));
    // a hand-edited start can be anything: the countdown holds about 23 days either way
    if(!(seconds == seconds)) seconds = 0;
    seconds = seconds < -2000000.0f ? -2000000.0f : (seconds > 2000000.0f ? 2000000.0f : seconds);
    return sInt(seconds * 1000.0f);
  };
  for(sInt i = 0; i < sGUI_TIMERS; i++) timers[i].Countdown = resolve(*start[i], *fraction[i], timers[i].FullScale);
  for(sInt i = 0; i < sGUI_TEXTSLOTS; i++)
    messageCountdown[i] = resolve(config.Messages[i].Start, config.Messages[i].Interval, MessageFullScale);
}

void GuiMediaSchedule::ClearMessages()
{
  for(sInt i = 0; i < sGUI_MESSAGESLOTS; i++) textRunning[i] = textPrev[i] = textStart[i] = textStop[i] = 0;
  currentText = -1;
  for(sInt &c : messageCountdown) c = 0;
}

void GuiMediaSchedule::RestartLogoTimer(const GuiConfig &config, GuiMediaState &media)
{
  GuiMediaTimer &t = timers[1];
  t.Running = 0;
  media.LogoOff = 1;
  if(config.Logos.Active || t.Countdown < 0) t.Countdown = GuiIntervalMs(config.Logos.Interval, t.FullScale);
}

void GuiMediaSchedule::UpdateFlyerTimer(const GuiConfig &config, GuiMediaState &media, sInt flyerPictures)
{
  GuiMediaTimer &t = timers[2];
  media.MovieStyle = config.Flyer.Style;
  // another style while a flyer shows starts it again, in that style
  if(config.Flyer.Style != prevFlyerStyle && t.Running) media.MovieNow = 1;
  prevFlyerStyle = config.Flyer.Style;
  if(t.Running && !t.PrevRunning)
  {
    if(flyerPictures > 0)
    {
      media.MovieNow = 1;
      RestartLogoTimer(config, media);
    }
    else
      t.Running = 0;
  }
  else if(!t.Running && t.PrevRunning)
  {
    media.MovieOff = 1;
    if(config.Flyer.Active || t.Countdown < 0) t.Countdown = GuiIntervalMs(config.Flyer.Interval, t.FullScale);
  }
  if(media.MovieEnded) t.Running = 0, media.MovieEnded = 0;
  if(media.MovieStarted) t.Running = 1, media.MovieStarted = 0;
  if(flyerPictures == 0 && t.Countdown < 0) t.Countdown = GuiIntervalMs(config.Flyer.Interval, t.FullScale);
  if(t.Countdown < 0 && !t.Running && !media.MovieShown && !media.LogoShown && flyerPictures > 0)
    media.MovieRequest = 1;
  t.PrevRunning = t.Running;
}

void GuiMediaSchedule::UpdateLogoFlyer(const GuiConfig &config, GuiMediaState &m, sInt flyerPictures, sBool barStart)
{
  GuiMediaTimer &logos = timers[1], &flyer = timers[2];
  // no logo loaded: the flyers alternate with nothing, their phase ends
  if(m.LogoCount == 0) flyerPhase = 0;
  // the logo style reaches the IPP every frame (PublishRecords), whose next logo takes it:
  // nothing in the show reads a reload or phase-change request of the logos, none is written
  auto restartLogos = [&] {
    if(config.Logos.Active || logos.Countdown < 0) logos.Countdown = GuiIntervalMs(config.Logos.Interval, logos.FullScale);
  };
  // the logos' START and the flyer's START ask for their phase
  if(logos.Running && !logos.PrevRunning) logoStartRequest = 1;
  logos.PrevRunning = logos.Running;
  logos.Running = 0;
  if(logoStartRequest) flyerPhase = 0, restartLogos();
  if(flyerStartRequest && flyerPictures > 0) flyerPhase = 1;
  logoStartRequest = flyerStartRequest = 0;
  // the flyers take over from the logos: the flyer's show request starts afresh and the
  // next flyer is asked for at once; with none to show the logos go on through the phase
  if(flyerPhase && !prevFlyerPhase)
  {
    m.MovieRequest = 0;
    if(!flyer.Running && flyerPictures > 0) m.MovieRequest = 1;
    // the logo asked for on the phase's first bar gives the flyer its turn: both asked
    // for the same sequencer code would show at once, one over the other
    if(m.MovieRequest) m.LogoRequest = 0;
    if(config.Flyer.Active || flyer.Countdown < 0) flyer.Countdown = GuiIntervalMs(config.Flyer.Interval, flyer.FullScale);
  }
  if(!flyerPhase && prevFlyerPhase) restartLogos();
  // the phase as these steps saw it: one begun below is taken up in the next frame
  prevFlyerPhase = flyerPhase;
  // no logo loaded: nothing to show, the countdown only starts again
  if(m.LogoCount == 0 && logos.Countdown < 0) restartLogos();
  // a logo on the next sequencer code, one after the other while the countdown stays run
  // out; on the first frame of an eight-bar period the flyers follow, and their phase's end
  // starts the countdown again. A phase without flyers to show holds no logo back
  sBool flyerBusy = m.MovieRequest || m.MovieShown;
  if(m.LogoCount > 0 && !m.LogoRequest && !m.LogoShown && logos.Countdown < 0 && !flyerBusy &&
     !(flyerPhase && flyerPictures > 0))
  {
    m.LogoRequest = 1;
    if(barStart) flyerPhase = 1;
  }
  // the flyer phase ends with its flyer; one without flyers lasts until the logos' START
  // or until no logo is loaded
  if(flyerPhase && prevFlyerPhase && flyerPictures > 0 && !m.MovieRequest && !m.MovieShown && !flyer.Running)
    flyerPhase = 0;
  if(m.LogoEnded) m.LogoEnded = 0;
}

void GuiMediaSchedule::SelectTimerMessage(const GuiConfig &config, GuiMediaState &media)
{
  auto stop = [&](sInt slot) {
    if(slot < 0) return;
    textStart[slot] = textStop[slot] = 0;
    textRunning[slot] = textPrev[slot] = 0;
    if(slot < sGUI_TEXTSLOTS)
    {
      if(config.Messages[slot].Active)
        messageCountdown[slot] = GuiIntervalMs(config.Messages[slot].Interval, MessageFullScale);
      else if(messageCountdown[slot] < 0)
        messageCountdown[slot] = 0;
    }
  };
  // a message whose countdown ran out asks to start; the IPP's done word ends it
  for(sInt i = 0; i < sGUI_TEXTSLOTS; i++)
    if(config.Messages[i].Active && messageCountdown[i] < 0 && !textRunning[i] && config.Messages[i].Text[0])
      textStart[i] = 1;
  if(currentText >= 0 && media.Messages[0].Done)
  {
    media.Messages[0].Done = 0;
    media.Messages[0].Waiting = 0;
    textStop[currentText] = 1;
  }
  for(sInt i = 0; i < sGUI_MESSAGESLOTS; i++)
  {
    bool rising = textRunning[i] && !textPrev[i];
    bool falling = !textRunning[i] && textPrev[i];
    if(rising)
    {
      if(currentText >= 0 && currentText != i) stop(currentText);
      currentText = i;
      textRunning[i] = 1;
      const sChar *text = i < sGUI_TEXTSLOTS ? config.Messages[i].Text : config.ShortMessages[i - sGUI_TEXTSLOTS];
      sCopyString(media.Messages[0].Text, text, 256);
      media.Messages[0].Waiting = -1;
      media.Messages[0].Started = media.Messages[0].Ended = media.Messages[0].Done = 0;
      media.MessageRestart = 1;
      textStart[i] = 1, textStop[i] = 0;
    }
    else if(falling)
    {
      stop(i);
      if(currentText == i) currentText = -1;
    }
    if(i < sGUI_TEXTSLOTS)
    {
      // the previous value is kept from before the requests: a message's start (or
      // stop) shows as a rising (or falling) flag in the next frame, which puts it on
      // air (or takes it off)
      textPrev[i] = textRunning[i];
      if(textStart[i]) textRunning[i] = 1;
      if(textStop[i]) textRunning[i] = 0;
    }
    else
    {
      // a short message is a one-shot: on air, its show flag drops at once; it stays the
      // current text until the IPP has shown it or another text goes on air
      if(textStart[i]) textRunning[i] = 0;
      if(textStop[i] && currentText == i) stop(i), currentText = -1;
      textPrev[i] = textRunning[i];
    }
    textStart[i] = textStop[i] = 0;
  }
  media.CurrentMessage = currentText >= 0 ? 0 : -1;
}

/****************************************************************************/
/***   The GUI scene's media-timer steps                                  ***/
/****************************************************************************/

void TouchGui::PickSlideshowStyle()
{
  slideshow.style = config.Slideshow.Style ? config.Slideshow.Style - 1 : random.NextBelow(3);
}

void TouchGui::UpdateSlideshowTimer()
{
  GuiMediaTimer &t = schedule.timers[0];
  if(t.Running && !t.PrevRunning)
  {
    if(folders.slideshowPictures > 0)
    {
      PickSlideshowStyle();
      if(Machine && sceneRequest.SlideshowIndex < Machine->SceneCount) Machine->SwitchScene(sceneRequest.SlideshowIndex);
      sceneRequest.TakenFlag = 0;
    }
    else
      t.Running = 0;
  }
  else if(!t.Running && t.PrevRunning)
    NextAutoScene(1);
  if(sceneRequest.NextIsSlideshow)
  {
    t.Running = 1;
    PickSlideshowStyle();
  }
  if(sceneRequest.CurrentIsSlideshow)
  {
    t.Running = 0;
    if(config.Slideshow.Active || t.Countdown < 0) t.Countdown = GuiIntervalMs(config.Slideshow.Interval, t.FullScale);
  }
  sceneRequest.NextIsSlideshow = sceneRequest.CurrentIsSlideshow = 0;
  if(config.Slideshow.Active && !t.Running && t.Countdown < 0)
  {
    if(folders.slideshowPictures > 0)
    {
      sceneRequest.NextNumber = sceneRequest.SlideshowIndex;
      PickSlideshowStyle();
    }
    else
      t.Countdown = GuiIntervalMs(config.Slideshow.Interval, t.FullScale);
  }
  if(config.Slideshow.Style != schedule.prevSlideshowStyle) PickSlideshowStyle();
  schedule.prevSlideshowStyle = config.Slideshow.Style;
  t.PrevRunning = t.Running;
}

void TouchGui::UpdateVideoInTimer()
{
  GuiMediaTimer &t = schedule.timers[4];
  mediaState.VideoStyle = config.VideoStyle;
  auto start = [&](bool rising) {
    // a second open over a playing device is unsettled: the open is asked for once
    if(!mediaState.VideoFrame && !mediaState.VideoShown) mediaState.VideoInRequest = 1;
    mediaState.VideoShown = 1;
    mediaState.VideoRestart = 1;
    if(rising) selectedVideo = 0;
    t.Running = 1;
    videoGuard = 60000;
    videoStartClock = touch.Clock;
  };
  // START, or a device picked on its tile
  if((t.Running && !t.PrevRunning) || (selectedVideo != prevVideo && selectedVideo != sU32(-1)))
    start(t.Running && !t.PrevRunning);
  else if(!t.Running && t.PrevRunning)
  {
    selectedVideo = prevVideo = sU32(-1);
    mediaState.VideoShown = 0;
  }
  if(videoGuard < 1 && mediaState.VideoShown)
  {
    selectedVideo = sU32(-1);
    mediaState.VideoShown = 0;
    t.Running = t.PrevRunning = 0;
    t.Countdown = GuiIntervalMs(config.VideoInterval, t.FullScale);
  }
  if(!mediaState.VideoShown && t.Countdown < 0 && config.VideoActive) start(true);
  mediaState.VideoMix = config.VideoPower;
  prevVideo = selectedVideo;
  t.PrevRunning = t.Running;
}

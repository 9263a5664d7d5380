// The GUI scene's configuration steps: the slots' files loaded into its settings, saved,
// reset and read at start-up, with the media counts and timers that follow the settings.
#include "gui/gui.hpp"

#include "base/file.hpp"
#include "base/log.hpp"
#include "show/scenehost.hpp"
#include "show/startup.hpp"

/****************************************************************************/
/***   The GUI scene's configuration steps                                ***/
/****************************************************************************/

sInt TouchGui::LoadConfig()
{
  NextAutoScene(Machine && Machine->Started);
  {
    sScopeLock lock(&guiLock);
    // only a flyer still in the hand-over slot is ours to free
    if(mediaState.MovieTexture && !mediaState.MovieTaken) sDELETE(mediaState.MovieTexture);
  }
  pages.MarkAllChanged();
  sDPrint(u"start load config........................\n");
  sDPrint(u"load config........................\n");
  // the loader reads the section folders: the whole read is under the lock
  sU32 sections = 0;
  if(!configs.Load(config, &guiLock, sections)) return 0;
  if(sections & sGUICFG_SLIDESHOW) folders.CountSlideshowPictures(config.Slideshow);
  if(sections & sGUICFG_LOGOS) RequestLogos();
  if(sections & sGUICFG_FLYER) folders.CountFlyerFiles(config.Flyer);
  if(sections & sGUICFG_MOVIE) RefreshMovieList();
  style = shownStyle = sU32(config.ActiveStyle);
  schedule.ResolveIntervals(config, random);
  return 1;
}

sBool TouchGui::SaveConfig() { return configs.Save(config, DisplayIndex, random); }

void TouchGui::ResetConfig()
{
  NextAutoScene(Machine && Machine->Started);
  {
    sScopeLock lock(&guiLock);
    if(mediaState.MovieTexture && !mediaState.MovieTaken) sDELETE(mediaState.MovieTexture);   // a flyer the show took is its own
    ResetGuiConfig(config);
  }
  // the scroll values live beside the style table, not in the file: they go back to the middle too
  for(sF32 &s : styleScroll) s = 0.5f;
  pages.MarkAllChanged();
  brightness = 1.0f;
  for(GuiMessage &m : mediaState.Messages) m = GuiMessage{};
  schedule.ClearMessages();
  // the logos and counts follow the emptied folders: kept, pages and timers would show the old folders' pictures
  RequestLogos();
  folders.CountSlideshowPictures(config.Slideshow);
  folders.CountFlyerFiles(config.Flyer);
  folders.CountMovieFiles(config.Movie);
}

void TouchGui::StartupConfig(sBool packFile)
{
  // defaults first, so a file that fails leaves usable settings, never zeros
  ResetGuiConfig(config);
  config.Version = 1.25f;
  configs.configSlot = 0;
  configs.ClearStaleTemps();
  sPathString file;
  sBool exists = JoinDataRoot(file.Ref(), configs.configNames[0]) && sCheckFile(file);
  configs.lastLoadResult = LoadConfig();
  if(!configs.lastLoadResult)
  {
    sBool keptAside = exists ? configs.KeepDamagedAside() : 1;
    ResetGuiConfig(config);
    config.Version = 1.25f;
    // the defaults never take the place of a damaged file that could not be kept aside
    if(!packFile && keptAside) SaveConfig();
    schedule.ResolveIntervals(config, random);
    return;
  }
  if(!packFile && config.Version != 1.25f)
  {
    if(config.Version < 1.18f)
      for(sInt i = 0; i < sGUI_STYLEFLAGS; i++) config.StyleFlags[7][i] = i < 13 ? 1 : 0;
    config.Version = 1.25f;
    // a load stopped at a format error holds defaults from there on: saved, they would replace the rest of the file
    if(configs.lastLoadStop)
      sLogF(u"gui", u"configuration %s was read only up to a format error: the file is left as it is, not saved as version 1.25\n",
            configs.configNames[configs.SaveSlot()]);
    else
      SaveConfig();
    // the updater is a program of the other platform: nothing is copied
    sLogText(u"file", u"updater copy skipped: no updater on this system\n");
  }
}

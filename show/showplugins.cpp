// The show's machines behind the scene machine's plug-in table.
#include "show/showplugins.hpp"

#include "base/log.hpp"
#include "show/dmx.hpp"
#include "show/scene.hpp"
#include "show/scenehost.hpp"
#include "show/sync.hpp"
#include "util/movieplayer.hpp"
#include "util/musicplayer.hpp"

namespace
{
/****************************************************************************/
/***   SYNC machine                                                       ***/
/****************************************************************************/

// What the SYNC machine's next-scene key needs of the scene table. It is taken afresh
// before every update, because switches change the current scene between updates and
// the key is only ever made inside an update.
void FillSceneView(SyncSceneView &view)
{
  view = SyncSceneView();
  SceneMachine *m = sGetSceneMachine();
  if(!m) return;
  for(sInt i = 0; i < m->SceneCount && i < SYNC_MAXSCENES; i++)
  {
    Scene *s = m->Scenes[i];
    if(!s) continue;
    view.OptionIndex[i] = &s->OptionIndex;
  }
  view.CurrentScene = m->Current;
  view.PendingTransition = &m->PendingTransition;
}

SyncMachine *CreateSync(sF32 bpm, sPainter *painter, sInt width, sInt height, sInt firstKey, sInt lastKey)
{
  SyncMachine *sync = sNEW SyncMachine(bpm);
  sync->Init(painter, width, height);
  sync->SetSceneKeyRange(firstKey, lastKey);
  sync->Scenes = sNEW SyncSceneView;
  FillSceneView(*sync->Scenes);
  return sync;
}

void DeleteSync(SyncMachine *sync)
{
  SyncSceneView *view = sync->Scenes;
  sDELETE(sync);
  sDELETE(view);
}

void UpdateSync(SyncMachine *sync, sInt frameMs)
{
  FillSceneView(*sync->Scenes);
  sync->Update(frameMs);
}

void InstallSync()
{
  ShowPlugins &p = sShowPlugins;
  p.CreateSync = CreateSync;
  p.DeleteSync = DeleteSync;
  p.UpdateSync = UpdateSync;
  p.HasPatterns = [](SyncMachine *sync, sInt channel) -> sBool { return sync->Tables[channel] != nullptr; };
  p.PollKey = [](SyncMachine *sync, sInt channel, sInt first) { return sInt(sync->PollKey(channel, first)); };
  p.SyncOnKey = [](SyncMachine *sync, sU32 code) { sync->OnKey(sInt(code)); };
  p.ClearTrigger = [](SyncMachine *sync) { sync->ClearTrigger(); };
  p.ClearFreeze = [](SyncMachine *sync) { sync->Freeze = 0; };
  p.GetColorPreset = [](SyncMachine *sync) { return sync->ColorPreset; };
  p.GetSyncClock = [](SyncMachine *sync) { return sU32(sync->PublishedClock); };
  p.DrawSyncPanel = [](SyncMachine *sync, sFrameTimer *timer) { sync->DrawPanel(timer); };
  p.SetSceneRequest = [](SyncMachine *sync, SceneRequest *request) { sync->GuiRecord = request; };
}

/****************************************************************************/
/***   DMX input and music                                                ***/
/****************************************************************************/

sUsbDmx *Dmx = nullptr;          // from the machine's start to its end
sMusicPlayer *Music = nullptr;   // as long as the machine lives

void OpenDmx()
{
  if(!Dmx) Dmx = sNEW sUsbDmx;
}

sInt ReadDmx(sF32 *values, sInt max) { return Dmx ? Dmx->GetChannels(values, max) : 0; }

void CloseDmx()
{
  if(!Dmx) return;
  Dmx->Close();
  sDELETE(Dmx);
}

// The player is the process's one active player: a machine that starts again (a second
// machine in the same process) replaces it.
void StopMusic() { sDELETE(Music); }

void StartMusic(const sChar *file)
{
  StopMusic();
  Music = sNEW sOggMusicPlayer;
  // a missing or broken file leaves the player empty: its output is silence
  if(!Music->Load(file)) sLogF(u"sys", u"music <%s> could not be loaded\n", file);
  Music->Install();
  if(Music->PlayState != sMPS_EMPTY && !Music->Start(0)) sLogF(u"sys", u"music <%s> could not be played\n", file);
}
}

void InstallShowPlugins()
{
  InstallSync();
  ShowPlugins &p = sShowPlugins;
  p.OpenDmx = OpenDmx;
  p.ReadDmx = ReadDmx;
  p.CloseDmx = CloseDmx;
  p.StartMusic = StartMusic;
  p.StopMusic = StopMusic;
  sInstallMediaSubsystem();
}

#pragma once
// The mode scene: the eleven automatic effect programs of the AUTO FX page.
//
// A second scene that the GUI owns and drives itself (never registered, draws nothing).
// While a program runs it switches and animates the GUI's effect, distortion and movie
// settings from the key codes of its channel-6 pattern list and from slow sine mixes of
// the SYNC clock; when the operator stops it, RestoreEffects puts back the settings taken
// when the first program started. It writes the GUI's settings; the few media-state
// words whose values differ from the GUI's copy are written directly, which is why the
// GUI runs it after publishing its records. Main thread only.

#include "show/guirecords.hpp"
#include "show/scene.hpp"

class TouchGui;
struct GuiConfig;

class GuiModeScene : public Scene
{
public:
  TouchGui *gui;
  GuiMediaState *mediaState;
  GuiMediaState snapshot;
  GuiConfig *savedConfig;     // the operator's settings of the snapshot
  sF32 savedMovieInterval;
  sU32 savedMovieActive;
  sInt mode;
  sU32 pickDifferent;
  sU32 feedbackFlashStart, kaleidoscopeFlashStart;
  sU32 flashArmed[2];         // a flash runs only after its key armed it
  sU32 phase;
  sBool snapshotTaken;

  GuiModeScene(SyncMachine *syncSource, TouchGui *gui);
  ~GuiModeScene() override;

  void Enter(sInt arg) override;
  void Render(sInt variant, sViewport *view) override;
  void OnEvent(sInt code) override;

  void SetMode(sInt mode, sBool saveFirst);
  void ClearEffects();
  void RestoreEffects();

private:
  sU32 Now() const;
  sInt RandomKind(sInt current);
  void MarkEffectSliders();
  void MarkDistortionSliders();
  void MarkMovieSliders();
};

// The channel-6 pattern list of a program (0..10); the empty list for any other number.
const void *const *GuiModePatterns(sInt mode);

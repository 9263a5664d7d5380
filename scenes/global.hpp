#pragma once
// The Global scene: the resident scene that carries the show's program. It draws
// nothing; it owns the white and glow set with the show's two light sets, and at Enter it
// puts the show program on sequencer channel 1, whose codes switch scenes, pick colour
// presets and fire post-processing effects at their bars, whatever the current scene
// plays on channel 0. Main thread only.

#include "scenes/kit.hpp"

class GlobalScene : public Scene
{
public:
  void Init(SyncMachine *syncSource, sInt initFlags, TMData *globalSet) override;
  void Enter(sInt arg) override;
};

// The show program of channel 1: 256 bars.
SyncPatternTable GlobalShowTable();

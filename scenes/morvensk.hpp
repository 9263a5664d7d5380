#pragma once
// The Morvensk scene: a symmetric green and white composition about the origin. Two
// mirrored sets of 64 ribbons that the strip material bends from the words the scene
// writes every frame, five pairs of ring arcs on each side turning in alternating
// directions, a textured grid plane in front of the centre and one behind that move with
// the beat, and a large translucent background plane. Its channel-0 list picks one of
// eight camera positions bar by bar; in the calm mode (RenderMode 0) the pulses are left
// out and the scene only drifts. The object list owns every form. Main thread only.

#include "scenes/kit.hpp"

class ArrayForm;
class StripForm;

enum : sInt
{
  MORVENSK_RIBBONS = 128,   // set A (0..63), then set B, its mirror (64..127)
  MORVENSK_ARCS = 20,       // five pairs behind the centre, then the five mirrored pairs
};

class MorvenskScene : public Scene
{
public:
  sU32 Palette[9];
  StripForm *Ribbons[MORVENSK_RIBBONS];
  ArrayForm *Planes[3];     // front, back, background
  ArrayForm *RingArcs[MORVENSK_ARCS];
  sF32 ArcAngles[5];
  sInt TimeOffset;          // added to the SYNC clock, 0..65535 ms

  MorvenskScene();
  void Init(SyncMachine *syncSource, sInt initFlags, TMData *globalSet) override;
  void Enter(sInt arg) override;
  void Camera(sInt variant, sViewport *view) override;
  void Render(sInt variant, sViewport *view) override;

private:
  void SetPalette();
};

// The channel-0 lists: the styled modes' 26 bars and the calm mode's 64.
SyncPatternTable MorvenskShowTable();
SyncPatternTable MorvenskShortTable();

#pragma once
// The Body scene: 32 nested super-shape shells (two groups of sixteen running through the
// same sizes in opposite order) that blend between two shape sets, breathing and tilting
// with the bar, inside a huge super-shape dome, lit by three coloured lights shown as
// sprites. In the styled modes event 108 drives a four-step sequence that pushes the two
// blend amounts forward and back. The object list owns every form. Main thread only.

#include "scenes/kit.hpp"

class PointForm;
class SuperShapeForm;

enum : sInt
{
  BODY_SHELLS = 32,   // group 1 (shells 0..15), then group 2
};

class BodyScene : public Scene
{
public:
  sF32 ShapeSetA[8], ShapeSetB[8];
  SuperShapeForm *Dome;
  PointForm *LightSprites;
  sInt ShellRow;
  SuperShapeForm *Shells[BODY_SHELLS];
  sF32 EventBarPhase;
  sF32 BlendA, BlendAPrev, BlendB, BlendBPrev;
  sInt StepCounter;
  sInt StepOrder[4];
  sF32 TiltScale;
  sU32 LightColourLow, LightColourHigh, LightColourCalm;
  sInt TimeOffset;

  BodyScene();
  void Init(SyncMachine *syncSource, sInt initFlags, TMData *globalSet) override;
  void Enter(sInt arg) override;
  void Render(sInt variant, sViewport *view) override;
  void OnEvent(sInt code) override;
  void Camera(sInt variant, sViewport *view) override;

  // The table entry (0..15) and blend weight of shell n.
  static sInt ShellEntry(sInt n);
  static sF32 ShellWeight(sInt n);

private:
  void SetShellEntries(sInt row);
  void SetShellLook(sBool glow);
};

SyncPatternTable BodyShowTable();
SyncPatternTable BodyShortTable();

#pragma once
// The Transformer scene: a studio with a shadowed floor, a turning back wall, a curved
// band, a tall cylinder of glowing points and two light sprites, and three groups of
// parts cut from imported machine models. The groups move by their modes (Pose), which
// the beat events of the scene's list and its camera choreography (Camera) switch. After
// the object list the parts are drawn again into the glow target, and three full-screen
// passes lay that image over the picture. The object list owns every form, the scene its
// models, pass materials and views. Main thread only.

#include "scenes/kit.hpp"

class ArrayForm;
class MeshForm;
class Model;
class PointForm;
class ShaderMaterial1;
class ShaderMaterial11;
class ShaderMaterial12;

enum : sInt
{
  TRANSFORMER_GROUPS = 3,
  TRANSFORMER_PARTS = 64,
  TRANSFORMER_POINTS = 16384,   // 64 rings of 256
};

struct TransformerPart
{
  sF32 AngleC, AngleB, AngleA;  // the third, second and first draw
  sF32 Radius;
  sF32 Phase1, Phase2;
  MeshForm *Form;
  sVec3 MaxCorner;              // of the part's mesh
};

struct TransformerSlot
{
  sInt Mode;                    // motion mode 0..9
  sVec3 Position;
  sVec3 LeadPosition;           // the translation of part 0 after each Pose
  sF32 BarPhaseLatch;
  sInt PartCount;
  TransformerPart Parts[TRANSFORMER_PARTS];
  Model *Source;
};

// One row of the model table: which model a group cuts its parts from and how.
struct TransformerModelRow
{
  const sChar *File;
  sInt Parts;
  sU32 LayerMask;
  sVec3 Position;
  sInt Materials[4];            // the fourth is rewritten by every Enter
  sF32 RadiusBase, RadiusRange;
};

class TransformerScene : public Scene
{
public:
  TransformerSlot Slots[TRANSFORMER_GROUPS];
  TransformerModelRow TransformerModels[TRANSFORMER_GROUPS];
  sInt ActiveSlot;
  sInt SlotCycle;
  sInt CycleActive, CycleToMode3, CycleToMode0;
  ArrayForm *Floor, *BackWall, *Band;
  PointForm *PointCylinder, *LightPoints;
  sTexture2D *GlowTarget;
  sGeometry *PassQuad;
  ShaderMaterial1 *PassPlain;
  ShaderMaterial11 *PassOverlay;
  ShaderMaterial12 *PassPulse;
  sViewport *PassView;
  sInt TimeOffset;
  sInt EnterClock;
  sInt LastBar;                 // channel-0 bar of the last frame

  TransformerScene();
  void Init(SyncMachine *syncSource, sInt initFlags, TMData *globalSet) override;
  void Exit() override;
  void Enter(sInt arg) override;
  void Render(sInt variant, sViewport *view) override;
  void OnEvent(sInt code) override;
  void Camera(sInt variant, sViewport *view) override;
  void AfterRender(sViewport *view) override;

  void LoadModel(TransformerSlot *slot, const TransformerModelRow &row);
  void Pose(TransformerSlot *slot, const SyncNow &sync);

  // The grey of point j of ring r at the clock: between the two greys of the cylinder,
  // darkened towards the top.
  static sU32 PointColour(sInt ring, sInt point, sF64 clock, sF32 pulseHalfBar);
  // The same greys for all 64 rings of 256 points at once, ring after ring, into out: the
  // angles that depend only on the point or only on the ring are worked out once each.
  static void PointColours(sU32 *out, sF64 clock, sF32 pulseHalfBar);
  // The scale that keeps a part of height hMax above the floor plane, for its rotation
  // (scale 1) and translation.
  static sF32 FloorClamp(sF32 s, sF32 hMax, const sMat3x4 &rotation, const sVec3 &translation);
  // Whether a freeze must be over when `bar` of the table begins: the table's freeze keys
  // come in pairs at step 12 of two bars in a row, so after the second bar of a pair the
  // show runs, whatever keys a long frame let fall between two bars.
  static sBool FreezeEndsAt(SyncPatternTable table, sInt bar);
};

SyncPatternTable TransformerShowTable();
SyncPatternTable TransformerShortTable();

#pragma once
// The Crystal scene: a branching chain of crystals grows through space with the beat.
// Every event 108 adds one link of four crystals (a main branch along a winding path and
// three side branches that wander off it) at the head of the path, each crystal swelling
// to full size within half a bar, while the camera glides along the path a few links
// behind the head. In the styled modes growth also flings spinning crystals off the head
// that tumble and fall, and each new main crystal flashes with a ring and a light point.
// A shell of 512 distant crystals surrounds the camera; the crystals are drawn far to
// near and fade into the ambient colour with distance. Event 107 clears the chain and
// lays out a new path.
//
// The models are the scene's (deleted in Exit); the instances' forms belong to the object
// list, which only owns them: every crystal is drawn by AfterRender. The marker, the
// flash forms and the sprites stay out of the object list and are deleted by Exit. Main
// thread only.

#include "scenes/kit.hpp"
#include "show/procforms.hpp"

class Model;

enum : sInt
{
  CRYSTAL_COLUMNS = 7,          // crystal shapes
  CRYSTAL_ROWS = 64,
  CRYSTAL_RECORDS = CRYSTAL_COLUMNS * CRYSTAL_ROWS,
  CRYSTAL_FLYING_ROWS = 12,
  CRYSTAL_FLYING = CRYSTAL_COLUMNS * CRYSTAL_FLYING_ROWS,
  CRYSTAL_BRANCHES = 4,          // crystals per growth step
  CRYSTAL_PATH = 64,             // growth steps of one lap of the path
  CRYSTAL_SHELL = 512,
  CRYSTAL_BUCKETS = 10000,
  CRYSTAL_LOOKS = 5,
};

// One crystal of the chain or one flung crystal.
struct CrystalRecord
{
  sMat3x4 Matrix;
  sVec3 Tip;        // chain: where the crystal ends; flung: velocity
  sVec3 Middle;     // chain: between this tip and the branch's previous one; flung: spin
  sF32 Scale;       // flung only
  sF32 Distance;    // to the camera, this frame
  sInt Column, Row;
  sF32 Birth;       // song position at growth or launch
  sInt MainBranch;
  sInt Kind;        // 0 chain, 1 flung
  CrystalRecord *Next;   // in its depth bucket
};

struct CrystalBranch
{
  sMat3x4 Matrix;
  sVec3 Angles;
  sVec3 PreviousTip;
};

// Where each crystal shape ends, in the model's own units: the next link starts there.
extern const sVec3 CrystalTips[CRYSTAL_COLUMNS];

class CrystalScene : public Scene
{
public:
  Model *CrystalModels[CRYSTAL_COLUMNS];
  Model *ShellModels[CRYSTAL_COLUMNS];
  Model *GrownCrystals[CRYSTAL_COLUMNS][CRYSTAL_ROWS];
  Model *FlyingCrystals[CRYSTAL_COLUMNS][CRYSTAL_FLYING_ROWS];
  CrystalRecord CrystalRecords[CRYSTAL_RECORDS];
  CrystalRecord FlyingRecords[CRYSTAL_FLYING];
  sInt RecordCount;
  sInt FlyingNext;
  CrystalBranch BranchHeads[CRYSTAL_BRANCHES];
  sMat3x4 PathMatrices[CRYSTAL_PATH];
  sVec3 PathAngles[CRYSTAL_PATH];
  sVec3 PathFrequencies;
  sInt PathIndex;
  sF32 GrowthClock;
  sVec3 PathPoints[3];
  sVec3 SmoothPoint;
  sMat3x4 ShellMatrices[CRYSTAL_SHELL];
  CrystalRecord *DepthBuckets[CRYSTAL_BUCKETS];
  SplinePath Path;
  sInt Look;
  sU32 PathLightColour;
  sInt TimeOffset;
  PointForm *LightSprites[2];
  PointForm *PathLights;
  PointForm *FlashPoint;
  ArrayForm *FlashRing;
  CubeForm *Marker;

  CrystalScene();
  ~CrystalScene() override;
  void Init(SyncMachine *syncSource, sInt initFlags, TMData *globalSet) override;
  void Exit() override;
  void Enter(sInt arg) override;
  void Render(sInt variant, sViewport *view) override;
  void OnEvent(sInt code) override;
  void Camera(sInt variant, sViewport *view) override;
  void AfterRender(sViewport *view) override;

  // Clears the chain and lays out a new path and shell.
  void Reset();
  // One link of four crystals at the head of the path; nothing when the records are full.
  void Grow();

private:
  sF64 SyncPosition() const;
  void DrawShellMatrices();
  void ApplyLook();
  sMat3x4 FlungPlacement(CrystalRecord &r, sF64 position) const;
  void Push(CrystalRecord *r, const sVec3 &eye, const sVec3 &at);
  void DrawCrystal(sViewport *view, Model *m, sMat3x4 matrix, sF32 scale);
};

// The scene's channel-0 lists of 96 bars: the styled one and the calm one.
SyncPatternTable CrystalList(sBool calm);

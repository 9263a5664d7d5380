#pragma once
// The Fish scene: an underwater world. 80 schools of 16 small fish swim in formation,
// follow their slots, flee a repeller point (a big fish or the origin) and wag their
// tails; two large fish cruise on paths driven by the bar phases; four fields of drifting
// particles wrap around the camera; a sky sphere and two glow spheres light the scene,
// and at the end of its show list two picture planes fade in and out. Every fish mesh is
// rewritten each frame from a template. The object list owns every form. Main thread only.

#include "scenes/kit.hpp"
#include "show/forms.hpp"

class PointForm;

enum : sInt
{
  FISH_SCHOOLS = 80,
  FISH_PER_SCHOOL = 16,
  FISH_COUNT = FISH_SCHOOLS * FISH_PER_SCHOOL,
  FISH_RINGS = 10,
  FISH_RING_VERTICES = 6,
  FISH_VERTICES = FISH_RINGS * FISH_RING_VERTICES,
  FISH_BIG_RINGS = 128,
  FISH_BIG_RING_VERTICES = 64,
  FISH_PLANKTON = 10000,
};

struct FishSchool
{
  sVec3 Positions[FISH_PER_SCHOOL];
  sVec3 SlotTargets[FISH_PER_SCHOOL];
  sVec3 PreviousSlotTargets[FISH_PER_SCHOOL];
  sVec3 Velocities[FISH_PER_SCHOOL];
  sVec3 Steer[FISH_PER_SCHOOL];
  sVec3 PreviousVelocities[FISH_PER_SCHOOL];
  sF32 FollowGain[FISH_PER_SCHOOL];
  sF32 SwimPhase[FISH_PER_SCHOOL];
  ArrayForm *Form;
  MeshVertex FishTemplate[FISH_VERTICES];
  sF32 RingOffsets[FISH_RINGS];
};

struct BigFish
{
  sVec3 Position, Target, PreviousPosition, Velocity, PreviousMotion;
  sF32 SideX, Turn, SwimPhase;
  ArrayForm *Form;
  MeshVertex *TemplateVertices;   // the form's own vertex array
  sF32 RingOffsets[FISH_BIG_RINGS];
};

class FishScene : public Scene
{
public:
  FishSchool Schools[FISH_SCHOOLS];
  sVec3 SlotPoints[FISH_COUNT];
  sInt SlotPhaseSeeds[FISH_COUNT];
  BigFish Big[2];
  sVec3 SchoolAngles;
  sMat3x4 SchoolMatrix;
  sU32 TurnSide;
  sInt BurstClock;
  sInt SwimClock;
  sVec3 RepellerPos;
  sU32 ChaseMode, TurnMode, ScatterMode, BigFishCalm, EndMode;
  sF32 EndStart;
  sU32 PlanktonCells[4][FISH_PLANKTON][3];
  ArrayForm *SkySphere, *GlowSphere1, *GlowSphere2, *EndPlanes[2];
  PointForm *SunPoint, *PlanktonForms[4], *BigFishGlows;
  sU32 CameraTimeOffset;
  sRandomLcg FishRandom;

  FishScene();
  void Init(SyncMachine *syncSource, sInt initFlags, TMData *globalSet) override;
  void Enter(sInt arg) override;
  void Tick(sInt variant) override;
  void Render(sInt variant, sViewport *view) override;
  void OnEvent(sInt code) override;
  void Camera(sInt variant, sViewport *view) override;

  void BuildFishTemplate(FishSchool *school, sInt material);
  void BuildBigFish(BigFish *fish, sInt material);
  void PlaceSchools();
  void ResetBigFish();
  void UpdateSwarm();
  void DeformSchool(FishSchool *school);
  void DeformBigFish(BigFish *fish);

  // A plankton coordinate of a cell seen from a camera coordinate: within +-128 of it,
  // space repeating every 256 units, for any camera position.
  static sF32 PlanktonCoordinate(sU32 cell, sF32 camera);
  static sVec3 BigFishSurface(sF32 u, sF32 v);
  // The rotation about x by theta after the fixed quarter turn about z (EulerXYZ(theta, 0,
  // -pi/2)), followed by B.
  static sMat3x4 RingMatrix(sF32 theta, const sMat3x4 &B);
  // Writes rings x perRing template vertices, each ring turned by its matrix and moved to
  // `at`, into tangent records.
  static void WriteBent(FormVertexTangent *out, const MeshVertex *tmpl, sInt rings, sInt perRing,
                        const sMat3x4 *ringMatrix, const sVec3 &at);

private:
  void ResetSchool();
  sBool Toggle(sInt code);
  void TogglePassedSteps();
  sInt SeenBar = -1, SeenStep = 0;   // channel 0's bar and step at the last Render
};

SyncPatternTable FishShowTable();
SyncPatternTable FishShortTable();

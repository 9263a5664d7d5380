#pragma once
// The Plant scene: a plant grows across an endless patterned ground. Three tips crawl at a
// constant speed on slowly bending paths, each leaving a trail of glowing points and, at
// random, ribbon leaves that stand up from the path and grow to their length; on beat
// events the third tip jumps to one of the other two and goes on from there. The ground
// is a wallpaper plane under a 7 x 7 field of ring ornaments that repeats around the
// camera and flashes on the beat; two picture quads fade in and fly apart on events; the
// camera follows the trail in seven variants. The trail is one point form used as a ring,
// the leaves two pools of ribbons reused in turn: growing never allocates. The object
// list owns every form. Main thread only.

#include "scenes/kit.hpp"

class ArrayForm;
class PointForm;
class StripForm;

enum : sInt
{
  PLANT_TRAIL = 2048,
  PLANT_LEAVES = 896,        // per pool
  PLANT_TILE_SIDE = 7,
  PLANT_TILES = PLANT_TILE_SIDE * PLANT_TILE_SIDE,
  PLANT_TILE_RINGS = 16,     // inner, and as many outer
  PLANT_SPARKS = 512,
  PLANT_RIPPLES = 32,
};

// The field of tiles repeats every PLANT_TILE_REPEAT units around the camera.
constexpr sF32 PLANT_TILE_REPEAT = 2048.0f;

struct PlantTile
{
  sVec3 Home;
  sVec3 Drawn;
  ArrayForm *Disc;
  ArrayForm *Inner[PLANT_TILE_RINGS];
  ArrayForm *Outer[PLANT_TILE_RINGS];
};

class PlantScene : public Scene
{
public:
  sVec3 Tips[3], TipPrevious[3];
  sF32 TipAngles[3];
  sF32 BranchOffset, BranchPhase;
  PointForm *TrailForm;
  sInt TrailIndex;
  StripForm *LeavesA[PLANT_LEAVES], *LeavesB[PLANT_LEAVES];
  sF32 LeafAnglesA[PLANT_LEAVES], LeafAnglesB[PLANT_LEAVES];
  sInt LeafIndexA, LeafIndexB;
  PlantTile Tiles[PLANT_TILES];
  ArrayForm *GroundPlane;
  PointForm *SparkForm;
  ArrayForm *RippleRings[PLANT_RIPPLES];
  sInt RippleTimes[PLANT_RIPPLES];
  // The picture quads stand twice in the object list, so that they are drawn twice at
  // their places in it; the second entry of each is a copy of its own, which follows the
  // original every frame, so every form of the list is owned (and deleted) once.
  ArrayForm *PictureQuads[2];
  ArrayForm *QuadCopies[2];
  sVec3 QuadHome[2];
  sInt QuadTimes[2];
  sInt QuadIndex;
  sU32 Palette[5];
  sU32 AccentColour;
  sF32 Growth;
  sU32 Withering;
  sInt WitherStart;
  sF32 RestartTime;
  sInt LastBeatTime;
  sU32 BranchRequest, BranchFromBoth;
  sVec3 FocusPos, FocusDir;
  sInt CameraTimeOffset;

  PlantScene();
  void Init(SyncMachine *syncSource, sInt initFlags, TMData *globalSet) override;
  void Enter(sInt arg) override;
  void Tick(sInt variant) override;
  void Render(sInt variant, sViewport *view) override;
  void OnEvent(sInt code) override;
  void Camera(sInt variant, sViewport *view) override;

  void SteerTip(sInt tip);
  void ResetTips();
  // The trail point n steps before TrailIndex (n < 0: after it), wrapping.
  const sVec3 &TrailPoint(sInt n) const;

private:
  void BuildTile(PlantTile &tile);
  void ColourTile(PlantTile &tile);
  void UpdateTile(PlantTile &tile, sF32 restartTime);
  void SetPalette();
};

// Where a tile of the field is drawn along one axis for a camera at v: the home place
// moved by whole repeats so that it lies within half a repeat of the camera.
sF32 PlantTileAxis(sF32 home, sF32 v);

SyncPatternTable PlantShowTable();
SyncPatternTable PlantShortTable();

#pragma once
// The Cubic scene: a world of small cubes that grows out of a voxel grid and scrolls past
// the camera. Moving attractor points paint cells of a grid of 144 slices of 48 x 48 in
// one of three colours; every painted cell is drawn as a cube; the slice that scrolls out
// at the bottom breaks up into falling, tumbling debris; a ring wall (or, in the second
// mode, a flat wall) of large cubes scrolls along. Events 106 and 107 switch the mode,
// 108 restarts the grid, and the song picks one of eleven cameras. Every cube is an
// instance of six instance forms of fixed size; nothing is allocated after Init. The
// grid makes the scene large: it lives on the heap. Main thread only.

#include "scenes/kit.hpp"

class InstanceForm;
class PointForm;

enum : sInt
{
  CUBIC_SLICES = 144,
  CUBIC_SIDE = 48,
  CUBIC_GROUND_ROWS = 75,
  CUBIC_GROUND_COLUMNS = 50,
  CUBIC_CELL_CUBES = 3000,     // drawn cubes per colour group at most
  CUBIC_DEBRIS = 1200,         // debris records per colour group, reused in turn
  CUBIC_TICKS_PER_FRAME = 10,  // steps taken at most between two frames
};

struct CubicDebris
{
  sInt Active;
  sVec3 Velocity;
  sVec3 Acceleration;
  sVec3 Angles;
  sVec3 AngularVelocity;
  sVec3 AngularAcceleration;
};

struct CubicAttractor
{
  sVec3 Pos;
  sF32 Reach;        // r1
  sF32 Satellite;    // r2
};

class CubicScene : public Scene
{
public:
  sInt Mode;               // 0 orbit mode, 1 attractor mode
  sF32 SpinSpeed;          // scroll per millisecond
  sInt ModeClock;          // SYNC clock of the last Enter or mode event
  InstanceForm *Ground;
  InstanceForm *CellForms[3];
  InstanceForm *DebrisForms[3];
  sU32 Cells[CUBIC_SLICES][CUBIC_SIDE][CUBIC_SIDE];   // 0 empty, 1..3 colour group
  sInt CurrentSlice;
  sInt DebrisNext[3];
  CubicDebris Debris[3][CUBIC_DEBRIS];
  sInt Style;
  sVec3 Drift;             // x and z wobble; y the scroll position (see Scroll)
  sF64 Scroll;             // the scroll position before wrapping, milliseconds x speed
  CubicAttractor Attractors[3];
  PointForm *LightMarks;
  sInt TimeSeed;
  sInt TicksThisFrame;

  CubicScene();
  void Init(SyncMachine *syncSource, sInt initFlags, TMData *globalSet) override;
  void Enter(sInt arg) override;
  void Tick(sInt variant) override;
  void Render(sInt variant, sViewport *view) override;
  void OnEvent(sInt code) override;
  void Camera(sInt variant, sViewport *view) override;

  // Recomputes Drift and Scroll from the SYNC clock.
  void ComputeDrift();
  // The scroll position wrapped into 0..576 (twelve units a slice, 48 slices).
  sF64 WrappedScroll() const;
  void Layout();
  void ResetCells();

private:
  void SetStyle();
  void PlaceGroundCube(sInt index, sInt row, sInt column, sF32 clampHigh, sBool flatY);
  void Paint(sInt slice, sInt row, sInt column, sU32 value);
  void Shed(sInt slice);
};

SyncPatternTable CubicSong();

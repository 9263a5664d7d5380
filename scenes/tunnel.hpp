#pragma once
// The Tunnel scene: an endless flight through a track of prefabricated tunnel segments.
// A ring of 21 segments (five straight kinds and a crossing that turns the track by 45
// degrees and opens a branch of four more segments) is generated ahead of the camera and
// regenerated as the flight passes; the camera flies along a spline through the segment
// ends, three heads circle the flight point dragging nine tube tails whose thickness
// follows the SYNC machine's recorded levels, and the segments' light maps pulse with
// the bar. Two looks alternate from one visit to the next, each with its own song.
//
// The segment models, the tails' forms, the heads and the track dots are the scene's
// own (drawn by AfterRender, deleted in Exit); only the wall lights go to the object
// list. Main thread only.

#include "scenes/kit.hpp"
#include "show/procforms.hpp"

class ArrayForm;
class PointForm;
class Model;
class ShaderMaterial3;

enum : sInt
{
  TUNNEL_MODELS = 15,
  TUNNEL_RING = 21,            // track segments kept at once
  TUNNEL_BRANCHES = 30,
  TUNNEL_KINDS = 6,            // 0..4 straight, 5 the crossing
  TUNNEL_CROSSING = 5,
  TUNNEL_KIND_LIGHTS = 1024,
  TUNNEL_WALL_LIGHTS = 16384,
  TUNNEL_DOTS = 4096,
  TUNNEL_TAILS = 9,
  TUNNEL_TAIL_RINGS = 260,
  TUNNEL_TAIL_SIDES = 24,
  TUNNEL_TEXTURE_ROWS = 64,    // room for the rows the imports append
  TUNNEL_MATERIAL_ROWS = 32,
};

struct TrackSegment
{
  sInt Kind;                   // 0..5, -1 for a record never filled
  sF32 HeadingIn, HeadingOut;  // radians about y
  sInt Index;                  // running index along the track; -1 a free record
  sInt Crossing;
  sInt Side;                   // the crossing's turn: 1 turns right (-pi/4)
  sInt Flip;                   // models turned half round; picks the line pulse
  sInt Logo;                   // logo models and logo light shown
  sVec3 Centre, End;
  sInt Time;                   // track time at the end
  sInt Palette;
  sInt StrobeA, StrobeB;
};

// One light point on a segment's wall, in the segment's frame.
struct WallLightRecord
{
  sVec3 Pos;
  sF32 Size;
  sU32 Colour;
};
static_assert(sizeof(WallLightRecord) == 20, "a wall light is twenty bytes");

// A segment kind: the models drawn for it (the first gives its length) and its wall
// lights, placed at Init.
struct SegmentKind
{
  sInt ModelCount;
  sInt Models[4];
  sInt LightCount;
  WallLightRecord Lights[TUNNEL_KIND_LIGHTS];
};

// The six kinds, statically initialised with their models.
extern SegmentKind SceneTables[TUNNEL_KINDS];

// A tube trailing behind a head: a ring of placements laid every 0.6 units along the
// head's way, rebuilt into the form's vertices every frame.
struct TunnelTail
{
  ArrayForm *Form = nullptr;
  sVec3 LastHead;
  sMat3x4 Rings[TUNNEL_TAIL_RINGS];
  sInt RingIndex = 0;          // the newest ring; older ones follow at higher indices
  sF32 Leftover = 0.0f;
  sVec3 History[5];            // oldest first
  sF32 Width = 1.0f;
  sInt Band = 0;

  TunnelTail();
  void Init(sF32 width, sInt lightSet, sInt band);
  // Lays rings along the way to the head and rebuilds the form; time K in ms.
  void Update(const sVec3 &head, sInt K, sInt enterClock, sF32 level);
};

class TunnelScene : public Scene
{
public:
  Model *SegmentModels[TUNNEL_MODELS];
  sInt KindMaterials[TUNNEL_KINDS];
  sInt LineMaterials[5];
  sF32 KindLength[TUNNEL_KINDS];   // half length of each kind (its first model's reach)
  PointForm *TrackDots;
  sInt DotIndex;
  PointForm *Heads;
  PointForm *WallLights;
  TunnelTail Tails[TUNNEL_TAILS];
  sVec3 HeadPositions[3];
  sF32 HeadDistance, HeadSmooth;
  sF32 StrobeChanceA, StrobeChanceB;
  sInt EnterCount;
  sInt GlowFlag, PulseFlag;
  sF32 Speed;
  sInt CamSegment, CamSide;
  sF32 PrevTwoBar;
  SplinePath CameraPath;
  sVec3 FlightPoint, FlightDir;
  sInt CurrentSegment;
  sInt NextBranch;
  sInt TrackStart, TrackBase;
  sInt PaletteIndex, PaletteBase;
  sInt TimeSeed;
  sInt EnterClock;
  TrackSegment Segments[TUNNEL_RING];
  TrackSegment Branches[TUNNEL_BRANCHES];

  // the tables the imports append to; they must live as long as the scene
  TextureEntry Textures[TUNNEL_TEXTURE_ROWS];
  MaterialEntry Materials[TUNNEL_MATERIAL_ROWS];

  TunnelScene();
  ~TunnelScene() override;
  void Init(SyncMachine *syncSource, sInt initFlags, TMData *globalSet) override;
  void Exit() override;
  void Enter(sInt arg) override;
  void Render(sInt variant, sViewport *view) override;
  void OnEvent(sInt code) override;
  void Camera(sInt variant, sViewport *view) override;
  void AfterRender(sViewport *view) override;

  // The wall lights of a kind of the given half length (the count must stay below 1024).
  void PlaceKindLights(sInt kind, sF32 length);
  void BuildTrack();
  void UpdateSegments();
  void SampleTrack(sF32 offset);
  // Fills the wall-light points from the ring's segments; returns the points filled.
  sInt FillWallLights();
  // One segment's models in a pass (0 the segment, 1 the echo of its line strips), with
  // the frame's beat values and strobe level.
  void DrawSegment(const TrackSegment &seg, sViewport *view, sInt pass, const SyncNow &s, sF32 strobe);

private:
  void AddSegment(TrackSegment &seg, sVec3 &position, sF32 &heading, sInt &time, sInt index);
  void AddDot(const sVec3 &at, sU32 colour, sF32 size);
  ShaderMaterial3 *LitMaterial(sInt row) const;
  sInt Now() const;
};

// The two songs: A for the odd visits, B for the even ones.
SyncPatternTable TunnelSongA();
SyncPatternTable TunnelSongB();

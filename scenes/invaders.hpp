#pragma once
// The Invaders scene: a shoot-the-invaders game that its own 80-bar song plays. A ship on
// the floor fires at a 5 x 8 grid of two-phase invaders that sways to the beat; each hit
// invader is swapped for a pre-cut copy whose pieces fly apart and bounce on the floor,
// with sparks and a flash at the hit point. Every move is a beat event (100..108) of the
// song; everything between events is computed from the SYNC values of the frame, so the
// placement can be computed twice a frame. Six camera variants watch the game.
//
// The models are owned by the scene (deleted in Exit); their forms belong to the object
// list, except the templates' forms, which only the instances draw. Main thread only.

#include "scenes/kit.hpp"

class ArrayForm;
class PointForm;
class ParticleForm;
class CubeForm;
class Model;

enum : sInt
{
  INVADER_KINDS = 5,
  INVADER_COLUMNS = 8,
  INVADER_ROWS = 4,           // screen rows shown at once
  INVADER_TEXTURE_ROWS = 64,  // room for the rows the imports append
  INVADER_MATERIAL_ROWS = 64,
};

// One piece of a pre-cut model.
struct ShatterPiece
{
  sMat3x4 Matrix;
  sVec3 Home;                 // the mesh's bounding-box centre
  sVec3 Spin;                 // Euler angles per frame
  sVec3 Velocity;
  sVec3 HalfExtent;
  sVec3 Gravity;
  sF32 VelocityDamping;
  sF32 SpinDamping;
  sF32 Scale;
};

// Moves the mesh forms of a pre-cut model: at rest they sit at their home places under
// the record's matrix; exploding, every piece flies, spins and bounces on the floor.
struct ShatterModel
{
  Scene *Owner = nullptr;
  sMat3x4 Matrix;
  sInt Exploding = 0;
  sInt PieceCount = 0;
  ShatterPiece *Pieces = nullptr;
  CubeForm **Boxes = nullptr;     // one box per piece with own forms, else null
  sRandomLcg Random;
  sInt OwnForms = 0;
  Model *Target = nullptr;

  ShatterModel();
  ~ShatterModel();
  ShatterModel(const ShatterModel &) = delete;
  ShatterModel &operator=(const ShatterModel &) = delete;

  void Init(Model *model, sInt ownForms);
  void Free();
  void Reset();
  void Explode();
  void Update();
  void Bounce();
};

class InvadersScene : public Scene
{
public:
  ArrayForm *Floor;
  PointForm *LightMarks[2];
  Model *InvaderTemplates[INVADER_KINDS][2];
  Model *Ship, *Bullet, *Backdrop;
  Model *DebrisModels[INVADER_KINDS][2];
  Model *Invaders[INVADER_KINDS][INVADER_COLUMNS][2];
  sInt RowOffset;
  sInt GameRunning;
  sInt InvaderVisible[INVADER_KINDS][INVADER_COLUMNS];
  sInt InvaderHit[INVADER_ROWS][INVADER_COLUMNS];
  sInt RowCounter;
  sInt BulletActive;
  sInt ShotClock;
  sInt HitKind;
  ShatterModel Shatters[2 * INVADER_KINDS];
  sInt ShatterSelect;
  sInt FlashClock;
  sVec3 FlashPosition;
  sInt TargetColumn, TargetRow;
  sInt ShotColumn, ShotRow;
  sInt NextColumn, NextRow;
  sF32 MoveStart, MoveEnd;
  sF32 ShotStart, ShotEnd;
  sVec3 GridOffset, ShipPosition, BulletPosition;
  sF32 MoveBump;
  sInt DropClock, DropCount, DropPending;
  sVec3 AimPoint, ShotPoint, ShipGoal, MoveFrom, ShipGoalAtShot;
  sInt StartPosition;
  sInt MirrorCam3, MirrorCam4;
  sInt LaunchClock;
  sInt TimeSeed;
  ParticleForm *Sparks[3];
  sInt SparkIndex;

  // the tables the imports append to; they must live as long as the scene
  TextureEntry Textures[INVADER_TEXTURE_ROWS];
  MaterialEntry Materials[INVADER_MATERIAL_ROWS];

  InvadersScene();
  ~InvadersScene() override;
  void Init(SyncMachine *syncSource, sInt initFlags, TMData *globalSet) override;
  void Exit() override;
  void Enter(sInt arg) override;
  void Render(sInt variant, sViewport *view) override;
  void OnEvent(sInt code) override;
  void Camera(sInt variant, sViewport *view) override;

  void ResetGame();
  void Animate();

private:
  sVec3 GridPlace(sInt row, sInt column) const;
  void ChooseNextTarget();
};

// The scene's 80-bar song.
SyncPatternTable InvadersSong();

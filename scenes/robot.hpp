#pragma once
// The Robot scene: five small articulated robots walk ellipses around a large one on a
// normal-mapped ground plate, posed every frame from the slow beat values; the large one
// drops in and the small ones hop after a beat event, the camera shakes meanwhile. The
// normal look has walls, light poles and projected shadows; the bright look (RenderMode 4
// or event 107) has two rows of eight light rings lit in turn and a glow: the robots are
// drawn into the scene's own display-sized target, which AfterRender lays over the
// picture.
//
// The robot models and their instances are the scene's (deleted in Exit); their forms,
// the plate, walls, poles and rings belong to the object list. Main thread only.

#include "scenes/kit.hpp"

class ArrayForm;
class PointForm;
class Model;
class sPainter;
struct ShadowSetup;

enum : sInt
{
  ROBOT_COPIES = 4,
  ROBOT_RINGS = 8,
  ROBOT_TEXTURE_ROWS = 32,
  ROBOT_MATERIAL_ROWS = 32,
};

class RobotScene : public Scene
{
public:
  Model *RobotModels[2];        // 0 the small robot, 1 the large one
  Model *RobotCopies[ROBOT_COPIES];
  ArrayForm *Ground;
  ArrayForm *Walls[4];
  PointForm *LightPoles[2];
  ArrayForm *LightRings[2][ROBOT_RINGS];
  ShadowSetup *ShadowRecords[2];   // the robots' projected shadows while taken off their forms
  ShaderMaterial11 *GlowMaterial;
  ShaderMaterial1 *OverlayMaterial;
  sGeometry *QuadGeometry;
  sTexture2D *GlowTarget;       // display-sized; the robots' pass is drawn into it
  sPainter *Painter;
  sVec3 CameraTarget;
  sInt Flash;
  sF32 DropPhase;
  sInt TimeOffset;

  TextureEntry Textures[ROBOT_TEXTURE_ROWS];
  MaterialEntry Materials[ROBOT_MATERIAL_ROWS];

  RobotScene();
  ~RobotScene() override;
  sViewport *GetView(sInt viewIndex) override;
  void Init(SyncMachine *syncSource, sInt initFlags, TMData *globalSet) override;
  void Exit() override;
  void Enter(sInt arg) override;
  void Render(sInt variant, sViewport *view) override;
  void OnEvent(sInt code) override;
  void Camera(sInt variant, sViewport *view) override;
  void AfterRender(sViewport *view) override;

  // The bright look is on: RenderMode 4 or a flash since the last Enter.
  sBool Bright() const { return RenderMode == 4 || Flash; }

private:
  void ApplyBrightLook(sBool setAmbient);
  // The forms of a look: the walls, the light poles and the robots' shadows of the normal
  // look, or the light rings and the ground in light set 1 of the bright one.
  void ShowLookForms(sBool bright);
  void SetShadows(sBool on);
  // The part of a model: its two meshes get the matrix; parts the model lacks are passed.
  static void PosePart(Model *m, sInt part, const sMat3x4 &matrix);
};

// The scene's channel-0 list of 96 bars.
SyncPatternTable RobotList();

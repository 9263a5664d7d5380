#pragma once
// The debug camera: flies freely through the current scene, driven by the mouse (motion
// turns, the buttons give thrust), a joypad's sticks and the keys w, a, s and d. The scene
// machine owns one, hands it every key code, and lets it write the view's camera instead
// of the scene while it is switched on. Space prints the camera as a row of a camera path
// table. Main thread only.

#include "base/input2.hpp"
#include "base/math.hpp"

struct sViewport;

// The camera base: the time of construction and the input scheme of the camera's
// actions (0, 1 mouse motion; 2, 3 mouse buttons; 4 to 7 the two sticks of joypad 0).
class sCameraBase
{
public:
  sU32 CreateTime;
  sInput2Scheme Scheme;

  sCameraBase();
  virtual ~sCameraBase() = default;
  virtual void Update(sInt frameMs, sViewport *view) = 0;
  virtual void OnKey(sU32 code) = 0;
};

class sFreeCamera : public sCameraBase
{
public:
  enum : sU32
  {
    KEY_A = 1,
    KEY_D = 2,
    KEY_W = 4,
    KEY_S = 8,
    KEY_Q = 16,
    KEY_E = 32,
  };

  sInt MouseOn = 1;
  sInt PadOn = 1;
  sU32 Keys = 0;             // held keys
  sF32 Thrust = 0.0f;        // forward velocity from the mouse buttons
  sF32 PadMoveX = 0.0f;
  sF32 PadMoveY = 0.0f;
  sF32 StepScale = 0.01f;    // distance per millisecond and unit of input
  sF32 MouseScale = 0.002f;
  sF32 Glide = 0.98f;        // how much of the velocity each frame keeps
  sVec3 Position = sVec3(0, 0, 0);
  sF32 AngleY = 0.0f;
  sF32 AngleX = 0.0f;
  sF32 Roll = 0.0f;
  sVec3 Velocity = sVec3(0, 0, 0);

  sFreeCamera();
  void SetMouse(sInt on) { MouseOn = on; }
  void SetPad(sInt on) { PadOn = on; }

  // One frame: turns and moves the camera and writes the view's camera matrix.
  void Update(sInt frameMs, sViewport *view) override;
  // Key down and release of a, d, w, s, q and e; space prints the path row.
  void OnKey(sU32 code) override;
  // The camera as a row of a camera path table, on the debug output.
  void PrintPathRow();
};

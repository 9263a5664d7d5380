// The debug camera.
#include "show/freecamera.hpp"

#include "base/numbers.hpp"
#include "graphics/graphics.hpp"

namespace
{
sF32 Pow5(sF32 v) { return v * v * v * v * v; }

const sU32 ReleaseBit = 0x80000000u;
const sU32 RepeatBit = 0x40000000u;
}

sCameraBase::sCameraBase()
{
  CreateTime = sGetTime();
  Scheme.Init(10);
  sInput2PollDevice *mouse = sFindInput2PollDevice(sINPUT2_TYPE_MOUSE, 0);
  sInput2PollDevice *pad = sFindInput2PollDevice(sMakeInput2Type('J', 'X', 'B', 'X'), 0);
  // a missing device leaves its actions unbound: they read 0
  static const sU32 mouseKeys[] = {sMOUSE_RAWX, sMOUSE_RAWY, sMOUSE_LEFT, sMOUSE_RIGHT};
  for(sInt a = 0; a < 4; a++) Scheme.BindKey(a, mouse, mouseKeys[a], 0.0f, 0.2f, 0.8f);
  for(sInt a = 0; a < 4; a++) Scheme.BindKey(4 + a, pad, sU32(a), 0.0f, 0.2f, 0.8f);
}

sFreeCamera::sFreeCamera() = default;

void sFreeCamera::OnKey(sU32 code)
{
  sU32 key = code & ~(ReleaseBit | RepeatBit);
  sU32 bit = 0;
  switch(key)
  {
  case 'a': bit = KEY_A; break;
  case 'd': bit = KEY_D; break;
  case 'w': bit = KEY_W; break;
  case 's': bit = KEY_S; break;
  case 'q': bit = KEY_Q; break;
  case 'e': bit = KEY_E; break;
  case ' ':
    if(!(code & ReleaseBit) && !(code & RepeatBit)) PrintPathRow();
    return;
  default: return;
  }
  if(code & ReleaseBit)
    Keys &= ~bit;
  else
    Keys |= bit;
}

void sFreeCamera::Update(sInt frameMs, sViewport *view)
{
  sF32 t = sF32(frameMs), s = StepScale;
  if(PadOn)
  {
    AngleY += Pow5(Scheme.Analog(6)) * 0.04f;
    AngleX += Pow5(Scheme.Analog(7)) * 0.04f;
    PadMoveX = Pow5(Scheme.Analog(4)) * 0.2f;
    PadMoveY = Pow5(Scheme.Analog(5)) * 0.2f;
  }
  if(MouseOn)
  {
    AngleY += Scheme.Relative(0) * 0.002f;
    AngleX += Scheme.Relative(1) * 0.002f;
    if(Scheme.Pressed(2) > 0) Thrust += 1.0f;
    if(Scheme.Pressed(3) > 0) Thrust -= 1.0f;
  }
  sMat3x4 rot;
  rot.EulerXYZ(AngleX, AngleY, 0.0f);
  if(Roll != 0.0f)
  {
    sMat3x4 roll;
    roll.EulerXYZ(0.0f, 0.0f, Roll);
    rot = roll * rot;
  }
  const sVec3 right = rot.i, forward = rot.k;
  if(Keys & KEY_A) Velocity -= right * (t * s);
  if(Keys & KEY_D) Velocity += right * (t * s);
  if(Keys & KEY_W) Velocity += forward * (t * s);
  if(Keys & KEY_S) Velocity -= forward * (t * s);
  Velocity += right * (PadMoveX * t * s);
  Velocity -= forward * (PadMoveY * t * s);
  if(Glide > 0.0f)
  {
    Thrust *= Glide;
    Velocity *= Glide;
    Position += Velocity + forward * (t * s * Thrust);
  }
  else
  {
    Position += Velocity * 100.0f;
    Velocity = sVec3(0, 0, 0);
  }
  rot.l = Position;
  view->Camera = rot;
}

void sFreeCamera::PrintPathRow()
{
  sMat3x4 rot;
  rot.EulerXYZ(AngleX, AngleY, 0.0f);
  sQuat q;
  q.FromMat3x4(rot);
  sDPrintF(u"  { %08.3ff,%08.3ff,%08.3ff, %05.3ff,%05.3ff,%05.3ff,%05.3ff },\n", Position.x, Position.y, Position.z,
           q.w, q.x, q.y, q.z);
}

// The debug camera: keys, glide and the printed path row.
#include "show/freecamera.hpp"

#include "common/capture.hpp"
#include "graphics/graphics.hpp"

#include <gtest/gtest.h>

TEST(FreeCamera, KeysMoveAndGlideSpacePrints)
{
  sFreeCamera cam;
  cam.Glide = 0.75f;
  sViewport view;
  cam.OnKey('w');
  cam.Update(10, &view);
  // forward is the camera's k axis: +z at angle 0
  EXPECT_NEAR(cam.Position.z, 0.075f, 1e-6);
  EXPECT_NEAR(view.Camera.l.z, 0.075f, 1e-6);
  cam.OnKey('w' | 0x80000000u);
  sF32 last = 0.075f;
  for(sInt i = 0; i < 3; i++)
  {
    sF32 before = cam.Position.z;
    cam.Update(10, &view);
    EXPECT_NEAR(cam.Position.z - before, last * 0.75f, 1e-6);
    last *= 0.75f;
  }

  // a release clears only its own bit
  cam.OnKey('a');
  cam.OnKey('w');
  cam.OnKey('w' | 0x80000000u);
  EXPECT_EQ(cam.Keys, sU32(sFreeCamera::KEY_A));
  sF32 x = cam.Position.x;
  cam.Update(10, &view);
  EXPECT_LT(cam.Position.x, x);   // sideways to the left

  // space prints one row and changes nothing
  cam.OnKey('a' | 0x80000000u);
  cam.Position = sVec3(1.5f, -2.0f, 10.0f);
  sparktest::DebugCapture out;
  cam.OnKey(' ');
  out.Stop();
  std::string text = out.Text();
  EXPECT_EQ(text.substr(0, 5), "  { 0");
  EXPECT_NE(text.find("1.500f"), std::string::npos) << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
  EXPECT_EQ(cam.Position.x, 1.5f);
  EXPECT_EQ(cam.Keys, 0u);
}

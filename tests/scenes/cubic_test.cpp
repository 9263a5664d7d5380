// The Cubic scene: its visits and cameras, the painted voxels and the debris on the
// screen, the scroll through a night of show clock, and the cap on steps after a hitch.
#include "show_rig.hpp"

#include "scenes/cubic.hpp"
#include "show/procforms.hpp"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace
{
sBool Hidden(const sMat3x4 &m) { return m.i.x == 0.0f && m.j.y == 0.0f && m.k.z == 0.0f; }
sInt Shown(const InstanceForm *f)
{
  sInt n = 0;
  for(sInt i = 0; i < f->Count; i++) n += !Hidden(f->Instances[i]);
  return n;
}
}

TEST_F(ShowRig, CubicVisitsEveryCameraInBothModeGroups)
{
  // the cameras are the same in both groups: they are pictured in the styled one, and a
  // step per frame keeps the long run of frames short. The world scrolls on the SYNC
  // machine's clock, so one camera may catch the field between two painted slices.
  Record.FixedStepMs = 10;
  CubicScene *c = sNEW CubicScene;
  EXPECT_GE(CycleScene(*this, c, 11, "cubic", 0), 10);
}

// Seen from the far camera, without the ring wall: inside the wall, and near the painted
// cells where the near cameras fly, every pixel is covered by dozens of cubes (most of them
// lost in the fog), and the software renderer's frame takes seconds.
TEST_F(ShowRig, CubicVoxelsScrollAndShedDebris)
{
  CubicScene *c = sNEW CubicScene;
  Build({{0, c}});
  c->Variant = 4;
  c->TimeSeed = 0;
  c->Ground->LayerMask = 0;
  // six seconds of steps bring the painted slices to the bottom, where they break up
  sViewport view;
  for(sInt t = 0; t < 600; t++)
  {
    Sync->PublishedClock += 10;
    c->Tick(1);
    c->Render(1, &view);
  }
  Step();
  // painted cells are drawn as cubes that move up as the grid scrolls
  sInt cubes = 0;
  for(InstanceForm *f : c->CellForms) cubes += Shown(f);
  EXPECT_GT(cubes, 50);
  sInt debris = 0, falling = 0;
  for(sInt g = 0; g < 3; g++)
    for(sInt n = 0; n < CUBIC_DEBRIS; n++)
      if(c->Debris[g][n].Active) debris++, falling += c->DebrisForms[g]->Instances[n].l.y < -486.0f;
  EXPECT_GT(debris, 0);
  EXPECT_EQ(falling, debris);

  // the whole frame against the frames without the cells and without the debris, on the
  // same clock
  auto frameWithout = [&](InstanceForm *const *forms) {
    for(sInt g = 0; forms && g < 3; g++) forms[g]->LayerMask = 0;
    M->FixedClock -= sU32(Record.FixedStepMs);
    Step();
    for(sInt g = 0; forms && g < 3; g++) forms[g]->LayerMask = 1;
    return Shot();
  };
  const Picture all = frameWithout(nullptr);
  EXPECT_GT(all.Changed(frameWithout(c->CellForms)), W * H / 50);   // the voxels
  EXPECT_GT(all.Changed(frameWithout(c->DebrisForms)), 20);         // the debris
}

TEST_F(ShowRig, CubicScrollStaysInPlaceThroughHoursOfDrift)
{
  SyncMachine sync(128.0f);
  CubicScene *c = sNEW CubicScene;
  c->DisplayWidth = W, c->DisplayHeight = H;
  c->Init(&sync, 0, nullptr);
  c->RenderMode = 2;
  c->Enter(0);
  sViewport view;
  // hours of show clock with no mode event: the scroll passes every 16.16 limit
  for(sInt mode : {0, 1})
  {
    c->Mode = mode;
    c->SpinSpeed = mode ? 0.2f : 0.1f;
    for(sInt minute = 0; minute <= 600; minute += 7)
    {
      sync.PublishedClock = c->ModeClock + minute * 60000;
      c->Tick(0);
      c->Render(0, &view);
      c->Camera(0, &view);
      const sF64 w = c->WrappedScroll();
      ASSERT_TRUE(w >= 0.0 && w < 576.0) << minute;
      // ten milliseconds later the scroll moved on by exactly one step of its speed
      sync.PublishedClock += 10;
      c->ComputeDrift();
      const sF64 step = std::fmod(c->WrappedScroll() - w + 576.0, 576.0);
      ASSERT_NEAR(step, 10.0 * c->SpinSpeed, 1e-3) << minute;
      for(sInt n = 0; n < c->Ground->Count; n++)
        ASSERT_TRUE(std::fabs(c->Ground->Instances[n].l.y) <= 2250.0f) << minute;
      for(InstanceForm *f : c->CellForms)
        for(sInt n = 0; n < f->Count; n++)
          ASSERT_TRUE(Hidden(f->Instances[n]) || std::fabs(f->Instances[n].l.y) < 600.0f) << minute;
      ASSERT_TRUE(std::isfinite(view.Camera.l.x) && std::isfinite(view.Camera.l.z));
    }
  }
  sDELETE(c);
}

TEST_F(ShowRig, CubicCatchesUpAFewStepsAfterAHitch)
{
  SyncMachine sync(128.0f);
  CubicScene *c = sNEW CubicScene;
  c->Init(&sync, 0, nullptr);
  c->Enter(0);
  sViewport view;
  for(sInt t = 0; t < CUBIC_TICKS_PER_FRAME; t++) sync.PublishedClock += 10, c->Tick(0);
  // a frame that took a second: the steps past the cap change nothing
  auto state = [&] {
    std::vector<sU8> bytes(sizeof(c->Debris) + sizeof(c->Cells));
    std::memcpy(bytes.data(), c->Debris, sizeof(c->Debris));
    std::memcpy(bytes.data() + sizeof(c->Debris), c->Cells, sizeof(c->Cells));
    return bytes;
  };
  const std::vector<sU8> before = state();
  for(sInt t = 0; t < 90; t++) sync.PublishedClock += 10, c->Tick(0);
  EXPECT_TRUE(state() == before);
  c->Render(0, &view);   // the next frame steps again
  c->Tick(0);
  EXPECT_TRUE(state() != before);
  sDELETE(c);
}

namespace
{
sF32 Gap(const sMat3x4 &a, const sMat3x4 &b)
{
  sF32 d = 0.0f;
  for(sF32 v : {Distance(a.i, b.i), Distance(a.j, b.j), Distance(a.k, b.k), 0.01f * Distance(a.l, b.l)}) d = std::max(d, v);
  return d;
}
}

// Cameras 6 to 9 turn the look-at frame as a whole (eye included) after placing it; 10
// rolls the view in the camera's own frame before it. Checked for a chosen clock and beat
// against the cameras written out in plain maths.
TEST_F(ShowRig, CubicTurnedCamerasTurnAfterTheLookAt)
{
  SyncMachine sync(128.0f);
  CubicScene *c = sNEW CubicScene;
  c->DisplayWidth = W, c->DisplayHeight = H;
  c->Init(&sync, 0, nullptr);
  c->TimeSeed = 1234;
  sync.PublishedClock = 81000;
  sync.Results.PulseA = 0.7f;
  const sF64 f = 82234.0, pi = 3.14159265358979;
  const sF32 lv = 0.7f;
  auto S = [&](sF64 r) { return sF32(std::sin(r * f)); };
  auto C = [&](sF64 r) { return sF32(std::cos(r * f)); };
  const sF32 g = sF32(std::sin(std::sin(0.00015 * f) + 0.00003 * f - std::sin(0.00007 * f) + std::sin(0.00003 * f)));
  const sVec3 e(S(0.075) - S(0.077) + S(0.043), S(0.042) - S(0.065) + S(0.075), S(0.059) - S(0.045) + S(0.061));
  auto lookAt = [](const sVec3 &target, const sVec3 &eye) {
    sMat3x4 m;
    m.LookAt(target, eye);
    return m;
  };
  auto euler = [](sF64 x, sF64 y, sF64 z) {
    sMat3x4 m;
    m.EulerXYZ(sF32(x), sF32(y), sF32(z));
    return m;
  };
  sViewport view;
  for(const sF32 b4 : {0.2f, 0.8f})
  {
    sync.Results.Bar4Phase = b4;
    sync.Results.Bar8Phase = 0.5f * b4;
    const sF32 pp = 0.5f * b4, e8 = sF32(0.5 - 0.5 * std::cos(pi * b4)), d = b4 - 0.5f;
    sMat3x4 want[11];
    want[6] = lookAt(sVec3(50 * S(0.00011) + 150, 30 * S(0.00027) + 80, 50 * C(0.00007)),
                     sVec3(50 * S(0.00013) - 150, 80, 150 * C(0.00017))) *
              euler(0, 0, (0.1 * g + 0.5) * -pi);
    want[6].l += e * lv;
    want[7] = lookAt(sVec3(50 * S(0.00013) + 80, 30 * S(0.00027) + 80, 50 * C(0.00007)),
                     sVec3(160 * S(0.00013) + 80, 50, 50 * C(0.00017) + 200)) *
              euler(0, 0.47123894 * g, -pi / 2);
    want[8] = lookAt(sVec3(800 * e8 + 80, 25 * S(0.00027) + 70, 50 * C(0.00007)),
                     sVec3(460 * e8 + 80, 10 * S(0.00021) + 50, 50 * C(0.00017) - 200)) *
              euler(0.15707964 * g, 0, -pi / 2);
    want[8].l += e * sF32(2 * (1 - std::sin(pp * pi / 2)) * lv);
    want[9] = lookAt(sVec3(250 * d + 80, 20 * S(0.00027) + 80, 30 * C(0.00007)),
                     sVec3(1300 * d + 80, 20 * S(0.00021) + 40, 30 * C(0.00017) + 200)) *
              euler(0.09424778 * g, 0, -pi / 2);
    want[9].l += e * (2 * (1 - std::fabs(1.8f * d)) * lv);
    want[10] = euler(0, 0, 0.1 * (S(0.00015) + S(0.00019) + S(0.00027))) *
               lookAt(sVec3(50 * S(0.00013), 25 * S(0.00027) - 40, 25 * S(0.00031)),
                      sVec3(40 * S(0.00011) - 130, -30, 20 * C(0.00017)));
    for(sInt v = 6; v <= 10; v++)
    {
      c->Camera(v, &view);
      EXPECT_LT(Gap(view.Camera, want[v]), 2e-3f) << v << " " << b4;
      EXPECT_EQ(c->LayerMask, v == 10 ? 1u : ~0u);
    }
  }
  // over four bars the eyes of 8 and 9 travel along the stream of cubes (y), not across it
  for(const sInt v : {8, 9})
  {
    sVec3 eye[2];
    for(sInt n = 0; n < 2; n++)
    {
      sync.Results.Bar4Phase = n ? 0.9f : 0.1f;
      c->Camera(v, &view);
      eye[n] = view.Camera.l;
    }
    const sVec3 move = eye[1] - eye[0];
    EXPECT_GT(std::fabs(move.y), 5 * std::fabs(move.x)) << v;
  }
  sDELETE(c);
}

// The turned cameras at a fixed clock, kept for a person to look at.
TEST_F(ShowRig, CubicTurnedCamerasPictures)
{
  Record.FixedStepMs = 10;
  CubicScene *c = sNEW CubicScene;
  Build({{0, c}});
  c->TimeSeed = 0;
  c->Variant = 0;
  Steps(20);
  for(sInt v = 6; v <= 9; v++)
  {
    c->Variant = v;
    Step();
    const Picture p(Keep("cubic", "turned-variant" + std::to_string(v)));
    EXPECT_GT(p.OtherThan(p.Data[0]), W * H / 100) << v;
  }
}

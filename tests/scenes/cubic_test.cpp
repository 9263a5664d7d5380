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

// A Cubic scene of its own on a SYNC machine of its own, outside the rig's show, for the
// tests that move its clock by hand; it goes with the object, after a failed assertion too.
struct OwnCubic
{
  SyncMachine Sync{128.0f};
  CubicScene *C = sNEW CubicScene;
  explicit OwnCubic(sInt width = 0, sInt height = 0)
  {
    C->DisplayWidth = width, C->DisplayHeight = height;
    C->Init(&Sync, 0, nullptr);
  }
  ~OwnCubic() { sDELETE(C); }
  OwnCubic(const OwnCubic &) = delete;
  OwnCubic &operator=(const OwnCubic &) = delete;
};
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
  OwnCubic own(W, H);
  auto &[sync, c] = own;
  c->RenderMode = 2;
  c->Enter(0);
  sViewport view;
  // the show's mode codes set the speed (106 mode 1, 107 mode 0); then hours of show
  // clock with no mode event: the scroll passes every 16.16 limit
  for(sInt code : {106, 107})
  {
    c->OnEvent(code);
    const sF32 speed = code == 106 ? 0.2f : 0.1f;
    EXPECT_EQ(c->Mode, code == 106 ? 1 : 0);
    EXPECT_EQ(c->SpinSpeed, speed);
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
      ASSERT_NEAR(step, 10.0 * speed, 1e-3) << minute;
      for(sInt n = 0; n < c->Ground->Count; n++)
        ASSERT_TRUE(std::fabs(c->Ground->Instances[n].l.y) <= 2250.0f) << minute;
      for(InstanceForm *f : c->CellForms)
        for(sInt n = 0; n < f->Count; n++)
          ASSERT_TRUE(Hidden(f->Instances[n]) || std::fabs(f->Instances[n].l.y) < 600.0f) << minute;
      ASSERT_TRUE(std::isfinite(view.Camera.l.x) && std::isfinite(view.Camera.l.z));
    }
  }
}

TEST_F(ShowRig, CubicCatchesUpAFewStepsAfterAHitch)
{
  OwnCubic own;
  auto &[sync, c] = own;
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
}

// Cameras 6 to 9 turn the look-at frame as a whole, eye included, after placing it: at a
// chosen clock they match the cameras written out in plain maths, and over four bars the
// eyes of 8 and 9 travel along the stream of cubes (y), not across it.
TEST_F(ShowRig, CubicTurnedCamerasTurnAfterTheLookAt)
{
  OwnCubic own(W, H);
  auto &[sync, c] = own;
  c->TimeSeed = 1234;
  sync.PublishedClock = 81000;
  sync.Results.PulseA = 0.7f, sync.Results.Bar4Phase = 0.2f, sync.Results.Bar8Phase = 0.1f;
  const sF64 f = 82234.0, pi = 3.14159265358979, lv = 0.7, e8 = 0.5 - 0.5 * std::cos(pi * 0.2), d = -0.3;
  auto S = [&](sF64 r) { return sF32(std::sin(r * f)); };
  auto C = [&](sF64 r) { return sF32(std::cos(r * f)); };
  const sF64 g = std::sin(std::sin(0.00015 * f) + 0.00003 * f - std::sin(0.00007 * f) + std::sin(0.00003 * f));
  const sVec3 e(S(0.075) - S(0.077) + S(0.043), S(0.042) - S(0.065) + S(0.075), S(0.059) - S(0.045) + S(0.061));
  const struct
  {
    sVec3 Eye, Target, Turn;
    sF64 Push;
  } cases[4] = {
    {{50 * S(0.00013) - 150, 80, 150 * C(0.00017)}, {50 * S(0.00011) + 150, 30 * S(0.00027) + 80, 50 * C(0.00007)},
     {0, 0, sF32((0.1 * g + 0.5) * -pi)}, lv},
    {{160 * S(0.00013) + 80, 50, 50 * C(0.00017) + 200}, {50 * S(0.00013) + 80, 30 * S(0.00027) + 80, 50 * C(0.00007)},
     {0, sF32(0.47123894 * g), sF32(-pi / 2)}, 0},
    {{sF32(460 * e8 + 80), 10 * S(0.00021) + 50, 50 * C(0.00017) - 200}, {sF32(800 * e8 + 80), 25 * S(0.00027) + 70, 50 * C(0.00007)},
     {sF32(0.15707964 * g), 0, sF32(-pi / 2)}, 2 * (1 - std::sin(0.1 * pi / 2)) * lv},
    {{sF32(1300 * d + 80), 20 * S(0.00021) + 40, 30 * C(0.00017) + 200}, {sF32(250 * d + 80), 20 * S(0.00027) + 80, 30 * C(0.00007)},
     {sF32(0.09424778 * g), 0, sF32(-pi / 2)}, 2 * (1 - std::fabs(1.8 * d)) * lv},
  };
  sViewport view;
  for(sInt v = 6; v <= 9; v++)
  {
    const auto &k = cases[v - 6];
    sMat3x4 want, turn;
    want.LookAt(k.Target, k.Eye);
    turn.EulerXYZ(k.Turn.x, k.Turn.y, k.Turn.z);
    want = want * turn;
    want.l += e * sF32(k.Push);
    c->Camera(v, &view);
    for(const sF32 gap : {Distance(view.Camera.i, want.i), Distance(view.Camera.j, want.j), Distance(view.Camera.k, want.k),
                          0.01f * Distance(view.Camera.l, want.l)})
      EXPECT_LT(gap, 2e-3f) << v;
    if(v < 8) continue;
    sync.Results.Bar4Phase = 0.9f;
    const sVec3 from = view.Camera.l;
    c->Camera(v, &view);
    sync.Results.Bar4Phase = 0.2f;
    EXPECT_GT(std::fabs(view.Camera.l.y - from.y), 5 * std::fabs(view.Camera.l.x - from.x)) << v;
  }
}

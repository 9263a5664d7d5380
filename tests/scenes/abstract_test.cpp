// The Abstract scene: its visits and cameras, the orbit points that burst on an accepted
// beat event (and stay hidden before the first), and the surface near the tangent's poles,
// far out and finite.
#include "show_rig.hpp"

#include "scenes/abstract.hpp"
#include "show/procforms.hpp"

#include <cmath>

TEST_F(ShowRig, AbstractVisitsEveryCameraInBothModeGroups)
{
  AbstractScene *a = sNEW AbstractScene;
  EXPECT_EQ(CycleScene(*this, a, 7, "abstract"), 2 * 7);
}

TEST_F(ShowRig, AbstractOrbitsBurstOnAnAcceptedBeat)
{
  AbstractScene *a = sNEW AbstractScene;
  Build({{0, a}});
  M->PendingTransition = 2;
  M->SwitchScene(0);
  // the orbits alone, seen from the head towards their centre
  for(Form *f : {(Form *)a->GlowPoints, (Form *)a->NetA, (Form *)a->NetB, (Form *)a->TubeA, (Form *)a->TubeB})
    f->LayerMask = 2;
  a->LayerMask = 1;
  a->Variant = 4;
  Step();
  const Picture before = Shot();
  Step();
  EXPECT_EQ(before.Changed(Shot()), 0);   // no burst yet: nothing drawn

  Sync->OnKey('e');   // colour preset 2: the beat is accepted
  a->OnEvent(108);
  EXPECT_EQ(a->BeatTime, Sync->PublishedClock);
  Step();
  EXPECT_GT(before.Changed(Shot()), 30);
  sF32 spread = 0.0f;
  const sVec3 centre = a->AbstractPath(a->PathParams[0], a->PathParams[1]);
  Steps(8);
  for(sInt q = 0; q < ABSTRACT_ORBIT; q++)
  {
    const sVec3 d = a->OrbitA->Points[q].Pos - centre;
    spread = std::fmax(spread, std::sqrt(sDot(d, d)));
  }
  EXPECT_GT(spread, 0.5f);   // flown out from the centre
  Sync->OnKey('q');          // colour preset 0: the list's next beats are not taken
  Steps(30);   // 1.5 s later every point is spent
  EXPECT_EQ(before.Changed(Shot()), 0);

  // in the calm mode the beat is ignored
  M->PendingTransition = 0;
  M->SwitchScene(0);
  const sInt kept = a->BeatTime;
  Step();
  a->OnEvent(108);
  EXPECT_EQ(a->BeatTime, kept);
}

TEST_F(ShowRig, AbstractSurfaceFliesOutAtTheTangentPolesAndStaysFinite)
{
  SyncMachine sync(128.0f);
  AbstractScene *a = sNEW AbstractScene;
  a->Init(&sync, 0, nullptr);
  a->RenderMode = 2;
  for(sInt type : {0, 3})
  {
    a->CurveType = type;
    sF32 largest = 0.0f;
    // u runs finely over many periods of the tangent: some samples lie next to a pole
    for(sInt n = 0; n < 200000; n++)
    {
      const sVec3 p = a->AbstractPath(sF32(n) * 0.005f, 52.0f);
      ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
      largest = std::fmax(largest, std::fabs(p.y));
    }
    EXPECT_GT(largest, 20000.0f) << type;   // the points near the poles fly far out
  }
  sDELETE(a);
}

// The Fish scene in a running machine: its visits in every transition mode with the
// pictures of its cameras, schools that show and flee, and what it does where the plain
// reading of its rules breaks (the end sequence carried into later visits, the particle
// cells of a far camera, the end camera outside the end sequence).
#include "show_rig.hpp"

#include "scenes/fish.hpp"

#include <cmath>

TEST_F(ShowRig, FishVisitsCamerasAndSchools)
{
  FishScene *fish = sNEW FishScene;
  Build({{0, fish}, {1, sNEW BlankScene}});
  VisitInModes(*this, {0, 2, 0}, 1, [&](sInt mode) {
    EXPECT_EQ(Sync->Tables[0], mode ? FishShowTable() : FishShortTable());
    EXPECT_EQ(fish->ChaseMode, 1u);
    for(const FishSchool &s : fish->Schools)
      for(const sVec3 &p : s.Positions) ASSERT_TRUE(std::isfinite(p.x + p.y + p.z));
  });

  for(sInt mode : {0, 2})
  {
    fish->RenderMode = mode;
    // every camera sees more than the fog: the spheres' light and grid, fish, specks
    EXPECT_EQ(EachCamera(fish, "fish", "mode" + std::to_string(mode), 8, 1, [](const Picture &p) {
                return p.Count([](sU32 c, sInt, sInt) { return std::abs(Picture::Luma(c) - Picture::Luma(0x142840)) > 40; }) >
                       W * H / 100;
              }),
              8);
  }
  // the schools are what the first camera of the calm mode looks at: without them a
  // large part of its picture changes
  fish->RenderMode = 0;
  fish->Variant = 0;
  Step();
  const Picture with = Shot();
  for(FishSchool &s : fish->Schools) s.Form->LayerMask = 0;
  Step();
  EXPECT_GT(Shot().Count([&](sU32 c, sInt x, sInt y) { return std::abs(Picture::Luma(c) - Picture::Luma(with.At(x, y))) > 60; }),
            W * H / 10);
  for(FishSchool &s : fish->Schools) s.Form->LayerMask = 1;
}

TEST_F(ShowRig, FishFleeTheBigFish)
{
  FishScene *fish = sNEW FishScene;
  Build({{0, fish}, {1, sNEW BlankScene}});
  // a big fish right beside the middle of the school: the fish around it swim away, and
  // faster than their own formation would carry them
  FishSchool &s = fish->Schools[40];
  const sVec3 big = s.Positions[0] + sVec3(3.0f, 0.0f, 0.0f);
  sF32 before = 0.0f, after[2];
  for(const sVec3 &p : s.Positions) before += Distance(p, big);
  for(sInt repel = 0; repel < 2; repel++)
  {
    fish->PlaceSchools();
    fish->RepellerPos = repel ? big : sVec3(1000.0f, 1000.0f, 1000.0f);
    for(sInt t = 0; t < 50; t++) fish->UpdateSwarm();
    after[repel] = 0.0f;
    for(const sVec3 &p : s.Positions) after[repel] += Distance(p, big);
  }
  EXPECT_GT(after[1], before);
  EXPECT_GT(after[1], after[0] + 16.0f);
}

TEST_F(ShowRig, FishEndSequenceBelongsToItsVisit)
{
  FishScene *fish = sNEW FishScene;
  Build({{0, fish}, {1, sNEW BlankScene}});
  fish->OnEvent(sInt(0xFFFFFFFCu));
  EXPECT_EQ(fish->EndMode, 1u);
  Step();
  EXPECT_NE(fish->EndPlanes[0]->LayerMask, 0u);
  M->SwitchScene(1);
  M->SwitchScene(0);
  EXPECT_EQ(fish->EndMode, 0u);
  EXPECT_EQ(fish->EndStart, 0.0f);
  Step();
  EXPECT_EQ(fish->EndPlanes[0]->LayerMask, 0u);
  // outside the end sequence the end camera follows the big fish, however long the show ran
  Sync->SyncClock = Sync->PublishedClock = 2000000000;
  fish->Variant = 7;
  Step();
  const sVec3 mid = (fish->Big[0].Position + fish->Big[1].Position) * 0.5f;
  EXPECT_LT(Distance(M->Views[0].Camera.l, mid), 400.0f);
}

TEST(Fish, PlanktonWrapsAroundAnyCamera)
{
  for(sF32 camera : {0.0f, 100.0f, -5000.0f, 40000.0f, -3.0e6f, 9.0e8f})
    for(sU32 cell : {0u, 0x7FFFFFu, 0x123456u, 0xFFFF00u})
    {
      const sF32 x = FishScene::PlanktonCoordinate(cell, camera);
      ASSERT_GE(x, -128.0f);
      ASSERT_LE(x, 128.0f);
      // the particle's place in space repeats every 256 units
      const sF64 world = std::fmod(sF64(x) + sF64(camera) - sF64(cell) / 65536.0, 256.0);
      const sF64 off = std::fabs(world) < 128.0 ? std::fabs(world) : 256.0 - std::fabs(world);
      EXPECT_LT(off, std::fabs(camera) * 1e-6 + 0.01) << camera << " " << cell;
    }
}

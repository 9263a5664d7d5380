// The Fish scene in a running machine: its visits in every transition mode with the
// pictures of its cameras, schools that show and flee, and what it does where the plain
// reading of its rules breaks (the end sequence carried into later visits, the particle
// cells of a far camera, the end camera outside the end sequence).
#include "show_rig.hpp"

#include "scenes/fish.hpp"

#include <cmath>
#include <cstring>

TEST_F(ShowRig, FishVisitsCamerasAndSchools)
{
  FishScene *fish = sNEW FishScene;
  Build({{0, fish}, {1, sNEW BlankScene}});
  // Enter picks the variant alone; what the 's' key restores stays the machine's
  fish->BaseVariant = 9;
  Visit(0, 2, 1);
  EXPECT_TRUE(fish->Variant == 3 && fish->BaseVariant == 9);
  EXPECT_EQ(StepsBeyondPictures<FishScene>(), 0);   // the loader counts the pictures alone
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
  const Picture without = Shot();
  EXPECT_GT(without.Count([&](sU32 c, sInt x, sInt y) { return std::abs(Picture::Luma(c) - Picture::Luma(with.At(x, y))) > 60; }),
            W * H / 10);
  // the second glow sphere shares the sky sphere's radius: behind the schools the sky's
  // blue and the sphere's dark grid share the background
  EXPECT_GT(without.Count([](sU32 c) -> sBool { return (c & 255) >= 0x30; }), W * H / 4);
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

// A slow frame passes steps over without their codes: the flags their events toggle still
// end the bars as the list has them.
TEST_F(ShowRig, FishTogglesOfPassedStepsStillFlip)
{
  FishScene *fish = sNEW FishScene;
  Build({{0, sNEW BlankScene}, {1, fish}});
  EnterMode(1, 2);
  sViewport view;
  auto at = [&](sInt bar, sInt step) {
    Sync->BarIndex[0] = bar, Sync->CurrentStep = step;
    fish->Render(0, &view);
    return std::vector<sU32>{fish->ChaseMode, fish->BigFishCalm, fish->TurnSide};
  };
  at(0, 0);
  for(sInt code : {106, 103}) fish->OnEvent(code);   // step 0 of the pair
  EXPECT_EQ(at(0, 2), (std::vector<sU32>{1, 1, 0})) << "step 1 passed over: the pair is whole, 107 flipped";
  at(0, 14);
  EXPECT_EQ(at(1, 9), (std::vector<sU32>{1, 0, 1})) << "over the bar's end: bar 1's steps 1 (107) and 8 (103)";
  EXPECT_EQ(at(9, 3), (std::vector<sU32>{1, 0, 1})) << "a jump passes nothing over";
}

TEST_F(ShowRig, FishEndSequenceStaysUntilTheNextInit)
{
  FishScene *fish = sNEW FishScene;
  Build({{0, fish}, {1, sNEW BlankScene}});
  // outside the end sequence the end camera follows the big fish, however long the show ran
  Sync->SyncClock = Sync->PublishedClock = 2000000000;
  fish->Variant = 7;
  Step();
  const sVec3 mid = (fish->Big[0].Position + fish->Big[1].Position) * 0.5f;
  EXPECT_LT(Distance(M->Views[0].Camera.l, mid), 400.0f);

  fish->OnEvent(sInt(0xFFFFFFFCu));
  EXPECT_EQ(fish->EndMode, 1u);
  Step();
  EXPECT_NE(fish->EndPlanes[0]->LayerMask, 0u);
  // a later visit goes on with the end sequence and its clock
  const sF32 start = fish->EndStart;
  M->SwitchScene(1);
  M->SwitchScene(0);
  EXPECT_EQ(fish->EndMode, 1u);
  EXPECT_EQ(fish->EndStart, start);
  Step();
  EXPECT_NE(fish->EndPlanes[0]->LayerMask, 0u);
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

TEST(Fish, BentFishAreTheRingRotationsOfTheTemplate)
{
  // the ring matrices and the bent vertices are exactly what the general rotation and
  // direction products give, for a school's and a big fish's bends and odd headings
  sMat3x4 B;
  B.i.Init(0.6f, 0.0f, -0.8f);
  B.j.Init(-0.3f, 0.9f, 0.1f);
  B.k.Init(0.7f, 0.4f, 0.59f);
  B.l.Init(3.0f, -2.0f, 1.0f);
  MeshVertex tmpl[3 * 2] = {};
  for(sInt i = 0; i < 6; i++)
  {
    tmpl[i].Pos.Init(0.3f * i - 1.0f, 2.0f - 0.7f * i, 0.11f * i * i);
    tmpl[i].Normal.Init(0.5f, -0.25f * i, 0.8f);
    tmpl[i].Tangent.Init(-0.2f * i, 1.0f, 0.05f);
    tmpl[i].Color = 0xff102030u + sU32(i);
    tmpl[i].U0 = 0.1f * i;
  }
  sMat3x4 rings[3];
  const sF32 thetas[3] = {0.5f * sScenePi, -2.75f, 1.0e3f};
  for(sInt r = 0; r < 3; r++)
  {
    sMat3x4 e;
    e.EulerXYZ(thetas[r], 0.0f, -0.5f * sScenePi);
    const sMat3x4 want = e * B;
    rings[r] = FishScene::RingMatrix(thetas[r], B);
    EXPECT_EQ(std::memcmp(&rings[r], &want, sizeof(want)), 0) << "theta " << thetas[r];
  }
  const sVec3 at(10.0f, -4.5f, 0.25f);
  FormVertexTangent out[6];
  FishScene::WriteBent(out, tmpl, 3, 2, rings, at);
  for(sInt i = 0; i < 6; i++)
  {
    const sMat3x4 &M = rings[i / 2];
    const sVec3 p = at + sMulDirMat3x4(tmpl[i].Pos, M), n = sMulDirMat3x4(tmpl[i].Normal, M),
                t = sMulDirMat3x4(tmpl[i].Tangent, M);
    const FormVertexTangent want = {p.x, p.y, p.z, n.x, n.y, n.z, t.x, t.y, t.z, 0.0f, tmpl[i].Color,
                                    tmpl[i].U0, tmpl[i].V0, tmpl[i].U1, tmpl[i].V1};
    EXPECT_EQ(std::memcmp(&out[i], &want, sizeof(want)), 0) << "vertex " << i;
  }
}

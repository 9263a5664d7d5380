// The Crystal scene in the rig: its shapes end where the chain goes on, the chain grows
// link on link and keeps growing for hours without running out of records, the cameras'
// pictures show the chain and the shell, and it exits clean.
#include "show_rig.hpp"

#include "scenes/crystal.hpp"
#include "show/model.hpp"

#include <cmath>

namespace
{
constexpr sInt CrystalIndex = 10;

class CrystalRig : public SceneRig<CrystalScene, CrystalIndex>
{
public:
  CrystalScene *&Cry = Tested;
  // Only the test's own events from now on (no list: the song position runs on), with
  // every colour preset's flashes.
  void Quiet()
  {
    Sync->SetPatternTable(0, nullptr);
    Sync->SelectColorPreset(3);
    Sync->ColorPresetSmooth = 3.0f;
  }
  // The distant shell drawn or not: its thousand large crystals are most of what the
  // software renderer has to fill, so most frames go without it.
  void ShowShell(sBool on)
  {
    for(Model *m : Cry->ShellModels) m->SetLayerMask(on ? 4 : 0);
  }
  // Frames with the shell only where a frame needs it.
  void Start(sBool shell)
  {
    SceneRig::Start();
    ShowShell(shell);
  }
  void ExpectRecordsWhole()
  {
    EXPECT_TRUE(Cry->RecordCount >= 0 && Cry->RecordCount <= CRYSTAL_RECORDS);
    for(const CrystalRecord &r : Cry->FlyingRecords)
      ASSERT_TRUE(r.Kind == 1 && r.Column >= 0 && r.Column < CRYSTAL_COLUMNS && r.Scale >= 0.01f && r.Scale < 0.11f);
    for(sInt k = 0; k < Cry->RecordCount; k++) ASSERT_TRUE(Finite(Cry->CrystalRecords[k].Tip)) << k;
  }
};
}

TEST(CrystalShapes, EachIsOneLitMeshOfTheFirstMaterialFromTheOriginToItsTip)
{
  for(sInt c = 0; c < CRYSTAL_COLUMNS; c++)
  {
    SCOPED_TRACE(c);
    const std::string file = std::string(TWDATA_DIR) + "/crystal/unpacked/crystal00" + char('1' + (c == 6 ? 1 : c)) + ".pet";
    Model m(nullptr);
    ASSERT_TRUE(m.LoadPet(std::u16string(file.begin(), file.end()).c_str()));
    ASSERT_EQ(m.MeshCount, 1);
    const RawMesh &r = *m.Meshes[0];
    EXPECT_EQ(r.MaterialIndex, 0);
    EXPECT_TRUE((r.Flags & sRMF_NORMAL) && (r.Flags & sRMF_UV));
    sVec3 lo, hi, top(0, -1e9f, 0);
    r.GetBounds(lo, hi);
    sF32 radius = 0.0f;
    for(sInt v = 0; v < r.VertexCount; v++)
    {
      const sVec3 p(r.Positions[3 * v], r.Positions[3 * v + 1], r.Positions[3 * v + 2]);
      if(p.y > top.y) top = p;
      radius = std::max(radius, std::sqrt(p.x * p.x + p.z * p.z) * (p.y < 1.0f));
    }
    EXPECT_NEAR(lo.y, 0.0f, 1e-4f);
    EXPECT_LT(Distance(top, CrystalTips[c]), 1e-3f);
    EXPECT_TRUE(radius >= 3.0f && radius <= 6.0f) << radius;
  }
}

TEST_F(CrystalRig, LinksGrowFromTheLastTipAndAClearStartsAfresh)
{
  Start(0);
  EnterWithMode(3);
  Quiet();
  Cry->OnEvent(107);
  for(sInt step = 0; step < 65; step++) Cry->OnEvent(108);
  // each main crystal of the first lap starts on its link, and each link where the shape
  // of chain record i - 1's column, standing on the link before, ends
  for(sInt i = 1; i < CRYSTAL_PATH; i++)
  {
    const sVec3 start = Cry->CrystalRecords[4 * i].Matrix.l;
    EXPECT_LT(Distance(start, Cry->PathMatrices[i].l), 1e-3f) << i;
    const sVec3 end = sMulPointMat3x4(CrystalTips[Cry->CrystalRecords[i - 1].Column], Cry->PathMatrices[i - 1]);
    EXPECT_LT(Distance(start, end), 1e-3f) << i;
  }
  // a lap on too, the camera's keys before the path's start lie below the origin, n links
  // before it at (0, 20 n, 0): at the growth the camera stands on the middle key of each lag
  Cry->Camera(0, Cry->MainView);
  const sInt lags[3] = {4, 18, 6};
  for(sInt n = 0; n < 3; n++)
    EXPECT_LT(Distance(Cry->PathPoints[n], sVec3(0.0f, 20.0f * sF32(Cry->PathIndex - lags[n] + 2), 0.0f)), 0.01f) << n;

  // a clear starts the chain afresh (the records filling up is the long run's)
  Cry->OnEvent(107);
  Cry->OnEvent(108);
  EXPECT_EQ(Cry->RecordCount, CRYSTAL_BRANCHES);
}

TEST_F(CrystalRig, GrowsForHoursOfShowClockAndStillDraws)
{
  Start(0);
  EnterWithMode(1);
  Quiet();
  // four hours of growth every half bar, the clock stepped without drawing; a clear only
  // every 2000 steps, so the records fill up between
  sInt highest = 0;
  for(sInt step = 0; step < 4 * 3600 * 2; step++)
  {
    Sync->Update(500);
    Cry->OnEvent(step % 2000 == 1999 ? 107 : 108);
    highest = std::max(highest, Cry->RecordCount);
    if(step % 97 == 0)
    {
      Cry->Camera(step % 5, Cry->MainView);
      Cry->Render(step % 5, Cry->MainView);
      ASSERT_TRUE(Finite(Cry->MainView->Camera.l) && Finite(Cry->SmoothPoint)) << step;
    }
  }
  EXPECT_EQ(highest, CRYSTAL_RECORDS);
  ExpectRecordsWhole();
  // and still draws the longest chain its lists grow between two clears, grown just
  // before the turn of an eight-bar period and at full size after it
  while(Sync->Phase - std::floor(Sync->Phase) < 0.95) Sync->Update(50);
  Cry->OnEvent(107);
  for(sInt step = 0; step < 32; step++) Cry->OnEvent(108);
  Sync->Update(1000);
  Cry->Variant = 1;
  Step();
  EXPECT_GT(Shot().OtherThan(Cry->RenderEnv.FogColor), W * H / 200);
  for(sInt k = 0; k < Cry->RecordCount; k++)
  {
    const sVec3 &i = Cry->GrownCrystals[k % CRYSTAL_COLUMNS][k / CRYSTAL_COLUMNS]->Matrix.i;
    ASSERT_NEAR(std::sqrt(sDot(i, i)), 1.0f, 1e-3f) << k;
  }
}

TEST_F(CrystalRig, CamerasSeeTheChainTheShellAndTheFlungCrystals)
{
  Start(0);
  for(sInt mode : {0, 3})
  {
    SCOPED_TRACE(mode);
    EnterWithMode(mode);
    Quiet();
    Cry->OnEvent(107);
    for(sInt step = 0; step < 12; step++) Cry->OnEvent(108);
    Sync->Update(600);   // over half a bar: every crystal at full size
    sInt launched = 0;
    for(const CrystalRecord &r : Cry->FlyingRecords) launched += r.Birth > 0.0f;
    EXPECT_EQ(launched > 0, mode != 0);   // flung in the styled modes only
    // every camera but the one looking out over the shell (hidden here) sees crystals
    EXPECT_GE(EachCamera(Cry, "crystal", "mode" + std::to_string(mode), 5, 1,
                         [&](const Picture &p) { return p.OtherThan(Cry->RenderEnv.FogColor) > W * H / 100; }),
              4);
  }

  // every light's view of the marker's shadow record reaches the grown crystals
  const std::vector<sInt> reached = LightDepths(Cry, Cry->Marker, "crystal", "light-depths");
  for(sInt i = 0; i < 3; i++) EXPECT_GT(reached[size_t(i)], 20) << "light " << i;

  // looking along the chain: the chain's crystals, then the shell alone
  Cry->Variant = 1;
  Sync->Update(2000);   // the camera has come to rest behind the head
  Step();
  const Picture chain = Shot();
  const sInt grown = Cry->RecordCount;
  Cry->RecordCount = 0;
  Step();
  const Picture bare = Shot();
  EXPECT_GT(chain.Changed(bare), W * H / 100);
  // the shell, its crystals made small: the full-sized ones are too much to fill for the
  // software renderer
  ShowShell(1);
  for(sMat3x4 &m : Cry->ShellMatrices) m.ScaleAxes(0.25f, 0.25f, 0.25f);
  Step();
  EXPECT_GT(bare.Changed(Picture(Keep("crystal", "shell"))), W * H / 200);
  Cry->RecordCount = grown;
}

TEST_F(CrystalRig, VisitsInBothModeGroupsGiveBackAllTheyTook)
{
  ExpectExitsClean([&] {
    Start(0);
    for(sInt visit = 0; visit < 2; visit++)
      for(sInt mode : {0, 4}) EnterWithMode(mode), Steps(2);
    M->SwitchScene(0);
    Step();
  });
}

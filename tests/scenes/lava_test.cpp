// The Lava scene in the rig: its neighbour lists against the full sort, the pull of event
// 106 and when it is refused, its cameras' pictures in every look, the blobs drawn by both
// passes, and its clean exit.
#include "scene_rig.hpp"

#include "scenes/lava.hpp"
#include "show/procforms.hpp"

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>
#include <vector>

namespace
{
constexpr sInt LavaIndex = 11;

class LavaRig : public ShowRig
{
public:
  LavaScene *Lava = nullptr;
  void Start()
  {
    Lava = sNEW LavaScene;
    M = sNEW SceneMachine(&Record);
    M->RegisterScene(sNEW BlankScene, u"blank", 0, 1, 0);
    M->RegisterScene(Lava, u"Lava", LavaIndex, 1, 0);
    M->Start();
  }
  // Switches to the lamp with the transition giving the render mode; with `quiet` its list
  // is swapped for one without keys, so the camera stays the test's.
  void EnterWithMode(sInt mode, sBool quiet = 0)
  {
    static const sInt transition[5] = {0, 1, 3, 2, 4};
    static const PatternList<64, 1> silence{std::vector<PatternKey>{}};
    M->SwitchScene(0);
    M->PendingTransition = transition[mode];
    M->SwitchScene(LavaIndex);
    ASSERT_EQ(Lava->RenderMode, mode);
    if(quiet) InstallPatterns(Sync, 0, silence.Table());
  }
  std::set<sInt> Candidates(sInt blob) const
  {
    std::set<sInt> s;
    for(const LavaNeighbour &e : Lava->Neighbours[blob]) s.insert(e.Blob);
    return s;
  }
};
}

TEST_F(LavaRig, NeighbourListsHoldTheHeadOfTheFullExchangeSort)
{
  Start();
  // on a lattice many distances tie: the kept order must still be the full sort's
  for(sInt i = 0; i < LAVA_BLOBS; i++) Lava->Blobs[i].Position = sVec3(sF32(i % 16), sF32(i / 16 % 8), sF32(i / 128)) * 7.0f;
  Lava->BuildNeighbours();
  for(sInt blob : {0, 77, 600, 1023})
  {
    std::vector<std::pair<sF32, sInt>> list = {{0.0f, blob}};
    const sVec3 at = Lava->Blobs[blob].Position;
    for(sInt j = 0; j < LAVA_BLOBS; j++)
    {
      const sVec3 d = Lava->Blobs[j].Position - at;
      if(j != blob) list.push_back({std::sqrt(sDot(d, d)), j});
    }
    for(sInt p = 0; p < LAVA_BLOBS - 1; p++)
      for(sInt q = p + 1; q < LAVA_BLOBS; q++)
        if(list[size_t(q)].first < list[size_t(p)].first) std::swap(list[size_t(p)], list[size_t(q)]);
    for(sInt k = 0; k < LAVA_NEIGHBOURS; k++) ASSERT_EQ(Lava->Neighbours[blob][k].Blob, list[size_t(k)].second) << blob << " " << k;
  }
}

TEST_F(LavaRig, EventsPullOnlyWhenAllowedAndKeepTheCandidates)
{
  Start();
  struct Case
  {
    sInt Mode, Hold, Variant;
    sBool Pulls;
  } cases[] = {{3, 0, 6, 1}, {0, 0, 6, 0}, {3, 1, 6, 0}, {3, 0, 3, 0}};
  for(const Case &c : cases)
  {
    SCOPED_TRACE(testing::Message() << "mode " << c.Mode << " hold " << c.Hold << " variant " << c.Variant);
    EnterWithMode(c.Mode);
    Lava->Hold = c.Hold;
    Lava->Variant = c.Variant;
    for(LavaBlob &b : Lava->Blobs) b.Impulse = sVec3(0, 0, 0);
    Lava->Blobs[0].Position = sVec3(30.0f, 0.0f, 40.0f);   // 40 from variant 6's centre (30, 0, 0)
    Lava->Blobs[1].Position = sVec3(30.0f, 75.0f, 0.0f);   // beyond its reach
    Lava->OnEvent(106);
    const sVec3 pull = Lava->Blobs[0].Impulse;
    EXPECT_NEAR(pull.z, c.Pulls ? -(1.0f - 40.0f / 70.0f) : 0.0f, 0.01f);
    EXPECT_NEAR(std::fabs(pull.x) + std::fabs(pull.y), 0.0f, 1e-3f);
    EXPECT_EQ(Lava->Blobs[1].Impulse.y, 0.0f);
  }

  // looks go round; a new scatter moves the blobs but each keeps its candidates of Init
  const sInt look = Lava->Look;
  Lava->OnEvent(107);
  EXPECT_EQ(Lava->Look, (look + 1) % LAVA_LOOKS);
  const std::set<sInt> before = Candidates(5);
  const sVec3 at = Lava->Blobs[5].Position;
  Lava->OnEvent(108);
  Step();
  EXPECT_NE(Lava->Blobs[5].Position.x, at.x);
  EXPECT_EQ(Candidates(5), before);
}

TEST_F(LavaRig, CamerasSeeTheLampInEveryLook)
{
  Start();
  const std::string dir = PictureFolder("lava");
  for(sInt mode = 0; mode < 5; mode++)
  {
    EnterWithMode(mode, 1);
    for(sInt v = 0; v < 7; v++)
    {
      if(mode != 0 && mode != 4 && v != 3) continue;   // every camera in both groups, each look once
      Lava->Variant = v;
      for(sInt f = 0; f < 2; f++) Step();
      const std::string name = dir + "/mode" + std::to_string(mode) + "-variant" + std::to_string(v) + ".bmp";
      std::filesystem::copy_file(Frame, name, std::filesystem::copy_options::overwrite_existing);
      sImage img;
      LoadPicture(img, name);
      // the flat lit backdrop of the lava quad, with blobs standing out of it
      EXPECT_GT(PixelsOtherThan(name, img.Data[0]), W * H / 50) << name;
    }
  }
}

TEST_F(LavaRig, BlobsBeforeTheCameraAreDrawnByBothPasses)
{
  Start();
  EnterWithMode(1, 1);
  Lava->Variant = 5;   // near the axis: every cluster below stays inside the glass
  for(sInt f = 0; f < 2; f++) Step();
  // every blob in a cluster before the camera, in the middle of the picture
  auto place = [&](sF32 distance) {
    const sMat3x4 cam = Lava->CameraMatrix;
    for(sInt i = 0; i < LAVA_BLOBS; i++)
    {
      LavaBlob &b = Lava->Blobs[i];
      b.Position = cam.l + cam.k * distance + cam.i * (sF32(i % 32) * 0.25f - 4.0f) + cam.j * (sF32(i / 32) * 0.25f - 4.0f);
      b.Velocity = b.Impulse = sVec3(0, 0, 0);
    }
  };
  place(50.0f);
  auto frame = [&](sU32 mask, sInt passFlags) {
    Lava->BlobSprites->LayerMask = mask;
    Lava->BlobSprites->PassFlags = passFlags;
    Step();
    sImage img;
    LoadPicture(img, Frame);
    return std::vector<sU32>(img.Data, img.Data + img.SizeX * img.SizeY);
  };
  const std::vector<sU32> none = frame(0, 4), lavaOnly = frame(1, 0), both = frame(1, 4);
  // pixels of b clearly unlike a in a band of columns across the middle third of the rows
  auto changed = [](const std::vector<sU32> &a, const std::vector<sU32> &b, sInt x0, sInt x1) {
    sInt n = 0;
    for(sInt y = H / 3; y < 2 * H / 3; y++)
      for(sInt x = x0; x < x1; x++)
      {
        const sU32 p = a[size_t(y * W + x)], q = b[size_t(y * W + x)];
        sInt d = 0;
        for(sInt sh = 0; sh < 24; sh += 8) d = std::max(d, std::abs(sInt((p >> sh) & 255) - sInt((q >> sh) & 255)));
        n += d > 8 ? 1 : 0;
      }
    return n;
  };
  const sInt area = (W / 3) * (H / 3);
  EXPECT_GT(changed(none, lavaOnly, W / 3, 2 * W / 3), area / 4) << "the lava pass";
  EXPECT_LT(changed(none, lavaOnly, 0, W / 10), area / 100) << "away from the cluster";
  EXPECT_GT(changed(lavaOnly, both, W / 3, 2 * W / 3), area / 10) << "the glow sprites";
  // outside the fade window neither pass draws them
  for(sF32 distance : {20.0f, 80.0f})
  {
    place(distance);
    const std::vector<sU32> hidden = frame(0, 4);
    EXPECT_LT(changed(hidden, frame(1, 4), W / 3, 2 * W / 3), area / 100) << distance;
  }
}

TEST_F(LavaRig, ExitReturnsItsTargetMaterialsAndQuad)
{
  // after the first run a run gives back all it took; a block the SYNC machine's
  // clock-driven retries hand from one run to the next is not a leak: a leak shows in every run
  sS64 taken[3];
  for(sS64 &t : taken)
  {
    const sS64 before = sAllocatedBytes.load();
    Start();
    for(sInt mode : {0, 2, 4})
    {
      EnterWithMode(mode);
      for(sInt f = 0; f < 3; f++) Step();
    }
    M->SwitchScene(0);
    Step();
    Drop();
    t = sAllocatedBytes.load() - before;
  }
  EXPECT_LE(std::min(taken[1], taken[2]), 0);
}

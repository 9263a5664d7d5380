// The Invaders scene in the rig: its whole song from every entry bar of the period, its
// cameras' pictures, what it draws, its choice of targets and its clean exit.
#include "scene_rig.hpp"

#include "scenes/invaders.hpp"
#include "show/model.hpp"

#include <cmath>
#include <set>

namespace
{
constexpr sInt InvadersIndex = 7;

sBool Finite(const sVec3 &v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

class InvadersRig : public ShowRig
{
public:
  InvadersScene *Inv = nullptr;
  BlankScene *Other = nullptr;
  void Start()
  {
    Inv = sNEW InvadersScene;
    Other = sNEW BlankScene;
    M = sNEW SceneMachine(&Record);
    M->RegisterScene(Other, u"blank", 0, 1, 0);
    M->RegisterScene(Inv, u"Invaders", InvadersIndex, 1, 0);
    M->Start();
  }
};
}

TEST_F(InvadersRig, TheWholeSongPlaysFromEveryEntryBarAndMovesTheShowOn)
{
  Start();
  for(sInt f = 0; f < 4; f++) Step();
  for(sInt entry = 0; entry < 8; entry++)
  {
    SCOPED_TRACE(entry);
    while(Sync->Results.BarIndex[0] % 8 != entry) Step();
    M->PendingTransition = entry % 2 ? 3 : 0;   // both groups of render modes
    M->SwitchScene(InvadersIndex);
    ASSERT_EQ(M->Current, InvadersIndex);
    ASSERT_EQ(Inv->RenderMode, entry % 2 ? 2 : 0);
    Inv->LayerMask = 0;   // the game only: nothing drawn makes the long run quick
    sInt firstBar = -1, lastBar = -1, hits = 0, shown = 0;
    for(sInt f = 0; f < 20 * 90; f++)
    {
      const sInt flash = Inv->FlashClock;
      Step();
      // the end of the song asks for the next scene: here that is the song again
      if(M->Current != InvadersIndex || Sync->Results.BarIndex[0] < lastBar) break;
      lastBar = Sync->Results.BarIndex[0];
      if(firstBar < 0) firstBar = lastBar;
      hits += Inv->FlashClock != flash;
      ASSERT_TRUE(Finite(Inv->AimPoint) && Finite(Inv->ShipPosition) && Finite(M->Scenes[InvadersIndex]->MainView->Camera.l));
      ASSERT_TRUE(Inv->NextColumn >= 0 && Inv->NextColumn < INVADER_COLUMNS && Inv->NextRow >= 0 && Inv->NextRow < 4);
      sInt n = 0;
      for(auto &k : Inv->InvaderVisible)
        for(sInt v : k) n += v;
      shown = n;
    }
    EXPECT_EQ(firstBar, entry);   // the song starts within its first period
    EXPECT_EQ(lastBar, 79);       // and is played to its end
    EXPECT_GT(hits, 50);
    EXPECT_LE(shown, 32);
    M->SwitchScene(0);
  }
}

TEST_F(InvadersRig, CamerasSeeTheGameAndItsFormsAreDrawn)
{
  Start();
  M->SwitchScene(InvadersIndex);
  const std::string dir = PictureFolder("invaders");
  for(sInt f = 0; f < 20 * 6; f++) Step();   // the game is running, shots are on their way
  const sU32 clear = Inv->RenderEnv.FogColor;
  for(sInt v = 0; v < 6; v++)
  {
    Inv->Variant = v;
    Step();
    const std::string name = dir + "/variant" + std::to_string(v) + ".bmp";
    std::filesystem::copy_file(Frame, name, std::filesystem::copy_options::overwrite_existing);
    EXPECT_GT(PixelsOtherThan(name, clear), W * H / 10) << name;
  }

  // each group alone, seen by the grid camera: invaders, then the floor and backdrop
  Inv->Variant = 3;
  for(auto &k : Inv->Invaders)
    for(auto &c : k)
      for(Model *m : c) m->SetLayerMask(m->LayerMask ? 2 : 0);
  Inv->LayerMask = 0;
  Step();
  const sInt nothing = PixelsOtherThan(Frame, clear);
  Inv->LayerMask = 2;
  Step();
  const sInt invaders = PixelsOtherThan(Frame, clear);
  EXPECT_LT(nothing, W * H / 100);
  EXPECT_GT(invaders, W * H / 50);
}

TEST_F(InvadersRig, TargetsAreChosenWhileAnyRowHasOneAndMovesStartSettled)
{
  Start();
  M->SwitchScene(InvadersIndex);
  // before any move or shot event every placement is a number, even at song position 0
  Inv->MoveStart = Inv->MoveEnd = Inv->ShotStart = Inv->ShotEnd = sF32(Sync->Phase);
  Inv->Animate();
  EXPECT_TRUE(Finite(Inv->AimPoint) && Finite(Inv->ShipPosition) && Finite(Inv->ShotPoint));

  // more shots than the song makes: each marks a fresh invader until none is left
  std::set<std::pair<sInt, sInt>> shot;
  for(sInt i = 0; i < 40; i++)
  {
    Inv->OnEvent(107);
    shot.insert({Inv->TargetRow, Inv->TargetColumn});
    ASSERT_TRUE(Inv->NextColumn >= 0 && Inv->NextColumn < INVADER_COLUMNS && Inv->NextRow < 4);
  }
  EXPECT_EQ(shot.size(), 32u);
  for(auto &row : Inv->InvaderHit)
    for(sInt h : row) EXPECT_EQ(h, 1);
}

TEST_F(InvadersRig, ExitReturnsEveryModel)
{
  // the first runs settle what the machine keeps for the process (caches, statics); after
  // that a run gives back all it took. A block the SYNC machine's clock-driven retries
  // happen to hold at the end of one run (and give back in the next) is not a leak: a leak
  // shows in every run.
  sS64 taken[3];
  for(sS64 &t : taken)
  {
    const sS64 before = sAllocatedBytes.load();
    Start();
    for(sInt cycle = 0; cycle < 2; cycle++)
    {
      M->SwitchScene(InvadersIndex);
      for(sInt f = 0; f < 20; f++) Step();
      M->SwitchScene(0);
      Step();
    }
    Drop();
    t = sAllocatedBytes.load() - before;
  }
  EXPECT_LE(std::min(taken[1], taken[2]), 0);
}

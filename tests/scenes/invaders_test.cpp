// The Invaders scene in the rig: its whole song from every entry bar of the period, its
// cameras' pictures, what it draws, its choice of targets and its clean exit.
#include "show_rig.hpp"

#include "scenes/invaders.hpp"
#include "show/model.hpp"

#include <algorithm>
#include <cmath>
#include <set>

namespace
{
constexpr sInt InvadersIndex = 7;

struct InvadersRig : SceneRig<InvadersScene, InvadersIndex> { InvadersScene *&Inv = Tested; };
}

TEST_F(InvadersRig, TheWholeSongPlaysFromEveryEntryBarAndMovesTheShowOn)
{
  Start();
  Steps(4);
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
    sF32 nearest = 1000.0f;   // the grid's nearest approach to the ship in the first game
    for(sInt f = 0; f < 20 * 90; f++)
    {
      const sInt flash = Inv->FlashClock, start = Inv->StartPosition, flying = Inv->BulletActive;
      const sF32 grid = Inv->GridOffset.z, bullet = Inv->BulletPosition.z, move = Inv->MoveStart;
      Step();
      // the end of the song asks for the next scene: here that is the song again
      if(M->Current != InvadersIndex || Sync->Results.BarIndex[0] < lastBar) break;
      lastBar = Sync->Results.BarIndex[0];
      if(firstBar < 0) firstBar = lastBar;
      hits += Inv->FlashClock != flash;
      // through every period boundary the grid marches on until the game restarts, and a
      // bullet on its way never jumps back towards the ship before its hit
      if(f > 0 && Inv->StartPosition == start)
      {
        ASSERT_LE(Inv->GridOffset.z, grid + 1e-3f) << lastBar;
      }
      if(flying && Inv->BulletActive && Inv->MoveStart == move)
      {
        ASSERT_GT(Inv->BulletPosition.z, bullet - 1.0f) << lastBar;
      }
      if(lastBar < 34) nearest = std::min(nearest, Inv->GridOffset.z);
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
    EXPECT_LT(nearest, 70.0f - 3.0f * 30.0f);   // over three periods of the game's march
    EXPECT_LE(shown, 32);
    M->SwitchScene(0);
  }
}

TEST_F(InvadersRig, CamerasSeeTheGameAndItsFormsAreDrawn)
{
  Start();
  M->SwitchScene(InvadersIndex);
  Steps(20 * 6);   // the game is running, shots are on their way
  const sU32 clear = Inv->RenderEnv.FogColor;
  EXPECT_EQ(EachCamera(Inv, "invaders", "game", 6, 1, [&](const Picture &p) { return p.OtherThan(clear) > W * H / 10; }), 6);

  // each group alone, seen by the grid camera: invaders, then the floor and backdrop
  Inv->Variant = 3;
  for(auto &k : Inv->Invaders)
    for(auto &c : k)
      for(Model *m : c) m->SetLayerMask(m->LayerMask ? 2 : 0);
  Inv->LayerMask = 0;
  Step();
  EXPECT_LT(Shot().OtherThan(clear), W * H / 100);
  Inv->LayerMask = 2;
  Step();
  EXPECT_GT(Shot().OtherThan(clear), W * H / 50);
}

TEST_F(InvadersRig, TargetsAreChosenWhileAnyRowHasOneAndEveryGameMakesAllTargetsAgain)
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

  // a game as the song plays it, with its hits: each invader of the four rows is shot at
  // once, while it is shown. After a game, code 108 or a new visit starts one in which
  // every invader is a target again.
  auto game = [&](const char *after) {
    std::set<std::pair<sInt, sInt>> targets;
    for(sInt i = 0; i < 32; i++)
    {
      if(i % 8 == 7) Inv->OnEvent(106);
      Inv->OnEvent(107);
      const sInt row = Inv->TargetRow, column = Inv->TargetColumn;
      ASSERT_TRUE(row >= 0 && row < INVADER_ROWS) << after;
      EXPECT_TRUE(Inv->InvaderVisible[(row + Inv->RowOffset) % INVADER_KINDS][column]) << after << ", shot " << i;
      targets.insert({row, column});
      Inv->OnEvent(104);
    }
    EXPECT_EQ(targets.size(), 32u) << after;
  };
  // A visit also ends the moves and shots of the one before: a move and a shot begun just
  // before the switch (past the show's first bar) leave the ship at its goal and fly no shot.
  const std::pair<const char *, sBool> starts[] = {{"in the first game", 1}, {"after code 108", 0}, {"after a new visit", 1}};
  Sync->Update(1500);
  for(const auto &[after, visit] : starts)
  {
    if(visit)
    {
      Inv->OnEvent(103);
      Inv->OnEvent(107);
      M->SwitchScene(0);
      M->SwitchScene(InvadersIndex);
      Inv->ShotPoint = sVec3(0.0f, -1000.0f, 0.0f);
      Inv->Animate();
      EXPECT_NEAR(Inv->ShipPosition.x, Inv->ShipGoal.x, 1e-3f) << after;
      EXPECT_EQ(Inv->ShotPoint.y, -1000.0f) << after;
    }
    Inv->OnEvent(108);   // after a visit the song's first restart only starts the game
    game(after);
  }
}

TEST_F(InvadersRig, ExitReturnsEveryModel)
{
  ExpectExitsClean([&] {
    Start();
    for(sInt cycle = 0; cycle < 2; cycle++)
    {
      M->SwitchScene(InvadersIndex);
      Steps(20);
      M->SwitchScene(0);
      Step();
    }
  });
}

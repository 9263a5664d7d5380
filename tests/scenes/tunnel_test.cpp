// The Tunnel scene in the rig: visits in both groups of render modes with the two looks
// and pictures of every camera, what it draws, the track that stays whole, the wall
// lights that stay within their form, the tails, a tree without its models, and its
// clean exit.
#include "show_rig.hpp"

#include "common/temp_dir.hpp"
#include "graphics/shader.hpp"
#include "scenes/tunnel.hpp"
#include "show/forms.hpp"
#include "show/model.hpp"
#include "show/tmdata.hpp"

#include <cmath>

namespace
{
constexpr sInt TunnelIndex = 8;

class TunnelRig : public SceneRig<TunnelScene, TunnelIndex>
{
public:
  TunnelScene *&Tun = Tested;
  // Visits the tunnel from the blank scene, a frame away, with the pending transition given.
  void Visit(sInt pending) { ShowRig::Visit(TunnelIndex, pending, 0, 1); }
};
}

TEST_F(TunnelRig, VisitsAlternateTheLooksAndEveryCameraSeesTheTunnel)
{
  Start();
  for(sInt visit = 0; visit < 4; visit++)
  {
    SCOPED_TRACE(visit);
    const sInt pending = visit < 2 ? 2 : 0;   // the styled group, then the calm one
    Visit(pending);
    EXPECT_EQ(Tun->Variant, visit % 2);       // odd visits (the first among them) take the amber look
    Tun->EnterClock -= 10000;                 // past the tails' fade-in
    for(sInt v = 0; v < 4; v++)
    {
      Tun->Variant = v;
      Steps(2);
      ASSERT_TRUE(Finite(Tun->FlightPoint) && Finite(M->Scenes[TunnelIndex]->MainView->Camera.l));
      const Picture p(Keep("tunnel", "mode" + std::to_string(Tun->RenderMode) + "-look" + std::to_string(visit % 2) +
                                         "-variant" + std::to_string(v)));
      // in the styled group the segments fill much of the view (less where a camera looks
      // down a long straight); the calm one shows the tails only
      if(pending)
      {
        EXPECT_GT(p.OtherThan(Tun->RenderEnv.FogColor), W * H / 20);
      }
    }
    // the line strips' ramp scrolls by the bar: its offset stays within one and a half turns
    for(sInt row : Tun->LineMaterials)
    {
      ASSERT_GE(row, 0);
      const sF32 u = static_cast<ShaderMaterial3 *>(Tun->MaterialSet->Materials[row])->UvOffset[0];
      EXPECT_TRUE(u >= 0.0f && u <= 1.5f) << u;
    }
  }
}

// The segments' light maps light the whole tube, not a few lines of it: in the lavender
// palette (whose light-map colour is never black) the walls glow over most of the view of
// every camera.
TEST_F(TunnelRig, TheLightMapsLightTheTubesWalls)
{
  Start();
  Visit(2);
  for(sInt v = 0; v < 4; v++)
  {
    Tun->Variant = v;
    for(sInt f = 0; f < 2; f++)
    {
      for(TrackSegment &seg : Tun->Segments) seg.Palette = 0;
      for(TrackSegment &seg : Tun->Branches) seg.Palette = 0;
      Step();
    }
    const Picture p(Keep("tunnel", "walls-variant" + std::to_string(v)));
    EXPECT_GT(p.Count([](sU32 c) { return sBool(std::max({(c >> 16) & 255, (c >> 8) & 255, c & 255}) >= 10); }), W * H / 2) << v;
  }
}

TEST_F(TunnelRig, TheFirstSongPlaysToItsEndWhileTheTrackGrowsAhead)
{
  Record.FixedStepMs = 200;   // five frames a bar: the song's keys only pick cameras
  Start();
  Visit(0);
  Tun->LayerMask = 0;   // the flight only: nothing drawn makes the long run quick
  Step();
  sInt lastBar = -1, index = Tun->Segments[Tun->CurrentSegment].Index;
  for(sInt f = 0; f < 5 * 130; f++)
  {
    Step();
    if(M->Current != TunnelIndex || Sync->Results.BarIndex[0] < lastBar) break;
    lastBar = Sync->Results.BarIndex[0];
    const sInt now = Tun->Segments[Tun->CurrentSegment].Index;
    ASSERT_TRUE(now >= index && now <= index + 1) << now;   // segment by segment, never back
    index = now;
    ASSERT_TRUE(Finite(Tun->FlightPoint) && Finite(M->Scenes[TunnelIndex]->MainView->Camera.l));
  }
  EXPECT_EQ(lastBar, 119);
  EXPECT_GT(index, 40);
}

TEST_F(TunnelRig, ItsFormsAreDrawnAndNothingWithoutThem)
{
  Start();
  Visit(2);
  Tun->EnterClock -= 10000;
  for(sInt i = 0; i < SYNC_LEVELVALUES; i++) Sync->LevelTrack[i] = 65536;   // loud: thick tails
  Tun->Variant = 0;
  Step();
  const sU32 clear = Tun->RenderEnv.FogColor;
  const sInt all = Shot().OtherThan(clear);
  Tun->LayerMask = 0;   // no form shares a bit with it
  Step();
  const sInt none = Shot().OtherThan(clear);
  // the tails and heads alone: the segments are drawn in the styled modes only
  Tun->LayerMask = ~0u;
  Tun->RenderMode = 0;
  Step();
  const sInt tails = Picture(Keep("tunnel", "tails")).OtherThan(clear);
  // the walls fill most of the frame; where the clock-seeded track bends, the far end of a
  // curve shows the fog through a little over half of it
  EXPECT_GT(all, W * H / 4);
  EXPECT_EQ(none, 0);
  EXPECT_GT(tails, 20);
  EXPECT_LT(tails, all);
}

TEST_F(TunnelRig, TheTrackStaysWholeWhenAnOldSegmentComesNear)
{
  Start();
  Visit(2);
  for(sInt f = 0; f < 10; f++) Step();
  // a track that crossed itself: a segment six behind lies where the flight is
  const sInt cur = Tun->CurrentSegment, stale = (cur + 15) % TUNNEL_RING;
  TrackSegment ahead[10];
  for(sInt n = 0; n < 10; n++) ahead[n] = Tun->Segments[(cur + 1 + n) % TUNNEL_RING];
  Tun->Segments[stale].Centre = Tun->FlightPoint;
  Tun->UpdateSegments();
  EXPECT_NE(Tun->CurrentSegment, stale);
  for(sInt n = 0; n < 10; n++)
  {
    const TrackSegment &s = Tun->Segments[(cur + 1 + n) % TUNNEL_RING];
    EXPECT_EQ(s.Index, ahead[n].Index);
    EXPECT_EQ(s.Time, ahead[n].Time);
  }

  // a segment regenerated after a crossing starts at the crossing's side exit
  sInt cross = -1;
  for(sInt i = 0; i < TUNNEL_RING && cross < 0; i++)
    if(Tun->Segments[i].Kind == TUNNEL_CROSSING) cross = i;
  if(cross >= 0)
  {
    const TrackSegment c = Tun->Segments[cross];
    Tun->CurrentSegment = cross;
    Tun->FlightPoint = c.Centre;
    Tun->Segments[(cross + 1) % TUNNEL_RING].Index = -1;
    Tun->UpdateSegments();
    const TrackSegment &next = Tun->Segments[(cross + 1) % TUNNEL_RING];
    EXPECT_EQ(next.Index, c.Index + 1);
    EXPECT_EQ(next.HeadingIn, c.HeadingOut);
    EXPECT_NEAR(Distance(next.Centre, c.End), Tun->KindLength[next.Kind], 0.01f);
  }

  // a stretch of crossings asks for more camera keys than the path holds
  for(TrackSegment &s : Tun->Segments)
  {
    s.Kind = TUNNEL_CROSSING;
    s.Crossing = 1;
  }
  Tun->SampleTrack(0.0f);
  EXPECT_EQ(Tun->CameraPath.Count, 32);
  EXPECT_TRUE(Finite(Tun->FlightPoint));
}

TEST_F(TunnelRig, WallLightsBeyondTheFormAreLeftOutAndTooLongAKindIsFatal)
{
  Start();
  Visit(2);
  sInt counts[TUNNEL_KINDS];
  for(sInt k = 0; k < TUNNEL_KINDS; k++)
  {
    counts[k] = SceneTables[k].LightCount;
    SceneTables[k].LightCount = 1023;   // kinds of 63 units: 21 x 1023 lights
  }
  EXPECT_EQ(Tun->FillWallLights(), TUNNEL_WALL_LIGHTS);
  Step();
  for(sInt k = 0; k < TUNNEL_KINDS; k++) SceneTables[k].LightCount = counts[k];
  EXPECT_LT(Tun->FillWallLights(), TUNNEL_WALL_LIGHTS);
  EXPECT_EQ(Tun->WallLights->Points[TUNNEL_WALL_LIGHTS - 1].Size, 0.0f);
  EXPECT_DEATH(Tun->PlaceKindLights(0, 64.0f), "");
}

TEST_F(TunnelRig, TailsGrowWithTheirHeadsAndGoOnFromVisitToVisit)
{
  Start();
  Visit(2);
  Step();
  // the first visit's tails are laid from the origin, where Init left their way, to their
  // heads far down the track: a whole tail's length on that straight line
  for(sInt n = 0; n < TUNNEL_TAILS; n++)
  {
    // the head lies hundreds of units out, where the scene's quick unit vector and its sum
    // of steps are off by a few hundredths: measure in doubles and allow a thousandth
    auto dot = [](const sVec3 &a, const sVec3 &b) { return double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z; };
    const sVec3 head = Tun->Tails[n].History[4];
    const double dist = std::sqrt(dot(head, head));
    sF32 reach = 0.0f;
    for(const sMat3x4 &m : Tun->Tails[n].Rings)
    {
      // by Pythagoras, the square of the ring's distance from the line
      const double along = dot(m.l, head) / dist;
      ASSERT_LT(dot(m.l, m.l) - along * along, 0.2 * 0.2) << n;
      ASSERT_TRUE(along > 0.0 && along <= dist * 1.001) << n << ": " << along << " of " << dist;
      reach = std::max(reach, Distance(m.l, head));
    }
    EXPECT_GT(reach, 0.6f * (TUNNEL_TAIL_RINGS - 2)) << n;
  }
  ASSERT_GT(Distance(Tun->HeadPositions[0], sVec3(0, 0, 0)), 100.0f);
  TunnelTail &tail = Tun->Tails[0];
  const sVec3 head = tail.History[4];
  const sInt index = tail.RingIndex;
  tail.Update(head, 0, 0, 0.0f);
  EXPECT_EQ(tail.RingIndex, index);   // a head that stands still lays no ring
  sVec3 moved[TUNNEL_TAIL_RINGS];
  for(sInt i = 0; i < TUNNEL_TAIL_RINGS; i++) moved[i] = tail.Rings[i].l;
  tail.Update(head + sVec3(6.0f, 0, 0), 0, 0, 0.0f);
  sInt laid = 0;
  for(sInt i = 0; i < TUNNEL_TAIL_RINGS; i++) laid += sDot(tail.Rings[i].l - moved[i], tail.Rings[i].l - moved[i]) > 0.0f;
  EXPECT_NEAR(laid, 10, 1);   // a ring every 0.6 units

  // a later visit goes on from where the tails were: their way reaches back to the last heads
  sVec3 last[TUNNEL_TAILS];
  for(sInt n = 0; n < TUNNEL_TAILS; n++) last[n] = Tun->Tails[n].History[4];
  Visit(2);
  Step();
  for(sInt n = 0; n < TUNNEL_TAILS; n++) EXPECT_LT(Distance(Tun->Tails[n].History[3], last[n]), 1e-4f) << n;

  // the heads stand off further on ordinary segments and nearer on kinds 1 and 4, a tenth
  // a frame between 4 and 6, and follow that distance smoothly
  struct Case
  {
    sInt Kind;
    sF32 From, To;
  } cases[] = {{0, 5.0f, 5.1f}, {2, 5.0f, 5.1f}, {3, 5.0f, 5.1f}, {1, 5.0f, 4.9f}, {4, 5.0f, 4.9f}, {0, 6.0f, 6.0f}, {4, 4.0f, 4.0f}};
  for(const Case &c : cases)
  {
    Tun->Segments[Tun->CurrentSegment].Kind = c.Kind;
    Tun->HeadDistance = Tun->HeadSmooth = c.From;
    Step();
    EXPECT_FLOAT_EQ(Tun->HeadDistance, c.To) << "kind " << c.Kind << " from " << c.From;
    EXPECT_NEAR(Tun->HeadSmooth, c.From * 0.95f + c.To * 0.05f, 1e-5f) << "kind " << c.Kind << " from " << c.From;
  }
}

// Whatever the frame time, a tail holds a ring every 0.6 units of its head's way, from the
// head back: at a display's 16 ms and at 50 ms, in both looks (the second look's heads
// move less than 0.6 units in 16 ms). The rings of a visit's first frames are left out:
// they follow the way to where the heads were before. A frame's rings follow the heads'
// way of the last frames, so where the way bends (at a crossing) those of two frames lie
// a little more or less than 0.6 apart.
TEST_F(TunnelRig, TailsHoldARingEveryFewTenthsOfTheirWayAtAnyFrameTime)
{
  for(sInt ms : {16, 50})
    for(sInt look : {0, 1})
    {
      Record.FixedStepMs = ms;
      Start();
      Tun->EnterCount = look;   // the visit's Enter counts on to the look's parity
      Visit(2);
      ASSERT_EQ(Tun->EnterCount % 2, 1 - look);
      Steps(5);
      sInt settled[TUNNEL_TAILS];
      for(sInt n = 0; n < TUNNEL_TAILS; n++) settled[n] = Tun->Tails[n].RingIndex;
      Steps(2000 / ms);
      const std::string name = "tails-" + std::to_string(ms) + (look ? "ms-even" : "ms-odd");
      EXPECT_GT(Picture(Keep("tunnel", name)).OtherThan(0xff000000), 0) << name;
      for(sInt n = 0; n < TUNNEL_TAILS; n++)
      {
        const TunnelTail &t = Tun->Tails[n];
        const sVec3 head = t.History[4];
        sF32 before = Distance(t.Rings[t.RingIndex].l, head);
        EXPECT_LT(before, 0.65f) << name << " tail " << n;
        const sInt laid = (settled[n] - t.RingIndex + TUNNEL_TAIL_RINGS) % TUNNEL_TAIL_RINGS;
        EXPECT_GT(laid, 30) << name << " tail " << n;
        sF32 gaps = 0.0f;
        for(sInt i = 1; i < laid; i++)
        {
          const sVec3 &ring = t.Rings[(t.RingIndex + i) % TUNNEL_TAIL_RINGS].l;
          const sF32 gap = Distance(ring, t.Rings[(t.RingIndex + i - 1) % TUNNEL_TAIL_RINGS].l);
          const sF32 from = Distance(ring, head);
          if(std::abs(gap - 0.6f) > 0.3f || from <= before)
          {
            ADD_FAILURE() << name << " tail " << n << " ring " << i << ": " << gap << " from the last, " << from << " from the head";
            break;
          }
          gaps += gap;
          before = from;
        }
        EXPECT_NEAR(gaps / sF32(laid - 1), 0.6f, 0.02f) << name << " tail " << n;
      }
      Drop();
    }
}

TEST_F(TunnelRig, WithoutItsModelsTheFlightStillMoves)
{
  // the data tree without the tunnel's folder: every kind takes the default length
  sparktest::TempDir tree;
  for(const auto &entry : std::filesystem::directory_iterator(TWDATA_DIR))
    if(entry.path().filename() != "tunnel")
      std::filesystem::create_symlink(entry.path(), tree.Path + "/" + entry.path().filename().string());
  ASSERT_EQ(chdir(tree.Path.c_str()), 0);
  Start();
  Visit(2);
  for(sF32 l : Tun->KindLength) EXPECT_EQ(l, 32.0f);
  Step();
  const sVec3 before = Tun->FlightPoint;
  Steps(5);
  EXPECT_TRUE(Finite(Tun->FlightPoint));
  EXPECT_GT(sDot(Tun->FlightPoint - before, Tun->FlightPoint - before), 1.0f);
  Drop();
  ASSERT_EQ(chdir(TWDATA_DIR), 0);
}

TEST_F(TunnelRig, ExitReturnsEveryModelAndForm)
{
  ExpectExitsClean([&] {
    Start();
    for(sInt pending : {0, 2}) Visit(pending), Steps(3);
  });
}

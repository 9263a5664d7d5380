// The LED1 scene in the rig: every formation's forms reach the screen in both cameras
// (pictures kept) in the colours a strong bass drives, a bad selection number, trails the object list leaves alone, particle forms
// alive from the start, trails at their width from the first frame, forms that stay in their
// space, the time reversal, and a clean exit after visits in both transition-mode groups.
#include "show_rig.hpp"

#include "scenes/led1.hpp"
#include "show/forms.hpp"
#include "show/procforms.hpp"

#include <algorithm>
#include <cmath>

namespace
{
constexpr sInt Led1Index = 12;

class Led1Rig : public SceneRig<Led1Scene, Led1Index>
{
public:
  Led1Scene *&Led = Tested;
  const SyncPattern *Silence[2] = {&sEmptyPattern, nullptr};
  // Enters the formation with the transition given; its list is then replaced by silence
  // when asked, so the variant stays the test's.
  void EnterFormation(sInt number, sInt pending = 0, sBool quiet = 1)
  {
    M->SwitchScene(0);
    M->PendingTransition = pending;
    Led->OptionIndex = number;
    M->SwitchScene(Led1Index);
    if(quiet) Sync->SetPatternTable(0, Silence);
  }
  // Mean distance of a trail ring's vertices from their centre.
  static sF32 RingRadius(const Led1Strand &s, sInt ring)
  {
    const MeshVertex *v = s.Trail->Vertices + ring * LED1_RINGPOINTS;
    sVec3 c(0, 0, 0);
    for(sInt k = 0; k < LED1_RINGPOINTS; k++) c += v[k].Pos * (1.0f / sF32(LED1_RINGPOINTS));
    sF32 r = 0.0f;
    for(sInt k = 0; k < LED1_RINGPOINTS; k++) r += std::sqrt(sDot(v[k].Pos - c, v[k].Pos - c)) / sF32(LED1_RINGPOINTS);
    return r;
  }
};
}

TEST_F(Led1Rig, EveryFormationDrawsItsFormsInBothCameras)
{
  Start();
  // the music's low band stands high: the first point cloud glows with it
  sShowPlugins.UpdateSync = [](SyncMachine *s, sInt ms) {
    s->Update(ms);
    s->BandEnergy[0] = 20.0f;
  };
  // the colours the bass mixes with a weight of 2: the blend runs on past its far colour,
  // each channel capped
  const struct
  {
    sInt Formation, Set, Colour;   // colour -1: the set's ambient
    sU32 Lit;
  } bass[] = {{3, 0, 1, 0x8060E0}, {4, 3, 0, 0xFFFF0000}, {7, 0, 0, 0xB81008}, {8, 0, -1, 0x00FF00}, {11, 0, 1, 0x806060}};
  for(sInt f = 0; f < LED1_FORMATIONS; f++)
    for(sInt v = 0; v < 2; v++)
    {
      SCOPED_TRACE(testing::Message() << "formation " << f << " variant " << v);
      EnterFormation(f, v ? 2 : 0);
      ASSERT_EQ(Led->OptionIndex, f);
      Led->timeOffset = 20000;   // the cameras at the same time of their paths in every run
      Led->Variant = v;
      // the frame without the scene's forms, then with them
      Led->LayerMask = 0;
      Step();
      const Picture bare = Shot();
      Led->LayerMask = ~0u;
      Steps(f == 12 ? 12 : 2);   // the emitters start empty and lay one particle a frame
      EXPECT_GT(bare.Changed(Picture(Keep("led1", "formation" + std::to_string(f) + "-variant" + std::to_string(v)))),
                W * H / 200);
      for(const auto &b : bass)
        if(b.Formation == f)
        {
          const LightSet *l = Led->MaterialSet->LightSets[b.Set];
          EXPECT_EQ(b.Colour < 0 ? l->Ambient : l->Colors[b.Colour], b.Lit);
        }
    }
}

TEST_F(Led1Rig, SelectionNumbersOutsideTheFormationsPickOne)
{
  Start();
  for(sInt number : {13, 19, -1})
  {
    EnterFormation(number);
    EXPECT_TRUE(Led->OptionIndex >= 0 && Led->OptionIndex < LED1_FORMATIONS) << number;
  }
  // the number is read every frame: one above 12 written after Enter leaves the camera and
  // the animation where they were
  EnterFormation(0);
  Step();
  Led->OptionIndex = 15;
  const sMat3x4 camera = Led->MainView->Camera;
  const sF32 before = Led->glowPoints->Points[0].Pos.x;
  Led->timeOffset += 5000;
  Steps(2);
  EXPECT_EQ(Led->glowPoints->Points[0].Pos.x, before);
  EXPECT_EQ(Led->MainView->Camera.l.x, camera.l.x);
  Led->OptionIndex = 0;
  Step();
  EXPECT_NE(Led->glowPoints->Points[0].Pos.x, before);
}

TEST_F(Led1Rig, TrailsAreTheStrandsOwnAndParticlesLive)
{
  Start();
  // the trails are the strands' own: the object list never frees them
  for(sInt i = 0; i < Led->ObjectCount; i++)
    for(const auto &bank : Led->strands)
      for(const Led1Strand &s : bank) EXPECT_NE(Led->Objects[i], s.Trail);
  // the particle forms of the snakes, spark rows, bursts and dust are drawn from their Enter on
  for(sInt f : {1, 6, 8, 10})
  {
    EnterFormation(f);
    Steps(3);
    Form *forms[8];
    const sInt n = Led->FormationForms(f, forms);
    for(sInt i = 0; i < n; i++)
    {
      const ParticleForm *p = dynamic_cast<ParticleForm *>(forms[i]);
      if(p) { EXPECT_LT(p->Age, 10000) << f; }
    }
  }
}

// A trail stands at its width from the first frame of every visit, thinning to its end:
// ring j of the widest bank at 0.8 (1 - (j - 2 d) / 29), d the way walked towards the next.
TEST_F(Led1Rig, TrailsStandAtTheirWidthFromTheFirstFrame)
{
  Start();
  for(sInt visit = 0; visit < 2; visit++)
  {
    EnterFormation(4);
    EXPECT_EQ(Led->trailStart, 0);
    Led->LayerMask = 0;   // quick frames: nothing drawn
    Step();
    const Led1Strand &s = Led->strands[0][5];
    for(sInt ring : {2, 10, 29})
      EXPECT_NEAR(RingRadius(s, ring), 0.8f * (1.0f - (sF32(ring) - 2.0f * s.Walked) / 29.0f), 0.02f) << visit << " " << ring;
    EXPECT_NEAR(RingRadius(s, 1), 0.0f, 1e-4f);
    Steps(10);
    Led->LayerMask = ~0u;
  }
}

TEST_F(Led1Rig, MovingFormsStayInTheirSpace)
{
  Start();
  auto outside = [](const sVec3 &b, sF32 inner) { return !(std::fabs(b.x) < inner && std::fabs(b.y) < inner); };
  for(sInt f : {5, 8, 9})
  {
    EnterFormation(f);
    Led->OnEvent(106);
    for(sInt i = 0; i < 1200; i++) Led->Render(0, Led->MainView);   // every box has wrapped
    for(const sVec3 &b : Led->boxPosition) EXPECT_TRUE(std::fabs(b.z) <= 256.0f && outside(b, 8.0f));
    for(const sVec3 &b : Led->smallBoxPosition) EXPECT_TRUE(std::fabs(b.z) <= 256.0f && outside(b, 16.0f));
    if(f == 5)
    {
      // a box past the far end starts again at the near end
      Led->boxPosition[0].z = 255.5f;
      Led->Render(0, Led->MainView);
      EXPECT_EQ(Led->boxPosition[0].z, -256.0f);
    }
    for(const ParticleForm *burst : Led->sparkBursts)
      for(sInt i = 0; i < burst->Count; i++)
      {
        const sVec3 &p = burst->Particles[i].Position;
        ASSERT_TRUE(std::fabs(p.x) <= 512.0f && std::fabs(p.y) <= 512.0f && std::fabs(p.z) <= 512.0f) << f;
      }
    for(const sVec3 &a : Led->anchors) EXPECT_TRUE(a.z >= -500.0f && a.z <= 500.0f);
  }
}

TEST_F(Led1Rig, TheJoltRunsTimeBackwardsOnlyInHighPresets)
{
  Start();
  EnterFormation(0);
  const struct
  {
    sInt Preset, Step;
  } cases[] = {{0, 10}, {2, 10}, {3, -10}};
  for(const auto &c : cases)
  {
    Led->timeStep = 10;
    Sync->ColorPreset = c.Preset;
    Led->OnEvent(107);
    EXPECT_EQ(Led->timeStep, c.Step) << c.Preset;
  }
}

TEST_F(Led1Rig, VisitsInBothModeGroupsEndWithoutLeaks)
{
  ExpectExitsClean([&] {
    Start();
    for(sInt f : {4, 12, 10, 4})
      for(sInt pending : {0, 2})
      {
        EnterFormation(f, pending, 0);
        EXPECT_EQ(Led->RenderMode, pending ? 3 : 0);
        Steps(3);
      }
  });
}

// The Transformer scene in a running machine: its visits in every transition mode, the
// pictures of its cameras, its lit floor with a group on it, and what it does
// where the plain reading of its rules breaks (a model without meshes, point colours out
// of the blend's range, a freeze key lost between two bars, three groups seeded alike, a
// part whose centre is on the floor).
#include "show_rig.hpp"

#include "graphics/shader.hpp"
#include "scenes/transformer.hpp"
#include "show/forms.hpp"
#include "show/model.hpp"
#include "show/tmdata.hpp"

#include <cmath>

namespace
{
// The Transformer with a camera that can be held straight above the centre of the floor.
class HeldTransformer : public TransformerScene
{
public:
  sBool Above = 0;
  sU32 Layers = 15;
  void Camera(sInt variant, sViewport *view) override
  {
    TransformerScene::Camera(variant, view);
    if(!Above) return;
    PlaceCamera(this, view, sVec3(0.0f, 0.0f, 0.0f), sVec3(0.0f, 70.0f, -20.0f), 1.6f);
    LayerMask = Layers;
    for(TransformerSlot &s : Slots) s.Mode = 0;
  }
};

sInt Lit(sU32 c) { return Picture::Luma(c) > 30; }
}

TEST_F(ShowRig, TransformerVisitsCamerasAndFloor)
{
  HeldTransformer *t = sNEW HeldTransformer;
  // few parts: every part casts its shadow for each of the three lights, which the
  // software renderer of the tests pays for by the screen
  const sInt parts[3] = {12, 3, 3};
  for(sInt g = 0; g < 3; g++) t->TransformerModels[g].Parts = parts[g];
  Build({{0, t}, {1, sNEW BlankScene}});
  for(sInt g = 0; g < 3; g++)
  {
    EXPECT_EQ(t->Slots[g].PartCount, parts[g]);
    // the stand-in machine parts: centred on their origins, about a unit in size, above
    // the floor's clamp, and naming the eight part materials
    const Model *m = t->Slots[g].Source;
    ASSERT_GE(m->MeshCount, 8);
    for(sInt i = 0; i < m->MeshCount; i++)
    {
      sVec3 lo, hi;
      m->Meshes[i]->GetBounds(lo, hi);
      for(sF32 c : {lo.x + hi.x, lo.y + hi.y, lo.z + hi.z}) EXPECT_NEAR(c, 0.0f, 1e-4f) << g << " " << i;
      for(sF32 e : {hi.x, hi.y, hi.z}) EXPECT_TRUE(e > 0.1f && e < 1.2f) << g << " " << i;
      EXPECT_TRUE(m->Meshes[i]->MaterialIndex >= 0 && m->Meshes[i]->MaterialIndex < 8);
    }
  }
  // each part's size is drawn within its row's range
  for(sInt g = 0; g < 3; g++)
    for(sInt i = 0; i < parts[g]; i++)
    {
      const TransformerModelRow &row = t->TransformerModels[g];
      const sF32 r = t->Slots[g].Parts[i].Radius;
      EXPECT_TRUE(r >= row.RadiusBase && r < row.RadiusBase + row.RadiusRange) << g << " " << i;
    }

  // Enter picks the variant of its list alone: what the 's' key restores stays the
  // machine's, the variant of the last variant key
  for(const auto &[pending, variant] : {std::pair{4, 1}, {1, 6}})
  {
    t->BaseVariant = 9;
    Visit(0, pending, 1);
    EXPECT_EQ(t->Variant, variant);
    EXPECT_EQ(t->BaseVariant, 9);
  }
  // the glow passes: the plain one samples the parts' image with the default sampler, the
  // overlay and the pulse clamp it
  EXPECT_EQ(t->PassPlain->S.TextureFlags[0], 0u);
  EXPECT_TRUE(t->PassOverlay->S.TextureFlags[0] == 0x11000010u && t->PassPulse->S.TextureFlags[0] == 0x11000010u);
  // the styled visit last: its floor light is the brighter one
  VisitInModes(*this, {4, 1, 2}, 1, [&](sInt mode) {
    EXPECT_EQ(Sync->Tables[0], mode == 4 ? TransformerShortTable() : TransformerShowTable());
    EXPECT_EQ(t->Floor->MaterialIndex, mode == 1 || mode == 4 ? 0 : 1) << mode;
    for(sInt g = 0; g < 3; g++)
      for(sInt i = 0; i < t->Slots[g].PartCount; i++)
      {
        // every part stays above the floor plane, whatever its mode
        const sMat3x4 &m = t->Slots[g].Parts[i].Form->Matrix;
        EXPECT_GE(m.l.y - std::sqrt(sDot(m.j, m.j)) * t->Slots[g].Parts[i].MaxCorner.y, -0.01f);
      }
  });

  // every camera, with the floor faded in: the nineteen of the styled modes, the groups
  // shown from the start (the layers a camera leaves alone stay as the last one set them),
  // then the four of mode 4
  t->EnterClock = Sync->PublishedClock - 20000;
  t->LayerMask = 15;
  for(sInt mode : {3, 4})
  {
    t->RenderMode = mode;
    const sInt cameras = mode == 4 ? 4 : 19;
    EXPECT_EQ(EachCamera(t, "transformer", "mode" + std::to_string(mode), cameras, 1,
                         [](const Picture &p) { return p.Count(Lit) > W * H / 20; }),
              cameras);
  }

  // the floor under the first group seen from above, its light faded in, without the glow
  // passes (the parts show only in the floor's mirror, which the lit floor covers): once
  // with the groups' layers, whose parts cast their shadows, once without them
  t->Above = 1;
  sTexture2D *glow = t->GlowTarget;
  t->GlowTarget = nullptr;
  for(sInt g : {1, 2}) t->Slots[g].Position = sVec3(g == 1 ? 900.0f : -900.0f, 8.0f, 0.0f);
  for(sU32 layers : {15u, 1u})
  {
    t->Layers = layers;
    Step();
    EXPECT_GT(Picture(Keep("transformer", layers == 1 ? "floor-empty" : "floor-standing")).Count(Lit, 0.3f, 0.3f, 0.7f, 0.7f),
              W * H * 4 / 100) << layers;
  }
  const Picture standing(PictureFolder("transformer") + "/floor-standing.bmp"), empty = Shot();
  // the shadows darken the floor around the group and nowhere brighten it: pixels whose
  // brightness changed beyond the bounds
  auto beyond = [&](sInt below, sInt above) {
    return standing.Count([&](sU32 c, sInt x, sInt y) {
      const sInt d = Picture::Luma(c) - Picture::Luma(empty.At(x, y));
      return d < below || d > above;
    }, 0.25f, 0.25f, 0.75f, 0.75f);
  };
  EXPECT_GT(beyond(-15, 1000), W * H / 400);
  EXPECT_LT(beyond(-1000, 30), W * H / 1000);
  // a shadow of strength 0 leaves the floor as the empty one
  ASSERT_NE(t->Floor->Shadow, nullptr);
  const sF32 strength = t->Floor->Shadow->Strength;
  t->Floor->Shadow->Strength = 0.0f;
  t->Layers = 15;
  Step();
  const Picture weightless(Keep("transformer", "floor-strength0"));
  t->Floor->Shadow->Strength = strength;
  EXPECT_LT(weightless.Count([&](sU32 c, sInt x, sInt y) { return Picture::Luma(c) < Picture::Luma(empty.At(x, y)) - 15; },
                             0.25f, 0.25f, 0.75f, 0.75f),
            W * H / 1000);
  t->GlowTarget = glow;
}

TEST_F(ShowRig, TransformerWithoutMeshesKeepsItsGroupEmpty)
{
  TransformerScene *t = sNEW TransformerScene;
  t->TransformerModels[1].File = u"no_such_model.dae";
  t->TransformerModels[0].Parts = t->TransformerModels[2].Parts = 2;
  Build({{0, t}, {1, sNEW BlankScene}});
  EXPECT_EQ(t->Slots[1].PartCount, 0);
  EXPECT_EQ(t->Slots[0].PartCount, 2);
  for(sInt v : {7, 12})   // cameras and modes that name the empty group
  {
    t->Variant = v;
    t->OnEvent(106);
    t->OnEvent(107);
    Step();
  }
  EXPECT_EQ(t->Slots[1].LeadPosition.x, t->TransformerModels[1].Position.x);
}

TEST(Transformer, PointColoursStayBetweenTheirGreys)
{
  // the blend weight of the formula reaches -1.7..3.25; the colours must stay between the
  // dark and the light grey, darkened at most to black, with full alpha
  for(sF64 clock : {0.0, 12345.0, 3.6e6, 2.0e9})
    for(sF32 pulse : {0.0f, 0.5f, 1.0f})
      for(sInt r = 0; r < 64; r += 9)
        for(sInt j = 0; j < 256; j += 5)
        {
          const sU32 c = TransformerScene::PointColour(r, j, clock, pulse);
          ASSERT_EQ(c >> 24, 0xFFu);
          ASSERT_LE((c >> 16) & 255, 0x74u);
          ASSERT_LE((c >> 8) & 255, 0x70u);
          ASSERT_LE(c & 255, 0x73u);
        }
}

TEST(Transformer, FloorClampKeepsPartsAboveTheFloor)
{
  sMat3x4 down;
  down.EulerXYZ(sScenePi, 0.0f, 0.0f);   // the part's top turned downwards
  const struct
  {
    sF32 Y, Want;
  } cases[] = {{10.0f, 10.0f / 13.0f}, {0.0f, 0.0f}, {-2.0f, 0.0f}};
  for(const auto &c : cases)
  {
    const sF32 s = TransformerScene::FloorClamp(1.0f, 3.0f, down, sVec3(0.0f, c.Y, 0.0f));
    EXPECT_NEAR(s, c.Want, 1e-5f) << c.Y;
  }
  sMat3x4 up;
  EXPECT_EQ(TransformerScene::FloorClamp(2.0f, 3.0f, up, sVec3(0.0f, 0.0f, 0.0f)), 2.0f);
}

TEST_F(ShowRig, TransformerFreezeEndsWithItsPairEvenWhenAKeyIsLost)
{
  SyncPatternTable show = TransformerShowTable();
  TransformerScene *t = sNEW TransformerScene;
  Build({{0, t}, {1, sNEW BlankScene}});
  InstallPatterns(Sync, 0, show);
  sViewport view;
  auto at = [&](sInt bar) {
    Sync->BarIndex[0] = bar;
    t->Render(0, &view);
    return Sync->Freeze;
  };
  // the second key of the pair at bars 92 and 93 fell between two bars: the freeze ends
  // with bar 93 all the same
  at(91);
  Sync->Freeze = 1;
  EXPECT_EQ(at(92), 1);
  EXPECT_EQ(at(93), 1);
  EXPECT_EQ(at(94), 0);
  // the first key of the pair at 96 and 97 was lost: the second began a freeze, which
  // lasts no longer than its bar
  EXPECT_EQ(at(96), 0);
  Sync->Freeze = 1;
  EXPECT_EQ(at(97), 1);
  EXPECT_EQ(at(98), 0);
  // away from the pairs a freeze is left to whoever began it
  Sync->Freeze = 1;
  EXPECT_EQ(at(99), 1);
  EXPECT_EQ(at(100), 1);
  Sync->Freeze = 0;
}


// In mode 4 the first three cameras are placed by the look-at and then rolled about the
// world's z axis as a whole, eye included: checked against the cameras in plain maths.
TEST_F(ShowRig, TransformerCalmCamerasRollAfterTheLookAt)
{
  SyncMachine sync(128.0f);
  TransformerScene *t = sNEW TransformerScene;
  t->SyncSource = &sync;
  t->DisplayWidth = W, t->DisplayHeight = H;
  t->RenderMode = 4;
  t->TimeOffset = 4321;
  sync.PublishedClock = 2000000;
  sync.Results.Bar8Phase = 0.3f;
  const sF64 T = 0.0001 * 2004321.0;
  const sF32 e = -0.2f;
  const struct
  {
    sVec3 Pos, Target;
    sF64 Roll;
  } cases[] = {{{e * 60, 2, 37}, {e * 60, 14, -10}, 0.03 * (std::sin(0.79 * T) + std::sin(0.97 * T))},
               {{e * 100, 300, 760}, {e * 10, 300, 0}, 0.1 * (std::sin(0.71 * T) + std::sin(0.47 * T))},
               {{e * 100, -220, 320}, {e * 10, 150, 0}, 0.3 * (std::sin(0.71 * T) + std::sin(0.91 * T))}};
  sViewport view;
  for(sInt v = 1; v <= 3; v++)
  {
    sMat3x4 want, roll;
    want.LookAt(cases[v - 1].Target, cases[v - 1].Pos);
    roll.EulerXYZ(0.0f, 0.0f, sF32(cases[v - 1].Roll));
    want = want * roll;
    t->Camera(v, &view);
    for(const sF32 gap : {Distance(view.Camera.i, want.i), Distance(view.Camera.j, want.j), Distance(view.Camera.k, want.k),
                          0.01f * Distance(view.Camera.l, want.l)})
      EXPECT_LT(gap, 1e-3f) << v;
  }
  sDELETE(t);
}

TEST(Transformer, PointColoursOfAFrameAreTheFormulasGreys)
{
  // the greys worked out for a whole frame at once are the formula's, point by point, also
  // far into a show where the angles are large
  static sU32 frame[64 * 256];
  for(sF64 clock : {0.0, 12345.0, 777777.0, 3.6e6, 2.0e9})
    for(sF32 pulse : {0.0f, 0.37f, 1.0f})
    {
      TransformerScene::PointColours(frame, clock, pulse);
      for(sInt i = 0; i < 64 * 256; i++)
        ASSERT_EQ(frame[i], TransformerScene::PointColour(i / 256, i % 256, clock, pulse))
          << "ring " << i / 256 << " point " << i % 256 << " clock " << clock << " pulse " << pulse;
    }
}

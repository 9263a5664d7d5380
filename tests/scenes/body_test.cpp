// The Body scene in a running machine: its visits in every transition mode with the
// pictures of its cameras, nested shells, the beat steps of the styled modes, and the
// plain look that every visit starts from.
#include "show_rig.hpp"

#include "scenes/body.hpp"
#include "show/forms.hpp"

#include <cmath>

namespace
{
sInt Lit(sU32 c) { return Picture::Luma(c) > 60; }
// All three channels at their top.
sInt Burnt(sU32 c) { return (c & 0xF0F0F0) == 0xF0F0F0; }

sF32 Reach(const SuperShapeParams &p, sF32 theta, sF32 phi)
{
  const sVec3 v = EvalSuperShape(p, theta, phi);
  return std::sqrt(sDot(v, v));
}
}

TEST_F(ShowRig, BodyVisitsCamerasAndNestedShells)
{
  BodyScene *body = sNEW BodyScene;
  Build({{0, body}, {1, sNEW BlankScene}});
  // Enter picks the variant alone; what the 's' key restores stays the machine's
  body->BaseVariant = 9;
  Visit(0, 2, 1);
  EXPECT_TRUE(body->Variant == 2 && body->BaseVariant == 9);
  EXPECT_EQ(StepsBeyondPictures<BodyScene>(), 0);   // the loader counts the pictures alone
  VisitInModes(*this, {0, 1, 0, 4}, 1, [&](sInt mode) {
    EXPECT_EQ(Sync->Tables[0], mode ? BodyShowTable() : BodyShortTable());
    EXPECT_TRUE(body->ShellRow == 1 || body->ShellRow == 2);
  });

  // in every direction each shell of a group lies inside the next larger one
  for(sInt group = 0; group < 2; group++)
    for(sF32 theta = -3.0f; theta < 3.1f; theta += 0.5f)
      for(sF32 phi = -1.4f; phi < 1.5f; phi += 0.35f)
        for(sInt e = 0; e + 1 < 16; e++)
        {
          // shell n of group 1 holds entry 15 - n, of group 2 entry n
          const sInt inner = group ? 16 + e : 15 - e, outer = group ? 17 + e : 14 - e;
          ASSERT_LT(Reach(body->Shells[inner]->ShapeParams, theta, phi), Reach(body->Shells[outer]->ShapeParams, theta, phi))
              << group << " " << e << " " << theta << " " << phi;
        }

  // every camera in a calm visit (the plain shells) and in a visit of mode 4 (the additive
  // ones); a flight may pass through the dark, or close by a white shell in its lights, but
  // neither look burns out to white in most cameras
  for(sInt pending : {0, 4})
  {
    // the scene seeds its draws and time offset from the clock: fixed here, so the count
    // below is the same picture's at every run
    body->Random.Seed(7);
    Visit(0, pending, 1);
    body->Random.Seed(7);
    body->TimeOffset = 4321;
    const sInt mode = body->RenderMode;
    sInt burnt = 0;
    const sInt seen = EachCamera(body, "body", "mode" + std::to_string(mode), 10, 1, [&](const Picture &p) {
      burnt += p.Count(Burnt);
      return p.Count(Lit) > W * H / 50;
    });
    EXPECT_GE(seen, 8) << mode;
    EXPECT_LT(burnt, 2 * W * H) << mode;
  }
}

TEST_F(ShowRig, BodyStepsOnTheBeatAndStartsEachVisitPlain)
{
  BodyScene *body = sNEW BodyScene;
  Build({{0, body}, {1, sNEW BlankScene}});
  // a styled visit with the brightest preset: the shells take the additive look
  Sync->SelectColorPreset(3);
  Visit(0, 1, 1);
  ASSERT_EQ(body->RenderMode, 1);
  Step();
  for(sInt n = 0; n < BODY_SHELLS; n++) EXPECT_EQ(body->Shells[n]->ShapeParams.SuperWordD, 1.0f);
  // every fourth 108 starts a new order of the four steps, each step once
  for(sInt e = 0; e < 4; e++) body->OnEvent(108);
  EXPECT_EQ(body->StepCounter, 0);
  sInt seen = 0;
  for(sInt s : body->StepOrder) seen |= 1 << s;
  EXPECT_EQ(seen, 15);

  // a calm visit afterwards: the plain look, and 108 moves nothing
  Visit(0, 0, 1);
  ASSERT_EQ(body->RenderMode, 0);
  body->OnEvent(108);
  Step();
  EXPECT_EQ(body->StepCounter, 0);
  for(sInt n = 0; n < BODY_SHELLS; n++) EXPECT_EQ(body->Shells[n]->ShapeParams.SuperWordD, 0.0f);
}

// The Lava scene in the rig: its neighbour lists against the full sort, the pull of event
// 106 and when it is refused, its cameras' pictures in every look, the blobs drawn by both
// passes with the white field read back from the lava target, and its clean exit.
#include "show_rig.hpp"

#include "scenes/lava.hpp"
#include "graphics/shader.hpp"
#include "show/procforms.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

namespace
{
constexpr sInt LavaIndex = 11;

class LavaRig : public SceneRig<LavaScene, LavaIndex>
{
public:
  LavaScene *&Lava = Tested;
  // Switches to the lamp with the transition giving the render mode; with `quiet` its list
  // is swapped for one without keys, so the camera stays the test's.
  void EnterWithMode(sInt mode, sBool quiet = 0)
  {
    static const PatternList<64, 1> silence{std::vector<PatternKey>{}};
    Visit(LavaIndex, Pending(mode));
    ASSERT_EQ(Lava->RenderMode, mode);
    if(quiet) InstallPatterns(Sync, 0, silence.Table());
  }
  // The lava target (one half-float channel) as the last frame's white pass left it.
  std::vector<sF32> WhiteField()
  {
    sTexture2D *t = Lava->LavaTarget;
    std::vector<sF32> field;
    if(!sRender3DBegin()) return field;
    sSetTarget(sRenderTargetSpec(sRTF_NO_MULTISAMPLE, 0, nullptr, t, nullptr));
    const sU8 *data = nullptr;
    sInt pitch = 0, format = 0;
    sBeginReadScreen(data, pitch, format);
    EXPECT_EQ(format, sTEX_R16F);
    for(sInt y = 0; y < t->SizeY && format == sTEX_R16F; y++)
      for(sInt x = 0; x < t->SizeX; x++)
      {
        sU16 h;
        std::memcpy(&h, data + sDInt(y) * pitch + 2 * x, 2);
        const sInt e = (h >> 10) & 31, m = h & 1023;
        field.push_back(e ? std::ldexp(sF32(m | 1024), e - 25) : std::ldexp(sF32(m), -24));
      }
    sEndReadScreen();
    sRender3DEnd(0);
    return field;
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
  // the scattered blobs of a start, where no distances tie, then a lattice where many do:
  // the kept order must be the full sort's for both
  for(sInt layout = 0; layout < 2; layout++)
  for(sInt blob : {0, 77, 600, 1023})
  {
    if(layout == 1 && blob == 0)
    {
      for(sInt i = 0; i < LAVA_BLOBS; i++) Lava->Blobs[i].Position = sVec3(sF32(i % 16), sF32(i / 16 % 8), sF32(i / 128)) * 7.0f;
      Lava->BuildNeighbours();
    }
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
    for(sInt k = 0; k < LAVA_NEIGHBOURS; k++)
      ASSERT_EQ(Lava->Neighbours[blob][k].Blob, list[size_t(k)].second) << "layout " << layout << " blob " << blob << " " << k;
  }

  // the lists serve the push: two blobs that overlap by four tenths of their reach are
  // pushed apart, each by the depth of the overlap, and one just clear of them is not; the
  // rest stand 50 apart far off
  for(sInt i = 0; i < LAVA_BLOBS; i++)
  {
    LavaBlob &b = Lava->Blobs[i];
    b.Position = sVec3(sF32(i % 16), sF32(i / 16 % 8), sF32(i / 128)) * 50.0f + sVec3(1000.0f, 0.0f, 0.0f);
    b.Radius = 20.0f;
    b.Velocity = b.Impulse = sVec3(0, 0, 0);
  }
  const sInt a = 5, b = Lava->Neighbours[a][1].Blob;
  sInt c = -1;   // another candidate of b's
  for(sInt k = 1; k < LAVA_NEIGHBOURS && c < 0; k++)
    if(Lava->Neighbours[b][k].Blob != a) c = Lava->Neighbours[b][k].Blob;
  ASSERT_GE(c, 0);
  ASSERT_EQ(Candidates(b).count(a), 1u);
  Lava->Blobs[a].Position = sVec3(-12.0f, 0.0f, 0.0f);
  Lava->Blobs[b].Position = sVec3(12.0f, 0.0f, 0.0f);
  Lava->Blobs[c].Position = sVec3(12.0f, 45.0f, 0.0f);
  Lava->Simulate(sVec3(0.0f, 0.0f, -200.0f));
  const sF32 push = (1.0f - 24.0f / 40.0f) * 0.001f * 0.995f;   // damped in the same step
  EXPECT_NEAR(Lava->Blobs[a].Velocity.x, -push, 1e-7f);
  EXPECT_NEAR(Lava->Blobs[b].Velocity.x, push, 1e-7f);
  EXPECT_NEAR(Lava->Blobs[b].Position.x, 12.0f + push / 0.995f, 1e-5f);
  for(sInt n : {a, b, c}) EXPECT_EQ(Lava->Blobs[n].Velocity.z, 0.0f) << n;
  EXPECT_EQ(Lava->Blobs[c].Velocity.x, 0.0f);
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
    Lava->BaseVariant = 9;
    EnterWithMode(c.Mode);
    // Enter picks the variant alone; what the 's' key restores stays the machine's
    EXPECT_TRUE(Lava->Variant == 3 && Lava->BaseVariant == 9);
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

  // a new scatter moves the blobs but each keeps its candidates of Init
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
  sInt pictures = 0, drawn = 0;
  for(sInt mode = 0; mode < 5; mode++)
  {
    EnterWithMode(mode, 1);
    for(sInt v = 0; v < 7; v++)
    {
      if(mode != 0 && mode != 4 && v != 3) continue;   // every camera in both groups, each look once
      Lava->Variant = v;
      Steps(2);
      // the glow of the blobs, and in the styled group the lava over it; the darkest looks
      // with the lava at its smallest leave the lamp near black
      const Picture p(Keep("lava", "mode" + std::to_string(mode) + "-variant" + std::to_string(v)));
      pictures++;
      drawn += p.Count([](sU32 c) { return sBool(std::max({(c >> 16) & 255, (c >> 8) & 255, c & 255}) > 4); }) > W * H / 50;
    }
  }
  EXPECT_GT(2 * drawn, pictures);
}

// The lava is cut out of the blobs where they crowd: bodies of lava in a dark lamp, not a
// lit veil over the whole picture.
TEST_F(LavaRig, TheLavaStandsOutOfADarkLamp)
{
  Start();
  EnterWithMode(1, 1);
  Lava->Hold = 1;
  for(sInt v : {0, 3})
  {
    Lava->Variant = v;
    Steps(2);
    const Picture p(Keep("lava", "hold-variant" + std::to_string(v)));
    const sInt dark = p.Count([](sU32 c) { return sBool(std::max({(c >> 16) & 255, (c >> 8) & 255, c & 255}) < 24); });
    // the blobs drift from a seed of the clock: the dark share runs from about a fifth up,
    // where the veil left no pixel dark at all
    EXPECT_GT(dark, W * H / 10) << v;
    EXPECT_GT(W * H - dark, W * H / 200) << v;
  }
}

TEST_F(LavaRig, BlobsBeforeTheCameraAreDrawnByBothPasses)
{
  Start();
  EnterWithMode(1, 1);
  Lava->Variant = 5;   // near the axis: every cluster below stays inside the glass
  Steps(2);
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
    return Shot();
  };
  const Picture none = frame(0, 4), lavaOnly = frame(1, 0), both = frame(1, 4);
  // pixels of b clearly unlike a in a band of columns across the middle third of the rows
  auto changed = [](const Picture &a, const Picture &b, sF32 x0, sF32 x1) { return a.Changed(b, 8, x0, 1 / 3.0f, x1, 2 / 3.0f); };
  const sInt area = (W / 3) * (H / 3);
  EXPECT_GT(changed(none, lavaOnly, 1 / 3.0f, 2 / 3.0f), area / 4) << "the lava pass";
  EXPECT_LT(changed(none, lavaOnly, 0, 0.1f), area / 100) << "away from the cluster";
  EXPECT_GT(changed(lavaOnly, both, 1 / 3.0f, 2 / 3.0f), area / 10) << "the glow sprites";
  // outside the fade window neither pass draws them
  for(sF32 distance : {20.0f, 80.0f})
  {
    place(distance);
    const Picture hidden = frame(0, 4);
    EXPECT_LT(changed(hidden, frame(1, 4), 1 / 3.0f, 2 / 3.0f), area / 100) << distance;
  }

  // the white pass read back: one blob of radius 20 alone in the window lies in the lava
  // target as a whole sprite (10 units across its half at 50: 43 pixels) at a twentieth of
  // white; the rest stand by the eye, nearer than the window
  for(sF32 distance : {50.0f, 80.0f})
  {
    SCOPED_TRACE(distance);
    const sMat3x4 cam = Lava->CameraMatrix;
    for(sInt i = 0; i < LAVA_BLOBS; i++)
    {
      LavaBlob &b = Lava->Blobs[i];
      b.Position = i ? cam.l + cam.j * (sF32(i % 8) - 4.0f) + cam.i * (sF32(i / 8 % 8) - 4.0f) : cam.l + cam.k * distance;
      b.Radius = 20.0f;
      b.Velocity = b.Impulse = sVec3(0, 0, 0);
    }
    frame(1, 4);
    const std::vector<sF32> field = WhiteField();
    ASSERT_EQ(sInt(field.size()), W * H);
    const sF32 peak = *std::max_element(field.begin(), field.end());
    sInt lit = 0, across = 0;
    for(sInt x = 0; x < W; x++) across += field[size_t(H / 2 * W + x)] > 0.002f;
    for(sF32 v : field) lit += v > 0.002f;
    if(distance > 70.0f)
    {
      EXPECT_EQ(lit, 0);
      continue;
    }
    EXPECT_TRUE(peak > 0.025f && peak < 0.075f) << peak;
    EXPECT_TRUE(across >= 40 && across <= 100) << across;
    EXPECT_LT(lit, W * H / 10);
  }
}

TEST_F(LavaRig, ExitReturnsItsTargetMaterialsAndQuad)
{
  ExpectExitsClean([&] {
    Start();
    for(sInt mode : {0, 2, 4}) EnterWithMode(mode), Steps(3);
    M->SwitchScene(0);
    Step();
  });
}

// The flash of a pull fades over two beats of the running song position, also when the
// pull came in the last beat of an eight-bar period: it runs on over the turn, and the next
// period does not fire it again.
TEST_F(LavaRig, PullFlashFadesOnceAcrossAPeriodBoundary)
{
  Start();
  EnterWithMode(3, 1);
  Lava->Variant = 6;
  Sync->ColorPreset = 3, Sync->ColorPresetSmooth = 3.0f;
  Sync->PhaseStart = Sync->PhaseTarget = Sync->Phase = 0.98;
  Sync->ResyncFade = 0;
  Step();
  Lava->OnEvent(106);
  Step();
  EXPECT_GT(Lava->LavaMaterial->HeightParams.x, 1.0f) << "the pull flashes";
  Keep("lava", "pull-flash");
  // a second at 240 bpm is an eighth of a period: past the turn and past the flash, which
  // runs on over the turn until two beats after the pull
  sInt lit = 0, across = 0;
  for(sInt f = 0; f < 20; f++, Step())
  {
    lit += Sync->Phase > 0.05 && Sync->Phase < 0.5 && Lava->LavaMaterial->HeightParams.x > 0.0f;
    across += Sync->Phase < 0.04 && Lava->LavaMaterial->HeightParams.x > 0.0f;
  }
  EXPECT_TRUE(Sync->Phase > 0.05 && Sync->Phase < 0.5);
  EXPECT_EQ(lit, 0) << "the new period fired the flash again";
  EXPECT_GT(across, 2) << "the flash stopped at the turn of the period";
  Keep("lava", "pull-period-start");
}

// The Robot scene in the rig: its list from start to end, its looks and cameras with
// their pictures, the ground's picture per look, robots with fewer parts, and its
// clean exit.
#include "show_rig.hpp"

#include "scenes/robot.hpp"
#include "show/forms.hpp"
#include "show/model.hpp"
#include "show/procforms.hpp"
#include "show/tmdata.hpp"

#include <cmath>

namespace
{
constexpr sInt RobotIndex = 9;

class RobotRig : public SceneRig<RobotScene, RobotIndex>
{
public:
  RobotScene *&Bot = Tested;
  static sBool Finite(const sMat3x4 &m) { return ::Finite(m.i) && ::Finite(m.j) && ::Finite(m.k) && ::Finite(m.l); }
};
}

TEST_F(RobotRig, TheListPlaysToItsEndWithDropsAndFlashes)
{
  Start();
  Steps(4);
  M->SwitchScene(RobotIndex);
  sInt lastBar = -1, flashes = 0, drops = 0;
  sF32 drop = Bot->DropPhase;
  for(sInt f = 0; f < 20 * 100; f++)
  {
    const sInt flash = Bot->Flash;
    for(sInt i = 0; i < Bot->ObjectCount; i++) Bot->Objects[i]->LayerMask = 0;   // quick: nothing drawn
    Step();
    if(M->Current != RobotIndex || Sync->Results.BarIndex[0] < lastBar) break;
    lastBar = Sync->Results.BarIndex[0];
    flashes += Bot->Flash && !flash;
    drops += Bot->DropPhase != drop;
    drop = Bot->DropPhase;
    ASSERT_TRUE(Finite(Bot->MainView->Camera));
    for(sInt i = 0; i < Bot->RobotModels[1]->MeshCount; i++) ASSERT_TRUE(Finite(Bot->RobotModels[1]->MeshForms[i]->Matrix));
  }
  EXPECT_EQ(lastBar, 95);
  EXPECT_GE(flashes, 1);   // event 107 turned the bright look on
  EXPECT_GE(drops, 5);     // event 106 dropped the large robot in
}

TEST_F(RobotRig, LooksAndCamerasDrawTheRobotsOnTheirGround)
{
  Start();
  TMData *set = nullptr;
  for(sInt mode : {0, 1, 4})
  {
    SCOPED_TRACE(mode);
    EnterWithMode(mode);
    set = Bot->MaterialSet;
    // the look's picture is the ground's first texture; the others stay
    const sInt look = mode == 4 ? 2 : mode == 1 ? 1 : 3;
    EXPECT_EQ(set->Materials[0]->Texture[0], set->Textures[look]);
    EXPECT_EQ(set->Materials[0]->Texture[2], set->Textures[1]);
    EXPECT_EQ(Bot->Walls[0]->LayerMask, mode == 4 ? 0u : 1u);
    EXPECT_EQ(Bot->RobotModels[0]->MeshForms[0]->ShadowRecord == nullptr, mode == 4);
    EXPECT_EQ(EachCamera(Bot, "robot", "mode" + std::to_string(mode), 4, 3,
                         [](const Picture &p) { return p.OtherThan(0) > W * H / 20; }),
              4);
  }

  // the robots alone, in the normal look and through the glow target of the bright one
  for(sInt mode : {2, 4})
  {
    EnterWithMode(mode);
    Bot->Variant = 1;
    for(sInt i = 0; i < Bot->ObjectCount; i++)
      if(Bot->Objects[i]->LayerMask & 3) Bot->Objects[i]->LayerMask = 0;
    Step();
    EXPECT_GT(Shot().OtherThan(0), W * H / 100) << mode;
  }
}

// The bright look draws the robots into the glow target and lays it over the picture: the
// robots keep their own colours there and are not black holes with a rim round them.
TEST_F(RobotRig, TheBrightLookShowsTheRobotsInTheirColours)
{
  Start();
  EnterWithMode(4);
  for(sInt v = 0; v < 4; v++)
  {
    SCOPED_TRACE(v);
    Bot->Variant = v;
    // the robots alone, without their reflections
    for(sInt i = 0; i < Bot->ObjectCount; i++)
    {
      Form *f = Bot->Objects[i];
      if(f->LayerMask & 3) f->LayerMask = 0;
      f->PassFlags &= ~1;
    }
    Steps(2);
    const Picture p(Keep("robot", "bright-robots-variant" + std::to_string(v)));
    const sInt coloured = p.Count([](sU32 c) {
      const sInt hi = std::max({(c >> 16) & 255, (c >> 8) & 255, c & 255});
      return sBool(hi > 24 && hi < 200);
    });
    // the robots cover a tenth of the picture or more; a rim alone covers a hundredth
    EXPECT_GT(coloured, W * H / 30);
  }
}

TEST_F(RobotRig, RobotsWithFewerPartsArePosedAsFarAsTheyGo)
{
  Start();
  M->SwitchScene(RobotIndex);
  Model *small = Bot->RobotModels[0];
  const sInt meshes = small->MeshCount;
  ASSERT_EQ(meshes, 8);
  // a model of three meshes: the third is part 1's first, the rest is not its own
  sMat3x4 untouched;
  untouched.Identity();
  untouched.l = sVec3(1234.0f, 0.0f, 0.0f);
  for(sInt i = 3; i < meshes; i++) small->MeshForms[i]->Matrix = untouched;
  small->MeshCount = 3;
  Bot->Render(1, Bot->MainView);
  small->MeshCount = meshes;
  EXPECT_NE(small->MeshForms[2]->Matrix.l.x, 1234.0f);
  for(sInt i = 3; i < meshes; i++) EXPECT_EQ(small->MeshForms[i]->Matrix.l.x, 1234.0f) << i;
}

TEST_F(RobotRig, ExitReturnsEveryModelAndTarget)
{
  ExpectExitsClean([&] {
    Start();
    for(sInt mode : {0, 4}) EnterWithMode(mode), Steps(10), M->SwitchScene(0), Step();
  });
}

TEST_F(RobotRig, ProjectedShadowsDarkenTheGroundAndStrengthZeroLeavesIt)
{
  Start();
  EnterWithMode(2);
  Bot->Variant = 1;
  Steps(3);
  // the same frame three times, the scene held still: with the records, without them, and
  // with records of strength 0
  auto frame = [&](const char *name) {
    EXPECT_TRUE(sRender3DBegin());
    sSetScreenTarget(nullptr, sRTF_CLEAR_ALL, 0xFF000000);
    sViewport view;
    view.SetTarget();
    Bot->Camera(Bot->Variant, &view);
    view.Camera.LookAt(sVec3(0, 0, 0), sVec3(60, 260, -160));   // from above, where the shadows show
    view.Prepare(15);
    Bot->Render(Bot->Variant, &view);
    Bot->RenderObjects(&view);
    std::vector<sU32> px = ReadScreen(W, H);
    sRender3DEnd(0);
    sImage shot(W, H);
    std::copy(px.begin(), px.end(), shot.Data);
    const std::string file = PictureFolder("robot") + "/shadows-" + name + ".bmp";
    shot.Save(std::u16string(file.begin(), file.end()).c_str());
    return px;
  };
  const std::vector<sU32> with = frame("on");
  // every light's view of a record reaches its robots: their depth lands in its channel
  for(sInt r = 0; r < 2; r++)
  {
    const std::vector<sInt> reached =
        LightDepths(Bot, Bot->RobotModels[r]->MeshForms[0], "robot", "light-depths-" + std::to_string(r));
    for(sInt i = 0; i < 3; i++) EXPECT_GT(reached[size_t(i)], 20) << "record " << r << " light " << i;
  }
  ShadowSetup *records[2];
  for(sInt r = 0; r < 2; r++) std::swap(records[r] = nullptr, Bot->RobotModels[r]->MeshForms[0]->ShadowRecord);
  const std::vector<sU32> without = frame("off");
  for(sInt r = 0; r < 2; r++) Bot->RobotModels[r]->MeshForms[0]->ShadowRecord = records[r];
  sF32 strength[2];
  for(sInt r = 0; r < 2; r++)
  {
    ShadowSetup *s = Bot->RobotModels[r]->MeshForms[0]->ShadowRecord;
    ASSERT_NE(s, nullptr);
    strength[r] = s->Strength;
    s->Strength = 0.0f;
  }
  const std::vector<sU32> zero = frame("zero");
  for(sInt r = 0; r < 2; r++) Bot->RobotModels[r]->MeshForms[0]->ShadowRecord->Strength = strength[r];

  // darker where a shadow falls, never brighter; a core as dark as one light's full shadow
  sInt darker = 0, brighter = 0, core = 0, zeroChanged = 0, alphaChanged = 0;
  for(size_t i = 0; i < with.size(); i++)
  {
    const sInt a = Picture::Luma(with[i]), b = Picture::Luma(without[i]);
    darker += a < b - 12;
    brighter += a > b + 6;
    core += b > 60 && a < b * 0.7f;
    zeroChanged += Picture::Differ(zero[i], without[i]) > 2;
    alphaChanged += (with[i] >> 24) != (without[i] >> 24);
  }
  EXPECT_GT(darker, W * H / 100);
  EXPECT_GT(core, 50);
  EXPECT_LT(brighter, 8);
  EXPECT_LT(zeroChanged, 8);
  // the final composition blends the picture by its alpha: the shadow leaves it alone
  EXPECT_EQ(alphaChanged, 0);
}

// The Plant scene: its visits and cameras, the trail its tips leave on the screen, the
// picture quads listed twice but owned once, the ripple rings drawn in the calm mode, and
// the tile field around a camera that wandered for hours.
#include "show_rig.hpp"

#include "scenes/plant.hpp"
#include "show/forms.hpp"
#include "show/procforms.hpp"

#include <cmath>
#include <set>

TEST_F(ShowRig, PlantVisitsEveryCameraInBothModeGroups)
{
  PlantScene *p = sNEW PlantScene;
  // camera 6 looks along the ground at the empty horizon until the list's first key
  EXPECT_EQ(CycleScene(*this, p, 7, "plant"), 2 * 6);

  // every form of the list is a form of its own; the quads' second entries follow them
  std::set<Form *> forms(p->Objects, p->Objects + p->ObjectCount);
  EXPECT_EQ(sInt(forms.size()), p->ObjectCount);
  for(sInt q = 0; q < 2; q++)
  {
    EXPECT_EQ(p->QuadCopies[q]->Colour, p->PictureQuads[q]->Colour);
    EXPECT_EQ(p->QuadCopies[q]->Matrix.l.x, p->PictureQuads[q]->Matrix.l.x);
    EXPECT_EQ(p->QuadCopies[q]->MaterialIndex, p->PictureQuads[q]->MaterialIndex);
  }
}

TEST_F(ShowRig, PlantTipsLeaveTrailsAndRipplesDrawInTheCalmMode)
{
  PlantScene *p = sNEW PlantScene;
  Build({{0, p}});
  M->PendingTransition = 2;
  M->SwitchScene(0);
  // one group at a time on a white clear colour, seen from above the trail
  for(sInt n = 0; n < p->ObjectCount; n++) p->Objects[n]->LayerMask = 0;
  p->TrailForm->LayerMask = 2;
  sInt grown = 0;
  for(sInt f = 0; f < 16; f++)
  {
    Step();
    p->RenderEnv.FogColor = 0xFFFFFFFF;
  }
  for(sInt n = 0; n < PLANT_TRAIL; n++) grown += p->TrailForm->Points[n].Size > 0.0f;
  EXPECT_GT(grown, 200);
  // each spark is coloured from its own time: one of this moment glows whiter than one that
  // never sparked (its time -1)
  p->SparkForm->Points[0].Spare = sU32(Sync->PublishedClock);
  Step();
  EXPECT_GT(Picture::Luma(p->SparkForm->Points[0].Color), Picture::Luma(p->SparkForm->Points[1].Color) + 60);
  p->OnEvent(106);   // the camera turns to a point of the grown trail
  p->Variant = 2;
  p->LayerMask = 0;
  Step();
  const Picture bare = Shot();
  p->LayerMask = 2;
  Step();
  EXPECT_GT(bare.Changed(Shot()), 20);   // the trail

  // the calm mode leaves the ripple rings' shape and colour as they were, but their
  // geometry lasts a frame: they are drawn in every frame all the same
  M->PendingTransition = 0;
  M->SwitchScene(0);
  for(sInt n = 0; n < p->ObjectCount; n++) p->Objects[n]->LayerMask = 0;
  p->Variant = 0;
  p->RenderEnv.FogColor = 0;
  p->LayerMask = 0;
  Step();
  const Picture blank = Shot();
  for(sInt f = 0; f < 3; f++)
  {
    for(ArrayForm *r : p->RippleRings)
    {
      r->LayerMask = 4;
      r->Colour = 0xFFFFFFFF;
      r->Matrix.l = p->TrailPoint(501);
      const sF32 range[4] = {2.0f * sScenePi, 20.0f, 0.0f, 2.0f};
      for(sInt k = 0; k < 4; k++) r->Range0[k] = range[k];
    }
    p->LayerMask = 4;
    Step();
    EXPECT_GT(blank.Changed(Shot()), W * H / 200) << f;
  }
}

TEST_F(ShowRig, PlantTilesFollowACameraThatWanderedForHours)
{
  SyncMachine sync(128.0f);
  PlantScene *p = sNEW PlantScene;
  p->Init(&sync, 0, nullptr);
  p->RenderMode = 2;
  p->Enter(0);
  sViewport view;
  // ten hours of growth at 0.14 a step carry the tips half a million units away
  for(sInt hour = 1; hour <= 10; hour++)
  {
    sync.PublishedClock = hour * 3600000;
    for(sVec3 &t : p->Tips) t = sVec3(-50400.0f * sF32(hour), 1.0f, 30000.0f * sF32(hour));
    for(sInt n = 0; n < 600; n++) p->Tick(0);
    for(sInt v : {0, 4})
    {
      p->Camera(v, &view);
      p->Render(v, &view);
      for(const PlantTile &t : p->Tiles)
      {
        for(sF32 sVec3::*axis : {&sVec3::x, &sVec3::z})
        {
          ASSERT_LE(std::fabs(t.Drawn.*axis - view.Camera.l.*axis), 1024.0f) << hour;
          const sF64 moved = sF64(t.Drawn.*axis) - sF64(t.Home.*axis);
          ASSERT_EQ(std::fmod(moved, 2048.0), 0.0) << hour;
        }
        ASSERT_EQ(t.Disc->Matrix.l.x, t.Drawn.x);
      }
    }
  }
  sDELETE(p);
}

TEST_F(ShowRig, PlantLeafStartsAtItsStem)
{
  PlantScene *p = sNEW PlantScene;
  Build({{0, p}});
  Step();
  // a leaf of the first pool, as the scene hangs it on a tip: its origin is the stem
  StripForm *leaf = p->LeavesA[0];
  // the scene picks each leaf's width, length and shape seed from a seed of the clock: a
  // narrow short one showed less than 30 pixels, so this one takes a middle shape of its own
  // (its words are the scene's, kept over the new start)
  const StripWords words = leaf->Words;
  leaf->Seed = 50;
  leaf->Init(0, 4, 200, 0.85f, 0.0f, -1);
  std::copy(words.Words, words.Words + StripWords::Count, leaf->Words.Words);
  const sVec3 stem(40.0f, 10.0f, -30.0f);
  leaf->Matrix.Identity();
  leaf->Matrix.l = stem;
  leaf->LayerMask = 1;
  p->LayerMask = 1;
  sF32 *w = leaf->Words.Words;
  w[StripWords::GrowthCounter] = 12.0f;   // the first tenth of the ribbon is shown
  w[StripWords::GrowthLimit] = 1000.0f;
  w[StripWords::StripTime] = 0.0f;
  // and its turns: this one lies flat
  w[StripWords::Spin] = w[StripWords::Curl1] = w[StripWords::Curl2] = 0.0f;
  w[StripWords::ViewDirection + 0] = 0.0f, w[StripWords::ViewDirection + 1] = 0.0f, w[StripWords::ViewDirection + 2] = 1.0f;

  // seen along z from in front of the stem, 6 pixels to a unit
  sViewport view;
  view.Orthogonal = sVO_ZOOM;
  view.ZoomX = 1.0f / 40.0f;
  view.ZoomY = view.ZoomX * W / H;
  view.Camera.l = stem + sVec3(0, 0, -200.0f);
  view.ClipNear = 1.0f;
  view.ClipFar = 1000.0f;
  ASSERT_TRUE(sRender3DBegin());
  sSetScreenTarget(nullptr, sRTF_CLEAR_ALL, 0xFFFFFFFF);   // the pool's leaves are black
  view.SetTarget(nullptr);
  view.Prepare(15);
  const sMat4x4 camera = view.MVP;
  p->RenderForm(&view, leaf, 0);
  const std::vector<sU32> px = ReadScreen(W, H);
  sRender3DEnd(0);
  sImage shot(W, H);
  std::copy(px.begin(), px.end(), shot.Data);
  const std::string file = PictureFolder("plant") + "/leaf-at-stem.bmp";
  shot.Save(std::u16string(file.begin(), file.end()).c_str());

  const sVec4 c = sMulPointMat4x4(stem, camera);
  const sF32 sx = (c.x / c.w + 1) * 0.5f * W, sy = (1 - c.y / c.w) * 0.5f * H;
  sInt lit = 0;
  sF32 nearest = 1e9f;
  for(sInt y = 0; y < H; y++)
    for(sInt x = 0; x < W; x++)
      if(Picture::Luma(px[size_t(y * W + x)]) < 600)
      {
        lit++;
        nearest = std::min(nearest, std::hypot(x + 0.5f - sx, y + 0.5f - sy));
      }
  EXPECT_GT(lit, 30) << "the leaf's start is drawn";
  EXPECT_LT(nearest, 4.0f) << "the leaf begins " << nearest / 6 << " units from its stem";
}

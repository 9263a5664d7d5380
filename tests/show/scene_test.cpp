// The scene base over the recording device: the object list and its passes, the form
// renderer's choice of view, variant and material values, and the loader screen refresh.

#include "scene_util.hpp"

namespace
{
const TextureEntry NoFile[] = {{u"/nonexistent/a.bmp", u"/nonexistent/a.png", 0x1001, 0}, {nullptr, nullptr, 0, 0}};

class Scenes : public SceneRecording
{
protected:
  Scene *S = nullptr;
  void MakeScene(const MaterialEntry *materials, Scene *scene = nullptr)
  {
    S = scene ? scene : sNEW Scene;
    S->CreateTMData(NoFile, materials, 0);
  }
  void TearDown() override
  {
    sDELETE(S);
    SceneRecording::TearDown();
  }
  template <class T> T *Add(T *f)
  {
    S->AddObject(f);
    return f;
  }
};

const MaterialEntry OnlyEnd[] = {EndRow()};

TEST_F(Scenes, PassesDrawEachFormOncePerFlagAndRestoreTheMirror)
{
  MakeScene(OnlyEnd);
  ProbeForm *f[5];
  const sInt flags[5] = {0, 1, 2, 4, 7};
  for(sInt i = 0; i < 5; i++)
  {
    f[i] = Add(sNEW ProbeForm(0));
    f[i]->PassFlags = flags[i];
    f[i]->Matrix.EulerXYZ(0.3f * sF32(i), 0.7f, -0.2f);
    f[i]->Matrix.l.Init(1.0f + sF32(i), 2.5f, -3.0f);
  }
  sMat3x4 before = f[4]->Matrix;
  Begin();
  S->RenderObjects(S->MainView);
  sRender3DEnd(0);

  const size_t expected[5] = {0, 1, 1, 1, 3};
  for(sInt i = 0; i < 5; i++) EXPECT_EQ(f[i]->Calls.size(), expected[i]) << "pass flags " << flags[i];
  // the mirrored draw comes first and sees y negated in every row
  const sMat3x4 &m = f[4]->Calls[0].Matrix;
  EXPECT_EQ(m.i.y, -before.i.y);
  EXPECT_EQ(m.j.y, -before.j.y);
  EXPECT_EQ(m.k.y, -before.k.y);
  EXPECT_EQ(m.l.y, -before.l.y);
  EXPECT_EQ(m.l.x, before.l.x);
  EXPECT_EQ(f[4]->Calls[1].Matrix.l.y, before.l.y);
  EXPECT_EQ(0, std::memcmp(&f[4]->Matrix, &before, sizeof(before)));
  // the renderer placed the view with the form's matrix before the form drew
  EXPECT_EQ(S->MainView->Model.l.y, before.l.y);
}

TEST_F(Scenes, LayerMaskAndFormViews)
{
  ViewScene *vs = sNEW ViewScene;
  MakeScene(OnlyEnd, vs);
  ProbeForm *off = Add(sNEW ProbeForm(0));
  off->LayerMask = 2;
  ProbeForm *own = Add(sNEW ProbeForm(0));
  own->ViewIndex = 1;
  own->PassFlags = 5;
  ProbeForm *unknown = Add(sNEW ProbeForm(0));
  unknown->ViewIndex = 7;
  S->LayerMask = 1;
  Begin();
  S->RenderObjects(S->MainView);
  sRender3DEnd(0);
  EXPECT_TRUE(off->Calls.empty());
  ASSERT_EQ(own->Calls.size(), 2u);
  EXPECT_EQ(own->Calls[0].View, S->MainView);   // the mirrored pass keeps the given view
  EXPECT_EQ(own->Calls[1].View, &vs->Own);
  ASSERT_EQ(unknown->Calls.size(), 1u);
  EXPECT_EQ(unknown->Calls[0].View, S->MainView);   // no view of that index: the given one
}

TEST_F(Scenes, ObjectListHoldsAtMost8191Forms)
{
  S = sNEW Scene;
  for(sInt i = 0; i < 8191; i++) S->AddObject(sNEW Form(0));
  EXPECT_EQ(S->ObjectCount, 8191);
  EXPECT_DEATH(S->AddObject(sNEW Form(0)), "ObjectCount>=0 && ObjectCount<\\(4096\\*2\\)");
  EXPECT_EQ(S->NextVariant(S->BaseVariant), -1);
}

TEST_F(Scenes, KindTwoSceneLeavesTheGlobalSetIntact)
{
  MakeScene(OnlyEnd);
  TMData *global = S->MaterialSet;
  Scene *borrower = sNEW Scene;
  borrower->TextureSetKind = 2;
  borrower->MaterialSet = global;
  borrower->AddObject(sNEW Form(0));
  sDELETE(borrower);
  ASSERT_EQ(S->MaterialSet, global);
  EXPECT_EQ(global->TextureCount, 1);
  for(LightSet *l : global->LightSets) ASSERT_NE(l, nullptr);
  EXPECT_EQ(global->LightSets[255]->Ambient, 0xff333333u);
  // the owner still draws with it
  ProbeForm *f = Add(sNEW ProbeForm(0));
  Begin();
  S->RenderObjects(S->MainView);
  sRender3DEnd(0);
  EXPECT_EQ(f->Calls.size(), 1u);
}

// Rows of one kind each; the strip row blends additively, the grading row alpha-blends.
const MaterialEntry Kinds[] = {Row(5, 1, 0x13), Row(6, 1, 0x13, 0x20102), Row(7, 1), Row(9, 3),
                               Row(14, 1, 0x13, 0x60105), Row(6, 1, 0x13, 0x60105), EndRow()};

TEST_F(Scenes, FormRecordsReachTheirMaterialsAndOtherFormsLeaveThemAlone)
{
  MakeScene(Kinds);
  TMData *set = S->MaterialSet;
  auto *strip = static_cast<ShaderMaterial5 *>(set->Materials[1]);
  auto *shape = static_cast<ShaderMaterial4 *>(set->Materials[2]);
  auto *points = static_cast<ShaderMaterial6 *>(set->Materials[3]);
  auto *grade = static_cast<ShaderMaterial7 *>(set->Materials[4]);
  // a plain form on each of these rows: the material keeps its own values
  for(sInt row : {1, 2, 3, 4}) Add(sNEW ProbeForm(row))->Colour = 0xff102030;
  Begin();
  S->RenderObjects(S->MainView);
  sRender3DEnd(0);
  EXPECT_FLOAT_EQ(strip->Radius, 28.0f);
  EXPECT_FLOAT_EQ(strip->Up.x, 1.0f);
  EXPECT_FLOAT_EQ(shape->ShapeA.x, 6.0f);
  EXPECT_FLOAT_EQ(points->DepthRange, 200.0f);
  EXPECT_FLOAT_EQ(grade->Gain, 1.0f);
  EXPECT_EQ(strip->Color, 0xff102030u);

  // the strip form's words in its own order
  StripProbe *sp = Add(sNEW StripProbe(1));
  sp->Words.Words[StripWords::Speed] = 100.0f;
  sp->Words.Words[StripWords::Spin] = 0.25f;
  sp->Words.Words[StripWords::StripTime] = 2.0f;
  sp->Words.Words[StripWords::ParamA] = 77.0f;
  for(sInt i = 0; i < 6; i++) sp->Words.Marker[i] = sF32(i + 1);
  ShapeProbe *shp = Add(sNEW ShapeProbe(2));
  shp->Params.Anim[2] = 0.004f;
  PointProbe *pp = Add(sNEW PointProbe(3));
  pp->Words.Brightness = 0.5f;
  GradeProbe *gp = Add(sNEW GradeProbe(4));
  gp->Words.Saturation = 0.25f;
  Begin();
  S->RenderForm(S->MainView, sp, 0);
  EXPECT_FLOAT_EQ(strip->Up.x, 1.0f);
  EXPECT_FLOAT_EQ(strip->Up.y, 0.0f);
  EXPECT_FLOAT_EQ(strip->Phase, 2.25f);
  EXPECT_FLOAT_EQ(strip->Radius, 28.0f);
  EXPECT_FLOAT_EQ(strip->Wave1, 1.0f);
  EXPECT_FLOAT_EQ(strip->WaveAmplitude, 0.3f);
  EXPECT_FLOAT_EQ(strip->Wave4, 0.2f);
  EXPECT_FLOAT_EQ(strip->WindowEnd, 100000.0f);
  EXPECT_FLOAT_EQ(strip->WindowLength, 200000.0f);
  EXPECT_FLOAT_EQ(strip->FadeStart, 100.0f);
  EXPECT_FLOAT_EQ(strip->Offset.z, 6.0f);
  // additive strip: the window scales the colour
  EXPECT_FLOAT_EQ(strip->Tint.x, 1.0f);
  EXPECT_FLOAT_EQ(strip->TintAdd.w, 0.0f);
  S->RenderForm(S->MainView, shp, 0);
  EXPECT_FLOAT_EQ(shape->ShapeA.x, 1.0f);
  EXPECT_FLOAT_EQ(shape->Gradient.x, 1.0f);
  EXPECT_FLOAT_EQ(shape->Gradient.y, 0.004f);
  EXPECT_FLOAT_EQ(shape->Gradient.z, 0.5f);
  S->RenderForm(S->MainView, pp, 0);
  EXPECT_FLOAT_EQ(points->Brightness, 0.5f);
  S->RenderForm(S->MainView, gp, 0);
  EXPECT_FLOAT_EQ(grade->Saturation, 0.25f);
  // an alpha-blended strip fades only alpha through its window
  StripProbe *alpha = Add(sNEW StripProbe(5));
  S->RenderForm(S->MainView, alpha, 0);
  auto *strip2 = static_cast<ShaderMaterial5 *>(set->Materials[5]);
  EXPECT_FLOAT_EQ(strip2->Tint.w, 1.0f);
  EXPECT_FLOAT_EQ(strip2->TintAdd.x, 1.0f);
  sRender3DEnd(0);
}

TEST_F(Scenes, MirroredLitFormCullsTheOtherSideWithoutItsSecondTexture)
{
  MakeScene(Kinds);
  auto *lit = static_cast<ShaderMaterial3 *>(S->MaterialSet->Materials[0]);
  sTexture2D second(4, 4, sTEX_ARGB8888 | sTEX_NOMIPMAPS);
  lit->Texture[1] = &second;
  ProbeForm *f = Add(sNEW ProbeForm(0));
  Begin();
  Dev->Log.clear();
  S->RenderForm(S->MainView, f, 1);
  EXPECT_EQ(lit->S.Flags, 0x23u);        // variant 1 was made current
  EXPECT_EQ(lit->Texture[1], &second);   // and the texture is back
  EXPECT_EQ(Dev->Lines("SetTexture 1 tex").size(), 0u);
  S->RenderForm(S->MainView, f, 0);
  EXPECT_EQ(lit->S.Flags, 0x13u);
  EXPECT_EQ(lit->ShadowMatrix[2], &S->AuxViews[2]->MVP);
  sRender3DEnd(0);
  lit->Texture[1] = nullptr;
}

TEST_F(Scenes, PointFormOptionPreparesTheMaterialAgainOnlyWhenItChanges)
{
  MakeScene(Kinds);
  auto *points = static_cast<ShaderMaterial6 *>(S->MaterialSet->Materials[3]);
  ProbeForm *f = Add(sNEW ProbeForm(3));
  sShader *plain = points->VertexShader;
  Begin();
  f->MaterialOption = 1;
  S->MainView->Camera.l.Init(10, 20, 30);
  f->Matrix.l.Init(1, 2, 3);
  S->RenderForm(S->MainView, f, 0);
  sShader *faded = points->VertexShader;
  EXPECT_NE(faded, plain);
  EXPECT_FLOAT_EQ(points->FadeCenter.y, 18.0f);
  S->RenderForm(S->MainView, f, 0);
  EXPECT_EQ(points->VertexShader, faded);
  f->MaterialOption = 0;
  S->RenderForm(S->MainView, f, 0);
  EXPECT_EQ(points->VertexShader, plain);
  sRender3DEnd(0);
}

TEST_F(Scenes, FormsNamingRowsOrLightSetsOutsideTheSetAreFatal)
{
  MakeScene(Kinds);
  ProbeForm *row = Add(sNEW ProbeForm(7));
  ProbeForm *light = Add(sNEW ProbeForm(0));
  light->LightSetIndex = 256;
  Begin();
  EXPECT_DEATH(S->RenderForm(S->MainView, row, 0), "row>=0 && row<=MaterialCount");
  EXPECT_DEATH(S->RenderForm(S->MainView, light, 0), "LightSetIndex<sTMD_LIGHTSETS");
  sRender3DEnd(0);
}

// --- the shadow pre-pass over the recording device

TEST_F(Scenes, ShadowPrePassPlacesTheLightsAndDrawsTheCastersFirst)
{
  MakeScene(OnlyEnd);
  sTexture2D target(32, 32, sTEX_ARGB8888 | sTEX_RENDERTARGET | sTEX_NOMIPMAPS);
  ProbeForm *caster = Add(sNEW ProbeForm(0));
  caster->LayerMask = 4;
  ProbeForm *bystander = Add(sNEW ProbeForm(0));
  bystander->LayerMask = 8;
  ProbeForm *shadowed = Add(sNEW ProbeForm(0));
  shadowed->PassFlags = 2;
  shadowed->ShadowSwitch = 4;
  shadowed->Shadow = sNEW ShadowSetup;
  shadowed->Shadow->LightCount = 2;
  shadowed->Shadow->Targets[0] = &target;
  Begin();
  S->RenderObjects(S->MainView);
  sRender3DEnd(0);
  // the caster went into the map once per light, from that light's view, then drew itself
  ASSERT_EQ(caster->Calls.size(), 3u);
  EXPECT_EQ(caster->Calls[0].View, S->AuxViews[0]);
  EXPECT_EQ(caster->Calls[1].View, S->AuxViews[1]);
  EXPECT_EQ(caster->Calls[2].View, S->MainView);
  EXPECT_EQ(bystander->Calls.size(), 1u);
  const LightSet *ls = S->MaterialSet->LightSets[0];
  EXPECT_FLOAT_EQ(shadowed->Shadow->LightPositions[1].y, ls->Directions[1].y * 1500.0f);
  EXPECT_FLOAT_EQ(S->MainView->ClipFar, 50000.0f);

  shadowed->Shadow->LightCount = 4;
  Begin();
  EXPECT_DEATH(S->RenderObjects(S->MainView), "rs->LightCount<=3");
  sRender3DEnd(0);
}

// --- the loader screen refresh

int Draws = 0;
void CountDraw(void *) { Draws++; }

TEST_F(Scenes, LoadingScreenRefreshDrawsInAFrameOfItsOwnOnlyWhenOneBegins)
{
  LogCapture log;
  Draws = 0;
  RefreshLoadingScreen();   // nothing installed
  EXPECT_EQ(Draws, 0);
  sInt ownFrame = 0;
  SetLoadingScreen(&CountDraw, nullptr, &ownFrame);
  RefreshLoadingScreen();
  EXPECT_EQ(Draws, 1);
  EXPECT_EQ(Dev->Lines("Present").size(), 0u);
  ownFrame = 1;
  RefreshLoadingScreen();
  EXPECT_EQ(Draws, 2);
  EXPECT_EQ(Dev->Lines("Present").size(), 1u);
  // a changed screen cannot be restored outside the paint message: no frame, no drawing
  sSetScreenSize(320, 240);
  RefreshLoadingScreen();
  EXPECT_EQ(Draws, 2);
  EXPECT_EQ(log.Count("sRender3DBegin() fail"), 1);
  EXPECT_FALSE(sIsRender3DInProgress());
  SetLoadingScreen(nullptr, nullptr, nullptr);
}
}  // namespace

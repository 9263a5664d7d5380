// The scene base over the recording device: the object list and its passes, the form
// renderer's choice of view, variant and material values, and the loader screen refresh.

#include "scene_util.hpp"
#include "common/check.hpp"

namespace
{
const MaterialEntry OnlyEnd[] = {EndRow()};
// One row per kind the records feed; the second strip row blends by alpha.
const MaterialEntry Kinds[] = {Row(5, 1), Row(6, 1, 0x13, 0x20102), Row(7, 1), Row(9, 3), Row(14, 1),
                               Row(6, 1, 0x13, 0x60105), EndRow()};

class Scenes : public SceneRecording
{
protected:
  Scene *S = nullptr;
  void Make(const MaterialEntry *materials, Scene *scene = nullptr)
  {
    S = scene ? scene : sNEW Scene;
    S->CreateTMData(NoFile, materials, 0);
  }
  void TearDown() override
  {
    sDELETE(S);
    SceneRecording::TearDown();
  }
  template <class T> T *Add(T *f) { S->AddObject(f); return f; }
  void Frame()
  {
    Begin();
    S->RenderObjects(S->MainView);
    sRender3DEnd(0);
  }
};

TEST_F(Scenes, PassesDrawEachFormOncePerFlagAndRestoreTheMirror)
{
  Make(OnlyEnd);
  const sInt flags[5] = {0, 1, 2, 4, 7};
  const size_t draws[5] = {0, 1, 1, 1, 3};
  ProbeForm *f[5];
  for(sInt i = 0; i < 5; i++)
  {
    f[i] = Add(sNEW ProbeForm(0));
    f[i]->PassFlags = flags[i];
    f[i]->Matrix.EulerXYZ(0.3f * sF32(i), 0.7f, -0.2f);
    f[i]->Matrix.l.Init(1.0f + sF32(i), 2.5f, -3.0f);
  }
  const sMat3x4 before = f[4]->Matrix;
  Frame();
  for(sInt i = 0; i < 5; i++) EXPECT_EQ(f[i]->Calls.size(), draws[i]) << "pass flags " << flags[i];
  // the mirrored draw comes first, with y negated in every row; then the form is as it was
  const sMat3x4 &m = f[4]->Calls[0].Matrix;
  EXPECT_TRUE(m.i.y == -before.i.y && m.j.y == -before.j.y && m.k.y == -before.k.y && m.l.y == -before.l.y);
  EXPECT_TRUE(m.l.x == before.l.x && f[4]->Calls[1].Matrix.l.y == before.l.y);
  EXPECT_EQ(0, std::memcmp(&f[4]->Matrix, &before, sizeof(before)));
}

TEST_F(Scenes, ObjectListHoldsAtMost8191FormsAndABorrowedSetOutlivesItsBorrower)
{
  Make(OnlyEnd);
  Scene *borrower = sNEW Scene;
  borrower->TextureSetKind = 2;
  borrower->MaterialSet = S->MaterialSet;
  for(sInt i = 0; i < 8191; i++) borrower->AddObject(sNEW Form(0));
  EXPECT_DEATH(borrower->AddObject(sNEW Form(0)), kCheckFailed);
  EXPECT_EQ(borrower->NextVariant(0), -1);
  sDELETE(borrower);
  EXPECT_EQ(S->MaterialSet->TextureCount, 1);
  EXPECT_EQ(S->MaterialSet->LightSets[255]->Ambient, 0xff333333u);
  ProbeForm *f = Add(sNEW ProbeForm(0));
  Frame();
  EXPECT_EQ(f->Calls.size(), 1u);
}

TEST_F(Scenes, FormRecordsReachTheirMaterialsAndOtherFormsLeaveThemAlone)
{
  Make(Kinds);
  sMaterial **m = S->MaterialSet->Materials;
  auto *strip = static_cast<ShaderMaterial5 *>(m[1]), *strip2 = static_cast<ShaderMaterial5 *>(m[5]);
  auto *shape = static_cast<ShaderMaterial4 *>(m[2]);
  auto *points = static_cast<ShaderMaterial6 *>(m[3]);
  auto *grade = static_cast<ShaderMaterial7 *>(m[4]);
  for(sInt row : {1, 2, 3, 4}) Add(sNEW ProbeForm(row))->Colour = 0xff102030;
  Frame();
  EXPECT_TRUE(strip->Radius == 28 && shape->ShapeA.x == 6 && points->DepthRange == 200 && grade->Gain == 1);
  EXPECT_EQ(strip->Color, 0xff102030u);
  RecordsForm *r = Add(sNEW RecordsForm(1));
  sF32 *w = r->Strip.Words;
  w[StripWords::Speed] = 100.0f, w[StripWords::Spin] = 0.25f, w[StripWords::StripTime] = 2.0f, w[StripWords::StripParamA] = 77;
  w[StripWords::OriginOffset + 2] = 6.0f, r->Strip.Marker[5] = -9.0f, r->Shape.SuperWordC = 0.004f, r->Points.Brightness = 0.5f, r->Grade.Saturation = 0.25f;
  Begin();
  for(sInt row : {1, 2, 3, 4, 5}) r->MaterialIndex = row, S->RenderForm(S->MainView, r, 0);
  sRender3DEnd(0);
  // the strip form's words in its own order; an alpha-blended strip fades only alpha
  const sF32 want[] = {strip->Up.x, 1, strip->Up.y, 0, strip->Phase, 2.25f, strip->Radius, 28, strip->Wave1, 1,
                       strip->WaveAmplitude, 0.3f, strip->Wave4, 0.2f, strip->WindowEnd, 100000,
                       strip->WindowLength, 200000, strip->FadeStart, 100, strip->Offset.z, 6,
                       strip->Tint.x, 1, strip->TintAdd.w, 0, strip2->Tint.x, 0, strip2->Tint.w, 1, strip2->TintAdd.x, 1,
                       shape->ShapeA.x, 1, shape->Gradient.y, 0.004f, shape->Gradient.z, 0.5f,
                       points->Brightness, 0.5f, grade->Saturation, 0.25f};
  for(size_t i = 0; i < sizeof(want) / sizeof(*want); i += 2) EXPECT_FLOAT_EQ(want[i], want[i + 1]) << "pair " << i / 2;

  // a lit form in the mirrored pass: variant 1 (other culling) without its second texture
  auto *lit = static_cast<ShaderMaterial3 *>(m[0]);
  sTexture2D second(4, 4, sTEX_ARGB8888 | sTEX_NOMIPMAPS);
  lit->Texture[1] = &second;
  r->MaterialIndex = 0;
  Begin();
  Dev->Log.clear();
  S->RenderForm(S->MainView, r, 1);
  EXPECT_TRUE(lit->S.Flags == 0x23u && lit->Texture[1] == &second && Dev->Lines("SetTexture 1 tex").empty());
  S->RenderForm(S->MainView, r, 0);
  EXPECT_TRUE(lit->S.Flags == 0x13u && lit->ShadowMatrix[2] == &S->AuxViews[2]->MVP);
  sRender3DEnd(0);
  lit->Texture[1] = nullptr;
}

TEST_F(Scenes, RowsAndLightSetsOutsideTheSetAndTooManyShadowLightsAreFatal)
{
  Make(Kinds);
  ProbeForm *row = Add(sNEW ProbeForm(7)), *light = Add(sNEW ProbeForm(0)), *shadowed = Add(sNEW ProbeForm(0));
  light->LightSetIndex = 256;
  shadowed->Shadow = sNEW ShadowSetup;
  shadowed->Shadow->LightCount = 4;
  Begin();
  EXPECT_DEATH(S->RenderForm(S->MainView, row, 0), kCheckFailed);
  EXPECT_DEATH(S->RenderForm(S->MainView, light, 0), kCheckFailed);
  EXPECT_DEATH(S->RenderShadowMaps(shadowed), kCheckFailed);
  sRender3DEnd(0);
}

int Draws = 0;
void CountDraw(void *) { Draws++; }

TEST_F(Scenes, LoadingScreenRefreshDrawsInAFrameOfItsOwnOnlyWhenOneBegins)
{
  LogCapture log;
  RefreshLoadingScreen();   // nothing installed
  sInt ownFrame = 0;
  SetLoadingScreen(&CountDraw, nullptr, &ownFrame);
  RefreshLoadingScreen();
  EXPECT_EQ(Draws, 1);
  EXPECT_TRUE(Dev->Lines("Present").empty());
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

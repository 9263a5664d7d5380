// The loader screen and its scene.
#include "show/loader.hpp"

#include "graphics/shader.hpp"
#include "show/startup.hpp"
#include "show/tmdata.hpp"

#include <cmath>

namespace
{
const sF32 Pi = 3.14159265f;

void DrawLoader(void *user) { static_cast<LoaderScreen *>(user)->Refresh(); }

const TextureEntry LoaderTextures[] = {
  {u"loader/supershape.jpg", u"loader/supershape.jpg", sTEX_2D | sTEX_ARGB8888, 0},
  {nullptr, nullptr, 0, 0},
};

// 0 the super shape, 1 the ring's cubes, 2 the floor; depth on, no culling, opaque
const MaterialEntry LoaderMaterials[] = {
  {7, 1, sMTRL_ZON, 0, 1, {0, 0, 0, 0}, {0, 0, 0, 0}},
  {0, 1, sMTRL_ZON, 0, 1, {0, 0, 0, 0}, {0, 0, 0, 0}},
  {0, 1, sMTRL_ZON, 0, 1, {0, 0, 0, 0}, {0, 0, 0, 0}},
  {sTMD_ENDKIND, 0, 0, 0, 0, {0, 0, 0, 0}, {0, 0, 0, 0}},
};

sVec3 Light(sF32 x, sF32 y, sF32 z)
{
  sVec3 d(x, y, z);
  sF32 len = std::sqrt(sDot(d, d));
  return d * (1.0f / len);
}

// a frame's wait, at least 1/15 s
constexpr sU32 LeastFrameGapMs = 67;

sInt ClampIndex(sInt i) { return i < 0 ? 0 : (i > LoaderScene::CubeCount - 1 ? LoaderScene::CubeCount - 1 : i); }
}

sBool LoaderFrameDue(sU32 now, sU32 shownBegin, sU32 shownEnd)
{
  sU32 since = now - shownEnd;
  return since >= LeastFrameGapMs && since >= shownEnd - shownBegin;
}

/****************************************************************************/
/***   Loader scene                                                       ***/
/****************************************************************************/

LoaderScene::LoaderScene(LoaderScreen *screen)
{
  Screen = screen;
  CreateTMData(LoaderTextures, LoaderMaterials, 0);

  LightSet &ls = *MaterialSet->LightSets[0];
  // the set's second colour word (0x404050 at first) is the first light's, which takes
  // 0x555053 below; the third light keeps the set's default colour
  ls.Ambient = 0x101013;
  const sVec3 dirs[3] = {Light(0.6f, -1.2f, 1.0f), Light(0.0f, 0.5f, 1.0f), Light(2.0f, 0.5f, 2.0f)};
  for(sInt i = 0; i < 3; i++)
  {
    ls.Directions[i] = dirs[i];
    ls.Positions[i] = dirs[i] * 1024.0f;
  }
  ls.Colors[0] = 0x555053;
  ls.Colors[1] = 0x333035;

  Shape = sNEW SuperShapeForm(0);
  const sF32 range0[4] = {Pi, 2 * Pi, -Pi / 2, -Pi};
  const sF32 range1[4] = {1.0f, 1.0f, 0.5f, 0.5f};
  Shape->Init(ArrayForm::PLANE, 2, 1, 128, 512, range0, range1, nullptr);
  AddObject(Shape);
  Shape->SetPreset(0);
  Shape->ShapeParams.Scale[0] = 4.5f;
  Shape->ShapeParams.Scale[1] = 4.5f;
  Shape->ShapeParams.Scale[2] = 1.0f;
  // the step of its gradient per unit of height (the material's Gradient y)
  Shape->ShapeParams.SuperWordC = 10.0f;
  ShaderMaterial4 *m = static_cast<ShaderMaterial4 *>(MaterialSet->Materials[0]);
  m->SpecularScale = 30.0f;
  m->SpecularOffset = 29.0f;

  for(sInt i = 0; i < CubeCount; i++)
  {
    sF32 t = i / 100.0f;
    CubeForm *c = sNEW CubeForm(1);
    c->UScale = c->VScale = 1.0f;
    c->Init(1, 0.2f, (std::sin(6 * Pi * t + Pi) * 20 + 25) * 0.2f, 0.2f);
    c->Matrix.EulerXYZ(0, 0, -2 * Pi * t);
    c->Matrix.l = sVec3(std::sin(2 * Pi * t) * 15, std::cos(2 * Pi * t) * 15, 0);
    c->Colour = 0x400000;
    CubeBase[i] = c->Matrix;
    Cubes[i] = c;
    AddObject(c);
  }

  Floor = sNEW ArrayForm(2);
  const sF32 floorRange[4] = {12, 3, -6, -1};
  Floor->Init(ArrayForm::PLANE, 1, 1, 16, 16, floorRange);
  Floor->Matrix.EulerXYZ(0, 0, Pi / 2);
  Floor->Matrix.l = sVec3(0, -2, 2);
  FloorBase = Floor->Matrix;
  AddObject(Floor);
}

void LoaderScene::Camera(sInt, sViewport *view)
{
  const ShowDisplayRecord &d = GetShowDisplay(DisplayIndex);
  view->ZoomY = 1.4f;
  view->ZoomX = d.Aspect > 0 ? 1.4f / d.Aspect : 1.4f;
  view->Camera.LookAt(sVec3(0, 0, 0), sVec3(Screen->Progress * 0.005f - 14, 0, 20));
}

void LoaderScene::Mark()
{
  sF32 percent = Screen->Steps / (Screen->Record->LoaderTotal * 0.01f);
  // the marker: the cube of the percentage lights up, the one before it dims
  Cubes[ClampIndex(sInt(percent) - 1)]->Colour = 0x202020;
  Cubes[ClampIndex(sInt(percent))]->Colour = 0xffffff;
}

void LoaderScene::Render(sInt, sViewport *)
{
  Mark();
  sF32 percent = Screen->Steps / (Screen->Record->LoaderTotal * 0.01f);
  sF32 q = percent * 0.01f;
  q = 1 - (q < 0 ? 0 : (q > 1 ? 1 : q));
  SuperShapeParams &p = Shape->ShapeParams;
  const sF32 a[4] = {6.0f, 200 * q + 60, 55 - 50 * q, 1000 - 990 * q};
  const sF32 b[4] = {6.0f, 200 * q + 250, 200 * q + 100, 100 - 99 * q};
  for(sInt i = 0; i < 4; i++)
  {
    p.ShapeA[i] = a[i];
    p.ShapeB[i] = b[i];
  }
  Shape->Build();

  sF32 spin = Screen->FrameProgress * 0.008f;
  sMat3x4 r;
  r.EulerXYZ(0, 0, -spin * spin);
  sF32 d = Screen->FrameProgress * 0.02f;
  d *= d;
  Shape->Matrix = r;
  Shape->Matrix.l.x += d;
  for(sInt i = 0; i < CubeCount; i++)
  {
    Cubes[i]->Matrix = CubeBase[i] * r;
    Cubes[i]->Matrix.l.x += d;
  }
  Floor->Matrix = FloorBase * r;
  Floor->Matrix.l.x += d;
}

/****************************************************************************/
/***   Loader screen                                                      ***/
/****************************************************************************/

LoaderScreen::LoaderScreen()
{
  Loader = nullptr;
  Record = nullptr;
  Active = 1;
  Progress = FrameProgress = Steps = Started = 0;
  Paced = Shown = PresentLast = 0;
  ShownBegin = ShownEnd = 0;
}

LoaderScreen::~LoaderScreen()
{
  Destroy();
}

void LoaderScreen::Start(StartupRecord *record)
{
  Record = record;
  if(Record->UseLoader == 1)
  {
    Loader = sNEW LoaderScene(this);
    Loader->Enter(0);
  }
  if(Record->UseLoader && sIsGfxActive())
  {
    sGraphicsCaps caps;
    sGetGraphicsCaps(caps);
    Paced = caps.SoftwareRasterizer;
    if(Paced) sLogF(u"sys", u"software rasteriser %s: the loader screen's frames are paced\n", caps.AdapterName);
  }
  SetLoadingScreen(DrawLoader, this, nullptr);
}

void LoaderScreen::DrawProgress(sInt screen, sBool advance)
{
  Step(screen, 1, advance);
}

void LoaderScreen::Step(sInt screen, sBool draw, sBool advance)
{
  if(!Active) return;
  if(FrameProgress > Record->LoaderLimit) Active = 0;
  // a step not drawn still moves the marker: the ring reads as if every step were drawn
  if(Loader && !draw) Loader->Mark();
  if(Loader && draw)
  {
    View.SetTarget();
    View.Prepare(15);
    Loader->DisplayIndex = screen;
    Loader->Camera(0, &View);
    Loader->Render(0, &View);
    Loader->RenderObjects(&View);
  }
  if(advance)
  {
    Progress += 10;
    if(Started) FrameProgress += 10;
    Steps++;
  }
}

void LoaderScreen::Refresh()
{
  if(!Record->UseLoader)
  {
    DrawProgress(0, 1);
    return;
  }
  sU32 begin = sGetTime();
  // paced on a software rasteriser, where a frame at every step would take most of the start-up
  if(Paced && Shown && !PresentLast && !LoaderFrameDue(begin, ShownBegin, ShownEnd))
  {
    Step(0, 0, 1);
    return;
  }
  PresentLast = 0;
  // a device that cannot begin a frame (being restored outside the paint message) leaves
  // nothing to draw into, but the work done still counts
  if(!sRender3DBegin())
  {
    Step(0, 0, 1);
    return;
  }
  sRenderTargetSpec spec(0x13, 0, nullptr, sGetScreenColorBuffer(0), sGetScreenDepthBuffer());
  sSetTarget(spec);
  DrawProgress(0, 1);
  sRender3DEnd(1);
  Shown = 1;
  ShownBegin = begin;
  ShownEnd = sGetTime();
}

void LoaderScreen::StartFrames()
{
  if(Started) return;
  Started = 1;
  FrameProgress = 0;
}

void LoaderScreen::Destroy()
{
  if(Loader)
  {
    Loader->Exit();
    sDELETE(Loader);
  }
  if(Record) SetLoadingScreen(nullptr, nullptr, nullptr);
  Record = nullptr;
}

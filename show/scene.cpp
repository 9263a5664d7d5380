// The scene base: construction and destruction, the default operations, the object list
// and its three passes, and the loader screen refresh of long start-up work.

#include "show/scene.hpp"

#include "graphics/shader.hpp"
#include "show/tmdata.hpp"

namespace
{
// The installed loader screen (see SetLoadingScreen).
struct LoadingScreenLink
{
  void (*Draw)(void *user) = nullptr;
  void *User = nullptr;
  const sInt *OwnFrame = nullptr;
};
LoadingScreenLink LoadingScreen;

// One auxiliary material: its states, then prepared for the format.
ShaderMaterial1 *AuxMaterial(sU32 flags, sU32 blend, sBool white, sVertexFormat *format)
{
  ShaderMaterial1 *m = sNEW ShaderMaterial1;
  m->S.Flags = flags;
  m->S.TextureFlags[0] = 0x11000010;   // clamped in u and v
  m->S.BlendColor = blend;
  if(white) m->Color = 0xffffffff;
  if(blend == 0x60105)
  {
    m->S.AlphaFunc = sCMP_GREATER;
    m->S.AlphaRef = 0x80;
    m->Options[2] = 1;   // fades the vertex colour by depth
  }
  m->Prepare(format);
  return m;
}

sGeometry *QuadGeometry()
{
  return sNEW sGeometry(sGF_QUADLIST, sVertexFormatPosColUV);
}

// The second component of each row of the placement: mirrors the form in y = 0.
void MirrorY(sMat3x4 &m)
{
  m.i.y = -m.i.y;
  m.j.y = -m.j.y;
  m.k.y = -m.k.y;
  m.l.y = -m.l.y;
}
}  // namespace

Scene::Scene()
{
  ObjectCount = 0;
  MainView = sNEW sViewport;
  MainView->ClipFar = 50000.0f;
  MainView->ZoomX = 800.0f;
  MainView->ZoomY = 800.0f;
  MainView->Prepare(15);
  QuadGeometry0 = QuadGeometry();
  OverlayView = sNEW sViewport;
  OverlayView->Orthogonal = sVO_PIXELS;
  OverlayView->Prepare(15);
  QuadGeometry1 = QuadGeometry();
  Materials[0] = AuxMaterial(0, 0, 1, sVertexFormatPosColUV);
  Materials[1] = AuxMaterial(0, 0x20102, 1, sVertexFormatPosColUV);
  Materials[2] = AuxMaterial(0, 0x20102, 0, sVertexFormatPosNormUV);
  Materials[3] = AuxMaterial(0, 0x20102, 1, sVertexFormatPosColUV);
  Materials[4] = AuxMaterial(3, 0x60105, 0, sVertexFormatTangent);
  for(sViewport *&v : AuxViews)
  {
    v = sNEW sViewport;
    v->Orthogonal = sVO_ZOOM;
  }
  RenderEnv.Value0 = 1.0f;
  RenderEnv.FogStart = 75.0f;
  RenderEnv.FogEnd = 4096.0f;
  RenderEnv.Value1 = 1.0f;
  RenderEnv.FogColor = 0xffffffff;
  Machine = nullptr;
  LayerMask = 0xffffffff;
  SyncSource = nullptr;
  TextureSetKind = 0;
  Resident = 0;
  DisplayIndex = 0;
  MaterialSet = nullptr;
  for(Form *&f : Objects) f = nullptr;
  DisplayWidth = DisplayHeight = 0;
  StepRemainder = 0;
  StepCount = 0;
  OwnClearColour = 1;
  Variant = 0;
  BaseVariant = 0;
  RenderMode = 0;
  OptionIndex = 0;
}

Scene::~Scene()
{
  for(sInt i = 0; i < ObjectCount; i++) sDELETE(Objects[i]);
  // a kind-2 scene only borrows the global set
  if(TextureSetKind == 0 || TextureSetKind == 1) sDELETE(MaterialSet);
  MaterialSet = nullptr;
  sDELETE(MainView);
  sDELETE(QuadGeometry0);
  sDELETE(OverlayView);
  sDELETE(QuadGeometry1);
  for(sInt i = 0; i < 4; i++) sDELETE(Materials[i]);
  for(sViewport *&v : AuxViews) sDELETE(v);
  sDELETE(Materials[4]);
}

sViewport *Scene::GetView(sInt) { return nullptr; }
void Scene::Init(SyncMachine *syncSource, sInt, TMData *) { SyncSource = syncSource; }
void Scene::Exit() {}
void Scene::Enter(sInt) {}
void Scene::Leave(sInt) {}
void Scene::Tick(sInt) {}
void Scene::Render(sInt, sViewport *) {}
void Scene::OnEvent(sInt) {}
void Scene::OnInput(sInput2Event *) {}
void Scene::Camera(sInt, sViewport *) {}
void Scene::AfterRender(sViewport *) {}
sInt Scene::NextVariant(sInt) { return -1; }

void Scene::AddObject(Form *form)
{
  sVERIFY(form);
  ObjectCount++;
  sVERIFY(ObjectCount>=0 && ObjectCount<(4096*2));
  Objects[ObjectCount - 1] = form;
}

void Scene::RenderObjects(sViewport *view)
{
  for(sInt i = 0; i < ObjectCount; i++)
  {
    Form *f = Objects[i];
    if(!(f->PassFlags & 1)) continue;
    MirrorY(f->Matrix);
    RenderForm(view, f, 1);
    MirrorY(f->Matrix);
  }
  for(sInt pass : {2, 4})
  {
    for(sInt i = 0; i < ObjectCount; i++)
    {
      Form *f = Objects[i];
      if(!(f->PassFlags & pass)) continue;
      if(f->ShadowSwitch && f->Shadow) RenderShadowMaps(f);
      RenderForm(view, f, 0);
    }
  }
}

void Scene::CreateTMData(const TextureEntry *textures, const MaterialEntry *materials, sInt flags)
{
  MaterialSet = sNEW TMData;
  MaterialSet->Build(textures, materials, flags);
}

void SetLoadingScreen(void (*draw)(void *user), void *user, const sInt *ownFrame)
{
  LoadingScreen.Draw = draw;
  LoadingScreen.User = draw ? user : nullptr;
  LoadingScreen.OwnFrame = draw ? ownFrame : nullptr;
}

void RefreshLoadingScreen()
{
  if(!LoadingScreen.Draw) return;
  if(!LoadingScreen.OwnFrame || !*LoadingScreen.OwnFrame)
  {
    LoadingScreen.Draw(LoadingScreen.User);
    return;
  }
  // a device being restored cannot begin a frame: then there is nothing to draw into
  if(!sRender3DBegin()) return;
  sRenderTargetSpec spec(0x13, 0, nullptr, sGetScreenColorBuffer(0), sGetScreenDepthBuffer());
  sSetTarget(spec);
  LoadingScreen.Draw(LoadingScreen.User);
  sRender3DEnd(1);
}

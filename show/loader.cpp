// The loader screen.
#include "show/loader.hpp"

#include "show/scene.hpp"
#include "show/startup.hpp"

Scene *(*sMakeLoaderScene)(LoaderScreen *loader) = nullptr;

namespace
{
void DrawLoader(void *user) { static_cast<LoaderScreen *>(user)->DrawProgress(0, 1); }
}

LoaderScreen::LoaderScreen()
{
  LoaderScene = nullptr;
  Record = nullptr;
  Active = 1;
  Progress = FrameProgress = Steps = Started = 0;
}

LoaderScreen::~LoaderScreen()
{
  Destroy();
}

void LoaderScreen::Start(StartupRecord *record)
{
  Record = record;
  if(Record->UseLoader == 1 && sMakeLoaderScene)
  {
    LoaderScene = sMakeLoaderScene(this);
    if(LoaderScene) LoaderScene->Enter(0);
  }
  SetLoadingScreen(DrawLoader, this, &Record->UseLoader);
}

void LoaderScreen::DrawProgress(sInt screen, sBool advance)
{
  if(!Active) return;
  if(FrameProgress > Record->LoaderLimit) Active = 0;
  if(LoaderScene)
  {
    View.SetTarget();
    View.Prepare(15);
    LoaderScene->DisplayIndex = screen;
    LoaderScene->Camera(0, &View);
    LoaderScene->Render(0, &View);
    LoaderScene->RenderObjects(&View);
  }
  if(advance)
  {
    Progress += 10;
    if(Started) FrameProgress += 10;
    Steps++;
  }
}

void LoaderScreen::StartFrames()
{
  if(Started) return;
  Started = 1;
  FrameProgress = 0;
}

void LoaderScreen::Destroy()
{
  if(LoaderScene)
  {
    LoaderScene->Exit();
    sDELETE(LoaderScene);
  }
  if(Record) SetLoadingScreen(nullptr, nullptr, nullptr);
  Record = nullptr;
}

#include "backend_util.hpp"
#include "render_fixture.hpp"

#include "platform/text/utf.hpp"
#include "platform/window/window.hpp"
#include "tools/shaderasm/asm.hpp"

#include <cstdlib>

RecApi *StartRecording()
{
  CurrentScreenMode = sScreenMode();
  RecApi *api = new RecApi;
  sSetGpuApi(api);
  sSetGfxWindow(reinterpret_cast<SDL_Window *>(sDInt(1)));
  sU32 flags = 0;
  sInt w = 640, h = 480;
  sInitScreenMode(flags, w, h);
  sInitGfx(flags, w, h);
  return api;
}

void StopGraphics()
{
  if(sIsRender3DInProgress()) sRender3DEnd(0);
  sExitGfx();
  sSetGfxWindow(nullptr);
  sSetGpuApi(nullptr);
  CurrentScreenMode = sScreenMode();
}

std::vector<uint32_t> Asm(const std::string &text)
{
  shaderasm::Result r = shaderasm::Assemble(text, "test", {});
  EXPECT_TRUE(r.Ok) << r.Error;
  return r.Code;
}

std::unique_ptr<plat::Window> StartOnWindow(sInt w, sInt h, sU32 flags)
{
  if(!getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY")) setenv("SDL_VIDEODRIVER", "offscreen", 0);
  plat::WindowDesc desc;
  desc.Title = u"graphics test";
  desc.Width = w;
  desc.Height = h;
  std::u16string error;
  std::unique_ptr<plat::Window> win = plat::Window::Create(desc, error);
  if(!win) return win;
  sSetGfxWindow(win->GetSdlWindow());
  sSetGpuApi(nullptr);
  sInitScreenMode(flags, w, h);
  sInitGfx(flags, w, h);
  return win;
}

std::vector<uint32_t> ReadTarget(sInt &w, sInt &h)
{
  w = DX.TargetSizeX;
  h = DX.TargetSizeY;
  std::vector<uint32_t> px = ReadScreen(w, h);
  for(uint32_t &p : px) p &= 0xffffff;
  return px;
}

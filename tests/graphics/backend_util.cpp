#include "backend_util.hpp"

#include "platform/text/utf.hpp"
#include "tools/shaderasm/asm.hpp"

RecApi *StartRecording(const RecConfig &config, sU32 flags, sInt w, sInt h, const sScreenMode *mode)
{
  CurrentScreenMode = sScreenMode();
  if(mode) CurrentScreenMode = *mode;
  RecApi *api = new RecApi(config);
  sSetGpuApi(api);
  sSetGfxWindow(reinterpret_cast<SDL_Window *>(sDInt(1)));
  sU32 f = flags;
  sInitScreenMode(f, w, h);
  sInitGfx(f, w, h);
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

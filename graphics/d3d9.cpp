// The device half of the back end: screen mode, device creation and restore, the frame,
// render targets, the state, texture and shader caches, state lists, device shaders,
// vertex declarations and constant uploads.

#include "graphics/internal.hpp"

#include "base/framemem.hpp"
#include "base/log.hpp"
#include "base/render3d.hpp"
#include "base/system.hpp"
#include "base/window.hpp"
#include "platform/text/utf.hpp"
#include "platform/window/window.hpp"

#include <cstring>
#include <memory>

using namespace plat::gpu;

sGfxBackEnd DX;
sScreenMode CurrentScreenMode;
sBool DontCheckMtrlPrepare = 1;
sVertexFormat *CurrentMtrlVFormat = nullptr;

namespace
{
sGpuApi *PendingApi = nullptr;
SDL_Window *GfxWindow = nullptr;
// the output windows of screens 1 to n-1 in multi-screen mode, and their present parameters
std::unique_ptr<plat::Window> OutputWindows[sMAX_SCREENS];
PresentParameters ScreenPP[sMAX_SCREENS];

struct sOccQueryNode
{
  sOccQueryNode *Next;
  sGpuRes *Query;
};
sOccQueryNode *AllOccQueryNodes = nullptr;
sBool OccQueryListMade = 0;

void DXErrorText(sS32 result, const sChar **name, const sChar **desc)
{
  static sChar nameBuf[64];
  static sChar descBuf[256];
  sCopyString8(nameBuf, plat::gpu::ResultName(result));
  sCopyString8(descBuf, plat::gpu::ResultDescription(result));
  *name = nameBuf;
  *desc = descBuf;
}

void ReleaseRes(sGpuRes *&res)
{
  if(res && DX.Dev) DX.Dev->Release(res);
  res = nullptr;
}
}

/****************************************************************************/
/***   Screen mode                                                        ***/
/****************************************************************************/

void sInitScreenMode(sU32 &flags, sInt &width, sInt &height)
{
  sScreenMode &m = CurrentScreenMode;
  if(m.Flags & sSM_VALID)
  {
    width = m.SizeX;
    height = m.SizeY;
    if(m.Aspect == 0.0f && m.SizeY > 0) m.Aspect = sF32(m.SizeX) / sF32(m.SizeY);
    if(m.Flags & sSM_FULLSCREEN) flags |= sISF_FULLSCREEN;
  }
  else
  {
    m.Flags = sSM_VALID | sSM_STENCIL;
    if(flags & 1) m.Flags |= sSM_FULLSCREEN;
    if(flags & 0x100) m.Flags |= sSM_NOVSYNC;
    if(flags & 0x200) m.Flags |= sSM_REFDEVICE;
    if(flags & sISF_MULTISCREEN) m.Flags |= sSM_MULTISCREEN;   // the start-up multi-screen flag is read here
    if(flags & 0x2000) m.MultiLevel = 255;
    m.SizeX = width;
    m.SizeY = height;
    m.Aspect = height > 0 ? sF32(width) / sF32(height) : 1.0f;   // no NaN for a size the device fills in later
  }
  DX.RestoreNeeded = 0;
}

void sSetScreenSize(sInt x, sInt y)
{
  sScreenMode &m = CurrentScreenMode;
  if(x == 0 || y == 0 || (x == m.SizeX && y == m.SizeY)) return;
  m.SizeX = x;
  m.SizeY = y;
  if(!(m.Flags & sSM_FULLSCREEN)) m.Aspect = sF32(x) / sF32(y);
  DX.RestoreNeeded = 1;
}

void sGetScreenMode(sScreenMode &mode) { mode = CurrentScreenMode; }

sInt sSetScreenMode(const sScreenMode &mode)
{
  sScreenMode n = mode;
  if(!(n.Flags & sSM_FULLSCREEN) && (CurrentScreenMode.Flags & sSM_VALID))
  {
    n.SizeX = CurrentScreenMode.SizeX;
    n.SizeY = CurrentScreenMode.SizeY;
  }
  if(std::memcmp(&n, &CurrentScreenMode, sizeof(n)) != 0)
  {
    CurrentScreenMode = n;
    DX.RestoreNeeded = 1;
  }
  return 0;
}

void sGetScreenSize(sInt &x, sInt &y)
{
  const sScreenMode &m = CurrentScreenMode;
  if(m.OutputSizeX && m.OutputSizeY)
  {
    x = m.OutputSizeX;
    y = m.OutputSizeY;
  }
  else
  {
    x = m.SizeX;
    y = m.SizeY;
  }
}

sF32 sGetScreenModeAspect() { return CurrentScreenMode.Aspect; }

/****************************************************************************/
/***   Screen formats                                                     ***/
/****************************************************************************/

void sFindScreenFormats(sInt display, sScreenMode &mode, sU32 &backBuffer, sU32 &depth, sU32 &displayFormat)
{
  sU32 adapter = display < 0 ? 0 : sU32(display);
  sBool windowed = !(mode.Flags & sSM_FULLSCREEN);
  sGpuApi *api = DX.Api;
  Format disp = FMT_X8R8G8B8;
  Format bb = FMT_A8R8G8B8;
  if(api->CheckDeviceType(adapter, DX.DevType, disp, bb, windowed) < 0) bb = FMT_X8R8G8B8;
  if(mode.Flags & sSM_16BIT)
  {
    if(api->CheckDeviceType(adapter, DX.DevType, FMT_R5G6B5, FMT_R5G6B5, windowed) >= 0)
      disp = bb = FMT_R5G6B5;
    else
      mode.Flags &= ~sSM_16BIT;
  }
  sDXCHECK(api->CheckDeviceType(adapter, DX.DevType, disp, bb, windowed));

  static const Format Table[8][4] = {
    {FMT_D32, FMT_D24X8, FMT_D16, FMT_UNKNOWN},
    {FMT_D16, FMT_D32, FMT_D24X8, FMT_UNKNOWN},
    {FMT_D32F_LOCKABLE, FMT_D16_LOCKABLE, FMT_UNKNOWN, FMT_UNKNOWN},
    {FMT_D16_LOCKABLE, FMT_D32F_LOCKABLE, FMT_UNKNOWN, FMT_UNKNOWN},
    {FMT_D24S8, FMT_UNKNOWN, FMT_UNKNOWN, FMT_UNKNOWN},
    {FMT_D24S8, FMT_UNKNOWN, FMT_UNKNOWN, FMT_UNKNOWN},
    {FMT_UNKNOWN, FMT_UNKNOWN, FMT_UNKNOWN, FMT_UNKNOWN},
    {FMT_UNKNOWN, FMT_UNKNOWN, FMT_UNKNOWN, FMT_UNKNOWN},
  };
  Format found = FMT_UNKNOWN;
  for(sInt round = 1; round <= 5 && found == FMT_UNKNOWN; round++)
  {
    if(round == 2) mode.Flags &= ~sSM_DEPTHLOCK;
    if(round == 3) mode.Flags &= ~sSM_STENCIL;
    sInt row = ((mode.Flags & sSM_DEPTH16) ? 1 : 0) | ((mode.Flags & sSM_DEPTHLOCK) ? 2 : 0) |
               ((mode.Flags & sSM_STENCIL) ? 4 : 0);
    for(sInt i = 0; i < 4 && Table[row][i] != FMT_UNKNOWN; i++)
    {
      Format f = Table[row][i];
      if(api->CheckDeviceFormat(adapter, DX.DevType, disp, USAGE_DEPTHSTENCIL, RTYPE_SURFACE, f) < 0) continue;
      if(api->CheckDepthStencilMatch(adapter, DX.DevType, disp, bb, f) < 0) continue;
      found = f;
      break;
    }
  }
  if(found == FMT_UNKNOWN) sFatal(u"can't find a fitting z-buffer");
  backBuffer = bb;
  depth = found;
  displayFormat = disp;
}

/****************************************************************************/
/***   Device creation and restore                                        ***/
/****************************************************************************/

void sSetGpuApi(sGpuApi *api)
{
  if(DX.Api && DX.Api != api && !DX.Dev)
  {
    delete DX.Api;
    DX.Api = nullptr;
  }
  PendingApi = api;
}

void sSetGfxWindow(SDL_Window *window) { GfxWindow = window; }
sGpuDevice *sGetGpuDevice() { return DX.Dev; }
sBool sIsGfxActive() { return DX.Active; }
sBool sIsRender3DInProgress() { return DX.Render3DInProgress; }
sInt sGetScreenCount() { return DX.ScreenCount; }
sGraphicsStats &sGetFrameStats() { return DX.Stats; }
void sGetGraphicsCaps(sGraphicsCaps &caps) { caps = DX.Caps; }
void sGetGraphicsStats(sGraphicsStats &stats) { stats = DX.LastStats; }

sTexture2D *sGetScreenColorBuffer(sInt screen)
{
  sInt DXScreenCount = DX.ScreenCount;
  if(!(screen >= 0 && screen < DXScreenCount))
  {
    sDPrintF(u"sGetScreenColorBuffer sFATAL, screen: %d, DXScreenCount: %d\n", screen, DXScreenCount);
    sVERIFY(screen>=0 && screen<DXScreenCount);
  }
  return DX.ScreenColor[screen];
}

sTexture2D *sGetScreenDepthBuffer() { return DX.ScreenDepth; }
sTexture2D *sGetLargeDepthBuffer() { return DX.LargeDepth; }

namespace
{
void FillPresentParameters()
{
  sScreenMode &m = CurrentScreenMode;
  PresentParameters pp;
  pp.BackBufferFormat = DX.BackBufferFormat;
  if(m.Flags & sSM_FULLSCREEN)
  {
    pp.BackBufferWidth = sU32(m.SizeX);
    pp.BackBufferHeight = sU32(m.SizeY);
    pp.BackBufferCount = 2;
    pp.Swap = SWAPEFFECT_FLIP;
    pp.Windowed = false;
  }
  else
  {
    if(DX.Window)
    {
      // the window's own size: the mode may still hold the size of an earlier window
      sInt w = 0, h = 0;
      if(!DX.Api || !DX.Api->GetClientSize(DX.Window, w, h))
      {
        plat::Window *main = sGetMainWindow();
        int mw = 0, mh = 0;
        if(main && main->GetSdlWindow() == DX.Window) main->GetClientSize(mw, mh);
        w = mw;
        h = mh;
      }
      if(w > 0 && h > 0 && (w != m.SizeX || h != m.SizeY))
      {
        // the aspect follows the size taken, or the picture would be stretched
        m.SizeX = w;
        m.SizeY = h;
        m.Aspect = sF32(w) / sF32(h);
      }
    }
    pp.BackBufferWidth = sU32(m.SizeX);
    pp.BackBufferHeight = sU32(m.SizeY);
    pp.BackBufferCount = 1;
    pp.Swap = SWAPEFFECT_DISCARD;
    pp.Windowed = true;
  }
  pp.PresentationInterval = (m.Flags & sSM_NOVSYNC) ? PRESENT_INTERVAL_IMMEDIATE : PRESENT_INTERVAL_DEFAULT;
  DX.PP = pp;
}

sBool UseMultisampling()
{
  // a device that refused multisampling is never asked for a quality level
  return CurrentScreenMode.MultiLevel >= 0 && DX.Caps.MaxMultisampleLevel > 0;
}

void ReadCaps()
{
  sDXCHECK(DX.Api->GetDeviceCaps(DX.Adapter, DX.DevType, DX.DevCaps));
}

// Steps after the device exists (and after a reset): caps, buffers, pacing.
void FinishDevice(sBool creation)
{
  sScreenMode &m = CurrentScreenMode;
  // depth texture formats
  DX.Caps.Flags = 0;
  auto depthTex = [](Format f) {
    return DX.Api->CheckDeviceFormat(DX.Adapter, DX.DevType, DX.DisplayFormat, USAGE_DEPTHSTENCIL, RTYPE_TEXTURE, f) >=
           0;
  };
  if(depthTex(FMT_INTZ)) DX.Caps.Flags |= sGCF_INTZ;
  else if(depthTex(FMT_DF24)) DX.Caps.Flags |= sGCF_DF24;
  else if(depthTex(FMT_RAWZ)) DX.Caps.Flags |= sGCF_RAWZ;
  if(DX.Api->CheckDeviceFormat(DX.Adapter, DX.DevType, DX.DisplayFormat, USAGE_RENDERTARGET, RTYPE_SURFACE,
                               FMT_RESZ) >= 0)
    DX.Caps.Flags |= sGCF_RESZ;
  DX.Caps.XSOffset = 0.0f;
  DX.Caps.YSOffset = -0.5f;
  ReadCaps();
  sU32 vs = DX.DevCaps.VertexShaderVersion & 0xffff;
  sU32 ps = DX.DevCaps.PixelShaderVersion & 0xffff;
  DX.Caps.ShaderProfile = (vs >= 0x300 && ps >= 0x300) ? 259 : (vs >= 0x200 && ps >= 0x200) ? 258 : 256;
  sLogF(u"gfx", u"caps.AdapterName           %s\n", DX.Caps.AdapterName);
  sLogF(u"gfx", u"caps.Flags                 %08x\n", DX.Caps.Flags);
  sLogF(u"gfx", u"caps.MaxMultisampleLevel   %d\n", DX.Caps.MaxMultisampleLevel);
  sLogF(u"gfx", u"caps.ShaderProfile         %04x\n", DX.Caps.ShaderProfile);
  sLogF(u"gfx", u"caps.Texture2D             %016x\n", DX.Caps.Texture2D);
  sLogF(u"gfx", u"caps.TextureCube           %016x\n", DX.Caps.TextureCube);
  sLogF(u"gfx", u"caps.TextureRT             %016x\n", DX.Caps.TextureRT);
  sLogF(u"gfx", u"caps.VertexTex2D           %016x\n", DX.Caps.VertexTex2D);
  sLogF(u"gfx", u"caps.VertexTexCube         %016x\n", DX.Caps.VertexTexCube);
  if(sCompareString(sGetPlatformInfix(), u".pcl") != 0)
    sSetPlatformInfix(DX.Caps.ShaderProfile == 259 ? u".pch" : u".pcl");
  if(!(DX.Caps.Flags & (sGCF_RAWZ | sGCF_INTZ | sGCF_DF24))) m.Flags &= ~sSM_READZ;

  sU32 msaa = UseMultisampling() ? sU32(sTEX_MSAA) : 0u;
  sInt depthX = m.SizeX, depthY = m.SizeY;
  if(m.Flags & sSM_SCREENSIZES)
  {
    for(sInt s = 1; s < DX.ScreenCount && s <= 3; s++)
    {
      if(m.ScreenSizeX[s - 1] > depthX) depthX = m.ScreenSizeX[s - 1];
      if(m.ScreenSizeY[s - 1] > depthY) depthY = m.ScreenSizeY[s - 1];
    }
  }
  sU32 depthFormat = (m.Flags & sSM_READZ) ? sTEX_PCF24 : sTEX_DEPTH24NOREAD;
  DX.ScreenDepth = sNEW sTexture2D(depthX, depthY,
                                   sTEX_2D | sTEX_NOMIPMAPS | sTEX_RENDERTARGET | sTEX_SCREENDEPTH | msaa | depthFormat,
                                   1);

  for(sInt s = 0; s < DX.ScreenCount; s++)
  {
    sInt x = m.SizeX, y = m.SizeY;
    if(s > 0 && (m.Flags & sSM_SCREENSIZES) && s <= 3)
    {
      x = m.ScreenSizeX[s - 1];
      y = m.ScreenSizeY[s - 1];
    }
    // a screen's colour buffer is a render target: its multisampled surface needs the flag
    sTexture2D *tex = sNEW sTexture2D;
    sVERIFY(tex->Tex == nullptr);
    tex->Init(x, y, sTEX_2D | sTEX_NOMIPMAPS | sTEX_RENDERTARGET | sTEX_BACKBUFFER | msaa | sTEX_ARGB8888, 1);
    sGpuRes *bb = nullptr;
    sDXCHECK(DX.Dev->GetBackBuffer(sU32(s), &bb));
    tex->Surf2D = bb;
    DX.ScreenColor[s] = tex;
  }

  for(sInt i = 0; i < 2; i++)
    sDXCHECK(DX.Dev->CreateOffscreenPlainSurface(16, 16, FMT_A8R8G8B8, POOL_SYSTEMMEM, &DX.Pacing[i]));

  if(creation)
  {
    sEmptyGeoBufferPool();
    sCreateQuadIndex();
  }

  sInt lx = m.MinTargetSizeX > depthX ? m.MinTargetSizeX : depthX;
  sInt ly = m.MinTargetSizeY > depthY ? m.MinTargetSizeY : depthY;
  DX.LargeDepth = sNEW sTexture2D(lx, ly, sTEX_2D | sTEX_NOMIPMAPS | sTEX_RENDERTARGET | sTEX_DEPTH24NOREAD, 1);
  DX.RestoreNeeded = 0;
  DX.Active = 1;
}

void DeleteScreenBuffers()
{
  for(sTexture2D *&t : DX.ScreenColor) sDELETE(t);
  sDELETE(DX.ScreenDepth);
  sDELETE(DX.LargeDepth);
  ReleaseRes(DX.Pacing[0]);
  ReleaseRes(DX.Pacing[1]);
}

void RestoreDevice()
{
  sS32 r = DX.Dev->TestCooperativeLevel();
  if(r == ERR_DEVICELOST) return;

  DeleteScreenBuffers();
  sReleaseDynamicGeoBuffers();
  sCallHook(sGfxLostDeviceHook);
  sReleaseReadBack();
  for(sOccQueryNode *n = AllOccQueryNodes; n; n = n->Next) ReleaseRes(n->Query);
  sLogF(u"gfx", u"restoring device\n");

  // release and re-create over a snapshot: a texture leaving the table moves others in it
  sInt max = DX.RTCount;
  sTexture2D *snapshot[MAX_RENDERTARGETS];
  for(sInt i = 0; i < max; i++) snapshot[i] = DX.RTTable[i];
  for(sInt i = 0; i < max; i++) snapshot[i]->OnLostDevice(0);

  FillPresentParameters();
  r = DX.Dev->Reset(DX.PP);
  if(r == ERR_DEVICELOST)
  {
    sLogF(u"gfx", u"device still lost - ignoring\n");
  }
  else
  {
    sDXCHECK(r);
  }
  for(sInt i = 0; i < max; i++) snapshot[i]->OnLostDevice(1);
  sInt DXRTCount = DX.RTCount;
  sVERIFY(max==DXRTCount);
  for(sOccQueryNode *n = AllOccQueryNodes; n; n = n->Next) sDXCHECK(DX.Dev->CreateQuery(QUERY_OCCLUSION, &n->Query));

  DX.ScreenCount = DX.ScreenCount < 1 ? 1 : DX.ScreenCount;
  FinishDevice(0);
}

// Screens 1 to n-1: the present parameters of screen 0 with the screen's own size (mode
// flag 0x800, screens 1 to 3), each shown in a window of its own over its display, made
// once and kept. A group larger than the displays the window system knows (a device
// stand-in) puts the windows of the missing ones on the first.
void MakeOutputWindows()
{
  sScreenMode &m = CurrentScreenMode;
  sInt displays = plat::GetDisplayCount();
  for(sInt s = 1; s < DX.ScreenCount; s++)
  {
    PresentParameters &pp = ScreenPP[s];
    pp = DX.PP;
    if((m.Flags & sSM_SCREENSIZES) && s <= 3)
    {
      pp.BackBufferWidth = sU32(m.ScreenSizeX[s - 1]);
      pp.BackBufferHeight = sU32(m.ScreenSizeY[s - 1]);
    }
    if(!OutputWindows[s] || OutputWindows[s]->IsDestroyed())
    {
      plat::WindowDesc desc;
      desc.Title = u"Sparkvane output";
      desc.Width = sInt(pp.BackBufferWidth);
      desc.Height = sInt(pp.BackBufferHeight);
      desc.Display = s < displays ? s : 0;
      desc.CoverDisplay = 1;
      std::u16string error;
      OutputWindows[s] = plat::Window::Create(desc, error);
      if(!OutputWindows[s])
      {
        sLogF(u"gfx", u"output window %d: %s\n", s, error.c_str());
        sFatal(u"failed to initialize 3d graphics");
      }
    }
    pp.DeviceWindow = OutputWindows[s]->GetSdlWindow();
  }
}

void CreateDevice(sU32 flags)
{
  sScreenMode &m = CurrentScreenMode;
  DontCheckMtrlPrepare = !sShellSwitch(u"checkmtrlprepare");
  DX.DevType = (flags & 0x200) ? DEVTYPE_REF : DEVTYPE_HAL;
  if(!DX.Api)
  {
    DX.Api = PendingApi ? PendingApi : sCreateGpuApiReal();
    PendingApi = nullptr;
    if(!DX.Api) sFatal(u"Could not create DirectX9");
  }
  sSetDXErrorText(DXErrorText);
  DX.Adapter = m.Display < 0 ? 0 : sU32(m.Display);

  sU32 bb, depth, disp;
  sFindScreenFormats(m.Display, m, bb, depth, disp);
  DX.BackBufferFormat = Format(bb);
  DX.DepthFormat = Format(depth);
  DX.DisplayFormat = Format(disp);
  sU32 levels = 0;
  sBool windowed = !(m.Flags & sSM_FULLSCREEN);
  if(DX.Api->CheckDeviceMultiSampleType(DX.Adapter, DX.DevType, DX.BackBufferFormat, windowed,
                                        MULTISAMPLE_NONMASKABLE, &levels) < 0)
    DX.Caps.MaxMultisampleLevel = -1;
  else
    DX.Caps.MaxMultisampleLevel = sInt(levels);
  sInt msLevel = DX.Caps.MaxMultisampleLevel;
  ReadCaps();

  if(m.SizeX == 0 || m.SizeY == 0)
  {
    DisplayMode dm;
    if(DX.Api->GetAdapterDisplayMode(DX.Adapter, dm) < 0) sFatal(u"DX error");
    m.SizeX = sInt(dm.Width);
    m.SizeY = sInt(dm.Height);
    m.Aspect = sF32(m.SizeX) / sF32(m.SizeY);
  }
  sLogF(u"gfx", u"init d3d %d x %d\n", m.SizeX, m.SizeY);
  sLogF(u"gfx", u"adapter id: %d\n", sInt(DX.Adapter));

  DX.ScreenCount = 1;
  if(m.Flags & sSM_MULTISCREEN)
  {
    sU32 flags2 = m.Flags;
    sVERIFY(flags2 & sSM_FULLSCREEN);
    sInt group = sInt(DX.DevCaps.NumberOfAdaptersInGroup);
    sLogF(u"gfx", u"DXCaps.NumberOfAdaptersInGroup: %d\n", group);
    if(group < 1) group = 1;
    if(group > sMAX_SCREENS)
      sFatalF(u"You graphics card can drive up to %d screens, but this application does only support %d screens in "
              u"multi-screen mode.",
              group, sInt(sMAX_SCREENS));
    if(group < 2)
    {
      AdapterIdentifier id;
      std::memset(&id, 0, sizeof(id));
      DX.Api->GetAdapterIdentifier(DX.Adapter, id);
      sFatalF(u"Only one video device detected on %s.\nPlease switch on your second video device obefore starting "
              u"Sparkvane.\n",
              plat::ToUtf16(id.Description).c_str());
    }
    DX.ScreenCount = group;
  }

  DX.Window = GfxWindow;
  if(!DX.Window)
  {
    plat::Window *main = sGetMainWindow();
    DX.Window = main ? main->GetSdlWindow() : nullptr;
  }
  FillPresentParameters();
  SDL_Window *sHWND = DX.Window;
  sVERIFY(sHWND!=0);
  if(DX.ScreenCount > 1) MakeOutputWindows();

  DX.Behaviour = ((DX.DevCaps.DevCaps & DEVCAPS_HWTRANSFORMANDLIGHT) && (DX.DevCaps.VertexShaderVersion & 0xffff) >= 0x101)
                   ? CREATE_HARDWARE_VERTEXPROCESSING
                   : CREATE_SOFTWARE_VERTEXPROCESSING;
  if(DX.ScreenCount > 1) DX.Behaviour |= CREATE_ADAPTERGROUP_DEVICE;
  sCheckTextureFormats();
  DX.Caps.MaxMultisampleLevel = msLevel;
  sCallHook(sGraphicsInitHook.load());

  sS32 r;
  if(DX.ScreenCount > 1)
  {
    ScreenPP[0] = DX.PP;
    r = DX.Api->CreateGroupDevice(DX.Adapter, DX.DevType, DX.Window, DX.Behaviour, ScreenPP, sU32(DX.ScreenCount),
                                  &DX.Dev);
  }
  else
  {
    r = DX.Api->CreateDevice(DX.Adapter, DX.DevType, DX.Window, DX.Behaviour, DX.PP, &DX.Dev);
  }
  if(r < 0 || !DX.Dev)
  {
    if(DX.ScreenCount == 1)
    {
      m.SizeX = 800;
      m.SizeY = 600;
      m.Aspect = 4.0f / 3.0f;
      sLogF(u"gfx", u"retry d3d %d x %d\n", m.SizeX, m.SizeY);
      DX.PP.BackBufferWidth = 800;
      DX.PP.BackBufferHeight = 600;
      r = DX.Api->CreateDevice(DX.Adapter, DX.DevType, DX.Window, DX.Behaviour, DX.PP, &DX.Dev);
    }
    if(r < 0 || !DX.Dev) sFatal(u"failed to initialize 3d graphics");
  }
  m.SizeX = sInt(DX.PP.BackBufferWidth);
  m.SizeY = sInt(DX.PP.BackBufferHeight);

  AllOccQueryNodes = nullptr;
  OccQueryListMade = 1;
  sInitGraphicsCore();
  FinishDevice(1);
}
}

/****************************************************************************/
/***   Screen information                                                 ***/
/****************************************************************************/

sScreenInfo::sScreenInfo()
{
  Flags = 0;
  Display = 0;
  DesktopSizeX = DesktopSizeY = 0;
  DesktopAspect = 0.0f;
  QualityLevels = 0;
  MonitorId[0] = 0;
}

void sScreenInfo::Clear()
{
  Sizes.Clear();
  RefreshRates.Clear();
  AspectRatios.Clear();
  Flags = 0;
  Display = 0;
  DesktopSizeX = DesktopSizeY = 0;
  DesktopAspect = 0.0f;
  QualityLevels = 0;
  MonitorId[0] = 0;
}

namespace
{
// exchange sort: an element is swapped with a later one that is smaller
template <class T, class Less> void ExchangeSort(sDynamicArray<T> &a, Less less)
{
  for(sInt i = 0; i < a.GetSize(); i++)
    for(sInt j = i + 1; j < a.GetSize(); j++)
      if(less(a[j], a[i]))
      {
        T t = a[i];
        a[i] = a[j];
        a[j] = t;
      }
}
}

void sGetScreenInfo(sScreenInfo &info, sU32 flags, sInt display)
{
  if(!DX.Api)
  {
    DX.Api = PendingApi ? PendingApi : sCreateGpuApiReal();
    PendingApi = nullptr;
    if(!DX.Api) sFatal(u"Could not create DirectX9");
  }
  info.Clear();
  info.Flags = flags;
  info.Display = display;
  sU32 adapter = display < 0 ? 0 : sU32(display);
  if(display >= 0 && DX.Active && DX.ScreenCount > 1)
    adapter = sU32(display) < DX.DevCaps.NumberOfAdaptersInGroup ? sU32(display) : 0;
  sScreenMode mode = CurrentScreenMode;
  sU32 bb, depth, disp;
  sFindScreenFormats(sInt(adapter), mode, bb, depth, disp);
  sU32 count = DX.Api->GetAdapterModeCount(adapter, Format(disp));
  for(sU32 i = 0; i < count; i++)
  {
    DisplayMode dm;
    if(DX.Api->EnumAdapterModes(adapter, Format(disp), i, dm) < 0) continue;
    sBool seen = 0;
    for(const sScreenInfoXY &s : info.Sizes) seen |= s.x == sInt(dm.Width) && s.y == sInt(dm.Height);
    if(!seen) info.Sizes.AddTail(sScreenInfoXY{sInt(dm.Width), sInt(dm.Height)});
    seen = 0;
    for(sInt r : info.RefreshRates) seen |= r == sInt(dm.RefreshRate);
    if(!seen) info.RefreshRates.AddTail(sInt(dm.RefreshRate));
  }
  static const sScreenInfoXY ratios[] = {{5, 4}, {4, 3}, {16, 10}, {16, 9}};
  for(const sScreenInfoXY &r : ratios) info.AspectRatios.AddTail(r);
  ExchangeSort(info.Sizes, [](const sScreenInfoXY &a, const sScreenInfoXY &b) { return a.x * a.y < b.x * b.y; });
  ExchangeSort(info.RefreshRates, [](sInt a, sInt b) { return a < b; });
  ExchangeSort(info.AspectRatios,
               [](const sScreenInfoXY &a, const sScreenInfoXY &b) { return a.x * b.y < b.x * a.y; });
  sU32 levels = 0;
  sS32 r = DX.Api->CheckDeviceMultiSampleType(adapter, DX.DevType, Format(bb), !(mode.Flags & sSM_FULLSCREEN),
                                              MULTISAMPLE_NONMASKABLE, &levels);
  if(r < 0 && r != ERR_NOTAVAILABLE) sDXCHECK(r);
  info.QualityLevels = r < 0 ? 0 : sInt(levels);
  DisplayMode desk;
  if(DX.Api->GetAdapterDisplayMode(adapter, desk) >= 0)
  {
    info.DesktopSizeX = sInt(desk.Width);
    info.DesktopSizeY = sInt(desk.Height);
    info.DesktopAspect = desk.Height ? sF32(desk.Width) / sF32(desk.Height) : 0.0f;
  }
  AdapterIdentifier id;
  std::memset(&id, 0, sizeof(id));
  if(DX.Api->GetAdapterIdentifier(adapter, id) >= 0) sCopyString8(info.MonitorId, id.DeviceName);
}

/****************************************************************************/
/***   Start-up and exit                                                  ***/
/****************************************************************************/

void sInitGfx(sU32 flags, sInt, sInt)
{
  if(DX.Dev)
  {
    RestoreDevice();
    return;
  }
  sForgetStateCache();
  CreateDevice(flags);
}

void sFreeOccQueries()
{
  while(AllOccQueryNodes)
  {
    sOccQueryNode *n = AllOccQueryNodes;
    AllOccQueryNodes = n->Next;
    ReleaseRes(n->Query);
    sDelete(n);
  }
}

void sExitGfx()
{
  if(!DX.Dev)
  {
    if(DX.Api) delete DX.Api;
    DX.Api = nullptr;
    return;
  }
  sFreeOccQueries();
  OccQueryListMade = 0;
  DX.Active = 0;
  sReleaseQuadIndex();
  sFreeGeoBuffers();
  sExitGraphicsCore();
  DeleteScreenBuffers();
  sReleaseReadBack();
  sReleaseAllTextures();
  ReleaseRes(DX.CurrentColor);
  ReleaseRes(DX.CurrentDepth);
  delete DX.Dev;
  DX.Dev = nullptr;
  for(std::unique_ptr<plat::Window> &w : OutputWindows) w.reset();
  delete DX.Api;
  DX.Api = nullptr;
  DX.ActiveRT = nullptr;
  DX.BoundDepth = nullptr;
  DX.Render3DInProgress = 0;
  DX.RestoreNeeded = 0;
  DX.ScreenCount = 0;
  DX.CurrentVS = DX.CurrentPS = nullptr;
  for(sTextureBase *&t : DX.TextureCache) t = nullptr;
  DX.Stats = sGraphicsStats();
  DX.LastStats = sGraphicsStats();
  CurrentMtrlVFormat = nullptr;
}

/****************************************************************************/
/***   Frame                                                              ***/
/****************************************************************************/

sBool sRender3DBegin()
{
  sTextureBase *DXActiveRT = DX.ActiveRT;
  sBool Render3DInProgress = DX.Render3DInProgress;
  sVERIFY(DXActiveRT==0);
  sVERIFY(Render3DInProgress==0);
  if(!DX.Active)
  {
    sLogF(u"gfx", u"sRender3DBegin() fail: not active\n");
    return 0;
  }
  if(DX.RestoreNeeded)
  {
    if(!sIsFrameInProgress())
    {
      sLogF(u"gfx", u"sRender3DBegin() fail: can not restore\n");
      return 0;
    }
    RestoreDevice();
  }

  DX.Render3DInProgress = 1;
  if(DX.Dev->BeginScene() >= 0)
  {
    // pacing: the lock of the surface filled one frame ago waits for the device
    sDXCHECK(DX.Dev->ColorFill(DX.Pacing[DX.PacingIndex], nullptr, 0xff002050));
    DX.PacingIndex ^= 1;
    LockedRect lr;
    if(DX.Dev->LockSurface(DX.Pacing[DX.PacingIndex], lr, LOCK_READONLY) >= 0) DX.Dev->UnlockSurface(DX.Pacing[DX.PacingIndex]);

    DX.Stats.Frames++;
    sForgetStateCache();
    Material mat;
    std::memset(&mat, 0, sizeof(mat));
    mat.Diffuse = {1, 1, 1, 1};
    mat.Ambient = {1, 1, 1, 1};
    DX.Dev->SetMaterial(mat);
    static const sU32 frameStates[] = {RS_SCISSORTESTENABLE, 1, RS_DIFFUSEMATERIALSOURCE, 1,
                                       RS_SPECULARMATERIALSOURCE, 0, RS_AMBIENTMATERIALSOURCE, 0,
                                       RS_EMISSIVEMATERIALSOURCE, 0};
    sSetStates(frameStates, 5);
    for(sInt i = 0; i < 16; i++)
    {
      sU32 pair[2] = {sU32(256 + i * 16 + SAMP_BORDERCOLOR), 0xffffffff};
      sSetStates(pair, 1);
    }
    sS32 zero[16] = {};
    if(DX.Caps.ShaderProfile >= 258) DX.Dev->SetVertexShaderConstantB(0, zero, 16);
    if(DX.Caps.ShaderProfile == 259) DX.Dev->SetPixelShaderConstantB(0, zero, 16);

    DX.ActiveRT = nullptr;
    DX.BoundDepth = nullptr;
    DX.BoundTargets = 1;
    DX.CurrentVS = DX.CurrentPS = nullptr;
    CurrentMtrlVFormat = nullptr;
    sForgetDrawBindings();
    sResetCBufferSlots();
    for(sInt i = 0; i < 16; i++)
    {
      DX.TextureCache[i] = reinterpret_cast<sTextureBase *>(1);
      sSetTexture(i, nullptr);
    }
    for(sInt i = 0; i < 4; i++)
    {
      DX.TextureCache[16 + i] = reinterpret_cast<sTextureBase *>(1);
      sSetTexture(sMTRL_VSTEX + i, nullptr);
    }
    DX.TargetSizeX = CurrentScreenMode.SizeX;
    DX.TargetSizeY = CurrentScreenMode.SizeY;
    DX.TargetAspect = CurrentScreenMode.Aspect;
    DX.WindowRect = sRect{0, 0, CurrentScreenMode.SizeX, CurrentScreenMode.SizeY};
  }
  sUnlockGeoBuffers();
  return 1;
}

void sRender3DEnd(sBool present)
{
  if(DX.Render3DInProgress)
  {
    if(present) sCallHook(sGfxPrePresentHook);
    for(sInt s = 0; s < DX.ScreenCount; s++) sResolveTexture(DX.ScreenColor[s]);
    DX.Dev->SetDepthStencilSurface(nullptr);
    ReleaseRes(DX.CurrentColor);
    ReleaseRes(DX.CurrentDepth);
    // targets 1-3 of the frame's last binding must not stay bound into the next frame
    for(sInt i = 1; i < DX.BoundTargets; i++) DX.Dev->SetRenderTarget(sU32(i), nullptr);
    DX.ActiveRT = nullptr;
    DX.BoundDepth = nullptr;
    DX.BoundTargets = 0;
    DX.Render3DInProgress = 0;
    DX.Dev->EndScene();
    sResetGeoBuffersFrame();
    if(present)
    {
      sS32 r = DX.Dev->Present();
      if(r == ERR_DEVICELOST) DX.RestoreNeeded = 1;
      else if(r == ERR_DEVICEHUNG) sLogF(u"gfx", u"DX Error 0x88760879: leaving this error unhandled!\n");
      else sDXCHECK(r);
    }
    DX.LastStats = DX.Stats;
    DX.LastStats.StaticTextureMem = DX.StaticTextureMem;
    DX.LastStats.StaticVertexMem = sGetStaticVertexMem();
    DX.LastStats.GeoBuffersUsed = sGetGeoBuffersHoldingData();
    sInt frames = DX.Stats.Frames;
    DX.Stats = sGraphicsStats();
    DX.Stats.Frames = frames;
    sFlipFrameMemory();
    if(present) sCallHook(sGfxEndFrameHook);
  }
  sTextureBase *DXActiveRT = DX.ActiveRT;
  sVERIFY(DXActiveRT==0);
}

/****************************************************************************/
/***   Render targets                                                     ***/
/****************************************************************************/

namespace
{
void SetColorSurface(sGpuRes *surf)
{
  if(surf == DX.CurrentColor)
  {
    DX.Dev->Release(surf);
    return;
  }
  sDXCHECK(DX.Dev->SetRenderTarget(0, surf));
  ReleaseRes(DX.CurrentColor);
  DX.CurrentColor = surf;
}

void SetDepthSurface(sGpuRes *surf)
{
  if(surf == DX.CurrentDepth)
  {
    if(surf) DX.Dev->Release(surf);
    return;
  }
  sDXCHECK(DX.Dev->SetDepthStencilSurface(surf));
  ReleaseRes(DX.CurrentDepth);
  DX.CurrentDepth = surf;
}

// The surface of a target level, with a reference for the caller.
sGpuRes *TargetSurface(sTextureBase *tex, sInt mipmap, sInt face)
{
  (void)face;
  if(tex->Surf2D)
  {
    sVERIFYAS(mipmap == 0, u"para.Mipmap==0");
    DX.Dev->AddRef(tex->Surf2D);
    return tex->Surf2D;
  }
  sVERIFY((tex->Flags & sTEX_TYPE_MASK) == sTEX_2D);
  sGpuRes *s = nullptr;
  sDXCHECK(DX.Dev->GetSurfaceLevel(tex->Tex, sU32(mipmap), &s));
  return s;
}

sBool NewestOnlyInTexture(sTextureBase *t) { return (t->RTState & 2) && !(t->RTState & 1); }
}

void sSetTarget(const sRenderTargetSpec &para)
{
  sBool Render3DInProgress = DX.Render3DInProgress;
  sVERIFY(Render3DInProgress);
  sU32 clear;
  sInt index = para.Depth ? sInt(para.Flags & 3) : sInt(para.Flags & 1);
  static const sU32 masks[4] = {0, CLEAR_TARGET, CLEAR_ZBUFFER | CLEAR_STENCIL,
                                CLEAR_TARGET | CLEAR_ZBUFFER | CLEAR_STENCIL};
  clear = masks[index];
  if(para.Depth)
  {
    sInt df = para.Depth->Flags & sTEX_FORMAT;
    if(df == sTEX_DEPTH16NOREAD || df == sTEX_DEPTH16) clear &= ~CLEAR_STENCIL;
  }

  sInt count = 0;
  while(count < 4 && para.Target[count]) count++;
  sVERIFY(count>0);
  for(sInt i = 1; i < count; i++)
  {
    sVERIFY(para.Target[0]->SizeX==para.Target[i]->SizeX);
    sVERIFY(para.Target[0]->SizeY==para.Target[i]->SizeY);
    sVERIFY(para.Target[0]->BitsPerPixel==para.Target[i]->BitsPerPixel);
  }

  sBool ms = !(para.Flags & (sRTF_NO_MULTISAMPLE | sRTF_NO_MULTISAMPLE2)) && para.Mipmap == 0;
  for(sInt i = 0; i < count && ms; i++)
    if(!para.Target[i]->MultiSurf2D) ms = 0;
  if(para.Depth && !para.Depth->MultiSurf2D) ms = 0;
  if(ms && !(para.Flags & sRTF_ASSUME_CLEARED))
  {
    if(!(clear & CLEAR_TARGET) && NewestOnlyInTexture(para.Target[0])) ms = 0;
    if(para.Depth && !(clear & CLEAR_ZBUFFER) && NewestOnlyInTexture(para.Depth)) ms = 0;
  }

  sBool bound = 0;
  for(sInt i = 0; i < count; i++)
  {
    sTextureBase *t = para.Target[i];
    sGpuRes *surf;
    if(ms)
    {
      surf = t->MultiSurf2D;
      DX.Dev->AddRef(surf);
      t->RTState = 5;
    }
    else
    {
      sResolveTexture(t);
      if(t->Surf2D) sVERIFY(para.Mipmap==0);
      surf = TargetSurface(t, para.Mipmap, para.Face);
      t->RTState = 2;
    }
    if(i == 0)
    {
      if(surf != DX.CurrentColor) bound = 1;
      SetColorSurface(surf);
    }
    else
    {
      sDXCHECK(DX.Dev->SetRenderTarget(sU32(i), surf));
      DX.Dev->Release(surf);
      bound = 1;
    }
  }
  for(sInt i = count; i < DX.BoundTargets; i++)
  {
    if(i > 0)
    {
      DX.Dev->SetRenderTarget(sU32(i), nullptr);
      bound = 1;
    }
  }
  DX.BoundTargets = count;
  DX.ActiveRT = para.Target[0];

  sGpuRes *dsurf = nullptr;
  if(para.Depth)
  {
    sTextureBase *d = para.Depth;
    if(ms)
    {
      dsurf = d->MultiSurf2D;
      DX.Dev->AddRef(dsurf);
      d->RTState = 1;
    }
    else
    {
      sResolveTexture(d);
      dsurf = TargetSurface(d, 0, -1);
      d->RTState = 2;
    }
  }
  if(dsurf != DX.CurrentDepth) bound = 1;
  SetDepthSurface(dsurf);
  DX.BoundDepth = para.Depth;

  sTextureBase *t0 = para.Target[0];
  if(clear && !(para.Flags & sRTF_CLEAR_WINDOW))
  {
    Viewport vp = {0, 0, sU32(t0->SizeX), sU32(t0->SizeY), 0.0f, 1.0f};
    sDXCHECK(DX.Dev->SetViewport(vp));
    sU32 off[2] = {RS_SCISSORTESTENABLE, 0};
    sSetStates(off, 1);
    sDXCHECK(DX.Dev->Clear(0, nullptr, clear, para.ClearColor[0].GetColor(), para.ClearZ, 0));
    sU32 on[2] = {RS_SCISSORTESTENABLE, 1};
    sSetStates(on, 1);
    bound = 1;   // the clear's whole-target viewport must give way to the window below
  }

  DX.TargetSizeX = t0->SizeX;
  DX.TargetSizeY = t0->SizeY;
  DX.TargetAspect = (t0 == sGetScreenColorBuffer(0)) ? CurrentScreenMode.Aspect : sF32(t0->SizeX) / sF32(t0->SizeY);

  const sRect &w = para.Window;
  if(bound || w.x0 != DX.WindowRect.x0 || w.y0 != DX.WindowRect.y0 || w.x1 != DX.WindowRect.x1 ||
     w.y1 != DX.WindowRect.y1)
  {
    DX.WindowRect = w;
    Viewport vp = {sU32(w.x0), sU32(w.y0), sU32(w.x1 - w.x0), sU32(w.y1 - w.y0), 0.0f, 1.0f};
    sDXCHECK(DX.Dev->SetViewport(vp));
    Rect sc = {w.x0, w.y0, w.x1, w.y1};
    sDXCHECK(DX.Dev->SetScissorRect(sc));
  }
  if(clear && (para.Flags & sRTF_CLEAR_WINDOW))
  {
    Rect r = {w.x0, w.y0, w.x1, w.y1};
    sDXCHECK(DX.Dev->Clear(1, &r, clear, para.ClearColor[0].GetColor(), para.ClearZ, 0));
  }
}

/****************************************************************************/
/***   Caches and state lists                                             ***/
/****************************************************************************/

sU32 sGetCachedState(sInt id) { return DX.StateCache[id]; }

void sForgetStateCache()
{
  for(sU32 &s : DX.StateCache) s = sSTATE_UNKNOWN;
  DX.StateEpoch++;
}

void sForgetStateList(const sU32 *list)
{
  if(list && DX.AppliedList == list) DX.AppliedList = nullptr;
}

void sSetStates(const sU32 *list, sInt pairs)
{
  for(sInt i = 0; i < pairs; i++)
  {
    sU32 id = list[i * 2];
    sU32 value = list[i * 2 + 1];
    if(id >= sSTATE_CACHE) continue;
    if(DX.StateCache[id] == value) continue;
    DX.StateCache[id] = value;
    DX.StateEpoch++;
    if(id < 256)
    {
      sDXCHECK(DX.Dev->SetRenderState(id, value));
    }
    else
    {
      sU32 sampler = (id - 256) / 16;
      if(sampler >= 16) sampler = VERTEXSAMPLER0 + (sampler - 16);
      sDXCHECK(DX.Dev->SetSamplerState(sampler, id & 15, value));
    }
  }
}

void sSetTexture(sInt sampler, sTextureBase *tex)
{
  sInt entry;
  sU32 devSampler;
  if(sampler & sMTRL_VSTEX)
  {
    entry = 16 + (sampler & 0xff);
    devSampler = VERTEXSAMPLER0 + sU32(sampler & 0xff);
  }
  else
  {
    entry = sampler;
    devSampler = sU32(sampler);
  }
  sVERIFY(entry >= 0 && entry < 20);
  if(DX.TextureCache[entry] == tex) return;
  sDXCHECK(DX.Dev->SetTexture(devSampler, tex ? tex->Tex : nullptr));
  DX.TextureCache[entry] = tex;
  DX.Stats.SamplerChanges[entry]++;
  DX.Stats.TextureChanges++;
}

void sBuildStateList(const sMaterial *mtrl, sU32 *&data)
{
  const sRenderStates &s = mtrl->S;
  auto put = [&data](sU32 id, sU32 value) {
    *data++ = id;
    *data++ = value;
  };

  if(s.BlendColor == 0)
  {
    put(RS_ALPHABLENDENABLE, 0);
    put(RS_SEPARATEALPHABLENDENABLE, 0);
  }
  else
  {
    put(RS_ALPHABLENDENABLE, 1);
    put(RS_SRCBLEND, s.BlendColor & 15);
    put(RS_DESTBLEND, (s.BlendColor >> 16) & 15);
    put(RS_BLENDOP, (s.BlendColor >> 8) & 7);
    put(RS_BLENDFACTOR, s.BlendFactor);
    if(s.BlendAlpha == 0xffffffff)
    {
      put(RS_SEPARATEALPHABLENDENABLE, 0);
    }
    else
    {
      put(RS_SEPARATEALPHABLENDENABLE, 1);
      put(RS_SRCBLENDALPHA, s.BlendAlpha & 15);
      put(RS_DESTBLENDALPHA, (s.BlendAlpha >> 16) & 15);
      put(RS_BLENDOPALPHA, (s.BlendAlpha >> 8) & 7);
    }
  }

  switch(s.Flags & sMTRL_ZMASK)
  {
  case sMTRL_ZOFF: put(RS_ZENABLE, 0); break;
  case sMTRL_ZREAD: put(RS_ZENABLE, 1); put(RS_ZWRITEENABLE, 0); put(RS_ZFUNC, s.DepthFunc + 1u); break;
  case sMTRL_ZWRITE: put(RS_ZENABLE, 1); put(RS_ZWRITEENABLE, 1); put(RS_ZFUNC, CMP_ALWAYS); break;
  case sMTRL_ZON: put(RS_ZENABLE, 1); put(RS_ZWRITEENABLE, 1); put(RS_ZFUNC, s.DepthFunc + 1u); break;
  }

  switch(s.Flags & sMTRL_CULLMASK)
  {
  case sMTRL_CULLOFF: put(RS_CULLMODE, CULL_NONE); break;
  case sMTRL_CULLON: put(RS_CULLMODE, CULL_CCW); break;
  case sMTRL_CULLINV: put(RS_CULLMODE, CULL_CW); break;
  default: break;
  }

  sU32 mask = 15;
  if(s.Flags & sMTRL_MSK_ALPHA) mask &= ~8u;
  if(s.Flags & sMTRL_MSK_RED) mask &= ~1u;
  if(s.Flags & sMTRL_MSK_GREEN) mask &= ~2u;
  if(s.Flags & sMTRL_MSK_BLUE) mask &= ~4u;
  put(RS_COLORWRITEENABLE, mask);
  put(RS_MULTISAMPLEANTIALIAS, (s.Flags & sMTRL_NOMSAA) ? 0 : 1);

  if(!(s.Flags & (sMTRL_STENCILSS | sMTRL_STENCILDS)))
  {
    put(RS_STENCILENABLE, 0);
    put(RS_STENCILWRITEMASK, 0);
  }
  else
  {
    put(RS_STENCILENABLE, 1);
    put(RS_STENCILMASK, s.StencilMask);
    put(RS_STENCILWRITEMASK, 0xffffffff);
    put(RS_STENCILREF, s.StencilRef);
    put(RS_STENCILFUNC, s.StencilFunc + 1u);
    put(RS_STENCILFAIL, s.FrontFail + 1u);
    put(RS_STENCILZFAIL, s.FrontZFail + 1u);
    put(RS_STENCILPASS, s.FrontPass + 1u);
    if(s.Flags & sMTRL_STENCILDS)
    {
      put(RS_TWOSIDEDSTENCILMODE, 1);
      put(RS_CCW_STENCILFAIL, s.BackFail + 1u);
      put(RS_CCW_STENCILZFAIL, s.BackZFail + 1u);
      put(RS_CCW_STENCILPASS, s.BackPass + 1u);
    }
    else
    {
      put(RS_TWOSIDEDSTENCILMODE, 0);
    }
  }

  sBool anisoMag = (DX.DevCaps.TextureFilterCaps & PTFILTERCAPS_MAGFANISOTROPIC) != 0;
  sBool anisoMin = (DX.DevCaps.TextureFilterCaps & PTFILTERCAPS_MINFANISOTROPIC) != 0;
  for(sInt i = 0; i < 16; i++)
  {
    sU32 tf = s.TextureFlags[i];
    if(!mtrl->Texture[i] && !(tf & sMTF_EXTERN)) continue;
    sInt map = mtrl->SamplerMap[i];
    sInt sampler = (map & sMTRL_VSTEX) ? 16 + (map & 0xff) : map;
    sU32 base = sU32(256 + sampler * 16);
    put(base + SAMP_SRGBTEXTURE, (tf & sMTF_SRGB) ? 1 : 0);
    switch(tf & sMTF_FILTERMASK)
    {
    case sMTF_TRILINEAR:
      put(base + SAMP_MAGFILTER, TEXF_LINEAR);
      put(base + SAMP_MINFILTER, TEXF_LINEAR);
      put(base + SAMP_MIPFILTER, TEXF_LINEAR);
      break;
    case sMTF_ANISO:
      if(anisoMag)
      {
        put(base + SAMP_MAGFILTER, TEXF_ANISOTROPIC);
        put(base + SAMP_MAXANISOTROPY, DX.DevCaps.MaxAnisotropy);
      }
      else
      {
        put(base + SAMP_MAGFILTER, TEXF_LINEAR);
      }
      if(anisoMin)
      {
        put(base + SAMP_MINFILTER, TEXF_ANISOTROPIC);
        put(base + SAMP_MAXANISOTROPY, DX.DevCaps.MaxAnisotropy);
      }
      else
      {
        put(base + SAMP_MINFILTER, TEXF_LINEAR);
      }
      put(base + SAMP_MIPFILTER, TEXF_LINEAR);
      break;
    case sMTF_POINT:
      put(base + SAMP_MAGFILTER, TEXF_POINT);
      put(base + SAMP_MINFILTER, TEXF_POINT);
      put(base + SAMP_MIPFILTER, TEXF_POINT);
      break;
    case sMTF_LINEARPOINTMIP:
      put(base + SAMP_MAGFILTER, TEXF_LINEAR);
      put(base + SAMP_MINFILTER, TEXF_LINEAR);
      put(base + SAMP_MIPFILTER, TEXF_POINT);
      break;
    }
    sU32 bias;
    std::memcpy(&bias, &s.LodBias[i], 4);
    put(base + SAMP_MIPMAPLODBIAS, bias);

    static const sU32 uvModes[4] = {TADDRESS_WRAP, TADDRESS_CLAMP, TADDRESS_MIRROR, TADDRESS_BORDER};
    sU32 border = (tf & sMTF_BORDERWHITE) ? 0xffffffff : 0;
    sU32 u = (tf >> sMTF_U_SHIFT) & 3;
    sU32 v = (tf >> sMTF_V_SHIFT) & 3;
    put(base + SAMP_ADDRESSU, uvModes[u]);
    if(u == 3) put(base + SAMP_BORDERCOLOR, border);
    put(base + SAMP_ADDRESSV, uvModes[v]);
    if(v == 3) put(base + SAMP_BORDERCOLOR, border);
    switch(tf & sMTF_W_MASK)
    {
    case 0x00: case 0x50: put(base + SAMP_ADDRESSW, TADDRESS_WRAP); break;
    case 0x10: put(base + SAMP_ADDRESSW, TADDRESS_CLAMP); break;
    case 0x20: put(base + SAMP_ADDRESSW, TADDRESS_MIRROR); break;
    case 0x30: put(base + SAMP_ADDRESSW, TADDRESS_BORDER); put(base + SAMP_BORDERCOLOR, border); break;
    case 0x40: put(base + SAMP_ADDRESSW, TADDRESS_BORDER); put(base + SAMP_BORDERCOLOR, 0xffffffff); break;
    default: sFatalF(u"invalid address mode %02x\n", tf & sMTF_W_MASK);
    }
  }

  if(s.AlphaFunc == sCMP_ALWAYS)
  {
    put(RS_ALPHATESTENABLE, 0);
  }
  else
  {
    put(RS_ALPHATESTENABLE, 1);
    put(RS_ALPHAFUNC, s.AlphaFunc + 1u);
    put(RS_ALPHAREF, s.AlphaRef);
  }
}

void sMaterial::ApplyVariant(sInt variant)
{
  sVERIFY(variant>=0 && variant<StateVariants);
  sVERIFY(States);
  sVERIFY(States[variant]);
  // The same list again with no state changed since it was applied: the walk would find
  // every pair cached and send nothing (forms of one material drawn in a row).
  const sU32 *list = States[variant];
  if(list != DX.AppliedList || DX.StateEpoch != DX.AppliedEpoch)
  {
    sSetStates(list, StateCount[variant]);
    DX.AppliedList = list;
    DX.AppliedEpoch = DX.StateEpoch;
  }
  sTextureBase *tex[20] = {};
  for(sInt i = 0; i < 16; i++)
  {
    if(!Texture[i]) continue;
    sInt map = SamplerMap[i];
    tex[(map & sMTRL_VSTEX) ? 16 + (map & 0xff) : map] = Texture[i];
  }
  // only the samplers whose cached texture differs reach sSetTexture (which would skip the rest)
  for(sInt i = 0; i < 20; i++)
    if(DX.TextureCache[i] != tex[i]) sSetTexture(i < 16 ? i : sMTRL_VSTEX + (i - 16), tex[i]);
  DX.Stats.VariantChanges++;
  S = Variants[variant];
}

void sMaterial::Set(sCBufferBase **cbuffers, sInt count, sInt variant)
{
  CurrentMtrlVFormat = Format;
  ApplyVariant(variant);
  if(VertexShader != DX.CurrentVS)
  {
    if(VertexShader)
    {
      sVERIFY(VertexShader->vs);
      sVERIFY(VertexShader->CheckKind(sSTF_VERTEX));
    }
    sDXCHECK(DX.Dev->SetVertexShader(VertexShader ? VertexShader->Handle : nullptr));
    DX.CurrentVS = VertexShader;
    DX.Stats.VSChanges++;
  }
  if(PixelShader != DX.CurrentPS)
  {
    if(PixelShader)
    {
      sVERIFY(PixelShader->ps);
      sVERIFY(PixelShader->CheckKind(sSTF_PIXEL));
    }
    sDXCHECK(DX.Dev->SetPixelShader(PixelShader ? PixelShader->Handle : nullptr));
    DX.CurrentPS = PixelShader;
    DX.Stats.PSChanges++;
  }
  sSetCBuffers(cbuffers, count);
}

/****************************************************************************/
/***   Device shaders, declarations, constants                            ***/
/****************************************************************************/

void sCreateShader2(sShader *sh, const sU32 *record)
{
  if((record[0] & sSTF_PLATFORM) != sSTF_HLSL23)
  {
    sLogF(u"gfx", u"sCreateShader2 only supports hlsl shader model 2 and 3\n");
    return;
  }
  if(!DX.Dev) return;   // without a device (the core run on its own) there is nothing to create it on
  struct sShaderRecord
  {
    sU32 Type;
    sU32 Size;   // bytes of code that follow
  };
  const sShaderRecord *blob = reinterpret_cast<const sShaderRecord *>(record);
  sU32 size = blob->Size;
  sVERIFY((blob->Size&3)==0);
  sVERIFY(size >= 8);
  const sU32 *start = record + 2;
  const sU32 *end = start + size / 4 - 1;
  sVERIFY(*end==0x0000ffff);
  switch(sh->Type & sSTF_KIND)
  {
  case sSTF_VERTEX:
    sVERIFY(((*start)&0xffff0000)==0xfffe0000);
    sDXCHECK(DX.Dev->CreateVertexShader(start, size / 4, &sh->Handle));
    break;
  case sSTF_PIXEL:
    sVERIFY(((*start)&0xffff0000)==0xffff0000);
    sDXCHECK(DX.Dev->CreatePixelShader(start, size / 4, &sh->Handle));
    break;
  default:
    sFatalF(u"unknown shader kind %04x\n", sh->Type);
  }
}

void sShader::ReleasePlatform()
{
  // the next material sets its shader again even when it lives at this address
  if(DX.CurrentVS == this) DX.CurrentVS = reinterpret_cast<sShader *>(1);
  if(DX.CurrentPS == this) DX.CurrentPS = reinterpret_cast<sShader *>(1);
  if(!Handle) return;
  sU32 kind = Type & sSTF_KIND;
  if(kind != sSTF_VERTEX && kind != sSTF_PIXEL) sFatalF(u"unknown shader kind %04x\n", Type);
  ReleaseRes(Handle);
}

void sVertexFormat::CreatePlatform()
{
  VertexElement elems[32];
  sInt n = 0;
  sInt offset[4] = {0, 0, 0, 0};
  sBool noDecl = 0;
  sInt i = 0;
  for(; Data[i]; i++)
  {
    sU32 c = Data[i];
    sInt stream = (c & sVF_STREAMMASK) >> sVF_STREAMSHIFT;
    sU32 kind = c & sVF_USEMASK;
    sInt type = (c & sVF_TYPEMASK) >> sVF_TYPESHIFT;
    sInt usage = 0, index = 0;
    switch(kind)
    {
    case sVF_POSITION: usage = DECLUSAGE_POSITION; break;
    case sVF_NORMAL: usage = DECLUSAGE_NORMAL; break;
    case sVF_TANGENT: usage = DECLUSAGE_TANGENT; break;
    case sVF_BONEINDEX: usage = DECLUSAGE_BLENDINDICES; break;
    case sVF_BONEWEIGHT: usage = DECLUSAGE_BLENDWEIGHT; break;
    case sVF_BINORMAL: usage = DECLUSAGE_BINORMAL; break;
    case sVF_COLOR0: case sVF_COLOR1: case sVF_COLOR2: case sVF_COLOR3:
      usage = DECLUSAGE_COLOR;
      index = sInt(kind - sVF_COLOR0);
      break;
    case sVF_NOP: usage = -1; break;
    default:
      if(kind >= sVF_UV0 && kind <= sVF_UV7)
      {
        usage = DECLUSAGE_TEXCOORD;
        index = sInt(kind - sVF_UV0);
      }
      else
      {
        sFatalF(u"invalid vertex element kind %d\n", sInt(kind));
      }
    }
    static const sU8 declTypes[12] = {0xff, DECLTYPE_FLOAT2, DECLTYPE_FLOAT3, DECLTYPE_FLOAT4, DECLTYPE_D3DCOLOR,
                                      DECLTYPE_UBYTE4, DECLTYPE_SHORT2N, DECLTYPE_SHORT4N, DECLTYPE_FLOAT16_2,
                                      DECLTYPE_FLOAT16_4, DECLTYPE_FLOAT1, DECLTYPE_FLOAT16_4};
    if(type < 1 || type > 11) sFatalF(u"invalid vertex element type %d\n", type);
    if(type == 11) noDecl = 1;
    if(usage >= 0)
    {
      VertexElement &e = elems[n++];
      e.Stream = sU16(stream);
      e.Offset = sU16(offset[stream]);
      e.Type = declTypes[type];
      e.Method = 0;
      e.Usage = sU8(usage);
      e.UsageIndex = sU8(index);
    }
    offset[stream] += sVertexTypeSize(type);
  }
  sVERIFY(i<31);   // room for the end marker
  for(sInt s = 0; s < 4; s++) Streams[s] = offset[s];
  Decl = nullptr;
  if(noDecl || !DX.Dev) return;   // likewise no declaration without a device
  elems[n] = DECL_END;
  sDXCHECK(DX.Dev->CreateVertexDeclaration(elems, &Decl));
}

void sVertexFormat::ReleasePlatform()
{
  if(Decl) sForgetDrawBindings();
  ReleaseRes(Decl);
}

void sCBufferBase::Upload()
{
  if(!DX.Dev) return;   // nothing to upload to without a device
  switch(Slot & 0x60)
  {
  case sCBUFFER_VS:
    sDXCHECK(DX.Dev->SetVertexShaderConstantF(sU32(Register), static_cast<const sF32 *>(Data), sU32(Count)));
    break;
  case sCBUFFER_PS:
    sDXCHECK(DX.Dev->SetPixelShaderConstantF(sU32(Register), static_cast<const sF32 *>(Data), sU32(Count)));
    break;
  default: break;
  }
}

/****************************************************************************/
/***   The frame driver's clear colour                                    ***/
/****************************************************************************/

// The frame driver's plain applications set the colour of their frame: inside a frame
// the screen is bound and cleared with it at once.
void sSetFrameClearColor(sU32 color)
{
  if(DX.Render3DInProgress) sSetScreenTarget(nullptr, 3, color);
}

void sInstallGraphicsFrames()
{
  sFrameBackEnd frames;
  frames.InitScreenMode = sInitScreenMode;
  frames.InitGfx = sInitGfx;
  frames.ExitGfx = sExitGfx;
  frames.SetScreenSize = sSetScreenSize;
  frames.GetScreenSize = sGetScreenSize;
  frames.PaintFrame = sPaintFrame;
  frames.Render3DBegin = sRender3DBegin;
  frames.Render3DEnd = sRender3DEnd;
  frames.SetFrameClearColor = sSetFrameClearColor;
  sSetFrameBackEnd(frames);
}

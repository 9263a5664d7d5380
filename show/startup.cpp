// The compiled-in start-up record, the display table, the data root and the screen mode.
#include "show/startup.hpp"

#include "base/file.hpp"
#include "base/gdi.hpp"
#include "base/log.hpp"
#include "base/window.hpp"
#include "graphics/graphics.hpp"
#include "platform/files/files.hpp"
#include "platform/text/utf.hpp"
#include "show/media.hpp"
#include "show/selector.hpp"

#include <cstdlib>

StartupRecord sStartupRecord = {
  u"Tarnwhistle",                            // ProductName
  u"Tarnwhistle/",                           // DataFolder
  126.0f,                                    // InitialBpm
  1,                                         // MusicOn
  u"Tarnglow.ogg",                           // MusicFile
  0,                                         // BackgroundColour
  1,                                         // SharedSync
  1,                                         // IppOn
  0,                                         // ShowSelector
  1,                                         // KeepCurrentDir
  1,                                         // InputLock
  1,                                         // PackedAssets
  1,                                         // UseLoader
  400,                                       // LoaderTotal
  3000,                                      // LoaderLimit
  0,                                         // FixedStep
  60,                                        // FixedStepMs
  u"c:/temp/Tarnwhistle_trailer_%06d.bmp",   // CapturePattern
  0,                                         // RecordPackfile
  1,                                         // UsePackfile
  u"Tarnwhistles.txt",                       // PackfileDefName
  u"Tarnwhistles.dat",                       // PackfileName
  0.1f,                                      // CameraGlideShort
  0.75f,                                     // CameraGlide
  1920,                                      // ScreenWidth
  1080,                                      // ScreenHeight
};

const sChar *GetCapturePattern(const StartupRecord &record)
{
  static sStringBuffer<1024> pattern;
  const sChar *name = record.CapturePattern;
  sInt slash = sFindLastChar(name, '/');
  if(slash >= 0) name += slash + 1;
  const char *tmp = getenv("TMPDIR");
  pattern = plat::ToUtf16(tmp && *tmp ? tmp : "/tmp").c_str();
  pattern.Add(u"/");
  pattern.Add(name);
  return pattern.Get();
}

/****************************************************************************/

ShowDisplayRecord ShowDisplays[ShowDisplayCount];

ShowDisplayRecord &GetShowDisplay(sInt display)
{
  sVERIFY(display >= 0 && display < ShowDisplayCount);
  return ShowDisplays[display];
}

void SetShowDisplay(sInt display, sInt width, sInt height)
{
  ShowDisplayRecord &d = GetShowDisplay(display);
  d.Width = width;
  d.Height = height;
  d.Aspect = height ? sF32(width) / sF32(height) : 0.0f;
}

void FillScreenDisplays()
{
  sInt screens = sIsGfxActive() ? sGetScreenCount() : 0;
  if(screens < 2) return;
  for(sInt n = 0; n < screens && n < ShowDisplayCount; n++)
  {
    sTexture2D *buffer = sGetScreenColorBuffer(n);
    SetShowDisplay(n, buffer->SizeX, buffer->SizeY);
    sScreenInfo info;
    sGetScreenInfo(info, 0, n);
    ShowDisplayRecord &d = GetShowDisplay(n);
    d.Display = n;
    sCopyString(d.Name, info.MonitorId);
  }
}

/****************************************************************************/

namespace
{
sStringBuffer<2048> DataRoot;
}

sInt FindDataRoot()
{
  static const sChar *const candidates[] = {u"TWdata", u"./data", u"c:/Sparkvane_data", u"d:/Sparkvane_data",
                                            u"c:/hlq/Sparkvane"};
  const sInt count = sInt(sizeof(candidates) / sizeof(candidates[0]));
  sInt found = -1;
  for(sInt i = 0; i < count && found < 0; i++)
  {
    sDPrintF(u"R%d", i);
    if(sCheckFile(candidates[i])) found = i;
  }
  // kept as a whole path: a file the browser picks under the root is named by its whole
  // path, which a relative root would have joined to itself a second time
  std::string name = plat::ToUtf8(candidates[found >= 0 ? found : 0]);
  if(name.compare(0, 2, "./") == 0) name.erase(0, 2);
  DataRoot = plat::ToUtf16(name[0] == '/' ? name : plat::CurrentDir() + "/" + name).c_str();
  if(found >= 0) sLogF(u"file", u"root directory found: %s\n", candidates[found]);
  return found;
}

const sChar *GetDataRoot()
{
  // a tool that never searched (the data generator) reads and writes in its own folder
  if(!DataRoot.Get()[0]) DataRoot = plat::ToUtf16(plat::CurrentDir()).c_str();
  return DataRoot.Get();
}

sBool JoinDataRoot(const sStringRef &dest, const sChar *name)
{
  // a name from the browser's drives is a whole path already
  if(name && name[0] == '/')
  {
    if(sGetStringLen(name) >= dest.Size) return 0;
    sCopyString(dest.Buffer, name, dest.Size);
    return 1;
  }
  return JoinPath(dest, GetDataRoot(), name);
}

/****************************************************************************/

sU32 GetSelectorInitFlags(const sScreenMode &mode)
{
  sU32 flags = sISF_3D | sISF_CONTINUOUS;
  if(mode.Flags & sSM_FULLSCREEN) flags |= sISF_FULLSCREEN;
  // the device presents without waiting for the retrace under this flag
  if(mode.Flags & sSM_NOVSYNC) flags |= 0x100;
  return flags;
}

sInt CheckStartupSelector(StartupRecord *record)
{
  for(ShowDisplayRecord &d : ShowDisplays) d = ShowDisplayRecord{};
  sBool opened = 0;
  if(record->ShowSelector && !sShellSwitch(u"noselector"))
  {
    sScreenMode mode;
    if(!sSelectorDialog(&mode, record->ProductName)) return 0;
    opened = sInit(GetSelectorInitFlags(mode), mode.SizeX, mode.SizeY);
    SetShowDisplay(0, mode.SizeX, mode.SizeY);
    if(opened) sSetScreenMode(mode);
  }
  else
  {
    // no selector, or "noselector" given: the record's fixed size, so the show always
    // has its window and device before the application is built
    SetShowDisplay(0, record->ScreenWidth, record->ScreenHeight);
    sU32 flags = sISF_FULLSCREEN | sISF_3D | sISF_CONTINUOUS | sISF_NOCOMPOSITION | sISF_NOSCREENSAVER;
    if(sShellSwitch(u"multiscreen")) flags |= sISF_MULTISCREEN;
    opened = sInit(flags, record->ScreenWidth, record->ScreenHeight);
  }
  if(!opened) return 0;
  FillScreenDisplays();
  sSetWindowName(record->ProductName);
  if(!record->KeepCurrentDir) sSetProjectDir(record->DataFolder);
  return 1;
}

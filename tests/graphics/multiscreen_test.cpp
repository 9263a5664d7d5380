// Multi-screen mode of the back end: the adapter group decides the screens, each with its
// colour buffer and window, one depth buffer for all; a group of one or of more than
// sixteen stops the program.

#include "backend_util.hpp"

#include "base/app.hpp"
#include "platform/gpu/gpu.hpp"
#include "platform/window/window.hpp"

#include <cctype>
#include <set>

namespace
{
// The back end in multi-screen mode (full screen, 640 x 480) over a recording device whose
// adapter group has `group` adapters; `sizes` adds the screens' own sizes (mode flag 0x800).
RecApi *StartGroup(sU32 group, const sInt (*sizes)[3] = nullptr)
{
  CurrentScreenMode = sScreenMode();
  RecApi *api = new RecApi;
  api->Group = group;
  sSetGpuApi(api);
  sSetGfxWindow(reinterpret_cast<SDL_Window *>(sDInt(1)));
  sU32 flags = sISF_FULLSCREEN | sISF_MULTISCREEN;
  sInt w = 640, h = 480;
  sInitScreenMode(flags, w, h);
  if(sizes)
  {
    CurrentScreenMode.Flags |= sSM_SCREENSIZES;
    for(sInt i = 0; i < 3; i++)
    {
      CurrentScreenMode.ScreenSizeX[i] = sizes[0][i];
      CurrentScreenMode.ScreenSizeY[i] = sizes[1][i];
    }
  }
  sInitGfx(flags, w, h);
  return api;
}
}

TEST(MultiScreen, GroupsOfOneAndOfMoreThanSixteenStop)
{
  const struct
  {
    sU32 Group;
    const char *Message;
  } cases[] = {
    {1, "Only one video device detected on Recording device\\.\nPlease switch on your second video device obefore "
        "starting Sparkvane\\."},
    {0, "Only one video device detected on Recording device"},
    {17, "You graphics card can drive up to 17 screens, but this application does only support 16 screens in "
         "multi-screen mode\\."},
  };
  for(const auto &c : cases)
    EXPECT_EXIT(StartGroup(c.Group), testing::ExitedWithCode(1), c.Message) << c.Group;
}

// On the real device with the one display of the test server: the message names the
// adapter the window system drives.
TEST(MultiScreen, OneDisplayStopsNamingTheAdapter)
{
  std::string error;
  plat::gpu::Object *gpu = plat::gpu::Object::Create(error);
  if(!gpu) GTEST_SKIP() << "no graphics: " << error;
  plat::gpu::AdapterIdentifier id = {};
  const bool named = gpu->GetAdapterIdentifier(0, id) >= 0 && gpu->GetAdapterCount() == 1;
  gpu->Release();
  if(!named) GTEST_SKIP() << "the test server offers more than one display";
  // the name as a pattern: any character of it that is not a letter or digit matches itself
  std::string name = id.Description;
  for(char &ch : name)
    if(!std::isalnum(static_cast<unsigned char>(ch))) ch = '.';
  EXPECT_EXIT(StartOnWindow(640, 480, sISF_FULLSCREEN | sISF_MULTISCREEN), testing::ExitedWithCode(1),
              "Only one video device detected on " + name + "\\.\n");
}

// Sixteen screens: a group device over sixteen present parameters, a window for each screen
// after the first, a colour buffer for each, frames presented as one.
TEST(MultiScreen, SixteenScreensEachWithBufferAndWindow)
{
  RecApi *api = StartGroup(16);
  ASSERT_EQ(sGetScreenCount(), 16);
  ASSERT_EQ(api->Screens.size(), 16u);
  std::set<SDL_Window *> windows;
  for(sInt s = 1; s < 16; s++) windows.insert(api->Screens[s].DeviceWindow);
  EXPECT_EQ(windows.size(), 15u);
  EXPECT_EQ(windows.count(nullptr), 0u);
  for(sInt s = 0; s < 16; s++) EXPECT_NE(sGetScreenColorBuffer(s), nullptr) << s;
  EXPECT_EXIT(sGetScreenColorBuffer(16), testing::ExitedWithCode(1), "screen>=0 && screen<DXScreenCount");
  ASSERT_TRUE(sRender3DBegin());
  sRender3DEnd(1);
  EXPECT_EQ(api->Device->Lines("Present").size(), 1u);
  StopGraphics();
}

// Screens 1 to 3 take their own sizes with mode flag 0x800; the one depth buffer is large
// enough for every screen.
TEST(MultiScreen, ScreenSizesAndTheSharedDepthBuffer)
{
  const sInt own[2][3] = {{1024, 800, 0}, {300, 900, 0}};
  const struct
  {
    const sInt (*Sizes)[3];
    sInt Screen1[2], Screen2[2], Depth[2];
  } cases[] = {
    {nullptr, {640, 480}, {640, 480}, {640, 480}},
    {own, {1024, 300}, {800, 900}, {1024, 900}},
  };
  for(const auto &c : cases)
  {
    RecApi *api = StartGroup(3, c.Sizes);
    ASSERT_EQ(sGetScreenCount(), 3);
    EXPECT_EQ(sGetScreenColorBuffer(0)->SizeX, 640);
    const sInt *want[2] = {c.Screen1, c.Screen2};
    for(sInt s = 1; s <= 2; s++)
    {
      EXPECT_EQ(sGetScreenColorBuffer(s)->SizeX, want[s - 1][0]) << s;
      EXPECT_EQ(sGetScreenColorBuffer(s)->SizeY, want[s - 1][1]) << s;
      EXPECT_EQ(sInt(api->Screens[s].BackBufferWidth), want[s - 1][0]) << s;
      EXPECT_EQ(sInt(api->Screens[s].BackBufferHeight), want[s - 1][1]) << s;
    }
    EXPECT_EQ(sGetScreenDepthBuffer()->SizeX, c.Depth[0]);
    EXPECT_EQ(sGetScreenDepthBuffer()->SizeY, c.Depth[1]);
    StopGraphics();
  }
}

#pragma once
// Starting and stopping the graphics back end in tests: over the recording device, or
// over the real gpu layer with a window of its own.

#include "base/log.hpp"
#include "common/capture.hpp"
#include "graphics/internal.hpp"
#include "recorder.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using sparktest::LogCapture;

// Starts the back end on a recording device of 640 x 480.
RecApi *StartRecording();
void StopGraphics();

namespace plat { class Window; }
// A window of w x h (SDL's off-screen driver when there is no display) and the back end over
// the real gpu device on it, with the start-up flags; null when no window can be made.
std::unique_ptr<plat::Window> StartOnWindow(sInt w, sInt h, sU32 flags = 0);
// The current target's pixels (0xRRGGBB, row 0 at the top) and its size.
std::vector<uint32_t> ReadTarget(sInt &w, sInt &h);

class RecordingTest : public testing::Test
{
protected:
  RecApi *Api = nullptr;
  RecDevice *Dev = nullptr;
  void SetUp() override
  {
    Api = StartRecording();
    Dev = Api->Device;
  }
  void TearDown() override { StopGraphics(); }
};

// A material with fixed shaders (given as token streams) or none.
class TestMaterial : public sMaterial
{
public:
  std::vector<uint32_t> VS, PS;
  void SelectShaders(sVertexFormat *) override
  {
    if(!VS.empty())
      VertexShader = sCreateShader(sSTF_VERTEX | sSTF_HLSL23, reinterpret_cast<const sU8 *>(VS.data()),
                                   sInt(VS.size() * 4));
    if(!PS.empty())
      PixelShader = sCreateShader(sSTF_PIXEL | sSTF_HLSL23, reinterpret_cast<const sU8 *>(PS.data()),
                                  sInt(PS.size() * 4));
  }
};

// A 2 x 2 texture: red, green / blue, white.
inline sTexture2D *MakeChecker()
{
  sTexture2D *t = new sTexture2D(2, 2, sTEX_ARGB8888 | sTEX_NOMIPMAPS);
  const uint32_t px[4] = {0xffff0000, 0xff00ff00, 0xff0000ff, 0xffffffff};
  t->LoadAll(reinterpret_cast<const sU8 *>(px));
  return t;
}

// Token stream of a shader in assembly text; fails the test on an error.
std::vector<uint32_t> Asm(const std::string &text);

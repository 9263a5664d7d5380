#pragma once
// Helpers of the scene tests: a recording graphics device with frame memory, forms that
// note how they are drawn, and small texture and material tables.

#include "../graphics/backend_util.hpp"

#include "base/framemem.hpp"
#include "graphics/shader.hpp"
#include "show/scene.hpp"
#include "show/tmdata.hpp"

#include <vector>

// Frame memory for the constant buffers of the draws, from the first test that needs it
// to the end of the run.
class FrameMemoryEnvironment : public testing::Environment
{
public:
  static inline bool Partitioned = false;
  void TearDown() override
  {
    if(Partitioned) sPartitionMemory(0, 0);
    Partitioned = false;
  }
};

inline void NeedFrameMemory()
{
  static testing::Environment *env = testing::AddGlobalTestEnvironment(new FrameMemoryEnvironment);
  (void)env;
  if(!FrameMemoryEnvironment::Partitioned) sPartitionMemory(32 << 20, 1 << 20);
  FrameMemoryEnvironment::Partitioned = true;
}

// A form that notes every draw: the placement and the view it was drawn with.
class ProbeForm : public Form
{
public:
  struct Call
  {
    sMat3x4 Matrix;
    sViewport *View;
  };
  std::vector<Call> Calls;
  explicit ProbeForm(sInt material) : Form(material) {}
  void Draw(sViewport *view) override { Calls.push_back({Matrix, view}); }
};

// Form kinds that carry the records the renderer reads.
class StripProbe : public ProbeForm
{
public:
  StripWords Words;
  using ProbeForm::ProbeForm;
  StripWords *GetStripWords() override { return &Words; }
};

class ShapeProbe : public ProbeForm
{
public:
  SuperShapeParams Params;
  using ProbeForm::ProbeForm;
  SuperShapeParams *GetSuperShapeParams() override { return &Params; }
};

class PointProbe : public ProbeForm
{
public:
  PointWords Words;
  using ProbeForm::ProbeForm;
  PointWords *GetPointWords() override { return &Words; }
};

class GradeProbe : public ProbeForm
{
public:
  GradeWords Words;
  using ProbeForm::ProbeForm;
  GradeWords *GetGradeWords() override { return &Words; }
};

// A scene whose GetView answers view index 1.
class ViewScene : public Scene
{
public:
  sViewport Own;
  sViewport *GetView(sInt index) override { return index == 1 ? &Own : nullptr; }
};

// A row of a material table with one texture of row t.
inline MaterialEntry Row(sInt kind, sInt format, sU32 flags = 0x13, sU32 blend = 0, sInt textures = 1, sInt t = 0)
{
  MaterialEntry e = {kind, format, flags, blend, textures, {0, 0, 0, 0}, {t, t, t, t}};
  return e;
}

inline MaterialEntry EndRow() { return Row(sTMD_ENDKIND, 0, 0, 0, 0); }

// A recording device with a frame begun on the screen.
class SceneRecording : public testing::Test
{
protected:
  RecApi *Api = nullptr;
  RecDevice *Dev = nullptr;
  void SetUp() override
  {
    NeedFrameMemory();
    Api = StartRecording();
    Dev = Api->Device;
  }
  void TearDown() override { StopGraphics(); }
  void Begin()
  {
    ASSERT_TRUE(sRender3DBegin());
    sSetScreenTarget(nullptr, sRTF_CLEAR_ALL, 0);
  }
};

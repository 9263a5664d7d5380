#pragma once
// Helpers of the scene tests: a form that notes how it is drawn (and one that carries
// every record a form kind may hand to the renderer), table rows, and a recording
// graphics device. The test entry reserves the frame memory the draws take.

#include "../graphics/backend_util.hpp"

#include "graphics/shader.hpp"
#include "show/scene.hpp"
#include "show/tmdata.hpp"

#include <vector>

// Notes every draw: the placement and the view it was drawn with.
class ProbeForm : public Form
{
public:
  struct Call { sMat3x4 Matrix; sViewport *View; };
  std::vector<Call> Calls;
  explicit ProbeForm(sInt material) : Form(material) {}
  void Draw(sViewport *view) override { Calls.push_back({Matrix, view}); }
};

class RecordsForm : public ProbeForm
{
public:
  StripWords Strip;
  SuperShapeParams Shape;
  PointWords Points;
  GradeWords Grade;
  using ProbeForm::ProbeForm;
  StripWords *GetStripWords() override { return &Strip; }
  SuperShapeParams *GetSuperShapeParams() override { return &Shape; }
  PointWords *GetPointWords() override { return &Points; }
  GradeWords *GetGradeWords() override { return &Grade; }
};

// A material row with every texture slot on texture row t.
inline MaterialEntry Row(sInt kind, sInt format, sU32 flags = 0x13, sU32 blend = 0, sInt textures = 1, sInt t = 0)
{
  return {kind, format, flags, blend, textures, {0, 0, 0, 0}, {t, t, t, t}};
}
inline MaterialEntry EndRow() { return Row(sTMD_ENDKIND, 0, 0, 0, 0); }
inline const TextureEntry NoFile[] = {{u"/nonexistent/a.bmp", u"/nonexistent/a.png", 0x1001, 0}, {}};

class SceneRecording : public RecordingTest
{
protected:
  void Begin()
  {
    ASSERT_TRUE(sRender3DBegin());
    sSetScreenTarget(nullptr, sRTF_CLEAR_ALL, 0);
  }
};

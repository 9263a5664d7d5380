#pragma once
// The show scenes in a running scene machine: a hidden 480 x 270 window on the real device
// (a picture a person can look at), the real SYNC machine behind the machine's plug-in
// table, the data tree as the current folder, and fixed-step frames whose captured
// picture is kept in Frame until the next frame. Shared by every scene test: visits in the
// transition modes, pictures kept for a person to look at, pixels counted, exits checked.

#include "base/framemem.hpp"
#include "base/memory.hpp"
#include "graphics/image.hpp"
#include "graphics/render_fixture.hpp"
#include "show/scene.hpp"
#include "show/loader.hpp"
#include "show/tmdata.hpp"
#include "show/scenehost.hpp"
#include "show/startup.hpp"
#include "show/sync.hpp"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

inline sBool Finite(const sVec3 &v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
inline sF32 Distance(const sVec3 &a, const sVec3 &b) { return std::sqrt(sDot(a - b, a - b)); }

// A scene that only counts its visits: the one switched to between the visits of the
// scene under test.
struct BlankScene : Scene
{
  sInt Enters = 0;
  void Enter(sInt) override { Enters++; }
};

// The folder the pictures of a scene are kept in: $SPARKVANE_PICTURES or the temporary
// folder, with the scene's name; never the source tree.
inline std::string PictureFolder(const char *scene)
{
  const char *env = getenv("SPARKVANE_PICTURES");
  const std::string dir = std::string(env && *env ? env : "/tmp/sparkvane-pictures") + "/" + scene;
  std::filesystem::create_directories(dir);
  return dir;
}

// The picture of a frame file (ARGB, rows from the top).
struct Picture
{
  sInt SizeX = 0, SizeY = 0;
  std::vector<sU32> Data;
  explicit Picture(const std::string &file)
  {
    sImage img;
    EXPECT_TRUE(img.Load(std::u16string(file.begin(), file.end()).c_str())) << file;
    SizeX = img.SizeX, SizeY = img.SizeY;
    Data.assign(img.Data, img.Data + img.SizeX * img.SizeY);
  }
  sU32 At(sInt x, sInt y) const { return Data[size_t(y * SizeX + x)]; }
  static sInt Luma(sU32 c) { return ((c >> 16) & 255) + ((c >> 8) & 255) + (c & 255); }
  // The largest difference of a colour channel.
  static sInt Differ(sU32 a, sU32 b)
  {
    sInt d = 0;
    for(sInt s = 0; s < 24; s += 8) d = std::max(d, std::abs(sInt((a >> s) & 255) - sInt((b >> s) & 255)));
    return d;
  }
  // Pixels of the rectangle (fractions of the picture) that pass the test.
  sInt Count(const std::function<sBool(sU32, sInt x, sInt y)> &test, sF32 x0 = 0, sF32 y0 = 0, sF32 x1 = 1, sF32 y1 = 1) const
  {
    sInt n = 0;
    for(sInt y = sInt(y0 * SizeY); y < sInt(y1 * SizeY); y++)
      for(sInt x = sInt(x0 * SizeX); x < sInt(x1 * SizeX); x++) n += test(At(x, y), x, y) ? 1 : 0;
    return n;
  }
  sInt Count(sBool (*test)(sU32), sF32 x0 = 0, sF32 y0 = 0, sF32 x1 = 1, sF32 y1 = 1) const
  {
    return Count([test](sU32 c, sInt, sInt) { return test(c); }, x0, y0, x1, y1);
  }
  // Pixels that differ clearly from the colour: by more than 24 over the three channels.
  sInt OtherThan(sU32 colour) const
  {
    return Count([&](sU32 c, sInt, sInt) {
      sInt d = 0;
      for(sInt s = 0; s < 24; s += 8) d += std::abs(sInt((c >> s) & 255) - sInt((colour >> s) & 255));
      return d > 24;
    });
  }
  // Pixels of the rectangle that differ from the other picture's by more than `by`.
  sInt Changed(const Picture &o, sInt by = 24, sF32 x0 = 0, sF32 y0 = 0, sF32 x1 = 1, sF32 y1 = 1) const
  {
    return Count([&](sU32 c, sInt x, sInt y) { return Differ(c, o.At(x, y)) > by; }, x0, y0, x1, y1);
  }
};

class ShowRig : public testing::Test
{
public:
  static constexpr sInt W = 480, H = 270;
  StartupRecord Record = sStartupRecord;
  SceneMachine *M = nullptr;
  SyncMachine *Sync = nullptr;
  std::string Frame = "/tmp/sparkvane-rig-" + std::to_string(getpid()) + ".bmp";
  std::u16string FramePattern = std::u16string(Frame.begin(), Frame.end());
  char OldDir[4096] = {};
  sFrameMemoryStats Frames = sGetFrameMemoryStats();

  static void SetUpTestSuite() { RenderTest::Window = OpenGfxWindow("scenes", W, H); }
  static void TearDownTestSuite() { RenderTest::TearDownTestSuite(); }

  void SetUp() override
  {
    ASSERT_TRUE(sIsGfxActive());
    ASSERT_TRUE(getcwd(OldDir, sizeof(OldDir)) && chdir(TWDATA_DIR) == 0);
    SetShowDisplay(0, W, H);
    Record.UsePackfile = Record.MusicOn = Record.InputLock = Record.UseLoader = Record.PackedAssets = 0;
    Record.FixedStep = 1;
    Record.FixedStepMs = 50;
    Record.InitialBpm = 240.0f;   // a bar is one second, a step 62.5 ms: no step is skipped
    Record.CapturePattern = FramePattern.c_str();
    static ShowRig *rig;
    rig = this;
    sShowPlugins = {};
    sShowPlugins.CreateSync = [](sF32 bpm, sPainter *, sInt, sInt, sInt first, sInt last) {
      rig->Sync = sNEW SyncMachine(bpm);
      rig->Sync->SetSceneKeyRange(first, last);
      return rig->Sync;
    };
    sShowPlugins.DeleteSync = [](SyncMachine *s) { sDELETE(s); };
    sShowPlugins.UpdateSync = [](SyncMachine *s, sInt ms) { s->Update(ms); };
    sShowPlugins.HasPatterns = [](SyncMachine *s, sInt c) -> sBool { return s->Tables[c] != nullptr; };
    sShowPlugins.PollKey = [](SyncMachine *s, sInt c, sInt first) { return sInt(s->PollKey(c, first)); };
    sShowPlugins.SyncOnKey = [](SyncMachine *s, sU32 code) { s->OnKey(sInt(code)); };
    sShowPlugins.ClearTrigger = [](SyncMachine *s) { s->ClearTrigger(); };
    sShowPlugins.ClearFreeze = [](SyncMachine *s) { s->Freeze = 0; };
    sShowPlugins.GetColorPreset = [](SyncMachine *s) { return s->ColorPreset; };
    sShowPlugins.GetSyncClock = [](SyncMachine *s) { return sU32(s->PublishedClock); };
  }
  void TearDown() override
  {
    Drop();
    sShowPlugins = {};
    std::remove(Frame.c_str());
    EXPECT_EQ(chdir(OldDir), 0);
  }
  // Ends the machine, which takes the frame memory with it: the test entry's comes back.
  void Drop()
  {
    sDELETE(M);
    sPartitionMemory(Frames.FrameSize, Frames.DMASize);
  }
  void Step()
  {
    ASSERT_TRUE(sRender3DBegin());
    M->OnPaint3D();
    sRender3DEnd(1);
  }
  void Steps(sInt n)
  {
    for(sInt f = 0; f < n && !HasFatalFailure(); f++) Step();
  }

  // Registers the scenes at their indices and starts the machine.
  void Build(std::initializer_list<std::pair<sInt, Scene *>> scenes)
  {
    M = sNEW SceneMachine(&Record);
    for(const auto &s : scenes) M->RegisterScene(s.second, u"scene", s.first, 1, 0);
    M->Start();
  }
  // The scene under test at its index with a blank scene at 0 to switch away to.
  template <class S> S *Build(sInt index)
  {
    S *scene = sNEW S;
    Build({{0, sNEW BlankScene}, {index, scene}});
    return scene;
  }
  // The pending transition that gives a render mode, and the mode it gives (each the other's).
  static sInt Pending(sInt mode)
  {
    static const sInt transition[5] = {0, 1, 3, 2, 4};
    return transition[mode];
  }
  // A second scene of the type, initialised with the loader's flag as the machine's start
  // gives it: the loader steps its Init took beyond those of building its set (one for each
  // picture and one more for each height map turned into normals).
  template <class S> sInt StepsBeyondPictures()
  {
    const sInt before = M->Loader->Steps;
    S *s = sNEW S;
    s->Init(Sync, 2, nullptr);
    sInt beyond = M->Loader->Steps - before;
    for(sInt i = 0; i < s->MaterialSet->TextureCount; i++)
      beyond -= s->MaterialSet->TextureTable[i].LoadOption & sTMD_HEIGHTTONORMAL ? 2 : 1;
    sDELETE(s);
    return beyond;
  }
  // Switches away to `away` (for `frames` frames) and back to `index` with the pending
  // transition given.
  void Visit(sInt index, sInt pending, sInt away = 0, sInt frames = 0)
  {
    M->PendingTransition = 0;
    M->SwitchScene(away);
    Steps(frames);
    M->PendingTransition = pending;
    M->SwitchScene(index);
    ASSERT_EQ(M->Current, index);
  }
  // Visits the scene at `index` from the blank scene at 0 in the render mode given.
  void EnterMode(sInt index, sInt mode)
  {
    Visit(index, Pending(mode));
    ASSERT_EQ(M->Scenes[index]->RenderMode, mode);
  }
  // Keeps the frame as <name>.bmp in the scene's picture folder; its file name.
  std::string Keep(const char *scene, const std::string &name)
  {
    const std::string file = PictureFolder(scene) + "/" + name + ".bmp";
    std::filesystem::copy_file(Frame, file, std::filesystem::copy_options::overwrite_existing);
    return file;
  }
  Picture Shot() const { return Picture(Frame); }
  // The first target of a form's shadow record after the scene's light views drew the
  // record's casters into it (light i's depth in colour channel i, red first), kept as
  // <name>.bmp: per light, the pixels a caster reached.
  std::vector<sInt> LightDepths(Scene *s, Form *form, const char *scene, const std::string &name)
  {
    std::vector<sInt> reached(3, 0);
    sTexture2D *t = form->ShadowRecord ? form->ShadowRecord->Targets[0] : nullptr;
    EXPECT_NE(t, nullptr);
    if(!t || !sRender3DBegin()) return reached;
    const sU32 channels[3] = {0xffff0000, 0xff00ff00, 0xff0000ff};
    s->RenderLightDepths(form->ShadowRecord, form->ShadowCasterMask, channels);
    sSetTarget(sRenderTargetSpec(sRTF_NO_MULTISAMPLE, 0, nullptr, t, nullptr));
    const std::vector<sU32> px = ReadScreen(t->SizeX, t->SizeY);
    sRender3DEnd(0);
    sImage shot(t->SizeX, t->SizeY);
    std::copy(px.begin(), px.end(), shot.Data);
    const std::string file = PictureFolder(scene) + "/" + name + ".bmp";
    shot.Save(std::u16string(file.begin(), file.end()).c_str());
    for(sU32 c : px)
      for(sInt i = 0; i < 3; i++) reached[size_t(i)] += ((c >> (16 - 8 * i)) & 255) != 0;
    return reached;
  }
  // Each camera of the scene in turn, `frames` frames each, its picture kept as
  // <name>-variant<v>: the number of pictures that `shows` holds for.
  sInt EachCamera(Scene *s, const char *scene, const std::string &name, sInt cameras, sInt frames,
                  const std::function<sBool(const Picture &)> &shows)
  {
    sInt n = 0;
    for(sInt v = 0; v < cameras && !HasFatalFailure(); v++)
    {
      s->Variant = v;
      Steps(frames);
      n += shows(Picture(Keep(scene, name + "-variant" + std::to_string(v)))) ? 1 : 0;
    }
    return n;
  }
  // Runs the scene's visits (`run` builds the machine) three times and ends the machine
  // each time. The first run settles what the process keeps (caches, statics); after it a
  // run gives back all it took. A block the SYNC machine's clock-driven retries hand from
  // one run to the next is not a leak: a leak shows in every run.
  void ExpectExitsClean(const std::function<void()> &run)
  {
    sS64 taken[3];
    for(sS64 &t : taken)
    {
      const sS64 before = sAllocatedBytes.load();
      run();
      Drop();
      t = sAllocatedBytes.load() - before;
    }
    EXPECT_LE(std::min(taken[1], taken[2]), 0);
  }
};

// The rig of one scene type at its index, with the blank scene at 0: Start builds the
// machine and keeps the scene in Tested, which each rig names as its tests read it.
template <class S, sInt Index> class SceneRig : public ShowRig
{
public:
  S *Tested = nullptr;
  void Start() { Tested = Build<S>(Index); }
  // Switches to the scene with the machine's transition giving the render mode.
  void EnterWithMode(sInt mode) { EnterMode(Index, mode); }
};

// Runs the scene at index 0 (with a blank scene at 1) through two visits in each group of
// transition modes, every camera in the first visits (in the styled group only when the
// scene's cameras do not depend on the mode), and keeps their pictures. Returns the number
// of pictures that show more than the clear colour.
inline sInt CycleScene(ShowRig &rig, Scene *scene, sInt variants, const char *name, sBool calmCameras = 1)
{
  rig.Build({{0, scene}, {1, sNEW BlankScene}});
  sInt drawn = 0;
  for(sInt visit = 0; visit < 2; visit++)
    for(const sInt pending : {0, 2})
    {
      rig.M->PendingTransition = pending;
      rig.M->SwitchScene(1);
      rig.Step();
      rig.M->SwitchScene(0);
      EXPECT_EQ(scene->RenderMode, pending ? 3 : 0);
      const sBool pictured = !visit && (pending || calmCameras);
      for(sInt v = 0; v < (pictured ? variants : 1); v++)
      {
        scene->Variant = v;
        rig.Step();
        if(!pictured) continue;
        const Picture p(rig.Keep(name, "mode" + std::to_string(scene->RenderMode) + "-variant" + std::to_string(v)));
        drawn += p.Count([&](sU32 c, sInt, sInt) { return c != p.Data[0]; }) > p.SizeX * p.SizeY / 100;
      }
    }
  return drawn;
}

// Visits the scene at index 0 from index 1 once per pending transition, running `frames`
// frames in each visit and each stay away, and calls `visit` with the render mode after
// the frames of each visit.
inline void VisitInModes(ShowRig &rig, std::initializer_list<sInt> pendings, sInt frames,
                         const std::function<void(sInt mode)> &visit)
{
  for(sInt pending : pendings)
  {
    rig.M->PendingTransition = 0;
    rig.M->SwitchScene(1);
    rig.Steps(frames);
    rig.M->PendingTransition = pending;
    rig.M->SwitchScene(0);
    EXPECT_EQ(rig.M->Current, 0);
    rig.Steps(frames);
    visit(rig.M->Scenes[0]->RenderMode);
  }
}

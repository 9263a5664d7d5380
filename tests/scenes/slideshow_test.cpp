// The Slideshow in a running machine: every sample picture reaches the screen in each
// style, the texture slots never leave a material on a freed texture, odd folders and
// settings are survived, the loader keeps going while the folder changes under it, and the
// shadows, jolts and strip delays keep to their rules.
#include "show_rig.hpp"

#include "../common/temp_dir.hpp"
#include "show/guirecords.hpp"
#include "scenes/slideshow.hpp"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>
#include <tuple>
#include <utility>

namespace
{
// Not near black, the Slideshow's clear colour.
sBool Lit(sU32 c) { return (c & 0xE0E0E0) != 0; }

class SlideshowRig : public ShowRig
{
public:
  SlideshowScene *S = nullptr;
  SlideshowControl Control;
  const SyncPattern *Silence[2] = {&sEmptyPattern, nullptr};

  void Begin(const std::string &folder, sInt style)
  {
    S = Build<SlideshowScene>(1);
    S->Control = &Control;
    Enter(folder, style);
  }
  // Enters with the folder and style; the picture events are then the test's alone.
  void Enter(const std::string &folder, sInt style)
  {
    sCopyString(Control.path, std::u16string(folder.begin(), folder.end()).c_str());
    Control.style = style;
    M->SwitchScene(1);
    Sync->SetPatternTable(0, Silence);
  }
  // Frames until the loader has nothing left to hand over for the picture on screen.
  void Settle()
  {
    for(sInt i = 0; i < 2000; i++)
    {
      Step();
      sScopeLock lock(S->Lock);
      if(!S->PendingFlag && (S->LoadIndex > S->ShownIndex || S->LoadIndex >= S->PictureCount)) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ADD_FAILURE() << "the loader never caught up";
  }
  std::pair<sInt, sInt> Shown() const
  {
    sInt x = 0, y = 0, z = 0;
    S->MaterialSet->Materials[14]->Texture[0]->GetSize(x, y, z);
    return {x, y};
  }
  void ExpectMaterialsOnLiveSlots()
  {
    for(sInt m = 14; m < 18; m++)
    {
      const sTextureBase *t = S->MaterialSet->Materials[m]->Texture[0];
      EXPECT_TRUE(t == S->MaterialSet->Textures[12] || t == S->MaterialSet->Textures[13] ||
                  t == S->MaterialSet->Textures[14])
          << "material " << m;
    }
  }
};
}

TEST_F(SlideshowRig, EveryPictureOfTheFolderIsShownInEachStyle)
{
  const std::string folder = std::string(TWDATA_DIR) + "/slideshow/pictures";
  const std::set<std::pair<sInt, sInt>> samples = {{640, 360}, {256, 256}, {240, 320}, {400, 300},
                                                    {800, 200}, {64, 48},   {320, 200}, {200, 280}};
  Begin(folder, 0);
  for(sInt style = 0; style < 3; style++)
  {
    if(style) Enter(folder, style);
    EXPECT_EQ(Control.pictureCount, 9);   // the broken JPEG counts; the text files do not
    EXPECT_EQ(PatternBars(S->Patterns()), 24);   // a row of bars per four pictures, and one
    EXPECT_EQ(S->Variant, style);
    std::set<std::pair<sInt, sInt>> seen;
    S->OnEvent(108);   // arms the show
    for(sInt i = 0; i < 12; i++)
    {
      Settle();
      S->OnEvent(108);
      ExpectMaterialsOnLiveSlots();
      seen.insert(Shown());
      Steps(4);   // into the picture's time on screen
      ExpectMaterialsOnLiveSlots();
    }
    for(const auto &p : samples) EXPECT_TRUE(seen.count(p)) << style << ": " << p.first << "x" << p.second;
    if(style == 2)
    {
      // the newest page at rest stands in the view, whichever side its slot brings it from
      S->LeadHidden = S->TrailHidden = 0;
      for(sInt f = 0; f < 100; f++)
      {
        Step();
        const sF32 P = ReadSync(S->SyncSource).FourBarPhase;
        const sF32 t = S->LeadSet == 0 ? 2.0f * P : P > 0.5f ? 2.0f * P - 1.0f : 2.0f * P + 1.0f;
        if(t > 0.3f && t < 0.8f) break;
      }
      for(sInt slot = 0; slot < 3; slot++)
      {
        S->ShownSlot = slot;
        Step();
        const sViewport &v = M->Views[1];
        const sVec3 d = S->Pages[0]->Matrix.l - v.Camera.l;
        const sF32 z = sDot(d, v.Camera.k), x = sDot(d, v.Camera.i);
        EXPECT_TRUE(z > 0.0f && std::fabs(x / z) * v.ZoomX < 1.0f) << "slot " << slot << ": " << x << ", " << z;
      }
    }
    EXPECT_GT(Picture(Keep("slideshow", "style" + std::to_string(style))).Count(Lit), W * H / 4) << style;
  }

  // style 3 draws nothing of the scene: the frame is the clear colour alone
  Enter(folder, 3);
  Step();
  const Picture clear = Shot();
  EXPECT_EQ(std::count(clear.Data.begin(), clear.Data.end(), clear.Data[0]), W * H);
  // a missing texture has the 4:3 shape
  S->MaterialSet->Materials[15]->Texture[0] = nullptr;
  EXPECT_FLOAT_EQ(S->PictureAspect(15), 4.0f / 3.0f);
}

// Style 0 brings a picture in as a dark print of its darker parts, which fades out from
// progress 0.3 as the picture itself comes up: a mid-grey picture darkens its ground.
TEST_F(SlideshowRig, StyleZeroBringsAPictureInAsADarkPrint)
{
  sparktest::TempDir pics;
  sImage grey(64, 48);
  std::fill(grey.Data, grey.Data + 64 * 48, 0xFF4C4C4Cu);   // luminance 0.3
  const std::string file = pics.Name8("grey.bmp");
  ASSERT_TRUE(grey.Save(std::u16string(file.begin(), file.end()).c_str()));
  Begin(pics.Path, 0);
  S->OnEvent(108);
  Settle();
  S->OnEvent(108);   // the grey picture on screen, in both picture sets
  // the lead set alone over a mid-grey ground
  for(sInt i = 0; i < S->ObjectCount; i++) S->Objects[i]->LayerMask = 0;
  for(PictureForm *f : S->ChannelLayers[S->LeadSet]) f->LayerMask = 1;
  S->LeadHidden = 0;
  S->TrailHidden = 1;
  S->RenderEnv.FogColor = 0xFF808080;
  sBool seen = 0;
  for(sInt f = 0; f < 100 && !seen; f++)
  {
    Step();
    const sF32 t = 2.0f * ReadSync(S->SyncSource).FourBarPhase;   // the lead set's progress
    if(t < 0.15f || t > 0.24f) continue;
    seen = 1;
    const Picture p(Keep("slideshow", "style0-print"));
    EXPECT_GT(p.Count([](sU32 c) { return sBool(std::max({(c >> 16) & 255, (c >> 8) & 255, c & 255}) < 100); }),
              W * H / 10)
        << "progress " << t;
  }
  EXPECT_TRUE(seen);
}

// The channel shadows keep their texture's plain mapping (the mirroring is the layers');
// a jolt grows a layer's rest, on which the layer stands from the next frame on; and a
// strip's delay reaches up to its full tenth.
TEST_F(SlideshowRig, ShadowsJoltsAndStripDelaysOfStyleZeroAndOne)
{
  // the half-bar pulse still: a layer stands on its rest alone
  sShowPlugins.UpdateSync = [](SyncMachine *s, sInt ms) {
    s->Update(ms);
    s->Results.PulseA = 0.0f;
  };
  Begin("", 0);
  Step();   // the switch enters the scene, which installs its table: silence it again
  Sync->SetPatternTable(0, Silence);
  S->OnEvent(108);
  S->OnEvent(108);
  S->LeadHidden = S->TrailHidden = 0;
  Sync->SelectColorPreset(3);
  sBool seen = 0;
  for(sInt f = 0; f < 120 && !seen; f++)
  {
    const PictureForm *layer = S->ChannelLayers[S->LeadSet][1];
    const sF32 rest = layer->Rest.z;
    S->JoltMode = 2;   // a jolt a tenth of a bar ago that pushes the layers away
    S->JoltStart = ReadSync(S->SyncSource).BarPhase - 0.1f;
    Step();
    const sF32 t = 2.0f * ReadSync(S->SyncSource).FourBarPhase;   // the lead set's progress
    if(t < 0.55f || t > 0.95f) continue;
    seen = 1;
    EXPECT_GT(layer->Rest.z, rest + 1.0f);
    EXPECT_FLOAT_EQ(layer->Matrix.l.z, rest + 160.0f);
  }
  EXPECT_TRUE(seen);
  for(const PictureForm *f : S->ChannelShadows)
    EXPECT_TRUE(f->Range1[0] == 1.0f && f->Range1[1] == 1.0f && f->Range1[2] == 0.0f && f->Range1[3] == 0.0f);

  // a picture event whose draws for the delays hold one a hair below 1
  sU32 seed = 0;
  for(;; seed++)
  {
    sRandomLcg r(seed);
    r.NextBelow(30);
    sF32 top = 0.0f;
    for(sInt j = 0; j < SLIDESHOW_MAXSTRIPS; j++) top = std::max(top, r.NextFloat(1.0f));
    if(top > 0.9999f) break;
  }
  S->Random.Seed(seed);
  const sInt lead = S->LeadSet;
  S->OnEvent(108);
  EXPECT_GT(*std::max_element(S->StripDelay[lead], S->StripDelay[lead] + SLIDESHOW_MAXSTRIPS), 0.09995f);
}

TEST_F(SlideshowRig, OddFoldersAndSettingsAreSurvived)
{
  sparktest::TempDir many;
  for(sInt i = 0; i < 1030; i++) std::ofstream(many.Name8(("p" + std::to_string(i) + ".png").c_str()));
  Begin(many.Path, 77);   // a style from a damaged configuration
  EXPECT_EQ(S->Variant, 0);
  EXPECT_EQ(S->LayerMask, 1u);
  EXPECT_EQ(Control.pictureCount, 1023);
  EXPECT_EQ(PatternBars(S->Patterns()), 256 * 8);
  S->OnEvent(108);
  for(sInt i = 0; i < 4; i++) Settle(), S->OnEvent(108), Step();   // none decodes: the photos stay
  ExpectMaterialsOnLiveSlots();

  for(const std::string &folder : {std::string(1500, 'x'), std::string()})
  {
    Enter(folder, -1);
    EXPECT_EQ(Control.pictureCount, 0);
    EXPECT_EQ(PatternBars(S->Patterns()), 8);
    EXPECT_EQ(S->LayerMask, 1u);
    Step();
  }
}

// The Slideshow entered again while it is current (the GUI's START, a scene picked) with a
// folder of fewer pictures and then of more: its list ends at the new length, where the next
// scene is asked for.
TEST_F(SlideshowRig, EnteredAgainWhileCurrentItsListEndsAtTheNewLength)
{
  sparktest::TempDir few, some, more;   // 16, 32 and 48 bars
  for(auto [d, n] : {std::pair{&few, 4}, {&some, 12}, {&more, 20}})
    for(sInt i = 0; i < n; i++) std::ofstream(d->Name8("p" + std::to_string(i) + ".png"));
  Record.FixedStepMs = 250;   // four steps a frame
  S = Build<SlideshowScene>(1);
  S->Control = &Control;
  SceneRequest request = {};   // the next scene: the blank one at 0
  request.SlideshowIndex = 1;
  Sync->GuiRecord = &request;
  for(auto [first, again, bars] : {std::tuple{&some, &few, 16}, {&few, &more, 48}})
  {
    for(const sparktest::TempDir *d : {first, again})   // the second while current
    {
      sCopyString(Control.path, std::u16string(d->Path.begin(), d->Path.end()).c_str());
      M->SwitchScene(1);
      Steps(4);
    }
    EXPECT_EQ(PatternBars(S->Patterns()), bars);
    sInt last = -1;
    for(sInt f = 0; f < 200 && M->Current == 1 && !HasFatalFailure(); f++)
    {
      if(Sync->BarIndex[0] + 16 < bars) Sync->OnKey(60);   // '<': seven bars ahead
      Step();
      if(M->Current == 1) last = std::max(last, Sync->BarIndex[0]);
    }
    EXPECT_EQ(last, bars - 1);
    EXPECT_EQ(M->Current, 0);
  }
}

TEST_F(SlideshowRig, PicturesDeletedOrReplacedWhileTheShowRuns)
{
  sparktest::TempDir pics;
  const std::string from = std::string(TWDATA_DIR) + "/slideshow/pictures/";
  const char *names[] = {"01_wide.jpg", "02_square.png", "04_classic.png", "06_small.png"};
  for(const char *n : names) std::filesystem::copy_file(from + n, pics.Name8(n));
  Begin(pics.Path, 1);
  std::thread meddler([&] {
    for(sInt round = 0; round < 40; round++)
      for(sInt i = 0; i < 4; i++)
      {
        std::error_code ec;
        if((round + i) & 1) std::filesystem::remove(pics.Name8(names[i]), ec);
        else std::filesystem::copy_file(from + names[(i + round) % 4], pics.Name8(names[i]),
                                        std::filesystem::copy_options::overwrite_existing, ec);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
  });
  // few frames: the software renderer's cost of a slideshow frame varies from milliseconds
  // to seconds with what is on the screen
  for(sInt k = 0; k < 10; k++)
  {
    if(k % 4 == 0) Enter(pics.Path, k / 4 % 2 + 1);   // a new listing while a decode may be under way
    S->OnEvent(108);
    Steps(2);
    ExpectMaterialsOnLiveSlots();
  }
  meddler.join();
  // leaves with a decode possibly pending: the end of the machine takes the image along
  M->SwitchScene(0);
}

// A file that does not decode leaves its slot with the picture it had; a slot without a
// picture (nor a material on it) takes the folder's next files, decoded or not, until it
// has one or the folder ends. The test runs the loader's passes itself.
TEST_F(SlideshowRig, AFileThatDoesNotDecodeGivesAnEmptySlotTheNextPicture)
{
  sparktest::TempDir pics;
  std::ofstream(pics.Name8("a_broken.jpg")) << "not a picture";
  std::filesystem::copy_file(std::string(TWDATA_DIR) + "/slideshow/pictures/02_square.png", pics.Name8("b_square.png"));
  Begin(pics.Path, 1);
  sDELETE(S->LoaderThread);
  sTexture2D *photo = S->MaterialSet->Textures[12];
  // the folder's first file, the slot empty, the files the pass reads
  const struct
  {
    char First;
    sBool Empty;
    sInt Read;
  } cases[] = {{'a', 0, 1}, {'a', 1, 2}, {'b', 1, 2}};
  for(const auto &c : cases)
  {
    SCOPED_TRACE(c.First);
    const sBool empty = c.Empty;
    Enter(pics.Path, 1);
    S->PendingFlag = 0;   // the image a pass before may have left goes with the machine
    if(S->Listing[0].Name[0] != c.First) std::swap(S->Listing[0], S->Listing[1]);
    sTexture2D *&slot = S->MaterialSet->Textures[12];
    for(sInt m = 14; m < 18 && empty; m++)
      if(S->MaterialSet->Materials[m]->Texture[0] == slot) S->MaterialSet->Materials[m]->Texture[0] = nullptr;
    if(slot != photo) sDELETE(slot);   // the picture a case before loaded
    slot = empty ? nullptr : photo;
    EXPECT_TRUE(SlideshowLoadNext(S));
    EXPECT_EQ(S->LoadIndex, c.Read);
    Step();
    sInt x = 0, y = 0, z = 0;
    ASSERT_TRUE(S->MaterialSet->Textures[12]);
    S->MaterialSet->Textures[12]->GetSize(x, y, z);
    EXPECT_EQ(x == y, empty) << x << " " << y;   // the square picture, or the photo it had
  }
  ExpectMaterialsOnLiveSlots();
  sDELETE(photo);
}

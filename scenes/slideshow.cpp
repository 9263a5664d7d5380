// The Slideshow scene: tables, construction, Enter and Leave, the picture events, the
// per-frame animation of the three styles, the texture hand-over and the camera.
#include "scenes/slideshow.hpp"

#include "graphics/image.hpp"
#include "graphics/imagetexture.hpp"
#include "show/forms.hpp"
#include "show/guirecords.hpp"
#include "show/mainapp.hpp"
#include "show/media.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

/****************************************************************************/
/***   Tables                                                             ***/
/****************************************************************************/

namespace
{
const TextureEntry SlideshowTextures[] = {
    {u"slideshow/unpacked/white.bmp", u"slideshow/packed/white.png", 0x1001, 2},
    {u"slideshow/unpacked/star.bmp", u"slideshow/packed/star.png", 0x1001, 2},
    {u"slideshow/unpacked/center.bmp", u"slideshow/packed/center.png", 0x1001, 2},
    {u"slideshow/unpacked/round.pic", u"slideshow/packed/round.pic", 0x1001, 4},
    {u"slideshow/unpacked/lightpoint.bmp", u"slideshow/packed/lightpoint.png", 0x1001, 2},
    {u"slideshow/unpacked/outline.pic", u"slideshow/packed/outline.pic", 0x1001, 4},
    {u"slideshow/unpacked/background.pic", u"slideshow/packed/background.pic", 0x1001, 4},
    {u"slideshow/unpacked/star_bg.bmp", u"slideshow/packed/star_bg.png", 0x1001, 2},
    {u"slideshow/unpacked/style2_bg.pic", u"slideshow/packed/style2_bg.pic", 0x1001, 4},
    {u"slideshow/unpacked/mirrow.pic", u"slideshow/packed/mirrow.pic", 0x1001, 4},
    {u"slideshow/unpacked/horizon.bmp", u"slideshow/packed/horizon.png", 0x1001, 2},
    {u"slideshow/unpacked/horizon_bg.bmp", u"slideshow/packed/horizon_bg.png", 0x1001, 2},
    {u"slideshow/unpacked/photo_1.bmp", u"slideshow/packed/photo_1.png", 0x1401, 0},
    {u"slideshow/unpacked/photo_2.bmp", u"slideshow/packed/photo_2.png", 0x1401, 0},
    {u"slideshow/unpacked/photo_3.bmp", u"slideshow/packed/photo_3.png", 0x1401, 0},
    {nullptr, nullptr, 0, 0},
};

constexpr MaterialEntry Row(sInt kind, sInt w1, sU32 w2, sU32 blend, sU32 address, sInt texture)
{
  return MaterialRow(kind, w1, w2, blend, 1, address, 0, 0, 0, texture, 0, 0, 0);
}

const MaterialEntry SlideshowMaterials[] = {
    Row(0, 1, 0, 0, 1, 0),
    Row(0, 1, 0, 0x20102, 1, 1),
    Row(0, 1, 0, 0x20102, 0x11000011, 2),
    Row(0, 1, 0, 0x60105, 1, 3),
    Row(0, 1, 0, 0x20102, 1, 4),
    Row(0, 1, 0, 0x60105, 1, 5),
    Row(0, 1, 0, 0x60105, 1, 6),
    Row(0, 1, 1, 0x60105, 1, 6),
    Row(0, 3, 0, 0x20102, 1, 7),
    Row(0, 1, 0, 0x20102, 1, 2),
    Row(0, 1, 0, 0x60105, 1, 8),
    Row(0, 1, 0, 0x60105, 1, 9),
    Row(0, 1, 0, 0x20102, 1, 10),
    Row(0, 1, 0, 0x20102, 1, 11),
    Row(14, 1, 0, 0x60105, 0x11000011, 12),
    Row(14, 1, 0, 0x60105, 0x11000011, 13),
    Row(14, 1, 0, 0x20102, 0x11000011, 12),
    Row(14, 1, 0, 0x20102, 0x11000011, 13),
    MaterialEnd(),
};

enum : sInt
{
  PhotoTexture = 12,     // picture slot n is texture 12 + n
  NewestMaterial = 14,   // 14 and 16 show the newest picture, 15 and 17 the one before
};

// ornament layers: plate colour, plate size, band width
const sU32 PlateColour[4] = {0xFF000000, 0xFF282020, 0xFFA08880, 0xFF602010};
const sF32 PlateSize[4] = {84.0f, 78.0f, 40.0f, 34.0f};
const sF32 BandWidth[4] = {16.0f, 12.0f, 2.2f, 0.0f};

constexpr sF32 PictureHeight = 460.8f;   // 1536 x 0.3

SyncPattern MakePattern(std::initializer_list<sU32> first)
{
  SyncPattern p = {};
  sInt n = 0;
  for(sU32 c : first) p.Keys[0][n++] = c;
  p.Keys[8][0] = 107;
  return p;
}
const SyncPattern S1 = MakePattern({106, 107, 108});
const SyncPattern S2 = MakePattern({107});
const SyncPattern S3 = MakePattern({108, 107});

sF32 Clamp(sF32 x, sF32 lo, sF32 hi) { return x < lo ? lo : x > hi ? hi : x; }

ArrayForm *Plane(sInt material, sInt lock, sF32 sx, sF32 sy, sF32 ox, sF32 oy, sF32 su = 1, sF32 sv = 1)
{
  ArrayForm *f = sNEW ArrayForm(material);
  const sF32 r0[4] = {sx, sy, ox, oy}, r1[4] = {su, sv, 0, 0};
  f->Init(ArrayForm::PLANE, lock, 1, 16, 16, r0, r1);
  return f;
}

PictureForm *Picture(sInt material, sInt lock, sInt cells, sF32 sx, sF32 sy, sF32 uv)
{
  PictureForm *f = sNEW PictureForm(material);
  const sF32 r0[4] = {sx, sy, -0.5f * sx, -0.5f * sy}, r1[4] = {uv, uv, uv, uv};
  f->Init(ArrayForm::PLANE, lock, 1, cells, cells, r0, r1);
  return f;
}

ArrayForm *Cylinder(sInt material, sInt rows, sF32 height, sF32 start, sF32 su)
{
  ArrayForm *f = sNEW ArrayForm(material);
  const sF32 r0[4] = {2048.0f, height, 1.0f, start}, r1[4] = {su, 1, 0, 0};
  f->Init(ArrayForm::CYLINDER, 1, 1, 128, rows, r0, r1);
  f->PassFlags = 5;
  return f;
}

void SetForm(Form *f, sU32 colour, sU32 layer, const sVec3 &at)
{
  f->Colour = colour;
  f->LayerMask = layer;
  f->Matrix.l = at;
}

// The style of a control: 0..3; anything else is a fault of the settings and means 0.
sInt ControlStyle(const SlideshowControl *c) { return c && c->style >= 0 && c->style <= 3 ? c->style : 0; }

// The application hands the GUI's control block to the Slideshow through this hook.
struct InstallControlHook
{
  InstallControlHook()
  {
    sSetSlideshowControl = [](Scene *scene, SlideshowControl *control) {
      if(SlideshowScene *s = dynamic_cast<SlideshowScene *>(scene)) s->Control = control;
    };
  }
} ControlHook;
}

/****************************************************************************/
/***   Construction, Init, Exit                                           ***/
/****************************************************************************/

SlideshowScene::SlideshowScene()
{
  Table[0] = &S1;
  for(sInt i = 1; i < 8; i++) Table[i] = (i & 1) ? &S2 : &S3;
  Table[8] = nullptr;
}

SlideshowScene::~SlideshowScene() { Shutdown(); }

void SlideshowScene::Shutdown()
{
  for(SlideshowFrame *&f : Frames) sDELETE(f);
  // stops the loader and waits for it: after that nobody hands a picture over
  sDELETE(LoaderThread);
  if(Lock)
  {
    {
      sScopeLock lock(Lock);
      if(PendingImage) sDELETE(PendingImage);
      PendingFlag = 0;
    }
    sDELETE(Lock);
  }
}

void SlideshowScene::Exit() { Shutdown(); }

void SlideshowScene::BuildFrame(SlideshowFrame *f)
{
  const sInt L = f->Layer;
  if(L == 0)
  {
    f->Backdrop = Plane(2, 1, 500, 500, -250, -250);
    SetForm(f->Backdrop, 0xFF201010, 1, f->Position);
    AddObject(f->Backdrop);
  }
  const sF32 S = PlateSize[L];
  for(ArrayForm *&q : f->Squares)
  {
    q = Plane(3, 1, S, S, -0.5f * S, -0.5f * S);
    SetForm(q, PlateColour[L], 1, f->Position);
    AddObject(q);
  }
  const sF32 W = BandWidth[L];
  const sF32 turns[4] = {-0.5f * sScenePi, 0.0f, -3.0f * sScenePi, -3.5f * sScenePi};
  for(sInt i = 0; i < 4; i++)
  {
    ArrayForm *a = f->Arcs[i] = sNEW ArrayForm(L == 2 ? 5 : 0);
    const sF32 r0[4] = {sScenePi, W, 0.0f, 64.0f - 0.5f * W}, r1[4] = {8, 1, 0, 0};
    a->Init(ArrayForm::DISC, L == 2 ? 2 : 1, 1, 64, 2, r0, r1);
    a->Matrix.EulerXYZ(0.0f, 0.0f, turns[i]);
    SetForm(a, PlateColour[L], 1, f->Position);
    AddObject(a);
  }
}

void SlideshowScene::Init(SyncMachine *syncSource, sInt initFlags, TMData *globalSet)
{
  TakeMaterialSet(this, globalSet, SlideshowTextures, SlideshowMaterials, initFlags);
  if(globalSet) TextureSetKind = 2;   // borrowed: the scene's end leaves it to its owner
  SyncSource = syncSource;
  Control = nullptr;

  LightSet *main = MaterialSet->LightSets[0];
  main->Ambient = 0x404040;
  SetLight(main, 0, 0x5F5F5F, sVec3(1.0f, 0.5f, 0.5f), 1024.0f);
  SetLight(main, 1, 0x8F8F8F, sVec3(-1.0f, 1.0f, -2.0f), 1024.0f);
  MirrorLights(MaterialSet, 2);

  Backdrop = Plane(0, 1, 10000, 10000, -5000, -5000, 128, 128);
  SetForm(Backdrop, 0xFF201010, 1, sVec3(0, 0, 0));
  AddObject(Backdrop);
  GroundBand = Plane(6, 1, 10000, 100, -5000, -50, -6, -1);
  SetForm(GroundBand, 0xC0403030, 1, sVec3(0, -170, 50));
  AddObject(GroundBand);
  StarBand = Plane(1, 2, 10000, 200, -5000, -100, -6, -1);
  SetForm(StarBand, 0xFF808080, 1, sVec3(0, -165, 50));
  AddObject(StarBand);

  for(PictureForm *&f : ChannelShadows)
  {
    f = Picture(6, 2, 16, 614.4f, PictureHeight, 1.0f);
    f->Shape(614.4f, PictureHeight, -307.2f, -230.4f, 1, 1, 0, 0);   // the plain mapping of a form
    SetForm(f, 0x80202030, 1, sVec3(0, 0, 160));
    AddObject(f);
  }
  const sU32 channelColour[3] = {0x000000BF, 0x0000BF00, 0x00BF0000};
  for(sInt s = 0; s < 2; s++)
    for(sInt k = 0; k < 3; k++)
    {
      PictureForm *f = ChannelLayers[s][k] = Picture((k == 0 ? 14 : 16) + s, 2, 16, 614.4f, PictureHeight, -1.0f);
      f->Channel = k;
      SetForm(f, channelColour[k], 1, sVec3(0, 0, 160));
      AddObject(f);
    }

  RingSprites = sNEW ArrayForm(8);
  RingSprites->Vertices = NewMeshVertices(1024);
  std::memset(static_cast<void *>(RingSprites->Vertices), 0, 1024 * sizeof(MeshVertex));
  RingSprites->Init(ArrayForm::QUADS, 2, 3, 256, 1);
  RingSprites->LayerMask = 2;
  AddObject(RingSprites);
  RingPlane = Plane(2, 1, 2000, 2000, -1000, -1000);
  RingPlane->LayerMask = 2;
  AddObject(RingPlane);

  for(sInt s = 1; s >= 0; s--)
    for(sInt j = 0; j < SLIDESHOW_MAXSTRIPS; j++)
    {
      PictureForm *sh = StripShadows[s][j] = Picture(10, 2, 2, 0, 0, 1.0f);
      SetForm(sh, 0xC0000004, 2, sVec3(0, 0, 0));
      AddObject(sh);
      PictureForm *st = Strips[s][j] = Picture(14 + s, 2, 2, 0, 0, 1.0f);
      st->LayerMask = 2;
      AddObject(st);
    }

  HorizonWall = Cylinder(13, 16, 3072, -384, 2);
  HorizonWall->Matrix.EulerXYZ(0.0f, 0.25f * sScenePi, 0.0f);
  SetForm(HorizonWall, 0xFF601008, 4, sVec3(0, 0, 0));
  AddObject(HorizonWall);
  for(sInt i = 0; i < 7; i++)
  {
    HorizonBands[i] = Cylinder(12, 4, 256, 150.0f * sF32(i) + 50.0f, 4);
    SetForm(HorizonBands[i], i == 6 ? 0xFFC0C0C0 : i == 1 ? 0xFF404080 : 0xFF404040, 4, sVec3(0, 0, 0));
    AddObject(HorizonBands[i]);
  }
  for(sInt s = 0; s < 2; s++)
  {
    PageShadows[s] = Picture(10, 2, 2, 614.4f, PictureHeight, -1.0f);
    SetForm(PageShadows[s], 0xC0000004, 4, sVec3(0, 0, 0));
    PageShadows[s]->PassFlags = 5;
    AddObject(PageShadows[s]);
    Pages[s] = Picture(14 + s, 2, 2, 614.4f, PictureHeight, -1.0f);
    Pages[s]->LayerMask = 4;
    Pages[s]->PassFlags = 5;
    AddObject(Pages[s]);
  }
  MirrorFloor = Plane(11, 1, 3000, 3000, -1500, -1500);
  MirrorFloor->Matrix.EulerXYZ(0.5f * sScenePi, 0.0f, 0.0f);
  SetForm(MirrorFloor, 0xF0A0A0B0, 4, sVec3(0, 0, 0));
  MirrorFloor->PassFlags = 2;
  AddObject(MirrorFloor);

  sInt n = 0;
  for(sInt L = 0; L < 4; L++)
    for(sInt r = 0; r < 8; r++)
      for(sInt c = 0; c < 8; c++)
      {
        SlideshowFrame *f = Frames[n++] = sNEW SlideshowFrame;
        f->Layer = L;
        f->Home = f->Position = sVec3((sF32(c) - 3.5f) * 256.0f, (sF32(r) - 3.5f) * 256.0f, 0.0f);
        BuildFrame(f);
      }

  SetFade(this, 0.0f, 3000.0f, 0);
  TimeOffset = Random.NextBelow(65536);
  LoadIndex = ShownIndex = 0;
  LoadingEnabled = 0;
  PendingFlag = 0;
  PendingImage = nullptr;
  PendingSlot = 0;
  FirstEventPending = 1;

  Lock = sNEW sThreadLock;
  // the picture decoders' stack, not 16 KB: a GIF's code chains recurse thousands deep
  LoaderThread = sNEW sThread([](sThread *t, void *user) { SlideshowLoaderLoop(static_cast<SlideshowScene *>(user), t); },
                              0, sIMAGE_DECODERSTACK, this, u"slideshow loader");
}

/****************************************************************************/
/***   Enter, Leave, events                                               ***/
/****************************************************************************/

void SlideshowScene::ApplyStyle()
{
  Style = ControlStyle(Control);
  Variant = Style;
  LayerMask = 1u << Style;
}

void SlideshowScene::WritePatternRows(sInt pictures)
{
  const sInt rows = pictures / 4;
  for(sInt r = 1; r <= rows; r++)
    for(sInt i = 0; i < 8; i++) Table[r * 8 + i] = (r % 4 == 0) ? Table[i] : (i & 1) ? &S2 : &S3;
  Table[(rows + 1) * 8] = nullptr;
}

void SlideshowScene::Enter(sInt)
{
  sVERIFYDESC(Control, u"Control");
  ApplyStyle();
  for(sInt s = 0; s < 2; s++)
  {
    StripCount[s] = Random.NextBelow(30) + 2;
    for(sF32 &d : StripDelay[s]) d = Random.NextFloat(1.0f) * 0.1f;
  }
  const SyncNow s = ReadSync(SyncSource);
  ShownSlot = 0;
  const sF32 P = s.FourBarPhase;
  PhaseHalf = (P <= 0.0f || P > 0.5f) ? 1 : 0;
  LeadSet = PhaseHalf ? 1 : 0;
  TrailSet = 1 - LeadSet;
  MotionOffset = 0.0f;
  MotionStart = s.SyncClock;
  MotionSpeed = 0.05f;
  LeadHidden = TrailHidden = 1;

  {
    sScopeLock lock(Lock);
    Generation++;
    PictureCount = LoadIndex = ShownIndex = 0;
    Listing.Reset();
    Folder[0] = 0;
    const sInt length = sGetStringLen(Control->path);
    if(length >= SLIDESHOW_PATHCHARS)
    {
      // the loader joins folder and name in a buffer of this size: a cut name would
      // open another file, so a folder this long shows the built-in photos
      sLogF(u"slideshow", u"picture folder path too long (%d characters)\n", length);
    }
    else if(length > 0)
    {
      sCopyString(Folder, Control->path);
      sDynamicArray<sDirEntry> all;
      sLoadDir(all, Folder);
      for(sInt i = 0; i < all.GetSize() && Listing.GetSize() < SLIDESHOW_MAXPICTURES; i++)
      {
        const sDirEntry &e = all[i];
        // only pictures are listed, so every listed position can be shown
        if(e.Flags & sDEF_DIR || !IsImageFile(e.Name)) continue;
        if(length + 1 + sGetStringLen(e.Name) >= SLIDESHOW_PATHCHARS) continue;
        Listing.AddTail(e);
      }
      PictureCount = Listing.GetSize();
    }
    Control->pictureCount = PictureCount;
    WritePatternRows(PictureCount);
    LoadingEnabled = 1;
    FirstEventPending = 1;
  }
  InstallPatterns(SyncSource, 0, Table);
  TimeOffset = ReseedTimeOffset(&Random, 0xFFFFF);
}

void SlideshowScene::Leave(sInt)
{
  sScopeLock lock(Lock);
  LoadingEnabled = 0;
}

sF32 SlideshowScene::TravelAhead(const SyncNow &s) const
{
  return std::trunc(sF32(s.SyncClock - MotionStart + 2500) * MotionSpeed + MotionOffset);
}

void SlideshowScene::OnEvent(sInt code)
{
  const SyncNow s = ReadSync(SyncSource);
  if(code == 106)
  {
    const sF32 v = TravelAhead(s);
    MotionOffset = v - 2500.0f * MotionSpeed;
    MotionSpeed = -MotionSpeed;
    MotionStart = s.SyncClock;
  }
  else if(code == 107)
  {
    for(sF32 &a : JoltAmplitude) a = 2.0f;
    JoltStart = s.BarPhase;
    JoltMode = 0;
    if(Random.NextFloat(100.0f) < 50.0f)
    {
      JoltMode = Random.NextBelow(2) + 1;
      for(sInt i = 0; i < 3; i++)
        if(Random.NextFloat(100.0f) < 10.0f) JoltAmplitude[i] += 32.0f;
    }
  }
  else if(code == 108)
  {
    sScopeLock lock(Lock);
    if(!FirstEventPending)
    {
      const sF32 v = TravelAhead(s);
      for(sInt k = 0; k < 3; k++)
      {
        ChannelLayers[1][k]->Rest = ChannelLayers[0][k]->Rest;
        ChannelLayers[0][k]->Rest = sVec3(v, 0.0f, 0.0f);
      }
      sMaterial **m = MaterialSet->Materials;
      for(sInt pair = 0; pair < 2; pair++)
      {
        const sInt newest = NewestMaterial + 2 * pair;
        m[newest + 1]->Texture[0] = m[newest]->Texture[0];
        m[newest]->Texture[0] = MaterialSet->Textures[PhotoTexture + ShownSlot];
        for(sInt i = newest; i <= newest + 1; i++)
          m[i]->Prepare(StandardVertexFormat(MaterialSet->MaterialTable[i].VertexFormat));
      }
      if(PhaseHalf) (ShownSlot == 0 ? TrailHidden : LeadHidden) = 0;
      else (ShownSlot == 0 ? LeadHidden : TrailHidden) = 0;
      StripCount[LeadSet] = Random.NextBelow(30) + 2;
      for(sF32 &d : StripDelay[LeadSet]) d = Random.NextFloat(1.0f) * 0.1f;
      ShownIndex++;
      if(++ShownSlot == 3) ShownSlot = 0;
    }
    FirstEventPending = 0;
    LeadSet ^= 1;
    TrailSet ^= 1;
  }
}

/****************************************************************************/
/***   Render                                                             ***/
/****************************************************************************/

sF32 SlideshowScene::PictureAspect(sInt material) const
{
  const sTextureBase *t = MaterialSet->Materials[material]->Texture[0];
  sInt x = 0, y = 0, z = 0;
  if(t) const_cast<sTextureBase *>(t)->GetSize(x, y, z);
  // a missing photo or an empty texture has no shape of its own
  return (x > 0 && y > 0) ? sF32(x) / sF32(y) : 4.0f / 3.0f;
}

void SlideshowScene::PlaceFrame(SlideshowFrame *f, const sVec3 &camera, const SyncNow &s)
{
  // the 8 x 8 tiles of spacing 256 repeat every 2048 units around the camera; the floor
  // is taken in floating point, which a 16.16 fixed point would cut off at 32768 units
  auto wrap = [](sF32 home, sF32 cam) { return home + 2048.0f * sF32(std::floor((sF64(cam) - home + 1024.0) / 2048.0)); };
  f->Position = sVec3(wrap(f->Home.x, camera.x), wrap(f->Home.y, camera.y), wrap(f->Home.z, camera.z));
  if(f->Backdrop) f->Backdrop->Matrix.l = f->Position;
  for(sInt i = 0; i < 8; i++)
  {
    ArrayForm *q = f->Squares[i];
    q->Matrix.l = f->Position + sVec3(64.0f * sF32((i >> 1) & 1) + 128.0f * sF32(i & 1) - 64.0f, 64.0f * sF32(i / 2) - 64.0f, 0.0f);
    if(f->Layer == 3 && i == 2 && s.ColourPreset >= 3) q->Colour = sBlendColor(0xFF602010, 0xFFFFFFFF, s.PulseHalfBar);
  }
  for(sInt i = 0; i < 4; i++)
  {
    const sF32 a = i > 1 ? 1.0f : 0.0f, b = sF32(i & 1);
    ArrayForm *arc = f->Arcs[i];
    arc->Matrix.l = f->Position + sVec3(192.0f * b + 64.0f * a - 128.0f, 192.0f * a - 64.0f * b - 64.0f, 0.0f);
    if(f->Layer == 2)
    {
      arc->Range1[0] = 8.0f, arc->Range1[1] = 1.0f;
      arc->Range1[2] = 2.0f * (s.FourBarTriangleA + s.TwoBarTriangle - s.EightBarPhase);
      arc->Range1[3] = 0.0f;
      arc->Build();
    }
  }
}

void SlideshowScene::AnimateLayers(sInt set, sF32 t, sInt hidden, const SyncNow &s)
{
  sScopeLock lock(Lock);
  const sF32 a = Clamp((t - 0.3f) * 8.0f, 0, 1), b = Clamp(8.0f * t, 0, 1) * sScenePi, c = 1.0f - a;
  const sF32 B = s.PulseHalfBar;
  const sF32 w = hidden ? 0.0f : PictureAspect(14 + set) * PictureHeight;
  const sF32 h = hidden ? 0.0f : PictureHeight;
  for(sInt k = 0; k < 3; k++)
  {
    PictureForm *f = ChannelLayers[set][k];
    GradeWords &g = f->Grade;
    sF32 p3 = 8.0f * a - 5.0f * c;
    sF32 p2 = ((0.5f - 0.5f * std::cos(b)) * 0.35f - 0.15f) * c - 0.03f * a;
    sF32 p1 = a, p0 = 0.0f;
    const sF32 p4 = c;
    if(t >= 0.25f && t < 0.5f) p1 += B * 0.25f, p0 = -B * 0.25f;
    sVec3 pos = f->Rest;
    if(t >= 0.5f && t < 1.0f && s.ColourPreset >= 3)
    {
      sF32 bump = 0.0f;
      const sF32 d = s.BarPhase - JoltStart;
      if(JoltMode != 0 && d < 0.25f) bump = (0.5f - 0.5f * std::cos(2.0f * sScenePi * d)) * 10.0f;
      // the rest grows for the frames to come; this frame stands where it was
      if(JoltMode != 1) f->Rest.z += bump;
      else f->Rest.x += MotionSpeed > 0 ? bump : -bump;
      p1 += B * 0.3f;
      p0 += B * 0.125f;
      const sF64 ck = sF64(s.SyncClock) + 10000.0 * k;
      pos.x += ClockSin(ck, 0.03) * (sF32(k) * JoltAmplitude[0] + 0.5f) * B;
      pos.y += ClockSin(ck, 0.05) * (sF32(k) * JoltAmplitude[1] + 0.5f) * B;
      pos.z += ClockSin(ck, 0.07) * (sF32(k) * JoltAmplitude[2] + 0.5f) * B;
    }
    const sF32 e = Clamp(4.0f * t - 4.0f, 0, 1), fall = (std::cos(e * sScenePi) + 1.0f) * 0.5f;
    p3 *= fall, p2 *= fall;
    pos.z = (0.5f - 0.5f * std::cos(e * sScenePi * 0.5f)) * 750.0f + pos.z + 160.0f;
    g.Offset = p0, g.Gain = p1, g.AlphaThreshold = p2, g.AlphaGain = p3, g.AlphaBase = p4, g.Saturation = 0.7f;
    f->Matrix.l = pos;
    f->Shape(w, h, -0.5f * w, -0.5f * h, -1, -1, -1, -1);
  }
  ChannelShadows[set]->Shape(w, h, -0.5f * w, -0.5f * h, 1, 1, 0, 0);
}

void SlideshowScene::AnimateStrips(sInt set, sF32 t, sInt hidden, const SyncNow &)
{
  sScopeLock lock(Lock);
  const sF32 H = hidden ? 0.0f : PictureHeight;
  const sF32 W = hidden ? 0.0f : PictureAspect(14 + set) * PictureHeight;
  StripsAcross = t < 1.0f ? 1 : 0;
  const sInt N = StripCount[set];
  for(sInt j = 0; j < SLIDESHOW_MAXSTRIPS; j++)
  {
    PictureForm *st = Strips[set][j], *sh = StripShadows[set][j];
    if(j >= N)
    {
      st->Shape(0, 0, 0, 0);
      sh->Shape(0, 0, 0, 0);
      continue;
    }
    const sF32 q = sF32(j) / sF32(N), n = 1.0f / sF32(N);
    for(PictureForm *f : {st, sh})
    {
      if(StripsAcross) f->Shape(W, H * n, -0.5f * W, (q - 0.5f) * H, -1, -n, -1, q - 1);
      else f->Shape(W * n, H, (q - 0.5f) * W, -0.5f * H, -n, -1, q - 1, -1);
    }
    const sF32 u = Clamp(t - 0.125f, 0, 10);
    const sInt qi = sInt(65536.0f * u), fr = qi & 0xFFFF, tri = (qi & 0x10000) ? 65535 - fr : fr;
    const sF32 wave = t > 0.625f ? 0.0f : (sF32(tri) / 65536.0f - 0.5f) * ((j & 1) ? 1.0f : -1.0f) * 0.5f;
    const sF32 fade = 0.5f - 0.5f * std::cos(Clamp(t - 0.375f, 0, 1) * sScenePi);
    const sF32 g = Clamp((t - 1.25f + StripDelay[set][j]) * 2.5f, 0, 1);
    st->Grade.AlphaThreshold = -0.05f, st->Grade.AlphaGain = 3.0f, st->Grade.Gain = 0.75f;
    st->Grade.Saturation = 0.9f - 0.9f * Clamp((t - 1.25f) * 3.0f, 0, 1);
    const sF32 A = wave * sScenePi;
    const sVec3 pos(800.0f * std::sin(A), -10.0f * fade - 700.0f * (1.0f - std::cos(g * sScenePi * 0.5f)),
                    800.0f * std::cos(A) - 610.0f - 90.0f * fade);
    for(PictureForm *f : {st, sh})
    {
      f->Matrix.EulerXYZ(0.0f, A, 0.0f);
      f->Matrix.l = pos;
    }
  }
}

void SlideshowScene::AnimatePage(sInt set, sF32 t, sInt hidden)
{
  sScopeLock lock(Lock);
  const sF32 W = hidden ? 0.0f : PictureAspect(14 + set) * PictureHeight;
  const sF32 H = hidden ? 0.0f : PictureHeight;
  const sF32 a = std::sin(Clamp(4.0f * t, 0, 1) * sScenePi * 0.5f);
  const sF32 b = 1.0f - std::cos(Clamp(4.0f * t - 4.0f, 0, 1) * sScenePi * 0.5f);
  const sF32 m = (1.0f - Clamp(8.0f * b - 7.0f, 0, 1)) * Clamp(8.0f * a, 0, 1);
  PictureForm *p = Pages[set], *sh = PageShadows[set];
  p->Grade.AlphaThreshold = -0.05f * m, p->Grade.AlphaGain = 3.0f * m, p->Grade.Gain = 0.75f, p->Grade.Saturation = 0.9f;
  sh->Colour = sBlendColor(0x00000000, 0xC0000004, m);
  p->Shape(W, H, -0.5f * W, -0.5f * H, -1, -1, -1, -1);
  sh->Shape(W, H, -0.5f * W, -0.5f * H, -1, -1, -1, -1);
  const sF32 r = (0.6f * b + a) * sScenePi * 0.5f;
  // the side a page swings in from follows the slot of the next picture to show
  if(ShownSlot & 1)
  {
    p->Matrix.EulerXYZ(0.0f, r - 0.5f * sScenePi, 0.0f);
    p->Matrix.l = sVec3(400.0f - 400.0f * std::cos(r) + 300.0f * b, 230.3f, -400.0f * std::sin(r) - 300.0f * b);
  }
  else
  {
    // the mirror of the right side: swung about (pi - r) the page would stand 150 units
    // before the camera and beside its view, and the picture would never be seen
    p->Matrix.EulerXYZ(0.0f, 0.5f * sScenePi - r, 0.0f);
    p->Matrix.l = sVec3(400.0f * std::cos(r) - 400.0f - 300.0f * b, 230.3f, -400.0f * std::sin(r) - 300.0f * b);
  }
  sh->Matrix = p->Matrix;
}

void SlideshowScene::DrawRings(const SyncNow &s)
{
  sInt ii = 0;
  for(sInt r = 0; r < 7; r++)
  {
    const sF32 R = 100.0f + 60.0f * sF32(r);
    const sInt n = sInt(R * 2.0f * sScenePi / 60.0f);
    const sF32 rho = ((r & 1) ? 1.0f : -1.0f) * s.FourBarTriangleA * 0.03f + ClockPhase(s.SyncClock, 0.000005, 1.0);
    const sInt T = n * 100, m = s.SyncClock % T;
    for(sInt q = 0; q < n; q++)
    {
      const sF32 a = (sF32(q) / sF32(n) + rho) * 2.0f * sScenePi;
      sF32 size = 60.0f;
      if(r == 4 || r == 6)
      {
        sF32 d;
        if(r == 4) d = sF32(std::min({std::abs(100 * (q - n) - m), std::abs(100 * q - m), std::abs(100 * (q + n) - m)}));
        else d = sF32(std::min({std::abs(100 * (q - 2 * n) + m), std::abs(100 * (q - n) + m), std::abs(100 * q + m)}));
        size = (std::cos(Clamp(d * 0.015f, 0, sScenePi)) + 1.0f) * 0.5f * 50.0f + 60.0f;
      }
      sMat3x4 mat;
      mat.EulerXYZ(0.0f, 0.0f, sScenePi - a);
      mat.l = sVec3(R * std::sin(a), R * std::cos(a) - 150.0f, 0.0f);
      sVERIFYDESC(ii < 256, u"ii<256");
      RingSprites->SetQuad(ii++, mat, 0.5f * size, sBlendColor(0x00000000, 0xFFFFFFFF, (size - 40.0f) * 0.01f));
    }
  }
  RingSprites->Build();
}

sBool SlideshowScene::SlotHasPicture(sInt slot) const
{
  return MaterialSet && MaterialSet->Textures[PhotoTexture + slot] != nullptr;
}

void SlideshowScene::TakePendingPicture()
{
  if(!PendingFlag) return;
  TMData *set = MaterialSet;
  sTexture2D *&slot = set->Textures[PhotoTexture + PendingSlot];
  sTexture2D *old = slot;
  slot = sLoadTexture2D(PendingImage, 0x1401);
  // materials still showing the replaced texture take the new one before it goes
  for(sInt i = NewestMaterial; i < NewestMaterial + 4; i++)
  {
    sMaterial *m = set->Materials[i];
    if(m->Texture[0] != old) continue;
    m->Texture[0] = slot;
    m->Prepare(StandardVertexFormat(set->MaterialTable[i].VertexFormat));
  }
  sDELETE(old);
  PendingFlag = 0;
  sDELETE(PendingImage);
}

void SlideshowScene::Render(sInt, sViewport *view)
{
  ApplyStyle();
  const SyncNow s = ReadSync(SyncSource);
  for(SlideshowFrame *f : Frames) PlaceFrame(f, view->Camera.l, s);

  const sF32 P = s.FourBarPhase;
  sF32 progress[2];
  progress[LeadSet] = 2.0f * P;
  progress[TrailSet] = P > 0.5f ? 2.0f * P - 1.0f : 2.0f * P + 1.0f;
  const sInt hidden[2] = {LeadSet == 0 ? LeadHidden : TrailHidden, LeadSet == 1 ? LeadHidden : TrailHidden};
  const sInt order[2] = {LeadSet, TrailSet};

  if(Style == 0)
  {
    for(sInt set : order) AnimateLayers(set, progress[set], hidden[set], s);
    const sF32 q = Clamp(2.0f * s.TwoBarPhase, 0, 1), mix = 0.5f - 0.5f * std::cos(2.0f * sScenePi * q);
    for(sInt set = 0; set < 2; set++)
    {
      const sF32 g = Clamp(4.0f * progress[set] - 4.0f, 0, 1);
      const sU32 alpha = sU32((std::cos(g * sScenePi) + 1.0f) * 0.5f * 64.0f) << 24;
      ChannelShadows[set]->Matrix.l = ChannelLayers[set][0]->Matrix.l;
      ChannelShadows[set]->Colour = sBlendColor(alpha + 0x30, alpha | 0xE0E0E4, mix);
    }
    StarBand->Range1[0] = -6.0f, StarBand->Range1[1] = -1.0f;
    StarBand->Range1[2] = -ClockPhase(s.SyncClock, 0.00002, 1.0), StarBand->Range1[3] = 0.0f;
    StarBand->Build();
    const sF64 c = s.SyncClock;
    Backdrop->Colour = sBlendColor(0xFF201010, 0x00000000, sF32((std::sin(c * 0.0000137) + std::sin(c * 0.0000173)) * 0.25 + 0.5));
  }
  else if(Style == 1)
  {
    DrawRings(s);
    RingPlane->Colour = 0xFF802010;
    RingPlane->Matrix.l = sVec3(0.0f, -150.0f, 0.0f);
    for(sInt set : order) AnimateStrips(set, progress[set], hidden[set], s);
  }
  else if(Style == 2)
  {
    const sF32 values[4] = {s.BarWave, s.TwoBarTriangle, s.FourBarTriangleA, s.EightBarTriangle};
    for(sInt i = 0; i < 7; i++)
    {
      const sF32 v = (i < 4 ? -1.0f : 1.0f) * values[i % 4];
      HorizonBands[i]->Matrix.EulerXYZ(0.0f, v * 0.5f + ClockAngle(s.SyncClock, 0.0001), 0.0f);
    }
    for(sInt set : order) AnimatePage(set, progress[set], hidden[set]);
  }

  sScopeLock lock(Lock);
  TakePendingPicture();
}

/****************************************************************************/
/***   Camera                                                             ***/
/****************************************************************************/

void SlideshowScene::Camera(sInt, sViewport *view)
{
  ApplyStyle();
  const SyncNow s = ReadSync(SyncSource);
  const sF64 t = sF64(TimeOffset) + sF64(s.SyncClock);
  const sF32 sway = (ClockSin(t, 0.0002) + ClockSin(t, 0.00043)) * 60.0f, depth = ClockSin(t, 0.0003) * 10.0f + 550.0f;
  sVec3 eye, target;
  sF32 zoom = 1.8f;
  if(Style == 1)
  {
    target = sVec3(0, 0, 0);
    eye = sVec3(sway, 0.0f, depth);
  }
  else if(Style == 2)
  {
    target = sVec3(0, 200, 0);
    eye = sVec3(sway, 200.0f - ((ClockSin(t, 0.00031) + ClockSin(t, 0.00023)) * 10.0f + 50.0f), depth);
    zoom = 2.0f;
  }
  else
  {
    const sF32 m = sF32(s.SyncClock - MotionStart) * MotionSpeed + MotionOffset;
    eye = sVec3(sway + m, 0.0f, depth);
    target = sVec3(m + ClockSin(t, 0.00031) * 50.0f + ClockSin(t, 0.00019) * 70.0f, 0.0f, 0.0f);
  }
  PlaceCamera(this, view, target, eye, zoom);
}

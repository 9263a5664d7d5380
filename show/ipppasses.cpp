// The IPP machine's effect graph and the passes of Render: the layer movie and the video
// input drawn into their targets in the style of their channel and laid over the screen,
// the ring and tunnel flashes, the strobe forms of the camera motion mode, the logo and
// movie requests of the GUI and the message line.
#include "show/ipp.hpp"

#include "base/arrays.hpp"
#include "base/file.hpp"
#include "base/log.hpp"
#include "base/memory.hpp"
#include "graphics/materials.hpp"
#include "graphics/shader.hpp"
#include "show/guirecords.hpp"
#include "show/media.hpp"
#include "show/procforms.hpp"
#include "show/scenehost.hpp"
#include "show/sync.hpp"
#include "show/textform.hpp"
#include "show/tmdata.hpp"
#include "util/movieplayer.hpp"

#include <cmath>

const sChar *sIppVideoDevice = u"dev:*";

namespace
{
// The program's single layer-movie and video-in players.
sMoviePlayer *ClipSlot = nullptr;
sMoviePlayer *VideoSlot = nullptr;

void ReleaseSlot(sMoviePlayer *&slot)
{
  if(slot) slot->Release();
  slot = nullptr;
}

GradedPlane *NewPlane(sInt material, sInt duration, sInt u, sInt v, const sF32 *r0, const sF32 *r1)
{
  GradedPlane *f = sNEW GradedPlane(material);
  f->LayerMask = 0xFFFFFFFF;
  f->Init(ArrayForm::PLANE, duration, 1, u, v, r0, r1);
  return f;
}

ArrayForm *NewTile(sInt material, const sF32 *r0, const sF32 *r1)
{
  ArrayForm *f = sNEW ArrayForm(material);
  f->Colour = 0xFFFFFFFF;
  f->Init(ArrayForm::PLANE, 1, 1, 2, 2, r0, r1);
  return f;
}

const sF32 PictureRange1[4] = {1, -1, 0, -1};
}


/****************************************************************************/
/***   The effect graph                                                   ***/
/****************************************************************************/

template <class T> T *IppMachine::Mtrl(sInt row) const
{
  if(!MaterialSet || row < 0 || row >= MaterialSet->MaterialCount) return nullptr;
  return static_cast<T *>(MaterialSet->Materials[row]);
}
template ShaderMaterial1 *IppMachine::Mtrl<ShaderMaterial1>(sInt) const;
template ShaderMaterial7 *IppMachine::Mtrl<ShaderMaterial7>(sInt) const;
template ShaderMaterial15 *IppMachine::Mtrl<ShaderMaterial15>(sInt) const;
template sMaterial *IppMachine::Mtrl<sMaterial>(sInt) const;

void IppMachine::BuildGraph()
{
  const sF32 A = DisplayAspect();
  const sF32 W = sF32(DisplayWidth), H = sF32(DisplayHeight);
  const sF32 a = H > 0 ? W / H : 1.0f;

  SmallTarget = sNEW sTexture2D(DisplayWidth / 32 > 0 ? DisplayWidth / 32 : 1, DisplayHeight / 32 > 0 ? DisplayHeight / 32 : 1,
                                0x601, 0);
  ClipTarget = sNEW sTexture2D(DisplayWidth, DisplayHeight, 0x601, 0);
  VideoTarget = sNEW sTexture2D(DisplayWidth, DisplayHeight, 0x601, 0);

  const sF32 frame0[4] = {1024 * A, 1024, -512 * A, -512};
  FrameQuad = NewPlane(0, 2, 2, 2, frame0, PictureRange1);
  FrameQuadB = NewPlane(3, 1, 2, 2, frame0, PictureRange1);

  ClipMaterial = sNEW ShaderMaterial7;
  ClipMaterial->Texture[0] = ClipTarget;
  ClipMaterial->S.TextureFlags[0] = 0x11000011;
  ClipMaterial->S.Flags = 0;
  ClipMaterial->S.BlendColor = 0x60105;
  ClipMaterial->Prepare(sVertexFormatPosColUV);
  EdgeMaterial = sNEW ShaderMaterial11;
  EdgeMaterial->Texture[0] = ScreenTexture;
  EdgeMaterial->Color = 0xFFFFFFFF;
  EdgeMaterial->S.TextureFlags[0] = 0x11000010;
  EdgeMaterial->S.Flags = 0;
  EdgeMaterial->S.BlendColor = 0x60105;
  EdgeMaterial->EdgeOption = 1;
  EdgeMaterial->Prepare(sVertexFormatPosColUV);

  for(sInt i = 0; i < 9; i++)
    for(sInt j = 0; j < 9; j++)
    {
      const sF32 r0[4] = {100 * a, 100, (j - 4) * 100 * a - 50 * a, (i - 4) * 100.0f - 50};
      const sF32 r1[4] = {0.2f, -0.2f, -0.1f * j, 0.1f * i - 1.0f};
      ArrayForm *f = NewTile(4, r0, r1);
      f->LayerMask = 1;
      GridTiles[i * 9 + j] = f;
      AddObject(f);
    }

  StripeStrip = sNEW ArrayForm(15);
  StripeStrip->Colour = 0xFF202020;
  StripeStrip->Vertices = NewMeshVertices(2 * sIPP_STRIPEPAIRS);
  {
    sF32 v = -1.0f;
    for(sInt p = 0; p < sIPP_STRIPEPAIRS; p++)
    {
      sF32 y = -1024.0f + sF32(p / 2);
      StripeStrip->Vertices[2 * p].Set(-1024, y, 0, 0, v);
      StripeStrip->Vertices[2 * p + 1].Set(1024, y, 0, 3, v);
      v += (p & 1) ? 0.001f : EffectRandom.NextFloat(0.1f) - 0.04f;
    }
  }
  StripeStrip->Init(ArrayForm::GRID, 1, 1, 2, sIPP_STRIPEPAIRS);
  StripeMaterial = sNEW ShaderMaterial7;
  StripeMaterial->Texture[0] = ScreenTexture;
  StripeMaterial->S.TextureFlags[0] = 0x11000010;
  StripeMaterial->S.Flags = 0;
  StripeMaterial->S.BlendColor = 0x60105;
  StripeMaterial->Prepare(sVertexFormatPosColUV);

  const sF32 B = a * 1280;
  {
    const sF32 r0[4] = {2 * B, 2560, -B, -1280};
    StrobeBack = NewTile(5, r0, nullptr);
    StrobeBack->LayerMask = 2;
    AddObject(StrobeBack);
  }
  RippleGrid = sNEW ArrayForm(6);
  RippleGrid->LayerMask = 2;
  RippleGrid->Vertices = NewMeshVertices(128 * 128);
  for(sInt r = 0; r < 128; r++)
    for(sInt c = 0; c < 128; c++)
    {
      sF32 s = c / 127.0f, t = r / 127.0f;
      sF32 x = (s - 0.5f) * 2 * B, y = (t - 0.5f) * 2560;
      sF32 d = sIppClamp(std::sqrt(x * x + y * y) - 0.45f * B, 0.0f, 100000.0f) * 0.00066666666f;
      sF32 k = 1 - std::cos(d);
      RippleGrid->Vertices[r * 128 + c].Set(x * (1 - k * 0.3f), y * (1 - k * 0.3f), k * 500, s, 1 - t);
    }
  RippleGrid->Init(ArrayForm::GRID, 1, 3, 128, 128);
  AddObject(RippleGrid);
  RippleMaterial = sNEW ShaderMaterial1;
  RippleMaterial->Texture[0] = MaterialSet && MaterialSet->TextureCount > 0 ? MaterialSet->Textures[0] : nullptr;
  RippleMaterial->Color = 0xFFFFFFFF;
  RippleMaterial->S.Flags = 0;
  RippleMaterial->S.TextureFlags[0] = 0x11000010;
  RippleMaterial->S.BlendColor = 0x20102;
  RippleMaterial->Prepare(sVertexFormatPosColUV);

  for(sInt i = 0; i < 2; i++)
    for(sInt j = 0; j < 2; j++)
    {
      const sF32 r0[4] = {1000 * a, 1000, (j - 0.5f) * 1000 * a - 500 * a, (i - 0.5f) * 1000 - 500};
      const sF32 r1[4] = {0.5f, 0.5f, 0.5f * j, 0.5f * i};
      ArrayForm *q = NewTile(7, r0, r1);
      q->LayerMask = 4;
      StrobeQuads[i * 2 + j] = q;
      AddObject(q);
      const sF32 r1b[4] = {0.5f, 0.5f, 0.5f * j, 0.5f * (i + 1)};
      GradedPlane *f = NewPlane(8, 1, 2, 2, r0, r1b);
      f->Colour = 0xFFFFFFFF;
      f->LayerMask = 4;
      StrobeFrames[i * 2 + j] = f;
      AddObject(f);
    }

  // logo forms, sized by the picture of material 11 until a logo replaces it
  sF32 lw = 1024, lh = 1024;
  if(sMaterial *m = Mtrl<sMaterial>(11))
    if(sTexture2D *t = static_cast<sTexture2D *>(m->Texture[0]))
      if(t->SizeY > 0) lw = 1024.0f * t->SizeX / t->SizeY;
  if(lw > 0.8f * W && lw > 0)
  {
    lh *= 0.8f * W / lw;
    lw = 0.8f * W;
  }
  const sF32 pic0[4] = {lw, lh, -lw / 2, -lh / 2};
  const sF32 mask0[4] = {1.13f * lw, 1.13f * lh, -1.13f * lw / 2, -1.13f * lh / 2};
  LogoPicture = NewPlane(11, 2, 4, 4, pic0, PictureRange1);
  LogoMask1 = NewPlane(13, 2, 4, 4, mask0, PictureRange1);
  LogoMask2 = NewPlane(13, 2, 4, 4, mask0, PictureRange1);
  for(sInt k = 0; k < sIPP_SLICES; k++)
  {
    LogoSlices[2][k] = NewPlane(11, 2, 2, 2, pic0, PictureRange1);
    LogoSlices[0][k] = NewPlane(13, 2, 2, 2, mask0, PictureRange1);
    LogoSlices[1][k] = NewPlane(13, 2, 2, 2, mask0, PictureRange1);
  }

  MessageText = sNEW TextForm(9);
  MessageText->LayerMask = 0xFFFFFFFF;
  MessageText->MaterialRow = 9;
  MessageText->SetFont(this, 4);
  TextArt = sNEW TextForm(9);
  TextArt->LayerMask = 0xFFFFFFFF;
  TextArt->MaterialRow = 9;
  TextArt->SetFont(this, 4);
  {
    const sF32 r0[4] = {16384, 160, -8192, 20};
    MessageBack = sNEW ArrayForm(10);
    MessageBack->Colour = 0xD808080C;
    MessageBack->Init(ArrayForm::PLANE, 1, 1, 32, 2, r0, nullptr);
  }

  TileMosaic = sNEW InstanceForm(23);
  TileMosaic->LayerMask = 0xFFFFFFFF;
  TileMosaic->Init(sIPP_TILES, 2.0f, 0.0f);
  for(sInt r = 0; r < sIPP_TILEROWS; r++)
    for(sInt c = 0; c < sIPP_TILECOLUMNS; c++)
    {
      sMat3x4 &m = TileMosaic->Instances[r * sIPP_TILECOLUMNS + c];
      m.Identity();
      m.l = sVec3((c / 52.0f - 0.5f) * 10400, (r / 32.0f - 0.5f) * 6400, (EffectRandom.NextFloat(1) - 0.5f) * 1000);
    }

  MovieForms[0] = NewPlane(14, 2, 4, 4, pic0, PictureRange1);
  for(sInt i = 1; i < 3; i++)
  {
    GradedPlane *f = sNEW GradedPlane(14);
    f->LayerMask = 0xFFFFFFFF;
    f->Vertices = NewMeshVertices(4096);
    if(i == 1) f->Init(ArrayForm::GRID, 2, 1, 256, 16, pic0, PictureRange1);
    else f->Init(ArrayForm::GRID, 2, 1, 16, 256, pic0, PictureRange1);
    MovieForms[i] = f;
  }

  ParticleCloud = sNEW PointForm(21);
  ParticleCloud->LayerMask = 0xFFFFFFFF;
  ParticleCloud->Init(sIPP_PARTICLES, 0);
  for(sInt i = 0; i < sIPP_PARTICLES; i++)
  {
    PointRecord &p = ParticleCloud->Points[i];
    p.Pos = sVec3(10.3f * i, 0, 0);
    p.Size = EffectRandom.NextFloat(20) + 10;
    p.Color = 0xFFFFFFFF;
    Particles[i] = {0, 0, 0, 0xFFFFFFFF, 100000};
  }
  for(ParticleForm *&f : SparkForms)
  {
    f = sNEW ParticleForm(20);
    f->LayerMask = 0xFFFFFFFF;
    f->Init(1, 600, 0);
    f->SizeBase = 1.0f;
    f->SizeRandom = 5.0f;
    f->Fade = 0.02f;
    f->Emit();
    f->Age = 10000;
  }

  {
    const sF32 r0[4] = {2560 * a, 2560, -1280 * a, -1280};
    for(sInt i = 0; i < 2; i++)
    {
      RingForms[i] = NewPlane(25 + i, 1, 2, 2, r0, PictureRange1);
      RingForms[i]->ViewIndex = 2;
    }
  }
  static const sF32 S[4] = {-0.5f, -0.5f, 0.5f, 0.5f}, T[4] = {-0.5f, -1.0f, -0.5f, 0.0f};
  for(sInt i = 0; i < 8; i++)
    for(sInt j = 0; j < 8; j++)
    {
      const sF32 r0[4] = {100 * a, 100, (j - 3.5f) * 100 * a - 50 * a, (i - 3.5f) * 100 - 50};
      const sF32 r1[4] = {S[j % 4], S[i % 4], T[j % 4], T[i % 4]};
      ArrayForm *f = NewTile(4, r0, r1);
      // hidden until the tunnel flash shows them: a show without the GUI record never
      // reaches the frame step that would hide them
      f->LayerMask = 0;
      f->ViewIndex = 1;
      TunnelForms[i * 8 + j] = f;
      AddObject(f);
    }

  for(sViewport &v : Views)
  {
    v.ClipFar = 8192.0f;
    v.ZoomX = 1.6f / A, v.ZoomY = 1.6f;
  }
  for(sViewport *v : {&FrameView, &MessageView, &MovieView, &MovieView2, &LogoView, &MosaicView})
  {
    v->ClipFar = 8192.0f;
    v->ZoomX = 1.8f / A, v->ZoomY = 1.8f;
  }
  ParticleView.ClipFar = 8192.0f;
  ParticleView.ZoomX = 1.4f / A, ParticleView.ZoomY = 1.4f;
  ParticleView.Camera.LookAt(sVec3(0, 0, 0), sVec3(0, 0, -1000));

  // the materials that read the passes' textures
  auto retexture = [&](sInt row, sTextureBase *tex) {
    if(sMaterial *m = Mtrl<sMaterial>(row))
    {
      m->Texture[0] = tex;
      m->Prepare(m->Format);
    }
  };
  retexture(4, ScreenTexture);
  // the ripple's alpha comes from its colour, which fades it with the strobe level
  if(ShaderMaterial1 *m = Mtrl<ShaderMaterial1>(6)) m->Options[ShaderMaterial1::AlphaFromColor] = 1;
  retexture(6, ScreenTexture);
  retexture(2, SmallTarget);
  retexture(3, Machine ? Machine->Targets[1] : nullptr);
  if(ShaderMaterial7 *m = Mtrl<ShaderMaterial7>(17))
  {
    m->HueOption = m->ColorizeOption = 1;
    retexture(17, ScreenTexture);
  }
  retexture(25, ScreenTexture);
  retexture(26, ScreenTexture);

  Clip = {0, 0, 0, 2, nullptr, 400};
  Video = {0, 0, 0, 2, nullptr, 0};
  Ch3 = {0, 1, 0, 0, 1, 0, 0};
  Ch3.ShiftA = EffectRandom.NextBelow(5) - 1;
  Ch3.ShiftB = EffectRandom.NextBelow(5) - 1;
  Ch4 = {0, 1, 0, 0, 1, 0, 0};
  Ch4.ShiftA = EffectRandom.NextBelow(5) - 1;
  Ch4.ShiftB = EffectRandom.NextBelow(5) - 1;
  MovieActive = 0;
  MovieCycle = -1;
  MovieDirection = sF32(2 * EffectRandom.NextBelow(2) - 1);
  MovieStyle = 1;
  MovieTextureBorrowed = 1;
  RingTimer = TunnelTimer = 400;
  ParticleTimer = 4000;
  HueWashTimer = DimPulseTimer = 400;
  LogoActive = 0;
  LogoCycle = -1;
  LogoStyle = 1;
  LogoVariant = 0;
  LogoAngle = LogoSpin = 0;
  TurnFactors[0] = TurnFactors[1] = TurnFactors[2] = 0;
  TestImageOn = 0;
  MotionMode = 4;
}

void IppMachine::FreeGraph()
{
  ReleaseSlot(ClipSlot);
  ReleaseSlot(VideoSlot);
  // the video pass made the GUI's frame texture; nothing else frees it
  if(Gui) sDELETE(Gui->VideoFrame);
  for(ParticleForm *&f : SparkForms) sDELETE(f);
  sDELETE(ParticleCloud);
  sDELETE(RingForms[0]);
  sDELETE(RingForms[1]);
  sDELETE(MessageText);
  sDELETE(TextArt);
  sDELETE(StripeStrip);
  sDELETE(StripeMaterial);
  sDELETE(LogoPicture);
  sDELETE(LogoMask1);
  sDELETE(LogoMask2);
  for(GradedPlane *&f : MovieForms) sDELETE(f);
  sDELETE(MessageBack);
  sDELETE(RippleMaterial);
  sDELETE(TileMosaic);
  sDELETE(FrameQuadB);
  sDELETE(FrameQuad);
  sDELETE(ClipMaterial);
  sDELETE(EdgeMaterial);
  sDELETE(SmallTarget);
  sDELETE(ClipTarget);
  sDELETE(VideoTarget);
  if(!MovieTextureBorrowed)
    if(sMaterial *m = Mtrl<sMaterial>(14))
    {
      sTexture2D *t = static_cast<sTexture2D *>(m->Texture[0]);
      sDELETE(t);
      m->Texture[0] = nullptr;
      MovieTextureBorrowed = 1;
    }
  for(auto &set : LogoSlices)
    for(GradedPlane *&f : set) sDELETE(f);
}

/****************************************************************************/
/***   Logo, movie, video and clip requests                               ***/
/****************************************************************************/

void IppMachine::NextLogo()
{
  if(!Gui || Gui->LogoCount < 1) return;
  // the GUI's count and index name rows of its table: keep them inside it
  sInt count = sIppClamp(Gui->LogoCount, 1, sInt(sGUI_LOGOS));
  sInt i = Gui->LogoIndex;
  if(i < 0 || i >= count) i = 0;
  const GuiLogo &logo = Gui->Logos[i];
  sInt k = logo.Kind >= 0 && logo.Kind <= 2 ? logo.Kind : 0;
  LogoActive = 1;
  LogoCycle = Beat().Cycle[2];
  if(ShaderMaterial7 *m = Mtrl<ShaderMaterial7>(13)) m->Texture[0] = logo.Mask;
  for(sInt row : {11, 12, 23})
    if(sMaterial *m = Mtrl<sMaterial>(row)) m->Texture[0] = logo.Picture;
  for(sInt row : {13, 11, 12})
    if(ShaderMaterial7 *m = Mtrl<ShaderMaterial7>(row)) m->TextureAlphaOption = k == 2;
  for(sInt row : {11, 12, 13, 23})
    if(sMaterial *m = Mtrl<sMaterial>(row)) m->Prepare(m->Format);
  if(LogoPicture) LogoPicture->MaterialIndex = k ? 11 : 12;
  LogoKind = k;
  // the materials keep pointing at this set after the logo ends: the GUI frees its
  // replaced textures only once a later set is bound
  Gui->LogoSetBound = Gui->LogoSet;
  Gui->LogoIndex = i + 1 >= count ? 0 : i + 1;
}

void IppMachine::AttachMovie()
{
  if(!Gui || Gui->MovieCount < 1) return;
  MovieActive = 1;
  MovieCycle = Beat().Cycle[2];
  if(Gui->MovieTexture)
  {
    if(sMaterial *m = Mtrl<sMaterial>(14))
    {
      if(!MovieTextureBorrowed)
      {
        sTexture2D *old = static_cast<sTexture2D *>(m->Texture[0]);
        sDELETE(old);
      }
      MovieTextureBorrowed = 0;
      m->Texture[0] = Gui->MovieTexture;
      m->Prepare(m->Format);
    }
    Gui->MovieTexture = nullptr;
  }
  Gui->MovieTaken = 1;
}

void IppMachine::OpenVideoIn()
{
  if(!Gui || Video.Opening) return;
  Video.Running = Video.Starting = 0;
  // a device still playing from an earlier request is closed first: it owns a reader
  // thread and the capture device, which a second open would leave running
  ReleaseSlot(VideoSlot);
  sChar name[sMAXPATH];
  sSPrintF(sStringRef(name, sMAXPATH), u"%s", sIppVideoDevice);
  VideoSlot = sOpenMoviePlayer(name, sMOF_LOOP, 0);
  if(VideoSlot)
  {
    Video.Starting = 1;
    Video.Opening = 1;
  }
}

void IppMachine::OpenClip()
{
  if(!Gui || Clip.Opening || !Gui->ClipFolderNames) return;
  Clip.Running = Clip.Starting = 0;
  if(Gui->ClipFolderCount < 1) return;
  // the folder table ends with a null name; an index past it names no folder
  sInt index = Gui->ClipFolderIndex;
  if(index < 0) return;
  for(sInt i = 0; i <= index; i++)
    if(!Gui->ClipFolderNames[i]) return;
  ReleaseSlot(ClipSlot);
  sDELETE(Clip.Frame);
  sChar folder[sMAXPATH];
  Gui->ClipFolderText[1023] = 0;
  sSPrintF(sStringRef(folder, sMAXPATH), u"%s/%s", Gui->ClipFolderNames[index], Gui->ClipFolderText);
  sDynamicArray<sDirEntry> entries;
  if(!sLoadDir(entries, folder)) return;
  sInt n = 0;
  for(sInt i = 0; i < entries.GetSize(); i++)
  {
    if(!IsMovieFile(entries[i].Name)) continue;
    if(n++ != Gui->ClipNumber) continue;
    sChar path[sMAXPATH];
    sSPrintF(sStringRef(path, sMAXPATH), u"%s%s", folder, entries[i].Name);
    ClipSlot = sOpenMoviePlayer(path, sMOF_LOOP, 0);
    if(ClipSlot) Clip.Starting = Clip.Opening = 1;
    break;
  }
}

/****************************************************************************/
/***   Render                                                             ***/
/****************************************************************************/

void IppMachine::Render(sInt, sViewport *)
{
  if(!Active) return;
  if(MessageText) MessageText->Clear();
  if(!Gui) return;
  GuiMediaState &g = *Gui;
  const SyncResults &b = Beat();
  sInt preset = ColorPreset();

  PaintClipLayer();
  PaintLayers();

  if(g.EffectResetFlag && !g.EffectResetBlock)
  {
    g.StrobeAmount = g.RingAmount = g.TunnelAmount = 0;
    g.RingColorAmount = g.TunnelDepth = g.HueWashAmount = 0;
  }

  if(g.RingTrigger)
  {
    RingTimer = 0;
    g.RingTrigger = 0;
  }
  if(g.RingOn || RingTimer < 400)
  {
    sF32 t = SyncClock() * 0.0001f;
    sViewport *v = GetView(2);
    v->Camera.LookAt(sVec3(0, 0, 0), sVec3(50 * std::sin(t), 50 * std::cos(t), -2040));
    v->Prepare(15);
    sF32 a = g.RingAmount * (RingTimer < 400 ? 1 - RingTimer * 0.0025f : 1.0f);
    RingForms[0]->SetGrade(0, 0.95f, 1.0f, -a * (MotionMode == 1 ? 1 - 0.008f * g.StrobeAmount : 1.0f), 0, 0.55f);
    RingForms[0]->Colour = 0xFFFFFFFF;
    RingForms[1]->Grade.Offset = MotionMode == 2 ? 1.3f : 1.0f;
    RingForms[1]->Grade.Gain = 2.0f;
    RingForms[1]->Grade.Saturation = 0.5f;
    RingForms[1]->Colour = sBlendColor(0, 0xFF808080, a * g.RingColorAmount);
    RenderForm(v, RingForms[0], 0);
    RenderForm(v, RingForms[1], 0);
  }

  if(g.TunnelTrigger)
  {
    TunnelTimer = 0;
    g.TunnelTrigger = 0;
  }
  if(g.TunnelOn || TunnelTimer < 400)
  {
    sViewport *v = GetView(1);
    v->Camera.LookAt(sVec3(0, 0, 0), sVec3(0, 0, -150 - 480 * g.TunnelDepth));
    v->Prepare(15);
    sF32 bt = g.TunnelAmount * (TunnelTimer < 400 ? 1 - TunnelTimer * 0.0025f : 1.0f);
    for(ArrayForm *f : TunnelForms)
    {
      f->Colour = sBlendColor(0x00FFFFFF, 0xFFFFFFFF, bt);
      f->LayerMask = 0xFFFFFFFF;
    }
  }
  else
    for(ArrayForm *f : TunnelForms) f->LayerMask = 0;

  if(g.LogoNow)
  {
    g.LogoNow = 0;
    NextLogo();
    g.LogoShown = 1;
    Restyle();
  }
  if(g.LogoOff)
  {
    g.LogoOff = 0;
    LogoActive = 0;
    g.LogoShown = 0;
  }
  if(g.MovieNow)
  {
    g.MovieNow = 0;
    AttachMovie();
    g.MovieShown = 1;
    RestyleMovie();
  }
  if(g.MovieOff)
  {
    g.MovieOff = 0;
    MovieActive = 0;
    g.MovieShown = 0;
  }
  if(g.ClipRequest)
  {
    OpenClip();
    g.ClipRequest = 0;
    g.ClipStarted = g.ClipShown = 1;
  }
  if(g.ClipNext)
  {
    g.ClipNext = 0;
    OpenClip();
    g.ClipShown = 1;
  }
  if(g.ClipOff)
  {
    g.ClipOff = 0;
    Clip.Running = 0;
    g.ClipShown = 0;
  }
  if(g.VideoInRequest)
  {
    OpenVideoIn();
    g.VideoInRequest = 0;
  }

  // strobe level and colour
  sU32 colour = 0;
  sF32 level = 0;
  if(MotionMode != 4)
  {
    if(b.BarIndex[2] != MotionBar)
    {
      colour = 0xFF000000;
      level = 1.0f;
    }
    else if(MotionHold)
    {
      level = b.BarPhase;
      colour = sU32(sInt(b.BarPhase * 255) & 0xFF) << 24;
    }
    else
    {
      level = 1 - b.BarPhase;
      colour = sU32(sInt((1 - b.BarPhase) * 255) & 0xFF) << 24;
    }
  }
  sF32 gs = g.StrobeAmount * 0.01f;
  StrobeColour = sBlendColor(colour, 0, 1 - gs);
  StrobeLevel = level * gs;

  sBool copied = 0;
  switch(MotionMode)
  {
  case 1:
    LayerMask = 1;
    CopyScreenToTexture(ScreenTexture, DisplayIndex);
    copied = 1;
    for(ArrayForm *f : GridTiles) f->Colour = StrobeColour | 0x00FFFFFF;
    break;
  case 2:
  {
    LayerMask = 2;
    sU32 c;
    if(preset < 3) c = sBlendColor(0x70808080, 0x90808080, StrobeLevel);
    else
    {
      sF32 p = sIppClamp(2 * b.PulseA - 1, 0.0f, 1.0f);
      sU32 alpha = sU32(sInt(sF32(sInt(0.3f * g.StrobeAmount + 79)) * p + 112));
      c = (alpha << 24) | 0x808080;
    }
    c = sBlendColor(0x00808080, c, sIppClamp(2 * StrobeLevel, 0.0f, 1.0f));
    if(g.RingOn) c = sMultiplyColor(c, 0x40C0C0C0);
    RippleGrid->Colour = c;
    StrobeBack->Colour = 0;
    if(!TextArtOn)
    {
      RippleGrid->Colour = sBlendColor(0x00BFBFBF, 0xFFBFBFBF, StrobeLevel);
      StrobeBack->Colour = StrobeColour;
      if(g.RingOn)
      {
        RippleGrid->Colour = sMultiplyColor(RippleGrid->Colour, 0xC0FFFFFF);
        StrobeBack->Colour = sMultiplyColor(StrobeBack->Colour, 0x80FFFFFF);
      }
      CopyScreenToTexture(ScreenTexture, DisplayIndex);
      copied = 1;
    }
    break;
  }
  case 3:
  {
    LayerMask = 4;
    CopyScreenToTexture(ScreenTexture, DisplayIndex);
    copied = 1;
    sF32 f = 0, o = 0;
    if(FlashBar == b.BarIndex[2])
    {
      if(FlashOn) f = b.BarPhase > 0.25f ? 1.0f : 0.0f;
      else f = b.BarPhase > 0.25f ? sIppClamp(1 - (b.BarPhase - 0.25f) * 8, 0.0f, 1.0f) : 1.0f;
      if(b.BarPhase > 0 && b.BarPhase < 0.5f) o = -b.PulseA;
    }
    else f = FlashOn ? 1.0f : 0.0f;
    o = 1 + 2 * o;
    sF32 tri = b.BarPhase + 0.25f;
    tri -= sF32(sInt(tri));
    tri = tri <= 0.5f ? 2 * tri : 1 - 2 * (tri - 0.5f);
    sF32 angle = preset >= 3 ? SyncClock() * 0.0002f + 0.5f * tri : SyncClock() * 0.0001f;
    for(sInt i = 0; i < 4; i++)
    {
      StrobeQuads[i]->Colour = StrobeColour | 0x00FFFFFF;
      StrobeFrames[i]->SetGrade(o, 2.0f, 0.2f * f * StrobeLevel, 6 * f * StrobeLevel, 0, 0.4f);
      StrobeFrames[i]->Colour = 0xFFFFFFFF;
      StrobeFrames[i]->Matrix.EulerXYZ(0, 0, angle);
    }
    break;
  }
  default:
    LayerMask = 4096;
    break;
  }
  if(g.TunnelOn && !copied) CopyScreenToTexture(ScreenTexture, DisplayIndex);
}

/****************************************************************************/
/***   Message line                                                       ***/
/****************************************************************************/

void IppMachine::PaintMessage()
{
  if(!Gui || !MessageText) return;
  GuiMediaState &g = *Gui;
  sInt clock = SyncClock();
  if(g.CurrentMessage < 0 || g.CurrentMessage >= sGUI_MESSAGES)
  {
    g.CurrentMessage = -1;
    sInt best = -1;
    for(sInt i = 0; i < sGUI_MESSAGES; i++)
      if(g.Messages[i].Waiting < 0 && (best < 0 || g.Messages[i].Waiting < g.Messages[best].Waiting)) best = i;
    if(best >= 0)
    {
      g.CurrentMessage = best;
      MessageStart = clock;
      g.Messages[best].Showing = g.Messages[best].Started = 1;
    }
  }
  if(g.MessageRestart)
  {
    MessageStart = clock;
    g.MessageRestart = 0;
    g.MessageRestarted = 1;
  }
  if(g.CurrentMessage < 0) return;
  GuiMessage &msg = g.Messages[g.CurrentMessage];
  msg.Text[255] = 0;
  sF32 w = MessageText->MeasureText(msg.Text);
  MessageText->Colour = 0xCFE8E8E8;
  MessageText->Matrix.Identity();
  sF32 D = (w + 2000) * 2;
  sF32 e = sF32(clock - MessageStart);
  if(e < 0 || e >= D)
  {
    msg.Showing = 0;
    msg.Ended = msg.Done = 1;
    g.CurrentMessage = -1;
    return;
  }
  sF32 a = e < 1000 ? e * 0.001f : e >= D - 1000 ? 1 - (e - (D - 1000)) * 0.001f : 1.0f;
  MessageView.SetTarget(nullptr);
  MessageView.Camera.LookAt(sVec3(0, 360, 0), sVec3(0, 360, -1000));
  MessageView.Prepare(15);
  MessageBack->Colour = sBlendColor(0x00080808, 0xD8080808, a);
  RenderForm(&MessageView, MessageBack, 0);
  MessageText->PrintLeft(msg.Text, 1000 - e * 0.5f, 90.0f);
  RenderForm(&MessageView, MessageText, 0);
}

void IppMachine::SetLayerParams(sInt mode, sF32 a, sF32 b)
{
  if(mode < 0 || mode > 3 || !FrameQuad) return;
  const SyncResults &r = Beat();
  const sF32 T9 = r.Bar2Wave, T10 = r.Bar4WaveA, T12 = r.Bar8Wave;
  sF32 *r0 = FrameQuad->Range0, *r1 = FrameQuad->Range1;
  switch(mode)
  {
  case 0:
    r0[0] = 2 * a, r0[1] = b / 4, r0[2] = a * (T12 - 0.3f * T10 + 0.7f * T9 - 3) / 2, r0[3] = b / 8;
    r1[0] = 8, r1[1] = -1, r1[2] = 0, r1[3] = -1;
    break;
  case 1:
    r0[0] = 2 * a, r0[1] = b / 4, r0[2] = a * (0.3f * T10 - T12 - 0.7f * T9 - 1) / 2, r0[3] = -3 * b / 8;
    r1[0] = 8, r1[1] = -1, r1[2] = 0, r1[3] = -1;
    break;
  case 2:
    r0[0] = a / 4, r0[1] = 2 * b, r0[2] = a / 8, r0[3] = b * (T12 - 0.3f * T10 + 0.7f * T9 - 3) / 2;
    r1[0] = 1, r1[1] = -8, r1[2] = 0, r1[3] = -8;
    break;
  default:
    r0[0] = a / 4, r0[1] = 2 * b, r0[2] = -3 * a / 8, r0[3] = b * (0.3f * T10 - T12 - 0.7f * T9 - 1) / 2;
    r1[0] = 1, r1[1] = -8, r1[2] = 0, r1[3] = -8;
    break;
  }
  FrameQuad->Build();
}

/****************************************************************************/
/***   Layer movie and video input                                        ***/
/****************************************************************************/

void IppMachine::PaintClipLayer() { PaintMoviePass(0); }
void IppMachine::PaintLayers() { PaintMoviePass(1); }

void IppMachine::PaintMoviePass(sInt video)
{
  GuiMediaState &g = *Gui;
  IppMoviePass &p = video ? Video : Clip;
  IppChannel &ch = video ? Ch4 : Ch3;
  sMoviePlayer *&slot = video ? VideoSlot : ClipSlot;
  sTexture2D *target = video ? VideoTarget : ClipTarget;
  sInt &restart = video ? g.VideoRestart : g.ClipRestart;
  if(restart)
  {
    p.Timer = 0;
    restart = 0;
  }
  if(!slot) return;
  // polling the frame is what moves the player on and lets it learn the frame size
  sF32 uv[4];
  slot->GetFrame(uv);
  sMovieInfo info;
  slot->GetInfo(info);
  if(info.Width == -1)
  {
    p.Opening = p.Starting = 0;
    if(!video)
    {
      g.ClipShown = 0;
      g.ClipEnded = 1;
    }
    ReleaseSlot(slot);
    return;
  }
  sF32 mix = video ? g.VideoMix : g.ClipMix;
  sInt prefStyle = video ? g.VideoStyle : g.ClipStyle;
  prefStyle = prefStyle >= 1 && prefStyle <= 3 ? prefStyle : 0;
  if(p.Starting)
  {
    if(p.Style == 1 && mix > 0.95f) BindScreen(19);
    sTexture2D *frame = CreateMovieTarget(slot);
    if(video)
    {
      // the GUI's frame is each try's result, none while the size is unknown; the one it
      // held is freed, where dropping it would leak a texture per try
      sDelete(g.VideoFrame);
      g.VideoFrame = frame;
    }
    else if(frame)
    {
      sDELETE(p.Frame);
      p.Frame = frame;
    }
    if(frame)
    {
      p.Running = 1;
      p.Opening = 0;
      if(!video) p.Style = prefStyle ? prefStyle : 1 + EffectRandom.NextBelow(3);
      p.Starting = 0;
    }
  }
  if(!p.Running) return;
  sTexture2D *frame = video ? g.VideoFrame : p.Frame;
  if(!frame) return;
  if(video && g.VideoRestyle)
  {
    p.Style = prefStyle ? prefStyle : 1 + EffectRandom.NextBelow(3);
    g.VideoRestyle = 0;
  }
  sF32 m = 1;
  RenderMovieFrame(slot, frame, &m, DisplayIndex);
  if(video && !g.VideoShown) return;
  if(m <= 0) m = DisplayAspect();

  for(sInt row : {0, 1})
    if(sMaterial *mt = Mtrl<sMaterial>(row))
    {
      mt->Texture[0] = frame;
      mt->Prepare(mt->Format);
    }
  EdgeMaterial->Texture[0] = frame;
  EdgeMaterial->Prepare(sVertexFormatPosColUV);
  ClipMaterial->Texture[0] = target;
  ClipMaterial->Prepare(sVertexFormatPosColUV);

  BindTarget(target, ch.Mode == 3 ? 17 : 16);
  FrameView.SetTarget(nullptr);
  FrameView.Camera.LookAt(sVec3(0, 0, 0), sVec3(0, 0, -922));
  FrameView.Prepare(15);
  FrameQuad->Matrix.EulerXYZ(0, 0, 0);
  FrameQuadB->Matrix.EulerXYZ(0, 0, 0);
  if(!video)
    if(sMoviePlayerMF *mf = dynamic_cast<sMoviePlayerMF *>(slot))
      mf->Rate = (ch.Mode == 0 || ch.Mode == 4) ? 1.0f : ColorPreset() >= 1 ? sF32(ch.Direction) : 0.5f;
  DrawMovieStyle(video, p, ch, target, m);

  // composite
  BindScreen(16);
  if(g.EffectResetFlag && !g.EffectResetBlock) return;
  PrepareQuadView();
  sF32 f = 1;
  if(video ? g.VideoFlashOn : g.ClipFlashOn) f = 1 - sIppClamp(p.Timer * 0.0025f, 0.0f, 1.0f);
  if(prefStyle && prefStyle != p.Style) p.Style = prefStyle;
  ClipMaterial->Offset = 0;
  ClipMaterial->AlphaBase = 0;
  ClipMaterial->Saturation = 0.85f;
  if(p.Style == 1)
  {
    ClipMaterial->AlphaGain = f * mix;
    ClipMaterial->AlphaThreshold = -1;
    ClipMaterial->Gain = 0.85f;
  }
  else if(p.Style == 2)
  {
    ClipMaterial->AlphaGain = 8 * (1 - std::cos(f * mix * sIPP_PI / 2));
    ClipMaterial->AlphaThreshold = 0;
    ClipMaterial->Gain = 0.85f;
  }
  else
  {
    if(Machine) CopyScreenToTexture(Machine->Targets[1], DisplayIndex);
    ClipMaterial->AlphaGain = 1;
    ClipMaterial->AlphaThreshold = -1;
    ClipMaterial->Gain = 0.85f * sIppClamp(4.0f / 3 * mix, 0.0f, 1.0f);
  }
  BindShaderMaterial7(ClipMaterial, QuadView);
  DrawQuad(Quad, 0, 0, sF32(DisplayWidth), sF32(DisplayHeight), 0xFFFFFFFF);
  if(p.Style != 1 && p.Style != 2)
  {
    FrameQuadB->SetGrade(0, 1, 0, 8 - 4 * f * sIppClamp(4 * mix - 3, 0.0f, 1.0f), 1 - f, 1);
    RenderForm(&FrameView, FrameQuadB, 0);
  }
  if(video) return;
  if(!slot->IsPlaying())
  {
    p.Running = 0;
    g.ClipEnded = 1;
    g.ClipShown = 0;
    if(g.ClipAutoNext)
    {
      g.ClipNumber = g.ClipNextNumber;
      OpenClip();
      g.ClipStarted = g.ClipAdvanced = g.ClipShown = 1;
    }
  }
}

void IppMachine::DrawMovieStyle(sInt video, IppMoviePass &, IppChannel &ch, sTexture2D *target, sF32 m)
{
  GuiMediaState &g = *Gui;
  const SyncResults &b = Beat();
  const sF32 W = sF32(DisplayWidth), H = sF32(DisplayHeight), A = DisplayAspect();
  sF32 Qw, Qh, Fw, Fh;
  if(m > A)
    Qw = 1024 * m, Qh = 1024, Fw = H * m, Fh = H;
  else
    Qw = 1024 * A, Qh = 1024 * A / m, Fw = H * A, Fh = H * A / m;
  const sF32 ox = (Fw - W) / 2, oy = (Fh - H) / 2;
  const sF32 c = sF32(SyncClock());
  auto drift = [&](sF32 f1, sF32 f2, sF32 f3) { return 0.5f + (std::sin(f1 * c) + std::sin(f2 * c) + std::sin(f3 * c)) / 6; };
  const sF32 D1 = drift(0.00027f, 0.00031f, 0.00059f), D2 = drift(0.00037f, 0.00021f, 0.00051f);
  const sF32 D3 = drift(0.00025f, 0.00039f, 0.00053f), D4 = drift(0.00032f, 0.00029f, 0.00055f);
  const sF32 V1 = (std::sin(0.072f * c) + std::sin(0.097f * c) + std::sin(0.053f * c)) / 3;
  const sF32 V2 = (std::sin(0.093f * c) + std::sin(0.071f * c) + std::sin(0.057f * c)) / 3;
  const sF32 L = sIppClamp(SmoothedPreset(), 0.0f, 1.0f);
  const sF32 P8 = b.Bar8Phase;
  const sF32 gate = ch.Changed ? sIppClamp(32 * P8, 0.0f, 1.0f) : 1 - sIppClamp(32 * P8 - 31, 0.0f, 1.0f);
  const sF32 s = (video ? g.VideoAmount : g.ClipAmount) * 0.01f * gate;
  const sF32 Cs = 1 - std::cos(s * sIPP_PI / 2);
  const sF32 pa = b.PulseA;
  GradedPlane *q = FrameQuad;
  auto plain = [&]() { q->Shape(Qw, Qh, -Qw / 2, -Qh / 2); };
  auto draw = [&](sInt material) {
    q->MaterialIndex = material;
    RenderForm(&FrameView, q, 0);
  };
  auto edge = [&](sU32 colour, sF32 offset, sF32 x0, sF32 y0, sF32 x1, sF32 y1) {
    EdgeMaterial->Color = colour;
    EdgeMaterial->Offset = offset;
    PrepareQuadView();
    BindShaderMaterial11(EdgeMaterial, QuadView);
    DrawQuad(Quad, x0, y0, x1, y1, 0xFFFFFFFF);
  };

  switch(ch.Mode)
  {
  case 0:
  case 4:
    plain();
    q->SetGrade(0, 1, -1, 1, q->Grade.AlphaBase, 1);
    draw(0);
    break;
  case 1:
  {
    plain();
    q->SetGrade(0, 1 - pa, -(1 - pa) * D1, 1, q->Grade.AlphaBase, 0.6f);
    draw(0);
    DrawTextureToTarget(target, BlurTargets[0], DisplayIndex);
    PrepareQuadView();
    BlurChain();
    BindTarget(target, 16);
    PrepareQuadView();
    CombineMaterial->Texture[0] = BlurTargets[2];
    CombineMaterial->Texture[1] = BlurTargets[4];
    CombineMaterial->Threshold1 = 0, CombineMaterial->Gain1 = 0.2f * D2;
    CombineMaterial->Threshold2 = 0, CombineMaterial->Gain2 = 0.8f * D2;
    CombineMaterial->Color = 0x00FFFFFF;
    BindShaderMaterial10(CombineMaterial, QuadView);
    DrawQuad(Quad, -0.1f * W * D1, -0.1f * H * D2, W * (1 + 0.1f * D3), 1.1f * H + D4, 0xFFFFFFFF);
    FrameView.SetTarget(nullptr);
    FrameView.Prepare(15);
    q->SetGrade(0, 1, (1 - ch.Amount) * s, 16 * s, 1 - s, 1);
    draw(0);
    sF32 k = ColorPreset() >= 3
               ? sF32(sInt(2 * (std::sin(0.03f * c) + std::sin(0.02f * c) + std::sin(0.05f * c))) * (DisplayWidth / 64))
               : 0.0f;
    edge(sBlendColor(0x00FFFFFF, 0xFFFFFFFF, s * pa), 2.0f, k - ox, -oy, W + k + ox, H + oy);
    break;
  }
  case 2:
  {
    PrepareQuadView();
    sF32 P = sIppClamp(2 * ch.PrevAmount - 1, 0.0f, 1.0f), Z = sIppClamp(2 * ch.Amount - 1, 0.0f, 1.0f);
    sF32 bb = std::sin(b.BarBump * sIPP_PI);
    sF32 z = 2 * Z * bb * s, e1 = 2 * D1 - 1, e2 = 2 * D2 - 1, j = 0.1f * pa * P * s, n = 1 + 1.8f * z;
    q->Shape(n * Qw, n * Qh, Qw * (j * V1 - 0.9f * e1 * z) - n * Qw / 2, Qh * (j * V2 + 0.9f * e2 * z) - n * Qh / 2);
    q->SetGrade(0, ((1 - pa) * D2 + pa) * s + 1 - s, -s * ((1 - std::cos(D4 * sIPP_PI / 2)) * (1 - pa) + 0.5f * pa),
                ((1 - pa) * D3 + pa) * s, 1 - s, 1);
    draw(0);
    edge(sBlendColor(0xFFFFFFFF, 0x00FFFFFF, (L * pa + 1 - L) * s + 1 - s), 4.0f, -(1 + e1) * z * Fw - ox,
         -(1 + e2) * z * Fh - oy, W + ox + (1 - e1) * z * Fw, H + oy + (1 - e2) * z * Fh);
    break;
  }
  case 3:
  {
    BindTarget(SmallTarget, 16);
    FrameView.SetTarget(nullptr);
    FrameView.Prepare(15);
    plain();
    q->SetGrade(0, 1, -1, 1, 0, 1);
    draw(0);
    BindTarget(target, 16);
    FrameView.SetTarget(nullptr);
    FrameView.Prepare(15);
    sF32 qq = 1 - std::pow(1 - std::sin(P8 * sIPP_PI), 5.0f);
    sF32 G = ColorPreset() >= 3 ? 1 + 8 * pa : 1.0f;
    if(ch.ShiftA >= 0)
    {
      SetLayerParams(ch.ShiftA, Qw, Qh);
      q->SetGrade(0, G, -s, 16 * qq * s * L, 0, 1);
      draw(1);
    }
    plain();
    q->SetGrade(0, 1 + s * b.PulseB, 0.5f * s * b.PulseB, -2 * Cs, 0, 1);
    draw(2);
    q->SetGrade(0, (1 - pa) * (L + 1) / 2 * s + 1 - s, 0.5f * s * D1, 8 * s * D1 + 1, 1 - s, 1);
    draw(0);
    q->SetGrade(0, 1 + s * pa, (1 - pa) * s, 8 * Cs, 0, 1);
    draw(2);
    if(ch.ShiftB >= 0)
    {
      SetLayerParams(ch.ShiftB, Qw, Qh);
      q->SetGrade(0, G, -0.75f * s, qq * s * L, 0, 1);
      draw(1);
    }
    break;
  }
  default:
    break;
  }
}

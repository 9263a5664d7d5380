// The IPP machine's logo overlay: the operator's logo shown in one of three styles over
// the eight-bar cycle of sequencer channel 2 in which it started: planes that light up
// and spin, strips that fly in and apart, or a mosaic of lit tiles.
#include "show/ipp.hpp"

#include "graphics/shader.hpp"
#include "show/procforms.hpp"
#include "show/sync.hpp"
#include "show/tmdata.hpp"

#include <cmath>

namespace
{
sF32 Tri(sF32 v) { return v <= 0.5f ? 2 * v : 1 - 2 * (v - 0.5f); }
sF32 Clamp01(sF32 v) { return sIppClamp(v, 0.0f, 1.0f); }
}

void IppMachine::PaintLogoOverlay(sViewport *)
{
  const SyncResults &b = Beat();
  if(!LogoActive || b.Cycle[2] != LogoCycle || !LogoPicture) return;
  sMaterial *m11 = Mtrl<sMaterial>(11);
  sTexture2D *pic = m11 ? static_cast<sTexture2D *>(m11->Texture[0]) : nullptr;
  // a logo handed over without a usable picture has no shape: skip it for this frame
  if(!pic || pic->SizeX < 1 || pic->SizeY < 1) return;
  const sF32 A = DisplayAspect();
  sF32 w = 1024.0f * sF32(pic->SizeX) / sF32(pic->SizeY), h = 1024;
  if(w > 1024 * A)
  {
    sF32 sc = 1 / (w / (1024 * A));
    w *= sc;
    h = 1024 * sc;
  }
  const sF32 wm = 1.3333f * w, hm = 1.3333f * h;
  const sF32 k = sIppClamp((w - 800) * 0.3f, 0.0f, 500.0f);
  switch(LogoStyle)
  {
  case 1: LogoStyle1(w, h, wm, hm); break;
  case 2: LogoStyle2(w, h, wm, hm, k); break;
  case 3: LogoStyle3(w, h, wm, hm); break;
  default: break;
  }
}

void IppMachine::LogoStyle1(sF32 w, sF32 h, sF32 wm, sF32 hm)
{
  const SyncResults &b = Beat();
  const sF32 p = 8 * b.Bar8Phase;
  LogoPicture->Shape(w, h, -w / 2, -h / 2);
  LogoMask1->Shape(wm, hm, -wm / 2, -hm / 2);
  LogoMask2->Shape(wm, hm, -wm / 2, -hm / 2);
  sF32 a = 1, f = 0, c = 1, d = 0, e = 0, z = 0;
  const sF32 turn = 2 * sIPP_PI;
  if(p < 1) a = p, c = 0, d = Clamp01(2 * p - 1);
  else if(p < 2) f = 1, c = 0, d = p <= 1.75f ? 1 : 1 - (p - 1.75f) * 4;
  else if(p < 3) c = p - 2;
  else if(p < 4) c = 1;
  else if(p < 5) e = ((p - 4) * 1.2f - 0.2f) * turn;
  else if(p < 7) e = turn;
  else a = c = 8 - p, e = turn, z = (1 - std::cos((p - 7) * sIPP_PI / 2)) * 700;
  if(p < 1) LogoAngle = LogoSpin = 0;

  LogoView.SetTarget(nullptr);
  LogoView.Camera.LookAt(sVec3(0, -30, 0), sVec3(0, -30, z - 1200));
  LogoView.Prepare(15);
  const sF32 s = std::sin(sIPP_PI * (b.Bar2Wave + b.BarBump));
  const sF32 q = 0.2f * s + 0.2f - 0.3f * b.PulseA;
  const sF32 flash = f == 1 ? -b.PulseA : 0.0f;
  auto grade = [](GradedPlane *g, sF32 o, sF32 gn, sF32 t, sF32 k, sF32 bs) {
    g->SetGrade(o, gn, t, k, bs, g->Grade.Saturation);
  };
  if(LogoKind == 0)
  {
    grade(LogoMask1, -d, 0, sIppClamp(q + 0.1f, 0.1f, 0.5f) * a, 16 * a, 0);
    grade(LogoMask2, flash, 0, 0.47f * a, 16 * a, 0);
    grade(LogoPicture, 0, c, 0, 0, 1);
  }
  else if(LogoKind == 1)
  {
    sF32 H = (std::cos(2 * sIPP_PI * b.Bar8Phase) + 1) * 0.5f * (q + 0.3f) * 0.6f;
    grade(LogoMask1, -1, 0, (0.95f - H) * a, -16 * a, 0);
    grade(LogoMask2, flash - (1 - d), 0, (0.9f - H) * a, -16 * a, 0);
    grade(LogoPicture, 0, 1, (0.7f - H) * c, -12 * c, 0);
  }
  else
  {
    sF32 a4 = a * a * a * a;
    grade(LogoMask1, -1, 0, sIppClamp(q + 0.1f, 0.1f, 0.5f) * a4, 16 * a4, 0);
    grade(LogoMask2, f == 1 ? -c - b.PulseA : -c, 0, 0.47f * a4, 16 * a4, 0);
    grade(LogoPicture, 0, 1, 0, c, 0);
  }
  sF32 target = LogoVariant == 1 ? -e : LogoVariant == 2 ? 2 * e : e;
  LogoSpin += (target - LogoAngle) * 0.002f;
  LogoSpin *= 0.96f;
  LogoAngle += LogoSpin;
  for(GradedPlane *g : {LogoMask1, LogoMask2, LogoPicture})
  {
    g->Matrix.EulerXYZ(0, LogoAngle, 0);
    RenderForm(&LogoView, g, 0);
  }
}

void IppMachine::LogoStyle2(sF32 w, sF32 h, sF32 wm, sF32 hm, sF32 k)
{
  const SyncResults &b = Beat();
  const sF32 P = 8 * b.Bar8Phase;
  const sInt N = sIppClamp(SliceCount, 1, sInt(sIPP_SLICES));
  const sF32 e0 = (std::cos(sIPP_PI * Clamp01(4 * b.Bar8Phase - 1)) + 1) * 0.5f;
  const sF32 g1 = Clamp01((P - 6.25f) * 2), g2 = Clamp01((P - 5.25f) * 2);
  const sF32 g3 = sIppClamp((P - 7.25f) * 2, 0.0f, 10.0f);
  const sF32 g4 = P >= 6.75f && P < 6.9f ? 1 - (P - 6.75f) * 6.666662f : 0.0f;
  const sF32 g5 = P >= 7.75f ? (P - 7.75f) * 4 : 0.0f;

  LogoView.SetTarget(nullptr);
  const sVec3 pos(0, -30, 800 * e0 + 100 * g1 - 1200);
  sMat3x4 look, rot;
  switch(LogoVariant)
  {
  case 0:
    look.LookAt(sVec3(g1 * k, -30 - 100 * g1, 0), pos);
    rot.EulerXYZ(-0.6f * g1, -0.8f * g1, 0.6f * g1);
    break;
  case 1:
    look.LookAt(sVec3(-g1 * k, -30 - 100 * g1, 0), pos);
    rot.EulerXYZ(-0.6f * g1, 0.8f * g1, -0.6f * g1);
    break;
  default:
  {
    look.LookAt(sVec3(-g1 * k, -30, 0), pos);
    sMat3x4 r1, r2, r3;
    r1.EulerXYZ(0, 0, 0.3f * g1);
    r2.EulerXYZ(0, 0.8f * g1, 0);
    r3.EulerXYZ(-0.6f * g1, 0, 0);
    rot = sMat3x4::Mul(sMat3x4::Mul(r1, r2), r3);
    break;
  }
  }
  LogoView.Camera = sMat3x4::Mul(look, rot);
  LogoView.Prepare(15);

  const sF32 F = b.BarPhase > 0.5f || (P > 5 && P < 6) ? b.PulseA : 0.0f;
  sF32 bb = b.Bar2Phase + 0.375f;
  if(bb > 1) bb -= 1;
  const sF32 cr = std::cos(sIPP_PI * Tri(bb));
  const sF32 t = sF32(SyncClock());
  const sVec3 shake = 10 * g4 * sVec3(std::sin(0.139f * t) + std::sin(0.127f * t), std::sin(0.149f * t) + std::sin(0.131f * t),
                                      std::sin(0.137f * t) + std::sin(0.123f * t));
  for(sInt set = 0; set < 3; set++)
    for(sInt i = 0; i < N; i++)
    {
      // the picture strips come in only after P 5.25 and are made only from then on
      if(set == 2 && P <= 5.25f) continue;
      GradedPlane *sl = LogoSlices[set][i];
      const sF32 v = SliceSpeeds[i];
      const sF32 span = 2.625f - v;
      const sF32 cs = std::cos(sIPP_PI / 2 * sIppClamp(P / 2 - v, 0.0f, span) / span);
      const sF32 sd = ((i & 1) ? 1.0f : -1.0f) * (1 - 0.4f * e0);
      const sF32 SW = set < 2 ? wm : w, SH = set < 2 ? hm : h;
      const sF32 fi = sF32(i) / N;
      if(SliceMode == 0) sl->Shape(SW / N, SH, (fi - 0.5f) * SW, -SH / 2, 1.0f / N, -1, -fi, -1);
      else sl->Shape(SW, SH / N, -SW / 2, (fi - 0.5f) * SH, 1, -1.0f / N, 0, fi - 1);
      const sVec3 sway = SliceMode == 0 ? sVec3(0, cr * cs * 1400 * sd, 0) : sVec3(cr * cs * 2500 * sd, 0, 0);
      sVec3 spread = sway;
      if(P >= 6.25f && P < 6.75f)
      {
        sF32 o = N > 1 ? sF32(i) / (N - 1) - 0.5f : 0.0f;
        spread = SliceMode == 0 ? sVec3(std::sin(sIPP_PI * g1) * o * 5000, 0, 0) : sVec3(0, std::sin(sIPP_PI * g1) * o * 2800, 0);
      }
      else if(P >= 7.25f)
        spread = SliceMode == 0 ? sVec3(0, std::sin(sIPP_PI * g3) * (1400 * g3 + 140) * sd, 0)
                                : sVec3(std::sin(sIPP_PI * g3) * (2500 * g3 + 250) * sd, 0, 0);
      const sF32 sg2 = std::sin(sIPP_PI / 2 * g2);
      if(set == 0)
      {
        if(P <= 0.25f) continue;
        if(LogoKind == 1) sl->SetGrade(-1, 1, 1 - (1 - F) * 0.15f, (1 - sg2) * -64, 0, 1);
        else sl->SetGrade(-1, 1, (1 - F) * 0.15f, (1 - sg2) * 64, 0, 1);
        sl->Matrix.EulerXYZ(0, 0, 0);
        sl->Matrix.ScaleAxes(1 + 0.2f * g2, 1 + 0.2f * g2, 1 + 0.2f * g2);
        sl->Matrix.l = sway;
      }
      else if(set == 1)
      {
        if(P <= 0.25f) continue;
        sF32 base = P < 5.25f ? -32 * F : -8 * g5;
        if(LogoKind == 0) sl->SetGrade(0.8f, 1, SliceWidth, 64 - 56 * sg2, base, 0.3f);
        else if(LogoKind == 1) sl->SetGrade(0.8f - 2 * g2, 1, 1 - SliceWidth, 56 * sg2 - 64, base, 0.3f);
        else sl->SetGrade(0.8f - 2 * g2, 1, SliceWidth, 64 - 56 * sg2, base, 0.3f);
        sl->Matrix.Identity();
        sl->Matrix.l = spread + shake;
      }
      else
      {
        if(LogoKind == 1) sl->SetGrade(0, 1, 0.75f, -1 - g2, 0, 1);
        else sl->SetGrade(0, 1, 0, 1 + g2, -(1 - g2) - 2 * g5, 1);
        sl->Matrix.Identity();
        sl->Matrix.l = ((P >= 6.25f && P < 6.75f) || P >= 7.25f ? spread : sVec3(0, 0, 0)) + shake;
      }
      RenderForm(&LogoView, sl, 0);
    }
}

void IppMachine::LogoStyle3(sF32 w, sF32 h, sF32 wm, sF32 hm)
{
  const SyncResults &b = Beat();
  const sF32 A = DisplayAspect();
  const sF32 q = 8 * b.Bar4Phase;
  MosaicView.Orthogonal = sVO_ZOOM;
  MosaicView.ZoomY = 0.0116f;
  MosaicView.ZoomX = 0.0116f / A;
  MosaicView.SetTarget(nullptr);
  const sF32 a = Clamp01(q * 0.23529412f), s1 = std::sin(sIPP_PI / 2 * a), c1 = std::cos(sIPP_PI / 2 * a);
  MosaicView.Camera.EulerXYZ((1 - s1) * TurnFactors[0], (1 - s1) * TurnFactors[1], (1 - s1) * TurnFactors[2]);
  const sVec3 K = MosaicView.Camera.k;
  MosaicView.Camera.l = sVec3(46, 63, -40) - 1000 * K;
  MosaicView.Prepare(15);
  if(MaterialSet) MaterialSet->LightSets[0]->Positions[0] = -2000 * K;
  ShaderMaterial15 *m23 = Mtrl<ShaderMaterial15>(23), *m24 = Mtrl<ShaderMaterial15>(24);
  if(m23 && m24)
  {
    m23->SpecularScale = m24->SpecularScale = 101.0f;
    m23->SpecularOffset = q > 6 ? 100 : 100 + Clamp01((q - 4.25f) * 2);
    m24->SpecularOffset = q > 6 ? 100 : 100 + Clamp01((q - 4.5f) * 2);
  }

  const sF32 C5 = std::cos(sIPP_PI / 2 * Clamp01((q - 4.25f) * 2));
  for(sInt r = 0; r < sIPP_TILEROWS; r++)
    for(sInt j = 0; j < sIPP_TILECOLUMNS; j++)
    {
      sInt n = r * sIPP_TILECOLUMNS + j;
      const IppTile &t = Tiles[n];
      sMat3x4 &m = TileMosaic->Instances[n];
      if(q <= 6)
      {
        sF32 G = 1 + 10 * (1 - s1), S = 2 * (C5 + 2) * G;
        sF32 sc = t.Visible ? std::sin(sIPP_PI / 2 * Clamp01((q - 4 * t.x) / 2)) : 0.0f;
        m.EulerXYZ(5 * c1 * t.x, 5 * c1 * t.y, 0);
        m.ScaleAxes(sc, sc, sc);
        m.l = sVec3((j / 52.0f - 0.5f) * 52 * S, (r / 32.0f - 0.5f) * 32 * S, t.z);
      }
      else
      {
        sF32 u = 1 - (q - 6) * 2 / 3;
        sF32 S1 = 3 * std::sin(sIPP_PI / 2 * Clamp01((q - 7.5f) * 0.8f));
        sF32 S2 = 3 * std::sin(sIPP_PI / 2 * Clamp01(q - 7.5f));
        sF32 S3 = std::sin(sIPP_PI / 2 * Clamp01((q - 6) * 2 / 3));
        sF32 S = ((1 - std::cos(sIPP_PI / 2 * u)) * (5 * S1 + 1) + 2) * 2 * (0.8f * S3 + 0.2f);
        sF32 V = 1 - std::cos(u);
        sF32 sc = t.Visible ? S3 : 0.0f;
        m.EulerXYZ(u * t.x, u * t.y, 0);
        m.ScaleAxes(sc, sc, sc);
        m.l = sVec3((j / 52.0f - 0.5f) * 52 * S - 50 * (1 - S3) + (t.x - 0.5f) * 20 * S2,
                    (r / 32.0f - 0.5f) * 32 * S - ((200 * t.x + 400) * S1 + 100) * V + (t.y - 0.5f) * 20 * S2, 0);
      }
    }
  if(q <= 6)
  {
    sF32 l5 = Clamp01(5 * C5);
    if(LogoKind == 2)
    {
      TileMosaic->MaterialIndex = 24;
      TileMosaic->Colour = sBlendColor(0x00A0A0A0, 0xFFA0A0A0, l5);
      RenderForm(&MosaicView, TileMosaic, 0);
      TileMosaic->MaterialIndex = 23;
    }
    TileMosaic->Colour = sBlendColor(0x00FFFFFF, 0xFFFFFFFF, LogoKind == 1 ? C5 : l5);
  }
  else
  {
    TileMosaic->Colour = 0xFFFFFFFF;
    if(LogoKind == 2)
    {
      TileMosaic->MaterialIndex = 24;
      RenderForm(&MosaicView, TileMosaic, 0);
      TileMosaic->MaterialIndex = 23;
    }
  }
  RenderForm(&MosaicView, TileMosaic, 0);

  LogoPicture->Shape(w, h, -w / 2, -h / 2);
  LogoMask2->Shape(wm, hm, -wm / 2, -hm / 2);
  LogoView.SetTarget(nullptr);
  LogoView.Camera.LookAt(sVec3(-20, -50, 0), sVec3(-20, -50, -1200));
  LogoView.Camera.l = sVec3(505, 685, -1620);
  LogoView.Prepare(15);
  const sF32 f3 = q >= 4.5f && q < 5 ? b.PulseA + 2 - 2 * std::sin(sIPP_PI / 2 * Clamp01((q - 4.5f) * 2)) : 0.0f;
  const sF32 mm = q <= 6 ? C5 : (q - 6) * 2 / 3;
  const sF32 nn = q <= 6 ? C5 : q >= 7.5f ? 1.0f : 0.0f;
  const sF32 sm = Clamp01(3 * mm), sn = Clamp01(3 * nn);
  auto grade = [](GradedPlane *g, sF32 o, sF32 gn, sF32 t, sF32 k, sF32 bs) {
    g->SetGrade(o, gn, t, k, bs, g->Grade.Saturation);
  };
  if(LogoKind == 0)
  {
    grade(LogoMask2, -f3, 0, 0.1f, 4 - 4 * sm, 0);
    grade(LogoPicture, 0, 1 - sn + f3, 0, 0, 1);
  }
  else if(LogoKind == 1)
  {
    grade(LogoMask2, -1, 0, 0.9f, 8 * sm - 8, 0);
    grade(LogoPicture, -f3, 1, 0.4f, 12 * sn - 12, 0);
  }
  else
  {
    grade(LogoMask2, -1 - f3, 0, 0.1f, 4 - 4 * sm, 0);
    grade(LogoPicture, 0, 1 + f3, 0, 1 - sn, 0);
  }
  for(GradedPlane *g : {LogoMask2, LogoPicture})
  {
    g->Matrix.EulerXYZ(0, LogoAngle, 0);
    RenderForm(&LogoView, g, 0);
  }
}

// The Transformer scene's motion: how each group places its parts by its mode (Pose),
// and the camera with the show's choreography of group modes and layers (Camera).
#include "scenes/transformer.hpp"

#include "show/model.hpp"

#include <cmath>

namespace
{
// The hover height of modes 1, 6 and 7: a sine arch whose low part is eased above 10.
sF32 Hover(sF32 x)
{
  sF32 h = 70.0f * std::sin(x * sScenePi);
  if(h < 20.0f) h = 20.0f - 10.0f * std::sin((20.0f - h) * sScenePi / 40.0f);
  return h;
}

// The bar kicks of the latched bar phase.
sF32 Kick(sF32 L)
{
  return 8.0f * SceneClamp(L, 0.0f, 0.125f) + 0.25f - 8.0f * SceneClamp(L, 0.125f, 0.25f) + 4.0f * SceneClamp(L, 0.4375f, 0.5f) -
         4.0f * SceneClamp(L, 0.6875f, 0.75f);
}

// Tumbling at time rate k: the rotation and the scale of a part.
struct Tumble
{
  sMat3x4 Rotation;
  sF32 Scale;
};
Tumble Tumbling(const TransformerPart &p, sF64 clock, sF64 k, sF32 window1, sF32 window2)
{
  const sF32 spin = ClockAngle(clock, k);
  const sF32 A1 = spin + p.Phase1 + window1, A2 = spin + p.Phase2 + window2;
  return {SceneEuler(0.0f, 2.0f * A2, 0.0f) * SceneEuler(p.AngleC + A2, p.AngleB + A1, p.AngleA + A1),
          (std::sin(4.0f * A1) * 0.3f + 1.0f) * p.Radius};
}

// R1, then a flip about x when the part stands upright, else a kick about y.
sMat3x4 Upright(const TransformerPart &p, sF32 flip, sF32 K)
{
  const sMat3x4 R1 = SceneEuler(p.AngleC, p.AngleB, p.AngleA);
  const sBool upright = R1.j.z > -0.5f && R1.j.z < 0.5f;
  return R1 * (upright ? SceneEuler(flip, 0.0f, 0.0f) : SceneEuler(0.0f, K, 0.0f));
}
}

sF32 TransformerScene::FloorClamp(sF32 s, sF32 hMax, const sMat3x4 &rotation, const sVec3 &translation)
{
  const sF32 oy = s * hMax * rotation.j.y;
  if(oy >= 0.0f) return s;
  // the turned extent reaches below the floor: shrink the part until it touches it; a
  // part whose centre is on or below the floor has no size that keeps it above
  const sF32 denominator = translation.y - oy;
  if(denominator <= 1e-6f) return 0.0f;
  const sF32 clamped = s * translation.y / denominator;
  return clamped > 0.0f ? clamped : 0.0f;
}

void TransformerScene::Pose(TransformerSlot *slot, const SyncNow &sync)
{
  if(sync.ColourPreset >= 2) slot->BarPhaseLatch = sync.BarPhase;
  const sF32 L = slot->BarPhaseLatch;
  const sF64 clock = sF64(sync.SyncClock);
  const sF32 bp = sync.BarPhase, tb = sync.TwoBarPhase;
  const sF32 B = 5.0f * std::sin(2.0f * sScenePi * bp) + 4.0f;
  const sVec3 P = slot->Position;
  const sInt n = slot->PartCount;
  const sF32 K0 = Kick(L);
  auto pulsing = [&](const TransformerPart &p, sF32 K) {
    return (std::sin(ClockAngle(clock, 0.0003) + p.Phase1 + K) * 0.3f + 1.0f) * p.Radius;
  };

  for(sInt i = 0; i < n; i++)
  {
    const TransformerPart &p = slot->Parts[i];
    sMat3x4 rot;
    sF32 s = 1.0f;
    sVec3 T = P;
    switch(slot->Mode)
    {
    case 1:
    {
      const sF32 Hh = Hover(sync.TwoBarTriangle);
      if(i < n / 8)
      {
        rot = SceneEuler(0.4f * std::sin(1.1f * i) - sScenePi, 0.5f * std::sin(1.7f * i), 0.4f * std::sin(1.3f * i));
        s = 5.0f - SceneClamp((Hh - 50.0f) * 2.0f / 7.0f, 0.0f, 5.0f);
      }
      else
      {
        const Tumble tu = Tumbling(p, clock, -0.0007,
                                   16.0f * SceneClamp(tb, 0.0f, 0.0625f) - 16.0f * SceneClamp(tb, 0.0625f, 0.125f),
                                   16.0f * SceneClamp(tb, 0.46875f, 0.5f) - 16.0f * SceneClamp(tb, 0.59375f, 0.625f));
        rot = tu.Rotation, s = tu.Scale;
      }
      T = sVec3(P.x, Hh + 4.0f, P.z);
      break;
    }
    case 2:
    case 4:
    {
      const sF32 K = slot->Mode == 2 ? 1.5f * K0 : K0;
      const sF32 w = slot->Mode == 2 ? ClockAngle(clock, 0.0005) : 1.6f * tb + 2.3f;
      rot = Upright(p, ClockAngle(clock, 0.003), K) * SceneEuler(0.0f, w + 0.5f * sScenePi, 0.0f);
      s = pulsing(p, K);
      T = sVec3(100.0f * std::sin(w), P.y + B, 100.0f * std::cos(w));
      break;
    }
    case 3:
    {
      const sF32 K = 2.0f * K0;
      const sF32 g = 1.0f - std::sin(SceneClamp(2.0f * tb, 0.0f, 1.0f) * sScenePi * 0.5f);
      rot = Upright(p, 2.0f * g, K);
      s = pulsing(p, K);
      T = P + sVec3(0.0f, B * g, 50.0f * g);
      break;
    }
    case 5:
    case 8:
    {
      const sF32 g5 = 1.0f - std::sin(1.4f * sScenePi * tb);
      rot = Upright(p, slot->Mode == 5 ? 3.0f * g5 : -3.0f * g5, K0) * SceneEuler(0.0f, 0.5f * sScenePi, 0.0f);
      s = pulsing(p, K0);
      const sF32 swing = (1.0f - std::sin(sScenePi * tb)) * 50.0f;
      const sF32 y = 8.0f + (5.0f * std::sin(2.0f * sScenePi * bp + sScenePi) + 4.0f) * g5;
      T = slot->Mode == 5 ? sVec3(swing - 105.0f, y, 0.0f) : sVec3(105.0f - swing, y, 0.0f);
      break;
    }
    case 6:
    case 7:
    {
      const Tumble tu = Tumbling(p, clock, slot->Mode == 6 ? -0.0007 : 0.0007,
                                 16.0f * SceneClamp(tb, 0.25f, 0.3125f) - 16.0f * SceneClamp(tb, 0.3125f, 0.375f),
                                 16.0f * SceneClamp(tb, 0.21875f, 0.25f) - 16.0f * SceneClamp(tb, 0.34375f, 0.375f));
      rot = tu.Rotation, s = tu.Scale;
      const sF32 run = 80.0f * (1.0f - bp), h = Hover(1.25f - bp) + 4.0f;
      T = slot->Mode == 6 ? sVec3(9.0f - run, h, -9.0f) : sVec3(run - 9.0f, h, 9.0f);
      break;
    }
    case 9:
    {
      const sF32 v = ClockAngle(clock, 0.0005) + 2.0f * sync.BarWave + p.Phase1;
      rot = i < n / 2 ? SceneEuler(p.AngleC, p.AngleB + v, p.AngleA) : SceneEuler(p.AngleC - v, p.AngleB, p.AngleA);
      s = (std::sin(4.0f * v) * 0.3f + 1.0f) * p.Radius;
      T = sVec3(0.0f, 8.0f, -100.0f);
      break;
    }
    default:
    {
      const Tumble tu = Tumbling(p, clock, -0.0001, 8.0f * SceneClamp(L, 0.0f, 0.125f) - 8.0f * SceneClamp(L, 0.125f, 0.25f),
                                 4.0f * SceneClamp(L, 0.4375f, 0.5f) - 4.0f * SceneClamp(L, 0.6875f, 0.75f));
      rot = tu.Rotation, s = tu.Scale;
      if(sync.ColourPreset > 2)
      {
        const sF32 a = 0.2f * sync.PulseHalfBar, fi = sF32(i);
        T += sVec3(std::sin(ClockAngle(clock, 0.11) + 0.13f * fi), std::sin(ClockAngle(clock, 0.19) + 0.17f * fi),
                   std::sin(ClockAngle(clock, 0.17) + 0.15f * fi)) *
             a;
      }
      break;
    }
    }
    s = FloorClamp(s, p.MaxCorner.y, rot, T);
    rot.ScaleAxes(s, s, s);
    rot.l = T;
    p.Form->Matrix = rot;
  }
  if(n > 0) slot->LeadPosition = slot->Parts[0].Form->Matrix.l;
}

void TransformerScene::Camera(sInt variant, sViewport *view)
{
  const SyncNow s = ReadSync(SyncSource);
  const sF64 c = sF64(s.SyncClock), t = c + sF64(TimeOffset);
  const sF64 w = 0.0005 * t;
  const sF32 e = s.EightBarPhase, tb = s.TwoBarPhase;
  const sF32 sw = ClockSin(w, 1.0);
  TransformerSlot &active = Slots[ActiveSlot];
  const sVec3 P = active.Position, L = active.LeadPosition;
  const sF32 Y0 = Slots[0].LeadPosition.y;
  const sF32 R = 90.0f * (1.0f - s.BarPhase) + 30.0f;
  // the running two-bar phase keeps moving while a freeze holds the published one
  const sF32 w2 = SyncSource ? SyncSource->Beat.Bar2Phase : tb;
  const sF32 j = SceneClamp(w2 - 0.375f, 0.0f, 0.5f);
  TransformerSlot &Ga = Slots[CycleActive], &Gb = Slots[CycleToMode3], &Gc = Slots[CycleToMode0];
  sF32 zoom = 1.6f;
  sVec3 pos, target;

  // a camera given as a rotation, placed `back` units behind `centre` along its forward axis
  auto orbit = [&](const sMat3x4 &rotation, const sVec3 &centre, sF32 back) {
    view->Camera = rotation;
    view->Camera.l = centre - rotation.k * back;
    view->ZoomY = zoom;
    view->ZoomX = zoom / SceneAspect(this);
  };
  // the look-at camera, then rolled about the world's z axis as a whole (eye included)
  auto rolled = [&](sF32 roll) {
    PlaceCamera(this, view, target, pos, zoom);
    view->Camera = view->Camera * SceneEuler(0.0f, 0.0f, roll);
  };

  if(RenderMode == 4)
  {
    LayerMask = 1;
    const sF64 T = 0.0001 * t;
    switch(variant)
    {
    case 1:
      pos = sVec3((e - 0.5f) * 60.0f, 2.0f, 37.0f), target = sVec3((e - 0.5f) * 60.0f, 14.0f, -10.0f);
      rolled(0.03f * (ClockSin(T, 0.79) + ClockSin(T, 0.97)));
      return;
    case 2:
      pos = sVec3((e - 0.5f) * 100.0f, 300.0f, 760.0f), target = sVec3((e - 0.5f) * 10.0f, 300.0f, 0.0f);
      rolled(0.1f * (ClockSin(T, 0.71) + ClockSin(T, 0.47)));
      return;
    case 3:
      pos = sVec3((e - 0.5f) * 100.0f, -220.0f, 320.0f), target = sVec3((e - 0.5f) * 10.0f, 150.0f, 0.0f);
      rolled(0.3f * (ClockSin(T, 0.71) + ClockSin(T, 0.91)));
      return;
    default:
    {
      active.Mode = 0;
      const sMat3x4 r = SceneEuler(ClockSin(T, 0.49) + ClockSin(T, 0.79) + ClockAngle(T, 1.0), ClockSin(T, 0.5) + ClockSin(T, 0.91),
                              0.3f * (ClockSin(T, 0.95) + ClockSin(T, 0.71)));
      const sVec3 centre = sVec3(ClockSin(T, 0.59) + ClockSin(T, 0.97), ClockSin(T, 0.91) + ClockSin(T, 0.71),
                                 ClockSin(T, 0.69) + ClockSin(T, 0.79)) *
                           16.0f;
      orbit(r, centre, 20.0f);
      return;
    }
    }
  }

  auto only = [&](sInt group, sInt mode, sU32 mask) {
    for(sInt g = 0; g < TRANSFORMER_GROUPS; g++) Slots[g].Mode = g == group ? mode : 0;
    ActiveSlot = group;
    LayerMask = mask;
  };
  switch(variant)
  {
  case 1:
    active.Mode = 0;
    pos = sVec3((e - 0.5f) * 30.0f + P.x, 12.0f, P.z + 37.0f), target = sVec3((e - 0.5f) * 30.0f + P.x, 14.0f, P.z - 10.0f);
    break;
  case 2:
  {
    active.Mode = 0;
    const sF32 a = 2.0f * sScenePi * e;
    pos = sVec3(30.0f * std::sin(a) + P.x, 5.0f * ClockCos(w, 1.3) + 16.0f, 32.0f * std::cos(a) + 2.0f + P.z);
    target = sVec3(20.0f * std::sin(0.5f * sw) + P.x, 12.0f, P.z);
    break;
  }
  case 3:
    Slots[0].Mode = 1;
    pos = sVec3(36.0f * ClockSin(c, 0.0003), 15.0f * ClockCos(w, 1.3) + 0.5f * Y0 + 20.0f, 58.0f * ClockCos(c, 0.0002) + 2.0f);
    target = sVec3(15.0f * std::sin(0.5f * sw), Y0, 10.0f * std::sin(0.5f * ClockSin(w, 1.3)));
    zoom = 2.0f;
    break;
  case 4:
    Slots[0].Mode = 1;
    pos = sVec3(22.0f, 12.0f, 10.0f), target = sVec3(0.0f, 0.9f * Y0 - 2.0f, 0.0f);
    zoom = 2.0f;
    break;
  case 5:
  {
    const sF32 th = ClockSin(c, 0.0002) + ClockSin(c, 0.0003) + sw + ClockAngle(w, 1.0);
    pos = sVec3(40.0f * std::sin(th) + L.x, 7.0f, 40.0f * std::cos(th) + L.z);
    target = sVec3(L.x + 10.0f * ClockSin(c, 0.00045), 3.0f * ClockSin(c, 0.00035) + 15.0f, L.z + 10.0f * ClockSin(c, 0.00025));
    break;
  }
  case 6:
  case 7:
  case 8:
  {
    const sInt g = variant - 6;
    only(g, 2, variant == 6 ? 3u : variant == 7 ? 7u : 15u);
    const sVec3 Lg = Slots[g].LeadPosition;
    const sF64 wc = 0.0005 * c;
    const sF32 th = ClockSin(c, 0.0002) + ClockSin(c, 0.0003) + ClockSin(wc, 1.0) + ClockAngle(wc, 1.0);
    const sF32 f = 0.5f - 0.5f * std::cos(sScenePi * SceneClamp(2.0f * e, 0.0f, 1.0f));
    const sF32 gd = 0.5f - 0.5f * std::cos(sScenePi * e);
    pos = sVec3((40.0f * std::sin(th) + Lg.x) * f, 700.0f - 693.0f * f, (40.0f * std::cos(th) + Lg.z) * f);
    target = sVec3((Lg.x + 10.0f * ClockSin(c, 0.00045)) * gd, (3.0f * ClockSin(c, 0.00035) + 12.0f) * gd + 3.0f,
                   (Lg.z + 10.0f * ClockSin(c, 0.00025)) * gd);
    break;
  }
  case 9:
    active.Mode = 3;
    pos = P + sVec3(-15.0f, -5.0f, -23.0f), target = P + sVec3(0.0f, 2.0f, 0.0f);
    break;
  case 10:
  case 11:
  {
    ActiveSlot = 0;
    Slots[0].Mode = 0;
    Slots[variant == 10 ? 1 : 2].Mode = 4;
    LayerMask = variant == 10 ? 7 : 15;
    const sVec3 P0 = Slots[0].Position;
    const sF32 a = 0.5f - tb;
    pos = sVec3(50.0f * std::sin(a) + P0.x, 28.0f, 50.0f * std::cos(a) + P0.z);
    target = sVec3(P0.x - 5.0f, P0.y + 5.0f, P0.z);
    zoom = 2.4f;
    break;
  }
  case 12:
  case 14:
    Gb.Mode = 5, Ga.Mode = 8, Gc.Mode = 9;
    LayerMask = 15;
    if(variant == 12) pos = sVec3(-115.0f, 11.0f, -30.0f), target = sVec3(-90.0f, 10.0f, 0.0f);
    else pos = sVec3(106.0f, 4.0f, -37.0f), target = sVec3(90.0f, 12.0f, 0.0f);
    break;
  case 13:
  case 15:
  case 16:
  {
    Ga.Mode = 7, Gb.Mode = 6, Gc.Mode = 9;
    LayerMask = 15;
    const sF32 swing = 0.5f - 0.5f * std::cos(2.0f * sScenePi * j);
    if(variant == 13)
    {
      const sF32 ph = (sScenePi - 0.2f) - swing * sScenePi;
      const sF32 h = 33.0f * std::sin(sScenePi * s.BarPhase * 0.5f) + 40.0f;
      pos = sVec3(R * std::sin(ph), h, R * std::cos(ph)), target = sVec3(0.0f, h, 0.0f);
      break;
    }
    const sMat3x4 r = variant == 15 ? SceneEuler(swing * sScenePi - 0.3f, 0.0f, 0.0f) * SceneEuler(0.0f, -0.4f, 0.0f)
                                    : SceneEuler(-swing * sScenePi, -0.2f, 0.0f);
    orbit(r, sVec3(0.0f, 70.0f, 0.0f), R);
    return;
  }
  case 17:
    Gb.Mode = 1, Ga.Mode = 1, Gc.Mode = 0;
    LayerMask = 15;
    pos = sVec3((tb - 0.5f) * 20.0f, 5.0f, -80.0f), target = sVec3(0.0f, 35.0f, 0.0f);
    break;
  case 18:
    LayerMask = 15;
    pos = sVec3((tb - 0.5f) * 20.0f, 5.0f, 20.0f * tb - 80.0f), target = sVec3(P.x * tb, 35.0f, 10.0f);
    break;
  default:
  {
    active.Mode = 0;
    const sF32 u = ClockAngle(c, 0.0001);
    pos = sVec3(16.0f * std::sin(u) + P.x, 2.0f * ClockCos(w, 1.3) + 50.0f, 18.0f * std::cos(u) + 2.0f + P.z);
    target = sVec3(20.0f * std::sin(0.5f * sw) + P.x, 4.0f, P.z);
    zoom = 1.8f;
    break;
  }
  }
  PlaceCamera(this, view, target, pos, zoom);
}

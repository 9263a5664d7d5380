#pragma once
// The LED1 scene: thirteen self-contained light shows ("formations") built from glowing
// points, particle snakes and streaks, instanced boxes, light trails and a 200 x 200 panel
// of LEDs. The selection number picks the formation at Enter; each shows only its own
// forms, installs its own 16-bar list on channel 0, retunes the lights it needs and has a
// camera with two variants. The selection number (OptionIndex) is the formation: Enter
// shows its forms, and Render, Camera and AfterRender read it every frame.
//
// Every form but the trails belongs to the object list. The 72 trail forms are the
// strands' own: AfterRender draws them, Exit deletes them. Main thread only.

#include "scenes/kit.hpp"

class ArrayForm;
class CubeForm;
class InstanceForm;
class ParticleForm;
class PointForm;

enum : sInt
{
  LED1_FORMATIONS = 13,
  LED1_POINTS = 512,          // glowing points of formation 0
  LED1_HEADS = 24,            // trail heads of formation 4, three strands each
  LED1_RINGFRAMES = 30,       // ring frames along a trail
  LED1_RINGPOINTS = 24,       // vertices around a ring
  LED1_BOXES = 128,
  LED1_SMALLBOXES = 32,
  LED1_ANCHORS = 100,         // point groups of formation 9
  LED1_EMITTED = 1024,        // particles per emitter of formation 12
};

// A light trail that follows a moving head: a tube of 30 rings of 24 vertices, a new ring
// laid every half unit the head travels. The trail form is the strand's.
struct Led1Strand
{
  ArrayForm *Trail = nullptr;
  sMat3x4 Rings[LED1_RINGFRAMES];
  sInt WriteIndex = 0;         // the newest ring; moves backwards
  sF32 Width = 0.0f;
  sVec3 PreviousHead = sVec3(0, 0, 0);
  sF32 Walked = 0.0f;          // distance already walked towards the next ring, 0..0.5
  sF32 Fade = 0.0f;            // 1 at the trail start, 0 two seconds after it

  // Makes the trail form (material 6, the light set given) with its rings in their rest shape.
  void Init(sF32 width, sInt lightSet);
  // Lays the rings the head's way since the last step and rebuilds the tube.
  void Step(const sVec3 &head, sF32 fade);
  void Build();
  void Free();
};

// One emitter of formation 12: a ring buffer of particles.
struct Led1Emitter
{
  sVec3 Position[LED1_EMITTED];
  sVec3 Velocity[LED1_EMITTED];
  sF32 Size[LED1_EMITTED];
  sInt Next;
};

class Led1Scene : public Scene
{
public:
  sVec3 lightPhase[LED1_POINTS];
  sU32 lightColour[LED1_POINTS];
  Led1Strand strands[3][LED1_HEADS];
  sVec3 headPosition[LED1_HEADS];
  sVec3 boxPosition[LED1_BOXES];
  sVec3 smallBoxPosition[LED1_SMALLBOXES];
  sVec3 anchors[LED1_ANCHORS];
  Led1Emitter emitters[3];
  sInt flashOffset;
  sInt cycle3, cycle8;
  sInt toggle, ring, previousRing, ringStart;
  sInt timeOffset, time, timeStep;
  sInt trailStart;             // the trails' fade runs from it: 0, set by formation 4's Enter
  sRandomLcg rng;

  ArrayForm *ledPanel;
  CubeForm *room;
  PointForm *glowPoints;
  ParticleForm *fountains[3];
  InstanceForm *boxCloud, *smallBoxCloud;
  ParticleForm *sparkPair[2];
  PointForm *bigLights;
  InstanceForm *boxField;
  InstanceForm *boxRings[3];
  ParticleForm *sparkBursts[3];
  PointForm *pointClouds[4];
  ParticleForm *dust[2];
  PointForm *haze;
  PointForm *bigGlow;
  ArrayForm *lineForms[5];
  PointForm *twinClouds[6];

  Led1Scene();
  ~Led1Scene() override;
  void Init(SyncMachine *syncSource, sInt initFlags, TMData *globalSet) override;
  void Exit() override;
  void Enter(sInt arg) override;
  void Tick(sInt variant) override;
  void Render(sInt variant, sViewport *view) override;
  void OnEvent(sInt code) override;
  void Camera(sInt variant, sViewport *view) override;
  void AfterRender(sViewport *view) override;

  // The forms formation f shows (up to 8); returns their count.
  sInt FormationForms(sInt f, Form **out) const;

private:
  const sF32 *Bands() const;
  void EnterLights(sInt f);
  void RenderGlowPoints(const SyncNow &s);
  void RenderFountains(const SyncNow &s);
  void RenderTrails(const SyncNow &s, const sViewport *view);
  void RenderBoxClouds(const SyncNow &s);
  void RenderSparkRows();
  void RenderSparkBursts(const SyncNow &s);
  void RenderPointClouds(const SyncNow &s, const sViewport *view);
  void RenderHaze(const SyncNow &s);
  void RenderEmitters(const SyncNow &s);
  void PlaceBox(sVec3 &at, sF32 inner);
};

// The channel-0 list of a formation (16 bars).
SyncPatternTable Led1List(sInt formation);

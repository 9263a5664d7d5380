#pragma once
// The Lava scene: a lava lamp of 1024 soft blobs in a cylinder. The blobs push their
// nearest neighbours apart, rise near the bottom and sink near the top, and event 106
// pulls them towards a point before the camera. Each frame they are drawn twice through
// one point form: as coloured glow sprites (by vertical speed, faded by camera distance)
// in the object list, and as dim white sprites into the scene's own display-sized lava
// target, which the lava shader (ShaderMaterial14) lights and lays over the picture with
// a slowly turning second texture. RenderMode 4 adds a feedback composite of the screen.
//
// The sprite form belongs to the object list; the lava target, the lava and composite
// materials and the lava quad's geometry are the scene's own (deleted in Exit). The simulation runs in Render, once per frame. Main thread only.

#include "scenes/kit.hpp"

class PointForm;

enum : sInt
{
  LAVA_BLOBS = 1024,
  LAVA_NEIGHBOURS = 100,      // the nearest part of each list: the only part ever read
  LAVA_BUCKETS = 2048,
  LAVA_LOOKS = 5,
};

struct LavaBlob
{
  sVec3 Position;
  sVec3 Velocity;
  sVec3 Impulse;              // the pull of event 106; decays apart from the velocity
  sF32 Radius;                // 20..40
  sF32 Spare;
  sF32 CameraDistance;        // of this frame
  LavaBlob *NextInBucket;
};

// One entry of a blob's neighbour list: the distance last computed and the blob.
struct LavaNeighbour
{
  sF32 Distance;
  sU16 Blob;
};

class LavaScene : public Scene
{
public:
  LavaBlob Blobs[LAVA_BLOBS];
  // per blob the nearest LAVA_NEIGHBOURS entries of its list, nearest first: entry 0 is
  // the blob itself. The candidates are fixed at Init; the order follows the blobs.
  LavaNeighbour Neighbours[LAVA_BLOBS][LAVA_NEIGHBOURS];
  PointForm *BlobSprites;
  LavaBlob *DepthBuckets[LAVA_BUCKETS];
  sInt SortCursor;
  ShaderMaterial7 *CompositeMaterial;
  sF64 ImpulseClock;          // song position of the last pull
  sTexture2D *LavaTarget;
  ShaderMaterial14 *LavaMaterial;
  sGeometry *QuadGeometry;    // the lava quad: two texture coordinates per corner
  sInt Look;
  sInt Hold;
  sF32 FadeFull, FadeNear, FadeFullEnd, FadeFar;
  sMat3x4 CameraMatrix;
  sInt TimeOffset;

  LavaScene();
  ~LavaScene() override;
  void Init(SyncMachine *syncSource, sInt initFlags, TMData *globalSet) override;
  void Exit() override;
  void Enter(sInt arg) override;
  void Render(sInt variant, sViewport *view) override;
  void OnEvent(sInt code) override;
  void Camera(sInt variant, sViewport *view) override;
  void AfterRender(sViewport *view) override;

  // New places for every blob; Init shrinks them by 0.75.
  void Scatter(sF32 factor);
  // The neighbour lists from the blobs' places.
  void BuildNeighbours();
  // One step of the lamp: re-sort, repulsion, motion, depth buckets seen from the eye.
  void Simulate(const sVec3 &eye);

private:
  // The sprites from the depth buckets: coloured (the screen pass) or white (the lava
  // target); blobs outside the fade window are left out, unused sprites go black.
  void FillSprites(sBool white);
};

// The scene's channel-0 lists: the show list and the calm list of RenderMode 0.
SyncPatternTable LavaShowList();
SyncPatternTable LavaCalmList();

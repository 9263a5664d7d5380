#pragma once
// The Abstract scene: figures made only of points. A 104 x 104 net laid on a closed-form
// surface that flows with the SYNC clock (drawn twice, in two colourings), two tubes of
// point rings that follow the surface near its head point, two clouds of 256 points that
// burst out around a chosen surface point on a beat event, and 128 large soft glow points
// on a sphere far behind. One of five colour sets is picked at Enter; events 106 to 108
// move the head, pick new surface points and make the orbits burst; seven cameras fly
// along and around the surface. The object list owns every form. Main thread only.

#include "scenes/kit.hpp"

class PointForm;

enum : sInt
{
  ABSTRACT_NET = 104,            // net rows and columns
  ABSTRACT_ORBIT = 256,          // points of each orbit cloud
  ABSTRACT_RINGS = 20,           // rings of each tube; the last lies on the surface
  ABSTRACT_RING_POINTS = 96,
  ABSTRACT_GLOWS = 128,
};

class AbstractScene : public Scene
{
public:
  sRandomLcg AbstractRandom;     // the scene's generator (the base one is left alone)
  sInt ColourSet;                // 0..4
  sInt CurveType;                // 0..3: the formula of the surface
  sInt TextureChoice;            // 0..2: the dot picture of the points
  sF32 HeadU, HeadV;
  sF32 PathParams[6];            // three surface points (u, v): orbit centre, camera ends
  sInt BeatTime;                 // SYNC clock of the last accepted burst
  sInt CameraTimeOffset;         // 0..65535 ms

  PointForm *GlowPoints;
  PointForm *NetA, *NetB;
  PointForm *OrbitA, *OrbitB;
  PointForm *TubeA, *TubeB;

  AbstractScene();
  void Init(SyncMachine *syncSource, sInt initFlags, TMData *globalSet) override;
  void Enter(sInt arg) override;
  void Render(sInt variant, sViewport *view) override;
  void OnEvent(sInt code) override;
  void Camera(sInt variant, sViewport *view) override;

  // The surface point at (u, v) for the SYNC values of now. The tangent terms of two
  // formulas have poles: points near them lie very far out (finite all the same, as the
  // tangent of a finite float is).
  sVec3 AbstractPath(sF32 u, sF32 v);

private:
  struct PathFrame
  {
    sF32 K;        // the slope of the surface coordinates
    sF32 A0, B0;   // the clock's shift of them
    sF32 P;        // the pulse amplitude
  };
  PathFrame Frame;
  void BeginFrame();
  sVec3 AbstractPathAt(sF32 u, sF32 v) const;
  void PlaceGlows();
  void ColourForms();
};

SyncPatternTable AbstractShowTable();
SyncPatternTable AbstractShortTable();

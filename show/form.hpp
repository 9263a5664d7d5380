#pragma once
// Forms: the drawables of a scene's object list.
//
// A Form is a geometry, the row of the scene's material set that draws it, a placement
// matrix, a colour and the switches that decide in which pass, on which layer, with
// which view and with which shadows it is drawn. Scene::RenderForm reads these fields;
// the form itself only draws its geometry and frees what it owns.
//
// Some material kinds need values that only one kind of form carries (the super-shape
// parameters, the strip words, the point and colour-grading words). Such a form keeps
// them in one of the plain records below and hands them out through its accessor; the
// base answers null, so the renderer never reads a form as a kind it is not and leaves
// the material's own values in place for a form without the record.
//
// Ownership: a form owns its geometry unless SharedGeometry is set, and owns its
// ShadowSetup and ShadowRecord (not the render targets they point at). A form given to
// Scene::AddObject belongs to the scene from then on. Main thread only.

#include "base/math.hpp"
#include "base/types.hpp"

class sGeometry;
class sTexture2D;
struct sViewport;

// Per-form shadow and light record of the shadow pre-pass (Scene::RenderShadowMaps).
struct ShadowSetup
{
  sInt LightCount;          // lights whose depth is rendered, at most 3
  sInt LightSetIndex;       // light set of the scene's material set giving the light directions
  sF32 Strength;
  sF32 Depth;               // the record's depth (the scenes give it a record's height)
  sF32 FarClip;             // far clip of the main view and the light views
  sF32 Distance;            // a light sits at its direction times this distance
  sVec3 LightPositions[3];  // where the pre-pass placed the lights last
  sTexture2D *Targets[4];   // not owned: 0 the depth channels, 1 the light mask (render targets),
                            // 2 the lights' spot, 3 a white texture

  ShadowSetup() { Reset(); }
  void Reset();
};

// Shape of a super-shape form, evaluated by material kinds 7 and 8.
struct SuperShapeParams
{
  sF32 ShapeA[4];           // superformula m, n1, n2, n3 of the first angle
  sF32 ShapeB[4];           // ... of the second angle
  sF32 Scale[3];
  // the animation words: A, C and B become Gradient x, y and z of the material, D its GlowScale
  sF32 SuperWordA, SuperWordB, SuperWordC;
  sF32 SuperWordD;

  SuperShapeParams();
};

// The strip form's marker and material words, read by material kind 6. Words, in order:
// 0-2 origin offset, 3 spin, 4-6 view direction, 7 parameter A, 8 growth limit,
// 9 growth counter, 10 strip time, 11-13 parameters B to D, 14-15 the two curls,
// 16 radius, 17 speed.
struct StripWords
{
  enum : sInt
  {
    OriginOffset = 0,
    Spin = 3,
    ViewDirection = 4,
    StripParamA = 7,
    GrowthLimit = 8,
    GrowthCounter = 9,
    StripTime = 10,
    StripParamB = 11,
    StripParamC = 12,
    StripParamD = 13,
    Curl1 = 14,
    Curl2 = 15,
    Radius = 16,
    Speed = 17,
    Count = 18,
  };
  sF32 Marker[6];           // position and normal slots of the marked vertex
  sF32 Words[Count];

  StripWords();
  // The defaults of the words; the speed word is left to the owner.
  void ResetWords();
};

// Words of a camera-facing point form, read by material kinds 9 to 11.
struct PointWords
{
  sF32 DepthRange = 200.0f;
  sF32 DepthOffset = 0.0f;
  sF32 Brightness = 1.0f;
};

// The colour-grading words of a graded plane, read by material kind 14.
struct GradeWords
{
  sF32 Offset = 0.0f;
  sF32 Gain = 1.0f;
  sF32 AlphaThreshold = 0.0f;
  sF32 AlphaGain = 1.0f;
  sF32 AlphaBase = 0.0f;
  sF32 Saturation = 1.0f;
};

class Form
{
public:
  sGeometry *Geometry;          // what Draw draws
  sInt MaterialIndex;           // row of the scene's material set
  sMat3x4 Matrix;               // placement
  sMat3x4 *AuxMatrix;           // copied into the auxiliary views by material kind 5
  sU32 Colour;
  sInt MaterialParam;           // contrast colour of ShaderMaterial1 rows
  sInt LightSetIndex;
  sInt ViewIndex;               // 0: the frame's view; else the scene's GetView
  sU32 LayerMask;
  sInt SharedGeometry;          // a shared geometry is never deleted by the form; FORM_GEOMETRY_POOLED:
                                // released to the geometry pool
  sInt PassFlags;               // 1 mirrored pass, 2 and 4 the plain passes
  sInt ShadowSwitch;            // with Shadow set: the shadow pre-pass, and its caster layers
  ShadowSetup *Shadow;          // owned
  sU32 ShadowCasterMask;        // layers drawn into ShadowRecord
  ShadowSetup *ShadowRecord;    // owned; drawn before the form when ShadowCasterMask is set
  sInt MaterialOption;          // distance fade option of material kinds 9 to 11

  Form(sInt materialIndex, sGeometry *geometry = nullptr, sMat3x4 *auxMatrix = nullptr);
  virtual ~Form();
  // Kept for the order of the operations; no kind of form gives it work.
  virtual void Idle();
  virtual void Draw(sViewport *view);

  // The records of the kinds that carry them; null for every other kind.
  virtual SuperShapeParams *GetSuperShapeParams();
  virtual StripWords *GetStripWords();
  virtual PointWords *GetPointWords();
  virtual GradeWords *GetGradeWords();

  Form(const Form &) = delete;
  Form &operator=(const Form &) = delete;
};

/****************************************************************************/
/***   Pooled geometries                                                  ***/
/****************************************************************************/

// Forms whose generated vertices and indices are the same share one static geometry, found
// by the key of the parameters that generate it. Every form holding it counts once and the
// release of the last one deletes it. A form holding a pooled geometry has SharedGeometry
// set to FORM_GEOMETRY_POOLED and never writes into it: it takes a geometry of its own first.
enum : sInt { FORM_GEOMETRY_POOLED = 2 };

// The geometry of the key with one more user, or null when the pool has none.
sGeometry *AcquirePooledGeometry(const void *key, sInt keyBytes);
// Puts a geometry just built for the key into the pool, with one user.
void AddPooledGeometry(const void *key, sInt keyBytes, sGeometry *geometry);
// One user less; the last deletes the geometry.
void ReleasePooledGeometry(sGeometry *geometry);
// The forms holding a pooled geometry; 0 for a geometry the pool does not hold.
sInt PooledGeometryUsers(const sGeometry *geometry);
// Lets go of the form's geometry: its own is deleted, a pooled one released, one lent by
// another form left alone.
void DropFormGeometry(Form *form);
// Gives the form the pooled geometry of the key; when the pool has none, make builds the
// form a geometry of its own, which goes into the pool. 1 when it came from the pool.
template <class Make> sBool TakePooledGeometry(Form *form, const void *key, sInt keyBytes, Make make)
{
  if(sGeometry *pooled = AcquirePooledGeometry(key, keyBytes))
  {
    DropFormGeometry(form);
    form->Geometry = pooled;
    form->SharedGeometry = FORM_GEOMETRY_POOLED;
    return 1;
  }
  make();
  AddPooledGeometry(key, keyBytes, form->Geometry);
  form->SharedGeometry = FORM_GEOMETRY_POOLED;
  return 0;
}

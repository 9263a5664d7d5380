#pragma once
// The scene base: what every scene needs to put a picture on a screen.
//
// Scene is the base of the show scenes, the control GUI, the loader scene and the IPP
// machine. It owns its object list (up to 8191 forms, deleted with the scene), a main
// view, an overlay view and three auxiliary views, two quad geometries, five prepared
// auxiliary materials, a random generator, the render environment that the constant
// fillers read, and its texture and material set (TMData) unless it borrows the global
// one (TextureSetKind 2). The scene machine writes the per-frame words (StepRemainder,
// StepCount, Variant, ...) before it calls the thirteen virtual operations.
//
// RenderObjects draws the object list in three passes; RenderForm draws one form with
// its material, lights and constant buffers (scenerender.cpp); the Bind routines make a
// post-processing material current for screen quads.
//
// Main thread only: everything here runs on the thread that owns the graphics device.

#include "base/numbers.hpp"
#include "graphics/graphics.hpp"
#include "show/form.hpp"

class SceneMachine;
class SyncMachine;
class TMData;
struct TextureEntry;
struct MaterialEntry;
struct sInput2Event;
class ShaderMaterial1;
class ShaderMaterial7;
class ShaderMaterial9;
class ShaderMaterial10;
class ShaderMaterial11;
class ShaderMaterial12;
class ShaderMaterial14;

enum : sInt
{
  sSCENE_MAXOBJECTS = 4096 * 2,   // slots of the object list; the count stays below it
};

class Scene
{
public:
  sInt ObjectCount;
  sViewport *MainView;          // the scene's own perspective view
  sGeometry *QuadGeometry0;     // quad lists for screen-space and auxiliary drawing
  sViewport *OverlayView;       // pixel orthographic
  sGeometry *QuadGeometry1;
  ShaderMaterial1 *Materials[5];// auxiliary materials; the shadow pre-pass uses 0 to 3
  sViewport *AuxViews[3];       // light views of the shadow pre-pass
  sRandomLcg Random;
  sRenderEnv RenderEnv;         // read by the constant fillers; FogColor is the clear colour
  SceneMachine *Machine;
  sU32 LayerMask;
  SyncMachine *SyncSource;
  sInt TextureSetKind;          // 0 provides the global set, 1 own set, 2 borrows the global set
  sInt Resident;
  sInt DisplayIndex;
  TMData *MaterialSet;
  Form *Objects[sSCENE_MAXOBJECTS];
  sInt DisplayWidth, DisplayHeight;
  sInt StepRemainder;           // ms already elapsed inside the current 10 ms step
  sInt StepCount;               // Tick calls of the current frame
  sInt OwnClearColour;
  sInt Variant;
  sInt BaseVariant;
  sInt RenderMode;
  sInt OptionIndex;

  Scene();

  // The thirteen operations through which the scene machine drives a scene, in order.
  virtual sViewport *GetView(sInt viewIndex);
  virtual ~Scene();
  virtual void Init(SyncMachine *syncSource, sInt initFlags, TMData *globalSet);
  virtual void Exit();
  virtual void Enter(sInt arg);
  virtual void Leave(sInt newIndex);
  virtual void Tick(sInt variant);
  virtual void Render(sInt variant, sViewport *view);
  virtual void OnEvent(sInt code);
  virtual void OnInput(sInput2Event *event);
  virtual void Camera(sInt variant, sViewport *view);
  virtual void AfterRender(sViewport *view);
  virtual sInt NextVariant(sInt current);

  // Appends a form to the object list; the scene owns it from now on.
  void AddObject(Form *form);
  // Draws the object list: the mirrored pass (pass flag 1), then passes 2 and 4.
  void RenderObjects(sViewport *view);
  // Draws one form with its material; mirror is 1 in the mirrored pass.
  void RenderForm(sViewport *view, Form *form, sInt mirror);
  // Renders light i's depth into channel i of the setup's first target and, for a plane
  // receiver with a second uv pair, its light mask into the second (RenderLightMask).
  void RenderShadowMaps(Form *form);
  // The same for the form's ShadowRecord and caster layers, then its projected shadow
  // over the ground as the view sees it (RenderProjectedShadow).
  void RenderFormShadow(Form *form, sViewport *view = nullptr);
  // The ground is the first plane of the object list that takes the shadow pre-pass (none:
  // no shadow). Per light on the camera's side of it: the casters of the layer mask,
  // flattened along the light onto the ground, into the record's third target as the view
  // sees them; then a grid of quads over the ground carries that picture back onto it with
  // the fourth auxiliary material, behind whatever the scene's depth has in front. Each light's shadow takes ShadowGain x Strength of the
  // colour away, its edge softened over Strength x ShadowSoftness of the screen's height.
  // Strength 0 draws nothing.
  void RenderProjectedShadow(ShadowSetup *rs, sU32 casterMask, sViewport *view);
  // Both shadow passes: the setup's light views, and the casters of the layer mask drawn
  // into its first target, light i in the channel of channels[i].
  void RenderLightDepths(ShadowSetup *rs, sU32 casterMask, const sU32 *channels);
  // The light mask of a plane receiver in its second uv space, into the setup's second
  // target: channel i is 1 where light i does not reach the plane (outside its spot, or
  // in the shadow of a caster of the layer mask), else 0.
  void RenderLightMask(Form *form, ShadowSetup *rs, sU32 casterMask);

  // Builds the scene's texture and material set from its tables (flags: bit 0 packed
  // paths, bit 1 refresh the loader screen after each texture).
  void CreateTMData(const TextureEntry *textures, const MaterialEntry *materials, sInt flags);

  // Make a post-processing material current with freshly filled constant buffers.
  void BindShaderMaterial1(ShaderMaterial1 *material, sViewport *view);
  void BindShaderMaterial7(ShaderMaterial7 *material, sViewport *view);
  void BindShaderMaterial9(ShaderMaterial9 *material, sViewport *view);
  void BindShaderMaterial10(ShaderMaterial10 *material, sViewport *view);
  void BindShaderMaterial11(ShaderMaterial11 *material, sViewport *view);
  void BindShaderMaterial12(ShaderMaterial12 *material, sViewport *view);
  void BindShaderMaterial14(ShaderMaterial14 *material, sViewport *view, sRenderEnv *renderEnv);

  // One screen quad through the geometry (defined with the procedural forms).
  static void DrawQuad(sGeometry *geometry, sF32 x0, sF32 y0, sF32 x1, sF32 y1, sU32 colour,
                       const sF32 *uvRect = nullptr);

  Scene(const Scene &) = delete;
  Scene &operator=(const Scene &) = delete;
};

// Advances and draws the loader screen during long start-up work. Until a loader screen
// is installed it does nothing.
void RefreshLoadingScreen();

// Installs the loader screen: draw(user) draws its progress; when *ownFrame (read at
// every call; null counts as 0) is non-zero, RefreshLoadingScreen brackets the drawing
// in a frame of its own on the screen. A null draw uninstalls it.
void SetLoadingScreen(void (*draw)(void *user), void *user, const sInt *ownFrame);

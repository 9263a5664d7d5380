// The IPP machine's final composition: the screen copied and blurred at half size, two
// blur levels combined into a glow laid over the screen, the overlays, the master fade,
// the GUI's effect switches, the panel; and later in the frame the colour layers.
#include "show/ipp.hpp"

#include "graphics/shader.hpp"
#include "show/guirecords.hpp"
#include "show/media.hpp"
#include "show/scenehost.hpp"
#include "show/startup.hpp"
#include "show/statusprinter.hpp"

/****************************************************************************/
/***   Bindings shared by the passes                                      ***/
/****************************************************************************/

void IppMachine::BindScreen(sU32 flags)
{
  sRenderTargetSpec spec(flags, 0, nullptr, sGetScreenColorBuffer(DisplayIndex), sGetScreenDepthBuffer());
  sSetTarget(spec);
}

void IppMachine::BindTarget(sTexture2D *target, sU32 flags)
{
  sRenderTargetSpec spec(flags, 0, nullptr, target, nullptr);
  sSetTarget(spec);
}

void IppMachine::PrepareQuadView()
{
  // rectangles are given in display pixels whatever the size of the bound target, so a
  // full-display quad covers a half-size or a 1/32 target as well
  QuadView->SetTarget(nullptr);
  QuadView->Window.x0 = QuadView->Window.y0 = 0;
  QuadView->Window.x1 = DisplayWidth;
  QuadView->Window.y1 = DisplayHeight;
  QuadView->Prepare(15);
}

void IppMachine::FullQuad(sU32 colour) { DrawQuad(Quad, 0, 0, sF32(DisplayWidth), sF32(DisplayHeight), colour); }

void IppMachine::BlurChain()
{
  for(sInt i = 1; i <= 4; i++)
  {
    BindTarget(BlurTargets[i], 16);
    PrepareQuadView();
    ShaderMaterial9 *m = BlurMaterials[i];
    m->Texture[0] = BlurTargets[i - 1];
    m->Color = 0xFFFFFFFF;
    sF32 s = sF32(1 << ((i - 1) / 2));
    if(i & 1)
    {
      m->StartSteps[0] = 4.5f;
      m->Step[0] = s / sF32(DisplayWidth / 2);
    }
    else
    {
      m->StartSteps[1] = 4.5f;
      m->Step[1] = s / sF32(DisplayHeight / 2);
    }
    BindShaderMaterial9(m, QuadView);
    FullQuad();
  }
}

/****************************************************************************/
/***   AfterRender                                                        ***/
/****************************************************************************/

void IppMachine::AfterRender(sViewport *view)
{
  BindScreen(16);
  if(view)
  {
    view->SetTarget(nullptr);
    view->Prepare(15);
  }
  if(Active) PaintTextArt(view);
  else PrepareQuadView();

  CopyScreenToTexture(ScreenTexture, DisplayIndex);
  DrawTextureToTarget(ScreenTexture, BlurTargets[0], DisplayIndex);
  BlurChain();

  BindTarget(CombineTarget, 16);
  PrepareQuadView();
  CombineMaterial->Texture[0] = BlurTargets[2];
  CombineMaterial->Texture[1] = BlurTargets[4];
  CombineMaterial->Threshold1 = layer1.brightness;
  CombineMaterial->Gain1 = layer1.contrast;
  CombineMaterial->Threshold2 = layer2.brightness;
  CombineMaterial->Gain2 = layer2.contrast;
  CombineMaterial->Color = 0xFFFFFFFF;
  BindShaderMaterial10(CombineMaterial, QuadView);
  FullQuad();

  BindScreen(16);
  PrepareQuadView();
  if(Active)
  {
    GlowMaterial->Color = copycolor;
    BindShaderMaterial1(GlowMaterial, QuadView);
    FullQuad();
    PaintOverlays(view);
    if(Gui)
    {
      sU32 c = Gui->FadeOn ? sBlendColor(0xFF000000, 0xFFFFFFFF, Gui->FadeFactors[0] * Gui->FadeFactors[1]) : 0xFF000000;
      ShaderMaterial1 *m = Gui->SceneSwitched ? ScreenMaterialB : ScreenMaterial;
      ScreenMaterial->Texture[0] = ScreenMaterialB->Texture[0] = ScreenTexture;
      ScreenMaterial->Color = ScreenMaterialB->Color = c;
      PrepareQuadView();
      BindShaderMaterial1(m, QuadView);
      FullQuad();
    }
  }

  if(Gui)
  {
    GuiMediaState &g = *Gui;
    auto pref = [](sInt v) { return v >= 1 && v <= 3 ? v : 0; };
    if(g.MotionRestart)
    {
      RestartMotion();
      g.MotionRestart = 0;
    }
    if(g.MotionOn && MotionMode != 4 && pref(g.MotionPreset)) MotionMode = g.MotionPreset;
    if(g.Ch3Restyle)
    {
      RestyleChannel3();
      g.Ch3Restyle = 0;
    }
    if(g.Ch3On && Ch3.Mode != 4 && pref(g.Ch3Preset)) Ch3.Mode = g.Ch3Preset;
    if(!g.Ch3On) Ch3.Mode = 4;
    if(g.Ch4Restyle)
    {
      RestyleChannel4();
      g.Ch4Restyle = 0;
    }
    if(g.Ch4On && Ch4.Mode != 4 && pref(g.Ch4Preset)) Ch4.Mode = g.Ch4Preset;
    if(!g.Ch4On) Ch4.Mode = 4;
  }

  if(ShowPanel && StatusPanel)
  {
    sStatusPrinter &p = *StatusPanel;
    p.Begin();
    p.Color = 0xC000000C;
    p.Rect(60, 80, 430, 420);
    p.Print(u"IPP machine", 100, 110);
    p.CursorY += 8;
    auto triple = [&](const sChar *name, IppPanelValues &v) {
      p.Print(name);
      p.PrintFloat(&v.brightness, u"brightness", -1, -1, 0.0f, 1.0f);
      p.PrintFloat(&v.contrast, u"contrast", -1, -1, 0.0f, 255.0f);
      p.PrintColour(v.color, u"color");
    };
    triple(u"screen", screen);
    triple(u"layer1", layer1);
    triple(u"layer2", layer2);
    p.CursorY += 8;
    p.PrintColour(copycolor, u"copycolor");
    p.End();
  }
}

/****************************************************************************/
/***   Colour layers                                                      ***/
/****************************************************************************/

void IppMachine::PaintColorLayers(sViewport *)
{
  if(!Active || !Gui || !LayerMaterial) return;
  GuiMediaState &g = *Gui;
  const sF32 W = sF32(DisplayWidth), H = sF32(DisplayHeight);
  auto any = [&](sInt d) {
    for(sInt k = 0; k < sGUI_COLORLAYERS; k++)
      if(g.LayerOn[d][k]) return 1;
    return 0;
  };
  auto layers = [&](sInt d, sF32 w, sF32 h) {
    for(sInt k = 0; k < sGUI_COLORLAYERS; k++)
    {
      if(!g.LayerOn[d][k]) continue;
      LayerMaterial->Color = sBlendColor(0, 0xFFFFFFFF, g.LayerColorAmount[d][k]);
      LayerMaterial->ContrastColor = sBlendColor(0, 0xFFFFFFFF, g.LayerContrastAmount[d][k]);
      const sF32 *r = g.LayerDest[d][k];
      BindShaderMaterial1(LayerMaterial, QuadView);
      DrawQuad(Quad, r[0] * w, r[1] * h, r[2] * w, r[3] * h, 0xFFFFFFFF, g.LayerTexRect[d][k]);
    }
  };
  sBool copied = 0;
  if(any(0))
  {
    CopyScreenToTexture(ScreenTexture, DisplayIndex);
    copied = 1;
    BindScreen(17);
    PrepareQuadView();
    LayerMaterial->Texture[0] = ScreenTexture;
    layers(0, W, H);
  }
  const sInt displays = Machine ? Machine->DisplayCount : 1;
  const sInt second = SecondDisplay;
  if(displays < 3 || second < 0 || second >= displays || second == DisplayIndex) return;
  if(!copied) CopyScreenToTexture(ScreenTexture, DisplayIndex);
  sRenderTargetSpec spec(17, 0, nullptr, sGetScreenColorBuffer(second), sGetScreenDepthBuffer());
  sSetTarget(spec);
  PrepareQuadView();
  LayerMaterial->Texture[0] = ScreenTexture;
  const ShowDisplayRecord &d = GetShowDisplay(second);
  if(!any(1))
  {
    static const sF32 whole[4] = {0, 0, 1, 1};
    LayerMaterial->Color = 0xFFFFFFFF;
    LayerMaterial->ContrastColor = 0;
    BindShaderMaterial1(LayerMaterial, QuadView);
    DrawQuad(Quad, 0, 0, sF32(d.Width), sF32(d.Height), 0xFFFFFFFF, whole);
  }
  else
    layers(1, sF32(d.Width), sF32(d.Height));
}

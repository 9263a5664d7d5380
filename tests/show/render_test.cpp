// Lit forms drawn through the real device and read back: each lighting path's pixels
// against a CPU evaluation of its formula (per-pixel point lights with the shadow maps
// below), and the shadow pre-pass's depth channels and the darkening they cause.

#include "scene_util.hpp"

#include "../graphics/render_fixture.hpp"
#include "graphics/image.hpp"
#include "graphics/imagetexture.hpp"
#include "show/forms.hpp"

#include <cmath>

namespace
{
using V = sVec3;
V Unit(V v) { return v * (1.0f / std::sqrt(sDot(v, v))); }
V Reflect(V v, V n) { return v - n * (2.0f * sDot(n, v)); }
V Col(sU32 c) { return V(ChR(c) / 255.0f, ChG(c) / 255.0f, ChB(c) / 255.0f); }
V Mul(V a, V b) { return V(a.x * b.x, a.y * b.y, a.z * b.z); }
sF32 Clamp(sF32 x, sF32 lo, sF32 hi) { return x < lo ? lo : x > hi ? hi : x; }
// A highlight as the programs form it: R.L scaled (0 when negative) minus the offset, kept when positive.
sF32 Spec(sF32 rl, sF32 scale, sF32 offset) { return std::max((rl >= 0 ? rl * scale : 0.0f) - offset, 0.0f); }
// The world point a pixel centre shows through the test view (x -16..16, y 12..-12).
V At(sInt px, sInt py) { return V(px * 0.5f - 16.0f, 12.0f - py * 0.5f, 0.0f); }

const V Eye(0, 0, -100);
const sU32 Ambient = 0xff101010, Lights[3] = {0xff603020, 0xff204060, 0xff402040}, Tex = 0xffc0ff80, Fog = 0xff0000ff;
// The fog of the scene below: start 95, end 135, the blend factor at most `most`.
sF32 FogOf(V p, sF32 most) { return Clamp((std::sqrt(sDot(p - Eye, p - Eye)) - 95) / 40, 0, most); }
V Fogged(V c, V p, sF32 most) { sF32 k = FogOf(p, most); return c * (1 - k) + Col(Fog) * k; }

// A scene of one material row and light set 0 with the colours above, seen through an
// orthographic view from the eye along z.
class Lit : public RenderTest
{
protected:
  Scene *S = nullptr;
  sViewport View;
  std::vector<sTexture2D *> Textures;

  void Make(const MaterialEntry *rows, const V *positions)
  {
    S = sNEW Scene;
    S->CreateTMData(NoFile, rows, 0);
    LightSet *ls = S->MaterialSet->LightSets[0];
    ls->Ambient = Ambient;
    for(sInt i = 0; i < 3; i++) ls->Colors[i] = Lights[i], ls->Positions[i] = positions[i];
    S->RenderEnv.FogStart = 95.0f, S->RenderEnv.FogEnd = 135.0f, S->RenderEnv.FogColor = Fog;
    View.Orthogonal = sVO_ZOOM;
    View.ZoomX = 1.0f / 16, View.ZoomY = 1.0f / 12;
    View.Camera.l = Eye;
  }
  void TearDown() override
  {
    sDELETE(S);
    for(sTexture2D *&t : Textures) sDELETE(t);
  }
  sTexture2D *Solid(sU32 colour)
  {
    sImage img(4, 4);
    img.Fill(colour);
    Textures.push_back(sLoadTexture2D(&img, 0x1001));
    return Textures.back();
  }
  // A quad at z 0, normal (0, 0, -1), tangent (1, 0, 0), in the vertex format of row 0.
  Form *Quad(sF32 x0, sF32 y0, sF32 x1, sF32 y1)
  {
    sVertexFormat *fmt = StandardVertexFormat(S->MaterialSet->MaterialTable[0].VertexFormat);
    sGeometry *g = sNEW sGeometry(sGF_TRILIST | sGF_INDEX16, fmt);
    const sInt words = fmt->GetSize(0) / 4;
    sF32 *vp;
    sU16 *ip;
    g->BeginLoad(fmt, sGF_TRILIST | sGF_INDEX16, sGD_STATIC, 4, 6, (void **)&vp, (void **)&ip);
    for(sInt c = 0; c < 4; c++)
    {
      sF32 u = (c == 1 || c == 2) ? 1.0f : 0.0f, v = c >= 2 ? 1.0f : 0.0f;
      const sF32 short8[8] = {u ? x1 : x0, v ? y1 : y0, 0, 0, 0, -1, u, v};
      const sF32 long16[16] = {u ? x1 : x0, v ? y1 : y0, 0, 0, 0, -1, 1, 0, 0, 1, 0, u, v, u, v};
      std::memcpy(vp + c * words, words == 8 ? short8 : long16, words * 4);
      if(words == 16) reinterpret_cast<sU32 *>(vp + c * words)[10] = 0xffffffff;
    }
    const sU16 idx[6] = {0, 1, 2, 0, 2, 3};
    std::memcpy(ip, idx, sizeof(idx));
    g->EndLoad();
    Form *f = sNEW Form(0, g);
    f->SharedGeometry = 0;
    S->AddObject(f);
    return f;
  }
  std::vector<sU32> Draw(std::initializer_list<Form *> forms)
  {
    BeginFrame(0xff000000);
    for(Form *f : forms) S->RenderForm(&View, f, 0);
    return EndFrame();
  }
  void Expect(const std::vector<sU32> &px, sInt x, sInt y, V want)
  {
    sU32 w = sVec4(Clamp(want.x, 0, 1), Clamp(want.y, 0, 1), Clamp(want.z, 0, 1), 1).GetColor();
    EXPECT_LE(ColorDiff(px[y * W + x], w), 4) << "pixel " << x << ", " << y << std::hex << ": " << px[y * W + x]
                                                << " wanted " << w;
  }
};

// Per-pixel point lights: diffuse, highlight, fog and attenuation; light i scaled by factor[i].
V Class3(V p, const V *pos, const sF32 *factor, bool attenuate)
{
  V n(0, 0, -1), r = Reflect(Unit(p - Eye), n), sum = Col(Ambient), hl(0, 0, 0);
  sF32 att = attenuate ? std::max(1.0f - 0.01f * std::sqrt(sDot(pos[0] - p, pos[0] - p)), 0.0f) : 1.0f;
  for(sInt i = 0; i < 3; i++)
  {
    V l = Unit(pos[i] - p);
    sum += Col(Lights[i]) * (std::max(sDot(n, l), 0.0f) * factor[i] * att);
    hl += Col(Lights[i]) * (Spec(sDot(r, l), 16.0f, 15.8f) * factor[i] * att);
  }
  return Fogged(Mul(sum, Col(Tex)) + hl, p, 0.95f);
}

TEST_F(Lit, ThreeDirectionalLightsPerVertex)
{
  const MaterialEntry rows[] = {Row(4, 1, 0x03), EndRow()};
  const V pos[3] = {};
  Make(rows, pos);
  static_cast<ShaderMaterial2 *>(S->MaterialSet->Materials[0])->Texture[0] = Solid(Tex);
  const LightSet *ls = S->MaterialSet->LightSets[0];
  // three planes: facing the camera, turned about y, and facing the first light exactly
  Form *f[3] = {Quad(-4, -4, 4, 4), Quad(-4, -4, 4, 4), Quad(-4, -4, 4, 4)};
  f[0]->Matrix.l.Init(-11, 0, 0);
  f[1]->Matrix.EulerXYZ(0, 0.8f, 0);
  f[2]->Matrix.LookDir(V(0, 0, 0) - ls->Directions[0]);
  f[2]->Matrix.l.Init(11, 0, 0);
  std::vector<sU32> px = Draw({f[0], f[1], f[2]});
  for(Form *q : f)
  {
    V n = sMulDirMat3x4(V(0, 0, -1), q->Matrix), d = Col(Ambient), s(0, 0, 0);
    for(sInt i = 0; i < 3; i++)
    {
      sF32 dl = std::max(sDot(n, ls->Directions[i]), 0.0f);
      d += Col(Lights[i]) * dl;
      s += Col(Lights[i]) * (0.3f * std::max(9 * dl - 8, 0.0f));
    }
    Expect(px, 32 + sInt(q->Matrix.l.x * 2), 24, Mul(Col(Tex), d) + s);
  }
}

TEST_F(Lit, NormalMappedSurfaceWithFog)
{
  const MaterialEntry rows[] = {Row(13, 5, 0x03, 0, 3), EndRow()};
  const V pos[3] = {V(-20, 10, 40), V(15, -5, 30), V(0, 0, 20)};
  Make(rows, pos);
  const sU32 normal = 0xffc080ff, detail = 0xff80c0ff, colour = 0xff80c0ff;
  sMaterial *m = S->MaterialSet->Materials[0];
  m->Texture[0] = Solid(normal);
  m->Texture[1] = Solid(detail);
  m->Texture[2] = Solid(colour);
  std::vector<sU32> px = Draw({Quad(-20, -15, 20, 15)});
  // the map normal in the frame of tangent, bitangent (normal x tangent) and normal
  V half(0.5f, 0.5f, 0.5f), tm = Unit(Col(normal) - half + Mul(Col(detail) - half, V(0.2f, 0.1f, 0.2f)));
  V n = Unit(V(1, 0, 0) * tm.x + V(0, -1, 0) * tm.y + V(0, 0, -1) * tm.z);
  for(auto [x, y] : {std::pair{32, 24}, {10, 10}, {50, 40}, {60, 3}})
  {
    V p = At(x, y), r = Reflect(Unit(Eye - p), n), sum = Col(Ambient), hl(0, 0, 0);
    for(sInt i = 0; i < 3; i++)
    {
      V l = Unit(p - pos[i]);
      sum += Col(Lights[i]) * std::max(sDot(n, l), 0.0f);
      hl += Col(Lights[i]) * Spec(sDot(r, l), 11.0f, 10.0f);
    }
    Expect(px, x, y, Fogged(Mul(sum, Col(colour)) + hl * 0.25f, p, 0.95f));
  }
}

TEST_F(Lit, InstancesLitPerVertex)
{
  const MaterialEntry rows[] = {Row(15, 1, 0x03), EndRow()};
  const V pos[3] = {V(-30, 20, -40), V(30, 0, -30), V(0, -30, -50)};
  Make(rows, pos);
  S->MaterialSet->Materials[0]->Texture[0] = Solid(Tex);
  // one quad placed by instance rows in the second stream
  auto instances = [&](std::initializer_list<sMat3x4> places) {
    const sU32 in = sVF_F4 | sVF_STREAM1 | sVertexFormatInstanceFlag;
    const sU32 codes[] = {sVF_POSITION, sVF_NORMAL, sVF_UV0, sVF_UV1 | in, sVF_UV2 | in, sVF_UV3 | in, sVF_UV4 | in, 0};
    sGeometry *g = sNEW sGeometry(sGF_TRILIST | sGF_INDEX16, sCreateVertexFormat(codes));
    sF32 *vp;
    const sF32 corners[32] = {-6, -6, 0, 0, 0, -1, 0, 0, 6, -6, 0, 0, 0, -1, 0, 0, 6, 6, 0, 0, 0, -1, 0, 0, -6, 6, 0, 0, 0, -1, 0, 0};
    g->BeginLoadVB(4, sGD_STATIC, (void **)&vp, 0);
    std::memcpy(vp, corners, sizeof(corners));
    g->EndLoadVB(-1, 0);
    const sInt count = sInt(places.size());
    g->BeginLoadVB(count, sGD_STATIC, (void **)&vp, 1);
    std::memset(vp, 0, size_t(count) * 64);
    for(sInt n = 0; n < count; n++) std::memcpy(vp + n * 16, sTransposeMat3x4(places.begin()[n]).Row, 48);
    g->EndLoadVB(-1, 1);
    g->BeginLoadIB(6, sGD_STATIC, (void **)&vp);
    const sU16 idx[6] = {0, 1, 2, 0, 2, 3};
    std::memcpy(vp, idx, sizeof(idx));
    g->EndLoadIB();
    struct Instances : Form
    {
      sInt Count;
      Instances(sGeometry *g, sInt count) : Form(0, g), Count(count) {}
      void Draw(sViewport *) override { Geometry->DrawRanges(nullptr, 0, Count); }
    } *f = sNEW Instances(g, count);
    f->SharedGeometry = 0;
    S->AddObject(f);
    return f;
  };
  // left, and turned and right
  sMat3x4 place[2];
  place[0].l.Init(-9, 0, 0);
  place[1].EulerXYZ(0, 0, 0.5f);
  place[1].l.Init(9, 2, 0);
  std::vector<sU32> px = Draw({instances({place[0], place[1]})});
  // points on the shared edge of the two triangles (corner 0 to corner 2) interpolate
  // those two corners' outputs: the centres of both quads, a quarter along the first one
  const sInt points[3][4] = {{14, 24, 0, 2}, {50, 20, 1, 2}, {8, 30, 0, 1}};   // pixel, instance, corner 2's weight in 4ths
  for(auto [x, y, n, q] : points)
  {
    V out[2] = {V(0, 0, 0), V(0, 0, 0)};
    for(sInt c : {0, 2})
    {
      V w = sMulPointMat3x4(V(c ? 6.0f : -6.0f, c ? 6.0f : -6.0f, 0), place[n]), nrm = sMulDirMat3x4(V(0, 0, -1), place[n]);
      V r = Reflect(Unit(w - Eye), nrm), d = Col(Ambient), h(0, 0, 0);
      for(sInt i = 0; i < 3; i++)
      {
        V l = Unit(pos[i] - w);
        d += Col(Lights[i]) * std::max(sDot(nrm, l), 0.0f);
        h += Col(Lights[i]) * (0.5f * Spec(std::max(sDot(r, l), 0.0f), 11.0f, 10.0f));
      }
      sF32 weight = c ? q / 4.0f : 1 - q / 4.0f;
      out[0] += d * ((1 - FogOf(w, 1)) * weight);
      out[1] += Fogged(h, w, 1) * weight;
    }
    Expect(px, x, y, Mul(Col(Tex), out[0]) + out[1]);
  }

  // the normal is turned by the placement as it is: an instance placed at scale 2 takes
  // twice the light of one at scale 1 (one light ahead of both; no ambient, highlight or fog)
  LightSet *ls = S->MaterialSet->LightSets[0];
  ls->Ambient = 0;
  ls->Colors[0] = 0xff303030, ls->Colors[1] = ls->Colors[2] = 0;
  ls->Positions[0] = V(0, 0, -100000);
  static_cast<ShaderMaterial15 *>(S->MaterialSet->Materials[0])->SpecularOffset = 1000.0f;
  S->MaterialSet->Materials[0]->Texture[0] = Solid(0xffffffff);
  S->RenderEnv.FogStart = 1000.0f, S->RenderEnv.FogEnd = 2000.0f;
  sMat3x4 one, two;
  one.l.Init(-11, 0, 0);
  two.ScaleAxes(2, 2, 2);
  two.l.Init(8, 0, 0);
  px = Draw({instances({one, two})});
  Expect(px, 10, 24, Col(0x303030));
  Expect(px, 48, 24, Col(0x606060));
}

TEST_F(Lit, ShadowPrePassFillsTheChannelsAndDarkensTheFloor)
{
  // two lights cast (the third is not rendered), from 50 along their directions
  const MaterialEntry rows[] = {Row(5, 1, 0x03), EndRow()};
  const V dir[3] = {V(0, 0, -1), Unit(V(0.45f, 0, -1)), V(0, 1, 0)}, pos[3] = {dir[0] * 50, dir[1] * 50, dir[2] * 50};
  Make(rows, pos);
  for(sInt i = 0; i < 3; i++) S->MaterialSet->LightSets[0]->Directions[i] = dir[i];
  sTexture2D map(64, 64, sTEX_ARGB8888 | sTEX_RENDERTARGET | sTEX_NOMIPMAPS);
  Form *floor = Quad(-20, -15, 20, 15), *caster = Quad(-5, -5, 5, 5);
  caster->Matrix.l.Init(0, 0, -20);
  caster->LayerMask = 2;
  floor->ShadowSwitch = 2;
  ShadowSetup *rs = floor->Shadow = sNEW ShadowSetup;
  rs->LightCount = 2, rs->Distance = 50.0f, rs->FarClip = 100.0f, rs->Targets[0] = &map;

  BeginFrame();
  S->RenderShadowMaps(floor);
  sSetTarget(sRenderTargetSpec(0, 0, nullptr, &map, nullptr));
  const std::vector<sU32> mapPx = ReadScreen(64, 64);
  sRender3DEnd(0);
  auto texel = [&](sInt x, sInt y) { return mapPx[size_t(y * 64 + x)]; };
  // light i sees the caster in channel i at 1 - its depth along the light; the floor casts nothing
  const sMat4x4 &light1 = S->AuxViews[1]->MVP;   // last made with the caster's placement
  EXPECT_NEAR(ChR(texel(32, 32)), 255 * (1 - 30.0f / 100), 2);
  EXPECT_NEAR(ChG(texel(sInt((light1.m[3][0] + 1) * 32), sInt((1 - light1.m[3][1]) * 32))),
              255 * (1 - (50 - sDot(V(0, 0, -20), dir[1])) / 100), 2);
  EXPECT_EQ(ChB(texel(32, 32)), 0);
  EXPECT_EQ(texel(2, 2) & 0xffffff, 0u);

  // the floor without shadows first, attenuated by the distance to the first light, whose
  // highlight is at the centre; then with the shadow map
  auto *m = static_cast<ShaderMaterial3 *>(S->MaterialSet->Materials[0]);
  m->Texture[0] = Solid(Tex);
  m->AttenuationOption = 1;
  m->Prepare(sVertexFormatPosNormUV);
  std::vector<sU32> px = Draw({floor});
  const sF32 one[3] = {1, 1, 1};
  for(auto [x, y] : {std::pair{32, 24}, {12, 14}, {52, 36}, {5, 5}}) Expect(px, x, y, Class3(At(x, y), pos, one, true));
  m->Texture[1] = &map;
  m->AttenuationOption = 0;
  m->Prepare(sVertexFormatPosNormUV);
  px = Draw({floor});
  // a floor point is shadowed by light i when its ray towards the light meets the caster
  for(auto [x, y] : {std::pair{16, 24}, {28, 24}, {36, 24}, {6, 6}, {32, 44}})
  {
    sF32 factor[3] = {1, 1, 1};
    for(sInt i = 0; i < 2; i++)
    {
      V q = At(x, y) + dir[i] * (-20.0f / dir[i].z);
      if(std::fabs(q.x) < 5 && std::fabs(q.y) < 5) factor[i] = 0.3f;
    }
    Expect(px, x, y, Class3(At(x, y), pos, factor, false));
  }
  m->Texture[1] = nullptr;

  // the pre-pass and a form's shadow record draw lights 1 to 3 in red, green and blue: here
  // three lights of a set of their own, whose views see the caster apart from each other
  const V apart[3] = {V(0, 0, -1), Unit(V(1, 0, -1)), Unit(V(0, 1, -1))};
  for(sInt i = 0; i < 3; i++) S->MaterialSet->LightSets[1]->Directions[i] = apart[i];
  floor->ShadowRecord = sNEW ShadowSetup;
  *floor->ShadowRecord = *rs;
  floor->ShadowCasterMask = 2;
  for(ShadowSetup *setup : {rs, floor->ShadowRecord})
  {
    setup->LightCount = 3, setup->LightSetIndex = 1;
    BeginFrame();
    if(setup == rs) S->RenderShadowMaps(floor);
    else S->RenderFormShadow(floor, nullptr);
    sSetTarget(sRenderTargetSpec(0, 0, nullptr, &map, nullptr));
    const std::vector<sU32> three = ReadScreen(64, 64);
    sRender3DEnd(0);
    for(sInt i = 0; i < 3; i++)
    {
      const sMat4x4 &light = S->AuxViews[i]->MVP;
      const sU32 t = three[size_t(sInt((1 - light.m[3][1]) * 32) * 64 + sInt((light.m[3][0] + 1) * 32))];
      // the caster about 30 to 36 along each light: its depth term is 0.64 to 0.7
      for(sInt c = 0; c < 3; c++)
        EXPECT_EQ((t >> (16 - 8 * c) & 255) > 150, c == i)
          << std::hex << t << (setup == rs ? " pre-pass" : " record") << " light " << i + 1 << ", channel " << c;
    }
  }
}

TEST_F(Lit, LightMaskOfAPlaneInItsSecondUvSpace)
{
  // a plane grid whose second uv pair spans x and y -20..20, a caster 20 above it (off centre
  // in y: the mask's rows run down), lights 0 and 1 casting, light 2 along the plane
  const MaterialEntry rows[] = {Row(5, 1, 0x03), EndRow()};
  const V dir[3] = {V(0, 0, -1), Unit(V(0.45f, 0, -1)), V(1, 0, 0)}, pos[3] = {};
  Make(rows, pos);
  for(sInt i = 0; i < 3; i++) S->MaterialSet->LightSets[0]->Directions[i] = dir[i];
  sTexture2D mask(64, 64, sTEX_ARGB8888 | sTEX_RENDERTARGET | sTEX_NOMIPMAPS);
  ArrayForm *floor = sNEW ArrayForm(0);
  const sF32 range[4] = {40, 40, -20, -20}, uv[4] = {1, 1, 0, 0};
  floor->Init(ArrayForm::PLANE, 1, 3, 2, 2, range, uv, uv);
  S->AddObject(floor);
  Form *caster = Quad(-5, -2, 5, 8);
  caster->Matrix.l.Init(0, 0, -20);
  caster->LayerMask = floor->ShadowSwitch = 2;
  ShadowSetup *rs = floor->Shadow = sNEW ShadowSetup;
  rs->Distance = 50.0f, rs->Targets[1] = &mask, rs->Targets[2] = rs->Targets[3] = Solid(0xffffffff);

  BeginFrame();
  S->RenderShadowMaps(floor);
  sSetTarget(sRenderTargetSpec(0, 0, nullptr, &mask, nullptr));
  const std::vector<sU32> maskPx = ReadScreen(64, 64);
  sRender3DEnd(0);
  // light i misses texel (x, y) where its ray from the plane meets the caster; light 2 misses all
  for(sInt y = 2; y < 64; y += 5)
    for(sInt x = 1; x < 64; x += 3)
      for(sInt i = 0; i < 3; i++)
      {
        const V q = V((x + 0.5f) * 40 / 64 - 20, (y + 0.5f) * 40 / 64 - 20, 0) + dir[i] * (i < 2 ? 20.0f / -dir[i].z : 0);
        if(i < 2 && std::min(std::fabs(std::fabs(q.x) - 5), std::fabs(std::fabs(q.y - 3) - 5)) < 0.7f) continue;
        const sBool missed = i == 2 || (std::fabs(q.x) < 5 && std::fabs(q.y - 3) < 5);
        EXPECT_EQ((maskPx[size_t(y * 64 + x)] >> (16 - 8 * i)) & 255, missed ? 255u : 0u) << x << ", " << y << " light " << i;
      }
}
}  // namespace

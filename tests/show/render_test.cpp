// Lit forms drawn through the real device and read back: each lighting path's pixels
// against a CPU evaluation of its formula, and the shadow pre-pass's depth channels and
// the darkening they cause.

#include "scene_util.hpp"

#include "../graphics/render_fixture.hpp"
#include "graphics/image.hpp"
#include "graphics/imagetexture.hpp"

#include <cmath>

namespace
{
using V = sVec3;
V Unit(V v) { return v * (1.0f / std::sqrt(sDot(v, v))); }
V Reflect(V v, V n) { return v - n * (2.0f * sDot(n, v)); }
V Col(sU32 c) { return V(ChR(c) / 255.0f, ChG(c) / 255.0f, ChB(c) / 255.0f); }
V Mul(V a, V b) { return V(a.x * b.x, a.y * b.y, a.z * b.z); }
sF32 Clamp(sF32 x, sF32 lo, sF32 hi) { return x < lo ? lo : x > hi ? hi : x; }
// A highlight term as the programs form it: (R.L scaled, or 0 when behind) minus the offset, kept when non-negative.
sF32 Spec(sF32 rl, sF32 scale, sF32 offset) { return std::max((rl >= 0 ? rl * scale : 0.0f) - offset, 0.0f); }

// The world point a pixel centre shows through the test view (x -16..16, y 12..-12).
V At(sInt px, sInt py) { return V(px * 0.5f - 16.0f, 12.0f - py * 0.5f, 0.0f); }

const sU32 Ambient = 0xff101010, Lights[3] = {0xff603020, 0xff204060, 0xff402040};
const sU32 Tex = 0xffc0ff80, Fog = 0xff0000ff;

class Lit : public RenderTest
{
protected:
  Scene *S = nullptr;
  sViewport View;
  std::vector<sTexture2D *> Textures;
  const sInt Flat = 0;

  void Make(const MaterialEntry *rows)
  {
    NeedFrameMemory();
    static const TextureEntry none[] = {{u"/nonexistent/t.bmp", nullptr, 0x1001, 0}, {nullptr, nullptr, 0, 0}};
    S = sNEW Scene;
    S->CreateTMData(none, rows, 0);
    LightSet *ls = S->MaterialSet->LightSets[0];
    ls->Ambient = Ambient;
    for(sInt i = 0; i < 3; i++) ls->Colors[i] = Lights[i];
    S->RenderEnv.FogStart = 95.0f;
    S->RenderEnv.FogEnd = 135.0f;
    S->RenderEnv.FogColor = Fog;
    View.Orthogonal = sVO_ZOOM;
    View.ZoomX = 1.0f / 16;
    View.ZoomY = 1.0f / 12;
    View.ClipNear = 1.0f;
    View.ClipFar = 1000.0f;
    View.Camera.l.Init(0, 0, -100);
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
  // A quad at z 0 with normal (0, 0, -1) and tangent (1, 0, 0), in the format of the row.
  Form *Quad(sInt row, sF32 x0, sF32 y0, sF32 x1, sF32 y1)
  {
    sVertexFormat *fmt = StandardVertexFormat(S->MaterialSet->MaterialTable[row].VertexFormat);
    sGeometry *g = sNEW sGeometry(sGF_TRILIST | sGF_INDEX16, fmt);
    const sInt words = fmt->GetSize(0) / 4;
    sF32 *vp;
    sU16 *ip;
    g->BeginLoad(fmt, sGF_TRILIST | sGF_INDEX16, sGD_STATIC, 4, 6, (void **)&vp, (void **)&ip);
    for(sInt c = 0; c < 4; c++)
    {
      sF32 u = (c == 1 || c == 2) ? 1.0f : 0.0f, v = c >= 2 ? 1.0f : 0.0f;
      sF32 pn[6] = {u ? x1 : x0, v ? y1 : y0, 0, 0, 0, -1};
      sF32 *d = vp + c * words;
      for(sInt i = 0; i < 6; i++) d[i] = pn[i];
      sF32 rest16[10] = {1, 0, 0, 1, 0, u, v, u, v, 0};   // tangent, colour, uv0, uv1
      if(words == 8)
      {
        d[6] = u;
        d[7] = v;
      }
      else
      {
        for(sInt i = 0; i < 10; i++) d[6 + i] = rest16[i];
        reinterpret_cast<sU32 *>(d)[10] = 0xffffffff;
      }
    }
    const sU16 idx[6] = {0, 1, 2, 0, 2, 3};
    for(sInt i = 0; i < 6; i++) ip[i] = idx[i];
    g->EndLoad();
    Form *f = sNEW Form(row, g);
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
    sU32 w = V4(want);
    EXPECT_LE(ColorDiff(px[y * W + x], w), 4) << "pixel " << x << ", " << y << std::hex << ": 0x" << px[y * W + x]
                                                << " wanted 0x" << w;
  }
  static sU32 V4(V c)
  {
    sVec4 v(Clamp(c.x, 0, 1), Clamp(c.y, 0, 1), Clamp(c.z, 0, 1), 1);
    return v.GetColor();
  }
};

// Per-pixel point lights (the lit material): diffuse, highlight, fog and attenuation.
V Class3(V p, const V *pos, const sF32 *factor, bool attenuate)
{
  V eye(0, 0, -100), n(0, 0, -1);
  V r = Reflect(Unit(p - eye), n);
  V sum = Col(Ambient), hl(0, 0, 0);
  sF32 att = attenuate ? std::max(1.0f - 0.01f * std::sqrt(sDot(pos[0] - p, pos[0] - p)), 0.0f) : 1.0f;
  for(sInt i = 0; i < 3; i++)
  {
    V l = Unit(pos[i] - p);
    sF32 f = factor[i] * att;
    sum += Col(Lights[i]) * (std::max(sDot(n, l), 0.0f) * f);
    hl += Col(Lights[i]) * (Spec(sDot(r, l), 16.0f, 15.8f) * f);
  }
  V c = Mul(sum, Col(Tex)) + hl;
  sF32 k = Clamp((std::sqrt(sDot(p - eye, p - eye)) - 95.0f) / 40.0f, 0, 0.95f);
  return c * (1 - k) + Col(Fog) * k;
}

TEST_F(Lit, PointLightsPerPixelWithHighlightFogAndAttenuation)
{
  const MaterialEntry rows[] = {Row(5, 1, 0x03), EndRow()};
  Make(rows);
  const V pos[3] = {V(-10, 5, -30), V(10, -6, -20), V(0, 0, -60)};
  for(sInt i = 0; i < 3; i++) S->MaterialSet->LightSets[0]->Positions[i] = pos[i];
  auto *m = static_cast<ShaderMaterial3 *>(S->MaterialSet->Materials[0]);
  m->Texture[0] = Solid(Tex);
  Form *f = Quad(0, -20, -15, 20, 15);
  const sF32 one[3] = {1, 1, 1};
  for(bool attenuate : {false, true})
  {
    m->AttenuationOption = attenuate;
    m->Prepare(sVertexFormatPosNormUV);
    std::vector<sU32> px = Draw({f});
    // the centre holds the third light's highlight; the others lie off the light axes
    for(auto [x, y] : {std::pair{32, 24}, {12, 14}, {52, 36}, {40, 30}, {5, 5}})
      Expect(px, x, y, Class3(At(x, y), pos, one, attenuate));
  }
}

TEST_F(Lit, ThreeDirectionalLightsPerVertex)
{
  const MaterialEntry rows[] = {Row(4, 1, 0x03), EndRow()};
  Make(rows);
  static_cast<ShaderMaterial2 *>(S->MaterialSet->Materials[0])->Texture[0] = Solid(Tex);
  const LightSet *ls = S->MaterialSet->LightSets[0];
  // three planes: facing the camera, turned about y, and facing the first light exactly
  Form *f[3] = {Quad(0, -4, -4, 4, 4), Quad(0, -4, -4, 4, 4), Quad(0, -4, -4, 4, 4)};
  f[0]->Matrix.l.Init(-11, 0, 0);
  f[1]->Matrix.EulerXYZ(0, 0.8f, 0);
  f[2]->Matrix.LookDir(V(0, 0, 0) - ls->Directions[0]);
  f[2]->Matrix.l.Init(11, 0, 0);
  std::vector<sU32> px = Draw({f[0], f[1], f[2]});
  for(sInt q = 0; q < 3; q++)
  {
    V n = sMulDirMat3x4(V(0, 0, -1), f[q]->Matrix);
    V d = Col(Ambient), s(0, 0, 0);
    for(sInt i = 0; i < 3; i++)
    {
      sF32 dl = std::max(sDot(n, ls->Directions[i]), 0.0f);
      d += Col(Lights[i]) * dl;
      s += Col(Lights[i]) * (0.3f * std::max(9 * dl - 8, 0.0f));
    }
    sInt x = 32 + sInt(f[q]->Matrix.l.x * 2);
    Expect(px, x, 24, Mul(Col(Tex), d) + s);
  }
}

TEST_F(Lit, NormalMappedSurfaceWithFog)
{
  const MaterialEntry rows[] = {Row(13, 5, 0x03, 0, 3), EndRow()};
  Make(rows);
  const V pos[3] = {V(-20, 10, 40), V(15, -5, 30), V(0, 0, 20)};
  for(sInt i = 0; i < 3; i++) S->MaterialSet->LightSets[0]->Positions[i] = pos[i];
  const sU32 normal = 0xffc080ff, detail = 0xff80c0ff, colour = 0xff80c0ff;
  auto *m = static_cast<ShaderMaterial13 *>(S->MaterialSet->Materials[0]);
  m->Texture[0] = Solid(normal);
  m->Texture[1] = Solid(detail);
  m->Texture[2] = Solid(colour);
  Form *f = Quad(0, -20, -15, 20, 15);
  std::vector<sU32> px = Draw({f});

  V tm = Col(normal) - V(0.5f, 0.5f, 0.5f) + Mul(Col(detail) - V(0.5f, 0.5f, 0.5f), V(0.2f, 0.1f, 0.2f));
  tm = Unit(tm);
  V t(1, 0, 0), nn(0, 0, -1), b;
  b.Cross(nn, t);
  V n = Unit(t * tm.x + Unit(b) * tm.y + nn * tm.z);
  for(auto [x, y] : {std::pair{32, 24}, {10, 10}, {50, 40}, {60, 3}})
  {
    V p = At(x, y), eye(0, 0, -100);
    V r = Reflect(Unit(eye - p), n);
    V sum = Col(Ambient), hl(0, 0, 0);
    for(sInt i = 0; i < 3; i++)
    {
      V l = Unit(p - pos[i]);
      sum += Col(Lights[i]) * std::max(sDot(n, l), 0.0f);
      hl += Col(Lights[i]) * Spec(sDot(r, l), 11.0f, 10.0f);
    }
    V c = Mul(sum, Col(colour)) + hl * 0.25f;
    sF32 k = Clamp((std::sqrt(sDot(p - eye, p - eye)) - 95.0f) / 40.0f, 0, 0.95f);
    Expect(px, x, y, c * (1 - k) + Col(Fog) * k);
  }
}

TEST_F(Lit, InstancesLitPerVertex)
{
  const MaterialEntry rows[] = {Row(15, 1, 0x03), EndRow()};
  Make(rows);
  const V pos[3] = {V(-30, 20, -40), V(30, 0, -30), V(0, -30, -50)};
  for(sInt i = 0; i < 3; i++) S->MaterialSet->LightSets[0]->Positions[i] = pos[i];
  static_cast<ShaderMaterial15 *>(S->MaterialSet->Materials[0])->Texture[0] = Solid(Tex);

  // one quad, two instances: placed left, and turned about z and placed right
  class Instances : public Form
  {
  public:
    sMat3x4 Place[2];
    using Form::Form;
    void Draw(sViewport *) override
    {
      const sU32 codes[] = {sVF_POSITION, sVF_NORMAL, sVF_UV0, sVF_UV1 | sVF_F4 | sVF_STREAM1 | sVertexFormatInstanceFlag,
                            sVF_UV2 | sVF_F4 | sVF_STREAM1 | sVertexFormatInstanceFlag,
                            sVF_UV3 | sVF_F4 | sVF_STREAM1 | sVertexFormatInstanceFlag,
                            sVF_UV4 | sVF_F4 | sVF_STREAM1 | sVertexFormatInstanceFlag, 0};
      sVertexFormat *fmt = sCreateVertexFormat(codes);
      sGeometry g(sGF_TRILIST | sGF_INDEX16, fmt);
      sF32 *vp;
      sU16 *ip;
      g.BeginLoadVB(4, sGD_FRAME, (void **)&vp, 0);
      for(sInt c = 0; c < 4; c++)
      {
        sF32 v[8] = {(c == 1 || c == 2) ? 6.0f : -6.0f, c >= 2 ? 6.0f : -6.0f, 0, 0, 0, -1, 0, 0};
        for(sInt i = 0; i < 8; i++) vp[c * 8 + i] = v[i];
      }
      g.EndLoadVB(-1, 0);
      g.BeginLoadVB(2, sGD_FRAME, (void **)&vp, 1);
      for(sInt n = 0; n < 2; n++)
      {
        sTransposedMat3x4 t = sTransposeMat3x4(Place[n]);
        for(sInt r = 0; r < 3; r++) std::memcpy(vp + n * 16 + r * 4, &t.Row[r], 16);
        for(sInt i = 12; i < 16; i++) vp[n * 16 + i] = 0;
      }
      g.EndLoadVB(-1, 1);
      g.BeginLoadIB(6, sGD_FRAME, (void **)&ip);
      const sU16 idx[6] = {0, 1, 2, 0, 2, 3};
      for(sInt i = 0; i < 6; i++) ip[i] = idx[i];
      g.EndLoadIB();
      g.DrawRanges(nullptr, 0, 2);
    }
  };
  Instances *f = sNEW Instances(0);
  S->AddObject(f);
  f->Place[0].l.Init(-9, 0, 0);
  f->Place[1].EulerXYZ(0, 0, 0.5f);
  f->Place[1].l.Init(9, 2, 0);
  std::vector<sU32> px = Draw({f});

  // per-vertex colours, interpolated over the triangle (0, 1, 2) or (0, 2, 3) of a pixel
  for(sInt n = 0; n < 2; n++)
  {
    V colour[4], second[4], corner[4];
    for(sInt c = 0; c < 4; c++)
    {
      V w = sMulPointMat3x4(V((c == 1 || c == 2) ? 6.0f : -6.0f, c >= 2 ? 6.0f : -6.0f, 0), f->Place[n]);
      V nrm = sMulDirMat3x4(V(0, 0, -1), f->Place[n]), eye(0, 0, -100);
      V r = Reflect(Unit(w - eye), nrm), d = Col(Ambient), h(0, 0, 0);
      for(sInt i = 0; i < 3; i++)
      {
        V l = Unit(pos[i] - w);
        d += Col(Lights[i]) * std::max(sDot(nrm, l), 0.0f);
        h += Col(Lights[i]) * (0.5f * std::max(std::max(sDot(r, l), 0.0f) * 11.0f - 10.0f, 0.0f));
      }
      sF32 k = Clamp((std::sqrt(sDot(w - eye, w - eye)) - 95.0f) / 40.0f, 0, 1);
      colour[c] = d * (1 - k);
      second[c] = h * (1 - k) + Col(Fog) * k;
      corner[c] = w;
    }
    for(auto [dx, dy] : {std::pair{0, 0}, {-4, 3}, {5, -4}})
    {
      sInt x = 32 + sInt(f->Place[n].l.x * 2) + dx, y = 24 - sInt(f->Place[n].l.y * 2) + dy;
      V p = At(x, y);
      // barycentric weights in the triangle that holds p
      auto weights = [&](sInt a, sInt b, sInt c, sF32 *wt) {
        V e0 = corner[b] - corner[a], e1 = corner[c] - corner[a], q = p - corner[a];
        sF32 det = e0.x * e1.y - e0.y * e1.x;
        wt[1] = (q.x * e1.y - q.y * e1.x) / det;
        wt[2] = (e0.x * q.y - e0.y * q.x) / det;
        wt[0] = 1 - wt[1] - wt[2];
        return wt[0] >= 0 && wt[1] >= 0 && wt[2] >= 0;
      };
      sF32 wt[3];
      sInt tri[3] = {0, 1, 2};
      if(!weights(0, 1, 2, wt))
      {
        weights(0, 2, 3, wt);
        tri[1] = 2;
        tri[2] = 3;
      }
      V c(0, 0, 0), s(0, 0, 0);
      for(sInt i = 0; i < 3; i++)
      {
        c += colour[tri[i]] * wt[i];
        s += second[tri[i]] * wt[i];
      }
      Expect(px, x, y, Mul(Col(Tex), c) + s);
    }
  }
}

// --- the shadow pre-pass: light i's depth in channel i, and the shadowed floor

TEST_F(Lit, ShadowPrePassFillsTheChannelsAndDarkensTheFloor)
{
  const MaterialEntry rows[] = {Row(5, 1, 0x03), EndRow()};
  Make(rows);
  LightSet *ls = S->MaterialSet->LightSets[0];
  const V dir[3] = {V(0, 0, -1), Unit(V(0.45f, 0, -1)), V(0, 1, 0)};
  for(sInt i = 0; i < 3; i++)
  {
    ls->Directions[i] = dir[i];
    ls->Positions[i] = dir[i] * 50.0f;
  }
  sTexture2D map(64, 64, sTEX_ARGB8888 | sTEX_RENDERTARGET | sTEX_NOMIPMAPS);
  Form *floor = Quad(0, -20, -15, 20, 15);
  floor->ShadowSwitch = 2;
  floor->Shadow = sNEW ShadowSetup;
  floor->Shadow->LightCount = 2;
  floor->Shadow->Distance = 50.0f;
  floor->Shadow->Depth = 100.0f;
  floor->Shadow->Targets[0] = &map;
  Form *caster = Quad(0, -5, -5, 5, 5);
  caster->Matrix.l.Init(0, 0, -20);
  caster->LayerMask = 2;

  BeginFrame();
  S->RenderShadowMaps(floor);
  sRenderTargetSpec read(0, 0, nullptr, &map, nullptr);
  sSetTarget(read);
  const sU8 *data;
  sInt pitch, format;
  sBeginReadScreen(data, pitch, format);
  auto texel = [&](sInt x, sInt y) { return *reinterpret_cast<const sU32 *>(data + y * pitch + x * 4); };
  // each light sees the caster in its own channel at 1 - its depth along the light; the
  // third light is not rendered; the floor is no caster
  const sMat4x4 &light1 = S->AuxViews[1]->MVP;   // last drawn with the caster's placement
  sInt gx = sInt((light1.m[3][0] + 1) * 32), gy = sInt((1 - light1.m[3][1]) * 32);
  EXPECT_NEAR(ChR(texel(32, 32)), 255 * (1 - 30.0f / 100), 2);
  EXPECT_NEAR(ChG(texel(gx, gy)), 255 * (1 - (50 - sDot(V(0, 0, -20), dir[1])) / 100), 2);
  EXPECT_EQ(ChB(texel(32, 32)), 0);
  EXPECT_EQ(texel(2, 2) & 0xffffff, 0u);
  sEndReadScreen();
  sRender3DEnd(0);

  auto *m = static_cast<ShaderMaterial3 *>(S->MaterialSet->Materials[0]);
  m->Texture[0] = Solid(Tex);
  m->Texture[1] = &map;
  m->Prepare(sVertexFormatPosNormUV);
  BeginFrame();
  S->RenderForm(&View, floor, 0);
  std::vector<sU32> px = EndFrame();
  // a floor point is shadowed by light i when its ray towards the light meets the caster
  for(auto [x, y] : {std::pair{16, 24}, {28, 24}, {36, 24}, {6, 6}, {32, 44}})
  {
    V p = At(x, y);
    sF32 factor[3];
    for(sInt i = 0; i < 3; i++)
    {
      V q = p + dir[i] * (i < 2 ? -20.0f / dir[i].z : 0.0f);
      factor[i] = (i < 2 && std::fabs(q.x) < 5 && std::fabs(q.y) < 5) ? 0.3f : 1.0f;
    }
    Expect(px, x, y, Class3(p, ls->Positions, factor, false));
  }
  m->Texture[1] = nullptr;
}
}  // namespace

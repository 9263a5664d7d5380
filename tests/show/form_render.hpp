#pragma once
// Forms drawn for real: a pixel-orthographic view over the 64 x 48 test screen, the form
// placed by a matrix, white on black through a plain material; and the vertex records
// the forms write, read back through their writers.

#include "graphics/materials.hpp"
#include "graphics/render_fixture.hpp"
#include "show/forms.hpp"
#include "tools/shaderasm/asm.hpp"

#include <functional>
#include <string>
#include <vector>

class FormTest : public RenderTest
{
public:
  // Draws the form in one frame (`passes` times, as the scene's passes do) and returns the
  // screen. The vertex constants at slot 0 are the view constants, or `regs` registers
  // that fill writes (zero first).
  using Fill = std::function<void(sVec4 *regs, const sViewport &vp)>;
  static std::vector<sU32> Draw(Form &form, sMaterial &mtrl, sVertexFormat *format, const sMat3x4 &place,
                                sInt regs = sVIEWCONSTANTS_REGS, const Fill &fill = {}, sInt passes = 1)
  {
    BeginFrame();
    sViewport vp;
    vp.Orthogonal = sVO_PIXELS;
    vp.SetTarget(nullptr);
    vp.Model = place;
    vp.Prepare(15);
    sCBuffer cb(sCBUFFER_VS + 0, 0, regs);
    std::memset(cb.Data, 0, size_t(regs) * 16);
    if(fill) fill(cb.Regs(), vp);
    else sSetViewConstants(static_cast<sViewConstants *>(cb.Data), vp);
    cb.Modify();
    mtrl.S.Flags = sMTRL_ZOFF | sMTRL_CULLOFF;
    mtrl.Prepare(format);
    sCBufferBase *cbs[1] = {&cb};
    mtrl.Set(cbs, 1, 0);
    for(sInt p = 0; p < passes; p++) form.Draw(&vp);
    return EndFrame();
  }
  static std::vector<sU32> Draw(Form &form, sVertexFormat *format, const sMat3x4 &place)
  {
    sSimpleMaterial m;
    return Draw(form, m, format, place);
  }
  // Placement: unit x and y become `scale` pixels around the pixel (cx, cy), z lands in 0..1.
  static sMat3x4 Place(sF32 scale, sF32 cx, sF32 cy)
  {
    sMat3x4 m;
    m.i.Init(scale, 0, 0);
    m.j.Init(0, scale, 0);
    m.k.Init(0, 0, 0.01f);
    m.l.Init(cx, cy, 0.5f);
    return m;
  }
  static bool Lit(sU32 c) { return ChR(c) > 128 && ChG(c) > 128 && ChB(c) > 128; }
  // Fails on pixels whose centre the predicate puts inside but are dark, and on lit pixels
  // it puts outside; pixels where it is unsure (near an edge) are skipped.
  template <class F> static void ExpectCovers(const std::vector<sU32> &px, F &&inside)
  {
    sInt missing = 0, stray = 0;
    std::string pic;
    for(sInt y = 0; y < H; y++)
      for(sInt x = 0; x < W; x++)
      {
        sInt in = inside(x + 0.5f, y + 0.5f);   // 2 inside, 1 unsure, 0 outside (so max is the union)
        bool lit = Lit(px[size_t(y * W + x)]);
        if(in == 2 && !lit) missing++;
        if(in == 0 && lit) stray++;
        pic += lit ? (in == 0 ? '!' : '#') : (in == 2 ? '?' : '.');
        if(x == W - 1) pic += '\n';
      }
    // the picture of a failed comparison: '?' missing, '!' stray
    if(missing + stray) ADD_FAILURE() << missing << " missing, " << stray << " stray\n" << pic;
  }
};

// Inside a pixel rectangle, with a one-pixel unsure border.
inline auto Rect(sF32 x0, sF32 y0, sF32 x1, sF32 y1)
{
  return [=](sF32 x, sF32 y) {
    if(x > x0 + 1 && x < x1 - 1 && y > y0 + 1 && y < y1 - 1) return 2;
    return (x < x0 - 1 || x > x1 + 1 || y < y0 - 1 || y > y1 + 1) ? 0 : 1;
  };
}

inline sF32 Len(const sVec3 &v) { return std::sqrt(sDot(v, v)); }

// A material of the given vertex program (token words) whose pixel program passes the
// vertex colour on.
class CodeMaterial : public sMaterial
{
public:
  std::vector<uint32_t> VS, PS = Asm("ps_2_0\ndcl v0\nmov oC0, v0\n");
  explicit CodeMaterial(std::vector<uint32_t> vs) : VS(std::move(vs)) {}
  void SelectShaders(sVertexFormat *) override
  {
    VertexShader = sCreateShader(sSTF_VERTEX | sSTF_HLSL23, reinterpret_cast<const sU8 *>(VS.data()), sInt(VS.size() * 4));
    PixelShader = sCreateShader(sSTF_PIXEL | sSTF_HLSL23, reinterpret_cast<const sU8 *>(PS.data()), sInt(PS.size() * 4));
  }
  static std::vector<uint32_t> Asm(const std::string &text)
  {
    shaderasm::Result r = shaderasm::Assemble(text, "test", {});
    EXPECT_TRUE(r.Ok) << r.Error;
    return r.Code;
  }
};

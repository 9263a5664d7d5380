// The show's material classes: every option and texture combination gets a pair of
// programs that the device takes and whose stages fit.

#include "graphics/shader.hpp"
#include "platform/shader/shader.hpp"
#include "render_fixture.hpp"

#include <map>
#include <memory>

namespace
{
sTexture2D *Tex = nullptr;   // any texture: selection only asks whether a slot holds one

using Knob = void (*)(sMaterial *, bool);
template <sInt Slot> void SetTex(sMaterial *m, bool on) { m->Texture[Slot] = on ? Tex : nullptr; }
// options are set to a value other than 1: they count only as set or not
#define OPT(Cls, Field) [](sMaterial *m, bool on) { static_cast<Cls *>(m)->Field = on ? 7 : 0; }
#define OPT1(I) [](sMaterial *m, bool on) { static_cast<ShaderMaterial1 *>(m)->Options[I] = on ? 7 : 0; }

struct ClassCase
{
  const char *Name;
  sMaterial *(*Make)();
  std::vector<Knob> Knobs;
};
template <class T> sMaterial *Make() { return new T; }

const std::vector<ClassCase> &Classes()
{
  static const std::vector<ClassCase> all = {
      {"1", Make<ShaderMaterial1>,
       {OPT1(0), OPT1(1), OPT1(2), OPT1(3), OPT1(4), OPT1(5), OPT1(6), OPT1(7), OPT1(8), SetTex<0>, SetTex<1>}},
      {"2", Make<ShaderMaterial2>, {SetTex<1>, SetTex<2>, SetTex<3>}},
      {"3", Make<ShaderMaterial3>,
       {OPT(ShaderMaterial3, AttenuationOption), OPT(ShaderMaterial3, EnvironmentMapOption),
        OPT(ShaderMaterial3, ReflectionLayerOption), SetTex<1>, SetTex<2>, SetTex<3>}},
      {"4", Make<ShaderMaterial4>, {OPT(ShaderMaterial4, HeightGradientOption)}},
      {"5", Make<ShaderMaterial5>, {}},
      {"6", Make<ShaderMaterial6>,
       {OPT(ShaderMaterial6, DistanceFadeOption), OPT(ShaderMaterial6, DepthOption), OPT(ShaderMaterial6, SoftOption)}},
      {"7", Make<ShaderMaterial7>,
       {OPT(ShaderMaterial7, HueOption), OPT(ShaderMaterial7, ColorizeOption), OPT(ShaderMaterial7, TextureAlphaOption),
        [](sMaterial *m, bool on) { m->S.BlendColor = on ? 0x20102 : 0x60105; }}},
      {"8", Make<ShaderMaterial8>, {}},
      {"9", Make<ShaderMaterial9>, {}},
      {"10", Make<ShaderMaterial10>, {}},
      {"11", Make<ShaderMaterial11>, {OPT(ShaderMaterial11, EdgeOption)}},
      {"12", Make<ShaderMaterial12>, {}},
      {"13", Make<ShaderMaterial13>, {SetTex<3>}},
      {"14", Make<ShaderMaterial14>,
       {OPT(ShaderMaterial14, MaskOption), OPT(ShaderMaterial14, SecondUvOption), OPT(ShaderMaterial14, RedHeightOption)}},
      {"15", Make<ShaderMaterial15>, {}},
  };
  return all;
}

class ShaderClasses : public RenderTest
{
protected:
  void SetUp() override
  {
    RenderTest::SetUp();
    const sU32 white = 0xffffffff;
    Tex = sNEW sTexture2D(1, 1, sTEX_2D | sTEX_ARGB8888 | sTEX_NOMIPMAPS, 1);
    Tex->LoadAll(reinterpret_cast<const sU8 *>(&white));
  }
  void TearDown() override { sDelete(Tex); }

  static const plat::shader::ShaderInfo &Info(const sShader *sh)
  {
    static std::map<std::vector<sU8>, plat::shader::ShaderInfo> parsed;
    sU32 bytes;
    std::memcpy(&bytes, sh->Blob + 4, 4);
    std::vector<sU8> code(sh->Blob + 8, sh->Blob + 8 + bytes);
    auto it = parsed.find(code);
    if(it == parsed.end())
    {
      plat::shader::ShaderInfo info{};
      std::string error;
      EXPECT_TRUE(plat::shader::Parse(reinterpret_cast<const uint32_t *>(code.data()), bytes / 4, info, error)) << error;
      it = parsed.emplace(code, info).first;
    }
    return it->second;
  }
};

TEST_F(ShaderClasses, EveryCombinationSelectsAPairOfProgramsThatFit)
{
  for(const ClassCase &c : Classes())
    for(sU32 bits = 0; bits < (1u << c.Knobs.size()); bits++)
    {
      SCOPED_TRACE(std::string("class ") + c.Name + ", knobs " + std::to_string(bits));
      // the class with the knobs of the set bits turned on, prepared
      std::unique_ptr<sMaterial> m(c.Make());
      for(size_t k = 0; k < c.Knobs.size(); k++) c.Knobs[k](m.get(), (bits >> k) & 1);
      m->Prepare(sVertexFormatTangent);
      ASSERT_TRUE(m->VertexShader && m->PixelShader);
      ASSERT_TRUE(m->VertexShader->CheckKind(sSTF_VERTEX) && m->PixelShader->CheckKind(sSTF_PIXEL));
      EXPECT_TRUE(m->VertexShader->Handle && m->PixelShader->Handle) << "refused by the device";
      // the pixel stage reads nothing the vertex stage leaves unwritten
      const auto &vs = Info(m->VertexShader), &ps = Info(m->PixelShader);
      for(const auto &in : ps.Inputs)
      {
        bool written = false;
        for(const auto &out : vs.Outputs) written |= out.Usage == in.Sem.Usage && out.UsageIndex == in.Sem.UsageIndex;
        EXPECT_TRUE(written) << "usage " << int(in.Sem.Usage) << " index " << int(in.Sem.UsageIndex);
      }
    }
}

}

#include "runner.hpp"

#include "common/gl_harness.hpp"

namespace shaderrun {

Result Draw(const uint32_t *vs, size_t vsWords, const uint32_t *ps, size_t psWords, const Setup &setup) {
  shtest::DrawSetup draw;
  draw.VSConst = setup.VSConst;
  draw.PSConst = setup.PSConst;
  draw.Width = setup.Width;
  draw.Height = setup.Height;
  for (float &c : draw.Clear) c = -9.0f;
  for (const auto &[sem, corners] : setup.Attributes) {
    shtest::Attribute a;
    a.Sem.Usage = uint8_t(sem.first);
    a.Sem.UsageIndex = uint8_t(sem.second);
    for (const Vec4 &v : corners) a.Values.insert(a.Values.end(), v.begin(), v.end());
    draw.Attributes.push_back(std::move(a));
  }
  for (const Texture &t : setup.Textures) {
    shtest::Texture tex;
    tex.Type = t.Cube ? shtest::Texture::Cube : shtest::Texture::Tex2D;
    tex.Unit = t.Unit;
    tex.Width = t.Width;
    tex.Height = t.Height;
    for (const Vec4 &v : t.Texels) tex.Texels.insert(tex.Texels.end(), v.begin(), v.end());
    draw.Textures.push_back(std::move(tex));
  }

  shtest::DrawResult drawn =
      shtest::Draw(std::vector<uint32_t>(vs, vs + vsWords), std::vector<uint32_t>(ps, ps + psWords), draw);
  Result res;
  res.Ok = drawn.Ok;
  res.Error = drawn.Error;
  if (drawn.Ok) {
    const std::vector<float> &c = drawn.Colors[0];
    res.Pixels.resize(c.size() / 4);
    for (size_t i = 0; i < res.Pixels.size(); i++)
      for (size_t k = 0; k < 4; k++) res.Pixels[i][k] = c[i * 4 + k];
  }
  return res;
}

}  // namespace shaderrun

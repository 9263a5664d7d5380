// Seeded mutation runs over the model cache reader and the Collada importer: whatever
// the input, it is refused or loaded, and what loads is consistent enough to build.

#include "model_util.hpp"
#include "show/tmdata.hpp"

#include "common/capture.hpp"
#include "common/files.hpp"
#include "common/mutator.hpp"
#include "common/temp_dir.hpp"

#include <gtest/gtest.h>

using namespace modeltest;

namespace
{
// Loads runs mutated copies of the seed (20,000 unless SPARK_FUZZ_RUNS says otherwise).
// A refused input leaves the model empty; a model that loaded must build: every mesh
// passes its checks and gives its vertices. Returns how many loaded.
template <class Load>
int Fuzz(const std::vector<uint8_t> &seed, const std::vector<uint8_t> &dictionary, uint64_t salt, Load load)
{
  int runs = sparktest::FuzzRuns(20000), loaded = 0;
  sparktest::Mutator mut(salt);
  for(int i = 0; i < runs && !testing::Test::HasFailure(); i++)
  {
    MemoryInput::Get()->Bytes = mut.Mutate(seed, dictionary);
    TextureEntry tex[4] = {};
    MaterialEntry mtrl[4] = {{sTMD_ENDKIND, 0, 0, 0, 0, {}, {}}};
    Model m(nullptr, tex, mtrl);
    if(!load(m))
    {
      EXPECT_EQ(m.MeshCount, 0) << "run " << i;
      continue;
    }
    loaded++;
    for(sInt k = 0; k < m.MeshCount; k++)
    {
      const RawMesh &r = *m.Meshes[k];
      EXPECT_EQ(r.Check(), nullptr) << "run " << i;
      if(r.Check()) return loaded;
      std::vector<sF32> v(8 * size_t(r.OptimizedNumber) + 1);
      std::vector<sU16> idx(size_t(r.GetIndexCount()) + 1);
      EXPECT_EQ(r.BuildVertices(v.data(), idx.data()), r.OptimizedNumber);
    }
    for(sInt e = 0; e < m.EffectCount; e++)
      EXPECT_TRUE(m.EffectTextures[e] >= -1 && m.EffectTextures[e] < m.ImageCount);
  }
  return loaded;
}

const char Dae[] =
  "<?xml version=\"1.0\"?><COLLADA><asset><authoring_tool>Autodesk Softimage</authoring_tool></asset>"
  "<library_images><image id=\"i\"><init_from>C:\\t\\a.png</init_from></image></library_images>"
  "<library_effects><effect id=\"e\"><newparam><surface><init_from>i</init_from></surface></newparam></effect>"
  "</library_effects><library_materials><material id=\"m\"><instance_effect url=\"#e\"/></material>"
  "</library_materials><library_geometries><geometry id=\"g\"><mesh>"
  "<source><float_array id=\"g-Pos-array\" count=\"12\">0 0 0 1 0 0 1 1 0 0 1.5 -2e-1</float_array></source>"
  "<source><float_array id=\"g-XSINormal-array\" count=\"3\">0 0 1</float_array></source>"
  "<source><float_array id=\"g-Texture_Projection-array\" count=\"4\">0 0 1 1</float_array></source>"
  "<vertices id=\"v\"/><triangles count=\"2\"><input semantic=\"VERTEX\" offset=\"0\"/>"
  "<input semantic=\"NORMAL\" offset=\"1\"/><input semantic=\"TEXCOORD\" offset=\"2\" set=\"0\"/>"
  "<p>0 0 0 1 0 1 2 0 1 0 0 0 2 0 1 3 0 0</p></triangles></mesh></geometry></library_geometries>"
  "<library_visual_scenes><visual_scene><node><instance_geometry url=\"#g\"><instance_material target=\"#m\"/>"
  "</instance_geometry></node></visual_scene></library_visual_scenes></COLLADA>";
}  // namespace

TEST(ModelFuzz, MutatedCachesAreRefusedOrBuildable)
{
  sparktest::TempDir dir;
  sparktest::DebugCapture quiet;
  Model seed(nullptr);
  MakeModel(seed);
  ASSERT_TRUE(seed.SavePet(dir.Name("s.pet").c_str()));
  const std::vector<uint8_t> bytes = sparktest::ReadFile<std::vector<uint8_t>>(dir.Name8("s.pet"));

  EXPECT_GT(Fuzz(bytes, bytes, 1606, [](Model &m) { return m.LoadPet(u"mem:input"); }), 0);
}

TEST(ModelFuzz, MutatedColladaTextsAreRefusedOrBuildable)
{
  sparktest::DebugCapture quiet;
  const std::vector<uint8_t> seed(Dae, Dae + sizeof(Dae) - 1);
  const std::string words = "<p> </p> /> <input semantic=\"TEXCOORD\" offset=\"7\" count=\"-1\" 65535 "
                            "<polylist> <effect id=\"x\"> #m library_materials 1e30 <!-- --> \"";
  const std::vector<uint8_t> dictionary(words.begin(), words.end());
  // the rows of the model's tables too
  EXPECT_GT(Fuzz(seed, dictionary, 2026, [](Model &m) {
              m.OwnTables = 1;
              return m.LoadCollada(u"mem:input");
            }),
            0);
}

// Seeded mutation runs over the model cache reader and the Collada importer: whatever
// the input, it is refused or loaded, and what loads is consistent enough to build.
// SPARK_FUZZ_RUNS changes the number of inputs.

#include "model_util.hpp"
#include "show/tmdata.hpp"
#include "util/util_helpers.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using namespace modeltest;

namespace
{
int Runs()
{
  const char *env = getenv("SPARK_FUZZ_RUNS");
  int n = env ? atoi(env) : 0;
  return n > 0 ? n : 20000;
}

// A model that loaded must build: every mesh passes its checks and gives its vertices.
void ExpectBuildable(const Model &m)
{
  for(sInt i = 0; i < m.MeshCount; i++)
  {
    const RawMesh &r = *m.Meshes[i];
    const sChar *why = r.Check();
    ASSERT_EQ(why, nullptr);
    std::vector<sF32> v(8 * size_t(r.OptimizedNumber) + 1);
    std::vector<sU16> idx(size_t(r.GetIndexCount()) + 1);
    EXPECT_EQ(r.BuildVertices(v.data(), idx.data()), r.OptimizedNumber);
  }
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
  testutil::TempDir dir;
  testutil::CaptureOutput quiet;
  Model seed(nullptr);
  seed.AllocLists(2, 2, 2, 2);
  seed.SetImageFile(0, u"a.png");
  seed.SetImageFile(1, u"maps/b.png");
  seed.EffectTextures[0] = 1;
  FillMesh(*seed.Meshes[0], {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0}, {0, 0, 1}, {0, 0, 1, 1},
           {0, 1, 2, 3, 0, 2, 1}, {0, 0, 0, 0, 0, 0, 0}, {0, 1, 1, 0, 0, 1, 1}, {4, 3}, 1);
  FillMesh(*seed.Meshes[1], {0, 0, 0, 1, 0, 0, 1, 1, 0}, {}, {}, {0, 1, 2, 2, 1, 0}, {}, {}, {}, 2);
  ASSERT_TRUE(seed.SavePet(dir.File("s.pet").c_str()));
  const std::vector<uint8_t> bytes = testutil::ReadBytes(dir.File8("s.pet"));

  testutil::Mutator mut(1606);
  int loaded = 0, runs = Runs();
  for(int i = 0; i < runs; i++)
  {
    MemoryInput::Get()->Bytes = mut.Mutate(bytes, bytes);
    Model m(nullptr);
    if(m.LoadPet(u"mem:input"))
    {
      loaded++;
      ExpectBuildable(m);
    }
    else
    {
      ExpectEmpty(m);
    }
    if(HasFailure()) FAIL() << "run " << i;
  }
  EXPECT_GT(loaded, 0);
}

TEST(ModelFuzz, MutatedColladaTextsAreRefusedOrBuildable)
{
  testutil::CaptureOutput quiet;
  const std::vector<uint8_t> seed(Dae, Dae + sizeof(Dae) - 1);
  const std::string words = "<p> </p> /> <input semantic=\"TEXCOORD\" offset=\"7\" count=\"-1\" 65535 "
                            "<polylist> <effect id=\"x\"> #m library_materials 1e30 <!-- --> \"";
  const std::vector<uint8_t> dictionary(words.begin(), words.end());
  TextureEntry tex[4] = {};
  MaterialEntry mtrl[4] = {};
  testutil::Mutator mut(2026);
  int loaded = 0, runs = Runs();
  for(int i = 0; i < runs; i++)
  {
    MemoryInput::Get()->Bytes = mut.Mutate(seed, dictionary);
    tex[0] = TextureEntry{};
    mtrl[0].Kind = sTMD_ENDKIND;
    Model m(nullptr, tex, mtrl);
    m.OwnTables = 1;
    if(m.LoadCollada(u"mem:input"))
    {
      loaded++;
      ExpectBuildable(m);
      for(sInt e = 0; e < m.EffectCount; e++) EXPECT_TRUE(m.EffectTextures[e] >= -1 && m.EffectTextures[e] < m.ImageCount);
    }
    else
    {
      ExpectEmpty(m);
    }
    if(HasFailure()) FAIL() << "run " << i;
  }
  EXPECT_GT(loaded, 0);
}

// The Collada importer: files written by an independent writer (pycollada, driven by
// model_collada_gen.py), and texts that exercise the importer's refusals.

#include "model_util.hpp"
#include "show/tmdata.hpp"

#include "common/capture.hpp"
#include "common/temp_dir.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using namespace modeltest;

namespace
{
// The generated files, made once per run into a folder that lives until the end.
const sparktest::TempDir &Generated()
{
  static sparktest::TempDir dir;
  static bool made = [] {
    const std::string script = std::string(SHOW_TEST_SOURCE_DIR) + "/model_collada_gen.py";
    return std::system(("/usr/bin/python3 " + script + " " + dir.Path).c_str()) == 0;
  }();
  EXPECT_TRUE(made) << "the Collada writer script failed";
  return dir;
}

sInt LoadText(Model &m, const std::string &text)
{
  MemoryInput::Get()->Bytes.assign(text.begin(), text.end());
  return m.LoadCollada(u"mem:input");
}

const char *const Head = "<?xml version=\"1.0\"?><COLLADA><asset><authoring_tool>Autodesk Softimage 7</authoring_tool>"
                         "</asset>";
// A geometry g of tris triangles; inputs, index list and positions as given.
std::string Geometry(const std::string &inputs, const std::string &p, const std::string &pos = "0 0 0 1 0 0 0 1 0",
                     sInt count = 9, sInt tris = 1)
{
  return "<library_geometries><geometry id=\"g\"><mesh><source><float_array id=\"g-Pos-array\" count=\"" +
         std::to_string(count) + "\">" + pos + "</float_array></source><vertices id=\"v\"/><triangles count=\"" +
         std::to_string(tris) + "\">" + inputs + "<p>" + p + "</p></triangles></mesh></geometry></library_geometries>";
}
const char *const Vertex = "<input semantic=\"VERTEX\" offset=\"0\"/>";
}  // namespace

TEST(ModelCollada, SoftimageFileFromAnIndependentWriter)
{
  sparktest::DebugCapture log;
  std::u16string folder = Generated().Name("");
  TextureEntry tex[8] = {};
  MaterialEntry mtrl[8] = {{sTMD_ENDKIND, 0, 0, 0, 0, {}, {}}};
  Model m(nullptr, tex, mtrl);
  pImportObject(&m, u"soft.dae", folder.c_str(), 1, 0, -1);
  EXPECT_EQ(m.Names.Tool, sCOLLADA_SOFTIMAGE);
  ASSERT_EQ(m.MeshCount, 3) << log.Text();
  ASSERT_EQ(m.ImageCount, 2);
  EXPECT_EQ(std::u16string(m.ImageFiles[0]), folder + u"wood.png");   // the file part, in the folder
  EXPECT_EQ(std::u16string(m.ImageFiles[1]), folder + u"rock.png");
  // mat0 shows fx0 (rock), mat1 fx1 (wood); rows for both effects, then the end row
  EXPECT_EQ((Ints{m.MaterialCount, m.EffectCount, m.EffectTextures[0], m.EffectTextures[1]}), (Ints{2, 2, 1, 0}));
  EXPECT_EQ((Ints{mtrl[0].TextureIndex[0], mtrl[1].TextureIndex[0], mtrl[2].Kind}), (Ints{1, 0, sTMD_ENDKIND}));
  // the header words: counts, triangles, corners, material (the quad mat1, the triangle
  // mat0, the bare mesh none), flags, vertices
  const RawMesh &quad = *m.Meshes[0], &tri = *m.Meshes[1], &bare = *m.Meshes[2];
  EXPECT_EQ(Ints(&quad.VertexCount, &quad.VertexCount + 11), (Ints{4, 1, 4, 0, 0, 2, 0, 6, 1, 7, 4}));
  EXPECT_EQ(Ints(&tri.VertexCount, &tri.VertexCount + 11), (Ints{3, 2, 3, 2, 0, 1, 0, 3, 0, 7, 3}));
  EXPECT_EQ(Ints(&bare.VertexCount, &bare.VertexCount + 11), (Ints{3, 0, 0, 0, 0, 1, 0, 3, 2, 1, 3}));
  EXPECT_EQ(quad.Positions[7], 1.0f);

  // the triangle interleaves a colour input; its second uv set is not the mesh's
  sF32 v[3 * 8];
  sU16 idx[3];
  tri.BuildVertices(v, idx);
  EXPECT_EQ(Floats(v, v + 24), (Floats{5, 0, 0, 0, 1, 0, 0, 1, 6, 0, 0, 1, 0, 0, 1, 1, 5, 2, 0, 1, 0, 0, 0, 0}));
  EXPECT_EQ(sparktest::CountOf(log.Text(), "no normal array found in: bare"), 1u);

  // the import wrote a cache beside the file that reads back the same
  Model cached(nullptr);
  ASSERT_TRUE(cached.LoadPet(Generated().Name("soft.pet").c_str()));
  ASSERT_EQ(cached.MeshCount, 3);
  for(sInt i = 0; i < 3; i++) ExpectSameMesh(*m.Meshes[i], *cached.Meshes[i]);
  EXPECT_EQ(cached.EffectTextures[0], 1);
}

TEST(ModelCollada, MayaFileReadsNoImagesOrEffects)
{
  sparktest::DebugCapture quiet;
  Model m(nullptr);
  ASSERT_TRUE(m.LoadCollada(Generated().Name("maya.dae").c_str()));
  EXPECT_EQ(m.Names.Tool, sCOLLADA_MAYA);
  EXPECT_EQ((Ints{m.ImageCount, m.EffectCount, m.MaterialCount, m.MeshCount}), (Ints{0, 0, 1, 1}));
  const RawMesh &r = *m.Meshes[0];
  EXPECT_EQ(Ints(&r.VertexCount, &r.VertexCount + 11), (Ints{3, 3, 3, 0, 0, 1, 0, 3, 0, 7, 3}));
  EXPECT_EQ(Floats(r.Positions, r.Positions + 9), (Floats{0, 0, 0, 0, 3, 0, 3, 0, 0}));
  EXPECT_EQ((Ints{r.NormalIndex[2], r.UVIndex[2]}), (Ints{2, 2}));   // normals share the positions' slot
}

struct DaeCase
{
  const char *Name;
  std::string Text;
  const char *Message;              // the refusal's message; null when the import succeeds
  void (*Check)(const Model &m);    // what a successful import gives
};

TEST(ModelCollada, RefusedAndAcceptedTexts)
{
  const std::string effects = "<library_images><image id=\"i\"><init_from>x.png</init_from></image></library_images>"
                              "<library_effects><effect id=\"e\"><init_from>i</init_from></effect><effect id=\"f\">"
                              "<init_from>none</init_from></effect><effect id=\"h\"><init_from>i</init_from></effect>"
                              "</library_effects>";
  std::string sevenInputs = Vertex;
  for(int i = 1; i < 7; i++) sevenInputs += "<input semantic=\"TEXCOORD\" offset=\"" + std::to_string(i) + "\"/>";
  std::string manyPos, manyIdx;   // 65538 distinct corners
  for(sInt i = 0; i < 65538; i++)
  {
    manyPos += std::to_string(i) + " 0 0 ";
    manyIdx += std::to_string(i) + " ";
  }
  const DaeCase cases[] = {
    {"tool", "<COLLADA><authoring_tool>Blender</authoring_tool>" + Geometry(Vertex, "0 1 2"), "unknown format",
     nullptr},
    {"notool", std::string("<COLLADA>") + Geometry(Vertex, "0 1 2"), "unknown format", nullptr},
    {"polylist", Head + std::string("<library_geometries><geometry id=\"g\"><float_array id=\"g-Pos-array\" "
                                    "count=\"3\">0 0 0</float_array><vertices/><polylist count=\"1\"/></geometry>"),
     "only triangles", nullptr},
    {"nopositions", Head + std::string("<library_geometries><geometry id=\"g\"><vertices/></geometry>"),
     "no vertex array found in: g", nullptr},
    {"noinput", Head + Geometry("<input semantic=\"NORMAL\" offset=\"0\"/>", "0 1 2"), "unknown triangle index",
     nullptr},
    {"seveninputs", Head + Geometry(sevenInputs, "0 0 0 0 0 0 0 1 1 1 1 1 1 1 2 2 2 2 2 2 2"),
     "unknown triangle index structure. indexcount:7", nullptr},
    {"index", Head + Geometry(Vertex, "0 1 3"), "bad triangle index", nullptr},
    {"short", Head + Geometry(Vertex, "0 1"), "bad", nullptr},
    {"count", Head + Geometry(Vertex, "0 1 2", "0 0 0 1 0 0 0 1 0", 999999999), "bad array count", nullptr},
    {"16bit", Head + Geometry(Vertex, manyIdx, manyPos, 3 * 65538, 65538 / 3), "more than 16-bit indices", nullptr},
    {"noeffect", Head + std::string("<library_effects><effect id=\"e\"><p/></effect></library_effects>"),
     "no texture in effect found. effect: e", nullptr},
    {"unknowneffect", Head + effects + "<library_materials><material id=\"m\"><instance_effect url=\"#x\"/>"
                                       "</material></library_materials>",
     "effect in material not found. effect:x, material:m", nullptr},
    // a stray character in a tag does not spoil the number lists after it
    {"stray", Head + std::string("<extra @/>") + Geometry(Vertex, "0 1 2"), nullptr,
     [](const Model &m) { EXPECT_EQ(m.MeshCount, 1); }},
    // self-closing materials count once each
    {"selfclosing", "<COLLADA><authoring_tool>Maya7.0 | ColladaMaya v3.05B</authoring_tool><library_materials>"
                    "<material id=\"a\"/><material id=\"b\"/></library_materials>",
     nullptr, [](const Model &m) { EXPECT_EQ(m.MaterialCount, 2); }},
    // the effect slot past the two materials gets no texture instead of a material
    {"pastmaterials", Head + effects + "<library_materials><material id=\"m\"><instance_effect url=\"#e\"/>"
                                       "</material><material id=\"n\"><instance_effect url=\"#f\"/></material>"
                                       "</library_materials>",
     nullptr, [](const Model &m) { EXPECT_EQ(Ints(m.EffectTextures, m.EffectTextures + 3), (Ints{0, -1, -1})); }},
    // an unknown input takes its slot: the colour indices between positions are skipped
    {"interleaved", Head + Geometry(std::string(Vertex) + "<input semantic=\"COLOR\" offset=\"1\"/>", "0 7 1 7 2 7"),
     nullptr, [](const Model &m) { EXPECT_EQ(Ints(m.Meshes[0]->PositionIndex, m.Meshes[0]->PositionIndex + 3),
                                             (Ints{0, 1, 2})); }},
  };
  for(const DaeCase &c : cases)
  {
    SCOPED_TRACE(c.Name);
    sparktest::DebugCapture log;
    Model m(nullptr);
    sInt ok = LoadText(m, c.Text);
    if(!c.Message)
    {
      ASSERT_TRUE(ok) << log.Text();
      c.Check(m);
      continue;
    }
    EXPECT_FALSE(ok);
    ExpectEmpty(m);
    EXPECT_NE(log.Text().find(c.Message), std::string::npos) << log.Text();
    EXPECT_NE(log.Text().find("mem:input refused"), std::string::npos);
  }
}

TEST(ModelCollada, MayaMeshesBoundCrosswiseKeepTheirMaterialsAndTakeTheEndRow)
{
  // two materials and no effects: the import appends no rows; the model and its cache keep
  // the indices read, and the mesh bound to the second material, past the model's rows,
  // makes its form with the end row
  sparktest::DebugCapture log;
  TextureEntry tex[2] = {};
  MaterialEntry mtrl[4] = {{0, 1, 0, 0, 0, {}, {}}, {sTMD_ENDKIND, 0, 0, 0, 0, {}, {}}};
  Model m(nullptr, tex, mtrl);
  pImportObject(&m, u"cross.dae", Generated().Name("").c_str(), 1, 0, -1);
  ASSERT_EQ((Ints{m.MaterialCount, m.EffectCount, m.MeshCount}), (Ints{2, 0, 2})) << log.Text();
  Model cached(nullptr);
  ASSERT_TRUE(cached.LoadPet(Generated().Name("cross.pet").c_str()));
  ASSERT_EQ(cached.MeshCount, 2);
  for(const Model *k : {&m, &cached})
    EXPECT_EQ((Ints{k->Meshes[0]->MaterialIndex, k->Meshes[1]->MaterialIndex}), (Ints{1, 0}));
  EXPECT_EQ((Ints{m.MeshRow(0), m.MeshRow(1)}), (Ints{1, 1})) << "the forms' rows: the end row";
  EXPECT_EQ(mtrl[1].Kind, sTMD_ENDKIND);
  EXPECT_EQ(sparktest::CountOf(log.Text(), "names material 1"), 1u) << log.Text();
}

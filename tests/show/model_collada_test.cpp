// The Collada importer: files written by an independent writer (pycollada, driven by
// model_collada_gen.py), and texts that exercise the importer's refusals.

#include "model_util.hpp"
#include "show/tmdata.hpp"
#include "util/util_helpers.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using namespace modeltest;

namespace
{
// The generated files, made once per run into a folder that lives until the end.
const testutil::TempDir &Generated()
{
  static testutil::TempDir dir;
  static bool made = [] {
    std::string script = std::string(__FILE__).substr(0, std::string(__FILE__).rfind('/')) + "/model_collada_gen.py";
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
// A geometry g of one triangle; inputs and index list as given.
std::string Geometry(const std::string &inputs, const std::string &p, const std::string &extra = "")
{
  return "<library_geometries><geometry id=\"g\"><mesh><source><float_array id=\"g-Pos-array\" count=\"9\">"
         "0 0 0 1 0 0 0 1 0</float_array></source>" + extra + "<vertices id=\"v\"/><triangles count=\"1\">" +
         inputs + "<p>" + p + "</p></triangles></mesh></geometry></library_geometries>";
}
const char *const Vertex = "<input semantic=\"VERTEX\" offset=\"0\"/>";
}  // namespace

TEST(ModelCollada, SoftimageFileFromAnIndependentWriter)
{
  testutil::CaptureOutput log;
  std::u16string folder = Generated().File("");
  TextureEntry tex[8] = {};
  MaterialEntry mtrl[8] = {{sTMD_ENDKIND, 0, 0, 0, 0, {}, {}}};
  Model m(nullptr, tex, mtrl);
  pImportObject(&m, u"soft.dae", folder.c_str(), 1, 0, -1);
  EXPECT_EQ(m.Names.Tool, sCOLLADA_SOFTIMAGE);
  ASSERT_EQ(m.MeshCount, 3) << log.Text;
  EXPECT_EQ(m.MaterialCount, 2);
  ASSERT_EQ(m.ImageCount, 2);
  EXPECT_EQ(m.EffectCount, 2);
  // the file part of each image reference, in the model's folder
  EXPECT_EQ(std::u16string(m.ImageFiles[0]), folder + u"wood.png");
  EXPECT_EQ(std::u16string(m.ImageFiles[1]), folder + u"rock.png");
  // mat0 shows fx0 (rock), mat1 fx1 (wood); the quad has mat1, the triangle mat0, the
  // bare mesh none
  EXPECT_EQ(m.EffectTextures[0], 1);
  EXPECT_EQ(m.EffectTextures[1], 0);
  EXPECT_EQ(mtrl[0].TextureIndex[0], 1);
  EXPECT_EQ(mtrl[2].Kind, sTMD_ENDKIND);
  const RawMesh &quad = *m.Meshes[0], &tri = *m.Meshes[1], &bare = *m.Meshes[2];
  EXPECT_EQ(quad.MaterialIndex, 1);
  EXPECT_EQ(tri.MaterialIndex, 0);
  EXPECT_EQ(bare.MaterialIndex, 2);

  EXPECT_EQ(quad.VertexCount, 4);
  EXPECT_EQ(quad.TriangleCount, 2);
  EXPECT_EQ(quad.OptimizedNumber, 4);
  EXPECT_EQ(quad.Flags, sRMF_POSITION | sRMF_NORMAL | sRMF_UV);
  EXPECT_EQ(quad.Positions[7], 1.0f);

  // the triangle interleaves a colour input; its second uv set is not the mesh's
  EXPECT_EQ(tri.UV1Count, 2);
  ASSERT_EQ(tri.OptimizedNumber, 3);
  sF32 v[3 * 8];
  sU16 idx[3];
  tri.BuildVertices(v, idx);
  const sF32 want[3][8] = {{5, 0, 0, 0, 1, 0, 0, 1}, {6, 0, 0, 1, 0, 0, 1, 1}, {5, 2, 0, 1, 0, 0, 0, 0}};
  for(sInt i = 0; i < 3; i++)
    for(sInt k = 0; k < 8; k++) EXPECT_NEAR(v[8 * i + k], want[i][k], 1e-6f) << i << " " << k;

  EXPECT_EQ(bare.Flags, sRMF_POSITION);
  EXPECT_EQ(testutil::CountOf(log.Text, "no normal array found in: bare"), 1u);

  // the import wrote a cache beside the file that reads back the same
  Model cached(nullptr);
  ASSERT_TRUE(cached.LoadPet(Generated().File("soft.pet").c_str()));
  ASSERT_EQ(cached.MeshCount, 3);
  for(sInt i = 0; i < 3; i++) ExpectSameMesh(*m.Meshes[i], *cached.Meshes[i]);
  EXPECT_EQ(cached.EffectTextures[0], 1);
}

TEST(ModelCollada, MayaFileReadsNoImagesOrEffects)
{
  testutil::CaptureOutput quiet;
  Model m(nullptr);
  ASSERT_TRUE(m.LoadCollada(Generated().File("maya.dae").c_str()));
  EXPECT_EQ(m.Names.Tool, sCOLLADA_MAYA);
  EXPECT_EQ(m.ImageCount, 0);
  EXPECT_EQ(m.EffectCount, 0);
  EXPECT_EQ(m.MaterialCount, 1);
  ASSERT_EQ(m.MeshCount, 1);
  const RawMesh &r = *m.Meshes[0];
  EXPECT_EQ(r.MaterialIndex, 0);
  EXPECT_EQ(r.VertexCount, 3);
  EXPECT_EQ(r.Flags, sRMF_POSITION | sRMF_NORMAL | sRMF_UV);
  EXPECT_EQ(r.Positions[4], 3.0f);
  EXPECT_EQ(r.NormalIndex[2], 2);
  EXPECT_EQ(r.UVIndex[2], 2);
}

struct DaeCase
{
  const char *Name;
  std::string Text;
  const char *Message;              // the refusal's message; null when the import succeeds
  void (*Check)(const Model &m);    // what a successful import gives
};

std::string Replaced(std::string text, const std::string &from, const std::string &to)
{
  return text.replace(text.find(from), from.size(), to);
}

TEST(ModelCollada, RefusedAndAcceptedTexts)
{
  const std::string effects = "<library_images><image id=\"i\"><init_from>x.png</init_from></image></library_images>"
                              "<library_effects><effect id=\"e\"><init_from>i</init_from></effect><effect id=\"f\">"
                              "<init_from>none</init_from></effect><effect id=\"h\"><init_from>i</init_from></effect>"
                              "</library_effects>";
  const DaeCase cases[] = {
    {"tool", "<COLLADA><authoring_tool>Blender</authoring_tool>" + Geometry(Vertex, "0 1 2"), "unknown format", nullptr},
    {"notool", std::string("<COLLADA>") + Geometry(Vertex, "0 1 2"), "unknown format", nullptr},
    {"polylist", Head + std::string("<library_geometries><geometry id=\"g\"><float_array id=\"g-Pos-array\" "
                                    "count=\"3\">0 0 0</float_array><vertices/><polylist count=\"1\"/></geometry>"),
     "only triangles", nullptr},
    {"nopositions", Head + std::string("<library_geometries><geometry id=\"g\"><vertices/></geometry>"),
     "no vertex array found in: g", nullptr},
    {"noinput", Head + Geometry("<input semantic=\"NORMAL\" offset=\"0\"/>", "0 1 2"), "unknown triangle index",
     nullptr},
    {"index", Head + Geometry(Vertex, "0 1 3"), "bad triangle index", nullptr},
    {"short", Head + Geometry(Vertex, "0 1"), "bad", nullptr},
    {"count", Replaced(Head + Geometry(Vertex, "0 1 2"), "count=\"9\"", "count=\"999999999\""), "bad array count",
     nullptr},
    {"noeffect", Head + std::string("<library_effects><effect id=\"e\"><p/></effect></library_effects>"),
     "no texture in effect found. effect: e", nullptr},
    {"unknowneffect", Head + effects + "<library_materials><material id=\"m\"><instance_effect url=\"#x\"/>"
                                       "</material></library_materials>",
     "effect in material not found. effect:x, material:m", nullptr},
    // self-closing materials count once each
    {"selfclosing", "<COLLADA><authoring_tool>Maya7.0 | ColladaMaya v3.05B</authoring_tool><library_materials>"
                    "<material id=\"a\"/><material id=\"b\"/></library_materials>",
     nullptr, [](const Model &m) { EXPECT_EQ(m.MaterialCount, 2); }},
    // the effect slot past the two materials gets no texture instead of a material
    {"pastmaterials", Head + effects + "<library_materials><material id=\"m\"><instance_effect url=\"#e\"/>"
                                       "</material><material id=\"n\"><instance_effect url=\"#f\"/></material>"
                                       "</library_materials>",
     nullptr, [](const Model &m) {
       ASSERT_EQ(m.EffectCount, 3);
       EXPECT_EQ(m.EffectTextures[0], 0);
       EXPECT_EQ(m.EffectTextures[1], -1);
       EXPECT_EQ(m.EffectTextures[2], -1);
     }},
    // an unknown input takes its slot: the colour indices between positions are skipped
    {"interleaved", Head + Geometry(std::string(Vertex) + "<input semantic=\"COLOR\" offset=\"1\"/>", "0 7 1 7 2 7"),
     nullptr, [](const Model &m) {
       ASSERT_EQ(m.MeshCount, 1);
       EXPECT_EQ(m.Meshes[0]->PositionIndex[2], 2);
       EXPECT_EQ(m.Meshes[0]->OptimizedNumber, 3);
     }},
  };
  for(const DaeCase &c : cases)
  {
    SCOPED_TRACE(c.Name);
    testutil::CaptureOutput log;
    Model m(nullptr);
    sInt ok = LoadText(m, c.Text);
    if(!c.Message)
    {
      ASSERT_TRUE(ok) << log.Text;
      c.Check(m);
      continue;
    }
    EXPECT_FALSE(ok);
    ExpectEmpty(m);
    EXPECT_NE(log.Text.find(c.Message), std::string::npos) << log.Text;
    EXPECT_NE(log.Text.find("mem:input refused"), std::string::npos);
  }
}

TEST(ModelCollada, MeshBeyondSixteenBitIndicesIsRefused)
{
  std::string pos, p;
  const sInt tris = 21846;   // 65538 distinct corners
  for(sInt i = 0; i < 3 * tris; i++)
  {
    pos += std::to_string(i) + " 0 0 ";
    p += std::to_string(i) + " ";
  }
  std::string text = Head + std::string("<library_geometries><geometry id=\"g\"><float_array id=\"g-Pos-array\" "
                                        "count=\"") + std::to_string(9 * tris) + "\">" + pos +
                     "</float_array><vertices/><triangles count=\"" + std::to_string(tris) + "\">" + Vertex + "<p>" +
                     p + "</p></triangles></geometry></library_geometries>";
  testutil::CaptureOutput log;
  Model m(nullptr);
  EXPECT_FALSE(LoadText(m, text));
  EXPECT_NE(log.Text.find("more than 16-bit indices address"), std::string::npos);
}

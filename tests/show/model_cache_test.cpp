// The model cache: round trips through the writer and the reader, the file's layout,
// the vertices mesh forms get, damaged files, and the rows a load appends to its tables.

#include "model_util.hpp"
#include "base/memory.hpp"
#include "show/tmdata.hpp"

#include "common/capture.hpp"
#include "common/files.hpp"
#include "common/temp_dir.hpp"

#include <gtest/gtest.h>

#include <filesystem>

using namespace modeltest;

namespace
{
std::vector<uint8_t> Saved(Model &m, sparktest::TempDir &dir)
{
  EXPECT_TRUE(m.SavePet(dir.Name("m.pet").c_str()));
  return sparktest::ReadFile<std::vector<uint8_t>>(dir.Name8("m.pet"));
}

void PutWord(std::vector<uint8_t> &b, size_t at, sU32 v) { memcpy(&b[at], &v, 4); }
}  // namespace

TEST(ModelCache, RoundTripKeepsEverything)
{
  sparktest::DebugCapture quiet;
  sparktest::TempDir dir;
  Model out(nullptr);
  MakeModel(out);
  std::vector<uint8_t> bytes = Saved(out, dir);

  // the header, then names of 3, 4 and 6 characters in 3, 3 and 4 words
  const sU32 want[11] = {0xfeb0beef, 0x10000, 2, 3, 3, 3, 3, 'a' | 'b' << 16, 'c', 0, 3};
  ASSERT_GE(bytes.size(), 60u);
  EXPECT_EQ(memcmp(bytes.data(), want, sizeof(want)), 0);
  EXPECT_EQ(bytes[24 + 32], 4);

  Model in(nullptr);
  ASSERT_TRUE(in.LoadPet(dir.Name("m.pet").c_str()));
  ASSERT_EQ((Ints{in.MeshCount, in.MaterialCount, in.EffectCount, in.ImageCount}), (Ints{2, 3, 3, 3}));
  EXPECT_EQ(Ints(in.EffectTextures, in.EffectTextures + 3), (Ints{2, -1, 0}));
  for(sInt i = 0; i < 3; i++) EXPECT_EQ(std::u16string(in.ImageFiles[i]), std::u16string(out.ImageFiles[i]));
  for(sInt i = 0; i < 2; i++) ExpectSameMesh(*out.Meshes[i], *in.Meshes[i]);

  // an empty model is a 24-byte file and loads empty
  Model none(nullptr), back(nullptr);
  none.AllocLists(0, 0, 0, 0);
  EXPECT_EQ(Saved(none, dir).size(), 24u);
  EXPECT_TRUE(back.LoadPet(dir.Name("m.pet").c_str()));
  ExpectEmpty(back);
}

TEST(ModelCache, MeshVerticesAndIndices)
{
  RawMesh r;
  // four corners with the same indices share one vertex
  FillMesh(r, {1, 2, 3}, {0, 0, 1}, {0.25f, 0.75f}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {4});
  EXPECT_EQ(r.OptimizedNumber, 1);
  EXPECT_EQ(r.Corners[3].VertexIndex, 0);

  // a quad of corners 0..3 gives (0, 1, 2) and (0, 2, 3); without normals and uvs the
  // vertices get (0, 1, 0) and (0.5, 0.5)
  FillMesh(r, {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0}, {}, {}, {0, 1, 2, 3}, {}, {}, {4});
  sF32 v[4 * 8];
  sU16 idx[6];
  ASSERT_EQ(r.GetIndexCount(), 6);
  EXPECT_EQ(r.BuildVertices(v, idx), 4);
  EXPECT_EQ(std::vector<sU16>(idx, idx + 6), (std::vector<sU16>{0, 1, 2, 0, 2, 3}));
  EXPECT_EQ(std::vector<sF32>(v + 16, v + 24), (Floats{1, 1, 0, 0, 1, 0, 0.5f, 0.5f}));
}

// A damaged copy of a good file: one or two words replaced, or its length changed.
struct Damage
{
  const char *Name;
  size_t At;
  sU32 Word;
  sInt Grow = 0;       // bytes added (negative: cut)
  size_t At2 = 0;      // a second word, when not 0
  sU32 Word2 = 0;
};

TEST(ModelCache, DamagedFilesAreRefusedNamingTheFile)
{
  sparktest::TempDir dir;
  Model good(nullptr);
  MakeModel(good);
  std::vector<uint8_t> bytes;
  {
    sparktest::DebugCapture quiet;
    bytes = Saved(good, dir);
  }
  const size_t mesh0 = 24 + 4 * (4 + 4 + 5) + 12;   // after the names and effect words
  const size_t corners0 = mesh0 + 44 + 4 * (15 + 6 + 8 + 8 + 2 + 3 * 7);
  const Damage cases[] = {
    {"magic", 0, 0xfeb0beee}, {"version", 4, 0x20000}, {"cut", 0, 0xfeb0beef, -3},
    {"meshcount", 8, 0x7fffffff}, {"materials", 12, 0x7fffffff}, {"namewords", 24, 0x40000000},
    {"unterminated", 32, 0x00780063, 0, 36, 0x00780078}, {"effect", 76, 3}, {"vertexcount", mesh0, 0x7ffffff0},
    {"material", mesh0 + 32, 4}, {"flags", mesh0 + 36, 0x17}, {"optimized", mesh0 + 40, 70000},
    {"polygon", mesh0 + 44 + 4 * 37, 5}, {"position", mesh0 + 44 + 4 * 39, 5}, {"cornerpos", corners0, 9},
    {"copy", corners0 + 20 * 6 + 12, 9},
  };
  for(const Damage &d : cases)
  {
    SCOPED_TRACE(d.Name);
    std::vector<uint8_t> b = bytes;
    PutWord(b, d.At, d.Word);
    if(d.At2) PutWord(b, d.At2, d.Word2);
    b.resize(size_t(sInt(b.size()) + d.Grow));
    sparktest::DebugCapture log;
    Model m(nullptr);
    MemoryInput::Get()->Bytes = b;
    EXPECT_FALSE(m.LoadPet(u"mem:input"));
    ExpectEmpty(m);
    EXPECT_NE(log.Text().find("mem:input refused"), std::string::npos) << log.Text();
  }
  // bytes after the last mesh are not read: the cache still loads whole
  std::vector<uint8_t> extra = bytes;
  extra.push_back(0);
  sparktest::DebugCapture quiet;
  Model m(nullptr);
  MemoryInput::Get()->Bytes = extra;
  EXPECT_TRUE(m.LoadPet(u"mem:input"));
  EXPECT_EQ(m.MeshCount, good.MeshCount);
}

TEST(ModelCache, WriterRefusesWhatTheReaderWould)
{
  sparktest::TempDir dir;
  sparktest::DebugCapture log;
  // more vertices than 16-bit indices address
  Model big(nullptr);
  big.AllocLists(1, 1, 0, 0);
  Ints idx(65538);
  for(sInt i = 0; i < 65538; i++) idx[size_t(i)] = i;
  FillMesh(*big.Meshes[0], Floats(3 * 65538), {}, {}, idx, {}, {});
  EXPECT_FALSE(big.SavePet(dir.Name("big.pet").c_str()));
  EXPECT_NE(log.Text().find("16-bit"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir.Name8("big.pet")));

  // a name longer than the reader's buffers
  Model longName(nullptr);
  longName.AllocLists(0, 0, 0, 1);
  longName.SetImageFile(0, std::u16string(1024, u'a').c_str());
  EXPECT_FALSE(longName.SavePet(dir.Name("long.pet").c_str()));
  longName.SetImageFile(0, std::u16string(1023, u'a').c_str());
  EXPECT_TRUE(longName.SavePet(dir.Name("long.pet").c_str()));
  Model back(nullptr);
  EXPECT_TRUE(back.LoadPet(dir.Name("long.pet").c_str()));
}

TEST(ModelCache, LoadAppendsTextureAndMaterialRows)
{
  sparktest::TempDir dir;
  sparktest::DebugCapture quiet;
  Model src(nullptr);
  MakeModel(src);
  Saved(src, dir);

  for(sInt mode : {0, 4})
  {
    SCOPED_TRACE(mode);
    TextureEntry tex[6] = {{u"own.png", u"own.png", 0x1001, 0}, {}};
    MaterialEntry mtrl[6] = {{0, 1, 0, 0, 1, {}, {}}, {sTMD_ENDKIND, 0, 0, 0, 0, {}, {}}};
    Model m(nullptr, tex, mtrl);
    pImportObject(&m, u"m.dae", dir.Name("").c_str(), 0, mode, -1);
    ASSERT_EQ(m.MeshCount, 2) << quiet.Text();
    EXPECT_EQ((Ints{m.TextureBase, m.MaterialBase}), (Ints{1, 1}));
    EXPECT_EQ(tex[1].UnpackedPath, m.ImageFiles[0]);
    EXPECT_EQ((Ints{sInt(tex[3].TextureFlags), sInt(tex[3].LoadOption)}), (Ints{0x1001, 2}));
    EXPECT_EQ(tex[4].UnpackedPath, nullptr);
    // effect 0 shows image 2 (row 3), effect 1 has none, effect 2 image 0 (row 1)
    EXPECT_EQ((Ints{mtrl[1].Kind, mtrl[1].VertexFormat, sInt(mtrl[1].StateFlags), mtrl[1].TextureIndex[0]}),
              (Ints{5, 1, 19, 3}));
    EXPECT_EQ(mtrl[2].TextureCount, 0);
    EXPECT_EQ((Ints{mtrl[3].TextureCount, mtrl[3].TextureIndex[0], mtrl[3].TextureIndex[1], mtrl[4].Kind}),
              (Ints{mode == 4 ? 2 : 1, 1, mode == 4 ? 1 : 0, sTMD_ENDKIND}));
  }

  // tables without room for the rows refuse the load
  TextureEntry tex[3] = {};
  MaterialEntry mtrl[8] = {{sTMD_ENDKIND, 0, 0, 0, 0, {}, {}}};
  Model m(nullptr, tex, mtrl);
  pImportObject(&m, u"m.pet", dir.Name("").c_str(), 1, 0, -1);
  ExpectEmpty(m);
  EXPECT_EQ(tex[0].UnpackedPath, nullptr);

  Model none(nullptr);   // a missing file leaves the model empty
  pImportObject(&none, u"missing.dae", dir.Name("").c_str(), 0, 0, 0);
  ExpectEmpty(none);
}

TEST(ModelCache, MeshesNamingMaterialsPastTheRowsGetTheEndRow)
{
  // three materials, one effect: only one row is appended, yet the cache lets a mesh name
  // material 3; its form would ask the scene's set for a row it does not have
  sparktest::TempDir dir;
  sparktest::DebugCapture log;
  Model src(nullptr);
  src.AllocLists(1, 3, 1, 0);
  FillMesh(*src.Meshes[0], {0, 0, 0, 1, 0, 0, 0, 1, 0}, {}, {}, {0, 1, 2}, {}, {}, {}, 3);
  Saved(src, dir);
  TextureEntry tex[2] = {};
  MaterialEntry mtrl[4] = {{0, 1, 0, 0, 0, {}, {}}, {sTMD_ENDKIND, 0, 0, 0, 0, {}, {}}};
  Model m(nullptr, tex, mtrl);
  pImportObject(&m, u"m.pet", dir.Name("").c_str(), 0, 0, -1);
  ASSERT_EQ(m.MeshCount, 1) << log.Text();
  EXPECT_EQ(mtrl[2].Kind, sTMD_ENDKIND);
  EXPECT_EQ(m.Meshes[0]->MaterialIndex, 3) << "the cache's own index";
  EXPECT_EQ(m.MeshRow(0), 2) << "its form's row: the end row";
  EXPECT_NE(log.Text().find("names material 3"), std::string::npos) << log.Text();
}

TEST(ModelInstance, ASourceWithoutFormsGivesNoneAndAnotherInstanceFreesTheFirst)
{
  Model src(nullptr);
  src.AllocLists(2, 1, 1, 0);   // loaded, its forms not made yet
  Model inst(nullptr);
  inst.Instance(&src, 0);
  ASSERT_EQ(inst.MeshCount, 2);
  EXPECT_TRUE(inst.MeshForms[0] == nullptr && inst.MeshForms[1] == nullptr);
  inst.SetLayerMask(4);

  src.CreateForms(0);
  inst.Instance(&src, 0);
  const sS64 once = sAllocatedBytes.load();
  inst.Instance(&src, 0);
  EXPECT_EQ(sAllocatedBytes.load(), once) << "the first instance's forms are kept";
  EXPECT_EQ(inst.MeshForms[1]->AuxMatrix, &src.MeshForms[1]->Matrix);
}

TEST(ModelCacheDeath, ImportWithoutTablesOrOfAnUnknownFormatStops)
{
  sparktest::TempDir dir;
  sparktest::WriteFile(dir.Name8("m.obj"), "x");
  Model m(nullptr);
  EXPECT_DEATH(pImportObject(&m, u"m.obj", dir.Name("").c_str(), 1, 0, 0), "unknown object format");
  EXPECT_DEATH(pImportObject(&m, u"m.pet", dir.Name("").c_str(), 0, 0, -1), "no own data");
}

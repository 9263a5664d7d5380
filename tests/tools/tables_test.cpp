// The assembled material programs: framing, sharing, variant tables and the interface
// between each class's vertex and pixel programs.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "decode.hpp"
#include "shaders/shadercode.hpp"

namespace {

using shadercode::Code;
using testdecode::Instr;

struct Program {
  bool Vertex = false;
  int Major = 0;
  std::vector<Instr> Instrs;
  std::set<int> Defined;       // def'd constant registers
  std::set<int> ConstReads;    // constant registers read that are not def'd
  std::set<std::pair<int, int>> Inputs;   // (usage, index) read: VS attributes or PS varyings
  std::set<std::pair<int, int>> Outputs;  // VS varyings written (position excluded)
  bool WritesPosition = false;
  std::set<int> Samplers;
  int TexLoads = 0;
};

constexpr int kPosition = 0, kNormal = 3, kTexCoord = 5, kColor = 10;

Program Decode(const Code &c) {
  Program p;
  EXPECT_NE(c.Data, nullptr);
  if (!c.Data) return p;
  EXPECT_EQ(c.Size % 4, 0u);
  size_t n = c.Size / 4;
  uint32_t version = c.Data[0];
  p.Vertex = (version & 0xFFFF0000u) == 0xFFFE0000u;
  p.Major = (version >> 8) & 0xFF;
  EXPECT_TRUE(testdecode::Split(c.Data, n, p.Instrs)) << "broken framing";
  for (const Instr &i : p.Instrs) {
    if (i.Op == 81) p.Defined.insert(testdecode::RegNum(i.Params[0]));
  }
  for (const Instr &i : p.Instrs) {
    if (i.Op == 81 || i.Op == 47 || i.Op == 48) continue;
    if (i.Op == 31) {
      uint32_t usage = i.Params[0], reg = i.Params[1];
      uint32_t type = testdecode::RegType(reg);
      int num = testdecode::RegNum(reg);
      std::pair<int, int> sem{static_cast<int>(usage & 31u), static_cast<int>((usage >> 16) & 15u)};
      if (type == 10) {
        p.Samplers.insert(num);
      } else if (p.Vertex && type == 1) {
        p.Inputs.insert(sem);
      } else if (p.Vertex && type == 6) {  // vs_3_0 output
        if (sem.first == kPosition) p.WritesPosition = true;
        else p.Outputs.insert(sem);
      } else if (!p.Vertex && p.Major == 3) {
        p.Inputs.insert(sem);
      } else if (!p.Vertex) {
        p.Inputs.insert(type == 1 ? std::pair<int, int>{kColor, num} : std::pair<int, int>{kTexCoord, num});
      }
      continue;
    }
    if (i.Op == 66) p.TexLoads++;
    for (size_t k = 0; k < i.Params.size(); k++) {
      uint32_t t = i.Params[k];
      uint32_t type = testdecode::RegType(t);
      if (k == 0 && i.Op != 40 && i.Op != 42 && i.Op != 43) {
        if (p.Vertex && p.Major == 2) {
          if (type == 4 && testdecode::RegNum(t) == 0) p.WritesPosition = true;
          if (type == 5) p.Outputs.insert({kColor, testdecode::RegNum(t)});
          if (type == 6) p.Outputs.insert({kTexCoord, testdecode::RegNum(t)});
        }
        continue;
      }
      if (type == 2 && !(t & (1u << 13)) && !p.Defined.count(testdecode::RegNum(t)))
        p.ConstReads.insert(testdecode::RegNum(t));
    }
  }
  return p;
}

const shadercode::TableInfo *Find(const std::string &name) {
  for (int i = 0; i < shadercode::TableCount; i++)
    if (name == shadercode::Tables[i].Name) return &shadercode::Tables[i];
  return nullptr;
}

std::set<int> Range(int a, int b, std::set<int> extra = {}) {
  for (int i = a; i <= b; i++) extra.insert(i);
  return extra;
}

// VS outputs must cover what the PS reads.
void ExpectPaired(const Code &vs, const Code &ps, const std::string &what) {
  Program v = Decode(vs), p = Decode(ps);
  EXPECT_TRUE(v.WritesPosition) << what;
  for (const auto &in : p.Inputs)
    EXPECT_TRUE(v.Outputs.count(in)) << what << ": pixel program reads usage " << in.first << " index " << in.second
                                     << " that the vertex program does not write";
}

TEST(ShaderTables, EveryProgramIsWellFormed) {
  std::map<std::string, int> sm3 = {{"Material3", 3}, {"Material7", 3}, {"Material8", 3}, {"Material13", 3}};
  for (int t = 0; t < shadercode::TableCount; t++) {
    const shadercode::TableInfo &info = shadercode::Tables[t];
    std::string cls(info.Name);
    cls = cls.substr(0, cls.size() - 2);
    int major = sm3.count(cls) ? 3 : 2;
    int present = 0;
    std::set<const uint32_t *> distinct;
    for (int i = 0; i < info.Count; i++) {
      const Code &c = info.Entries[i];
      if (!c.Data) {
        EXPECT_EQ(c.Size, 0u);
        continue;
      }
      present++;
      distinct.insert(c.Data);
      SCOPED_TRACE(std::string(info.Name) + "[" + std::to_string(i) + "]");
      uint32_t expectVersion = (info.Vertex ? 0xFFFE0000u : 0xFFFF0000u) | (major << 8);
      EXPECT_EQ(c.Data[0], expectVersion);
      EXPECT_EQ(c.Data[c.Size / 4 - 1], 0x0000FFFFu);
      Program p = Decode(c);
      if (info.Vertex) {
        EXPECT_TRUE(p.WritesPosition);
      } else {
        bool writesColour = false;
        for (const Instr &ins : p.Instrs)
          if (!ins.Params.empty() && ins.Op != 31 && testdecode::RegType(ins.Params[0]) == 8) writesColour = true;
        EXPECT_TRUE(writesColour);
      }
    }
    EXPECT_GT(present, 0) << info.Name;
    EXPECT_EQ(static_cast<int>(distinct.size()), info.Distinct) << info.Name;
  }
}

TEST(ShaderTables, DistinctProgramsAndUnreachableEntries) {
  struct Expect {
    const char *Name;
    int Count, Distinct;
    std::set<int> Null;
  } expect[] = {
      {"Material1VS", 32, 12, {3, 7, 11, 15, 19, 23, 27, 31}},
      {"Material2VS", 1, 1, {}},
      {"Material2PS", 2, 2, {}},
      {"Material3VS", 8, 6, {}},
      {"Material3PS", 16, 8, {3, 7, 9, 10, 11, 13, 14, 15}},
      {"Material4VS", 2, 2, {}},
      {"Material4PS", 2, 2, {}},
      {"Material6VS", 5, 4, {3}},
      {"Material6PS", 5, 3, {3}},
      {"Material7PS", 16, 9, {}},
      {"Material11PS", 2, 2, {}},
      {"Material13PS", 2, 2, {}},
      {"Material14VS", 2, 2, {}},
      {"Material14PS", 8, 6, {3, 7}},
      {"SimpleVS", 16, 12, {4, 5, 12, 13}},
      {"SimplePS", 8, 4, {2, 4, 6, 7}},
      {"YuvVS", 2, 2, {}},
      {"YuvPS", 2, 2, {}},
  };
  for (const Expect &e : expect) {
    const shadercode::TableInfo *t = Find(e.Name);
    ASSERT_NE(t, nullptr) << e.Name;
    EXPECT_EQ(t->Count, e.Count) << e.Name;
    EXPECT_EQ(t->Distinct, e.Distinct) << e.Name;
    for (int i = 0; i < t->Count; i++) EXPECT_EQ(t->Entries[i].Data == nullptr, e.Null.count(i) == 1) << e.Name << "[" << i << "]";
  }
  // class 1's pixel table: every index whose TexMode bits are 3 is empty, all others hold a program
  const shadercode::TableInfo *ps1 = Find("Material1PS");
  ASSERT_NE(ps1, nullptr);
  EXPECT_EQ(ps1->Distinct, 60);
  for (int i = 0; i < 256; i++) EXPECT_EQ(ps1->Entries[i].Data == nullptr, ((i >> 2) & 3) == 3) << i;
}

TEST(ShaderTables, TheScreenQuadProgramIsStoredOnce) {
  const uint32_t *quad = shadercode::Material9VS[0].Data;
  EXPECT_EQ(shadercode::Material10VS[0].Data, quad);
  EXPECT_EQ(shadercode::Material11VS[0].Data, quad);
  EXPECT_EQ(shadercode::Material12VS[0].Data, quad);
  EXPECT_EQ(shadercode::Material14VS[0].Data, quad);
  EXPECT_NE(shadercode::Material14VS[1].Data, quad);
  Program p = Decode(shadercode::Material9VS[0]);
  EXPECT_EQ(p.Inputs, (std::set<std::pair<int, int>>{{kPosition, 0}, {kTexCoord, 0}}));
  EXPECT_EQ(p.Outputs, (std::set<std::pair<int, int>>{{kTexCoord, 0}}));
}

TEST(ShaderTables, ProgramsReadOnlyTheirConstantRegisters) {
  std::map<std::string, std::set<int>> allowed = {
      {"Material1VS", Range(0, 6)},        {"Material1PS", {0}},
      {"Material2VS", Range(0, 10)},       {"Material2PS", Range(0, 2)},
      {"Material3VS", Range(0, 20)},       {"Material3PS", Range(0, 14)},
      {"Material4VS", Range(0, 22)},       {"Material4PS", {0}},
      {"Material5VS", Range(0, 9)},        {"Material5PS", Range(0, 4)},
      {"Material6VS", Range(0, 6)},        {"Material6PS", {0}},
      {"Material7VS", Range(0, 3)},        {"Material7PS", Range(0, 5)},
      {"Material8VS", Range(0, 4)},        {"Material8PS", Range(0, 8)},
      {"Material9VS", Range(0, 3)},        {"Material9PS", {0, 1}},
      {"Material10VS", Range(0, 3)},       {"Material10PS", Range(0, 3)},
      {"Material11VS", Range(0, 3)},       {"Material11PS", {0, 1}},
      {"Material12VS", Range(0, 3)},       {"Material12PS", {0}},
      {"Material13VS", Range(0, 16)},      {"Material13PS", Range(0, 10)},
      {"Material14VS", Range(0, 3)},       {"Material14PS", {0, 1, 2, 4, 5, 6}},
      {"Material15VS", Range(0, 15)},      {"Material15PS", {}},
      {"SimpleVS", Range(0, 3, Range(12, 19))}, {"SimplePS", {}},
      {"PainterVS", Range(0, 3)},          {"PainterPS", {}},
      {"YuvVS", Range(0, 3)},              {"YuvPS", {}},
  };
  ASSERT_EQ(allowed.size(), static_cast<size_t>(shadercode::TableCount));
  for (int t = 0; t < shadercode::TableCount; t++) {
    const shadercode::TableInfo &info = shadercode::Tables[t];
    ASSERT_TRUE(allowed.count(info.Name)) << info.Name;
    for (int i = 0; i < info.Count; i++) {
      if (!info.Entries[i].Data) continue;
      Program p = Decode(info.Entries[i]);
      for (int r : p.ConstReads)
        EXPECT_TRUE(allowed[info.Name].count(r)) << info.Name << "[" << i << "] reads c" << r;
    }
  }
  // class 15's vertex program brings its own c13; class 2's its own constant
  EXPECT_TRUE(Decode(shadercode::Material15VS[0]).Defined.count(13));
  EXPECT_FALSE(Decode(shadercode::Material15VS[0]).ConstReads.count(13));
}

// --- class 1 ---------------------------------------------------------------------------

int TexMode(bool tex1, int secondAlpha) { return !tex1 ? 0 : (secondAlpha ? 2 : 1); }
int Class1Vs(int texMode, const int *o) { return texMode + 4 * o[2] + 8 * o[3] + 16 * o[6]; }
int Class1Ps(int texMode, const int *o) {
  return o[0] + 2 * o[1] + (texMode == 1 ? 4 : texMode == 2 ? 8 : 0) + 16 * o[2] + 32 * o[4] + 64 * o[7] + 128 * o[8];
}

TEST(ShaderTablesClass1, EverySelectionHasAMatchingPair) {
  for (int bits = 0; bits < 1024; bits++) {
    int o[9];
    for (int k = 0; k < 9; k++) o[k] = (bits >> k) & 1;
    bool tex1 = (bits >> 9) & 1;
    int tm = TexMode(tex1, o[5]);
    int vi = Class1Vs(tm, o), pi = Class1Ps(tm, o);
    std::string what = "options " + std::to_string(bits & 511) + " tex1 " + std::to_string(tex1);
    ASSERT_NE(shadercode::Material1VS[vi].Data, nullptr) << what;
    ASSERT_NE(shadercode::Material1PS[pi].Data, nullptr) << what;
    ExpectPaired(shadercode::Material1VS[vi], shadercode::Material1PS[pi], what);
    Program v = Decode(shadercode::Material1VS[vi]);
    // the vertex colour is read only with VertexColor and without DepthFade
    EXPECT_EQ(v.Inputs.count({kColor, 0}) == 1, o[3] && !o[2]) << what;
    EXPECT_EQ(v.Inputs.count({kTexCoord, 1}) == 1, tm != 0) << what;
  }
}

TEST(ShaderTablesClass1, DefaultsSelectTexelTimesColour) {
  int o[9] = {};
  EXPECT_EQ(Class1Vs(0, o), 0);
  EXPECT_EQ(Class1Ps(0, o), 0);
  Program p = Decode(shadercode::Material1PS[0]);
  EXPECT_EQ(p.Samplers, (std::set<int>{0}));
  EXPECT_EQ(p.TexLoads, 1);
  std::vector<uint32_t> ops;
  for (const Instr &i : p.Instrs)
    if (i.Op != 31 && i.Op != 81) ops.push_back(i.Op);
  EXPECT_EQ(ops, (std::vector<uint32_t>{66, 5, 1}));  // texld, mul, mov
  Program v = Decode(shadercode::Material1VS[0]);
  EXPECT_EQ(v.Inputs, (std::set<std::pair<int, int>>{{kPosition, 0}, {kTexCoord, 0}}));
  EXPECT_EQ(v.Outputs, (std::set<std::pair<int, int>>{{kColor, 0}, {kTexCoord, 0}}));
}

TEST(ShaderTablesClass1, AlphaFromColorWithDepthFadeSamplesNoTexture) {
  for (int i = 0; i < 256; i++) {
    if (((i >> 2) & 3) == 3 || !(i & 1) || !(i & 16)) continue;
    Program p = Decode(shadercode::Material1PS[i]);
    EXPECT_TRUE(p.Samplers.empty()) << i;
    EXPECT_EQ(p.TexLoads, 0) << i;
    EXPECT_EQ(p.Inputs, (std::set<std::pair<int, int>>{{kColor, 0}})) << i;
  }
  // only InvertAlpha and DoubleColor still make a difference there
  std::set<const uint32_t *> programs;
  for (int i = 0; i < 256; i++)
    if (((i >> 2) & 3) != 3 && (i & 1) && (i & 16)) programs.insert(shadercode::Material1PS[i].Data);
  EXPECT_EQ(programs.size(), 4u);
}

TEST(ShaderTablesClass1, IgnoredOptions) {
  for (int i = 0; i < 256; i++) {
    int tm = (i >> 2) & 3;
    if (tm == 3) continue;
    // a second texture ignores Contrast and LumaBoost
    if (tm != 0) {
      EXPECT_EQ(shadercode::Material1PS[i | 64].Data, shadercode::Material1PS[i & ~64].Data) << i;
      EXPECT_EQ(shadercode::Material1PS[i | 128].Data, shadercode::Material1PS[i & ~128].Data) << i;
    }
    // with Contrast, LumaBoost is ignored
    if (i & 64) {
      EXPECT_EQ(shadercode::Material1PS[i | 128].Data, shadercode::Material1PS[i & ~128].Data) << i;
    }
  }
  // Contrast and LumaBoost do change the program of a single texture
  EXPECT_NE(shadercode::Material1PS[64].Data, shadercode::Material1PS[0].Data);
  EXPECT_NE(shadercode::Material1PS[128].Data, shadercode::Material1PS[0].Data);
  EXPECT_NE(shadercode::Material1PS[64].Data, shadercode::Material1PS[128].Data);
  // DepthFade with VertexColor reads no vertex colour: the same program as without it
  for (int v = 0; v < 32; v++)
    if ((v & 3) != 3 && (v & 4)) {
      EXPECT_EQ(shadercode::Material1VS[v | 8].Data, shadercode::Material1VS[v & ~8].Data) << v;
    }
  // TexMode 2 with DepthFade samples only the second texture
  Program p = Decode(shadercode::Material1PS[8 | 16]);
  EXPECT_EQ(p.Samplers, (std::set<int>{1}));
}

// --- the other classes --------------------------------------------------------------------

int Class3Vs(int env, int refl, bool t1, bool t2, bool t3) { return env + 2 * refl + 4 * (t1 && !t2 && !t3); }
int Class3Ps(int refl, int atten, bool t1, bool t2, bool t3) {
  int base = (t1 && t2 && t3) ? 2 : refl ? 1 : (t1 && !t2 && !t3) ? 8 : 0;
  return base + 4 * atten;
}

TEST(ShaderTablesClass3, EverySelectionHasAMatchingPair) {
  for (int bits = 0; bits < 64; bits++) {
    int env = bits & 1, refl = (bits >> 1) & 1, atten = (bits >> 2) & 1;
    bool t1 = (bits >> 3) & 1, t2 = (bits >> 4) & 1, t3 = (bits >> 5) & 1;
    int vi = Class3Vs(env, refl, t1, t2, t3), pi = Class3Ps(refl, atten, t1, t2, t3);
    std::string what = "bits " + std::to_string(bits);
    ASSERT_NE(shadercode::Material3VS[vi].Data, nullptr) << what;
    ASSERT_NE(shadercode::Material3PS[pi].Data, nullptr) << what;
    ExpectPaired(shadercode::Material3VS[vi], shadercode::Material3PS[pi], what);
  }
  // all three layer textures select the layer program even with ReflectionLayerOption
  EXPECT_EQ(Class3Ps(1, 0, true, true, true), 2);
  Program layer = Decode(shadercode::Material3PS[2]);
  EXPECT_EQ(layer.Samplers, (std::set<int>{0, 1, 2, 3}));
  EXPECT_TRUE(layer.ConstReads.count(7) && layer.ConstReads.count(8) && layer.ConstReads.count(9));
  // with Texture[1] and Texture[2] (not Texture[3]) neither stage takes the shadow programs
  EXPECT_EQ(Class3Vs(0, 0, true, true, false), 0);
  EXPECT_EQ(Class3Ps(0, 0, true, true, false), 0);
  // the shadow program reads the three shadow coordinates, the others do not
  Program shadow = Decode(shadercode::Material3PS[8]);
  EXPECT_TRUE(shadow.Inputs.count({kTexCoord, 6}));
  EXPECT_FALSE(Decode(shadercode::Material3PS[0]).Inputs.count({kTexCoord, 4}));
  // the environment-mapped vertex programs read no texture coordinate; the normal goes
  // through all four placement rows
  EXPECT_FALSE(Decode(shadercode::Material3VS[1]).Inputs.count({kTexCoord, 0}));
  for (int v : {1, 2, 3}) EXPECT_TRUE(Decode(shadercode::Material3VS[v]).ConstReads.count(7)) << v;
  EXPECT_FALSE(Decode(shadercode::Material3VS[0]).ConstReads.count(7));
  EXPECT_TRUE(Decode(shadercode::Material3VS[0]).Inputs.count({kTexCoord, 0}));
}

TEST(ShaderTablesOtherClasses, FixedPairsMatch) {
  ExpectPaired(shadercode::Material2VS[0], shadercode::Material2PS[0], "2/0");
  ExpectPaired(shadercode::Material2VS[0], shadercode::Material2PS[1], "2/1");
  for (int i = 0; i < 2; i++) ExpectPaired(shadercode::Material4VS[i], shadercode::Material4PS[i], "4");
  ExpectPaired(shadercode::Material5VS[0], shadercode::Material5PS[0], "5");
  ExpectPaired(shadercode::Material7VS[0], shadercode::Material7PS[0], "7");
  ExpectPaired(shadercode::Material8VS[0], shadercode::Material8PS[0], "8");
  ExpectPaired(shadercode::Material13VS[0], shadercode::Material13PS[1], "13");
  ExpectPaired(shadercode::Material15VS[0], shadercode::Material15PS[0], "15");
  ExpectPaired(shadercode::PainterVS[0], shadercode::PainterPS[0], "painter");
  for (int i = 0; i < 4; i++)
    for (int k = 0; k < 2; k++) ExpectPaired(shadercode::YuvVS[k], shadercode::YuvPS[i & 1], "yuv");
  // class 4: the gradient program reads the position only
  EXPECT_EQ(Decode(shadercode::Material4VS[1]).Inputs, (std::set<std::pair<int, int>>{{kPosition, 0}}));
  EXPECT_TRUE(Decode(shadercode::Material4VS[0]).Inputs.count({kTexCoord, 0}));
  // class 15 reads its instance rows and offset
  EXPECT_EQ(Decode(shadercode::Material15VS[0]).Inputs.size(), 7u);
  EXPECT_EQ(Decode(shadercode::PainterPS[0]).Samplers, (std::set<int>{0}));
}

TEST(ShaderTablesOtherClasses, Class6DepthOptionWinsOverSoftOption) {
  auto index = [](int dist, int depth, int soft) { return depth ? 2 : soft ? 4 : dist; };
  EXPECT_EQ(index(0, 1, 1), 2);
  EXPECT_EQ(index(1, 1, 1), 2);
  for (int b = 0; b < 8; b++) {
    int i = index(b & 1, (b >> 1) & 1, (b >> 2) & 1);
    ExpectPaired(shadercode::Material6VS[i], shadercode::Material6PS[i], "6");
  }
  EXPECT_EQ(shadercode::Material6PS[1].Data, shadercode::Material6PS[0].Data);
  EXPECT_EQ(Decode(shadercode::Material6PS[4]).Samplers, (std::set<int>{0, 1}));
  EXPECT_EQ(Decode(shadercode::Material6PS[2]).Samplers, (std::set<int>{0}));
}

TEST(ShaderTablesOtherClasses, Class7ColorizeNeedsHue) {
  for (int i = 0; i < 16; i++) {
    bool hue = i & 2, colorize = i & 4;
    if (colorize && !hue) {
      EXPECT_EQ(shadercode::Material7PS[i].Data, shadercode::Material7PS[i & ~4].Data) << i;
    } else if (colorize) {
      EXPECT_NE(shadercode::Material7PS[i].Data, shadercode::Material7PS[i & ~4].Data) << i;
    }
  }
}

TEST(ShaderTablesOtherClasses, Class7TextureAlphaOnlyWithoutAdditiveBlend) {
  for (int i = 0; i < 8; i++) {
    if (i & 1) {
      EXPECT_EQ(shadercode::Material7PS[i | 8].Data, shadercode::Material7PS[i].Data) << i;
    } else {
      EXPECT_NE(shadercode::Material7PS[i | 8].Data, shadercode::Material7PS[i].Data) << i;
    }
  }
}

TEST(ShaderTablesOtherClasses, Class14MaskWinsOverSecondUv) {
  auto psIndex = [](int mask, int second, int red) { return (mask ? 1 : (second ? 2 : 0)) + 4 * red; };
  for (int b = 0; b < 8; b++) {
    int mask = b & 1, second = (b >> 1) & 1, red = (b >> 2) & 1;
    int vi = second, pi = psIndex(mask, second, red);
    ExpectPaired(shadercode::Material14VS[vi], shadercode::Material14PS[pi], "14");
  }
  EXPECT_EQ(psIndex(1, 1, 0), 1);
  Program mask = Decode(shadercode::Material14PS[1]);
  EXPECT_EQ(mask.Samplers, (std::set<int>{0, 1}));
  EXPECT_FALSE(mask.Inputs.count({kTexCoord, 1}));
  EXPECT_TRUE(Decode(shadercode::Material14PS[2]).Inputs.count({kTexCoord, 1}));
}

TEST(ShaderTablesFramework, SimpleMaterialPairs) {
  for (int v = 0; v < 16; v++) {
    if (!shadercode::SimpleVS[v].Data) continue;
    Program vs = Decode(shadercode::SimpleVS[v]);
    EXPECT_EQ(vs.Inputs.count({kColor, 0}) == 1, (v & 1) != 0) << v;
    EXPECT_EQ(vs.Inputs.count({kNormal, 0}) == 1, (v & 8) != 0) << v;
    for (int p : {0, 1, 3, 5}) {
      bool needs0 = p != 0, needs1 = p >= 3;
      if ((needs0 && !(v & 2)) || (needs1 && !(v & 4))) continue;
      ExpectPaired(shadercode::SimpleVS[v], shadercode::SimplePS[p], "simple " + std::to_string(v) + "/" + std::to_string(p));
    }
  }
  EXPECT_EQ(Decode(shadercode::SimplePS[0]).Samplers.size(), 0u);
  EXPECT_EQ(Decode(shadercode::SimplePS[5]).Samplers, (std::set<int>{0, 1}));
  EXPECT_EQ(Decode(shadercode::YuvPS[1]).Samplers, (std::set<int>{0, 1, 2, 3}));
  EXPECT_EQ(Decode(shadercode::YuvPS[0]).Samplers, (std::set<int>{0, 1, 2}));
}

}  // namespace

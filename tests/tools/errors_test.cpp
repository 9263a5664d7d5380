// Refused sources: each error names the file, the line and the offending token.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tools/shaderasm/asm.hpp"

namespace {

std::string ErrorOf(const std::string &text) {
  shaderasm::Result r = shaderasm::Assemble(text, "prog.psh", {});
  EXPECT_FALSE(r.Ok) << "accepted:\n" << text;
  return r.Error;
}

TEST(ShaderAsmErrors, UnknownInstructionsAndBadRegisters) {
  EXPECT_EQ(ErrorOf("ps_2_0\n\nfoo r0, r1"), "prog.psh:3: error: unknown instruction 'foo'");
  EXPECT_EQ(ErrorOf("ps_2_0\nmov_xyz r0, r1"), "prog.psh:2: error: unknown instruction 'mov_xyz'");
  EXPECT_EQ(ErrorOf("vs_2_0\nmov r0, q1"), "prog.psh:2: error: bad register 'q1'");
  EXPECT_EQ(ErrorOf("vs_2_0\nmov r0, r1.xq"), "prog.psh:2: error: bad swizzle 'r1.xq'");
  EXPECT_EQ(ErrorOf("vs_2_0\nmov r0, r1 extra"), "prog.psh:2: error: bad source operand 'r1 extra'");
  EXPECT_EQ(ErrorOf("vs_2_0\nadd r0, r1"), "prog.psh:2: error: wrong number of operands for add 'add'");
  EXPECT_EQ(ErrorOf("vs_2_0\nmov v0, r1"), "prog.psh:2: error: register cannot be written 'v0'");
  EXPECT_EQ(ErrorOf("vs_2_0\nmov r0, oPos"), "prog.psh:2: error: register cannot be read 'oPos'");
  EXPECT_EQ(ErrorOf("vs_2_0\nmov r0, c[a1.x]"), "prog.psh:2: error: bad relative address 'c[a1.x]'");
  EXPECT_EQ(ErrorOf("ps_2_0\ndef c0, 1, x, 0, 0"), "prog.psh:2: error: bad number 'x'");
  EXPECT_EQ(ErrorOf("vs_2_0\ndef r0, 1, 1, 0, 0"), "prog.psh:2: error: def needs a c register 'r0'");
}

TEST(ShaderAsmErrors, BadWriteMasks) {
  EXPECT_EQ(ErrorOf("ps_2_0\nmov r0.yx, r1"), "prog.psh:2: error: bad write mask 'r0.yx'");
  EXPECT_EQ(ErrorOf("ps_2_0\nmov r0., r1"), "prog.psh:2: error: bad write mask 'r0.'");
  EXPECT_EQ(ErrorOf("ps_3_0\nsincos r0.xz, r1.x"), "prog.psh:2: error: sincos writes only .x and .y 'r0.xz'");
}

TEST(ShaderAsmErrors, RegistersAndInstructionsTheModelLacks) {
  EXPECT_EQ(ErrorOf("ps_2_0\nmov r12, r0"), "prog.psh:2: error: register number out of range for ps_2_0 'r12'");
  EXPECT_EQ(ErrorOf("vs_2_0\nmov r0, c256"), "prog.psh:2: error: register number out of range for vs_2_0 'c256'");
  EXPECT_EQ(ErrorOf("ps_2_0\nif b0\nendif"), "prog.psh:2: error: instruction not available in ps_2_0 'if'");
  EXPECT_EQ(ErrorOf("ps_3_0\nmov r0, t0"), "prog.psh:2: error: register not available in ps_3_0 't0'");
  EXPECT_EQ(ErrorOf("vs_3_0\nmov oPos, r0"), "prog.psh:2: error: register not available in vs_3_0 'oPos'");
  EXPECT_EQ(ErrorOf("vs_2_0\ncmp r0, r1, r2, r3"), "prog.psh:2: error: instruction not available in vs_2_0 'cmp'");
  EXPECT_EQ(ErrorOf("ps_2_0\ntexldl r0, r1, s0"), "prog.psh:2: error: instruction not available in ps_2_0 'texldl'");
  EXPECT_EQ(ErrorOf("vs_2_0\nmov_sat r0, r1"), "prog.psh:2: error: _sat not available in vs_2_0 'mov_sat'");
  EXPECT_EQ(ErrorOf("ps_2_0\nmov r0, c[a0.x]"), "prog.psh:2: error: relative addressing not available in ps_2_0 'c[a0.x]'");
  EXPECT_EQ(ErrorOf("ps_2_0\nsincos r0.xy, r1.x"), "prog.psh:2: error: wrong number of operands for sincos 'sincos'");
}

TEST(ShaderAsmErrors, DeclarationsAreRequiredAndChecked) {
  EXPECT_EQ(ErrorOf("ps_2_0\ntexld r0, r1, s0"), "prog.psh:2: error: register used without dcl 's0'");
  EXPECT_EQ(ErrorOf("ps_2_0\nmov r0, t1"), "prog.psh:2: error: register used without dcl 't1'");
  EXPECT_EQ(ErrorOf("vs_3_0\nmov o1, r0"), "prog.psh:2: error: register used without dcl 'o1'");
  EXPECT_EQ(ErrorOf("ps_2_0\ndcl t0\ndcl t0"), "prog.psh:3: error: register declared twice 't0'");
  EXPECT_EQ(ErrorOf("vs_2_0\ndcl_fancy v0"), "prog.psh:2: error: unknown dcl usage 'dcl_fancy'");
  EXPECT_EQ(ErrorOf("vs_2_0\ndcl v0"), "prog.psh:2: error: dcl needs a usage for this register in vs_2_0 'v0'");
  EXPECT_EQ(ErrorOf("ps_2_0\ndcl_2d t0"), "prog.psh:2: error: sampler dcl needs an s register 't0'");
  EXPECT_EQ(ErrorOf("ps_2_0\ndcl_2d s0\ntexld r0, s0, s0"), "prog.psh:3: error: sampler used as an operand 's0'");
  EXPECT_EQ(ErrorOf("ps_2_0\ndcl_2d s0\ntexld r0, r1, r2"), "prog.psh:3: error: texture instruction needs a sampler 'r2'");
}

TEST(ShaderAsmErrors, StructureOfTheProgram) {
  EXPECT_EQ(ErrorOf("mov r0, r1"), "prog.psh:1: error: statement before the version 'mov'");
  EXPECT_EQ(ErrorOf("; only a comment\n"), "prog.psh:1: error: no version statement (vs_2_0, ps_3_0 ...)");
  EXPECT_EQ(ErrorOf("vs_2_0\nps_2_0"), "prog.psh:2: error: second version statement 'ps_2_0'");
  EXPECT_EQ(ErrorOf("vs_1_1"), "prog.psh:1: error: unsupported shader model 'vs_1_1'");
  EXPECT_EQ(ErrorOf("vs_2_0\nif b0\nmov r0, r1"), "prog.psh:3: error: if without endif 'if'");
  EXPECT_EQ(ErrorOf("vs_2_0\nendif"), "prog.psh:2: error: endif without if 'endif'");
  EXPECT_EQ(ErrorOf("vs_2_0\nif r0\nendif"), "prog.psh:2: error: if needs a boolean register 'r0'");
}

TEST(ShaderAsmErrors, PreprocessorErrors) {
  EXPECT_EQ(ErrorOf("ps_2_0\n#if FOO\n#endif"), "prog.psh:2: error: undefined name 'FOO' in expression '#if FOO'");
  EXPECT_EQ(ErrorOf("ps_2_0\n#if 1\n"), "prog.psh:2: error: #if without #endif '#if'");
  EXPECT_EQ(ErrorOf("ps_2_0\n#endif"), "prog.psh:2: error: #endif without #if '#endif'");
  EXPECT_EQ(ErrorOf("ps_2_0\n#if 0\n#else\n#else\n#endif"), "prog.psh:4: error: second #else '#else'");
  EXPECT_EQ(ErrorOf("ps_2_0\n#if (1 + 2\n#endif"), "prog.psh:2: error: missing ')' in expression '#if (1 + 2'");
  EXPECT_EQ(ErrorOf("ps_2_0\n#if 4 / 0\n#endif"), "prog.psh:2: error: division by zero in expression '#if 4 / 0'");
  EXPECT_EQ(ErrorOf("ps_2_0\n#if 1 $ 2\n#endif"), "prog.psh:2: error: unexpected character '$' in expression '#if 1 $ 2'");
  EXPECT_EQ(ErrorOf("ps_2_0\n#include \"x\""), "prog.psh:2: error: unknown directive '#include'");
  EXPECT_EQ(ErrorOf("ps_2_0\n#error variant not built"), "prog.psh:2: error: #error 'variant not built'");
  EXPECT_EQ(ErrorOf("ps_2_0\n#define F(x) x"), "prog.psh:2: error: macros with parameters are not supported 'F'");
  EXPECT_EQ(ErrorOf("ps_2_0\n#define A B\n#define B A\nmov r0, A"), "prog.psh:4: error: macro expansion does not end 'mov r0, A'");
  EXPECT_EQ(ErrorOf("ps_2_0\n/* open"), "prog.psh:2: error: unterminated comment '/*'");
  // a broken directive inside a skipped block is ignored, a broken line there too
  shaderasm::Result ok = shaderasm::Assemble("ps_2_0\n#if 0\n#bogus\nfoo r0\n#endif\n", "prog.psh", {});
  EXPECT_TRUE(ok.Ok) << ok.Error;
}

class ShaderAsmTool : public testing::Test {
 protected:
  std::filesystem::path Dir;
  void SetUp() override {
    Dir = std::filesystem::temp_directory_path() / ("shaderasm_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(Dir);
  }
  void TearDown() override { std::filesystem::remove_all(Dir); }
  void Write(const std::string &name, const std::string &text) { std::ofstream(Dir / name) << text; }
  int Run(const std::string &args, std::string &err) {
    std::string errFile = (Dir / "stderr.txt").string();
    int rc = std::system((std::string(SHADERASM_TOOL) + " " + args + " 2>" + errFile + " >/dev/null").c_str());
    std::ifstream in(errFile);
    err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  }
  int RunManifest(std::string &err) {
    return Run("--manifest " + (Dir / "tables.txt").string() + " --out-dir " + Dir.string(), err);
  }
};

TEST_F(ShaderAsmTool, ExitCodeAndMessageOfARefusedSource) {
  Write("bad.psh", "ps_2_0\ndcl t0\nmov r0, b0\n");
  std::string err;
  EXPECT_EQ(Run((Dir / "bad.psh").string(), err), 1);
  EXPECT_EQ(err, "bad.psh:3: error: register not available in ps_2_0 'b0'\n");
}

TEST_F(ShaderAsmTool, WritesTheTokenWordsOfOneProgram) {
  Write("ok.vsh", "vs_2_0\n#if SCALE\nmul oPos, c0, c1\n#else\nmov oPos, c0\n#endif\n");
  std::string err;
  ASSERT_EQ(Run("-DSCALE=1 " + (Dir / "ok.vsh").string() + " -o " + (Dir / "ok.bin").string(), err), 0) << err;
  std::ifstream in(Dir / "ok.bin", std::ios::binary);
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<unsigned char> expect = {0x00, 0x02, 0xFE, 0xFF, 0x05, 0x00, 0x00, 0x03, 0x00, 0x00, 0x0F, 0xC0,
                                       0x00, 0x00, 0xE4, 0xA0, 0x01, 0x00, 0xE4, 0xA0, 0xFF, 0xFF, 0x00, 0x00};
  EXPECT_EQ(bytes, expect);
}

TEST_F(ShaderAsmTool, ManifestErrorsNameTheTableAndVariant) {
  Write("a.psh", "ps_2_0\n#if VARIANT == 2\nmov r0, c99\n#endif\nmov oC0, c0\n");
  Write("tables.txt", "# comment\nTableA ps 3 a.psh\n");
  std::string err;
  EXPECT_EQ(RunManifest(err), 1);
  EXPECT_EQ(err, "a.psh:3: error: register number out of range for ps_2_0 'c99' (table TableA, variant 2)\n");

  Write("tables.txt", "TableA gs 3 a.psh\n");
  EXPECT_EQ(RunManifest(err), 1);
  EXPECT_NE(err.find("tables.txt:1: error: stage must be vs or ps 'gs'"), std::string::npos) << err;

  Write("tables.txt", "TableA vs 1 a.psh\n");
  Write("a.psh", "ps_2_0\nmov oC0, c0\n");
  EXPECT_EQ(RunManifest(err), 1);
  EXPECT_NE(err.find("table TableA wants a vertex program"), std::string::npos) << err;
}

TEST_F(ShaderAsmTool, TablesShareEqualProgramsAndKeepUnreachableEntriesNull) {
  Write("a.psh", "ps_2_0\n#if VARIANT == 1\n#pragma unreachable\n#endif\n#if VARIANT == 3\nmov oC0, c1\n#else\nmov oC0, c0\n#endif\n");
  Write("b.psh", "ps_2_0\nmov oC0, c1\n");
  Write("tables.txt", "TableA ps 4 a.psh\nTableB ps 1 b.psh\n");
  std::vector<shaderasm::TableSpec> specs;
  std::string error;
  ASSERT_TRUE(shaderasm::ReadManifest((Dir / "tables.txt").string(), specs, error)) << error;
  shaderasm::Build build;
  ASSERT_TRUE(shaderasm::BuildTables(specs, build, error)) << error;
  ASSERT_EQ(build.Tables.size(), 2u);
  EXPECT_EQ(build.Programs.size(), 2u);
  EXPECT_EQ(build.Tables[0].Entry, (std::vector<int>{0, -1, 0, 1}));
  EXPECT_EQ(build.Tables[0].Distinct, 2);
  EXPECT_EQ(build.Tables[1].Entry, (std::vector<int>{1}));
  std::string src = shaderasm::EmitSource(build, "shadercode.hpp");
  EXPECT_NE(src.find("{nullptr, 0},"), std::string::npos);
  EXPECT_NE(src.find("{Program1, 20},"), std::string::npos);  // version, mov (3 words), end: 20 bytes
}

}  // namespace

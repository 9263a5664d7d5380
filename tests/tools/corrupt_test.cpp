// Damaged sources: the assembler either accepts them with a well-formed stream or refuses
// them with a located message, and never crashes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "tools/shaderasm/asm.hpp"
#include "tools/shaderasm/preprocess.hpp"

namespace {

void ExpectSane(const shaderasm::Result &r, const std::string &text) {
  if (r.Ok) {
    if (r.Unreachable) return;
    ASSERT_GE(r.Code.size(), 2u) << text;
    EXPECT_EQ(r.Code.back(), 0x0000FFFFu) << text;
    EXPECT_TRUE((r.Code[0] & 0xFFFE0000u) == 0xFFFE0000u) << text;
  } else {
    EXPECT_NE(r.Error.find(": error: "), std::string::npos) << r.Error;
  }
}

TEST(ShaderAsmCorrupt, MutatedProgramSources) {
  std::mt19937 gen(1234);
  const std::string alphabet = "#[](),.-_;/*+ \n\tabcrvtsoxyzw0123456789ifdefendl";
  int files = 0;
  for (const auto &entry : std::filesystem::directory_iterator(SHADER_SOURCE_DIR)) {
    std::string ext = entry.path().extension().string();
    if (ext != ".vsh" && ext != ".psh") continue;
    files++;
    std::ifstream in(entry.path());
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string original = ss.str();
    for (int round = 0; round < 60; round++) {
      std::string text = original;
      int edits = 1 + int(gen() % 4);
      for (int e = 0; e < edits && !text.empty(); e++) {
        size_t at = gen() % text.size();
        switch (gen() % 3) {
          case 0: text[at] = alphabet[gen() % alphabet.size()]; break;
          case 1: text.erase(at, 1 + gen() % 8); break;
          default: text.insert(at, 1, alphabet[gen() % alphabet.size()]); break;
        }
      }
      ExpectSane(shaderasm::Assemble(text, "m.asm", {{"VARIANT", std::to_string(round % 8)}}), text);
    }
  }
  EXPECT_GT(files, 30);
}

TEST(ShaderAsmCorrupt, RandomBytes) {
  std::mt19937 gen(99);
  for (int round = 0; round < 500; round++) {
    std::string text = round % 2 ? "ps_2_0\n" : "";
    size_t n = gen() % 200;
    for (size_t i = 0; i < n; i++) text += char(gen() % 256);
    ExpectSane(shaderasm::Assemble(text, "r.asm", {}), "");
  }
}

TEST(ShaderAsmCorrupt, ExtremeNumbersInExpressionsAndOperands) {
  int64_t v = 0;
  std::string err;
  // overflowing arithmetic wraps instead of trapping
  EXPECT_TRUE(shaderasm::EvalExpression("(-9223372036854775807 - 1) / -1", {}, v, err)) << err;
  EXPECT_TRUE(shaderasm::EvalExpression("9223372036854775807 * 3 + 1", {}, v, err)) << err;
  EXPECT_TRUE(shaderasm::EvalExpression("(-9223372036854775807 - 1) % -1", {}, v, err)) << err;
  EXPECT_EQ(v, 0);
  EXPECT_TRUE(shaderasm::EvalExpression("1 << 99", {}, v, err));
  EXPECT_EQ(v, 0);
  // recursive names in expressions end with a message
  EXPECT_FALSE(shaderasm::EvalExpression("A", {{"A", "A + 1"}}, v, err));
  EXPECT_NE(err.find("too deeply"), std::string::npos) << err;
  auto error = [](const std::string &text) { return shaderasm::Assemble(text, "n.asm", {}).Error; };
  EXPECT_EQ(error("vs_2_0\ndcl_texcoord99999999999999 v0"), "n.asm:2: error: usage index out of range 'dcl_texcoord99999999999999'");
  EXPECT_EQ(error("vs_2_0\nmov r0, c[a0.x + 99999999999]"), "n.asm:2: error: bad relative address 'c[a0.x + 99999999999]'");
  EXPECT_EQ(error("vs_2_0\nmov r0, c99999999999"), "n.asm:2: error: bad register number 'c99999999999'");
  EXPECT_EQ(error("vs_2_0\ndef c0, 1e39, 0, 0, 0"), "n.asm:2: error: bad number '1e39'");
}

}  // namespace

// The assembler's preprocessor: expressions, conditional blocks and name substitution.
#include <gtest/gtest.h>

#include "tools/shaderasm/asm.hpp"
#include "tools/shaderasm/preprocess.hpp"

namespace {

int64_t Eval(const std::string &e, const std::map<std::string, std::string> &m = {}) {
  int64_t v = -999;
  std::string err;
  EXPECT_TRUE(shaderasm::EvalExpression(e, m, v, err)) << e << ": " << err;
  return v;
}

TEST(ShaderAsmPreprocessor, ExpressionPrecedence) {
  EXPECT_EQ(Eval("1 + 2 * 3"), 7);
  EXPECT_EQ(Eval("(1 + 2) * 3"), 9);
  EXPECT_EQ(Eval("10 - 4 - 3"), 3);
  EXPECT_EQ(Eval("1 | 2 & 0"), 1);
  EXPECT_EQ(Eval("1 + 2 == 3"), 1);
  EXPECT_EQ(Eval("!0 && 0 || 1"), 1);
  EXPECT_EQ(Eval("0x10 >> 2"), 4);
  EXPECT_EQ(Eval("7 % 4 <= 3"), 1);
  EXPECT_EQ(Eval("3 >= 4 ? 10 : 20"), 20);
}

TEST(ShaderAsmPreprocessor, NamesExpandAsWholeExpressions) {
  std::map<std::string, std::string> m = {{"VARIANT", "13"}, {"LOW", "VARIANT & 3"}, {"HIGH", "(VARIANT >> 2) & 3"}};
  EXPECT_EQ(Eval("LOW", m), 1);
  EXPECT_EQ(Eval("HIGH", m), 3);
  // a macro is evaluated on its own, as if parenthesised: 2 * (VARIANT & 3), not 2 * VARIANT & 3
  EXPECT_EQ(Eval("2 * LOW", m), 2);
  EXPECT_EQ(Eval("defined(LOW) + defined NOPE", m), 1);
}

TEST(ShaderAsmPreprocessor, ConditionalBlocks) {
  const char *src =
      "#if V == 0\nzero\n#elif V == 1\none\n#elif V < 4\nfew\n#else\nmany\n#endif\n"
      "#ifdef V\nhasv\n#endif\n#ifndef W\nnow\n#endif\n"
      "#if V\n#if 0\nhidden\n#else\nnested\n#endif\n#endif\n";
  auto lines = [&](const std::string &v) {
    shaderasm::Preprocessed p = shaderasm::Preprocess(src, "x", {{"V", v}});
    EXPECT_TRUE(p.Ok) << p.Error;
    std::string all;
    for (const auto &l : p.Lines) all += l.Text + ":" + std::to_string(l.Line) + " ";
    return all;
  };
  EXPECT_EQ(lines("0"), "zero:2 hasv:11 now:14 ");
  EXPECT_EQ(lines("1"), "one:4 hasv:11 now:14 nested:20 ");
  EXPECT_EQ(lines("3"), "few:6 hasv:11 now:14 nested:20 ");
  EXPECT_EQ(lines("9"), "many:8 hasv:11 now:14 nested:20 ");
}

TEST(ShaderAsmPreprocessor, SubstitutionLeavesSwizzlesAndNumbersAlone) {
  shaderasm::Preprocessed p = shaderasm::Preprocess(
      "#define LIGHT c5\n#define x r9\n#define e 7\nmad r0.x, LIGHT.x, 1e2, x ; comment\n"
      "#undef x\nmov r1, x // comment\nmov /* a */ r2, /* b */ r3\n",
      "x", {});
  ASSERT_TRUE(p.Ok) << p.Error;
  ASSERT_EQ(p.Lines.size(), 3u);
  EXPECT_EQ(p.Lines[0].Text, "mad r0.x, c5.x, 1e2, r9");
  EXPECT_EQ(p.Lines[1].Text, "mov r1, x");
  EXPECT_EQ(p.Lines[2].Text, "mov   r2,   r3");
}

TEST(ShaderAsmPreprocessor, UnreachableVariants) {
  const char *src = "ps_2_0\n#if VARIANT == 3\n#pragma unreachable\n#endif\nmov oC0, c0\n";
  shaderasm::Result a = shaderasm::Assemble(src, "x", {{"VARIANT", "3"}});
  EXPECT_TRUE(a.Ok);
  EXPECT_TRUE(a.Unreachable);
  EXPECT_TRUE(a.Code.empty());
  shaderasm::Result b = shaderasm::Assemble(src, "x", {{"VARIANT", "2"}});
  EXPECT_TRUE(b.Ok);
  EXPECT_FALSE(b.Unreachable);
  EXPECT_EQ(b.Code.size(), 5u);
}

}  // namespace

// Token words produced by the assembler, checked against words encoded by hand.
#include <gtest/gtest.h>

#include <cstring>

#include "tools/shaderasm/asm.hpp"

namespace {

using Words = std::vector<uint32_t>;

// Assembles `body` after a version line and returns the words between the version token
// and the end token.
Words Body(const std::string &version, const std::string &body) {
  shaderasm::Result r = shaderasm::Assemble(version + "\n" + body + "\n", "t.asm", {});
  EXPECT_TRUE(r.Ok) << r.Error;
  if (!r.Ok || r.Code.size() < 2) return {};
  EXPECT_EQ(r.Code.back(), 0x0000FFFFu);
  return Words(r.Code.begin() + 1, r.Code.end() - 1);
}

TEST(ShaderAsmEncoding, VersionAndEndTokens) {
  struct Case {
    const char *Version;
    uint32_t Token;
  } cases[] = {{"vs_2_0", 0xFFFE0200u}, {"ps_2_0", 0xFFFF0200u}, {"vs_3_0", 0xFFFE0300u}, {"ps_3_0", 0xFFFF0300u}};
  for (const Case &c : cases) {
    shaderasm::Result r = shaderasm::Assemble(c.Version, "t.asm", {});
    ASSERT_TRUE(r.Ok) << r.Error;
    EXPECT_EQ(r.Code, (Words{c.Token, 0x0000FFFFu})) << c.Version;
  }
}

TEST(ShaderAsmEncoding, RegisterKindsInBothFieldsOfTheType) {
  // destination tokens with the full mask: type low bits 28..30, high bits 11..12
  EXPECT_EQ(Body("vs_2_0", "mov r7, r0"), (Words{0x02000001u, 0x800F0007u, 0x80E40000u}));
  EXPECT_EQ(Body("vs_2_0", "mov oPos, r0")[1], 0xC00F0000u);
  EXPECT_EQ(Body("vs_2_0", "mov oD1, r0")[1], 0xD00F0001u);
  EXPECT_EQ(Body("vs_2_0", "mov oT7, r0")[1], 0xE00F0007u);
  EXPECT_EQ(Body("vs_3_0", "dcl_texcoord3 o5\nmov o5, r0")[4], 0xE00F0005u);
  EXPECT_EQ(Body("ps_2_0", "mov oC2, r0")[1], 0x800F0802u);
  EXPECT_EQ(Body("ps_2_0", "mov oDepth, r0")[1], 0x900F0800u);
  // source kinds (identity swizzle 0xE4)
  EXPECT_EQ(Body("vs_2_0", "mov r0, c255")[2], 0xA0E400FFu);
  EXPECT_EQ(Body("vs_2_0", "dcl_position v15\nmov r0, v15")[5], 0x90E4000Fu);
  EXPECT_EQ(Body("ps_2_0", "dcl t6\nmov r0, t6")[5], 0xB0E40006u);
  EXPECT_EQ(Body("ps_3_0", "mov r31, c223"), (Words{0x02000001u, 0x800F001Fu, 0xA0E400DFu}));
}

TEST(ShaderAsmEncoding, MasksSwizzlesAndModifiers) {
  // add r1.xy, -v2.yzxw, c3_abs.x
  Words w = Body("vs_2_0", "dcl_position v2\nadd r1.xy, -v2.yzxw, c3_abs.x");
  ASSERT_EQ(w.size(), 7u);
  EXPECT_EQ(w[3], 0x03000002u);
  EXPECT_EQ(w[4], 0x80030001u);
  EXPECT_EQ(w[5], 0x91C90002u);
  EXPECT_EQ(w[6], 0xAB000003u);
  // negated absolute value, colour letters, short swizzles repeat their last letter
  Words n = Body("ps_2_0", "mov r0.rgb, -c1_abs.bg");
  EXPECT_EQ(n[1], 0x80070000u);
  EXPECT_EQ(n[2], 0xAC560001u);  // swizzle z y y y = 0x56, modifier 12 (negated absolute)
}

TEST(ShaderAsmEncoding, ResultModifiers) {
  EXPECT_EQ(Body("ps_2_0", "mov_sat r0.w, r1")[1], 0x80180000u);
  EXPECT_EQ(Body("ps_2_0", "mul_pp r0, r1, r2")[1], 0x802F0000u);
  EXPECT_EQ(Body("ps_2_0", "mad_sat_pp r0.x, r1, r2, r3")[1], 0x80310000u);
  EXPECT_EQ(Body("vs_3_0", "mov_sat r0, r1")[1], 0x801F0000u);
}

TEST(ShaderAsmEncoding, OpcodeNumbers) {
  struct Case {
    const char *Version;
    const char *Text;
    uint32_t Token;  // the instruction token with its length
  } cases[] = {
      // one of each operand count, of the matrix group, the later numbers and the ps-only ones
      {"vs_2_0", "mov r0, r1", 0x02000001u},           {"vs_2_0", "add r0, r1, r2", 0x03000002u},
      {"vs_2_0", "mad r0, r1, r2, r3", 0x04000004u},   {"vs_2_0", "rsq r0, r1.x", 0x02000007u},
      {"vs_2_0", "sge r0, r1, r2", 0x0300000Du},       {"vs_2_0", "lrp r0, r1, r2, r3", 0x04000012u},
      {"vs_2_0", "m4x3 r0.xyz, r1, c0", 0x03000015u},  {"vs_2_0", "m3x2 r0.xy, r1, c0", 0x03000018u},
      {"vs_2_0", "nrm r0.xyz, r1", 0x02000024u},       {"vs_2_0", "logp r0, r1.x", 0x0200004Fu},
      {"ps_2_0", "cmp r0, r1, r2, r3", 0x04000058u},   {"ps_2_0", "dp2add r0, r1, r2, r3.x", 0x0400005Au},
      {"ps_2_0", "texkill r0", 0x01000041u},           {"vs_2_0", "nop", 0x00000000u},
  };
  for (const Case &c : cases) {
    Words w = Body(c.Version, c.Text);
    ASSERT_FALSE(w.empty()) << c.Text;
    EXPECT_EQ(w[0], c.Token) << c.Text;
  }
}

TEST(ShaderAsmEncoding, TextureInstructionsAndSamplerDeclarations) {
  Words w = Body("ps_2_0", "dcl t0.xy\ndcl_2d s0\ntexld r0, t0, s0");
  EXPECT_EQ(w, (Words{0x0200001Fu, 0x80000000u, 0xB0030000u,          // dcl t0.xy
                      0x0200001Fu, 0x90000000u, 0xA00F0800u,          // dcl_2d s0
                      0x03000042u, 0x800F0000u, 0xB0E40000u, 0xA0E40800u}));
  EXPECT_EQ(Body("ps_2_0", "dcl_cube s3")[1], 0x98000000u);
  EXPECT_EQ(Body("ps_2_0", "dcl_volume s15")[1], 0xA0000000u);
  EXPECT_EQ(Body("ps_2_0", "dcl_volume s15")[2], 0xA00F080Fu);
  EXPECT_EQ(Body("ps_2_0", "dcl_2d s1\ntexldp r0, r1, s1")[3], 0x03010042u);
  EXPECT_EQ(Body("ps_2_0", "dcl_2d s1\ntexldb r0, r1, s1")[3], 0x03020042u);
  EXPECT_EQ(Body("ps_3_0", "dcl_2d s1\ntexldl r0, r1, s1")[3], 0x0300005Fu);
  EXPECT_EQ(Body("vs_3_0", "dcl_2d s3\ntexldl r0, r1, s3")[6], 0xA0E40803u);
}

TEST(ShaderAsmEncoding, InputAndOutputDeclarations) {
  EXPECT_EQ(Body("vs_2_0", "dcl_texcoord1 v3"), (Words{0x0200001Fu, 0x80010005u, 0x900F0003u}));
  EXPECT_EQ(Body("vs_2_0", "dcl_position v0")[1], 0x80000000u);
  EXPECT_EQ(Body("vs_2_0", "dcl_normal v1")[1], 0x80000003u);
  EXPECT_EQ(Body("vs_2_0", "dcl_tangent v1")[1], 0x80000006u);
  EXPECT_EQ(Body("vs_2_0", "dcl_color1 v1")[1], 0x8001000Au);
  EXPECT_EQ(Body("vs_3_0", "dcl_texcoord8 o9"), (Words{0x0200001Fu, 0x80080005u, 0xE00F0009u}));
  EXPECT_EQ(Body("ps_3_0", "dcl_texcoord2 v4.xyz"), (Words{0x0200001Fu, 0x80020005u, 0x90070004u}));
  EXPECT_EQ(Body("ps_2_0", "dcl v1"), (Words{0x0200001Fu, 0x80000000u, 0x900F0001u}));
}

TEST(ShaderAsmEncoding, ConstantDefinitions) {
  EXPECT_EQ(Body("vs_2_0", "def c5, 1, 0.5, -2, 0"),
            (Words{0x05000051u, 0xA00F0005u, 0x3F800000u, 0x3F000000u, 0xC0000000u, 0x00000000u}));
  EXPECT_EQ(Body("vs_2_0", "defi i2, 1, -1, 3, 0x10"),
            (Words{0x05000030u, 0xF00F0002u, 1u, 0xFFFFFFFFu, 3u, 16u}));
  EXPECT_EQ(Body("vs_2_0", "defb b1, true"), (Words{0x0200002Fu, 0xE00F0801u, 1u}));
  EXPECT_EQ(Body("ps_3_0", "defb b15, false"), (Words{0x0200002Fu, 0xE00F080Fu, 0u}));
}

TEST(ShaderAsmEncoding, RelativeAddressingAddsTheAddressToken) {
  Words expect{0x03000001u, 0x800F0000u, 0xA0E42004u, 0xB0000000u};
  EXPECT_EQ(Body("vs_2_0", "mov r0, c[a0.x + 4]"), expect);
  EXPECT_EQ(Body("vs_2_0", "mov r0, c[4 + a0.x]"), expect);
  EXPECT_EQ(Body("vs_2_0", "mov r0, c4[a0.x]"), expect);
  // the address component is replicated into the swizzle of the address token
  EXPECT_EQ(Body("vs_3_0", "mov r0, -c[a0.w].y")[2], 0xA1552000u);
  EXPECT_EQ(Body("vs_3_0", "mov r0, -c[a0.w].y")[3], 0xB0FF0000u);
  EXPECT_EQ(Body("vs_2_0", "mova a0.x, r1.x"), (Words{0x0200002Eu, 0xB0010000u, 0x80000001u}));
}

TEST(ShaderAsmEncoding, SinCosOperandsDependOnTheModel) {
  EXPECT_EQ(Body("vs_2_0", "sincos r0.xy, r1.x, c2, c3"),
            (Words{0x04000025u, 0x80030000u, 0x80000001u, 0xA0E40002u, 0xA0E40003u}));
  EXPECT_EQ(Body("ps_3_0", "sincos r0.y, r1.w"), (Words{0x02000025u, 0x80020000u, 0x80FF0001u}));
}

TEST(ShaderAsmEncoding, StaticBranches) {
  EXPECT_EQ(Body("vs_2_0", "if b2\nmov r0, r1\nelse\nmov r0, r2\nendif"),
            (Words{0x01000028u, 0xE0E40802u, 0x02000001u, 0x800F0000u, 0x80E40001u, 0x0000002Au, 0x02000001u,
                   0x800F0000u, 0x80E40002u, 0x0000002Bu}));
}

}  // namespace

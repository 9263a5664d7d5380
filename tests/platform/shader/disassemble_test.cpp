#include <gtest/gtest.h>

#include "platform/shader/shader.hpp"
#include "streams.hpp"

using namespace shtest;
using plat::shader::Disassemble;

namespace {

std::string Dis(const Tokens &t) { return Disassemble(t.data(), t.size()); }

TEST(Disassemble, VertexModel2) {
  EXPECT_EQ(Dis(VertexStream()),
            "vs_2_0\n"
            "def c20, 1, 0.5, -2, 0.25\n"
            "dcl_position0 v0\n"
            "dcl_texcoord0 v1\n"
            "dcl_normal0 v2\n"
            "m4x4 oPos, v0, c0\n"
            "mova a0.x, c10.x\n"
            "mad r0.xy, v1, c[a0.x + 4].x, -r1_abs\n"
            "mov_sat oD0, c[a0.x]\n"
            "mov oT0.xy, r0\n"
            "dp3 r1.w, v2, v2\n"
            "rsq r1.w, r1.w\n"
            "mul oT1.xyz, v2, r1.w\n"
            "sincos r2.xy, c20.z, c21, c22\n"
            "mov oFog.x, -r2.y\n");
}

TEST(Disassemble, PixelModel3FlowControl) {
  EXPECT_EQ(Dis(FlowStream()),
            "ps_3_0\n"
            "defi i0, 3, 0, 1, 0\n"
            "defb b0, true\n"
            "dcl_texcoord1 v0.xy\n"
            "dcl_color0 v1\n"
            "dcl vPos.xy\n"
            "if b0\n"
            "rep i0\n"
            "add r0, r0, v1\n"
            "endrep\n"
            "else\n"
            "loop aL, i0\n"
            "add r0, r0, c[aL + 2]\n"
            "endloop\n"
            "endif\n"
            "if_lt r0.x, c0.y\n"
            "add r0.xy, r0, vPos\n"
            "endif\n"
            "setp_ge p0.x, r0, c1\n"
            "(!p0.x) mov r1, r0.zwzw\n"
            "mov oC0, r1\n"
            "mov oDepth.x, r1.x\n");
}

TEST(Disassemble, FaultyStreamsPrintUpToTheFault) {
  Tokens t = PixelStream();
  t.resize(t.size() - 3);   // cut inside the last instruction
  std::string text = Dis(t);
  EXPECT_NE(text.find("texkill t0\n// error: mov at token"), std::string::npos) << text;
  EXPECT_NE(text.find("runs past the end"), std::string::npos) << text;
  EXPECT_EQ(Dis({0x12345678u}), "// error: invalid version token 0x12345678\n");
  EXPECT_EQ(Dis({}), "// error: empty token stream\n");
  EXPECT_EQ(Dis({VS2, 0x00000080u | (1u << 24), Dst(TEMP, 0), END}),
            "vs_2_0\n// error: unknown opcode 0x0080 at token 1\n");
}

}  // namespace

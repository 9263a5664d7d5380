// What Parse reports about valid programs, and the streams it refuses.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common.hpp"
#include "platform/shader/shader.hpp"
#include "streams.hpp"

using namespace shtest;
using namespace plat::shader;
using ::testing::HasSubstr;

namespace {

bool P(const Tokens &t, ShaderInfo &info, std::string &err) { return Parse(t.data(), t.size(), info, err); }

bool SameSem(const Semantic &s, int usage, int index) { return s.Usage == usage && s.UsageIndex == index; }

TEST(ParseInfo, Model3Declarations) {
  ShaderInfo i;
  std::string err;
  ASSERT_TRUE(P(FlowStream(), i, err)) << err;
  ASSERT_EQ(i.Inputs.size(), 2u);
  EXPECT_TRUE(SameSem(i.Inputs[0].Sem, 5, 1));
  EXPECT_TRUE(SameSem(i.Inputs[1].Sem, 10, 0));
  EXPECT_TRUE(i.WritesDepth);
  EXPECT_EQ(i.ColorOutputs, 1);
  EXPECT_EQ(i.HighestConstF, 223);

  ASSERT_TRUE(P(Vertex3Stream(), i, err)) << err;
  ASSERT_EQ(i.Outputs.size(), 3u);   // position o0 excluded
  EXPECT_TRUE(SameSem(i.Outputs[0], 5, 0));
  EXPECT_TRUE(SameSem(i.Outputs[1], 5, 1));
  EXPECT_TRUE(SameSem(i.Outputs[2], 10, 0));
  EXPECT_EQ(i.Samplers[2], SamplerKind::Tex2D);
  EXPECT_EQ(i.HighestConstF, 7);
}

struct Refusal {
  const char *Name;
  Tokens Stream;
  const char *Message;
};
void PrintTo(const Refusal &r, std::ostream *os) { *os << r.Name; }

class ParseRefuses : public ::testing::TestWithParam<Refusal> {};

TEST_P(ParseRefuses, WithMessage) {
  ShaderInfo i;
  std::string err;
  const Refusal &r = GetParam();
  EXPECT_FALSE(P(r.Stream, i, err));
  EXPECT_THAT(err, HasSubstr(r.Message));
  // nothing is translated from a refused stream
  EXPECT_EQ(Translate(r.Stream.data(), r.Stream.size(), i, nullptr), "");
}

const uint32_t MovR0C0[] = {Ins(MOV, 2), Dst(TEMP, 0), Src(CONST, 0)};

INSTANTIATE_TEST_SUITE_P(
    Parse, ParseRefuses,
    ::testing::Values(
        Refusal{"empty", {}, "empty token stream"},
        Refusal{"bad_version", {0x12340200u, END}, "invalid version token 0x12340200"},
        Refusal{"model_1", {0xFFFE0101u, END}, "unsupported shader version 0xFFFE0101"},
        Refusal{"model_4", {0xFFFF0400u, END}, "unsupported shader version"},
        Refusal{"no_end", {PS2, MovR0C0[0], MovR0C0[1], MovR0C0[2]}, "missing end token"},
        Refusal{"only_version", {VS3}, "missing end token"},
        Refusal{"truncated", {PS2, Ins(MAD, 4), Dst(TEMP, 0), Src(CONST, 0)}, "mad at token 1: instruction runs past the end"},
        Refusal{"huge_length", {PS2, Ins(MOV, 15), Dst(TEMP, 0), Src(CONST, 0), END}, "mov at token 1: instruction runs past the end"},
        Refusal{"length_mismatch", {PS2, Ins(MOV, 3), Dst(TEMP, 0), Src(CONST, 0), Src(CONST, 1), END}, "mov at token 1: length 3 does not match"},
        Refusal{"short_length", {PS2, Ins(ADD, 2), Dst(TEMP, 0), Src(CONST, 0), END}, "add at token 1: missing source parameter"},
        Refusal{"unknown_opcode", {PS2, Ins(0x80, 1), Dst(TEMP, 0), END}, "unknown opcode 0x0080 at token 1"},
        Refusal{"unsupported_opcode", {VS2, Ins(CALL, 1), Src(18, 0), END}, "call at token 1: instruction is not supported"},
        Refusal{"comment_past_end", {PS2, 0x0010FFFEu, 1, 2, END}, "comment at token 1 runs past the end"},
        Refusal{"param_as_instruction", {PS2, Dst(TEMP, 0), END}, "token 1 (0x800F0000) is not an instruction"},
        Refusal{"bad_param_token", {PS2, Ins(MOV, 2), 0x000F0000u, Src(CONST, 0), END}, "mov at token 1: malformed destination token"},
        Refusal{"temp_out_of_range", {PS2, Ins(MOV, 2), Dst(TEMP, 12), Src(CONST, 0), END}, "register r12 out of range"},
        Refusal{"const_out_of_range_ps2", {PS2, Ins(MOV, 2), Dst(TEMP, 0), Src(CONST, 32), END}, "register c32 out of range"},
        Refusal{"const_out_of_range_vs", {VS3, Ins(MOV, 2), Dst(TEMP, 0), Src(CONST, 256), END}, "register c256 out of range"},
        Refusal{"register_number_max", {PS3, Ins(MOV, 2), Dst(TEMP, 2047), Src(CONST, 0), END}, "register r2047 out of range"},
        Refusal{"vs_sampler_out_of_range", {VS3, Ins(DCL, 2), DclSampler(2), Dst(SAMPLER, 4), END}, "register s4 out of range"},
        Refusal{"vs2_has_no_samplers", {VS2, Ins(DCL, 2), DclSampler(2), Dst(SAMPLER, 0), END}, "register type 10 does not exist"},
        Refusal{"ps_writes_rastout", {PS2, Ins(MOV, 2), Dst(RASTOUT, 0), Src(CONST, 0), END}, "register type 4 does not exist"},
        Refusal{"write_input", {VS2, Ins(MOV, 2), Dst(INPUT, 0), Src(CONST, 0), END}, "v0 cannot be written"},
        Refusal{"read_output", {VS3, Ins(DCL, 2), DclUsage(5, 0), Dst(OUTPUT, 1), Ins(MOV, 2), Dst(TEMP, 0), Src(OUTPUT, 1), END}, "o1 cannot be read"},
        Refusal{"undeclared_input", {VS2, Ins(MOV, 2), Dst(RASTOUT, 0), Src(INPUT, 3), END}, "mov at token 1: v3 is read but not declared"},
        Refusal{"undeclared_sampler", {PS2, Ins(TEX, 3), Dst(TEMP, 0), Src(CONST, 0), Src(SAMPLER, 5), END}, "texld at token 1: s5 is read but not declared"},
        Refusal{"undeclared_output", {VS3, Ins(MOV, 2), Dst(OUTPUT, 3), Src(CONST, 0), END}, "o3 is written but not declared"},
        Refusal{"declared_twice", {PS2, Ins(DCL, 2), DclSampler(2), Dst(SAMPLER, 0), Ins(DCL, 2), DclSampler(3), Dst(SAMPLER, 0), END}, "dcl at token 4: s0 declared twice"},
        Refusal{"overlapping_pack", {VS3, Ins(DCL, 2), DclUsage(5, 0), Dst(OUTPUT, 1, 0x3), Ins(DCL, 2), DclUsage(5, 1), Dst(OUTPUT, 1, 0x6), END}, "o1 declared twice"},
        Refusal{"semantic_twice", {VS3, Ins(DCL, 2), DclUsage(5, 0), Dst(OUTPUT, 1), Ins(DCL, 2), DclUsage(5, 0), Dst(OUTPUT, 2), END}, "output semantic declared twice"},
        Refusal{"bad_usage", {VS2, Ins(DCL, 2), DclUsage(14, 0), Dst(INPUT, 0), END}, "invalid declaration usage 14/0"},
        Refusal{"bad_sampler_type", {PS2, Ins(DCL, 2), DclSampler(7), Dst(SAMPLER, 0), END}, "unsupported sampler type 7"},
        Refusal{"texld_in_vs", {VS3, Ins(TEX, 3), Dst(TEMP, 0), Src(CONST, 0), Src(SAMPLER, 0), END}, "texld at token 1: not available in vertex shaders"},
        Refusal{"mova_in_ps", {PS3, Ins(MOVA, 2), Dst(ADDR, 0), Src(CONST, 0), END}, "mova at token 1: not available in pixel shaders"},
        Refusal{"texld_needs_sampler", {PS2, Ins(TEX, 3), Dst(TEMP, 0), Src(CONST, 0), Src(CONST, 1), END}, "second source must be a sampler"},
        Refusal{"sampler_as_float", {PS2, Ins(DCL, 2), DclSampler(2), Dst(SAMPLER, 0), Ins(MOV, 2), Dst(TEMP, 0), Src(SAMPLER, 0), END}, "s0 cannot be used as a float source"},
        Refusal{"old_modifier", {PS2, Ins(MOV, 2), Dst(TEMP, 0), Src(CONST, 0, XYZW, 2), END}, "source modifier 2 is not supported"},
        Refusal{"result_shift", {PS2, Ins(MOV, 2), Dst(TEMP, 0) | (1u << 24), Src(CONST, 0), END}, "result shift is not allowed"},
        Refusal{"empty_mask", {PS2, Ins(MOV, 2), Dst(TEMP, 0, 0), Src(CONST, 0), END}, "empty write mask"},
        Refusal{"relative_temp", {VS2, Ins(MOV, 3), Dst(TEMP, 0), Src(TEMP, 0) | RelBit, Src(ADDR, 0), END}, "relative addressing of r0 is not supported"},
        Refusal{"relative_in_ps2", {PS2, Ins(MOV, 3), Dst(TEMP, 0), Src(CONST, 0) | RelBit, Src(ADDR, 0), END}, "invalid relative address register"},
        Refusal{"relative_token_missing", {VS2, Ins(MOV, 2), Dst(TEMP, 0), Src(CONST, 0) | RelBit, END}, "missing relative address token"},
        Refusal{"relative_dst", {VS2, Ins(MOV, 2), Dst(TEMP, 0) | RelBit, Src(CONST, 0), END}, "relative addressing of a destination"},
        Refusal{"aL_outside_loop", {PS3, Ins(MOV, 3), Dst(TEMP, 0), Src(CONST, 0) | RelBit, Src(LOOP, 0), END}, "aL used outside a loop"},
        Refusal{"else_without_if", {PS3, Ins(ELSE, 0), END}, "else at token 1: else without if"},
        Refusal{"endif_without_if", {PS3, Ins(ENDIF, 0), END}, "endif without if"},
        Refusal{"missing_endif", {PS3, Ins(IF, 1), Src(CONSTBOOL, 0), END}, "missing endif"},
        Refusal{"missing_endrep", {PS3, Ins(REP, 1), Src(CONSTINT, 0), END}, "missing endrep"},
        Refusal{"break_outside_loop", {PS3, Ins(BREAK, 0), END}, "break outside a loop"},
        Refusal{"double_else", {PS3, Ins(IF, 1), Src(CONSTBOOL, 0), Ins(ELSE, 0), Ins(ELSE, 0), Ins(ENDIF, 0), END}, "else without if"},
        Refusal{"if_on_float", {PS3, Ins(IF, 1), Src(CONST, 0), Ins(ENDIF, 0), END}, "if needs a boolean"},
        Refusal{"bad_comparison", {PS3, Ins(IFC, 2, 7), Src(CONST, 0), Src(CONST, 1), Ins(ENDIF, 0), END}, "invalid comparison"},
        Refusal{"flow_in_ps2", {PS2, Ins(IF, 1), Src(CONSTBOOL, 0), Ins(ENDIF, 0), END}, "register type 14 does not exist"},
        Refusal{"sincos_writes_z", {PS3, Ins(SINCOS, 2), Dst(TEMP, 0, 0x7), Src(CONST, 0, XXXX), END}, "sincos writes .x, .y or .xy only"},
        Refusal{"matrix_rows_out_of_range", {VS2, Ins(DCL, 2), DclUsage(0, 0), Dst(INPUT, 0), Ins(M4x4, 3), Dst(RASTOUT, 0), Src(INPUT, 0), Src(CONST, 253), END}, "register c253 out of range"},
        Refusal{"def_wrong_register", {PS2, Ins(DEF, 5), Dst(TEMP, 0), 0, 0, 0, 0, END}, "wrong register type for def"},
        Refusal{"def_truncated_values", {PS2, Ins(DEF, 3), Dst(CONST, 0), 0, 0, END}, "missing constant value"},
        Refusal{"predicate_in_ps2", {PS2, Ins(SETP, 3, 1), Dst(PREDICATE, 0), Src(CONST, 0), Src(CONST, 1), END}, "register type 19 does not exist"},
        Refusal{"predicated_with_bad_register", {PS3, Ins(MOV, 3) | 0x10000000u, Dst(TEMP, 0), Src(TEMP, 1), Src(CONST, 0), END}, "invalid predicate"},
        Refusal{"vface", {PS3, Ins(DCL, 2), 0x80000000u, Dst(MISC, 1), END}, "register vFace out of range"},
        Refusal{"coissue", {PS2, Ins(MOV, 2) | 0x40000000u, Dst(TEMP, 0), Src(CONST, 0), END}, "co-issue"}),
    [](const ::testing::TestParamInfo<Refusal> &i) { return std::string(i.param.Name); });

}  // namespace

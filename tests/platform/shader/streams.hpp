#pragma once
// Representative token streams, written out token by token, shared by the disassembler,
// parser and mutation tests.

#include "tokens.hpp"

namespace shtest {

// vs_2_0 with a comment block, def, declarations, matrix, relative addressing, modifiers
inline Tokens VertexStream() {
  return {VS2,
          0x0002FFFEu, 0x12345678u, 0x9ABCDEF0u,   // comment, skipped
          Ins(DEF, 5), Dst(CONST, 20), F(1), F(0.5f), F(-2), F(0.25f),
          Ins(DCL, 2), DclUsage(0, 0), Dst(INPUT, 0),
          Ins(DCL, 2), DclUsage(5, 0), Dst(INPUT, 1),
          Ins(DCL, 2), DclUsage(3, 0), Dst(INPUT, 2),
          Ins(M4x4, 3), Dst(RASTOUT, 0), Src(INPUT, 0), Src(CONST, 0),
          Ins(MOVA, 2), Dst(ADDR, 0, 0x1), Src(CONST, 10, XXXX),
          Ins(MAD, 5), Dst(TEMP, 0, 0x3), Src(INPUT, 1), Src(CONST, 4, XXXX) | RelBit, Src(ADDR, 0, XXXX), Src(TEMP, 1, XYZW, ABSNEG),
          Ins(MOV, 3), Dst(ATTROUT, 0, 0xF, SAT), Src(CONST, 0) | RelBit, Src(ADDR, 0, XXXX),
          Ins(MOV, 2), Dst(OUTPUT, 0, 0x3), Src(TEMP, 0),
          Ins(DP3, 3), Dst(TEMP, 1, 0x8), Src(INPUT, 2), Src(INPUT, 2),
          Ins(RSQ, 2), Dst(TEMP, 1, 0x8), Src(TEMP, 1, WWWW),
          Ins(MUL, 3), Dst(OUTPUT, 1, 0x7), Src(INPUT, 2), Src(TEMP, 1, WWWW),
          Ins(SINCOS, 4), Dst(TEMP, 2, 0x3), Src(CONST, 20, ZZZZ), Src(CONST, 21), Src(CONST, 22),
          Ins(MOV, 2), Dst(RASTOUT, 1, 0x1), Src(TEMP, 2, YYYY, NEG),
          END};
}

// ps_2_0 with texture lookups of each kind, cmp, texkill
inline Tokens PixelStream() {
  return {PS2,
          Ins(DCL, 2), 0x80000000u, Dst(TEXTURE, 0, 0x3),
          Ins(DCL, 2), 0x80000000u, Dst(INPUT, 0),
          Ins(DCL, 2), DclSampler(2), Dst(SAMPLER, 0),
          Ins(DCL, 2), DclSampler(3), Dst(SAMPLER, 1),
          Ins(TEX, 3), Dst(TEMP, 0), Src(TEXTURE, 0), Src(SAMPLER, 0),
          Ins(TEX, 3, 1), Dst(TEMP, 1), Src(TEXTURE, 0), Src(SAMPLER, 0),
          Ins(TEX, 3, 2), Dst(TEMP, 2, 0xF, PP), Src(TEXTURE, 0), Src(SAMPLER, 1),
          Ins(MUL, 3), Dst(TEMP, 0, 0xF, SAT), Src(TEMP, 0), Src(INPUT, 0),
          Ins(CMP, 4), Dst(TEMP, 0, 0x8), Src(TEMP, 0, XXXX, NEG), Src(CONST, 0, XXXX), Src(TEMP, 1, YYYY),
          Ins(TEXKILL, 1), Dst(TEXTURE, 0),
          Ins(MOV, 2), Dst(COLOROUT, 0), Src(TEMP, 0),
          END};
}

// ps_3_0 with integer and boolean constants, flow control, predicates, vPos and oDepth
inline Tokens FlowStream() {
  return {PS3,
          Ins(DEFI, 5), Dst(CONSTINT, 0), 3, 0, 1, 0,
          Ins(DEFB, 2), Dst(CONSTBOOL, 0), 1,
          Ins(DCL, 2), DclUsage(5, 1), Dst(INPUT, 0, 0x3),
          Ins(DCL, 2), DclUsage(10, 0), Dst(INPUT, 1),
          Ins(DCL, 2), 0x80000000u, Dst(MISC, 0, 0x3),
          Ins(IF, 1), Src(CONSTBOOL, 0),
          Ins(REP, 1), Src(CONSTINT, 0),
          Ins(ADD, 3), Dst(TEMP, 0), Src(TEMP, 0), Src(INPUT, 1),
          Ins(ENDREP, 0),
          Ins(ELSE, 0),
          Ins(LOOPOP, 2), Src(LOOP, 0), Src(CONSTINT, 0),
          Ins(ADD, 4), Dst(TEMP, 0), Src(TEMP, 0), Src(CONST, 2) | RelBit, Src(LOOP, 0),
          Ins(ENDLOOP, 0),
          Ins(ENDIF, 0),
          Ins(IFC, 2, 4), Src(TEMP, 0, XXXX), Src(CONST, 0, YYYY),
          Ins(ADD, 3), Dst(TEMP, 0, 0x3), Src(TEMP, 0), Src(MISC, 0),
          Ins(ENDIF, 0),
          Ins(SETP, 3, 3), Dst(PREDICATE, 0, 0x1), Src(TEMP, 0), Src(CONST, 1),
          Ins(MOV, 3) | 0x10000000u, Dst(TEMP, 1), Src(PREDICATE, 0, XXXX, NOT), Src(TEMP, 0, Swz(2, 3, 2, 3)),
          Ins(MOV, 2), Dst(COLOROUT, 0), Src(TEMP, 1),
          Ins(MOV, 2), Dst(DEPTHOUT, 0, 0x1), Src(TEMP, 1, XXXX),
          END};
}

// vs_3_0 with declared outputs (one register packing two semantics) and a vertex texture
inline Tokens Vertex3Stream() {
  return {VS3,
          Ins(DCL, 2), DclUsage(0, 0), Dst(INPUT, 0),
          Ins(DCL, 2), DclUsage(10, 0), Dst(INPUT, 3),
          Ins(DCL, 2), DclUsage(0, 0), Dst(OUTPUT, 0),
          Ins(DCL, 2), DclUsage(5, 0), Dst(OUTPUT, 1, 0x3),
          Ins(DCL, 2), DclUsage(5, 1), Dst(OUTPUT, 1, 0xC),
          Ins(DCL, 2), DclUsage(10, 0), Dst(OUTPUT, 2),
          Ins(DCL, 2), DclSampler(2), Dst(SAMPLER, 2),
          Ins(DP4, 3), Dst(OUTPUT, 0, 0x1), Src(INPUT, 0), Src(CONST, 0),
          Ins(DP4, 3), Dst(OUTPUT, 0, 0x2), Src(INPUT, 0), Src(CONST, 1),
          Ins(DP4, 3), Dst(OUTPUT, 0, 0x4), Src(INPUT, 0), Src(CONST, 2),
          Ins(DP4, 3), Dst(OUTPUT, 0, 0x8), Src(INPUT, 0), Src(CONST, 3),
          Ins(TEXLDL, 3), Dst(TEMP, 0), Src(INPUT, 0), Src(SAMPLER, 2),
          Ins(LRP, 4), Dst(OUTPUT, 2), Src(CONST, 7, WWWW), Src(TEMP, 0), Src(INPUT, 3),
          Ins(NRM, 2), Dst(TEMP, 1, 0x7), Src(INPUT, 0),
          Ins(CRS, 3), Dst(OUTPUT, 1, 0x7), Src(TEMP, 1), Src(CONST, 6),
          END};
}

}  // namespace shtest

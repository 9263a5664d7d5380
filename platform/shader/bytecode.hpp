#pragma once
// The shader token format and its decoded form, shared by the parser, the GLSL writer and
// the disassembler.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/shader/shader.hpp"

namespace plat::shader {

namespace tok {
// version and special tokens
constexpr uint32_t VertexVersion = 0xFFFE0000u;   // | major << 8 | minor
constexpr uint32_t PixelVersion = 0xFFFF0000u;
constexpr uint32_t End = 0x0000FFFFu;
constexpr uint32_t CommentOpcode = 0xFFFEu;       // length in bits 16..30
constexpr uint32_t PhaseOpcode = 0xFFFDu;

// instruction token
constexpr uint32_t OpcodeMask = 0x0000FFFFu;
constexpr uint32_t ControlMask = 0x00FF0000u;
constexpr int ControlShift = 16;
constexpr uint32_t LengthMask = 0x0F000000u;
constexpr int LengthShift = 24;
constexpr uint32_t Predicated = 0x10000000u;
constexpr uint32_t CoIssue = 0x40000000u;
constexpr uint32_t TexldProject = 0x00010000u;   // texld -> texldp
constexpr uint32_t TexldBias = 0x00020000u;      // texld -> texldb

// parameter tokens (bit 31 always set)
constexpr uint32_t ParamBit = 0x80000000u;
constexpr uint32_t RegNumMask = 0x000007FFu;
constexpr uint32_t RelativeBit = 0x00002000u;
constexpr uint32_t WriteMaskMask = 0x000F0000u;
constexpr int WriteMaskShift = 16;
constexpr uint32_t ResultModMask = 0x00F00000u;
constexpr int ResultModShift = 20;
constexpr uint32_t ShiftMask = 0x0F000000u;
constexpr uint32_t SwizzleMask = 0x00FF0000u;
constexpr int SwizzleShift = 16;
constexpr uint32_t SrcModMask = 0x0F000000u;
constexpr int SrcModShift = 24;
inline int RegType(uint32_t t) { return int(((t >> 28) & 7u) | ((t >> 8) & 0x18u)); }

// result modifiers
constexpr int ModSaturate = 1;
constexpr int ModPartialPrecision = 2;
constexpr int ModCentroid = 4;

// dcl token
constexpr uint32_t UsageMask = 0x0000001Fu;
constexpr uint32_t UsageIndexMask = 0x000F0000u;
constexpr int UsageIndexShift = 16;
constexpr uint32_t TextureTypeMask = 0x78000000u;
constexpr int TextureTypeShift = 27;
constexpr int TexType2D = 2, TexTypeCube = 3, TexTypeVolume = 4;
}  // namespace tok

// register types
enum RegType : int {
  RegTemp = 0, RegInput = 1, RegConst = 2, RegAddr = 3 /* PS: texture coordinate t# */,
  RegRastOut = 4, RegAttrOut = 5, RegOutput = 6 /* 2.0: oT#, 3.0: o# */, RegConstInt = 7,
  RegColorOut = 8, RegDepthOut = 9, RegSampler = 10, RegConst2 = 11, RegConst3 = 12,
  RegConst4 = 13, RegConstBool = 14, RegLoop = 15, RegTempFloat16 = 16, RegMisc = 17,
  RegLabel = 18, RegPredicate = 19,
};

// source modifiers
enum SrcMod : int {
  SrcNone = 0, SrcNeg = 1, SrcBias = 2, SrcBiasNeg = 3, SrcSign = 4, SrcSignNeg = 5,
  SrcComp = 6, SrcX2 = 7, SrcX2Neg = 8, SrcDz = 9, SrcDw = 10, SrcAbs = 11, SrcAbsNeg = 12,
  SrcNot = 13,
};

// opcodes
enum Opcode : int {
  OpNop = 0, OpMov = 1, OpAdd = 2, OpSub = 3, OpMad = 4, OpMul = 5, OpRcp = 6, OpRsq = 7,
  OpDp3 = 8, OpDp4 = 9, OpMin = 10, OpMax = 11, OpSlt = 12, OpSge = 13, OpExp = 14, OpLog = 15,
  OpLit = 16, OpDst = 17, OpLrp = 18, OpFrc = 19, OpM4x4 = 20, OpM4x3 = 21, OpM3x4 = 22,
  OpM3x3 = 23, OpM3x2 = 24, OpCall = 25, OpCallNz = 26, OpLoop = 27, OpRet = 28,
  OpEndLoop = 29, OpLabel = 30, OpDcl = 31, OpPow = 32, OpCrs = 33, OpSgn = 34, OpAbs = 35,
  OpNrm = 36, OpSinCos = 37, OpRep = 38, OpEndRep = 39, OpIf = 40, OpIfc = 41, OpElse = 42,
  OpEndIf = 43, OpBreak = 44, OpBreakc = 45, OpMova = 46, OpDefB = 47, OpDefI = 48,
  OpTexCoord = 64, OpTexKill = 65, OpTex = 66, OpExpp = 78, OpLogp = 79, OpCnd = 80,
  OpDef = 81, OpCmp = 88, OpBem = 89, OpDp2Add = 90, OpDsx = 91, OpDsy = 92, OpTexldd = 93,
  OpSetp = 94, OpTexldl = 95, OpBreakp = 96,
};

// comparison numbers of ifc, breakc and setp (instruction control bits)
enum Compare : int { CmpGt = 1, CmpEq = 2, CmpGe = 3, CmpLt = 4, CmpNe = 5, CmpLe = 6 };

struct Register {
  int Type = 0;
  int Num = 0;
  bool Relative = false;   // Num + address register component
  int RelType = 0;         // RegAddr (a0) or RegLoop (aL)
  int RelNum = 0;
  int RelComp = 0;         // component of the address register, 0..3
};

struct DstParam {
  Register Reg;
  uint8_t Mask = 0xF;      // bit 0 = x .. bit 3 = w
  bool Saturate = false;
  bool PartialPrecision = false;
  bool Centroid = false;
};

struct SrcParam {
  Register Reg;
  uint8_t Swizzle[4] = {0, 1, 2, 3};
  int Mod = SrcNone;
};

struct Instruction {
  int Op = 0;
  int Control = 0;         // instruction control bits (comparison, texld variant)
  size_t Offset = 0;       // token index of the instruction token
  std::string Name;        // assembly name with its control suffix ("texldp", "setp_gt")
  bool HasDst = false;
  DstParam Dst;
  int NumSrc = 0;
  SrcParam Src[4];
  bool Predicated = false;
  SrcParam Pred;
  // dcl: usage, usage index and sampler type; def/defi/defb: the raw value tokens
  int DclUsage = 0, DclIndex = 0, DclTexType = 0;
  uint32_t Values[4] = {0, 0, 0, 0};
};

struct Program {
  Stage Kind = Stage::Vertex;
  int Major = 0, Minor = 0;
  std::vector<Instruction> Code;
};

// Decodes and validates a token stream. On failure returns false with the reason; `out`
// then holds the instructions decoded before the fault (for the disassembler).
bool Decode(const uint32_t *tokens, size_t count, Program &out, std::string &error);

// Assembly text of one register, parameter or instruction (shared by the disassembler and
// the error messages).
std::string RegisterName(const Program &p, const Register &r);
std::string DstText(const Program &p, const DstParam &d);
std::string SrcText(const Program &p, const SrcParam &s);
std::string InstructionText(const Program &p, const Instruction &in);

}  // namespace plat::shader

#pragma once
// Hand encoding of shader tokens for the tests. The numbers are written out here on purpose
// (not taken from the translator's own headers) so that a wrong constant on either side
// shows up as a failing test.

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace shtest {

using Tokens = std::vector<uint32_t>;

constexpr uint32_t VS2 = 0xFFFE0200u, VS3 = 0xFFFE0300u, PS2 = 0xFFFF0200u, PS3 = 0xFFFF0300u;
constexpr uint32_t END = 0x0000FFFFu;

// register types
enum : uint32_t {
  TEMP = 0, INPUT = 1, CONST = 2, ADDR = 3, TEXTURE = 3, RASTOUT = 4, ATTROUT = 5, OUTPUT = 6,
  CONSTINT = 7, COLOROUT = 8, DEPTHOUT = 9, SAMPLER = 10, CONSTBOOL = 14, LOOP = 15, MISC = 17,
  PREDICATE = 19,
};
// opcodes
enum : uint32_t {
  NOP = 0, MOV = 1, ADD = 2, SUB = 3, MAD = 4, MUL = 5, RCP = 6, RSQ = 7, DP3 = 8, DP4 = 9,
  MIN = 10, MAX = 11, SLT = 12, SGE = 13, EXP = 14, LOG = 15, LIT = 16, DST = 17, LRP = 18,
  FRC = 19, M4x4 = 20, M4x3 = 21, M3x4 = 22, M3x3 = 23, M3x2 = 24, CALL = 25, LOOPOP = 27,
  ENDLOOP = 29, DCL = 31, POW = 32, CRS = 33, SGN = 34, ABS = 35, NRM = 36, SINCOS = 37,
  REP = 38, ENDREP = 39, IF = 40, IFC = 41, ELSE = 42, ENDIF = 43, BREAK = 44, BREAKC = 45,
  MOVA = 46, DEFB = 47, DEFI = 48, TEXKILL = 65, TEX = 66, EXPP = 78, LOGP = 79, DEF = 81,
  CMP = 88, DP2ADD = 90, DSX = 91, DSY = 92, SETP = 94, TEXLDL = 95, BREAKP = 96,
};
// source modifiers
enum : uint32_t { NEG = 1, ABSMOD = 11, ABSNEG = 12, NOT = 13 };
// result modifiers
enum : uint32_t { SAT = 1, PP = 2 };
// swizzles (x = 0 .. w = 3, two bits a component)
constexpr uint32_t Swz(int x, int y, int z, int w) { return uint32_t(x | y << 2 | z << 4 | w << 6); }
constexpr uint32_t XYZW = Swz(0, 1, 2, 3), XXXX = Swz(0, 0, 0, 0), YYYY = Swz(1, 1, 1, 1),
                   ZZZZ = Swz(2, 2, 2, 2), WWWW = Swz(3, 3, 3, 3);

constexpr uint32_t RegBits(uint32_t type, uint32_t num) {
  return 0x80000000u | ((type & 7u) << 28) | ((type & 0x18u) << 8) | (num & 0x7FFu);
}
// instruction token with its length (tokens that follow it)
constexpr uint32_t Ins(uint32_t op, uint32_t len, uint32_t control = 0) {
  return op | (control << 16) | (len << 24);
}
constexpr uint32_t Dst(uint32_t type, uint32_t num, uint32_t mask = 0xF, uint32_t mod = 0) {
  return RegBits(type, num) | (mask << 16) | (mod << 20);
}
constexpr uint32_t Src(uint32_t type, uint32_t num, uint32_t swz = XYZW, uint32_t mod = 0) {
  return RegBits(type, num) | (swz << 16) | (mod << 24);
}
constexpr uint32_t RelBit = 0x2000u;
// dcl token for inputs/outputs: usage, index; for samplers: texture type (2 2D, 3 cube, 4 volume)
constexpr uint32_t DclUsage(uint32_t usage, uint32_t index) { return 0x80000000u | usage | (index << 16); }
constexpr uint32_t DclSampler(uint32_t type) { return 0x80000000u | (type << 27); }

inline uint32_t F(float f) {
  uint32_t u;
  __builtin_memcpy(&u, &f, 4);
  return u;
}

inline void Add(Tokens &t, std::initializer_list<uint32_t> l) { t.insert(t.end(), l); }

}  // namespace shtest

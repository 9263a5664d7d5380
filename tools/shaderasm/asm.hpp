// Shader assembler: shader model 2.0 / 3.0 assembly text -> Direct3D 9 token streams.
//
// The source first passes a small C-like preprocessor (#define, #undef, #if, #elif, #else,
// #endif, #ifdef, #ifndef, #error, #pragma unreachable), then each remaining line is one
// statement: the version ("vs_2_0", "ps_3_0", ...), def/defb/defi, dcl or an instruction.
// Comments start with ';' or '//' and run to the end of the line; '/* */' blocks are
// accepted too.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace shaderasm {

// Token stream words of the format (our own notes of the binary layout).
namespace tok {
constexpr uint32_t End = 0x0000FFFF;
constexpr uint32_t VertexVersion(int major, int minor) { return 0xFFFE0000u | (major << 8) | minor; }
constexpr uint32_t PixelVersion(int major, int minor) { return 0xFFFF0000u | (major << 8) | minor; }

// instruction token: opcode bits 0..15, control 16..23, length (tokens after it) 24..27
enum Opcode : uint32_t {
  Nop = 0, Mov = 1, Add = 2, Sub = 3, Mad = 4, Mul = 5, Rcp = 6, Rsq = 7, Dp3 = 8, Dp4 = 9,
  Min = 10, Max = 11, Slt = 12, Sge = 13, Exp = 14, Log = 15, Lit = 16, Dst = 17, Lrp = 18,
  Frc = 19, M4x4 = 20, M4x3 = 21, M3x4 = 22, M3x3 = 23, M3x2 = 24, Dcl = 31, Pow = 32,
  Crs = 33, Sgn = 34, Abs = 35, Nrm = 36, SinCos = 37, If = 40, Else = 42, EndIf = 43,
  Mova = 46, DefB = 47, DefI = 48, TexKill = 65, Tex = 66, ExpP = 78, LogP = 79, Def = 81,
  Cmp = 88, Dp2Add = 90, TexLdl = 95,
};
constexpr uint32_t TexLdProject = 1u << 16;  // texldp
constexpr uint32_t TexLdBias = 2u << 16;     // texldb

enum RegType : uint32_t {
  Temp = 0, Input = 1, Const = 2, Addr = 3, Texture = 3, RastOut = 4, AttrOut = 5, TexCrdOut = 6,
  Output = 6, ConstInt = 7, ColorOut = 8, DepthOut = 9, Sampler = 10, ConstBool = 14,
};
// register type: low three bits at 28..30, high two bits at 11..12; number in 0..10
constexpr uint32_t Reg(uint32_t type, uint32_t num) {
  return ((type & 7u) << 28) | ((type & 0x18u) << 8) | (num & 0x7FFu);
}
constexpr uint32_t Param = 0x80000000u;  // bit 31 of every parameter token
constexpr uint32_t Relative = 1u << 13;
constexpr uint32_t Mask(uint32_t m) { return (m & 15u) << 16; }
constexpr uint32_t ResultSat = 1u << 20, ResultPP = 2u << 20, ResultCentroid = 4u << 20;
constexpr uint32_t Swizzle(int x, int y, int z, int w) {
  return uint32_t(x | (y << 2) | (z << 4) | (w << 6)) << 16;
}
constexpr uint32_t NoSwizzle = Swizzle(0, 1, 2, 3);
constexpr uint32_t SrcNeg = 1u << 24, SrcAbs = 11u << 24, SrcAbsNeg = 12u << 24;
enum Usage : uint32_t {
  Position = 0, BlendWeight = 1, BlendIndices = 2, Normal = 3, PSize = 4, TexCoord = 5,
  Tangent = 6, Binormal = 7, TessFactor = 8, PositionT = 9, Color = 10, Fog = 11, Depth = 12,
  Sample = 13,
};
enum SamplerType : uint32_t { Sampler2D = 2, SamplerCube = 3, SamplerVolume = 4 };
constexpr uint32_t DclUsage(uint32_t usage, uint32_t index) { return Param | usage | (index << 16); }
constexpr uint32_t DclSampler(uint32_t type) { return Param | (type << 27); }
}  // namespace tok

struct Define {
  std::string Name;
  std::string Value;
};

struct Result {
  bool Ok = false;
  bool Unreachable = false;  // the source declared this variant unreachable (#pragma unreachable)
  std::vector<uint32_t> Code;
  std::string Error;  // "file:line: error: ... 'token'"
};

// Assembles one source text. `file` is used in messages only.
Result Assemble(const std::string &text, const std::string &file, const std::vector<Define> &defines);

// Reads a file and assembles it; a file that cannot be read is an error.
Result AssembleFile(const std::string &path, const std::vector<Define> &defines);

// One table of variants: the source is assembled once per index with VARIANT defined.
struct TableSpec {
  std::string Name;    // C++ identifier of the table
  bool Vertex = false; // stage the source must declare
  int Count = 0;       // number of indices
  std::string Source;  // path of the source
};

// Parses a manifest: one table a line, "name vs|ps count source" (source relative to the
// manifest's folder), '#' comments. Returns false with a message naming file and line.
bool ReadManifest(const std::string &path, std::vector<TableSpec> &tables, std::string &error);

struct BuiltTable {
  TableSpec Spec;
  std::vector<int> Entry;  // per index: the program number in `Programs`, or -1
  int Distinct = 0;        // number of distinct programs in this table
};
struct Build {
  std::vector<std::vector<uint32_t>> Programs;  // each distinct byte code once
  std::vector<BuiltTable> Tables;
};

// Assembles every index of every table; equal byte code is stored once across all tables.
bool BuildTables(const std::vector<TableSpec> &tables, Build &out, std::string &error);

// C++ source and header of the built tables (header included as `headerName`).
std::string EmitHeader(const Build &build);
std::string EmitSource(const Build &build, const std::string &headerName);

}  // namespace shaderasm

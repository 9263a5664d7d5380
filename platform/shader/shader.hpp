#pragma once
// Shader translator: shader-model 2.0 / 3.0 token streams (vertex and pixel programs) to
// GLSL 3.30 core, plus a disassembler that prints a token stream as assembly text.
//
// The GLSL follows the conventions the gpu device relies on: vertex inputs vs_v<R> at
// location R, varyings var_<usage>_<index>, the constant register files in the std140
// blocks VSConstants / PSConstants, samplers vs_s<N> / ps_s<N>, colour outputs ps_oC<N>,
// the position fix-up gpu_PosFixup at the end of every vertex program and, unless asked to
// leave it out, the alpha test (gpu_AlphaFunc, gpu_AlphaRef) at the end of a pixel program.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace plat::shader {

enum class Stage { Vertex, Pixel };
enum class SamplerKind : uint8_t { None, Tex2D, Cube, Volume };

// Declaration usage numbers: POSITION 0, BLENDWEIGHT 1, BLENDINDICES 2, NORMAL 3, PSIZE 4,
// TEXCOORD 5, TANGENT 6, BINORMAL 7, TESSFACTOR 8, POSITIONT 9, COLOR 10, FOG 11, DEPTH 12,
// SAMPLE 13.
struct Semantic { uint8_t Usage; uint8_t UsageIndex; };
// Vertex program: v<Reg> is the attribute with this semantic; pixel program: the varying read.
struct InputReg { int Reg; Semantic Sem; };

struct ShaderInfo {
  Stage Kind; int Major, Minor;
  // VS: vertex inputs (dcl); PS: varyings read (2.0: v0/v1 = COLOR0/1, t0..t7 = TEXCOORD0..7;
  // 3.0 by dcl)
  std::vector<InputReg> Inputs;
  // VS: varyings written, position excluded (2.0: oD0/oD1 = COLOR0/1, oT0..7 = TEXCOORD0..7,
  // oFog = FOG0, oPts = PSIZE0; 3.0 by dcl)
  std::vector<Semantic> Outputs;
  SamplerKind Samplers[16];               // per sampler register (VS: s0..s3)
  // Highest float constant register read from the constant block, -1 if none. Registers set
  // by def are not read from the block and do not count; a relatively addressed read counts
  // as a read of the whole register file.
  int HighestConstF;
  bool WritesDepth;                       // PS writes oDepth
  int ColorOutputs;                       // PS: number of colour outputs oC0..oC3 written
};

// Validates a token stream (version token, instructions, end token 0x0000FFFF) and fills info.
// Returns false with a readable error that names the instruction (or token) it refused.
bool Parse(const uint32_t *tokens, size_t count, ShaderInfo &info, std::string &error);

// GLSL 3.30 core source for one stage. For a vertex shader, `pairedInputs` lists the varyings
// the pixel shader it is linked with reads: every one the vertex shader does not write is
// declared and written as vec4(0). For a pixel shader pairedInputs is ignored (pass nullptr).
// `alphaTest` false leaves the alpha test out of a pixel program: the test costs every pixel
// its instructions even when it passes them all, so a program drawn with the test off is
// better off without it. A stream that Parse refuses gives an empty string.
std::string Translate(const uint32_t *tokens, size_t count, const ShaderInfo &info,
                      const std::vector<Semantic> *pairedInputs, bool alphaTest = true);

// Readable text of a token stream, one instruction a line, assembly syntax ("vs_3_0",
// "dcl_texcoord0 v1", "mad r0.xy, v0, c4.x, -r1_abs", "texld r0, t0, s0" ...). A stream that
// is not valid is printed up to the fault, followed by a line "// error: <reason>".
std::string Disassemble(const uint32_t *tokens, size_t count);

}  // namespace plat::shader

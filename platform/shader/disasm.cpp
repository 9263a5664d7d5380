// Assembly text of shader token streams, one instruction a line.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/shader/bytecode.hpp"

namespace plat::shader {

namespace {

const char Letters[] = "xyzw";

const char *UsageName(int u) {
  static const char *const names[] = {"position", "blendweight", "blendindices", "normal",
                                      "psize", "texcoord", "tangent", "binormal",
                                      "tessfactor", "positiont", "color", "fog", "depth",
                                      "sample"};
  return u >= 0 && u < 14 ? names[u] : "unknown";
}

// Shortest decimal text that reads back as the same float.
std::string FloatText(uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, 4);
  char b[48];
  for (int prec = 1; prec <= 9; prec++) {
    std::snprintf(b, sizeof b, "%.*g", prec, double(f));
    if (std::strtof(b, nullptr) == f || f != f) break;
  }
  return b;
}

}  // namespace

std::string RegisterName(const Program &p, const Register &r) {
  std::string n = std::to_string(r.Num);
  const bool vs = p.Kind == Stage::Vertex;
  switch (r.Type) {
    case RegTemp: return "r" + n;
    case RegInput: return "v" + n;
    case RegConst:
      if (r.Relative) {
        std::string addr = r.RelType == RegAddr ? std::string("a0.") + Letters[r.RelComp & 3] : "aL";
        return "c[" + addr + (r.Num ? " + " + n : "") + "]";
      }
      return "c" + n;
    case RegAddr: return vs ? "a" + n : "t" + n;
    case RegRastOut: return r.Num == 0 ? "oPos" : r.Num == 1 ? "oFog" : r.Num == 2 ? "oPts" : "oRast" + n;
    case RegAttrOut: return "oD" + n;
    case RegOutput: return p.Major >= 3 ? "o" + n : "oT" + n;
    case RegConstInt: return "i" + n;
    case RegColorOut: return "oC" + n;
    case RegDepthOut: return "oDepth";
    case RegSampler: return "s" + n;
    case RegConstBool: return "b" + n;
    case RegLoop: return "aL";
    case RegPredicate: return "p" + n;
    case RegMisc: return r.Num == 0 ? "vPos" : r.Num == 1 ? "vFace" : "vMisc" + n;
    case RegLabel: return "l" + n;
    default: return "reg" + std::to_string(r.Type) + "_" + n;
  }
}

std::string DstText(const Program &p, const DstParam &d) {
  std::string s = RegisterName(p, d.Reg);
  if (d.Mask != 0xF) {
    s += '.';
    for (int c = 0; c < 4; c++)
      if (d.Mask & (1 << c)) s += Letters[c];
  }
  return s;
}

std::string SrcText(const Program &p, const SrcParam &s) {
  std::string name = RegisterName(p, s.Reg);
  std::string pre, post;
  switch (s.Mod) {
    case SrcNone: break;
    case SrcNeg: pre = "-"; break;
    case SrcBias: post = "_bias"; break;
    case SrcBiasNeg: pre = "-"; post = "_bias"; break;
    case SrcSign: post = "_bx2"; break;
    case SrcSignNeg: pre = "-"; post = "_bx2"; break;
    case SrcComp: pre = "1-"; break;
    case SrcX2: post = "_x2"; break;
    case SrcX2Neg: pre = "-"; post = "_x2"; break;
    case SrcDz: post = "_dz"; break;
    case SrcDw: post = "_dw"; break;
    case SrcAbs: post = "_abs"; break;
    case SrcAbsNeg: pre = "-"; post = "_abs"; break;
    case SrcNot: pre = "!"; break;
    default: post = "_mod" + std::to_string(s.Mod); break;
  }
  std::string sw;
  bool identity = s.Swizzle[0] == 0 && s.Swizzle[1] == 1 && s.Swizzle[2] == 2 && s.Swizzle[3] == 3;
  if (!identity) {
    // trailing repeats of the last component are implied: .xyyy prints as .xy
    int len = 4;
    while (len > 1 && s.Swizzle[len - 1] == s.Swizzle[len - 2]) len--;
    sw = ".";
    for (int c = 0; c < len; c++) sw += Letters[s.Swizzle[c]];
  }
  return pre + name + post + sw;
}

std::string InstructionText(const Program &p, const Instruction &in) {
  std::string line;
  if (in.Predicated) line = "(" + SrcText(p, in.Pred) + ") ";
  std::string mods;
  if (in.HasDst) {
    if (in.Dst.Saturate) mods += "_sat";
    if (in.Dst.PartialPrecision) mods += "_pp";
    if (in.Dst.Centroid) mods += "_centroid";
  }
  switch (in.Op) {
    case OpDcl: {
      const Register &r = in.Dst.Reg;
      std::string name = "dcl";
      if (r.Type == RegSampler) {
        name += in.DclTexType == tok::TexType2D     ? "_2d"
                : in.DclTexType == tok::TexTypeCube ? "_cube"
                : in.DclTexType == tok::TexTypeVolume ? "_volume"
                                                       : "_unknown";
      } else if (r.Type == RegInput || r.Type == RegOutput) {
        if (p.Kind == Stage::Vertex || p.Major >= 3)
          name += std::string("_") + UsageName(in.DclUsage) + std::to_string(in.DclIndex);
      }
      return line + name + mods + " " + DstText(p, in.Dst);
    }
    case OpDef: case OpDefI: {
      std::string s = line + in.Name + " " + DstText(p, in.Dst);
      for (int k = 0; k < 4; k++)
        s += ", " + (in.Op == OpDef ? FloatText(in.Values[k]) : std::to_string(int32_t(in.Values[k])));
      return s;
    }
    case OpDefB:
      return line + "defb " + DstText(p, in.Dst) + (in.Values[0] ? ", true" : ", false");
    default: break;
  }
  line += in.Name + mods;
  std::string ops;
  if (in.HasDst) ops = DstText(p, in.Dst);
  for (int i = 0; i < in.NumSrc; i++) ops += (ops.empty() ? "" : ", ") + SrcText(p, in.Src[i]);
  if (!ops.empty()) line += " " + ops;
  return line;
}

std::string Disassemble(const uint32_t *tokens, size_t count) {
  Program p;
  std::string error;
  bool ok = Decode(tokens, count, p, error);
  std::string out;
  if (p.Major) {
    out += p.Kind == Stage::Vertex ? "vs_" : "ps_";
    out += std::to_string(p.Major) + "_" + (p.Minor ? std::string("x") : std::to_string(p.Minor)) + "\n";
  }
  for (const Instruction &in : p.Code) out += InstructionText(p, in) + "\n";
  if (!ok) out += "// error: " + error + "\n";
  return out;
}

}  // namespace plat::shader

// GLSL 3.30 core from decoded shader programs. Every instruction becomes one statement on
// vec4 values: sources are read with their swizzle and modifier, the result is saturated
// if asked and stored through the write mask. Operations follow the register machine's own
// rules where GLSL differs (rcp(0) = +inf, log and rsq of |x|, log(0) = -inf, ...).

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "platform/shader/bytecode.hpp"

namespace plat::shader {

namespace {

const char Letters[] = "xyzw";

std::string FloatLit(uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, 4);
  char b[48];
  if (!std::isfinite(f)) {
    std::snprintf(b, sizeof b, "uintBitsToFloat(0x%08Xu)", bits);
    return b;
  }
  std::snprintf(b, sizeof b, "%.9g", double(f));
  std::string s = b;
  if (s.find_first_of(".en") == std::string::npos) s += ".0";
  return s;
}

std::string MaskText(uint8_t mask) {
  std::string m;
  for (int c = 0; c < 4; c++)
    if (mask & (1 << c)) m += Letters[c];
  return m;
}

const char *CompareOp(int c) {
  switch (c) {
    case CmpGt: return ">";
    case CmpEq: return "==";
    case CmpGe: return ">=";
    case CmpLt: return "<";
    case CmpNe: return "!=";
    default: return "<=";
  }
}

const char *CompareFunc(int c) {
  switch (c) {
    case CmpGt: return "greaterThan";
    case CmpEq: return "equal";
    case CmpGe: return "greaterThanEqual";
    case CmpLt: return "lessThan";
    case CmpNe: return "notEqual";
    default: return "lessThanEqual";
  }
}

const char Helpers[] =
    "float d3d_inf() { return uintBitsToFloat(0x7F800000u); }\n"
    "float d3d_rcp(float x) { return x == 0.0 ? d3d_inf() : 1.0 / x; }\n"
    "float d3d_rsq(float x) { float a = abs(x); return a == 0.0 ? d3d_inf() : inversesqrt(a); }\n"
    "float d3d_log(float x) { float a = abs(x); return a == 0.0 ? -d3d_inf() : log2(a); }\n"
    "float d3d_pow(float x, float y) {\n"
    "  float a = abs(x);\n"
    "  if (a == 0.0) return y > 0.0 ? 0.0 : (y == 0.0 ? 1.0 : d3d_inf());\n"
    "  return exp2(y * log2(a));\n"
    "}\n"
    "vec4 d3d_nrm(vec4 x) { return x * d3d_rsq(dot(x.xyz, x.xyz)); }\n"
    "vec4 d3d_lit(vec4 s) {\n"
    "  vec4 d = vec4(1.0, 0.0, 0.0, 1.0);\n"
    "  if (s.x > 0.0) {\n"
    "    d.y = s.x;\n"
    "    if (s.y > 0.0) d.z = d3d_pow(s.y, clamp(s.w, -127.9961, 127.9961));\n"
    "  }\n"
    "  return d;\n"
    "}\n";

class Writer {
 public:
  Writer(const Program &p, const std::vector<Semantic> *paired, bool alphaTest)
      : P(p), Paired(paired), AlphaTest(alphaTest), VS(p.Kind == Stage::Vertex), Pre(VS ? "vs" : "ps") {}
  std::string Run();

 private:
  const Program &P;
  const std::vector<Semantic> *Paired;
  bool AlphaTest;
  const bool VS;
  const std::string Pre;
  std::map<int, const Instruction *> DefF, DefI, DefB;
  std::map<int, int> SamplerType;
  std::vector<int> LoopIds;     // aL of the innermost loop is "aL<id>"
  int NextLoop = 0;
  std::string Body;
  int Indent = 1;

  bool Sm3() const { return P.Major >= 3; }
  void Line(const std::string &s) {
    Body.append(size_t(Indent) * 2, ' ');
    Body += s;
    Body += '\n';
  }

  std::string ConstRead(const Register &r, int offset);
  std::string RegRead(const Register &r, int offset = 0);
  std::string Swizzled(const std::string &base, const SrcParam &s);
  std::string Src(const SrcParam &s, int rowOffset = 0) { return Swizzled(RegRead(s.Reg, rowOffset), s); }
  // Scalar instructions (rcp, rsq, exp, log, pow, sincos) read the last component of the
  // swizzled source: with the replicate swizzle they are given, that is the chosen component,
  // and without one it is w, as the older vertex models define it.
  std::string Scalar(const SrcParam &s) { return "(" + Src(s) + ").w"; }
  // comparisons (if_*, break_*) and dp2add's addend take the first swizzled component
  std::string First(const SrcParam &s) { return "(" + Src(s) + ").x"; }
  std::string BoolRead(const SrcParam &s, int comp = 0);
  std::string IntRead(const Register &r);
  std::string DstName(const Register &r);
  void Assign(const Instruction &in, const std::string &value, bool boolean = false);
  bool Emit(const Instruction &in);
  std::string TexCoord(int samplerNum, const std::string &coord);
};

std::string Writer::ConstRead(const Register &r, int offset) {
  if (r.Relative) {
    std::string addr = r.RelType == RegAddr ? std::string("a0.") + Letters[r.RelComp]
                                            : "aL" + std::to_string(LoopIds.empty() ? 0 : LoopIds.back());
    return Pre + "_cread(" + std::to_string(r.Num + offset) + " + " + addr + ")";
  }
  int n = r.Num + offset;
  if (DefF.count(n)) return Pre + "_d" + std::to_string(n);
  return Pre + "_c[" + std::to_string(n) + "]";
}

std::string Writer::RegRead(const Register &r, int offset) {
  std::string n = std::to_string(r.Num + offset);
  switch (r.Type) {
    case RegTemp: return "r" + n;
    case RegInput: return Pre + "_v" + n;
    case RegConst: return ConstRead(r, offset);
    case RegAddr: return "ps_t" + n;
    case RegMisc: return "ps_vPos";
    case RegLoop: return "vec4(float(aL" + std::to_string(LoopIds.empty() ? 0 : LoopIds.back()) + "))";
    default: return "vec4(0.0)";
  }
}

std::string Writer::Swizzled(const std::string &base, const SrcParam &s) {
  std::string e = base;
  bool identity = s.Swizzle[0] == 0 && s.Swizzle[1] == 1 && s.Swizzle[2] == 2 && s.Swizzle[3] == 3;
  if (!identity) {
    e += '.';
    for (int c = 0; c < 4; c++) e += Letters[s.Swizzle[c]];
  }
  switch (s.Mod) {
    case SrcNeg: return "(-" + e + ")";
    case SrcAbs: return "abs(" + e + ")";
    case SrcAbsNeg: return "(-abs(" + e + "))";
    default: return e;
  }
}

std::string Writer::BoolRead(const SrcParam &s, int comp) {
  std::string e;
  if (s.Reg.Type == RegPredicate) {
    e = std::string("p0.") + Letters[s.Swizzle[comp]];
  } else if (DefB.count(s.Reg.Num)) {
    e = Pre + "_db" + std::to_string(s.Reg.Num);
  } else {
    e = "(" + Pre + "_b[" + std::to_string(s.Reg.Num) + "].x != 0)";
  }
  return s.Mod == SrcNot ? "!" + e : e;
}

std::string Writer::IntRead(const Register &r) {
  if (DefI.count(r.Num)) return Pre + "_di" + std::to_string(r.Num);
  return Pre + "_i[" + std::to_string(r.Num) + "]";
}

std::string Writer::DstName(const Register &r) {
  std::string n = std::to_string(r.Num);
  switch (r.Type) {
    case RegTemp: return "r" + n;
    case RegRastOut: return r.Num == 0 ? "oPos" : r.Num == 1 ? "oFog" : "oPts";
    case RegAttrOut: return "oD" + n;
    case RegOutput: return (Sm3() ? "o" : "oT") + n;
    case RegColorOut: return "oC" + n;
    case RegDepthOut: return "oDepth";
    case RegAddr: return "a0";
    case RegPredicate: return "p0";
    default: return "r0";
  }
}

void Writer::Assign(const Instruction &in, const std::string &value, bool boolean) {
  std::string v = value;
  if (in.Dst.Saturate && !boolean) v = "clamp(" + v + ", 0.0, 1.0)";
  std::string dst = DstName(in.Dst.Reg);
  std::string m = MaskText(in.Dst.Mask);
  if (!in.Predicated) {
    if (in.Dst.Mask == 0xF)
      Line(dst + " = " + v + ";");
    else
      Line(dst + "." + m + " = (" + v + ")." + m + ";");
    return;
  }
  Line(std::string("{ ") + (boolean ? "bvec4" : in.Dst.Reg.Type == RegAddr ? "ivec4" : "vec4") +
       " pt = " + v + ";");
  for (int c = 0; c < 4; c++)
    if (in.Dst.Mask & (1 << c))
      Line("  if (" + BoolRead(in.Pred, c) + ") " + dst + "." + Letters[c] + " = pt." + Letters[c] + ";");
  Line("}");
}

std::string Writer::TexCoord(int samplerNum, const std::string &coord) {
  auto it = SamplerType.find(samplerNum);
  bool twoD = it == SamplerType.end() || it->second == tok::TexType2D;
  return "(" + coord + (twoD ? ").xy" : ").xyz");
}

bool Writer::Emit(const Instruction &in) {
  const SrcParam *s = in.Src;
  auto a = [&]() { return Src(s[0]); };
  auto b = [&]() { return Src(s[1]); };
  auto c = [&]() { return Src(s[2]); };
  auto bcast = [](const std::string &f) { return "vec4(" + f + ")"; };
  switch (in.Op) {
    case OpNop: case OpDcl: case OpDef: case OpDefI: case OpDefB:
      return true;
    case OpMov: Assign(in, a()); return true;
    case OpAdd: Assign(in, "(" + a() + " + " + b() + ")"); return true;
    case OpSub: Assign(in, "(" + a() + " - " + b() + ")"); return true;
    case OpMul: Assign(in, "(" + a() + " * " + b() + ")"); return true;
    case OpMad: Assign(in, "(" + a() + " * " + b() + " + " + c() + ")"); return true;
    case OpDp3: Assign(in, bcast("dot((" + a() + ").xyz, (" + b() + ").xyz)")); return true;
    case OpDp4: Assign(in, bcast("dot(" + a() + ", " + b() + ")")); return true;
    case OpDp2Add:
      Assign(in, bcast("dot((" + a() + ").xy, (" + b() + ").xy) + " + First(s[2])));
      return true;
    case OpRcp: Assign(in, bcast("d3d_rcp(" + Scalar(s[0]) + ")")); return true;
    case OpRsq: Assign(in, bcast("d3d_rsq(" + Scalar(s[0]) + ")")); return true;
    case OpLog: case OpLogp: Assign(in, bcast("d3d_log(" + Scalar(s[0]) + ")")); return true;
    case OpExp: case OpExpp: Assign(in, bcast("exp2(" + Scalar(s[0]) + ")")); return true;
    case OpPow: Assign(in, bcast("d3d_pow(" + Scalar(s[0]) + ", " + Scalar(s[1]) + ")")); return true;
    case OpMin: Assign(in, "min(" + a() + ", " + b() + ")"); return true;
    case OpMax: Assign(in, "max(" + a() + ", " + b() + ")"); return true;
    case OpSlt: Assign(in, "vec4(lessThan(" + a() + ", " + b() + "))"); return true;
    case OpSge: Assign(in, "vec4(greaterThanEqual(" + a() + ", " + b() + "))"); return true;
    case OpFrc: Assign(in, "(" + a() + " - floor(" + a() + "))"); return true;
    case OpAbs: Assign(in, "abs(" + a() + ")"); return true;
    case OpSgn: Assign(in, "sign(" + a() + ")"); return true;
    case OpNrm: Assign(in, "d3d_nrm(" + a() + ")"); return true;
    case OpCrs: Assign(in, "vec4(cross((" + a() + ").xyz, (" + b() + ").xyz), 0.0)"); return true;
    case OpLit: Assign(in, "d3d_lit(" + a() + ")"); return true;
    case OpDst:
      Assign(in, "vec4(1.0, (" + a() + ").y * (" + b() + ").y, (" + a() + ").z, (" + b() + ").w)");
      return true;
    case OpSinCos:
      Assign(in, "vec4(cos(" + Scalar(s[0]) + "), sin(" + Scalar(s[0]) + "), 0.0, 0.0)");
      return true;
    case OpLrp:
      Assign(in, "(" + a() + " * " + b() + " + (vec4(1.0) - " + a() + ") * " + c() + ")");
      return true;
    case OpCmp:
      Assign(in, "mix(" + c() + ", " + b() + ", greaterThanEqual(" + a() + ", vec4(0.0)))");
      return true;
    case OpDsx: Assign(in, "dFdx(" + a() + ")"); return true;
    case OpDsy: Assign(in, "dFdy(" + a() + ")"); return true;
    case OpM4x4: case OpM4x3: case OpM3x4: case OpM3x3: case OpM3x2: {
      bool four = in.Op == OpM4x4 || in.Op == OpM4x3;
      int rows = in.Op == OpM4x4 || in.Op == OpM3x4 ? 4 : in.Op == OpM3x2 ? 2 : 3;
      std::string v = "vec4(";
      for (int k = 0; k < 4; k++) {
        if (k) v += ", ";
        if (k >= rows) {
          v += "0.0";
          continue;
        }
        std::string row = Src(s[1], k);
        if (four)
          v += "dot(" + a() + ", " + row + ")";
        else
          v += "dot((" + a() + ").xyz, (" + row + ").xyz)";
      }
      Assign(in, v + ")");
      return true;
    }
    case OpMova: Assign(in, "ivec4(floor(" + a() + " + vec4(0.5)))"); return true;
    case OpSetp:
      Assign(in, std::string(CompareFunc(in.Control)) + "(" + a() + ", " + b() + ")", true);
      return true;
    case OpTex: case OpTexldl: case OpTexldd: {
      int sn = s[1].Reg.Num;
      std::string sampler = Pre + "_s" + std::to_string(sn);
      std::string coord = a();
      std::string e;
      if (in.Op == OpTexldl) {
        e = "textureLod(" + sampler + ", " + TexCoord(sn, coord) + ", (" + coord + ").w)";
      } else if (in.Op == OpTexldd) {
        e = "textureGrad(" + sampler + ", " + TexCoord(sn, coord) + ", " + TexCoord(sn, c()) + ", " +
            TexCoord(sn, Src(s[3])) + ")";
      } else if (in.Control & 1) {   // projected
        e = "texture(" + sampler + ", " + TexCoord(sn, coord) + " / (" + coord + ").w)";
      } else if (in.Control & 2) {   // biased
        e = "texture(" + sampler + ", " + TexCoord(sn, coord) + ", (" + coord + ").w)";
      } else {
        e = "texture(" + sampler + ", " + TexCoord(sn, coord) + ")";
      }
      Assign(in, Swizzled(e, SrcParam{s[1].Reg, {s[1].Swizzle[0], s[1].Swizzle[1], s[1].Swizzle[2], s[1].Swizzle[3]}, SrcNone}));
      return true;
    }
    case OpTexKill: {
      std::string reg = RegRead(in.Dst.Reg);
      std::string cond;
      for (int k = 0; k < 4; k++)
        if (in.Dst.Mask & (1 << k)) {
          if (!cond.empty()) cond += " || ";
          cond += reg + "." + Letters[k] + " < 0.0";
        }
      Line("if (" + cond + ") discard;");
      return true;
    }
    case OpIf:
      Line("if (" + BoolRead(s[0]) + ") {");
      Indent++;
      return true;
    case OpIfc:
      Line("if (" + First(s[0]) + " " + CompareOp(in.Control) + " " + First(s[1]) + ") {");
      Indent++;
      return true;
    case OpElse:
      Indent--;
      Line("} else {");
      Indent++;
      return true;
    case OpEndIf: case OpEndRep:
      Indent--;
      Line("}");
      return true;
    case OpRep: {
      std::string id = std::to_string(NextLoop++);
      Line("for (int rep" + id + " = 0; rep" + id + " < clamp(" + IntRead(s[0].Reg) + ".x, 0, 255); rep" + id + "++) {");
      Indent++;
      return true;
    }
    case OpLoop: {
      int n = NextLoop++;
      std::string id = std::to_string(n);
      std::string i = IntRead(s[1].Reg);
      Line("{");
      Indent++;
      Line("int aL" + id + " = " + i + ".y;");
      Line("for (int lp" + id + " = 0; lp" + id + " < clamp(" + i + ".x, 0, 255); lp" + id + "++, aL" + id + " += " + i + ".z) {");
      Indent++;
      LoopIds.push_back(n);
      return true;
    }
    case OpEndLoop:
      Indent--;
      Line("}");
      Indent--;
      Line("}");
      if (!LoopIds.empty()) LoopIds.pop_back();
      return true;
    case OpBreak: Line("break;"); return true;
    case OpBreakc:
      Line("if (" + First(s[0]) + " " + CompareOp(in.Control) + " " + First(s[1]) + ") break;");
      return true;
    case OpBreakp: Line("if (" + BoolRead(s[0]) + ") break;"); return true;
    default:
      return false;
  }
}

std::string Writer::Run() {
  std::set<int> temps;
  bool relative = false;
  std::map<int, std::vector<const Instruction *>> inputDcls;   // register -> dcls
  std::vector<const Instruction *> samplers, outputDcls;
  bool usesA0 = false, usesP0 = false, usesPos = false;
  std::set<int> colorOut;
  bool depthOut = false;
  std::set<std::pair<int, int>> sm2Out;   // (usage, index) written by a 2.0 vertex program
  for (const Instruction &in : P.Code) {
    switch (in.Op) {
      case OpDef: DefF[in.Dst.Reg.Num] = &in; continue;
      case OpDefI: DefI[in.Dst.Reg.Num] = &in; continue;
      case OpDefB: DefB[in.Dst.Reg.Num] = &in; continue;
      case OpDcl:
        if (in.Dst.Reg.Type == RegSampler) {
          samplers.push_back(&in);
          SamplerType[in.Dst.Reg.Num] = in.DclTexType;
        } else if (in.Dst.Reg.Type == RegOutput) {
          outputDcls.push_back(&in);
        } else if (in.Dst.Reg.Type == RegMisc) {
          usesPos = true;
        } else {
          inputDcls[in.Dst.Reg.Type * 1000 + in.Dst.Reg.Num].push_back(&in);
        }
        continue;
      default: break;
    }
    int rows = in.Op == OpM4x4 || in.Op == OpM3x4 ? 4 : in.Op == OpM4x3 || in.Op == OpM3x3 ? 3
               : in.Op == OpM3x2 ? 2 : 1;
    for (int i = 0; i < in.NumSrc; i++) {
      if (in.Src[i].Reg.Type == RegTemp)
        for (int k = 0; k < (i == 1 ? rows : 1); k++) temps.insert(in.Src[i].Reg.Num + k);
      if (in.Src[i].Reg.Relative) relative = true;
      if (in.Src[i].Reg.Relative && in.Src[i].Reg.RelType == RegAddr) usesA0 = true;
    }
    if (in.Predicated) usesP0 = true;
    if (in.HasDst) {
      const Register &d = in.Dst.Reg;
      if (d.Type == RegTemp) temps.insert(d.Num);
      if (d.Type == RegAddr && VS) usesA0 = true;
      if (d.Type == RegPredicate) usesP0 = true;
      if (d.Type == RegColorOut) colorOut.insert(d.Num);
      if (d.Type == RegDepthOut) depthOut = true;
      if (VS && !Sm3() && in.Op != OpTexKill) {
        if (d.Type == RegAttrOut) sm2Out.insert({10, d.Num});
        if (d.Type == RegOutput) sm2Out.insert({5, d.Num});
        if (d.Type == RegRastOut && d.Num == 1) sm2Out.insert({11, 0});
        if (d.Type == RegRastOut && d.Num == 2) sm2Out.insert({4, 0});
      }
    }
  }

  std::string h = "#version 330 core\n";
  const std::string block = VS ? "layout(std140) uniform VSConstants { vec4 vs_c[256]; ivec4 vs_i[16]; ivec4 vs_b[16]; };\n"
                               : "layout(std140) uniform PSConstants { vec4 ps_c[224]; ivec4 ps_i[16]; ivec4 ps_b[16]; };\n";
  h += block;
  if (VS)
    h += "uniform vec4 gpu_PosFixup;\n";
  else if (AlphaTest)
    h += "uniform int gpu_AlphaFunc;\nuniform float gpu_AlphaRef;\n";
  for (auto &[n, in] : DefF) {
    h += "const vec4 " + Pre + "_d" + std::to_string(n) + " = vec4(";
    for (int k = 0; k < 4; k++) h += (k ? ", " : "") + FloatLit(in->Values[k]);
    h += ");\n";
  }
  for (auto &[n, in] : DefI) {
    h += "const ivec4 " + Pre + "_di" + std::to_string(n) + " = ivec4(";
    for (int k = 0; k < 4; k++) h += (k ? ", " : "") + std::to_string(int32_t(in->Values[k]));
    h += ");\n";
  }
  for (auto &[n, in] : DefB)
    h += "const bool " + Pre + "_db" + std::to_string(n) + " = " + (in->Values[0] ? "true" : "false") + ";\n";
  for (const Instruction *in : samplers) {
    int t = in->DclTexType;
    h += std::string("uniform ") + (t == tok::TexTypeCube ? "samplerCube " : t == tok::TexTypeVolume ? "sampler3D " : "sampler2D ") +
         Pre + "_s" + std::to_string(in->Dst.Reg.Num) + ";\n";
  }

  std::string pro;   // start of main: locals
  std::string epi;   // end of main: outputs
  auto var = [](int usage, int index) { return "var_" + std::to_string(usage) + "_" + std::to_string(index); };
  if (VS) {
    for (auto &[key, dcls] : inputDcls)
      h += "layout(location = " + std::to_string(key % 1000) + ") in vec4 vs_v" + std::to_string(key % 1000) + ";\n";
    std::set<std::pair<int, int>> written;
    std::string pos = "vec4(0.0)";
    if (!Sm3()) {
      pro += "  vec4 oPos = vec4(0.0);\n  vec4 oFog = vec4(0.0);\n  vec4 oPts = vec4(0.0);\n"
             "  vec4 oD0 = vec4(0.0);\n  vec4 oD1 = vec4(0.0);\n";
      for (int i = 0; i < 8; i++) pro += "  vec4 oT" + std::to_string(i) + " = vec4(0.0);\n";
      pos = "oPos";
      for (auto &[usage, index] : sm2Out) {
        written.insert({usage, index});
        std::string src = usage == 10 ? "clamp(oD" + std::to_string(index) + ", 0.0, 1.0)"
                          : usage == 5 ? "oT" + std::to_string(index)
                          : usage == 11 ? "oFog" : "oPts";
        epi += "  " + var(usage, index) + " = " + src + ";\n";
      }
    } else {
      for (int i = 0; i < 12; i++) pro += "  vec4 o" + std::to_string(i) + " = vec4(0.0);\n";
      for (const Instruction *in : outputDcls) {
        std::string reg = "o" + std::to_string(in->Dst.Reg.Num);
        if (in->DclUsage == 0 && in->DclIndex == 0) {
          pos = reg;
          continue;
        }
        written.insert({in->DclUsage, in->DclIndex});
        epi += "  " + var(in->DclUsage, in->DclIndex) + " = " + reg + ";\n";
      }
    }
    if (Paired)
      for (const Semantic &s : *Paired)
        if (!written.count({s.Usage, s.UsageIndex})) {
          written.insert({s.Usage, s.UsageIndex});
          epi += "  " + var(s.Usage, s.UsageIndex) + " = vec4(0.0);\n";
        }
    for (auto &[usage, index] : written) h += "out vec4 " + var(usage, index) + ";\n";
    epi += "  gl_Position = " + pos + ";\n"
           "  gl_Position.xy += gpu_PosFixup.zw * " + pos + ".w;\n"
           "  gl_Position.y *= gpu_PosFixup.y;\n"
           "  gl_Position.z = 2.0 * " + pos + ".z - " + pos + ".w;\n";
  } else {
    std::set<std::pair<int, int>> ins;
    for (auto &[key, dcls] : inputDcls) {
      int type = key / 1000, num = key % 1000;
      std::string local = (type == RegAddr ? "ps_t" : "ps_v") + std::to_string(num);
      if (!Sm3()) {
        std::pair<int, int> sem = type == RegAddr ? std::pair<int, int>{5, num} : std::pair<int, int>{10, num};
        ins.insert(sem);
        pro += "  vec4 " + local + " = " + var(sem.first, sem.second) + ";\n";
        continue;
      }
      pro += "  vec4 " + local + " = vec4(0.0);\n";
      for (const Instruction *in : dcls) {
        ins.insert({in->DclUsage, in->DclIndex});
        std::string m = MaskText(in->Dst.Mask);
        pro += "  " + local + "." + m + " = " + var(in->DclUsage, in->DclIndex) + "." + m + ";\n";
      }
    }
    for (auto &[usage, index] : ins) h += "in vec4 " + var(usage, index) + ";\n";
    if (usesPos) pro += "  vec4 ps_vPos = vec4(gl_FragCoord.xy - vec2(0.5), 0.0, 0.0);\n";
    for (int n : colorOut) {
      std::string i = std::to_string(n);
      h += "layout(location = " + i + ") out vec4 ps_oC" + i + ";\n";
      pro += "  vec4 oC" + i + " = vec4(0.0);\n";
      epi += "  ps_oC" + i + " = " + (P.Major == 2 ? "clamp(oC" + i + ", 0.0, 1.0)" : "oC" + i) + ";\n";
    }
    if (depthOut) {
      pro += "  vec4 oDepth = vec4(0.0);\n";
      epi += "  gl_FragDepth = oDepth.x;\n";
    }
    if (AlphaTest && colorOut.count(0))
      epi +=
          "  {\n"
          "    float a = ps_oC0.a;\n"
          "    bool pass = true;\n"
          "    if (gpu_AlphaFunc == 1) pass = false;\n"
          "    else if (gpu_AlphaFunc == 2) pass = a < gpu_AlphaRef;\n"
          "    else if (gpu_AlphaFunc == 3) pass = a == gpu_AlphaRef;\n"
          "    else if (gpu_AlphaFunc == 4) pass = a <= gpu_AlphaRef;\n"
          "    else if (gpu_AlphaFunc == 5) pass = a > gpu_AlphaRef;\n"
          "    else if (gpu_AlphaFunc == 6) pass = a != gpu_AlphaRef;\n"
          "    else if (gpu_AlphaFunc == 7) pass = a >= gpu_AlphaRef;\n"
          "    if (!pass) discard;\n"
          "  }\n";
  }
  for (int t : temps) pro += "  vec4 r" + std::to_string(t) + " = vec4(0.0);\n";
  if (usesA0) pro += "  ivec4 a0 = ivec4(0);\n";
  if (usesP0) pro += "  bvec4 p0 = bvec4(false);\n";

  h += Helpers;
  if (relative) {
    // relative reads see the def constants too and read zero outside the register file
    int size = VS ? 256 : 224;
    h += "vec4 " + Pre + "_cread(int i) {\n";
    for (auto &[n, in] : DefF)
      h += "  if (i == " + std::to_string(n) + ") return " + Pre + "_d" + std::to_string(n) + ";\n";
    h += "  if (i < 0 || i >= " + std::to_string(size) + ") return vec4(0.0);\n";
    h += "  return " + Pre + "_c[i];\n}\n";
  }

  for (const Instruction &in : P.Code)
    if (!Emit(in)) return std::string();
  // A program that reads no register of the block goes without it: a block in a program
  // makes the driver bring the stage up to date whenever any constant buffer changes.
  std::string code = h.substr(block.size() + h.find(block)) + pro + Body + epi;
  bool reads = false;
  for (const char *file : {"_c[", "_i[", "_b["}) reads |= code.find(Pre + file) != std::string::npos;
  if (!reads) h.erase(h.find(block), block.size());
  return h + "void main() {\n" + pro + Body + epi + "}\n";
}

}  // namespace

std::string Translate(const uint32_t *tokens, size_t count, const ShaderInfo &info,
                      const std::vector<Semantic> *pairedInputs, bool alphaTest) {
  Program p;
  std::string error;
  if (!Decode(tokens, count, p, error)) return std::string();
  if (p.Kind != info.Kind) return std::string();
  Writer w(p, p.Kind == Stage::Vertex ? pairedInputs : nullptr, alphaTest);
  return w.Run();
}

}  // namespace plat::shader

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "tools/shaderasm/asm.hpp"
#include "tools/shaderasm/preprocess.hpp"

namespace shaderasm {

namespace {

enum ModelBit : unsigned { VS2 = 1, VS3 = 2, PS2 = 4, PS3 = 8, VS = VS2 | VS3, PS = PS2 | PS3, ALL = 15 };

struct InstrDef {
  const char *Name;
  uint32_t Op;
  uint32_t Control;
  int Dst;   // destination operands (0 or 1)
  int Src;   // source operands
  unsigned Models;
};

const InstrDef kInstrs[] = {
    {"nop", tok::Nop, 0, 0, 0, ALL},
    {"mov", tok::Mov, 0, 1, 1, ALL},
    {"add", tok::Add, 0, 1, 2, ALL},
    {"sub", tok::Sub, 0, 1, 2, ALL},
    {"mad", tok::Mad, 0, 1, 3, ALL},
    {"mul", tok::Mul, 0, 1, 2, ALL},
    {"rcp", tok::Rcp, 0, 1, 1, ALL},
    {"rsq", tok::Rsq, 0, 1, 1, ALL},
    {"dp3", tok::Dp3, 0, 1, 2, ALL},
    {"dp4", tok::Dp4, 0, 1, 2, ALL},
    {"min", tok::Min, 0, 1, 2, ALL},
    {"max", tok::Max, 0, 1, 2, ALL},
    {"slt", tok::Slt, 0, 1, 2, VS},
    {"sge", tok::Sge, 0, 1, 2, VS},
    {"exp", tok::Exp, 0, 1, 1, ALL},
    {"log", tok::Log, 0, 1, 1, ALL},
    {"lrp", tok::Lrp, 0, 1, 3, ALL},
    {"frc", tok::Frc, 0, 1, 1, ALL},
    {"m4x4", tok::M4x4, 0, 1, 2, ALL},
    {"m4x3", tok::M4x3, 0, 1, 2, ALL},
    {"m3x4", tok::M3x4, 0, 1, 2, ALL},
    {"m3x3", tok::M3x3, 0, 1, 2, ALL},
    {"m3x2", tok::M3x2, 0, 1, 2, ALL},
    {"pow", tok::Pow, 0, 1, 2, ALL},
    {"crs", tok::Crs, 0, 1, 2, ALL},
    {"abs", tok::Abs, 0, 1, 1, ALL},
    {"nrm", tok::Nrm, 0, 1, 1, ALL},
    {"sincos", tok::SinCos, 0, 1, -1, ALL},  // source count depends on the model
    {"if", tok::If, 0, 0, 1, VS2 | VS3 | PS3},
    {"else", tok::Else, 0, 0, 0, VS2 | VS3 | PS3},
    {"endif", tok::EndIf, 0, 0, 0, VS2 | VS3 | PS3},
    {"mova", tok::Mova, 0, 1, 1, VS},
    {"expp", tok::ExpP, 0, 1, 1, VS},
    {"logp", tok::LogP, 0, 1, 1, VS},
    {"cmp", tok::Cmp, 0, 1, 3, PS},
    {"dp2add", tok::Dp2Add, 0, 1, 3, PS},
    {"texld", tok::Tex, 0, 1, 2, PS},
    {"texldp", tok::Tex, tok::TexLdProject, 1, 2, PS},
    {"texldb", tok::Tex, tok::TexLdBias, 1, 2, PS},
    {"texldl", tok::TexLdl, 0, 1, 2, PS3 | VS3},
    {"texkill", tok::TexKill, 0, 1, 0, PS},
};

// One register kind as written in the text and its limit per model (0 = absent).
struct RegKind {
  const char *Prefix;
  uint32_t Type;
  int Limit[4];  // vs_2_0, vs_3_0, ps_2_0, ps_3_0
  bool Readable, Writable;
  bool Fixed;    // a named register without number (oPos, oDepth ...): Limit is 1, number fixed
  int FixedNum;
};

const RegKind kRegs[] = {
    // longest prefixes first
    {"odepth", tok::DepthOut, {0, 0, 1, 1}, false, true, true, 0},
    {"opos", tok::RastOut, {1, 0, 0, 0}, false, true, true, 0},
    {"ofog", tok::RastOut, {1, 0, 0, 0}, false, true, true, 1},
    {"opts", tok::RastOut, {1, 0, 0, 0}, false, true, true, 2},
    {"oc", tok::ColorOut, {0, 0, 4, 4}, false, true, false, 0},
    {"od", tok::AttrOut, {2, 0, 0, 0}, false, true, false, 0},
    {"ot", tok::TexCrdOut, {8, 0, 0, 0}, false, true, false, 0},
    {"o", tok::Output, {0, 12, 0, 0}, false, true, false, 0},
    {"r", tok::Temp, {12, 32, 12, 32}, true, true, false, 0},
    {"v", tok::Input, {16, 16, 2, 10}, true, false, false, 0},
    {"c", tok::Const, {256, 256, 32, 224}, true, false, false, 0},
    {"a", tok::Addr, {1, 1, 0, 0}, true, true, false, 0},
    {"t", tok::Texture, {0, 0, 8, 0}, true, false, false, 0},
    {"b", tok::ConstBool, {16, 16, 0, 16}, true, false, false, 0},
    {"i", tok::ConstInt, {16, 16, 0, 16}, true, false, false, 0},
    {"s", tok::Sampler, {0, 4, 16, 16}, true, false, false, 0},
};

struct Usage {
  const char *Name;
  uint32_t Code;
};
const Usage kUsages[] = {
    {"position", tok::Position}, {"blendweight", tok::BlendWeight}, {"blendindices", tok::BlendIndices},
    {"normal", tok::Normal},     {"psize", tok::PSize},             {"texcoord", tok::TexCoord},
    {"tangent", tok::Tangent},   {"binormal", tok::Binormal},       {"tessfactor", tok::TessFactor},
    {"positiont", tok::PositionT}, {"color", tok::Color},          {"fog", tok::Fog},
    {"depth", tok::Depth},       {"sample", tok::Sample},
};

std::string Lower(std::string s) {
  for (char &c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string &s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) b++;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) e--;
  return s.substr(b, e - b);
}

bool AllDigits(const std::string &s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

int Component(char c) {
  switch (c) {
    case 'x': case 'r': return 0;
    case 'y': case 'g': return 1;
    case 'z': case 'b': return 2;
    case 'w': case 'a': return 3;
  }
  return -1;
}

struct Reg {
  uint32_t Type = 0;
  int Num = 0;
  const RegKind *Kind = nullptr;
};

class Assembler {
 public:
  Assembler(const std::string &file) : File(file) {}

  Result Run(const Preprocessed &pp) {
    Result res;
    res.Unreachable = pp.Unreachable;
    for (const SourceLine &l : pp.Lines) {
      Line = l.Line;
      if (!Statement(l.Text)) {
        res.Error = Error;
        return res;
      }
    }
    if (!HaveVersion) {
      Line = pp.Lines.empty() ? 1 : pp.Lines.back().Line;
      Fail("no version statement (vs_2_0, ps_3_0 ...)", "");
      res.Error = Error;
      return res;
    }
    if (IfDepth != 0) {
      Fail("if without endif", "if");
      res.Error = Error;
      return res;
    }
    Code.push_back(tok::End);
    res.Ok = true;
    res.Code = std::move(Code);
    return res;
  }

 private:
  std::string File;
  int Line = 0;
  std::string Error;
  std::vector<uint32_t> Code;
  bool HaveVersion = false;
  bool Vertex = false;
  int Major = 0;
  int IfDepth = 0;
  std::set<std::pair<uint32_t, int>> Declared;  // (type, number) of dcl'd registers

  int ModelIndex() const { return (Vertex ? 0 : 2) + (Major == 3 ? 1 : 0); }
  unsigned ModelBitOf() const { return 1u << ModelIndex(); }
  std::string ModelName() const { return std::string(Vertex ? "vs_" : "ps_") + std::to_string(Major) + "_0"; }

  bool Fail(const std::string &msg, const std::string &token) {
    Error = File + ":" + std::to_string(Line) + ": error: " + msg + (token.empty() ? "" : " '" + token + "'");
    return false;
  }

  static std::vector<std::string> SplitOperands(const std::string &s) {
    std::vector<std::string> ops;
    std::string cur;
    int depth = 0;
    for (char c : s) {
      if (c == '[') depth++;
      if (c == ']') depth--;
      if (c == ',' && depth == 0) {
        ops.push_back(Trim(cur));
        cur.clear();
      } else {
        cur += c;
      }
    }
    if (!Trim(cur).empty() || !ops.empty()) ops.push_back(Trim(cur));
    return ops;
  }

  bool Statement(const std::string &text) {
    size_t sp = 0;
    while (sp < text.size() && !std::isspace(static_cast<unsigned char>(text[sp]))) sp++;
    std::string mnemonic = Lower(text.substr(0, sp));
    std::vector<std::string> ops = SplitOperands(text.substr(sp));
    for (const std::string &o : ops)
      if (o.empty()) return Fail("empty operand", text);

    if (mnemonic.size() == 6 && (mnemonic.rfind("vs_", 0) == 0 || mnemonic.rfind("ps_", 0) == 0) &&
        mnemonic[4] == '_') {
      if (HaveVersion) return Fail("second version statement", mnemonic);
      if ((mnemonic[3] != '2' && mnemonic[3] != '3') || mnemonic[5] != '0')
        return Fail("unsupported shader model", mnemonic);
      if (!ops.empty()) return Fail("version takes no operands", ops[0]);
      Vertex = mnemonic[0] == 'v';
      Major = mnemonic[3] - '0';
      HaveVersion = true;
      Code.push_back(Vertex ? tok::VertexVersion(Major, 0) : tok::PixelVersion(Major, 0));
      return true;
    }
    if (!HaveVersion) return Fail("statement before the version", mnemonic);
    if (mnemonic == "def" || mnemonic == "defi" || mnemonic == "defb") return Def(mnemonic, ops);
    if (mnemonic.rfind("dcl", 0) == 0) return Dcl(mnemonic, ops);
    return Instruction(mnemonic, ops);
  }

  // Parses "name" + number into a register of this model.
  bool ParseReg(const std::string &textIn, Reg &reg, const std::string &whole) {
    std::string text = Lower(textIn);
    for (const RegKind &k : kRegs) {
      size_t n = std::strlen(k.Prefix);
      if (text.compare(0, n, k.Prefix) != 0) continue;
      std::string rest = text.substr(n);
      if (k.Fixed) {
        if (!rest.empty()) continue;
        reg.Num = k.FixedNum;
      } else {
        if (!AllDigits(rest)) continue;
        if (rest.size() > 4) return Fail("bad register number", whole);
        reg.Num = std::atoi(rest.c_str());
      }
      reg.Type = k.Type;
      reg.Kind = &k;
      int limit = k.Limit[ModelIndex()];
      if (limit == 0) return Fail("register not available in " + ModelName(), whole);
      if (!k.Fixed && reg.Num >= limit) return Fail("register number out of range for " + ModelName(), whole);
      return true;
    }
    return Fail("bad register", whole);
  }

  bool ParseMask(const std::string &m, uint32_t &mask, const std::string &whole) {
    mask = 0;
    int last = -1;
    if (m.empty() || m.size() > 4) return Fail("bad write mask", whole);
    for (char c : m) {
      int comp = Component(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
      if (comp < 0 || comp <= last) return Fail("bad write mask", whole);
      mask |= 1u << comp;
      last = comp;
    }
    return true;
  }

  bool ParseSwizzle(const std::string &s, uint32_t &swz, const std::string &whole) {
    if (s.empty() || s.size() > 4) return Fail("bad swizzle", whole);
    int c[4];
    for (size_t i = 0; i < 4; i++) {
      if (i < s.size()) {
        c[i] = Component(static_cast<char>(std::tolower(static_cast<unsigned char>(s[i]))));
        if (c[i] < 0) return Fail("bad swizzle", whole);
      } else {
        c[i] = c[s.size() - 1];
      }
    }
    swz = tok::Swizzle(c[0], c[1], c[2], c[3]);
    return true;
  }

  // destination: reg[.mask]
  bool ParseDst(const std::string &op, uint32_t resultMods, uint32_t &token, Reg &reg, bool dclContext = false) {
    std::string name = op, maskText;
    size_t dot = op.find('.');
    if (dot != std::string::npos) {
      name = op.substr(0, dot);
      maskText = op.substr(dot + 1);
    }
    if (name.find('[') != std::string::npos) return Fail("relative addressing of a destination is not supported", op);
    if (!ParseReg(name, reg, op)) return false;
    if (!dclContext && !reg.Kind->Writable) return Fail("register cannot be written", op);
    uint32_t mask = 15;
    if (!maskText.empty() && !ParseMask(maskText, mask, op)) return false;
    if (dot != std::string::npos && maskText.empty()) return Fail("bad write mask", op);
    token = tok::Param | tok::Reg(reg.Type, reg.Num) | tok::Mask(mask) | resultMods;
    return true;
  }

  bool CheckDeclared(const Reg &reg, const std::string &op) {
    bool needs = reg.Type == tok::Sampler || (reg.Type == tok::Input) || (!Vertex && Major == 2 && reg.Type == tok::Texture) ||
                 (Vertex && Major == 3 && reg.Type == tok::Output);
    if (needs && !Declared.count({reg.Type, reg.Num})) return Fail("register used without dcl", op);
    return true;
  }

  // source: [-]reg[[a0.x + n]][_abs][.swizzle]
  bool ParseSrc(const std::string &opIn, std::vector<uint32_t> &tokens, Reg &reg) {
    std::string op = Trim(opIn);
    uint32_t mod = 0;
    bool neg = false;
    if (!op.empty() && op[0] == '-') {
      neg = true;
      op = Trim(op.substr(1));
    }
    // register name up to '[', '_', '.'
    size_t i = 0;
    while (i < op.size() && std::isalnum(static_cast<unsigned char>(op[i]))) i++;
    std::string name = op.substr(0, i);
    std::string rest = op.substr(i);
    bool relative = false;
    uint32_t relToken = 0;
    int offset = 0;
    if (!rest.empty() && rest[0] == '[') {
      size_t close = rest.find(']');
      if (close == std::string::npos) return Fail("missing ']'", opIn);
      std::string inside = Lower(rest.substr(1, close - 1));
      rest = rest.substr(close + 1);
      // a0.c [+ n] or n + a0.c
      std::string addr;
      std::string num;
      std::string cleaned;
      for (char c : inside)
        if (!std::isspace(static_cast<unsigned char>(c))) cleaned += c;
      size_t plus = cleaned.find('+');
      std::string a = plus == std::string::npos ? cleaned : cleaned.substr(0, plus);
      std::string b = plus == std::string::npos ? "" : cleaned.substr(plus + 1);
      if (a.rfind("a0", 0) == 0) {
        addr = a;
        num = b;
      } else {
        addr = b;
        num = a;
      }
      if (addr.size() != 4 || addr.compare(0, 3, "a0.") != 0 || Component(addr[3]) < 0)
        return Fail("bad relative address", opIn);
      if (!num.empty() && (!AllDigits(num) || num.size() > 4)) return Fail("bad relative address", opIn);
      offset = num.empty() ? 0 : std::atoi(num.c_str());
      int comp = Component(addr[3]);
      relToken = tok::Param | tok::Reg(tok::Addr, 0) | tok::Swizzle(comp, comp, comp, comp);
      relative = true;
      if (!Vertex) return Fail("relative addressing not available in " + ModelName(), opIn);
      if (Lower(name) == "c") {
        name = "c" + std::to_string(offset);
      } else {
        if (!num.empty()) return Fail("bad relative address", opIn);
        // cN[a0.x]: the number is already in the name
      }
    }
    if (!ParseReg(name, reg, opIn)) return false;
    if (!reg.Kind->Readable) return Fail("register cannot be read", opIn);
    if (relative && reg.Type != tok::Const) return Fail("relative addressing needs a constant register", opIn);
    if (!CheckDeclared(reg, opIn)) return false;
    uint32_t swz = tok::NoSwizzle;
    bool abs = false;
    while (!rest.empty()) {
      std::string low = Lower(rest);
      if (low.rfind("_abs", 0) == 0) {
        abs = true;
        rest = rest.substr(4);
      } else if (rest[0] == '.') {
        size_t e = 1;
        while (e < rest.size() && std::isalpha(static_cast<unsigned char>(rest[e]))) e++;
        if (!ParseSwizzle(rest.substr(1, e - 1), swz, opIn)) return false;
        rest = rest.substr(e);
      } else {
        return Fail("bad source operand", opIn);
      }
    }
    if (abs && neg) mod = tok::SrcAbsNeg;
    else if (abs) mod = tok::SrcAbs;
    else if (neg) mod = tok::SrcNeg;
    tokens.push_back(tok::Param | tok::Reg(reg.Type, reg.Num) | swz | mod | (relative ? tok::Relative : 0));
    if (relative) tokens.push_back(relToken);
    return true;
  }

  void Emit(uint32_t op, uint32_t control, const std::vector<uint32_t> &params) {
    Code.push_back(op | control | (uint32_t(params.size()) << 24));
    Code.insert(Code.end(), params.begin(), params.end());
  }

  bool Def(const std::string &mn, const std::vector<std::string> &ops) {
    uint32_t type = mn == "def" ? tok::Const : mn == "defi" ? tok::ConstInt : tok::ConstBool;
    size_t want = mn == "defb" ? 2 : 5;
    if (ops.size() != want) return Fail("wrong number of operands for " + mn, mn);
    Reg reg;
    if (!ParseReg(ops[0], reg, ops[0])) return false;
    if (reg.Type != type) return Fail(mn + " needs a " + (type == tok::Const ? "c" : type == tok::ConstInt ? "i" : "b") + " register", ops[0]);
    std::vector<uint32_t> p;
    p.push_back(tok::Param | tok::Reg(type, reg.Num) | tok::Mask(15));
    for (size_t k = 1; k < ops.size(); k++) {
      const std::string &v = ops[k];
      char *end = nullptr;
      if (type == tok::Const) {
        float f = std::strtof(v.c_str(), &end);
        if (end == v.c_str() || *end != 0 || !std::isfinite(f)) return Fail("bad number", v);
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        p.push_back(bits);
      } else if (type == tok::ConstInt) {
        long x = std::strtol(v.c_str(), &end, 0);
        if (end == v.c_str() || *end != 0) return Fail("bad integer", v);
        p.push_back(static_cast<uint32_t>(static_cast<int32_t>(x)));
      } else {
        std::string low = Lower(v);
        if (low != "true" && low != "false") return Fail("defb needs true or false", v);
        p.push_back(low == "true" ? 1 : 0);
      }
    }
    uint32_t op = type == tok::Const ? tok::Def : type == tok::ConstInt ? tok::DefI : tok::DefB;
    Emit(op, 0, p);
    return true;
  }

  bool Dcl(const std::string &mn, const std::vector<std::string> &ops) {
    if (ops.size() != 1) return Fail("dcl takes one register", mn);
    std::string suffix = mn.size() > 3 ? mn.substr(3) : "";
    if (!suffix.empty()) {
      if (suffix[0] != '_') return Fail("unknown instruction", mn);
      suffix = suffix.substr(1);
    }
    uint32_t usageToken;
    bool sampler = false;
    if (suffix == "2d" || suffix == "cube" || suffix == "volume") {
      sampler = true;
      usageToken = tok::DclSampler(suffix == "2d" ? tok::Sampler2D : suffix == "cube" ? tok::SamplerCube : tok::SamplerVolume);
    } else if (suffix.empty()) {
      usageToken = tok::DclUsage(0, 0);
    } else {
      size_t d = suffix.size();
      while (d > 0 && std::isdigit(static_cast<unsigned char>(suffix[d - 1]))) d--;
      std::string uname = suffix.substr(0, d);
      if (suffix.size() - d > 2) return Fail("usage index out of range", mn);
      int index = d < suffix.size() ? std::atoi(suffix.c_str() + d) : 0;
      const Usage *u = nullptr;
      for (const Usage &x : kUsages)
        if (uname == x.Name) u = &x;
      if (!u) return Fail("unknown dcl usage", mn);
      if (index > 15) return Fail("usage index out of range", mn);
      usageToken = tok::DclUsage(u->Code, index);
    }
    uint32_t dst;
    Reg reg;
    if (!ParseDst(ops[0], 0, dst, reg, true)) return false;
    if (sampler) {
      if (reg.Type != tok::Sampler) return Fail("sampler dcl needs an s register", ops[0]);
    } else if (!suffix.empty()) {
      bool ok = reg.Type == tok::Input && (Vertex || Major == 3);
      ok = ok || (Vertex && Major == 3 && reg.Type == tok::Output);
      if (!ok) return Fail("dcl with a usage not allowed for this register in " + ModelName(), ops[0]);
    } else {
      bool ok = !Vertex && Major == 2 && (reg.Type == tok::Input || reg.Type == tok::Texture);
      if (!ok) return Fail("dcl needs a usage for this register in " + ModelName(), ops[0]);
    }
    if (Declared.count({reg.Type, reg.Num})) return Fail("register declared twice", ops[0]);
    Declared.insert({reg.Type, reg.Num});
    Emit(tok::Dcl, 0, {usageToken, dst});
    return true;
  }

  bool Instruction(const std::string &mnIn, const std::vector<std::string> &ops) {
    // split result modifiers: name_sat_pp
    std::string base = mnIn;
    uint32_t resultMods = 0;
    for (;;) {
      size_t us = base.rfind('_');
      if (us == std::string::npos) break;
      std::string m = base.substr(us + 1);
      if (m == "sat") resultMods |= tok::ResultSat;
      else if (m == "pp") resultMods |= tok::ResultPP;
      else if (m == "centroid") resultMods |= tok::ResultCentroid;
      else return Fail("unknown instruction", mnIn);
      base = base.substr(0, us);
    }
    const InstrDef *def = nullptr;
    for (const InstrDef &d : kInstrs)
      if (base == d.Name) def = &d;
    if (!def) return Fail("unknown instruction", mnIn);
    if (!(def->Models & ModelBitOf())) return Fail("instruction not available in " + ModelName(), mnIn);
    int nsrc = def->Src;
    if (def->Op == tok::SinCos) nsrc = Major == 2 ? 3 : 1;
    if (static_cast<int>(ops.size()) != def->Dst + nsrc)
      return Fail("wrong number of operands for " + base, mnIn);
    if (resultMods && def->Dst == 0) return Fail("modifier on an instruction without destination", mnIn);
    if ((resultMods & tok::ResultSat) && Vertex && Major == 2)
      return Fail("_sat not available in " + ModelName(), mnIn);

    std::vector<uint32_t> params;
    Reg dreg;
    if (def->Op == tok::TexKill) {
      uint32_t dst;
      if (!ParseDst(ops[0], resultMods, dst, dreg, true)) return false;
      if (dreg.Type != tok::Temp && !(dreg.Type == tok::Texture && !Vertex && Major == 2))
        return Fail("texkill needs a temporary or texture register", ops[0]);
      if (!CheckDeclared(dreg, ops[0])) return false;
      Emit(def->Op, 0, {dst});
      return true;
    }
    if (def->Dst) {
      uint32_t dst;
      if (!ParseDst(ops[0], resultMods, dst, dreg)) return false;
      if (!CheckDeclared(dreg, ops[0])) return false;
      if (def->Op == tok::Mova) {
        if (dreg.Type != tok::Addr) return Fail("mova writes the address register", ops[0]);
      } else if (dreg.Type == tok::Addr) {
        return Fail("the address register is written only by mova", ops[0]);
      }
      if (def->Op == tok::SinCos) {
        uint32_t mask = (dst >> 16) & 15;
        if (mask & ~3u) return Fail("sincos writes only .x and .y", ops[0]);
      }
      params.push_back(dst);
    }
    for (int k = 0; k < nsrc; k++) {
      Reg sreg;
      const std::string &op = ops[def->Dst + k];
      if (!ParseSrc(op, params, sreg)) return false;
      bool isTex = def->Op == tok::Tex || def->Op == tok::TexLdl;
      if (isTex && k == 1 && sreg.Type != tok::Sampler) return Fail("texture instruction needs a sampler", op);
      if (sreg.Type == tok::Sampler && !(isTex && k == 1)) return Fail("sampler used as an operand", op);
      if (def->Op == tok::If && sreg.Type != tok::ConstBool) return Fail("if needs a boolean register", op);
      if (def->Op == tok::If) params.back() = (params.back() & ~0x00FF0000u) | tok::NoSwizzle;
      if (def->Op == tok::SinCos && k > 0 && sreg.Type != tok::Const)
        return Fail("sincos needs constant registers", op);
    }
    if (def->Op == tok::If) IfDepth++;
    if (def->Op == tok::Else && IfDepth == 0) return Fail("else without if", mnIn);
    if (def->Op == tok::EndIf) {
      if (IfDepth == 0) return Fail("endif without if", mnIn);
      IfDepth--;
    }
    Emit(def->Op, def->Control, params);
    return true;
  }
};

}  // namespace

Result Assemble(const std::string &text, const std::string &file, const std::vector<Define> &defines) {
  Preprocessed pp = Preprocess(text, file, defines);
  if (!pp.Ok) {
    Result r;
    r.Error = pp.Error;
    return r;
  }
  if (pp.Unreachable) {
    Result r;
    r.Ok = true;
    r.Unreachable = true;
    return r;
  }
  Assembler as(file);
  return as.Run(pp);
}

Result AssembleFile(const std::string &path, const std::vector<Define> &defines) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    Result r;
    r.Error = path + ": error: cannot read the file";
    return r;
  }
  std::stringstream ss;
  ss << in.rdbuf();
  std::string name = path;
  size_t slash = name.find_last_of('/');
  if (slash != std::string::npos) name = name.substr(slash + 1);
  return Assemble(ss.str(), name, defines);
}

}  // namespace shaderasm

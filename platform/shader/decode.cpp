// Decoding and validation of shader token streams, and the summary Parse gives the device.
// The input is untrusted: every read is bounds-checked and every register number, type and
// modifier is checked against the shader model before anything downstream sees it.

#include <cstdio>
#include <map>
#include <set>

#include "platform/shader/bytecode.hpp"

namespace plat::shader {

namespace {

enum : int { InVS = 1, InPS = 2, InBoth = 3 };

struct OpInfo {
  int Op;
  const char *Name;
  int Dst;
  int Src;      // for sincos and sgn: the 2.x count (3.0 takes one source)
  int Stages;
};

const OpInfo Ops[] = {
    {OpNop, "nop", 0, 0, InBoth},       {OpMov, "mov", 1, 1, InBoth},
    {OpAdd, "add", 1, 2, InBoth},       {OpSub, "sub", 1, 2, InBoth},
    {OpMad, "mad", 1, 3, InBoth},       {OpMul, "mul", 1, 2, InBoth},
    {OpRcp, "rcp", 1, 1, InBoth},       {OpRsq, "rsq", 1, 1, InBoth},
    {OpDp3, "dp3", 1, 2, InBoth},       {OpDp4, "dp4", 1, 2, InBoth},
    {OpMin, "min", 1, 2, InBoth},       {OpMax, "max", 1, 2, InBoth},
    {OpSlt, "slt", 1, 2, InBoth},       {OpSge, "sge", 1, 2, InBoth},
    {OpExp, "exp", 1, 1, InBoth},       {OpLog, "log", 1, 1, InBoth},
    {OpLit, "lit", 1, 1, InVS},         {OpDst, "dst", 1, 2, InVS},
    {OpLrp, "lrp", 1, 3, InBoth},       {OpFrc, "frc", 1, 1, InBoth},
    {OpM4x4, "m4x4", 1, 2, InBoth},     {OpM4x3, "m4x3", 1, 2, InBoth},
    {OpM3x4, "m3x4", 1, 2, InBoth},     {OpM3x3, "m3x3", 1, 2, InBoth},
    {OpM3x2, "m3x2", 1, 2, InBoth},     {OpCall, "call", 0, 1, InBoth},
    {OpCallNz, "callnz", 0, 2, InBoth}, {OpLoop, "loop", 0, 2, InBoth},
    {OpRet, "ret", 0, 0, InBoth},       {OpEndLoop, "endloop", 0, 0, InBoth},
    {OpLabel, "label", 0, 1, InBoth},   {OpDcl, "dcl", 1, 0, InBoth},
    {OpPow, "pow", 1, 2, InBoth},       {OpCrs, "crs", 1, 2, InBoth},
    {OpSgn, "sgn", 1, 3, InVS},         {OpAbs, "abs", 1, 1, InBoth},
    {OpNrm, "nrm", 1, 1, InBoth},       {OpSinCos, "sincos", 1, 3, InBoth},
    {OpRep, "rep", 0, 1, InBoth},       {OpEndRep, "endrep", 0, 0, InBoth},
    {OpIf, "if", 0, 1, InBoth},         {OpIfc, "if", 0, 2, InBoth},
    {OpElse, "else", 0, 0, InBoth},     {OpEndIf, "endif", 0, 0, InBoth},
    {OpBreak, "break", 0, 0, InBoth},   {OpBreakc, "break", 0, 2, InBoth},
    {OpMova, "mova", 1, 1, InVS},       {OpDefB, "defb", 1, 0, InBoth},
    {OpDefI, "defi", 1, 0, InBoth},     {OpTexCoord, "texcoord", 1, 0, InPS},
    {OpTexKill, "texkill", 1, 0, InPS}, {OpTex, "texld", 1, 2, InPS},
    {OpExpp, "expp", 1, 1, InBoth},     {OpLogp, "logp", 1, 1, InBoth},
    {OpCnd, "cnd", 1, 3, InPS},         {OpDef, "def", 1, 0, InBoth},
    {OpCmp, "cmp", 1, 3, InBoth},       {OpBem, "bem", 1, 2, InPS},
    {OpDp2Add, "dp2add", 1, 3, InBoth}, {OpDsx, "dsx", 1, 1, InPS},
    {OpDsy, "dsy", 1, 1, InPS},         {OpTexldd, "texldd", 1, 4, InPS},
    {OpSetp, "setp", 1, 2, InBoth},     {OpTexldl, "texldl", 1, 2, InBoth},
    {OpBreakp, "breakp", 0, 1, InBoth},
};

const OpInfo *FindOp(int op) {
  for (const OpInfo &o : Ops)
    if (o.Op == op) return &o;
  return nullptr;
}

const char *CompareSuffix(int c) {
  switch (c) {
    case CmpGt: return "_gt";
    case CmpEq: return "_eq";
    case CmpGe: return "_ge";
    case CmpLt: return "_lt";
    case CmpNe: return "_ne";
    case CmpLe: return "_le";
    default: return nullptr;
  }
}

std::string Hex(uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "0x%08X", v);
  return b;
}

struct Reader {
  const uint32_t *P;
  size_t N;
  size_t I = 0;
  bool Next(uint32_t &v) {
    if (I >= N) return false;
    v = P[I++];
    return true;
  }
};

class Decoder {
 public:
  Decoder(Program &p, std::string &err) : P(p), Err(err) {}
  bool Run(const uint32_t *tokens, size_t count);

 private:
  Program &P;
  std::string &Err;
  std::string Where;                  // "texld at token 12"
  std::set<std::pair<int, int>> Declared;   // (register type, number)
  std::map<std::pair<int, int>, int> DeclaredMask;
  std::set<std::pair<int, int>> DeclaredSem;   // VS 3.0 outputs: (usage, index)
  std::vector<int> Flow;              // 'i' if, 'e' if after else, 'l' loop, 'r' rep

  bool Fail(const std::string &why) {
    Err = Where.empty() ? why : Where + ": " + why;
    return false;
  }
  bool Sm3() const { return P.Major >= 3; }
  bool Extended() const { return P.Major >= 3 || P.Minor > 0; }
  bool IsVS() const { return P.Kind == Stage::Vertex; }
  bool InLoop() const {
    for (int f : Flow)
      if (f == 'l') return true;
    return false;
  }

  bool ReadDst(Reader &r, DstParam &d);
  bool ReadSrc(Reader &r, SrcParam &s);
  bool RegCount(int type, int &count, bool &readable, bool &writable) const;
  bool CheckReg(const Register &reg, bool write, int span = 1);
  bool CheckSrcMod(const SrcParam &s, bool boolean);
  bool CheckDeclaredRead(const Register &reg);
  bool Validate(Instruction &in);
};

bool Decoder::ReadDst(Reader &r, DstParam &d) {
  uint32_t t;
  if (!r.Next(t)) return Fail("missing destination parameter");
  if (!(t & tok::ParamBit)) return Fail("malformed destination token " + Hex(t));
  d.Reg.Type = tok::RegType(t);
  d.Reg.Num = int(t & tok::RegNumMask);
  if (t & tok::RelativeBit) return Fail("relative addressing of a destination is not supported");
  d.Mask = uint8_t((t & tok::WriteMaskMask) >> tok::WriteMaskShift);
  int mod = int((t & tok::ResultModMask) >> tok::ResultModShift);
  if (mod & ~(tok::ModSaturate | tok::ModPartialPrecision | tok::ModCentroid))
    return Fail("unknown result modifier in " + Hex(t));
  d.Saturate = mod & tok::ModSaturate;
  d.PartialPrecision = mod & tok::ModPartialPrecision;
  d.Centroid = mod & tok::ModCentroid;
  if (t & tok::ShiftMask) return Fail("result shift is not allowed in this shader model");
  return true;
}

bool Decoder::ReadSrc(Reader &r, SrcParam &s) {
  uint32_t t;
  if (!r.Next(t)) return Fail("missing source parameter");
  if (!(t & tok::ParamBit)) return Fail("malformed source token " + Hex(t));
  s.Reg.Type = tok::RegType(t);
  s.Reg.Num = int(t & tok::RegNumMask);
  uint32_t sw = (t & tok::SwizzleMask) >> tok::SwizzleShift;
  for (int i = 0; i < 4; i++) s.Swizzle[i] = uint8_t((sw >> (2 * i)) & 3u);
  s.Mod = int((t & tok::SrcModMask) >> tok::SrcModShift);
  if (t & tok::RelativeBit) {
    uint32_t a;
    if (!r.Next(a)) return Fail("missing relative address token");
    if (!(a & tok::ParamBit)) return Fail("malformed relative address token " + Hex(a));
    s.Reg.Relative = true;
    s.Reg.RelType = tok::RegType(a);
    s.Reg.RelNum = int(a & tok::RegNumMask);
    s.Reg.RelComp = int(((a & tok::SwizzleMask) >> tok::SwizzleShift) & 3u);
    if (a & (tok::SrcModMask | tok::RelativeBit))
      return Fail("modifier on relative address token " + Hex(a));
  }
  return true;
}

// Number of registers of a type in this shader model and how it may be used.
bool Decoder::RegCount(int type, int &count, bool &readable, bool &writable) const {
  readable = writable = false;
  count = 0;
  if (IsVS()) {
    switch (type) {
      case RegTemp: count = Extended() ? 32 : 12; readable = writable = true; return true;
      case RegInput: count = 16; readable = true; return true;
      case RegConst: count = 256; readable = true; return true;
      case RegAddr: count = 1; writable = true; return true;
      case RegRastOut: if (Sm3()) return false; count = 3; writable = true; return true;
      case RegAttrOut: if (Sm3()) return false; count = 2; writable = true; return true;
      case RegOutput: count = Sm3() ? 12 : 8; writable = true; return true;
      case RegConstInt: count = 16; readable = true; return true;
      case RegConstBool: count = 16; readable = true; return true;
      case RegSampler: if (!Sm3()) return false; count = 4; readable = true; return true;
      case RegLoop: count = 1; readable = true; return true;
      case RegPredicate: if (!Extended()) return false; count = 1; readable = writable = true; return true;
      default: return false;
    }
  }
  switch (type) {
    case RegTemp: count = Extended() ? 32 : 12; readable = writable = true; return true;
    case RegInput: count = Sm3() ? 10 : 2; readable = true; return true;
    case RegConst: count = Sm3() ? 224 : 32; readable = true; return true;
    case RegAddr: if (Sm3()) return false; count = 8; readable = true; return true;   // t#
    case RegColorOut: count = 4; writable = true; return true;
    case RegDepthOut: count = 1; writable = true; return true;
    case RegSampler: count = 16; readable = true; return true;
    case RegConstInt: if (!Extended()) return false; count = 16; readable = true; return true;
    case RegConstBool: if (!Extended()) return false; count = 16; readable = true; return true;
    case RegLoop: if (!Sm3()) return false; count = 1; readable = true; return true;
    case RegPredicate: if (!Extended()) return false; count = 1; readable = writable = true; return true;
    case RegMisc: if (!Sm3()) return false; count = 1; readable = true; return true;   // vPos only
    default: return false;
  }
}

bool Decoder::CheckReg(const Register &reg, bool write, int span) {
  int count;
  bool rd, wr;
  if (!RegCount(reg.Type, count, rd, wr))
    return Fail("register type " + std::to_string(reg.Type) + " does not exist in this shader model");
  if (write && !wr) return Fail(RegisterName(P, reg) + " cannot be written");
  if (!write && !rd) return Fail(RegisterName(P, reg) + " cannot be read");
  if (reg.Num < 0 || reg.Num + span > count)
    return Fail("register " + RegisterName(P, reg) + " out of range");
  if (reg.Relative) {
    if (reg.Type != RegConst)
      return Fail("relative addressing of " + RegisterName(P, reg) + " is not supported");
    bool ok = (reg.RelType == RegAddr && IsVS() && reg.RelNum == 0) ||
              (reg.RelType == RegLoop && reg.RelNum == 0 && (IsVS() || Sm3()));
    if (!ok) return Fail("invalid relative address register");
    if (reg.RelType == RegLoop && !InLoop()) return Fail("aL used outside a loop");
  }
  if (reg.Type == RegLoop && !InLoop()) return Fail("aL used outside a loop");
  return true;
}

bool Decoder::CheckSrcMod(const SrcParam &s, bool boolean) {
  if (boolean) {
    if (s.Mod != SrcNone && s.Mod != SrcNot)
      return Fail("source modifier " + std::to_string(s.Mod) + " not allowed on a boolean");
    return true;
  }
  if (s.Mod != SrcNone && s.Mod != SrcNeg && s.Mod != SrcAbs && s.Mod != SrcAbsNeg)
    return Fail("source modifier " + std::to_string(s.Mod) + " is not supported in this shader model");
  return true;
}

bool Decoder::CheckDeclaredRead(const Register &reg) {
  bool needs = reg.Type == RegInput || reg.Type == RegSampler || reg.Type == RegMisc ||
               (!IsVS() && reg.Type == RegAddr);
  if (needs && !Declared.count({reg.Type, reg.Num}))
    return Fail(RegisterName(P, reg) + " is read but not declared");
  return true;
}

bool Decoder::Validate(Instruction &in) {
  const int op = in.Op;
  auto floatSrc = [&](int i) -> bool {
    const SrcParam &s = in.Src[i];
    if (!CheckReg(s.Reg, false)) return false;
    switch (s.Reg.Type) {
      case RegSampler: case RegConstInt: case RegConstBool: case RegLoop: case RegPredicate:
        return Fail(RegisterName(P, s.Reg) + " cannot be used as a float source");
      default: break;
    }
    if (!CheckSrcMod(s, false)) return false;
    return CheckDeclaredRead(s.Reg);
  };
  auto floatDst = [&]() -> bool {
    const DstParam &d = in.Dst;
    if (!CheckReg(d.Reg, true)) return false;
    if (d.Reg.Type == RegAddr || d.Reg.Type == RegPredicate)
      return Fail(RegisterName(P, d.Reg) + " cannot be written by " + in.Name);
    if (d.Mask == 0) return Fail("empty write mask");
    if (IsVS() && Sm3() && d.Reg.Type == RegOutput && !Declared.count({RegOutput, d.Reg.Num}))
      return Fail(RegisterName(P, d.Reg) + " is written but not declared");
    return true;
  };
  auto sampler = [&](int i) -> bool {
    const SrcParam &s = in.Src[i];
    if (s.Reg.Type != RegSampler) return Fail("second source must be a sampler");
    if (!CheckReg(s.Reg, false)) return false;
    if (s.Mod != SrcNone) return Fail("modifier on a sampler");
    return CheckDeclaredRead(s.Reg);
  };

  if (in.HasDst && op != OpDef && op != OpDefI && op != OpDefB && in.Dst.Mask == 0)
    return Fail("empty write mask");
  switch (op) {
    case OpNop:
      return true;
    case OpDcl: {
      const Register &r = in.Dst.Reg;
      if (!CheckReg(r, r.Type == RegOutput)) return false;
      // vs_3_0 outputs and ps_3_0 inputs may pack several semantics into the components of
      // one register; everything else is declared once
      bool packable = Sm3() && ((IsVS() && r.Type == RegOutput) || (!IsVS() && r.Type == RegInput));
      auto prev = DeclaredMask.find({r.Type, r.Num});
      if (prev != DeclaredMask.end() && (!packable || (prev->second & in.Dst.Mask)))
        return Fail(RegisterName(P, r) + " declared twice");
      if (r.Type == RegSampler) {
        if (in.DclTexType != tok::TexType2D && in.DclTexType != tok::TexTypeCube &&
            in.DclTexType != tok::TexTypeVolume)
          return Fail("unsupported sampler type " + std::to_string(in.DclTexType));
      } else if (r.Type == RegInput || r.Type == RegOutput) {
        bool semantic = IsVS() || Sm3();
        if (semantic && (in.DclUsage > 13 || in.DclIndex > 15))
          return Fail("invalid declaration usage " + std::to_string(in.DclUsage) + "/" +
                      std::to_string(in.DclIndex));
        if (r.Type == RegOutput) {
          if (!(IsVS() && Sm3())) return Fail("outputs are declared only in vs_3_0");
          if (DeclaredSem.count({in.DclUsage, in.DclIndex}))
            return Fail("output semantic declared twice");
          DeclaredSem.insert({in.DclUsage, in.DclIndex});
        }
      } else if (r.Type == RegMisc) {
        // vPos (vFace is refused by the register range)
      } else if (!(r.Type == RegAddr && !IsVS())) {
        return Fail("cannot declare " + RegisterName(P, r));
      }
      if (in.Dst.Mask == 0) return Fail("empty write mask");
      Declared.insert({r.Type, r.Num});
      DeclaredMask[{r.Type, r.Num}] |= in.Dst.Mask;
      return true;
    }
    case OpDef: case OpDefI: case OpDefB: {
      int want = op == OpDef ? RegConst : op == OpDefI ? RegConstInt : RegConstBool;
      if (in.Dst.Reg.Type != want) return Fail("wrong register type for " + in.Name);
      int count;
      bool rd, wr;
      if (!RegCount(want, count, rd, wr) || in.Dst.Reg.Num >= count)
        return Fail("register " + RegisterName(P, in.Dst.Reg) + " out of range");
      return true;
    }
    case OpMova:
      if (in.Dst.Reg.Type != RegAddr) return Fail("mova writes a0 only");
      if (in.Dst.Saturate) return Fail("an address register cannot be saturated");
      if (!CheckReg(in.Dst.Reg, true)) return false;
      return floatSrc(0);
    case OpSetp:
      if (in.Dst.Reg.Type != RegPredicate) return Fail("setp writes p0 only");
      if (!CheckReg(in.Dst.Reg, true)) return false;
      if (!CompareSuffix(in.Control)) return Fail("invalid comparison");
      return floatSrc(0) && floatSrc(1);
    case OpTex:
      if (!floatDst() || !floatSrc(0) || !sampler(1)) return false;
      if (in.Control & ~3) return Fail("unknown texld control");
      return true;
    case OpTexldl:
      if (!floatDst() || !floatSrc(0) || !sampler(1)) return false;
      return true;
    case OpTexldd:
      return floatDst() && floatSrc(0) && sampler(1) && floatSrc(2) && floatSrc(3);
    case OpTexKill: {
      // the operand is encoded as a destination but is read
      const Register &r = in.Dst.Reg;
      if (!(r.Type == RegTemp || (!IsVS() && !Sm3() && r.Type == RegAddr) ||
            (Sm3() && r.Type == RegInput)))
        return Fail("texkill needs a temporary or texture coordinate register");
      if (!CheckReg(r, false) || !CheckDeclaredRead(r)) return false;
      if (in.Dst.Mask == 0) return Fail("empty write mask");
      return true;
    }
    case OpIf: {
      const SrcParam &s = in.Src[0];
      if (s.Reg.Type != RegConstBool && s.Reg.Type != RegPredicate)
        return Fail("if needs a boolean or predicate register");
      if (!CheckReg(s.Reg, false) || !CheckSrcMod(s, true)) return false;
      Flow.push_back('i');
      return true;
    }
    case OpIfc:
      if (!CompareSuffix(in.Control)) return Fail("invalid comparison");
      if (!floatSrc(0) || !floatSrc(1)) return false;
      Flow.push_back('i');
      return true;
    case OpElse:
      if (Flow.empty() || Flow.back() != 'i') return Fail("else without if");
      Flow.back() = 'e';
      return true;
    case OpEndIf:
      if (Flow.empty() || (Flow.back() != 'i' && Flow.back() != 'e')) return Fail("endif without if");
      Flow.pop_back();
      return true;
    case OpRep: {
      const SrcParam &s = in.Src[0];
      if (s.Reg.Type != RegConstInt) return Fail("rep needs an integer register");
      if (!CheckReg(s.Reg, false)) return false;
      if (s.Mod != SrcNone) return Fail("modifier on rep count");
      Flow.push_back('r');
      return true;
    }
    case OpLoop: {
      if (in.Src[0].Reg.Type != RegLoop) return Fail("loop needs aL as its first operand");
      if (in.Src[1].Reg.Type != RegConstInt) return Fail("loop needs an integer register");
      if (in.Src[0].Reg.Num != 0) return Fail("register aL out of range");
      if (!CheckReg(in.Src[1].Reg, false)) return false;
      if (in.Src[0].Mod != SrcNone || in.Src[1].Mod != SrcNone) return Fail("modifier on loop operand");
      Flow.push_back('l');
      return true;
    }
    case OpEndRep:
      if (Flow.empty() || Flow.back() != 'r') return Fail("endrep without rep");
      Flow.pop_back();
      return true;
    case OpEndLoop:
      if (Flow.empty() || Flow.back() != 'l') return Fail("endloop without loop");
      Flow.pop_back();
      return true;
    case OpBreak: case OpBreakc: case OpBreakp: {
      bool inLoop = false;
      for (int f : Flow) inLoop |= f == 'r' || f == 'l';
      if (!inLoop) return Fail(in.Name + " outside a loop");
      if (op == OpBreakc) {
        if (!CompareSuffix(in.Control)) return Fail("invalid comparison");
        return floatSrc(0) && floatSrc(1);
      }
      if (op == OpBreakp) {
        const SrcParam &s = in.Src[0];
        if (s.Reg.Type != RegPredicate) return Fail("breakp needs p0");
        return CheckReg(s.Reg, false) && CheckSrcMod(s, true);
      }
      return true;
    }
    case OpM4x4: case OpM4x3: case OpM3x4: case OpM3x3: case OpM3x2: {
      int rows = op == OpM4x4 || op == OpM3x4 ? 4 : op == OpM3x2 ? 2 : 3;
      if (!floatDst() || !floatSrc(0) || !floatSrc(1)) return false;
      if (!in.Src[1].Reg.Relative) {
        if (!CheckReg(in.Src[1].Reg, false, rows)) return false;
        // every row read must exist as a declared register
        for (int k = 1; k < rows; k++) {
          Register row = in.Src[1].Reg;
          row.Num += k;
          if (!CheckDeclaredRead(row)) return false;
        }
      }
      return true;
    }
    case OpSinCos:
      if (!floatDst() || !floatSrc(0)) return false;
      if (in.Dst.Mask & 0xC) return Fail("sincos writes .x, .y or .xy only");
      if (in.NumSrc == 3 && !(floatSrc(1) && floatSrc(2))) return false;
      return true;
    default:
      break;
  }
  // plain arithmetic
  if (!floatDst()) return false;
  for (int i = 0; i < in.NumSrc; i++)
    if (!floatSrc(i)) return false;
  return true;
}

bool Decoder::Run(const uint32_t *tokens, size_t count) {
  P.Code.clear();
  if (!tokens || count == 0) return Fail("empty token stream");
  uint32_t v = tokens[0];
  uint32_t kind = v & 0xFFFF0000u;
  if (kind != tok::VertexVersion && kind != tok::PixelVersion)
    return Fail("invalid version token " + Hex(v));
  P.Kind = kind == tok::VertexVersion ? Stage::Vertex : Stage::Pixel;
  P.Major = int((v >> 8) & 0xFF);
  P.Minor = int(v & 0xFF);
  if (!((P.Major == 2 && (P.Minor == 0 || P.Minor == 1)) || (P.Major == 3 && P.Minor == 0))) {
    P.Major = P.Minor = 0;
    return Fail("unsupported shader version " + Hex(v));
  }

  size_t pos = 1;
  for (;;) {
    Where.clear();
    if (pos >= count) return Fail("missing end token");
    uint32_t t = tokens[pos];
    if (t == tok::End) break;
    int opcode = int(t & tok::OpcodeMask);
    if (opcode == int(tok::CommentOpcode)) {
      size_t len = (t >> 16) & 0x7FFFu;
      if (len > count - pos - 1)
        return Fail("comment at token " + std::to_string(pos) + " runs past the end of the stream");
      pos += 1 + len;
      continue;
    }
    const OpInfo *info = FindOp(opcode);
    if (t & tok::ParamBit) return Fail("token " + std::to_string(pos) + " (" + Hex(t) + ") is not an instruction");
    if (!info) {
      char b[64];
      std::snprintf(b, sizeof b, "unknown opcode 0x%04X at token %zu", unsigned(opcode), pos);
      return Fail(b);
    }
    Instruction in;
    in.Op = opcode;
    in.Offset = pos;
    in.Control = int((t & tok::ControlMask) >> tok::ControlShift);
    in.Name = info->Name;
    if (opcode == OpTex)
      in.Name = (t & tok::TexldProject) ? "texldp" : (t & tok::TexldBias) ? "texldb" : "texld";
    if (opcode == OpIfc || opcode == OpBreakc || opcode == OpSetp)
      if (const char *suffix = CompareSuffix(in.Control)) in.Name += suffix;
    Where = in.Name + " at token " + std::to_string(pos);
    if (t & tok::CoIssue) return Fail("co-issue is not allowed in this shader model");
    if (!(info->Stages & (P.Kind == Stage::Vertex ? InVS : InPS)))
      return Fail("not available in " + std::string(P.Kind == Stage::Vertex ? "vertex" : "pixel") + " shaders");
    switch (opcode) {
      case OpCall: case OpCallNz: case OpRet: case OpLabel: case OpTexCoord: case OpCnd:
      case OpBem:
        return Fail("instruction is not supported");
      default: break;
    }
    if (opcode == OpSgn && !IsVS()) return Fail("not available in pixel shaders");
    if (opcode == OpTex && IsVS()) return Fail("not available in vertex shaders");

    size_t len = (t & tok::LengthMask) >> tok::LengthShift;
    if (len > count - pos - 1) return Fail("instruction runs past the end of the stream");
    Reader r{tokens + pos + 1, len};
    in.Predicated = (t & tok::Predicated) != 0;
    if (opcode == OpDcl) {
      uint32_t d;
      if (!r.Next(d)) return Fail("missing declaration token");
      if (!(d & tok::ParamBit)) return Fail("malformed declaration token " + Hex(d));
      in.DclUsage = int(d & tok::UsageMask);
      in.DclIndex = int((d & tok::UsageIndexMask) >> tok::UsageIndexShift);
      in.DclTexType = int((d & tok::TextureTypeMask) >> tok::TextureTypeShift);
      if (!ReadDst(r, in.Dst)) return false;
      in.HasDst = true;
    } else if (opcode == OpDef || opcode == OpDefI || opcode == OpDefB) {
      if (!ReadDst(r, in.Dst)) return false;
      in.HasDst = true;
      int n = opcode == OpDefB ? 1 : 4;
      for (int i = 0; i < n; i++)
        if (!r.Next(in.Values[i])) return Fail("missing constant value");
    } else {
      if (info->Dst) {
        if (!ReadDst(r, in.Dst)) return false;
        in.HasDst = true;
      }
      if (in.Predicated) {
        if (!ReadSrc(r, in.Pred)) return false;
        if (in.Pred.Reg.Type != RegPredicate || !CheckReg(in.Pred.Reg, false) ||
            !CheckSrcMod(in.Pred, true))
          return Fail("invalid predicate");
      }
      in.NumSrc = info->Src;
      if ((opcode == OpSinCos || opcode == OpSgn) && Sm3()) in.NumSrc = 1;
      for (int i = 0; i < in.NumSrc; i++)
        if (!ReadSrc(r, in.Src[i])) return false;
    }
    if (r.I != len) return Fail("length " + std::to_string(len) + " does not match its operands");
    if (!Validate(in)) return false;
    if (Flow.size() > 64) return Fail("flow control nested too deeply");
    P.Code.push_back(std::move(in));
    pos += 1 + len;
  }
  Where.clear();
  if (!Flow.empty()) {
    int f = Flow.back();
    return Fail(f == 'l' ? "missing endloop" : f == 'r' ? "missing endrep" : "missing endif");
  }
  return true;
}

}  // namespace

bool Decode(const uint32_t *tokens, size_t count, Program &out, std::string &error) {
  error.clear();
  Decoder d(out, error);
  return d.Run(tokens, count);
}

bool Parse(const uint32_t *tokens, size_t count, ShaderInfo &info, std::string &error) {
  info = ShaderInfo{};
  info.HighestConstF = -1;
  for (SamplerKind &s : info.Samplers) s = SamplerKind::None;
  Program p;
  if (!Decode(tokens, count, p, error)) return false;
  info.Kind = p.Kind;
  info.Major = p.Major;
  info.Minor = p.Minor;
  const bool vs = p.Kind == Stage::Vertex;
  const bool sm3 = p.Major >= 3;
  const int constCount = vs ? 256 : sm3 ? 224 : 32;

  std::set<int> defined;
  for (const Instruction &in : p.Code)
    if (in.Op == OpDef) defined.insert(in.Dst.Reg.Num);

  auto addOutput = [&](Semantic s) {
    for (const Semantic &o : info.Outputs)
      if (o.Usage == s.Usage && o.UsageIndex == s.UsageIndex) return;
    info.Outputs.push_back(s);
  };
  auto readConst = [&](const Register &r, int span) {
    if (r.Type != RegConst) return;
    if (r.Relative) {
      info.HighestConstF = constCount - 1;
      return;
    }
    for (int k = 0; k < span; k++)
      if (!defined.count(r.Num + k) && r.Num + k > info.HighestConstF) info.HighestConstF = r.Num + k;
  };
  int highestColor = -1;
  for (const Instruction &in : p.Code) {
    if (in.Op == OpDcl) {
      const Register &r = in.Dst.Reg;
      if (r.Type == RegSampler) {
        info.Samplers[r.Num] = in.DclTexType == tok::TexType2D     ? SamplerKind::Tex2D
                               : in.DclTexType == tok::TexTypeCube ? SamplerKind::Cube
                                                                   : SamplerKind::Volume;
      } else if (r.Type == RegInput && (vs || sm3)) {
        info.Inputs.push_back({r.Num, {uint8_t(in.DclUsage), uint8_t(in.DclIndex)}});
      } else if (r.Type == RegInput) {
        info.Inputs.push_back({r.Num, {10, uint8_t(r.Num)}});
      } else if (r.Type == RegAddr && !vs) {
        info.Inputs.push_back({r.Num, {5, uint8_t(r.Num)}});
      } else if (r.Type == RegOutput && !(in.DclUsage == 0 && in.DclIndex == 0)) {
        addOutput({uint8_t(in.DclUsage), uint8_t(in.DclIndex)});
      }
      continue;
    }
    if (in.Op == OpDef || in.Op == OpDefI || in.Op == OpDefB) continue;
    for (int i = 0; i < in.NumSrc; i++) {
      int span = 1;
      if (i == 1) {
        if (in.Op == OpM4x4 || in.Op == OpM3x4) span = 4;
        if (in.Op == OpM4x3 || in.Op == OpM3x3) span = 3;
        if (in.Op == OpM3x2) span = 2;
      }
      readConst(in.Src[i].Reg, span);
    }
    if (!in.HasDst || in.Op == OpTexKill) continue;
    const Register &d = in.Dst.Reg;
    if (vs && !sm3) {
      if (d.Type == RegAttrOut) addOutput({10, uint8_t(d.Num)});
      if (d.Type == RegOutput) addOutput({5, uint8_t(d.Num)});
      if (d.Type == RegRastOut && d.Num == 1) addOutput({11, 0});
      if (d.Type == RegRastOut && d.Num == 2) addOutput({4, 0});
    }
    if (!vs && d.Type == RegColorOut && d.Num > highestColor) highestColor = d.Num;
    if (!vs && d.Type == RegDepthOut) info.WritesDepth = true;
  }
  info.ColorOutputs = highestColor + 1;
  return true;
}

}  // namespace plat::shader

#include "tools/shaderasm/preprocess.hpp"

#include <cctype>
#include <cstdlib>

namespace shaderasm {

namespace {

bool IsIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

std::string Trim(const std::string &s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) b++;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) e--;
  return s.substr(b, e - b);
}

// Recursive-descent evaluator over a token list.
class Evaluator {
 public:
  Evaluator(const std::map<std::string, std::string> &macros, int depth) : Macros(macros), Depth(depth) {}

  bool Run(const std::string &text, int64_t &value, std::string &error) {
    if (!Tokenize(text, error)) return false;
    if (Toks.empty()) {
      error = "empty expression";
      return false;
    }
    Pos = 0;
    if (!Ternary(value)) {
      error = Err;
      return false;
    }
    if (Pos != Toks.size()) {
      error = "unexpected '" + Toks[Pos] + "' in expression";
      return false;
    }
    return true;
  }

 private:
  const std::map<std::string, std::string> &Macros;
  int Depth;
  std::vector<std::string> Toks;
  size_t Pos = 0;
  std::string Err;

  bool Tokenize(const std::string &s, std::string &error) {
    static const char *two[] = {"&&", "||", "==", "!=", "<=", ">=", "<<", ">>"};
    size_t i = 0;
    while (i < s.size()) {
      char c = s[i];
      if (std::isspace(static_cast<unsigned char>(c))) {
        i++;
        continue;
      }
      if (IsIdentStart(c)) {
        size_t b = i;
        while (i < s.size() && IsIdentChar(s[i])) i++;
        Toks.push_back(s.substr(b, i - b));
        continue;
      }
      if (std::isdigit(static_cast<unsigned char>(c))) {
        size_t b = i;
        while (i < s.size() && IsIdentChar(s[i])) i++;
        Toks.push_back(s.substr(b, i - b));
        continue;
      }
      bool found = false;
      for (const char *t : two) {
        if (s.compare(i, 2, t) == 0) {
          Toks.push_back(t);
          i += 2;
          found = true;
          break;
        }
      }
      if (found) continue;
      if (std::string("+-*/%<>!~&|^()?:").find(c) != std::string::npos) {
        Toks.push_back(std::string(1, c));
        i++;
        continue;
      }
      error = std::string("unexpected character '") + c + "' in expression";
      return false;
    }
    return true;
  }

  bool Peek(const char *t) const { return Pos < Toks.size() && Toks[Pos] == t; }
  bool Fail(const std::string &msg) {
    if (Err.empty()) Err = msg;
    return false;
  }

  bool Ternary(int64_t &v) {
    if (!Binary(0, v)) return false;
    if (Peek("?")) {
      Pos++;
      int64_t a, b;
      if (!Ternary(a)) return false;
      if (!Peek(":")) return Fail("expected ':' in expression");
      Pos++;
      if (!Ternary(b)) return false;
      v = v ? a : b;
    }
    return true;
  }

  // precedence levels, lowest first
  static int Level(const std::string &op) {
    if (op == "||") return 0;
    if (op == "&&") return 1;
    if (op == "|") return 2;
    if (op == "^") return 3;
    if (op == "&") return 4;
    if (op == "==" || op == "!=") return 5;
    if (op == "<" || op == ">" || op == "<=" || op == ">=") return 6;
    if (op == "<<" || op == ">>") return 7;
    if (op == "+" || op == "-") return 8;
    if (op == "*" || op == "/" || op == "%") return 9;
    return -1;
  }

  bool Binary(int level, int64_t &v) {
    if (level > 9) return Unary(v);
    if (!Binary(level + 1, v)) return false;
    while (Pos < Toks.size() && Level(Toks[Pos]) == level) {
      std::string op = Toks[Pos++];
      int64_t r;
      if (!Binary(level + 1, r)) return false;
      if (op == "||") v = (v || r);
      else if (op == "&&") v = (v && r);
      else if (op == "|") v |= r;
      else if (op == "^") v ^= r;
      else if (op == "&") v &= r;
      else if (op == "==") v = (v == r);
      else if (op == "!=") v = (v != r);
      else if (op == "<") v = (v < r);
      else if (op == ">") v = (v > r);
      else if (op == "<=") v = (v <= r);
      else if (op == ">=") v = (v >= r);
      else if (op == "<<") v = (r < 0 || r > 62) ? 0 : static_cast<int64_t>(static_cast<uint64_t>(v) << r);
      else if (op == ">>") v = (r < 0 || r > 62) ? 0 : (v >> r);
      // wrapping arithmetic: no overflow trap on silly input
      else if (op == "+") v = static_cast<int64_t>(static_cast<uint64_t>(v) + static_cast<uint64_t>(r));
      else if (op == "-") v = static_cast<int64_t>(static_cast<uint64_t>(v) - static_cast<uint64_t>(r));
      else if (op == "*") v = static_cast<int64_t>(static_cast<uint64_t>(v) * static_cast<uint64_t>(r));
      else {
        if (r == 0) return Fail("division by zero in expression");
        if (r == -1) v = (op == "/") ? static_cast<int64_t>(0 - static_cast<uint64_t>(v)) : 0;
        else v = (op == "/") ? v / r : v % r;
      }
    }
    return true;
  }

  bool Unary(int64_t &v) {
    if (Pos >= Toks.size()) return Fail("expression ends early");
    const std::string &t = Toks[Pos];
    if (t == "!" || t == "-" || t == "~" || t == "+") {
      Pos++;
      if (!Unary(v)) return false;
      if (t == "!") v = !v;
      else if (t == "-") v = static_cast<int64_t>(0 - static_cast<uint64_t>(v));
      else if (t == "~") v = ~v;
      return true;
    }
    return Primary(v);
  }

  bool Primary(int64_t &v) {
    if (Pos >= Toks.size()) return Fail("expression ends early");
    std::string t = Toks[Pos++];
    if (t == "(") {
      if (!Ternary(v)) return false;
      if (!Peek(")")) return Fail("missing ')' in expression");
      Pos++;
      return true;
    }
    if (std::isdigit(static_cast<unsigned char>(t[0]))) {
      char *end = nullptr;
      v = static_cast<int64_t>(std::strtoll(t.c_str(), &end, 0));
      if (*end != 0) return Fail("bad number '" + t + "'");
      return true;
    }
    if (IsIdentStart(t[0])) {
      if (t == "defined") {
        bool paren = Peek("(");
        if (paren) Pos++;
        if (Pos >= Toks.size() || !IsIdentStart(Toks[Pos][0])) return Fail("defined needs a name");
        v = Macros.count(Toks[Pos++]) ? 1 : 0;
        if (paren) {
          if (!Peek(")")) return Fail("missing ')' after defined");
          Pos++;
        }
        return true;
      }
      auto it = Macros.find(t);
      if (it == Macros.end()) return Fail("undefined name '" + t + "' in expression");
      if (Depth > 32) return Fail("macro '" + t + "' expands too deeply");
      Evaluator sub(Macros, Depth + 1);
      std::string err;
      if (!sub.Run(it->second, v, err)) return Fail(err + " (in macro '" + t + "')");
      return true;
    }
    return Fail("unexpected '" + t + "' in expression");
  }
};

// Replaces defined names in an assembly line by their values.
bool ExpandLine(const std::string &line, const std::map<std::string, std::string> &macros, std::string &out,
                std::string &badName) {
  std::string cur = line;
  for (int pass = 0; pass < 32; pass++) {
    std::string next;
    bool changed = false;
    size_t i = 0;
    while (i < cur.size()) {
      char c = cur[i];
      if (IsIdentStart(c) && (i == 0 || !IsIdentChar(cur[i - 1]))) {
        size_t b = i;
        while (i < cur.size() && IsIdentChar(cur[i])) i++;
        std::string name = cur.substr(b, i - b);
        auto it = macros.find(name);
        if (it != macros.end()) {
          next += it->second;
          changed = true;
        } else {
          next += name;
        }
        continue;
      }
      if (std::isdigit(static_cast<unsigned char>(c)) || c == '.') {
        // numbers and swizzles stay as they are (1e5, c0.x)
        size_t b = i;
        i++;
        while (i < cur.size() && (IsIdentChar(cur[i]) || cur[i] == '.')) i++;
        next += cur.substr(b, i - b);
        continue;
      }
      next += c;
      i++;
    }
    cur = next;
    if (!changed) {
      out = cur;
      return true;
    }
    badName.clear();
  }
  badName = line;
  return false;
}

}  // namespace

bool EvalExpression(const std::string &expr, const std::map<std::string, std::string> &macros, int64_t &value,
                    std::string &error) {
  Evaluator ev(macros, 0);
  return ev.Run(expr, value, error);
}

Preprocessed Preprocess(const std::string &text, const std::string &file, const std::vector<Define> &defines) {
  Preprocessed out;
  std::map<std::string, std::string> macros;
  for (const Define &d : defines) macros[d.Name] = d.Value;

  struct Cond {
    bool ParentActive;
    bool Active;
    bool Taken;
    bool SeenElse;
    int Line;
  };
  std::vector<Cond> conds;
  auto active = [&] { return conds.empty() || conds.back().Active; };
  auto fail = [&](int line, const std::string &msg, const std::string &token) {
    out.Ok = false;
    out.Error = file + ":" + std::to_string(line) + ": error: " + msg + (token.empty() ? "" : " '" + token + "'");
    return out;
  };

  bool inBlock = false;
  int lineNo = 0;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t nl = text.find('\n', pos);
    if (nl == std::string::npos) nl = text.size();
    std::string raw = text.substr(pos, nl - pos);
    pos = nl + 1;
    lineNo++;
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();

    // strip comments (block comments may span lines)
    std::string line;
    for (size_t i = 0; i < raw.size(); i++) {
      if (inBlock) {
        if (raw.compare(i, 2, "*/") == 0) {
          inBlock = false;
          i++;
        }
        continue;
      }
      if (raw.compare(i, 2, "/*") == 0) {
        inBlock = true;
        i++;
        line += ' ';
        continue;
      }
      if (raw[i] == ';' || raw.compare(i, 2, "//") == 0) break;
      line += raw[i];
    }
    line = Trim(line);
    if (line.empty()) {
      if (nl >= text.size()) break;
      continue;
    }

    if (line[0] == '#') {
      std::string rest = Trim(line.substr(1));
      size_t e = 0;
      while (e < rest.size() && IsIdentChar(rest[e])) e++;
      std::string dir = rest.substr(0, e);
      std::string arg = Trim(rest.substr(e));
      auto evalArg = [&](int64_t &v) -> bool {
        std::string err;
        if (!EvalExpression(arg, macros, v, err)) {
          fail(lineNo, err, "#" + dir + " " + arg);
          return false;
        }
        return true;
      };
      if (dir == "if" || dir == "ifdef" || dir == "ifndef") {
        Cond c{active(), false, false, false, lineNo};
        if (c.ParentActive) {
          bool v;
          if (dir == "if") {
            int64_t x;
            if (!evalArg(x)) return out;
            v = x != 0;
          } else {
            if (arg.empty() || !IsIdentStart(arg[0])) return fail(lineNo, "#" + dir + " needs a name", arg);
            v = macros.count(arg) != 0;
            if (dir == "ifndef") v = !v;
          }
          c.Active = v;
          c.Taken = v;
        }
        conds.push_back(c);
      } else if (dir == "elif") {
        if (conds.empty()) return fail(lineNo, "#elif without #if", "#elif");
        Cond &c = conds.back();
        if (c.SeenElse) return fail(lineNo, "#elif after #else", "#elif");
        c.Active = false;
        if (c.ParentActive && !c.Taken) {
          int64_t x;
          if (!evalArg(x)) return out;
          c.Active = x != 0;
          c.Taken = c.Active;
        }
      } else if (dir == "else") {
        if (conds.empty()) return fail(lineNo, "#else without #if", "#else");
        Cond &c = conds.back();
        if (c.SeenElse) return fail(lineNo, "second #else", "#else");
        c.SeenElse = true;
        c.Active = c.ParentActive && !c.Taken;
        c.Taken = true;
      } else if (dir == "endif") {
        if (conds.empty()) return fail(lineNo, "#endif without #if", "#endif");
        conds.pop_back();
      } else if (!active()) {
        // other directives in skipped blocks are ignored
      } else if (dir == "define") {
        size_t n = 0;
        while (n < arg.size() && IsIdentChar(arg[n])) n++;
        std::string name = arg.substr(0, n);
        if (name.empty() || !IsIdentStart(name[0])) return fail(lineNo, "#define needs a name", arg);
        if (n < arg.size() && arg[n] == '(') return fail(lineNo, "macros with parameters are not supported", name);
        macros[name] = Trim(arg.substr(n));
      } else if (dir == "undef") {
        macros.erase(arg);
      } else if (dir == "error") {
        return fail(lineNo, "#error", arg);
      } else if (dir == "pragma") {
        if (arg != "unreachable") return fail(lineNo, "unknown #pragma", arg);
        out.Unreachable = true;
      } else {
        return fail(lineNo, "unknown directive", "#" + dir);
      }
      if (nl >= text.size()) break;
      continue;
    }

    if (active()) {
      std::string expanded, bad;
      if (!ExpandLine(line, macros, expanded, bad)) return fail(lineNo, "macro expansion does not end", line);
      out.Lines.push_back({lineNo, Trim(expanded)});
    }
    if (nl >= text.size()) break;
  }
  if (inBlock) return fail(lineNo, "unterminated comment", "/*");
  if (!conds.empty()) return fail(conds.back().Line, "#if without #endif", "#if");
  out.Ok = true;
  return out;
}

}  // namespace shaderasm

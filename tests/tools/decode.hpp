// A small reader of token streams for the tests: splits a program into its instructions.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace testdecode {

struct Instr {
  uint32_t Op;       // bits 0..15
  uint32_t Control;  // bits 16..23
  std::vector<uint32_t> Params;
};

inline uint32_t RegType(uint32_t param) { return ((param >> 28) & 7u) | ((param >> 8) & 0x18u); }
inline int RegNum(uint32_t param) { return static_cast<int>(param & 0x7FFu); }

// Splits the stream; returns false when the framing is broken (no end token, a length
// running past the end, a comment token).
inline bool Split(const uint32_t *code, size_t count, std::vector<Instr> &out) {
  if (count < 2) return false;
  size_t i = 1;
  while (i < count) {
    uint32_t t = code[i];
    if (t == 0x0000FFFFu) return i + 1 == count;
    if ((t & 0xFFFFu) == 0xFFFEu) return false;
    if (t & 0x80000000u) return false;  // a parameter where an instruction should be
    uint32_t len = (t >> 24) & 15u;
    if (i + 1 + len > count) return false;
    Instr ins{t & 0xFFFFu, (t >> 16) & 0xFFu, {}};
    for (uint32_t k = 0; k < len; k++) {
      if (!(code[i + 1 + k] & 0x80000000u) && ins.Op != 81 && ins.Op != 47 && ins.Op != 48) return false;
      ins.Params.push_back(code[i + 1 + k]);
    }
    out.push_back(ins);
    i += 1 + len;
  }
  return false;
}

}  // namespace testdecode

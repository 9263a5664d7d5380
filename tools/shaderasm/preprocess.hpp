// The assembler's preprocessor (internal to the assembler library).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tools/shaderasm/asm.hpp"

namespace shaderasm {

struct SourceLine {
  int Line = 0;       // 1-based line number in the source
  std::string Text;   // macro-expanded text without comments, trimmed
};

struct Preprocessed {
  bool Ok = false;
  bool Unreachable = false;
  std::vector<SourceLine> Lines;  // the active, non-empty lines
  std::string Error;
};

Preprocessed Preprocess(const std::string &text, const std::string &file, const std::vector<Define> &defines);

// Evaluates an integer expression with the given macros (exposed for tests).
bool EvalExpression(const std::string &expr, const std::map<std::string, std::string> &macros,
                    int64_t &value, std::string &error);

}  // namespace shaderasm

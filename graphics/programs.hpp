#pragma once
// The choice of compiled programs, shared by the framework's materials and the show's
// material classes (not for users of the graphics).

#include "graphics/graphics.hpp"
#include "shaders/shadercode.hpp"

namespace sprograms
{
constexpr sU32 VSType = sSTF_VERTEX | sSTF_HLSL23;   // 0x1100
constexpr sU32 PSType = sSTF_PIXEL | sSTF_HLSL23;    // 0x2100

// The shared shader of entry i of a program table. An index the table does not hold, or
// an entry without a program, stops the program.
sShader *MakeShader(sU32 type, const shadercode::Code *codes, sInt count, sInt i);

template <sInt N>
sShader *MakeShader(sU32 type, const shadercode::Code (&codes)[N], sInt i)
{
  return MakeShader(type, codes, N, i);
}

// A slot counts as textured when it holds a texture or is flagged as used without one.
sBool SlotUsed(const sMaterial *m, sInt slot);
}

#pragma once
// DXT block packing on the CPU: 8-byte colour blocks (DXT1) and 16-byte blocks of an
// alpha part and a colour part (DXT5), for the block formats of the texture flags word.

#include "base/types.hpp"

// Bits of the packer's mode word.
enum : sInt
{
  sDXT_REFINEMASK = 0x3f,   // non-zero: up to three refinement passes instead of one
  sDXT_ALTINTERP = 0x40,    // palette entries 2 and 3 as (5a+3b)/8 and (3a+5b)/8
  sDXT_DITHER = 0x80,       // dither the block before choosing end points and while matching
};

// Packs width x height ARGB pixels (rows from the top) into ((width + 3) / 4) x
// ((height + 3) / 4) blocks, row by row. Format 13 writes 8-byte colour blocks; 16, 29
// (normal map: x in alpha, y in green) and 36 (Y, Co, Cg) write 16-byte blocks. Any other
// format is fatal. Any number of threads may pack at once.
void sCompressDXT(sU8 *dest, const sU32 *pixels, sInt width, sInt height, sInt format, sInt mode);

// Bytes that sCompressDXT writes for an image of that size and format.
sDInt sDXTSize(sInt width, sInt height, sInt format);

// The pieces of the packer, open for tests and for tools that pack single blocks.
namespace sDXT
{
// 16 ARGB pixels of a 4x4 block, row by row -> color0, color1, 32 bits of indices.
void PackColorBlock(sU8 *dest, const sU32 *block, sInt mode);
// 16 ARGB pixels (alpha in the top byte) -> alpha0, alpha1, 48 bits of indices.
void PackAlphaBlock(sU8 *dest, const sU32 *block);
// The four palette entries (0x00RRGGBB) of a colour block with these end points.
void BuildPalette(sU32 *palette, sU16 color0, sU16 color1, sInt mode);
// The end points that best make a uniform 8-bit value as palette entry 2, from the
// tables of the interpolation rule of the mode word: [0] = color0, [1] = color1.
void MatchSingle5(sInt value, sInt mode, sInt *pair);
void MatchSingle6(sInt value, sInt mode, sInt *pair);
// The colour transforms of formats 29 and 36, applied to each pixel before packing.
sU32 NormalMapPixel(sU32 argb);
sU32 YCoCgPixel(sU32 argb);
}

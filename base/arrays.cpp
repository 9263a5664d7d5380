// Out-of-line parts of the array family: allocation and the fatal messages.

#include "base/arrays.hpp"

namespace sArrayDetail {

void Overflow(sInt alloc, sInt used, sInt added)
{
  sFatalF(u"Overflow! Alloc: %d Used: %d Added: %d\n", alloc, used, added);
}

void TooLarge(sS64 count, sS64 size)
{
  sFatalF(u"Array too large: %d elements of %d bytes\n", count, size);
}

void *AllocBytes(sDInt bytes, sDInt align, const char *file, sInt line)
{
  sSetAllocSource(file, line);
  return sMemAlloc(bytes, sInt(align), 0);
}

}

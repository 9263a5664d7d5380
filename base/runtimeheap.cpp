// The runtime library's heap as memory type 1, and the platform memory set-up.
#include "base/memory.hpp"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <malloc.h>
#include <new>
#include <unistd.h>

void *sCrtHeapHandler::Alloc(sPtr size, sInt align, sInt)
{
  // posix_memalign wants a power of two of at least the pointer size
  size_t a = 16;
  while(a < size_t(align > 0 ? align : 0)) a <<= 1;
  // more than the address space can hold is refused here (some allocators abort instead)
  if(size > (sPtr(1) << 47)) return nullptr;
  void *p = nullptr;
  if(posix_memalign(&p, a, size ? size : 1) != 0) return nullptr;
  sAllocatedBytes += sS64(malloc_usable_size(p));
  return p;
}

sBool sCrtHeapHandler::Free(void *ptr)
{
  sAllocatedBytes -= sS64(malloc_usable_size(ptr));
  std::free(ptr);
  return 1;
}

sPtr sCrtHeapHandler::MemSize(void *ptr)
{
  return malloc_usable_size(ptr);
}

void sTrimHeap() { malloc_trim(0); }

namespace
{
// Walks the gaps between the mappings of /proc/self/maps (the unmapped address space
// below the top of the user range). Reads with a stack buffer: no allocation here.
bool AddressSpaceGaps(sPtr &total, sPtr &largest)
{
  total = largest = 0;
  int fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
  if(fd < 0) return false;
  const sPtr top = sPtr(1) << 47;
  sPtr cursor = 0x10000;   // the lowest pages are never mapped
  char buf[4096];
  size_t used = 0;
  bool any = false;
  for(;;)
  {
    ssize_t r = read(fd, buf + used, sizeof(buf) - used);
    if(r <= 0) break;
    used += size_t(r);
    size_t lineStart = 0;
    for(size_t i = 0; i < used; i++)
    {
      if(buf[i] != '\n') continue;
      // "start-end perms ..." in hexadecimal
      sPtr s = 0, e = 0;
      size_t j = lineStart;
      auto hex = [&](sPtr &v) {
        for(; j < i; j++)
        {
          char c = buf[j];
          sInt d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
          if(d < 0) break;
          v = v * 16 + sPtr(d);
        }
      };
      hex(s);
      if(j < i && buf[j] == '-') j++;
      hex(e);
      if(s < top && s > cursor)
      {
        sPtr gap = s - cursor;
        total += gap;
        if(gap > largest) largest = gap;
      }
      if(e > cursor) cursor = e;
      any = true;
      lineStart = i + 1;
    }
    // keep an unfinished line for the next read
    for(size_t k = lineStart; k < used; k++) buf[k - lineStart] = buf[k];
    used -= lineStart;
    if(used == sizeof(buf)) used = 0;   // a line longer than the buffer: drop it
  }
  close(fd);
  if(cursor < top)
  {
    sPtr gap = top - cursor;
    total += gap;
    if(gap > largest) largest = gap;
  }
  return any;
}
}

sPtr sCrtHeapHandler::GetFree()
{
  sPtr total, largest;
  return AddressSpaceGaps(total, largest) ? total : 0;
}

sPtr sCrtHeapHandler::GetLargestFree()
{
  sPtr total, largest;
  return AddressSpaceGaps(total, largest) ? largest : 0;
}

sCrtHeapHandler *sGetCrtHeapHandler()
{
  // Made once and never destroyed: static objects and thread-local storage give their
  // memory back after main has returned, in an order nobody controls, and every such
  // free still comes through this handler.
  alignas(sCrtHeapHandler) static unsigned char storage[sizeof(sCrtHeapHandler)];
  static sCrtHeapHandler *handler = new(storage) sCrtHeapHandler;
  return handler;
}

void sInitMem()
{
  sRegisterMemoryHandler(1, sGetCrtHeapHandler());
}

void sExitMem()
{
  sUnregisterMemoryHandler(2);
  sUnregisterMemoryHandler(1);
}

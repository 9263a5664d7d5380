// Stack traces: glibc's unwinder for the addresses, libdw (when built in) for names,
// files and lines, the dynamic symbol table through dladdr otherwise.

#include "platform/system/stacktrace.hpp"

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

#if SPARK_HAVE_LIBDW
#include <elfutils/libdwfl.h>
#endif

namespace plat
{
namespace
{
std::string Demangle(const char *name)
{
  if(!name || !*name) return std::string();
  // symbol versions ("memcpy@@GLIBC_2.14") are not part of the name
  std::string plain(name);
  size_t at = plain.find('@');
  if(at != std::string::npos && at > 0) plain.resize(at);
  int status = 0;
  char *out = abi::__cxa_demangle(plain.c_str(), nullptr, nullptr, &status);
  if(status == 0 && out)
  {
    std::string s(out);
    free(out);
    return s;
  }
  return plain;
}

#if SPARK_HAVE_LIBDW
char *DebugInfoPath = nullptr;
const Dwfl_Callbacks Callbacks = {dwfl_linux_proc_find_elf, dwfl_standard_find_debuginfo, nullptr, &DebugInfoPath};

// One reader for the whole process, made on first use; it reads the modules of the
// process again when an address lies outside every module it knows (a library loaded
// later).
std::mutex DwflLock;
Dwfl *Reader = nullptr;

bool Report(Dwfl *d)
{
  dwfl_report_begin(d);
  int r = dwfl_linux_proc_report(d, getpid());
  dwfl_report_end(d, nullptr, nullptr);
  return r == 0;
}

Dwfl *GetReader()
{
  if(!Reader)
  {
    Reader = dwfl_begin(&Callbacks);
    if(Reader && !Report(Reader))
    {
      dwfl_end(Reader);
      Reader = nullptr;
    }
  }
  return Reader;
}

// Waits a while for the reader's lock: a fatal signal may arrive while another thread
// (or this one, in the middle of a lookup) holds it. Gives up rather than deadlock.
bool LockReader()
{
  for(int i = 0; i < 2000; i++)
  {
    if(DwflLock.try_lock()) return true;
    timespec ts{0, 1000000};
    nanosleep(&ts, nullptr);
  }
  return false;
}

void LookUpDwfl(StackFrame &f, uintptr_t lookup)
{
  if(!LockReader()) return;
  Dwfl *d = GetReader();
  if(d)
  {
    Dwfl_Module *m = dwfl_addrmodule(d, Dwarf_Addr(lookup));
    if(!m && Report(d)) m = dwfl_addrmodule(d, Dwarf_Addr(lookup));
    if(m)
    {
      const char *module = dwfl_module_info(m, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
      if(module && f.Module.empty()) f.Module = module;
      const char *sym = dwfl_module_addrname(m, Dwarf_Addr(lookup));
      if(sym) f.Function = Demangle(sym);
      Dwfl_Line *line = dwfl_module_getsrc(m, Dwarf_Addr(lookup));
      if(line)
      {
        int lineNo = 0;
        const char *src = dwfl_lineinfo(line, nullptr, &lineNo, nullptr, nullptr, nullptr);
        if(src)
        {
          f.File = src;
          f.Line = lineNo;
        }
      }
    }
  }
  DwflLock.unlock();
}
#endif
}

bool StackTraceHasLines()
{
#if SPARK_HAVE_LIBDW
  return true;
#else
  return false;
#endif
}

__attribute__((noinline)) int CaptureStackAddresses(uintptr_t *addresses, int skip, int maxFrames)
{
  if(skip < 0) skip = 0;
  if(maxFrames <= 0) return 0;
  // frame 0 of backtrace is this function
  int want = skip + maxFrames + 8;
  void *local[256];
  void **raw = local;
  std::vector<void *> big;
  if(want > 256)
  {
    big.resize(size_t(want));
    raw = big.data();
  }
  int got = backtrace(raw, want);
  // find our caller by its return address: the unwinder may report frames of its own
  // (or of a sanitizer's interceptor) before it
  void *caller = __builtin_extract_return_addr(__builtin_return_address(0));
  int start = 1;
  for(int i = 0; i < got; i++)
    if(raw[i] == caller)
    {
      start = i;
      break;
    }
  int n = 0;
  for(int i = start + skip; i < got && n < maxFrames; i++) addresses[n++] = uintptr_t(raw[i]);
  return n;
}

std::vector<StackFrame> SymbolizeAddresses(const uintptr_t *addresses, int count, bool firstIsExact)
{
  std::vector<StackFrame> frames;
  frames.reserve(size_t(count > 0 ? count : 0));
  for(int i = 0; i < count; i++)
  {
    StackFrame f;
    f.Address = addresses[i];
    // a return address points after the call: the call itself is the byte before
    uintptr_t lookup = (i == 0 && firstIsExact) || f.Address == 0 ? f.Address : f.Address - 1;
    Dl_info info{};
    if(dladdr(reinterpret_cast<void *>(lookup), &info))
    {
      if(info.dli_fname) f.Module = info.dli_fname;
      if(info.dli_sname) f.Function = Demangle(info.dli_sname);
    }
#if SPARK_HAVE_LIBDW
    LookUpDwfl(f, lookup);
#endif
    frames.push_back(std::move(f));
  }
  return frames;
}

__attribute__((noinline)) std::vector<StackFrame> CaptureStackTrace(int skip, int maxFrames)
{
  if(maxFrames <= 0) return {};
  std::vector<uintptr_t> addresses(static_cast<size_t>(maxFrames));
  // one more to skip: this function
  int n = CaptureStackAddresses(addresses.data(), (skip < 0 ? 0 : skip) + 1, maxFrames);
  return SymbolizeAddresses(addresses.data(), n, false);
}
}

// The per-thread block and the debug output.
#include "base/system.hpp"
#include "platform/text/utf.hpp"

#include <mutex>
#include <string>
#include <unistd.h>

sThreadContext *sGetThreadContext()
{
  thread_local sThreadContext context;
  return &context;
}

void sSetThreadName(const sChar *name)
{
  sCopyString(sGetThreadContext()->ThreadName, name ? name : u"");
}

/****************************************************************************/

namespace
{
std::recursive_mutex DebugOutputLock;
sDebugOutputFunc CaptureFunc = nullptr;
void *CaptureUser = nullptr;
sDebugOutputFunc HookFunc = nullptr;
void *HookUser = nullptr;
}

sDebugOutputFunc sSetDebugOutputCapture(sDebugOutputFunc func, void *user, void **oldUser)
{
  std::lock_guard<std::recursive_mutex> lock(DebugOutputLock);
  sDebugOutputFunc old = CaptureFunc;
  if(oldUser) *oldUser = CaptureUser;
  CaptureFunc = func;
  CaptureUser = user;
  return old;
}

void sSetDebugOutputHook(sDebugOutputFunc func, void *user)
{
  std::lock_guard<std::recursive_mutex> lock(DebugOutputLock);
  HookFunc = func;
  HookUser = user;
}

void sDPrint(const sChar *text)
{
  if(!text || !*text) return;
  sU32 quiet = sGetThreadContext()->Quiet;
  if(quiet & sTCQ_NODPRINT) return;

  // one text at a time, so lines of different threads do not interleave
  std::lock_guard<std::recursive_mutex> lock(DebugOutputLock);
  if(HookFunc && !(quiet & sTCQ_NOHOOK))
    HookFunc(text, HookUser);
  if(CaptureFunc)
  {
    if(!(quiet & sTCQ_NOHOOK))
      CaptureFunc(text, CaptureUser);
    return;
  }
  std::string s = plat::ToUtf8(text);
  const char *p = s.data();
  size_t left = s.size();
  while(left > 0)
  {
    ssize_t r = write(2, p, left);
    if(r <= 0) break;
    p += r;
    left -= size_t(r);
  }
}

#pragma once
// Collects the debug output of a scope (every thread's) as UTF-8 text.
#include "base/system.hpp"
#include "platform/text/utf.hpp"

#include <string>

class CapturedOutput
{
  std::u16string Text;
  sDebugOutputFunc Old;
  void *OldUser = nullptr;
  static void Add(const sChar *text, void *user) { static_cast<CapturedOutput *>(user)->Text += text; }

public:
  CapturedOutput() { Old = sSetDebugOutputCapture(&Add, this, &OldUser); }
  ~CapturedOutput() { Stop(); }
  void Stop()
  {
    if(Old != &Add) sSetDebugOutputCapture(Old, OldUser);
    Old = &Add;   // stopped
  }
  std::string Get() const { return plat::ToUtf8(Text); }
  void Clear() { Text.clear(); }
};

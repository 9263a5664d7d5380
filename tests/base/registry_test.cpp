#include "common/check.hpp"
#include "base/app.hpp"
#include "base/file.hpp"
#include "base/input.hpp"
#include "base/math.hpp"
#include "base/leaktracker.hpp"
#include "common/capture.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{
std::vector<std::string> Calls;
void InitFirst() { Calls.push_back("+first"); }
void ExitFirst() { Calls.push_back("-first"); }
void InitSecond() { Calls.push_back("+second"); }
void ExitSecond() { Calls.push_back("-second"); }
void InitThird() { Calls.push_back("+third"); }
void ExitThird() { Calls.push_back("-third"); }

// the lines of the registry without the log prefix
std::vector<std::string> RegistryLines(const std::string &text)
{
  std::vector<std::string> lines;
  size_t pos = 0;
  while(pos < text.size())
  {
    size_t nl = text.find('\n', pos);
    std::string l = text.substr(pos, nl - pos);
    size_t at = l.find("init 0x");
    if(at == std::string::npos) at = l.find("exit 0x");
    if(at != std::string::npos) lines.push_back(l.substr(at));
    pos = nl == std::string::npos ? text.size() : nl + 1;
  }
  return lines;
}
}

TEST(SubsystemRegistry, StartsByLevelAndStopsInReverse)
{
  Calls.clear();
  sSubsystemRegistry r;
  r.Register(u"first", 40, InitFirst, ExitFirst);
  r.Register(u"second", 17, InitSecond, ExitSecond);
  r.Register(u"third", 17, InitThird, ExitThird);
  r.Register(u"nothing", 20, nullptr, nullptr);
  sparktest::DebugCapture out;
  r.Run(128);
  EXPECT_EQ(Calls, (std::vector<std::string>{"+second", "+third", "+first"}));
  EXPECT_EQ(RegistryLines(out.Text()),
            (std::vector<std::string>{"init 0x11 second", "init 0x11 third", "init 0x14 nothing", "init 0x28 first"}));
  EXPECT_EQ(r.GetRunLevel(), 128);

  out.Clear();
  Calls.clear();
  r.Run(128);   // everything below runs already
  EXPECT_TRUE(Calls.empty());
  EXPECT_TRUE(RegistryLines(out.Text()).empty());

  r.Run(0);
  EXPECT_EQ(Calls, (std::vector<std::string>{"-first", "-third", "-second"}));
  EXPECT_EQ(RegistryLines(out.Text()),
            (std::vector<std::string>{"exit 0x28 first", "exit 0x14 nothing", "exit 0x11 third", "exit 0x11 second"}));
}

TEST(SubsystemRegistryDeathTest, The257thRegistrationIsFatal)
{
  EXPECT_EXIT(
      {
        static sSubsystemRegistry r;
        for(int i = 0; i < 256; i++) r.Register(u"x", i, nullptr, nullptr);
        std::fprintf(stderr, "256 registered\n");
        r.Register(u"one too many", 1, nullptr, nullptr);
      },
      testing::ExitedWithCode(1),
      kCheckFailed);
}

namespace
{
std::string HookCalls;
void HookA(sDInt value, void *user) { HookCalls += "A" + std::to_string(value) + (user ? static_cast<const char *>(user) : "-"); }
void HookB(sDInt value, void *user) { HookCalls += "B" + std::to_string(value) + (user ? static_cast<const char *>(user) : "-"); }
}

TEST(Hooks, CallInOrderAndRemoveByFunctionAndUser)
{
  sHook hook(8);
  char u1[] = "1", u2[] = "2";
  hook.Add(HookA, u1);
  hook.Add(HookB, nullptr);
  hook.Add(HookA, u2);
  HookCalls.clear();
  hook.Call(5);
  EXPECT_EQ(HookCalls, "A51B5-A52");

  hook.Rem(HookA, u2);   // the entry with that user
  HookCalls.clear();
  hook.Call(1);
  EXPECT_EQ(HookCalls, "A11B1-");

  hook.Add(HookA, u2);
  hook.Rem(HookA, nullptr);   // a null user matches the first entry of the function
  HookCalls.clear();
  hook.Call(2);
  EXPECT_EQ(HookCalls, "B2-A22");

  hook.Rem(HookB, u1);   // no such entry: nothing happens
  EXPECT_EQ(hook.GetCount(), 2);
}

TEST(HooksDeathTest, OverflowIsFatal)
{
  EXPECT_EXIT(
      {
        sHook hook(2);
        hook.Add(HookA, nullptr);
        hook.Add(HookA, nullptr);
        hook.Add(HookA, nullptr);
      },
      testing::ExitedWithCode(1), "Overflow! Alloc: 2 Used: 2 Added: 1");
}

TEST(PlatformInfixDeathTest, DotAndThreeLetters)
{
  EXPECT_EQ(std::u16string(sGetPlatformInfix()), u".pch");
  sSetPlatformInfix(u".abc");
  EXPECT_EQ(std::u16string(sGetPlatformInfix()), u".abc");
  sSetPlatformInfix(u".pch");
  EXPECT_EXIT(sSetPlatformInfix(u"abc"), testing::ExitedWithCode(1), "platform infix abc\n");
  EXPECT_EXIT(sSetPlatformInfix(u".ab"), testing::ExitedWithCode(1), "platform infix \\.ab\n");
  // a missing infix prints an empty one before the check fails
  EXPECT_EXIT(sSetPlatformInfix(nullptr), testing::ExitedWithCode(1), "platform infix \n");
  EXPECT_EXIT(sSetPlatformInfix(u".abcdefgh"), testing::ExitedWithCode(1), kCheckFailed);
}

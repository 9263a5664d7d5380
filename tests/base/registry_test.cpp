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
}

TEST(SubsystemRegistry, StartsByLevelAndStopsInReverse)
{
  Calls.clear();
  sSubsystemRegistry r;
  r.Register(u"first", 40, InitFirst, ExitFirst);
  r.Register(u"second", 17, InitSecond, ExitSecond);
  r.Register(u"third", 17, InitThird, ExitThird);
  r.Register(u"nothing", 20, nullptr, nullptr);
  sparktest::DebugCapture quiet;
  r.Run(128);
  EXPECT_EQ(Calls, (std::vector<std::string>{"+second", "+third", "+first"}));
  EXPECT_EQ(r.GetRunLevel(), 128);
  Calls.clear();
  r.Run(128);   // everything below runs already
  EXPECT_TRUE(Calls.empty());
  r.Run(0);
  EXPECT_EQ(Calls, (std::vector<std::string>{"-first", "-third", "-second"}));
}

TEST(SubsystemRegistryDeathTest, The257thRegistrationIsFatal)
{
  static sSubsystemRegistry r;
  for(int i = 0; i < 256; i++) r.Register(u"x", i, nullptr, nullptr);
  EXPECT_EXIT(r.Register(u"one too many", 1, nullptr, nullptr), testing::ExitedWithCode(1), kCheckFailed);
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
}

TEST(HooksDeathTest, OverflowIsFatal)
{
  sHook hook(2);
  hook.Add(HookA, nullptr);
  hook.Add(HookA, nullptr);
  EXPECT_EXIT(hook.Add(HookA, nullptr), testing::ExitedWithCode(1), "Overflow! Alloc: 2 Used: 2 Added: 1");
}

TEST(PlatformInfixDeathTest, DotAndThreeLetters)
{
  EXPECT_EQ(std::u16string(sGetPlatformInfix()), u".pch");
  sSetPlatformInfix(u".abc");
  EXPECT_EQ(std::u16string(sGetPlatformInfix()), u".abc");
  sSetPlatformInfix(u".pch");
  for(const sChar *bad : {u"abc", u".ab", u".abcdefgh", static_cast<const sChar *>(nullptr)})
    EXPECT_EXIT(sSetPlatformInfix(bad), testing::ExitedWithCode(1), kCheckFailed);
}

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
void InitLate() { Calls.push_back("+late"); }
void ExitLate() { Calls.push_back("-late"); }

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

TEST(SubsystemRegistry, LateRegistrationStartsWhenItsLevelIsReached)
{
  Calls.clear();
  sSubsystemRegistry r;
  r.Register(u"first", 40, InitFirst, ExitFirst);
  r.Run(256);
  r.Register(u"late", 129, InitLate, ExitLate);   // below the run level: at once
  EXPECT_EQ(Calls, (std::vector<std::string>{"+first", "+late"}));
  r.Run(128);
  EXPECT_EQ(Calls.back(), "-late");

  Calls.clear();
  r.Register(u"third", 129, InitThird, ExitThird);   // run level 128: waits
  EXPECT_TRUE(Calls.empty());
  r.Run(256);
  EXPECT_EQ(Calls, (std::vector<std::string>{"+late", "+third"}));
  r.Run(0);
  EXPECT_EQ(Calls.back(), "-first");
}

namespace
{
sSubsystemRegistry *Growing = nullptr;
void RegistersAnother() { Growing->Register(u"third", 5, InitThird, ExitThird); }
}

TEST(SubsystemRegistry, AnInitMayRegisterMore)
{
  Calls.clear();
  sSubsystemRegistry r;
  Growing = &r;
  r.Register(u"maker", 10, RegistersAnother, nullptr);
  r.Run(128);
  // level 5 lies below the run level of the pass that is still going on: it is started
  // by the registration or by the pass, once
  EXPECT_EQ(Calls, (std::vector<std::string>{"+third"}));
  r.Run(0);
  EXPECT_EQ(Calls, (std::vector<std::string>{"+third", "-third"}));
}

TEST(SubsystemRegistry, NamesItsInitsInTheLeakDescription)
{
  static std::u16string seen;
  sSubsystemRegistry r;
  r.Register(u"Sound", 176, [] { seen = sGetMemLeakDesc(); }, nullptr);
  r.Run(256);
  EXPECT_EQ(seen, u"Sound");
  EXPECT_EQ(std::u16string(sGetMemLeakDesc()), u"");
  r.Run(0);
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

TEST(SubsystemRegistryDeathTest, FunctionsAreFilledInOnce)
{
  static int started = 0;
  EXPECT_EXIT(
      {
        sSetSubsystemFunctions(u"GDI", [] { started++; }, nullptr);
        sRunSubsystems(256);
        std::fprintf(stderr, "started %d\n", started);
        sRunSubsystems(0);
        sSetSubsystemFunctions(u"GDI", [] {}, nullptr);
      },
      testing::ExitedWithCode(1), "started 1\n.*the subsystem has its functions already");
  EXPECT_EXIT(sSetSubsystemFunctions(u"NoSuchThing", nullptr, nullptr), testing::ExitedWithCode(1),
              "subsystem \"NoSuchThing\" is not registered");
}

namespace
{
class TestApp : public sApp
{
public:
  sApp *SeenInInit = nullptr;
  void OnInit() override { SeenInInit = sGetApplication(); }
};
}

TEST(Application, InstalledBeforeItsInitRuns)
{
  TestApp app;
  sSetApplication(&app);
  EXPECT_EQ(app.SeenInInit, &app);
  sChar name[16];
  app.GetTypeName(name);
  EXPECT_EQ(std::u16string(name), u"sApp");
  EXPECT_EQ(app.OnSkipFrame(), 0);
  sSetApplication(nullptr);
}

TEST(RuntimeFlags, SecondExitKeepsTheFlag)
{
  sResetExitFlag();
  EXPECT_EQ(sGetExitFlag(), 0);
  sExit();
  sExit();
  EXPECT_EQ(sGetExitFlag(), 1);
  sResetExitFlag();
}

TEST(PlatformInfixDeathTest, DotAndThreeLetters)
{
  EXPECT_EQ(std::u16string(sGetPlatformInfix()), u".pch");
  sSetPlatformInfix(u".abc");
  EXPECT_EQ(std::u16string(sGetPlatformInfix()), u".abc");
  sSetPlatformInfix(u".pch");
  EXPECT_EXIT(sSetPlatformInfix(u"abc"), testing::ExitedWithCode(1), "platform infix abc\n");
  EXPECT_EXIT(sSetPlatformInfix(u".ab"), testing::ExitedWithCode(1), "platform infix \\.ab\n");
  EXPECT_EXIT(sSetPlatformInfix(nullptr), testing::ExitedWithCode(1), "platform infix \n");
  EXPECT_EXIT(sSetPlatformInfix(u".abcdefgh"), testing::ExitedWithCode(1), kCheckFailed);
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

TEST(Hooks, NullHooksAreIgnoredAndTypedCallsPassTheirArguments)
{
  sCallHook(nullptr);
  sCallHookPtr(nullptr, nullptr);
  sCallHook2(nullptr, nullptr, nullptr);
  sHookCall(nullptr, 1);
  sAddHook(static_cast<sHook *>(nullptr), HookA, nullptr);
  sRemHook(static_cast<sHook *>(nullptr), HookA, nullptr);

  sHook input(4);
  struct Seen
  {
    int Count = 0;
    void *Event = nullptr;
  } seen;
  sAddHook(&input, +[](void *event, void *consumed, void *user) {
    Seen *s = static_cast<Seen *>(user);
    s->Count++;
    s->Event = event;
    *static_cast<sInt *>(consumed) = 1;
  }, &seen);
  sInput2Event e;
  sInt consumed = 0;
  sCallHook2(&input, &e, &consumed);
  EXPECT_EQ(seen.Count, 1);
  EXPECT_EQ(seen.Event, &e);
  EXPECT_EQ(consumed, 1);

  sHook crash(2);
  sAddHook(&crash, +[](sStringRef text, void *) { sAppendString(text.Buffer, u"+more", text.Size); }, nullptr);
  sChar text[8] = u"abc";
  sCallHookRecord(&crash, sStringRef(text, 8));
  EXPECT_EQ(std::u16string(text), u"abc+mor");
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


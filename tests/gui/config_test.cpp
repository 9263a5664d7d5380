// Configuration files: the round trip, the generated files, damaged and hostile input, and
// a bounded mutation run of the reader.
#include "gui/configfile.hpp"

#include "base/file.hpp"
#include "base/memory.hpp"
#include "base/textbuffer.hpp"
#include "common/capture.hpp"
#include "common/files.hpp"
#include "common/mutator.hpp"
#include "common/temp_dir.hpp"
#include "platform/text/utf.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
GuiConfig Defaults()
{
  GuiConfig c = {};
  c.Version = 1.25f;
  ResetGuiConfig(c);
  return c;
}

std::u16string Text(const GuiConfig &c)
{
  sTextBuffer t;
  BuildConfigText(t, c, 0);
  return t.Get();
}

std::u16string Data(const char *name) { return plat::ToUtf16(std::string(TWDATA_DIR) + "/configs/" + name); }
}

TEST(ConfigFile, SavedSettingsLoadBackFieldByField)
{
  GuiConfig a = Defaults();
  a.StyleFlags[6][47] = 0;
  a.StyleFlags[2][5] = 1;
  a.ActiveStyle = 7;
  sCopyString(a.Slideshow.Directory, u"slides/\u00e4/", sGUI_FOLDERCHARS);
  a.Slideshow.Drive = 3, a.Slideshow.AllowEfx = 1, a.Slideshow.Interval = 0.25f, a.Slideshow.Start = 12.5f;
  a.Movie.Power = 0.3f, a.Movie.Style = 3;
  a.Effects[3] = {1, 1, 0.2f, 0.9f};
  sCopyString(a.Messages[4].Text, u"Bar closes at 3", sGUI_TEXTCHARS);
  a.Messages[4].Active = 1;
  sCopyString(a.ShortMessages[15], u"last", sGUI_TEXTCHARS);
  a.Distortions[2] = {3, 1, 0.4f, 0.1f};
  a.Latency = 0.5f;
  a.Dmx[5] = 300, a.Midi[32] = 99, a.MovieStartFader[1] = 7;
  a.Scalers[9] = {1, {0.1f, 0.2f, 0.9f, 0.8f}, {0, 0.5f, 1, 1}, 1.5f, -0.25f};
  a.VideoStyle = 2, a.VideoActive = 1, a.VideoPower = 0.6f, a.VideoStart = 30;
  // what a file may hold beyond what the pages set: a start of its seconds below -1, flags
  // at positions without a scene, a transparency and scaler values over 100 %
  a.Logos.Start = -5.0f;
  a.Logos.Interval = 1.5f;   // a hand-written 2700.0: a countdown of 45 minutes
  a.StyleFlags[1][13] = a.StyleFlags[1][14] = a.StyleFlags[6][14] = 1;
  a.Effects[0].Transparency = 1.5f;
  a.Scalers[3] = {1, {0, 0, 1.5f, 1}, {0, 0, 1, 1.5f}, 1.5f, 1.5f};

  sparktest::TempDir dir;
  sRandomLcg rnd(7);
  std::u16string path = dir.Name("round.Spk");
  ASSERT_TRUE(WriteConfigText(path.c_str(), Text(a).c_str(), rnd));
  sChar *text = ReadConfigText(path.c_str());
  ASSERT_NE(text, nullptr);
  GuiConfig b = Defaults();
  ConfigParseResult r = ParseConfigText(text, b);
  sMemFree(text);
  EXPECT_EQ(r.Loaded, 1);
  EXPECT_EQ(r.Error, nullptr);
  b.FileVersion = a.FileVersion = 2.4f;
  // every field the text shows came back; what the file rounds ("%.1f" of the scaled
  // value) comes back within that rounding
  EXPECT_EQ(Text(a), Text(b));
  EXPECT_NEAR(b.Scalers[9].Contrast, -0.25f, 1e-6);
  EXPECT_NEAR(b.Slideshow.Interval, 0.25f, 1e-4);
  EXPECT_EQ(b.Logos.Start, -5.0f);
  EXPECT_EQ(b.StyleFlags[1][13] + b.StyleFlags[1][14] + b.StyleFlags[6][14], 3);
  EXPECT_EQ(b.Effects[0].Transparency, 1.5f);
  EXPECT_EQ(b.Scalers[3].Out[2] + b.Scalers[3].In[3] + b.Scalers[3].Brightness + b.Scalers[3].Contrast, 6.0f);
  // saved again, the file is the same text, as the format writes those values; loaded
  // again, every field is the same
  const std::u16string saved = Text(b);
  EXPECT_EQ(saved, Text(a));
  for(const char16_t *line : {u"logos configuration\n\n", u"interval: 2700.0\nstart: -5.0\n\nflyer", u"style 2\n1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,0,",
                              u"effect 1\nactive: 0\nalpha: 0\ntransparency: 150.0\n", u"x1: 1.500000\n",
                              u"iy1: 1.500000\n\nbrightness: 1.500000\ncontrast: 1.500000\n"})
    EXPECT_NE(saved.find(line), std::u16string::npos) << plat::ToUtf8(line);
  GuiConfig c = Defaults();
  EXPECT_EQ(ParseConfigText(saved.c_str(), c).Error, nullptr);
  EXPECT_EQ(memcmp(&b, &c, sizeof(GuiConfig)), 0);
  // two saves of the same settings differ in their bytes, never in their text
  sRandomLcg other(8);
  sDInt n1 = 0, n2 = 0;
  sU8 *e1 = EncodeConfigText(u"same", rnd, n1), *e2 = EncodeConfigText(u"same", other, n2);
  EXPECT_NE(0, memcmp(e1, e2, size_t(n1)));
  sChar *d1 = DecodeConfigText(e1, n1);
  EXPECT_EQ(std::u16string(d1), u"same");
  sMemFree(e1), sMemFree(e2), sMemFree(d1);
}

TEST(ConfigFile, GeneratedFilesAndDamagedOnes)
{
  struct Case { const char *Name; sInt Loads; const char *Error; };
  const Case cases[] = {
    {"tarnwhistle.spk", 1, nullptr},
    {"preset_a.Spk", 1, nullptr},
    {"v1_0.Spk", 1, nullptr},
    {"quote.Spk", 1, "LoadConfig: "},
    {"badsum.Spk", -1, nullptr},
  };
  for(const Case &c : cases)
  {
    SCOPED_TRACE(c.Name);
    sChar *text = ReadConfigText(Data(c.Name).c_str());
    if(c.Loads < 0)
    {
      EXPECT_EQ(text, nullptr);   // one changed byte rejects the whole file
      continue;
    }
    ASSERT_NE(text, nullptr);
    GuiConfig g = Defaults();
    sparktest::DebugCapture out;
    ConfigParseResult r = ParseConfigText(text, g);
    sMemFree(text);
    EXPECT_EQ(r.Loaded, c.Loads);
    if(c.Error)
    {
      EXPECT_NE(out.Text().find(c.Error), std::string::npos);
    }
    else
    {
      EXPECT_EQ(r.Error, nullptr) << plat::ToUtf8(r.Error ? r.Error : u"");
    }
    if(std::string(c.Name) == "tarnwhistle.spk")
    {
      EXPECT_EQ(std::u16string(g.Logos.Directory), u"logos/Sparkvane/");
      EXPECT_FLOAT_EQ(g.Latency, 0.24f);
      EXPECT_EQ(g.ActiveStyle, 1) << "the show starts in TECHNO";
    }
    if(std::string(c.Name) == "v1_0.Spk")
    {
      EXPECT_EQ(g.Distortions[0].Kind, 2);    // one entry in the old format
      EXPECT_EQ(g.StyleFlags[9][0], 1);       // the tenth style kept its defaults
      EXPECT_EQ(g.Dmx[3], 2);
    }
    if(std::string(c.Name) == "quote.Spk")
    {
      EXPECT_FLOAT_EQ(g.Latency, 0.24f);   // the sections after it keep theirs
    }
  }
}

TEST(ConfigFile, HostileTextsLoadWhatIsValidAndKeepTheRestInBounds)
{
  GuiConfig base = Defaults();
  std::u16string good = Text(base);
  auto swap = [&](const char16_t *from, const char16_t *to) {
    std::u16string t = good;
    size_t at = t.find(from);
    EXPECT_NE(at, std::u16string::npos);
    t.replace(at, std::char_traits<char16_t>::length(from), to);
    return t;
  };
  struct Case { std::u16string Text; sInt Loaded; const char16_t *Error = nullptr; };
  const Case cases[] = {
    {swap(u"drive: 0", u"drive: 99999999999"), 1},
    {swap(u"start: -1.0", u"start: 1e38"), 1},
    {swap(u"start: -1.0", u"start: -1.#INF"), 1},
    {swap(u"transparency: 100.0", u"transparency: 1.#INF"), 1},
    {swap(u"interval: 5400.0", u"interval: -77"), 1},
    {swap(u"\"Output - Brightness\": 0", u"\"Output - Brightness\": 70000"), 1},
    {swap(u"active: 0\n\nslideshow", u"active: 12\n\nslideshow"), 1},
    {good.substr(0, good.size() / 2), 1},
    {swap(u"version", u"vorsion"), 0, u"LoadConfig: wrong version format."},
    {swap(u"configuration 2.4", u"configuration"), 0, u"LoadConfig: wrong version format."},
    {swap(u"Sparkvane", u"Sparkvan"), 0, u"LoadConfig: wrong file id."},
    {u"\x01\x7f\xff\"\"\"::;;", 0},
  };
  for(const Case &c : cases)
  {
    GuiConfig g = Defaults();
    sparktest::DebugCapture out;
    ConfigParseResult r = ParseConfigText(c.Text.c_str(), g);
    EXPECT_EQ(r.Loaded, c.Loaded) << plat::ToUtf8(c.Text.substr(0, 80));
    if(c.Error)
    {
      EXPECT_EQ(std::u16string(r.Error ? r.Error : u""), c.Error);
      EXPECT_EQ(out.Count(plat::ToUtf8(c.Error) + "\n"), 1) << out.Text();
    }
    EXPECT_TRUE(g.Slideshow.Drive >= 0 && g.Slideshow.Drive < sGUI_DRIVES);
    EXPECT_TRUE(g.ActiveStyle >= 0 && g.ActiveStyle < sGUI_STYLES);
    EXPECT_TRUE(std::isfinite(g.Slideshow.Start) && std::isfinite(g.Effects[0].Transparency));
    EXPECT_TRUE(std::isfinite(g.Slideshow.Interval));
    EXPECT_TRUE(g.Dmx[1] >= -1 && g.Dmx[1] <= 4095);
  }
  // a message with a quote is written so that it reads back, a line break as it stands
  GuiConfig q = Defaults();
  sCopyString(q.Messages[2].Text, u"say \"hi\"\nnow", sGUI_TEXTCHARS);
  GuiConfig back = Defaults();
  ConfigParseResult r = ParseConfigText(Text(q).c_str(), back);
  EXPECT_EQ(r.Error, nullptr);
  EXPECT_EQ(std::u16string(back.Messages[2].Text), u"say 'hi'\nnow");
}

// Every character is one byte in the file, read and written exactly: a folder with a
// character up to 255 is that byte, two bytes read back as two characters, and a text
// with a character beyond 255 is refused whole, the old file kept.
TEST(ConfigFile, EveryCharacterIsOneByte)
{
  struct Case { const char16_t *Folder; bool Fits; };
  for(Case c : {Case{u"M\u00fcsik/", true}, Case{u"M\u00c3\u00bcsik/", true}, Case{u"\u00ff/", true},
                Case{u"\u6f22/", false}, Case{u"Caf\u00e9 \u20ac/", false}})
  {
    SCOPED_TRACE(plat::ToUtf8(c.Folder));
    GuiConfig a = Defaults();
    sCopyString(a.Logos.Directory, c.Folder, sGUI_FOLDERCHARS);
    std::u16string text = Text(a);
    EXPECT_NE(text.find(u"directory: \"" + std::u16string(c.Folder) + u"\""), std::u16string::npos);
    sparktest::TempDir dir;
    sRandomLcg rnd(3);
    std::u16string path = dir.Name("one.Spk");
    ASSERT_TRUE(WriteConfigText(path.c_str(), u"Sparkvane configuration 2.4", rnd));
    sparktest::DebugCapture out;
    EXPECT_EQ(WriteConfigText(path.c_str(), text.c_str(), rnd), c.Fits);
    sChar *back = ReadConfigText(path.c_str());
    ASSERT_NE(back, nullptr);
    GuiConfig b = Defaults();
    ParseConfigText(back, b);
    sMemFree(back);
    EXPECT_EQ(std::u16string(b.Logos.Directory), c.Fits ? std::u16string(c.Folder) : u"");
    EXPECT_EQ(sparktest::ReadFile(dir.Name8("one.Spk")).size(), 4 + 2 * (c.Fits ? text.size() : 27));
  }
}

TEST(ConfigFile, AFailedWriteKeepsTheOldFile)
{
  sparktest::TempDir dir;
  sRandomLcg rnd(1);
  std::u16string path = dir.Name("keep.Spk");
  ASSERT_TRUE(WriteConfigText(path.c_str(), u"Sparkvane configuration 2.4", rnd));
  // a save killed half-way left its temporaries: the next save writes under a name of its own
  ASSERT_EQ(mkdir(dir.Name8("keep.Spk.tmp").c_str(), 0700), 0);
  sparktest::WriteFile(dir.Name8("keep.Spk.1-1.tmp"), "left");
  ASSERT_TRUE(WriteConfigText(path.c_str(), u"Sparkvane configuration 2.4", rnd));
  // a write that fails keeps the old file; the operator's log names the file and the reason
  sparktest::DebugCapture out;
  {
    sparktest::FileSizeLimit limit(1);
    EXPECT_FALSE(WriteConfigText(path.c_str(), u"other", rnd));
    EXPECT_EQ(out.Count("configuration not saved to " + dir.Name8("keep.Spk") + ": File too large\n"), 1) << out.Text();
  }
  sChar *text = ReadConfigText(path.c_str());
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::u16string(text), u"Sparkvane configuration 2.4");
  sMemFree(text);
}

// The GUI's slots: a save goes to the save slot's file (slot 0's when the save slot names
// none), a load reads the chosen slot's file, selects that slot alone and makes it the save
// slot; a slot whose file is gone applies nothing and, dropped, leaves no slot chosen.
TEST(ConfigFile, SlotsSaveAndLoadTheFilesTheyName)
{
  sparktest::TempDir dir;
  GuiConfigSlots slots;
  sCopyString(slots.configNames[0], dir.Name("zero.Spk").c_str(), sGUI_TEXTCHARS);
  sCopyString(slots.configNames[5], dir.Name("five.Spk").c_str(), sGUI_TEXTCHARS);
  sCopyString(slots.configNames[2], dir.Name("gone.Spk").c_str(), sGUI_TEXTCHARS);
  GuiConfig a = Defaults();
  a.Latency = 0.5f;
  sRandomLcg rnd(3);
  slots.configSaveSlot = 9;
  ASSERT_TRUE(slots.Save(a, 0, rnd));
  EXPECT_TRUE(sCheckFile(slots.configNames[0]));
  EXPECT_FALSE(sCheckFile(slots.configNames[5]));
  a.Latency = 0.2f, a.ActiveStyle = 3;
  slots.configSaveSlot = 5;
  ASSERT_TRUE(slots.Save(a, 1, rnd));   // from a GUI drawn on the second display
  sChar *saved = ReadConfigText(slots.configNames[5]);
  ASSERT_NE(saved, nullptr);
  EXPECT_NE(std::u16string(saved).find(u"\nmenuhead: 1\n"), std::u16string::npos);
  sMemFree(saved);

  sThreadLock lock;
  GuiConfig b = Defaults();
  sU32 sections = 0;
  slots.configSlot = 5, slots.configSaveSlot = 0;
  EXPECT_EQ(slots.Load(b, &lock, sections), 1);
  EXPECT_NE(sections & sGUICFG_MOVIE, 0u);
  EXPECT_NEAR(b.Latency, 0.2f, 1e-6);
  EXPECT_EQ(b.ActiveStyle, 3);
  for(sInt i = 0; i < sGUI_CONFIGSLOTS; i++) EXPECT_EQ(slots.configSelected[i], i == 5 ? 1u : 0u);
  EXPECT_EQ(slots.configSaveSlot, 5);
  EXPECT_EQ(slots.configShownSlot, -1);

  GuiConfig c = b;
  slots.configSlot = slots.activePreset = 2;
  sparktest::DebugCapture out;
  EXPECT_EQ(slots.Load(c, &lock, sections), 0);
  EXPECT_EQ(sections, 0u);
  EXPECT_EQ(Text(c), Text(b));
  EXPECT_EQ(out.Count("configuration " + dir.Name8("gone.Spk") + " cannot be loaded: "), 1) << out.Text();
  slots.lastLoadResult = 0;
  slots.DropFailedPreset(4321);
  EXPECT_EQ(slots.configNames[2][0], 0);
  EXPECT_EQ(slots.configSlot, 2);   // still the active slot while others hold names
  EXPECT_EQ(slots.activePreset, 2);
  EXPECT_EQ(slots.configLoadTime, 4321);
  EXPECT_EQ(slots.LoadedName(), nullptr);
  // with no slot holding a name none is active
  for(sInt i = 0; i < sGUI_CONFIGSLOTS; i++) slots.configNames[i][0] = 0;
  slots.DropUnnamedPreset();
  EXPECT_EQ(slots.configSlot, -1);
  EXPECT_EQ(slots.activePreset, -1);
  // a file of 3 GiB in a slot is refused as the missing one was, with its reason
  ASSERT_TRUE(sparktest::SetFileSize(dir.Name8("huge.Spk"), sparktest::kThreeGiB));
  sCopyString(slots.configNames[3], dir.Name("huge.Spk").c_str(), sGUI_TEXTCHARS);
  slots.configSlot = 3;
  EXPECT_EQ(slots.Load(c, &lock, sections), 0);
  EXPECT_EQ(Text(c), Text(b));
  EXPECT_EQ(out.Count("configuration " + dir.Name8("huge.Spk") + " cannot be loaded: it is too large"), 1) << out.Text();
}

// Mutations of a valid text (and of its encoded bytes) never crash the reader and never
// leave a value outside its range. Bounded: 400 rounds unless SPARK_FUZZ_RUNS says otherwise.
TEST(ConfigFile, MutationRun)
{
  std::u16string good = Text(Defaults());
  sRandomLcg rnd(12345);
  const int runs = sparktest::FuzzRuns(400);
  for(sInt round = 0; round < runs; round++)
  {
    std::u16string t = good;
    sInt edits = 1 + rnd.NextBelow(8);
    for(sInt e = 0; e < edits; e++)
    {
      if(t.empty()) t = u"S";
      sInt at = rnd.NextBelow(sInt(t.size()));
      switch(rnd.NextBelow(4))
      {
      case 0: t[size_t(at)] = char16_t(rnd.NextBelow(256)); break;
      case 1: t.erase(size_t(at), size_t(rnd.NextBelow(40))); break;
      case 2: t.insert(size_t(at), 1, u"\"9-.:;,e"[rnd.NextBelow(8)]); break;
      default: t.resize(size_t(at)); break;
      }
    }
    GuiConfig g = Defaults();
    ParseConfigText(t.c_str(), g);
    ASSERT_TRUE(g.Movie.Drive >= 0 && g.Movie.Drive < sGUI_DRIVES);
    ASSERT_TRUE(std::isfinite(g.Latency) && std::isfinite(g.Movie.Start));
    sDInt n = 0;
    sU8 *bytes = EncodeConfigText(t.c_str(), rnd, n);
    bytes[rnd.NextBelow(sInt(n))] ^= sU8(1 + rnd.NextBelow(255));
    sChar *decoded = DecodeConfigText(bytes, rnd.NextBelow(sInt(n) + 1));
    if(decoded) sMemFree(decoded);
    sMemFree(bytes);
  }
}

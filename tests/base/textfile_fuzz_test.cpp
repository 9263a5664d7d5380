// Seeded random-mutation runs of the text-file loader: mutated files of every encoding
// are decoded and compared with a plain second decoder written from the rules, on
// buffers of their exact size (so the sanitizer build catches any read past the end), and
// now and then loaded as files.
// Random texts are saved and loaded back. The runs are bounded by a fixed count
// (SPARK_FUZZ_RUNS sets their number) and seeded, so every failure can be repeated.
#include "common/mutator.hpp"
#include "file_test_util.hpp"

#include <random>

using namespace filetest;

namespace
{
// The loader's rules, written out plainly.
std::u16string ReferenceAll(const std::string &s)
{
  const unsigned char *b = reinterpret_cast<const unsigned char *>(s.data());
  size_t n = s.size();
  std::u16string out;
  if(n >= 2 && ((b[0] == 0xff && b[1] == 0xfe) || (b[0] == 0xfe && b[1] == 0xff)))
  {
    bool big = b[0] == 0xfe;
    for(size_t i = 2; i + 1 < n; i += 2)
    {
      char16_t c = big ? char16_t(b[i] << 8 | b[i + 1]) : char16_t(b[i] | b[i + 1] << 8);
      if(c != 13) out += c;
    }
    return out;
  }
  if(n >= 3 && b[0] == 0xef && b[1] == 0xbb && b[2] == 0xbf)
  {
    size_t i = 3;
    while(i < n)
    {
      unsigned c = b[i];
      size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
      if(len == 0)
      {
        out += u'?';
        i++;
        continue;
      }
      if(len == 1)
      {
        if(c != 13) out += char16_t(c);
        i++;
        continue;
      }
      bool whole = i + len <= n;
      for(size_t k = 1; whole && k < len; k++) whole = (b[i + k] & 0xc0) == 0x80;
      if(!whole)
        out += u'?';
      else if(len == 2)
        out += char16_t((c & 31) << 6 | (b[i + 1] & 63));
      else if(len == 3)
        out += char16_t((c & 15) << 12 | (b[i + 1] & 63) << 6 | (b[i + 2] & 63));
      else
      {
        unsigned v = (c & 7) << 18 | (b[i + 1] & 63) << 12 | (b[i + 2] & 63) << 6 | (b[i + 3] & 63);
        if(v < 0x10000 || v > 0x10ffff)
          out += u'?';
        else
        {
          out += char16_t(0xd800 + ((v - 0x10000) >> 10));
          out += char16_t(0xdc00 + ((v - 0x10000) & 0x3ff));
        }
      }
      i = i + len < n ? i + len : n;
    }
    return out;
  }
  for(unsigned char c : s)
    if(c != 13) out += char16_t(c);
  return out;
}

// The text as every reader of the terminated result sees it: up to its first zero.
std::u16string Reference(const std::string &s)
{
  std::u16string all = ReferenceAll(s);
  size_t zero = all.find(char16_t(0));
  return zero == std::u16string::npos ? all : all.substr(0, zero);
}

const std::vector<std::string> &Seeds()
{
  static const std::vector<std::string> seeds = {
    std::string("\xff\xfe" "A\0\r\0\n\0", 8),
    std::string("\xfe\xff\0A\0\r\0\n\x20\xac", 10),
    "\xef\xbb\xbf" "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xb5\r\nline\r\n",
    "\xef\xbb\xbf\xc3" "A\xe2\x82" "B\xf8\x80",
    "plain 8-bit text\r\nwith lines\r\n\xe9\xff",
    "",
    "\xef",
    "\xef\xbb",
    "\xef\xbb\xbf",
    std::string("\xff\xfe", 2),
    std::string("\xff\xfe" "\x3d\xd8\xb5\xdf", 6),
  };
  return seeds;
}

// Mutated bytes of a seed; the dictionary holds the byte order marks, multi-byte lead and
// trail bytes and line ends.
std::string Mutate(sparktest::Mutator &m, const std::string &in)
{
  static const std::string special = "\xff\xfe\xfe\xff\xef\xbb\xbf\x80\xbf\xc0\xc3\xdf\xe0\xe2\xf0\xf4\xf8\x0d\x0a";
  static const std::vector<uint8_t> dictionary(special.begin(), special.end());
  std::vector<uint8_t> out = m.Mutate(std::vector<uint8_t>(in.begin(), in.end()), dictionary);
  if(out.size() > 4096) out.resize(4096);
  return std::string(out.begin(), out.end());
}

// Decodes the bytes from a buffer of exactly their size.
std::u16string Decode(const std::string &bytes)
{
  sSetAllocSource(__FILE__, __LINE__);
  sU8 *data = static_cast<sU8 *>(sMemAlloc(bytes.empty() ? 1 : sDInt(bytes.size()), 16, 0));
  if(!bytes.empty()) memcpy(data, bytes.data(), bytes.size());
  sChar *text = sMakeTextFromData(data, sDInt(bytes.size()));
  EXPECT_TRUE(text);
  std::u16string out = Text(text);
  if(text) sMemFree(text);
  return out;
}

std::string Hex(const std::string &s)
{
  static const char *digits = "0123456789abcdef";
  std::string out;
  for(unsigned char c : s) { out += digits[c >> 4]; out += digits[c & 15]; out += ' '; }
  return out;
}
}

TEST_F(FileFixture, MutatedBytesDecodeAsTheRulesSay)
{
  // now and then the same bytes as a file, loaded through the handlers
  TempDir dir;
  sInitRootFileHandler();
  std::u16string diskName = dir.Name("fuzz.txt");
  sparktest::Mutator rng(20261206);
  int n = sparktest::FuzzRuns(20000);
  int failures = 0;
  for(int i = 0; i < n && failures < 5; i++)
  {
    const std::string &seed = Seeds()[size_t(i) % Seeds().size()];
    std::string bytes = Mutate(rng, seed);
    std::u16string got = Decode(bytes);
    std::u16string want = Reference(bytes);
    if(got != want)
    {
      ADD_FAILURE() << "iteration " << i << ": bytes " << Hex(bytes);
      failures++;
    }
    // never longer than the buffer the loader sized for it
    EXPECT_LE(got.size(), bytes.size());
    if(i % 50 == 0)
    {
      WriteFile(dir.Name8("fuzz.txt"), bytes);
      sChar *t = sLoadTextFile(diskName.c_str());
      ASSERT_TRUE(t);
      EXPECT_EQ(Text(t), want) << Hex(bytes);
      sMemFree(t);
    }
  }
}

TEST_F(FileFixture, RandomTextsSurviveSaveAndLoad)
{
  TempDir dir;
  sInitRootFileHandler();
  std::mt19937 rng(4242);
  std::u16string name = dir.Name("round.txt");
  int n = sparktest::FuzzRuns(300);
  for(int i = 0; i < n; i++)
  {
    std::u16string text;
    size_t len = rng() % 3000;
    int kind = int(rng() % 3);   // 8-bit only, mostly wide, anything
    for(size_t k = 0; k < len; k++)
    {
      char16_t c;
      switch(kind == 2 ? rng() % 4 : unsigned(kind))
      {
      case 0: c = char16_t(1 + rng() % 255); break;
      case 1: c = char16_t(0x100 + rng() % 0xff00); break;
      case 2: c = char16_t(0xd800 + rng() % 0x800); break;   // surrogates, paired or not
      default: c = u'\n'; break;
      }
      if(c == 13) c = u'\n';   // a lone carriage return is not kept by text files
      text += c;
    }
    ASSERT_TRUE(sSaveTextFile(name.c_str(), text.c_str()));
    sChar *t = sLoadTextFile(name.c_str());
    ASSERT_TRUE(t);
    ASSERT_EQ(Text(t), text) << "iteration " << i;
    sMemFree(t);
  }
}

// Memory files, the handler chain, name preparation and the whole-file helpers.
#include "common/check.hpp"
#include "file_test_util.hpp"

using namespace filetest;

namespace
{
// A memory file over a fresh, owned block in the given mode.
sMemoryFile *NewMemoryFile(sS64 size, sInt mode, sInt blockSize = 0)
{
  sSetAllocSource(__FILE__, __LINE__);
  void *data = sMemAlloc(size > 0 ? sDInt(size) : 1, 16, 0);
  memset(data, 0xee, size_t(size > 0 ? size : 1));
  sMemoryFile *f = sCreateMemoryFile(data, size, 1, blockSize);
  f->Mode = mode;
  return f;
}

std::string Bytes(const sMemoryFile *f, sS64 n) { return std::string(reinterpret_cast<const char *>(f->Data), size_t(n)); }

// A handler that answers every name with a one-byte memory file holding its tag.
class TagHandler : public sFileHandler
{
public:
  explicit TagHandler(char tag) : Tag(tag) {}
  char Tag;
  sFile *Create(const sChar *, sInt) override
  {
    sSetAllocSource(__FILE__, __LINE__);
    char *data = static_cast<char *>(sMemAlloc(1, 16, 0));
    *data = Tag;
    return sCreateMemoryFile(data, 1, 1, 0);
  }
};
}

/****************************************************************************/
/***   Memory files                                                       ***/
/****************************************************************************/

TEST(MemoryFileTest, ReadsWithinSizeAndMode)
{
  char data[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  sMemoryFile *f = sCreateMemoryFile(data, 10, 0, 0);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->Mode, sFA_READ);
  char buf[10] = {};
  EXPECT_TRUE(f->Read(buf, 4));
  EXPECT_EQ(buf[3], 3);
  EXPECT_EQ(f->GetOffset(), 4);
  EXPECT_FALSE(f->Read(buf, 7));   // one past the end: refused, offset kept
  EXPECT_EQ(f->GetOffset(), 4);
  EXPECT_TRUE(f->Read(buf, 6));
  EXPECT_EQ(buf[5], 9);
  EXPECT_FALSE(f->Read(buf, 1));
  EXPECT_FALSE(f->Write(buf, 1));  // mode "read" does not write

  EXPECT_FALSE(f->SetOffset(11));
  EXPECT_EQ(f->GetOffset(), 0);    // a bad offset resets to the start
  EXPECT_TRUE(f->SetOffset(10));
  EXPECT_FALSE(f->SetOffset(-1));
  EXPECT_EQ(f->GetOffset(), 0);

  EXPECT_EQ(f->Map(2, 8), reinterpret_cast<const sU8 *>(data) + 2);
  EXPECT_EQ(f->Map(3, 8), nullptr);
  EXPECT_EQ(f->Map(-1, 2), nullptr);
  EXPECT_EQ(f->GetSize(), 10);
  EXPECT_FALSE(f->SetSize(4));
  EXPECT_FALSE(f->Close());
  EXPECT_EQ(f->GetSectorSize(), -1);
  sDELETE(f);
  EXPECT_EQ(data[9], 9);   // not owned: left alone
}

TEST(MemoryFileTest, WritingZeroFillsGapsOnly)
{
  sMemoryFile *f = NewMemoryFile(16, sFA_READWRITE);
  ASSERT_TRUE(f->Write("abcdefgh", 8));
  EXPECT_EQ(f->WrittenEnd, 8);
  // rewrite an earlier range, then write behind the written end
  ASSERT_TRUE(f->SetOffset(2));
  ASSERT_TRUE(f->Write("XY", 2));
  EXPECT_EQ(f->WrittenEnd, 8);   // the written end never moves back
  ASSERT_TRUE(f->SetOffset(10));
  ASSERT_TRUE(f->Write("Z", 1));
  EXPECT_EQ(f->WrittenEnd, 11);
  EXPECT_EQ(Bytes(f, 11), std::string("abXYefgh\0\0Z", 11));
  // a memory file never grows
  EXPECT_FALSE(f->Write("0123456", 6));
  EXPECT_EQ(f->GetOffset(), 11);
  ASSERT_TRUE(f->Write("01234", 5));
  EXPECT_EQ(f->WrittenEnd, 16);
  sDELETE(f);
}

TEST(MemoryFileTest, AsyncReadRunsToTheBlockEnd)
{
  sMemoryFile *f = NewMemoryFile(10, sFA_READ, 16);
  for(sInt i = 0; i < 10; i++) f->Data[i] = sU8('a' + i);
  sU8 buf[8];
  memset(buf, 0x55, sizeof(buf));
  sInt h = f->ReadAsync(8, 8, buf);
  EXPECT_EQ(h, 1);
  EXPECT_TRUE(f->AsyncDone(h));
  EXPECT_EQ(buf[0], 'i');
  EXPECT_EQ(buf[1], 'j');
  for(sInt i = 2; i < 8; i++) EXPECT_EQ(buf[i], 0) << i;
  // wholly past Size but inside the block
  memset(buf, 0x55, sizeof(buf));
  f->ReadAsync(12, 4, buf);
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(buf[3], 0);
  EXPECT_EQ(buf[4], 0x55);
  f->EndAsync(h);
  EXPECT_FALSE(f->AsyncDone(2));
  sDELETE(f);
}

TEST(MemoryFileDeathTest, AsyncMisuseIsFatal)
{
  sU8 buf[16];
  EXPECT_EXIT({
    sMemoryFile *f = NewMemoryFile(10, sFA_READ, 16);
    f->ReadAsync(8, 9, buf);
  }, testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT({
    sMemoryFile *f = NewMemoryFile(10, sFA_READ, 0);
    f->ReadAsync(8, 3, buf);
  }, testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT({
    sMemoryFile *f = NewMemoryFile(10, sFA_READ, 16);
    f->ReadAsync(0, 4, nullptr);
  }, testing::ExitedWithCode(1), "destbuffer");
  EXPECT_EXIT({
    sMemoryFile *f = NewMemoryFile(10, sFA_READ, 16);
    f->AsyncData(1);
  }, testing::ExitedWithCode(1), "asynchronous io not supported");
}

TEST(FileDeathTest, BaseClassRefusesAsyncAndPhysicalPositions)
{
  sFile plain;
  char c;
  EXPECT_EQ(plain.LoadWhole(), nullptr);   // nothing can be read
  EXPECT_EXIT(plain.ReadAsync(0, 1, &c), testing::ExitedWithCode(1), "asynchronous io not supported");
  EXPECT_EXIT(plain.AsyncDone(1), testing::ExitedWithCode(1), "asynchronous io not supported");
  EXPECT_EXIT(plain.EndAsync(1), testing::ExitedWithCode(1), "asynchronous io not supported");
  EXPECT_EXIT(plain.GetPhysicalPosition(0), testing::ExitedWithCode(1), "physical positions not supported");
}

// A file that reads from its start but has no offset to set.
class ReadOnlyStream : public sFile
{
public:
  sS64 GetSize() override { return 3; }
  sBool Read(void *data, sDInt size) override
  {
    if(size != 3) return 0;
    memcpy(data, "xyz", 3);
    return 1;
  }
};

TEST(FileTest, LoadWholeReadsFilesThatCannotSeek)
{
  // at offset 0 nothing needs to move: the file is read as it is
  ReadOnlyStream f;
  const sU8 *data = f.LoadWhole();
  ASSERT_TRUE(data);
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(data), 3), "xyz");
  EXPECT_EQ(f.LoadWhole(), data);
}

/****************************************************************************/
/***   Handler chain                                                      ***/
/****************************************************************************/

TEST_F(FileFixture, LaterHandlerWins)
{
  sAddFileHandler(sNEW TagHandler('A'));
  sAddFileHandler(sNEW TagHandler('B'));
  EXPECT_EQ(sGetFileHandlerCount(), 2);
  sFile *f = sOpenFile(u"any", sFA_READ);
  ASSERT_TRUE(f);
  char c = 0;
  EXPECT_TRUE(f->Read(&c, 1));
  EXPECT_EQ(c, 'B');
  sDELETE(f);
  EXPECT_TRUE(sFileExists(u"whatever"));
}

TEST_F(FileFixture, EarlierHandlerServesWhatLaterOnesRefuse)
{
  MemoryHandler *first = sNEW MemoryHandler;
  MemoryHandler *second = sNEW MemoryHandler;
  first->Files[u"a.txt"] = "first";
  second->Files[u"b.txt"] = "second";
  sAddFileHandler(first);
  sAddFileHandler(second);
  sDInt size = 0;
  sU8 *data = sLoadFileData(u"a.txt", &size);
  ASSERT_TRUE(data);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(data), size_t(size)), "first");
  sMemFree(data);
  // the later handler was asked first
  ASSERT_EQ(second->Asked.size(), 1u);
  ASSERT_EQ(first->Asked.size(), 1u);
  EXPECT_TRUE(sFileExists(u"b.txt"));
  EXPECT_FALSE(sFileExists(u"c.txt"));
}

TEST_F(FileFixture, MissingFileIsLoggedAndGivesNull)
{
  LogCapture log;
  EXPECT_EQ(sOpenFile(u"nothing.here", sFA_READ), nullptr);   // no handlers at all
  sAddFileHandler(sNEW MemoryHandler);
  EXPECT_EQ(sOpenFile(u"missing.$$$", sFA_READ), nullptr);
  EXPECT_EQ(sLoadFileData(u"missing.bin"), nullptr);
  EXPECT_EQ(sLoadTextFile(u"missing.txt"), nullptr);
  EXPECT_FALSE(sFileExists(u"missing.bin"));
  EXPECT_TRUE(log.Has("File not Found <nothing.here>\n"));
  EXPECT_TRUE(log.Has("File not Found <missing.pch>\n"));
  EXPECT_TRUE(log.Has("File not Found <missing.txt>\n"));
  EXPECT_TRUE(log.Has("[file]"));
}

TEST_F(FileFixture, ExitDeletesHandlersAndEmptiesTheTable)
{
  sAddFileHandler(sNEW MemoryHandler);
  sAddFileHandler(sNEW MemoryHandler);
  sExitFileHandlers();
  EXPECT_EQ(sGetFileHandlerCount(), 0);
  EXPECT_EQ(sOpenFile(u"x", sFA_READ), nullptr);
}

TEST(FileHandlerDeathTest, SeventeenthHandlerIsFatal)
{
  EXPECT_EXIT({
    sInitFileHandlers();
    for(sInt i = 0; i < 17; i++) sAddFileHandler(sNEW MemoryHandler);
  }, testing::ExitedWithCode(1), kCheckFailed);
}

/****************************************************************************/
/***   Name preparation                                                   ***/
/****************************************************************************/

TEST(FileNameTest, PlaceholderBecomesInfix)
{
  sPathString out;
  sPrepareFileName(out, u"data/shader.$$$");
  EXPECT_EQ(Text(out), u"data/shader.pch");
  sPrepareFileName(out, u"a.$$$.$$$");
  EXPECT_EQ(Text(out), u"a.pch.pch");
  sPrepareFileName(out, u"a.$$");          // only two dollars: unchanged
  EXPECT_EQ(Text(out), u"a.$$");
  sPrepareFileName(out, u"x.$$$y");
  EXPECT_EQ(Text(out), u"x.pchy");
  sPrepareFileName(out, u"$$$.$$$$");
  EXPECT_EQ(Text(out), u"$$$.pch$");
  sPrepareFileName(out, u"");
  EXPECT_EQ(Text(out), u"");
}

TEST_F(FileFixture, OpeningUsesThePreparedName)
{
  MemoryHandler *h = sNEW MemoryHandler;
  h->Files[u"cache/model.pch"] = "M";
  sAddFileHandler(h);
  sFile *f = sOpenFile(u"cache/model.$$$", sFA_READ);
  ASSERT_TRUE(f);
  sDELETE(f);
  EXPECT_TRUE(sFileExists(u"cache/model.$$$"));
}

TEST(FileNameDeathTest, NameThatDoesNotFitIsFatal)
{
  sChar small[8];
  sPrepareFileName(sStringRef(small, 8), u"1234567");   // seven characters fit
  EXPECT_EQ(Text(small), u"1234567");
  EXPECT_EXIT(sPrepareFileName(sStringRef(small, 8), u"12345678"), testing::ExitedWithCode(1), kCheckFailed);
  std::u16string longName(5000, u'a');
  EXPECT_EXIT(sOpenFile(longName.c_str(), sFA_READ), testing::ExitedWithCode(1), kCheckFailed);
}

/****************************************************************************/
/***   Text files                                                         ***/
/****************************************************************************/

class TextFileTest : public FileFixture
{
protected:
  void SetUp() override
  {
    FileFixture::SetUp();
    Mem = sNEW MemoryHandler;
    sAddFileHandler(Mem);
  }
  // loads the bytes as a text file
  std::u16string Load(const std::string &bytes)
  {
    Mem->Files[u"t.txt"] = bytes;
    sChar *t = sLoadTextFile(u"t.txt");
    EXPECT_TRUE(t);
    std::u16string s = Text(t);
    if(t) sMemFree(t);
    return s;
  }
  MemoryHandler *Mem = nullptr;
};

TEST_F(TextFileTest, Utf16EitherByteOrder)
{
  EXPECT_EQ(Load(std::string("\xff\xfe" "A\0\r\0\n\0", 8)), u"A\n");
  EXPECT_EQ(Load(std::string("\xfe\xff\0A\0\r\0\n\x20\xac", 10)), u"A\n\u20ac");
  EXPECT_EQ(Load(std::string("\xff\xfe" "A\0B", 5)), u"A");   // an odd last byte is dropped
  EXPECT_EQ(Load(std::string("\xff\xfe", 2)), u"");
  EXPECT_EQ(Load(std::string("\xfe\xff", 2)), u"");
}

TEST_F(TextFileTest, Utf8WithMark)
{
  EXPECT_EQ(Load("\xef\xbb\xbf\xc3\xa9"), u"\u00e9");
  EXPECT_EQ(Load("\xef\xbb\xbf\xc3" "A"), u"?");        // the 'A' goes with the broken pair
  EXPECT_EQ(Load("\xef\xbb\xbf" "a\r\nb"), u"a\nb");
  EXPECT_EQ(Load("\xef\xbb\xbf\xe2\x82\xac!"), u"\u20ac!");
  EXPECT_EQ(Load("\xef\xbb\xbf\xf0\x9f\x8e\xb5"), u"\U0001F3B5");   // beyond 16 bits: a pair
  EXPECT_EQ(Load("\xef\xbb\xbf\xf8x"), u"?x");          // a byte that starts nothing
  EXPECT_EQ(Load("\xef\xbb\xbf\x80x"), u"?x");
  EXPECT_EQ(Load("\xef\xbb\xbf"), u"");
}

TEST_F(TextFileTest, TruncatedSequencesStopAtTheEnd)
{
  // sequences cut by the end of the file: one '?' and nothing read past the data
  EXPECT_EQ(Load("\xef\xbb\xbf" "a\xc3"), u"a?");
  EXPECT_EQ(Load("\xef\xbb\xbf" "a\xe2\x82"), u"a?");
  EXPECT_EQ(Load("\xef\xbb\xbf" "a\xf0\x9f\x8e"), u"a?");
  EXPECT_EQ(Load("\xef\xbb\xbf\xe2"), u"?");
  // short files that begin like a mark are 8-bit text
  EXPECT_EQ(Load("\xef\xbb"), u"\u00ef\u00bb");
  EXPECT_EQ(Load("\xff"), u"\u00ff");
  EXPECT_EQ(Load(""), u"");
}

TEST_F(TextFileTest, EveryEncodingGivesTheSameText)
{
  std::u16string want = u"Gr\u00fc\u00dfe\nzwei Zeilen\n";
  std::string latin = "Gr\xfc\xdf" "e\r\nzwei Zeilen\r\n";
  std::string utf8 = "\xef\xbb\xbfGr\xc3\xbc\xc3\x9f" "e\r\nzwei Zeilen\r\n";
  std::string le("\xff\xfe", 2), be("\xfe\xff", 2);
  for(char16_t c : std::u16string(u"Gr\u00fc\u00dfe\r\nzwei Zeilen\r\n"))
  {
    le += char(c & 0xff);
    le += char(c >> 8);
    be += char(c >> 8);
    be += char(c & 0xff);
  }
  EXPECT_EQ(Load(latin), want);
  EXPECT_EQ(Load("caf\xe9\r\nx\r"), u"caf\u00e9\nx");
  EXPECT_EQ(Load(utf8), want);
  EXPECT_EQ(Load(le), want);
  EXPECT_EQ(Load(be), want);
}

TEST_F(FileFixture, SavedTextHasCrLfAndLoadsBack)
{
  TempDir dir;
  sInitRootFileHandler();
  std::u16string name = dir.Name("saved.txt");
  ASSERT_TRUE(sSaveTextFile(name.c_str(), u"a\nb\r\nc"));
  EXPECT_EQ(ReadFile(dir.Name8("saved.txt")), "a\r\nb\r\nc");
  sChar *t = sLoadTextFile(name.c_str());
  ASSERT_TRUE(t);
  EXPECT_EQ(Text(t), u"a\nb\nc");
  sMemFree(t);

  // an empty text makes an empty file
  ASSERT_TRUE(sSaveTextFile(name.c_str(), u""));
  EXPECT_EQ(ReadFile(dir.Name8("saved.txt")), "");
  t = sLoadTextFile(name.c_str());
  ASSERT_TRUE(t);
  EXPECT_EQ(Text(t), u"");
  sMemFree(t);
}

TEST_F(FileFixture, TextBeyondEightBitsIsSavedAsUtf8)
{
  TempDir dir;
  sInitRootFileHandler();
  std::u16string name = dir.Name("wide.txt");
  std::u16string text = u"\u00e9t\u00e9 \u65e5\u672c\n\U0001F3B5 \xd800 end\n";
  ASSERT_TRUE(sSaveTextFile(name.c_str(), text.c_str()));
  std::string raw = ReadFile(dir.Name8("wide.txt"));
  EXPECT_EQ(raw.substr(0, 3), "\xef\xbb\xbf");
  EXPECT_NE(raw.find("\xc3\xa9t\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac\r\n\xf0\x9f\x8e\xb5 "), std::string::npos);
  sChar *t = sLoadTextFile(name.c_str());
  ASSERT_TRUE(t);
  EXPECT_EQ(Text(t), text);   // every character survives, the lone surrogate too
  sMemFree(t);
  // Latin-1 only text stays byte for byte
  ASSERT_TRUE(sSaveTextFile(name.c_str(), u"\u00e9\u00ff"));
  EXPECT_EQ(ReadFile(dir.Name8("wide.txt")), "\xe9\xff");
}

TEST_F(FileFixture, EightBitTextThatLooksLikeAMarkLoadsBack)
{
  TempDir dir;
  sInitRootFileHandler();
  std::u16string name = dir.Name("mark.txt");
  // written byte for byte these would begin with a byte-order mark
  for(const char16_t *text : {u"\u00ff\u00fe" u"AB", u"\u00fe\u00ff" u"AB", u"\u00ef\u00bb\u00bf" u"x\n", u"\u00ff\u00fe"})
  {
    ASSERT_TRUE(sSaveTextFile(name.c_str(), text));
    sChar *t = sLoadTextFile(name.c_str());
    ASSERT_TRUE(t);
    EXPECT_EQ(Text(t), text);
    sMemFree(t);
  }
  // a start that only resembles a mark stays 8-bit
  ASSERT_TRUE(sSaveTextFile(name.c_str(), u"\u00ff\u00ff"));
  EXPECT_EQ(ReadFile(dir.Name8("mark.txt")), "\xff\xff");
  ASSERT_TRUE(sSaveTextFile(name.c_str(), u"\u00ef\u00bb"));
  EXPECT_EQ(ReadFile(dir.Name8("mark.txt")), "\xef\xbb");
}

TEST_F(FileFixture, LongTextRoundTripsAcrossPieces)
{
  TempDir dir;
  sInitRootFileHandler();
  std::u16string name = dir.Name("long.txt");
  // lines that make many pieces, with line feeds on the piece borders in some places
  std::u16string text;
  std::string want;
  for(int i = 0; i < 3000; i++)
  {
    std::string line = std::to_string(i * 7919 % 1000);
    for(char c : line) text += char16_t(c);
    text += u'\n';
    want += line + "\r\n";
  }
  ASSERT_TRUE(sSaveTextFile(name.c_str(), text.c_str()));
  EXPECT_EQ(ReadFile(dir.Name8("long.txt")), want);
  sChar *t = sLoadTextFile(name.c_str());
  ASSERT_TRUE(t);
  EXPECT_EQ(Text(t), text);
  sMemFree(t);
  // the same with wide characters, whose sequences cross the piece borders
  std::u16string wide;
  for(int i = 0; i < 5000; i++) wide += (i % 3 == 0) ? u'\u4e00' : (i % 7 == 0) ? u'\n' : u'\u00e9';
  ASSERT_TRUE(sSaveTextFile(name.c_str(), wide.c_str()));
  t = sLoadTextFile(name.c_str());
  ASSERT_TRUE(t);
  EXPECT_EQ(Text(t), wide);
  sMemFree(t);
}

TEST_F(FileFixture, SavingFailsWhenNoFileCanBeMade)
{
  sInitRootFileHandler();
  EXPECT_FALSE(sSaveTextFile(u"/nonexistent-folder-xyz/a.txt", u"text"));
  EXPECT_FALSE(sSaveFileData(u"/nonexistent-folder-xyz/a.bin", "x", 1));
}

TEST_F(FileFixture, DataRoundTrip)
{
  TempDir dir;
  sInitRootFileHandler();
  std::u16string name = dir.Name("data.bin");
  std::string bytes;
  for(int i = 0; i < 100000; i++) bytes += char(i * 31 + 7);
  ASSERT_TRUE(sSaveFileData(name.c_str(), bytes.data(), sDInt(bytes.size())));
  sDInt size = 0;
  sU8 *data = sLoadFileData(name.c_str(), &size);
  ASSERT_TRUE(data);
  ASSERT_EQ(size, sDInt(bytes.size()));
  EXPECT_EQ(memcmp(data, bytes.data(), bytes.size()), 0);
  sMemFree(data);
  data = sLoadFileBytes(name.c_str());
  ASSERT_TRUE(data);
  EXPECT_EQ(data[99999], sU8(char(99999 * 31 + 7)));
  sMemFree(data);
  // an empty file loads as an empty block
  ASSERT_TRUE(sSaveFileData(name.c_str(), "", 0));
  data = sLoadFileData(name.c_str(), &size);
  ASSERT_TRUE(data);
  EXPECT_EQ(size, 0);
  sMemFree(data);
}

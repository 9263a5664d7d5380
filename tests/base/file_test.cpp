// The handler chain, whole-file loading and text files as saved and loaded.
#include "common/check.hpp"
#include "file_test_util.hpp"

using namespace filetest;

/****************************************************************************/
/***   Memory files                                                       ***/
/****************************************************************************/

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
  // the later handler was asked first and refused
  ASSERT_EQ(second->Asked.size(), 1u);
  ASSERT_EQ(first->Asked.size(), 1u);
  second->Files[u"a.txt"] = "second";   // a later handler that has the name wins
  data = sLoadFileData(u"a.txt", &size);
  ASSERT_TRUE(data);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(data), size_t(size)), "second");
  sMemFree(data);
  EXPECT_TRUE(sFileExists(u"b.txt"));
  EXPECT_FALSE(sFileExists(u"c.txt"));
}

/****************************************************************************/
/***   Text files                                                         ***/
/****************************************************************************/

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

// Text buffer, string pool, message queue and garbage collector.
#include "base/textbuffer.hpp"
#include "base/system.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace
{
std::u16string Repeat(sChar c, sInt n) { return std::u16string(size_t(n), c); }
}

/****************************************************************************/
/***   Text buffer                                                        ***/
/****************************************************************************/

TEST(TextBuffer, ManyPrintsKeepEveryCharacterInOrder)
{
  sTextBuffer tb;
  std::u16string expect;
  for(sInt i = 0; i < 3000; i++)
  {
    sChar piece[3] = {sChar('a' + i % 26), sChar('0' + i % 10), 0};
    tb.Print(piece);
    expect += piece;
  }
  EXPECT_EQ(tb.GetCount(), 6000);
  EXPECT_EQ(std::u16string(tb.Get()), expect);
  // Get terminates without counting the terminator
  tb.Print(u"!");
  EXPECT_EQ(std::u16string(tb.Get()), expect + u"!");
}

TEST(TextBuffer, ClearKeepsStorageAndGrowNeverShrinks)
{
  sTextBuffer tb;
  tb.Print(u"hello");
  tb.Clear();
  EXPECT_EQ(tb.GetCapacity(), 1024);
  EXPECT_EQ(std::u16string(tb.Get()), u"");
  tb.Print(u"x");
  tb.Grow(10);
  EXPECT_EQ(tb.GetCapacity(), 1024);
  tb.Grow(5000);
  EXPECT_EQ(tb.GetCapacity(), 5000);
  EXPECT_EQ(std::u16string(tb.Get()), u"x");
}

TEST(TextBuffer, WithoutStorageGetGivesEmptyTextAndPrintAllocates)
{
  sTextBuffer tb(0);
  const sChar *t = tb.Get();
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t[0], 0);
  tb.Print(u"abc");
  EXPECT_GE(tb.GetCapacity(), 4);
  EXPECT_EQ(std::u16string(tb.Get()), u"abc");
}

TEST(TextBuffer, EmptyPrintStillMakesRoomForTheTerminator)
{
  // the growth rule counts the terminator, also when nothing is appended: a buffer
  // without storage takes one character, and Get terminates in it
  sTextBuffer bare(0);
  bare.Print(u"");
  EXPECT_EQ(bare.GetCapacity(), 1);
  const sChar *t = bare.Get();
  EXPECT_EQ(t[0], 0);
  bare.Print(u"ab");
  EXPECT_EQ(bare.GetCapacity(), 4);   // 1 + 2 + 1 beats 2 * 1
  EXPECT_EQ(std::u16string(bare.Get()), u"ab");
}

TEST(TextBuffer, PrintFAndPartialPrint)
{
  sTextBuffer tb;
  tb.PrintF(u"\"%s\"\n", u"data/a.png");
  tb.Print(u"abcdef", 3);
  EXPECT_EQ(std::u16string(tb.Get()), u"\"data/a.png\"\nabc");
}

/****************************************************************************/
/***   String pool                                                        ***/
/****************************************************************************/

class StringPoolTest : public testing::Test
{
protected:
  void SetUp() override { sInitStringPool(); }
  void TearDown() override { sExitStringPool(); }
};

TEST_F(StringPoolTest, EqualPrefixesPoolToOnePointer)
{
  sBool added = -1;
  const sChar *ab = sPoolString(u"abc", 2, &added);
  EXPECT_EQ(added, 1);
  EXPECT_EQ(std::u16string(ab), u"ab");
  const sChar *ab2 = sPoolString(u"ab", 2, &added);
  EXPECT_EQ(added, 0);
  EXPECT_EQ(ab, ab2);
  EXPECT_EQ(sPoolString(u"abz", 2), ab);
  // a longer text is another entry, though it starts the same
  const sChar *abc = sPoolString(u"abc");
  EXPECT_NE(abc, ab);
  EXPECT_EQ(std::u16string(abc), u"abc");
  // the prefix "a" of "ab" is its own entry too
  EXPECT_NE(sPoolString(u"a"), ab);
}

TEST_F(StringPoolTest, EmptyTextIsThePooledEmptyString)
{
  sBool added = -1;
  const sChar *e = sPoolString(u"whatever", 0, &added);
  EXPECT_EQ(added, 0);
  EXPECT_EQ(e, sGetPoolEmptyString());
  EXPECT_EQ(e[0], 0);
  EXPECT_EQ(sPoolString(nullptr, 0), e);
}

TEST_F(StringPoolTest, ManyTextsStayDistinctAndStable)
{
  // far more texts than buckets and arena chunks, so chains and new chunks are used
  std::vector<const sChar *> first;
  for(sInt i = 0; i < 20000; i++)
  {
    std::u16string s = u"name" + std::u16string(size_t(i % 7), 'x');
    for(sInt v = i; v; v /= 10) s += sChar('0' + v % 10);
    first.push_back(sPoolString(s.c_str()));
  }
  for(sInt i = 0; i < 20000; i++)
  {
    std::u16string s = u"name" + std::u16string(size_t(i % 7), 'x');
    for(sInt v = i; v; v /= 10) s += sChar('0' + v % 10);
    sBool added = 1;
    EXPECT_EQ(sPoolString(s.c_str(), sInt(s.size()), &added), first[size_t(i)]);
    EXPECT_EQ(added, 0);
    EXPECT_EQ(std::u16string(first[size_t(i)]), s);
  }
  // a text longer than half an arena chunk is pooled too
  std::u16string big = Repeat('q', 40000);
  const sChar *b = sPoolString(big.c_str());
  EXPECT_EQ(std::u16string(b), big);
  EXPECT_EQ(sPoolString(big.c_str()), b);
}

TEST_F(StringPoolTest, CharactersAboveEightBitsAreCompared)
{
  // the bucket hash sees only the low byte: these land in one bucket and must differ
  const sChar t1[] = {0x0141, 0};
  const sChar t2[] = {0x0241, 0};
  const sChar *p1 = sPoolString(t1);
  const sChar *p2 = sPoolString(t2);
  EXPECT_NE(p1, p2);
  EXPECT_EQ(p1[0], 0x0141);
  EXPECT_EQ(p2[0], 0x0241);
  EXPECT_NE(sPoolString(u"A"), p1);
}

TEST_F(StringPoolTest, LookupOfALongerTextNeverReadsPastAShorterOne)
{
  // both land in one bucket only by chance, so fill every bucket with short texts first
  // and look up longer ones: a comparison that reads the pooled text at the longer
  // length would run past its end (the sanitizer build sees it)
  for(sInt i = 0; i < 5000; i++)
  {
    sChar t[3] = {sChar('a' + i % 26), sChar('A' + (i / 26) % 26), 0};
    sPoolString(t);
  }
  std::u16string longer(200, 'z');
  for(sInt i = 0; i < 5000; i++)
  {
    longer[0] = sChar('a' + i % 26);
    longer[1] = sChar('A' + (i / 26) % 26);
    longer[2] = sChar('0' + i % 10);
    const sChar *p = sPoolString(longer.c_str());
    EXPECT_EQ(std::u16string(p), longer);
  }
}

TEST(StringPoolDeath, UseWithoutThePoolIsFatal)
{
  EXPECT_EXIT(sPoolString(u"x"), testing::ExitedWithCode(1), "string pool does not run");
}

/****************************************************************************/
/***   Garbage collector                                                  ***/
/****************************************************************************/

namespace
{
std::atomic<sInt> Deleted{0};

struct Node : public sGCObject
{
  Node *Link = nullptr;
  ~Node() override { Deleted++; }
  void Tag() override { Need(Link); }
};

class GCTest : public testing::Test
{
protected:
  void SetUp() override
  {
    Deleted = 0;
    sInitGC();
  }
  void TearDown() override { sExitGC(); }
};
}

TEST_F(GCTest, CollectsOnlyWhenRequested)
{
  sGCAdd(sNEW Node);
  sGCCollect(0);
  EXPECT_EQ(Deleted, 0);
  EXPECT_EQ(sGCGetObjectCount(), 1);
  sGCRequestCollect();
  EXPECT_TRUE(sGCIsCollectRequested());
  sGCCollect(0);
  EXPECT_EQ(Deleted, 1);
  EXPECT_EQ(sGCGetObjectCount(), 0);
  EXPECT_FALSE(sGCIsCollectRequested());
}

TEST_F(GCTest, RootsKeepWhatTheyReach)
{
  Node *root = sNEW Node;
  Node *kept = sNEW Node;
  Node *lost = sNEW Node;
  root->Link = kept;
  kept->Link = root;   // a cycle must not loop
  sGCAdd(root);
  sGCAdd(kept);
  sGCAdd(lost);
  sGCAddRoot(root);
  sGCCollect(1);
  EXPECT_EQ(Deleted, 1);
  EXPECT_EQ(sGCGetObjectCount(), 2);

  sGCRemRoot(root);
  sGCCollect(1);
  EXPECT_EQ(Deleted, 3);
  EXPECT_EQ(sGCGetObjectCount(), 0);
}

TEST_F(GCTest, ExitCollectsEverythingUnrooted)
{
  sGCAdd(sNEW Node);
  sGCAdd(sNEW Node);
  sExitGC();
  EXPECT_EQ(Deleted, 2);
  sInitGC();   // for TearDown
}

TEST_F(GCTest, CollectionThatIsNotForcedNeverWaits)
{
  sGCAdd(sNEW Node);
  std::atomic<int> stage{0};
  std::thread holder([&] {
    sGCGetCollectorLock()->Lock();
    stage = 1;
    while(stage != 2) std::this_thread::yield();
    sGCGetCollectorLock()->Unlock();
  });
  while(stage != 1) std::this_thread::yield();

  sGCRequestCollect();
  sGCCollect(0);   // returns at once: the other thread holds the collector
  EXPECT_TRUE(sGCIsCollectRequested());
  EXPECT_EQ(Deleted, 0);

  stage = 2;
  holder.join();
  sGCCollect(0);
  EXPECT_EQ(Deleted, 1);
  EXPECT_FALSE(sGCIsCollectRequested());
}

TEST_F(GCTest, FlagIsClearedWhenNothingIsRegistered)
{
  sGCRequestCollect();
  sGCCollect(0);
  EXPECT_FALSE(sGCIsCollectRequested());
  EXPECT_EQ(sGCGetObjectCount(), 0);
}

// Text buffer, string pool, message queue and garbage collector.
#include "base/textbuffer.hpp"
#include "base/system.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

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
  EXPECT_EQ(std::u16string(tb.Get()), expect);
  // Get terminates without counting the terminator
  tb.Print(u"!");
  EXPECT_EQ(std::u16string(tb.Get()), expect + u"!");
}

TEST(TextBuffer, EmptyPrintStillMakesRoomForTheTerminator)
{
  // the growth rule counts the terminator, also when nothing is appended: a buffer
  // without storage takes one character, and Get terminates in it
  sTextBuffer bare(0);
  bare.Print(u"");
  EXPECT_EQ(bare.Get()[0], 0);
  bare.Print(u"ab");
  EXPECT_EQ(std::u16string(bare.Get()), u"ab");
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

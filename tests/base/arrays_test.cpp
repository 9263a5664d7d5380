#include "common/check.hpp"
#include "base/arrays.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// An element with a constructor and destructor that records what happens to it.
struct Tracked
{
  static int Live;
  static int Constructed;
  static std::vector<int> Destroyed;
  int Value;

  Tracked() : Value(-1) { Live++; Constructed++; }
  Tracked(int v) : Value(v) { Live++; Constructed++; }
  Tracked(const Tracked &o) : Value(o.Value) { Live++; Constructed++; }
  Tracked &operator=(const Tracked &o) { Value = o.Value; return *this; }
  ~Tracked() { Live--; Destroyed.push_back(Value); }

  static void ResetCounts() { Live = 0; Constructed = 0; Destroyed.clear(); }
};
int Tracked::Live = 0;
int Tracked::Constructed = 0;
std::vector<int> Tracked::Destroyed;

// A 20-byte plain record that starts as zero bytes.
struct Record20
{
  sU32 Word[5];
};

struct alignas(32) Wide
{
  float V[8];
  Wide() { for(float &v : V) v = 1.0f; }
};

using Static4 = sStaticArray<int, 4>;

std::vector<int> Contents(const sArray<int> &a)
{
  return std::vector<int>(a.begin(), a.end());
}

// Works on any kind of array through the shared interface.
void AddRange(sArray<int> &a, int from, int count)
{
  for(int n = 0; n < count; n++)
    a.AddTail(from + n);
}

}

template <> struct sArrayZeroFill<Record20> : std::true_type {};

/****************************************************************************/
/***   Bounded                                                            ***/
/****************************************************************************/

TEST(BoundedArray, FillsToItsCapacity)
{
  sBoundedArray<int> a(4);
  EXPECT_EQ(a.Alloc, 4);
  EXPECT_EQ(a.Used, 0);
  EXPECT_TRUE(a.IsEmpty());
  AddRange(a, 10, 4);
  EXPECT_EQ(a.Peak, 4);
  EXPECT_EQ(a.GetSize(), 4);
  EXPECT_EQ(Contents(a), (std::vector<int>{10, 11, 12, 13}));
  a.RemAt(1);
  a.RemAt(0);
  EXPECT_EQ(Contents(a), (std::vector<int>{12, 13}));
  EXPECT_EQ(a.Peak, 4);   // the highest count reached stays
  a.AddTail(99);
  EXPECT_EQ(a.Peak, 4);
  EXPECT_EQ(a.Alloc, 4);
}

TEST(BoundedArray, PeakFollowsAppends)
{
  sBoundedArray<int> a(8);
  a.AddTail(1);
  a.AddTail(2);
  EXPECT_EQ(a.Peak, 2);
  a.Clear();
  a.AddTail(3);
  EXPECT_EQ(a.Peak, 2);
  int *p = a.AddMany(5);
  p[0] = 7;
  EXPECT_EQ(a.Peak, 6);
  EXPECT_EQ(a[1], 7);
}

TEST(BoundedArray, HintSizeOnlyOnce)
{
  sBoundedArray<int> a;
  EXPECT_EQ(a.Data, nullptr);
  EXPECT_EQ(a.Alloc, 0);
  a.HintSize(4);
  int *data = a.Data;
  ASSERT_NE(data, nullptr);
  a.HintSize(2);   // fits: nothing happens
  a.HintSize(4);
  EXPECT_EQ(a.Data, data);
  EXPECT_EQ(a.Alloc, 4);
  // after Reset the capacity can be set again
  a.Reset();
  EXPECT_EQ(a.Data, nullptr);
  EXPECT_EQ(a.Alloc, 0);
  EXPECT_EQ(a.Used, 0);
  a.HintSize(16);
  EXPECT_EQ(a.Alloc, 16);
}

TEST(BoundedArrayDeathTest, Overflow)
{
  EXPECT_EXIT(
      {
        sBoundedArray<int> a(4);
        AddRange(a, 0, 5);
      },
      testing::ExitedWithCode(1), "Overflow! Alloc: 4 Used: 4 Added: 1");
  EXPECT_EXIT(
      {
        sBoundedArray<int> a(4);
        a.AddTail(1);
        a.AddMany(4);
      },
      testing::ExitedWithCode(1), "Overflow! Alloc: 4 Used: 1 Added: 4");
  // an array whose capacity was never set has no room at all
  EXPECT_EXIT(
      {
        sBoundedArray<int> a;
        a.AddTail(1);
      },
      testing::ExitedWithCode(1), "Overflow! Alloc: 0 Used: 0 Added: 1");
}

TEST(BoundedArrayDeathTest, SecondCapacityIsFatal)
{
  EXPECT_EXIT(
      {
        sBoundedArray<int> a(4);
        a.HintSize(8);
      },
      testing::ExitedWithCode(1), kCheckFailed);
}

/****************************************************************************/
/***   Dynamic                                                            ***/
/****************************************************************************/

TEST(DynamicArray, ResizeKeepsElements)
{
  sDynamicArray<int> a;
  AddRange(a, 100, 6);
  a.Resize(5);   // below Used: nothing
  EXPECT_EQ(a.Used, 6);
  EXPECT_GE(a.Alloc, 6);
  a.Resize(6);
  EXPECT_EQ(a.Alloc, 6);
  EXPECT_EQ(Contents(a), (std::vector<int>{100, 101, 102, 103, 104, 105}));
  a.Resize(50);
  EXPECT_EQ(a.Alloc, 50);
  EXPECT_EQ(Contents(a), (std::vector<int>{100, 101, 102, 103, 104, 105}));
  int *data = a.Data;
  a.HintSize(50);   // the same capacity: nothing
  EXPECT_EQ(a.Data, data);
  a.Clear();
  a.Resize(0);
  EXPECT_EQ(a.Alloc, 0);
  EXPECT_EQ(a.Data, nullptr);
  a.AddTail(5);
  EXPECT_EQ(Contents(a), (std::vector<int>{5}));
}

TEST(DynamicArray, RemoveKeepsOrder)
{
  sDynamicArray<int> a;
  AddRange(a, 0, 5);
  a.RemAt(0);
  EXPECT_EQ(Contents(a), (std::vector<int>{1, 2, 3, 4}));
  a.RemAt(3);
  EXPECT_EQ(Contents(a), (std::vector<int>{1, 2, 3}));
  a.RemAt(1);
  EXPECT_EQ(Contents(a), (std::vector<int>{1, 3}));
  EXPECT_EQ(a.GetTail(), 3);
  a.RemTail();
  EXPECT_EQ(Contents(a), (std::vector<int>{1}));
}

TEST(DynamicArray, DeleteThroughTheBase)
{
  Tracked::ResetCounts();
  sArray<Tracked> *a = sNEW sDynamicArray<Tracked>;
  a->AddTail(Tracked(1));
  a->AddTail(Tracked(2));
  EXPECT_GT(Tracked::Live, 0);
  sDELETE(a);
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(Tracked::Live, 0);
}

/****************************************************************************/
/***   Element construction and storage                                   ***/
/****************************************************************************/

TEST(ArrayElements, ConstructedForTheWholeCapacity)
{
  Tracked::ResetCounts();
  {
    sBoundedArray<Tracked> a(5);
    EXPECT_EQ(Tracked::Live, 5);
    EXPECT_EQ(a.Data[3].Value, -1);   // default-constructed
    // the count lives in the 8 bytes in front of the first element
    sS64 count;
    memcpy(&count, reinterpret_cast<const sU8 *>(a.Data) - 8, 8);
    EXPECT_EQ(count, 5);
    for(int n = 0; n < 3; n++)
      a.AddTail(Tracked(10 + n));
    EXPECT_EQ(Tracked::Live, 5);
    Tracked::Destroyed.clear();
  }
  // destroyed in descending order: the two unused, then 12, 11, 10
  EXPECT_EQ(Tracked::Destroyed, (std::vector<int>{-1, -1, 12, 11, 10}));
  EXPECT_EQ(Tracked::Live, 0);
}

TEST(ArrayElements, DynamicResizeCopiesAndDestroysTheOld)
{
  Tracked::ResetCounts();
  {
    sDynamicArray<Tracked> a;
    for(int n = 0; n < 9; n++)
    {
      a.AddTail(Tracked(n));
      EXPECT_EQ(Tracked::Live, a.Alloc);
    }
    EXPECT_EQ(a.Alloc, 16);
    for(int n = 0; n < 9; n++)
      EXPECT_EQ(a[n].Value, n);
    a.RemAt(4);
    EXPECT_EQ(a[4].Value, 5);
    EXPECT_EQ(a[7].Value, 8);
    Tracked::Destroyed.clear();
    a.Reset();
    EXPECT_EQ(Tracked::Destroyed.size(), 16u);
    EXPECT_EQ(Tracked::Live, 0);
    EXPECT_EQ(a.Data, nullptr);
    a.AddTail(Tracked(42));
    EXPECT_EQ(a[0].Value, 42);
  }
  EXPECT_EQ(Tracked::Live, 0);
}

TEST(ArrayElements, ZeroFilledRecords)
{
  // leave garbage in the heap where the array's storage is likely to come from
  void *junk = sMemAlloc(sizeof(Record20) * 8, 16, 0);
  memset(junk, 0xAB, sizeof(Record20) * 8);
  sMemFree(junk);

  sBoundedArray<Record20> a(8);
  Record20 *r = a.AddMany(8);
  for(int n = 0; n < 8; n++)
    for(sU32 w : r[n].Word)
      ASSERT_EQ(w, 0u);

  sDynamicArray<Record20> d;
  Record20 one = {{1, 2, 3, 4, 5}};
  d.AddTail(one);
  Record20 *more = d.AddMany(4);   // grows: the new entries start zeroed
  for(int n = 0; n < 4; n++)
    for(sU32 w : more[n].Word)
      ASSERT_EQ(w, 0u);
  EXPECT_EQ(d[0].Word[4], 5u);
}

TEST(ArrayElements, StorageAlignment)
{
  sDynamicArray<int> a;
  a.AddTail(1);
  EXPECT_EQ(sPtr(a.Data) % 16, 0u);
  sDynamicArray<Wide> w;
  w.AddMany(3);
  EXPECT_EQ(sPtr(w.Data) % 32, 0u);
  EXPECT_EQ(w[2].V[7], 1.0f);
}

/****************************************************************************/
/***   Static                                                             ***/
/****************************************************************************/

TEST(StaticArray, InlineStorage)
{
  sStaticArray<int, 4> a;
  EXPECT_EQ(a.Alloc, 4);
  EXPECT_EQ(a.Used, 0);
  EXPECT_GE(sPtr(a.Data), sPtr(&a));
  EXPECT_LT(sPtr(a.Data), sPtr(&a) + sizeof(a));
  a.HintSize(4);
  AddRange(a, 1, 4);
  EXPECT_EQ(Contents(a), (std::vector<int>{1, 2, 3, 4}));
  a.RemAt(2);
  EXPECT_EQ(Contents(a), (std::vector<int>{1, 2, 4}));
  int *data = a.Data;
  a.Reset();
  EXPECT_EQ(a.Used, 0);
  EXPECT_EQ(a.Alloc, 4);
  EXPECT_EQ(a.Data, data);
  AddRange(a, 5, 4);
  EXPECT_EQ(Contents(a), (std::vector<int>{5, 6, 7, 8}));
}

TEST(StaticArrayDeathTest, Limits)
{
  EXPECT_EXIT(
      {
        Static4 a;
        a.HintSize(5);
      },
      testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT(
      {
        Static4 a;
        AddRange(a, 0, 5);
      },
      testing::ExitedWithCode(1), kCheckFailed);
}

/****************************************************************************/
/***   Index checks                                                       ***/
/****************************************************************************/

TEST(ArrayDeathTest, EveryIndexIsChecked)
{
  EXPECT_EXIT(
      {
        sDynamicArray<int> a;
        AddRange(a, 0, 3);
        a.RemAt(3);
      },
      testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT(
      {
        sDynamicArray<int> a;
        AddRange(a, 0, 3);
        a.RemAt(-1);
      },
      testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT(
      {
        sBoundedArray<int> a(8);
        AddRange(a, 0, 3);
        (void)a[3];   // inside the capacity, past the used count
      },
      testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT(
      {
        Static4 a;
        const sArray<int> &c = a;
        (void)c[0];
      },
      testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT(
      {
        sDynamicArray<int> a;
        (void)a.GetTail();
      },
      testing::ExitedWithCode(1), kCheckFailed);
}

TEST(ArrayDeathTest, AddTailFromOwnStorage)
{
  // fatal even when there is room, since a grow could move the element away
  EXPECT_EXIT(
      {
        sDynamicArray<int> a;
        a.Resize(10);
        AddRange(a, 0, 3);
        a.AddTail(a[1]);
      },
      testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT(
      {
        sBoundedArray<int> a(4);
        AddRange(a, 0, 2);
        a.AddTail(a.Data[3]);   // unused but inside the storage
      },
      testing::ExitedWithCode(1), kCheckFailed);
}

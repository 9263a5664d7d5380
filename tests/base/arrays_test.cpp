#include "common/check.hpp"
#include "base/arrays.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// An element that counts the live copies of itself.
struct Tracked
{
  static inline int Live = 0;
  int Value;

  Tracked() : Value(-1) { Live++; }
  Tracked(int v) : Value(v) { Live++; }
  Tracked(const Tracked &o) : Value(o.Value) { Live++; }
  Tracked &operator=(const Tracked &o) { Value = o.Value; return *this; }
  ~Tracked() { Live--; }
};

using Static4 = sStaticArray<int, 4>;

// Works on any kind of array through the shared interface.
void AddRange(sArray<int> &a, int from, int count)
{
  for(int n = 0; n < count; n++)
    a.AddTail(from + n);
}

}

/****************************************************************************/
/***   Bounded                                                            ***/
/****************************************************************************/

TEST(BoundedArrayDeathTest, Overflow)
{
  EXPECT_EXIT({ sBoundedArray<int> a(4); AddRange(a, 0, 5); }, testing::ExitedWithCode(1),
              "Overflow! Alloc: 4 Used: 4 Added: 1");
  EXPECT_EXIT({ sBoundedArray<int> a(4); a.AddTail(1); a.AddMany(4); }, testing::ExitedWithCode(1),
              "Overflow! Alloc: 4 Used: 1 Added: 4");
  // an array whose capacity was never set has no room at all
  EXPECT_EXIT({ sBoundedArray<int> a; a.AddTail(1); }, testing::ExitedWithCode(1),
              "Overflow! Alloc: 0 Used: 0 Added: 1");
}

/****************************************************************************/
/***   Element construction and storage                                   ***/
/****************************************************************************/

TEST(ArrayElements, DynamicResizeCopiesAndDestroysTheOld)
{
  Tracked::Live = 0;
  {
    sDynamicArray<Tracked> a;
    for(int n = 0; n < 9; n++)
    {
      a.AddTail(Tracked(n));
      EXPECT_EQ(Tracked::Live, a.Alloc);
    }
    for(int n = 0; n < 9; n++)
      EXPECT_EQ(a[n].Value, n);
    a.RemAt(4);
    EXPECT_EQ(a[4].Value, 5);
    EXPECT_EQ(a[7].Value, 8);
    a.Reset();
    EXPECT_EQ(Tracked::Live, 0);
    EXPECT_EQ(a.Data, nullptr);
    a.AddTail(Tracked(42));
    EXPECT_EQ(a[0].Value, 42);
  }
  EXPECT_EQ(Tracked::Live, 0);
}

/****************************************************************************/
/***   Index checks                                                       ***/
/****************************************************************************/

TEST(ArrayDeathTest, EveryIndexIsChecked)
{
  EXPECT_EXIT({ sDynamicArray<int> a; AddRange(a, 0, 3); a.RemAt(3); }, testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT({ sDynamicArray<int> a; AddRange(a, 0, 3); a.RemAt(-1); }, testing::ExitedWithCode(1), kCheckFailed);
  // inside the capacity, past the used count
  EXPECT_EXIT({ sBoundedArray<int> a(8); AddRange(a, 0, 3); (void)a[3]; }, testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT({ Static4 a; const sArray<int> &c = a; (void)c[0]; }, testing::ExitedWithCode(1), kCheckFailed);
  EXPECT_EXIT({ sDynamicArray<int> a; (void)a.GetTail(); }, testing::ExitedWithCode(1), kCheckFailed);
}

TEST(ArrayDeathTest, AddTailFromOwnStorage)
{
  // fatal even when there is room, since a grow could move the element away
  EXPECT_EXIT({ sDynamicArray<int> a; a.Resize(10); AddRange(a, 0, 3); a.AddTail(a[1]); }, testing::ExitedWithCode(1),
              kCheckFailed);
  // unused but inside the storage
  EXPECT_EXIT({ sBoundedArray<int> a(4); AddRange(a, 0, 2); a.AddTail(a.Data[3]); }, testing::ExitedWithCode(1),
              kCheckFailed);
}

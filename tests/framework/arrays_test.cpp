#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "framework/arrays.h"
#include "framework/tstring.h"
#include "tests/framework/framework_test_env.h"

namespace {

// The growth rule's products are single-precision: the constant 1.05f lies
// just below 1.05, and only a product rounded to single precision gives
// 10,500 for 10,000 (a wider product truncates to 10,499).
TEST(GrowthPolicy, FixedPointsOfTheRule) {
  struct Case {
    std::int32_t count, expected;
  } cases[] = {{0, 1},        {1, 3},         {2, 4},         {9, 11},         {10, 15},     {11, 16},
               {99, 148},     {100, 125},     {101, 126},     {999, 1248},     {1000, 1150}, {1001, 1151},
               {9999, 11498}, {10000, 10500}, {10001, 10501}, {100000, 104999}};
  for (const Case& c : cases) {
    EXPECT_EQ(TArrayGrowthPolicy::NewCapacity(8, c.count), c.expected) << "count " << c.count;
  }
}

TEST(GrowthPolicy, LargeElementsGrowByOne) {
  EXPECT_EQ(TArrayGrowthPolicy::NewCapacity(100, 0), 1);
  EXPECT_EQ(TArrayGrowthPolicy::NewCapacity(100, 10000), 10001);
  EXPECT_EQ(TArrayGrowthPolicy::NewCapacity(99, 10000), 10500);
}

TEST(GrowthPolicy, AlwaysGrowsAndSaturates) {
  // Truncation never loses the growth, up to where single precision is
  // still finer than 5 per cent.
  for (std::int32_t count = 0; count < 300000; ++count) {
    ASSERT_GT(TArrayGrowthPolicy::NewCapacity(4, count), count) << count;
  }
  EXPECT_EQ(TArrayGrowthPolicy::NewCapacity(4, INT32_MAX - 10), INT32_MAX);
  EXPECT_EQ(TArrayGrowthPolicy::NewCapacity(4, INT32_MAX), INT32_MAX);
  EXPECT_EQ(TArrayGrowthPolicy::NewCapacity(200, INT32_MAX), INT32_MAX);
}

TEST(StringArray, InsertGrowsByTheRule) {
  TStringArray array;
  std::int32_t capacities[12];
  for (int i = 0; i < 12; ++i) {
    array.Insert(TString::FromInt(i), array.Count());
    capacities[i] = array.Capacity();
  }
  const std::int32_t expected[12] = {1, 3, 3, 5, 5, 7, 7, 9, 9, 11, 11, 16};
  for (int i = 0; i < 12; ++i) EXPECT_EQ(capacities[i], expected[i]) << "insert " << i;
  for (int i = 0; i < 12; ++i) EXPECT_TRUE(array[i].Equals(TString::FromInt(i)));
  // Slots beyond the count hold empty strings.
  for (int i = 12; i < array.Capacity(); ++i) EXPECT_TRUE(array[i].IsEmpty());
}

TEST(StringArray, InsertPositionsAndBounds) {
  TStringArray array;
  array.Insert(TString(u"b"), 0);
  array.Insert(TString(u"d"), 1);   // at the count: appends
  array.Insert(TString(u"a"), 0);   // front
  array.Insert(TString(u"c"), 2);   // middle
  array.Insert(TString(u"e"), 99);  // beyond the count: appends
  array.Insert(TString(u"_"), -3);  // before the start: front
  ASSERT_EQ(array.Count(), 6);
  const char16_t* expected[] = {u"_", u"a", u"b", u"c", u"d", u"e"};
  for (int i = 0; i < 6; ++i) EXPECT_TRUE(array[i].EqualsText(expected[i])) << i;

  // Inserting an element of the array itself survives the regrowth.
  TStringArray self(TString(u"x"));
  self.Insert(self[0], 0);
  EXPECT_TRUE(self[0].EqualsText(u"x"));
  EXPECT_TRUE(self[1].EqualsText(u"x"));
}

TEST(StringArray, SetCapacityOnlyGrows) {
  TStringArray array(TString(u"one"), TString(u"two"));
  EXPECT_EQ(array.Capacity(), 2);
  EXPECT_EQ(array.Count(), 2);
  array.SetCapacity(1);
  array.SetCapacity(2);
  EXPECT_EQ(array.Capacity(), 2);
  EXPECT_EQ(array.Count(), 2);
  array.SetCapacity(10);
  EXPECT_EQ(array.Capacity(), 10);
  EXPECT_EQ(array.Count(), 2);
  EXPECT_TRUE(array[1].EqualsText(u"two"));
}

TEST(StringArray, IndexOfIsExact) {
  TStringArray array(TString(u"Alpha"), TString(u"beta"));
  array.Append(TString(u"beta"));
  EXPECT_EQ(array.IndexOf(TString(u"beta")), 1);
  EXPECT_EQ(array.IndexOf(TString(u"alpha")), -1);
  EXPECT_TRUE(array.Contains(TString(u"Alpha")));
  EXPECT_FALSE(array.Contains(TString()));
}

TEST(StringArray, MoveLeavesSourceEmpty) {
  TStringArray array(TString(u"k"));
  TStringArray moved(static_cast<TStringArray&&>(array));
  EXPECT_EQ(array.Count(), 0);
  EXPECT_EQ(array.Capacity(), 0);
  EXPECT_EQ(array.Data(), nullptr);
  ASSERT_EQ(moved.Count(), 1);
  EXPECT_TRUE(moved[0].EqualsText(u"k"));
}

TEST(CharSet, InsertMovesTheTail) {
  TCharSet set(u'b');
  EXPECT_EQ(set.Capacity(), 1);
  set.Insert(u'd', 1);
  set.Insert(u'a', 0);
  set.Insert(u'c', 2);
  ASSERT_EQ(set.Count(), 4);
  EXPECT_EQ(std::memcmp(set.Data(), u"abcd", 8), 0);
  EXPECT_TRUE(set.Contains(u'c'));
  EXPECT_FALSE(set.Contains(u'e'));
}

TEST(FixedArrays, SetSizeKeepsOrDiscards) {
  TByteArray bytes(4);
  EXPECT_EQ(bytes.Size(), 4);
  std::memcpy(bytes.Data(), "abcd", 4);
  bytes.SetSize(4);  // same size: kept
  EXPECT_EQ(std::memcmp(bytes.Data(), "abcd", 4), 0);
  bytes.SetSize(0);
  EXPECT_EQ(bytes.Data(), nullptr);
  EXPECT_EQ(bytes.Size(), 0);
  bytes.SetSize(-5);  // below zero counts as 0
  EXPECT_EQ(bytes.Data(), nullptr);

  TByteArray empty(0);
  EXPECT_EQ(empty.Data(), nullptr);
  EXPECT_EQ(empty.Size(), 0);
}

TEST(FixedArrays, EnsureSizeGrowsKeepingContents) {
  TByteArray bytes(3);
  std::memcpy(bytes.Data(), "xyz", 3);
  bytes.EnsureSize(2);  // not larger: nothing
  EXPECT_EQ(bytes.Size(), 3);
  bytes.EnsureSize(8);
  EXPECT_EQ(bytes.Size(), 8);
  EXPECT_EQ(std::memcmp(bytes.Data(), "xyz", 3), 0);
  bytes.Free();
  EXPECT_EQ(bytes.Size(), 0);

  TIntArray ints(2);
  ints[0] = -7;
  ints[1] = 9;
  ints.Resize(5);
  EXPECT_EQ(ints[0], -7);
  EXPECT_EQ(ints[1], 9);
  TWideCharArray wide(1);
  wide[0] = u'\u00e9';
  wide.EnsureSize(3);
  EXPECT_EQ(wide[0], u'\u00e9');
}

TEST(ArrayAllocator, TagIsTheUndecoratedTypeName) {
  EXPECT_STREQ(TDefaultArrayAllocator<char>::TypeName(), "TDefaultArrayAllocator<char>");
  EXPECT_STREQ(TDefaultArrayAllocator<int>::TypeName(), "TDefaultArrayAllocator<int>");
  EXPECT_STREQ(TDefaultArrayAllocator<TString>::TypeName(), "TDefaultArrayAllocator<TString>");
  // Computed once.
  EXPECT_EQ(TDefaultArrayAllocator<char>::TypeName(), TDefaultArrayAllocator<char>::TypeName());
}

}  // namespace

// DynArray growth and editing, TempString limits, weak references.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/dynArray.h"
#include "core/tempData.h"
#include "core/temp_dir.h"
#include "core/weakRef.h"

namespace {

TEST(DynArray, InsertGrowthDoublesFromEight) {
  DynArray<int> a;
  EXPECT_EQ(0, a.cap);
  a.push(1);
  EXPECT_EQ(8, a.cap);
  for (int i = 2; i <= 8; i++) a.push(i);
  EXPECT_EQ(8, a.cap);
  a.push(9);
  EXPECT_EQ(16, a.cap);

  DynArray<int> b;
  b.append(20, nullptr); // doubling is not enough: num + n + 8
  EXPECT_EQ(28, b.cap);
  for (int v : b) EXPECT_EQ(0, v);
}

TEST(DynArray, ResizeTakesExactlyAndZeroFills) {
  DynArray<int> a;
  a.push(5);
  a.resize(13);
  EXPECT_EQ(13, a.cap);
  EXPECT_EQ(13, a.num);
  EXPECT_EQ(5, a[0]);
  for (int i = 1; i < 13; i++) EXPECT_EQ(0, a[i]);
  a.resize(2);
  EXPECT_EQ(2, a.num);
  EXPECT_EQ(13, a.cap); // shrinking keeps the storage
  a.setCapacity(4);
  EXPECT_EQ(13, a.cap); // never shrinks
  a.clear();
  EXPECT_EQ(0, a.cap);
  EXPECT_EQ(nullptr, a.data);
}

TEST(DynArray, InsertAndRemoveKeepOrder) {
  DynArray<int> a;
  const int src[] = {1, 2, 6, 7};
  a.append(4, src);
  const int mid[] = {3, 4, 5};
  a.insert(2, 3, mid);
  ASSERT_EQ(7, a.num);
  for (int i = 0; i < 7; i++) EXPECT_EQ(i + 1, a[i]);
  a.remove(1, 5);
  ASSERT_EQ(2, a.num);
  EXPECT_EQ(1, a[0]);
  EXPECT_EQ(7, a[1]);
  EXPECT_EQ(7, a.pop());
  EXPECT_EQ(1, a.last());
  EXPECT_EQ(0, a.indexOf(1));
  EXPECT_EQ(-1, a.indexOf(7));
}

TEST(DynArray, InsertingItsOwnElementsSurvivesGrowth) {
  DynArray<int> a;
  for (int i = 0; i < 8; i++) a.push(i);
  a.insert(0, 8, a.data); // the source moves when the array grows
  ASSERT_EQ(16, a.num);
  for (int i = 0; i < 16; i++) EXPECT_EQ(i % 8, a[i]);
  a.push(a[3]);
  EXPECT_EQ(3, a.last());
}

TEST(DynArray, CopiesAreDeepAndMovesTakeTheStorage) {
  DynArray<int> a;
  a.push(1);
  a.push(2);
  DynArray<int> b = a;
  b[0] = 9;
  EXPECT_EQ(1, a[0]);
  DynArray<int> c = static_cast<DynArray<int>&&>(b);
  EXPECT_EQ(nullptr, b.data);
  EXPECT_EQ(9, c[0]);
  a = c;
  EXPECT_EQ(9, a[0]);
}

TEST(DynArrayDeathTest, OutOfRangeEditsAreFatalAssertions) {
  DynArray<int> a;
  a.push(1);
  EXPECT_EXIT(a.remove(0, 2), testing::ExitedWithCode(100), "dynArray\\.h\\([0-9]+\\): failed ASSERT\\(at\\+n<=num\\)");
  EXPECT_EXIT(a.insert(2, 1, nullptr), testing::ExitedWithCode(100), "failed ASSERT\\(at>=0 && at<=num\\)");
  EXPECT_EXIT(a.resize(-1), testing::ExitedWithCode(100), "failed ASSERT\\(n>=0\\)");
  DynArray<int> empty;
  EXPECT_EXIT(empty.last(), testing::ExitedWithCode(100), "failed ASSERT\\(num>0\\)");
}

TEST(TempString, CopiesUpToCapacityMinusOne) {
  TempString<8> s("1234567");
  EXPECT_STREQ("1234567", s);
  s.assign(nullptr);
  EXPECT_STREQ("", s);
  s.assign("abcdef", 3); // an explicit length shorter than the text is terminated there
  EXPECT_STREQ("abc", s);
  EXPECT_EQ(3, s.length());
  s.append("de");
  EXPECT_STREQ("abcde", s);
  s.format("%d-%s", 12, "x");
  EXPECT_STREQ("12-x", s.c_str());
  TempString<8> copy = s;
  EXPECT_STREQ("12-x", copy);
}

TEST(TempStringDeathTest, OverflowIsTheFatalAssertion) {
  EXPECT_EXIT(TempString<4>("abcd"), testing::ExitedWithCode(100), "tempData\\.h\\([0-9]+\\): failed ASSERT\\(l<BS\\)");
  EXPECT_EXIT(
      {
        TempString<4> s("abc");
        s.append("d");
      },
      testing::ExitedWithCode(100), "failed ASSERT\\(l<BS\\)");
  EXPECT_EXIT(TempString<260>(std::string(260, 'p').c_str()), testing::ExitedWithCode(100), "l<BS");
}

struct Thing : WeakRefTarget {
  int value = 0;
};

TEST(WeakRef, DestroyingTheTargetClearsEveryReference) {
  WeakRefNode nodes[3];
  {
    Thing t;
    for (WeakRefNode& n : nodes) {
      n.target = &t;
      t.attachWeakRef(&n);
    }
    EXPECT_EQ(&nodes[2], t.weakRefHead); // newest first
    EXPECT_EQ(3, t.countWeakRefs());
  }
  for (WeakRefNode& n : nodes) {
    EXPECT_EQ(nullptr, n.target);
    EXPECT_EQ(nullptr, n.prev);
    EXPECT_EQ(nullptr, n.next);
  }
  Thing other;
  other.detachWeakRef(&nodes[0]); // a dead node: nothing to unlink
  EXPECT_EQ(nullptr, other.weakRefHead);
}

TEST(WeakRef, DetachKeepsTheRingIntact) {
  Thing t;
  WeakRefNode a, b, c;
  for (WeakRefNode* n : {&a, &b, &c}) {
    n->target = &t;
    t.attachWeakRef(n);
  }
  t.detachWeakRef(&c); // the head: moves to the next node
  EXPECT_EQ(&b, t.weakRefHead);
  EXPECT_EQ(nullptr, c.target);
  t.detachWeakRef(&a);
  EXPECT_EQ(1, t.countWeakRefs());
  EXPECT_EQ(&b, b.next);
  EXPECT_EQ(&b, b.prev);
  t.detachWeakRef(&b);
  EXPECT_EQ(nullptr, t.weakRefHead);
}

TEST(WeakRef, TypedReferenceReadsNullAfterTheObjectDies) {
  WeakRef<Thing> r1, r3;
  {
    Thing t;
    t.value = 5;
    r1 = &t;
    WeakRef<Thing> r2(&t);
    r3 = r2;
    EXPECT_EQ(5, r1->value);
    EXPECT_EQ(3, t.countWeakRefs());
    Thing copy = t; // a copy is a new object with no references
    EXPECT_EQ(0, copy.countWeakRefs());
  }
  EXPECT_FALSE(r1);
  EXPECT_EQ(nullptr, r3.get());
}

TEST(WeakRefDeathTest, AttachingALinkedNodeIsFatal) {
  Thing t;
  WeakRefNode n;
  n.target = &t;
  t.attachWeakRef(&n);
  EXPECT_EXIT(t.attachWeakRef(&n), testing::ExitedWithCode(100), "failed ASSERT\\(ref->prev==NULL\\)");
  Thing other;
  WeakRefNode m;
  EXPECT_EXIT(other.attachWeakRef(&m), testing::ExitedWithCode(100), "failed ASSERT\\(ref->target==this\\)");
  t.detachWeakRef(&n);
}

} // namespace

// VxArray and VxList: operations, growth arithmetic, errors and the lock.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "containers/VxArray.h"
#include "containers/VxList.h"
#include "support/Hooks.h"

namespace {

typedef VxArray<int*> PtrArray;
int* P(intptr_t n) { return reinterpret_cast<int*>(n); }
typedef std::vector<int*> Items;
Items Contents(PtrArray& a) {
    Items out;
    for (int i = 0; i < a.GetSize(); ++i) out.push_back(a[i]);
    return out;
}

TEST(VxArray, FirstAddAllocatesTheGrowByAndTheNextStepAddsIt) {
    PtrArray a;
    a.SetSize(0, 500);
    EXPECT_EQ(0, a.Add(P(1)));
    EXPECT_EQ(500, a.GetCapacity());
    EXPECT_EQ(1, a.GetSize());
    for (int i = 1; i < 500; ++i) a.Add(P(i + 1));
    EXPECT_EQ(500, a.GetCapacity());
    a.Add(P(501));
    EXPECT_EQ(1000, a.GetCapacity());
    EXPECT_EQ(501, a.GetSize());
    // Many more steps (the array grows by realloc, in place where it can)
    // keep every element where it was.
    for (int i = 501; i < 200000; ++i) a.Add(P(i + 1));
    for (int i = 0; i < 200000; ++i) ASSERT_EQ(P(i + 1), a[i]) << i;
}

TEST(VxArray, AutomaticGrowthIsAnEighthBetween4And1024) {
    struct Case {
        int size, expected;
    } cases[] = {{100, 112}, {16, 20}, {10000, 11024}, {3, 7}};
    for (const Case& c : cases) {
        PtrArray a;
        a.SetSize(c.size);
        ASSERT_EQ(c.size, a.GetCapacity());
        a.Add(P(1));
        EXPECT_EQ(c.expected, a.GetCapacity()) << "size " << c.size;
    }
}

TEST(VxArray, SetSizeZeroFreesAndALaterAddAllocatesAgain) {
    PtrArray a;
    a.SetSize(0, 500);
    a.Add(P(1));
    a.SetSize(0);
    EXPECT_EQ(0, a.GetCapacity());
    EXPECT_EQ(500, a.GetGrowBy());
    a.Add(P(2));
    EXPECT_EQ(500, a.GetCapacity());

    PtrArray automatic;
    automatic.Add(P(1));
    EXPECT_EQ(1, automatic.GetCapacity());
}

TEST(VxArray, GrowingAndShrinkingWithinTheCapacityNullsNewSlots) {
    PtrArray a;
    a.SetSize(4);
    a.SetAt(3, P(9));
    a.SetSize(2);
    EXPECT_EQ(4, a.GetCapacity());
    a.SetSize(4);
    EXPECT_EQ(nullptr, a[3]);
}

TEST(VxArray, InsertAtInsideMovesTheRestUpAndBeyondTheEndFillsTheGapWithNulls) {
    PtrArray a;
    for (int i = 0; i < 4; ++i) a.Add(P(i + 1));
    a.InsertAt(1, P(9), 2);
    EXPECT_EQ((Items{P(1), P(9), P(9), P(2), P(3), P(4)}), Contents(a));
    a.InsertAt(8, P(7), 2);
    EXPECT_EQ((Items{P(1), P(9), P(9), P(2), P(3), P(4), nullptr, nullptr, P(7), P(7)}), Contents(a));
}

TEST(VxArray, RemoveAtMovesTheRestDownAndKeepsTheStorage) {
    PtrArray a;
    for (int i = 0; i < 5; ++i) a.Add(P(i + 1));
    int capacity = a.GetCapacity();
    a.RemoveAt(1, 2);
    EXPECT_EQ((Items{P(1), P(4), P(5)}), Contents(a));
    a.RemoveAt(0, 0);
    EXPECT_EQ(3, a.GetSize());
    a.RemoveAt(0, 3);
    EXPECT_EQ(0, a.GetSize());
    EXPECT_EQ(capacity, a.GetCapacity());
}

TEST(VxArray, OutOfRangeArgumentsThrowInvalidArg) {
    PtrArray a;
    for (int i = 0; i < 3; ++i) a.Add(P(i + 1));
    EXPECT_THROW(a.RemoveAt(1, 3), VxInvalidArgError);
    EXPECT_THROW(a.RemoveAt(-1, 1), VxInvalidArgError);
    EXPECT_THROW(a.RemoveAt(0, -1), VxInvalidArgError);
    EXPECT_THROW(a.RemoveAt(1, 0x7FFFFFFF), VxInvalidArgError);
    EXPECT_THROW(a.SetAt(3, P(1)), VxInvalidArgError);
    EXPECT_THROW(a.GetAt(-1), VxInvalidArgError);
    EXPECT_THROW(a.InsertAt(0, P(1), 0), VxInvalidArgError);
    EXPECT_THROW(a.InsertAt(-1, P(1)), VxInvalidArgError);
    EXPECT_THROW(a.InsertAt(1, P(1), 0x7FFFFFFF), VxInvalidArgError);
    EXPECT_THROW(a.SetSize(-1), VxInvalidArgError);
    EXPECT_THROW(a.SetAtGrow(-1, P(1)), VxInvalidArgError);
    a.SetAtGrow(3, P(4));
    EXPECT_EQ((Items{P(1), P(2), P(3), P(4)}), Contents(a));
}

TEST(VxArray, FailedGrowthThrowsOutOfMemoryAndKeepsTheElements) {
    qvtest::AllocFailureGuard guard;
    PtrArray a;
    a.Add(P(1));
    qv::SetAllocFailure(1);
    EXPECT_THROW(a.Add(P(2)), VxOutOfMemoryError);
    EXPECT_EQ(Items{P(1)}, Contents(a));
    a.Add(P(2));  // the hook fails one allocation only
    EXPECT_EQ((Items{P(1), P(2)}), Contents(a));
}

typedef VxList<int*> PtrList;

Items Contents(PtrList& list) {
    Items out;
    for (POSITION p = list.GetHeadPosition(); p;) out.push_back(list.GetNext(p));
    return out;
}

// An empty list finds nothing and refuses RemoveHead.
TEST(VxList, FindYieldsTheEarlierDuplicateThenTheLater) {
    PtrList list;
    EXPECT_EQ(nullptr, list.Find(P(1)));
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_THROW(list.RemoveHead(), VxInvalidArgError);
    list.AddTail(P(1));
    POSITION first = list.AddTail(P(2));
    list.AddTail(P(3));
    POSITION second = list.AddTail(P(2));
    EXPECT_EQ(first, list.Find(P(2)));
    EXPECT_EQ(second, list.Find(P(2), first));
    list.RemoveAt(first);
    EXPECT_EQ(second, list.Find(P(2)));
    EXPECT_EQ((Items{P(1), P(3), P(2)}), Contents(list));
}

TEST(VxList, NodesAreRecycledAcrossManyAddsAndRemoves) {
    PtrList list;
    for (int i = 0; i < 25; ++i) list.AddTail(P(i));
    EXPECT_EQ(25, list.GetCount());
    EXPECT_EQ(P(0), list.RemoveHead());
    list.RemoveAt(list.Find(P(24)));
    list.AddTail(P(99));
    Items contents = Contents(list);
    ASSERT_EQ(24u, contents.size());
    EXPECT_EQ(P(1), contents.front());
    EXPECT_EQ(P(99), contents.back());
    while (!list.IsEmpty()) list.RemoveHead();
    list.AddTail(P(5));
    EXPECT_EQ(Items{P(5)}, Contents(list));
    list.RemoveAll();
    EXPECT_EQ(0, list.GetCount());
    EXPECT_EQ(nullptr, list.GetHeadPosition());
}

TEST(VxList, FailedBlockAllocationThrowsOutOfMemory) {
    qvtest::AllocFailureGuard guard;
    PtrList list;
    qv::SetAllocFailure(1);
    EXPECT_THROW(list.AddTail(P(1)), VxOutOfMemoryError);
    EXPECT_TRUE(list.IsEmpty());
    list.AddTail(P(2));
    EXPECT_EQ(1, list.GetCount());
}

TEST(ContainerLock, IsReentrantAndExcludesOtherThreads) {
    PtrArray a;
    a.Lock();
    a.Lock();  // the same thread takes it again
    std::atomic<bool> otherGotIt{false};
    std::thread other([&] {
        a.Lock();
        otherGotIt = true;
        a.Unlock();
    });
    a.Add(P(1));
    a.Unlock();
    EXPECT_FALSE(otherGotIt) << "still held once";
    a.Unlock();
    other.join();
    EXPECT_TRUE(otherGotIt);
}

}  // namespace

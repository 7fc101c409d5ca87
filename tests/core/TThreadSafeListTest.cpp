#include "core/TThreadSafeList.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "tests/support/AllocationCounter.h"

namespace {

// An item that counts its live copies, so a test can tell that every node was destroyed
// exactly once (a leak leaves copies alive; a double free is caught by the sanitizers).
struct Item {
    static std::atomic<long> sLive;

    Item() { sLive.fetch_add(1, std::memory_order_relaxed); }
    Item(int a, int b) : proc(a), refCon(b) { sLive.fetch_add(1, std::memory_order_relaxed); }
    Item(const Item& other) : proc(other.proc), refCon(other.refCon) {
        sLive.fetch_add(1, std::memory_order_relaxed);
    }
    Item& operator=(const Item&) = default;
    ~Item() { sLive.fetch_sub(1, std::memory_order_relaxed); }
    bool operator==(const Item& other) const {
        return proc == other.proc && refCon == other.refCon;
    }

    int proc = 0;
    int refCon = 0;
};
std::atomic<long> Item::sLive{0};

using List = TThreadSafeList<Item>;

std::vector<int> Procs(const List& list) {
    std::vector<int> out;
    for (auto it = list.begin(); it != list.end(); ++it) out.push_back((*it).proc);
    return out;
}

// Nodes the pool can hand out before a new one must be allocated.
std::size_t PooledNodes(List& list) {
    std::vector<List::Node*> taken;
    for (;;) {
        marvex::test::CountAllocations count;
        List::Node* node = list.AllocNode();
        const bool fresh = count.count() > 0;
        taken.push_back(node);
        if (fresh) break;
    }
    const std::size_t pooled = taken.size() - 1;
    for (List::Node* node : taken) list.FreeNode(node);
    return pooled;
}

TEST(TThreadSafeList, AppliesRequestsInQueueOrderAtUpdateAndDestructionFreesEveryNode) {
    const long before = Item::sLive.load();
    {
        List list;
        list.update();  // nothing queued
        list.deferred_add(Item(1, 0));
        list.deferred_add(Item(2, 0));
        list.deferred_add(Item(3, 0));
        list.deferred_add(Item(1, 0));  // equal to an entry: not added twice
        list.deferred_add(Item(1, 7));  // same procedure, other context: a different item
        EXPECT_TRUE(Procs(list).empty()) << "requests must wait for update()";
        list.update();
        EXPECT_EQ(Procs(list), (std::vector<int>{1, 2, 3, 1}));
        EXPECT_EQ(PooledNodes(list), 1u);

        list.deferred_remove(Item(1, 0));  // takes the pooled node
        list.deferred_remove(Item(9, 0));  // absent: only its request is pooled
        list.deferred_add(Item(5, 0));     // added and removed before the update: no trace
        list.deferred_remove(Item(5, 0));
        list.update();
        EXPECT_EQ(Procs(list), (std::vector<int>{2, 3, 1}));
        EXPECT_EQ((*++ ++list.begin()).refCon, 7);
        EXPECT_EQ(PooledNodes(list), 5u);
        list.deferred_add(Item(9, 0));  // left queued for the destructor
    }
    EXPECT_EQ(Item::sLive.load(), before) << "active, pooled and queued nodes are all freed";
}

}  // namespace

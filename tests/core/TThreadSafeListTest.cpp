#include "core/TThreadSafeList.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// An item that counts its live copies, so a test can tell that every node was destroyed
// exactly once (a leak leaves copies alive; a double free is caught by the sanitizers).
struct Item {
    static inline long sLive = 0;
    Item(int p, int r = 0) : proc(p), refCon(r) { ++sLive; }
    Item() : Item(0) {}
    Item(const Item& other) : Item(other.proc, other.refCon) {}
    Item& operator=(const Item&) = default;
    ~Item() { --sLive; }
    bool operator==(const Item& other) const = default;
    int proc, refCon;
};

using List = TThreadSafeList<Item>;

std::vector<int> Procs(const List& list) {
    std::vector<int> out;
    for (auto it = list.begin(); it != list.end(); ++it) out.push_back((*it).proc);
    return out;
}

// The pool's reuse of nodes (no allocation at update) is proven by the render pipeline's
// allocation count; this checks the order of requests and that every node is freed.
TEST(TThreadSafeList, AppliesRequestsInQueueOrderAtUpdateAndDestructionFreesEveryNode) {
    const long before = Item::sLive;
    {
        List list;
        list.update();  // nothing queued
        for (Item item : {Item(1), Item(2), Item(3), Item(1), Item(1, 7)}) list.deferred_add(item);
        EXPECT_TRUE(Procs(list).empty()) << "requests must wait for update()";
        list.update();
        EXPECT_EQ(Procs(list), (std::vector<int>{1, 2, 3, 1})) << "an equal item is added once";

        list.deferred_remove(Item(1));
        list.deferred_remove(Item(9));  // absent
        list.deferred_add(Item(5));     // added and removed before the update: no trace
        list.deferred_remove(Item(5));
        list.update();
        EXPECT_EQ(Procs(list), (std::vector<int>{2, 3, 1}));
        EXPECT_EQ((*++ ++list.begin()).refCon, 7);
        list.deferred_add(Item(9));  // left queued for the destructor
    }
    EXPECT_EQ(Item::sLive, before) << "active, pooled and queued nodes are all freed";
}

}  // namespace

#pragma once

#include <cstdint>
#include <new>

#include "core/TAtomicStack.h"

// A list that one thread (the render thread) walks while any number of other threads ask for
// items to be added or removed. Requests are queued on a lock-free stack and applied by
// `update()` on the walking thread, which is the only thread that ever touches the list itself.
// Nodes are recycled through a lock-free pool: `update()`, `FreeNode` and the walk neither
// allocate nor free; only `AllocNode` on a requesting thread allocates, when the pool is empty.
//
// The item type needs a copy constructor and `operator==`. The list never holds two equal items
// and keeps items in the order they were first added.
template <class T>
class TThreadSafeList {
public:
    enum EventKind : std::uint32_t { kAdd = 0, kRemove = 1 };

    class Node {
    public:
        Node* get_next() const { return mNext; }
        void set_next(Node* next) { mNext = next; }

        Node* mNext = nullptr;
        std::uint32_t mKind = kAdd;
        T mItem;
    };

    class iterator {
    public:
        iterator() = default;
        explicit iterator(Node* node) : mNode(node) {}
        T& operator*() const { return mNode->mItem; }
        T* operator->() const { return &mNode->mItem; }
        iterator& operator++() {
            mNode = mNode->get_next();
            return *this;
        }
        bool operator==(const iterator& other) const { return mNode == other.mNode; }
        bool operator!=(const iterator& other) const { return mNode != other.mNode; }

    private:
        Node* mNode = nullptr;
    };

    using NodeStack = TAtomicStack<Node>;

    TThreadSafeList() = default;
    TThreadSafeList(const TThreadSafeList&) = delete;
    TThreadSafeList& operator=(const TThreadSafeList&) = delete;

    ~TThreadSafeList() {
        free_all(mActive);
        free_all(mPending);
        free_all(mFreePool);
    }

    // [control, lock-free] Allocates a node when the pool is empty.
    void deferred_add(const T& item) { queue(kAdd, item); }

    // [control, lock-free] Allocates a node when the pool is empty.
    void deferred_remove(const T& item) { queue(kRemove, item); }

    // [render] Applies every queued request in the order it was queued.
    void update() {
        Node* request = mPending.pop_all();
        if (request == nullptr) return;

        // The pending stack is newest first; reversing it gives queue order.
        NodeStack ordered;
        while (request != nullptr) {
            Node* next = request->get_next();
            ordered.push_NA(request);
            request = next;
        }

        while ((request = ordered.pop_NA()) != nullptr) {
            if (request->mKind == kAdd)
                apply_add(request);
            else
                apply_remove(request);
        }
    }

    // [render]
    iterator begin() const { return iterator(mActive.head()); }
    // [render]
    iterator end() const { return iterator(nullptr); }

    // [control, lock-free] A node from the pool, or a new one.
    Node* AllocNode() {
        Node* node = mFreePool.pop_atomic();
        if (node != nullptr) return node;
        return new Node();
    }

    // [render] Returns a node to the pool.
    void FreeNode(Node* node) { mFreePool.push_atomic(node); }

private:
    void queue(std::uint32_t kind, const T& item) {
        Node* node = AllocNode();
        node->mKind = kind;
        node->mItem = item;
        mPending.push_atomic(node);
    }

    void apply_add(Node* request) {
        Node* last = nullptr;
        for (Node* entry = mActive.head(); entry != nullptr; entry = entry->get_next()) {
            if (entry->mItem == request->mItem) {
                FreeNode(request);
                return;
            }
            last = entry;
        }
        request->set_next(nullptr);
        if (last == nullptr)
            mActive.set_head_NA(request);
        else
            last->set_next(request);
    }

    void apply_remove(Node* request) {
        Node* previous = nullptr;
        for (Node* entry = mActive.head(); entry != nullptr; entry = entry->get_next()) {
            if (entry->mItem == request->mItem) {
                if (previous == nullptr)
                    mActive.set_head_NA(entry->get_next());
                else
                    previous->set_next(entry->get_next());
                FreeNode(entry);
                break;
            }
            previous = entry;
        }
        FreeNode(request);
    }

    static void free_all(NodeStack& stack) {
        while (Node* node = stack.pop_NA()) delete node;
    }

    NodeStack mActive;    // the list; render thread only
    NodeStack mPending;   // queued requests
    NodeStack mFreePool;  // spare nodes
};

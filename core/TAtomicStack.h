#pragma once

#include <atomic>

// An intrusive lock-free stack of nodes linked through their own next field (`get_next` /
// `set_next`). The `_NA` operations are for a single thread that owns the stack outright
// ([one thread]); the `_atomic` operations and `pop_all` may run on any number of threads at
// once ([any thread]).
//
// Every change of the head is a compare-exchange with sequentially consistent ordering: the
// store of a node's next link happens before the exchange that publishes the node, and the
// exchange that takes a chain happens before its links are read, so nodes travel between
// threads without data races. `pop_atomic` never swaps the head for its successor (which would
// need the successor of a node another thread may already have taken); it takes the whole
// chain and gives the rest back, so the stack is free of the ABA problem.
template <class T>
class TAtomicStack {
public:
    TAtomicStack() = default;
    TAtomicStack(const TAtomicStack&) = delete;
    TAtomicStack& operator=(const TAtomicStack&) = delete;

    // [one thread]
    void push_NA(T* item) {
        item->set_next(head());
        mHead.store(item, std::memory_order_relaxed);
    }

    // [one thread]
    T* pop_NA() {
        T* top = head();
        if (top != nullptr) mHead.store(top->get_next(), std::memory_order_relaxed);
        return top;
    }

    // [one thread] The top node; null when empty.
    T* head() const { return mHead.load(std::memory_order_relaxed); }

    // [one thread] Replaces the head link, for owners that relink the chain themselves.
    void set_head_NA(T* item) { mHead.store(item, std::memory_order_relaxed); }

    // [any thread]
    bool empty() const { return mHead.load(std::memory_order_seq_cst) == nullptr; }

    // [any thread] Stores `newValue` when the head still holds `oldValue`; full barrier.
    bool compare_and_swap(T* oldValue, T* newValue) {
        return mHead.compare_exchange_strong(oldValue, newValue, std::memory_order_seq_cst);
    }

    // [any thread]
    void push_atomic(T* item) {
        T* top = mHead.load(std::memory_order_seq_cst);
        do {
            item->set_next(top);
        } while (!mHead.compare_exchange_weak(top, item, std::memory_order_seq_cst));
    }

    // [any thread] Pushes a null-terminated chain, keeping its order on top of the stack.
    void push_multiple_atomic(T* chain) {
        if (chain == nullptr) return;
        T* last = chain;
        while (last->get_next() != nullptr) last = last->get_next();
        T* top = mHead.load(std::memory_order_seq_cst);
        do {
            last->set_next(top);
        } while (!mHead.compare_exchange_weak(top, chain, std::memory_order_seq_cst));
    }

    // [any thread] Takes the whole chain, top first; null when empty.
    T* pop_all() { return mHead.exchange(nullptr, std::memory_order_seq_cst); }

    // [any thread] The top node or null. The node's next link is left as it was.
    T* pop_atomic() {
        T* top = pop_all();
        if (top != nullptr && top->get_next() != nullptr) push_multiple_atomic(top->get_next());
        return top;
    }

private:
    std::atomic<T*> mHead{nullptr};
};

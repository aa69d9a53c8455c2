#pragma once

#include <atomic>

// Working memory that many objects use in turn instead of keeping a copy
// each: what a resynthesis engine needs only while it makes a frame (the
// spectrum, the transformed frame, the interpolated column) is the same for
// every engine, and only one engine renders at a time on a given thread.
//
// The pool is process-wide and lock-free. A Lease takes a free scratch of
// the asked-for size and gives it back when it ends, so two threads that
// render at the same moment never write the same memory: each takes its own.
// Prepare makes the first scratch of a size where engines are built, so the
// audio thread, the only renderer in the instrument, always finds one free
// and never allocates. Only a thread that leases while every scratch of its
// size is taken (a second renderer, in tests or tools) makes a new one, once:
// the pool keeps it for the next time. Scratches live until the process
// ends, as a renderer may outlive the objects that asked for them.
//
// T is constructed from the size and must be usable by whoever leases it
// whatever the previous user left in it.
template <typename T>
class ScratchPool {
    struct Node {
        explicit Node(int size) : size(size), item(size) {}
        const int size;
        std::atomic<bool> busy{false};
        T item;
        Node* next = nullptr;
    };

public:
    // Makes sure a scratch of the size exists; allocates the first time, so
    // it belongs where the users of the scratch are built.
    static void Prepare(int size)
    {
        if (Find(size) == nullptr)
            Push(new Node(size));
    }

    // Sole use of a scratch of the size while the lease lasts.
    class Lease {
    public:
        explicit Lease(int size) : _node(Claim(size)) {}
        virtual ~Lease() { _node->busy.store(false, std::memory_order_release); }
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;

        T* operator->() const { return &_node->item; }
        T& operator*() const { return _node->item; }

    private:
        Node* _node;
    };

private:
    static Node* Find(int size)
    {
        for (Node* node = _head.load(std::memory_order_acquire); node != nullptr; node = node->next)
            if (node->size == size)
                return node;
        return nullptr;
    }

    static Node* Claim(int size)
    {
        for (Node* node = _head.load(std::memory_order_acquire); node != nullptr; node = node->next) {
            if (node->size == size && !node->busy.load(std::memory_order_relaxed) &&
                !node->busy.exchange(true, std::memory_order_acquire))
                return node;
        }
        // Every scratch of the size is in use by another thread.
        Node* node = new Node(size);
        node->busy.store(true, std::memory_order_relaxed);
        Push(node);
        return node;
    }

    static void Push(Node* node)
    {
        node->next = _head.load(std::memory_order_relaxed);
        while (!_head.compare_exchange_weak(node->next, node, std::memory_order_release, std::memory_order_relaxed)) {
        }
    }

    // Never freed: see above.
    static inline std::atomic<Node*> _head{nullptr};
};

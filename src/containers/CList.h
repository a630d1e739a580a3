// CList<T>: an ordered, doubly linked list of plain values whose nodes come
// from blocks of a fixed number of nodes and are recycled through a free
// chain. Positions stay valid across other insertions and removals. Not
// synchronised.
#pragma once

#include "ContainerErrors.h"
#include "platform/Alloc.h"

struct __POSITION {};
typedef __POSITION* POSITION;

template <class T>
class CList {
    struct Node {
        Node* next;
        Node* prev;
        T value;
    };
    struct Block {
        Block* next;  // nodes follow the header
    };

public:
    explicit CList(int blockSize = 10) : blockSize_(blockSize < 1 ? 1 : blockSize) {}
    ~CList() { FreeBlocks(); }
    CList(const CList&) = delete;
    CList& operator=(const CList&) = delete;

    int GetCount() const { return count_; }
    bool IsEmpty() const { return count_ == 0; }
    POSITION GetHeadPosition() const { return ToPosition(head_); }

    // Returns the value at position and advances position (null after the tail).
    T& GetNext(POSITION& position) {
        Node* node = FromPosition(position);
        position = ToPosition(node->next);
        return node->value;
    }
    T& GetAt(POSITION position) { return FromPosition(position)->value; }

    POSITION AddTail(T value) {
        Node* node = NewNode();
        node->value = value;
        node->next = nullptr;
        node->prev = tail_;
        if (tail_)
            tail_->next = node;
        else
            head_ = node;
        tail_ = node;
        ++count_;
        return ToPosition(node);
    }

    // First element equal to value, searching from the head or after start.
    POSITION Find(T value, POSITION start = nullptr) const {
        Node* node = start ? FromPosition(start)->next : head_;
        for (; node; node = node->next)
            if (node->value == value) return ToPosition(node);
        return nullptr;
    }

    void RemoveAt(POSITION position) {
        Node* node = FromPosition(position);
        if (!node) throw VxInvalidArgError();
        (node->prev ? node->prev->next : head_) = node->next;
        (node->next ? node->next->prev : tail_) = node->prev;
        node->next = free_;
        free_ = node;
        if (--count_ == 0) FreeBlocks();
    }

    T RemoveHead() {
        if (!head_) throw VxInvalidArgError();
        T value = head_->value;
        RemoveAt(ToPosition(head_));
        return value;
    }

    void RemoveAll() {
        count_ = 0;
        FreeBlocks();
    }

private:
    static POSITION ToPosition(Node* node) { return reinterpret_cast<POSITION>(node); }
    static Node* FromPosition(POSITION position) { return reinterpret_cast<Node*>(position); }

    Node* NewNode() {
        if (!free_) {
            size_t bytes = 0;
            if (!qv::ArrayBytes(static_cast<size_t>(blockSize_), sizeof(Node), &bytes) ||
                bytes > static_cast<size_t>(-1) - sizeof(Block))
                throw VxOutOfMemoryError();
            auto* block = static_cast<Block*>(qv::MemAlloc(sizeof(Block) + bytes));
            if (!block) throw VxOutOfMemoryError();
            block->next = blocks_;
            blocks_ = block;
            Node* nodes = reinterpret_cast<Node*>(block + 1);
            for (int i = blockSize_ - 1; i >= 0; --i) {
                nodes[i].next = free_;
                free_ = &nodes[i];
            }
        }
        Node* node = free_;
        free_ = node->next;
        return node;
    }

    void FreeBlocks() {
        while (blocks_) {
            Block* next = blocks_->next;
            qv::MemFree(blocks_);
            blocks_ = next;
        }
        head_ = tail_ = free_ = nullptr;
    }

    Node* head_ = nullptr;
    Node* tail_ = nullptr;
    int count_ = 0;
    Node* free_ = nullptr;     // spare nodes
    Block* blocks_ = nullptr;  // every block of nodes, newest first
    int blockSize_;            // nodes per block
};

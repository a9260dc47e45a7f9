// Work that waits for a later frame of the same connection: requests for their
// responses, RTMP connects for their plays. Keyed by connection, oldest first on
// each; holds every outstanding entry up to a memory bound and gives up the
// oldest only beyond it, counting those evictions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <queue>
#include <unordered_map>
#include <vector>

#include "flow.h"

namespace quillnet {

template <typename Entry>
class PendingTable {
public:
    struct Item {
        Flow flow;
        int number; // the lowest number not held by another outstanding entry, from 1
        Entry entry;
        size_t charged = 0; // what the entry keeps besides itself, as last charged
    };

    explicit PendingTable(size_t capacity) : capacity_(capacity) {}

    // A new entry for `flow`, after the ones already waiting on it.
    Item &add(const Flow &flow)
    {
        if (order_.size() >= capacity_)
            evictOldest();
        order_.push_back(Node{Item{flow, takeNumber(), Entry{}, 0}, order_.end()});
        const Position added = std::prev(order_.end());
        const auto [queue, isNew] = byFlow_.try_emplace(flow, Queue{added, added});
        if (!isNew) {
            queue->second.newest->nextOnFlow = added;
            queue->second.newest = added;
        }
        return added->item;
    }

    // The oldest entry waiting on `flow`, or null.
    Item *oldest(const Flow &flow)
    {
        const auto found = byFlow_.find(flow);
        return found == byFlow_.end() ? nullptr : &found->second.oldest->item;
    }

    // The newest entry waiting on `flow`, or null.
    Item *newest(const Flow &flow)
    {
        const auto found = byFlow_.find(flow);
        return found == byFlow_.end() ? nullptr : &found->second.newest->item;
    }

    // The oldest entry of all, or null.
    const Item *oldestOfAll() const { return order_.empty() ? nullptr : &order_.front().item; }

    // The entries waiting on `flow`, oldest first.
    template <typename Visit>
    void forEachOn(const Flow &flow, Visit visit)
    {
        const auto found = byFlow_.find(flow);
        if (found == byFlow_.end())
            return;
        for (Position node = found->second.oldest; node != order_.end(); node = node->nextOnFlow)
            visit(node->item);
    }

    // Removes the oldest entry waiting on `flow`, if any.
    void removeOldest(const Flow &flow)
    {
        const auto found = byFlow_.find(flow);
        if (found == byFlow_.end())
            return;
        const Position node = found->second.oldest;
        releaseNumber(node->item.number);
        bytes_ -= node->item.charged;
        if (node->nextOnFlow == order_.end())
            byFlow_.erase(found);
        else
            found->second.oldest = node->nextOnFlow;
        order_.erase(node);
    }

    void clear()
    {
        order_.clear();
        byFlow_.clear();
        freeNumbers_ = {};
        nextNumber_ = 1;
        evictions_ = 0;
        bytes_ = 0;
    }

    // Records what `item` keeps now, for bytes().
    void charge(Item &item, size_t bytes)
    {
        bytes_ = bytes_ - item.charged + bytes;
        item.charged = bytes;
    }
    // What the entries keep, as charged.
    size_t bytes() const { return bytes_; }

    // Gives up the oldest entry of all, counting it; the table must not be
    // empty. Entries leave only from the front of their connection's queue, so
    // the oldest of all heads its connection's queue.
    void evictOldest()
    {
        removeOldest(order_.front().item.flow);
        ++evictions_;
    }

    size_t size() const { return order_.size(); }
    uint64_t evictions() const { return evictions_; }

    // The outstanding entry holding `number`, or null. A linear search, for inspection.
    const Item *find(int number) const
    {
        for (const Node &node : order_) {
            if (node.item.number == number)
                return &node.item;
        }
        return nullptr;
    }

private:
    // Entries in the order they came, each linked to the next one of its connection.
    struct Node;
    using Position = typename std::list<Node>::iterator;
    struct Node {
        Item item;
        Position nextOnFlow; // the list's end for the newest of its connection
    };
    struct Queue {
        Position oldest;
        Position newest;
    };

    int takeNumber()
    {
        if (freeNumbers_.empty())
            return nextNumber_++;
        const int number = freeNumbers_.top();
        freeNumbers_.pop();
        return number;
    }

    void releaseNumber(int number) { freeNumbers_.push(number); }

    size_t capacity_;
    std::list<Node> order_;
    std::unordered_map<Flow, Queue, FlowHash> byFlow_;
    std::priority_queue<int, std::vector<int>, std::greater<int>> freeNumbers_;
    int nextNumber_ = 1;
    uint64_t evictions_ = 0;
    size_t bytes_ = 0;
};

}

// Work that waits for a later frame of the same connection: requests for their
// responses, RTMP connects for their plays. Keyed by connection, oldest first on
// each; holds every outstanding entry up to a memory bound and gives up the
// oldest only beyond it, counting those evictions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
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
    };

    explicit PendingTable(size_t capacity) : capacity_(capacity) {}

    // A new entry for `flow`, after the ones already waiting on it.
    Item &add(const Flow &flow)
    {
        if (order_.size() >= capacity_)
            evictOldest();
        order_.push_back(Item{flow, takeNumber(), Entry{}});
        const auto item = std::prev(order_.end());
        byFlow_[flow].push_back(item);
        return *item;
    }

    // The oldest entry waiting on `flow`, or null.
    Item *oldest(const Flow &flow)
    {
        const auto found = byFlow_.find(flow);
        return found == byFlow_.end() ? nullptr : &*found->second.front();
    }

    // The entries waiting on `flow`, oldest first.
    template <typename Visit>
    void forEachOn(const Flow &flow, Visit visit)
    {
        const auto found = byFlow_.find(flow);
        if (found == byFlow_.end())
            return;
        for (const auto item : found->second)
            visit(*item);
    }

    // Removes the oldest entry waiting on `flow`, if any.
    void removeOldest(const Flow &flow)
    {
        const auto found = byFlow_.find(flow);
        if (found == byFlow_.end())
            return;
        releaseNumber(found->second.front()->number);
        order_.erase(found->second.front());
        found->second.pop_front();
        if (found->second.empty())
            byFlow_.erase(found);
    }

    void clear()
    {
        order_.clear();
        byFlow_.clear();
        freeNumbers_ = {};
        nextNumber_ = 1;
        evictions_ = 0;
    }

    size_t size() const { return order_.size(); }
    uint64_t evictions() const { return evictions_; }

    // The outstanding entry holding `number`, or null. A linear search, for inspection.
    const Item *find(int number) const
    {
        for (const Item &item : order_) {
            if (item.number == number)
                return &item;
        }
        return nullptr;
    }

private:
    using Position = typename std::list<Item>::iterator;

    // Per connection the oldest entry is also the oldest of the whole table
    // among that connection's, so the table's oldest heads its connection's queue.
    void evictOldest()
    {
        removeOldest(order_.front().flow);
        ++evictions_;
    }

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
    std::list<Item> order_;
    std::unordered_map<Flow, std::deque<Position>, FlowHash> byFlow_;
    std::priority_queue<int, std::vector<int>, std::greater<int>> freeNumbers_;
    int nextNumber_ = 1;
    uint64_t evictions_ = 0;
};

}

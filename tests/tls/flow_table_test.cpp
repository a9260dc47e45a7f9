#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

#include "flow_table.h"

using namespace quillnet;
using namespace quillnet::tls;

namespace {

TEST(FlowTable, EveryFlowLeftIsFoundAfterOthersWereErased)
{
    // Flows that differ in a port alone, both directions, so that probes run through each other's slots.
    std::vector<Flow> flows;
    for (uint16_t i = 0; i < 3000; ++i) {
        const Flow flow{IpAddress::v4({192, 168, 1, 20}), IpAddress::v4({10, 0, 0, 5}),
                        static_cast<uint16_t>(40000 + i), 443};
        flows.push_back(flow);
        flows.push_back(flow.reversed());
    }
    FlowTable table;
    for (uint32_t i = 0; i < flows.size(); ++i)
        table.insert(flows[i], i);
    std::vector<uint32_t> order(flows.size());
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), std::mt19937(7));
    const std::vector<uint32_t> erased(order.begin(), order.begin() + static_cast<ptrdiff_t>(order.size() / 2));
    for (const uint32_t i : erased)
        table.erase(flows[i]);
    for (uint32_t i = 0; i < flows.size(); ++i) {
        const bool gone = std::find(erased.begin(), erased.end(), i) != erased.end();
        ASSERT_EQ(table.find(flows[i]), gone ? std::nullopt : std::optional<uint32_t>(i)) << "flow " << i;
    }
    for (const uint32_t i : order)
        table.erase(flows[i]);
    EXPECT_TRUE(table.empty());
}

}

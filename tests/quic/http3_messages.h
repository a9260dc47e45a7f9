// HTTP/3 as a browser and a server write it, for the tests, the fuzzer's
// seeds and the benchmark: frames, control streams, and header blocks of
// literals alone, which need no encoder stream.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "quic_builder.h"

namespace quic_testing {

using Fields = std::vector<std::pair<std::string, std::string>>;

inline constexpr uint64_t kDataFrame = 0x00;
inline constexpr uint64_t kHeadersFrame = 0x01;

Bytes Http3Frame(uint64_t type, const Bytes &payload);

// A control stream's opening: its type and SETTINGS that allow no dynamic table.
Bytes ControlStreamOpening();

// A HEADERS frame of `fields`, each a literal with a literal name.
Bytes LiteralHeaders(const Fields &fields);

// The type and length of a DATA frame whose `length` bytes of payload follow.
Bytes DataFrameStart(uint64_t length);

}

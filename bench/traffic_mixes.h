// The traffic the benchmarks replay: built frames of typical mixes, TCP
// timestamps on every segment as Linux sends them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace bench {

using Frames = std::vector<std::vector<uint8_t>>;

// 1400-byte segments of a media response, random bytes.
Frames MediaSegments(size_t count, std::mt19937 &random);

// Media segments with a GET and its response every hundred frames.
Frames MediaMix(size_t count, std::mt19937 &random);

// Browsing-like HTTP: a GET and its response every ten frames, the rest body
// segments; every other request is for a media file.
Frames HttpHeavyMix(size_t count, std::mt19937 &random);

// The media mix where one request in ten sends its request line and its other
// headers in two segments.
Frames SplitMix(size_t count, std::mt19937 &random);

// The media mix over IPv6.
Frames Ipv6Mix(size_t count, std::mt19937 &random);

// The media mix with ten thousand requests waiting at every moment: each
// answer is for the request made ten thousand requests earlier.
Frames BusyTableMix(size_t count, std::mt19937 &random);

}

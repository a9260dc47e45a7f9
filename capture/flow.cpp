#include "flow.h"

#include <cstring>

#include <arpa/inet.h>

namespace quillnet {

void FormatIp(const IpAddress &address, char (&text)[kIpTextSize])
{
    const int family = address.version == 6 ? AF_INET6 : AF_INET;
    if (!inet_ntop(family, address.bytes.data(), text, sizeof text))
        text[0] = '\0';
}

std::string IpText(const IpAddress &address)
{
    char text[kIpTextSize];
    FormatIp(address, text);
    return text;
}

std::string UrlHost(const IpAddress &address, uint16_t port, uint16_t defaultPort)
{
    std::string host = address.version == 6 ? "[" + IpText(address) + "]" : IpText(address);
    if (port != defaultPort)
        host += ":" + std::to_string(port);
    return host;
}

namespace {

// An IPv4 address is read as the one word it fills, which its copy in a Flow
// hands straight on; IPv6 as two.
uint64_t addressWord(const IpAddress &address, uint64_t multiplier)
{
    if (address.version != 6) {
        uint32_t word;
        std::memcpy(&word, address.bytes.data(), sizeof word);
        return (word + 1) * multiplier;
    }
    uint64_t high;
    uint64_t low;
    std::memcpy(&high, address.bytes.data(), sizeof high);
    std::memcpy(&low, address.bytes.data() + sizeof high, sizeof low);
    return (high * 0xC2B2AE3D27D4EB4FULL ^ low) * multiplier;
}

}

// Each field by its own odd multiplier, so that the multiplications run side
// by side; MurmurHash3's finaliser then spreads every bit.
size_t FlowHash::operator()(const Flow &flow) const
{
    const uint64_t ports = uint64_t{flow.sourcePort} << 16 | flow.destPort;
    uint64_t hash = addressWord(flow.source, 0x9E3779B97F4A7C15ULL) ^ addressWord(flow.dest, 0x165667B19E3779F9ULL) ^
                    (ports + 1) * 0xD6E8FEB86659FD93ULL;
    hash = (hash ^ hash >> 33) * 0xFF51AFD7ED558CCDULL;
    hash = (hash ^ hash >> 33) * 0xC4CEB9FE1A85EC53ULL;
    return static_cast<size_t>(hash ^ hash >> 33);
}

}

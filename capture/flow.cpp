#include "flow.h"

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

size_t FlowHash::operator()(const Flow &flow) const
{
    // FNV-1a over the fields that tell connections apart.
    uint64_t hash = 1469598103934665603ULL;
    const auto mix = [&hash](const uint8_t *bytes, size_t count) {
        for (size_t i = 0; i < count; ++i)
            hash = (hash ^ bytes[i]) * 1099511628211ULL;
    };
    const size_t addressLength = flow.source.version == 6 ? 16 : 4;
    mix(flow.source.bytes.data(), addressLength);
    mix(flow.dest.bytes.data(), addressLength);
    const uint8_t ports[4] = {static_cast<uint8_t>(flow.sourcePort >> 8), static_cast<uint8_t>(flow.sourcePort),
                              static_cast<uint8_t>(flow.destPort >> 8), static_cast<uint8_t>(flow.destPort)};
    mix(ports, sizeof ports);
    return static_cast<size_t>(hash);
}

}

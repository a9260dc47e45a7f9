// Addresses of either IP version, and the TCP connections they make up.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace quillnet {

// An IPv4 address is kept in the first four bytes, the rest zero, so that one
// comparison serves both versions.
struct IpAddress {
    uint8_t version = 4; // 4 or 6
    std::array<uint8_t, 16> bytes{};

    static IpAddress v4(const std::array<uint8_t, 4> &wire)
    {
        IpAddress address;
        std::copy(wire.begin(), wire.end(), address.bytes.begin());
        return address;
    }

    static IpAddress v6(const std::array<uint8_t, 16> &wire)
    {
        IpAddress address;
        address.version = 6;
        address.bytes = wire;
        return address;
    }

    bool operator==(const IpAddress &) const = default;
};

// Longest address text with its NUL (INET6_ADDRSTRLEN).
inline constexpr size_t kIpTextSize = 46;

// Dotted decimal for IPv4, RFC 5952 for IPv6.
void FormatIp(const IpAddress &address, char (&text)[kIpTextSize]);
std::string IpText(const IpAddress &address);

// The host part of a URL naming `address`: an IPv6 address in brackets, and
// ":port" unless `port` is the scheme's `defaultPort`.
std::string UrlHost(const IpAddress &address, uint16_t port, uint16_t defaultPort);

// One direction of a TCP connection.
struct Flow {
    IpAddress source;
    IpAddress dest;
    uint16_t sourcePort = 0;
    uint16_t destPort = 0;

    Flow reversed() const { return {dest, source, destPort, sourcePort}; }
    bool operator==(const Flow &) const = default;
};

struct FlowHash {
    size_t operator()(const Flow &flow) const;
};

// TCP flags the recognisers look at.
inline constexpr uint8_t kTcpFin = 0x01;
inline constexpr uint8_t kTcpSyn = 0x02;
inline constexpr uint8_t kTcpRst = 0x04;
inline constexpr uint8_t kTcpAck = 0x10;

}

#include "adapter_info.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <array>
#include <cstring>
#include <string_view>

#include "capture_source.h"

namespace {

constexpr std::string_view kDescriptionPrefix = "Network adapter '";
constexpr std::string_view kDescriptionSuffix = "' on local host";
constexpr std::string_view kWhiteSpace = " \t\r\n\v\f";
constexpr char kNotAvailable[] = "N/A";
constexpr int32_t kDefaultNetmask = 16777215; // 255.255.255.0 read little-endian
constexpr char kLocalDevices[] = "rpcap://";

using Ipv4Bytes = std::array<uint8_t, sizeof(in_addr)>;

// Only entries of family AF_INET and their masks come here, so the storage is a sockaddr_in.
uint32_t ipv4Value(const sockaddr *address)
{
    uint32_t value;
    std::memcpy(&value, &reinterpret_cast<const sockaddr_in *>(address)->sin_addr, sizeof value);
    return value;
}

// Read little-endian byte by byte, so the number a capture gets is the same on every host.
int32_t netmaskNumber(uint32_t netmask)
{
    Ipv4Bytes bytes;
    std::memcpy(bytes.data(), &netmask, bytes.size());
    uint32_t number = 0;
    for (size_t i = bytes.size(); i-- > 0;)
        number = number << 8 | bytes[i];
    return static_cast<int32_t>(number);
}

bool isIpv4(const pcap_addr &entry)
{
    return entry.addr && entry.addr->sa_family == AF_INET;
}

AdapterRow describeDevice(const pcap_if_t &device, int32_t carriedNetmask)
{
    AdapterRow row{TrimAdapterDescription(device.description), kNotAvailable, kNotAvailable,
                   device.name ? device.name : "", carriedNetmask};
    for (const pcap_addr *entry = device.addresses; entry; entry = entry->next) {
        if (!isIpv4(*entry))
            continue;
        row.address = FormatIPv4(ipv4Value(entry->addr));
        if (!entry->netmask)
            continue;
        const uint32_t netmask = ipv4Value(entry->netmask);
        row.netmaskText = FormatIPv4(netmask);
        row.netmask = netmaskNumber(netmask);
    }
    return row;
}

}

std::string FormatIPv4(uint32_t value)
{
    Ipv4Bytes bytes;
    std::memcpy(bytes.data(), &value, bytes.size());
    std::string text;
    for (const uint8_t byte : bytes) {
        if (!text.empty())
            text += '.';
        text += std::to_string(byte);
    }
    return text;
}

std::string TrimAdapterDescription(const char *description)
{
    const std::string_view text = description ? description : "";
    const size_t affixes = kDescriptionPrefix.size() + kDescriptionSuffix.size();
    if (text.size() <= affixes)
        return {};
    std::string label(text.substr(kDescriptionPrefix.size(), text.size() - affixes));
    const size_t lastKept = label.find_last_not_of(kWhiteSpace);
    label.erase(lastKept == std::string::npos ? 0 : lastKept + 1);
    return label;
}

std::vector<AdapterRow> DescribeAdapters(const pcap_if_t *devices)
{
    std::vector<AdapterRow> rows;
    int32_t netmask = kDefaultNetmask;
    for (const pcap_if_t *device = devices; device; device = device->next) {
        rows.push_back(describeDevice(*device, netmask));
        netmask = rows.back().netmask;
    }
    return rows;
}

std::optional<std::vector<AdapterRow>> ListLocalAdapters()
{
    char errorBuffer[PCAP_ERRBUF_SIZE] = {};
    pcap_if_t *devices = nullptr;
    if (FindAllCaptureDevices(kLocalDevices, &devices, errorBuffer) == -1)
        return std::nullopt;
    std::vector<AdapterRow> rows = DescribeAdapters(devices);
    FreeCaptureDevices(devices);
    return rows;
}

#include "adapter_list.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>
#include <string_view>

#include "capture_source.h"
#include "log_texts.h"
#include "notifications.h"
#include "quillnet.h"

namespace quillnet {

namespace {

constexpr std::string_view kDescriptionPrefix = "Network adapter '";
constexpr std::string_view kDescriptionSuffix = "' on local host";
constexpr int32_t kDefaultNetmask = 16777215; // 255.255.255.0 read little-endian
constexpr char kLocalDevices[] = "rpcap://";

// The mask's four bytes in network order, read as a little-endian signed number.
int32_t netmaskNumber(const sockaddr *netmask)
{
    const auto *mask = reinterpret_cast<const sockaddr_in *>(netmask);
    uint8_t bytes[4];
    std::memcpy(bytes, &mask->sin_addr, sizeof bytes);
    return static_cast<int32_t>(static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                                static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24);
}

// Takes the mask of each IPv4 address; the last one wins. Addresses without a
// mask leave the number as it was.
int32_t updateNetmask(const pcap_if_t &device, int32_t number)
{
    for (const pcap_addr *address = device.addresses; address; address = address->next) {
        if (address->addr && address->addr->sa_family == AF_INET && address->netmask)
            number = netmaskNumber(address->netmask);
    }
    return number;
}

std::string adapterList;

}

std::string TrimAdapterDescription(const char *description)
{
    const std::string_view text = description ? description : "";
    const size_t affixes = kDescriptionPrefix.size() + kDescriptionSuffix.size();
    if (text.size() <= affixes)
        return {};
    std::string label(text.substr(kDescriptionPrefix.size(), text.size() - affixes));
    const size_t lastKept = label.find_last_not_of(" \t\r\n\v\f");
    label.erase(lastKept == std::string::npos ? 0 : lastKept + 1);
    return label;
}

std::string FormatAdapterList(const pcap_if_t *devices)
{
    std::string text;
    int32_t netmask = kDefaultNetmask;
    for (const pcap_if_t *device = devices; device; device = device->next) {
        netmask = updateNetmask(*device, netmask);
        text += device->name ? device->name : "";
        text += '|';
        text += TrimAdapterDescription(device->description);
        text += '|';
        text += std::to_string(netmask);
        text += "<|>";
    }
    return text;
}

}

using namespace quillnet;

extern "C" const char *GetAdapterList(HWND window)
{
    SendLogText(window, logtext::kAdapterListStart);
    char errorBuffer[PCAP_ERRBUF_SIZE] = {};
    pcap_if_t *devices = nullptr;
    if (FindAllCaptureDevices(kLocalDevices, &devices, errorBuffer) == -1)
        return nullptr;
    adapterList = FormatAdapterList(devices);
    FreeCaptureDevices(devices);
    SendLogText(window, logtext::kAdapterListEnd);
    return adapterList.c_str();
}

#include "capture_diagnosis.h"

#include <fcntl.h>
#include <pcap/pcap.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>

#include "quillnet.h"

namespace tarvolin {

namespace {

// The link types the capture library reads: Ethernet (VLAN tags included) and
// the Linux cooked headers of the "any" device.
bool isReadableLinkType(int linkType)
{
    return linkType == DLT_EN10MB || linkType == DLT_LINUX_SLL || linkType == DLT_LINUX_SLL2;
}

constexpr std::string_view kFilePrefix = "file://";
constexpr std::string_view kDevicePrefix = "rpcap://";
constexpr char kKeyLogNotRegular[] = "not a regular file";
constexpr char kCannotRead[] = ": cannot read: ";

struct PcapCloser {
    void operator()(pcap_t *handle) const { pcap_close(handle); }
};
using PcapHandle = std::unique_ptr<pcap_t, PcapCloser>;

std::string linkTypeName(int linkType)
{
    const char *name = pcap_datalink_val_to_name(linkType);
    return name ? name : "link type " + std::to_string(linkType);
}

}

std::string DescribeFileFailure(const std::string &path)
{
    std::error_code error;
    if (!std::filesystem::exists(path, error))
        return "cannot read " + path + ": no such file";
    if (std::filesystem::is_directory(path, error))
        return "cannot read " + path + ": it is a directory, not a capture file";
    // errno straight from open(): a stream promises nothing about it.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return "cannot read " + path + ": " + std::strerror(errno);
    ::close(descriptor);
    char errorBuffer[PCAP_ERRBUF_SIZE] = {};
    PcapHandle handle(pcap_open_offline(path.c_str(), errorBuffer));
    if (!handle)
        return path + " is not a capture file (pcap or pcapng): " + errorBuffer;
    if (!isReadableLinkType(pcap_datalink(handle.get())))
        return path + " holds " + linkTypeName(pcap_datalink(handle.get())) +
               " frames; only Ethernet and Linux cooked captures can be read";
    return "cannot read " + path;
}

std::string DescribeDeviceFailure(const std::string &device)
{
    char errorBuffer[PCAP_ERRBUF_SIZE] = {};
    PcapHandle handle(pcap_create(device.c_str(), errorBuffer));
    if (!handle)
        return "cannot capture on " + device + ": " + errorBuffer;
    const int status = pcap_activate(handle.get());
    if (status == PCAP_ERROR_PERM_DENIED || status == PCAP_ERROR_PROMISC_PERM_DENIED)
        return "no permission to capture on " + device + ": capturing needs root or the CAP_NET_RAW capability";
    if (status == PCAP_ERROR_NO_SUCH_DEVICE)
        return "no capture device named " + device + " (see --list-interfaces)";
    if (status == PCAP_ERROR_IFACE_NOT_UP)
        return "cannot capture on " + device + ": the device is not up";
    if (status < 0)
        return "cannot capture on " + device + ": " + pcap_geterr(handle.get());
    if (!isReadableLinkType(pcap_datalink(handle.get())))
        return "cannot capture on " + device + ": it delivers " + linkTypeName(pcap_datalink(handle.get())) +
               " frames, and only Ethernet and Linux cooked frames can be captured";
    return "cannot capture on " + device;
}

std::string DescribeSourceFailure(const std::string &source)
{
    if (source.starts_with(kFilePrefix))
        return DescribeFileFailure(source.substr(kFilePrefix.size()));
    if (source.starts_with(kDevicePrefix))
        return DescribeDeviceFailure(source.substr(kDevicePrefix.size()));
    return DescribeDeviceFailure(source);
}

std::string KeyLogFailureReason(int32_t answer)
{
    if (answer == QUILLNET_KEYLOG_NOT_REGULAR)
        return kKeyLogNotRegular;
    return std::generic_category().message(answer);
}

std::string DescribeKeyLogFailure(const std::string &name, int32_t answer)
{
    return name + kCannotRead + KeyLogFailureReason(answer);
}

}

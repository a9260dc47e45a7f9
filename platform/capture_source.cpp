#include "capture_source.h"

#include <poll.h>

#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view kFilePrefix = "file://";
constexpr std::string_view kDevicePrefix = "rpcap://";

bool hasPrefix(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

void setError(char *errorBuffer, const std::string &text)
{
    if (errorBuffer)
        std::snprintf(errorBuffer, PCAP_ERRBUF_SIZE, "%s", text.c_str());
}

pcap_t *openDevice(const char *device, int snapshotLength, int flags, int readTimeoutMs,
                   char *errorBuffer)
{
    pcap_t *handle = pcap_create(device, errorBuffer);
    if (!handle)
        return nullptr;
    pcap_set_snaplen(handle, snapshotLength);
    pcap_set_promisc(handle, (flags & kCaptureFlagPromiscuous) ? 1 : 0);
    pcap_set_timeout(handle, readTimeoutMs);
    if (pcap_activate(handle) < 0 || pcap_setnonblock(handle, 1, errorBuffer) < 0) {
        setError(errorBuffer, std::string(device) + ": " + pcap_geterr(handle));
        pcap_close(handle);
        return nullptr;
    }
    return handle;
}

// The rewritten descriptions of each listed device, kept until the list is
// released; pcap's own descriptions are put back before pcap frees the list.
struct Relabelled {
    std::vector<std::pair<pcap_if_t *, char *>> originals;
    std::vector<std::unique_ptr<char[]>> texts;
};

std::mutex relabelledLock;
std::map<pcap_if_t *, Relabelled> relabelledLists;

std::unique_ptr<char[]> adapterDescription(const pcap_if_t &device)
{
    const char *label = device.description ? device.description : device.name;
    const std::string text = std::string("Network adapter '") + (label ? label : "") + "' on local host";
    auto copy = std::make_unique<char[]>(text.size() + 1);
    text.copy(copy.get(), text.size());
    copy[text.size()] = '\0';
    return copy;
}

}

pcap_t *OpenCaptureSource(const char *source, int snapshotLength, int flags, int readTimeoutMs,
                          char *errorBuffer)
{
    if (!source) {
        setError(errorBuffer, "no capture source given");
        return nullptr;
    }
    const std::string_view name(source);
    if (hasPrefix(name, kFilePrefix))
        return pcap_open_offline(source + kFilePrefix.size(), errorBuffer);
    if (hasPrefix(name, kDevicePrefix))
        return openDevice(source + kDevicePrefix.size(), snapshotLength, flags, readTimeoutMs, errorBuffer);
    return openDevice(source, snapshotLength, flags, readTimeoutMs, errorBuffer);
}

int NextCaptureFrame(pcap_t *handle, pcap_pkthdr **header, const u_char **data, int readTimeoutMs)
{
    const int result = pcap_next_ex(handle, header, data);
    if (result != 0)
        return result;
    // Nothing ready on a non-blocking device: wait up to the time-out for it.
    char errorBuffer[PCAP_ERRBUF_SIZE];
    const int descriptor = pcap_get_selectable_fd(handle);
    if (descriptor < 0 || pcap_getnonblock(handle, errorBuffer) != 1)
        return 0;
    pollfd ready{descriptor, POLLIN, 0};
    if (poll(&ready, 1, readTimeoutMs) <= 0)
        return 0;
    return pcap_next_ex(handle, header, data);
}

int FindAllCaptureDevices(const char *source, pcap_if_t **devices, char *errorBuffer)
{
    if (!devices)
        return -1;
    *devices = nullptr;
    if (!source || std::string_view(source) != kDevicePrefix) {
        setError(errorBuffer, std::string("only local devices can be listed, not '") + (source ? source : "") + "'");
        return -1;
    }
    pcap_if_t *list = nullptr;
    if (pcap_findalldevs(&list, errorBuffer) == -1)
        return -1;
    if (!list)
        return 0;

    Relabelled relabelled;
    for (pcap_if_t *device = list; device; device = device->next) {
        auto text = adapterDescription(*device);
        relabelled.originals.emplace_back(device, device->description);
        device->description = text.get();
        relabelled.texts.push_back(std::move(text));
    }
    const std::lock_guard guard(relabelledLock);
    relabelledLists.emplace(list, std::move(relabelled));
    *devices = list;
    return 0;
}

void FreeCaptureDevices(pcap_if_t *devices)
{
    if (!devices)
        return;
    std::unique_lock guard(relabelledLock);
    auto found = relabelledLists.find(devices);
    if (found != relabelledLists.end()) {
        for (auto &[device, original] : found->second.originals)
            device->description = original;
        relabelledLists.erase(found);
    }
    guard.unlock();
    pcap_freealldevs(devices);
}

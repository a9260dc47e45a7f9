#include "device_list.h"

#include <arpa/inet.h>
#include <netinet/in.h>

namespace testing_support {

pcap_if_t *DeviceList::add(const char *name, const char *description)
{
    pcap_if_t &device = devices_.emplace_back();
    device.name = const_cast<char *>(name);
    device.description = const_cast<char *>(description);
    if (devices_.size() > 1)
        devices_[devices_.size() - 2].next = &device;
    return &device;
}

void DeviceList::addAddress(pcap_if_t *device, int family, const char *address, const char *netmask)
{
    pcap_addr &entry = addresses_.emplace_back();
    entry.addr = socket(family, address);
    entry.netmask = netmask ? socket(AF_INET, netmask) : nullptr;
    pcap_addr **end = &device->addresses;
    while (*end)
        end = &(*end)->next;
    *end = &entry;
}

sockaddr *DeviceList::socket(int family, const char *text)
{
    sockaddr_in &socket = sockets_.emplace_back();
    socket.sin_family = static_cast<sa_family_t>(family);
    inet_pton(AF_INET, text, &socket.sin_addr);
    return reinterpret_cast<sockaddr *>(&socket);
}

}

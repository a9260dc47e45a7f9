// Capture devices built by hand in pcap's own structures, for the code that
// reads pcap's device list. Addresses keep the order they are added in.
#pragma once

#include <pcap/pcap.h>

#include <deque>

namespace testing_support {

class DeviceList {
public:
    pcap_if_t *add(const char *name, const char *description);
    // `address` and `netmask` are dotted IPv4 texts; a null netmask leaves the entry without one.
    void addAddress(pcap_if_t *device, int family, const char *address, const char *netmask);
    const pcap_if_t *first() const { return devices_.empty() ? nullptr : &devices_.front(); }

private:
    sockaddr *socket(int family, const char *text);

    std::deque<pcap_if_t> devices_;
    std::deque<sockaddr_in> sockets_;
    std::deque<pcap_addr> addresses_;
};

}

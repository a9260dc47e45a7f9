// The local capture devices as rows of text, each with the netmask number a
// capture on it is given. The capture library's adapter list and the program's
// adapter dialog read the same rows.
#pragma once

#include <pcap/pcap.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct AdapterRow {
    std::string description; // see TrimAdapterDescription
    std::string address;     // the device's last IPv4 address, or "N/A"
    std::string netmaskText; // `netmask` when this device set it, else "N/A"
    std::string name;        // pcap's device name, what a capture opens
    int32_t netmask = 0;     // the mask's bytes in network order read as a little-endian number
};

// The four bytes of `value` in memory order, dotted decimal: an address as pcap
// stores it (network order) prints in the usual order.
std::string FormatIPv4(uint32_t value);

// The label inside "Network adapter '<label>' on local host": the affixes are
// counted off, not compared, then trailing blanks go.
std::string TrimAdapterDescription(const char *description);

// One row per device in list order. The netmask number starts at 255.255.255.0
// and is carried from device to device; each IPv4 address of a device sets the
// address text and, when it has a mask, the netmask text and number, so the
// last one wins. A device without a masked IPv4 address keeps the number of
// the devices before it and shows "N/A" as its netmask.
std::vector<AdapterRow> DescribeAdapters(const pcap_if_t *devices);

// The rows of the local devices, or nothing when pcap cannot list them.
std::optional<std::vector<AdapterRow>> ListLocalAdapters();

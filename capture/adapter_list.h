// The local capture devices as one delimited text.
#pragma once

#include <pcap/pcap.h>

#include <string>

#include "adapter_info.h" // the descriptions are trimmed by its TrimAdapterDescription

namespace quillnet {

// "name|description|netmask<|>" for each device in list order.
std::string FormatAdapterList(const pcap_if_t *devices);

}

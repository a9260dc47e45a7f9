// The local capture devices as one delimited text.
#pragma once

#include <pcap/pcap.h>

#include <string>

namespace quillnet {

// The label inside "Network adapter '<label>' on local host": the affixes are
// counted off, not compared, then trailing blanks go.
std::string TrimAdapterDescription(const char *description);

// "name|description|netmask<|>" for each device in list order.
std::string FormatAdapterList(const pcap_if_t *devices);

}

#include "adapter_list.h"

#include "log_texts.h"
#include "notifications.h"
#include "quillnet.h"

namespace quillnet {

namespace {

std::string formatRows(const std::vector<AdapterRow> &rows)
{
    std::string text;
    for (const AdapterRow &row : rows) {
        text += row.name;
        text += '|';
        text += row.description;
        text += '|';
        text += std::to_string(row.netmask);
        text += "<|>";
    }
    return text;
}

std::string adapterList;

}

std::string FormatAdapterList(const pcap_if_t *devices)
{
    return formatRows(DescribeAdapters(devices));
}

}

using namespace quillnet;

extern "C" const char *GetAdapterList(HWND window)
{
    SendLogText(window, logtext::kAdapterListStart);
    const auto rows = ListLocalAdapters();
    if (!rows)
        return nullptr;
    adapterList = formatRows(*rows);
    SendLogText(window, logtext::kAdapterListEnd);
    return adapterList.c_str();
}

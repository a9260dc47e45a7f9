#include <gtest/gtest.h>

#include <netinet/in.h>

#include <cstring>
#include <string_view>

#include "adapter_list.h"
#include "capture_source.h"
#include "device_list.h"
#include "log_texts.h"
#include "quillnet.h"
#include "recording_window.h"

using namespace quillnet;
using testing_support::DeviceList;
using testing_support::RecordingWindow;

namespace {

TEST(AdapterList, FormatsEveryDeviceWithTheLastIpv4Netmask)
{
    DeviceList list;
    pcap_if_t *first = list.add("eth0", "Network adapter 'Intel PRO/1000' on local host");
    list.addAddress(first, AF_INET, "10.0.0.1", "255.255.0.0");
    list.addAddress(first, AF_INET6, "10.0.0.2", "255.0.0.0");
    list.addAddress(first, AF_INET, "10.0.0.3", "255.255.255.128");
    list.add("tun0", nullptr);
    pcap_if_t *third = list.add("wlan0", "Network adapter 'Wireless   ' on local host");
    list.addAddress(third, AF_INET, "10.0.0.4", nullptr);

    EXPECT_EQ(FormatAdapterList(list.first()),
              "eth0|Intel PRO/1000|-2130706433<|>tun0||-2130706433<|>wlan0|Wireless|-2130706433<|>");
}

TEST(AdapterList, NetmaskStartsAtClassC)
{
    DeviceList list;
    list.add("any", nullptr);
    pcap_if_t *second = list.add("eth1", nullptr);
    list.addAddress(second, AF_INET, "10.0.0.5", "255.255.0.0");
    list.add("eth2", nullptr);
    list.addAddress(list.add("lo", nullptr), AF_INET, "127.0.0.1", "255.255.255.255");
    EXPECT_EQ(FormatAdapterList(list.first()), "any||16777215<|>eth1||65535<|>eth2||65535<|>lo||-1<|>");
    EXPECT_EQ(FormatAdapterList(nullptr), "");
}

TEST(AdapterList, DescriptionsLoseTheirAffixesByCount)
{
    EXPECT_EQ(TrimAdapterDescription("Network adapter 'lo' on local host"), "lo");
    EXPECT_EQ(TrimAdapterDescription("Network adapter '' on local host"), "");
    EXPECT_EQ(TrimAdapterDescription("x"), "");
    EXPECT_EQ(TrimAdapterDescription(nullptr), "");
    EXPECT_EQ(TrimAdapterDescription("0123456789abcdefg-LABEL-0123456789abcde"), "-LABEL-");
    EXPECT_EQ(TrimAdapterDescription("Network adapter 'A \t' on local host"), "A");
}

TEST(AdapterList, LocalDevicesAreDescribedAsTheirAdapters)
{
    char error[PCAP_ERRBUF_SIZE];
    pcap_if_t *devices = nullptr;
    ASSERT_EQ(FindAllCaptureDevices("rpcap://", &devices, error), 0) << error;
    pcap_if_t *plain = nullptr;
    ASSERT_EQ(pcap_findalldevs(&plain, error), 0) << error;
    const pcap_if_t *ours = devices;
    for (const pcap_if_t *theirs = plain; theirs; theirs = theirs->next, ours = ours->next) {
        ASSERT_NE(ours, nullptr);
        EXPECT_STREQ(ours->name, theirs->name);
        const std::string label = theirs->description ? theirs->description : theirs->name;
        EXPECT_EQ(std::string(ours->description), "Network adapter '" + label + "' on local host");
        EXPECT_EQ(TrimAdapterDescription(ours->description), label);
    }
    EXPECT_EQ(ours, nullptr);
    pcap_freealldevs(plain);
    FreeCaptureDevices(devices);

    EXPECT_EQ(FindAllCaptureDevices("rpcap://remote-host/", &devices, error), -1);
    EXPECT_EQ(devices, nullptr);
}

TEST(AdapterList, ExportListsTheLocalDevices)
{
    RecordingWindow window;
    const char *text = GetAdapterList(window.handle());
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(window.logs(), (std::vector<std::string>{logtext::kAdapterListStart, logtext::kAdapterListEnd}));

    char error[PCAP_ERRBUF_SIZE];
    pcap_if_t *devices = nullptr;
    ASSERT_EQ(FindAllCaptureDevices("rpcap://", &devices, error), 0);
    EXPECT_EQ(std::string(text), FormatAdapterList(devices));
    FreeCaptureDevices(devices);
    const std::string_view list(text);
    EXPECT_TRUE(list.empty() || list.substr(list.size() - 3) == "<|>");
}

}

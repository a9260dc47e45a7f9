// Why a capture source could not be opened. StartCapture only says that it
// failed; these open the source again with pcap to name the cause.
#pragma once

#include <string>

namespace tarvolin {

std::string DescribeFileFailure(const std::string &path);
std::string DescribeDeviceFailure(const std::string &device);
// For a capture source as StartCapture takes it: "file://PATH", "rpcap://DEVICE" or DEVICE.
std::string DescribeSourceFailure(const std::string &source);

}

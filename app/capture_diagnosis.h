// Why a capture source could not be opened, or its key log file not read.
// StartCapture only says that it failed; these open the source again with pcap
// to name the cause.
#pragma once

#include <cstdint>
#include <string>

namespace tarvolin {

std::string DescribeFileFailure(const std::string &path);
std::string DescribeDeviceFailure(const std::string &device);
// For a capture source as StartCapture takes it: "file://PATH", "rpcap://DEVICE" or DEVICE.
std::string DescribeSourceFailure(const std::string &source);

// SetKeyLogFile's non-zero answer as a reason: the errno value's text, or
// "not a regular file".
std::string KeyLogFailureReason(int32_t answer);
// "NAME: cannot read: REASON", the one wording of both programs.
std::string DescribeKeyLogFailure(const std::string &name, int32_t answer);

}

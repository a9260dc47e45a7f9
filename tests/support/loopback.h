// Addresses and probes on this machine's loopback device, for the tests that
// start real servers on it.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string>

namespace testing_support {

// 127.0.0.1:port.
sockaddr_in LoopbackAddress(uint16_t port);

// A free TCP port on 127.0.0.1 at the time of asking.
uint16_t FreeLoopbackPort();

// Whether something accepts connections on port `port` of 127.0.0.1, or of ::1.
bool AcceptsOnLoopback(uint16_t port, bool ipv6 = false);

// Writes a new self-signed certificate for 127.0.0.1 and its key with openssl;
// false when openssl failed.
bool MakeLoopbackCertificate(const std::string &keyPath, const std::string &certificatePath);

}

#include "loopback.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include "run_program.h"

namespace testing_support {

namespace {

sockaddr_in6 loopback6(uint16_t port)
{
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(port);
    address.sin6_addr = in6addr_loopback;
    return address;
}

}

sockaddr_in LoopbackAddress(uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

uint16_t FreeLoopbackPort()
{
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = LoopbackAddress(0);
    bind(probe, reinterpret_cast<sockaddr *>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(probe, reinterpret_cast<sockaddr *>(&address), &length);
    close(probe);
    return ntohs(address.sin_port);
}

bool AcceptsOnLoopback(uint16_t port, bool ipv6)
{
    const int client = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address4 = LoopbackAddress(port);
    const sockaddr_in6 address6 = loopback6(port);
    const bool connected =
        ipv6 ? connect(client, reinterpret_cast<const sockaddr *>(&address6), sizeof address6) == 0
             : connect(client, reinterpret_cast<const sockaddr *>(&address4), sizeof address4) == 0;
    close(client);
    return connected;
}

bool MakeLoopbackCertificate(const std::string &keyPath, const std::string &certificatePath)
{
    return RunProgram({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                       "/CN=127.0.0.1", "-keyout", keyPath, "-out", certificatePath})
               .status == 0;
}

}

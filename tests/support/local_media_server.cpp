#include "local_media_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <thread>

#include "run_program.h"

namespace testing_support {

namespace {

sockaddr_in loopback(uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

sockaddr_in6 loopback6(uint16_t port)
{
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(port);
    address.sin6_addr = in6addr_loopback;
    return address;
}

uint16_t freePort()
{
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(0);
    bind(probe, reinterpret_cast<sockaddr *>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(probe, reinterpret_cast<sockaddr *>(&address), &length);
    close(probe);
    return ntohs(address.sin_port);
}

}

LocalMediaServer::LocalMediaServer(const std::filesystem::path &folder, bool ipv6) : ipv6_(ipv6), port_(freePort())
{
    const std::string script = "import functools, http.server, socket\n"
                               "handler = http.server.SimpleHTTPRequestHandler\n"
                               "handler.extensions_map['.flv'] = 'video/x-flv'\n"
                               "class Server(http.server.ThreadingHTTPServer):\n"
                               "    address_family = socket.AF_INET6 if " +
                               std::string(ipv6 ? "True" : "False") +
                               " else socket.AF_INET\n"
                               "Server(('" + std::string(ipv6 ? "::1" : "127.0.0.1") + "', " +
                               std::to_string(port_) + "), functools.partial(handler, directory='" +
                               folder.string() + "')).serve_forever()\n";
    pid_ = StartProgram({"python3", "-c", script}, "/dev/null", "/dev/null");
    for (int i = 0; i < 100 && pid_ > 0 && !accepting(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

LocalMediaServer::~LocalMediaServer()
{
    if (pid_ <= 0)
        return;
    kill(pid_, SIGTERM);
    WaitForProgram(pid_);
}

bool LocalMediaServer::accepting() const
{
    const int client = socket(ipv6_ ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
    bool connected = false;
    if (ipv6_) {
        const sockaddr_in6 address = loopback6(port_);
        connected = connect(client, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    } else {
        const sockaddr_in address = loopback(port_);
        connected = connect(client, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    }
    close(client);
    return connected;
}

std::string LocalMediaServer::url(const std::string &file) const
{
    return std::string(ipv6_ ? "http://[::1]:" : "http://127.0.0.1:") + std::to_string(port_) + "/" + file;
}

}

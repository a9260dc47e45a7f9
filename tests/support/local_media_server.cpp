#include "local_media_server.h"

#include <csignal>
#include <thread>

#include "loopback.h"
#include "run_program.h"

namespace testing_support {

LocalMediaServer::LocalMediaServer(const std::filesystem::path &folder, bool ipv6) : ipv6_(ipv6), port_(FreeLoopbackPort())
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
    return AcceptsOnLoopback(port_, ipv6_);
}

std::string LocalMediaServer::url(const std::string &file) const
{
    return std::string(ipv6_ ? "http://[::1]:" : "http://127.0.0.1:") + std::to_string(port_) + "/" + file;
}

}

#include "local_media_server.h"

#include <csignal>
#include <thread>

#include "loopback.h"
#include "run_program.h"

namespace testing_support {

namespace {

// Python reads header values as Latin-1; hexadecimal keeps every byte out of the script's syntax.
std::string pythonText(const std::string &bytes)
{
    static constexpr char kHexDigits[] = "0123456789abcdef";
    static constexpr int kNibbleBits = 4;
    static constexpr unsigned kLowNibble = 0x0F;
    std::string hex;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        hex += kHexDigits[byte >> kNibbleBits];
        hex += kHexDigits[byte & kLowNibble];
    }
    return "bytes.fromhex('" + hex + "').decode('latin-1')";
}

std::string pythonDictionary(const RequiredHeaders &headers)
{
    std::string dictionary = "{";
    for (const auto &[name, value] : headers)
        dictionary += pythonText(name) + ": " + pythonText(value) + ", ";
    return dictionary + "}";
}

}

LocalMediaServer::LocalMediaServer(const std::filesystem::path &folder, bool ipv6, const RequiredHeaders &required)
    : ipv6_(ipv6), port_(FreeLoopbackPort())
{
    const std::string script = "import functools, http.server, socket\n"
                               "class Handler(http.server.SimpleHTTPRequestHandler):\n"
                               "    required = " + pythonDictionary(required) + "\n"
                               "    def do_GET(self):\n"
                               "        if any(self.headers.get(n) != v for n, v in self.required.items()):\n"
                               "            self.send_error(403)\n"
                               "        else:\n"
                               "            super().do_GET()\n"
                               "Handler.extensions_map['.flv'] = 'video/x-flv'\n"
                               "class Server(http.server.ThreadingHTTPServer):\n"
                               "    address_family = socket.AF_INET6 if " +
                               std::string(ipv6 ? "True" : "False") +
                               " else socket.AF_INET\n"
                               "Server(('" + std::string(ipv6 ? "::1" : "127.0.0.1") + "', " +
                               std::to_string(port_) + "), functools.partial(Handler, directory='" +
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

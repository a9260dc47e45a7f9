#include "local_http3_server.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <thread>

#include "loopback.h"
#include "run_program.h"

namespace testing_support {

namespace {

constexpr char kServerProgram[] = "gtlsserver";
constexpr char kClientProgram[] = "gtlsclient";
constexpr char kLoopbackHost[] = "127.0.0.1";
constexpr char kMediaTypes[] = "video/mp4 mp4\napplication/vnd.apple.mpegurl m3u8\n";
constexpr auto kFetchLimit = std::chrono::seconds(20);
constexpr auto kStartPoll = std::chrono::milliseconds(50);
constexpr int kStartPolls = 100;

int boundUdpSocket(uint16_t port)
{
    const int probe = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address = LoopbackAddress(port);
    if (bind(probe, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0)
        return probe;
    close(probe);
    return -1;
}

// A free UDP port on 127.0.0.1 at the time of asking.
uint16_t freeUdpPort()
{
    const int probe = boundUdpSocket(0);
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(probe, reinterpret_cast<sockaddr *>(&address), &length);
    close(probe);
    return ntohs(address.sin_port);
}

// UDP accepts no connections to probe with; a port that cannot be bound is the server's.
bool udpPortTaken(uint16_t port)
{
    const int probe = boundUdpSocket(port);
    if (probe < 0)
        return true;
    close(probe);
    return false;
}

}

std::string LocalHttp3Server::missingProgram()
{
    for (const char *program : {"openssl", kServerProgram, kClientProgram}) {
        if (!OnPath(program))
            return program;
    }
    return {};
}

LocalHttp3Server::LocalHttp3Server(const std::filesystem::path &folder)
    : port_(freeUdpPort())
{
    const std::string certificate = keys_.file("certificate.pem");
    const std::string key = keys_.file("key.pem");
    if (!MakeLoopbackCertificate(key, certificate))
        return;
    const std::string types = keys_.file("mime.types");
    WriteWholeFile(types, kMediaTypes);
    pid_ = StartProgram({kServerProgram, "--quiet", "--htdocs=" + folder.string(), "--mime-types-file=" + types,
                         kLoopbackHost, std::to_string(port_), key, certificate},
                        "/dev/null", "/dev/null");
    for (int i = 0; i < kStartPolls && pid_ > 0 && !listening(); ++i)
        std::this_thread::sleep_for(kStartPoll);
}

LocalHttp3Server::~LocalHttp3Server()
{
    if (pid_ <= 0)
        return;
    kill(pid_, SIGTERM);
    WaitForProgram(pid_);
}

bool LocalHttp3Server::listening() const
{
    return pid_ > 0 && udpPortTaken(port_);
}

std::string LocalHttp3Server::url(const std::string &path) const
{
    return "https://" + std::string(kLoopbackHost) + ":" + std::to_string(port_) + "/" + path;
}

bool FetchOverHttp3(const LocalHttp3Server &server, const std::vector<std::string> &urls, const std::string &keyLog)
{
    std::vector<std::string> arguments{"env",     "SSLKEYLOGFILE=" + keyLog,      kClientProgram,
                                       "--quiet", "--exit-on-all-streams-close", kLoopbackHost,
                                       std::to_string(server.port())};
    arguments.insert(arguments.end(), urls.begin(), urls.end());
    return WaitForProgramWithin(StartProgram(arguments, "/dev/null", "/dev/null"), kFetchLimit) == 0;
}

}

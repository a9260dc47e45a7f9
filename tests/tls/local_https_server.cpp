#include "local_https_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <thread>

#include "loopback.h"
#include "run_program.h"

namespace testing_support {

namespace {

std::string http1Script(const std::filesystem::path &folder, uint16_t port, const std::string &certificate,
                        const std::string &key)
{
    return "import functools, http.server, ssl\n"
           "handler = http.server.SimpleHTTPRequestHandler\n"
           "handler.protocol_version = 'HTTP/1.1'\n"
           "handler.extensions_map.update({'.flv': 'video/x-flv', '.m3u8': 'application/vnd.apple.mpegurl'})\n"
           "server = http.server.ThreadingHTTPServer(('127.0.0.1', " +
           std::to_string(port) + "), functools.partial(handler, directory='" + folder.string() +
           "'))\n"
           "context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)\n"
           "context.load_cert_chain('" +
           certificate + "', '" + key +
           "')\n"
           "server.socket = context.wrap_socket(server.socket, server_side=True)\n"
           "server.serve_forever()\n";
}

}

std::string LocalHttpsServer::missingProgram(Protocol protocol)
{
    for (const char *program : {"openssl", protocol == Protocol::kHttp2 ? "nghttpd" : "python3"}) {
        if (!OnPath(program))
            return program;
    }
    return {};
}

LocalHttpsServer::LocalHttpsServer(const std::filesystem::path &folder, Protocol protocol)
    : port_(FreeLoopbackPort())
{
    const std::string certificate = keys_.file("certificate.pem");
    const std::string key = keys_.file("key.pem");
    if (!MakeLoopbackCertificate(key, certificate))
        return;
    if (protocol == Protocol::kHttp2) {
        const std::string types = keys_.file("mime.types");
        WriteWholeFile(types, "video/x-flv flv\napplication/vnd.apple.mpegurl m3u8\n");
        pid_ = StartProgram({"nghttpd", "--address=127.0.0.1", "--htdocs=" + folder.string(),
                             "--mime-types-file=" + types, std::to_string(port_), key, certificate},
                            "/dev/null", "/dev/null");
    } else {
        pid_ = StartProgram({"python3", "-c", http1Script(folder, port_, certificate, key)}, "/dev/null", "/dev/null");
    }
    for (int i = 0; i < 100 && pid_ > 0 && !accepting(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

LocalHttpsServer::~LocalHttpsServer()
{
    if (pid_ <= 0)
        return;
    kill(pid_, SIGTERM);
    WaitForProgram(pid_);
}

bool LocalHttpsServer::accepting() const
{
    return pid_ > 0 && AcceptsOnLoopback(port_);
}

std::string LocalHttpsServer::url(const std::string &file) const
{
    return "https://127.0.0.1:" + std::to_string(port_) + "/" + file;
}

}

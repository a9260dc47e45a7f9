// A real HTTPS server on 127.0.0.1 serving one folder, with .flv and .m3u8
// files under their media types: Python's http.server behind its ssl module
// for HTTP/1.1, nghttpd for HTTP/2. The certificate is made for it with the
// openssl tool.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "temporary_directory.h"

namespace testing_support {

class LocalHttpsServer {
public:
    enum class Protocol { kHttp1, kHttp2 };

    // The program the server needs that is not on PATH, or "".
    static std::string missingProgram(Protocol protocol);

    // Starts serving `folder` and waits until the server accepts connections.
    LocalHttpsServer(const std::filesystem::path &folder, Protocol protocol);
    ~LocalHttpsServer();
    LocalHttpsServer(const LocalHttpsServer &) = delete;
    LocalHttpsServer &operator=(const LocalHttpsServer &) = delete;

    bool accepting() const;
    uint16_t port() const { return port_; }
    std::string url(const std::string &file) const;

private:
    TemporaryDirectory keys_;
    uint16_t port_;
    int pid_ = -1;
};

}

// A real HTTP/3 server on 127.0.0.1 serving one folder (ngtcp2's example
// server, gtlsserver), with .mp4 and .m3u8 files under their media types,
// and its example client (gtlsclient) to fetch from it, writing its TLS
// secrets to a key log as browsers do when SSLKEYLOGFILE is set. The
// certificate is made for it with the openssl tool.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "temporary_directory.h"

namespace testing_support {

class LocalHttp3Server {
public:
    // The program the server or its client needs that is not on PATH, or "".
    static std::string missingProgram();

    // Starts serving `folder` and waits until the server's UDP port is bound.
    explicit LocalHttp3Server(const std::filesystem::path &folder);
    ~LocalHttp3Server();
    LocalHttp3Server(const LocalHttp3Server &) = delete;
    LocalHttp3Server &operator=(const LocalHttp3Server &) = delete;

    bool listening() const;
    uint16_t port() const { return port_; }
    std::string url(const std::string &path) const;

private:
    TemporaryDirectory keys_;
    uint16_t port_;
    int pid_ = -1;
};

// Fetches `urls` from `server` in one QUIC connection with gtlsclient, which
// appends the connection's secrets to `keyLog`; true when the client ended
// well, which it does once every stream closed.
bool FetchOverHttp3(const LocalHttp3Server &server, const std::vector<std::string> &urls, const std::string &keyLog);

}

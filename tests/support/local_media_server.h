// A real HTTP server on 127.0.0.1 (Python's http.server) serving one folder,
// with .flv files served as video/x-flv, for the tests that capture real
// traffic on the loopback device. Listens on 127.0.0.1, or on [::1].
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

// Header names and the values they must have, byte for byte.
using RequiredHeaders = std::vector<std::pair<std::string, std::string>>;

class LocalMediaServer {
public:
    // Starts serving `folder` and waits until the server accepts connections.
    // A request that lacks any of the `required` headers is answered 403.
    explicit LocalMediaServer(const std::filesystem::path &folder, bool ipv6 = false,
                              const RequiredHeaders &required = {});
    ~LocalMediaServer();
    LocalMediaServer(const LocalMediaServer &) = delete;
    LocalMediaServer &operator=(const LocalMediaServer &) = delete;

    bool accepting() const;
    uint16_t port() const { return port_; }
    std::string url(const std::string &file) const;

private:
    bool ipv6_;
    uint16_t port_;
    int pid_;
};

}

// A TCP relay on 127.0.0.1 that passes each connection on to a server and
// keeps what each side wrote, in the order it came: the bytes a capture of
// that connection would hold, without the privilege to capture.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "tls_transcript.h"

namespace testing_support {

class RecordingRelay {
public:
    explicit RecordingRelay(uint16_t serverPort);
    ~RecordingRelay();
    RecordingRelay(const RecordingRelay &) = delete;
    RecordingRelay &operator=(const RecordingRelay &) = delete;

    uint16_t port() const { return port_; }
    // Waits until the connections have closed (at most `limit`), stops, and
    // gives each connection's transcript in the order they were accepted.
    std::vector<Transcript> finish(std::chrono::milliseconds limit);

private:
    struct Relayed {
        int client;
        int server;
        bool clientOpen = true;
        bool serverOpen = true;
        Transcript transcript;
    };

    void run();
    void accept();
    bool pass(Relayed &relayed, bool fromClient);

    uint16_t serverPort_;
    uint16_t port_ = 0;
    int listening_ = -1;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<Relayed> relayed_;
    std::thread thread_;
};

}

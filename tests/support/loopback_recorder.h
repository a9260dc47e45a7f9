// Records the frames of the loopback device that match a pcap filter into a
// capture file while it lives, as tcpdump would. Needs the privilege to
// capture (root or CAP_NET_RAW).
#pragma once

#include <pcap/pcap.h>

#include <string>
#include <thread>

namespace testing_support {

class LoopbackRecorder {
public:
    // Frames that pass `filter` (pcap filter syntax) are recorded from the
    // moment the constructor returns; on failure error() says why.
    LoopbackRecorder(const std::string &path, const std::string &filter);
    ~LoopbackRecorder();
    LoopbackRecorder(const LoopbackRecorder &) = delete;
    LoopbackRecorder &operator=(const LoopbackRecorder &) = delete;

    // Records what the kernel still holds, then closes the file.
    void stop();
    // Empty while recording works.
    const std::string &error() const { return error_; }

private:
    bool open(const std::string &path, const std::string &filter);
    void record();

    pcap_t *handle_ = nullptr;
    pcap_dumper_t *dumper_ = nullptr;
    std::string error_;
    std::thread thread_;
};

}

// Capture files written with pcap's own dump functions, removed when done.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

// Writes `frames` as a pcap file of `linkType` at `path`; throws when it cannot.
void WriteCaptureFile(const std::string &path, const std::vector<std::vector<uint8_t>> &frames, int linkType = 1);

class CaptureFile {
public:
    // Writes `frames` as an Ethernet pcap file under the temporary directory.
    explicit CaptureFile(const std::vector<std::vector<uint8_t>> &frames, int linkType = 1);
    ~CaptureFile();
    CaptureFile(const CaptureFile &) = delete;
    CaptureFile &operator=(const CaptureFile &) = delete;

    const std::string &path() const { return path_; }
    // The capture source naming this file.
    std::string source() const { return "file://" + path_; }

private:
    std::string path_;
};

}

#include "capture_file.h"

#include <pcap/pcap.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace testing_support {

void WriteCaptureFile(const std::string &path, const std::vector<std::vector<uint8_t>> &frames, int linkType)
{
    pcap_t *dead = pcap_open_dead(linkType, 65536);
    pcap_dumper_t *dumper = pcap_dump_open(dead, path.c_str());
    if (!dumper) {
        pcap_close(dead);
        throw std::runtime_error("cannot write " + path);
    }
    uint32_t second = 1700000000;
    for (const auto &frame : frames) {
        pcap_pkthdr header{};
        header.ts.tv_sec = second++;
        header.caplen = static_cast<bpf_u_int32>(frame.size());
        header.len = header.caplen;
        pcap_dump(reinterpret_cast<u_char *>(dumper), &header, frame.data());
    }
    pcap_dump_close(dumper);
    pcap_close(dead);
}

CaptureFile::CaptureFile(const std::vector<std::vector<uint8_t>> &frames, int linkType)
{
    static std::atomic<int> counter{0};
    path_ = (std::filesystem::temp_directory_path() /
             ("quillnet-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + ".pcap"))
                .string();
    WriteCaptureFile(path_, frames, linkType);
}

CaptureFile::~CaptureFile()
{
    std::remove(path_.c_str());
}

}

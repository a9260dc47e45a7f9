#include "loopback_recorder.h"

namespace testing_support {

namespace {

constexpr char kLoopbackDevice[] = "lo";
constexpr int kSnapshotLength = 262144;

}

LoopbackRecorder::LoopbackRecorder(const std::string &path, const std::string &filter)
{
    if (open(path, filter))
        thread_ = std::thread([this] { record(); });
}

LoopbackRecorder::~LoopbackRecorder()
{
    stop();
}

bool LoopbackRecorder::open(const std::string &path, const std::string &filter)
{
    char errorBuffer[PCAP_ERRBUF_SIZE] = {};
    handle_ = pcap_create(kLoopbackDevice, errorBuffer);
    if (!handle_) {
        error_ = errorBuffer;
        return false;
    }
    pcap_set_snaplen(handle_, kSnapshotLength);
    // Frames reach the file as they come, not when a kernel block fills.
    pcap_set_immediate_mode(handle_, 1);
    bpf_program program{};
    if (pcap_activate(handle_) < 0 || pcap_compile(handle_, &program, filter.c_str(), 1, PCAP_NETMASK_UNKNOWN) != 0) {
        error_ = pcap_geterr(handle_);
        return false;
    }
    const bool filtered = pcap_setfilter(handle_, &program) == 0;
    pcap_freecode(&program);
    dumper_ = filtered ? pcap_dump_open(handle_, path.c_str()) : nullptr;
    if (!dumper_)
        error_ = pcap_geterr(handle_);
    return dumper_ != nullptr;
}

void LoopbackRecorder::record()
{
    auto *user = reinterpret_cast<u_char *>(dumper_);
    // Until stop() breaks the loop.
    while (pcap_dispatch(handle_, -1, pcap_dump, user) >= 0) {
    }
    // What arrived before the stop may still be in the kernel's buffer.
    char errorBuffer[PCAP_ERRBUF_SIZE] = {};
    pcap_setnonblock(handle_, 1, errorBuffer);
    while (pcap_dispatch(handle_, -1, pcap_dump, user) > 0) {
    }
}

void LoopbackRecorder::stop()
{
    if (handle_)
        pcap_breakloop(handle_);
    if (thread_.joinable())
        thread_.join();
    if (dumper_)
        pcap_dump_close(dumper_);
    if (handle_)
        pcap_close(handle_);
    dumper_ = nullptr;
    handle_ = nullptr;
}

}

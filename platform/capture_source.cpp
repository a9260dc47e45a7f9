#include "capture_source.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string_view>
#include <vector>

#include "pcap_file_reader.h"

// Reading a capture file through stdio with a way out: a read waits for a pipe
// in short polls and reports the end of the file once the capture is to stop.
struct StoppableFile {
    int descriptor;
    bool waitsForData; // a pipe, FIFO or terminal rather than a regular file
    int pollMs;
    const std::atomic<int32_t> *keepGoing;
    uint64_t size; // of a regular file; 0 for the others
    uint64_t bytesRead = 0;
};

namespace {

constexpr std::string_view kFilePrefix = "file://";
constexpr std::string_view kDevicePrefix = "rpcap://";
constexpr int kOptimiseFilter = 1;
constexpr size_t kFileBufferBytes = 256 * 1024;

bool hasPrefix(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

void setError(char *errorBuffer, const std::string &text)
{
    if (errorBuffer)
        std::snprintf(errorBuffer, PCAP_ERRBUF_SIZE, "%s", text.c_str());
}

bool stopRequested(const StoppableFile &file)
{
    return file.keepGoing && file.keepGoing->load(std::memory_order_relaxed) == 0;
}

ssize_t readStoppable(void *cookie, char *buffer, size_t size)
{
    auto &file = *static_cast<StoppableFile *>(cookie);
    for (;;) {
        if (stopRequested(file))
            return 0;
        if (file.waitsForData) {
            pollfd ready{file.descriptor, POLLIN, 0};
            const int polled = poll(&ready, 1, file.pollMs);
            if (polled == 0 || (polled < 0 && errno == EINTR))
                continue;
        }
        const ssize_t count = read(file.descriptor, buffer, size);
        if (count < 0 && errno == EINTR)
            continue;
        if (count > 0)
            file.bytesRead += static_cast<uint64_t>(count);
        return count;
    }
}

int closeStoppable(void *cookie)
{
    auto *file = static_cast<StoppableFile *>(cookie);
    const int result = close(file->descriptor);
    delete file;
    return result;
}

// Nothing ready on a non-blocking device: waits up to the time-out for a frame.
int waitForFrame(pcap_t *handle, int readTimeoutMs, pcap_pkthdr *&header, const u_char *&data)
{
    char errorBuffer[PCAP_ERRBUF_SIZE];
    const int descriptor = pcap_get_selectable_fd(handle);
    if (descriptor < 0 || pcap_getnonblock(handle, errorBuffer) != 1)
        return 0;
    pollfd ready{descriptor, POLLIN, 0};
    if (poll(&ready, 1, readTimeoutMs) <= 0)
        return 0;
    return pcap_next_ex(handle, &header, &data);
}

// The rewritten descriptions of each listed device, kept until the list is
// released; pcap's own descriptions are put back before pcap frees the list.
struct Relabelled {
    std::vector<std::pair<pcap_if_t *, char *>> originals;
    std::vector<std::unique_ptr<char[]>> texts;
};

std::mutex relabelledLock;
std::map<pcap_if_t *, Relabelled> relabelledLists;

std::unique_ptr<char[]> adapterDescription(const pcap_if_t &device)
{
    const char *label = device.description ? device.description : device.name;
    const std::string text = std::string("Network adapter '") + (label ? label : "") + "' on local host";
    auto copy = std::make_unique<char[]>(text.size() + 1);
    text.copy(copy.get(), text.size());
    copy[text.size()] = '\0';
    return copy;
}

}

std::unique_ptr<CaptureSource> CaptureSource::open(const char *source, int snapshotLength, int flags,
                                                   int readTimeoutMs, std::string &errorText,
                                                   const std::atomic<int32_t> *keepGoing)
{
    if (!source) {
        errorText = "no capture source given";
        return nullptr;
    }
    const std::string_view name(source);
    if (hasPrefix(name, kFilePrefix))
        return openFile(source + kFilePrefix.size(), readTimeoutMs, errorText, keepGoing);
    if (hasPrefix(name, kDevicePrefix))
        return openDevice(source + kDevicePrefix.size(), snapshotLength, flags, readTimeoutMs, errorText);
    return openDevice(source, snapshotLength, flags, readTimeoutMs, errorText);
}

std::unique_ptr<CaptureSource> CaptureSource::openDevice(const char *device, int snapshotLength, int flags,
                                                         int readTimeoutMs, std::string &errorText)
{
    char errorBuffer[PCAP_ERRBUF_SIZE] = {};
    pcap_t *handle = pcap_create(device, errorBuffer);
    if (!handle) {
        errorText = errorBuffer;
        return nullptr;
    }
    pcap_set_snaplen(handle, snapshotLength);
    pcap_set_promisc(handle, (flags & kCaptureFlagPromiscuous) ? 1 : 0);
    pcap_set_timeout(handle, readTimeoutMs);
    pcap_set_buffer_size(handle, kCaptureBufferBytes);
    if (pcap_activate(handle) < 0 || pcap_setnonblock(handle, 1, errorBuffer) < 0) {
        errorText = std::string(device) + ": " + pcap_geterr(handle);
        pcap_close(handle);
        return nullptr;
    }
    std::unique_ptr<CaptureSource> source(new CaptureSource);
    source->handle_ = handle;
    source->readTimeoutMs_ = readTimeoutMs;
    return source;
}

std::unique_ptr<CaptureSource> CaptureSource::openFile(const char *path, int readTimeoutMs, std::string &errorText,
                                                       const std::atomic<int32_t> *keepGoing)
{
    const int descriptor = ::open(path, O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        errorText = std::string(path) + ": " + std::strerror(errno);
        return nullptr;
    }
    struct stat status {};
    const bool waitsForData = fstat(descriptor, &status) == 0 && !S_ISREG(status.st_mode);
    if (!waitsForData) {
        if (auto reader = PcapFileReader::open(descriptor, keepGoing)) {
            std::unique_ptr<CaptureSource> source(new CaptureSource);
            source->reader_ = std::move(reader);
            return source;
        }
    }
    const uint64_t size = waitsForData ? 0 : static_cast<uint64_t>(status.st_size);
    return openStream(path, descriptor, waitsForData, size, readTimeoutMs, errorText, keepGoing);
}

std::unique_ptr<CaptureSource> CaptureSource::openStream(const char *path, int descriptor, bool waitsForData,
                                                         uint64_t size, int readTimeoutMs, std::string &errorText,
                                                         const std::atomic<int32_t> *keepGoing)
{
    auto *cookie = new StoppableFile{descriptor, waitsForData, readTimeoutMs, keepGoing, size};
    FILE *stream = fopencookie(cookie, "r", cookie_io_functions_t{readStoppable, nullptr, nullptr, closeStoppable});
    if (!stream) {
        errorText = std::string(path) + ": " + std::strerror(errno);
        closeStoppable(cookie);
        return nullptr;
    }
    // Given no buffer, glibc ignores the size asked for and reads 8 KiB at a time.
    auto buffer = std::make_unique<char[]>(kFileBufferBytes);
    setvbuf(stream, buffer.get(), _IOFBF, kFileBufferBytes);
    char errorBuffer[PCAP_ERRBUF_SIZE] = {};
    pcap_t *handle = pcap_fopen_offline(stream, errorBuffer);
    if (!handle) {
        errorText = errorBuffer;
        std::fclose(stream);
        return nullptr;
    }
    std::unique_ptr<CaptureSource> source(new CaptureSource);
    source->handle_ = handle;
    source->stream_ = cookie;
    source->streamBuffer_ = std::move(buffer);
    source->readTimeoutMs_ = readTimeoutMs;
    return source;
}

CaptureSource::~CaptureSource()
{
    pcap_freecode(&filter_);
    if (handle_)
        pcap_close(handle_);
}

pcap_t *CaptureSource::pcap() const
{
    return reader_ ? reader_->headerHandle() : handle_;
}

int CaptureSource::linkType() const
{
    return pcap_datalink(pcap());
}

bool CaptureSource::compileFilter(const char *filter, uint32_t netmask)
{
    pcap_freecode(&filter_);
    return pcap_compile(pcap(), &filter_, filter, kOptimiseFilter, netmask) == 0;
}

bool CaptureSource::applyFilter()
{
    if (!reader_)
        return pcap_setfilter(handle_, &filter_) == 0;
    reader_->setFilter(&filter_);
    return true;
}

int CaptureSource::next(const pcap_pkthdr *&header, const u_char *&data)
{
    if (reader_)
        return reader_->next(header, data);
    pcap_pkthdr *read = nullptr;
    int result = pcap_next_ex(handle_, &read, &data);
    if (result == 0)
        result = waitForFrame(handle_, readTimeoutMs_, read, data);
    header = read;
    return result;
}

std::string CaptureSource::errorText() const
{
    if (reader_ && !reader_->errorText().empty())
        return reader_->errorText();
    return pcap_geterr(pcap());
}

bool CaptureSource::progress(uint64_t &bytesRead, uint64_t &bytesTotal) const
{
    if (reader_) {
        bytesRead = reader_->bytesRead();
        bytesTotal = reader_->bytesTotal();
        return true;
    }
    if (!stream_)
        return false;
    bytesRead = stream_->bytesRead;
    bytesTotal = stream_->size;
    return true;
}

bool CaptureSource::stats(pcap_stat &counts)
{
    return handle_ && !stream_ && pcap_stats(handle_, &counts) == 0;
}

int FindAllCaptureDevices(const char *source, pcap_if_t **devices, char *errorBuffer)
{
    if (!devices)
        return -1;
    *devices = nullptr;
    if (!source || std::string_view(source) != kDevicePrefix) {
        setError(errorBuffer, std::string("only local devices can be listed, not '") + (source ? source : "") + "'");
        return -1;
    }
    pcap_if_t *list = nullptr;
    if (pcap_findalldevs(&list, errorBuffer) == -1)
        return -1;
    if (!list)
        return 0;

    Relabelled relabelled;
    for (pcap_if_t *device = list; device; device = device->next) {
        auto text = adapterDescription(*device);
        relabelled.originals.emplace_back(device, device->description);
        device->description = text.get();
        relabelled.texts.push_back(std::move(text));
    }
    const std::lock_guard guard(relabelledLock);
    relabelledLists.emplace(list, std::move(relabelled));
    *devices = list;
    return 0;
}

void FreeCaptureDevices(pcap_if_t *devices)
{
    if (!devices)
        return;
    std::unique_lock guard(relabelledLock);
    auto found = relabelledLists.find(devices);
    if (found != relabelledLists.end()) {
        for (auto &[device, original] : found->second.originals)
            device->description = original;
        relabelledLists.erase(found);
    }
    guard.unlock();
    pcap_freealldevs(devices);
}

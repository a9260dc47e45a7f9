// Whether a live capture on lo keeps up with HTTP at full speed: keep-alive
// connections send GETs to a small server on 127.0.0.1 as fast as it answers,
// while StartCapture runs on lo; then the requests sent, the URL records
// received and the frames the kernel dropped.
//
//   live_load_bench [SECONDS] [CONNECTIONS]   (root; default 5 s, 4 connections)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "loopback.h"
#include "quillnet.h"
#include "records.h"

using namespace testing_support;

namespace {

constexpr char kAnswer[] = "HTTP/1.1 200 OK\r\nContent-Type: video/x-flv\r\nContent-Length: 0\r\n\r\n";
constexpr auto kCaptureSettles = std::chrono::milliseconds(500);
constexpr auto kLastFramesArrive = std::chrono::milliseconds(2000);

std::atomic<uint64_t> urlRecords{0};
std::atomic<uint64_t> kernelDrops{0};

intptr_t countRecord(HWND, uint32_t message, uintptr_t, intptr_t lParam)
{
    const auto *copy = reinterpret_cast<const COPYDATASTRUCT *>(lParam);
    if (message != WM_COPYDATA || !copy)
        return 1;
    if (copy->dwData == quillnet::kKindHttpUrl || copy->dwData == quillnet::kKindLongHttpUrl)
        urlRecords.fetch_add(1, std::memory_order_relaxed);
    if (copy->dwData == quillnet::kKindCaptureStatistics && copy->cbData >= sizeof(quillnet::CaptureStatistics)) {
        quillnet::CaptureStatistics statistics;
        std::memcpy(&statistics, copy->lpData, sizeof statistics);
        kernelDrops.store(statistics.framesDroppedByKernel + statistics.framesDroppedByInterface);
    }
    return 1;
}

int acceptPost(HWND, uint32_t, uintptr_t, intptr_t)
{
    return 1;
}

MessageWindow sink{countRecord, acceptPost};

// Reads until the end of one header block; false when the peer closed.
bool readHeaderBlock(int socket, std::string &pending)
{
    char buffer[4096];
    for (;;) {
        const size_t end = pending.find("\r\n\r\n");
        if (end != std::string::npos) {
            pending.erase(0, end + 4);
            return true;
        }
        const ssize_t count = read(socket, buffer, sizeof buffer);
        if (count <= 0)
            return false;
        pending.append(buffer, static_cast<size_t>(count));
    }
}

void answer(int connection)
{
    std::string pending;
    while (readHeaderBlock(connection, pending)) {
        if (write(connection, kAnswer, sizeof kAnswer - 1) < 0)
            break;
    }
    close(connection);
}

int connectTo(uint16_t port)
{
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = LoopbackAddress(port);
    if (connect(socket, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        std::perror("connect");
        std::exit(1);
    }
    const int on = 1;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return socket;
}

uint64_t sendRequests(uint16_t port, int client, std::chrono::steady_clock::time_point until)
{
    const int socket = connectTo(port);
    std::string pending;
    uint64_t sent = 0;
    while (std::chrono::steady_clock::now() < until) {
        const std::string request = "GET /load/" + std::to_string(client) + "/" + std::to_string(sent) +
                                    ".flv HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: load\r\n\r\n";
        if (write(socket, request.data(), request.size()) < 0 || !readHeaderBlock(socket, pending))
            break;
        ++sent;
    }
    close(socket);
    return sent;
}

}

int main(int argc, char **argv)
{
    if (geteuid() != 0) {
        std::printf("capturing on lo needs root; nothing measured\n");
        return 0;
    }
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 5;
    const int connections = argc > 2 ? std::atoi(argv[2]) : 4;
    SetLogRecords(0);

    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    const uint16_t port = FreeLoopbackPort();
    const sockaddr_in address = LoopbackAddress(port);
    if (bind(listener, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 || listen(listener, 64) != 0) {
        std::perror("listen");
        return 1;
    }
    std::thread server([&] {
        std::vector<std::thread> answering;
        for (int i = 0; i < connections; ++i)
            answering.emplace_back(answer, accept(listener, nullptr, nullptr));
        for (auto &thread : answering)
            thread.join();
    });

    std::thread capture([] { StartCapture(quillnet::kCallerToken, &sink, "lo", 0); });
    std::this_thread::sleep_for(kCaptureSettles);

    const auto start = std::chrono::steady_clock::now();
    const auto until = start + std::chrono::seconds(seconds);
    std::vector<uint64_t> sent(static_cast<size_t>(connections));
    std::vector<std::thread> clients;
    for (int i = 0; i < connections; ++i)
        clients.emplace_back([&, i] { sent[static_cast<size_t>(i)] = sendRequests(port, i, until); });
    for (auto &thread : clients)
        thread.join();
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    server.join();
    close(listener);

    std::this_thread::sleep_for(kLastFramesArrive);
    StopCapture(&sink);
    capture.join();

    uint64_t total = 0;
    for (uint64_t count : sent)
        total += count;
    std::printf("%d keep-alive connections on lo for %.1f s: %llu requests answered, %.0f a second\n", connections,
                elapsed, static_cast<unsigned long long>(total), static_cast<double>(total) / elapsed);
    std::printf("URL records from the capture: %llu (%llu missing); frames the kernel dropped: %llu\n",
                static_cast<unsigned long long>(urlRecords.load()),
                static_cast<unsigned long long>(total - std::min(total, urlRecords.load())),
                static_cast<unsigned long long>(kernelDrops.load()));
    return 0;
}

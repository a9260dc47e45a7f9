#include "recording_relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "loopback.h"

namespace testing_support {

namespace {

constexpr int kPollMilliseconds = 20;
constexpr size_t kReadSize = 65536;

bool writeAll(int socket, const char *bytes, size_t count)
{
    while (count > 0) {
        const ssize_t written = send(socket, bytes, count, MSG_NOSIGNAL);
        if (written <= 0)
            return false;
        bytes += written;
        count -= static_cast<size_t>(written);
    }
    return true;
}

}

RecordingRelay::RecordingRelay(uint16_t serverPort) : serverPort_(serverPort)
{
    listening_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = LoopbackAddress(0);
    socklen_t length = sizeof address;
    if (listening_ < 0 || bind(listening_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        listen(listening_, 8) != 0 || getsockname(listening_, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return;
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { run(); });
}

RecordingRelay::~RecordingRelay()
{
    finish(std::chrono::milliseconds(0));
}

std::vector<Transcript> RecordingRelay::finish(std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    const auto allClosed = [this] {
        const std::lock_guard guard(mutex_);
        for (const Relayed &relayed : relayed_) {
            if (relayed.clientOpen || relayed.serverOpen)
                return false;
        }
        return true;
    };
    while (!allClosed() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMilliseconds));
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listening_ >= 0)
        close(listening_);
    listening_ = -1;
    std::vector<Transcript> transcripts;
    for (Relayed &relayed : relayed_) {
        close(relayed.client);
        close(relayed.server);
        transcripts.push_back(std::move(relayed.transcript));
    }
    relayed_.clear();
    return transcripts;
}

void RecordingRelay::run()
{
    while (!stop_) {
        std::vector<pollfd> watched{{listening_, POLLIN, 0}};
        {
            const std::lock_guard guard(mutex_);
            for (const Relayed &relayed : relayed_) {
                watched.push_back({relayed.clientOpen ? relayed.client : -1, POLLIN, 0});
                watched.push_back({relayed.serverOpen ? relayed.server : -1, POLLIN, 0});
            }
        }
        if (poll(watched.data(), watched.size(), kPollMilliseconds) <= 0)
            continue;
        const std::lock_guard guard(mutex_);
        for (size_t i = 0; i < relayed_.size(); ++i) {
            if (watched[1 + 2 * i].revents)
                relayed_[i].clientOpen = pass(relayed_[i], true);
            if (watched[2 + 2 * i].revents)
                relayed_[i].serverOpen = pass(relayed_[i], false);
        }
        if (watched[0].revents & POLLIN)
            accept();
    }
}

void RecordingRelay::accept()
{
    const int client = ::accept(listening_, nullptr, nullptr);
    if (client < 0)
        return;
    const int server = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = LoopbackAddress(serverPort_);
    if (connect(server, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        close(client);
        close(server);
        return;
    }
    Relayed relayed;
    relayed.client = client;
    relayed.server = server;
    relayed_.push_back(std::move(relayed));
}

// Passes on what one side wrote; false once that side has closed.
bool RecordingRelay::pass(Relayed &relayed, bool fromClient)
{
    std::string bytes(kReadSize, '\0');
    const ssize_t count = recv(fromClient ? relayed.client : relayed.server, bytes.data(), bytes.size(), 0);
    const int other = fromClient ? relayed.server : relayed.client;
    if (count <= 0) {
        shutdown(other, SHUT_WR);
        return false;
    }
    bytes.resize(static_cast<size_t>(count));
    relayed.transcript.chunks.push_back({fromClient, bytes});
    return writeAll(other, bytes.data(), bytes.size());
}

}

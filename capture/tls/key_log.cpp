#include "key_log.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace quillnet::tls {

namespace {

// A browser that runs for weeks writes far more; the oldest connections'
// secrets are the ones least likely to be needed again.
constexpr size_t kMaxEntries = 131072;
// No valid line comes near this; a longer one is skipped to its newline.
constexpr size_t kMaxLineLength = 512;
constexpr size_t kReadChunk = 65536;
// What one look reads at the most, so that a frame never waits long on a huge
// log; the rest is read by the looks that follow.
constexpr uint64_t kMaxReadPerLook = 8 * 1024 * 1024;
// The file's first bytes, to tell a new file that took the old one's inode.
constexpr size_t kHeadLength = 64;

struct LabelName {
    std::string_view name;
    SecretLabel label;
};

constexpr std::array<LabelName, kSecretLabelCount> kLabels{{
    {"CLIENT_RANDOM", SecretLabel::kMasterSecret},
    {"CLIENT_HANDSHAKE_TRAFFIC_SECRET", SecretLabel::kClientHandshakeTraffic},
    {"SERVER_HANDSHAKE_TRAFFIC_SECRET", SecretLabel::kServerHandshakeTraffic},
    {"CLIENT_TRAFFIC_SECRET_0", SecretLabel::kClientTraffic0},
    {"SERVER_TRAFFIC_SECRET_0", SecretLabel::kServerTraffic0},
}};

std::optional<uint8_t> hexDigit(char digit)
{
    if (digit >= '0' && digit <= '9')
        return static_cast<uint8_t>(digit - '0');
    if (digit >= 'a' && digit <= 'f')
        return static_cast<uint8_t>(digit - 'a' + 10);
    if (digit >= 'A' && digit <= 'F')
        return static_cast<uint8_t>(digit - 'A' + 10);
    return std::nullopt;
}

// Decodes `hex` into `out`, which must be exactly half its length.
bool decodeHex(std::string_view hex, std::span<uint8_t> out)
{
    if (hex.size() != out.size() * 2)
        return false;
    for (size_t i = 0; i < out.size(); ++i) {
        const auto high = hexDigit(hex[2 * i]);
        const auto low = hexDigit(hex[2 * i + 1]);
        if (!high || !low)
            return false;
        out[i] = static_cast<uint8_t>(*high << 4 | *low);
    }
    return true;
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

// The next space-separated field of `line`, which is advanced past it.
std::string_view nextField(std::string_view &line)
{
    size_t start = 0;
    while (start < line.size() && isSpace(line[start]))
        ++start;
    size_t end = start;
    while (end < line.size() && !isSpace(line[end]))
        ++end;
    const std::string_view field = line.substr(start, end - start);
    line.remove_prefix(end);
    return field;
}

std::string headOf(int file, size_t length)
{
    std::string head(length, '\0');
    const ssize_t count = pread(file, head.data(), head.size(), 0);
    head.resize(count > 0 ? static_cast<size_t>(count) : 0);
    return head;
}

// Never blocks: a FIFO opens at once and is refused with the other files
// that are not regular, which could block a read or never end.
int openRegular(const std::string &path, struct stat &status, int &error)
{
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (file < 0) {
        error = errno;
        return -1;
    }
    if (fstat(file, &status) != 0 || !S_ISREG(status.st_mode)) {
        error = S_ISDIR(status.st_mode) ? EISDIR : kNotRegularFile;
        close(file);
        return -1;
    }
    error = 0;
    return file;
}

std::optional<SecretLabel> labelNamed(std::string_view name)
{
    for (const LabelName &known : kLabels) {
        if (known.name == name)
            return known.label;
    }
    return std::nullopt;
}

}

size_t KeyLog::RandomHash::operator()(const Random &random) const
{
    // The random is random: its first bytes are as good a hash as any.
    size_t hash = 0;
    for (size_t i = 0; i < sizeof hash; ++i)
        hash = hash << 8 | random[i];
    return hash;
}

int KeyLogProblem(const std::string &path)
{
    if (path.empty())
        return 0;
    struct stat status {};
    int error = 0;
    const int file = openRegular(path, status, error);
    if (file >= 0)
        close(file);
    return error;
}

KeyLog::KeyLog(std::string path) : path_(std::move(path)) {}

std::optional<Secret> KeyLog::find(const Random &clientRandom, SecretLabel label, size_t length)
{
    const auto known = [&]() -> std::optional<Secret> {
        const auto entry = entries_.find(clientRandom);
        if (entry == entries_.end() || entry->second[static_cast<size_t>(label)].size != length)
            return std::nullopt;
        return entry->second[static_cast<size_t>(label)];
    };
    if (auto secret = known())
        return secret;
    readAppended();
    return known();
}

bool KeyLog::readAppended()
{
    const size_t addedBefore = added_;
    if (path_.empty())
        return false;
    struct stat status {};
    int error = 0;
    const int file = openRegular(path_, status, error);
    if (file < 0)
        return false;
    // A new file in its place, or the same one emptied, is read from its start.
    if (status.st_dev != device_ || status.st_ino != inode_ || static_cast<uint64_t>(status.st_size) < offset_ ||
        headOf(file, head_.size()) != head_) {
        device_ = status.st_dev;
        inode_ = status.st_ino;
        offset_ = 0;
        partialLine_.clear();
        head_.clear();
    }
    std::string chunk(kReadChunk, '\0');
    ssize_t count = 0;
    bool grew = false;
    const uint64_t lookEnd = offset_ + kMaxReadPerLook;
    while (offset_ < lookEnd && (count = pread(file, chunk.data(), chunk.size(), static_cast<off_t>(offset_))) > 0) {
        if (head_.size() < kHeadLength && offset_ == 0)
            head_ = headOf(file, kHeadLength);
        offset_ += static_cast<uint64_t>(count);
        addText(std::string_view(chunk).substr(0, static_cast<size_t>(count)));
        grew = true;
    }
    if (!grew && !partialLine_.empty()) {
        // Nothing came after it since the last look: most likely a last line
        // written without newline. It is kept, so that if it was only cut,
        // the whole line replaces what it gave; a cut secret is too short to
        // be used.
        addLine(partialLine_);
    }
    close(file);
    return added_ != addedBefore;
}

void KeyLog::addText(std::string_view text)
{
    while (!text.empty()) {
        const size_t newline = text.find('\n');
        const std::string_view piece = text.substr(0, newline);
        if (partialLine_.size() + piece.size() <= kMaxLineLength)
            partialLine_.append(piece);
        else
            partialLine_.assign(kMaxLineLength + 1, '#'); // too long: skipped whole at its newline
        if (newline == std::string_view::npos)
            return;
        if (partialLine_.size() <= kMaxLineLength)
            addLine(partialLine_);
        partialLine_.clear();
        text.remove_prefix(newline + 1);
    }
}

void KeyLog::addLine(std::string_view line)
{
    const std::string_view name = nextField(line);
    const auto label = labelNamed(name);
    if (!label)
        return; // comments, blank lines and labels without use here
    Random random{};
    Secret secret;
    const std::string_view randomHex = nextField(line);
    const std::string_view secretHex = nextField(line);
    secret.size = static_cast<uint8_t>(secretHex.size() / 2);
    if (!nextField(line).empty() || secretHex.size() > 2 * kMaxSecretLength || secret.size == 0 ||
        !decodeHex(randomHex, random) || !decodeHex(secretHex, std::span(secret.bytes).first(secret.size)))
        return;
    if (*label == SecretLabel::kMasterSecret && secret.size != kMasterSecretLength)
        return;
    store(random, *label, secret);
}

void KeyLog::store(const Random &random, SecretLabel label, const Secret &secret)
{
    auto [entry, inserted] = entries_.try_emplace(random);
    if (inserted) {
        order_.push_back(random);
        if (order_.size() > kMaxEntries) {
            entries_.erase(order_.front());
            order_.pop_front();
        }
    }
    Secret &stored = entry->second[static_cast<size_t>(label)];
    if (stored.view().text() == secret.view().text())
        return;
    stored = secret;
    ++added_;
}

}

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "key_log.h"
#include "temporary_directory.h"

using namespace quillnet::tls;
using namespace testing_support;

namespace {

const std::string kRandomHex(64, 'a');
const std::string kSecretHex = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";

Random randomOf(uint8_t byte)
{
    Random random;
    random.fill(byte);
    return random;
}

std::string secretText(const std::optional<Secret> &secret)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    if (!secret)
        return "(none)";
    for (size_t i = 0; i < secret->size; ++i)
        text += {digits[secret->bytes[i] >> 4], digits[secret->bytes[i] & 15]};
    return text;
}

TEST(KeyLog, TakesWholeWellFormedLinesOnly)
{
    KeyLog log("");
    log.addText("# comment with CLIENT_RANDOM " + kRandomHex + " " + kSecretHex + "\n");
    log.addText("\n   \nEXPORTER_SECRET " + kRandomHex + " " + kSecretHex + "\n");
    log.addText("CLIENT_TRAFFIC_SECRET_0 " + kRandomHex + " " + kSecretHex.substr(1) + "\n"); // odd length
    log.addText("CLIENT_TRAFFIC_SECRET_0 " + kRandomHex.substr(2) + " " + kSecretHex + "\n");   // short random
    log.addText("CLIENT_TRAFFIC_SECRET_0 " + kRandomHex + " " + kSecretHex + " extra\n");
    log.addText("SERVER_TRAFFIC_SECRET_0 " + kRandomHex + " zz" + kSecretHex.substr(2) + "\n");
    log.addText("CLIENT_RANDOM " + std::string(600, 'b') + "\n");
    EXPECT_EQ(log.generation(), 0u);
    EXPECT_FALSE(log.find(randomOf(0xAA), SecretLabel::kClientTraffic0, 32));

    // Cut anywhere, CRLF or not: the same secret once the newline comes.
    const std::string line = "SERVER_HANDSHAKE_TRAFFIC_SECRET\t" + std::string(64, 'A') + "  " + kSecretHex + "\r\n";
    log.addText(line.substr(0, 50));
    EXPECT_FALSE(log.find(randomOf(0xAA), SecretLabel::kServerHandshakeTraffic, 32));
    log.addText(line.substr(50));
    EXPECT_EQ(secretText(log.find(randomOf(0xAA), SecretLabel::kServerHandshakeTraffic, 32)), kSecretHex);
    EXPECT_FALSE(log.find(randomOf(0xAA), SecretLabel::kClientHandshakeTraffic, 32));

    const std::string master(96, 'c');
    log.addText("CLIENT_RANDOM " + std::string(64, 'b') + " " + master + "\n");
    EXPECT_EQ(secretText(log.find(randomOf(0xBB), SecretLabel::kMasterSecret, kMasterSecretLength)), master);
}

TEST(KeyLog, ReadsWhatIsAppendedAndAFileThatReplacesIt)
{
    const TemporaryDirectory folder;
    const std::string path = folder.file("keys.log");
    KeyLog log(path);
    EXPECT_FALSE(log.find(randomOf(0xAA), SecretLabel::kClientTraffic0, 32)) << "no file yet";

    const std::string line = "CLIENT_TRAFFIC_SECRET_0 " + kRandomHex + " " + kSecretHex;
    WriteWholeFile(path, line.substr(0, 40));
    EXPECT_FALSE(log.find(randomOf(0xAA), SecretLabel::kClientTraffic0, 32));
    std::ofstream(path, std::ios::app) << line.substr(40);
    // Read once as it grew; taken as whole once nothing more came after it.
    EXPECT_FALSE(log.readAppended());
    EXPECT_EQ(secretText(log.find(randomOf(0xAA), SecretLabel::kClientTraffic0, 32)), kSecretHex);

    // A new file under the same name is read from its start.
    const std::string other = "CLIENT_TRAFFIC_SECRET_0 " + std::string(64, 'b') + " " + kSecretHex + "\n";
    std::filesystem::remove(path);
    WriteWholeFile(path, other);
    EXPECT_EQ(secretText(log.find(randomOf(0xBB), SecretLabel::kClientTraffic0, 32)), kSecretHex);
    EXPECT_EQ(secretText(log.find(randomOf(0xAA), SecretLabel::kClientTraffic0, 32)), kSecretHex) << "kept";
}

TEST(KeyLog, OnlyRegularFilesAreReadAndNeverWhole)
{
    const TemporaryDirectory folder;
    const std::string fifo = folder.file("keys.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(KeyLogProblem(""), 0);
    EXPECT_EQ(KeyLogProblem(folder.file("missing.log")), ENOENT);
    EXPECT_EQ(KeyLogProblem(folder.path().string()), EISDIR);
    EXPECT_EQ(KeyLogProblem(fifo), kNotRegularFile);
    EXPECT_EQ(KeyLogProblem("/dev/zero"), kNotRegularFile);
    // Neither a FIFO without a writer nor an endless device may hold up a lookup.
    for (const std::string &path : {fifo, std::string("/dev/zero")}) {
        KeyLog log(path);
        EXPECT_FALSE(log.find(randomOf(0xAA), SecretLabel::kClientTraffic0, 32)) << path;
    }

    // A long log is read a bounded part at each look; what is further on comes with later looks.
    const std::string path = folder.file("keys.log");
    {
        std::ofstream out(path);
        const std::string comment = "# " + std::string(1000, 'x') + "\n";
        for (int i = 0; i < 9 * 1024; ++i)
            out << comment;
        out << "CLIENT_TRAFFIC_SECRET_0 " << kRandomHex << " " << kSecretHex << "\n";
    }
    KeyLog log(path);
    EXPECT_FALSE(log.find(randomOf(0xAA), SecretLabel::kClientTraffic0, 32));
    EXPECT_EQ(secretText(log.find(randomOf(0xAA), SecretLabel::kClientTraffic0, 32)), kSecretHex);
}

}

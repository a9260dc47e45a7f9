#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTest>
#include <QTimer>

#include <cstring>
#include <optional>
#include <ostream>
#include <utility>
#include <string>
#include <vector>

#include <pwd.h>
#include <unistd.h>

#include "handoff_link.h"
#include "handoff_receiver.h"

namespace {

using namespace tarvolin;

constexpr int kGenerousMs = 10000;
constexpr int kShortReplyTimeoutMs = 500;
constexpr int kLongReplyTimeoutMs = 60000; // beyond kGenerousMs: a test that waits for it fails
constexpr int kTickMs = 10;

// Never the real download manager's name, and no clash between tests or runs.
QString TestServerName()
{
    const auto *test = testing::UnitTest::GetInstance()->current_test_info();
    return QStringLiteral("tarvolin-test-%1-%2.%3")
        .arg(getpid())
        .arg(QString::fromLatin1(test->test_suite_name()), QString::fromLatin1(test->name()));
}

// Every byte differs from its neighbours, so a lost, moved or zeroed byte shows.
HandOffRecord RecordWithUrl(const std::string &url)
{
    HandOffRecord record;
    auto *bytes = reinterpret_cast<unsigned char *>(&record);
    for (size_t index = 0; index < sizeof record; ++index)
        bytes[index] = static_cast<unsigned char>(index * 7 + 3);
    std::memcpy(record.url, url.c_str(), url.size() + 1);
    return record;
}

QByteArray BytesOf(const HandOffRecord &record)
{
    return QByteArray(reinterpret_cast<const char *>(&record), sizeof record);
}

std::string UrlOf(const HandOffRecord &record)
{
    return std::string(record.url, strnlen(record.url, sizeof record.url));
}

std::optional<HandOffResult> SendAndWait(HandOffLink &link, std::vector<HandOffMessage> messages)
{
    std::optional<HandOffResult> result;
    link.send(std::move(messages), [&result](HandOffResult outcome) { result = outcome; });
    return QTest::qWaitFor([&result] { return result.has_value(); }, kGenerousMs) ? result : std::nullopt;
}

struct Received {
    uint32_t wParam;
    std::string url;
    bool operator==(const Received &) const = default;
    friend void PrintTo(const Received &received, std::ostream *out) { *out << received.wParam << ' ' << received.url; }
};

class HandOffFixture : public testing::Test {
protected:
    void SetUp() override
    {
        QObject::connect(&receiver, &HandOffReceiver::received, [this](uint32_t wParam, const HandOffRecord &record) {
            received.push_back({wParam, UrlOf(record)});
        });
    }
    // Whatever a test put at the path in place of a socket.
    void TearDown() override { QFile::remove(path); }

    void startReceiver() { ASSERT_TRUE(receiver.listen(name)) << receiver.errorString().toStdString(); }

    void expectNotFound(HandOffLink &link)
    {
        EXPECT_FALSE(link.receiverListening());
        EXPECT_EQ(SendAndWait(link, {{kHandOffPlain, RecordWithUrl("http://a.example/v.flv")}}),
                  HandOffResult::NotRunning);
        EXPECT_TRUE(received.empty());
    }

    const QString name = TestServerName();
    const QString path = HandOffSocketPath(name);
    HandOffReceiver receiver;
    std::vector<Received> received;
};

// What the program sends, seen by a server that keeps the bytes.
class HandOffWire : public HandOffFixture {};
// The sending side against the receiver.
class HandOffLinkTest : public HandOffFixture {};
// The receiving side against raw clients.
class HandOffReceiverTest : public HandOffFixture {};

// Keeps each connection's bytes as they came; answers, or hangs up, once a whole message is in.
class RawServer {
public:
    enum class Behaviour { Answer, HangUp };

    RawServer(const QString &name, Behaviour behaviour)
    {
        QObject::connect(&server_, &QLocalServer::newConnection, [this, behaviour] {
            while (QLocalSocket *socket = server_.nextPendingConnection())
                take(socket, behaviour);
        });
        listening = server_.listen(name);
    }

    bool listening = false;
    std::vector<QByteArray> connections;

private:
    void take(QLocalSocket *socket, Behaviour behaviour)
    {
        const size_t index = connections.size();
        connections.emplace_back();
        QObject::connect(socket, &QLocalSocket::readyRead, [this, socket, index, behaviour] {
            const bool wasWhole = connections[index].size() >= kHandOffMessageSize;
            connections[index] += socket->readAll();
            if (wasWhole || connections[index].size() < kHandOffMessageSize)
                return;
            if (behaviour == Behaviour::HangUp) {
                socket->abort();
                return;
            }
            socket->write(QByteArray("\x01\x00\x00\x00", 4));
        });
    }

    QLocalServer server_;
};

const QByteArray kPlainHeader("\x4A\x00\x00\x00" "\x6A\x00\x00\x00" "\x69\x00\x00\x00" "\x30\x1C\x00\x00", 16);
const QByteArray kImmediateHeader("\x4A\x00\x00\x00" "\x69\x00\x00\x00" "\x69\x00\x00\x00" "\x30\x1C\x00\x00", 16);

TEST_F(HandOffWire, EachMessageIsItsHeaderThenTheRecordBytesOnItsOwnConnection)
{
    RawServer server(name, RawServer::Behaviour::Answer);
    ASSERT_TRUE(server.listening);
    const HandOffRecord plain = RecordWithUrl("http://a.example/plain.flv");
    const HandOffRecord immediate = RecordWithUrl("http://b.example/immediate.mp4");
    HandOffLink link(name);

    EXPECT_EQ(SendAndWait(link, {{kHandOffPlain, plain}, {kHandOffImmediate, immediate}}), HandOffResult::Delivered);

    ASSERT_EQ(server.connections.size(), 2u);
    EXPECT_EQ(server.connections[0], kPlainHeader + BytesOf(plain));
    EXPECT_EQ(server.connections[1], kImmediateHeader + BytesOf(immediate));
}

TEST_F(HandOffWire, ReceiverHangingUpWithoutAnAnswerIsNoReplyWithoutWaitingForTheTimeOut)
{
    RawServer server(name, RawServer::Behaviour::HangUp);
    ASSERT_TRUE(server.listening);
    HandOffLink link(name, kLongReplyTimeoutMs);

    EXPECT_EQ(SendAndWait(link, {{kHandOffPlain, RecordWithUrl("http://h/1")}, {kHandOffPlain, RecordWithUrl("http://h/2")}}),
              HandOffResult::NoReply);
    EXPECT_EQ(server.connections.size(), 1u);
}

TEST_F(HandOffLinkTest, ThreeMessagesArriveInOrderAndLaterSendsWaitTheirTurn)
{
    startReceiver();
    HandOffLink link(name);
    std::vector<HandOffResult> outcomes;
    const auto record = [&outcomes](HandOffResult outcome) { outcomes.push_back(outcome); };

    link.send({{kHandOffImmediate, RecordWithUrl("http://h/1")},
               {kHandOffImmediate, RecordWithUrl("http://h/2")},
               {kHandOffImmediate, RecordWithUrl("http://h/3")}},
              record);
    link.send({{kHandOffPlain, RecordWithUrl("http://h/4")}}, record);
    EXPECT_TRUE(outcomes.empty()) << "send must return before any outcome";
    ASSERT_TRUE(QTest::qWaitFor([&outcomes] { return outcomes.size() == 2; }, kGenerousMs));

    EXPECT_EQ(outcomes, (std::vector{HandOffResult::Delivered, HandOffResult::Delivered}));
    // The receiver takes one message per connection, so four arrivals mean four connections.
    EXPECT_EQ(received, (std::vector<Received>{{kHandOffImmediate, "http://h/1"},
                                               {kHandOffImmediate, "http://h/2"},
                                               {kHandOffImmediate, "http://h/3"},
                                               {kHandOffPlain, "http://h/4"}}));
}

TEST_F(HandOffLinkTest, NoReceiverIsNotRunning)
{
    HandOffLink link(name);
    expectNotFound(link);
}

TEST_F(HandOffLinkTest, SocketOfAnotherUserIsNotFound)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to give a socket to another user";
    const passwd *nobody = getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    startReceiver();
    const QByteArray file = QFile::encodeName(path);
    ASSERT_EQ(chown(file.constData(), nobody->pw_uid, nobody->pw_gid), 0);
    HandOffLink link(name);

    expectNotFound(link);

    // The same listening socket is found again once it is ours.
    ASSERT_EQ(chown(file.constData(), geteuid(), getegid()), 0);
    EXPECT_TRUE(link.receiverListening());
}

TEST_F(HandOffLinkTest, PlainFileOrSymbolicLinkAtThePathIsNotFound)
{
    HandOffLink link(name);
    QFile plain(path);
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    expectNotFound(link);

    // Even to our own receiver: the link could be anyone's.
    ASSERT_TRUE(plain.remove());
    const QString target = name + QStringLiteral("-target");
    ASSERT_TRUE(receiver.listen(target));
    ASSERT_TRUE(QFile::link(HandOffSocketPath(target), path));
    expectNotFound(link);
}

TEST_F(HandOffLinkTest, SilentReceiverIsAbandonedAfterTheTimeOutWhileTheEventLoopRuns)
{
    startReceiver();
    receiver.setReplying(false);
    HandOffLink link(name, kShortReplyTimeoutMs);
    std::optional<HandOffResult> outcome;
    int ticksWhilePending = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (!outcome)
            ++ticksWhilePending;
    });
    ticker.start(kTickMs);

    link.send({{kHandOffImmediate, RecordWithUrl("http://h/1")}, {kHandOffImmediate, RecordWithUrl("http://h/2")}},
              [&outcome](HandOffResult result) { outcome = result; });
    EXPECT_FALSE(outcome.has_value()) << "send must not wait for the receiver";
    ASSERT_TRUE(QTest::qWaitFor([&outcome] { return outcome.has_value(); }, kGenerousMs));

    EXPECT_EQ(outcome, HandOffResult::NoReply);
    EXPECT_GE(ticksWhilePending, 3);
    EXPECT_EQ(received, (std::vector<Received>{{kHandOffImmediate, "http://h/1"}})) << "the rest is dropped";

    // A hung receiver does not wedge the link.
    receiver.setReplying(true);
    EXPECT_EQ(SendAndWait(link, {{kHandOffPlain, RecordWithUrl("http://h/3")}}), HandOffResult::Delivered);
}

TEST_F(HandOffLinkTest, ReceiverStartedAfterAFailedAttemptGetsTheNextSend)
{
    HandOffLink link(name);
    ASSERT_EQ(SendAndWait(link, {{kHandOffPlain, RecordWithUrl("http://h/lost")}}), HandOffResult::NotRunning);

    startReceiver();

    EXPECT_TRUE(link.receiverListening());
    EXPECT_EQ(SendAndWait(link, {{kHandOffPlain, RecordWithUrl("http://h/found")}}), HandOffResult::Delivered);
    EXPECT_EQ(received, (std::vector<Received>{{kHandOffPlain, "http://h/found"}}));
}

// A client that writes raw bytes, as a foreign or broken sender would.
class RawClient {
public:
    explicit RawClient(const QString &name)
    {
        socket_.connectToServer(name);
        connected = socket_.state() == QLocalSocket::ConnectedState;
    }
    void write(const QByteArray &bytes)
    {
        socket_.write(bytes);
        QTest::qWait(kTickMs);
    }
    bool waitUntilClosed()
    {
        return QTest::qWaitFor([this] { return socket_.state() == QLocalSocket::UnconnectedState; }, kGenerousMs);
    }
    QByteArray answer() { return socket_.readAll(); }

    bool connected = false;

private:
    QLocalSocket socket_;
};

TEST_F(HandOffReceiverTest, ClosesOnAForeignHeaderAndKeepsServing)
{
    startReceiver();
    const QByteArray record = BytesOf(RecordWithUrl("http://h/bad"));
    const std::vector<QByteArray> badHeaders = {
        QByteArray("\x4B\x00\x00\x00" "\x6A\x00\x00\x00" "\x69\x00\x00\x00" "\x30\x1C\x00\x00", 16), // message
        QByteArray("\x4A\x00\x00\x00" "\x6A\x00\x00\x00" "\x6A\x00\x00\x00" "\x30\x1C\x00\x00", 16), // data kind
        QByteArray("\x4A\x00\x00\x00" "\x6A\x00\x00\x00" "\x69\x00\x00\x00" "\x2F\x1C\x00\x00", 16), // size - 1
        QByteArray("\x4A\x00\x00\x00" "\x6A\x00\x00\x00" "\x69\x00\x00\x00" "\xFF\xFF\xFF\xFF", 16), // huge size
        QByteArray("\x00\x00\x00\x4A" "\x00\x00\x00\x6A" "\x00\x00\x00\x69" "\x00\x00\x1C\x30", 16), // big-endian
    };
    for (const QByteArray &header : badHeaders) {
        RawClient client(name);
        ASSERT_TRUE(client.connected);
        client.write(header + record);
        EXPECT_TRUE(client.waitUntilClosed()) << header.toHex().toStdString();
        EXPECT_TRUE(client.answer().isEmpty());
    }
    {
        RawClient truncated(name);
        ASSERT_TRUE(truncated.connected);
        truncated.write(kPlainHeader + record.left(100));
    }
    EXPECT_TRUE(received.empty());

    HandOffLink link(name);
    EXPECT_EQ(SendAndWait(link, {{kHandOffPlain, RecordWithUrl("http://h/good")}}), HandOffResult::Delivered);
    EXPECT_EQ(received, (std::vector<Received>{{kHandOffPlain, "http://h/good"}}));
}

TEST_F(HandOffReceiverTest, AssemblesAMessageWrittenInPiecesAndAnswersOne)
{
    startReceiver();
    HandOffRecord sent = RecordWithUrl("http://h/pieces");
    std::vector<HandOffRecord> records;
    QObject::connect(&receiver, &HandOffReceiver::received,
                     [&records](uint32_t, const HandOffRecord &record) { records.push_back(record); });
    const QByteArray message = kImmediateHeader + BytesOf(sent);
    RawClient client(name);
    ASSERT_TRUE(client.connected);

    const std::pair<int, int> pieces[] = {{0, 7}, {7, 9}, {16, 3000}, {3016, 4216}}; // split header, then record
    for (const auto &[from, length] : pieces)
        client.write(message.mid(from, length));
    EXPECT_TRUE(client.waitUntilClosed());

    EXPECT_EQ(client.answer(), QByteArray("\x01\x00\x00\x00", 4));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(BytesOf(records[0]), BytesOf(sent));
    EXPECT_EQ(received, (std::vector<Received>{{kHandOffImmediate, "http://h/pieces"}}));
}

}

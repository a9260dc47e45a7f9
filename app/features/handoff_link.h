// Hands URL records to the download manager over a local socket of the user's
// own. A message is a 16-byte header of four little-endian 32-bit numbers
// (message, wParam, data kind, data size) and the record's bytes; the receiver
// answers each with a 4-byte little-endian result, one message per connection.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "url_store.h"

class QLocalSocket;

namespace tarvolin {

inline constexpr char kDownloadManagerName[] = "Marrowfetch";
inline constexpr uint32_t kHandOffMessage = 0x004A; // the copy-data message number of the original transport
inline constexpr uint32_t kHandOffPlain = 106;
inline constexpr uint32_t kHandOffImmediate = 105; // also the automatic hand-off
inline constexpr uint32_t kHandOffDataKind = 105;
inline constexpr uint32_t kHandOffRecordSize = sizeof(HandOffRecord);
inline constexpr int kHandOffHeaderSize = 16;
inline constexpr int kHandOffMessageSize = kHandOffHeaderSize + int{kHandOffRecordSize};
inline constexpr int kHandOffReplySize = 4;
inline constexpr int kHandOffReplyTimeoutMs = 5000;

struct HandOffMessage {
    uint32_t wParam; // kHandOffPlain or kHandOffImmediate
    HandOffRecord record;
};

enum class HandOffResult {
    Delivered,  // every message was answered
    NotRunning, // no receiver of ours could be connected; the rest was not sent
    NoReply,    // a receiver took a message but did not answer in time; the rest was dropped
};

// The full path of a local server name, where QLocalSocket looks for it.
QString HandOffSocketPath(const QString &serverName);

class HandOffLink : public QObject {
    Q_OBJECT

public:
    explicit HandOffLink(const QString &serverName = QString::fromLatin1(kDownloadManagerName),
                         int replyTimeoutMs = kHandOffReplyTimeoutMs, QObject *parent = nullptr);

    // A socket of this user (or root) that accepts a connection now; never waits.
    bool receiverListening() const;

    // Sends the messages in order, each on its own connection, after any sends
    // queued before. Returns at once; `done` runs later on this object's thread
    // with the outcome, unless the link is destroyed first.
    void send(std::vector<HandOffMessage> messages, std::function<void(HandOffResult)> done = {});

    // Sends not yet finished, the one on its way included.
    size_t waitingSends() const { return batches_.size(); }

private:
    struct Batch {
        std::vector<HandOffMessage> messages;
        std::function<void(HandOffResult)> done;
    };

    void scheduleNext();
    void sendNext();
    void onConnected();
    void onReadyRead();
    void onSocketEnded();
    void finishBatch(HandOffResult result);
    void dropSocket();

    QString socketPath_;
    std::deque<Batch> batches_;
    size_t answered_ = 0; // messages of the front batch answered so far
    QLocalSocket *socket_ = nullptr;
    bool connected_ = false;
    QTimer replyTimer_;
};

}

#include "handoff_link.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QtEndian>

#include <bit>
#include <cstring>
#include <type_traits>

#include <sys/stat.h>
#include <unistd.h>

namespace tarvolin {

// The record goes out as its own bytes, and the receiver reads its integers little-endian.
static_assert(std::endian::native == std::endian::little);
static_assert(std::is_trivially_copyable_v<HandOffRecord>);

namespace {

constexpr uid_t kRootUid = 0;

// In a shared temporary directory anyone may create the name first and collect our URLs.
bool OwnSocketAt(const QString &path)
{
    struct stat status {};
    if (lstat(QFile::encodeName(path).constData(), &status) != 0)
        return false;
    return S_ISSOCK(status.st_mode) && (status.st_uid == geteuid() || status.st_uid == kRootUid);
}

QByteArray Frame(const HandOffMessage &message)
{
    QByteArray frame(kHandOffMessageSize, Qt::Uninitialized);
    char *at = frame.data();
    for (uint32_t number : {kHandOffMessage, message.wParam, kHandOffDataKind, kHandOffRecordSize}) {
        qToLittleEndian(number, at);
        at += sizeof number;
    }
    std::memcpy(at, &message.record, sizeof message.record);
    return frame;
}

}

QString HandOffSocketPath(const QString &serverName)
{
    if (QDir::isAbsolutePath(serverName))
        return serverName;
    return QDir::tempPath() + QLatin1Char('/') + serverName;
}

HandOffLink::HandOffLink(const QString &serverName, int replyTimeoutMs, QObject *parent)
    : QObject(parent), socketPath_(HandOffSocketPath(serverName))
{
    replyTimer_.setSingleShot(true);
    replyTimer_.setInterval(replyTimeoutMs);
    connect(&replyTimer_, &QTimer::timeout, this, [this] { finishBatch(HandOffResult::NoReply); });
}

bool HandOffLink::receiverListening() const
{
    if (!OwnSocketAt(socketPath_))
        return false;
    // A listening local socket accepts at once, before its owner calls accept.
    QLocalSocket probe;
    probe.connectToServer(socketPath_);
    return probe.state() == QLocalSocket::ConnectedState;
}

void HandOffLink::send(std::vector<HandOffMessage> messages, std::function<void(HandOffResult)> done)
{
    batches_.push_back({std::move(messages), std::move(done)});
    if (batches_.size() == 1)
        scheduleNext();
}

// Each step starts from the event loop, so `done` never runs inside send and
// failures in a row do not nest.
void HandOffLink::scheduleNext()
{
    QMetaObject::invokeMethod(this, &HandOffLink::sendNext, Qt::QueuedConnection);
}

void HandOffLink::sendNext()
{
    if (answered_ == batches_.front().messages.size()) {
        finishBatch(HandOffResult::Delivered);
        return;
    }
    if (!OwnSocketAt(socketPath_)) {
        finishBatch(HandOffResult::NotRunning);
        return;
    }
    socket_ = new QLocalSocket(this);
    connected_ = false;
    connect(socket_, &QLocalSocket::connected, this, &HandOffLink::onConnected);
    connect(socket_, &QLocalSocket::readyRead, this, &HandOffLink::onReadyRead);
    connect(socket_, &QLocalSocket::errorOccurred, this, &HandOffLink::onSocketEnded);
    connect(socket_, &QLocalSocket::disconnected, this, &HandOffLink::onSocketEnded);
    replyTimer_.start();
    // By the path just checked. May report the connection or its failure before it returns.
    socket_->connectToServer(socketPath_);
}

void HandOffLink::onConnected()
{
    connected_ = true;
    socket_->write(Frame(batches_.front().messages[answered_]));
}

// The result is not looked at: an answer only means the receiver has the record.
void HandOffLink::onReadyRead()
{
    if (socket_->bytesAvailable() < kHandOffReplySize)
        return;
    dropSocket();
    ++answered_;
    scheduleNext();
}

void HandOffLink::onSocketEnded()
{
    if (socket_->bytesAvailable() >= kHandOffReplySize) {
        onReadyRead();
        return;
    }
    finishBatch(connected_ ? HandOffResult::NoReply : HandOffResult::NotRunning);
}

void HandOffLink::finishBatch(HandOffResult result)
{
    dropSocket();
    auto done = std::move(batches_.front().done);
    batches_.pop_front();
    answered_ = 0;
    if (!batches_.empty())
        scheduleNext();
    // Last, as the caller may send again or destroy the link.
    if (done)
        done(result);
}

void HandOffLink::dropSocket()
{
    replyTimer_.stop();
    if (!socket_)
        return;
    socket_->disconnect(this);
    socket_->abort();
    socket_->deleteLater();
    socket_ = nullptr;
}

}

#include "handoff_receiver.h"

#include <QByteArray>
#include <QLocalSocket>
#include <QtEndian>

#include <array>
#include <cstring>

namespace tarvolin {

namespace {

struct Header {
    uint32_t message;
    uint32_t wParam;
    uint32_t dataKind;
    uint32_t dataSize;
};

static_assert(sizeof(Header) == kHandOffHeaderSize);

Header ReadHeader(const QByteArray &bytes)
{
    const auto number = [&bytes](size_t index) {
        return qFromLittleEndian<uint32_t>(bytes.constData() + index * sizeof(uint32_t));
    };
    return {number(0), number(1), number(2), number(3)};
}

bool Valid(const Header &header)
{
    return header.message == kHandOffMessage && header.dataKind == kHandOffDataKind &&
           header.dataSize == kHandOffRecordSize;
}

bool AnswersAt(const QString &serverName)
{
    QLocalSocket probe;
    probe.connectToServer(serverName);
    return probe.state() == QLocalSocket::ConnectedState;
}

}

HandOffReceiver::HandOffReceiver(QObject *parent) : QObject(parent)
{
    connect(&server_, &QLocalServer::newConnection, this, &HandOffReceiver::onNewConnection);
}

bool HandOffReceiver::listen(const QString &serverName)
{
    if (AnswersAt(serverName)) {
        error_ = QStringLiteral("another receiver is listening on %1").arg(serverName);
        return false;
    }
    QLocalServer::removeServer(serverName);
    // Only this user may connect and send us URLs.
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (server_.listen(serverName))
        return true;
    error_ = server_.errorString();
    return false;
}

void HandOffReceiver::onNewConnection()
{
    while (QLocalSocket *socket = server_.nextPendingConnection()) {
        // A peer that sends more than one message's worth is not read further.
        socket->setReadBufferSize(kHandOffMessageSize);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readMessage(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void HandOffReceiver::readMessage(QLocalSocket *socket)
{
    if (socket->bytesAvailable() < kHandOffHeaderSize)
        return;
    const Header header = ReadHeader(socket->peek(kHandOffHeaderSize));
    if (!Valid(header)) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    if (socket->bytesAvailable() < kHandOffMessageSize)
        return;
    const QByteArray message = socket->read(kHandOffMessageSize);
    // One message per connection: whatever follows is not read.
    socket->disconnect(this);
    HandOffRecord record;
    std::memcpy(&record, message.constData() + kHandOffHeaderSize, sizeof record);
    emit received(header.wParam, record);
    if (!replying_)
        return;
    std::array<char, kHandOffReplySize> reply{};
    qToLittleEndian(kHandOffAccepted, reply.data());
    socket->write(reply.data(), reply.size());
    socket->disconnectFromServer();
}

}

#include "instance_channel.h"

#include <QDataStream>
#include <QFileInfo>
#include <QLocalSocket>

#include <unistd.h>

namespace tarvolin {

namespace {

// A copy that runs answers at once; one that hangs is not waited for long.
constexpr int kTellTimeoutMs = 2000;

}

InstanceChannel::InstanceChannel(const QString &path, QObject *parent) : QObject(parent)
{
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(path);
    server_.listen(path);
    connect(&server_, &QLocalServer::newConnection, this, &InstanceChannel::accept);
}

void InstanceChannel::accept()
{
    while (QLocalSocket *socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            QDataStream message(socket->readAll());
            QStringList arguments;
            message >> arguments;
            socket->deleteLater();
            emit startedAgain(arguments);
        });
    }
}

bool InstanceChannel::tell(const QString &path, const QStringList &arguments)
{
    // Another user's socket in a shared folder would learn what this one opens.
    if (QFileInfo(path).ownerId() != getuid())
        return false;
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(kTellTimeoutMs))
        return false;
    QByteArray message;
    QDataStream stream(&message, QIODevice::WriteOnly);
    stream << arguments;
    socket.write(message);
    const bool sent = socket.waitForBytesWritten(kTellTimeoutMs);
    socket.disconnectFromServer();
    return sent;
}

}

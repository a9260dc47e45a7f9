// The download manager's end of the hand-off: listens on a local server name,
// reads one message per connection, reports its record and answers it.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

#include <cstdint>

#include "handoff_link.h"

class QLocalSocket;

namespace tarvolin {

inline constexpr uint32_t kHandOffAccepted = 1;

class HandOffReceiver : public QObject {
    Q_OBJECT

public:
    explicit HandOffReceiver(QObject *parent = nullptr);

    // Takes the name over from a stale socket, but not from a receiver that still answers.
    bool listen(const QString &serverName);
    QString errorString() const { return error_; }

    // Off: reports records but never answers, like a hung download manager.
    void setReplying(bool replying) { replying_ = replying; }

signals:
    void received(uint32_t wParam, const tarvolin::HandOffRecord &record);

private:
    void onNewConnection();
    void readMessage(QLocalSocket *socket);

    QLocalServer server_;
    QString error_;
    bool replying_ = true;
};

}

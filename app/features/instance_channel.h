// How a second start reaches the copy that runs: the first copy listens on a
// local socket that only its user can reach; a later one connects, sends its
// command-line arguments and ends.
#pragma once

#include <QLocalServer>
#include <QStringList>

namespace tarvolin {

class InstanceChannel : public QObject {
    Q_OBJECT

public:
    // Listens at `path`. Only the holder of the single-instance lock may: a
    // socket left there by a copy that died is removed first.
    explicit InstanceChannel(const QString &path, QObject *parent = nullptr);

    bool listening() const { return server_.isListening(); }

    // Tells the copy listening at `path`, if it is this user's, that the
    // program was started again with `arguments`. False when it could not.
    static bool tell(const QString &path, const QStringList &arguments);

signals:
    void startedAgain(const QStringList &arguments);

private:
    void accept();

    QLocalServer server_;
};

}

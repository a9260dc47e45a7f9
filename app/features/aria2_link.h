// Hands URLs to aria2 through its JSON-RPC interface: aria2.addUri over HTTP,
// with the request headers the capture saw, so that aria2 fetches what the
// browser fetched.
#pragma once

#include <QNetworkAccessManager>
#include <QObject>
#include <QString>

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "request_details.h"

class QNetworkReply;

namespace tarvolin {

inline constexpr int kAria2ReplyTimeoutMs = 5000;

struct Aria2Target {
    QString rpcUrl;
    std::string secret; // never logged
    std::string dir;    // empty: aria2's own
};

enum class Aria2Outcome {
    Added,        // aria2 queued every download
    NotAnswering, // no JSON-RPC answer came; the rest was not sent
    Refused,      // aria2 answered with an error, a wrong secret among them; the rest was not sent
};

struct Aria2Result {
    Aria2Outcome outcome;
    QString reason; // aria2's error message, or why it did not answer
};

// Whether aria2 fetches URLs of this scheme.
bool Aria2CanFetch(std::string_view url);

// The aria2.addUri call for `details.url`, with the User-Agent, Referer and
// Cookie headers that are known.
QByteArray Aria2AddUriRequest(const RequestDetails &details, const Aria2Target &target, const QString &id);

// For the commands: what went wrong, aria2 named.
QString Aria2FailureText(const Aria2Result &result, const QString &rpcUrl);

// "aria2: N URLs not handed over: <reason>" for automatic hand-offs that
// failed; empty for none.
std::string Aria2FailuresStatus(uint64_t failed, const QString &lastReason);

class Aria2Link : public QObject {
    Q_OBJECT

public:
    explicit Aria2Link(int replyTimeoutMs = kAria2ReplyTimeoutMs, QObject *parent = nullptr);
    ~Aria2Link() override;

    // Adds the downloads in order, each once aria2 has answered the one before
    // and after any sends queued before. Returns at once; `done` runs later on
    // this object's thread, unless the link is destroyed first.
    void send(Aria2Target target, std::vector<RequestDetails> downloads,
              std::function<void(const Aria2Result &)> done = {});

    // Sends not yet finished, the one on its way included.
    size_t waitingSends() const { return batches_.size(); }

private:
    struct Batch {
        Aria2Target target;
        std::vector<RequestDetails> downloads;
        std::function<void(const Aria2Result &)> done;
    };

    void sendNext();
    void onFinished(QNetworkReply *reply);
    void finishBatch(const Aria2Result &result);

    QNetworkAccessManager network_;
    QNetworkReply *reply_ = nullptr; // the answer awaited
    int replyTimeoutMs_;
    std::deque<Batch> batches_;
    size_t added_ = 0; // downloads of the front batch aria2 has taken
    uint64_t nextId_ = 1;
};

}

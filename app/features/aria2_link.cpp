#include "aria2_link.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringDecoder>

#include <algorithm>
#include <optional>

#include "text.h"

namespace tarvolin {

namespace {

constexpr std::string_view kFetchedSchemes[] = {"http://", "https://", "ftp://", "sftp://"};
constexpr std::string_view kRpcSchemes[] = {"http", "https"};
constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr unsigned char kFirstPrintable = 0x21;
constexpr unsigned char kDelete = 0x7F;
constexpr unsigned char kSpace = 0x20;
constexpr int kHexShift = 4;
constexpr unsigned char kLowNibble = 0x0F;
constexpr int kMillisecondsPerSecond = 1000;
constexpr char kTokenPrefix[] = "token:";
constexpr char kIdPrefix[] = "tarvolin-";

// JSON carries text, not bytes: bytes beyond printable ASCII go as their
// percent-encoding, which servers read as the bytes themselves.
QString urlText(std::string_view url)
{
    QString text;
    for (const char c : url) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= kFirstPrintable && byte < kDelete) {
            text += QLatin1Char(c);
            continue;
        }
        text += QLatin1Char('%');
        text += QLatin1Char(kHexDigits[byte >> kHexShift]);
        text += QLatin1Char(kHexDigits[byte & kLowNibble]);
    }
    return text;
}

// A value that is not UTF-8, or that would end its header line early, is left
// out rather than sent changed.
std::optional<QString> headerValue(const std::string &value)
{
    const bool control = std::any_of(value.begin(), value.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte < kSpace && c != '\t') || byte == kDelete;
    });
    if (control)
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder(QByteArrayView(value.data(), static_cast<qsizetype>(value.size())));
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

QJsonArray headers(const RequestDetails &details)
{
    const std::pair<const char *, const std::string &> known[] = {
        {"User-Agent: ", details.userAgent}, {"Referer: ", details.referer}, {"Cookie: ", details.cookie}};
    QJsonArray lines;
    for (const auto &[name, value] : known) {
        if (value.empty())
            continue;
        if (const std::optional<QString> text = headerValue(value))
            lines.append(QString::fromLatin1(name) + *text);
    }
    return lines;
}

Aria2Result readAnswer(QNetworkReply &reply, int replyTimeoutMs)
{
    const QJsonObject answer = QJsonDocument::fromJson(reply.readAll()).object();
    if (answer.contains(QLatin1String("result")))
        return {Aria2Outcome::Added, {}};
    if (answer.value(QLatin1String("error")).isObject())
        return {Aria2Outcome::Refused, answer.value(QLatin1String("error"))[QLatin1String("message")].toString()};
    if (reply.error() == QNetworkReply::OperationCanceledError)
        return {Aria2Outcome::NotAnswering,
                QStringLiteral("no answer within %1 s").arg(replyTimeoutMs / kMillisecondsPerSecond)};
    // Qt's texts for answers name the URL, and with it any password in it.
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid())
        return {Aria2Outcome::NotAnswering, QStringLiteral("HTTP status %1 and no JSON-RPC answer").arg(status.toInt())};
    return {Aria2Outcome::NotAnswering, reply.errorString()};
}

}

bool Aria2CanFetch(std::string_view url)
{
    return std::any_of(std::begin(kFetchedSchemes), std::end(kFetchedSchemes), [url](std::string_view scheme) {
        return EqualIgnoringCase(url.substr(0, scheme.size()), scheme);
    });
}

QByteArray Aria2AddUriRequest(const RequestDetails &details, const Aria2Target &target, const QString &id)
{
    QJsonObject options;
    const QJsonArray lines = headers(details);
    if (!lines.isEmpty())
        options[QLatin1String("header")] = lines;
    if (!target.dir.empty())
        options[QLatin1String("dir")] = QString::fromStdString(target.dir);
    QJsonArray params;
    if (!target.secret.empty())
        params.append(QLatin1String(kTokenPrefix) + QString::fromStdString(target.secret));
    params.append(QJsonArray{urlText(details.url)});
    params.append(options);
    const QJsonObject call{{QLatin1String("jsonrpc"), QLatin1String("2.0")},
                           {QLatin1String("id"), id},
                           {QLatin1String("method"), QLatin1String("aria2.addUri")},
                           {QLatin1String("params"), params}};
    return QJsonDocument(call).toJson(QJsonDocument::Compact);
}

QString Aria2FailureText(const Aria2Result &result, const QString &rpcUrl)
{
    if (result.outcome == Aria2Outcome::Refused)
        return QStringLiteral("aria2 refused the URL: %1").arg(result.reason);
    return QStringLiteral("aria2 is not answering at %1: %2")
        .arg(QUrl(rpcUrl).toDisplayString(QUrl::RemoveUserInfo), result.reason);
}

std::string Aria2FailuresStatus(uint64_t failed, const QString &lastReason)
{
    if (failed == 0)
        return {};
    return "aria2: " + std::to_string(failed) + (failed == 1 ? " URL" : " URLs") +
           " not handed over: " + lastReason.toStdString();
}

Aria2Link::Aria2Link(int replyTimeoutMs, QObject *parent)
    : QObject(parent), replyTimeoutMs_(replyTimeoutMs)
{
    // Cookies and the secret go to aria2 alone.
    network_.setProxy(QNetworkProxy::NoProxy);
}

Aria2Link::~Aria2Link()
{
    // An answer must not reach a link half destroyed.
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
    }
}

void Aria2Link::send(Aria2Target target, std::vector<RequestDetails> downloads,
                     std::function<void(const Aria2Result &)> done)
{
    if (downloads.empty())
        return;
    batches_.push_back({std::move(target), std::move(downloads), std::move(done)});
    if (batches_.size() == 1)
        sendNext();
}

void Aria2Link::sendNext()
{
    const Batch &batch = batches_.front();
    const QUrl rpcUrl(batch.target.rpcUrl);
    if (std::none_of(std::begin(kRpcSchemes), std::end(kRpcSchemes),
                     [&](std::string_view scheme) { return rpcUrl.scheme() == QLatin1String(scheme); })) {
        // Later, as promised, and never through a file or another protocol.
        QMetaObject::invokeMethod(
            this, [this] { finishBatch({Aria2Outcome::NotAnswering, QStringLiteral("not an http URL")}); },
            Qt::QueuedConnection);
        return;
    }
    QNetworkRequest request(rpcUrl);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    request.setTransferTimeout(replyTimeoutMs_);
    // A redirect would carry the secret and the cookies elsewhere.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    const QString id = QLatin1String(kIdPrefix) + QString::number(nextId_++);
    reply_ = network_.post(request, Aria2AddUriRequest(batch.downloads[added_], batch.target, id));
    connect(reply_, &QNetworkReply::finished, this, [this, reply = reply_] { onFinished(reply); });
}

void Aria2Link::onFinished(QNetworkReply *reply)
{
    reply->deleteLater();
    reply_ = nullptr;
    const Aria2Result result = readAnswer(*reply, replyTimeoutMs_);
    if (result.outcome == Aria2Outcome::Added && ++added_ < batches_.front().downloads.size()) {
        sendNext();
        return;
    }
    finishBatch(result);
}

void Aria2Link::finishBatch(const Aria2Result &result)
{
    Batch finished = std::move(batches_.front());
    batches_.pop_front();
    added_ = 0;
    if (!batches_.empty())
        sendNext();
    if (finished.done)
        finished.done(result);
}

}

#include "update_check.h"

#include <charconv>
#include <system_error>
#include <utility>

#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>

#include "window_messages.h"

namespace tarvolin {

namespace {

constexpr int kHttpOk = 200;
// A version answer is a few bytes; a larger one is not one and is not kept.
constexpr qsizetype kMaxBodySize = 64 * 1024;
// Ends a request the server accepted but never answers.
constexpr int kTransferTimeoutMs = 30'000;

// White space as the "C" locale's isspace sees it.
bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// from_chars would also take "inf" and "nan"; a plain decimal starts with a
// digit, or with a point and a digit.
bool StartsPlainDecimal(std::string_view text)
{
    if (text.empty())
        return false;
    if (IsDigit(text[0]))
        return true;
    return text.size() > 1 && text[0] == '.' && IsDigit(text[1]);
}

bool IsOkAnswer(const QNetworkReply &reply)
{
    return reply.error() == QNetworkReply::NoError
        && reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == kHttpOk;
}

}

double LeadingVersionNumber(std::string_view text)
{
    while (!text.empty() && IsSpace(text.front()))
        text.remove_prefix(1);
    const bool negative = !text.empty() && text.front() == '-';
    if (!text.empty() && (text.front() == '+' || negative))
        text.remove_prefix(1);
    if (!StartsPlainDecimal(text))
        return 0;
    double number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number,
                                              std::chars_format::fixed);
    if (error != std::errc())
        return 0; // too large or too small for a double: not a version
    return negative ? -number : number;
}

UpdateCheck::UpdateCheck(HWND window, QUrl url, double ownVersion, QObject *parent)
    : QObject(parent), window_(window), url_(std::move(url)), ownVersion_(ownVersion)
{
    manager_.setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
}

UpdateCheck::~UpdateCheck()
{
    if (reply_ == nullptr)
        return;
    // The manager, destroyed after this, deletes the reply; no signal may reach
    // this half-destroyed object before then.
    reply_->disconnect(this);
    reply_->abort();
}

void UpdateCheck::start()
{
    if (reply_ != nullptr)
        return;
    QNetworkRequest request(url_);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray(kApplicationName));
    request.setTransferTimeout(kTransferTimeoutMs);
    reply_ = manager_.get(request);
    reply_->setReadBufferSize(kMaxBodySize);
    connect(reply_, &QNetworkReply::readyRead, this, &UpdateCheck::onReadyRead);
    connect(reply_, &QNetworkReply::finished, this, &UpdateCheck::onFinished);
}

bool UpdateCheck::takeBody(QNetworkReply &reply)
{
    body_ += reply.readAll();
    return body_.size() <= kMaxBodySize;
}

void UpdateCheck::onReadyRead()
{
    if (!takeBody(*reply_))
        reply_->abort(); // may finish at once, so nothing follows
}

void UpdateCheck::onFinished()
{
    QNetworkReply *reply = std::exchange(reply_, nullptr);
    reply->deleteLater();
    const bool complete = IsOkAnswer(*reply) && takeBody(*reply);
    QByteArray body = std::exchange(body_, {});
    if (complete && LeadingVersionNumber(std::string_view(body.constData(), body.size())) > ownVersion_) {
        latestVersionText_ = std::move(body);
        PostMessage(window_, WM_NEW_VERSION, 0, 0);
    }
    emit finished();
}

}

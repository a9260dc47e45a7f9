// Once per start, asks the vendor's server for the newest version and tells the
// window when it is newer than this one. Every failure is silent.
#pragma once

#include <string_view>

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QObject>
#include <QUrl>

#include "desktop.h"
#include "message_window.h"
#include "program_info.h"

class QNetworkReply;

namespace tarvolin {

// The leading plain decimal number after leading white space, as strtod reads
// one in the "C" locale; 0 when there is none. No hex, exponent, inf or nan.
double LeadingVersionNumber(std::string_view text);

// Lives on the window's thread and never blocks it: the request runs on Qt's
// asynchronous network access.
class UpdateCheck : public QObject {
    Q_OBJECT

public:
    explicit UpdateCheck(HWND window, QUrl url = VendorPage(kVersionPath),
                         double ownVersion = kProgramVersion, QObject *parent = nullptr);
    // Safe while a request is pending: it is abandoned without a message.
    ~UpdateCheck() override;

    // Sends the request and returns at once; ignored while one is pending.
    // Posts WM_NEW_VERSION (wParam 0, lParam 0) when the server names a newer version.
    void start();

    // The server's whole answer, as received, once a newer version was found.
    const QByteArray &latestVersionText() const { return latestVersionText_; }

signals:
    // The check has ended, whatever its outcome.
    void finished();

private:
    void onReadyRead();
    void onFinished();
    bool takeBody(QNetworkReply &reply);

    HWND window_;
    QUrl url_;
    double ownVersion_;
    QNetworkAccessManager manager_;
    QNetworkReply *reply_ = nullptr;
    QByteArray body_;
    QByteArray latestVersionText_;
};

}

#include "window_test_support.h"

#include <QDialog>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include "records.h"

namespace testing_support {

namespace {

constexpr char kFailingAdapter[] = "fail";
constexpr std::chrono::milliseconds kLoopStep(1);

template <size_t N>
void setText(char (&field)[N], const std::string &text)
{
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

intptr_t sendRecord(HWND window, uintptr_t kind, const void *data, uint32_t size)
{
    COPYDATASTRUCT copy{kind, size, const_cast<void *>(data)};
    return SendMessage(window, WM_COPYDATA, 0, reinterpret_cast<intptr_t>(&copy));
}

}

bool FakeDesktop::askYesNo(QWidget *, const QString &text)
{
    questions.push_back(text);
    return answer;
}

bool FakeDesktop::confirm(QWidget *, const QString &text, bool &checked)
{
    questions.push_back(text);
    checked = dontAskAgain;
    return answer;
}

void FakeDesktop::inform(QWidget *, const QString &text)
{
    notices.push_back(text);
}

void FakeDesktop::openUrl(const QUrl &url)
{
    opened.push_back(url);
}

int FakeDesktop::runModal(QDialog &dialog)
{
    dialogTitles.push_back(dialog.windowTitle());
    dialog.setResult(QDialog::Rejected);
    dialog.show();
    if (onDialog)
        onDialog(dialog);
    const int result = dialog.result();
    dialog.hide();
    return result;
}

QString FakeDesktop::chooseFile(QWidget *, const QString &caption, const QString &current)
{
    fileOffers.push_back(caption + '|' + current);
    return chosenFile;
}

QString FakeDesktop::chooseSaveFile(QWidget *, const QString &caption, const QString &current,
                                   const QStringList &filters)
{
    fileOffers.push_back(caption + '|' + current + '|' + filters.join(';'));
    return chosenFile;
}

QString FakeDesktop::chooseOpenFile(QWidget *, const QString &caption, const QStringList &filters)
{
    fileOffers.push_back(caption + '|' + filters.join(';'));
    return chosenFile;
}

void FakeCapture::reset()
{
    runFlag = 0;
    inside = 0;
    mostInside = 0;
    returned = 0;
    sent = 0;
    startDelayMs = 0;
    sending = false;
    keyLogAnswer = 0;
    const std::lock_guard guard(keyLogLock);
    keyLogFile.clear();
    keyLogCalls = 0;
}

tarvolin::CaptureFunctions FakeCapture::functions()
{
    return {&FakeCapture::start, &FakeCapture::stop, "", &FakeCapture::setKeyLogFile};
}

int32_t FakeCapture::setKeyLogFile(const char *path)
{
    const std::lock_guard guard(keyLogLock);
    keyLogFile = path ? path : "";
    ++keyLogCalls;
    return keyLogAnswer;
}

int32_t FakeCapture::start(int32_t, HWND window, const char *adapter, int32_t)
{
    if (std::strcmp(adapter, kFailingAdapter) == 0)
        return -1;
    const int now = ++inside;
    mostInside = std::max(mostInside.load(), now);
    std::this_thread::sleep_for(std::chrono::milliseconds(startDelayMs.load()));
    runFlag = 1;
    while (runFlag != 0) {
        if (sending)
            SendUrlText(window, "http://fake.example/" + std::to_string(sent++) + ".flv");
        else
            std::this_thread::sleep_for(kLoopStep);
    }
    --inside;
    ++returned;
    return 0;
}

int32_t FakeCapture::stop(HWND)
{
    runFlag = 0;
    return 0;
}

QByteArray HttpResponse(const QByteArray &status, const QByteArray &body)
{
    return "HTTP/1.1 " + status + "\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

CannedHttpServer::CannedHttpServer(QByteArray response) : response_(std::move(response))
{
    connect(&server_, &QTcpServer::newConnection, this, &CannedHttpServer::accept);
    EXPECT_TRUE(server_.listen(QHostAddress::LocalHost));
}

QUrl CannedHttpServer::url() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/ver").arg(server_.serverPort()));
}

void CannedHttpServer::accept()
{
    while (QTcpSocket *socket = server_.nextPendingConnection()) {
        auto request = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, request] { answer(*socket, *request); });
        connect(socket, &QTcpSocket::disconnected, this, [this] { ++disconnections; });
    }
}

void CannedHttpServer::answer(QTcpSocket &socket, QByteArray &request)
{
    request += socket.readAll();
    if (!request.contains("\r\n\r\n"))
        return;
    requestLines.push_back(request.left(request.indexOf("\r\n")));
    if (response_.isEmpty())
        return;
    socket.write(response_);
    socket.disconnectFromHost();
}

intptr_t SendUrlText(HWND window, const std::string &url)
{
    return sendRecord(window, quillnet::kKindUrlText, url.c_str(), static_cast<uint32_t>(url.size() + 1));
}

intptr_t SendHttpUrl(HWND window, int32_t port, const std::string &host, const std::string &path,
                     const std::string &contentType)
{
    quillnet::HttpUrlRecord record{};
    record.port = port;
    setText(record.host, host);
    setText(record.path, path);
    setText(record.contentType, contentType);
    return sendRecord(window, quillnet::kKindHttpUrl, &record, sizeof record);
}

intptr_t SendStatistics(HWND window, const quillnet::CaptureStatistics &statistics)
{
    return sendRecord(window, quillnet::kKindCaptureStatistics, &statistics, sizeof statistics);
}

intptr_t SendRequestHeaders(HWND window, const std::vector<std::pair<uint16_t, std::string>> &headers)
{
    std::string record;
    for (const auto &[name, value] : headers) {
        const quillnet::RequestHeaderField field{name, static_cast<uint16_t>(value.size())};
        record.append(reinterpret_cast<const char *>(&field), sizeof field).append(value);
    }
    return sendRecord(window, quillnet::kKindRequestHeaders, record.data(), static_cast<uint32_t>(record.size()));
}

ScopedEnvironment::ScopedEnvironment(const char *name, const char *value) : name_(name)
{
    if (const char *saved = std::getenv(name))
        saved_ = saved;
    setenv(name, value, 1);
}

ScopedEnvironment::~ScopedEnvironment()
{
    if (saved_)
        setenv(name_.c_str(), saved_->c_str(), 1);
    else
        unsetenv(name_.c_str());
}

bool WaitFor(const std::function<bool()> &done, std::chrono::milliseconds limit)
{
    return QTest::qWaitFor(done, static_cast<int>(limit.count()));
}

std::string RowLine(tarvolin::UrlList list, const tarvolin::UrlRow &row)
{
    return std::string(list == tarvolin::kAllList ? "all" : "media") + '|' + row.extension + '|' + row.url + '|' +
           row.third;
}

}

// The update check against a real HTTP server on 127.0.0.1 with canned answers.
// The server shares this thread, so a check that blocked it would never be answered.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include "new_version_dialog.h"
#include "recording_window.h"
#include "update_check.h"
#include "window_test_support.h"
#include "window_messages.h"

namespace {

using namespace tarvolin;
using testing_support::ControlById;
using testing_support::CannedHttpServer;
using testing_support::FakeDesktop;
using testing_support::HttpResponse;
using testing_support::RecordingWindow;

constexpr int kGenerousWaitMs = 20'000;
constexpr int kVersionTextId = 1030;
constexpr int kWhatIsNewId = 1029;
constexpr int kCancelId = 2;

class UpdateCheckTest : public testing::Test {
protected:
    // One whole check against a server that answers `response`.
    std::unique_ptr<UpdateCheck> runCheck(const QByteArray &response)
    {
        server_ = std::make_unique<CannedHttpServer>(response);
        auto check = std::make_unique<UpdateCheck>(window_.handle(), server_->url());
        QSignalSpy finished(check.get(), &UpdateCheck::finished);
        check->start();
        EXPECT_TRUE(finished.wait(kGenerousWaitMs));
        return check;
    }

    RecordingWindow window_;
    std::unique_ptr<CannedHttpServer> server_;
};

TEST_F(UpdateCheckTest, NewerVersionIsPostedAndTheDialogNamesTheWholeAnswer)
{
    const auto check = runCheck(HttpResponse("200 OK", "3.45\r\n"));

    EXPECT_EQ(server_->requestLines, QList<QByteArray>{"GET /ver HTTP/1.1"});
    const auto messages = window_.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].posted);
    EXPECT_EQ(messages[0].message, WM_NEW_VERSION);
    EXPECT_EQ(messages[0].wParam, 0u);
    EXPECT_EQ(messages[0].lParam, 0);
    EXPECT_EQ(check->latestVersionText(), "3.45\r\n");

    FakeDesktop desktop;
    CNewVersionDlg dialog(check->latestVersionText(), desktop);
    EXPECT_EQ(dialog.windowTitle(), "New version");
    const QLabel *text = ControlById<QLabel>(dialog, kVersionTextId);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->text().toStdString(), "Find Tarvolin latest version 3.45\r\n");
}

TEST_F(UpdateCheckTest, StaysSilentUnlessAnOkAnswerNamesANewerVersion)
{
    constexpr qsizetype kBeyondBodyLimit = 70 * 1024;
    const QByteArray responses[] = {
        HttpResponse("200 OK", "3.44"),
        HttpResponse("200 OK", "3.100\r\n"),
        HttpResponse("200 OK", "letters only"),
        HttpResponse("200 OK", ""),
        HttpResponse("404 Not Found", "9.99"),
        HttpResponse("203 Non-Authoritative Information", "9.99"),
        HttpResponse("200 OK", "9.99" + QByteArray(kBeyondBodyLimit, ' ')),
    };
    for (const QByteArray &response : responses) {
        SCOPED_TRACE(response.left(40).toStdString());
        window_.clear();
        const auto check = runCheck(response);
        EXPECT_EQ(server_->requestLines.size(), 1);
        EXPECT_TRUE(window_.messages().empty());
        EXPECT_TRUE(check->latestVersionText().isEmpty());
    }
}

TEST_F(UpdateCheckTest, UnreachableServerIsSilent)
{
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const QUrl url(QStringLiteral("http://127.0.0.1:%1/ver").arg(closed.serverPort()));
    closed.close();
    UpdateCheck check(window_.handle(), url);
    QSignalSpy finished(&check, &UpdateCheck::finished);
    check.start();
    EXPECT_TRUE(finished.wait(kGenerousWaitMs));
    EXPECT_TRUE(window_.messages().empty());
}

TEST_F(UpdateCheckTest, ServerThatNeverAnswersCostsNothingAndTheCheckMayBeDestroyed)
{
    server_ = std::make_unique<CannedHttpServer>(QByteArray());
    auto check = std::make_unique<UpdateCheck>(window_.handle(), server_->url());
    QSignalSpy finished(check.get(), &UpdateCheck::finished);
    check->start();
    // Only a running event loop lets the server on this thread see the request.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !server_->requestLines.isEmpty(); }, kGenerousWaitMs));
    EXPECT_EQ(finished.count(), 0);

    check.reset();
    EXPECT_TRUE(QTest::qWaitFor([&] { return server_->disconnections == 1; }, kGenerousWaitMs));
    EXPECT_TRUE(window_.messages().empty());
}

TEST(LeadingVersionNumber, ReadsOnlyALeadingPlainDecimal)
{
    const struct {
        std::string_view text;
        double number;
    } cases[] = {
        {"3.45\r\n", 3.45}, {"3.5", 3.5}, {"3.100", 3.1}, {"  3.45", 3.45}, {"\t\r\n3.45 beta", 3.45},
        {".5", 0.5}, {"-3.5", -3.5}, {"", 0}, {"abc", 0}, {"v3.45", 0}, {"1e5", 1}, {"0x1p3", 0},
        {"inf", 0}, {"nan", 0}, {std::string_view("3.456", 3), 3.4},
    };
    for (const auto &entry : cases)
        EXPECT_DOUBLE_EQ(LeadingVersionNumber(entry.text), entry.number) << entry.text;
    EXPECT_DOUBLE_EQ(LeadingVersionNumber(std::string(400, '9')), 0);
    EXPECT_GT(LeadingVersionNumber("3.5"), kProgramVersion);
    EXPECT_FALSE(LeadingVersionNumber("3.44") > kProgramVersion);
}

TEST(NewVersionDlg, WhatIsNewOpensTheNewsPageAndStaysOpenUntilCancel)
{
    FakeDesktop desktop;
    CNewVersionDlg dialog("3.45", desktop);
    dialog.show();
    QPushButton *whatIsNew = ControlById<QPushButton>(dialog, kWhatIsNewId);
    QPushButton *cancel = ControlById<QPushButton>(dialog, kCancelId);
    ASSERT_NE(whatIsNew, nullptr);
    ASSERT_NE(cancel, nullptr);

    QTest::mouseClick(whatIsNew, Qt::LeftButton);
    EXPECT_EQ(desktop.opened, std::vector<QUrl>{QUrl(QString::fromLatin1(kVendorSite) + "/news.htm")});
    EXPECT_TRUE(dialog.isVisible());

    QTest::mouseClick(cancel, Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

TEST(NewVersionDlg, ShowsTheAnswerAsPlainUtf8ElseLatin1)
{
    FakeDesktop desktop;
    const auto shown = [&](const QByteArray &answer) {
        CNewVersionDlg dialog(answer, desktop);
        const QLabel *text = ControlById<QLabel>(dialog, kVersionTextId);
        EXPECT_EQ(text->textFormat(), Qt::PlainText);
        return text->text().toStdString();
    };
    const std::string expected = "Find Tarvolin latest version 3.45 caf\u00e9";
    EXPECT_EQ(shown("3.45 caf\xc3\xa9"), expected);
    EXPECT_EQ(shown("3.45 caf\xe9"), expected);
}

}

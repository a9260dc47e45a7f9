// The window's hand-off to aria2: the commands name what went wrong; the
// automatic hand-off counts it beside the capture's statistics.
#include "aria2_link.h"
#include "desktop.h"
#include "download_handoff.h"
#include "main_dialog.h"

namespace tarvolin {

namespace {

constexpr char kAria2CannotFetch[] = "aria2 fetches only http, https, ftp and sftp URLs; the others were left out";
constexpr char kAria2Busy[] = "too many URLs wait for aria2";

}

Aria2Target CMainDlg::aria2Target() const
{
    return {QString::fromStdString(settings_.Aria2RpcUrl), settings_.Aria2RpcSecret, settings_.Aria2Dir};
}

void CMainDlg::handOffSelectedToAria2(const std::vector<int> &rows)
{
    std::vector<RequestDetails> downloads;
    for (int row : rows) {
        RequestDetails details = rowDetails(model(currentList()).row(row));
        if (Aria2CanFetch(details.url))
            downloads.push_back(std::move(details));
    }
    if (downloads.size() < rows.size())
        services_.desktop.inform(this, QString::fromLatin1(kAria2CannotFetch));
    const Aria2Target target = aria2Target();
    aria2_.send(target, std::move(downloads), [this, rpcUrl = target.rpcUrl](const Aria2Result &result) {
        if (result.outcome != Aria2Outcome::Added)
            services_.desktop.inform(this, Aria2FailureText(result, rpcUrl));
    });
}

// Never a dialog: the capture goes on. A URL aria2 cannot fetch is no failure of aria2's.
void CMainDlg::handOffAutomaticallyToAria2(const std::string &url)
{
    if (!Aria2CanFetch(url))
        return;
    if (aria2_.waitingSends() >= kMostWaitingHandOffs) {
        countAria2Failure(QString::fromLatin1(kAria2Busy));
        return;
    }
    const RequestDetails *kept = store_.handOffDetails();
    RequestDetails details = kept && kept->url == url ? *kept : RequestDetails{};
    details.url = url;
    aria2_.send(aria2Target(), {std::move(details)}, [this](const Aria2Result &result) {
        if (result.outcome != Aria2Outcome::Added)
            countAria2Failure(result.reason);
    });
}

void CMainDlg::countAria2Failure(const QString &reason)
{
    ++aria2Failures_;
    aria2Failure_ = reason;
    showStatistics();
}

}

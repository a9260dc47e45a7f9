// The main window's commands: what each button and menu item does.
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QTableView>
#include <QWindow>

#include <algorithm>

#include "about_dialog.h"
#include "desktop.h"
#include "download_command.h"
#include "download_handoff.h"
#include "main_dialog.h"
#include "options_dialog.h"
#include "program_info.h"
#include "resource_ids.h"
#include "text.h"
#include "ui_main_dialog.h"

namespace tarvolin {

namespace {

constexpr char kLineEnd[] = "\r\n";
constexpr char kClearQuestion[] = "Clear %1 URLs?";
constexpr char kClearOneQuestion[] = "Clear 1 URL?";
constexpr char kCommandSeparator = '\n';

}

void CMainDlg::OnCommand(int id)
{
    switch (id) {
    case kCommandStart:
        capture_.command();
        return;
    case kCommandOptions:
        runOptions();
        return;
    case kCommandCopy:
    case kCommandCopyUrls:
        CopySelectedUrls();
        return;
    case kCommandCopyAsCommand:
        copySelectedAsCommands();
        return;
    case kCommandClear:
        clearLists();
        return;
    case kCommandSaveListAs:
        saveListAs();
        return;
    case kCommandOpenCaptureFile:
        openCaptureFile();
        return;
    case kCommandTop:
        toggleTopmost();
        return;
    case kCommandExit:
        exitProgram();
        return;
    case kCommandHelp:
    case kCommandHelpMenu:
        services_.desktop.openUrl(VendorPage(kSupportPage));
        return;
    case kCommandAbout: {
        CAboutDlg about(services_.desktop, this);
        services_.desktop.runModal(about);
        return;
    }
    case kCommandDownload:
        handOffSelected(false);
        return;
    case kCommandDownloadImmediately:
        handOffSelected(true);
        return;
    default:
        return;
    }
}

// The selected URLs of the list on the current tab, in list order, each ended by CR LF.
void CMainDlg::CopySelectedUrls()
{
    const UrlList list = currentList();
    std::string copied;
    for (int row : selectedRows(list)) {
        copied += FetchableUrl(model(list).row(row).url);
        copied += kLineEnd;
    }
    QGuiApplication::clipboard()->setText(QString::fromUtf8(copied));
}

// One shell line for each selected row of the list on the current tab, in list order.
void CMainDlg::copySelectedAsCommands()
{
    const UrlList list = currentList();
    std::string lines;
    for (int row : selectedRows(list)) {
        if (!lines.empty())
            lines += kCommandSeparator;
        RequestDetails details = rowDetails(model(list).row(row));
        details.url = FetchableUrl(details.url);
        lines += DownloadCommand(details);
    }
    QGuiApplication::clipboard()->setText(QString::fromUtf8(lines));
}

RequestDetails CMainDlg::rowDetails(const UrlRow &row) const
{
    const bool noLimit = settings_.NoLimitBufferSize != 0;
    // A limited-buffer row's entry still holds its headers once its details are forgotten.
    RequestDetails details = store_.request(row, noLimit ? 0 : RowEntryNumber(row));
    // A no-limit row's third column is its content type, which tells a playlist.
    if (noLimit && details.contentType.empty())
        details.contentType = row.third;
    details.url = std::string(Trim(details.url));
    return details;
}

// Instead of the list's own copy of the one current cell.
bool CMainDlg::eventFilter(QObject *watched, QEvent *event)
{
    const bool list = watched == listView(kAllList) || watched == listView(kMediaFilesList);
    if (!list || event->type() != QEvent::KeyPress || !static_cast<QKeyEvent *>(event)->matches(QKeySequence::Copy))
        return QDialog::eventFilter(watched, event);
    CopySelectedUrls();
    return true;
}

// Confirmed or not, the adapter part of the status bar shows the settings' adapter.
void CMainDlg::runOptions()
{
    COptionsDlg options(
        settings_, settingsPath_, capture_.capturing(), services_.desktop, [this] { return chooseAdapter(); }, this);
    services_.desktop.runModal(options);
    showAdapter(settings_.AdapterDescription);
}

// Told to the window system directly: changing a shown widget's flags would
// recreate the window and move it.
void CMainDlg::toggleTopmost()
{
    const Qt::WindowFlags flags = windowFlags().setFlag(Qt::WindowStaysOnTopHint, topmost_ == 0);
    overrideWindowFlags(flags);
    if (QWindow *window = windowHandle())
        window->setFlags(flags);
    ui_->topButton->setIconResource(resource::IconPath(topmost_ == 0 ? resource::kIconTopmost : resource::kIconTop));
    ui_->topButton->setChecked(topmost_ == 0);
    topmost_ = topmost_ == 0 ? 1 : 0;
}

// The settings are written whatever the answer.
void CMainDlg::exitProgram()
{
    const bool leave = !capture_.capturing() || services_.desktop.askYesNo(this, QString::fromLatin1(kExitQuestion));
    if (!SaveSettings(settings_, settingsPath_))
        services_.desktop.inform(this,
                                 QString::fromLatin1(kSettingsNotSaved).arg(QString::fromStdString(settingsPath_)));
    if (!leave)
        return;
    leaving_ = true;
    close();
}

// Asks first while the lists hold rows, unless told not to ask again.
void CMainDlg::clearLists()
{
    refreshLists();
    // The media rows are in "All" too, unless a Start has emptied it since.
    const int rows = std::max(model(kAllList).rowCount(), model(kMediaFilesList).rowCount());
    if (rows > 0 && settings_.ConfirmClear != 0) {
        const QString question =
            rows == 1 ? QString::fromLatin1(kClearOneQuestion) : QString::fromLatin1(kClearQuestion).arg(rows);
        bool dontAskAgain = false;
        if (!services_.desktop.confirm(this, question, dontAskAgain))
            return;
        if (dontAskAgain) {
            settings_.ConfirmClear = 0;
            if (!SaveSettings(settings_, settingsPath_))
                services_.desktop.inform(
                    this, QString::fromLatin1(kSettingsNotSaved).arg(QString::fromStdString(settingsPath_)));
        }
    }
    store_.clear();
}

}

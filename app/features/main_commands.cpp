// The main window's commands: what each button and menu item does.
#include <QClipboard>
#include <QGuiApplication>
#include <QWindow>

#include "about_dialog.h"
#include "desktop.h"
#include "main_dialog.h"
#include "options_dialog.h"
#include "program_info.h"
#include "resource_ids.h"
#include "ui_main_dialog.h"

namespace tarvolin {

namespace {

constexpr char kLineEnd[] = "\r\n";

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
    case kCommandClear:
        store_.clear();
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
    QString copied;
    for (int row : selectedRows(list))
        copied += QString::fromStdString(model(list).row(row).url) + QLatin1String(kLineEnd);
    QGuiApplication::clipboard()->setText(copied);
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
    if (leave)
        close();
}

}

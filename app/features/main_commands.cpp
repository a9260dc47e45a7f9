// The main window's commands: what each button and menu item does.
#include <QClipboard>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QTableView>
#include <QWindow>

#include <algorithm>

#include "desktop.h"
#include "main_dialog.h"
#include "program_info.h"
#include "resource_ids.h"
#include "ui_main_dialog.h"

namespace tarvolin {

namespace {

constexpr char kLineEnd[] = "\r\n";
constexpr char kSettingsNotSaved[] = "The settings could not be saved to %1.";

}

void CMainDlg::OnCommand(int id)
{
    switch (id) {
    case kCommandStart:
        capture_.command();
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
        desktop_.openUrl(VendorPage(kSupportPage));
        return;
    default:
        return;
    }
}

// The selected URLs of the list on the current tab, in list order, each ended by CR LF.
void CMainDlg::CopySelectedUrls()
{
    const UrlList list = currentList();
    QModelIndexList selected = listView(list)->selectionModel()->selectedRows();
    std::sort(selected.begin(), selected.end(),
              [](const QModelIndex &left, const QModelIndex &right) { return left.row() < right.row(); });
    QString copied;
    for (const QModelIndex &index : selected)
        copied += QString::fromStdString(model(list).row(index.row()).url) + QLatin1String(kLineEnd);
    QGuiApplication::clipboard()->setText(copied);
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
    const bool leave = !capture_.capturing() || desktop_.askYesNo(this, QString::fromLatin1(kExitQuestion));
    if (!SaveSettings(settings_, settingsPath_))
        desktop_.inform(this, QString::fromLatin1(kSettingsNotSaved).arg(QString::fromStdString(settingsPath_)));
    if (leave)
        close();
}

}

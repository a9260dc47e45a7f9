// The main window towards its user over a session: keys that reach every part
// of it, a close that loses nothing by accident, and an arrangement that is
// kept from one run to the next.
#include <QCloseEvent>
#include <QKeyEvent>
#include <QShortcut>
#include <QTableView>

#include <utility>

#include "desktop.h"
#include "growing_list.h"
#include "main_dialog.h"
#include "tab_strip_accessible.h"
#include "ui_main_dialog.h"
#include "window_state.h"

namespace tarvolin {

namespace {

constexpr char kTabStripName[] = "Lists";

}

void CMainDlg::prepareKeyboard()
{
    const auto bind = [this](const QKeySequence &keys, auto action) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, action);
    };
    bind(QKeySequence::SelectAll, [this] { listView(currentList())->selectAll(); });
    for (const QKeySequence &keys : {QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageDown)})
        bind(keys, [this] { switchTab(1); });
    for (const QKeySequence &keys :
         {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab),
          QKeySequence(Qt::CTRL | Qt::Key_PageUp)})
        bind(keys, [this] { switchTab(-1); });
    // As in most desktops' windows, F10 opens the first menu.
    bind(QKeySequence(Qt::Key_F10), [this] { ui_->menuBar->setActiveAction(ui_->menuFile->menuAction()); });

    InstallTabStripAccessibility();
    ui_->tabStrip->setAccessibleName(QString::fromLatin1(kTabStripName));
}

void CMainDlg::switchTab(int step)
{
    const int count = ui_->tabStrip->count();
    const int next = ((currentTab_ + step) % count + count) % count;
    ui_->tabStrip->selectTab(next);
    showTab(next);
}

void CMainDlg::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CMainDlg::closeEvent(QCloseEvent *event)
{
    const bool asked = std::exchange(leaving_, false);
    if (!asked && capture_.capturing() && !services_.desktop.askYesNo(this, QString::fromLatin1(kExitQuestion))) {
        event->ignore();
        return;
    }
    saveWindowState();
    QDialog::closeEvent(event);
}

void CMainDlg::bringForward()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void CMainDlg::restoreWindowState()
{
    const WindowState state = LoadWindowState(settingsPath_);
    if (!state.geometry.empty())
        restoreGeometry(QByteArray::fromHex(QByteArray::fromStdString(state.geometry)));
    columns_[kMediaFilesList]->restore(state.mediaColumns);
    columns_[kAllList]->restore(state.allColumns);
    if (state.tab != currentTab_ && state.tab >= 0 && state.tab < ui_->tabStrip->count()) {
        ui_->tabStrip->selectTab(state.tab);
        showTab(state.tab);
    }
    // Keys act on the rows from the start.
    listView(currentList())->setFocus();
}

// Losing the arrangement is no reason to hold the window open or to bother its user.
void CMainDlg::saveWindowState()
{
    WindowState state;
    state.geometry = saveGeometry().toHex().toStdString();
    state.tab = currentTab_;
    state.mediaColumns = columns_[kMediaFilesList]->widths();
    state.allColumns = columns_[kAllList]->widths();
    SaveWindowState(state, settingsPath_);
}

}

// The program's one top-level window: a row of command buttons, the "Media
// Files" and "All" lists stacked under a tab strip, and a three-part status bar.
// It receives the capture library's records through its QtMessageWindow.
#pragma once

#include <QDialog>
#include <QStringList>
#include <QUrl>
#include <QTimer>

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adapter_info.h"
#include "aria2_link.h"
#include "capture_control.h"
#include "extension_icons.h"
#include "handoff_link.h"
#include "settings.h"
#include "qt_message_window.h"
#include "url_list_model.h"
#include "url_list_proxy.h"
#include "url_store.h"

class QLabel;
class Ui_CMainDlg;
class QMenu;
class QProgressBar;
class QStatusBar;
class QTableView;
struct TabNotification;

namespace tarvolin {

class Desktop;
class ListColumns;
class UpdateCheck;

// What the window works with outside itself.
struct WindowServices {
    WindowServices(CaptureFunctions captureFunctions, Desktop &desktopServices)
        : capture(std::move(captureFunctions)), desktop(desktopServices)
    {}

    CaptureFunctions capture;
    Desktop &desktop;
    // Lists the capture devices for the adapter dialog.
    std::function<std::optional<std::vector<AdapterRow>>()> listAdapters = ListLocalAdapters;
    // Where to ask for the newest version; empty: no update check.
    QUrl updateUrl;
    QString downloadManager = QString::fromLatin1(kDownloadManagerName);
    int handOffReplyTimeoutMs = kHandOffReplyTimeoutMs;
};

// Command ids of the buttons and menu items.
enum CommandId : int {
    kCommandStart = 32773,
    kCommandOptions = 32776,
    kCommandTop = 32777,
    kCommandCopy = 32778,
    kCommandClear = 32779,
    kCommandAbout = 32783,
    kCommandHelpMenu = 32784,
    kCommandCopyUrls = 32787,
    kCommandDownload = 32788,
    kCommandDownloadImmediately = 32789,
    kCommandCopyAsCommand = 32791,
    kCommandSaveListAs = 32800,
    kCommandOpenCaptureFile = 32801,
    kCommandExit = 1007,
    kCommandHelp = 1010,
};

// The adapter, the end of the capture, "Buffer is full.", the capture's statistics.
inline constexpr int kStatusPartCount = 4;
inline constexpr char kAdapterLabel[] = "Adapter:";
inline constexpr char kExitQuestion[] = "Capturing data, continue to exit?";

class CMainDlg : public QDialog, private UrlListView, private CaptureView {
    Q_OBJECT

public:
    CMainDlg(Settings &settings, std::string settingsPath, WindowServices services, QWidget *parent = nullptr);
    ~CMainDlg() override;

    // Every button and menu item arrives here with its command id.
    void OnCommand(int id);

    HWND handle() { return messageWindow_.handle(); }
    const UrlStore &store() const { return store_; }
    bool capturing() const { return capture_.capturing(); }
    int currentTab() const { return currentTab_; }
    bool topmost() const { return topmost_ != 0; }

    UrlListModel &model(UrlList list) { return list == kAllList ? allModel_ : mediaModel_; }
    // The list as its view shows it, filtered and sorted.
    UrlListProxy &proxy(UrlList list) { return list == kAllList ? allProxy_ : mediaProxy_; }
    const UrlListProxy &proxy(UrlList list) const { return list == kAllList ? allProxy_ : mediaProxy_; }
    QTableView *listView(UrlList list) const;
    QString statusText(int part) const;
    QString tabCaption(UrlList list) const;
    // The right-click menu for a list with `selectedRows` rows selected, before it is shown.
    std::unique_ptr<QMenu> urlMenu(int selectedRows);
    // Shows the rows and captions that arrived since the last refresh.
    void refreshLists();
    // A second start of the program: the window comes forward, restored if minimised.
    void bringForward();
    // Replays a capture file as Open Capture File does, after its dialog.
    void replayCaptureFile(const QString &path);
    // `tarvolin FILE.pcap`: replays the first argument that is no option, if any.
    void openCommandLineFile(const QStringList &arguments);
    // How far the capture has come, as the status bar shows it while the capture runs.
    QString progressText() const;
    const QProgressBar *progressBar() const { return progressBar_; }

protected:
    void resizeEvent(QResizeEvent *event) override;
    // Ctrl+C on a list copies its selected URLs.
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    // Escape never closes the window.
    void keyPressEvent(QKeyEvent *event) override;
    // Asks what Exit asks while a capture runs; keeps the window's arrangement.
    void closeEvent(QCloseEvent *event) override;
    // A capture file dropped on the window is replayed.
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void OnInitDialog();
    void prepareButtons();
    void prepareStatusBar();
    void setStatusPart(int part, const QString &status);
    void showStatistics();
    void prepareList(QTableView *view, UrlListProxy &shown);
    void connectCommands();
    void layoutControls();
    intptr_t handleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);
    void onTabNotification(const TabNotification &notification);
    void showTab(int index);
    void switchTab(int step);
    void prepareKeyboard();
    void restoreWindowState();
    void saveWindowState();
    void showUrlMenu(UrlList list, const QPoint &at);
    void showDetails(UrlList list, int row);
    void showNewVersion();
    // The list's rows behind the rows selected in its view, in the order shown.
    std::vector<int> selectedRows(UrlList list) const;
    std::vector<int> shownRows(UrlList list) const;
    void prepareFilter();
    void applyFilter(const QString &text);
    // The store's caption, or "Name (shown/total)" while a filter hides rows.
    void showCaption(UrlList list);
    void prepareProgress();
    void showProgress();
    int progressRoom() const;
    UrlList currentList() const { return currentTab_ == kAllList ? kAllList : kMediaFilesList; }
    void scheduleRefresh();

    // The commands.
    void CopySelectedUrls();
    void toggleTopmost();
    void clearLists();
    void exitProgram();
    void runOptions();
    void saveListAs();
    void openCaptureFile();
    void handOffSelected(bool immediately);
    void handOffAutomatically(const std::string &url);
    void countDroppedHandOff();
    void copySelectedAsCommands();
    // The row's kept details, or its URL alone.
    RequestDetails rowDetails(const UrlRow &row) const;
    Aria2Target aria2Target() const;
    void handOffSelectedToAria2(const std::vector<int> &rows);
    void handOffAutomaticallyToAria2(const std::string &url);
    void countAria2Failure(const QString &reason);

    // UrlListView
    void appendRow(UrlList list, const UrlRow &row) override;
    void clearList(UrlList list) override;
    void setCaption(UrlList list, const std::string &caption) override;
    void setStatus(const std::string &text) override;

    // CaptureView
    void showCapturing(bool capturing) override;
    void showCaptureStatus(const std::string &text) override;
    void showAdapter(const std::string &description) override;
    void showKeyLogProblem(const std::string &text) override;
    void showStopping() override;
    std::optional<ChosenAdapter> chooseAdapter() override;
    void clearAllList() override;

    std::unique_ptr<Ui_CMainDlg> ui_;
    Settings &settings_;
    const std::string settingsPath_;
    WindowServices services_;
    ExtensionIcons icons_;
    UrlListModel mediaModel_;
    UrlListModel allModel_;
    UrlListProxy mediaProxy_;
    UrlListProxy allProxy_;
    QStatusBar *statusBar_ = nullptr;
    std::array<QLabel *, kStatusPartCount> statusParts_{};
    std::array<std::optional<std::string>, 2> pendingCaptions_;
    std::array<std::string, 2> captions_{kMediaFilesCaption, kAllCaption};
    QProgressBar *progressBar_ = nullptr;
    QLabel *progressLabel_ = nullptr;
    std::chrono::steady_clock::time_point captureStart_;
    QTimer refreshTimer_;
    int currentTab_ = kMediaFilesList;
    std::array<ListColumns *, 2> columns_{}; // owned by the views
    bool leaving_ = false;                   // Exit has asked already
    int topmost_ = 0;
    // Shown with the statistics until the next Start.
    std::string keyLogProblem_;
    uint64_t handOffsDropped_ = 0;
    uint64_t aria2Failures_ = 0;
    QString aria2Failure_; // the last one's reason

    QtMessageWindow messageWindow_;
    UrlStore store_;
    HandOffLink handOff_;
    Aria2Link aria2_;
    std::unique_ptr<UpdateCheck> updateCheck_;
    CaptureControl capture_; // last: its threads send to the members above
};

}

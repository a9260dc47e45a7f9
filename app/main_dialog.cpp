#include "main_dialog.h"

#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QStatusBar>
#include <QStyle>

#include <algorithm>
#include <chrono>
#include <initializer_list>

#include "adapter_dialog.h"
#include "capture_statistics.h"
#include "desktop.h"
#include "details_dialog.h"
#include "download_handoff.h"
#include "eliding_label.h"
#include "growing_list.h"
#include "new_version_dialog.h"
#include "program_info.h"
#include "resource_ids.h"
#include "tab_strip_accessible.h"
#include "ui_main_dialog.h"
#include "update_check.h"
#include "window_messages.h"

// Resources of a static library are registered by hand.
static void initResources()
{
    Q_INIT_RESOURCE(tarvolin);
}

namespace tarvolin {

namespace {

// The window's client size: 419 by 186 dialog units of an 8-point font.
constexpr QSize kClientSize(628, 302);
constexpr int kButtonRowHeight = 34;
constexpr int kFilterRowHeight = 26;
constexpr int kListsBottomGap = 79;
constexpr int kTabStripAboveBottom = 45;
constexpr int kTabStripHeight = 20;
constexpr int kStatusBarHeight = 25;
constexpr int kAdapterPartWidth = 450;
constexpr int kAdapterPartMinWidth = 100;
constexpr int kCapturePartWidth = 150;
constexpr int kAdapterPart = 0;
constexpr int kCapturePart = 1;
constexpr int kBufferPart = 2; // takes the rest of the width
constexpr int kStatisticsPart = 3;
// Left to right. The statistics part, shown only when it has something to say,
// and the progress after it, shown while a capture runs, take their room from
// the adapter part, so that the parts after them stay where they are.
constexpr std::array<int, kStatusPartCount> kStatusPartOrder = {kAdapterPart, kStatisticsPart, kCapturePart,
                                                                kBufferPart};
constexpr int kStatisticsPartPadding = 12;
constexpr int kStatisticsPartMaxWidth = 300;
// QStatusBar's own gap between two parts.
constexpr int kStatusPartSpacing = 6;
constexpr int kHotLighter = 30;
// Rows arriving together are shown together, at most this long after the first.
constexpr std::chrono::milliseconds kRefreshInterval(50);
// A commit that costs much (a sorted list re-sorting as it grows) waits this
// many times its cost before the next, so that filling never spends more than
// a fifth of its time placing rows; never longer than the longest wait.
constexpr int kRefreshCostShare = 4;
constexpr std::chrono::milliseconds kLongestRefreshInterval(1000);
constexpr int kRowPadding = 4;
constexpr char kCommandIdProperty[] = "commandId";
constexpr int kDetailsPosition = 4;
constexpr char kDownloadText[] = "&Download URL by %1";
constexpr char kDownloadImmediatelyText[] = "Download URL by %1 (Download &Immediately)";
constexpr char kNoteSeparator[] = "; ";

QString text(const std::string &value)
{
    return QString::fromStdString(value);
}

std::string joinNotes(std::initializer_list<std::string> notes)
{
    std::string joined;
    for (const std::string &note : notes) {
        if (note.empty())
            continue;
        if (!joined.empty())
            joined += kNoteSeparator;
        joined += note;
    }
    return joined;
}

}

CMainDlg::CMainDlg(Settings &settings, std::string settingsPath, WindowServices services, QWidget *parent)
    : QDialog(parent), ui_(std::make_unique<Ui_CMainDlg>()), settings_(settings),
      settingsPath_(std::move(settingsPath)), services_(std::move(services)), mediaModel_(icons_), allModel_(icons_),
      mediaProxy_(mediaModel_), allProxy_(allModel_),
      messageWindow_([this](uint32_t message, uintptr_t wParam, intptr_t lParam) {
          return handleMessage(message, wParam, lParam);
      }),
      store_(settings_, *this), handOff_(services_.downloadManager, services_.handOffReplyTimeoutMs),
      capture_(services_.capture, settings_, messageWindow_.handle(), *this)
{
    initResources();
    ui_->setupUi(this);
    OnInitDialog();
}

CMainDlg::~CMainDlg()
{
    // A capture thread may be waiting in a send; it must be let go before it is waited for.
    messageWindow_.close();
    capture_.shutDown();
}

void CMainDlg::OnInitDialog()
{
    prepareButtons();
    prepareStatusBar();
    prepareProgress();
    prepareList(ui_->allList, allProxy_);
    prepareList(ui_->mediaList, mediaProxy_);
    prepareFilter();
    setAcceptDrops(true);
    ui_->tabStrip->modifyStyle(0, CCustomTabCtrl::kStyleAutoHideButtons);
    ui_->tabStrip->insertTab(kMediaFilesList, QString::fromLatin1(kMediaFilesCaption), 0);
    ui_->tabStrip->insertTab(kAllList, QString::fromLatin1(kAllCaption), 0);
    ui_->tabStrip->selectTab(kMediaFilesList);
    connect(ui_->tabStrip, &CCustomTabCtrl::notify, this, &CMainDlg::onTabNotification);
    ui_->allList->hide();
    ui_->mediaList->show();
    ui_->logList->hide();
    setWindowTitle(QString::fromLatin1(kApplicationName) + ' ' + QString::fromLatin1(kProgramVersionText));
    showAdapter(settings_.AdapterDescription);
    setWindowIcon(QIcon(resource::IconPath(resource::kIconMain)));
    connectCommands();
    refreshTimer_.setSingleShot(true);
    refreshTimer_.setInterval(kRefreshInterval);
    connect(&refreshTimer_, &QTimer::timeout, this, &CMainDlg::refreshLists);
    store_.onHandOff([this](const std::string &url) { handOffAutomatically(url); });
    store_.onStatistics([this](const std::optional<quillnet::CaptureStatistics> &) {
        showStatistics();
        showProgress();
    });
    prepareKeyboard();
    resize(kClientSize.width(), kClientSize.height() + ui_->menuBar->sizeHint().height());
    layoutControls();
    restoreWindowState();
    if (!services_.updateUrl.isEmpty() && settings_.CheckForUpdates != 0) {
        updateCheck_ = std::make_unique<UpdateCheck>(messageWindow_.handle(), services_.updateUrl);
        updateCheck_->start();
    }
}

void CMainDlg::prepareButtons()
{
    const std::pair<CFramedButton *, int> buttons[] = {
        {ui_->startButton, resource::kIconStart}, {ui_->optionsButton, resource::kIconOptions},
        {ui_->copyButton, resource::kIconCopy},   {ui_->clearButton, resource::kIconClear},
        {ui_->topButton, resource::kIconTop},     {ui_->helpButton, resource::kIconHelp},
        {ui_->exitButton, resource::kIconExit},
    };
    for (const auto &[button, icon] : buttons) {
        button->setIconResource(resource::IconPath(icon));
        button->offsetColor(CFlatButton::BackgroundActive, kHotLighter, true);
        button->setRounded(false, true);
        // Like a toolbar's: reached by Tab, while a click leaves the focus in the list.
        button->setFocusPolicy(Qt::TabFocus);
    }
}

void CMainDlg::prepareStatusBar()
{
    statusBar_ = new QStatusBar(this);
    statusBar_->setContentsMargins(0, 0, 0, 0);
    for (int part : kStatusPartOrder) {
        statusParts_[part] = part == kCapturePart ? new ElidingLabel(statusBar_) : new QLabel(statusBar_);
        statusBar_->addWidget(statusParts_[part], part == kBufferPart ? 1 : 0);
    }
    statusParts_[kAdapterPart]->setFixedWidth(kAdapterPartWidth);
    // Why a capture ended or failed takes the room it needs, as far as there is room.
    statusParts_[kCapturePart]->setMinimumWidth(kCapturePartWidth);
    statusParts_[kStatisticsPart]->setFixedWidth(0);
    statusParts_[kStatisticsPart]->hide();
}

void CMainDlg::prepareList(QTableView *view, UrlListProxy &shown)
{
    view->setModel(&shown);
    view->verticalHeader()->hide();
    // Fixed heights keep a list of a hundred thousand rows as quick as a short one.
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + kRowPadding);
    view->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    view->horizontalHeader()->setHighlightSections(false);
    view->setWordWrap(false);
    view->setItemDelegate(new ElidedTipDelegate(view));
    // One Tab stop: Tab leaves the list rather than walking its cells.
    view->setTabKeyNavigation(false);
    // A header click sorts by its column, a second reverses, a third restores capture order.
    view->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    view->horizontalHeader()->setSortIndicatorClearable(true);
    view->setSortingEnabled(true);
    const UrlList list = view == ui_->allList ? kAllList : kMediaFilesList;
    columns_[list] = new ListColumns(*view);
    view->setAccessibleName(QString::fromLatin1(list == kAllList ? kAllCaption : kMediaFilesCaption));
    // From the Menu key the menu opens at the current row, not wherever the pointer rests.
    connect(view, &QWidget::customContextMenuRequested, this, [this, list, view](const QPoint &at) {
        showUrlMenu(list, view->viewport()->mapToGlobal(at));
    });
    view->installEventFilter(this);
    connect(view, &QAbstractItemView::doubleClicked, this,
            [this, list](const QModelIndex &index) { showDetails(list, proxy(list).sourceRow(index.row())); });
}

void CMainDlg::connectCommands()
{
    for (QAction *action : findChildren<QAction *>()) {
        const int id = action->property(kCommandIdProperty).toInt();
        if (id != 0)
            connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
    }
    for (CFramedButton *button : findChildren<CFramedButton *>()) {
        const int id = button->property(kCommandIdProperty).toInt();
        connect(button, &QPushButton::clicked, this, [this, id] { OnCommand(id); });
    }
}

QTableView *CMainDlg::listView(UrlList list) const
{
    return list == kAllList ? ui_->allList : ui_->mediaList;
}

QString CMainDlg::statusText(int part) const
{
    return statusParts_.at(static_cast<size_t>(part))->toolTip();
}

// A text too long for its part is cut with an ellipsis; the whole text is one hover away.
void CMainDlg::setStatusPart(int part, const QString &status)
{
    QLabel *label = statusParts_.at(static_cast<size_t>(part));
    label->setToolTip(status);
    // The capture part cuts its text itself, at whatever width it is given.
    const bool fixedWidth = part != kBufferPart && part != kCapturePart;
    label->setText(fixedWidth ? label->fontMetrics().elidedText(status, Qt::ElideRight, label->width()) : status);
}

// Dropped frames, decrypted TLS connections and what else the capture lost,
// beside the adapter.
void CMainDlg::showStatistics()
{
    const std::optional<quillnet::CaptureStatistics> &statistics = store_.captureStatistics();
    const QString status = text(joinNotes({keyLogProblem_, statistics ? StatisticsStatus(*statistics) : "",
                                           DroppedHandOffsStatus(handOffsDropped_),
                                           Aria2FailuresStatus(aria2Failures_, aria2Failure_)}));
    QLabel *label = statusParts_[kStatisticsPart];
    const int textWidth = label->fontMetrics().horizontalAdvance(status) + kStatisticsPartPadding;
    const int width = status.isEmpty() ? 0 : std::min(textWidth, kStatisticsPartMaxWidth);
    label->setFixedWidth(width);
    label->setVisible(width != 0);
    setStatusPart(kStatisticsPart, status);
    const int adapterWidth = std::max(kAdapterPartMinWidth, kAdapterPartWidth - progressRoom() -
                                                                (width == 0 ? 0 : width + kStatusPartSpacing));
    if (statusParts_[kAdapterPart]->width() == adapterWidth)
        return;
    statusParts_[kAdapterPart]->setFixedWidth(adapterWidth);
    setStatusPart(kAdapterPart, statusText(kAdapterPart));
}

QString CMainDlg::tabCaption(UrlList list) const
{
    return ui_->tabStrip->tabText(list);
}

void CMainDlg::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    layoutControls();
}

// The buttons take the top 34 pixels under the menu, the filter the next 26,
// the lists end 45 pixels above the bottom, the tab strip takes the next 20,
// the status bar the rest.
void CMainDlg::layoutControls()
{
    const int menuHeight = ui_->menuBar->sizeHint().height();
    ui_->menuBar->setGeometry(0, 0, width(), menuHeight);
    const QRect client(0, menuHeight, width(), height() - menuHeight);
    for (CFramedButton *button : findChildren<CFramedButton *>())
        button->move(button->x(), client.top());
    statusBar_->setGeometry(0, height() - kStatusBarHeight, width(), kStatusBarHeight);
    ui_->filterEdit->setGeometry(client.left(), client.top() + kButtonRowHeight, client.width(), kFilterRowHeight);
    const QRect lists(client.left(), client.top() + kButtonRowHeight + kFilterRowHeight, client.width(),
                      std::max(0, client.height() - kListsBottomGap - kFilterRowHeight));
    ui_->allList->setGeometry(lists);
    ui_->mediaList->setGeometry(lists);
    ui_->tabStrip->setGeometry(client.left(), client.top() + client.height() - kTabStripAboveBottom, client.width(),
                               kTabStripHeight);
}

// Where the platform paints minimised windows at all, they show the main icon.
void CMainDlg::paintEvent(QPaintEvent *event)
{
    if (!isMinimized()) {
        QDialog::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    const int extent = style()->pixelMetric(QStyle::PM_LargeIconSize, nullptr, this);
    const QPoint corner((width() - extent + 1) / 2, (height() - extent + 1) / 2);
    windowIcon().paint(&painter, QRect(corner, QSize(extent, extent)));
}

intptr_t CMainDlg::handleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    switch (message) {
    case WM_CAPTURE_START:
        capture_.start();
        return 0;
    case WM_CAPTURE_STOP:
        capture_.stop();
        return 0;
    case WM_CAPTURE_ENDED:
        capture_.ended(static_cast<uint32_t>(wParam));
        return 0;
    case WM_KEYLOG_UNREADABLE:
        capture_.keyLogUnreadable(static_cast<uint32_t>(wParam), static_cast<int32_t>(lParam));
        return 0;
    case WM_NEW_VERSION:
        showNewVersion();
        return 0;
    default:
        return store_.handleMessage(message, wParam, lParam);
    }
}

void CMainDlg::onTabNotification(const TabNotification &notification)
{
    if (notification.code != CCustomTabCtrl::kNotifySelectionChanged)
        return;
    showTab(notification.index);
}

// A list that had the focus hands it to the list shown in its place.
void CMainDlg::showTab(int index)
{
    const bool listHadFocus = listView(currentList())->hasFocus();
    currentTab_ = index;
    if (index != kMediaFilesList && index != kAllList)
        return;
    QTableView *shown = listView(static_cast<UrlList>(index));
    shown->show();
    listView(index == kAllList ? kMediaFilesList : kAllList)->hide();
    if (listHadFocus)
        shown->setFocus();
}

std::unique_ptr<QMenu> CMainDlg::urlMenu(int selectedRows)
{
    auto menu = std::make_unique<QMenu>(this);
    menu->addActions({ui_->actionCopyUrls, ui_->actionCopyAsCommand, ui_->actionDownload,
                      ui_->actionDownloadImmediately, ui_->actionDetails});
    ui_->actionCopyUrls->setEnabled(selectedRows > 0);
    ui_->actionCopyAsCommand->setEnabled(selectedRows > 0);
    const QString target = QString::fromLatin1(HandsOffToAria2(settings_) ? kHandOffToAria2 : kDownloadManagerName);
    ui_->actionDownload->setText(QString::fromLatin1(kDownloadText).arg(target));
    ui_->actionDownloadImmediately->setText(QString::fromLatin1(kDownloadImmediatelyText).arg(target));
    ui_->actionDownload->setEnabled(selectedRows == 1);
    ui_->actionDownloadImmediately->setEnabled(selectedRows > 0);
    // Details are reached by a double click instead.
    menu->removeAction(menu->actions().at(kDetailsPosition));
    return menu;
}

void CMainDlg::showUrlMenu(UrlList list, const QPoint &at)
{
    urlMenu(static_cast<int>(selectedRows(list).size()))->exec(at);
}

// A row whose details are no longer kept still shows its URL.
void CMainDlg::showDetails(UrlList list, int row)
{
    CDetailsDlg details(rowDetails(model(list).row(row)), this);
    services_.desktop.runModal(details);
}

void CMainDlg::showNewVersion()
{
    if (!updateCheck_)
        return;
    CNewVersionDlg dialog(updateCheck_->latestVersionText(), services_.desktop, this);
    services_.desktop.runModal(dialog);
}

void CMainDlg::scheduleRefresh()
{
    if (!refreshTimer_.isActive())
        refreshTimer_.start();
}

void CMainDlg::refreshLists()
{
    refreshTimer_.stop();
    const auto started = std::chrono::steady_clock::now();
    for (UrlList list : {kMediaFilesList, kAllList}) {
        if (CommitKeepingPlace(model(list), *listView(list)))
            columns_[list]->fit();
        if (pendingCaptions_[list]) {
            captions_[list] = std::move(*pendingCaptions_[list]);
            pendingCaptions_[list].reset();
        }
        showCaption(list);
    }
    const auto cost = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    refreshTimer_.setInterval(std::clamp(cost * kRefreshCostShare, kRefreshInterval, kLongestRefreshInterval));
}

void CMainDlg::appendRow(UrlList list, const UrlRow &row)
{
    columns_[list]->note(row);
    model(list).append(row);
    scheduleRefresh();
}

void CMainDlg::clearList(UrlList list)
{
    model(list).clear();
}

void CMainDlg::setCaption(UrlList list, const std::string &caption)
{
    pendingCaptions_[list] = caption;
    scheduleRefresh();
}

void CMainDlg::setStatus(const std::string &status)
{
    setStatusPart(kBufferPart, text(status));
}

void CMainDlg::showCapturing(bool capturing)
{
    ui_->startButton->setText(capturing ? QStringLiteral("Stop") : QStringLiteral("Start"));
    ui_->startButton->setIconResource(resource::IconPath(capturing ? resource::kIconStop : resource::kIconStart));
    if (capturing)
        captureStart_ = std::chrono::steady_clock::now();
    showProgress();
}

void CMainDlg::showCaptureStatus(const std::string &status)
{
    setStatusPart(kCapturePart, text(status));
}

void CMainDlg::showAdapter(const std::string &description)
{
    setStatusPart(kAdapterPart, QString::fromLatin1(kAdapterLabel) + text(description));
}

void CMainDlg::showKeyLogProblem(const std::string &problem)
{
    keyLogProblem_ = problem;
    showStatistics();
}

void CMainDlg::showStopping()
{
    services_.desktop.inform(this, QString::fromLatin1(kStoppingText));
}

std::optional<ChosenAdapter> CMainDlg::chooseAdapter()
{
    CAdapterDlg dialog(services_.desktop, this, services_.listAdapters);
    services_.desktop.runModal(dialog);
    if (dialog.interfaceName().empty())
        return std::nullopt;
    return ChosenAdapter{dialog.interfaceName(), dialog.description(), dialog.netmask()};
}

// A Start: what the capture before could not do goes with its statistics.
void CMainDlg::clearAllList()
{
    keyLogProblem_.clear();
    handOffsDropped_ = 0;
    aria2Failures_ = 0;
    store_.clearAllList();
}

}

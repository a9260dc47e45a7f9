// The main window as a daily tool: read while it grows, worked by keyboard and
// assistive technology, arranged as its user left it, and found again by a second start.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QContextMenuEvent>
#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMenu>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <cstdio>

#include "custom_tab_ctrl.h"
#include "flat_button.h"
#include "instance_channel.h"
#include "main_dialog.h"
#include "program_info.h"
#include "temporary_directory.h"
#include "window_test_support.h"

using namespace tarvolin;
using namespace testing_support;

namespace {

class WindowSessionTest : public ::testing::Test {
protected:
    WindowSessionTest()
    {
        FakeCapture::reset();
        settings.NoLimitBufferSize = 1;
        open();
    }

    void open()
    {
        window = std::make_unique<CMainDlg>(settings, folder.file("setting.ini"),
                                            WindowServices(FakeCapture::functions(), desktop));
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    // Media rows "rtsp://cam.example/<folder>/0000.sdp" and on, numbered from `first`.
    void sendMedia(const char *folderName, int first, int count)
    {
        for (int number = first; number < first + count; ++number) {
            char name[16];
            std::snprintf(name, sizeof name, "%04d", number);
            SendUrlText(window->handle(), std::string("rtsp://cam.example/") + folderName + "/" + name + ".sdp");
        }
        window->refreshLists();
    }

    static QString url(QTableView &view, int row)
    {
        return view.model()->index(row, UrlListModel::kUrlColumn).data().toString();
    }

    static bool inView(QTableView &view, const QModelIndex &index)
    {
        return view.viewport()->rect().contains(view.visualRect(index));
    }

    template <typename Widget>
    Widget *child(const char *name)
    {
        return window->findChild<Widget *>(QString::fromLatin1(name));
    }

    TemporaryDirectory folder;
    Settings settings;
    FakeDesktop desktop;
    std::unique_ptr<CMainDlg> window;
};

TEST_F(WindowSessionTest, ASelectedRowStaysSelectedAndInViewWhileRowsArrive)
{
    sendMedia("b", 0, 200);
    QTableView &view = *window->listView(kMediaFilesList);
    view.scrollTo(view.model()->index(50, 0), QAbstractItemView::PositionAtTop);
    const QString top = url(view, view.rowAt(0));
    const QModelIndex picked = view.model()->index(55, UrlListModel::kUrlColumn);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.visualRect(picked).center());
    const auto selected = [&] {
        const QModelIndexList rows = view.selectionModel()->selectedRows(UrlListModel::kUrlColumn);
        return rows.size() == 1 && inView(view, rows[0]) ? rows[0].data().toString() : QString();
    };
    const QString chosen = selected();
    ASSERT_EQ(chosen, "rtsp://cam.example/b/0055.sdp");

    sendMedia("b", 200, 1000);
    EXPECT_EQ(view.model()->rowCount(), 1200);
    EXPECT_EQ(url(view, view.rowAt(0)), top) << "the view stays where it was left";
    EXPECT_EQ(selected(), chosen);

    // Scrolled to the end, the view follows.
    view.scrollToBottom();
    sendMedia("b", 1200, 1000);
    EXPECT_TRUE(inView(view, view.model()->index(2199, 0)));
    EXPECT_EQ(view.selectionModel()->selectedRows(UrlListModel::kUrlColumn).value(0).data().toString(), chosen);

    // Sorted, new rows that sort in above do not push the rows shown down.
    view.sortByColumn(UrlListModel::kUrlColumn, Qt::AscendingOrder);
    view.scrollTo(view.selectionModel()->selectedRows().value(0), QAbstractItemView::PositionAtTop);
    sendMedia("a", 0, 1000);
    EXPECT_EQ(url(view, view.rowAt(0)), chosen);
    EXPECT_EQ(selected(), chosen);
}

TEST_F(WindowSessionTest, GeometryTabAndColumnWidthsSurviveARestart)
{
    window->resize(760, 480);
    QTest::keyClick(window.get(), Qt::Key_Tab, Qt::ControlModifier);
    ASSERT_EQ(window->currentTab(), kAllList);
    window->listView(kAllList)->horizontalHeader()->resizeSection(UrlListModel::kThirdColumn, 230);
    window->listView(kMediaFilesList)->horizontalHeader()->resizeSection(UrlListModel::kExtensionColumn, 90);
    ASSERT_TRUE(window->close());
    window.reset();

    open();
    EXPECT_EQ(window->size(), QSize(760, 480));
    EXPECT_EQ(window->currentTab(), kAllList);
    EXPECT_TRUE(window->listView(kAllList)->isVisible());
    EXPECT_FALSE(window->listView(kMediaFilesList)->isVisible());
    EXPECT_EQ(window->listView(kAllList)->columnWidth(UrlListModel::kThirdColumn), 230);
    EXPECT_EQ(window->listView(kMediaFilesList)->columnWidth(UrlListModel::kExtensionColumn), 90);
}

TEST_F(WindowSessionTest, TheUrlColumnTakesTheWidthAndCutTextsShowWholeOnHover)
{
    const std::string path = "/live/" + std::string(300, 'v') + ".m3u8";
    const QString contentType = "application/vnd.apple.mpegurl";
    SendHttpUrl(window->handle(), 80, "cdn.example.com", path, contentType.toStdString());
    SendUrlText(window->handle(), "rtsp://cam.example/a.sdp");
    window->resize(1000, 400);
    window->refreshLists();
    QTableView &view = *window->listView(kMediaFilesList);
    EXPECT_EQ(view.model()->headerData(UrlListModel::kExtensionColumn, Qt::Horizontal).toString(), "Type");
    int columns = 0;
    for (int column = 0; column < UrlListModel::kColumnCount; ++column)
        columns += view.columnWidth(column);
    EXPECT_EQ(columns, view.viewport()->width()) << "the URL column takes the width left";
    EXPECT_GE(view.columnWidth(UrlListModel::kThirdColumn), view.fontMetrics().horizontalAdvance(contentType));

    const auto hover = [&](int row) {
        const QRect cell = view.visualRect(view.model()->index(row, UrlListModel::kUrlColumn));
        QHelpEvent help(QEvent::ToolTip, cell.center(), view.viewport()->mapToGlobal(cell.center()));
        QApplication::sendEvent(view.viewport(), &help);
    };
    hover(1);
    EXPECT_FALSE(QToolTip::isVisible()) << "a URL shown whole needs no tooltip";
    hover(0);
    ASSERT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text().remove(QChar(0x200B)), QString::fromStdString("<qt>http://cdn.example.com" + path))
        << "the whole URL, wrapping anywhere";
    QToolTip::hideText();
}

TEST_F(WindowSessionTest, TheKeyboardReachesTabsListsMenusAndButtons)
{
    sendMedia("k", 0, 3);
    QTableView *media = window->listView(kMediaFilesList);
    QTableView *all = window->listView(kAllList);
    EXPECT_TRUE(media->hasFocus()) << "at start, keys act on the rows";
    const std::pair<Qt::Key, Qt::KeyboardModifiers> switches[] = {
        {Qt::Key_Tab, Qt::ControlModifier},
        {Qt::Key_PageDown, Qt::ControlModifier},
        {Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier},
        {Qt::Key_PageUp, Qt::ControlModifier},
    };
    UrlList expected = kAllList;
    for (const auto &[key, modifiers] : switches) {
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
        EXPECT_EQ(window->currentTab(), expected) << QKeySequence(key | modifiers).toString().toStdString();
        EXPECT_EQ(child<CCustomTabCtrl>("tabStrip")->selectedIndex(), expected);
        EXPECT_TRUE(window->listView(expected)->hasFocus()) << "the list shown takes the focus";
        expected = expected == kAllList ? kMediaFilesList : kAllList;
    }
    ASSERT_FALSE(all->isVisible());
    ASSERT_TRUE(media->hasFocus());

    // Tab leaves the list for the toolbar instead of walking the list's cells, and the button shows it.
    CFramedButton *start = child<CFramedButton>("startButton");
    const QImage unfocused = start->grab().toImage();
    QTest::keyClick(media, Qt::Key_Tab);
    ASSERT_TRUE(start->hasFocus());
    EXPECT_NE(start->grab().toImage(), unfocused);
    QTest::keyClick(start, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(media->selectionModel()->selectedRows().size(), 3) << "Ctrl+A selects the list shown";

    QTest::keyClick(window.get(), Qt::Key_F1);
    EXPECT_EQ(desktop.opened, std::vector<QUrl>{VendorPage(kSupportPage)});
    QMenu *file = child<QMenu>("menuFile");
    QTest::keyClick(window.get(), Qt::Key_F, Qt::AltModifier);
    EXPECT_TRUE(file->isVisible()) << "Alt+F";
    file->close();
    QTest::keyClick(window.get(), Qt::Key_F10);
    EXPECT_TRUE(file->isVisible()) << "F10";
    file->close();

    // The Menu key opens the row menu at the current row, wherever the pointer is.
    media->setFocus();
    media->setCurrentIndex(media->model()->index(2, UrlListModel::kUrlColumn));
    QCursor::setPos(window->geometry().bottomRight() + QPoint(200, 200));
    QRect menuPlace;
    QTimer::singleShot(0, [&] {
        if (QWidget *menu = QApplication::activePopupWidget()) {
            menuPlace = menu->geometry();
            menu->close();
        }
    });
    // What the window system sends for the Menu key.
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(), QPoint());
    QApplication::sendEvent(window->windowHandle(), &menuKey);
    const QRect row = media->visualRect(media->currentIndex());
    EXPECT_TRUE(menuPlace.contains(media->viewport()->mapToGlobal(row.center())))
        << "menu at " << menuPlace.x() << "," << menuPlace.y();
}

TEST_F(WindowSessionTest, ListsTabsAndButtonsHaveAccessibleNames)
{
    const auto name = [](QObject *object) { return QAccessible::queryAccessibleInterface(object)->text(QAccessible::Name); };
    EXPECT_EQ(name(window->listView(kMediaFilesList)), "Media Files");
    EXPECT_EQ(name(window->listView(kAllList)), "All");
    EXPECT_EQ(name(child<CFramedButton>("startButton")), "Start");
    EXPECT_EQ(name(child<CFramedButton>("exitButton")), "Exit");

    SendUrlText(window->handle(), "rtsp://cam.example/a.sdp");
    window->refreshLists();
    QAccessibleInterface *tabs = QAccessible::queryAccessibleInterface(child<CCustomTabCtrl>("tabStrip"));
    EXPECT_EQ(tabs->role(), QAccessible::PageTabList);
    EXPECT_EQ(tabs->text(QAccessible::Name), "Lists");
    ASSERT_EQ(tabs->childCount(), 2);
    EXPECT_EQ(tabs->child(0)->role(), QAccessible::PageTab);
    EXPECT_EQ(tabs->child(0)->text(QAccessible::Name), "Media Files (1)");
    EXPECT_EQ(tabs->child(1)->text(QAccessible::Name), "All (1)");
    EXPECT_TRUE(tabs->child(0)->state().selected);
    EXPECT_FALSE(tabs->child(1)->state().selected);
    EXPECT_EQ(tabs->indexOfChild(tabs->child(1)), 1);
    EXPECT_EQ(tabs->childAt(tabs->child(1)->rect().center().x(), tabs->child(1)->rect().center().y()),
              tabs->child(1));
}

TEST_F(WindowSessionTest, ASecondStartBringsTheWindowForward)
{
    const QString path = QString::fromStdString(folder.file("instance.socket"));
    InstanceChannel channel(path);
    ASSERT_TRUE(channel.listening());
    QObject::connect(&channel, &InstanceChannel::startedAgain, window.get(), &CMainDlg::bringForward);
    QSignalSpy started(&channel, &InstanceChannel::startedAgain);
    window->showMinimized();
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));

    ASSERT_TRUE(InstanceChannel::tell(path, {"capture.pcap"}));
    EXPECT_TRUE(WaitFor([&] { return window->isActiveWindow(); }));
    EXPECT_FALSE(window->isMinimized());
    ASSERT_EQ(started.size(), 1);
    EXPECT_EQ(started[0][0].toStringList(), QStringList{"capture.pcap"});
}

}

#include <gtest/gtest.h>

#include <netinet/in.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <algorithm>
#include <iterator>
#include <stdexcept>

#include "adapter_dialog.h"
#include "desktop.h"
#include "device_list.h"
#include "window_test_support.h"

using namespace tarvolin;
using testing_support::ControlById;
using testing_support::DeviceList;
using testing_support::FakeDesktop;

namespace {

constexpr int kListId = 1002;
constexpr int kOkId = 1;
constexpr int kCancelId = 2; // "Close" in the no-adapter dialog
constexpr int kMessageId = 1034;
constexpr int kMoreDetailsId = 1035;

// Controls are found the way the dialogs' resources number them.
template <typename Control>
Control &control(QWidget &dialog, int id)
{
    Control *found = ControlById<Control>(dialog, id);
    if (!found)
        throw std::runtime_error("no control " + std::to_string(id));
    return *found;
}

void press(QWidget &dialog, int buttonId)
{
    QTest::mouseClick(&control<QPushButton>(dialog, buttonId), Qt::LeftButton);
}

class AdapterDialogTest : public testing::Test {
protected:
    std::unique_ptr<CAdapterDlg> open()
    {
        auto dialog = std::make_unique<CAdapterDlg>(
            desktop, nullptr, [this] { return std::optional(DescribeAdapters(devices.first())); });
        dialog->show();
        return dialog;
    }

    static QTreeWidget &list(CAdapterDlg &dialog) { return control<QTreeWidget>(dialog, kListId); }

    static QStringList row(CAdapterDlg &dialog, int index)
    {
        QStringList texts;
        for (int column = 0; column < list(dialog).columnCount(); ++column)
            texts << list(dialog).topLevelItem(index)->text(column);
        return texts;
    }

    static void click(CAdapterDlg &dialog, QPoint at)
    {
        QTest::mouseClick(list(dialog).viewport(), Qt::LeftButton, {}, at);
    }
    static void clickRow(CAdapterDlg &dialog, int index)
    {
        click(dialog, list(dialog).visualItemRect(list(dialog).topLevelItem(index)).center());
    }

    // A click on the row, then OK.
    std::unique_ptr<CAdapterDlg> choose(int index)
    {
        auto dialog = open();
        clickRow(*dialog, index);
        press(*dialog, kOkId);
        return dialog;
    }

    DeviceList devices;
    FakeDesktop desktop;
};

TEST_F(AdapterDialogTest, ShowsEachDeviceWithItsLabelAndLastIpv4Address)
{
    pcap_if_t *lan = devices.add("eth0", "Network adapter 'Intel PRO/1000' on local host");
    devices.addAddress(lan, AF_INET, "10.0.0.5", "255.0.0.0");
    devices.addAddress(lan, AF_INET, "192.168.1.7", "255.255.255.128");
    devices.addAddress(lan, AF_INET6, "10.9.9.9", "255.255.0.0");
    devices.add("tun0", "0123456789");
    auto dialog = open();

    EXPECT_EQ(dialog->windowTitle(), "Adapter Information");
    QTreeWidget &adapters = list(*dialog);
    EXPECT_EQ(adapters.selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(adapters.selectionBehavior(), QAbstractItemView::SelectRows);
    const QStringList titles{"Description", "Address", "NetMask", "Interface"};
    for (int column = 0; column < titles.size(); ++column)
        EXPECT_EQ(adapters.headerItem()->text(column), titles[column]);
    EXPECT_EQ(QList({adapters.columnWidth(0), adapters.columnWidth(1), adapters.columnWidth(2)}),
              QList({350, 80, 100}));
    EXPECT_GE(adapters.columnWidth(3), 300); // the last column stretches to the list's edge
    ASSERT_EQ(adapters.topLevelItemCount(), 2);
    EXPECT_EQ(row(*dialog, 0), QStringList({"Intel PRO/1000", "192.168.1.7", "255.255.255.128", "eth0"}));
    EXPECT_EQ(row(*dialog, 1), QStringList({"", "N/A", "N/A", "tun0"}));
    EXPECT_TRUE(desktop.dialogTitles.empty());
}

TEST_F(AdapterDialogTest, DevicesWithoutAMaskedIpv4AddressCarryTheNetmaskBefore)
{
    devices.add("any", nullptr);
    devices.addAddress(devices.add("eth1", nullptr), AF_INET, "172.16.0.1", "255.255.0.0");
    devices.add("nflog", nullptr);
    devices.addAddress(devices.add("ppp0", nullptr), AF_INET, "10.64.0.9", nullptr);
    auto dialog = open();
    EXPECT_EQ(row(*dialog, 0), QStringList({"", "N/A", "N/A", "any"}));
    EXPECT_EQ(row(*dialog, 2), QStringList({"", "N/A", "N/A", "nflog"}));
    EXPECT_EQ(row(*dialog, 3), QStringList({"", "10.64.0.9", "N/A", "ppp0"}));

    const int32_t expected[] = {16777215, 65535, 65535, 65535};
    for (int index = 0; index < static_cast<int>(std::size(expected)); ++index)
        EXPECT_EQ(choose(index)->netmask(), expected[index]) << index;
}

TEST_F(AdapterDialogTest, OkWithoutAClickedRowKeepsTheDialogOpen)
{
    devices.add("eth0", nullptr);
    devices.add("lo", nullptr);
    auto dialog = open();
    press(*dialog, kOkId);
    EXPECT_TRUE(dialog->isVisible());

    clickRow(*dialog, 0);
    click(*dialog, QPoint(1, list(*dialog).viewport()->height() - 1));
    EXPECT_TRUE(list(*dialog).selectedItems().isEmpty());
    press(*dialog, kOkId);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->interfaceName(), "");
}

TEST_F(AdapterDialogTest, OkReturnsTheClickedRowWhereverTheKeysMovedTheSelection)
{
    devices.add("eth0", nullptr);
    pcap_if_t *wireless = devices.add("wlan0", "Network adapter 'Wireless  ' on local host");
    devices.addAddress(wireless, AF_INET, "10.1.2.3", "255.255.240.0");
    devices.add("lo", nullptr);
    auto dialog = open();
    clickRow(*dialog, 1);
    QTest::keyClick(&list(*dialog), Qt::Key_Down);
    ASSERT_EQ(list(*dialog).selectedItems(), QList{list(*dialog).topLevelItem(2)});
    press(*dialog, kOkId);

    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(dialog->interfaceName(), "wlan0");
    EXPECT_EQ(dialog->description(), "Wireless");
    EXPECT_EQ(dialog->address(), "10.1.2.3");
    EXPECT_EQ(dialog->netmask(), 0x00f0ffff);
}

TEST_F(AdapterDialogTest, CancelReturnsNoInterface)
{
    devices.add("eth0", nullptr);
    auto dialog = open();
    clickRow(*dialog, 0);
    press(*dialog, kCancelId);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(dialog->interfaceName(), "");
}

TEST_F(AdapterDialogTest, NoDevicesIsAnEmptyListWithoutTheNotice)
{
    auto dialog = open();
    EXPECT_EQ(list(*dialog).topLevelItemCount(), 0);
    EXPECT_TRUE(desktop.dialogTitles.empty());
}

TEST(AdapterDialog, FailedListingRunsTheNoAdapterDialogBeforeShowingAnEmptyList)
{
    FakeDesktop desktop;
    bool adapterDialogShown = true;
    desktop.onDialog = [&](QDialog &notice) {
        adapterDialogShown = std::ranges::any_of(QApplication::topLevelWidgets(), [&notice](QWidget *widget) {
            return widget != &notice && qobject_cast<CAdapterDlg *>(widget) && widget->isVisible();
        });
    };
    CAdapterDlg dialog(desktop, nullptr, [] { return std::nullopt; });
    EXPECT_EQ(desktop.dialogTitles, std::vector<QString>{"Error"});
    EXPECT_FALSE(adapterDialogShown);
    EXPECT_EQ(control<QTreeWidget>(dialog, kListId).topLevelItemCount(), 0);
}

TEST(NoAdapterDialog, MoreDetailsOpensTheHelpPageAndStaysOpen)
{
    FakeDesktop desktop;
    CNoAdapterDlg dialog(desktop);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Error");
    EXPECT_EQ(control<QLabel>(dialog, kMessageId).text(),
              "Error: can not find any adapter, please run Tarvolin as root or give it the CAP_NET_RAW capability");

    press(dialog, kMoreDetailsId);
    EXPECT_EQ(desktop.opened, std::vector{VendorPage("/can-not-find-any-adapter-on-vista-computer.htm")});
    EXPECT_TRUE(dialog.isVisible());
    press(dialog, kCancelId);
    EXPECT_FALSE(dialog.isVisible());
}

}

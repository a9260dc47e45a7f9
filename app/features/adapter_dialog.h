// Picking the network adapter to capture on, and the notice shown when the
// capture devices cannot be listed at all.
#pragma once

#include <QDialog>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adapter_info.h"

namespace Ui {
class CAdapterDlg;
class CNoAdapterDlg;
}

namespace tarvolin {

class Desktop;

// Tells the user that no adapter was found and links to the help page.
class CNoAdapterDlg : public QDialog {
    Q_OBJECT

public:
    explicit CNoAdapterDlg(Desktop &desktop, QWidget *parent = nullptr);
    ~CNoAdapterDlg() override;

private:
    void openHelpPage();

    Desktop &desktop_;
    std::unique_ptr<Ui::CNoAdapterDlg> ui_;
};

// Lists the capture devices when constructed; when they cannot be listed, the
// no-adapter notice runs first and the list stays empty. After the modal run
// the result fields describe the clicked row if OK was pressed, else they are
// empty. Only a mouse click chooses a row; moving the selection with the
// keyboard does not.
class CAdapterDlg : public QDialog {
    Q_OBJECT

public:
    using AdapterSource = std::function<std::optional<std::vector<AdapterRow>>()>;

    // The no-adapter notice runs through `desktop`, before this dialog shows.
    explicit CAdapterDlg(Desktop &desktop, QWidget *parent = nullptr,
                         const AdapterSource &listAdapters = ListLocalAdapters);
    ~CAdapterDlg() override;

    // The pcap device name; empty when nothing was chosen.
    const std::string &interfaceName() const { return result_.name; }
    const std::string &description() const { return result_.description; }
    const std::string &address() const { return result_.address; }
    // As StartCapture takes it.
    int32_t netmask() const { return result_.netmask; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void addColumns();
    void fillList();
    void acceptChosenRow();

    std::unique_ptr<Ui::CAdapterDlg> ui_;
    std::vector<AdapterRow> rows_;
    int chosenRow_ = -1; // none
    AdapterRow result_;
};

}

#include "adapter_dialog.h"

#include <QMouseEvent>
#include <QStringList>

#include <array>

#include "desktop.h"
#include "program_info.h"
#include "ui_adapter_dialog.h"
#include "ui_no_adapter_dialog.h"

namespace tarvolin {

namespace {

constexpr char kNoAdapterMessage[] =
    "Error: can not find any adapter, please run %1 as root or give it the CAP_NET_RAW capability";

struct Column {
    const char *title;
    int width;
};
// In the order of rowTexts.
constexpr std::array<Column, 4> kColumns{{
    {"Description", 350},
    {"Address", 80},
    {"NetMask", 100},
    {"Interface", 300},
}};

// Device names and labels are 8-bit texts of the system's locale.
QString localText(const std::string &text)
{
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

QStringList rowTexts(const AdapterRow &row)
{
    return {localText(row.description), localText(row.address), localText(row.netmaskText), localText(row.name)};
}

}

CNoAdapterDlg::CNoAdapterDlg(Desktop &desktop, QWidget *parent)
    : QDialog(parent), desktop_(desktop), ui_(std::make_unique<Ui::CNoAdapterDlg>())
{
    ui_->setupUi(this);
    ui_->messageText->setText(QString::fromLatin1(kNoAdapterMessage).arg(QString::fromLatin1(kApplicationName)));
    connect(ui_->moreDetailsButton, &QPushButton::clicked, this, &CNoAdapterDlg::openHelpPage);
    connect(ui_->closeButton, &QPushButton::clicked, this, &QDialog::reject);
}

CNoAdapterDlg::~CNoAdapterDlg() = default;

void CNoAdapterDlg::openHelpPage()
{
    desktop_.openUrl(VendorPage(kNoAdapterHelpPage));
}

CAdapterDlg::CAdapterDlg(Desktop &desktop, QWidget *parent, const AdapterSource &listAdapters)
    : QDialog(parent), ui_(std::make_unique<Ui::CAdapterDlg>())
{
    ui_->setupUi(this);
    addColumns();
    ui_->adapterList->viewport()->installEventFilter(this);
    connect(ui_->okButton, &QPushButton::clicked, this, &CAdapterDlg::acceptChosenRow);
    connect(ui_->cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    std::optional<std::vector<AdapterRow>> rows = listAdapters();
    if (!rows) {
        CNoAdapterDlg notice(desktop, parent);
        desktop.runModal(notice);
        return;
    }
    rows_ = std::move(*rows);
    fillList();
}

CAdapterDlg::~CAdapterDlg() = default;

void CAdapterDlg::addColumns()
{
    QStringList titles;
    for (const Column &column : kColumns)
        titles << QString::fromLatin1(column.title);
    ui_->adapterList->setHeaderLabels(titles);
    for (int index = 0; index < static_cast<int>(kColumns.size()); ++index)
        ui_->adapterList->setColumnWidth(index, kColumns[index].width);
}

void CAdapterDlg::fillList()
{
    for (const AdapterRow &row : rows_)
        new QTreeWidgetItem(ui_->adapterList, rowTexts(row));
}

bool CAdapterDlg::eventFilter(QObject *watched, QEvent *event)
{
    // The type first: ui_ is gone while the children are destroyed.
    if (event->type() == QEvent::MouseButtonPress && watched == ui_->adapterList->viewport()) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        // A click below the rows chooses none; the view clears its selection to match.
        if (mouse->button() == Qt::LeftButton)
            chosenRow_ = ui_->adapterList->indexAt(mouse->position().toPoint()).row();
    }
    return QDialog::eventFilter(watched, event);
}

void CAdapterDlg::acceptChosenRow()
{
    if (chosenRow_ < 0)
        return;
    result_ = rows_.at(static_cast<size_t>(chosenRow_));
    accept();
}

}

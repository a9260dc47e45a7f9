// Finding and ordering rows: the filter field over both lists, the captions
// that count the rows it shows, and the rows that commands act on, mapped from
// what the views show back to the lists' own rows.
#include <QItemSelectionModel>
#include <QShortcut>
#include <QTableView>

#include <algorithm>

#include "main_dialog.h"
#include "ui_main_dialog.h"

namespace tarvolin {

namespace {

constexpr char kFilteredCaption[] = "%1 (%2/%3)";

}

void CMainDlg::prepareFilter()
{
    connect(ui_->filterEdit, &QLineEdit::textChanged, this, &CMainDlg::applyFilter);
    auto *find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        ui_->filterEdit->setFocus(Qt::ShortcutFocusReason);
        ui_->filterEdit->selectAll();
    });
}

void CMainDlg::applyFilter(const QString &text)
{
    for (UrlList list : {kMediaFilesList, kAllList}) {
        proxy(list).setFilterText(text);
        showCaption(list);
    }
}

void CMainDlg::showCaption(UrlList list)
{
    const UrlListProxy &shown = proxy(list);
    QString caption = QString::fromStdString(captions_[list]);
    if (shown.filtering())
        caption = QString::fromLatin1(kFilteredCaption)
                      .arg(QString::fromLatin1(list == kAllList ? kAllCaption : kMediaFilesCaption))
                      .arg(shown.rowCount())
                      .arg(model(list).rowCount());
    if (tabCaption(list) != caption)
        ui_->tabStrip->setTabText(list, caption);
}

std::vector<int> CMainDlg::selectedRows(UrlList list) const
{
    std::vector<int> shown;
    for (const QModelIndex &index : listView(list)->selectionModel()->selectedRows())
        shown.push_back(index.row());
    std::sort(shown.begin(), shown.end());
    std::vector<int> rows;
    rows.reserve(shown.size());
    for (int row : shown)
        rows.push_back(proxy(list).sourceRow(row));
    return rows;
}

std::vector<int> CMainDlg::shownRows(UrlList list) const
{
    return proxy(list).shownRows();
}

}

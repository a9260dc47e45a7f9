#include "url_list_model.h"

#include <iterator>

#include "extension_icons.h"

namespace tarvolin {

namespace {

constexpr const char *kHeadings[UrlListModel::kColumnCount] = {"Type", "URL", "Content Type"};

}

UrlListModel::UrlListModel(ExtensionIcons &icons, QObject *parent) : QAbstractTableModel(parent), icons_(icons) {}

void UrlListModel::append(UrlRow row)
{
    pending_.push_back(std::move(row));
}

bool UrlListModel::commitPending()
{
    if (pending_.empty())
        return false;
    const int first = static_cast<int>(rows_.size());
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(pending_.size()) - 1);
    rows_.insert(rows_.end(), std::make_move_iterator(pending_.begin()), std::make_move_iterator(pending_.end()));
    pending_.clear();
    endInsertRows();
    return true;
}

void UrlListModel::clear()
{
    pending_.clear();
    if (rows_.empty())
        return;
    beginResetModel();
    rows_.clear();
    endResetModel();
}

int UrlListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int UrlListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant UrlListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const UrlRow &shown = row(index.row());
    if (role == Qt::DecorationRole && index.column() == kExtensionColumn)
        return icons_.iconFor(shown.extension);
    // The whole text of a cell too narrow for it.
    if (role == Qt::ToolTipRole)
        return data(index, Qt::DisplayRole);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case kExtensionColumn:
        return QString::fromStdString(shown.extension);
    case kUrlColumn:
        return QString::fromStdString(shown.url);
    case kThirdColumn:
        return QString::fromStdString(shown.third);
    default:
        return {};
    }
}

QVariant UrlListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumnCount)
        return {};
    return QString::fromLatin1(kHeadings[section]);
}

}

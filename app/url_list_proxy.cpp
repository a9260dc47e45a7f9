#include "url_list_proxy.h"

#include <algorithm>

#include "url_list_model.h"

namespace tarvolin {

namespace {

// Each stretch of new rows sorted into place shifts the whole mapping and tells
// the views; past about this many rows at once, appending them and sorting the
// list once costs less (measured with 40,000 and 100,000 rows of random URLs).
constexpr int kRowsWorthAResort = 1000;
constexpr char16_t kLastAscii = 0x7F;

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isAscii(const QString &text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= kLastAscii; });
}

}

UrlListProxy::UrlListProxy(UrlListModel &source, QObject *parent) : QSortFilterProxyModel(parent), source_(source)
{
    setSourceModel(&source_);
    // After the proxy's own handlers, so that a batch is appended before it is sorted.
    connect(&source_, &QAbstractItemModel::rowsAboutToBeInserted, this, &UrlListProxy::beforeInsert);
    connect(&source_, &QAbstractItemModel::rowsInserted, this, &UrlListProxy::afterInsert);
    connect(&source_, &QAbstractItemModel::modelAboutToBeReset, this, [this] { ranks_.clear(); });
}

// One new layout rather than a removal or insertion for each stretch of rows that changes.
void UrlListProxy::setFilterText(const QString &text)
{
    if (text == filter_)
        return;
    filter_ = text;
    asciiFilter_.clear();
    if (isAscii(text)) {
        asciiFilter_ = text.toLatin1().toStdString();
        std::transform(asciiFilter_.begin(), asciiFilter_.end(), asciiFilter_.begin(), lowerAscii);
    }
    invalidate();
}

int UrlListProxy::sourceRow(int row) const
{
    return mapToSource(index(row, 0)).row();
}

std::vector<int> UrlListProxy::shownRows() const
{
    std::vector<int> rows;
    rows.reserve(static_cast<size_t>(rowCount()));
    for (int row = 0; row < rowCount(); ++row)
        rows.push_back(sourceRow(row));
    return rows;
}

bool UrlListProxy::filterAcceptsRow(int sourceRow, const QModelIndex &) const
{
    if (filter_.isEmpty())
        return true;
    const UrlRow &row = source_.row(sourceRow);
    return matches(row.url) || matches(row.third);
}

bool UrlListProxy::matches(const std::string &text) const
{
    if (asciiFilter_.empty())
        return QString::fromStdString(text).contains(filter_, Qt::CaseInsensitive);
    const auto found = std::search(text.begin(), text.end(), asciiFilter_.begin(), asciiFilter_.end(),
                                   [](char a, char b) { return lowerAscii(a) == b; });
    return found != text.end();
}

// Equal texts keep capture order either way round, whether the rows arrived
// with them or sorted in later one by one.
bool UrlListProxy::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    ranks_.update(source_, left.column());
    if (!ranks_.equal(left.row(), right.row()))
        return ranks_.less(left.row(), right.row());
    return sortOrder() == Qt::AscendingOrder ? left.row() < right.row() : left.row() > right.row();
}

void UrlListProxy::beforeInsert(const QModelIndex &, int first, int last)
{
    if (sortColumn() < 0 || last - first + 1 < kRowsWorthAResort)
        return;
    // Without dynamic sorting the batch is appended in one piece.
    resortAfterInsert_ = true;
    setDynamicSortFilter(false);
}

void UrlListProxy::afterInsert()
{
    if (!resortAfterInsert_)
        return;
    resortAfterInsert_ = false;
    setDynamicSortFilter(true); // sorts once
}

}

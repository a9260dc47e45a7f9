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

// Bytes past ASCII compare as they are, which keeps UTF-8 in code point order.
// URLs share long beginnings, which are passed over unfolded first.
bool lessIgnoringCase(const std::string &left, const std::string &right)
{
    const size_t shorter = std::min(left.size(), right.size());
    const auto differ = std::mismatch(left.begin(), left.begin() + static_cast<std::ptrdiff_t>(shorter), right.begin());
    return std::lexicographical_compare(differ.first, left.end(), differ.second, right.end(), [](char a, char b) {
        return static_cast<unsigned char>(lowerAscii(a)) < static_cast<unsigned char>(lowerAscii(b));
    });
}

const std::string &columnText(const UrlRow &row, int column)
{
    switch (column) {
    case UrlListModel::kExtensionColumn:
        return row.extension;
    case UrlListModel::kUrlColumn:
        return row.url;
    default:
        return row.third;
    }
}

}

UrlListProxy::UrlListProxy(UrlListModel &source, QObject *parent) : QSortFilterProxyModel(parent), source_(source)
{
    setSourceModel(&source_);
    // After the proxy's own handlers, so that a batch is appended before it is sorted.
    connect(&source_, &QAbstractItemModel::rowsAboutToBeInserted, this, &UrlListProxy::beforeInsert);
    connect(&source_, &QAbstractItemModel::rowsInserted, this, &UrlListProxy::afterInsert);
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

// Equal texts keep capture order: the sort is stable and new rows go after their equals.
bool UrlListProxy::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    return lessIgnoringCase(columnText(source_.row(left.row()), left.column()),
                            columnText(source_.row(right.row()), right.column()));
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

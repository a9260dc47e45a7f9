#include "column_ranks.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <numeric>

#include "url_list_model.h"

namespace tarvolin {

namespace {

unsigned char lowerAscii(char c)
{
    return static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
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

// Where two texts first differ, within their first `count` bytes, eight at a
// time; in a little-endian word the first byte is the lowest.
size_t firstDifference(const std::string &left, const std::string &right, size_t count)
{
    using Word = uint64_t;
    size_t at = 0;
    for (; at + sizeof(Word) <= count; at += sizeof(Word)) {
        Word a;
        Word b;
        std::memcpy(&a, left.data() + at, sizeof a);
        std::memcpy(&b, right.data() + at, sizeof b);
        if (a != b)
            return at + static_cast<size_t>(std::countr_zero(a ^ b)) / CHAR_BIT;
    }
    while (at < count && left[at] == right[at])
        ++at;
    return at;
}

}

// URLs share long beginnings, which are passed over unfolded first.
int CompareIgnoringCase(const std::string &left, const std::string &right)
{
    const size_t shorter = std::min(left.size(), right.size());
    for (size_t at = firstDifference(left, right, shorter); at < shorter; ++at) {
        const unsigned char a = lowerAscii(left[at]);
        const unsigned char b = lowerAscii(right[at]);
        if (a != b)
            return a < b ? -1 : 1;
    }
    return left.size() == right.size() ? 0 : (left.size() < right.size() ? -1 : 1);
}

void ColumnRanks::clear()
{
    column_ = -1;
    order_.clear();
    ranks_.clear();
}

void ColumnRanks::update(const UrlListModel &model, int column)
{
    const auto rows = static_cast<size_t>(model.rowCount());
    if (column != column_ || rows < ranks_.size()) {
        clear();
        column_ = column;
    }
    if (rows > ranks_.size())
        merge(model, static_cast<int>(ranks_.size()));
}

// The new rows are sorted among themselves, then each is placed after its
// equals among the rows already ranked. Only pairs with a new row compare texts.
void ColumnRanks::merge(const UrlListModel &model, int firstNew)
{
    const auto textOf = [&](int row) -> const std::string & { return columnText(model.row(row), column_); };
    const auto lessText = [&](int left, int right) { return CompareIgnoringCase(textOf(left), textOf(right)) < 0; };

    std::vector<int> added(static_cast<size_t>(model.rowCount() - firstNew));
    std::iota(added.begin(), added.end(), firstNew);
    std::stable_sort(added.begin(), added.end(), lessText);

    std::vector<int> merged;
    merged.reserve(order_.size() + added.size());
    // A few rows are placed by binary search; many, by walking both orders once.
    // Either way a new row goes after its equals.
    if (added.size() * static_cast<size_t>(std::bit_width(order_.size())) > order_.size()) {
        std::merge(order_.begin(), order_.end(), added.begin(), added.end(), std::back_inserter(merged), lessText);
    } else {
        auto taken = order_.begin();
        for (int row : added) {
            const auto after = std::upper_bound(taken, order_.end(), row, lessText);
            merged.insert(merged.end(), taken, after);
            merged.push_back(row);
            taken = after;
        }
        merged.insert(merged.end(), taken, order_.end());
    }
    order_ = std::move(merged);

    ranks_.resize(order_.size(), -1);
    int previousRow = -1;
    int previousOldRank = -1;
    int previousRank = -1;
    for (size_t place = 0; place < order_.size(); ++place) {
        const int row = order_[place];
        const int oldRank = row < firstNew ? ranks_[static_cast<size_t>(row)] : -1;
        const bool bothOld = oldRank >= 0 && previousOldRank >= 0;
        const bool equal = previousRow >= 0 && (bothOld ? oldRank == previousOldRank
                                                        : CompareIgnoringCase(textOf(previousRow), textOf(row)) == 0);
        const int rank = equal ? previousRank : static_cast<int>(place);
        ranks_[static_cast<size_t>(row)] = rank;
        previousRow = row;
        previousOldRank = oldRank;
        previousRank = rank;
    }
}

}

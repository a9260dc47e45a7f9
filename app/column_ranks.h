// Sort keys of one list column: each row's place among the column's texts in
// ascending order, ignoring case, rows of equal texts sharing one. A sort then
// compares two integers instead of two URLs, and rows that arrive are merged
// into the order rather than the whole list sorted again by text.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tarvolin {

class UrlListModel;

class ColumnRanks {
public:
    // Ranks `column` of every row of `model`, taking in only the rows added
    // since the last call for the same column.
    void update(const UrlListModel &model, int column);
    void clear();

    bool less(int leftRow, int rightRow) const { return rank(leftRow) < rank(rightRow); }
    bool equal(int leftRow, int rightRow) const { return rank(leftRow) == rank(rightRow); }

private:
    int rank(int row) const { return ranks_[static_cast<size_t>(row)]; }
    void merge(const UrlListModel &model, int firstNew);

    int column_ = -1;
    std::vector<int> order_; // rows in ascending order of their text; capture order among equals
    std::vector<int> ranks_; // by row
};

// Byte order with ASCII letters folded; bytes past ASCII compare as they are,
// which keeps UTF-8 in code point order. Negative, zero or positive.
int CompareIgnoringCase(const std::string &left, const std::string &right);

}

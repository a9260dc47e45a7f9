// A URL list that is read while it grows: new rows never carry the view away
// from where its user left it, its columns fit what they show, and a cell too
// narrow for its text shows the whole text on hover.
#pragma once

#include <QObject>
#include <QStyledItemDelegate>

#include <array>
#include <string>
#include <vector>

class QTableView;

namespace tarvolin {

class UrlListModel;
struct UrlRow;

// Makes the model's waiting rows part of the list that `view` shows. A view
// scrolled to its end follows them; any other keeps its top row where it was.
// False when no rows waited.
bool CommitKeepingPlace(UrlListModel &model, QTableView &view);

// Tooltips only for cells whose text is cut, wrapped to stay on the screen.
class ElidedTipDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;
};

// The URL column takes whatever width the view has; "Type" and the third
// column grow to fit the widest text they have shown, within limits, until the
// user sizes them by hand. Lives as long as its view.
class ListColumns : public QObject {
public:
    explicit ListColumns(QTableView &view);

    // Remembers the row's texts for the next fit.
    void note(const UrlRow &row);
    // Widens the columns for the texts noted since the last fit.
    void fit();
    std::vector<int> widths() const;
    // Ignored unless there is a width for every column.
    void restore(const std::vector<int> &widths);

private:
    static constexpr int kFittedCount = 2;

    void resize(int column, int width);
    void onResized(int column);
    int neededWidth(int fitted) const;

    QTableView &view_;
    std::array<std::string, kFittedCount> widest_;
    std::array<bool, kFittedCount> sizedByHand_{};
    bool resizing_ = false;
};

}

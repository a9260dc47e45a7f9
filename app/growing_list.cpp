#include "growing_list.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <QToolTip>

#include <algorithm>

#include "url_list_model.h"

namespace tarvolin {

namespace {

struct FittedColumn {
    int column;
    int least; // also the width it starts with
    int most;
};

constexpr std::array<FittedColumn, 2> kFitted = {{
    {UrlListModel::kExtensionColumn, 60, 120},
    {UrlListModel::kThirdColumn, 100, 280},
}};
// The item delegate's margins around a cell's text and between its icon and text.
constexpr int kCellPadding = 12;
constexpr int kIconGap = 4;
// Longer texts, URLs above all, wrap in their tooltips rather than run off the screen.
constexpr qsizetype kLongestPlainToolTip = 80;
constexpr QChar kBreakOpportunity(0x200B);

// A URL has no blanks to wrap at: as rich text with a zero-width space after
// every character, it wraps anywhere.
QString wrappingToolTip(const QString &text)
{
    if (text.size() <= kLongestPlainToolTip)
        return text;
    QString wrapped = QStringLiteral("<qt>");
    for (const QChar character : text)
        wrapped += QString(character).toHtmlEscaped() + kBreakOpportunity;
    return wrapped;
}

int iconWidth(const QTableView &view)
{
    const QSize size = view.iconSize();
    return size.isValid() ? size.width() : view.style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, &view);
}

void keepAtTop(QTableView &view, const QPersistentModelIndex &top)
{
    if (!top.isValid() || view.rowAt(0) == top.row())
        return;
    // Only the rows move: scrolling to a cell would also scroll to its column.
    const int across = view.horizontalScrollBar()->value();
    view.scrollTo(top, QAbstractItemView::PositionAtTop);
    view.horizontalScrollBar()->setValue(across);
}

}

bool CommitKeepingPlace(UrlListModel &model, QTableView &view)
{
    const QScrollBar *bar = view.verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    // Rows sorted in above the top row would push it down.
    const QPersistentModelIndex top = atEnd ? QPersistentModelIndex() : QPersistentModelIndex(view.indexAt({0, 0}));
    if (!model.commitPending())
        return false;
    if (atEnd)
        view.scrollToBottom();
    else
        keepAtTop(view, top);
    return true;
}

bool ElidedTipDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                                  const QModelIndex &index)
{
    if (event->type() != QEvent::ToolTip)
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    if (sizeHint(option, index).width() <= option.rect.width())
        QToolTip::hideText();
    else
        QToolTip::showText(event->globalPos(), wrappingToolTip(index.data(Qt::ToolTipRole).toString()), view,
                           option.rect);
    return true;
}

ListColumns::ListColumns(QTableView &view) : QObject(&view), view_(view)
{
    QHeaderView *header = view.horizontalHeader();
    header->setSectionResizeMode(UrlListModel::kUrlColumn, QHeaderView::Stretch);
    for (const FittedColumn &fitted : kFitted)
        resize(fitted.column, fitted.least);
    connect(header, &QHeaderView::sectionResized, this, [this](int column) { onResized(column); });
}

void ListColumns::note(const UrlRow &row)
{
    // Counting characters is cheap enough for every row; only the longest is measured.
    for (int fitted = 0; fitted < kFittedCount; ++fitted) {
        const std::string &text = kFitted[fitted].column == UrlListModel::kExtensionColumn ? row.extension : row.third;
        if (text.size() > widest_[fitted].size())
            widest_[fitted] = text;
    }
}

void ListColumns::fit()
{
    for (int fitted = 0; fitted < kFittedCount; ++fitted) {
        const int column = kFitted[fitted].column;
        const int needed = std::min(neededWidth(fitted), kFitted[fitted].most);
        if (!sizedByHand_[fitted] && needed > view_.columnWidth(column))
            resize(column, needed);
    }
}

int ListColumns::neededWidth(int fitted) const
{
    int width = view_.fontMetrics().horizontalAdvance(QString::fromStdString(widest_[fitted])) + kCellPadding;
    if (kFitted[fitted].column == UrlListModel::kExtensionColumn)
        width += iconWidth(view_) + kIconGap;
    return width;
}

std::vector<int> ListColumns::widths() const
{
    std::vector<int> widths;
    for (int column = 0; column < UrlListModel::kColumnCount; ++column)
        widths.push_back(view_.columnWidth(column));
    return widths;
}

void ListColumns::restore(const std::vector<int> &widths)
{
    if (widths.size() != static_cast<size_t>(UrlListModel::kColumnCount))
        return;
    for (const FittedColumn &fitted : kFitted)
        resize(fitted.column, widths[static_cast<size_t>(fitted.column)]);
}

void ListColumns::resize(int column, int width)
{
    resizing_ = true;
    view_.setColumnWidth(column, width);
    resizing_ = false;
}

void ListColumns::onResized(int column)
{
    if (resizing_)
        return;
    for (int fitted = 0; fitted < kFittedCount; ++fitted) {
        if (kFitted[fitted].column == column)
            sizedByHand_[fitted] = true;
    }
}

}

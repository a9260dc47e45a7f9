#include "custom_tab_ctrl.h"

#include <QFontMetrics>
#include <QPolygon>

#include "custom_tab_ctrl_item.h"

namespace {

constexpr int kTabTop = 1;
constexpr int kTextPadding = 4;

TabRect shifted(TabRect rect, int dx)
{
    return {rect.left + dx, rect.top, rect.right + dx, rect.bottom};
}

QRegion shapeRegion(TabShape kind, TabRect shape)
{
    const auto [l, t, r, b] = shape;
    const int h = b - t;
    QPolygon points;
    switch (kind) {
    case TabShape::Hidden:
        return {};
    case TabShape::SelectedEdge:
        points << QPoint(l, t) << QPoint(l, b) << QPoint(l + h / 2, t);
        break;
    case TabShape::Edge:
        points << QPoint(l, t) << QPoint(l + h / 4, h / 2) << QPoint(l, b);
        break;
    case TabShape::SelectedOrLast:
    case TabShape::Whole:
        points << QPoint(l, t) << QPoint(l + h / 4, h / 2) << QPoint(l + h / 2, b) << QPoint(r - h / 2, b)
               << QPoint(r - h / 4, h / 2) << QPoint(kind == TabShape::Whole ? r - h / 2 : r, t);
        break;
    }
    return QRegion(points, Qt::WindingFill);
}

} // namespace

int CCustomTabCtrl::scrollButtonsWidth() const
{
    return 2 * (height() - 3) + 3;
}

int CCustomTabCtrl::hitTest(QPoint point) const
{
    const int h = height();
    if (buttonsShown()) {
        if (previousButtonArea(h).contains(point))
            return kHitPreviousButton;
        if (nextButtonArea(h).contains(point))
            return kHitNextButton;
    }
    for (int index = 0; index < count(); ++index) {
        const Item &item = *items_[index];
        if (item.kind != TabShape::Hidden && item.region.contains(point))
            return index;
    }
    return kHitNone;
}

int CCustomTabCtrl::textWidth(const Item &item) const
{
    return QFontMetrics(boldFont_).horizontalAdvance(item.text);
}

void CCustomTabCtrl::place(int firstVisible)
{
    const int h = height();
    int x = 0;
    for (const auto &item : items_) {
        const int width = textWidth(*item) + kTextPadding;
        item->shape = {x, kTabTop, x + h + width, h - 1};
        item->textRect = {x + h / 2, kTabTop, x + h / 2 + width, h - 1};
        x += item->shape.right - item->shape.left - h / 2;
    }

    const bool buttons = buttonsShown();
    const int n = buttons ? firstVisible : 0;
    const int buttonsWidth = scrollButtonsWidth();
    const int shift = buttons && n < count() ? buttonsWidth - items_[n]->shape.left : 0;
    for (int index = 0; index < count(); ++index) {
        Item &item = *items_[index];
        if (buttons && index < n - 1) {
            item.kind = TabShape::Hidden;
            item.textRect = {};
        } else if (buttons && index == n - 1) {
            item.kind = item.selected ? TabShape::SelectedEdge : TabShape::Edge;
            item.shape = {buttonsWidth, kTabTop, buttonsWidth + h / 2, h - 1};
            item.textRect = {};
        } else {
            item.kind = item.selected || index == count() - 1 ? TabShape::SelectedOrLast : TabShape::Whole;
            item.shape = shifted(item.shape, shift);
            item.textRect = shifted(item.textRect, shift);
        }
        item.region = shapeRegion(item.kind, item.shape);
    }
    firstVisible_ = n;
}

bool CCustomTabCtrl::lastTabFits() const
{
    return items_.empty() || items_.back()->shape.right <= width();
}

int CCustomTabCtrl::totalWidth() const
{
    const int h = height();
    int right = 0;
    for (const auto &item : items_)
        right += h + textWidth(*item) + kTextPadding - (&item == &items_.front() ? 0 : h / 2);
    return right;
}

void CCustomTabCtrl::layoutTabs(LayoutAction action)
{
    if ((style_ & kStyleAutoHideButtons) && (count() <= 1 || width() >= totalWidth())) {
        previousState_ = ButtonHidden;
        nextState_ = ButtonHidden;
        place(0);
        return;
    }
    if (previousState_ == ButtonHidden)
        previousState_ = ButtonNormal;
    if (nextState_ == ButtonHidden)
        nextState_ = ButtonNormal;

    int n = firstVisible_;
    place(n);
    switch (action) {
    case LayoutAction::ScrollLeft:
        if (n > 0)
            --n;
        break;
    case LayoutAction::ScrollRight:
        if (!lastTabFits() && n + 1 != count())
            ++n;
        break;
    case LayoutAction::ShowSelected:
        if (selected_ < 0)
            break;
        if (items_[selected_]->kind == TabShape::SelectedEdge) {
            --n;
            break;
        }
        while (n < selected_ && items_[selected_]->kind == TabShape::SelectedOrLast
               && items_[selected_]->shape.right > width() && items_[selected_]->shape.left > scrollButtonsWidth())
            place(++n);
        break;
    case LayoutAction::Recompute:
        if (!lastTabFits())
            break;
        // Pull the strip back while the last tab still ends inside the control.
        while (n > 0) {
            place(n - 1);
            if (!lastTabFits())
                break;
            --n;
        }
        break;
    }
    place(n);
}

void CCustomTabCtrl::resizeEvent(QResizeEvent *)
{
    if (width() != 0 && height() != 0)
        layoutTabs(LayoutAction::Recompute);
}

#include "tab_strip_accessible.h"

#include <QAccessibleWidget>
#include <QPointer>

#include <vector>

#include "custom_tab_ctrl.h"

namespace tarvolin {

namespace {

class TabAccessible : public QAccessibleInterface {
public:
    TabAccessible(CCustomTabCtrl *strip, int index) : strip_(strip), index_(index) {}

    bool isValid() const override { return strip_ && index_ < strip_->count(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return strip_ ? strip_->window()->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(strip_); }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    void setText(QAccessible::Text, const QString &) override {}
    QAccessible::Role role() const override { return QAccessible::PageTab; }

    QString text(QAccessible::Text kind) const override
    {
        return isValid() && kind == QAccessible::Name ? strip_->tabText(index_) : QString();
    }

    QRect rect() const override
    {
        if (!isValid())
            return {};
        const TabRect shape = strip_->tabShapeRect(index_);
        const QRect local(QPoint(shape.left, shape.top), QPoint(shape.right - 1, shape.bottom - 1));
        return QRect(strip_->mapToGlobal(local.topLeft()), local.size());
    }

    QAccessible::State state() const override
    {
        QAccessible::State state;
        state.selectable = true;
        state.selected = isValid() && strip_->selectedIndex() == index_;
        state.invisible = !isValid() || strip_->tabShape(index_) == TabShape::Hidden;
        return state;
    }

private:
    QPointer<CCustomTabCtrl> strip_;
    int index_;
};

class TabStripAccessible : public QAccessibleWidget {
public:
    explicit TabStripAccessible(CCustomTabCtrl *strip) : QAccessibleWidget(strip, QAccessible::PageTabList) {}

    ~TabStripAccessible() override
    {
        for (QAccessible::Id id : tabs_)
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return strip()->count(); }

    QAccessibleInterface *child(int index) const override
    {
        if (index < 0 || index >= childCount())
            return nullptr;
        // Tab interfaces are kept for the strip's life, so each keeps one id.
        while (static_cast<int>(tabs_.size()) <= index)
            tabs_.push_back(QAccessible::registerAccessibleInterface(
                new TabAccessible(strip(), static_cast<int>(tabs_.size()))));
        return QAccessible::accessibleInterface(tabs_[static_cast<size_t>(index)]);
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        for (size_t index = 0; index < tabs_.size(); ++index) {
            if (QAccessible::accessibleInterface(tabs_[index]) == child)
                return static_cast<int>(index);
        }
        return -1;
    }

    QAccessibleInterface *childAt(int x, int y) const override
    {
        for (int index = 0; index < childCount(); ++index) {
            QAccessibleInterface *tab = child(index);
            if (tab->rect().contains(x, y))
                return tab;
        }
        return nullptr;
    }

private:
    CCustomTabCtrl *strip() const { return static_cast<CCustomTabCtrl *>(widget()); }

    mutable std::vector<QAccessible::Id> tabs_;
};

QAccessibleInterface *tabStripFactory(const QString &className, QObject *object)
{
    if (className != QLatin1String(CCustomTabCtrl::staticMetaObject.className()) || !object->isWidgetType())
        return nullptr;
    return new TabStripAccessible(static_cast<CCustomTabCtrl *>(object));
}

}

void InstallTabStripAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(tabStripFactory);
        return true;
    }();
    (void)installed;
}

}

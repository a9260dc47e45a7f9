#include "filter_field.h"

#include <QKeyEvent>

namespace tarvolin {

namespace {

bool isEscape(const QEvent *event)
{
    return static_cast<const QKeyEvent *>(event)->key() == Qt::Key_Escape;
}

}

FilterField::FilterField(QWidget *parent) : QLineEdit(parent)
{
    setClearButtonEnabled(true);
}

// Claimed before any shortcut of the window can take it.
bool FilterField::event(QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride && isEscape(event)) {
        event->accept();
        return true;
    }
    return QLineEdit::event(event);
}

void FilterField::keyPressEvent(QKeyEvent *event)
{
    if (!isEscape(event)) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    clear();
    event->accept();
}

}

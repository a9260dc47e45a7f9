#include "flat_button.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>

#include <algorithm>

namespace {

constexpr int kIconMargin = 3;
constexpr QPoint kPressOffset(1, 1);
constexpr int kMaxChannel = 255;
constexpr int kRoundedCorner = 8;
constexpr int kCaptionFlags = Qt::AlignHCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
constexpr int kFocusInset = 2;

} // namespace

CFlatButton::CFlatButton(QWidget *parent) : CFlatButton(QString(), parent) {}

CFlatButton::CFlatButton(const QString &text, QWidget *parent) : QPushButton(text, parent)
{
    setMouseTracking(true);
    restoreDefaultColors();
}

int CFlatButton::setIconResource(const QString &path)
{
    icon_ = QPixmap(path);
    update();
    return icon_.isNull() ? kResultIconUnreadable : kResultOk;
}

int CFlatButton::offsetColor(int index, int offset, bool repaint)
{
    if (index < 0 || index >= kColorCount)
        return kResultBadIndex;
    if (offset < -kMaxChannel || offset > kMaxChannel)
        return kResultBadOffset;
    const QColor old = colors_[index];
    const int red = old.red();
    const int green = old.green();
    const int blue = old.blue();
    // One amount for red, green and blue, bounded by the part nearest its limit.
    const int amount = offset > 0 ? std::min({offset, kMaxChannel - red, kMaxChannel - green, kMaxChannel - blue})
                                  : std::max({offset, -red, -green, -blue});
    colors_[index] = QColor(red + amount, green + amount, blue + amount);
    if (repaint)
        update();
    return kResultOk;
}

void CFlatButton::restoreDefaultColors()
{
    const QColor face = palette().color(QPalette::Button);
    const QColor text = palette().color(QPalette::ButtonText);
    colors_ = {face, text, face, text, face, text};
}

void CFlatButton::setHot(bool hot)
{
    if (hot_ == hot)
        return;
    hot_ = hot;
    update();
}

void CFlatButton::mouseMoveEvent(QMouseEvent *event)
{
    QPushButton::mouseMoveEvent(event);
    // A drag that began elsewhere does not light the button up.
    if ((event->buttons() & Qt::LeftButton) && !hot_)
        return;
    setHot(rect().contains(event->position().toPoint()));
}

void CFlatButton::leaveEvent(QEvent *event)
{
    setHot(false);
    QPushButton::leaveEvent(event);
}

void CFlatButton::focusOutEvent(QFocusEvent *event)
{
    setHot(false);
    QPushButton::focusOutEvent(event);
}

void CFlatButton::hideEvent(QHideEvent *event)
{
    setHot(false);
    QPushButton::hideEvent(event);
}

void CFlatButton::changeEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::PaletteChange:
        restoreDefaultColors();
        update();
        break;
    case QEvent::ActivationChange:
        if (!isActiveWindow())
            setHot(false);
        break;
    case QEvent::EnabledChange:
        if (!isEnabled())
            setHot(false);
        break;
    default:
        break;
    }
    QPushButton::changeEvent(event);
}

void CFlatButton::paintEvent(QPaintEvent *)
{
    const bool checkBox = isCheckable();
    const bool pressed = isDown() || (checkBox && isChecked());
    const Look look = pressed ? Look::Pressed : hot_ ? Look::Hot : hasFocus() ? Look::Focused : Look::Normal;
    // A checked button keeps its contents still; only a real press moves them.
    const QPoint offset = pressed && !checkBox ? kPressOffset : QPoint();

    QPainter painter(this);
    paintBackground(painter, look);
    if (look == Look::Pressed || look == Look::Hot)
        paintFrame(painter, look == Look::Pressed);
    paintIcon(painter, offset);
    paintCaption(painter, offset, look);
    if (hasFocus())
        paintFocus(painter);
}

void CFlatButton::paintBackground(QPainter &painter, Look look)
{
    const int index = look == Look::Hot || look == Look::Pressed ? BackgroundActive
                      : look == Look::Focused                    ? BackgroundFocused
                                                                 : BackgroundNormal;
    painter.fillRect(rect(), colors_[index]);
}

// Top and left edges stop one pixel short; right and bottom run the full length.
void CFlatButton::paintFrame(QPainter &painter, bool pressed) const
{
    const QColor shadow = palette().color(QPalette::Dark);
    const QColor highlight = palette().color(QPalette::Light);
    const QColor topLeft = pressed ? shadow : highlight;
    const QColor bottomRight = pressed ? highlight : shadow;
    const int w = width();
    const int h = height();
    painter.fillRect(0, 0, w - 1, 1, topLeft);
    painter.fillRect(0, 0, 1, h - 1, topLeft);
    painter.fillRect(w - 1, 0, 1, h, bottomRight);
    painter.fillRect(0, h - 1, w, 1, bottomRight);
}

void CFlatButton::paintIcon(QPainter &painter, QPoint offset) const
{
    if (icon_.isNull())
        return;
    const QSize size = icon_.deviceIndependentSize().toSize();
    const int x = text().isEmpty() ? (width() - size.width()) / 2 : kIconMargin;
    const QPoint origin = QPoint(x, (height() - size.height()) / 2) + offset;
    if (isEnabled()) {
        painter.drawPixmap(origin, icon_);
        return;
    }
    QStyleOption option;
    option.initFrom(this);
    painter.drawPixmap(origin, style()->generatedIconPixmap(QIcon::Disabled, icon_, &option));
}

QRect CFlatButton::captionArea() const
{
    if (icon_.isNull())
        return rect();
    const int left = icon_.deviceIndependentSize().toSize().width() + kIconMargin;
    return QRect(left, 0, width() - left, height());
}

void CFlatButton::paintCaption(QPainter &painter, QPoint offset, Look look) const
{
    if (text().isEmpty())
        return;
    const QRect area = captionArea();
    QRect bounds = painter.fontMetrics().boundingRect(area, kCaptionFlags, text());
    bounds.moveCenter(area.center());
    bounds.translate(offset);

    if (!isEnabled()) {
        painter.setPen(palette().color(QPalette::Light));
        painter.drawText(bounds.translated(1, 1), kCaptionFlags, text());
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawText(bounds, kCaptionFlags, text());
        return;
    }
    const int index = look == Look::Hot || look == Look::Pressed ? ForegroundActive
                      : look == Look::Focused                    ? ForegroundFocused
                                                                 : ForegroundNormal;
    painter.setPen(colors_[index]);
    painter.drawText(bounds, kCaptionFlags, text());
}

// Inside the frame, so that the raised and sunken edges stay as they are.
void CFlatButton::paintFocus(QPainter &painter) const
{
    painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(kFocusInset, kFocusInset, -kFocusInset - 1, -kFocusInset - 1));
}

void CFramedButton::setRounded(bool rounded, bool repaint)
{
    rounded_ = rounded;
    if (repaint)
        update();
}

void CFramedButton::paintBackground(QPainter &painter, Look look)
{
    if (look != Look::Hot && look != Look::Pressed) {
        CFlatButton::paintBackground(painter, look);
        return;
    }
    painter.setPen(Qt::black);
    painter.setBrush(color(BackgroundActive));
    const QRect outline = rect().adjusted(0, 0, -1, -1);
    if (rounded_)
        painter.drawRoundedRect(outline, kRoundedCorner / 2, kRoundedCorner / 2);
    else
        painter.drawRect(outline);
}

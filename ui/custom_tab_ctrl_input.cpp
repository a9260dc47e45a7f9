#include "custom_tab_ctrl.h"

#include <QMouseEvent>

#include <chrono>

#include "custom_tab_ctrl_item.h"

qint64 CCustomTabCtrl::tickCount() const
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void CCustomTabCtrl::stepPressedButton()
{
    layoutTabs(pressedTarget_ == kHitPreviousButton ? LayoutAction::ScrollLeft : LayoutAction::ScrollRight);
}

void CCustomTabCtrl::repeatStep()
{
    const int state = pressedTarget_ == kHitPreviousButton ? previousState_
                      : pressedTarget_ == kHitNextButton   ? nextState_
                                                           : ButtonHidden;
    if (state != ButtonPressed || tickCount() - lastStepTime_ < kRepeatGapMs)
        return;
    stepPressedButton();
    update();
    lastStepTime_ = tickCount();
}

void CCustomTabCtrl::sendNotification(int code, int index, QPoint position)
{
    TabNotification notification;
    notification.control = this;
    notification.controlId = controlId_;
    notification.code = code;
    notification.index = index;
    notification.mouse = position;
    if (index >= 0 && index < count()) {
        const Item &item = *items_[index];
        // Cut on a character boundary so the record never ends in half a character.
        QString text = item.text;
        QByteArray bytes = text.toLocal8Bit();
        while (bytes.size() >= TabNotification::kTextSize) {
            text.chop(1);
            bytes = text.toLocal8Bit();
        }
        std::copy(bytes.cbegin(), bytes.cend(), notification.text);
        notification.userValue = item.userValue;
        notification.textRect = item.textRect;
        notification.selected = item.selected;
    }
    emit notify(notification);
}

void CCustomTabCtrl::leftButtonDown(QPoint position, bool notifyPress)
{
    const int hit = hitTest(position);
    if (notifyPress)
        sendNotification(kNotifyLeftDown, hit, position);
    if (hit == kHitPreviousButton || hit == kHitNextButton) {
        pressedTarget_ = hit;
        (hit == kHitPreviousButton ? previousState_ : nextState_) = ButtonPressed;
        stepPressedButton();
        update();
        lastStepTime_ = tickCount();
        repeatTimer_.start();
        return;
    }
    if (hit < 0)
        return;
    const int before = selected_;
    if (selected_ >= 0)
        items_[selected_]->selected = false;
    selected_ = hit;
    items_[hit]->selected = true;
    layoutTabs(LayoutAction::ShowSelected);
    update();
    if (selected_ != before)
        sendNotification(kNotifySelectionChanged, selected_, position);
}

void CCustomTabCtrl::releaseButtons()
{
    repeatTimer_.stop();
    if (!buttonsShown())
        return;
    previousState_ = ButtonNormal;
    nextState_ = ButtonNormal;
    update();
}

void CCustomTabCtrl::mousePressEvent(QMouseEvent *event)
{
    const QPoint position = event->position().toPoint();
    if (event->button() == Qt::LeftButton)
        leftButtonDown(position, true);
    else if (event->button() == Qt::RightButton)
        sendNotification(kNotifyRightDown, hitTest(position), position);
}

void CCustomTabCtrl::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        leftButtonDown(event->position().toPoint(), false);
}

void CCustomTabCtrl::mouseMoveEvent(QMouseEvent *event)
{
    if (!buttonsShown())
        return;
    const QPoint position = event->position().toPoint();
    const bool leftDown = event->buttons() & Qt::LeftButton;
    const int h = height();
    const auto stateAt = [&](int target, TabRect rect) {
        if (!rect.contains(position))
            return ButtonNormal;
        if (pressedTarget_ == target)
            return ButtonPressed;
        return pressedTarget_ == kHitNone && !leftDown ? ButtonHot : ButtonNormal;
    };
    previousState_ = stateAt(kHitPreviousButton, previousButtonArea(h));
    nextState_ = stateAt(kHitNextButton, nextButtonArea(h));
    update();
}

void CCustomTabCtrl::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    releaseButtons();
    pressedTarget_ = kHitNone;
}

void CCustomTabCtrl::leaveEvent(QEvent *)
{
    releaseButtons();
}

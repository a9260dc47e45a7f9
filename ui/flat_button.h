// Command buttons that stay flat until the mouse is over them, then rise with a
// lighter face and sink while pressed; a checkable one stays sunken while checked.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QPushButton>

#include <array>

class CFlatButton : public QPushButton {
    Q_OBJECT

public:
    enum ColorIndex {
        BackgroundActive = 0, // hot or pressed
        ForegroundActive = 1,
        BackgroundNormal = 2,
        ForegroundNormal = 3,
        BackgroundFocused = 4,
        ForegroundFocused = 5,
    };
    static constexpr int kColorCount = 6;

    static constexpr int kResultOk = 0;
    static constexpr int kResultIconUnreadable = 1;
    static constexpr int kResultBadIndex = 3;
    static constexpr int kResultBadOffset = 5;

    explicit CFlatButton(QWidget *parent = nullptr);
    explicit CFlatButton(const QString &text, QWidget *parent = nullptr);

    // Loads the icon at its own size; on failure the button has no icon.
    int setIconResource(const QString &path);
    int offsetColor(int index, int offset, bool repaint);
    QColor color(int index) const { return colors_.at(index); }
    bool isHot() const { return hot_; }

protected:
    enum class Look { Normal, Hot, Pressed, Focused };

    // Fills the background for the look; a subclass may paint some looks itself.
    virtual void paintBackground(QPainter &painter, Look look);

    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void restoreDefaultColors();
    void setHot(bool hot);
    void paintFrame(QPainter &painter, bool pressed) const;
    void paintIcon(QPainter &painter, QPoint offset) const;
    void paintCaption(QPainter &painter, QPoint offset, Look look) const;
    void paintFocus(QPainter &painter) const;
    QRect captionArea() const;

    bool hot_ = false;
    QPixmap icon_;
    std::array<QColor, kColorCount> colors_;
};

class CFramedButton : public CFlatButton {
    Q_OBJECT

public:
    using CFlatButton::CFlatButton;

    void setRounded(bool rounded, bool repaint);
    bool isRounded() const { return rounded_; }

protected:
    void paintBackground(QPainter &painter, Look look) override;

private:
    bool rounded_ = false;
};

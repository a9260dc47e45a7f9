// A strip of sheet tabs: trapezoids hanging from a line along the top of the
// control, overlapping by their slanted sides, with two scroll buttons at the
// left end when the tabs do not all fit.
#pragma once

#include <QFont>
#include <QImage>
#include <QRegion>
#include <QTimer>
#include <QWidget>

#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "theme_api.h"

// A rectangle as left, top, right, bottom, the right and bottom edges outside.
struct TabRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    bool contains(QPoint point) const
    {
        return point.x() >= left && point.x() < right && point.y() >= top && point.y() < bottom;
    }
    bool operator==(const TabRect &) const = default;
};

enum class TabShape : uint8_t { Hidden = 0, SelectedEdge = 1, Edge = 2, SelectedOrLast = 3, Whole = 4 };

// What the control tells its parent about a mouse press or a tab change.
struct TabNotification {
    static constexpr int kTextSize = 32;

    QWidget *control = nullptr;
    int controlId = 0;
    int code = 0;
    int index = 0; // tab index, or the hit-test result
    char text[kTextSize] = {};
    uint32_t userValue = 0;
    TabRect textRect;
    QPoint mouse;
    int selected = 0;
    int reserved = 0;
};

// The scroll buttons' background images from the visual style, with the glyph
// colour of each button state.
struct ThemedButtons {
    static constexpr int kFrameCount = 4;

    struct Image {
        QImage bitmap;
        int layout = theme::kLayoutVertical;
        theme::Margins margins{};
    };
    Image previous;
    Image next;
    std::array<QColor, kFrameCount> glyphColors;
};

class CVisualStyle;

// The glyph colour of each of the four frames of a glyph image: the first pixel
// that differs from the transparent colour, scanning lines that run across the
// layout direction. Nothing when a frame holds no glyph.
std::optional<std::array<QColor, ThemedButtons::kFrameCount>> glyphColorsFromImage(const QImage &image,
                                                                                   QRgb transparent, int layout);
// The themed scroll buttons of the current visual style, or nothing when the
// style cannot be read as expected.
std::optional<ThemedButtons> readThemedButtons(CVisualStyle &style, QWidget *window);

class CCustomTabCtrl : public QWidget {
    Q_OBJECT

public:
    static constexpr int kNotifyLeftDown = 1;
    static constexpr int kNotifyRightDown = 2;
    static constexpr int kNotifySelectionChanged = 3;

    static constexpr int kHitNone = -5;
    static constexpr int kHitPreviousButton = -2;
    static constexpr int kHitNextButton = -3;

    static constexpr int kResultOk = 0;
    static constexpr int kResultBadIndex = -2;
    static constexpr int kResultTextTooLong = -7;

    static constexpr int kMaxTextLength = 29;
    // Style bit: hide the scroll buttons while all tabs fit.
    static constexpr unsigned kStyleAutoHideButtons = 0x4;

    enum ButtonState { ButtonHidden = 0, ButtonNormal = 1, ButtonHot = 2, ButtonPressed = 3 };
    enum class LayoutAction { ScrollLeft, ScrollRight, ShowSelected, Recompute };

    explicit CCustomTabCtrl(QWidget *parent = nullptr);
    ~CCustomTabCtrl() override;

    int insertTab(int index, const QString &text, uint32_t userValue);
    int setTabText(int index, const QString &text);
    int selectTab(int index);
    void modifyStyle(unsigned remove, unsigned add);
    void setTabFont(const QFont &font, bool repaint);

    void setControlId(int id) { controlId_ = id; }
    int controlId() const { return controlId_; }

    int count() const { return static_cast<int>(items_.size()); }
    int selectedIndex() const { return selected_; }
    int firstVisibleIndex() const { return firstVisible_; }
    QString tabText(int index) const;
    TabRect tabShapeRect(int index) const;
    TabRect tabTextRect(int index) const;
    TabShape tabShape(int index) const;
    QRegion tabRegion(int index) const;
    int previousButtonState() const { return previousState_; }
    int nextButtonState() const { return nextState_; }
    bool isThemed() const { return themed_.has_value(); }

    int hitTest(QPoint point) const;
    int scrollButtonsWidth() const;

signals:
    void notify(const TabNotification &notification);

protected:
    // Milliseconds of a monotonic clock; the held-button repeat measures with it.
    virtual qint64 tickCount() const;

    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    struct Item;

    bool buttonsShown() const { return previousState_ != ButtonHidden; }
    void refreshVisualStyle();
    void layoutTabs(LayoutAction action);
    void place(int firstVisible);
    bool lastTabFits() const;
    int totalWidth() const;
    void stepPressedButton();
    void leftButtonDown(QPoint position, bool notifyPress);
    void releaseButtons();
    void sendNotification(int code, int index, QPoint position);
    int textWidth(const Item &item) const;
    void repeatStep();

    void paintButtons(QPainter &painter) const;
    void paintButton(QPainter &painter, TabRect rect, int state, const ThemedButtons::Image *image,
                     int glyph) const;
    void paintTab(QPainter &painter, const Item &item) const;
    void paintTopLine(QPainter &painter) const;

    std::vector<std::unique_ptr<Item>> items_;
    int selected_ = -1;
    int firstVisible_ = 0;
    int previousState_ = ButtonHidden;
    int nextState_ = ButtonHidden;
    int pressedTarget_ = kHitNone;
    qint64 lastStepTime_ = 0;
    unsigned style_ = 0;
    int controlId_ = 0;
    QFont font_;
    QFont boldFont_;
    QTimer repeatTimer_;
    std::optional<ThemedButtons> themed_;
};

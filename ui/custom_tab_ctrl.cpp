#include "custom_tab_ctrl.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <qdrawutil.h>

#include <chrono>

#include "visual_style.h"

using namespace theme;

namespace {

constexpr int kTabTop = 1;
constexpr int kTextPadding = 4;
constexpr int kTextMarginY = 2;
constexpr int kTopLineY = 1;
constexpr int kRepeatIntervalMs = 100;
constexpr int kRepeatGapMs = 250;

constexpr char kDefaultFontFace[] = "Microsoft Sans Serif";
constexpr int kDefaultFontHeight = 12;
constexpr int kNormalWeight = 400;
constexpr int kBoldWeight = 700;

constexpr int kThemeState = 0;

// Arrow glyphs, 1 bits background: first, previous, next, last, left to right.
constexpr int kGlyphWidth = 8;
constexpr int kGlyphHeight = 7;
constexpr int kGlyphCount = 4;
constexpr uint8_t kGlyphRows[kGlyphHeight][kGlyphCount] = {
    {0xbd, 0xfb, 0xdf, 0xbd}, {0xb9, 0xf3, 0xcf, 0x9d}, {0xb1, 0xe3, 0xc7, 0x8d}, {0xa3, 0xc7, 0xe3, 0xc5},
    {0xb1, 0xe3, 0xc7, 0x8d}, {0xb9, 0xf3, 0xcf, 0x9d}, {0xbd, 0xfb, 0xdf, 0xbd},
};
constexpr int kPreviousGlyph = 1;
constexpr int kNextGlyph = 2;

QRect toQRect(TabRect rect)
{
    return QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

TabRect shifted(TabRect rect, int dx)
{
    return {rect.left + dx, rect.top, rect.right + dx, rect.bottom};
}

// The font whose cell is at most the given height, as a font of that height is matched.
QFont defaultFont()
{
    QFont font(QString::fromLatin1(kDefaultFontFace));
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(static_cast<QFont::Weight>(kNormalWeight));
    int pixelSize = kDefaultFontHeight;
    do {
        font.setPixelSize(pixelSize);
    } while (QFontMetrics(font).height() > kDefaultFontHeight && --pixelSize > 1);
    return font;
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

// Corners keep their size, edges stretch along themselves, the centre both ways.
void drawNineGrid(QPainter &painter, const QImage &image, QRect source, QRect target, const Margins &margins)
{
    const int sx[] = {source.left(), source.left() + margins.left, source.right() + 1 - margins.right,
                      source.right() + 1};
    const int sy[] = {source.top(), source.top() + margins.top, source.bottom() + 1 - margins.bottom,
                      source.bottom() + 1};
    const int tx[] = {target.left(), target.left() + margins.left, target.right() + 1 - margins.right,
                      target.right() + 1};
    const int ty[] = {target.top(), target.top() + margins.top, target.bottom() + 1 - margins.bottom,
                      target.bottom() + 1};
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            const QRect from(QPoint(sx[column], sy[row]), QPoint(sx[column + 1] - 1, sy[row + 1] - 1));
            const QRect to(QPoint(tx[column], ty[row]), QPoint(tx[column + 1] - 1, ty[row + 1] - 1));
            if (from.isValid() && to.isValid())
                painter.drawImage(to, image, from);
        }
    }
}

QRect frameRect(const QImage &image, int layout, int frame)
{
    if (layout == kLayoutHorizontal) {
        const int width = image.width() / ThemedButtons::kFrameCount;
        return QRect(frame * width, 0, width, image.height());
    }
    const int height = image.height() / ThemedButtons::kFrameCount;
    return QRect(0, frame * height, image.width(), height);
}

QImage glyphImage(int glyph, QColor color)
{
    QImage image(kGlyphWidth, kGlyphHeight, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int y = 0; y < kGlyphHeight; ++y) {
        for (int x = 0; x < kGlyphWidth; ++x) {
            const bool background = kGlyphRows[y][glyph] & (0x80 >> x);
            if (!background)
                image.setPixelColor(x, y, color);
        }
    }
    return image;
}

bool readButtonImage(const CVisualStyle &style, int part, ThemedButtons::Image &image)
{
    int type = -1;
    int count = 0;
    style.enumValue(part, kThemeState, kPropBackgroundType, &type);
    style.intValue(part, kThemeState, kPropImageCount, &count);
    if (type != kBackgroundImageFile || count != ThemedButtons::kFrameCount)
        return false;
    char16_t file[kMaxPath] = {};
    style.fileName(part, kThemeState, kPropImageFile, file, kMaxPath);
    image.bitmap = style.loadStyleBitmap(file);
    style.enumValue(part, kThemeState, kPropImageLayout, &image.layout);
    style.margins(part, kThemeState, kPropSizingMargins, &image.margins);
    return !image.bitmap.isNull();
}

std::optional<std::array<QColor, ThemedButtons::kFrameCount>> readGlyphColors(const CVisualStyle &style,
                                                                              int layout)
{
    int glyphType = -1;
    style.enumValue(kSpinLeftArrowPart, kThemeState, kPropGlyphType, &glyphType);
    if (glyphType == kGlyphImage) {
        COLORREF transparent = 0;
        char16_t file[kMaxPath] = {};
        style.color(kSpinLeftArrowPart, kThemeState, kPropGlyphTransparentColor, &transparent);
        style.fileName(kSpinLeftArrowPart, kThemeState, kPropGlyphImageFile, file, kMaxPath);
        return glyphColorsFromImage(style.loadStyleBitmap(file), transparent, layout);
    }
    if (glyphType != kGlyphFont)
        return std::nullopt;
    std::array<QColor, ThemedButtons::kFrameCount> colors{};
    for (int state = CCustomTabCtrl::ButtonNormal; state <= CCustomTabCtrl::ButtonPressed; ++state) {
        COLORREF color = 0;
        style.color(kSpinRightArrowPart, state, kPropGlyphTextColor, &color);
        colors[state - CCustomTabCtrl::ButtonNormal] = QColor::fromRgb(color);
    }
    return colors;
}

} // namespace

std::optional<std::array<QColor, ThemedButtons::kFrameCount>> glyphColorsFromImage(const QImage &image,
                                                                                   QRgb transparent, int layout)
{
    std::array<QColor, ThemedButtons::kFrameCount> colors{};
    const bool sideBySide = layout == kLayoutHorizontal;
    for (int frame = 0; frame < ThemedButtons::kFrameCount; ++frame) {
        const QRect rect = frameRect(image, layout, frame);
        // Lines run across the layout direction and follow each other along it.
        const int lines = sideBySide ? rect.width() : rect.height();
        const int length = sideBySide ? rect.height() : rect.width();
        bool found = false;
        for (int line = 0; line < lines && !found; ++line) {
            for (int step = 0; step < length && !found; ++step) {
                const QPoint point = sideBySide ? QPoint(rect.left() + line, rect.top() + step)
                                                : QPoint(rect.left() + step, rect.top() + line);
                const QRgb pixel = image.pixel(point);
                found = (pixel & RGB_MASK) != (transparent & RGB_MASK);
                if (found)
                    colors[frame] = QColor::fromRgb(pixel);
            }
        }
        if (!found)
            return std::nullopt;
    }
    return colors;
}

std::optional<ThemedButtons> readThemedButtons(CVisualStyle &style, QWidget *window)
{
    if (!style.open(window, kSpinClass))
        return std::nullopt;
    ThemedButtons buttons;
    if (!readButtonImage(style, kSpinLeftArrowPart, buttons.previous)
        || !readButtonImage(style, kSpinRightArrowPart, buttons.next))
        return std::nullopt;
    const auto colors = readGlyphColors(style, buttons.previous.layout);
    if (!colors)
        return std::nullopt;
    buttons.glyphColors = *colors;
    return buttons;
}

struct CCustomTabCtrl::Item {
    QString text;
    uint32_t userValue = 0;
    TabRect shape;
    TabRect textRect;
    QRegion region;
    TabShape kind = TabShape::Whole;
    bool selected = false;
};

CCustomTabCtrl::CCustomTabCtrl(QWidget *parent) : QWidget(parent)
{
    setMouseTracking(true);
    // Painting covers every pixel, so the background is never erased first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    repeatTimer_.setInterval(kRepeatIntervalMs);
    connect(&repeatTimer_, &QTimer::timeout, this, &CCustomTabCtrl::repeatStep);
    refreshVisualStyle();
    setTabFont(defaultFont(), false);
}

CCustomTabCtrl::~CCustomTabCtrl() = default;

int CCustomTabCtrl::insertTab(int index, const QString &text, uint32_t userValue)
{
    if (index < 0 || index > count())
        return kResultBadIndex;
    if (text.size() > kMaxTextLength)
        return kResultTextTooLong;
    auto item = std::make_unique<Item>();
    item->text = text;
    item->userValue = userValue;
    items_.insert(items_.begin() + index, std::move(item));
    if (selected_ >= 0 && index <= selected_)
        ++selected_;
    layoutTabs(LayoutAction::Recompute);
    update();
    return index;
}

int CCustomTabCtrl::setTabText(int index, const QString &text)
{
    if (index < 0 || index >= count())
        return kResultBadIndex;
    items_[index]->text = text;
    layoutTabs(LayoutAction::Recompute);
    update();
    return kResultOk;
}

int CCustomTabCtrl::selectTab(int index)
{
    if (index < 0 || index >= count())
        return kResultBadIndex;
    if (selected_ >= 0)
        items_[selected_]->selected = false;
    selected_ = index;
    items_[index]->selected = true;
    firstVisible_ = index;
    layoutTabs(LayoutAction::Recompute);
    update();
    return kResultOk;
}

void CCustomTabCtrl::modifyStyle(unsigned remove, unsigned add)
{
    style_ = (style_ & ~remove) | add;
    layoutTabs(LayoutAction::Recompute);
    update();
}

void CCustomTabCtrl::setTabFont(const QFont &font, bool repaint)
{
    font_ = font;
    boldFont_ = font;
    boldFont_.setWeight(static_cast<QFont::Weight>(kBoldWeight));
    layoutTabs(LayoutAction::Recompute);
    if (repaint)
        update();
}

QString CCustomTabCtrl::tabText(int index) const
{
    return index >= 0 && index < count() ? items_[index]->text : QString();
}

TabRect CCustomTabCtrl::tabShapeRect(int index) const
{
    return index >= 0 && index < count() ? items_[index]->shape : TabRect{};
}

TabRect CCustomTabCtrl::tabTextRect(int index) const
{
    return index >= 0 && index < count() ? items_[index]->textRect : TabRect{};
}

TabShape CCustomTabCtrl::tabShape(int index) const
{
    return index >= 0 && index < count() ? items_[index]->kind : TabShape::Hidden;
}

QRegion CCustomTabCtrl::tabRegion(int index) const
{
    return index >= 0 && index < count() ? items_[index]->region : QRegion();
}

int CCustomTabCtrl::scrollButtonsWidth() const
{
    return 2 * (height() - 3) + 3;
}

int CCustomTabCtrl::hitTest(QPoint point) const
{
    const int h = height();
    if (buttonsShown()) {
        if (TabRect{0, 0, h - 2, h}.contains(point))
            return kHitPreviousButton;
        if (TabRect{h - 2, 0, 2 * h - 3, h}.contains(point))
            return kHitNextButton;
    }
    for (int index = 0; index < count(); ++index) {
        const Item &item = *items_[index];
        if (item.kind != TabShape::Hidden && item.region.contains(point))
            return index;
    }
    return kHitNone;
}

qint64 CCustomTabCtrl::tickCount() const
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
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
    previousState_ = stateAt(kHitPreviousButton, {0, 0, h - 2, h});
    nextState_ = stateAt(kHitNextButton, {h - 2, 0, 2 * h - 3, h});
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

void CCustomTabCtrl::resizeEvent(QResizeEvent *)
{
    if (width() != 0 && height() != 0)
        layoutTabs(LayoutAction::Recompute);
}

void CCustomTabCtrl::changeEvent(QEvent *event)
{
    // A style change is this toolkit's notice that the visual style changed.
    if (event->type() == QEvent::StyleChange)
        refreshVisualStyle();
    QWidget::changeEvent(event);
}

void CCustomTabCtrl::refreshVisualStyle()
{
    CVisualStyle style;
    themed_ = readThemedButtons(style, this);
    update();
}

void CCustomTabCtrl::paintEvent(QPaintEvent *)
{
    QPixmap buffer(size() * devicePixelRatio());
    buffer.setDevicePixelRatio(devicePixelRatio());
    {
        QPainter painter(&buffer);
        painter.fillRect(rect(), palette().color(QPalette::Button));
        if (buttonsShown())
            paintButtons(painter);
        for (const auto &item : items_) {
            if (item->kind != TabShape::Hidden && !item->selected)
                paintTab(painter, *item);
        }
        if (selected_ >= 0 && items_[selected_]->kind != TabShape::Hidden)
            paintTab(painter, *items_[selected_]);
        paintTopLine(painter);
    }
    QPainter(this).drawPixmap(0, 0, buffer);
}

void CCustomTabCtrl::paintButtons(QPainter &painter) const
{
    const int h = height();
    painter.setPen(palette().color(QPalette::ButtonText));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRect(0, 1, scrollButtonsWidth() - 1, h - 2));
    const ThemedButtons::Image *previous = themed_ ? &themed_->previous : nullptr;
    const ThemedButtons::Image *next = themed_ ? &themed_->next : nullptr;
    paintButton(painter, {1, 2, h - 2, h - 1}, previousState_, previous, kPreviousGlyph);
    // The themed next button starts one pixel further right than the classic one.
    paintButton(painter, {next ? h - 1 : h - 2, 2, 2 * h - 4, h - 1}, nextState_, next, kNextGlyph);
}

void CCustomTabCtrl::paintButton(QPainter &painter, TabRect rect, int state, const ThemedButtons::Image *image,
                                 int glyph) const
{
    const QRect target = toQRect(rect);
    const int frame = state - ButtonNormal;
    if (image) {
        drawNineGrid(painter, image->bitmap, frameRect(image->bitmap, image->layout, frame), target,
                     image->margins);
    } else {
        const QBrush face = palette().brush(QPalette::Button);
        qDrawWinButton(&painter, target, palette(), state == ButtonPressed, &face);
    }
    const QColor color = themed_ ? themed_->glyphColors[frame] : palette().color(QPalette::ButtonText);
    const QPoint origin(target.left() + (target.width() - kGlyphWidth) / 2,
                        target.top() + (target.height() - kGlyphHeight) / 2);
    painter.drawImage(origin, glyphImage(glyph, color));
}

void CCustomTabCtrl::paintTab(QPainter &painter, const Item &item) const
{
    const QPalette &colors = palette();
    const QColor fill = colors.color(item.selected ? QPalette::Base : QPalette::Button);
    // Saving the painter rather than switching clipping off: a region set after
    // setClipping(false) is not honoured by the raster engine.
    painter.save();
    painter.setClipRegion(item.region);
    painter.fillRect(item.region.boundingRect(), fill);
    painter.restore();

    const auto [l, t, r, b] = item.shape;
    const int h = (b - t) / 2;
    const QColor text = colors.color(QPalette::ButtonText);
    const QColor shadow = colors.color(QPalette::Dark);
    if (item.kind == TabShape::SelectedEdge || item.kind == TabShape::Edge) {
        painter.setPen(text);
        painter.drawLine(l, b, l + h, t);
        if (!item.selected) {
            painter.setPen(shadow);
            painter.drawLine(l - 1, b, l + h - 1, t);
        }
        return;
    }

    painter.setPen(text);
    painter.drawLine(l, t, l + h, b);
    painter.setPen(shadow);
    painter.drawLine(l + h, b, r - h, b);
    if (!item.selected)
        painter.drawLine(r - h - 1, b, r - 1, t);
    painter.setPen(text);
    painter.drawLine(r - h, b, r, t);

    painter.setFont(item.selected ? boldFont_ : font_);
    painter.setPen(colors.color(item.selected ? QPalette::Text : QPalette::ButtonText));
    painter.setBackgroundMode(Qt::OpaqueMode);
    painter.setBackground(fill);
    painter.drawText(toQRect({l + h, t + kTextMarginY, r - h, b - kTextMarginY}),
                     Qt::AlignCenter | Qt::TextSingleLine, item.text);
    painter.setBackgroundMode(Qt::TransparentMode);
}

void CCustomTabCtrl::paintTopLine(QPainter &painter) const
{
    const int start = buttonsShown() ? scrollButtonsWidth() : 0;
    const int end = width();
    painter.setPen(palette().color(QPalette::ButtonText));
    const bool selectedShown = selected_ >= 0 && items_[selected_]->kind != TabShape::Hidden;
    if (!selectedShown) {
        painter.drawLine(start, kTopLineY, end - 1, kTopLineY);
        return;
    }
    const TabRect shape = items_[selected_]->shape;
    if (shape.left > start)
        painter.drawLine(start, kTopLineY, shape.left - 1, kTopLineY);
    if (end > shape.right)
        painter.drawLine(shape.right, kTopLineY, end - 1, kTopLineY);
}

#include "custom_tab_ctrl.h"

#include <QEvent>
#include <QPainter>
#include <QPixmap>
#include <qdrawutil.h>

#include "custom_tab_ctrl_item.h"
#include "visual_style.h"

using namespace theme;

namespace {

constexpr int kTextMarginY = 2;
constexpr int kTopLineY = 1;

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

// The theme provider: answers the visual-style questions of the controls from
// the running Qt style. Built as its own shared library so that the program
// keeps working, in the classic look, when it is missing.
#include <QApplication>
#include <QPainter>
#include <QPointer>
#include <QStyle>
#include <QStyleOptionButton>
#include <QWidget>

#include <cstring>

#include "theme_api.h"

using namespace theme;

namespace {

#ifndef THEME_PROVIDER_GLYPH_TYPE
#define THEME_PROVIDER_GLYPH_TYPE kGlyphImage
#endif

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kImageCount = 4;
constexpr int kFrameSize = 16;
constexpr Margins kSizingMargins{3, 3, 3, 3};
// Glyph images keep their background in this colour so the reader can find the glyph.
constexpr COLORREF kGlyphTransparent = 0xFFFF00FF;
// Anti-aliased glyph edges at least this opaque count as glyph.
constexpr int kGlyphAlphaThreshold = 128;
// The style Qt calls "windows" is the classic look: no visual style then.
constexpr char kClassicStyleName[] = "windows";
constexpr char16_t kStyleFolder[] = u"Styles\\";
constexpr char16_t kStyleFileExtension[] = u".qtstyle";
constexpr char16_t kColourSchemeName[] = u"Normal";
constexpr char16_t kSizeName[] = u"Normal";

struct SpinImages {
    int part;
    const char16_t *background;
    const char16_t *glyph;
    const char *backgroundResource;
    const char *glyphResource;
    QStyle::PrimitiveElement arrow;
};

constexpr SpinImages kSpinImages[] = {
    {kSpinLeftArrowPart, u"Images\\SpinLeft.bmp", u"Images\\SpinLeftGlyph.bmp", "Images_SpinLeft_bmp",
     "Images_SpinLeftGlyph_bmp", QStyle::PE_IndicatorArrowLeft},
    {kSpinRightArrowPart, u"Images\\SpinRight.bmp", u"Images\\SpinRightGlyph.bmp", "Images_SpinRight_bmp",
     "Images_SpinRightGlyph_bmp", QStyle::PE_IndicatorArrowRight},
};

struct ThemeData {
    QPointer<QWidget> window;
};

struct StyleFile {
    QString styleName;
};

QStyle *runningStyle()
{
    return qobject_cast<QApplication *>(QCoreApplication::instance()) ? QApplication::style() : nullptr;
}

const SpinImages *spinPart(HTHEME theme, int part)
{
    if (!theme)
        return nullptr;
    for (const SpinImages &images : kSpinImages) {
        if (images.part == part)
            return &images;
    }
    return nullptr;
}

QPalette themePalette(HTHEME theme)
{
    const QWidget *window = static_cast<ThemeData *>(theme)->window;
    return window ? window->palette() : QApplication::palette();
}

int copyText(const QString &text, char16_t *buffer, int size)
{
    if (!buffer || size <= 0)
        return kFailed;
    const qsizetype length = std::min<qsizetype>(text.size(), size - 1);
    std::memcpy(buffer, text.utf16(), length * sizeof(char16_t));
    buffer[length] = 0;
    return kOk;
}

QString currentStyleFile(const QStyle *style)
{
    return QString::fromUtf16(kStyleFolder) + style->name() + QString::fromUtf16(kStyleFileExtension);
}

// Four frames stacked top to bottom: normal, hot, pressed, disabled.
QStyleOption frameOption(const QPalette &palette, int frame)
{
    static constexpr QStyle::State kFrameStates[kImageCount] = {
        QStyle::State_Enabled | QStyle::State_Raised,
        QStyle::State_Enabled | QStyle::State_Raised | QStyle::State_MouseOver,
        QStyle::State_Enabled | QStyle::State_Sunken,
        QStyle::State_None,
    };
    QStyleOption option;
    option.rect = QRect(0, frame * kFrameSize, kFrameSize, kFrameSize);
    option.state = kFrameStates[frame];
    option.palette = palette;
    if (!(option.state & QStyle::State_Enabled))
        option.palette.setCurrentColorGroup(QPalette::Disabled);
    return option;
}

QImage buttonImage(QStyle *style, const QPalette &palette)
{
    QImage image(kFrameSize, kFrameSize * kImageCount, QImage::Format_RGB32);
    image.fill(palette.color(QPalette::Button));
    QPainter painter(&image);
    for (int frame = 0; frame < kImageCount; ++frame) {
        QStyleOptionButton option;
        static_cast<QStyleOption &>(option) = frameOption(palette, frame);
        style->drawPrimitive(QStyle::PE_PanelButtonCommand, &option, &painter);
    }
    return image;
}

// The style's arrows are anti-aliased; the reader wants solid glyph pixels on a
// transparent colour, so the edges are cut at half coverage.
QImage glyphImage(QStyle *style, const QPalette &palette, QStyle::PrimitiveElement arrow)
{
    QImage arrows(kFrameSize, kFrameSize * kImageCount, QImage::Format_ARGB32);
    arrows.fill(Qt::transparent);
    {
        QPainter painter(&arrows);
        for (int frame = 0; frame < kImageCount; ++frame) {
            const QStyleOption option = frameOption(palette, frame);
            style->drawPrimitive(arrow, &option, &painter);
        }
    }
    QImage image(arrows.size(), QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = arrows.pixel(x, y);
            image.setPixel(x, y, qAlpha(pixel) >= kGlyphAlphaThreshold ? (pixel | 0xFF000000u) : kGlyphTransparent);
        }
    }
    return image;
}

} // namespace

THEME_API void GetProviderVersion(int *major, int *minor)
{
#if defined(THEME_PROVIDER_VERSION_MAJOR) && defined(THEME_PROVIDER_VERSION_MINOR)
    *major = THEME_PROVIDER_VERSION_MAJOR;
    *minor = THEME_PROVIDER_VERSION_MINOR;
#else
    const QStringList parts = QString::fromLatin1(qVersion()).split(u'.');
    *major = parts.value(0).toInt();
    *minor = parts.value(1).toInt();
#endif
}

THEME_API int IsThemeActive()
{
    const QStyle *style = runningStyle();
    return style && style->name().compare(QLatin1String(kClassicStyleName), Qt::CaseInsensitive) != 0;
}

THEME_API HTHEME OpenThemeData(void *window, const char16_t *classList)
{
    if (!window || !classList || !IsThemeActive())
        return nullptr;
    const QStringList classes = QString::fromUtf16(classList).split(u';');
    if (!classes.contains(QString::fromUtf16(kSpinClass), Qt::CaseInsensitive))
        return nullptr;
    return new ThemeData{static_cast<QWidget *>(window)};
}

THEME_API int CloseThemeData(HTHEME theme)
{
    delete static_cast<ThemeData *>(theme);
    return kOk;
}

THEME_API int GetThemeColor(HTHEME theme, int part, int state, int property, COLORREF *color)
{
    if (!spinPart(theme, part) || !color)
        return kFailed;
    if (property == kPropGlyphTransparentColor) {
        *color = kGlyphTransparent;
        return kOk;
    }
    if (property != kPropGlyphTextColor || state < 1 || state > kImageCount)
        return kFailed;
    const QPalette::ColorGroup group = state == kImageCount ? QPalette::Disabled : QPalette::Active;
    *color = themePalette(theme).color(group, QPalette::ButtonText).rgb();
    return kOk;
}

THEME_API int GetThemeEnumValue(HTHEME theme, int part, int, int property, int *value)
{
    if (!spinPart(theme, part) || !value)
        return kFailed;
    switch (property) {
    case kPropBackgroundType:
        *value = kBackgroundImageFile;
        return kOk;
    case kPropImageLayout:
        *value = kLayoutVertical;
        return kOk;
    case kPropGlyphType:
        *value = THEME_PROVIDER_GLYPH_TYPE;
        return kOk;
    default:
        return kFailed;
    }
}

THEME_API int GetThemeInt(HTHEME theme, int part, int, int property, int *value)
{
    if (!spinPart(theme, part) || !value || property != kPropImageCount)
        return kFailed;
    *value = kImageCount;
    return kOk;
}

THEME_API int GetThemeMargins(HTHEME theme, void *, int part, int, int property, const void *, Margins *margins)
{
    if (!spinPart(theme, part) || !margins || property != kPropSizingMargins)
        return kFailed;
    *margins = kSizingMargins;
    return kOk;
}

THEME_API int GetThemeFilename(HTHEME theme, int part, int, int property, char16_t *buffer, int size)
{
    const SpinImages *images = spinPart(theme, part);
    if (!images)
        return kFailed;
    if (property == kPropImageFile)
        return copyText(QString::fromUtf16(images->background), buffer, size);
    if (property == kPropGlyphImageFile)
        return copyText(QString::fromUtf16(images->glyph), buffer, size);
    return kFailed;
}

THEME_API int GetCurrentThemeName(char16_t *file, int fileSize, char16_t *colour, int colourSize, char16_t *size,
                                  int sizeSize)
{
    const QStyle *style = runningStyle();
    if (!style || !IsThemeActive())
        return kFailed;
    if (copyText(currentStyleFile(style), file, fileSize) != kOk)
        return kFailed;
    // The scheme and size names are optional, as their buffers are.
    copyText(QString::fromUtf16(kColourSchemeName), colour, colourSize);
    copyText(QString::fromUtf16(kSizeName), size, sizeSize);
    return kOk;
}

THEME_API HSTYLEFILE LoadStyleFile(const char16_t *fileName)
{
    const QStyle *style = runningStyle();
    if (!style || !fileName || QString::fromUtf16(fileName) != currentStyleFile(style))
        return nullptr;
    return new StyleFile{style->name()};
}

THEME_API void FreeStyleFile(HSTYLEFILE file)
{
    delete static_cast<StyleFile *>(file);
}

THEME_API int LoadStyleBitmap(HSTYLEFILE file, const char *resourceName, void *image)
{
    QStyle *style = runningStyle();
    if (!file || !resourceName || !image || !style || style->name() != static_cast<StyleFile *>(file)->styleName)
        return 0;
    const QPalette palette = QApplication::palette();
    for (const SpinImages &images : kSpinImages) {
        if (std::strcmp(resourceName, images.backgroundResource) == 0) {
            *static_cast<QImage *>(image) = buttonImage(style, palette);
            return 1;
        }
        if (std::strcmp(resourceName, images.glyphResource) == 0) {
            *static_cast<QImage *>(image) = glyphImage(style, palette, images.arrow);
            return 1;
        }
    }
    return 0;
}

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>

#include "custom_tab_ctrl.h"
#include "visual_style.h"

using namespace theme;

namespace {

QString provider(const char *fileName)
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QString::fromLatin1(fileName));
}

QString textOf(const char16_t *buffer)
{
    return QString::fromUtf16(buffer);
}

// Runs a test under one application style and restores Fusion afterwards.
class StyleScope {
public:
    explicit StyleScope(const char *name) { QApplication::setStyle(QStyleFactory::create(QString::fromLatin1(name))); }
    ~StyleScope() { QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion"))); }
};

TEST(VisualStyle, VersionTestPutsTheMinorVersionInTheUpperHalf)
{
    EXPECT_TRUE(CVisualStyle::passesVersionTest(5, 1));
    EXPECT_TRUE(CVisualStyle::passesVersionTest(5, 2));
    EXPECT_TRUE(CVisualStyle::passesVersionTest(6, 1));
    EXPECT_TRUE(CVisualStyle::passesVersionTest(6, 4));
    EXPECT_FALSE(CVisualStyle::passesVersionTest(5, 0));
    EXPECT_FALSE(CVisualStyle::passesVersionTest(6, 0));
    EXPECT_FALSE(CVisualStyle::passesVersionTest(65540, 0));
    EXPECT_TRUE(CVisualStyle::passesVersionTest(65541, 0));
}

TEST(VisualStyle, BitmapNamesReplaceBackslashesAndDots)
{
    EXPECT_EQ(CVisualStyle::bitmapResourceName(u"Images\\SpinLeft.bmp"), "Images_SpinLeft_bmp");
    EXPECT_EQ(CVisualStyle::bitmapResourceName(u"a.b\\c.d.e"), "a_b_c_d_e");
    EXPECT_EQ(CVisualStyle::bitmapResourceName(u"plain"), "plain");
}

TEST(VisualStyle, AnOldVersionLoadsNoProvider)
{
    CVisualStyle style(provider("libtarvolin_theme_v60.so"));
    QWidget window;
    EXPECT_FALSE(style.hasProvider());
    EXPECT_EQ(style.open(&window, kSpinClass), 0);
    EXPECT_FALSE(style.isOpen());
}

TEST(VisualStyle, AMissingProviderGivesZeroEverywhere)
{
    CVisualStyle style(provider("libtarvolin_theme_missing.so"));
    QWidget window;
    EXPECT_FALSE(style.hasProvider());
    EXPECT_EQ(style.open(&window, kSpinClass), 0);
    int value = -1;
    COLORREF color = 0;
    Margins margins{};
    char16_t buffer[kMaxPath] = {};
    EXPECT_EQ(style.enumValue(kSpinLeftArrowPart, 0, kPropBackgroundType, &value), 0);
    EXPECT_EQ(style.intValue(kSpinLeftArrowPart, 0, kPropImageCount, &value), 0);
    EXPECT_EQ(style.color(kSpinLeftArrowPart, 0, kPropGlyphTransparentColor, &color), 0);
    EXPECT_EQ(style.margins(kSpinLeftArrowPart, 0, kPropSizingMargins, &margins), 0);
    EXPECT_EQ(style.fileName(kSpinLeftArrowPart, 0, kPropImageFile, buffer, kMaxPath), 0);
    EXPECT_EQ(style.currentStyleName(buffer, kMaxPath, nullptr, 0, nullptr, 0), 0);
    EXPECT_TRUE(style.loadStyleBitmap(u"Images\\SpinLeft.bmp").isNull());
    EXPECT_EQ(value, -1);
}

TEST(VisualStyle, OpensTheSpinClassOfTheRunningStyle)
{
    CVisualStyle style;
    QWidget window;
    ASSERT_TRUE(style.hasProvider());
    ASSERT_EQ(style.open(&window, kSpinClass), 1);

    int type = -1;
    int count = 0;
    Margins margins{};
    char16_t file[kMaxPath] = {};
    EXPECT_EQ(style.enumValue(kSpinLeftArrowPart, 0, kPropBackgroundType, &type), 1);
    EXPECT_EQ(type, kBackgroundImageFile);
    EXPECT_EQ(style.intValue(kSpinRightArrowPart, 0, kPropImageCount, &count), 1);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(style.margins(kSpinLeftArrowPart, 0, kPropSizingMargins, &margins), 1);
    EXPECT_GT(margins.left, 0);
    EXPECT_EQ(style.fileName(kSpinLeftArrowPart, 0, kPropImageFile, file, kMaxPath), 1);

    const QImage image = style.loadStyleBitmap(file);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.height(), 4 * image.width()) << "four square frames, one above the other";
    EXPECT_TRUE(style.loadStyleBitmap(u"Images\\NoSuch.bmp").isNull());

    char16_t name[kMaxPath] = {};
    EXPECT_EQ(style.currentStyleName(name, kMaxPath, nullptr, 0, nullptr, 0), 1);
    EXPECT_TRUE(textOf(name).contains(QApplication::style()->name())) << textOf(name).toStdString();
}

TEST(VisualStyle, OpeningTwiceKeepsTheFirstTheme)
{
    CVisualStyle style;
    QWidget window;
    ASSERT_EQ(style.open(&window, kSpinClass), 1);
    EXPECT_EQ(style.open(&window, kSpinClass), 0);
    EXPECT_TRUE(style.isOpen());
    int count = 0;
    EXPECT_EQ(style.intValue(kSpinLeftArrowPart, 0, kPropImageCount, &count), 1);
    EXPECT_EQ(count, 4);

    style.close();
    EXPECT_FALSE(style.isOpen());
    EXPECT_EQ(style.intValue(kSpinLeftArrowPart, 0, kPropImageCount, &count), 0);
    EXPECT_EQ(style.open(&window, kSpinClass), 1) << "a closed object opens again";
}

TEST(VisualStyle, OpenFailsWithoutWindowClassOrActiveStyle)
{
    QWidget window;
    {
        CVisualStyle style;
        EXPECT_EQ(style.open(nullptr, kSpinClass), 0);
        EXPECT_EQ(style.open(&window, u"BUTTON"), 0);
        EXPECT_FALSE(style.isOpen());
        EXPECT_EQ(style.open(&window, u"BUTTON;spin"), 1) << "class lists and case are accepted";
    }
    StyleScope classic("Windows");
    CVisualStyle style;
    EXPECT_TRUE(style.hasProvider());
    EXPECT_EQ(style.open(&window, kSpinClass), 0);
    EXPECT_FALSE(style.isOpen());
}

TEST(VisualStyle, StyleBitmapsNeedTheStyleFileTheyCameFrom)
{
    CVisualStyle style;
    QWidget window;
    ASSERT_EQ(style.open(&window, kSpinClass), 1);
    StyleScope other("Windows");
    EXPECT_TRUE(style.loadStyleBitmap(u"Images\\SpinLeft.bmp").isNull());
}

TEST(GlyphColors, FirstPixelOffTheTransparentColourOfEachFrame)
{
    const QRgb transparent = qRgb(255, 0, 255);
    QImage stacked(4, 12, QImage::Format_RGB32);
    stacked.fill(transparent);
    stacked.setPixel(3, 0, qRgb(1, 0, 0));  // frame 0, first row
    stacked.setPixel(0, 1, qRgb(9, 9, 9));  // frame 0, later row: not taken
    stacked.setPixel(2, 4, qRgb(2, 0, 0));
    stacked.setPixel(1, 8, qRgb(3, 0, 0));
    stacked.setPixel(0, 11, qRgb(4, 0, 0));
    const auto colors = glyphColorsFromImage(stacked, transparent, kLayoutVertical);
    ASSERT_TRUE(colors);
    EXPECT_EQ((*colors)[0], QColor(1, 0, 0));
    EXPECT_EQ((*colors)[1], QColor(2, 0, 0));
    EXPECT_EQ((*colors)[2], QColor(3, 0, 0));
    EXPECT_EQ((*colors)[3], QColor(4, 0, 0));

    // Side by side, lines are columns: the leftmost column wins over the top row.
    QImage wide(8, 2, QImage::Format_RGB32);
    wide.fill(transparent);
    for (int frame = 0; frame < 4; ++frame) {
        wide.setPixel(frame * 2 + 1, 0, qRgb(50, 0, 0));
        wide.setPixel(frame * 2, 1, qRgb(frame, 7, 7));
    }
    const auto columns = glyphColorsFromImage(wide, transparent, kLayoutHorizontal);
    ASSERT_TRUE(columns);
    EXPECT_EQ((*columns)[2], QColor(2, 7, 7));

    wide.setPixel(6, 1, transparent);
    wide.setPixel(7, 0, transparent);
    EXPECT_FALSE(glyphColorsFromImage(wide, transparent, kLayoutHorizontal)) << "an empty frame fails";
    EXPECT_FALSE(glyphColorsFromImage(QImage(), transparent, kLayoutVertical));
}

TEST(ThemedButtons, ReadFromTheRunningStyle)
{
    QWidget window;
    CVisualStyle style;
    const auto buttons = readThemedButtons(style, &window);
    ASSERT_TRUE(buttons);
    EXPECT_FALSE(buttons->previous.bitmap.isNull());
    EXPECT_FALSE(buttons->next.bitmap.isNull());
    EXPECT_EQ(buttons->previous.layout, kLayoutVertical);
    const QColor text = window.palette().color(QPalette::ButtonText);
    EXPECT_LT(std::abs(buttons->glyphColors[0].lightness() - text.lightness()), 64)
        << "the normal glyph is drawn in about the button text colour";

    CVisualStyle fontGlyphs(provider("libtarvolin_theme_fontglyph.so"));
    const auto fromFont = readThemedButtons(fontGlyphs, &window);
    ASSERT_TRUE(fromFont);
    EXPECT_EQ(fromFont->glyphColors[0], text);
    EXPECT_EQ(fromFont->glyphColors[2], text);

    StyleScope classic("Windows");
    CVisualStyle off;
    EXPECT_FALSE(readThemedButtons(off, &window));
}

} // namespace

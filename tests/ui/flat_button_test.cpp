#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "flat_button.h"

namespace {

constexpr QSize kSize(86, 38);
constexpr int kIconSize = 16;
const QColor kFace(236, 233, 216);
const QColor kIconColor(255, 0, 0);

class FlatButtonTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        iconPath = folder.filePath("icon.png");
        QImage icon(kIconSize, kIconSize, QImage::Format_RGB32);
        icon.fill(kIconColor);
        ASSERT_TRUE(icon.save(iconPath));

        QPalette palette = button.palette();
        palette.setColor(QPalette::Button, kFace);
        button.setPalette(palette);
        button.resize(kSize);
    }

    void mouse(QEvent::Type type, QPoint point, Qt::MouseButton changed, Qt::MouseButtons held)
    {
        QMouseEvent event(type, point, button.mapToGlobal(point), changed, held, Qt::NoModifier);
        QApplication::sendEvent(&button, &event);
    }
    void moveTo(QPoint point, Qt::MouseButtons held = Qt::NoButton) { mouse(QEvent::MouseMove, point, Qt::NoButton, held); }

    QImage render() { return button.grab().toImage(); }

    // Top-left corner of the icon in a picture of the button.
    static QPoint iconAt(const QImage &image)
    {
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixelColor(x, y) == kIconColor)
                    return {x, y};
            }
        }
        return {-1, -1};
    }

    QTemporaryDir folder;
    QString iconPath;
    CFramedButton button{"Start"};
};

TEST_F(FlatButtonTest, OffsetColourMovesAllPartsByOneClampedAmount)
{
    EXPECT_EQ(button.color(CFlatButton::BackgroundActive), kFace);
    EXPECT_EQ(button.offsetColor(CFlatButton::BackgroundActive, 30, true), CFlatButton::kResultOk);
    EXPECT_EQ(button.color(CFlatButton::BackgroundActive), QColor(255, 252, 235)) << "cut to 19 by the red part";

    EXPECT_EQ(button.offsetColor(CFlatButton::BackgroundNormal, -220, false), CFlatButton::kResultOk);
    EXPECT_EQ(button.color(CFlatButton::BackgroundNormal), QColor(20, 17, 0)) << "cut to -216 by the blue part";
    EXPECT_EQ(button.offsetColor(CFlatButton::ForegroundFocused, 255, false), CFlatButton::kResultOk);

    EXPECT_EQ(button.offsetColor(6, 10, true), CFlatButton::kResultBadIndex);
    EXPECT_EQ(button.offsetColor(-1, 10, true), CFlatButton::kResultBadIndex);
    EXPECT_EQ(button.offsetColor(CFlatButton::BackgroundFocused, 256, true), CFlatButton::kResultBadOffset);
    EXPECT_EQ(button.offsetColor(CFlatButton::BackgroundFocused, -256, true), CFlatButton::kResultBadOffset);
    EXPECT_EQ(button.color(CFlatButton::BackgroundFocused), kFace);
}

TEST_F(FlatButtonTest, ASystemColourChangeRestoresTheDefaults)
{
    button.offsetColor(CFlatButton::BackgroundActive, 30, true);
    QPalette palette = button.palette();
    palette.setColor(QPalette::Button, QColor(10, 20, 30));
    palette.setColor(QPalette::ButtonText, QColor(200, 0, 0));
    button.setPalette(palette);
    EXPECT_EQ(button.color(CFlatButton::BackgroundActive), QColor(10, 20, 30));
    EXPECT_EQ(button.color(CFlatButton::ForegroundNormal), QColor(200, 0, 0));
}

TEST_F(FlatButtonTest, HotWhileTheMouseIsOverButNotWhenDraggedOnto)
{
    moveTo(QPoint(5, 5), Qt::LeftButton);
    EXPECT_FALSE(button.isHot()) << "the left button was pressed elsewhere";
    moveTo(QPoint(5, 5));
    EXPECT_TRUE(button.isHot());
    moveTo(QPoint(5, 5), Qt::LeftButton);
    EXPECT_TRUE(button.isHot()) << "already hot stays hot";
    moveTo(QPoint(kSize.width() + 5, 5));
    EXPECT_FALSE(button.isHot());

    moveTo(QPoint(5, 5));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&button, &leave);
    EXPECT_FALSE(button.isHot());

    moveTo(QPoint(5, 5));
    button.setEnabled(false);
    EXPECT_FALSE(button.isHot());
}

TEST_F(FlatButtonTest, LooksFlatRaisedAndSunken)
{
    const QColor light = button.palette().color(QPalette::Light);
    const QColor dark = button.palette().color(QPalette::Dark);
    button.offsetColor(CFlatButton::BackgroundActive, 30, true);
    const QPoint corner(0, 0);
    const QPoint farCorner(kSize.width() - 1, kSize.height() - 1);
    const QPoint inside(1, 2);

    const QImage flat = render();
    EXPECT_EQ(flat.pixel(corner), kFace.rgb());
    EXPECT_EQ(flat.pixel(farCorner), kFace.rgb());

    moveTo(QPoint(5, 5));
    const QImage hot = render();
    EXPECT_EQ(hot.pixel(corner), light.rgb());
    EXPECT_EQ(hot.pixel(farCorner), dark.rgb());
    EXPECT_EQ(hot.pixel(inside), qRgb(255, 252, 235));

    button.setDown(true);
    const QImage pressed = render();
    EXPECT_EQ(pressed.pixel(corner), dark.rgb());
    EXPECT_EQ(pressed.pixel(farCorner), light.rgb());
    EXPECT_EQ(pressed.pixel(inside), qRgb(255, 252, 235));
}

TEST_F(FlatButtonTest, ACheckedTopButtonStaysSunkenWithoutMovingItsIcon)
{
    ASSERT_EQ(button.setIconResource(iconPath), CFlatButton::kResultOk);
    button.setText("Top");
    button.setCheckable(true);
    const QPoint normalIcon = iconAt(render());
    EXPECT_EQ(normalIcon, QPoint(3, (kSize.height() - kIconSize) / 2));

    QSignalSpy clicks(&button, &QAbstractButton::clicked);
    mouse(QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, QPoint(5, 5), Qt::LeftButton, Qt::NoButton);
    EXPECT_TRUE(button.isChecked());
    EXPECT_EQ(clicks.count(), 1);
    moveTo(QPoint(kSize.width() + 5, 5));
    EXPECT_FALSE(button.isHot());

    const QImage checked = render();
    EXPECT_EQ(checked.pixel(0, 0), button.palette().color(QPalette::Dark).rgb());
    EXPECT_EQ(iconAt(checked), normalIcon);

    button.setCheckable(false);
    button.setDown(true);
    EXPECT_EQ(iconAt(render()), normalIcon + QPoint(1, 1)) << "a plain press moves the icon";
}

TEST_F(FlatButtonTest, IconsWithoutACaptionAreCentredAndUnreadableOnesDropped)
{
    button.setText(QString());
    ASSERT_EQ(button.setIconResource(iconPath), CFlatButton::kResultOk);
    EXPECT_EQ(iconAt(render()), QPoint((kSize.width() - kIconSize) / 2, (kSize.height() - kIconSize) / 2));

    EXPECT_EQ(button.setIconResource(folder.filePath("missing.png")), CFlatButton::kResultIconUnreadable);
    EXPECT_EQ(iconAt(render()), QPoint(-1, -1));
}

TEST_F(FlatButtonTest, ADoubleClickCountsAsAClick)
{
    QSignalSpy clicks(&button, &QAbstractButton::clicked);
    const QPoint point(5, 5);
    mouse(QEvent::MouseButtonPress, point, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, point, Qt::LeftButton, Qt::NoButton);
    mouse(QEvent::MouseButtonDblClick, point, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, point, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(clicks.count(), 2);
}

TEST_F(FlatButtonTest, RoundedFramesCutTheCorners)
{
    button.setDown(true);
    button.setRounded(true, true);
    const QImage rounded = render();
    button.setRounded(false, true);
    const QImage square = render();
    EXPECT_EQ(square.pixel(1, 1), button.color(CFlatButton::BackgroundActive).rgb());
    EXPECT_NE(rounded.pixel(1, 1), square.pixel(1, 1));
}

} // namespace

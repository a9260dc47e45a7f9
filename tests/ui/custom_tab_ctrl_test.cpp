#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QStyleFactory>
#include <QTest>

#include "custom_tab_ctrl.h"

namespace {

constexpr int kHeight = 20;
constexpr int kButtonsWidth = 2 * (kHeight - 3) + 3;
constexpr int kWide = 400;
constexpr int kNarrow = 120;
constexpr int kMedium = 200;
const QStringList kTabs = {"Media Files", "All", "Log", "Requests", "Streams", "Last one"};

// The tab strip with a clock the test moves by hand.
class TestTabCtrl : public CCustomTabCtrl {
public:
    qint64 now = 1000;

protected:
    qint64 tickCount() const override { return now; }
};

struct Strip {
    explicit Strip(int width, int tabs = 2)
    {
        control.resize(width, kHeight);
        control.show();
        control.modifyStyle(0, CCustomTabCtrl::kStyleAutoHideButtons);
        for (int index = 0; index < tabs; ++index)
            EXPECT_EQ(control.insertTab(index, kTabs[index], 100 + index), index);
        EXPECT_EQ(control.selectTab(0), CCustomTabCtrl::kResultOk);
        QObject::connect(&control, &CCustomTabCtrl::notify,
                         [this](const TabNotification &notification) { received.push_back(notification); });
    }

    void mouse(QEvent::Type type, QPoint point, Qt::MouseButton button = Qt::LeftButton,
               Qt::MouseButtons held = Qt::NoButton)
    {
        QMouseEvent event(type, point, control.mapToGlobal(point), button, held, Qt::NoModifier);
        QApplication::sendEvent(&control, &event);
    }
    void click(QPoint point)
    {
        mouse(QEvent::MouseButtonPress, point, Qt::LeftButton, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, point);
    }
    // A point inside tab `index` only, away from its neighbours.
    QPoint inside(int index) const
    {
        const TabRect text = control.tabTextRect(index);
        return QPoint((text.left + text.right) / 2, kHeight / 2);
    }
    std::vector<int> codes() const
    {
        std::vector<int> result;
        for (const TabNotification &notification : received)
            result.push_back(notification.code);
        return result;
    }

    TestTabCtrl control;
    std::vector<TabNotification> received;
};

// Where each tab starts and where the last one ends when the strip is not scrolled,
// measured from the first tab's left edge.
struct Natural {
    std::vector<int> left;
    int right = 0;
};

Natural naturalPositions(const CCustomTabCtrl &control)
{
    Natural natural;
    const int origin = control.tabShapeRect(0).left;
    for (int index = 0; index < control.count(); ++index)
        natural.left.push_back(control.tabShapeRect(index).left - origin);
    natural.right = control.tabShapeRect(control.count() - 1).right - origin;
    return natural;
}

TEST(TabLayout, TwoShortTabsInAWideControlHangFromTheLeftEdge)
{
    Strip strip(kWide);
    const CCustomTabCtrl &control = strip.control;
    EXPECT_EQ(control.previousButtonState(), CCustomTabCtrl::ButtonHidden);
    EXPECT_EQ(control.nextButtonState(), CCustomTabCtrl::ButtonHidden);
    EXPECT_EQ(control.firstVisibleIndex(), 0);

    const TabRect first = control.tabShapeRect(0);
    const TabRect second = control.tabShapeRect(1);
    const TabRect firstText = control.tabTextRect(0);
    EXPECT_EQ(first.left, 0);
    EXPECT_EQ(first.top, 1);
    EXPECT_EQ(first.bottom, kHeight - 1);
    EXPECT_EQ(firstText.left, kHeight / 2);
    EXPECT_EQ(firstText.top, 1);
    EXPECT_EQ(first.right - first.left, kHeight + (firstText.right - firstText.left));
    EXPECT_EQ(second.left, first.right - kHeight / 2) << "neighbours overlap by half the height";
    EXPECT_GT(first.right - first.left, second.right - second.left) << "\"Media Files\" is wider than \"All\"";
    EXPECT_EQ(control.tabShape(0), TabShape::SelectedOrLast);
    EXPECT_EQ(control.tabShape(1), TabShape::SelectedOrLast);
}

TEST(TabLayout, RegionsAreTrapezoidsAndOnlyTheLastOrSelectedKeepsItsRightSlant)
{
    Strip strip(kWide, 3);
    const CCustomTabCtrl &control = strip.control;
    ASSERT_EQ(control.tabShape(1), TabShape::Whole);
    ASSERT_EQ(control.tabShape(2), TabShape::SelectedOrLast);

    const TabRect shape = control.tabShapeRect(1);
    const QRegion region = control.tabRegion(1);
    const int h = (shape.bottom - shape.top);
    EXPECT_TRUE(region.contains(QPoint(shape.left + h / 2 + 1, shape.bottom - 1)));
    EXPECT_FALSE(region.contains(QPoint(shape.left + 1, shape.bottom - 2))) << "outside the left slant";
    EXPECT_FALSE(region.contains(QPoint(shape.right - 2, shape.top + 1))) << "a middle tab leaves its right slant to the next one";
    const TabRect last = control.tabShapeRect(2);
    EXPECT_TRUE(control.tabRegion(2).contains(QPoint(last.right - 2, last.top + 1)));
    EXPECT_TRUE(control.tabRegion(0).contains(QPoint(control.tabShapeRect(0).right - 2, 2)));
}

TEST(TabLayout, HitTestsPreferTheLowerIndexWhereTabsOverlap)
{
    Strip strip(kWide, 3);
    CCustomTabCtrl &control = strip.control;
    for (int selected : {0, 1, 2}) {
        control.selectTab(selected);
        const QRegion overlap = control.tabRegion(0) & control.tabRegion(1);
        ASSERT_FALSE(overlap.isEmpty());
        EXPECT_EQ(control.hitTest(overlap.begin()->topLeft()), 0);
        const QRegion overlap12 = control.tabRegion(1) & control.tabRegion(2);
        ASSERT_FALSE(overlap12.isEmpty());
        EXPECT_EQ(control.hitTest(overlap12.begin()->topLeft()), 1);
    }
    EXPECT_EQ(control.hitTest(strip.inside(2)), 2);
    EXPECT_EQ(control.hitTest(QPoint(kWide - 2, kHeight / 2)), CCustomTabCtrl::kHitNone);
    EXPECT_EQ(control.hitTest(QPoint(1, kHeight / 2)), CCustomTabCtrl::kHitNone) << "no buttons in a wide strip";
}

TEST(TabLayout, ANarrowControlShowsTheButtonsAndHitsThem)
{
    Strip strip(kNarrow, kTabs.size());
    const CCustomTabCtrl &control = strip.control;
    EXPECT_EQ(control.scrollButtonsWidth(), kButtonsWidth);
    EXPECT_EQ(control.previousButtonState(), CCustomTabCtrl::ButtonNormal);
    EXPECT_EQ(control.nextButtonState(), CCustomTabCtrl::ButtonNormal);
    EXPECT_EQ(control.tabShapeRect(0).left, kButtonsWidth);

    EXPECT_EQ(control.hitTest(QPoint(0, 0)), CCustomTabCtrl::kHitPreviousButton);
    EXPECT_EQ(control.hitTest(QPoint(kHeight - 3, kHeight - 1)), CCustomTabCtrl::kHitPreviousButton);
    EXPECT_EQ(control.hitTest(QPoint(kHeight - 2, 0)), CCustomTabCtrl::kHitNextButton);
    EXPECT_EQ(control.hitTest(QPoint(2 * kHeight - 4, kHeight - 1)), CCustomTabCtrl::kHitNextButton);
    EXPECT_EQ(control.hitTest(QPoint(2 * kHeight - 4, kHeight)), CCustomTabCtrl::kHitNone);
}

TEST(TabLayout, WithoutTheStyleBitTheButtonsStayEvenWhenAllTabsFit)
{
    Strip strip(kWide);
    strip.control.modifyStyle(CCustomTabCtrl::kStyleAutoHideButtons, 0);
    EXPECT_EQ(strip.control.previousButtonState(), CCustomTabCtrl::ButtonNormal);
    EXPECT_EQ(strip.control.tabShapeRect(0).left, kButtonsWidth);
    strip.control.modifyStyle(0, CCustomTabCtrl::kStyleAutoHideButtons);
    EXPECT_EQ(strip.control.previousButtonState(), CCustomTabCtrl::ButtonHidden);
    EXPECT_EQ(strip.control.tabShapeRect(0).left, 0);
}

TEST(TabScrolling, ButtonsStepUntilTheLastTabFitsAndBack)
{
    Strip strip(kNarrow, kTabs.size());
    CCustomTabCtrl &control = strip.control;
    const int last = control.count() - 1;
    const QPoint next(kHeight, kHeight / 2);
    const QPoint previous(2, kHeight / 2);

    strip.click(next);
    EXPECT_EQ(control.firstVisibleIndex(), 1);
    EXPECT_EQ(control.tabShape(0), TabShape::SelectedEdge);
    EXPECT_EQ(control.tabShapeRect(0), (TabRect{kButtonsWidth, 1, kButtonsWidth + kHeight / 2, kHeight - 1}));
    EXPECT_EQ(control.tabTextRect(0), TabRect{});
    EXPECT_EQ(control.tabShapeRect(1).left, kButtonsWidth);

    for (int step = 0; step < 10; ++step)
        strip.click(next);
    const int end = control.firstVisibleIndex();
    EXPECT_LE(control.tabShapeRect(last).right, kNarrow);
    EXPECT_LT(end, last + 1);
    EXPECT_EQ(control.tabShape(end - 2), TabShape::Hidden);
    EXPECT_EQ(control.tabShape(end - 1), TabShape::Edge);
    EXPECT_EQ(control.hitTest(strip.inside(end)), end);

    strip.click(previous);
    EXPECT_EQ(control.firstVisibleIndex(), end - 1);
    for (int step = 0; step < 10; ++step)
        strip.click(previous);
    EXPECT_EQ(control.firstVisibleIndex(), 0);
    EXPECT_EQ(control.tabShapeRect(0).left, kButtonsWidth);
}

TEST(TabScrolling, SelectingTheLastTabPullsTheStripBack)
{
    Strip strip(kMedium, kTabs.size());
    CCustomTabCtrl &control = strip.control;
    const Natural natural = naturalPositions(control);
    const int last = control.count() - 1;
    int expected = 0;
    while (kButtonsWidth + natural.right - natural.left[expected] > kMedium)
        ++expected;
    ASSERT_GT(expected, 0);
    ASSERT_LT(expected, last);

    EXPECT_EQ(control.selectTab(last), CCustomTabCtrl::kResultOk);
    EXPECT_EQ(control.firstVisibleIndex(), expected);
    EXPECT_LE(control.tabShapeRect(last).right, kMedium);

    control.selectTab(1);
    EXPECT_EQ(control.firstVisibleIndex(), 1) << "a tab that leaves the strip overflowing stays first";

    control.resize(kWide * 2, kHeight);
    EXPECT_EQ(control.firstVisibleIndex(), 0);
    EXPECT_EQ(control.previousButtonState(), CCustomTabCtrl::ButtonHidden);
}

TEST(TabScrolling, ClickingAPartlyShownTabScrollsItIntoView)
{
    Strip strip(kMedium, kTabs.size());
    CCustomTabCtrl &control = strip.control;
    int cut = 0;
    while (control.tabShapeRect(cut).right <= kMedium)
        ++cut;
    const TabRect shape = control.tabShapeRect(cut);
    ASSERT_GT(cut, 0);
    ASSERT_LT(shape.left + kHeight, kMedium) << "the cut tab shows a part to click";
    strip.click(QPoint(shape.left + kHeight, kHeight / 2));
    EXPECT_EQ(control.selectedIndex(), cut);
    EXPECT_TRUE(control.tabShapeRect(cut).right <= kMedium || control.tabShapeRect(cut).left == kButtonsWidth);
    EXPECT_GT(control.firstVisibleIndex(), 0);

    // The edge piece of the tab before the first whole one brings that tab back.
    const int first = control.firstVisibleIndex();
    strip.click(QPoint(kButtonsWidth + 1, kHeight / 2 - 4));
    EXPECT_EQ(control.selectedIndex(), first - 1);
    EXPECT_EQ(control.firstVisibleIndex(), first - 1);
}

TEST(TabEditing, InsertRenameAndSelectReturnTheirCodes)
{
    Strip strip(kWide);
    CCustomTabCtrl &control = strip.control;
    EXPECT_EQ(control.insertTab(-1, "x", 0), CCustomTabCtrl::kResultBadIndex);
    EXPECT_EQ(control.insertTab(3, "x", 0), CCustomTabCtrl::kResultBadIndex);
    EXPECT_EQ(control.insertTab(2, QString(30, 'a'), 0), CCustomTabCtrl::kResultTextTooLong);
    EXPECT_EQ(control.count(), 2);
    EXPECT_EQ(control.insertTab(2, QString(29, 'a'), 0), 2);

    EXPECT_EQ(control.selectTab(1), CCustomTabCtrl::kResultOk);
    EXPECT_EQ(control.insertTab(3, "after", 0), 3);
    EXPECT_EQ(control.selectedIndex(), 1);
    EXPECT_EQ(control.insertTab(1, "before", 0), 1);
    EXPECT_EQ(control.selectedIndex(), 2) << "inserting at the selection moves it up";
    EXPECT_EQ(control.tabText(2), "All");

    EXPECT_EQ(control.selectTab(-1), CCustomTabCtrl::kResultBadIndex);
    EXPECT_EQ(control.selectTab(control.count()), CCustomTabCtrl::kResultBadIndex);
    EXPECT_EQ(control.selectedIndex(), 2);
    EXPECT_TRUE(strip.received.empty()) << "selecting by call sends nothing";

    const int width = control.tabShapeRect(0).right - control.tabShapeRect(0).left;
    EXPECT_EQ(control.setTabText(5, "x"), CCustomTabCtrl::kResultBadIndex);
    EXPECT_EQ(control.setTabText(0, "Media Files (12)"), CCustomTabCtrl::kResultOk);
    EXPECT_GT(control.tabShapeRect(0).right - control.tabShapeRect(0).left, width) << "renaming relays out";
}

TEST(TabNotifications, ClicksReportPressAndChange)
{
    Strip strip(kWide);
    CCustomTabCtrl &control = strip.control;
    control.setControlId(1040);

    strip.click(strip.inside(0));
    EXPECT_EQ(strip.codes(), std::vector<int>{CCustomTabCtrl::kNotifyLeftDown}) << "the selected tab changes nothing";

    strip.received.clear();
    const QPoint point = strip.inside(1);
    strip.click(point);
    ASSERT_EQ(strip.codes(), (std::vector<int>{CCustomTabCtrl::kNotifyLeftDown, CCustomTabCtrl::kNotifySelectionChanged}));
    const TabNotification &press = strip.received[0];
    EXPECT_EQ(press.index, 1);
    EXPECT_EQ(press.selected, 0) << "the press is reported before the selection";
    const TabNotification &change = strip.received[1];
    EXPECT_EQ(change.control, &control);
    EXPECT_EQ(change.controlId, 1040);
    EXPECT_EQ(change.index, 1);
    EXPECT_STREQ(change.text, "All");
    EXPECT_EQ(change.userValue, 101u);
    EXPECT_EQ(change.textRect, control.tabTextRect(1));
    EXPECT_EQ(change.mouse, point);
    EXPECT_EQ(change.selected, 1);
    EXPECT_EQ(change.reserved, 0);
    EXPECT_EQ(control.selectedIndex(), 1);

    strip.received.clear();
    strip.mouse(QEvent::MouseButtonPress, QPoint(kWide - 2, 5), Qt::RightButton, Qt::RightButton);
    ASSERT_EQ(strip.codes(), std::vector<int>{CCustomTabCtrl::kNotifyRightDown});
    EXPECT_EQ(strip.received[0].index, CCustomTabCtrl::kHitNone);
    EXPECT_STREQ(strip.received[0].text, "");

    strip.received.clear();
    strip.mouse(QEvent::MouseButtonDblClick, strip.inside(0), Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(strip.codes(), std::vector<int>{CCustomTabCtrl::kNotifySelectionChanged}) << "a double click acts without code 1";
}

TEST(TabNotifications, LongTextsAreCutToTheRecord)
{
    Strip strip(kWide);
    strip.control.setTabText(1, QString(40, 'x') + QChar(0x00e9));
    strip.click(strip.inside(1));
    ASSERT_EQ(strip.received.size(), 2u);
    EXPECT_EQ(std::string(strip.received[1].text), std::string(31, 'x'));
    EXPECT_EQ(strip.received[1].text[31], '\0');
}

TEST(TabButtons, AHeldButtonRepeatsAtMostEvery250Milliseconds)
{
    Strip strip(kNarrow / 2, kTabs.size());
    TestTabCtrl &control = strip.control;
    const QPoint next(kHeight, kHeight / 2);
    const auto stepsTo = [&](int index) {
        return QTest::qWaitFor([&] { return control.firstVisibleIndex() == index; }, 2000);
    };
    // The timer ticks every 100 ms; a step needs the test clock moved far enough.
    const auto ticks = [] { QTest::qWait(250); };

    strip.mouse(QEvent::MouseButtonPress, next, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(control.firstVisibleIndex(), 1);
    EXPECT_EQ(control.nextButtonState(), CCustomTabCtrl::ButtonPressed);

    control.now += 249;
    ticks();
    EXPECT_EQ(control.firstVisibleIndex(), 1) << "the gap is too short";
    control.now += 1;
    EXPECT_TRUE(stepsTo(2));
    control.now += 100;
    ticks();
    EXPECT_EQ(control.firstVisibleIndex(), 2) << "the gap counts from the last step";

    // Off the button it stops stepping; back on it, it goes on.
    strip.mouse(QEvent::MouseMove, QPoint(kNarrow / 2 - 1, 5), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(control.nextButtonState(), CCustomTabCtrl::ButtonNormal);
    control.now += 1000;
    ticks();
    EXPECT_EQ(control.firstVisibleIndex(), 2);
    strip.mouse(QEvent::MouseMove, next, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(control.nextButtonState(), CCustomTabCtrl::ButtonPressed);
    EXPECT_TRUE(stepsTo(3));

    strip.mouse(QEvent::MouseButtonRelease, next);
    EXPECT_EQ(control.nextButtonState(), CCustomTabCtrl::ButtonNormal);
    control.now += 1000;
    ticks();
    EXPECT_EQ(control.firstVisibleIndex(), 3) << "releasing stops the repeat";
}

TEST(TabButtons, HotOnlyWithTheLeftButtonUp)
{
    Strip strip(kNarrow, kTabs.size());
    CCustomTabCtrl &control = strip.control;
    const QPoint next(kHeight, kHeight / 2);
    strip.mouse(QEvent::MouseMove, next, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(control.nextButtonState(), CCustomTabCtrl::ButtonHot);
    EXPECT_EQ(control.previousButtonState(), CCustomTabCtrl::ButtonNormal);
    strip.mouse(QEvent::MouseMove, next, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(control.nextButtonState(), CCustomTabCtrl::ButtonNormal) << "a drag from elsewhere";
    strip.mouse(QEvent::MouseMove, QPoint(2, 2), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(control.previousButtonState(), CCustomTabCtrl::ButtonHot);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&control, &leave);
    EXPECT_EQ(control.previousButtonState(), CCustomTabCtrl::ButtonNormal);
}

QRgb pixel(const QImage &image, QPoint point)
{
    return image.pixel(point);
}

TEST(TabPainting, SelectedTabIsFilledAndTheTopLineSkipsIt)
{
    Strip strip(kWide, 3);
    CCustomTabCtrl &control = strip.control;
    control.selectTab(1);
    const QImage image = control.grab().toImage();
    const QPalette &palette = control.palette();
    const QPoint fill(control.tabTextRect(1).left + 1, 4);
    const QPoint other(control.tabTextRect(2).left + 1, 4);
    EXPECT_EQ(pixel(image, fill), palette.color(QPalette::Base).rgb());
    EXPECT_EQ(pixel(image, other), palette.color(QPalette::Button).rgb());
    const QPoint leftOfSlant(control.tabShapeRect(1).left + 1, kHeight / 2);
    EXPECT_EQ(pixel(image, leftOfSlant), palette.color(QPalette::Button).rgb()) << "the fill keeps inside the tab";

    const int selectedMiddle = (control.tabShapeRect(1).left + control.tabShapeRect(1).right) / 2;
    EXPECT_EQ(pixel(image, QPoint(kWide - 2, 1)), palette.color(QPalette::ButtonText).rgb());
    EXPECT_EQ(pixel(image, QPoint(control.tabShapeRect(0).left + 12, 1)), palette.color(QPalette::ButtonText).rgb());
    EXPECT_EQ(pixel(image, QPoint(selectedMiddle, 1)), palette.color(QPalette::Base).rgb());
    EXPECT_EQ(pixel(image, QPoint(kWide - 2, 0)), palette.color(QPalette::Button).rgb());
    const TabRect last = control.tabShapeRect(2);
    EXPECT_EQ(pixel(image, QPoint((last.left + last.right) / 2, last.bottom)), palette.color(QPalette::Dark).rgb())
        << "the bottom edge";
}

TEST(TabPainting, ClassicAndThemedButtons)
{
    Strip strip(kNarrow, kTabs.size());
    CCustomTabCtrl &control = strip.control;
    const QPoint glyphTip(7, 10); // previous glyph, row 3, column 2
    const QPoint glyphBackground(5, 7);
    EXPECT_TRUE(control.isThemed());
    const QImage themed = control.grab().toImage();

    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Windows")));
    EXPECT_FALSE(control.isThemed());
    const QImage classic = control.grab().toImage();
    const QPalette &palette = control.palette();
    EXPECT_EQ(pixel(classic, glyphTip), palette.color(QPalette::ButtonText).rgb());
    EXPECT_NE(pixel(classic, glyphBackground), palette.color(QPalette::ButtonText).rgb());
    EXPECT_EQ(pixel(classic, QPoint(0, kHeight / 2)), palette.color(QPalette::ButtonText).rgb()) << "button area outline";
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    EXPECT_TRUE(control.isThemed());

    EXPECT_NE(themed.copy(0, 0, kButtonsWidth, kHeight), classic.copy(0, 0, kButtonsWidth, kHeight));
}

} // namespace

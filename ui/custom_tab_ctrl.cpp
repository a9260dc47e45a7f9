#include "custom_tab_ctrl.h"

#include <QFontMetrics>

#include "custom_tab_ctrl_item.h"

namespace {

constexpr char kDefaultFontFace[] = "Microsoft Sans Serif";
constexpr int kDefaultFontHeight = 12;
constexpr int kNormalWeight = 400;
constexpr int kBoldWeight = 700;

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

} // namespace

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

// Writes pictures of the tab strip and the flat button in their looks to PNG
// files, so that a person can check them: tarvolin_ui_gallery <folder>.
#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleFactory>

#include <cstdio>

#include "custom_tab_ctrl.h"
#include "flat_button.h"

namespace {

constexpr int kStripHeight = 20;
constexpr int kWideWidth = 400;
constexpr int kNarrowWidth = 150;
constexpr QSize kButtonSize(86, 38);
constexpr int kIconSize = 16;
constexpr int kSheetZoom = 3;
constexpr int kSheetGap = 6;
constexpr int kHighlight = 30;

const char *const kManyTabs[] = {"Media Files", "All", "Log", "Requests", "Streams", "Last"};

class Gallery {
public:
    explicit Gallery(const QDir &folder) : folder_(folder) {}

    bool save(const QString &name, QWidget &widget)
    {
        const QPixmap picture = widget.grab();
        shots_.push_back(picture);
        const bool saved = picture.save(folder_.filePath(name + QStringLiteral(".png")));
        std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(folder_.filePath(name + ".png")));
        return saved;
    }

    // All pictures enlarged, one under the other.
    bool saveSheet()
    {
        int width = 0;
        int height = 0;
        for (const QPixmap &shot : shots_) {
            width = std::max(width, shot.width() * kSheetZoom);
            height += shot.height() * kSheetZoom + kSheetGap;
        }
        QImage sheet(width, height, QImage::Format_RGB32);
        sheet.fill(Qt::white);
        QPainter painter(&sheet);
        int y = 0;
        for (const QPixmap &shot : shots_) {
            painter.drawPixmap(QRect(0, y, shot.width() * kSheetZoom, shot.height() * kSheetZoom), shot);
            y += shot.height() * kSheetZoom + kSheetGap;
        }
        return sheet.save(folder_.filePath(QStringLiteral("gallery.png")));
    }

    QString iconPath() const { return folder_.filePath(QStringLiteral("icon.png")); }

private:
    QDir folder_;
    std::vector<QPixmap> shots_;
};

void sendMouse(QWidget &widget, QEvent::Type type, QPoint point, Qt::MouseButton button)
{
    QMouseEvent event(type, point, widget.mapToGlobal(point), button, button, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

std::unique_ptr<CCustomTabCtrl> strip(int width, int tabs)
{
    auto control = std::make_unique<CCustomTabCtrl>();
    control->resize(width, kStripHeight);
    control->modifyStyle(0, CCustomTabCtrl::kStyleAutoHideButtons);
    for (int index = 0; index < tabs; ++index)
        control->insertTab(index, QString::fromLatin1(kManyTabs[index]), index);
    control->selectTab(0);
    return control;
}

bool saveStrips(Gallery &gallery, const QString &look)
{
    bool ok = gallery.save(QStringLiteral("tabs-wide-") + look, *strip(kWideWidth, 2));
    ok &= gallery.save(QStringLiteral("tabs-narrow-") + look, *strip(kNarrowWidth, std::size(kManyTabs)));
    auto scrolled = strip(kNarrowWidth, std::size(kManyTabs));
    scrolled->selectTab(2);
    ok &= gallery.save(QStringLiteral("tabs-scrolled-") + look, *scrolled);

    // The previous button hot, the next one held down (which also scrolls once).
    auto held = strip(kNarrowWidth, std::size(kManyTabs));
    sendMouse(*held, QEvent::MouseMove, QPoint(2, 2), Qt::NoButton);
    sendMouse(*held, QEvent::MouseButtonPress, QPoint(kStripHeight, kStripHeight / 2), Qt::LeftButton);
    ok &= gallery.save(QStringLiteral("tabs-buttons-") + look, *held);
    return ok;
}

bool writeIcon(const QString &path)
{
    QImage icon(kIconSize, kIconSize, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(0x2e, 0x8b, 0x57));
    painter.setPen(Qt::NoPen);
    painter.drawPolygon(QPolygon({QPoint(3, 2), QPoint(14, 8), QPoint(3, 14)}));
    return icon.save(path);
}

std::unique_ptr<CFramedButton> button(const QString &iconPath)
{
    auto control = std::make_unique<CFramedButton>(QStringLiteral("Start"));
    control->resize(kButtonSize);
    control->setIconResource(iconPath);
    control->offsetColor(CFlatButton::BackgroundActive, kHighlight, true);
    control->setRounded(false, true);
    return control;
}

bool saveButtons(Gallery &gallery)
{
    if (!writeIcon(gallery.iconPath()))
        return false;
    bool ok = gallery.save(QStringLiteral("button-normal"), *button(gallery.iconPath()));

    auto hot = button(gallery.iconPath());
    sendMouse(*hot, QEvent::MouseMove, QPoint(10, 10), Qt::NoButton);
    ok &= gallery.save(QStringLiteral("button-hot"), *hot);

    auto pressed = button(gallery.iconPath());
    pressed->setDown(true);
    ok &= gallery.save(QStringLiteral("button-pressed"), *pressed);

    auto checked = button(gallery.iconPath());
    checked->setText(QStringLiteral("Top"));
    checked->setCheckable(true);
    checked->setChecked(true);
    ok &= gallery.save(QStringLiteral("button-checked"), *checked);

    auto disabled = button(gallery.iconPath());
    disabled->setEnabled(false);
    ok &= gallery.save(QStringLiteral("button-disabled"), *disabled);
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", qPrintable(arguments.value(0)));
        return 2;
    }
    QDir folder(arguments[1]);
    if (!folder.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(arguments[1]));
        return 1;
    }

    Gallery gallery(folder);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    bool ok = saveStrips(gallery, QStringLiteral("themed"));
    ok &= saveButtons(gallery);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Windows")));
    ok &= saveStrips(gallery, QStringLiteral("classic"));
    ok &= gallery.saveSheet();
    return ok ? 0 : 1;
}

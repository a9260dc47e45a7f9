#include "extension_icons.h"

#include "media_classification.h"
#include "resource_ids.h"

namespace tarvolin {

namespace {

// A file named like this stands for every file with the extension.
constexpr char kStandInName[] = "x";

}

const QIcon &ExtensionIcons::iconFor(const std::string &extension)
{
    auto found = icons_.find(extension);
    if (found == icons_.end())
        found = icons_.emplace(extension, lookUp(extension)).first;
    return found->second;
}

QIcon ExtensionIcons::lookUp(const std::string &extension) const
{
    const QString name = QString::fromLatin1(kStandInName) + QString::fromUtf8(extension);
    const QMimeType type = types_.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    QIcon icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull())
        icon = QIcon::fromTheme(type.genericIconName());
    return icon.isNull() ? bundledIcon(type, extension) : icon;
}

QIcon ExtensionIcons::bundledIcon(const QMimeType &type, const std::string &extension)
{
    const QString name = type.name();
    if (name.startsWith(QLatin1String("video/")))
        return QIcon(QString::fromLatin1(resource::kRowIconVideo));
    if (name.startsWith(QLatin1String("audio/")))
        return QIcon(QString::fromLatin1(resource::kRowIconAudio));
    if (type.inherits(QStringLiteral("text/html")) || IsPageExtension(extension))
        return QIcon(QString::fromLatin1(resource::kRowIconPage));
    // Playlists and manifests (.m3u8, .mpd) have text types, yet they stand for a stream.
    if (IsMediaExtension(extension))
        return QIcon(QString::fromLatin1(resource::kRowIconVideo));
    return QIcon(QString::fromLatin1(resource::kRowIconOther));
}

}

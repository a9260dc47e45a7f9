// The icon of a list row, chosen by the row's extension: the desktop theme's
// icon for that file type, or one of our own where the theme has none.
#pragma once

#include <QIcon>
#include <QMimeDatabase>

#include <string>
#include <unordered_map>

namespace tarvolin {

class ExtensionIcons {
public:
    // The extension as a row shows it: ".flv", "." or empty.
    const QIcon &iconFor(const std::string &extension);

private:
    QIcon lookUp(const std::string &extension) const;
    static QIcon bundledIcon(const QMimeType &type, const std::string &extension);

    QMimeDatabase types_;
    std::unordered_map<std::string, QIcon> icons_;
};

}

#include "window_state.h"

#include <sstream>

#include "private_profile.h"

namespace tarvolin {

namespace {

// Qt's geometry record is under a hundred bytes, twice that in hexadecimal.
constexpr uint32_t kValueBufferSize = 1024;
constexpr char kGeometryKey[] = "Geometry";
constexpr char kTabKey[] = "Tab";
constexpr char kMediaColumnsKey[] = "MediaFilesColumns";
constexpr char kAllColumnsKey[] = "AllColumns";

std::string readText(const char *key, const std::string &path)
{
    std::string buffer(kValueBufferSize, '\0');
    buffer.resize(GetPrivateProfileString(kWindowSection, key, "", buffer.data(), kValueBufferSize, path.c_str()));
    return buffer;
}

// Blank-separated widths; a list with anything but positive numbers counts as absent.
std::vector<int> readWidths(const char *key, const std::string &path)
{
    std::istringstream text(readText(key, path));
    std::vector<int> widths;
    int width = 0;
    while (text >> width) {
        if (width <= 0)
            return {};
        widths.push_back(width);
    }
    return text.eof() ? widths : std::vector<int>{};
}

std::string widthsText(const std::vector<int> &widths)
{
    std::string text;
    for (int width : widths)
        text += (text.empty() ? "" : " ") + std::to_string(width);
    return text;
}

bool write(const char *key, const std::string &value, const std::string &path)
{
    return WritePrivateProfileString(kWindowSection, key, value.c_str(), path.c_str()) != 0;
}

}

WindowState LoadWindowState(const std::string &settingsPath)
{
    WindowState state;
    state.geometry = readText(kGeometryKey, settingsPath);
    state.tab = static_cast<int>(GetPrivateProfileInt(kWindowSection, kTabKey, 0, settingsPath.c_str()));
    state.mediaColumns = readWidths(kMediaColumnsKey, settingsPath);
    state.allColumns = readWidths(kAllColumnsKey, settingsPath);
    return state;
}

bool SaveWindowState(const WindowState &state, const std::string &settingsPath)
{
    bool written = write(kGeometryKey, state.geometry, settingsPath);
    written &= write(kTabKey, std::to_string(state.tab), settingsPath);
    written &= write(kMediaColumnsKey, widthsText(state.mediaColumns), settingsPath);
    written &= write(kAllColumnsKey, widthsText(state.allColumns), settingsPath);
    return written;
}

}

// How the main window was arranged when it last closed, kept in a section of
// the settings file of its own so that the options' keys stay as they are.
#pragma once

#include <string>
#include <vector>

namespace tarvolin {

inline constexpr char kWindowSection[] = "Window";

struct WindowState {
    std::string geometry; // the window system's own record, in hexadecimal; empty: never kept
    int tab = 0;
    // Each list's column widths, left to right; empty: the built-in ones.
    std::vector<int> mediaColumns;
    std::vector<int> allColumns;
};

// What the file holds; the defaults above where it holds nothing usable.
WindowState LoadWindowState(const std::string &settingsPath);

// False when any key could not be written.
bool SaveWindowState(const WindowState &state, const std::string &settingsPath);

}

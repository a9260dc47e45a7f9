// tarvolin-cli and the capture library copied side by side into a folder of
// their own, once per test process. The program finds the library beside
// itself, and the library's RTMP dump files land in that folder rather than in
// the build folder that the library's own tests read at the same time.
#pragma once

#include <filesystem>
#include <string>

#include "temporary_directory.h"

inline const std::string &InstalledCli()
{
    static const testing_support::TemporaryDirectory folder;
    static const std::string path = [] {
        std::filesystem::copy_file(TARVOLIN_CLI_PATH, folder.file("tarvolin-cli"));
        std::filesystem::copy_file(QUILLNET_LIBRARY_PATH, folder.file("libquillnet.so"));
        return folder.file("tarvolin-cli");
    }();
    return path;
}

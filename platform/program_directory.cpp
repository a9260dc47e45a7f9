#include "program_directory.h"

#include <filesystem>
#include <system_error>

std::string ProgramDirectory()
{
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return {};
    std::string directory = program.parent_path().string();
    if (!directory.ends_with('/'))
        directory += '/';
    return directory;
}

#include "private_profile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace {

constexpr std::string_view kWhiteSpace = " \t\r\n\v\f";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kNewFileLineEnd = "\n";
constexpr char kCommentMark = ';';
constexpr char kSectionOpen = '[';
constexpr char kSectionClose = ']';
constexpr char kAssignment = '=';
constexpr int kDecimal = 10;
constexpr int kHexadecimal = 16;

struct Line {
    std::string text; // without its line end
    std::string end;  // "\r\n", "\n", or empty on a last line without one
};

struct ProfileFile {
    std::string byteOrderMark;
    std::vector<Line> lines;
};

struct KeyLine {
    std::string_view name;
    std::string_view value;
};

std::string_view trimmed(std::string_view text)
{
    const size_t first = text.find_first_not_of(kWhiteSpace);
    if (first == std::string_view::npos)
        return {};
    const size_t last = text.find_last_not_of(kWhiteSpace);
    return text.substr(first, last - first + 1);
}

bool equalIgnoringCase(std::string_view left, std::string_view right)
{
    return left.size() == right.size() && std::equal(left.begin(), left.end(), right.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

std::string_view unquoted(std::string_view value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

std::optional<std::string_view> sectionName(std::string_view lineText)
{
    const std::string_view text = trimmed(lineText);
    if (text.empty() || text.front() != kSectionOpen)
        return std::nullopt;
    const size_t close = text.find(kSectionClose);
    return trimmed(text.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
}

std::optional<KeyLine> keyLine(std::string_view lineText)
{
    const std::string_view text = trimmed(lineText);
    const size_t assignment = text.find(kAssignment);
    if (text.empty() || text.front() == kCommentMark || assignment == std::string_view::npos)
        return std::nullopt;
    return KeyLine{trimmed(text.substr(0, assignment)), unquoted(trimmed(text.substr(assignment + 1)))};
}

std::optional<ProfileFile> readProfile(const char *fileName)
{
    std::ifstream input(fileName, std::ios::binary);
    if (!input)
        return std::nullopt;
    std::ostringstream content;
    content << input.rdbuf();
    std::string text = content.str();

    ProfileFile file;
    if (text.starts_with(kByteOrderMark)) {
        file.byteOrderMark = kByteOrderMark;
        text.erase(0, kByteOrderMark.size());
    }
    size_t at = 0;
    while (at < text.size()) {
        const size_t newline = text.find('\n', at);
        Line line;
        line.text = text.substr(at, newline == std::string::npos ? std::string::npos : newline - at);
        if (newline != std::string::npos) {
            line.end = "\n";
            if (line.text.ends_with('\r')) {
                line.text.pop_back();
                line.end = "\r\n";
            }
        }
        file.lines.push_back(std::move(line));
        at = newline == std::string::npos ? text.size() : newline + 1;
    }
    return file;
}

// Index of the section's header line, or the number of lines when absent.
size_t findSection(const ProfileFile &file, std::string_view appName)
{
    for (size_t i = 0; i < file.lines.size(); ++i) {
        const auto name = sectionName(file.lines[i].text);
        if (name && equalIgnoringCase(*name, appName))
            return i;
    }
    return file.lines.size();
}

// Index one past the section's last line.
size_t sectionEnd(const ProfileFile &file, size_t header)
{
    size_t i = header + 1;
    while (i < file.lines.size() && !sectionName(file.lines[i].text))
        ++i;
    return i;
}

// Index of the key's line within the section, or `end` when absent.
size_t findKey(const ProfileFile &file, size_t header, size_t end, std::string_view keyName)
{
    for (size_t i = header + 1; i < end; ++i) {
        const auto key = keyLine(file.lines[i].text);
        if (key && equalIgnoringCase(key->name, keyName))
            return i;
    }
    return end;
}

std::optional<std::string> readValue(const char *appName, const char *keyName, const char *fileName)
{
    if (!appName || !keyName || !fileName)
        return std::nullopt;
    const auto file = readProfile(fileName);
    if (!file)
        return std::nullopt;
    const size_t header = findSection(*file, appName);
    if (header == file->lines.size())
        return std::nullopt;
    const size_t end = sectionEnd(*file, header);
    const size_t key = findKey(*file, header, end, keyName);
    if (key == end)
        return std::nullopt;
    return std::string(keyLine(file->lines[key].text)->value);
}

bool breaksLines(std::string_view text)
{
    return text.find_first_of("\r\n") != std::string_view::npos;
}

std::string lineEndOf(const ProfileFile &file)
{
    for (const Line &line : file.lines) {
        if (!line.end.empty())
            return line.end;
    }
    return std::string(kNewFileLineEnd);
}

// A value in quotes of its own (a secret may be one) goes in one more pair,
// which reading takes off again. Blanks at its ends are left as they are:
// lists end in one, and files written before hold them so.
std::string storedValue(std::string_view value)
{
    if (unquoted(value) == value)
        return std::string(value);
    return '"' + std::string(value) + '"';
}

void setKey(ProfileFile &file, std::string_view appName, std::string_view keyName, std::string_view value)
{
    const std::string lineEnd = lineEndOf(file);
    if (!file.lines.empty() && file.lines.back().end.empty())
        file.lines.back().end = lineEnd;
    const std::string assignment = std::string(1, kAssignment) + storedValue(value);

    const size_t header = findSection(file, appName);
    if (header == file.lines.size()) {
        file.lines.push_back({kSectionOpen + std::string(appName) + kSectionClose, lineEnd});
        file.lines.push_back({std::string(keyName) + assignment, lineEnd});
        return;
    }
    const size_t end = sectionEnd(file, header);
    const size_t key = findKey(file, header, end, keyName);
    if (key != end) {
        // Keeps the name as the file spells it.
        file.lines[key].text = std::string(keyLine(file.lines[key].text)->name) + assignment;
        return;
    }
    // After the section's last non-blank line, so blank lines before the next section stay there.
    size_t insertAt = end;
    while (insertAt > header + 1 && trimmed(file.lines[insertAt - 1].text).empty())
        --insertAt;
    file.lines.insert(file.lines.begin() + static_cast<std::ptrdiff_t>(insertAt),
                      Line{std::string(keyName) + assignment, lineEnd});
}

// Writes beside the file and renames over it, so a failed write leaves the old file whole.
// Renaming over a file needs no leave to write it: a file made read-only, to
// keep its settings as they are, stays so. Root may write anything, so for it
// the file's mode alone decides.
bool writable(const std::filesystem::path &path)
{
    struct stat status {};
    if (access(path.c_str(), W_OK) != 0 || stat(path.c_str(), &status) != 0)
        return false;
    return (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

bool writeProfile(const ProfileFile &file, const std::filesystem::path &path)
{
    std::filesystem::path temporary = path;
    temporary += ".tmp";
    {
        std::ofstream output(temporary, std::ios::binary | std::ios::trunc);
        if (!output)
            return false;
        // Before any line goes in, as a file kept to its owner may hold a secret.
        std::error_code error;
        const auto status = std::filesystem::status(path, error);
        if (!error && std::filesystem::exists(status))
            std::filesystem::permissions(temporary, status.permissions(), error);
        output << file.byteOrderMark;
        for (const Line &line : file.lines)
            output << line.text << line.end;
        if (!output.flush())
            return false;
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error)
        std::filesystem::remove(temporary, error);
    return !error;
}

unsigned int parseInteger(std::string_view text)
{
    size_t at = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+'))
        ++at;
    int base = kDecimal;
    if (text.size() > at + 1 && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X')) {
        base = kHexadecimal;
        at += 2;
    }
    uint32_t value = 0; // wraps on overflow, as the Windows call does
    for (; at < text.size(); ++at) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[at])));
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == kHexadecimal && c >= 'a' && c <= 'f')
            digit = c - 'a' + kDecimal;
        if (digit < 0)
            break;
        value = value * static_cast<uint32_t>(base) + static_cast<uint32_t>(digit);
    }
    return negative ? 0u - value : value;
}

}

unsigned int GetPrivateProfileInt(const char *appName, const char *keyName, int defaultValue, const char *fileName)
{
    const auto value = readValue(appName, keyName, fileName);
    if (!value || value->empty())
        return static_cast<unsigned int>(defaultValue);
    return parseInteger(*value);
}

uint32_t GetPrivateProfileString(const char *appName, const char *keyName, const char *defaultValue,
                                 char *returnedString, uint32_t size, const char *fileName)
{
    if (!returnedString || size == 0)
        return 0;
    const auto value = readValue(appName, keyName, fileName);
    const std::string_view text = value ? std::string_view(*value) : std::string_view(defaultValue ? defaultValue : "");
    const size_t copied = std::min<size_t>(text.size(), size - 1);
    std::memcpy(returnedString, text.data(), copied);
    returnedString[copied] = '\0';
    return static_cast<uint32_t>(copied);
}

int WritePrivateProfileString(const char *appName, const char *keyName, const char *string, const char *fileName)
{
    if (!appName || !keyName || !string || !fileName)
        return 0;
    const std::string_view section = trimmed(appName);
    const std::string_view key = trimmed(keyName);
    if (section.empty() || key.empty() || breaksLines(section) || breaksLines(key) || breaksLines(string) ||
        section.find(kSectionClose) != std::string_view::npos || key.find(kAssignment) != std::string_view::npos)
        return 0;

    std::error_code error;
    // The file a link names is the one changed; the link stays.
    std::filesystem::path path = fileName;
    if (std::filesystem::symlink_status(path, error).type() == std::filesystem::file_type::symlink)
        path = std::filesystem::weakly_canonical(path, error);
    if (error && error != std::errc::no_such_file_or_directory)
        return 0;
    const bool exists = std::filesystem::exists(path, error);
    if (error || (exists && !writable(path)))
        return 0;
    std::optional<ProfileFile> file = exists ? readProfile(path.c_str()) : ProfileFile{};
    if (!file)
        return 0;
    setKey(*file, section, key, string);
    return writeProfile(*file, path) ? 1 : 0;
}

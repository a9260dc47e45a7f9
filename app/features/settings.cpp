#include "settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "private_profile.h"
#include "text.h"

namespace tarvolin {

namespace {

constexpr uint32_t kListBufferSize = 512;
// Device names, their descriptions and paths; no width is fixed for them.
constexpr uint32_t kTextBufferSize = 4096;
constexpr char kListSeparator[] = " ";

int32_t readInteger(const char *key, const std::string &path, int32_t fallback = 0)
{
    return static_cast<int32_t>(GetPrivateProfileInt(kSettingsSection, key, fallback, path.c_str()));
}

std::string readText(const char *key, uint32_t bufferSize, const std::string &path)
{
    std::string buffer(bufferSize, '\0');
    const uint32_t length = GetPrivateProfileString(kSettingsSection, key, "", buffer.data(), bufferSize, path.c_str());
    buffer.resize(length);
    return std::string(TrimRight(buffer));
}

// Upper case with one blank after the last item, so an absent list reads as " ".
std::string readList(const char *key, const std::string &path)
{
    return ToUpper(readText(key, kListBufferSize, path) + kListSeparator);
}

std::string orDefault(std::string value, const char *fallback)
{
    return value.empty() ? fallback : value;
}

bool write(const char *key, const std::string &value, const std::string &path)
{
    return WritePrivateProfileString(kSettingsSection, key, value.c_str(), path.c_str()) != 0;
}

// Creates the file when needed; its content is left as it is.
bool keepToOwner(const std::string &path)
{
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (file < 0)
        return false;
    const bool kept = fchmod(file, S_IRUSR | S_IWUSR) == 0;
    close(file);
    return kept;
}

// Whoever reads an aria2 secret can make aria2 fetch anything into any folder.
bool writeSecret(const std::string &secret, const std::string &path)
{
    if (!secret.empty() && !keepToOwner(path))
        return false;
    return write("Aria2RpcSecret", secret, path);
}

}

std::string SettingsPath(const std::string &programDirectory)
{
    return programDirectory + kSettingsFileName;
}

std::string ChooseSettingsPath(const std::string &programDirectory, const std::string &userDirectory)
{
    if (!programDirectory.empty() && access(programDirectory.c_str(), W_OK) == 0)
        return SettingsPath(programDirectory);
    return SettingsPath(userDirectory.ends_with('/') ? userDirectory : userDirectory + '/');
}

int LoadSettings(Settings &settings, const std::string &settingsPath)
{
    std::error_code error;
    if (!std::filesystem::exists(settingsPath, error))
        return 1;
    // Whatever the file holds for NoLimitBufferSize, having a file means no-limit mode.
    settings.NoLimitBufferSize = 1;
    settings.CaptureAllURL = readInteger("CaptureAllURL", settingsPath);
    settings.CaptureFilesExt = readList("CaptureFilesExt", settingsPath);
    settings.AutoDownload = readInteger("AutoDownload", settingsPath);
    settings.DownloadAutoFilesList = readList("DownloadAutoFilesList", settingsPath);
    settings.MediaFilesList = readList("MediaFilesList", settingsPath);
    settings.AdapterDescription = readText("AdapterDescription", kTextBufferSize, settingsPath);
    settings.Adapter = readText("Adapter", kTextBufferSize, settingsPath);
    settings.KeyLogFile = readText("KeyLogFile", kTextBufferSize, settingsPath);
    settings.HandOffTo = orDefault(readText("HandOffTo", kTextBufferSize, settingsPath), kHandOffToMarrowfetch);
    settings.Aria2RpcUrl = orDefault(readText("Aria2RpcUrl", kTextBufferSize, settingsPath), kDefaultAria2RpcUrl);
    settings.Aria2RpcSecret = readText("Aria2RpcSecret", kTextBufferSize, settingsPath);
    settings.Aria2Dir = readText("Aria2Dir", kTextBufferSize, settingsPath);
    // Switches that are on unless the file turns them off.
    settings.CheckForUpdates = readInteger("CheckForUpdates", settingsPath, 1);
    settings.ConfirmClear = readInteger("ConfirmClear", settingsPath, 1);
    return 1;
}

bool HandsOffToAria2(const Settings &settings)
{
    return EqualIgnoringCase(settings.HandOffTo, kHandOffToAria2);
}

std::string EffectiveKeyLogFile(const std::string &chosen)
{
    if (!chosen.empty())
        return chosen;
    const char *environment = std::getenv(kKeyLogEnvironment);
    return environment ? environment : "";
}

bool SaveSettings(const Settings &settings, const std::string &settingsPath)
{
    // Every key is attempted even after a failure, so one bad value loses no others.
    bool written = write("NoLimitBufferSize", std::to_string(settings.NoLimitBufferSize), settingsPath);
    written &= write("CaptureAllURL", std::to_string(settings.CaptureAllURL), settingsPath);
    written &= write("CaptureFilesExt", settings.CaptureFilesExt, settingsPath);
    written &= write("AdapterDescription", settings.AdapterDescription, settingsPath);
    written &= write("Adapter", settings.Adapter, settingsPath);
    written &= write("AutoDownload", std::to_string(settings.AutoDownload), settingsPath);
    written &= write("DownloadAutoFilesList", settings.DownloadAutoFilesList, settingsPath);
    written &= write("MediaFilesList", settings.MediaFilesList, settingsPath);
    written &= write("KeyLogFile", settings.KeyLogFile, settingsPath);
    written &= write("HandOffTo", settings.HandOffTo, settingsPath);
    written &= write("Aria2RpcUrl", settings.Aria2RpcUrl, settingsPath);
    written &= writeSecret(settings.Aria2RpcSecret, settingsPath);
    written &= write("Aria2Dir", settings.Aria2Dir, settingsPath);
    written &= write("CheckForUpdates", std::to_string(settings.CheckForUpdates), settingsPath);
    written &= write("ConfirmClear", std::to_string(settings.ConfirmClear), settingsPath);
    return written;
}

}

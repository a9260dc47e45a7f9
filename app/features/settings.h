// The program's options and their ini file beside the program.
#pragma once

#include <cstdint>
#include <string>

namespace tarvolin {

inline constexpr char kSettingsFileName[] = "setting.ini";
inline constexpr char kSettingsSection[] = "Normal";
// Where browsers write their TLS keys when it is set.
inline constexpr char kKeyLogEnvironment[] = "SSLKEYLOGFILE";
// The download managers that media URLs are handed to.
inline constexpr char kHandOffToMarrowfetch[] = "Marrowfetch";
inline constexpr char kHandOffToAria2[] = "aria2";
inline constexpr char kDefaultAria2RpcUrl[] = "http://127.0.0.1:6800/jsonrpc";

// Field names are the file's key names.
struct Settings {
    int32_t NoLimitBufferSize = 0; // 1: no-limit mode of the URL lists; 0: limited-buffer mode
    int32_t CaptureAllURL = 0;
    std::string CaptureFilesExt; // list texts: upper case, one trailing blank
    int32_t AutoDownload = 0;    // non-zero: every new media URL is handed off at once
    std::string DownloadAutoFilesList;
    std::string MediaFilesList;
    std::string AdapterDescription;
    std::string Adapter; // pcap device name; empty until an adapter is chosen
    std::string KeyLogFile; // TLS key log that decrypts HTTPS; empty: SSLKEYLOGFILE's, if set
    std::string HandOffTo = kHandOffToMarrowfetch; // or kHandOffToAria2
    std::string Aria2RpcUrl = kDefaultAria2RpcUrl;
    std::string Aria2RpcSecret; // lets whoever holds it drive aria2: never logged nor shown
    std::string Aria2Dir;       // where aria2 saves; empty: its own choice
    int32_t CheckForUpdates = 1; // 0: no update check at start; absent from the file: 1
    int32_t ConfirmClear = 1;    // 0: Clear empties the lists without asking; absent: 1
    int32_t adapterNetmask = 0; // not stored in the file
};

// Whether media URLs go to aria2 rather than to Marrowfetch.
bool HandsOffToAria2(const Settings &settings);

// `programDirectory` (ending in a separator) followed by "setting.ini".
std::string SettingsPath(const std::string &programDirectory);

// The settings file beside the program where that folder can be written; in
// `userDirectory` (an installed copy's per-user folder) where it cannot.
std::string ChooseSettingsPath(const std::string &programDirectory, const std::string &userDirectory);

// Reads every key when the file exists, and then sets NoLimitBufferSize to 1
// whatever the file holds; without the file every field keeps its value.
// Always 1.
int LoadSettings(Settings &settings, const std::string &settingsPath);

// `chosen` when it is not empty, else the SSLKEYLOGFILE environment variable;
// empty for no key log file.
std::string EffectiveKeyLogFile(const std::string &chosen);

// Writes every key into section "Normal", creating the file when needed; a
// file that holds an aria2 secret is made readable by its owner alone first.
// False when any key could not be written.
bool SaveSettings(const Settings &settings, const std::string &settingsPath);

}

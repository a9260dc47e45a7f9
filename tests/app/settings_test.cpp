#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>

#include "private_profile.h"
#include "settings.h"
#include "temporary_directory.h"

using namespace tarvolin;
using namespace testing_support;

namespace {

class SettingsFile : public ::testing::Test {
protected:
    TemporaryDirectory directory;
    std::string path = SettingsPath(directory.path().string() + "/");
};

TEST_F(SettingsFile, FirstStartWithoutAFileKeepsDefaultsAndSavesLimitedMode)
{
    Settings settings;
    EXPECT_EQ(LoadSettings(settings, path), 1);
    EXPECT_EQ(settings.NoLimitBufferSize, 0);
    EXPECT_EQ(settings.AutoDownload, 0);
    EXPECT_EQ(settings.Adapter, "");
    EXPECT_EQ(settings.CaptureFilesExt, "") << "no file: not even the list's blank";

    ASSERT_TRUE(SaveSettings(settings, path));
    EXPECT_EQ(ReadWholeFile(path), "[Normal]\nNoLimitBufferSize=0\nCaptureAllURL=0\nCaptureFilesExt=\n"
                                   "AdapterDescription=\nAdapter=\nAutoDownload=0\nDownloadAutoFilesList=\n"
                                   "MediaFilesList=\nKeyLogFile=\nHandOffTo=Marrowfetch\n"
                                   "Aria2RpcUrl=http://127.0.0.1:6800/jsonrpc\nAria2RpcSecret=\nAria2Dir=\n"
                                   "CheckForUpdates=1\nConfirmClear=1\n");
}

TEST_F(SettingsFile, AnyFileMeansNoLimitMode)
{
    WriteWholeFile(path, "[Normal]\nNoLimitBufferSize=0\nCheckForUpdates=0\nConfirmClear=0\n");
    Settings settings;
    LoadSettings(settings, path);
    EXPECT_EQ(settings.NoLimitBufferSize, 1);
    EXPECT_EQ(settings.CheckForUpdates, 0);
    EXPECT_EQ(settings.ConfirmClear, 0);
    WriteWholeFile(path, "");
    Settings empty;
    LoadSettings(empty, path);
    EXPECT_EQ(empty.NoLimitBufferSize, 1);
    EXPECT_EQ(empty.CheckForUpdates, 1) << "absent switches are on";
    EXPECT_EQ(empty.ConfirmClear, 1);
    EXPECT_EQ(empty.MediaFilesList, " ") << "absent list keys read as one blank";
}

TEST_F(SettingsFile, ReadsAWindowsFileAndWritesItBackKeepingTheRest)
{
    WriteWholeFile(path, "[Window]\r\nLeft=10\r\n\r\n[Normal]\r\nAdapter=\\Device\\NPF_{ABC}   \r\n"
                         "AdapterDescription=Intel(R) PRO/1000 \r\nAutoDownload=1\r\nCaptureAllURL=7\r\n"
                         "CaptureFilesExt=flv  mp4   \r\nDownloadAutoFilesList=\r\nMediaFilesList=\"wmv \"\r\n"
                         "Unknown=kept\r\n");
    Settings settings;
    LoadSettings(settings, path);
    EXPECT_EQ(settings.Adapter, "\\Device\\NPF_{ABC}");
    EXPECT_EQ(settings.AdapterDescription, "Intel(R) PRO/1000");
    EXPECT_EQ(settings.AutoDownload, 1);
    EXPECT_EQ(settings.CaptureAllURL, 7);
    EXPECT_EQ(settings.CaptureFilesExt, "FLV  MP4 ") << "trimmed, one blank appended, upper case";
    EXPECT_EQ(settings.DownloadAutoFilesList, " ");
    EXPECT_EQ(settings.MediaFilesList, "WMV ") << "quotes dropped, then the same rule";

    ASSERT_TRUE(SaveSettings(settings, path));
    EXPECT_EQ(ReadWholeFile(path), "[Window]\r\nLeft=10\r\n\r\n[Normal]\r\nAdapter=\\Device\\NPF_{ABC}\r\n"
                                   "AdapterDescription=Intel(R) PRO/1000\r\nAutoDownload=1\r\nCaptureAllURL=7\r\n"
                                   "CaptureFilesExt=FLV  MP4 \r\nDownloadAutoFilesList= \r\nMediaFilesList=WMV \r\n"
                                   "Unknown=kept\r\nNoLimitBufferSize=1\r\nKeyLogFile=\r\nHandOffTo=Marrowfetch\r\n"
                                   "Aria2RpcUrl=http://127.0.0.1:6800/jsonrpc\r\nAria2RpcSecret=\r\nAria2Dir=\r\n"
                                   "CheckForUpdates=1\r\nConfirmClear=1\r\n");

    Settings again;
    LoadSettings(again, path);
    EXPECT_EQ(again.CaptureFilesExt, settings.CaptureFilesExt) << "the held form survives a round trip unchanged";
    EXPECT_EQ(again.DownloadAutoFilesList, " ");
    EXPECT_EQ(again.Adapter, settings.Adapter);
}

TEST_F(SettingsFile, TheKeyLogFileIsKeptAndAnEmptyOneMeansTheEnvironments)
{
    Settings settings;
    settings.KeyLogFile = "/home/user/tls keys/" + std::string(600, 'k') + ".log";
    ASSERT_TRUE(SaveSettings(settings, path));
    Settings loaded;
    LoadSettings(loaded, path);
    EXPECT_EQ(loaded.KeyLogFile, settings.KeyLogFile) << "blanks and long paths survive";

    const char *saved = std::getenv(kKeyLogEnvironment);
    const std::string before = saved ? saved : "";
    setenv(kKeyLogEnvironment, "/tmp/browser-keys.log", 1);
    EXPECT_EQ(EffectiveKeyLogFile(loaded.KeyLogFile), settings.KeyLogFile);
    EXPECT_EQ(EffectiveKeyLogFile(""), "/tmp/browser-keys.log");
    unsetenv(kKeyLogEnvironment);
    EXPECT_EQ(EffectiveKeyLogFile(""), "");
    if (saved)
        setenv(kKeyLogEnvironment, before.c_str(), 1);
}

TEST_F(SettingsFile, TheAria2TargetIsKeptAndItsSecretOnlyInAFileOfTheOwnersAlone)
{
    WriteWholeFile(path, "[Normal]\nHandOffTo=ARIA2\nAria2RpcUrl=\n");
    chmod(path.c_str(), 0644);
    Settings settings;
    LoadSettings(settings, path);
    EXPECT_TRUE(HandsOffToAria2(settings));
    EXPECT_EQ(settings.Aria2RpcUrl, kDefaultAria2RpcUrl) << "an empty URL means aria2's usual one";

    settings.Aria2RpcUrl = "http://192.0.2.1:6801/jsonrpc";
    settings.Aria2Dir = "/home/user/Videos";
    ASSERT_TRUE(SaveSettings(settings, path));
    struct stat status {};
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0644u) << "without a secret the file stays as it was";

    settings.Aria2RpcSecret = "s3cret";
    ASSERT_TRUE(SaveSettings(settings, path));
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    Settings loaded;
    LoadSettings(loaded, path);
    EXPECT_TRUE(HandsOffToAria2(loaded));
    EXPECT_EQ(loaded.Aria2RpcUrl, settings.Aria2RpcUrl);
    EXPECT_EQ(loaded.Aria2RpcSecret, "s3cret");
    EXPECT_EQ(loaded.Aria2Dir, settings.Aria2Dir);
}

TEST_F(SettingsFile, ListTextsAreReadIntoFiveHundredTwelveBytes)
{
    WriteWholeFile(path, "[Normal]\nMediaFilesList=" + std::string(600, 'a') + "\nAdapter=" + std::string(600, 'b') + "\n");
    Settings settings;
    LoadSettings(settings, path);
    EXPECT_EQ(settings.MediaFilesList, std::string(511, 'A') + " ");
    EXPECT_EQ(settings.Adapter, std::string(600, 'b')) << "device names are not cut";
}

TEST_F(SettingsFile, SaveReportsAFailureButWritesTheOtherKeys)
{
    Settings settings;
    settings.Adapter = "bad\nname";
    settings.AdapterDescription = "fine";
    EXPECT_FALSE(SaveSettings(settings, path));
    Settings loaded;
    LoadSettings(loaded, path);
    EXPECT_EQ(loaded.AdapterDescription, "fine");
    EXPECT_EQ(loaded.Adapter, "");
    EXPECT_FALSE(SaveSettings(settings, directory.file("missing/setting.ini")));
}

}

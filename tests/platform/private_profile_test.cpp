#include <gtest/gtest.h>

#include <sys/stat.h>

#include "private_profile.h"
#include "temporary_directory.h"

using namespace testing_support;

namespace {

class PrivateProfile : public ::testing::Test {
protected:
    std::string read(const char *section, const char *key, const char *defaultValue = "default", uint32_t size = 256)
    {
        std::string buffer(size, '\x7F');
        const uint32_t length = GetPrivateProfileString(section, key, defaultValue, buffer.data(), size, path.c_str());
        EXPECT_EQ(buffer[length], '\0');
        return buffer.substr(0, length);
    }

    unsigned int number(const char *key, int defaultValue = -7)
    {
        return GetPrivateProfileInt("Numbers", key, defaultValue, path.c_str());
    }

    TemporaryDirectory directory;
    std::string path = directory.file("setting.ini");
};

TEST_F(PrivateProfile, ReadsAFileAsWindowsWritesIt)
{
    WriteWholeFile(path, "; written by hand\r\n[Other]\r\nAdapter=wrong\r\n\r\n[normal]\r\n  adapter  =  \\Device\\NPF_{1}  \r\n"
                         "Quoted=\" padded \"\r\nSingle='x'\r\nHalf=\"x\r\nEmpty=\r\n;Commented=1\r\nNoValue\r\n"
                         "Adapter=second\r\n[Later]\r\n");
    EXPECT_EQ(read("Normal", "Adapter"), "\\Device\\NPF_{1}") << "names without case, first key wins, blanks trimmed";
    EXPECT_EQ(read("NORMAL", "quoted"), " padded ") << "one pair of quotes dropped, the blanks inside kept";
    EXPECT_EQ(read("Normal", "Single"), "x");
    EXPECT_EQ(read("Normal", "Half"), "\"x");
    EXPECT_EQ(read("Normal", "Empty"), "");
    EXPECT_EQ(read("Normal", "Commented"), "default");
    EXPECT_EQ(read("Normal", "NoValue"), "default");
    EXPECT_EQ(read("Other", "Adapter"), "wrong");
    EXPECT_EQ(read("Later", "Adapter"), "default");
    EXPECT_EQ(read("Missing", "Adapter"), "default");
}

TEST_F(PrivateProfile, AbsentFileOrNullNamesGiveTheDefault)
{
    EXPECT_EQ(read("Normal", "Adapter"), "default");
    EXPECT_EQ(read("Normal", "Adapter", nullptr), "");
    EXPECT_EQ(number("Value"), static_cast<unsigned int>(-7));
    WriteWholeFile(path, "[Normal]\nAdapter=x\n");
    EXPECT_EQ(read(nullptr, "Adapter"), "default");
    EXPECT_EQ(read("Normal", nullptr), "default");
}

TEST_F(PrivateProfile, LongValuesAreCutToTheBuffer)
{
    WriteWholeFile(path, "[Normal]\nList=abcdefgh\n");
    EXPECT_EQ(read("Normal", "List", "", 4), "abc");
    EXPECT_EQ(read("Normal", "List", "", 1), "");
    char untouched = 'z';
    EXPECT_EQ(GetPrivateProfileString("Normal", "List", "", &untouched, 0, path.c_str()), 0u);
    EXPECT_EQ(untouched, 'z');
}

TEST_F(PrivateProfile, IntegersReadTheLeadingNumber)
{
    WriteWholeFile(path, "[Numbers]\nPlain=42\nSigned=-3\nPlus=+5\nHex=0x1F\nTail=12abc\nWord=abc\nEmpty=\nQuoted=\"7\"\n"
                         "Wrapped=4294967297\n");
    EXPECT_EQ(number("Plain"), 42u);
    EXPECT_EQ(static_cast<int>(number("Signed")), -3);
    EXPECT_EQ(number("Plus"), 5u);
    EXPECT_EQ(number("Hex"), 31u);
    EXPECT_EQ(number("Tail"), 12u);
    EXPECT_EQ(number("Word"), 0u);
    EXPECT_EQ(number("Empty"), static_cast<unsigned int>(-7)) << "an empty value reads as absent";
    EXPECT_EQ(number("Quoted"), 7u);
    EXPECT_EQ(number("Wrapped"), 1u);
    EXPECT_EQ(number("Absent"), static_cast<unsigned int>(-7));
}

TEST_F(PrivateProfile, WriteCreatesTheFileAndTheSection)
{
    ASSERT_NE(WritePrivateProfileString("Normal", "Adapter", "eth0", path.c_str()), 0);
    ASSERT_NE(WritePrivateProfileString("Normal", "AutoDownload", "1", path.c_str()), 0);
    ASSERT_NE(WritePrivateProfileString("Extra", "Key", "v", path.c_str()), 0);
    EXPECT_EQ(ReadWholeFile(path), "[Normal]\nAdapter=eth0\nAutoDownload=1\n[Extra]\nKey=v\n");
    EXPECT_EQ(read("Normal", "Adapter"), "eth0");
}

TEST_F(PrivateProfile, WriteReplacesInPlaceAndKeepsEverythingElse)
{
    const std::string before = "\xEF\xBB\xBF; settings\r\n[Normal]\r\nAdapter = old\r\n; keep me\r\nAutoDownload=0\r\n"
                               "\r\n[Other]\r\nAdapter=other\r\nStray line\r\n";
    WriteWholeFile(path, before);
    ASSERT_NE(WritePrivateProfileString("NORMAL", "adapter", "new value", path.c_str()), 0);
    ASSERT_NE(WritePrivateProfileString("Normal", "MediaFilesList", "FLV ", path.c_str()), 0);
    ASSERT_NE(WritePrivateProfileString("Other", "Added", "1", path.c_str()), 0);
    EXPECT_EQ(ReadWholeFile(path), "\xEF\xBB\xBF; settings\r\n[Normal]\r\nAdapter=new value\r\n; keep me\r\n"
                                   "AutoDownload=0\r\nMediaFilesList=FLV \r\n\r\n[Other]\r\nAdapter=other\r\n"
                                   "Stray line\r\nAdded=1\r\n");
    EXPECT_EQ(read("Normal", "Adapter"), "new value");
    EXPECT_EQ(read("Other", "Adapter"), "other");
}

TEST_F(PrivateProfile, WriteEndsAnUnfinishedLastLineFirst)
{
    WriteWholeFile(path, "[Normal]\r\nA=1");
    ASSERT_NE(WritePrivateProfileString("Normal", "B", "2", path.c_str()), 0);
    EXPECT_EQ(ReadWholeFile(path), "[Normal]\r\nA=1\r\nB=2\r\n");
}

TEST_F(PrivateProfile, WriteRefusesWhatWouldBreakTheFile)
{
    WriteWholeFile(path, "[Normal]\nA=1\n");
    EXPECT_EQ(WritePrivateProfileString("Normal", "A", "two\nB=3", path.c_str()), 0);
    EXPECT_EQ(WritePrivateProfileString("Normal", "A=B", "1", path.c_str()), 0);
    EXPECT_EQ(WritePrivateProfileString("Nor]mal", "A", "1", path.c_str()), 0);
    EXPECT_EQ(WritePrivateProfileString("Normal", "", "1", path.c_str()), 0);
    EXPECT_EQ(WritePrivateProfileString("Normal", "A", nullptr, path.c_str()), 0);
    EXPECT_EQ(ReadWholeFile(path), "[Normal]\nA=1\n");
}

TEST_F(PrivateProfile, FailedWriteIsReportedAndRewritesKeepTheMode)
{
    EXPECT_EQ(WritePrivateProfileString("Normal", "A", "1", directory.file("missing/setting.ini").c_str()), 0);
    WriteWholeFile(path, "[Normal]\nA=1\n");
    chmod(path.c_str(), 0640);
    ASSERT_NE(WritePrivateProfileString("Normal", "A", "2", path.c_str()), 0);
    struct stat status {};
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640u);
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

TEST_F(PrivateProfile, WritesThroughALinkLeaveAReadOnlyFileAndValuesComeBackAsWritten)
{
    for (const char *value : {"\"secret\"", "'x'", "\" padded \"", "\"half", "plain"}) {
        ASSERT_NE(WritePrivateProfileString("Normal", "Value", value, path.c_str()), 0);
        EXPECT_EQ(read("Normal", "Value"), value);
    }

    const std::string linked = directory.file("linked.ini");
    WriteWholeFile(linked, "[Normal]\nA=1\n");
    std::filesystem::remove(path);
    std::filesystem::create_symlink(linked, path);
    ASSERT_NE(WritePrivateProfileString("Normal", "A", "2", path.c_str()), 0);
    EXPECT_TRUE(std::filesystem::is_symlink(path));
    EXPECT_EQ(ReadWholeFile(linked), "[Normal]\nA=2\n");

    chmod(linked.c_str(), 0444);
    EXPECT_EQ(WritePrivateProfileString("Normal", "A", "3", path.c_str()), 0);
    EXPECT_EQ(ReadWholeFile(linked), "[Normal]\nA=2\n");
}

}

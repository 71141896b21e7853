// Creating folder paths through the current directory, against Wine's real file system.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <stdlib.h>

#include <algorithm>
#include <string>

#include "system/folder_path.h"
#include "tests/support/test_support.h"

TEST(NormalizeSeparators, OnlyRealSeparatorsBecomeSlashes)
{
    static const struct { const char *input, *normalized; } cases[] = {
        {"\\\\server\\share\\a/b", "//server/share/a/b"}, {"C:\\表\\示", "C:/表/示"},  // 表 is 95 5C
        // Lead bytes are the fixed ranges 80-9F and E0-FF, whatever the code page.
        {"\x80\\\x9F\\\xE0\\\xFF\\\\", "\x80\\\x9F\\\xE0\\\xFF\\/"},
        {"\x7F\\\xA0\\\xDF\\", "\x7F/\xA0/\xDF/"},
    };
    for (const auto &c : cases) {
        char buffer[64];
        NormalizeSeparators(lstrcpyA(buffer, c.input));
        EXPECT_STREQ(c.normalized, buffer) << c.input;
    }
    char buffer[] = "a\\\x81\0\\";  // a lead byte right before the terminator takes nothing after it
    NormalizeSeparators(buffer);
    EXPECT_EQ(std::string("a/\x81\0\\", 5), std::string(buffer, 5));
}

class CreateFolderPathTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        SetCurrentDirectoryA(startDirectory.c_str());
        RemoveTree(scratch);
    }
    std::string startDirectory = CurrentDirectory(), scratch = MakeScratchFolder("folder");
};

TEST_F(CreateFolderPathTest, CreatesWhatIsMissingAndEndsInTheLastFolderEntered)
{
    ASSERT_EQ(932u, GetACP()) << "表 is a code page 932 character";
    ASSERT_EQ(':', scratch[1]) << scratch;
    WriteFileBytes(scratch + "\\blocker", "a file");
    // Doubled separators keep the folder short while the text reaches the limit.
    std::string fits = scratch + std::string(258 - scratch.size(), '\\') + "x";
    std::string tooLong = scratch + std::string(259 - scratch.size(), '\\') + "y";
    ASSERT_EQ(260u, tooLong.size());
    const struct {
        std::string path;
        int result;
        const char *lastFolder;  // below scratch: the current directory afterwards
    } cases[] = {
        {scratch, 1, ""}, {scratch + "\\a\\b\\c", 1, "\\a\\b\\c"}, {scratch + "\\a\\b2", 1, "\\a\\b2"},
        {scratch + "\\new\\", 1, "\\new"}, {scratch + "\\new2\\\\x", 1, "\\new2\\x"}, {scratch + "/s1//s2", 1, "\\s1\\s2"},
        {scratch + "\\表示\\表", 1, "\\表示\\表"},  // trail byte 5C, also before a separator
        {"r1\\r2", 1, "\\r1\\r2"}, {scratch.substr(2) + "\\top\\in", 1, "\\top\\in"},  // relative, from the drive's root
        {fits, 1, "\\x"}, {scratch + "\\blocker\\z", 0, ""},
        {scratch + "\\m1\\m2\\bad|name\\z", 0, "\\m1\\m2"},  // earlier folders stay
        {tooLong, 0, ""}, {"", 0, ""}, {"\\\\server\\", 0, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        ASSERT_TRUE(SetCurrentDirectoryA(scratch.c_str()));
        EXPECT_EQ(c.result, CreateFolderPath(c.path.c_str()));
        EXPECT_EQ(scratch + c.lastFolder, CurrentDirectory());
    }
    EXPECT_TRUE(FolderExists(scratch + "\\a\\b\\c"));
    EXPECT_EQ(10, CountFolderEntries(scratch)) << "a new new2 s1 表示 r1 top x blocker m1";
    EXPECT_EQ(1, CountFolderEntries(scratch + "\\表示")) << "split at the trail byte";
    std::wstring wide(scratch.begin(), scratch.end());  // the scratch path is ASCII
    wide += L"\\\u8868\u793A\\\u8868";
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(wide.c_str())) << "not so in UTF-16";
}

// Wine serves \\host\share from the prefix's dosdevices\unc\host\share folder.
TEST_F(CreateFolderPathTest, NetworkShareIsEnteredWholeNeverCreated)
{
    const char *prefix = getenv("WINEPREFIX");
    if (!prefix || prefix[0] != '/')
        GTEST_SKIP() << "needs Wine's prefix to serve a network share";
    std::string unc = std::string("Z:") + prefix + "/dosdevices/unc", host = "vemlahost" + std::to_string(GetCurrentProcessId());
    std::replace(unc.begin(), unc.end(), '/', '\\');
    ASSERT_EQ(ERROR_SUCCESS, SHCreateDirectoryExA(NULL, (unc + "\\" + host + "\\share").c_str(), NULL));

    EXPECT_EQ(1, CreateFolderPath(("\\\\" + host + "\\share\\x\\\\y\\").c_str()));
    EXPECT_EQ("\\\\" + host + "\\share\\x\\y", CurrentDirectory());
    ASSERT_TRUE(SetCurrentDirectoryA(scratch.c_str()));
    EXPECT_EQ(0, CreateFolderPath(("\\\\" + host + "\\other\\x").c_str()));
    EXPECT_FALSE(FolderExists(unc + "\\" + host + "\\other")) << "a share was created";
    EXPECT_EQ(scratch, CurrentDirectory());
    RemoveTree(unc + "\\" + host);
    RemoveDirectoryA(unc.c_str());  // only when no other share is left in it
}

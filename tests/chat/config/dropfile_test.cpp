// Door dropfiles: detection order, both layouts, and the nick they yield.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "chat/config/dropfile.h"
#include "tests/chat/config/scratch_dir.h"

namespace {

// A dropfile text of n lines, line i being "L<i>" unless overridden.
std::string lines(int n, const std::vector<std::pair<int, std::string>> &set = {})
{
    std::string text;
    for (int i = 1; i <= n; ++i) {
        std::string value = "L" + std::to_string(i);
        for (const auto &[at, v] : set) {
            if (at == i) {
                value = v;
            }
        }
        text += value + "\r\n";
    }
    return text;
}

class Dropfile : public ::testing::Test {
protected:
    Dropfile()
    {
        std::snprintf(settings_.label, sizeof settings_.label, "%s", "First entry");
    }

    scratch_dir dir_;
    dropfile_info info_{};
    server_entry settings_{};
    char found_[PATH_MAX] = {};
};

struct detect_case {
    std::vector<const char *> present;
    const char *explicit_path;
    const char *expected;   // nullptr = nothing found
};

class DropfileDetect : public Dropfile, public ::testing::WithParamInterface<detect_case> {};

TEST_P(DropfileDetect, FindsTheRightFile)
{
    const detect_case &c = GetParam();
    for (const char *name : c.present) {
        dir_.write(name, lines(11));
    }
    const int found = dropfile_detect(c.explicit_path, found_, sizeof found_);
    if (c.expected == nullptr) {
        EXPECT_EQ(found, 0);
    } else {
        EXPECT_EQ(found, 1);
        EXPECT_STREQ(found_, c.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Order, DropfileDetect,
    ::testing::Values(detect_case{{"DOOR.SYS", "DOOR32.SYS"}, nullptr, "DOOR32.SYS"},
                      detect_case{{"door.sys"}, nullptr, "door.sys"},
                      detect_case{{"door32.sys", "DOOR.SYS"}, nullptr, "door32.sys"},
                      detect_case{{"DOOR.SYS"}, "missing/DOOR32.SYS", "DOOR.SYS"},
                      detect_case{{"DOOR.SYS", "bbs/node1/door32.sys"}, "bbs/node1/door32.sys", "bbs/node1/door32.sys"},
                      detect_case{{}, "", nullptr}));

// Neither is ever opened in a way that waits, nor read without end.
TEST_F(Dropfile, AFifoOrADeviceIsNoDropfile)
{
    ASSERT_EQ(mkfifo("DOOR32.SYS", 0600), 0);
    ASSERT_EQ(mkfifo("other.sys", 0600), 0);
    dir_.write("DOOR.SYS", lines(52, {{10, "Ann Other"}}));
    for (const char *given : {"/dev/zero", "other.sys", static_cast<const char *>(nullptr)}) {
        EXPECT_EQ(dropfile_detect(given, found_, sizeof found_), 1);
        EXPECT_STREQ(found_, "DOOR.SYS");
    }
    for (const char *path : {"/dev/zero", "DOOR32.SYS", "other.sys"}) {
        EXPECT_EQ(dropfile_load(path, &info_, &settings_), -1) << path;
    }
    EXPECT_STREQ(settings_.label, "First entry");
}

TEST_F(Dropfile, OnlyTheStartOfAnEndlessFileIsRead)
{
    // Lines 2 to 11 lie beyond what is read, so the file has too few lines.
    const std::string path = dir_.write("DOOR32.SYS", std::string(1 << 20, 'x') + "\n" + lines(10));
    EXPECT_EQ(dropfile_load(path.c_str(), &info_, &settings_), -1);
    EXPECT_STREQ(settings_.label, "First entry");
}

TEST_F(Dropfile, LongPathsAreUsedWholeOrRefused)
{
    // Deeper than any 260-byte buffer holds.
    const std::string deep = std::string(100, 'a') + "/" + std::string(100, 'b') + "/" + std::string(100, 'c');
    const std::string path = dir_.write(deep + "/DOOR32.SYS", lines(11, {{6, "Ann Lee"}}));
    ASSERT_GT(path.size(), 300u);
    ASSERT_EQ(dropfile_detect(path.c_str(), found_, sizeof found_), 1);
    EXPECT_EQ(std::string(found_), path);
    ASSERT_EQ(dropfile_load(found_, &info_, &settings_), 0);
    EXPECT_STREQ(settings_.nick, "Ann_Lee");

    // A path that does not fit is refused, not cut to one that might exist.
    dir_.write("DOOR.SYS", lines(11));
    char small[64] = {};
    EXPECT_EQ(dropfile_detect(path.c_str(), small, sizeof small), -1);
    EXPECT_STREQ(small, "");
}

TEST_F(Dropfile, ExplicitLowerCaseDoor32IsReadAsDoor32)
{
    const std::string path = dir_.write("node1/door32.sys", lines(11, {{1, "2"}, {6, "Ann Lee"}}));
    ASSERT_EQ(dropfile_load(path.c_str(), &info_, &settings_), 0);
    EXPECT_STREQ(info_.kind, "DOOR32");
    EXPECT_EQ(info_.comm_type, 2);
    EXPECT_STREQ(info_.user_name, "Ann Lee");
    EXPECT_STREQ(settings_.nick, "Ann_Lee");
}

TEST_F(Dropfile, Door32SocketHandleIsANumberOrNone)
{
    const std::vector<std::pair<std::string, int>> cases = {
        {"7", 7}, {"0", 0}, {"-1", -1}, {"", -1}, {"socket", -1}, {"12x", -1}, {"99999999999", -1},
    };
    for (const auto &[line, handle] : cases) {
        const std::string path = dir_.write("DOOR32.SYS", lines(11, {{1, "2"}, {2, line}}));
        ASSERT_EQ(load_door32(path.c_str(), &info_, &settings_), 0);
        EXPECT_EQ(info_.comm_handle, handle) << "line 2: " << line;
    }
}

TEST_F(Dropfile, Door32GivesADoorSession)
{
    const std::string path = dir_.write("DOOR32.SYS", lines(11, {{6, "John Smith"}}));
    ASSERT_EQ(load_door32(path.c_str(), &info_, &settings_), 0);
    EXPECT_EQ(info_.valid, 1);
    EXPECT_STREQ(info_.real_name, "John Smith");
    EXPECT_STREQ(settings_.label, "BBS Door Session");
    EXPECT_STREQ(settings_.server, PUBLIC_IRC_HOST);
    EXPECT_EQ(settings_.port, 6667);
    EXPECT_STREQ(settings_.nick, "John_Smith");
    EXPECT_STREQ(settings_.channel, "##chat");
    EXPECT_EQ(settings_.tls, 0);
    EXPECT_STREQ(settings_.password, "");
}

TEST_F(Dropfile, Door32OfFiveLinesOrEmptyNameUsesBBSUser)
{
    const std::string five = dir_.write("a/DOOR32.SYS", lines(5));
    ASSERT_EQ(load_door32(five.c_str(), &info_, &settings_), 0);
    EXPECT_STREQ(info_.user_name, "BBSUser");
    EXPECT_STREQ(settings_.nick, "BBSUser");

    const std::string empty6 = dir_.write("b/DOOR32.SYS", lines(11, {{6, "   "}}));
    ASSERT_EQ(load_door32(empty6.c_str(), &info_, &settings_), 0);
    EXPECT_STREQ(info_.real_name, "");
    EXPECT_STREQ(settings_.nick, "BBSUser");
}

TEST_F(Dropfile, TooShortOrMissingFilesChangeNothing)
{
    const std::string door32 = dir_.write("DOOR32.SYS", lines(4));
    const std::string door = dir_.write("DOOR.SYS", lines(9));
    EXPECT_EQ(load_door32(door32.c_str(), &info_, &settings_), -1);
    EXPECT_EQ(load_door(door.c_str(), &info_, &settings_), -1);
    EXPECT_EQ(dropfile_load("nothing/here", &info_, &settings_), -1);
    EXPECT_EQ(info_.valid, 0);
    EXPECT_STREQ(settings_.label, "First entry");
}

TEST_F(Dropfile, DoorSysTakesTheAliasAndFallsBackToTheFullName)
{
    const std::string full = dir_.write("a/DOOR.SYS", lines(52, {{10, "Mary Jones"}, {36, "Sparky"}}));
    ASSERT_EQ(dropfile_load(full.c_str(), &info_, &settings_), 0);
    EXPECT_STREQ(info_.kind, "DOOR");
    EXPECT_STREQ(info_.real_name, "Mary Jones");
    EXPECT_STREQ(settings_.nick, "Sparky");

    const std::string blank_alias = dir_.write("b/DOOR.SYS", lines(52, {{10, "Mary Jones"}, {36, ""}}));
    ASSERT_EQ(dropfile_load(blank_alias.c_str(), &info_, &settings_), 0);
    EXPECT_STREQ(settings_.nick, "Mary_Jones");

    // Any other name is read as DOOR.SYS; the old 31-line layout has no alias.
    const std::string old = dir_.write("c/caller.txt", lines(31, {{10, "Old Timer"}}));
    ASSERT_EQ(dropfile_load(old.c_str(), &info_, &settings_), 0);
    EXPECT_STREQ(settings_.nick, "Old_Timer");
}

// A line too long for the reader is cut, not read as two: the lines after it
// keep their numbers, so the name still comes from its own line.
TEST_F(Dropfile, OverlongLineDoesNotShiftTheNameLines)
{
    const std::string long_line(300, 'x');
    const std::string door32 = dir_.write("a/DOOR32.SYS", lines(11, {{2, long_line}, {6, "Ann Lee"}}));
    ASSERT_EQ(dropfile_load(door32.c_str(), &info_, &settings_), 0);
    EXPECT_STREQ(settings_.nick, "Ann_Lee");

    const std::string door = dir_.write("b/DOOR.SYS", lines(52, {{3, long_line}, {10, "Mary Jones"}, {36, "Sparky"}}));
    ASSERT_EQ(dropfile_load(door.c_str(), &info_, &settings_), 0);
    EXPECT_STREQ(info_.real_name, "Mary Jones");
    EXPECT_STREQ(settings_.nick, "Sparky");
}

TEST(NickFromCallerName, MakesANickServersAccept)
{
    const std::pair<const char *, const char *> cases[] = {
        {"John Smith", "John_Smith"},
        {"[Ace]^`{|}-\\", "[Ace]^`{|}-\\"},
        {"R\xc3\xa9mi O'Neil!", "Rmi_ONeil"},
        {"7of9", "_7of9"},
        {"-dash", "_-dash"},
        {"", "BBSUser"},
        {"!!! ...", "_"},
        {"@#$%", "BBSUser"},
    };
    for (const auto &[name, nick] : cases) {
        char out[64];
        nick_from_caller_name(name, out, sizeof out);
        EXPECT_STREQ(out, nick) << name;
    }
    char small[6];
    nick_from_caller_name("9abcdefgh", small, sizeof small);
    EXPECT_STREQ(small, "_9abc");
    nick_from_caller_name(nullptr, small, sizeof small);
    EXPECT_STREQ(small, "BBSUs");
}

} // namespace

// The four common dropfiles, as boards write them, read into one caller.
#include "common/dropfile.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Joins lines with the given line end, after each line.
std::string join(const std::vector<std::string>& lines, const std::string& eol)
{
    std::string text;
    for (const auto& l : lines)
        text += l + eol;
    return text;
}

const std::vector<std::string> DOOR32 = {"2", "7", "38400", "Mystic BBS 1.12", "14", "Carol Jones", "NightOwl",
                                         "30", "42", "1", "3"};

std::vector<std::string> door_sys(const std::string& real, const std::string& alias, int lines)
{
    std::vector<std::string> l = {"COM0:", "38400", "8", "2", "38400", "Y", "Y", "Y", "Y", real,
                                  "Springfield, IL", "555-555-1212", "555-555-1212", "SECRET", "30", "112",
                                  "12/01/26", "1500", "25", "GR", "24", "N", "1,2,3", "1", "12/31/99", "14", "Z",
                                  "0", "0", "0", "9999", "01/01/70", "C:\\BBS", "C:\\BBS\\GEN", "Sysop Sam", alias};
    l.resize(static_cast<std::size_t>(lines), "0");
    return l;
}

const std::vector<std::string> DORINFO = {"The Night Shift", "SAM", "SYSOP", "COM1", "38400 BAUD,N,8,1", "0",
                                          "CAROL", "JONES", "SPRINGFIELD, IL", "1", "30", "17", "-1"};

const std::vector<std::string> CHAIN = {"14", "NightOwl", "Carol Jones", "", "33", "F", "0", "12/01/26", "80",
                                        "25", "30", "0", "0", "1", "1", "1234.000", "C:\\WWIV\\GFILES\\",
                                        "C:\\WWIV\\DATA\\", "050126.LOG", "38400", "1", "The Night Shift",
                                        "Sysop Sam", "0", "0", "0", "0", "0", "0", "8N1", "38400", "4"};

std::vector<std::string> with(std::vector<std::string> lines, std::size_t line, const std::string& value)
{
    lines.at(line - 1) = value;
    return lines;
}

struct read_case {
    const char* what;
    const char* file_name;
    std::string text;
    const char* name;
    const char* real_name;
    int node, minutes, comm_type, comm_handle;
};

void PrintTo(const read_case& c, std::ostream* os)
{
    *os << c.what;
}

class read_cases : public ::testing::TestWithParam<read_case> {};

TEST_P(read_cases, TakesNameNodeAndTimeLeft)
{
    const read_case& c = GetParam();
    caller_record r{};
    ASSERT_EQ(dropfile_parse(c.file_name, c.text.data(), c.text.size(), r), nullptr) << c.what;
    EXPECT_STREQ(r.name, c.name);
    EXPECT_STREQ(r.real_name, c.real_name);
    EXPECT_EQ(r.node, c.node);
    EXPECT_EQ(r.minutes_left, c.minutes);
    EXPECT_EQ(r.comm_type, c.comm_type);
    EXPECT_EQ(r.comm_handle, c.comm_handle);
}

INSTANTIATE_TEST_SUITE_P(
    formats, read_cases,
    ::testing::Values(
        read_case{"DOOR32.SYS: the handle, not the real name", "DOOR32.SYS", join(DOOR32, "\r\n"), "NightOwl",
                  "Carol Jones", 3, 42, 2, 7},
        read_case{"DOOR32.SYS with LF ends and no handle", "node3/door32.sys", join(with(DOOR32, 7, ""), "\n"),
                  "Carol Jones", "Carol Jones", 3, 42, 2, 7},
        read_case{"DOOR32.SYS from a board bridging standard streams", "DOOR32.SYS",
                  join(with(with(DOOR32, 1, "0"), 2, "-1"), "\r\n"), "NightOwl", "Carol Jones", 3, 42, 0, -1},
        read_case{"DOOR32.SYS giving no time left sets no limit", "DOOR32.SYS", join(with(DOOR32, 9, "0"), "\r\n"),
                  "NightOwl", "Carol Jones", 3, 0, 2, 7},
        read_case{"DOOR.SYS of 52 lines: the alias", "DOOR.SYS", join(door_sys("Carol Jones", "NightOwl", 52), "\r\n"),
                  "NightOwl", "Carol Jones", 2, 25, 0, -1},
        read_case{"DOOR.SYS with a blank alias", "door.sys", join(door_sys("Carol Jones", "", 52), "\n"),
                  "Carol Jones", "Carol Jones", 2, 25, 0, -1},
        read_case{"DOOR.SYS of the older 31 lines", "DOOR.SYS", join(door_sys("Carol Jones", "x", 31), "\r\n"),
                  "Carol Jones", "Carol Jones", 2, 25, 0, -1},
        read_case{"DORINFO1.DEF: first and last name, node from the name", "DORINFO1.DEF", join(DORINFO, "\r\n"),
                  "CAROL JONES", "CAROL JONES", 1, 17, 0, -1},
        read_case{"dorinfoc.def is node 12, no last name", "bbs/dorinfoc.def", join(with(DORINFO, 8, ""), "\n"),
                  "CAROL", "CAROL", 12, 17, 0, -1},
        read_case{"CHAIN.TXT: alias, seconds left rounded up, node", "CHAIN.TXT", join(CHAIN, "\r\n"), "NightOwl",
                  "Carol Jones", 4, 21, 0, -1},
        read_case{"chain.txt without the node line", "chain.txt",
                  join(std::vector<std::string>(CHAIN.begin(), CHAIN.begin() + 16), "\n"), "NightOwl", "Carol Jones",
                  0, 21, 0, -1}),
    [](const ::testing::TestParamInfo<read_case>& p) { return "case" + std::to_string(p.index); });

TEST(dropfile, RefusesUnknownNamesShortFilesAndFilesNamingNoCaller)
{
    struct case_t {
        const char* file_name;
        std::string text;
        const char* why_holds;
    };
    const case_t cases[] = {
        {"caller.txt", join(DOOR32, "\r\n"), "not a dropfile name"},
        {"DOOR32.SYS.bak", join(DOOR32, "\r\n"), "not a dropfile name"},
        {"DORINFO0.DEF", join(DORINFO, "\r\n"), "not a dropfile name"},
        {"DOOR32.SYS", join(std::vector<std::string>(DOOR32.begin(), DOOR32.begin() + 10), "\r\n"), "at least 11"},
        {"DOOR.SYS", join(door_sys("Carol Jones", "", 30), "\r\n"), "at least 31"},
        {"DORINFO1.DEF", join(std::vector<std::string>(DORINFO.begin(), DORINFO.begin() + 11), "\n"), "at least 12"},
        {"CHAIN.TXT", join(std::vector<std::string>(CHAIN.begin(), CHAIN.begin() + 15), "\n"), "at least 16"},
        {"DOOR32.SYS", "", "at least 11"},
        {"DOOR32.SYS", join(with(with(DOOR32, 6, "  "), 7, ""), "\r\n"), "names no caller"},
        {"DORINFO2.DEF", join(with(with(DORINFO, 7, ""), 8, ""), "\r\n"), "names no caller"},
    };
    for (const auto& c : cases) {
        caller_record r{};
        r.node = 99;
        const char* why = dropfile_parse(c.file_name, c.text.data(), c.text.size(), r);
        ASSERT_NE(why, nullptr) << c.file_name;
        EXPECT_NE(std::string(why).find(c.why_holds), std::string::npos) << c.file_name << ": " << why;
        EXPECT_EQ(r.node, 99) << "a refused file leaves the record as it was";
    }
}

TEST(dropfile, NamesAreCleanedOfControlBytesAndCutToFit)
{
    const std::string long_alias(200, 'N');
    const std::string text = join(with(with(DOOR32, 6, "Carol\x1b[2JJones"), 7, "Night\aOwl\x7f"), "\r\n");
    caller_record r{};
    ASSERT_EQ(dropfile_parse("DOOR32.SYS", text.data(), text.size(), r), nullptr);
    EXPECT_STREQ(r.name, "Night?Owl?");
    EXPECT_STREQ(r.real_name, "Carol?[2JJones");

    const std::string cut = join(with(DOOR32, 7, long_alias), "\n");
    ASSERT_EQ(dropfile_parse("DOOR32.SYS", cut.data(), cut.size(), r), nullptr);
    EXPECT_EQ(std::string(r.name), std::string(CALLER_NAME_SIZE - 1, 'N'));
}

TEST(dropfile, OddNumbersGiveNoLimitNoNodeAndNoSocket)
{
    const std::vector<std::string> odd = with(with(with(DOOR32, 2, "7x"), 9, "lots"), 11, "-3");
    const std::string text = join(odd, "\r\n");
    caller_record r{};
    ASSERT_EQ(dropfile_parse("DOOR32.SYS", text.data(), text.size(), r), nullptr);
    EXPECT_EQ(r.comm_handle, -1);
    EXPECT_EQ(r.minutes_left, 0);
    EXPECT_EQ(r.node, 0);
}

class dropfile_files : public ::testing::Test {
protected:
    dropfile_files()
    {
        char tmpl[] = "/tmp/dropfile_test.XXXXXX";
        dir_ = mkdtemp(tmpl);
    }
    ~dropfile_files() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }
    std::string dir_;
};

// A FIFO or a device named by mistake is refused at once, never waited on.
TEST_F(dropfile_files, OnlyARegularFileIsRead)
{
    const std::string fifo = dir_ + "/DOOR32.SYS";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    caller_record r{};
    EXPECT_NE(dropfile_read(fifo.c_str(), r), nullptr);
    EXPECT_NE(dropfile_read((dir_ + "/missing/DOOR.SYS").c_str(), r), nullptr);
    EXPECT_NE(dropfile_read("/dev/zero", r), nullptr);

    const std::string real = dir_ + "/CHAIN.TXT";
    const std::string text = join(CHAIN, "\r\n");
    const int fd = open(real.c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fd);
    ASSERT_EQ(dropfile_read(real.c_str(), r), nullptr);
    EXPECT_STREQ(r.name, "NightOwl");
    EXPECT_STREQ(r.format, "CHAIN.TXT");
}

}  // namespace

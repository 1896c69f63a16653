// Bounded copies, trimming, prefixes and clock text.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <limits>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

#include "chat/config/text_util.h"
#include "tests/chat/config/scratch_dir.h"

namespace {

TEST(SafeStrcpy, CutsToFitAndAlwaysTerminates)
{
    char buf[4];
    std::memset(buf, 'x', sizeof buf);
    safe_strcpy(buf, "abcdef", sizeof buf);
    EXPECT_STREQ(buf, "abc");
    safe_strcpy(buf, nullptr, sizeof buf);
    EXPECT_STREQ(buf, "");
    safe_strcpy(buf, "z", 0);   // size 0 writes nothing
    EXPECT_STREQ(buf, "");
    safe_strcpy(nullptr, "z", 4);
    char field[8];
    safe_strcpy(field, "0123456789");
    EXPECT_STREQ(field, "0123456");
}

TEST(Trim, RemovesWhiteSpaceAtBothEnds)
{
    const std::pair<const char *, const char *> cases[] = {
        {"  a b \r\n", "a b"}, {"\t\t", ""}, {"", ""}, {"x", "x"}, {" \x0b\fy", "y"}};
    for (const auto &[in, out] : cases) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%s", in);
        trim(buf);
        EXPECT_STREQ(buf, out);
    }
    trim(nullptr);
}

TEST(StartsWith, HandlesMissingTexts)
{
    EXPECT_EQ(starts_with("PING :x", "PING :"), 1);
    EXPECT_EQ(starts_with("PIN", "PING"), 0);
    EXPECT_EQ(starts_with("abc", ""), 1);
    EXPECT_EQ(starts_with(nullptr, "a"), 0);
    EXPECT_EQ(starts_with("a", nullptr), 0);
    EXPECT_EQ(equals_ignore_case("LiBeRa", "libera"), 1);
    EXPECT_EQ(equals_ignore_case("libera", "liber"), 0);
    EXPECT_EQ(equals_ignore_case(nullptr, ""), 0);
}

TEST(FormatTime, LocalClockOrZeros)
{
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    char expected[16];
    std::strftime(expected, sizeof expected, "%H:%M:%S", &parts);
    char out[16];
    format_time(out, sizeof out, now);
    EXPECT_STREQ(out, expected);
    format_time(out, sizeof out, std::numeric_limits<std::int64_t>::max());
    EXPECT_STREQ(out, "00:00:00");
}

TEST(FileExists, OnlyForReadableRegularFiles)
{
    scratch_dir dir;
    const std::string path = dir.write("here.txt", "x");
    ASSERT_EQ(mkfifo("fifo", 0600), 0);
    EXPECT_EQ(file_exists(path.c_str()), 1);
    EXPECT_EQ(file_exists("absent.txt"), 0);
    EXPECT_EQ(file_exists(""), 0);
    EXPECT_EQ(file_exists(nullptr), 0);
    EXPECT_EQ(file_exists("fifo"), 0) << "a FIFO nobody writes to would block the open";
    EXPECT_EQ(file_exists("/dev/zero"), 0);
    EXPECT_EQ(file_exists(dir.path().c_str()), 0);
}

TEST(ReadRegularFile, ReadsAtMostTheBound)
{
    scratch_dir dir;
    const std::string path = dir.write("big", std::string(100000, 'b'));
    std::string bytes;
    ASSERT_EQ(read_regular_file(path.c_str(), 4096, &bytes), 0);
    EXPECT_EQ(bytes, std::string(4096, 'b'));
    ASSERT_EQ(read_regular_file(dir.write("small", "abc").c_str(), 4096, &bytes), 0);
    EXPECT_EQ(bytes, "abc");
    EXPECT_EQ(read_regular_file("/dev/zero", 4096, &bytes), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(read_regular_file("absent", 4096, &bytes), -1);
    EXPECT_EQ(errno, ENOENT);
}

TEST(TakeLine, CutsLikeFgets)
{
    std::string_view text = "ab\ncdefg\nh";
    char out[4];
    std::vector<std::string> lines;
    while (take_line(&text, out, sizeof out)) {
        lines.emplace_back(out);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"ab\n", "cde", "fg\n", "h"}));
}

} // namespace

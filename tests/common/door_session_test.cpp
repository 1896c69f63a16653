// A door session's limits and the caller log both programs keep.
#include "common/door_session.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char* event_name(limit_event e)
{
    switch (e) {
    case limit_event::none: return "none";
    case limit_event::time_warning: return "time_warning";
    case limit_event::idle_warning: return "idle_warning";
    case limit_event::time_up: return "time_up";
    case limit_event::idle: return "idle";
    }
    return "?";
}

}  // namespace

void PrintTo(limit_event e, std::ostream* os)
{
    *os << event_name(e);
}

namespace {

constexpr std::int64_t MINUTE = 1000;  // a short minute keeps the numbers small

struct step {
    std::int64_t at;      // ms since the start
    bool key;             // the caller types at this moment
    limit_event expect;   // what limits_check says then (after the key)
    int minutes;          // for a time warning
};

struct schedule_case {
    const char* what;
    int minutes_left, idle_minutes;
    std::vector<step> steps;
};

void PrintTo(const schedule_case& c, std::ostream* os)
{
    *os << c.what;
}

class schedule : public ::testing::TestWithParam<schedule_case> {};

TEST_P(schedule, WarnsOnceThenEnds)
{
    const schedule_case& c = GetParam();
    session_limits l;
    limits_start(l, 0, c.minutes_left, c.idle_minutes, MINUTE);
    for (const step& s : c.steps) {
        if (s.key)
            limits_key(l, s.at);
        int minutes = -1;
        const limit_event e = limits_check(l, s.at, &minutes);
        EXPECT_EQ(e, s.expect) << c.what << " at " << s.at;
        if (e == limit_event::time_warning) {
            EXPECT_EQ(minutes, s.minutes) << c.what << " at " << s.at;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    limits, schedule,
    ::testing::Values(
        schedule_case{"five minutes: warnings at two and one left, then the end",
                      5,
                      0,
                      {{2999, false, limit_event::none, 0},
                       {3000, false, limit_event::time_warning, 2},
                       {3500, false, limit_event::none, 0},
                       {4000, false, limit_event::time_warning, 1},
                       {4999, true, limit_event::none, 0},
                       {5000, true, limit_event::time_up, 0},
                       {6000, false, limit_event::time_up, 0}}},
        schedule_case{"one minute: the one-minute warning at once",
                      1,
                      0,
                      {{0, false, limit_event::time_warning, 1}, {10, false, limit_event::none, 0},
                       {1000, false, limit_event::time_up, 0}}},
        schedule_case{"a late check gives the nearer warning only",
                      5,
                      0,
                      {{4500, false, limit_event::time_warning, 1}, {4600, false, limit_event::none, 0}}},
        schedule_case{"idle: warned a minute before, dropped at the limit",
                      0,
                      5,
                      {{3999, false, limit_event::none, 0},
                       {4000, false, limit_event::idle_warning, 0},
                       {4500, false, limit_event::none, 0},
                       {5000, false, limit_event::idle, 0}}},
        schedule_case{"a key in the warning minute keeps the caller",
                      0,
                      5,
                      {{4000, false, limit_event::idle_warning, 0},
                       {4900, true, limit_event::none, 0},
                       {5000, false, limit_event::none, 0},
                       {8899, false, limit_event::none, 0},
                       {8900, false, limit_event::idle_warning, 0},
                       {9900, false, limit_event::idle, 0}}},
        schedule_case{"an idle limit of one minute warns half-way",
                      0,
                      1,
                      {{499, false, limit_event::none, 0},
                       {500, false, limit_event::idle_warning, 0},
                       {1000, false, limit_event::idle, 0}}},
        schedule_case{"the time limit wins over idle when both are due",
                      3,
                      3,
                      {{1000, false, limit_event::time_warning, 2},
                       {2000, false, limit_event::time_warning, 1},
                       {2000, false, limit_event::idle_warning, 0},
                       {3000, false, limit_event::time_up, 0}}},
        schedule_case{"no limits: nothing ever", 0, 0, {{0, false, limit_event::none, 0},
                                                        {100000000, false, limit_event::none, 0}}}),
    [](const ::testing::TestParamInfo<schedule_case>& p) { return "case" + std::to_string(p.index); });

// A wait bounded by limits_next_ms never sleeps past anything that falls due.
TEST(limits, NextWakeUpIsNeverPastWhatFallsDue)
{
    session_limits l;
    limits_start(l, 0, 4, 3, MINUTE);
    std::vector<std::pair<std::int64_t, limit_event>> seen;
    std::int64_t now = 0;
    while (seen.empty() || seen.back().second != limit_event::time_up) {
        int minutes = 0;
        const limit_event e = limits_check(l, now, &minutes);
        if (e != limit_event::none) {
            seen.emplace_back(now, e);
            if (e == limit_event::idle)
                limits_key(l, now);  // kept on, to see the time limit through
            continue;
        }
        const std::int64_t next = limits_next_ms(l, now);
        ASSERT_GE(next, 0);
        ASSERT_LT(now, 100000) << "never ended";
        now += next;
    }
    const std::vector<std::pair<std::int64_t, limit_event>> want = {
        {2000, limit_event::time_warning}, {2000, limit_event::idle_warning}, {3000, limit_event::time_warning},
        {3000, limit_event::idle}, {4000, limit_event::time_up}};
    EXPECT_EQ(seen, want);
    session_limits none;
    limits_start(none, 0, 0, 0, MINUTE);
    EXPECT_EQ(limits_next_ms(none, 0), -1);
}

TEST(limits, MinuteSeamTakesSecondsFromTheEnvironment)
{
    const std::pair<const char*, std::int64_t> cases[] = {
        {nullptr, 60000}, {"2", 2000}, {"60", 60000}, {"0", 60000}, {"61", 60000}, {"2x", 60000}, {"", 60000}};
    for (const auto& [value, ms] : cases) {
        if (value)
            setenv("VEXON_DOOR_MINUTE_SECONDS", value, 1);
        else
            unsetenv("VEXON_DOOR_MINUTE_SECONDS");
        EXPECT_EQ(door_minute_ms(), ms) << (value ? value : "(unset)");
    }
    unsetenv("VEXON_DOOR_MINUTE_SECONDS");
}

class caller_log : public ::testing::Test {
protected:
    caller_log()
    {
        char tmpl[] = "/tmp/caller_log_test.XXXXXX";
        dir_ = mkdtemp(tmpl);
        path_ = dir_ + "/door.log";
    }
    ~caller_log() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    std::vector<std::string> lines(const std::string& path) const
    {
        std::ifstream in(path);
        std::vector<std::string> out;
        for (std::string l; std::getline(in, l);)
            out.push_back(l);
        return out;
    }

    std::string dir_;
    std::string path_;
};

TEST_F(caller_log, OneLinePerStartAndEndWithReasonAndMinutes)
{
    const std::pair<session_end, const char*> ends[] = {
        {session_end::quit, "end (quit, 2 min) Carol"},       {session_end::hang_up, "end (hang-up, 2 min) Carol"},
        {session_end::time_up, "end (time up, 2 min) Carol"}, {session_end::idle, "end (idle, 2 min) Carol"},
        {session_end::signal, "end (signal, 2 min) Carol"},   {session_end::error, "end (error, 2 min) Carol"},
    };
    ASSERT_TRUE(caller_log_append(path_.c_str(), 3, "Carol", "start"));
    for (const auto& [why, text] : ends)
        ASSERT_TRUE(caller_log_end(path_.c_str(), 3, "Carol", why, 1000, 1000 + 2 * 60000 + 59999, 60000));
    const auto got = lines(path_);
    ASSERT_EQ(got.size(), 7u);
    // "YYYY-MM-DD HH:MM:SS node 3 ..."
    EXPECT_EQ(got[0].substr(19), " node 3 start Carol");
    EXPECT_EQ(got[0][4], '-');
    EXPECT_EQ(got[0][13], ':');
    for (std::size_t i = 0; i < std::size(ends); ++i)
        EXPECT_EQ(got[i + 1].substr(20), std::string("node 3 ") + ends[i].second);
}

TEST_F(caller_log, ControlBytesInNamesShowAsQuestionMarks)
{
    ASSERT_TRUE(caller_log_append(path_.c_str(), 1, "Eve\x1b[2J\r\nnode 9 end", "start"));
    const auto got = lines(path_);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].substr(19), " node 1 start Eve?[2J??node 9 end");
}

TEST_F(caller_log, RotatesOncePastItsLimit)
{
    {
        std::ofstream big(path_);
        big << std::string(CALLER_LOG_LIMIT, 'x') << '\n';
        std::ofstream old(path_ + ".1");
        old << "older\n";
    }
    ASSERT_TRUE(caller_log_append(path_.c_str(), 2, "Dan", "start"));
    ASSERT_TRUE(caller_log_append(path_.c_str(), 2, "Dan", "end (quit, 0 min)"));
    const auto now = lines(path_);
    ASSERT_EQ(now.size(), 2u);
    EXPECT_NE(now[0].find("start Dan"), std::string::npos);
    struct stat st{};
    ASSERT_EQ(stat((path_ + ".1").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, CALLER_LOG_LIMIT + 1);  // the full log, the older one gone
}

// Nodes logging at once, across a rotation: every line lands whole, none
// twice, none mixed with another.
TEST_F(caller_log, NodesAppendingAtOnceNeverTearOrInterleave)
{
    constexpr int NODES = 6;
    constexpr int LINES = 400;
    {
        std::ofstream big(path_);
        big << std::string(CALLER_LOG_LIMIT - 4000, 'x') << '\n';
    }
    std::vector<pid_t> pids;
    for (int node = 1; node <= NODES; ++node) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            const std::string name = "Caller" + std::to_string(node) + std::string(40, static_cast<char>('a' + node));
            bool ok = true;
            for (int i = 0; i < LINES; ++i)
                ok = caller_log_append(path_.c_str(), node, name.c_str(), ("start #" + std::to_string(i)).c_str()) && ok;
            _exit(ok ? 0 : 1);
        }
        pids.push_back(pid);
    }
    for (pid_t pid : pids) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::map<int, std::vector<int>> seen;
    for (const std::string& file : {path_ + ".1", path_}) {
        for (const std::string& l : lines(file)) {
            if (l.find_first_not_of('x') == std::string::npos)
                continue;  // the filler the log started with
            int node = 0;
            int i = 0;
            char name[128] = {};
            ASSERT_EQ(std::sscanf(l.c_str() + 20, "node %d start #%d %127s", &node, &i, name), 3) << l;
            ASSERT_EQ(std::string(name), "Caller" + std::to_string(node) + std::string(40, static_cast<char>('a' + node)))
                << l;
            seen[node].push_back(i);
        }
    }
    ASSERT_EQ(seen.size(), static_cast<std::size_t>(NODES));
    for (const auto& [node, numbers] : seen) {
        ASSERT_EQ(numbers.size(), static_cast<std::size_t>(LINES)) << "node " << node;
        for (int i = 0; i < LINES; ++i)
            EXPECT_EQ(numbers[static_cast<std::size_t>(i)], i) << "node " << node;
    }
}

}  // namespace

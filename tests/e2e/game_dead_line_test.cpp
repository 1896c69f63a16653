// A caller whose line dies without a word: no FIN, no reset, just silence,
// as when a modem bridge drops or a NAT forgets the connection. The board,
// the door and the caller run in a network namespace of their own whose
// loopback is then made to drop every packet; TCP keepalive on the door's
// socket must find the line dead and the door end as on a hang-up. Door
// minutes of six seconds make keepalive's two minutes about twelve seconds.
#include "tests/support/door_call.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace std::chrono_literals;

namespace {

struct door_case {
    const char* name;
    const char* program;
    const char* log;    // the caller log, in the board's directory
    const char* ready;  // on the caller's screen once the door is up
};

void PrintTo(const door_case& c, std::ostream* os)
{
    *os << c.name;
}

// In the child, inside its own network namespace: starts the board, calls
// it, silences the line and waits for the door to end. What happened, as
// one line: "ended <ms> <launcher's line>" or what went wrong.
std::string call_and_silence(const door_case& c, const std::string& dir)
{
    if (unshare(CLONE_NEWNET) != 0 || std::system("ip link set lo up") != 0)
        return "skip: no network namespace";
    testsupport::door_launcher board({DOOR_LAUNCHER_PATH, "--door", c.program, "--dir", dir, "--port", "0", "--user",
                                      "Ada", "--", "--idle-minutes", "0"},
                                     {{"HOME", dir}, {"VEXON_DOOR_MINUTE_SECONDS", "6"}});
    const int port = board.port();
    if (port <= 0)
        return "no board";
    testsupport::door_caller caller(port);
    if (std::string(c.program) == IRCDOOR_PATH && caller.wait_for_raw("\x1b[6n"))
        caller.send("\x1b[24;80R");
    if (!caller.wait_for_text(c.ready, 10s))
        return "door not up:\n" + caller.screen().dump();
    // Every packet on the namespace's loopback is dropped from now on.
    if (std::system("tc qdisc add dev lo root blackhole") != 0)
        return "skip: no blackhole queueing discipline";
    const auto silenced = std::chrono::steady_clock::now();
    const auto ended = board.wait_line("ended", 90s);
    if (!ended)
        return "the door did not notice the dead line within 90 s";
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - silenced);
    return "ended " + std::to_string(ms.count()) + " " + *ended;
}

class dead_line : public ::testing::TestWithParam<door_case> {};

TEST_P(dead_line, KeepaliveEndsTheDoorAsAHangUp)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "a network namespace of its own needs root";
    const door_case& c = GetParam();
    testsupport::temp_dir dir;
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(report[0]);
        const std::string result = call_and_silence(c, dir.path());
        (void)!write(report[1], result.data(), result.size());
        _exit(0);
    }
    close(report[1]);
    std::string result;
    for (;;) {
        pollfd p{report[0], POLLIN, 0};
        if (poll(&p, 1, 120000) <= 0)
            break;
        char buf[4096];
        const ssize_t n = read(report[0], buf, sizeof buf);
        if (n <= 0)
            break;
        result.append(buf, static_cast<std::size_t>(n));
    }
    close(report[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (result.rfind("skip: ", 0) == 0)
        GTEST_SKIP() << result;
    ASSERT_EQ(result.rfind("ended ", 0), 0u) << result;
    EXPECT_NE(result.find("with status 0"), std::string::npos) << result;
    RecordProperty("noticed_after_ms", std::stoi(result.substr(6)));
    std::printf("%s: dead line noticed after %s ms\n", c.name, result.substr(6, result.find(' ', 6) - 6).c_str());
    const std::string log = testsupport::read_file(dir.file(c.log));
    EXPECT_NE(log.find("end (error, "), std::string::npos) << log;
}

INSTANTIATE_TEST_SUITE_P(
    doors, dead_line,
    ::testing::Values(door_case{"sysopsim", SYSOPSIM_PATH, "data/sysopsim.log", "[1] New BBS"},
                      door_case{"ircdoor", IRCDOOR_PATH, "node1/ircdoor.log", "BBS terminal mode enabled."}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace

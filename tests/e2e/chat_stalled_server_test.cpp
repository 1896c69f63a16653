// ircdoor against a server that stops reading and floods it with PINGs: the
// program stays in the caller's hands, says why the connection ended, and
// ends within a second whichever way the caller leaves.
#include "tests/e2e/chat_e2e.h"
#include "tests/e2e/chat_line_server.h"
#include "tests/support/ping_flood.h"

#include <csignal>
#include <functional>
#include <string>

namespace {

using namespace chat_e2e;

// The exit must come within a second; the margin covers a loaded machine
// running the program under the sanitizers. A frozen program takes far longer.
constexpr auto EXIT_BOUND = 2000ms;

class StalledServerRun : public ::testing::Test {
protected:
    line_server server;
    std::unique_ptr<ircdoor_run> run;

    void SetUp() override
    {
        ASSERT_GT(server.port(), 0);
        server.shrink_receive_buffer();
        run = ircdoor_run::after([&](const testsupport::temp_dir& d) {
            testsupport::write_file(config_path(d),
                                    "Local|127.0.0.1|" + std::to_string(server.port()) + "|alice|#c|0|\n");
        });
        ASSERT_TRUE(run->wait_for("ADDRESS BOOK")) << run->screen().dump();
        run->send("c");
        ASSERT_TRUE(server.accept_client());
        server.welcome("alice", "#c", "@alice bob");
        ASSERT_TRUE(run->wait_for("Connected to")) << run->screen().dump();
    }

    // Floods until far more PONGs are owed than any socket buffers hold, or
    // the program takes no more; the screen keeps being read meanwhile.
    void flood_until_stuck(const testsupport::ping_flood& flood)
    {
        std::size_t seen = 0;
        auto since = std::chrono::steady_clock::now();
        run->wait_until(
            [&] {
                const std::size_t now = flood.bytes_sent();
                if (now != seen) {
                    seen = now;
                    since = std::chrono::steady_clock::now();
                }
                return now >= 1024 * 1024 || std::chrono::steady_clock::now() - since > 1s;
            },
            20000ms);
    }
};

struct way_out {
    const char* name;
    std::function<void(ircdoor_run&)> leave;
};

void PrintTo(const way_out& w, std::ostream* os)
{
    *os << w.name;
}

class LeavingDuringTheFlood : public StalledServerRun, public ::testing::WithParamInterface<way_out> {};

TEST_P(LeavingDuringTheFlood, EndsTheProgramWithinASecond)
{
    testsupport::ping_flood flood(server.fd());
    flood_until_stuck(flood);
    const auto start = std::chrono::steady_clock::now();
    GetParam().leave(*run);
    const auto status = run->process->wait_exit(EXIT_BOUND);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    ASSERT_TRUE(status.has_value()) << "still running " << EXIT_BOUND.count() << " ms after the caller left";
    EXPECT_EQ(*status, 0);
    RecordProperty("exit_ms", static_cast<int>(took.count()));
}

INSTANTIATE_TEST_SUITE_P(
    Ways, LeavingDuringTheFlood,
    ::testing::Values(way_out{"Sigterm", [](ircdoor_run& r) { ::kill(r.process->pid(), SIGTERM); }},
                      way_out{"SlashQuit", [](ircdoor_run& r) { r.send("/quit\r"); }},
                      way_out{"HangUp", [](ircdoor_run& r) { r.process->hang_up(); }}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

// A server that accepts the connection but never answers the TLS handshake
// holds the connect, which runs where keys are read: a signal or a hang-up
// still ends the program at once.
class LeavingDuringAHandshake : public ::testing::TestWithParam<way_out> {};

TEST_P(LeavingDuringAHandshake, EndsTheProgramWithinASecond)
{
    line_server server;
    auto run = ircdoor_run::after([&](const testsupport::temp_dir& d) {
        testsupport::write_file(config_path(d), "Local|127.0.0.1|" + std::to_string(server.port()) + "|alice|#c|1|\n");
    });
    ASSERT_TRUE(run->wait_for("ADDRESS BOOK")) << run->screen().dump();
    run->send("c");
    ASSERT_TRUE(run->wait_for("CONNECTING")) << run->screen().dump();
    ASSERT_TRUE(server.accept_connection());
    GetParam().leave(*run);
    const auto status = run->process->wait_exit(EXIT_BOUND);
    ASSERT_TRUE(status.has_value()) << "still running " << EXIT_BOUND.count() << " ms after the caller left";
    EXPECT_EQ(*status, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, LeavingDuringAHandshake,
    ::testing::Values(way_out{"Sigterm", [](ircdoor_run& r) { ::kill(r.process->pid(), SIGTERM); }},
                      way_out{"HangUp", [](ircdoor_run& r) { r.process->hang_up(); }}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(StalledServerRun, SaysWhyTheConnectionEndedAndStaysUsable)
{
    {
        testsupport::ping_flood flood(server.fd());
        ASSERT_TRUE(run->wait_for("Server stopped reading", 20000ms)) << run->screen().dump();
    }
    EXPECT_TRUE(run->wait_for("reconnecting in")) << run->screen().dump();
    run->send("\x1b");   // back to the startup manager: no more attempts
    ASSERT_TRUE(run->wait_for("Startup Manager")) << run->screen().dump();
    run->send("q");
    EXPECT_EQ(run->process->wait_exit(EXIT_BOUND), 0);
}

}  // namespace

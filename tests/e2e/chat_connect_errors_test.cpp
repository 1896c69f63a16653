// A connect that fails, seen in the real ircdoor's startup manager: the
// reason shows on its status line at once and stays until the next key.
#include "tests/e2e/chat_e2e.h"
#include "tests/e2e/chat_line_server.h"
#include "tests/support/ircd_server.h"

#include <gmock/gmock.h>

#include <string>

namespace {

using namespace chat_e2e;
using ::testing::HasSubstr;

constexpr int MESSAGE_ROW = 22;   // the row above the bottom line of 24

std::unique_ptr<ircdoor_run> start_with_entry(const std::string& server, int port)
{
    auto run = ircdoor_run::after([&](const testsupport::temp_dir& d) {
        testsupport::write_file(config_path(d),
                                "Bad|" + server + "|" + std::to_string(port) + "|alice|#c|0|\n");
    });
    EXPECT_TRUE(run->wait_for("ADDRESS BOOK")) << run->screen().dump();
    return run;
}

struct failing_connect {
    std::string server;
    std::string shown;   // what the status line holds after "Connection failed: "
};

TEST(ConnectErrors, ResolveAndRefuseAreShownUntilTheNextKey)
{
    const int closed = free_loopback_port();
    const std::vector<failing_connect> cases = {
        {"nonexistent.invalid", "nonexistent.invalid"},
        {"127.0.0.1", "Cannot connect to 127.0.0.1:" + std::to_string(closed)},
    };
    for (const auto& c : cases) {
        auto run = start_with_entry(c.server, closed);
        run->send("c");
        ASSERT_TRUE(run->row_shows(MESSAGE_ROW, "Connection failed: ")) << run->screen().dump();
        EXPECT_THAT(run->row(MESSAGE_ROW), HasSubstr(c.shown));
        EXPECT_TRUE(run->screen().contains("Startup Manager"));
        run->send("j");   // the next action: the form's selection moves
        EXPECT_TRUE(run->wait_until([&] { return run->row(MESSAGE_ROW).find("Connection failed") == std::string::npos; }))
            << run->screen().dump();
        run->send("q");
        EXPECT_EQ(run->process->wait_exit(10000ms), 0);
    }
}

TEST(ConnectErrors, RefusedRegistrationReturnsToTheManagerWithTheReason)
{
    line_server server;
    ASSERT_GT(server.port(), 0);
    auto run = start_with_entry("127.0.0.1", server.port());
    run->send("c");
    ASSERT_TRUE(server.accept_client());
    server.send(":irc.test 464 alice :Password incorrect");
    server.send("ERROR :Closing link: alice[127.0.0.1] (Bad password)");
    server.drop_client();
    ASSERT_TRUE(run->row_shows(MESSAGE_ROW, "Connection failed: Closing link: alice[127.0.0.1] (Bad password)"))
        << run->screen().dump();
    EXPECT_TRUE(run->screen().contains("Startup Manager"));
    EXPECT_TRUE(run->screen().contains("OFFLINE"));
}

}  // namespace

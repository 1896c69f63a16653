// The real sysopsim behind the door launcher, called with the real telnet
// program: the launcher sets the client to character mode, and the game must
// take the client's negotiation and window reports out of its keys.
#include "game/rules/profile.h"
#include "tests/support/door_call.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>

using namespace std::chrono_literals;

namespace {

constexpr const char* CONSOLE = "VEXON SIMS - BBS CONSOLE";
constexpr const char* BOX_PROMPT = "[ Press any key ]";

std::uint32_t day_on_disk(const std::string& path)
{
    profile p{};
    const std::string bytes = testsupport::read_file(path);
    if (bytes.size() == sizeof p)
        std::memcpy(&p, bytes.data(), sizeof p);
    return p.day;
}

}  // namespace

TEST(game_telnet, PlainTelnetPlaysANewBoardAndADayWithNoStrayKey)
{
    testsupport::temp_dir dir;
    testsupport::door_launcher board({DOOR_LAUNCHER_PATH, "--door", SYSOPSIM_PATH, "--dir", dir.path(), "--port", "0"});
    const int port = board.port();
    ASSERT_GT(port, 0);
    auto caller = testsupport::telnet_caller(port, 80, 25);

    // Character mode: the name is echoed by the launcher as it is typed, and
    // the client's Enter (CR NUL) reaches the game as no key.
    ASSERT_TRUE(caller->wait_for_text("Your name: ")) << caller->screen().dump();
    caller->send("Ada\r");
    ASSERT_TRUE(caller->wait_for_text("[1] New BBS")) << caller->screen().dump();
    EXPECT_TRUE(caller->screen().contains("V E X O N   S I M S"));
    EXPECT_TRUE(caller->screen().contains("\u2588  > LOGON: SYSOP    \u2588")) << caller->screen().dump();

    caller->send("1");
    ASSERT_TRUE(caller->wait_for_text("Welcome!")) << caller->screen().dump();
    // A window report now holds the bytes "d" and 30: as keys they would
    // close the box and draw the console.
    caller->pump(200ms);
    const std::size_t shown = caller->output().size();
    caller->report_size(80, 30);
    caller->pump(500ms);
    EXPECT_EQ(caller->output().size(), shown) << "the game drew something: " << caller->output().substr(shown);
    EXPECT_TRUE(caller->screen().contains("Welcome!")) << caller->screen().dump();
    caller->send(" ");
    ASSERT_TRUE(caller->wait_for_text(CONSOLE)) << caller->screen().dump();
    EXPECT_TRUE(caller->screen().contains("Sysop: Ada")) << caller->screen().dump();
    EXPECT_TRUE(caller->screen().contains("CASH $1500"));

    const std::string file = dir.file("data/sysop_ada.dat");
    caller->send("1");
    ASSERT_TRUE(caller->wait_for_text("End of Day")) << caller->screen().dump();
    ASSERT_TRUE(caller->wait_for_text(BOX_PROMPT)) << caller->screen().dump();
    EXPECT_EQ(day_on_disk(file), 2u);
    for (int box = 0; box < 4 && !caller->screen().contains(CONSOLE); ++box) {
        const std::string before = caller->screen().dump();
        caller->send("x");
        ASSERT_TRUE(caller->wait_until(
            [&] { return caller->screen().contains(CONSOLE) || (caller->screen().contains(BOX_PROMPT) && caller->screen().dump() != before); }, 10s))
            << caller->screen().dump();
    }
    ASSERT_TRUE(caller->screen().contains(CONSOLE)) << caller->screen().dump();
    EXPECT_EQ(day_on_disk(file), 2u) << "one day, no more";

    const std::string drop = testsupport::read_file(dir.file("node1/DOOR32.SYS"));
    EXPECT_EQ(drop.rfind("2\r\n", 0), 0u) << drop;
    EXPECT_NE(drop.find("\r\nAda\r\nAda\r\n"), std::string::npos) << drop;

    caller->hang_up();
    const auto ended = board.wait_line("ended", 5s);
    ASSERT_TRUE(ended);
    EXPECT_NE(ended->find("with status 0"), std::string::npos) << *ended;
}

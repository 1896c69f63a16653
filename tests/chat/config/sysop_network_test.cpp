// The sysop's door network: options, the sysop file, and which wins.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chat/config/sysop_network.h"
#include "tests/chat/config/scratch_dir.h"

namespace {

// Reads args (after a program name) into a fresh record; the reason on failure.
struct read_result {
    int rc;
    sysop_network net;
    std::string why;
};

read_result read_args(std::vector<std::string> args)
{
    args.insert(args.begin(), "ircdoor");
    std::vector<char *> argv;
    for (std::string &a : args) {
        argv.push_back(a.data());
    }
    read_result r{};
    sysop_network_defaults(&r.net);
    char why[256] = "";
    r.rc = sysop_network_read(static_cast<int>(argv.size()), argv.data(), &r.net, why, sizeof why);
    r.why = why;
    return r;
}

TEST(SysopNetwork, DefaultsAreThePublicNetworkWithCallersKeptApart)
{
    const read_result r = read_args({});
    ASSERT_EQ(r.rc, 0);
    EXPECT_STREQ(r.net.server, PUBLIC_IRC_HOST);
    EXPECT_EQ(r.net.port, 6667);
    EXPECT_EQ(r.net.tls, 0);
    EXPECT_STREQ(r.net.channel, "##chat");
    EXPECT_EQ(r.net.lock, 0);
    EXPECT_EQ(r.net.callers_choose_server, 0);
    EXPECT_EQ(r.net.saved_off, 0);
    EXPECT_NE(std::string(r.net.saved_dir).find(".vexon_irc_callers"), std::string::npos);
}

TEST(SysopNetwork, OptionsInBothFormsAndOtherArgumentsLeftAlone)
{
    const read_result r = read_args({"--bbs", "--server", "irc.board.example", "--port=6697", "--tls", "--channel",
                                     "#board", "--password=s3cret", "--lock", "--dropfile=x", "--callers-choose-server",
                                     "--no-saved-servers"});
    ASSERT_EQ(r.rc, 0) << r.why;
    EXPECT_STREQ(r.net.server, "irc.board.example");
    EXPECT_EQ(r.net.port, 6697);
    EXPECT_EQ(r.net.tls, 1);
    EXPECT_STREQ(r.net.channel, "#board");
    EXPECT_STREQ(r.net.password, "s3cret");
    EXPECT_EQ(r.net.lock, 1);
    EXPECT_EQ(r.net.callers_choose_server, 1);
    EXPECT_EQ(r.net.saved_off, 1);
}

TEST(SysopNetwork, AnOptionsValueIsNoArgumentOfItsOwn)
{
    std::vector<std::string> args{"ircdoor", "--password", "--bbs", "--bbs"};
    std::vector<char *> argv;
    for (std::string &a : args) {
        argv.push_back(a.data());
    }
    int used = 0;
    ASSERT_TRUE(sysop_network_option(4, argv.data(), 1, &used));
    EXPECT_EQ(used, 2);
    EXPECT_FALSE(sysop_network_option(4, argv.data(), 3, &used));
    const read_result r = read_args({"--password", "--bbs"});
    EXPECT_STREQ(r.net.password, "--bbs");
}

TEST(SysopNetwork, TheFileIsReadFirstAndOptionsWin)
{
    scratch_dir dir;
    const std::string file = dir.write("door.conf", "# the board's IRC\n"
                                                    "server = irc.file.example\n"
                                                    "port = 7000\n"
                                                    "TLS = yes\n"
                                                    "channel = #file\n"
                                                    "password = from file\n"
                                                    "lock = on\n"
                                                    "callers-choose-server = no\n"
                                                    "saved-servers = off\n");
    const read_result r = read_args({"--port", "6668", "--config", file, "--no-tls"});
    ASSERT_EQ(r.rc, 0) << r.why;
    EXPECT_STREQ(r.net.server, "irc.file.example");
    EXPECT_EQ(r.net.port, 6668);
    EXPECT_EQ(r.net.tls, 0);
    EXPECT_STREQ(r.net.channel, "#file");
    EXPECT_STREQ(r.net.password, "from file");
    EXPECT_EQ(r.net.lock, 1);
    EXPECT_EQ(r.net.saved_off, 1);
}

struct refusal_case {
    const char *name;
    std::string file;                 // sysop file text; empty for none
    std::vector<std::string> args;
    const char *reason;               // part of the reason given
};

void PrintTo(const refusal_case &c, std::ostream *os)
{
    *os << c.name;
}

class SysopNetworkRefusal : public ::testing::TestWithParam<refusal_case> {};

// A door set up wrongly must not start: it could be open where the sysop meant it closed.
TEST_P(SysopNetworkRefusal, MistakesStopTheStart)
{
    const refusal_case &c = GetParam();
    scratch_dir dir;
    std::vector<std::string> args = c.args;
    if (!c.file.empty()) {
        args.push_back("--config");
        args.push_back(dir.write("door.conf", c.file));
    }
    const read_result r = read_args(args);
    EXPECT_EQ(r.rc, -1);
    EXPECT_NE(r.why.find(c.reason), std::string::npos) << r.why;
}

INSTANTIATE_TEST_SUITE_P(
    Table, SysopNetworkRefusal,
    ::testing::Values(refusal_case{"misspelt key", "lokc = yes\n", {}, "door.conf:1: unknown key \"lokc\""},
                      refusal_case{"line without =", "\nlock\n", {}, "door.conf:2: expected key = value"},
                      refusal_case{"flag neither yes nor no", "lock = maybe\n", {}, "neither yes nor no"},
                      refusal_case{"port out of range", "", {"--port", "70000"}, "--port: port must be"},
                      refusal_case{"port with junk", "", {"--port=66a"}, "port must be"},
                      refusal_case{"missing value", "", {"--server"}, "--server needs a value"},
                      refusal_case{"server too long", "", {"--server", std::string(200, 'h')}, "server must be"},
                      refusal_case{"missing file", "", {"--config", "/nonexistent/door.conf"}, "Cannot read"}),
    [](const auto &p) { return "case" + std::to_string(p.index); });

TEST(SysopNetwork, ApplySetsTheNetworkAndKeepsNickAndLabel)
{
    sysop_network net{};
    sysop_network_defaults(&net);
    server_entry e{};
    std::snprintf(e.label, sizeof e.label, "%s", "BBS Door Session");
    std::snprintf(e.nick, sizeof e.nick, "%s", "Ada");
    std::snprintf(e.password, sizeof e.password, "%s", "caller's");
    sysop_network_apply(&net, &e);
    EXPECT_STREQ(e.server, PUBLIC_IRC_HOST);
    EXPECT_EQ(e.port, 6667);
    EXPECT_STREQ(e.channel, "##chat");
    EXPECT_STREQ(e.password, "");
    EXPECT_STREQ(e.nick, "Ada");
    EXPECT_STREQ(e.label, "BBS Door Session");
}

} // namespace

// The IRC client library and its host program, chanlog, against ngIRCd on
// loopback: plain and TLS connections with a self-signed certificate, a
// CTCP VERSION answered to another user, and a reconnect after the server
// went away and came back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <memory>
#include <ostream>
#include <poll.h>
#include <string>

#include "chat/ircclient/irc_client.h"
#include "tests/chat/ircclient/certificate_fingerprint.h"
#include "tests/chat/ircclient/client_events.h"
#include "tests/support/ircd_server.h"
#include "tests/support/pty_process.h"
#include "tests/support/temp_dir.h"

namespace {

using ::testing::HasSubstr;

using client_ptr = std::unique_ptr<irc_client, void (*)(irc_client *)>;

// A library client with its callbacks recorded.
struct live_client {
    client_events events;
    client_ptr client{irc_client_create(), irc_client_destroy};

    live_client() { events.attach(client.get()); }
    irc_client *get() { return client.get(); }
};

// Waits until the client's own JOIN of channel came back from the server
// (the user name is the nick the client first registered with).
bool wait_joined(live_client &c, const std::string &nick, const std::string &channel, const std::string &user = "")
{
    return c.events.wait_status(":" + nick + "!~" + (user.empty() ? nick : user) + "@127.0.0.1 JOIN :" + channel,
                                10000);
}

TEST(NgircdClient, RegistersJoinsAndTalks)
{
    ngircd_server server;
    ASSERT_TRUE(server.ready()) << server.dir();
    live_client ann;
    live_client bob;
    ASSERT_EQ(irc_client_connect(ann.get(), "127.0.0.1", server.port(), "ann", "#test", 0), 0);
    ASSERT_TRUE(wait_joined(ann, "ann", "#test"));
    ASSERT_EQ(irc_client_connect(bob.get(), "127.0.0.1", server.port(), "bob", "#test", 0), 0);
    ASSERT_TRUE(wait_joined(bob, "bob", "#test"));
    EXPECT_TRUE(bob.events.wait_names(1));
    EXPECT_THAT(bob.events.names().at(0), HasSubstr("#test|2|"));

    EXPECT_EQ(irc_send_message(ann.get(), "#test", "hello bob"), 0);
    EXPECT_TRUE(bob.events.wait_message("#test|ann|hello bob"));
    EXPECT_EQ(irc_send_message(bob.get(), "ann", "psst"), 0);
    EXPECT_TRUE(ann.events.wait_message("ann|bob|psst"));

    // A second "ann" gets a new nick and still joins.
    live_client other;
    ASSERT_EQ(irc_client_connect(other.get(), "127.0.0.1", server.port(), "ann", "#test", 0), 0);
    EXPECT_TRUE(other.events.wait_status(":irc.test.local 433 * ann :Nickname already in use", 10000));
    char nick[64] = "";
    for (int i = 0; i < 500 && std::string(nick).rfind("ann_", 0) != 0; ++i) {
        irc_client_get_nick(other.get(), nick, sizeof nick);
        poll(nullptr, 0, 10);
    }
    EXPECT_THAT(nick, ::testing::MatchesRegex("ann_[0-9]+"));
    EXPECT_TRUE(wait_joined(other, nick, "#test", "ann"));
}

struct tls_case {
    const char *name;
    std::function<void(irc_client *, const ngircd_server &)> trust;
    bool connects;
};

void PrintTo(const tls_case &c, std::ostream *out)
{
    *out << c.name;
}

class NgircdTls : public ::testing::TestWithParam<tls_case> {};

TEST_P(NgircdTls, SelfSignedCertificate)
{
    ngircd_server server(true);
    ASSERT_TRUE(server.ready()) << server.dir();
    live_client c;
    GetParam().trust(c.get(), server);
    const int rc = irc_client_connect(c.get(), "127.0.0.1", server.tls_port(), "tess", "#tls", 1);
    if (!GetParam().connects) {
        EXPECT_EQ(rc, -1);
        EXPECT_THAT(c.events.status(), ::testing::ElementsAre("SSL/TLS handshake failed: TLS certificate not "
                                                              "trusted: self-signed certificate"));
        return;
    }
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(c.get()->tls_active, 1);
    EXPECT_TRUE(wait_joined(c, "tess", "#tls"));
}

INSTANTIATE_TEST_SUITE_P(
    Trust, NgircdTls,
    ::testing::Values(
        tls_case{"RefusedByDefault", [](irc_client *, const ngircd_server &) {}, false},
        tls_case{"CaFile",
                 [](irc_client *c, const ngircd_server &s) { irc_client_trust_ca_file(c, s.cert_file().c_str()); },
                 true},
        tls_case{"Pin",
                 [](irc_client *c, const ngircd_server &s) {
                     irc_client_pin_certificate(c, certificate_fingerprint(s.cert_file(), "").c_str());
                 },
                 true},
        tls_case{"VerificationOff", [](irc_client *c, const ngircd_server &) { irc_client_set_tls_verify(c, 0); },
                 true}),
    [](const auto &test) { return std::string(test.param.name); });

// chanlog in a terminal of its own, as someone would run it.
class Chanlog : public ::testing::Test {
protected:
    void start(const std::vector<std::string> &extra = {})
    {
        std::vector<std::string> argv{CHANLOG_PATH,     "--server", "127.0.0.1", "--port", std::to_string(server.port()),
                                      "--nick",         "logger",   "--channel", "#test",  "--log",
                                      dir.file("s.log"), "--reconnect-delay", "1"};
        argv.insert(argv.end(), extra.begin(), extra.end());
        testsupport::pty_options wide;
        wide.cols = 200;
        wide.rows = 50;
        run = std::make_unique<testsupport::pty_process>(argv, wide);
    }

    int count(const std::string &text)
    {
        int n = 0;
        for (std::size_t at = run->output().find(text); at != std::string::npos; at = run->output().find(text, at + 1)) {
            ++n;
        }
        return n;
    }

    bool wait_count(const std::string &text, int at_least, int timeout_ms = 20000)
    {
        return run->wait_until([&] { return count(text) >= at_least; }, std::chrono::milliseconds(timeout_ms));
    }

    ngircd_server server;
    testsupport::temp_dir dir;
    std::unique_ptr<testsupport::pty_process> run;
};

const std::string LOGGER_JOINED = "* :logger!~logger@127.0.0.1 JOIN :#test";

TEST_F(Chanlog, LogsAnswersCtcpAndComesBackAfterAServerRestart)
{
    ASSERT_TRUE(server.ready()) << server.dir();
    start();
    ASSERT_TRUE(wait_count(LOGGER_JOINED, 1)) << run->output();

    live_client asker;
    ASSERT_EQ(irc_client_connect(asker.get(), "127.0.0.1", server.port(), "asker", "#test", 0), 0);
    ASSERT_TRUE(wait_joined(asker, "asker", "#test"));
    EXPECT_EQ(irc_send_message(asker.get(), "#test", "for the record"), 0);
    EXPECT_TRUE(wait_count("#test <asker> for the record", 1)) << run->output();
    // Escapes from the channel reach the watching terminal only as pictures.
    EXPECT_EQ(irc_send_message(asker.get(), "#test", "\x1b[2J\x02wiped"), 0);
    EXPECT_TRUE(wait_count("#test <asker> \xe2\x90\x9b[2Jwiped", 1)) << run->output();
    EXPECT_EQ(count("\x1b"), 0);

    EXPECT_EQ(irc_send_message(asker.get(), "logger", "\x01VERSION\x01"), 0);
    EXPECT_TRUE(asker.events.wait_status(
        ":logger!~logger@127.0.0.1 NOTICE asker :\x01VERSION Vexon IRC Client 3.1\x01", 10000));
    EXPECT_EQ(irc_send_message(asker.get(), "logger", "\x01PING 4242\x01"), 0);
    EXPECT_TRUE(asker.events.wait_status(":logger!~logger@127.0.0.1 NOTICE asker :\x01PING 4242\x01", 10000));

    server.shut_down();
    EXPECT_TRUE(wait_count("* Disconnected from server", 1)) << run->output();
    ASSERT_TRUE(server.start_again());
    EXPECT_TRUE(wait_count("* Reconnect attempt ", 1)) << run->output();
    EXPECT_TRUE(wait_count(LOGGER_JOINED, 2)) << run->output();

    kill(run->pid(), SIGTERM);
    EXPECT_EQ(run->wait_exit(std::chrono::milliseconds(10000)), 0);
    const std::string log = testsupport::read_file(dir.file("s.log"));
    EXPECT_THAT(log, HasSubstr("] <asker> for the record\n"));
    EXPECT_THAT(log, HasSubstr("] [SEND] NOTICE asker :\x01VERSION Vexon IRC Client 3.1\x01\r\n"));
    EXPECT_THAT(log, HasSubstr("=== Session ended ===\n"));
}

TEST_F(Chanlog, GivesUpWhenTheServerCannotBeReached)
{
    ASSERT_TRUE(server.ready());
    server.shut_down();
    start();
    EXPECT_EQ(run->wait_exit(std::chrono::milliseconds(20000)), 1);
    EXPECT_THAT(run->output(), HasSubstr("* Failed to connect to server"));
}

} // namespace

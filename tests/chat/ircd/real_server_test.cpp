// Whole conversations with real servers started on loopback.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/chat/ircd/live_session.h"
#include "tests/support/ircd_server.h"

namespace {

const std::string SASL_FAILED = "*|SASL authentication failed \xe2\x80\x94 check password";

TEST(Ngircd, TwoSessionsTalkInOneChannel)
{
    ngircd_server server;
    ASSERT_TRUE(server.ready()) << server.dir();
    live_session ann;
    live_session bob;
    ASSERT_EQ(irc_connect_server(ann.get(), "127.0.0.1", server.port(), "ann", "#test", 0, ""), 0);
    ASSERT_TRUE(ann.wait_row("*|Connected to 127.0.0.1:"));
    ASSERT_TRUE(ann.wait_user("ann"));
    ASSERT_EQ(irc_connect_server(bob.get(), "127.0.0.1", server.port(), "bob", "#test", 0, ""), 0);
    ASSERT_TRUE(bob.wait_row("*|Connected to"));

    // Each sees the other in the nick list.
    EXPECT_TRUE(ann.wait_user("bob"));
    EXPECT_TRUE(bob.wait_user("ann"));
    EXPECT_TRUE(ann.wait_row("*|bob has joined #test"));

    EXPECT_EQ(irc_handle_command(ann.get(), "hello from ann"), 0);
    EXPECT_TRUE(bob.wait_row("ann|hello from ann"));
    EXPECT_EQ(irc_handle_command(bob.get(), "/msg ann psst"), 0);
    EXPECT_TRUE(ann.wait_row("bob|psst"));
    EXPECT_TRUE(bob.wait_row("ann|psst"));   // own echo, under its recipient

    EXPECT_EQ(irc_handle_command(bob.get(), "/part"), 0);
    EXPECT_TRUE(ann.wait_row("*|bob has left #test"));
    const auto users_changed = [&] {
        const auto guard = irc_lock(ann.get());
        return ann.get()->users_dirty == 1;
    };
    EXPECT_TRUE(live_session::wait([&] { return users_changed() && !ann.wait_user("bob", 0); }, 5000));

    EXPECT_EQ(irc_handle_command(bob.get(), "/join #test"), 0);
    EXPECT_TRUE(ann.wait_user("bob"));
    irc_disconnect(bob.get(), "Bye");
    EXPECT_TRUE(ann.wait_row("*|bob has left #test (quit: \"Bye\")"));
    EXPECT_EQ(bob.rows().back(), "*|Disconnected from server");
}

TEST(Ngircd, NickInUseIsRetried)
{
    ngircd_server server;
    ASSERT_TRUE(server.ready());
    live_session first;
    live_session second;
    ASSERT_EQ(irc_connect_server(first.get(), "127.0.0.1", server.port(), "same", "", 0, ""), 0);
    ASSERT_TRUE(first.wait_row("*|Connected to"));
    ASSERT_EQ(irc_connect_server(second.get(), "127.0.0.1", server.port(), "same", "", 0, ""), 0);
    EXPECT_TRUE(second.wait_row("*|same: Nickname already in use"));
    EXPECT_TRUE(second.wait_row("*|Connected to 127.0.0.1:" + std::to_string(server.port()) + " as same_"));
}

TEST(Ngircd, PasswordWithoutSaslStillRegisters)
{
    ngircd_server server;
    ASSERT_TRUE(server.ready());
    live_session s;
    ASSERT_EQ(irc_connect_server(s.get(), "127.0.0.1", server.port(), "carl", "", 0, "pw"), 0);
    EXPECT_TRUE(s.wait_row("*|Server doesn't support SASL \xe2\x80\x94 connecting without auth"));
    EXPECT_TRUE(s.wait_row("*|Connected to"));
}

class Sasl : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = new sasl_ircd_server(); }
    static void TearDownTestSuite()
    {
        delete server_;
        server_ = nullptr;
    }
    static sasl_ircd_server *server_;
};

sasl_ircd_server *Sasl::server_ = nullptr;

TEST_F(Sasl, RightPasswordLogsIn)
{
    ASSERT_TRUE(server_->ready()) << server_->dir();
    live_session s;
    ASSERT_EQ(irc_connect_server(s.get(), "127.0.0.1", server_->port(), sasl_ircd_server::ACCOUNT, "#test", 0,
                                 sasl_ircd_server::PASSWORD),
              0);
    EXPECT_TRUE(s.wait_row("*|SASL authentication successful"));
    EXPECT_TRUE(s.wait_row("*|Connected to"));
    EXPECT_TRUE(s.wait_user(sasl_ircd_server::ACCOUNT));
}

TEST_F(Sasl, WrongPasswordFailsButRegisters)
{
    ASSERT_TRUE(server_->ready()) << server_->dir();
    live_session s;
    ASSERT_EQ(irc_connect_server(s.get(), "127.0.0.1", server_->port(), sasl_ircd_server::ACCOUNT, "", 0, "wrong"), 0);
    EXPECT_TRUE(s.wait_row(SASL_FAILED));
    EXPECT_TRUE(s.wait_row("*|Connected to"));
}

class Tls : public ::testing::Test {
protected:
    void TearDown() override { unsetenv("IRCDOOR_CA_FILE"); }
};

TEST_F(Tls, SelfSignedServerIsRefused)
{
    ngircd_server server(true);
    ASSERT_TRUE(server.ready()) << server.dir();
    live_session s;
    EXPECT_EQ(irc_connect_server(s.get(), "127.0.0.1", server.tls_port(), "tina", "", 1, ""), -1);
    const auto rows = s.rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], "*|Connection failed");
    EXPECT_EQ(rows[1], "*|TLS certificate not trusted: self-signed certificate");
}

TEST_F(Tls, TrustedCertificateFileLetsItThrough)
{
    ngircd_server server(true);
    ASSERT_TRUE(server.ready()) << server.dir();
    setenv("IRCDOOR_CA_FILE", server.cert_file().c_str(), 1);
    live_session a;
    live_session b;
    ASSERT_EQ(irc_connect_server(a.get(), "127.0.0.1", server.tls_port(), "tina", "#tls", 1, ""), 0);
    ASSERT_EQ(irc_connect_server(b.get(), "localhost", server.tls_port(), "tom", "#tls", 1, ""), 0);
    ASSERT_TRUE(a.wait_row("*|Connected to 127.0.0.1:"));
    ASSERT_TRUE(b.wait_user("tina"));
    EXPECT_EQ(irc_handle_command(b.get(), "over tls"), 0);
    EXPECT_TRUE(a.wait_row("tom|over tls"));
}

TEST_F(Tls, PlainServerOnTlsIsAFailedConnect)
{
    ngircd_server server;
    ASSERT_TRUE(server.ready());
    live_session s;
    const int saved = g_irc_connect_timeout_ms;
    g_irc_connect_timeout_ms = 500;
    EXPECT_EQ(irc_connect_server(s.get(), "127.0.0.1", server.port(), "tina", "", 1, ""), -1);
    g_irc_connect_timeout_ms = saved;
    const auto rows = s.rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1], "*|TLS handshake with 127.0.0.1 timed out");
}

} // namespace

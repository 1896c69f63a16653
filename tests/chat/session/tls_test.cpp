// Certificate checks of a TLS connection against a loopback TLS peer.
#include <cstdlib>
#include <string>

#include "tests/chat/session/session_fixture.h"

namespace {

class TlsSession : public SessionTest {
protected:
    void TearDown() override
    {
        SessionTest::TearDown();
        unsetenv("IRCDOOR_CA_FILE");
    }

    // Connects to the TLS peer as host; the connect's result.
    int connect_as(const char *host)
    {
        return irc_connect_server(s(), host, tls_.port(), "n", "#c", 1, "");
    }

    script_server tls_{true};
};

TEST_F(TlsSession, SelfSignedCertificateIsRefusedWithTheReason)
{
    EXPECT_EQ(connect_as("127.0.0.1"), -1);
    EXPECT_FALSE(tls_.accept_client());
    const auto rows = scrollback();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], "*|Connection failed");
    EXPECT_EQ(rows[1], "*|TLS certificate not trusted: self-signed certificate");
    EXPECT_EQ(s()->socket, -1);
}

TEST_F(TlsSession, TrustedCertificateRegistersOverTls)
{
    setenv("IRCDOOR_CA_FILE", tls_.cert_file().c_str(), 1);
    ASSERT_EQ(connect_as("127.0.0.1"), 0);
    ASSERT_TRUE(tls_.accept_client());
    EXPECT_EQ(tls_.next_line(), "CAP LS 302");
    EXPECT_EQ(tls_.next_line(), "NICK n");
    EXPECT_EQ(tls_.next_line(), "USER n 0 * :Vexon IRC Client");
    tls_.send_line(":srv 001 n :Welcome");
    EXPECT_EQ(tls_.lines_before_pong("sync"), "JOIN #c\n");
}

TEST_F(TlsSession, TrustedCertificateForAnotherNameIsRefused)
{
    setenv("IRCDOOR_CA_FILE", tls_.cert_file().c_str(), 1);
    EXPECT_EQ(connect_as("localhost"), -1);
    EXPECT_EQ(last_row(), "*|TLS certificate not trusted: hostname mismatch");
}

TEST_F(TlsSession, UnreadableTrustFileIsAFailedConnect)
{
    setenv("IRCDOOR_CA_FILE", "/nonexistent/ca.pem", 1);
    EXPECT_EQ(connect_as("127.0.0.1"), -1);
    EXPECT_EQ(last_row(), "*|Cannot read the certificates in IRCDOOR_CA_FILE (/nonexistent/ca.pem)");
}

} // namespace

// The life of a connection: disconnecting from a callback, losing it, the
// reconnect policy, the session log, and TLS trust.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "chat/ircclient/client_internal.h"
#include "tests/chat/ircclient/certificate_fingerprint.h"
#include "tests/chat/ircclient/client_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

std::string read_all(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Waits (bounded) until the file at path contains text.
bool wait_file_contains(const std::string &path, const std::string &text, int timeout_ms = 5000)
{
    for (int waited = 0; waited <= timeout_ms; waited += 10) {
        if (read_all(path).find(text) != std::string::npos) {
            return true;
        }
        poll(nullptr, 0, 10);
    }
    return false;
}

TEST_F(ClientTest, DisconnectFromInsideACallback)
{
    irc_set_message_callback(client(), [](irc_client *c, const char *, const char *, const char *text) {
        if (std::string(text) == "leave") {
            irc_client_disconnect(c);
        }
    });
    connect_registered();
    server_.send_line(":bob!b@h PRIVMSG n :leave");
    EXPECT_EQ(server_.next_line(), "QUIT :Disconnecting");
    EXPECT_EQ(server_.next_line(), std::nullopt);   // the connection closes
    EXPECT_EQ(irc_client_is_connected(client()), 0);
    EXPECT_EQ(irc_send_command(client(), "PING :x"), -1);

    // The client connects again afterwards as if nothing happened.
    connect_registered();
    EXPECT_EQ(sync(), "");
}

TEST_F(ClientTest, ReconnectPauseGrowsAndThePolicyGivesUpAfterTenFailures)
{
    auto server = std::make_unique<script_server>();
    ASSERT_EQ(irc_client_connect(client(), "127.0.0.1", server->port(), "n", "#c", 0), 0);
    ASSERT_TRUE(server->accept_client());
    EXPECT_EQ(irc_client_should_attempt_reconnect(client()), 0);   // connected

    server.reset();   // the connection drops and nothing listens any more
    ASSERT_TRUE(events_.wait_status("Disconnected from server"));
    EXPECT_EQ(irc_client_seconds_until_reconnect(client()), 5);
    EXPECT_EQ(irc_client_should_attempt_reconnect(client()), 0);
    g_fake_now += 4;
    EXPECT_EQ(irc_client_seconds_until_reconnect(client()), 1);
    EXPECT_EQ(irc_client_should_attempt_reconnect(client()), 0);

    // Each failure doubles the pause, up to five minutes.
    const int pauses[] = {10, 20, 40, 80, 160, 300, 300, 300, 300};
    std::vector<std::string> attempts;
    g_fake_now += 1;
    for (int i = 1; i <= 10; ++i) {
        ASSERT_EQ(irc_client_should_attempt_reconnect(client()), 1) << "attempt " << i;
        EXPECT_EQ(irc_client_reconnect(client()), -1);
        attempts.push_back("Reconnect attempt " + std::to_string(i) + "/10...");
        if (i < 10) {
            EXPECT_EQ(irc_client_seconds_until_reconnect(client()), pauses[i - 1]) << "after attempt " << i;
            g_fake_now += pauses[i - 1] - 1;
            EXPECT_EQ(irc_client_should_attempt_reconnect(client()), 0) << "attempt " << i + 1 << " too early";
            g_fake_now += 1;
        }
    }
    g_fake_now += 3600;
    EXPECT_EQ(irc_client_should_attempt_reconnect(client()), 0);
    for (const std::string &a : attempts) {
        EXPECT_THAT(events_.status(), Contains(a));
    }
    EXPECT_THAT(events_.status(), Not(Contains("Reconnect attempt 11/10...")));
}

TEST_F(ClientTest, LostConnectionIsReconnectedWithTheSavedArguments)
{
    connect_registered("ann", "#room");
    server_.send_line(":srv 001 ann :Welcome");
    server_.close_client();
    ASSERT_TRUE(events_.wait_status("Disconnected from server"));
    g_fake_now += 5;
    ASSERT_EQ(irc_client_should_attempt_reconnect(client()), 1);
    ASSERT_EQ(irc_client_reconnect(client()), 0);
    ASSERT_TRUE(server_.accept_client());
    expect_sent({"CAP LS 302", "NICK ann", "USER ann" + std::string(USER_LINE_TAIL)});
    server_.send_line(":srv 001 ann :Welcome");
    server_.send_line(":srv 422 ann :No MOTD");
    EXPECT_EQ(sync(), "CAP END\nJOIN #room\n");
    EXPECT_EQ(irc_client_should_attempt_reconnect(client()), 0);
    EXPECT_EQ(irc_client_seconds_until_reconnect(client()), 0);
}

TEST_F(ClientTest, HostDisconnectSchedulesNoReconnect)
{
    connect_registered();
    irc_client_disconnect(client());
    g_fake_now += 60;
    EXPECT_EQ(irc_client_should_attempt_reconnect(client()), 0);
    EXPECT_THAT(events_.status(), Not(Contains("Disconnected from server")));
}

TEST_F(ClientTest, OnlyTheFirstLossOfAConnectionIsReported)
{
    testsupport::temp_dir dir;
    const std::string log = dir.file("session.log");
    ASSERT_EQ(irc_logger_init(&client()->log, log.c_str()), 0);
    connect_registered();
    // Our side can no longer send, while receiving still works.
    ASSERT_EQ(shutdown(client()->socket, SHUT_WR), 0);
    EXPECT_EQ(irc_send_command(client(), "PRIVMSG #c :hello"), -1);
    ASSERT_TRUE(wait_file_contains(log, "] Disconnected from server\n"));
    EXPECT_THAT(events_.status(), Contains("Connection lost while sending"));
    EXPECT_THAT(events_.status(), Not(Contains("Disconnected from server")));
    EXPECT_THAT(read_all(log), HasSubstr("] Connection lost while sending\n"));
}

TEST_F(ClientTest, SessionLogIsPrivateAndHoldsNoSecrets)
{
    testsupport::temp_dir dir;
    const std::string log = dir.file("session.log");
    ASSERT_EQ(irc_logger_init(&client()->log, log.c_str()), 0);
    struct stat st {};
    ASSERT_EQ(stat(log.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    connect_registered();
    irc_send_command(client(), "PASS s3cret-pass");
    irc_send_command(client(), "AUTHENTICATE bm90LWEtc2VjcmV0");
    irc_send_command(client(), "OPER root s3cret-oper");
    irc_send_message(client(), "NickServ", "IDENTIFY s3cret-ident");
    irc_send_command(client(), "PRIVMSG nickserv@services.net :identify n s3cret-ns");
    irc_send_command(client(), "NICKSERV IDENTIFY s3cret-alias");
    irc_send_message(client(), "#c", "hello all");
    server_.send_line(":bob!b@h PRIVMSG #c :hi n");
    sync();
    irc_client_disconnect(client());
    irc_logger_cleanup(&client()->log);

    const std::string text = read_all(log);
    EXPECT_THAT(text, Not(HasSubstr("s3cret")));
    EXPECT_THAT(text, Not(HasSubstr("bm90LWEtc2VjcmV0")));
    for (const char *want :
         {"\n=== Session started ", "] Connected to 127.0.0.1:", "] [SEND] NICK n\r\n", "] [SEND] PASS ****\r\n",
          "] [SEND] AUTHENTICATE ****\r\n", "] [SEND] PRIVMSG NickServ :IDENTIFY ****\r\n",
          "] <n> IDENTIFY ****\n", "] [SEND] NICKSERV IDENTIFY ****\r\n", "] <n> hello all\n", "] <bob> hi n\n",
          "] [RECV ", "] Disconnected\n", "=== Session ended ===\n\n"}) {
        EXPECT_THAT(text, HasSubstr(want));
    }
}

class TlsTrust : public ClientTest {
protected:
    int connect_tls() { return irc_client_connect(client(), "127.0.0.1", tls_.port(), "n", "#c", 1); }

    void expect_registered_over_tls()
    {
        ASSERT_TRUE(tls_.accept_client());
        EXPECT_EQ(tls_.next_line(), "CAP LS 302");
        EXPECT_EQ(client()->tls_active, 1);
    }

    script_server tls_{true};
};

TEST_F(TlsTrust, SelfSignedCertificateIsRefusedByDefault)
{
    EXPECT_EQ(connect_tls(), -1);
    EXPECT_FALSE(tls_.accept_client());
    EXPECT_THAT(events_.status(),
                ElementsAre("SSL/TLS handshake failed: TLS certificate not trusted: self-signed certificate"));
    EXPECT_EQ(irc_client_is_connected(client()), 0);
}

TEST_F(TlsTrust, TrustedCaFileIsAccepted)
{
    ASSERT_EQ(irc_client_trust_ca_file(client(), tls_.cert_file().c_str()), 0);
    ASSERT_EQ(connect_tls(), 0);
    expect_registered_over_tls();
}

TEST_F(TlsTrust, PinnedCertificateIsAccepted)
{
    ASSERT_EQ(irc_client_pin_certificate(client(), certificate_fingerprint(tls_.cert_file()).c_str()), 0);
    ASSERT_EQ(connect_tls(), 0);
    expect_registered_over_tls();
}

TEST_F(TlsTrust, VerificationSwitchedOffAcceptsAnyCertificate)
{
    irc_client_set_tls_verify(client(), 0);
    ASSERT_EQ(connect_tls(), 0);
    expect_registered_over_tls();
}

TEST_F(TlsTrust, AnotherPinIsRefused)
{
    ASSERT_EQ(irc_client_pin_certificate(client(), std::string(64, 'a').c_str()), 0);
    EXPECT_EQ(connect_tls(), -1);
    EXPECT_THAT(events_.status(),
                ElementsAre("SSL/TLS handshake failed: TLS certificate does not match the pinned fingerprint"));
}

TEST_F(TlsTrust, UnreadableCaFileIsAFailedConnect)
{
    ASSERT_EQ(irc_client_trust_ca_file(client(), "/nonexistent/ca.pem"), 0);
    EXPECT_EQ(connect_tls(), -1);
    EXPECT_THAT(events_.status(),
                ElementsAre("SSL/TLS handshake failed: Cannot read the certificates in /nonexistent/ca.pem"));
}

TEST(TlsPin, MalformedFingerprintsAreRejected)
{
    std::unique_ptr<irc_client, void (*)(irc_client *)> c{irc_client_create(), irc_client_destroy};
    for (const std::string &bad : {std::string(63, 'a'), std::string(66, 'a'), std::string(64, 'g'),
                                   std::string("AB:C")}) {
        EXPECT_EQ(irc_client_pin_certificate(c.get(), bad.c_str()), -1) << bad;
    }
    EXPECT_EQ(irc_client_pin_certificate(c.get(), std::string(64, 'F').c_str()), 0);
    EXPECT_EQ(c->tls_pinned, 1);
    EXPECT_EQ(irc_client_pin_certificate(c.get(), ""), 0);
    EXPECT_EQ(c->tls_pinned, 0);
}

} // namespace

namespace {

// Lines as a server reads them: any run of white space, any target list, a
// source prefix, SQUERY, the services' own commands. The password never
// survives; ordinary talk is left alone.
TEST(LogMasking, SecretsAreFoundAsTheServerWouldReadTheLine)
{
    struct mask_case {
        const char *line;
        const char *logged;
    };
    const mask_case cases[] = {
        {"SQUERY NickServ :IDENTIFY pw1", "SQUERY NickServ :IDENTIFY ****"},
        {"PRIVMSG  NickServ :IDENTIFY pw2", "PRIVMSG  NickServ :IDENTIFY ****"},
        {"PRIVMSG\tNickServ\t:IDENTIFY pw3", "PRIVMSG\tNickServ\t:IDENTIFY ****"},
        {"PRIVMSG NickServ,ChanServ :IDENTIFY pw4", "PRIVMSG NickServ,ChanServ :IDENTIFY ****"},
        {"PRIVMSG #c,NickServ :IDENTIFY pw5", "PRIVMSG #c,NickServ :IDENTIFY ****"},
        {"PRIVMSG ChanServ :IDENTIFY #chan pw6", "PRIVMSG ChanServ :IDENTIFY ****"},
        {"privmsg nickserv :ghost n pw7", "privmsg nickserv :ghost ****"},
        {"PRIVMSG NickServ IDENTIFY pw8", "PRIVMSG NickServ IDENTIFY ****"},
        {":n!u@h PRIVMSG NickServ :REGISTER pw9 a@b", ":n!u@h PRIVMSG NickServ :REGISTER ****"},
        {"PRIVMSG Q@CServe.example :AUTH n pw10", "PRIVMSG Q@CServe.example :AUTH ****"},
        {"NOTICE x@channels.example :LOGIN n pw11", "NOTICE x@channels.example :LOGIN ****"},
        {"CS IDENTIFY #chan pw12", "CS IDENTIFY ****"},
        {"ns  identify pw13", "ns  identify ****"},
        {"IDENTIFY pw14", "IDENTIFY ****"},
        {"PASS :pw15", "PASS ****"},
        {"  OPER root pw16", "  OPER ****"},
        {"PRIVMSG #c :identify yourself", "PRIVMSG #c :identify yourself"},
        {"PRIVMSG #c :hello NickServ", "PRIVMSG #c :hello NickServ"},
        {"PRIVMSG bob :see you", "PRIVMSG bob :see you"},
        {"JOIN #c key", "JOIN #c key"},
    };
    for (const mask_case &c : cases) {
        char out[600];
        client_mask_secrets(c.line, out, sizeof out);
        EXPECT_STREQ(out, c.logged) << c.line;
    }
}

} // namespace

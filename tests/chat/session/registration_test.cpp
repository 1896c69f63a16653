// Registration, capability negotiation and SASL PLAIN against a scripted server.
#include <string>
#include <vector>

#include "tests/chat/session/session_fixture.h"

namespace {

TEST_F(SessionTest, WithoutPasswordRegistersAtOnce)
{
    connect("nick1", "#c", "");
    expect_sent({"CAP LS 302", "NICK nick1", "USER nick1 0 * :Vexon IRC Client"});
    // A later LS reply is closed with CAP END.
    server_.send_line(":srv CAP * LS :multi-prefix sasl");
    EXPECT_EQ(sync(), "CAP END\n");
}

TEST_F(SessionTest, WithPasswordOnlyAsksForCapabilities)
{
    connect("n", "#c", "pw");
    expect_sent({"CAP LS 302"});
    EXPECT_FALSE(server_.next_line(200).has_value());
}

// One SASL exchange: what the server says, what the client must answer.
struct sasl_step_case {
    const char *server_says;
    std::vector<std::string> client_answers;
};

struct sasl_case {
    const char *name;
    std::vector<sasl_step_case> steps;
    const char *message;   // the system line that ends the exchange
};

const std::vector<std::string> REGISTER = {"CAP END", "NICK n", "USER n 0 * :Vexon IRC Client"};

// "\0n\0pw" in Base64.
constexpr const char *CREDENTIALS = "AUTHENTICATE AG4AcHc=";

const sasl_case SASL_CASES[] = {
    {"Success",
     {{":srv CAP * LS :multi-prefix sasl=PLAIN ", {"CAP REQ :sasl"}},
      {":srv CAP * ACK :sasl", {"AUTHENTICATE PLAIN"}},
      {"AUTHENTICATE +", {CREDENTIALS}},
      {":srv 903 * :SASL authentication successful", REGISTER}},
     "SASL authentication successful"},
    {"PlusWithColonAndPrefix",
     {{":srv CAP * LS :sasl", {"CAP REQ :sasl"}},
      {":srv CAP * ACK :sasl", {"AUTHENTICATE PLAIN"}},
      {":srv AUTHENTICATE :+", {CREDENTIALS}},
      {":srv 903 * :ok", REGISTER}},
     "SASL authentication successful"},
    {"WrongPassword",
     {{":srv CAP * LS :sasl", {"CAP REQ :sasl"}},
      {":srv CAP * ACK :sasl", {"AUTHENTICATE PLAIN"}},
      {"AUTHENTICATE :+", {CREDENTIALS}},
      {":srv 904 * :SASL authentication failed", REGISTER}},
     "SASL authentication failed \xe2\x80\x94 check password"},
    {"Nak",
     {{":srv CAP * LS :sasl", {"CAP REQ :sasl"}}, {":srv CAP * NAK :sasl", REGISTER}},
     "SASL rejected by server \xe2\x80\x94 connecting without auth"},
    {"NoSaslOffered",
     {{":srv CAP * LS :multi-prefix away-notify", REGISTER}},
     "Server doesn't support SASL \xe2\x80\x94 connecting without auth"},
    {"LsOverSeveralLines",
     {{":srv CAP * LS * :multi-prefix away-notify", {}}, {":srv CAP * LS :sasl", {"CAP REQ :sasl"}},
      {":srv CAP * ACK :sasl", {"AUTHENTICATE PLAIN"}},
      {"AUTHENTICATE +", {CREDENTIALS}},
      {":srv 903 * :ok", REGISTER}},
     "SASL authentication successful"},
    {"CapUnknownToServer",
     {{":srv 421 * CAP :Unknown command", REGISTER}},
     "Server doesn't support SASL \xe2\x80\x94 connecting without auth"},
    {"PlusBeforeItIsAskedForIsIgnored",
     {{"AUTHENTICATE +", {}}, {":srv CAP * LS :sasl", {"CAP REQ :sasl"}}, {":srv CAP * NAK :sasl", REGISTER}},
     "SASL rejected by server \xe2\x80\x94 connecting without auth"},
};

class SaslExchange : public SessionTest, public ::testing::WithParamInterface<sasl_case> {};

TEST_P(SaslExchange, AnswersEveryStepAndRegistersInTheEnd)
{
    connect("n", "#c", "pw");
    expect_sent({"CAP LS 302"});
    for (const sasl_step_case &step : GetParam().steps) {
        server_.send_line(step.server_says);
        std::string want;
        for (const std::string &line : step.client_answers) {
            want += line + "\n";
        }
        EXPECT_EQ(sync(), want) << "after " << step.server_says;
    }
    EXPECT_TRUE(wait_until([](irc_session *x) { return x->sasl_state == SASL_DONE; }));
    EXPECT_EQ(last_row(), std::string("*|") + GetParam().message);

    // The exchange is over: a further LS is closed, a further NAK ignored.
    server_.send_line(":srv CAP * LS :sasl");
    server_.send_line(":srv CAP * NAK :sasl");
    EXPECT_EQ(sync(), "CAP END\n");
}

INSTANTIATE_TEST_SUITE_P(Branches, SaslExchange, ::testing::ValuesIn(SASL_CASES),
                         [](const auto &param_info) { return std::string(param_info.param.name); });

TEST_F(SessionTest, SilentServerGetsRegisteredAfterTheTimeLimit)
{
    const int saved = g_irc_cap_timeout_ms;
    g_irc_cap_timeout_ms = 150;
    connect("n", "#c", "pw");
    g_irc_cap_timeout_ms = saved;
    expect_sent({"CAP LS 302"});
    expect_sent({"CAP END", "NICK n", "USER n 0 * :Vexon IRC Client"});
    EXPECT_EQ(last_row(), "*|Server doesn't support SASL \xe2\x80\x94 connecting without auth");
}

TEST_F(SessionTest, CredentialsCarryNickAndPassword)
{
    // A one-character nick and a password of k bytes: k + 3 bytes before encoding.
    connect("n", "#c", "secret123");
    expect_sent({"CAP LS 302"});
    server_.send_line(":srv CAP * LS :sasl");
    server_.send_line(":srv CAP * ACK :sasl");
    server_.send_line("AUTHENTICATE +");
    EXPECT_EQ(sync(), "CAP REQ :sasl\nAUTHENTICATE PLAIN\nAUTHENTICATE AG4Ac2VjcmV0MTIz\n");
}

TEST_F(SessionTest, PingIsAnsweredWithItsText)
{
    connect_registered();
    server_.send_line("PING :abc");
    EXPECT_EQ(server_.next_line(), "PONG :abc");
    server_.send_line("PING irc.example.net");
    EXPECT_EQ(server_.next_line(), "PONG :irc.example.net");
}

TEST_F(SessionTest, WelcomeJoinsTheChannel)
{
    connect_registered("n", "#c");
    server_.send_line(":srv 001 n :Welcome");
    EXPECT_EQ(sync(), "JOIN #c\n");
    EXPECT_EQ(last_row(), "*|Connected to 127.0.0.1:" + std::to_string(server_.port()) + " as n");
}

TEST_F(SessionTest, WelcomeWithoutChannelJoinsNothing)
{
    connect_registered("n", "");
    server_.send_line(":srv 001 n :Welcome");
    EXPECT_EQ(sync(), "");
}

TEST_F(SessionTest, NickInUseIsRetriedWhileRegistering)
{
    connect_registered("n", "#c");
    server_.send_line(":srv 433 * n :Nickname is already in use");
    EXPECT_EQ(sync(), "NICK n_\n");
    EXPECT_EQ(last_row(), "*|n: Nickname is already in use");
    server_.send_line(":srv 433 * n_ :Nickname is already in use");
    server_.send_line(":srv 433 * n__ :Nickname is already in use");
    server_.send_line(":srv 433 * n___ :Nickname is already in use");
    EXPECT_EQ(sync(), "NICK n__\nNICK n___\n");   // a few times, then the user decides

    server_.send_line(":srv 001 n___ :Welcome");
    EXPECT_EQ(sync(), "JOIN #c\n");
    EXPECT_EQ(last_row(), "*|Connected to 127.0.0.1:" + std::to_string(server_.port()) + " as n___");
    server_.send_line(":srv 433 n___ other :Nickname is already in use");
    EXPECT_EQ(sync(), "");
}

} // namespace

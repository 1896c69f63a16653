// chanlog against servers and users that mean harm: escapes in every field
// it prints, a server that accepts and never speaks, a standard output
// nobody reads, a TLS handshake that never comes, and a crowd asking CTCP
// questions on a server with a network's flood limits.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "chat/ircclient/irc_client.h"
#include "tests/chat/ircclient/client_events.h"
#include "tests/chat/session/script_server.h"
#include "tests/support/ircd_server.h"
#include "tests/support/pty_process.h"
#include "tests/support/temp_dir.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using namespace std::chrono_literals;

std::vector<std::string> chanlog_args(int port, const testsupport::temp_dir &dir, std::vector<std::string> extra = {})
{
    std::vector<std::string> argv{CHANLOG_PATH, "--server", "127.0.0.1", "--port", std::to_string(port),
                                  "--nick", "logger", "--channel", "#test", "--log", dir.file("s.log"),
                                  "--reconnect-delay", "1"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    return argv;
}

std::unique_ptr<testsupport::pty_process> start_in_terminal(const std::vector<std::string> &argv)
{
    testsupport::pty_options wide;
    wide.cols = 200;
    wide.rows = 50;
    return std::make_unique<testsupport::pty_process>(argv, wide);
}

// Registers chanlog with a scripted server and lets it join.
void welcome(script_server &server)
{
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(server.next_line().has_value());
    }
    server.send_line(":srv 001 logger :Welcome");
    server.send_line(":srv 376 logger :End of MOTD");
}

TEST(ChanlogHostile, NothingFromTheNetworkReachesTheTerminalRaw)
{
    script_server server;
    testsupport::temp_dir dir;
    auto run = start_in_terminal(chanlog_args(server.port(), dir));
    ASSERT_TRUE(server.accept_client());
    welcome(server);
    // ESC, BEL and the C1 controls U+0085 and U+009B, in the sender, the
    // target, a CTCP request, a channel name, a names reply and a status line.
    const std::string lines[] = {
        ":ev\x1b[2Jil!u@h PRIVMSG #test :nick",
        ":eve!u@h PRIVMSG #te\x1b]2;PWNED\x07st :target",
        ":eve!u@h PRIVMSG logger :\x01\x1b]2;PWNED\x07\x1b[2J\x01",
        ":eve\xc2\x9b" "31m!u@h PRIVMSG logger :\x01VERSION\x01",
        ":srv 353 logger = #te\x1b[5mst :@a\x1b[2Jb +c\xc2\x9b" "1m d\x07",
        ":eve!u@h PRIVMSG #test :\xc2\x85 text \xc2\x9b" "31m",
        ":srv NOTICE logger :\x1b[2J status",
        ":eve!u@h PRIVMSG #test :done",
    };
    for (const std::string &line : lines) {
        server.send_line(line);
    }
    ASSERT_TRUE(run->wait_until([&] { return run->output().find("#test <eve> done") != std::string::npos; }, 10000ms))
        << run->output();
    const std::string &out = run->output();
    for (const std::string raw : {"\x1b", "\x07", "\xc2\x85", "\xc2\x9b"}) {
        EXPECT_THAT(out, Not(HasSubstr(raw))) << out;
    }
    // What they said still shows, as pictures.
    EXPECT_THAT(out, HasSubstr("* CTCP \xe2\x90\x9b]2;PWNED\xe2\x90\x87\xe2\x90\x9b[2J from eve"));
    EXPECT_THAT(out, HasSubstr("ev\xe2\x90\x9b[2Jil"));
}

TEST(ChanlogHostile, AServerThatNeverSpeaksIsLeftAndTriedAgain)
{
    script_server server;
    testsupport::temp_dir dir;
    auto run = start_in_terminal(chanlog_args(server.port(), dir, {"--limits", "500,60000,60000"}));
    ASSERT_TRUE(server.accept_client());
    EXPECT_TRUE(run->wait_until([&] { return run->output().find("* Registration timed out") != std::string::npos; },
                                10000ms))
        << run->output();
    EXPECT_TRUE(server.accept_client());
    EXPECT_TRUE(run->wait_until(
        [&] { return run->output().find("* Reconnect attempt 1/10...") != std::string::npos; }, 10000ms))
        << run->output();
}

TEST(ChanlogHostile, AServerThatGoesQuietIsPingedThenLeftAndTriedAgain)
{
    script_server server;
    testsupport::temp_dir dir;
    auto run = start_in_terminal(chanlog_args(server.port(), dir, {"--limits", "60000,300,300"}));
    ASSERT_TRUE(server.accept_client());
    welcome(server);
    EXPECT_EQ(server.next_line(), "CAP END");
    EXPECT_EQ(server.next_line(), "JOIN #test");
    const auto ping = server.next_line();
    ASSERT_TRUE(ping.has_value());
    EXPECT_EQ(ping->rfind("PING :", 0), 0u) << *ping;
    EXPECT_TRUE(run->wait_until(
        [&] { return run->output().find("* Ping timeout: the server stopped answering") != std::string::npos; },
        10000ms))
        << run->output();
    EXPECT_TRUE(server.accept_client());
}

// chanlog with its standard output on a pipe, for a reader that stopped.
class piped_chanlog {
public:
    explicit piped_chanlog(const std::vector<std::string> &argv)
    {
        if (pipe2(out_, O_CLOEXEC) != 0) {
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out_[1], STDOUT_FILENO);
            const int null = open("/dev/null", O_RDWR);
            dup2(null, STDIN_FILENO);
            dup2(null, STDERR_FILENO);
            std::vector<char *> args;
            for (const std::string &a : argv) {
                args.push_back(const_cast<char *>(a.c_str()));
            }
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
        close(out_[1]);
        out_[1] = -1;
    }
    ~piped_chanlog()
    {
        if (pid_ > 0 && !status_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_[0] >= 0) {
            close(out_[0]);
        }
    }

    pid_t pid() const { return pid_; }
    int unread_bytes() const
    {
        int n = 0;
        ioctl(out_[0], FIONREAD, &n);
        return n;
    }
    // The exit status within timeout, reading nothing meanwhile.
    std::optional<int> wait_exit(std::chrono::milliseconds timeout)
    {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (!status_ && std::chrono::steady_clock::now() < end) {
            int st = 0;
            if (waitpid(pid_, &st, WNOHANG) == pid_) {
                status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
                break;
            }
            poll(nullptr, 0, 10);
        }
        return status_;
    }

private:
    int out_[2] = {-1, -1};
    pid_t pid_ = -1;
    std::optional<int> status_;
};

TEST(ChanlogHostile, AStandardOutputNobodyReadsDoesNotHoldUpASignal)
{
    script_server server;
    testsupport::temp_dir dir;
    piped_chanlog run(chanlog_args(server.port(), dir));
    ASSERT_TRUE(server.accept_client());
    welcome(server);
    std::string flood;
    for (int i = 0; i < 3000; ++i) {
        flood += ":bob!b@h PRIVMSG #test :line " + std::to_string(i) + " " + std::string(60, 'f') + "\r\n";
    }
    server.send_raw(flood);
    // Wait (bounded) until the pipe is full and chanlog is stuck on it.
    for (int i = 0; i < 1000 && run.unread_bytes() < 60000; ++i) {
        poll(nullptr, 0, 10);
    }
    ASSERT_GE(run.unread_bytes(), 60000);
    const auto start = std::chrono::steady_clock::now();
    kill(run.pid(), SIGTERM);
    EXPECT_EQ(run.wait_exit(10000ms), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3000ms);
}

TEST(ChanlogHostile, ASignalDuringATlsHandshakeEndsItAtOnce)
{
    script_server server;   // speaks no TLS, and nothing else either
    testsupport::temp_dir dir;
    piped_chanlog run(chanlog_args(server.port(), dir, {"--tls", "--insecure"}));
    ASSERT_TRUE(server.accept_client());
    poll(nullptr, 0, 300);   // well into the handshake
    const auto start = std::chrono::steady_clock::now();
    kill(run.pid(), SIGTERM);
    EXPECT_EQ(run.wait_exit(20000ms), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3000ms);
}

bool wait_registered(irc_client *c)
{
    for (int i = 0; i < 1500; ++i) {
        {
            const std::lock_guard<std::mutex> guard(c->lock);
            if (c->registered != 0) {
                return true;
            }
        }
        poll(nullptr, 0, 10);
    }
    return false;
}

// Ten users ask ten CTCP questions each on a server that closes flooding
// clients: chanlog answers a few, stays, and goes on logging.
TEST(ChanlogHostile, ACrowdAskingCtcpGetsNoFloodBack)
{
    flood_ircd_server server;
    ASSERT_TRUE(server.ready()) << server.dir();
    testsupport::temp_dir dir;
    auto run = start_in_terminal(chanlog_args(server.port(), dir));
    ASSERT_TRUE(run->wait_until([&] { return run->output().find(" JOIN :#test") != std::string::npos; }, 15000ms))
        << run->output();

    // The askers keep to a pace this server accepts from them.
    const send_pace saved = g_send_pace;
    g_send_pace = {3, 2000};
    constexpr int ASKERS = 10;
    std::vector<std::unique_ptr<client_events>> events;
    std::vector<std::unique_ptr<irc_client, void (*)(irc_client *)>> askers;
    for (int i = 0; i < ASKERS; ++i) {
        events.push_back(std::make_unique<client_events>());
        askers.emplace_back(irc_client_create(), irc_client_destroy);
        events.back()->attach(askers.back().get());
        const std::string nick = "asker" + std::to_string(i);
        ASSERT_EQ(irc_client_connect(askers.back().get(), "127.0.0.1", server.port(), nick.c_str(), "#test", 0), 0);
    }
    for (auto &asker : askers) {
        ASSERT_TRUE(wait_registered(asker.get()));
    }
    for (int i = 0; i < ASKERS; ++i) {
        for (int q = 0; q < 10; ++q) {
            irc_send_message(askers[i].get(), "logger", ("\x01PING " + std::to_string(q) + "\x01").c_str());
        }
    }
    // Every question reached chanlog (its log shows them) ...
    const std::string last = "* CTCP PING from asker" + std::to_string(ASKERS - 1);
    EXPECT_TRUE(run->wait_until(
        [&] {
            int n = 0;
            for (std::size_t at = run->output().find("* CTCP PING from "); at != std::string::npos;
                 at = run->output().find("* CTCP PING from ", at + 1)) {
                ++n;
            }
            return n >= ASKERS * 10;
        },
        60000ms))
        << run->output();
    // ... and chanlog is still there to log the next message.
    irc_send_message(askers[0].get(), "#test", "still logging?");
    EXPECT_TRUE(run->wait_until(
        [&] { return run->output().find("#test <asker0> still logging?") != std::string::npos; }, 20000ms))
        << run->output();
    EXPECT_THAT(run->output(), Not(HasSubstr("Excess Flood")));
    EXPECT_THAT(run->output(), Not(HasSubstr("RecvQ exceeded")));
    EXPECT_THAT(run->output(), Not(HasSubstr("Disconnected from server")));
    EXPECT_THAT(run->output(), HasSubstr("(not answered: too many)"));
    g_send_pace = saved;
}

} // namespace

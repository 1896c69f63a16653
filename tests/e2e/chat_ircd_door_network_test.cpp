// ircdoor offered to anonymous callers through the door launcher, against a
// real ngIRCd: the sysop's server is the only one a door reaches, callers'
// saved servers are their own, a restarted server is reconnected to, and a
// code page 437 caller's letters reach others as UTF-8.
#include "tests/e2e/chat_line_server.h"
#include "tests/support/door_call.h"
#include "tests/support/ircd_server.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/stat.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using chat_e2e::irc_client;
using testsupport::door_caller;
using testsupport::door_launcher;

constexpr auto WAIT = 15s;   // for any one screen on a loaded machine

// A loopback port that counts the connections made to it: a service of the
// board that no caller may reach.
class probe_port {
public:
    probe_port()
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a = chat_e2e::loopback(0);
        socklen_t size = sizeof a;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(fd_, 8) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &size) == 0) {
            port_ = ntohs(a.sin_port);
        }
    }
    ~probe_port() { ::close(fd_); }
    int port() const { return port_; }
    // True when a connection is waiting to be accepted.
    bool was_reached() const
    {
        pollfd p{fd_, POLLIN, 0};
        return ::poll(&p, 1, 0) > 0;
    }

private:
    int fd_ = -1;
    int port_ = 0;
};

// A board offering ircdoor; callers give their names at the launcher's prompt.
struct chat_board {
    explicit chat_board(const std::vector<std::string>& door_args)
    {
        std::vector<std::string> args{DOOR_LAUNCHER_PATH, "--door", IRCDOOR_PATH, "--dir", dir.path(), "--port", "0",
                                      "--nodes", "4", "--"};
        args.insert(args.end(), door_args.begin(), door_args.end());
        board = std::make_unique<door_launcher>(args, std::vector<std::pair<std::string, std::string>>{{"HOME", dir.path()}});
        port = board->port();
    }
    // A caller who gives name and waits for the startup manager.
    std::unique_ptr<door_caller> call(const std::string& name)
    {
        auto caller = std::make_unique<door_caller>(port, 80, 24);
        if (caller->wait_for_raw("Your name: ", WAIT)) {
            caller->send(name + "\r");
        }
        caller->wait_for_text("BBS terminal mode enabled.", WAIT);
        return caller;
    }
    testsupport::temp_dir dir;
    std::unique_ptr<door_launcher> board;
    int port = -1;
};

std::vector<std::string> sysop_args(const ngircd_server& server, std::vector<std::string> more)
{
    std::vector<std::string> args{"--server", "127.0.0.1", "--port", std::to_string(server.port()), "--channel",
                                  "#lobby"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// True once the session is in its channel: the status bar says connected
// (as nick) and the channel's nick list shows the nick. (The status bar says
// so from the moment the connection stands, before the server lets us in;
// lines typed then would be refused.)
bool connected(door_caller& c, const std::string& nick = "Ada")
{
    const auto listed = [&] {
        for (int row = 2; row <= 20; ++row) {
            const std::string text = c.screen().row_text(row);
            for (const char* sign : {"", "@", "%", "+"}) {
                if (text.find("\u2551 " + std::string(sign) + nick + " ") != std::string::npos) {
                    return true;
                }
            }
        }
        return false;
    };
    return c.wait_until(
        [&] {
            return c.screen().row_text(21).find("@" + nick + " \u2551 CONNECTED \u2551") != std::string::npos && listed();
        },
        WAIT);
}

// The form's value of a field, rows counted from 0: Label on row 4, then every second row.
std::string form_value(door_caller& c, int field)
{
    return c.screen().text_at(10, 4 + 2 * field, 28);
}

// Moves the form's selection from Label to field and opens its editor.
std::string edit_keys(int field, const std::string& text)
{
    std::string keys(static_cast<std::size_t>(field), 'j');
    return keys + "\r" + std::string(40, '\b') + text + "\r";
}

// Asks the server for the channel's names until nick is among them.
// The caller's door, when given, is read between the questions, so its
// screen stays current for the failure message.
bool sees_in_channel(irc_client& client, const std::string& channel, const std::string& nick,
                     std::chrono::seconds within = 60s, door_caller* door = nullptr)
{
    const auto end = std::chrono::steady_clock::now() + within;
    while (std::chrono::steady_clock::now() < end) {
        client.send("NAMES " + channel);
        if (!client.wait_line(" 366 ", 5000ms, false)) {
            return false;
        }
        for (const std::string& line : client.lines()) {
            if (line.find(" 353 ") == std::string::npos || line.find(" " + channel + " :") == std::string::npos) {
                continue;
            }
            // The names after the colon, each perhaps with a mode sign.
            std::string names = " " + line.substr(line.find(" " + channel + " :") + channel.size() + 3) + " ";
            for (const char* sign : {"@", "+", "%"}) {
                for (auto at = names.find(std::string(" ") + sign); at != std::string::npos;
                     at = names.find(std::string(" ") + sign)) {
                    names.erase(at + 1, 1);
                }
            }
            if (names.find(" " + nick + " ") != std::string::npos) {
                return true;
            }
        }
        if (door != nullptr) {
            door->wait_until([] { return false; }, 500ms);
        } else {
            ::poll(nullptr, 0, 500);
        }
    }
    return false;
}

TEST(chat_door_network, LockedDoorReachesNothingButTheSysopsServer)
{
    ngircd_server server;
    ASSERT_TRUE(server.ready());
    probe_port mail;
    testsupport::temp_dir sysop;
    testsupport::write_file(sysop.file("door.conf"), "# the board's chat\nlock = yes\n");
    chat_board b(sysop_args(server, {"--config", sysop.file("door.conf")}));
    auto ada = b.call("Ada");
    ASSERT_TRUE(ada->screen().contains("BBS terminal mode enabled.")) << ada->screen().dump();

    // What the sysop set is what the form shows, and no key changes it.
    EXPECT_EQ(form_value(*ada, 1).substr(0, 10), "127.0.0.1 ") << ada->screen().dump();
    EXPECT_EQ(form_value(*ada, 2).substr(0, 6), std::to_string(server.port()) + " ");
    EXPECT_EQ(form_value(*ada, 4).substr(0, 7), "#lobby ");
    ada->send(edit_keys(1, "10.0.0.1"));
    ada->send("k" + edit_keys(2, std::to_string(mail.port())));
    ada->send("kk" + edit_keys(4, "#x9"));
    ada->send("kkkk" + std::string(5, 'j') + " ");   // Space on TLS
    ada->send("kkkkk" + edit_keys(3, "Ada"));         // the nick is the caller's to change
    ASSERT_TRUE(ada->wait_for_text("Nick", WAIT));
    ada->send("c");
    ASSERT_TRUE(connected(*ada)) << ada->screen().dump();
    EXPECT_NE(ada->screen().row_text(21).find("127.0.0.1:" + std::to_string(server.port())), std::string::npos);

    irc_client bob(server.port(), "bob", "#lobby");
    ASSERT_TRUE(bob.ready());
    // Commands that would make a client or a server open a connection
    // elsewhere go to the sysop's server as lines, if at all.
    const std::string probe = "127.0.0.1 " + std::to_string(mail.port());
    ada->send("/server " + probe + "\r/raw CONNECT " + probe + "\r/quote CONNECT " + probe + "\r");
    ada->send("/connect " + probe + "\r");
    ada->send("/raw PRIVMSG #lobby :done\r");
    ASSERT_TRUE(bob.wait_line("PRIVMSG #lobby :done", 10000ms, false));
    EXPECT_FALSE(mail.was_reached());
    EXPECT_FALSE(ada->screen().contains("10.0.0.1"));
}

TEST(chat_door_network, OpenDoorRefusesTheBoardsOwnNetworks)
{
    ngircd_server server;
    ASSERT_TRUE(server.ready());
    probe_port mail;
    chat_board b(sysop_args(server, {"--callers-choose-server"}));
    auto ada = b.call("Ada");

    struct attempt {
        std::string server;
        int port;
    };
    const attempt attempts[] = {
        {"127.0.0.1", mail.port()},   // the sysop's host, another port
        {"localhost", mail.port()},
        {"10.1.2.3", 6667},
        {"192.168.0.1", 6667},
        {"169.254.0.1", 6667},
    };
    for (const attempt& a : attempts) {
        ada->send(edit_keys(1, a.server) + "k" + edit_keys(2, std::to_string(a.port)) + "kk");
        ASSERT_TRUE(ada->wait_until([&] { return form_value(*ada, 1).rfind(a.server + " ", 0) == 0; }, WAIT))
            << ada->screen().dump();
        ada->send("c");
        EXPECT_TRUE(ada->wait_for_text("local or private network", WAIT)) << a.server << "\n" << ada->screen().dump();
        ada->send("k");   // clears the notice
        ASSERT_TRUE(ada->wait_until([&] { return !ada->screen().contains("local or private"); }, WAIT));
    }
    EXPECT_FALSE(mail.was_reached());

    // The sysop's own server is still open to them.
    ada->send(edit_keys(1, "127.0.0.1") + "k" + edit_keys(2, std::to_string(server.port())) + "c");
    EXPECT_TRUE(connected(*ada)) << ada->screen().dump();
}

TEST(chat_door_network, CallersSeeOnlyTheirOwnSavedServers)
{
    ngircd_server server;
    ASSERT_TRUE(server.ready());
    chat_board b(sysop_args(server, {"--saved-servers", "callers"}));
    {
        auto ada = b.call("Ada");
        ada->send(edit_keys(0, "Ada's corner") + "a");
        ASSERT_TRUE(ada->wait_for_text("Ada's corner", WAIT)) << ada->screen().dump();
        ASSERT_TRUE(ada->wait_until([&] { return ada->screen().row_text(6).find("3. Ada's corner") != std::string::npos; },
                                    WAIT))
            << "listed in the address book\n" << ada->screen().dump();
        ada->send("q");
        ASSERT_TRUE(b.board->wait_line("ended", WAIT));
    }
    auto zed = b.call("Zed");
    ASSERT_TRUE(zed->wait_for_text("ADDRESS BOOK", WAIT));
    EXPECT_FALSE(zed->screen().contains("Ada's corner")) << zed->screen().dump();

    struct stat st {};
    ASSERT_EQ(::stat(b.dir.file("callers/ada").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(chat_door_network, RestartedServerIsReconnectedAndBothChannelsRejoined)
{
    ngircd_server server;
    ASSERT_TRUE(server.ready());
    chat_board b(sysop_args(server, {}));
    auto ada = b.call("Ada");
    ada->send("c");
    ASSERT_TRUE(connected(*ada)) << ada->screen().dump();
    {
        irc_client cyd(server.port(), "cyd", "#second");
        ASSERT_TRUE(cyd.ready());
        ada->send("/join #second\r");
        ASSERT_TRUE(cyd.wait_line(":Ada!", 10000ms)) << ada->screen().dump();
    }

    server.shut_down();
    ASSERT_TRUE(ada->wait_for_text("reconnecting in", WAIT)) << ada->screen().dump();
    ada->send("lost words\r");
    EXPECT_TRUE(ada->wait_for_text("Not sent (not connected): lost words", WAIT)) << ada->screen().dump();
    ASSERT_TRUE(server.start_again());

    // The first pauses are 5 and 10 s with up to a quarter more.
    ASSERT_TRUE(ada->wait_until([&] { return ada->screen().row_text(21).find("\u2551 CONNECTED \u2551") != std::string::npos; },
                                60s))
        << ada->screen().dump();
    irc_client bob(server.port(), "bob", "#lobby");
    ASSERT_TRUE(bob.ready());
    // On a loaded machine an attempt can meet the server still starting up
    // and wait out the registration limit (a minute) before the next one, as
    // the door's policy means it to: the rejoin may come that much later.
    EXPECT_TRUE(sees_in_channel(bob, "#lobby", "Ada", 150s, ada.get())) << ada->screen().dump();
    EXPECT_TRUE(sees_in_channel(bob, "#second", "Ada", 60s, ada.get())) << ada->screen().dump();
}

TEST(chat_door_network, CodePage437LettersArriveAsUtf8InTheSixteenColourTheme)
{
    ngircd_server server;
    ASSERT_TRUE(server.ready());
    chat_board b(sysop_args(server, {}));
    auto ada = b.call("Ada");
    ada->send("c");
    ASSERT_TRUE(connected(*ada)) << ada->screen().dump();
    irc_client bob(server.port(), "bob", "#lobby");
    ASSERT_TRUE(bob.ready());

    // 130 is "é", 129 "ü", 225 "ß", 156 "£" on a code page 437 terminal.
    ada->send("caf\x82 \x81" "ber gro\xe1 \x9c" "5");
    EXPECT_TRUE(ada->wait_for_text("caf\u00e9 \u00fcber gro\u00df \u00a3" "5", WAIT)) << ada->screen().dump();
    ada->send("\r");
    EXPECT_TRUE(bob.wait_line("PRIVMSG #lobby :caf\u00e9 \u00fcber gro\u00df \u00a3" "5", 10000ms, false));

    EXPECT_EQ(ada->raw().find("\x1b[38;5"), std::string::npos) << "no 256-colour escape";
    EXPECT_EQ(ada->raw().find("\x1b[48;5"), std::string::npos);
}

}  // namespace

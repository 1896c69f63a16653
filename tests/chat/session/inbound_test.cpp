// How the network thread cuts and handles the lines it receives.
#include <string>
#include <vector>

#include "tests/chat/session/session_fixture.h"

namespace {

// True once the session answers a fresh PING; answers owed from before may
// come first.
bool answers_ping(script_server &server)
{
    server.send_line("PING :alive");
    while (const auto line = server.next_line()) {
        if (*line == "PONG :alive") {
            return true;
        }
    }
    return false;
}

using ::testing::ElementsAre;

TEST_F(SessionTest, MessagesReachTheScrollbackMarkedWithWhereTheyCameFrom)
{
    connect_registered("n", "#c");
    server_.send_line(":bob!~b@host.example PRIVMSG #c :hello: there");
    server_.send_line(":bob!~b@host.example PRIVMSG n :\x01" "ACTION waves\x01");
    server_.send_line(":bob!~b@host.example PRIVMSG #other no-colon");
    server_.send_line(":bob!~b@host.example PRIVMSG @#c :ops only");
    server_.send_line(":bob!~b@host.example PRIVMSG n :psst");
    server_.send_line(":bob!~b@host.example NOTICE #c :note");
    server_.send_line(":lonely");
    server_.send_line("PRIVMSG #c :no sender");
    EXPECT_EQ(sync(), "");
    EXPECT_THAT(scrollback(), ElementsAre("bob|hello: there", "bob|\x01" "ACTION waves\x01", "bob|no-colon",
                                          "bob|ops only", "bob|psst", "bob|note", "*|PRIVMSG #c :no sender"));
    struct expected { int kind; const char *where; };
    const expected rows[] = {{LINE_USER, "#c"},     {LINE_PRIVATE, ""}, {LINE_USER, "#other"}, {LINE_USER, "#c"},
                             {LINE_PRIVATE, ""},    {LINE_NOTICE, "#c"}, {LINE_SYSTEM, ""}};
    const auto guard = irc_lock(s());
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(irc_line_at(s(), i)->kind, rows[i].kind) << i;
        EXPECT_STREQ(irc_line_at(s(), i)->where, rows[i].where) << i;
    }
}

TEST_F(SessionTest, LinesSplitOverReceivesAndLineEndingsAllWork)
{
    connect_registered();
    server_.send_raw("PING :a");
    poll(nullptr, 0, 50);   // let the first half arrive on its own
    server_.send_raw("bc\r\n");
    EXPECT_EQ(server_.next_line(), "PONG :abc");
    server_.send_raw("PING :lf-only\n\r\n\n   \nPING :cr\rless\n");
    EXPECT_EQ(server_.next_line(), "PONG :lf-only");
    EXPECT_EQ(server_.next_line(), "PONG :crless");
    EXPECT_TRUE(scrollback().empty());
}

TEST_F(SessionTest, OverlongLineIsCutNotSplit)
{
    connect_registered();
    const std::string body(9000, 'a');
    server_.send_raw(":srv NOTICE n :" + body + "XYZ\r\nPING :after\r\n");
    EXPECT_EQ(server_.next_line(), "PONG :after");
    const auto rows = scrollback();
    ASSERT_EQ(rows.size(), 1u);   // the excess did not become a line of its own
    EXPECT_EQ(rows[0], "*|" + std::string(767, 'a'));
}

TEST_F(SessionTest, NamesKeepTheirHighestModeAndSortOpsFirst)
{
    connect_registered();
    server_.send_line(":srv 353 n = #c :@op +voice %half ~owner &admin Plain   @+both alpha");
    server_.send_line(":srv 366 n #c :End of /NAMES list.");
    sync();
    EXPECT_THAT(users(), ElementsAre("@both", "@op", "%half", "+voice", "&admin", "alpha", "Plain", "~owner"));
}

TEST_F(SessionTest, ServerPrefixTokenDecidesTheModeSymbols)
{
    connect_registered();
    server_.send_line(":srv 005 n CHANTYPES=# PREFIX=(qaohv)~&@%+ :are supported");
    server_.send_line(":srv 353 n = #c :+v @o ~q &a plain");
    server_.send_line(":srv 366 n #c :End");
    server_.send_line(":o!u@h MODE #c -o+v o o");
    sync();
    EXPECT_THAT(users(), ElementsAre("~q", "&a", "+o", "+v", "plain"));
}

TEST_F(SessionTest, NamesOverSeveralRepliesAreCollectedUntilTheEnd)
{
    connect_registered();
    server_.send_line(":srv 353 n = #c :a b");
    server_.send_line(":srv 353 n = #c :c");
    server_.send_line(":srv 366 n #c :End");
    sync();
    EXPECT_THAT(users(), ElementsAre("a", "b", "c"));
    // The next reply starts a fresh list; a reply without names changes nothing.
    server_.send_line(":srv 353 n = #c");
    server_.send_line(":srv 353 n = #c :");
    server_.send_line(":srv 353 n = #c :d");
    server_.send_line(":srv 366 n #c :End");
    sync();
    EXPECT_THAT(users(), ElementsAre("d"));
    EXPECT_TRUE(wait_until([](irc_session *x) { return x->users_dirty == 1; }));
}

TEST_F(SessionTest, NickListHoldsAtMost256)
{
    connect_registered();
    for (int line = 0; line < 3; ++line) {
        std::string names;
        for (int i = 0; i < 100; ++i) {
            names += " u" + std::to_string(line * 100 + i);
        }
        server_.send_line(":srv 353 n = #c :" + names.substr(1));
    }
    server_.send_line(":srv 366 n #c :End");
    sync();
    const auto list = users();
    ASSERT_EQ(list.size(), 256u);
    EXPECT_THAT(list, ::testing::Contains("u255"));
    EXPECT_THAT(list, ::testing::Not(::testing::Contains("u256")));
}

TEST_F(SessionTest, ServerTextAndErrorsAreShown)
{
    connect_registered();
    const std::vector<std::pair<std::string, std::string>> cases = {
        {":srv 375 n :- srv Message of the day -", "*|- srv Message of the day -"},
        {":srv 372 n :- be nice", "*|- be nice"},
        {":srv 376 n :End of MOTD", "*|End of MOTD"},
        {":srv 477 n #c :You need a registered nick", "*|You need a registered nick"},
        {":srv 473 n #c :Cannot join channel (+i)", "*|#c: Cannot join channel (+i)"},
        {":srv 432 n b@d :Erroneous nickname", "*|b@d: Erroneous nickname"},
        {":srv 451 * :You have not registered", "*|You have not registered"},
        {":srv 502 n", "*|502 n"},
    };
    for (const auto &[line, row] : cases) {
        server_.send_line(line);
        sync();
        EXPECT_EQ(last_row(), row) << line;
    }
    // Informational numerics stay quiet.
    server_.send_line(":srv 005 n CHANTYPES=# :are supported");
    server_.send_line(":srv 366 n #c :End");
    sync();
    EXPECT_EQ(scrollback().size(), cases.size());
}

TEST_F(SessionTest, ServerClosingEndsTheConnection)
{
    connect_registered();
    {
        const auto guard = irc_lock(s());
        s()->status_dirty = 0;
    }
    server_.close_client();
    ASSERT_TRUE(wait_until([](irc_session *x) { return x->connected == 0; }));
    EXPECT_TRUE(wait_until([](irc_session *x) { return x->running == 0 && x->status_dirty == 1; }));
    EXPECT_EQ(last_row(), "*|Disconnected from server");
    EXPECT_EQ(irc_send_raw(s(), "PING x"), -1);
    irc_disconnect(s(), nullptr);
    EXPECT_EQ(s()->socket, -1);
}

TEST_F(SessionTest, GarbageFromTheServerIsSurvived)
{
    // Seeded noise made of the bytes the parser cares about: under the
    // sanitizers any out-of-bounds read or write here fails the test.
    connect_registered("n", "#c");
    std::string alphabet = ":  !@#+%~&0123456789PINGCAPLSACKNAKJOINPRIVMSG\r\n\x01\x7f\xff";
    alphabet += '\0';
    unsigned seed = 12345;
    std::string noise;
    for (int i = 0; i < 200000; ++i) {
        seed = seed * 1103515245u + 12345u;
        noise += alphabet[(seed >> 16) % alphabet.size()];
    }
    const char *templates[] = {":s 353 n = #c :", ":s CAP * LS ", ":s 001 ", ":a!b@c PRIVMSG ", ":s 433 * ", "PING :"};
    for (const char *t : templates) {
        server_.send_raw(std::string(t) + noise.substr(0, 3000) + "\r\n");
    }
    server_.send_raw(noise + "\r\n");
    // Answers to PINGs in the noise may come first; the session is still alive.
    EXPECT_TRUE(answers_ping(server_));
    EXPECT_LE(users().size(), 256u);
}

TEST_F(SessionTest, CommandsWithoutParametersAreSurvived)
{
    // Every command the session reads, and replies it treats apart, sent
    // bare: none may reach for a parameter that is not there.
    connect_registered("n", "#c");
    const char *lines[] = {"NOTICE",     ":s NOTICE",   ":a!b@c NOTICE", ":a!b@c PRIVMSG", ":a!b@c JOIN",
                           ":a!b@c PART", ":a!b@c QUIT", ":a!b@c KICK",   ":a!b@c NICK",    ":a!b@c TOPIC",
                           ":a!b@c MODE", ":a!b@c INVITE", "ERROR",        "PING",           "CAP",
                           "AUTHENTICATE", ":s 001",    ":s 005",        ":s 332",         ":s 333",
                           ":s 353",      ":s 366",      ":s 403",        ":s 433",         ":s 464",
                           ":s 465",      ":s 900",      ":s 904",        ":s 999"};
    for (const char *line : lines) {
        server_.send_line(line);
    }
    EXPECT_TRUE(answers_ping(server_));
}

} // namespace

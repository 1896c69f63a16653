// The session's lines leave at the send pace: a paste goes out whole and in
// order, over time; answers to the server's PING and the QUIT never wait.
#include <string>
#include <vector>

#include "tests/chat/session/session_fixture.h"

namespace {

class Pace : public SessionTest {
protected:
    void TearDown() override
    {
        SessionTest::TearDown();
        g_send_pace = saved_;
    }
    send_pace saved_ = g_send_pace;
};

TEST_F(Pace, ABurstGoesAtOnceAndTheRestWaitsWhilePongAndQuitDoNot)
{
    g_send_pace = {5, 60000};   // nothing held gets its turn during the test
    connect_registered();
    mark_registered();
    for (int i = 1; i <= 8; ++i) {
        EXPECT_EQ(irc_handle_command(s(), ("line " + std::to_string(i)).c_str()), 0);
    }
    {
        const auto guard = irc_lock(s());
        EXPECT_EQ(pacer_waiting(&s()->pacer), 3);
    }
    EXPECT_EQ(sync(), "PRIVMSG #c :line 1\nPRIVMSG #c :line 2\nPRIVMSG #c :line 3\nPRIVMSG #c :line 4\n"
                      "PRIVMSG #c :line 5\n");
    irc_disconnect(s(), "bye");
    EXPECT_EQ(server_.next_line(), "QUIT :bye");
    EXPECT_EQ(server_.next_line(), std::nullopt);
}

TEST_F(Pace, APasteArrivesWholeAndInOrder)
{
    g_send_pace = {3, 20};
    connect_registered();
    mark_registered();
    std::vector<std::string> paste;
    for (int i = 0; i < 40; ++i) {
        paste.push_back("pasted line " + std::to_string(i) + " " + std::string(200, 'p'));
        EXPECT_EQ(irc_handle_command(s(), paste.back().c_str()), 0);
    }
    for (const std::string &line : paste) {
        EXPECT_EQ(server_.next_line(), "PRIVMSG #c :" + line);
    }
    EXPECT_TRUE(wait_until([](irc_session *x) { return pacer_waiting(&x->pacer) == 0; }));
}

} // namespace

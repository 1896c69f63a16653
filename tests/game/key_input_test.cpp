// Key decoding over a real socket, as the door sees the caller's keys.
#include "tests/game/game_fixture.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

using key_input = game_test;

namespace {

std::vector<int> read_keys(int n)
{
    std::vector<int> keys;
    for (int i = 0; i < n; ++i)
        keys.push_back(read_key_block());
    return keys;
}

}  // namespace

TEST_F(key_input, DecodesCursorKeysPrefixesAndPlainBytes)
{
    struct case_t {
        std::string bytes;
        std::vector<int> keys;
    };
    const case_t cases[] = {
        {"\x1b[A\x1b[B\x1b[C\x1b[D", {GKEY_UP, GKEY_DOWN, GKEY_RIGHT, GKEY_LEFT}},
        {"\x1bOA\x1bOD", {GKEY_UP, GKEY_LEFT}},
        {"\x1b[1~", {27, '~'}},  // Home: ESC, and the tilde arrives later
        {"\x1bxq", {27, 'q'}},   // the byte after ESC is dropped
        {std::string("\xe0P", 2), {GKEY_DOWN}},
        {std::string("\xe0H\xe0K\xe0M", 6), {GKEY_UP, GKEY_LEFT, GKEY_RIGHT}},
        {std::string("\0x", 2), {'x'}},
        {"\r\n1a", {13, '1', 'a'}},  // a telnet Enter is one key
        {std::string("\r\0\r\r\n", 5), {13, 13, 13}},
        {"\ry\n\n", {13, 'y', 10, 10}},
        // The door socket is telnet: negotiation and window reports (which
        // hold bytes such as "P") are no keys, IAC IAC is the byte 255.
        {"\xff\xfd\x01\xff\xfb\x1f" + std::string("\xff\xfa\x1f\0P\0\x18\xff\xf0", 9) + "1", {'1'}},
        {"\x1b[\xff\xf1" "A\xff\xffz", {GKEY_UP, 255, 'z'}},
        {std::string("\r\xff\xfb\x03\0", 5) + "k", {13, 'k'}},
    };
    for (const auto& c : cases) {
        door.send_keys(c.bytes);
        EXPECT_EQ(read_keys(static_cast<int>(c.keys.size())), c.keys)
            << "bytes: " << testing::PrintToString(c.bytes);
    }
}

TEST_F(key_input, ByteTwoFiftyFiveGoesOutDoubledOnTheDoorSocket)
{
    const unsigned char frame[] = {'a', 255, 'b'};
    buf_write(frame, sizeof frame);
    buf_put_glyph(255);
    flush_out();
    for (int i = 0; i < 500 && door.output().size() < 6; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(door.output(), "a\xff\xff" "b\xff\xff");
}

TEST_F(key_input, LonePrefixesStandForThemselvesAfterTheFollowUpWait)
{
    door.send_keys("\x1b");
    EXPECT_EQ(read_key_block(), 27);
    door.send_keys("\xe0");
    EXPECT_EQ(read_key_block(), 224);
    // A key typed after the follow-up wait is a key of its own.
    door.send_keys("\x1b");
    EXPECT_EQ(read_key_block(), 27);
    door.send_keys("[A");
    EXPECT_EQ(read_keys(2), (std::vector<int>{'[', 'A'}));
}

TEST_F(key_input, NoKeyWithinTheTimeoutIsNone)
{
    g_key_timeout_ms = 50;
    unsigned char b = 0;
    EXPECT_EQ(try_read_byte(0, &b), 0);
    EXPECT_EQ(read_key_block(), GKEY_NONE);
}

TEST_F(key_input, KeysTypedDuringAPauseNeitherEndItNorGetLost)
{
    // The pause watches the line for a hang-up, not for keys: a caller typing
    // during an animation must not cut it short or lose the keys.
    door.send_keys("x");
    const auto start = std::chrono::steady_clock::now();
    game_sleep_ms(150);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
    EXPECT_EQ(read_key_block(), 'x');
}

namespace {

// Runs a child that takes the door socket and then runs `body`; returns its
// exit status and how long after `provoke` ran it gave up its wait (see
// note_then_hang_up).
struct child_result {
    int status;
    double seconds;
};

// The child's usual business: waiting for a key.
void wait_for_key()
{
    _exit(read_key_block() == GKEY_NONE ? 3 : 4);
}

// A caller who stopped reading: frames pile up far beyond what the socket
// holds.
void draw_to_a_stalled_caller()
{
    static const std::string frame(60000, 'x');
    for (int i = 0; i < 100; ++i) {
        buf_write(frame.data(), frame.size());
        flush_out();
    }
    wait_for_key();
}

// Reads from fd byte by byte until what came ends with text; false when the
// stream ends or nothing comes for 10 s.
bool read_until(int fd, std::string_view text)
{
    std::string got;
    while (got.size() < text.size() || got.compare(got.size() - text.size(), text.size(), text) != 0) {
        pollfd p{fd, POLLIN, 0};
        char c = 0;
        if (poll(&p, 1, 10000) <= 0 || recv(fd, &c, 1, 0) != 1)
            return false;
        got.push_back(c);
    }
    return true;
}

// The game's reaction is timed up to the moment it hands over to its
// hang-up hook. What follows (restoring the terminal, the exit, and in a
// sanitizer build the leak scan at exit) waits for nothing, yet on a loaded
// machine it alone can take a second.
int g_noticed_fd = -1;
void (*g_game_hook)() = nullptr;

void note_then_hang_up()
{
    (void)!write(g_noticed_fd, "!", 1);
    g_game_hook();
}

template <typename Provoke>
child_result run_waiting_child(Provoke provoke, void (*body)() = wait_for_key)
{
    int sv[2];
    int noticed[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
    EXPECT_EQ(pipe(noticed), 0);
    pid_t pid = fork();
    if (pid == 0) {
        close(sv[1]);
        close(noticed[0]);
        g_noticed_fd = noticed[1];
        g_game_hook = g_hangup_hook;
        g_hangup_hook = note_then_hang_up;
        g_d.use_socket = 1;
        g_d.socket = sv[0];
        g_key_timeout_ms = 600000;
        take_terminal();
        body();
    }
    close(sv[0]);
    close(noticed[1]);
    // The child is ready once take_terminal has sent its last sequence: its
    // signal handling stands and it goes on to its wait. A fixed pause would
    // not do on a loaded machine, where a signal sent too early kills it.
    EXPECT_TRUE(read_until(sv[1], "\x1b[?7l"));
    const auto start = std::chrono::steady_clock::now();
    const auto give_up = start + std::chrono::seconds(10);
    provoke(pid, sv[1]);
    // The pipe brings the hook's byte, then its end as the child is gone.
    double secs = -1;
    bool ended = false;
    while (!ended) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(give_up - std::chrono::steady_clock::now());
        pollfd p{noticed[0], POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(std::max<long>(0, left.count()))) <= 0)
            break;
        char c = 0;
        const ssize_t n = read(noticed[0], &c, 1);
        if (n < 0)
            continue;
        if (secs < 0)
            secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ended = n == 0;
    }
    if (!ended)
        kill(pid, SIGKILL);
    int status = -1;
    waitpid(pid, &status, 0);
    close(sv[1]);
    close(noticed[0]);
    return {status, secs < 0 ? 10.0 : secs};
}

}  // namespace

TEST(hang_up, ClosedDoorSocketEndsTheGameCleanlyWithinASecond)
{
    child_result r = run_waiting_child([](pid_t, int peer) { shutdown(peer, SHUT_RDWR); });
    ASSERT_TRUE(WIFEXITED(r.status)) << "status " << r.status;
    EXPECT_EQ(WEXITSTATUS(r.status), 0);
    EXPECT_LT(r.seconds, 1.0);
}

TEST(hang_up, TermAndHupSignalsEndTheGameLikeAHangUp)
{
    for (int sig : {SIGTERM, SIGHUP}) {
        child_result r = run_waiting_child([sig](pid_t pid, int) { kill(pid, sig); });
        ASSERT_TRUE(WIFEXITED(r.status)) << "signal " << sig << " status " << r.status;
        EXPECT_EQ(WEXITSTATUS(r.status), 0);
        EXPECT_LT(r.seconds, 1.0);
    }
}

TEST(hang_up, HookThatReturnsStillEndsTheGame)
{
    child_result r = run_waiting_child([](pid_t, int peer) { shutdown(peer, SHUT_RDWR); }, [] {
        g_hangup_hook = [] {};
        wait_for_key();
    });
    ASSERT_TRUE(WIFEXITED(r.status)) << "status " << r.status;
    EXPECT_EQ(WEXITSTATUS(r.status), 0);
}

TEST(hang_up, SignalEndsTheGameWhileTheCallerStoppedReading)
{
    child_result r = run_waiting_child([](pid_t pid, int) { kill(pid, SIGHUP); }, draw_to_a_stalled_caller);
    ASSERT_TRUE(WIFEXITED(r.status)) << "status " << r.status;
    EXPECT_EQ(WEXITSTATUS(r.status), 0);
    EXPECT_LT(r.seconds, 1.0);
}

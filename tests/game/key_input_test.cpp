// Key decoding over a real socket, as the door sees the caller's keys.
#include "tests/game/game_fixture.h"

#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>
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
    door.send_keys_after(std::chrono::milliseconds(100), "[A");
    EXPECT_EQ(read_keys(3), (std::vector<int>{27, '[', 'A'}));
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
// exit status and how long it took to end after `provoke` ran.
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

template <typename Provoke>
child_result run_waiting_child(Provoke provoke, void (*body)() = wait_for_key)
{
    int sv[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
    pid_t pid = fork();
    if (pid == 0) {
        close(sv[1]);
        g_d.use_socket = 1;
        g_d.socket = sv[0];
        g_key_timeout_ms = 600000;
        take_terminal();
        body();
    }
    close(sv[0]);
    usleep(200000);  // let the child reach its wait
    auto start = std::chrono::steady_clock::now();
    provoke(pid, sv[1]);
    int status = -1;
    for (int i = 0; i < 300; ++i) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            break;
        usleep(10000);
    }
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (waitpid(pid, &status, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    close(sv[1]);
    return {status, secs};
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

// The game's channel for the fuzz targets: a socket pair stands for the
// caller's door socket, as a board would hand it over. The game writes its
// frames into one end; the target reads them back from the other and sends
// keys through it. A hang-up throws instead of ending the process.
#pragma once

#include "game/rules/profile.h"
#include "game/screen/cells.h"
#include "game/screen/terminal.h"
#include "tests/fuzz/fuzz_support.h"

#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <string_view>

namespace fuzz {

struct caller_hung_up {};

[[noreturn]] inline void throw_hang_up()
{
    throw caller_hung_up{};
}

class game_door {
public:
    game_door()
    {
        int sv[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0)
            fail("socketpair", __FILE__, __LINE__);
        game_ = sv[0];
        peer_ = sv[1];
        // Room for several whole frames, so a screen never waits on the reader.
        int size = 1 << 20;
        setsockopt(game_, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
        setsockopt(peer_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        g_d.use_socket = 1;
        g_d.socket = game_;
        g_d.comm_type = 2;
        g_hangup_hook = throw_hang_up;
        g_key_timeout_ms = 2000;
        g_outpos = 0;
        reset_key_reader();  // the last input may have ended inside a telnet command
    }
    ~game_door()
    {
        close(game_);
        if (peer_ >= 0)
            close(peer_);
    }
    game_door(const game_door&) = delete;
    game_door& operator=(const game_door&) = delete;

    void send_keys(std::string_view keys)
    {
        while (!keys.empty()) {
            const ssize_t n = send(peer_, keys.data(), keys.size(), MSG_NOSIGNAL);
            if (n <= 0)
                fail("send keys", __FILE__, __LINE__);
            keys.remove_prefix(static_cast<std::size_t>(n));
        }
    }
    // The caller hangs up after the keys already sent.
    void hang_up() { shutdown(peer_, SHUT_WR); }

    // Everything the game has sent since the last call.
    std::string output()
    {
        std::string out;
        char buf[65536];
        for (;;) {
            const ssize_t n = recv(peer_, buf, sizeof buf, MSG_DONTWAIT);
            if (n <= 0)
                break;
            out.append(buf, static_cast<std::size_t>(n));
        }
        return out;
    }

    // Checks what the game sent: code page 437 over an 80x25 screen, seen
    // through the caller's telnet client (a doubled byte 255 is one).
    void check_output()
    {
        std::string out = output();
        std::string seen;
        for (std::size_t i = 0; i < out.size(); ++i) {
            seen.push_back(out[i]);
            if (out[i] == '\xff') {
                FUZZ_CHECK(i + 1 < out.size() && out[i + 1] == '\xff');
                ++i;
            }
        }
        check_terminal_stream(seen, {.rows = 25, .columns = 80, .utf8 = false, .cp437_glyph_controls = true});
    }

    int game_fd() const { return game_; }

private:
    int game_ = -1;
    int peer_ = -1;
};

}  // namespace fuzz

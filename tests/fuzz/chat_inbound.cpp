// What an IRC server sends, fed through the session's network thread (its
// line splitter and inbound handling) over a socket: every reply the session
// sends is one well-formed protocol line, the scrollback and nick list stay
// within their bounds, and the chat view and status bar draw all of it as
// text within the screen, also for a code page 437 caller.
#include "chat/session/irc_session.h"
#include "chat/ui/display_text.h"
#include "chat/ui/screen_out.h"
#include "chat/ui/ui.h"
#include "tests/fuzz/chat_screen.h"

#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>

namespace {

std::string g_screen;

void keep_output(std::string_view bytes)
{
    g_screen.append(bytes);
}

// Replies of the session: CR LF lines of at most 1022 bytes, with no NUL,
// CR or LF inside.
void check_replies(std::string_view sent)
{
    while (!sent.empty()) {
        const std::size_t end = sent.find("\r\n");
        FUZZ_CHECK(end != std::string_view::npos);
        const std::string_view line = sent.substr(0, end);
        FUZZ_CHECK(line.size() <= SEND_LINE_MAX);
        FUZZ_CHECK(line.find_first_of(std::string_view("\0\r\n", 3)) == std::string_view::npos);
        sent.remove_prefix(end + 2);
    }
}

void check_session(const irc_session& s)
{
    FUZZ_CHECK(s.line_count >= 0 && s.line_count <= SCROLLBACK_LINES);
    FUZZ_CHECK(s.line_first >= 0 && s.line_first < SCROLLBACK_LINES);
    for (int i = 0; i < s.line_count; ++i) {
        const chat_line* l = irc_line_at(&s, i);
        FUZZ_CHECK(fuzz::terminated(l->sender));
        FUZZ_CHECK(fuzz::terminated(l->text));
        FUZZ_CHECK(l->kind >= LINE_USER && l->kind <= LINE_NOTICE);
        FUZZ_CHECK(fuzz::terminated(l->where));
    }
    FUZZ_CHECK(s.user_count >= 0 && s.user_count <= MAX_USERS);
    for (int i = 0; i < s.user_count; ++i)
        FUZZ_CHECK(fuzz::terminated(s.users[i]));
    FUZZ_CHECK(fuzz::terminated(s.nick));
    FUZZ_CHECK(fuzz::terminated(s.channel));
    FUZZ_CHECK(s.joined_count >= 0 && s.joined_count <= MAX_CHANNELS);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 65536)
        return 0;
    static auto* session = new irc_session;
    irc_session* s = session;
    irc_init(s);
    const auto [knob, stream] = fuzz::steer(data, size);

    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, sv) != 0)
        return 0;
    int buffer = 1 << 20;
    setsockopt(sv[1], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    setsockopt(sv[0], SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    setsockopt(sv[0], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    setsockopt(sv[1], SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    // Connected as the session would be after connecting; no other thread runs.
    std::snprintf(s->server, sizeof s->server, "irc.example.net");
    s->port = 6667;
    std::snprintf(s->nick, sizeof s->nick, "fuzzer");
    std::snprintf(s->channel, sizeof s->channel, "#fuzz");
    s->socket = sv[0];
    s->connected = 1;
    s->running = 1;
    if (knob & 1) {
        // Registration waits for the SASL exchange, which the input may answer.
        std::snprintf(s->password, sizeof s->password, "secret");
        s->sasl_state = SASL_WAIT_LS;
        s->cap_deadline_ms = INT64_MAX / 2;
    }
    for (std::size_t done = 0; done < stream.size();) {
        const ssize_t n = send(sv[1], stream.data() + done, stream.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    shutdown(sv[1], SHUT_WR);
    irc_thread_main(s);

    std::string sent;
    char buf[65536];
    for (ssize_t n; (n = recv(sv[1], buf, sizeof buf, MSG_DONTWAIT)) > 0;)
        sent.append(buf, static_cast<std::size_t>(n));
    close(sv[0]);
    close(sv[1]);
    s->socket = -1;
    check_replies(sent);
    check_session(*s);

    // The chat view and the status bar over what arrived.
    ui_state ui{};
    ui.size = {24 + (knob >> 5) * 3, 80 + ((knob >> 1) & 3) * 31};
    ui.users_shown = (knob >> 3) & 1;
    ui.scroll = ((knob >> 4) & 3) * 7;
    ui.startup_mode = 0;
    g_screen.clear();
    g_out.sink = keep_output;
    draw_chat(&ui, s);
    draw_status(&ui, s);
    g_out.flush();
    fuzz::check_chat_frame(g_screen, ui.size.rows, ui.size.columns, 1 + size % 4096);
    return 0;
}

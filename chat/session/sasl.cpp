// Capability negotiation and SASL PLAIN.
#include <cstring>

#include "chat/config/text_util.h"
#include "chat/session/session_internal.h"

namespace {

constexpr char B64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

bool exchange_open(const irc_session *s)
{
    return s->sasl_state != SASL_NONE && s->sasl_state != SASL_DONE;
}

// Each answer from the server gives it a fresh time limit for the next step.
void advance(irc_session *s, int state)
{
    s->sasl_state = state;
    s->cap_deadline_ms = session_now_ms() + g_irc_cap_timeout_ms;
}

// "LS [*] :caps" or "LS caps": the capability list, and whether more LS lines follow.
const char *ls_list(const char *sub, bool *more)
{
    const char *colon = std::strchr(sub, ':');
    *more = starts_with(sub, "LS * ") != 0;
    return colon != nullptr ? colon + 1 : sub + 3;
}

void on_ls(irc_session *s, const char *sub)
{
    bool more = false;
    const char *caps = ls_list(sub, &more);
    if (s->sasl_state != SASL_WAIT_LS) {
        if (!more) {
            send_line_locked(s, "CAP END");
        }
        return;
    }
    if (std::strstr(caps, "sasl") != nullptr) {
        send_line_locked(s, "CAP REQ :sasl");
        advance(s, SASL_WAIT_ACK);
    } else if (!more) {
        sasl_end(s, SASL_MSG_NO_SUPPORT);
    }
}

void on_ack(irc_session *s)
{
    if (s->sasl_state == SASL_WAIT_ACK) {
        send_line_locked(s, "AUTHENTICATE PLAIN");
        advance(s, SASL_WAIT_PLUS);
    }
}

void on_nak(irc_session *s)
{
    if (exchange_open(s)) {
        sasl_end(s, SASL_MSG_REJECTED);
    }
}

} // namespace

bool base64_encode(const unsigned char *data, std::size_t size, char *out, std::size_t out_size)
{
    if ((size + 2) / 3 * 4 + 1 > out_size) {
        return false;
    }
    std::size_t o = 0;
    for (std::size_t i = 0; i < size; i += 3) {
        const unsigned b0 = data[i];
        const unsigned b1 = i + 1 < size ? data[i + 1] : 0;
        const unsigned b2 = i + 2 < size ? data[i + 2] : 0;
        out[o++] = B64[b0 >> 2];
        out[o++] = B64[((b0 & 3) << 4) | (b1 >> 4)];
        out[o++] = i + 1 < size ? B64[((b1 & 15) << 2) | (b2 >> 6)] : '=';
        out[o++] = i + 2 < size ? B64[b2 & 63] : '=';
    }
    out[o] = '\0';
    return true;
}

void send_sasl_credentials(irc_session *s)
{
    // RFC 4616: empty authorisation identity, the nick, the password.
    unsigned char message[384];
    const std::size_t nick_len = std::strlen(s->nick);
    const std::size_t pass_len = std::strlen(s->password);
    message[0] = 0;
    std::memcpy(message + 1, s->nick, nick_len);
    message[1 + nick_len] = 0;
    std::memcpy(message + 2 + nick_len, s->password, pass_len);
    char encoded[520];
    base64_encode(message, 2 + nick_len + pass_len, encoded, sizeof encoded);
    send_format_locked<560>(s, "AUTHENTICATE %s", encoded);
    advance(s, SASL_WAIT_RESULT);
}

void sasl_end(irc_session *s, const char *message)
{
    add_line_locked(s, "*", message, LINE_SYSTEM);
    send_line_locked(s, "CAP END");
    sasl_send_registration(s);
    s->sasl_state = SASL_DONE;
    s->cap_deadline_ms = 0;
}

void sasl_on_cap(irc_session *s, const char *rest)
{
    // rest: "CAP <target> <subcommand ...>"
    const char *space = std::strchr(rest + 4, ' ');
    if (space == nullptr || space[1] == '\0') {
        return;
    }
    const char *sub = space + 1;
    if (starts_with(sub, "LS ") != 0) {
        on_ls(s, sub);
    } else if (starts_with(sub, "ACK") != 0) {
        on_ack(s);
    } else if (starts_with(sub, "NAK") != 0) {
        on_nak(s);
    }
}

void sasl_on_authenticate_plus(irc_session *s)
{
    if (s->sasl_state == SASL_WAIT_PLUS) {
        send_sasl_credentials(s);
    }
}

void sasl_check_deadline(irc_session *s)
{
    if (exchange_open(s) && s->cap_deadline_ms != 0 && session_now_ms() >= s->cap_deadline_ms) {
        sasl_end(s, SASL_MSG_NO_SUPPORT);
    }
}

int sasl_wait_ms(const irc_session *s)
{
    if (!exchange_open(s) || s->cap_deadline_ms == 0) {
        return -1;
    }
    const std::int64_t left = s->cap_deadline_ms - session_now_ms();
    return left <= 0 ? 0 : static_cast<int>(left);
}

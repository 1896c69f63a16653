// The current channel's nick list, kept in order as users join, leave,
// change nick and get or lose channel modes, and the channels we are in.
#include <cctype>
#include <cstring>

#include "chat/config/text_util.h"
#include "chat/session/session_internal.h"

namespace {

constexpr int NO_MODE_RANK = 8;

// Where a nick sorts among the groups: its highest mode, the list's order.
int mode_rank(std::uint8_t modes)
{
    for (int bit = 0; bit < NO_MODE_RANK; ++bit) {
        if ((modes & (1u << bit)) != 0) {
            return bit;
        }
    }
    return NO_MODE_RANK;
}

int compare_ignore_case(const char *a, const char *b)
{
    for (;; ++a, ++b) {
        const int ca = std::tolower(static_cast<unsigned char>(*a));
        const int cb = std::tolower(static_cast<unsigned char>(*b));
        if (ca != cb || ca == 0) {
            return ca - cb;
        }
    }
}

// True when entry (rank, nick) sorts before list row i.
bool sorts_before(const irc_session *s, int rank, const char *nick, int i)
{
    const int other = mode_rank(s->user_modes[i]);
    if (rank != other) {
        return rank < other;
    }
    return compare_ignore_case(nick, irc_user_nick(s, i)) < 0;
}

int find_nick(const irc_session *s, const char *nick)
{
    for (int i = 0; i < s->user_count; ++i) {
        if (equals_ignore_case(irc_user_nick(s, i), nick) != 0) {
            return i;
        }
    }
    return -1;
}

void remove_row(irc_session *s, int i)
{
    const auto rest = static_cast<std::size_t>(s->user_count - i - 1);
    std::memmove(s->users[i], s->users[i + 1], rest * sizeof s->users[0]);
    std::memmove(&s->user_modes[i], &s->user_modes[i + 1], rest);
    --s->user_count;
}

// Puts a nick with its modes at its place in the order; the list has room.
void insert_sorted(irc_session *s, const char *nick, std::uint8_t modes)
{
    const int rank = mode_rank(modes);
    int at = 0;
    while (at < s->user_count && !sorts_before(s, rank, nick, at)) {
        ++at;
    }
    const auto rest = static_cast<std::size_t>(s->user_count - at);
    std::memmove(s->users[at + 1], s->users[at], rest * sizeof s->users[0]);
    std::memmove(&s->user_modes[at + 1], &s->user_modes[at], rest);
    char *row = s->users[at];
    if (rank < NO_MODE_RANK) {
        row[0] = s->prefix_symbols[rank];
        safe_strcpy(row + 1, nick, sizeof s->users[0] - 1);
    } else {
        safe_strcpy(row, nick, sizeof s->users[0]);
    }
    s->user_modes[at] = modes;
    ++s->user_count;
    s->users_dirty = 1;
}

// The bit of a mode or symbol in prefix_modes / prefix_symbols, or -1.
int prefix_bit(const char *set, char c)
{
    if (c == '\0') {
        return -1;
    }
    const char *at = std::strchr(set, c);
    return at != nullptr ? static_cast<int>(at - set) : -1;
}

}  // namespace

bool is_channel_name(const char *name)
{
    return name[0] != '\0' && std::strchr("#&+!", name[0]) != nullptr;
}

const char *irc_user_nick(const irc_session *s, int index)
{
    const char *row = s->users[index];
    return s->user_modes[index] != 0 && row[0] != '\0' ? row + 1 : row;
}

void nick_list_clear(irc_session *s)
{
    s->user_count = 0;
    s->users_dirty = 1;
}

bool nick_list_add(irc_session *s, const char *entry)
{
    std::uint8_t modes = 0;
    for (int bit = prefix_bit(s->prefix_symbols, entry[0]); bit >= 0;
         bit = prefix_bit(s->prefix_symbols, entry[0])) {
        modes = static_cast<std::uint8_t>(modes | (1u << bit));
        ++entry;
    }
    if (entry[0] == '\0') {
        return true;
    }
    char nick[64];
    safe_strcpy(nick, entry);
    const int old = find_nick(s, nick);
    if (old >= 0) {
        remove_row(s, old);
    }
    if (s->user_count >= MAX_USERS) {
        return false;
    }
    insert_sorted(s, nick, modes);
    return true;
}

bool nick_list_remove(irc_session *s, const char *nick)
{
    const int i = find_nick(s, nick);
    if (i < 0) {
        return false;
    }
    remove_row(s, i);
    s->users_dirty = 1;
    return true;
}

bool nick_list_rename(irc_session *s, const char *from, const char *to)
{
    const int i = find_nick(s, from);
    if (i < 0 || to[0] == '\0') {
        return false;
    }
    const std::uint8_t modes = s->user_modes[i];
    remove_row(s, i);
    const int clash = find_nick(s, to);   // only a list out of step holds both
    if (clash >= 0) {
        remove_row(s, clash);
    }
    insert_sorted(s, to, modes);
    return true;
}

void nick_list_set_mode(irc_session *s, const char *nick, char mode, bool on)
{
    const int bit = prefix_bit(s->prefix_modes, mode);
    const int i = find_nick(s, nick);
    if (bit < 0 || i < 0) {
        return;
    }
    char name[64];
    safe_strcpy(name, irc_user_nick(s, i));
    const auto flag = static_cast<std::uint8_t>(1u << bit);
    const auto modes = static_cast<std::uint8_t>(on ? (s->user_modes[i] | flag) : (s->user_modes[i] & ~flag));
    remove_row(s, i);
    insert_sorted(s, name, modes);
}

bool is_prefix_mode(const irc_session *s, char mode)
{
    return prefix_bit(s->prefix_modes, mode) >= 0;
}

void take_prefix_token(irc_session *s, const char *value)
{
    // "(modes)symbols", as many of each, at most 7 (one bit each in user_modes).
    if (value[0] != '(') {
        return;
    }
    const char *close = std::strchr(value, ')');
    if (close == nullptr) {
        return;
    }
    const auto modes = static_cast<std::size_t>(close - value - 1);
    const std::size_t symbols = std::strcspn(close + 1, " ");
    if (modes != symbols || modes == 0 || modes >= sizeof s->prefix_modes) {
        return;
    }
    std::memcpy(s->prefix_modes, value + 1, modes);
    s->prefix_modes[modes] = '\0';
    std::memcpy(s->prefix_symbols, close + 1, modes);
    s->prefix_symbols[modes] = '\0';
}

void joined_add(irc_session *s, const char *channel)
{
    if (joined_has(s, channel)) {
        return;
    }
    if (s->joined_count == MAX_CHANNELS) {
        std::memmove(s->joined[0], s->joined[1], (MAX_CHANNELS - 1) * sizeof s->joined[0]);
        --s->joined_count;
    }
    safe_strcpy(s->joined[s->joined_count++], channel);
}

void joined_remove(irc_session *s, const char *channel)
{
    for (int i = 0; i < s->joined_count; ++i) {
        if (equals_ignore_case(s->joined[i], channel) != 0) {
            const auto rest = static_cast<std::size_t>(s->joined_count - i - 1);
            std::memmove(s->joined[i], s->joined[i + 1], rest * sizeof s->joined[0]);
            --s->joined_count;
            return;
        }
    }
}

bool joined_has(const irc_session *s, const char *channel)
{
    for (int i = 0; i < s->joined_count; ++i) {
        if (equals_ignore_case(s->joined[i], channel) != 0) {
            return true;
        }
    }
    return false;
}

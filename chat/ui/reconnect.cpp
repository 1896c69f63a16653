// Layer chat/ui, above chat/session beside chat/ircclient (never including it): the terminal interface.
// Reconnecting after a lost connection: a growing pause with a random part,
// the attempts told in the view, stopped when the user leaves the chat view.
#include "chat/session/irc_session.h"
#include "chat/ui/screen_out.h"
#include "chat/ui/ui.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <random>

namespace {

std::int64_t monotonic_ms()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

std::uint32_t random_draw()
{
    static std::minstd_rand generator{std::random_device{}()};
    return static_cast<std::uint32_t>(generator());
}


void schedule_next(ui_state* ui, irc_session* s, const char* what)
{
    const int pause = reconnect_pause_ms(ui->reconnect_attempt, random_draw());
    ui->reconnect_waiting = 1;
    ui->reconnect_due_ms = monotonic_ms() + pause;
    char text[160];
    std::snprintf(text, sizeof text, "%s \u2014 reconnecting in %d s", what, (pause + 999) / 1000);
    irc_add_line(s, "*", text, LINE_SYSTEM);
    ui->status_dirty = 1;
}

}  // namespace

int reconnect_pause_ms(int attempt, std::uint32_t random)
{
    const std::int64_t longest = std::max(g_reconnect_longest_ms, 1);
    std::int64_t pause = std::max(g_reconnect_first_ms, 1);
    for (int i = 0; i < attempt && pause < longest; ++i) {
        pause *= 2;
    }
    pause = std::min(pause, longest);
    // Up to a quarter more, so the callers of a board that all lost the same
    // server do not all come back in the same second.
    return static_cast<int>(pause + static_cast<std::int64_t>(random % static_cast<std::uint32_t>(pause / 4 + 1)));
}

int reconnect_seconds_left(const ui_state* ui)
{
    if (!ui->reconnect_waiting) {
        return -1;
    }
    const std::int64_t left = ui->reconnect_due_ms - monotonic_ms();
    return left <= 0 ? 0 : static_cast<int>((left + 999) / 1000);
}

void reconnect_tick(ui_state* ui, irc_session* s)
{
    bool lost = false;
    {
        auto lock = irc_lock(s);
        lost = s->lost != 0 && s->connected == 0;
        if (s->connected != 0 && s->registered != 0) {
            ui->reconnect_attempt = 0;   // back for good: the next loss starts short again
        }
    }
    if (ui->startup_mode || !lost) {
        return;
    }
    if (!ui->reconnect_waiting) {
        schedule_next(ui, s, ui->reconnect_attempt == 0 ? "Connection lost" : "Reconnect failed");
        return;
    }
    if (monotonic_ms() < ui->reconnect_due_ms) {
        const int left = reconnect_seconds_left(ui);
        if (left != ui->reconnect_shown_s) {
            ui->reconnect_shown_s = left;   // the status bar counts down
            ui->status_dirty = 1;
        }
        return;
    }
    ui->reconnect_waiting = 0;
    ++ui->reconnect_attempt;
    char text[200];
    {
        auto lock = irc_lock(s);
        std::snprintf(text, sizeof text, "Reconnecting to %s:%d (attempt %d)", s->server, s->port,
                      ui->reconnect_attempt);
    }
    irc_add_line(s, "*", text, LINE_SYSTEM);
    ui->connecting = 1;
    draw_status(ui, s);
    g_out.flush();
    irc_reconnect(s);   // a failure leaves the session lost: the next round schedules again
    ui->connecting = 0;
    ui->status_dirty = 1;
}

void reconnect_stop(ui_state* ui, irc_session* s)
{
    ui->reconnect_attempt = 0;
    ui->reconnect_waiting = 0;
    auto lock = irc_lock(s);
    s->lost = 0;
}

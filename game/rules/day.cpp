#include "game/rules/day.h"

#include "game/rules/catalogs.h"
#include "game/rules/clock.h"
#include "game/rules/profile.h"
#include "game/rules/storage.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <limits>

namespace {

constexpr std::uint32_t BILLING_PERIOD = 30;

// What the player sees of the day being played; set by play_day for its run.
const day_screens* g_screens = nullptr;

// Adds a gain without wrapping, whatever the board already holds.
template <typename T>
T add_capped(T a, T b)
{
    T sum{};
    if (__builtin_add_overflow(a, b, &sum))
        return std::numeric_limits<T>::max();
    return sum;
}

long as_long(std::int64_t v)
{
    return static_cast<long>(v);
}

// Saves, then tells the player. The board is on disk before the box waits for
// a key, so a caller who hangs up on the news cannot undo the day.
__attribute__((format(printf, 3, 4))) void announce(const char* title, int colour, const char* fmt, ...)
{
    char text[512];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    save_profile();
    g_screens->news(title, text, colour);
}

// ---- Turns --------------------------------------------------------------

// Spends one of today's turns; false, with the board untouched, when none
// are left.
bool take_turn()
{
    start_turn_day();
    const int limit = turns_limit();
    // The clock is read again: a turn asked for just as the day rolls over
    // belongs to the new day.
    if (real_day() == P.turn_day && P.turns_used >= limit) {
        char text[128];
        std::snprintf(text, sizeof text, "You've used all %d turns today.\nCome back tomorrow to advance your BBS.",
                      limit);
        g_screens->news("Out of turns", text, 3);
        return false;
    }
    P.turns_used = add_capped(P.turns_used, 1);
    return true;
}

// ---- Callers, money and standing ----------------------------------------

struct day_report {
    std::int32_t callers;
    std::int64_t earned;
    std::int64_t bills;
};

std::int64_t expected_callers()
{
    const std::int64_t bps = table_row(MODEMS, P.modem).bps;
    std::int64_t base = table_row(CPUS, P.cpu).speed / 3 + std::min<std::int64_t>(bps / 1200 + 4, 60) +
                        2 * count_bits(P.doors, static_cast<int>(DOORS.size())) +
                        2 * count_bits(P.cdroms, static_cast<int>(CDROMS.size())) + (3 * P.nodes - 3) +
                        table_row(FIDO, P.fido_tier).callers_bonus + table_row(INET, P.inet_tier).callers_bonus +
                        P.rep / 8 + (has_bit(P.peripherals, PERI_SOUND_BLASTER) ? 1 : 0);
    if (disk_pct() > 90)
        base = base * 3 / 4;
    if (P.fame >= 1)
        base = base * (P.fame + 5) / 5;
    return base;
}

std::int32_t todays_callers()
{
    const std::int64_t raw = expected_callers() + static_cast<std::int64_t>(rng_draw(9)) - 3;
    return static_cast<std::int32_t>(clamp_to<std::int64_t>(raw, 0, std::numeric_limits<std::int32_t>::max()));
}

// Phone bills fall on every thirtieth game day, counted before the day ends.
std::int64_t bills_due(std::uint32_t day)
{
    if (day % BILLING_PERIOD != 0)
        return 0;
    return table_row(INET, P.inet_tier).monthly_fee + table_row(FIDO, P.fido_tier).monthly_fee + 25 * P.nodes;
}

day_report serve_callers()
{
    day_report r{};
    r.callers = todays_callers();
    const std::int64_t bps = table_row(MODEMS, P.modem).bps;
    r.earned = static_cast<std::int64_t>(P.rep) * r.callers / 60 + (bps / 4800 + 3) * r.callers;
    r.bills = bills_due(P.day);
    P.callers_yesterday = r.callers;
    P.total_callers = add_capped(P.total_callers, r.callers);
    P.cash = std::max<std::int64_t>(add_capped(P.cash, r.earned) - r.bills, 0);
    P.day += 1;
    return r;
}

struct fame_step {
    std::int32_t callers_above;
    std::int32_t fame;
};
constexpr std::array<fame_step, 5> FAME_STEPS{{{50000, 5}, {15000, 4}, {5000, 3}, {1500, 2}, {500, 1}}};

std::int32_t fame_for(std::int32_t total_callers)
{
    for (const auto& step : FAME_STEPS) {
        if (total_callers > step.callers_above)
            return step.fame;
    }
    return 0;
}

void update_standing(std::int32_t callers)
{
    if (callers > 20)
        P.rep += 1;
    if (P.hw_health <= 39)
        P.rep -= 2;
    if (disk_pct() > 95)
        P.rep -= 2;
    P.rep = clamp_to(P.rep, 0, 100);
    P.fame = std::max(P.fame, fame_for(P.total_callers));
    const int wear = 1 + P.nodes / 3 + (has_bit(P.peripherals, PERI_UPS) ? 0 : 1);
    P.hw_health = std::max(P.hw_health - wear, 0);
    if (P.heat > 0 && P.day % 2 == 1)
        P.heat -= 1;
}

// ---- Events -------------------------------------------------------------

struct event_odds {
    std::int64_t threat_raw;
    std::int32_t threat;  // 1..25
    std::int32_t roll;    // 0..99
    std::int32_t shed;    // 0..80
    std::int32_t window;  // rolls below it are attacks
};

event_odds roll_odds()
{
    event_odds o{};
    o.threat_raw = P.cash / 2000 + P.total_callers / 400 + 4 * static_cast<std::int64_t>(P.fame) + P.rep / 6 +
                   P.day / 40;
    o.threat = static_cast<std::int32_t>(clamp_to<std::int64_t>(o.threat_raw, 1, 25));
    o.roll = static_cast<std::int32_t>(rng_draw(100));
    o.shed = protect_shed_pct();
    o.window = std::max(o.threat + 18 - o.shed / 5, 5);
    return o;
}

// The protection stops an attack when a percentile falls under its shed.
bool protection_stops(const event_odds& o)
{
    return static_cast<std::int32_t>(rng_draw(100)) < o.shed;
}

std::int32_t draw_up_to(std::int32_t n)
{
    return static_cast<std::int32_t>(rng_draw(static_cast<std::uint32_t>(n)));
}

void police_raid(const event_odds& o)
{
    const std::int64_t fine = std::min<std::int64_t>(P.cash, 100 * o.threat + 20 * P.heat + 500);
    P.cash -= fine;
    P.heat = std::max(P.heat - 30, 0);
    P.rep = std::max(P.rep - 10, 0);
    P.warez /= 2;
    announce("FBI Raid", 1,
             "The Feds raided your setup!\nLost $%ld in fines.\nHalf your warez are gone.\nRep -10, Heat down.",
             as_long(fine));
}

void hardware_failure(const event_odds& o)
{
    P.hw_health = draw_up_to(31) + 20;
    P.rep = std::max(P.rep - 4, 0);
    const std::int64_t repair = 20 * o.threat + 100;
    if (P.cash >= repair)
        P.cash -= repair;
    announce("Hardware Failure", 1, "A sketchy reboot cost you users.\nRepair bill: $%ld.  Rep -4.", as_long(repair));
}

void intrusion(const event_odds& o)
{
    if (protection_stops(o)) {
        protection_take_damage(5);
        announce("Attack blocked", 2,
                 "Your %s blocked an intrusion attempt.\nDefences took minor wear (-5%% on a random\n"
                 "protection item).  No cash lost.",
                 o.shed >= 50 ? "IDS + firewall" : "firewall");
        return;
    }
    std::int64_t loss = (draw_up_to(30 * o.threat + 1) + 50) * static_cast<std::int64_t>(100 - o.shed) / 100;
    loss = std::min(loss, P.cash);
    P.cash -= loss;
    P.rep = std::max(P.rep - 1, 0);
    protection_take_damage(15);
    if (o.shed > 0)
        announce("You were hacked", 1,
                 "Another sysop hacked your BBS.\nYour protection cut damage by %d%%.\nLost $%ld.  Rep -1.\n"
                 "One protection item took 15%% damage.",
                 o.shed, as_long(loss));
    else
        announce("You were hacked", 1,
                 "Another sysop hacked your BBS!\nLost $%ld.  Rep -1.\n(Install protection software to cut this.)",
                 as_long(loss));
}

void virus(const event_odds& o)
{
    if (protection_stops(o)) {
        announce("Anti-Virus caught it", 2,
                 "A virus tried to slip in through a warez\ndownload.  Your anti-virus quarantined it.");
        return;
    }
    const std::int32_t n = (draw_up_to(o.threat / 2 + 3) + 1) * (100 - o.shed);
    const std::int32_t lost = std::min(n > 99 ? n / 100 : 1, std::max(P.warez, 0));
    P.warez -= lost;
    P.hw_health = std::max(P.hw_health - 3, 0);
    announce("Virus outbreak", 1, "A virus infected the warez server.\nLost %d warez files.  HW Health -3.", lost);
}

void gift(const event_odds&)
{
    P.rep = std::min(P.rep + 2, 100);
    const std::int64_t amount = draw_up_to(401) + 100;
    P.cash = add_capped(P.cash, amount);
    announce("Gift!", 2, "A user donated $%ld for the sysop pizza fund.", as_long(amount));
}

void practice(const event_odds&)
{
    P.hack_skill = std::min(P.hack_skill + 1, 100);
    announce("Practice", 6, "You read 2600 Magazine cover to cover.\n+1 Hack skill.");
}

void anonymous_drop(const event_odds&)
{
    const std::int32_t files = draw_up_to(4) + 1;
    P.warez = add_capped(P.warez, files);
    announce("Anonymous drop", 5, "A FidoNet stranger drops off %d new warez files.", files);
}

void fidonet_praise(const event_odds&)
{
    P.rep = std::min(P.rep + 3, 100);
    announce("FidoNet praise", 2, "Your BBS gets a glowing review in FidoNews.\nRep +3.");
}

void vip_caller(const event_odds&)
{
    g_screens->vip_call();
    P.rep = std::min(P.rep + 1, 100);
    const std::int64_t tip = draw_up_to(201) + 50;
    P.cash = add_capped(P.cash, tip);
    announce("VIP Caller!", 2, "A celebrity caller connected and tipped $%ld.\nRep +1.", as_long(tip));
}

struct day_event {
    bool (*due)(const event_odds&);
    void (*happen)(const event_odds&);
};

// In order: the first event that is due is the day's only one.
constexpr std::array<day_event, 9> EVENTS{{
    {[](const event_odds& o) { return P.heat > 70 && o.roll <= o.threat / 3 + 14; }, police_raid},
    {[](const event_odds& o) { return P.hw_health <= 29 && o.roll <= o.threat + 14; }, hardware_failure},
    {[](const event_odds& o) { return o.roll < o.window && o.threat > 2; }, intrusion},
    {[](const event_odds& o) { return o.roll <= o.window + 4 && o.threat_raw > 4; }, virus},
    {[](const event_odds& o) { return o.roll <= o.window + 19; }, gift},
    {[](const event_odds& o) { return o.roll <= o.window + 24; }, practice},
    {[](const event_odds& o) { return o.roll <= o.window + 29; }, anonymous_drop},
    {[](const event_odds& o) { return o.roll <= o.window + 34 && P.fido_tier > 0; }, fidonet_praise},
    {[](const event_odds& o) { return o.roll <= o.window + 39; }, vip_caller},
}};

void roll_event()
{
    const event_odds o = roll_odds();
    for (const auto& e : EVENTS) {
        if (e.due(o)) {
            e.happen(o);
            return;
        }
    }
}

// ---- Victory ------------------------------------------------------------

bool is_legend()
{
    return P.fame > 4 && P.cash > 99999 && P.total_callers > 24999 && P.cpu > 6 && P.modem > 7 &&
           P.fido_tier > 3 && P.inet_tier > 3;
}

void check_victory()
{
    if (P.won != 0 || !is_legend())
        return;
    P.won = 1;
    announce("YOU WIN!", 2,
             "Your BBS is a global LEGEND.\nFame 5, $100k+ cash, 25k+ callers,\nfull-tier rig and T1.  Well done, "
             "sysop!\nYou can keep playing and break records.");
}

}  // namespace

void start_turn_day()
{
    const std::int32_t today = real_day();
    if (today != P.turn_day) {
        P.turn_day = today;
        P.turns_used = 0;
    }
}

int turns_limit()
{
    constexpr int DEFAULT_TURNS = 30;
    return P.turns_per_day > 0 ? P.turns_per_day : DEFAULT_TURNS;
}

int turns_left_today()
{
    int left = turns_limit();
    if (P.turn_day == real_day())
        left -= P.turns_used;
    return left < 0 ? 0 : left;
}

void play_day(const day_screens& screens)
{
    g_screens = &screens;
    if (!take_turn())
        return;
    const day_report r = serve_callers();
    update_standing(r.callers);
    announce("End of Day", 2, "%d callers today.\nEarned  $%ld\nBills   $%ld\nRep %d   Heat %d   HW %d%%", r.callers,
             as_long(r.earned), as_long(r.bills), P.rep, P.heat, P.hw_health);
    roll_event();
    check_victory();
}

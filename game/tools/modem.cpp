#include "game/tools/modem.h"

#include "game/screen/cells.h"
#include "game/screen/pause.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

namespace {

constexpr int STAGE_COUNT = 8;
constexpr int FRAME_MS = 450;
constexpr int CONNECTED_HOLD_MS = 900;

constexpr std::array<const char*, 8> LED_NAMES{"MR", "TR", "RD", "SD", "HS", "CD", "OH", "AA"};
constexpr std::array<const char*, 6> STATUS{
    "Power on...", "ATZ", "AT&F", "ATDT 555-BBSS   (dialing out)", "Carrier detect...", "CONNECT ready",
};
constexpr std::array<unsigned, 6> STAGES{0, 1, 3, 67, 75, 127};
// Stages past the table stay fully connected and show the line speed.
constexpr unsigned CONNECTED_MASK = 127;

// The front panel's geometry.
constexpr int CASE_LEFT = 13, CASE_TOP = 5, CASE_RIGHT = 66, CASE_BOTTOM = 14;
constexpr int CASE_INNER = 54;
constexpr int LED_LABEL_ROW = 10, LED_ROW = 11, LED_FIRST_COL = 17, LED_STEP = 6;
// From this stage on the data lights and the speaker show traffic.
constexpr int TRAFFIC_STAGE = 4;

// A lit light is a filled square: the PC's round bullet is byte 7, which a
// caller's terminal takes for the bell, beeping and leaving the cell empty.
constexpr unsigned char LIT = 254, UNLIT = 249, SPEAKER = 177, SPEAKER_ALT = 176;

void draw_case(const char* name)
{
    fill_rect(CASE_LEFT, CASE_TOP, CASE_RIGHT, CASE_BOTTOM, 7);
    draw_dbox(CASE_LEFT, CASE_TOP, CASE_RIGHT, CASE_BOTTOM, 0, 7);
    const int len = static_cast<int>(std::strlen(name));
    put_str(std::max(CASE_LEFT, CASE_LEFT + (CASE_INNER - len) / 2), 6, name, 0, 7, 1);
    put_run(16, 7, 205, 48, 0, 7, 0);
    put_str(24, 8, "HAYES COMPATIBLE EXTERNAL MODEM", 0, 7, 0);
}

// Colour of a lit light: the receive and send lights flicker once data flows.
int lit_colour(int stage, int j)
{
    const bool data_light = j == 2 || j == 3;
    if (stage >= TRAFFIC_STAGE && data_light)
        return (stage + j) % 2 == 0 ? 3 : 1;
    return 1;
}

void draw_lights(int stage, unsigned mask)
{
    for (int j = 0; j < static_cast<int>(LED_NAMES.size()); ++j) {
        const int col = LED_FIRST_COL + LED_STEP * j;
        put_str(col, LED_LABEL_ROW, LED_NAMES[static_cast<std::size_t>(j)], 0, 7, 1);
        if (((mask >> j) & 1u) != 0)
            put_run(col + 1, LED_ROW, LIT, 1, lit_colour(stage, j), 7, 1);
        else
            put_run(col + 1, LED_ROW, UNLIT, 1, 0, 7, 1);
    }
    put_str(14, LED_LABEL_ROW, "P", 2, 7, 1);
    put_run(14, LED_ROW, LIT, 1, 2, 7, 1);
    put_str(65, LED_LABEL_ROW, "S", 0, 7, 1);
    const bool buzz = stage >= TRAFFIC_STAGE && stage % 2 == 1;
    put_run(65, LED_ROW, buzz ? SPEAKER_ALT : SPEAKER, 1, 0, 7, 1);
}

void draw_connectors()
{
    put_run(15, 13, 220, 50, 0, 7, 0);
    put_str(15, 13, " PHONE ", 0, 3, 1);
    put_str(55, 13, " SERIAL ", 0, 3, 1);
}

void draw_log(int stage, const char* status)
{
    put_str(std::max(0, (80 - static_cast<int>(std::strlen(status))) / 2), 17, status, 2, 0, 1);
    put_str(14, 19, "TERMINAL LOG:", 6, 0, 1);
    put_run(14, 20, 196, 52, 7, 0, 0);
    // The newest command is highlighted; the log stops after the reset.
    put_str(14, 21, "Power on...", stage == 0 ? 3 : 7, 0, 1);
    if (stage >= 1)
        put_str(14, 22, "ATZ", stage == 1 ? 3 : 7, 0, 1);
}

void draw_stage(int stage, const char* name, const char* connect)
{
    const bool dialling = stage < static_cast<int>(STAGES.size());
    const unsigned mask = dialling ? STAGES[static_cast<std::size_t>(stage)] : CONNECTED_MASK;
    const char* status = dialling ? STATUS[static_cast<std::size_t>(stage)] : connect;

    clear_back();
    fill_rect(0, 0, 79, 24, 0);
    put_str(28, 2, "-=[ MODEM HANDSHAKE ]=-", 3, 0, 1);
    draw_case(name);
    draw_lights(stage, mask);
    draw_connectors();
    draw_log(stage, status);
}

}  // namespace

void animate_modem(const char* modem_name, int bps)
{
    const char* name = modem_name ? modem_name : "";
    full_clear_and_home();
    char connect[32];
    std::snprintf(connect, sizeof connect, "CONNECT %d", bps);
    for (int stage = 0; stage < STAGE_COUNT; ++stage) {
        draw_stage(stage, name, connect);
        present_frame();
        game_sleep_ms(FRAME_MS);
    }
    game_sleep_ms(CONNECTED_HOLD_MS);
}

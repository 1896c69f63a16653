#include "game/screen/pause.h"

#include "game/screen/terminal.h"

void (*g_sleep_hook)(int ms) = nullptr;

void game_sleep_ms(int ms)
{
    if (g_sleep_hook) {
        g_sleep_hook(ms);
        return;
    }
    if (ms > 0)
        wait_unless_gone(ms);
}

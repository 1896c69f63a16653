#include "game/app/day_screens.h"

#include "game/rules/catalogs.h"
#include "game/rules/day.h"
#include "game/rules/profile.h"
#include "game/screen/cells.h"
#include "game/screen/dialogs.h"
#include "game/tools/modem.h"

namespace {

void show_news(const char* title, const char* text, int colour)
{
    msg_box(title, text, colour);
}

// The caller's modem is heard connecting; the next frame is drawn by
// difference over what the animation left.
void vip_handshake()
{
    const modem_row& m = table_row(MODEMS, P.modem);
    animate_modem(m.name, m.bps);
}

constexpr day_screens DAY_SCREENS{show_news, vip_handshake};

}  // namespace

void run_day()
{
    play_day(DAY_SCREENS);
}

#include "game/tools/modem.h"

#include "game/screen/dialogs.h"

// Not open yet: the activity arrives with its own change.
void animate_modem(const char* modem_name, int bps)
{
    (void)modem_name;
    (void)bps;
}

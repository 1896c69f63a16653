#include "game/core/day.h"

#include "game/screen/dialogs.h"

// Not open yet: the activity arrives with its own change.
void run_day()
{
    msg_box("Closed", "Not open yet.", 3);
}

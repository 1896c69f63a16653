#include "game/shops/phone_co.h"

#include "game/screen/dialogs.h"

// Not open yet: the activity arrives with its own change.
void phone_co()
{
    msg_box("Closed", "Not open yet.", 3);
}

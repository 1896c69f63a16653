#include "game/shops/rename.h"

#include "game/screen/dialogs.h"

// Not open yet: the activity arrives with its own change.
void rename_bbs()
{
    msg_box("Closed", "Not open yet.", 3);
}

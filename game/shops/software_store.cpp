#include "game/shops/software_store.h"

#include "game/screen/dialogs.h"

// Not open yet: the activity arrives with its own change.
void software_store()
{
    msg_box("Closed", "Not open yet.", 3);
}

#include "game/shops/rename.h"

#include "game/rules/profile.h"
#include "game/rules/storage.h"
#include "game/screen/cells.h"
#include "game/screen/dialogs.h"
#include "game/screen/name_field.h"

void rename_bbs()
{
    static constexpr name_field_screen SCREEN{"Rename BBS", "RENAME YOUR BBS", "Type a new name for your BBS:", 25};
    full_clear_and_home();
    if (!edit_name_field(SCREEN, P.bbs_name, P.bbs_name))
        return;
    save_profile();
    msg_box("Renamed", "Your BBS goes by a new flag now.", 2);
}

#include "game/shops/rename.h"

#include "game/core/profile.h"
#include "game/core/storage.h"
#include "game/screen/cells.h"
#include "game/screen/dialogs.h"
#include "game/screen/terminal.h"
#include "game/shops/shop_screen.h"

#include <cstring>

namespace {

constexpr int FIELD_X = 25;
constexpr int FIELD_Y = 11;
constexpr int FIELD_END = 54;
constexpr int MAX_NAME = static_cast<int>(sizeof P.bbs_name) - 1;

struct name_field {
    char text[sizeof P.bbs_name];
    int len;
};

void draw_rename(const name_field& f)
{
    begin_framed_screen("Rename BBS", "RENAME YOUR BBS");
    put_str(25, 8, "Type a new name for your BBS:", 7, 0, 1);
    put_run(FIELD_X, FIELD_Y, ' ', FIELD_END - FIELD_X + 1, 0, 7, 0);
    put_str(FIELD_X, FIELD_Y, f.text, 0, 7, 1);
    if (FIELD_X + f.len <= 79)
        put_str(FIELD_X + f.len, FIELD_Y, "_", 1, 7, 1);
    put_str(26, 14, "[ENTER] save    [ESC] cancel", 3, 0, 1);
    draw_footer("Letters, numbers, space.");
    present_frame();
}

// Applies one key to the field: printable bytes are typed (letters in upper
// case), backspace and DEL delete, everything else is ignored.
void edit_field(name_field& f, int key)
{
    key = fold_upper(key);
    if ((key == 8 || key == 127) && f.len > 0) {
        f.text[--f.len] = '\0';
    } else if (key >= 32 && key <= 126 && f.len < MAX_NAME) {
        f.text[f.len++] = static_cast<char>(key);
        f.text[f.len] = '\0';
    }
}

}  // namespace

void rename_bbs()
{
    name_field f{};
    copy_text(f.text, P.bbs_name);
    f.len = static_cast<int>(std::strlen(f.text));
    full_clear_and_home();
    for (;;) {
        draw_rename(f);
        int key = read_key_block();
        if (key == 27)
            return;
        if (key == 13 || key == 10) {
            if (f.len == 0)
                return;
            copy_text(P.bbs_name, f.text);
            save_profile();
            msg_box("Renamed", "Your BBS goes by a new flag now.", 2);
            return;
        }
        edit_field(f, key);
    }
}

#include "game/screen/name_field.h"

#include "game/rules/profile.h"
#include "game/screen/cells.h"
#include "game/screen/dialogs.h"
#include "game/screen/terminal.h"

#include <cstring>

namespace {

constexpr int FIELD_X = 25;
constexpr int FIELD_Y = 11;
constexpr int FIELD_END = 54;
constexpr int MAX_NAME = static_cast<int>(NAME_FIELD_SIZE) - 1;

struct name_buffer {
    char text[NAME_FIELD_SIZE];
    int len;
};

void draw_field(const name_field_screen& s, const name_buffer& f)
{
    begin_framed_screen(s.tag, s.caption);
    put_str(s.prompt_x, 8, s.prompt, 7, 0, 1);
    put_run(FIELD_X, FIELD_Y, ' ', FIELD_END - FIELD_X + 1, 0, 7, 0);
    put_str(FIELD_X, FIELD_Y, f.text, 0, 7, 1);
    if (FIELD_X + f.len <= SCREEN_W - 1)
        put_str(FIELD_X + f.len, FIELD_Y, "_", 1, 7, 1);
    put_str(26, 14, "[ENTER] save    [ESC] cancel", 3, 0, 1);
    draw_footer("Letters, numbers, space.");
    present_frame();
}

// Applies one key: printable bytes are typed (letters in upper case),
// backspace and DEL delete, everything else is ignored.
void edit_buffer(name_buffer& f, int key)
{
    if (key >= 'a' && key <= 'z')
        key = key - 'a' + 'A';
    if ((key == 8 || key == 127) && f.len > 0) {
        f.text[--f.len] = '\0';
    } else if (key >= 32 && key <= 126 && f.len < MAX_NAME) {
        f.text[f.len++] = static_cast<char>(key);
        f.text[f.len] = '\0';
    }
}

}  // namespace

bool edit_name_field(const name_field_screen& screen, const char* start, char (&out)[NAME_FIELD_SIZE])
{
    name_buffer f{};
    copy_text(f.text, std::string_view(start, strnlen(start, MAX_NAME)));
    f.len = static_cast<int>(std::strlen(f.text));
    for (;;) {
        draw_field(screen, f);
        int key = read_key_block();
        if (key == 27)
            return false;
        if (key == 13 || key == 10) {
            if (f.len == 0)
                return false;
            copy_text(out, f.text);
            return true;
        }
        edit_buffer(f, key);
    }
}

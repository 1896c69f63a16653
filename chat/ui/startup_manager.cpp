// The startup manager: the connect form beside the address book of saved
// servers, its keys and the field editor.
#include "chat/config/text_util.h"
#include "chat/session/irc_session.h"
#include "chat/ui/display_text.h"
#include "chat/ui/keys.h"
#include "chat/ui/screen_out.h"
#include "chat/ui/ui.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>
#include <type_traits>

namespace {

constexpr std::array<const char*, FORM_FIELDS> FIELD_NAMES{"Label", "Server", "Port", "Nick", "Channel", "TLS",
                                                           "Password"};
constexpr int FIELD_TLS = 5;
constexpr int FIELD_PASSWORD = 6;
constexpr int FIELD_PORT = 2;
constexpr int EDIT_SIZE = 128;  // the longest field and its NUL
constexpr const char* KEY_HINTS =
    "Enter edit \u2551 L load \u2551 Space toggle TLS \u2551 C connect \u2551 T theme \u2551 A save \u2551 "
    "D delete \u2551 Esc quit";

// Where each text field lives in the settings, and how many bytes it holds.
template <typename Char>
struct text_field {
    Char* text;
    std::size_t size;
};

template <typename Entry>
auto field_text(Entry& e, int field) -> text_field<std::remove_reference_t<decltype(e.label[0])>>
{
    switch (field) {
    case 0: return {e.label, sizeof e.label};
    case 1: return {e.server, sizeof e.server};
    case 3: return {e.nick, sizeof e.nick};
    case 4: return {e.channel, sizeof e.channel};
    case FIELD_PASSWORD: return {e.password, sizeof e.password};
    default: return {nullptr, 0};
    }
}

// One "*" per password byte, at most 126.
void mask_password(const char* password, char* out, std::size_t size)
{
    const std::size_t n = std::min({std::string_view{password}.size(), std::size_t{126}, size - 1});
    std::fill_n(out, n, '*');
    out[n] = '\0';
}

// The value the form shows for a field.
void field_value(const server_entry& e, int field, char* out, std::size_t size)
{
    switch (field) {
    case FIELD_PORT:
        std::snprintf(out, size, "%d", e.port);
        break;
    case FIELD_TLS:
        safe_strcpy(out, e.tls ? "Yes" : "No", size);
        break;
    case FIELD_PASSWORD:
        if (e.password[0] == '\0') {
            safe_strcpy(out, "(none \u2014 SASL disabled)", size);
        } else {
            mask_password(e.password, out, size);
        }
        break;
    default:
        safe_strcpy(out, field_text(e, field).text, size);
        break;
    }
}

void draw_form(const ui_state* ui, int divider)
{
    const theme& t = themes[static_cast<std::size_t>(ui->theme)];
    g_out.move(3, 3);
    g_out.putf("%sCONNECT FORM\x1b[0m", t.heading);
    for (int i = 0; i < FORM_FIELDS; ++i) {
        g_out.move(5 + 2 * i, 3);
        if (i == ui->field) {
            g_out.put(t.bar);
        }
        print_clip(8, FIELD_NAMES[static_cast<std::size_t>(i)]);
        g_out.put("\x1b[0m");
        g_out.move(5 + 2 * i, 11);
        char value[160];
        field_value(ui->settings, i, value, sizeof value);
        g_out.put(t.heading);
        print_clip(divider - 14, value);
        g_out.put("\x1b[0m");
    }
}

// One address-book row: "N. label server", label and server padded to 18
// and 24 columns (longer ones push on), all cut to width.
void draw_entry(int number, const server_entry& e, int width)
{
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%d. ", number);
    int left = width;
    const auto piece = [&left](std::string_view text, int columns) {
        const int n = std::min(columns, left);
        put_text(g_out, text, n);
        left -= n;
    };
    piece(prefix, static_cast<int>(std::string_view{prefix}.size()));
    piece(e.label, std::max(18, text_columns(e.label)));
    piece(" ", 1);
    piece(e.server, std::max(24, text_columns(e.server)));
    g_out.spaces(left);
}

void draw_address_book(const ui_state* ui, const server_config* config, int divider)
{
    const screen_size size = ui->size;
    const theme& t = themes[static_cast<std::size_t>(ui->theme)];
    const int width = size.columns - divider - 3;
    const int fits = size.rows - 8;
    // The list scrolls so that the selected entry is always on screen.
    const int first = std::max(0, ui->selection - fits + 1);
    g_out.move(3, divider + 2);
    g_out.putf("%sADDRESS BOOK\x1b[0m", t.heading);
    for (int r = 0; r < fits; ++r) {
        const int index = first + r;
        g_out.move(5 + r, divider + 2);
        if (index >= config->count) {
            g_out.spaces(width);
            continue;
        }
        if (index == ui->selection) {
            g_out.put(t.bar);
        }
        draw_entry(index + 1, config->entries[index], width);
        g_out.put("\x1b[0m");
    }
}

void toggle_tls(ui_state* ui)
{
    ui->settings.tls = !ui->settings.tls;
}

// Reads the leading decimal digits; none gives 0. Stops before the value
// could overflow: such a port is refused by the connect anyway.
std::int32_t parse_port(const char* text)
{
    std::int32_t value = 0;
    for (; *text >= '0' && *text <= '9' && value <= 99999; ++text) {
        value = value * 10 + (*text - '0');
    }
    return value;
}

void commit_field(ui_state* ui, const char* text)
{
    if (ui->field == FIELD_PORT) {
        ui->settings.port = parse_port(text);
        return;
    }
    const auto f = field_text(ui->settings, ui->field);
    if (f.text != nullptr) {
        safe_strcpy(f.text, text, f.size);
    }
}

void draw_edit_row(const ui_state* ui, const char* text)
{
    const screen_size size = ui->size;
    char shown[EDIT_SIZE];
    if (ui->field == FIELD_PASSWORD) {
        mask_password(text, shown, sizeof shown);
    } else {
        safe_strcpy(shown, text);
    }
    char line[EDIT_SIZE + 16];
    std::snprintf(line, sizeof line, "%s: %s", FIELD_NAMES[static_cast<std::size_t>(ui->field)], shown);
    // The end of a long value stays in view, with the cursor after it.
    const std::string_view view = tail_within_columns(line, size.columns - 2);
    g_out.move(size.rows - 1, 1);
    print_clip(size.columns - 1, view);
    g_out.move(size.rows - 1, 1 + text_columns(view));
    g_out.flush();
}

void connect_form(ui_state* ui, irc_session* s)
{
    ui->connecting = 1;
    draw_status(ui, s);
    g_out.flush();
    const server_entry& f = ui->settings;
    const int result = irc_connect_server(s, f.server, f.port, f.nick, f.channel, f.tls, f.password);
    ui->connecting = 0;
    if (result == 0) {
        ui->startup_mode = 0;
        ui->scroll = 0;
    } else {
        startup_show_failure(ui, s);
    }
    ui->status_dirty = 1;
    ui->input_dirty = 1;
}

void delete_selected(ui_state* ui, server_config* config)
{
    if (ui->selection < 0 || ui->selection >= config->count) {
        return;
    }
    config_delete(config, ui->selection);
    config_save(config);
    if (ui->selection >= config->count) {
        ui->selection = config->count - 1;
    }
}

// In a door the saved servers are shared by every caller of the board, so a
// caller never gets a saved password and never leaves one behind.
void load_selected(ui_state* ui, const server_config* config)
{
    if (ui->selection >= 0 && ui->selection < config->count) {
        ui->settings = config->entries[ui->selection];
        if (ui->bbs_mode) {
            ui->settings.password[0] = '\0';
        }
    }
}

// The password a save stores for the form: in a door, the one already
// saved under that label (none for a new entry), never the caller's.
void stored_password(const ui_state* ui, const server_config* config, server_entry* entry)
{
    if (!ui->bbs_mode) {
        return;
    }
    entry->password[0] = '\0';
    for (int i = 0; i < config->count; ++i) {
        if (equals_ignore_case(config->entries[i].label, entry->label)) {
            safe_strcpy(entry->password, config->entries[i].password);
        }
    }
}

void save_form(ui_state* ui, server_config* config)
{
    server_entry entry = ui->settings;
    stored_password(ui, config, &entry);
    config_add_or_update(config, &entry);
    config_save(config);
    if (ui->selection < 0 && config->count > 0) {
        ui->selection = 0;
    }
}

}  // namespace

void draw_startup(ui_state* ui, const server_config* config)
{
    const screen_size size = ui->size;
    const int divider = size.columns / 2;
    draw_form(ui, divider);
    draw_address_book(ui, config, divider);
    g_out.move(size.rows - 3, 3);
    print_clip(size.columns - 4, KEY_HINTS);
    g_out.move(size.rows, 2);
    print_clip(size.columns - 2, ui->bbs_mode ? "BBS terminal mode enabled."
                                              : "Normal terminal mode. For BBS: run with --bbs or place DOOR.SYS / "
                                                "DOOR32.SYS in working dir.");
}

void startup_edit_field(ui_state* ui)
{
    char text[EDIT_SIZE];
    if (ui->field == FIELD_PASSWORD) {
        safe_strcpy(text, ui->settings.password);  // edited in clear, shown masked
    } else {
        field_value(ui->settings, ui->field, text, sizeof text);
    }
    std::size_t length = std::string_view{text}.size();
    g_out.put("\x1b[?25h");
    while (!ui_stop_requested()) {
        draw_edit_row(ui, text);
        const int key = ui_read_key();
        if (key == KEY_ENTER) {
            commit_field(ui, text);
            break;
        }
        if (key == KEY_ESC) {
            break;
        }
        if (key == KEY_BACKSPACE) {
            length = without_last_character({text, length});
            text[length] = '\0';
        } else if (key >= 32 && key <= 126 && length < EDIT_SIZE - 1) {
            text[length++] = static_cast<char>(key);
            text[length] = '\0';
        }
    }
    g_out.put("\x1b[?25l");
    ui->full_redraw = 1;
}

void startup_show_failure(ui_state* ui, irc_session* s)
{
    auto lock = irc_lock(s);
    std::snprintf(ui->notice, sizeof ui->notice, "Connection failed: %s",
                  s->connect_error[0] != '\0' ? s->connect_error : "unknown reason");
    s->connect_error[0] = '\0';
    ui->status_dirty = 1;
}

void startup_handle_key(ui_state* ui, server_config* config, irc_session* s, int key)
{
    if (key != KEY_NONE && key != KEY_IGNORED) {
        ui->notice[0] = '\0';   // a message stays until the next action
        ui->input_dirty = 1;
    }
    switch (key) {
    case KEY_UP: case 'k': ui->field = std::max(0, ui->field - 1); break;
    case KEY_DOWN: case 'j': ui->field = std::min(FORM_FIELDS - 1, ui->field + 1); break;
    case KEY_LEFT: case 'p': ui->selection = std::max(0, ui->selection - 1); break;
    case KEY_RIGHT: case 'n': ui->selection = std::max(0, std::min(ui->selection + 1, config->count - 1)); break;
    case ' ':
        if (ui->field == FIELD_TLS) {
            toggle_tls(ui);
        } else if (ui->field == FIELD_PASSWORD) {
            startup_edit_field(ui);
        }
        break;
    case KEY_ENTER:
        if (ui->field == FIELD_TLS) {
            toggle_tls(ui);
        } else {
            startup_edit_field(ui);
        }
        break;
    case KEY_ESC: case 'Q': case 'q': ui->running = 0; return;
    case 'A': case 'a': save_form(ui, config); break;
    case 'C': case 'c': connect_form(ui, s); break;
    case 'D': case 'd': delete_selected(ui, config); break;
    case 'L': case 'l': load_selected(ui, config); break;
    case 'T': case 't': ui->theme = (ui->theme + 1) % static_cast<int>(themes.size()); break;
    default: return;  // ignored, no redraw
    }
    ui->full_redraw = 1;
}

// The chat view's input line as a person uses it: keys in, the text on the
// input row and the cursor's column out, read from a terminal emulator.
#include "chat/session/irc_session.h"
#include "chat/ui/keys.h"
#include "chat/ui/screen_out.h"
#include "chat/ui/ui.h"
#include "tests/support/vt_screen.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

std::string g_written;

void keep(std::string_view bytes)
{
    g_written.append(bytes);
}

// Keys of a script: plain characters are typed, {X} names a key.
std::vector<int> script_keys(std::string_view script)
{
    struct named { char name; int key; };
    constexpr named NAMES[] = {
        {'L', KEY_LEFT}, {'R', KEY_RIGHT}, {'H', KEY_HOME}, {'E', KEY_END}, {'D', KEY_DELETE},
        {'B', KEY_BACKSPACE}, {'U', 21}, {'W', 23}, {'K', 11}, {'a', 1}, {'e', 5},
        {'N', KEY_ENTER}, {'P', KEY_UP}, {'n', KEY_DOWN}, {'T', KEY_TAB}, {'2', KEY_F2},
    };
    std::vector<int> keys;
    for (std::size_t i = 0; i < script.size(); ++i) {
        if (script[i] == '{' && i + 2 < script.size() && script[i + 2] == '}') {
            for (const named& n : NAMES) {
                if (n.name == script[i + 1]) {
                    keys.push_back(n.key);
                }
            }
            i += 2;
        } else {
            keys.push_back(static_cast<unsigned char>(script[i]));
        }
    }
    return keys;
}

const std::string DIGITS = "0123456789012345678901234567890123456789012345678901234567890123456789"
                           "012345678901234567890123456789";   // 100 characters

struct input_case {
    std::string script;
    std::string shown;     // the input row after ">", trailing blanks removed
    int column;            // the cursor's column in the field, 0 = right after ">"
    bool users_shown = true;
};

void PrintTo(const input_case& c, std::ostream* os)
{
    *os << c.script;
}

class InputLine : public ::testing::TestWithParam<input_case> {
protected:
    std::unique_ptr<irc_session> session = std::make_unique<irc_session>();
    ui_state ui{};
    vt::vt_screen screen{80, 24};

    void SetUp() override
    {
        irc_init(session.get());
        ui.size = {24, 80};
        ui.users_shown = 1;
        std::strcpy(session->nick, "n");
        const char* users[] = {"@op", "bob", "bobby", "carol", "n"};
        for (const char* u : users) {
            std::strcpy(session->users[session->user_count], u);
            session->user_modes[session->user_count] = u[0] == '@' ? 1 : 0;
            ++session->user_count;
        }
        g_out.sink = keep;
    }
    void TearDown() override { g_out.sink = write_to_stdout; }
};

TEST_P(InputLine, KeysGiveTheTextAndCursor)
{
    const input_case& c = GetParam();
    for (const int key : script_keys(c.script)) {
        chat_handle_key(&ui, session.get(), key);
    }
    g_written.clear();
    draw_status(&ui, session.get());
    g_out.flush();
    screen.feed(g_written);
    EXPECT_EQ(screen.row_text(22), ">" + c.shown) << screen.dump();
    EXPECT_EQ(screen.cursor_y(), 22);
    EXPECT_EQ(screen.cursor_x() - 1, c.column);
    EXPECT_EQ(ui.users_shown != 0, c.users_shown);
}

INSTANTIATE_TEST_SUITE_P(
    Table, InputLine,
    ::testing::Values(
        input_case{"hello{L}{L}X", "helXlo", 4},
        input_case{"hello{H}>", ">hello", 1},
        input_case{"hello{a}{e}!", "hello!", 6},
        input_case{"hello world{W}", "hello", 6},
        input_case{"hello world{L}{L}{L}{W}", "hello rld", 6},
        input_case{"abc{H}{D}", "bc", 0},
        input_case{"abc{L}{U}", "c", 0},
        input_case{"abc{L}{L}{K}", "a", 1},
        input_case{"abc{B}{L}{B}", "b", 0},
        input_case{"{R}{L}{B}{D}{W}{U}x", "x", 1},
        // History: Up walks back, stops at the oldest, Down returns to what was being typed.
        input_case{"one{N}two{N}{P}", "two", 3},
        input_case{"one{N}two{N}{P}{P}{P}", "one", 3},
        input_case{"one{N}two{N}{P}{P}{n}", "two", 3},
        input_case{"one{N}two{N}dr{P}{P}{n}{n}", "dr", 2},
        input_case{"one{N}one{N}{P}{P}", "one", 3},
        input_case{"one{N}{P}x{N}{P}", "onex", 4},
        // A line wider than the field scrolls so the cursor stays in view.
        input_case{DIGITS, DIGITS.substr(23), 77},
        input_case{DIGITS + "{H}", DIGITS.substr(0, 78), 0},
        input_case{DIGITS + "{H}{E}", DIGITS.substr(23), 77},
        input_case{DIGITS + "{H}{R}{R}{D}", DIGITS.substr(0, 2) + DIGITS.substr(3, 76), 2},
        // Tab completes nicks of the list (not our own), cycling; ": " at the start.
        input_case{"b{T}", "bob:", 5},
        input_case{"B{T}{T}", "bobby:", 7},
        input_case{"b{T}{T}{T}", "bob:", 5},
        input_case{"b{T}x", "bob: x", 6},
        input_case{"hi o{T}", "hi op", 5},
        input_case{"hi car{T} and", "hi carol and", 12},
        input_case{"x{H}b{T}", "bob: x", 5},
        // Nothing to complete: Tab toggles the nick list, as F2 always does.
        input_case{"{T}", "", 0, false},
        input_case{"hi {T}", "hi", 3, false},
        input_case{"n{T}", "n", 1, false},
        input_case{"zz{T}{T}", "zz", 2, true},
        input_case{"b{2}", "b", 1, false}),
    [](const auto& p) { return "case" + std::to_string(p.index); });

TEST(InputLineLimits, HoldsAtMost511BytesWhereverTheCursorIs)
{
    auto session = std::make_unique<irc_session>();
    irc_init(session.get());
    ui_state ui{};
    for (int i = 0; i < 600; ++i) {
        chat_handle_key(&ui, session.get(), 'a');
    }
    chat_handle_key(&ui, session.get(), KEY_HOME);
    chat_handle_key(&ui, session.get(), 'b');
    EXPECT_EQ(ui.input_length, 511);
    EXPECT_EQ(ui.input[0], 'a');
    input_insert(&ui, "\xc3\xa9");   // no room for half a character
    EXPECT_EQ(ui.input_length, 511);
    EXPECT_EQ(std::string(ui.input), std::string(511, 'a'));
}

TEST(InputLineLimits, HistoryKeepsTheLast50Lines)
{
    auto session = std::make_unique<irc_session>();
    irc_init(session.get());
    ui_state ui{};
    for (int i = 0; i < 60; ++i) {
        for (const char c : std::to_string(i)) {
            chat_handle_key(&ui, session.get(), c);
        }
        chat_handle_key(&ui, session.get(), KEY_ENTER);
    }
    for (int i = 0; i < 70; ++i) {
        chat_handle_key(&ui, session.get(), KEY_UP);
    }
    EXPECT_STREQ(ui.input, "10");
    chat_handle_key(&ui, session.get(), KEY_DOWN);
    EXPECT_STREQ(ui.input, "11");
}

}  // namespace

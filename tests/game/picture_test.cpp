// Every frame the presenter sends, fed into a caller's terminal, shows the
// same cells (character, colours, bold) as the same frame painted whole, cell
// by cell: screens and boxes drawn by difference never change the picture.
#include "game/app/console_loop.h"
#include "game/app/hall_of_fame_screen.h"
#include "game/app/title.h"
#include "game/rules/storage.h"
#include "game/screen/dialogs.h"
#include "game/screen/pause.h"
#include "game/shops/hack_minigame.h"
#include "game/shops/underground.h"
#include "game/tools/config_menu.h"
#include "game/tools/console.h"
#include "game/tools/modem.h"
#include "game/tools/printer.h"
#include "tests/game/game_fixture.h"

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The frame as a presenter that sends every cell would send it: a cursor
// move at the start of each row, the whole pen wherever it changes.
std::string painted_whole(const cell (&back)[SCREEN_H][SCREEN_W])
{
    std::string out;
    int fg = -1;
    int bg = -1;
    int bold = -1;
    for (int y = 0; y < SCREEN_H; ++y) {
        out += "\x1b[" + std::to_string(y + 1) + ";1H";
        for (int x = 0; x < SCREEN_W; ++x) {
            const cell& c = back[y][x];
            if (c.fg != fg || c.bg != bg || c.bold != bold) {
                out += std::string("\x1b[0;") + (c.bold ? "1;" : "") + "3" + std::to_string(c.fg) + ";4" +
                       std::to_string(c.bg) + "m";
                fg = c.fg;
                bg = c.bg;
                bold = c.bold;
            }
            unsigned char glyph[3];
            out.append(reinterpret_cast<const char*>(glyph), encode_glyph(c.ch, glyph));
        }
    }
    return out + "\x1b[0m";
}

bool same_picture(const vt::vt_screen& a, const vt::vt_screen& b, std::string& where)
{
    for (int y = 0; y < SCREEN_H; ++y) {
        for (int x = 0; x < SCREEN_W; ++x) {
            const vt::cell_info p = a.cell(x, y);
            const vt::cell_info q = b.cell(x, y);
            if (p.ch != q.ch || p.fg != q.fg || p.bg != q.bg || p.bold != q.bold) {
                where = "cell (" + std::to_string(x) + ", " + std::to_string(y) + ")";
                return false;
            }
        }
    }
    return true;
}

std::unique_ptr<vt::vt_screen> cp437_terminal()
{
    auto s = std::make_unique<vt::vt_screen>(SCREEN_W, SCREEN_H);
    s->take_c0_as_controls(true);
    return s;
}

}  // namespace

class picture : public game_test {
protected:
    picture()
    {
        current_ = this;
        saved_hook_ = g_frame_hook;
        g_frame_hook = [] { current_->record(); };
        g_sleep_hook = [](int) {};
        new_profile();
    }
    ~picture() override
    {
        g_frame_hook = saved_hook_;
        current_ = nullptr;
    }

    struct shot {
        std::size_t end;  // bytes sent up to the end of this frame
        cell back[SCREEN_H][SCREEN_W];
    };

    // Checks every frame since the last call; the texts the frames showed,
    // row 1 (captions) and the rows of boxes, to tell which screens were seen.
    ::testing::AssertionResult every_frame_matches(std::string& seen)
    {
        const std::string sent = door.history();
        auto caller = cp437_terminal();
        std::size_t fed = 0;
        for (std::size_t i = 0; i < shots_.size(); ++i) {
            const shot& s = shots_[i];
            caller->feed_cp437(std::string_view(sent).substr(fed, s.end - fed));
            fed = s.end;
            auto whole = cp437_terminal();
            whole->feed_cp437(painted_whole(s.back));
            std::string where;
            if (!same_picture(*caller, *whole, where))
                return ::testing::AssertionFailure() << "frame " << i << " differs at " << where << "\ncaller sees:\n"
                                                     << caller->dump() << "\npainted whole:\n"
                                                     << whole->dump();
            seen += whole->dump();
        }
        if (shots_.empty())
            return ::testing::AssertionFailure() << "no frame was presented";
        return ::testing::AssertionSuccess();
    }

    std::vector<shot> shots_;

private:
    void record()
    {
        shots_.emplace_back();
        shots_.back().end = door.history().size();
        std::memcpy(shots_.back().back, g_back, sizeof g_back);
    }

    void (*saved_hook_)() = nullptr;
    static inline picture* current_ = nullptr;
};

namespace {

constexpr const char* DOWN = "\x1b[B";
constexpr const char* UP = "\x1b[A";

std::string times(int n, const std::string& keys)
{
    std::string s;
    for (int i = 0; i < n; ++i)
        s += keys;
    return s;
}

struct session {
    const char* what;
    void (*prepare)();
    void (*run)();
    std::string keys;
    std::vector<const char*> must_show;  // texts some frame shows
    std::string late_keys = "";          // typed 400 ms after the start
};

void seeded_board()
{
    P.cash = 250000;
    P.hack_skill = 60;
    P.fame = 3;
    save_profile();
    // Two rivals, so the rival list and its minigame have targets.
    const profile me = P;
    for (const char* name : {"Rival One", "Rival Two"}) {
        new_profile();
        copy_text(P.sysop_name, name);
        copy_text(g_d.user_name, name);
        P.fame = 2;
        save_profile();
    }
    copy_text(g_d.user_name, "Sysop");
    P = me;
}

}  // namespace

TEST_F(picture, EveryFrameOfEveryScreenShowsWhatAWholeRepaintShows)
{
    const session sessions[] = {
        {"a whole game from the title", [] {},
         title_loop,
         // A new board and its welcome box, then the console.
         std::string("1") + " " +
             // The computer store, its RAM list with three arrow keys, and back.
             "2" + "2" + DOWN + DOWN + UP + "q" + "q" +
             // The software store's doors list, the phone company.
             "3" + "1" + DOWN + "q" + "q" + "4" + "q" +
             // The underground, its dark market and the (empty) rival list.
             "5" + "d" + DOWN + "q" + "p" + " " + "q" +
             // Statistics, a saved game, a node, a day with its boxes.
             "6" + " " + "9" + " " + "8" + "n" + " " + "1" + times(8, " ") +
             // Save and quit, the hall of fame, and out.
             "q" + "3" + " " + "4",
         {"BBS CONSOLE", "BYTE ME COMPUTING", "Byte Me Computing - RAM", "BIG JOHN'S", "THE PHONE COMPANY",
          "THE PIRATE COVE", "Dark Market", "SYSOP DOSSIER", "V E X O N"}},
        {"the rival list and a hack", seeded_board, hacker_underground,
         // The minigame reads ESC alone; the result box, the list and the
         // underground are left with keys of their own.
         std::string("p") + DOWN + UP + "\r" + "y" + "\x1b" + " " + "q" + "q",
         {"RIVAL SYSOP UNDERGROUND"}},
        {"a minigame: the reels turn, one is locked, then it is given up", [] {},
         [] { hack_minigame(3); }, "", {"BREAKING IN"}, " \x1b "},
        {"the configuration menu and the printer", seeded_board, config_menu,
         // The key after a lone ESC is read with it and dropped: "!".
         std::string("3") + "2" + " " + "4" + "1" + " " + "5" + DOWN + "\x1b!" + "8" + "1" + " " + "q" + "q",
         {"Config - Turns/Day", "Dot Matrix Printer"}},
        {"the modem handshake", [] {},
         [] { animate_modem("ZyXEL 19.2k", 19200); }, "", {"CONNECT 19200"}},
        {"boxes over a screen", [] {},
         [] {
             render_console();
             msg_box("Report", "One line\nand another", 6);
             render_console();
             yes_no("Really?", "Spend it all?");
             render_console();
         },
         "xn", {"Spend it all?", "and another"}},
        {"the hall of fame", seeded_board, hs_screen, " ", {"TOP SYSOPS"}},
    };
    for (const session& s : sessions) {
        SCOPED_TRACE(s.what);
        new_profile();
        s.prepare();
        shots_.clear();
        door.send_keys(s.keys);
        if (!s.late_keys.empty())
            door.send_keys_after(std::chrono::milliseconds(400), s.late_keys);
        s.run();
        std::string seen;
        ASSERT_TRUE(every_frame_matches(seen));
        for (const char* text : s.must_show)
            EXPECT_NE(seen.find(text), std::string::npos) << "no frame showed \"" << text << "\"";
        // Keys a session left unread do not reach the next one.
        unsigned char b = 0;
        while (try_read_byte(0, &b) == 1) {
        }
    }
}

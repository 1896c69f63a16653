// Fixture of the stores' tests: a new player's board saved on disk, and the
// screens the game showed, frame by frame, so a test can see each message
// box and question as the player did.
#pragma once

#include "game/rules/storage.h"
#include "tests/game/game_fixture.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <span>
#include <sstream>
#include <string>
#include <vector>

// A message box or question as it appeared on the screen.
struct shown_box {
    std::string title;
    std::string text;  // its lines, trimmed, joined by "\n"
    bool operator==(const shown_box&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const shown_box& b)
{
    return os << '[' << b.title << ": " << b.text << ']';
}

// One visit to a store: a starting board, the keys typed, the change the
// visit must make to the board (in memory and on disk) and the boxes seen.
struct store_visit {
    const char* name;
    std::function<void(profile&)> start;
    std::string keys;
    std::function<void(profile&)> change;
    std::vector<shown_box> seen;
};

// The fields the stores touch, for readable failures.
inline std::string describe(const profile& p)
{
    std::ostringstream os;
    os << "cash " << p.cash << " rep " << p.rep << " cpu " << p.cpu << " ram " << p.ram << " hdd " << p.hdd
       << " modem " << p.modem << " monitor " << p.monitor << " peripherals " << p.peripherals << " health "
       << p.hw_health << " doors " << p.doors << " cdroms " << p.cdroms << " bbs " << p.bbs_software
       << " protection " << p.protection << " fido " << p.fido_tier << " inet " << p.inet_tier << " name "
       << p.bbs_name << " protect_health";
    for (int i = 0; i < 10; ++i)
        os << ' ' << int{p.protect_health[i]};
    return os.str();
}

class shop_test : public game_test {
protected:
    shop_test()
    {
        new_profile();
        save_profile();
        // Animations run without pausing; the test sees what they asked for.
        g_sleep_hook = [](int ms) { slept_ms += ms; };
        slept_ms = 0;
    }

    static inline int slept_ms = 0;

    // The caller's terminal after each frame since the output was cleared.
    std::vector<std::unique_ptr<vt::vt_screen>> frames() { return door.frames(); }

    // Every message box and question shown, in order.
    std::vector<shown_box> boxes()
    {
        std::vector<shown_box> found;
        for (const auto& s : frames()) {
            if (auto b = box_on(*s))
                found.push_back(*b);
        }
        return found;
    }

    // The last frame whose page caption reads caption (a store front or list).
    std::unique_ptr<vt::vt_screen> last_page(const std::string& caption)
    {
        auto shots = frames();
        for (auto it = shots.rbegin(); it != shots.rend(); ++it) {
            if ((*it)->row_text(1).find("╡ " + caption + " ╞") != std::string::npos)
                return std::move(*it);
        }
        return nullptr;
    }

    // The profile as the file on disk holds it.
    profile saved() const
    {
        profile p{};
        std::string bytes = testsupport::read_file("data/sysop_sysop.dat");
        std::memcpy(&p, bytes.data(), bytes.size() < sizeof p ? bytes.size() : sizeof p);
        return p;
    }

    // Plays each visit from a fresh board saved on disk.
    void check_visits(void (*store)(), std::span<const store_visit> visits)
    {
        for (const store_visit& v : visits) {
            SCOPED_TRACE(v.name);
            new_profile();
            v.start(P);
            save_profile();
            profile want = P;
            v.change(want);
            door.clear_output();

            door.send_keys(v.keys);
            store();

            EXPECT_EQ(describe(P), describe(want));
            EXPECT_EQ(std::memcmp(&P, &want, sizeof P), 0);
            profile on_disk = saved();
            EXPECT_EQ(std::memcmp(&on_disk, &want, sizeof want), 0) << "the file lags behind";
            EXPECT_EQ(boxes(), v.seen);
        }
    }

private:
    static std::string trimmed(std::string s)
    {
        for (std::size_t at; (at = s.find("║")) != std::string::npos;)
            s.erase(at, std::string("║").size());
        std::size_t b = s.find_first_not_of(' ');
        std::size_t e = s.find_last_not_of(' ');
        return b == std::string::npos ? "" : s.substr(b, e - b + 1);
    }

    static std::unique_ptr<shown_box> box_on(const vt::vt_screen& s)
    {
        int prompt = s.find_row("[ Press any key ]");
        if (prompt < 0)
            prompt = s.find_row("[Y] Yes    [N] No");
        if (prompt < 0)
            return nullptr;
        for (int top = 2; top < prompt; ++top) {
            std::string row = s.row_text(top);
            std::size_t open = row.find("╡ ");
            std::size_t close = row.find(" ╞");
            if (open == std::string::npos || close == std::string::npos)
                continue;
            auto b = std::make_unique<shown_box>();
            b->title = row.substr(open + std::string("╡ ").size(), close - open - std::string("╡ ").size());
            for (int y = top + 2; y < prompt; ++y) {
                std::string line = trimmed(s.row_text(y));
                if (!line.empty())
                    b->text += (b->text.empty() ? "" : "\n") + line;
            }
            return b;
        }
        return nullptr;
    }
};

// n presses of the down arrow.
inline std::string downs(int n)
{
    std::string keys;
    for (int i = 0; i < n; ++i)
        keys += testsupport::KEY_DOWN;
    return keys;
}

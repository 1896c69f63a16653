// The modem handshake: frame by frame as the caller's terminal shows it,
// captured at each of the animation's sleeps.
#include "game/tools/modem.h"
#include "tests/game/game_fixture.h"

#include <numeric>
#include <string>
#include <vector>

class modem : public game_test {
protected:
    modem()
    {
        current_ = this;
        g_sleep_hook = [](int ms) { current_->record(ms); };
    }
    ~modem() override { current_ = nullptr; }

    // The terminal as it stood while frame i was shown.
    std::unique_ptr<vt::vt_screen> frame(std::size_t i)
    {
        auto s = std::make_unique<vt::vt_screen>(80, 25);
        s->take_c0_as_controls(true);
        s->feed_cp437(shown_.at(i));
        return s;
    }

    std::vector<int> sleeps_;

private:
    void record(int ms)
    {
        sleeps_.push_back(ms);
        shown_.push_back(door.history());
    }

    std::vector<std::string> shown_;
    static inline modem* current_ = nullptr;
};

namespace {

constexpr int LIGHT_ROW = 11;
int light_col(int j)
{
    return 18 + 6 * j;
}

}  // namespace

TEST_F(modem, EightFramesInFourAndAHalfSeconds)
{
    animate_modem("2400 bps", 2400);
    EXPECT_EQ(sleeps_, (std::vector<int>{450, 450, 450, 450, 450, 450, 450, 450, 900}));
    EXPECT_EQ(std::accumulate(sleeps_.begin(), sleeps_.end(), 0), 4500);
    // No light rings the caller's bell.
    EXPECT_EQ(door.output().find('\a'), std::string::npos);
}

TEST_F(modem, StatusLineFollowsTheHandshakeAndEndsWithTheSpeed)
{
    animate_modem("2400 bps", 2400);
    const char* status[] = {"Power on...",       "ATZ",           "AT&F",         "ATDT 555-BBSS   (dialing out)",
                            "Carrier detect...", "CONNECT ready", "CONNECT 2400", "CONNECT 2400"};
    for (std::size_t i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        auto s = frame(i);
        const int len = static_cast<int>(std::string(status[i]).size());
        EXPECT_EQ(s->text_at((80 - len) / 2, 17, len), status[i]) << s->dump();
        EXPECT_EQ(s->cell((80 - len) / 2, 17).fg, 2);
    }
}

TEST_F(modem, StageThreeLightsTheLineAndOffHookInRed)
{
    animate_modem("2400 bps", 2400);
    auto s = frame(3);
    const char* labels[] = {"MR", "TR", "RD", "SD", "HS", "CD", "OH", "AA"};
    for (int j = 0; j < 8; ++j) {
        SCOPED_TRACE(labels[j]);
        EXPECT_EQ(s->text_at(17 + 6 * j, 10, 2), labels[j]) << s->dump();
        const bool lit = j == 0 || j == 1 || j == 6;
        const auto c = s->cell(light_col(j), LIGHT_ROW);
        EXPECT_EQ(c.ch, vt::cp437_to_unicode(lit ? 254 : 249));
        EXPECT_EQ(c.fg, lit ? 1 : 0);
        EXPECT_EQ(c.bg, 7);
    }
}

TEST_F(modem, DataLightsAndSpeakerFlickerOnceTheCarrierIsUp)
{
    // RD (j 2) and SD (j 3) show yellow on even stage + j, red on odd;
    // RD is dark until stage 5. The speaker grille alternates on odd stages.
    struct flicker_case {
        std::size_t stage;
        int rd_fg;  // -1: dark
        int sd_fg;
        unsigned char speaker;
    };
    const flicker_case cases[] = {
        {3, -1, -1, 177}, {4, -1, 1, 177}, {5, 1, 3, 176}, {6, 3, 1, 177}, {7, 1, 3, 176},
    };
    animate_modem("2400 bps", 2400);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stage);
        auto s = frame(c.stage);
        for (auto [j, fg] : {std::pair{2, c.rd_fg}, std::pair{3, c.sd_fg}}) {
            const auto cell = s->cell(light_col(j), LIGHT_ROW);
            EXPECT_EQ(cell.ch, vt::cp437_to_unicode(fg < 0 ? 249 : 254)) << j;
            EXPECT_EQ(cell.fg, fg < 0 ? 0 : fg) << j;
        }
        EXPECT_EQ(s->cell(65, LIGHT_ROW).ch, vt::cp437_to_unicode(c.speaker));
        // Connected: every light but auto-answer.
        if (c.stage >= 5) {
            EXPECT_EQ(s->cell(light_col(6), LIGHT_ROW).fg, 1);
            EXPECT_EQ(s->cell(light_col(7), LIGHT_ROW).ch, vt::cp437_to_unicode(249));
        }
    }
}

TEST_F(modem, PanelShowsTheModemNameCentredAndTheLog)
{
    animate_modem("2400 bps", 2400);
    auto s = frame(1);
    EXPECT_EQ(s->text_at(28, 2, 23), "-=[ MODEM HANDSHAKE ]=-") << s->dump();
    EXPECT_EQ(s->text_at(36, 6, 8), "2400 bps");
    EXPECT_EQ(s->cell(36, 6).bg, 7);
    EXPECT_EQ(s->text_at(24, 8, 31), "HAYES COMPATIBLE EXTERNAL MODEM");
    EXPECT_EQ(s->text_at(13, 5, 2), "╔═");
    EXPECT_EQ(s->text_at(14, 10, 1), "P");
    EXPECT_EQ(s->cell(14, LIGHT_ROW).ch, vt::cp437_to_unicode(254));
    EXPECT_EQ(s->cell(14, LIGHT_ROW).fg, 2);
    EXPECT_EQ(s->text_at(15, 13, 7), " PHONE ");
    EXPECT_EQ(s->text_at(55, 13, 8), " SERIAL ");
    EXPECT_EQ(s->cell(15, 13).bg, 3);
    EXPECT_EQ(s->text_at(14, 19, 13), "TERMINAL LOG:");

    // The newest logged command is yellow, older ones white.
    struct log_case {
        std::size_t stage;
        int power_fg;
        int atz_fg;  // -1: not logged yet
    };
    for (const auto& c : {log_case{0, 3, -1}, log_case{1, 7, 3}, log_case{2, 7, 7}, log_case{7, 7, 7}}) {
        SCOPED_TRACE(c.stage);
        auto f = frame(c.stage);
        EXPECT_EQ(f->text_at(14, 21, 11), "Power on...");
        EXPECT_EQ(f->cell(14, 21).fg, c.power_fg);
        EXPECT_EQ(f->row_text(22).find("ATZ") != std::string::npos, c.atz_fg >= 0);
        if (c.atz_fg >= 0) {
            EXPECT_EQ(f->cell(14, 22).fg, c.atz_fg);
        }
        EXPECT_EQ(f->row_text(23), "");
    }
}

TEST_F(modem, OverlongNameStartsAtTheCaseEdge)
{
    const std::string name(60, 'N');
    animate_modem(name.c_str(), 1544000);
    auto s = frame(7);
    EXPECT_EQ(s->text_at(13, 6, 60), name) << s->dump();
    EXPECT_EQ(s->text_at(32, 17, 15), "CONNECT 1544000");
}

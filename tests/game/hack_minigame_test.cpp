// The reel minigame played by a bot that sees the screen and types on time,
// through the game's clock seam and a known generator.
#include "game/screen/dialogs.h"
#include "game/shops/hack_minigame.h"
#include "tests/game/game_fixture.h"
#include "tests/game/reel_bot.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace {

class minigame_test : public game_test {
protected:
    // Plays one game with the given moves; the bot stays for inspection.
    int play(int difficulty, const std::string& moves)
    {
        bot.next_game();
        bot.add_round({moves, ""});
        const int result = hack_minigame(difficulty);
        EXPECT_EQ(g_footer_diff_mode, 0);
        EXPECT_FALSE(bot.gave_up);
        return result;
    }

    reel_bot bot{door.peer_fd()};
};

// Target and periods come from the generator in that order.
struct opening {
    int target;
    int period[4];
};

opening expected_opening(std::uint32_t seed, int difficulty)
{
    opening o{};
    o.target = static_cast<int>(draw_from(seed, 7)) + 3;
    for (int& p : o.period)
        p = difficulty / 20 + 1 + static_cast<int>(draw_from(seed, 3));
    return o;
}

TEST_F(minigame_test, AttemptsFollowTheDifficulty)
{
    struct row {
        int difficulty;
        int attempts;
    };
    for (const row r : {row{10, 9}, row{19, 9}, row{20, 8}, row{55, 7}, row{79, 6}, row{80, 5}, row{95, 5}}) {
        SCOPED_TRACE(r.difficulty);
        EXPECT_EQ(play(r.difficulty, "e"), -1);
        const reel_view first = bot.openings.back();
        EXPECT_EQ(first.difficulty, r.difficulty);
        EXPECT_EQ(first.attempts, r.attempts);
    }
}

TEST_F(minigame_test, TargetIsDrawnFirstAndNeverBelowThree)
{
    for (std::uint32_t seed = 1; seed < 400; seed += 7) {
        g_rng = seed;
        ASSERT_EQ(play(40, "e"), -1);
        const int target = bot.openings.back().target;
        EXPECT_EQ(target, expected_opening(seed, 40).target);
        EXPECT_GE(target, 3);
        EXPECT_LE(target, 9);
        // All reels start at 0 and turn, so none can open on the target.
        for (int i = 0; i < 4; ++i)
            EXPECT_NE(bot.openings.back().value[i], target);
    }
}

TEST_F(minigame_test, FourHitsWin)
{
    g_rng = 12345;
    EXPECT_EQ(play(12, "hhhh"), 1);
    ASSERT_EQ(bot.steps.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(bot.steps[static_cast<std::size_t>(i)].before.next_reel(), i);
        EXPECT_EQ(bot.steps[static_cast<std::size_t>(i)].before.value[i], bot.openings[0].target);
    }
    // The reels turned at their own pace: each step of a reel is at least two
    // frames apart, so reaching a target of 3 or more took several frames.
    EXPECT_EQ(bot.after.size(), 3u);
}

TEST_F(minigame_test, MissUnlocksTheReelOnARandomDigitAndTheNextSpaceTriesItAgain)
{
    g_rng = 777;
    EXPECT_EQ(play(30, "hhmhh"), 1);
    ASSERT_EQ(bot.steps.size(), 5u);
    const auto& miss = bot.steps[2];
    ASSERT_EQ(miss.move, 'm');
    EXPECT_EQ(miss.before.next_reel(), 2);
    // The frame after the miss: reels 0 and 1 still locked, reel 2 turning
    // again from a drawn digit (which may have stepped once since), one
    // attempt gone.
    const reel_view& then = bot.after[2];
    EXPECT_TRUE(then.locked[0]);
    EXPECT_TRUE(then.locked[1]);
    EXPECT_FALSE(then.locked[2]);
    EXPECT_EQ(then.attempts, miss.before.attempts - 1);
    std::uint32_t state = miss.rng;
    const int drawn = static_cast<int>(draw_from(state, 10));
    EXPECT_THAT(then.value[2], ::testing::AnyOf(drawn, (drawn + 1) % 10));
    // The next space went to reel 2 again.
    EXPECT_EQ(bot.steps[3].before.next_reel(), 2);
    EXPECT_EQ(bot.after[3].locked_count(), 3);
}

TEST_F(minigame_test, FifthMissAtTheTopDifficultyFailsAtOnce)
{
    g_rng = 4242;
    EXPECT_EQ(play(95, "mmmmm"), 0);
    ASSERT_EQ(bot.steps.size(), 5u);
    EXPECT_EQ(bot.steps.back().before.attempts, 1);
    // No frame after the last miss: the screen still shows one attempt left.
    EXPECT_EQ(read_reels(g_front).attempts, 1);
    EXPECT_EQ(bot.after.size(), 4u);
}

TEST_F(minigame_test, EscapeAndArrowKeysAbortAtAnyMoment)
{
    struct row {
        const char* moves;
        int locked;
    };
    for (const row r : {row{"e", 0}, row{"hhe", 2}, row{"a", 0}, row{"hhha", 3}, row{"me", 0}}) {
        SCOPED_TRACE(r.moves);
        EXPECT_EQ(play(25, r.moves), -1);
        EXPECT_EQ(bot.steps.back().before.locked_count(), r.locked);
        bot.steps.clear();
        bot.after.clear();
    }
}

TEST_F(minigame_test, EachFrameSendsOnlyTheCellsThatChanged)
{
    g_rng = 99;
    door.clear_output();
    ASSERT_EQ(play(60, "hhhh"), 1);
    const std::string out = door.output();
    // Every frame ends with one attribute reset; the first paints the whole
    // screen, the footer among it, and later frames carry only changes.
    std::size_t frames = 0;
    std::size_t largest_later = 0;
    std::size_t from = out.find("\x1b[0m") + 4;
    for (std::size_t at; (at = out.find("\x1b[0m", from)) != std::string::npos; from = at + 4) {
        ++frames;
        largest_later = std::max(largest_later, at + 4 - from);
    }
    EXPECT_GT(frames, 20u);
    EXPECT_LT(largest_later, 200u) << "a later frame repainted far more than a reel";
    std::size_t footers = 0;
    for (std::size_t at = 0; (at = out.find("Time is running.", at)) != std::string::npos; ++at)
        ++footers;
    EXPECT_EQ(footers, 1u);
    auto s = screen();
    EXPECT_TRUE(s->contains("BREAKING IN"));
    EXPECT_EQ(s->row_text(24).substr(0, 17), " Time is running.");
    EXPECT_EQ(s->cell(26, 12).fg, 2) << "the first reel shows locked";
}

TEST_F(minigame_test, RedrawKeyRepaintsTheWholeGameOnce)
{
    g_rng = 99;
    door.clear_output();
    ASSERT_EQ(play(60, "hrhh"), 1);
    const std::string out = door.output();
    // The title goes out with the first frame, and again only with the one
    // frame repainted whole after Ctrl-L.
    std::size_t titles = 0;
    for (std::size_t at = 0; (at = out.find("BREAKING IN", at)) != std::string::npos; ++at)
        ++titles;
    EXPECT_EQ(titles, 2u);
}

}  // namespace

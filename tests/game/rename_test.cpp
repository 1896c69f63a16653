#include "game/shops/rename.h"
#include "tests/game/shop_fixture.h"

#include <chrono>
#include <string>

using namespace std::chrono_literals;

namespace {

class rename_test : public shop_test {
protected:
    // The board's name before the test, as saved.
    void name_board(const std::string& name)
    {
        copy_text(P.bbs_name, name);
        save_profile();
        file_before_ = testsupport::read_file("data/sysop_sysop.dat");
    }
    bool file_unchanged() const { return testsupport::read_file("data/sysop_sysop.dat") == file_before_; }

    std::string file_before_;
};

std::string backspaces(int n, char key = '\b')
{
    return std::string(static_cast<std::size_t>(n), key);
}

}  // namespace

TEST_F(rename_test, TypedNamesAreSavedUpperCased)
{
    struct rename_case {
        const char* start;
        std::string keys;
        const char* result;
    };
    const rename_case cases[] = {
        {"Old Haven", backspaces(9) + "the pit 2, bbs!\rx", "THE PIT 2, BBS!"},
        {"Old Haven", "!\rx", "Old Haven!"},                                  // the old text stays as it was
        {"Old Haven", backspaces(3, 127) + "x\x1b[A\x1b[D\rx", "Old HaX"},   // DEL deletes, arrows ignored
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZ01234", "Z\rx", "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZ01234", "\bz\rx", "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123Z"},
        {"", backspaces(2) + "a\rx", "A"},                                     // backspace on empty does nothing
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.start);
        name_board(c.start);
        door.clear_output();
        door.send_keys(c.keys);
        rename_bbs();
        EXPECT_STREQ(P.bbs_name, c.result);
        EXPECT_EQ(std::string(saved().bbs_name), c.result);
        EXPECT_EQ(boxes(), (std::vector<shown_box>{{"Renamed", "Your BBS goes by a new flag now."}}));
    }
}

TEST_F(rename_test, EmptyEnterAndEscapeChangeNothing)
{
    name_board("Kept Name");
    door.send_keys(backspaces(9) + "\r");
    rename_bbs();
    EXPECT_STREQ(P.bbs_name, "Kept Name");
    EXPECT_TRUE(file_unchanged());

    door.send_keys("new name");
    door.send_keys_after(200ms, "\x1b");
    rename_bbs();
    EXPECT_STREQ(P.bbs_name, "Kept Name");
    EXPECT_TRUE(file_unchanged());
    EXPECT_TRUE(boxes().empty());
}

TEST_F(rename_test, FieldShowsTheNameAndCursor)
{
    name_board("My Board");
    door.send_keys("s");
    door.send_keys_after(200ms, "\x1b");
    rename_bbs();
    auto s = screen();
    EXPECT_NE(s->row_text(1).find("╡ RENAME YOUR BBS ╞"), std::string::npos);
    EXPECT_NE(s->row_text(0).find("[Rename BBS]"), std::string::npos);
    EXPECT_EQ(s->text_at(25, 8, 29), "Type a new name for your BBS:");
    EXPECT_EQ(s->text_at(25, 11, 30), "My BoardS_                    ");
    EXPECT_EQ(s->cell(25, 11).fg, 0);
    EXPECT_EQ(s->cell(25, 11).bg, 7);
    EXPECT_EQ(s->cell(34, 11).fg, 1);   // the cursor
    EXPECT_EQ(s->cell(54, 11).bg, 7);   // the field's last cell
    EXPECT_EQ(s->cell(55, 11).bg, 0);
    EXPECT_EQ(s->text_at(26, 14, 28), "[ENTER] save    [ESC] cancel");
    EXPECT_NE(s->row_text(24).find("Letters, numbers, space."), std::string::npos);
}

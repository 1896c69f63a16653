#include "game/screen/dialogs.h"
#include "tests/game/game_fixture.h"

using dialogs = game_test;

TEST_F(dialogs, MessageBoxPromptMayOverhangANarrowBox)
{
    door.send_keys("x");
    EXPECT_EQ(msg_box("Title", "Hello", 2), 'x');
    auto s = screen();
    EXPECT_EQ(s->text_at(33, 10, 13), "╔═╡ Title ╞═╗");
    EXPECT_EQ(s->text_at(37, 12, 5), "Hello");
    EXPECT_EQ(s->text_at(33, 13, 17), "[ Press any key ]");
    EXPECT_EQ(s->cell(33, 13).fg, 2);
    EXPECT_EQ(s->text_at(33, 14, 13), "╚═══════════╝");
}

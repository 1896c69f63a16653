// The address book and its file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "chat/ircclient/addressbook.h"
#include "chat/ircclient/irc_client.h"
#include "tests/chat/config/scratch_dir.h"

namespace {

using book_ptr = std::unique_ptr<addressbook, void (*)(addressbook *)>;

book_ptr new_book()
{
    return book_ptr{addressbook_create(), addressbook_destroy};
}

int add(addressbook *b, const char *name, int port = 6667)
{
    return addressbook_add(b, name, "irc.example.net", port, "nick", "#chan", 0);
}

TEST(Addressbook, NamesAreUniqueExactlyAndTheBookHoldsFifty)
{
    scratch_dir dir;
    auto book = new_book();
    EXPECT_EQ(add(book.get(), "Home"), 0);
    EXPECT_EQ(add(book.get(), "Home"), -1);
    EXPECT_EQ(add(book.get(), "home"), 1);
    const std::string long_name(70, 'n');
    EXPECT_EQ(add(book.get(), long_name.c_str()), 2);
    EXPECT_EQ(add(book.get(), (long_name + "tail").c_str()), -1);   // the same once cut to 63 bytes
    for (int i = 3; i < ADDRESSBOOK_MAX; ++i) {
        ASSERT_EQ(add(book.get(), ("net" + std::to_string(i)).c_str()), i);
    }
    EXPECT_EQ(add(book.get(), "one too many"), -1);
    EXPECT_EQ(book->count, ADDRESSBOOK_MAX);

    auto again = new_book();
    EXPECT_EQ(again->count, ADDRESSBOOK_MAX);
    EXPECT_STREQ(again->entries[2].name, std::string(63, 'n').c_str());
}

TEST(Addressbook, RejectsTextsTheFileCannotHold)
{
    scratch_dir dir;
    auto book = new_book();
    const char *bad[] = {"a|b", "a\nb", "a\rb"};
    for (const char *text : bad) {
        EXPECT_EQ(addressbook_add(book.get(), text, "s", 1, "n", "#c", 0), -1);
        EXPECT_EQ(addressbook_add(book.get(), "x", "s", 1, text, "#c", 0), -1);
        EXPECT_EQ(addressbook_add(book.get(), "x", "s", 1, "n", text, 0), -1);
        EXPECT_EQ(addressbook_add(book.get(), "x", text, 1, "n", "#c", 0), -1);
    }
    EXPECT_EQ(addressbook_add(book.get(), nullptr, "s", 1, "n", "#c", 0), -1);
    EXPECT_EQ(addressbook_add(nullptr, "x", "s", 1, "n", "#c", 0), -1);
    EXPECT_EQ(book->count, 0);
}

TEST(Addressbook, LoadsOnlyCompleteLines)
{
    scratch_dir dir;
    dir.write(ADDRESSBOOK_FILE, "good|irc.a.net|6697|ann|#a|1\n"
                                "nochannel|irc.b.net|6667|bob||0\n"
                                "short|irc.c.net|6667\n"
                                "\n"
                                "crlf|irc.d.net|7000|dan|#d|0\r\n"
                                "long|" + std::string(600, 'x') + "|1|n|#c|0\n"
                                "last|irc.e.net|1|eve|#e|5");
    auto book = new_book();
    ASSERT_EQ(book->count, 4);
    addressbook_entry e{};
    ASSERT_EQ(addressbook_get(book.get(), 0, &e), 0);
    EXPECT_STREQ(e.name, "good");
    EXPECT_STREQ(e.server, "irc.a.net");
    EXPECT_EQ(e.port, 6697);
    EXPECT_STREQ(e.nick, "ann");
    EXPECT_STREQ(e.channel, "#a");
    EXPECT_EQ(e.use_ssl, 1);
    EXPECT_STREQ(book->entries[1].name, "nochannel");
    EXPECT_STREQ(book->entries[1].channel, "");
    EXPECT_STREQ(book->entries[2].name, "crlf");
    EXPECT_STREQ(book->entries[3].name, "last");
    EXPECT_EQ(book->entries[3].use_ssl, 1);
    EXPECT_EQ(addressbook_get(book.get(), 4, &e), -1);
    EXPECT_EQ(addressbook_get(book.get(), -1, &e), -1);
    EXPECT_EQ(addressbook_get(book.get(), 0, nullptr), -1);
}

// Whatever add accepts, the file keeps: an entry never vanishes at the next
// load and save, also when it came through a bookmark.
TEST(Addressbook, EntriesWithEmptyFieldsSurviveASaveAndALoad)
{
    scratch_dir dir;
    {
        auto book = new_book();
        EXPECT_EQ(addressbook_add(book.get(), "no nick", "irc.a.net", 6667, "", "#a", 0), 0);
        EXPECT_EQ(addressbook_add(book.get(), "no channel", "irc.b.net", 6667, "bob", "", 1), 1);
        EXPECT_EQ(addressbook_add(book.get(), "", "irc.c.net", 6667, "n", "#c", 0), -1);
        EXPECT_EQ(addressbook_add(book.get(), "no server", "", 6667, "n", "#c", 0), -1);

        irc_client *client = irc_client_create();
        ASSERT_NE(client, nullptr);
        // A connect that fails still leaves its arguments for a bookmark.
        irc_client_connect(client, "127.0.0.1", 1, "carl", "", 0);
        EXPECT_EQ(irc_bookmark_add(client, book.get(), "mark"), 2);
        irc_client_destroy(client);
    }
    for (int round = 0; round < 2; ++round) {
        auto book = new_book();
        ASSERT_EQ(book->count, 3) << round;
        EXPECT_STREQ(book->entries[0].nick, "");
        EXPECT_STREQ(book->entries[0].channel, "#a");
        EXPECT_STREQ(book->entries[1].channel, "");
        EXPECT_EQ(book->entries[1].use_ssl, 1);
        addressbook_entry mark{};
        ASSERT_EQ(irc_bookmark_get(book.get(), "mark", &mark), 0);
        EXPECT_STREQ(mark.nick, "carl");
        EXPECT_STREQ(mark.channel, "");
    }
}

TEST(Addressbook, MissingFileLeavesTheBookAsItWas)
{
    scratch_dir dir;
    addressbook book{};
    book.count = 1;
    std::snprintf(book.entries[0].name, sizeof book.entries[0].name, "kept");
    EXPECT_EQ(addressbook_load(&book), 0);
    EXPECT_EQ(book.count, 1);
    EXPECT_EQ(addressbook_load(nullptr), -1);
}

TEST(Addressbook, RemovingMovesLaterEntriesUpAndSaves)
{
    scratch_dir dir;
    auto book = new_book();
    add(book.get(), "a", 1);
    add(book.get(), "b", 2);
    add(book.get(), "c", 3);
    EXPECT_EQ(addressbook_remove(book.get(), 3), -1);
    EXPECT_EQ(addressbook_remove(book.get(), -1), -1);
    EXPECT_EQ(addressbook_remove(book.get(), 0), 0);
    EXPECT_EQ(dir.read(ADDRESSBOOK_FILE), "b|irc.example.net|2|nick|#chan|0\nc|irc.example.net|3|nick|#chan|0\n");
    EXPECT_STREQ(book->entries[0].name, "b");
    EXPECT_EQ(book->count, 2);
}

// A save that dies between writing its temporary file and the rename: the
// file holds what it held before, whole.
TEST(Addressbook, SaveInterruptedBeforeItsRenameLeavesThePreviousFile)
{
    scratch_dir dir;
    auto book = new_book();
    add(book.get(), "first");
    const std::string before = dir.read(ADDRESSBOOK_FILE);
    ASSERT_EQ(before, "first|irc.example.net|6667|nick|#chan|0\n");

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        g_addressbook_before_rename = [](const char *) { _exit(7); };
        add(book.get(), "second");
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 7) << "the save never reached its rename";
    EXPECT_EQ(dir.read(ADDRESSBOOK_FILE), before);
}

TEST(Addressbook, ListsTheEntriesInABox)
{
    scratch_dir dir;
    auto book = new_book();
    testing::internal::CaptureStdout();
    addressbook_list(book.get());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "  No address book entries\n");

    addressbook_add(book.get(), "Libera", "irc.libera.chat", 6697, "ann", "#vexon", 1);
    addressbook_add(book.get(), "Local", "127.0.0.1", 6667, "bob", "#test", 0);
    std::string rule;
    for (int i = 0; i < 60; ++i) {
        rule += "═";
    }
    testing::internal::CaptureStdout();
    addressbook_list(book.get());
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\n  ╔" + rule + "╗\n"
              "  ║                    Address Book Entries                    ║\n"
              "  ╠" + rule + "╣\n"
              "  ║ [ 0] Libera            irc.libera.chat:6697\n"
              "  ║      Nick: ann              Channel: #vexon\n"
              "  ║      SSL/TLS: Yes\n"
              "  ║ [ 1] Local             127.0.0.1:6667\n"
              "  ║      Nick: bob              Channel: #test\n"
              "  ╚" + rule + "╝\n");
}

} // namespace

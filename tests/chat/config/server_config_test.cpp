// The saved servers file: defaults, tokenising, update rules, safe writes.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>

#include "chat/config/server_config.h"
#include "tests/chat/config/scratch_dir.h"

namespace {

class ServerConfig : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char *home = std::getenv("HOME");
        had_home_ = home != nullptr;
        old_home_ = had_home_ ? home : "";
        setenv("HOME", dir_.path().c_str(), 1);
        config_init(&store_);
    }
    void TearDown() override
    {
        if (had_home_) {
            setenv("HOME", old_home_.c_str(), 1);
        } else {
            unsetenv("HOME");
        }
    }

    // Writes the file, loads it and returns the store.
    const server_config &load(const std::string &text)
    {
        dir_.write(CONFIG_FILE_NAME, text);
        config_load(&store_);
        return store_;
    }

    server_entry entry(const char *label, const char *server = "h")
    {
        server_entry e{};
        std::snprintf(e.label, sizeof e.label, "%s", label);
        std::snprintf(e.server, sizeof e.server, "%s", server);
        e.port = 6667;
        return e;
    }

    scratch_dir dir_;
    server_config store_{};
    bool had_home_ = false;
    std::string old_home_;
};

TEST_F(ServerConfig, PathIsInHome)
{
    EXPECT_EQ(std::string(store_.path), dir_.path().string() + "/.vexon_irc_bookmarks");
}

TEST_F(ServerConfig, FirstRunWritesExactlyTheTwoDefaultsPrivately)
{
    config_load(&store_);

    ASSERT_EQ(store_.count, 2);
    EXPECT_EQ(dir_.read(CONFIG_FILE_NAME),
              std::string("Bottomless MRC|") + MRC_HUB_HOST + "|7000|Tarnwick|#lobby|1|\n" + "Libera|" +
                  PUBLIC_IRC_HOST + "|6667|Tarnwick|##chat|0|\n");
    struct stat st {};
    ASSERT_EQ(stat(store_.path, &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

struct token_case {
    const char *line;
    const char *label, *server;
    int port;
    const char *nick, *channel;
    int tls;
    const char *password;
};

class ConfigTokens : public ServerConfig, public ::testing::WithParamInterface<token_case> {};

TEST_P(ConfigTokens, LineLoadsAsFields)
{
    const token_case &c = GetParam();
    const server_config &s = load(std::string(c.line) + "\n");
    ASSERT_EQ(s.count, 1);
    const server_entry &e = s.entries[0];
    EXPECT_STREQ(e.label, c.label);
    EXPECT_STREQ(e.server, c.server);
    EXPECT_EQ(e.port, c.port);
    EXPECT_STREQ(e.nick, c.nick);
    EXPECT_STREQ(e.channel, c.channel);
    EXPECT_EQ(e.tls, c.tls);
    EXPECT_STREQ(e.password, c.password);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ConfigTokens,
    ::testing::Values(token_case{"A|h|6667|n|#c|0|", "A", "h", 6667, "n", "#c", 0, ""},
                      token_case{"A|h|6667|n|#c|1|secret", "A", "h", 6667, "n", "#c", 1, "secret"},
                      // An empty field collapses: the next ones move left.
                      token_case{"A|h|6667|n||0|pw", "A", "h", 6667, "n", "0", 0, ""},
                      token_case{"  |A|h|70x|n|#c|1|pw  ", "A", "h", 70, "n", "#c", 1, "pw"},
                      token_case{"A|h|none|n|#c|0|pw|extra", "A", "h", 0, "n", "#c", 0, "pw"}));

TEST_F(ServerConfig, ShortAndEmptyLinesAreSkipped)
{
    const server_config &s = load("\n   \nA|h|6667|n|#c\nB|h|6667|n|#c|0\n");
    ASSERT_EQ(s.count, 1);
    EXPECT_STREQ(s.entries[0].label, "B");
}

TEST_F(ServerConfig, FileWithoutValidLinesGetsDefaultsInMemoryOnly)
{
    const server_config &s = load("garbage\n");
    EXPECT_EQ(s.count, 2);
    EXPECT_EQ(dir_.read(CONFIG_FILE_NAME), "garbage\n");
}

TEST_F(ServerConfig, LaterLineWithSameLabelReplacesInPlace)
{
    const server_config &s = load("A|h1|1|n|#c|0|\nB|h2|2|n|#c|0|\na|h3|3|n|#c|0|\n");
    ASSERT_EQ(s.count, 2);
    EXPECT_STREQ(s.entries[0].label, "a");
    EXPECT_STREQ(s.entries[0].server, "h3");
    EXPECT_STREQ(s.entries[1].label, "B");
}

TEST_F(ServerConfig, UpdateIgnoresCaseAndKeepsPosition)
{
    config_default(&store_);
    const server_entry e = entry("libera", "irc.example.net");
    config_add_or_update(&store_, &e);
    ASSERT_EQ(store_.count, 2);
    EXPECT_STREQ(store_.entries[1].label, "libera");
    EXPECT_STREQ(store_.entries[1].server, "irc.example.net");
}

TEST_F(ServerConfig, FullStoreDropsNewLabelsButStillUpdates)
{
    for (int i = 0; i < CONFIG_MAX_ENTRIES + 1; ++i) {
        const server_entry e = entry(("L" + std::to_string(i)).c_str());
        config_add_or_update(&store_, &e);
    }
    ASSERT_EQ(store_.count, CONFIG_MAX_ENTRIES);
    EXPECT_STREQ(store_.entries[CONFIG_MAX_ENTRIES - 1].label, "L63");

    const server_entry updated = entry("l10", "new");
    config_add_or_update(&store_, &updated);
    EXPECT_STREQ(store_.entries[10].server, "new");

    const server_entry unnamed = entry("");
    config_add_or_update(&store_, &unnamed);
    config_add_or_update(&store_, nullptr);
    EXPECT_EQ(store_.count, CONFIG_MAX_ENTRIES);
}

TEST_F(ServerConfig, DeleteMovesUpAndIgnoresBadIndexes)
{
    config_default(&store_);
    config_delete(&store_, -1);
    config_delete(&store_, 2);
    config_delete(nullptr, 0);
    ASSERT_EQ(store_.count, 2);
    config_delete(&store_, 0);
    ASSERT_EQ(store_.count, 1);
    EXPECT_STREQ(store_.entries[0].label, "Libera");
}

TEST_F(ServerConfig, DeletingTheOnlyEntryWritesAnEmptyFileAndDefaultsReturn)
{
    load("Only|h|6667|n|#c|0|\n");
    config_delete(&store_, 0);
    ASSERT_EQ(config_save(&store_), 0);
    EXPECT_EQ(dir_.read(CONFIG_FILE_NAME), "");

    config_load(&store_);
    EXPECT_EQ(store_.count, 2);
}

TEST_F(ServerConfig, SaveRoundTripsAndTightensMode)
{
    load("A|h|6667|n|#c|1|pw\n");
    chmod(store_.path, 0644);
    server_entry e = entry("B", "irc.example.org");
    std::snprintf(e.nick, sizeof e.nick, "%s", "bob");
    std::snprintf(e.channel, sizeof e.channel, "%s", "#x");
    config_add_or_update(&store_, &e);
    ASSERT_EQ(config_save(&store_), 0);

    struct stat st {};
    ASSERT_EQ(stat(store_.path, &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(dir_.read(CONFIG_FILE_NAME), "A|h|6667|n|#c|1|pw\nB|irc.example.org|6667|bob|#x|0|\n");
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 1);
}

TEST_F(ServerConfig, AFifoInItsPlaceIsNeitherWaitedOnNorReplaced)
{
    ASSERT_EQ(mkfifo(store_.path, 0600), 0);
    config_load(&store_);
    EXPECT_EQ(store_.count, 2);
    EXPECT_STREQ(store_.entries[0].label, "Bottomless MRC");
    EXPECT_EQ(config_save(&store_), -1);
    struct stat st {};
    ASSERT_EQ(lstat(store_.path, &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 1) << "no temporary file left";
}

TEST_F(ServerConfig, OnlyTheStartOfAHugeFileIsRead)
{
    const server_config &s = load("A|h|1|n|#c|0|\n" + std::string(300 * 1024, '\n') + "B|h|2|n|#c|0|\n");
    ASSERT_EQ(s.count, 1);
    EXPECT_STREQ(s.entries[0].label, "A");
}

TEST_F(ServerConfig, LongHomeIsUsedWholeOrRefused)
{
    const std::string deep = std::string(120, 'a') + "/" + std::string(120, 'b') + "/" + std::string(120, 'c');
    dir_.write(deep + "/" + CONFIG_FILE_NAME, "Deep|h|6667|n|#c|0|\n");
    const std::string home = dir_.path().string() + "/" + deep;
    setenv("HOME", home.c_str(), 1);
    ASSERT_EQ(config_init(&store_), 0);
    EXPECT_EQ(std::string(store_.path), home + "/" + CONFIG_FILE_NAME);
    config_load(&store_);
    EXPECT_STREQ(store_.entries[0].label, "Deep");

    const std::string too_long = "/" + std::string(PATH_MAX, 'x');
    setenv("HOME", too_long.c_str(), 1);
    EXPECT_EQ(config_init(&store_), -1);
    EXPECT_STREQ(store_.path, "");
    config_default(&store_);
    EXPECT_EQ(config_save(&store_), -1);
}

TEST_F(ServerConfig, FailedSaveReportsAndKeepsStore)
{
    config_default(&store_);
    std::snprintf(store_.path, sizeof store_.path, "%s/missing/dir/file", dir_.path().c_str());
    EXPECT_EQ(config_save(&store_), -1);
    EXPECT_EQ(store_.count, 2);
}

} // namespace

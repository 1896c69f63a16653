// Saved servers written by several copies of the program at once, and a
// door caller's own file.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "chat/config/server_config.h"
#include "tests/chat/config/scratch_dir.h"

namespace {

server_entry entry(const std::string &label, const std::string &server = "h", const std::string &password = "")
{
    server_entry e{};
    std::snprintf(e.label, sizeof e.label, "%s", label.c_str());
    std::snprintf(e.server, sizeof e.server, "%s", server.c_str());
    std::snprintf(e.password, sizeof e.password, "%s", password.c_str());
    std::snprintf(e.nick, sizeof e.nick, "%s", "n");
    std::snprintf(e.channel, sizeof e.channel, "%s", "#c");
    e.port = 6667;
    return e;
}

// A store on the file name in dir, loaded.
void open_store(const scratch_dir &dir, server_config *store, const std::string &name = "servers")
{
    *store = server_config{};
    std::snprintf(store->path, sizeof store->path, "%s/%s", dir.path().c_str(), name.c_str());
    config_load(store);
}

int find(const server_config &store, const std::string &label)
{
    for (int i = 0; i < store.count; ++i) {
        if (label == store.entries[i].label) {
            return i;
        }
    }
    return -1;
}

TEST(SavedServers, TwoCopiesKeepEachOthersChanges)
{
    scratch_dir dir;
    auto one = std::make_unique<server_config>();
    auto two = std::make_unique<server_config>();
    open_store(dir, one.get());
    open_store(dir, two.get());   // both loaded the two defaults

    const server_entry a = entry("A");
    const server_entry b = entry("B");
    ASSERT_EQ(config_store_entry(one.get(), &a), 0);
    ASSERT_EQ(config_store_entry(two.get(), &b), 0);
    ASSERT_EQ(config_remove_entry(one.get(), "Libera"), 0);
    const server_entry a2 = entry("a", "h2");
    ASSERT_EQ(config_store_entry(two.get(), &a2), 0);
    ASSERT_EQ(config_remove_entry(two.get(), "no such entry"), 0);

    EXPECT_EQ(dir.read("servers"), std::string("Bottomless MRC|") + MRC_HUB_HOST +
                                       "|7000|Tarnwick|#lobby|1|\na|h2|6667|n|#c|0|\nB|h|6667|n|#c|0|\n");
    // The store shows the file as written, others' entries too.
    EXPECT_EQ(two->count, 3);
    EXPECT_GE(find(*two, "a"), 0);
    // Exit writes nothing over a file that is there.
    ASSERT_EQ(config_finish(one.get()), 0);
    EXPECT_EQ(dir.read("servers").find("Libera"), std::string::npos);
}

TEST(SavedServers, ExitLeavesAFileOnlyWhenThereIsNone)
{
    scratch_dir dir;
    auto store = std::make_unique<server_config>();
    std::snprintf(store->path, sizeof store->path, "%s/servers", dir.path().c_str());
    config_default(store.get());
    ASSERT_EQ(config_finish(store.get()), 0);
    EXPECT_NE(dir.read("servers").find("Libera|"), std::string::npos);
    dir.write("servers", "Mine|h|1|n|#c|0|\n");
    ASSERT_EQ(config_finish(store.get()), 0);
    EXPECT_EQ(dir.read("servers"), "Mine|h|1|n|#c|0|\n");
}

struct caller_file_case {
    const char *handle;
    const char *file;   // the name in the directory; null when refused
};

class CallerFile : public ::testing::TestWithParam<caller_file_case> {};

TEST_P(CallerFile, HandleNamesItsOwnFile)
{
    const caller_file_case &c = GetParam();
    scratch_dir dir;
    const std::string callers = dir.path().string() + "/callers";
    auto store = std::make_unique<server_config>();
    const int rc = config_init_for_caller(store.get(), callers.c_str(), c.handle);
    if (c.file == nullptr) {
        EXPECT_EQ(rc, -1);
        EXPECT_STREQ(store->path, "");
        return;
    }
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(std::string(store->path), callers + "/" + c.file);
    struct stat st {};
    ASSERT_EQ(stat(callers.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

INSTANTIATE_TEST_SUITE_P(Table, CallerFile,
                         ::testing::Values(caller_file_case{"Ada", "ada"}, caller_file_case{"ada", "ada"},
                                           caller_file_case{"John Smith", "john%20smith"},
                                           caller_file_case{"../etc/passwd", "%2e%2e%2fetc%2fpasswd"},
                                           caller_file_case{"Zo\xc3\xab_-1", "zo%c3%ab_-1"},
                                           caller_file_case{"a%20b", "a%2520b"}, caller_file_case{"", nullptr}));

TEST(SavedServers, CallersFilesArePrivateAndApart)
{
    scratch_dir dir;
    const std::string callers = dir.path().string() + "/callers";
    auto ada = std::make_unique<server_config>();
    auto zed = std::make_unique<server_config>();
    ASSERT_EQ(config_init_for_caller(ada.get(), callers.c_str(), "Ada"), 0);
    ASSERT_EQ(config_init_for_caller(zed.get(), callers.c_str(), "Zed"), 0);
    config_load(ada.get());
    config_load(zed.get());
    const server_entry secret = entry("Ada's", "irc.ada.example", "pw");
    ASSERT_EQ(config_store_entry(ada.get(), &secret), 0);
    config_load(zed.get());
    EXPECT_EQ(find(*zed, "Ada's"), -1);
    struct stat st {};
    ASSERT_EQ(stat(ada->path, &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// Several processes save, replace and delete their own entries at once, as
// copies of the program on the nodes of a board do. Every entry a process
// kept must be in the file at the end, with its last value, and none it
// deleted: without the lock, a write based on an old read drops others'.
TEST(SavedServers, ConcurrentWritersLoseNothing)
{
    scratch_dir dir;
    constexpr int WRITERS = 4;
    constexpr int ROUNDS = 60;
    std::vector<pid_t> children;
    for (int w = 0; w < WRITERS; ++w) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            auto store = std::make_unique<server_config>();
            open_store(dir, store.get());
            bool ok = true;
            for (int r = 0; r < ROUNDS; ++r) {
                const std::string keep = "w" + std::to_string(w) + "-keep" + std::to_string(r % 8);
                const std::string gone = "w" + std::to_string(w) + "-gone";
                const server_entry k = entry(keep, "round" + std::to_string(r));
                const server_entry g = entry(gone);
                ok = config_store_entry(store.get(), &k) == 0 && ok;
                ok = config_store_entry(store.get(), &g) == 0 && ok;
                ok = config_remove_entry(store.get(), gone.c_str()) == 0 && ok;
            }
            _exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    auto result = std::make_unique<server_config>();
    open_store(dir, result.get());
    EXPECT_EQ(result->count, 2 + WRITERS * 8);
    for (int w = 0; w < WRITERS; ++w) {
        EXPECT_EQ(find(*result, "w" + std::to_string(w) + "-gone"), -1);
        for (int k = 0; k < 8; ++k) {
            const int at = find(*result, "w" + std::to_string(w) + "-keep" + std::to_string(k));
            ASSERT_GE(at, 0) << "writer " << w << " lost keep" << k;
            // The last round that wrote this entry.
            const int last = ROUNDS - 1 - ((ROUNDS - 1 - k) % 8);
            EXPECT_STREQ(result->entries[at].server, ("round" + std::to_string(last)).c_str());
        }
    }
}

} // namespace

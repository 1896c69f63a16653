// Profile files, dropfiles and the rival scan, checked on real files in the
// test's own data/ directory.
#include "game/rules/catalogs.h"
#include "game/rules/hall_of_fame.h"
#include "game/rules/storage.h"
#include "game/tools/console.h"
#include "tests/game/game_fixture.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

// A save-file image written byte by byte at the documented offsets, so the
// tests do not lean on the record's own layout.
class image {
public:
    image() : bytes_(232, '\0') { u32(0, 0x56585353); }
    image& u32(std::size_t off, std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            bytes_[off + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
        return *this;
    }
    image& i64(std::size_t off, std::int64_t v)
    {
        auto u = static_cast<std::uint64_t>(v);
        for (int i = 0; i < 8; ++i)
            bytes_[off + static_cast<std::size_t>(i)] = static_cast<char>((u >> (8 * i)) & 0xFF);
        return *this;
    }
    image& text(std::size_t off, const std::string& s)
    {
        bytes_.replace(off, s.size(), s);
        return *this;
    }
    // The owner key a save stores for the caller.
    image& owned_by(const char* user) { return u32(220, owner_key_of(user)); }
    image& byte(std::size_t off, unsigned char v)
    {
        bytes_[off] = static_cast<char>(v);
        return *this;
    }
    const std::string& bytes() const { return bytes_; }

private:
    std::string bytes_;
};

// A board with a different value in every field, all of them valid.
image distinct_board()
{
    image im;
    im.u32(4, 1).text(8, "Ada").text(40, "Ada's Lair").u32(72, 77).i64(80, 0x0102030405LL);
    im.u32(88, 11).u32(92, 2).u32(96, 3).u32(100, 4004).u32(104, 55);
    im.u32(108, 6).u32(112, 7).u32(116, 8).u32(120, 9).u32(124, 4);
    im.u32(128, 0x2A).u32(132, 0xBEEF).u32(136, 0x1A5).u32(140, 1).u32(144, 2);
    im.u32(148, 321).u32(152, 42).u32(156, 63).u32(160, 5).u32(164, 88);
    im.u32(168, 0x5A5A).u32(172, 0x2AA).u32(176, 0x155).u32(180, 20000).u32(184, 12);
    im.u32(188, 13).u32(192, 1);
    for (unsigned i = 0; i < 16; ++i)
        im.byte(196 + i, static_cast<unsigned char>(60 + i));
    im.u32(212, 45).u32(216, 2);
    return im;
}

void write_board(const std::string& slug, const std::string& bytes)
{
    mkdir("data", 0755);
    testsupport::write_file("data/sysop_" + slug + ".dat", bytes);
}

// Every value a loaded record may hold is one the game can index and add with.
void expect_in_range(const profile& p)
{
    EXPECT_LT(std::memchr(p.sysop_name, 0, sizeof p.sysop_name), p.sysop_name + sizeof p.sysop_name);
    EXPECT_LT(std::memchr(p.bbs_name, 0, sizeof p.bbs_name), p.bbs_name + sizeof p.bbs_name);
    const std::pair<std::int32_t, std::size_t> rows[] = {
        {p.cpu, CPUS.size()},      {p.ram, RAMS.size()},          {p.hdd, HDDS.size()},
        {p.modem, MODEMS.size()},  {p.monitor, MONITORS.size()},  {p.fido_tier, FIDO.size()},
        {p.inet_tier, INET.size()},
    };
    for (auto [row, size] : rows) {
        EXPECT_GE(row, 0);
        EXPECT_LT(row, static_cast<std::int32_t>(size));
    }
    const std::pair<std::uint32_t, std::size_t> sets[] = {
        {p.peripherals, PERIS.size()}, {p.doors, DOORS.size()},          {p.cdroms, CDROMS.size()},
        {p.bbs_software, BBS_SW.size()}, {p.dark_goods, DARK_GOODS.size()}, {p.protection, PROTECT_SW.size()},
    };
    for (auto [set, size] : sets)
        EXPECT_EQ(set >> size, 0u);
    for (std::int32_t pct : {p.rep, p.heat, p.hack_skill, p.hw_health}) {
        EXPECT_GE(pct, 0);
        EXPECT_LE(pct, 100);
    }
    for (auto h : p.protect_health)
        EXPECT_LE(h, 100);
    EXPECT_GE(p.nodes, 1);
    EXPECT_LE(p.nodes, 16);
    EXPECT_GE(p.fame, 0);
    EXPECT_LE(p.fame, 5);
    EXPECT_GE(p.cash, 0);
    EXPECT_GE(p.warez, 0);
    EXPECT_GE(p.turns_per_day, 1);
    EXPECT_LE(p.turns_per_day, 100);
    EXPECT_GE(p.difficulty, 0);
    EXPECT_LE(p.difficulty, 2);
}

}  // namespace

using storage = game_test;

TEST_F(storage, SlugKeepsLettersAndDigitsLowerCased)
{
    const std::pair<std::string, std::string> cases[] = {
        {"Mr. O'Neil 2", "mroneil2"},
        {"!!! ---", "u"},
        {"", "u"},
        {std::string(50, 'X'), std::string(39, 'x')},
        {"Zo\xc3\xab 9", "zo9"},  // bytes beyond ASCII are dropped
    };
    for (const auto& [name, want] : cases) {
        char out[40];
        slugify(name.c_str(), out);
        EXPECT_EQ(std::string(out), want) << name;
    }
}

TEST_F(storage, NewBoardSavesAndLoadsBackTheSameBytes)
{
    copy_text(g_d.user_name, "Mr. O'Neil 2");
    new_profile();
    EXPECT_STREQ(P.bbs_name, "Mr. O'Neil 2's Haven");
    EXPECT_EQ(P.cash, 1500);
    EXPECT_EQ(P.nodes, 1);
    EXPECT_EQ(P.turns_per_day, 30);
    P.cash = 123456789012LL;
    save_profile();
    std::string bytes = testsupport::read_file("data/sysop_mroneil2.dat");
    ASSERT_EQ(bytes.size(), 232u);
    EXPECT_EQ(bytes.substr(0, 4), "SSXV");  // the magic, little-endian

    profile saved = P;
    std::memset(&P, 0, sizeof P);
    ASSERT_EQ(load_profile(), 1);
    EXPECT_EQ(std::memcmp(&P, &saved, sizeof P), 0);
}

TEST_F(storage, NewBoardNamesAreCutToTheirFields)
{
    copy_text(g_d.user_name, std::string(60, 'n'));
    new_profile();
    EXPECT_EQ(std::string(P.sysop_name), std::string(31, 'n'));
    EXPECT_EQ(std::string(P.bbs_name), std::string(31, 'n'));
    copy_text(g_d.user_name, "");
    new_profile();
    EXPECT_STREQ(P.bbs_name, "Sysop's Haven");
}

TEST_F(storage, EveryFieldLoadsFromItsOffsetAndSavesBackUnchanged)
{
    copy_text(g_d.user_name, "Ada");
    const std::string want = distinct_board().bytes();
    write_board("ada", want);
    ASSERT_EQ(load_profile(), 1);

    EXPECT_STREQ(P.sysop_name, "Ada");
    EXPECT_STREQ(P.bbs_name, "Ada's Lair");
    EXPECT_EQ(P.day, 77u);
    EXPECT_EQ(P.cash, 0x0102030405LL);
    EXPECT_EQ(P.rep, 11);
    EXPECT_EQ(P.fame, 2);
    EXPECT_EQ(P.nodes, 3);
    EXPECT_EQ(P.total_callers, 4004);
    EXPECT_EQ(P.callers_yesterday, 55);
    EXPECT_EQ(P.cpu, 6);
    EXPECT_EQ(P.ram, 7);
    EXPECT_EQ(P.hdd, 8);
    EXPECT_EQ(P.modem, 9);
    EXPECT_EQ(P.monitor, 4);
    EXPECT_EQ(P.peripherals, 0x2Au);
    EXPECT_EQ(P.doors, 0xBEEFu);
    EXPECT_EQ(P.cdroms, 0x1A5u);
    EXPECT_EQ(P.fido_tier, 1);
    EXPECT_EQ(P.inet_tier, 2);
    EXPECT_EQ(P.warez, 321);
    EXPECT_EQ(P.hack_skill, 42);
    EXPECT_EQ(P.heat, 63);
    EXPECT_EQ(P.reserved_one, 5);
    EXPECT_EQ(P.hw_health, 88);
    EXPECT_EQ(P.bbs_software, 0x5A5Au);
    EXPECT_EQ(P.dark_goods, 0x2AAu);
    EXPECT_EQ(P.protection, 0x155u);
    EXPECT_EQ(P.turn_day, 20000);
    EXPECT_EQ(P.turns_used, 12);
    EXPECT_EQ(P.hacked_while_away, 13);
    EXPECT_EQ(P.won, 1);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(P.protect_health[i], 60 + i) << i;
    EXPECT_EQ(P.turns_per_day, 45);
    EXPECT_EQ(P.difficulty, 2);

    save_profile();
    EXPECT_EQ(testsupport::read_file("data/sysop_ada.dat"), distinct_board().owned_by("Ada").bytes());
}

TEST_F(storage, SaveWritesVersionOneTheOwnerAndZeroReservedBytes)
{
    copy_text(g_d.user_name, "Ada");
    image im = distinct_board();
    im.u32(4, 7).u32(76, 0xFFFFFFFF);
    for (unsigned i = 224; i < 232; ++i)
        im.byte(i, 0xAA);
    write_board("ada", im.bytes());
    ASSERT_EQ(load_profile(), 1);
    save_profile();
    EXPECT_EQ(testsupport::read_file("data/sysop_ada.dat"), distinct_board().owned_by("Ada").bytes());
}

TEST_F(storage, LoadRepairsTurnsDifficultyAndOldProtectionHealth)
{
    struct case_t {
        std::uint32_t turns, difficulty;
        std::int32_t want_turns, want_difficulty;
    };
    const case_t cases[] = {
        {0, 0, 30, 0},   {250, 3, 30, 1}, {1, 0xFFFFFFFF, 1, 1},
        {100, 2, 100, 2}, {101, 1, 30, 1},
    };
    for (const auto& c : cases) {
        write_board("sysop", image().text(8, "Sysop").u32(96, 1).u32(212, c.turns).u32(216, c.difficulty).bytes());
        ASSERT_EQ(load_profile(), 1);
        EXPECT_EQ(P.turns_per_day, c.want_turns) << c.turns;
        EXPECT_EQ(P.difficulty, c.want_difficulty) << c.difficulty;
    }

    // A file from before health was kept: owned rows start at full health.
    write_board("sysop", image().text(8, "Sysop").u32(176, (1u << 0) | (1u << 6)).bytes());
    ASSERT_EQ(load_profile(), 1);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(P.protect_health[i], (i == 0 || i == 6) ? 100 : 0) << i;
}

TEST_F(storage, ShortWrongAndMissingFiles)
{
    // Only the magic: every field zero, then repaired and validated.
    write_board("sysop", image().bytes().substr(0, 4));
    P.cash = 99;
    ASSERT_EQ(load_profile(), 1);
    EXPECT_EQ(P.cash, 0);
    EXPECT_EQ(P.turns_per_day, 30);
    EXPECT_EQ(P.difficulty, 0);
    EXPECT_EQ(P.nodes, 1);

    // Cut inside the magic, or a wrong magic: no save, P cleared, file kept.
    for (const std::string& bytes : {image().bytes().substr(0, 3), std::string(232, 'x')}) {
        write_board("sysop", bytes);
        P.cash = 99;
        EXPECT_EQ(load_profile(), 0);
        EXPECT_EQ(P.cash, 0);
        EXPECT_EQ(testsupport::read_file("data/sysop_sysop.dat"), bytes);
    }

    std::remove("data/sysop_sysop.dat");
    P.cash = 77;
    EXPECT_EQ(load_profile(), 0);
    EXPECT_EQ(P.cash, 77);
}

TEST_F(storage, HostileValuesAreBroughtIntoRange)
{
    image im;
    im.u32(88, 0xFFFFFF00).u32(92, 99).u32(96, 0).u32(108, 9999).u32(112, 0x80000000).u32(116, 10);
    im.u32(120, 0xFFFFFFFF).u32(124, 5).u32(140, 5).u32(144, 0xFFFFFFFF);
    for (std::size_t off : {128u, 132u, 136u, 168u, 172u, 176u})
        im.u32(off, 0xFFFFFFFF);
    im.i64(80, INT64_MIN).u32(148, 0x80000000).u32(152, 101).u32(156, 0xFFFFFFFF).u32(164, 1000);
    im.byte(196, 255).owned_by("Sysop");
    std::string bytes = im.bytes();
    bytes.replace(8, 64, std::string(64, 'Z'));  // both names without a terminator
    write_board("sysop", bytes);
    ASSERT_EQ(load_profile(), 1);
    expect_in_range(P);
    EXPECT_EQ(std::string(P.sysop_name), std::string(31, 'Z'));
    EXPECT_EQ(P.cpu, 9);
    EXPECT_EQ(P.ram, 0);
    EXPECT_EQ(P.doors, 0xFFFFu);
    EXPECT_EQ(P.nodes, 1);
    EXPECT_EQ(P.fame, 5);
    EXPECT_EQ(P.hw_health, 100);
    EXPECT_EQ(P.protect_health[0], 100);

    im.u32(96, 17).i64(80, INT64_MAX);
    write_board("sysop", im.bytes());
    ASSERT_EQ(load_profile(), 1);
    EXPECT_EQ(P.nodes, 16);
    EXPECT_GT(P.cash, 0);
    // The rules that add to cash and counts must stay clear of overflow.
    EXPECT_LT(P.cash, INT64_MAX / 2);
}

TEST_F(storage, RandomImagesAlwaysLoadIntoRange)
{
    std::mt19937 gen(20261209);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> length(4, 232);
    for (int round = 0; round < 2000; ++round) {
        std::string bytes(static_cast<std::size_t>(round % 4 == 0 ? length(gen) : 232), '\0');
        for (auto& b : bytes)
            b = static_cast<char>(byte(gen));
        bytes.replace(0, 4, "SSXV");
        if (bytes.size() >= 224)  // whatever the name, the board is the caller's
            bytes.replace(220, 4, image().owned_by("Sysop").bytes().substr(220, 4));
        write_board("sysop", bytes);
        ASSERT_EQ(load_profile(), 1);
        expect_in_range(P);
        // The shared rules over the record run without a sanitizer report.
        EXPECT_LE(disk_pct(), 100);
        EXPECT_LE(protect_shed_pct(), 80);
        rival r{};
        r.record = P;
        rate_rival(r);
        EXPECT_GE(r.difficulty, 15);
        EXPECT_LE(r.difficulty, 95);
        if (round % 20 == 0) {  // and the console draws it
            render_console();
            door.clear_output();
        }
        if (HasFailure())
            FAIL() << "round " << round;
    }
}

TEST_F(storage, SaveThatCannotWriteLeavesThePreviousBoard)
{
    new_profile();
    save_profile();
    const std::string before = testsupport::read_file("data/sysop_sysop.dat");
    // A file size limit below a board makes the write fail half way.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto old_handler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    P.cash = 1;
    save_profile();
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, old_handler);
    EXPECT_EQ(testsupport::read_file("data/sysop_sysop.dat"), before);
    for (const auto& e : std::filesystem::directory_iterator("data"))
        EXPECT_EQ(e.path().filename().string().find(".sysop_sysop.dat."), std::string::npos) << "left behind";
}

TEST_F(storage, Door32SysNamesTheCallerAndTheSocket)
{
    struct case_t {
        const char* what;
        std::string text;
        const char* user;
        int use_socket, socket, comm_type;
    };
    const std::string name_kept(63, 'X');
    const case_t cases[] = {
        {"telnet with a handle", "2\r\n7\r\n38400\r\nBBS\r\n1\r\nAda Lovelace\r\nAda\r\n", "Ada", 1, 7, 2},
        {"empty alias keeps the real name", "2\n7\n38400\nBBS\n1\nAda Lovelace  \n\n", "Ada Lovelace", 1, 7, 2},
        {"handle 0 stays local", "2\n0\n0\nBBS\n1\nBob\n", "Bob", 0, -1, 2},
        {"serial stays local", "1\n7\n0\nBBS\n1\nBob\n", "Bob", 0, -1, 1},
        {"a negative handle stays local", "2\n-5\n", "Sysop", 0, -1, 2},
        {"a handle beyond int stays sane", "2\n99999999999999999999999\n", "Sysop", 1, INT32_MAX, 2},
        {"missing lines keep the defaults", "", "Sysop", 0, -1, 0},
        {"overlong lines still count as one line each",
         "2" + std::string(300, ' ') + "\n7\n38400\nBBS\n1\n" + std::string(300, 'X') + "\n\n", name_kept.c_str(), 1, 7, 2},
    };
    for (const auto& c : cases) {
        copy_text(g_d.user_name, "Sysop");
        g_d.comm_type = 0;
        g_d.socket = -1;
        g_d.use_socket = 0;
        testsupport::write_file("DOOR32.SYS", c.text);
        parse_dropfile("DOOR32.SYS");
        EXPECT_STREQ(g_d.user_name, c.user) << c.what;
        EXPECT_EQ(g_d.use_socket, c.use_socket) << c.what;
        EXPECT_EQ(g_d.socket, c.socket) << c.what;
        EXPECT_EQ(g_d.comm_type, c.comm_type) << c.what;
    }
    // The door channel of the fixture is restored for the rest of the test.
    g_d.use_socket = 1;
    g_d.socket = -1;
}

TEST_F(storage, ControlBytesInNamesBecomeQuestionMarksWhereTheyAreRead)
{
    // Each reader of names from outside: what it stores the name read as.
    struct source {
        const char* what;
        std::string (*read_back)(const std::string& name);
    };
    const source sources[] = {
        {"own profile",
         [](const std::string& name) {
             write_board("sysop", image().text(8, "Sysop").text(40, name).bytes());
             EXPECT_EQ(load_profile(), 1);
             return std::string(P.bbs_name);
         }},
        {"rival file",
         [](const std::string& name) {
             copy_text(P.sysop_name, "Me");
             write_board("rival", image().text(8, name).bytes());
             scan_rivals();
             for (int i = 0; i < g_rival_count; ++i) {
                 if (std::strcmp(g_rivals[i].path, "data/sysop_rival.dat") == 0)
                     return std::string(g_rivals[i].record.sysop_name);
             }
             return std::string("(no rival)");
         }},
        {"hall of fame",
         [](const std::string& name) {
             hs_entry e{};
             copy_text(e.sysop_name, "Ann");
             copy_text(e.bbs_name, name);
             testsupport::write_file("data/topsysops.dat", std::string(reinterpret_cast<const char*>(&e), sizeof e));
             hs_load();
             return g_hs_count == 1 ? std::string(g_hs[0].bbs_name) : std::string("(no entry)");
         }},
        {"dropfile",
         [](const std::string& name) {
             testsupport::write_file("DOOR32.SYS", "1\n0\n0\nBBS\n1\n" + name + "\n");
             parse_dropfile("DOOR32.SYS");
             return std::string(g_d.user_name);
         }},
    };
    const door_info channel = g_d;
    mkdir("data", 0755);
    for (const auto& src : sources) {
        // Bytes 1-31 and 127, in two names of 16 (a name holds 31).
        for (int half = 0; half < 2; ++half) {
            std::string name = "N";
            std::string want = "N";
            for (int i = 0; i < 16; ++i) {
                const int b = half * 16 + i + 1 == 32 ? 127 : half * 16 + i + 1;
                if (src.read_back == sources[3].read_back && (b == '\n' || b == '\r'))
                    continue;  // line ends of the dropfile itself
                name += static_cast<char>(b);
                want += '?';
            }
            // Code page 437 glyphs above 127 are names' own characters.
            name += "\xDB\x80";
            want += "\xDB\x80";
            EXPECT_EQ(src.read_back(name), want) << src.what << ", half " << half;
        }
    }
    g_d = channel;
}

TEST_F(storage, OwnFileThatIsNoRegularFileLoadsNothing)
{
    mkdir("data", 0755);
    ASSERT_EQ(mkfifo("data/sysop_sysop.dat", 0644), 0);
    P.cash = 5;
    EXPECT_EQ(load_profile(), 0);
    EXPECT_EQ(P.cash, 5);
}

TEST_F(storage, UnreadableDropfileChangesNothing)
{
    copy_text(g_d.user_name, "Sysop");
    parse_dropfile("no-such-file");
    EXPECT_STREQ(g_d.user_name, "Sysop");
    EXPECT_EQ(g_d.use_socket, 1);
}

TEST_F(storage, RivalScanTakesOtherPlayersFilesOnly)
{
    copy_text(P.sysop_name, "Me Myself");
    auto board = [](const char* name, std::uint32_t fame, std::uint32_t rep) {
        return image().text(8, name).u32(92, fame).u32(88, rep).u32(96, 1).i64(80, 600).u32(148, 25).bytes();
    };
    write_board("memyself", board("Me Myself", 0, 0));
    write_board("myself", board("me   MYSELF", 0, 0));  // the same name, written otherwise
    write_board("memyself_1", board("ME-MYSELF", 0, 0));  // another caller of the same slug
    write_board("", board("Blank Name", 1, 50));        // sysop_.dat is exactly 10 characters
    testsupport::write_file("data/sysop_a.da", board("Wrong End", 0, 0));
    testsupport::write_file("data/xsysop_b.dat", board("Wrong Start", 0, 0));
    write_board("short", board("Short", 0, 0).substr(0, 231));
    write_board("magic", std::string(232, 'x'));
    mkdir("data/sysop_dir.dat", 0755);
    ASSERT_EQ(mkfifo("data/sysop_fifo.dat", 0644), 0);  // would block a plain open
    write_board("carol", image().text(8, "Carol").u32(92, 5).u32(88, 100).u32(152, 100)
                             .u32(176, 0x3FF).u32(168, 0x7FFF).bytes());

    scan_rivals();
    ASSERT_EQ(g_rival_count, 3);
    auto find = [](const char* sysop) -> const rival* {
        for (int i = 0; i < g_rival_count; ++i) {
            if (std::strcmp(g_rivals[i].record.sysop_name, sysop) == 0)
                return &g_rivals[i];
        }
        return nullptr;
    };
    const rival* blank = find("Blank Name");
    const rival* carol = find("Carol");
    ASSERT_TRUE(blank && carol && find("ME-MYSELF"));
    EXPECT_STREQ(blank->path, "data/sysop_.dat");
    EXPECT_EQ(blank->difficulty, 1 * 5 + 50 / 10 + 15);
    EXPECT_EQ(blank->steal_cash, 600 / 6 + 50);
    EXPECT_EQ(blank->steal_warez, 25 / 10 + 1);
    EXPECT_EQ(blank->heat_gain, blank->difficulty / 8 + 3);
    EXPECT_STREQ(carol->record.sysop_name, "Carol");
    EXPECT_EQ(carol->difficulty, 95);  // capped
}

TEST_F(storage, RivalScanHoldsAtMostSixteen)
{
    for (int i = 0; i < 20; ++i) {
        std::string name = "Rival" + std::to_string(i);
        write_board("rival" + std::to_string(i), image().text(8, name).bytes());
    }
    scan_rivals();
    EXPECT_EQ(g_rival_count, 16);
    std::filesystem::remove_all("data");
    scan_rivals();
    EXPECT_EQ(g_rival_count, 0);
}

TEST_F(storage, EachProfileHasItsOwnLockFileBesideIt)
{
    char out[128];
    ASSERT_TRUE(profile_lock_path("data/sysop_ann.dat", out, sizeof out));
    EXPECT_STREQ(out, "data/sysop_ann.lock");
    char tiny[12];
    EXPECT_FALSE(profile_lock_path("data/sysop_ann.dat", tiny, sizeof tiny));
}

// Callers whose names make one slug each keep a board of their own; the
// holder of the plain slug file keeps it under every spelling of the name.
TEST_F(storage, CallersSharingASlugNeverShareABoard)
{
    write_board("bobsmith", image().text(8, "Bob Smith").i64(80, 987654).bytes());
    write_board("u", image().text(8, "U").i64(80, 5555).bytes());
    struct caller_case {
        const char* name;
        bool owns_the_plain_file;
    };
    const caller_case cases[] = {
        {"Bob Smith", true}, {"bob  SMITH ", true}, {"B.O.B. SMITH", false}, {"bob-smith", false},
        {"U", true},         {"???", false},        {"u", true},
    };
    std::vector<std::string> others;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        copy_text(g_d.user_name, c.name);
        char path[128];
        profile_path(path, sizeof path);
        const std::string plain = c.name[0] == 'B' || c.name[0] == 'b' ? "data/sysop_bobsmith.dat" : "data/sysop_u.dat";
        if (c.owns_the_plain_file) {
            EXPECT_EQ(path, plain);
            ASSERT_EQ(load_profile(), 1);
            EXPECT_GT(P.cash, 5000);
            continue;
        }
        EXPECT_NE(path, plain);
        EXPECT_EQ(load_profile(), 0) << "handed another caller's board";
        // A board of their own, found again on the next call.
        new_profile();
        P.cash = 42;
        save_profile();
        std::memset(&P, 0, sizeof P);
        ASSERT_EQ(load_profile(), 1);
        EXPECT_EQ(P.cash, 42);
        char again[128];
        profile_path(again, sizeof again);
        EXPECT_STREQ(again, path);
        others.emplace_back(path);
    }
    ASSERT_EQ(others.size(), 3u);
    EXPECT_NE(others[0], others[1]);
    // The owners' boards are as they were.
    copy_text(g_d.user_name, "Bob Smith");
    ASSERT_EQ(load_profile(), 1);
    EXPECT_EQ(P.cash, 987654);
}

TEST_F(storage, ARenamedSysopStillFindsTheBoard)
{
    copy_text(g_d.user_name, "Ada");
    new_profile();
    save_profile();
    copy_text(P.sysop_name, "Countess of Lovelace");
    P.cash = 31337;
    save_profile();
    std::memset(&P, 0, sizeof P);
    ASSERT_EQ(load_profile(), 1);
    EXPECT_EQ(P.cash, 31337);
    // Another caller of that new name does not get it.
    copy_text(g_d.user_name, "Countess of Lovelace");
    EXPECT_EQ(load_profile(), 0);
}

// Files planted in data/ as symlinks never lead a read or a write outside.
TEST_F(storage, SymlinksInDataAreRefusedAndNeverWrittenThrough)
{
    const std::string outside = dir_.file("outside.txt");
    struct link_case {
        const char* what;
        const char* link;
        bool unreadable;  // the board cannot be opened, with the box
    };
    const link_case cases[] = {
        {"the board itself", "data/sysop_sysop.dat", true},
        {"the board's lock", "data/sysop_sysop.lock", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all("data");
        mkdir("data", 0755);
        testsupport::write_file(outside, "precious");
        ASSERT_EQ(symlink(outside.c_str(), c.link), 0);
        EXPECT_EQ(profile_unreadable(), c.unreadable);
        EXPECT_EQ(load_profile(), 0);
        new_profile();
        save_profile();
        EXPECT_EQ(testsupport::read_file(outside), "precious");
        struct stat st{};
        ASSERT_EQ(lstat(c.link, &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode)) << "replaced";
        // A link to where nothing is yet is not created through either.
        std::remove(outside.c_str());
        save_profile();
        EXPECT_FALSE(std::filesystem::exists(outside));
    }
    // No temporary file is left behind, whatever names were planted.
    std::filesystem::remove_all("data");
    mkdir("data", 0755);
    for (int pid = getpid() - 2; pid <= getpid() + 2; ++pid)
        symlink(outside.c_str(), ("data/.sysop_sysop.dat.tmp" + std::to_string(pid)).c_str());
    new_profile();
    save_profile();
    EXPECT_FALSE(std::filesystem::exists(outside));
    EXPECT_EQ(testsupport::read_file("data/sysop_sysop.dat").size(), 232u);
}

// With more boards than the list holds, the rival list takes those nearest
// the player's fame, stays the same within a day, and over the days shows
// every board of a fame.
TEST_F(storage, RivalListGivesEveryBoardAChance)
{
    copy_text(P.sysop_name, "Me");
    P.fame = 2;
    for (int i = 0; i < 40; ++i) {
        const std::string name = "Rival" + std::to_string(i);
        write_board("rival" + std::to_string(i), image().text(8, name).u32(92, i < 30 ? 2 : 5).bytes());
    }
    std::set<std::string> seen;
    for (std::uint32_t day = 1; day <= 60; ++day) {
        P.day = day;
        scan_rivals();
        ASSERT_EQ(g_rival_count, MAX_RIVALS);
        std::vector<std::string> first;
        for (int i = 0; i < g_rival_count; ++i) {
            EXPECT_EQ(g_rivals[i].record.fame, 2) << "a nearer board was passed over";
            first.emplace_back(g_rivals[i].path);
            seen.insert(g_rivals[i].path);
        }
        scan_rivals();
        for (int i = 0; i < g_rival_count; ++i)
            EXPECT_EQ(first[static_cast<std::size_t>(i)], g_rivals[i].path) << "day " << day;
    }
    EXPECT_EQ(seen.size(), 30u);
}

// What a caller behind a modem pays for the game's screens: plays a scripted
// door session through the real sysopsim (started as a BBS starts a door,
// on a socket named by DOOR32.SYS) and prints, per step and in total, the
// bytes sent, the cells of the caller's screen that changed, and the seconds
// those bytes take at 2400 and 14400 bps (10 bits a byte on the line).
//
//   game_modem_bench [path to sysopsim]
#include "common/telnet.h"
#include "tests/support/vt_screen.h"

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using steady = std::chrono::steady_clock;

constexpr const char* CONSOLE = "VEXON SIMS - BBS CONSOLE";
constexpr const char* BOX_PROMPT = "[ Press any key ]";
constexpr const char* DOWN = "\x1b[B";
constexpr const char* UP = "\x1b[A";
// Output that pauses this long after a frame's end is taken as the step's end.
constexpr int QUIET_MS = 300;

struct step {
    const char* name;
    std::string keys;
    const char* wait_for;  // text on the screen when the step is done ("" none)
    bool large;            // a screen entered or a box: the bigger steps
};

struct figures {
    std::size_t bytes = 0;
    int changed = 0;
};

class caller {
public:
    caller(const char* game, const std::string& dir)
    {
        int sv[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, sv) != 0) {
            std::perror("socketpair");
            std::exit(1);
        }
        fd_ = sv[0];
        const std::string dropfile = dir + "/DOOR32.SYS";
        FILE* f = std::fopen(dropfile.c_str(), "w");
        if (!f) {
            std::perror(dropfile.c_str());
            std::exit(1);
        }
        std::fprintf(f, "2\r\n%d\r\n38400\r\nBench\r\n1\r\nModem Caller\r\nModem Caller\r\n100\r\n60\r\n1\r\n1\r\n",
                     sv[1]);
        std::fclose(f);
        pid_ = fork();
        if (pid_ == 0) {
            close(sv[0]);
            if (chdir(dir.c_str()) != 0)
                _exit(127);
            execl(game, game, ("--dropfile=" + dropfile).c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(sv[1]);
        screen_.take_c0_as_controls(true);
    }
    ~caller()
    {
        close(fd_);
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    caller(const caller&) = delete;
    caller& operator=(const caller&) = delete;

    // Sends the keys, then reads until the text shows and the output has
    // paused after a whole frame; the bytes that came meanwhile.
    std::size_t play(const std::string& keys, const char* text)
    {
        const std::size_t start = raw_.size();
        if (!keys.empty())
            send(fd_, keys.data(), keys.size(), MSG_NOSIGNAL);
        const auto give_up = steady::now() + std::chrono::seconds(30);
        while (steady::now() < give_up) {
            const bool answered = keys.empty() || raw_.size() > start;
            const bool shown = text[0] == '\0' || screen_.contains(text);
            const bool whole = raw_.size() >= 4 && raw_.compare(raw_.size() - 4, 4, "\x1b[0m") == 0;
            if (!read_some(answered && shown && whole ? QUIET_MS : 1000) && answered && shown && whole)
                return raw_.size() - start;
        }
        std::fprintf(stderr, "no \"%s\" on the screen:\n%s\n", text, screen_.dump().c_str());
        std::exit(1);
    }

    const vt::vt_screen& screen() const { return screen_; }

private:
    bool read_some(int timeout_ms)
    {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, timeout_ms) <= 0)
            return false;
        char buf[8192];
        const ssize_t n = recv(fd_, buf, sizeof buf, 0);
        if (n <= 0)
            return false;
        raw_.append(buf, static_cast<std::size_t>(n));
        auto* bytes = reinterpret_cast<unsigned char*>(buf);
        const std::size_t data =
            telnet_receive(telnet_, {bytes, static_cast<std::size_t>(n)}, {bytes, static_cast<std::size_t>(n)});
        screen_.feed_cp437(std::string_view(buf, data));
        return true;
    }

    int fd_ = -1;
    pid_t pid_ = -1;
    std::string raw_;
    telnet_state telnet_;
    vt::vt_screen screen_;
};

struct cell_state {
    std::uint32_t ch;
    int fg, bg;
    bool bold;
    bool operator==(const cell_state&) const = default;
};

std::vector<cell_state> snapshot(const vt::vt_screen& s)
{
    std::vector<cell_state> cells;
    for (int y = 0; y < s.rows(); ++y) {
        for (int x = 0; x < s.cols(); ++x) {
            const vt::cell_info c = s.cell(x, y);
            cells.push_back({c.ch, c.fg, c.bg, c.bold});
        }
    }
    return cells;
}

int changed_cells(const std::vector<cell_state>& a, const std::vector<cell_state>& b)
{
    int n = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        n += a[i] == b[i] ? 0 : 1;
    return n;
}

double seconds_at(std::size_t bytes, int bps)
{
    return static_cast<double>(bytes) * 10.0 / bps;
}

void print_row(const char* name, const figures& f)
{
    std::printf("%-34s %8zu %8d %7.2f %8.1f %8.1f\n", name, f.bytes, f.changed,
                f.changed ? static_cast<double>(f.bytes) / f.changed : 0.0, seconds_at(f.bytes, 2400),
                seconds_at(f.bytes, 14400));
}

}  // namespace

int main(int argc, char** argv)
{
    const char* game = argc > 1 ? argv[1] : SYSOPSIM_PATH;
    char dir_template[] = "/tmp/game_modem_bench.XXXXXX";
    const char* dir = mkdtemp(dir_template);
    if (!dir) {
        std::perror("mkdtemp");
        return 1;
    }

    const std::vector<step> script = {
        {"title", "", "[1] New BBS", true},
        {"new board: welcome box", "1", "Welcome!", true},
        {"console", " ", CONSOLE, true},
        {"computer store", "2", "BYTE ME COMPUTING", true},
        {"RAM list", "2", "Byte Me Computing - RAM", true},
        {"list: down", DOWN, "", false},
        {"list: down", DOWN, "", false},
        {"list: up", UP, "", false},
        {"back to the store", "q", "BYTE ME COMPUTING", true},
        {"back to the console", "q", CONSOLE, true},
        {"software store", "3", "BIG JOHN'S", true},
        {"back to the console", "q", CONSOLE, true},
        {"phone company", "4", "THE PHONE COMPANY", true},
        {"back to the console", "q", CONSOLE, true},
        {"underground", "5", "THE PIRATE COVE", true},
        {"back to the console", "q", CONSOLE, true},
        {"statistics", "6", "SYSOP DOSSIER", true},
        {"back to the console", " ", CONSOLE, true},
        {"saved-game box", "9", "Saved", true},
        {"back to the console", " ", CONSOLE, true},
        {"a day: its first box", "1", BOX_PROMPT, true},
    };

    std::printf("%-34s %8s %8s %7s %8s %8s\n", "step", "bytes", "changed", "B/cell", "s@2400", "s@14400");
    figures total;
    figures large;
    double worst_large = 0;
    const char* worst_name = "";
    {
        caller c(game, dir);
        auto record = [&](const char* name, const std::string& keys, const char* text, bool is_large) {
            const auto before = snapshot(c.screen());
            figures f;
            f.bytes = c.play(keys, text);
            f.changed = changed_cells(before, snapshot(c.screen()));
            print_row(name, f);
            total.bytes += f.bytes;
            total.changed += f.changed;
            if (is_large) {
                large.bytes += f.bytes;
                large.changed += f.changed;
                const double per = f.changed ? static_cast<double>(f.bytes) / f.changed : 0.0;
                if (per > worst_large) {
                    worst_large = per;
                    worst_name = name;
                }
            }
        };
        for (const step& s : script)
            record(s.name, s.keys, s.wait_for, s.large);
        // The day's further boxes, one key each, until the console is back.
        for (int box = 0; box < 10 && !(c.screen().contains(CONSOLE) && !c.screen().contains(BOX_PROMPT)); ++box)
            record("a day: next box or the console", " ", "", true);
        record("save and quit to the title", "q", "[1] New BBS", true);
    }
    std::printf("\n");
    print_row("total", total);
    print_row("screen entries and boxes", large);
    std::printf("worst screen entry or box: %.2f bytes per changed cell (%s)\n", worst_large, worst_name);
    std::filesystem::remove_all(dir);
    return 0;
}

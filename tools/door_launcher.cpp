// A minimal Linux BBS front end for trying either program as a door: it
// accepts telnet callers on a loopback port, switches their client to
// character mode the way boards do (the board echoes, no go-ahead, and asks
// for the window size), asks each caller's name (or uses --user), writes a
// DOOR32.SYS of connection type 2 into a node directory naming the accepted
// socket's descriptor, and starts the door with that descriptor inherited,
// the way a Linux board starts its doors. A plain "telnet 127.0.0.1 PORT"
// is a caller.
//
//   door_launcher --door PATH [--dir DIR] [--port N] [--bind ADDR]
//                 [--user NAME] [--nodes N] [-- extra door arguments]
//
// --game is another name for --door. The door runs in DIR (so every node
// shares DIR/data); node n's dropfile is DIR/node<n>/DOOR32.SYS. With
// --port 0 a free port is chosen. The launcher prints "listening on ADDR
// port N" and one line per node started and ended.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/telnet.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int MAX_NODES = 16;
// The whole name prompt, echo included, ends within this: a node is free
// again within a minute whatever the caller does. Tests shorten it with
// DOOR_LAUNCHER_NAME_WAIT_MS.
constexpr int NAME_WAIT_MS = 60000;
constexpr std::size_t NAME_MAX_LEN = 30;

struct options {
    std::string door;
    std::string dir = ".";
    std::string bind = "127.0.0.1";
    std::string user;  // empty: ask the caller
    int port = 0;
    int nodes = 4;
    std::vector<std::string> door_args;
};

struct node_slot {
    pid_t pid = 0;  // 0: free
};

int g_wake[2] = {-1, -1};  // signal handlers write a byte here
volatile sig_atomic_t g_stop = 0;

void on_signal(int sig)
{
    int saved = errno;
    if (sig != SIGCHLD)
        g_stop = 1;
    char b = 1;
    (void)!write(g_wake[1], &b, 1);
    errno = saved;
}

bool parse_options(int argc, char** argv, options& o)
{
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&](std::string& out) {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--") {
            for (++i; i < argc; ++i)
                o.door_args.emplace_back(argv[i]);
        } else if ((a == "--door" || a == "--game") && next(o.door)) {
        } else if (a == "--dir" && next(o.dir)) {
        } else if (a == "--bind" && next(o.bind)) {
        } else if (a == "--user" && next(o.user)) {
        } else if (a == "--port" && next(v)) {
            o.port = std::atoi(v.c_str());
        } else if (a == "--nodes" && next(v)) {
            o.nodes = std::atoi(v.c_str());
        } else {
            return false;
        }
    }
    return !o.door.empty() && o.port >= 0 && o.port <= 65535 && o.nodes >= 1 && o.nodes <= MAX_NODES;
}

int listen_on(const options& o)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(o.port));
    if (inet_pton(AF_INET, o.bind.c_str(), &addr.sin_addr) != 1 ||
        bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 8) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

int bound_port(int fd)
{
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    return ntohs(addr.sin_port);
}

using steady = std::chrono::steady_clock;

// Milliseconds left until the deadline, at least 0.
int ms_left(steady::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - steady::now()).count();
    return left <= 0 ? 0 : static_cast<int>(left);
}

// Sends the text before the deadline; false when the caller did not take it
// in time or the line broke. A caller who does not read can hold no send.
bool send_until(int fd, const char* text, steady::time_point deadline)
{
    std::size_t left = std::strlen(text);
    while (left > 0) {
        ssize_t n = send(fd, text, left, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd, POLLOUT, 0};
            const int wait = ms_left(deadline);
            if (wait == 0 || poll(&p, 1, wait) <= 0)
                return false;
            continue;
        }
        if (n <= 0)
            return false;
        text += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

// A short message to a caller, sent if the line takes it within a second.
void send_text(int fd, const char* text)
{
    (void)send_until(fd, text, steady::now() + std::chrono::seconds(1));
}

int name_wait_ms()
{
    const char* v = std::getenv("DOOR_LAUNCHER_NAME_WAIT_MS");
    const int ms = v ? std::atoi(v) : 0;
    return ms > 0 ? ms : NAME_WAIT_MS;
}

// Character mode, as boards set it up on answering: the board echoes, there
// are no go-aheads, and the client is asked for its window size.
void negotiate_character_mode(int fd)
{
    const char offer[] = {'\xff', '\xfb', TELNET_ECHO, '\xff', '\xfb', TELNET_SGA, '\xff', '\xfd', TELNET_NAWS, '\0'};
    send_text(fd, offer);
}

// A telnet client sends Enter as CR LF or CR NUL: the second byte belongs to
// this Enter and must not reach the door as a key of its own.
void drop_enter_pair(int fd, steady::time_point deadline)
{
    pollfd p{fd, POLLIN, 0};
    unsigned char next = 0;
    if (poll(&p, 1, std::min(200, ms_left(deadline))) > 0 && recv(fd, &next, 1, MSG_PEEK) == 1 &&
        (next == '\n' || next == '\0'))
        (void)!recv(fd, &next, 1, 0);
}

// Reads the caller's name: printable ASCII up to Enter, with backspace;
// telnet commands, other control bytes and leading spaces are skipped
// (a blank name would make the game fall back to the sysop's own board).
// Empty on hang-up, or when no complete line came within the prompt's time:
// that bound holds for the prompt as a whole (telnet commands trickling in
// do not renew it) and for every echo.
std::string ask_name(int fd)
{
    const steady::time_point deadline = steady::now() + std::chrono::milliseconds(name_wait_ms());
    if (!send_until(fd, "\r\nVexon door launcher\r\nYour name: ", deadline))
        return "";
    std::string name;
    telnet_state telnet;
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const int wait = ms_left(deadline);
        if (wait == 0 || poll(&p, 1, wait) <= 0)
            return "";
        unsigned char raw = 0;
        if (recv(fd, &raw, 1, 0) != 1)
            return "";
        unsigned char c = 0;
        const char* echo = nullptr;
        char typed[2] = {'\0', '\0'};
        if (telnet_receive(telnet, {&raw, 1}, {&c, 1}) == 0) {
        } else if (c == '\r' || c == '\n') {
            if (c == '\r')
                drop_enter_pair(fd, deadline);
            if (!name.empty())
                break;
        } else if ((c == 8 || c == 127) && !name.empty()) {
            name.pop_back();
            echo = "\b \b";
        } else if (c == ' ' && name.empty()) {
        } else if (c >= 32 && c < 127 && name.size() < NAME_MAX_LEN) {
            name.push_back(static_cast<char>(c));
            typed[0] = static_cast<char>(c);
            echo = typed;
        }
        if (echo && !send_until(fd, echo, deadline))
            return "";
    }
    if (!send_until(fd, "\r\n", deadline))
        return "";
    return name;
}

// Writes the dropfile through a temporary file, so the door never reads a
// half-written one.
bool write_dropfile(const std::string& node_dir, int fd, const std::string& name, int node)
{
    mkdir(node_dir.c_str(), 0755);
    std::string path = node_dir + "/DOOR32.SYS";
    std::string tmp = path + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "w");
    if (!f)
        return false;
    std::fprintf(f, "2\r\n%d\r\n38400\r\nVexon Door Launcher 1.0\r\n1\r\n%s\r\n%s\r\n100\r\n60\r\n1\r\n%d\r\n", fd,
                 name.c_str(), name.c_str(), node);
    bool ok = std::fclose(f) == 0;
    return ok && std::rename(tmp.c_str(), path.c_str()) == 0;
}

// In the child: learn the name, write the dropfile, become the door program.
[[noreturn]] void run_node(const options& o, int fd, int node)
{
    signal(SIGPIPE, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    signal(SIGINT, SIG_DFL);
    signal(SIGHUP, SIG_DFL);
    signal(SIGCHLD, SIG_DFL);
    setsid();
    negotiate_character_mode(fd);
    std::string name = o.user.empty() ? ask_name(fd) : o.user;
    if (name.empty())
        _exit(0);
    // Relative to the door's directory, which may itself be given relative.
    const std::string node_dir = "node" + std::to_string(node);
    if (chdir(o.dir.c_str()) != 0 || !write_dropfile(node_dir, fd, name, node))
        _exit(1);
    int devnull = open("/dev/null", O_RDWR);
    if (devnull >= 0) {
        dup2(devnull, STDIN_FILENO);
        dup2(devnull, STDOUT_FILENO);
        if (devnull > STDERR_FILENO)
            close(devnull);
    }
    std::vector<std::string> args{o.door, "--dropfile=" + node_dir + "/DOOR32.SYS"};
    args.insert(args.end(), o.door_args.begin(), o.door_args.end());
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(o.door.c_str(), argv.data());
    _exit(127);
}

int free_node(const std::vector<node_slot>& slots)
{
    for (std::size_t i = 0; i < slots.size(); ++i) {
        if (slots[i].pid == 0)
            return static_cast<int>(i);
    }
    return -1;
}

void accept_caller(const options& o, int listener, std::vector<node_slot>& slots)
{
    int fd = accept4(listener, nullptr, nullptr, 0);  // inherited by the door: no CLOEXEC
    if (fd < 0)
        return;
    if (fd <= STDERR_FILENO) {
        // The child points 0 and 1 at /dev/null; keep the caller clear of them.
        int high = fcntl(fd, F_DUPFD, STDERR_FILENO + 1);
        close(fd);
        if (high < 0)
            return;
        fd = high;
    }
    int slot = free_node(slots);
    if (slot < 0) {
        send_text(fd, "\r\nAll nodes are busy. Call again later.\r\n");
        close(fd);
        return;
    }
    pid_t pid = fork();
    if (pid == 0) {
        close(listener);
        close(g_wake[0]);
        close(g_wake[1]);
        run_node(o, fd, slot + 1);
    }
    close(fd);
    if (pid > 0) {
        slots[static_cast<std::size_t>(slot)].pid = pid;
        std::printf("node %d: started pid %d\n", slot + 1, static_cast<int>(pid));
        std::fflush(stdout);
    }
}

void reap(std::vector<node_slot>& slots)
{
    int status = 0;
    pid_t pid;
    while ((pid = waitpid(-1, &status, WNOHANG)) > 0) {
        for (std::size_t i = 0; i < slots.size(); ++i) {
            if (slots[i].pid != pid)
                continue;
            slots[i].pid = 0;
            if (WIFEXITED(status))
                std::printf("node %zu: pid %d ended with status %d\n", i + 1, static_cast<int>(pid),
                            WEXITSTATUS(status));
            else
                std::printf("node %zu: pid %d ended by signal %d\n", i + 1, static_cast<int>(pid),
                            WIFSIGNALED(status) ? WTERMSIG(status) : 0);
            std::fflush(stdout);
        }
    }
}

bool any_running(const std::vector<node_slot>& slots)
{
    for (const auto& s : slots) {
        if (s.pid > 0)
            return true;
    }
    return false;
}

// On the way out every running door gets a hang-up, as from a board going
// down; one that is still there after three seconds is killed.
void hang_up_all(std::vector<node_slot>& slots)
{
    for (auto& s : slots) {
        if (s.pid > 0)
            kill(s.pid, SIGHUP);
    }
    for (int waited = 0; waited < 30 && any_running(slots); ++waited) {
        poll(nullptr, 0, 100);
        reap(slots);
    }
    for (auto& s : slots) {
        if (s.pid > 0)
            kill(s.pid, SIGKILL);
    }
    while (waitpid(-1, nullptr, 0) > 0) {
    }
}

void install_signals()
{
    signal(SIGPIPE, SIG_IGN);
    struct sigaction sa{};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGCHLD, SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &sa, nullptr);
}

}  // namespace

int main(int argc, char** argv)
{
    options o;
    if (!parse_options(argc, argv, o)) {
        std::fprintf(stderr,
                     "usage: door_launcher --door PATH [--dir DIR] [--port N] [--bind ADDR] [--user NAME] "
                     "[--nodes N] [-- door arguments]\n");
        return 2;
    }
    // The door starts in --dir, so a relative path must be made whole first.
    char* door = realpath(o.door.c_str(), nullptr);
    if (!door) {
        std::fprintf(stderr, "door_launcher: no door program at %s\n", o.door.c_str());
        return 1;
    }
    o.door = door;
    std::free(door);
    if (pipe2(g_wake, O_CLOEXEC | O_NONBLOCK) != 0)
        return 1;
    install_signals();
    int listener = listen_on(o);
    if (listener < 0) {
        std::fprintf(stderr, "door_launcher: cannot listen on %s port %d: %s\n", o.bind.c_str(), o.port,
                     std::strerror(errno));
        return 1;
    }
    std::printf("listening on %s port %d\n", o.bind.c_str(), bound_port(listener));
    std::fflush(stdout);

    std::vector<node_slot> slots(static_cast<std::size_t>(o.nodes));
    while (!g_stop) {
        pollfd fds[2] = {{listener, POLLIN, 0}, {g_wake[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR)
            break;
        if (fds[1].revents & POLLIN) {
            char buf[64];
            while (read(g_wake[0], buf, sizeof buf) > 0) {
            }
            reap(slots);
        }
        if (!g_stop && (fds[0].revents & POLLIN))
            accept_caller(o, listener, slots);
    }
    close(listener);
    hang_up_all(slots);
    return 0;
}

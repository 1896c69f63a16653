// Real IRC servers for tests, started as child processes on loopback.
#include "tests/support/ircd_server.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <string_view>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

// Generous: the machine running the tests may be busy.
constexpr int START_TIMEOUT_MS = 15000;

// The seeded services database: account "tester", password "secret123".
constexpr const char *SERVICES_DB =
    "DBV 12\n"
    "LUID AAAAAAAAB\n"
    "MU AAAAAAAAB tester "
    "$z$26$64000$GvQmMvyBw2ayuOTjguEbpN5LiR9GTGzsmVfmyUvVa8g=$NYHOTPJuDIpMhX1+tU5xIKEi0tuumerGu0uiJNDqq2KwpJBAIxQucTm3SsJk+fv0SVFcsMcYecINHnU/BG8iJQ== "
    "tester@example.com 1796858389 1796858389 +C default\n"
    "MN tester tester 1796858389 1796858389\n";

std::int64_t now_ms()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void pause_ms(int ms)
{
    poll(nullptr, 0, ms);
}

std::string make_temp_dir(const char *stem)
{
    std::string pattern = (std::filesystem::temp_directory_path() / stem).string() + "-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr) {
        return {};
    }
    // Servers that drop root privileges must still read their files.
    chmod(buf.data(), 0755);
    return std::string(buf.data());
}

bool write_text(const std::string &path, std::string_view text)
{
    std::FILE *f = std::fopen(path.c_str(), "w");
    if (f == nullptr) {
        return false;
    }
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

// Replaces every "$NAME" key of vars in text.
std::string fill(std::string text, const std::vector<std::pair<std::string, std::string>> &vars)
{
    for (const auto &[key, value] : vars) {
        for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size())) {
            text.replace(at, key.size(), value);
        }
    }
    return text;
}

// Starts argv with stdout and stderr into log_path; returns the pid or -1.
pid_t spawn(const std::vector<std::string> &args, const std::string &log_path)
{
    std::vector<char *> argv;
    for (const auto &a : args) {
        argv.push_back(const_cast<char *>(a.c_str()));
    }
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid != 0) {
        return pid;
    }
    // Child: only async-signal-safe calls from here on.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    const int log = open(log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    const int null_in = open("/dev/null", O_RDONLY);
    if (log >= 0 && null_in >= 0) {
        dup2(null_in, 0);
        dup2(log, 1);
        dup2(log, 2);
    }
    execv(argv[0], argv.data());
    _exit(127);
}

// Sends sig to pid, waits up to two seconds, then kills it for good.
void stop(pid_t pid, int sig)
{
    if (pid <= 0) {
        return;
    }
    kill(pid, sig);
    for (std::int64_t until = now_ms() + 2000; now_ms() < until; pause_ms(20)) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            return;
        }
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

sockaddr_in loopback_address(int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

int connect_loopback(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in a = loopback_address(port);
    if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr *>(&a), sizeof a) == 0) {
        return fd;
    }
    if (fd >= 0) {
        close(fd);
    }
    return -1;
}

// Waits until the port accepts a connection, for at most timeout_ms.
bool wait_for_port(int port, pid_t pid, int timeout_ms)
{
    for (std::int64_t until = now_ms() + timeout_ms; now_ms() < until; pause_ms(20)) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            return false;
        }
        const int fd = connect_loopback(port);
        if (fd >= 0) {
            close(fd);
            return true;
        }
    }
    return false;
}

// Asks "CAP LS 302" and reports whether the answer lists sasl.
bool offers_sasl(int port)
{
    const int fd = connect_loopback(port);
    if (fd < 0) {
        return false;
    }
    const char ask[] = "CAP LS 302\r\n";
    send(fd, ask, sizeof ask - 1, MSG_NOSIGNAL);
    std::string got;
    pollfd p{fd, POLLIN, 0};
    for (std::int64_t until = now_ms() + 1000; now_ms() < until && got.find('\n') == std::string::npos;) {
        if (poll(&p, 1, 100) <= 0) {
            continue;
        }
        char buf[1024];
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) {
            break;
        }
        got.append(buf, static_cast<std::size_t>(n));
    }
    close(fd);
    return got.find(" sasl") != std::string::npos || got.find(":sasl") != std::string::npos;
}

bool make_certificate(const std::string &dir)
{
    const pid_t pid = spawn({"/usr/bin/openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                             "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
                             dir + "/key.pem", "-out", dir + "/cert.pem", "-days", "3650", "-subj", "/CN=localhost",
                             "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1"},
                            dir + "/openssl.log");
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return false;
    }
    chmod((dir + "/key.pem").c_str(), 0644);
    return true;
}

constexpr const char *NGIRCD_CONF = R"([Global]
	Name = irc.test.local
	Info = test server
	AdminInfo1 = test
	AdminInfo2 = test
	AdminEMail = test@localhost
	Listen = 127.0.0.1
	Ports = $PORT
	MotdPhrase = test server
[Limits]
	MaxConnectionsIP = 0
	MaxNickLength = 30
	MaxPenaltyTime = 0
[Options]
	PAM = no
	Ident = no
	DNS = no
	IncludeDir = $T/empty.d
)";

constexpr const char *NGIRCD_TLS = R"([SSL]
	CertFile = $T/cert.pem
	KeyFile = $T/key.pem
	Ports = $TLSPORT
)";

constexpr const char *INSPIRCD_CONF = R"(<server name="irc.test.local" description="test server" network="TestNet">
<admin name="test" nick="test" email="test@localhost">
<bind address="127.0.0.1" port="$PORT" type="clients">
<bind address="127.0.0.1" port="$LINKPORT" type="servers">
<connect allow="*" timeout="60" pingfreq="120" localmax="1000" globalmax="1000"
         maxconnwarn="no" resolvehostnames="no" useident="no"
         threshold="1000" commandrate="100000" fakelag="no"
         softsendq="1M" hardsendq="4M" recvq="64K" limit="5000">
<module name="cap">
<module name="sasl">
<module name="services_account">
<module name="spanningtree">
<link name="services.test.local" ipaddr="127.0.0.1" port="$LINKPORT" allowmask="127.0.0.0/8"
      sendpass="linkpass" recvpass="linkpass">
<uline server="services.test.local" silent="yes">
<sasl target="services.test.local">
)";

constexpr const char *ATHEME_CONF = R"(loadmodule "modules/protocol/inspircd";
loadmodule "modules/backend/opensex";
loadmodule "modules/crypto/pbkdf2v2";
loadmodule "modules/nickserv/main";
loadmodule "modules/nickserv/register";
loadmodule "modules/nickserv/identify";
loadmodule "modules/saslserv/main";
loadmodule "modules/saslserv/plain";
serverinfo {
	name = "services.test.local"; desc = "test services"; numeric = "00A"; recontime = 1;
	netname = "TestNet"; hidehostsuffix = "users.test"; adminname = "test";
	adminemail = "test@localhost"; registeremail = "test@localhost"; auth = none;
};
uplink "irc.test.local" { host = "127.0.0.1"; port = $LINKPORT; send_password = "linkpass"; receive_password = "linkpass"; };
nickserv { nick = "NickServ"; user = "NickServ"; host = "services.test.local"; real = "NickServ"; };
saslserv { nick = "SaslServ"; user = "SaslServ"; host = "services.test.local"; real = "SaslServ"; };
general { ratelimit_uses = 0; ratelimit_period = 0; };
)";

constexpr const char *FLOOD_INSPIRCD_CONF = R"(<server name="irc.test.local" description="test server" network="TestNet">
<admin name="test" nick="test" email="test@localhost">
<bind address="127.0.0.1" port="$PORT" type="clients">
<connect allow="*" timeout="60" pingfreq="120" localmax="60" globalmax="60"
         maxconnwarn="no" resolvehostnames="no" useident="no"
         threshold="$THRESHOLD" commandrate="$RATE" fakelag="no"
         softsendq="8192" hardsendq="262144" recvq="$RECVQ">
<module name="cap">
)";

} // namespace

flood_ircd_server::flood_ircd_server(int commandrate, int threshold, int recvq) : dir_(make_temp_dir("inspircd"))
{
    if (dir_.empty()) {
        return;
    }
    port_ = free_loopback_port();
    const std::vector<std::pair<std::string, std::string>> vars{{"$PORT", std::to_string(port_)},
                                                                {"$THRESHOLD", std::to_string(threshold)},
                                                                {"$RATE", std::to_string(commandrate)},
                                                                {"$RECVQ", std::to_string(recvq)}};
    if (!write_text(dir_ + "/inspircd.conf", fill(FLOOD_INSPIRCD_CONF, vars))) {
        return;
    }
    std::vector<std::string> ircd{"/usr/sbin/inspircd", "--nofork", "--nopid", "--config=" + dir_ + "/inspircd.conf"};
    if (geteuid() == 0) {
        ircd.push_back("--runasroot");
    }
    pid_ = spawn(ircd, dir_ + "/inspircd.log");
    ready_ = pid_ > 0 && wait_for_port(port_, pid_, START_TIMEOUT_MS);
}

flood_ircd_server::~flood_ircd_server()
{
    stop(pid_, SIGKILL);
    if (!dir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
}

int free_loopback_port()
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopback_address(0);
    socklen_t len = sizeof a;
    int port = 0;
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) == 0) {
        port = ntohs(a.sin_port);
    }
    if (fd >= 0) {
        close(fd);
    }
    return port;
}

namespace {

// A free port on 127.0.0.1 below the kernel's ephemeral range. A server that
// is stopped and started again keeps its port only if nothing else takes it
// meanwhile: a port handed out by the kernel (another test's listener bound
// to port 0, the local end of any connection, even the reconnecting client's
// own) may land on one from that range.
int free_steady_port()
{
    int low = 32768;
    if (FILE *f = std::fopen("/proc/sys/net/ipv4/ip_local_port_range", "r")) {
        int high = 0;
        if (std::fscanf(f, "%d %d", &low, &high) != 2) {
            low = 32768;
        }
        std::fclose(f);
    }
    constexpr int FIRST = 10000;
    if (low <= FIRST + 100) {
        return free_loopback_port();
    }
    const int span = low - FIRST;
    const int start = static_cast<int>(std::random_device{}() % static_cast<unsigned>(span));
    for (int i = 0; i < span; ++i) {
        const int port = FIRST + (start + i) % span;
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in a = loopback_address(port);
        const bool free = fd >= 0 && bind(fd, reinterpret_cast<const sockaddr *>(&a), sizeof a) == 0;
        if (fd >= 0) {
            close(fd);
        }
        if (free) {
            return port;
        }
    }
    return free_loopback_port();
}

} // namespace

ngircd_server::ngircd_server(bool with_tls) : dir_(make_temp_dir("ngircd"))
{
    if (dir_.empty() || !std::filesystem::create_directory(dir_ + "/empty.d")) {
        return;
    }
    port_ = free_steady_port();
    tls_port_ = with_tls ? free_steady_port() : 0;
    if (with_tls && !make_certificate(dir_)) {
        return;
    }
    const std::string conf = fill(std::string(NGIRCD_CONF) + (with_tls ? NGIRCD_TLS : ""),
                                  {{"$TLSPORT", std::to_string(tls_port_)},
                                   {"$PORT", std::to_string(port_)},
                                   {"$T", dir_}});
    if (!write_text(dir_ + "/ngircd.conf", conf)) {
        return;
    }
    ready_ = launch();
}

bool ngircd_server::launch()
{
    pid_ = spawn({"/usr/sbin/ngircd", "-n", "-f", dir_ + "/ngircd.conf"}, dir_ + "/ngircd.log");
    return pid_ > 0 && wait_for_port(port_, pid_, START_TIMEOUT_MS) &&
           (tls_port_ == 0 || wait_for_port(tls_port_, pid_, START_TIMEOUT_MS));
}

void ngircd_server::shut_down()
{
    stop(pid_, SIGTERM);
    pid_ = -1;
    ready_ = false;
}

bool ngircd_server::start_again()
{
    if (pid_ <= 0 && !dir_.empty()) {
        ready_ = launch();
    }
    return ready_;
}

ngircd_server::~ngircd_server()
{
    stop(pid_, SIGTERM);
    if (!dir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
}

std::string ngircd_server::cert_file() const
{
    return dir_ + "/cert.pem";
}

sasl_ircd_server::sasl_ircd_server() : dir_(make_temp_dir("inspircd"))
{
    if (dir_.empty() || !std::filesystem::create_directory(dir_ + "/data")) {
        return;
    }
    port_ = free_loopback_port();
    const std::vector<std::pair<std::string, std::string>> vars{
        {"$LINKPORT", std::to_string(free_loopback_port())}, {"$PORT", std::to_string(port_)}, {"$T", dir_}};
    if (!write_text(dir_ + "/inspircd.conf", fill(INSPIRCD_CONF, vars)) ||
        !write_text(dir_ + "/atheme.conf", fill(ATHEME_CONF, vars)) ||
        !write_text(dir_ + "/data/services.db", SERVICES_DB)) {
        return;
    }
    std::vector<std::string> ircd{"/usr/sbin/inspircd", "--nofork", "--nopid", "--config=" + dir_ + "/inspircd.conf"};
    if (geteuid() == 0) {
        ircd.push_back("--runasroot");
    }
    ircd_pid_ = spawn(ircd, dir_ + "/inspircd.log");
    if (ircd_pid_ <= 0 || !wait_for_port(port_, ircd_pid_, START_TIMEOUT_MS)) {
        return;
    }
    services_pid_ = spawn({"/usr/bin/atheme-services", "-n", "-c", dir_ + "/atheme.conf", "-D", dir_ + "/data", "-l",
                           dir_ + "/data/atheme.log", "-p", dir_ + "/data/atheme.pid"},
                          dir_ + "/atheme.out");
    for (std::int64_t until = now_ms() + START_TIMEOUT_MS; services_pid_ > 0 && !ready_ && now_ms() < until; pause_ms(50)) {
        ready_ = offers_sasl(port_);
    }
}

sasl_ircd_server::~sasl_ircd_server()
{
    stop(services_pid_, SIGTERM);
    stop(ircd_pid_, SIGKILL);
    if (!dir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
}

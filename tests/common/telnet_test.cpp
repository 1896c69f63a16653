// The telnet filter of door sockets: commands, negotiation and window-size
// reports never reach the keys, wherever a read cuts them.
#include "common/telnet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using bytes = std::vector<unsigned char>;

bytes b(std::initializer_list<int> values)
{
    bytes out;
    for (const int v : values)
        out.push_back(static_cast<unsigned char>(v));
    return out;
}

bytes text(std::string_view s)
{
    return bytes(s.begin(), s.end());
}

bytes operator+(bytes a, const bytes& c)
{
    a.insert(a.end(), c.begin(), c.end());
    return a;
}

constexpr int IAC = TELNET_IAC;
constexpr int SB = TELNET_SB;
constexpr int SE = TELNET_SE;
constexpr int NAWS = TELNET_NAWS;

struct result {
    bytes data;
    telnet_state state;
};

// Feeds the stream in the given pieces, one read each.
result receive(const bytes& stream, const std::vector<std::size_t>& cuts)
{
    result r;
    std::size_t start = 0;
    auto feed = [&](std::size_t end) {
        bytes out(end - start);
        const std::size_t n =
            telnet_receive(r.state, std::span(stream).subspan(start, end - start), std::span(out));
        r.data.insert(r.data.end(), out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n));
        start = end;
    };
    for (const std::size_t cut : cuts)
        feed(cut);
    feed(stream.size());
    return r;
}

struct filter_case {
    const char* name;
    bytes stream;
    bytes data;               // the keys the door must see
    int columns = 0, rows = 0;  // the last window-size report
    std::uint32_t reports = 0;
    bool refused = false;
};

const std::vector<filter_case> CASES = {
    {"plain keys and Enter pairs pass", text("ab\r\n\r") + b({0}) + text("c"), text("ab\r\n\r") + b({0}) + text("c")},
    {"IAC IAC is one byte 255", text("a") + b({IAC, IAC}) + text("b"), text("a") + b({255}) + text("b")},
    {"two-byte commands vanish", text("x") + b({IAC, 241, IAC, 249, IAC, 246}) + text("y"), text("xy")},
    {"negotiation vanishes",
     b({IAC, TELNET_DO, TELNET_ECHO, IAC, TELNET_DO, TELNET_SGA}) + text("k") + b({IAC, TELNET_WILL, NAWS}),
     text("k")},
    {"WONT NAWS is a refusal", b({IAC, TELNET_WONT, NAWS}) + text("q"), text("q"), 0, 0, 0, true},
    {"a window report holding P and 24 gives no keys",
     text("1") + b({IAC, SB, NAWS, 0, 80, 0, 24, IAC, SE}) + text("2"), text("12"), 80, 24, 1},
    {"reports in a row keep the last",
     b({IAC, SB, NAWS, 0, 100, 0, 30, IAC, SE, IAC, SB, NAWS, 0, 132, 0, 50, IAC, SE}), {}, 132, 50, 2},
    {"IAC IAC inside a report is a 255 of the size",
     b({IAC, SB, NAWS, 0, IAC, IAC, 0, 40, IAC, SE}) + text("z"), text("z"), 255, 40, 1},
    {"other subnegotiations are dropped whole",
     b({IAC, SB, 24, 0}) + text("xterm") + b({IAC, IAC, IAC, SE}) + text("ok"), text("ok")},
    {"a report of the wrong length is no report", b({IAC, SB, NAWS, 0, 80, 0, IAC, SE}) + text("w"), text("w")},
    {"an unclosed subnegotiation ends at the next command",
     b({IAC, SB, 24, 0, 1, 2, IAC, TELNET_DO, TELNET_ECHO}) + text("keys"), text("keys")},
    {"a stream ending on IAC keeps nothing back", text("ab") + b({IAC}), text("ab")},
};

class TelnetFilter : public ::testing::TestWithParam<filter_case> {};

void expect_result(const filter_case& c, const result& r, const std::string& how)
{
    EXPECT_EQ(r.data, c.data) << how;
    EXPECT_EQ(r.state.size_reports, c.reports) << how;
    if (c.reports > 0) {
        EXPECT_EQ(r.state.columns, c.columns) << how;
        EXPECT_EQ(r.state.rows, c.rows) << how;
    }
    EXPECT_EQ(r.state.size_refused, c.refused) << how;
}

TEST_P(TelnetFilter, SameResultWhereverAReadEnds)
{
    const filter_case& c = GetParam();
    expect_result(c, receive(c.stream, {}), "one read");
    for (std::size_t cut = 0; cut <= c.stream.size(); ++cut)
        expect_result(c, receive(c.stream, {cut}), "cut at " + std::to_string(cut));
    std::vector<std::size_t> every;
    for (std::size_t cut = 1; cut < c.stream.size(); ++cut)
        every.push_back(cut);
    expect_result(c, receive(c.stream, every), "byte by byte");
}

INSTANTIATE_TEST_SUITE_P(Table, TelnetFilter, ::testing::ValuesIn(CASES),
                         [](const auto& p) { return "case" + std::to_string(p.index); });

TEST(TelnetFilter, LoneIacAtTheEndOfAReadJoinsTheNext)
{
    telnet_state st;
    unsigned char out[8];
    const unsigned char first[] = {'a', IAC};
    EXPECT_EQ(telnet_receive(st, first, out), 1u);
    const unsigned char second[] = {IAC, 'b'};
    ASSERT_EQ(telnet_receive(st, second, out), 2u);
    EXPECT_EQ(out[0], 255);
    EXPECT_EQ(out[1], 'b');
}

TEST(TelnetFilter, WillNawsAfterARefusalClearsIt)
{
    telnet_state st;
    unsigned char out[8];
    const unsigned char refused[] = {IAC, TELNET_WONT, NAWS, IAC, TELNET_WILL, NAWS};
    telnet_receive(st, std::span(refused).first(3), out);
    EXPECT_TRUE(st.size_refused);
    telnet_receive(st, std::span(refused).subspan(3), out);
    EXPECT_FALSE(st.size_refused);
}

TEST(TelnetEscape, DoublesEveryByte255)
{
    struct escape_case {
        bytes in, out;
    };
    const std::vector<escape_case> cases = {
        {{}, {}},
        {text("plain"), text("plain")},
        {b({'a', 255, 'b'}), b({'a', 255, 255, 'b'})},
        {b({255, 255}), b({255, 255, 255, 255})},
    };
    for (const auto& c : cases) {
        bytes out(2 * c.in.size());
        out.resize(telnet_escape(c.in, out));
        EXPECT_EQ(out, c.out);
    }
}

TEST(TelnetEscape, ShortRoomNeverSplitsAPair)
{
    const bytes in = b({'a', 255, 'b'});
    bytes out(2);
    EXPECT_EQ(telnet_escape(in, out), 1u);
    EXPECT_EQ(out[0], 'a');
}

TEST(TelnetEscape, EveryByteSurvivesTheFilter)
{
    bytes all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<unsigned char>(i));
    bytes wire(2 * all.size());
    wire.resize(telnet_escape(all, wire));
    EXPECT_EQ(receive(wire, {}).data, all);
}

}  // namespace

// The telnet filter of door sockets: the data a read yields does not depend
// on how the input was cut into reads, commands never leave data of their
// own, a window size is taken only from a complete report, and escaping
// data then filtering it gives the data back.
#include "common/telnet.h"
#include "tests/fuzz/fuzz_support.h"

#include <algorithm>
#include <vector>

namespace {

std::vector<unsigned char> receive_in_pieces(telnet_state& st, std::string_view in, std::size_t piece)
{
    std::vector<unsigned char> data;
    unsigned char out[64];
    while (!in.empty()) {
        const std::size_t take = std::min({piece, in.size(), sizeof out});
        const auto* bytes = reinterpret_cast<const unsigned char*>(in.data());
        const std::size_t n = telnet_receive(st, {bytes, take}, {out, take});
        FUZZ_CHECK(n <= take);
        data.insert(data.end(), out, out + n);
        in.remove_prefix(take);
    }
    return data;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 16384)
        return 0;
    const auto [knob, input] = fuzz::steer(data, size);

    telnet_state whole;
    const auto all = receive_in_pieces(whole, input, input.size() + 1);
    telnet_state cut;
    const auto pieces = receive_in_pieces(cut, input, 1 + knob % 7);
    FUZZ_CHECK(all == pieces);
    FUZZ_CHECK(whole.columns == cut.columns && whole.rows == cut.rows && whole.size_reports == cut.size_reports &&
               whole.size_refused == cut.size_refused && whole.phase == cut.phase);
    FUZZ_CHECK(all.size() <= input.size());
    // Without IAC nothing is a command: every byte is data.
    if (input.find('\xff') == std::string_view::npos)
        FUZZ_CHECK(all.size() == input.size() && std::equal(all.begin(), all.end(), input.begin(),
                                                            [](unsigned char a, char b) { return a == static_cast<unsigned char>(b); }));
    if (whole.size_reports == 0)
        FUZZ_CHECK(whole.columns == 0 && whole.rows == 0);

    // What the programs send comes back as it was.
    std::vector<unsigned char> escaped(2 * input.size());
    const std::size_t n = telnet_escape({reinterpret_cast<const unsigned char*>(input.data()), input.size()}, escaped);
    FUZZ_CHECK(n >= input.size() && n <= 2 * input.size());
    escaped.resize(n);
    telnet_state back;
    const auto again = receive_in_pieces(back, {reinterpret_cast<const char*>(escaped.data()), escaped.size()}, 1 + knob % 5);
    FUZZ_CHECK(again.size() == input.size() &&
               std::equal(again.begin(), again.end(), input.begin(),
                          [](unsigned char a, char b) { return a == static_cast<unsigned char>(b); }));
    return 0;
}

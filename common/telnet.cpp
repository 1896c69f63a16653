#include "common/telnet.h"

namespace {

enum phase : std::uint8_t {
    DATA,      // plain data
    COMMAND,   // after IAC
    OPTION,    // after IAC WILL/WONT/DO/DONT
    SUB_OPTION,  // after IAC SB
    SUB,       // inside a subnegotiation
    SUB_IAC,   // after IAC inside a subnegotiation
};

constexpr std::uint8_t SUB_TOO_LONG = 5;

void end_subnegotiation(telnet_state& st)
{
    if (st.option == TELNET_NAWS && st.sub_length == 4) {
        st.columns = static_cast<std::uint16_t>(st.sub[0] << 8 | st.sub[1]);
        st.rows = static_cast<std::uint16_t>(st.sub[2] << 8 | st.sub[3]);
        ++st.size_reports;
    }
}

void keep_sub_byte(telnet_state& st, unsigned char b)
{
    if (st.sub_length < sizeof st.sub)
        st.sub[st.sub_length] = b;
    if (st.sub_length < SUB_TOO_LONG)
        ++st.sub_length;
}

// The byte after IAC outside a subnegotiation.
void take_command(telnet_state& st, unsigned char b)
{
    switch (b) {
    case TELNET_WILL:
    case TELNET_WONT:
    case TELNET_DO:
    case TELNET_DONT:
        st.verb = b;
        st.phase = OPTION;
        break;
    case TELNET_SB:
        st.phase = SUB_OPTION;
        break;
    default:  // NOP, GA, AYT, a stray SE...: nothing a door acts on
        st.phase = DATA;
        break;
    }
}

}  // namespace

std::size_t telnet_receive(telnet_state& st, std::span<const unsigned char> in, std::span<unsigned char> out)
{
    std::size_t n = 0;
    for (const unsigned char b : in) {
        switch (st.phase) {
        case DATA:
            if (b == TELNET_IAC)
                st.phase = COMMAND;
            else if (n < out.size())
                out[n++] = b;
            break;
        case COMMAND:
            if (b == TELNET_IAC) {
                if (n < out.size())
                    out[n++] = b;
                st.phase = DATA;
            } else {
                take_command(st, b);
            }
            break;
        case OPTION:
            if (b == TELNET_NAWS && (st.verb == TELNET_WILL || st.verb == TELNET_WONT))
                st.size_refused = st.verb == TELNET_WONT;
            st.phase = DATA;
            break;
        case SUB_OPTION:
            st.option = b;
            st.sub_length = 0;
            st.phase = SUB;
            break;
        case SUB:
            if (b == TELNET_IAC)
                st.phase = SUB_IAC;
            else
                keep_sub_byte(st, b);
            break;
        case SUB_IAC:
            if (b == TELNET_IAC) {
                keep_sub_byte(st, b);
                st.phase = SUB;
            } else if (b == TELNET_SE) {
                end_subnegotiation(st);
                st.phase = DATA;
            } else {
                // A client that never closed its subnegotiation: drop it and
                // take this as a command, so its keys are not eaten forever.
                take_command(st, b);
            }
            break;
        default:
            st.phase = DATA;
            break;
        }
    }
    return n;
}

std::size_t telnet_escape(std::span<const unsigned char> in, std::span<unsigned char> out)
{
    std::size_t n = 0;
    for (const unsigned char b : in) {
        const std::size_t need = b == TELNET_IAC ? 2 : 1;
        if (n + need > out.size())
            break;
        out[n++] = b;
        if (b == TELNET_IAC)
            out[n++] = b;
    }
    return n;
}

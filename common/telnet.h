// Layer common/, below both programs: the door socket, telnet and code page 437; includes nothing of either program.
// Telnet on a door socket. A board that hands a caller's raw telnet
// connection to a door (DOOR32.SYS connection type 2) leaves the protocol to
// the door: commands and option negotiation are mixed into the keys, and a
// data byte 255 must be sent doubled. These functions are pure byte-in,
// bytes-out steps, so any reader can use them on reads of any size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

inline constexpr unsigned char TELNET_IAC = 255;
inline constexpr unsigned char TELNET_DONT = 254;
inline constexpr unsigned char TELNET_DO = 253;
inline constexpr unsigned char TELNET_WONT = 252;
inline constexpr unsigned char TELNET_WILL = 251;
inline constexpr unsigned char TELNET_SB = 250;
inline constexpr unsigned char TELNET_SE = 240;
inline constexpr unsigned char TELNET_ECHO = 1;
inline constexpr unsigned char TELNET_SGA = 3;
inline constexpr unsigned char TELNET_NAWS = 31;

// What a connection's input has said so far, carried from one read to the
// next: a command may be cut anywhere by the end of a read.
struct telnet_state {
    std::uint8_t phase = 0;       // where the last read stopped inside a command
    std::uint8_t verb = 0;        // WILL, WONT, DO or DONT awaiting its option
    std::uint8_t option = 0;      // the option of the subnegotiation under way
    std::uint8_t sub_length = 0;  // its bytes so far, counted up to 5
    std::uint8_t sub[4]{};        // its first four bytes (a window size needs four)
    // The caller's window as its last NAWS report gave it.
    std::uint16_t columns = 0;
    std::uint16_t rows = 0;
    std::uint32_t size_reports = 0;  // one more for every NAWS report
    bool size_refused = false;       // the client answered WONT NAWS
};

// Removes telnet commands from received bytes and writes the data bytes left
// (IAC IAC as one byte 255) to out; returns how many. The data never
// outnumbers the input, so out needs in.size() bytes; bytes beyond out's end
// are dropped. Window-size reports update state.
std::size_t telnet_receive(telnet_state& state, std::span<const unsigned char> in, std::span<unsigned char> out);

// Copies data to out with every byte 255 doubled; returns the bytes written.
// out needs 2 * in.size() bytes; bytes beyond its end are dropped, never half
// a doubled pair.
std::size_t telnet_escape(std::span<const unsigned char> in, std::span<unsigned char> out);

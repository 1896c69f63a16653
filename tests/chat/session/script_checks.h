// Checks on what a client sent to a scripted server, for the fixtures of the
// session and of the client library.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "tests/chat/session/script_server.h"

// The next lines the client sent are exactly these, in order.
inline void expect_sent(script_server &server, std::initializer_list<std::string> lines)
{
    for (const std::string &want : lines) {
        const auto got = server.next_line();
        ASSERT_TRUE(got.has_value()) << "expected " << want;
        EXPECT_EQ(*got, want);
    }
}

// The lines the client sent before answering a PING, one per row: everything
// it did in reply to what came before.
inline std::string sync_lines(script_server &server)
{
    const auto before = server.lines_before_pong("sync");
    EXPECT_TRUE(before.has_value()) << "no PONG";
    return before.value_or("");
}

// What a dropfile's descriptor number may name, and which of them a door can
// talk to its caller on.
#include "common/door_socket.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace {

std::string problem(int fd)
{
    const char* p = stream_socket_problem(fd);
    return p ? p : "";
}

TEST(DoorSocket, OnlyAConnectedStreamSocketWillDo)
{
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    EXPECT_EQ(problem(pair[0]), "");

    int pipe_ends[2];
    ASSERT_EQ(pipe(pipe_ends), 0);
    EXPECT_EQ(problem(pipe_ends[0]), "is not a socket");

    const int datagram = socket(AF_INET, SOCK_DGRAM, 0);
    EXPECT_EQ(problem(datagram), "is not a stream socket");

    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    EXPECT_EQ(problem(listener), "is not connected");

    for (const int fd : {pair[0], pair[1], pipe_ends[0], pipe_ends[1], datagram, listener})
        close(fd);
    EXPECT_EQ(problem(pair[0]), "is not open");
    EXPECT_EQ(problem(-1), "is not open");
}

}  // namespace

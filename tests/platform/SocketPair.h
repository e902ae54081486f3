#pragma once
// Both ends of a connected, non-blocking local socket pair, closed when the
// pair goes away: a descriptor the platform's sources can watch.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace orv::test {

struct SocketPair {
    int fds[2] = {-1, -1};
    SocketPair() { ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds); }
    ~SocketPair()
    {
        ::close(fds[0]);
        ::close(fds[1]);
    }
    SocketPair(const SocketPair&) = delete;
    SocketPair& operator=(const SocketPair&) = delete;
    void send(const char* text) const { ASSERT_GT(::write(fds[1], text, std::strlen(text)), 0); }
};

}  // namespace orv::test

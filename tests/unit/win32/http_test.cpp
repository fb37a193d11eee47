// The Windows exchange keeps its deadline on a thread of its own and leaves a
// thread behind for each exchange that outlives it: how many it leaves is
// bounded for each caller on its own.
#include "platform/http.h"

#include <gtest/gtest.h>
#include <vector>
#include <winsock2.h>

using namespace korvane;

namespace {

// A peer on a loopback port that takes every connection and never answers;
// closed, it ends the exchanges still waiting on it.
struct SilentPeer {
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    int port = 0;
    std::vector<SOCKET> taken;
    SilentPeer() {
        sockaddr_in at{AF_INET, 0, {}, {}};
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int size = sizeof at;
        if (bind(listener, reinterpret_cast<sockaddr*>(&at), size) == 0 &&
            listen(listener, 16) == 0 &&
            getsockname(listener, reinterpret_cast<sockaddr*>(&at), &size) == 0)
            port = ntohs(at.sin_port);
    }
    // The connections made since the last call, without waiting for more.
    int newConnections() {
        fd_set ready;
        timeval now{0, 0};
        for (int n = 0;; ++n) {
            FD_ZERO(&ready);
            FD_SET(listener, &ready);
            if (select(0, &ready, nullptr, nullptr, &now) != 1) return n;
            taken.push_back(accept(listener, nullptr, nullptr));
        }
    }
    ~SilentPeer() {
        for (SOCKET s : taken) closesocket(s);
        closesocket(listener);
    }
};

} // namespace

TEST(WindowsExchange, EachCallerLeavesOnlyItsOwnFewWaiting) {
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    SilentPeer peer;
    ASSERT_NE(peer.port, 0);
    HttpRequest req;
    req.host = L"127.0.0.1";
    req.port = peer.port;
    req.path = L"/api/live";
    req.noProxy = true;
    req.connectTimeoutMs = 5000;
    req.receiveTimeoutMs = 60000; // each one given up on stays waiting
    req.totalTimeoutMs = 100;
    // Posts to a silent service: four are left waiting, the next fails at
    // once without reaching the peer.
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(httpExchange(req).deadlinePassed) << i;
        EXPECT_EQ(peer.newConnections(), 1) << i;
    }
    EXPECT_TRUE(httpExchange(req).deadlinePassed);
    EXPECT_EQ(peer.newConnections(), 0);
    // The game's requests and a download still reach their peer.
    for (HttpCaller other : {HttpCaller::Game, HttpCaller::Download}) {
        req.caller = other;
        EXPECT_TRUE(httpExchange(req).deadlinePassed);
        EXPECT_EQ(peer.newConnections(), 1);
    }
}

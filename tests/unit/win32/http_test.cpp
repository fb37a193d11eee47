// The Windows exchange keeps its deadline on a thread of its own and leaves a
// thread behind for each exchange that outlives it: how many it leaves is
// bounded for each caller on its own.
#include "platform/http.h"

#include <gtest/gtest.h>
#include <vector>
#include <winsock2.h>

using namespace korvane;

TEST(WindowsExchange, EachCallerLeavesOnlyItsOwnFewWaiting) {
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    // A peer on a loopback port that takes every connection and never answers.
    SOCKET peer = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in at{AF_INET, 0, {}, {}};
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof at;
    ASSERT_TRUE(bind(peer, reinterpret_cast<sockaddr*>(&at), size) == 0 && listen(peer, 16) == 0 &&
                getsockname(peer, reinterpret_cast<sockaddr*>(&at), &size) == 0);
    std::vector<SOCKET> taken;
    auto newConnections = [&] { // since the last look, without waiting for more
        fd_set ready;
        timeval now{0, 0};
        for (int n = 0;; ++n) {
            FD_ZERO(&ready);
            FD_SET(peer, &ready);
            if (select(0, &ready, nullptr, nullptr, &now) != 1) return n;
            taken.push_back(accept(peer, nullptr, nullptr));
        }
    };
    HttpRequest req;
    req.host = L"127.0.0.1";
    req.port = ntohs(at.sin_port);
    req.path = L"/api/live";
    req.noProxy = true;
    req.connectTimeoutMs = 5000;
    req.receiveTimeoutMs = 60000; // each one given up on stays waiting
    req.totalTimeoutMs = 100;
    // Posts to a silent service: four are left waiting, the next fails at
    // once without reaching the peer.
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(httpExchange(req).deadlinePassed) << i;
        EXPECT_EQ(newConnections(), 1) << i;
    }
    EXPECT_TRUE(httpExchange(req).deadlinePassed);
    EXPECT_EQ(newConnections(), 0);
    // The game's requests and a download still reach their peer.
    for (HttpCaller other : {HttpCaller::Game, HttpCaller::Download}) {
        req.caller = other;
        EXPECT_TRUE(httpExchange(req).deadlinePassed);
        EXPECT_EQ(newConnections(), 1);
    }
    // Closed, the peer ends the exchanges still waiting on it.
    for (SOCKET s : taken) closesocket(s);
    closesocket(peer);
}

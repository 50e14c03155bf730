// The dead-peer watch through Winsock: what a connected socket takes, and that
// options the system refuses leave the connection working.
#include "protocol/socket_options.h"

#include <gtest/gtest.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

namespace {

class Winsock : public ::testing::Test {
 protected:
  void SetUp() override {
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  }
  void TearDown() override {
    for (SOCKET s : {client_, accepted_, listener_})
      if (s != INVALID_SOCKET) closesocket(s);
    WSACleanup();
  }

  // A connected pair on 127.0.0.1.
  void connectPair() {
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_NE(listener_, INVALID_SOCKET);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener_, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener_, 1), 0);
    int length = sizeof address;
    ASSERT_EQ(getsockname(listener_, reinterpret_cast<sockaddr *>(&address), &length), 0);
    client_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_EQ(connect(client_, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    accepted_ = accept(listener_, nullptr, nullptr);
    ASSERT_NE(accepted_, INVALID_SOCKET);
  }

  SOCKET listener_ = INVALID_SOCKET, client_ = INVALID_SOCKET, accepted_ = INVALID_SOCKET;
};

TEST_F(Winsock, ConnectedSocketProbesAndStillCarriesDataWhateverWasRefused) {
  connectPair();
  const ocamera::wire::PeerWatch watch = ocamera::wire::watchSocket(client_);
  EXPECT_TRUE(watch.keepAlive);
  EXPECT_TRUE(watch.probeTimes) << "SIO_KEEPALIVE_VALS";
  // Windows 10 1703 and later take these; Wine and older systems refuse them.
  RecordProperty("probeCount", watch.probeCount ? "set" : "refused");
  RecordProperty("unacknowledged", watch.unacknowledged ? "set" : "refused");
  std::printf("TCP_KEEPCNT %s, TCP_MAXRT %s\n", watch.probeCount ? "set" : "refused",
              watch.unacknowledged ? "set" : "refused");

  BOOL keepAlive = FALSE;
  int size = sizeof keepAlive;
  ASSERT_EQ(
      getsockopt(client_, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<char *>(&keepAlive), &size),
      0);
  EXPECT_TRUE(keepAlive);

  // Both ways, after every option was tried.
  const char request[] = "ping", reply[] = "pong";
  char buffer[8] = {};
  ASSERT_EQ(send(client_, request, 4, 0), 4);
  ASSERT_EQ(recv(accepted_, buffer, sizeof buffer, 0), 4);
  EXPECT_EQ(std::memcmp(buffer, request, 4), 0);
  ASSERT_EQ(send(accepted_, reply, 4, 0), 4);
  ASSERT_EQ(recv(client_, buffer, sizeof buffer, 0), 4);
  EXPECT_EQ(std::memcmp(buffer, reply, 4), 0);
}

TEST_F(Winsock, AClosedSocketTakesNothingAndNothingBreaks) {
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  ASSERT_NE(s, INVALID_SOCKET);
  closesocket(s);
  const ocamera::wire::PeerWatch watch = ocamera::wire::watchSocket(s);
  EXPECT_FALSE(watch.keepAlive);
  EXPECT_FALSE(watch.probeTimes);
  EXPECT_FALSE(watch.probeCount);
  EXPECT_FALSE(watch.unacknowledged);
}

}  // namespace

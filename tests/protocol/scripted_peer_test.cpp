// The scripted peer itself, driven through plain sockets: request framing,
// reply order, scripted breakage, and serving several connections at once.
#include "common/scripted_peer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>

namespace ocamera_test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// A client socket whose every wait ends after 5 seconds.
class Client {
 public:
  explicit Client(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    const timeval limit{5, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
  }
  ~Client() { ::close(fd_); }
  bool connected() const { return connected_; }

  bool send(const std::string &bytes) {
    return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
  }
  // Reads exactly n bytes; fewer when the peer closes or the wait times out.
  std::string read(std::size_t n) {
    std::string out;
    char buf[4096];
    while (out.size() < n) {
      const ssize_t got = ::recv(fd_, buf, std::min(sizeof buf, n - out.size()), 0);
      if (got <= 0) break;
      out.append(buf, static_cast<std::size_t>(got));
    }
    return out;
  }
  // True when the peer closed the connection (no more bytes, orderly end).
  bool closedByPeer() {
    char c;
    return ::recv(fd_, &c, 1, 0) == 0;
  }

 private:
  int fd_;
  bool connected_ = false;
};

const std::string kBody =
    soapEnvelope("<scam:triggerImage><scam:token>1</scam:token></scam:triggerImage>");

std::string httpRequest(const std::string &body) {
  return "POST / HTTP/1.1\r\nHost: x\r\ncontent-length: " + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}

TEST(ScriptedPeer, HttpRequestArrivingInPiecesIsRecordedExactly) {
  ScriptedPeer peer;
  peer.enqueue(PeerReply::raw("R1"));
  Client client(peer.port());
  ASSERT_TRUE(client.connected());
  const std::string request = httpRequest(kBody);
  const std::size_t cuts[] = {10, request.find("\r\n\r\n") + 2, request.size() - 5};
  std::size_t from = 0;
  for (std::size_t cut : cuts) {
    ASSERT_TRUE(client.send(request.substr(from, cut - from)));
    from = cut;
    EXPECT_FALSE(peer.waitForRequests(1, milliseconds(20))) << "request complete too early";
  }
  ASSERT_TRUE(client.send(request.substr(from)));
  ASSERT_TRUE(peer.waitForRequests(1, seconds(5)));
  EXPECT_EQ(client.read(2), "R1");

  const PeerRequest got = peer.request(0);
  EXPECT_EQ(got.raw, request);
  EXPECT_TRUE(got.http());
  EXPECT_EQ(got.body, kBody);
  EXPECT_EQ(got.header("Content-Length"), std::to_string(kBody.size()));
  EXPECT_EQ(got.header("Host"), "x");
  EXPECT_EQ(got.header("SOAPAction"), "");
  EXPECT_EQ(got.operation(), "scam:triggerImage");
  EXPECT_EQ(got.operationElement(),
            "<scam:triggerImage><scam:token>1</scam:token></scam:triggerImage>");
  EXPECT_THROW(peer.request(1), std::out_of_range);
}

TEST(ScriptedPeer, PipelinedBareRequestsGetTheirRepliesInOrder) {
  ScriptedPeer peer;
  peer.enqueue(PeerReply::raw("first;"));
  peer.enqueue(PeerReply::raw("second;"));
  Client client(peer.port());
  ASSERT_TRUE(client.connected());
  ASSERT_TRUE(client.send(kBody + "\r\n" + kBody));
  EXPECT_EQ(client.read(13), "first;second;");
  ASSERT_TRUE(peer.waitForRequests(2, seconds(5)));
  const PeerRequest a = peer.request(0);
  const PeerRequest b = peer.request(1);
  EXPECT_FALSE(a.http());
  EXPECT_EQ(a.raw, kBody + "\r\n");  // a bare message keeps the line break after it
  EXPECT_EQ(b.raw, kBody);
  EXPECT_EQ(a.connection, b.connection);
  EXPECT_EQ(peer.connectionCount(), 1u);
  EXPECT_EQ(peer.pendingReplies(), 0u);
}

TEST(ScriptedPeer, ScriptedBreakageReachesTheClient) {
  const std::string full = "0123456789";
  struct Case {
    const char *name;
    PeerReply reply;
    std::string received;
    bool closed;
  };
  const Case cases[] = {
      {"KeepOpen", PeerReply::raw(full), full, false},
      {"ThenClose", PeerReply::raw(full).thenClose(), full, true},
      {"Truncated", PeerReply::truncated(full, 4), "0123", true},
      {"CloseWithoutReply", PeerReply::closeWithoutReply(), "", true},
      {"Garbage", PeerReply::garbage("@@"), "@@", true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedPeer peer;
    peer.enqueue(c.reply);
    Client client(peer.port());
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(client.send(httpRequest(kBody)));
    EXPECT_EQ(client.read(c.received.size()), c.received);
    if (c.closed) {
      EXPECT_TRUE(client.closedByPeer());
    } else {
      // Still open: a second request on it is answered.
      peer.enqueue(PeerReply::raw("again"));
      ASSERT_TRUE(client.send(httpRequest(kBody)));
      EXPECT_EQ(client.read(5), "again");
    }
  }
}

TEST(ScriptedPeer, FallbackAnswersOnceTheQueueIsEmptyOtherwiseTheConnectionCloses) {
  ScriptedPeer peer;
  peer.enqueue(PeerReply::raw("queued"));
  peer.setFallback(
      [](const PeerRequest &r) { return PeerReply::raw("fallback:" + r.operation()); });
  Client client(peer.port());
  ASSERT_TRUE(client.connected());
  ASSERT_TRUE(client.send(kBody));
  EXPECT_EQ(client.read(6), "queued");
  ASSERT_TRUE(client.send(kBody));
  EXPECT_EQ(client.read(26), "fallback:scam:triggerImage");

  peer.setFallback(nullptr);
  ASSERT_TRUE(client.send(kBody));
  EXPECT_TRUE(client.closedByPeer());
  EXPECT_EQ(peer.requestCount(), 3u);
}

TEST(ScriptedPeer, SilentConnectionDoesNotHoldUpOthers) {
  ScriptedPeer peer;
  peer.enqueue(PeerReply::raw("B"));
  Client silent(peer.port());
  ASSERT_TRUE(silent.connected());
  ASSERT_TRUE(silent.send("POST / HTTP/1.1\r\n"));  // never finishes its request
  Client busy(peer.port());
  ASSERT_TRUE(busy.connected());
  ASSERT_TRUE(busy.send(kBody));
  EXPECT_EQ(busy.read(1), "B");
  EXPECT_EQ(peer.connectionCount(), 2u);
  EXPECT_EQ(peer.request(0).connection, 1u);
}

TEST(ScriptedPeer, WaitingForRequestsThatNeverComeTimesOut) {
  ScriptedPeer peer;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(peer.waitForRequests(1, milliseconds(50)));
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(50));
  EXPECT_EQ(peer.requestCount(), 0u);
}

}  // namespace
}  // namespace ocamera_test

// A scripted stand-in for the camera on a loopback socket: it records every
// request byte for byte and answers each with the next reply a test queued,
// whether that reply is a well-formed SOAP message, garbage, a cut-off message
// or no reply at all.
//
//   ScriptedPeer peer;                                   // listens on 127.0.0.1:<ephemeral>
//   peer.enqueue(PeerReply::http(soapEnvelope(
//       "<scam:setGainResponse><scam:status>0</scam:status></scam:setGainResponse>")));
//   int status = -1;
//   soap_call_scam__setGain(ctx, peer.httpEndpoint().c_str(), "", 7, 3, status);
//   ASSERT_TRUE(peer.waitForRequests(1, std::chrono::seconds(5)));
//   EXPECT_EQ(peer.request(0).body, expected);
//
// The peer serves any number of connections at once on one thread. Each
// connection carries a sequence of requests; every complete request takes the
// next queued reply (first in, first out across all connections). When the
// queue is empty the fallback responder, if one is set, makes the reply;
// otherwise the connection is closed without a reply.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace ocamera_test {

// One request as the peer received it.
struct PeerRequest {
  std::string raw;      // every byte of the request, header block included
  std::string headers;  // the HTTP header block up to and including the blank line; empty when bare
  std::string body;     // the XML that followed the header block (all of `raw` when bare)
  std::size_t connection = 0;  // number of the connection it came on, counted from 0

  bool http() const { return !headers.empty(); }
  // Value of the header `name` (matched without regard to case), or "" when absent.
  std::string header(std::string_view name) const;
  // Name of the first element inside SOAP-ENV:Body, e.g. "scam:setGain"; "" when none.
  std::string operation() const;
  // The operation element from its start tag to its end tag, e.g.
  // "<scam:setGain><scam:token>7</scam:token>...</scam:setGain>"; "" when none.
  std::string operationElement() const;
};

// What the peer does with one request.
struct PeerReply {
  enum class After { kKeepOpen, kClose };

  std::string bytes;                 // sent as they are (may be empty)
  std::size_t sendLimit = SIZE_MAX;  // send at most this many bytes of `bytes`
  After after = After::kKeepOpen;    // what happens to the connection afterwards

  // The bytes as they are; the connection stays open for the next request.
  static PeerReply raw(std::string bytes);
  // A SOAP message with no HTTP header block.
  static PeerReply bare(std::string envelope) { return raw(std::move(envelope)); }
  // A SOAP message behind an HTTP/1.1 200 response header block (see httpResponse).
  static PeerReply http(std::string envelope);
  // Closes the connection without sending anything.
  static PeerReply closeWithoutReply();
  // Sends the bytes (not a SOAP message) and closes the connection.
  static PeerReply garbage(std::string bytes = "this is not a SOAP message\r\n\r\n");
  // Sends only the first n bytes of `bytes` and closes the connection.
  static PeerReply truncated(std::string bytes, std::size_t n);

  // The same reply, closing the connection after it is sent.
  PeerReply thenClose() &&;
};

// The XML declaration, a SOAP-ENV:Envelope declaring the whole namespace table
// of the camera protocol, and a SOAP-ENV:Body around `body`.
std::string soapEnvelope(std::string_view body);
// "<name>content</name>".
std::string xmlElement(std::string_view name, std::string_view content);
// A reply element holding one status child in the same namespace, e.g. for
// "scam:setGainResponse" and 0: <scam:setGainResponse><scam:status>0</scam:status></...>.
std::string statusResponse(std::string_view responseName, int status);
// A SOAP fault body with the given faultcode and faultstring.
std::string soapFault(std::string_view faultcode, std::string_view faultstring);
// An HTTP/1.1 response header block (status line, Content-Type, Content-Length,
// Connection: keep-alive) followed by `payload`.
std::string httpResponse(std::string_view payload, int code = 200, std::string_view reason = "OK");

class ScriptedPeer {
 public:
  using Responder = std::function<PeerReply(const PeerRequest &)>;

  // Binds 127.0.0.1 on an ephemeral port and starts serving. Throws
  // std::system_error when the socket cannot be set up.
  ScriptedPeer();
  // Stops serving, closes every connection and joins the thread.
  ~ScriptedPeer();
  ScriptedPeer(const ScriptedPeer &) = delete;
  ScriptedPeer &operator=(const ScriptedPeer &) = delete;

  std::uint16_t port() const { return port_; }
  std::string bareEndpoint() const;  // "127.0.0.1:<port>": requests without HTTP framing
  std::string httpEndpoint() const;  // "http://127.0.0.1:<port>": HTTP-framed requests

  // Queues the reply to the next request that has none yet.
  void enqueue(PeerReply reply);
  // Makes the replies once the queue is empty (pass nullptr to remove it).
  // Runs on the peer's thread and must not call back into the peer.
  void setFallback(Responder responder);

  // Waits until at least `count` requests arrived; false after `timeout`.
  bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;
  // Number of complete requests received so far.
  std::size_t requestCount() const;
  // Request number `index` (from 0); throws std::out_of_range when there is none yet.
  PeerRequest request(std::size_t index) const;
  std::vector<PeerRequest> requests() const;
  // Number of connections accepted so far.
  std::size_t connectionCount() const;
  // Number of queued replies not used yet.
  std::size_t pendingReplies() const;

 private:
  struct Connection;

  void serve();
  bool handleReadable(Connection &conn);  // false: close the connection
  bool answer(Connection &conn, PeerRequest request);

  int listenFd_ = -1;
  int wakeFd_ = -1;  // eventfd that tells the thread to stop
  std::uint16_t port_ = 0;

  mutable std::mutex mutex_;
  mutable std::condition_variable arrived_;
  std::deque<PeerReply> replies_;
  Responder fallback_;
  std::vector<PeerRequest> requests_;
  std::size_t connections_ = 0;

  std::thread thread_;
};

}  // namespace ocamera_test

// Replies: the runtime's reply with an image payload spliced in and encoded
// as it goes out, and the broken replies injected faults ask for.
#include <sys/socket.h>
#include <sys/uio.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "protocol/base64.h"
#include "protocol/transport.h"
#include "sim/server.h"

namespace ocamsim {
namespace detail {
namespace {

constexpr const char kImageEnd[] = "</scam:SingleImageResponse>";
constexpr const char kDataStart[] = "<scam:data>";
constexpr const char kDataEnd[] = "</scam:data>";

// Encodes bytes that come in runs as one base64 text: the one or two bytes at
// the end of a run wait for the next run to make a group of three.
class RunEncoder {
 public:
  explicit RunEncoder(char *out) : out_(out) {}
  void add(const std::uint8_t *p, std::size_t n) {
    if (held_ > 0) {
      while (held_ < 3 && n > 0) {
        group_[held_++] = *p++;
        --n;
      }
      if (held_ < 3) return;
      ocamera::wire::encodeBase64(group_, 3, out_);
      out_ += 4;
      held_ = 0;
    }
    const std::size_t whole = n / 3 * 3;
    ocamera::wire::encodeBase64(p, whole, out_);
    out_ += whole / 3 * 4;
    for (p += whole, n -= whole; n > 0; --n) group_[held_++] = *p++;
  }
  // Writes what is held as the text's last, padded group.
  void finish() {
    if (held_ > 0) ocamera::wire::encodeBase64(group_, held_, out_);
    out_ += held_ > 0 ? 4 : 0;
    held_ = 0;
  }

 private:
  char *out_;
  std::uint8_t group_[3] = {0, 0, 0};
  std::size_t held_ = 0;
};

// Adds `more` to the Content-Length of the header block at the start of
// `reply`; false when there is none.
bool lengthenBy(std::string &reply, std::size_t more) {
  static const char kName[] = "Content-Length: ";
  const std::size_t headerEnd = reply.find("\r\n\r\n");
  const std::size_t at = reply.find(kName);
  if (headerEnd == std::string::npos || at == std::string::npos || at > headerEnd) return false;
  const std::size_t digits = at + sizeof kName - 1;
  const std::size_t end = reply.find("\r\n", digits);
  const unsigned long long length = std::strtoull(reply.c_str() + digits, nullptr, 10);
  reply.replace(digits, end - digits, std::to_string(length + more));
  return true;
}

}  // namespace

// The image payload goes in as the last element of the reply, where the
// runtime would have written it. Here only the header's Content-Length is made
// to count it and the place of the element is found; sendReply encodes the
// text as it goes out.
bool Server::prepareReply(Connection *c) {
  c->split = 0;
  if (c->out.empty() || !c->payload) return true;
  const std::size_t split = c->out.rfind(kImageEnd);
  const std::size_t chars =
      ocamera::wire::base64EncodedLength(static_cast<std::size_t>(c->payloadSize));
  const std::size_t added = sizeof kDataStart - 1 + chars + sizeof kDataEnd - 1;
  if (split == std::string::npos || !lengthenBy(c->out, added)) return false;
  c->split = c->out.rfind(kImageEnd);  // the header may have grown
  c->outBytes += added;
  return true;
}

// An image's text goes out in chunks, each sent as soon as it is encoded, so
// that the client reads and decodes one while the next is encoded. The first
// chunk is small to start the client early; later ones grow, which keeps the
// sends of a large frame to about a dozen.
bool Server::sendReply(Connection *c) {
  if (c->out.empty()) return true;
  if (!c->payload) {
    struct iovec part = {&c->out[0], c->out.size()};
    return sendParts(c->fd, &part, 1, 0);
  }
  if (!c->text) c->text.reset(new char[ocamera::wire::base64EncodedLength(kLargestChunk)]);
  const std::size_t total = static_cast<std::size_t>(c->payloadSize);
  // A frame is read chunk by chunk, just before it is encoded: straight from
  // the scene, or rendered then.
  Frame *const frame = c->image && c->payload == c->image->data() ? c->image.get() : nullptr;
  std::size_t done = 0;
  std::size_t chunk = kFirstChunk;
  do {
    const std::size_t n = std::min(chunk, total - done);
    const bool last = done + n == total;
    if (frame) {
      RunEncoder text(c->text.get());
      frame->read(done, done + n, [&](const std::uint8_t *p, std::size_t k) { text.add(p, k); });
      text.finish();
    } else {
      ocamera::wire::encodeBase64(c->payload + done, n, c->text.get());
    }
    struct iovec parts[5];
    int count = 0;
    if (done == 0) {
      parts[count++] = {&c->out[0], c->split};
      parts[count++] = {const_cast<char *>(kDataStart), sizeof kDataStart - 1};
    }
    parts[count++] = {c->text.get(), ocamera::wire::base64EncodedLength(n)};
    if (last) {
      parts[count++] = {const_cast<char *>(kDataEnd), sizeof kDataEnd - 1};
      parts[count++] = {&c->out[c->split], c->out.size() - c->split};
    }
    if (!sendParts(c->fd, parts, count, last ? 0 : MSG_MORE)) return false;
    done += n;
    chunk = std::min(2 * chunk, kLargestChunk);
  } while (done < total);
  return true;
}

bool Server::sendParts(int fd, struct iovec *parts, int count, int flags) {
  while (count > 0) {
    msghdr msg{};
    msg.msg_iov = parts;
    msg.msg_iovlen = static_cast<std::size_t>(count);
    ssize_t k = ::sendmsg(fd, &msg, MSG_NOSIGNAL | flags);
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) return false;
    while (count > 0 && static_cast<std::size_t>(k) >= parts->iov_len) {
      k -= static_cast<ssize_t>(parts->iov_len);
      ++parts;
      --count;
    }
    if (count > 0) {
      parts->iov_base = static_cast<char *>(parts->iov_base) + k;
      parts->iov_len -= static_cast<std::size_t>(k);
    }
  }
  return true;
}

void Server::rawReply(Connection *c) {
  const std::string::size_type colon = c->op.find(':');
  const std::string prefix = colon == std::string::npos ? "scam" : c->op.substr(0, colon);
  std::string uri = "urn:vdx";
  for (const Namespace *ns = ocamera::wire::namespace_table(); ns->id; ++ns)
    if (prefix == ns->id) uri = ns->ns;
  std::string body =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" xmlns:" +
      prefix + "=\"" + uri + "\"><SOAP-ENV:Body>";
  // A reply that keeps its connection open is made longer than a client's
  // receive buffer, so most of it is still unread when the client gives up.
  const std::string filler(keepsOpen(c->fault.kind) ? 256 * 1024 : 0, ' ');
  if (c->action == Action::Costly) {
    // The reply's own element, under as many attributes and declarations as
    // asked for.
    const std::string name = c->op + "Response";
    const int count = c->fault.bytes > 0 ? c->fault.bytes : 100000;
    body += "<" + name;
    for (int i = 0; i < count; ++i)
      body += (i % 2 ? " xmlns:n" : " a") + std::to_string(i) + "=\"" + std::to_string(i) + "\"";
    body += "><" + prefix + ":status>0</" + prefix + ":status></" + name +
            "></SOAP-ENV:Body></SOAP-ENV:Envelope>\n";
  } else if (c->action == Action::Unexpected) {
    // A well-formed reply under a name the client does not expect.
    const std::string name = c->op == "scam:getSingleImage" ? c->op + "Response" : c->op + "Result";
    body += "<" + name + "><" + prefix + ":status>0</" + prefix + ":status>" + filler + "</" +
            name + "></SOAP-ENV:Body></SOAP-ENV:Envelope>\n";
  } else {
    // Not well-formed: a broken entity, mismatched tags, and no end.
    body += "<" + c->op + "Response><" + prefix + ":status>0&bogus" + filler + "</" + prefix +
            ":stat<<>";
  }
  std::string out;
  if (c->http) {
    out =
        "HTTP/1.1 200 OK\r\nServer: ocamsim\r\nContent-Type: text/xml; charset=utf-8\r\n"
        "Content-Length: " +
        std::to_string(body.size()) +
        "\r\nConnection: " + (keepsOpen(c->fault.kind) ? "keep-alive" : "close") + "\r\n\r\n";
  }
  out += body;
  c->outBytes = out.size();
  c->payload = nullptr;
  c->out = std::move(out);
}

}  // namespace detail
}  // namespace ocamsim

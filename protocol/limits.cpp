#include "protocol/limits.h"

#include <cstring>
#include <new>

#include "stdsoap2.h"

namespace ocamera {
namespace wire {
namespace {

// Counts the attributes and namespace declarations of a reply's tags as its
// text arrives. It knows just enough XML to find start tags: text, quoted
// values, end tags, comments, CDATA sections, processing instructions and
// declarations are skipped. Every '=' inside a start tag (outside a value)
// is one attribute, or one declaration when its name is "xmlns" or starts with
// "xmlns:". Malformed text can only make it count more, never less than the
// parser would take in.
class MarkupCounter {
 public:
  void reset() { *this = MarkupCounter(); }

  // Takes the next bytes; false once a limit is passed (and from then on).
  bool feed(const char *p, std::size_t n) {
    const char *const end = p + n;
    while (p < end && !over_) {
      switch (state_) {
        case State::kText: {
          const void *tag = std::memchr(p, '<', static_cast<std::size_t>(end - p));
          if (!tag) return true;
          p = static_cast<const char *>(tag) + 1;
          state_ = State::kOpen;
          continue;
        }
        case State::kValue: {
          const void *close = std::memchr(p, mark_, static_cast<std::size_t>(end - p));
          if (!close) return true;
          p = static_cast<const char *>(close) + 1;
          state_ = State::kTag;
          continue;
        }
        case State::kSkipTag: {
          const void *close = std::memchr(p, '>', static_cast<std::size_t>(end - p));
          if (!close) return true;
          p = static_cast<const char *>(close) + 1;
          state_ = State::kText;
          continue;
        }
        default:
          step(*p++);
      }
    }
    return !over_;
  }

 private:
  enum class State : unsigned char {
    kText,         // outside any markup
    kOpen,         // just after '<'
    kTag,          // inside a start tag, outside a value
    kValue,        // inside a quoted value (mark_: the quote)
    kSkipTag,      // an end tag or a declaration, up to '>'
    kInstruction,  // <? ... ?> (mark_: 1 after '?')
    kBang,         // just after "<!"
    kBangDash,     // just after "<!-"
    kComment,      // <!-- ... --> (mark_: dashes in a row)
    kCdataOpen,    // "<![" up to the second '['
    kCdata,        // <![CDATA[ ... ]]> (mark_: ']' in a row)
  };
  // How far the current name matches "xmlns": 0-5 characters, then:
  static constexpr unsigned char kPrefixed = 6;  // "xmlns:..."
  static constexpr unsigned char kOther = 7;     // any other name

  void step(char c) {
    switch (state_) {
      case State::kOpen:
        if (c == '/') {
          state_ = State::kSkipTag;
        } else if (c == '?') {
          state_ = State::kInstruction;
          mark_ = 0;
        } else if (c == '!') {
          state_ = State::kBang;
        } else {
          state_ = State::kTag;
          elementAttributes_ = elementNamespaces_ = 0;
          name_ = kOther;  // the element's own name
          fresh_ = false;
          tagChar(c);
        }
        break;
      case State::kTag:
        tagChar(c);
        break;
      case State::kInstruction:
        if (c == '>' && mark_) state_ = State::kText;
        mark_ = c == '?';
        break;
      case State::kBang:
        state_ = c == '-' ? State::kBangDash : c == '[' ? State::kCdataOpen : State::kSkipTag;
        if (c == '>') state_ = State::kText;
        break;
      case State::kBangDash:
        state_ = c == '-' ? State::kComment : c == '>' ? State::kText : State::kSkipTag;
        mark_ = 0;
        break;
      case State::kComment:
      case State::kCdata: {
        const char dash = state_ == State::kComment ? '-' : ']';
        if (c == '>' && mark_ >= 2) {
          state_ = State::kText;
        } else if (c == dash) {
          if (mark_ < 2) ++mark_;
        } else {
          mark_ = 0;
        }
        break;
      }
      case State::kCdataOpen:
        if (c == '[') {
          state_ = State::kCdata;
          mark_ = 0;
        }
        break;
      default:
        break;
    }
  }

  void tagChar(char c) {
    if (c == '>') {
      state_ = State::kText;
    } else if (c == '"' || c == '\'') {
      state_ = State::kValue;
      mark_ = c;
    } else if (c == '=') {
      if (name_ == 5 || name_ == kPrefixed) {
        over_ = ++elementNamespaces_ > kMaxElementNamespaces ||
                ++replyNamespaces_ > kMaxReplyNamespaces;
      } else {
        over_ = ++elementAttributes_ > kMaxElementAttributes ||
                ++replyAttributes_ > kMaxReplyAttributes;
      }
      name_ = kOther;
      fresh_ = true;
    } else if (static_cast<unsigned char>(c) <= ' ') {
      fresh_ = true;
    } else {
      if (fresh_) {
        name_ = 0;
        fresh_ = false;
      }
      if (name_ < 5 && c == "xmlns"[name_]) {
        ++name_;
      } else if (name_ == 5 && c == ':') {
        name_ = kPrefixed;
      } else if (name_ != kPrefixed) {
        name_ = kOther;
      }
    }
  }

  State state_ = State::kText;
  char mark_ = 0;
  unsigned char name_ = kOther;
  bool fresh_ = false;
  bool over_ = false;
  unsigned elementAttributes_ = 0, elementNamespaces_ = 0;
  std::size_t replyAttributes_ = 0, replyNamespaces_ = 0;
};

const char kPluginId[] = "ocamera-markup-limits";

struct Counting {
  int (*initReceive)(struct soap *) = nullptr;
  int (*prepareReceive)(struct soap *, const char *, std::size_t) = nullptr;
  MarkupCounter counter;
};

Counting *countingOf(struct soap *ctx) {
  return static_cast<Counting *>(soap_lookup_plugin(ctx, kPluginId));
}

// Every message starts with fresh counts.
int startCounting(struct soap *ctx) {
  Counting *counting = countingOf(ctx);
  if (!counting) return SOAP_OK;
  counting->counter.reset();
  return counting->initReceive ? counting->initReceive(ctx) : SOAP_OK;
}

int countReceived(struct soap *ctx, const char *bytes, std::size_t length) {
  Counting *counting = countingOf(ctx);
  if (!counting) return SOAP_OK;
  if (!counting->counter.feed(bytes, length)) return SOAP_OCCURS;
  return counting->prepareReceive ? counting->prepareReceive(ctx, bytes, length) : SOAP_OK;
}

int copyCounting(struct soap *, struct soap_plugin *destination, struct soap_plugin *source) {
  const Counting *from = static_cast<const Counting *>(source->data);
  Counting *counting = new (std::nothrow) Counting;
  if (!counting) return SOAP_EOM;
  counting->initReceive = from->initReceive;
  counting->prepareReceive = from->prepareReceive;
  destination->data = counting;
  return SOAP_OK;
}

void deleteCounting(struct soap *, struct soap_plugin *plugin) {
  delete static_cast<Counting *>(plugin->data);
  plugin->data = nullptr;
}

int createCounting(struct soap *ctx, struct soap_plugin *plugin, void *) {
  Counting *counting = new (std::nothrow) Counting;
  if (!counting) return SOAP_EOM;
  counting->initReceive = ctx->fprepareinitrecv;
  counting->prepareReceive = ctx->fpreparerecv;
  plugin->id = kPluginId;
  plugin->data = counting;
  plugin->fcopy = copyCounting;
  plugin->fdelete = deleteCounting;
  return SOAP_OK;
}

}  // namespace

void applyClientLimits(struct soap *ctx) {
  ctx->recv_maxlength = kMaxReplyBytes;
  ctx->maxlevel = kMaxElementDepth;
  ctx->maxlength = kMaxStringLength;
  ctx->maxoccurs = kMaxListEntries;
  if (countingOf(ctx) || soap_register_plugin(ctx, createCounting) != SOAP_OK) return;
  ctx->fprepareinitrecv = startCounting;
  ctx->fpreparerecv = countReceived;
}

}  // namespace wire
}  // namespace ocamera

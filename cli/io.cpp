// ocam inputs / outputs / leds: the camera's digital I/O and status LEDs.
#include <chrono>
#include <functional>
#include <future>
#include <iostream>

#include "commands.h"
#include "common.h"
#include "interrupt.h"

namespace ocam_cli {
namespace {

// Opens the I/O service of a session and closes it again on every way out.
template <class T>
class Opened {
 public:
  Opened(std::unique_ptr<T, Destroyer> object, const std::string &what)
      : object_(std::move(object)) {
    expectOk(object_->iOpen(), "opening the " + what);
  }
  ~Opened() { object_->iClose(); }
  Opened(const Opened &) = delete;
  Opened &operator=(const Opened &) = delete;
  T *operator->() { return object_.get(); }

 private:
  std::unique_ptr<T, Destroyer> object_;
};

// --- inputs -----------------------------------------------------------------

// The camera's wait time-out is an int of milliseconds: its largest value
// (about 24 days) stands for a wait without limit.
constexpr int kLongestInputWaitMs = 2147483647;

const std::vector<Named> kInputs = {{"I0", OCameraInputs::INPUT_I0},
                                    {"I1", OCameraInputs::INPUT_I1},
                                    {"ALL", OCameraInputs::INPUT_ALL}};

std::string onOff(bool on) { return on ? "on" : "off"; }

void printInputs(int word, bool json) {
  if (json) {
    auto input = [&](int level, int rising, int falling) {
      auto flag = [&](int bit) { return std::string((word & bit) ? "true" : "false"); };
      return "{\"level\": " + std::string((word & level) ? "1" : "0") +
             ", \"rising\": " + flag(rising) + ", \"falling\": " + flag(falling) + "}";
    };
    printJsonObject({{"I0", input(OCameraInputs::INPUT_I0, OCameraInputs::INPUT_I0_RE,
                                  OCameraInputs::INPUT_I0_FE)},
                     {"I1", input(OCameraInputs::INPUT_I1, OCameraInputs::INPUT_I1_RE,
                                  OCameraInputs::INPUT_I1_FE)},
                     {"overload", (word & OCameraInputs::OVERLOAD) ? "true" : "false"}});
    return;
  }
  auto edges = [&](int rising, int falling) {
    std::string text;
    if (word & rising) text = "rising";
    if (word & falling) text += text.empty() ? "falling" : ",falling";
    return text.empty() ? "-" : text;
  };
  std::cout << "input  level  edges\n"
            << "I0     " << ((word & OCameraInputs::INPUT_I0) ? 1 : 0) << "      "
            << edges(OCameraInputs::INPUT_I0_RE, OCameraInputs::INPUT_I0_FE) << '\n'
            << "I1     " << ((word & OCameraInputs::INPUT_I1) ? 1 : 0) << "      "
            << edges(OCameraInputs::INPUT_I1_RE, OCameraInputs::INPUT_I1_FE) << '\n'
            << "overload: " << ((word & OCameraInputs::OVERLOAD) ? "yes" : "no") << '\n';
}

// A wait as the user wrote it: "I0" (a change of I0), "I0=1" (I0 at level 1),
// "I0,I1" (a change of either), "I0=1,I1=0" (both at those levels).
struct Wait {
  bool change = true;
  int mask = 0;
  int state = 0;
  int single = 0;  // the one input named, or 0 for several
  std::string text;
};

Wait parseWait(const std::string &text) {
  Wait wait;
  wait.text = text;
  std::vector<std::string> items = splitList(text);
  for (std::size_t i = 0; i < items.size(); ++i) {
    std::size_t eq = items[i].find('=');
    bool level = eq != std::string::npos;
    if (i == 0)
      wait.change = !level;
    else if (wait.change == level)
      throw UsageError("--wait mixes levels and changes: '" + text + "'");
    int input = lookupName(kInputs, items[i].substr(0, eq), "input", "INPUT_");
    wait.mask |= input;
    if (level &&
        parseInt(items[i].substr(eq + 1), "the level of " + items[i].substr(0, eq), 0, 1) == 1)
      wait.state |= input;
  }
  if (items.size() == 1 && wait.mask != OCameraInputs::INPUT_ALL) wait.single = wait.mask;
  return wait;
}

int runInputs(const Args &args) {
  args.expectPositional(0, 0);
  bool waiting = args.has("wait");
  Wait wait = waiting ? parseWait(args.get("wait")) : Wait{};
  int timeout = parseInt(args.get("timeout", "5000"), "--timeout", 0, 86400000);
  if (args.has("timeout") && !waiting) throw UsageError("--timeout needs --wait");

  Opened<OCameraInputs> inputs(connectInputs(ioAddress(args)), "inputs");
  if (args.has("clear"))
    expectOk(inputs->iClearEdges(OCameraInputs::INPUT_I0_RE | OCameraInputs::INPUT_I0_FE |
                                 OCameraInputs::INPUT_I1_RE | OCameraInputs::INPUT_I1_FE),
             "clearing the edges");
  if (waiting) {
    // --timeout 0 means no limit, as everywhere in ocam: the camera is asked
    // for the longest wait it takes.
    expectOk(inputs->iSetTimeout(timeout == 0 ? kLongestInputWaitMs : timeout),
             "setting the wait time-out");
    std::cerr << "waiting "
              << (timeout == 0 ? "without limit" : "up to " + std::to_string(timeout) + " ms")
              << " for " << (wait.change ? "a change of " : "") << wait.text << "\n";
    auto single = static_cast<OCameraInputs::eCameraInput>(wait.single);
    // The camera ends the wait itself; the reply may take that long and a bit.
    LongerReplies longer(timeout == 0 ? 0 : timeout + kDefaultReplyTimeoutMs);
    // The wait runs on a thread of its own so that a Ctrl-C is seen at once. A
    // wait in the camera cannot be cut short and the session must not end
    // under it: ocam says so and ends cleanly once the camera replies.
    std::future<int> waited = std::async(std::launch::async, [&] {
      return wait.change ? (wait.single ? inputs->iWaitForInputChange(single)
                                        : inputs->iWaitForInputsChange(wait.mask))
                         : (wait.single ? inputs->iWaitForInput(single, wait.state ? 1 : 0)
                                        : inputs->iWaitForInputs(wait.mask, wait.state));
    });
    bool told = false;
    while (waited.wait_for(std::chrono::milliseconds(200)) != std::future_status::ready) {
      if (interrupted() && !told) {
        told = true;
        std::cerr << "ocam inputs: interrupted; the camera ends its wait "
                  << (timeout == 0 ? "only on a change"
                                   : "within " + std::to_string(timeout) + " ms of its start")
                  << " (Ctrl-C again quits at once; the session then expires on the camera)\n";
      }
    }
    int result = waited.get();
    stopIfInterrupted();
    if (result == status::kTimeout)
      throw Failure("timed out after " + std::to_string(timeout) + " ms waiting for " +
                    (wait.change ? "a change of " : "") + wait.text);
    expectOk(result, "waiting for " + wait.text);
  }
  printInputs(expectValue(inputs->iGetInputs(), "reading the inputs"), args.has("json"));
  return 0;
}

// --- outputs and LEDs ---------------------------------------------------------

// Outputs and LEDs are both banks of switches: names to show and accept, and
// the operations of the connected object.
struct BankNames {
  std::string noun;            // "output", "LED"
  std::vector<Named> singles;  // shown one per line
  std::vector<Named> names;    // everything a user may name
  std::string prefix;          // optional in names
};

struct BankOperations {
  std::function<int()> getAll;
  std::function<int(int, int)> setOne, setMany;  // (enumerator or mask, state)
  std::function<int(int)> toggleOne, toggleMany;
};

// What the command line asks for, checked before anything is sent.
struct BankRequest {
  enum class Action { kShow, kSet, kToggle } action = Action::kShow;
  int mask = 0;
  int state = 0;
  int first = 0;     // the first name given
  bool one = false;  // a single name: the single-line operation
};

int parseState(const std::string &text, const std::string &what) {
  std::string word = upper(text);
  if (word == "1" || word == "ON") return 1;
  if (word == "0" || word == "OFF") return 0;
  throw UsageError("state of " + what + " must be on, off, 1 or 0, not '" + text + "'");
}

BankRequest parseBank(const BankNames &bank, const Args &args) {
  const std::vector<std::string> &words = args.positional();
  BankRequest request;
  if (words.empty()) return request;
  std::string action = upper(words[0]);
  std::vector<std::string> items(words.begin() + 1, words.end());
  if (action == "SHOW") {
    if (!items.empty()) throw UsageError("unexpected argument '" + items[0] + "'");
    return request;
  }
  if (action != "SET" && action != "TOGGLE")
    throw UsageError("unknown action '" + words[0] + "' (show, set or toggle)");
  bool set = action == "SET";
  request.action = set ? BankRequest::Action::kSet : BankRequest::Action::kToggle;
  if (items.empty()) throw UsageError(set ? "set needs NAME=on|off" : "toggle needs a NAME");
  for (const std::string &item : items) {
    std::size_t eq = item.find('=');
    if (set && eq == std::string::npos)
      throw UsageError("set needs NAME=on|off, not '" + item + "'");
    std::string name = item.substr(0, eq);
    int value = lookupName(bank.names, name, bank.noun, bank.prefix);
    if (!request.first) request.first = value;
    request.mask |= value;
    if (set && parseState(item.substr(eq + 1), name)) request.state |= value;
  }
  request.one = items.size() == 1;
  return request;
}

int applyBank(const BankNames &bank, const BankRequest &request, const BankOperations &ops,
              bool json) {
  const std::string what = bank.noun + "s";
  if (request.action == BankRequest::Action::kSet)
    expectOk(request.one ? ops.setOne(request.first, request.state ? 1 : 0)
                         : ops.setMany(request.mask, request.state),
             "setting the " + what);
  else if (request.action == BankRequest::Action::kToggle)
    expectOk(request.one ? ops.toggleOne(request.first) : ops.toggleMany(request.mask),
             "toggling the " + what);
  int state = expectValue(ops.getAll(), "reading the " + what);
  if (json) {
    std::vector<std::pair<std::string, std::string>> members;
    for (const Named &single : bank.singles)
      members.emplace_back(single.name, (state & single.value) ? "true" : "false");
    printJsonObject(members);
    return 0;
  }
  for (const Named &single : bank.singles)
    std::cout << single.name << std::string(14 - std::string(single.name).size(), ' ')
              << onOff(state & single.value) << '\n';
  return 0;
}

int runOutputs(const Args &args) {
  using O = OCameraOutputs;
  BankNames bank{
      "output",
      {{"O0", O::OUTPUT_O0}, {"O1", O::OUTPUT_O1}, {"O2", O::OUTPUT_O2}, {"O3", O::OUTPUT_O3}},
      {{"O0", O::OUTPUT_O0},
       {"O1", O::OUTPUT_O1},
       {"O2", O::OUTPUT_O2},
       {"O3", O::OUTPUT_O3},
       {"ALL", O::OUTPUT_ALL},
       {"OVERLOAD_UNLOCK", O::OUTPUT_OVERLOAD_UNLOCK}},
      "OUTPUT_"};
  BankRequest request = parseBank(bank, args);
  Opened<OCameraOutputs> outputs(connectOutputs(ioAddress(args)), "outputs");
  auto en = [](int v) { return static_cast<O::eCameraOutput>(v); };
  return applyBank(bank, request,
                   {[&] { return outputs->iGetOutputs(); },
                    [&](int v, int s) { return outputs->iSetOutput(en(v), s); },
                    [&](int m, int s) { return outputs->iSetOutputs(m, s); },
                    [&](int v) { return outputs->iToggleOutput(en(v)); },
                    [&](int m) { return outputs->iToggleOutputs(m); }},
                   args.has("json"));
}

int runLEDs(const Args &args) {
  using L = OCameraLEDs;
  BankNames bank{"LED",
                 {{"LED_0_RED", L::LED_0_RED},
                  {"LED_0_GREEN", L::LED_0_GREEN},
                  {"LED_1_RED", L::LED_1_RED},
                  {"LED_1_GREEN", L::LED_1_GREEN},
                  {"LED_2_RED", L::LED_2_RED},
                  {"LED_2_YELLOW", L::LED_2_YELLOW},
                  {"LED_3_RED", L::LED_3_RED},
                  {"LED_3_YELLOW", L::LED_3_YELLOW}},
                 {},
                 "LED_"};
  bank.names = bank.singles;
  bank.names.insert(bank.names.end(), {{"LED_ALL_RED", L::LED_ALL_RED},
                                       {"LED_ALL_GREEN", L::LED_ALL_GREEN},
                                       {"LED_ALL_YELLOW", L::LED_ALL_YELLOW},
                                       {"LED_ALL", L::LED_ALL}});
  BankRequest request = parseBank(bank, args);
  Opened<OCameraLEDs> leds(connectLEDs(ioAddress(args)), "LEDs");
  auto en = [](int v) { return static_cast<L::eCameraLED>(v); };
  return applyBank(
      bank, request,
      {[&] { return leds->iGetLEDs(); }, [&](int v, int s) { return leds->iSetLED(en(v), s); },
       [&](int m, int s) { return leds->iSetLEDs(m, s); },
       [&](int v) { return leds->iToggleLED(en(v)); }, [&](int m) { return leds->iToggleLEDs(m); }},
      args.has("json"));
}

}  // namespace

Command inputsCommand() {
  return {
      {"inputs",
       "Show the digital inputs, or wait for a level or a change",
       "[-a ADDR] [--clear] [--wait SPEC [--timeout MS]]",
       "Shows the levels of I0 and I1, the edges the camera latched since they were\n"
       "last cleared, and the overload flag. With --wait it first waits until the\n"
       "inputs match SPEC or the time-out passes (then it fails with exit code 1):\n\n"
       "  I0           any change of I0 (edges included)\n"
       "  I0=1         I0 at level 1\n"
       "  I0,I1        a change of either input\n"
       "  I0=1,I1=0    both at these levels\n\n"
       "With --json it prints one JSON object instead: {\"I0\": {\"level\": 0,\n"
       "\"rising\": false, \"falling\": false}, \"I1\": {...}, \"overload\": false}.\n"
       "The reply time-out (ocam --timeout MS inputs ...) is raised for the wait\n"
       "itself to the wait's time-out and 5 s more (switched off for --timeout 0).\n"
       "Ctrl-C cannot cut the camera's wait short: ocam says so and ends when the\n"
       "camera replies; a second Ctrl-C quits at once.\n\n"
       "examples:\n"
       "  ocam inputs\n"
       "  ocam inputs --wait I0 --timeout 10000\n",
       {ioAddressOption(),
        {"wait", 'w', "SPEC", "wait for a level or a change first"},
        {"timeout", 't', "MS", "longest wait, passed to the camera (default 5000 ms; 0: no limit)"},
        {"clear", 0, "", "clear the latched edges first"},
        {"json", 0, "", "print one JSON object"}}},
      runInputs};
}

Command outputsCommand() {
  return {{"outputs",
           "Show, set or toggle the digital outputs",
           "[-a ADDR] [show | set NAME=on|off ... | toggle NAME ...]",
           "Names: O0, O1, O2, O3, ALL (the four outputs) and OVERLOAD_UNLOCK, without\n"
           "regard to case. Several names go out as one request. Afterwards the outputs\n"
           "are read back and shown; with --json as one JSON object of booleans,\n"
           "{\"O0\": false, \"O1\": true, \"O2\": false, \"O3\": false}.\n\n"
           "examples:\n"
           "  ocam outputs\n"
           "  ocam outputs set O2=on O3=off\n"
           "  ocam outputs toggle O1\n",
           {ioAddressOption(), {"json", 0, "", "print one JSON object"}}},
          runOutputs};
}

Command ledsCommand() {
  return {{"leds",
           "Show, set or toggle the status LEDs",
           "[-a ADDR] [show | set NAME=on|off ... | toggle NAME ...]",
           "Names: LED_0_RED, LED_0_GREEN, LED_1_RED, LED_1_GREEN, LED_2_RED,\n"
           "LED_2_YELLOW, LED_3_RED, LED_3_YELLOW and the groups LED_ALL_RED,\n"
           "LED_ALL_GREEN, LED_ALL_YELLOW, LED_ALL; the LED_ prefix may be left out and\n"
           "case does not matter. Afterwards the LEDs are read back and shown; with\n"
           "--json as one JSON object of booleans, {\"LED_0_RED\": false, ...}.\n\n"
           "examples:\n"
           "  ocam leds set LED_1_GREEN=on\n"
           "  ocam leds toggle 2_yellow 3_yellow\n",
           {ioAddressOption(), {"json", 0, "", "print one JSON object"}}},
          runLEDs};
}

}  // namespace ocam_cli

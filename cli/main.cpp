// ocam: a command-line tool for the networked smart camera.
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>

#include "commands.h"
#include "common.h"
#include "interrupt.h"

#ifndef OCAMERA_VERSION
#define OCAMERA_VERSION "unknown"
#endif

namespace ocam_cli {

const std::vector<Command> &allCommands() {
  static const std::vector<Command> commands = [] {
    std::vector<Command> list = {
        devicesCommand(), grabCommand(),    setCommand(),  getCommand(),       configCommand(),
        inputsCommand(),  outputsCommand(), ledsCommand(), registersCommand(), ramCommand(),
        convertCommand(), wbCommand(),      viewCommand()};
    return list;
  }();
  return commands;
}

Option cameraAddressOption() {
  return {"address", 'a', "ADDR",
          "camera address: host[:port] or http://host:port, or 'factory' for 192.168.0.42; "
          "default $OCAM_ADDRESS or " +
              std::string(kDefaultCameraAddress)};
}

Option ioAddressOption() {
  return {"address", 'a', "ADDR",
          "I/O address: host[:port] (port 8080 when left out), or 'factory' for "
          "192.168.0.42:8080; default $OCAM_IO_ADDRESS or " +
              std::string(kDefaultIoAddress)};
}

std::string cameraAddress(const Args &args) {
  std::string address = args.get("address", defaultCameraAddress());
  if (address.empty()) throw UsageError("the address is empty");
  checkAddress(address);
  return address;
}

std::string ioAddress(const Args &args) {
  std::string address = args.get("address", defaultIoAddress());
  if (address.empty()) throw UsageError("the address is empty");
  checkAddress(address);
  return withIoPort(address);
}

Option sensorTypeOption() {
  return {"type", 0, "SENSOR", "sensor type: GENERIC (default), MT9V403, IBIS1300, MT9V022"};
}

OCamera::eCameraType sensorType(const Args &args) {
  return static_cast<OCamera::eCameraType>(
      lookupName(cameraTypeNames(), args.get("type", "GENERIC"), "sensor type", "CAM_TYPE_"));
}

namespace {

void printOverview() {
  std::FILE *to = stdout;
  std::fprintf(to,
               "usage: ocam [-v] [--timeout MS] [-a ADDR] COMMAND [options]\n\n"
               "Drives a networked smart camera (or its simulator, ocamsim).\n\n"
               "commands:\n");
  for (const Command &command : allCommands())
    std::fprintf(to, "  %-10s %s\n", command.info.name.c_str(), command.info.summary.c_str());
  std::vector<Option> options = globalOptions();
  options.push_back({"address", 'a', "ADDR",
                     "the camera's (or I/O service's) address for the command; also after it"});
  options.push_back({"help", 'h', "", "show this help; after a command, its help"});
  options.push_back({"bash-completion", 0, "", "print the bash completion script"});
  std::fprintf(to, "\nglobal options (also after the command):\n%s", optionTable(options).c_str());
  std::fprintf(to,
               "\n'ocam COMMAND --help' tells more. Settings made with 'ocam set' stay on the\n"
               "camera until changed or the camera restarts; ocam records them ('ocam config\n"
               "show'), and grab takes its window from the record. Exit status: 0 success,\n"
               "1 camera or file failure, 2 wrong usage, 130 ended by Ctrl-C or SIGTERM.\n");
}

void printVersion() { std::printf("ocam %s\n", OCAMERA_VERSION); }

// What the command line asks of every command.
struct Globals {
  bool verbose = false;
  bool timeoutGiven = false;
  int timeoutMs = 0;
  std::string address;  // -a/--address before the command; empty when not given
};

int parseTimeout(const std::string &text) { return parseInt(text, "--timeout", 0, 86400000); }

// Options before the command name; returns the index of the command name.
int parseLeadingGlobals(int argc, char **argv, Globals &globals) {
  int i = 1;
  for (; i < argc && argv[i][0] == '-'; ++i) {
    std::string arg = argv[i];
    if (arg == "-v" || arg == "--verbose") {
      globals.verbose = true;
    } else if (arg == "--timeout" || arg.compare(0, 10, "--timeout=") == 0) {
      std::string value;
      if (arg.size() > 9) {
        value = arg.substr(10);
      } else if (i + 1 < argc) {
        value = argv[++i];
      } else {
        throw UsageError("option '--timeout' needs a value (MS)");
      }
      globals.timeoutMs = parseTimeout(value);
      globals.timeoutGiven = true;
    } else if (arg == "-a" || arg == "--address" || arg.compare(0, 10, "--address=") == 0 ||
               (arg.compare(0, 2, "-a") == 0 && arg.size() > 2)) {
      if (arg.compare(0, 10, "--address=") == 0) {
        globals.address = arg.substr(10);
      } else if (arg.size() > 2 && arg[1] == 'a') {
        globals.address = arg.substr(2);
      } else if (i + 1 < argc) {
        globals.address = argv[++i];
      } else {
        throw UsageError("option '--address' needs a value (ADDR)");
      }
      if (globals.address.empty()) throw UsageError("the address is empty");
    } else if (arg == "-h" || arg == "--help" || arg == "--version" || arg == "--bash-completion") {
      return i;  // answered by main
    } else {
      throw UsageError("unknown option '" + arg + "'");
    }
  }
  return i;
}

// The library's lines go to standard error, so that standard output holds only
// what a command prints.
void logToStandardError(ocamera::LogSource source, const char *line, void *) {
  if (source == ocamera::LogSource::Creation && captureLibraryLine(line)) return;
  std::string text = std::string("ocam: ") + line + "\n";
  std::fwrite(text.data(), 1, text.size(), stderr);
}

void configureLibrary(const Globals &globals) {
  ocamera::setLogHandler(logToStandardError, nullptr);
  ocamera::setRequestLogging(globals.verbose);
  // One reply time-out for every request of every command, grab's included:
  // a camera that accepts and never answers fails the command in that time.
  // Waits meant to be long (a frame, an input) have bounds of their own.
  int timeout = globals.timeoutGiven ? globals.timeoutMs : kDefaultReplyTimeoutMs;
  ocamera::setReplyTimeout(timeout);
}

bool hasAddressOption(const CommandInfo &info) {
  for (const Option &option : info.options)
    if (option.name == "address") return true;
  return false;
}

int run(const Command &command, const std::vector<std::string> &arguments, Globals globals) {
  // An address before the command stands for one after it; one given after
  // the command wins.
  std::vector<std::string> all = arguments;
  if (!globals.address.empty()) {
    if (!hasAddressOption(command.info))
      throw UsageError("-a/--address does not apply to '" + command.info.name + "'");
    all.insert(all.begin(), {"--address", globals.address});
  }
  Args args(command.info, all);
  if (args.helpWanted()) {
    std::cout << helpText(command.info);
    return 0;
  }
  if (args.has("version")) {
    printVersion();
    return 0;
  }
  if (args.has("verbose") && args.isGlobal("verbose")) globals.verbose = true;
  if (args.has("timeout") && args.isGlobal("timeout")) {
    globals.timeoutMs = parseTimeout(args.get("timeout"));
    globals.timeoutGiven = true;
  }
  configureLibrary(globals);
  int status = command.run(args);
  // A command that saw the signal only after its last step still reports it.
  return interrupted() ? kInterruptedExit : status;
}

int main(int argc, char **argv) {
  catchInterrupts();
  Globals globals;
  int first = 1;
  try {
    first = parseLeadingGlobals(argc, argv, globals);
  } catch (const UsageError &e) {
    std::cerr << "ocam: " << e.what() << " (see 'ocam --help')\n";
    return 2;
  }
  if (first >= argc) {
    std::string names;
    for (const Command &command : allCommands())
      names += (names.empty() ? "" : ", ") + command.info.name;
    std::cerr << "ocam: no command given; one of " << names << " (see 'ocam --help')\n";
    return 2;
  }
  std::string name = argv[first];
  if (name == "--version") {
    printVersion();
    return 0;
  }
  if (name == "--bash-completion") {
    std::cout << bashCompletion();
    return 0;
  }
  if (name == "-h" || name == "--help" || (name == "help" && argc == first + 1)) {
    printOverview();
    return 0;
  }
  bool helpOnly = name == "help";
  if (helpOnly) name = argv[first + 1];
  for (const Command &command : allCommands()) {
    if (command.info.name != name) continue;
    try {
      if (helpOnly) {
        std::cout << helpText(command.info);
        return 0;
      }
      return run(command, std::vector<std::string>(argv + first + 1, argv + argc), globals);
    } catch (const Interrupted &) {
      std::cerr << "ocam " << name << ": interrupted\n";
      return kInterruptedExit;
    } catch (const UsageError &e) {
      std::cerr << "ocam " << name << ": " << e.what() << " (see 'ocam " << name << " --help')\n";
      return 2;
    } catch (const Failure &e) {
      // A request cut short by the signal is the signal's doing.
      if (interrupted()) {
        std::cerr << "ocam " << name << ": interrupted\n";
        return kInterruptedExit;
      }
      std::cerr << "ocam " << name << ": " << e.what() << '\n';
      return 1;
    } catch (const std::exception &e) {
      std::cerr << "ocam " << name << ": " << e.what() << '\n';
      return 1;
    }
  }
  std::cerr << "ocam: unknown command '" << name << "' (see 'ocam --help')\n";
  return 2;
}

}  // namespace
}  // namespace ocam_cli

int main(int argc, char **argv) { return ocam_cli::main(argc, argv); }

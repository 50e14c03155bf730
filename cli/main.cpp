// ocam: a command-line tool for the networked smart camera.
#include <cstdio>
#include <exception>
#include <iostream>

#include "commands.h"
#include "common.h"

namespace ocam_cli {

const std::vector<Command> &allCommands() {
  static const std::vector<Command> commands = {
      devicesCommand(), grabCommand(),    setCommand(),  getCommand(),
      inputsCommand(),  outputsCommand(), ledsCommand(), registersCommand(),
      ramCommand(),     convertCommand(), wbCommand()};
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
  return address;
}

std::string ioAddress(const Args &args) {
  std::string address = args.get("address", defaultIoAddress());
  if (address.empty()) throw UsageError("the address is empty");
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
               "usage: ocam COMMAND [options]\n\n"
               "Drives a networked smart camera (or its simulator, ocamsim).\n\n"
               "commands:\n");
  for (const Command &command : allCommands())
    std::fprintf(to, "  %-10s %s\n", command.info.name.c_str(), command.info.summary.c_str());
  std::fprintf(to,
               "\n'ocam COMMAND --help' tells more. Exit status: 0 success, 1 camera or\n"
               "file failure, 2 wrong usage.\n");
}

int main(int argc, char **argv) {
  if (argc < 2) {
    std::string names;
    for (const Command &command : allCommands())
      names += (names.empty() ? "" : ", ") + command.info.name;
    std::cerr << "ocam: no command given; one of " << names << " (see 'ocam --help')\n";
    return 2;
  }
  std::string name = argv[1];
  if (name == "-h" || name == "--help" || (name == "help" && argc == 2)) {
    printOverview();
    return 0;
  }
  bool helpOnly = name == "help";
  if (helpOnly) name = argv[2];
  for (const Command &command : allCommands()) {
    if (command.info.name != name) continue;
    try {
      if (helpOnly) {
        std::cout << helpText(command.info);
        return 0;
      }
      Args args(command.info, std::vector<std::string>(argv + 2, argv + argc));
      if (args.helpWanted()) {
        std::cout << helpText(command.info);
        return 0;
      }
      return command.run(args);
    } catch (const UsageError &e) {
      std::cerr << "ocam " << name << ": " << e.what() << " (see 'ocam " << name << " --help')\n";
      return 2;
    } catch (const Failure &e) {
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

// ocam devices: the camera's device list. The public interface does not expose
// the list, so this one command talks to the device manager through the
// library's support layer.
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <list>
#include <sstream>

#include "commands.h"
#include "common.h"
#include "support/descriptor.h"
#include "support/device_manager.h"
#include "support/exception.h"

namespace ocam_cli {
namespace {

std::string jsonString(const std::string &text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

void printJson(const std::list<mox::webservice::Descriptor> &devices) {
  std::cout << "[";
  const char *separator = "\n";
  for (const mox::webservice::Descriptor &d : devices) {
    std::cout << separator << "  {\"id\": " << d.id << ", \"type\": " << jsonString(d.type)
              << ", \"vendor\": " << jsonString(d.vendor)
              << ", \"description\": " << jsonString(d.description) << ", \"version\": "
              << jsonString(std::to_string(d.versionMajor) + "." + std::to_string(d.versionMinor))
              << ", \"timeout\": " << d.maxTimeout << ", \"status\": " << jsonString(d.status)
              << "}";
    separator = ",\n";
  }
  std::cout << (devices.empty() ? "]\n" : "\n]\n");
}

void printTable(const std::list<mox::webservice::Descriptor> &devices) {
  std::vector<std::vector<std::string>> rows = {
      {"ID", "TYPE", "VENDOR", "VERSION", "TIMEOUT", "STATUS", "DESCRIPTION"}};
  for (const mox::webservice::Descriptor &d : devices)
    rows.push_back({std::to_string(d.id), d.type, d.vendor,
                    std::to_string(d.versionMajor) + "." + std::to_string(d.versionMinor),
                    std::to_string(d.maxTimeout) + " s", d.status, d.description});
  std::vector<std::size_t> widths(rows[0].size(), 0);
  for (const auto &row : rows)
    for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  for (const auto &row : rows) {
    std::string line;
    for (std::size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line += std::string(widths[i] - row[i].size() + 2, ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    std::cout << line << '\n';
  }
}

int run(const Args &args) {
  args.expectPositional(0, 0);
  std::string address = cameraAddress(args);
  if (address == kFactoryAddress) address = ocamera::kFactoryDefaultAddress;
  std::list<mox::webservice::Descriptor> devices;
  try {
    mox::webservice::client::DeviceManager manager(address, true, "", 0);
    manager.list();
    devices = manager.devices();
  } catch (const mox::webservice::WebServiceException &e) {
    throw Failure("cannot list the devices at " + address + ": " + plainFault(e.what()));
  }
  if (args.has("json"))
    printJson(devices);
  else
    printTable(devices);
  return 0;
}

}  // namespace

Command devicesCommand() {
  return {{"devices",
           "List the camera's devices",
           "[-a ADDR] [--json]",
           "Asks the camera's device manager for its devices: the camera itself and its\n"
           "inputs, outputs and LEDs, each with id, type, vendor, version, session\n"
           "time-out and status.\n\n"
           "examples:\n"
           "  ocam devices\n"
           "  ocam devices -a 192.168.0.42 --json\n",
           {cameraAddressOption(), {"json", 0, "", "print a JSON array instead of a table"}}},
          run};
}

}  // namespace ocam_cli

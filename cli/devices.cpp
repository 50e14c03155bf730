// ocam devices: the camera's device list. The public interface does not expose
// the list, so this one command talks to the device manager through the
// library's support layer.
#include <algorithm>
#include <cctype>
#include <chrono>
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

std::list<mox::webservice::Descriptor> listDevices(const std::string &address) {
  std::string resolved = address == kFactoryAddress ? ocamera::kFactoryDefaultAddress : address;
  auto started = std::chrono::steady_clock::now();
  try {
    mox::webservice::client::DeviceManager manager(resolved, true, "", 0);
    manager.list();
    return manager.devices();
  } catch (const mox::webservice::WebServiceException &e) {
    std::string why = plainFault(e.what());
    if (why.empty()) why = silentFailure(std::chrono::steady_clock::now() - started);
    throw Failure("cannot list the devices at " + shownAddress(address, kCameraPort) + ": " + why);
  }
}

int run(const Args &args) {
  args.expectPositional(0, 0);
  std::list<mox::webservice::Descriptor> devices = listDevices(cameraAddress(args));
  if (args.has("json"))
    printJson(devices);
  else
    printTable(devices);
  return 0;
}

}  // namespace

std::string describedSensorSize(const std::string &address) {
  std::list<mox::webservice::Descriptor> devices;
  try {
    devices = listDevices(address);
  } catch (const Failure &) {
    return "";
  }
  for (const mox::webservice::Descriptor &d : devices) {
    if (d.type != "ONetCamera") continue;
    // The first "WIDTHxHEIGHT" in the free text, such as "1280x1024 colour".
    const std::string &text = d.description;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (!std::isdigit(static_cast<unsigned char>(text[i])) ||
          (i > 0 && std::isalnum(static_cast<unsigned char>(text[i - 1]))))
        continue;
      std::size_t x = i;
      while (x < text.size() && std::isdigit(static_cast<unsigned char>(text[x]))) ++x;
      std::size_t end = x + 1;
      while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
      if (x < text.size() && (text[x] == 'x' || text[x] == 'X') && end > x + 1 &&
          (end == text.size() || !std::isalnum(static_cast<unsigned char>(text[end]))))
        return text.substr(i, x - i) + "x" + text.substr(x + 1, end - x - 1);
      i = x;
    }
  }
  return "";
}

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

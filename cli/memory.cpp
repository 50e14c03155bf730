// ocam registers / ocam ram: the sensor's registers and the camera's image RAM.
#include <cstdio>
#include <iostream>

#include "commands.h"
#include "common.h"
#include "files.h"

namespace ocam_cli {
namespace {

// Image RAM moves in pieces of this size, one request each.
constexpr unsigned kRamChunk = 1u << 20;

std::string hex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", value);
  return text;
}

std::vector<std::string> registerNames(OCamera &camera) {
  const char *const *names = camera.getSensorRegisterNames();
  if (!names) throw Failure("reading the register names: the request failed");
  std::vector<std::string> result;
  for (; *names; ++names) result.emplace_back(*names);
  return result;
}

unsigned readRegister(OCamera &camera, const std::string &name) {
  unsigned value = 0;
  expectOk(camera.getSensorRegister(name.c_str(), &value), "reading register " + name);
  return value;
}

int runRegisters(const Args &args) {
  const std::vector<std::string> &words = args.positional();
  std::string action = words.empty() ? "LIST" : upper(words[0]);
  std::vector<std::string> items(words.empty() ? words.begin() : words.begin() + 1, words.end());
  std::vector<std::pair<std::string, unsigned>> writes;
  if (action == "SET") {
    if (items.empty()) throw UsageError("set needs NAME=VALUE");
    for (const std::string &item : items) {
      std::size_t eq = item.find('=');
      if (eq == std::string::npos || eq == 0)
        throw UsageError("set needs NAME=VALUE, not '" + item + "'");
      writes.emplace_back(item.substr(0, eq),
                          parseUnsigned(item.substr(eq + 1), "register " + item.substr(0, eq)));
    }
  } else if (action == "GET") {
    if (items.empty()) throw UsageError("get needs a register NAME");
  } else if (action == "LIST") {
    if (!items.empty()) throw UsageError("unexpected argument '" + items[0] + "'");
  } else {
    throw UsageError("unknown action '" + words[0] + "' (list, get or set)");
  }

  CameraPtr camera = connectCamera(cameraAddress(args), sensorType(args));
  if (action == "LIST") {
    for (const std::string &name : registerNames(*camera))
      std::cout << name << ' ' << hex(readRegister(*camera, name)) << '\n';
  } else if (action == "GET") {
    for (const std::string &name : items) {
      unsigned value = readRegister(*camera, name);
      if (items.size() == 1)
        std::cout << hex(value) << '\n';
      else
        std::cout << name << ' ' << hex(value) << '\n';
    }
  } else {
    for (const auto &[name, value] : writes) {
      expectOk(camera->setSensorRegister(name.c_str(), value), "writing register " + name);
      std::cout << name << ' ' << hex(readRegister(*camera, name)) << '\n';
    }
  }
  return 0;
}

int runRam(const Args &args) {
  const std::vector<std::string> &words = args.positional();
  if (words.empty()) throw UsageError("missing action (read or write)");
  std::string action = upper(words[0]);
  std::string file = args.get("file");
  if (action == "READ") {
    args.expectPositional(3, 3);
    unsigned address = parseUnsigned(words[1], "ADDR");
    unsigned length = parseUnsigned(words[2], "LEN");
    if (file.empty()) throw UsageError("read needs -f FILE");
    std::vector<unsigned char> bytes(length);
    CameraPtr camera = connectCamera(cameraAddress(args), sensorType(args));
    for (unsigned done = 0; done < length;) {
      unsigned piece = std::min(kRamChunk, length - done);
      expectOk(camera->readImageRAM(bytes.data() + done, address + done, piece),
               "reading image RAM at " + hex(address + done));
      done += piece;
    }
    writeBytes(file, bytes.data(), bytes.size());
    std::cout << "read " << length << " bytes from " << hex(address) << " to " << file << '\n';
  } else if (action == "WRITE") {
    args.expectPositional(2, 2);
    unsigned address = parseUnsigned(words[1], "ADDR");
    if (file.empty()) throw UsageError("write needs -f FILE");
    std::vector<unsigned char> bytes = readBytes(file);
    if (bytes.size() > 0xFFFFFFFFu) throw Failure(file + " is too large for the image RAM");
    CameraPtr camera = connectCamera(cameraAddress(args), sensorType(args));
    unsigned length = static_cast<unsigned>(bytes.size());
    for (unsigned done = 0; done < length;) {
      unsigned piece = std::min(kRamChunk, length - done);
      expectOk(camera->writeImageRAM(bytes.data() + done, address + done, piece),
               "writing image RAM at " + hex(address + done));
      done += piece;
    }
    std::cout << "wrote " << length << " bytes from " << file << " to " << hex(address) << '\n';
  } else {
    throw UsageError("unknown action '" + words[0] + "' (read or write)");
  }
  return 0;
}

}  // namespace

Command registersCommand() {
  return {{"registers",
           "List, read and write the sensor's registers",
           "[-a ADDR] [list | get NAME ... | set NAME=VALUE ...]",
           "list shows every register with its value; get prints the value alone for one\n"
           "name; set writes and reads back. Values may be decimal or 0x hexadecimal.\n\n"
           "examples:\n"
           "  ocam registers\n"
           "  ocam registers set ANALOG_GAIN=0x20\n",
           {cameraAddressOption(), sensorTypeOption()}},
          runRegisters};
}

Command ramCommand() {
  return {{"ram",
           "Read the camera's image RAM to a file, or write a file into it",
           "[-a ADDR] read ADDR LEN -f FILE | write ADDR -f FILE",
           "ADDR and LEN may be decimal or 0x hexadecimal. A read file appears only when\n"
           "every byte arrived.\n\n"
           "examples:\n"
           "  ocam ram write 0x1000 -f pattern.bin\n"
           "  ocam ram read 0x1000 4096 -f back.bin\n",
           {cameraAddressOption(),
            {"file", 'f', "FILE", "the file to write or read"},
            sensorTypeOption()}},
          runRam};
}

}  // namespace ocam_cli

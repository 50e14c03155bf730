// ocam registers / ocam ram: the sensor's registers and the camera's image RAM.
#include <algorithm>
#include <cstdio>
#include <iostream>

#include "commands.h"
#include "common.h"
#include "files.h"
#include "interrupt.h"
#include "record.h"

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
  if (!names) throw Failure("reading the register names: " + statusText(status::kRequestFailed));
  std::vector<std::string> result;
  for (; *names; ++names) result.emplace_back(*names);
  return result;
}

// Fails unless the access to register `name` succeeded, saying why the camera
// refused it where its status tells.
void expectRegisterOk(int result, const std::string &what, const std::string &name,
                      const std::string &value) {
  if (result == status::kUnknownRegister)
    expectOk(result, what, "the camera has no register " + name,
             "'ocam registers list' names them all");
  if (result == status::kReadOnlyRegister)
    expectOk(result, what, "register " + name + " is read-only");
  if (result == status::kBadArgument && !value.empty())
    expectOk(result, what, "the camera refused the value " + value + " for " + name);
  expectOk(result, what);
}

unsigned readRegister(OCamera &camera, const std::string &name) {
  unsigned value = 0;
  expectRegisterOk(camera.getSensorRegister(name.c_str(), &value), "reading register " + name, name,
                   "");
  return value;
}

// NAME  0x0000VALUE lines with the values in one column, or one JSON object.
void printRegisters(const std::vector<std::pair<std::string, unsigned>> &values, bool json) {
  if (json) {
    std::vector<std::pair<std::string, std::string>> members;
    for (const auto &[name, value] : values) members.emplace_back(name, std::to_string(value));
    printJsonObject(members);
    return;
  }
  std::size_t width = 0;
  for (const auto &entry : values) width = std::max(width, entry.first.size());
  for (const auto &[name, value] : values)
    std::cout << name << std::string(width - name.size() + 2, ' ') << hex(value) << '\n';
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
  const bool json = args.has("json");

  CameraPtr camera = connectCamera(cameraAddress(args), sensorType(args));
  std::vector<std::pair<std::string, unsigned>> shown;
  if (action == "LIST") {
    for (const std::string &name : registerNames(*camera))
      shown.emplace_back(name, readRegister(*camera, name));
  } else if (action == "GET") {
    for (const std::string &name : items) shown.emplace_back(name, readRegister(*camera, name));
    if (items.size() == 1 && !json) {
      std::cout << hex(shown[0].second) << '\n';
      return 0;
    }
  } else {
    // What was written is recorded for 'ocam config save', refusal or not.
    const CameraRecord record(cameraAddress(args));
    for (const auto &[name, value] : writes) {
      const int result = camera->setSensorRegister(name.c_str(), value);
      if (result != 0) record.update(ocamera::sessionRecord(*camera));
      expectRegisterOk(result, "writing register " + name, name, hex(value));
      shown.emplace_back(name, readRegister(*camera, name));
    }
    record.update(ocamera::sessionRecord(*camera));
  }
  printRegisters(shown, json);
  return 0;
}

// The image RAM's extent as the library finds it (ocamera/image_ram.h), with
// the tool's messages.
class ImageRam {
 public:
  explicit ImageRam(OCamera &camera) : camera_(camera) {}

  // Failure, before any data moves, unless [address, address + length) lies
  // inside the image RAM; the message names the RAM's extent.
  void checkRange(unsigned address, unsigned long long length, const std::string &what) {
    const int result = ocamera::checkImageRAMRange(camera_, address, length);
    if (result == 0) return;
    if (result != status::kOutOfRange) expectOk(result, what);
    throw Failure(what + ": " + hex(address) + " + " + std::to_string(length) +
                  " bytes does not fit the image RAM, which " + extent());
  }

  // The number of bytes from address 0; Failure when the camera stops
  // answering meanwhile.
  unsigned long long size() {
    const long long bytes = ocamera::imageRAMSize(camera_);
    if (bytes < 0) expectOk(static_cast<int>(bytes), "finding the size of the image RAM");
    return static_cast<unsigned long long>(bytes);
  }

  std::string extent() {
    unsigned long long bytes = size();
    if (bytes == 0) return "holds no bytes";
    return "holds " + std::to_string(bytes) + " bytes (" + hex(0) + "-" +
           hex(static_cast<unsigned>(bytes - 1)) + ")";
  }

 private:
  OCamera &camera_;
};

// Writes the input at `address` once its length is known to fit: a regular
// file is then read piece by piece as it is sent; a pipe is read first, up to
// the room the RAM has.
void writeRam(OCamera &camera, InputFile &input, const std::string &file, unsigned address) {
  ImageRam ram(camera);
  const std::string what = "writing " + file + " to image RAM at " + hex(address);
  unsigned long long length = 0;
  std::vector<unsigned char> held;  // a pipe's bytes, read before the first write
  if (input.size() >= 0) {
    length = static_cast<unsigned long long>(input.size());
  } else {
    // Of a pipe or device only the room left in the RAM is read, plus one byte
    // to tell whether the input is longer.
    unsigned long long bytes = ram.size();
    unsigned long long room = bytes > address ? bytes - address : 0;
    held.resize(room + 1);
    held.resize(input.read(held.data(), held.size()));
    if (held.size() > room)
      throw Failure(what + ": the input holds more than the " + std::to_string(room) +
                    " bytes from there to the end of the image RAM, which " + ram.extent());
    length = held.size();
  }
  ram.checkRange(address, length, what);
  std::vector<unsigned char> block(held.empty() ? std::min<unsigned long long>(length, kRamChunk)
                                                : 0);
  for (unsigned long long done = 0; done < length;) {
    stopIfInterrupted();
    unsigned piece = static_cast<unsigned>(std::min<unsigned long long>(kRamChunk, length - done));
    const unsigned char *data = held.empty() ? block.data() : held.data() + done;
    if (held.empty() && input.read(block.data(), piece) != piece)
      throw Failure(what + ": " + file + " became shorter while it was read");
    unsigned at = static_cast<unsigned>(address + done);
    expectOk(camera.writeImageRAM(data, at, piece), "writing image RAM at " + hex(at));
    done += piece;
  }
  std::cout << "wrote " << length << " bytes from " << file << " to " << hex(address) << '\n';
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
    if (static_cast<unsigned long long>(address) + length > 0x100000000ull)
      throw UsageError("ADDR + LEN passes the end of the 32-bit address space");
    CameraPtr camera = connectCamera(cameraAddress(args), sensorType(args));
    ImageRam(*camera).checkRange(address, length, "reading image RAM");
    // Piece by piece into the file, so that memory stays at one piece.
    AtomicFile out(file);
    std::vector<unsigned char> block(std::min(kRamChunk, length));
    for (unsigned done = 0; done < length;) {
      stopIfInterrupted();
      unsigned piece = std::min(kRamChunk, length - done);
      expectOk(camera->readImageRAM(block.data(), address + done, piece),
               "reading image RAM at " + hex(address + done));
      out.write(block.data(), piece);
      done += piece;
    }
    out.commit();
    // With the data on standard output, the report goes to standard error.
    (isStandardOutput(file) ? std::cerr : std::cout)
        << "read " << length << " bytes from " << hex(address) << " to "
        << (isStandardOutput(file) ? "standard output" : file) << '\n';
  } else if (action == "WRITE") {
    args.expectPositional(2, 2);
    unsigned address = parseUnsigned(words[1], "ADDR");
    if (file.empty()) throw UsageError("write needs -f FILE");
    InputFile input(file);
    if (input.size() > 0x100000000ll - address)
      throw Failure(file + " holds " + std::to_string(input.size()) +
                    " bytes: more than fit from " + hex(address) +
                    " to the end of the address space");
    CameraPtr camera = connectCamera(cameraAddress(args), sensorType(args));
    writeRam(*camera, input, file, address);
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
           "name; set writes and reads back. Values may be decimal or 0x hexadecimal.\n"
           "With --json the registers shown form one JSON object: {\"NAME\": VALUE, ...}\n"
           "with decimal values.\n\n"
           "examples:\n"
           "  ocam registers\n"
           "  ocam registers set ANALOG_GAIN=0x20\n",
           {cameraAddressOption(),
            sensorTypeOption(),
            {"json", 0, "", "print one JSON object instead of the table"}}},
          runRegisters};
}

Command ramCommand() {
  return {{"ram",
           "Read the camera's image RAM to a file, or write a file into it",
           "[-a ADDR] read ADDR LEN -f FILE | write ADDR -f FILE",
           "ADDR and LEN may be decimal or 0x hexadecimal. Before any data moves, ocam\n"
           "checks that the range lies inside the image RAM (and names its size when it\n"
           "does not). A read file appears only when every byte arrived; a file to\n"
           "write is read in pieces, and of a pipe only as much as fits the RAM.\n\n"
           "examples:\n"
           "  ocam ram write 0x1000 -f pattern.bin\n"
           "  ocam ram read 0x1000 4096 -f back.bin\n",
           {cameraAddressOption(),
            {"file", 'f', "FILE", "the file to write or read ('-' for read: standard output)"},
            sensorTypeOption()}},
          runRam};
}

}  // namespace ocam_cli

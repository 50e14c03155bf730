#include "cli/fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <png.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace ocam_test {

Picture readPng(const std::string &path) {
  Picture picture;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return picture;
  image.format = PNG_FORMAT_RGB;
  std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) {
    png_image_free(&image);
    return picture;
  }
  picture.width = static_cast<int>(image.width);
  picture.height = static_cast<int>(image.height);
  picture.rgb = std::move(rgb);
  return picture;
}

std::size_t colouredPixels(const Picture &picture) {
  std::size_t count = 0;
  for (std::size_t i = 0; i + 2 < picture.rgb.size(); i += 3)
    if (picture.rgb[i] != picture.rgb[i + 1] || picture.rgb[i + 1] != picture.rgb[i + 2]) ++count;
  return count;
}

std::vector<std::string> linesOf(const std::string &text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> filesIn(const std::string &directory) {
  std::vector<std::string> names;
  for (const auto &entry : std::filesystem::directory_iterator(directory))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string readFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string &path, const std::vector<unsigned char> &bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char *>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

ScratchDirectory::ScratchDirectory() {
  std::string pattern = (std::filesystem::temp_directory_path() / "ocam-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchDirectory::~ScratchDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
  std::filesystem::remove_all(stateDirectoryOf(path_), ignored);
}

std::string stateDirectoryOf(const std::string &directory) { return directory + ".state"; }

const char *ocamPath() { return OCAM_PATH; }

ProcessOptions ocamOptions(const std::string &directory) {
  ProcessOptions options;
  options.directory = directory;
  options.unset = {"OCAM_ADDRESS", "OCAM_IO_ADDRESS"};
  options.environment = {"XDG_STATE_HOME=" + stateDirectoryOf(directory)};
  options.timeout = std::chrono::seconds(60);
  return options;
}

ProcessResult ocam(const std::vector<std::string> &args, const std::string &directory,
                   ProcessOptions options) {
  if (options.directory.empty()) options.directory = directory;
  bool stateGiven = false;
  for (const std::string &variable : options.environment)
    stateGiven = stateGiven || variable.rfind("XDG_STATE_HOME=", 0) == 0;
  if (!stateGiven) options.environment.push_back("XDG_STATE_HOME=" + stateDirectoryOf(directory));
  options.unset.push_back("OCAM_ADDRESS");
  options.unset.push_back("OCAM_IO_ADDRESS");
  return ocam_test::run(ocamPath(), args, options);
}

::testing::AssertionResult OneErrorLine(const ProcessResult &result) {
  std::vector<std::string> lines = linesOf(result.err);
  if (lines.size() != 1 || result.err.back() != '\n')
    return ::testing::AssertionFailure() << "standard error is not one line:\n" << result.err;
  if (lines[0].compare(0, 5, "ocam ") != 0 && lines[0].compare(0, 6, "ocam: ") != 0)
    return ::testing::AssertionFailure() << "the line does not name ocam: " << lines[0];
  return ::testing::AssertionSuccess();
}

}  // namespace ocam_test

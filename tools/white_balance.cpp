// Parsing a white balance and reading the factors file safely, for every front end.
#include "ocamera/white_balance.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "ocamera/tools.h"
#include "tools/file_kind.h"

namespace ocamera {
namespace {

// A factors file is three short lines and a comment.
constexpr long long kMaxFactorsFileBytes = 64 * 1024;
constexpr int kMax = OCameraTools::kMaxWhiteBalanceFactor;

std::string lower(std::string text) {
  for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string trimmed(const std::string &text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

bool fail(std::string *error, const std::string &why) {
  if (error) *error = why;
  return false;
}

// One factor of "R,G,B": digits only, within the range.
bool parseFactor(const std::string &text, const char *name, int *value, std::string *error) {
  const std::string digits = trimmed(text);
  bool ok = !digits.empty() && digits.size() <= 9;
  for (char c : digits) ok = ok && std::isdigit(static_cast<unsigned char>(c));
  const long parsed = ok ? std::strtol(digits.c_str(), nullptr, 10) : -1;
  if (!ok || parsed > kMax)
    return fail(error, std::string("the ") + name + " factor must be a whole number 0-" +
                           std::to_string(kMax) + " (percent), not '" + text + "'");
  *value = static_cast<int>(parsed);
  return true;
}

}  // namespace

bool parseWhiteBalance(const std::string &text, WhiteBalanceSetting *out, std::string *error) {
  const std::string word = lower(trimmed(text));
  WhiteBalanceSetting setting = out ? *out : WhiteBalanceSetting{};
  if (word == "none") {
    setting.mode = WhiteBalance::None;
  } else if (word == "file") {
    setting.mode = WhiteBalance::File;
  } else {
    std::string parts[3];
    std::size_t from = 0;
    for (int i = 0; i < 3; ++i) {
      const std::size_t comma = text.find(',', from);
      if ((i < 2) != (comma != std::string::npos))
        return fail(
            error,
            "white balance must be 'none', 'file' or three percentages R,G,B, not '" + text + "'");
      parts[i] = text.substr(from, i < 2 ? comma - from : std::string::npos);
      from = comma + 1;
    }
    if (!parseFactor(parts[0], "red", &setting.red, error) ||
        !parseFactor(parts[1], "green", &setting.green, error) ||
        !parseFactor(parts[2], "blue", &setting.blue, error))
      return false;
    setting.mode = WhiteBalance::Factors;
  }
  if (out) *out = setting;
  return true;
}

std::string whiteBalanceText(const WhiteBalanceSetting &setting) {
  switch (setting.mode) {
    case WhiteBalance::Factors:
      return std::to_string(setting.red) + "," + std::to_string(setting.green) + "," +
             std::to_string(setting.blue);
    case WhiteBalance::File:
      return "file";
    default:
      return "none";
  }
}

bool readWhiteBalanceFile(WhiteBalanceSetting *out, std::string *error) {
  const char *const kFile = "wb.conf";
  FileKind kind;
  if (const int err = fileKind(kFile, &kind))
    return fail(error, std::string("cannot read wb.conf: ") + std::strerror(err));
  if (!kind.regular) return fail(error, "cannot read wb.conf: not a regular file");
  if (kind.size > kMaxFactorsFileBytes)
    return fail(error, "cannot read wb.conf: " + std::to_string(kind.size) +
                           " bytes, more than a factors file holds (" +
                           std::to_string(kMaxFactorsFileBytes) + ")");
  // A key without a number leaves its value as it was: start from a value no
  // number can give, so that such a key is told apart.
  int factors[3] = {INT_MIN, INT_MIN, INT_MIN};
  const int result = OCameraTools::GetWhiteBalanceFactors(&factors[0], &factors[1], &factors[2]);
  if (result == OCameraTools::kMissingFactor)
    return fail(error, "wb.conf does not hold all three factors red=, green= and blue=");
  if (result < 0) return fail(error, std::string("cannot read wb.conf: ") + std::strerror(-result));
  const char *names[3] = {"red", "green", "blue"};
  for (int i = 0; i < 3; ++i) {
    if (factors[i] == INT_MIN)
      return fail(error, std::string("wb.conf: ") + names[i] + "= has no number");
    if (factors[i] < 0 || factors[i] > kMax)
      return fail(error, std::string("wb.conf: ") + names[i] + "=" + std::to_string(factors[i]) +
                             " is outside 0-" + std::to_string(kMax) + " percent");
  }
  if (out) {
    out->red = factors[0];
    out->green = factors[1];
    out->blue = factors[2];
  }
  return true;
}

}  // namespace ocamera

#include "args.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "common.h"

namespace ocam_cli {
namespace {

const Option kHelp{"help", 'h', "", "show this help and exit"};

const Option *ownLong(const CommandInfo &info, const std::string &name) {
  for (const Option &option : info.options)
    if (option.name == name) return &option;
  return nullptr;
}

const Option *ownShort(const CommandInfo &info, char letter) {
  for (const Option &option : info.options)
    if (option.letter != 0 && option.letter == letter) return &option;
  return nullptr;
}

const Option *findLong(const CommandInfo &info, const std::string &name) {
  if (name == kHelp.name) return &kHelp;
  if (const Option *own = ownLong(info, name)) return own;
  for (const Option &option : globalOptions())
    if (option.name == name) return &option;
  return nullptr;
}

const Option *findShort(const CommandInfo &info, char letter) {
  if (letter == kHelp.letter) return &kHelp;
  if (const Option *own = ownShort(info, letter)) return own;
  for (const Option &option : globalOptions())
    if (option.letter != 0 && option.letter == letter) return &option;
  return nullptr;
}

// The global options a command does not shadow with its own.
std::vector<Option> unshadowedGlobals(const CommandInfo &info) {
  std::vector<Option> result;
  for (const Option &option : globalOptions())
    if (!ownLong(info, option.name) && !(option.letter && ownShort(info, option.letter)))
      result.push_back(option);
  return result;
}

// Option lines with their help wrapped at 79 columns, under their own column.
void printOptions(std::ostream &out, const std::vector<Option> &options) {
  std::vector<std::string> left;
  std::size_t width = 0;
  for (const Option &option : options) {
    std::string text = option.letter ? std::string("-") + option.letter + ", " : "    ";
    text += "--" + option.name;
    if (!option.value.empty()) text += ' ' + option.value;
    width = std::max(width, text.size());
    left.push_back(text);
  }
  const std::size_t indent = 2 + width + 2;
  for (std::size_t i = 0; i < options.size(); ++i) {
    out << "  " << left[i] << std::string(width - left[i].size() + 2, ' ');
    std::size_t column = indent;
    std::istringstream words(options[i].help);
    bool first = true;
    for (std::string word; words >> word; first = false) {
      if (!first && column + 1 + word.size() > 79) {
        out << '\n' << std::string(indent, ' ');
        column = indent;
      } else if (!first) {
        out << ' ';
        ++column;
      }
      out << word;
      column += word.size();
    }
    out << '\n';
  }
}

}  // namespace

const std::vector<Option> &globalOptions() {
  static const std::vector<Option> options = {
      {"verbose", 'v', "", "log every request to the camera and its result on standard error"},
      {"timeout", 0, "MS",
       "longest wait for a reply of the camera, in milliseconds (default 5000; 0: no limit)"},
      {"version", 0, "", "print the version and exit"}};
  return options;
}

Args::Args(const CommandInfo &info, const std::vector<std::string> &argv) : info_(info) {
  bool optionsEnded = false;
  for (std::size_t i = 0; i < argv.size(); ++i) {
    const std::string &arg = argv[i];
    // A lone "-" and negative numbers ("-5") are values, not options.
    bool looksLikeOption = arg.size() > 1 && arg[0] == '-' && !std::isdigit((unsigned char)arg[1]);
    if (optionsEnded || !looksLikeOption) {
      positional_.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    const Option *option = nullptr;
    std::string value;
    bool hasInlineValue = false;
    if (arg.compare(0, 2, "--") == 0) {
      std::string name = arg.substr(2);
      std::size_t eq = name.find('=');
      if (eq != std::string::npos) {
        value = name.substr(eq + 1);
        name.resize(eq);
        hasInlineValue = true;
      }
      option = findLong(info, name);
      if (!option) throw UsageError("unknown option '--" + name + "'");
    } else {
      option = findShort(info, arg[1]);
      if (!option) throw UsageError(std::string("unknown option '-") + arg[1] + "'");
      if (arg.size() > 2) {
        if (option->value.empty())
          throw UsageError(std::string("option '-") + arg[1] + "' takes no value");
        value = arg.substr(2);
        hasInlineValue = true;
      }
    }
    if (option->value.empty()) {
      if (hasInlineValue) throw UsageError("option '--" + option->name + "' takes no value");
      values_[option->name] = "";
      continue;
    }
    if (!hasInlineValue) {
      if (i + 1 >= argv.size())
        throw UsageError("option '--" + option->name + "' needs a value (" + option->value + ")");
      value = argv[++i];
    }
    values_[option->name] = value;
  }
}

bool Args::has(const std::string &name) const { return values_.count(name) != 0; }

bool Args::isGlobal(const std::string &name) const {
  if (ownLong(info_, name)) return false;
  for (const Option &option : globalOptions())
    if (option.name == name) return true;
  return false;
}

std::string Args::get(const std::string &name, const std::string &fallback) const {
  auto it = values_.find(name);
  return it == values_.end() ? fallback : it->second;
}

void Args::expectPositional(std::size_t min, std::size_t max) const {
  if (positional_.size() < min) throw UsageError("missing argument");
  if (positional_.size() > max) throw UsageError("unexpected argument '" + positional_[max] + "'");
}

std::string optionTable(const std::vector<Option> &options) {
  std::ostringstream out;
  printOptions(out, options);
  return out.str();
}

std::string helpText(const CommandInfo &info) {
  std::ostringstream out;
  out << "usage: ocam " << info.name << ' ' << info.usage << "\n\n" << info.summary << ".\n";
  if (!info.description.empty()) out << '\n' << info.description;
  std::vector<Option> options = info.options;
  options.push_back(kHelp);
  out << "\noptions:\n";
  printOptions(out, options);
  std::vector<Option> globals = unshadowedGlobals(info);
  if (!globals.empty()) {
    out << "\nglobal options (also before the command):\n";
    printOptions(out, globals);
  }
  return out.str();
}

}  // namespace ocam_cli

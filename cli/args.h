// A small command-line parser for the ocam subcommands: long and short options,
// with or without a value, positional arguments, and help text made from the
// same table.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace ocam_cli {

struct Option {
  std::string name;   // long name without "--", also the key for Args::get
  char letter = 0;    // short form, 0 for none
  std::string value;  // placeholder of the value ("N", "ADDR"); empty for a flag
  std::string help;
};

// One subcommand: its name, a one-line summary for the command list, the usage
// line, a longer description with examples, and its options.
struct CommandInfo {
  std::string name;
  std::string summary;
  std::string usage;  // after "ocam <name> "
  std::string description;
  std::vector<Option> options;
};

// Options every command takes, before or after its name (a command's own
// option of the same name comes first): -v/--verbose, --timeout MS, --version.
const std::vector<Option> &globalOptions();

class Args {
 public:
  // Parses argv (after the subcommand name). "--help"/"-h" and the global
  // options are always known. Throws UsageError for an unknown option or a
  // missing value.
  Args(const CommandInfo &info, const std::vector<std::string> &argv);

  bool helpWanted() const { return has("help"); }
  bool has(const std::string &name) const;
  // Whether `name` is a global option here, not one of the command's own.
  bool isGlobal(const std::string &name) const;
  // The option's value (the last one given), or `fallback`.
  std::string get(const std::string &name, const std::string &fallback = "") const;
  const std::vector<std::string> &positional() const { return positional_; }
  // UsageError unless the number of positional arguments is within [min, max].
  void expectPositional(std::size_t min, std::size_t max) const;

 private:
  const CommandInfo &info_;
  std::map<std::string, std::string> values_;
  std::vector<std::string> positional_;
};

// Option lines with their help wrapped at 79 columns, as the help texts show them.
std::string optionTable(const std::vector<Option> &options);

// The full help of one subcommand.
std::string helpText(const CommandInfo &info);

}  // namespace ocam_cli

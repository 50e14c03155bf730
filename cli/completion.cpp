// The bash completion script of ocam, written from the same tables that make
// the help texts, so that the two cannot drift apart.
#include <sstream>

#include "commands.h"
#include "common.h"
#include "setting_words.h"

namespace ocam_cli {
namespace {

// Words a command takes besides its options: actions and names.
std::string wordsOf(const std::string &command) {
  if (command == "set") return settingWords();
  if (command == "config") return "show save apply reset diff";
  if (command == "get") return "shutter images max-images";
  if (command == "outputs") return "show set toggle O0 O1 O2 O3 ALL OVERLOAD_UNLOCK";
  if (command == "leds")
    return "show set toggle LED_0_RED LED_0_GREEN LED_1_RED LED_1_GREEN LED_2_RED LED_2_YELLOW "
           "LED_3_RED LED_3_YELLOW LED_ALL_RED LED_ALL_GREEN LED_ALL_YELLOW LED_ALL";
  if (command == "registers") return "list get set";
  if (command == "ram") return "read write";
  if (command == "wb") return "show store";
  return "";
}

std::string names(const std::vector<Named> &table) {
  std::string text;
  for (const Named &entry : table) text += (text.empty() ? "" : " ") + std::string(entry.name);
  return text;
}

// The bash words that complete the value of an option, by its placeholder.
std::string valueCompletion(const Option &option) {
  if (option.value == "FILE") return "compgen -f -- \"$cur\"";
  if (option.value == "DIR") return "compgen -d -- \"$cur\"";
  std::string words;
  if (option.value == "P") words = names(bayerPatternNames());
  if (option.value == "SENSOR") words = names(cameraTypeNames());
  if (option.value == "WB") words = "none file";
  if (option.value == "MODE") words = "free-run single-shot select-shot free-run-slave";
  if (option.value == "SPEC") words = "I0 I1 I0,I1 I0=1 I0=0 I1=1 I1=0";
  if (option.value == "ADDR") words = "factory";
  return words.empty() ? "" : "compgen -W \"" + words + "\" -- \"$cur\"";
}

std::string optionWords(const std::vector<Option> &options) {
  std::string text;
  for (const Option &option : options) {
    if (option.letter) text += std::string(" -") + option.letter;
    text += " --" + option.name;
  }
  return text;
}

}  // namespace

std::string bashCompletion() {
  std::ostringstream out;
  std::string commands;
  for (const Command &command : allCommands()) commands += command.info.name + " ";
  out << "# bash completion for ocam (written by 'ocam --bash-completion')\n"
      << "_ocam() {\n"
      << "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
      << "  local i command=\n"
      << "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
      << "    case ${COMP_WORDS[i]} in\n"
      << "      --timeout|-a|--address) ((i++)) ;;\n"
      << "      -*) ;;\n"
      << "      *) command=${COMP_WORDS[i]}; break ;;\n"
      << "    esac\n"
      << "  done\n"
      << "  if [[ -z $command ]]; then\n"
      << "    if [[ $prev == -a || $prev == --address ]]; then\n"
      << "      COMPREPLY=($(compgen -W factory -- \"$cur\"))\n"
      << "    elif [[ $cur == -* ]]; then\n"
      << "      COMPREPLY=($(compgen -W \"" << optionWords(globalOptions())
      << " -a --address -h --help --bash-completion\" -- \"$cur\"))\n"
      << "    else\n"
      << "      COMPREPLY=($(compgen -W \"" << commands << "help\" -- \"$cur\"))\n"
      << "    fi\n"
      << "    return\n"
      << "  fi\n"
      << "  case $command in\n";
  for (const Command &command : allCommands()) {
    const CommandInfo &info = command.info;
    std::vector<Option> options = info.options;
    for (const Option &global : globalOptions()) {
      bool shadowed = false;
      for (const Option &own : info.options) shadowed = shadowed || own.name == global.name;
      if (!shadowed) options.push_back(global);
    }
    out << "    " << info.name << ")\n"
        << "      case $prev in\n";
    for (const Option &option : options) {
      if (option.value.empty()) continue;
      std::string completion = valueCompletion(option);
      out << "        " << (option.letter ? std::string("-") + option.letter + "|" : "") << "--"
          << option.name << ") COMPREPLY=(" << (completion.empty() ? "" : "$(" + completion + ")")
          << "); return ;;\n";
    }
    out << "      esac\n"
        << "      if [[ $cur == -* ]]; then\n"
        << "        COMPREPLY=($(compgen -W \"" << optionWords(options)
        << " -h --help\" -- \"$cur\"))\n";
    if (info.name == "config")
      out << "      elif [[ $prev == save || $prev == apply || $prev == diff || "
             "${COMP_WORDS[COMP_CWORD-2]} == diff ]]; then\n"
          << "        COMPREPLY=($(compgen -f -- \"$cur\"))\n";
    if (info.name == "convert")
      out << "      else\n"
          << "        COMPREPLY=($(compgen -f -- \"$cur\"))\n";
    else if (!wordsOf(info.name).empty())
      out << "      else\n"
          << "        COMPREPLY=($(compgen -W \"" << wordsOf(info.name) << "\" -- \"$cur\"))\n";
    out << "      fi\n"
        << "      ;;\n";
  }
  out << "    help) COMPREPLY=($(compgen -W \"" << commands << "\" -- \"$cur\")) ;;\n"
      << "  esac\n"
      << "}\n"
      << "complete -F _ocam ocam\n";
  return out.str();
}

}  // namespace ocam_cli

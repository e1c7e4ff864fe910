// The completion script. Plain bash (COMP_WORDS, compgen), so it works with or without
// the bash-completion package's helpers.
#include "usage/bash_completion.h"

namespace clipvane::usage {

namespace {

std::string FunctionName(const std::string& program) {
  std::string name = "_";
  for (char c : program) name += (c == '-' ? '_' : c);
  return name;
}

std::string Names(const std::vector<TOptionSpec>& options) {
  std::string names;
  for (const TOptionSpec& option : options) {
    names += (names.empty() ? "" : " ") + option.Name;
    if (!option.ShortName.empty()) names += " " + option.ShortName;
  }
  return names;
}

// Case arms for the word after an option: its choices, nothing to offer for a number, or files.
std::string ValueArms(const std::vector<TOptionSpec>& options) {
  std::string arms;
  for (const TOptionSpec& option : options) {
    if (option.Kind == TValueKind::vkSwitch) continue;
    arms += "        " + option.Name + ")";
    if (option.Kind == TValueKind::vkChoice) {
      std::string words;
      for (const std::string& choice : option.Choices) words += (words.empty() ? "" : " ") + choice;
      arms += " COMPREPLY=($(compgen -W '" + words + "' -- \"$cur\")); return ;;\n";
    } else if (option.Kind == TValueKind::vkInteger) {
      arms += " COMPREPLY=(); return ;;\n";
    } else {
      arms += " COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n";
    }
  }
  return arms;
}

}  // namespace

std::string BashCompletion(const TProgramUsage& program) {
  const std::string function = FunctionName(program.Program);
  std::string commands;
  for (const TCommandUsage& command : program.Commands) commands += (commands.empty() ? "" : " ") + command.Name;
  const std::string common = Names(program.CommonOptions);
  std::string out = "# bash completion for " + program.Program + ", written from its option tables.\n";
  out += function + "() {\n";
  out += "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} command= i\n";
  out += "  for ((i = 1; i < COMP_CWORD; i++)); do\n";
  out += "    case ${COMP_WORDS[i]} in -*) ;; *) command=${COMP_WORDS[i]}; break ;; esac\n";
  out += "  done\n";
  out += "  if [[ -z $command ]]; then\n";
  out += "    COMPREPLY=($(compgen -W '" + commands + " help " + common + " " + Names(program.ProgramOptions) +
         "' -- \"$cur\"))\n";
  out += "    return\n  fi\n";
  out += "  case $command in\n";
  out += "    help) COMPREPLY=($(compgen -W '" + commands + "' -- \"$cur\")); return ;;\n";
  for (const TCommandUsage& command : program.Commands) {
    out += "    " + command.Name + ")\n";
    out += "      case $prev in\n" + ValueArms(command.Options) + "      esac\n";
    out += "      if [[ $cur == -* ]]; then\n";
    out += "        COMPREPLY=($(compgen -W '" + Names(command.Options) + (command.Options.empty() ? "" : " ") +
           common + "' -- \"$cur\"))\n";
    out += "      else\n        COMPREPLY=($(compgen -f -- \"$cur\"))\n      fi\n      ;;\n";
  }
  out += "  esac\n}\n";
  out += "complete -o filenames -F " + function + " " + program.Program + "\n";
  return out;
}

}  // namespace clipvane::usage

// The command table: every script command the engine knows, with its
// parameters in stored order. It is the one place that says how many
// parameter lines a command has (the compiled script does not store the
// count), how each line is read, and which unit implements the command.
//
// The interpreter's dispatch, the authoring tool's validation and the
// command reference in docs/commands.md (see command_reference.h) are built
// from or checked against this table; nothing else lists commands by hand.
//
// Names are the system's own strings and are matched exactly, letter case
// included, as the interpreter dispatches. Plug-in commands are not listed:
// their names come from the compiled script.
#pragma once

#include <string_view>
#include <vector>

namespace kestrawl::script {

// How a command reads one parameter line.
enum class ParamReading {
  kRaw,             // the stored line, unchanged
  kText,            // the line after text substitution ($NAME$ references expanded)
  kPath,            // the text value with doubled backslashes collapsed (a leading UNC pair kept)
  kFlag,            // boolean: "TRUE" in any letter case, or exactly "-1"; anything else is false
  kNumber,          // a signed decimal integer; a line that is not a number is a script fault
  kResultVariable,  // name of a variable the command writes (created when missing); NAME or $NAME$
  kVariableName,    // name of an existing variable the command reads (and may write back); NAME or $NAME$
  kCondition,       // text interpreted by the condition or expression evaluator
  kList,            // several items in one line (comma list, "|"-separated, or one item per line)
};

// The part a command plays in the block structure that the pre-pass checks
// and the interpreter scans.
enum class BlockRole {
  kNone,
  kIf,
  kElseIf,
  kElse,
  kEnd,
  kWhile,
  kWend,
  kRepeat,
  kUntil,
  kForEach,
  kNext,
  kWizardLoop,
};

struct ParamSpec {
  std::string_view name;     // short identifier, snake_case
  ParamReading reading;      // how the line is read
  bool optional;             // the line may be empty
  std::string_view meaning;  // one line
  int translation = 0;       // translation ordinal when the line is translated, 0 when never
};

struct CommandSpec {
  std::string_view name;     // exact command name, e.g. "Set Variable"
  std::string_view family;   // key of the unit that implements it, e.g. "variables"
  BlockRole block = BlockRole::kNone;
  bool install_command = false;  // deferred to the installation engine; tracked in the install state list
  bool inferred = false;     // the parameter list is this engine's choice, see note
  std::string_view meaning;  // one line
  std::vector<ParamSpec> params;  // parameter 1 first; the count is the number of stored lines
  std::string_view note;     // why a list was inferred, or what is left open about it

  // A command without parameters has no entry in the parameter table.
  bool has_no_parameters() const { return params.empty(); }
};

// Every command, grouped by family, in a fixed order.
const std::vector<CommandSpec>& AllCommands();

// The command of exactly this name (letter case counts), or nullptr.
const CommandSpec* FindCommand(std::string_view name);

// Short lower-case names used by the reference and by diagnostics.
std::string_view ReadingName(ParamReading reading);
std::string_view BlockRoleName(BlockRole role);

}  // namespace kestrawl::script

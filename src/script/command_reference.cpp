#include "script/command_reference.h"

#include <string>
#include <string_view>
#include <vector>

#include "script/command_table.h"

namespace kestrawl::script {
namespace {

// Escapes the characters that would break a table cell or turn into markup.
std::string Cell(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    if (ch == '|' || ch == '\\' || ch == '*') out += '\\';
    out += ch;
  }
  return out;
}

constexpr ParamReading kReadings[] = {
    ParamReading::kRaw,        ParamReading::kText,           ParamReading::kPath,
    ParamReading::kFlag,       ParamReading::kNumber,         ParamReading::kResultVariable,
    ParamReading::kVariableName, ParamReading::kCondition,    ParamReading::kList,
};

std::string_view ReadingMeaning(ParamReading reading) {
  switch (reading) {
    case ParamReading::kRaw: return "the stored line, unchanged";
    case ParamReading::kText: return "the line after text substitution ($NAME$ references expanded)";
    case ParamReading::kPath: return "the text value with doubled backslashes collapsed; a leading \\\\ pair is kept";
    case ParamReading::kFlag: return "true when the line is TRUE in any letter case or exactly -1; false otherwise, empty included";
    case ParamReading::kNumber: return "a signed decimal integer; a line that is not a number is a script fault";
    case ParamReading::kResultVariable: return "name of a variable the command writes, created when missing; NAME or $NAME$";
    case ParamReading::kVariableName: return "name of an existing variable the command reads and may write back; NAME or $NAME$";
    case ParamReading::kCondition: return "text interpreted by the condition or expression evaluator";
    case ParamReading::kList: return "several items in one line: a comma list, |-separated names, or one item per line";
  }
  return "";
}

}  // namespace

std::string CommandReferenceMarkdown() {
  std::string md;
  md += "# Script command reference\n\n";
  md += "<!-- Generated from the command table (src/script/command_table.cpp) by CommandReferenceMarkdown().\n";
  md += "     Do not edit by hand: test_script checks this file; run it with KESTRAWL_UPDATE_DOCS=1 to rewrite it. -->\n\n";
  md += "Every command of the script language with its parameters in stored order. A command has\n";
  md += "exactly the parameter lines listed here (the compiled script does not store the count);\n";
  md += "a command without parameters has no entry in the parameter table. Names are matched\n";
  md += "exactly, letter case included.\n\n";
  md += "## How parameters are read\n\n";
  md += "| Reading | Meaning |\n|---|---|\n";
  for (ParamReading r : kReadings) {
    md += "| " + std::string(ReadingName(r)) + " | " + Cell(ReadingMeaning(r)) + " |\n";
  }
  md += "\n\"Translated\" gives the translation ordinal of a parameter that is replaced by its\n";
  md += "translation while a language is selected (before substitution). Install commands are\n";
  md += "handed to the installation engine in force instead of acting at once. Commands marked\n";
  md += "\"inferred\" have a parameter list that is this engine's own choice where the note says so.\n";

  std::string_view family;
  for (const CommandSpec& c : AllCommands()) {
    if (c.family != family) {
      family = c.family;
      md += "\n## " + std::string(family) + "\n";
    }
    md += "\n### \"" + std::string(c.name) + "\"\n\n";
    md += Cell(c.meaning) + ".\n";
    std::vector<std::string> facts;
    if (c.block != BlockRole::kNone) facts.push_back("Block role: " + std::string(BlockRoleName(c.block)) + ".");
    if (c.install_command) facts.push_back("Install command.");
    if (c.inferred) facts.push_back("Parameters inferred.");
    if (!facts.empty()) {
      md += "\n";
      for (size_t i = 0; i < facts.size(); ++i) md += (i ? " " : "") + facts[i];
      md += "\n";
    }
    if (!c.note.empty()) md += "\nNote: " + Cell(c.note) + ".\n";
    if (c.has_no_parameters()) {
      md += "\nNo parameters.\n";
      continue;
    }
    md += "\n| # | Name | Reading | May be empty | Translated | Meaning |\n";
    md += "|---|---|---|---|---|---|\n";
    int k = 0;
    for (const ParamSpec& p : c.params) {
      ++k;
      md += "| " + std::to_string(k) + " | `" + std::string(p.name) + "` | " + std::string(ReadingName(p.reading)) +
            " | " + (p.optional ? "yes" : "no") + " | " +
            (p.translation ? std::to_string(p.translation) : std::string()) + " | " + Cell(p.meaning) + " |\n";
    }
  }
  return md;
}

}  // namespace kestrawl::script

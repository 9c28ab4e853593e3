#include "script/command_table.h"

#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kestrawl::script {
namespace {

using R = ParamReading;
using B = BlockRole;

constexpr bool kOpt = true;   // the line may be empty
constexpr bool kReq = false;  // the line must be given

ParamSpec P(std::string_view name, R reading, bool optional, std::string_view meaning,
            int translation = 0) {
  return ParamSpec{name, reading, optional, meaning, translation};
}

CommandSpec C(std::string_view name, std::string_view family, std::string_view meaning,
              std::vector<ParamSpec> params = {}) {
  return CommandSpec{name, family, B::kNone, false, false, meaning, std::move(params), {}};
}

// A change command: deferred to the installation engine in force.
CommandSpec Install(std::string_view name, std::string_view family, std::string_view meaning,
                    std::vector<ParamSpec> params) {
  CommandSpec c = C(name, family, meaning, std::move(params));
  c.install_command = true;
  return c;
}

CommandSpec Block(std::string_view name, B role, std::string_view meaning,
                  std::vector<ParamSpec> params = {}) {
  CommandSpec c = C(name, "control", meaning, std::move(params));
  c.block = role;
  return c;
}

// The parameter list (or part of it) is this engine's choice.
CommandSpec Inferred(CommandSpec c, std::string_view note) {
  c.inferred = true;
  c.note = note;
  return c;
}

// The count is fixed; the note says what is left open about the lines.
CommandSpec Noted(CommandSpec c, std::string_view note) {
  c.note = note;
  return c;
}

// The structured condition of "If", "Else If", "While" and "Until".
std::vector<ParamSpec> ConditionParams() {
  return {
      P("variable", R::kVariableName, kReq, "variable to test (NAME or $NAME$; taken literally for operator 5)", 1),
      P("operator", R::kCondition, kReq, "operator code: 0 equal, 1 contains, 2 greater, 3 contains ignoring case, 4 equal ignoring case, 5 exists, 6 version greater"),
      P("value", R::kText, kOpt, "comparison value", 2),
      P("negate", R::kFlag, kOpt, "invert the result"),
  };
}

std::vector<CommandSpec> BuildTable() {
  return {
      // ---- control: blocks, loops, labels, include scripts ------------------------------
      Block("If", B::kIf, "opens a conditional block; runs its branch when the condition holds", ConditionParams()),
      Block("Else If", B::kElseIf, "further branch of an If block, tested when no earlier branch ran", ConditionParams()),
      Block("Else", B::kElse, "branch of an If block that runs when no other branch ran"),
      Block("End", B::kEnd, "closes an If block or a Wizard Loop"),
      Block("While", B::kWhile, "loop that runs its body while the condition holds", ConditionParams()),
      Block("Wend", B::kWend, "end of a While loop; jumps back to its head"),
      Block("Repeat", B::kRepeat, "head of a loop that runs until its Until condition holds"),
      Block("Until", B::kUntil, "end of a Repeat loop; leaves the loop when the condition holds", ConditionParams()),
      Block("For Each", B::kForEach, "runs its body once per non-empty item of a delimited list",
            {
                P("variable", R::kVariableName, kReq, "loop variable (NAME or $NAME$); deleted when the loop ends"),
                P("delimiter", R::kText, kReq, "item delimiter"),
                P("list", R::kList, kOpt, "the list text, split at the delimiter"),
            }),
      Block("Next", B::kNext, "end of a For Each loop; takes the next item"),
      Block("Break", B::kNone, "leaves the innermost running loop"),
      Block("Continue", B::kNone, "starts the next pass of the innermost running loop"),
      Block("Wizard Loop", B::kWizardLoop, "navigates Next and Back between the Display Dialog commands up to its End"),
      Block("Label", B::kNone, "marks a jump target; does nothing when run",
            {P("name", R::kRaw, kReq, "label name, compared in upper case")}),
      Block("GoTo Label", B::kNone, "continues after the named label",
            {P("name", R::kRaw, kReq, "label name, compared in upper case")}),
      Block("Return from Include Script", B::kNone,
            "leaves the included script and hands its value to the including script's result variable",
            {P("value", R::kText, kOpt, "return value")}),
      Inferred(Block("Comment", B::kNone, "a remark; does nothing",
                     {P("text", R::kRaw, kOpt, "the remark (never read when the script runs)")}),
               "the engine reads no parameter; one line keeps the remark so that the authoring tool can show it"),
      Block("Ignore", B::kNone, "a command left out of the run; skipped by the fetch and by every scan"),

      // ---- variables: values, strings and arithmetic ------------------------------------
      C("Set Variable", "variables", "assigns a value to a variable, optionally marking it to be saved for maintenance runs",
        {
            P("variable", R::kResultVariable, kReq, "variable name, optionally followed by $VELK$VELK$ and TRUE to save it"),
            P("value", R::kText, kOpt, "the new value", 1),
        }),
      C("Evaluate Expression", "variables", "evaluates a free-form expression to TRUE, FALSE or ERROR",
        {
            P("expression", R::kCondition, kReq, "quoted comparisons joined by and/or and parentheses; variables expand quoted"),
            P("result", R::kResultVariable, kReq, "receives TRUE, FALSE or ERROR"),
        }),
      C("Get Environment", "variables", "reads an environment variable, or the whole environment block",
        {
            P("name", R::kText, kOpt, "environment variable name; empty gives every entry joined by $NEWLINE$"),
            P("result", R::kResultVariable, kReq, "receives the value (an undefined name gives %NAME% unchanged)"),
        }),
      C("Get Temporary File", "variables", "creates a new empty temporary file and returns its path",
        {P("result", R::kResultVariable, kReq, "receives the full path of the file")}),
      C("Parse String", "variables", "splits a text into two parts around a delimiter or at a count",
        {
            P("source", R::kPath, kOpt, "the text to split"),
            P("delimiter", R::kPath, kOpt, "delimiter (modes 0, 1) or character count (modes 2, 3)"),
            P("first_part", R::kResultVariable, kOpt, "receives the part before the split (name as written)"),
            P("second_part", R::kResultVariable, kOpt, "receives the part after the split (name as written)"),
            P("mode", R::kNumber, kReq, "0 first occurrence, 1 last occurrence, 2 after N characters, 3 N characters before the end"),
            P("trim", R::kFlag, kOpt, "trim blanks and control characters from both parts"),
            P("ignore_case", R::kFlag, kOpt, "find the delimiter without regard to letter case"),
        }),
      C("Replace String", "variables", "replaces text inside a variable's value",
        {
            P("variable", R::kVariableName, kReq, "the variable that is both source and result"),
            P("find", R::kText, kReq, "text to find"),
            P("replacement", R::kText, kOpt, "replacement text"),
            P("ignore_case", R::kFlag, kOpt, "match without regard to letter case"),
            P("replace_all", R::kFlag, kOpt, "replace every occurrence (false: only the first)"),
        }),
      C("Convert Case", "variables", "upper-cases or lower-cases a variable's value in place",
        {
            P("variable", R::kVariableName, kReq, "the variable to convert (name as written)"),
            P("upper", R::kFlag, kOpt, "true upper-cases, false lower-cases"),
        }),
      C("Convert Path", "variables", "turns the path in a variable into its short or long form; empty when it does not exist",
        {
            P("variable", R::kVariableName, kReq, "the variable holding the path (name as written)"),
            P("short_form", R::kFlag, kOpt, "true gives the short 8.3 form, false the long form"),
        }),
      C("Extract Path", "variables", "replaces the path in a variable by one of its parts",
        {
            P("variable", R::kVariableName, kReq, "the variable holding the path (name as written)"),
            P("part", R::kNumber, kReq, "0 file name, 1 name without extension, 2 extension, 3 folder, 4 parent folder, 5 drive, 6 collapsed path"),
        }),
      C("Mathematics", "variables", "64-bit integer arithmetic, bit operations, character codes and a random generator",
        {
            P("operand_a", R::kText, kOpt, "first operand (for operation 11: the character)"),
            P("operand_b", R::kText, kOpt, "second operand"),
            P("operation", R::kNumber, kReq, "0 add .. 15 next random number"),
            P("result", R::kResultVariable, kOpt, "receives the result (name as written; empty on failure); required unless the operation is 13 or 14"),
        }),
      C("Set 64 Bit Mode", "variables", "sets the engine bitness that file, registry and system commands follow",
        {
            P("win32", R::kRaw, kOpt, "exactly TRUE selects Win32"),
            P("ia64", R::kRaw, kOpt, "exactly TRUE selects ia64"),
            P("x64", R::kRaw, kOpt, "exactly TRUE selects x64 (the last TRUE wins)"),
        }),

      // ---- languages ---------------------------------------------------------------------
      C("Localization Variable", "languages", "assigns a translatable value to a variable",
        {
            P("variable", R::kResultVariable, kReq, "variable name (NAME or $NAME$)"),
            P("value", R::kText, kOpt, "the value; translated under the key PELLAMOR$name$PELLAMOR", 1),
        }),

      // ---- system: machine information --------------------------------------------------
      C("Get System Settings", "system", "reports one fact about the machine (item number)",
        {
            P("result", R::kResultVariable, kReq, "receives the item's text"),
            P("item", R::kNumber, kReq, "item number 0 to 100"),
        }),
      C("Get OS or SP Level", "system", "reports the Windows version name or the service pack number",
        {
            P("result", R::kResultVariable, kReq, "receives the level"),
            P("os_level", R::kFlag, kOpt, "true gives the version name, false the service pack number"),
        }),
      C("Get Folder Location", "system", "returns a standard folder, ending in a backslash",
        {
            P("result", R::kResultVariable, kReq, "receives the folder"),
            P("folder", R::kNumber, kReq, "folder number 0 to 29"),
            P("common", R::kFlag, kOpt, "the all-users variant where there is one"),
        }),
      C("Get File Version", "system", "returns a file's four-part version (0.0.0.0 without one)",
        {
            P("file", R::kPath, kReq, "the file (substituted twice)"),
            P("result", R::kResultVariable, kReq, "receives the version"),
        }),
      C("Check File Version", "system", "tells whether a file's version is newer than another file's or a given version",
        {
            P("result", R::kResultVariable, kReq, "receives TRUE or FALSE"),
            P("file", R::kPath, kReq, "the file (substituted twice)"),
            P("compare_file", R::kFlag, kOpt, "true compares with a second file, false with the version text"),
            P("second_file", R::kPath, kOpt, "the second file (substituted twice)"),
            P("version", R::kText, kOpt, "dotted version text"),
        }),
      C("Check Disk Space", "system", "returns the free or total bytes of a volume",
        {
            P("result", R::kResultVariable, kReq, "receives the byte count"),
            P("folder", R::kPath, kReq, "folder or drive on the volume"),
            P("free_space", R::kFlag, kOpt, "true gives free bytes, false total bytes"),
        }),
      C("Does File/Folder Exist", "system", "tells whether a file or a folder exists",
        {
            P("result", R::kResultVariable, kReq, "receives TRUE or FALSE"),
            P("path", R::kPath, kReq, "the path (substituted twice)"),
            P("is_file", R::kFlag, kOpt, "true looks for a file, false for a folder"),
        }),
      C("Is File Locked", "system", "tells whether a file cannot be opened exclusively",
        {
            P("file", R::kPath, kReq, "the file"),
            P("result", R::kResultVariable, kReq, "receives TRUE or FALSE"),
        }),
      C("Is MSI Setup Installed", "system", "tells whether a product is installed",
        {
            P("product_code", R::kPath, kReq, "the product code GUID"),
            P("result", R::kResultVariable, kReq, "receives TRUE or FALSE"),
        }),
      C("Check Process", "system", "tells whether a process with this program file name runs",
        {
            P("program", R::kText, kReq, "program file name"),
            P("result", R::kResultVariable, kReq, "receives TRUE or FALSE"),
        }),
      C("Check Service", "system", "returns the state of a service (NOTINSTALLED when it cannot be read)",
        {
            P("computer", R::kText, kOpt, "computer name; empty for this computer"),
            P("service", R::kText, kReq, "service name"),
            P("result", R::kResultVariable, kReq, "receives the state name"),
        }),
      C("Check Computer", "system", "tells whether a computer answers a management connection",
        {
            P("computer", R::kText, kOpt, "computer name, optionally followed by | and a time-out in seconds"),
            P("result", R::kResultVariable, kReq, "receives TRUE or FALSE"),
        }),

      // ---- registry-files: registry, files, INI, XML and text files ----------------------
      C("Read Registry", "registry-files", "reads a registry value as text (empty on failure)",
        {
            P("result", R::kResultVariable, kReq, "result variable, optionally followed by | and a machine name"),
            P("root", R::kNumber, kReq, "0 HKCR, 1 HKCU, 2 HKLM, 3 HKU, 4 HKCC"),
            P("key", R::kPath, kReq, "key path"),
            P("value_name", R::kPath, kOpt, "value name; empty for the default value"),
        }),
      C("Check Registry", "registry-files", "reads a registry value as text, keeping the failure markers",
        {
            P("result", R::kResultVariable, kReq, "result variable, optionally followed by | and a machine name"),
            P("root", R::kNumber, kReq, "0 HKCR, 1 HKCU, 2 HKLM, 3 HKU, 4 HKCC"),
            P("key", R::kPath, kReq, "key path"),
            P("value_name", R::kPath, kOpt, "value name; empty for the default value"),
        }),
      C("Find All Registry", "registry-files", "lists the sub-keys or value names of a key",
        {
            P("result", R::kResultVariable, kReq, "result variable, optionally followed by | and a machine name"),
            P("root", R::kNumber, kReq, "0 HKCR, 1 HKCU, 2 HKLM, 3 HKU, 4 HKCC"),
            P("key", R::kPath, kReq, "key path"),
            P("sub_keys", R::kFlag, kOpt, "true lists sub-keys, false value names"),
        }),
      C("Delete Registry", "registry-files", "deletes a registry value or a whole key at once (not undone)",
        {
            P("root", R::kRaw, kReq, "root number, optionally followed by | and a machine name"),
            P("key", R::kPath, kReq, "key path"),
            P("value_name", R::kPath, kOpt, "value to delete"),
            P("whole_key", R::kFlag, kOpt, "delete the key with all its sub-keys"),
        }),
      C("Find All Files", "registry-files", "lists the files (and folders) matching a pattern",
        {
            P("pattern", R::kPath, kReq, "folder and file pattern"),
            P("subfolders", R::kFlag, kOpt, "search subfolders too"),
            P("folders", R::kFlag, kOpt, "list the subfolders themselves"),
            P("result", R::kResultVariable, kReq, "receives the paths joined by |"),
        }),
      C("Delete Files Recursive", "registry-files", "deletes every file and subfolder matching a pattern at once (not undone)",
        {P("pattern", R::kPath, kReq, "folder and file pattern")}),
      C("Get INI File Settings", "registry-files", "reads a value from an INI file",
        {
            P("result", R::kResultVariable, kReq, "receives the value"),
            P("file", R::kPath, kReq, "INI file"),
            P("section", R::kPath, kReq, "section"),
            P("key", R::kPath, kReq, "key"),
        }),
      C("Get XML File Settings", "registry-files", "reads element texts or attribute values along an element path",
        {
            P("result", R::kResultVariable, kReq, "receives the values joined by $NEWLINE$"),
            P("file", R::kPath, kReq, "XML file"),
            P("element_path", R::kPath, kReq, "element names separated by backslashes, starting at the document element"),
            P("attribute", R::kText, kOpt, "attribute name; empty reads the element text"),
        }),
      C("Evaluate XPath Query", "registry-files", "returns the nodes selected by XPath expressions",
        {
            P("file", R::kPath, kReq, "XML file"),
            P("queries", R::kPath, kReq, "XPath expressions joined by +, each relative to the first match of the previous"),
            P("result", R::kResultVariable, kReq, "receives the values joined by $NEWLINE$"),
            P("returns", R::kNumber, kReq, "0 XML text, 1 name, 2 value, 3 text"),
        }),
      Noted(C("Edit XML File", "registry-files", "edits elements and attributes along an element path, with an optional backup",
              {
                  P("file", R::kPath, kReq, "XML file"),
                  P("encoding", R::kText, kOpt, "encoding of a newly started document"),
                  P("position", R::kText, kOpt, "where new elements go"),
                  P("element_path", R::kPath, kReq, "element names separated by backslashes"),
                  P("text", R::kText, kOpt, "element text"),
                  P("attributes", R::kList, kOpt, "attribute names, a comma list"),
                  P("operation", R::kNumber, kReq, "operation 1 to 4: set text, add, delete, set or remove attributes"),
                  P("value", R::kText, kOpt, "attribute value"),
                  P("formatting", R::kFlag, kOpt, "document formatting option"),
                  P("backup", R::kFlag, kOpt, "copy the file to a numbered .backup file first"),
              }),
            "the meaning of the operation numbers and of the position line is this engine's choice"),
      C("Read from Text File", "registry-files", "reads the next line of a text file, or the whole file",
        {
            P("file", R::kPath, kReq, "text file (substituted twice); a leading #READALL\\ reads the whole file"),
            P("result", R::kResultVariable, kReq, "receives the line or the whole text"),
            P("end_of_file", R::kResultVariable, kOpt, "receives TRUE at the end of the file, else FALSE"),
        }),
      C("Write to Text File", "registry-files", "adds a line at the top or the end of a text file",
        {
            P("file", R::kPath, kReq, "text file (substituted twice)"),
            P("line", R::kText, kOpt, "the line"),
            P("insert_at_top", R::kFlag, kOpt, "true inserts as the first line, false appends (read after substitution)"),
        }),
      Install("Write Registry", "registry-files", "writes a registry value",
              {
                  P("permanence", R::kRaw, kOpt, "10 keeps the value at removal; any other number logs it for undo"),
                  P("root", R::kRaw, kReq, "root number (4: HKLM for all users, else HKCU), optionally followed by | and a machine name"),
                  P("key", R::kPath, kReq, "key path"),
                  P("value_name", R::kPath, kOpt, "value name; empty for the default value"),
                  P("data", R::kPath, kOpt, "the data"),
                  P("string_type", R::kFlag, kOpt, "write a string"),
                  P("integer_type", R::kRaw, kOpt, "TRUE writes an integer; or EXPANDSTRING, APPEND, PREPEND or BINARY"),
              }),
      Install("Create Folder", "registry-files", "creates a folder with its missing parents",
              {P("folder", R::kPath, kReq, "the folder")}),
      Install("Install Files", "registry-files", "places the files of one file group in a destination folder",
              {
                  P("source", R::kRaw, kOpt, "source files as chosen when the setup was built (not read when the script runs)"),
                  P("build_options", R::kRaw, kOpt, "options used when the setup was built (not read when the script runs)"),
                  P("destination", R::kPath, kReq, "destination folder"),
                  P("read_only", R::kFlag, kOpt, "mark the files read-only"),
                  P("hidden", R::kFlag, kOpt, "mark the files hidden"),
                  P("system", R::kFlag, kOpt, "mark the files as system files"),
                  P("stop_on_failure", R::kFlag, kOpt, "a file left unplaced fails the whole group"),
                  P("unused", R::kRaw, kOpt, "not read when the script runs"),
                  P("self_register", R::kFlag, kOpt, "register the files after placing them"),
                  P("shared", R::kFlag, kOpt, "count the files as shared"),
                  P("permanent", R::kFlag, kOpt, "never remove the files"),
                  P("skip_existing", R::kFlag, kOpt, "leave files that already exist alone"),
              }),
      Install("Copy/Move Local Files", "registry-files", "copies or moves files already on the machine",
              {
                  P("source", R::kPath, kReq, "source folder"),
                  P("pattern", R::kText, kReq, "file pattern"),
                  P("destination", R::kPath, kReq, "destination folder"),
                  P("new_name", R::kPath, kOpt, "new file name (ignored when the pattern or the name holds a wildcard)"),
                  P("copy", R::kFlag, kOpt, "true copies, false moves"),
                  P("recurse", R::kRaw, kOpt, "the part after the first | is the flag: recurse into subfolders"),
              }),
      Inferred(Install("Delete Files", "registry-files", "deletes the files matching a pattern in one folder",
                       {
                           P("folder", R::kPath, kReq, "the folder"),
                           P("pattern", R::kText, kReq, "file pattern"),
                           P("delete_mode_1", R::kFlag, kOpt, "first delete mode switch"),
                           P("delete_mode_2", R::kFlag, kOpt, "second delete mode switch"),
                       }),
               "lines 3 and 4 are known only as two delete mode switches of which at least one must be true; "
               "the change record uses neither; the files are deleted when the change is applied"),
      Install("Create Shortcut", "registry-files", "creates a shortcut, optionally pinned",
              {
                  P("target", R::kPath, kReq, "target, optionally followed by | and pin flag 1"),
                  P("name", R::kText, kReq, "shortcut name", 1),
                  P("folder", R::kPath, kReq, "shortcut folder, optionally followed by | and pin flag 2"),
                  P("description", R::kText, kOpt, "description", 2),
                  P("arguments", R::kText, kOpt, "arguments"),
                  P("working_folder", R::kPath, kOpt, "working folder, optionally followed by | and pin flag 3"),
                  P("icon_file", R::kPath, kOpt, "icon file, optionally followed by | and pin flag 4"),
                  P("icon_index", R::kText, kOpt, "icon index, optionally followed by | and pin flag 5"),
                  P("show_mode", R::kText, kOpt, "0 normal, 1 maximized, 2 minimized; optionally followed by | and a pin text"),
              }),
      Install("Advertised Shortcut", "registry-files", "creates an advertised shortcut (installer mode only)",
              {
                  P("target", R::kPath, kReq, "target, optionally followed by | and pin flag 1"),
                  P("name", R::kText, kReq, "shortcut name", 1),
                  P("folder", R::kPath, kReq, "shortcut folder, optionally followed by | and pin flag 2"),
                  P("description", R::kText, kOpt, "description", 2),
                  P("arguments", R::kText, kOpt, "arguments"),
                  P("working_folder", R::kPath, kOpt, "working folder, optionally followed by | and pin flag 3"),
                  P("icon_file", R::kPath, kOpt, "icon file, optionally followed by | and pin flag 4"),
                  P("icon_index", R::kText, kOpt, "icon index, optionally followed by | and pin flag 5"),
                  P("show_mode", R::kText, kOpt, "0 normal, 1 maximized, 2 minimized; optionally followed by | and a pin text"),
              }),
      Install("Create File Type", "registry-files", "registers a program identifier with its extensions and verbs",
              {
                  P("prog_id", R::kText, kReq, "program identifier", 1),
                  P("program", R::kPath, kReq, "program path"),
                  P("description", R::kText, kOpt, "description", 2),
                  P("icon_file", R::kPath, kOpt, "icon file"),
                  P("icon_index", R::kText, kOpt, "icon index"),
                  P("extensions", R::kList, kOpt, "extensions, a comma list"),
                  P("verbs", R::kList, kOpt, "verbs: a comma list of five-item comma lists (verb, arguments, DDE message, application, topic)"),
              }),
      Install("Advertised File Type", "registry-files", "registers an advertised file type (installer mode only)",
              {
                  P("prog_id", R::kText, kReq, "program identifier", 1),
                  P("program", R::kPath, kReq, "program path"),
                  P("description", R::kText, kOpt, "description", 2),
                  P("icon_file", R::kPath, kOpt, "icon file"),
                  P("icon_index", R::kText, kOpt, "icon index"),
                  P("extensions", R::kList, kOpt, "extensions, a comma list"),
                  P("verbs", R::kList, kOpt, "verbs: a comma list of five-item comma lists (verb, arguments, DDE message, application, topic)"),
              }),
      Install("Edit INI File", "registry-files", "sets, adds to or deletes an INI file entry",
              {
                  P("folder", R::kPath, kReq, "folder of the INI file"),
                  P("file", R::kText, kReq, "INI file name"),
                  P("mode", R::kNumber, kReq, "0 set, 1 set if absent, 2 delete the key, 3 add to a comma list, 4 remove from it"),
                  P("section", R::kText, kReq, "section"),
                  P("key", R::kText, kReq, "key"),
                  P("value", R::kText, kOpt, "value"),
              }),
      Install("Set Environment", "registry-files", "sets or deletes an environment variable",
              {
                  P("name", R::kText, kReq, "variable name"),
                  P("value", R::kText, kOpt, "value"),
                  P("mode", R::kNumber, kReq, "0 set, 1 set if absent, 2 delete"),
                  P("position", R::kNumber, kReq, "when it exists: 0 before the old text, 1 after it, 2 replace"),
                  P("log", R::kFlag, kOpt, "log the change for undo"),
                  P("system_wide", R::kFlag, kOpt, "system-wide rather than per user"),
              }),

      // ---- programs: programs, processes, end of setup and restart -----------------------
      C("Run Program", "programs", "runs a program, optionally waiting for its exit code",
        {
            P("program", R::kPath, kReq, "program"),
            P("hidden", R::kFlag, kOpt, "hide the program's window"),
            P("arguments", R::kPath, kOpt, "arguments"),
            P("wait", R::kFlag, kOpt, "wait for the program to end"),
            P("result", R::kResultVariable, kOpt, "receives the exit code (259 when not waiting, -314 when cancelled)"),
        }),
      C("Run Program As", "programs", "runs a program as another user or as the non-elevated desktop user",
        {
            P("program", R::kPath, kReq, "program"),
            P("working_folder", R::kPath, kOpt, "working folder"),
            P("arguments", R::kPath, kOpt, "arguments"),
            P("window_mode", R::kNumber, kReq, "0 normal, 1 hidden, 2 maximized, 3 minimized, 4 minimized without activation"),
            P("user", R::kPath, kOpt, "user name, or $VELK_UAC$ for the logged-on desktop user"),
            P("password", R::kPath, kOpt, "password"),
            P("domain", R::kPath, kOpt, "domain"),
            P("result", R::kResultVariable, kOpt, "receives the exit code"),
            P("wait", R::kFlag, kOpt, "wait for the program to end"),
            P("environment", R::kPath, kOpt, "name=value lines separated by CR LF"),
        }),
      C("Remote Run Program", "programs", "starts a program on another computer",
        {
            P("program", R::kPath, kReq, "program"),
            P("arguments", R::kPath, kOpt, "arguments"),
            P("user", R::kPath, kOpt, "user name (ignored for this computer)"),
            P("password", R::kPath, kOpt, "password (ignored for this computer)"),
            P("computer", R::kPath, kOpt, "computer name"),
            P("result", R::kResultVariable, kOpt, "receives empty on success, else the failure text"),
        }),
      Inferred(C("Run Light Mode Setup", "programs", "prepares a setup folder, runs a program from it and cleans up",
                 {
                     P("setup_folder", R::kPath, kReq, "setup folder"),
                     P("result", R::kResultVariable, kOpt, "receives the exit code"),
                     P("program", R::kPath, kReq, "program"),
                     P("wait", R::kFlag, kOpt, "wait for the program to end"),
                     P("arguments", R::kPath, kOpt, "arguments"),
                     P("hidden", R::kFlag, kOpt, "hide the program's window"),
                 }),
               "lines 1 to 4 are known; lines 5 and 6 follow \"Run Program\""),
      C("Terminate Process", "programs", "ends a running process by program file name",
        {
            P("program", R::kText, kReq, "program file name"),
            P("result", R::kResultVariable, kOpt, "receives TRUE when no such process runs any more"),
        }),
      C("Terminate Program", "programs", "asks top-level windows to close by class and title",
        {
            P("window_class", R::kPath, kOpt, "text contained in the window class name"),
            P("window_title", R::kPath, kOpt, "text contained in the window title"),
        }),
      C("Register Library", "programs", "registers or unregisters a library, type library or server program",
        {
            P("file", R::kPath, kReq, "the file"),
            P("register", R::kFlag, kOpt, "true registers, false unregisters"),
            P("result", R::kResultVariable, kOpt, "receives TRUE or FALSE"),
        }),
      C("Terminate Install", "programs", "ends the script run"),
      C("Terminate with Exit Code", "programs", "ends the script run with a process exit code",
        {P("exit_code", R::kText, kOpt, "exit code, read as an integer (0 when it is not one)")}),
      C("Reboot Computer", "programs", "restarts the machine and ends the script run"),
      C("Reboot and Resume", "programs", "restarts the machine and runs the setup once after the restart"),
      C("Reboot and Login", "programs", "restarts the machine and runs the setup at every log-on until it removes the entry"),

      // ---- components: features and the feature-selection file ---------------------------
      C("Define Component", "components", "defines or re-defines a component",
        {
            P("name", R::kText, kReq, "component name, levels separated by backslashes", 1),
            P("selected", R::kFlag, kOpt, "initial state"),
            P("description", R::kText, kOpt, "description", 2),
        }),
      C("Get Component State", "components", "tells whether a component is selected",
        {
            P("name", R::kText, kReq, "component name", 1),
            P("result", R::kResultVariable, kReq, "receives TRUE or FALSE"),
        }),
      C("Set Component State", "components", "selects or deselects a component",
        {
            P("name", R::kText, kReq, "component name", 1),
            P("selected", R::kFlag, kOpt, "new state"),
        }),
      C("Get Component Space", "components", "returns a component's size, or the space the selection still needs",
        {
            P("name", R::kText, kOpt, "component name; empty for the whole selection", 1),
            P("result", R::kResultVariable, kReq, "receives the byte count"),
        }),
      C("Set Component Space", "components", "sets a component's size",
        {
            P("name", R::kText, kReq, "component name", 1),
            P("size", R::kText, kReq, "size in bytes (a 64-bit integer; anything else changes nothing)"),
        }),
      C("Set Component Choice", "components", "locks or unlocks the user's choice of a component",
        {
            P("name", R::kText, kReq, "component name", 1),
            P("user_may_change", R::kFlag, kOpt, "false locks the component"),
        }),
      C("Set Component Visibility", "components", "hides or shows a component in the feature pages",
        {
            P("name", R::kText, kReq, "component name", 1),
            P("visible", R::kFlag, kOpt, "false hides the component"),
        }),
      C("Delete Component", "components", "removes a component from the selection for this run",
        {P("name", R::kText, kReq, "component name", 1)}),
      C("Save Feature Selections", "components", "writes the feature-selection file",
        {P("file", R::kText, kReq, "the file")}),
      C("Load Feature Selections", "components", "reads the feature-selection file when it exists",
        {P("file", R::kText, kReq, "the file")}),

      // ---- integration: services, ODBC, accounts, shares, web server, .NET and more -------
      Inferred(Install("Install Service", "integration", "installs a service program and creates the service",
                       {
                           P("service", R::kText, kReq, "service name"),
                           P("destination", R::kPath, kReq, "folder of the service program"),
                           P("source", R::kRaw, kOpt, "service program as chosen when the setup was built (not read when the script runs)"),
                           P("display_name", R::kText, kOpt, "display name", 1),
                           P("description", R::kText, kOpt, "description", 2),
                           P("load_order_group", R::kText, kOpt, "load order group", 3),
                           P("shares_process", R::kRaw, kOpt, "any value but 0: the service shares a process"),
                           P("interactive", R::kFlag, kOpt, "the service may interact with the desktop"),
                           P("dependencies", R::kText, kOpt, "services this one depends on", 4),
                           P("extra_text", R::kText, kOpt, "a further translated text passed to the record", 5),
                           P("start_type", R::kNumber, kReq, "0 automatic, 1 on demand, other disabled"),
                           P("error_control", R::kNumber, kReq, "0 ignore, 1 normal, other severe"),
                           P("account", R::kText, kOpt, "account the service runs as"),
                           P("password", R::kText, kOpt, "password of the account"),
                           P("arguments", R::kText, kOpt, "arguments appended to the program path"),
                       }),
               "the count (15) and lines 1, 2, 7, 8 and 11 to 15 are known; lines 4, 5, 6, 9 and 10 are the five "
               "translated handler texts, of which only four are named; line 3 is this engine's choice"),
      Install("Control Service", "integration", "starts, stops or deletes a service and changes its start type",
              {
                  P("service", R::kText, kReq, "service name", 1),
                  P("arguments", R::kPath, kOpt, "start arguments"),
                  P("action", R::kNumber, kReq, "taken modulo 3: 0 start, 1 stop, 2 stop and delete"),
                  P("start_type", R::kNumber, kOpt, "10 automatic, 20 on demand, 30 disabled, below 10 no change"),
                  P("wait", R::kFlag, kOpt, "wait for the pending state to end"),
              }),
      Install("Create ODBC DSN", "integration", "creates an ODBC data source",
              {
                  P("name", R::kText, kReq, "data source name"),
                  P("driver", R::kText, kReq, "driver"),
                  P("system", R::kRaw, kOpt, "a system data source"),
                  P("attributes", R::kText, kOpt, "name=value lines separated by CR LF; [NAME] reads a variable"),
              }),
      Inferred(Install("Install ODBC Driver", "integration", "installs the files of an ODBC driver and registers it",
                       {
                           P("driver", R::kText, kReq, "driver name"),
                           P("source", R::kRaw, kOpt, "driver files as chosen when the setup was built (not read when the script runs)"),
                           P("build_options", R::kRaw, kOpt, "options used when the setup was built (not read when the script runs)"),
                           P("destination", R::kPath, kReq, "destination folder"),
                           P("unused", R::kRaw, kOpt, "not read when the script runs"),
                           P("attributes", R::kText, kOpt, "driver attributes; [NAME] reads a variable"),
                       }),
               "lines 1, 4 and 6 are known; lines 2, 3 and 5 are build-time lines of this engine's choice"),
      Inferred(Install("Install Assembly", "integration", "places a .NET assembly in a folder or the global assembly cache",
                       {
                           P("source", R::kRaw, kOpt, "assembly as chosen when the setup was built (not read when the script runs)"),
                           P("global_cache", R::kFlag, kOpt, "put the assembly into the global assembly cache"),
                           P("destination", R::kPath, kReq, "destination folder"),
                       }),
               "lines 2 and 3 are known; line 1 follows \"Install Files\""),
      Inferred(C("Create User", "integration", "adds a local user account and joins it to groups",
                 {
                     P("user", R::kText, kReq, "user name"),
                     P("full_name", R::kText, kOpt, "full name", 1),
                     P("description", R::kText, kOpt, "description", 2),
                     P("password", R::kText, kOpt, "password"),
                     P("password_never_expires", R::kFlag, kOpt, "account flag"),
                     P("cannot_change_password", R::kFlag, kOpt, "account flag"),
                     P("disabled", R::kFlag, kOpt, "account flag"),
                     P("computer", R::kText, kOpt, "computer the account is added on"),
                     P("groups", R::kList, kOpt, "groups to join; built-in group names are mapped to their well-known SIDs", 3),
                 }),
               "lines 2 to 8 are known as texts and account flags by their readings, and line 9 as the third translated "
               "text; this engine takes line 9 as the groups to join and chooses which flag each of lines 5 to 7 holds"),
      C("Delete User", "integration", "removes a user account",
        {
            P("computer", R::kText, kOpt, "computer or domain"),
            P("user", R::kText, kReq, "user name"),
        }),
      C("Create Group", "integration", "adds a local group",
        {
            P("group", R::kText, kReq, "group name"),
            P("description", R::kText, kOpt, "description", 1),
            P("computer", R::kText, kOpt, "computer"),
        }),
      C("Delete Group", "integration", "removes a local group",
        {
            P("computer", R::kText, kOpt, "computer"),
            P("group", R::kText, kReq, "group name"),
        }),
      Noted(C("Create Share", "integration", "creates a file share",
              {
                  P("definition", R::kText, kReq, "share definition, parts separated by |"),
                  P("name", R::kText, kReq, "share name", 1),
                  P("remark", R::kText, kOpt, "remark", 2),
              }),
            "the parts of the share definition are this engine's choice"),
      Noted(C("Delete Share", "integration", "removes a file share",
              {P("definition", R::kText, kReq, "share definition, parts separated by |", 1)}),
            "the parts of the share definition are this engine's choice"),
      Noted(C("Set Access Control", "integration", "grants, denies or revokes access rights of an object for a trustee",
              {
                  P("object", R::kText, kReq, "file, folder, registry key (HKCR\\ .. HKCC\\), service or share", 1),
                  P("right_read", R::kFlag, kOpt, "rights switch"),
                  P("right_write", R::kFlag, kOpt, "rights switch"),
                  P("right_execute", R::kFlag, kOpt, "rights switch"),
                  P("right_full", R::kFlag, kOpt, "rights switch"),
                  P("trustee", R::kText, kReq, "user or group", 2),
                  P("inherit_containers", R::kFlag, kOpt, "inheritance switch"),
                  P("inherit_objects", R::kFlag, kOpt, "inheritance switch"),
                  P("is_file", R::kFlag, kOpt, "object kind or option switch"),
                  P("is_folder", R::kFlag, kOpt, "object kind or option switch"),
                  P("is_registry_key", R::kFlag, kOpt, "object kind or option switch"),
                  P("is_service", R::kFlag, kOpt, "object kind or option switch"),
                  P("is_share", R::kFlag, kOpt, "object kind or option switch"),
                  P("grant", R::kFlag, kOpt, "object kind or option switch"),
                  P("deny", R::kFlag, kOpt, "object kind or option switch"),
                  P("revoke", R::kFlag, kOpt, "object kind or option switch"),
              }),
            "the count (16) and the groups of lines are known; which right or option each switch selects is this "
            "engine's choice"),
      C("Get IIS Site List", "integration", "lists the web server's sites",
        {P("result", R::kResultVariable, kReq, "receives the site names joined by $NEWLINE$")}),
      C("Get IIS Site Index", "integration", "returns the number of a web site",
        {
            P("site", R::kText, kReq, "site name", 1),
            P("result", R::kResultVariable, kReq, "receives the site number"),
        }),
      Inferred(C("Get IIS Property", "integration", "reads a web server property (!ERROR! when it cannot be read)",
                 {
                     P("site", R::kPath, kReq, "site"),
                     P("site_option", R::kPath, kOpt, "further site setting"),
                     P("path", R::kPath, kOpt, "metabase path, optionally followed by | and a flag"),
                     P("property", R::kPath, kReq, "property name"),
                     P("folder", R::kPath, kOpt, "virtual folder"),
                     P("result", R::kResultVariable, kReq, "receives the value"),
                 }),
               "lines 1 and 3 to 6 are known; line 2 is not described"),
      Inferred(C("Set IIS Property", "integration", "writes a web server property",
                 {
                     P("site", R::kPath, kReq, "site"),
                     P("site_option", R::kPath, kOpt, "further site setting"),
                     P("path", R::kPath, kOpt, "metabase path, optionally followed by | and a flag"),
                     P("property", R::kPath, kReq, "property name"),
                     P("folder", R::kPath, kOpt, "virtual folder"),
                     P("value", R::kPath, kOpt, "the value"),
                 }),
               "lines 1 and 3 to 6 are known; line 2 is not described"),
      Inferred(C("IIS Anonymous User", "integration", "returns the web server's anonymous user account",
                 {P("result", R::kResultVariable, kReq, "receives the account name")}),
               "only the result variable in line 1 is known"),
      Noted(C("Create IIS Site", "integration", "creates a web site",
              {
                  P("name", R::kRaw, kReq, "site name", 1),
                  P("folder", R::kPath, kReq, "home folder"),
                  P("ip_address", R::kPath, kOpt, "IP address binding"),
                  P("port", R::kPath, kOpt, "port binding"),
                  P("host_header", R::kPath, kOpt, "host name binding"),
                  P("anonymous_auth", R::kFlag, kOpt, "authentication switch"),
                  P("windows_auth", R::kFlag, kOpt, "authentication switch"),
                  P("basic_auth", R::kFlag, kOpt, "authentication switch"),
                  P("read_access", R::kFlag, kOpt, "access switch"),
                  P("write_access", R::kFlag, kOpt, "access switch"),
                  P("script_access", R::kFlag, kOpt, "access switch"),
                  P("execute_access", R::kFlag, kOpt, "access switch"),
                  P("browse_access", R::kFlag, kOpt, "access switch"),
                  P("site_number", R::kNumber, kOpt, "site number"),
                  P("application_pool", R::kPath, kOpt, "application pool"),
              }),
            "the count (15) is known; the assignment of lines 2 to 15 to bindings, switches and numbers is this "
            "engine's choice"),
      Noted(C("Create Virtual Folder", "integration", "creates a virtual folder or application of a web site",
              {
                  P("name", R::kRaw, kReq, "virtual folder name", 1),
                  P("folder", R::kPath, kReq, "physical folder"),
                  P("read_access", R::kFlag, kOpt, "access switch"),
                  P("write_access", R::kFlag, kOpt, "access switch"),
                  P("script_access", R::kFlag, kOpt, "access switch"),
                  P("execute_access", R::kFlag, kOpt, "access switch"),
                  P("browse_access", R::kFlag, kOpt, "access switch"),
                  P("create_application", R::kFlag, kOpt, "application switch"),
                  P("default_document", R::kPath, kOpt, "path"),
                  P("error_page", R::kPath, kOpt, "path"),
                  P("anonymous_auth", R::kFlag, kOpt, "access switch"),
                  P("application_name", R::kRaw, kOpt, "name", 2),
                  P("display_name", R::kRaw, kOpt, "name", 3),
                  P("windows_auth", R::kFlag, kOpt, "application switch"),
                  P("basic_auth", R::kFlag, kOpt, "application switch"),
                  P("isolated", R::kFlag, kOpt, "application switch"),
                  P("pool_or_site", R::kPath, kOpt, "application pool or site"),
                  P("dotnet_version", R::kNumber, kOpt, "ASP.NET registration: v1.1.4322, v2.0.50727 or v4.0.30319 by number; none otherwise"),
              }),
            "the count (18) and the groups of lines are known; which switch and which path each line holds is this "
            "engine's choice"),
      C("Delete IIS Site", "integration", "deletes a web site",
        {P("site", R::kPath, kReq, "site")}),
      C("Delete Virtual Folder", "integration", "deletes a virtual folder of a web site",
        {
            P("site_number", R::kNumber, kReq, "site number"),
            P("folder", R::kPath, kReq, "virtual folder path"),
        }),
      C("Control IIS Site", "integration", "starts, stops or pauses a web site",
        {
            P("site", R::kPath, kReq, "site"),
            P("action", R::kNumber, kReq, "action number"),
        }),
      Inferred(C("Register Assembly", "integration", "registers or unregisters a .NET assembly for COM",
                 {
                     P("assembly", R::kPath, kReq, "assembly file, or the name of an assembly in the global cache"),
                     P("unregister", R::kFlag, kOpt, "unregister instead of register"),
                     P("type_library", R::kFlag, kOpt, "also export and register a type library"),
                     P("code_base", R::kFlag, kOpt, "record the code base"),
                 }),
               "line 1 is known; lines 2 to 4 are the three named switches in this engine's order"),
      C("Generate Native Images", "integration", "installs or uninstalls the native images of an assembly",
        {
            P("assembly", R::kPath, kReq, "assembly"),
            P("install", R::kFlag, kOpt, "true installs, false uninstalls"),
        }),
      C("Run .NET Installer Class", "integration", "runs the installer classes of an assembly",
        {
            P("assembly", R::kText, kReq, "assembly"),
            P("uninstall", R::kFlag, kOpt, "run the uninstall step"),
        }),
      C("Remove Assemblies", "integration", "removes the setup's assemblies from the global assembly cache"),
      C("Create Games Explorer", "integration", "registers a game definition with the Games Explorer",
        {
            P("definition", R::kPath, kReq, "game definition file"),
            P("folder", R::kPath, kReq, "installation folder"),
        }),
      C("Delete Games Explorer", "integration", "unregisters a game definition",
        {P("definition", R::kPath, kReq, "game definition file")}),
      C("Create Media Center", "integration", "registers an application with the Media Center",
        {
            P("program", R::kPath, kReq, "program"),
            P("context", R::kText, kOpt, "context"),
            P("image", R::kPath, kOpt, "image"),
            P("title", R::kText, kOpt, "title"),
            P("identifier", R::kRaw, kReq, "application identifier", 1),
        }),
      C("Delete Media Center", "integration", "removes an application's Media Center registration",
        {P("identifier", R::kText, kReq, "application identifier")}),
      Inferred(C("System Restore", "integration", "begins, ends or cancels a restore point",
                 {
                     P("begin", R::kFlag, kOpt, "true begins, false ends"),
                     P("nested", R::kFlag, kOpt, "a nested change"),
                     P("result", R::kResultVariable, kOpt, "receives the status word; required when beginning"),
                     P("description", R::kText, kOpt, "description", 1),
                     P("type", R::kNumber, kOpt, "restore point type"),
                     P("sequence", R::kText, kOpt, "sequence number"),
                     P("cancel", R::kFlag, kOpt, "cancel the restore point"),
                 }),
               "lines 1 and 3 to 7 are known; line 2 is not described"),
      Noted(C("Schedule Task", "integration", "creates a scheduled task",
              {
                  P("task", R::kText, kReq, "task name", 1),
                  P("program", R::kPath, kReq, "program"),
                  P("arguments", R::kPath, kOpt, "arguments"),
                  P("folder", R::kPath, kOpt, "working folder"),
                  P("comment", R::kPath, kOpt, "comment"),
                  P("account", R::kPath, kOpt, "account"),
                  P("password", R::kPath, kOpt, "password"),
                  P("schedule", R::kPath, kOpt, "schedule kind"),
                  P("day", R::kPath, kOpt, "monday .. sunday or every day"),
                  P("time", R::kPath, kOpt, "start time (12:00 AM when empty)"),
                  P("option_1", R::kPath, kOpt, "task option switch"),
                  P("option_2", R::kPath, kOpt, "task option switch"),
                  P("option_3", R::kPath, kOpt, "task option switch"),
                  P("option_4", R::kPath, kOpt, "task option switch"),
              }),
            "the four option switches in lines 11 to 14 are not described further"),
      C("Delete Scheduled Task", "integration", "removes a scheduled task",
        {
            P("task", R::kText, kReq, "task name", 1),
            P("computer", R::kPath, kOpt, "computer"),
        }),
      Inferred(C("Find All Computers", "integration", "lists the computers of the domain",
                 {
                     P("result", R::kResultVariable, kReq, "receives the host names joined by $NEWLINE$"),
                     P("controllers_only", R::kFlag, kOpt, "only domain controllers"),
                     P("logon_server", R::kFlag, kOpt, "search from the logon server instead of the DNS domain"),
                     P("use_credentials", R::kFlag, kOpt, "connect with the user name and password below"),
                     P("user", R::kPath, kOpt, "user name"),
                     P("password", R::kPath, kOpt, "password"),
                 }),
               "lines 1 to 3, 5 and 6 are known; line 4 is not described"),

      // ---- dialogs ------------------------------------------------------------------------
      C("Display Dialog", "dialogs", "shows a wizard page, modally or not, and stores its outcome",
        {
            P("dialog", R::kRaw, kReq, "page name (its definition is NAME.dfm in the support folder)"),
            P("result", R::kResultVariable, kOpt, "receives NEXT, BACK, CANCEL, NOTMODAL or a custom button name"),
            P("modal", R::kFlag, kOpt, "wait until the page ends"),
            P("condition_variable", R::kVariableName, kOpt, "the page is shown only when this variable's flag equals line 6"),
            P("unused", R::kRaw, kOpt, "not read when the script runs (TRUE)"),
            P("condition_value", R::kFlag, kOpt, "flag the condition variable must hold"),
        }),
      C("Hide Dialog", "dialogs", "hides the page on screen"),

      // ---- messages: tray icon, message boxes and balloons -------------------------------
      C("System Tray", "messages", "hides into the tray, shows the tray icon, restores the window or removes the icon",
        {
            P("hide_into_tray", R::kRaw, kOpt, "exactly TRUE: show the tray icon and hide the window"),
            P("show_icon", R::kRaw, kOpt, "exactly TRUE: show the tray icon"),
            P("restore", R::kRaw, kOpt, "exactly TRUE: restore the window"),
            P("remove_icon", R::kRaw, kOpt, "exactly TRUE: remove the tray icon and restore the window"),
        }),
      C("MessageBox", "messages", "shows a message box and stores the button pressed",
        {
            P("title", R::kText, kOpt, "title", 1),
            P("text", R::kText, kOpt, "message text", 2),
            P("icon", R::kNumber, kReq, "0 information, 1 question, 2 warning, 3 error"),
            P("buttons", R::kNumber, kReq, "0 abort-retry-ignore, 1 OK, 2 OK-cancel, 3 retry-cancel, 4 yes-no, 5 yes-no-cancel"),
            P("result", R::kResultVariable, kOpt, "receives OK, CANCEL, ABORT, RETRY, IGNORE, YES or NO"),
        }),
      C("MessageBalloon", "messages", "shows a balloon at the tray icon",
        {
            P("title", R::kText, kOpt, "balloon title", 1),
            P("text", R::kText, kOpt, "balloon text", 2),
            P("icon", R::kNumber, kReq, "0 information, 1 warning, 2 error"),
            P("seconds", R::kText, kOpt, "display time, 10 to 30 seconds (not a number: 10)"),
        }),

      // ---- archives: the 7-zip commands ---------------------------------------------------
      C("Extract 7Zip Archive", "archives", "extracts an archive into a folder",
        {
            P("archive", R::kPath, kReq, "archive file"),
            P("destination", R::kPath, kReq, "destination folder (created when missing)"),
            P("result", R::kResultVariable, kOpt, "receives SUCCESS or the error text"),
            P("password", R::kText, kOpt, "password"),
            P("skip_existing", R::kFlag, kOpt, "leave existing files alone"),
            P("flat", R::kFlag, kOpt, "extract without the stored folders"),
        }),
      C("Test 7Zip Archive", "archives", "tests an archive",
        {
            P("archive", R::kPath, kReq, "archive file"),
            P("password", R::kText, kOpt, "password"),
            P("result", R::kResultVariable, kOpt, "receives SUCCESS or the error text"),
        }),
      C("Compress 7Zip Archive", "archives", "creates or updates an archive",
        {
            P("archive", R::kPath, kReq, "archive file"),
            P("password", R::kText, kOpt, "password"),
            P("files", R::kList, kOpt, "first file list, names separated by |"),
            P("files_2", R::kList, kOpt, "second file list, names separated by |"),
            P("kind", R::kNumber, kReq, "archive kind 0 to 6"),
            P("switches", R::kText, kOpt, "compression switches, normally a preset"),
            P("update_mode_2", R::kFlag, kOpt, "selects update mode 2"),
            P("update_mode_0", R::kFlag, kOpt, "selects update mode 0"),
            P("update_mode_1", R::kFlag, kOpt, "selects update mode 1 (the last true switch wins)"),
            P("result", R::kResultVariable, kOpt, "receives SUCCESS or the error text"),
        }),
      C("Delete 7Zip Archive", "archives", "deletes items from an archive",
        {
            P("archive", R::kPath, kReq, "archive file"),
            P("password", R::kText, kOpt, "password"),
            P("items", R::kList, kOpt, "item names separated by |"),
            P("result", R::kResultVariable, kOpt, "receives SUCCESS or the error text"),
        }),
      C("List 7Zip Archive", "archives", "lists the item names of an archive",
        {
            P("archive", R::kPath, kReq, "archive file"),
            P("password", R::kText, kOpt, "password"),
            P("result", R::kResultVariable, kOpt, "receives the names joined by |, or #ERROR\\ and the error text"),
        }),

      // ---- web-media ---------------------------------------------------------------------
      C("Web Media Block", "web-media", "starts a web media block: the following commands' media are downloaded from it",
        {
            P("name", R::kRaw, kOpt, "block name, a legal file name; empty ends the current block"),
            P("urls", R::kList, kOpt, "download URLs, one per line; required when the name is given"),
            P("unused", R::kRaw, kOpt, "not read when the script runs"),
        }),

      // ---- native: applying the recorded changes -----------------------------------------
      C("Apply Changes", "native", "applies the recorded changes or removes the installed instance",
        {
            P("dialog", R::kRaw, kOpt, "progress page name"),
            P("result", R::kResultVariable, kOpt, "receives COMPLETE, REBOOT, CANCEL or ERROR"),
            P("apply_plan", R::kFlag, kOpt, "apply the recorded change plan"),
            P("remove", R::kFlag, kOpt, "remove the installed instance"),
        }),
      Inferred(C("Apply Patch", "native", "applies the patch beside the installer package (installer mode only)",
                 {
                     P("result", R::kResultVariable, kOpt, "receives COMPLETE, REBOOT, CANCEL or ERROR"),
                     P("dialog", R::kRaw, kOpt, "progress page name"),
                     P("ask_for_sources", R::kFlag, kOpt, "ask for the setup's sources when they are missing"),
                 }),
               "lines 1 and 3 are known; line 2 follows \"Apply Changes\""),

      // ---- maintenance -------------------------------------------------------------------
      C("Transform Instance", "maintenance", "turns this run into a new instance of the product"),
  };
}

}  // namespace

const std::vector<CommandSpec>& AllCommands() {
  static const std::vector<CommandSpec> table = BuildTable();
  return table;
}

const CommandSpec* FindCommand(std::string_view name) {
  static const std::unordered_map<std::string_view, const CommandSpec*> index = [] {
    std::unordered_map<std::string_view, const CommandSpec*> map;
    for (const CommandSpec& c : AllCommands()) map.emplace(c.name, &c);
    return map;
  }();
  auto it = index.find(name);
  return it == index.end() ? nullptr : it->second;
}

std::string_view ReadingName(ParamReading reading) {
  switch (reading) {
    case ParamReading::kRaw: return "raw";
    case ParamReading::kText: return "text";
    case ParamReading::kPath: return "path";
    case ParamReading::kFlag: return "flag";
    case ParamReading::kNumber: return "number";
    case ParamReading::kResultVariable: return "result variable";
    case ParamReading::kVariableName: return "variable name";
    case ParamReading::kCondition: return "condition";
    case ParamReading::kList: return "list";
  }
  return "?";
}

std::string_view BlockRoleName(BlockRole role) {
  switch (role) {
    case BlockRole::kNone: return "none";
    case BlockRole::kIf: return "If";
    case BlockRole::kElseIf: return "Else If";
    case BlockRole::kElse: return "Else";
    case BlockRole::kEnd: return "End";
    case BlockRole::kWhile: return "While";
    case BlockRole::kWend: return "Wend";
    case BlockRole::kRepeat: return "Repeat";
    case BlockRole::kUntil: return "Until";
    case BlockRole::kForEach: return "For Each";
    case BlockRole::kNext: return "Next";
    case BlockRole::kWizardLoop: return "Wizard Loop";
  }
  return "?";
}

}  // namespace kestrawl::script

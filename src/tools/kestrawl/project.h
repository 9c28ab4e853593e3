// A setup project as an author writes it: a folder holding `setup.kws` (the
// script: a header, compiler variables and one command per line) and an
// optional `support/` folder whose files travel in the setup's resource
// archive. ReadProject parses and validates the script against the command
// table; every error names the file and line.
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestrawl::tools {

// A project error: "<file>:<line>: <message>".
class EProjectError : public std::runtime_error {
 public:
  EProjectError(const std::string& file, int line, const std::string& message)
      : std::runtime_error(file + ":" + std::to_string(line) + ": " + message) {}
  explicit EProjectError(const std::string& message) : std::runtime_error(message) {}
};

struct ProjectCommand {
  std::string name;
  bool disabled = false;
  // Parameter lines in stored order (the command's full parameter count).
  std::vector<std::string> params;
  std::string source_file;  // as shown in run-time errors
  int source_line = 0;      // zero-based
  int depth = 0;            // include depth: 0 for the main script
  std::string include_result = "0";  // "0" in the main script; else the variable an include returns into
  std::string project_file;  // host path of the file that holds the line, for build errors
  // Build options of a file-group command (see install_file_plan.h): the
  // stored "build_options" line when the command has one, else the value
  // of the build-only parameter "build_options" (not stored).
  std::string build_options;
};

struct Project {
  std::string folder;        // host path of the project folder
  std::string script_path;   // host path of setup.kws
  // Header ([setup]).
  std::string name;          // output file name
  std::string title;
  std::string version;
  std::string publisher;
  std::string contact;
  std::string help_link;
  std::string update_link;
  std::string comments;
  std::string product_code;
  std::string revision_code;
  int cache_mode = 2;
  // How web media blocks are packed: "store", "fast", "normal" or "maximum".
  std::string media_compression = "normal";
  int code_page = 1252;
  bool language_prompt = false;
  std::string default_language = "English";
  // [compiler-variables], in file order.
  std::vector<std::pair<std::string, std::string>> compiler_variables;
  // [plugins]: names of commands carried out by plug-in libraries.
  std::vector<std::string> plugin_commands;
  // [web-media]: block name and archive password, in file order.
  std::vector<std::pair<std::string, std::string>> web_media_passwords;
  // [components]: name and size in bytes, in file order.
  std::vector<std::pair<std::string, uint64_t>> components;
  // [script]
  std::vector<ProjectCommand> commands;
};

// Reads <folder>/setup.kws. Throws EProjectError.
Project ReadProject(const std::string& folder);
// Parses script text (file_label names it in errors; include files are
// looked up in `folder`). Throws EProjectError.
Project ParseProject(const std::string& text, const std::string& file_label, const std::string& folder = ".");

}  // namespace kestrawl::tools

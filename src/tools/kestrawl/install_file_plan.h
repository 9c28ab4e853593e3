// The files of the file-group commands ("Install Files", "Install
// Assembly", "Install Service", "Install ODBC Driver"), collected from the
// project folder at build time.
//
// A command's "source" parameter names project files relative to the
// project folder ('\' or '/' between parts), with wildcards in the last
// part only: files\bin\*.dll, files\app.exe. Its build options are a
// blank-separated list of words:
//   recurse        include subfolders; a file's destination subfolder is its
//                  folder relative to the source folder
//   media=NAME     the files travel in the web media block NAME (cache mode 2)
//   assembly=NAME  "Install Assembly": the assembly name (default: the file's
//                  base name)
//   setup=FILE     "Install ODBC Driver": the driver's setup file name
//                  (default empty)
// Unknown words, a source outside the project folder, a missing folder, a
// pattern that matches nothing, a file name Windows cannot hold, two files
// whose destinations differ only in letter case and a web media block with
// a cache mode other than 2 are errors (EProjectError, file:line).
// Files are listed in a fixed order (by subfolder, then name), so a build
// is repeatable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/kestrawl/project.h"

namespace kestrawl::tools {

// True for the four commands whose files are collected at build time.
bool IsFileGroupCommand(std::string_view name);

struct PlannedFile {
  std::string host_path;    // the project's file
  std::string subfolder;    // destination subfolder: "" or "a\b\"
  std::string name;         // file name
  uint64_t size = 0;
  std::string second_line;  // file table line after the source path
};

struct FileGroup {
  size_t command_index = 0;
  std::string header;  // the command's header (command_headers.h)
  std::string medium;  // web media block name; empty for the setup's own media
  std::vector<PlannedFile> files;
};

struct InstallFilePlan {
  std::vector<FileGroup> groups;  // in command order
  uint64_t total_size = 0;        // sum of the sizes of every planned file
};

// headers: one per command (AssignCommandHeaders). Reads the project folder
// only. Throws EProjectError.
InstallFilePlan PlanInstallFiles(const Project& project, const std::vector<std::string>& headers);

}  // namespace kestrawl::tools

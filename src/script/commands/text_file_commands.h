// The text file commands: "Read from Text File" (the next line of a text
// file, or with a leading "#READALL\" the rest of it joined by "$NEWLINE$",
// plus an end-of-file flag) and "Write to Text File" (one line inserted at
// the top or appended; the file is rewritten as UTF-8 with a byte-order mark
// and CR LF line ends). Both run in the 64-bit file view and never raise
// for file failures.
//
// The engine keeps at most one file open for reading between commands
// (OpenTextFile, one per run): successive reads of the same path (compared
// in lower case) return successive lines; reading another path, reaching the
// end of the file, or writing to the open file closes it.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "script/command_dispatch.h"

namespace kestrawl::script {

// The text file that "Read from Text File" keeps open between commands.
struct OpenTextFile {
  std::string path_lower;              // Windows path in lower case; empty when none is open
  std::unique_ptr<platform::File> file;
  std::string buffer;                  // bytes read from the file and not consumed yet
  size_t pos = 0;                      // first unconsumed byte of buffer
  bool drained = false;                // the file has no more bytes to read into buffer

  bool IsOpen() const { return file != nullptr; }
  void Close();
};

std::vector<HandlerEntry> TextFileCommandHandlers();

}  // namespace kestrawl::script

// Finds the 7-Zip console program and runs one command of it: adds the
// switches every run needs (progress to standard output, messages to
// standard error, UTF-8 names, no prompts), reports progress, stops the
// child when the progress sink says so, and maps the outcome to a ZEL_E_*
// code.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/error_mapping.h"

namespace kestrawl::zel {

// KESTRAWL_7ZIP when set, else the first of 7zz, 7z, 7za on PATH; empty
// when none is found.
std::string FindSevenZipProgram();

struct SevenZipRun {
  int code = 0;          // ZEL_OK or a ZEL_E_* code
  std::string output;    // everything 7-Zip wrote to standard output
  std::string messages;  // standard output and error together, for matching
};

// Called with the file shown, the percent and the input size 7-Zip
// announced (creating archives; 0 when none); false stops the run.
using PercentSink =
    std::function<bool(const std::string& file, int percent, uint64_t announced_total)>;

// Runs "<program> <command> <args...>" with the common switches inserted
// after the command. Without a sink 7-Zip shows no progress at all.
SevenZipRun RunSevenZip(Operation op, const std::string& command,
                        const std::vector<std::string>& args, const PercentSink& progress);

}  // namespace kestrawl::zel

// Dispatch of script commands by their exact name. Each command family
// offers its handlers as a list; the dispatcher joins them into one table
// (checked against the command table by the tests).
#pragma once

#include <string_view>
#include <vector>

namespace kestrawl::script {

class CommandContext;

using CommandHandler = void (*)(CommandContext&);

struct HandlerEntry {
  std::string_view name;
  CommandHandler handler;
};

// The handler of a command name (exact, case-sensitive), or nullptr.
CommandHandler FindHandler(std::string_view name);
// Every registered handler (for tests).
const std::vector<HandlerEntry>& AllHandlers();

}  // namespace kestrawl::script

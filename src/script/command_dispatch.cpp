#include "script/command_dispatch.h"

#include <unordered_map>

#include "script/commands/archive_commands.h"
#include "script/commands/change_commands.h"
#include "script/commands/component_commands.h"
#include "script/commands/dialog_commands.h"
#include "script/commands/expression_commands.h"
#include "script/commands/file_search_commands.h"
#include "script/commands/ini_xml_commands.h"
#include "script/commands/maintenance_commands.h"
#include "script/commands/registry_commands.h"
#include "script/commands/text_file_commands.h"
#include "script/commands/terminate_commands.h"
#include "script/commands/variable_commands.h"
#include "script/commands/web_media_commands.h"

namespace kestrawl::script {

namespace {

std::vector<HandlerEntry> CollectHandlers() {
  std::vector<HandlerEntry> all;
  for (auto family : {VariableCommandHandlers, ExpressionCommandHandlers, ArchiveCommandHandlers,
                      ComponentCommandHandlers, DialogCommandHandlers, TerminateCommandHandlers,
                      WebMediaCommandHandlers, ChangeCommandHandlers, RegistryCommandHandlers,
                      FileSearchCommandHandlers, IniXmlCommandHandlers, TextFileCommandHandlers,
                      MaintenanceCommandHandlers}) {
    auto entries = family();
    all.insert(all.end(), entries.begin(), entries.end());
  }
  return all;
}

struct Table {
  std::vector<HandlerEntry> entries = CollectHandlers();
  std::unordered_map<std::string_view, CommandHandler> by_name = [this] {
    std::unordered_map<std::string_view, CommandHandler> m;
    for (const auto& e : entries) m.emplace(e.name, e.handler);
    return m;
  }();
};

const Table& TheTable() {
  static const Table table;
  return table;
}

}  // namespace

CommandHandler FindHandler(std::string_view name) {
  const auto& m = TheTable().by_name;
  auto it = m.find(name);
  return it == m.end() ? nullptr : it->second;
}

const std::vector<HandlerEntry>& AllHandlers() { return TheTable().entries; }

}  // namespace kestrawl::script

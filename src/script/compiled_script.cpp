#include "script/compiled_script.h"

#include <utility>

#include "base/text.h"

namespace kestrawl::script {
namespace {

const std::string& Line(const std::vector<std::string>& list, size_t index,
                        std::string_view list_name) {
  if (index >= list.size()) {
    throw EScriptFault("Command index " + std::to_string(index) + " is beyond the end of the " +
                       std::string(list_name) + " (" + std::to_string(list.size()) + " lines).");
  }
  return list[index];
}

}  // namespace

void CompiledScript::SetParameterTable(std::vector<std::string> lines) {
  parameter_table_ = std::move(lines);
  first_position_.clear();
  first_position_.reserve(parameter_table_.size());
  for (size_t i = 0; i < parameter_table_.size(); ++i) {
    // emplace keeps the first position when a line repeats.
    first_position_.emplace(base::ToUpper(parameter_table_[i]), i);
  }
}

std::string CompiledScript::GetParameter(size_t command_index, size_t k) const {
  const std::string& guid = Line(command_guids, command_index, "command GUID list");
  // An empty GUID line would otherwise match the first empty parameter.
  if (guid.empty()) return {};
  auto it = first_position_.find(base::ToUpper(guid));
  if (it == first_position_.end()) return {};
  size_t position = it->second;
  if (k >= parameter_table_.size() - position) return {};
  return parameter_table_[position + k];
}

const std::string& CompiledScript::CommandName(size_t command_index) const {
  return Line(command_names, command_index, "command list");
}

const std::string& CompiledScript::CommandGuid(size_t command_index) const {
  return Line(command_guids, command_index, "command GUID list");
}

bool CompiledScript::IsDisabled(size_t command_index) const {
  return Line(disable_flags, command_index, "disable list") == "C";
}

const std::string& CompiledScript::MediaFolder(size_t command_index) const {
  return Line(media_folders, command_index, "media folder list");
}

const std::string& CompiledScript::SourceLocation(size_t command_index) const {
  return Line(source_locations, command_index, "source location list");
}

const std::string& CompiledScript::IncludeMarker(size_t command_index) const {
  return Line(include_markers, command_index, "include marker list");
}

}  // namespace kestrawl::script

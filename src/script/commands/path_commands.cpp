#include "script/commands/path_commands.h"

#include <vector>

#include "base/text.h"
#include "base/win_path.h"
#include "platform/file_system.h"
#include "script/commands/wow64_file_view.h"
#include "script/run_state.h"
#include "script/substitution.h"

namespace kestrawl::script {
namespace {

// A variable's value read the way a path parameter is read.
std::string PathValueOf(const VariableStore& vars, const std::string& name) {
  return CollapseBackslashes(Expand(vars, vars.GetVariable(name)));
}

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Length of the drive part: 2 for "C:", the "\\server\share" prefix of a
// UNC path, 0 when there is none.
size_t DrivePartLength(std::string_view path) {
  if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':') return 2;
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    size_t server_end = path.find('\\', 2);
    if (server_end == std::string_view::npos) return path.size();
    size_t share_end = path.find('\\', server_end + 1);
    return share_end == std::string_view::npos ? path.size() : share_end;
  }
  return 0;
}

// Index just past the last '\' or ':' (0 when there is none).
size_t NameStart(std::string_view path) {
  size_t at = path.find_last_of("\\:");
  return at == std::string_view::npos ? 0 : at + 1;
}

std::string FolderPart(std::string_view path) { return std::string(path.substr(0, NameStart(path))); }

// The long form of an existing path: each component after the drive part
// replaced by the name a directory search finds for it. Where a search
// finds nothing, that component and the ones before it stay as given.
std::string LongForm(platform::FileSystem& files, std::string path) {
  std::erase(path, '"');
  const size_t drive = DrivePartLength(path);
  if (path.size() > drive + 1 && path.back() == '\\') path.pop_back();  // a root keeps its "\"

  std::string result = path.substr(0, drive);
  for (size_t from = drive; from < path.size();) {
    size_t end = path.find('\\', from);
    if (end == std::string::npos) end = path.size();
    std::string component = path.substr(from, end - from);
    if (!component.empty()) {
      std::vector<platform::FileEntry> entries;
      if (files.List(path.substr(0, end), &entries) == platform::err::kSuccess && !entries.empty()) {
        std::string found = entries.front().name;
        for (const auto& e : entries)
          if (base::EqualsNoCase(e.name, component) || base::EqualsNoCase(e.short_name, component)) {
            found = e.name;
            break;
          }
        component = found;
      } else {
        result = path.substr(0, from);
      }
    }
    result += component;
    if (end < path.size()) result += '\\';
    from = end + 1;
  }
  return result;
}

}  // namespace

void ConvertPathCommand(CommandContext& ctx) {
  VariableStore& vars = ctx.engine.variables;
  platform::System& sys = ctx.engine.platform.Sys();
  platform::FileSystem& files = ctx.engine.platform.Files();
  Wow64FileView view(sys, ctx.run.bitness);

  const std::string name = ctx.Raw(1);
  std::string path = PathValueOf(vars, name);
  if (std::string expanded = sys.ExpandEnvironment(path); !expanded.empty()) path = expanded;
  // A relative name is taken relative to the setup's folder.
  if (DrivePartLength(path) == 0)
    path = base::IncludeTrailingBackslash(PathValueOf(vars, "SETUPPATH")) + path;
  if (std::string full; files.GetFullPath(path, &full) == platform::err::kSuccess && !full.empty())
    path = full;

  std::string result;
  if (files.Exists(path)) {
    if (ctx.Flag(2)) {
      std::string short_path;
      result = files.GetShortPath(path, &short_path) == platform::err::kSuccess ? short_path : path;
    } else {
      result = LongForm(files, path);
    }
  }
  ctx.SetResult(name, result);
}

std::string ExtractPathPart(const std::string& path, int part) {
  const size_t name_start = NameStart(path);
  const std::string file_name = path.substr(name_start);
  const size_t dot = file_name.rfind('.');
  switch (part) {
    case 0:
      return file_name;
    case 1:
      return dot == std::string::npos ? file_name : file_name.substr(0, dot);
    case 2:
      return dot == std::string::npos ? std::string() : file_name.substr(dot + 1);
    case 3:
      return FolderPart(path);
    case 4: {
      std::string folder = FolderPart(path);
      if (!folder.empty() && folder.back() == '\\') folder.pop_back();
      std::string parent = FolderPart(folder);
      return parent.empty() ? parent : base::IncludeTrailingBackslash(parent);
    }
    case 5: {
      const size_t drive = DrivePartLength(path);
      return drive == 0 ? std::string() : path.substr(0, drive) + "\\";
    }
    case 6:
      // A leading UNC pair survives; every other pair becomes one backslash.
      return CollapseBackslashes(path);
    default:
      return path;
  }
}

void ExtractPathCommand(CommandContext& ctx) {
  const std::string name = ctx.Raw(1);
  const std::string path = PathValueOf(ctx.engine.variables, name);
  ctx.SetResult(name, ExtractPathPart(path, ctx.Number(2)));
}

std::vector<HandlerEntry> PathCommandHandlers() {
  return {
      {"Convert Path", ConvertPathCommand},
      {"Extract Path", ExtractPathCommand},
  };
}

}  // namespace kestrawl::script

#include "tools/kestrawl/setup_builder.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/text.h"
#include "media/archive_library.h"
#include "script/compiled_script_writer.h"
#include "script/web_media_blocks.h"
#include "tools/kestrawl/command_headers.h"
#include "tools/kestrawl/media_layout.h"
#include "tools/kestrawl/media_writer.h"

namespace kestrawl::tools {

namespace fs = std::filesystem;

namespace {

// A stable GUID for command `index` of a product, so that building the same
// project twice gives the same setup.
std::string CommandGuid(const std::string& product_code, size_t index) {
  uint64_t h1 = 1469598103934665603ull, h2 = 1099511628211ull * 31;
  auto mix = [&](unsigned char c) {
    h1 = (h1 ^ c) * 1099511628211ull;
    h2 = (h2 ^ c) * 0x100000001b3ull + 0x9e3779b97f4a7c15ull;
  };
  for (char c : product_code) mix(static_cast<unsigned char>(c));
  for (char c : std::to_string(index)) mix(static_cast<unsigned char>(c));
  mix(0xFF);
  for (char c : std::to_string(index * 7919)) mix(static_cast<unsigned char>(c));
  char buf[40];
  snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%04X-%012llX}", static_cast<unsigned>(h1 >> 32),
           static_cast<unsigned>((h1 >> 16) & 0xFFFF), static_cast<unsigned>(0x4000 | (h1 & 0x0FFF)),
           static_cast<unsigned>(0x8000 | ((h2 >> 48) & 0x3FFF)),
           static_cast<unsigned long long>(h2 & 0xFFFFFFFFFFFFull));
  return buf;
}

uint32_t Crc32(const unsigned char* data, size_t n) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// A 7z archive without items: the signature header pointing at no header.
std::string EmptySevenZip() {
  std::string out = std::string("7z\xBC\xAF\x27\x1C", 6) + std::string("\x00\x04", 2);
  unsigned char start_header[20] = {};
  uint32_t crc = Crc32(start_header, sizeof start_header);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((crc >> (8 * i)) & 0xFF));
  out.append(reinterpret_cast<const char*>(start_header), sizeof start_header);
  return out;
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

script::CompiledScript CompileProject(const Project& project) {
  const std::vector<std::string> headers = AssignCommandHeaders(project);
  return CompileProject(project, headers, PlanInstallFiles(project, headers));
}

script::CompiledScript CompileProject(const Project& p, const std::vector<std::string>& headers,
                                      const InstallFilePlan& plan) {
  script::CompiledScript s;
  std::vector<std::string> params;
  for (size_t i = 0; i < p.commands.size(); ++i) {
    const ProjectCommand& c = p.commands[i];
    std::string guid = CommandGuid(p.product_code, i);
    s.command_names.push_back(c.name);
    s.command_guids.push_back(guid);
    s.disable_flags.push_back(c.disabled ? "C" : "");
    s.media_folders.push_back("");
    s.source_locations.push_back(c.source_file + "*" + std::to_string(c.source_line));
    s.include_markers.push_back(c.include_result + "*" + std::to_string(c.depth));
    if (!c.params.empty()) {
      params.push_back(guid);
      params.insert(params.end(), c.params.begin(), c.params.end());
    }
  }
  s.SetParameterTable(std::move(params));
  s.product_code = p.product_code;
  s.product_title = p.title;
  s.plugin_commands = p.plugin_commands;
  s.publisher = p.publisher;
  s.contact = p.contact;
  s.help_link = p.help_link;
  s.update_info_link = p.update_link;
  s.comments = p.comments;
  s.product_version = p.version;
  s.cache_mode = p.cache_mode;
  for (const auto& [block, password] : p.web_media_passwords) {
    s.web_media_blocks.push_back(block);
    s.web_media_blocks.push_back(script::ScramblePassword(password));
  }
  s.component_sizes = {"VELK-PREDEF-COMPONENT", "0"};
  for (const auto& [name, size] : p.components) {
    s.component_sizes.push_back(name);
    s.component_sizes.push_back(std::to_string(size));
  }
  s.revision_code = p.revision_code;
  s.language_prompt = p.language_prompt;
  s.default_language = p.default_language;
  for (const auto& [name, value] : p.compiler_variables) {
    s.compiler_variables.push_back(name);
    s.compiler_variables.push_back(value);
  }
  s.code_page = p.code_page;
  for (size_t i = 0; i < headers.size(); ++i) {
    if (headers[i].empty()) continue;
    s.command_headers.push_back(headers[i]);
    s.command_headers.push_back(std::to_string(i));
  }
  for (const FileGroup& group : plan.groups) {
    s.media_folders.at(group.command_index) = MediaFolderLine(p, group);
    s.file_headers.push_back(group.header);
    s.file_headers.push_back("NEWHEADER");
    for (const PlannedFile& f : group.files) {
      s.file_headers.push_back(FileTableSource(p, group, f));
      s.file_headers.push_back(f.second_line);
      if (LayoutOf(p, group) == MediaLayout::kWebBlock) {
        s.media_files.push_back(group.medium);
        s.media_files.push_back(StoredPath(group, f));
        s.media_files.push_back(MediaTargetSubfolder(group, f));
      }
    }
  }
  s.total_size = static_cast<int64_t>(plan.total_size);
  return s;
}

BuildResult BuildSetup(const Project& project, const std::string& out_dir, const std::string& bin_dir) {
  const std::vector<std::string> headers = AssignCommandHeaders(project);
  const InstallFilePlan plan = PlanInstallFiles(project, headers);
  script::CompiledScript compiled = CompileProject(project, headers, plan);
  std::string script_bytes;
  try {
    script_bytes = script::WriteCompiledScript(compiled);
  } catch (const std::exception& e) {
    throw EProjectError(project.script_path + ": " + e.what());
  }

  const fs::path engine = fs::path(bin_dir) / "kestrawl-engine";
  const fs::path library = fs::path(bin_dir) / "zel.lib";
  std::error_code ec;
  if (!fs::exists(engine, ec)) throw std::runtime_error("engine stub not found: " + engine.string());
  if (!fs::exists(library, ec)) throw std::runtime_error("archive library not found: " + library.string());
  fs::create_directories(out_dir, ec);
  if (ec) throw std::runtime_error("cannot create " + out_dir + ": " + ec.message());

  BuildResult result;
  result.command_count = compiled.command_count();
  for (const FileGroup& group : plan.groups) result.file_count += group.files.size();
  const fs::path setup = fs::path(out_dir) / project.name;
  const fs::path res = fs::path(out_dir) / (project.name + ".res");
  result.setup_path = setup.string();
  result.resource_path = res.string();

  media::ArchiveLibrary zel;
  if (!zel.Load(library.string())) throw std::runtime_error(zel.error());
  // The files of the file-group commands first: a build that fails there
  // leaves no new setup behind that would miss them.
  result.media_archives = WriteInstallMedia(project, plan, compiled, out_dir, &zel);

  // The setup: engine image, then the compiled script.
  std::ifstream stub(engine, std::ios::binary);
  std::stringstream image;
  image << stub.rdbuf();
  WriteFile(setup, image.str() + script_bytes);
  fs::permissions(setup, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec, ec);

  // The resource archive: every file of support/, paths kept.
  fs::remove(res, ec);
  const fs::path support = fs::path(project.folder) / "support";
  bool has_support = fs::is_directory(support, ec) && !fs::is_empty(support, ec);
  if (has_support) {
    std::vector<std::string> items = {(fs::absolute(support) / "*").string()};
    if (!zel.Create(res.string(), 0, items, {}, 0, "-mx=5", "", nullptr, nullptr))
      throw std::runtime_error("cannot pack " + support.string() + " (archive error " +
                               std::to_string(zel.LastError()) + ")");
  } else {
    WriteFile(res, EmptySevenZip());
  }

  fs::copy_file(library, fs::path(out_dir) / "zel.lib", fs::copy_options::overwrite_existing, ec);
  if (ec) throw std::runtime_error("cannot copy zel.lib: " + ec.message());
  return result;
}

}  // namespace kestrawl::tools

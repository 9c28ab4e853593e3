#include "tools/kestrawl/media_writer.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "archive/zel.h"
#include "base/text.h"
#include "media/compression_presets.h"
#include "script/web_media_blocks.h"
#include "tools/kestrawl/media_layout.h"

namespace kestrawl::tools {

namespace fs = std::filesystem;

namespace {

// Packing folder below OUT for the web media blocks; removed afterwards.
constexpr const char* kPackingFolder = ".kestrawl-packing";

// The presets are built for a fixed processor count: the thread switch is
// part of the switches, and a setup should not differ with the build host.
constexpr unsigned kPresetProcessors = 2;

bool IsInside(const fs::path& path, const fs::path& folder) {
  std::error_code ec;
  const fs::path p = fs::weakly_canonical(fs::absolute(path), ec);
  const fs::path f = fs::weakly_canonical(fs::absolute(folder), ec);
  auto [fi, pi] = std::mismatch(f.begin(), f.end(), p.begin(), p.end());
  return fi == f.end() || (fi->empty() && std::next(fi) == f.end());
}

void RemoveTree(const fs::path& folder) {
  std::error_code ec;
  fs::remove_all(folder, ec);
  if (ec) throw std::runtime_error("cannot remove " + folder.string() + ": " + ec.message());
}

void CopyWithTime(const std::string& from, const fs::path& to) {
  std::error_code ec;
  fs::create_directories(to.parent_path(), ec);
  if (!ec) fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
  if (!ec) fs::last_write_time(to, fs::last_write_time(from, ec), ec);
  if (ec) throw std::runtime_error("cannot copy " + from + " to " + to.string() + ": " + ec.message());
}

// Gives every folder at and below `top` the same time, so that the archive
// does not depend on when the packing folder was made.
void SetFolderTimes(const fs::path& top, fs::file_time_type time) {
  std::error_code ec;
  fs::last_write_time(top, time, ec);
  for (fs::recursive_directory_iterator it(top, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code e;
    if (it->is_directory(e)) fs::last_write_time(it->path(), time, e);
  }
}

}  // namespace

std::string MediaCompressionSwitches(const std::string& compression, bool header_encryption) {
  std::string level = "3";  // normal
  if (compression == "store") level = "0";
  else if (compression == "fast") level = "1";
  else if (compression == "maximum") level = "4";
  std::string switches = media::BuildPreset(level, header_encryption, kPresetProcessors);
  while (!switches.empty() && switches.back() == ' ') switches.pop_back();
  return switches;
}

std::vector<std::string> WriteInstallMedia(const Project& project, const InstallFilePlan& plan,
                                           const script::CompiledScript& compiled, const std::string& out_dir,
                                           const media::ArchiveLibrary* library) {
  const fs::path out = fs::absolute(out_dir);
  const fs::path packing = out / kPackingFolder;
  const std::vector<fs::path> cleaned = {out / "data", out / "offline", packing};
  for (const fs::path& folder : cleaned) {
    if (IsInside(project.folder.empty() ? "." : project.folder, folder))
      throw EProjectError("the output folder " + out_dir + " would replace the project itself (" +
                          folder.string() + " is rebuilt by every build); choose another output folder");
    for (const FileGroup& group : plan.groups)
      for (const PlannedFile& f : group.files)
        if (IsInside(f.host_path, folder))
          throw EProjectError("the project file " + f.host_path + " lies in " + folder.string() +
                              ", which every build rebuilds; choose another output folder");
  }
  for (const fs::path& folder : cleaned) RemoveTree(folder);

  // Data and offline trees; web block files go to the packing folder.
  std::map<std::string, fs::file_time_type> newest;  // block -> newest file time
  for (const FileGroup& group : plan.groups) {
    const bool web = LayoutOf(project, group) == MediaLayout::kWebBlock;
    for (const PlannedFile& f : group.files) {
      const fs::path target = (web ? packing : out) / OutputRelativePath(project, group, f);
      CopyWithTime(f.host_path, target);
      if (web) {
        std::error_code ec;
        const fs::file_time_type t = fs::last_write_time(target, ec);
        auto [it, added] = newest.emplace(group.medium, t);
        if (!added && t > it->second) it->second = t;
      }
    }
  }

  // Outside cache mode 2 the setup reads its files from data\ beside it; the
  // empty file named by the product code marks that folder as the setup's
  // sources, which a maintenance run looks for before it places files.
  if (project.cache_mode != 2 && !plan.groups.empty()) {
    fs::create_directories(out / "data");
    std::ofstream(out / "data" / project.product_code);
  }

  std::vector<std::string> archives;
  for (const auto& [block, time] : newest) {
    if (!library || !library->loaded()) throw std::runtime_error("the archive library is not loaded");
    const fs::path folder = packing / block;
    SetFolderTimes(folder, time);
    const fs::path archive = out / (block + ".7z");
    std::error_code ec;
    fs::remove(archive, ec);  // adding to an old archive would keep its items
    const std::string password = script::WebBlockPassword(compiled, block);
    const std::string switches = MediaCompressionSwitches(project.media_compression, !password.empty());
    if (!library->Create(archive.string(), ZEL_KIND_7Z, {folder.string()}, {}, ZEL_UPDATE_ADD, switches, password,
                         nullptr, nullptr)) {
      const int code = library->LastError();
      fs::remove(archive, ec);
      RemoveTree(packing);
      throw std::runtime_error("cannot pack web media block " + block + " into " + archive.string() +
                               " (archive error " + std::to_string(code) + ")");
    }
    archives.push_back(archive.string());
  }
  RemoveTree(packing);
  return archives;
}

}  // namespace kestrawl::tools

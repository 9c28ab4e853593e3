#include "bootstrap/worker_mode.h"

#include "base/text.h"
#include "base/win_path.h"
#include "media/archive_library.h"
#include "media/archive_wrappers.h"
#include "script/variable_store.h"

namespace kestrawl::bootstrap {

namespace {

std::string Native(platform::FileSystem& files, const std::string& path) {
  std::string native;
  return files.GetNativePath(path, &native) == platform::err::kSuccess ? native : path;
}

}  // namespace

int RunWorkerMode(platform::Platform& platform, const std::vector<std::string>& parameters) {
  platform::FileSystem& files = platform.Files();
  const std::string job = parameters.size() > 2 ? parameters[2] : std::string();
  std::string text;
  if (job.empty() || !files.FileExists(job) || files.ReadWholeFile(job, &text) != platform::err::kSuccess)
    return 1;
  std::vector<std::string> lines = base::TextLines(text);
  lines.resize(std::max<size_t>(lines.size(), 5));
  const std::string& archive = lines[0];
  const std::string& password = lines[1];
  const std::string& destination = lines[2];
  const bool flat = script::ToBoolean(lines[3]);
  const bool skip_existing = script::ToBoolean(lines[4]);

  std::string item_text;
  std::vector<std::string> items;
  if (files.ReadWholeFile(job + "items", &item_text) == platform::err::kSuccess) items = base::TextLines(item_text);

  if (archive.empty() || !files.FileExists(archive)) return 2;

  std::string error;
  std::string executable_folder = base::ExtractFilePath(platform.Procs().ExecutablePath());
  media::ArchiveLibrary library;
  if (!library.Load(Native(files, executable_folder + "zel.lib"))) {
    error = library.error();
  } else {
    media::ArchiveHost host;
    host.library = &library;
    host.processors = platform.Sys().Facts().processors;
    host.windows_64bit = platform.Sys().Facts().os64;
    // No further fallback: this process is the out-of-process extractor.
    media::ExtractArchive(host, Native(files, archive), password, Native(files, destination), error,
                          items.empty() ? nullptr : &items, nullptr, skip_existing, flat);
  }
  files.WriteWholeFile(job, error + "\r\n");
  return 0;
}

}  // namespace kestrawl::bootstrap

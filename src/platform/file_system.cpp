// The convenience calls of FileSystem, built only on its virtual calls so
// that every implementation (and every fault-injecting wrapper) shares them.
#include "platform/file_system.h"

#include "base/win_path.h"

namespace kestrawl::platform {

namespace {
// FILE_ATTRIBUTE_REPARSE_POINT: a link or junction. A tree walk removes the
// link itself and never descends into its target.
constexpr uint32_t kReparsePoint = 0x400;
}  // namespace

Win32Error FileSystem::ReadWholeFile(const std::string& path, std::string* data) {
  data->clear();
  std::unique_ptr<File> file;
  if (Win32Error e = Open(path, OpenMode::kRead, ShareMode::kShared, &file)) return e;
  char buffer[65536];
  for (;;) {
    size_t got = 0;
    if (Win32Error e = file->Read(buffer, sizeof buffer, &got)) return e;
    if (got == 0) return err::kSuccess;
    data->append(buffer, got);
  }
}

Win32Error FileSystem::WriteWholeFile(const std::string& path, const std::string& data) {
  std::unique_ptr<File> file;
  if (Win32Error e = Open(path, OpenMode::kWrite, ShareMode::kShared, &file)) return e;
  return file->Write(data.data(), data.size());
}

bool FileSystem::Exists(const std::string& path) {
  FileEntry entry;
  return GetEntry(path, &entry) == err::kSuccess;
}

bool FileSystem::FolderExists(const std::string& path) {
  FileEntry entry;
  return GetEntry(path, &entry) == err::kSuccess && entry.IsFolder();
}

bool FileSystem::FileExists(const std::string& path) {
  FileEntry entry;
  return GetEntry(path, &entry) == err::kSuccess && !entry.IsFolder();
}

Win32Error FileSystem::DeleteTree(const std::string& path) {
  FileEntry self;
  if (Win32Error e = GetEntry(path, &self)) return e;
  if (!self.IsFolder()) return err::kDirectory;
  if (self.attributes & kReparsePoint) return RemoveFolder(path);
  std::vector<FileEntry> entries;
  Win32Error e = List(base::JoinPath(path, "*"), &entries);
  if (e != err::kSuccess && e != err::kFileNotFound) return e;
  Win32Error first = err::kSuccess;
  for (const FileEntry& entry : entries) {
    std::string child = base::JoinPath(path, entry.name);
    Win32Error r;
    if (entry.IsFolder()) {
      r = (entry.attributes & kReparsePoint) ? RemoveFolder(child) : DeleteTree(child);
    } else {
      if (entry.attributes & attr::kReadOnly) SetAttributes(child, entry.attributes & ~attr::kReadOnly);
      r = DeleteFile(child);
    }
    if (r != err::kSuccess && first == err::kSuccess) first = r;
  }
  if (first != err::kSuccess) return first;
  if (self.attributes & attr::kReadOnly) SetAttributes(path, self.attributes & ~attr::kReadOnly);
  return RemoveFolder(path);
}

}  // namespace kestrawl::platform

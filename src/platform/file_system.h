// The machine's file system as the engine sees it. Every path is a Windows
// path ("C:\Program Files\App\a.txt"; forward slashes are accepted, "." and
// ".." are resolved, names compare case-insensitively and keep their case).
// Every call returns a Win32 error code (0 on success).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/errors.h"

namespace kestrawl::platform {

// 100-nanosecond intervals since 1601-01-01 UTC, as Windows keeps file times.
using FileTime = uint64_t;

namespace attr {
inline constexpr uint32_t kReadOnly = 0x1;
inline constexpr uint32_t kHidden = 0x2;
inline constexpr uint32_t kSystem = 0x4;
inline constexpr uint32_t kDirectory = 0x10;
inline constexpr uint32_t kArchive = 0x20;
inline constexpr uint32_t kNormal = 0x80;
inline constexpr uint32_t kCompressed = 0x800;
inline constexpr uint32_t kInvalid = 0xFFFFFFFF;
}  // namespace attr

struct FileEntry {
  std::string name;        // long name, in the case it was created with
  std::string short_name;  // 8.3 alias; empty when the long name already is 8.3
  uint32_t attributes = 0; // attr:: bits; kNormal alone when no other bit is set
  uint64_t size = 0;       // 0 for folders
  FileTime last_write = 0;
  bool IsFolder() const { return (attributes & attr::kDirectory) != 0; }
};

enum class DriveType : uint32_t {
  kUnknown = 0, kNoRootDir = 1, kRemovable = 2, kFixed = 3, kRemote = 4, kCdRom = 5, kRamDisk = 6
};

enum class OpenMode {
  kRead,       // existing file, read only
  kWrite,      // create or truncate, write only
  kReadWrite,  // existing file, read and write
  kAppend,     // create if missing, writes go to the end
};

enum class ShareMode {
  kShared,     // others may read and write at the same time
  kExclusive,  // fails with kSharingViolation (32) while anyone else has it open
};

// An open file. Closing happens on destruction.
class File {
 public:
  virtual ~File() = default;
  virtual Win32Error Read(void* buffer, size_t size, size_t* read) = 0;
  virtual Win32Error Write(const void* data, size_t size) = 0;
  virtual Win32Error Seek(uint64_t offset) = 0;
  virtual Win32Error Size(uint64_t* size) = 0;
};

// Move options, as MoveFileEx flags.
namespace move {
inline constexpr uint32_t kReplaceExisting = 0x1;
inline constexpr uint32_t kCopyAllowed = 0x2;       // across volumes by copy and delete
inline constexpr uint32_t kDelayUntilReboot = 0x4;  // recorded, carried out at restart
}  // namespace move

// Called during copies with the bytes done and the total; returning false
// cancels the copy, which then fails with kRequestAborted (1235).
using CopyProgress = std::function<bool(uint64_t done, uint64_t total)>;

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Facts about one file or folder (the name field holds the stored case).
  virtual Win32Error GetEntry(const std::string& path, FileEntry* entry) = 0;
  virtual Win32Error SetAttributes(const std::string& path, uint32_t attributes) = 0;
  virtual Win32Error SetLastWriteTime(const std::string& path, FileTime time) = 0;

  // The entries of a folder that match the pattern in the last component
  // ("C:\Dir\*.txt"): '*' and '?' with the Windows rules ("*.*" matches every
  // name, names without a dot too), matched against long and short names.
  // "." and ".." are not listed. No match gives kFileNotFound; a missing
  // folder kPathNotFound. Entries come sorted case-insensitively.
  virtual Win32Error List(const std::string& pattern, std::vector<FileEntry>* entries) = 0;

  virtual Win32Error CreateFolder(const std::string& path) = 0;      // one level; 183 when it exists
  virtual Win32Error CreateFolderTree(const std::string& path) = 0;  // with parents; existing is fine
  virtual Win32Error RemoveFolder(const std::string& path) = 0;      // empty folders only (145)
  virtual Win32Error DeleteFile(const std::string& path) = 0;        // 5 when read-only, 32 when in use

  // MoveFileEx. With kDelayUntilReboot the pair is appended to
  // PendingFileRenameOperations; an empty destination deletes at restart.
  virtual Win32Error MoveFile(const std::string& from, const std::string& to, uint32_t flags) = 0;
  virtual Win32Error CopyFile(const std::string& from, const std::string& to, bool fail_if_exists,
                              const CopyProgress& progress = {}) = 0;
  // A second name for an existing file; kNotSameDevice (17) across drives.
  virtual Win32Error CreateHardLink(const std::string& link, const std::string& existing) = 0;
  // Number of names (hard links) of a file.
  virtual Win32Error GetLinkCount(const std::string& path, uint32_t* count) = 0;

  virtual Win32Error Open(const std::string& path, OpenMode mode, ShareMode share,
                          std::unique_ptr<File>* file) = 0;

  // Path forms. GetFullPath normalises without touching the disk; the short
  // form uses 8.3 aliases; the long form replaces aliases by long names.
  virtual Win32Error GetFullPath(const std::string& path, std::string* full) = 0;
  virtual Win32Error GetShortPath(const std::string& path, std::string* short_path) = 0;
  virtual Win32Error GetLongPath(const std::string& path, std::string* long_path) = 0;

  // Volume facts for the drive a path is on ("C:\").
  virtual Win32Error GetVolumeSpace(const std::string& path, uint64_t* free_bytes,
                                    uint64_t* total_bytes) = 0;
  virtual DriveType GetDriveType(const std::string& root) = 0;
  // Drive letters in use, upper case, in order ("CZ").
  virtual std::string LogicalDrives() = 0;

  // File-system compression of a file or folder (what the shell shows as
  // the compressed attribute). Volumes that cannot compress answer
  // kNotSupported (50).
  virtual Win32Error SetCompression(const std::string& path, bool compressed) {
    (void)path;
    (void)compressed;
    return err::kNotSupported;
  }

  // The path the machine's own operating system uses for the file: the
  // Windows path itself on Windows, the host path on a simulated machine.
  // Libraries and programs that work outside this interface (the archive
  // library, helper programs) receive paths in this form.
  virtual Win32Error GetNativePath(const std::string& path, std::string* native) {
    *native = path;
    return err::kSuccess;
  }

  // Convenience built on the calls above.
  Win32Error ReadWholeFile(const std::string& path, std::string* data);
  Win32Error WriteWholeFile(const std::string& path, const std::string& data);
  bool Exists(const std::string& path);
  bool FolderExists(const std::string& path);
  bool FileExists(const std::string& path);
  // Deletes a folder with everything below it (read-only files too).
  Win32Error DeleteTree(const std::string& path);
};

}  // namespace kestrawl::platform

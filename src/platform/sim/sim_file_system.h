// The simulated machine's file system: Windows paths on the drives of a
// machine folder. Drive letters come from the links <machine>/dosdevices/x:
// (c: -> ../drive_c, z: -> /). Paths resolve component by component against
// the host, ignoring letter case and keeping the stored case; a component
// may also be an 8.3 alias. Read-only is the host's owner write bit for
// files; hidden, system and archive bits, folder read-only and the aliases
// live in the machine database. A host flock(2) on a file makes it "in use".
// Delayed moves go to PendingFileRenameOperations in the registry and are
// carried out by ProcessPendingRenames (the restart).
//
// Machine facts read here: "drive.<letter>.type" (a DriveType number),
// "drive.<letter>.free" and "drive.<letter>.total" (bytes; otherwise the
// host folder's statvfs), with a lower-case letter.
#pragma once

#include <sys/stat.h>

#include <optional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/registry.h"
#include "platform/sim/sim_fs_book.h"
#include "platform/sim/store.h"

namespace kestrawl::platform::sim {

class SimFileSystem : public FileSystem {
 public:
  SimFileSystem(std::string machine_dir, SimStore& store, Registry& registry);

  Win32Error GetEntry(const std::string& path, FileEntry* entry) override;
  Win32Error SetAttributes(const std::string& path, uint32_t attributes) override;
  Win32Error SetLastWriteTime(const std::string& path, FileTime time) override;
  Win32Error List(const std::string& pattern, std::vector<FileEntry>* entries) override;
  Win32Error CreateFolder(const std::string& path) override;
  Win32Error CreateFolderTree(const std::string& path) override;
  Win32Error RemoveFolder(const std::string& path) override;
  Win32Error DeleteFile(const std::string& path) override;
  Win32Error MoveFile(const std::string& from, const std::string& to, uint32_t flags) override;
  Win32Error CopyFile(const std::string& from, const std::string& to, bool fail_if_exists,
                      const CopyProgress& progress = {}) override;
  Win32Error CreateHardLink(const std::string& link, const std::string& existing) override;
  Win32Error GetLinkCount(const std::string& path, uint32_t* count) override;
  Win32Error Open(const std::string& path, OpenMode mode, ShareMode share,
                  std::unique_ptr<File>* file) override;
  Win32Error GetFullPath(const std::string& path, std::string* full) override;
  Win32Error GetShortPath(const std::string& path, std::string* short_path) override;
  Win32Error GetLongPath(const std::string& path, std::string* long_path) override;
  Win32Error GetVolumeSpace(const std::string& path, uint64_t* free_bytes,
                            uint64_t* total_bytes) override;
  DriveType GetDriveType(const std::string& root) override;
  std::string LogicalDrives() override;
  // Recorded on the machine as the compressed attribute.
  Win32Error SetCompression(const std::string& path, bool compressed) override;
  // The host path (a missing tail keeps the given case).
  Win32Error GetNativePath(const std::string& path, std::string* native) override {
    return ResolveHostPath(path, native);
  }

  // The host path a Windows path names. Existing components take their
  // stored names; a missing tail keeps the case it was given in. Fails only
  // for bad syntax (123, 206), an unknown drive or a UNC path.
  Win32Error ResolveHostPath(const std::string& windows_path, std::string* host);
  // The same, or "" when the path cannot be resolved.
  std::string HostPath(const std::string& windows_path);
  // The drive path of a host path: the drive whose folder holds it most
  // closely ("C:\..." inside drive_c, "Z:\..." elsewhere); "" when no drive
  // reaches it.
  std::string WindowsPathOf(const std::string& host_path);

  // The restart: carries out the recorded delayed moves and deletions in
  // order, then removes the list. Operations that fail are skipped; the
  // first failure is returned.
  Win32Error ProcessPendingRenames();

  // Declares a drive's type (CD-ROM, removable, ...); fixed by default.
  void SetDriveType(char letter, DriveType type);

 private:
  struct Resolved;

  Win32Error Resolve(const std::string& path, Resolved* out);
  std::optional<std::string> DriveRoot(char letter);
  // Drive letter -> (text of its dosdevices link, resolved root folder).
  std::mutex drive_roots_mu_;
  std::map<char, std::pair<std::string, std::string>> drive_roots_;
  std::vector<std::string> ReadFolder(const std::string& host);
  std::string ShortNameOf(const std::string& folder, const std::string& name);
  // Resolves an existing file or folder and stats its host path.
  Win32Error StatExisting(const std::string& path, std::string* host, struct stat* st);
  uint32_t AttributesOf(const std::string& host, const struct stat& st);
  void FillEntry(const std::string& host, const std::string& name, const std::string& short_name,
                 const struct stat& st, FileEntry* entry);
  Win32Error CopyResolved(const Resolved& from, const Resolved& to, bool fail_if_exists,
                          const CopyProgress& progress);
  Win32Error RecordPending(const std::string& from, const std::string& to, uint32_t flags);
  std::optional<uint64_t> FactNumber(const std::string& name);

  std::string machine_dir_;
  SimStore& store_;
  Registry& registry_;
  SimFsBook book_;
};

}  // namespace kestrawl::platform::sim

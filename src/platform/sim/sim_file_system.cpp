#include "platform/sim/sim_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>

#include "base/text.h"
#include "base/wildcard.h"
#include "base/win_path.h"
#include "platform/sim/sim_fs_errno.h"
#include "platform/sim/sim_fs_file.h"
#include "platform/sim/sim_fs_pending.h"
#include "platform/sim/sim_fs_short_names.h"

namespace kestrawl::platform::sim {

namespace {

constexpr const char* kSessionManager = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr const char* kPendingValue = "PendingFileRenameOperations";
constexpr const char* kNtPrefix = "\\??\\";
constexpr uint32_t kStoredBits = attr::kHidden | attr::kSystem | attr::kArchive;
// Recorded too, but changed only through SetCompression (as on Windows,
// where setting attributes leaves compression alone).
constexpr uint32_t kRecordedBits = kStoredBits | attr::kCompressed;
// Host symbolic links show as reparse points, as links and junctions do on
// Windows, so tree walks can leave their targets alone.
constexpr uint32_t kReparsePoint = 0x400;
constexpr size_t kMaxPath = 259;       // characters, without the terminating NUL
constexpr size_t kMaxComponent = 255;  // characters of one name
// FILETIME of the Unix epoch.
constexpr int64_t kEpochFileTime = 116444736000000000LL;

FileTime FileTimeOf(const timespec& ts) {
  int64_t t = static_cast<int64_t>(ts.tv_sec) * 10000000LL + ts.tv_nsec / 100 + kEpochFileTime;
  return t < 0 ? 0 : static_cast<FileTime>(t);
}

timespec TimespecOf(FileTime ft) {
  int64_t t = static_cast<int64_t>(std::min<FileTime>(ft, INT64_MAX)) - kEpochFileTime;
  int64_t sec = t / 10000000LL;
  int64_t rest = t % 10000000LL;
  if (rest < 0) {
    rest += 10000000LL;
    --sec;
  }
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(sec);
  ts.tv_nsec = static_cast<long>(rest * 100);
  return ts;
}

std::string JoinHost(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

// 0, kInvalidName or kFilenameExcedRange for one path component.
Win32Error CheckComponent(const std::string& name, bool wildcards_allowed) {
  for (unsigned char c : name) {
    if (c < 0x20) return err::kInvalidName;
    if (std::strchr("<>:\"|", c)) return err::kInvalidName;
    if (!wildcards_allowed && (c == '?' || c == '*')) return err::kInvalidName;
  }
  if (name.back() == '.' || name.back() == ' ') {
    // "*." is a pattern, not a name ending in a dot.
    if (!wildcards_allowed || !base::HasWildcards(name)) return err::kInvalidName;
  }
  if (base::Utf16Length(name) > kMaxComponent) return err::kFilenameExcedRange;
  return err::kSuccess;
}

bool StatPath(const std::string& path, struct stat* st) {
  if (stat(path.c_str(), st) == 0) return true;
  return lstat(path.c_str(), st) == 0;  // a dangling link still is an entry
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// kSharingViolation when another open description holds a flock on the file.
Win32Error ProbeInUse(const std::string& host) {
  struct stat st;
  if (stat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return err::kSuccess;
  int fd = open(host.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return err::kSuccess;
  int rc = flock(fd, LOCK_EX | LOCK_NB);
  int e = errno;
  close(fd);
  return (rc != 0 && e == EWOULDBLOCK) ? err::kSharingViolation : err::kSuccess;
}

// Takes a flock without waiting; kSharingViolation when someone else holds
// a conflicting one. File systems without flock support count as unlocked.
Win32Error LockOrFail(int fd, bool exclusive) {
  if (flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) return err::kSuccess;
  return errno == EWOULDBLOCK ? err::kSharingViolation : err::kSuccess;
}

bool IsReadOnlyFile(const struct stat& st) { return !S_ISDIR(st.st_mode) && !(st.st_mode & S_IWUSR); }

}  // namespace

// A Windows path resolved against the host, as far as it exists.
struct SimFileSystem::Resolved {
  char drive = 0;
  std::string root;                // host folder of the drive
  std::vector<std::string> given;  // components as written
  std::vector<std::string> names;  // stored names where they exist, given names after
  size_t existing = 0;             // leading components that exist
  bool blocked = false;            // a file stands where a folder is needed

  bool IsRoot() const { return names.empty(); }
  bool Exists() const { return existing == names.size(); }
  std::string HostOf(size_t count) const {
    std::string h = root;
    for (size_t k = 0; k < count; ++k) h = JoinHost(h, names[k]);
    return h;
  }
  std::string Host() const { return HostOf(names.size()); }
  std::string ParentHost() const { return HostOf(names.empty() ? 0 : names.size() - 1); }
  std::string WindowsPath() const {
    std::string out = std::string(1, drive) + ":\\";
    for (size_t k = 0; k < names.size(); ++k) out += (k ? "\\" : "") + names[k];
    return out;
  }
  Win32Error NeedExisting() const {
    if (Exists()) return err::kSuccess;
    return (!blocked && existing + 1 == names.size()) ? err::kFileNotFound : err::kPathNotFound;
  }
  Win32Error NeedParent() const {
    return (!blocked && existing + 1 >= names.size()) ? err::kSuccess : err::kPathNotFound;
  }
};

SimFileSystem::SimFileSystem(std::string machine_dir, SimStore& store, Registry& registry)
    : machine_dir_(std::move(machine_dir)), store_(store), registry_(registry), book_(store) {}

std::optional<std::string> SimFileSystem::DriveRoot(char letter) {
  if (!std::isalpha(static_cast<unsigned char>(letter))) return std::nullopt;
  const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
  std::string link = machine_dir_ + "/dosdevices/" + lower + ":";
  // Every path resolution starts here: remember the resolved root and only
  // re-read the drive's link, resolving it again when it changed.
  char target[PATH_MAX];
  const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
  const std::string link_text = n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
  {
    std::lock_guard<std::mutex> lock(drive_roots_mu_);
    auto it = drive_roots_.find(lower);
    if (!link_text.empty() && it != drive_roots_.end() && it->second.first == link_text) return it->second.second;
  }
  char buffer[PATH_MAX];
  if (!realpath(link.c_str(), buffer)) return std::nullopt;
  if (!IsFolder(buffer)) return std::nullopt;
  if (!link_text.empty()) {
    std::lock_guard<std::mutex> lock(drive_roots_mu_);
    drive_roots_[lower] = {link_text, std::string(buffer)};
  }
  return std::string(buffer);
}

std::vector<std::string> SimFileSystem::ReadFolder(const std::string& host) {
  std::vector<std::string> names;
  DIR* dir = opendir(host.c_str());
  if (!dir) return names;
  while (dirent* e = readdir(dir)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    names.emplace_back(e->d_name);
  }
  closedir(dir);
  return names;
}

Win32Error SimFileSystem::Resolve(const std::string& path, Resolved* out) {
  *out = Resolved();
  if (path.empty()) return err::kPathNotFound;
  if (path.find('\0') != std::string::npos) return err::kInvalidName;
  const bool long_form = base::HasLongPathPrefix(path);
  std::string norm = base::NormalizeWindowsPath(path);
  if (norm.size() >= 2 && norm[0] == '\\' && norm[1] == '\\') return err::kBadNetPath;
  char letter = base::DriveLetterOf(norm);
  if (!letter || !base::IsAbsolutePath(norm)) return err::kPathNotFound;
  if (!long_form && base::Utf16Length(norm) > kMaxPath) return err::kFilenameExcedRange;
  for (const std::string& comp : base::Split(std::string_view(norm).substr(3), '\\')) {
    if (comp.empty()) continue;
    if (Win32Error e = CheckComponent(comp, false)) return e;
    out->given.push_back(comp);
  }
  std::optional<std::string> root = DriveRoot(letter);
  if (!root) return err::kPathNotFound;
  out->drive = letter;
  out->root = *root;
  out->names = out->given;

  std::string current = out->root;
  for (size_t i = 0; i < out->given.size(); ++i) {
    const std::string& comp = out->given[i];
    std::optional<std::string> found;
    struct stat st;
    bool known_folder = false;
    if (lstat(JoinHost(current, comp).c_str(), &st) == 0) {
      found = comp;
      known_folder = S_ISDIR(st.st_mode);
    } else {
      std::vector<std::string> entries = ReadFolder(current);
      for (const std::string& name : entries) {
        if (base::EqualsNoCase(name, comp) && (!found || name < *found)) found = name;
      }
      if (!found && comp.find('~') != std::string::npos && IsValidShortName(comp)) {
        auto lookup = [&]() -> std::optional<std::string> {
          std::optional<std::string> name = book_.LongNameOf(current, comp);
          if (name && std::find(entries.begin(), entries.end(), *name) == entries.end()) return std::nullopt;
          return name;
        };
        found = lookup();
        if (!found) {
          // The folder's entries may not have aliases yet (or only stale ones).
          book_.Aliases(current, entries, entries);
          found = lookup();
        }
      }
    }
    if (!found) break;
    out->names[i] = *found;
    out->existing = i + 1;
    current = JoinHost(current, *found);
    if (i + 1 < out->given.size() && !known_folder && !IsFolder(current)) {
      out->blocked = true;
      break;
    }
  }
  return err::kSuccess;
}

Win32Error SimFileSystem::ResolveHostPath(const std::string& windows_path, std::string* host) {
  Resolved r;
  if (Win32Error e = Resolve(windows_path, &r)) return e;
  *host = r.Host();
  return err::kSuccess;
}

std::string SimFileSystem::HostPath(const std::string& windows_path) {
  std::string host;
  return ResolveHostPath(windows_path, &host) == err::kSuccess ? host : std::string();
}

std::string SimFileSystem::WindowsPathOf(const std::string& host_path) {
  std::string path = host_path;
  if (path.empty() || path[0] != '/') {
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd)) return {};
    path = JoinHost(cwd, path);
  }
  // Canonical form of the longest existing prefix, the rest as written.
  std::vector<std::string> parts;
  for (const std::string& p : base::Split(path, '/')) {
    if (p.empty() || p == ".") continue;
    if (p == "..") {
      if (!parts.empty()) parts.pop_back();
    } else {
      parts.push_back(p);
    }
  }
  std::string canonical = "/";
  size_t used = 0;
  for (size_t k = parts.size() + 1; k-- > 0;) {
    std::string prefix = "/";
    for (size_t j = 0; j < k; ++j) prefix = JoinHost(prefix, parts[j]);
    char buffer[PATH_MAX];
    if (realpath(prefix.c_str(), buffer)) {
      canonical = buffer;
      used = k;
      break;
    }
  }
  for (size_t j = used; j < parts.size(); ++j) canonical = JoinHost(canonical, parts[j]);

  char best = 0;
  size_t best_len = 0;
  for (char letter : LogicalDrives()) {
    std::optional<std::string> root = DriveRoot(letter);
    if (!root) continue;
    bool inside = *root == "/" || canonical == *root ||
                  (canonical.size() > root->size() && canonical.compare(0, root->size(), *root) == 0 &&
                   canonical[root->size()] == '/');
    if (inside && (!best || root->size() > best_len)) {
      best = letter;
      best_len = root->size();
    }
  }
  if (!best) return {};
  std::string rest = best_len == 1 ? canonical.substr(1) : canonical.substr(std::min(best_len + 1, canonical.size()));
  std::replace(rest.begin(), rest.end(), '/', '\\');
  return std::string(1, best) + ":\\" + rest;
}

std::string SimFileSystem::ShortNameOf(const std::string& folder, const std::string& name) {
  if (IsValidShortName(name)) return {};
  if (std::optional<std::string> alias = book_.AliasOf(folder, name)) return *alias;
  // Every entry of the folder gets its alias at once, so numbers follow name
  // order rather than the order of the requests.
  std::vector<std::string> entries = ReadFolder(folder);
  auto aliases = book_.Aliases(folder, entries, entries);
  auto it = aliases.find(name);
  return it == aliases.end() ? std::string() : it->second;
}

uint32_t SimFileSystem::AttributesOf(const std::string& host, const struct stat& st) {
  std::optional<uint32_t> stored = book_.GetBits(host, st.st_dev, st.st_ino, st.st_nlink > 1);
  uint32_t bits;
  if (S_ISDIR(st.st_mode)) {
    bits = attr::kDirectory | (stored ? *stored & (kRecordedBits | attr::kReadOnly) : 0);
  } else {
    bits = stored ? *stored & kRecordedBits : attr::kArchive;
    if (IsReadOnlyFile(st)) bits |= attr::kReadOnly;
  }
  struct stat own;
  if (lstat(host.c_str(), &own) == 0 && S_ISLNK(own.st_mode)) bits |= kReparsePoint;
  return bits ? bits : attr::kNormal;
}

void SimFileSystem::FillEntry(const std::string& host, const std::string& name,
                              const std::string& short_name, const struct stat& st, FileEntry* entry) {
  entry->name = name;
  entry->short_name = short_name;
  entry->attributes = AttributesOf(host, st);
  entry->size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
  entry->last_write = FileTimeOf(st.st_mtim);
}

Win32Error SimFileSystem::GetEntry(const std::string& path, FileEntry* entry) {
  Resolved r;
  if (Win32Error e = Resolve(path, &r)) return e;
  if (Win32Error e = r.NeedExisting()) return e;
  std::string host = r.Host();
  struct stat st;
  if (!StatPath(host, &st)) return Win32FromErrno(errno);
  *entry = FileEntry();
  if (r.IsRoot()) {
    FillEntry(host, "", "", st, entry);
    return err::kSuccess;
  }
  FillEntry(host, r.names.back(), ShortNameOf(r.ParentHost(), r.names.back()), st, entry);
  return err::kSuccess;
}

Win32Error SimFileSystem::StatExisting(const std::string& path, std::string* host, struct stat* st) {
  Resolved r;
  if (Win32Error e = Resolve(path, &r)) return e;
  if (Win32Error e = r.NeedExisting()) return e;
  *host = r.Host();
  if (stat(host->c_str(), st) != 0) return Win32FromErrno(errno);
  return err::kSuccess;
}

Win32Error SimFileSystem::SetAttributes(const std::string& path, uint32_t attributes) {
  std::string host;
  struct stat st;
  if (Win32Error e = StatExisting(path, &host, &st)) return e;
  uint32_t keep = (attributes & kStoredBits) | (AttributesOf(host, st) & attr::kCompressed);
  if (S_ISDIR(st.st_mode)) {
    keep |= attributes & attr::kReadOnly;
  } else {
    mode_t mode = st.st_mode & 07777;
    mode_t wanted = (attributes & attr::kReadOnly) ? (mode & ~mode_t{0222}) : (mode | S_IWUSR);
    if (wanted != mode && chmod(host.c_str(), wanted) != 0) return Win32FromErrno(errno);
  }
  return book_.SetBits(host, st.st_dev, st.st_ino, keep) ? err::kSuccess : err::kAccessDenied;
}

Win32Error SimFileSystem::SetCompression(const std::string& path, bool compressed) {
  std::string host;
  struct stat st;
  if (Win32Error e = StatExisting(path, &host, &st)) return e;
  uint32_t bits = AttributesOf(host, st) & (kStoredBits | attr::kReadOnly | attr::kCompressed);
  if (!S_ISDIR(st.st_mode)) bits &= ~attr::kReadOnly;  // read-only of files lives in the mode bits
  bits = compressed ? (bits | attr::kCompressed) : (bits & ~attr::kCompressed);
  return book_.SetBits(host, st.st_dev, st.st_ino, bits) ? err::kSuccess : err::kAccessDenied;
}

Win32Error SimFileSystem::SetLastWriteTime(const std::string& path, FileTime time) {
  Resolved r;
  if (Win32Error e = Resolve(path, &r)) return e;
  if (Win32Error e = r.NeedExisting()) return e;
  timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1] = TimespecOf(time);
  if (utimensat(AT_FDCWD, r.Host().c_str(), times, 0) != 0) return Win32FromErrno(errno);
  return err::kSuccess;
}

Win32Error SimFileSystem::List(const std::string& pattern, std::vector<FileEntry>* entries) {
  entries->clear();
  std::string norm = base::NormalizeWindowsPath(pattern);
  size_t slash = norm.rfind('\\');
  if (slash == std::string::npos) return err::kPathNotFound;
  std::string mask = norm.substr(slash + 1);
  if (mask.empty()) return err::kFileNotFound;
  if (Win32Error e = CheckComponent(mask, true)) return e;
  std::string folder_path = norm.substr(0, slash + 1);
  if (base::HasLongPathPrefix(pattern)) folder_path = "\\\\?\\" + folder_path;

  Resolved r;
  if (Win32Error e = Resolve(folder_path, &r)) return e;
  if (!r.Exists()) return err::kPathNotFound;
  std::string folder = r.Host();
  if (!IsFolder(folder)) return err::kPathNotFound;

  std::vector<std::string> names = ReadFolder(folder);
  std::map<std::string, std::string> aliases = book_.Aliases(folder, names, names);
  for (const std::string& name : names) {
    auto it = aliases.find(name);
    std::string short_name = it == aliases.end() ? std::string() : it->second;
    if (!base::WildcardMatch(mask, name) && (short_name.empty() || !base::WildcardMatch(mask, short_name))) {
      continue;
    }
    std::string host = JoinHost(folder, name);
    struct stat st;
    if (!StatPath(host, &st)) continue;
    FileEntry entry;
    FillEntry(host, name, short_name, st, &entry);
    entries->push_back(std::move(entry));
  }
  if (entries->empty()) return err::kFileNotFound;
  std::sort(entries->begin(), entries->end(), [](const FileEntry& a, const FileEntry& b) {
    int c = base::CompareNoCase(a.name, b.name);
    return c != 0 ? c < 0 : a.name < b.name;
  });
  return err::kSuccess;
}

Win32Error SimFileSystem::CreateFolder(const std::string& path) {
  Resolved r;
  if (Win32Error e = Resolve(path, &r)) return e;
  if (r.IsRoot()) return err::kAccessDenied;
  if (r.Exists()) return err::kAlreadyExists;
  if (Win32Error e = r.NeedParent()) return e;
  std::string host = r.Host();
  if (mkdir(host.c_str(), 0777) != 0) return Win32FromErrno(errno);
  book_.Forget(host);
  return err::kSuccess;
}

Win32Error SimFileSystem::CreateFolderTree(const std::string& path) {
  Resolved r;
  if (Win32Error e = Resolve(path, &r)) return e;
  if (r.Exists()) return IsFolder(r.Host()) ? err::kSuccess : err::kAlreadyExists;
  if (r.blocked) return err::kPathNotFound;
  for (size_t k = r.existing; k < r.names.size(); ++k) {
    std::string host = r.HostOf(k + 1);
    if (mkdir(host.c_str(), 0777) != 0) {
      if (errno == EEXIST && IsFolder(host)) continue;
      Win32Error e = Win32FromErrno(errno);
      return e == err::kFileNotFound ? err::kPathNotFound : e;
    }
    book_.Forget(host);
  }
  return err::kSuccess;
}

Win32Error SimFileSystem::RemoveFolder(const std::string& path) {
  Resolved r;
  if (Win32Error e = Resolve(path, &r)) return e;
  if (Win32Error e = r.NeedExisting()) return e;
  if (r.IsRoot()) return err::kAccessDenied;
  std::string host = r.Host();
  struct stat st;
  if (lstat(host.c_str(), &st) != 0) return Win32FromErrno(errno);
  if (S_ISLNK(st.st_mode)) {
    // A link to a folder goes away by itself; its target is not touched.
    if (!IsFolder(host)) return err::kDirectory;
    if (unlink(host.c_str()) != 0) return Win32FromErrno(errno);
    book_.Forget(host);
    return err::kSuccess;
  }
  if (!S_ISDIR(st.st_mode)) return err::kDirectory;
  if (AttributesOf(host, st) & attr::kReadOnly) return err::kAccessDenied;
  if (rmdir(host.c_str()) != 0) {
    if (errno == ENOTEMPTY || errno == EEXIST) return err::kDirNotEmpty;
    return Win32FromErrno(errno);
  }
  book_.Forget(host);
  return err::kSuccess;
}

Win32Error SimFileSystem::DeleteFile(const std::string& path) {
  Resolved r;
  if (Win32Error e = Resolve(path, &r)) return e;
  if (Win32Error e = r.NeedExisting()) return e;
  if (r.IsRoot()) return err::kAccessDenied;
  std::string host = r.Host();
  struct stat st;
  if (lstat(host.c_str(), &st) != 0) return Win32FromErrno(errno);
  if (S_ISDIR(st.st_mode)) return err::kAccessDenied;
  if (!S_ISLNK(st.st_mode) && IsReadOnlyFile(st)) return err::kAccessDenied;
  if (Win32Error e = ProbeInUse(host)) return e;
  if (unlink(host.c_str()) != 0) return Win32FromErrno(errno);
  book_.Forget(host);
  return err::kSuccess;
}

Win32Error SimFileSystem::RecordPending(const std::string& from, const std::string& to, uint32_t flags) {
  std::string full_from, full_to;
  if (Win32Error e = GetFullPath(from, &full_from)) return e;
  if (!to.empty()) {
    if (Win32Error e = GetFullPath(to, &full_to)) return e;
  }
  std::vector<std::string> items;
  RegValue current;
  Win32Error e = registry_.GetValue(RegRoot::kLocalMachine, kSessionManager, kPendingValue, RegView::k64,
                                    &current);
  if (e == err::kSuccess) {
    items = DecodePendingList(current.data);
    if (items.size() % 2) items.pop_back();
  } else if (e != err::kFileNotFound) {
    return e;
  }
  items.push_back(kNtPrefix + full_from);
  if (to.empty()) {
    items.emplace_back();
  } else {
    items.push_back(((flags & move::kReplaceExisting) ? "!" : "") + std::string(kNtPrefix) + full_to);
  }
  if (Win32Error c = registry_.CreateKey(RegRoot::kLocalMachine, kSessionManager, RegView::k64)) return c;
  RegValue value;
  value.type = regtype::kMultiSz;
  value.data = EncodePendingList(items);
  return registry_.SetValue(RegRoot::kLocalMachine, kSessionManager, kPendingValue, RegView::k64, value);
}

Win32Error SimFileSystem::MoveFile(const std::string& from, const std::string& to, uint32_t flags) {
  if (flags & move::kDelayUntilReboot) {
    if (flags & move::kCopyAllowed) return err::kInvalidParameter;
    return RecordPending(from, to, flags);
  }
  Resolved src, dst;
  if (Win32Error e = Resolve(from, &src)) return e;
  if (Win32Error e = src.NeedExisting()) return e;
  if (to.empty()) return err::kPathNotFound;
  if (Win32Error e = Resolve(to, &dst)) return e;
  if (Win32Error e = dst.NeedParent()) return e;
  if (src.IsRoot() || dst.IsRoot()) return err::kAccessDenied;

  std::string src_host = src.Host();
  struct stat sst;
  if (lstat(src_host.c_str(), &sst) != 0) return Win32FromErrno(errno);
  const bool src_is_folder = S_ISDIR(sst.st_mode);
  std::string target = dst.Exists() ? dst.Host() : JoinHost(dst.ParentHost(), dst.given.back());
  const bool same_entry = dst.Exists() && target == src_host;
  if (same_entry) {
    // A change of letter case only.
    target = JoinHost(dst.ParentHost(), dst.given.back());
    if (target == src_host) return err::kSuccess;
  }
  // A file in use may be renamed on its own volume (as a loaded program
  // can), but not moved to another one, which copies and deletes it.
  if (!src_is_folder && src.drive != dst.drive) {
    if (Win32Error e = ProbeInUse(src_host)) return e;
  }
  if (dst.Exists() && !same_entry) {
    if (!(flags & move::kReplaceExisting)) return err::kAlreadyExists;
    struct stat tst;
    if (stat(target.c_str(), &tst) != 0) return Win32FromErrno(errno);
    if (S_ISDIR(tst.st_mode) || src_is_folder || IsReadOnlyFile(tst)) return err::kAccessDenied;
    if (ProbeInUse(target)) return err::kAccessDenied;
  }

  if (src.drive == dst.drive) {
    struct stat tst;
    if (dst.Exists() && !same_entry && stat(target.c_str(), &tst) == 0 && tst.st_dev == sst.st_dev &&
        tst.st_ino == sst.st_ino) {
      // Two names of one file: rename(2) would keep both, Windows keeps one.
      if (unlink(src_host.c_str()) != 0) return Win32FromErrno(errno);
      book_.Forget(src_host);
      return err::kSuccess;
    }
    if (rename(src_host.c_str(), target.c_str()) == 0) {
      book_.Moved(src_host, target);
      return err::kSuccess;
    }
    if (errno != EXDEV) {
      Win32Error e = Win32FromErrno(errno);
      return e == err::kFileNotFound ? err::kPathNotFound : e;
    }
  }
  if (!(flags & move::kCopyAllowed) || src_is_folder) return err::kNotSameDevice;
  if (Win32Error e = CopyResolved(src, dst, false, {})) return e;
  if (unlink(src_host.c_str()) != 0) return Win32FromErrno(errno);
  book_.Forget(src_host);
  return err::kSuccess;
}

Win32Error SimFileSystem::CopyFile(const std::string& from, const std::string& to, bool fail_if_exists,
                                   const CopyProgress& progress) {
  Resolved src, dst;
  if (Win32Error e = Resolve(from, &src)) return e;
  if (Win32Error e = src.NeedExisting()) return e;
  if (Win32Error e = Resolve(to, &dst)) return e;
  if (Win32Error e = dst.NeedParent()) return e;
  if (dst.IsRoot()) return err::kAccessDenied;
  return CopyResolved(src, dst, fail_if_exists, progress);
}

Win32Error SimFileSystem::CopyResolved(const Resolved& src, const Resolved& dst, bool fail_if_exists,
                                       const CopyProgress& progress) {
  std::string src_host = src.Host();
  std::string target = dst.Exists() ? dst.Host() : JoinHost(dst.ParentHost(), dst.given.back());
  struct stat sst;
  if (stat(src_host.c_str(), &sst) != 0) return Win32FromErrno(errno);
  if (S_ISDIR(sst.st_mode)) return err::kAccessDenied;
  if (dst.Exists()) {
    if (target == src_host) return err::kSharingViolation;
    if (fail_if_exists) return err::kFileExists;
    struct stat tst;
    if (stat(target.c_str(), &tst) != 0) return Win32FromErrno(errno);
    // Another name of the source itself: truncating it would lose the data.
    if (tst.st_dev == sst.st_dev && tst.st_ino == sst.st_ino) return err::kSharingViolation;
    if (S_ISDIR(tst.st_mode) || IsReadOnlyFile(tst)) return err::kAccessDenied;
  }

  int in = open(src_host.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (in < 0) return Win32FromErrno(errno);
  struct Closer {
    int& fd;
    ~Closer() {
      if (fd >= 0) close(fd);
    }
  } close_in{in};
  if (Win32Error e = LockOrFail(in, false)) return e;

  int out = open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
  if (out < 0) return Win32FromErrno(errno);
  Closer close_out{out};
  if (Win32Error e = LockOrFail(out, true)) return e;
  auto fail = [&](Win32Error e) {
    close(out);
    out = -1;
    unlink(target.c_str());
    book_.Forget(target);
    return e;
  };
  if (ftruncate(out, 0) != 0) return fail(Win32FromErrno(errno));

  const uint64_t total = static_cast<uint64_t>(sst.st_size);
  uint64_t done = 0;
  if (progress && !progress(done, total)) return fail(err::kRequestAborted);
  std::vector<char> buffer(1 << 16);
  for (;;) {
    ssize_t n = read(in, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(Win32FromErrno(errno));
    }
    if (n == 0) break;
    for (ssize_t off = 0; off < n;) {
      ssize_t w = write(out, buffer.data() + off, static_cast<size_t>(n - off));
      if (w < 0) {
        if (errno == EINTR) continue;
        return fail(Win32FromErrno(errno));
      }
      off += w;
    }
    done += static_cast<uint64_t>(n);
    if (progress && !progress(done, total)) return fail(err::kRequestAborted);
  }
  // The copy keeps the source's last-write time and read-only bit.
  timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1] = sst.st_mtim;
  futimens(out, times);
  fchmod(out, sst.st_mode & 07777);
  struct stat tst;
  if (fstat(out, &tst) != 0) return fail(Win32FromErrno(errno));

  std::optional<uint32_t> bits = book_.GetBits(src_host, sst.st_dev, sst.st_ino, sst.st_nlink > 1);
  book_.Forget(target);
  if (bits) book_.SetBits(target, tst.st_dev, tst.st_ino, (*bits & kStoredBits) | attr::kArchive);
  return err::kSuccess;
}

Win32Error SimFileSystem::CreateHardLink(const std::string& link, const std::string& existing) {
  Resolved src, dst;
  if (Win32Error e = Resolve(existing, &src)) return e;
  if (Win32Error e = src.NeedExisting()) return e;
  if (Win32Error e = Resolve(link, &dst)) return e;
  if (dst.Exists()) return err::kAlreadyExists;
  if (Win32Error e = dst.NeedParent()) return e;
  if (src.drive != dst.drive) return err::kNotSameDevice;
  std::string src_host = src.Host();
  struct stat sst;
  if (stat(src_host.c_str(), &sst) != 0) return Win32FromErrno(errno);
  if (S_ISDIR(sst.st_mode)) return err::kAccessDenied;
  std::string target = dst.Host();
  if (::link(src_host.c_str(), target.c_str()) != 0) return Win32FromErrno(errno);
  book_.Forget(target);
  return err::kSuccess;
}

Win32Error SimFileSystem::GetLinkCount(const std::string& path, uint32_t* count) {
  Resolved r;
  if (Win32Error e = Resolve(path, &r)) return e;
  if (Win32Error e = r.NeedExisting()) return e;
  struct stat st;
  if (stat(r.Host().c_str(), &st) != 0) return Win32FromErrno(errno);
  *count = static_cast<uint32_t>(st.st_nlink);
  return err::kSuccess;
}

Win32Error SimFileSystem::Open(const std::string& path, OpenMode mode, ShareMode share,
                               std::unique_ptr<File>* file) {
  file->reset();
  Resolved r;
  if (Win32Error e = Resolve(path, &r)) return e;
  const bool must_exist = mode == OpenMode::kRead || mode == OpenMode::kReadWrite;
  if (Win32Error e = must_exist ? r.NeedExisting() : r.NeedParent()) return e;
  if (r.IsRoot()) return err::kAccessDenied;
  const bool writes = mode != OpenMode::kRead;
  std::string host = r.Exists() ? r.Host() : JoinHost(r.ParentHost(), r.given.back());
  const bool existed = r.Exists();
  if (existed) {
    struct stat st;
    if (stat(host.c_str(), &st) != 0) return Win32FromErrno(errno);
    if (S_ISDIR(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return err::kAccessDenied;
    if (writes && IsReadOnlyFile(st)) return err::kAccessDenied;
  }
  int flags = O_CLOEXEC | O_NOCTTY;
  switch (mode) {
    case OpenMode::kRead: flags |= O_RDONLY; break;
    case OpenMode::kWrite: flags |= O_WRONLY | O_CREAT; break;
    case OpenMode::kReadWrite: flags |= O_RDWR; break;
    case OpenMode::kAppend: flags |= O_WRONLY | O_CREAT | O_APPEND; break;
  }
  int fd = open(host.c_str(), flags, 0666);
  if (fd < 0) return Win32FromErrno(errno);
  if (Win32Error e = LockOrFail(fd, share == ShareMode::kExclusive)) {
    close(fd);
    return e;
  }
  // Truncation waits for the lock, so a file in use keeps its content.
  if (mode == OpenMode::kWrite && ftruncate(fd, 0) != 0) {
    Win32Error e = Win32FromErrno(errno);
    close(fd);
    return e;
  }
  if (!existed) {
    book_.Forget(host);
  } else if (writes) {
    struct stat st;
    if (fstat(fd, &st) == 0) {
      std::optional<uint32_t> bits = book_.GetBits(host, st.st_dev, st.st_ino, st.st_nlink > 1);
      if (bits && !(*bits & attr::kArchive)) book_.SetBits(host, st.st_dev, st.st_ino, *bits | attr::kArchive);
    }
  }
  *file = std::make_unique<SimFile>(fd);
  return err::kSuccess;
}

Win32Error SimFileSystem::GetFullPath(const std::string& path, std::string* full) {
  if (path.empty()) return err::kInvalidName;
  std::string norm = base::NormalizeWindowsPath(path);
  if (!base::IsAbsolutePath(norm)) return err::kPathNotFound;
  *full = norm;
  return err::kSuccess;
}

Win32Error SimFileSystem::GetShortPath(const std::string& path, std::string* short_path) {
  Resolved r;
  if (Win32Error e = Resolve(path, &r)) return e;
  if (Win32Error e = r.NeedExisting()) return e;
  std::string out = std::string(1, r.drive) + ":\\";
  for (size_t k = 0; k < r.names.size(); ++k) {
    std::string alias = ShortNameOf(r.HostOf(k), r.names[k]);
    out += (k ? "\\" : "") + (alias.empty() ? r.names[k] : alias);
  }
  *short_path = out;
  return err::kSuccess;
}

Win32Error SimFileSystem::GetLongPath(const std::string& path, std::string* long_path) {
  Resolved r;
  if (Win32Error e = Resolve(path, &r)) return e;
  if (Win32Error e = r.NeedExisting()) return e;
  *long_path = r.WindowsPath();
  return err::kSuccess;
}

std::optional<uint64_t> SimFileSystem::FactNumber(const std::string& name) {
  try {
    std::optional<std::string> text = store_.GetFact(name);
    if (!text || text->empty()) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(text->c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || (*text)[0] == '-') return std::nullopt;
    return static_cast<uint64_t>(v);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

Win32Error SimFileSystem::GetVolumeSpace(const std::string& path, uint64_t* free_bytes,
                                         uint64_t* total_bytes) {
  char letter = base::DriveLetterOf(base::NormalizeWindowsPath(path));
  if (!letter) return err::kPathNotFound;
  std::optional<std::string> root = DriveRoot(letter);
  if (!root) return err::kPathNotFound;
  std::string prefix = std::string("drive.") + static_cast<char>(std::tolower(letter)) + ".";
  std::optional<uint64_t> free_fact = FactNumber(prefix + "free");
  std::optional<uint64_t> total_fact = FactNumber(prefix + "total");
  struct statvfs vfs {};
  if ((!free_fact || !total_fact) && statvfs(root->c_str(), &vfs) != 0) return Win32FromErrno(errno);
  *free_bytes = free_fact ? *free_fact : static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
  *total_bytes = total_fact ? *total_fact : static_cast<uint64_t>(vfs.f_blocks) * vfs.f_frsize;
  return err::kSuccess;
}

DriveType SimFileSystem::GetDriveType(const std::string& root) {
  std::string_view p = root;
  if (base::HasLongPathPrefix(p)) p.remove_prefix(4);
  bool shape = (p.size() == 2 || (p.size() == 3 && (p[2] == '\\' || p[2] == '/'))) && p[1] == ':';
  if (!shape) return DriveType::kNoRootDir;
  char letter = base::DriveLetterOf(p);
  if (!letter || !DriveRoot(letter)) return DriveType::kNoRootDir;
  std::optional<uint64_t> type =
      FactNumber(std::string("drive.") + static_cast<char>(std::tolower(letter)) + ".type");
  if (type && *type <= static_cast<uint64_t>(DriveType::kRamDisk)) return static_cast<DriveType>(*type);
  return DriveType::kFixed;
}

void SimFileSystem::SetDriveType(char letter, DriveType type) {
  if (!std::isalpha(static_cast<unsigned char>(letter))) return;
  try {
    store_.SetFact(std::string("drive.") + static_cast<char>(std::tolower(letter)) + ".type",
                   std::to_string(static_cast<uint32_t>(type)));
  } catch (const std::exception&) {
  }
}

std::string SimFileSystem::LogicalDrives() {
  std::string letters;
  for (const std::string& name : ReadFolder(machine_dir_ + "/dosdevices")) {
    if (name.size() != 2 || name[1] != ':' || !std::isalpha(static_cast<unsigned char>(name[0]))) continue;
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    if (letters.find(letter) == std::string::npos && DriveRoot(letter)) letters.push_back(letter);
  }
  std::sort(letters.begin(), letters.end());
  return letters;
}

Win32Error SimFileSystem::ProcessPendingRenames() {
  RegValue value;
  Win32Error e = registry_.GetValue(RegRoot::kLocalMachine, kSessionManager, kPendingValue, RegView::k64,
                                    &value);
  if (e == err::kFileNotFound) return err::kSuccess;
  if (e != err::kSuccess) return e;
  std::vector<std::string> items = DecodePendingList(value.data);
  auto strip = [](std::string s) {
    if (s.compare(0, 4, kNtPrefix) == 0) s.erase(0, 4);
    return s;
  };
  Win32Error first = err::kSuccess;
  for (size_t i = 0; i + 1 < items.size(); i += 2) {
    std::string from = strip(items[i]);
    std::string to = items[i + 1];
    Win32Error r;
    if (to.empty()) {
      // Nothing runs during a restart, so read-only is no obstacle.
      Resolved src;
      r = Resolve(from, &src);
      if (!r) r = src.NeedExisting();
      if (!r) {
        std::string host = src.Host();
        if (IsFolder(host)) {
          r = RemoveFolder(from);
        } else {
          r = unlink(host.c_str()) == 0 ? err::kSuccess : Win32FromErrno(errno);
          if (!r) book_.Forget(host);
        }
      }
      // A deletion whose file is already gone has nothing left to do.
      if (r == err::kFileNotFound || r == err::kPathNotFound) r = err::kSuccess;
    } else {
      uint32_t flags = 0;
      if (to[0] == '!') {
        flags |= move::kReplaceExisting;
        to.erase(0, 1);
      }
      r = MoveFile(from, strip(to), flags);
    }
    if (r && !first) first = r;
  }
  Win32Error d = registry_.DeleteValue(RegRoot::kLocalMachine, kSessionManager, kPendingValue, RegView::k64);
  if (!first && d && d != err::kFileNotFound) first = d;
  return first;
}

}  // namespace kestrawl::platform::sim

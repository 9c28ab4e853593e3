#include "archive/archive_operations.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <cstdlib>
#include <unordered_set>

#include "archive/seven_zip_program.h"
#include "archive/zel_text.h"

namespace kestrawl::zel {
namespace {

// A temporary 7-Zip list file (one UTF-8 name per line), removed on scope exit.
class ListFile {
 public:
  explicit ListFile(const std::vector<std::string>& names) {
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/zel-list-XXXXXX";
    const int fd = mkstemp(templ.data());
    if (fd < 0) return;
    std::string data;
    for (const auto& n : names) {
      if (n.find('\n') != std::string::npos) continue;  // cannot be named in a list file
      data += n;
      data += '\n';
    }
    size_t written = 0;
    while (written < data.size()) {
      const ssize_t w = write(fd, data.data() + written, data.size() - written);
      if (w <= 0) break;
      written += static_cast<size_t>(w);
    }
    close(fd);
    path_ = templ;
    ok_ = written == data.size();
  }
  ~ListFile() {
    if (!path_.empty()) unlink(path_.c_str());
  }
  ListFile(const ListFile&) = delete;
  ListFile& operator=(const ListFile&) = delete;

  bool ok() const { return ok_; }
  std::string argument() const { return "@" + path_; }

 private:
  std::string path_;
  bool ok_ = false;
};

// A path that 7-Zip must not read as a switch or a list file.
std::string PathArgument(const std::string& path) {
  if (!path.empty() && (path[0] == '-' || path[0] == '@')) return "./" + path;
  return path;
}

bool IsFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::vector<std::string> ItemNames(const std::vector<std::string>& items) {
  std::vector<std::string> names;
  names.reserve(items.size());
  for (const auto& item : items) {
    std::string name = HostPath(item);
    while (!name.empty() && name[0] == '/') name.erase(0, 1);
    names.push_back(std::move(name));
  }
  return names;
}

bool AskPassword(ZelPasswordCallback callback, std::string& password) {
  if (!callback) return false;
  char16_t buffer[257] = {};
  if (callback(buffer) != 1) return false;
  buffer[256] = 0;
  password = FromUtf16(buffer);
  return true;
}

bool Opened(const Callbacks& callbacks, const std::string& archive, uint32_t operation) {
  if (!callbacks.open) return true;
  const std::u16string path = ToUtf16(archive);
  return callbacks.open(path.c_str(), operation) != 0;
}

int RunListing(const std::string& archive, const std::string& password,
               std::vector<ArchiveEntry>& entries, bool& wrong_password) {
  const SevenZipRun run = RunSevenZip(Operation::kList, "l",
                                      {"-slt", "-ba", "-p" + password, PathArgument(archive)}, nullptr);
  wrong_password = run.code != ZEL_OK && MentionsWrongPassword(run.messages);
  if (run.code == ZEL_OK) entries = ParseTechnicalListing(run.output);
  return run.code;
}

// Lists the archive, asking the password callback when no password was
// given and the headers are encrypted.
int ListWithPassword(const std::string& archive, std::string& password, ZelPasswordCallback callback,
                     std::vector<ArchiveEntry>& entries) {
  if (!IsFile(archive)) return ZEL_E_CANNOT_OPEN;
  bool wrong_password = false;
  int code = RunListing(archive, password, entries, wrong_password);
  if (code == ZEL_E_CANNOT_OPEN && wrong_password && password.empty() && AskPassword(callback, password))
    code = RunListing(archive, password, entries, wrong_password);
  return code;
}

// Reads the headers before extracting or testing: finds out whether a
// password is needed (and asks for it) and the total size to report.
int Probe(const std::string& archive, std::string& password, ZelPasswordCallback callback,
          const std::vector<std::string>* names, uint64_t& total) {
  std::vector<ArchiveEntry> entries;
  const int code = ListWithPassword(archive, password, callback, entries);
  if (code != ZEL_OK) return code;
  if (password.empty() && std::any_of(entries.begin(), entries.end(), [](const ArchiveEntry& e) { return e.encrypted; }))
    AskPassword(callback, password);
  std::unordered_set<std::string> wanted;
  if (names) wanted.insert(names->begin(), names->end());
  total = 0;
  for (const auto& e : entries) {
    bool selected = !names || wanted.count(e.path) > 0;
    for (size_t slash = e.path.rfind('/'); !selected && slash != std::string::npos && slash > 0;
         slash = e.path.rfind('/', slash - 1))
      selected = wanted.count(e.path.substr(0, slash)) > 0;
    if (selected) total += e.size;
  }
  return ZEL_OK;
}

// Progress in the callback's terms: bytes when the total is known (from the
// header listing or 7-Zip's announcement), else percent of 100.
PercentSink ProgressSink(ZelProgressCallback callback, uint64_t& total) {
  if (!callback) return [](const std::string&, int, uint64_t) { return true; };
  return [callback, &total](const std::string& file, int percent, uint64_t announced) {
    if (total == 0) total = announced;
    const uint64_t whole = total ? total : 100;
    const uint64_t done = whole / 100 * static_cast<uint64_t>(percent) + whole % 100 * static_cast<uint64_t>(percent) / 100;
    const std::u16string name = ToUtf16(ReportedName(file));
    return callback(name.c_str(), done, whole) != 0;
  };
}

void ReportFinished(ZelProgressCallback callback, uint64_t total) {
  if (!callback) return;
  const uint64_t whole = total ? total : 100;
  callback(u"", whole, whole);
}

const char* KindName(uint32_t kind) {
  switch (kind) {
    case ZEL_KIND_ZIP: return "zip";
    case ZEL_KIND_TAR: return "tar";
    case ZEL_KIND_GZIP: return "gzip";
    case ZEL_KIND_BZIP2: return "bzip2";
    case ZEL_KIND_XZ: return "xz";
    case ZEL_KIND_WIM: return "wim";
    default: return "7z";
  }
}

std::vector<std::string> SplitOnBlanks(const std::string& text) {
  std::vector<std::string> parts;
  std::string current;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (!current.empty()) parts.push_back(std::move(current));
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  if (!current.empty()) parts.push_back(std::move(current));
  return parts;
}

}  // namespace

int ListEntries(const std::string& archive_in, std::string password, const Callbacks& callbacks,
                std::vector<ArchiveEntry>& entries) {
  const std::string archive = HostPath(archive_in);
  if (!Opened(callbacks, archive, ZEL_OP_LIST)) return ZEL_E_CANCELLED;
  return ListWithPassword(archive, password, callbacks.password, entries);
}

int ExtractItems(const std::string& archive_in, const std::string& destination,
                 const std::vector<std::string>* items, bool full_paths, std::string password,
                 const Callbacks& callbacks) {
  const std::string archive = HostPath(archive_in);
  if (destination.empty()) return ZEL_E_ARGUMENT;
  if (!IsFile(archive)) return ZEL_E_CANNOT_OPEN;
  if (!Opened(callbacks, archive, ZEL_OP_EXTRACT)) return ZEL_E_CANCELLED;
  if (items && items->empty()) return ZEL_OK;

  std::vector<std::string> names;
  if (items) names = ItemNames(*items);
  uint64_t total = 0;
  if (callbacks.progress || (password.empty() && callbacks.password)) {
    const int code = Probe(archive, password, callbacks.password, items ? &names : nullptr, total);
    if (code != ZEL_OK) return code;
  }

  const std::string dest = HostPath(destination);
  bool skip_existing = false;
  if (callbacks.overwrite) {
    const std::u16string dest16 = ToUtf16(dest), archive16 = ToUtf16(archive);
    skip_existing = callbacks.overwrite(dest16.c_str(), 0, 0, archive16.c_str(), 0, 0) == ZEL_OVERWRITE_SKIP;
  }

  std::vector<std::string> args = {"-spd", "-p" + password, "-o" + dest, skip_existing ? "-aos" : "-aoa",
                                   PathArgument(archive)};
  std::optional<ListFile> list;
  if (items) {
    list.emplace(names);
    if (!list->ok()) return ZEL_E_CANNOT_WRITE;
    args.push_back(list->argument());
  }
  const SevenZipRun run = RunSevenZip(Operation::kExtract, full_paths ? "x" : "e", args,
                                      ProgressSink(callbacks.progress, total));
  if (run.code == ZEL_OK) ReportFinished(callbacks.progress, total);
  return run.code;
}

int TestItems(const std::string& archive_in, std::string password, const Callbacks& callbacks) {
  const std::string archive = HostPath(archive_in);
  if (!IsFile(archive)) return ZEL_E_CANNOT_OPEN;
  if (!Opened(callbacks, archive, ZEL_OP_TEST)) return ZEL_E_CANCELLED;
  uint64_t total = 0;
  if (callbacks.progress || (password.empty() && callbacks.password)) {
    const int code = Probe(archive, password, callbacks.password, nullptr, total);
    if (code != ZEL_OK) return code;
  }
  const SevenZipRun run = RunSevenZip(Operation::kTest, "t", {"-p" + password, PathArgument(archive)},
                                      ProgressSink(callbacks.progress, total));
  if (run.code == ZEL_OK) ReportFinished(callbacks.progress, total);
  return run.code;
}

int CreateFromFiles(const std::string& archive_in, uint32_t kind, const std::vector<std::string>& inputs,
                    uint32_t update_mode, const std::string& switches, const std::string& password,
                    const Callbacks& callbacks) {
  const std::string archive = HostPath(archive_in);
  if (archive.empty()) return ZEL_E_ARGUMENT;
  if (!Opened(callbacks, archive, ZEL_OP_CREATE)) return ZEL_E_CANCELLED;
  std::vector<std::string> paths;
  for (const auto& input : inputs) paths.push_back(HostPath(input));
  ListFile list(paths);
  if (!list.ok()) return ZEL_E_CANNOT_WRITE;

  // -sae: the archive gets exactly the given name (no added extension).
  std::vector<std::string> args = {std::string("-t") + KindName(kind), "-sae"};
  // 7-Zip asks on standard input for an empty -p when writing, so a
  // password switch is passed only when there is a password.
  if (!password.empty()) args.push_back("-p" + password);
  if (update_mode == ZEL_UPDATE_SYNC) args.push_back("-up1q0r2x1y2z1w2");
  for (auto& s : SplitOnBlanks(switches)) args.push_back(std::move(s));
  args.push_back(PathArgument(archive));
  args.push_back(list.argument());
  const char* command = update_mode == ZEL_UPDATE_NEWER || update_mode == ZEL_UPDATE_SYNC ? "u" : "a";
  uint64_t total = 0;
  const SevenZipRun run = RunSevenZip(Operation::kCreate, command, args, ProgressSink(callbacks.progress, total));
  if (run.code == ZEL_OK) ReportFinished(callbacks.progress, total);
  return run.code;
}

int DeleteItems(const std::string& archive_in, const std::vector<std::string>& items,
                std::string password, const Callbacks& callbacks) {
  const std::string archive = HostPath(archive_in);
  if (!IsFile(archive)) return ZEL_E_CANNOT_OPEN;
  if (!Opened(callbacks, archive, ZEL_OP_DELETE)) return ZEL_E_CANCELLED;
  if (items.empty()) return ZEL_OK;
  if (password.empty()) {
    // 7-Zip would ask for the password of encrypted headers on standard input.
    std::vector<ArchiveEntry> entries;
    const int code = ListWithPassword(archive, password, nullptr, entries);
    if (code != ZEL_OK) return code;
  }
  ListFile list(ItemNames(items));
  if (!list.ok()) return ZEL_E_CANNOT_WRITE;
  std::vector<std::string> args = {"-spd"};
  if (!password.empty()) args.push_back("-p" + password);
  args.push_back(PathArgument(archive));
  args.push_back(list.argument());
  uint64_t total = 0;
  const SevenZipRun run = RunSevenZip(Operation::kDelete, "d", args, ProgressSink(callbacks.progress, total));
  if (run.code == ZEL_OK) ReportFinished(callbacks.progress, total);
  return run.code;
}

}  // namespace kestrawl::zel

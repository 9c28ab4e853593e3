#include "platform/sim/sim_fs_book.h"

#include <algorithm>
#include <set>
#include <stdexcept>

#include "base/text.h"
#include "platform/sim/sim_fs_short_names.h"

namespace kestrawl::platform::sim {

namespace {

// SQL condition "column is path or below it" with the path bound twice.
// The path itself or anything below it, written as a range so that SQLite
// answers it from the column's index ('0' is the byte after '/'): a scan of
// the whole table per file made every copy slower as the machine grew.
constexpr const char* kBelow = "(%s = ?1 OR (%s >= ?1 || '/' AND %s < ?1 || '0'))";

std::string Below(const char* column) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, kBelow, column, column, column);
  return buffer;
}

std::pair<std::string, std::string> SplitParent(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {"", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

}  // namespace

SimFsBook::SimFsBook(SimStore& store) : store_(store) {
  try {
    store_.Exec(
        "CREATE TABLE IF NOT EXISTS fs_attributes (path TEXT PRIMARY KEY, dev INTEGER NOT NULL, "
        "ino INTEGER NOT NULL, bits INTEGER NOT NULL)");
    store_.Exec("CREATE INDEX IF NOT EXISTS fs_attributes_inode ON fs_attributes(dev, ino)");
    store_.Exec(
        "CREATE TABLE IF NOT EXISTS fs_short_names (folder TEXT NOT NULL, long_name TEXT NOT NULL, "
        "short_name TEXT NOT NULL, PRIMARY KEY(folder, long_name))");
    store_.Exec(
        "CREATE UNIQUE INDEX IF NOT EXISTS fs_short_names_alias ON fs_short_names(folder, short_name)");
    ready_ = true;
  } catch (const std::exception&) {
    ready_ = false;
  }
}

std::optional<uint32_t> SimFsBook::GetBits(const std::string& path, dev_t dev, ino_t ino,
                                           bool other_names) {
  std::lock_guard lock(mutex_);
  if (!ready_) return std::nullopt;
  try {
    Statement st(store_.db(), "SELECT dev, ino, bits FROM fs_attributes WHERE path = ?");
    st.Bind(1, path);
    if (st.Step() && st.Int(0) == static_cast<int64_t>(dev) && st.Int(1) == static_cast<int64_t>(ino)) {
      return static_cast<uint32_t>(st.Int(2));
    }
    if (!other_names) return std::nullopt;
    Statement other(store_.db(), "SELECT bits FROM fs_attributes WHERE dev = ? AND ino = ? LIMIT 1");
    other.Bind(1, static_cast<int64_t>(dev)).Bind(2, static_cast<int64_t>(ino));
    if (other.Step()) return static_cast<uint32_t>(other.Int(0));
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

bool SimFsBook::SetBits(const std::string& path, dev_t dev, ino_t ino, uint32_t bits) {
  std::lock_guard lock(mutex_);
  if (!ready_) return false;
  try {
    return store_.Transaction([&] {
      Statement st(store_.db(),
                   "INSERT INTO fs_attributes(path, dev, ino, bits) VALUES(?, ?, ?, ?) "
                   "ON CONFLICT(path) DO UPDATE SET dev = excluded.dev, ino = excluded.ino, "
                   "bits = excluded.bits");
      st.Bind(1, path).Bind(2, static_cast<int64_t>(dev)).Bind(3, static_cast<int64_t>(ino));
      st.Bind(4, static_cast<int64_t>(bits));
      st.Step();
      Statement links(store_.db(), "UPDATE fs_attributes SET bits = ? WHERE dev = ? AND ino = ?");
      links.Bind(1, static_cast<int64_t>(bits)).Bind(2, static_cast<int64_t>(dev));
      links.Bind(3, static_cast<int64_t>(ino));
      links.Step();
      return true;
    });
  } catch (const std::exception&) {
    return false;
  }
}

void SimFsBook::Forget(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (!ready_) return;
  try {
    store_.Transaction([&] {
      std::string attrs = "DELETE FROM fs_attributes WHERE " + Below("path");
      Statement a(store_.db(), attrs.c_str());
      a.Bind(1, path);
      a.Step();
      std::string names = "DELETE FROM fs_short_names WHERE " + Below("folder");
      Statement n(store_.db(), names.c_str());
      n.Bind(1, path);
      n.Step();
      auto [parent, name] = SplitParent(path);
      Statement own(store_.db(), "DELETE FROM fs_short_names WHERE folder = ? AND long_name = ?");
      own.Bind(1, parent).Bind(2, name);
      own.Step();
      return true;
    });
  } catch (const std::exception&) {
  }
}

void SimFsBook::Moved(const std::string& from, const std::string& to) {
  std::lock_guard lock(mutex_);
  if (!ready_) return;
  try {
    store_.Transaction([&] {
      // Rows already at the destination belong to what the move replaced.
      std::string clear_attrs = "DELETE FROM fs_attributes WHERE " + Below("path");
      Statement c1(store_.db(), clear_attrs.c_str());
      c1.Bind(1, to);
      c1.Step();
      std::string clear_names = "DELETE FROM fs_short_names WHERE " + Below("folder");
      Statement c2(store_.db(), clear_names.c_str());
      c2.Bind(1, to);
      c2.Step();

      std::string attrs = "UPDATE fs_attributes SET path = ?2 || substr(path, length(?1) + 1) WHERE " +
                          Below("path");
      Statement a(store_.db(), attrs.c_str());
      a.Bind(1, from).Bind(2, to);
      a.Step();
      std::string names = "UPDATE fs_short_names SET folder = ?2 || substr(folder, length(?1) + 1) WHERE " +
                          Below("folder");
      Statement n(store_.db(), names.c_str());
      n.Bind(1, from).Bind(2, to);
      n.Step();
      for (const std::string& p : {from, to}) {
        auto [parent, name] = SplitParent(p);
        Statement own(store_.db(), "DELETE FROM fs_short_names WHERE folder = ? AND long_name = ?");
        own.Bind(1, parent).Bind(2, name);
        own.Step();
      }
      return true;
    });
  } catch (const std::exception&) {
  }
}

std::map<std::string, std::string> SimFsBook::Aliases(const std::string& folder,
                                                      const std::vector<std::string>& entries,
                                                      const std::vector<std::string>& wanted) {
  std::lock_guard lock(mutex_);
  std::map<std::string, std::string> rows;
  if (!ready_) return rows;
  try {
    store_.Transaction([&] {
      Statement st(store_.db(), "SELECT long_name, short_name FROM fs_short_names WHERE folder = ?");
      st.Bind(1, folder);
      while (st.Step()) rows[st.Text(0)] = st.Text(1);

      std::set<std::string> present(entries.begin(), entries.end());
      std::set<std::string> used;
      for (const std::string& name : entries) used.insert(base::AsciiUpper(name));
      for (auto it = rows.begin(); it != rows.end();) {
        if (present.count(it->first)) {
          used.insert(it->second);
          ++it;
          continue;
        }
        Statement del(store_.db(), "DELETE FROM fs_short_names WHERE folder = ? AND long_name = ?");
        del.Bind(1, folder).Bind(2, it->first);
        del.Step();
        it = rows.erase(it);
      }
      // New aliases are numbered in name order, so the numbers do not depend
      // on the order the host lists a folder in.
      std::vector<std::string> order(wanted);
      std::sort(order.begin(), order.end(), [](const std::string& a, const std::string& b) {
        int c = base::CompareNoCase(a, b);
        return c != 0 ? c < 0 : a < b;
      });
      for (const std::string& name : order) {
        if (IsValidShortName(name) || rows.count(name)) continue;
        std::string alias;
        for (unsigned n = 1;; ++n) {
          alias = ShortNameCandidate(name, n);
          if (!used.count(alias)) break;
        }
        Statement ins(store_.db(),
                      "INSERT INTO fs_short_names(folder, long_name, short_name) VALUES(?, ?, ?)");
        ins.Bind(1, folder).Bind(2, name).Bind(3, alias);
        ins.Step();
        used.insert(alias);
        rows[name] = alias;
      }
      return true;
    });
  } catch (const std::exception&) {
    rows.clear();
  }
  return rows;
}

std::optional<std::string> SimFsBook::AliasOf(const std::string& folder, const std::string& long_name) {
  std::lock_guard lock(mutex_);
  if (!ready_) return std::nullopt;
  try {
    Statement st(store_.db(), "SELECT short_name FROM fs_short_names WHERE folder = ? AND long_name = ?");
    st.Bind(1, folder).Bind(2, long_name);
    if (st.Step()) return st.Text(0);
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

std::optional<std::string> SimFsBook::LongNameOf(const std::string& folder, const std::string& alias) {
  std::lock_guard lock(mutex_);
  if (!ready_) return std::nullopt;
  try {
    Statement st(store_.db(), "SELECT long_name FROM fs_short_names WHERE folder = ? AND short_name = ?");
    st.Bind(1, folder).Bind(2, base::AsciiUpper(alias));
    if (st.Step()) return st.Text(0);
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

}  // namespace kestrawl::platform::sim

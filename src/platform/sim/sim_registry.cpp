#include "platform/sim/sim_registry.h"

#include <algorithm>
#include <array>
#include <exception>
#include <set>
#include <string_view>

#include "base/text.h"

namespace kestrawl::platform::sim {

namespace {

constexpr size_t kMaxKeyNameUnits = 255;      // one key name component, UTF-16 units
constexpr size_t kMaxValueNameUnits = 16383;  // a value name, UTF-16 units
constexpr std::string_view kWow = "Wow6432Node";

// How the 32-bit view treats the keys under HKLM\SOFTWARE (Windows 7 and
// later). The deepest entry that is a prefix of a key's path decides:
// redirected keys live under SOFTWARE\Wow6432Node, shared keys are the same
// in both views. Everything not listed is redirected.
struct WowRule {
  std::string_view path;  // below SOFTWARE
  bool shared;
};
constexpr WowRule kSoftwareWowRules[] = {
    {"Wow6432Node", true},
    {"Classes", true},
    {"Classes\\Wow6432Node", true},
    {"Classes\\CLSID", false},
    {"Classes\\DirectShow", false},
    {"Classes\\Interface", false},
    {"Classes\\Media Type", false},
    {"Classes\\MediaFoundation", false},
    {"Microsoft\\COM3", true},
    {"Microsoft\\Cryptography\\Calais\\Current", true},
    {"Microsoft\\Cryptography\\Calais\\Readers", true},
    {"Microsoft\\Cryptography\\Services", true},
    {"Microsoft\\CTF\\SystemShared", true},
    {"Microsoft\\CTF\\TIP", true},
    {"Microsoft\\DFS", true},
    {"Microsoft\\Driver Signing", true},
    {"Microsoft\\EnterpriseCertificates", true},
    {"Microsoft\\EventSystem", true},
    {"Microsoft\\MSMQ", true},
    {"Microsoft\\Non-Driver Signing", true},
    {"Microsoft\\Notepad\\DefaultFonts", true},
    {"Microsoft\\OLE", true},
    {"Microsoft\\RAS", true},
    {"Microsoft\\RPC", true},
    {"Microsoft\\Shared Tools\\MSInfo", true},
    {"Microsoft\\SystemCertificates", true},
    {"Microsoft\\TermServLicensing", true},
    {"Microsoft\\Transaction Server", true},
    {"Microsoft\\Windows\\CurrentVersion\\App Paths", true},
    {"Microsoft\\Windows\\CurrentVersion\\Control Panel\\Cursors\\Schemes", true},
    {"Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers", true},
    {"Microsoft\\Windows\\CurrentVersion\\Explorer\\DriveIcons", true},
    {"Microsoft\\Windows\\CurrentVersion\\Explorer\\KindMap", true},
    {"Microsoft\\Windows\\CurrentVersion\\Group Policy", true},
    {"Microsoft\\Windows\\CurrentVersion\\Policies", true},
    {"Microsoft\\Windows\\CurrentVersion\\PreviewHandlers", true},
    {"Microsoft\\Windows\\CurrentVersion\\Setup", true},
    {"Microsoft\\Windows\\CurrentVersion\\Telephony\\Locations", true},
    {"Microsoft\\Windows NT\\CurrentVersion\\Console", true},
    {"Microsoft\\Windows NT\\CurrentVersion\\FontDpi", true},
    {"Microsoft\\Windows NT\\CurrentVersion\\FontLink", true},
    {"Microsoft\\Windows NT\\CurrentVersion\\FontMapper", true},
    {"Microsoft\\Windows NT\\CurrentVersion\\Fonts", true},
    {"Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes", true},
    {"Microsoft\\Windows NT\\CurrentVersion\\Gre_Initialize", true},
    {"Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options", true},
    {"Microsoft\\Windows NT\\CurrentVersion\\LanguagePack", true},
    {"Microsoft\\Windows NT\\CurrentVersion\\NetworkCards", true},
    {"Microsoft\\Windows NT\\CurrentVersion\\Perflib", true},
    {"Microsoft\\Windows NT\\CurrentVersion\\Ports", true},
    {"Microsoft\\Windows NT\\CurrentVersion\\Print", true},
    {"Microsoft\\Windows NT\\CurrentVersion\\ProfileList", true},
    {"Microsoft\\Windows NT\\CurrentVersion\\Time Zones", true},
    {"Policies", true},
    {"RegisteredApplications", true},
};

// The class keys whose 32-bit view is Software\Classes\Wow6432Node\<key> in a
// user's hive.
constexpr std::array<std::string_view, 5> kRedirectedClassKeys = {
    "CLSID", "DirectShow", "Interface", "Media Type", "MediaFoundation"};

bool Same(std::string_view a, std::string_view b) { return base::EqualsNoCase(a, b); }

// Whether the key SOFTWARE\<rest...> is shared by both views.
bool SharedUnderSoftware(const std::vector<std::string>& parts, size_t first) {
  size_t best_depth = 0;
  bool shared = false;  // the default for SOFTWARE\X
  for (const auto& rule : kSoftwareWowRules) {
    std::vector<std::string> rule_parts = base::Split(rule.path, '\\');
    if (rule_parts.size() > parts.size() - first || rule_parts.size() <= best_depth) continue;
    bool match = true;
    for (size_t i = 0; i < rule_parts.size() && match; ++i) match = Same(rule_parts[i], parts[first + i]);
    if (match) {
      best_depth = rule_parts.size();
      shared = rule.shared;
    }
  }
  return shared;
}

bool RedirectedClassKey(std::string_view name) {
  return std::any_of(kRedirectedClassKeys.begin(), kRedirectedClassKeys.end(),
                     [&](std::string_view k) { return Same(k, name); });
}

// Splits a sub-key path; leading and trailing backslashes are ignored.
Win32Error SplitKeyPath(const std::string& subkey, std::vector<std::string>* parts) {
  std::string_view s = subkey;
  while (!s.empty() && s.front() == '\\') s.remove_prefix(1);
  while (!s.empty() && s.back() == '\\') s.remove_suffix(1);
  parts->clear();
  if (s.empty()) return err::kSuccess;
  for (auto& part : base::Split(s, '\\')) {
    if (part.empty() || base::Utf16Length(part) > kMaxKeyNameUnits) return err::kInvalidParameter;
    parts->push_back(std::move(part));
  }
  return err::kSuccess;
}

Win32Error CheckValueName(const std::string& name) {
  return base::Utf16Length(name) > kMaxValueNameUnits ? err::kInvalidParameter : err::kSuccess;
}

}  // namespace

SimRegistry::SimRegistry(SimStore& store, RegistryLayout layout)
    : store_(store), layout_(std::move(layout)) {
  store_.Transaction([&] {
    store_.Exec(
        "CREATE TABLE IF NOT EXISTS reg_keys ("
        " id INTEGER PRIMARY KEY,"
        " parent INTEGER NOT NULL,"  // 0 for the two hives
        " name TEXT NOT NULL,"       // as created
        " folded TEXT NOT NULL)");   // case-folded, for lookups
    store_.Exec("CREATE UNIQUE INDEX IF NOT EXISTS reg_keys_by_name ON reg_keys(parent, folded)");
    store_.Exec(
        "CREATE TABLE IF NOT EXISTS reg_values ("
        " key INTEGER NOT NULL,"
        " name TEXT NOT NULL,"
        " folded TEXT NOT NULL,"
        " seq INTEGER NOT NULL,"  // creation order within the key
        " type INTEGER NOT NULL,"
        " data BLOB NOT NULL,"
        " PRIMARY KEY (key, folded)) WITHOUT ROWID");
    store_.Exec("CREATE INDEX IF NOT EXISTS reg_values_by_seq ON reg_values(key, seq)");
    auto hive = [&](const char* name) {
      Statement ins(store_.db(),
                    "INSERT OR IGNORE INTO reg_keys(parent, name, folded) VALUES(0, ?, ?)");
      ins.Bind(1, std::string(name)).Bind(2, base::CaseFold(name));
      ins.Step();
      return *FindChild(0, name);
    };
    machine_id_ = hive("HKEY_LOCAL_MACHINE");
    users_id_ = hive("HKEY_USERS");
    // The keys the derived roots stand on.
    CreatePath({Hive::kMachine, {"SOFTWARE", "Classes"}}, nullptr);
    CreatePath({Hive::kMachine, {"SYSTEM", "CurrentControlSet", "Hardware Profiles", "Current"}},
               nullptr);
    if (!layout_.user_sid.empty()) {
      CreatePath({Hive::kUsers, {layout_.user_sid, "Software", "Classes"}}, nullptr);
    }
    return true;
  });
}

Win32Error SimRegistry::Write(const std::function<Win32Error()>& fn) {
  Win32Error rc = err::kSuccess;
  try {
    store_.Transaction([&] {
      rc = fn();
      return rc == err::kSuccess;
    });
  } catch (const std::exception&) {
    return err::kRegistryIoFailed;
  }
  return rc;
}

Win32Error SimRegistry::Read(const std::function<Win32Error()>& fn) {
  try {
    return fn();
  } catch (const std::exception&) {
    return err::kRegistryIoFailed;
  }
}

bool SimRegistry::Batch(const std::function<bool()>& fn) {
  try {
    return store_.Transaction(fn);
  } catch (const std::exception&) {
    return false;
  }
}

Win32Error SimRegistry::CheckComputer(const std::string& computer) {
  std::string_view name = computer;
  while (!name.empty() && name.front() == '\\') name.remove_prefix(1);
  if (name.empty() || name == "." || Same(name, layout_.computer_name)) return err::kSuccess;
  return err::kBadNetPath;
}

Win32Error SimRegistry::Resolve(RegRoot root, const std::string& subkey, RegView view,
                                Target* target) const {
  std::vector<std::string> parts;
  if (Win32Error rc = SplitKeyPath(subkey, &parts); rc != err::kSuccess) return rc;
  target->wow = layout_.os64 && (view == RegView::k32 || (view == RegView::kDefault && layout_.process32));
  target->locations.clear();
  auto under = [&](Hive hive, std::vector<std::string> prefix) {
    prefix.insert(prefix.end(), parts.begin(), parts.end());
    target->locations.push_back({hive, std::move(prefix)});
  };
  switch (root) {
    case RegRoot::kLocalMachine:
      under(Hive::kMachine, {});
      break;
    case RegRoot::kUsers:
      under(Hive::kUsers, {});
      break;
    case RegRoot::kCurrentUser:
      if (layout_.user_sid.empty()) return err::kFileNotFound;
      under(Hive::kUsers, {layout_.user_sid});
      break;
    case RegRoot::kCurrentConfig:
      under(Hive::kMachine, {"SYSTEM", "CurrentControlSet", "Hardware Profiles", "Current"});
      break;
    case RegRoot::kClassesRoot:
      if (!layout_.user_sid.empty()) under(Hive::kUsers, {layout_.user_sid, "Software", "Classes"});
      under(Hive::kMachine, {"SOFTWARE", "Classes"});
      break;
    default:
      return err::kInvalidHandle;
  }
  return err::kSuccess;
}

SimRegistry::PhysKey SimRegistry::Redirect(PhysKey key, bool wow) const {
  if (!wow) return key;
  auto& p = key.parts;
  if (key.hive == Hive::kMachine && p.size() >= 2 && Same(p[0], "SOFTWARE")) {
    if (!SharedUnderSoftware(p, 1)) p.insert(p.begin() + 1, std::string(kWow));
  } else if (key.hive == Hive::kUsers && p.size() >= 4 && Same(p[1], "Software") &&
             Same(p[2], "Classes") && RedirectedClassKey(p[3])) {
    p.insert(p.begin() + 3, std::string(kWow));
  }
  return key;
}

std::optional<int64_t> SimRegistry::FindChild(int64_t parent, const std::string& name) {
  Statement st(store_.db(), "SELECT id FROM reg_keys WHERE parent = ? AND folded = ?");
  st.Bind(1, parent).Bind(2, base::CaseFold(name));
  if (st.Step()) return st.Int(0);
  return std::nullopt;
}

std::optional<int64_t> SimRegistry::FindKey(const PhysKey& key) {
  int64_t id = key.hive == Hive::kMachine ? machine_id_ : users_id_;
  for (const auto& part : key.parts) {
    auto child = FindChild(id, part);
    if (!child) return std::nullopt;
    id = *child;
  }
  return id;
}

int64_t SimRegistry::CreatePath(const PhysKey& key, bool* created) {
  int64_t id = key.hive == Hive::kMachine ? machine_id_ : users_id_;
  if (created) *created = false;
  for (const auto& part : key.parts) {
    if (auto child = FindChild(id, part)) {
      id = *child;
      continue;
    }
    Statement ins(store_.db(), "INSERT INTO reg_keys(parent, name, folded) VALUES(?, ?, ?)");
    ins.Bind(1, id).Bind(2, part).Bind(3, base::CaseFold(part));
    ins.Step();
    id = sqlite3_last_insert_rowid(store_.db());
    if (created) *created = true;
  }
  return id;
}

std::string SimRegistry::KeyName(int64_t id) {
  Statement st(store_.db(), "SELECT name FROM reg_keys WHERE id = ?");
  st.Bind(1, id);
  return st.Step() ? st.Text(0) : std::string();
}

std::vector<std::string> SimRegistry::ChildNames(int64_t id) {
  std::vector<std::string> names;
  Statement st(store_.db(), "SELECT name FROM reg_keys WHERE parent = ?");
  st.Bind(1, id);
  while (st.Step()) names.push_back(st.Text(0));
  return names;
}

bool SimRegistry::HasChildren(int64_t id) {
  Statement st(store_.db(), "SELECT 1 FROM reg_keys WHERE parent = ? LIMIT 1");
  st.Bind(1, id);
  return st.Step();
}

std::optional<RegValue> SimRegistry::ReadValue(int64_t key, const std::string& name) {
  Statement st(store_.db(), "SELECT type, data FROM reg_values WHERE key = ? AND folded = ?");
  st.Bind(1, key).Bind(2, base::CaseFold(name));
  if (!st.Step()) return std::nullopt;
  return RegValue{static_cast<uint32_t>(st.Int(0)), st.Blob(1)};
}

void SimRegistry::WriteValueRow(int64_t key, const std::string& name, const RegValue& value) {
  // Replacing a value keeps its name and its place in the enumeration.
  Statement upd(store_.db(), "UPDATE reg_values SET type = ?, data = ? WHERE key = ? AND folded = ?");
  upd.Bind(1, static_cast<int64_t>(value.type)).BindBlob(2, value.data).Bind(3, key);
  upd.Bind(4, base::CaseFold(name));
  upd.Step();
  if (sqlite3_changes(store_.db()) > 0) return;
  Statement ins(store_.db(),
                "INSERT INTO reg_values(key, name, folded, seq, type, data) VALUES(?1, ?2, ?3,"
                " (SELECT COALESCE(MAX(seq), 0) + 1 FROM reg_values WHERE key = ?1), ?4, ?5)");
  ins.Bind(1, key).Bind(2, name).Bind(3, base::CaseFold(name));
  ins.Bind(4, static_cast<int64_t>(value.type)).BindBlob(5, value.data);
  ins.Step();
}

bool SimRegistry::EraseValue(int64_t key, const std::string& name) {
  Statement st(store_.db(), "DELETE FROM reg_values WHERE key = ? AND folded = ?");
  st.Bind(1, key).Bind(2, base::CaseFold(name));
  st.Step();
  return sqlite3_changes(store_.db()) > 0;
}

void SimRegistry::EraseTree(int64_t id) {
  static constexpr const char* kTree =
      "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL"
      " SELECT k.id FROM reg_keys k JOIN tree ON k.parent = tree.id) ";
  Statement values(store_.db(), (std::string(kTree) +
                                 "DELETE FROM reg_values WHERE key IN (SELECT id FROM tree)")
                                    .c_str());
  values.Bind(1, id);
  values.Step();
  Statement keys(store_.db(),
                 (std::string(kTree) + "DELETE FROM reg_keys WHERE id IN (SELECT id FROM tree)").c_str());
  keys.Bind(1, id);
  keys.Step();
}

std::optional<int64_t> SimRegistry::FirstExisting(const Target& target) {
  for (const auto& loc : target.locations) {
    if (auto id = FindKey(Redirect(loc, target.wow))) return id;
  }
  return std::nullopt;
}

void SimRegistry::CollectChildren(const PhysKey& key, bool wow, std::vector<std::string>* names) {
  // In the 32-bit view a key's children may sit in its own row (shared
  // keys), in its redirected row, or in the row redirection would give a
  // redirected child (for a shared key or the key redirection happens
  // under). A name belongs to the view when its own redirected location exists.
  std::vector<PhysKey> containers = {key};
  if (wow) {
    containers.push_back(Redirect(key, true));
    PhysKey forced = key;
    auto& p = forced.parts;
    if (key.hive == Hive::kMachine && !p.empty() && Same(p[0], "SOFTWARE")) {
      p.insert(p.begin() + 1, std::string(kWow));
      containers.push_back(std::move(forced));
    } else if (key.hive == Hive::kUsers && p.size() >= 3 && Same(p[1], "Software") &&
               Same(p[2], "Classes")) {
      p.insert(p.begin() + 3, std::string(kWow));
      containers.push_back(std::move(forced));
    }
  }
  for (const auto& container : containers) {
    auto id = FindKey(container);
    if (!id) continue;
    for (const auto& child : ChildNames(*id)) {
      bool seen = std::any_of(names->begin(), names->end(),
                              [&](const std::string& n) { return Same(n, child); });
      if (seen) continue;
      PhysKey logical = key;
      logical.parts.push_back(child);
      auto found = FindKey(Redirect(logical, wow));
      if (found) names->push_back(KeyName(*found));
    }
  }
}

Win32Error SimRegistry::KeyExists(RegRoot root, const std::string& subkey, RegView view) {
  return Read([&] {
    Target t;
    if (Win32Error rc = Resolve(root, subkey, view, &t); rc != err::kSuccess) return rc;
    return FirstExisting(t) ? err::kSuccess : err::kFileNotFound;
  });
}

Win32Error SimRegistry::CreateKey(RegRoot root, const std::string& subkey, RegView view,
                                  bool* created) {
  if (created) *created = false;
  return Write([&] {
    Target t;
    if (Win32Error rc = Resolve(root, subkey, view, &t); rc != err::kSuccess) return rc;
    if (FirstExisting(t)) return err::kSuccess;
    // A new class key goes to the machine's classes (the last location).
    CreatePath(Redirect(t.locations.back(), t.wow), created);
    return err::kSuccess;
  });
}

Win32Error SimRegistry::SetValue(RegRoot root, const std::string& subkey, const std::string& name,
                                 RegView view, const RegValue& value) {
  if (Win32Error rc = CheckValueName(name); rc != err::kSuccess) return rc;
  return Write([&] {
    Target t;
    if (Win32Error rc = Resolve(root, subkey, view, &t); rc != err::kSuccess) return rc;
    auto id = FirstExisting(t);
    if (!id) return err::kFileNotFound;
    WriteValueRow(*id, name, value);
    return err::kSuccess;
  });
}

Win32Error SimRegistry::GetValue(RegRoot root, const std::string& subkey, const std::string& name,
                                 RegView view, RegValue* value) {
  if (Win32Error rc = CheckValueName(name); rc != err::kSuccess) return rc;
  return Read([&] {
    Target t;
    if (Win32Error rc = Resolve(root, subkey, view, &t); rc != err::kSuccess) return rc;
    for (const auto& loc : t.locations) {
      auto id = FindKey(Redirect(loc, t.wow));
      if (!id) continue;
      if (auto v = ReadValue(*id, name)) {
        if (value) *value = std::move(*v);
        return err::kSuccess;
      }
    }
    return err::kFileNotFound;
  });
}

Win32Error SimRegistry::DeleteValue(RegRoot root, const std::string& subkey,
                                    const std::string& name, RegView view) {
  if (Win32Error rc = CheckValueName(name); rc != err::kSuccess) return rc;
  return Write([&] {
    Target t;
    if (Win32Error rc = Resolve(root, subkey, view, &t); rc != err::kSuccess) return rc;
    for (const auto& loc : t.locations) {
      auto id = FindKey(Redirect(loc, t.wow));
      if (id && EraseValue(*id, name)) return err::kSuccess;
    }
    return err::kFileNotFound;
  });
}

Win32Error SimRegistry::DeleteKey(RegRoot root, const std::string& subkey, RegView view) {
  return Write([&] {
    Target t;
    if (Win32Error rc = Resolve(root, subkey, view, &t); rc != err::kSuccess) return rc;
    auto id = FirstExisting(t);
    if (!id) return err::kFileNotFound;
    // A root cannot be deleted, nor a key that still has sub-keys.
    std::vector<std::string> parts;
    SplitKeyPath(subkey, &parts);
    if (parts.empty() || HasChildren(*id)) return err::kAccessDenied;
    EraseTree(*id);
    return err::kSuccess;
  });
}

Win32Error SimRegistry::DeleteTree(RegRoot root, const std::string& subkey, RegView view) {
  return Write([&] {
    Target t;
    if (Win32Error rc = Resolve(root, subkey, view, &t); rc != err::kSuccess) return rc;
    std::vector<std::string> parts;
    SplitKeyPath(subkey, &parts);
    if (parts.empty()) return err::kAccessDenied;  // a root stays
    bool any = false;
    for (const auto& loc : t.locations) {
      if (auto id = FindKey(Redirect(loc, t.wow))) {
        EraseTree(*id);
        any = true;
      }
    }
    return any ? err::kSuccess : err::kFileNotFound;
  });
}

Win32Error SimRegistry::EnumKeys(RegRoot root, const std::string& subkey, RegView view,
                                 std::vector<std::string>* names) {
  return Read([&] {
    Target t;
    if (Win32Error rc = Resolve(root, subkey, view, &t); rc != err::kSuccess) return rc;
    std::vector<std::string> out;
    bool any = false;
    for (const auto& loc : t.locations) {
      if (!FindKey(Redirect(loc, t.wow))) continue;
      any = true;
      CollectChildren(loc, t.wow, &out);
    }
    if (!any) return err::kFileNotFound;
    std::sort(out.begin(), out.end(), [](const std::string& a, const std::string& b) {
      return base::CompareNoCase(a, b) < 0;
    });
    if (names) *names = std::move(out);
    return err::kSuccess;
  });
}

Win32Error SimRegistry::EnumValues(RegRoot root, const std::string& subkey, RegView view,
                                   std::vector<RegNamedValue>* values) {
  return Read([&] {
    Target t;
    if (Win32Error rc = Resolve(root, subkey, view, &t); rc != err::kSuccess) return rc;
    std::vector<RegNamedValue> out;
    std::set<std::string> seen;  // folded names
    bool any = false;
    for (const auto& loc : t.locations) {
      auto id = FindKey(Redirect(loc, t.wow));
      if (!id) continue;
      any = true;
      Statement st(store_.db(),
                   "SELECT name, folded, type, data FROM reg_values WHERE key = ? ORDER BY seq");
      st.Bind(1, *id);
      while (st.Step()) {
        if (!seen.insert(st.Text(1)).second) continue;
        out.push_back({st.Text(0), RegValue{static_cast<uint32_t>(st.Int(2)), st.Blob(3)}});
      }
    }
    if (!any) return err::kFileNotFound;
    if (values) *values = std::move(out);
    return err::kSuccess;
  });
}

}  // namespace kestrawl::platform::sim

// The simulated machine's registry, kept in the machine database.
//
// Two hives are stored: HKEY_LOCAL_MACHINE and HKEY_USERS. The other roots
// are views of them: HKEY_CURRENT_USER is HKEY_USERS\<user SID>,
// HKEY_CURRENT_CONFIG is HKLM\SYSTEM\CurrentControlSet\Hardware Profiles\Current,
// and HKEY_CLASSES_ROOT merges HKCU\Software\Classes over HKLM\SOFTWARE\Classes
// (reads prefer the user's key; a key found only in HKLM, or nowhere, is
// written in HKLM). On a 64-bit system the 32-bit view of HKLM\SOFTWARE\X is
// HKLM\SOFTWARE\Wow6432Node\X, except for the keys both views share, and the
// 32-bit view of the redirected class keys is Software\Classes\Wow6432Node.
// A root itself cannot be deleted (kAccessDenied). Key name components may
// not be empty or longer than 255 characters, value names not longer than
// 16383 (kInvalidParameter). Every write runs in one transaction, so a killed process never leaves half
// a change and several processes may share one machine. Database failures
// are reported as kRegistryIoFailed; no call throws.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/sim/store.h"

namespace kestrawl::platform::sim {

struct RegistryLayout {
  bool os64 = true;        // 64-bit Windows: the 32-bit view is redirected
  bool process32 = true;   // RegView::kDefault is the 32-bit view
  std::string user_sid = "S-1-5-21-3623811015-3361044348-30300820-1001";  // HKCU's key in HKU
  std::string computer_name = "KESTRAWL-PC";                              // the local machine
};

class SimRegistry : public Registry {
 public:
  // Creates the tables and the keys every root needs when they are missing.
  // Throws std::runtime_error when the database cannot be prepared.
  SimRegistry(SimStore& store, RegistryLayout layout);

  Win32Error CheckComputer(const std::string& computer) override;
  Win32Error KeyExists(RegRoot root, const std::string& subkey, RegView view) override;
  Win32Error CreateKey(RegRoot root, const std::string& subkey, RegView view,
                       bool* created = nullptr) override;
  Win32Error SetValue(RegRoot root, const std::string& subkey, const std::string& name,
                      RegView view, const RegValue& value) override;
  Win32Error GetValue(RegRoot root, const std::string& subkey, const std::string& name,
                      RegView view, RegValue* value) override;
  Win32Error DeleteValue(RegRoot root, const std::string& subkey, const std::string& name,
                         RegView view) override;
  Win32Error DeleteKey(RegRoot root, const std::string& subkey, RegView view) override;
  Win32Error DeleteTree(RegRoot root, const std::string& subkey, RegView view) override;
  Win32Error EnumKeys(RegRoot root, const std::string& subkey, RegView view,
                      std::vector<std::string>* names) override;
  Win32Error EnumValues(RegRoot root, const std::string& subkey, RegView view,
                        std::vector<RegNamedValue>* values) override;

  // Runs fn in one database transaction: the registry calls it makes join
  // it, and nothing of them stays when fn returns false or throws.
  bool Batch(const std::function<bool()>& fn);

  const RegistryLayout& layout() const { return layout_; }

 private:
  enum class Hive { kMachine, kUsers };
  // A key in one of the stored hives, named by its path components.
  struct PhysKey {
    Hive hive;
    std::vector<std::string> parts;
  };
  // Where a logical key lives: its unredirected locations in order of
  // preference (two for HKEY_CLASSES_ROOT), and whether the 32-bit view applies.
  struct Target {
    std::vector<PhysKey> locations;
    bool wow = false;
  };

  Win32Error Resolve(RegRoot root, const std::string& subkey, RegView view, Target* target) const;
  // The stored location of a key in the active view.
  PhysKey Redirect(PhysKey key, bool wow) const;
  std::optional<int64_t> FindKey(const PhysKey& key);
  std::optional<int64_t> FindChild(int64_t parent, const std::string& name);
  int64_t CreatePath(const PhysKey& key, bool* created);
  std::string KeyName(int64_t id);
  std::vector<std::string> ChildNames(int64_t id);
  bool HasChildren(int64_t id);
  std::optional<RegValue> ReadValue(int64_t key, const std::string& name);
  void WriteValueRow(int64_t key, const std::string& name, const RegValue& value);
  bool EraseValue(int64_t key, const std::string& name);
  // Deletes the key with its values and everything below it.
  void EraseTree(int64_t id);
  // The first location of the target that exists, already redirected.
  std::optional<int64_t> FirstExisting(const Target& target);
  // The sub-key names of one location as the view shows them.
  void CollectChildren(const PhysKey& key, bool wow, std::vector<std::string>* names);

  // Runs fn in a write transaction; any database failure becomes kRegistryIoFailed.
  Win32Error Write(const std::function<Win32Error()>& fn);
  // Runs fn, turning database failures into kRegistryIoFailed.
  Win32Error Read(const std::function<Win32Error()>& fn);

  SimStore& store_;
  RegistryLayout layout_;
  int64_t machine_id_ = 0;  // the key row of HKEY_LOCAL_MACHINE
  int64_t users_id_ = 0;    // the key row of HKEY_USERS
};

}  // namespace kestrawl::platform::sim

// The component store: the product's features (components) with their
// states, sizes, descriptions and the deleted, hidden and locked flags.
//
// A component name is a path whose levels are separated by "\"
// ("Product\Tools"); the part before a "\" names the parent. Names compare
// without regard to letter case. Nothing is ever removed from the names:
// deleting, hiding and locking are separate lists. The store also offers the
// operations the wizard's feature tree and feature check list use; they work
// on plain node and item values that the UI turns into controls.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrawl::script {

class CompiledScript;

// The engine's own component: whatever belongs to no user component.
inline constexpr const char* kPredefinedComponent = "VELK-PREDEF-COMPONENT";

// The store's lists in the order the feature-selection file writes them.
struct ComponentLists {
  std::vector<std::string> names;    // definition order
  std::vector<std::string> states;   // "TRUE" or "FALSE", parallel to names
  std::vector<std::string> deleted;  // removed from the selection for this run
  std::vector<std::string> hidden;   // not shown by the feature pages
  std::vector<std::string> locked;   // the user may not change the selection
  std::vector<std::string> sizes;    // pairs of lines: name, decimal byte count

  bool operator==(const ComponentLists&) const = default;
};

// One node of a feature tree. `data` is the component's 1-based position, 0
// for a node that only stands for a level of a longer name.
struct ComponentTreeNode {
  std::string text;
  int image = 0;           // 1 when the component is selected, else 0
  int selected_image = 0;  // same as image
  size_t data = 0;
  std::vector<ComponentTreeNode> children;
};

// One item of a feature check list.
struct CheckListItem {
  std::string text;
  bool checked = false;
};

// A decimal 64-bit integer with an optional sign and nothing else.
bool ParseComponentSize(std::string_view text, int64_t* size);

class ComponentStore {
 public:
  // Empties every list, takes the compiled script's size table and defines
  // the predefined component, selected. Used at start and when the
  // maintenance start-up starts the selection afresh.
  void Reset(const CompiledScript& script);

  const ComponentLists& lists() const { return lists_; }
  // Bytes already installed (maintenance runs); 0 for a first installation.
  int64_t installed_size = 0;

  // "Define Component". `untranslated` is the name before translation: a
  // size recorded under it carries over to the translated name. A component
  // that exists is undeleted and gets the new description; its state is
  // kept unless it is empty.
  void Define(const std::string& name, const std::string& untranslated, bool selected,
              const std::string& description);

  // 1-based position of the component, 0 when it is not defined.
  size_t Find(std::string_view name) const;
  bool IsDefined(std::string_view name) const { return Find(name) != 0; }
  bool IsDeleted(std::string_view name) const;
  bool IsHidden(std::string_view name) const;
  // Locked itself or below a locked ancestor.
  bool IsLocked(std::string_view name) const;

  // Defined, not deleted and its state reads as true.
  bool IsSelected(std::string_view name) const;
  // Changes a defined component only; parents and children are not touched.
  void SetState(std::string_view name, bool selected);
  // The same by 1-based position (the feature tree's node data).
  void SetStateAt(size_t position, bool selected);
  // The name at a 1-based position; empty when out of range.
  std::string NameAt(size_t position) const;
  std::string Description(std::string_view name) const;

  // The first size recorded for the name; 0 when none (or not a number).
  int64_t Size(std::string_view name) const;
  // Changes a defined component's size; unknown names are ignored.
  void SetSize(std::string_view name, int64_t size);
  // Sum of the sizes of the selected, not deleted components.
  int64_t SelectedSize() const;
  // SelectedSize() minus installed_size: the space still needed (may be negative).
  int64_t NeededSize() const;

  // Lock (user_may_change false) or unlock a component's selection.
  void SetChoice(std::string_view name, bool user_may_change);
  void SetVisible(std::string_view name, bool visible);
  void Delete(std::string_view name);

  // "Load Feature Selections": takes the loaded state of every defined
  // component found among the loaded names and replaces the deleted, hidden
  // and locked lists. Loaded sizes and unknown names are ignored.
  void ApplySelection(const ComponentLists& loaded);
  // The maintenance start-up: appends every loaded list as it is.
  void AppendLists(const ComponentLists& loaded);

  // The feature tree: every component except the predefined one that is not
  // deleted and not hidden (itself or an ancestor), one node per name level.
  std::vector<ComponentTreeNode> FillTree() const;
  // The feature check list: the top-level components the tree would show.
  std::vector<CheckListItem> FillCheckList() const;
  // Applies the user's checks: each item sets the component it names and
  // that component's descendants, except locked ones; then the item shows
  // the state of the component it names.
  void ReadCheckList(std::vector<CheckListItem>& items);

 private:
  bool Shown(size_t i) const;

  ComponentLists lists_;
  std::vector<std::string> descriptions_;  // parallel to lists_.names
};

}  // namespace kestrawl::script

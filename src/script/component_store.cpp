#include "script/component_store.h"

#include <cerrno>
#include <cstdlib>

#include "base/text.h"
#include "script/compiled_script.h"
#include "script/variable_store.h"

namespace kestrawl::script {

namespace {

bool AsciiEqualsNoCase(std::string_view a, std::string_view b) {
  return base::AsciiUpper(a) == base::AsciiUpper(b);
}

// Position of the first entry equal to name (any letter case), or npos.
size_t IndexOf(const std::vector<std::string>& list, std::string_view name) {
  for (size_t i = 0; i < list.size(); ++i)
    if (base::EqualsNoCase(list[i], name)) return i;
  return std::string::npos;
}

bool Contains(const std::vector<std::string>& list, std::string_view name) {
  return IndexOf(list, name) != std::string::npos;
}

// True when the name itself or one of its ancestors is in the list.
bool ContainsSelfOrAncestor(const std::vector<std::string>& list, std::string_view name) {
  if (list.empty()) return false;
  for (size_t pos = name.find('\\'); pos != std::string_view::npos; pos = name.find('\\', pos + 1))
    if (Contains(list, name.substr(0, pos))) return true;
  return Contains(list, name);
}

// Position of the name line of the first size pair for name, or npos.
size_t SizeIndex(const std::vector<std::string>& sizes, std::string_view name) {
  for (size_t i = 0; i < sizes.size(); i += 2)
    if (base::EqualsNoCase(sizes[i], name)) return i;
  return std::string::npos;
}

int64_t WrappingAdd(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
}

}  // namespace

bool ParseComponentSize(std::string_view text, int64_t* size) {
  if (text.empty()) return false;
  size_t digits = (text[0] == '-' || text[0] == '+') ? 1 : 0;
  if (digits == text.size()) return false;
  for (size_t i = digits; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  std::string copy(text);
  errno = 0;
  long long v = std::strtoll(copy.c_str(), nullptr, 10);
  if (errno == ERANGE) return false;
  *size = v;
  return true;
}

void ComponentStore::Reset(const CompiledScript& script) {
  lists_ = ComponentLists{};
  descriptions_.clear();
  installed_size = 0;
  lists_.sizes = script.component_sizes;
  Define(kPredefinedComponent, kPredefinedComponent, true, "");
}

void ComponentStore::Define(const std::string& name, const std::string& untranslated, bool selected,
                            const std::string& description) {
  // A translated name inherits the size recorded under the untranslated one.
  if (!base::EqualsNoCase(name, untranslated)) {
    int64_t inherited = Size(untranslated);
    if (inherited != 0) {
      lists_.sizes.push_back(name);
      lists_.sizes.push_back(std::to_string(inherited));
    }
  }
  if (SizeIndex(lists_.sizes, name) == std::string::npos) {
    lists_.sizes.push_back(name);
    lists_.sizes.push_back("0");
  }
  if (size_t p = Find(name)) {
    std::erase_if(lists_.deleted, [&](const std::string& d) { return base::EqualsNoCase(d, name); });
    descriptions_[p - 1] = description;
    if (lists_.states[p - 1].empty()) lists_.states[p - 1] = FromBoolean(selected);
    return;
  }
  lists_.names.push_back(name);
  lists_.states.push_back(FromBoolean(selected));
  descriptions_.push_back(description);
}

size_t ComponentStore::Find(std::string_view name) const {
  size_t i = IndexOf(lists_.names, name);
  return i == std::string::npos ? 0 : i + 1;
}

bool ComponentStore::IsDeleted(std::string_view name) const { return Contains(lists_.deleted, name); }
bool ComponentStore::IsHidden(std::string_view name) const { return Contains(lists_.hidden, name); }
bool ComponentStore::IsLocked(std::string_view name) const {
  return ContainsSelfOrAncestor(lists_.locked, name);
}

bool ComponentStore::IsSelected(std::string_view name) const {
  size_t p = Find(name);
  return p != 0 && !IsDeleted(name) && ToBoolean(lists_.states[p - 1]);
}

void ComponentStore::SetState(std::string_view name, bool selected) { SetStateAt(Find(name), selected); }

void ComponentStore::SetStateAt(size_t position, bool selected) {
  if (position == 0 || position > lists_.names.size()) return;
  lists_.states[position - 1] = FromBoolean(selected);
}

std::string ComponentStore::NameAt(size_t position) const {
  if (position == 0 || position > lists_.names.size()) return "";
  return lists_.names[position - 1];
}

std::string ComponentStore::Description(std::string_view name) const {
  size_t p = Find(name);
  return p == 0 ? "" : descriptions_[p - 1];
}

int64_t ComponentStore::Size(std::string_view name) const {
  size_t i = SizeIndex(lists_.sizes, name);
  int64_t size = 0;
  if (i == std::string::npos || i + 1 >= lists_.sizes.size()) return 0;
  return ParseComponentSize(lists_.sizes[i + 1], &size) ? size : 0;
}

void ComponentStore::SetSize(std::string_view name, int64_t size) {
  if (!IsDefined(name)) return;
  std::string text = std::to_string(size);
  const std::string upper = base::ToUpper(name);
  for (size_t i = 0; i < lists_.sizes.size(); i += 2) {
    if (base::ToUpper(lists_.sizes[i]) != upper) continue;
    if (i + 1 < lists_.sizes.size())
      lists_.sizes[i + 1] = text;
    else
      lists_.sizes.push_back(text);
    return;
  }
  lists_.sizes.push_back(std::string(name));
  lists_.sizes.push_back(text);
}

int64_t ComponentStore::SelectedSize() const {
  int64_t total = 0;
  for (size_t i = 0; i < lists_.names.size(); ++i)
    if (ToBoolean(lists_.states[i]) && !IsDeleted(lists_.names[i]))
      total = WrappingAdd(total, Size(lists_.names[i]));
  return total;
}

int64_t ComponentStore::NeededSize() const {
  return WrappingAdd(SelectedSize(), static_cast<int64_t>(0 - static_cast<uint64_t>(installed_size)));
}

void ComponentStore::SetChoice(std::string_view name, bool user_may_change) {
  if (!user_may_change) {
    if (IsDefined(name) && !Contains(lists_.locked, name)) lists_.locked.emplace_back(name);
    return;
  }
  for (auto it = lists_.locked.begin(); it != lists_.locked.end(); ++it) {
    if (AsciiEqualsNoCase(*it, name)) {
      lists_.locked.erase(it);
      return;
    }
  }
}

void ComponentStore::SetVisible(std::string_view name, bool visible) {
  if (!visible) {
    if (IsDefined(name) && !IsHidden(name)) lists_.hidden.emplace_back(name);
    return;
  }
  size_t i = IndexOf(lists_.hidden, name);
  if (i != std::string::npos) lists_.hidden.erase(lists_.hidden.begin() + static_cast<ptrdiff_t>(i));
}

void ComponentStore::Delete(std::string_view name) {
  if (IsDefined(name) && !IsDeleted(name)) lists_.deleted.emplace_back(name);
}

void ComponentStore::ApplySelection(const ComponentLists& loaded) {
  for (size_t i = 0; i < lists_.names.size(); ++i) {
    for (size_t j = 0; j < loaded.names.size(); ++j) {
      if (!AsciiEqualsNoCase(lists_.names[i], loaded.names[j])) continue;
      if (j < loaded.states.size()) lists_.states[i] = loaded.states[j];
      break;
    }
  }
  lists_.deleted = loaded.deleted;
  lists_.hidden = loaded.hidden;
  lists_.locked = loaded.locked;
}

void ComponentStore::AppendLists(const ComponentLists& loaded) {
  auto append = [](std::vector<std::string>& to, const std::vector<std::string>& from) {
    to.insert(to.end(), from.begin(), from.end());
  };
  append(lists_.names, loaded.names);
  append(lists_.states, loaded.states);
  append(lists_.deleted, loaded.deleted);
  append(lists_.hidden, loaded.hidden);
  append(lists_.locked, loaded.locked);
  append(lists_.sizes, loaded.sizes);
  // Names, states and descriptions stay parallel; a missing state is empty,
  // so that the next "Define Component" of that name sets it.
  lists_.states.resize(lists_.names.size());
  descriptions_.resize(lists_.names.size());
}

bool ComponentStore::Shown(size_t i) const {
  const std::string& name = lists_.names[i];
  return !base::EqualsNoCase(name, kPredefinedComponent) && !IsDeleted(name) &&
         !ContainsSelfOrAncestor(lists_.hidden, name);
}

std::vector<ComponentTreeNode> ComponentStore::FillTree() const {
  std::vector<ComponentTreeNode> roots;
  for (size_t i = 0; i < lists_.names.size(); ++i) {
    if (!Shown(i)) continue;
    std::vector<ComponentTreeNode>* siblings = &roots;
    ComponentTreeNode* node = nullptr;
    for (const std::string& level : base::Split(lists_.names[i], '\\')) {
      node = nullptr;
      for (auto& n : *siblings)
        if (base::EqualsNoCase(n.text, level)) {
          node = &n;
          break;
        }
      if (node == nullptr) {
        siblings->push_back(ComponentTreeNode{level, 0, 0, 0, {}});
        node = &siblings->back();
      }
      siblings = &node->children;
    }
    node->image = node->selected_image = ToBoolean(lists_.states[i]) ? 1 : 0;
    node->data = i + 1;
  }
  return roots;
}

std::vector<CheckListItem> ComponentStore::FillCheckList() const {
  std::vector<CheckListItem> items;
  for (size_t i = 0; i < lists_.names.size(); ++i)
    if (lists_.names[i].find('\\') == std::string::npos && Shown(i))
      items.push_back(CheckListItem{lists_.names[i], ToBoolean(lists_.states[i])});
  return items;
}

void ComponentStore::ReadCheckList(std::vector<CheckListItem>& items) {
  for (CheckListItem& item : items) {
    const std::string prefix = base::ToUpper(item.text);
    const std::string value = FromBoolean(item.checked);
    size_t named = 0;
    for (size_t i = 0; i < lists_.names.size(); ++i) {
      const std::string upper = base::ToUpper(lists_.names[i]);
      // The item's own component and its descendants, not merely any name
      // that begins with the same letters.
      bool self = upper == prefix;
      if (!self && !(upper.starts_with(prefix) && upper.size() > prefix.size() && upper[prefix.size()] == '\\'))
        continue;
      if (self && named == 0) named = i + 1;
      if (!IsLocked(lists_.names[i])) lists_.states[i] = value;
    }
    if (named != 0) item.checked = ToBoolean(lists_.states[named - 1]);
  }
}

}  // namespace kestrawl::script

#include "maintenance/instance_identity.h"

#include <vector>

#include "base/text.h"
#include "base/win_path.h"

namespace kestrawl::maintenance {

bool ParseInstanceFile(std::string_view data, InstanceIdentity* identity) {
  if (data.substr(0, 3) == "\xEF\xBB\xBF") data.remove_prefix(3);
  std::vector<std::string> lines;
  for (const std::string& line : base::Split(data, '\n')) {
    lines.push_back(line);
    if (!lines.back().empty() && lines.back().back() == '\r') lines.back().pop_back();
    if (lines.size() == 3) break;
  }
  if (lines.size() < 2) return false;
  const std::string code(base::Trim(lines[0])), folder_name(base::Trim(lines[1]));
  if (code.empty() || folder_name.empty()) return false;
  identity->instance_code = code;
  identity->cache_folder_name = folder_name;
  identity->title = lines.size() > 2 ? lines[2] : std::string();
  identity->from_instance_file = true;
  return true;
}

InstanceIdentity ResolveInstanceIdentity(platform::FileSystem& files,
                                         const std::string& executable_folder,
                                         const script::CompiledScript& script) {
  InstanceIdentity identity;
  std::string data;
  const std::string path = base::JoinPath(executable_folder, kInstanceFileName);
  if (!executable_folder.empty() && files.FileExists(path) &&
      files.ReadWholeFile(path, &data) == platform::err::kSuccess &&
      ParseInstanceFile(data, &identity)) {
    if (identity.title.empty()) identity.title = script.product_title;
    return identity;
  }
  identity.instance_code = script.product_code;
  identity.cache_folder_name = script.revision_code;
  identity.title = script.product_title;
  return identity;
}

}  // namespace kestrawl::maintenance

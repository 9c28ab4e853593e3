#include "tools/kestrawl/media_layout.h"

#include <algorithm>

namespace kestrawl::tools {

MediaLayout LayoutOf(const Project& project, const FileGroup& group) {
  if (project.cache_mode != 2) return MediaLayout::kData;
  return group.medium.empty() ? MediaLayout::kOffline : MediaLayout::kWebBlock;
}

std::string StoredPath(const FileGroup& group, const PlannedFile& file) {
  return group.header + "\\" + file.subfolder + file.name;
}

std::string FileTableSource(const Project& project, const FileGroup& group, const PlannedFile& file) {
  switch (LayoutOf(project, group)) {
    case MediaLayout::kData:
      return StoredPath(group, file);
    case MediaLayout::kOffline:
      return project.product_code + "\\offline\\" + StoredPath(group, file);
    case MediaLayout::kWebBlock:
      return project.product_code + "\\" + group.medium + "\\" + StoredPath(group, file);
  }
  return {};
}

std::string MediaFolderLine(const Project& project, const FileGroup& group) {
  switch (LayoutOf(project, group)) {
    case MediaLayout::kData:
      return "";
    case MediaLayout::kOffline:
      return "OFFLINE\\";
    case MediaLayout::kWebBlock:
      return group.medium + "\\";
  }
  return {};
}

std::string MediaTargetSubfolder(const FileGroup& group, const PlannedFile& file) {
  return group.medium + "\\" + group.header + "\\" + file.subfolder;
}

std::string OutputRelativePath(const Project& project, const FileGroup& group, const PlannedFile& file) {
  std::string top;
  switch (LayoutOf(project, group)) {
    case MediaLayout::kData: top = "data"; break;
    case MediaLayout::kOffline: top = "offline"; break;
    case MediaLayout::kWebBlock: top = group.medium; break;
  }
  std::string path = top + "/" + StoredPath(group, file);
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

}  // namespace kestrawl::tools

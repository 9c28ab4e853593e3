// Where the files of a file group travel and how the compiled script names
// them. Three layouts, chosen per group:
//
//  - data (cache mode other than 2): OUT/data/<HEADER>/<subfolder>/<name>;
//    the engine's data folder is the setup's folder + "data\", so the file
//    table names "<HEADER>\<subfolder><name>".
//  - offline (cache mode 2, no web block): OUT/offline/<HEADER>/...; the
//    engine copies the setup's "offline\" folder to R + "offline\" (R: the
//    media root, engine cache folder + product code + "\"), its data folder
//    is the engine cache folder, so the file table names
//    "<PRODUCTCODE>\offline\<HEADER>\<subfolder><name>"; the command's
//    media folder is "OFFLINE\".
//  - web block NAME (cache mode 2): packed into OUT/NAME.7z as
//    "NAME\<HEADER>\<subfolder><name>"; the media file table places each
//    file at R + "NAME\<HEADER>\<subfolder>", so the file table names
//    "<PRODUCTCODE>\NAME\<HEADER>\<subfolder><name>"; the command's media
//    folder is "NAME\".
#pragma once

#include <string>

#include "tools/kestrawl/install_file_plan.h"
#include "tools/kestrawl/project.h"

namespace kestrawl::tools {

enum class MediaLayout { kData, kOffline, kWebBlock };

MediaLayout LayoutOf(const Project& project, const FileGroup& group);

// "<HEADER>\<subfolder><name>": the file's path inside its medium.
std::string StoredPath(const FileGroup& group, const PlannedFile& file);
// The file table's source path, relative to the engine's data folder.
std::string FileTableSource(const Project& project, const FileGroup& group, const PlannedFile& file);
// The command's media folder line: "", "OFFLINE\" or "NAME\".
std::string MediaFolderLine(const Project& project, const FileGroup& group);
// Web blocks: the target subfolder below the media root, "NAME\<HEADER>\<subfolder>".
std::string MediaTargetSubfolder(const FileGroup& group, const PlannedFile& file);
// Data and offline layouts: the file's path below OUT, '/'-separated
// ("data/<HEADER>/<subfolder>/<name>"); web blocks: its path below the
// packing folder ("NAME/<HEADER>/<subfolder>/<name>").
std::string OutputRelativePath(const Project& project, const FileGroup& group, const PlannedFile& file);

}  // namespace kestrawl::tools

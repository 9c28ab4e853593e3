// Writes the media of a setup's file groups into the output folder (layouts
// in media_layout.h): the trees OUT/data/ and OUT/offline/ (both removed
// first, so files of an earlier build never travel along) and one archive
// OUT/NAME.7z per web media block, packed with the archive library using
// the project's media-compression preset and, when the block has a
// password, encrypted with header encryption.
//
// Output is repeatable: files are copied in a fixed order with their
// modification times; folders inside an archive carry the newest time of
// the block's files. An output folder whose cleaning would delete project
// files (OUT/data inside the project's sources) is refused.
#pragma once

#include <string>
#include <vector>

#include "media/archive_library.h"
#include "script/compiled_script.h"
#include "tools/kestrawl/install_file_plan.h"
#include "tools/kestrawl/project.h"

namespace kestrawl::tools {

// The 7-Zip switches of a media-compression name ("store", "fast",
// "normal", "maximum"); header_encryption for blocks with a password.
std::string MediaCompressionSwitches(const std::string& compression, bool header_encryption);

// Returns the archives written (host paths). `compiled` supplies the block
// passwords, exactly as the setup will look them up. `library` must be
// loaded when the plan has a web media block. Throws EProjectError /
// std::runtime_error.
std::vector<std::string> WriteInstallMedia(const Project& project, const InstallFilePlan& plan,
                                           const script::CompiledScript& compiled, const std::string& out_dir,
                                           const media::ArchiveLibrary* library);

}  // namespace kestrawl::tools

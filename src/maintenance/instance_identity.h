// Instance identity: the instance code, the cache folder name and the title
// of the product instance a run works on. They come from "instance.dat"
// beside the running executable (written into every engine cache) when that
// file holds them, else from the compiled script.
#pragma once

#include <string>
#include <string_view>

#include "platform/file_system.h"
#include "script/compiled_script.h"

namespace kestrawl::maintenance {

inline constexpr const char* kInstanceFileName = "instance.dat";

struct InstanceIdentity {
  std::string instance_code;      // GUID of the instance (PRODUCTCODE)
  std::string cache_folder_name;  // GUID of this revision (REVISIONCODE)
  std::string title;              // product title, default program group
  bool from_instance_file = false;  // "instance.dat" supplied the codes
};

// Reads the three lines of "instance.dat" (UTF-8, CR LF or LF, a leading
// byte-order mark skipped; blanks around the codes trimmed). False, leaving
// `identity` untouched, unless both codes are present; a missing title
// line leaves the title empty.
bool ParseInstanceFile(std::string_view data, InstanceIdentity* identity);

// The identity of the running setup: "instance.dat" in `executable_folder`
// when it exists and holds both codes, else the compiled script's product
// code, revision code and title. A missing or empty instance-file title
// falls back to the script's title.
InstanceIdentity ResolveInstanceIdentity(platform::FileSystem& files,
                                         const std::string& executable_folder,
                                         const script::CompiledScript& script);

}  // namespace kestrawl::maintenance

// Loads a compiled script from its UTF-8 text. One leading byte-order mark is
// skipped. A line ends with CR LF; a lone LF also ends a line, and so does
// the end of the text (a CR right before either is dropped); a CR elsewhere
// is kept as text. Lists end
// at a line that is exactly "$". Integer fields that are not clean decimal
// numbers in range read as 0. A truncated text gives shorter lists and empty
// values, never a fault; bytes after field 28 are not looked at.
#pragma once

#include <string>
#include <string_view>

#include "platform/errors.h"
#include "platform/file_system.h"
#include "script/compiled_script.h"

namespace kestrawl::script {

CompiledScript ParseCompiledScript(std::string_view text);

// Reads the file at the Windows path through the platform and parses it.
// Returns the platform's error when the file cannot be read.
platform::Win32Error LoadCompiledScript(platform::FileSystem& file_system,
                                        const std::string& path, CompiledScript* script);

}  // namespace kestrawl::script

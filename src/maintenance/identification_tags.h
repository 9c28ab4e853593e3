// Software identification tags. When the compiled script defines the
// compiler variable SWID (the registration identifier, "regid"), a
// successful installation leaves an XML tag naming the product, its version
// and its maker in two places, and a removal deletes both:
//   <TARGETDIR>\<regid>_<TITLE>.swidtag
//   <common application data>\<regid>\<regid>_<TITLE>.swidtag
// Without a regid nothing is written, removed or created.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "script/engine_context.h"

namespace kestrawl::maintenance {

// What one tag states.
struct IdentificationTag {
  std::string regid;         // registration identifier of creator, licensor and tag creator
  std::string title;         // product title (also the unique id)
  std::string version;       // product version as written
  std::string company;       // creator, licensor and tag creator name
  bool entitlement = false;  // an entitlement is required to use the product
};

// The four numbers of a version text.
struct TagVersionNumbers {
  int32_t major = 0, minor = 0, build = 0, review = 0;
  bool operator==(const TagVersionNumbers&) const = default;
};

// The first four dot-separated decimal numbers of a version; a missing part,
// or a part that is not a decimal number (also before a dot), gives 0.
TagVersionNumbers ParseTagVersion(std::string_view version);

// The tag file content: UTF-8 without byte-order mark, one element per
// line, two spaces of indentation per level, CR LF after every line. Texts
// are escaped so the result is always well-formed XML.
std::string IdentificationTagText(const IdentificationTag& tag);

// Creates the product folder and the common tag folder when missing and
// writes the tag to both (common folder first). Does nothing without a regid
// or when either folder is still missing afterwards. Throws
// script::EScriptError when the regid or title cannot form a file name or a
// tag file cannot be written.
void WriteIdentificationTags(script::EngineContext& engine);

// Deletes both tag files where they exist, then removes the common tag folder
// and the product folder when they are empty. Creates nothing and never
// throws; a tag that cannot be deleted stays.
void RemoveIdentificationTags(script::EngineContext& engine);

}  // namespace kestrawl::maintenance

#include "maintenance/identification_tags.h"

#include <optional>

#include "base/win_path.h"
#include "platform/errors.h"
#include "platform/system.h"
#include "script/command_context.h"
#include "script/script_error.h"
#include "script/substitution.h"

namespace kestrawl::maintenance {

namespace {

constexpr std::string_view kRegidReference = "#SWID#";
constexpr std::string_view kEntitlementReference = "#SWID_ENTITLEMENT#";
constexpr std::string_view kTagExtension = ".swidtag";

constexpr std::string_view kSignatureNamespace = "http://www.w3.org/2000/09/xmldsig#";
constexpr std::string_view kTagNamespace = "http://standards.iso.org/iso/19770/-2/2008/schema.xsd";
constexpr std::string_view kSchemaInstanceNamespace = "http://www.w3.org/2001/XMLSchema-instance";
constexpr std::string_view kTagSchemaFile = "software_identification_tag.xsd";

// XML character data: the markup characters become entities, and control
// characters XML 1.0 cannot carry at all are dropped (tab, LF and CR stay).
std::string EscapeXml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '\t': case '\n': out += c; break;
      case '\r': out += "&#13;"; break;  // a literal CR would be read back as LF
      default:
        if (static_cast<unsigned char>(c) >= 0x20) out += c;
        break;
    }
  }
  return out;
}

// True when the text can be used inside a Windows file name: no path
// separators, no drive or stream colon, no wildcard or other reserved
// character and no control character.
bool IsFileNameText(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20) return false;
    if (std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) return false;
  }
  return true;
}

// A regid must name one folder of its own below the common folder.
bool IsValidRegid(std::string_view regid) {
  return !regid.empty() && IsFileNameText(regid) && regid.find_first_not_of('.') != std::string_view::npos;
}

// The regid, or nothing when the script does not define one. An empty value
// counts as undefined: it would name the common application data folder
// itself as the tag folder.
std::optional<std::string> Regid(const script::EngineContext& engine) {
  const std::string value = script::ExpandCompilerVariables(engine.script.compiler_variables, kRegidReference);
  if (value == kRegidReference || value.empty()) return std::nullopt;
  return value;
}

// Where the two tags of this product lie. A folder is empty when it cannot be
// determined (no common application data folder, a product folder that is
// not an absolute path).
struct TagLocations {
  std::string product_folder;  // TARGETDIR with a trailing backslash
  std::string common_folder;   // common application data\regid\ .
  std::string file_name;       // regid_title.swidtag
};

TagLocations Locate(script::EngineContext& engine, const std::string& regid, const std::string& title) {
  TagLocations where;
  const std::string target = script::CollapseBackslashes(script::Expand(engine.variables, "$TARGETDIR$"));
  if (base::IsAbsolutePath(target)) where.product_folder = base::IncludeTrailingBackslash(target);
  std::string common_app_data;
  if (engine.platform.Sys().SpecialFolder(platform::csidl::kCommonAppData, &common_app_data) ==
          platform::err::kSuccess &&
      !common_app_data.empty())
    where.common_folder = base::IncludeTrailingBackslash(common_app_data) + regid + "\\";
  where.file_name = regid + "_" + title + std::string(kTagExtension);
  return where;
}

// Creates the folder when missing; true when it exists afterwards.
bool EnsureFolder(platform::FileSystem& files, const std::string& folder) {
  if (folder.empty()) return false;
  if (!files.FolderExists(folder)) files.CreateFolderTree(folder);
  return files.FolderExists(folder);
}

void WriteTag(platform::FileSystem& files, const std::string& path, const std::string& text) {
  if (platform::Win32Error e = files.WriteWholeFile(path, text))
    throw script::EScriptError("Unable to write the software identification tag " + path + ": " +
                               platform::SystemMessage(e));
}

void RemoveTag(platform::FileSystem& files, const std::string& folder, const std::string& file_name) {
  if (folder.empty()) return;
  if (files.FileExists(folder + file_name)) files.DeleteFile(folder + file_name);
  // Fails harmlessly when the folder holds anything else or is missing.
  files.RemoveFolder(base::ExcludeTrailingBackslash(folder));
}

}  // namespace

TagVersionNumbers ParseTagVersion(std::string_view version) {
  int32_t parts[4] = {0, 0, 0, 0};
  std::string_view rest = version;
  for (int32_t& part : parts) {
    const size_t dot = rest.find('.');
    const std::string piece(rest.substr(0, dot));
    if (!script::ParseInt32(piece, &part)) part = 0;
    if (dot == std::string_view::npos) break;
    rest.remove_prefix(dot + 1);
  }
  return {parts[0], parts[1], parts[2], parts[3]};
}

std::string IdentificationTagText(const IdentificationTag& tag) {
  const TagVersionNumbers numbers = ParseTagVersion(tag.version);
  std::string out;
  auto line = [&out](int depth, std::string_view content) {
    out.append(static_cast<size_t>(depth) * 2, ' ');
    out += content;
    out += "\r\n";
  };
  auto element = [&line](int depth, std::string_view name, std::string_view text) {
    line(depth, "<swid:" + std::string(name) + ">" + EscapeXml(text) + "</swid:" + std::string(name) + ">");
  };
  auto open = [&line](int depth, std::string_view name) { line(depth, "<swid:" + std::string(name) + ">"); };
  auto close = [&line](int depth, std::string_view name) { line(depth, "</swid:" + std::string(name) + ">"); };
  auto party = [&](std::string_view name) {
    open(1, name);
    element(2, "name", tag.company);
    element(2, "regid", tag.regid);
    close(1, name);
  };

  line(0, R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)");
  line(0, "<swid:software_identification_tag xmlns:ds=\"" + std::string(kSignatureNamespace) +
              "\" xmlns:swid=\"" + std::string(kTagNamespace) + "\" xmlns:xsi=\"" +
              std::string(kSchemaInstanceNamespace) + "\" xsi:schemaLocation=\"" + std::string(kTagNamespace) +
              " " + std::string(kTagSchemaFile) + "\">");
  element(1, "entitlement_required_indicator", tag.entitlement ? "true" : "false");
  element(1, "product_title", tag.title);
  open(1, "product_version");
  element(2, "name", tag.version);
  open(2, "numeric");
  element(3, "major", std::to_string(numbers.major));
  element(3, "minor", std::to_string(numbers.minor));
  element(3, "build", std::to_string(numbers.build));
  element(3, "review", std::to_string(numbers.review));
  close(2, "numeric");
  close(1, "product_version");
  party("software_creator");
  party("software_licensor");
  open(1, "software_id");
  element(2, "unique_id", tag.title);
  element(2, "tag_creator_regid", tag.regid);
  close(1, "software_id");
  party("tag_creator");
  line(0, "</swid:software_identification_tag>");
  return out;
}

void WriteIdentificationTags(script::EngineContext& engine) {
  const std::optional<std::string> regid = Regid(engine);
  if (!regid) return;
  IdentificationTag tag;
  tag.regid = *regid;
  tag.title = script::Expand(engine.variables, "$TITLE$");
  tag.version = script::Expand(engine.variables, "$VERSION$");
  tag.company = script::Expand(engine.variables, "$COMPANY$");
  tag.entitlement = script::ToBoolean(
      script::ExpandCompilerVariables(engine.script.compiler_variables, kEntitlementReference));
  if (!IsValidRegid(tag.regid))
    throw script::EScriptError("The software identification regid \"" + tag.regid +
                               "\" cannot be used as a folder name");
  if (!IsFileNameText(tag.title))
    throw script::EScriptError("The product title \"" + tag.title +
                               "\" cannot be used in the software identification tag file name");

  const TagLocations where = Locate(engine, tag.regid, tag.title);
  platform::FileSystem& files = engine.platform.Files();
  // The product folder first: when it cannot be made, no common folder is
  // left behind.
  if (!EnsureFolder(files, where.product_folder) || !EnsureFolder(files, where.common_folder)) return;
  const std::string text = IdentificationTagText(tag);
  WriteTag(files, where.common_folder + where.file_name, text);
  WriteTag(files, where.product_folder + where.file_name, text);
}

void RemoveIdentificationTags(script::EngineContext& engine) {
  const std::optional<std::string> regid = Regid(engine);
  if (!regid || !IsValidRegid(*regid)) return;
  const std::string title = script::Expand(engine.variables, "$TITLE$");
  // No tag can have been written under such a name.
  if (!IsFileNameText(title)) return;
  const TagLocations where = Locate(engine, *regid, title);
  platform::FileSystem& files = engine.platform.Files();
  RemoveTag(files, where.common_folder, where.file_name);
  RemoveTag(files, where.product_folder, where.file_name);
}

}  // namespace kestrawl::maintenance

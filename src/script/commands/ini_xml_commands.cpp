#include "script/commands/ini_xml_commands.h"

#include <pugixml.hpp>

#include <cctype>
#include <sstream>
#include <string>

#include "base/comma_list.h"
#include "base/text.h"
#include "platform/file_system.h"
#include "platform/private_profile.h"
#include "script/command_context.h"
#include "script/commands/wow64_file_view.h"
#include "script/run_state.h"

namespace kestrawl::script {
namespace {

constexpr size_t kIniBufferChars = 26000;
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr const char* kNewline = "$NEWLINE$";

void CreateIfMissing(const CommandContext& ctx, const std::string& name) {
  if (!name.empty() && !ctx.engine.variables.VariableExists(name)) ctx.SetResult(name, "");
}

// ---- INI ---------------------------------------------------------------

void GetIniFileSettings(CommandContext& ctx) {
  Wow64FileView view(ctx.engine.platform.Sys(), ctx.run.bitness);
  const std::string variable = ctx.Raw(1);
  CreateIfMissing(ctx, variable);
  const std::string section = ctx.Path(3);
  const std::string key = ctx.Path(4);
  std::string value;
  if (!section.empty() && !key.empty()) {
    try {
      value = platform::profile::GetString(ctx.engine.platform.Files(), ctx.Path(2), section, key, "",
                                           kIniBufferChars);
    } catch (const std::exception&) {
      value.clear();
    }
  }
  ctx.SetResult(variable, value);
}

// ---- XML helpers ---------------------------------------------------------

// Loads an XML file through the machine. Returns false when the file cannot
// be read or is not well-formed.
bool LoadXml(platform::FileSystem& files, const std::string& path, unsigned options, pugi::xml_document& doc) {
  std::string data;
  if (files.ReadWholeFile(path, &data) != platform::err::kSuccess) return false;
  return static_cast<bool>(doc.load_buffer(data.data(), data.size(), options, pugi::encoding_auto));
}

// The element path "root\a\b" walked from the document element: the first
// name must be the document element's; at each further level the element
// children are looked through from the last to the first; at the final
// level every match is selected (reverse document order), at earlier levels
// the first match in document order is descended into.
std::vector<pugi::xml_node> WalkElementPath(const pugi::xml_node& root, const std::vector<std::string>& names) {
  if (!root || names.empty() || names[0] != root.name()) return {};
  std::vector<pugi::xml_node> matches{root};
  for (size_t level = 1; level < names.size(); ++level) {
    const pugi::xml_node current = matches.back();
    matches.clear();
    for (pugi::xml_node c = current.last_child(); c; c = c.previous_sibling())
      if (c.type() == pugi::node_element && names[level] == c.name()) matches.push_back(c);
    if (matches.empty()) return {};
  }
  return matches;
}

// All text below a node, in document order.
std::string DescendantText(const pugi::xml_node& node) {
  if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) return node.value();
  std::string out;
  for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_element || c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata)
      out += DescendantText(c);
  return out;
}

std::string LinesToMarkers(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (text[i] == '\n')
      out += kNewline;
    else
      out += text[i];
  }
  return out;
}

// ---- Get XML File Settings -------------------------------------------------

std::string XmlSettings(platform::FileSystem& files, const std::string& path, const std::string& element_path,
                        const std::string& attribute) {
  if (!files.FileExists(path)) return "";
  pugi::xml_document doc;
  if (!LoadXml(files, path, pugi::parse_default, doc)) return "";
  std::vector<std::string> items;
  for (const pugi::xml_node& node : WalkElementPath(doc.document_element(), base::Split(element_path, '\\'))) {
    if (attribute.empty()) {
      items.push_back(LinesToMarkers(DescendantText(node)));
    } else if (pugi::xml_attribute a = node.attribute(attribute.c_str())) {
      items.push_back(a.value());
    }
  }
  return base::Join(items, kNewline);
}

void GetXmlFileSettings(CommandContext& ctx) {
  Wow64FileView view(ctx.engine.platform.Sys(), ctx.run.bitness);
  const std::string variable = ctx.Raw(1);
  CreateIfMissing(ctx, variable);
  std::string value;
  try {
    value = XmlSettings(ctx.engine.platform.Files(), ctx.Path(2), ctx.Path(3), ctx.Text(4));
  } catch (const std::exception&) {
    value.clear();
  }
  ctx.SetResult(variable, value);
}

// ---- Evaluate XPath Query ------------------------------------------------

std::string Escaped(const char* text) {
  std::string out;
  for (const char* p = text; *p; ++p) {
    switch (*p) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '"': out += "&quot;"; break;
      default: out += *p;
    }
  }
  return out;
}

std::string NodeName(const pugi::xml_node& n) {
  switch (n.type()) {
    case pugi::node_document: return "#document";
    case pugi::node_pcdata: return "#text";
    case pugi::node_cdata: return "#cdata-section";
    case pugi::node_comment: return "#comment";
    default: return n.name();
  }
}

// What parameter 4 asks of a matched node: 0 its XML, 1 its name, 2 its
// value (empty for elements), 3 its text.
std::string NodeItem(const pugi::xpath_node& match, int what) {
  if (pugi::xml_attribute a = match.attribute()) {
    switch (what) {
      case 0: return std::string(a.name()) + "=\"" + Escaped(a.value()) + "\"";
      case 1: return a.name();
      default: return a.value();
    }
  }
  const pugi::xml_node n = match.node();
  switch (what) {
    case 0: {
      std::ostringstream out;
      n.print(out, "", pugi::format_raw | pugi::format_no_declaration);
      return out.str();
    }
    case 1:
      return NodeName(n);
    case 2:
      return n.type() == pugi::node_element || n.type() == pugi::node_document ? "" : n.value();
    default:
      return n.type() == pugi::node_element || n.type() == pugi::node_document ? DescendantText(n) : n.value();
  }
}

std::string XPathResult(platform::FileSystem& files, const std::string& path, const std::string& queries, int what) {
  if (!files.FileExists(path)) return "";
  pugi::xml_document doc;
  if (!LoadXml(files, path, pugi::parse_default | pugi::parse_comments | pugi::parse_pi, doc)) return "";
  if (what < 0 || what > 3) return "";
  pugi::xpath_node context(doc.document_element());
  pugi::xpath_node_set matches;
  for (const std::string& part : base::Split(queries, '+')) {
    if (!context) return "";
    const std::string expression(base::Trim(part));
    pugi::xpath_query query(expression.c_str());  // throws on a bad expression
    matches = query.evaluate_node_set(context);
    matches.sort();
    context = matches.empty() ? pugi::xpath_node() : matches.first();
  }
  std::vector<std::string> items;
  for (const pugi::xpath_node& m : matches) items.push_back(NodeItem(m, what));
  return base::Join(items, kNewline);
}

void EvaluateXPathQuery(CommandContext& ctx) {
  Wow64FileView view(ctx.engine.platform.Sys(), ctx.run.bitness);
  const std::string variable = ctx.Raw(3);
  CreateIfMissing(ctx, variable);
  const int what = ctx.Number(4);
  std::string value;
  try {
    value = XPathResult(ctx.engine.platform.Files(), ctx.Path(1), ctx.Path(2), what);
  } catch (const std::exception&) {
    // A malformed expression or one that does not give nodes.
    value.clear();
  }
  ctx.SetResult(variable, value);
}

// ---- Edit XML File -------------------------------------------------------

// An XML Name (ASCII rules plus any non-ASCII character), so that an edit
// never writes an element or attribute the file cannot be read back with.
bool IsXmlName(std::string_view name) {
  if (name.empty()) return false;
  auto start = [](unsigned char c) { return c >= 0x80 || std::isalpha(c) || c == '_' || c == ':'; };
  if (!start(static_cast<unsigned char>(name[0]))) return false;
  for (unsigned char c : name)
    if (!(start(c) || std::isdigit(c) || c == '-' || c == '.')) return false;
  return true;
}

enum Operation { kSetText = 1, kAddElement = 2, kDeleteElements = 3, kSetAttributes = 4 };

struct XmlEdit {
  std::vector<std::string> names;  // the element path
  std::string position;            // "1": insert first
  std::string text;
  std::vector<std::string> attributes;
  int operation = 0;
  std::string value;
};

void SetText(pugi::xml_node element, const std::string& text) {
  bool has_elements = false;
  for (pugi::xml_node c = element.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_element) has_elements = true;
  for (pugi::xml_node c = element.first_child(); c;) {
    const pugi::xml_node next = c.next_sibling();
    const bool is_text = c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata;
    // Layout white space between child elements stays.
    if (is_text && (!has_elements || !base::Trim(c.value()).empty())) element.remove_child(c);
    c = next;
  }
  if (!text.empty()) element.prepend_child(pugi::node_pcdata).set_value(text.c_str());
}

bool AddElement(pugi::xml_document& doc, const XmlEdit& e) {
  const std::string& name = e.names.back();
  if (!IsXmlName(name)) return false;
  std::vector<std::pair<std::string, std::string>> attributes;
  for (const std::string& item : e.attributes) {
    const size_t eq = item.find('=');
    std::string attr(base::Trim(item.substr(0, eq)));
    if (attr.empty()) continue;
    if (!IsXmlName(attr)) return false;
    attributes.emplace_back(attr, eq == std::string::npos ? "" : item.substr(eq + 1));
  }

  pugi::xml_node parent;
  if (e.names.size() == 1) {
    if (doc.document_element()) return false;  // a document has one document element
    parent = doc;
  } else {
    const std::vector<std::string> parent_path(e.names.begin(), e.names.end() - 1);
    const std::vector<pugi::xml_node> parents = WalkElementPath(doc.document_element(), parent_path);
    if (parents.empty()) return false;
    parent = parents.back();  // the first in document order
  }
  pugi::xml_node child = e.position == "1" && parent.type() != pugi::node_document
                             ? parent.prepend_child(name.c_str())
                             : parent.append_child(name.c_str());
  if (!e.text.empty()) child.append_child(pugi::node_pcdata).set_value(e.text.c_str());
  for (const auto& [attr, value] : attributes) {
    pugi::xml_attribute a = child.attribute(attr.c_str());
    if (!a) a = child.append_attribute(attr.c_str());
    a.set_value(value.c_str());
  }
  return true;
}

bool ApplyEdit(pugi::xml_document& doc, const XmlEdit& e) {
  if (e.operation == kAddElement) return AddElement(doc, e);
  const std::vector<pugi::xml_node> selected = WalkElementPath(doc.document_element(), e.names);
  if (selected.empty()) return false;
  switch (e.operation) {
    case kSetText:
      for (const auto& n : selected) SetText(n, e.text);
      return true;
    case kDeleteElements:
      for (const auto& n : selected) n.parent().remove_child(n);
      return true;
    case kSetAttributes:
      for (const std::string& attr : e.attributes)
        if (!attr.empty() && !IsXmlName(attr)) return false;
      for (pugi::xml_node n : selected) {
        for (const std::string& attr : e.attributes) {
          if (attr.empty()) continue;
          if (e.value.empty()) {
            n.remove_attribute(attr.c_str());
          } else {
            pugi::xml_attribute a = n.attribute(attr.c_str());
            if (!a) a = n.append_attribute(attr.c_str());
            a.set_value(e.value.c_str());
          }
        }
      }
      return true;
    default:
      return false;
  }
}

// The encoding the document is written in: the one its declaration names.
pugi::xml_encoding SaveEncoding(const pugi::xml_document& doc) {
  for (pugi::xml_node n = doc.first_child(); n; n = n.next_sibling()) {
    if (n.type() != pugi::node_declaration) continue;
    const std::string enc = base::AsciiLower(n.attribute("encoding").value());
    if (enc == "utf-16" || enc == "utf-16le" || enc == "unicode") return pugi::encoding_utf16_le;
    if (enc == "utf-16be") return pugi::encoding_utf16_be;
    if (enc == "iso-8859-1" || enc == "latin1") return pugi::encoding_latin1;
    break;
  }
  return pugi::encoding_utf8;
}

std::string NextBackupName(platform::FileSystem& files, const std::string& path) {
  for (unsigned n = 0;; ++n) {
    std::string name = path + ".backup. " + std::to_string(n);
    if (!files.Exists(name)) return name;
  }
}

// True when a text that parsed without a document element holds only
// markup (a declaration, comments) or nothing, so a new document loses none
// of it; plain text is not XML and must be kept.
bool HoldsNoContent(std::string_view raw) {
  if (raw.starts_with(kUtf8Bom)) raw.remove_prefix(kUtf8Bom.size());
  const std::string_view t = base::Trim(raw);
  return t.empty() || (t.front() == '<' && t.back() == '>');
}

// Top-level nodes are written one per line when the file had line breaks
// (the parser keeps no white space outside the document element).
void SeparateTopLevelNodes(pugi::xml_document& doc, const std::string& eol, bool trailing) {
  for (pugi::xml_node n = doc.first_child(); n;) {
    const pugi::xml_node next = n.next_sibling();
    if (next || trailing) doc.insert_child_after(pugi::node_pcdata, n).set_value(eol.c_str());
    n = next;
  }
}

void EditXml(platform::FileSystem& files, const std::string& path, const std::string& encoding, bool indent,
             bool backup, const XmlEdit& e) {
  const bool exists = files.FileExists(path);
  if (exists && backup) files.CopyFile(path, NextBackupName(files, path), true);

  std::string raw;
  if (exists && files.ReadWholeFile(path, &raw) != platform::err::kSuccess) return;
  if (!exists && files.Exists(path)) return;  // a folder of that name

  // Without re-indenting, the file's own white space and line ends are kept
  // node for node.
  const unsigned options = indent ? pugi::parse_full : (pugi::parse_full | pugi::parse_ws_pcdata) & ~pugi::parse_eol;
  pugi::xml_document doc;
  const bool had_bom = raw.starts_with(kUtf8Bom);
  const pugi::xml_parse_result parsed =
      exists ? doc.load_buffer(raw.data(), raw.size(), options, pugi::encoding_auto) : pugi::xml_parse_result();
  if (!exists || !parsed) {
    // Replacing a file that is there but is not XML would lose it.
    if (exists && !(parsed.status == pugi::status_no_document_element && HoldsNoContent(raw))) return;
    doc.reset();
    pugi::xml_node decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version").set_value("1.0");
    if (!encoding.empty()) decl.append_attribute("encoding").set_value(encoding.c_str());
  }

  if (!ApplyEdit(doc, e)) return;

  if (!indent && raw.find('\n') != std::string::npos) {
    const bool trailing = raw.ends_with("\n") || raw.ends_with(std::string("\n\0", 2));
    SeparateTopLevelNodes(doc, raw.find('\r') != std::string::npos ? "\r\n" : "\n", trailing);
  }
  const pugi::xml_encoding out_encoding = SaveEncoding(doc);
  unsigned flags = pugi::format_no_declaration | (indent ? pugi::format_indent : pugi::format_raw);
  if (out_encoding != pugi::encoding_utf8 && out_encoding != pugi::encoding_latin1) flags |= pugi::format_write_bom;
  if (out_encoding == pugi::encoding_utf8 && had_bom) flags |= pugi::format_write_bom;
  std::ostringstream out;
  doc.save(out, "  ", flags, out_encoding);
  files.WriteWholeFile(path, out.str());
}

void EditXmlFile(CommandContext& ctx) {
  Wow64FileView view(ctx.engine.platform.Sys(), ctx.run.bitness);
  XmlEdit e;
  e.operation = ctx.Number(7);
  if (e.operation < kSetText || e.operation > kSetAttributes) return;
  e.names = base::Split(ctx.Path(4), '\\');
  e.position = std::string(base::Trim(ctx.Text(3)));
  e.text = ctx.Text(5);
  e.attributes = base::SplitCommaText(ctx.Text(6));
  e.value = ctx.Text(8);
  try {
    EditXml(ctx.engine.platform.Files(), ctx.Path(1), ctx.Text(2), ctx.Flag(9), ctx.Flag(10), e);
  } catch (const std::exception&) {
    // Failures are ignored.
  }
}

}  // namespace

std::vector<HandlerEntry> IniXmlCommandHandlers() {
  return {{"Get INI File Settings", GetIniFileSettings},
          {"Get XML File Settings", GetXmlFileSettings},
          {"Evaluate XPath Query", EvaluateXPathQuery},
          {"Edit XML File", EditXmlFile}};
}

}  // namespace kestrawl::script

// Private-profile reads and writes. A file is split into lines that keep
// their original bytes and line ends; a write changes, inserts or removes
// whole lines and puts every other byte back as it was (so text that is not
// valid in the file's encoding survives a rewrite untouched). New lines are
// encoded like the file and end with CRLF.
//
// Line kinds (after trimming blanks): "[name]" starts a section (a missing
// "]" takes the rest of the line); "key=value" is an entry; lines starting
// with ";" and every other line are kept but never match. Lines before the
// first section belong to no section.
#include "platform/private_profile.h"

#include <string_view>

#include "base/text.h"
#include "base/utf.h"

namespace kestrawl::platform::profile {

namespace {

enum class Encoding { kUtf8, kUtf16Le, kUtf16Be };

struct Line {
  std::string raw;   // the line's bytes as in the file, without its end
  std::string eol;   // the line end's bytes as in the file; empty for a last line without one
  std::string text;  // the line as UTF-8
};

struct Document {
  Encoding encoding = Encoding::kUtf8;
  std::string bom;   // byte-order mark as found
  std::vector<Line> lines;
  std::string tail;  // an odd last byte of a UTF-16 file
};

// ---- encoding ----

std::string EncodeText(Encoding encoding, std::string_view utf8) {
  if (encoding == Encoding::kUtf8) return std::string(utf8);
  std::string out;
  for (char16_t c : base::Utf8ToUtf16(utf8)) {
    char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
    if (encoding == Encoding::kUtf16Le) {
      out += lo;
      out += hi;
    } else {
      out += hi;
      out += lo;
    }
  }
  return out;
}

Document Parse(const std::string& bytes) {
  Document doc;
  std::string_view body = bytes;
  if (body.starts_with("\xFF\xFE")) {
    doc.encoding = Encoding::kUtf16Le;
  } else if (body.starts_with("\xFE\xFF")) {
    doc.encoding = Encoding::kUtf16Be;
  } else if (body.starts_with("\xEF\xBB\xBF")) {
    doc.bom = "\xEF\xBB\xBF";
  }

  if (doc.encoding == Encoding::kUtf8) {
    body.remove_prefix(doc.bom.size());
    size_t start = 0;
    while (start < body.size()) {
      size_t end = body.find_first_of("\r\n", start);
      Line line;
      if (end == std::string_view::npos) end = body.size();
      line.raw = body.substr(start, end - start);
      size_t next = end;
      if (next < body.size()) next += body.compare(next, 2, "\r\n") == 0 ? 2 : 1;
      line.eol = body.substr(end, next - end);
      line.text = line.raw;
      doc.lines.push_back(std::move(line));
      start = next;
    }
    return doc;
  }

  doc.bom = bytes.substr(0, 2);
  body.remove_prefix(2);
  bool le = doc.encoding == Encoding::kUtf16Le;
  size_t units = body.size() / 2;
  doc.tail = body.substr(units * 2);
  auto unit = [&](size_t i) {
    uint8_t a = static_cast<uint8_t>(body[2 * i]), b = static_cast<uint8_t>(body[2 * i + 1]);
    return static_cast<char16_t>(le ? (a | (b << 8)) : ((a << 8) | b));
  };
  size_t start = 0;
  while (start < units) {
    size_t end = start;
    while (end < units && unit(end) != u'\r' && unit(end) != u'\n') ++end;
    size_t next = end;
    if (next < units) next += (unit(next) == u'\r' && next + 1 < units && unit(next + 1) == u'\n') ? 2 : 1;
    Line line;
    line.raw = body.substr(2 * start, 2 * (end - start));
    line.eol = body.substr(2 * end, 2 * (next - end));
    std::u16string wide;
    for (size_t i = start; i < end; ++i) wide += unit(i);
    line.text = base::Utf16ToUtf8(wide);
    doc.lines.push_back(std::move(line));
    start = next;
  }
  return doc;
}

std::string Serialize(const Document& doc) {
  std::string out = doc.bom;
  for (const Line& line : doc.lines) out += line.raw + line.eol;
  return out + doc.tail;
}

Line NewLine(const Document& doc, const std::string& text) {
  return Line{EncodeText(doc.encoding, text), EncodeText(doc.encoding, "\r\n"), text};
}

// ---- structure ----

// The section a header line names, or nullopt for other lines.
std::optional<std::string_view> SectionName(std::string_view text) {
  text = base::Trim(text);
  if (!text.starts_with('[')) return std::nullopt;
  text.remove_prefix(1);
  size_t close = text.find(']');
  return base::Trim(text.substr(0, close));
}

struct Entry {
  std::string_view key;
  std::string_view value;  // trimmed
};

std::optional<Entry> EntryOf(std::string_view text) {
  std::string_view trimmed = base::Trim(text);
  if (trimmed.starts_with('[') || trimmed.starts_with(';')) return std::nullopt;
  size_t eq = text.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return Entry{base::Trim(text.substr(0, eq)), base::Trim(text.substr(eq + 1))};
}

// Lines [header, end) of the first section with the name; header == npos
// when there is none.
struct Span {
  size_t header = std::string::npos;
  size_t end = 0;
};

Span FindSection(const Document& doc, std::string_view section) {
  Span span;
  section = base::Trim(section);
  for (size_t i = 0; i < doc.lines.size(); ++i) {
    std::optional<std::string_view> name = SectionName(doc.lines[i].text);
    if (!name) continue;
    if (span.header != std::string::npos) {
      span.end = i;
      return span;
    }
    if (base::EqualsNoCase(*name, section)) span.header = i;
  }
  span.end = doc.lines.size();
  return span;
}

// The first line of the span holding the key, or npos.
size_t FindKey(const Document& doc, const Span& span, std::string_view key) {
  if (span.header == std::string::npos) return std::string::npos;
  key = base::Trim(key);
  for (size_t i = span.header + 1; i < span.end; ++i) {
    std::optional<Entry> entry = EntryOf(doc.lines[i].text);
    if (entry && base::EqualsNoCase(entry->key, key)) return i;
  }
  return std::string::npos;
}

// Cut to size - 1 UTF-16 code units (without splitting a surrogate pair).
std::string CutToBuffer(std::string_view text, size_t buffer_chars) {
  if (buffer_chars == 0) return {};
  std::u16string wide = base::Utf8ToUtf16(text);
  if (wide.size() < buffer_chars) return std::string(text);
  wide.resize(buffer_chars - 1);
  if (!wide.empty() && wide.back() >= 0xD800 && wide.back() < 0xDC00) wide.pop_back();
  return base::Utf16ToUtf8(wide);
}

std::string_view StripQuotes(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

bool HasLineBreak(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// Names and values that would not read back as written (or would inject
// further lines) are refused.
bool ValidSection(std::string_view section) {
  return !base::Trim(section).empty() && !HasLineBreak(section) &&
         section.find(']') == std::string_view::npos;
}
bool ValidKey(std::string_view key) {
  std::string_view trimmed = base::Trim(key);
  return !trimmed.empty() && !HasLineBreak(key) && key.find('=') == std::string_view::npos &&
         !trimmed.starts_with('[') && !trimmed.starts_with(';');
}

// Loads the file; a missing file gives an empty document and *missing.
Win32Error Load(FileSystem& files, const std::string& file, Document* doc, bool* missing) {
  std::string bytes;
  Win32Error e = files.ReadWholeFile(file, &bytes);
  *missing = e == err::kFileNotFound || e == err::kPathNotFound;
  if (e != err::kSuccess && !*missing) return e;
  *doc = Parse(bytes);
  return err::kSuccess;
}

// Makes sure the line before an insertion point ends with a line break.
void CloseLine(Document& doc, size_t index) {
  Line& line = doc.lines[index];
  if (line.eol.empty()) line.eol = EncodeText(doc.encoding, "\r\n");
}

}  // namespace

std::string GetString(FileSystem& files, const std::string& file, const std::string& section,
                      const std::string& key, const std::string& fallback, size_t buffer_chars) {
  // Trailing blanks of the fallback are dropped, as the system call does.
  std::string_view result = fallback;
  while (!result.empty() && (result.back() == ' ' || result.back() == '\t')) result.remove_suffix(1);
  std::string bytes;
  Document doc;
  if (files.ReadWholeFile(file, &bytes) == err::kSuccess) {
    doc = Parse(bytes);
    size_t line = FindKey(doc, FindSection(doc, section), key);
    if (line != std::string::npos) result = StripQuotes(EntryOf(doc.lines[line].text)->value);
  }
  return CutToBuffer(result, buffer_chars);
}

Win32Error WriteString(FileSystem& files, const std::string& file, const std::string& section,
                       const std::string& key, const std::optional<std::string>& value) {
  if (!ValidSection(section) || !ValidKey(key) || (value && HasLineBreak(*value))) {
    return err::kInvalidParameter;
  }
  Document doc;
  bool missing = false;
  if (Win32Error e = Load(files, file, &doc, &missing)) return e;
  if (missing && !value) return err::kSuccess;  // nothing to delete

  Span span = FindSection(doc, section);
  size_t line = FindKey(doc, span, key);
  if (!value) {
    if (line == std::string::npos) return err::kSuccess;
    doc.lines.erase(doc.lines.begin() + static_cast<std::ptrdiff_t>(line));
  } else if (line != std::string::npos) {
    // Keep the key as spelled in the file, and the line's own end.
    std::string text = std::string(EntryOf(doc.lines[line].text)->key) + "=" + *value;
    Line replaced = NewLine(doc, text);
    replaced.eol = doc.lines[line].eol;
    doc.lines[line] = std::move(replaced);
  } else if (span.header != std::string::npos) {
    // After the section's last entry (or its header), before trailing
    // blank or comment lines that introduce the next section.
    size_t after = span.header;
    for (size_t i = span.header + 1; i < span.end; ++i) {
      if (EntryOf(doc.lines[i].text)) after = i;
    }
    CloseLine(doc, after);
    doc.lines.insert(doc.lines.begin() + static_cast<std::ptrdiff_t>(after + 1),
                     NewLine(doc, std::string(base::Trim(key)) + "=" + *value));
  } else {
    if (!doc.lines.empty()) CloseLine(doc, doc.lines.size() - 1);
    doc.lines.push_back(NewLine(doc, "[" + std::string(base::Trim(section)) + "]"));
    doc.lines.push_back(NewLine(doc, std::string(base::Trim(key)) + "=" + *value));
  }
  return files.WriteWholeFile(file, Serialize(doc));
}

Win32Error DeleteSection(FileSystem& files, const std::string& file, const std::string& section) {
  if (!ValidSection(section)) return err::kInvalidParameter;
  Document doc;
  bool missing = false;
  if (Win32Error e = Load(files, file, &doc, &missing)) return e;
  Span span = FindSection(doc, section);
  if (missing || span.header == std::string::npos) return err::kSuccess;
  doc.lines.erase(doc.lines.begin() + static_cast<std::ptrdiff_t>(span.header),
                  doc.lines.begin() + static_cast<std::ptrdiff_t>(span.end));
  return files.WriteWholeFile(file, Serialize(doc));
}

}  // namespace kestrawl::platform::profile

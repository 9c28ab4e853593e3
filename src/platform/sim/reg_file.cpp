#include "platform/sim/reg_file.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "base/text.h"
#include "platform/sim/sim_registry.h"

namespace kestrawl::platform::sim {

namespace {

constexpr char kCrLf[] = "\r\n";
constexpr char kRegedit4Header[] = "REGEDIT4";
// The registry editor breaks a hex line once it reaches this many columns;
// with the trailing backslash no line exceeds 80.
constexpr size_t kMaxHexColumns = 77;
constexpr size_t kMaxKeyNameUnits = 255;

// ---- export ---------------------------------------------------------------

std::string Escape(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

// Whether a REG_SZ value survives as quoted text: its data must be exactly
// the encoding of its text (one final NUL, whole and valid UTF-16), and the
// text may not hold a line break, which would end the line in the file.
bool PlainString(const RegValue& value) {
  std::string text = value.AsString();
  return text.find_first_of("\r\n") == std::string::npos && RegValue::String(text).data == value.data;
}

void AppendHex(std::string* out, uint32_t type, size_t line_len, const std::string& data) {
  char prefix[24];
  if (type == regtype::kBinary) {
    std::snprintf(prefix, sizeof prefix, "hex:");
  } else {
    std::snprintf(prefix, sizeof prefix, "hex(%x):", type);
  }
  *out += prefix;
  line_len += std::char_traits<char>::length(prefix);
  for (size_t i = 0; i < data.size(); ++i) {
    char byte[4];
    std::snprintf(byte, sizeof byte, "%02x", static_cast<unsigned char>(data[i]));
    *out += byte;
    if (i + 1 == data.size()) break;
    *out += ',';
    line_len += 3;
    if (line_len >= kMaxHexColumns) {
      *out += "\\\r\n  ";
      line_len = 2;
    }
  }
}

void AppendValue(std::string* out, const RegNamedValue& named) {
  std::string head = named.name.empty() ? "@=" : "\"" + Escape(named.name) + "\"=";
  *out += head;
  const RegValue& v = named.value;
  if (v.type == regtype::kSz && PlainString(v)) {
    *out += "\"" + Escape(v.AsString()) + "\"";
  } else if (v.type == regtype::kDword && v.data.size() == 4) {
    char text[16];
    std::snprintf(text, sizeof text, "dword:%08x", v.AsDword());
    *out += text;
  } else {
    AppendHex(out, v.type, base::Utf16Length(head), v.data);
  }
  *out += kCrLf;
}

Win32Error AppendTree(Registry& reg, RegRoot root, const std::string& subkey, RegView view,
                      std::string* out) {
  std::vector<RegNamedValue> values;
  std::vector<std::string> keys;
  if (Win32Error rc = reg.EnumValues(root, subkey, view, &values); rc != err::kSuccess) return rc;
  if (Win32Error rc = reg.EnumKeys(root, subkey, view, &keys); rc != err::kSuccess) return rc;
  *out += kCrLf;
  *out += "[" + RegRootName(root) + (subkey.empty() ? "" : "\\" + subkey) + "]" + kCrLf;
  for (const auto& v : values) AppendValue(out, v);
  for (const auto& k : keys) {
    std::string child = subkey.empty() ? k : subkey + "\\" + k;
    if (Win32Error rc = AppendTree(reg, root, child, view, out); rc != err::kSuccess) return rc;
  }
  return err::kSuccess;
}

std::string TrimKeyPath(std::string_view s) {
  while (!s.empty() && s.front() == '\\') s.remove_prefix(1);
  while (!s.empty() && s.back() == '\\') s.remove_suffix(1);
  return std::string(s);
}

// ---- import ---------------------------------------------------------------

bool ValidUtf8(const std::string& bytes) {
  return base::Utf16ToUtf8(base::Utf8ToUtf16(bytes)) == bytes;
}

std::string Latin1ToUtf8(std::string_view bytes) {
  std::u16string units;
  for (char c : bytes) units.push_back(static_cast<unsigned char>(c));
  return base::Utf16ToUtf8(units);
}

// The file as UTF-8 text: UTF-16LE with BOM, UTF-8 with or without BOM, or
// (when it is not valid UTF-8) 8-bit text read as Latin-1.
std::string DecodeFile(const std::string& bytes) {
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    std::u16string units;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                            (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    return base::Utf16ToUtf8(units);
  }
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return bytes.substr(3);
  return ValidUtf8(bytes) ? bytes : Latin1ToUtf8(bytes);
}

std::string Utf16LeBytes(std::string_view utf8) {
  std::string out;
  for (char16_t c : base::Utf8ToUtf16(utf8)) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

struct Op {
  enum Kind { kDeleteTree, kCreateKey, kSetValue, kDeleteValue } kind;
  size_t line;
  RegRoot root;
  std::string subkey;
  std::string name;
  RegValue value;
};

class Parser {
 public:
  Parser(const std::string& text, std::vector<Op>* ops) : ops_(ops) {
    for (auto& line : base::Split(text, '\n')) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines_.push_back(std::move(line));
    }
  }

  bool Run(std::string* error) {
    bool blank = std::all_of(lines_.begin(), lines_.end(),
                             [](const std::string& l) { return base::Trim(l).empty(); });
    if (blank) return Fail(1, "the file is empty", error);
    std::string first(base::Trim(lines_[0]));
    if (first == kRegedit4Header) {
      regedit4_ = true;
    } else if (first != kRegFileHeader) {
      return Fail(1, std::string("not a registry file (the first line must be \"") + kRegFileHeader +
                         "\" or \"" + kRegedit4Header + "\")",
                  error);
    }
    for (size_t i = 1; i < lines_.size(); ++i) {
      size_t number = i + 1;
      std::string_view line = LeftTrim(lines_[i]);
      if (RightTrim(line).empty() || line.front() == ';') continue;
      std::string reason;
      bool ok = false;
      if (line.front() == '[') {
        ok = Section(RightTrim(line), number, &reason);
      } else if (line.front() == '"' || line.front() == '@') {
        ok = Value(line, &i, number, &reason);
      } else {
        reason = "expected a [key] line, a value line or a ; comment";
      }
      if (!ok) return Fail(number, reason, error);
    }
    return true;
  }

 private:
  static std::string_view LeftTrim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    return s;
  }
  static std::string_view RightTrim(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
  }
  static bool Fail(size_t line, const std::string& reason, std::string* error) {
    if (error) *error = "line " + std::to_string(line) + ": " + reason;
    return false;
  }

  bool Section(std::string_view line, size_t number, std::string* reason) {
    if (line.back() != ']') {
      *reason = "the key line does not end with ']'";
      return false;
    }
    std::string_view inner = line.substr(1, line.size() - 2);
    bool remove = !inner.empty() && inner.front() == '-';
    if (remove) inner.remove_prefix(1);
    RegRoot root;
    std::string subkey;
    if (!ParseRegKeyPath(inner, &root, &subkey)) {
      *reason = "unknown registry root in [" + std::string(inner) + "]";
      return false;
    }
    if (remove && subkey.empty()) {
      *reason = "a root key cannot be deleted: [-" + std::string(inner) + "]";
      return false;
    }
    if (!subkey.empty()) {
      for (const auto& part : base::Split(subkey, '\\')) {
        if (part.empty()) {
          *reason = "empty key name in [" + std::string(inner) + "]";
          return false;
        }
        if (base::Utf16Length(part) > kMaxKeyNameUnits) {
          *reason = "key name longer than 255 characters in [" + std::string(inner) + "]";
          return false;
        }
      }
    }
    section_ = OpenSection{true, remove, root, subkey};
    ops_->push_back({remove ? Op::kDeleteTree : Op::kCreateKey, number, root, subkey, {}, {}});
    return true;
  }

  // A quoted text starting at s[*pos] ('"'); leaves *pos after the closing quote.
  static bool Quoted(std::string_view s, size_t* pos, std::string* out, std::string* reason) {
    out->clear();
    for (size_t i = *pos + 1; i < s.size(); ++i) {
      char c = s[i];
      if (c == '"') {
        *pos = i + 1;
        return true;
      }
      if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) c = s[++i];
      out->push_back(c);
    }
    *reason = "missing closing quote";
    return false;
  }

  static bool HexDigits(std::string_view s, size_t max_digits, uint64_t* value) {
    if (s.empty() || s.size() > max_digits) return false;
    *value = 0;
    for (char c : s) {
      int d = (c >= '0' && c <= '9') ? c - '0'
              : (c >= 'a' && c <= 'f') ? c - 'a' + 10
              : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                       : -1;
      if (d < 0) return false;
      *value = *value * 16 + static_cast<uint64_t>(d);
    }
    return true;
  }

  bool Value(std::string_view line, size_t* index, size_t number, std::string* reason) {
    if (!section_.open) {
      *reason = "value line before the first [key] line";
      return false;
    }
    if (section_.remove) {
      *reason = "value line under a key that is being deleted";
      return false;
    }
    std::string name;
    size_t pos = 1;  // after "@", the default value's name
    if (line.front() == '"') {
      pos = 0;
      if (!Quoted(line, &pos, &name, reason)) {
        *reason = "value name: " + *reason;
        return false;
      }
    }
    if (base::Utf16Length(name) > 16383) {
      *reason = "value name longer than 16383 characters";
      return false;
    }
    std::string_view rest = LeftTrim(line.substr(pos));
    if (rest.empty() || rest.front() != '=') {
      *reason = "expected '=' after the value name";
      return false;
    }
    rest = RightTrim(LeftTrim(rest.substr(1)));
    Op op{Op::kSetValue, number, section_.root, section_.subkey, name, {}};
    if (rest == "-") {
      op.kind = Op::kDeleteValue;
    } else if (!rest.empty() && rest.front() == '"') {
      std::string text;
      size_t end = 0;
      if (!Quoted(rest, &end, &text, reason)) return false;
      if (!RightTrim(rest.substr(end)).empty()) {
        *reason = "unexpected text after the closing quote";
        return false;
      }
      op.value = RegValue::String(text);
    } else if (base::StartsWithNoCase(rest, "dword:")) {
      uint64_t v = 0;
      if (!HexDigits(rest.substr(6), 8, &v)) {
        *reason = "dword: needs 1 to 8 hex digits";
        return false;
      }
      op.value = RegValue::Dword(static_cast<uint32_t>(v));
    } else if (base::StartsWithNoCase(rest, "hex")) {
      if (!Hex(rest, index, &op.value, reason)) return false;
    } else {
      *reason = "unknown value data (expected \"text\", dword:, hex: or -)";
      return false;
    }
    ops_->push_back(std::move(op));
    return true;
  }

  // hex:... or hex(T):..., continued on the next lines while a line ends in '\'.
  bool Hex(std::string_view first, size_t* index, RegValue* value, std::string* reason) {
    std::string data(first);
    while (!data.empty() && data.back() == '\\') {
      data.pop_back();
      std::string_view next =
          ++*index < lines_.size() ? RightTrim(LeftTrim(lines_[*index])) : std::string_view();
      if (next.empty()) {
        *reason = "the hex data ends with '\\' but no line continues it";
        return false;
      }
      data += next;
    }
    std::string_view s = data;
    s.remove_prefix(3);
    uint64_t type = regtype::kBinary;
    if (!s.empty() && s.front() == '(') {
      size_t close = s.find(')');
      if (close == std::string_view::npos || !HexDigits(s.substr(1, close - 1), 8, &type)) {
        *reason = "hex(type): needs a hex type number in parentheses";
        return false;
      }
      s.remove_prefix(close + 1);
    }
    if (s.empty() || s.front() != ':') {
      *reason = "expected ':' after hex";
      return false;
    }
    s.remove_prefix(1);
    std::string bytes;
    if (!RightTrim(s).empty()) {
      for (const auto& item : base::Split(s, ',')) {
        uint64_t b = 0;
        if (!HexDigits(RightTrim(LeftTrim(item)), 2, &b)) {
          *reason = "bad hex byte \"" + item + "\"";
          return false;
        }
        bytes.push_back(static_cast<char>(b));
      }
    }
    // Old-format files keep expandable and multi-strings as 8-bit text.
    if (regedit4_ && (type == regtype::kExpandSz || type == regtype::kMultiSz)) {
      bytes = Utf16LeBytes(ValidUtf8(bytes) ? bytes : Latin1ToUtf8(bytes));
    }
    *value = RegValue{static_cast<uint32_t>(type), bytes};
    return true;
  }

  struct OpenSection {
    bool open = false;
    bool remove = false;
    RegRoot root = RegRoot::kLocalMachine;
    std::string subkey;
  };

  std::vector<std::string> lines_;
  std::vector<Op>* ops_;
  bool regedit4_ = false;
  OpenSection section_;
};

std::string KeyText(const Op& op) {
  return RegRootName(op.root) + (op.subkey.empty() ? "" : "\\" + op.subkey);
}

bool Apply(Registry& reg, const std::vector<Op>& ops, RegView view, std::string* error) {
  for (const auto& op : ops) {
    Win32Error rc = err::kSuccess;
    const char* what = "";
    switch (op.kind) {
      case Op::kDeleteTree:
        rc = reg.DeleteTree(op.root, op.subkey, view);
        if (rc == err::kFileNotFound) rc = err::kSuccess;
        what = "cannot delete key ";
        break;
      case Op::kCreateKey:
        rc = reg.CreateKey(op.root, op.subkey, view);
        what = "cannot create key ";
        break;
      case Op::kSetValue:
        rc = reg.SetValue(op.root, op.subkey, op.name, view, op.value);
        what = "cannot set a value of ";
        break;
      case Op::kDeleteValue:
        rc = reg.DeleteValue(op.root, op.subkey, op.name, view);
        if (rc == err::kFileNotFound) rc = err::kSuccess;
        what = "cannot delete a value of ";
        break;
    }
    if (rc != err::kSuccess) {
      if (error) {
        *error = "line " + std::to_string(op.line) + ": " + what + KeyText(op) + " (error " +
                 std::to_string(rc) + ")";
      }
      return false;
    }
  }
  return true;
}

}  // namespace

std::string ExportReg(Registry& reg, RegRoot root, const std::string& subkey, RegView view,
                      Win32Error* error) {
  std::string out = std::string(kRegFileHeader) + kCrLf;
  Win32Error rc = AppendTree(reg, root, TrimKeyPath(subkey), view, &out);
  if (error) *error = rc;
  if (rc != err::kSuccess) return {};
  return out + kCrLf;
}

std::string ExportAllReg(Registry& reg, RegView view, Win32Error* error) {
  std::string out = std::string(kRegFileHeader) + kCrLf;
  for (RegRoot root : {RegRoot::kLocalMachine, RegRoot::kUsers}) {
    Win32Error rc = AppendTree(reg, root, "", view, &out);
    if (error) *error = rc;
    if (rc != err::kSuccess) return {};
  }
  return out + kCrLf;
}

bool ExportRegText(Registry& reg, const std::string& key_path, std::string* text,
                   std::string* error, RegView view) {
  Win32Error rc = err::kSuccess;
  std::string out;
  if (base::Trim(key_path).empty()) {
    out = ExportAllReg(reg, view, &rc);
  } else {
    RegRoot root;
    std::string subkey;
    if (!ParseRegKeyPath(key_path, &root, &subkey)) {
      if (error) *error = "not a registry key: " + key_path;
      return false;
    }
    out = ExportReg(reg, root, subkey, view, &rc);
  }
  if (rc != err::kSuccess) {
    if (error) *error = "cannot export " + key_path + ": " + SystemMessage(rc);
    return false;
  }
  if (text) *text = std::move(out);
  return true;
}

std::string EncodeRegFile(const std::string& utf8_text) {
  return "\xFF\xFE" + Utf16LeBytes(utf8_text);
}

bool ImportReg(Registry& reg, const std::string& file_bytes, std::string* error, RegView view) {
  std::vector<Op> ops;
  Parser parser(DecodeFile(file_bytes), &ops);
  if (!parser.Run(error)) return false;
  std::string reason;
  bool ok = false;
  if (auto* sim = dynamic_cast<SimRegistry*>(&reg)) {
    ok = sim->Batch([&] { return Apply(reg, ops, view, &reason); });
    if (!ok && reason.empty()) reason = "the machine database could not be written";
  } else {
    ok = Apply(reg, ops, view, &reason);
  }
  if (!ok && error) *error = reason;
  return ok;
}

}  // namespace kestrawl::platform::sim

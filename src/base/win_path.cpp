#include "base/win_path.h"

#include <vector>

namespace kestrawl::base {

namespace {

bool IsSep(char c) { return c == '\\' || c == '/'; }
bool IsAsciiAlpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
char AsciiUpperChar(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool HasDrive(std::string_view p) { return p.size() >= 2 && p[1] == ':' && IsAsciiAlpha(p[0]); }

// Index just past the last separator or drive colon; 0 when none.
size_t NameStart(std::string_view path) {
  for (size_t i = path.size(); i > 0; --i) {
    char c = path[i - 1];
    if (IsSep(c) || c == ':') return i;
  }
  return 0;
}

// Position of the extension's dot inside path, or npos.
size_t ExtDot(std::string_view path) {
  size_t start = NameStart(path);
  size_t dot = path.rfind('.');
  if (dot == std::string_view::npos || dot < start) return std::string_view::npos;
  return dot;
}

// Drops "\\?\" / "\??\" (either separator) and turns "UNC\" after it into "\\".
std::string_view StripPrefix(std::string_view p, bool* was_unc) {
  *was_unc = false;
  if (!HasLongPathPrefix(p)) return p;
  std::string_view rest = p.substr(4);
  if (rest.size() >= 4 && AsciiUpperChar(rest[0]) == 'U' && AsciiUpperChar(rest[1]) == 'N' &&
      AsciiUpperChar(rest[2]) == 'C' && IsSep(rest[3])) {
    *was_unc = true;
    return rest.substr(4);
  }
  return rest;
}

}  // namespace

bool HasLongPathPrefix(std::string_view p) {
  return p.size() >= 4 && IsSep(p[0]) && IsSep(p[3]) &&
         ((IsSep(p[1]) && p[2] == '?') || (p[1] == '?' && p[2] == '?'));
}

std::string IncludeTrailingBackslash(std::string_view path) {
  std::string out(path);
  if (out.empty() || !IsSep(out.back())) out.push_back('\\');
  return out;
}

std::string ExcludeTrailingBackslash(std::string_view path) {
  std::string out(path);
  if (!out.empty() && IsSep(out.back())) out.pop_back();
  return out;
}

std::string ExtractFilePath(std::string_view path) { return std::string(path.substr(0, NameStart(path))); }

std::string ExtractFileName(std::string_view path) { return std::string(path.substr(NameStart(path))); }

std::string ExtractFileExt(std::string_view path) {
  size_t dot = ExtDot(path);
  return dot == std::string_view::npos ? std::string() : std::string(path.substr(dot));
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
  size_t dot = ExtDot(path);
  std::string out(path.substr(0, dot == std::string_view::npos ? path.size() : dot));
  out.append(ext);
  return out;
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  if (folder.empty() || IsAbsolutePath(name)) return std::string(name);
  while (!name.empty() && IsSep(name.front())) name.remove_prefix(1);
  if (folder.size() == 2 && HasDrive(folder)) return std::string(folder) + "\\" + std::string(name);
  return IncludeTrailingBackslash(folder) + std::string(name);
}

std::string NormalizeWindowsPath(std::string_view input) {
  if (input.empty()) return {};
  bool unc_prefix = false;
  std::string_view p = StripPrefix(input, &unc_prefix);

  std::string root;
  std::string_view rest;
  size_t fixed = 0;  // leading components ".." may not remove (UNC server and share)
  if (unc_prefix) {
    root = "\\\\";
    rest = p;
    fixed = 2;
  } else if (HasDrive(p)) {
    root = std::string(1, AsciiUpperChar(p[0])) + ":\\";
    rest = p.substr(2);
  } else if (p.size() >= 2 && IsSep(p[0]) && IsSep(p[1])) {
    root = "\\\\";
    rest = p.substr(2);
    fixed = 2;
  } else if (!p.empty() && IsSep(p[0])) {
    root = "\\";
    rest = p.substr(1);
  } else {
    rest = p;
  }
  const bool relative = root.empty();

  std::vector<std::string_view> parts;
  size_t i = 0;
  while (i <= rest.size()) {
    size_t j = i;
    while (j < rest.size() && !IsSep(rest[j])) ++j;
    std::string_view comp = rest.substr(i, j - i);
    if (comp.empty() || comp == ".") {
      // skipped
    } else if (comp == "..") {
      if (parts.size() > fixed && !(relative && parts.back() == "..")) {
        parts.pop_back();
      } else if (relative) {
        parts.push_back(comp);
      }
    } else {
      parts.push_back(comp);
    }
    i = j + 1;
  }

  std::string out = root;
  for (size_t k = 0; k < parts.size(); ++k) {
    if (k) out.push_back('\\');
    out.append(parts[k]);
  }
  if (!parts.empty() && IsSep(p.back())) out.push_back('\\');
  return out;
}

bool IsAbsolutePath(std::string_view path) {
  if (HasLongPathPrefix(path)) return true;
  if (path.size() >= 3 && HasDrive(path) && IsSep(path[2])) return true;
  return path.size() >= 2 && IsSep(path[0]) && IsSep(path[1]);
}

char DriveLetterOf(std::string_view path) {
  bool unc = false;
  std::string_view p = StripPrefix(path, &unc);
  if (unc || !HasDrive(p)) return 0;
  return AsciiUpperChar(p[0]);
}

}  // namespace kestrawl::base

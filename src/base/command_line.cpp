#include "base/command_line.h"

namespace kestrawl::base {

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view cl) {
  std::vector<std::string> out;
  size_t i = 0, n = cl.size();
  while (i < n && IsBlank(cl[i])) ++i;
  if (i >= n) return out;
  // Program name: no backslash processing.
  std::string prog;
  if (cl[i] == '"') {
    ++i;
    while (i < n && cl[i] != '"') prog.push_back(cl[i++]);
    if (i < n) ++i;
  } else {
    while (i < n && !IsBlank(cl[i])) prog.push_back(cl[i++]);
  }
  out.push_back(prog);
  for (;;) {
    while (i < n && IsBlank(cl[i])) ++i;
    if (i >= n) break;
    std::string arg;
    bool quoted = false;
    while (i < n && (quoted || !IsBlank(cl[i]))) {
      if (cl[i] == '\\') {
        size_t slashes = 0;
        while (i < n && cl[i] == '\\') ++slashes, ++i;
        if (i < n && cl[i] == '"') {
          arg.append(slashes / 2, '\\');
          if (slashes % 2) {
            arg.push_back('"');
            ++i;
          }
        } else {
          arg.append(slashes, '\\');
        }
      } else if (cl[i] == '"') {
        if (quoted && i + 1 < n && cl[i + 1] == '"') {
          arg.push_back('"');
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        arg.push_back(cl[i++]);
      }
    }
    out.push_back(arg);
  }
  return out;
}

std::string QuoteArgument(std::string_view a) {
  if (!a.empty() && a.find_first_of(" \t\"") == std::string_view::npos) return std::string(a);
  std::string out = "\"";
  size_t slashes = 0;
  for (char c : a) {
    if (c == '\\') {
      ++slashes;
      continue;
    }
    if (c == '"') {
      out.append(slashes * 2 + 1, '\\');
    } else {
      out.append(slashes, '\\');
    }
    slashes = 0;
    out.push_back(c);
  }
  out.append(slashes * 2, '\\');
  out.push_back('"');
  return out;
}

std::string BuildCommandLine(const std::vector<std::string>& arguments) {
  std::string out;
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (i) out.push_back(' ');
    if (i == 0 && arguments[0].find_first_of(" \t") != std::string::npos) {
      out += "\"" + arguments[0] + "\"";
    } else {
      out += QuoteArgument(arguments[i]);
    }
  }
  return out;
}

std::vector<std::string> SplitParameters(std::string_view cl) {
  std::vector<std::string> out;
  size_t i = 0, n = cl.size();
  for (;;) {
    while (i < n && static_cast<unsigned char>(cl[i]) <= ' ') ++i;
    if (i >= n) break;
    std::string item;
    while (i < n && static_cast<unsigned char>(cl[i]) > ' ') {
      if (cl[i] == '"') {
        ++i;
        while (i < n && cl[i] != '"') item.push_back(cl[i++]);
        if (i < n) ++i;
      } else {
        item.push_back(cl[i++]);
      }
    }
    out.push_back(item);
  }
  return out;
}

}  // namespace kestrawl::base

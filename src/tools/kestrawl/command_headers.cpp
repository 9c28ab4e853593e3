#include "tools/kestrawl/command_headers.h"

#include <cstdio>
#include <set>

#include "script/command_table.h"

namespace kestrawl::tools {

namespace {

// A 32-bit FNV-1a hash of the product code, the command index and a salt
// that is raised only when an earlier command already took the value.
uint32_t HeaderHash(const std::string& product_code, size_t index, unsigned salt) {
  uint32_t h = 2166136261u;
  auto mix = [&](const std::string& text) {
    for (unsigned char c : text) h = (h ^ c) * 16777619u;
    h = (h ^ 0xFFu) * 16777619u;
  };
  mix(product_code);
  mix(std::to_string(index));
  mix(std::to_string(salt));
  return h;
}

}  // namespace

std::vector<std::string> AssignCommandHeaders(const Project& project) {
  std::vector<std::string> headers(project.commands.size());
  std::set<uint32_t> used;
  for (size_t i = 0; i < project.commands.size(); ++i) {
    const script::CommandSpec* def = script::FindCommand(project.commands[i].name);
    if (!def || !def->install_command) continue;
    unsigned salt = 0;
    uint32_t h = HeaderHash(project.product_code, i, salt);
    while (!used.insert(h).second) h = HeaderHash(project.product_code, i, ++salt);
    char buf[9];
    std::snprintf(buf, sizeof buf, "%08X", h);
    headers[i] = buf;
  }
  return headers;
}

}  // namespace kestrawl::tools

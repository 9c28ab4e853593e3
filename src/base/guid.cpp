#include "base/guid.h"

#include <cstdio>
#include <random>

namespace kestrawl::base {

std::string NewGuid() {
  std::random_device device;
  std::mt19937_64 gen((static_cast<uint64_t>(device()) << 32) ^ device());
  uint64_t a = gen(), b = gen();
  char buf[40];
  snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%04X-%012llX}", static_cast<unsigned>(a >> 32),
           static_cast<unsigned>((a >> 16) & 0xFFFF), static_cast<unsigned>(0x4000 | (a & 0x0FFF)),
           static_cast<unsigned>(0x8000 | ((b >> 48) & 0x3FFF)),
           static_cast<unsigned long long>(b & 0xFFFFFFFFFFFFull));
  return buf;
}

}  // namespace kestrawl::base

#include "base/wildcard.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <vector>

namespace kestrawl::base {

namespace {

// Pattern elements after the DOS rewrite the file system applies before
// matching: '?' always becomes kDosQm; '*' before a '.' becomes kDosStar; a
// '.' before '?', '*' or the end becomes kDosDot.
enum : char32_t {
  kStar = 0x110000,  // any run
  kDosStar,          // any run that does not consume the name's last dot
  kDosQm,            // one character; none at a dot or the end
  kDosDot,           // a dot, or nothing at the end of the name
};

std::vector<char32_t> Decode(std::string_view text) {
  std::vector<char32_t> out;
  int32_t i = 0;
  const int32_t n = static_cast<int32_t>(text.size());
  const auto* s = reinterpret_cast<const uint8_t*>(text.data());
  while (i < n) {
    UChar32 c;
    U8_NEXT(s, i, n, c);
    if (c < 0) c = 0xFFFD;
    out.push_back(static_cast<char32_t>(u_foldCase(c, U_FOLD_CASE_DEFAULT)));
  }
  return out;
}

std::vector<char32_t> Rewrite(const std::vector<char32_t>& p) {
  std::vector<char32_t> out;
  for (size_t i = 0; i < p.size(); ++i) {
    char32_t next = i + 1 < p.size() ? p[i + 1] : 0;
    if (p[i] == U'?') {
      out.push_back(kDosQm);
    } else if (p[i] == U'*') {
      out.push_back(next == U'.' ? kDosStar : kStar);
    } else if (p[i] == U'.' && (next == U'?' || next == U'*' || next == 0)) {
      out.push_back(kDosDot);
    } else {
      out.push_back(p[i]);
    }
  }
  return out;
}

class Matcher {
 public:
  Matcher(std::vector<char32_t> pat, std::vector<char32_t> name)
      : pat_(std::move(pat)), name_(std::move(name)),
        memo_((pat_.size() + 1) * (name_.size() + 1), kUnknown) {
    last_dot_ = name_.size();
    for (size_t i = name_.size(); i > 0; --i) {
      if (name_[i - 1] == U'.') {
        last_dot_ = i - 1;
        break;
      }
    }
  }

  bool Match(size_t pi, size_t ni) {
    char& m = memo_[pi * (name_.size() + 1) + ni];
    if (m == kUnknown) m = Compute(pi, ni) ? kYes : kNo;
    return m == kYes;
  }

 private:
  static constexpr char kUnknown = 0, kYes = 1, kNo = 2;

  bool Compute(size_t pi, size_t ni) {
    const size_t n = name_.size();
    if (pi == pat_.size()) return ni == n;
    switch (pat_[pi]) {
      case kStar:
        return Match(pi + 1, ni) || (ni < n && Match(pi, ni + 1));
      case kDosStar:
        return Match(pi + 1, ni) || (ni < n && ni != last_dot_ && Match(pi, ni + 1));
      case kDosQm:
        if (ni == n || name_[ni] == U'.') return Match(pi + 1, ni);
        return Match(pi + 1, ni + 1);
      case kDosDot:
        if (ni == n) return Match(pi + 1, ni);
        return name_[ni] == U'.' && Match(pi + 1, ni + 1);
      default:
        return ni < n && name_[ni] == pat_[pi] && Match(pi + 1, ni + 1);
    }
  }

  std::vector<char32_t> pat_;
  std::vector<char32_t> name_;
  std::vector<char> memo_;
  size_t last_dot_;
};

}  // namespace

bool WildcardMatch(std::string_view pattern, std::string_view name) {
  if (pattern == "*" || pattern == "*.*") return true;
  // File names are at most 255 characters; longer texts cannot name a file
  // and would only cost memory.
  constexpr size_t kLimit = 4096;
  if (pattern.size() > kLimit || name.size() > kLimit) return false;
  Matcher m(Rewrite(Decode(pattern)), Decode(name));
  return m.Match(0, 0);
}

bool HasWildcards(std::string_view text) { return text.find_first_of("*?") != std::string_view::npos; }

}  // namespace kestrawl::base

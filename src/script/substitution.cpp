#include "script/substitution.h"

#include "base/text.h"

namespace kestrawl::script {
namespace {

constexpr std::string_view kNewlineMarker = "$NEWLINE$";

// One left-to-right scan with rescanning of inserted values. The unscanned
// text is kept reversed, so that inserting a value in front of it is an
// append and the scan as a whole stays linear in the text it produces.
std::string ExpandReferences(const VariableStore& variables, std::string_view text, bool quoted) {
  if (text.find('$') == std::string_view::npos) return std::string(text);
  std::string done;                                // scanned, final
  std::string rest(text.rbegin(), text.rend());    // unscanned, reversed
  size_t replacements = 0;
  for (;;) {
    size_t open = rest.rfind('$');
    if (open == std::string::npos) break;
    done.append(rest.rbegin(), rest.rbegin() + static_cast<std::ptrdiff_t>(rest.size() - 1 - open));
    rest.resize(open + 1);  // rest.back() is the opening "$"
    size_t close = open == 0 ? std::string::npos : rest.rfind('$', open - 1);
    std::string name;
    if (close != std::string::npos) name.assign(rest.rbegin() + 1, rest.rbegin() + static_cast<std::ptrdiff_t>(open - close));
    if (!name.empty() && variables.VariableExists(name)) {
      if (replacements == kMaxReplacements) break;
      std::string value = variables.GetVariable(name);
      size_t inserted = value.size() + (quoted ? 2 : 0);
      size_t reference = name.size() + 2;
      if (inserted > reference && done.size() + rest.size() - reference + inserted > kMaxExpandedSize) break;
      rest.resize(close);
      if (quoted) rest.push_back('"');
      rest.append(value.rbegin(), value.rend());
      if (quoted) rest.push_back('"');
      ++replacements;
      continue;  // the value is scanned again from its start
    }
    // Not a variable: keep "$" and the name; the closing "$" (when there is
    // one) may open the next reference.
    done.push_back('$');
    done += name;
    rest.resize(close == std::string::npos ? open : close + 1);
  }
  done.append(rest.rbegin(), rest.rend());
  return done;
}

bool IsMarkerAt(std::string_view text, size_t i) {
  if (text.size() - i < kNewlineMarker.size()) return false;
  for (size_t k = 0; k < kNewlineMarker.size(); ++k) {
    char c = text[i + k];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != kNewlineMarker[k]) return false;
  }
  return true;
}

// Replaces every "#name#" (letter case ignored) by value, without rescanning
// the inserted value. Returns false when a bound stopped it (rest literal).
bool ReplaceCompilerReference(std::string& text, const std::string& name, const std::string& value,
                              size_t& replacements) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    size_t end = i + name.size() + 1;  // index of the closing "#"
    if (text[i] == '#' && end < text.size() && text[end] == '#' &&
        base::EqualsNoCase(std::string_view(text).substr(i + 1, name.size()), name)) {
      if (replacements == kMaxReplacements ||
          (value.size() > name.size() + 2 && out.size() + value.size() + text.size() - i > kMaxExpandedSize)) {
        out.append(text, i);
        text = std::move(out);
        return false;
      }
      out += value;
      ++replacements;
      i = end + 1;
    } else {
      out.push_back(text[i++]);
    }
  }
  text = std::move(out);
  return true;
}

}  // namespace

std::string Expand(const VariableStore& variables, std::string_view text) {
  return ExpandReferences(variables, text, false);
}

std::string ExpandQuoted(const VariableStore& variables, std::string_view text) {
  return ExpandReferences(variables, text, true);
}

std::string ExpandCompilerVariables(const std::vector<std::string>& pairs, std::string_view text) {
  std::string current(text);
  size_t replacements = 0;
  while (current.find('#') != std::string::npos) {
    std::string input = current;
    for (size_t i = 0; i + 1 < pairs.size(); i += 2)
      if (!ReplaceCompilerReference(current, pairs[i], pairs[i + 1], replacements)) return current;
    if (current == input) break;
  }
  return current;
}

std::string VariableNameOf(std::string_view text) {
  if (text.size() >= 2 && text.front() == '$' && text.find('$', 1) == text.size() - 1)
    return std::string(text.substr(1, text.size() - 2));
  return {};
}

std::string LinesToMarker(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      out += kNewlineMarker;
      ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

std::string MarkerToLines(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    if (text[i] == '$' && IsMarkerAt(text, i)) {
      out += "\r\n";
      i += kNewlineMarker.size();
    } else {
      out.push_back(text[i++]);
    }
  }
  return out;
}

}  // namespace kestrawl::script

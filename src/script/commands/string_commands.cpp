#include "script/commands/string_commands.h"

#include <unicode/uchar.h>

#include <cstdint>
#include <string>

#include "base/text.h"
#include "script/substitution.h"

namespace kestrawl::script {
namespace {

// Maps every code unit outside a surrogate pair on its own; a mapping that
// would leave the unit's length (or the BMP) keeps the unit as it is.
template <typename Map>
std::u16string MapUnits(std::u16string text, Map map) {
  for (char16_t& c : text) {
    if (U16_IS_SURROGATE(c)) continue;
    const UChar32 mapped = map(static_cast<UChar32>(c));
    if (mapped >= 0 && mapped <= 0xFFFF && !U_IS_SURROGATE(mapped)) c = static_cast<char16_t>(mapped);
  }
  return text;
}

std::u16string LowerUnits(const std::u16string& text) {
  return MapUnits(text, [](UChar32 c) { return u_tolower(c); });
}

std::u16string FoldUnits(const std::u16string& text) {
  return MapUnits(text, [](UChar32 c) { return u_foldCase(c, U_FOLD_CASE_DEFAULT); });
}

// count units from the 1-based index; an index below 1 counts as 1, a
// count of 0 or less (or an index past the end) gives the empty text.
std::u16string Copy(const std::u16string& text, int64_t index, int64_t count) {
  if (index < 1) index = 1;
  if (count <= 0 || index > static_cast<int64_t>(text.size())) return {};
  return text.substr(static_cast<size_t>(index - 1), static_cast<size_t>(count));
}

void CreateIfMissing(CommandContext& ctx, const std::string& name) {
  VariableStore& vars = ctx.engine.variables;
  if (!name.empty() && !vars.VariableExists(name)) vars.DeclareVariable(base::ToUpper(name), "", ctx.Source());
}

}  // namespace

void ParseStringCommand(CommandContext& ctx) {
  const std::u16string source = base::Utf8ToUtf16(ctx.Path(1));
  const std::string delimiter_text = ctx.Path(2);
  const std::u16string delimiter = base::Utf8ToUtf16(delimiter_text);
  const std::string first_var = ctx.Raw(3);
  const std::string second_var = ctx.Raw(4);
  CreateIfMissing(ctx, first_var);
  CreateIfMissing(ctx, second_var);

  // Letter case is ignored only to find the split point; the parts keep the
  // case of the source.
  const bool ignore_case = ctx.Flag(7);
  const std::u16string s = ignore_case ? LowerUnits(source) : source;
  const std::u16string p = ignore_case ? LowerUnits(delimiter) : delimiter;
  const int64_t length = static_cast<int64_t>(s.size());

  int64_t position = 0, skip = 1, gap = 1;
  int32_t count = 0;
  switch (ctx.Number(5)) {
    case 0: {  // around the first delimiter; none: everything is part 1
      skip = static_cast<int64_t>(p.size());
      const size_t at = p.empty() ? std::u16string::npos : s.find(p);
      position = at == std::u16string::npos ? length + 1 : static_cast<int64_t>(at) + 1;
      break;
    }
    case 1: {  // around the last delimiter; none: everything is part 2
      skip = static_cast<int64_t>(p.size());
      const size_t at = p.empty() ? std::u16string::npos : s.rfind(p);
      if (at == std::u16string::npos) {
        position = 1;
        skip = 0;
      } else {
        position = static_cast<int64_t>(at) + 1;
      }
      break;
    }
    case 2:  // after N characters
      gap = 0;
      if (ParseInt32(delimiter_text, &count)) {
        position = count;
        if (position == 0) {
          position = 1;
          gap = 1;
          skip = -1;
        }
      }
      break;
    case 3:  // N characters before the end
      gap = 0;
      if (ParseInt32(delimiter_text, &count)) position = length - count;
      break;
    default:
      break;
  }

  std::string first, second;
  if (position != 0) {
    first = base::Utf16ToUtf8(Copy(source, 1, position - gap));
    second = base::Utf16ToUtf8(Copy(source, position + skip, length));
  }
  if (ctx.Flag(6)) {
    first = std::string(base::Trim(first));
    second = std::string(base::Trim(second));
  }
  ctx.SetResult(first_var, first);
  ctx.SetResult(second_var, second);
}

void ReplaceStringCommand(CommandContext& ctx) {
  const std::string name = ctx.ResultName(1);
  // The stored value, not substituted; CR LF pairs become the marker, in the
  // source as in the texts, so that line breaks can be found and replaced.
  const std::u16string source = base::Utf8ToUtf16(LinesToMarker(ctx.engine.variables.GetVariable(name)));
  const std::u16string find = base::Utf8ToUtf16(LinesToMarker(ctx.Text(2)));
  const std::u16string replacement = base::Utf8ToUtf16(LinesToMarker(ctx.Text(3)));
  const bool ignore_case = ctx.Flag(4);
  const bool replace_all = ctx.Flag(5);

  std::u16string result;
  if (find.empty()) {
    result = source;
  } else {
    const std::u16string haystack = ignore_case ? FoldUnits(source) : source;
    const std::u16string needle = ignore_case ? FoldUnits(find) : find;
    size_t from = 0;
    for (size_t at; (at = haystack.find(needle, from)) != std::u16string::npos;) {
      result.append(source, from, at - from).append(replacement);
      from = at + needle.size();
      if (!replace_all) break;
    }
    result.append(source, from, std::u16string::npos);
  }
  ctx.SetResult(name, base::Utf16ToUtf8(result));
}

void ConvertCaseCommand(CommandContext& ctx) {
  const std::string name = ctx.Raw(1);
  const std::string value =
      CollapseBackslashes(Expand(ctx.engine.variables, ctx.engine.variables.GetVariable(name)));
  ctx.SetResult(name, ctx.Flag(2) ? base::ToUpper(value) : base::ToLower(value));
}

std::vector<HandlerEntry> StringCommandHandlers() {
  return {
      {"Parse String", ParseStringCommand},
      {"Replace String", ReplaceStringCommand},
      {"Convert Case", ConvertCaseCommand},
  };
}

}  // namespace kestrawl::script

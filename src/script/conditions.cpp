#include "script/conditions.h"

#include <array>
#include <cstdint>

#include "base/text.h"
#include "script/command_context.h"
#include "script/script_error.h"
#include "script/substitution.h"

namespace kestrawl::script {
namespace {

// Nesting of parentheses beyond this is a syntax error rather than a stack
// overflow.
constexpr int kMaxNesting = 256;

int CompareOrdinal(std::string_view a, std::string_view b) {
  std::u16string ua = base::Utf8ToUtf16(a), ub = base::Utf8ToUtf16(b);
  int c = ua.compare(ub);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int32_t VersionPart(const std::string& text) {
  int32_t value = 0;
  if (!ParseInt32(text, &value)) throw EScriptError("'" + text + "' is not a valid integer value");
  return value;
}

std::array<int32_t, 4> VersionNumbers(std::string_view text) {
  std::array<int32_t, 4> numbers{};
  std::string rest(text);
  for (int32_t& n : numbers) {
    size_t dot = rest.find('.');
    if (dot != std::string::npos) {
      n = VersionPart(rest.substr(0, dot));
      rest.erase(0, dot + 1);
    } else {
      if (!ParseInt32(rest, &n)) n = 0;
      rest.clear();
    }
  }
  return numbers;
}

// An optional "+" or "-" followed by one or more decimal digits.
bool LooksLikeInteger(std::string_view s) {
  size_t i = (!s.empty() && (s[0] == '+' || s[0] == '-')) ? 1 : 0;
  if (i == s.size()) return false;
  for (; i < s.size(); ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  return true;
}

int32_t ToInt32(const std::string& s) {
  int32_t value = 0;
  if (!ParseInt32(s, &value)) throw EScriptError("'" + s + "' is not a valid integer value");
  return value;
}

// Recursive-descent reader of the expression grammar. Every Parse* returns
// false on a syntax error; `pos_` then no longer matters.
class ExpressionParser {
 public:
  explicit ExpressionParser(std::string_view text) : s_(text) {}

  bool ParseExpression(bool& value) {
    if (!ParsePrimary(value)) return false;
    while (pos_ < s_.size()) {
      SkipBlanks();
      if (pos_ == s_.size() || s_[pos_] == ')') break;
      std::string_view connective = ReadWord();
      bool next = false;
      if (!ParsePrimary(next)) return false;
      if (connective == "and") value = value && next;
      else if (connective == "or") value = value || next;
      else return false;
    }
    return true;
  }

  bool AtEnd() const { return pos_ == s_.size(); }

 private:
  void SkipBlanks() {
    while (pos_ < s_.size() && s_[pos_] == ' ') ++pos_;
  }

  // The characters up to the next double quote or blank (a connective or an
  // operator).
  std::string_view ReadWord() {
    size_t start = pos_;
    while (pos_ < s_.size() && s_[pos_] != '"' && s_[pos_] != ' ') ++pos_;
    return s_.substr(start, pos_ - start);
  }

  bool ParsePrimary(bool& value) {
    SkipBlanks();
    if (pos_ == s_.size()) return false;
    if (s_[pos_] == '(') {
      if (depth_ == kMaxNesting) return false;
      ++pos_;
      ++depth_;
      bool ok = ParseExpression(value);
      --depth_;
      if (!ok) return false;
      SkipBlanks();
      if (pos_ == s_.size() || s_[pos_] != ')') return false;
      ++pos_;
      return true;
    }
    if (s_[pos_] == '"') return ParseComparison(value);
    return false;
  }

  bool ReadQuoted(std::string& out) {
    if (pos_ == s_.size() || s_[pos_] != '"') return false;
    for (size_t i = pos_ + 1; i < s_.size(); ++i) {
      if (s_[i] != '"') {
        out.push_back(s_[i]);
      } else if (i + 1 < s_.size() && s_[i + 1] == '"') {
        out.push_back('"');
        ++i;
      } else {
        pos_ = i + 1;
        return true;
      }
    }
    return false;  // no closing quote
  }

  bool ParseComparison(bool& value) {
    std::string left, right;
    if (!ReadQuoted(left)) return false;
    SkipBlanks();
    std::string_view op = ReadWord();
    SkipBlanks();
    if (!ReadQuoted(right)) return false;
    SkipBlanks();
    int c = 0;
    bool known = op == "=" || op == "<>" || op == "<" || op == "<=" || op == ">" || op == ">=";
    if (!known) return false;
    if (LooksLikeInteger(left) && LooksLikeInteger(right)) {
      int32_t a = ToInt32(left), b = ToInt32(right);
      c = a < b ? -1 : (a > b ? 1 : 0);
    } else {
      c = CompareOrdinal(left, right);
    }
    if (op == "=") value = c == 0;
    else if (op == "<>") value = c != 0;
    else if (op == "<") value = c < 0;
    else if (op == "<=") value = c <= 0;
    else if (op == ">") value = c > 0;
    else value = c >= 0;
    return true;
  }

  std::string_view s_;
  size_t pos_ = 0;
  int depth_ = 0;
};

}  // namespace

bool VersionGreater(std::string_view value, std::string_view comparison) {
  return VersionNumbers(value) > VersionNumbers(comparison);
}

bool CompareCondition(std::string_view code, const std::string& value, const std::string& comparison) {
  if (code == "6") return VersionGreater(value, comparison);
  int32_t a = 0, b = 0;
  bool numbers = ParseInt32(value, &a) && ParseInt32(comparison, &b);
  if (code == "0") return numbers ? a == b : value == comparison;
  if (code == "1") return numbers ? a == b : (!comparison.empty() && value.find(comparison) != std::string::npos);
  if (code == "2") return numbers ? a > b : CompareOrdinal(value, comparison) > 0;
  if (code == "3") {
    if (numbers) return a == b;
    return !comparison.empty() && base::ToUpper(value).find(base::ToUpper(comparison)) != std::string::npos;
  }
  if (code == "4") return numbers ? a == b : base::AsciiUpper(value) == base::AsciiUpper(comparison);
  return false;
}

bool EvaluateCondition(CommandContext& ctx) {
  const VariableStore& variables = ctx.engine.variables;
  std::string subject = ctx.Raw(1);
  std::string code = ctx.Raw(2);
  bool result = false;
  if (code == "5") {
    result = variables.VariableExists(subject);
  } else {
    std::string name = VariableNameOf(subject);
    if (name.empty()) name = subject;
    std::string value = Expand(variables, variables.GetVariable(name));
    result = CompareCondition(code, value, ctx.Text(3));
  }
  return result != ToBoolean(ctx.Raw(4));
}

std::string EvaluateExpandedExpression(std::string_view expression) {
  std::string text = "(" + std::string(expression) + ")";
  ExpressionParser parser(text);
  bool value = false;
  if (!parser.ParseExpression(value) || !parser.AtEnd()) return "ERROR";
  return FromBoolean(value);
}

std::string EvaluateExpression(const VariableStore& variables, std::string_view expression) {
  return EvaluateExpandedExpression(ExpandQuoted(variables, expression));
}

bool ExpressionSyntaxOk(std::string_view expression) {
  std::string text(expression);
  for (char& c : text)
    if (c == '$') c = '"';
  try {
    return EvaluateExpandedExpression(text) != "ERROR";
  } catch (const EScriptError&) {
    return true;  // well-formed; the number is a run-time matter
  }
}

}  // namespace kestrawl::script

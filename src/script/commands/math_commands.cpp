#include "script/commands/math_commands.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "base/text.h"
#include "script/run_state.h"

namespace kestrawl::script {
namespace {

// A signed decimal 64-bit integer with an optional sign, nothing else.
std::optional<int64_t> ParseInt64(const std::string& text) {
  size_t digits = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
  if (digits >= text.size()) return std::nullopt;
  for (size_t k = digits; k < text.size(); ++k)
    if (text[k] < '0' || text[k] > '9') return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (errno == ERANGE || *end != '\0') return std::nullopt;
  return static_cast<int64_t>(value);
}

// Wrap-around arithmetic, as the processor does it.
int64_t Wrap(uint64_t bits) { return static_cast<int64_t>(bits); }
int32_t Wrap32(uint32_t bits) { return static_cast<int32_t>(bits); }

}  // namespace

std::optional<std::string> ComputeMathematics(RunState& run, const std::string& operation,
                                              const std::string& a_text, const std::string& b_text) {
  const std::optional<int64_t> op = ParseInt64(operation);
  if (!op) return std::nullopt;

  if (*op == static_cast<int64_t>(MathOperation::kCharCode)) {
    const std::u16string units = base::Utf8ToUtf16(a_text);
    if (units.empty()) return std::nullopt;
    return std::to_string(static_cast<int>(units[0]));
  }
  const std::optional<int64_t> a_value = ParseInt64(a_text);
  if (!a_value) return std::nullopt;
  const int64_t a = *a_value;
  int64_t b = 0;
  if (*op < 10 || *op == static_cast<int64_t>(MathOperation::kSeedRandom)) {
    const std::optional<int64_t> b_value = ParseInt64(b_text);
    if (!b_value) return std::nullopt;
    b = *b_value;
  }
  const uint64_t ua = static_cast<uint64_t>(a), ub = static_cast<uint64_t>(b);
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

  int64_t result = 0;
  switch (static_cast<MathOperation>(*op)) {
    case MathOperation::kAdd: result = Wrap(ua + ub); break;
    case MathOperation::kSubtract: result = Wrap(ua - ub); break;
    case MathOperation::kMultiply: result = Wrap(ua * ub); break;
    case MathOperation::kDivide:
      // The one quotient that does not fit fails like a division by zero.
      if (b == 0 || (a == kMin && b == -1)) return std::nullopt;
      result = a / b;
      break;
    case MathOperation::kRemainder:
      if (b == 0) return std::nullopt;
      result = b == -1 ? 0 : a % b;
      break;
    case MathOperation::kAnd: result = a & b; break;
    case MathOperation::kOr: result = a | b; break;
    case MathOperation::kXor: result = a ^ b; break;
    // Shifting by 64 bits or more moves every bit out; a negative count too.
    case MathOperation::kShiftLeft: result = (b < 0 || b > 63) ? 0 : Wrap(ua << b); break;
    case MathOperation::kShiftRight: result = (b < 0 || b > 63) ? 0 : Wrap(ua >> b); break;
    case MathOperation::kNot: result = ~a; break;
    case MathOperation::kCharacter: {
      if (a < 0 || a > 0xFFFF) return std::nullopt;
      return base::Utf16ToUtf8(std::u16string(1, static_cast<char16_t>(a)));
    }
    case MathOperation::kSeedRandom:
      run.random_multiplier = Wrap32(static_cast<uint32_t>(ua));
      run.random_increment = Wrap32(static_cast<uint32_t>(ub));
      result = Wrap(ua + ub);
      break;
    case MathOperation::kSetRandomState:
      run.random_state = Wrap32(static_cast<uint32_t>(ua));
      result = run.random_state;
      break;
    case MathOperation::kNextRandom: {
      const int32_t r = Wrap32(static_cast<uint32_t>(run.random_multiplier) *
                                   static_cast<uint32_t>(run.random_state) +
                               static_cast<uint32_t>(run.random_increment));
      run.random_state = r % 0x7FFF;
      if (a == 0) return std::nullopt;
      result = static_cast<int64_t>(r) % a;
      break;
    }
    default:
      return std::nullopt;
  }
  return std::to_string(result);
}

void MathematicsCommand(CommandContext& ctx) {
  const std::string target = ctx.Raw(4);
  VariableStore& vars = ctx.engine.variables;
  if (!target.empty() && !vars.VariableExists(target))
    vars.DeclareVariable(base::ToUpper(target), "", ctx.Source());
  // The operation is read as stored; only the operands are substituted.
  const std::optional<std::string> result = ComputeMathematics(ctx.run, ctx.Raw(3), ctx.Text(1), ctx.Text(2));
  ctx.SetResult(target, result.value_or(""));
}

std::vector<HandlerEntry> MathCommandHandlers() { return {{"Mathematics", MathematicsCommand}}; }

}  // namespace kestrawl::script

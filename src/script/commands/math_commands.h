// "Mathematics": signed 64-bit arithmetic, bit operations, character codes
// and the script's random generator (its state lives in RunState). It never
// raises: an operand or operation that is not a number, a division by zero
// or a result that does not exist gives the empty text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "script/command_context.h"
#include "script/command_dispatch.h"

namespace kestrawl::script {

class RunState;

// Operation numbers of "Mathematics".
enum class MathOperation : int64_t {
  kAdd = 0,
  kSubtract = 1,
  kMultiply = 2,
  kDivide = 3,           // truncated toward zero
  kRemainder = 4,        // sign of the dividend
  kAnd = 5,
  kOr = 6,
  kXor = 7,
  kShiftLeft = 8,
  kShiftRight = 9,       // logical: zero bits come in
  kNot = 10,
  kCharCode = 11,        // UTF-16 code of the first character of operand A
  kCharacter = 12,       // the character whose UTF-16 code is A
  kSeedRandom = 13,      // multiplier := A, increment := B
  kSetRandomState = 14,  // state := A
  kNextRandom = 15,
};

// The result text of one operation on the substituted operands, or nullopt
// when the operation fails. Updates the random generator in `run`.
std::optional<std::string> ComputeMathematics(RunState& run, const std::string& operation,
                                              const std::string& a, const std::string& b);

void MathematicsCommand(CommandContext& ctx);

std::vector<HandlerEntry> MathCommandHandlers();

}  // namespace kestrawl::script

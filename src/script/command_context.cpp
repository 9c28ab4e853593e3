#include "script/command_context.h"

#include <cerrno>
#include <cstdlib>

#include "base/text.h"
#include "script/run_state.h"
#include "script/substitution.h"

namespace kestrawl::script {

CommandContext::CommandContext(EngineContext& engine, RunState& run, size_t index)
    : engine(engine), run(run), index(index), name(engine.script.CommandName(index)) {}

std::string CommandContext::Raw(size_t k) const { return engine.script.GetParameter(index, k); }

std::string CommandContext::Text(size_t k) const { return Expand(engine.variables, Raw(k)); }

std::string CommandContext::Path(size_t k) const { return CollapseBackslashes(Text(k)); }

bool CommandContext::Flag(size_t k) const { return ToBoolean(Raw(k)); }

int32_t CommandContext::Number(size_t k) const {
  std::string raw = Raw(k);
  int32_t value = 0;
  if (!ParseInt32(raw, &value)) throw EScriptError("'" + raw + "' is not a valid integer value");
  return value;
}

std::string CommandContext::ResultName(size_t k) const { return StripDollarPair(Raw(k)); }

void CommandContext::SetResult(const std::string& variable, const std::string& value) const {
  if (variable.empty()) return;
  VariableStore& v = engine.variables;
  if (!v.VariableExists(variable)) v.DeclareVariable(base::ToUpper(variable), "", Source());
  v.AssignVariable(variable, value, Source());
}

std::string CollapseBackslashes(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    out.push_back(text[i]);
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') ++i;
  }
  if (text.rfind("\\\\", 0) == 0) out.insert(out.begin(), '\\');
  return out;
}

std::string StripDollarPair(const std::string& raw) {
  if (raw.size() >= 2 && raw.front() == '$' && raw.find('$', 1) == raw.size() - 1)
    return raw.substr(1, raw.size() - 2);
  return raw;
}

bool ParseInt32(const std::string& text, int32_t* value) {
  if (text.empty()) return false;
  const char* s = text.c_str();
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(s, &end, 10);
  if (*end != '\0' || errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return false;
  if (!(isdigit(static_cast<unsigned char>(s[0])) || ((s[0] == '-' || s[0] == '+') && isdigit(static_cast<unsigned char>(s[1])))))
    return false;
  *value = static_cast<int32_t>(v);
  return true;
}

}  // namespace kestrawl::script

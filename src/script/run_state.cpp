#include "script/run_state.h"

#include "base/text.h"

namespace kestrawl::script {

void RunState::AddSavedVariable(const std::string& name) {
  for (const auto& n : saved_variables)
    if (base::EqualsNoCase(n, name)) return;
  saved_variables.push_back(name);
}

}  // namespace kestrawl::script

// Serialises a CompiledScript into the text the loader reads: a UTF-8
// byte-order mark, then the 28 fields in file order, every line ending with
// CR LF and every list closed by a line "$". A parameter that is exactly "$"
// is written as "$DOLLAR$". Values the format cannot carry are refused with
// ECompiledScriptWrite: any CR or LF in a value, a list line "$" outside the
// parameter table, and a parameter that is exactly "$DOLLAR$" or
// "$WILD_DOLLAR$" (it would read back as "$").
#pragma once

#include <stdexcept>
#include <string>

#include "script/compiled_script.h"

namespace kestrawl::script {

class ECompiledScriptWrite : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string WriteCompiledScript(const CompiledScript& script);

}  // namespace kestrawl::script

// Errors a command raises when the script asks for something impossible (a
// number parameter that is not a number, "General setup failure"). The
// interpreter reports them as "Runtime error in setup script:" with the
// command's source file and line, and ends the run.
#pragma once

#include <stdexcept>

namespace kestrawl::script {

class EScriptError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace kestrawl::script

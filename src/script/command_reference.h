// The command reference: the command table rendered as Markdown. The file
// docs/commands.md is this text; a script test compares the two, and running
// that test with KESTRAWL_UPDATE_DOCS=1 rewrites the file instead.
#pragma once

#include <string>

namespace kestrawl::script {

// The whole reference, one section per family, in table order.
std::string CommandReferenceMarkdown();

}  // namespace kestrawl::script

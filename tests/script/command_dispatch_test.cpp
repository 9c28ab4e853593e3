#include "script/command_dispatch.h"

#include <gtest/gtest.h>

#include <set>

#include "script/command_table.h"

namespace kestrawl::script {
namespace {

// Every handler answers to a command of the table, once; block commands are
// the interpreter's own and have no handler.
TEST(CommandDispatchTest, HandlersMatchTheCommandTable) {
  std::set<std::string_view> seen;
  for (const auto& entry : AllHandlers()) {
    const CommandSpec* def = FindCommand(entry.name);
    ASSERT_NE(def, nullptr) << entry.name << " is not in the command table";
    EXPECT_EQ(def->block, BlockRole::kNone) << entry.name;
    EXPECT_TRUE(seen.insert(entry.name).second) << entry.name << " is registered twice";
    EXPECT_EQ(FindHandler(entry.name), entry.handler);
  }
  EXPECT_EQ(FindHandler("set variable"), nullptr) << "names match exactly";
  EXPECT_NE(FindHandler("Set Variable"), nullptr);
}

}  // namespace
}  // namespace kestrawl::script

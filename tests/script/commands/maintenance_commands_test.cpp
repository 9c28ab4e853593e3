// "Transform Instance" and "Is MSI Setup Installed" around an instance that
// the native engine installed in the same run.
#include "script/commands/maintenance_commands.h"

#include <gtest/gtest.h>

#include "script/interpreter.h"
#include "support/script_fixture.h"

namespace kestrawl::script {
namespace {

using testing::ScriptCommand;
using testing::ScriptFixture;

ScriptCommand Set(const std::string& name, const std::string& value) { return {"Set Variable", {name, value}}; }

TEST(MaintenanceCommandsTest, InstalledAnswerFollowsTheNativeInstallation) {
  ScriptFixture f;
  f.SetScript({Set("NATIVE_ENGINE", "TRUE"), {"Is MSI Setup Installed", {"{ANY}", "BEFORE"}},
               {"Create Folder", {"C:\\Installed"}},
               {"Apply Changes", {"", "RESULT", "FALSE", "FALSE"}},
               {"Is MSI Setup Installed", {"{ANY}", "AFTER"}}});
  f.engine().settings.silent = true;
  RunScript(f.engine(), f.run());
  EXPECT_EQ(f.vars().GetVariable("RESULT"), "COMPLETE");
  EXPECT_EQ(f.vars().GetVariable("BEFORE"), "FALSE");
  EXPECT_EQ(f.vars().GetVariable("AFTER"), "TRUE");
}

TEST(MaintenanceCommandsTest, TransformGivesANewInstanceOnlyWhenAskedFor) {
  ScriptFixture f;
  f.SetScript({Set("CODE1", "$PRODUCTCODE$"), {"Transform Instance", {}}, Set("CODE2", "$PRODUCTCODE$"),
               Set("NEWINSTANCE", "TRUE"), {"Transform Instance", {}}, Set("CODE3", "$PRODUCTCODE$"),
               Set("CACHE3", "$ENGINECACHE$")});
  f.engine().settings.silent = true;
  RunScript(f.engine(), f.run());
  const std::string first = f.vars().GetVariable("CODE1");
  EXPECT_EQ(first, f.engine().script.product_code);
  EXPECT_EQ(f.vars().GetVariable("CODE2"), first);  // not a new instance: nothing changes
  const std::string third = f.vars().GetVariable("CODE3");
  EXPECT_NE(third, first);
  EXPECT_EQ(third.size(), first.size());
  // The engine cache follows the new cache folder name.
  EXPECT_NE(f.vars().GetVariable("CACHE3").find(f.vars().GetVariable("REVISIONCODE")), std::string::npos);
  EXPECT_NE(f.vars().GetVariable("REVISIONCODE"), f.engine().script.revision_code);
}

}  // namespace
}  // namespace kestrawl::script

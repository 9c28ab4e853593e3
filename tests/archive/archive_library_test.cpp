// Loading zel.lib: clear errors for a missing file or a missing function.
#include "media/archive_library.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace kestrawl::testing {
namespace {

TEST(ArchiveLibraryTest, LoadsTheBuiltLibrary) {
  media::ArchiveLibrary library;
  ASSERT_TRUE(library.Load(BinPath("zel.lib"))) << library.error();
  EXPECT_TRUE(library.loaded());
  library.SetDllDirectory("/nowhere");
  EXPECT_EQ(library.LastError(), 0);
}

TEST(ArchiveLibraryTest, ReportsMissingFileAndMissingFunctions) {
  media::ArchiveLibrary library;
  EXPECT_FALSE(library.Load("/nonexistent/zel.lib"));
  EXPECT_FALSE(library.loaded());
  EXPECT_NE(library.error().find("/nonexistent/zel.lib cannot be loaded"), std::string::npos) << library.error();
  EXPECT_THROW(library.LastError(), std::runtime_error);

  // A real library that lacks the archive functions.
  EXPECT_FALSE(library.Load("libm.so.6"));
  EXPECT_FALSE(library.loaded());
  EXPECT_EQ(library.error(), "The archive library has no function Set7zipDllDirectory.");
}

}  // namespace
}  // namespace kestrawl::testing

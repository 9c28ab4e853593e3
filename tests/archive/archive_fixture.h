// Shared fixture of the archive tests: the built zel.lib loaded through the
// engine's loader, a throw-away folder, and helpers to make source files,
// fake 7-Zip programs and archives.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "media/archive_library.h"
#include "support/test_support.h"

namespace kestrawl::testing {

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) setenv(name_, old_->c_str(), 1);
    else unsetenv(name_);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class ArchiveTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    library_ = std::make_unique<media::ArchiveLibrary>();
    ASSERT_TRUE(library_->Load(BinPath("zel.lib"))) << library_->error();
  }
  static void TearDownTestSuite() { library_.reset(); }

  const media::ArchiveLibrary& lib() const { return *library_; }

  // Writes files (relative name -> content) below <tmp>/<folder>.
  std::string MakeSource(const std::vector<std::pair<std::string, std::string>>& files,
                         const std::string& folder = "src") const {
    const std::string root = tmp_ / folder;
    for (const auto& [name, content] : files) WriteHostFile(root + "/" + name, content);
    return root;
  }

  // Creates <tmp>/<name> holding the contents of folder (7z, default switches).
  std::string MakeArchive(const std::string& folder, const std::string& name = "a.7z",
                          const std::string& switches = "", const std::string& password = "") const {
    const std::string archive = tmp_ / name;
    EXPECT_TRUE(lib().Create(archive, ZEL_KIND_7Z, {folder + "/*"}, {}, ZEL_UPDATE_ADD, switches, password,
                             nullptr, nullptr))
        << "code " << lib().LastError();
    return archive;
  }

  // A fake 7-Zip: a shell script that appends its arguments to <tmp>/fake.log
  // and then runs body.
  std::string MakeFakeSevenZip(const std::string& body) const {
    const std::string path = tmp_ / "fake7z";
    WriteHostFile(path, "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + (tmp_ / "fake.log") + "'\n" + body + "\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
  }
  std::vector<std::string> FakeLog() const {
    std::vector<std::string> lines;
    std::string text = ReadHostFile(tmp_ / "fake.log"), line;
    for (char c : text) {
      if (c == '\n') lines.push_back(std::move(line)), line.clear();
      else line.push_back(c);
    }
    return lines;
  }

  TempDir tmp_;
  static inline std::unique_ptr<media::ArchiveLibrary> library_;
};

}  // namespace kestrawl::testing

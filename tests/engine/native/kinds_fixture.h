// A native engine run on a throw-away machine for the change-kind tests: a
// message host that records every prompt (and answers "No", or what the
// test sets), a data folder with the payload, and helpers to apply one
// change record and read the pending undo entries.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/comma_list.h"
#include "engine/native/change_kinds.h"
#include "engine/native/change_log.h"
#include "engine/native/native_run.h"
#include "support/script_fixture.h"
#include "ui/message_host.h"

namespace kestrawl::engine::native {

struct Prompt {
  std::string caption;
  std::string text;
};

class RecordingHost : public ui::MessageHost {
 public:
  int ShowMessage(const std::string& caption, const std::string& text, ui::MessageIcon,
                  ui::MessageButtons) override {
    prompts.push_back({caption, text});
    return answer;
  }
  std::vector<Prompt> prompts;
  int answer = ui::answer::kNo;
};

// One pending undo entry, as the four lists hold it.
struct UndoEntry {
  std::string element;
  std::vector<std::string> data;  // the data line unwrapped
  std::string weight;
};

class KindsTest : public ::testing::Test {
 protected:
  static constexpr const char* kDataFolder = "C:\\Setup\\data\\";
  static constexpr const char* kProductCode = "{11111111-2222-3333-4444-555555555555}";

  // The engine may run on a wrapper of the machine (fault injection, hooks):
  // `wrap` makes it from the machine; files() and reg() stay unwrapped.
  using PlatformWrap = std::function<std::unique_ptr<platform::Platform>(platform::Platform&)>;

  explicit KindsTest(const PlatformWrap& wrap = {}, const char* revision_code = "")
      : engine_(EnginePlatform(wrap), host_), native_(engine_, run_) {
    engine_.paths.data_folder = kDataFolder;
    engine_.script.product_code = kProductCode;
    engine_.script.revision_code = revision_code;
    engine_.variables.DeclareVariable("PRODUCTCODE", kProductCode, "test");
    files().CreateFolderTree(kDataFolder);
  }

  // Applies one change through the dispatch.
  bool Apply(const std::string& kind, const std::vector<std::string>& fields) {
    native_.kind = kind;
    native_.record = base::JoinCommaText(fields);
    return ApplyChange(native_);
  }

  void SetVar(const std::string& name, const std::string& value) {
    engine_.variables.DeclareVariable(name, value, "test");
  }

  // A file group of the compiled script: key, then (source, second line) pairs
  // whose sources are written into the data folder.
  void AddGroup(const std::string& key, const std::vector<std::pair<std::string, std::string>>& pairs) {
    auto& lines = engine_.script.file_headers;
    lines.push_back(key);
    lines.push_back("NEWHEADER");
    for (const auto& [source, second] : pairs) {
      lines.push_back(source);
      lines.push_back(second);
      files().WriteWholeFile(std::string(kDataFolder) + source, "payload of " + source);
    }
  }

  std::vector<UndoEntry> Undo() const {
    const PendingUndo& p = run_.native.pending;
    std::vector<UndoEntry> out;
    for (size_t i = 0; i < p.size(); ++i)
      out.push_back({p.elements[i], UnwrapUndoData(p.elements[i], p.data[i]), p.weights[i]});
    return out;
  }
  std::vector<std::string> UndoKinds() const { return run_.native.pending.elements; }

  platform::FileSystem& files() { return fixture_.machine().Files(); }
  platform::Registry& reg() { return fixture_.machine().Reg(); }
  platform::Services& services() { return fixture_.machine().Svc(); }
  platform::RegView view() const { return native_.RegistryView(); }

  std::optional<platform::RegValue> Value(platform::RegRoot root, const std::string& key,
                                          const std::string& name) {
    platform::RegValue v;
    if (reg().GetValue(root, key, name, view(), &v) != platform::err::kSuccess) return std::nullopt;
    return v;
  }
  std::string Text(const std::string& path) {
    std::string data;
    files().ReadWholeFile(path, &data);
    return data;
  }
  std::string Var(const std::string& name) { return engine_.variables.GetVariable(name); }

  testing::ScriptFixture fixture_;
  RecordingHost host_;
  std::unique_ptr<platform::Platform> wrapper_;  // null when the engine runs on the machine itself
  script::EngineContext engine_;
  script::RunState run_;
  NativeRun native_;

 private:
  platform::Platform& EnginePlatform(const PlatformWrap& wrap) {
    if (!wrap) return fixture_.machine();
    wrapper_ = wrap(fixture_.machine());
    return *wrapper_;
  }
};

}  // namespace kestrawl::engine::native

// Web media blocks: the password table and its scrambling, the "Web Media
// Block" command, and block downloads on the `TGrabMedia` worker against a
// loopback server (URL fallback, timeout, retry prompt, cancellation).
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/loopback_http_server.h"
#include "platform/file_system.h"
#include "script/commands/web_media_commands.h"
#include "script/web_media_blocks.h"
#include "script/web_media_grab.h"
#include "support/script_fixture.h"

namespace kestrawl::script {
namespace {

using kestrawl::testing::LoopbackHttpServer;
using kestrawl::testing::Reply;
using kestrawl::testing::ScriptFixture;
using kestrawl::testing::SeenRequest;
using kestrawl::testing::ServeData;
using Clock = std::chrono::steady_clock;

Reply Status(int status) {
  Reply reply;
  reply.status = status;
  reply.body = "no";
  return reply;
}

constexpr const char* kArchive = "C:\\Users\\Setup\\AppData\\Local\\Temp\\media\\Data1.7zip";

TEST(WebMediaPasswordTest, DescramblesTheThreeSteps) {
  // "ab" -> swapped hex "1626" -> XOR with position "1705" -> hex "31373035".
  struct Case {
    std::string scrambled;
    std::optional<std::string> expected;
  } cases[] = {
      {"31373035", "ab"},
      {"", ""},
      {"3137", "a"},            // "17" -> "16", swapped 0x61
      {"3836", "x"},            // "86" -> "87", swapped 0x78
      {"3", std::nullopt},      // odd length
      {"zz", std::nullopt},     // not hex
      {"31", std::nullopt},     // "1" is one digit only
      {"3137303G", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(DescramblePassword(c.scrambled), c.expected) << c.scrambled;
}

TEST(WebMediaPasswordTest, LooksUpByNameWithOfflineFallback) {
  CompiledScript script;
  script.web_media_blocks = {"Main", "31373035", "OFFLINE", "3836", "Broken", "zz"};
  EXPECT_EQ(WebBlockPassword(script, "main"), "ab");
  EXPECT_EQ(WebBlockPassword(script, "MAIN\\"), "ab");
  EXPECT_EQ(WebBlockPassword(script, "Other"), "x");
  EXPECT_EQ(WebBlockPassword(script, "Broken"), "");
  script.web_media_blocks = {"Main", "31373035", "dangling"};
  EXPECT_EQ(WebBlockPassword(script, "Other"), "");
  EXPECT_EQ(WebBlockPassword(script, "dangling"), "");
}

CommandHandler WebMediaBlockHandler() {
  for (const HandlerEntry& e : WebMediaCommandHandlers())
    if (e.name == "Web Media Block") return e.handler;
  return nullptr;
}

TEST(WebMediaCommandTest, RecordsBlocksPerNameAndReplacesThem) {
  ScriptFixture f;
  CommandHandler handler = WebMediaBlockHandler();
  ASSERT_NE(handler, nullptr);
  f.vars().DeclareVariable("HOST", "example.test", "Initialization");
  kestrawl::testing::RunCommand(f, handler, "Web Media Block",
                                {"Data1", "http://$HOST$/a.7zip\r\n\r\n  http://b.test/a.7zip \n", "ignored"});
  const WebMediaBlock* block = f.run().web_media.Find("DATA1\\");
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block->urls, (std::vector<std::string>{"http://example.test/a.7zip", "http://b.test/a.7zip"}));

  kestrawl::testing::RunCommand(f, handler, "Web Media Block", {"data1", "http://c.test/x", ""});
  ASSERT_EQ(f.run().web_media.blocks.size(), 1u);
  EXPECT_EQ(f.run().web_media.Find("Data1")->urls, std::vector<std::string>{"http://c.test/x"});

  kestrawl::testing::RunCommand(f, handler, "Web Media Block", {"", "http://d.test/x", ""});
  ASSERT_NE(f.run().web_media.Find(""), nullptr);
  EXPECT_TRUE(f.run().web_media.Find("")->urls.empty());
  EXPECT_EQ(f.run().web_media.Find("Data2"), nullptr);
}

// Answers every box with a fixed list of answers (the last one repeated)
// and keeps what it was shown.
class ScriptedHost : public ui::MessageHost {
 public:
  explicit ScriptedHost(std::vector<int> answers) : answers_(std::move(answers)) {}
  int ShowMessage(const std::string& caption, const std::string& text, ui::MessageIcon,
                  ui::MessageButtons buttons) override {
    shown.push_back({caption, text, buttons});
    int answer = answers_[std::min(shown.size() - 1, answers_.size() - 1)];
    return answer;
  }
  struct Box {
    std::string caption, text;
    ui::MessageButtons buttons;
  };
  std::vector<Box> shown;

 private:
  std::vector<int> answers_;
};

class WebMediaGrabTest : public ::testing::Test {
 protected:
  void Prepare(bool silent, std::vector<int> answers) {
    host_ = std::make_unique<ScriptedHost>(std::move(answers));
    engine_ = std::make_unique<EngineContext>(f_.machine(), *host_);
    engine_->settings.silent = silent;
    VariableStore& vars = engine_->variables;
    vars.DeclareVariable("TITLE", "Test Product", "Initialization");
    vars.DeclareVariable("SILENT", silent ? "TRUE" : "FALSE", "Initialization");
    vars.DeclareVariable("ABORTONERROR", "FALSE", "Initialization");
    vars.DeclareVariable("ABORTEDONERROR", "FALSE", "Initialization");
    vars.DeclareVariable("VELK_IsCancelled", "FALSE", "Initialization");
    vars.DeclareVariable("VELK_thProgress", "0", "Initialization");
    vars.DeclareVariable("VELK_thProgressText", "", "Initialization");
    vars.DeclareVariable("VELK_LastDelegateTick", "0", "Initialization");
    vars.DeclareVariable("VELK_LastActiveTick", "0", "Initialization");
  }

  void Block(std::vector<std::string> urls) { run_.web_media.Record({"Data1", std::move(urls), ""}); }

  std::string Archive() {
    std::string data;
    f_.machine().Files().ReadWholeFile(kArchive, &data);
    return data;
  }

  ScriptFixture f_;
  std::unique_ptr<ScriptedHost> host_;
  std::unique_ptr<EngineContext> engine_;
  RunState run_;
};

TEST_F(WebMediaGrabTest, ThirdUrlServesTheBlockWithoutAPrompt) {
  Prepare(false, {ui::answer::kNo});
  const std::string data(200000, 'z');
  LoopbackHttpServer missing([](const SeenRequest&) { return Status(404); });
  LoopbackHttpServer good([&](const SeenRequest& r) { return ServeData(r, data); });
  Block({"http://127.0.0.1:" + std::to_string(kestrawl::testing::UnusedLoopbackPort()) + "/a.7zip",
         missing.Url("/b.7zip"), good.Url("/c.7zip")});
  std::string error = "unchanged";
  EXPECT_TRUE(GrabWebMedia(*engine_, run_, "data1\\", kArchive, &error));
  EXPECT_EQ(error, "unchanged");
  EXPECT_TRUE(host_->shown.empty());
  EXPECT_EQ(Archive(), data);
  EXPECT_EQ(engine_->variables.GetVariable("VELK_thProgress"), "100");
  EXPECT_EQ(engine_->variables.GetVariable("VELK_thProgressText").rfind("Downloading Web Media: data1\r", 0), 0u);
}

TEST_F(WebMediaGrabTest, SilentServerThatNeverAnswersFailsWithinTheTimeout) {
  Prepare(true, {ui::answer::kYes});
  LoopbackHttpServer mute([](const SeenRequest&) { Reply r; r.never_answer = true; return r; });
  Block({mute.Url("/a.7zip")});
  run_.download_timeout = 1;
  std::string error;
  const auto start = Clock::now();
  EXPECT_FALSE(GrabWebMedia(*engine_, run_, "Data1", kArchive, &error));
  // VELK_TIMEOUT's 1 s, not the default 10 s, ends each request.
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(8));
  EXPECT_EQ(error, "Unable to download installation data from the web");
  EXPECT_TRUE(host_->shown.empty());
}

TEST_F(WebMediaGrabTest, RetryPromptRepeatsUntilDeclined) {
  Prepare(false, {ui::answer::kYes, ui::answer::kNo});
  LoopbackHttpServer failing([](const SeenRequest&) { return Status(500); });
  Block({failing.Url("/a.7zip")});
  run_.web_media.proxy.server = "";
  std::string error;
  EXPECT_FALSE(GrabWebMedia(*engine_, run_, "Data1", kArchive, &error));
  EXPECT_EQ(error, "Unable to download installation data from the web");
  ASSERT_EQ(host_->shown.size(), 2u);
  EXPECT_EQ(host_->shown[0].caption, "Retry Download?");
  EXPECT_EQ(host_->shown[0].buttons, ui::MessageButtons::kYesNo);
  EXPECT_EQ(host_->shown[0].text.rfind(
                "Downloading of installation data from the web has failed. Would you like to try again?", 0),
            0u);
  // Each round asks the server once (the error status of HEAD ends the URL).
  EXPECT_EQ(failing.Requests().size(), 2u);
}

TEST_F(WebMediaGrabTest, DownloadsGoThroughTheKeptProxy) {
  Prepare(true, {ui::answer::kNo});
  const std::string data = "7z archive bytes";
  LoopbackHttpServer proxy([&](const SeenRequest& r) { return ServeData(r, data); });
  Block({"http://block.invalid/a.7zip"});
  run_.web_media.proxy.server = "127.0.0.1";
  run_.web_media.proxy.port = proxy.port();
  EXPECT_TRUE(GrabWebMedia(*engine_, run_, "Data1", kArchive, nullptr));
  EXPECT_EQ(Archive(), data);
  ASSERT_FALSE(proxy.Requests().empty());
  EXPECT_EQ(proxy.Requests().back().target, "http://block.invalid/a.7zip");
}

TEST_F(WebMediaGrabTest, UrlServicePromptResumesOnOk) {
  Prepare(false, {ui::answer::kOk, ui::answer::kCancel});
  EXPECT_TRUE(AskRetryDownload(*engine_, run_.web_media, RetryPrompt::kUrlService));
  EXPECT_TRUE(run_.web_media.resume);
  run_.web_media.resume = false;
  EXPECT_FALSE(AskRetryDownload(*engine_, run_.web_media, RetryPrompt::kUrlService));
  EXPECT_FALSE(run_.web_media.resume);
  ASSERT_EQ(host_->shown.size(), 2u);
  EXPECT_EQ(host_->shown[0].buttons, ui::MessageButtons::kOkCancel);
  EXPECT_EQ(host_->shown[0].text.rfind("Downloading of installation data from the web has failed. Please make sure "
                                       "you are connected to the Internet.",
                                       0),
            0u);
  // Silent runs are never asked.
  engine_->settings.silent = true;
  EXPECT_FALSE(AskRetryDownload(*engine_, run_.web_media, RetryPrompt::kHttpClient));
  EXPECT_EQ(host_->shown.size(), 2u);
}

TEST_F(WebMediaGrabTest, UnknownBlockOrEmptyTargetFails) {
  Prepare(false, {ui::answer::kYes});
  Block({"http://127.0.0.1:1/a.7zip"});
  std::string error;
  EXPECT_FALSE(GrabWebMedia(*engine_, run_, "Data2", kArchive, &error));
  EXPECT_EQ(error, "Unable to download installation data from the web");
  EXPECT_FALSE(GrabWebMedia(*engine_, run_, "Data1", "", nullptr));
  EXPECT_TRUE(host_->shown.empty());
}

TEST_F(WebMediaGrabTest, CancellationEndsTheWorkerWithoutAPrompt) {
  Prepare(false, {ui::answer::kYes});
  const std::string data(400000, 'q');
  LoopbackHttpServer slow([&](const SeenRequest& r) {
    Reply reply = ServeData(r, data);
    reply.chunk_size = 1000;
    reply.chunk_delay_ms = 50;
    return reply;
  });
  Block({slow.Url("/a.7zip")});
  engine_->variables.AssignVariable("VELK_IsCancelled", "TRUE", "Set Variable Tricke");
  std::string error;
  const auto start = Clock::now();
  EXPECT_FALSE(GrabWebMedia(*engine_, run_, "Data1", kArchive, &error));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(15));
  EXPECT_EQ(error, "Unable to download installation data from the web");
  // Only the cancellation box; no retry prompt after it.
  ASSERT_EQ(host_->shown.size(), 1u);
  EXPECT_EQ(host_->shown[0].text, "Setup cancelled");
  EXPECT_EQ(engine_->variables.GetVariable("ABORTEDONERROR"), "TRUE");
  EXPECT_LT(Archive().size(), data.size());
}

}  // namespace
}  // namespace kestrawl::script

namespace kestrawl::script {
namespace {

TEST(WebMediaPasswordTest, ScrambledPasswordsReadBack) {
  for (const char* password : {"", "a", "s3cret pw", "Ümlaut €", "\x01\x7F\xFF"}) {
    const std::string scrambled = ScramblePassword(password);
    EXPECT_EQ(scrambled.find_first_not_of("0123456789ABCDEF"), std::string::npos) << scrambled;
    EXPECT_EQ(DescramblePassword(scrambled).value_or("<bad>"), password);
  }
}

}  // namespace
}  // namespace kestrawl::script

// The error prompt and the overwrite decision: their texts, and the to-all
// answers that turn into fixed policies for the rest of the run.
#include "engine/native/kinds_fixture.h"
#include "platform/errors.h"

namespace kestrawl::engine::native {
namespace {

using PromptsTest = KindsTest;

TEST_F(PromptsTest, ToAllAnswersBecomeThePolicy) {
  struct Case {
    int answer;
    bool abort, retry;
    const char* policy;  // NATIVE_ERROR afterwards
  } cases[] = {
      {ui::answer::kYes, false, true, "PROMPT"},     {ui::answer::kNo, false, false, "PROMPT"},
      {ui::answer::kYesToAll, false, true, "RETRY"}, {ui::answer::kNoToAll, false, false, "IGNORE"},
      {ui::answer::kCancel, true, false, "PROMPT"},
  };
  for (const Case& c : cases) {
    SetVar("NATIVE_ERROR", "PROMPT");
    SetVar("VELK_IsCancelled", "FALSE");
    host_.answer = c.answer;
    host_.prompts.clear();
    bool retry = !c.retry;
    EXPECT_EQ(native_.ErrorPrompt("Access is denied.\r\rC:\\x", 5, &retry), c.abort) << c.answer;
    EXPECT_EQ(retry, c.retry) << c.answer;
    EXPECT_EQ(engine_.variables.GetVariable("NATIVE_ERROR"), c.policy) << c.answer;
    EXPECT_EQ(engine_.variables.GetVariable("VELK_IsCancelled"), c.abort ? "TRUE" : "FALSE");
    ASSERT_EQ(host_.prompts.size(), 1u);
    EXPECT_EQ(host_.prompts[0].caption, "Error");
    EXPECT_EQ(host_.prompts[0].text, "Access is denied.\r\rC:\\x\r\rWould you like to try again?");
  }
  // A fixed policy answers without asking; code 0 is never an error.
  host_.prompts.clear();
  SetVar("NATIVE_ERROR", "IGNORE");
  bool retry = true;
  EXPECT_FALSE(native_.ErrorPrompt("m", 5, &retry));
  EXPECT_FALSE(retry);
  SetVar("NATIVE_ERROR", "PROMPT");
  EXPECT_FALSE(native_.ErrorPrompt("m", 0, &retry));
  EXPECT_TRUE(host_.prompts.empty());
}

TEST_F(PromptsTest, OverwriteDialogShowsBothFilesAndRemembersToAllAnswers) {
  files().WriteWholeFile("C:\\old.txt", "old");
  files().WriteWholeFile("C:\\new.txt", "new");
  const platform::FileTime t = 133000000000000000ULL;  // 2022-06-17
  files().SetLastWriteTime("C:\\old.txt", t);
  files().SetLastWriteTime("C:\\new.txt", t + 36000000000ULL);
  host_.answer = ui::answer::kYesToAll;
  bool copy = false;
  EXPECT_FALSE(native_.OverwriteDecision("C:\\new.txt", "C:\\old.txt", &copy));
  EXPECT_TRUE(copy);
  EXPECT_EQ(engine_.variables.GetVariable("NATIVE_OVERWRITE"), "ALWAYS");
  ASSERT_EQ(host_.prompts.size(), 1u);
  EXPECT_EQ(host_.prompts[0].caption, "Overwrite");
  const std::string& text = host_.prompts[0].text;
  EXPECT_EQ(text.rfind("C:\\old.txt\r\rOld file version: <no version information>\rOld file date: ", 0), 0u) << text;
  EXPECT_NE(text.find("\r\rNew file version: <no version information>\rNew file date: "), std::string::npos);
  EXPECT_NE(text.find("\r\rWould you like to overwrite this file?"), std::string::npos);

  // Now fixed: no second dialog, and an older incoming file is kept.
  files().SetLastWriteTime("C:\\new.txt", t - 36000000000ULL);
  EXPECT_FALSE(native_.OverwriteDecision("C:\\new.txt", "C:\\old.txt", &copy));
  EXPECT_FALSE(copy);
  EXPECT_EQ(host_.prompts.size(), 1u);

  // Cancel keeps the file and aborts.
  SetVar("NATIVE_OVERWRITE", "PROMPT");
  SetVar("NATIVE_OVERWRITE_OLDER", "TRUE");
  host_.answer = ui::answer::kCancel;
  EXPECT_TRUE(native_.OverwriteDecision("C:\\new.txt", "C:\\old.txt", &copy));
  EXPECT_FALSE(copy);
  EXPECT_EQ(engine_.variables.GetVariable("VELK_IsCancelled"), "TRUE");
}

}  // namespace
}  // namespace kestrawl::engine::native

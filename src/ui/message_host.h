// How the engine shows its own message boxes. The wizard user interface
// provides the real windows; until then, and in tests, ConsoleMessageHost
// prints the box's caption and text to standard error and answers with the
// box's default button.
#pragma once

#include <mutex>
#include <ostream>
#include <string>

namespace kestrawl::ui {

enum class MessageIcon { kNone, kError, kWarning, kInformation, kQuestion };
enum class MessageButtons { kOk, kOkCancel, kYesNo, kYesNoCancel, kRetryCancel, kAbortRetryIgnore,
                            // yes, no, cancel, yes to all, no to all
                            kYesNoCancelToAll };

// Results as Windows numbers them (IDOK = 1 ... IDNO = 7).
namespace answer {
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;
inline constexpr int kAbort = 3;
inline constexpr int kRetry = 4;
inline constexpr int kIgnore = 5;
inline constexpr int kYes = 6;
inline constexpr int kNo = 7;
inline constexpr int kNoToAll = 9;
inline constexpr int kYesToAll = 10;
}  // namespace answer

class MessageHost {
 public:
  virtual ~MessageHost() = default;
  // Shows a modal box and returns the button chosen.
  virtual int ShowMessage(const std::string& caption, const std::string& text, MessageIcon icon,
                          MessageButtons buttons) = 0;
};

class ConsoleMessageHost : public MessageHost {
 public:
  explicit ConsoleMessageHost(std::ostream& out) : out_(out) {}
  int ShowMessage(const std::string& caption, const std::string& text, MessageIcon icon,
                  MessageButtons buttons) override;

 private:
  std::ostream& out_;
  std::mutex mu_;
};

}  // namespace kestrawl::ui

#include "ui/message_host.h"

namespace kestrawl::ui {

int ConsoleMessageHost::ShowMessage(const std::string& caption, const std::string& text, MessageIcon icon,
                                    MessageButtons buttons) {
  std::lock_guard<std::mutex> lock(mu_);
  const char* kind = icon == MessageIcon::kError     ? "error"
                     : icon == MessageIcon::kWarning ? "warning"
                                                     : "message";
  out_ << "[" << caption << "] " << kind << ": " << text << std::endl;
  switch (buttons) {
    case MessageButtons::kOk:
    case MessageButtons::kOkCancel:
      return answer::kOk;
    case MessageButtons::kYesNo:
    case MessageButtons::kYesNoCancel:
      return answer::kYes;
    case MessageButtons::kRetryCancel:
      return answer::kCancel;
    case MessageButtons::kAbortRetryIgnore:
      return answer::kAbort;
    case MessageButtons::kYesNoCancelToAll:
      // Without a window nobody can answer: go on without the operation
      // rather than retry it for ever.
      return answer::kNo;
  }
  return answer::kOk;
}

}  // namespace kestrawl::ui

#include "script/trace_log.h"

#include "base/text.h"

namespace kestrawl::script {

void TraceLog::Write(const std::string& line) {
  if (path_.empty()) return;
  std::u16string text = base::Utf8ToUtf16(line);
  text += u"\r\n";
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  std::lock_guard<std::mutex> lock(mu_);
  std::unique_ptr<platform::File> file;
  // A log that cannot be written never stops the engine.
  if (files_.Open(path_, started_ ? platform::OpenMode::kAppend : platform::OpenMode::kWrite,
                  platform::ShareMode::kShared, &file) != platform::err::kSuccess)
    return;
  started_ = true;
  file->Write(bytes.data(), bytes.size());
}

}  // namespace kestrawl::script

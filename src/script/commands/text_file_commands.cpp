#include "script/commands/text_file_commands.h"


#include "base/text.h"
#include "script/command_context.h"
#include "script/commands/wow64_file_view.h"
#include "script/run_state.h"
#include "script/substitution.h"

namespace kestrawl::script {

void OpenTextFile::Close() {
  path_lower.clear();
  file.reset();
  buffer.clear();
  pos = 0;
  drained = false;
}

namespace {

constexpr std::string_view kReadAllPrefix = "#READALL\\";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr size_t kChunk = 64 * 1024;

// The file path: the text value substituted a second time, then read as a
// path value.
std::string TwiceSubstitutedPath(const CommandContext& ctx, size_t k) {
  return CollapseBackslashes(Expand(ctx.engine.variables, ctx.Text(k)));
}

// Reads one more chunk into the buffer (dropping what was consumed).
// Returns false when nothing more could be read.
bool Fill(OpenTextFile& f) {
  if (f.drained || !f.file) return false;
  f.buffer.erase(0, f.pos);
  f.pos = 0;
  const size_t old = f.buffer.size();
  f.buffer.resize(old + kChunk);
  size_t got = 0;
  if (f.file->Read(f.buffer.data() + old, kChunk, &got) != platform::err::kSuccess) got = 0;
  f.buffer.resize(old + got);
  if (got == 0) f.drained = true;
  return got > 0;
}

bool AtEnd(OpenTextFile& f) {
  while (f.pos >= f.buffer.size())
    if (!Fill(f)) return true;
  return false;
}

// The next line without its end; a line ends at CR LF, LF or CR.
std::string NextLine(OpenTextFile& f) {
  std::string line;
  for (;;) {
    if (f.pos >= f.buffer.size() && !Fill(f)) return line;
    const size_t end = f.buffer.find_first_of("\r\n", f.pos);
    if (end == std::string::npos) {
      line.append(f.buffer, f.pos, std::string::npos);
      f.pos = f.buffer.size();
      continue;
    }
    line.append(f.buffer, f.pos, end - f.pos);
    f.pos = end + 1;
    if (f.buffer[end] == '\r') {
      // A CR may be the last byte of a chunk while its LF is in the next.
      if (f.pos >= f.buffer.size()) Fill(f);
      if (f.pos < f.buffer.size() && f.buffer[f.pos] == '\n') ++f.pos;
    }
    return line;
  }
}

void CreateIfMissing(const CommandContext& ctx, const std::string& name) {
  if (!name.empty() && !ctx.engine.variables.VariableExists(name)) ctx.SetResult(name, "");
}

bool Open(platform::FileSystem& files, OpenTextFile& f, const std::string& path) {
  f.Close();
  std::unique_ptr<platform::File> file;
  if (files.Open(path, platform::OpenMode::kRead, platform::ShareMode::kShared, &file) != platform::err::kSuccess ||
      !file)
    return false;
  f.file = std::move(file);
  f.path_lower = base::ToLower(path);
  while (f.buffer.size() < kUtf8Bom.size() && Fill(f)) {
  }
  if (f.buffer.compare(0, kUtf8Bom.size(), kUtf8Bom) == 0) f.pos = kUtf8Bom.size();
  return true;
}

void ReadFromTextFileCommand(CommandContext& ctx) {
  platform::FileSystem& files = ctx.engine.platform.Files();
  Wow64FileView view(ctx.engine.platform.Sys(), ctx.run.bitness);

  const std::string result = ctx.Raw(2);
  const std::string end_of_file = ctx.Raw(3);
  CreateIfMissing(ctx, result);
  CreateIfMissing(ctx, end_of_file);

  std::string path = TwiceSubstitutedPath(ctx, 1);
  const bool read_all = path.starts_with(kReadAllPrefix);
  if (read_all) path.erase(0, kReadAllPrefix.size());

  OpenTextFile& f = ctx.run.open_text_file;
  if (!f.IsOpen() || f.path_lower != base::ToLower(path)) {
    if (!Open(files, f, path)) {
      f.Close();
      ctx.SetResult(end_of_file, "TRUE");
      return;
    }
  }

  std::string value;
  if (read_all) {
    std::vector<std::string> lines;
    while (!AtEnd(f)) lines.push_back(NextLine(f));
    value = base::Join(lines, "$NEWLINE$");
  } else {
    value = NextLine(f);
  }
  ctx.SetResult(result, value);

  const bool at_end = AtEnd(f);
  if (at_end) f.Close();
  ctx.SetResult(end_of_file, at_end ? "TRUE" : "FALSE");
}

// The lines of a text: split at CR LF, LF or CR; a final line end does not
// start another line.
std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t from = 0;
  while (from < text.size()) {
    const size_t end = text.find_first_of("\r\n", from);
    if (end == std::string_view::npos) {
      lines.emplace_back(text.substr(from));
      break;
    }
    lines.emplace_back(text.substr(from, end - from));
    from = end + 1;
    if (text[end] == '\r' && from < text.size() && text[from] == '\n') ++from;
  }
  return lines;
}

void WriteToTextFileCommand(CommandContext& ctx) {
  platform::FileSystem& files = ctx.engine.platform.Files();
  Wow64FileView view(ctx.engine.platform.Sys(), ctx.run.bitness);

  const std::string path = TwiceSubstitutedPath(ctx, 1);
  const std::string line = ctx.Text(2);
  const bool at_top = ToBoolean(ctx.Text(3));

  OpenTextFile& f = ctx.run.open_text_file;
  if (f.IsOpen() && f.path_lower == base::ToLower(path)) f.Close();

  std::string data;
  if (files.ReadWholeFile(path, &data) != platform::err::kSuccess) {
    // Only a missing file counts as empty: a file that exists but cannot be
    // read (in use, a folder) must not be replaced by the single new line.
    if (files.Exists(path)) return;
    data.clear();
  }
  std::string_view text = data;
  if (text.starts_with(kUtf8Bom)) text.remove_prefix(kUtf8Bom.size());
  std::vector<std::string> lines = SplitLines(text);
  if (at_top)
    lines.insert(lines.begin(), line);
  else
    lines.push_back(line);

  std::string out(kUtf8Bom);
  for (const auto& l : lines) out += l + "\r\n";
  if (files.Exists(path)) files.SetAttributes(path, platform::attr::kNormal);
  files.WriteWholeFile(path, out);
}

}  // namespace

std::vector<HandlerEntry> TextFileCommandHandlers() {
  return {{"Read from Text File", ReadFromTextFileCommand}, {"Write to Text File", WriteToTextFileCommand}};
}

}  // namespace kestrawl::script

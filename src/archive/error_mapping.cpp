#include "archive/error_mapping.h"

#include <initializer_list>

#include "archive/zel.h"

namespace kestrawl::zel {
namespace {

bool ContainsAny(std::string_view text, std::initializer_list<std::string_view> needles) {
  for (auto n : needles)
    if (text.find(n) != std::string_view::npos) return true;
  return false;
}

}  // namespace

bool MentionsWrongPassword(std::string_view messages) {
  return ContainsAny(messages, {"Wrong password", "Can not open encrypted archive",
                                "Cannot open encrypted archive"});
}

int MapSevenZipResult(Operation op, int exit_code, std::string_view m) {
  if (exit_code == 0) return ZEL_OK;
  if (exit_code == 8 ||
      ContainsAny(m, {"Can't allocate required memory", "E_OUTOFMEMORY", "Not enough memory",
                      "Cannot allocate memory", "errno=12 "}))
    return ZEL_E_OUT_OF_MEMORY;
  if (MentionsWrongPassword(m)) return ZEL_E_CANNOT_OPEN;
  if (exit_code == 7) return ZEL_E_COMMAND_LINE;
  if (exit_code == 255) return ZEL_E_CANCELLED;
  if (ContainsAny(m, {"Cannot open the file as", "Can not open the file as", "Can't open as archive",
                      "Is not archive", "Unexpected end of archive", "Cannot open file as archive",
                      "Unsupported archive"}))
    return ZEL_E_CANNOT_OPEN;
  if (ContainsAny(m, {"CRC Failed", "Data Error", "Headers Error", "Unexpected end of data",
                      "Unsupported Method", "There are some data after the end"}))
    return ZEL_E_DATA;
  if (ContainsAny(m, {"Cannot create output directory", "Can not open output file",
                      "Cannot open output file", "Cannot create", "Can not create",
                      "No space left", "Read-only file system", "Permission denied",
                      "Disk full", "Cannot delete output file", "Cannot rename"}))
    return ZEL_E_CANNOT_WRITE;
  if (exit_code == 1) return ZEL_E_WARNING;
  if (op == Operation::kCreate || op == Operation::kDelete) return ZEL_E_CANNOT_WRITE;
  if (ContainsAny(m, {"No such file or directory", "errno=2 "})) return ZEL_E_CANNOT_OPEN;
  return ZEL_E_FAILED;
}

}  // namespace kestrawl::zel

// Pure helpers for Windows path texts ("C:\Dir\file.txt"). Nothing here
// touches a disk. Both '\' and '/' count as separators on input; results use
// '\'. Drive letters are returned upper case.
#pragma once

#include <string>
#include <string_view>

namespace kestrawl::base {

// "C:\Dir" -> "C:\Dir\"; a text that already ends in a separator is kept
// ("" -> "\").
std::string IncludeTrailingBackslash(std::string_view path);
// Removes one trailing separator: "C:\Dir\" -> "C:\Dir", "C:\" -> "C:".
std::string ExcludeTrailingBackslash(std::string_view path);

// The folder part with its trailing separator: "C:\Dir\a.txt" -> "C:\Dir\",
// "C:a.txt" -> "C:", "a.txt" -> "".
std::string ExtractFilePath(std::string_view path);
// The last component: "C:\Dir\a.txt" -> "a.txt", "C:\Dir\" -> "".
std::string ExtractFileName(std::string_view path);
// The extension of the last component with its dot: "a.tar.gz" -> ".gz",
// "C:\d.x\file" -> "".
std::string ExtractFileExt(std::string_view path);
// Replaces (or appends) the extension; ext carries its dot (".bak") or is
// empty to drop the extension.
std::string ChangeFileExt(std::string_view path, std::string_view ext);

// Joins a folder and a relative name with exactly one separator between
// them. An absolute name is returned as it is; an empty folder gives name.
std::string JoinPath(std::string_view folder, std::string_view name);

// Canonical form without touching a disk: '/' becomes '\', "." and ".."
// components are resolved (".." stops at the root), doubled separators are
// collapsed (the leading "\\" of a UNC path stays), a lower-case drive
// letter is raised, "C:x" becomes "C:\x", and the long-path prefixes "\\?\"
// and "\??\" are dropped ("\\?\UNC\srv\share" -> "\\srv\share"). A trailing
// separator is kept when the input had one ("C:\Dir\" stays "C:\Dir\").
std::string NormalizeWindowsPath(std::string_view path);

// True for "C:\..." / "C:/..." and UNC or long-path forms ("\\srv\x",
// "\\?\C:\x"); false for "C:x", "\x" and relative names.
bool IsAbsolutePath(std::string_view path);
// The drive letter of a drive path ('C' for "c:\x" and "\\?\C:\x"); 0 when
// the path has none.
char DriveLetterOf(std::string_view path);
// True when the text starts with the long-path prefix "\\?\" (or "\??\").
bool HasLongPathPrefix(std::string_view path);

}  // namespace kestrawl::base

#include "platform/assembly_cache.h"

#include "base/text.h"
#include "base/win_path.h"

namespace kestrawl::platform::gac {

namespace {

constexpr const char* kReferencesFile = "references.txt";

// The simple name of an assembly: its display name up to the first comma
// ("Lib, Version=1.0.0.0, ..." -> "Lib"), trimmed.
std::string SimpleName(const std::string& assembly_name) {
  return std::string(base::Trim(assembly_name.substr(0, assembly_name.find(','))));
}

bool ValidName(const std::string& simple) {
  return !simple.empty() && simple != "." && simple != ".." &&
         simple.find_first_of("\\/:*?\"<>|") == std::string::npos;
}

// A field of a reference line: no separator and no line break inside.
std::string Field(const std::string& text) {
  std::string out = text;
  for (char& c : out)
    if (c == '|' || c == '\r' || c == '\n') c = ' ';
  return out;
}

bool SameReference(const Reference& a, const Reference& b) {
  return base::EqualsNoCase(a.scheme, b.scheme) && base::EqualsNoCase(a.identifier, b.identifier);
}

std::vector<Reference> ParseReferences(const std::string& text) {
  std::vector<Reference> out;
  for (std::string line : base::Split(text, '\n')) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    size_t a = line.find('|');
    size_t b = a == std::string::npos ? std::string::npos : line.find('|', a + 1);
    Reference r;
    if (a == std::string::npos) {
      r.scheme = line;
    } else {
      r.scheme = line.substr(0, a);
      r.identifier = b == std::string::npos ? line.substr(a + 1) : line.substr(a + 1, b - a - 1);
      if (b != std::string::npos) r.description = line.substr(b + 1);
    }
    out.push_back(std::move(r));
  }
  return out;
}

std::string FormatReferences(const std::vector<Reference>& refs) {
  std::string out;
  for (const auto& r : refs)
    out += Field(r.scheme) + "|" + Field(r.identifier) + "|" + Field(r.description) + "\r\n";
  return out;
}

bool SameContent(FileSystem& files, const std::string& a, const std::string& b) {
  FileEntry ea, eb;
  if (files.GetEntry(a, &ea) != err::kSuccess || files.GetEntry(b, &eb) != err::kSuccess) return false;
  if (ea.size != eb.size) return false;
  std::string da, db;
  if (files.ReadWholeFile(a, &da) != err::kSuccess || files.ReadWholeFile(b, &db) != err::kSuccess)
    return false;
  return da == db;
}

}  // namespace

std::string AssemblyFolder(System& system, const std::string& assembly_name) {
  return base::IncludeTrailingBackslash(system.WindowsFolder()) + "Microsoft.NET\\assembly\\GAC_MSIL\\" +
         SimpleName(assembly_name) + "\\";
}

std::vector<Reference> References(FileSystem& files, System& system, const std::string& assembly_name) {
  if (!ValidName(SimpleName(assembly_name))) return {};
  std::string text;
  if (files.ReadWholeFile(AssemblyFolder(system, assembly_name) + kReferencesFile, &text) != err::kSuccess)
    return {};
  return ParseReferences(text);
}

Win32Error InstallAssembly(FileSystem& files, System& system, const std::string& assembly_name,
                           const std::string& source, const Reference& reference, bool force) {
  if (!ValidName(SimpleName(assembly_name))) return err::kInvalidName;
  if (reference.scheme.empty() || reference.identifier.empty()) return err::kInvalidParameter;
  FileEntry entry;
  if (Win32Error e = files.GetEntry(source, &entry); e != err::kSuccess) return e;
  if (entry.IsFolder()) return err::kAccessDenied;

  const std::string folder = AssemblyFolder(system, assembly_name);
  if (Win32Error e = files.CreateFolderTree(folder); e != err::kSuccess) return e;
  const std::string target = folder + base::ExtractFileName(source);
  if (force || !files.FileExists(target) || !SameContent(files, source, target)) {
    if (files.FileExists(target)) {
      FileEntry old;
      if (files.GetEntry(target, &old) == err::kSuccess && (old.attributes & attr::kReadOnly))
        files.SetAttributes(target, old.attributes & ~attr::kReadOnly);
    }
    if (Win32Error e = files.CopyFile(source, target, false); e != err::kSuccess) return e;
  }

  std::vector<Reference> refs = References(files, system, assembly_name);
  bool known = false;
  for (auto& r : refs) {
    if (SameReference(r, reference)) {
      r.description = reference.description;
      known = true;
    }
  }
  if (!known) refs.push_back(reference);
  return files.WriteWholeFile(folder + kReferencesFile, FormatReferences(refs));
}

Win32Error UninstallAssembly(FileSystem& files, System& system, const std::string& assembly_name,
                             const Reference& reference, bool* removed) {
  if (removed) *removed = false;
  if (!ValidName(SimpleName(assembly_name))) return err::kInvalidName;
  const std::string folder = AssemblyFolder(system, assembly_name);
  if (!files.FolderExists(folder)) return err::kFileNotFound;
  std::vector<Reference> refs = References(files, system, assembly_name);
  std::vector<Reference> kept;
  bool found = false;
  for (const auto& r : refs) {
    if (SameReference(r, reference)) found = true;
    else kept.push_back(r);
  }
  if (!found) return err::kFileNotFound;
  if (!kept.empty()) return files.WriteWholeFile(folder + kReferencesFile, FormatReferences(kept));
  if (Win32Error e = files.DeleteTree(base::ExcludeTrailingBackslash(folder)); e != err::kSuccess) return e;
  if (removed) *removed = true;
  return err::kSuccess;
}

}  // namespace kestrawl::platform::gac

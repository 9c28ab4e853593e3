#include "bootstrap/entry.h"

#include <memory>
#include <stdexcept>

#include "base/command_line.h"
#include "base/text.h"
#include "base/win_path.h"
#include "bootstrap/startup_settings.h"
#include "bootstrap/stub_size.h"
#include "bootstrap/worker_mode.h"
#include "media/archive_library.h"
#include "media/archive_wrappers.h"
#include "script/compiled_script_reader.h"
#include "script/engine_context.h"
#include "script/interpreter.h"

namespace kestrawl::bootstrap {

using platform::err::kSuccess;
namespace err = platform::err;

namespace {

// Ends the start-up with an exit code, skipping to the end of the process.
struct StartupStop {
  int exit_code;
};

class Startup {
 public:
  Startup(platform::Platform& platform, ui::MessageHost& messages)
      : p_(platform), ctx_(platform, messages) {}

  int Run(const std::string& raw_command_line);

 private:
  void Tag(const char* tag) { ctx_.log.Write(tag); }
  void StopWith(const std::string& message, int code) {
    if (!ctx_.settings.silent)
      ctx_.messages.ShowMessage(script::kStartupCaption, message, ui::MessageIcon::kError, ui::MessageButtons::kOk);
    throw StartupStop{code};
  }
  void MarkHostApplication();
  void DeterminePaths();
  void NormaliseSwitchPaths();
  void CreateSupportFolder();
  void ExtractScript();
  void LoadScript();
  void ExtractResources();
  void CopyPackages();
  void PreloadDialogs();
  void RemoveSupportFolder();
  // The library folder when this run created it (removed again at the end
  // when it is still empty, so a run leaves no trace of itself).
  std::string created_library_folder_;
  void PrepareLibraryFolder();
  std::string Native(const std::string& windows_path);

  platform::Platform& p_;
  script::EngineContext ctx_;
  media::ArchiveLibrary archive_;
};

std::string Startup::Native(const std::string& windows_path) {
  std::string native;
  if (p_.Files().GetNativePath(windows_path, &native) != kSuccess) return windows_path;
  return native;
}

void Startup::MarkHostApplication() {
  const platform::MachineFacts& f = p_.Sys().Facts();
  const std::string file_name = base::ExtractFileName(ctx_.paths.executable);
  if (f.nt && (f.major > 6 || (f.major == 6 && f.minor >= 1))) {
    p_.Reg().WriteValue(platform::RegRoot::kClassesRoot, "Applications\\" + file_name, "IsHostApp",
                        platform::RegView::kDefault, platform::RegValue::String(""));
  } else if (f.nt && f.major == 6 && f.minor == 0) {
    p_.Reg().WriteValue(platform::RegRoot::kCurrentUser,
                        "Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Compatibility "
                        "Assistant\\Persisted",
                        ctx_.paths.executable, platform::RegView::kDefault, platform::RegValue::Dword(32));
  }
}

void Startup::DeterminePaths() {
  script::WorkingPaths& w = ctx_.paths;
  w.executable = p_.Procs().ExecutablePath();
  w.executable_folder = base::ExtractFilePath(w.executable);
  std::string name = base::ExtractFileName(w.executable);
  std::string ext = base::ExtractFileExt(name);
  w.base_name = name.substr(0, name.size() - ext.size());
  std::string temp = p_.Sys().TempFolder();
  p_.Files().CreateFolderTree(temp);
  std::string long_temp;
  if (p_.Files().GetLongPath(temp, &long_temp) == kSuccess) temp = long_temp;
  w.temp_folder = base::IncludeTrailingBackslash(temp);
  w.resource_archive = w.executable_folder + w.base_name + ".res";
}

void Startup::NormaliseSwitchPaths() {
  script::StartupSettings& s = ctx_.settings;
  std::string long_path;
  if (!s.group_policy.empty() && p_.Files().GetLongPath(s.group_policy, &long_path) == kSuccess)
    s.group_policy = long_path;
  if (!s.self_extractor.empty()) {
    std::string folder = base::ExtractFilePath(s.self_extractor);
    if (!folder.empty() && p_.Files().GetLongPath(folder, &long_path) == kSuccess)
      s.self_extractor = base::IncludeTrailingBackslash(long_path) + base::ExtractFileName(s.self_extractor);
  }
}

void Startup::CreateSupportFolder() {
  // The first free number: a folder or a file of that name makes it taken.
  // Creating the folder is the claim, so two engines never share one.
  for (unsigned n = 1;; ++n) {
    std::string candidate = ctx_.paths.temp_folder + "zel" + std::to_string(n);
    if (p_.Files().Exists(candidate)) continue;
    platform::Win32Error e = p_.Files().CreateFolder(candidate);
    if (e == kSuccess) {
      ctx_.paths.support_folder = candidate + "\\";
      return;
    }
    if (e != err::kAlreadyExists && e != err::kFileExists)
      throw std::runtime_error("cannot create the support folder " + candidate + ": " + platform::SystemMessage(e));
  }
}

void Startup::ExtractScript() {
  Tag("    <StubSize>");
  uint64_t stub = 0;
  platform::Win32Error e = ComputeStubSizeOfFile(p_.Files(), ctx_.paths.executable, &stub);
  if (e != kSuccess)
    throw std::runtime_error("cannot read " + ctx_.paths.executable + ": " + platform::SystemMessage(e));
  platform::FileEntry entry;
  e = p_.Files().GetEntry(ctx_.paths.executable, &entry);
  if (e != kSuccess)
    throw std::runtime_error("cannot read " + ctx_.paths.executable + ": " + platform::SystemMessage(e));
  if (entry.size <= stub) StopWith("For internal use only", 13);
  Tag("    </StubSize>");

  Tag("    <StubData>");
  std::unique_ptr<platform::File> in;
  e = p_.Files().Open(ctx_.paths.executable, platform::OpenMode::kRead, platform::ShareMode::kShared, &in);
  if (e == kSuccess) e = in->Seek(stub);
  std::string data;
  if (e == kSuccess) {
    data.resize(entry.size - stub);
    size_t got = 0;
    e = in->Read(data.data(), data.size(), &got);
    data.resize(got);
  }
  if (e == kSuccess) e = p_.Files().WriteWholeFile(ctx_.paths.temp_folder + "zel.tmp", data);
  if (e != kSuccess) throw std::runtime_error("cannot copy the setup script: " + platform::SystemMessage(e));
  Tag("    </StubData>");
}

void Startup::LoadScript() {
  Tag("    <GlobalLists>");
  const std::string tmp = ctx_.paths.temp_folder + "zel.tmp";
  platform::Win32Error e = script::LoadCompiledScript(p_.Files(), tmp, &ctx_.script);
  p_.Files().DeleteFile(tmp);
  if (e != kSuccess) throw std::runtime_error("cannot read the setup script: " + platform::SystemMessage(e));
  Tag("    </GlobalLists>");
}

void Startup::ExtractResources() {
  Tag("    <ExtractArchive>");
  if (!p_.Files().FileExists(ctx_.paths.resource_archive)) StopWith("Setup resource not found", 14);
  if (!archive_.loaded() && archive_.Load(Native(ctx_.paths.executable_folder + "zel.lib"))) PrepareLibraryFolder();
  media::ArchiveHost host;
  host.library = archive_.loaded() ? &archive_ : nullptr;
  host.processors = p_.Sys().Facts().processors;
  host.windows_64bit = p_.Sys().Facts().os64;
  std::string error;
  if (!host.library ||
      !media::ExtractArchive(host, Native(ctx_.paths.resource_archive), "", Native(ctx_.paths.support_folder),
                             error, nullptr, nullptr, false, false))
    StopWith("Setup resource decompression failure", 15);
  ctx_.archive = &archive_;
  Tag("    </ExtractArchive>");
}

void Startup::CopyPackages() {
  Tag("    <ResourcePath>");
  for (const char* ext : {".msi", ".msp"}) {
    std::string from = ctx_.paths.executable_folder + ctx_.paths.base_name + ext;
    std::string to = ctx_.paths.support_folder + ctx_.paths.base_name + ext;
    if (!p_.Files().FileExists(from)) continue;
    if (p_.Files().CopyFile(from, to, false) == kSuccess)
      p_.Files().SetAttributes(to, platform::attr::kNormal);
  }
  Tag("    </ResourcePath>");
  ctx_.paths.data_folder = ctx_.paths.executable_folder + "data\\";
}

void Startup::PreloadDialogs() {
  Tag("    <Dialogs>");
  const script::CompiledScript& s = ctx_.script;
  for (size_t i = 0; i < s.command_count(); ++i) {
    if (s.command_names[i] != "Display Dialog") continue;
    if (i < s.disable_flags.size() && s.disable_flags[i] == "C") continue;
    ctx_.dialogs[i] = ctx_.paths.support_folder + s.GetParameter(i, 1) + ".dfm";
  }
  Tag("    </Dialogs>");
}

// The archive library's own folder: <local application data>\ZADIV\ (else
// the roaming one, else "Application Data" in the profile; the common files
// folder on 9x), created, without a stale "7z.dll".
void Startup::PrepareLibraryFolder() {
  platform::System& sys = p_.Sys();
  std::string base;
  if (!sys.Facts().nt) {
    sys.SpecialFolder(platform::csidl::kProgramFilesCommon, &base);
  } else if (sys.SpecialFolder(platform::csidl::kLocalAppData, &base) != kSuccess &&
             sys.SpecialFolder(platform::csidl::kAppData, &base) != kSuccess) {
    std::string profile;
    if (sys.SpecialFolder(platform::csidl::kProfile, &profile) == kSuccess) base = profile + "\\Application Data";
  }
  if (base.empty()) return;
  const std::string folder = base::IncludeTrailingBackslash(base) + "ZADIV\\";
  if (!p_.Files().FolderExists(folder)) created_library_folder_ = folder;
  p_.Files().CreateFolderTree(folder);
  if (p_.Files().FileExists(folder + "7z.dll")) p_.Files().DeleteFile(folder + "7z.dll");
  archive_.SetDllDirectory(Native(folder));
}

void Startup::RemoveSupportFolder() {
  if (!created_library_folder_.empty()) p_.Files().RemoveFolder(created_library_folder_);
  const std::string& folder = ctx_.paths.support_folder;
  if (folder.empty() || !p_.Files().FolderExists(folder)) return;
  for (int i = 0; i < 3; ++i) p_.Files().DeleteTree(folder);
}

int Startup::Run(const std::string& raw) {
  try {
    // Everything up to the support folder: failures here are start-up errors too.
    ctx_.settings = ParseStartupSettings(raw);
    ctx_.log.SetPath(ctx_.settings.log_file);
    ctx_.variables.SetSilent(ctx_.settings.silent);
    ctx_.variables.SetCommandLineOverrides(ctx_.settings.overrides);
    DeterminePaths();
    MarkHostApplication();
    NormaliseSwitchPaths();

    Tag("<Kestrawl>");
    Tag("    <SupportDir>");
    CreateSupportFolder();
    Tag("    </SupportDir>");
  } catch (const std::exception& e) {
    if (!ctx_.settings.silent)
      ctx_.messages.ShowMessage(script::kStartupCaption, std::string("Runtime error in install: ") + e.what(),
                                ui::MessageIcon::kError, ui::MessageButtons::kOk);
    return 11;
  }

  try {
    Tag("  <SetupSplash>");
    ExtractScript();
    LoadScript();
    ExtractResources();
    CopyPackages();
    PreloadDialogs();
    Tag("  </SetupSplash>");

    Tag("  <RunScript>");
    script::RunScript(ctx_, ctx_.paths.support_folder + ctx_.paths.base_name + ".msi");
    if (ctx_.end_process_now) throw StartupStop{ctx_.exit_code};
    Tag("  </RunScript>");

    Tag("  <Free>");
    ctx_.script = script::CompiledScript();
    ctx_.dialogs.clear();
    Tag("  </Free>");
  } catch (const StartupStop& stop) {
    // The process ends at once; only the temporary support folder goes.
    RemoveSupportFolder();
    return stop.exit_code;
  } catch (const std::exception& e) {
    if (!ctx_.settings.silent)
      ctx_.messages.ShowMessage(script::kStartupCaption, std::string("Runtime error in install: ") + e.what(),
                                ui::MessageIcon::kError, ui::MessageButtons::kOk);
    ctx_.exit_code = 11;
  }

  Tag("  <CachedSupportDir>");
  RemoveSupportFolder();
  Tag("  </CachedSupportDir>");
  Tag("</Kestrawl>");
  if (ctx_.terminate_immediately) return 0;
  return ctx_.exit_code;
}

}  // namespace

int RunEngine(platform::Platform& platform, ui::MessageHost& messages) {
  const std::string raw = platform.Procs().CommandLine();
  std::vector<std::string> params = base::SplitParameters(raw);
  if (params.size() > 1 && params[1] == kWorkerModeParameter) return RunWorkerMode(platform, params);
  Startup startup(platform, messages);
  return startup.Run(raw);
}

}  // namespace kestrawl::bootstrap

#include "script/predefined_variables.h"

#include <string_view>
#include <utility>

#include "base/date_time_format.h"
#include "base/text.h"
#include "base/win_path.h"
#include "maintenance/bootstrap.h"

namespace kestrawl::script {

namespace {

constexpr std::string_view kPreInitialization = "Pre-Initialization";
constexpr std::string_view kInitialization = "Initialization";

constexpr const char* kWindowsNtCurrentVersion = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr const char* kResumeKeys[] = {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                                       "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"};

// Group 1: progress and cancellation state shared with worker threads.
constexpr const char* kProgressNames[] = {
    "VELK_thProgress",  "VELK_thMax",       "VELK_thMin",      "VELK_thProgressText",
    "VELK_thFinished",  "VELK_thCancelled", "VELK_IsCancelled", "VELK_LastDelegateTick",
    "VELK_LastActiveTick"};
// Group 2.
constexpr const char* kPreInitializationNames[] = {"TARGETDIR", "STARTMENU", "ALLUSERS"};
// Group 3: set by the bootstrap.
constexpr const char* kBootstrapNames[] = {
    "PRODUCTCODE", "REVISIONCODE", "UNINSTALLLINK", "ENGINECACHE",        "DATADIR",
    "NEEDSUPGRADE", "MAINTENANCE", "NATIVE_OLDLOG", "RECOMMENDEDUPGRADE", "NEWINSTANCE"};
// Group 4, in the order of declaration.
constexpr const char* kRunStartNames[] = {
    "VELK_TIMEOUT", "VELK_COMPRESS_INSTALLER_CACHE", "VELK_DISABLE_ROLLBACK",
    "VELK_DISABLE_VISTA_RESTART_MANAGER", "CHARSET_OVERRIDE", "NATIVE_ENGINE", "NATIVE_LOGGING",
    "NATIVE_ROLLBACK", "NATIVE_HARDLINK", "NATIVE_ERROR", "NATIVE_OVERWRITE",
    "NATIVE_OVERWRITE_OLDER", "NATIVE_PROGRESS", "DELAYUNTIL_APPLYCHANGES",
    "NATIVE_OVERRIDE_PERMISSIONS", "NATIVE_OVERRIDE_NON_RESTORABLE_PERMISSIONS", "IISHOST",
    "OVERRIDECACHE", "VELKLOGO", "SELECTED", "WINDOWHANDLE", "EXEFILE", "EXEDIR", "PROGRESSTEXT",
    "PROGRESSMODE", "CUSTOM_TASKBAR_PROGRESS_ENABLED", "CUSTOM_TASKBAR_PROGRESS_PERCENT",
    "CUSTOM_TASKBAR_PROGRESS_MAX", "ABORT", "PROGRESS", "LASTERROR", "LICENSE", "USERNAME",
    "USERCOMPANY", "COPYWEBLOCK", "REBOOTCOMPUTER", "RUNAPP", "WIZARD", "FX", "FXGROUND", "FXTIME",
    "VERSION", "SILENT", "LOGGED", "CMDLINE", "REBOOTNOW", "SFXPATH", "SFXFILE", "GPOPATH",
    "SETUPPATH", "COMPLETE", "NEWLINE", "MINIMUM", "PERSONALIZED", "MODIFY", "GLASS", "REPAIR",
    "REMOVE", "ROOTDIR", "TITLE", "COMPANY", "ADVERTISE", "DATE", "TIME", "TEMPDIR",
    "ABORTONERROR", "ABORTEDONERROR", "SAVEDATA", "SUPPORTDIR", "MSIFILE", "LANGUAGE"};

bool IsVistaOrLater(const platform::MachineFacts& facts) { return facts.nt && facts.major >= 6; }

// Member of Administrators, with an elevated token on Windows Vista and later.
bool IsElevatedAdministrator(const platform::MachineFacts& facts) {
  return facts.administrator && (!IsVistaOrLater(facts) || facts.elevated);
}

// RegisteredOwner / RegisteredOrganization; the 64-bit view on 64-bit Windows.
std::string WindowsRegistration(platform::Platform& platform, const char* value) {
  const platform::RegView view =
      platform.Sys().Facts().os64 ? platform::RegView::k64 : platform::RegView::kDefault;
  return platform.Reg()
      .ReadString(platform::RegRoot::kLocalMachine, kWindowsNtCurrentVersion, value, view)
      .value_or("");
}

// The folder part of a path with a trailing backslash; empty for an empty path.
std::string FolderOf(const std::string& path) {
  if (path.empty()) return "";
  return base::IncludeTrailingBackslash(base::ExtractFilePath(path));
}

// The machine's current time as the user's locale writes it. The machine
// keeps no time zone, so its clock counts as local time.
std::pair<std::string, std::string> CurrentDateAndTime(platform::System& sys) {
  const platform::MachineFacts& facts = sys.Facts();
  const base::CivilTime now = base::CivilTimeFromFileTime(sys.Now());
  return {base::FormatDatePicture(facts.short_date_format, now),
          base::FormatTimePicture(facts.long_time_format, now)};
}

// The name "Reboot and Resume" gives its resume entry: the 8 characters after
// the opening brace of the product code; empty when the code has none.
std::string ResumeEntryName(const std::string& product_code) {
  const size_t brace = product_code.find('{');
  if (brace == std::string::npos || product_code.size() < brace + 9) return "";
  return product_code.substr(brace + 1, 8);
}

void RemoveResumeEntries(EngineContext& engine) {
  const std::string name = ResumeEntryName(engine.variables.GetVariable("PRODUCTCODE"));
  if (name.empty()) return;
  for (platform::RegRoot root : {platform::RegRoot::kCurrentUser, platform::RegRoot::kLocalMachine})
    for (const char* key : kResumeKeys)
      engine.platform.Reg().DeleteValue(root, key, name, platform::RegView::kDefault);
}

}  // namespace

std::vector<std::string> PredefinedVariableNames() {
  std::vector<std::string> names;
  for (const char* n : kProgressNames) names.emplace_back(n);
  for (const char* n : kPreInitializationNames) names.emplace_back(n);
  for (const char* n : kBootstrapNames) names.emplace_back(n);
  for (const char* n : kRunStartNames) names.emplace_back(n);
  return names;
}

void SetPredefinedVariables(EngineContext& engine, RunState& run) {
  (void)run;
  TVariableManager& store = engine.variables.Manager();
  const std::string tick = std::to_string(engine.platform.Sys().TickCount());
  const std::pair<const char*, std::string> progress[] = {
      {"VELK_thProgress", "0"},      {"VELK_thMax", "100"},         {"VELK_thMin", "0"},
      {"VELK_thProgressText", ""},   {"VELK_thFinished", "FALSE"},  {"VELK_thCancelled", "FALSE"},
      {"VELK_IsCancelled", "FALSE"}, {"VELK_LastDelegateTick", tick},
      {"VELK_LastActiveTick", tick}};
  for (const auto& [name, value] : progress) store.Set(name, value);

  VariableStore& vars = engine.variables;
  vars.DeclareVariable("TARGETDIR", "", kPreInitialization);
  vars.DeclareVariable("STARTMENU", engine.script.product_title, kPreInitialization);
  vars.DeclareVariable(
      "ALLUSERS", FromBoolean(IsElevatedAdministrator(engine.platform.Sys().Facts())),
      kPreInitialization);
}

void SetRunStartVariables(EngineContext& engine, RunState& run) {
  VariableStore& vars = engine.variables;
  const StartupSettings& settings = engine.settings;
  const WorkingPaths& paths = engine.paths;
  const CompiledScript& script = engine.script;
  const platform::MachineFacts& facts = engine.platform.Sys().Facts();

  const std::string executable_folder = FolderOf(paths.executable);
  const std::string sfx_path = FolderOf(settings.self_extractor);
  const std::string gpo_path = FolderOf(settings.group_policy);
  std::string setup_path = "$EXEDIR$";
  if (!gpo_path.empty()) setup_path = "$GPOPATH$";
  else if (!sfx_path.empty()) setup_path = "$SFXPATH$";
  const auto [date, time] = CurrentDateAndTime(engine.platform.Sys());

  // Desktop composition is always available from Windows Vista on in the
  // machines the engine runs on; the dialog host decides per page.
  const bool glass = IsVistaOrLater(facts);

  // The engine's own component exists before the script's first command.
  run.components.Define(kPredefinedComponent, kPredefinedComponent, true, "");

  // Declared only when missing: a state file loaded by the bootstrap may
  // already have set them.
  const bool keep_native_engine = vars.VariableExists("NATIVE_ENGINE");
  const bool keep_override_cache = vars.VariableExists("OVERRIDECACHE");

  const std::pair<const char*, std::string> values[] = {
      {"VELK_TIMEOUT", "10"},
      {"VELK_COMPRESS_INSTALLER_CACHE", "FALSE"},
      {"VELK_DISABLE_ROLLBACK", "FALSE"},
      {"VELK_DISABLE_VISTA_RESTART_MANAGER", "FALSE"},
      {"CHARSET_OVERRIDE", ""},
      {"NATIVE_ENGINE", "FALSE"},
      {"NATIVE_LOGGING", ""},
      {"NATIVE_ROLLBACK", "TRUE"},
      {"NATIVE_HARDLINK", "TRUE"},
      {"NATIVE_ERROR", "PROMPT"},
      {"NATIVE_OVERWRITE", "PROMPT"},
      {"NATIVE_OVERWRITE_OLDER", "FALSE"},
      {"NATIVE_PROGRESS", "0"},
      {"DELAYUNTIL_APPLYCHANGES", "FALSE"},
      {"NATIVE_OVERRIDE_PERMISSIONS", "FALSE"},
      {"NATIVE_OVERRIDE_NON_RESTORABLE_PERMISSIONS", "FALSE"},
      {"IISHOST", "localhost"},
      {"OVERRIDECACHE", ""},
      {"VELKLOGO", ""},
      {"SELECTED", "0"},
      {"WINDOWHANDLE", "0"},
      {"EXEFILE", paths.executable},
      {"EXEDIR", executable_folder},
      {"PROGRESSTEXT", ""},
      {"PROGRESSMODE", ""},
      {"CUSTOM_TASKBAR_PROGRESS_ENABLED", "FALSE"},
      {"CUSTOM_TASKBAR_PROGRESS_PERCENT", "0"},
      {"CUSTOM_TASKBAR_PROGRESS_MAX", "100"},
      {"ABORT", "FALSE"},
      {"PROGRESS", "0"},
      {"LASTERROR", ""},
      {"LICENSE", "FALSE"},
      {"USERNAME", WindowsRegistration(engine.platform, "RegisteredOwner")},
      {"USERCOMPANY", WindowsRegistration(engine.platform, "RegisteredOrganization")},
      {"COPYWEBLOCK", ""},
      {"REBOOTCOMPUTER", "FALSE"},
      {"RUNAPP", "TRUE"},
      {"WIZARD", "NEXT"},
      {"FX", "SLIDE"},
      {"FXGROUND", "BACKGROUND"},
      {"FXTIME", "1000"},
      {"VERSION", script.product_version},
      {"SILENT", FromBoolean(settings.silent)},
      {"LOGGED", settings.log_file},
      {"CMDLINE", settings.tail},
      {"REBOOTNOW", "OK"},
      {"SFXPATH", sfx_path},
      {"SFXFILE", base::ExtractFileName(settings.self_extractor)},
      {"GPOPATH", gpo_path},
      {"SETUPPATH", setup_path},
      {"COMPLETE", "TRUE"},
      {"NEWLINE", "\r\n"},
      {"MINIMUM", "FALSE"},
      {"PERSONALIZED", "FALSE"},
      {"MODIFY", "TRUE"},
      {"GLASS", FromBoolean(glass)},
      {"REPAIR", "FALSE"},
      {"REMOVE", "FALSE"},
      {"ROOTDIR", executable_folder},
      {"TITLE", script.product_title},
      {"COMPANY", script.publisher},
      {"ADVERTISE", "FALSE"},
      {"DATE", date},
      {"TIME", time},
      {"TEMPDIR", paths.temp_folder},
      {"ABORTONERROR", "TRUE"},
      {"ABORTEDONERROR", "FALSE"},
      {"SAVEDATA", "FALSE"},
      {"SUPPORTDIR", paths.support_folder},
      {"MSIFILE", run.package_path},
  };
  for (const auto& [name, value] : values) {
    const std::string_view n = name;
    if ((n == "NATIVE_ENGINE" && keep_native_engine) ||
        (n == "OVERRIDECACHE" && keep_override_cache))
      continue;
    vars.DeclareVariable(name, value, kInitialization);
  }

  // The patch case (an ".msp" beside the package makes the product's
  // uninstall entry name the engine cache) belongs to the registration,
  // which is not built yet.

  RemoveResumeEntries(engine);

  // The language set-up fills this in when a translation is chosen.
  vars.DeclareVariable("LANGUAGE", "", kInitialization);
}

void ApplyCommandLineOverrides(EngineContext& engine) {
  VariableStore& vars = engine.variables;
  // The store protects exactly the names assigned here.
  const std::vector<std::string>& overrides = engine.settings.overrides;
  vars.SetCommandLineOverrides(overrides);
  for (size_t i = 0; i + 1 < overrides.size(); i += 2) {
    const std::string& name = overrides[i];
    const std::string& value = overrides[i + 1];
    if (vars.VariableExists(name)) vars.AssignVariable(name, value, kInjectOverrideSource);
    else vars.DeclareVariable(name, value, kInjectOverrideSource);
  }
}

void RefreshBeforeCommand(EngineContext& engine, RunState& run) {
  (void)run;
  VariableStore& vars = engine.variables;
  const std::string log_path = vars.GetVariable("LOGGED");
  if (log_path != engine.log.path()) engine.log.SetPath(log_path);
  const bool silent = ToBoolean(vars.GetVariable("SILENT"));
  engine.settings.silent = silent;
  vars.SetSilent(silent);
  maintenance::RefreshEngineCacheVariables(engine);
  const auto [date, time] = CurrentDateAndTime(engine.platform.Sys());
  vars.AssignVariable("DATE", date, kInitialization);
  vars.AssignVariable("TIME", time, kInitialization);
}

}  // namespace kestrawl::script

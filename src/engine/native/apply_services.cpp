// "Install Service": places the group's files, then creates the service with
// the service control manager (and its description as a nested logged
// registry write), logging "Create Service".
// "Control Service": starts, stops, or stops and deletes a service and may
// change its start type. Nothing is logged.
#include <optional>
#include <string>
#include <thread>

#include "base/comma_list.h"
#include "base/text.h"
#include "base/win_path.h"
#include "engine/native/apply_helpers.h"
#include "engine/native/change_kinds.h"
#include "engine/native/file_placement.h"
#include "engine/native/service_wait.h"

namespace kestrawl::engine::native {

namespace {

namespace err = platform::err;
namespace svc = platform::svc;

constexpr const char* kServicesKey = "SYSTEM\\CurrentControlSet\\Services\\";
constexpr int kLocalMachineRoot = 2;

// The record's dependency text: entries separated by "$NULL$" (or "~");
// entries holding "+" are load-order groups. Services come first, then the
// groups with a leading "+", as the manager takes them.
std::vector<std::string> ParseDependencies(const std::string& text) {
  const std::string joined = ReplaceAllNoCase(text, "$NULL$", "~");
  std::vector<std::string> services, groups;
  for (std::string entry : base::Split(joined, '~')) {
    if (entry.empty()) continue;
    if (entry.find('+') != std::string::npos) {
      std::erase(entry, '+');
      if (!entry.empty()) groups.push_back("+" + entry);
    } else {
      services.push_back(entry);
    }
  }
  services.insert(services.end(), groups.begin(), groups.end());
  return services;
}

enum Action { kStart = 0, kStop = 1, kStopAndDelete = 2 };

// Start-type change codes of "Control Service"; anything else changes nothing.
std::optional<uint32_t> StartTypeOfCode(const std::string& code) {
  const std::optional<int32_t> n = ParseInt32(code);
  if (!n) return std::nullopt;
  switch (*n) {
    case 10: return svc::kAutoStart;
    case 20: return svc::kDemandStart;
    case 30: return svc::kDisabled;
    default: return std::nullopt;
  }
}

}  // namespace

bool WaitWhileServicePending(NativeRun& run, const std::string& name, uint32_t pending,
                             std::chrono::milliseconds interval) {
  platform::Services& services = run.platform().Svc();
  while (true) {
    uint32_t state = 0;
    if (services.QueryState(name, &state) != err::kSuccess || state != pending) return true;
    if (run.TerminateRequested()) return false;
    std::this_thread::sleep_for(interval);
  }
}

bool ApplyInstallService(NativeRun& run, const Fields& fields) {
  const std::string& group = Field(fields, 0);
  const std::string& name = Field(fields, 1);
  const std::string& display_name = Field(fields, 2);
  const std::string& description = Field(fields, 3);
  const std::string folder = base::IncludeTrailingBackslash(Field(fields, 6));
  const std::string subject = name + ", " + display_name + ", " + description;

  if (name.empty() || Field(fields, 6).empty()) return RejectRecord(run, "Install Service: " + subject);

  const ByteProgressScope byte_progress(run);
  // Place every file; the service runs the last one placed.
  std::string program;
  bool last_placed = false;
  for (const GroupFile& file : WalkFileGroup(run.engine.script, group)) {
    PlaceRequest request;
    request.source = SourceFileOf(run, file.relative_source);
    request.destination = folder + base::ExtractFileName(request.source);
    request.mode = PlaceMode::kInstallKind;
    const PlaceOutcome outcome = PlaceFile(run, request);
    if (outcome == PlaceOutcome::kAborted || outcome == PlaceOutcome::kFailed) return false;
    last_placed = outcome == PlaceOutcome::kPlaced;
    if (last_placed) program = request.destination;
  }
  if (!last_placed) return true;

  if (!run.Report(subject, 0)) return false;

  platform::ServiceConfig config;
  config.name = name;
  config.display_name = display_name;
  config.type = Field(fields, 7) != "0" ? svc::kShareProcess : svc::kOwnProcess;
  if (FieldFlag(fields, 8)) config.type |= svc::kInteractive;
  const std::string& start = Field(fields, 9);
  config.start = start == "0" ? svc::kAutoStart : start == "1" ? svc::kDemandStart : svc::kDisabled;
  const std::string& error_control = Field(fields, 10);
  config.error_control = error_control == "0" ? 0 : error_control == "1" ? 1 : 2;
  config.binary_path = "\"" + program + "\"";
  if (!Field(fields, 13).empty()) config.binary_path += " " + Field(fields, 13);
  config.load_order_group = Field(fields, 4);
  config.dependencies = ParseDependencies(Field(fields, 5));
  config.account = Field(fields, 11);
  config.password = Field(fields, 12);

  platform::Services& services = run.platform().Svc();
  const OpOutcome created = run.Attempt([&]() -> uint32_t { return services.Create(config); },
                                        [&](uint32_t code) { return FailureMessage(code, subject); });
  if (created == OpOutcome::kAborted) return false;
  // A service that was not created by this change must not be logged: its
  // removal would delete a service someone else installed.
  if (created == OpOutcome::kIgnored) return true;

  if (!description.empty() &&
      !run.ApplyNested("Write Registry", NestedRegistryRecord(false, kLocalMachineRoot, kServicesKey + name,
                                                              "Description", description, false)))
    return false;

  run.LogUndo("Create Service", name);
  run.Trace("        < " + subject + " >");
  return true;
}

bool ApplyControlService(NativeRun& run, const Fields& fields) {
  const std::string& name = Field(fields, 0);
  const std::string& arguments = Field(fields, 1);
  const std::optional<int32_t> action_code = ParseInt32(Field(fields, 2));
  const bool wait = FieldFlag(fields, 3);
  const std::optional<uint32_t> start_type = StartTypeOfCode(Field(fields, 4));
  const std::string subject = name + ", " + arguments;

  if (name.empty() || !action_code) return RejectRecord(run, "Control Service: " + subject);
  const int action = ((*action_code % 3) + 3) % 3;

  if (!run.Report(subject, 0)) return false;

  platform::Services& services = run.platform().Svc();
  const auto message = [&](uint32_t code) { return FailureMessage(code, subject); };

  // Opening the service: a service that does not exist fails here.
  uint32_t state = 0;
  switch (run.Attempt([&]() -> uint32_t { return services.QueryState(name, &state); }, message)) {
    case OpOutcome::kAborted: return false;
    case OpOutcome::kIgnored: return true;
    case OpOutcome::kSucceeded: break;
  }

  bool stopped = false;
  if (action == kStart) {
    const std::vector<std::string> start_arguments =
        arguments.empty() ? std::vector<std::string>{} : std::vector<std::string>{arguments};
    const OpOutcome started = run.Attempt(
        [&]() -> uint32_t {
          const uint32_t rc = services.Start(name, start_arguments);
          return rc == svc::kServiceAlreadyRunning ? err::kSuccess : rc;
        },
        message);
    if (started == OpOutcome::kAborted) return false;
    if (started == OpOutcome::kSucceeded && wait && !WaitWhileServicePending(run, name, svc::kStartPending))
      return false;
  } else {
    // A service that is already stopped is where the stop wants it.
    const OpOutcome stop = run.Attempt(
        [&]() -> uint32_t {
          const uint32_t rc = services.Stop(name);
          return rc == svc::kServiceNotActive ? err::kSuccess : rc;
        },
        message);
    if (stop == OpOutcome::kAborted) return false;
    stopped = stop == OpOutcome::kSucceeded;
    if (stopped && wait && !WaitWhileServicePending(run, name, svc::kStopPending)) return false;
  }

  if (start_type) {
    const OpOutcome changed =
        run.Attempt([&]() -> uint32_t { return services.ChangeStartType(name, *start_type); }, message);
    if (changed == OpOutcome::kAborted) return false;
  }

  if (action == kStopAndDelete && stopped) {
    const OpOutcome deleted = run.Attempt([&]() -> uint32_t { return services.Delete(name); }, message);
    if (deleted == OpOutcome::kAborted) return false;
  }

  run.Trace("        < " + subject + " >");
  return true;
}

}  // namespace kestrawl::engine::native

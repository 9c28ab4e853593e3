// "Install Assembly": puts each file of the group into the global assembly
// cache with this instance's install reference (failures are not prompted;
// "Install Assembly" is logged with the assembly name), or places it into
// the destination folder like any installed file.
#include "base/win_path.h"
#include "engine/native/apply_helpers.h"
#include "engine/native/change_kinds.h"
#include "engine/native/undo_shared.h"
#include "engine/native/file_placement.h"
#include "platform/assembly_cache.h"

namespace kestrawl::engine::native {

namespace {

constexpr const char* kReferenceDescription = "Kestrawl";

}  // namespace

bool ApplyInstallAssembly(NativeRun& run, const Fields& fields) {
  const std::string& group = Field(fields, 0);
  const std::string folder = base::IncludeTrailingBackslash(Field(fields, 1));
  const bool into_cache = FieldFlag(fields, 2);
  if (!into_cache && Field(fields, 1).empty())
    return RejectRecord(run, "Install Assembly: no destination folder for group " + group);

  const ByteProgressScope byte_progress(run);
  for (const GroupFile& file : WalkFileGroup(run.engine.script, group)) {
    const std::string source = SourceFileOf(run, file.relative_source);
    const std::string file_name = base::ExtractFileName(source);

    if (into_cache) {
      if (!run.Report("GAC: " + file_name, 0)) return false;
      platform::FileEntry entry;
      const int64_t size =
          run.platform().Files().GetEntry(source, &entry) == platform::err::kSuccess
              ? static_cast<int64_t>(entry.size)
              : 0;
      if (!run.Report("GAC: " + file_name, size)) return false;
      const platform::gac::Reference reference{platform::gac::kOpaqueStringScheme, InstanceCode(run),
                                               kReferenceDescription};
      const platform::Win32Error rc =
          platform::gac::InstallAssembly(run.platform().Files(), run.platform().Sys(), file.second, source,
                                         reference, run.Setting("NATIVE_OVERWRITE_OLDER"));
      if (rc != platform::err::kSuccess) continue;
      run.LogUndo("Install Assembly", file.second);
      run.Trace("        < GAC: " + file_name + " >");
      continue;
    }

    PlaceRequest request;
    request.source = source;
    request.destination = folder + file_name;
    request.mode = PlaceMode::kInstallKind;
    const PlaceOutcome outcome = PlaceFile(run, request);
    if (outcome == PlaceOutcome::kAborted || outcome == PlaceOutcome::kFailed) return false;
  }
  return true;
}

}  // namespace kestrawl::engine::native

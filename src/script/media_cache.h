// The media cache: the folder inside the engine cache where the media a
// command needs are made present before it runs (cache kind 2 only).
//
// Layout below the media root R (engine cache + package identifier + "\"):
// R + "OFFLINE\" for the setup's offline media (copied files land below
// R + "offline\" or, for merge modules, directly below R), R + name + "\"
// for each web media block, and the marker R + name + "\" + package
// identifier, written last, that says the medium is complete. A medium with
// folder and marker is never grabbed again; a folder without marker (an
// interrupted grab) is emptied and grabbed again. Extraction stages the
// archive below the common application data folder + "velk\" and places
// each file where the compiled script's media file table wants it.
//
// NTFS compression (VELK_COMPRESS_INSTALLER_CACHE) is not applied: the
// platform interface has no compression control yet.
#pragma once

#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

#include "media/archive_wrappers.h"
#include "platform/file_system.h"
#include "script/engine_context.h"
#include "script/run_state.h"
#include "script/script_error.h"

namespace kestrawl::script {

// The compiled-script cache kind in which media are cached.
inline constexpr int32_t kMediaCachedKind = 2;
// Medium name of the setup's offline media.
inline constexpr const char* kOfflineMediumName = "OFFLINE\\";

inline constexpr const char* kExtractingWebMediaHeader = "Extracting Web Media: ";
inline constexpr const char* kExtractFailedMessage =
    "Unable to extract installation data downloaded from the web";
inline constexpr const char* kCopyFailedMessage = "Unable to copy installation data to local folders";
inline constexpr const char* kArchiveCannotBeOpenedText =
    "The archive cannot be opened: unsupported archive or incorrect password";

// The extraction retry prompt (`TzelExtract`).
inline constexpr const char* kRetryExtractionCaption = "Retry Extraction?";
inline constexpr const char* kRetryExtractionText =
    "Extraction of installation data downloaded from the web has failed. What would you like to do?";
inline constexpr const char* kRetryDownloadChoice = "&Download a fresh copy of the installation data.";
inline constexpr const char* kRetryExtractChoice = "Try to &extract the existing download data again.";
inline constexpr const char* kRetryExtractionNote =
    "If you choose Cancel, setup will exit. Your existing download data will be preserved.";
// Origin of VELK_IsCancelled when the retry prompt is cancelled.
inline constexpr const char* kExtractCancelSource = "GrabMediaEx Extract Failure Cancel Trickle";

// A grab that could not make its medium present; the message is shown by
// the interpreter's error handling.
class EMediaGrab : public EScriptError {
 public:
  using EScriptError::EScriptError;
};

// One line triple of the compiled script's media file table.
struct MediaFileEntry {
  std::string medium;       // medium name (a web block name)
  std::string stored_path;  // folder part and file name inside the medium
  std::string target;       // subfolder below the media root, ending in "\"
};

// The triples in order; an incomplete last group is ignored.
std::vector<MediaFileEntry> MediaFileTable(const CompiledScript& script);

// The identifier naming the media root and the markers (the product code).
std::string PackageIdentifier(const EngineContext& engine);

// Computes the media root for the current ALLUSERS setting and makes it the
// run's. When the run already had a different root, everything below the
// old one is moved into the new one first.
std::string CurrentMediaRoot(EngineContext& engine, RunState& run);

// Deletes everything below `folder` (three passes, so that a file in use a
// moment ago may still go); the folder itself stays.
void DeleteFolderContents(platform::FileSystem& files, const std::string& folder);

// A hard link when source and target are on one drive, else (or when the
// link fails) a copy. An existing target is replaced.
platform::Win32Error LinkOrCopy(platform::FileSystem& files, const std::string& source,
                                const std::string& target);

// Copies `source` to `target` when the target's size differs (a missing
// target included), creating the target folder first. A target without a
// drive does nothing. Returns true when the target is in place afterwards.
bool CopyIfDifferent(platform::FileSystem& files, const std::string& source, const std::string& target);

// What the extraction worker needs; everything is owned by value.
struct ExtractMediaRequest {
  std::string archive;        // Windows path of the block archive
  std::string password;
  std::string media_root;     // R
  std::string staging;        // common application data + "velk\"
  std::string header;         // progress header ("Extracting Web Media: Name")
  std::string copy_web_block; // COPYWEBLOCK folder, or empty
  std::vector<MediaFileEntry> table;
};

struct ExtractMediaResult {
  bool ok = false;
  bool cannot_open = false;  // the library could not open the archive
  std::string error;
};

// Progress of a worker: text and percent; false asks the worker to stop.
using MediaProgress = std::function<bool(const std::string& text, int percent)>;

// The body of `TExtractMedia`: extracts the whole archive into the staging
// folder, copies the archive to COPYWEBLOCK, places every table entry of
// this block (a stored path listed twice lands at both targets), moves what
// is left below staging + block into R + block and removes an empty staging
// folder.
ExtractMediaResult ExtractMedia(platform::FileSystem& files, const media::ArchiveHost& host,
                                const ExtractMediaRequest& request, const MediaProgress& progress);

// What the offline copy worker needs.
struct CopyMediaRequest {
  std::string source;          // the setup's media source folder
  std::string media_root;      // R
  bool keep_sources = false;   // "#CACHESOURCES#" TRUE with kind 2: copy, never move
  std::string copy_web_block;  // COPYWEBLOCK folder, or empty
  std::string setup_executable;  // SFXPATH + SFXFILE, copied to COPYWEBLOCK
  bool compress = false;       // VELK_COMPRESS_INSTALLER_CACHE: copied files compressed, else not
};

// The body of `TCopyMedia`: copies (or moves) S + "offline\" below
// R + "offline\" and S + "mergemod\" directly below R. When neither folder
// exists below S its parent is used. Existing targets are left alone.
// Returns false when a file could not be placed or a stop was requested.
bool CopyOfflineMedia(platform::FileSystem& files, const CopyMediaRequest& request,
                      const MediaProgress& progress);

// The folder the setup was started from: GPOPATH, else SFXPATH, else EXEDIR,
// else the executable's folder (with a trailing backslash).
std::string SetupSourceFolder(const EngineContext& engine);

// Makes the medium `name` ("OFFLINE\" or a web block name with a trailing
// backslash) present in the media cache. Does nothing when REMOVE is true.
// Throws EMediaGrab when it cannot.
void GrabMedium(EngineContext& engine, RunState& run, const std::string& name);

// Choices of the extraction retry prompt.
enum class ExtractionRetryChoice { kDownloadAgain, kExtractAgain, kCancel };

// Shows the retry prompt through the message host: Yes downloads a fresh
// copy (the default), No extracts again, Cancel gives up. Silent runs are
// not asked: kCancel.
ExtractionRetryChoice AskRetryExtraction(EngineContext& engine);

// The end-of-run clean-up: with "#CACHESOURCES#" set to FALSE (any case)
// and cache kind 2, every subfolder of the media root except "OFFLINE" is
// deleted.
void CleanUpMediaCache(EngineContext& engine, RunState& run);

}  // namespace kestrawl::script

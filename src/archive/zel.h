/* zel.lib: the archive library of the setup engine.
 *
 * Eight C functions that list, extract, test, create and update 7z archives
 * (and the other kinds 7-Zip writes). The work is done by the 7-Zip console
 * program, run as a child process for each call; the library builds its
 * command line, feeds it nothing on standard input, reads its progress and
 * messages, and turns them into the callbacks and error codes below.
 *
 * Conventions shared by every function:
 * - Texts are zero-terminated UTF-16 (char16_t). Paths are host paths; a
 *   backslash in a path or item name counts as a folder separator, so
 *   "dir\\file" and "dir/file" mean the same. Listed item names use
 *   backslashes.
 * - A result of 0 means failure unless stated; GetLastArchiveError() then
 *   tells why (ZEL_E_* below). The last error is kept per calling thread.
 * - Callbacks are called on the calling thread, during the call, never later.
 *   Any callback pointer may be null.
 * - Arguments documented as "reserved" must be 0 (or 1 where stated); they
 *   are accepted and ignored.
 * - Every function may be called from several threads at once; open listings
 *   are guarded by one lock inside the library.
 * - A password is passed to 7-Zip on its command line, so other processes of
 *   the same user can read it while the child runs.
 *
 * Locating 7-Zip: the environment variable KESTRAWL_7ZIP may name the program
 * (a path); otherwise "7zz", then "7z", then "7za" are looked up on PATH.
 */
#ifndef KESTRAWL_ARCHIVE_ZEL_H
#define KESTRAWL_ARCHIVE_ZEL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define ZEL_CALL __stdcall
#define ZEL_EXPORT __declspec(dllexport)
#else
#define ZEL_CALL /* the platform's C calling convention */
#define ZEL_EXPORT __attribute__((visibility("default")))
#endif

/* ---- Error codes (stable; GetLastArchiveError) ------------------------- */

#define ZEL_OK 0
/* The archive cannot be opened: missing, not an archive, an unsupported
 * kind, truncated headers, or a wrong/missing password. */
#define ZEL_E_CANNOT_OPEN 1
/* The archive is damaged: CRC or data error inside an item. */
#define ZEL_E_DATA 2
/* A callback asked to stop (progress, open); the 7-Zip child was ended. */
#define ZEL_E_CANCELLED 3
/* Output cannot be written: destination folder or file, or the archive. */
#define ZEL_E_CANNOT_WRITE 4
/* The 7-Zip program was not found or could not be started. */
#define ZEL_E_NO_PROGRAM 5
/* An argument is invalid (null path, null list, unknown list handle). */
#define ZEL_E_ARGUMENT 6
/* 7-Zip rejected its command line (for example a bad switch). */
#define ZEL_E_COMMAND_LINE 7
/* 7-Zip finished with warnings (for example an input file was missing or
 * could not be read); the operation is reported as failed. */
#define ZEL_E_WARNING 8
/* Any other failure reported by 7-Zip or the system. */
#define ZEL_E_FAILED 9
/* Out of memory (7-Zip could not allocate what the operation needs). */
#define ZEL_E_OUT_OF_MEMORY 1018

/* English text for an error code ("" for ZEL_OK); never null. */
static inline const char* ZelErrorText(int code) {
  switch (code) {
    case ZEL_OK: return "";
    case ZEL_E_CANNOT_OPEN: return "The archive cannot be opened (missing, unsupported or wrong password).";
    case ZEL_E_DATA: return "The archive is damaged (data or CRC error).";
    case ZEL_E_CANCELLED: return "The operation was cancelled.";
    case ZEL_E_CANNOT_WRITE: return "The output cannot be written.";
    case ZEL_E_NO_PROGRAM: return "The 7-Zip program cannot be started.";
    case ZEL_E_ARGUMENT: return "An argument is invalid.";
    case ZEL_E_COMMAND_LINE: return "7-Zip rejected the command line.";
    case ZEL_E_WARNING: return "7-Zip reported warnings (for example a missing input file).";
    case ZEL_E_OUT_OF_MEMORY: return "Not enough memory for the operation.";
    default: return "The archive operation failed.";
  }
}

/* ---- Data ------------------------------------------------------------- */

/* A list of item names (extract, delete) or input paths (create). */
typedef struct ZelTargetList {
  char16_t** items; /* array of count zero-terminated UTF-16 texts */
  uint32_t count;
} ZelTargetList;

/* One listed archive item. 48 bytes on 64-bit hosts; the layout is fixed:
 * +0 name, +8 size, +16 packed size, +32 modification time, +40 attributes. */
typedef struct ZelListedItem {
  const char16_t* name;   /* path inside the archive, backslash-separated */
  uint64_t size;          /* unpacked size in bytes */
  uint64_t packed_size;   /* packed size in bytes (0 when 7-Zip shows none) */
  uint64_t reserved;      /* 0 */
  uint64_t modified;      /* Windows file time (100 ns since 1601, UTC); 0 if unknown */
  uint32_t attributes;    /* Windows attributes: 1 read-only, 2 hidden, 4 system,
                             0x10 folder, 0x20 archive */
  uint32_t reserved2;     /* 0 */
} ZelListedItem;

/* Archive kind codes of CreateArchive; any other code creates a 7z archive.
 * gzip, bzip2 and xz hold one file only. */
#define ZEL_KIND_7Z 0
#define ZEL_KIND_ZIP 1
#define ZEL_KIND_TAR 4
#define ZEL_KIND_GZIP 5
#define ZEL_KIND_BZIP2 6
#define ZEL_KIND_XZ 130
#define ZEL_KIND_WIM 132

/* Update modes of CreateArchive (other values act as ZEL_UPDATE_ADD). */
#define ZEL_UPDATE_ADD 0      /* add new files, replace every existing item */
#define ZEL_UPDATE_NEWER 1    /* add new files, replace items only by newer files */
#define ZEL_UPDATE_SYNC 2     /* as NEWER, and drop items whose file is gone */

/* Answers of the overwrite callback. */
#define ZEL_OVERWRITE_ALL 1
#define ZEL_OVERWRITE_SKIP 4

/* Operations named to the open callback. */
#define ZEL_OP_LIST 1
#define ZEL_OP_EXTRACT 2
#define ZEL_OP_TEST 3
#define ZEL_OP_CREATE 4
#define ZEL_OP_DELETE 5

/* ---- Callbacks -------------------------------------------------------- */

/* Progress: the file being worked on (backslash-separated; may be empty,
 * never null), bytes done and total bytes. When the total is not known it
 * is 100 and done is the percent. A last call with done == total follows a
 * success. Return non-zero to go on, 0 to stop: the child is ended at once
 * and the call fails with ZEL_E_CANCELLED. */
typedef int(ZEL_CALL* ZelProgressCallback)(const char16_t* file, uint64_t done, uint64_t total);

/* Password: called when no password was given and the archive needs one.
 * Copy a zero-terminated password of at most 255 code units into buffer
 * (room for 256 code units) and return 1; return 0 when there is none. */
typedef int(ZEL_CALL* ZelPasswordCallback)(char16_t* buffer);

/* Open: called once before the archive is worked on, with its path and the
 * operation (ZEL_OP_*). Return non-zero to go on, 0 to stop (ZEL_E_CANCELLED). */
typedef int(ZEL_CALL* ZelOpenCallback)(const char16_t* archive, uint32_t operation);

/* Overwrite: asked once per extraction, before it starts, how to treat files
 * that already exist in the destination; the answer covers every file.
 * existing = the destination folder, incoming = the archive path; sizes and
 * times are 0. Return ZEL_OVERWRITE_SKIP to keep existing files; any other
 * value overwrites them. */
typedef int(ZEL_CALL* ZelOverwriteCallback)(const char16_t* existing, uint64_t existing_size,
                                            uint64_t existing_time, const char16_t* incoming,
                                            uint64_t incoming_size, uint64_t incoming_time);

/* ---- Functions -------------------------------------------------------- */

/* Accepted for compatibility; the library does not load anything from the
 * folder. Always returns 1. */
ZEL_EXPORT int ZEL_CALL Set7zipDllDirectory(const char16_t* folder);

/* Lists an archive. password: may be null or empty; password_callback is
 * asked when it is empty and the archive's headers are encrypted. On
 * success *items points to *count items owned by the library, valid until
 * CloseListArchive(handle), and the handle (non-zero) is returned; on
 * failure 0 is returned and *items and *count are cleared. */
ZEL_EXPORT uintptr_t ZEL_CALL OpenListArchive(const char16_t* archive, uint32_t reserved0,
                                              ZelPasswordCallback password_callback,
                                              uint32_t reserved1, uint32_t reserved2,
                                              uint32_t reserved3, const char16_t* password,
                                              ZelListedItem** items, uint32_t* count);

/* Frees a listing. An unknown handle is ignored. Returns 1. */
ZEL_EXPORT int ZEL_CALL CloseListArchive(uintptr_t handle);

/* Extracts the items named in targets (exact names; wildcards are not
 * special) into destination (created when missing; a trailing separator is
 * allowed). full_paths: non-zero keeps the folders inside the archive, 0
 * puts every file directly into destination. An empty target list extracts
 * nothing and succeeds; a null list extracts everything. A wrong password
 * fails with ZEL_E_CANNOT_OPEN and leaves no damaged files behind. */
ZEL_EXPORT int ZEL_CALL ExtractArchive(const char16_t* archive, uint32_t reserved_one,
                                       const char16_t* destination, const ZelTargetList* targets,
                                       int full_paths, const char16_t* password,
                                       ZelPasswordCallback password_callback,
                                       ZelProgressCallback progress_callback,
                                       ZelOpenCallback open_callback,
                                       ZelOverwriteCallback overwrite_callback);

/* Tests every item of the archive (reads and checks all data).
 * ZEL_E_DATA when an item is damaged. */
ZEL_EXPORT int ZEL_CALL TestArchive(const char16_t* archive, uint32_t reserved0,
                                    uint32_t reserved1, uint32_t reserved2, uint32_t reserved3,
                                    const char16_t* password,
                                    ZelPasswordCallback password_callback,
                                    ZelProgressCallback progress_callback);

/* Creates or updates an archive from the files named in both target lists
 * (host paths; 7-Zip wildcards like * and ? are honoured; either list may
 * be null). kind: ZEL_KIND_*; update_mode: ZEL_UPDATE_*. switches: 7-Zip
 * switches separated by blanks, passed on unchanged (for example
 * "-mx=1 -mhe=on"); may be null. password: empty or null for none. */
ZEL_EXPORT int ZEL_CALL CreateArchive(const char16_t* archive, uint32_t kind,
                                      const ZelTargetList* first, const ZelTargetList* second,
                                      uint32_t update_mode, const char16_t* switches,
                                      const char16_t* password,
                                      ZelProgressCallback progress_callback,
                                      ZelOpenCallback open_callback, uint32_t reserved0);

/* Deletes the items named in targets (exact names) from the archive. */
ZEL_EXPORT int ZEL_CALL DeleteFromArchive(const char16_t* archive, uint32_t reserved_one,
                                          const ZelTargetList* targets, uint32_t reserved0,
                                          uint32_t reserved1, uint32_t reserved2,
                                          const char16_t* password, uint32_t reserved3,
                                          ZelProgressCallback progress_callback,
                                          ZelOpenCallback open_callback);

/* The code of the calling thread's last failure (ZEL_OK after a success). */
ZEL_EXPORT int ZEL_CALL GetLastArchiveError(void);

#ifdef __cplusplus
}
#endif

#endif /* KESTRAWL_ARCHIVE_ZEL_H */

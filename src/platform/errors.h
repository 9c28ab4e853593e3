// Win32 error codes returned by every platform call, and their English system
// texts. 0 (kSuccess) means the call succeeded.
#pragma once

#include <cstdint>
#include <string>

namespace kestrawl::platform {

using Win32Error = uint32_t;

namespace err {
inline constexpr Win32Error kSuccess = 0;
inline constexpr Win32Error kInvalidFunction = 1;
inline constexpr Win32Error kFileNotFound = 2;
inline constexpr Win32Error kPathNotFound = 3;
inline constexpr Win32Error kAccessDenied = 5;
inline constexpr Win32Error kInvalidHandle = 6;
inline constexpr Win32Error kNotEnoughMemory = 8;
inline constexpr Win32Error kInvalidData = 13;
inline constexpr Win32Error kInvalidDrive = 15;
inline constexpr Win32Error kCurrentDirectory = 16;
inline constexpr Win32Error kNotSameDevice = 17;
inline constexpr Win32Error kNoMoreFiles = 18;
inline constexpr Win32Error kWriteProtect = 19;
inline constexpr Win32Error kNotReady = 21;
inline constexpr Win32Error kSharingViolation = 32;
inline constexpr Win32Error kLockViolation = 33;
inline constexpr Win32Error kHandleEof = 38;
inline constexpr Win32Error kHandleDiskFull = 39;
inline constexpr Win32Error kNotSupported = 50;
inline constexpr Win32Error kBadNetPath = 53;
inline constexpr Win32Error kFileExists = 80;
inline constexpr Win32Error kInvalidParameter = 87;
inline constexpr Win32Error kBrokenPipe = 109;
inline constexpr Win32Error kDiskFull = 112;
inline constexpr Win32Error kInsufficientBuffer = 122;
inline constexpr Win32Error kInvalidName = 123;
inline constexpr Win32Error kDirNotEmpty = 145;
inline constexpr Win32Error kBadPathName = 161;
inline constexpr Win32Error kAlreadyExists = 183;
inline constexpr Win32Error kBadExeFormat = 193;
inline constexpr Win32Error kFilenameExcedRange = 206;
inline constexpr Win32Error kMoreData = 234;
inline constexpr Win32Error kNoMoreItems = 259;
inline constexpr Win32Error kDirectory = 267;
inline constexpr Win32Error kOperationAborted = 995;
inline constexpr Win32Error kBadKey = 1010;
inline constexpr Win32Error kCantOpen = 1011;
inline constexpr Win32Error kCantRead = 1012;
inline constexpr Win32Error kCantWrite = 1013;
inline constexpr Win32Error kRegistryCorrupt = 1015;
inline constexpr Win32Error kRegistryIoFailed = 1016;
inline constexpr Win32Error kKeyDeleted = 1018;
inline constexpr Win32Error kKeyHasChildren = 1020;
inline constexpr Win32Error kCancelled = 1223;
inline constexpr Win32Error kRequestAborted = 1235;
inline constexpr Win32Error kInvalidComputerName = 1210;
inline constexpr Win32Error kSuccessRebootRequired = 3010;
}  // namespace err

// The English system text of a code ("The system cannot find the file
// specified."), without a trailing line break. Unknown codes give
// "Unknown error <code>.".
std::string SystemMessage(Win32Error code);

}  // namespace kestrawl::platform

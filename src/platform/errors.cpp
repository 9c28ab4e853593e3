#include "platform/errors.h"

namespace kestrawl::platform {

std::string SystemMessage(Win32Error code) {
  switch (code) {
    case err::kSuccess: return "The operation completed successfully.";
    case err::kInvalidFunction: return "Incorrect function.";
    case err::kFileNotFound: return "The system cannot find the file specified.";
    case err::kPathNotFound: return "The system cannot find the path specified.";
    case err::kAccessDenied: return "Access is denied.";
    case err::kInvalidHandle: return "The handle is invalid.";
    case err::kNotEnoughMemory: return "Not enough memory resources are available to process this command.";
    case err::kInvalidData: return "The data is invalid.";
    case err::kInvalidDrive: return "The system cannot find the drive specified.";
    case err::kCurrentDirectory: return "The directory cannot be removed.";
    case err::kNotSameDevice: return "The system cannot move the file to a different disk drive.";
    case err::kNoMoreFiles: return "There are no more files.";
    case err::kWriteProtect: return "The media is write protected.";
    case err::kNotReady: return "The device is not ready.";
    case err::kSharingViolation:
      return "The process cannot access the file because it is being used by another process.";
    case err::kLockViolation:
      return "The process cannot access the file because another process has locked a portion of the "
             "file.";
    case err::kHandleEof: return "Reached the end of the file.";
    case err::kHandleDiskFull: return "The disk is full.";
    case err::kNotSupported: return "The request is not supported.";
    case err::kBadNetPath: return "The network path was not found.";
    case err::kFileExists: return "The file exists.";
    case err::kInvalidParameter: return "The parameter is incorrect.";
    case err::kBrokenPipe: return "The pipe has been ended.";
    case err::kDiskFull: return "There is not enough space on the disk.";
    case err::kInsufficientBuffer: return "The data area passed to a system call is too small.";
    case err::kInvalidName: return "The filename, directory name, or volume label syntax is incorrect.";
    case err::kDirNotEmpty: return "The directory is not empty.";
    case err::kBadPathName: return "The specified path is invalid.";
    case err::kAlreadyExists: return "Cannot create a file when that file already exists.";
    case err::kBadExeFormat: return "%1 is not a valid Win32 application.";
    case err::kFilenameExcedRange: return "The filename or extension is too long.";
    case err::kMoreData: return "More data is available.";
    case err::kNoMoreItems: return "No more data is available.";
    case err::kDirectory: return "The directory name is invalid.";
    case err::kOperationAborted:
      return "The I/O operation has been aborted because of either a thread exit or an application "
             "request.";
    case err::kBadKey: return "The configuration registry key is invalid.";
    case err::kCantOpen: return "The configuration registry key could not be opened.";
    case err::kCantRead: return "The configuration registry key could not be read.";
    case err::kCantWrite: return "The configuration registry key could not be written.";
    case err::kRegistryCorrupt:
      return "The registry is corrupted. The structure of one of the files containing registry data is "
             "corrupted, or the system's memory image of the file is corrupted, or the file could not be "
             "recovered because the alternate copy or log was absent or corrupted.";
    case err::kRegistryIoFailed:
      return "An I/O operation initiated by the registry failed unrecoverably. The registry could not "
             "read in, or write out, or flush, one of the files that contain the system's image of the "
             "registry.";
    case err::kKeyDeleted:
      return "Illegal operation attempted on a registry key that has been marked for deletion.";
    case err::kKeyHasChildren:
      return "Cannot create a symbolic link in a registry key that already has subkeys or values.";
    case err::kInvalidComputerName: return "The format of the specified computer name is invalid.";
    case err::kCancelled: return "The operation was canceled by the user.";
    case err::kRequestAborted: return "The request was aborted.";
    case err::kSuccessRebootRequired:
      return "The requested operation is successful. Changes will not be effective until the system is "
             "rebooted.";
    case 120: return "This function is not supported on this system.";
    case 1051:
      return "A stop control has been sent to a service that other running services are dependent on.";
    case 1056: return "An instance of the service is already running.";
    case 1058:
      return "The service cannot be started, either because it is disabled or because it has no enabled "
             "devices associated with it.";
    case 1059: return "Circular service dependency was specified.";
    case 1061: return "The service cannot accept control messages at this time.";
    case 1068: return "The dependency service or group failed to start.";
    case 1075: return "The dependency service does not exist or has been marked for deletion.";
    case 1060: return "The specified service does not exist as an installed service.";
    case 1062: return "The service has not been started.";
    case 1072: return "The specified service has been marked for deletion.";
    case 1073: return "The specified service already exists.";
    case 1078: return "The name is already in use as either a service name or a service display name.";
    case 1700: return "The string binding is invalid.";
    default: return "Unknown error " + std::to_string(code) + ".";
  }
}

}  // namespace kestrawl::platform

#include "platform/sim/sim_fs_errno.h"

#include <cerrno>

namespace kestrawl::platform::sim {

Win32Error Win32FromErrno(int e) {
  switch (e) {
    case 0: return err::kSuccess;
    case ENOENT: return err::kFileNotFound;
    case ENOTDIR:
    case ELOOP: return err::kPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR: return err::kAccessDenied;
    case EEXIST: return err::kAlreadyExists;
    case ENOTEMPTY: return err::kDirNotEmpty;
    case EXDEV: return err::kNotSameDevice;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return err::kDiskFull;
    case EBUSY:
    case ETXTBSY:
    case EWOULDBLOCK: return err::kSharingViolation;
    case ENAMETOOLONG: return err::kFilenameExcedRange;
    case EROFS: return err::kWriteProtect;
    case EBADF: return err::kInvalidHandle;
    case ENOMEM:
    case EMFILE:
    case ENFILE: return err::kNotEnoughMemory;
    case EINVAL: return err::kInvalidParameter;
    case EPIPE: return err::kBrokenPipe;
    case ENOTSUP: return err::kNotSupported;
    case EIO:
    case ENXIO:
    case ENODEV: return err::kNotReady;
    case ECANCELED: return err::kOperationAborted;
    default: return err::kAccessDenied;
  }
}

}  // namespace kestrawl::platform::sim

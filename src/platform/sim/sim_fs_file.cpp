#include "platform/sim/sim_fs_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/sim/sim_fs_errno.h"

namespace kestrawl::platform::sim {

SimFile::~SimFile() { close(fd_); }

Win32Error SimFile::Read(void* buffer, size_t size, size_t* read_count) {
  *read_count = 0;
  for (;;) {
    ssize_t n = ::read(fd_, buffer, size);
    if (n >= 0) {
      *read_count = static_cast<size_t>(n);
      return err::kSuccess;
    }
    if (errno != EINTR) return Win32FromErrno(errno);
  }
}

Win32Error SimFile::Write(const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::write(fd_, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Win32FromErrno(errno);
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return err::kSuccess;
}

Win32Error SimFile::Seek(uint64_t offset) {
  if (offset > static_cast<uint64_t>(INT64_MAX)) return err::kInvalidParameter;
  if (lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) return Win32FromErrno(errno);
  return err::kSuccess;
}

Win32Error SimFile::Size(uint64_t* size) {
  struct stat st;
  if (fstat(fd_, &st) != 0) return Win32FromErrno(errno);
  *size = static_cast<uint64_t>(st.st_size);
  return err::kSuccess;
}

}  // namespace kestrawl::platform::sim

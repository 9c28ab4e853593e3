// An open host file behind the File interface. It owns the descriptor (and
// with it the flock that stands for the share mode) and closes it when
// destroyed.
#pragma once

#include "platform/file_system.h"

namespace kestrawl::platform::sim {

class SimFile : public File {
 public:
  explicit SimFile(int fd) : fd_(fd) {}
  ~SimFile() override;
  SimFile(const SimFile&) = delete;
  SimFile& operator=(const SimFile&) = delete;

  Win32Error Read(void* buffer, size_t size, size_t* read) override;
  Win32Error Write(const void* data, size_t size) override;
  Win32Error Seek(uint64_t offset) override;
  Win32Error Size(uint64_t* size) override;

 private:
  int fd_;
};

}  // namespace kestrawl::platform::sim

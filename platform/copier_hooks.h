#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <memory>

#include "platform/runtime.h"

namespace palvimo {

// Stand-ins for the probe copier's calls on the drive, for tests that need
// a drive that fails in a given way and benchmarks that watch one step; an
// empty one leaves the real call. They run on the worker.
struct Copier_Hooks {
  // In place of read(2) of the source.
  std::function<ssize_t(int fd, void* buffer, std::size_t size)> read_source;
  // In place of write(2) of the copy.
  std::function<ssize_t(int fd, const void* data, std::size_t size)> write_copy;
  // In place of the call that makes the copy lasting on the drive
  // (fdatasync(2)); returns 0, or -1 with errno set.
  std::function<int(int fd)> flush_copy;
  // Once the copy is flushed to the drive, before it is read back.
  std::function<void()> before_read_back;
};

// Make_Probe_Copier, its calls on the drive going through `hooks`.
std::unique_ptr<Probe_Copier> Make_Probe_Copier(Io_Worker& worker, Copier_Hooks hooks);

}  // namespace palvimo

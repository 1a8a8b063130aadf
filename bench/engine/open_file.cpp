#include "open_file.h"

#include <fcntl.h>

#include <cerrno>

#include "platform/check_error.h"

namespace palvimo::bench {

Open_File::Open_File(const std::filesystem::path& path, int flags)
    : path_(path.string()), fd_(open(path.c_str(), flags | O_CLOEXEC, 0644)) {
  if (!fd_.Valid()) throw Error_From_Errno(path_, errno);
}

void Open_File::Write_All(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = Retry_Interrupted([&] { return write(fd_.Get(), bytes, size); });
    if (written <= 0) throw Error_From_Errno(path_, written < 0 ? errno : ENOSPC);
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
}

void Open_File::Flush() {
  if (Retry_Interrupted([this] { return fdatasync(fd_.Get()); }) != 0) {
    throw Error_From_Errno(path_, errno);
  }
}

void Open_File::Drop_Cached_Pages() {
  if (const int error = posix_fadvise(fd_.Get(), 0, 0, POSIX_FADV_DONTNEED)) {
    throw Error_From_Errno(path_, error);
  }
}

}  // namespace palvimo::bench

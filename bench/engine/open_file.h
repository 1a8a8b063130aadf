#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

#include "platform/unique_fd.h"

namespace palvimo::bench {

// A file the benchmark opened, closed on every way out. Failures throw
// Check_Error with the path.
class Open_File {
 public:
  Open_File(const std::filesystem::path& path, int flags);
  Open_File(const Open_File&) = delete;
  Open_File& operator=(const Open_File&) = delete;

  void Write_All(const void* data, std::size_t size);
  // Waits until the data written has reached the drive.
  void Flush();
  // Drops the file's clean pages from the page cache, so that the next read
  // of it comes from the drive.
  void Drop_Cached_Pages();

 private:
  std::string path_;
  Unique_Fd fd_;
};

}  // namespace palvimo::bench

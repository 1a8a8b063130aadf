#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>

namespace palvimo::testing {

// Changes a byte of a file as a failing drive would: through a descriptor
// of its own, with its size kept and its modification time put back. Its
// change time moves, which only the kernel can set.
inline void Change_Silently(const std::string& path, std::uint64_t offset) {
  struct stat before {};
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  const int fd = open(path.c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  char byte = 0;
  ASSERT_EQ(pread(fd, &byte, 1, static_cast<off_t>(offset)), 1);
  byte = static_cast<char>(~byte);
  ASSERT_EQ(pwrite(fd, &byte, 1, static_cast<off_t>(offset)), 1);
  const timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(futimens(fd, times), 0);
  close(fd);
}

}  // namespace palvimo::testing

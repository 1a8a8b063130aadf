#pragma once

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace palvimo {

// Owns one file descriptor and closes it on every way out. Close() is there
// for the one place where a failing close must be reported: a written copy.
class Unique_Fd {
 public:
  explicit Unique_Fd(int fd = -1) : fd_(fd) {}
  Unique_Fd(Unique_Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Unique_Fd(const Unique_Fd&) = delete;
  Unique_Fd& operator=(const Unique_Fd&) = delete;
  Unique_Fd& operator=(Unique_Fd&& other) noexcept {
    if (this != &other) {
      if (fd_ >= 0) ::close(fd_);
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  ~Unique_Fd() {
    if (fd_ >= 0) ::close(fd_);
  }

  bool Valid() const { return fd_ >= 0; }
  int Get() const { return fd_; }
  // Gives the descriptor up to a new owner, such as a directory stream.
  int Release() { return std::exchange(fd_, -1); }
  // Closes now; 0, or -1 with errno set. The descriptor is gone either way,
  // so an interrupted close is never retried.
  int Close() { return ::close(std::exchange(fd_, -1)); }

 private:
  int fd_;
};

// Runs a system call again for as long as a signal interrupts it.
template <typename Call>
auto Retry_Interrupted(Call call) {
  auto result = call();
  while (result < 0 && errno == EINTR) result = call();
  return result;
}

}  // namespace palvimo

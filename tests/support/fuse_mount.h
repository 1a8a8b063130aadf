#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace palvimo::testing {

// The passthrough FUSE file system (tests/support/passthrough_fs.cpp)
// showing `folder` at `mount_point` for as long as this lives. Where it
// cannot be mounted (no /dev/fuse, mounting not permitted), Mounted() is
// false and Why_Not() says why, for the test to skip with.
class Fuse_Mount {
 public:
  Fuse_Mount(const std::string& program, const std::string& folder, std::string mount_point,
             const std::vector<std::string>& switches)
      : mount_point_(std::move(mount_point)) {
    if (access("/dev/fuse", R_OK | W_OK) != 0) {
      why_not_ = "/dev/fuse cannot be opened here";
      return;
    }
    char error_file[] = "/tmp/palvimo-fuse-error-XXXXXX";
    const int error_fd = mkstemp(error_file);
    if (error_fd < 0) {
      why_not_ = "no file for the file system's errors";
      return;
    }
    unlink(error_file);
    std::vector<std::string> arguments = {program};
    arguments.insert(arguments.end(), switches.begin(), switches.end());
    arguments.push_back(folder);
    arguments.push_back(mount_point_);
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      dup2(error_fd, STDERR_FILENO);
      const int nothing = open("/dev/null", O_RDWR);
      dup2(nothing, STDIN_FILENO);
      dup2(nothing, STDOUT_FILENO);
      execv(argv[0], argv.data());
      _exit(127);
    }
    // Mounted, or the file system gave up; a minute covers a loaded machine.
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!Listed_As_Mounted()) {
      int status = 0;
      if (pid_ < 0 || waitpid(pid_, &status, WNOHANG) == pid_ || std::chrono::steady_clock::now() > give_up) {
        if (pid_ > 0 && kill(pid_, SIGKILL) == 0) waitpid(pid_, &status, 0);
        pid_ = -1;
        lseek(error_fd, 0, SEEK_SET);
        std::string said(4096, '\0');
        const ssize_t got = read(error_fd, said.data(), said.size());
        said.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        why_not_ = "the passthrough file system could not be mounted: " + said;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    close(error_fd);
  }
  Fuse_Mount(const Fuse_Mount&) = delete;
  Fuse_Mount& operator=(const Fuse_Mount&) = delete;
  ~Fuse_Mount() {
    if (pid_ <= 0) return;
    // The file system unmounts as it ends; should it not, the mount is
    // taken away beneath it.
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    if (Listed_As_Mounted()) umount2(mount_point_.c_str(), MNT_DETACH);
  }

  bool Mounted() const { return pid_ > 0; }
  const std::string& Why_Not() const { return why_not_; }

 private:
  bool Listed_As_Mounted() const {
    std::ifstream mounts("/proc/self/mountinfo");
    for (std::string line; std::getline(mounts, line);) {
      std::istringstream fields(line);
      std::string id, parent, device, root, point;
      fields >> id >> parent >> device >> root >> point;
      if (point == mount_point_) return true;
    }
    return false;
  }

  std::string mount_point_;
  pid_t pid_ = -1;
  std::string why_not_;
};

}  // namespace palvimo::testing

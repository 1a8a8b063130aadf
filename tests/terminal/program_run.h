#pragma once

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <cerrno>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace palvimo::testing {

// One of the programs, started as a separate process with its standard
// output and error read into strings, as a script or a terminal would.
class Program_Run {
 public:
  struct Settings {
    std::vector<std::string> arguments;       // the program first
    std::vector<std::string> environment;     // "NAME=value", the whole of it
    std::optional<uid_t> user = {};           // run as this user and group
    bool error_on_terminal = false;           // standard error a terminal's
    unsigned short terminal_columns = 0;      // that terminal's width; 0 unset
    std::string output_path = {};             // standard output to this file
    std::string folder = {};                  // the current folder; as ours
  };

  explicit Program_Run(const Settings& settings) {
    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    if (settings.error_on_terminal) {
      // Read from the terminal's master side, written on its other side.
      err[0] = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
      if (err[0] < 0 || grantpt(err[0]) != 0 || unlockpt(err[0]) != 0) throw std::runtime_error("pty");
      err[1] = open(ptsname(err[0]), O_RDWR | O_NOCTTY | O_CLOEXEC);
      if (err[1] < 0) throw std::runtime_error("pty");
      winsize size{};
      size.ws_col = settings.terminal_columns;
      size.ws_row = 24;
      if (settings.terminal_columns != 0 && ioctl(err[1], TIOCSWINSZ, &size) != 0) throw std::runtime_error("pty size");
    } else if (pipe2(err, O_CLOEXEC) != 0) {
      throw std::runtime_error("pipe");
    }
    std::vector<char*> arguments;
    for (const std::string& argument : settings.arguments) arguments.push_back(const_cast<char*>(argument.c_str()));
    arguments.push_back(nullptr);
    std::vector<char*> environment;
    for (const std::string& variable : settings.environment) environment.push_back(const_cast<char*>(variable.c_str()));
    environment.push_back(nullptr);
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
      if (settings.output_path.empty()) {
        dup2(out[1], STDOUT_FILENO);
      } else {
        const int output = open(settings.output_path.c_str(), O_WRONLY | O_CLOEXEC);
        if (output < 0 || dup2(output, STDOUT_FILENO) < 0) _exit(125);
        close(out[1]);
      }
      if (!settings.folder.empty() && chdir(settings.folder.c_str()) != 0) _exit(125);
      dup2(err[1], STDERR_FILENO);
      if (settings.user && (setgroups(0, nullptr) != 0 || setgid(*settings.user) != 0 || setuid(*settings.user) != 0))
        _exit(126);
      execve(arguments[0], arguments.data(), environment.data());
      _exit(127);
    }
    close(out[1]);
    close(err[1]);
    out_fd_ = out[0];
    err_fd_ = err[0];
  }
  Program_Run(const Program_Run&) = delete;
  Program_Run& operator=(const Program_Run&) = delete;
  ~Program_Run() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      Wait();
    }
  }

  void Signal(int signal_number) const { kill(pid_, signal_number); }

  // Reads both outputs to their end and waits for the program: its exit
  // status, or 128 plus the signal that ended it.
  int Wait() {
    std::array<pollfd, 2> fds = {pollfd{out_fd_, POLLIN, 0}, pollfd{err_fd_, POLLIN, 0}};
    std::array<std::string*, 2> texts = {&out_, &err_};
    int open = 2;
    while (open > 0) {
      if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) break;
      for (std::size_t at = 0; at < fds.size(); ++at) {
        if (fds[at].fd < 0 || fds[at].revents == 0) continue;
        char buffer[4096];
        const ssize_t got = read(fds[at].fd, buffer, sizeof buffer);
        if (got > 0) {
          texts[at]->append(buffer, static_cast<std::size_t>(got));
        } else {
          close(fds[at].fd);
          fds[at].fd = -1;
          --open;
        }
      }
    }
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  const std::string& Out() const { return out_; }
  const std::string& Err() const { return err_; }

 private:
  pid_t pid_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
  std::string out_;
  std::string err_;
};

}  // namespace palvimo::testing
